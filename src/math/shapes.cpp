// Ellipse, triangle and parabola helpers and the class-based percentile.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "decl/utility.hpp"
#include "math/math.hpp"
#include "core/markers.hpp"

namespace {
constexpr double degree = 0.017453292519943295;
}

extern "C" {

void GetBoundingBoxFromEllipse(double *xybound, const double *a, const double *b, const double *phi_d) {
    const double c = std::cos(*phi_d * degree), s = std::sin(*phi_d * degree);
    xybound[0] = std::sqrt(*a * *a * c * c + *b * *b * s * s);
    xybound[1] = std::sqrt(*a * *a * s * s + *b * *b * c * c);
}

void GetRadiusOfEllipse(double *r, const double *a, const double *b, const double *phi_d) {
    const double c = std::cos(*phi_d * degree), s = std::sin(*phi_d * degree);
    *r = *a * *b / std::sqrt(*b * *b * c * c + *a * *a * s * s);
}

void GetParabolaCoefficients(const double *ind, double *oud) {
    const double x1 = ind[0], x2 = ind[1], x3 = ind[2];
    const double y1 = ind[3], y2 = ind[4], y3 = ind[5];
    const double b = ((y2 - y3) * (x1 * x1 - x2 * x2) - (x2 * x2 - x3 * x3) * (y1 - y2)) /
                     ((x2 - x3) * (x1 - x3) * (x1 - x2));
    // A from the first two points, or from the first and third when the first
    // two lie symmetric about 0 (x1^2 = x2^2 with x1 != x2).
    const double a = x1 * x1 != x2 * x2 ? ((y1 - y2) - (x1 - x2) * b) / (x1 * x1 - x2 * x2)
                                        : ((y1 - y3) - (x1 - x3) * b) / (x1 * x1 - x3 * x3);
    oud[0] = a;
    oud[1] = b;
    oud[2] = y1 - a * x1 * x1 - b * x1;
}

}  // extern "C"

namespace kestro::math {

double gettrianglearea(const double *x1, const double *y1, const double *x2, const double *y2, const double *x3,
                       const double *y3) noexcept {
    return (*x1 * *y2 + *x2 * *y3 + *x3 * *y1 - *x2 * *y1 - *x3 * *y2 - *x1 * *y3) / 2.0;
}

void getpercentile(const double *array, const int32_t *ndim, const double *percentile, double *event,
                   const int32_t *classsize) noexcept {
    const int32_t n = std::max(*ndim, 0);
    if (n == 1) {
        *event = array[0];
        return;
    }
    *event = 0.0;
    const auto width = static_cast<double>(*classsize);
    if (n == 0 || width < 1.0) return;  // no data or no classes
    double rmax = -std::numeric_limits<double>::infinity();
    int64_t valid = 0;  // values below the largest finite double
    for (int32_t i = 0; i < n; ++i)
        if (array[i] < kestro::kAbsentReal) {
            rmax = std::max(rmax, array[i]);
            ++valid;
        }
    if (valid == 0) return;
    const double classes = std::trunc(rmax / width + 1.0);
    std::vector<int32_t> order(static_cast<std::size_t>(n));
    const int32_t ascending = 1;
    fGetContinuous(array, &n, order.data(), &ascending);
    auto sorted = [&](int64_t k) { return array[order[static_cast<std::size_t>(k)] - 1]; };
    // The fraction of values up to c * width grows only where a value enters a
    // class, so only class 1 and the classes holding a value are candidates:
    // the first candidate whose fraction reaches p is the first class that does.
    const double p = *percentile / 100.0;
    *event = 1.0 - width;  // no class reaches p (class 0)
    int64_t taken = 0;     // values counted so far
    double c = 1.0;
    while (c <= classes) {
        while (taken < n && sorted(taken) <= c * width) ++taken;
        if (static_cast<double>(taken) / static_cast<double>(valid) >= p) {
            *event = (c * width - width) + 1.0;
            return;
        }
        if (taken == n) return;  // no value is left to raise the fraction
        c = std::max(c + 1.0, std::ceil(sorted(taken) / width));
    }
}

}  // namespace kestro::math
