// The sensor materials write only within the caller's counts: the state to
// nstatv (nstatev per point of a block, also with fewer than three values in
// an impact step), the stress and tangent to ntens, nothing past a block.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"

namespace {

using Out = kestro_test::Out<double, -7.0>;
const std::vector<double> kCprops = {10, 2, 0.3, 1.5, -2, 9.8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(SensorMaterial, ImplicitPointWritesWithinItsCounts) {
    for (const auto &[ntens, ndi, nstatv] : {std::tuple{6, 3, 2}, {6, 3, 3}, {4, 3, 5}, {3, 2, 6}, {6, 3, 0}}) {
        const int32_t nshr = ntens - ndi, nprops = 2, one = 1, impact = 3;
        const std::vector<double> zeros(9, 0.0), dstran(6, 1e-3), props = {4, 5};
        Out stress(ntens), statev(nstatv), ddsdde(ntens * ntens), dprops(12);
        double sse = 0, spd = 1, scd = 1, rpl = 0, pnewdt = 1;
        kestro::toplevel::umat_sensor(stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, nullptr,
                                      nullptr, nullptr, zeros.data(), dstran.data(), zeros.data(), zeros.data(),
                                      zeros.data(), zeros.data(), zeros.data(), zeros.data(), "S", &ndi, &nshr, &ntens,
                                      &nstatv, props.data(), &nprops, zeros.data(), zeros.data(), &pnewdt,
                                      zeros.data(), zeros.data(), zeros.data(), &one, &one, &one, &one, &one, &impact,
                                      kCprops.data(), dprops.data(), 1);
        EXPECT_TRUE(stress.guards_intact() && statev.guards_intact() && ddsdde.guards_intact()) << nstatv;
        EXPECT_TRUE(dprops.guards_intact() && dprops[7] == 4.0 && dprops[11] == -7.0);
        const std::vector<double> expected = {1.5, -2, 9.8, 0, 0, 0};
        for (int32_t k = 0; k < nstatv; ++k)
            EXPECT_EQ(statev[k], nstatv > 5 && k >= 3 ? kCprops[k - 3] : expected[k]);
        EXPECT_EQ(ddsdde[ntens * ntens - 1], 3.355704697986577e-21);
    }
}

TEST(SensorMaterial, ExplicitBlockWritesItsStateWithinNstatev) {
    for (const int32_t nstatev : {0, 1, 2, 6}) {
        const int32_t nblock = 2, ndir = 3, nshr = 3, nprops = 0, zero = 0, impact = 3;
        const std::vector<double> zeros(36, 0.0), density = {1, 1};
        std::vector<double> straininc(12, 1e-3);
        Out stressnew(12), statenew(nblock * nstatev), internal(nblock), inelastic(nblock), dprops(12);
        kestro::toplevel::vumat_sensor(&nblock, &ndir, &nshr, &nstatev, &zero, &nprops, &zero, zeros.data(),
                                       zeros.data(), zeros.data(), "S", zeros.data(), zeros.data(), zeros.data(),
                                       density.data(), straininc.data(), zeros.data(), zeros.data(), zeros.data(),
                                       zeros.data(), zeros.data(), zeros.data(), zeros.data(), zeros.data(),
                                       zeros.data(), zeros.data(), zeros.data(), zeros.data(), zeros.data(),
                                       stressnew.data(), statenew.data(), internal.data(), inelastic.data(), &impact,
                                       kCprops.data(), dprops.data(), 1);
        EXPECT_TRUE(stressnew.guards_intact() && statenew.guards_intact() && internal.guards_intact()) << nstatev;
        EXPECT_TRUE(dprops.untouched());  // no two properties
        for (int32_t k = 0; k < nstatev; ++k)
            EXPECT_EQ(statenew[nblock * k + 1], k < 3 ? kCprops[k + 3] : kCprops[k - 3]);
    }
}

}  // namespace
