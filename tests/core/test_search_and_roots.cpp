// Maximum search by reverse communication through the C face, and the root
// finders over C++ callbacks.  The search state lives in heap buffers of exactly
// the documented sizes, so that any access past an entry shows under the
// address sanitizer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decl/math.hpp"
#include "math/math.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro::errorhandling;
using RootFinderTest = SharedState;

constexpr double kPi = 3.141592653589793;
constexpr double kStep = 0.08726646259971647;  // 5 degrees

double hill(double x) { return 5.0 - (x - 1.0) * (x - 1.0); }

struct SearchRun {
    double xi = 0.0, yi = 0.0;
    std::vector<double> evaluated;
};

template <class F>
SearchRun run_search(F f, double xlow, double xup, double dx, int32_t gsflag, int32_t npoints) {
    const auto n = static_cast<std::size_t>(std::max(npoints, 0));
    auto x = std::make_unique<double[]>(n), y = std::make_unique<double[]>(n);
    auto xmove = std::make_unique<double[]>(4), ymove = std::make_unique<double[]>(4);
    auto lplimits = std::make_unique<double[]>(2);
    int32_t increment = -1, proc = -1, xdir = 0;
    kestro_logical1 golden = -1, finish = -1, update = 0;
    IniGoldenSearch(x.get(), y.get(), xmove.get(), lplimits.get(), &increment, &proc, &golden, &finish, &xlow, &xup,
                    &dx, &gsflag, &npoints);
    const double defaultvalue = 0.0;
    SearchRun run;
    while (!finish && run.evaluated.size() < 1000) {
        GSSAFE(&run.xi, &run.yi, &dx, x.get(), y.get(), xmove.get(), ymove.get(), lplimits.get(), &xdir, &increment,
               &proc, &golden, &update, &finish, &defaultvalue, &npoints);
        if (update) {
            run.evaluated.push_back(run.xi);
            run.yi = f(run.xi);
        }
    }
    EXPECT_TRUE(finish);
    return run;
}

// ---------------------------------------------------------------- maximum search

TEST(GoldenSearch, ClosesOnTheParabolaVertexAfterThirteenEvaluations) {
    const SearchRun run = run_search(hill, 0.0, kPi, kStep, 1, 100);
    ASSERT_EQ(run.evaluated.size(), 13u);
    EXPECT_EQ(run.evaluated.back(), run.xi);
    EXPECT_NEAR(run.xi, 1.0, 1e-12);
    EXPECT_NEAR(run.yi, 5.0, 1e-12);
}

TEST(ScanSearch, StepsByRepeatedAdditionUpToTheLastPointNotAboveTheEnd) {
    std::vector<double> expected{0.0};
    while (expected.back() + kStep <= kPi) expected.push_back(expected.back() + kStep);
    const SearchRun run = run_search(hill, 0.0, kPi, kStep, 0, 4);
    EXPECT_EQ(run.evaluated, expected);
    ASSERT_EQ(run.evaluated.size(), 37u);
    EXPECT_EQ(run.evaluated.back(), 3.141592653589791);
    const auto best = std::max_element(expected.begin(), expected.end(),
                                       [](double a, double b) { return hill(a) < hill(b); });
    EXPECT_EQ(run.xi, *best);
    EXPECT_EQ(run.yi, hill(*best));
}

TEST(SearchBounds, StartWritesOnlyTheEntriesThatExist) {
    const double xlow = 1.0, xup = 4.0, dx = 0.1, length = 3.0;
    const double start[4] = {xlow, xup, xlow + length / 2.618033988749895,
                             xlow + length / 2.618033988749895 + length / 2.618033988749895 / 1.618033988749895};
    for (int32_t gsflag : {0, 1})
        for (int32_t n = 0; n <= 5; ++n) {
            auto x = std::make_unique<double[]>(static_cast<std::size_t>(n));
            auto y = std::make_unique<double[]>(static_cast<std::size_t>(n));
            double xmove[4], lplimits[2];
            std::fill_n(x.get(), n, -1.0);
            std::fill_n(y.get(), n, -1.0);
            int32_t incr = -1, subcall = -1;
            kestro_logical1 golden = -1, finish = -1;
            IniGoldenSearch(x.get(), y.get(), xmove, lplimits, &incr, &subcall, &golden, &finish, &xlow, &xup, &dx,
                            &gsflag, &n);
            EXPECT_TRUE(incr == 0 && subcall == 0 && golden == gsflag && finish == 0);
            for (int32_t i = 0; i < n; ++i) {
                EXPECT_EQ(x[i], gsflag == 1 && i < 4 ? start[i] : 0.0) << "gsflag " << gsflag << ", n " << n;
                EXPECT_EQ(y[i], 0.0);
            }
            for (int i = 0; i < 4; ++i) EXPECT_EQ(xmove[i], gsflag == 1 ? start[i] : 0.0);
        }
}

TEST(SearchBounds, FewPointsStayInsideTheirBuffers) {
    const SearchRun golden = run_search(hill, 0.0, kPi, kStep, 1, 100);
    const SearchRun scan = run_search(hill, 0.0, kPi, kStep, 0, 50);
    for (int32_t n = 0; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const SearchRun g = run_search(hill, 0.0, kPi, kStep, 1, n);
        ASSERT_EQ(g.evaluated, std::vector<double>(golden.evaluated.begin(), golden.evaluated.begin() + n));
        if (n > 0) {
            EXPECT_TRUE(g.xi == g.evaluated.back() && g.yi == hill(g.xi));
        }
        const SearchRun s = run_search(hill, 0.0, kPi, kStep, 0, n);
        if (n == 0) {
            EXPECT_TRUE(s.evaluated.empty());  // no slot to keep a result in
            continue;
        }
        EXPECT_EQ(s.evaluated, scan.evaluated);
        EXPECT_TRUE(s.xi == scan.xi && s.yi == scan.yi);
    }
}

TEST(SearchBounds, AStepPastTheLargestStateEnds) {
    double x[2] = {}, y[2] = {}, xmove[4] = {}, ymove[4] = {}, lplimits[2] = {0.0, 1.0}, xi = 0.0, yi = 0.0;
    const double dx = 0.1, defaultvalue = 0.0;
    const int32_t npoints = 2;
    int32_t xdir = 0, increment = 0, proc = INT32_MAX;
    kestro_logical1 golden = 0, update = 0, finish = 0;
    GSSAFE(&xi, &yi, &dx, x, y, xmove, ymove, lplimits, &xdir, &increment, &proc, &golden, &update, &finish,
           &defaultvalue, &npoints);
    EXPECT_TRUE(finish && !update);
    EXPECT_EQ(proc, INT32_MIN);
}

// ---------------------------------------------------------------- root finders

int calls = 0;
int32_t seen_na = -1, seen_nfun = -1;

// f(x) = x^2 - args(1).
void square_minus(double *f, double *df, const double *x, const double *args, const int32_t *na,
                  const int32_t *nfun) {
    ++calls;
    seen_na = *na;
    seen_nfun = *nfun;
    *f = *x * *x - args[0];
    *df = 2.0 * *x;
}

TEST_F(RootFinderTest, BrentAndNewtonOverAFunctionPointer) {
    const auto args = std::make_unique<double[]>(1);
    args[0] = 2.0;
    const double x1 = 0.0, x2 = 2.0, xacc = 1e-12;
    const int32_t na = 1, nfun = 23, enough = 100, eight = 8;
    double root = -1.0;
    int32_t istat = -1;

    calls = 0;
    kestro::math::bdsafe(square_minus, &x1, &x2, &root, args.get(), &xacc, &enough, &na, &nfun, &istat);
    EXPECT_EQ(calls, 9);
    EXPECT_NEAR(root, std::sqrt(2.0), 2e-12);
    EXPECT_TRUE(istat == 0 && errstat == 0 && seen_na == 1 && seen_nfun == 23);

    calls = 0;
    seen_nfun = -1;
    kestro::math::nrsafe(square_minus, &x1, &x2, &root, args.get(), &xacc, &enough, &na, &nfun, &istat);
    EXPECT_NEAR(root, std::sqrt(2.0), 1e-12);
    EXPECT_TRUE(istat == 0 && errstat == 0 && seen_na == 1 && seen_nfun == 23 && calls > 3);

    kestro::math::bdsafe(square_minus, &x1, &x2, &root, args.get(), &xacc, &eight, &na, &nfun, &istat);
    EXPECT_NEAR(root, std::sqrt(2.0), 2e-12);
    EXPECT_EQ(istat, 1);
    EXPECT_EQ(errstat, -1);
    const std::string warning = "Warning in BrentsMethod: Max iterations exceeded.";
    EXPECT_EQ(std::string(errstring, sizeof errstring), warning + std::string(80 - warning.size(), ' '));
}

std::vector<double> expected_tail;  // args(2:na) as the fixed-point function must see them
std::vector<double> iterates;       // fargs(1) of every call
bool tail_intact = true;

// x <- x / 2 + fargs(na): the fixed point is twice the last parameter.
void halve_towards_last(double *xnew, const double *fargs, const int32_t *na, const int32_t * /*nfun*/) {
    iterates.push_back(fargs[0]);
    tail_intact = tail_intact && std::equal(expected_tail.begin(), expected_tail.end(), fargs + 1);
    *xnew = 0.5 * fargs[0] + (*na > 1 ? fargs[*na - 1] : 0.0);
}

TEST_F(RootFinderTest, FixedPointIterationPassesEveryParameterOnEitherSideOfTheStackBuffer) {
    const double xacc = 1e-13;
    const int32_t maxit = 200, nfun = 0;
    for (int32_t na : {0, 1, 2, 63, 64, 65, 100, 511, 512, 513, 1000}) {
        SCOPED_TRACE(na);
        const auto args = std::make_unique<double[]>(static_cast<std::size_t>(na));
        for (int32_t i = 0; i < na; ++i) args[i] = 0.25 * i + 1.0;
        expected_tail.assign(args.get() + std::min(na, 1), args.get() + na);
        iterates.clear();
        tail_intact = true;
        double xs = 3.0;
        int32_t istat = -1;
        kestro::math::fpsafe(halve_towards_last, &xs, na > 0 ? args.get() : nullptr, &xacc, &maxit, &na, &nfun,
                             &istat);
        const double fixed = na > 1 ? 2.0 * args[na - 1] : 0.0;
        EXPECT_NEAR(xs, fixed, 1e-12);
        EXPECT_TRUE(istat == 0 && errstat == 0 && tail_intact);
        ASSERT_GT(iterates.size(), 10u);
        EXPECT_EQ(iterates[0], 3.0);
        for (std::size_t k = 1; k < iterates.size(); ++k)  // each call starts from the previous result
            EXPECT_EQ(iterates[k], 0.5 * iterates[k - 1] + (na > 1 ? args[na - 1] : 0.0));
    }
}

// A function that throws (as the Python layer's trampoline does for a raising
// callable) leaves each finder at once; its work copies are released on the
// way out, which the leak checker of the sanitizer build verifies.
struct Stop {};
int calls_before_stop = 0;

void root_or_stop(double *f, double *df, const double *x, const double *, const int32_t *, const int32_t *) {
    if (--calls_before_stop == 0) throw Stop{};
    *f = *x * *x - 2.0;
    *df = 2.0 * *x;
}

void fixpoint_or_stop(double *xnew, const double *fargs, const int32_t *, const int32_t *) {
    if (--calls_before_stop == 0) throw Stop{};
    *xnew = 0.5 * fargs[0];
}

TEST_F(RootFinderTest, AnExceptionFromTheFunctionLeavesEveryFinder) {
    const double x1 = 0.0, x2 = 2.0, xacc = 1e-12;
    const int32_t maxit = 100, nfun = 0;
    for (int32_t na : {1, 100000}) {  // the parameter copy on the stack, then on the heap
        SCOPED_TRACE(na);
        const std::vector<double> args(static_cast<std::size_t>(na), 1.0);
        double root = -1.0, xs = 1.0;
        int32_t istat = -1;
        for (int stop_at : {1, 3}) {
            calls_before_stop = stop_at;
            EXPECT_THROW(kestro::math::bdsafe(root_or_stop, &x1, &x2, &root, args.data(), &xacc, &maxit, &na,
                                              &nfun, &istat),
                         Stop);
            EXPECT_EQ(calls_before_stop, 0);
            calls_before_stop = stop_at;
            EXPECT_THROW(kestro::math::nrsafe(root_or_stop, &x1, &x2, &root, args.data(), &xacc, &maxit, &na,
                                              &nfun, &istat),
                         Stop);
            EXPECT_EQ(calls_before_stop, 0);
            calls_before_stop = stop_at;
            EXPECT_THROW(kestro::math::fpsafe(fixpoint_or_stop, &xs, args.data(), &xacc, &maxit, &na, &nfun, &istat),
                         Stop);
            EXPECT_EQ(calls_before_stop, 0);
        }
        calls_before_stop = -1;  // never stops: the finders still work afterwards
        kestro::math::bdsafe(root_or_stop, &x1, &x2, &root, args.data(), &xacc, &maxit, &na, &nfun, &istat);
        EXPECT_NEAR(root, std::sqrt(2.0), 1e-11);
        EXPECT_EQ(istat, 0);
    }
}

}  // namespace
