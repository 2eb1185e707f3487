// The cubic Hermite package through its exported entry points:
// monotone and spline derivatives, evaluation with its extrapolation counts,
// integration over arbitrary limits, the input errors under each control
// setting of the message handler (with the exact message blocks), the
// handler's wrapping and message table, and the machine constants.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decl/pchip.hpp"
#include "pchip_testing.hpp"

namespace {

using namespace kestro_pchip_testing;

using Vec = std::vector<double>;

const double kEps = DBL_EPSILON;

int32_t size_of(const Vec &v) { return static_cast<int32_t>(v.size()); }

// The whole output of dpchim called with one data point under the starting
// settings.
const std::string kOnePointBlock = one_point_block("DPCHIM");


// ---------------------------------------------------------------- calling helpers

int32_t pchim(const Vec &x, const Vec &f, Vec &d) {
    const int32_t n = size_of(x), incfd = 1;
    int32_t ierr = 99;
    d.assign(x.size(), -99.0);
    dpchim_(&n, x.data(), f.data(), d.data(), &incfd, &ierr);
    return ierr;
}

struct Evaluated {
    Vec fe, de;
    int32_t ierr = 99;
};

Evaluated pchfd(const Vec &x, const Vec &f, const Vec &d, const Vec &xe) {
    const int32_t n = size_of(x), incfd = 1, ne = size_of(xe);
    int32_t skip = 0;
    Evaluated out;
    out.fe.assign(xe.size(), -99.0);
    out.de.assign(xe.size(), -99.0);
    dpchfd_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), out.fe.data(), out.de.data(), &out.ierr);
    return out;
}

Evaluated pchfe(const Vec &x, const Vec &f, const Vec &d, const Vec &xe) {
    const int32_t n = size_of(x), incfd = 1, ne = size_of(xe);
    int32_t skip = 0;
    Evaluated out;
    out.fe.assign(xe.size(), -99.0);
    dpchfe_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), out.fe.data(), &out.ierr);
    return out;
}

double pchia(const Vec &x, const Vec &f, const Vec &d, double a, double b, int32_t *ierr) {
    const int32_t n = size_of(x), incfd = 1;
    int32_t skip = 0;
    return dpchia_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &a, &b, ierr);
}

double pchid(const Vec &x, const Vec &f, const Vec &d, int32_t ia, int32_t ib, int32_t *ierr) {
    const int32_t n = size_of(x), incfd = 1;
    int32_t skip = 0;
    return dpchid_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ia, &ib, ierr);
}

// The integral of the cubic of interval [x(i), x(i+1)] (one-based i) from a to b.
double interval_integral(const Vec &x, const Vec &f, const Vec &d, int i, double a, double b) {
    const auto k = static_cast<std::size_t>(i - 1);
    return dchfie_(&x[k], &x[k + 1], &f[k], &f[k + 1], &d[k], &d[k + 1], &a, &b);
}

int32_t pchsp(int32_t ibeg, int32_t iend, Vec vc, const Vec &x, const Vec &f, Vec &d, int32_t nwk = -1) {
    const int32_t n = size_of(x), incfd = 1;
    const int32_t ic[2] = {ibeg, iend};
    if (nwk < 0) nwk = 2 * n;
    Vec wk(static_cast<std::size_t>(std::max(nwk, 1)), 0.0);
    int32_t ierr = 99;
    d.assign(x.size(), -99.0);
    dpchsp_(ic, vc.data(), &n, x.data(), f.data(), d.data(), &incfd, wk.data(), &nwk, &ierr);
    return ierr;
}

// Second derivatives of the cubic of interval [x(i), x(i+1)] at its two ends.
double second_left(const Vec &x, const Vec &f, const Vec &d, std::size_t i) {
    const double h = x[i + 1] - x[i], s = (f[i + 1] - f[i]) / h;
    return (6 * s - 4 * d[i] - 2 * d[i + 1]) / h;
}
double second_right(const Vec &x, const Vec &f, const Vec &d, std::size_t i) {
    const double h = x[i + 1] - x[i], s = (f[i + 1] - f[i]) / h;
    return (-6 * s + 2 * d[i] + 4 * d[i + 1]) / h;
}

// The interpolant with derivatives d has a continuous second derivative.
void expect_twice_continuous(const Vec &x, const Vec &f, const Vec &d) {
    for (std::size_t i = 1; i + 1 < x.size(); ++i) {
        const double left = second_right(x, f, d, i - 1), right = second_left(x, f, d, i);
        EXPECT_NEAR(left, right, 1e-11 * std::max(1.0, std::abs(left))) << "at x = " << x[i];
    }
}

// ---------------------------------------------------------------- the exp(-x^2) quick-check data

// ================================================================ derivatives

TEST_F(Pchip, MonotoneDerivativesOfTheExpTableMatchTheQuickCheck) {
    const Vec f = exp_minus_x_squared(kX9);
    Vec d;
    EXPECT_EQ(pchim(kX9, f, d), 1);  // one switch from increasing to decreasing
    for (std::size_t i = 0; i < kX9.size(); ++i) {
        if (kDM9[i] == 0.0)
            EXPECT_EQ(d[i], 0.0) << "i = " << i + 1;  // exactly zero at the extrema
        else
            EXPECT_LE(std::abs((d[i] - kDM9[i]) / kDM9[i]), 1e-7) << "i = " << i + 1;
    }
}

TEST_F(Pchip, SplineDerivativesOfTheExpTableMatchTheQuickCheck) {
    const Vec f = exp_minus_x_squared(kX9);
    Vec d;
    ASSERT_EQ(pchsp(0, 0, {0.0, 0.0}, kX9, f, d, 18), 0);
    for (std::size_t i = 0; i < kX9.size(); ++i)
        EXPECT_LE(std::abs((d[i] - kDS9[i]) / kDS9[i]), 1e-7) << "i = " << i + 1;
}

TEST_F(Pchip, MonotoneDerivativesOnSmallAndShapedData) {
    Vec d;
    // Two points: both derivatives are the slope.
    EXPECT_EQ(pchim({1.0, 3.0}, {2.0, 7.0}, d), 0);
    EXPECT_EQ(d, (Vec{2.5, 2.5}));

    // A peak: flat at the extremum, the ends from the three-point formula.
    EXPECT_EQ(pchim({0, 1, 2}, {0, 1, 0}, d), 1);
    EXPECT_EQ(d, (Vec{2, 0, -2}));
    // The three-point formula gives 7 at the left end: limited to 3 del1.
    EXPECT_EQ(pchim({0, 1, 2}, {0, 1, -10}, d), 1);
    EXPECT_EQ(d[0], 3.0);
    EXPECT_EQ(d[1], 0.0);

    // Constant data.
    EXPECT_EQ(pchim({0, 0.5, 2, 3}, {4, 4, 4, 4}, d), 0);
    EXPECT_EQ(d, (Vec{0, 0, 0, 0}));

    // Equal neighbouring slopes give that slope, on uneven spacing too.
    const Vec x = {-1, -0.25, 0.5, 2, 2.1, 5};
    Vec line;
    for (double v : x) line.push_back(3 * v - 1);
    EXPECT_EQ(pchim(x, line, d), 0);
    for (double di : d) EXPECT_NEAR(di, 3.0, 1e-14);

    // An end slope of the wrong sign is set to zero: the formula gives -0.5 here.
    EXPECT_EQ(pchim({0, 1, 2}, {0, 1, 5}, d), 0);
    EXPECT_EQ(d[0], 0.0);
}

TEST_F(Pchip, SwitchesOfDirectionAreCountedAcrossFlatStretchesOnce) {
    Vec d;
    EXPECT_EQ(pchim({0, 1, 2, 3}, {0, 1, 1, 0}, d), 1);  // up, flat, down: one switch
    EXPECT_EQ(d[1], 0.0);
    EXPECT_EQ(d[2], 0.0);
    EXPECT_EQ(pchim({0, 1, 2, 3}, {0, 1, 1, 2}, d), 0);        // up, flat, up: none
    EXPECT_EQ(pchim({0, 1, 2, 3, 4}, {0, 1, 0, 1, 0}, d), 3);  // zigzag
    EXPECT_EQ(pchim({0, 1, 2, 3, 4, 5}, {0, 1, 1, 1, 1, 2}, d), 0);
    EXPECT_EQ(pchim({0, 1, 2, 3, 4, 5}, {5, 5, 4, 4, 6, 6}, d), 1);
}

TEST_F(Pchip, MonotoneDataGiveAMonotoneInterpolant) {
    // Steps, a steep rise and plateaus: a spline would overshoot here.
    const Vec x = {0, 1, 2, 3, 3.5, 4, 6, 7, 7.2, 9};
    const Vec f = {0, 0, 0, 1, 1, 1, 2, 10, 10, 10.5};
    Vec d;
    ASSERT_EQ(pchim(x, f, d), 0);
    for (double di : d) EXPECT_GE(di, 0.0);
    Vec xe;
    for (int i = 0; i <= 900; ++i) xe.push_back(0.01 * i);
    const Evaluated e = pchfe(x, f, d, xe);
    ASSERT_EQ(e.ierr, 0);
    for (std::size_t i = 1; i < xe.size(); ++i) EXPECT_GE(e.fe[i], e.fe[i - 1] - 1e-13) << "x = " << xe[i];
    // On a flat stretch the interpolant is that constant.
    for (std::size_t i = 0; i < xe.size(); ++i)
        if (xe[i] <= 2.0) {
            EXPECT_EQ(e.fe[i], 0.0) << "x = " << xe[i];
        }
}

TEST_F(Pchip, DerivativesUseOnlyTheFirstRowOfStridedArrays) {
    // F(3, N): the second and third rows must neither be read nor written.
    const Vec x = {0, 1, 2, 3};
    const Vec f3 = {0, 1e30, -1e30, 1, 1e30, -1e30, 1, 1e30, -1e30, 0, 1e30, -1e30};
    Vec d3(12, 42.0);
    const int32_t n = 4, incfd = 3;
    int32_t ierr = 99;
    dpchim_(&n, x.data(), f3.data(), d3.data(), &incfd, &ierr);
    Vec d;
    EXPECT_EQ(pchim(x, {0, 1, 1, 0}, d), 1);
    EXPECT_EQ(ierr, 1);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(d3[3 * i], d[i]);
        EXPECT_EQ(d3[3 * i + 1], 42.0);
        EXPECT_EQ(d3[3 * i + 2], 42.0);
    }

    // Evaluation with the same stride agrees with the unit-stride data.
    const Vec xe = {-0.5, 0.3, 1.7, 2.9, 3.5};
    Vec fe(xe.size());
    const int32_t ne = size_of(xe);
    int32_t skip = 0;
    dpchfe_(&n, x.data(), f3.data(), d3.data(), &incfd, &skip, &ne, xe.data(), fe.data(), &ierr);
    const Evaluated unit = pchfe(x, {0, 1, 1, 0}, d, xe);
    EXPECT_EQ(ierr, 2);
    EXPECT_EQ(fe, unit.fe);
}

TEST_F(Pchip, SignProduct) {
    const double cases[][3] = {{2, -3, -1}, {-2, -3, 1}, {0.5, 4, 1}, {0, -1, 0}, {-0.0, 5, 0}, {7, -0.0, 0}};
    for (const auto &c : cases) EXPECT_EQ(dpchst_(&c[0], &c[1]), c[2]) << c[0] << ", " << c[1];
}

// ================================================================ evaluation

TEST_F(Pchip, EvaluationAtTheBreakpointsAndJustOutside) {
    const Vec x = {-1, 0, 0.5, 2, 4};
    const Vec f = {3, -1, 0.25, 2, 1};
    Vec d;
    pchim(x, f, d);
    Evaluated e = pchfd(x, f, d, x);
    EXPECT_EQ(e.ierr, 0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(e.fe[i], f[i], 4 * kEps * std::abs(f[i]));
        EXPECT_NEAR(e.de[i], d[i], 1e-13);
    }
    // 0.5 below x(1) and 0.5 above x(n): both counted, on the continued end cubics.
    e = pchfd(x, f, d, {-1.5, 4.5});
    EXPECT_EQ(e.ierr, 2);
    double fe = 0, de = 0;
    int32_t next[2] = {-1, -1}, ierr = 99;
    const int32_t one = 1;
    const double left = -1.5, right = 4.5;
    dchfdv_(&x[0], &x[1], &f[0], &f[1], &d[0], &d[1], &one, &left, &fe, &de, next, &ierr);
    EXPECT_EQ(e.fe[0], fe);
    EXPECT_EQ(e.de[0], de);
    EXPECT_EQ(next[0], 1);
    dchfdv_(&x[3], &x[4], &f[3], &f[4], &d[3], &d[4], &one, &right, &fe, &de, next, &ierr);
    EXPECT_EQ(e.fe[1], fe);
    EXPECT_EQ(e.de[1], de);
    EXPECT_EQ(next[1], 1);
}

TEST_F(Pchip, PointsInAnyOrderAreEvaluatedOnTheirOwnInterval) {
    const Vec x = {0, 1, 2, 3, 4, 5};
    const Vec f = {0, 2, 1, 1.5, 4, 3};
    Vec d;
    pchim(x, f, d);
    // Each point alone is the reference.
    auto alone = [&](double v) {
        const Evaluated e = pchfd(x, f, d, {v});
        return std::make_pair(e.fe[0], e.de[0]);
    };

    // Decreasing points, two left of x(1), one right of x(n).
    const Vec decreasing = {7, 5, 4.5, 3.3, 2, 1.5, 1, 0.2, -1, -2};
    Evaluated e = pchfd(x, f, d, decreasing);
    EXPECT_EQ(e.ierr, 3);
    for (std::size_t i = 0; i < decreasing.size(); ++i) {
        EXPECT_DOUBLE_EQ(e.fe[i], alone(decreasing[i]).first) << "x = " << decreasing[i];
        EXPECT_DOUBLE_EQ(e.de[i], alone(decreasing[i]).second) << "x = " << decreasing[i];
    }

    // Shuffled points: every outside point counted once.
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> pick(-1.5, 6.5);
    Vec shuffled(60);
    int32_t outside = 0;
    for (double &v : shuffled) {
        v = pick(gen);
        outside += (v < 0 || v > 5) ? 1 : 0;
    }
    e = pchfd(x, f, d, shuffled);
    EXPECT_EQ(e.ierr, outside);
    const Evaluated values_only = pchfe(x, f, d, shuffled);
    EXPECT_EQ(values_only.ierr, outside);
    for (std::size_t i = 0; i < shuffled.size(); ++i) {
        EXPECT_DOUBLE_EQ(e.fe[i], alone(shuffled[i]).first) << "x = " << shuffled[i];
        EXPECT_DOUBLE_EQ(e.de[i], alone(shuffled[i]).second) << "x = " << shuffled[i];
        EXPECT_EQ(values_only.fe[i], e.fe[i]) << "x = " << shuffled[i];
    }

    // The easy driver evaluates the same way.
    const int32_t n = size_of(x), nval = size_of(shuffled);
    Vec fval(shuffled.size()), dval(shuffled.size());
    int32_t ierr = 99;
    dpchev_(&n, x.data(), f.data(), d.data(), &nval, shuffled.data(), fval.data(), dval.data(), &ierr);
    EXPECT_EQ(ierr, outside);
    EXPECT_EQ(fval, e.fe);
    EXPECT_EQ(dval, e.de);
}

TEST_F(Pchip, TwoPointsInterpolateTheStraightLine) {
    const Vec x = {1, 3}, f = {2, 6};
    Vec d;
    pchim(x, f, d);
    const Evaluated e = pchfd(x, f, d, {0, 1.5, 2.25, 4});
    EXPECT_EQ(e.ierr, 2);
    const Vec expected = {0, 3, 4.5, 8};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(e.fe[i], expected[i], 1e-14);
        EXPECT_NEAR(e.de[i], 2.0, 1e-14);
    }
}

TEST_F(Pchip, SkipIsSetOnlyAfterASuccessfulCheck) {
    const Vec x = {0, 1, 2}, f = {0, 1, 4}, d = {0, 2, 4}, xe = {0.5};
    const int32_t n = 3, incfd = 1, ne = 1;
    Vec fe(1);
    int32_t skip = 0, ierr = 99;
    dpchfe_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_NE(skip, 0);

    // With SKIP true a decreasing X is not looked at: no message, no error.
    const Vec bad = {0, 2, 1};
    const std::string out = printed([&] {
        skip = 1;
        dpchfe_(&n, bad.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), &ierr);
    });
    EXPECT_EQ(out, "");
    EXPECT_GE(ierr, 0);

    // A failed check leaves SKIP false.
    recoverable();
    skip = 0;
    (void)printed(
        [&] { dpchfe_(&n, bad.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), &ierr); });
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(skip, 0);
}

TEST_F(Pchip, OneCubicInEitherOrderCountsPointsOnTheirSide) {
    const double x1 = 0, x2 = 2, f1 = 1, f2 = -1, d1 = 0.5, d2 = 3;
    const Vec xe = {-1, 0.5, 1, 3, 3.5};
    const int32_t ne = size_of(xe);
    Vec fe(xe.size()), de(xe.size()), fe2(xe.size()), de2(xe.size()), fe3(xe.size());
    int32_t next[2] = {-1, -1}, next2[2] = {-1, -1}, next3[2] = {-1, -1}, ierr = 99;
    dchfdv_(&x1, &x2, &f1, &f2, &d1, &d2, &ne, xe.data(), fe.data(), de.data(), next, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(next[0], 1);
    EXPECT_EQ(next[1], 2);
    // The interval given right to left: the same cubic, the same sides.
    dchfdv_(&x2, &x1, &f2, &f1, &d2, &d1, &ne, xe.data(), fe2.data(), de2.data(), next2, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(next2[0], 1);
    EXPECT_EQ(next2[1], 2);
    dchfev_(&x2, &x1, &f2, &f1, &d2, &d1, &ne, xe.data(), fe3.data(), next3, &ierr);
    EXPECT_EQ(next3[0], 1);
    EXPECT_EQ(next3[1], 2);
    for (std::size_t i = 0; i < xe.size(); ++i) {
        EXPECT_NEAR(fe2[i], fe[i], 1e-13 * std::max(1.0, std::abs(fe[i])));
        EXPECT_NEAR(de2[i], de[i], 1e-13 * std::max(1.0, std::abs(de[i])));
        EXPECT_EQ(fe3[i], fe2[i]);
    }
    // The ends are reproduced.
    const Vec ends = {0, 2};
    const int32_t two = 2;
    dchfdv_(&x1, &x2, &f1, &f2, &d1, &d2, &two, ends.data(), fe.data(), de.data(), next, &ierr);
    EXPECT_NEAR(fe[0], f1, 1e-15);
    EXPECT_NEAR(fe[1], f2, 1e-14);
    EXPECT_NEAR(de[0], d1, 1e-14);
    EXPECT_NEAR(de[1], d2, 1e-14);
    EXPECT_EQ(next[0], 0);
    EXPECT_EQ(next[1], 0);
}

// ================================================================ integration

// Data on the cubic 3x^2(x - 2) with its exact derivatives: every integral is
// exact up to rounding, limits outside the data included.
struct CubicData {
    Vec x = {-4, -2, -0.9, 0, 0.9, 2, 4};
    Vec f, d;
    CubicData() {
        for (double v : x) {
            f.push_back(3 * v * v * (v - 2));
            d.push_back(3 * v * (v + 2 * (v - 2)));
        }
    }
    static double integral(double a, double b) { return b * b * b * (0.75 * b - 2) - a * a * a * (0.75 * a - 2); }
};

TEST_F(Pchip, IntegralsOfACubicAreExactWithLimitsAnywhere) {
    const CubicData c;
    struct Pair {
        double a, b;
        int32_t ierr;
    };
    const Pair pairs[] = {{-3.0, 3.0, 0},  {3.0, -3.0, 0}, {-0.5, 1.0, 0},  {-0.5, 2.0, 0},  {-0.5, 5.0, 2},
                          {-4.0, -0.5, 0}, {-4.0, 4.0, 0}, {3.0, 5.0, 2},   {-5.0, -3.0, 1}, {-5.0, 5.0, 3},
                          {-6.0, -5.0, 3}, {6.0, 5.0, 3},  {-1.5, -0.5, 0}, {-1.5, -1.0, 0}, {-3.0, -2.5, 0},
                          {3.0, 3.5, 0},   {0.5, 0.5, 0}};
    const int32_t n = size_of(c.x), incfd = 1;
    int32_t skip = 0;  // checked on the first call only
    for (const Pair &p : pairs) {
        int32_t ierr = 99;
        const double value = dpchia_(&n, c.x.data(), c.f.data(), c.d.data(), &incfd, &skip, &p.a, &p.b, &ierr);
        EXPECT_NE(skip, 0);
        EXPECT_EQ(ierr, p.ierr) << p.a << " .. " << p.b;
        const double truth = CubicData::integral(p.a, p.b);
        EXPECT_LE(std::abs(value - truth) / std::max(1.0, std::abs(truth)), 100 * kEps) << p.a << " .. " << p.b;
        // The easy driver gives the same.
        int32_t ierr_qa = 99;
        EXPECT_EQ(dpchqa_(&n, c.x.data(), c.f.data(), c.d.data(), &p.a, &p.b, &ierr_qa), value);
        EXPECT_EQ(ierr_qa, p.ierr);
    }
}

TEST_F(Pchip, EqualLimitsGiveZeroButStillReportOutsideLimits) {
    const CubicData c;
    int32_t ierr = 99;
    EXPECT_EQ(pchia(c.x, c.f, c.d, 0.5, 0.5, &ierr), 0.0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(pchia(c.x, c.f, c.d, 5.0, 5.0, &ierr), 0.0);
    EXPECT_EQ(ierr, 3);
    EXPECT_EQ(pchia(c.x, c.f, c.d, -4.0, -4.0, &ierr), 0.0);  // x(1) itself is inside
    EXPECT_EQ(ierr, 0);
}

TEST_F(Pchip, IntegralsAreAssembledFromTheRightIntervals) {
    // Data not on one cubic: each interval has its own.
    const Vec x = {0, 1, 2, 3, 4, 5};
    const Vec f = {0, 2, 1, 1.5, 4, 3};
    Vec d;
    pchim(x, f, d);
    int32_t ierr = 99, ierd = 99;

    // Inside one interior interval: that interval's cubic alone, either direction.
    EXPECT_DOUBLE_EQ(pchia(x, f, d, 2.2, 2.7, &ierr), interval_integral(x, f, d, 3, 2.2, 2.7));
    EXPECT_EQ(ierr, 0);
    EXPECT_DOUBLE_EQ(pchia(x, f, d, 2.7, 2.2, &ierr), -interval_integral(x, f, d, 3, 2.2, 2.7));

    // Spanning intervals: the two end intervals in part and the whole intervals between.
    const double whole = pchid(x, f, d, 2, 5, &ierd);  // from x(2) = 1 to x(5) = 4
    EXPECT_EQ(ierd, 0);
    const double span = interval_integral(x, f, d, 1, 0.5, 1) + whole + interval_integral(x, f, d, 5, 4, 4.5);
    EXPECT_NEAR(pchia(x, f, d, 0.5, 4.5, &ierr), span, 1e-14);
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR(pchia(x, f, d, 4.5, 0.5, &ierr), -span, 1e-14);
    // A limit on a breakpoint adds nothing of the interval beyond it.
    EXPECT_NEAR(pchia(x, f, d, 1, 4.5, &ierr), whole + interval_integral(x, f, d, 5, 4, 4.5), 1e-14);

    // Limits on both sides of the data: the continued end cubics.
    const double all = pchid(x, f, d, 1, 6, &ierd);
    EXPECT_NEAR(pchia(x, f, d, -1, 6.5, &ierr),
                interval_integral(x, f, d, 1, -1, 0) + all + interval_integral(x, f, d, 5, 5, 6.5), 1e-13);
    EXPECT_EQ(ierr, 3);
    // Both beyond one end.
    EXPECT_DOUBLE_EQ(pchia(x, f, d, -2, -1, &ierr), interval_integral(x, f, d, 1, -2, -1));
    EXPECT_EQ(ierr, 3);
    EXPECT_DOUBLE_EQ(pchia(x, f, d, 7, 6, &ierr), interval_integral(x, f, d, 5, 7, 6));
    EXPECT_EQ(ierr, 3);
    EXPECT_DOUBLE_EQ(pchia(x, f, d, 4.5, 6, &ierr), interval_integral(x, f, d, 5, 4.5, 6));
    EXPECT_EQ(ierr, 2);

    // Over the whole data range the integral is the breakpoint sum.
    EXPECT_NEAR(pchia(x, f, d, 0, 5, &ierr), all, 1e-14);
    EXPECT_EQ(ierr, 0);
}

TEST_F(Pchip, IntegralsBetweenBreakpoints) {
    const Vec x = {0, 1, 2, 3, 4, 5};
    const Vec f = {0, 2, 1, 1.5, 4, 3};
    Vec d;
    pchim(x, f, d);
    int32_t ierr = 99;
    EXPECT_EQ(pchid(x, f, d, 3, 3, &ierr), 0.0);
    EXPECT_EQ(ierr, 0);
    const double forward = pchid(x, f, d, 2, 5, &ierr);
    EXPECT_EQ(pchid(x, f, d, 5, 2, &ierr), -forward);
    double sum = 0;
    for (int i = 2; i <= 4; ++i)
        sum += interval_integral(x, f, d, i, x[static_cast<std::size_t>(i - 1)], x[static_cast<std::size_t>(i)]);
    EXPECT_NEAR(forward, sum, 1e-14);
}

TEST_F(Pchip, TwoPointIntegralsUseTheOneCubic) {
    const Vec x = {0, 2}, f = {1, 5}, d = {0, 6};
    int32_t ierr = 99;
    EXPECT_DOUBLE_EQ(pchia(x, f, d, -1, 3, &ierr), interval_integral(x, f, d, 1, -1, 3));
    EXPECT_EQ(ierr, 3);
    EXPECT_DOUBLE_EQ(pchia(x, f, d, 0.5, 1.5, &ierr), interval_integral(x, f, d, 1, 0.5, 1.5));
    EXPECT_EQ(ierr, 0);
    // f = 1 + x^2 exactly (d = 2x): the integral from 0 to 2 is 2 + 8/3.
    const Vec g = {1, 5}, dg = {0, 4};
    EXPECT_NEAR(pchia(x, g, dg, 0, 2, &ierr), 2 + 8.0 / 3, 1e-14);
    // A degenerate interval integrates to zero.
    const double x1 = 1, a = 0, b = 3;
    EXPECT_EQ(dchfie_(&x1, &x1, &f[0], &f[1], &d[0], &d[1], &a, &b), 0.0);
}

// ================================================================ spline derivatives

// Data on c(x) = x^3 - 2x^2 + x + 1 at uneven points.
struct SplineCubic {
    Vec x = {-1, -0.3, 0.5, 1.1, 2, 3.2};
    Vec f, d, dd;  // values, first and second derivatives
    SplineCubic() {
        for (double v : x) {
            f.push_back(((v - 2) * v + 1) * v + 1);
            d.push_back((3 * v - 4) * v + 1);
            dd.push_back(6 * v - 4);
        }
    }
};

void expect_near_all(const Vec &got, const Vec &want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tol * std::max(1.0, std::abs(want[i]))) << "i = " << i + 1;
}

TEST_F(Pchip, SplineEndConditionsReproduceACubic) {
    const SplineCubic c;
    Vec d;
    // Not-a-knot at both ends.
    ASSERT_EQ(pchsp(0, 0, {0, 0}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
    // Given first derivatives.
    ASSERT_EQ(pchsp(1, 1, {c.d.front(), c.d.back()}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
    // Given second derivatives.
    ASSERT_EQ(pchsp(2, 2, {c.dd.front(), c.dd.back()}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
    // The cubic through the four end points is c itself.
    ASSERT_EQ(pchsp(4, 4, {0, 0}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
    // Mixed conditions.
    ASSERT_EQ(pchsp(1, 2, {c.d.front(), c.dd.back()}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
    ASSERT_EQ(pchsp(4, 0, {0, 0}, c.x, c.f, d), 0);
    expect_near_all(d, c.d, 1e-12);
}

TEST_F(Pchip, SplineEndConditionsOnGeneralData) {
    const Vec x = {0, 0.7, 1.5, 2, 3.4, 4, 5.5};
    const Vec f = {1, -0.5, 0.3, 2, 1.8, -1, 0.4};
    Vec d;
    // Natural spline: zero second derivative at both ends.
    ASSERT_EQ(pchsp(2, 2, {0, 0}, x, f, d), 0);
    EXPECT_NEAR(second_left(x, f, d, 0), 0.0, 1e-12);
    EXPECT_NEAR(second_right(x, f, d, x.size() - 2), 0.0, 1e-12);
    expect_twice_continuous(x, f, d);
    // Given second derivatives other than zero.
    ASSERT_EQ(pchsp(2, 2, {1.5, -2}, x, f, d), 0);
    EXPECT_NEAR(second_left(x, f, d, 0), 1.5, 1e-12);
    EXPECT_NEAR(second_right(x, f, d, x.size() - 2), -2.0, 1e-12);
    expect_twice_continuous(x, f, d);
    // Given first derivatives are taken as they are.
    ASSERT_EQ(pchsp(1, 1, {0.25, -3}, x, f, d), 0);
    EXPECT_EQ(d.front(), 0.25);
    EXPECT_EQ(d.back(), -3.0);
    expect_twice_continuous(x, f, d);
    // Not-a-knot: the third derivative is continuous at x(2) and x(n-1).
    ASSERT_EQ(pchsp(0, 0, {0, 0}, x, f, d), 0);
    expect_twice_continuous(x, f, d);
    auto third = [&](std::size_t i) {  // of the cubic on interval i (zero-based)
        return (second_right(x, f, d, i) - second_left(x, f, d, i)) / (x[i + 1] - x[i]);
    };
    EXPECT_NEAR(third(0), third(1), 1e-10 * std::max(1.0, std::abs(third(0))));
    EXPECT_NEAR(third(x.size() - 3), third(x.size() - 2), 1e-10 * std::max(1.0, std::abs(third(x.size() - 2))));
    // Conditions 3: the end derivative of the parabola through three end points.
    ASSERT_EQ(pchsp(3, 3, {0, 0}, x, f, d), 0);
    {
        Vec left;
        ASSERT_EQ(pchsp(0, 0, {0, 0}, {x[0], x[1], x[2]}, {f[0], f[1], f[2]}, left), 0);
        EXPECT_NEAR(d.front(), left.front(), 1e-12);
        Vec right;
        const std::size_t n = x.size();
        ASSERT_EQ(pchsp(0, 0, {0, 0}, {x[n - 3], x[n - 2], x[n - 1]}, {f[n - 3], f[n - 2], f[n - 1]}, right), 0);
        EXPECT_NEAR(d.back(), right.back(), 1e-12);
    }
    expect_twice_continuous(x, f, d);
}

TEST_F(Pchip, SplineOnTwoAndThreePoints) {
    Vec d;
    // n = 2 with not-a-knot: both derivatives are the slope.
    ASSERT_EQ(pchsp(0, 0, {0, 0}, {1, 3}, {2, 7}, d), 0);
    EXPECT_EQ(d, (Vec{2.5, 2.5}));
    // n = 3 with not-a-knot: the parabola x^2 - 2x + 5 through the points.
    ASSERT_EQ(pchsp(0, 0, {0, 0}, {0, 1, 3}, {5, 4, 8}, d), 0);
    expect_near_all(d, {-2, 0, 4}, 1e-14);
    // n = 2 with one given end derivative: the other from the slope condition.
    ASSERT_EQ(pchsp(1, 0, {1, 0}, {0, 2}, {0, 4}, d), 0);
    EXPECT_EQ(d[0], 1.0);
    EXPECT_NEAR(d[1], 3.0, 1e-14);  // (d1 + d2) / 2 = slope 2
    // A condition above n is not-a-knot: (3, 4) with n = 3 is (3, 0).
    const Vec x = {0, 0.4, 1.3}, f = {1, -2, 0.5};
    Vec d30;
    ASSERT_EQ(pchsp(3, 4, {0, 0}, x, f, d), 0);
    ASSERT_EQ(pchsp(3, 0, {0, 0}, x, f, d30), 0);
    EXPECT_EQ(d, d30);
    ASSERT_EQ(pchsp(4, 0, {0, 0}, x, f, d), 0);
    ASSERT_EQ(pchsp(0, 0, {0, 0}, x, f, d30), 0);
    EXPECT_EQ(d, d30);
}

TEST_F(Pchip, EndPointDerivativeFormula) {
    int32_t ierr = 99;
    const int32_t three = 3, four = 4;
    const Vec x3 = {0, 1, 2};
    Vec s3 = {1, 3};  // slopes of x^2
    EXPECT_DOUBLE_EQ(dpchdf_(&three, x3.data(), s3.data(), &ierr), 4.0);
    EXPECT_EQ(ierr, 0);
    const Vec x4 = {0, 1, 2, 3};
    Vec s4 = {1, 7, 19};  // slopes of x^3
    EXPECT_DOUBLE_EQ(dpchdf_(&four, x4.data(), s4.data(), &ierr), 27.0);
    // Points given right to left: the derivative at the last one given.
    const Vec r3 = {2, 1, 0};
    Vec rs3 = {3, 1};
    EXPECT_DOUBLE_EQ(dpchdf_(&three, r3.data(), rs3.data(), &ierr), 0.0);
}

TEST_F(Pchip, EasyDriverChoosesMonotoneOrSpline) {
    const Vec f = exp_minus_x_squared(kX9);
    const int32_t n = size_of(kX9);
    Vec d(kX9.size()), wk(2 * kX9.size());
    int32_t ierr = 99, no = 0, yes = 1, lwk = 0;
    dpchez_(&n, kX9.data(), f.data(), d.data(), &no, wk.data(), &lwk, &ierr);  // work array unused
    Vec dm;
    EXPECT_EQ(ierr, pchim(kX9, f, dm));
    EXPECT_EQ(d, dm);
    lwk = size_of(wk);
    dpchez_(&n, kX9.data(), f.data(), d.data(), &yes, wk.data(), &lwk, &ierr);
    EXPECT_EQ(ierr, 0);
    Vec ds;
    pchsp(0, 0, {0, 0}, kX9, f, ds);
    EXPECT_EQ(d, ds);
    // The spline's own errors pass through.
    recoverable();
    lwk = 2 * n - 1;
    const std::string out = printed([&] { dpchez_(&n, kX9.data(), f.data(), d.data(), &yes, wk.data(), &lwk, &ierr); });
    EXPECT_EQ(ierr, -7);
    EXPECT_EQ(out, continuing("DPCHSP", "WORK ARRAY TOO SMALL", -7));
}

// ================================================================ input errors

TEST_F(Pchip, InputErrorsReturnTheirCodeWhenTheFlagAllows) {
    recoverable();
    const Vec x = {0, 1, 2}, f = {0, 1, 0}, d = {2, 0, -2};
    const Vec flat = {0, 1, 1};  // not strictly increasing
    Vec out(3, 0.0), de(3, 0.0);
    const int32_t one = 1, zero = 0, three = 3;
    int32_t ierr = 99, skip = 0;
    double x1 = 1, value = 0;
    int32_t next[2];

    struct Case {
        const char *routine;
        const char *message;
        int32_t code;
        std::function<void()> call;
    };
    const double a = 0, b = 1;
    const int32_t ic_bad[2] = {5, 0};
    const Vec vc = {0, 0};
    Vec wk(6);
    const int32_t nwk = 6;
    const std::vector<Case> cases = {
        {"DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1,
         [&] { dpchim_(&one, x.data(), f.data(), out.data(), &zero, &ierr); }},  // n is checked first
        {"DPCHIM", "INCREMENT LESS THAN ONE", -2,
         [&] { dpchim_(&three, flat.data(), f.data(), out.data(), &zero, &ierr); }},
        {"DPCHIM", "X-ARRAY NOT STRICTLY INCREASING", -3,
         [&] { dpchim_(&three, flat.data(), f.data(), out.data(), &one, &ierr); }},
        {"DPCHFE", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -4,
         [&] {
             skip = 0;
             dpchfe_(&three, x.data(), f.data(), d.data(), &one, &skip, &zero, x.data(), out.data(), &ierr);
         }},
        {"DPCHFD", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -4,
         [&] {
             skip = 0;
             dpchfd_(&three, x.data(), f.data(), d.data(), &one, &skip, &zero, x.data(), out.data(), de.data(), &ierr);
         }},
        {"DPCHFD", "X-ARRAY NOT STRICTLY INCREASING", -3,
         [&] {
             skip = 0;
             dpchfd_(&three, flat.data(), f.data(), d.data(), &one, &skip, &one, x.data(), out.data(), de.data(),
                     &ierr);
         }},
        {"DCHFEV", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -1,
         [&] { dchfev_(&x[0], &x[1], &f[0], &f[1], &d[0], &d[1], &zero, x.data(), out.data(), next, &ierr); }},
        {"DCHFEV", "INTERVAL ENDPOINTS EQUAL", -2,
         [&] { dchfev_(&x1, &x1, &f[0], &f[1], &d[0], &d[1], &one, x.data(), out.data(), next, &ierr); }},
        {"DCHFDV", "INTERVAL ENDPOINTS EQUAL", -2,
         [&] { dchfdv_(&x1, &x1, &f[0], &f[1], &d[0], &d[1], &one, x.data(), out.data(), de.data(), next, &ierr); }},
        {"DPCHIA", "INCREMENT LESS THAN ONE", -2,
         [&] {
             skip = 0;
             value = dpchia_(&three, x.data(), f.data(), d.data(), &zero, &skip, &a, &b, &ierr);
         }},
        {"DPCHIA", "X-ARRAY NOT STRICTLY INCREASING", -3,
         [&] {
             skip = 0;
             value = dpchia_(&three, flat.data(), f.data(), d.data(), &one, &skip, &a, &b, &ierr);
         }},
        {"DPCHID", "IA OR IB OUT OF RANGE", -4,
         [&] {
             const int32_t ia = 0, ib = 2;
             skip = 0;
             value = dpchid_(&three, x.data(), f.data(), d.data(), &one, &skip, &ia, &ib, &ierr);
         }},
        {"DPCHID", "IA OR IB OUT OF RANGE", -4,
         [&] {
             const int32_t ia = 1, ib = 4;
             skip = 1;
             value = dpchid_(&three, x.data(), f.data(), d.data(), &one, &skip, &ia, &ib, &ierr);
         }},
        {"DPCHSP", "NUMBER OF DATA POINTS LESS THAN TWO", -1,
         [&] { dpchsp_(ic_bad, vc.data(), &one, x.data(), f.data(), out.data(), &one, wk.data(), &nwk, &ierr); }},
        {"DPCHSP", "IC OUT OF RANGE", -4,
         [&] { dpchsp_(ic_bad, vc.data(), &three, x.data(), f.data(), out.data(), &one, wk.data(), &nwk, &ierr); }},
        {"DPCHDF", "K LESS THAN THREE", -1,
         [&] {
             const int32_t k = 2;
             Vec s = {1};
             value = dpchdf_(&k, x.data(), s.data(), &ierr);
         }},
    };
    for (const Case &c : cases) {
        ierr = 99;
        value = 12345;
        const std::string printed_block = printed(c.call);
        EXPECT_EQ(ierr, c.code) << c.routine << ": " << c.message;
        EXPECT_EQ(printed_block, continuing(c.routine, c.message, c.code)) << c.routine << ": " << c.message;
        if (value != 12345) {  // a function's result on an error is 0
            EXPECT_EQ(value, 0.0) << c.routine << ": " << c.message;
        }
        // The handler keeps the number of the last message.
        const int32_t current = 1, unused = 0, no = 0;
        EXPECT_EQ(j4save_(&current, &unused, &no), c.code);
    }
}

TEST_F(Pchip, SplineEndConditionAndWorkArrayCodes) {
    recoverable();
    const Vec x = {0, 1, 2, 3}, f = {0, 1, 0, 2};
    Vec d;
    struct Case {
        int32_t ibeg, iend, nwk, code;
        const char *message;
    };
    const Case cases[] = {{5, 0, 8, -4, "IC OUT OF RANGE"},      {0, -1, 8, -5, "IC OUT OF RANGE"},
                          {7, 9, 8, -6, "IC OUT OF RANGE"},      {-1, 5, 8, -6, "IC OUT OF RANGE"},
                          {0, 0, 7, -7, "WORK ARRAY TOO SMALL"}, {5, 0, 7, -4, "IC OUT OF RANGE"}};
    for (const Case &c : cases) {
        int32_t code = 99;
        const std::string out = printed([&] { code = pchsp(c.ibeg, c.iend, {0, 0}, x, f, d, c.nwk); });
        EXPECT_EQ(code, c.code) << c.ibeg << ", " << c.iend << ", nwk " << c.nwk;
        EXPECT_EQ(out, continuing("DPCHSP", c.message, c.code));
    }
    // All five conditions are accepted at both ends.
    for (int32_t ibeg = 0; ibeg <= 4; ++ibeg)
        for (int32_t iend = 0; iend <= 4; ++iend) EXPECT_EQ(pchsp(ibeg, iend, {0.5, -0.5}, x, f, d), 0);
}

// ================================================================ fatal errors and their output

TEST_F(PchipDeathTest, OnePointEndsTheProcessWithTheFullMessageBlock) {
    const std::string out = output_at_exit(
        [] {
            const int32_t n = 1, incfd = 1;
            const double x = 0, f = 0;
            double d = 0;
            int32_t ierr = 0;
            dpchim_(&n, &x, &f, &d, &incfd, &ierr);
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out, kOnePointBlock);
}

TEST_F(PchipDeathTest, NoEvaluationPointsEndTheProcessUnderTheStartingFlag) {
    const std::string out = output_at_exit(
        [] {
            const Vec x = {0, 1}, f = {0, 1}, d = {1, 1};
            const int32_t n = 2, incfd = 1, ne = 0;
            int32_t skip = 0, ierr = 0;
            double fe = 0;
            dpchfe_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, x.data(), &fe, &ierr);
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out, ending_block("DPCHFE", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -4));
}

TEST_F(PchipDeathTest, InvalidControlFlagIsFatal) {
    const std::string out = output_at_exit(
        [] {
            const int32_t bad = 3;
            xsetf_(&bad);
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out,
              " ***MESSAGE FROM ROUTINE XSETF IN LIBRARY SLATEC.\n"
              " ***FATAL ERROR, PROG ABORTED, TRACEBACK REQUESTED\n"
              " *  INVALID ARGUMENT =        3\n"
              " *  ERROR NUMBER = 1\n"
              " *   \n"
              " ***END OF MESSAGE\n"
              " \n"
              " ***JOB ABORT DUE TO FATAL ERROR.\n"
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     XSETF      INVALID ARGUMENT =           1         2         1\n"
              " \n");
}

TEST_F(PchipDeathTest, InvalidErrorNumberOrLevelAborts) {
    // A message already in the table is printed with the abort text.
    const std::string out = output_at_exit(
        [] {
            const int32_t kflag = 1, nerr = 7, level = 0;
            int32_t count = 0;
            xersve_("SLATEC", "DPCHIM", "SOMETHING", &kflag, &nerr, &level, &count, 6, 6, 9);
            const int32_t zero = 0, one = 1;
            xermsg_("SLATEC", "DPCHIM", "NUMBER ZERO", &zero, &one, 6, 6, 11);
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out,
              " ***FATAL ERROR IN...\n"
              " *** XERMSG -- INVALID ERROR NUMBER OR LEVEL\n"
              " *** JOB ABORT DUE TO FATAL ERROR.\n"
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     DPCHIM     SOMETHING                    7         0         1\n"
              " \n");
    for (const auto &[nerr, level] :
         {std::pair{100000000, 1}, std::pair{-10000000, 1}, std::pair{5, 3}, std::pair{5, -2}}) {
        const std::string text =
            output_at_exit([nerr = nerr, level = level] { xermsg_("SLATEC", "DPCHIM", "X", &nerr, &level, 6, 6, 1); },
                           ::testing::ExitedWithCode(1));
        EXPECT_EQ(text,
                  " ***FATAL ERROR IN...\n"
                  " *** XERMSG -- INVALID ERROR NUMBER OR LEVEL\n"
                  " *** JOB ABORT DUE TO FATAL ERROR.\n")
            << nerr << ", " << level;
    }
}

// ================================================================ control settings

// One point for dpchim: error -1 at level 1.
int32_t one_point() {
    const int32_t n = 1, incfd = 1;
    const double x = 0, f = 0;
    double d = 0;
    int32_t ierr = 0;
    dpchim_(&n, &x, &f, &d, &incfd, &ierr);
    return ierr;
}

const char *const kShortForm =
    " ***MESSAGE FROM ROUTINE DPCHIM IN LIBRARY SLATEC.\n"
    " *  NUMBER OF DATA POINTS LESS THAN TWO\n"
    " *   \n"
    " ***END OF MESSAGE\n"
    " \n";

TEST_F(Pchip, RecoverableErrorUnderTheContinuingFlags) {
    int32_t ierr = 0;
    set_flag(1);
    EXPECT_EQ(printed([&] { ierr = one_point(); }), continuing("DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1));
    EXPECT_EQ(ierr, -1);
    set_flag(-1);
    EXPECT_EQ(printed([&] { ierr = one_point(); }), kShortForm);
    EXPECT_EQ(ierr, -1);
    set_flag(0);
    EXPECT_EQ(printed([&] { ierr = one_point(); }), "");
    EXPECT_EQ(ierr, -1);
    int32_t flag = 9;
    xgetf_(&flag);
    EXPECT_EQ(flag, 0);
    // All three were counted.
    EXPECT_EQ(printed([] { xerdmp_(); }),
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     DPCHIM     NUMBER OF DATA POINT        -1         1         3\n"
              " \n");
    EXPECT_EQ(printed([] { xerdmp_(); }), "");  // cleared
}

TEST_F(PchipDeathTest, RecoverableErrorUnderTheStoppingFlags) {
    std::string out = output_at_exit(
        [] {
            const int32_t flag = -2;
            xsetf_(&flag);
            one_point();
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out, kShortForm);  // no abort line, no table
    out = output_at_exit([] { one_point(); }, ::testing::ExitedWithCode(1));
    EXPECT_EQ(out, kOnePointBlock);
}

TEST_F(PchipDeathTest, FatalMessagesUnderEachFlag) {
    auto fatal = [](int32_t flag) {
        xsetf_(&flag);
        const int32_t nerr = 3, level = 2;
        xermsg_("SLATEC", "DPCHFE", "STOP HERE", &nerr, &level, 6, 6, 9);
    };
    EXPECT_EQ(output_at_exit([&] { fatal(0); }, ::testing::ExitedWithCode(1)), " *  STOP HERE\n");
    const std::string short_form =
        " ***MESSAGE FROM ROUTINE DPCHFE IN LIBRARY SLATEC.\n"
        " *  STOP HERE\n"
        " *   \n"
        " ***END OF MESSAGE\n"
        " \n";
    EXPECT_EQ(output_at_exit([&] { fatal(-1); }, ::testing::ExitedWithCode(1)), short_form);
    EXPECT_EQ(output_at_exit([&] { fatal(-2); }, ::testing::ExitedWithCode(1)), short_form);
    EXPECT_EQ(output_at_exit([&] { fatal(1); }, ::testing::ExitedWithCode(1)),
              " ***MESSAGE FROM ROUTINE DPCHFE IN LIBRARY SLATEC.\n"
              " ***FATAL ERROR, PROG ABORTED, TRACEBACK REQUESTED\n"
              " *  STOP HERE\n"
              " *  ERROR NUMBER = 3\n"
              " *   \n"
              " ***END OF MESSAGE\n"
              " \n"
              " ***JOB ABORT DUE TO FATAL ERROR.\n"
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     DPCHFE     STOP HERE                    3         2         1\n"
              " \n");
}

TEST_F(Pchip, RepeatedMessagesAreSuppressedAfterTheirLimit) {
    auto count_blocks = [](const std::string &text) {
        int blocks = 0;
        for (std::size_t at = text.find("MESSAGE FROM ROUTINE"); at != std::string::npos;
             at = text.find("MESSAGE FROM ROUTINE", at + 1))
            ++blocks;
        return blocks;
    };
    // A warning (level 0) is printed on its first ten occurrences only.
    const int32_t nerr = 4, level0 = 0, once = -1;
    std::string out = printed([&] {
        for (int i = 0; i < 12; ++i) xermsg_("SLATEC", "DPCHIM", "A WARNING", &nerr, &level0, 6, 6, 9);
    });
    EXPECT_EQ(count_blocks(out), 10);
    EXPECT_NE(out.find(" ***INFORMATIVE MESSAGE, PROG CONTINUES, TRACEBACK REQUESTED\n"), std::string::npos);
    // A level -1 warning only the first time.
    out = printed([&] {
        for (int i = 0; i < 3; ++i) xermsg_("SLATEC", "DPCHIM", "ONCE ONLY", &nerr, &once, 6, 6, 9);
    });
    EXPECT_EQ(count_blocks(out), 1);
    // Under flag 1 a recoverable error stops being printed after ten, but still returns.
    recoverable();
    int32_t last = 0;
    out = printed([&] {
        for (int i = 0; i < 11; ++i) last = one_point();
    });
    EXPECT_EQ(count_blocks(out), 10);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(printed([] { xerdmp_(); }),
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     DPCHIM     A WARNING                    4         0        12\n"
              " SLATEC     DPCHIM     ONCE ONLY                    4        -1         3\n"
              " SLATEC     DPCHIM     NUMBER OF DATA POINT        -1         1        11\n"
              " \n");
}

// ================================================================ the message table

TEST_F(Pchip, MessageTableMatchesOnTheFirstTwentyCharacters) {
    const int32_t record = 1, nerr = 2, level = 1;
    int32_t count = -1;
    auto save = [&](const std::string &lib, const std::string &sub, const std::string &messg, int32_t number,
                    int32_t lev) {
        xersve_(lib.data(), sub.data(), messg.data(), &record, &number, &lev, &count, lib.size(), sub.size(),
                messg.size());
        return count;
    };
    EXPECT_EQ(save("SLATEC", "DPCHIM", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", nerr, level), 1);
    EXPECT_EQ(save("SLATEC", "DPCHIM", "ABCDEFGHIJKLMNOPQRST and more", nerr, level), 2);  // same first 20
    EXPECT_EQ(save("SLATEC  ", "DPCHIM  ", "ABCDEFGHIJKLMNOPQRST", nerr, level), 3);       // blank-padded keys
    EXPECT_EQ(save("SLATEC", "DPCHIM", "ABCDEFGHIJKLMNOPQRS", nerr, level), 1);            // 19 characters differ
    EXPECT_EQ(save("SLATEC", "DPCHIM", "ABCDEFGHIJKLMNOPQRST", nerr + 1, level), 1);       // other number
    EXPECT_EQ(save("SLATEC", "DPCHIM", "ABCDEFGHIJKLMNOPQRST", nerr, level + 1), 1);       // other level
    EXPECT_EQ(save("SLATEC", "DPCHIMX", "ABCDEFGHIJKLMNOPQRST", nerr, level), 1);          // other routine
    EXPECT_EQ(save("SLATECLIBRARY", "DPCHIM", "ABCDEFGHIJKLMNOPQRST", nerr, level), 1);    // cut to 8: new row
    EXPECT_EQ(save("SLATECLI", "DPCHIM", "ABCDEFGHIJKLMNOPQRST", nerr, level), 2);         // ... this one

    // kflag -1 prints without clearing, kflag 0 prints and clears.
    const int32_t print_only = -1, print_and_clear = 0;
    const std::string table =
        "0          ERROR MESSAGE SUMMARY\n"
        " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
        " SLATEC     DPCHIM     ABCDEFGHIJKLMNOPQRST         2         1         3\n"
        " SLATEC     DPCHIM     ABCDEFGHIJKLMNOPQRS          2         1         1\n"
        " SLATEC     DPCHIM     ABCDEFGHIJKLMNOPQRST         3         1         1\n"
        " SLATEC     DPCHIM     ABCDEFGHIJKLMNOPQRST         2         2         1\n"
        " SLATEC     DPCHIMX    ABCDEFGHIJKLMNOPQRST         2         1         1\n"
        " SLATECLI   DPCHIM     ABCDEFGHIJKLMNOPQRST         2         1         2\n"
        " \n";
    const std::string blank = " ";
    auto show = [&](int32_t kflag) {
        return printed(
            [&] { xersve_(blank.data(), blank.data(), blank.data(), &kflag, &nerr, &level, &count, 1, 1, 1); });
    };
    EXPECT_EQ(show(print_only), table);
    EXPECT_EQ(show(print_only), table);
    EXPECT_EQ(show(print_and_clear), table);
    EXPECT_EQ(show(print_and_clear), "");
}

TEST_F(Pchip, TheEleventhDistinctMessageIsNotTabulatedButAlwaysPrinted) {
    set_flag(-1);  // short form, recoverable errors continue
    const int32_t level = 1;
    std::string out = printed([&] {
        for (int32_t nerr = 1; nerr <= 10; ++nerr) xermsg_("SLATEC", "DPCHIM", "DISTINCT", &nerr, &level, 6, 6, 8);
    });
    // The eleventh, twelve times: each count is 0, so it is printed every time.
    const int32_t eleventh = 11;
    out = printed([&] {
        for (int i = 0; i < 12; ++i) xermsg_("SLATEC", "DPCHIM", "ONE TOO MANY", &eleventh, &level, 6, 6, 12);
    });
    int lines = 0;
    for (std::size_t at = out.find(" *  ONE TOO MANY\n"); at != std::string::npos;
         at = out.find(" *  ONE TOO MANY\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 12);
    const int32_t record = 1;
    int32_t count = -1;
    xersve_("SLATEC", "DPCHIM", "ANOTHER", &record, &eleventh, &level, &count, 6, 6, 7);
    EXPECT_EQ(count, 0);
    const std::string table = printed([] { xerdmp_(); });
    EXPECT_NE(table.find(" SLATEC     DPCHIM     DISTINCT                    10         1         1\n"),
              std::string::npos);
    EXPECT_EQ(table.find("ONE TOO MANY"), std::string::npos);
    const std::string tail = "0OTHER ERRORS NOT INDIVIDUALLY TABULATED =         13\n \n";
    ASSERT_GE(table.size(), tail.size());
    EXPECT_EQ(table.substr(table.size() - tail.size()), tail);
    EXPECT_EQ(printed([] { xerdmp_(); }), "");  // the untabulated count is cleared too
}

// ================================================================ wrapping

std::string wrap(const std::string &prefix, int32_t npref, const std::string &messg, int32_t nwrap = 72) {
    return printed([&] { xerprn_(prefix.data(), &npref, messg.data(), &nwrap, prefix.size(), messg.size()); });
}

TEST_F(Pchip, LongMessagesWrapAtBlanksOrAtTheWidth) {
    const std::string a(72, 'a'), b(10, 'b');
    // No blank: lines of 72 characters.
    EXPECT_EQ(wrap(" *  ", -1, std::string(150, 'x')),
              " *  " + std::string(72, 'x') + "\n *  " + std::string(72, 'x') + "\n *  xxxxxx\n");
    // A break at the last blank that leaves at most 72 characters; the blank is dropped.
    EXPECT_EQ(wrap(" *  ", -1, std::string(70, 'a') + " " + b), " *  " + std::string(70, 'a') + "\n *  " + b + "\n");
    EXPECT_EQ(wrap(" *  ", -1, a + " bb"), " *  " + a + "\n *  bb\n");
    EXPECT_EQ(wrap(" *  ", -1, "aaaaaaaaaa " + a + "a"), " *  aaaaaaaaaa\n *  " + a + "\n *  a\n");
    EXPECT_EQ(wrap(" *  ", -1, "w1 w2 " + a), " *  w1 w2\n *  " + a + "\n");
    // Exactly 72 characters: one line; trailing blanks do not count.
    EXPECT_EQ(wrap(" *  ", -1, a + "      "), " *  " + a + "\n");
    // The width is kept within 16 .. 132.
    EXPECT_EQ(wrap(">", -1, std::string(20, 'z'), 5), ">" + std::string(16, 'z') + "\n>zzzz\n");
    EXPECT_EQ(wrap(">", -1, std::string(140, 'z'), 500),
              ">" + std::string(132, 'z') + "\n>" + std::string(8, 'z') + "\n");
}

TEST_F(Pchip, DoubleDollarStartsANewLine) {
    EXPECT_EQ(wrap(" *  ", -1, "A$$B"), " *  A\n *  B\n");
    EXPECT_EQ(wrap(" *  ", -1, "A$$$$B"), " *  A\n *  B\n");  // no empty line
    EXPECT_EQ(wrap(" *  ", -1, "$$A$$"), " *  A\n");
    const std::string a(72, 'a');
    EXPECT_EQ(wrap(" *  ", -1, a + "$$B"), " *  " + a + "\n *  B\n");
    // A mark beyond the width: the text wraps first.
    EXPECT_EQ(wrap(" *  ", -1, a + "a$$B"), " *  " + a + "\n *  a\n *  B\n");
}

TEST_F(Pchip, PrefixLengthAndEmptyMessages) {
    EXPECT_EQ(wrap("ab", 4, "text"), "ab  text\n");  // padded to npref
    EXPECT_EQ(wrap(" ***", 2, "text"), " *text\n");  // cut to npref
    EXPECT_EQ(wrap(" ***", 0, "text"), "text\n");
    EXPECT_EQ(wrap(std::string(20, '>'), -1, "t"), std::string(16, '>') + "t\n");  // at most 16
    EXPECT_EQ(wrap(" *  ", -1, ""), " *   \n");
    EXPECT_EQ(wrap(" *  ", -1, "    "), " *   \n");
    EXPECT_EQ(wrap("", 0, " "), " \n");
}

// ================================================================ handler parameters

TEST_F(Pchip, HandlerParametersAndUnits) {
    int32_t flag = -9;
    xgetf_(&flag);
    EXPECT_EQ(flag, 2);
    int32_t units[5] = {-7, -7, -7, -7, -7}, n = -1;
    xgetua_(units, &n);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(units[0], 0);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(units[i], -7) << i;  // elements after n are not written
    EXPECT_EQ(printed([] { xerdmp_(); }), "");

    const int32_t yes = 1, no = 0, unused = 0;
    auto params = [&] {
        std::vector<int32_t> p;
        for (int32_t i = 2; i <= 9; ++i) p.push_back(j4save_(&i, &unused, &no));
        return p;
    };
    const std::vector<int32_t> before = params();
    EXPECT_EQ(before, (std::vector<int32_t>{2, 0, 10, 1, 0, 0, 0, 0}));

    // An index outside 1 .. 9 or a unit count outside 1 .. 5 is ignored.
    for (int32_t index : {0, -1, 10, 1000}) {
        const int32_t value = 4;
        j4save_(&index, &value, &yes);
        EXPECT_EQ(params(), before) << index;
    }
    const int32_t five = 5;
    for (int32_t count : {0, 6, -1}) {
        EXPECT_EQ(j4save_(&five, &count, &yes), 1);
        EXPECT_EQ(params(), before) << count;
        xgetua_(units, &n);
        EXPECT_EQ(n, 1);
    }

    // j4save returns the value before the call.
    const int32_t four = 4, three = 3, ten = 10;
    EXPECT_EQ(j4save_(&four, &three, &yes), 10);
    EXPECT_EQ(j4save_(&four, &ten, &yes), 3);
    EXPECT_EQ(params(), before);
    // xsetf and xgetf go through the same place.
    set_flag(-2);
    const int32_t two = 2;
    EXPECT_EQ(j4save_(&two, &unused, &no), -2);
    xgetf_(&flag);
    EXPECT_EQ(flag, -2);
}

// ================================================================ machine constants

TEST(MachineConstants, Values) {
    const int32_t expected[16] = {5, 6, 7, 6, 32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
    for (int32_t i = 1; i <= 16; ++i) EXPECT_EQ(i1mach_(&i), expected[i - 1]) << "i1mach " << i;

    const double d[5] = {4.450147717014403e-308, 8.988465674311579e+307, 1.110223024625157e-16, 2.220446049250313e-16,
                         0.301029995663981};
    for (int32_t i = 1; i <= 5; ++i) EXPECT_EQ(d1mach_(&i), d[i - 1]) << "d1mach " << i;
    const int32_t one = 1, two = 2, four = 4, five = 5;
    EXPECT_EQ(d1mach_(&one), std::ldexp(1.0, -1021));
    EXPECT_EQ(d1mach_(&two), DBL_MAX / 2);
    EXPECT_EQ(d1mach_(&four), DBL_EPSILON);
    EXPECT_NE(d1mach_(&five), std::log10(2.0));  // not the double nearest to log10 2

    const uint32_t bits[5] = {0x00800000u, 0x7F7FFFFFu, 0x33800000u, 0x34000000u, 0x3E9A209Bu};
    for (int32_t i = 1; i <= 5; ++i) {
        const float r = r1mach_(&i);
        uint32_t got = 0;
        std::memcpy(&got, &r, sizeof got);
        EXPECT_EQ(got, bits[i - 1]) << "r1mach " << i;
    }
}

std::string bounds_message(const char *routine, int highest, const char *i_field) {
    return std::string(" \n") + routine + " - Fatal error!\n" + "  The input argument I is out of bounds.\n" +
           "  Legal values satisfy 1 <= I <= " + std::to_string(highest) + ".\n" + "  I = " + i_field + "\n";
}

TEST(MachineConstantsDeathTest, IndexOutOfRangePrintsTheBounds) {
    auto exited = [](int status) { return WIFEXITED(status); };
    EXPECT_EQ(output_at_exit(
                  [] {
                      const int32_t i = 17;
                      i1mach_(&i);
                  },
                  exited),
              bounds_message("I1MACH", 16, "          17"));
    EXPECT_EQ(output_at_exit(
                  [] {
                      const int32_t i = 0;
                      i1mach_(&i);
                  },
                  exited),
              bounds_message("I1MACH", 16, "           0"));
    EXPECT_EQ(output_at_exit(
                  [] {
                      const int32_t i = 6;
                      d1mach_(&i);
                  },
                  exited),
              bounds_message("D1MACH", 5, "           6"));
    EXPECT_EQ(output_at_exit(
                  [] {
                      const int32_t i = -3;
                      r1mach_(&i);
                  },
                  exited),
              bounds_message("R1MACH", 5, "          -3"));
}

TEST(MachineConstantsDeathTest, IndexOutOfRangeEndsWithStatusOne) {
    // An index out of range is an error of the caller: the process fails.
    for (int32_t i : {0, 17}) EXPECT_EXIT(i1mach_(&i), ::testing::ExitedWithCode(1), "");
    for (int32_t i : {0, 6}) EXPECT_EXIT(d1mach_(&i), ::testing::ExitedWithCode(1), "");
    for (int32_t i : {0, 6}) EXPECT_EXIT(r1mach_(&i), ::testing::ExitedWithCode(1), "");
}

}  // namespace
