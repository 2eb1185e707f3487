// Table lookups as the material, contact and amplitude routines make them: one
// point per call on a table of the size a card gives.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "decl/math.hpp"

namespace {

struct Table {
    std::vector<double> x, y;
    explicit Table(int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            x.push_back(0.01 * i);
            y.push_back(std::tanh(0.05 * i));  // a monotone hardening-like curve
        }
    }
    int32_t size() const { return static_cast<int32_t>(x.size()); }
};

using Interpolation = void (*)(double *, const double *, const int32_t *, const double *, const double *,
                               const int32_t *);

template <Interpolation interpolate>
void BM_Lookup(benchmark::State &state) {
    const Table t(static_cast<int32_t>(state.range(0)));
    const int32_t n = t.size(), np = 1;
    const double p = 0.0073 * n;
    double r = 0.0;
    for (auto _ : state) {
        interpolate(&r, t.x.data(), &n, t.y.data(), &p, &np);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Lookup<kestro::math::linearinterpolation>)->Name("BM_LinearInterpolation")->Arg(10)->Arg(200);
BENCHMARK(BM_Lookup<kestro::math::cubichermitianinterpolation>)
    ->Name("BM_CubicHermitianInterpolation")
    ->Arg(10)
    ->Arg(200);

}  // namespace
