// The card readers on cards that push at the edges of the arrays: run under
// the sanitizers, nothing may be read or written outside an array.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/shared_data.hpp"
#include "decl/iohandling.hpp"
#include "shared_state.hpp"

namespace {

using Cards = SharedState;

std::string workspace(const std::string &name, const std::string &text) {
    const std::string dir = ::testing::TempDir() + "kestro_cards_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/" + name + ".zrv", std::ios::binary) << text;
    return dir;
}

void read_sections(const std::string &text) {
    const std::string dir = workspace("SectionCard", text), deck = "absent.inp";
    kestro::iohandling::getsectiondatafromfile(deck.data(), dir.data(), deck.size(), dir.size());
}

// The material or damage reader on a card of the given name and text.
void read_per_ply(void (*reader)(const char *, const char *, const int32_t *, const int32_t *, size_t, size_t) noexcept,
                  const char *name, const std::string &text, int32_t plies, int32_t sections) {
    const std::string dir = workspace(name, text), deck = "absent.inp";
    reader(deck.data(), dir.data(), &plies, &sections, deck.size(), dir.size());
}

void read_steps(const std::string &text, int32_t nsteps) {
    const std::string dir = workspace("StepCard", text), deck = "absent.inp";
    kestro::iohandling::getstepdatafromfile(deck.data(), dir.data(), &nsteps, deck.size(), dir.size());
}

TEST_F(Cards, SectionBlocksStayInsideTheirArrays) {
    using namespace kestro::sectiondata;
    nsec = nplies = 1;
    // Orientations with parameters are not counted, so a single material or
    // thickness would be copied to five plies of a one-ply column.
    read_sections(
        "++Begin Section, SecID=1\n+Orientation, TYPE=X\n0 0 0 0 0\n+Material\n3\n+Thickness\n0.5\n"
        "+Extension\n1 1 1 1\n++End Section\n"
        "++Begin Section, SecID=2\n+Material\n4\n+Strength\n9\n++End Section\n"  // a section beyond the arrays
        "++Begin Section, SecID=3\n+Orientation\n");                           // cut off
    EXPECT_EQ(nplies, 1);
    EXPECT_EQ(nsec, 3);
    EXPECT_EQ(plyorientation.extent_of(2), 3);
    EXPECT_EQ(kestro::materialdata::matidlist(1, 1), 3);
    EXPECT_EQ(plythickness(1, 1), 0.5);
    EXPECT_EQ(kestro::materialdata::matidlist(1, 2), 4);
    EXPECT_EQ(xcstrength(2), 9.0);
    EXPECT_EQ(secidlist(3), 0);
    EXPECT_DOUBLE_EQ(plyzcoord(3, 1), 0.25);
    // Arrays that exist with fewer sections: the later ones are not stored.
    plyzcoord.drop();
    plyzcoord.create(1, 1);
    read_sections("++Begin Section, SecID=1\n+Material\n5\n+Orientation\n0\n++End Section\n");
    EXPECT_EQ(plyzcoord(1, 1), 0.0);
}

TEST_F(Cards, StepOptionsWithoutValuesAndCycleTables) {
    using namespace kestro::shokriehdata;
    read_steps("++Begin Step\n+Verbose\n+Verbose\n1 2 3\n+Update, TYPE=INC\n+Debug, TYPE=ELEMENT\n++End Step\n", 2);
    EXPECT_EQ(kestro::debugdata::verbose, 0);
    EXPECT_EQ(kestro::debugdata::unitid, -3);
    EXPECT_EQ(kestro::debugdata::nupdate, 1);
    cycles.create(2, 1);  // fewer columns than steps
    read_steps("++Begin Step\n+Cycle, TYPE=GENERAL\n1 1 3 1 1 9  1 1 3 1 1 9  1 1 3 1 1 9\n"
               "+Cycle, TYPE=INDIVIDUAL\n7 8 9\n++End Step\n",
               3);
    EXPECT_EQ(cycles(1, 1), 7.0);
    EXPECT_EQ(cycles(2, 1), 8.0);
    read_steps("+Cycle\n1 2 3\n", 0);
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

TEST_F(Cards, MaterialTablesOfOtherShapes) {
    using namespace kestro::materialdata;
    // Material ids of two plies, tables too small for what the card gives.
    matidlist.create(2, 1);
    matidlist.fill(1);
    peprops.create(4, 1, 1);
    pelimits.create(3, 2, 1);
    cuprops.create(2, 8, 1, 1);
    const std::string card =
        "++Begin Material, MatID=1\n+Elastic\n1 2 3 4 5 6 7 8 9\n+Failure, TYPE=DEGRADATION\n"
        "1 2 3 4 5 6 7 8 9 10 11 12\n+Temperature\n1 2 3\n+Table, TYPE=TEMPERATURE\n27*1.\n"
        "+GelPoint\n1 2 3\n+Enthalpie\n1\n+Expansion\n1\n+Shrinkage\n1\n"
        "+Curing\n1\n+Transition\n1\n+Curing, TYPE=RATE\n1\n+Curing, TYPE=MASTER\n1\n"
        "+Calibration, TYPE=Plasticity, T=1\n1 2 3 4 5 6 7 8 9\n++End Material\n"
        "++Begin Material, MatID=1\n+Strength\n1 2";  // cut off
    read_per_ply(kestro::iohandling::getmaterialdatafromfile, "MaterialCard", card, 3, 2);  // beyond matidlist
    EXPECT_EQ(peprops(4, 1, 1), 4.0);
    EXPECT_EQ(pelimits(3, 2, 1), 3.0);
    EXPECT_EQ(cuprops(2, 1, 1, 1), 2.0);
    EXPECT_EQ(kestro::errorhandling::errstat, -2);  // the cure data were longer
    ASSERT_TRUE(flowprops.exists());
    EXPECT_EQ(flowprops(1, 3, 3), 9.0);
}

TEST_F(Cards, DamageArraysSmallerThanTheCard) {
    using namespace kestro::damagedata;
    dmgplane.create(2, 1);
    fiberdds.create(2, 1, 1);
    dmgpoints.create(1, 1, 6, 1);
    const std::string card =
        "++Begin Damage, DmgID=2\n+Position\n1 2 3 4 5\n+Abstraction, Fiber\n1 2 3 4 5 6 7 8\n"
        "+Table, TYPE=Core, LayID=1\n1 2 3\n+Table, TYPE=User, LayID=3\n1\n++End Damage\n"
        "++Begin Damage, DmgID=1\n+Position\n1 2 3 4 5\n+Abstraction, Fiber\n1 2 3 4 5 6 7 8\n"
        "+Abstraction, Delamination\n1 2 3 4\n+Table, TYPE=Core, LayID=1\n7 8 9\n++End Damage\n"
        "++Begin Damage, DmgID=0\n+Position\n1\n++End Damage\n++Begin Damage";  // cut off
    read_per_ply(kestro::iohandling::getdamagedatafromfile, "DamageCard", card, 3, 1);
    EXPECT_EQ(ndmg, 4);
    EXPECT_EQ(dmgplane(2, 1), 2.0);
    EXPECT_EQ(fiberdds(2, 1, 1), 3.0);
    EXPECT_EQ(dmgpoints(1, 1, 5, 1), 7.0);
    EXPECT_EQ(delamdds.extent_of(2), 2);
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

TEST_F(Cards, TableCategoriesBeyondTheArray) {
    using namespace kestro::damagedata;
    dmgpoints.create(2, 1, 3, 1);  // the categories General, Fiber and Matrix only
    read_per_ply(kestro::iohandling::getdamagedatafromfile, "DamageCard",
                 "++Begin Damage, DmgID=1\n+Table, TYPE=Matrix, LayID=1\n4 5\n"
                 "+Table, TYPE=User, LayID=1\n1 2\n++End Damage\n", 1, 1);
    EXPECT_EQ(dmgpoints(2, 1, 3, 1), 5.0);
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

}  // namespace
