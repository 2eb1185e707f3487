// Numerical derivatives and quadrature of module math: the trapezoidal
// integral, column-wise difference quotients, the complex-step and the
// finite-difference derivative of sampled data, the shoelace area and the
// binomial coefficient.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "decl/math.hpp"

extern "C" {

void Gradient(double *jac, const double *dy, const double *dx, const int32_t *a, const int32_t *b) {
    const int64_t rows = std::max(*a, 0);
    for (int64_t j = 0; j < *b; ++j)
        for (int64_t i = 0; i < rows; ++i) jac[j * rows + i] = dy[j * rows + i] / dx[j];
}

void ComplexStepDerivative(double *derivative, const kestro_complex *y, const kestro_complex *x, const int32_t *n) {
    for (int32_t k = 0; k < *n; ++k) derivative[k] = y[k].im / x[k].im;
}

void CentralStepDerivative(double *derivative, const double *y, const double *x, const int32_t *n) {
    const int32_t m = *n;
    if (m < 2) return;  // no secant to take
    derivative[0] = (y[1] - y[0]) / (x[1] - x[0]);
    for (int32_t i = 1; i < m - 1; ++i) derivative[i] = (y[i + 1] - y[i - 1]) / (x[i + 1] - x[i - 1]);
    derivative[m - 1] = (y[m - 1] - y[m - 2]) / (x[m - 1] - x[m - 2]);
}

double ShoelaceMethod(const double *x, const double *y, const int32_t *n) {
    const int32_t m = *n;
    if (m < 3) return 0.0;
    double s = 0.0;
    for (int32_t i = 0; i < m; ++i) {
        const int32_t next = i + 1 < m ? i + 1 : 0;
        s += x[i] * y[next] - x[next] * y[i];
    }
    return std::abs(s) / 2.0;
}

// C(n, k) by r = r (n - c) / (c + 1) in 64-bit integers (every division
// exact); NaN when a product would not fit.
double PascalTriangle(const int32_t *n, const int32_t *k) {
    if (*k < 1) return 1.0;
    int64_t r = 1;
    for (int64_t c = 0; c < *k && r != 0; ++c) {
        int64_t product = 0;
        if (__builtin_mul_overflow(r, int64_t{*n} - c, &product)) return std::numeric_limits<double>::quiet_NaN();
        r = product / (c + 1);
    }
    return static_cast<double>(r);
}

}  // extern "C"

namespace kestro::math {

double trapezoidintegration(const double *x, const double *y, const int32_t *n) noexcept {
    double s = 0.0;
    for (int32_t i = 0; i + 1 < *n; ++i) s += (x[i + 1] - x[i]) * (y[i] + y[i + 1]);
    return 0.5 * s;
}

}  // namespace kestro::math
