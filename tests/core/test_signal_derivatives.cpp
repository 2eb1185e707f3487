// Numerical derivatives, quadrature and signal shaping: worked values, the
// limits of the inputs and the guards that keep short inputs in bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "decl/math.hpp"
#include "decl/signalprocessing.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kUnused = std::numeric_limits<double>::min();

TEST(Derivatives, DifferenceQuotientsComplexStepAndQuadrature) {
    const Vec dy = {2, 6, 4, 8}, dx = {2, 4};  // rows (2, 4) and (6, 8)
    Vec jac(4, -1.0);
    const int32_t two = 2, zero = 0, one = 1, three = 3;
    Gradient(jac.data(), dy.data(), dx.data(), &two, &two);
    EXPECT_EQ(jac, (Vec{1, 3, 1, 2}));
    Vec untouched(4, -1.0);
    Gradient(untouched.data(), dy.data(), dx.data(), &two, &zero);
    EXPECT_EQ(untouched, Vec(4, -1.0));

    // f(x) = x^2 and sin evaluated in complex arithmetic at x0 + 1e-20 i.
    const std::complex<double> x3(3.0, 1e-20), x1(1.0, 1e-20);
    const std::complex<double> y[2] = {x3 * x3, std::sin(x1)}, x[2] = {x3, x1};
    double d[2];
    ComplexStepDerivative(d, reinterpret_cast<const kestro_complex *>(y), reinterpret_cast<const kestro_complex *>(x),
                          &two);
    EXPECT_EQ(d[0], 6.0);
    EXPECT_NEAR(d[1], std::cos(1.0), 1e-15);

    Vec cx = {1.9999, 2.0, 2.0001}, cy(3), out(3, -1.0);
    for (int i = 0; i < 3; ++i) cy[i] = cx[i] * cx[i] * cx[i];
    CentralStepDerivative(out.data(), cy.data(), cx.data(), &three);
    EXPECT_NEAR(out[1], 12.0, 1e-7);
    const Vec sx = {0, 1, 3}, sy = {0, 1, 9};
    CentralStepDerivative(out.data(), sy.data(), sx.data(), &three);
    EXPECT_EQ(out, (Vec{1, 3, 4}));
    CentralStepDerivative(out.data(), sy.data(), sx.data(), &two);  // both ends: the one secant
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[1], 1.0);
    Vec guard(3, -1.0);
    CentralStepDerivative(guard.data(), sy.data(), sx.data(), &one);  // one point: nothing
    EXPECT_EQ(guard, Vec(3, -1.0));

    using kestro::math::trapezoidintegration;
    const Vec tx = {0, 1, 3}, ty = {0, 2, 2}, lx = {3, 0.5, -2, 4}, ly = {7, 2, -3, 9};  // y = 2x + 1
    EXPECT_EQ(trapezoidintegration(tx.data(), ty.data(), &three), 5.0);
    EXPECT_EQ(trapezoidintegration(tx.data(), ty.data(), &one), 0.0);
    const int32_t four = 4;
    EXPECT_EQ(trapezoidintegration(lx.data(), ly.data(), &four), (4.0 * 4.0 + 4.0) - (3.0 * 3.0 + 3.0));

    const Vec qx = {0, 1, 1, 0}, qy = {0, 0, 1, 1}, rx = {0, 0, 1, 1}, ry = {0, 1, 1, 0};
    EXPECT_EQ(ShoelaceMethod(qx.data(), qy.data(), &four), 1.0);
    EXPECT_EQ(ShoelaceMethod(rx.data(), ry.data(), &four), 1.0);  // clockwise
    EXPECT_EQ(ShoelaceMethod(qx.data(), qy.data(), &two), 0.0);
}

TEST(Derivatives, BinomialCoefficientsAreExactUntilA64BitProductOverflows) {
    struct Case {
        int32_t n, k;
        double expected;
    };
    for (const Case &c : {Case{5, 2, 10}, Case{5, 0, 1}, Case{4, -1, 1}, Case{3, 5, 0}, Case{30, 15, 155117520},
                          Case{31, 13, 206253075}, Case{34, 17, 2333606220}, Case{-3, 2, 6}, Case{-3, 1, -3},
                          Case{61, 30, static_cast<double>(232714176627630544LL)}, Case{3, 2147483647, 0}})
        EXPECT_EQ(PascalTriangle(&c.n, &c.k), c.expected) << c.n << " " << c.k;
    const int32_t n = 62, k = 28;
    EXPECT_TRUE(std::isnan(PascalTriangle(&n, &k)));
}

TEST(SignalShaping, LimitsCyclicIndexAndCurves) {
    struct Limit {
        double x, lo, up, expected;
    };
    for (const Limit &c : {Limit{5, 0, 1, 1}, Limit{-1, 0, 1, 0}, Limit{2, 5, 3, 5}, Limit{4, 5, 3, 3}}) {
        EXPECT_EQ(fLimit(&c.x, &c.lo, &c.up), c.expected);
        const int32_t x = static_cast<int32_t>(c.x), lo = static_cast<int32_t>(c.lo), up = static_cast<int32_t>(c.up);
        EXPECT_EQ(iLimit(&x, &lo, &up), static_cast<int32_t>(c.expected));
    }
    struct Mod {
        int32_t x, m, expected;
    };
    for (const Mod &c : {Mod{0, 12, 12}, Mod{13, 12, 1}, Mod{-1, 12, 11}, Mod{7, 0, 0}, Mod{5, -3, -1},
                         Mod{-3, -3, -3}, Mod{std::numeric_limits<int32_t>::min(), -1, -1}})
        EXPECT_EQ(mLimit(&c.x, &c.m), c.expected) << c.x << " " << c.m;

    const double one = 1.0, half = 0.5, quarter = 0.25, two = 2.0, k = 0.5, x0 = 0.0;
    EXPECT_NEAR(LogarithmicBarrier(&one, &one), -std::log(2.220446049250313e-16), 1e-12);
    EXPECT_EQ(kestro::signalprocessing::logistic(&x0, &k, &x0, nullptr), 0.5);
    EXPECT_EQ(kestro::signalprocessing::logistic(&x0, &k, &x0, &two), 1.0);
    const double a = 1.0, kk = 3.0, b = 1.0, q = 1.0, v = 1.0;
    EXPECT_EQ(kestro::signalprocessing::generallogistic(&x0, &a, &kk, &b, &q, &v, nullptr), 2.0);
    EXPECT_EQ(GeneralSigmoidal(&half, &x0), 0.5);
    const int32_t n1 = 1, n2 = 2, n3 = 3, nm = -1, n0 = 0;
    EXPECT_EQ(GeneralSmoothStep(&half, &n1), 0.5);
    EXPECT_EQ(GeneralSmoothStep(&two, &n3), 1.0);
    EXPECT_EQ(GeneralSmoothStep(&half, &nm), 0.0);
    EXPECT_EQ(GeneralSmoothStep(&quarter, &n0), 0.25);
    EXPECT_EQ(GeneralSmoothStep(&quarter, &n2), 0.103515625);
    EXPECT_EQ(GeneralSmoothStep(&quarter, &n1), 3 * 0.0625 - 2 * 0.015625);
}

TEST(SignalShaping, MeansAndRunningAverages) {
    const Vec x = {1, 4}, w = {1, 1};
    const int32_t two = 2, zero = 0;
    struct Mean {
        double p, expected;
    };
    for (const Mean &c : {Mean{1, 2.5}, Mean{0, 2}, Mean{-1, 1.6}, Mean{-kLargest, 1}, Mean{kLargest, 4}})
        EXPECT_NEAR(GeneralizedMean(x.data(), &c.p, &two, nullptr), c.expected, 1e-15) << c.p;
    const double p1 = 1, pmin = -kLargest, pmax = kLargest;
    EXPECT_EQ(GeneralizedMean(x.data(), &p1, &two, w.data()), 5.0);  // weights used as given
    EXPECT_EQ(GeneralizedMean(x.data(), &p1, &zero, nullptr), 0.0);
    EXPECT_EQ(GeneralizedMean(x.data(), &pmin, &zero, nullptr), kLargest);
    EXPECT_EQ(GeneralizedMean(x.data(), &pmax, &zero, nullptr), -kLargest);

    double cma = 2.0;
    const double next = 5.0;
    const int32_t three = 3;
    CumulativeMovingAverage(&cma, &next, &three);
    EXPECT_EQ(cma, 2.75);

    Vec window(3, 0.0), averages;
    int32_t denom = 0;
    for (double r : {1.0, 2.0, 3.0, 4.0}) {
        double sma = -1.0;
        WeightedMovingAverage(&sma, &r, window.data(), &denom, &three, nullptr);
        averages.push_back(sma);
    }
    EXPECT_EQ(averages, (Vec{1, 1.5, 2, 3}));
    EXPECT_EQ(window, (Vec{2, 3, 4}));
    const Vec weights = {0.5, 1, 2};
    double sma = 0.0;
    const double r = 5.0;
    WeightedMovingAverage(&sma, &r, window.data(), &denom, &three, weights.data());  // divided by denom
    EXPECT_EQ(sma, (0.5 * 3 + 1 * 4 + 2 * 5) / 3.0);
    // No window: nothing written, sma 0, denom kept.
    double none = 7.0, slot = -1.0;
    int32_t count = 0;
    WeightedMovingAverage(&none, &r, &slot, &count, &zero, nullptr);
    EXPECT_EQ(none, 0.0);
    EXPECT_EQ(slot, -1.0);
    EXPECT_EQ(count, 0);
}

TEST(SignalShaping, PeaksWithHysteresis) {
    const Vec v = {0, 1, 0, 2, 0};
    const double delta = 0.5, negative = -0.5;
    const int32_t n = 5;
    Vec maxtab(10), mintab(10);
    int32_t nmax = -1, nmin = -1;
    for (const double *d : {&delta, &negative}) {  // |delta|
        GetPeaks(maxtab.data(), mintab.data(), &nmax, &nmin, v.data(), d, &n, nullptr);
        EXPECT_EQ(nmax, 2);
        EXPECT_EQ(nmin, 1);
        EXPECT_EQ(maxtab, (Vec{2, 4, kUnused, kUnused, kUnused, 1, 2, kUnused, kUnused, kUnused}));
        EXPECT_EQ(mintab, (Vec{3, kUnused, kUnused, kUnused, kUnused, 0, kUnused, kUnused, kUnused, kUnused}));
    }
    const Vec at = {10, 20, 30, 40, 50}, zeros(5, 0.0);
    GetPeaks(maxtab.data(), mintab.data(), &nmax, &nmin, v.data(), &delta, &n, at.data());
    EXPECT_EQ(maxtab[0], 20.0);
    GetPeaks(maxtab.data(), mintab.data(), &nmax, &nmin, v.data(), &delta, &n, zeros.data());  // no positions
    EXPECT_EQ(maxtab[0], 2.0);
    const int32_t empty = 0;
    GetPeaks(maxtab.data(), mintab.data(), &nmax, &nmin, v.data(), &delta, &empty, nullptr);
    EXPECT_EQ(nmax + nmin, 0);
}

}  // namespace
