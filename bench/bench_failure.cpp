// The failure criteria of every ply point: the fracture-plane criteria by
// scan and golden section, LaRC05 kinking, the resin criterion of Ha, and a
// driver over its criterion.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/failure.hpp"

namespace {

const double kYt = 50.0, kYc = 200.0, kS12 = 80.0;

void BM_MCrckLaRC05(benchmark::State &state) {
    const double s22 = -120.0, s33 = 10.0, s12 = 30.0, s13 = 5.0, s23 = 12.0, a0 = 53.0;
    const double step = state.range(0) == 1 ? 4.0 : 5.0;
    const int32_t golden = static_cast<int32_t>(state.range(0));
    double r = 0.0, theta = -1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s22);
        MCrckLaRC05(&r, &s22, &s33, &s12, &s13, &s23, &kYt, &kYc, &kS12, &a0, &theta, &step, &golden);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_MCrckLaRC05)->Arg(0)->Arg(1);

void BM_MCrckPuck(benchmark::State &state) {
    const double s22 = -120.0, s33 = 10.0, s12 = 30.0, s13 = 5.0, s23 = 12.0;
    double r = 0.0, theta = -1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s22);
        MCrckPuck(&r, &s22, &s33, &s12, &s13, &s23, &kYt, &kYc, &kS12, &theta, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_MCrckPuck);

void BM_FBLaRC05_is(benchmark::State &state) {
    const double s11 = -900.0, s22 = -20.0, s33 = 5.0, s12 = 25.0, s13 = 4.0, s23 = 3.0;
    const double xt11 = 1500.0, xc11 = 1200.0, x23 = 70.0, x12 = 70.0, g12 = 4600.0, a0 = 53.0, step = 4.0;
    const std::array<double, 9> x_is{0, 0, 0, 0, kYc, 0, 0, 0, 0};
    const int32_t golden = 1, fcl = 0;
    double r = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s11);
        FBLaRC05_is(&r, &s11, &s22, &s33, &s12, &s13, &s23, &xt11, &xc11, &kYt, &x23, &x12, &g12, &a0, &step, &golden,
                    &fcl, x_is.data());
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_FBLaRC05_is);

void BM_GPHa(benchmark::State &state) {
    const std::array<double, 6> stress{40.0, -10.0, 5.0, 8.0, 2.0, 1.0};
    const double xt = 50.0, xc = 100.0, np = 2.0;
    double d, di1, dmises, i1cr, misescr, life = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        GPHa(stress.data(), &xt, &xc, &np, &d, &di1, &dmises, &i1cr, &misescr, &life);
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_GPHa);

// The general driver with its largest-ratio criterion: the driver's own cost.
void BM_GeneralFailure(benchmark::State &state) {
    std::array<double, 20> psprops{1500, 50, 60, 1200, 200, 250, 80, 90, 75, 100};
    const std::array<double, 6> stress{750.0, 25.0, -125.0, 40.0, 45.0, 0.0};
    const std::array<double, 1> angles{0.0};
    const int32_t one = 1, id = 1, extent = 20;
    double f = 0.0, r = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        kestro::failure::generalfailure(&f, &r, stress.data(), psprops.data(), angles.data(), &one, &one, &id, &one,
                                        &one, &extent);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_GeneralFailure);

}  // namespace
