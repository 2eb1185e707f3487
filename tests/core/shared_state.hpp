// Test fixture for everything that touches the process-global shared data:
// each test starts and ends with the arrays released, no error recorded and
// the scalars the tests write back at their initial values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/datahandling.hpp"
#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"

class SharedState : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        int32_t istat = -1;
        kestro::datahandling::deallocall(&istat);
        int32_t cleared = 0;
        const int8_t yes = 1;
        kestro::errorhandling::rsxerr(&cleared, &yes);
        std::memset(kestro::errorhandling::errstring, 0, sizeof kestro::errorhandling::errstring);
        kestro::damagedata::ndmg = 0;
        kestro::sectiondata::nsec = 0;
        // Arrays that deallocall leaves alone.
        kestro::jobdata::processid.drop();
        kestro::materialdata::temperatures.drop();
        kestro::materialdata::r_crit.drop();
        kestro::materialdata::i10.drop();
        kestro::impactdata::csvars.drop();
    }
};

// Extents of dimensions 1..rank, for comparing whole shapes at once.
inline std::vector<int64_t> shape(const kestro_array &a) { return {a.extent, a.extent + a.rank}; }

template <class T, int R>
bool all_zero(const kestro::Allocatable<T, R> &a) {
    for (const T &x : a.span())
        if (x != T{}) return false;
    return true;
}
