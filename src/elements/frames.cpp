// Element and nodal frames of curved 6- and 8-node shells: the element's
// curvature frame, origin and principal curvatures, and one frame per node
// with the surface normal as third axis.  Fixed 8-node working storage.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/math.hpp"
#include "elements/shapes.hpp"
#include "elements/shell.hpp"

namespace {

constexpr double kRadian = 57.29577951308232;  // degrees per radian
constexpr double kPi = 3.141592653589793;

struct Vec3 {
    double x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(Vec3 a) { return std::sqrt(dot(a, a)); }
Vec3 unit(Vec3 a) { return (1.0 / norm(a)) * a; }

// a rotated right-handed about the axis through the origin by degrees.
Vec3 rotated(Vec3 axis, Vec3 a, double degrees) {
    const double n[3] = {axis.x, axis.y, axis.z}, p[3] = {a.x, a.y, a.z};
    double r[3];
    CoordinateRotation(n, p, r, &degrees);
    return {r[0], r[1], r[2]};
}

// Node i (0-based) of the 8 x 3 table of nodes by rows.
Vec3 node(const double *on, int i) { return {on[i], on[8 + i], on[16 + i]}; }

// The two natural tangents of the surface of a shape table (n rows).
void tangents(const double *nshape, int n, const double *on, Vec3 &rr, Vec3 &rs) {
    rr = rs = {0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) {
        rr = rr + nshape[n + i] * node(on, i);
        rs = rs + nshape[2 * n + i] * node(on, i);
    }
}

void set_row(double *m, int row, Vec3 v) {
    m[row] = v.x;
    m[3 + row] = v.y;
    m[6 + row] = v.z;
}

}  // namespace

extern "C" {

void GetSectionRefOrientation(double *theta, const double *so, const double *nvector, const double *r12) {
    const Vec3 s{so[0], so[1], so[2]}, nv{nvector[0], nvector[1], nvector[2]}, r{r12[0], r12[1], r12[2]};
    const Vec3 n = cross(r, s);
    if (norm(n) > 1e-8) {
        // Clamped: rounding can take the cosine of parallel vectors just beyond 1 or -1.
        const double c = std::clamp(dot(r, s) / (norm(r) * norm(s)), -1.0, 1.0);
        *theta = dot(n, nv) > 0.0 ? std::acos(c) : -std::acos(c);
    } else {
        *theta = dot(r, s) > 0.0 ? 0.0 : kPi;
    }
}

void GetCurvatures(double *delta, double *kappa, const double *nshape, const double *lncoords, const int32_t *n) {
    *delta = 0.0;
    kappa[0] = kappa[1] = 0.0;
    const int32_t rows = std::clamp(*n, 0, 8);
    // The local coordinates as the shell routines take them, (x, y, z) per node.
    double coords[24] = {}, nxx[8] = {}, nyy[8] = {}, nxy[8] = {};
    for (int32_t i = 0; i < rows; ++i)
        for (int k = 0; k < 3; ++k) coords[3 * i + k] = lncoords[k * *n + i];
    kestro::elements::cartesian_second_derivatives(nshape, *n, coords, rows, nxx, nyy, nxy);
    double kxx = 0.0, kyy = 0.0, kxy = 0.0;
    for (int32_t i = 0; i < rows; ++i) {
        kxx += nxx[i] * coords[3 * i + 2];
        kyy += nyy[i] * coords[3 * i + 2];
        kxy += nxy[i] * coords[3 * i + 2];
    }
    const double m = 0.5 * (kxx + kyy), r = std::sqrt((kxx - kyy) * (kxx - kyy) / 4.0 + kxy * kxy);
    const double k1 = std::abs(m + r) > std::abs(m - r) ? m + r : m - r, k2 = k1 == m + r ? m - r : m + r;
    if (std::abs(k1) >= 1e-6) {
        kappa[0] = k1;
        kappa[1] = std::abs(k1 / k2) > 20.0 ? 0.0 : k2;
    }
    if (std::abs(kxy) > 1e-6) {
        *delta = std::atan(2.0 * kxy / (kxx - kyy)) / 2.0;
        if (k1 > 0.0) *delta += 1.5707963267948966;
    } else if (std::abs(kxx) >= 1e-6 && std::abs(kyy) < 1e-6) {
        *delta = k1 < 0.0 ? -1.5707963267948966 : 1.5707963267948966;
    }
    // Nearly spherical surfaces have no preferred direction.
    if (std::abs(std::abs(kxx / kyy) - 1.0) < 0.01) *delta = 0.0;
}

void GetNodalShape(double *nshape, const int32_t *locnode, const int32_t *inodes) {
    static constexpr double tria[6][2] = {{0, 0}, {1, 0}, {0, 1}, {0.5, 0}, {0.5, 0.5}, {0, 0.5}};
    static constexpr double quad[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    if ((*inodes != 6 && *inodes != 8) || *locnode < 1 || *locnode > *inodes) {
        kestro::record_error(-3, "Unknown or invalid number of nodes");
        return;
    }
    const double *at = *inodes == 6 ? tria[*locnode - 1] : quad[*locnode - 1];
    if (*inodes == 6)
        Tria6ShapeFunMatrix(nshape, &at[0], &at[1]);
    else
        Quad8ShapeFunMatrix(nshape, &at[0], &at[1]);
}

void GetNodalTransformation(double *ti, const double *on, const int32_t *inodes) {
    std::fill_n(ti, 72, 0.0);
    if (*inodes != 6 && *inodes != 8) {
        const int32_t first = 1;
        double unused[48];
        GetNodalShape(unused, &first, inodes);  // records the count
        return;
    }
    double nshape[48];
    for (int32_t k = 1; k <= *inodes; ++k) {
        GetNodalShape(nshape, &k, inodes);
        Vec3 rr, rs;
        tangents(nshape, *inodes, on, rr, rs);
        const Vec3 nr = unit(rr), ns = unit(rs), t3 = unit(cross(rr, rs));
        const Vec3 a = nr + ns, b = cross(t3, a);
        const Vec3 t2 = 0.7071067811865475 * (unit(a) + unit(b));
        const Vec3 t1 = cross(t2, t3);
        double *layer = ti + 9 * (k - 1);
        set_row(layer, 0, t1);
        set_row(layer, 1, t2);
        set_row(layer, 2, t3);
    }
}

void GetElementTransformation(double *tcurv, double *origin, double *kappa, const double *on, const double *refdir,
                              const int32_t *inodes) {
    std::fill_n(tcurv, 9, 0.0);
    std::fill_n(origin, 3, 0.0);
    kappa[0] = kappa[1] = 0.0;
    const int32_t n = *inodes;
    if (n != 6 && n != 8) {
        kestro::record_error(-3, "Unknown or unsupported element type.");
        return;
    }
    double nshape[48];
    const double zero = 0.0;
    Vec3 o{0.0, 0.0, 0.0}, nx, ny, nz, rr, rs;
    if (n == 6) {
        // The corner opposite the longest edge.
        const double l[3] = {norm(node(on, 1) - node(on, 2)), norm(node(on, 0) - node(on, 2)),
                             norm(node(on, 0) - node(on, 1))};
        o = node(on, static_cast<int>(std::max_element(l, l + 3) - l));
        Tria6ShapeFunMatrix(nshape, &zero, &zero);
        tangents(nshape, n, on, rr, rs);
        nx = unit(rr);
        ny = unit(rs);
        nz = unit(cross(rr, rs));
    } else {
        for (int i = 0; i < 4; ++i) o = o + 0.25 * node(on, i);
        Quad8ShapeFunMatrix(nshape, &zero, &zero);
        tangents(nshape, n, on, rr, rs);
        const Vec3 nr = unit(rr), ns = unit(rs);
        nz = unit(cross(rr, rs));
        // 45 degrees either side of the bisector of the two tangents.
        const double phi = std::acos(dot(nr, ns));
        nx = rotated(nz, nr, -(kPi / 4.0 - phi / 2.0) * kRadian);
        ny = cross(nz, nx);
    }
    const Vec3 r12 = node(on, 1) - node(on, 0);
    // The reference direction closer to parallel to the section's first axis.
    const Vec3 x = rotated(nz, nx, refdir[0]);
    const Vec3 r1{refdir[1], refdir[2], refdir[3]}, r2{refdir[4], refdir[5], refdir[6]};
    const Vec3 so = norm(cross(x, r2)) <= norm(cross(x, r1)) ? r2 : r1;
    double theta = 0.0;
    const double so3[3] = {so.x, so.y, so.z}, nz3[3] = {nz.x, nz.y, nz.z}, r123[3] = {r12.x, r12.y, r12.z};
    GetSectionRefOrientation(&theta, so3, nz3, r123);
    // Local coordinates in the element frame (rows nx, ny, nz), nodes by rows.
    double lncoords[24];
    for (int32_t i = 0; i < n; ++i) {
        const Vec3 d = node(on, i) - o;
        lncoords[i] = dot(nx, d);
        lncoords[n + i] = dot(ny, d);
        lncoords[2 * n + i] = dot(nz, d);
    }
    double delta = 0.0;
    GetCurvatures(&delta, kappa, nshape, lncoords, &n);
    double alpha = 0.0;
    if (theta != 0.0) alpha = theta * kRadian;
    if (delta != 0.0) alpha = delta * kRadian;  // the curvature direction comes first
    const Vec3 tx = rotated(nz, nx, alpha);
    set_row(tcurv, 0, tx);
    set_row(tcurv, 1, cross(nz, tx));
    set_row(tcurv, 2, nz);
    origin[0] = o.x;
    origin[1] = o.y;
    origin[2] = o.z;
}

}  // extern "C"
