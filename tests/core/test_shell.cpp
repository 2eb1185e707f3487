// Shell routines with node counts they do not support: zero results, one
// record, nothing read or written outside the 8-node arrays (sanitizers).
// The shear force derivatives as the product of their matrix with u.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "decl/elementhandling.hpp"
#include "elements/shapes.hpp"
#include "shared_state.hpp"

namespace {

using Shell = SharedState;

TEST_F(Shell, UnsupportedNodeCounts) {
    const std::array<double, 24> ncoords{};  // eight nodes at most
    const std::array<double, 40> u{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                   1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const std::array<double, 4> hmat{1, 0, 0, 1};
    const double xi = 0.1, eta = 0.2;
    for (int32_t n : {4, 9, 40, -3}) {
        SCOPED_TRACE(n);
        std::vector<double> b(8 * 40, 7.0), d(2 * 40, 7.0), r(2, 7.0);
        ShellBMatrix(b.data(), ncoords.data(), &n, &xi, &eta);
        ShellxDerivBMatrix(d.data(), ncoords.data(), &n, &xi, &eta);
        ShellyDerivShearForces(r.data(), u.data(), hmat.data(), ncoords.data(), &n, &xi, &eta);
        EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](double v) { return v == 0.0; }));
        EXPECT_TRUE(std::all_of(d.begin(), d.end(), [](double v) { return v == 0.0; }));
        EXPECT_EQ(r, (std::vector<double>{0.0, 0.0}));
        EXPECT_EQ(kestro::errorhandling::errstat, -3);
        reset();
    }
    // Packing more than eight nodes stops at the 40 entries.
    std::vector<double> nmotion(5 * 12, 1.0), packed(40, 0.0);
    const int32_t nodes = 12, dof = 5;
    GetDisplacementVector(packed.data(), nmotion.data(), &nodes, &dof);
    EXPECT_TRUE(std::all_of(packed.begin(), packed.end(), [](double v) { return v == 1.0; }));
}

// d(shear forces)/dx and /dy are hmat (derivative matrix) u for a curved
// triangle and quadrilateral; an Inf among the in-plane freedoms meets the
// zeros of the matrix and gives NaN, as the whole product does.
TEST_F(Shell, ShearForceDerivativesAreTheMatrixProduct) {
    const std::array<double, 24> quad = {-1.2, -0.9, 0.0, 1.1, -1.0, 0.1, 1.3, 1.1, 0.0, -1.0, 0.9, 0.2,
                                         0.1,  -1.1, 0.0, 1.3, 0.1,  0.0, 0.0, 1.2, 0.1, -1.2, 0.0, 0.0};
    const std::array<double, 24> tria = {0.0, 0.0, 0.0, 1.0, 0.0, 0.1, 0.0, 1.1, 0.0,
                                         0.5, 0.02, 0.0, 0.52, 0.55, 0.1, 0.01, 0.5, 0.0};
    const std::array<double, 4> hmat = {2.0, 0.25, 0.5, 3.0};
    const double xi = 0.3, eta = 0.2;
    using Matrix = void (*)(double *, const double *, const int32_t *, const double *, const double *);
    using Forces = void (*)(double *, const double *, const double *, const double *, const int32_t *, const double *,
                            const double *);
    const std::pair<Matrix, Forces> routines[] = {{ShellxDerivBMatrix, ShellxDerivShearForces},
                                                  {ShellyDerivBMatrix, ShellyDerivShearForces}};
    for (const int32_t nodes : {6, 8})
        for (const double first : {0.5, std::numeric_limits<double>::infinity()})
            for (const auto &[matrix, forces] : routines) {
                const double *coords = nodes == 6 ? tria.data() : quad.data();
                std::array<double, 40> u{};
                for (int k = 0; k < 40; ++k) u[k] = 0.01 * (k + 1) * (k % 3 == 0 ? -1.0 : 1.0);
                u[0] = first;  // u of node 1
                double m[80], v[2] = {0.0, 0.0}, r[2];
                matrix(m, coords, &nodes, &xi, &eta);
                for (int k = 0; k < 40; ++k) {
                    v[0] += m[2 * k] * u[k];
                    v[1] += m[2 * k + 1] * u[k];
                }
                forces(r, u.data(), hmat.data(), coords, &nodes, &xi, &eta);
                SCOPED_TRACE(::testing::Message() << nodes << " nodes, u1 " << first);
                if (std::isfinite(first)) {
                    EXPECT_DOUBLE_EQ(r[0], hmat[0] * v[0] + hmat[2] * v[1]);
                    EXPECT_DOUBLE_EQ(r[1], hmat[1] * v[0] + hmat[3] * v[1]);
                    EXPECT_NE(r[0], 0.0);
                } else {
                    EXPECT_TRUE(std::isnan(r[0]) && std::isnan(r[1]));
                }
            }
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

TEST_F(Shell, ElementOutputsOfEveryCount) {
    // A tangent with a zero row and column 5: singular, so plane stress condenses 33 out of the
    // stress (s12 - C43 s33 / C33 = 4) and records nothing.
    std::array<double, 36> c{};
    for (int i = 0; i < 6; ++i) c[i * 6 + i] = i == 4 ? 0.0 : 10.0 + i;
    const std::array<double, 6> s3 = {1, 2, 3, 4, 5, 6};
    const kestro_logical1 axial = 1;
    for (int32_t n : {3, 4, 6, 5}) {
        std::array<double, 6> stress{};
        std::array<double, 36> tangent{};
        tangent.fill(-1.0);
        GetElemOutputFrom3D(stress.data(), tangent.data(), s3.data(), c.data(), &n, &axial);
        EXPECT_EQ(tangent[0], n == 5 ? -1.0 : 10.0);  // a count of 5 leaves it as it was
        if (n == 4) {
            EXPECT_EQ(stress[1], 3.0);  // the axial component
        }
        if (n == 3) {
            EXPECT_EQ(stress[2], 4.0);
        }
    }
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

}  // namespace
