// The symmetric eigenproblem of the small matrices by Eigen's fixed-size
// self-adjoint solver (no heap, no workspace query).  Each order is
// instantiated in a source of its own (small_eigen<N>.cpp), because Eigen's
// solver takes long to compile: the orders then compile side by side.
#pragma once

#include <Eigen/Eigenvalues>

#include "math/small.hpp"

namespace kestro::math::small {

template <int N>
void symmetric_eigen_of_order(const double *a, double *d, double *z) noexcept {
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

}  // namespace kestro::math::small

// The instantiation of order N, the one line of small_eigen<N>.cpp.
#define KESTRO_SMALL_EIGEN_ORDER(N) \
    template void kestro::math::small::symmetric_eigen_of_order<N>(const double *, double *, double *) noexcept;
