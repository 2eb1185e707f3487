// The damage-region tests as the failure routines make them: one integration
// point against one region on a tilted plane.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "decl/imageprocessing.hpp"

namespace {

const double kTilted[9] = {1, 0, 0, 0, 0.8660254037844387, 0.5, 0, -0.5, 0.8660254037844387};
const std::array<double, 3> kOrigin = {1, 2, 3};

void BM_ProjectedPointInShape(benchmark::State &state) {
    std::array<double, 3> point = {1.4, 2.3, 3.2};
    const double a = 1.5, b = 2.5, theta = 20.0;
    const int32_t shape = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(point.data());
        kestro_logical1 in = ProjectedPointInShape(point.data(), &a, &b, &theta, kOrigin.data(), kTilted, &shape);
        benchmark::DoNotOptimize(in);
    }
}
BENCHMARK(BM_ProjectedPointInShape)->Arg(0)->Arg(3);

// A decagon.
void BM_ProjectedPointInPolygon(benchmark::State &state) {
    std::array<double, 20> corners{};
    for (int i = 0; i < 10; ++i) {
        corners[i] = 2.0 * std::cos(0.6283185307179586 * i);
        corners[10 + i] = 1.5 * std::sin(0.6283185307179586 * i);
    }
    std::array<double, 3> point = {1.4, 2.3, 3.2};
    const double theta = 20.0;
    const int32_t n = 10;
    for (auto _ : state) {
        benchmark::DoNotOptimize(point.data());
        kestro_logical1 in = ProjectedPointInPolygon(point.data(), corners.data(), &theta, kOrigin.data(), kTilted, &n);
        benchmark::DoNotOptimize(in);
    }
}
BENCHMARK(BM_ProjectedPointInPolygon);

}  // namespace
