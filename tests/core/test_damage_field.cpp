// The damage field driver on sections of three and four plies and models of
// eight elements: the block it keeps, the stresses it takes from the stored
// and shell transverse tables, the criteria, lengths and fracture-plane damage
// it evaluates on them, and indexes that the shared tables do not hold (under
// the sanitizers nothing may be read outside them).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/damage.hpp"
#include "decl/failure.hpp"
#include "decl/laminate.hpp"
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

// Section id 7 of three plies (or `plies`), strengths Xt 1000, 50, 100, Xc 1000, 200, 200,
// S 80, ILSS 100; criterion ids of ply 1, every switch on; step kinds.
void section(std::array<int32_t, 5> ids, std::vector<int32_t> kinds = {0, 1, 4, 5}, int32_t plies = 3) {
    using namespace materialdata;
    sectiondata::nplies = plies, sectiondata::nsec = 1;
    sectiondata::secidlist.create(1)[0] = 7;
    pfflags.create(5, plies, 1), peflags.create(5, plies, 1), peprops.create(9, plies, 1);
    psprops.create(10, plies, 1);
    peflags.fill(1);
    for (int m = 0; m < 5; ++m) pfflags(m + 1, 1, 1) = ids[m];
    const double x[10] = {1000, 50, 100, 1000, 200, 200, 80, 80, 80, 100};
    for (int p = 1; p <= plies; ++p)
        for (int k = 0; k < 10; ++k) psprops(k + 1, p, 1) = x[k];
    if (kinds.empty()) return;
    jobdata::stepid.create(static_cast<int64_t>(kinds.size()));
    std::copy(kinds.begin(), kinds.end(), jobdata::stepid.ptr());
}

struct Point {
    std::vector<double> field = std::vector<double>(5), statev = std::vector<double>(40), table;
    double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, direct[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double celent = 0.5, time[2] = {}, dtime = 0.1, coord[3] = {};
    std::string cmname = "PLY_S@7@";
    int32_t noel = 11, npt = 1, layer = 2, kspt = 1, kstep = 2, kinc = 1;

    double &entry(int k) { return statev[statev.size() - 40 + static_cast<std::size_t>(k) - 1]; }
    void call() {
        const int32_t nfield = static_cast<int32_t>(field.size()), nstatv = static_cast<int32_t>(statev.size());
        toplevel::gen_damage(field.data(), statev.data(), direct, eye, &celent, time, &dtime, cmname.data(), &nfield,
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
    // Four section points: row 12 of ply 3 is past sestress and tshearstress,
    // so no stored stress (the table is not stored either); the normal stress
    // at the top of ply 3 alone replaces the block's.
    sectiondata::nsectionpoints(1) = 4;
    Point outgrown;
    outgrown.layer = 3, outgrown.kspt = 4, outgrown.stress({7, 7, 7, 7, 7, 7});
    outgrown.call();
    EXPECT_EQ(std::vector<double>(outgrown.statev.begin(), outgrown.statev.begin() + 6),
              (std::vector<double>{0, 0, 70, 0, 0, 0}));
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

// Component c of the stored stress of row r at point n of element e.
using Stored = double (*)(int c, int64_t r, int64_t n, int64_t e);
double stored(int c, int64_t r, int64_t n, int64_t e) {
    switch (c) {
        case 3: return -1.0;  // compressive: the interface opens by shear alone
        case 5: return 0.5 * double(r) + 0.1 * double(e);  // 13
        case 6: return 0.25 * double(r) + double(n);       // 23
        default: return 1000.0 * double(e) + 10.0 * double(r) + double(n) + 0.1 * c;
    }
}

// sestress(6, rows, 4, 8) (created anew) holding value(c, r, n, e).
void store(int64_t rows, Stored value) {
    auto &sestress = sectiondata::sestress;
    sestress.drop(), sestress.create(6, rows, 4, 8);
    for (int64_t e = 1; e <= 8; ++e)
        for (int64_t n = 1; n <= 4; ++n)
            for (int64_t r = 1; r <= rows; ++r)
                for (int c = 1; c <= 6; ++c) sestress(c, r, n, e) = value(c, r, n, e);
}

// Eight elements 101 to 108 of kind `kind` on the section, `points` section
// points each, stored stresses for `rows` of them; every ply's interface
// checked by delamination criterion 1, plies of thickness 1.
void eight_elements(int32_t kind, int32_t points, int64_t rows, Stored value = stored) {
    using namespace sectiondata;
    const int64_t plies = nplies;
    for (int p = 1; p <= plies; ++p) materialdata::pfflags(4, p, 1) = 1;
    elementdata::nelem = 8;
    elementdata::elemlist.create(8), elementdata::elemkind.create(8), nsectionpoints.create(8);
    for (int e = 1; e <= 8; ++e) elementdata::elemlist(e) = 100 + e, elementdata::elemkind(e) = kind;
    nsectionpoints.fill(points);
    store(rows, value);
    plyorientation.create(plies, 1), plythickness.create(plies, 1);
    plythickness.fill(1.0);
}

TEST_F(DamageField, StoredStressOfEveryElementRowAndPoint) {
    section({}, {0, 1, 4, 5}, 4);
    eight_elements(0, 3, 12);
    // Rows stored for three points of four plies (12), or for two points of
    // two plies (4) with the element's count grown to 3; layers past the
    // section's plies.
    const struct {
        int64_t rows;
        int32_t e, layer, kspt, npt, points;
        int64_t row;  // 0: not stored
    } cases[] = {{12, 1, 1, 1, 1, 3, 1},  {12, 4, 2, 2, 3, 3, 5},  {12, 5, 3, 1, 4, 3, 7}, {12, 6, 3, 2, 2, 3, 8},
                 {12, 8, 4, 3, 4, 3, 12}, {12, 7, 4, 1, 1, 3, 10}, {12, 3, 4, 1, 4, 4, 0}, {12, 8, 5, 2, 1, 3, 0},
                 {12, 2, 6, 3, 4, 3, 0},  {4, 4, 2, 3, 4, 3, 0},   {4, 8, 3, 2, 4, 2, 0},  {4, 8, 2, 2, 4, 2, 4}};
    for (const auto &c : cases) {
        if (sectiondata::sestress.extent_of(2) != c.rows) store(c.rows, stored);
        sectiondata::nsectionpoints(c.e) = c.points;
        Point pt;
        pt.noel = 100 + c.e, pt.layer = c.layer, pt.kspt = c.kspt, pt.npt = c.npt;
        for (int k = 1; k <= 6; ++k) pt.entry(k) = -7.0;  // the block's stress of the last increment
        pt.call();
        std::vector<double> expected(6, -7.0);
        for (int k = 1; k <= 6 && c.row > 0; ++k) expected[k - 1] = stored(k, c.row, c.npt, c.e);
        EXPECT_EQ(std::vector<double>(pt.statev.begin(), pt.statev.begin() + 6), expected) << c.e << " " << c.layer;
        EXPECT_EQ(pt.entry(23), c.e);
        sectiondata::nsectionpoints(c.e) = 3;
    }
}

TEST_F(DamageField, EveryInterfaceOfAFourPlyShellIsEvaluated) {
    section({}, {0, 1, 4, 5}, 4);
    eight_elements(0, 3, 12);
    // Top of ply p: the neighbours are the middles of plies p and p + 1, rows
    // 3p - 1 and 3p + 2; equal thicknesses average their shears.
    for (int32_t e = 1; e <= 8; ++e)
        for (int32_t p = 1; p <= 4; ++p) {
            Point pt;
            pt.noel = 100 + e, pt.layer = p, pt.kspt = 3, pt.npt = 1 + e % 4;
            pt.call();
            const int64_t r1 = 3 * p - 1, r2 = 3 * p + 2;
            const double t13 = 0.5 * (stored(5, r1, pt.npt, e) + stored(5, r2, pt.npt, e));
            const double t23 = 0.5 * (stored(6, r1, pt.npt, e) + stored(6, r2, pt.npt, e));
            const double expected = p < 4 ? std::hypot(t13, t23) / 100.0 : 0.0;
            EXPECT_NEAR(pt.entry(16), expected, 1e-14) << e << " " << p;
            EXPECT_EQ(pt.entry(10), expected >= 1.0 ? 1.0 : 0.0);
        }
}

TEST_F(DamageField, TransverseStressesStandWhereTheStoredRowIsAbsent) {
    section({}, {0, 1, 4, 5}, 4);
    eight_elements(0, 3, 12);
    using namespace sectiondata;
    tnormalstress.create(9, 8), tshearstress.create(12, 2, 4, 8);
    for (int64_t e = 1; e <= 8; ++e) {
        for (int64_t z = 1; z <= 9; ++z) tnormalstress(z, e) = 10.0 * double(e) + double(z);
        for (int64_t r = 1; r <= 12; ++r)
            for (int64_t n = 1; n <= 4; ++n) tshearstress(r, 1, n, e) = -double(r), tshearstress(r, 2, n, e) = -double(n);
    }
    // Layer 5 of four plies, bottom point: row 13 is in neither table, z 7 (the bottom of ply 4) is.
    for (int32_t e = 1; e <= 8; ++e) {
        Point pt;
        pt.noel = 100 + e, pt.layer = 5, pt.kspt = 1, pt.npt = 2;
        pt.call();
        EXPECT_EQ(std::vector<double>(pt.statev.begin(), pt.statev.begin() + 6),
                  (std::vector<double>{0, 0, 10.0 * e + 7, 0, 0, 0}));
        // Ply 2's middle is in both: the stored row with the transverse components.
        Point middle;
        middle.noel = 100 + e, middle.layer = 2, middle.kspt = 2, middle.npt = 3;
        middle.call();
        EXPECT_EQ(std::vector<double>(middle.statev.begin(), middle.statev.begin() + 6),
                  (std::vector<double>{stored(1, 5, 3, e), stored(2, 5, 3, e), 10.0 * e + 4, stored(4, 5, 3, e),
                                       -3.0, -5.0}));
    }
}

// Stored stresses in tension and compression, every component nonzero.
double mixed(int c, int64_t row, int64_t point, int64_t element) {
    const double r = double(row), n = double(point), e = double(element), sign = element % 2 == 1 ? 1.0 : -1.0;
    const double v[6] = {sign * (200.0 + 50.0 * e + 10.0 * r + n), 10.0 + r, -(5.0 + e), 20.0 + n, 2.0 * r, e + 0.5 * n};
    return v[c - 1];
}

TEST_F(DamageField, GeneralFibreAndCoreCriteriaOfStoredStresses) {
    // Ply p of three: general criterion 3 (Drucker-Prager) on plies 1 and 3, 4 (Raghava) on ply 2,
    // fibre criterion 3 (LaRC05), core criterion 3; strengths Xt11 = Xc11 = 1000 except ply 2's Xc11 1400.
    section({}, {0, 1, 4, 5});
    eight_elements(0, 3, 9, mixed);
    using materialdata::peprops, materialdata::pfflags, materialdata::psprops;
    const double ply[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    psprops(4, 2, 1) = 1400.0;
    for (int p = 1; p <= 3; ++p) {
        pfflags(1, p, 1) = p == 2 ? 4 : 3, pfflags(2, p, 1) = 3, pfflags(5, p, 1) = 3, pfflags(4, p, 1) = 0;
        for (int k = 0; k < 9; ++k) peprops(k + 1, p, 1) = ply[k];
    }
    for (int32_t e = 1; e <= 8; ++e)
        for (int32_t layer = 1; layer <= 3; ++layer) {
            Point pt;
            pt.noel = 100 + e, pt.layer = layer, pt.kspt = 1 + (e + layer) % 3, pt.npt = 1 + e % 4;
            pt.call();
            double s[6];
            for (int c = 1; c <= 6; ++c) s[c - 1] = mixed(c, 3 * (layer - 1) + pt.kspt, pt.npt, e);
            const double xt = 1000.0, xc = layer == 2 ? 1400.0 : 1000.0, i1 = s[0] + s[1] + s[2];
            const double mises = std::sqrt(0.5 * (std::pow(s[0] - s[1], 2) + std::pow(s[1] - s[2], 2) +
                                                  std::pow(s[2] - s[0], 2)) +
                                           3.0 * (s[3] * s[3] + s[4] * s[4] + s[5] * s[5]));
            const double general = layer == 2 ? ((xc - xt) * i1 + std::sqrt(std::pow((xc - xt) * i1, 2) +
                                                                             4.0 * xc * xt * mises * mises)) /
                                                    (2.0 * xc * xt)
                                              : ((xc - xt) * i1 + (xc + xt) * mises) / (2.0 * xc * xt);
            double fibre = s[0] / xt;
            if (s[0] < 0.0) {  // the kinking exposure of FBLaRC05_is, as the driver asks it
                const double a0 = 53.0, step = 5.0, xt22 = 50.0, x23 = 80.0, x12 = 80.0;
                const int32_t golden = 0;
                FBLaRC05_is(&fibre, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &xt, &xc, &xt22, &x23, &x12, &ply[6],
                            &a0, &step, &golden, nullptr, &psprops(1, layer, 1));
            }
            const double core = std::hypot(std::max(-s[2], 0.0) / 200.0, s[4] / 80.0, s[5] / 80.0);
            EXPECT_NEAR(pt.entry(13), general, 1e-12 * general) << e << " " << layer;
            EXPECT_NEAR(pt.entry(14), fibre, 1e-12 * std::abs(fibre)) << e << " " << layer;
            EXPECT_NEAR(pt.entry(17), core, 1e-12 * core) << e << " " << layer;
            EXPECT_EQ(pt.entry(8), fibre >= 1.0 ? 1.0 : 0.0);
        }
    EXPECT_EQ(errorhandling::errstat, 0);
}

TEST_F(DamageField, SectionPointsCountedInTheFirstIncrementOfAStructuralStep) {
    section({}, {0, 2, 1});
    eight_elements(0, 0, 1);
    // Point 1 of the first increment counts; other points and increments do not.
    int32_t largest[8] = {};
    for (int32_t e = 1; e <= 8; ++e)
        for (const auto &[kspt, npt, kinc] : {std::tuple{1, 1, 1}, {e % 5 + 1, 1, 1}, {7, 2, 1}, {9, 1, 2}}) {
            Point pt;
            pt.noel = 100 + e, pt.kspt = kspt, pt.npt = npt, pt.kinc = kinc;
            pt.call();
            if (npt == 1 && kinc == 1) largest[e - 1] = std::max(largest[e - 1], kspt);
        }
    EXPECT_EQ(std::vector<int32_t>(sectiondata::nsectionpoints.span().begin(), sectiondata::nsectionpoints.span().end()),
              std::vector<int32_t>(largest, largest + 8));
    Point other;  // an element elemlist does not hold
    other.noel = 99, other.kspt = 20;
    other.call();
    EXPECT_EQ(*std::max_element(sectiondata::nsectionpoints.ptr(), sectiondata::nsectionpoints.ptr() + 8), 5);
}

TEST_F(DamageField, ContinuumLengthsAlongTheMaterialDirections) {
    section({}, {0, 1, 4, 5});
    eight_elements(11, 3, 9);
    auto &coords = nodaldata::nodalcoords;
    auto &lengths = elementdata::elemlength;
    coords.create(3, 8, 8), lengths.create(3, 8);
    lengths.fill(-1.0);
    // Brick e of edges a, b, c, lower face first; directions turned by theta about z.
    const auto edges = [](int64_t e) { return std::array<double, 3>{0.5 * double(e), 2.0, 0.25 + 0.1 * double(e)}; };
    for (int64_t e = 1; e <= 8; ++e) {
        const auto [a, b, c] = edges(e);
        const double corner[8][3] = {{0, 0, 0}, {a, 0, 0}, {a, b, 0}, {0, b, 0}, {0, 0, c}, {a, 0, c}, {a, b, c}, {0, b, c}};
        for (int n = 0; n < 8; ++n)
            for (int k = 0; k < 3; ++k) coords(k + 1, n + 1, e) = corner[n][k] + 10.0 * double(e);
    }
    for (int32_t e = 1; e <= 8; ++e) {
        const double theta = 0.2 * e, cs = std::cos(theta), sn = std::sin(theta);
        Point pt;
        pt.noel = 100 + e, pt.layer = 1 + e % 3, pt.kspt = 2;
        const double direct[9] = {cs, sn, 0, -sn, cs, 0, 0, 0, 1};
        std::copy_n(direct, 9, pt.direct);
        pt.call();
        const auto [a, b, c] = edges(e);
        const std::vector<double> expected = {a * std::abs(cs) + b * std::abs(sn), a * std::abs(sn) + b * std::abs(cs), c};
        const std::vector<double> got(&lengths(1, e), &lengths(1, e) + 3);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], expected[k], 1e-14) << e;
        // Kept while the block's length is the solver's, recomputed when it is not.
        lengths(1, e) = 7.0;
        pt.call();
        EXPECT_EQ(lengths(1, e), 7.0);
        pt.entry(35) = 0.75;
        pt.call();
        EXPECT_NEAR(lengths(1, e), expected[0], 1e-14);
    }
}

TEST_F(DamageField, FracturePlaneDamageOfStoredStressAndStrain) {
    // The fracture-plane model on plies of a four-ply section, its stress and strain the stored
    // ones of the point, its lengths the element's; limit 3 from pelimits where the ply has all 12.
    section({}, {0, 1, 4, 5}, 4);
    eight_elements(11, 3, 12, mixed);
    using namespace materialdata;
    pfprops.create(5, 4, 1), pelimits.create(12, 4, 1);
    pelimits.fill(0.9);
    pelimits(3, 2, 1) = 0.05, pelimits(3, 3, 1) = 0.05, pelimits(7, 3, 1) = -1.0;  // ply 3: the defaults
    for (int p = 1; p <= 4; ++p) {
        peflags(3, p, 1) = 2;
        const double props[5] = {0.0, 0.2, 1.5, 0.6, 0.6};
        std::copy_n(props, 5, &pfprops(1, p, 1));
    }
    auto &strain = sectiondata::sestrain;
    strain.create(6, 12, 4, 8);
    for (int64_t e = 1; e <= 8; ++e)
        for (int64_t n = 1; n <= 4; ++n)
            for (int64_t r = 1; r <= 12; ++r)
                for (int c = 1; c <= 6; ++c) strain(c, r, n, e) = 1e-4 * mixed(c, r, n, e);
    elementdata::elemlength.create(3, 8);
    for (int64_t e = 1; e <= 8; ++e)
        for (int k = 1; k <= 3; ++k) elementdata::elemlength(k, e) = 0.1 * double(e) + 0.01 * k;
    for (int32_t e = 1; e <= 8; ++e)
        for (int32_t layer = 1; layer <= 4; ++layer) {
            Point pt;
            pt.field.assign(7, 0.0), pt.noel = 100 + e, pt.layer = layer, pt.kspt = 1 + e % 3, pt.npt = 1 + layer % 4;
            pt.entry(24) = 30.0, pt.entry(25) = 0.4 + 0.05 * e;
            // A crack past its onset: onset traction, onset and final jumps, the largest jump so far.
            const double history[4] = {40.0, 1e-4, 2e-2, 2e-4 * e};
            std::copy_n(history, 4, &pt.entry(27));
            pt.call();
            // BogenfeldDegradation called directly on the stored values turned to Voigt order.
            const int64_t row = 3 * (layer - 1) + pt.kspt;
            double sv[6], ev[6], sdv[4], d = 0.0, props[5] = {0.4 + 0.05 * e, 0.2, 1.5, 0.6, 0.6};
            constexpr int voigt[6] = {1, 2, 3, 6, 5, 4};
            for (int k = 0; k < 6; ++k)
                sv[k] = mixed(voigt[k], row, pt.npt, e), ev[k] = 1e-4 * mixed(voigt[k], row, pt.npt, e);
            std::copy_n(history, 4, sdv);
            const int32_t mode = 3, nsdv = 4, nprops = 5;
            BogenfeldDegradation(&d, sdv, sv, ev, &elementdata::elemlength(1, e), props, &mode, &nsdv, &nprops);
            const double limit = layer == 2 ? 0.05 : layer == 3 ? 0.995 : 0.9, limited = std::clamp(d, 0.0, limit);
            EXPECT_GT(d, 0.0);
            EXPECT_DOUBLE_EQ(pt.field[6], limited) << e << " " << layer;
            EXPECT_DOUBLE_EQ(pt.entry(20), 1.0 - limited);
            EXPECT_DOUBLE_EQ(pt.field[5], (0.4 + 0.05 * e) / std::numbers::pi);
            EXPECT_EQ(std::vector<double>(&pt.entry(27), &pt.entry(27) + 4), std::vector<double>(sdv, sdv + 4));
        }
}

TEST_F(DamageField, ExplicitBlockWithFewerThanFortyStateVariables) {
    section({}, {});
    for (const int32_t nstatev : {1, 20, 39}) {
        const int32_t nblock = 8, nfieldv = 5, nprops = 0, ndir = 3, nshr = 3, one = 1, kstep = 2;
        std::vector<double> stateold(8 * nstatev), statenew(stateold.size(), -1.0), field(40, 9.0);
        for (std::size_t k = 0; k < stateold.size(); ++k) stateold[k] = double(k) + 0.5;
        std::vector<double> stress(48, 100.0), strain(48), zeros(24), charlength(24, 0.5), direct(72);
        std::vector<int32_t> jelem = {1, 2, 3, 4, 5, 6, 7, 8};
        const double t = 1.0, dt = 0.1;
        toplevel::vusdfld_dmg(&nblock, &nstatev, &nfieldv, &nprops, &ndir, &nshr, jelem.data(), &one, &one, &one,
                              &kstep, zeros.data(), &t, &t, &dt, "PLY", zeros.data(), direct.data(), direct.data(),
                              charlength.data(), nullptr, stateold.data(), stress.data(), strain.data(),
                              statenew.data(), field.data(), nullptr, 3);
        EXPECT_EQ(statenew, stateold) << nstatev;
        EXPECT_EQ(field, std::vector<double>(40, 9.0));
    }
}

TEST_F(DamageField, ShellTransverseStressesOfEightShells) {
    // Three isotropic plies of thickness 2/3, flat eight-node shells of kind 4 on the square
    // (-1, 1)^2 whose rotations (th1, th2) = (-alpha, beta) are uniform: transverse shears
    // alpha and beta, shear forces Q = h (alpha, beta) with H = h I, and through the homogeneous
    // thickness 2 the parabola tau(z) = 1.5 Q / 2 (1 - z^2).
    section({}, {0, 1, 4, 5});
    eight_elements(4, 3, 9, [](int, int64_t, int64_t, int64_t) { return 0.0; });
    using namespace sectiondata;
    auto &peprops = materialdata::peprops;
    auto &matidlist = materialdata::matidlist;
    const int32_t plies = 3, sections = 1;
    matidlist.create(3, 1), plyzcoord.create(7, 1), sefmatrix.create(7, 4, 1), sehmatrix.create(2, 2, 1);
    seflags.create(2, 1), elementdata::elemcurvatures.create(2, 8), tnormalstress.create(7, 8);
    tshearstress.create(9, 2, 4, 8);
    matidlist.fill(1), seflags.fill(1), plythickness.fill(2.0 / 3.0);
    for (int p = 1; p <= 3; ++p) {
        const double iso[9] = {1000, 1000, 1000, 0.25, 0.25, 0.25, 400, 400, 400};
        std::copy_n(iso, 9, &peprops(1, p, 1));
    }
    GetSectionZCoord(plyzcoord.ptr(), matidlist.ptr(), plythickness.ptr(), &plies, &sections, nullptr);
    GetSectionFMatrix(sefmatrix.ptr(), matidlist.ptr(), plyorientation.ptr(), plythickness.ptr(), plyzcoord.ptr(),
                      peprops.ptr(), &plies, &sections, nullptr, nullptr);
    const double h = 300.0;
    sehmatrix(1, 1, 1) = sehmatrix(2, 2, 1) = h;
    auto &coords = nodaldata::nodalcoords, &motion = nodaldata::nodesmotion;
    coords.create(3, 8, 8), motion.create(5, 8, 8);
    const double xy[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    const auto alpha = [](int64_t e) { return 1e-3 * double(e); };
    const auto beta = [](int64_t e) { return -5e-4 * double(e) + 1e-3; };
    for (int64_t e = 1; e <= 8; ++e)
        for (int n = 0; n < 8; ++n) {
            coords(1, n + 1, e) = xy[n][0], coords(2, n + 1, e) = xy[n][1];
            motion(4, n + 1, e) = -alpha(e), motion(5, n + 1, e) = beta(e);
        }
    for (int32_t e = 1; e <= 8; ++e)
        for (int32_t layer = 1; layer <= 3; ++layer)
            for (int32_t kspt = 1; kspt <= 3; ++kspt) {
                Point pt;
                pt.noel = 100 + e, pt.layer = layer, pt.kspt = kspt, pt.npt = 1 + (e + kspt) % 4;
                pt.call();
                const double z = -1.0 + 2.0 / 3.0 * (layer - 1) + 1.0 / 3.0 * (kspt - 1), f = 0.75 * (1.0 - z * z);
                const double tyz = f * h * alpha(e), txz = f * h * beta(e);
                EXPECT_NEAR(pt.entry(5), txz, 1e-12) << e << " " << layer << " " << kspt;
                EXPECT_NEAR(pt.entry(6), tyz, 1e-12) << e << " " << layer << " " << kspt;
                EXPECT_NEAR(tshearstress(3 * (layer - 1) + kspt, 1, pt.npt, e), tyz, 1e-12);
            }
    for (const double s : tnormalstress.span()) EXPECT_NEAR(s, 0.0, 1e-12);  // uniform shear forces: no normal stress
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
