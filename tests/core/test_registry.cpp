// Element frames and the element registry at the edges of their arrays:
// unsupported node counts, tables with more rows than eight, shared arrays of
// shapes the routines do not expect, and node numbers a host writes straight
// into elemnodes (run under the sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "decl/elementhandling.hpp"
#include "decl/listhandling.hpp"
#include "elements/shapes.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro::elementdata;
using namespace kestro::nodaldata;
using Registry = SharedState;

bool all_equal(const std::vector<double> &v, double x) {
    return std::all_of(v.begin(), v.end(), [x](double y) { return y == x; });
}

TEST_F(Registry, UnsupportedNodeCountsGiveZerosWithinTheEightNodeArrays) {
    const std::vector<double> on(24, 1.0), refdir{0, 1, 0, 0, 1, 0, 0};
    for (int32_t n : {4, 7, 9, 100, -2}) {
        SCOPED_TRACE(n);
        std::vector<double> tcurv(9, 7.0), origin(3, 7.0), kappa(2, 7.0), ti(72, 7.0);
        GetElementTransformation(tcurv.data(), origin.data(), kappa.data(), on.data(), refdir.data(), &n);
        EXPECT_TRUE(all_equal(tcurv, 0.0) && all_equal(kappa, 0.0));
        EXPECT_EQ(kestro::errorhandling::errstat, -3);
        GetNodalTransformation(ti.data(), on.data(), &n);
        EXPECT_TRUE(all_equal(ti, 0.0));
        reset();
    }
    for (auto [locnode, nodes] : {std::pair{0, 8}, {9, 8}, {7, 6}, {-1, 6}}) {
        std::vector<double> nshape(48, 7.0);
        GetNodalShape(nshape.data(), &locnode, &nodes);
        EXPECT_TRUE(all_equal(nshape, 7.0));
        EXPECT_EQ(kestro::errorhandling::errstat, -3);
        reset();
    }
}

TEST_F(Registry, CurvaturesReadAtMostEightRows) {
    // A 12-row table whose first eight rows hold the 8-node element on z = (x^2 + y^2)/4.
    constexpr int32_t n = 12;
    static constexpr double quad[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    std::array<double, 48> table{};
    const double centre = 0.0;
    Quad8ShapeFunMatrix(table.data(), &centre, &centre);
    std::vector<double> nshape(n * 6, 1e6), lncoords(n * 3, 1e6);
    for (int i = 0; i < 8; ++i) {
        for (int c = 0; c < 6; ++c) nshape[c * n + i] = table[c * 8 + i];
        const double x = quad[i][0], y = quad[i][1];
        lncoords[i] = x;
        lncoords[n + i] = y;
        lncoords[2 * n + i] = (x * x + y * y) / 4.0;
    }
    double delta = 1.0, kappa[2] = {};
    GetCurvatures(&delta, kappa, nshape.data(), lncoords.data(), &n);
    EXPECT_NEAR(kappa[0], 0.5, 1e-12);
    EXPECT_NEAR(kappa[1], 0.5, 1e-12);
    EXPECT_EQ(delta, 0.0);
}

// Elements of kind 4 holding nodes first, first + 1, ... in `slots` slots.
void elements(int64_t count, int64_t slots, int64_t dof) {
    elemlist.create(count);
    elemkind.create(count);
    elemnodes.create(slots, count);
    nodesmotion.create(dof, slots, count);
    for (int64_t e = 1; e <= count; ++e) {
        elemlist(e) = static_cast<int32_t>(100 + e);
        elemkind(e) = 4;
        for (int64_t i = 1; i <= slots; ++i) elemnodes(i, e) = static_cast<int32_t>(10 * e + i);
    }
    nelem = static_cast<int32_t>(count);
}

TEST_F(Registry, MotionsBeyondTheNodalFramesAndFreedoms) {
    elements(1, 12, 9);
    tcurvmatrices.create(3, 3, 1);
    tnodalmatrices.create(3, 3, 8, 1);
    for (int i = 1; i <= 3; ++i) tcurvmatrices(i, 4 - i, 1) = 1.0;  // reverses the components
    for (int k = 1; k <= 8; ++k)
        for (int i = 1; i <= 3; ++i) tnodalmatrices(i, i, k, 1) = 2.0;
    const std::array<int32_t, 2> nodes{18, 21};  // slots 8 and 11
    const std::array<double, 6> u{1, 2, 3, 1, 2, 3};
    const std::array<double, 10> r{1, 2, 3, 9, 9, 1, 2, 3, 9, 9};
    const int32_t ndim = 5, nblock = 2;
    GetNodesMotion(u.data(), r.data(), nodes.data(), &ndim, &nblock, nullptr);
    // Slot 8: C = 4 I; slot 11: the identity nodal frame.  Rows 7 to 9 are not rotations.
    const std::array<double, 9> slot8{3, 2, 1, 12, 8, 4, 0, 0, 0}, slot11{3, 2, 1, 3, 2, 1, 0, 0, 0};
    for (int c = 1; c <= 9; ++c) {
        EXPECT_EQ(nodesmotion(c, 8, 1), slot8[c - 1]) << c;
        EXPECT_EQ(nodesmotion(c, 11, 1), slot11[c - 1]) << c;
    }
    // Frame tables of another layout are not read: the values go in as given.
    tnodalmatrices.drop();
    tnodalmatrices.create(3, 3, 4, 1);
    GetNodesMotion(u.data(), r.data(), nodes.data(), &ndim, &nblock, nullptr);
    EXPECT_EQ(nodesmotion(1, 8, 1), 1.0);
    EXPECT_EQ(nodesmotion(6, 11, 1), 3.0);
}

TEST_F(Registry, NodesWrittenStraightIntoElemnodesAreFoundAfterARebuild) {
    elements(2, 4, 6);
    nodalcoords.create(3, 4, 2);
    const int32_t three = 3, one = 1;
    const std::array<double, 3> x{1, 2, 3}, y{4, 5, 6};
    int32_t node = 11;
    GetNodalCoordinates(x.data(), &node, &three, &one);
    EXPECT_EQ(nodalcoords(1, 1, 1), 1.0);
    // The host replaces node 11 by 50: the stale hit rebuilds the index, which then knows 50.
    elemnodes(1, 1) = 50;
    GetNodalCoordinates(y.data(), &node, &three, &one);
    EXPECT_EQ(nodalcoords(1, 1, 1), 1.0);
    node = 50;
    GetNodalCoordinates(y.data(), &node, &three, &one);
    EXPECT_EQ(nodalcoords(3, 1, 1), 6.0);
    // Registration by the library is seen at once.
    int32_t iele = 1;
    const std::array<int32_t, 4> connectivity{60, 61, 62, 63};
    const int32_t id = 7, four = 4;
    kestro::elementhandling::getabqelementconnectivity(&iele, connectivity.data(), &id, "S4R", &four, 3);
    node = 62;
    GetNodalCoordinates(x.data(), &node, &three, &one);
    EXPECT_EQ(nodalcoords(2, 3, 2), 2.0);
    // Beyond the arrays nothing is written.
    iele = 2;
    kestro::elementhandling::getabqelementconnectivity(&iele, connectivity.data(), &id, "S4R", &four, 3);
    EXPECT_EQ(iele, 3);
}

TEST_F(Registry, ReferenceDataWithArraysSmallerThanTheModel) {
    elements(3, 8, 6);
    nodalcoords.create(3, 8, 3);
    tcurvmatrices.create(3, 3, 3);
    tnodalmatrices.create(3, 3, 8, 3);
    elemcurvatures.create(2, 1);  // one element's worth
    elemreforientation.create(7, 3);
    static constexpr double quad[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    for (int e = 1; e <= 3; ++e)
        for (int i = 1; i <= 8; ++i) {
            nodalcoords(1, i, e) = quad[i - 1][0];
            nodalcoords(2, i, e) = quad[i - 1][1];
        }
    elemreforientation.fill(-1.0);
    int32_t lop = 1;
    GetNodeReferenceData(&lop, nullptr);
    EXPECT_EQ(lop, 0);
    EXPECT_EQ(tcurvmatrices(3, 3, 1), 1.0);
    EXPECT_EQ(tcurvmatrices(3, 3, 2), 0.0);  // skipped: no curvature column
    EXPECT_EQ(nodalcoords(1, 1, 3), -1.0);
    // A record of five entries per element cannot hold the seven values.
    elemreforientation.drop();
    elemreforientation.create(5, 3);
    kestro::sectiondata::nsectionpoints.create(2);
    const int32_t ind = 1, unique = 1, seven = 7;
    int32_t status = 0, nshell = -1, ierror = -1;
    const std::array<double, 7> record{1, 2, 3, 4, 5, 6, 7};
    for (int32_t e : {101, 103}) iAppendScalar2List(&ind, &e, &unique, &status, nullptr, nullptr);
    fAppendArray2List(&ind, record.data(), &seven, &unique, &status, nullptr, nullptr);
    const kestro_complex pair{103.0, 4.0};
    cAppendScalar2List(&ind, &pair, &unique, &status, nullptr, nullptr);
    GetElementReferenceData(&nshell, &ierror, &ind);
    EXPECT_EQ(nshell, 3);
    EXPECT_EQ(ierror, 0);
    EXPECT_TRUE(std::all_of(elemreforientation.span().begin(), elemreforientation.span().end(),
                            [](double v) { return v == -1.0; }));
    EXPECT_EQ(kestro::sectiondata::nsectionpoints(1), 1);
    EXPECT_EQ(kestro::sectiondata::nsectionpoints(2), 1);  // element 103 lies beyond the array
}

}  // namespace
