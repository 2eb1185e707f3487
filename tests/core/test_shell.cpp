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

}  // namespace
