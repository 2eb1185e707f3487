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

namespace kestro::failure {

// How a fracture plane is searched: `points` scan angles 0, step, ...,
// (points - 1) step within [0, pi], the step's rotation (alpha = 2 sin^2(step /
// 2), beta = sin(step)), and whether the best scan point is refined.
struct Search {
    double step, alpha, beta;
    int32_t points;
    bool golden;
};

// The scan for a step of `step` radians.
inline Search plane_scan(double step, bool golden) {
    const double half = std::sin(0.5 * step), cosine = std::cos(0.5 * step);
    const double pi = std::numbers::pi;
    auto points = static_cast<int32_t>(std::floor(pi / step)) + 1;
    while (points > 1 && (points - 1) * step > pi) --points;
    while (points * step <= pi) ++points;
    return {step, 2.0 * half * half, 2.0 * half * cosine, points, golden};
}

// Sine and cosine of an angle.
struct Turn {
    double s, c;

    static Turn of(double angle) { return {std::sin(angle), std::cos(angle)}; }
    // This turn rotated by the step of rotation (alpha, beta).
    Turn rotated(double alpha, double beta) const { return {s - (alpha * s - beta * c), c - (alpha * c + beta * s)}; }
};

// Stepped turns drift from the direct values by about an ulp per step; they
// are taken anew every kReseed steps, which keeps them within 1e-15.
inline constexpr int32_t kReseed = 64;

struct Extremum {
    double x, y;
};

namespace plane_search {

inline constexpr double kPi = std::numbers::pi;

// Visits the scan angles k step, k = 0 ... points - 1: visit(k, turn), the
// turns stepped by the rotation and taken anew every kReseed steps.
template <class V>
[[gnu::always_inline]] inline void sweep(const Search &search, V &&visit) {
    const int32_t n = search.points;
    for (int32_t k = 0; k < n;) {
        Turn turn = k == 0 ? Turn{0.0, 1.0} : Turn::of(k * search.step);
        const int32_t end = n - k > kReseed ? k + kReseed : n;
        for (; k < end; ++k) {
            visit(k, turn);
            turn = turn.rotated(search.alpha, search.beta);
        }
    }
}

// A point of the search: angle and value.
struct Point {
    double x, y;
};

// Brent's search stops early once a parabolic step below kSettled follows
// one below kSettling: the parabola then places the maximum within 1e-7 of
// x, where a smooth exposure is 1e-14 of itself from its maximum.
inline constexpr double kSettled = 1e-7, kSettling = 1e-4;

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
                if (std::abs(d) < kSettled && std::abs(before) < kSettling) {
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
// of its neighbours (an end of an interval is its own neighbour), and the
// height the parabola through the three points promises.
struct Peak {
    Point low, top, high;
    double height;

    // The parabola through three points in ascending angle: its vertex value
    // where it opens downwards with the vertex in [from, to], else `top`'s value.
    static double height_of(Point a, Point b, Point c, double from, double to, double top) {
        const double slope_ab = (b.y - a.y) / (b.x - a.x), slope_bc = (c.y - b.y) / (c.x - b.x);
        const double curvature = (slope_bc - slope_ab) / (c.x - a.x);
        if (!(curvature < 0.0)) return top;
        const double slope_b = slope_ab + curvature * (b.x - a.x);  // the parabola's slope at b
        const double vertex = b.x - slope_b / (2.0 * curvature);
        if (!(vertex >= from && vertex <= to)) return top;
        return b.y - slope_b * slope_b / (4.0 * curvature);
    }
    static Peak inner(Point l, Point m, Point r) { return {l, m, r, height_of(l, m, r, l.x, r.x, m.y)}; }
    // An end point above its neighbour, and the next point inwards.
    static Peak lower_end(Point end, Point next, Point after) {
        return {end, end, next, height_of(end, next, after, end.x, next.x, end.y)};
    }
    static Peak upper_end(Point before, Point next, Point end) {
        return {next, end, end, height_of(before, next, end, next.x, end.x, end.y)};
    }
};

// A second peak is refined too when its parabola reaches this close to the
// first peak's refined height: the parabolas of a coarse scan misjudge the
// heights of two peaks by far less.
inline constexpr double kSecondPeak = 0.02;

// The two highest peaks by their parabolas.
struct Peaks {
    Peak first{}, second{};
    int count = 0;

    void add(const Peak &p) {
        if (count == 0 || p.height > first.height) {
            second = first;
            first = p;
        } else if (count == 1 || p.height > second.height) {
            second = p;
        }
        if (count < 2) ++count;
    }
};

// The peaks of the scan points in ascending angle over [0, pi], split into
// stretches at the breaks: a point above the one before it and not below the
// one after it; a stretch's end when not below (above) its neighbour (the
// higher end of a stretch without scan points).  At pi
// the last stretch goes on with the points from 0, a period on, up to the
// first break.
class PeakFinder {
  public:
    Peaks peaks;

    void point(Point p) {
        feed(p);
        if (!broken_ && leading_ < 2) lead_[leading_++] = p;
    }
    // A break at x: the stretch below ends with `high`, the next starts with `low`.
    void split(double x, double low, double high) {
        stop_at({x, high});
        if (!broken_) first_break_ = {x, high};
        broken_ = true;
        fed_ = 0;
        from_end_ = true;
        feed({x, low});
    }
    void close(double period) {
        for (int i = 0; i < leading_; ++i) feed({lead_[i].x + period, lead_[i].y});
        if (broken_ && leading_ < 2) stop_at({first_break_.x + period, first_break_.y});
    }

  private:
    Point recent_[3]{}, lead_[2]{}, first_break_{};  // recent_[2] the last point fed
    int fed_ = 0, leading_ = 0;
    bool from_end_ = false, broken_ = false;

    void feed(Point p) {
        const Point &before = recent_[1], &last = recent_[2];
        if (fed_ >= 2 && last.y > before.y && last.y >= p.y) peaks.add(Peak::inner(before, last, p));
        if (fed_ == 2 && from_end_ && before.y >= last.y) peaks.add(Peak::lower_end(before, last, p));
        recent_[0] = recent_[1];
        recent_[1] = recent_[2];
        recent_[2] = p;
        if (fed_ < 3) ++fed_;
    }
    void stop_at(Point end) {
        feed(end);
        if (fed_ >= 3 && recent_[2].y > recent_[1].y) peaks.add(Peak::upper_end(recent_[0], recent_[1], recent_[2]));
        if (fed_ == 2 && from_end_) {  // a stretch without scan points: its higher end
            const Point &start = recent_[1], &top = start.y >= end.y ? start : end;
            peaks.add({start, top, end, top.y});
        }
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
// scan's best only, and the last point, when it is pi (the plane of 0), is
// left out.  `smooth` is the exposure continued from above the jump across
// the period (the exposure itself without a jump).
template <class F, class G>
[[gnu::always_inline]] inline Extremum scan_and_refine(const Search &search, F &&exposure, G &&smooth,
                                                       const Break *breaks, std::size_t count, bool jump) {
    constexpr double kNear = 1e-9;
    const double h = search.step;
    const int32_t n = search.points;
    const double cut = jump ? breaks[0].x : -1.0;
    double best = 0.0;
    int32_t at = 0;
    // The exposure of a stretch: below the jump, the continuation a period on.
    const auto at_angle = [&](double u) {
        const Turn t = Turn::of(u);
        return value_of(u < cut ? smooth(-t.s, -t.c) : smooth(t.s, t.c));
    };
    if (n < 3) {  // a step of 90 degrees or more: the whole period around the best point
        Point top = jump ? Point{cut, breaks[0].low} : Point{0.0, 0.0};
        sweep(search, [&](int32_t k, const Turn &t) {
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
    PeakFinder peaks;
    const bool closed = (n - 1) * h > kPi - kNear * h;  // the last angle is pi
    std::size_t passed = 0;                             // the breaks below the point
    double side = 0.0, first_side = 0.0, last = 0.0;    // the branch at the point before and at 0
    // Where the branch changes between the points at a and b (its signs
    // before and now), a break between them, unless one is near.
    const auto branch_change = [&](double a, double b, double before, double now) {
        const double z = b - (b - a) * now / (now - before);
        const bool near = !(z > a + kNear && z < b - kNear) ||
                          (passed < count && std::abs(z - breaks[passed].x) <= kNear) ||
                          (passed > 0 && std::abs(z - breaks[passed - 1].x) <= kNear);
        for (; passed < count && breaks[passed].x < z; ++passed)
            peaks.split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
        if (near) return;
        const double v = at_angle(z);
        peaks.split(z, v, v);
    };
    sweep(search, [&](int32_t k, const Turn &t) {
        const auto sample = exposure(t.s, t.c);
        const double y = value_of(sample), x = k * h;
        if (y > best) {
            best = y;
            at = k;
        }
        if (closed && k == n - 1) return;
        const double now = side_of(sample);
        if (k == 0) first_side = now;
        if (now * side < 0.0) branch_change(x - h, x, side, now);
        side = now;
        last = x;
        for (; passed < count && x > breaks[passed].x + kNear; ++passed)
            peaks.split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
        if (passed < count && x >= breaks[passed].x - kNear) return;  // on a break
        peaks.point({x, y});
    });
    for (; passed < count; ++passed) peaks.split(breaks[passed].x, breaks[passed].low, breaks[passed].high);
    if (first_side * side < 0.0) branch_change(last, kPi, side, first_side);  // between the last point and pi
    peaks.close(kPi);
    Extremum result{at * h, best};
    const auto take = [&](const Point &p) {
        if (p.y > result.y) result = {plane_angle(p.x), p.y};
    };
    const Peaks &found = peaks.peaks;
    if (found.count == 0) return result;
    const Point top = refine(at_angle, found.first);
    take(top);
    if (found.count == 2 && found.second.height >= (1.0 - kSecondPeak) * top.y) take(refine(at_angle, found.second));
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
    plane_search::sweep(search, [&](int32_t k, const Turn &t) {
        const double y = plane_search::value_of(exposure(t.s, t.c));
        if (y > best) {
            best = y;
            at = k;
        }
    });
    return {at * search.step, best};
}

// The largest exposure over the plane angles of the search: the scan, then,
// when asked, the refinement of its highest peak (and of the second where
// its parabola comes close) between the neighbouring scan points, one step
// on either side; never below the scan's best.  The exposure is periodic in
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
