// Array services of module utility.  The small routines that the mechanics
// call at every integration point (zeros, copies, identity, scalar helpers and
// the location search) are defined inline here so that C++ callers inline them;
// the generated export table (core/exports.cpp) emits them as the exported C symbols.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "decl/utility.hpp"

namespace kestro::utility {

// Number of elements of an array with the given extents; 0 when any extent is
// 0 or less.
inline int64_t element_count(std::initializer_list<int32_t> extents) {
    int64_t n = 1;
    for (int32_t e : extents) {
        if (e <= 0) return 0;
        n *= e;
    }
    return n;
}

// Exact equality: reals compare as values (0.0 equals -0.0, NaN equals
// nothing), complex values when both parts do.
inline bool equal(int32_t a, int32_t b) { return a == b; }
inline bool equal(double a, double b) { return a == b; }
inline bool equal(const kestro_complex &a, const kestro_complex &b) { return a.re == b.re && a.im == b.im; }

inline kestro_logical1 logical(bool b) { return b ? 1 : 0; }

template <class T>
int32_t find_location(const T &element, const T *array, int32_t n, const int32_t *notfound) {
    for (int32_t i = 0; i < n; ++i)
        if (equal(array[i], element)) return i + 1;
    return notfound != nullptr ? *notfound : -1;
}

template <class T>
void copy_n(const T *a, T *b, int64_t n) {
    for (int64_t i = 0; i < n; ++i) b[i] = a[i];
}

template <class T>
void swap_values(T *a, T *b) {
    const T t = *a;
    *a = *b;
    *b = t;
}

}  // namespace kestro::utility

extern "C" {

inline void IniVectorwithZeros(double *a, const int32_t *n) {
    std::fill_n(a, kestro::utility::element_count({*n}), 0.0);
}
inline void IniMatrixwithZeros(double *a, const int32_t *n, const int32_t *m) {
    std::fill_n(a, kestro::utility::element_count({*n, *m}), 0.0);
}
inline void Ini3DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n) {
    std::fill_n(a, kestro::utility::element_count({*l, *m, *n}), 0.0);
}
inline void Ini4DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o) {
    std::fill_n(a, kestro::utility::element_count({*l, *m, *n, *o}), 0.0);
}

inline void fVectorCopy(const double *a, double *b, const int32_t *n) { kestro::utility::copy_n(a, b, *n); }
inline void iVectorCopy(const int32_t *a, int32_t *b, const int32_t *n) { kestro::utility::copy_n(a, b, *n); }
inline void cVectorCopy(const kestro_complex *a, kestro_complex *b, const int32_t *n) {
    kestro::utility::copy_n(a, b, *n);
}
inline void MatrixCopy(const double *a, double *b, const int32_t *n, const int32_t *m) {
    kestro::utility::copy_n(a, b, kestro::utility::element_count({*n, *m}));
}

inline void GetScalarMatrix(double *a, const int32_t *n, const double *lambda) {
    IniMatrixwithZeros(a, n, n);
    for (int64_t i = 0; i < *n; ++i) a[i * *n + i] = *lambda;
}
inline void GetIdentityMatrix(double *a, const int32_t *n) {
    const double one = 1.0;
    GetScalarMatrix(a, n, &one);
}
inline void GetEyeMatrix(double *a, const int32_t *k, const int32_t *n) {
    IniMatrixwithZeros(a, n, n);
    // a(i, j) = 1 where j - i = k, 0-based here.
    const int64_t nn = *n;
    const int64_t shift = *k;
    for (int64_t i = std::max<int64_t>(0, -shift); i < nn && i + shift < nn; ++i) a[(i + shift) * nn + i] = 1.0;
}

inline void iSwap(int32_t *a, int32_t *b) { kestro::utility::swap_values(a, b); }
inline void fSwap(double *a, double *b) { kestro::utility::swap_values(a, b); }
inline void cSwap(kestro_complex *a, kestro_complex *b) { kestro::utility::swap_values(a, b); }

inline kestro_logical1 iBounded(const int32_t *x, const int32_t *xlow, const int32_t *xup) {
    return kestro::utility::logical(*x >= *xlow && *x <= *xup);
}
inline kestro_logical1 fBounded(const double *x, const double *xlow, const double *xup) {
    return kestro::utility::logical(*x >= *xlow && *x <= *xup);
}

// Wraps around at the ends of the 4-byte range, as a two's-complement caller expects.
inline void iINC(int32_t *i, const int32_t *step) {
    *i = static_cast<int32_t>(static_cast<uint32_t>(*i) + static_cast<uint32_t>(step != nullptr ? *step : 1));
}
inline void fINC(double *f, const double *step) { *f += step != nullptr ? *step : 1.0; }

inline kestro_logical1 lXOR(const kestro_logical1 *a, const kestro_logical1 *b) {
    return kestro::utility::logical((*a != 0) != (*b != 0));
}
inline kestro_logical1 lNOR(const kestro_logical1 *a, const kestro_logical1 *b) {
    return kestro::utility::logical(*a == 0 && *b == 0);
}
inline kestro_logical1 lNAND(const kestro_logical1 *a, const kestro_logical1 *b) {
    return kestro::utility::logical(lNOR(a, b) != 0 || lXOR(a, b) != 0);
}

inline int32_t iFindLocation(const int32_t *element, const int32_t *array, const int32_t *ndim,
                             const int32_t *notfound) {
    return kestro::utility::find_location(*element, array, *ndim, notfound);
}
inline int32_t fFindLocation(const double *element, const double *array, const int32_t *ndim,
                             const int32_t *notfound) {
    return kestro::utility::find_location(*element, array, *ndim, notfound);
}
inline int32_t cFindLocation(const kestro_complex *element, const kestro_complex *array, const int32_t *ndim,
                             const int32_t *notfound) {
    return kestro::utility::find_location(*element, array, *ndim, notfound);
}

}  // extern "C"
