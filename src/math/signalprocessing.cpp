// Signal shaping (module signalprocessing): limits, a cyclic index, transfer
// curves, the generalised mean, running averages kept in the caller's
// variables, and a peak finder with hysteresis.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "decl/math.hpp"
#include "decl/signalprocessing.hpp"
#include "core/markers.hpp"

namespace {

constexpr double kLargest = kestro::kLargestReal;
constexpr double kUnusedRow = std::numeric_limits<double>::min();  // marks a row of the peak tables

// t^k for k >= 0 by repeated squaring (an integer power).
double power(double t, int64_t k) {
    double r = 1.0;
    for (; k > 0; k >>= 1, t *= t)
        if (k & 1) r *= t;
    return r;
}

}  // namespace

extern "C" {

double fLimit(const double *x, const double *xlow, const double *xup) {
    return *x > *xup ? *xup : std::max(*x, *xlow);
}

int32_t iLimit(const int32_t *x, const int32_t *xlow, const int32_t *xup) {
    return *x > *xup ? *xup : std::max(*x, *xlow);
}

int32_t mLimit(const int32_t *x, const int32_t *xmod) {
    if (*xmod == 0) return 0;
    // The remainder with the sign of xmod, in 64 bits (INT_MIN by -1 included).
    const int64_t p = *xmod;
    int64_t r = int64_t{*x} % p;
    if (r != 0 && (r < 0) != (p < 0)) r += p;
    return static_cast<int32_t>(r == 0 ? p : r);
}

double LogarithmicBarrier(const double *x, const double *b) {
    const double gap = *b - *x, floor = 2.220446049250313e-16;
    return -std::log(gap < floor ? floor : gap);
}

double GeneralSigmoidal(const double *x, const double *k) {
    return (*x - *x * *k) / (*k - 2.0 * *k * std::abs(*x) + 1.0);
}

double GeneralSmoothStep(const double *x, const int32_t *n) {
    if (*n < 0) return 0.0;
    const double zero = 0.0, one = 1.0;
    const double t = fLimit(x, &zero, &one);
    const int32_t upper1 = -*n - 1, upper2 = 2 * *n + 1;
    double sum = 0.0;
    for (int32_t k = 0; k <= *n; ++k) {
        const int32_t k2 = *n - k;
        sum += PascalTriangle(&upper1, &k) * PascalTriangle(&upper2, &k2) * power(t, int64_t{*n} + k + 1);
    }
    return sum;
}

double GeneralizedMean(const double *x, const double *p, const int32_t *n, const double *wi) {
    const int32_t count = std::max(*n, 0);
    if (*p == -kLargest) return count == 0 ? kLargest : *std::min_element(x, x + count);
    if (*p == kLargest) return count == 0 ? -kLargest : *std::max_element(x, x + count);
    if (count == 0) return 0.0;
    const auto weight = [&](int32_t i) { return wi != nullptr ? wi[i] : 1.0 / count; };
    if (*p == 0.0) {
        double product = 1.0;
        for (int32_t i = 0; i < count; ++i) product *= std::pow(x[i], weight(i));
        return product;
    }
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) sum += weight(i) * std::pow(x[i], *p);
    return std::pow(sum, 1.0 / *p);
}

void CumulativeMovingAverage(double *cma, const double *x, const int32_t *n) {
    *cma = (*cma * *n + *x) / (*n + 1.0);
}

void WeightedMovingAverage(double *sma, const double *rval, double *a, int32_t *denom, const int32_t *wb,
                           const double *wi) {
    *sma = 0.0;
    const int32_t slots = *wb;
    if (slots < 1) return;  // no window to hold a value
    bool weighted = wi != nullptr;
    if (weighted) {
        double s = 0.0;
        for (int32_t k = 0; k < slots; ++k) s += wi[k];
        weighted = s != 0.0;
    }
    if (*denom < slots) {
        *denom = std::max(*denom, 0) + 1;
        a[*denom - 1] = *rval;
    } else {
        std::copy(a + 1, a + slots, a);
        a[slots - 1] = *rval;
    }
    // A count beyond the window (which callers must not pass) sums the window only.
    const int32_t held = std::min(*denom, slots);
    double sum = 0.0;
    for (int32_t k = 0; k < held; ++k) sum += (weighted ? wi[k] : 1.0) * a[k];
    *sma = sum / *denom;
}

void GetPeaks(double *maxtab, double *mintab, int32_t *nmaxpeaks, int32_t *nminpeaks, const double *v,
              const double *delta, const int32_t *n, const double *x) {
    const int64_t count = std::max(*n, 0);
    std::fill_n(maxtab, 2 * count, kUnusedRow);
    std::fill_n(mintab, 2 * count, kUnusedRow);
    *nmaxpeaks = 0;
    *nminpeaks = 0;
    const bool positions = x != nullptr && std::any_of(x, x + count, [](double p) { return p != 0.0; });
    const auto pos = [&](int64_t i) { return positions ? x[i] : static_cast<double>(i + 1); };
    const double d = std::abs(*delta);
    double mx = -kLargest, mn = kLargest, mxpos = 0.0, mnpos = 0.0;
    bool looking_for_maximum = true;
    for (int64_t i = 0; i < count; ++i) {
        const double t = v[i];
        if (t > mx) {
            mx = t;
            mxpos = pos(i);
        }
        if (t < mn) {
            mn = t;
            mnpos = pos(i);
        }
        if (looking_for_maximum && t < mx - d) {
            maxtab[*nmaxpeaks] = mxpos;
            maxtab[count + *nmaxpeaks] = mx;
            ++*nmaxpeaks;
            mn = t;
            mnpos = pos(i);
            looking_for_maximum = false;
        } else if (!looking_for_maximum && t > mn + d) {
            mintab[*nminpeaks] = mnpos;
            mintab[count + *nminpeaks] = mn;
            ++*nminpeaks;
            mx = t;
            mxpos = pos(i);
            looking_for_maximum = true;
        }
    }
}

}  // extern "C"

namespace kestro::signalprocessing {

double logistic(const double *x, const double *k, const double *x0, const double *l) noexcept {
    return (l != nullptr ? *l : 1.0) / (1.0 + std::exp(-*k * (*x - *x0)));
}

double generallogistic(const double *x, const double *a, const double *k, const double *b, const double *q,
                       const double *v, const double *c) noexcept {
    return *a + (*k - *a) / std::pow((c != nullptr ? *c : 1.0) + *q * std::exp(-*b * *x), 1.0 / *v);
}

}  // namespace kestro::signalprocessing
