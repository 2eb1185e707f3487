// The sensor materials and the endochronic viscoplastic law through their
// exported symbols: umat_sensor at 6 components, vumat_sensor on a block of
// 100 points, EndochroneViscoPlasticity with two terms and umat_krause (13
// evaluations of the law); beside them the plain peers they are compared
// with: the 6 x 6 stress update GetStressVector, the same update written as a
// loop over the 100 points, the four elementary functions of one law
// evaluation, and the law called 13 times in a row.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "decl/lamina.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

const std::array<double, 20> kCprops = {10, 2, 0.3, 1.5, -2, 9.8};
const std::array<double, 8> kLaw = {3000, 10, 2, 2, 800, 0, 400, 150};

// The UMAT arguments of a three-dimensional point with 14 state values.
struct Point {
    int32_t ntens = 6, ndi = 3, nshr = 3, nstatv = 14, nprops = 8, one = 1, impact = 3, jstep[4] = {1, 1, 1, 0};
    std::array<double, 6> stress{}, stran{0, 0, 0, 0.01, 0, 0}, dstran{1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4};
    std::array<double, 36> ddsdde{};
    std::array<double, 14> statev{};
    std::array<double, 12> dprops{};
    double sse = 0, spd = 0, scd = 0, rpl = 0, time[2] = {}, dtime = 1e-3, zero = 0, pnewdt = 1, six[6] = {};
    double coords[3] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    char cmname[80] = {};
};

void BM_PlainStressUpdate(benchmark::State &state) {
    Point p;
    const kestro_logical1 off = 0;
    auto *call = exported(&GetStressVector);
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.dstran.data());
        call(p.stress.data(), p.ddsdde.data(), p.stran.data(), p.dstran.data(), &p.ndi, &p.ntens, &off, &off);
        benchmark::DoNotOptimize(p.stress.data());
    }
}
BENCHMARK(BM_PlainStressUpdate);

void BM_UmatSensor(benchmark::State &state) {
    Point p;
    p.nstatv = 8;
    auto *call = exported(&kestro::toplevel::umat_sensor);
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.dstran.data());
        call(p.stress.data(), p.statev.data(), p.ddsdde.data(), &p.sse, &p.spd, &p.scd, &p.rpl, p.six, p.six,
             &p.zero, p.stran.data(), p.dstran.data(), p.time, &p.dtime, &p.zero, &p.zero, &p.zero, &p.zero,
             p.cmname, &p.ndi, &p.nshr, &p.ntens, &p.nstatv, kLaw.data(), &p.nprops, p.coords, p.eye, &p.pnewdt,
             &p.zero, p.eye, p.eye, &p.one, &p.one, &p.one, &p.one, &p.one, &p.impact, kCprops.data(),
             p.dprops.data(), sizeof p.cmname);
        benchmark::DoNotOptimize(p.stress.data());
    }
}
BENCHMARK(BM_UmatSensor);

// A block of 100 explicit points of six components and six state values.
struct Block {
    static constexpr int32_t kPoints = 100;
    int32_t nblock = kPoints, ndir = 3, nshr = 3, nstatev = 6, nfieldv = 1, nprops = 2, zero = 0, impact = 3;
    using Values = std::vector<double>;
    Values straininc = Values(6 * kPoints, 1e-4), stressold = Values(6 * kPoints, 1.0), stressnew = Values(6 * kPoints),
           statenew = Values(6 * kPoints), density = Values(kPoints, 1.5), energy = Values(kPoints, 0.25),
           internal = Values(kPoints), inelastic = Values(kPoints), zeros = Values(9 * kPoints, 0.0);
    std::array<double, 12> dprops{};
    double props[2] = {4, 5}, t = 0;
    char cmname[80] = {};

    void per_point(benchmark::State &state) const {
        state.counters["per_point"] = benchmark::Counter(
            kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
};

void BM_PlainBlockUpdate(benchmark::State &state) {
    Block b;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.straininc.data());
        for (int j = 0; j < 6; ++j)
            for (int k = 0; k < Block::kPoints; ++k)
                b.stressnew[j * Block::kPoints + k] =
                    b.stressold[j * Block::kPoints + k] + 3.3e-21 * b.straininc[j * Block::kPoints + k];
        benchmark::DoNotOptimize(b.stressnew.data());
    }
    b.per_point(state);
}
BENCHMARK(BM_PlainBlockUpdate);

void BM_VumatSensor(benchmark::State &state) {
    Block b;
    auto *call = exported(&kestro::toplevel::vumat_sensor);
    double *z = b.zeros.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.straininc.data());
        call(&b.nblock, &b.ndir, &b.nshr, &b.nstatev, &b.nfieldv, &b.nprops, &b.zero, &b.t, &b.t, &b.t, b.cmname, z,
             z, b.props, b.density.data(), b.straininc.data(), z, z, z, z, z, b.stressold.data(), z,
             b.energy.data(), z, z, z, z, z, b.stressnew.data(), b.statenew.data(), b.internal.data(),
             b.inelastic.data(), &b.impact, kCprops.data(), b.dprops.data(), sizeof b.cmname);
        benchmark::DoNotOptimize(b.stressnew.data());
    }
    b.per_point(state);
}
BENCHMARK(BM_VumatSensor);

// The elementary functions of one evaluation of the two-term law.
void BM_PlainLawFunctions(benchmark::State &state) {
    double x = 1e-3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        const double root = std::sqrt(x * x + 1e-8), z = std::log1p(2.0 * root / (1.0 + x)) / 2.0;
        const double a = std::expm1(-0.0 * z), b = std::expm1(-150.0 * z);
        double sum = root + z + a + b;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PlainLawFunctions);

// The law called range(0) times in a row: once, and as often as umat_krause calls it.
void BM_EndochroneViscoPlasticity(benchmark::State &state) {
    Point p;
    const kestro_logical1 no = 0;
    const auto calls = state.range(0);
    auto *call = exported(&EndochroneViscoPlasticity);
    for (auto _ : state) {
        for (int64_t k = 0; k < calls; ++k) {
            benchmark::DoNotOptimize(p.dstran.data());
            call(p.stran.data(), p.dstran.data(), kLaw.data(), p.stress.data(), p.statev.data(), &p.dtime,
                 &p.nprops, &p.nstatv, &no, &no);
        }
        benchmark::DoNotOptimize(p.stress.data());
    }
}
BENCHMARK(BM_EndochroneViscoPlasticity)->Arg(1)->Arg(13);

void BM_UmatKrause(benchmark::State &state) {
    Point p;
    auto *call = exported(&kestro::toplevel::umat_krause);
    for (auto _ : state) {
        p.statev.fill(0.0);  // the same increment from the virgin state every time
        benchmark::DoNotOptimize(p.dstran.data());
        call(p.stress.data(), p.statev.data(), p.ddsdde.data(), &p.sse, &p.spd, &p.scd, &p.rpl, p.six, p.six,
             &p.zero, p.stran.data(), p.dstran.data(), p.time, &p.dtime, &p.zero, &p.zero, &p.zero, &p.zero,
             p.cmname, &p.ndi, &p.nshr, &p.ntens, &p.nstatv, kLaw.data(), &p.nprops, p.coords, p.eye, &p.pnewdt,
             &p.zero, p.eye, p.eye, &p.one, &p.one, &p.one, &p.one, p.jstep, &p.one, sizeof p.cmname);
        benchmark::DoNotOptimize(p.ddsdde.data());
    }
}
BENCHMARK(BM_UmatKrause);

}  // namespace
