// Fixed-size kernels for the small square matrices of the integration points
// (3 x 3 ply and 6 x 6 stiffness matrices): the order is a template argument,
// so loops unroll and everything lives on the stack.  The factorisations
// follow the LAPACK routines they stand in for step by step (pivot choice,
// the exact-zero pivot and failure tests, the order of the updates), so that
// results agree with the LAPACK path within rounding and errors are recorded
// under the same conditions.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

#include "core/markers.hpp"

// The loops of these kernels run over compile-time orders: unrolled whole.
#define KESTRO_UNROLL _Pragma("GCC unroll 8")

namespace kestro::math::small {

// The largest order served here; larger matrices go to LAPACK.
inline constexpr int64_t max_order = 6;

// Calls f(std::integral_constant<int, n>) for 1 <= n <= max_order.
template <class F>
void dispatch(int64_t n, F &&f) {
    switch (n) {
    case 1: f(std::integral_constant<int, 1>{}); break;
    case 2: f(std::integral_constant<int, 2>{}); break;
    case 3: f(std::integral_constant<int, 3>{}); break;
    case 4: f(std::integral_constant<int, 4>{}); break;
    case 5: f(std::integral_constant<int, 5>{}); break;
    case 6: f(std::integral_constant<int, 6>{}); break;
    default: break;
    }
}

// Fixed-size matrices and vectors as values, for the stiffness, compliance
// and vectors of a material point.  Storage is
// column-major, as the C faces hand arrays over, so a value is loaded from
// and stored to a caller's array by one copy, and the kernels below work on
// data().  Default construction leaves the entries unset; Matrix{} is zero.
template <int R, int C = R>
struct Matrix {
    double a[R * C];

    static Matrix load(const double *from) {
        Matrix m;
#pragma GCC unroll 64
        for (int k = 0; k < R * C; ++k) m.a[k] = from[k];
        return m;
    }
    void store(double *to) const {
#pragma GCC unroll 64
        for (int k = 0; k < R * C; ++k) to[k] = a[k];
    }
    double &operator()(int i, int j) { return a[j * R + i]; }
    double operator()(int i, int j) const { return a[j * R + i]; }
    double &operator[](int k) { return a[k]; }
    double operator[](int k) const { return a[k]; }
    double *data() { return a; }
    const double *data() const { return a; }
};

template <int N>
using Vector = Matrix<N, 1>;

// The same vocabulary over storage that is not a value: a caller's
// column-major array, or a Matrix.  Routines that fill a matrix take a Ref,
// so they write straight into the caller's array: a value built and then
// copied out costs a copy whose wide loads wait for the narrow stores that
// built it.
template <int R, int C = R>
struct Ref {
    double *a;

    Ref(double *storage) : a(storage) {}
    Ref(Matrix<R, C> &m) : a(m.a) {}
    double &operator()(int i, int j) const { return a[j * R + i]; }
    // Unrolled: as a loop, the compiler makes it a string store, whose
    // start-up costs more than the whole matrix.
    void zero() const {
#pragma GCC unroll 64
        for (int k = 0; k < R * C; ++k) a[k] = 0.0;
    }
};

// LU factorisation with partial pivoting in place (column-major a), as
// getrf/getf2: the pivot of column j is the first entry of largest magnitude
// at or below the diagonal; an exactly zero pivot is noted and skipped.
// Returns the first zero pivot (1-based), 0 when there is none.
// recip[j] receives 1 / U(j, j) where the factorisation formed it (NaN
// where it did not), for inverse_from_lu to reuse.
template <int N>
int lu(double *a, int *piv, double *recip = nullptr) {
    int info = 0;
    if (recip != nullptr)
        for (int j = 0; j < N; ++j) recip[j] = std::numeric_limits<double>::quiet_NaN();
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j) {
        int p = j;
        double largest = std::abs(a[j * N + j]);
        KESTRO_UNROLL
        for (int i = j + 1; i < N; ++i)
            if (std::abs(a[j * N + i]) > largest) {
                largest = std::abs(a[j * N + i]);
                p = i;
            }
        piv[j] = p;
        if (a[j * N + p] != 0.0) {
            if (p != j)
                KESTRO_UNROLL
                for (int c = 0; c < N; ++c) std::swap(a[c * N + j], a[c * N + p]);
            // By the reciprocal, unless it would overflow (a subnormal pivot).
            if (j + 1 < N && std::abs(a[j * N + j]) >= std::numeric_limits<double>::min()) {
                const double r = 1.0 / a[j * N + j];
                if (recip != nullptr) recip[j] = r;
                KESTRO_UNROLL
                for (int i = j + 1; i < N; ++i) a[j * N + i] *= r;
            } else {
                KESTRO_UNROLL
                for (int i = j + 1; i < N; ++i) a[j * N + i] /= a[j * N + j];
            }
        } else if (info == 0) {
            info = j + 1;
        }
        KESTRO_UNROLL
        for (int c = j + 1; c < N; ++c) {
            const double t = a[c * N + j];
            KESTRO_UNROLL
            for (int i = j + 1; i < N; ++i) a[c * N + i] -= a[j * N + i] * t;
        }
    }
    return info;
}

// Solves a x = b with the factors of lu in place of b, as getrs: the row
// interchanges, then L y = b and U x = y.  A zero pivot gives IEEE results.
template <int N>
void solve_lu(const double *a, const int *piv, double *b) {
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j)
        if (piv[j] != j) std::swap(b[j], b[piv[j]]);
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j)
        KESTRO_UNROLL
        for (int i = j + 1; i < N; ++i) b[i] -= a[j * N + i] * b[j];
    for (int j = N - 1; j >= 0; --j) {
        b[j] /= a[j * N + j];
        for (int i = 0; i < j; ++i) b[i] -= a[j * N + i] * b[j];
    }
}

// The 1-norm of a: its largest column sum of magnitudes.
template <int N>
double norm1(const double *a) {
    double largest = 0.0;
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j) {
        double sum = 0.0;
        KESTRO_UNROLL
        for (int i = 0; i < N; ++i) sum += std::abs(a[j * N + i]);
        largest = std::isnan(sum) ? sum : std::max(largest, sum);
    }
    return largest;
}

// The inverse from the factors of lu (no zero pivot), as getri: U inverted
// in place, then inv(A) L = inv(U) solved column by column from the right,
// then the column interchanges undone.
template <int N>
void inverse_from_lu(double *a, const int *piv, const double *recip) {
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j) {
        // The same quotient as the factorisation formed, where it did.
        a[j * N + j] = std::isnan(recip[j]) ? 1.0 / a[j * N + j] : recip[j];
        const double ajj = -a[j * N + j];
        // Column j above the diagonal: triu(inv(U)(0:j, 0:j)) times it, scaled.
        KESTRO_UNROLL
        for (int k = 0; k < j; ++k) {
            const double t = a[j * N + k];
            if (t == 0.0) continue;
            KESTRO_UNROLL
            for (int i = 0; i < k; ++i) a[j * N + i] += t * a[k * N + i];
            a[j * N + k] = t * a[k * N + k];
        }
        KESTRO_UNROLL
        for (int i = 0; i < j; ++i) a[j * N + i] *= ajj;
    }
    double work[N];
    KESTRO_UNROLL
    for (int j = N - 1; j >= 0; --j) {
        KESTRO_UNROLL
        for (int i = j + 1; i < N; ++i) {
            work[i] = a[j * N + i];
            a[j * N + i] = 0.0;
        }
        KESTRO_UNROLL
        for (int c = j + 1; c < N; ++c)
            KESTRO_UNROLL
            for (int i = 0; i < N; ++i) a[j * N + i] -= a[c * N + i] * work[c];
    }
    KESTRO_UNROLL
    for (int j = N - 2; j >= 0; --j)
        if (piv[j] != j)
            KESTRO_UNROLL
            for (int i = 0; i < N; ++i) std::swap(a[j * N + i], a[piv[j] * N + i]);
}

// The adjugate adj (column-major) and the determinant of a 3 x 3 matrix by
// cofactors (the determinant along the first column), where they agree with
// what the LU factors give to rounding: true when the determinant is finite,
// at least 2^-900 (no product lost bits to underflow) and safely away from
// zero, that is when the matrix with its columns scaled to a largest
// magnitude of 1 has a condition number (largest magnitudes of the matrix
// and of its inverse) of at most 32; there both ways stay well within 1e-13
// of each other.  Otherwise false, and the caller takes the LU factors.
inline bool cofactors3(const double *a, double *adj, double &det) {
    const auto e = [a](int r, int c) { return a[c * 3 + r]; };
    adj[0] = e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1);
    adj[1] = e(1, 2) * e(2, 0) - e(1, 0) * e(2, 2);
    adj[2] = e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0);
    adj[3] = e(0, 2) * e(2, 1) - e(0, 1) * e(2, 2);
    adj[4] = e(0, 0) * e(2, 2) - e(0, 2) * e(2, 0);
    adj[5] = e(0, 1) * e(2, 0) - e(0, 0) * e(2, 1);
    adj[6] = e(0, 1) * e(1, 2) - e(0, 2) * e(1, 1);
    adj[7] = e(0, 2) * e(1, 0) - e(0, 0) * e(1, 2);
    adj[8] = e(0, 0) * e(1, 1) - e(0, 1) * e(1, 0);
    det = e(0, 0) * adj[0] + e(1, 0) * adj[3] + e(2, 0) * adj[6];
    // Scaling column r of a by 1 / its largest magnitude scales row r of the
    // adjugate by that magnitude over the determinant's factor.
    double scaled = 0.0;
    KESTRO_UNROLL
    for (int r = 0; r < 3; ++r) {
        const double column = std::max({std::abs(e(0, r)), std::abs(e(1, r)), std::abs(e(2, r))});
        const double row = std::max({std::abs(adj[r]), std::abs(adj[3 + r]), std::abs(adj[6 + r])});
        scaled = std::max(scaled, column * row);
    }
    const double size = std::abs(det);
    return size >= 0x1p-900 && size <= kestro::kLargestReal && scaled <= 32.0 * size;
}

// The determinant alone, by the same cofactors: first against a bound that
// needs no other cofactor (an adjugate entry is at most twice the product of
// the largest magnitudes of the two columns it is formed from, so
// 2 c0 c1 c2 <= 32 |det| keeps the condition above within 32), and where
// that bound does not settle it, as cofactors3 decides.
inline bool determinant3(const double *a, double &det) {
    const auto e = [a](int r, int c) { return a[c * 3 + r]; };
    det = e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) + e(1, 0) * (e(0, 2) * e(2, 1) - e(0, 1) * e(2, 2)) +
          e(2, 0) * (e(0, 1) * e(1, 2) - e(0, 2) * e(1, 1));
    double bound = 2.0;
    KESTRO_UNROLL
    for (int c = 0; c < 3; ++c) bound *= std::max({std::abs(e(0, c)), std::abs(e(1, c)), std::abs(e(2, c))});
    const double size = std::abs(det);
    if (size >= 0x1p-900 && size <= kestro::kLargestReal && bound <= 32.0 * size) return true;
    double adj[9];
    return cofactors3(a, adj, det);
}

// The upper Cholesky factor in place (a = U^T U, upper triangle read and
// written), as potrf/potf2 "U".  False when a diagonal entry is not positive
// or not a number; the strict lower triangle is left alone.
template <int N>
bool cholesky_upper(double *a) {
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j) {
        double dot = 0.0;
        KESTRO_UNROLL
        for (int k = 0; k < j; ++k) dot += a[j * N + k] * a[j * N + k];
        double ajj = a[j * N + j] - dot;
        if (ajj <= 0.0 || std::isnan(ajj)) return false;
        ajj = std::sqrt(ajj);
        a[j * N + j] = ajj;
        const double r = 1.0 / ajj;
        KESTRO_UNROLL
        for (int c = j + 1; c < N; ++c) {
            double t = 0.0;
            KESTRO_UNROLL
            for (int k = 0; k < j; ++k) t += a[c * N + k] * a[j * N + k];
            a[c * N + j] = (a[c * N + j] - t) * r;
        }
    }
    return true;
}

// c(L, M) = a(L, K) b(K, M) with the zero entries of b skipped: an Inf or NaN
// of a leaves no trace where it meets a zero.  The same sums in the same
// order as the general loop (each column from +0.0, k ascending), so the
// results are bit for bit those of the loop.  When every entry of a is finite,
// a term with a zero of b is +0.0 or -0.0 and adding it changes nothing (a
// column that starts at +0.0 never becomes -0.0), so the terms are added
// without a test, which lets the compiler interleave them.
template <int L, int K, int M, bool Skip>
void product_columns(const double *__restrict a, const double *__restrict b, double *__restrict c) {
    KESTRO_UNROLL
    for (int j = 0; j < M; ++j) {
        double column[L] = {};  // column j of c, kept in registers
        KESTRO_UNROLL
        for (int k = 0; k < K; ++k) {
            const double bkj = b[j * K + k];
            if (Skip && bkj == 0.0) continue;
            KESTRO_UNROLL
            for (int i = 0; i < L; ++i) column[i] += a[k * L + i] * bkj;
        }
        KESTRO_UNROLL
        for (int i = 0; i < L; ++i) c[j * L + i] = column[i];
    }
}

// True when none of the first N values of a is an Inf or NaN.  An Inf or
// NaN has every exponent bit set; adding one to the exponent then carries
// into the sign bit.  (Integer operations, so that the test runs on whole
// vectors.)
template <int N>
bool all_finite(const double *a) {
    uint64_t special = 0;
    KESTRO_UNROLL
    for (int i = 0; i < N; ++i) special |= (std::bit_cast<uint64_t>(a[i]) & 0x7ff0000000000000) + 0x0010000000000000;
    return (special & 0x8000000000000000) == 0;
}

template <int L, int K, int M>
void product_skipping_zeros(const double *__restrict a, const double *__restrict b, double *__restrict c) {
    if (all_finite<L * K>(a))
        product_columns<L, K, M, false>(a, b, c);
    else
        product_columns<L, K, M, true>(a, b, c);
}

// d = alpha op(a) op(b) + beta d for N x N matrices (d holds c on entry;
// alpha is not 0), loop for loop as the reference dgemm computes it: with a
// untransposed, column j of d gains alpha b(l, j) a(:, l) for l ascending;
// with a transposed, each entry is alpha times a dot product.
template <int N, bool TA, bool TB>
void gemm(double alpha, const double *__restrict a, const double *__restrict b, double beta,
          double *__restrict d) {
    const auto B = [&](int l, int j) { return TB ? b[l * N + j] : b[j * N + l]; };  // op(b)(l, j)
    KESTRO_UNROLL
    for (int j = 0; j < N; ++j) {
        if constexpr (!TA) {
            double column[N];
            KESTRO_UNROLL
            for (int i = 0; i < N; ++i)
                column[i] = beta == 0.0 ? 0.0 : beta == 1.0 ? d[j * N + i] : beta * d[j * N + i];
            KESTRO_UNROLL
            for (int l = 0; l < N; ++l) {
                const double t = alpha * B(l, j);
                KESTRO_UNROLL
                for (int i = 0; i < N; ++i) column[i] += t * a[l * N + i];
            }
            KESTRO_UNROLL
            for (int i = 0; i < N; ++i) d[j * N + i] = column[i];
        } else {
            KESTRO_UNROLL
            for (int i = 0; i < N; ++i) {
                double t = 0.0;
                KESTRO_UNROLL
                for (int l = 0; l < N; ++l) t += a[i * N + l] * B(l, j);
                d[j * N + i] = beta == 0.0 ? alpha * t : alpha * t + beta * d[j * N + i];
            }
        }
    }
}

// Eigenvalues d (ascending) and, when z is not null, orthonormal eigenvectors
// (the columns of z, in the order of d) of the symmetric matrix of order N
// whose upper triangle a holds (small_eigen.hpp, one source per order).
template <int N>
void symmetric_eigen_of_order(const double *a, double *d, double *z) noexcept;
// Instantiated only there: without these, every source that sees the
// definition would instantiate all six orders for symmetric_eigen below.
extern template void symmetric_eigen_of_order<1>(const double *, double *, double *) noexcept;
extern template void symmetric_eigen_of_order<2>(const double *, double *, double *) noexcept;
extern template void symmetric_eigen_of_order<3>(const double *, double *, double *) noexcept;
extern template void symmetric_eigen_of_order<4>(const double *, double *, double *) noexcept;
extern template void symmetric_eigen_of_order<5>(const double *, double *, double *) noexcept;
extern template void symmetric_eigen_of_order<6>(const double *, double *, double *) noexcept;

// The same for 1 <= n <= max_order.
inline void symmetric_eigen(int64_t n, const double *a, double *d, double *z) noexcept {
    dispatch(n, [&](auto size) { symmetric_eigen_of_order<decltype(size)::value>(a, d, z); });
}

}  // namespace kestro::math::small
