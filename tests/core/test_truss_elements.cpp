// The truss elements on argument lists whose counts fall short of the six-
// freedom layout or go beyond it: every write stays within the caller's
// arrays (outputs carry a guard entry, inputs have exactly their counts, so
// the sanitizers see any read past them), and the shared core gives what the
// faces give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/control.hpp"
#include "solver/elements.hpp"

namespace {

using namespace kestro;
using TrussElements = SharedState;
using Vec = std::vector<double>;
constexpr double kGuard = -12345.0;

// n entries that start as 1.0, then a guard entry.
struct Guarded : kestro_test::Out<double, kGuard, 1> {
    explicit Guarded(int64_t count, double start = 1.0) : Out(count, start) {}
};

struct Implicit {
    int32_t ndofel, mlvarx, nrhs, nsvars, ndload, mdload;
};

TEST_F(TrussElements, ImplicitCallsStayWithinTheirCounts) {
    const Implicit layouts[] = {{3, 3, 1, 2, 2, 1}, {6, 4, 3, 5, 1, 1}, {8, 8, 2, 20, 0, 0}, {0, 0, 0, 0, 0, 0},
                                {6, 6, 1, 0, 3, 2}, {8, 5, 4, 13, 1, 1}};
    const int32_t lflags[][4] = {{1, 1, 1, 0}, {1, 1, 1, 1}, {11, 1, 1, 0}, {1, 1, 2, 0}, {1, 1, 4, 0},
                                 {11, 1, 5, 0}, {11, 1, 6, 0}, {1, 1, 100, 0}, {41, 1, 100, 0}};
    const Vec coords{1, 2, 3, 2.5, 4, 3}, props{200, 8, 0.05}, params{-0.05, 0.25, 0.5}, time{0, 0};
    const double dtime = 0.01, period = 0.0, predef = 0.0;
    const int32_t zero = 0, three = 3, two = 2, one = 1, jprops = 0;
    for (const Implicit &l : layouts) {
        const Vec u(l.ndofel, 0.01), du(static_cast<std::size_t>(l.mlvarx) * l.nrhs, 0.02), adlmag(l.mdload, 3.0);
        const std::vector<int32_t> jdltyp(l.mdload, 1001);
        for (const auto &flags : lflags) {
            Guarded rhs(int64_t{l.mlvarx} * l.nrhs), amatrx(int64_t{l.ndofel} * l.ndofel), svars(l.nsvars),
                energy(8);
            double pnewdt = 1.0;
            toplevel::uel_truss(rhs.data(), amatrx.data(), svars.data(), energy.data(), &l.ndofel, &l.nrhs,
                                &l.nsvars, props.data(), &three, coords.data(), &three, &two, u.data(), du.data(),
                                u.data(), u.data(), &one, time.data(), &dtime, &one, &one, &one, params.data(),
                                &l.ndload, jdltyp.data(), adlmag.data(), &predef, &zero, flags, &l.mlvarx,
                                adlmag.data(), &l.mdload, &pnewdt, &jprops, &one, &period);
            EXPECT_TRUE(rhs.guards_intact() && amatrx.guards_intact() && svars.guards_intact() && energy.guards_intact())
                << l.ndofel << " " << l.mlvarx << " " << flags[0] << " " << flags[2];
            for (int64_t j = 2; j < l.nrhs; ++j)  // right-hand sides beyond the second stay 0
                for (int64_t i = 0; i < l.mlvarx; ++i) EXPECT_EQ(rhs.v[j * l.mlvarx + i], 0.0);
            EXPECT_EQ(pnewdt, 1.0);
        }
    }
}

TEST_F(TrussElements, ExplicitBlocksStayWithinTheirCounts) {
    constexpr int32_t nblock = 2, nnode = 2, ncrd = 3, one = 1, two = 2, kstep = 1, kinc = 1;
    const Vec props{200, 8, 0.05, 0, 50, 4, 8, 1, 0, 0, 0, 0.01}, time{0, 0};
    const std::vector<int32_t> jprops{1, 0}, jelem{1, 2};
    const double dt = 1e-3, period = 0.0, predef = 0.0;
    Vec coords(nblock * nnode * ncrd, 0.0);
    coords[nblock * (1 + nnode * 2)] = coords[1 + nblock * (1 + nnode * 2)] = 1.0;  // node 2 at z = 1
    jobdata::stepid.create(1);
    jobdata::stepid(1) = solver::impact;
    for (int32_t ndofel : {0, 3, 4, 8})
        for (int32_t nsvars : {0, 1, 2, 18})
            for (int32_t pass : {1, 2, 3})
                for (bool impactor : {false, true}) {
                    const Vec u(nblock * ndofel, 0.01), per_element(nblock, 1.0);
                    const int32_t lflags[3] = {17, pass, 0}, jdltyp = 123;
                    Guarded rhs(nblock * ndofel), amass(int64_t{nblock} * ndofel * ndofel), stable(nblock),
                        svars(nblock * nsvars, 0.0), energy(nblock * 12), cprops(20, 0.0);
                    const int32_t nprops = impactor ? 12 : 3;
                    const auto call = [&](auto routine, auto... cprops_if_impactor) {
                        routine(&nblock, rhs.data(), amass.data(), stable.data(), svars.data(), &nsvars,
                                energy.data(), &nnode, &ndofel, props.data(), &nprops, jprops.data(), &two,
                                coords.data(), &ncrd, u.data(), u.data(), u.data(), u.data(), &one, jelem.data(),
                                time.data(), &period, &dt, &dt, &kstep, &kinc, lflags, per_element.data(), &predef,
                                &one, &jdltyp, per_element.data(), cprops_if_impactor...);
                    };
                    if (impactor)
                        call(toplevel::vuel_impact, cprops.data());
                    else
                        call(toplevel::vuel_truss);
                    EXPECT_TRUE(rhs.guards_intact() && amass.guards_intact() && stable.guards_intact() && svars.guards_intact() &&
                                energy.guards_intact() && cprops.guards_intact())
                        << ndofel << " " << nsvars << " " << pass << " " << impactor;
                    if (pass != 1 || impactor) continue;
                    for (int64_t j = 0; j < ndofel; ++j)  // the lumped mass on the first six diagonal entries
                        for (int64_t i = 0; i < ndofel; ++i)
                            EXPECT_EQ(amass.v[nblock * (i + ndofel * j)], i == j && i < 6 ? 0.5 * 8 * 0.05 : 0.0);
                }
}

// The implicit impactor in each kind of step, with and without a compliance
// table, beside csvars of other shapes: nothing written past the caller's
// arrays or csvars, whose columns are the impactors'.
TEST_F(TrussElements, ImplicitImpactorStaysWithinItsArrays) {
    const Vec coords{0, 0, 0, 0, 0, 1}, props{210e9, 0.3, 9e9, 0.3, 50, 4, 0.008, 0.001, 0, 0, 0, 1e-5};
    const Vec params{-0.3, 0.4225, 0.8}, time{0, 0};
    const std::vector<int32_t> jprops{1, 0, 0};
    const double dtime = 1e-5, period = 0.0, predef = 0.0, load = 0.0;
    const int32_t zero = 0, three = 3, two = 2, one = 1, twelve = 12, kinc = 2;
    const int32_t lflags[][4] = {{11, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 100, 0}};
    jobdata::stepid.create(3);
    jobdata::stepid(1) = solver::initialization;
    jobdata::stepid(2) = solver::impact;
    jobdata::stepid(3) = solver::structural_response;
    loaddata::nimp = 2;
    for (const Implicit &l : {Implicit{6, 6, 1, 20, 0, 0}, Implicit{3, 3, 1, 21, 0, 0}, Implicit{8, 8, 2, 26, 0, 0}})
        for (int32_t kstep = 1; kstep <= 3; ++kstep)
            for (const auto &flags : lflags)
                for (int64_t rows : {0, 1, 6}) {
                    impactdata::csvars.drop();
                    if (rows > 0) impactdata::csvars.create(rows, rows == 1 ? 3 : 1);
                    Vec u(l.ndofel), du(static_cast<std::size_t>(l.mlvarx) * l.nrhs);  // the struck point moves
                    for (Vec *x : {&u, &du})
                        for (std::size_t i = 0; i < x->size(); ++i) (*x)[i] = 1e-6 * static_cast<double>(i);
                    Guarded rhs(int64_t{l.mlvarx} * l.nrhs), amatrx(int64_t{l.ndofel} * l.ndofel), svars(l.nsvars),
                        energy(8), cprops(20), pnewdt(1);
                    for (int32_t i = 0; i < l.nsvars; ++i) svars.v[i] = (l.nsvars - i) * 1e-9;  // a falling table
                    cprops.v[12] = 0.0;
                    cprops.v[14] = 1e-10;
                    toplevel::uel_impact(rhs.data(), amatrx.data(), svars.data(), energy.data(), &l.ndofel, &l.nrhs,
                                         &l.nsvars, props.data(), &twelve, coords.data(), &three, &two, u.data(),
                                         du.data(), u.data(), u.data(), &one, time.data(), &dtime, &kstep, &kinc, &one,
                                         params.data(), &zero, &zero, &load, &predef, &zero, flags, &l.mlvarx, &load,
                                         &zero, pnewdt.data(), jprops.data(), &three, &period, cprops.data());
                    EXPECT_TRUE(rhs.guards_intact() && amatrx.guards_intact() && svars.guards_intact() && energy.guards_intact() &&
                                cprops.guards_intact() && pnewdt.guards_intact())
                        << l.nsvars << " " << kstep << " " << flags[2] << " " << rows;
                    const auto &t = impactdata::csvars;
                    if (kstep == 2) {
                        EXPECT_EQ(shape(t), (std::vector<int64_t>{1, rows == 1 ? 3 : 2}));
                    } else if (kstep == 3 && l.nsvars == 26) {
                        EXPECT_EQ(shape(t), (std::vector<int64_t>{6, 2}));
                    }
                }
}

// The implicit impactor's path from C++: the call gathered from the implicit
// list, the motion it reads (length, stretch, local increments of both du
// columns) and the truss part with the impactor's section, E A / L = 2e-24.
TEST_F(TrussElements, SharedCoreServesTheImpactor) {
    const Vec coords{0, 0, 0, 0, 3, 4}, u{0, 0, 0, 0, 0.3, 0.4}, params{0, 0, 0};
    Vec du(12, 0.0), rhs(12, 1.0), amatrx(36, 1.0), svars(12, 0.5), energy(8, 0.0);
    std::copy(u.begin(), u.end(), du.begin());
    du[10] = 1.0;  // second column: node 2 by 1 along y
    const int32_t ndofel = 6, nrhs = 2, nsvars = 12, three = 3, two = 2, zero = 0, lflags[4] = {1, 1, 1, 0};
    const double dtime = 0.1;
    const auto call = solver::implicit_truss_call(rhs.data(), amatrx.data(), svars.data(), energy.data(), &ndofel,
                                                  &nrhs, &nsvars, coords.data(), &three, &two, u.data(), du.data(),
                                                  u.data(), u.data(), &dtime, &two, params.data(), &zero, &zero, &dtime,
                                                  lflags, &ndofel, &dtime, &zero);
    solver::TrussMotion motion{};
    ASSERT_TRUE(solver::implicit_truss_motion(motion, call));
    EXPECT_DOUBLE_EQ(motion.length, 5.0);
    EXPECT_NEAR(motion.ue[1] - motion.ue[0], 0.5, 1e-15);
    EXPECT_NEAR(motion.due[1][1], 0.6, 1e-15);  // (0, 1, 0) along the axis (0, 0.6, 0.8)
    EXPECT_EQ(motion.due[1][0], 0.0);
    solver::implicit_truss(call, solver::kImpactorTruss, motion, nsvars);
    const double force = 2e-24 * 0.5, expected[6] = {0, 0.6 * force, 0.8 * force, 0, -0.6 * force, -0.8 * force};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(rhs[i], expected[i], 1e-39) << i;
    EXPECT_NEAR(amatrx[7], 2e-24 * 0.36, 1e-39);
    EXPECT_EQ(svars, Vec(12, 0.5));
}

}  // namespace
