// Routines of module math without C names (module procedures, exported as
// __math_MOD_<name>).
#pragma once

#include <cstdint>

#include "kestro/math.h"

namespace kestro::math {

using RootFunction = kestro_root_function;
using FixpointFunction = kestro_fixpoint_function;

double gettrianglearea(const double *x1, const double *y1, const double *x2, const double *y2, const double *x3,
                       const double *y3) noexcept asm("__math_MOD_gettrianglearea");
void getpercentile(const double *array, const int32_t *ndim, const double *percentile, double *event,
                   const int32_t *classsize) noexcept asm("__math_MOD_getpercentile");

// The root finders call back into the caller's function: they must not be
// noexcept, and keep no objects with destructors across the calls (a Python
// callable that raises leaves the finder by a long jump).
void bdsafe(RootFunction dfunc, const double *x1, const double *x2, double *root, const double *args,
            const double *xacc, const int32_t *maxit, const int32_t *na, const int32_t *nfun, int32_t *istat)
    asm("__math_MOD_bdsafe");
void nrsafe(RootFunction dfunc, const double *x1, const double *x2, double *root, const double *args,
            const double *xacc, const int32_t *maxit, const int32_t *na, const int32_t *nfun, int32_t *istat)
    asm("__math_MOD_nrsafe");
void fpsafe(FixpointFunction dfunc, double *xs, const double *args, const double *xacc, const int32_t *maxit,
            const int32_t *na, const int32_t *nfun, int32_t *istat) asm("__math_MOD_fpsafe");

double cuberoot(const double *a) noexcept asm("__math_MOD_cuberoot");

// Table interpolation: the result holds one value per point of p.
void nearestinterpolation(double *result, const double *x, const int32_t *n, const double *y, const double *p,
                          const int32_t *np) noexcept asm("__math_MOD_nearestinterpolation");
void linearinterpolation(double *result, const double *x, const int32_t *n, const double *y, const double *p,
                         const int32_t *np) noexcept asm("__math_MOD_linearinterpolation");
void cubichermitianinterpolation(double *result, const double *x, const int32_t *n, const double *y,
                                 const double *p, const int32_t *np) noexcept
    asm("__math_MOD_cubichermitianinterpolation");
double cubichermitianintegration(const double *x, const int32_t *n, const double *y, const double *a,
                                 const double *b) noexcept asm("__math_MOD_cubichermitianintegration");
double cubichermitianarclength(const double *x, const int32_t *n, const double *y, const double *a,
                               const double *b) noexcept asm("__math_MOD_cubichermitianarclength");

// Least-squares coefficients c(d + 1) (constant term first) of a polynomial of
// degree d through m samples.
void polynomialfitting(double *c, const double *vx, const double *vy, const int32_t *m, const int32_t *d) noexcept
    asm("__math_MOD_polynomialfitting");
double partialcurvelength(const double *dy) noexcept asm("__math_MOD_partialcurvelength");

}  // namespace kestro::math
