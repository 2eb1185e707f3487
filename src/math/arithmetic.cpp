#include "math/arithmetic.hpp"

#include "math/small.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using kestro::math::extent;

namespace {

// Smallest and largest entry, NaN entries ignored, then z = (x - min) / (max - min).
void normalize(const double *x, double *z, int64_t count) {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    for (int64_t i = 0; i < count; ++i)
        if (!std::isnan(x[i])) {
            lo = std::min(lo, x[i]);
            hi = std::max(hi, x[i]);
        }
    for (int64_t i = 0; i < count; ++i) z[i] = (x[i] - lo) / (hi - lo);
}

template <class F>
void cumulate(double *out, const double *a, const int32_t *n, double seed, F combine) {
    double running = seed;
    for (int64_t i = 0; i < extent(n); ++i) {
        running = combine(running, a[i]);
        out[i] = running;
    }
}

}  // namespace

extern "C" {

// c = a b with the zero entries of b skipped; square products up to order 6
// through the unrolled kernel (the same sums in the same order).
void MatrixProduct(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n,
                   const int32_t *m) {
    const int64_t rows = extent(l), inner = extent(n), cols = extent(m);
    if (rows == inner && inner == cols && rows <= kestro::math::small::max_order) {
        kestro::math::small::dispatch(rows, [&](auto size) {
            constexpr int N = decltype(size)::value;
            kestro::math::small::product_skipping_zeros<N, N, N>(a, b, c);
        });
        return;
    }
    for (int64_t i = 0; i < rows * cols; ++i) c[i] = 0.0;
    for (int64_t j = 0; j < cols; ++j)
        for (int64_t k = 0; k < inner; ++k) {
            const double bkj = b[j * inner + k];
            if (bkj == 0.0) continue;  // an Inf or NaN of a leaves no trace here
            for (int64_t i = 0; i < rows; ++i) c[j * rows + i] += a[k * rows + i] * bkj;
        }
}

void KroneckerProduct(const double *a, const double *b, double *ab, const int32_t *ma, const int32_t *na,
                      const int32_t *pb, const int32_t *qb) {
    const int64_t m = extent(ma), n = extent(na), p = extent(pb), q = extent(qb);
    const int64_t rows = m * p;
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i < m; ++i)
            for (int64_t l = 0; l < q; ++l)
                for (int64_t k = 0; k < p; ++k) ab[(j * q + l) * rows + i * p + k] = a[j * m + i] * b[l * p + k];
}

void MatrixDiagonal(double *diag, const double *a, const int32_t *k, const int32_t *n) {
    const int64_t order = extent(n);
    const int64_t shift = *k;
    const int64_t length = order - std::abs(shift);
    for (int64_t i = 0; i < length; ++i)
        diag[i] = shift >= 0 ? a[(i + shift) * order + i] : a[i * order + (i - shift)];
}

double Trace(const double *x, const int32_t *n) {
    double sum = 0.0;
    for (int64_t i = 0; i < extent(n); ++i) sum += x[i * extent(n) + i];
    return sum;
}

void MatrixNormalize(const double *x, double *z, const int32_t *n, const int32_t *m) {
    normalize(x, z, extent(n) * extent(m));
}

void VectorNormalize(const double *x, double *z, const int32_t *n) { normalize(x, z, extent(n)); }

void CumulativeSum(double *csum, const double *a, const int32_t *n, const double *seed) {
    cumulate(csum, a, n, seed != nullptr ? *seed : 0.0, [](double r, double v) { return r + v; });
}

void CumulativeProduct(double *cprod, const double *a, const int32_t *n, const double *seed) {
    cumulate(cprod, a, n, seed != nullptr ? *seed : 1.0, [](double r, double v) { return r * v; });
}

int32_t Monoticity(const double *x, const int32_t *n) {
    bool falling = true, not_rising = true, rising = true, not_falling = true;
    for (int64_t i = 0; i + 1 < extent(n); ++i) {
        const double u = x[i], v = x[i + 1];  // a comparison with NaN is false
        falling = falling && v < u;
        not_rising = not_rising && v <= u;
        rising = rising && v > u;
        not_falling = not_falling && v >= u;
    }
    if (falling) return -2;
    if (not_rising) return -1;
    if (rising) return 2;
    if (not_falling) return 1;
    return 0;
}

double GetPrincipleMinor(const double *sm, const int32_t *i, const int32_t *k) {
    if (*k < 1) return 0.0;
    if (*i == 1) return sm[0];
    const int64_t order = std::clamp<int64_t>(*i, 0, extent(k));
    std::vector<double> block(static_cast<std::size_t>(order * order));
    for (int64_t c = 0; c < order; ++c)
        for (int64_t r = 0; r < order; ++r) block[c * order + r] = sm[c * extent(k) + r];
    double det = 0.0;
    const auto n = static_cast<int32_t>(order);
    LUFactDeterminant(&det, block.data(), &n);
    return det;
}

double GetFirstMinor(const double *sm, const int32_t *i, const int32_t *j, const int32_t *k) {
    const int64_t order = extent(k);
    // The transpose of sm without row j and column i, gathered column by column
    // (the determinant is the same).  Entries are picked by position, so every
    // value, however large, takes part.
    const int64_t small = std::max<int64_t>(order - 1, 0);
    std::vector<double> minor(static_cast<std::size_t>(small * small), 0.0);
    std::size_t kept = 0;
    for (int64_t c = 0; c < order; ++c) {
        if (c == *j - 1) continue;
        for (int64_t r = 0; r < order; ++r)
            if (r != *i - 1 && kept < minor.size()) minor[kept++] = sm[r * order + c];
    }
    double det = 0.0;
    const auto n = static_cast<int32_t>(small);
    LUFactDeterminant(&det, minor.data(), &n);
    return det;
}

double GetCofactor(const double *mij, const int32_t *i, const int32_t *j) {
    return (int64_t{*i} + *j) % 2 == 0 ? *mij : -*mij;
}

}  // extern "C"
