// The fracture-plane search on exposures with known maxima: the stepped sines
// and cosines against the direct ones, and the refined search on a smooth
// peak (also across pi), on two peaks on either side of a kink within one
// scan step, and on a sawtooth whose supremum is the upper side of its jump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "failure/plane_search.hpp"

namespace {

using namespace kestro::failure;
constexpr double kPi = std::numbers::pi, kDegree = kPi / 180.0;

TEST(PlaneSearch, SteppedTurnsStayWithinTenUlpOfTheDirectOnes) {
    for (const double degrees : {0.01, 0.37, 1.0, 4.0, 5.0, 7.3, 30.0, 90.0}) {
        const Search search = plane_scan(degrees * kDegree, false);
        EXPECT_TRUE((search.points - 1) * search.step <= kPi && search.points * search.step > kPi) << degrees;
        double worst = 0.0;
        plane_search::sweep(search, [&](int k, const Turn &t) {
            worst = std::max({worst, std::abs(t.s - std::sin(k * search.step)), std::abs(t.c - std::cos(k * search.step))});
        });
        EXPECT_LE(worst, 1e-14) << degrees;
    }
}

// The angle of the turn (s, c) after the plane at `from`, in [0, period).
double after(double s, double c, double from, double period) {
    const double a = std::fmod(std::atan2(s, c) - from, period);
    return a < 0.0 ? a + period : a;
}

TEST(PlaneSearch, RefinementReachesTheMaximum) {
    // 1 + 0.5 cos 2(theta - x0): one smooth peak.
    const auto wave = [](double x0) {
        return [x0](double s, double c) { return 1.0 + 0.5 * std::cos(2.0 * (std::atan2(s, c) - x0)); };
    };
    // 1 + 0.3 |d| + 0.01 d - 2 d^2, d = sin(theta - k): a dip at the kink k between peaks at
    // d = 0.0775 and -0.0725, of heights 1 + 0.31^2 / 8 and 1 + 0.29^2 / 8.
    const auto kinked = [](double k) {
        return [k](double s, double c) {
            const double d = std::sin(std::atan2(s, c) - k);
            return 1.0 + 0.3 * std::abs(d) + 0.01 * d - 2.0 * d * d;
        };
    };
    // A sawtooth rising from 1 above the cut to 1.5 just below it, and its continuation from above.
    const auto saw = [](double cut) {
        return [cut](double s, double c) { return 1.0 + 0.5 * after(s, c, cut, kPi) / kPi; };
    };
    const auto ramp = [](double cut) {
        return [cut](double s, double c) { return 1.0 + 0.5 * after(s, c, cut, 2.0 * kPi) / kPi; };
    };
    const auto plane = [](double x) { return plane_search::break_along(std::sin(x), std::cos(x)); };
    const auto kinks = [&](double x) {
        plane_search::Kinks k;
        k.at[0] = plane(x);
        k.count = 1;
        return k;
    };
    // Kinks and jumps off the scan points and on them (20 and 120 degrees lie on both scans).
    const double off = 0.9, on = 20.0 * kDegree, cut = 2.2, cut_on = 120.0 * kDegree;
    const double kinked_peak = 1.0 + 0.31 * 0.31 / 8.0, lean = std::asin(0.0775);
    for (const double degrees : {4.0, 5.0}) {
        const Search scan = plane_scan(degrees * kDegree, false), refined = plane_scan(degrees * kDegree, true);
        struct Case {
            const char *what;
            Extremum found;
            double scanned, peak, x;  // the scan's best; the maximum and its angle
        };
        const Case cases[] = {
            {"smooth", maximise(refined, wave(0.7)), maximise(scan, wave(0.7)).y, 1.5, 0.7},
            {"across pi", maximise(refined, wave(kPi - 0.01)), maximise(scan, wave(kPi - 0.01)).y, 1.5, kPi - 0.01},
            {"kink", maximise(refined, kinked(off), kinks(off)), maximise(scan, kinked(off)).y, kinked_peak, off + lean},
            {"kink on a point", maximise(refined, kinked(on), kinks(on)), maximise(scan, kinked(on)).y, kinked_peak,
             on + lean},
            {"jump", maximise(refined, saw(cut), ramp(cut), plane(cut)), maximise(scan, saw(cut)).y, 1.5, cut},
            {"jump on a point", maximise(refined, saw(cut_on), ramp(cut_on), plane(cut_on)),
             maximise(scan, saw(cut_on)).y, 1.5, cut_on},
        };
        for (const Case &c : cases) {
            EXPECT_NEAR(c.found.y, c.peak, 1e-12) << c.what << " " << degrees;
            EXPECT_GE(c.found.y, c.scanned) << c.what << " " << degrees;
            const double miss = std::abs(c.found.x - c.x);
            EXPECT_LT(std::min(miss, kPi - miss), 1e-6) << c.what << " " << degrees;
        }
    }
}

}  // namespace
