"""Element and nodal frames of 6- and 8-node shells: curvature frames on
cylinders and paraboloids, the choice of the reference direction, nodal frames
and the handling of unsupported node counts."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

e = _kestro.elementhandling
QUAD8 = [(-1, -1), (1, -1), (1, 1), (-1, 1), (0, -1), (1, 0), (0, 1), (-1, 0)]
TRIA6 = [(0, 0), (1, 0), (0, 1), (0.5, 0), (0.5, 0.5), (0, 0.5)]
RNG = np.random.default_rng(121)


def on_table(points):
    """The 8 x 3 node table with the given rows, the rest zero."""
    on = np.zeros((8, 3))
    on[: len(points)] = points
    return on


def record(angle=0.0, r1=(1, 0, 0), r2=(1, 0, 0)):
    return np.array([angle, *r1, *r2], float)


def cylinder(radius, beta, h=1.0):
    """An 8-node element on a cylinder about y, xi around the circumference, normal outwards."""
    return on_table([(radius * math.sin(beta * xi), h * eta, radius * math.cos(beta * xi)) for xi, eta in QUAD8])


def paraboloid(x, y):
    return (x * x + y * y) / 4.0


FLAT_SQUARE = on_table([(x, y, 0.0) for x, y in QUAD8])


def assert_frame(t):
    np.testing.assert_allclose(t @ t.T, np.eye(3), atol=1e-13)
    assert np.linalg.det(t) == pytest.approx(1.0, abs=1e-13)


def rotation_z(degrees):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    return np.array([[c, s, 0.0], [-s, c, 0.0], [0.0, 0.0, 1.0]])  # rows: the turned x and y axes


@pytest.mark.parametrize("radius, beta", [(2.0, math.radians(30)), (10.0, math.radians(5)), (0.5, math.radians(60))])
def test_cylinder_curvature_runs_along_the_axis(radius, beta):
    tcurv, origin, kappa = e.getelementtransformation(cylinder(radius, beta), record(), 8)
    # The quadratic interpolation of the arc: z = R(1 - cos b)(1 - x^2 / (R sin b)^2).
    np.testing.assert_allclose(kappa, [-2.0 / (radius * (1.0 + math.cos(beta))), 0.0], rtol=1e-10, atol=1e-12)
    np.testing.assert_allclose(origin, [0.0, 0.0, radius * math.cos(beta)], atol=1e-13)
    # delta = -pi/2 turns nx = global x onto -y: the first axis lies along the cylinder axis.
    np.testing.assert_allclose(tcurv, [[0, -1, 0], [1, 0, 0], [0, 0, 1]], atol=1e-12)
    assert recorded()[0] == 0


def test_curvatures_of_a_paraboloid_and_a_saddle():
    table = e.quad8shapefunmatrix(0.0, 0.0)
    xy = np.array(QUAD8, float) * [1.5, 0.8]
    for surface, kappa, delta in [
        (paraboloid, [0.5, 0.5], 0.0),
        # z = x y: kxy = 1, principal curvatures +-1 along the diagonals.
        (lambda x, y: x * y, [-1.0, 1.0], -math.pi / 4),
        (lambda x, y: 0.0 * x, [0.0, 0.0], 0.0),
    ]:
        lncoords = np.column_stack([xy, [surface(x, y) for x, y in xy]])
        got_delta, got_kappa = e.getcurvatures(table, lncoords)
        np.testing.assert_allclose(got_kappa, kappa, atol=1e-12)
        assert abs(got_delta) == pytest.approx(abs(delta), abs=1e-12)


@pytest.mark.parametrize(
    "refdir, tx",
    [
        (record(), (1, 0, 0)),
        (record(r2=(0, 0, 0)), (-1, 0, 0)),  # the zero vector is nearest to parallel: theta = pi
        (record(r1=(0, 1, 0), r2=(1, 0, 0)), (1, 0, 0)),
        (record(r1=(0, 1, 0), r2=(0, 1, 0)), (0, 1, 0)),
        (record(90.0, r1=(1, 0, 0), r2=(0, 1, 0)), (0, 1, 0)),  # X turned onto y picks r2
        (record(90.0, r1=(0, 1, 0), r2=(1, 0, 0)), (0, 1, 0)),
    ],
)
def test_flat_square_follows_the_reference_direction(refdir, tx):
    tcurv, origin, kappa = e.getelementtransformation(FLAT_SQUARE, refdir, 8)
    np.testing.assert_allclose(origin, 0.0, atol=1e-15)
    np.testing.assert_allclose(kappa, 0.0, atol=1e-15)
    np.testing.assert_allclose(tcurv[0], tx, atol=1e-15)
    np.testing.assert_allclose(tcurv[2], [0, 0, 1], atol=1e-15)
    assert_frame(tcurv)


def test_flat_triangle_origin_is_the_corner_opposite_the_longest_edge():
    corners = np.array([(0, 0, 0), (4, 0, 0), (0, 3, 0)], float)
    for order, origin in [((0, 1, 2), (0, 0, 0)), ((1, 2, 0), (0, 0, 0)), ((2, 0, 1), (0, 0, 0))]:
        c = corners[list(order)]
        nodes = [*c, (c[0] + c[1]) / 2, (c[1] + c[2]) / 2, (c[2] + c[0]) / 2]
        tcurv, got, kappa = e.getelementtransformation(on_table(nodes), record(), 6)
        np.testing.assert_allclose(got, origin, atol=1e-15)
        np.testing.assert_allclose(kappa, 0.0, atol=1e-15)
        np.testing.assert_allclose(np.abs(tcurv[2]), [0, 0, 1], atol=1e-15)


def test_section_reference_orientation():
    x, y, z = np.eye(3)
    for so, normal, theta in [(y, z, math.pi / 2), (y, -z, -math.pi / 2), (-x, z, math.pi), (x, z, 0.0),
                              (np.zeros(3), z, math.pi)]:
        assert e.getsectionreforientation(so, normal, x) == pytest.approx(theta, abs=1e-15)
    # Nearly opposite vectors, whose cosine rounds below -1, still give a finite angle near pi.
    for _ in range(200):
        r12 = RNG.normal(size=3)
        so = -RNG.uniform(0.1, 10) * r12 + 1e-7 * np.cross(r12, RNG.normal(size=3))
        assert abs(e.getsectionreforientation(so, np.cross(r12, so), r12)) == pytest.approx(math.pi, abs=1e-6)


def test_nodal_frames_of_flat_elements():
    for on, nodes in [(FLAT_SQUARE * [3, 1, 1], 8), (on_table([(x, y, 0) for x, y in TRIA6]), 6)]:
        ti = e.getnodaltransformation(on, nodes)
        for k in range(nodes):
            if nodes == 8:
                np.testing.assert_allclose(ti[:, :, k], np.eye(3), atol=1e-15)
            np.testing.assert_allclose(ti[2, :, k], [0, 0, 1], atol=1e-15)
        assert not ti[:, :, nodes:].any()
    # Trapezoid: at corner 1 the tangents are along x and towards (1, 2); t1 and t2 lie 45
    # degrees either side of their bisector.
    corners = np.array([(0, 0, 0), (4, 0, 0), (3, 2, 0), (1, 2, 0)], float)
    mids = [(corners[i] + corners[(i + 1) % 4]) / 2 for i in range(4)]
    ti = e.getnodaltransformation(on_table([*corners, *mids]), 8)
    bisector = (0.0 + math.degrees(math.atan2(2, 1))) / 2
    for k in range(8):
        np.testing.assert_allclose(ti[2, :, k], [0, 0, 1], atol=1e-15)
    np.testing.assert_allclose(ti[:, :, 0], rotation_z(bisector - 45.0), atol=1e-13)
    assert math.degrees(math.atan2(ti[0, 1, 0], ti[0, 0, 0])) == pytest.approx(-13.282525588539, abs=1e-9)


def test_nodal_frames_of_curved_elements_are_right_handed_with_outward_normals():
    tria = [(x, y, paraboloid(x, y)) for x, y in np.array(TRIA6) * 2 - 0.5]
    for on, nodes in [(cylinder(2.0, 0.6), 8), (on_table(tria), 6),
                      (on_table([(x, y, paraboloid(x, y) + 0.05 * x * y) for x, y in QUAD8]), 8)]:
        ti = e.getnodaltransformation(on, nodes)
        for k in range(nodes):
            assert_frame(ti[:, :, k])
        # The cylinder's nodal normals point outwards, radial up to the interpolation of the arc.
        if nodes == 8 and on[0, 2] > 1:
            for k in range(8):
                radial = on[k] * [1, 0, 1]
                assert ti[2, :, k] @ radial / np.linalg.norm(radial) > 0.99
                assert ti[2, 1, k] == pytest.approx(0.0, abs=1e-14)


def test_unsupported_node_counts_give_zeros_and_a_record():
    for nodes in (4, 7, 9, -1):
        tcurv, origin, kappa = e.getelementtransformation(FLAT_SQUARE, record(), nodes)
        assert not tcurv.any() and not kappa.any()
        assert recorded() == (-3, "Unknown or unsupported element type.")
        _kestro.errorhandling.rsxerr(1)
        assert not e.getnodaltransformation(FLAT_SQUARE, nodes).any()
        assert recorded() == (-3, "Unknown or invalid number of nodes")
        _kestro.errorhandling.rsxerr(1)
    for locnode, nodes in [(0, 8), (9, 8), (7, 6), (1, 5)]:
        e.getnodalshape(locnode, nodes)
        assert recorded() == (-3, "Unknown or invalid number of nodes")
        _kestro.errorhandling.rsxerr(1)
    np.testing.assert_allclose(e.getnodalshape(3, 6)[:, 0], np.eye(6)[2], atol=1e-15)


@pytest.mark.parametrize(
    "call",
    [
        lambda: e.getelementtransformation(np.zeros((6, 3)), record(), 6),
        lambda: e.getelementtransformation(FLAT_SQUARE, np.zeros(6), 8),
        lambda: e.getnodaltransformation(FLAT_SQUARE.T, 8),
        lambda: e.getcurvatures(np.zeros((9, 6)), np.zeros((9, 3))),
        lambda: e.getcurvatures(np.zeros((8, 6)), np.zeros((6, 3))),
    ],
)
def test_misshapen_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()
