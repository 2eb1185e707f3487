// The section tables and transverse stresses on arrays with no room to spare,
// under the sanitizers: every routine writes exactly its extent, a section of
// more plies than the stack holds takes the heap, and counts below 1 write
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decl/laminate.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"

namespace {

using Laminate = SharedState;
constexpr double kFill = -777.0;

using Out = kestro_test::Out<double, kFill>;

TEST_F(Laminate, ExtentsAreKeptAndManyPliesTakeTheHeap) {
    // A homogeneous section of 70 plies of 1/70: f4 = 1.5 - 6 z^2 at every point.
    const int32_t plies = 70, one = 1, shear = 1;
    const double iso[9] = {1000, 1000, 1000, 0.25, 0.25, 0.25, 400, 400, 400};
    std::vector<int32_t> ids(plies, 1);
    std::vector<double> angles(plies, 0.0), t(plies, 1.0 / plies), z(2 * plies + 1), elastic;
    for (int i = 0; i < plies; ++i) elastic.insert(elastic.end(), iso, iso + 9);
    GetSectionZCoord(z.data(), ids.data(), t.data(), &plies, &one, nullptr);
    Out f(4 * (2 * plies + 1)), h(4);
    GetArbitrarySectionFG(f.data(), ids.data(), angles.data(), t.data(), z.data(), elastic.data(), &plies, &one, &shear,
                          &shear, nullptr, nullptr, nullptr);
    GetSectionHMatrix(h.data(), ids.data(), angles.data(), t.data(), elastic.data(), &plies, &one, nullptr, nullptr,
                      nullptr);
    EXPECT_TRUE(f.guards_intact() && h.guards_intact());
    for (int64_t row = 0; row <= 2 * plies; ++row)
        EXPECT_NEAR(f.v[static_cast<std::size_t>(3 * (2 * plies + 1) + row)], 1.5 - 6.0 * z[row] * z[row], 1e-12);
    EXPECT_NEAR(h.v[0], 1000.0 / 3.0, 1e-9);
    EXPECT_EQ(kestro::errorhandling::errstat, 0);

    // The stresses at the section points: nplies nspt rows of two, none for a count below 1.
    for (const int32_t points : {3, 1, 0, -1}) {
        const double r[2] = {0.5, 1.0};
        Out tau(2 * plies * std::max(points, 0));
        GetExt2DShearStress(tau.data(), r, angles.data(), f.data(), &points, &plies);
        EXPECT_TRUE(tau.guards_intact()) << points;
    }
    Out s33(2 * plies + 1), sint(2 * plies + 1), sbt(12 * plies);
    const double rd[2] = {1.0, 2.0};
    GetNormalStressFromBottom(s33.data(), rd, rd, z.data(), f.data(), &plies);
    std::vector<double> stress(2 * plies, 1.0), sestress(6 * 2 * plies, 1.0);
    std::vector<int32_t> counts(plies, 2);
    const int32_t rows = 2 * plies + 1;
    const double ki = 0.1, kj = 0.2;
    GetIntegralOfMembraneNormalStress(sint.data(), stress.data(), z.data(), counts.data(), &ki, &kj, &rows, &plies);
    GetPlyBottomTopStress(sbt.data(), sestress.data(), counts.data(), &rows, &plies);
    EXPECT_TRUE(s33.guards_intact() && sint.guards_intact() && sbt.guards_intact());
    // A z table of fewer rows than the plies need: only the plies within it.
    const int32_t short_rows = 5;
    Out part(short_rows);
    GetIntegralOfMembraneNormalStress(part.data(), stress.data(), z.data(), counts.data(), &ki, &kj, &short_rows,
                                      &plies);
    EXPECT_TRUE(part.guards_intact());
}

}  // namespace
