// Vector and matrix arithmetic of module math.  These run inside every
// integration-point computation: plain loops over column-major pointers, no
// allocation, defined inline so that C++ callers inline them; the generated
// export table (core/exports.cpp) emits them as the exported C symbols.
#pragma once

#include <algorithm>
#include <cstdint>

#include "decl/math.hpp"

namespace kestro::math {

inline int64_t extent(const int32_t *n) { return *n > 0 ? *n : 0; }

// x within [low, up]: up above it, else at least low (a NaN stays NaN).
inline double limit(double x, double low, double up) { return x > up ? up : std::max(x, low); }

// Updates a(i) = f(a(i), b(i)) over count entries.
template <class F>
void update(double *a, const double *b, int64_t count, F f) {
    for (int64_t i = 0; i < count; ++i) a[i] = f(a[i], b[i]);
}

// a(i) = c a(i) where a(i) is not 0.
inline void amplify(double *a, double c, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        if (a[i] != 0.0) a[i] *= c;
}

// c = op(a, b) where both are nonzero, else 0 (a NaN counts as nonzero).
template <class F>
void hadamard(const double *a, const double *b, double *c, int64_t count, F op) {
    for (int64_t i = 0; i < count; ++i) c[i] = a[i] != 0.0 && b[i] != 0.0 ? op(a[i], b[i]) : 0.0;
}

}  // namespace kestro::math

extern "C" {

inline void MatrixVectorProduct(const double *a, const double *b, double *c, const int32_t *n, const int32_t *m) {
    const int64_t rows = kestro::math::extent(n), cols = kestro::math::extent(m);
    for (int64_t i = 0; i < rows; ++i) c[i] = 0.0;
    for (int64_t j = 0; j < cols; ++j)
        for (int64_t i = 0; i < rows; ++i) c[i] += a[j * rows + i] * b[j];
}

inline void VectorMatrixProduct(const double *a, const double *b, double *c, const int32_t *n, const int32_t *m) {
    const int64_t cols = kestro::math::extent(n), rows = kestro::math::extent(m);
    for (int64_t j = 0; j < cols; ++j) {
        c[j] = 0.0;
        for (int64_t k = 0; k < rows; ++k) c[j] += a[k] * b[j * rows + k];
    }
}

inline void LUMatrixVectorProduct(const double *a, const double *b, double *c, const int32_t * /*m*/,
                                  const int32_t *n) {
    const int64_t order = kestro::math::extent(n);
    for (int64_t i = 0; i < order; ++i) c[i] = 0.0;
    int64_t p = 0;  // a holds the upper triangle of S row by row
    for (int64_t i = 0; i < order; ++i) {
        c[i] += a[p++] * b[i];
        for (int64_t j = i + 1; j < order; ++j, ++p) {
            c[j] += b[i] * a[p];
            c[i] += a[p] * b[j];
        }
    }
}

inline void DyadenProduct(const double *a, const double *b, double *c, const int32_t *m, const int32_t *n) {
    const int64_t rows = kestro::math::extent(m), cols = kestro::math::extent(n);
    for (int64_t j = 0; j < cols; ++j)
        for (int64_t i = 0; i < rows; ++i) c[j * rows + i] = a[i] * b[j];
}

inline void HadamardProduct(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n) {
    kestro::math::hadamard(a, b, c, kestro::math::extent(l) * kestro::math::extent(n),
                           [](double x, double y) { return x * y; });
}

inline void HadamardDivision(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n) {
    kestro::math::hadamard(a, b, c, kestro::math::extent(l) * kestro::math::extent(n),
                           [](double x, double y) { return x / y; });
}

inline void DotProduct(const double *a, const double *b, double *c, const int32_t *l) {
    *c = 0.0;
    for (int64_t i = 0; i < kestro::math::extent(l); ++i) *c += a[i] * b[i];
}

inline void CrossProduct(const double *a, const double *b, double *c) {
    const double c1 = a[1] * b[2] - a[2] * b[1];
    const double c2 = a[2] * b[0] - a[0] * b[2];
    const double c3 = a[0] * b[1] - a[1] * b[0];
    c[0] = c1;
    c[1] = c2;
    c[2] = c3;
}

inline void VectorTripleProduct(const double *a, const double *b, const double *c, double *d) {
    double bc[3];
    CrossProduct(b, c, bc);
    CrossProduct(a, bc, d);
}

inline void ScalarTripleProduct(const double *a, const double *b, const double *c, double *d) {
    double bc[3];
    CrossProduct(b, c, bc);
    const int32_t three = 3;
    DotProduct(a, bc, d, &three);
}

// The projection of p onto the plane through r0 (NULL: the origin) spanned by
// u and v, along u x v.  Inline: the element lengths project at every call of
// the characteristic-length hook.
inline void CoordinateProjection(const double *u, const double *v, const double *p, double *ppro, const double *r0) {
    double n[3], d[3], dn = 0.0, nn = 0.0;
    CrossProduct(u, v, n);
    for (int i = 0; i < 3; ++i) d[i] = p[i] - (r0 != nullptr ? r0[i] : 0.0);
    const int32_t three = 3;
    DotProduct(d, n, &dn, &three);
    DotProduct(n, n, &nn, &three);
    const double f = dn / nn;
    for (int i = 0; i < 3; ++i) ppro[i] = p[i] - f * n[i];
}

inline void VectorSum(double *a, const double *b, const int32_t *n) {
    kestro::math::update(a, b, kestro::math::extent(n), [](double x, double y) { return x + y; });
}
inline void VectorSub(double *a, const double *b, const int32_t *n) {
    kestro::math::update(a, b, kestro::math::extent(n), [](double x, double y) { return x - y; });
}
inline void MatrixSum(double *a, const double *b, const int32_t *n, const int32_t *m) {
    kestro::math::update(a, b, kestro::math::extent(n) * kestro::math::extent(m),
                         [](double x, double y) { return x + y; });
}
inline void MatrixSub(double *a, const double *b, const int32_t *n, const int32_t *m) {
    kestro::math::update(a, b, kestro::math::extent(n) * kestro::math::extent(m),
                         [](double x, double y) { return x - y; });
}
inline void VectorScalarMultiplication(double *a, const double *b, const double *c, const int32_t *n) {
    const double s = *c;
    kestro::math::update(a, b, kestro::math::extent(n), [s](double x, double y) { return x + s * y; });
}
inline void MatrixScalarMultiplication(double *a, const double *b, const double *c, const int32_t *n,
                                       const int32_t *m) {
    const double s = *c;
    kestro::math::update(a, b, kestro::math::extent(n) * kestro::math::extent(m),
                         [s](double x, double y) { return x + s * y; });
}
inline void VectorAmplify(double *a, const double *c, const int32_t *n) {
    kestro::math::amplify(a, *c, kestro::math::extent(n));
}
inline void MatrixAmplify(double *a, const double *c, const int32_t *n, const int32_t *m) {
    kestro::math::amplify(a, *c, kestro::math::extent(n) * kestro::math::extent(m));
}

inline void MatrixTranspose(const double *a, double *b, const int32_t *n, const int32_t *m) {
    const int64_t rows = kestro::math::extent(n), cols = kestro::math::extent(m);
    for (int64_t j = 0; j < cols; ++j)
        for (int64_t i = 0; i < rows; ++i) b[i * cols + j] = a[j * rows + i];
}

inline void MatrixSymmetrize(const double *a, double *sym, const int32_t *n) {
    const int64_t order = kestro::math::extent(n);
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i) sym[j * order + i] = (a[j * order + i] + a[i * order + j]) * 0.5;
}

}  // extern "C"
