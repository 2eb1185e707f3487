// Coordinate geometry and the point-in-shape tests: worked values, the mended
// plane mapping and segment distance, and projected tests against the in-plane
// tests of independently projected points.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "decl/imageprocessing.hpp"
#include "decl/math.hpp"

namespace {

using V3 = std::array<double, 3>;
using Vec = std::vector<double>;
constexpr double kPi = 3.141592653589793;

V3 rotated(const V3 &a, const V3 &p, double degrees) {
    V3 out;
    CoordinateRotation(a.data(), p.data(), out.data(), &degrees);
    return out;
}

TEST(Geometry, RotationTranslationReflectionProjection) {
    const V3 z = {0, 0, 1}, e1 = {1, 0, 0};
    V3 r = rotated(z, e1, 90.0);
    EXPECT_NEAR(r[0], 0.0, 1e-16);
    EXPECT_EQ(r[1], 1.0);
    r = rotated(z, e1, -90.0);
    EXPECT_EQ(r[1], -1.0);
    V3 t;
    const V3 shift = {1, -2, 0.5}, p = {1, 2, 3};
    CoordinateTranslation(shift.data(), p.data(), t.data());
    EXPECT_EQ(t, (V3{2, 0, 3.5}));

    const V3 nb = {0, 1, 0};
    V3 m;
    CoordinateReflection(e1.data(), nb.data(), p.data(), m.data());
    EXPECT_EQ(m, (V3{1, 2, -3}));
    std::mt19937 g(3);
    std::normal_distribution<double> u;
    for (int k = 0; k < 200; ++k) {  // an involution for orthonormal na, nb
        V3 a = {u(g), u(g), u(g)}, b = {u(g), u(g), u(g)}, q = {u(g), u(g), u(g)}, once, twice;
        const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        for (double &x : a) x /= la;
        const double ab = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
        for (int i = 0; i < 3; ++i) b[i] -= ab * a[i];
        const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        for (double &x : b) x /= lb;
        CoordinateReflection(a.data(), b.data(), q.data(), once.data());
        CoordinateReflection(a.data(), b.data(), once.data(), twice.data());
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(twice[i], q[i], 1e-14);
    }

    V3 pro;
    const V3 r0 = {0, 0, 1};
    CoordinateProjection(e1.data(), nb.data(), p.data(), pro.data(), nullptr);
    EXPECT_EQ(pro, (V3{1, 2, 0}));
    CoordinateProjection(e1.data(), nb.data(), p.data(), pro.data(), r0.data());
    EXPECT_EQ(pro, (V3{1, 2, 1}));
}

TEST(Geometry, CentroidsVectorsAnglesPolarAndArcs) {
    struct Polygon {
        Vec x, y;
        double cx, cy;
    };
    for (const Polygon &c : {Polygon{{0, 1, 1, 0}, {0, 0, 1, 1}, 0.5, 0.5}, Polygon{{0, 0, 1, 1}, {0, 1, 1, 0}, 0.5, 0.5},
                             Polygon{{0, 1, 1, 0, 0}, {0, 0, 1, 1, 0}, 0.5, 0.5},
                             Polygon{{0, 3, 0}, {0, 0, 6}, 1.0, 2.0}}) {
        double cen[2] = {-1, -1};
        const auto n = static_cast<int32_t>(c.x.size());
        GetCentroid(cen, c.x.data(), c.y.data(), &n);
        EXPECT_NEAR(cen[0], c.cx, 1e-15);
        EXPECT_NEAR(cen[1], c.cy, 1e-15);
    }
    double kept[2] = {7, 8};
    const int32_t two = 2, three = 3;
    const Vec px = {0, 1}, py = {0, 1};
    GetCentroid(kept, px.data(), py.data(), &two);
    EXPECT_EQ(kept[0], 7.0);

    const Vec a = {1, 0}, b = {0, 2}, zero = {0, 0};
    Vec v(2), xu(2);
    GetABVector(v.data(), a.data(), b.data(), &two);
    EXPECT_EQ(v, (Vec{-1, 2}));
    GetUnitVector(xu.data(), b.data(), &two);
    EXPECT_EQ(xu, (Vec{0, 1}));
    GetUnitVector(xu.data(), zero.data(), &two);
    EXPECT_TRUE(std::isnan(xu[0]));
    EXPECT_EQ(ScalarProjection(b.data(), b.data(), &two), 2.0);
    EXPECT_EQ(EuclideanAngle(a.data(), b.data(), &two), kPi / 2);
    EXPECT_EQ(EuclideanAngle(a.data(), zero.data(), &two), kPi);

    const Vec cyl = {0, 0, 5}, left = {-1, 0};
    Vec polar(3, -9.0);
    const double phi0 = 1.0;
    PolarTransformation(cyl.data(), polar.data(), &three, &phi0);
    EXPECT_EQ(polar, (Vec{0, 1, 5}));
    PolarTransformation(left.data(), polar.data(), &two, nullptr);
    EXPECT_EQ(polar[0], 1.0);
    EXPECT_EQ(polar[1], kPi);

    const Vec oa = {1, 0}, ob = {-1, 0};
    const double one = 1.0, none = 0.0, minus = -1.0, tight = 2.0;
    EXPECT_NEAR(EffectiveArcLength(oa.data(), ob.data(), &one, &two), kPi, 1e-15);
    EXPECT_NEAR(EffectiveArcLength(oa.data(), ob.data(), &minus, &two), kPi, 1e-15);
    EXPECT_EQ(EffectiveArcLength(oa.data(), ob.data(), &none, &two), 2.0);
    EXPECT_TRUE(std::isnan(EffectiveArcLength(oa.data(), ob.data(), &tight, &two)));
}

TEST(Shapes, PlaneValuesPolygonAndSegment) {
    const double two = 2, zero = 0, one = 1, half = 0.5;
    EXPECT_EQ(Ellipse(&two, &zero, &two, &one, nullptr), 1.0);
    EXPECT_EQ(Rectangle(&one, &half, &one, &one, nullptr), 1.0);
    const double origin[2] = {1, 1};
    EXPECT_EQ(Ellipse(&two, &one, &one, &one, origin), 1.0);

    const Vec xx = {0, 1, 1, 0}, yy = {0, 0, 1, 1};
    const int32_t four = 4, none = 0;
    struct Case {
        double x, y, expected;
    };
    for (const Case &c : {Case{0.5, 0.5, 0}, Case{2, 0.5, -1}, Case{1, 0.5, 0}, Case{0.5, 0, -1}, Case{0, 0, -1},
                          Case{1, 1, 0}, Case{0, 0.5, -1}, Case{0.5, 1, 0}, Case{1, 0, -1}, Case{0, 1, -1}})
        EXPECT_EQ(Polygon(&c.x, &c.y, xx.data(), yy.data(), &four), c.expected) << c.x << " " << c.y;
    EXPECT_EQ(Polygon(&half, &half, xx.data(), yy.data(), &none), -1.0);

    const double a[2] = {0, 0}, b[2] = {1, 0}, p11[2] = {1, 1};
    for (const Case &c : {Case{0.5, 0, 0}, Case{0.5, 1, 2}, Case{2, 0, 2}, Case{0, 0, 0}})
        EXPECT_EQ(Line(&c.x, &c.y, a, b, nullptr), c.expected) << c.x << " " << c.y;
    const double x4 = 4, y5 = 5;
    EXPECT_EQ(Line(&x4, &y5, p11, p11, nullptr), 6.0);  // a segment of no length: 1 + the distance to it
    std::mt19937 g(11);
    std::uniform_real_distribution<double> u(-10.0, 10.0), s(0.0, 1.0);
    for (int k = 0; k < 10000; ++k) {  // points on slanted segments: never NaN, always on it
        const double ea[2] = {u(g), u(g)}, eb[2] = {u(g), u(g)}, t = s(g);
        const double x = ea[0] + t * (eb[0] - ea[0]), y = ea[1] + t * (eb[1] - ea[1]);
        const double value = Line(&x, &y, ea, eb, nullptr);
        ASSERT_FALSE(std::isnan(value)) << k;
        ASSERT_LE(value, 1.0) << k;
    }
}

TEST(Shapes, PointsOnTiltedPlanes) {
    // The plane's axes as columns: x (1,0,0), y (0,0,1), normal (0,-1,0).
    const double plane[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double theta = 30.0, ninety = 90.0;
    for (const V3 &origin : {V3{0, 0, 0}, V3{1, 7, 1}}) {
        const V3 point = {origin[0] + 1, origin[1], origin[2] + 2};  // in-plane (1, 2)
        double xy[2];
        GetPointOnXYPlane(xy, point.data(), origin.data(), plane, &theta);
        EXPECT_NEAR(xy[0], 1.8660254037844386, 1e-12);
        EXPECT_NEAR(xy[1], 1.2320508075688772, 1e-12);
        const V3 off = {point[0], point[1] + 4.0, point[2]};  // off the plane: projected
        GetPointOnXYPlane(xy, off.data(), origin.data(), plane, &theta);
        EXPECT_NEAR(xy[0], 1.8660254037844386, 1e-12);
    }
    const V3 e1 = {1, 0, 0}, o = {0, 0, 0};
    double xy[2];
    GetPointOnXYPlane(xy, e1.data(), o.data(), identity, &ninety);
    EXPECT_NEAR(xy[0], 0.0, 1e-16);
    EXPECT_EQ(xy[1], -1.0);

    // A plane through (1, 2, 3) tilted by 30 degrees about x: the projected tests
    // agree with the plane tests of the point's own in-plane coordinates.
    const double c = std::cos(kPi / 6), s = std::sin(kPi / 6);
    const double tilted[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    const V3 ref = {1, 2, 3};
    std::mt19937 g(13);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    const double corners[10] = {-1, 2, 2.5, 0, -2, -1, -1, 1.5, 2, 1};  // a pentagon: x then y
    const int32_t five = 5;
    for (int k = 0; k < 2000; ++k) {
        const double along_x = u(g), along_y = u(g), lift = u(g), turn = 20.0;
        V3 p;
        for (int i = 0; i < 3; ++i) p[i] = ref[i] + along_x * tilted[i] + along_y * tilted[3 + i] + lift * tilted[6 + i];
        // In-plane coordinates turned by -20 degrees.
        const double t = turn * kPi / 180.0;
        const double x = std::cos(t) * along_x + std::sin(t) * along_y, y = -std::sin(t) * along_x + std::cos(t) * along_y;
        const double a = 1.5, b = 2.5, m = 2.5;
        const auto in = [](double v) { return v >= 0.0 && v <= 1.0 ? 1 : 0; };
        const int32_t ids[4] = {0, 1, 2, 3};
        const int expected[4] = {in(Ellipse(&x, &y, &m, &m, nullptr)), in(Ellipse(&x, &y, &a, &b, nullptr)),
                                 in(Rectangle(&x, &y, &m, &m, nullptr)), in(Rectangle(&x, &y, &a, &b, nullptr))};
        for (int id = 0; id < 4; ++id) {
            const double value = id < 2 ? Ellipse(&x, &y, id == 0 ? &m : &a, id == 0 ? &m : &b, nullptr)
                                        : Rectangle(&x, &y, id == 2 ? &m : &a, id == 2 ? &m : &b, nullptr);
            if (std::abs(value - 1.0) < 1e-9) continue;  // too close to the boundary to compare
            EXPECT_EQ(ProjectedPointInShape(p.data(), &a, &b, &turn, ref.data(), tilted, &ids[id]), expected[id]);
        }
        const double poly = Polygon(&x, &y, corners, corners + 5, &five);
        EXPECT_EQ(ProjectedPointInPolygon(p.data(), corners, &turn, ref.data(), tilted, &five), poly == 0.0 ? 1 : 0);
    }
}

}  // namespace
