"""The element registry: kind codes, registration, reference orientations and
section points, the distribution of nodal coordinates and motions to the
element node slots, and the frames of every shell element."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

e = _kestro.elementhandling
dh = _kestro.datahandling
lh = _kestro.listhandling
ed = _kestro.elementdata
nd = _kestro.nodaldata
sd = _kestro.sectiondata
RNG = np.random.default_rng(105)
QUAD8 = [(-1, -1), (1, -1), (1, 1), (-1, 1), (0, -1), (1, 0), (0, 1), (-1, 0)]
BIG = 1.7976931348623157e308


def model(kinds, nodes, nnodes=8, ndof=6):
    """Elements 101, 102, ... of the given kinds and node numbers, their arrays created."""
    dh.allocateelementdata(nnodes, len(kinds))
    dh.allocatenodaldata(ndof, nnodes, len(kinds))
    ed.nelem = len(kinds)
    ed.elemlist[:] = np.arange(101, 101 + len(kinds))
    ed.elemkind[:] = kinds
    for i, n in enumerate(nodes):
        ed.elemnodes[: len(n), i] = n


def lists_exist(ind=1):
    return [bool(lh.getallocationstatus(ind, kind)) for kind in range(3)]


@pytest.mark.parametrize(
    "name, kind",
    [("S4R5", 3), ("S4R", 2), ("S4", 1), ("S3R", 7), ("STRI65", 8), ("SC8R", 10), ("SC6R", 9), ("C3D8R", 11),
     ("S8R5", 5), ("S8R", 4), ("S9R5", 6), ("CPS4", 0), ("CINPE4", 0), ("B31", -1), ("s4", -1), ("S4R   ", 2)],
)
def test_kind_codes(name, kind):
    assert e.getabqelementkind(name) == kind


def test_registration_takes_shell_and_continuum_types_but_not_infinite_elements():
    assert e.getabqelementconnectivity([1, 2, 3], 10, "S4R", 0) == 0  # no arrays: nothing happens
    dh.allocateelementdata(4, 3)
    ed.elemnodes[:] = 9
    iele = 0
    for number, name in [(10, "CINPE4"), (11, "CPE4"), (12, "SFM3D4"), (13, "B31"), (14, "S3")]:
        iele = e.getabqelementconnectivity([1, 2, 3], number, name, iele)
    assert iele == 3
    np.testing.assert_array_equal(ed.elemlist, [11, 12, 14])
    np.testing.assert_array_equal(ed.elemkind, [0, 0, 7])
    np.testing.assert_array_equal(ed.elemnodes, [[1, 1, 1], [2, 2, 2], [3, 3, 3], [9, 9, 9]])
    assert e.getabqelementconnectivity([5, 6, 7, 8, 99], 15, "S4", 1, 4) == 2
    np.testing.assert_array_equal(ed.elemnodes[:, 1], [5, 6, 7, 8])
    # The counter must leave room in every array, the nodes within elemnodes' rows.
    for iele, connectivity in [(3, [1]), (-1, [1]), (0, [1, 2, 3, 4, 5])]:
        with pytest.raises(_kestro.error):
            e.getabqelementconnectivity(connectivity, 16, "S4", iele)
    ed.elemkind = np.zeros(2, np.int32)
    with pytest.raises(_kestro.error):
        e.getabqelementconnectivity([1], 16, "S4", 2)


def register(noel, kspt, layid=1, secid=1, tdirect=np.eye(3), plies=((30.0, -45.0),), nextid=0):
    return e.getelementreforientation(1, np.eye(3), tdirect, np.array(plies, float), noel, kspt, layid, secid,
                                      nextid)


def expected_record(angle):
    """The record of an element whose frame is the global one: the angle, x and y turned by -angle."""
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    return [angle, c, -s, 0.0, s, c, 0.0]


def test_reference_orientations_and_section_points_are_consolidated():
    model([4, 11, 2, 8], [[1] * 8] * 4)
    assert register(101, 1) == 1
    assert register(101, 3) == 1  # listed already at layer 1: only its section point is added
    assert register(101, 3) == 0
    assert register(103, 2, secid=2) == 1
    assert register(103, 5, layid=2, secid=2) == 1
    assert register(104, 7, nextid=2) == 1  # an extension section adds no section point
    nshell, ierror = e.getelementreferencedata(1)
    assert (nshell, ierror) == (3, 0)
    np.testing.assert_array_equal(ed.elemindices, [1, 3, 4, -1])
    np.testing.assert_allclose(ed.elemreforientation[:, 0], expected_record(30.0), atol=1e-14)
    np.testing.assert_allclose(ed.elemreforientation[:, 1], -1.0)
    np.testing.assert_allclose(ed.elemreforientation[:, 2], expected_record(-45.0), atol=1e-14)
    np.testing.assert_array_equal(sd.nsectionpoints, [3, 1, 5, 1])
    assert lists_exist() == [False, False, False]
    with pytest.raises(_kestro.error):
        register(101, 1, secid=3)


def test_consolidation_without_known_elements_or_full_records():
    model([1, 2, 3, 4, 5, 8], [[1] * 8] * 6)
    assert register(999, 1) == 1
    assert e.getelementreferencedata(1) == (6, 0)  # every element is a shell: no elemindices
    assert ed.elemindices is None
    assert np.all(ed.elemreforientation == -1.0) and np.all(sd.nsectionpoints == -1)
    assert lists_exist() == [False, False, False]
    # Absent lists: ierror -1; the shell count is found again.
    assert e.getelementreferencedata(1) == (6, -1)
    # Two listed elements but one record of seven: the second keeps -1.0.
    lh.int_appendarray2list(1, [102, 103], 0)
    lh.real_appendarray2list(1, expected_record(10.0), 0)
    e.getelementreferencedata(1)
    np.testing.assert_allclose(ed.elemreforientation[:, 1], expected_record(10.0), atol=1e-14)
    np.testing.assert_allclose(ed.elemreforientation[:, 2], -1.0)


def test_in_plane_angle():
    assert e.getabqelementorientation([1, 1, 0], np.eye(3)) == pytest.approx(45.0, abs=1e-13)
    assert e.getabqelementorientation([1, -1, 0], np.eye(3)) == pytest.approx(-45.0, abs=1e-13)
    c, s = math.cos(math.radians(30)), math.sin(math.radians(30))
    tdirect = np.column_stack([(1, 0, 0), (0, c, s), (0, -s, c)])  # the plane tilted 30 degrees about x
    for angle in (20.0, -20.0, 135.0):
        rm = math.cos(math.radians(angle)) * tdirect[:, 0] + math.sin(math.radians(angle)) * tdirect[:, 1]
        assert e.getabqelementorientation(rm, tdirect) == pytest.approx(angle, abs=1e-12)


def test_coordinates_go_to_every_slot_of_the_node():
    model([1, 1, 1], [[1, 2, 3, 4], [2, 5, 6, 3], [7, 7, 8, 9]], nnodes=4)
    block = np.array([[3.0, 2.0, 7.0], [3.1, 2.1, 7.1], [3.2, 2.2, 7.2]])
    e.getnodalcoordinates(block, [3, 2, 7])
    np.testing.assert_array_equal(nd.nodalcoords[:, [2, 1], 0], block[:, :2])
    np.testing.assert_array_equal(nd.nodalcoords[:, [3, 0], 1], block[:, :2])
    np.testing.assert_array_equal(nd.nodalcoords[:, 0, 2], block[:, 2])  # the first slot of node 7 only
    assert not nd.nodalcoords[:, 1, 2].any()
    # Two coordinates copy two rows; with elemindices only the listed elements are visited.
    ed.elemindices = np.array([2, -1, -1], np.int32)
    e.getnodalcoordinates(np.array([[9.0], [9.0]]), [2])
    assert nd.nodalcoords[0, 0, 1] == 9.0 and nd.nodalcoords[2, 0, 1] == 2.2
    assert nd.nodalcoords[0, 1, 0] == 2.0
    # Node numbers rewritten in elemnodes are seen at the next call.
    ed.elemnodes[1, 1] = 42
    e.getnodalcoordinates(np.array([[4.0], [4.0], [4.0]]), [42])
    np.testing.assert_array_equal(nd.nodalcoords[:, 1, 1], 4.0)


def test_motions_are_turned_into_the_element_frames():
    model([4, 4], [range(1, 9), [9, 1, 10, 11, 12, 13, 14, 15]], nnodes=9)
    ed.elemnodes[8, 0] = 20  # a ninth slot, beyond the eight nodal frames
    tcurv = RNG.normal(size=(3, 3))
    ti = RNG.normal(size=(3, 3, 8))
    nd.tcurvmatrices[:, :, 0] = tcurv
    nd.tnodalmatrices[:, :, :, 0] = ti
    nd.nodesmotion[:] = 5.0
    u, r = RNG.normal(size=(3, 3)), RNG.normal(size=(3, 3))
    u[:, 2] = BIG  # node 20: rotation only
    e.getnodesmotion(u, r, [1, 3, 20])
    for node, slot in [(0, 0), (1, 2)]:
        np.testing.assert_allclose(nd.nodesmotion[:3, slot, 0], tcurv @ u[:, node], rtol=1e-13)
        np.testing.assert_allclose(nd.nodesmotion[3:, slot, 0], tcurv @ ti[:, :, slot].T @ ti[:, :, slot] @ r[:, node],
                                   rtol=1e-12)
    np.testing.assert_allclose(nd.nodesmotion[:3, 8, 0], 5.0)
    np.testing.assert_allclose(nd.nodesmotion[3:, 8, 0], tcurv @ r[:, 2], rtol=1e-13)
    # Element 2 has no frames yet: the values go in as given.
    np.testing.assert_allclose(nd.nodesmotion[:, 1, 1], np.concatenate([u[:, 0], r[:, 0]]))
    # Nothing given, or a marker of one's own: the rows stay.
    before = nd.nodesmotion.copy()
    e.getnodesmotion(np.full((3, 1), BIG), np.full((3, 1), BIG), [1])
    e.getnodesmotion(np.full((3, 1), -1.0), np.full((3, 1), -1.0), [3], defreal=-1.0)
    np.testing.assert_array_equal(nd.nodesmotion, before)
    # Components beyond three are ignored; five freedoms take two rotations.
    e.getnodesmotion(np.full((3, 1), BIG), np.array([[1.0], [2.0], [3.0], [4.0], [5.0]]), [10])
    np.testing.assert_array_equal(nd.nodesmotion[3:, 2, 1], [1.0, 2.0, 3.0])


def test_single_node_transformation_in_place():
    tcurv, ti = RNG.normal(size=(3, 3)), RNG.normal(size=(3, 3))
    ntrac, nrot = RNG.normal(size=3), RNG.normal(size=5)
    t0, r0 = ntrac.copy(), nrot.copy()
    e.shelltractiontransformation(ntrac, nrot, ti, tcurv)
    np.testing.assert_allclose(ntrac, tcurv @ t0, rtol=1e-13)
    np.testing.assert_allclose(nrot[:3], tcurv @ ti.T @ ti @ r0[:3], rtol=1e-12)
    np.testing.assert_array_equal(nrot[3:], r0[3:])
    nrot = r0.copy()
    e.shelltractiontransformation(ntrac, nrot, ti, tcurv, 2)
    np.testing.assert_allclose(nrot[:2], (tcurv @ ti.T @ ti @ [r0[0], r0[1], 0.0])[:2], rtol=1e-12)
    np.testing.assert_array_equal(nrot[2:], r0[2:])


def quad_coordinates(points):
    return np.array(points, float).T


def test_node_reference_data():
    assert e.getnodereferencedata() == 0  # absent arrays
    square = [(x + 10.0, y + 5.0, 3.0) for x, y in QUAD8]
    cylinder = [(2 * math.sin(0.5 * xi), eta, 2 * math.cos(0.5 * xi)) for xi, eta in QUAD8]
    model([2, 4, 5], [range(1, 5), range(1, 9), range(1, 9)])
    nd.nodalcoords[:, :4, 0] = quad_coordinates(square[:4])  # slots 5 to 8 all 0.0: no mid-side data
    nd.nodalcoords[:, :, 1] = quad_coordinates(square)
    nd.nodalcoords[:, :, 2] = quad_coordinates(cylinder)
    ed.elemreforientation[:] = np.array([0, 1, 0, 0, 1, 0, 0], float)[:, None]
    given = nd.nodalcoords.copy()
    assert e.getnodereferencedata(1) == 0
    np.testing.assert_array_equal(nd.nodalcoords, given)  # tflag 1 keeps the global coordinates
    assert e.getnodereferencedata() == 0
    np.testing.assert_array_equal(nd.nodalcoords[:, :, 0], given[:, :, 0])
    assert not nd.tcurvmatrices[:, :, 0].any() and not nd.tnodalmatrices[:, :, :, 0].any()
    np.testing.assert_allclose(nd.tcurvmatrices[:, :, 1], np.eye(3), atol=1e-15)
    for k in range(8):
        np.testing.assert_allclose(nd.tnodalmatrices[:, :, k, 1], np.eye(3), atol=1e-15)
    np.testing.assert_allclose(nd.nodalcoords[:, :, 1], quad_coordinates([(x, y, 0.0) for x, y in QUAD8]), atol=1e-14)
    np.testing.assert_allclose(ed.elemcurvatures[:, 1], 0.0, atol=1e-15)
    np.testing.assert_allclose(ed.elemcurvatures[:, 2], [-2.0 / (2.0 * (1.0 + math.cos(0.5))), 0.0], rtol=1e-10)
    # Local coordinates: the corners' mean at the origin, the element in its x-y plane.
    local = nd.nodalcoords[:, :, 2]
    np.testing.assert_allclose(local[:, :4].mean(axis=1), 0.0, atol=1e-14)
    np.testing.assert_allclose(local[2, :4], 0.0, atol=1e-14)
    # An unknown kind stops at once.
    ed.elemkind[1] = 12
    assert e.getnodereferencedata() == -3
    assert recorded() == (-3, "Unknown element type detected")


def test_elements_with_more_nodes_than_slots_are_skipped():
    model([4], [[1, 2, 3, 4]], nnodes=4)
    nd.nodalcoords[:] = 1.0
    assert e.getnodereferencedata() == 0
    assert np.all(nd.nodalcoords == 1.0) and not nd.tcurvmatrices.any()
