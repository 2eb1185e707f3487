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
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "decl/interp.hpp"
#include "decl/math.hpp"

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

}  // namespace
