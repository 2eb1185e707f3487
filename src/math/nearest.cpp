// Repairs of matrices that should be symmetric positive definite: projection
// onto the positive semi-definite cone, the nearest positive-definite and the
// nearest correlation matrix, shrinkage towards another matrix, the distance
// to positive definiteness and the test itself.  Built on the dense algebra
// of linalg.cpp and arithmetic.cpp; every call takes its work arrays in one
// block (on the stack for small orders) and gives them back on return.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "math/arithmetic.hpp"
#include "math/math.hpp"
#include "core/markers.hpp"

namespace {

using kestro::math::all_finite;
using kestro::math::extent;
using kestro::math::report_non_finite;

constexpr double kEps = 2.220446049250313e-16;
using kestro::kLargestReal;
// The shift loops end on their own for finite input; this bounds them when
// an overflow turns the matrix non-finite on the way.
constexpr int kMaxShifts = 1000;

// The work arrays of one call: count matrices of order n, carved from one block.
class Matrices {
public:
    Matrices(int64_t n, int count) : n2_(n * n), block_(n * n * count + n) {}
    double *operator[](int i) { return block_.data() + n2_ * i; }
    // n entries after the matrices, for eigenvalues and weights.
    double *vector(int count) { return block_.data() + n2_ * count; }

private:
    int64_t n2_;
    kestro::Scratch<double, 1024> block_;
};

void report_no_convergence(const char *routine) {
    kestro::record_error(-2, std::string(routine) + ": no positive-definite matrix after 1000 shifts", {0, 0},
                         {0.0, 0.0}, {"", ""});
}

// Whether CholeskyFactorization of a succeeds (work: n x n).
bool factorizable(const double *a, const int32_t *n, double *work) {
    CholeskyFactorization(a, work, n);
    const int64_t count = extent(n) * extent(n);
    for (int64_t i = 0; i < count; ++i)
        if (work[i] != -kLargestReal) return true;
    return false;
}

// The smallest eigenvalue of the symmetric a, NaN entries ignored (NaN when all are).
double smallest_eigenvalue(const double *a, const int32_t *n, double *d) {
    MatrixEigenvalues(a, d, n);
    double least = std::numeric_limits<double>::quiet_NaN();
    for (int64_t i = 0; i < extent(n); ++i)
        if (!std::isnan(d[i]) && !(d[i] >= least)) least = d[i];
    return least;
}

// The largest entry of a, NaN entries ignored.
double largest_entry(const double *a, int64_t count) {
    double most = -kLargestReal;
    for (int64_t i = 0; i < count; ++i)
        if (a[i] > most) most = a[i];
    return most;
}

void add_to_diagonal(double *a, int64_t n, double s) {
    for (int64_t i = 0; i < n; ++i) a[i * n + i] += s;
}

void set_identity(double *a, int64_t n) {
    std::fill_n(a, n * n, 0.0);
    add_to_diagonal(a, n, 1.0);
}

}  // namespace

extern "C" {

void MatrixShrinkage(const double *a, const double *b, double *c, const double *alpha, const int32_t *n,
                     const int32_t *m) {
    const double f = std::isnan(*alpha) ? 0.0 : std::min(1.0, std::max(*alpha, 0.0));
    const double g = 1.0 - f;
    const int64_t count = extent(n) * extent(m);
    // b is copied before c is written: c may be a or b itself.
    kestro::Scratch<double> scaled = kestro::copy_of(b, count);
    MatrixAmplify(scaled.data(), &g, n, m);
    if (count > 0) std::memmove(c, a, static_cast<std::size_t>(count) * sizeof(double));
    MatrixAmplify(c, &f, n, m);
    MatrixSum(c, scaled.data(), n, m);
}

void GetProjectedSPD(double *ppd, const double *a, const int32_t *n) {
    const int64_t order = extent(n);
    if (order == 0) return;
    Matrices w(order, 3);
    double *s = w[0], *q = w[1], *p = w[2], *lambda = w.vector(3);
    MatrixSymmetrize(a, s, n);
    std::fill_n(lambda, order, -1.0);
    MatrixEigenVectors(s, q, n, lambda);
    for (int64_t i = 0; i < order; ++i)
        if (lambda[i] < 0.0) lambda[i] = 0.0;
    // p = Q diag(lambda) Q^T, from the columns of Q scaled by lambda.
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i) s[j * order + i] = q[j * order + i] * lambda[j];
    const double one = 1.0, zero = 0.0;
    std::fill_n(p, order * order, 0.0);
    GeneralMatrixProduct(p, &one, s, q, &zero, p, n, n, n, "N", "T");
    MatrixSymmetrize(p, ppd, n);
}

void GetNearestSPD(double *pd, const double *a, const int32_t *n) {
    const int64_t order = extent(n);
    if (order == 0) return;
    Matrices w(order, 5);
    double *b = w[0], *u = w[1], *sigma = w[2], *vt = w[3], *t = w[4], *d = w.vector(5);
    MatrixSymmetrize(a, b, n);
    if (!all_finite(a, order * order)) {
        std::memcpy(pd, b, static_cast<std::size_t>(order * order) * sizeof(double));
        report_non_finite("GetNearestSPD");
        return;
    }
    if (!all_finite(b, order * order)) {
        // B overflowed while it was symmetrised: it has no polar factor, and
        // no shift makes a NaN matrix positive definite.
        std::fill_n(pd, order * order, std::numeric_limits<double>::quiet_NaN());
        report_no_convergence("GetNearestSPD");
        return;
    }
    // H = V Sigma V^T, the symmetric polar factor of B; the third factor of
    // the decomposition holds V^T.
    SingularValueDecomposition(b, u, sigma, vt, n, n);
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i) u[j * order + i] = sigma[i * order + i] * vt[j * order + i];
    const double half = 0.5;
    // t = (B + V^T^T (Sigma V^T)) / 2
    GeneralMatrixProduct(t, &half, vt, u, &half, b, n, n, n, "T", "N");
    MatrixSymmetrize(t, pd, n);
    for (int k = 1;; ++k) {
        if (factorizable(pd, n, t)) return;
        if (k == kMaxShifts) break;
        const double lambda = smallest_eigenvalue(pd, n, d);
        add_to_diagonal(pd, order, kEps - static_cast<double>(k) * k * lambda);
    }
    report_no_convergence("GetNearestSPD");
}

void GetNearestCorrelationMatrix(double *corr, const double *a, const int32_t *n, const double *weights,
                                 const double *tol, const int32_t *maxiter, const int32_t *cflag) {
    constexpr int32_t pearson = 0, spearman = 1, kendall = 2;
    constexpr int32_t maxit = 100;
    const int64_t order = extent(n), count = order * order;
    if (order == 0) return;
    std::fill_n(corr, count, 0.0);
    bool weighted = false;
    for (int64_t i = 0; weights != nullptr && i < order; ++i) weighted = weighted || !(weights[i] == -1.0);
    if (!all_finite(a, count) || (weighted && !all_finite(weights, order))) {
        report_non_finite("GetNearestCorrelationMatrix");
        return;
    }
    // A negative weight has no square root: the failure value, the zero matrix.
    if (weighted && std::any_of(weights, weights + order, [](double v) { return v < 0.0; })) {
        kestro::record_error(-2, "GetNearestCorrelationMatrix: a weight is negative", {0, 0}, {0.0, 0.0}, {"", ""});
        return;
    }
    const int32_t kind = cflag != nullptr && *cflag >= 0 ? *cflag : pearson;
    const int32_t limit = maxiter == nullptr ? maxit : (*maxiter > 0 ? *maxiter : 1);
    double tau = static_cast<double>(order) * kEps;
    if (tol != nullptr && *tol > 0.0) tau = std::max(*tol, kEps);

    Matrices w(order, 10);
    double *y = w[0], *x = w[1], *ds = w[2], *xold = w[3], *yold = w[4], *r = w[5], *wm = w[6], *t = w[7],
           *diff = w[8], *id = w[9], *wv = w.vector(10);
    const auto copy = [count](double *to, const double *from) {
        std::memcpy(to, from, static_cast<std::size_t>(count) * sizeof(double));
    };
    copy(y, a);
    copy(x, a);
    std::fill_n(ds, count, 0.0);
    for (int64_t i = 0; i < order; ++i) wv[i] = weighted ? weights[i] : 1.0;
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i) wm[j * order + i] = std::sqrt(wv[i] * wv[j]);
    const auto relative = [&](const double *p, const double *q, const double *scale) {
        copy(diff, p);
        MatrixSub(diff, q, n, n);
        return MatrixNorm(diff, n, n) / MatrixNorm(scale, n, n);
    };

    // Alternating projections onto the positive semi-definite matrices and
    // the unit-diagonal matrices, with Dykstra's correction ds.
    if (tau < kLargestReal) {
        for (int32_t k = 1;; ++k) {
            if (k > limit) return;  // the zero matrix tells of the pass limit
            copy(xold, x);
            copy(r, y);
            MatrixSub(r, ds, n, n);
            HadamardProduct(wm, r, t, n, n);
            GetProjectedSPD(x, t, n);
            HadamardDivision(x, wm, x, n, n);
            copy(ds, x);
            MatrixSub(ds, r, n, n);
            copy(yold, y);
            copy(y, x);
            for (int64_t i = 0; i < order; ++i) y[i * order + i] = 1.0;
            const double rx = relative(x, xold, x), ry = relative(y, yold, y), rxy = relative(y, x, y);
            if (!(rx > tau || ry > tau || rxy > tau)) break;
        }
    }

    // Pull the diagonal back to one through a positive-definite matrix.
    add_to_diagonal(x, order, -(largest_entry(x, count) - 1.0) * static_cast<double>(order));
    GetNearestSPD(y, x, n);
    add_to_diagonal(y, order, 1.0 - largest_entry(y, count));

    if (kind == spearman || kind == kendall) {
        const double scale = kind == spearman ? 0.5235987755982988 : 1.5707963267948966;
        const double factor = kind == spearman ? 2.0 : 1.0;
        for (int64_t i = 0; i < count; ++i) y[i] = factor * std::sin(scale * y[i]);
        const int32_t plain = pearson;
        GetNearestCorrelationMatrix(corr, y, n, wv, &tau, &limit, &plain);
        return;
    }
    // Blend towards the identity until the factorisation succeeds.
    set_identity(id, order);
    for (int j = 1;; ++j) {
        if (factorizable(y, n, t)) break;
        if (j == kMaxShifts) {
            report_no_convergence("GetNearestCorrelationMatrix");
            break;
        }
        const double lambda = smallest_eigenvalue(y, n, wv);
        const double alpha = 1.0 - (std::abs(lambda) * static_cast<double>(j) * j + kEps);
        MatrixShrinkage(y, id, y, &alpha, n, n);
    }
    copy(corr, y);
}

double GetNearestPDNorm(const double *x, const int32_t *n) {
    const int64_t order = extent(n);
    if (order == 0) return 0.0;
    Matrices w(order, 1);
    if (factorizable(x, n, w[0])) return 0.0;
    GetNearestSPD(w[0], x, n);
    MatrixSub(w[0], x, n, n);
    return MatrixNorm(w[0], n, n);
}

kestro_logical1 IsPositiveDefinite(const double *x, const int32_t *n, const double *tolerance) {
    const double tol = tolerance != nullptr ? *tolerance : 1e-8;
    const int64_t order = extent(n);
    kestro::Scratch<double> lambda(order);
    MatrixEigenvalues(x, lambda.data(), n);
    double det = 0.0;
    LUFactDeterminant(&det, x, n);
    for (int64_t i = 0; i < order; ++i)
        if (!(lambda[i] > tol)) return 0;
    return det > 0.0 ? 1 : 0;
}

}  // extern "C"
