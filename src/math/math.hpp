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
double partialcurvelength(const double *dy) noexcept asm("__math_MOD_partialcurvelength");

}  // namespace kestro::math
