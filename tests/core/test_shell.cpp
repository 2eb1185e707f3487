// Shell routines with node counts they do not support: zero results, one
// record, nothing read or written outside the 8-node arrays (sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
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

TEST_F(Shell, ElementOutputsOfEveryCount) {
    // A tangent with a zero row and column 5: the general plane-stress case is singular.
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
    }
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

}  // namespace
