// Least-squares polynomial fit through the normal equations.
#include <vector>

#include "core/errorhandling.hpp"
#include "math/lapack.hpp"
#include "math/math.hpp"

namespace kestro::math {

void polynomialfitting(double *c, const double *vx, const double *vy, const int32_t *m, const int32_t *d) noexcept {
    const int64_t rows = *m > 0 ? *m : 0;
    const int64_t n = *d >= 0 ? int64_t{*d} + 1 : 0;
    if (n == 0) return;
    // Design matrix X(i, j) = vx(i)^(j-1), by repeated multiplication.
    std::vector<double> design(static_cast<std::size_t>(rows * n));
    for (int64_t i = 0; i < rows; ++i) {
        double power = 1.0;
        for (int64_t j = 0; j < n; ++j) {
            design[j * rows + i] = power;
            power *= vx[i];
        }
    }
    // A = X^T X, inverted in place by LU factors.
    std::vector<double> a(static_cast<std::size_t>(n * n), 0.0);
    for (int64_t j = 0; j < n; ++j)
        for (int64_t k = 0; k < n; ++k)
            for (int64_t i = 0; i < rows; ++i) a[j * n + k] += design[k * rows + i] * design[j * rows + i];
    std::vector<int> pivots(static_cast<std::size_t>(n));
    std::vector<double> work(static_cast<std::size_t>(n));
    const int order = static_cast<int>(n);
    int info = 0;
    const char *failed = "Problem in polynom fitting function";
    dgetrf_(&order, &order, a.data(), &order, pivots.data(), &info);
    if (info != 0) record_error(-2, failed, {0, 0}, {0.0, 0.0}, {"", ""});
    dgetri_(&order, a.data(), &order, pivots.data(), work.data(), &order, &info);
    if (info != 0) record_error(-2, failed, {0, 0}, {0.0, 0.0}, {"", ""});
    // c = (A^-1 X^T) vy.
    for (int64_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int64_t k = 0; k < rows; ++k) {
            double b = 0.0;
            for (int64_t l = 0; l < n; ++l) b += a[l * n + j] * design[l * rows + k];
            sum += b * vy[k];
        }
        c[j] = sum;
    }
}

}  // namespace kestro::math
