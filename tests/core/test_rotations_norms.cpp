// Rotations, tensor transformations, norms, errors and the special functions
// of module math, against closed forms and independent constructions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "decl/math.hpp"

namespace {

using M3 = std::array<double, 9>;     // column-major
using T4 = std::array<double, 81>;  // column-major
constexpr double kPi = 3.141592653589793;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

double &e(M3 &a, int i, int j) { return a[(j - 1) * 3 + i - 1]; }
double e(const M3 &a, int i, int j) { return a[(j - 1) * 3 + i - 1]; }
int at4(int i, int j, int k, int l) { return ((l * 3 + k) * 3 + j) * 3 + i; }

M3 mul(const M3 &a, const M3 &b) {
    M3 c{};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 3; ++k) e(c, i, j) += e(a, i, k) * e(b, k, j);
    return c;
}
M3 transposed(const M3 &a) {
    M3 t{};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) e(t, i, j) = e(a, j, i);
    return t;
}
double max_diff(const double *a, const double *b, int n) {
    double d = 0.0;
    for (int i = 0; i < n; ++i) d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}
M3 rotation(std::array<double, 3> n, double angle) {
    M3 r{};
    GetRotationMatrix(r.data(), n.data(), &angle);
    return r;
}
// Rz(phi) Ry(theta) Rx(psi), built independently, angles in degrees.
M3 euler(double psi, double theta, double phi) {
    const double d = kPi / 180.0;
    const double cx = std::cos(psi * d), sx = std::sin(psi * d), cy = std::cos(theta * d), sy = std::sin(theta * d),
                 cz = std::cos(phi * d), sz = std::sin(phi * d);
    const M3 rx = {1, 0, 0, 0, cx, sx, 0, -sx, cx}, ry = {cy, 0, -sy, 0, 1, 0, sy, 0, cy},
             rz = {cz, sz, 0, -sz, cz, 0, 0, 0, 1};
    return mul(rz, mul(ry, rx));
}
std::array<double, 3> unit(std::mt19937 &g) {
    std::normal_distribution<double> n;
    std::array<double, 3> v{n(g), n(g), n(g)};
    const double s = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (double &x : v) x /= s;
    return v;
}

TEST(Rotation, RodriguesMatrixIsAProperRotationAboutItsAxis) {
    const M3 q = rotation({0, 0, 1}, kPi / 2);
    EXPECT_NEAR(e(q, 1, 1), 0.0, 1e-16);
    EXPECT_EQ(e(q, 2, 1), 1.0);
    EXPECT_EQ(e(q, 3, 1), 0.0);
    std::mt19937 g(3);
    std::uniform_real_distribution<double> angle(-2 * kPi, 2 * kPi);
    for (int t = 0; t < 1000; ++t) {
        const auto n = unit(g);
        const M3 r = rotation(n, angle(g));
        const M3 rtr = mul(transposed(r), r), eye = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        EXPECT_LT(max_diff(rtr.data(), eye.data(), 9), 1e-14);
        const double det = e(r, 1, 1) * (e(r, 2, 2) * e(r, 3, 3) - e(r, 2, 3) * e(r, 3, 2)) -
                           e(r, 1, 2) * (e(r, 2, 1) * e(r, 3, 3) - e(r, 2, 3) * e(r, 3, 1)) +
                           e(r, 1, 3) * (e(r, 2, 1) * e(r, 3, 2) - e(r, 2, 2) * e(r, 3, 1));
        EXPECT_NEAR(det, 1.0, 1e-14);
        for (int i = 1; i <= 3; ++i)
            EXPECT_NEAR(e(r, i, 1) * n[0] + e(r, i, 2) * n[1] + e(r, i, 3) * n[2], n[i - 1], 1e-14);
    }
}

TEST(Rotation, EulerAnglesRoundTripAndGimbalLockGivesTheSameRotation) {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> any(-180.0, 180.0), tilt(-89.0, 89.0);
    for (int t = 0; t < 1000; ++t) {
        const double psi = any(g), theta = tilt(g), phi = any(g);
        const M3 r = euler(psi, theta, phi);
        double eul[3];
        GetEulerRotation(eul, r.data());
        EXPECT_NEAR(eul[0], psi, 1e-10);
        EXPECT_NEAR(eul[1], theta, 1e-10);
        EXPECT_NEAR(eul[2], phi, 1e-10);
    }
    double eul[3];
    const M3 identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    GetEulerRotation(eul, identity.data());
    EXPECT_TRUE(eul[0] == 0.0 && eul[1] == 0.0 && eul[2] == 0.0);
    // r(3,1) exactly -1 and 1, and rounded just beyond 1 (1.0000000000000002).
    for (const M3 &r : {euler(30.0, 90.0, 0.0), euler(-70.0, -90.0, 0.0),
                        rotation({std::sqrt(0.5), 0.0, std::sqrt(0.5)}, kPi)}) {
        GetEulerRotation(eul, r.data());
        ASSERT_TRUE(std::isfinite(eul[0]) && std::isfinite(eul[1]) && std::isfinite(eul[2]));
        EXPECT_EQ(eul[2], 0.0);
        EXPECT_EQ(std::abs(eul[1]), 90.0);
        const M3 back = euler(eul[0], eul[1], eul[2]);
        EXPECT_LT(max_diff(back.data(), r.data(), 9), 1e-15);
    }
    EXPECT_GT(e(rotation({std::sqrt(0.5), 0.0, std::sqrt(0.5)}, kPi), 3, 1), 1.0);
}

// The 81-term sums of the definition.
T4 rotate_directly(const T4 &c, const M3 &r) {
    T4 out{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < 3; ++l)
                    for (int m = 0; m < 3; ++m)
                        for (int n = 0; n < 3; ++n)
                            for (int o = 0; o < 3; ++o)
                                for (int p = 0; p < 3; ++p)
                                    out[at4(i, j, k, l)] += r[i * 3 + m] * r[j * 3 + n] * r[k * 3 + o] *
                                                            r[l * 3 + p] * c[at4(m, n, o, p)];
    return out;
}

// A stiffness tensor from lambda, mu (isotropic) or, transversely isotropic
// about axis 1, from five constants.
T4 stiffness(double c11, double c22, double c12, double c23, double c55) {
    T4 c{};
    const double c44 = (c22 - c23) / 2;
    const auto set = [&](int i, int j, int k, int l, double v) {
        for (auto [a, b] : {std::pair{i, j}, std::pair{j, i}})
            for (auto [p, q] : {std::pair{k, l}, std::pair{l, k}}) {
                c[at4(a, b, p, q)] = v;
                c[at4(p, q, a, b)] = v;
            }
    };
    set(0, 0, 0, 0, c11);
    set(1, 1, 1, 1, c22);
    set(2, 2, 2, 2, c22);
    set(0, 0, 1, 1, c12);
    set(0, 0, 2, 2, c12);
    set(1, 1, 2, 2, c23);
    set(1, 2, 1, 2, c44);
    set(0, 2, 0, 2, c55);
    set(0, 1, 0, 1, c55);
    return c;
}

TEST(Rotation, FourthOrderTensorsRotateAsTheDefinitionSays) {
    std::mt19937 g(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0), angle(-kPi, kPi);
    const T4 iso = stiffness(7.0, 7.0, 3.0, 3.0, 2.0), transverse = stiffness(140.0, 10.0, 4.0, 3.0, 5.0);
    for (int t = 0; t < 100; ++t) {
        auto n = unit(g);
        const double a = angle(g);
        T4 c, out;
        for (double &x : c) x = u(g);
        TensorRotation4th(c.data(), out.data(), &a, n.data());
        const T4 direct = rotate_directly(c, rotation(n, a));
        EXPECT_LT(max_diff(out.data(), direct.data(), 81), 1e-14);
        TensorRotation4th(iso.data(), out.data(), &a, n.data());
        EXPECT_LT(max_diff(out.data(), iso.data(), 81), 1e-13);
        TensorRotation4th(transverse.data(), out.data(), &a, nullptr);  // about axis 1
        EXPECT_LT(max_diff(out.data(), transverse.data(), 81), 1e-12);
    }
    const double quarter = kPi / 2;
    const std::array<double, 3> z = {0, 0, 1};
    T4 out;
    TensorRotation4th(transverse.data(), out.data(), &quarter, z.data());
    for (auto [a, b] : {std::pair{at4(0, 0, 0, 0), at4(1, 1, 1, 1)}, std::pair{at4(0, 0, 2, 2), at4(1, 1, 2, 2)},
                        std::pair{at4(0, 2, 0, 2), at4(1, 2, 1, 2)}}) {
        EXPECT_NEAR(out[a], transverse[b], 1e-12);
        EXPECT_NEAR(out[b], transverse[a], 1e-12);
    }
}

TEST(Rotation, SecondOrderRotationTransformationAndContraction) {
    std::mt19937 g(9);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    M3 s, out, expected;
    for (double &x : s) x = u(g);
    const double a = 0.7, zero = 0.0;
    const std::array<double, 3> x = {1, 0, 0};
    TensorRotation2nd(s.data(), out.data(), &a, nullptr);  // n0 absent: about (1, 0, 0)
    const M3 r = rotation(x, a);
    expected = mul(transposed(r), mul(s, r));
    EXPECT_LT(max_diff(out.data(), expected.data(), 9), 1e-15);
    TensorRotation2nd(s.data(), out.data(), &zero, x.data());
    EXPECT_EQ(out, s);

    M3 tbase;
    const std::array<double, 3> nx = {0.6, 0.8, 0}, ny = {-0.8, 0.6, 0}, nz = {0, 0, 1};
    GetTransformationMatrix(tbase.data(), nx.data(), ny.data(), nz.data());
    EXPECT_EQ(e(tbase, 1, 2), 0.8);
    EXPECT_EQ(e(tbase, 2, 1), -0.8);
    TensorTransformation2nd(s.data(), out.data(), tbase.data());
    expected = mul(tbase, mul(s, transposed(tbase)));
    EXPECT_LT(max_diff(out.data(), expected.data(), 9), 1e-15);

    T4 c;
    for (double &v : c) v = u(g);
    M3 contracted{};
    kestro::math::tensormultiplication(c.data(), s.data(), out.data());
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < 3; ++l) contracted[j * 3 + i] += c[at4(i, j, k, l)] * s[l * 3 + k];
    EXPECT_LT(max_diff(out.data(), contracted.data(), 9), 1e-15);
}

TEST(Rotation, CoordinateNormalizationKeepsTheAspectRatio) {
    const std::vector<double> p = {0, 2, 0, 1}, equal = {3, 3, 3, 3}, interval = {0, 1}, other = {-1, 5};
    std::vector<double> out(4, kNaN);
    const int32_t np = 2, ndim = 2, none = 0;
    CoordinateNormalization(p.data(), out.data(), interval.data(), &np, &ndim);
    EXPECT_EQ(out, (std::vector<double>{0, 1, 0, 0.5}));
    CoordinateNormalization(equal.data(), out.data(), other.data(), &np, &ndim);
    EXPECT_EQ(out, std::vector<double>(4, -1.0));
    std::vector<double> untouched(4, 7.0);
    CoordinateNormalization(p.data(), untouched.data(), interval.data(), &np, &none);
    EXPECT_EQ(untouched, std::vector<double>(4, 7.0));
}

TEST(Norms, ClosedFormsAndEdgeValues) {
    const std::vector<double> v34 = {3, 4}, m = {1, 3, 2, 4}, diag = {3, 0, 0, 2}, a = {1, 2}, b = {3, 2};
    const int32_t two = 2, zero = 0;
    const double p1 = 1, p0 = 0, p2 = 2;
    EXPECT_EQ(VectorNorm(v34.data(), &two), 5.0);
    EXPECT_EQ(VectorNorm(v34.data(), &zero), 0.0);
    EXPECT_EQ(LpVectorNorm(v34.data(), &p1, &two), 7.0);
    EXPECT_EQ(LpVectorNorm(v34.data(), &p0, &two), std::numeric_limits<double>::infinity());
    EXPECT_EQ(MatrixNorm(m.data(), &two, &two), std::sqrt(30.0));
    EXPECT_NEAR(LpMatrixNorm(m.data(), &p1, &two, &two), 10.0, 1e-15);
    EXPECT_NEAR(SpectralNorm(diag.data(), &two, &two), 3.0, 1e-15);
    EXPECT_NEAR(NuclearNorm(diag.data(), &two, &two), 5.0, 1e-15);
    EXPECT_NEAR(SchattenNorm(diag.data(), &p2, &two, &two), std::sqrt(13.0), 1e-15);
    EXPECT_EQ(SpectralNorm(diag.data(), &zero, &two), -std::numeric_limits<double>::max());
    EXPECT_EQ(NuclearNorm(diag.data(), &two, &zero), 0.0);
    EXPECT_EQ(SchattenNorm(diag.data(), &p2, &zero, &zero), 0.0);
    EXPECT_EQ(RootMeanSquareError(a.data(), b.data(), &two), std::sqrt(2.0));
    EXPECT_EQ(MeanAbsoluteError(a.data(), b.data(), &two), 1.0);
    EXPECT_TRUE(std::isnan(RootMeanSquareError(a.data(), b.data(), &zero)));
    EXPECT_TRUE(std::isnan(MeanAbsoluteError(a.data(), b.data(), &zero)));
    const std::vector<double> e1 = {1, 0}, e2 = {0, 1}, twice = {2, 0}, null = {0, 0};
    EXPECT_EQ(VectorModalAssuranceCriterion(e1.data(), twice.data(), &two), 1.0);
    EXPECT_EQ(VectorModalAssuranceCriterion(e1.data(), e2.data(), &two), 0.0);
    EXPECT_TRUE(std::isnan(VectorModalAssuranceCriterion(null.data(), e1.data(), &two)));
    const std::vector<double> s = {4, 1, 0, 1, 3, 1, 0, 1, 2};  // distinct eigenvalues
    std::vector<double> mac(9);
    const int32_t three = 3;
    MatrixModalAssuranceCriterion(s.data(), s.data(), mac.data(), &three);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(mac[i * 3 + i], 1.0, 1e-14);
}

TEST(SpecialFunctions, AsSpecifiedIncludingTheCutsAndTheIntegerPartPlusOne) {
    using namespace kestro::math;
    const auto d = [](double x) { return x; };
    const double half = 0.5, one = 1.0, below = 0.5, e = 2.718281828, me = -2.718281828, pt29 = 0.29;
    const int32_t flag = 1, two = 2;
    EXPECT_EQ(fishertransformation(&half, nullptr), 0.5493061443340549);
    EXPECT_EQ(fishertransformation(&half, &flag), std::tanh(0.5));
    EXPECT_EQ(datanh(&one), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(dacosh(&below)));
    EXPECT_NEAR(dacoth(&e), std::atanh(1.0 / 2.718281828), 1e-15);
    EXPECT_NEAR(dasinh(&e), std::asinh(2.718281828), 1e-15);
    EXPECT_EQ(droundsf(&e, &two), 2.71);
    EXPECT_EQ(droundsf(&me, &two), -2.71);
    EXPECT_EQ(droundsf(&pt29, &two), 0.28);  // the binary value of 0.29 is below it
    EXPECT_EQ(droundsf(&e, nullptr), 2.71828182);
    for (auto [a, expected] : {std::pair{2.5, 3.0}, std::pair{2.0, 3.0}, std::pair{-1.5, 0.0}, std::pair{-0.5, 1.0},
                               std::pair{1e300, 1e300 + 1.0}})
        EXPECT_EQ(dceil(&a), d(expected)) << a;
}

}  // namespace
