// The resin services through their exported symbols: the property blocks at
// a temperature between two blocks, the secant-modulus lookup of a 10-point
// calibration row (and of two temperature rows), the isotropic law and the
// plasticity law in its elastic range; beside them the plain peers they are
// compared with: the 6 x 6 product of a fixed stiffness and a linear lookup
// of the same 10 points.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "core/shared_data.hpp"
#include "decl/elasticity.hpp"
#include "decl/lamina.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

void BM_GetResinProperties(benchmark::State &state) {
    const std::array<double, 22> props{20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1,
                                       80, 2000, 0.38, 0.5, 1, 0.1, 40, 90, 2, 1, -0.1};
    const int32_t nprops = 22, noel = 1;
    const double temp = 47.0;
    double v[10];
    auto *call = exported(&GetResinProperties);
    for (auto _ : state) {
        benchmark::DoNotOptimize(props.data());
        call(props.data(), &nprops, &temp, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
             &noel);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_GetResinProperties);

// A secant table of `rows` temperature rows of 10 points each.
struct SecantTable {
    explicit SecantTable(int rows) {
        auto &t = kestro::materialdata::secantprops;
        t.create(rows, 10, 2);
        for (int r = 1; r <= rows; ++r)
            for (int i = 1; i <= 10; ++i) {
                t(r, i, 1) = 0.004 * (i - 1);
                t(r, i, 2) = 3000.0 / r - 150.0 * (i - 1) + 4.0 * (i - 1) * (i - 1);
            }
        if (rows > 1) {
            kestro::materialdata::temperatures.create(rows);
            for (int r = 1; r <= rows; ++r) kestro::materialdata::temperatures(r) = 20.0 * r;
        }
    }
    ~SecantTable() {
        kestro::materialdata::secantprops.drop();
        kestro::materialdata::temperatures.drop();
    }
};

void BM_GetModulusFromTable(benchmark::State &state) {
    const SecantTable table(static_cast<int>(state.range(0)));
    const double eqstrain = 0.0171, temp = 30.0;
    double e = 0.0;
    auto *call = exported(&GetModulusFromTable);
    for (auto _ : state) {
        benchmark::DoNotOptimize(eqstrain);
        call(&eqstrain, &e, &temp);
        benchmark::DoNotOptimize(e);
    }
}
BENCHMARK(BM_GetModulusFromTable)->Arg(1)->Arg(2);

// Peer of the lookup: the linear interpolant of the same 10 points.
void BM_PlainLinearLookup(benchmark::State &state) {
    std::array<double, 10> x{}, y{};
    for (int i = 0; i < 10; ++i) {
        x[i] = 0.004 * i;
        y[i] = 3000.0 - 150.0 * i + 4.0 * i * i;
    }
    const double at = 0.0171;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x.data());
        int k = 0;
        while (k < 8 && at >= x[k + 1]) ++k;
        const double w = (at - x[k]) / (x[k + 1] - x[k]);
        benchmark::DoNotOptimize((1.0 - w) * y[k] + w * y[k + 1]);
    }
}
BENCHMARK(BM_PlainLinearLookup);

const std::array<double, 6> kStrain{1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4};

void BM_GetStressFromIsotropicViscoElasticity(benchmark::State &state) {
    const std::array<double, 8> props{3000, 0, 0.35, 0, 1, 0, 0, 0};
    const int32_t ntens = 6, ndi = 3, nprops = 8;
    std::array<double, 6> stress{};
    auto *call = exported(&GetStressFromIsotropicViscoElasticity);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kStrain.data());
        call(stress.data(), kStrain.data(), props.data(), &ntens, &ndi, &nprops);
        benchmark::DoNotOptimize(stress.data());
    }
}
BENCHMARK(BM_GetStressFromIsotropicViscoElasticity);

void BM_PlasticityElastic(benchmark::State &state) {
    const std::array<double, 8> props{3000, 3200, 1100, 0.35, 0.35, 5000, 50, 0.3};
    const int32_t ntens = 6, ndi = 3, nprops = 8;
    const std::array<double, 6> dstran{};
    const double temp = 20.0;
    std::array<double, 6> stress{};
    std::array<double, 36> ddsdde{};
    double eqplastic = 0.0;
    auto *call = exported(&kestro::elasticity::getstressfromplastitcity);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kStrain.data());
        call(stress.data(), &eqplastic, ddsdde.data(), kStrain.data(), dstran.data(), props.data(), &ntens, &ndi,
             &nprops, &temp);
        benchmark::DoNotOptimize(stress.data());
        benchmark::DoNotOptimize(ddsdde.data());
    }
}
BENCHMARK(BM_PlasticityElastic);

// Peer of the laws: stress = C strain with a fixed 6 x 6 stiffness.
void BM_PlainLinearStress(benchmark::State &state) {
    const std::array<double, 36> c = kestro_bench::orthotropic_stiffness();
    std::array<double, 6> stress{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(kStrain.data());
        for (int i = 0; i < 6; ++i) {
            double s = 0.0;
            for (int j = 0; j < 6; ++j) s += c[j * 6 + i] * kStrain[j];
            stress[i] = s;
        }
        benchmark::DoNotOptimize(stress.data());
    }
}
BENCHMARK(BM_PlainLinearStress);

}  // namespace
