// The curing resin on inputs that fall short: a cure table of two rows (the
// point's column last in the array, so the sanitizers see any read past it),
// properties of exactly their length and state variables with guard entries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro;
using CuringResin = SharedState;
using Out = kestro_test::Out<double, -7.0>;

const std::string kName = "resin_l@1@_s@1@";

// One call of umat_prony: stress and tangent of 6 components with guards.
struct Point {
    std::vector<double> props;
    int32_t nstatv = 510;
    double temp = 420.0;
    Out stress{6}, ddsdde{36}, statev{nstatv};

    void run() {
        const int32_t three = 3, six = 6, one = 1, nprops = static_cast<int32_t>(props.size()), jstep[4] = {};
        const double stran[6] = {1e-3, 0, 0, 0, 0, 0}, dstran[6] = {1e-3, 0, 0, 0, 0, 2e-3}, time[2] = {0, 1};
        const double dtime = 0.1, zero = 0.0, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        double sse = 0, spd = 0, scd = 0, rpl = 0, ddsddt[6] = {}, drplde[6] = {}, drpldt = 0, pnewdt = 1;
        toplevel::umat_prony(stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, ddsddt, drplde,
                             &drpldt, stran, dstran, time, &dtime, &temp, &zero, &zero, &zero, kName.data(), &three,
                             &three, &six, &nstatv, props.data(), &nprops, eye, eye, &pnewdt, &zero, eye, eye, &one,
                             &one, &one, &one, jstep, &one, kName.size());
    }
};

TEST_F(CuringResin, ShortCureTablesReadAsZeros) {
    double *table = materialdata::cuprops.create(2, 8, 1, 1);
    table[8] = 0.05, table[9] = 5.0;  // column 5: reachable degree
    table[14] = 17.44;                // column 8: A alone
    const double temp[2] = {450.0, 5.0}, time[2] = {0.0, 1.0}, dtime = 1.0, zero = 0.0;
    Out statev{510}, flux{2}, expan{6}, dexpandt{6};
    statev.v[0] = 0.0, statev.v[3] = 0.0;
    toplevel::hetval_prony(kName.data(), temp, time, &dtime, statev.data(), flux.data(), &zero, &zero, kName.size());
    const std::string message = "Warning: Too few properties in hetval_prony";
    EXPECT_EQ(std::string(errorhandling::errstring, message.size()), message);
    EXPECT_EQ(flux[0], 0.0);       // no heat of reaction given: 0
    EXPECT_EQ(statev[2], 273.15);  // Tg0 = Tginf = 0
    const int32_t n = 510, noel = 1;
    toplevel::uexpan_prony(expan.data(), dexpandt.data(), temp, time, &dtime, &zero, &zero, statev.data(),
                           kName.data(), &n, &noel, kName.size());
    EXPECT_EQ(expan.body(), std::vector<double>(6, 0.0));  // rows 3 to 6 of columns 3, 4 read 0
    Point p{{1, 0, 0, 0, 0, 1000, 400, 600, 300, 500, 0.3, 1.0}};
    p.statev.v[2] = 400.0;
    p.run();
    EXPECT_EQ(p.statev[508], -17.44 * 20.0 / 20.0);  // B = Q = dT = 0
    EXPECT_TRUE(statev.guards_intact() && flux.guards_intact() && expan.guards_intact() && p.statev.guards_intact());
}

TEST_F(CuringResin, PronyWritesOnlyItsLayout) {
    Point p{{1, 1, 1, 1, 1, 1000, 400, 600, 300, 500, 0.1, 1, 0.2, 2, 0.3, 3, 0.4, 4, 0.5, 5}};
    p.run();  // no cure table: no shift
    for (int64_t i = 0; i < 510; ++i) {
        const bool written = (i >= 8 && i < 21) || i == 500 || i == 501 || i == 508 || i == 509;
        EXPECT_EQ(p.statev[i] != -7.0, written) << i;
    }
    EXPECT_TRUE(p.stress.guards_intact() && p.ddsdde.guards_intact() && p.statev.guards_intact());
}

TEST_F(CuringResin, PronyCountsBeyondAnyArrayAreRefusedAndNaNCountsNone) {
    Point huge{{1e300, 0, 0, 0, 0, 1000, 400, 600, 300, 500, 0.3, 1.0}};
    huge.run();
    EXPECT_TRUE(huge.stress.untouched() && huge.ddsdde.untouched() && huge.statev.untouched());
    EXPECT_EQ(errorhandling::errstat, -2);
    Point nan{{std::numeric_limits<double>::quiet_NaN(), -1, 0, 0, -3, 1000, 400, 600, 300, 500}};
    nan.run();
    EXPECT_EQ(nan.stress[0], -7.0 + 1000.0 * 1e-3);
}

}  // namespace
