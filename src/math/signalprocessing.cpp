// Signal shaping (module signalprocessing): limits, a cyclic index, transfer
// curves, the generalised mean, running averages kept in the caller's
// variables, and a peak finder with hysteresis.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "decl/math.hpp"
#include "decl/signalprocessing.hpp"
#include "core/markers.hpp"
#include "math/arithmetic.hpp"

namespace {

using kestro::kLargestReal;
constexpr double kUnusedRow = std::numeric_limits<double>::min();  // marks a row of the peak tables

// ---- The smooth step S_n(t) = I_t(n + 1, n + 1), the regularized incomplete
// beta function of equal parameters, which the alternating sum of the
// definition equals; evaluated without that sum's cancellation.

// P(X >= n + 1) for X binomial over 2n + 1 trials of probability s < 1/2: its
// terms are positive and fall from the first, so the sum loses nothing.
double binomial_upper_tail(double s, int32_t n) {
    const double q = s * (1.0 - s), r = s / (1.0 - s);
    double first = s;  // C(2n+1, n+1) s^(n+1) (1-s)^n
    for (int32_t k = 1; k <= n; ++k) first *= (n + 1.0 + k) / k * q;
    const int64_t trials = 2 * int64_t{n} + 1;
    double sum = 1.0, term = 1.0;
    for (int64_t j = int64_t{n} + 1; j < trials && term >= 1e-17 * sum; ++j) {
        term *= static_cast<double>(trials - j) / static_cast<double>(j + 1) * r;
        sum += term;
    }
    return first * sum;
}

// The uniform expansion for large a = n + 1.  With -eta^2/2 = ln(4s(1-s)),
// I_s(a, a) is the normal integral of e^(-a eta^2/2) f(eta) up to eta, where
// f(eta) = sqrt(w / (1 - e^-w)), w = eta^2/2, = sum c_k eta^2k.  Integrating by
// parts with f_0 = f, h_j = (f_j - f_j(0))/eta, f_(j+1) = h_j' gives
//   I = erfc(-eta sqrt(a/2))/2 - e^(-a eta^2/2)/sqrt(2 pi a) sum_j h_j(eta)/a^j / sum_j f_j(0)/a^j,
// f_j(0) = (2j-1)!! c_j and h_j(eta) = sum_(k>j) (2k-1)(2k-3)...(2k-2j+1) c_k eta^(2k-2j-1).
constexpr int kTerms = 17;  // c_0 ... c_16: eta^32 ~ 1e-18 for |eta| <= 1
constexpr int kOrders = 5;  // h_0 ... h_4 over powers of 1/a, a > 100

struct SmoothStepSeries {
    double f0[kOrders] = {};         // f_j(0)
    double h[kOrders][kTerms] = {};  // h_j(eta) = eta sum_m h[j][m] eta^2m
};

constexpr SmoothStepSeries smooth_step_series() {
    // Bernoulli numbers B_n (B_1 = +1/2): w / (1 - e^-w) = sum B_n w^n / n!.
    double bernoulli[kTerms] = {1.0};
    double binomial[kTerms + 1][kTerms + 1] = {};
    for (int m = 0; m <= kTerms; ++m) {
        binomial[m][0] = 1.0;
        for (int k = 1; k <= m; ++k) binomial[m][k] = binomial[m - 1][k - 1] + (k < m ? binomial[m - 1][k] : 0.0);
    }
    for (int m = 1; m < kTerms; ++m) {
        double sum = 0.0;
        for (int k = 0; k < m; ++k) sum += binomial[m + 1][k] * bernoulli[k];
        bernoulli[m] = -sum / (m + 1);
    }
    bernoulli[1] = 0.5;
    // In powers of z = eta^2 (w = z/2), then the square root c of that series.
    double b[kTerms] = {}, c[kTerms] = {}, scale = 1.0;
    for (int k = 0; k < kTerms; ++k, scale *= 2.0 * k) b[k] = bernoulli[k] / scale;
    c[0] = 1.0;
    for (int k = 1; k < kTerms; ++k) {
        double sum = b[k];
        for (int i = 1; i < k; ++i) sum -= c[i] * c[k - i];
        c[k] = 0.5 * sum;
    }
    SmoothStepSeries s;
    for (int j = 0; j < kOrders; ++j) {
        double odd = 1.0;  // (2j-1)!!
        for (int i = 1; i <= j; ++i) odd *= 2 * i - 1;
        s.f0[j] = odd * c[j];
        for (int k = j + 1; k < kTerms; ++k) {
            double p = 1.0;
            for (int i = 0; i < j; ++i) p *= 2 * k - 1 - 2 * i;
            s.h[j][k - j - 1] = p * c[k];
        }
    }
    return s;
}

constexpr SmoothStepSeries kSmoothStep = smooth_step_series();

// I_s(a, a) for s < 1/2 and a > 100.
double symmetric_beta_large(double s, double a) {
    const double u = 1.0 - 2.0 * s;
    const double l = std::log1p(-u * u);  // -eta^2/2
    const double eta = -std::sqrt(-2.0 * l);
    const double normal = 0.5 * std::erfc(-eta * std::sqrt(0.5 * a));
    // Beyond this the correction is below 1e-20 (and |eta| <= 1 keeps the series exact).
    if (-a * l > 45.0) return normal;
    const double z = eta * eta;
    double num = 0.0, den = 0.0, inverse = 1.0;
    for (int j = 0; j < kOrders; ++j, inverse /= a) {
        double h = 0.0;
        for (int m = kTerms - j - 2; m >= 0; --m) h = h * z + kSmoothStep.h[j][m];
        num += eta * h * inverse;
        den += kSmoothStep.f0[j] * inverse;
    }
    return normal - std::exp(a * l) / std::sqrt(2.0 * std::numbers::pi * a) * num / den;
}

}  // namespace

extern "C" {

double fLimit(const double *x, const double *xlow, const double *xup) { return kestro::math::limit(*x, *xlow, *xup); }

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
    if (t == 0.0 || t == 1.0 || t == 0.5) return t;  // S_n(1/2) = 1/2 by symmetry
    // The lower half, then S_n(t) = 1 - S_n(1 - t) (1 - t is exact there).
    const double s = std::min(t, 1.0 - t);
    const double lower = *n <= 100 ? binomial_upper_tail(s, *n) : symmetric_beta_large(s, *n + 1.0);
    return t < 0.5 ? lower : 1.0 - lower;
}

double GeneralizedMean(const double *x, const double *p, const int32_t *n, const double *wi) {
    const int32_t count = std::max(*n, 0);
    if (*p == -kLargestReal) return count == 0 ? kLargestReal : *std::min_element(x, x + count);
    if (*p == kLargestReal) return count == 0 ? -kLargestReal : *std::max_element(x, x + count);
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
    double mx = -kLargestReal, mn = kLargestReal, mxpos = 0.0, mnpos = 0.0;
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
