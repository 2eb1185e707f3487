// Test fixture for everything that touches the process-global shared data:
// each test starts and ends with every module variable as a fresh process has
// it (arrays absent, scalars and strings zero), from the generated tables of
// the shared data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
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
        for (int i = 0; i < kestro::shared_data::kept_count; ++i)
            kestro_array_drop(kestro::shared_data::kept_by_deallocall[i]);
        for (int i = 0; i < kestro::shared_data::plain_count; ++i)
            std::memset(kestro::shared_data::plain_variables[i].address, 0,
                        kestro::shared_data::plain_variables[i].size);
    }
};

// The message of the error record without its trailing blanks; empty while
// nothing is recorded.
inline std::string recorded() {
    if (kestro::errorhandling::errstat == 0) return {};
    const std::string text(kestro::errorhandling::errstring, sizeof kestro::errorhandling::errstring);
    return text.substr(0, text.find_last_not_of(std::string(" \0", 2)) + 1);
}

// Extents of dimensions 1..rank, for comparing whole shapes at once.
inline std::vector<int64_t> shape(const kestro_array &a) { return {a.extent, a.extent + a.rank}; }

template <class T, int R>
bool all_zero(const kestro::Allocatable<T, R> &a) {
    for (const T &x : a.span())
        if (x != T{}) return false;
    return true;
}
