// The ply stiffness services of the stress-state conversions and the
// material card: the plane-stress condensation runs at every plane-stress
// material point.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "mechanics/notation.hpp"

namespace {

// An orthotropic Nye stiffness.
std::array<double, 36> stiffness() {
    std::array<double, 36> c{};
    const double block[3][3] = {{142000, 4100, 4100}, {4100, 9800, 5300}, {4100, 5300, 9800}};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c[j * 6 + i] = block[i][j];
    c[21] = 4600;
    c[28] = 4000;
    c[35] = 3100;
    return c;
}

void BM_GetReducedNyeStiffnessMatrix(benchmark::State &state) {
    const std::array<double, 36> c = stiffness();
    std::array<double, 9> qs{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        GetReducedNyeStiffnessMatrix(qs.data(), c.data(), nullptr);
        benchmark::DoNotOptimize(qs.data());
    }
}
BENCHMARK(BM_GetReducedNyeStiffnessMatrix);

void BM_GetArbitraryBaseSC(benchmark::State &state) {
    const std::array<double, 36> c = stiffness();
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
