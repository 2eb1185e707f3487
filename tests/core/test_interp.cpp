// The linear and nearest-neighbour interpolation package called by address
// from C++: interval search, nearest entry of a sorted vector (both orders,
// ties), interpolation of m-component data, and the input checks that end the
// process with the package's message on standard output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "decl/interp.hpp"
#include "decl/math.hpp"
#include "core/format.hpp"

namespace {

using Vec = std::vector<double>;

constexpr double kFill = -7.25e77;

int32_t size_of(const Vec &v) { return static_cast<int32_t>(v.size()); }

std::pair<int32_t, int32_t> bracket(const Vec &x, double xval) {
    const int32_t n = size_of(x);
    int32_t left = -99, right = -99;
    r8vec_bracket_(&n, x.data(), &xval, &left, &right);
    return {left, right};
}

int32_t nearest(const Vec &a, double value) {
    const int32_t n = size_of(a);
    return r8vec_sorted_nearest_(&n, a.data(), &value);
}

int32_t ascends(const Vec &x, int32_t n) { return r8vec_ascends_strictly_(&n, x.data()); }

// p_interp(m, interp_num) followed by four guard entries, all kFill at the start.
struct Result {
    Result(int32_t m, int32_t count) : v(static_cast<std::size_t>(m) * static_cast<std::size_t>(count) + 4, kFill) {}
    Vec body() const { return {v.begin(), v.end() - 4}; }
    bool guards_intact() const { return std::all_of(v.end() - 4, v.end(), [](double x) { return x == kFill; }); }
    Vec v;
};

Result linear(int32_t m, const Vec &t, const Vec &p, const Vec &ti) {
    const int32_t n = size_of(t), ni = size_of(ti);
    Result r(m, ni);
    interp_linear_(&m, &n, t.data(), p.data(), &ni, ti.data(), r.v.data());
    return r;
}

Result nearest_data(int32_t m, const Vec &t, const Vec &p, const Vec &ti) {
    const int32_t n = size_of(t), ni = size_of(ti);
    Result r(m, ni);
    interp_nearest_(&m, &n, t.data(), p.data(), &ni, ti.data(), r.v.data());
    return r;
}

// ---------------------------------------------------------------- r8vec_bracket

TEST(InterpBracket, FindsTheIntervalAndUsesTheEndIntervalsOutside) {
    const Vec x{1.0, 2.0, 3.0, 4.0};
    using P = std::pair<int32_t, int32_t>;
    const std::vector<std::pair<double, P>> cases{
        {0.0, {1, 2}}, {1.0, {1, 2}}, {1.5, {1, 2}}, {2.0, {2, 3}}, {2.5, {2, 3}},
        {3.0, {3, 4}}, {3.5, {3, 4}}, {4.0, {3, 4}}, {9.0, {3, 4}}, {-1e300, {1, 2}},
    };
    for (const auto &[xval, expected] : cases) EXPECT_EQ(bracket(x, xval), expected) << "xval " << xval;
}

TEST(InterpBracket, TwoPointsAlwaysGiveTheOneInterval) {
    for (double xval : {-5.0, 0.0, 0.5, 1.0, 7.0}) EXPECT_EQ(bracket({0.0, 1.0}, xval), std::make_pair(1, 2));
}

TEST(InterpBracket, ScansFromTheStartForTheFirstLargerEntry) {
    // Unsorted entries tell a forward scan from a bisection.
    const Vec x{0.0, 5.0, 1.0, 2.0, 10.0};
    EXPECT_EQ(bracket(x, 3.0), std::make_pair(1, 2));
    EXPECT_EQ(bracket(x, 7.0), std::make_pair(4, 5));
}

// ---------------------------------------------------------------- r8vec_sorted_nearest

TEST(InterpSortedNearest, AscendingVectorTieGoesToTheHigherIndex) {
    const Vec a{1.0, 3.0};
    const std::vector<std::pair<double, int32_t>> cases{
        {2.0, 2}, {1.9, 1}, {2.1, 2}, {3.0, 2}, {1.0, 1}, {0.0, 1}, {4.0, 2}};
    for (const auto &[value, index] : cases) EXPECT_EQ(nearest(a, value), index) << "value " << value;
}

TEST(InterpSortedNearest, DescendingVectorTieGoesToTheLowerIndex) {
    const Vec a{9.0, 7.0, 5.0, 3.0, 1.0};
    const std::vector<std::pair<double, int32_t>> cases{
        {6.5, 2}, {4.0, 3}, {0.0, 5}, {10.0, 1}, {5.0, 3}, {8.0, 1}, {2.0, 4}, {1.0, 5}, {9.0, 1}};
    for (const auto &[value, index] : cases) EXPECT_EQ(nearest(a, value), index) << "value " << value;
}

TEST(InterpSortedNearest, EmptyAndSingleEntryVectors) {
    const double value = 4.0, entry = 123.0;
    for (int32_t n : {0, -1, -50}) EXPECT_EQ(r8vec_sorted_nearest_(&n, &entry, &value), -1) << "n " << n;
    for (double v : {-1e300, 0.0, 123.0, 1e300}) EXPECT_EQ(nearest({entry}, v), 1);
}

TEST(InterpSortedNearest, AgreesWithABruteForceSearchInBothOrders) {
    std::mt19937 gen(7);
    for (int n = 2; n <= 40; ++n) {
        // Distinct integers, probed at integers and half-integers (ties) and beyond both ends.
        Vec a;
        std::uniform_int_distribution<int> step(1, 4);
        double v = -30.0;
        for (int i = 0; i < n; ++i) a.push_back(v += step(gen));
        Vec d(a.rbegin(), a.rend());
        for (double value = a.front() - 3.0; value <= a.back() + 3.0; value += 0.5) {
            // Nearest entry; among equally near ones the larger entry.
            std::size_t best = 0;
            for (std::size_t k = 1; k < a.size(); ++k)
                if (std::abs(value - a[k]) <= std::abs(value - a[best])) best = k;
            const auto asc = static_cast<int32_t>(best + 1);
            EXPECT_EQ(nearest(a, value), asc) << "n " << n << " value " << value;
            EXPECT_EQ(nearest(d, value), n + 1 - asc) << "n " << n << " value " << value;
        }
    }
}

TEST(InterpSortedNearest, UnsortedOrRepeatedEntriesStillGiveAnIndexOfTheVector) {
    for (const Vec &a : {Vec{5.0, 1.0, 4.0, 2.0, 3.0}, Vec{1.0, 1.0, 1.0}, Vec{2.0, 2.0, 3.0, 3.0, 1.0}})
        for (double value = -1.0; value <= 6.0; value += 0.25) {
            const int32_t k = nearest(a, value);
            EXPECT_GE(k, 1);
            EXPECT_LE(k, size_of(a));
        }
}

// ---------------------------------------------------------------- r8vec_ascends_strictly

TEST(InterpAscendsStrictly, EveryNeighbourPairMustIncrease) {
    const Vec x{1.0, 2.0, 3.0};
    EXPECT_EQ(ascends(x, 0), 1);
    EXPECT_EQ(ascends(x, 1), 1);
    EXPECT_EQ(ascends(x, 3), 1);
    EXPECT_EQ(ascends({1.0, 1.0, 2.0}, 3), 0);
    EXPECT_EQ(ascends({1.0, 2.0, 2.0}, 3), 0);  // the last pair counts
    EXPECT_EQ(ascends({3.0, 2.0, 1.0}, 3), 0);
    EXPECT_EQ(ascends({0.0, 2.0, 1.0, 3.0}, 4), 0);
    EXPECT_EQ(ascends({-0.0, 0.0}, 2), 0);
    EXPECT_EQ(ascends({1.0, 2.0, 0.0}, 2), 1);  // only the first n entries are read
}

// ---------------------------------------------------------------- interp_linear

TEST(InterpLinear, BracketsEveryPointAsTheScanDoes) {
    // Random ascending tables, points on the knots, between, outside and NaN:
    // the values are those of the interval r8vec_bracket_ finds, bit for bit.
    std::mt19937 g(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int32_t n : {2, 3, 4, 9, 200}) {
        std::vector<double> t(n), p(n);
        double x = -1.0;
        for (int32_t i = 0; i < n; ++i) {
            t[i] = x += 0.01 + u(g);
            p[i] = std::cos(x);
        }
        std::vector<double> at = {std::nan(""), t[0] - 5.0, t[n - 1] + 5.0};
        for (int32_t i = 0; i < n; ++i) at.insert(at.end(), {t[i], t[i] + 0.3 * u(g), t[i] - 1e-300});
        const int32_t m = 1, ne = static_cast<int32_t>(at.size());
        std::vector<double> out(ne);
        interp_linear_(&m, &n, t.data(), p.data(), &ne, at.data(), out.data());
        for (int32_t k = 0; k < ne; ++k) {
            int32_t l = 0, r = 0;
            r8vec_bracket_(&n, t.data(), &at[k], &l, &r);
            const double expected =
                ((t[r - 1] - at[k]) * p[l - 1] + (at[k] - t[l - 1]) * p[r - 1]) / (t[r - 1] - t[l - 1]);
            EXPECT_TRUE(std::memcmp(&out[k], &expected, sizeof(double)) == 0) << n << " " << k;
        }
    }
}

TEST(InterpLinear, TwoComponentsInsideAndBeyondTheData) {
    const Result r = linear(2, {0.0, 1.0}, {0.0, 0.0, 1.0, 2.0}, {0.25, 2.0, -1.0});
    const Vec expected{0.25, 0.5, 2.0, 4.0, -1.0, -2.0};
    ASSERT_EQ(r.body().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(r.body()[i], expected[i]) << i;
    EXPECT_TRUE(r.guards_intact());
}

TEST(InterpLinear, EveryComponentFollowsItsOwnPolyline) {
    // Three components on an uneven grid, evaluated inside, at the nodes and outside.
    const Vec t{-1.0, 0.0, 0.5, 2.0, 4.0};
    const int32_t m = 3;
    const std::size_t M = 3;
    std::mt19937 gen(3);
    std::normal_distribution<double> normal;
    Vec p(M * t.size());
    for (double &v : p) v = normal(gen);
    const Vec ti{-3.0, -1.0, -0.25, 0.0, 0.5, 1.7, 2.0, 3.9, 4.0, 6.0};
    const Result r = linear(m, t, p, ti);
    EXPECT_TRUE(r.guards_intact());
    for (std::size_t i = 0; i < ti.size(); ++i) {
        // The interval of ti: the last one whose start is at or below it, the end intervals outside.
        const auto above = std::upper_bound(t.begin(), t.end(), ti[i]) - t.begin();
        const std::size_t l = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(above, 1, 4) - 1);
        const double w = (ti[i] - t[l]) / (t[l + 1] - t[l]);
        for (std::size_t k = 0; k < M; ++k) {
            const double lo = p[l * M + k], hi = p[(l + 1) * M + k];
            EXPECT_NEAR(r.v[i * M + k], lo + w * (hi - lo), 1e-13) << "point " << ti[i] << " component " << k;
        }
    }
}

TEST(InterpLinear, NoPointsWriteNothing) {
    const Result r = linear(2, {0.0, 1.0, 2.0}, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}, {});
    EXPECT_TRUE(r.guards_intact());
}

// ---------------------------------------------------------------- interp_nearest

TEST(InterpNearest, OneComponent) {
    const Result r = nearest_data(1, {0.0, 1.0, 2.0}, {10.0, 20.0, 30.0}, {1.4, 1.5, -5.0, 2.0, 9.0});
    EXPECT_EQ(r.body(), (Vec{20.0, 30.0, 10.0, 30.0, 30.0}));
    EXPECT_TRUE(r.guards_intact());
}

TEST(InterpNearest, WholeColumnsOfADescendingTable) {
    // Columns (1, -1), (2, -2), (3, -3) at t = 3, 2, 1; 2.5 is a tie and takes the lower index.
    const Result r = nearest_data(2, {3.0, 2.0, 1.0}, {1.0, -1.0, 2.0, -2.0, 3.0, -3.0}, {2.5, 0.0, 1.6, 7.0});
    EXPECT_EQ(r.body(), (Vec{1.0, -1.0, 3.0, -3.0, 2.0, -2.0, 1.0, -1.0}));
    EXPECT_TRUE(r.guards_intact());
}

TEST(InterpNearest, SingleDataPointIsRepeated) {
    const Result r = nearest_data(3, {5.0}, {1.0, 2.0, 3.0}, {-1.0, 5.0, 8.0});
    EXPECT_EQ(r.body(), (Vec{1.0, 2.0, 3.0, 1.0, 2.0, 3.0, 1.0, 2.0, 3.0}));
    EXPECT_TRUE(r.guards_intact());
}

// ---------------------------------------------------------------- input checks that end the process

const char kNotIncreasing[] =
    " \n"
    "INTERP_LINEAR - Fatal error!\n"
    "  Independent variable array T_DATA is not strictly increasing.\n";

// Runs `body` in a death-test child with standard output sent to a file,
// expects exit status 1 and returns what the child wrote there.
std::string stdout_of_exit(const std::function<void()> &body) {
    static int serial = 0;
    const std::string path = ::testing::TempDir() + "kestro_interp_stdout_" + std::to_string(getpid()) + "_" +
                             std::to_string(++serial) + ".txt";
    std::remove(path.c_str());
    EXPECT_EXIT(
        {
            if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::_Exit(3);
            body();
            std::_Exit(4);  // not reached when the routine ends the process
        },
        ::testing::ExitedWithCode(1), "");
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    std::remove(path.c_str());
    return out.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(InterpDeathTest, LinearWithAbscissasNotStrictlyAscending) {
    for (const Vec &t : {Vec{0.0, 0.0, 1.0}, Vec{0.0, 1.0, 1.0, 2.0}, Vec{2.0, 1.0, 0.0}, Vec{0.0, 2.0, 1.0, 3.0}}) {
        SCOPED_TRACE(::testing::PrintToString(t));
        const Vec p(t.size(), 1.0);
        EXPECT_EQ(stdout_of_exit([&] { linear(1, t, p, {0.5}); }), kNotIncreasing);
        // The check comes first, points or not.
        EXPECT_EQ(stdout_of_exit([&] { linear(1, t, p, {}); }), kNotIncreasing);
    }
}

TEST(InterpDeathTest, LinearWithFewerThanTwoPoints) {
    for (int32_t n : {1, 0}) {
        SCOPED_TRACE(n);
        const double t = 1.0, p = 2.0, ti = 1.0;
        const int32_t m = 1, ni = 1;
        double out = kFill;
        const auto lines = lines_of(stdout_of_exit([&] { interp_linear_(&m, &n, &t, &p, &ni, &ti, &out); }));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], " ");
        EXPECT_EQ(lines[1], "INTERP_LINEAR - Fatal error!");
        EXPECT_NE(lines[2].find_first_not_of(' '), std::string::npos);
    }
}

TEST(InterpDeathTest, NearestWithoutData) {
    const double t = 1.0, p = 2.0, ti = 1.0;
    const int32_t m = 1, n = 0, ni = 1;
    double out = kFill;
    const auto lines = lines_of(stdout_of_exit([&] { interp_nearest_(&m, &n, &t, &p, &ni, &ti, &out); }));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], " ");
    EXPECT_EQ(lines[1], "INTERP_NEAREST - Fatal error!");
    EXPECT_NE(lines[2].find_first_not_of(' '), std::string::npos);
}

TEST(InterpDeathTest, TableRoutinesOfModuleMathPassTheChecksOn) {
    const double x[] = {0.0, 0.0, 1.0}, y[] = {1.0, 2.0, 3.0}, p = 0.5;
    const int32_t one = 1, none = 0, three = 3;
    double out = kFill;
    EXPECT_EQ(stdout_of_exit([&] { kestro::math::linearinterpolation(&out, x, &three, y, &p, &one); }), kNotIncreasing);
    auto lines = lines_of(stdout_of_exit([&] { kestro::math::linearinterpolation(&out, x, &one, y, &p, &one); }));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "INTERP_LINEAR - Fatal error!");
    lines = lines_of(stdout_of_exit([&] { kestro::math::nearestinterpolation(&out, x, &none, y, &p, &one); }));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "INTERP_NEAREST - Fatal error!");
}

// ---------------------------------------------------------------- Lagrange form, abscissas, resampling

using Abscissas = void (*)(const int32_t *, double *);
using AbscissasAb = void (*)(const double *, const double *, const int32_t *, double *);

Vec abscissas(Abscissas f, int32_t n) {
    Vec x(static_cast<std::size_t>(n) + 2, kFill);
    f(&n, x.data());
    EXPECT_EQ(x[static_cast<std::size_t>(n)], kFill);
    return {x.begin(), x.begin() + n};
}

Vec abscissas_ab(AbscissasAb f, double a, double b, int32_t n) {
    Vec x(static_cast<std::size_t>(n) + 2, kFill);
    f(&a, &b, &n, x.data());
    EXPECT_EQ(x[static_cast<std::size_t>(n)], kFill);
    return {x.begin(), x.begin() + n};
}

void expect_near(const Vec &got, const Vec &want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "entry " << i;
}

TEST(InterpAbscissas, KnownPointsOnTheReferenceInterval) {
    const double h = std::sqrt(0.5);
    const std::vector<std::tuple<const char *, Abscissas, int32_t, Vec>> cases{
        {"cc", cc_abscissas_, 1, {0.0}},
        {"cc", cc_abscissas_, 3, {-1.0, 0.0, 1.0}},
        {"cc", cc_abscissas_, 5, {-1.0, -h, 0.0, h, 1.0}},
        {"f1", f1_abscissas_, 1, {0.0}},
        {"f1", f1_abscissas_, 2, {-h, h}},
        {"f2", f2_abscissas_, 1, {0.0}},
        {"f2", f2_abscissas_, 3, {-h, 0.0, h}},
        {"ncc", ncc_abscissas_, 1, {0.0}},
        {"ncc", ncc_abscissas_, 3, {-1.0, 0.0, 1.0}},
        {"nco", nco_abscissas_, 1, {0.0}},
        {"nco", nco_abscissas_, 3, {-0.5, 0.0, 0.5}},
    };
    for (const auto &[name, f, n, want] : cases) {
        SCOPED_TRACE(std::string(name) + " n=" + std::to_string(n));
        expect_near(abscissas(f, n), want, 1e-15);
    }
    // Fejer type 2 with two points is exact on [-1, 1], and only there.
    EXPECT_EQ(abscissas(f2_abscissas_, 2), (Vec{-0.5, 0.5}));
    const Vec mapped = abscissas_ab(f2_abscissas_ab_, -1.0, 1.0, 2);
    EXPECT_NEAR(mapped[0], -0.5, 1e-15);
    EXPECT_NEAR(mapped[1], 0.5, 1e-15);
}

TEST(InterpAbscissas, MappedOntoAnIntervalAndAscending) {
    const std::vector<std::tuple<const char *, AbscissasAb, Abscissas>> families{
        {"cc", cc_abscissas_ab_, cc_abscissas_},
        {"f1", f1_abscissas_ab_, f1_abscissas_},
        {"f2", f2_abscissas_ab_, f2_abscissas_},
        {"ncc", ncc_abscissas_ab_, ncc_abscissas_},
        {"nco", nco_abscissas_ab_, nco_abscissas_},
    };
    expect_near(abscissas_ab(ncc_abscissas_ab_, 0.0, 4.0, 5), {0.0, 1.0, 2.0, 3.0, 4.0}, 0.0);
    expect_near(abscissas_ab(nco_abscissas_ab_, 0.0, 4.0, 3), {1.0, 2.0, 3.0}, 0.0);
    for (const auto &[name, ab, ref] : families) {
        SCOPED_TRACE(name);
        EXPECT_NEAR(abscissas_ab(ab, 2.0, 4.0, 1)[0], 3.0, 1e-15);
        for (int32_t n : {4, 7, 12}) {
            const Vec u = abscissas(ref, n), x = abscissas_ab(ab, 2.0, 5.0, n);
            for (int32_t i = 0; i < n; ++i) EXPECT_NEAR(x[i], 3.5 + 1.5 * u[i], 1e-14) << "n " << n << " i " << i;
            EXPECT_TRUE(std::is_sorted(x.begin(), x.end()));
            EXPECT_GE(x.front(), 2.0);
            EXPECT_LE(x.back(), 5.0);
        }
    }
}

TEST(InterpLagrange, ThroughEveryPointAndBeyond) {
    // p(t) = t^2 + t + 1 and 2 - t through (0, 1), (1, 3), (2, 7) / (0, 2), (1, 1), (2, 0).
    const Vec t{0.0, 1.0, 2.0}, p{1.0, 2.0, 3.0, 1.0, 7.0, 0.0}, ti{3.0, 0.5, 1.0, -1.0};
    const int32_t m = 2, nd = 3, ni = 4;
    Result r(m, ni);
    interp_lagrange_(&m, &nd, t.data(), p.data(), &ni, ti.data(), r.v.data());
    EXPECT_TRUE(r.guards_intact());
    expect_near(r.body(), {13.0, -1.0, 1.75, 1.5, 3.0, 1.0, 1.0, 3.0}, 1e-14);
    // The basis is the Kronecker delta at the nodes and sums to one anywhere.
    Vec l(9, kFill);
    lagrange_value_(&nd, t.data(), &nd, t.data(), l.data());
    expect_near(l, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.0);
    const double at = 7.3;
    const int32_t one = 1;
    lagrange_value_(&nd, t.data(), &one, &at, l.data());
    EXPECT_NEAR(l[0] + l[1] + l[2], 1.0, 1e-13);
}

TEST(InterpParameterize, ArcLengthAndIndex) {
    const Vec p{0.0, 0.0, 3.0, 4.0, 3.0, 5.0};
    const int32_t m = 2, n = 3, none = 0;
    Vec t(5, kFill);
    parameterize_arc_length_(&m, &n, p.data(), t.data());
    EXPECT_EQ(t, (Vec{0.0, 5.0, 6.0, kFill, kFill}));
    parameterize_index_(&m, &n, nullptr, t.data());
    EXPECT_EQ(t, (Vec{0.0, 1.0, 2.0, kFill, kFill}));
    std::fill(t.begin(), t.end(), kFill);
    parameterize_arc_length_(&m, &none, p.data(), t.data() + 1);
    EXPECT_EQ(t, Vec(5, kFill));
}

TEST(InterpExpand, VectorRefinementWithAndWithoutExtension) {
    struct Case {
        Vec x;
        int32_t before, fat, after;
        Vec plain, extended;  // r8vec_expand_linear, r8vec_expand_linear2
    };
    const std::vector<Case> cases{
        {{0.0, 3.0}, 1, 2, 1, {0.0, 1.0, 2.0, 3.0}, {-1.0, 0.0, 1.0, 2.0, 3.0, 4.0}},
        {{0.0, 2.0, 6.0}, 0, 1, 2, {0.0, 1.0, 2.0, 4.0, 6.0}, {0.0, 1.0, 2.0, 4.0, 6.0, 8.0, 10.0}},
        // More points before than an interval holds reach further left.
        {{1.0, 2.0}, 3, 0, 0, {1.0, 2.0}, {-2.0, -1.0, 0.0, 1.0, 2.0}},
        {{5.0}, 0, 3, 0, {5.0}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.x));
        const int32_t n = size_of(c.x);
        Vec out(c.plain.size() + 4, kFill);
        r8vec_expand_linear_(&n, c.x.data(), &c.fat, out.data() + 2);
        expect_near({out.begin() + 2, out.end() - 2}, c.plain, 1e-15);
        EXPECT_EQ(out[0], kFill);
        EXPECT_EQ(out[out.size() - 2], kFill);
        if (n < 2) continue;
        out.assign(c.extended.size() + 4, kFill);
        r8vec_expand_linear2_(&n, c.x.data(), &c.before, &c.fat, &c.after, out.data() + 2);
        expect_near({out.begin() + 2, out.end() - 2}, c.extended, 1e-15);
        EXPECT_EQ(out[1], kFill);
        EXPECT_EQ(out[out.size() - 2], kFill);
    }
    // No points, or a negative refinement: nothing is written.
    const double x[] = {1.0, 2.0};
    for (const auto &[n, fat] : std::vector<std::pair<int32_t, int32_t>>{{0, 2}, {-1, 0}, {2, -1}, {2, -3}}) {
        Vec out(6, kFill);
        r8vec_expand_linear_(&n, x, &fat, out.data() + 3);
        EXPECT_EQ(out, Vec(6, kFill)) << "n " << n << " fat " << fat;
    }
}

TEST(InterpExpand, BilinearResamplingOfAMatrix) {
    const Vec a{0.0, 2.0, 1.0, 3.0};  // [[0, 1], [2, 3]] column-major
    const int32_t m = 2, n = 2;
    const auto resample = [&](int32_t m2, int32_t n2) {
        Vec out(static_cast<std::size_t>(m2 * n2) + 2, kFill);
        r8mat_expand_linear2_(&m, &n, a.data(), &m2, &n2, out.data());
        EXPECT_EQ(out[static_cast<std::size_t>(m2 * n2)], kFill);
        return Vec(out.begin(), out.end() - 2);
    };
    // a2(i, j) = 2 r + s on the unit square.
    expect_near(resample(3, 3), {0.0, 1.0, 2.0, 0.5, 1.5, 2.5, 1.0, 2.0, 3.0}, 1e-15);
    expect_near(resample(1, 1), {1.5}, 1e-15);
    expect_near(resample(2, 3), {0.0, 2.0, 0.5, 2.5, 1.0, 3.0}, 1e-15);
    // A 3 x 3 source: the row bracket moves to the second interval past r = 0.5.
    const Vec b{0, 1, 4, 0, 1, 4, 0, 1, 4};  // rows 0, 1, 4
    const int32_t three = 3, m2 = 5, n2 = 1;
    Vec out(5, kFill);
    r8mat_expand_linear2_(&three, &three, b.data(), &m2, &n2, out.data());
    expect_near(out, {0.0, 0.5, 1.0, 2.5, 4.0}, 1e-15);
}

TEST(InterpTimestamp, TwelveHourClockAndTheDayHalf) {
    const auto line = [](int hour, int minute, int second, int ms) {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 7;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        return kestro::format::timestamp(t, ms);
    };
    EXPECT_EQ(line(0, 5, 9, 7), " 7 December 2026   0:05:09.007 AM");
    EXPECT_EQ(line(11, 59, 59, 999), " 7 December 2026  11:59:59.999 AM");
    EXPECT_EQ(line(12, 0, 0, 500), " 7 December 2026  12:00:00.500 Noon");
    EXPECT_EQ(line(12, 0, 1, 0), " 7 December 2026  12:00:01.000 PM");
    EXPECT_EQ(line(12, 30, 0, 0), " 7 December 2026  12:30:00.000 PM");
    EXPECT_EQ(line(23, 1, 2, 3), " 7 December 2026  11:01:02.003 PM");
}

TEST(InterpDeathTest, TimestampPrintsOneLine) {
    const std::string out = stdout_of_exit([] {
        interp_timestamp_();
        std::_Exit(1);
    });
    EXPECT_TRUE(std::regex_match(
        out, std::regex(R"([ 0-9]\d [A-Z][a-z]+ \d{4} +[ 0-9]\d:\d\d:\d\d\.\d{3} (AM|PM|Noon)\n)")))
        << out;
}

TEST(InterpDeathTest, PackageInputChecks) {
    double x[4] = {};
    const double a = 0.0, b = 1.0;
    const int32_t zero = 0, one = 1, two = 2, negative = -3;
    const std::vector<std::tuple<std::function<void()>, const char *, const char *>> cases{
        {[&] { cc_abscissas_(&zero, x); }, "CC_ABSCISSA", "  N < 1."},
        {[&] { cc_abscissas_ab_(&a, &b, &negative, x); }, "CC_ABSCISSAS_AB", "  N < 1."},
        {[&] { f1_abscissas_(&zero, x); }, "F1_ABSCISSAS", "  N < 1."},
        {[&] { f1_abscissas_ab_(&a, &b, &zero, x); }, "F1_ABSCISSAS_AB", "  N < 1."},
        {[&] { f2_abscissas_(&zero, x); }, "F2_ABSCISSAS", "  N < 1."},
        {[&] { f2_abscissas_ab_(&a, &b, &zero, x); }, "F2_ABSCISSAS_AB", "  N < 1."},
        {[&] { ncc_abscissas_(&zero, x); }, "NCC_ABSCISSAS", "  N < 1."},
        {[&] { ncc_abscissas_ab_(&a, &b, &zero, x); }, "NCC_ABSCISSAS_AB", "  N < 1."},
        {[&] { nco_abscissas_(&zero, x); }, "NCO_ABSCISSAS", "  N < 1."},
        {[&] { nco_abscissas_ab_(&a, &b, &zero, x); }, "NCO_ABSCISSAS_AB", "  N < 1."},
        {[&] { r8vec_expand_linear2_(&one, x, &one, &one, &one, x + 1); }, "R8VEC_EXPAND_LINEAR2", "  N < 2."},
        {[&] { r8mat_expand_linear2_(&one, &two, x, &two, &two, x); }, "R8MAT_EXPAND_LINEAR2",
         "  M < 2 or N < 2."},
        {[&] { r8mat_expand_linear2_(&two, &one, x, &two, &two, x); }, "R8MAT_EXPAND_LINEAR2",
         "  M < 2 or N < 2."},
    };
    for (const auto &[call, routine, reason] : cases) {
        SCOPED_TRACE(routine);
        EXPECT_EQ(stdout_of_exit(call), std::string(" \n") + routine + " - Fatal error!\n" + reason + "\n");
    }
}


}  // namespace
