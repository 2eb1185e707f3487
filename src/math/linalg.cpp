// Dense matrix algebra of module math.  Matrices up to order 6 (the ply and
// stiffness matrices of the integration points) go through the fixed-size
// kernels of small.hpp and Eigen's fixed-size symmetric eigensolver
// (small_eigen.hpp), larger
// ones through LAPACK and BLAS.  Every routine works on private copies; for
// the small matrices the copies and LAPACK's workspace live on the stack.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "core/scratch.hpp"
#include "math/arithmetic.hpp"
#include "math/lapack.hpp"
#include "math/math.hpp"
#include "math/small.hpp"

namespace kestro::math {

bool all_finite(const double *a, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        if (!std::isfinite(a[i])) return false;
    return true;
}

void report_non_finite(std::string_view routine, bool nan_only) {
    const char *what = nan_only ? ": the matrix holds a NaN entry" : ": the matrix holds a NaN or infinite entry";
    record_error(-2, Message() << routine << what, {0, 0}, {0.0, 0.0}, {"", ""});
}

}  // namespace kestro::math

namespace {

using kestro::math::extent;

using kestro::copy_of;
using kestro::Scratch;

void fail(const char *message) { kestro::record_error(-2, message, {0, 0}, {0.0, 0.0}, {"", ""}); }

// Runs a LAPACK routine with its optimal workspace: call(work, lwork) first
// as the workspace query (lwork -1, which touches nothing but work(1)), then
// with a work array of the size it asked for, at least `least`.
template <class Call>
void with_workspace(int least, Call &&call) {
    double query = 0.0;
    call(&query, -1);
    const int lwork = std::max({1, least, static_cast<int>(query)});
    Scratch<double> work(lwork);
    call(work.data(), lwork);
}

bool untransposed(const char *flag) { return *flag == 'N' || *flag == 'n'; }

// Determinant or permanent by Laplace expansion along the first row.
double laplace(const double *a, int64_t n, int32_t flag) {
    if (n <= 0) return 0.0;
    if (n == 1) return a[0];
    Scratch<double, 144> minor((n - 1) * (n - 1));  // on the stack up to order 13
    double pd = 0.0;
    double f = 1.0;
    for (int64_t i = 0; i < n; ++i) {
        // a without row 1 and column i
        for (int64_t c = 0, mc = 0; c < n; ++c) {
            if (c == i) continue;
            for (int64_t r = 1; r < n; ++r) minor[mc * (n - 1) + (r - 1)] = a[c * n + r];
            ++mc;
        }
        pd += f * a[i * n] * laplace(minor.data(), n - 1, flag);
        f *= flag;
    }
    return pd;
}

// d(m, n) = alpha op(a) op(b) + beta d, loop for loop as the reference dgemm
// computes it (d holds c on entry).
template <class Index>
void small_gemm(bool ta, bool tb, Index m, Index n, Index k, double alpha, const double *a, const double *b,
                double beta, double *d) {
    if ((alpha == 0.0 || k == 0) && beta == 1.0) return;
    if (alpha == 0.0) {
        for (Index i = 0; i < m * n; ++i) d[i] = beta == 0.0 ? 0.0 : beta * d[i];
        return;
    }
    const auto A = [&](Index i, Index j) { return ta ? a[i * k + j] : a[j * m + i]; };  // op(a)(i, j)
    const auto B = [&](Index i, Index j) { return tb ? b[i * n + j] : b[j * k + i]; };  // op(b)(i, j)
    for (Index j = 0; j < n; ++j) {
        if (!ta) {
            for (Index i = 0; i < m; ++i) d[j * m + i] = beta == 0.0 ? 0.0 : beta == 1.0 ? d[j * m + i] : beta * d[j * m + i];
            for (Index l = 0; l < k; ++l) {
                const double t = alpha * B(l, j);
                for (Index i = 0; i < m; ++i) d[j * m + i] += t * A(i, l);
            }
        } else {
            for (Index i = 0; i < m; ++i) {
                double t = 0.0;
                for (Index l = 0; l < k; ++l) t += A(i, l) * B(l, j);
                d[j * m + i] = beta == 0.0 ? alpha * t : alpha * t + beta * d[j * m + i];
            }
        }
    }
}

// The inverse through the LU factors; the determinant as the product of
// their pivots (lud holds 1 on entry).  The fixed-size kernels up to order
// 6, LAPACK beyond; out of line, so that the closed forms of order 3 do not
// pay for their frames.
[[gnu::noinline]] void lu_inverse(const double *a, double *ainv, int64_t order);
[[gnu::noinline]] void lu_determinant(double *lud, const double *a, int64_t order);

double norm(const double *x, int64_t n) {
    double s = 0.0;
    for (int64_t i = 0; i < n; ++i) s += x[i] * x[i];
    return std::sqrt(s);
}

}  // namespace

extern "C" {

void MatrixInverse(const double *a, double *ainv, const int32_t *n) {
    const int64_t order = extent(n);
    if (order == 3) {
        double adj[9], det;
        if (kestro::math::small::cofactors3(a, adj, det)) {
            const double r = 1.0 / det;
            for (int i = 0; i < 9; ++i) ainv[i] = adj[i] * r;
            return;
        }
    }
    if (order != 0) lu_inverse(a, ainv, order);
}

}  // extern "C"

namespace {

void lu_inverse(const double *a, double *ainv, int64_t order) {
    if (order <= kestro::math::small::max_order) {
        kestro::math::small::dispatch(order, [&](auto size) {
            constexpr int N = decltype(size)::value;
            double w[N * N], recip[N];
            int piv[N];
            std::copy_n(a, N * N, w);
            if (kestro::math::small::lu<N>(w, piv, recip) != 0) {
                // The inversion of a singular U does not start: the factors stay.
                fail("Matrix inverse becomes numerically singular!");
                fail("Matrix inversion failed!");
            } else {
                kestro::math::small::inverse_from_lu<N>(w, piv, recip);
            }
            std::copy_n(w, N * N, ainv);
        });
        return;
    }
    Scratch<double> w = copy_of(a, order * order);
    Scratch<int> pivots(order);
    Scratch<double> work(order);
    const int nn = static_cast<int>(order);
    int info = 0;
    dgetrf_(&nn, &nn, w.data(), &nn, pivots.data(), &info);
    if (info != 0) fail("Matrix inverse becomes numerically singular!");
    dgetri_(&nn, w.data(), &nn, pivots.data(), work.data(), &nn, &info);
    if (info != 0) fail("Matrix inversion failed!");
    std::memcpy(ainv, w.data(), static_cast<std::size_t>(order * order) * sizeof(double));
}

}  // namespace

extern "C" {

void MatrixEigenvalues(const double *a, double *d, const int32_t *n) {
    const int64_t order = extent(n);
    if (order == 0) return;
    if (order <= kestro::math::small::max_order) {
        kestro::math::small::symmetric_eigen(order, a, d, nullptr);
        return;
    }
    Scratch<double> t = copy_of(a, order * order);
    Scratch<double> e(order - 1), tau(order - 1);
    const int nn = static_cast<int>(order);
    int info = 0;
    with_workspace(1, [&](double *work, int lwork) {
        dsytrd_("U", &nn, t.data(), &nn, d, e.data(), tau.data(), work, &lwork, &info, 1);
    });
    dsterf_(&nn, d, e.data(), &info);
}

void MatrixEigenVectors(const double *a, double *z, const int32_t *n, double *eigvals) {
    const int64_t order = extent(n);
    bool requested = eigvals != nullptr;
    for (int64_t i = 0; requested && i < order; ++i) requested = eigvals[i] < 0.0;  // 0, more or NaN cancel
    if (order == 0) return;
    if (order <= kestro::math::small::max_order) {
        double d[kestro::math::small::max_order];
        kestro::math::small::symmetric_eigen(order, a, d, z);
        if (requested) std::copy_n(d, order, eigvals);
        return;
    }
    const int nn = static_cast<int>(order);
    Scratch<double> d(order);
    int info = 0;
    std::memcpy(z, a, static_cast<std::size_t>(order * order) * sizeof(double));
    with_workspace(3 * nn - 1, [&](double *work, int lwork) {
        dsyev_("V", "U", &nn, z, &nn, d.data(), work, &lwork, &info, 1, 1);
    });
    if (requested) std::memcpy(eigvals, d.data(), static_cast<std::size_t>(order) * sizeof(double));
}

void SingularValueDecomposition(const double *a, double *u, double *s, double *v, const int32_t *m,
                                const int32_t *n) {
    const int64_t rows = extent(m), cols = extent(n);
    std::fill_n(u, rows * rows, 0.0);
    std::fill_n(s, rows * cols, 0.0);
    std::fill_n(v, cols * cols, 0.0);
    if (rows == 0 || cols == 0) return;
    // LAPACK may never return from a matrix with some NaN entries: such a
    // matrix, or one with an infinite entry, has no decomposition here.
    if (!kestro::math::all_finite(a, rows * cols)) {
        std::fill_n(u, rows * rows, std::numeric_limits<double>::quiet_NaN());
        std::fill_n(s, rows * cols, std::numeric_limits<double>::quiet_NaN());
        std::fill_n(v, cols * cols, std::numeric_limits<double>::quiet_NaN());
        kestro::math::report_non_finite("SingularValueDecomposition");
        return;
    }
    const int mm = static_cast<int>(rows), nn = static_cast<int>(cols);
    const int64_t k = std::min(rows, cols);
    Scratch<double> sv(k);
    int info = 0;
    Scratch<double> w = copy_of(a, rows * cols);
    with_workspace(1, [&](double *work, int lwork) {
        dgesvd_("A", "A", &mm, &nn, w.data(), &mm, sv.data(), u, &mm, v, &nn, work, &lwork, &info, 1, 1);
    });
    for (int64_t i = 0; i < k; ++i) s[i * rows + i] = sv[static_cast<std::size_t>(i)];
}

void CholeskyFactorization(const double *a, double *c, const int32_t *n) {
    const int64_t order = extent(n);
    std::fill_n(c, order * order, -kestro::kLargestReal);
    if (order == 0) return;
    if (order <= kestro::math::small::max_order) {
        kestro::math::small::dispatch(order, [&](auto size) {
            constexpr int N = decltype(size)::value;
            double t[N * N];
            std::copy_n(a, N * N, t);
            if (kestro::math::small::cholesky_upper<N>(t)) std::copy_n(t, N * N, c);
        });
        return;
    }
    Scratch<double> t = copy_of(a, order * order);
    const int nn = static_cast<int>(order);
    int info = 0;
    dpotrf_("U", &nn, t.data(), &nn, &info, 1);
    if (info == 0) std::memcpy(c, t.data(), static_cast<std::size_t>(order * order) * sizeof(double));
}

void GeneralMatrixProduct(double *d, const double *alpha, const double *a, const double *b, const double *beta,
                          const double *c, const int32_t *m, const int32_t *n, const int32_t *k, const char *sa,
                          const char *sb) {
    const int64_t rows = extent(m), cols = extent(n), inner = extent(k);
    if (rows * cols > 0) std::memmove(d, c, static_cast<std::size_t>(rows * cols) * sizeof(double));
    if (rows == 0 || cols == 0) return;
    // Any flag other than "N" means the transpose, so that BLAS never sees an
    // invalid one (it would end the process).
    const char ta = untransposed(sa) ? 'N' : 'T';
    const char tb = untransposed(sb) ? 'N' : 'T';
    if (rows <= kestro::math::small::max_order && cols <= kestro::math::small::max_order &&
        inner <= kestro::math::small::max_order) {
        if (rows == cols && cols == inner && *alpha != 0.0)
            kestro::math::small::dispatch(rows, [&](auto size) {
                constexpr int N = decltype(size)::value;
                using kestro::math::small::gemm;
                if (ta == 'N')
                    (tb == 'N' ? gemm<N, false, false> : gemm<N, false, true>)(*alpha, a, b, *beta, d);
                else
                    (tb == 'N' ? gemm<N, true, false> : gemm<N, true, true>)(*alpha, a, b, *beta, d);
            });
        else
            small_gemm<int64_t>(ta == 'T', tb == 'T', rows, cols, inner, *alpha, a, b, *beta, d);
        return;
    }
    const int mm = static_cast<int>(rows), nn = static_cast<int>(cols), kk = static_cast<int>(inner);
    const int lda = std::max(1, ta == 'N' ? mm : kk);
    const int ldb = std::max(1, tb == 'N' ? kk : nn);
    dgemm_(&ta, &tb, &mm, &nn, &kk, alpha, a, &lda, b, &ldb, beta, d, &mm, 1, 1);
}

void LUFactDeterminant(double *lud, const double *a, const int32_t *n) {
    *lud = 1.0;
    const int64_t order = extent(n);
    if (order == 3) {
        double det;
        if (kestro::math::small::determinant3(a, det)) {
            *lud = det;
            return;
        }
    }
    if (order != 0) lu_determinant(lud, a, order);
}

}  // extern "C"

namespace {

void lu_determinant(double *lud, const double *a, int64_t order) {
    if (order <= kestro::math::small::max_order) {
        kestro::math::small::dispatch(order, [&](auto size) {
            constexpr int N = decltype(size)::value;
            double w[N * N];
            int piv[N];
            std::copy_n(a, N * N, w);
            if (kestro::math::small::lu<N>(w, piv) != 0) {
                *lud = 0.0;
                fail("Singularity in LU-factorization computation");
                return;
            }
            for (int i = 0; i < N; ++i) {
                *lud *= w[i * N + i];
                if (piv[i] != i) *lud = -*lud;
            }
        });
        return;
    }
    Scratch<double> w = copy_of(a, order * order);
    Scratch<int> pivots(order);
    const int nn = static_cast<int>(order);
    int info = 0;
    dgetrf_(&nn, &nn, w.data(), &nn, pivots.data(), &info);
    if (info != 0) {
        *lud = 0.0;
        fail("Singularity in LU-factorization computation");
        return;
    }
    for (int64_t i = 0; i < order; ++i) {
        *lud *= w[static_cast<std::size_t>(i * order + i)];
        if (pivots[static_cast<std::size_t>(i)] != i + 1) *lud = -*lud;
    }
}

}  // namespace

extern "C" {

void Determinant(double *pd, const double *a, const int32_t *n, const int32_t *pdflag) {
    *pd = laplace(a, extent(n), pdflag != nullptr ? *pdflag : -1);
}

void PowerIteration(double *eigenval, double *eigenvec, const double *a, const int32_t *n, const int32_t *maxiter,
                    const double *startvec, const double *abstol) {
    const int64_t order = extent(n);
    const int32_t limit = maxiter != nullptr ? *maxiter : 2000;
    const double tolerance = abstol != nullptr ? *abstol : 1e-10;
    *eigenval = 0.0;
    Scratch<double> y1(order), y2(order);
    for (int64_t i = 0; i < order; ++i) y1[i] = startvec != nullptr ? startvec[i] : 1.0;
    // Without a pass the start vector stands as the eigenvector.
    std::copy_n(y1.data(), order, y2.data());
    double delta = 1.0;
    for (int32_t pass = 0; pass < limit && delta > tolerance;) {
        MatrixVectorProduct(a, y1.data(), y2.data(), n, n);
        int64_t p = 0;  // first entry of largest magnitude, NaN skipped
        for (int64_t i = 1; i < order; ++i)
            if (std::abs(y2[i]) > std::abs(y2[p]) || (std::isnan(y2[p]) && !std::isnan(y2[i]))) p = i;
        const double scale = 1.0 / norm(y2.data(), order);
        VectorAmplify(y2.data(), &scale, n);
        const double sign = order > 0 && std::signbit(y2[p] * y1[p]) ? -1.0 : 1.0;
        double change = 0.0;
        for (int64_t i = 0; i < order; ++i) change += (y2[i] - sign * y1[i]) * (y2[i] - sign * y1[i]);
        delta = std::sqrt(change);
        std::copy_n(y2.data(), order, y1.data());
        ++pass;
    }
    std::copy_n(y2.data(), order, eigenvec);
    Scratch<double> ay(order);
    MatrixVectorProduct(a, y1.data(), ay.data(), n, n);
    DotProduct(y1.data(), ay.data(), eigenval, n);
    // A change that is not a number has not converged either.
    if (!(delta <= tolerance)) fail("No convergence in von Mises eigenvalue computation");
}

void ConjugateGradient(double *xgrad, const double *a, const double *b, const double *x0, const int32_t *n,
                       const int32_t *m) {
    const int64_t size = extent(m);
    const int64_t lda = extent(n);
    // The system is square: a non-square a serves with its leading square part,
    // and entries of x beyond it keep their start values.
    const int64_t order = std::min(size, lda);
    std::copy_n(x0, size, xgrad);
    Scratch<double> r(order), p(order), q(order);
    auto apply = [&](const double *x, double *y) {  // y = a x
        for (int64_t i = 0; i < order; ++i) {
            y[i] = 0.0;
            for (int64_t j = 0; j < order; ++j) y[i] += a[j * lda + i] * x[j];
        }
    };
    auto dot = [&](const double *x, const double *y) {
        double s = 0.0;
        for (int64_t i = 0; i < order; ++i) s += x[i] * y[i];
        return s;
    };
    apply(x0, q.data());
    for (int64_t i = 0; i < order; ++i) p[i] = r[i] = b[i] - q[i];
    double rho = dot(r.data(), r.data());
    // A start vector that solves the system already is the answer (the first
    // step would divide 0 by 0).
    if (std::sqrt(rho) < 1e-10) return;
    for (int64_t pass = 0; pass < size; ++pass) {
        apply(p.data(), q.data());
        const double alpha = rho / dot(p.data(), q.data());
        for (int64_t i = 0; i < order; ++i) {
            xgrad[i] += alpha * p[i];
            r[i] -= alpha * q[i];
        }
        const double rho_new = dot(r.data(), r.data());
        if (std::sqrt(rho_new) < 1e-10) break;
        for (int64_t i = 0; i < order; ++i) p[i] = r[i] + (rho_new / rho) * p[i];
        rho = rho_new;
    }
}

void GetHouseHolderTransformationMatrix(double *thouse, const double *v, const int32_t *n) {
    const int64_t order = extent(n);
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i) thouse[j * order + i] = (i == j ? 1.0 : 0.0) - 2.0 * v[i] * v[j];
}

}  // extern "C"
