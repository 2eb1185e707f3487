// The symmetric eigenproblem of the small matrices by Eigen's fixed-size
// self-adjoint solver (no heap, no workspace query), kept in a file of its
// own so that Eigen is compiled once.
#include <Eigen/Eigenvalues>

#include "math/small.hpp"

namespace kestro::math::small {

namespace {

template <int N>
void solve(const double *a, double *d, double *z) {
    Eigen::Matrix<double, N, N> s;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i <= j; ++i) s(i, j) = s(j, i) = a[j * N + i];  // the upper triangle
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix<double, N, N>> solver(
        s, z != nullptr ? Eigen::ComputeEigenvectors : Eigen::EigenvaluesOnly);
    for (int i = 0; i < N; ++i) d[i] = solver.eigenvalues()(i);
    if (z != nullptr)
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) z[j * N + i] = solver.eigenvectors()(i, j);
}

}  // namespace

void symmetric_eigen(int64_t n, const double *a, double *d, double *z) noexcept {
    dispatch(n, [&](auto size) { solve<decltype(size)::value>(a, d, z); });
}

}  // namespace kestro::math::small
