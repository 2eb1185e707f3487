// Costs of the array services at the sizes of an integration point: vectors of
// 3, 6 and 9 components, 3x3 and 6x6 matrices, short lists to search and sort.
// The hot routines are called through their inline definitions.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

#include "core/utility.hpp"

namespace {

// The arrays of these benchmarks are on the stack, at cache-line boundaries:
// where a heap block lands (which moves with whatever else the binary
// allocates first) is no part of a routine's cost, and it changed the times
// of these copies and fills by up to a factor of 2 from one build to the next.
struct Arrays {
    alignas(64) std::array<double, 36> a{};
    alignas(64) std::array<double, 36> b{};
};

void BM_IniVectorwithZeros(benchmark::State &state) {
    const auto n = static_cast<int32_t>(state.range(0));
    Arrays v;
    std::array<double, 36> &a = v.a;
    a.fill(1.0);
    for (auto _ : state) {
        IniVectorwithZeros(a.data(), &n);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_IniVectorwithZeros)->Arg(3)->Arg(6)->Arg(9);

void BM_fVectorCopy(benchmark::State &state) {
    const auto n = static_cast<int32_t>(state.range(0));
    Arrays v;
    std::array<double, 36> &a = v.a, &b = v.b;
    std::iota(a.begin(), a.end(), 0.5);
    for (auto _ : state) {
        fVectorCopy(a.data(), b.data(), &n);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_fVectorCopy)->Arg(3)->Arg(6)->Arg(9);

void BM_MatrixCopy(benchmark::State &state) {
    const auto n = static_cast<int32_t>(state.range(0));
    Arrays v;
    std::array<double, 36> &a = v.a, &b = v.b;
    std::iota(a.begin(), a.end(), 0.5);
    for (auto _ : state) {
        MatrixCopy(a.data(), b.data(), &n, &n);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MatrixCopy)->Arg(3)->Arg(6);

void BM_GetIdentityMatrix(benchmark::State &state) {
    const auto n = static_cast<int32_t>(state.range(0));
    Arrays v;
    std::array<double, 36> &a = v.a;
    for (auto _ : state) {
        GetIdentityMatrix(a.data(), &n);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GetIdentityMatrix)->Arg(6);

// A list of 10 entries searched for the entry at position range(0); 0 searches
// for a value that is absent.
void BM_fFindLocation(benchmark::State &state) {
    const int32_t n = 10;
    std::vector<double> list(n);
    std::iota(list.begin(), list.end(), 1.0);
    double element = state.range(0) > 0 ? static_cast<double>(state.range(0)) : -1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(element);
        int32_t at = fFindLocation(&element, list.data(), &n, nullptr);
        benchmark::DoNotOptimize(at);
    }
}
BENCHMARK(BM_fFindLocation)->Arg(1)->Arg(10)->Arg(0);

// Ordering the three principal values of a stress or strain (a library call).
void BM_fGetContinuous(benchmark::State &state) {
    const int32_t n = 3, sflag = -1;
    const double x[3] = {0.25, -1.5, 3.0};
    int32_t iloc[3];
    for (auto _ : state) {
        fGetContinuous(x, &n, iloc, &sflag);
        benchmark::DoNotOptimize(iloc);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_fGetContinuous);

}  // namespace
