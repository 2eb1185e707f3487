// The resin material point writes only within its counts: a state shorter
// than its 22 entries, 4-component points, and refused component counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using ResinMaterial = SharedState;
using Out = kestro_test::Out<double, 0.0>;

TEST_F(ResinMaterial, WritesStayWithinTheCounts) {
    materialdata::modelid = 1;
    // ntens, nstatv; uniaxial stress 30 under E 3000, nu 0.35 (lambda + 2 mu = 4814.8..., lambda = 2592.5...).
    for (const auto &[ntens, nstatv] : {std::pair{6, 21}, {4, 22}, {4, 0}, {3, 22}}) {
        Out stress(ntens), statev(nstatv), ddsdde(ntens * ntens);
        const double props[11] = {20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1}, zero6[6] = {};
        const double dstran[6] = {0.01, -0.0035, -0.0035, 0, 0, 0}, time[2] = {0.5, 0.5};
        const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        double sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0, pnewdt = 1, ddsddt[6] = {}, drplde[6] = {};
        const double scalar = 0.1, predef[1] = {};
        const int32_t ndi = 3, nshr = ntens - 3, nprops = 11, one = 1, jstep[4] = {1, 1, 1, 0};
        conventions::Umat u{stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, ddsddt, drplde,
                            &drpldt, zero6, dstran, time, &scalar, &scalar, &scalar, predef, predef,
                            solver::kWrapperName.data(), &ndi, &nshr, &ntens, &nstatv, props, &nprops, zero6, eye,
                            &pnewdt, &scalar, eye, eye, &one, &one, &one, &one, jstep, &one, solver::kNameLength};
        conventions::call(&toplevel::umat_resin, u);
        EXPECT_TRUE(stress.guards_intact() && statev.guards_intact() && ddsdde.guards_intact()) << ntens << nstatv;
        if (ntens == 3) {
            EXPECT_EQ(errorhandling::errstat, -2);
            continue;
        }
        EXPECT_NEAR(stress[0], 30.0, 1e-12);
        EXPECT_NEAR(ddsdde[ntens + 1], 3000 * 0.65 / (1.35 * 0.3), 1e-4);
        EXPECT_NEAR(ddsdde[1], 3000 * 0.35 / (1.35 * 0.3), 1e-4);
        if (nstatv > 0) {
            EXPECT_EQ(statev[0], 1.0);  // fresh: the cycle number starts at 1
        }
    }
}

}  // namespace
