// Interpolation of one-dimensional tables over the two interpolation packages,
// and integrals of the monotone cubic Hermite interpolant.  Called with small
// tables at integration points: work arrays live on the stack.
#include "core/scratch.hpp"
#include "decl/interp.hpp"
#include "decl/pchip.hpp"
#include "math/math.hpp"

namespace kestro::math {

namespace {

// The monotone cubic Hermite derivatives of the table.
void derivatives(const double *x, const int32_t *n, const double *y, double *d) {
    int32_t ierr = 0;
    const int32_t spline = 0, lwk = 0;
    dpchez_(n, x, y, d, &spline, nullptr, &lwk, &ierr);
}

}  // namespace

void nearestinterpolation(double *result, const double *x, const int32_t *n, const double *y, const double *p,
                          const int32_t *np) noexcept {
    const int32_t one = 1;
    interp_nearest_(&one, n, x, y, np, p, result);  // y as a 1 x n matrix, result 1 x np
}

void linearinterpolation(double *result, const double *x, const int32_t *n, const double *y, const double *p,
                         const int32_t *np) noexcept {
    const int32_t one = 1;
    interp_linear_(&one, n, x, y, np, p, result);
}

void cubichermitianinterpolation(double *result, const double *x, const int32_t *n, const double *y,
                                 const double *p, const int32_t *np) noexcept {
    Scratch<double> d(*n);
    derivatives(x, n, y, d.data());
    int32_t ierr = 0, skip = 0;
    const int32_t incfd = 1;
    dpchfe_(n, x, y, d.data(), &incfd, &skip, np, p, result, &ierr);
}

double cubichermitianintegration(const double *x, const int32_t *n, const double *y, const double *a,
                                 const double *b) noexcept {
    Scratch<double> d(*n);
    derivatives(x, n, y, d.data());
    int32_t ierr = 0;
    return dpchqa_(n, x, y, d.data(), a, b, &ierr);
}

double cubichermitianarclength(const double *x, const int32_t *n, const double *y, const double *a,
                               const double *b) noexcept {
    // The node values of sqrt(1 + y'^2), interpolated and integrated in turn.
    Scratch<double> d(*n);
    derivatives(x, n, y, d.data());
    for (int32_t i = 0; i < *n; ++i) d[static_cast<std::size_t>(i)] = partialcurvelength(&d[static_cast<std::size_t>(i)]);
    return cubichermitianintegration(x, n, d.data(), a, b);
}

}  // namespace kestro::math
