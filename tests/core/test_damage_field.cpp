// The damage field driver on a section of three plies: the block it keeps,
// the stresses it takes from the stored tables, and indexes that the shared
// tables do not hold (under the sanitizers nothing may be read outside them).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/listhandling.hpp"
#include "decl/toplevel.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro;
// Releases the reference-data lists the first increments fill.
class DamageField : public SharedState {
protected:
    void TearDown() override {
        const int32_t list = 1;
        for (int32_t kind = 0; kind < 3; ++kind) {
            int32_t status = 0;
            DeallocateList(&list, &kind, &status);
        }
        SharedState::TearDown();
    }
};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Section id 7 of three plies, strengths Xt 1000, 50, 100, Xc 1000, 200, 200,
// S 80, ILSS 100; criterion ids of ply 1, every switch on; step kinds.
void section(std::array<int32_t, 5> ids, std::vector<int32_t> kinds = {0, 1, 4, 5}) {
    using namespace materialdata;
    sectiondata::nplies = 3, sectiondata::nsec = 1;
    sectiondata::secidlist.create(1)[0] = 7;
    pfflags.create(5, 3, 1), peflags.create(5, 3, 1), peprops.create(9, 3, 1), psprops.create(10, 3, 1);
    peflags.fill(1);
    for (int m = 0; m < 5; ++m) pfflags(m + 1, 1, 1) = ids[m];
    const double x[10] = {1000, 50, 100, 1000, 200, 200, 80, 80, 80, 100};
    for (int p = 1; p <= 3; ++p)
        for (int k = 0; k < 10; ++k) psprops(k + 1, p, 1) = x[k];
    if (kinds.empty()) return;
    jobdata::stepid.create(static_cast<int64_t>(kinds.size()));
    std::copy(kinds.begin(), kinds.end(), jobdata::stepid.ptr());
}

struct Point {
    std::vector<double> field = std::vector<double>(5), statev = std::vector<double>(40), table;
    double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, celent = 0.5, time[2] = {}, dtime = 0.1, coord[3] = {};
    std::string cmname = "PLY_S@7@";
    int32_t noel = 11, npt = 1, layer = 2, kspt = 1, kstep = 2, kinc = 1;

    double &entry(int k) { return statev[statev.size() - 40 + static_cast<std::size_t>(k) - 1]; }
    void call() {
        const int32_t nfield = static_cast<int32_t>(field.size()), nstatv = static_cast<int32_t>(statev.size());
        toplevel::gen_damage(field.data(), statev.data(), eye, eye, &celent, time, &dtime, cmname.data(), &nfield,
                             &nstatv, &noel, &npt, &layer, &kspt, &kstep, &kinc, coord,
                             table.empty() ? nullptr : table.data(), cmname.size());
    }
    void stress(std::array<double, 6> voigt) {
        table.assign(16, 0.0);
        std::copy(voigt.begin(), voigt.end(), table.begin() + 1);
    }
};

TEST_F(DamageField, FirstCallSetsPlySectionAndStartValues) {
    section({});
    for (int m = 1; m <= 5; ++m) materialdata::peflags(m, 2, 1) = 0;
    for (const auto &[layer, fibre, field2] : {std::tuple{2, 0.0, 0.0}, {1, 1.0, 1.0}, {2, 1.0, 0.0}}) {
        Point pt;
        pt.layer = layer, pt.entry(8) = fibre;
        pt.call();
        std::vector<double> expected(40, 0.0);
        expected[7] = fibre, expected[20] = layer, expected[21] = 1, expected[17] = expected[18] = expected[19] = 1;
        expected[23] = expected[24] = -1, expected[25] = 400 * fibre, expected[34] = 0.5;
        EXPECT_EQ(pt.statev, expected) << layer;
        EXPECT_EQ(pt.field, (std::vector<double>{0, field2, 0, 0, 0})) << layer;
    }
}

TEST_F(DamageField, PlyFromLayerOrNameAndBlockAtTheEnd) {
    section({});
    sectiondata::nplies = 4;
    for (const auto &[name, layer, ply, sec] : {std::tuple{"M_L@7@_S@7@", 1, 7.0, 1.0}, {"M", 9, 4.0, 1.0},
                                                {"M_L@2@", 3, 3.0, 1.0}, {"M_S@8@", 1, 1.0, -1.0}}) {
        Point pt;
        pt.statev.assign(60, 5.0), pt.entry(21) = 0, pt.cmname = name, pt.layer = layer, pt.kstep = 1;
        pt.call();
        EXPECT_EQ(pt.entry(21), ply) << name;
        EXPECT_EQ(pt.entry(22), sec) << name;
        EXPECT_EQ(std::vector<double>(pt.statev.begin(), pt.statev.begin() + 20), std::vector<double>(20, 5.0));
    }
}

TEST_F(DamageField, TableStressInNyeOrderOnlyWithFortyStateVariables) {
    section({});
    for (const std::size_t nstatv : {39, 40}) {
        Point pt;
        pt.statev.assign(nstatv, 0.0), pt.field.assign(5, 9.0);
        pt.stress({1, 2, 3, 4, 5, 6});
        pt.call();
        const std::vector<double> stress(pt.statev.begin(), pt.statev.begin() + 6);
        if (nstatv == 39) EXPECT_TRUE(pt.statev == std::vector<double>(39) && pt.field == std::vector<double>(5, 9));
        else EXPECT_EQ(stress, (std::vector<double>{1, 2, 3, 6, 5, 4}));
    }
}

TEST_F(DamageField, FirstIncrementRecordsNearestElementAndReference) {
    section({}, {});
    loaddata::nimp = 2;  // more than dprops holds
    loaddata::dprops.create(12, 1);
    loaddata::dprops(4, 1) = 25.4, loaddata::dprops(5, 1) = 3;
    loaddata::dprops(6, 1) = loaddata::dprops(7, 1) = kAbsentReal;  // no distance recorded
    sectiondata::plyorientation.create(3, 1);
    Point pt;
    pt.layer = 1, pt.kstep = 1, pt.coord[0] = 1, pt.coord[1] = 2;
    pt.call();
    EXPECT_DOUBLE_EQ(loaddata::dprops(6, 1), std::sqrt(1.0 + 4.0 + 25.4 * 25.4));
    EXPECT_EQ(loaddata::dprops(5, 1), 3.0);
    const int32_t list = 1;
    for (int32_t kind : {0, 1, 2}) EXPECT_EQ(GetSizeOfList(&list, &kind, nullptr, nullptr, nullptr), kind == 1 ? 7 : 1);
}

TEST_F(DamageField, RegionsGrowOnlyInRelaxationStepsAfterTheFirst) {
    section({}, {4, 1, 4});  // steps 1 and 3 relaxation steps
    for (const auto &[kstep, fibre, grown] : {std::tuple{3, 1.0, true}, {3, 0.0, false}, {1, 1.0, false}}) {
        Point pt;
        pt.kstep = kstep, pt.entry(8) = fibre, pt.entry(21) = 1, pt.entry(22) = 1;
        pt.call();
        EXPECT_EQ(damagedata::fiberdds.exists(), grown) << kstep << fibre;
        EXPECT_EQ(pt.field[1], 0.0);  // no evaluation, no fields
        damagedata::fiberdds.drop();
    }
}

TEST_F(DamageField, MatrixFailureCapturesTheFractureAngleOnce) {
    section({0, 0, 3, 0, 0}, {0, 1, 3});
    Point pt;
    pt.layer = 1, pt.stress({0, 60, 0, 0, 0, 0});
    pt.call();
    EXPECT_EQ(pt.entry(9), 1.0);
    EXPECT_NEAR(pt.entry(15), 1.2, 1e-12);
    EXPECT_NEAR(pt.entry(24), 90.0, 1e-10);
    EXPECT_NEAR(pt.entry(25), 0.0, 1e-12);
    pt.kstep = 3, pt.stress({0, -300, 0, 0, 0, 0});  // an impact step, compressive failure at another angle
    pt.call();
    EXPECT_GT(pt.entry(15), 1.0);
    EXPECT_NEAR(pt.entry(24), 90.0, 1e-10);
    pt.kstep = 1, pt.stress({0, 0, 0, 0, 0, 0});  // initialization: not evaluated
    pt.entry(15) = 5.0;
    pt.call();
    EXPECT_TRUE(pt.entry(15) == 5.0 && pt.field == std::vector<double>(5)) << pt.entry(15);
}

TEST_F(DamageField, IndexesOutsideTheTablesEvaluateNothing) {
    section({1, 1, 1, 1, 3});
    for (const auto &[ply, sec] : std::vector<std::pair<double, double>>{
             {kNaN, 1}, {1, INFINITY}, {1e10, 1}, {-1, 1}, {4, 1}, {1, 2}, {2147483648.0, 1}}) {
        Point pt;
        pt.entry(21) = ply, pt.entry(22) = sec;
        pt.stress({5000, 5000, 5000, 5000, 5000, 5000});
        pt.call();
        EXPECT_EQ(errorhandling::errstat, -2) << ply << " " << sec;
        EXPECT_TRUE(std::isnan(ply) ? std::isnan(pt.entry(21)) : pt.entry(21) == ply);
        EXPECT_EQ(pt.entry(22), sec);
        for (int k = 7; k <= 17; ++k) EXPECT_EQ(pt.entry(k), 0.0) << k;
        int32_t cleared = 0;
        const int8_t yes = 1;
        errorhandling::rsxerr(&cleared, &yes);
    }
}

// Element 11 of kind 0 with three section points per ply: sestress(:, r, 1, 1)
// = r, tnormalstress(z, 1) = 10 z, tshearstress(r, c, 1, 1) = 100 c + r.
void stored_tables(int32_t points) {
    using namespace sectiondata;
    elementdata::nelem = 1;
    elementdata::elemlist.create(1)[0] = 11;
    elementdata::elemkind.create(1);
    nsectionpoints.create(1)[0] = points;
    sestress.create(6, 9, 4, 1), tnormalstress.create(7, 1), tshearstress.create(9, 2, 4, 1);
    for (int r = 1; r <= 9; ++r) {
        for (int c = 1; c <= 6; ++c) sestress(c, r, 1, 1) = r;
        for (int c = 1; c <= 2; ++c) tshearstress(r, c, 1, 1) = 100 * c + r;
    }
    for (int z = 1; z <= 7; ++z) tnormalstress(z, 1) = 10 * z;
    plyorientation.create(3, 1), plythickness.create(3, 1);
    plythickness.fill(1.0);
}

TEST_F(DamageField, StoredStressesWhereTheirTablesHoldThePoint) {
    section({0, 0, 0, 1, 0});
    stored_tables(3);
    // Top of ply 1: the interface to ply 2, rows 2 and 5 the middles of the two plies.
    Point top;
    top.layer = 1, top.kspt = 3;
    top.call();
    EXPECT_EQ(std::vector<double>(top.statev.begin(), top.statev.begin() + 6),
              (std::vector<double>{3, 3, 30, 3, 203, 103}));
    EXPECT_EQ(top.entry(23), 1.0);
    EXPECT_DOUBLE_EQ(top.entry(16), std::hypot(203.5, 103.5) / 100.0);
    EXPECT_EQ(top.entry(26), 4.0);
    // Bottom of ply 1 with a table: stored stresses read, the table's stored at row 1.
    Point bottom;
    bottom.layer = 1, bottom.stress({1, 2, 3, 4, 5, 6});
    bottom.call();
    EXPECT_EQ(std::vector<double>(bottom.statev.begin(), bottom.statev.begin() + 6),
              (std::vector<double>{1, 1, 10, 1, 201, 101}));
    EXPECT_EQ(std::vector<double>(&sectiondata::sestress(1, 1, 1, 1), &sectiondata::sestress(1, 2, 1, 1)),
              (std::vector<double>{1, 2, 3, 6, 5, 4}));
    // Four section points: row 12 of ply 3 is past sestress; the table stands and is not stored.
    sectiondata::nsectionpoints(1) = 4;
    Point outgrown;
    outgrown.layer = 3, outgrown.kspt = 4, outgrown.stress({7, 7, 7, 7, 7, 7});
    outgrown.call();
    EXPECT_EQ(std::vector<double>(outgrown.statev.begin(), outgrown.statev.begin() + 6), std::vector<double>(6, 7));
    EXPECT_EQ(sectiondata::sestress(1, 9, 1, 1), 9.0);
    // An element index past 2^31 - 1 is outside every table: kept, the table stands.
    Point beyond;
    beyond.entry(23) = 1e300, beyond.stress({9, 9, 9, 9, 9, 9});
    beyond.call();
    EXPECT_TRUE(beyond.entry(23) == 1e300 && beyond.entry(1) == 9.0);
    // elemlist gone while nelem says 1: the element is not found.
    elementdata::elemlist.drop(), elementdata::elemkind.drop();
    Point lost;
    lost.stress({8, 8, 8, 8, 8, 8});
    lost.call();
    EXPECT_TRUE(lost.entry(23) == -1.0 && lost.entry(1) == 8.0);
}

TEST_F(DamageField, FracturePlaneModelNeedsFivePropertyRows) {
    section({}, {1, 1});  // stepid shorter than the step: a fatigue step
    materialdata::peflags(3, 1, 1) = 2;
    // Stored stresses (all 0) with a strain table of another shape: the table's stress and strain serve.
    for (const auto &[rows, stored] : {std::pair{1, false}, {5, false}, {5, true}}) {
        materialdata::pfprops.drop();
        materialdata::pfprops.create(rows, 3, 1);
        materialdata::pfprops.fill(1.0);
        if (stored) sectiondata::sestress.create(6, 9, 4, 1), sectiondata::sestrain.create(6, 1, 1, 1);
        if (stored) elementdata::elemlength.create(3, 1);
        Point pt;
        pt.field.assign(7, 0.0), pt.layer = 1, pt.kstep = 3, pt.entry(23) = 1, pt.entry(24) = 60, pt.entry(25) = 0.3;
        pt.stress({0, 60, 0, 0, 0, 0});
        pt.table[8] = 0.01, pt.table[13] = 0.5;
        pt.call();
        EXPECT_EQ(pt.entry(27) != -1.0, rows == 5) << rows;
        EXPECT_EQ(pt.field[5], rows == 5 ? 0.3 / std::numbers::pi : 0.0) << rows;
    }
}

TEST_F(DamageField, ExplicitBlockReadsCyclicStressAndCountsIncrements) {
    section({}, {});
    loaddata::nimp = 1;
    loaddata::dprops.create(12, 1);
    const int32_t nblock = 2, nstatev = 40, nfieldv = 5, nprops = 0, one = 1, kstep = 1;
    for (const auto &[ndir, nshr, steptime, dt, contact] : {std::tuple{3, 3, 1.0, 1.0, true}, {3, 1, 1.0, 0.0, false},
                                                            {2, 1, 1e300, 1e-300, false}, {3, 3, 1e12, 1e-3, false}}) {
        loaddata::dprops(2, 1) = 3.0, loaddata::dprops(3, 1) = 4.0, loaddata::dprops(6, 1) = 0.0;
        std::vector<double> stress(12), zeros(80), state(80), field(10), charlength(6, 0.5);
        for (int j = 0; j < ndir + nshr; ++j) stress[2 * j + 1] = j + 1;
        std::vector<int32_t> jelem = {1, 2};
        const double eye[18] = {1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1};
        toplevel::vusdfld_dmg(&nblock, &nstatev, &nfieldv, &nprops, &ndir, &nshr, jelem.data(), &one, &one, &one,
                              &kstep, zeros.data(), &steptime, &steptime, &dt, "PLY", zeros.data(), eye, eye,
                              charlength.data(), nullptr, zeros.data(), stress.data(), zeros.data(), state.data(),
                              field.data(), nullptr, 3);
        std::vector<double> row;
        for (int k = 0; k < 6; ++k) row.push_back(state[2 * k + 1]);
        const std::vector<double> expected = ndir + nshr == 6 ? std::vector<double>{1, 2, 3, 4, 6, 5}
                                             : ndir == 3     ? std::vector<double>{1, 2, 3, 4, 0, 0}
                                                             : std::vector<double>{1, 2, 0, 3, 0, 0};
        EXPECT_EQ(row, expected) << ndir << nshr;
        EXPECT_EQ(loaddata::dprops(6, 1) != 0.0, contact) << steptime << " " << dt;
    }
}

TEST_F(DamageField, StateInitialisationMarksAllZeroStates) {
    const double coords[3] = {};
    const int32_t three = 3, one = 1;
    using States = std::pair<std::vector<double>, std::vector<double>>;
    for (const auto &[before, after] :
         {States{{0, -0.0, 0}, {0, 0, 1.7976931348623157e308}}, States{{0, 2, 0}, {0, 2, 0}}, States{{}, {}}}) {
        std::vector<double> statev = before;
        const int32_t n = static_cast<int32_t>(statev.size());
        toplevel::gen_sdvini(statev.data(), coords, &n, &three, &one, &one, &one, &one);
        EXPECT_EQ(statev, after);
    }
}

}  // namespace
