// The ply stiffness services of the stress-state conversions and the
// material card: the plane-stress condensation runs at every plane-stress
// material point.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "fixtures.hpp"
#include "mechanics/notation.hpp"

namespace {

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

}  // namespace
