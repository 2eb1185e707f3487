// Loads, patches and the auxiliary hooks at the edges of their arrays: writes
// that must stop at the extents they are given, element numbers a host writes
// straight into elemlist, and motions handed on in blocks (run under the
// sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decl/elementhandling.hpp"
#include "decl/sldcollection.hpp"
#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro;
using Loads = SharedState;
constexpr double kFill = -7.0;
using Guarded = kestro_test::Out<double, kFill>;

TEST_F(Loads, PatchesWriteOnlyTheirColumns) {
    // Two unit squares sharing an edge; three columns for six points.
    const double coords[24] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 2, 0, 0, 2, 1, 0, 1, 1, 0};
    const int32_t nodes[8] = {1, 2, 5, 4, 2, 3, 6, 5}, nnodes = 4, nelem = 2, one = 1;
    for (int32_t elemid : {0, 1, 3}) {
        for (int32_t npt : {0, 3}) {
            Guarded patch(3 * npt);
            GetNodalPatch(patch.data(), coords, nodes, &elemid, &npt, &nnodes, &nelem, nullptr, &one, nullptr,
                          nullptr);
            EXPECT_TRUE(patch.guards_intact()) << elemid << " " << npt;
            // Outside the tables the patch stays empty; inside the first points fill it.
            const double first = npt == 0 ? kFill : elemid == 1 ? 0.0 : -1.7976931348623157e308;
            EXPECT_EQ(patch.v[0], first);
        }
    }
    EXPECT_EQ(errorhandling::errstat, -2);
    const int32_t points = 2, ndim = 3, ndata = 2;
    Guarded data(ndata * points);
    const double refdata[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, where[6] = {1, 0, 0, 9, 9, 9};
    GetDataFromPatch(data.data(), refdata, where, coords, &ndata, &points, &ndim, &nnodes, &nelem, nullptr);
    EXPECT_TRUE(data.guards_intact());
    EXPECT_EQ(data.body(), (std::vector<double>{9, 10, 0, 0}));
}

TEST_F(Loads, ElementNumbersWrittenStraightIntoElemlistAreFound) {
    const int32_t kstep = 1, nimp = 1, elemid = 7;
    const double coords[3] = {12, 21, 0}, dircos[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double cprops[20] = {900, 3}, alpha = 0.0, t_user[3];
    jobdata::stepid.create(1);
    jobdata::stepid(1) = 3;
    elementdata::elemlist.create(2);
    elementdata::elemkind.create(2);
    elementdata::elemnodes.create(1, 2);
    elementdata::elemkind(2) = 10;
    const auto load = [&] {
        Guarded dprops(12, 0.0);
        const double code_and_centre[4] = {5, 10, 20, 5};
        std::copy_n(code_and_centre, 4, dprops.data());
        dsload(&alpha, t_user, &kstep, coords, dircos, cprops, dprops.data(), &nimp, &elemid);
        EXPECT_TRUE(dprops.guards_intact());
        return alpha;
    };
    EXPECT_GT(load(), 0.0);
    elementdata::elemlist(2) = 7;  // the library does not see this write ...
    kestro_array_note_external_access(&elementdata::elemlist);  // ... until the host says so
    EXPECT_LT(load(), 0.0);
    // The registry's own writes are seen at once.
    int32_t iele = 0;
    const int32_t connectivity[1] = {1}, nconnect = 1;
    elementhandling::getabqelementconnectivity(&iele, connectivity, &elemid, "S4", &nconnect, 2);
    EXPECT_GT(load(), 0.0);  // position 1, kind 1
}

TEST_F(Loads, LengthsAndConstraintsStayWithinTheirExtents) {
    const int32_t nblock = 2, ncomp = 2, ndim = 2, nnode = 4, jeltype[3] = {3, 0, 0}, zero = 0;
    const std::vector<double> coordnode{0, 0, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2};
    const std::vector<double> tdirect{1, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 1};
    Guarded lengths(nblock * ncomp);
    toplevel::vucharlength_cel(&nblock, &zero, &zero, &ncomp, &ndim, &nnode, &zero, &zero, &zero, &zero, jeltype,
                               nullptr, nullptr, nullptr, nullptr, "", nullptr, coordnode.data(), tdirect.data(),
                               nullptr, nullptr, nullptr, nullptr, lengths.data(), 0);
    EXPECT_TRUE(lengths.guards_intact());
    EXPECT_EQ(lengths.body(), (std::vector<double>{3, 3, 2, 2}));
    const int32_t mdof = 2, n = 3;
    Guarded a(mdof * mdof * n, 1.0);
    std::vector<int32_t> jdof(mdof * n + 4, 5);
    int32_t lmpc = 9;
    toplevel::mpc_nullify(nullptr, a.data(), jdof.data(), &mdof, &n, &zero, nullptr, nullptr, nullptr, &zero, &lmpc,
                          &zero, &zero, nullptr, &zero, &zero, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(a.guards_intact() && a.body() == std::vector<double>(a.n, 0.0));
    EXPECT_EQ(std::count(jdof.begin(), jdof.end(), 0), mdof * n);
    EXPECT_EQ(lmpc, 0);
}

TEST_F(Loads, MotionsInBlocksEqualOneDistribution) {
    // 1,000 single-node elements; seven freedoms give blocks of 219 nodes.
    const int32_t nodes = 1000, slots = 1, dof = 6, mdof = 7, rotations = 4, kstep = 2, kinc = 4;
    int32_t status = 0;
    datahandling::allocateelementdata(&status, &slots, &nodes);
    datahandling::allocatenodaldata(&status, &dof, &slots, &nodes);
    std::vector<int32_t> ids(nodes);
    std::vector<double> u(mdof * nodes), trans(3 * nodes), rot(rotations * nodes);
    for (int32_t k = 0; k < nodes; ++k) {
        ids[k] = elementdata::elemnodes(1, k + 1) = k + 1;
        for (int32_t c = 0; c < mdof; ++c) u[mdof * k + c] = k % 3 == 0 ? 0.0 : 0.001 * (k + c);
        std::copy_n(&u[mdof * k], 3, &trans[3 * k]);
        std::copy_n(&u[mdof * k + 3], rotations, &rot[rotations * k]);
    }
    const double not_given = 0.0;
    GetNodesMotion(trans.data(), rot.data(), ids.data(), &rotations, &nodes, &not_given);
    const std::vector<double> direct(nodaldata::nodesmotion.span().begin(), nodaldata::nodesmotion.span().end());
    nodaldata::nodesmotion.fill(0.0);
    jobdata::stepid.create(2);
    jobdata::stepid(2) = 3;
    debugdata::nupdate = 5;
    toplevel::vdisp_nullify(&nodes, &mdof, &slots, &kstep, &kinc, nullptr, nullptr, nullptr, nullptr, "", nullptr,
                            nullptr, ids.data(), nullptr, nullptr, u.data(), nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, 0);
    EXPECT_EQ(std::vector<double>(nodaldata::nodesmotion.span().begin(), nodaldata::nodesmotion.span().end()), direct);
    debugdata::nupdate = 0;
}

}  // namespace
