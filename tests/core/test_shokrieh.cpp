// The Shokrieh point from C++: every layout reads and writes the caller's
// arrays only within their counts (guard buffers; the angle past a short
// property list would turn the ply into a woven layer if it were read).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using Out = kestro_test::Out<double, -7.0>;
using ShokriehPoint = SharedState;

TEST_F(ShokriehPoint, ArraysAreUsedWithinTheirCounts) {
    std::vector<double> props{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000, 50, 50, 1200, 200, 200, 80,
                              80, 60, 0.1};
    props.resize(149, 0.0);
    props[148] = 30.0;  // the angle, past a list of 148
    const struct {
        int32_t ntens, nstatv, nprops;
        std::string record;
        bool woven;
    } cases[] = {{6, 312, 149, "", true},
                 {3, 312, 149, "", true},
                 {4, 312, 148, "", false},
                 {6, 320, 90, "Warning: Too few properties in GetShokrieh", false},
                 {6, 311, 149, "Unsupported dimension in umat_shokrieh", false},
                 {5, 312, 149, "Unsupported dimension in umat_shokrieh", false}};
    for (const auto &c : cases) {
        SharedState::reset();
        Out stress(c.ntens), ddsdde(c.ntens * c.ntens), statev(c.nstatv);
        std::fill_n(statev.data(), c.nstatv, 0.0);
        double sse = 0.0, zero = 0.0, time[2] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        double strain[7] = {1e-3, -1e-3, 0, 2e-3, 0, 0, -7.0};
        int32_t ndi = 3, nshr = c.ntens - 3, jstep[4] = {1, 1, 1, 0}, one = 1;
        conventions::Umat u{};
        u.stress = stress.data(), u.statev = statev.data(), u.ddsdde = ddsdde.data(), u.sse = u.spd = u.scd = &sse;
        u.stran = u.dstran = strain, u.time = time, u.dtime = u.temp = u.dtemp = &zero, u.drot = eye;
        u.ndi = &ndi, u.nshr = &nshr, u.ntens = &c.ntens, u.nstatv = &c.nstatv, u.props = props.data();
        u.nprops = &c.nprops, u.noel = u.npt = u.layer = u.kspt = u.kinc = &one, u.jstep = jstep;
        u.cmname = solver::kWrapperName.data(), u.cmname_len = solver::kNameLength;
        conventions::call(toplevel::umat_shokrieh, u);
        EXPECT_EQ(recorded(), c.record);
        EXPECT_TRUE(stress.guards_intact() && ddsdde.guards_intact() && statev.guards_intact());
        if (c.record.starts_with("Unsupported")) {
            EXPECT_TRUE(stress.untouched() && ddsdde.untouched() && sse == 0.0);
            EXPECT_TRUE(std::all_of(statev.v.begin(), statev.v.begin() + c.nstatv, [](double v) { return v == 0; }));
        } else {
            EXPECT_EQ(statev[0], c.woven ? 30.0 : 0.0);
            EXPECT_EQ(statev[79] != 0.0, c.woven);  // layer 2's stress
        }
    }
}

}  // namespace
