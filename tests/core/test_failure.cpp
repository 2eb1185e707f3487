// The failure drivers on tables with no room to spare, under the sanitizers:
// a ply or section outside the tables reads nothing, and the C entry without
// extents takes those of the shared material tables, of two temperatures here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/failure.hpp"
#include "shared_state.hpp"

namespace {

using Failure = SharedState;

TEST_F(Failure, PliesOutsideTheTablesAndSharedExtents) {
    using kestro::materialdata::peprops;
    using kestro::materialdata::psprops;
    const int32_t nlayer = 2, nsec = 1, nprops = 0, matrix = 1;
    double *strengths = psprops.create(20, 2, 1);  // two temperatures: 10 values each
    double *constants = peprops.create(18, 2, 1);
    for (int ply = 0; ply < 2; ++ply)
        for (int k = 0; k < 20; ++k) strengths[20 * ply + k] = k < 10 ? 100.0 : 1.0;
    const std::vector<double> angles(2, 0.0), stress{0.0, 50.0, 0.0, 0.0, 0.0, 0.0};
    double f = -1.0, r = -1.0, theta = -1.0;
    // Ply 2 of the section: with the shared extent 20 its strengths are 100 (with 10 they would be 1).
    const int32_t second = 2, first_section = 1;
    MatrixCracking(&f, &r, stress.data(), constants, strengths, nullptr, angles.data(), &second, &first_section,
                   &nlayer, &nsec, &nprops, &matrix, &theta, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 0.5);
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
    // A mode switched off says nothing, whatever the ply.
    const int32_t off = 0, beyond = 3;
    MatrixCracking(&f, &r, stress.data(), constants, strengths, nullptr, angles.data(), &beyond, &first_section,
                   &nlayer, &nsec, &nprops, &off, &theta, nullptr, nullptr, nullptr);
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
    for (const int32_t layer : {0, 3}) {
        for (const int32_t section : {0, 1, 2}) {
            if (section == 1 && layer == 0) continue;
            f = r = -1.0;
            MatrixCracking(&f, &r, stress.data(), constants, strengths, nullptr, angles.data(), &layer, &section,
                           &nlayer, &nsec, &nprops, &matrix, &theta, nullptr, nullptr, nullptr);
            EXPECT_EQ(f, 0.0);
            EXPECT_EQ(r, 0.0);
            const int32_t core = 3, extent = 20;
            kestro::failure::corecrushing(&f, &r, stress.data(), strengths, angles.data(), &layer, &section, &core,
                                          &nlayer, &nsec, &extent);
            EXPECT_EQ(r, 0.0);
        }
    }
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
    psprops.drop();
    peprops.drop();
}

}  // namespace
