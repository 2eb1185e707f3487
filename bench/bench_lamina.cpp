// The ply stiffness services of the stress-state conversions, the material
// card and the material laws, which run at every material point; the laws'
// services are timed through their exported symbols.
#include <Eigen/Core>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "fixtures.hpp"
#include "mechanics/notation.hpp"
#include "mechanics/ply.hpp"

namespace {

using kestro_bench::exported;
using kestro_bench::orthotropic_stiffness;

void BM_GetReducedNyeStiffnessMatrix(benchmark::State &state) {
    const std::array<double, 36> c = orthotropic_stiffness();
    std::array<double, 9> qs{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        GetReducedNyeStiffnessMatrix(qs.data(), c.data(), nullptr);
        benchmark::DoNotOptimize(qs.data());
    }
}
BENCHMARK(BM_GetReducedNyeStiffnessMatrix);

void BM_GetArbitraryBaseSC(benchmark::State &state) {
    const std::array<double, 36> c = orthotropic_stiffness();
    // Turned by 30 degrees about axis 3 (rows are the new axes, column-major storage).
    const std::array<double, 9> base = {0.8660254037844387, -0.5, 0, 0.5, 0.8660254037844387, 0, 0, 0, 1};
    std::array<double, 36> out{};
    const int32_t scflag = 1, ntflag = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        GetArbitraryBaseSC(out.data(), c.data(), base.data(), &scflag, &ntflag);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_GetArbitraryBaseSC);

constexpr std::array<double, 9> kPly = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};

void BM_GetNyeStiffnessMatrix(benchmark::State &state) {
    const int32_t ntens = static_cast<int32_t>(state.range(0));
    std::array<double, 36> c{};
    auto *call = exported(&GetNyeStiffnessMatrix);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kPly.data());
        call(c.data(), kPly.data(), &ntens, nullptr);
        benchmark::DoNotOptimize(c.data());
    }
}
BENCHMARK(BM_GetNyeStiffnessMatrix)->Arg(6)->Arg(3);

void BM_GetNyeTransformationMatrix(benchmark::State &state) {
    const double angle = 0.3;
    const int32_t tdim = 6, ttype = 0, tflag = 1;
    std::array<double, 36> t{};
    auto *call = exported(&GetNyeTransformationMatrix);
    for (auto _ : state) {
        benchmark::DoNotOptimize(angle);
        call(t.data(), &angle, &tdim, &ttype, &tflag);
        benchmark::DoNotOptimize(t.data());
    }
}
BENCHMARK(BM_GetNyeTransformationMatrix);

void BM_GetStressVector(benchmark::State &state) {
    const std::array<double, 36> c = orthotropic_stiffness();
    const std::array<double, 6> strain0{1e-3, -2e-4, 0, 5e-4, 0, 1e-4}, dstrain{1e-5, 2e-5, -1e-5, 0, 3e-6, 0};
    std::array<double, 6> stress{};
    const int32_t ndi = 3, ntens = 6;
    const kestro_logical1 no = 0;
    auto *call = exported(&GetStressVector);
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        call(stress.data(), c.data(), strain0.data(), dstrain.data(), &ndi, &ntens, &no, &no);
        benchmark::DoNotOptimize(stress.data());
    }
}
BENCHMARK(BM_GetStressVector);

void BM_GetMisesStress(benchmark::State &state) {
    const std::array<double, 6> stress{120, -40, 15, 30, -10, 5};
    const int32_t ntens = 6;
    auto *call = exported(&GetMisesStress);
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        benchmark::DoNotOptimize(call(stress.data(), &ntens));
    }
}
BENCHMARK(BM_GetMisesStress);

void BM_FlipVoigtCyclicNotation(benchmark::State &state) {
    const std::array<double, 36> c = orthotropic_stiffness();
    std::array<double, 36> out{};
    const int32_t sdim = 6, dir = 2;
    auto *call = exported(&FlipVoigtCyclicNotation);
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        call(out.data(), c.data(), &sdim, &dir);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FlipVoigtCyclicNotation);

// The on-axis compliance of nprops properties p through the exported face.
void time_on_axis_compliance(benchmark::State &state, const double *p, int32_t nprops) {
    const int32_t ntens = 6, compliance = 0;
    std::array<double, 36> sc{};
    auto *call = exported(&GetGeneralizedNyeOnAxisSC);
    for (auto _ : state) {
        benchmark::DoNotOptimize(p);
        call(sc.data(), p, &ntens, &nprops, &compliance, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(sc.data());
    }
}

void BM_GetGeneralizedNyeOnAxisSC(benchmark::State &state) {
    static constexpr std::array<double, 12> props = {140000, 9000, 9000, 4600, 4000, 3100,
                                                     0.3,    0.3,  0.45, 0.02, 0.02, 0.45};
    time_on_axis_compliance(state, props.data(), 12);
}
BENCHMARK(BM_GetGeneralizedNyeOnAxisSC);

// The compliance of nine ply constants through the exported face, and its
// peer: the closed form written with Eigen's fixed-size matrix into the same
// column-major storage, called the same way.
void BM_ComplianceFromConstants(benchmark::State &state) { time_on_axis_compliance(state, kPly.data(), 9); }
BENCHMARK(BM_ComplianceFromConstants);

[[gnu::noinline]] void eigen_compliance(double *out, const double *p) {
    Eigen::Map<Eigen::Matrix<double, 6, 6>> s(out);
    s.setZero();
    s(0, 0) = 1.0 / p[0];
    s(1, 1) = 1.0 / p[1];
    s(2, 2) = 1.0 / p[2];
    s(0, 1) = s(1, 0) = -p[3] / p[0];
    s(0, 2) = s(2, 0) = -p[4] / p[0];
    s(1, 2) = s(2, 1) = -p[5] / p[1];
    s(3, 3) = 1.0 / p[6];
    s(4, 4) = 1.0 / p[7];
    s(5, 5) = 1.0 / p[8];
}

void BM_ComplianceFromConstantsEigenPeer(benchmark::State &state) {
    std::array<double, 36> sc{};
    auto *call = exported(&eigen_compliance);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kPly.data());
        call(sc.data(), kPly.data());
        benchmark::DoNotOptimize(sc.data());
    }
}
BENCHMARK(BM_ComplianceFromConstantsEigenPeer);

}  // namespace
