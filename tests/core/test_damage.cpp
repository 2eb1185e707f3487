// Damage regions on tables of every awkward size, under the sanitizers:
// plies, sections and sets beyond the tables, short plane rows, outlines that
// fill their column, and buckling tables too short to hold an ellipse.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "core/shared_data.hpp"
#include "decl/damage.hpp"
#include "shared_state.hpp"

namespace {

using DamageRegions = SharedState;

TEST_F(DamageRegions, TablesAreReadWithinTheirExtents) {
    using namespace kestro;
    damagedata::generaldds.create(3, 2, 1);
    damagedata::delamdds.create(3, 1, 2);
    damagedata::dmgplane.create(2, 1);  // no angle row
    double *outline = damagedata::dmgpoints.create(6, 2, 6, 1);
    for (int k = 0; k < 6 * 2 * 6; ++k) outline[k] = (k % 6 == 2 || k % 6 == 5) ? 1.0 : 0.5 * (k % 3);  // no end mark
    bukdata::bukintdatalist.create(4, 1, 1, 1);
    bukdata::bukrealdatalist.create(5, 1, 1, 1);  // no angle row: read nothing
    bukdata::bukintdatalist(1, 1, 1, 1) = 1;
    bukdata::bukintdatalist(2, 1, 1, 1) = 1;
    bukdata::bukintdatalist(3, 1, 1, 1) = 2;
    damagedata::generaldds(1, 2, 1) = damagedata::generaldds(2, 2, 1) = 2.0;
    const std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::array<double, 3> point{0.5, 0.5, 0.0};
    for (const int32_t ply : {0, 1, 2, 3, 7})
        for (const int32_t sec : {0, 1, 2}) {
            std::array<double, 12> sdv{};
            GetDamageFromDDS(sdv.data(), point.data(), axes.data(), &ply, &sec);
            if (ply == 2) {
                EXPECT_EQ(sdv[0], 1.0);
            } else if (ply != 1) {
                EXPECT_EQ(sdv, (std::array<double, 12>{})) << ply;
            }
        }
    int32_t ierror = -1;
    const std::array<double, 5> all{1, 1, 1, 1, 1};
    const int32_t beyond = 3, set = 1, sec = 1;
    damagedata::damagedds.create(1);
    UpdateDDS(&ierror, all.data(), point.data(), point.data(), axes.data(), &beyond, &sec, &set);
    EXPECT_EQ(ierror, 1);
    const int32_t second = 2;
    UpdateDDS(&ierror, all.data(), point.data(), axes.data(), axes.data(), &second, &sec, &set);
    EXPECT_EQ(ierror, 0);  // the delamination table holds no interface 2: only the general region grows
}

}  // namespace
