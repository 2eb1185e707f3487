// vumat_cartesian from C++: with every option that writes (criterion set 6,
// friction, residual strains, plateaus, rate terms) and on layouts it
// refuses, every write stays within the block's counts (guard buffers) and
// the strain increment is only read.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using CartesianMaterial = SharedState;
using Out = kestro_test::Out<double, -7.0>;

TEST_F(CartesianMaterial, WritesOnlyWithinTheBlock) {
    // nstatev 82, one short of it, and a four-component layout; the model's
    // properties with the shear energies, options on; the packaged start too.
    for (const auto &[nstatev, nshr, totaltime] :
         {std::tuple{82, 3, 1.0}, {82, 3, 0.0}, {81, 3, 1.0}, {82, 1, 1.0}}) {
        const int32_t nblock = 3, ndir = 3, nprops = 42, nfieldv = 0, ncomp = ndir + nshr;
        std::vector<double> props{140000, 9000, 9000, 4600, 4600, 3100, 0.3,  0.45, 0.3,  2000, 50,  50,  -1200, -200,
                                  -200,   80,   80,   60,   120000, 10000, 10, 5000, 0,   0,    100, 10,  0.2,   1.0,
                                  0.3,    1e-9, 1e-12, 1e-15, 2, 6, 4, 2,  1,    1,    1,    1,   1,   1};
        std::vector<double> increment(nblock * ncomp), stressold(nblock * ncomp, 1.0), stateold(nblock * nstatev, 0.0),
            lengths(nblock * 3, 0.5), density(nblock, 1.5e-9), energy(nblock, 0.25), spare(nblock * 9, 0.0);
        for (int32_t k = 0; k < nblock * ncomp; ++k) increment[std::size_t(k)] = (k % 2 ? -2e-2 : 3e-2) / (k + 1);
        // Damaged modes with stored strains, a friction side, failed exposures.
        for (int32_t entry : {10, 11, 12, 13, 16, 72, 74})
            for (int32_t k = 0; k < nblock && entry <= nstatev; ++k) stateold[std::size_t((entry - 1) * nblock + k)] = 1;
        for (int32_t k = 0; k < nblock; ++k) stateold[std::size_t(18 * nblock + k)] = 1;
        const std::vector<double> given = increment;
        Out stressnew(nblock * ncomp), statenew(nblock * nstatev), internal(nblock), inelastic(nblock);
        const double dt = 1e-6, zero = 0.0;
        const int32_t lanneal = 0;
        conventions::Vumat block{};
        block.nblock = &nblock, block.ndir = &ndir, block.nshr = &nshr, block.nstatev = &nstatev;
        block.nfieldv = &nfieldv, block.nprops = &nprops, block.lanneal = &lanneal, block.steptime = &zero;
        block.totaltime = &totaltime, block.dt = &dt, block.cmname = solver::kWrapperName.data();
        block.coordmp = spare.data(), block.charlength = lengths.data(), block.props = props.data();
        block.density = density.data(), block.straininc = increment.data(), block.stressold = stressold.data();
        block.stateold = stateold.data(), block.enerinternold = energy.data(), block.enerinelasold = energy.data();
        block.stressnew = stressnew.data(), block.statenew = statenew.data(), block.enerinternnew = internal.data();
        block.enerinelasnew = inelastic.data(), block.cmname_len = solver::kNameLength;
        reset();
        conventions::call(toplevel::vumat_cartesian, block);
        EXPECT_TRUE(stressnew.guards_intact() && statenew.guards_intact() && internal.guards_intact() &&
                    inelastic.guards_intact())
            << nstatev << " " << nshr;
        EXPECT_EQ(increment, given);
        const bool refused = nstatev < 82 || nshr != 3;
        EXPECT_EQ(std::string(errorhandling::errstring, 41), refused ? "Unsupported dimension in vumat_cartesian."
                                                                     : std::string(41, '\0'));
        if (refused) {
            EXPECT_EQ(stressnew.body(), stressold);
        }
    }
}

}  // namespace
