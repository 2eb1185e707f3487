// The ply entries from C++ on layouts they do not serve: every write stays
// within the caller's counts (guard buffers), the stiffness's error is
// recorded and the outputs over the counts are zero, the state untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using PlyEntries = SharedState;
using Out = kestro_test::Out<double, -7.0>;

const double kPly[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};

TEST_F(PlyEntries, ImplicitLayoutsWithoutAStiffnessWriteOnlyZeros) {
    for (const auto &[ndi, nshr, ntens] : {std::tuple{3, 4, 7}, {3, 2, 6}, {0, 6, 6}, {4, 2, 6}, {2, 1, 3}}) {
        Out stress(ntens), ddsdde(ntens * ntens), statev(40);
        double sse = -7.0, spd = -7.0, scd = -7.0, time[2] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const double strain[7] = {1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3};
        const int32_t nstatv = 40, nprops = 9, jstep[1] = {1};
        conventions::Umat point{};
        point.stress = stress.data(), point.statev = statev.data(), point.ddsdde = ddsdde.data();
        point.sse = &sse, point.spd = &spd, point.scd = &scd, point.stran = strain, point.dstran = strain;
        point.time = time, point.drot = eye, point.ndi = &ndi, point.nshr = &nshr, point.ntens = &ntens;
        point.nstatv = &nstatv, point.props = kPly, point.nprops = &nprops, point.jstep = jstep;
        point.cmname = solver::kWrapperName.data(), point.cmname_len = solver::kNameLength;
        reset();
        conventions::call(toplevel::umat_lamina, point);
        const bool served = ntens == 3;
        EXPECT_TRUE(stress.guards_intact() && ddsdde.guards_intact() && statev.guards_intact()) << ntens;
        EXPECT_EQ(statev.untouched(), !served) << ndi << nshr;
        EXPECT_EQ(spd + scd, 0.0);
        if (served) continue;
        EXPECT_EQ(recorded(), "Unsupported dimension in GetNyeStiffnessMatrix");
        EXPECT_EQ(stress.body(), std::vector<double>(std::size_t(ntens), 0.0));
        EXPECT_EQ(sse, 0.0);
        for (int64_t k = 0; k < ddsdde.size(); ++k) EXPECT_EQ(ddsdde[k], 0.0);
    }
}

TEST_F(PlyEntries, ExplicitBlocksOfOtherCountsKeepTheirStress) {
    const int32_t nblock = 2, ndir = 4, nshr = 3, nstatev = 1, nprops = 9, nfieldv = 0;
    double stressold[14], increment[14], density[2] = {1.0, 1.0}, energy[2] = {0.5, 1.0};
    for (int k = 0; k < 14; ++k) stressold[k] = k, increment[k] = 1e-3;
    Out stressnew(14), statenew(2), internal(2), inelastic(2);
    conventions::Vumat block{};
    block.nblock = &nblock, block.ndir = &ndir, block.nshr = &nshr, block.nstatev = &nstatev;
    block.nfieldv = &nfieldv, block.nprops = &nprops, block.props = kPly, block.density = density;
    block.straininc = increment, block.stressold = stressold, block.enerinternold = energy;
    block.stressnew = stressnew.data(), block.statenew = statenew.data(), block.enerinternnew = internal.data();
    block.enerinelasnew = inelastic.data(), block.cmname = solver::kWrapperName.data();
    conventions::call(toplevel::vumat_lamina, block);
    EXPECT_EQ(recorded(), "Unsupported dimension in GetNyeStiffnessMatrix");
    EXPECT_TRUE(stressnew.guards_intact() && statenew.guards_intact() && internal.guards_intact());
    for (int k = 0; k < 14; ++k) EXPECT_EQ(stressnew[k], k);
    // 0.5 (2 old) . e, shears doubled: point 1 (0, 2, ..., 12) . (1, 1, 1, 1, 2, 2, 2) 1e-3.
    EXPECT_DOUBLE_EQ(internal[0], 0.5 + (0 + 2 + 4 + 6 + 2 * (8 + 10 + 12)) * 1e-3);
    EXPECT_EQ(statenew[0] + statenew[1] + inelastic[0] + inelastic[1], 0.0);
}

TEST(PlyEntriesMarc, WithoutComponentsOnlyTheErrorCode) {
    Out d(1), g(1), s(1);
    int32_t error_code = 5, ngens = 0;
    conventions::Hypela point{};
    point.d = d.data(), point.g = g.data(), point.s = s.data(), point.ngens = &ngens, point.error_code = &error_code;
    conventions::call(toplevel::hypela_lamina, point);
    EXPECT_EQ(error_code, 0);
    EXPECT_TRUE(d.untouched() && g.untouched() && s.untouched());
}

}  // namespace
