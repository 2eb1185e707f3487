// Point-in-shape tests (module imageprocessing): a point in space mapped onto
// a turned local plane, and plane coordinates tested against a circle,
// ellipse, square, rectangle, polygon or segment.  Every shape value in
// [0, 1] means in or on the shape.  Called per integration point and region:
// fixed sizes, no allocation.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "core/utility.hpp"
#include "decl/imageprocessing.hpp"
#include "decl/math.hpp"

namespace {

// The shape value's verdict: in or on the shape.
kestro_logical1 inside(double value) {
    const double zero = 0.0, one = 1.0;
    return fBounded(&value, &zero, &one);
}

}  // namespace

extern "C" {

// The components of point - origin along the plane's axes after projection
// onto the plane (along nx x ny), turned by -theta about the plane's normal.
void GetPointOnXYPlane(double *xycoord, const double *point, const double *origin, const double *xyplane,
                       const double *theta) {
    const double *nx = xyplane, *ny = xyplane + 3, *nz = xyplane + 6;
    double d[3], q[3], t[9], c[3];
    for (int i = 0; i < 3; ++i) d[i] = point[i] - origin[i];
    CoordinateProjection(nx, ny, d, q, nullptr);  // d is taken from the origin already
    GetTransformationMatrix(t, nx, ny, nz);
    const int32_t three = 3;
    MatrixVectorProduct(t, q, c, &three, &three);
    const double axis[3] = {0.0, 0.0, 1.0}, angle = *theta * 0.017453292519943295;
    double r[9];
    GetRotationMatrix(r, axis, &angle);  // about the normal, in the plane's own frame
    xycoord[0] = r[0] * c[0] + r[1] * c[1] + r[2] * c[2];  // R^T c
    xycoord[1] = r[3] * c[0] + r[4] * c[1] + r[5] * c[2];
}

double Ellipse(const double *x, const double *y, const double *a, const double *b, const double *xyorigin) {
    const double x0 = xyorigin != nullptr ? xyorigin[0] : 0.0, y0 = xyorigin != nullptr ? xyorigin[1] : 0.0;
    const double u = (*x - x0) / *a, v = (*y - y0) / *b;
    return u * u + v * v;
}

double Rectangle(const double *x, const double *y, const double *a, const double *b, const double *xyorigin) {
    const double x0 = xyorigin != nullptr ? xyorigin[0] : 0.0, y0 = xyorigin != nullptr ? xyorigin[1] : 0.0;
    return std::max(std::abs(*x - x0) / *a, std::abs(*y - y0) / *b);
}

// The crossing test: edges that cross the positive half-axis y of the shifted
// corners flip the count; a point found on an edge is in at once.
double Polygon(const double *px, const double *py, const double *xx, const double *yy, const int32_t *n) {
    const int32_t m = *n;
    if (m < 1) return -1.0;
    double inout = -1.0;
    for (int32_t i = 0; i < m; ++i) {
        const int32_t j = i + 1 < m ? i + 1 : 0;
        const double xi = xx[i] - *px, yi = yy[i] - *py, xj = xx[j] - *px, yj = yy[j] - *py;
        const bool mx = xi >= 0.0, nx = xj >= 0.0, my = yi >= 0.0, ny = yj >= 0.0;
        if (!((my || ny) && (mx || nx)) || (mx && nx)) continue;
        if (my && ny) {
            inout = -inout;
            continue;
        }
        const double s = (yi * xj - xi * yj) / (xj - xi);
        if (s == 0.0) return 0.0;
        if (s > 0.0) inout = -inout;
    }
    return inout == -1.0 ? -1.0 : 0.0;
}

double Line(const double *x, const double *y, const double *a, const double *b, const double *proximity) {
    const double abx = b[0] - a[0], aby = b[1] - a[1], px = *x - a[0], py = *y - a[1];
    const double length = std::sqrt(abx * abx + aby * aby);
    const double t = (px * abx + py * aby) / length;  // NaN for a segment of no length
    const double h = std::sqrt(px * px + py * py);
    double distance = h;  // t <= 0, and a segment of no length
    if (t > 0.0 && t < length)
        distance = std::sqrt(std::max(h * h - t * t, 0.0));  // the residue can round below 0
    else if (t >= length)
        distance = std::sqrt((*x - b[0]) * (*x - b[0]) + (*y - b[1]) * (*y - b[1]));
    const double near = proximity != nullptr ? *proximity : 1e-5;
    if (distance == near) return 1.0;
    if (distance > near) return distance + 1.0;
    return h == 0.0 ? 0.0 : distance / h;  // on the first end: on the segment
}

kestro_logical1 ProjectedPointInShape(const double *point, const double *a, const double *b, const double *theta,
                                      const double *refcoords, const double *refcos, const int32_t *shapeid) {
    double xy[2];
    GetPointOnXYPlane(xy, point, refcoords, refcos, theta);
    const double m = std::max(*a, *b);
    switch (*shapeid) {
    case 0: return inside(Ellipse(&xy[0], &xy[1], &m, &m, nullptr));
    case 2: return inside(Rectangle(&xy[0], &xy[1], &m, &m, nullptr));
    case 3: return inside(Rectangle(&xy[0], &xy[1], a, b, nullptr));
    default: return inside(Ellipse(&xy[0], &xy[1], a, b, nullptr));
    }
}

kestro_logical1 ProjectedPointInPolygon(const double *point, const double *xypairs, const double *theta,
                                        const double *refcoords, const double *refcos, const int32_t *npoints) {
    if (kestro::negative_count("ProjectedPointInPolygon", {*npoints})) return 0;
    double xy[2];
    GetPointOnXYPlane(xy, point, refcoords, refcos, theta);
    const int64_t count = *npoints;
    return inside(Polygon(&xy[0], &xy[1], xypairs, xypairs + count, npoints));
}

}  // extern "C"
