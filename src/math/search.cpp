// Maximum search by golden sections closed by a parabola, or by a scan, driven
// by reverse communication: the caller evaluates the function wherever the
// search asks and owns the whole state, so searches need no memory of their
// own and may run side by side.
#include <algorithm>
#include <cmath>

#include "core/errorhandling.hpp"
#include "decl/math.hpp"

namespace {

constexpr double phi = 1.618033988749895;      // the golden ratio
constexpr double phi_sq = 2.618033988749895;   // its square

// 1-based access to the caller's arrays.
struct Golden {
    double *x;
    const double *y;
    double *xmove;
    double *ymove;
    double &a() { return xmove[0]; }
    double &b() { return xmove[1]; }
    double &c() { return xmove[2]; }
    double &d() { return xmove[3]; }
};

// Refuses a negative npoints, or a count of points evaluated outside
// 0 .. last; the routine then writes nothing.
bool refused(const char *routine, int32_t npoints, int32_t increment, int64_t last) {
    if (kestro::negative_count(routine, {npoints})) return true;
    if (increment >= 0 && increment <= last) return false;
    kestro::record_error(-2, kestro::Message() << "Increment outside the search table in " << routine,
                         {increment, npoints});
    return true;
}

}  // namespace

extern "C" {

void IniGoldenSearch(double *x, double *y, double *xmove, double *lplimits, int32_t *incr, int32_t *subcall,
                     kestro_logical1 *golden, kestro_logical1 *finish, const double *xlow, const double *xup,
                     const double *dx, const int32_t *gsflag, const int32_t *npoints) {
    if (kestro::negative_count("IniGoldenSearch", {*npoints})) return;
    *incr = 0;
    *subcall = 0;
    *golden = *gsflag == 1 ? 1 : 0;
    *finish = 0;
    const int32_t n = *npoints;
    std::fill_n(x, n, 0.0);
    std::fill_n(y, n, 0.0);
    double start[4] = {0.0, 0.0, 0.0, 0.0};
    if (*golden) {
        const double length = *xup - *xlow;
        start[0] = *xlow;
        start[1] = *xup;
        start[2] = *xlow + length / phi_sq;
        start[3] = start[2] + (length / phi_sq) / phi;
        lplimits[0] = *dx;
        lplimits[1] = length;
        std::copy_n(start, std::min(n, 4), x);  // only the points that exist
    } else {
        lplimits[0] = *xlow;
        lplimits[1] = *xup;
        std::copy_n(x, std::min(n, 4), start);  // the scan keeps zeros here
    }
    std::copy_n(start, 4, xmove);
}

void GetNextFromGoldenSearch(double *xnext, double *dx, double *x, const double *y, double *xmove, double *ymove,
                             int32_t *xdir, int32_t *increment, const int32_t *npoints) {
    // The point handed out is stored at x(increment + 1).
    if (refused("GetNextFromGoldenSearch", *npoints, *increment, int64_t{*npoints} - 1)) return;
    Golden g{x, y, xmove, ymove};
    const int32_t k = *increment + 1;  // the point to hand out
    if (k <= 4) {
        *xnext = x[k - 1];
        if (k >= 2) ymove[k - 2] = y[k - 2];
        *xdir = 0;
        *increment = k;
        return;
    }
    if (k == 5) ymove[3] = y[3];
    if (*xdir == 1) ymove[3] = y[k - 2];   // the value of the interior point placed last
    if (*xdir == -1) ymove[2] = y[k - 2];
    const double difference = ymove[3] - ymove[2];
    double point = x[k - 1];
    // Ties move up; so does a difference that is not a number, so that the
    // search stays inside its bracket.
    if (!(difference < 0.0)) {  // keep [c, b]
        g.a() = g.c();
        ymove[0] = ymove[2];
        g.c() = g.d();
        ymove[2] = ymove[3];
        const double width = g.b() - g.a();
        point = g.d() + width / phi_sq / phi;
        g.d() = point;
        *dx = width;
        *xdir = 1;
    } else {  // keep [a, d]
        g.b() = g.d();
        ymove[1] = ymove[3];
        g.d() = g.c();
        ymove[3] = ymove[2];
        const double width = g.b() - g.a();
        point = g.a() + width / phi_sq;
        g.c() = point;
        *dx = width;
        *xdir = -1;
    }
    x[k - 1] = point;
    *xnext = point;
    *increment = k;
}

void GetMaximumFromGoldenSearch(double *xmax, const double *y, const double *xmove, const double *ymove,
                                const double * /*defaultvalue*/, const int32_t *xdir, const int32_t *increment,
                                const int32_t *npoints) {
    if (refused("GetMaximumFromGoldenSearch", *npoints, *increment, *npoints)) return;
    const int32_t count = *increment;
    if (count < 5) {
        // The bracket has not been walked yet: the best of the points evaluated.
        int32_t best = 0;
        for (int32_t k = 1; k < std::min(count, 4); ++k)
            if (y[k] > y[best]) best = k;
        *xmax = count >= 1 ? xmove[best] : xmove[0];
        return;
    }
    const double a = xmove[0], b = xmove[1], c = xmove[2], d = xmove[3];
    const double fa = ymove[0], fb = ymove[1];
    const double fc = *xdir == -1 ? y[count - 1] : ymove[2];
    const double fd = *xdir == 1 ? y[count - 1] : ymove[3];
    double ind[6];
    if (fd - fc >= 0.0) {
        const double pts[6] = {c, d, b, fc, fd, fb};
        std::copy_n(pts, 6, ind);
    } else {
        const double pts[6] = {a, c, d, fa, fc, fd};
        std::copy_n(pts, 6, ind);
    }
    double coefficients[3];
    GetParabolaCoefficients(ind, coefficients);
    const double vertex = -coefficients[1] / (2.0 * coefficients[0]);
    // The vertex closes the search only when the parabola opens downwards and
    // the vertex lies in the final bracket; otherwise the best bracket point.
    if (coefficients[0] < 0.0 && vertex >= a && vertex <= b) {
        *xmax = vertex;
        return;
    }
    const double points[4] = {a, b, c, d};
    const double values[4] = {fa, fb, fc, fd};
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (values[k] > values[best]) best = k;
    *xmax = points[best];
}

void GSSAFE(double *xi, double *yi, const double *dx, double *x, double *y, double *xmove, double *ymove,
            double *lplimits, int32_t *xdir, int32_t *increment, int32_t *proc, kestro_logical1 *isgolden,
            kestro_logical1 *update, kestro_logical1 *finish, const double *defaultvalue, const int32_t *npoints) {
    const int32_t n = *npoints;
    if (refused("GSSAFE", n, *increment, n)) return;
    for (;;) {
        *proc = static_cast<int32_t>(static_cast<uint32_t>(*proc) + 1u);  // no state lies past the largest
        *update = 0;
        *finish = 0;
        if (*proc == 1) {
            if (*increment >= n) {  // iteration limit: the last point evaluated
                *proc = -1;
                if (*increment >= 1) *yi = y[*increment - 1];
                *finish = 1;
                return;
            }
            if (*isgolden)
                GetNextFromGoldenSearch(xi, &lplimits[1], x, y, xmove, ymove, xdir, increment, npoints);
            else
                *xi = lplimits[0];
            *update = 1;
            return;
        }
        if (*proc != 2) {  // the call after the closing vertex was evaluated
            *finish = 1;
            return;
        }
        if (*isgolden) {
            if (*increment >= 1) y[*increment - 1] = *yi;
            if (lplimits[0] > lplimits[1]) {
                GetMaximumFromGoldenSearch(xi, y, xmove, ymove, defaultvalue, xdir, increment, npoints);
                *update = 1;
            }
        } else if (n >= 1) {
            if (*yi > y[n - 1]) {  // strictly: the first of equal maxima stays
                y[n - 1] = *yi;
                x[n - 1] = *xi;
            }
            *xi = *xi + *dx;
            lplimits[0] = *xi;
            // A step that does not advance would never reach the end.
            if (*xi > lplimits[1] || !(*dx > 0.0)) {
                *xi = x[n - 1];
                *yi = y[n - 1];
                *finish = 1;
            }
        } else {
            *finish = 1;  // no slot to keep a result in
        }
        if (*update || *finish) return;
        *proc = 0;  // hand out the next point within this call
    }
}

}  // extern "C"
