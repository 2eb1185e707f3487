// The impact laws per impactor and increment: the contact-force residual
// (called up to 100 times in one root search) with a constant stiffness and
// from 50 samples, the contact stiffness, and the nearest-element update.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/interaction.hpp"

namespace {

void BM_ContactLaw(benchmark::State &state) {
    std::array<double, 107> args{2e5, 0.01, 1e-6, 0.0, 2e-6, 1.5, 0.001};
    for (int k = 0; k < 50; ++k) {
        args[7 + k] = 100.0 * k;
        args[57 + k] = 1e5 + 4000.0 * k - 20.0 * k * k;
    }
    const int32_t flag = static_cast<int32_t>(state.range(0)), count = flag == 1 ? 107 : 7;
    double x = 1000.0, fx = 0.0, dfx = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        ContactLaw(&fx, &dfx, &x, args.data(), &count, &flag);
        benchmark::DoNotOptimize(fx);
        benchmark::DoNotOptimize(dfx);
    }
}
BENCHMARK(BM_ContactLaw)->Arg(0)->Arg(2)->Arg(1);

void BM_ContactStiffness(benchmark::State &state) {
    const std::array<double, 14> args{8, 2.5, 210000, 0.3, 0.0625, 0, 9000, 0.45, 1.5, 2000, 0.8, 0.2, 500, 0};
    const int32_t count = 14, flag = 0;
    double k = 0.0, eeff = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(args.data());
        ContactStiffness(&k, &eeff, args.data(), &count, &flag);
        benchmark::DoNotOptimize(k);
    }
}
BENCHMARK(BM_ContactStiffness);

void BM_ContactArea(benchmark::State &state) {
    constexpr int32_t kImpactors = 4;
    std::array<double, 12 * kImpactors> dprops{};
    for (int i = 0; i < kImpactors; ++i) {
        dprops[12 * i + 1] = i;
        dprops[12 * i + 3] = 1.0;
        dprops[12 * i + 5] = 100.0;
    }
    const std::array<double, 3> coord{0.5, 0.2, 0.0}, lengths{2.0, 1.0, 0.1};
    const int32_t noel = 7, nimp = kImpactors;
    for (auto _ : state) {
        benchmark::DoNotOptimize(coord.data());
        ContactArea(dprops.data(), coord.data(), &noel, &nimp, lengths.data());
        benchmark::DoNotOptimize(dprops.data());
    }
    state.SetItemsProcessed(state.iterations() * kImpactors);
}
BENCHMARK(BM_ContactArea);

}  // namespace
