// vumat_bogenfeld on blocks from C++: every point of a block on the damage
// path is the point alone (guard buffers catch writes past the block), and
// state variables past the 47 the damage uses come through as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using Bogenfeld = SharedState;
using Out = kestro_test::Out<double, -7.0>;

// The worked ply: entries 1-11, 13, 14, 16, 17, 25-29.
std::vector<double> ply() {
    std::vector<double> p(29, 0.0);
    const double values[] = {140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.3, 0.45, 2000, 500};
    for (int k = 0; k < 11; ++k) p[static_cast<std::size_t>(k)] = values[k];
    p[12] = -1200, p[13] = -800, p[15] = 500, p[16] = 500, p[24] = 50, p[25] = 30, p[26] = 0.2, p[27] = 2,
    p[28] = 0.8;
    return p;
}

// n points (cyclic order, point first) through the routine; nstatev state variables, state 19 = 1 and
// state k + 1 of point j = 1000 j + k past the 47th.
struct Block {
    Out stressnew, statenew, internal, inelastic;

    Block(int32_t n, int32_t nstatev, const std::vector<double> &increment)
        : stressnew(6 * n), statenew(int64_t{n} * nstatev), internal(n), inelastic(n) {
        const int32_t ndir = 3, nshr = 3, nfieldv = 0, nprops = 29;
        const double totaltime = 1.0;
        const auto props = ply();
        std::vector<double> state(static_cast<std::size_t>(n * nstatev)), stressold(6 * n, 0.0);
        std::vector<double> ones(3 * n, 0.5), energy(n, 0.0), straininc = increment;
        for (int32_t j = 0; j < n; ++j) {
            state[static_cast<std::size_t>(18 * n + j)] = 1.0;
            for (int32_t k = 47; k < nstatev; ++k) state[static_cast<std::size_t>(k * n + j)] = 1000.0 * j + k;
        }
        conventions::Vumat block{};
        block.nblock = &n, block.ndir = &ndir, block.nshr = &nshr, block.nstatev = &nstatev;
        block.nfieldv = &nfieldv, block.nprops = &nprops, block.totaltime = &totaltime, block.props = props.data();
        block.charlength = ones.data(), block.density = ones.data(), block.straininc = straininc.data();
        block.stressold = stressold.data(), block.stateold = state.data(), block.enerinternold = energy.data();
        block.enerinelasold = energy.data(), block.stressnew = stressnew.data(), block.statenew = statenew.data();
        block.enerinternnew = internal.data(), block.enerinelasnew = inelastic.data();
        block.cmname = solver::kWrapperName.data(), block.cmname_len = solver::kNameLength;
        conventions::call(toplevel::vumat_bogenfeld, block);
    }
    bool intact() const {
        return stressnew.guards_intact() && statenew.guards_intact() && internal.guards_intact() &&
               inelastic.guards_intact();
    }
};

TEST_F(Bogenfeld, EachPointOfABlockIsThePointAlone) {
    // Fibre tension, fibre compression, a matrix crack and an elastic point.
    const double points[4][6] = {{0.015, 0, 0, 0, 0, 0}, {-0.012, 0, 0, 0, 0, 0}, {0, 0.05, 0, 0, 0, 0},
                                 {1e-4, 0, 0, 2e-4, 0, 1e-4}};
    std::vector<double> increment(24);
    for (int j = 0; j < 4; ++j)
        for (int c = 0; c < 6; ++c) increment[static_cast<std::size_t>(c * 4 + j)] = points[j][c];
    const Block block(4, 50, increment);
    EXPECT_TRUE(block.intact());
    EXPECT_EQ(errorhandling::errstat, 0);
    for (int32_t j = 0; j < 4; ++j) {
        const Block alone(1, 47, {points[j], points[j] + 6});
        EXPECT_TRUE(alone.intact());
        for (int c = 0; c < 6; ++c) EXPECT_EQ(block.stressnew[c * 4 + j], alone.stressnew[c]) << j << c;
        for (int k = 0; k < 47; ++k) EXPECT_EQ(block.statenew[k * 4 + j], alone.statenew[k]) << j << k;
        for (int k = 47; k < 50; ++k) EXPECT_EQ(block.statenew[k * 4 + j], 1000.0 * j + k);
        EXPECT_EQ(block.internal[j], alone.internal[0]);
        EXPECT_EQ(block.inelastic[j], alone.inelastic[0]);
    }
}

TEST_F(Bogenfeld, AnEmptyBlockWritesNothing) {
    const Block block(0, 47, {});
    EXPECT_TRUE(block.stressnew.untouched() && block.statenew.untouched() && block.internal.untouched());
}

}  // namespace
