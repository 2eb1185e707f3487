// Point and vector geometry of module math: rotation, translation and mirror
// images of points (by homogeneous 4 x 4 matrices), projection onto a plane,
// polygon centroids, unit vectors, projections, angles, polar coordinates and
// arc lengths.  Fixed sizes for the 3-D routines; no allocation.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "decl/math.hpp"
#include "math/arithmetic.hpp"

namespace {

using kestro::math::extent;

// prot = the first three entries of M (p, 1), M homogeneous 4 x 4 column-major.
void apply(const double *m, const double *p, double *out) {
    const double ph[4] = {p[0], p[1], p[2], 1.0};
    double r[4];
    const int32_t four = 4;
    MatrixVectorProduct(m, ph, r, &four, &four);
    std::copy_n(r, 3, out);
}

}  // namespace

extern "C" {

void CoordinateRotation(const double *a, const double *p, double *prot, const double *alpha_d) {
    const double alpha = *alpha_d * 0.017453292519943295;
    const double c = std::cos(alpha), s = std::sin(alpha), nx = a[0], ny = a[1], nz = a[2];
    double m[16] = {};
    m[0] = (1.0 - nx * nx) * c + nx * nx;
    m[5] = (1.0 - ny * ny) * c + ny * ny;
    m[10] = nz * nz + (1.0 - nz * nz) * c;
    m[4] = nx * ny * (1.0 - c) - nz * s;  // (1,2)
    m[1] = nx * ny * (1.0 - c) + nz * s;  // (2,1)
    m[8] = nx * nz * (1.0 - c) + ny * s;  // (1,3)
    m[2] = nx * nz * (1.0 - c) - ny * s;  // (3,1)
    m[9] = ny * nz * (1.0 - c) - nx * s;  // (2,3)
    m[6] = ny * nz * (1.0 - c) + nx * s;  // (3,2)
    m[15] = 1.0;
    apply(m, p, prot);
}

void CoordinateTranslation(const double *a, const double *p, double *ptrans) {
    const double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, a[0], a[1], a[2], 1};
    apply(m, p, ptrans);
}

void CoordinateReflection(const double *na, const double *nb, const double *p, double *pref) {
    double m[16] = {};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) m[j * 4 + i] = 2.0 * (na[i] * na[j] + nb[i] * nb[j]) - (i == j ? 1.0 : 0.0);
    m[15] = 1.0;
    apply(m, p, pref);
}

void GetCentroid(double *c, const double *x, const double *y, const int32_t *n) {
    if (ShoelaceMethod(x, y, n) == 0.0) return;  // no area: c stays as it was
    const int32_t m = *n;
    const int32_t edges = x[m - 1] == x[0] && y[m - 1] == y[0] ? m - 1 : m;  // a closed list repeats vertex 1
    double sx = 0.0, sy = 0.0, as = 0.0;
    for (int32_t i = 0; i < edges; ++i) {
        const int32_t j = i + 1 < m ? i + 1 : 0;
        const double f = x[i] * y[j] - x[j] * y[i];
        sx += (x[i] + x[j]) * f;
        sy += (y[i] + y[j]) * f;
        as += f;
    }
    as *= 0.5;
    c[0] = sx / (6.0 * as);
    c[1] = sy / (6.0 * as);
}

void GetABVector(double *v, const double *a, const double *b, const int32_t *n) {
    std::copy_n(b, extent(n), v);
    VectorSub(v, a, n);
}

void GetUnitVector(double *xu, const double *x, const int32_t *n) {
    const double norm = VectorNorm(x, n);
    for (int64_t i = 0; i < extent(n); ++i) xu[i] = x[i] / norm;
}

double ScalarProjection(const double *a, const double *b, const int32_t *n) {
    const double norm = VectorNorm(b, n);
    double s = 0.0;
    for (int64_t i = 0; i < extent(n); ++i) s += a[i] * (b[i] / norm);
    return s;
}

double EuclideanAngle(const double *x, const double *y, const int32_t *n) {
    double dot = 0.0;
    DotProduct(x, y, &dot, n);
    double c = dot / (VectorNorm(y, n) * VectorNorm(x, n));
    if (!(c >= -1.0)) c = -1.0;  // a NaN cosine (a zero vector) counts as -1
    if (c > 1.0) c = 1.0;
    return std::acos(c);
}

void PolarTransformation(const double *cartesian, double *polar, const int32_t *n, const double *phi0) {
    if (*n < 2) return;
    polar[0] = std::sqrt(cartesian[0] * cartesian[0] + cartesian[1] * cartesian[1]);
    polar[1] = cartesian[0] == 0.0 && cartesian[1] == 0.0 ? (phi0 != nullptr ? *phi0 : 0.0)
                                                          : std::atan2(cartesian[1], cartesian[0]);
    std::copy(cartesian + 2, cartesian + *n, polar + 2);
}

double EffectiveArcLength(const double *oa, const double *ob, const double *curvature, const int32_t *n) {
    const double d = EuclideanDistance(oa, ob, n);
    if (*curvature == 0.0) return d;
    const double r = 1.0 / *curvature;
    return 2.0 * r * std::asin(d / (2.0 * r));
}

}  // extern "C"
