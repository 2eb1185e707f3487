// Fatigue services per material point: the S-N life, the equivalent stress
// (exponent 2), a cycle jump, and the Shokrieh layer without and with a new
// cycle count.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/fatigue.hpp"

namespace {

void BM_GetFatigueLife(benchmark::State &state) {
    const double low = 0.1, high = 0.5, a = 1.0, b = -0.1, alpha = 0.5, dn = 10.0;
    const int32_t noel = 1;
    double nf = 0.0, life = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(high);
        life = 0.0;
        GetFatigueLife(&low, &high, &a, &b, &alpha, &dn, &nf, &life, &noel);
        benchmark::DoNotOptimize(nf);
    }
}
BENCHMARK(BM_GetFatigueLife);

void BM_GetEquivalentFatigueStress(benchmark::State &state) {
    const std::array<double, 6> stress{20.0, -5.0, 3.0, 30.0, 4.0, -2.0};
    const double xt = 50.0, xc = 100.0, np = 2.0;
    double eq = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        GetEquivalentFatigueStress(stress.data(), &xt, &xc, &np, &eq);
        benchmark::DoNotOptimize(eq);
    }
}
BENCHMARK(BM_GetEquivalentFatigueStress);

void BM_CycleCount(benchmark::State &state) {
    const double maxcycle = 1e6, time = 3.0, zero = 0.0, period = 1.0, low = 1.0, high = 1000.0, zul = 100.0;
    const int32_t ncycles = 10, nmax = 4, step = 1, algorithm = 2, on = 1;
    double njimp = 0.0, n = 1.0;
    for (auto _ : state) {
        n = 1.0;
        CycleCount(&njimp, &n, &maxcycle, &time, &zero, &period, &low, &high, &zul, &ncycles, &nmax, &step, &step,
                   &algorithm, &on);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_CycleCount);

void BM_GetShokrieh(benchmark::State &state) {
    std::array<double, 91> props{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000,
                                 50,     50,   1200, 200, 200, 80,   80,   60,   0.1};
    for (int k = 0; k < 9; ++k) {
        const std::array<double, 8> p{10.03, 0.473, 14.77, 0.1605, 1.9, 0.1, 1.06, 0.0143};
        for (int i = 0; i < 8; ++i) props[static_cast<std::size_t>(19 + 8 * k + i)] = p[static_cast<std::size_t>(i)];
    }
    std::array<double, 77> fresh{}, layer{}, backup{};
    fresh[0] = fresh[43] = 1.0;
    for (int k = 58; k < 73; ++k) fresh[static_cast<std::size_t>(k)] = 1.0;
    std::array<double, 6> stress{}, strain{0.005, -0.002, 0.001, 0.002, 0.001, 0.0005}, dstrain{};
    std::array<double, 36> tangent{};
    const std::array<double, 2> times{0, 0};
    const std::array<int32_t, 1> step{1};
    const double zero = 0.0;
    const int32_t count = 91, noel = 1, kinc = 1, solid = 1, cyclic = 0;
    const bool new_cycles = state.range(0) != 0;
    for (auto _ : state) {
        layer = fresh;
        if (new_cycles) layer[0] = 1e4;
        GetShokrieh(stress.data(), tangent.data(), layer.data(), strain.data(), dstrain.data(), props.data(),
                    times.data(), &zero, &zero, &zero, &count, &noel, step.data(), &kinc, &solid, &cyclic,
                    backup.data());
        benchmark::DoNotOptimize(stress.data());
    }
}
BENCHMARK(BM_GetShokrieh)->Arg(0)->Arg(1);

}  // namespace
