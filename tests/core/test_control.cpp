// The analysis control on shared arrays that a caller gave other shapes, or
// that are missing: under the sanitizers nothing may be read or written
// outside an array.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "shared_state.hpp"
#include "solver/control.hpp"

namespace {

using namespace kestro;
using Control = SharedState;

void set_name(char (&field)[256], const std::string &text) {
    std::memset(field, ' ', sizeof field);
    text.copy(field, sizeof field);
}

// The five-step job of tests/data/job, with the cards of `outdir` (by default its own).
void use_job(const std::string &outdir = std::string(KESTRO_TEST_DATA) + "/job") {
    set_name(jobdata::jobfilepath, std::string(KESTRO_TEST_DATA) + "/job/job");
    set_name(jobdata::joboutdir, outdir);
}

void event(int32_t lop, int32_t kstep, int32_t kinc = 1, const int32_t *exflag = nullptr) {
    const double time[2] = {0.0, 0.0}, dtime = 0.1;
    const int32_t lrestart = 0;
    UEXTERNALDB_IOControl(&lop, &lrestart, time, &dtime, &kstep, &kinc, exflag);
}

void access(int32_t lop) {
    const double dtime = 0.0;
    UACCESS_IOControl(&lop, &dtime);
}

TEST_F(Control, StepKindOnlyWithinTheTable) {
    EXPECT_EQ(solver::step_kind(1), solver::fatigue);  // no table
    jobdata::stepid.create(2);
    jobdata::stepid(1) = solver::initialization;
    jobdata::stepid(2) = solver::impact;
    const int32_t steps[] = {-1, 0, 1, 2, 3}, kinds[] = {1, 1, 0, 3, 1};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(solver::step_kind(steps[k]), kinds[k]) << steps[k];
}

TEST_F(Control, EventsWithoutTheirDataDoNothing) {
    set_name(jobdata::jobfilepath, "/nonexistent/job");
    set_name(jobdata::joboutdir, "/nonexistent");
    jobdata::nsteps = 5;
    event(0, 1);
    EXPECT_EQ(errorhandling::errstat, -3);
    EXPECT_EQ(jobdata::nsteps, 0);
    const int32_t explicit_call = 1;
    for (int32_t lop : {-1, 1, 2, 4, 5, 6, 7, 8})
        for (int32_t kstep : {-5, 0, 1, 99}) event(lop, kstep, kstep, lop == 2 ? &explicit_call : nullptr);
    const int32_t ints[1] = {9}, few = 1, rank = 1;
    const double reals[1] = {1.0};
    for (int32_t lop : {-1, 1, 2, 3, 4, 5, 6, 7, 100}) VUEXTERNALDB_IOControl(&lop, ints, &few, reals, &few, &rank);
    EXPECT_EQ(jobdata::stepcount, 0);  // a nonzero rank passes nothing before start-up
    EXPECT_FALSE(jobdata::stepid.exists() || impactdata::cprops.exists() || sectiondata::sestress.exists());
}

TEST_F(Control, ImpactArraysOfOtherShapesAreCreatedAnew) {
    use_job();
    impactdata::cprops.create(20, 1);
    loaddata::dprops.create(12, 1);
    event(0, 1);
    EXPECT_EQ(shape(impactdata::cprops), (std::vector<int64_t>{20, 2}));
    EXPECT_EQ(shape(loaddata::dprops), (std::vector<int64_t>{12, 2}));
    // Impactor loops stop at the columns the arrays hold.
    impactdata::cprops.drop();
    impactdata::cprops.create(20, 1);
    impactdata::cprops(6, 1) = solver::kGravity;
    impactdata::cprops(7, 1) = 1.0;
    impactdata::cprops(8, 1) = -1.0;  // not a scheme of its own: Newmark
    for (int32_t lop : {7, 2, 1}) event(lop, 2);
    EXPECT_DOUBLE_EQ(impactdata::cprops(5, 1), 0.1 * solver::kGravity);
    access(3);  // releases the moving-average windows too
    impactdata::cprops.create(20, 2);
    jobdata::stepid.create(2);
    jobdata::stepid.fill(solver::impact);
    impactdata::cprops(6, 1) = impactdata::cprops(7, 1) = 1.0;
    event(2, 2);
    EXPECT_EQ(impactdata::cprops(5, 1), 0.0);
}

TEST_F(Control, StoredStressesAndTheirClearingStayWithinTheArrays) {
    using namespace sectiondata;
    jobdata::stepid.create(2);
    jobdata::stepid.fill(solver::fatigue);
    elementdata::nelem = 2;
    nplies = 3;
    elementdata::elemkind.create(2);
    elementdata::elemkind.fill(2);
    nsectionpoints.create(2);
    nsectionpoints.fill(-1);
    event(7, 2);
    EXPECT_EQ(shape(sestress), (std::vector<int64_t>{6, 0, 4, 2}));
    EXPECT_EQ(shape(tnormalstress), (std::vector<int64_t>{7, 2}));  // no plyzcoord: 2 nplies + 1
    EXPECT_EQ(shape(tshearstress), (std::vector<int64_t>{0, 2, 4, 2}));
    // Section points and elements beyond those the arrays were made for.
    nsectionpoints.fill(5);
    tnormalstress.fill(1.0);
    nplies = 4;
    elementdata::nelem = 3;
    nodaldata::nodesmotion.create(6, 8, 3);
    nodaldata::nodesmotion.fill(1.0);
    event(2, 2);
    access(2);
    EXPECT_TRUE(all_zero(tnormalstress));
    EXPECT_EQ(nodaldata::nodesmotion(6, 8, 2), 0.0);
    EXPECT_EQ(nodaldata::nodesmotion(6, 4, 2), 1.0);
    EXPECT_EQ(nodaldata::nodesmotion(1, 5, 3), 1.0);  // beyond elemkind
    // Solid elements: 27 stress points and element lengths; an empty point list gives no rows.
    sestress.drop();
    nsectionpoints.drop();
    nsectionpoints.create(0);
    elementdata::elemkind(2) = 11;
    event(7, 2);
    EXPECT_EQ(shape(sestress), (std::vector<int64_t>{6, 0, 27, 3}));
    EXPECT_EQ(elementdata::elemlength(3, 3), -1.0);
}

TEST_F(Control, SectionTablesOverSectionArraysOfOtherShapes) {
    using namespace sectiondata;
    use_job();
    event(0, 1);
    const std::vector<double> z(plyzcoord.span().begin(), plyzcoord.span().end());
    const std::vector<double> f(sefmatrix.span().begin(), sefmatrix.span().end());
    plyzcoord.drop();
    plyzcoord.create(1, 1);
    sefmatrix.drop();
    sefmatrix.create(3, 4, 1);
    sehmatrix.drop();
    sehmatrix.create(2, 2, 0);
    // A second start-up whose section card has more plies keeps the arrays of the first.
    const std::string dir = ::testing::TempDir() + "kestro_control_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/SectionCard.zrv") << "++Begin Section, SecID=7\n+Orientation\n0 90 0 0 0\n++End Section\n";
    use_job(dir);
    event(0, 1);
    EXPECT_EQ(errorhandling::errstat, -3);
    EXPECT_EQ(nplies, 5);
    EXPECT_EQ(std::vector<double>(plyzcoord.span().begin(), plyzcoord.span().end()), z);
    EXPECT_EQ(std::vector<double>(sefmatrix.span().begin(), sefmatrix.span().end()), f);
    EXPECT_EQ(shape(sehmatrix), (std::vector<int64_t>{2, 2, 1}));
    // Ply constants of fewer than nine rows: no tables.
    materialdata::peprops.drop();
    materialdata::peprops.create(8, 3, 1);
    sefmatrix.fill(0.0);
    event(0, 1);
    EXPECT_TRUE(all_zero(sefmatrix));
}

}  // namespace
