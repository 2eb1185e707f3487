// The search for the plane angle in [0, pi] that maximises a fracture-plane
// exposure: a scan of fixed step whose sines and cosines are stepped by a
// rotation, and, when asked, a refinement of the scan's peaks by golden
// sections with parabolic steps (Brent's method).  Everything lives on the
// stack; the exposure is a callable of (sin theta, cos theta) inlined into
// the loops.  The exposures are periodic in pi (the planes at theta and
// theta + pi are one plane), so the refinement may cross pi and reports the
// angle brought back into [0, pi].
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <type_traits>

namespace kestro::failure {

// How a fracture plane is searched: `points` scan angles 0, step, ...,
// (points - 1) step within [0, pi], the step's rotation (alpha = 2 sin^2(step /
// 2), beta = sin(step)), and whether the scan's peaks are refined.
struct Search {
    double step, alpha, beta;
    int32_t points;
    bool golden;
};

// Sine and cosine of an angle.
struct Turn {
    double s, c;

    static Turn of(double angle) { return {std::sin(angle), std::cos(angle)}; }
    // Of an angle within kSmallTurn: the Taylor polynomials, whose first
    // neglected terms lie below 1e-18.
    static Turn small(double a) {
        const double q = a * a;
        return {a * (1.0 - q / 6.0 * (1.0 - q / 20.0 * (1.0 - q / 42.0 * (1.0 - q / 72.0 * (1.0 - q / 110.0))))),
                1.0 - q / 2.0 * (1.0 - q / 12.0 * (1.0 - q / 30.0 * (1.0 - q / 56.0 * (1.0 - q / 90.0 * (1.0 - q / 132.0)))))};
    }
    // This turn rotated by the step of rotation (alpha, beta).
    Turn rotated(double alpha, double beta) const { return {s - (alpha * s - beta * c), c - (alpha * c + beta * s)}; }
    // This turn rotated by the turn r.
    Turn turned(const Turn &r) const { return {s * r.c + c * r.s, c * r.c - s * r.s}; }
};

inline constexpr double kSmallTurn = 0.2;

// The scan for a step of `step` radians.
inline Search plane_scan(double step, bool golden) {
    const Turn t = 0.5 * step <= kSmallTurn ? Turn::small(0.5 * step) : Turn::of(0.5 * step);
    const double half = t.s, cosine = t.c;
    const double pi = std::numbers::pi;
    auto points = static_cast<int32_t>(std::floor(pi / step)) + 1;
    while (points > 1 && (points - 1) * step > pi) --points;
    while (points * step <= pi) ++points;
    return {step, 2.0 * half * half, 2.0 * half * cosine, points, golden};
}

// Stepped turns drift from the direct values by about an ulp per step; they
// are taken anew every kReseed steps, which keeps them within 1e-15.
inline constexpr int32_t kReseed = 64;

struct Extremum {
    double x, y;
};

namespace plane_search {

inline constexpr double kPi = std::numbers::pi;

// Visits the scan angles k step, k = 0 ... points - 1: visit(k, turn), the
// turns stepped by the rotation and taken anew every kReseed steps; after
// each such block of angles [from, to), done(from, to).
template <class V, class D>
[[gnu::always_inline]] inline void sweep(const Search &search, V &&visit, D &&done) {
    const int32_t n = search.points;
    for (int32_t k = 0; k < n;) {
        Turn turn = k == 0 ? Turn{0.0, 1.0} : Turn::of(k * search.step);
        const int32_t from = k, end = n - k > kReseed ? k + kReseed : n;
        for (; k < end; ++k) {
            visit(k, turn);
            turn = turn.rotated(search.alpha, search.beta);
        }
        done(from, end);
    }
}
template <class V>
[[gnu::always_inline]] inline void sweep(const Search &search, V &&visit) {
    sweep(search, visit, [](int32_t, int32_t) {});
}

// A point of the search: angle and value.
struct Point {
    double x, y;
};

// Brent's search stops after a parabolic step below kSettled through points
// x, w, v within kNearby of each other and with |x - w| |x - v| below kClose:
// the vertex of a parabola through points that near a smooth maximum lies
// within about that product (times a third over a second derivative, of
// order 1) of it, and the exposure there is about 1e-16 of itself below its
// maximum.  (Points near each other only: the parabola through x, a point
// next to it and a far one would stop at any level point, a dip included.)
inline constexpr double kSettled = 1e-7, kClose = 1e-8, kNearby = 1e-3;

// Brent's search for the largest f in [a, b] from the best point x and the
// points w (second best) and v; all three may coincide, and e is the width
// a first parabolic step must stay below twice.  Parabolic steps through x,
// w, v where they are safe, golden sections where they are not; it stops when
// the bracket has shrunk to 4 tol around x, or after the parabolic steps have
// settled.  A value that is not a number counts as the worst.
template <class F>
Point refine(F &&f, double a, double b, Point x, Point w, Point v, double e, double tol) {
    constexpr double kGolden = 0.3819660112501051;  // (3 - sqrt 5) / 2
    constexpr int kMostSteps = 100;
    double d = e;
    for (int step = 0; step < kMostSteps; ++step) {
        const double middle = 0.5 * (a + b), tol2 = 2.0 * tol;
        if (std::abs(x.x - middle) <= tol2 - 0.5 * (b - a)) break;
        bool parabolic = false;
        if (std::abs(e) > tol) {
            const double r = (x.x - w.x) * (x.y - v.y);
            double q = (x.x - v.x) * (x.y - w.y);
            double p = (x.x - v.x) * q - (x.x - w.x) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::abs(q);
            const double before = e;
            e = d;
            // Smaller than half the step before last, and inside the bracket
            // (written so that a NaN takes the golden section).
            if (std::abs(p) < std::abs(0.5 * q * before) && p > q * (a - x.x) && p < q * (b - x.x)) {
                d = p / q;
                const double to_w = std::abs(x.x - w.x), to_v = std::abs(x.x - v.x);
                if (std::abs(d) < kSettled && to_w < kNearby && to_v < kNearby && to_w * to_v < kClose) {
                    const double fu = f(x.x + d);
                    if (fu > x.y) x = {x.x + d, fu};
                    break;
                }
                const double u = x.x + d;
                if (u - a < tol2 || b - u < tol2) d = std::copysign(tol, middle - x.x);
                parabolic = true;
            }
        }
        if (!parabolic) {
            e = x.x >= middle ? a - x.x : b - x.x;
            d = kGolden * e;
        }
        const double u = std::abs(d) >= tol ? x.x + d : x.x + std::copysign(tol, d);
        const double fu = f(u);
        if (fu >= x.y) {
            (u >= x.x ? a : b) = x.x;
            v = w;
            w = x;
            x = {u, fu};
        } else {
            (u < x.x ? a : b) = u;
            if (fu >= w.y || w.x == x.x) {
                v = w;
                w = {u, fu};
            } else if (fu >= v.y || v.x == x.x || v.x == w.x) {
                v = {u, fu};
            }
        }
    }
    return x;
}

// The refinement's width: 4e-10 radians, well below what a value can resolve
// at a smooth maximum and small enough at a kink.
inline constexpr double kTolerance = 1e-10;

// A peak of the scan: its best point `top` within the bracket [low, high]
// of its neighbours (an end of a stretch is its own neighbour), and the
// height the parabola through it and its neighbours promises.
struct Peak {
    Point low, top, high;
    double height;

    // The vertex value of the parabola through a, b, c (ascending angles)
    // where it opens downwards with the vertex in [from, to]; else `top`.
    static double height_of(Point a, Point b, Point c, double from, double to, double top) {
        if (!(std::isfinite(a.y) && std::isfinite(c.y))) return top;
        const double slope_ab = (b.y - a.y) / (b.x - a.x), slope_bc = (c.y - b.y) / (c.x - b.x);
        const double curvature = (slope_bc - slope_ab) / (c.x - a.x);
        if (!(curvature < 0.0)) return top;
        const double slope_b = slope_ab + curvature * (b.x - a.x);  // the parabola's slope at b
        const double vertex = b.x - slope_b / (2.0 * curvature);
        if (!(vertex >= from && vertex <= to)) return top;
        return b.y - slope_b * slope_b / (4.0 * curvature);
    }
};

// A peak is refined when its parabola reaches this close to the highest
// refined so far: the parabolas of a coarse scan misjudge the heights of
// peaks by far less.
inline constexpr double kOtherPeak = 0.02;

// The highest peaks by their parabolas, highest first.
struct PeakList {
    static constexpr int kKept = 4;
    Peak peaks[kKept]{};
    int count = 0;

    void add(const Peak &p) {
        int i = kKept - 1;
        if (count < kKept)
            i = count++;
        else if (!(p.height > peaks[i].height))
            return;
        for (; i > 0 && p.height > peaks[i - 1].height; --i) peaks[i] = peaks[i - 1];
        peaks[i] = p;
    }
};

// The bracket of a peak searched by Brent's method.
template <class F>
Point refine(F &&f, const Peak &p) {
    const bool up = p.high.y > p.low.y;
    return refine(f, p.low.x, p.high.x, p.top, up ? p.high : p.low, up ? p.low : p.high, p.high.x - p.low.x,
                  kTolerance);
}

// An angle of the search brought into [0, pi].
inline double plane_angle(double x) {
    while (x > kPi) x -= kPi;
    return x < 0.0 ? x + kPi : x;
}

// A plane where the exposure is not smooth: its angle in [0, pi) and its
// turn; `low` and `high` are the exposure there as the start of the stretch
// above it and as the end of the stretch below it (they differ at a jump).
struct Break {
    double x, s, c, low, high;
};

// The break along the plane normal (0, s, c) (any length but 0).
inline Break break_along(double s, double c) {
    const double length = std::sqrt(s * s + c * c);
    if (s < 0.0 || (s == 0.0 && c < 0.0)) {  // the same plane, its angle in [0, pi)
        s = -s;
        c = -c;
    }
    s /= length;
    c /= length;
    return {std::atan2(s, c), s, c, 0.0, 0.0};
}

inline constexpr int kMostBreaks = 2;

// The planes where the exposure is continuous but not smooth.
struct Kinks {
    Break at[kMostBreaks];
    int count = 0;
};

// An exposure with the sign of the quantity whose sign chooses its branch
// (where that sign changes between two scan points, the point between them
// where it changes by linear interpolation splits the stretch as a break does).
struct Sided {
    double y, side;
};
inline double value_of(double y) { return y; }
inline double value_of(const Sided &v) { return v.y; }
inline double side_of(double) { return 0.0; }
inline double side_of(const Sided &v) { return v.side; }

// The scan with the refinement of its peaks.  The breaks (ascending; the
// jump, when `jump`, the first) split [0, pi] into stretches searched each on
// its own, ends included; scan points within 1e-9 of a break count for the
// scan's best only, and so does the last point when it is pi (the plane of
// 0).  `smooth` is the exposure continued from above the jump across the
// period (the exposure itself without a jump).
template <class F, class G>
[[gnu::always_inline]] inline Extremum scan_and_refine(const Search &search, F &&exposure, G &&smooth,
                                                       const Break *breaks, std::size_t count, bool jump) {
    constexpr double kNear = 1e-9;
    const double h = search.step;
    const int32_t n = search.points;
    const double cut = jump ? breaks[0].x : -1.0;
    double best = 0.0;
    int32_t at = 0;
    // The exposure of a stretch (below the jump, the continuation a period
    // on), the turn near the point refined from by a small turn.
    double origin = 0.0;
    Turn origin_turn{0.0, 1.0};
    const auto at_angle = [&](double u) {
        const double d = u - origin;
        const Turn t = std::abs(d) <= kSmallTurn ? origin_turn.turned(Turn::small(d)) : Turn::of(u);
        return value_of(u < cut ? smooth(-t.s, -t.c) : smooth(t.s, t.c));
    };
    const auto refine_peak = [&](const Peak &p) {
        origin = p.top.x;
        origin_turn = Turn::of(origin);
        return refine(at_angle, p);
    };
    if (n < 3) {  // a step of 90 degrees or more: the whole period around the best point
        Point top = jump ? Point{cut, breaks[0].low} : Point{0.0, 0.0};
        sweep(search, [&](int32_t k, const Turn &t) __attribute__((always_inline)) {
            const double y = value_of(exposure(t.s, t.c));
            if (y > best) {
                best = y;
                at = k;
            }
            if (y > top.y || (k == 0 && !jump)) top = {k * h < cut ? k * h + kPi : k * h, y};
        });
        const double a = jump ? cut : top.x - 0.5 * kPi, b = jump ? cut + kPi : top.x + 0.5 * kPi;
        const Point found = refine(at_angle, a, b, top, top, top, 0.0, kTolerance);
        return found.y > best ? Extremum{plane_angle(found.x), found.y} : Extremum{at * h, best};
    }
    // The peaks of the points in ascending angle: a point above the one
    // before it and not below the one after it.  The stretches between breaks
    // are runs of points with nothing (minus infinity) before their start and
    // after their end, so that an end above its neighbour is a peak; the first
    // run, from 0, has a start that is no end (plus infinity before it): at pi
    // the last stretch goes on with the points from 0, a period on, up to the
    // first break.  The three latest points, and whether the run's start waits
    // for a third point for its parabola, live in locals.
    constexpr double kNothing = -HUGE_VAL;
    PeakList peaks;
    Point earlier{0.0, HUGE_VAL}, before{0.0, HUGE_VAL}, latest{0.0, HUGE_VAL}, lead[2]{}, first_break{};
    Peak start{};
    int leading = 0;
    bool broken = false, pending = false;
    const auto point = [&](Point p) __attribute__((always_inline)) {
        if (pending) [[unlikely]] {  // a start above the point after it: its parabola with this point
            pending = false;
            peaks.add({start.low, start.top, start.high,
                       Peak::height_of(start.top, start.high, p, start.top.x, start.high.x, start.top.y)});
        }
        if (latest.y > before.y && latest.y >= p.y) [[unlikely]] {
            if (before.y == kNothing) {  // a stretch's start: its parabola waits for the next point
                start = {latest, latest, p, latest.y};
                pending = true;
            } else if (p.y == kNothing) {  // a stretch's end
                peaks.add({before, latest, latest,
                           Peak::height_of(earlier, before, latest, before.x, latest.x, latest.y)});
            } else {
                peaks.add({before, latest, p, Peak::height_of(before, latest, p, before.x, p.x, latest.y)});
            }
        }
        earlier = before;
        before = latest;
        latest = p;
        if (!broken && leading < 2) [[unlikely]]
            lead[leading++] = p;
    };
    // A break at x: the stretch below ends with `high`, the next starts with `low`.
    const auto split = [&](double x, double low, double high) __attribute__((always_inline)) {
        if (!broken) first_break = {x, high};
        broken = true;
        point({x, high});
        point({x, kNothing});
        before = {x, kNothing};
        latest = {x, low};
    };
    const int32_t last = (n - 1) * h > kPi - kNear * h ? n - 1 : n;  // the points short of pi
    std::size_t passed = 0;                                           // the breaks below the point
    double next = count > 0 ? breaks[0].x - kNear : HUGE_VAL;         // where the next break is near
    double side = 0.0, first_side = 0.0;                              // the branch before, and at 0
    // Where the branch changes between the points at a and b (signs before
    // and now), a break at the change by linear interpolation, unless one is near.
    const auto branch_change = [&](double a, double b, double before_side, double now) __attribute__((always_inline)) {
        const double z = b - (b - a) * now / (now - before_side);
        const bool near = !(z > a + kNear && z < b - kNear) ||
                          (passed < count && std::abs(z - breaks[passed].x) <= kNear) ||
                          (passed > 0 && std::abs(z - breaks[passed - 1].x) <= kNear);
        for (; passed < count && breaks[passed].x < z; ++passed)
            split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
        next = passed < count ? breaks[passed].x - kNear : HUGE_VAL;
        if (near) return;
        const double v = at_angle(z);
        split(z, v, v);
    };
    // The values of a block of angles first, as the scan alone takes them;
    // then their peaks.
    constexpr bool kSided = std::is_same_v<std::decay_t<decltype(exposure(0.0, 1.0))>, Sided>;
    double values[kReseed], sides[kSided ? kReseed : 1];
    const auto evaluate = [&](int32_t k, const Turn &t) __attribute__((always_inline)) {
        const auto sample = exposure(t.s, t.c);
        const double y = value_of(sample);
        if (y > best) {
            best = y;
            at = k;
        }
        values[k & (kReseed - 1)] = y;
        if constexpr (kSided) sides[k & (kReseed - 1)] = side_of(sample);
    };
    const auto find = [&](int32_t from, int32_t to) __attribute__((always_inline)) {
        for (int32_t k = from; k < to && k < last; ++k) {
            const double y = values[k - from], x = k * h;
            if constexpr (kSided) {
                const double now = sides[k - from];
                if (k == 0) first_side = now;
                if (now * side < 0.0) [[unlikely]]
                    branch_change(x - h, x, side, now);
                side = now;
            }
            if (x >= next) [[unlikely]] {  // at or past a break
                for (; passed < count && x > breaks[passed].x + kNear; ++passed)
                    split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
                next = passed < count ? breaks[passed].x - kNear : HUGE_VAL;
                if (x >= next) continue;  // on it
            }
            point({x, y});
        }
    };
    sweep(search, evaluate, find);
    for (; passed < count; ++passed) split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
    if (first_side * side < 0.0) branch_change((last - 1) * h, kPi, side, first_side);  // before pi
    // At pi: the last stretch goes on with the first points a period on, up to
    // the first break (whose own test as an end the first stretch made where a
    // point came before it); then a start still waiting for its parabola settles.
    const bool split_at_all = broken;
    broken = true;
    for (int i = 0; i < leading; ++i) point({lead[i].x + kPi, lead[i].y});
    if (split_at_all && leading < 2) {
        point({first_break.x + kPi, first_break.y});
        if (leading == 0) point({first_break.x + kPi, kNothing});
    }
    point({0.0, HUGE_VAL});
    Extremum result{at * h, best};
    const auto take = [&](const Point &p) {
        if (p.y > result.y) result = {plane_angle(p.x), p.y};
    };
    for (int i = 0; i < peaks.count; ++i)
        if (i == 0 || peaks.peaks[i].height >= (1.0 - kOtherPeak) * result.y) take(refine_peak(peaks.peaks[i]));
    return result;
}

}  // namespace plane_search

// The largest exposure(sin theta, cos theta) over theta in [0, pi] and its
// angle by the scan: the first of equal largest values, 0 at theta 0 when
// none exceeds 0.
template <class F>
[[gnu::always_inline]] inline Extremum scan(const Search &search, F &&exposure) {
    double best = 0.0;
    int32_t at = 0;
    plane_search::sweep(search, [&](int32_t k, const Turn &t) __attribute__((always_inline)) {
        const double y = plane_search::value_of(exposure(t.s, t.c));
        if (y > best) {
            best = y;
            at = k;
        }
    });
    return {at * search.step, best};
}

// The largest exposure over the plane angles of the search: the scan, then,
// when asked, the refinement of its highest peak (and of the others whose
// parabolas come within kOtherPeak of the best found) between the
// neighbouring scan points, one step on either side; never below the scan's
// best.  The exposure is periodic in
// pi (the planes at theta and theta + pi are one), so a peak at 0 or pi is
// searched across it.  `kinks` are the planes (at most two) where the
// exposure is continuous but not smooth: a peak is searched on either side
// of them, as one scan step may hold a peak on each side.  An exposure may
// also tell its branch (plane_search::Sided).
template <class F>
[[gnu::always_inline]] inline Extremum maximise(const Search &search, F &&exposure,
                                                const plane_search::Kinks &kinks = {}) {
    if (!search.golden) return scan(search, exposure);
    plane_search::Break breaks[plane_search::kMostBreaks]{};
    std::size_t count = 0;
    for (int k = 0; k < kinks.count; ++k) {
        plane_search::Break b = kinks.at[k];
        b.low = b.high = plane_search::value_of(exposure(b.s, b.c));
        std::size_t i = count++;
        for (; i > 0 && breaks[i - 1].x > b.x; --i) breaks[i] = breaks[i - 1];
        breaks[i] = b;
    }
    return plane_search::scan_and_refine(search, exposure, exposure, breaks, count, false);
}

// The same for an exposure that jumps at the plane `jump` and is smooth
// elsewhere, `smooth` being its continuation from above the jump across the
// whole period: the refinement takes the jump's larger side.
template <class F, class G>
[[gnu::always_inline]] inline Extremum maximise(const Search &search, F &&exposure, G &&smooth,
                                                plane_search::Break jump) {
    if (!search.golden) return scan(search, exposure);
    jump.low = plane_search::value_of(smooth(jump.s, jump.c));
    jump.high = plane_search::value_of(smooth(-jump.s, -jump.c));
    return plane_search::scan_and_refine(search, exposure, smooth, &jump, 1, true);
}

}  // namespace kestro::failure
