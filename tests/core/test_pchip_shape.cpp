// Controlled derivatives, the monotonicity check and the B-spline form of the
// cubic Hermite package, for both real widths: the typed tests run the same
// checks on the 8-byte family (dpchic_, ...) and the 4-byte one (pchic_, ...).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/units.hpp"
#include "decl/pchip.hpp"
#include "pchip_testing.hpp"

namespace {

using namespace kestro_pchip_testing;

// The entry points of one family, and the name prefix its reports carry.
template <class R>
struct Api;
template <>
struct Api<double> {
    static constexpr const char *prefix = "D";
    static constexpr auto pchim = dpchim_;
    static constexpr auto pchic = dpchic_;
    static constexpr auto pchce = dpchce_;
    static constexpr auto pchsw = dpchsw_;
    static constexpr auto pchcm = dpchcm_;
    static constexpr auto chfcm = dchfcm_;
    static constexpr auto pchbs = dpchbs_;
    static constexpr auto pchkt = dpchkt_;
    static constexpr auto bvalu = dbvalu_;
    static constexpr auto intrv = dintrv_;
    static constexpr auto pchfd = dpchfd_;
    static constexpr auto pchfe = dpchfe_;
};
template <>
struct Api<float> {
    static constexpr const char *prefix = "";
    static constexpr auto pchim = pchim_;
    static constexpr auto pchic = pchic_;
    static constexpr auto pchce = pchce_;
    static constexpr auto pchsw = pchsw_;
    static constexpr auto pchcm = pchcm_;
    static constexpr auto chfcm = chfcm_;
    static constexpr auto pchbs = pchbs_;
    static constexpr auto pchkt = pchkt_;
    static constexpr auto bvalu = bvalu_;
    static constexpr auto intrv = intrv_;
    static constexpr auto pchfd = pchfd_;
    static constexpr auto pchfe = pchfe_;
};

template <class R>
using V = std::vector<R>;

template <class R>
V<R> narrow(const Vec &v) {
    return V<R>(v.begin(), v.end());
}

template <class R>
int32_t count(const V<R> &v) {
    return static_cast<int32_t>(v.size());
}

template <class R>
struct Derivatives {
    V<R> d;
    int32_t ierr = 99;
};

template <class R>
Derivatives<R> pchic(std::array<int32_t, 2> ic, std::array<R, 2> vc, R sw, const V<R> &x, const V<R> &f,
                     int32_t nwk = -1) {
    const int32_t n = count(x), incfd = 1;
    if (nwk < 0) nwk = 2 * (n - 1);
    V<R> wk(static_cast<std::size_t>(std::max(nwk, 1)), R(0));
    Derivatives<R> out;
    out.d.assign(x.size(), R(-99));
    Api<R>::pchic(ic.data(), vc.data(), &sw, &n, x.data(), f.data(), out.d.data(), &incfd, wk.data(), &nwk,
                  &out.ierr);
    return out;
}

template <class R>
Derivatives<R> pchim(const V<R> &x, const V<R> &f) {
    const int32_t n = count(x), incfd = 1;
    Derivatives<R> out;
    out.d.assign(x.size(), R(-99));
    Api<R>::pchim(&n, x.data(), f.data(), out.d.data(), &incfd, &out.ierr);
    return out;
}

template <class R>
std::vector<int32_t> pchcm(const V<R> &x, const V<R> &f, const V<R> &d, int32_t n, int32_t incfd, int32_t *ierr) {
    std::vector<int32_t> ismon(static_cast<std::size_t>(std::max(n, 1)) + 1, -99);
    int32_t skip = 0;
    Api<R>::pchcm(&n, x.data(), f.data(), d.data(), &incfd, &skip, ismon.data(), ierr);
    EXPECT_EQ(ismon.back(), -99);
    ismon.pop_back();
    return ismon;
}

// exp(-x^2) at the nine points of the quick checks, in the family's width.
template <class R>
V<R> exp_data(const V<R> &x) {
    V<R> f;
    for (R v : x) f.push_back(std::exp(-v * v));
    return f;
}

template <class R>
class PchipFamily : public Pchip {
protected:
    static constexpr R eps = std::numeric_limits<R>::epsilon();
    static std::string name(const char *base) { return std::string(Api<R>::prefix) + base; }
};
using Widths = ::testing::Types<double, float>;
TYPED_TEST_SUITE(PchipFamily, Widths);

// ================================================================ controlled derivatives

TEST(PchipControlled, DefaultConditionsGiveTheMonotoneDerivativesBitForBit) {
    const Vec f = exp_minus_x_squared(kX9);
    const auto im = pchim(kX9, f);
    const auto ic = pchic<double>({0, 0}, {0.0, 0.0}, 0.0, kX9, f);
    EXPECT_EQ(ic.ierr, 0);
    EXPECT_EQ(im.ierr, 1);
    EXPECT_EQ(std::memcmp(im.d.data(), ic.d.data(), im.d.size() * sizeof(double)), 0);
    // Relaxed at the extremum: points 5 and 6 move to the published values, the
    // others keep every bit.
    const auto relaxed = pchic<double>({0, 0}, {0.0, 0.0}, -1.0, kX9, f);
    EXPECT_EQ(relaxed.ierr, 0);
    EXPECT_NEAR(relaxed.d[4] / 0.0176950158, 1.0, 1e-7);
    EXPECT_NEAR(relaxed.d[5] / -0.569579814, 1.0, 1e-7);
    for (std::size_t i : {0, 1, 2, 3, 6, 7, 8}) EXPECT_EQ(relaxed.d[i], ic.d[i]) << "point " << i + 1;
}

TYPED_TEST(PchipFamily, TwoPointsAndTheEndConditions) {
    using R = TypeParam;
    const V<R> x{0, 2}, f{1, 5};  // slope 2
    for (const auto &ic : std::vector<std::array<int32_t, 2>>{{0, 0}, {3, 4}, {5, -5}, {-4, 3}}) {
        const auto out = pchic<R>(ic, {R(0), R(0)}, R(-1), x, f);
        EXPECT_EQ(out.ierr, 0);
        EXPECT_EQ(out.d, (V<R>{2, 2})) << ic[0] << "," << ic[1];
    }
    // d(1) given; d(2) from the second derivative 1 at the right end.
    const auto out = pchic<R>({1, 2}, {R(7), R(1)}, R(0), x, f);
    EXPECT_EQ(out.ierr, 0);
    EXPECT_EQ(out.d, (V<R>{7, R(0.5) * ((6 - 7) + R(0.5) * 1 * 2)}));
}

TYPED_TEST(PchipFamily, EndConditionsReproduceACubic) {
    using R = TypeParam;
    // f = x^3 - 2x^2 + x: interior derivatives exact, then each condition on its own.
    const V<R> x{0, 1, R(2.5), 3, R(4.5), 6};
    const auto F = [](R t) { return ((t - 2) * t + 1) * t; };
    const auto D = [](R t) { return (3 * t - 4) * t + 1; };
    const auto D2 = [](R t) { return 6 * t - 4; };
    const int32_t n = count(x), incfd = 1;
    V<R> h, slope;
    for (int32_t j = 0; j + 1 < n; ++j) {
        h.push_back(x[j + 1] - x[j]);
        slope.push_back((F(x[j + 1]) - F(x[j])) / h.back());
    }
    struct Case {
        int32_t code;
        bool exact_for_cubic;
    };
    for (const Case c : {Case{1, true}, Case{2, true}, Case{3, false}, Case{4, true}, Case{5, true}}) {
        V<R> d;
        for (R t : x) d.push_back(D(t));
        const R exact_left = d.front(), exact_right = d.back();
        d.front() = 99;
        d.back() = 99;
        const int32_t ic[2] = {c.code, c.code};
        const R vc[2] = {c.code == 1 ? exact_left : D2(x.front()), c.code == 1 ? exact_right : D2(x.back())};
        int32_t ierr = 99;
        Api<R>::pchce(ic, vc, &n, x.data(), h.data(), slope.data(), d.data(), &incfd, &ierr);
        EXPECT_EQ(ierr, 0);
        const R tol = 200 * this->eps * 10;
        if (c.exact_for_cubic) {
            EXPECT_NEAR(d.front(), exact_left, tol) << "code " << c.code;
            EXPECT_NEAR(d.back(), exact_right, tol) << "code " << c.code;
        } else {
            // The quadratic through the three end points: exact for the quadratic part only.
            // The quadratic through a, b, c misses the cubic by (t - a)(t - b)(t - c).
            EXPECT_NEAR(d.front(), exact_left - (x[0] - x[1]) * (x[0] - x[2]), tol);
            EXPECT_NEAR(d.back(), exact_right - (x[5] - x[4]) * (x[5] - x[3]), tol);
        }
    }
}

TYPED_TEST(PchipFamily, NegativeCodesMakeTheEndsMonotone) {
    using R = TypeParam;
    const V<R> x{0, 1, 2, 3}, f{0, 1, 2, 3};  // slope 1 everywhere
    struct Case {
        std::array<int32_t, 2> ic;
        std::array<R, 2> vc;
        V<R> ends;
        int32_t ierr;
    };
    const std::vector<Case> cases{
        {{-1, 0}, {R(-2), R(0)}, {0, 1}, 1},        // wrong sign: 0
        {{0, -2}, {R(0), R(40)}, {1, 3}, 2},        // |d(n)| > 3 |slope|: 3 slope
        {{-1, -1}, {R(5), R(-1)}, {3, 0}, 3},       // both ends
        {{-1, -1}, {R(2.5), R(0.5)}, {2.5, 0.5}, 0},  // compatible already
        {{1, 1}, {R(-2), R(9)}, {-2, 9}, 0},        // positive codes change nothing
    };
    for (const auto &c : cases) {
        const auto out = pchic<R>(c.ic, c.vc, R(0), x, f);
        EXPECT_EQ(out.ierr, c.ierr) << c.ic[0] << "," << c.ic[1];
        EXPECT_EQ(out.d.front(), c.ends[0]);
        EXPECT_EQ(out.d.back(), c.ends[1]);
    }
    // Flat data: a nonzero end derivative becomes 0.
    const auto flat = pchic<R>({-1, -1}, {R(1), R(-1)}, R(0), x, V<R>{2, 2, 2, 2});
    EXPECT_EQ(flat.ierr, 3);
    EXPECT_EQ(flat.d, V<R>(4, R(0)));
}

TYPED_TEST(PchipFamily, BoundedOvershootAtAnIsolatedPeak) {
    using R = TypeParam;
    // The parabola through the peak and its neighbours rises to the right of x = 3.
    const V<R> x{0, 1, 2, 3, 4, 5, 6}, f{0, R(0.5), 1, 3, 2, R(1.5), 1};
    const auto plain = pchic<R>({0, 0}, {R(0), R(0)}, R(0), x, f);
    ASSERT_EQ(plain.ierr, 0);
    EXPECT_EQ(plain.d[3], R(0));
    const int32_t n = count(x), incfd = 1;
    const auto peak_of = [&](const V<R> &d) {
        V<R> xe, fe(601), de(601);
        for (int i = 0; i <= 600; ++i) xe.push_back(R(i) / 100);
        const int32_t ne = count(xe);
        int32_t skip = 0, ierr = 0;
        Api<R>::pchfd(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), de.data(), &ierr);
        return *std::max_element(fe.begin(), fe.end());
    };
    EXPECT_EQ(peak_of(plain.d), R(3));
    // Relaxed without a bound, the curve rises well above the peak value.
    EXPECT_GT(peak_of(pchic<R>({0, 0}, {R(0), R(0)}, R(-1), x, f).d), R(3.005));
    // dfloc = the largest |change of f| over the peak's interval and its neighbours = 2.
    for (R sw : {R(0.0005), R(0.001), R(1)}) {
        const auto bounded = pchic<R>({0, 0}, {R(0), R(0)}, sw, x, f);
        ASSERT_EQ(bounded.ierr, 0);
        EXPECT_GT(bounded.d[3], R(0)) << "switch " << sw;  // moved towards the parabola slope 0.5
        EXPECT_LE(peak_of(bounded.d), R(3) + sw * 2 * (1 + 100 * this->eps)) << "switch " << sw;
        EXPECT_GT(peak_of(bounded.d), R(3)) << "switch " << sw;
    }
}

TYPED_TEST(PchipFamily, ExcursionLimiter) {
    using R = TypeParam;
    const int32_t left = 1;
    const R h = 1;
    struct Case {
        R d1, d2, slope;
        int32_t ierr;
        bool changed;
    };
    const std::vector<Case> cases{
        {0, R(1.5), R(0.5), 0, false},      // rho = 0.5/1.5 >= 0.33333: nothing to do
        {R(1.5), 0, R(0.6), 0, false},      // rho = 0.4
        {0, 0, R(1), -1, false},            // both zero
        {R(1), R(1), R(0.1), -1, false},    // lambda = -1 <= 0
        {R(2), R(-2), R(0.05), 0, true},    // an extremum inside, far beyond dfmax
    };
    this->recoverable();
    for (const auto &c : cases) {
        R d1 = c.d1, d2 = c.d2;
        const R dfmax = R(0.001);
        int32_t ierr = 99;
        const std::string out = printed([&] { Api<R>::pchsw(&dfmax, &left, &d1, &d2, &h, &c.slope, &ierr); });
        EXPECT_EQ(ierr, c.ierr) << c.d1 << " " << c.d2;
        EXPECT_EQ(out, c.ierr < 0 ? continuing(this->name("PCHSW"), "D1 AND/OR D2 INVALID", -1) : "");
        EXPECT_EQ(d1 != c.d1 || d2 != c.d2, c.changed);
        if (c.changed) {
            EXPECT_EQ(d2 / d1, c.d2 / c.d1);  // the ratio lambda is kept
        }
    }
}

TYPED_TEST(PchipFamily, ControlledDerivativeErrorCodes) {
    using R = TypeParam;
    this->recoverable();
    const V<R> x{0, 1, 2, 3}, f{0, 1, 0, 1};
    struct Case {
        std::array<int32_t, 2> ic;
        int32_t nwk, ierr;
        const char *message;
    };
    const std::vector<Case> cases{
        {{6, 0}, 6, -4, "IC OUT OF RANGE"},
        {{0, -6}, 6, -5, "IC OUT OF RANGE"},
        {{-7, 9}, 6, -6, "IC OUT OF RANGE"},
        {{0, 0}, 5, -7, "WORK ARRAY TOO SMALL"},
    };
    for (const auto &c : cases) {
        Derivatives<R> out;
        const std::string text = printed([&] { out = pchic<R>(c.ic, {R(0), R(0)}, R(0), x, f, c.nwk); });
        EXPECT_EQ(out.ierr, c.ierr);
        EXPECT_EQ(text, continuing(this->name("PCHIC"), c.message, c.ierr));
    }
    Derivatives<R> out;
    const std::string text = printed([&] { out = pchic<R>({0, 0}, {R(0), R(0)}, R(0), V<R>{1}, V<R>{1}); });
    EXPECT_EQ(out.ierr, -1);
    EXPECT_EQ(text, continuing(this->name("PCHIC"), "NUMBER OF DATA POINTS LESS THAN TWO", -1));
}

// ================================================================ monotonicity

TYPED_TEST(PchipFamily, CodeOfOneCubicAtTheRegionsBoundaries) {
    using R = TypeParam;
    struct Case {
        R d1, d2, delta;
        int32_t code;
    };
    const std::vector<Case> cases{
        {0, 0, 0, 0},   {1, 0, 0, 2},   {0, -1, 0, 2},  {1, 1, 1, 1},    {-1, -1, -1, -1}, {0, 0, 1, 1},
        {3, 3, 1, 3},   {-3, -3, -1, -3}, {5, 5, 1, 2}, {-1, 1, 1, 2},   {1, -1, 1, 2},    {1, R(3.5), 1, 1},
        {R(4.5), 1, 1, 2}, {4, 4, 1, 2}, {R(2), R(2), R(-1), 2}, {R(6), R(6), R(2), 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Api<R>::chfcm(&c.d1, &c.d2, &c.delta), c.code) << c.d1 << " " << c.d2 << " " << c.delta;
}

TEST(PchipMonotonicity, TheSpacingDecidesWhatLiesOnTheEdge) {
    // a = b = 3 - 1e-12: inside the region for 8-byte reals, on its edge for 4-byte ones.
    const double d = 3 - 1e-12, one = 1;
    const float df = static_cast<float>(d), onef = 1;
    EXPECT_EQ(dchfcm_(&d, &d, &one), 1);
    EXPECT_EQ(chfcm_(&df, &df, &onef), 3);
}

TYPED_TEST(PchipFamily, MonotonicityOfTheQuickCheckTables) {
    using R = TypeParam;
    V<R> x, f{1, 2, 3, 2, 3, 4, 3, 4, 5, 4, 5, 6, 5, 6, 7, 6}, d(16, R(0));
    for (int i = 1; i <= 16; ++i) x.push_back(R(i));
    for (int i : {2, 5, 8, 11, 14}) d[static_cast<std::size_t>(i - 1)] = 2;
    V<R> fb{0, 2, 3, 5, 3, 2, 0}, db{1, 3, 3, 0, -3, -3, -1};
    struct Case {
        int32_t incfd, n;
        std::vector<int32_t> expected;
    };
    const std::vector<Case> cases{
        {1, 16, {1, 1, -1, 1, 1, -1, 1, 1, -1, 1, 1, -1, 1, 1, -1, 2}},
        {2, 8, {1, 2, 2, 1, 2, 2, 1, 2}},
        {3, 6, {1, 1, 1, 1, 1, 1}},
    };
    for (int sign : {1, -1}) {
        const auto flip = [sign](std::vector<int32_t> codes) {
            for (auto &c : codes)
                if (c != 2) c *= sign;
            return codes;
        };
        for (const auto &c : cases) {
            int32_t ierr = 99;
            EXPECT_EQ(pchcm<R>(x, f, d, c.n, c.incfd, &ierr), flip(c.expected)) << "stride " << c.incfd;
            EXPECT_EQ(ierr, 0);
        }
        int32_t ierr = 99;
        EXPECT_EQ(pchcm<R>(x, fb, db, 7, 1, &ierr), flip({1, 3, 1, -1, -3, -1, 2}));
        for (auto *v : {&f, &d, &fb, &db})
            for (R &e : *v) e = -e;
    }
    // Monotone data with the monotone derivatives: monotone everywhere.
    const V<R> xs{0, 1, 2, 4, 5, 9}, fs{0, R(0.1), 2, R(2.1), 7, 8};
    const auto md = pchim(xs, fs);
    int32_t ierr = 99;
    for (int32_t code : pchcm<R>(xs, fs, md.d, 6, 1, &ierr)) EXPECT_TRUE(code == 1 || code == 3) << code;
    EXPECT_EQ(pchcm<R>(xs, V<R>(6, R(4)), V<R>(6, R(0)), 6, 1, &ierr), std::vector<int32_t>(6, 0));
    this->recoverable();
    const std::string text = printed([&] { pchcm<R>(V<R>{0, 0}, fs, fs, 2, 1, &ierr); });
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(text, continuing(this->name("PCHCM"), "X-ARRAY NOT STRICTLY INCREASING", -3));
}

// ================================================================ B-spline form

TYPED_TEST(PchipFamily, KnotSequences) {
    using R = TypeParam;
    const V<R> x{0, 1, 3, 7};  // hbeg 1, hend 4
    const int32_t n = count(x);
    struct Case {
        int32_t knotyp;
        R left, right;
    };
    for (const Case c : {Case{0, 0, 7}, Case{1, -1, 11}, Case{2, -4, 8}, Case{7, 0, 7}, Case{-3, 0, 7}}) {
        V<R> t(2 * x.size() + 5, R(-99));
        Api<R>::pchkt(&n, x.data(), &c.knotyp, t.data());
        EXPECT_EQ(t, (V<R>{c.left, c.left, 0, 0, 1, 1, 3, 3, 7, 7, c.right, c.right, R(-99)})) << c.knotyp;
    }
}

TYPED_TEST(PchipFamily, BSplineFormReproducesTheHermiteCurve) {
    using R = TypeParam;
    // The data of the conversion quick check.
    const V<R> x = narrow<R>(kX9);
    const V<R> f = narrow<R>({0.0079, 0.2369, 0.3679, 0.7788, 0.9999, 0.7788, 0.3679, 0.1083, 0.0079});
    const V<R> d = narrow<R>({0.0, 0.38, 0.7173, 0.582, 0.0177, -0.5696, -0.5135, -0.0778, -0.0025});
    const int32_t n = count(x), incfd = 1;
    V<R> t(2 * x.size() + 4), bcoef(2 * x.size()), tsave, work(12);
    const R tol = 100 * this->eps;
    const auto relative = [](R e, R v) { return std::abs(e) / std::max(R(1e-5), std::abs(v)); };
    for (int32_t knotyp : {2, 1, 0, -1}) {
        SCOPED_TRACE(knotyp);
        int32_t nknots = knotyp < 0 ? 2 * n + 4 : -5, ndim = 0, kord = 0, ierr = 99;
        Api<R>::pchbs(&n, x.data(), f.data(), d.data(), &incfd, &knotyp, &nknots, t.data(), bcoef.data(), &ndim,
                      &kord, &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_EQ(nknots, 2 * n + 4);
        EXPECT_EQ(ndim, 2 * n);
        EXPECT_EQ(kord, 4);
        if (knotyp == 0) tsave = t;
        if (knotyp == -1) {
            EXPECT_EQ(std::memcmp(t.data(), tsave.data(), t.size() * sizeof(R)), 0);
        }
        int32_t inbv = 1;
        const int32_t zero = 0, first = 1;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const R fv = Api<R>::bvalu(t.data(), bcoef.data(), &ndim, &kord, &zero, &x[i], &inbv, work.data());
            const R dv = Api<R>::bvalu(t.data(), bcoef.data(), &ndim, &kord, &first, &x[i], &inbv, work.data());
            EXPECT_LE(relative(f[i] - fv, f[i]), tol) << "x " << x[i];
            EXPECT_LE(relative(d[i] - dv, d[i]), tol) << "x " << x[i];
        }
        // Between the points as well: values and derivatives of the Hermite evaluator.
        V<R> xe, fe(50), de(50);
        for (int i = 0; i < 50; ++i) xe.push_back(x.front() + (x.back() - x.front()) * R(i) / 49);
        const int32_t ne = count(xe);
        int32_t skip = 0;
        Api<R>::pchfd(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), de.data(), &ierr);
        inbv = 0;  // a start below 1 counts as 1
        for (std::size_t i = 0; i < xe.size(); ++i) {
            EXPECT_NEAR(Api<R>::bvalu(t.data(), bcoef.data(), &ndim, &kord, &zero, &xe[i], &inbv, work.data()), fe[i],
                        20 * tol);
            EXPECT_NEAR(Api<R>::bvalu(t.data(), bcoef.data(), &ndim, &kord, &first, &xe[i], &inbv, work.data()),
                        de[i], 200 * tol);
        }
    }
}

TYPED_TEST(PchipFamily, BSplineEvaluationErrors) {
    using R = TypeParam;
    this->recoverable();
    // Linear B-spline (k = 2) on knots 0, 0, 1, 2, 2 with coefficients 0, 1, 4.
    const V<R> t{0, 0, 1, 2, 2}, a{0, 1, 4};
    V<R> work(12, R(0));
    const auto value = [&](int32_t n, int32_t k, int32_t ideriv, R x, std::string *out) {
        int32_t inbv = 1;
        R v = R(-99);
        *out = printed([&] { v = Api<R>::bvalu(t.data(), a.data(), &n, &k, &ideriv, &x, &inbv, work.data()); });
        return v;
    };
    std::string out;
    EXPECT_EQ(value(3, 2, 0, R(0.5), &out), R(0.5));
    EXPECT_EQ(value(3, 2, 0, R(2), &out), R(4));  // the left limit at the last knot
    EXPECT_EQ(value(3, 2, 1, R(2), &out), R(3));
    EXPECT_EQ(out, "");
    struct Case {
        int32_t n, k, ideriv;
        R x;
        const char *message;
    };
    const std::vector<Case> cases{
        {3, 0, 0, R(1), "K DOES NOT SATISFY K.GE.1"},
        {1, 2, 0, R(1), "N DOES NOT SATISFY N.GE.K"},
        {3, 2, 2, R(1), "IDERIV DOES NOT SATISFY 0.LE.IDERIV.LT.K"},
        {3, 2, -1, R(1), "IDERIV DOES NOT SATISFY 0.LE.IDERIV.LT.K"},
        {3, 2, 0, R(-0.5), "X IS N0T GREATER THAN OR EQUAL TO T(K)"},
        {3, 2, 0, R(2.5), "X IS NOT LESS THAN OR EQUAL TO T(N+1)"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(value(c.n, c.k, c.ideriv, c.x, &out), R(0)) << c.message;
        EXPECT_EQ(out, continuing(this->name("BVALU"), c.message, 2));
    }
    // All knots from t(k) to t(n+1) equal: no left limit to take.
    const V<R> flat{0, 1, 1, 1};
    int32_t n = 2, k = 2, ideriv = 0, inbv = 1;
    const R x = 1;
    R v = R(-99);
    out = printed([&] { v = Api<R>::bvalu(flat.data(), a.data(), &n, &k, &ideriv, &x, &inbv, work.data()); });
    EXPECT_EQ(v, R(0));
    EXPECT_EQ(out, continuing(this->name("BVALU"), "A LEFT LIMITING VALUE CANNOT BE OBTAINED AT T(K)", 2));
}

TYPED_TEST(PchipFamily, ConversionErrorsNameTheRoutineInEightCharacters) {
    using R = TypeParam;
    this->recoverable();
    const V<R> x{0, 1, 2}, f{0, 1, 0}, d{1, 0, -1};
    V<R> t(10, R(-7)), bcoef(6);
    const int32_t n = 3, incfd = 1;
    std::string routine = this->name("PCHBS");
    routine.resize(8, ' ');
    for (const auto &[knotyp, nknots_in, ierr_expected, message] :
         std::vector<std::tuple<int32_t, int32_t, int32_t, const char *>>{
             {3, 10, -1, "KNOTYP GREATER THAN 2"}, {-1, 9, -2, "KNOTYP.LT.0 AND NKNOTS.NE.(2*N+4)"}}) {
        int32_t nknots = nknots_in, ndim = 0, kord = 0, ierr = 99;
        const std::string out = printed([&] {
            Api<R>::pchbs(&n, x.data(), f.data(), d.data(), &incfd, &knotyp, &nknots, t.data(), bcoef.data(), &ndim,
                          &kord, &ierr);
        });
        EXPECT_EQ(ierr, ierr_expected);
        EXPECT_EQ(ndim, 6);
        EXPECT_EQ(kord, 4);
        EXPECT_EQ(t, V<R>(10, R(-7)));
        EXPECT_EQ(out, " ***MESSAGE FROM ROUTINE " + routine + " IN LIBRARY SLATEC  .\n" +
                           " ***POTENTIALLY RECOVERABLE ERROR, PROG CONTINUES, TRACEBACK REQUESTED\n *  " + message +
                           "\n *  ERROR NUMBER = " + std::to_string(ierr_expected) + "\n *   \n ***END OF MESSAGE\n \n");
    }
}

TYPED_TEST(PchipFamily, IntervalSearchAgreesWithAScanFromAnyStart) {
    using R = TypeParam;
    const V<R> xt{0, 0, 1, 2, 2, 2, 3, 5, 8, 8};
    const int32_t lxt = count(xt);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> where(-1.0, 9.0);
    std::uniform_int_distribution<int32_t> start(-3, lxt + 3);
    for (int trial = 0; trial < 2000; ++trial) {
        R x = static_cast<R>(where(rng));
        if (trial % 3 == 0) x = xt[static_cast<std::size_t>(trial / 3 % lxt)];  // on a knot
        int32_t ilo = start(rng), ileft = -9, mflag = -9;
        Api<R>::intrv(xt.data(), &lxt, &x, &ilo, &ileft, &mflag);
        int32_t expected_left = 1, expected_flag = -1;
        if (x >= xt.back()) {
            expected_left = lxt;
            expected_flag = 1;
        } else if (x >= xt.front()) {
            expected_flag = 0;
            for (int32_t i = 1; i < lxt; ++i)
                if (xt[static_cast<std::size_t>(i - 1)] <= x) expected_left = i;
        }
        ASSERT_EQ(mflag, expected_flag) << "x " << x;
        ASSERT_EQ(ileft, expected_left) << "x " << x;
        ASSERT_GE(ilo, 1);
    }
    // No knots: nothing read, left of everything.
    int32_t none = 0, ilo = 5, ileft = -9, mflag = -9;
    const R x = 1;
    Api<R>::intrv(nullptr, &none, &x, &ilo, &ileft, &mflag);
    EXPECT_EQ(mflag, -1);
    EXPECT_EQ(ileft, 1);
}

// ================================================================ the 4-byte family

TEST(PchipSingle, MonotoneDerivativesOfTheExpTable) {
    const V<float> x = narrow<float>(kX9);
    const auto out = pchim(x, exp_data(x));
    EXPECT_EQ(out.ierr, 1);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (kDM9[i] == 0.0)
            EXPECT_EQ(out.d[i], 0.0f) << "point " << i + 1;
        else
            EXPECT_LE(std::abs((out.d[i] - kDM9[i]) / kDM9[i]), 1.1920929e-5) << "point " << i + 1;
    }
}

TEST_F(PchipDeathTest, SingleFamilyReportsUnderItsOwnNames) {
    const std::string out = output_at_exit(
        [] {
            const int32_t n = 1, incfd = 1;
            int32_t ierr = 0;
            float x = 0, f = 0, d = 0;
            pchim_(&n, &x, &f, &d, &incfd, &ierr);
        },
        ::testing::ExitedWithCode(1));
    EXPECT_EQ(out, one_point_block("PCHIM"));
}

TEST_F(Pchip, BothFamiliesTakeSeparateRowsOfTheMessageTable) {
    recoverable();
    const int32_t n = 1, incfd = 1;
    int32_t ierr = 0;
    float xf = 0, ff = 0, df = 0;
    double x = 0, f = 0, d = 0;
    printed([&] {
        pchim_(&n, &xf, &ff, &df, &incfd, &ierr);
        dpchim_(&n, &x, &f, &d, &incfd, &ierr);
        pchim_(&n, &xf, &ff, &df, &incfd, &ierr);
    });
    EXPECT_EQ(printed([] { xerdmp_(); }),
              "0          ERROR MESSAGE SUMMARY\n"
              " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
              " SLATEC     PCHIM      NUMBER OF DATA POINT        -1         1         2\n"
              " SLATEC     DPCHIM     NUMBER OF DATA POINT        -1         1         1\n"
              " \n");
}

template <class R>
using PchipFamilyDeathTest = PchipFamily<R>;
TYPED_TEST_SUITE(PchipFamilyDeathTest, Widths);

TYPED_TEST(PchipFamilyDeathTest, EqualAbscissasWithSkipReachTheCubicAndEndTheProcess) {
    using R = TypeParam;
    // With SKIP true the repeated abscissa is not caught by the checks: the one-cubic
    // evaluator reports it (recoverable), then the evaluator's fatal error ends the
    // process even under flag 1.
    for (const bool derivatives : {false, true}) {
        const std::string out = output_at_exit(
            [derivatives] {
                const int32_t one = 1;
                xsetf_(&one);
                const V<R> x = {0, 0, 1}, f = {0, 1, 2}, d = {1, 1, 1}, xe = {-1};
                const int32_t n = 3, incfd = 1, ne = 1;
                int32_t skip = 1, ierr = 0;
                R fe = 0, de = 0;
                if (derivatives)
                    Api<R>::pchfd(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), &fe, &de, &ierr);
                else
                    Api<R>::pchfe(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), &fe, &ierr);
            },
            ::testing::ExitedWithCode(1));
        const std::string cubic = this->name(derivatives ? "CHFDV" : "CHFEV"),
                          evaluator = this->name(derivatives ? "PCHFD" : "PCHFE");
        const auto column = [](std::string s) {
            s.resize(11, ' ');
            return s;
        };
        EXPECT_EQ(out, continuing(cubic, "INTERVAL ENDPOINTS EQUAL", -2) + " ***MESSAGE FROM ROUTINE " + evaluator +
                           " IN LIBRARY SLATEC.\n"
                           " ***FATAL ERROR, PROG ABORTED, TRACEBACK REQUESTED\n"
                           " *  ERROR RETURN FROM " +
                           cubic +
                           " -- FATAL\n"
                           " *  ERROR NUMBER = -5\n"
                           " *   \n"
                           " ***END OF MESSAGE\n"
                           " \n"
                           " ***JOB ABORT DUE TO FATAL ERROR.\n"
                           "0          ERROR MESSAGE SUMMARY\n"
                           " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
                           " SLATEC     " +
                           column(cubic) + "INTERVAL ENDPOINTS E        -2         1         1\n" + " SLATEC     " +
                           column(evaluator) + ("ERROR RETURN FROM " + cubic).substr(0, 20) +
                           "        -5         2         1\n \n");
    }
}


// ================================================================ check utilities

TEST(PchipCheckUtilities, UniformNumbersStayBelowOne) {
    const auto draw = [](float r) { return pchip_rand_(&r) * 4194304.0f; };
    draw(1.0f);  // x = 0, the state of a fresh process
    EXPECT_EQ(draw(0.0f), 1731.0f);
    EXPECT_EQ(draw(0.0f), 2831506.0f);
    EXPECT_EQ(draw(0.0f), 677277.0f);
    EXPECT_EQ(draw(-1.0f), 677277.0f);
    // Just below an integer the seed rounds up to 2^22 and wraps to 0: the
    // sequence goes on as from a fresh state.
    for (float r : {0.99999994f, 1.99999988f}) {
        EXPECT_EQ(draw(r), 0.0f) << r;
        EXPECT_EQ(draw(0.0f), 1731.0f);
    }
    EXPECT_EQ(draw(0.25f), 1048576.0f);
    for (int i = 0; i < 5000; ++i) {
        const float r = 0.0f, u = pchip_rand_(&r);
        ASSERT_TRUE(u >= 0.0f && u < 1.0f) << u;
    }
}

TEST(PchipCheckUtilities, ReferenceCubicAndFreeUnits) {
    struct Case {
        double x, f, d;
    };
    for (const Case c : {Case{0, 0, -2}, Case{2, 0, 6}, Case{-1, 0, 3}, Case{0.5, -1.125, -2.25}}) {
        double f = 9, d = 9;
        dfdtru_(&c.x, &f, &d);
        EXPECT_EQ(f, c.f);
        EXPECT_EQ(d, c.d);
        const float xf = static_cast<float>(c.x);
        float ff = 9, df = 9;
        fdtrue_(&xf, &ff, &df);
        EXPECT_EQ(ff, static_cast<float>(c.f));
        EXPECT_EQ(df, static_cast<float>(c.d));
    }
    const auto free_unit = [] {
        int32_t unit = -1;
        get_unit_(&unit);
        return unit;
    };
    const std::string dir = ::testing::TempDir();
    for (int unit : {1, 2, 3, 4}) ASSERT_TRUE(kestro::units::open(unit, dir + "kestro_unit_" + std::to_string(unit), kestro::units::Access::write));
    EXPECT_EQ(free_unit(), 7);  // 5 and 6 are never offered
    ASSERT_TRUE(kestro::units::open(7, dir + "kestro_unit_7", kestro::units::Access::write));
    ASSERT_TRUE(kestro::units::open(8, dir + "kestro_unit_8", kestro::units::Access::write));
    EXPECT_EQ(free_unit(), 10);  // nor 9
    for (int unit : {1, 2, 3, 4, 7, 8}) {
        kestro::units::close(unit);
        std::remove((dir + "kestro_unit_" + std::to_string(unit)).c_str());
    }
    EXPECT_EQ(free_unit(), 1);
}

TEST_F(Pchip, ErrorReturnCheckRestoresTheControlFlag) {
    for (int32_t flag : {-2, 0, 2}) {
        for (int32_t kprint : {0, 3}) {
            set_flag(flag);
            int32_t fail = -1, after = 99;
            const int32_t lout = 6;
            printed([&] { deverk_(&lout, &kprint, &fail); });
            xgetf_(&after);
            EXPECT_EQ(fail, 0);
            EXPECT_EQ(after, flag);
        }
    }
}

TEST_F(PchipDeathTest, CheckTimestampPrintsOneLine) {
    const std::string out = output_at_exit(
        [] {
            pchip_timestamp_();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0));
    EXPECT_TRUE(std::regex_match(
        out, std::regex(R"([ 0-9]\d [A-Z][a-z]+ \d{4} +[ 0-9]\d:\d\d:\d\d\.\d{3} (AM|PM|Noon)\n)")))
        << out;
}

}  // namespace
