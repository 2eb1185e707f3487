// Least-squares polynomial fit through the normal equations.
#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "math/lapack.hpp"
#include "math/math.hpp"

namespace kestro::math {

void polynomialfitting(double *c, const double *vx, const double *vy, const int32_t *m, const int32_t *d) noexcept {
    const int64_t rows = *m > 0 ? *m : 0;
    const int64_t n = *d >= 0 ? int64_t{*d} + 1 : 0;
    if (n == 0) return;
    // Design matrix X(i, j) = vx(i)^(j-1), by repeated multiplication.
    Scratch<double> design(rows * n);
    for (int64_t i = 0; i < rows; ++i) {
        double power = 1.0;
        for (int64_t j = 0; j < n; ++j) {
            design[static_cast<std::size_t>(j * rows + i)] = power;
            power *= vx[i];
        }
    }
    const auto X = [&](int64_t i, int64_t j) { return design[static_cast<std::size_t>(j * rows + i)]; };
    // A = X^T X, inverted in place from its LU factors.
    Scratch<double> a(n * n);
    for (int64_t j = 0; j < n; ++j)
        for (int64_t k = 0; k < n; ++k) {
            double sum = 0.0;
            for (int64_t i = 0; i < rows; ++i) sum += X(i, k) * X(i, j);
            a[static_cast<std::size_t>(j * n + k)] = sum;
        }
    Scratch<int> pivots(n);
    Scratch<double> work(n);
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
            for (int64_t l = 0; l < n; ++l) b += a[static_cast<std::size_t>(l * n + j)] * X(k, l);
            sum += b * vy[k];
        }
        c[j] = sum;
    }
}

}  // namespace kestro::math
