// Creation and release of the shared arrays.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "shared_state.hpp"

namespace {

using namespace kestro;
using namespace kestro::datahandling;
using DataHandlingTest = SharedState;
using V = std::vector<int64_t>;

void element_data(int32_t knodes, int32_t kelem) {
    int32_t istat = -1;
    allocateelementdata(&istat, &knodes, &kelem);
    EXPECT_EQ(istat, 0);
}

void nodal_data(int32_t kdof, int32_t knodes, int32_t kelem) {
    int32_t istat = -1;
    allocatenodaldata(&istat, &kdof, &knodes, &kelem);
    EXPECT_EQ(istat, 0);
}

void damage_data(int32_t kplies, int32_t ksec, int32_t kdmg) {
    int32_t istat = -1;
    allocatedamagedata(&istat, &kplies, &ksec, &kdmg);
    EXPECT_EQ(istat, 0);
}

using namespace kestro::elementdata;
using namespace kestro::nodaldata;
using namespace kestro::damagedata;
using kestro::bukdata::bukintdatalist;
using kestro::bukdata::bukrealdatalist;
using kestro::sectiondata::nsectionpoints;

TEST_F(DataHandlingTest, ElementDataShapes) {
    element_data(4, 3);
    EXPECT_EQ(shape(elemlist), V{3});
    EXPECT_EQ(shape(elemkind), V{3});
    EXPECT_EQ(shape(elemnodes), (V{4, 3}));
    EXPECT_EQ(shape(elemcurvatures), (V{2, 3}));
    EXPECT_EQ(shape(elemreforientation), (V{7, 3}));
    EXPECT_EQ(shape(nsectionpoints), V{3});
    EXPECT_TRUE(all_zero(elemnodes) && all_zero(elemreforientation) && all_zero(nsectionpoints));
    // Not created by this routine.
    EXPECT_FALSE(elemlength.exists());
    EXPECT_FALSE(elemindices.exists());
}

TEST_F(DataHandlingTest, ElementDataCreatesOnlyWhatIsAbsent) {
    elemlist.create(7);
    elemlist(7) = 107;
    element_data(2, 3);
    EXPECT_EQ(shape(elemlist), V{7});
    EXPECT_EQ(elemlist(7), 107);
    EXPECT_EQ(shape(elemkind), V{3});

    elemnodes(2, 3) = 55;
    elemreforientation(7, 1) = -1.0;
    element_data(5, 9);
    EXPECT_EQ(shape(elemnodes), (V{2, 3}));
    EXPECT_EQ(elemnodes(2, 3), 55);
    EXPECT_EQ(elemreforientation(7, 1), -1.0);
    EXPECT_EQ(shape(nsectionpoints), V{3});
}

TEST_F(DataHandlingTest, CountsBelowOneGiveEmptyArrays) {
    element_data(0, -2);
    EXPECT_TRUE(elemlist.exists());
    EXPECT_EQ(shape(elemlist), V{0});
    EXPECT_EQ(shape(elemnodes), (V{0, 0}));
    EXPECT_EQ(shape(elemreforientation), (V{7, 0}));
    nodal_data(-1, 0, 2);
    EXPECT_EQ(shape(nodesmotion), (V{0, 0, 2}));
    EXPECT_EQ(shape(nodalcoords), (V{3, 0, 2}));
}

TEST_F(DataHandlingTest, NodalDataShapesAndKeepsExisting) {
    nodal_data(6, 4, 3);
    EXPECT_EQ(shape(nodesmotion), (V{6, 4, 3}));
    EXPECT_EQ(shape(nodalcoords), (V{3, 4, 3}));
    EXPECT_EQ(shape(tnodalmatrices), (V{3, 3, 8, 3}));
    EXPECT_EQ(shape(tcurvmatrices), (V{3, 3, 3}));
    EXPECT_TRUE(all_zero(nodesmotion) && all_zero(tnodalmatrices));
    nodalcoords(3, 4, 3) = 2.5;
    tcurvmatrices.drop();
    nodal_data(2, 2, 2);
    EXPECT_EQ(shape(nodalcoords), (V{3, 4, 3}));
    EXPECT_EQ(nodalcoords(3, 4, 3), 2.5);
    EXPECT_EQ(shape(tcurvmatrices), (V{3, 3, 2}));
}

TEST_F(DataHandlingTest, DamageDataShapesAndClearing) {
    damage_data(4, 2, 3);
    EXPECT_EQ(ndmg, 3);
    ASSERT_EQ(shape(damagedds), V{1});
    EXPECT_EQ(damagedds(1), 0);  // created as -1, then the regions were cleared
    for (const auto *a : {&generaldds, &fiberdds, &matrixdds, &coredds, &userdds}) {
        EXPECT_EQ(shape(*a), (V{3, 4, 3})) << a->name;
        EXPECT_TRUE(all_zero(*a)) << a->name;
    }
    EXPECT_EQ(shape(delamdds), (V{3, 3, 3}));
    EXPECT_EQ(shape(dmgplane), (V{10, 3}));
    EXPECT_EQ(shape(bukintdatalist), (V{4, 3, 3, 2}));
    EXPECT_EQ(shape(bukrealdatalist), (V{12, 3, 3, 2}));
    EXPECT_TRUE(all_zero(delamdds) && all_zero(dmgplane) && all_zero(bukintdatalist) &&
                all_zero(bukrealdatalist));
    EXPECT_FALSE(dmgshape.exists());
    EXPECT_FALSE(dmgpoints.exists());
}

TEST_F(DataHandlingTest, DamageDataHasAtLeastOneInterface) {
    damage_data(1, 1, 1);
    EXPECT_EQ(shape(delamdds), (V{3, 1, 1}));
    EXPECT_EQ(shape(fiberdds), (V{3, 1, 1}));
    SharedState::reset();
    damage_data(0, 0, 0);
    EXPECT_EQ(ndmg, 1);
    EXPECT_EQ(shape(fiberdds), (V{3, 0, 1}));
    EXPECT_EQ(shape(delamdds), (V{3, 1, 1}));
    EXPECT_EQ(shape(bukrealdatalist), (V{12, 1, 1, 0}));
}

TEST_F(DataHandlingTest, ExtremeCountsAndAnEmptyMarkerStayInBounds) {
    // The smallest ply count must not overflow the interface count.
    damage_data(INT32_MIN, 1, 1);
    EXPECT_EQ(shape(delamdds), (V{3, 1, 1}));
    EXPECT_EQ(shape(generaldds), (V{3, 0, 1}));
    SharedState::reset();
    // A marker a caller created empty is never read or written.
    damagedds.create(0);
    fiberdds.create(3, 2, 1)[0] = 7.0;
    damage_data(2, 1, 1);
    EXPECT_EQ(shape(damagedds), (V{0}));
    EXPECT_EQ(fiberdds(1, 1, 1), 7.0);
}

TEST_F(DataHandlingTest, DamageSetsNeverDecrease) {
    ndmg = 5;
    damage_data(2, 1, 2);
    EXPECT_EQ(ndmg, 5);
    EXPECT_EQ(shape(matrixdds), (V{3, 2, 5}));
    EXPECT_EQ(shape(dmgplane), (V{10, 5}));
    SharedState::reset();
    damage_data(2, 1, -3);
    EXPECT_EQ(ndmg, 1);
}

TEST_F(DataHandlingTest, SecondCallLeavesValuesAlone) {
    damage_data(3, 1, 2);
    fiberdds(3, 3, 2) = 4.0;
    delamdds(1, 2, 1) = 1.0;
    dmgplane(10, 2) = 8.0;
    bukintdatalist(4, 2, 2, 1) = 6;
    damage_data(3, 1, 2);
    EXPECT_EQ(damagedds(1), 0);
    EXPECT_EQ(fiberdds(3, 3, 2), 4.0);
    EXPECT_EQ(delamdds(1, 2, 1), 1.0);
    EXPECT_EQ(dmgplane(10, 2), 8.0);
    EXPECT_EQ(bukintdatalist(4, 2, 2, 1), 6);
}

TEST_F(DataHandlingTest, FirstCallClearsRegionsACallerCreated) {
    // A caller fills regions before damagedds exists: the creating call clears
    // them on purpose, keeping their shapes.
    const auto regions = {&generaldds, &fiberdds, &matrixdds, &delamdds, &coredds, &userdds};
    for (auto *a : regions) {
        a->create(3, 2, 1);
        a->fill(1.0);
    }
    damage_data(4, 1, 1);
    for (const auto *a : regions) {
        EXPECT_EQ(shape(*a), (V{3, 2, 1})) << a->name;
        EXPECT_TRUE(all_zero(*a)) << a->name;
    }
    EXPECT_EQ(damagedds(1), 0);
}

TEST_F(DataHandlingTest, CallerSetMarkerClearsAgain) {
    damage_data(2, 1, 1);
    generaldds(1, 1, 1) = 3.0;
    damagedds(1) = -1;
    damage_data(2, 1, 1);
    EXPECT_EQ(damagedds(1), 0);
    EXPECT_EQ(generaldds(1, 1, 1), 0.0);
}

TEST_F(DataHandlingTest, ExistingRegionsLimitTheDamageSets) {
    generaldds.create(3, 4, 2);
    damage_data(4, 1, 5);
    EXPECT_EQ(ndmg, 2);
    EXPECT_EQ(shape(generaldds), (V{3, 4, 2}));
    EXPECT_EQ(shape(coredds), (V{3, 4, 2}));
    EXPECT_EQ(shape(dmgplane), (V{10, 2}));
    EXPECT_EQ(shape(bukintdatalist), (V{4, 3, 2, 1}));
    // A later call with more sets does not raise ndmg past what the regions hold.
    damage_data(4, 1, 9);
    EXPECT_EQ(ndmg, 2);
}

// Every allocatable array of the shared data, and whether deallocall releases it.
struct Entry {
    kestro_array *array;
    bool released;
};

std::vector<Entry> every_array() {
    using namespace kestro;
    std::vector<Entry> all;
    for (kestro_array *a : std::initializer_list<kestro_array *>{
             &bukdata::bukintdatalist, &bukdata::bukrealdatalist,
             &damagedata::damagedds, &damagedata::generaldds, &damagedata::fiberdds,
             &damagedata::matrixdds, &damagedata::coredds, &damagedata::userdds,
             &damagedata::delamdds, &damagedata::dmgshape, &damagedata::dmgplane,
             &damagedata::dmgpoints,
             &elementdata::elemlist, &elementdata::elemkind, &elementdata::elemnodes,
             &elementdata::elemindices, &elementdata::elemlength, &elementdata::elemcurvatures,
             &elementdata::elemreforientation,
             &impactdata::cprops, &jobdata::stepid, &loaddata::dprops,
             &materialdata::matidlist, &materialdata::pfflags, &materialdata::peflags,
             &materialdata::pelimits, &materialdata::peprops, &materialdata::psprops,
             &materialdata::pfprops, &materialdata::phprops, &materialdata::pdprops,
             &materialdata::cuprops, &materialdata::secantprops, &materialdata::flowprops,
             &materialdata::alpha1props, &materialdata::alpha2props, &materialdata::alpha3props,
             &materialdata::normalprops, &materialdata::shearprops,
             &materialdata::equivalentstress, &materialdata::regularization,
             &nodaldata::nodalcoords, &nodaldata::nodesmotion, &nodaldata::tnodalmatrices,
             &nodaldata::tcurvmatrices,
             &sectiondata::nsectionpoints, &sectiondata::secidlist, &sectiondata::seflags,
             &sectiondata::xcstrength, &sectiondata::plythickness, &sectiondata::plyorientation,
             &sectiondata::plyzcoord, &sectiondata::sehmatrix, &sectiondata::sefmatrix,
             &sectiondata::sestress, &sectiondata::sestrain, &sectiondata::seuser,
             &sectiondata::seprops, &sectiondata::tnormalstress, &sectiondata::tshearstress,
             &shokriehdata::cycleprops, &shokriehdata::cycles})
        all.push_back({a, true});
    for (kestro_array *a : std::initializer_list<kestro_array *>{
             &jobdata::processid, &materialdata::temperatures, &materialdata::r_crit,
             &materialdata::i10, &impactdata::csvars, &errorhandling::errintv,
             &errorhandling::errrealv, &errorhandling::errasciim})
        all.push_back({a, false});
    return all;
}

TEST_F(DataHandlingTest, DeallocallReleasesAnalysisArraysOnly) {
    const int64_t ones[KESTRO_MAX_RANK] = {1, 1, 1, 1, 1, 1, 1};
    const auto all = every_array();
    for (const Entry &e : all) kestro_array_create(e.array, ones);
    errorhandling::errstat = -2;
    std::memset(errorhandling::errstring, 'e', sizeof errorhandling::errstring);
    ndmg = 4;
    sectiondata::nsec = 3;

    int32_t istat = -1;
    deallocall(&istat);
    EXPECT_EQ(istat, 0);
    for (const Entry &e : all) EXPECT_EQ(kestro_array_exists(e.array), e.released ? 0 : 1) << e.array->name;
    EXPECT_EQ(errorhandling::errstat, -2);
    EXPECT_EQ(errorhandling::errstring[79], 'e');
    EXPECT_EQ(ndmg, 4);
    EXPECT_EQ(sectiondata::nsec, 3);

    // Nothing left to release: a second call is harmless.
    deallocall(&istat);
    EXPECT_EQ(istat, 0);
}

TEST_F(DataHandlingTest, TheGeneratedReleaseListsAreTheArraysAbove) {
    // deallocall releases what the signature files do not mark as kept; the
    // two generated lists hold every allocatable array between them.
    std::vector<const kestro_array *> released, kept, expected_released, expected_kept;
    for (const Entry &e : every_array()) (e.released ? expected_released : expected_kept).push_back(e.array);
    released.assign(shared_data::released_by_deallocall,
                    shared_data::released_by_deallocall + shared_data::released_count);
    kept.assign(shared_data::kept_by_deallocall, shared_data::kept_by_deallocall + shared_data::kept_count);
    std::sort(released.begin(), released.end());
    std::sort(expected_released.begin(), expected_released.end());
    EXPECT_EQ(released, expected_released);
    for (const kestro_array *a : expected_kept) EXPECT_NE(std::find(kept.begin(), kept.end(), a), kept.end()) << a->name;
    for (const kestro_array *a : released) EXPECT_EQ(std::find(kept.begin(), kept.end(), a), kept.end()) << a->name;
}

}  // namespace
