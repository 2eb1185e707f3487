// Rotations and changes of basis of 3 x 3 matrices, second- and fourth-order
// tensors (module math).  They run per integration point: fixed sizes on the
// stack, no allocation, no LAPACK.  Matrices are column-major, (i, j) at
// [(j - 1) * 3 + i - 1].
#include <algorithm>
#include <cmath>
#include <limits>

#include "decl/math.hpp"

namespace {

constexpr double kDegrees = 57.29577951308232;

// Entry (i, j) (1-based) of a column-major 3 x 3 matrix.
inline double &at(double *a, int i, int j) { return a[(j - 1) * 3 + (i - 1)]; }
inline double at(const double *a, int i, int j) { return a[(j - 1) * 3 + (i - 1)]; }

// Entry (i, j, k, l) of a column-major 3 x 3 x 3 x 3 tensor, 0-based.
inline int at4(int i, int j, int k, int l) { return ((l * 3 + k) * 3 + j) * 3 + i; }

// R(n, alpha) in the Rodrigues form.
void rotation(double *r, const double *n, double alpha) {
    const double nx = n[0], ny = n[1], nz = n[2];
    const double c = std::cos(alpha), s = std::sin(alpha);
    std::fill_n(r, 9, 0.0);
    at(r, 1, 1) = (1.0 - nx * nx) * c + nx * nx;
    at(r, 2, 2) = (1.0 - ny * ny) * c + ny * ny;
    at(r, 3, 3) = (1.0 - nz * nz) * c + nz * nz;
    at(r, 2, 1) = nx * ny * (1.0 - c) + s * nz;
    at(r, 1, 2) = nx * ny * (1.0 - c) - s * nz;
    at(r, 3, 1) = nx * nz * (1.0 - c) - s * ny;
    at(r, 1, 3) = nx * nz * (1.0 - c) + s * ny;
    at(r, 3, 2) = ny * nz * (1.0 - c) + s * nx;
    at(r, 2, 3) = ny * nz * (1.0 - c) - s * nx;
}

const double kXAxis[3] = {1.0, 0.0, 0.0};

// out(.., i, ..) = sum over m of R(m, i) in(.., m, ..), index Slot (0-based) rotated.
template <int Slot>
void rotate_index(const double *r, const double *in, double *out) {
    for (int l = 0; l < 3; ++l)
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    int index[4] = {i, j, k, l};
                    const int rotated = index[Slot];
                    double sum = 0.0;
                    for (int m = 0; m < 3; ++m) {
                        index[Slot] = m;
                        sum += r[rotated * 3 + m] * in[at4(index[0], index[1], index[2], index[3])];
                    }
                    out[at4(i, j, k, l)] = sum;
                }
}

}  // namespace

extern "C" {

void GetRotationMatrix(double *trot, const double *n, const double *alpha_r) { rotation(trot, n, *alpha_r); }

void GetTransformationMatrix(double *tbase, const double *nx, const double *ny, const double *nz) {
    for (int j = 1; j <= 3; ++j) {
        at(tbase, 1, j) = nx[j - 1];
        at(tbase, 2, j) = ny[j - 1];
        at(tbase, 3, j) = nz[j - 1];
    }
}

void TensorRotation2nd(const double *input_2nd, double *output_2nd, const double *angle_r, const double *n0) {
    double r[9];
    rotation(r, n0 != nullptr ? n0 : kXAxis, *angle_r);
    double out[9] = {};
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 3; ++i)
            for (int q = 1; q <= 3; ++q)
                for (int p = 1; p <= 3; ++p) at(out, i, j) += at(r, p, i) * at(r, q, j) * at(input_2nd, p, q);
    std::copy_n(out, 9, output_2nd);
}

// Four rotations of one index each: 4 x 243 products instead of 81 x 81.
void TensorRotation4th(const double *input_4th, double *output_4th, const double *angle_r, const double *n0) {
    double r[9];
    rotation(r, n0 != nullptr ? n0 : kXAxis, *angle_r);
    double a[81], b[81];
    rotate_index<0>(r, input_4th, a);
    rotate_index<1>(r, a, b);
    rotate_index<2>(r, b, a);
    rotate_index<3>(r, a, b);
    std::copy_n(b, 81, output_4th);
}

void TensorTransformation2nd(const double *tensin, double *tensout, const double *tbase) {
    double m[9] = {}, out[9] = {};
    for (int i = 1; i <= 3; ++i)  // M = tensin tbase^T
        for (int l = 1; l <= 3; ++l)
            for (int k = 1; k <= 3; ++k) at(m, l, i) += at(tensin, l, k) * at(tbase, i, k);
    for (int j = 1; j <= 3; ++j)  // tensout = tbase M
        for (int i = 1; i <= 3; ++i)
            for (int l = 1; l <= 3; ++l) at(out, i, j) += at(tbase, i, l) * at(m, l, j);
    std::copy_n(out, 9, tensout);
}

void GetEulerRotation(double *eul, const double *r) {
    std::fill_n(eul, 3, 0.0);
    const double r31 = at(r, 3, 1);
    // Rounding can put r(3,1) just beyond -1 or 1, where asin gives NaN: those
    // are the gimbal-lock cases too.
    if (r31 >= 1.0) {
        eul[0] = std::atan2(-at(r, 1, 2), -at(r, 1, 3)) * kDegrees;
        eul[1] = -90.0;
    } else if (r31 <= -1.0) {
        eul[0] = std::atan2(at(r, 1, 2), at(r, 1, 3)) * kDegrees;
        eul[1] = 90.0;
    } else {
        const double theta = std::asin(r31), c = std::cos(theta);
        eul[0] = std::atan2(at(r, 3, 2) / c, at(r, 3, 3) / c) * kDegrees;
        eul[1] = -theta * kDegrees;
        eul[2] = std::atan2(at(r, 2, 1) / c, at(r, 1, 1) / c) * kDegrees;
    }
}

void CoordinateNormalization(const double *p, double *pnorm, const double *interval, const int32_t *np,
                             const int32_t *ndim) {
    if (*ndim < 1) return;
    const int64_t count = int64_t{std::max(*np, 0)} * *ndim;
    double tmin = std::numeric_limits<double>::infinity(), tmax = -tmin;
    for (int64_t i = 0; i < count; ++i) {
        tmin = std::min(tmin, p[i]);
        tmax = std::max(tmax, p[i]);
    }
    for (int64_t i = 0; i < count; ++i)
        pnorm[i] = tmax == tmin ? interval[0]
                                : (p[i] - tmin) / (tmax - tmin) * (interval[1] - interval[0]) + interval[0];
}

}  // extern "C"

namespace kestro::math {

void tensormultiplication(const double *t_4th, const double *t_2nd, double *out_2nd) noexcept {
    double out[9] = {};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            for (int l = 0; l < 3; ++l)
                for (int k = 0; k < 3; ++k) out[j * 3 + i] += t_4th[at4(i, j, k, l)] * t_2nd[l * 3 + k];
    std::copy_n(out, 9, out_2nd);
}

}  // namespace kestro::math
