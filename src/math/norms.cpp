// Norms, distances, errors, modal assurance criteria and scalar special
// functions of module math.  Sums run in ascending index order, columns
// outermost, with no scaling: the results are those of the plain sums.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/scratch.hpp"
#include "decl/math.hpp"
#include "math/arithmetic.hpp"
#include "math/math.hpp"
#include "core/markers.hpp"

namespace {

using kestro::Scratch;
using kestro::math::extent;

using kestro::kLargestReal;
constexpr double kTwoTo52 = 4503599627370496.0;

// The exponent of the p-norms: p, but never below the smallest positive normal double.
double exponent(double p) { return std::max(p, std::numeric_limits<double>::min()); }

double sum_of_squares(const double *x, int64_t count) {
    double s = 0.0;
    for (int64_t i = 0; i < count; ++i) s += x[i] * x[i];
    return s;
}

double lp(const double *x, int64_t count, double p) {
    const double q = exponent(p);
    double s = 0.0;
    for (int64_t i = 0; i < count; ++i) s += std::pow(std::abs(x[i]), q);
    return std::pow(s, 1.0 / q);
}

// The singular values of x(m, n), i = 1 ... min(m, n), from the diagonal of s;
// also the largest entry of the whole s (NaN ignored) for the spectral norm.
struct Singular {
    Scratch<double> values;
    int64_t count;
    double largest;

    Singular(const double *x, const int32_t *m, const int32_t *n)
        : values(std::min(extent(m), extent(n))), count(std::min(extent(m), extent(n))), largest(-kLargestReal) {
        const int64_t rows = extent(m), cols = extent(n);
        Scratch<double> u(rows * rows), s(rows * cols), v(cols * cols);
        SingularValueDecomposition(x, u.data(), s.data(), v.data(), m, n);
        for (int64_t i = 0; i < rows * cols; ++i)
            if (s[static_cast<std::size_t>(i)] > largest) largest = s[static_cast<std::size_t>(i)];
        for (int64_t i = 0; i < count; ++i) values[static_cast<std::size_t>(i)] = s[static_cast<std::size_t>(i * rows + i)];
    }
};

bool empty(const int32_t *m, const int32_t *n) { return *m < 1 || *n < 1; }

// A norm from singular values of x(m, n) with an entry that is not finite:
// NaN, recorded, for a NaN entry; +inf for infinite entries (every singular
// value norm of such a matrix is infinite); false when every entry is finite.
bool not_finite(const char *routine, const double *x, const int32_t *m, const int32_t *n, double &norm) {
    const int64_t count = extent(m) * extent(n);
    if (kestro::math::all_finite(x, count)) return false;
    const bool nan = std::any_of(x, x + count, [](double v) { return std::isnan(v); });
    if (nan) kestro::math::report_non_finite(routine, true);
    norm = nan ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    return true;
}

// The integer part toward zero, sign kept, below 2^52; larger values are integers already.
double cut(double v) { return std::abs(v) < kTwoTo52 ? std::trunc(v) : v; }

}  // namespace

extern "C" {

double VectorNorm(const double *x, const int32_t *n) { return std::sqrt(sum_of_squares(x, extent(n))); }

double MatrixNorm(const double *x, const int32_t *n, const int32_t *m) {
    return std::sqrt(sum_of_squares(x, extent(n) * extent(m)));
}

double LpVectorNorm(const double *x, const double *p, const int32_t *n) { return lp(x, extent(n), *p); }

double LpMatrixNorm(const double *x, const double *p, const int32_t *n, const int32_t *m) {
    return lp(x, extent(n) * extent(m), *p);
}

double SpectralNorm(const double *x, const int32_t *m, const int32_t *n) {
    if (empty(m, n)) return -kLargestReal;
    if (double norm; not_finite("SpectralNorm", x, m, n, norm)) return norm;
    return Singular(x, m, n).largest;
}

double NuclearNorm(const double *x, const int32_t *m, const int32_t *n) {
    if (empty(m, n)) return 0.0;
    if (double norm; not_finite("NuclearNorm", x, m, n, norm)) return norm;
    Singular sv(x, m, n);
    double s = 0.0;
    for (int64_t i = 0; i < sv.count; ++i) s += sv.values.data()[i];
    return s;
}

double SchattenNorm(const double *x, const double *p, const int32_t *m, const int32_t *n) {
    if (empty(m, n)) return 0.0;
    if (double norm; not_finite("SchattenNorm", x, m, n, norm)) return norm;
    Singular sv(x, m, n);
    return lp(sv.values.data(), sv.count, *p);
}

double EuclideanDistance(const double *x, const double *y, const int32_t *n) {
    double s = 0.0;
    for (int64_t i = 0; i < extent(n); ++i) s += (x[i] - y[i]) * (x[i] - y[i]);
    return std::sqrt(s);
}

double RootMeanSquareError(const double *x, const double *y, const int32_t *n) {
    return std::sqrt(1.0 / *n) * EuclideanDistance(x, y, n);
}

double MeanAbsoluteError(const double *x, const double *y, const int32_t *n) {
    double s = 0.0;
    for (int64_t i = 0; i < extent(n); ++i) s += std::abs(x[i] - y[i]);
    return 1.0 / *n * s;
}

double VectorModalAssuranceCriterion(const double *a, const double *b, const int32_t *n) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int64_t i = 0; i < extent(n); ++i) ab += a[i] * b[i];
    for (int64_t i = 0; i < extent(n); ++i) aa += a[i] * a[i];
    for (int64_t i = 0; i < extent(n); ++i) bb += b[i] * b[i];
    return ab * ab / (aa * bb);
}

void MatrixModalAssuranceCriterion(const double *xs, const double *ys, double *mac, const int32_t *n) {
    const int64_t order = extent(n);
    std::fill_n(mac, order * order, -1.0);
    Scratch<double> a(order * order), b(order * order);
    MatrixEigenVectors(xs, a.data(), n, nullptr);
    MatrixEigenVectors(ys, b.data(), n, nullptr);
    for (int64_t j = 0; j < order; ++j)
        for (int64_t i = 0; i < order; ++i)
            mac[j * order + i] = VectorModalAssuranceCriterion(a.data() + i * order, b.data() + j * order, n);
}

}  // extern "C"

namespace kestro::math {

double dacoth(const double *x) noexcept { return 0.5 * std::log((*x + 1.0) / (*x - 1.0)); }

double datanh(const double *x) noexcept { return 0.5 * std::log((*x + 1.0) / (1.0 - *x)); }

double fishertransformation(const double *x, const int32_t *iflag) noexcept {
    return iflag == nullptr || *iflag == -1 ? datanh(x) : std::tanh(*x);
}

double dacosh(const double *x) noexcept { return std::log(*x + std::sqrt(*x * *x - 1.0)); }

double dasinh(const double *x) noexcept { return std::log(*x + std::sqrt(*x * *x + 1.0)); }

double droundsf(const double *a, const int32_t *sig) noexcept {
    // 10^sig by repeated multiplication, as an integer power.
    const int32_t places = sig != nullptr ? *sig : 8;
    double f = 1.0;
    for (int64_t i = 0; i < std::abs(int64_t{places}) && !std::isinf(f); ++i) f *= 10.0;
    if (places < 0) f = 1.0 / f;
    return cut(*a * f) / f;
}

double dceil(const double *a) noexcept { return cut(*a) + 1.0; }

}  // namespace kestro::math
