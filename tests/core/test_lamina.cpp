// The notation changes from C++, where the result may be the input itself.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>

#include "mechanics/notation.hpp"
#include "mechanics/ply.hpp"
#include "shared_state.hpp"

namespace {

using Lamina = SharedState;

TEST_F(Lamina, FlipInPlaceTwiceIsTheIdentity) {
    for (int32_t sdim : {1, 6}) {
        std::array<double, 36> q{}, original{};
        std::iota(q.begin(), q.end(), 1.0);
        original = q;
        FlipVoigtNyeNotation(q.data(), q.data(), &sdim);
        EXPECT_EQ(q[3], original[5]);
        EXPECT_EQ(q[5], original[3]);
        if (sdim == 6) {
            EXPECT_EQ(q[6 * 3 + 3], original[6 * 5 + 5]);  // (4,4) <- (6,6)
            EXPECT_EQ(q[6 * 5 + 0], original[6 * 3 + 0]);  // (1,6) <- (1,4)
        }
        FlipVoigtNyeNotation(q.data(), q.data(), &sdim);
        EXPECT_EQ(q, original) << "sdim " << sdim;
    }
    int32_t sdim = 2;
    std::array<double, 12> q{}, fn{};
    std::iota(q.begin(), q.end(), 1.0);
    fn.fill(-1.0);
    FlipVoigtNyeNotation(fn.data(), q.data(), &sdim);
    EXPECT_EQ(fn, (std::array<double, 12>{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

// The cyclic turn in place: dir 2 then 1 (or -1 then 1) is the identity.
TEST_F(Lamina, CyclicTurnInPlaceAndBack) {
    for (const int32_t sdim : {1, 6})
        for (const int32_t dir : {2, -1}) {
            std::array<double, 36> q{}, original{};
            std::iota(q.begin(), q.end(), 1.0);
            original = q;
            FlipVoigtCyclicNotation(q.data(), q.data(), &sdim, &dir);
            EXPECT_EQ(q[3], original[5]) << sdim;
            if (sdim == 6) {
                EXPECT_EQ(q[6 * 3 + 3], original[6 * 5 + 5]);
            }
            const int32_t back = 1;
            FlipVoigtCyclicNotation(q.data(), q.data(), &sdim, &back);
            EXPECT_EQ(q, original) << "sdim " << sdim << " dir " << dir;
        }
    std::array<double, 6> q{1, 2, 3, 4, 5, 6}, fn{};
    const int32_t sdim = 3, dir = 1;
    FlipVoigtCyclicNotation(fn.data(), q.data(), &sdim, &dir);
    EXPECT_EQ(fn, (std::array<double, 6>{}));
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
}

}  // namespace
