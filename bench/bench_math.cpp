// The dense algebra and products at the sizes of a ply (3 x 3) and of a
// laminate or material stiffness (6 x 6), each beside Eigen's fixed-size
// counterpart in the same binary (BM_Eigen*), the peer the figures are
// compared with.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>

#include <Eigen/Dense>

#include "decl/math.hpp"
#include "decl/signalprocessing.hpp"
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

template <int N>
using Matrix = Eigen::Matrix<double, N, N>;

template <int N>
Matrix<N> eigen_stiffness() {
    const auto a = stiffness<N>();
    return Eigen::Map<const Matrix<N>>(a.data());
}

template <int N>
void BM_EigenInverse(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>();
    Matrix<N> inv;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        inv = a.inverse();
        benchmark::DoNotOptimize(inv.data());
    }
}
BENCHMARK(BM_EigenInverse<3>);
BENCHMARK(BM_EigenInverse<6>);

template <int N>
void BM_LUFactDeterminant(benchmark::State &state) {
    const auto a = stiffness<N>();
    const int32_t n = N;
    double det = 0.0;
    for (auto _ : state) {
        LUFactDeterminant(&det, a.data(), &n);
        benchmark::DoNotOptimize(det);
    }
}
BENCHMARK(BM_LUFactDeterminant<3>);
BENCHMARK(BM_LUFactDeterminant<6>);

template <int N>
void BM_EigenDeterminant(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        double det = a.determinant();
        benchmark::DoNotOptimize(det);
    }
}
BENCHMARK(BM_EigenDeterminant<3>);
BENCHMARK(BM_EigenDeterminant<6>);

// Eigen's fixed-size inverse and determinant on the caller's arrays (mapped),
// as the routines take them.
void BM_EigenMappedInverse3(benchmark::State &state) {
    const auto a = stiffness<3>();
    std::array<double, 9> inv{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        Eigen::Map<Matrix<3>>(inv.data()) = Eigen::Map<const Matrix<3>>(a.data()).inverse();
        benchmark::DoNotOptimize(inv.data());
    }
}
BENCHMARK(BM_EigenMappedInverse3);

void BM_EigenMappedDeterminant3(benchmark::State &state) {
    const auto a = stiffness<3>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        double det = Eigen::Map<const Matrix<3>>(a.data()).determinant();
        benchmark::DoNotOptimize(det);
    }
}
BENCHMARK(BM_EigenMappedDeterminant3);

template <int N>
void BM_CholeskyFactorization(benchmark::State &state) {
    const auto a = stiffness<N>();
    std::array<double, N * N> c{};
    const int32_t n = N;
    for (auto _ : state) {
        CholeskyFactorization(a.data(), c.data(), &n);
        benchmark::DoNotOptimize(c.data());
    }
}
BENCHMARK(BM_CholeskyFactorization<3>);
BENCHMARK(BM_CholeskyFactorization<6>);

template <int N>
void BM_EigenLLT(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        Eigen::LLT<Matrix<N>, Eigen::Upper> llt(a);
        benchmark::DoNotOptimize(llt.matrixLLT().data());
    }
}
BENCHMARK(BM_EigenLLT<3>);
BENCHMARK(BM_EigenLLT<6>);

template <int N>
void BM_EigenProduct(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>(), b = eigen_stiffness<N>();
    Matrix<N> c;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        c.noalias() = a * b;
        benchmark::DoNotOptimize(c.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EigenProduct<3>);
BENCHMARK(BM_EigenProduct<6>);

template <int N>
void BM_GeneralMatrixProduct(benchmark::State &state) {
    const auto a = stiffness<N>(), b = stiffness<N>(), c = stiffness<N>();
    std::array<double, N * N> d{};
    const int32_t n = N;
    const double alpha = 1.5, beta = 0.5;
    for (auto _ : state) {
        GeneralMatrixProduct(d.data(), &alpha, a.data(), b.data(), &beta, c.data(), &n, &n, &n, "N", "N");
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_GeneralMatrixProduct<3>);
BENCHMARK(BM_GeneralMatrixProduct<6>);

template <int N>
void BM_EigenGeneralProduct(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>(), b = eigen_stiffness<N>(), c = eigen_stiffness<N>();
    Matrix<N> d;
    const double alpha = 1.5, beta = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        d.noalias() = beta * c;
        d.noalias() += alpha * a * b;
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(BM_EigenGeneralProduct<3>);
BENCHMARK(BM_EigenGeneralProduct<6>);

template <int N, bool Vectors>
void BM_MatrixEigen(benchmark::State &state) {
    const auto a = stiffness<N>();
    std::array<double, N> d{};
    std::array<double, N * N> z{};
    const int32_t n = N;
    for (auto _ : state) {
        if (Vectors)
            MatrixEigenVectors(a.data(), z.data(), &n, d.data());
        else
            MatrixEigenvalues(a.data(), d.data(), &n);
        benchmark::DoNotOptimize(d.data());
        benchmark::DoNotOptimize(z.data());
    }
}
BENCHMARK(BM_MatrixEigen<3, false>)->Name("BM_MatrixEigenvalues<3>");
BENCHMARK(BM_MatrixEigen<6, false>)->Name("BM_MatrixEigenvalues<6>");
BENCHMARK(BM_MatrixEigen<3, true>)->Name("BM_MatrixEigenVectors<3>");
BENCHMARK(BM_MatrixEigen<6, true>)->Name("BM_MatrixEigenVectors<6>");

template <int N, bool Vectors>
void BM_EigenSelfAdjoint(benchmark::State &state) {
    const Matrix<N> a = eigen_stiffness<N>();
    Eigen::SelfAdjointEigenSolver<Matrix<N>> solver;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        solver.compute(a, Vectors ? Eigen::ComputeEigenvectors : Eigen::EigenvaluesOnly);
        benchmark::DoNotOptimize(solver.eigenvalues().data());
    }
}
BENCHMARK(BM_EigenSelfAdjoint<3, false>)->Name("BM_EigenSelfAdjointValues<3>");
BENCHMARK(BM_EigenSelfAdjoint<6, false>)->Name("BM_EigenSelfAdjointValues<6>");
BENCHMARK(BM_EigenSelfAdjoint<3, true>)->Name("BM_EigenSelfAdjointVectors<3>");
BENCHMARK(BM_EigenSelfAdjoint<6, true>)->Name("BM_EigenSelfAdjointVectors<6>");

}  // namespace

namespace {

// The rotation of a ply or element frame, and of a 3 x 3 x 3 x 3 stiffness
// tensor, as the degradation models call them per integration point.
void BM_GetRotationMatrix(benchmark::State &state) {
    const std::array<double, 3> axis = {0.48, 0.6, 0.64};
    double angle = 0.7;
    std::array<double, 9> r{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(angle);
        GetRotationMatrix(r.data(), axis.data(), &angle);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_GetRotationMatrix);

void BM_TensorRotation4th(benchmark::State &state) {
    std::array<double, 81> c{}, out{};
    for (int i = 0; i < 81; ++i) c[i] = 1.0 / (1.0 + i);
    const std::array<double, 3> axis = {0.48, 0.6, 0.64};
    const double angle = 0.7;
    for (auto _ : state) {
        TensorRotation4th(c.data(), out.data(), &angle, axis.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_TensorRotation4th);

// The smooth step near 1/2, where most terms count, at orders on either side
// of the switch to the uniform expansion (100): the cost stays bounded as the
// order grows.  The peer is one normal integral (std::erfc), the least the
// expansion costs.
void BM_GeneralSmoothStep(benchmark::State &state) {
    const auto n = static_cast<int32_t>(state.range(0));
    double x = 0.4999;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(GeneralSmoothStep(&x, &n));
    }
}
BENCHMARK(BM_GeneralSmoothStep)->Arg(3)->Arg(100)->Arg(101)->Arg(2147483647);

void BM_NormalIntegral(benchmark::State &state) {
    double x = 0.4999;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(std::erfc(x));
    }
}
BENCHMARK(BM_NormalIntegral);

}  // namespace
