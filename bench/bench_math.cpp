// The dense algebra and products at the sizes of a ply (3 x 3) and of a
// laminate or material stiffness (6 x 6).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/math.hpp"
#include "math/arithmetic.hpp"

namespace {

// A well-conditioned symmetric matrix of order n.
template <int N>
std::array<double, N * N> stiffness() {
    std::array<double, N * N> a{};
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < N; ++i) a[j * N + i] = i == j ? 10.0 + i : 1.0 / (1.0 + i + j);
    return a;
}

template <int N>
void BM_MatrixInverse(benchmark::State &state) {
    const auto a = stiffness<N>();
    std::array<double, N * N> inv{};
    const int32_t n = N;
    for (auto _ : state) {
        MatrixInverse(a.data(), inv.data(), &n);
        benchmark::DoNotOptimize(inv.data());
    }
}
BENCHMARK(BM_MatrixInverse<3>);
BENCHMARK(BM_MatrixInverse<6>);

template <int N>
void BM_MatrixProduct(benchmark::State &state) {
    const auto a = stiffness<N>(), b = stiffness<N>();
    std::array<double, N * N> c{};
    const int32_t n = N;
    for (auto _ : state) {
        MatrixProduct(a.data(), b.data(), c.data(), &n, &n, &n);
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MatrixProduct<3>);
BENCHMARK(BM_MatrixProduct<6>);

void BM_GeneralMatrixProduct6(benchmark::State &state) {
    const auto a = stiffness<6>(), b = stiffness<6>(), c = stiffness<6>();
    std::array<double, 36> d{};
    const int32_t n = 6;
    const double alpha = 1.0, beta = 0.0;
    for (auto _ : state) {
        GeneralMatrixProduct(d.data(), &alpha, a.data(), b.data(), &beta, c.data(), &n, &n, &n, "N", "N");
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_GeneralMatrixProduct6);

void BM_MatrixEigenvalues3(benchmark::State &state) {
    const auto a = stiffness<3>();
    std::array<double, 3> d{};
    const int32_t n = 3;
    for (auto _ : state) {
        MatrixEigenvalues(a.data(), d.data(), &n);
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_MatrixEigenvalues3);

}  // namespace
