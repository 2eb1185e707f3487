"""Shape functions of the five geometries and the shell kinematics: node
values, derivatives against central differences, the tables, the messages and
their check order, patch tests of the strain-displacement matrices, and the
element lengths."""

import itertools

import numpy as np
import pytest

import _kestro
from conftest import recorded

e = _kestro.elementhandling
eh = _kestro.errorhandling
RNG = np.random.default_rng(25)

QUAD = [(-1, -1), (1, -1), (1, 1), (-1, 1)]
GEOMETRIES = {
    # name: (module, node coordinates, number of natural coordinates, second derivatives?)
    "truss3": (_kestro.truss3, [(-1,), (0,), (1,)], 1, False),
    "tria6": (_kestro.tria6, [(0, 0), (1, 0), (0, 1), (0.5, 0), (0.5, 0.5), (0, 0.5)], 2, True),
    "quad4": (_kestro.quad4, QUAD, 2, False),
    "quad8": (_kestro.quad8, QUAD + [(0, -1), (1, 0), (0, 1), (-1, 0)], 2, True),
    "hex8": (_kestro.hex8, [(x, y, z) for z in (-1, 1) for x, y in QUAD], 3, True),
}


def scalar(name, kind):
    module = GEOMETRIES[name][0]
    suffix = {"sf": "sf", "d1": "firstderivsf", "d2": "secondderivsf"}[kind]
    return getattr(module, name + suffix)


def points(name, count=4):
    dim = GEOMETRIES[name][2]
    return [tuple(RNG.uniform(-0.9, 0.9, dim) * (0.5 if name == "tria6" else 1) + (0.25 if name == "tria6" else 0))
            for _ in range(count)]


@pytest.mark.parametrize("name", GEOMETRIES)
def test_kronecker_property_and_partition_of_unity(name):
    _, nodes, dim, _ = GEOMETRIES[name]
    sf = scalar(name, "sf")
    for j, at in enumerate(nodes, 1):
        np.testing.assert_allclose([sf(*at, i) for i in range(1, len(nodes) + 1)], np.eye(len(nodes))[j - 1],
                                   atol=1e-15)
    for at in points(name):
        assert sum(sf(*at, i) for i in range(1, len(nodes) + 1)) == pytest.approx(1.0, abs=1e-14)
        for v in range(1, dim + 1):
            d1 = scalar(name, "d1")
            args = (v,) if dim > 1 else ()
            assert sum(d1(*at, i, *args) for i in range(1, len(nodes) + 1)) == pytest.approx(0.0, abs=1e-13)
    assert recorded()[0] == 0


@pytest.mark.parametrize("name", GEOMETRIES)
def test_derivatives_are_those_of_the_function_below(name):
    _, nodes, dim, second = GEOMETRIES[name]
    h = 1e-5
    sf, d1 = scalar(name, "sf"), scalar(name, "d1")
    for at, i in itertools.product(points(name, 3), range(1, len(nodes) + 1)):
        shift = lambda v, s: tuple(x + (s if k == v - 1 else 0) for k, x in enumerate(at))
        for v in range(1, dim + 1):
            sel = (v,) if dim > 1 else ()
            numeric = (sf(*shift(v, h), i) - sf(*shift(v, -h), i)) / (2 * h)
            assert d1(*at, i, *sel) == pytest.approx(numeric, abs=1e-7)
            if not second:
                continue
            d2 = scalar(name, "d2")
            for w in range(1, dim + 1):
                numeric = (d1(*shift(w, h), i, v) - d1(*shift(w, -h), i, v)) / (2 * h)
                assert d2(*at, i, v, w) == pytest.approx(numeric, abs=1e-7)
                assert d2(*at, i, v, w) == d2(*at, i, w, v)


def test_known_derivatives():
    xi, eta, zeta = 0.3, -0.2, 0.6
    assert _kestro.tria6.tria6firstderivsf(xi, eta, 1, 1) == _kestro.tria6.tria6firstderivsf(xi, eta, 1, 2) \
        == pytest.approx(4 * xi + 4 * eta - 3)
    assert _kestro.hex8.hex8secondderivsf(xi, eta, zeta, 7, 2, 3) == pytest.approx((1 + xi) / 8)
    assert _kestro.hex8.hex8secondderivsf(xi, eta, zeta, 1, 3, 2) == pytest.approx((1 - xi) / 8)
    assert _kestro.hex8.hex8secondderivsf(xi, eta, zeta, 4, 1, 1) == 0.0
    assert recorded()[0] == 0


TABLES = [
    ("tria6", e.tria6shapefunmatrix, [("sf", ()), ("d1", (1,)), ("d1", (2,)), ("d2", (1, 1)), ("d2", (2, 2)),
                                      ("d2", (1, 2))]),
    ("quad8", e.quad8shapefunmatrix, [("sf", ()), ("d1", (1,)), ("d1", (2,)), ("d2", (1, 1)), ("d2", (2, 2)),
                                      ("d2", (1, 2))]),
    ("quad4", e.quad4shapefunmatrix, [("sf", ()), ("d1", (1,)), ("d1", (2,))]),
    ("hex8", e.hex8shapefunmatrix, [("sf", ()), ("d1", (1,)), ("d1", (2,)), ("d1", (3,)), None, None, None,
                                    ("d2", (1, 2)), ("d2", (1, 3))]),
]


@pytest.mark.parametrize("name,table,columns", TABLES)
def test_tables_equal_the_scalar_routines(name, table, columns):
    for at in points(name, 3):
        m = table(*at)
        assert m.shape == (len(GEOMETRIES[name][1]), len(columns))
        np.testing.assert_allclose(m.sum(axis=0), [1.0] + [0.0] * (len(columns) - 1), atol=1e-14)
        for c, column in enumerate(columns):
            expected = [0.0] * m.shape[0] if column is None else \
                [scalar(name, column[0])(*at, i, *column[1]) for i in range(1, m.shape[0] + 1)]
            np.testing.assert_array_equal(m[:, c], expected)
    if name == "quad4":
        np.testing.assert_array_equal(table(0.0, 0.0)[:, 0], 0.25)


@pytest.mark.parametrize("call,message", [
    (lambda: _kestro.quad4.quad4sf(0.1, 0.2, 5), "Warning: Overflow in Quad4SF."),
    (lambda: _kestro.quad4.quad4sf(0.1, 0.2, -1), "Warning: Overflow in Quad4SF."),
    (lambda: _kestro.truss3.truss3firstderivsf(0.1, 0), "Warning: Overflow in Truss3FirstDerivSF."),
    (lambda: _kestro.tria6.tria6firstderivsf(0.1, 0.2, 9, 3), "Warning: Invalid ordinal in Tria6FirstDerivSF."),
    (lambda: _kestro.tria6.tria6firstderivsf(0.1, 0.2, 9, 2), "Warning: Overflow in Tria6.Eta."),
    (lambda: _kestro.tria6.tria6secondderivsf(0.1, 0.2, 7, 1, 1), "Overflow in Tria6.XiXi."),
    (lambda: _kestro.tria6.tria6secondderivsf(0.1, 0.2, 7, 3, 5), "Warning: Invalid 1st ordinal in Tria6"),
    (lambda: _kestro.tria6.tria6secondderivsf(0.1, 0.2, 7, 2, 5), "Warning: Invalid 2nd ordinal in Tria6."),
    (lambda: _kestro.quad8.quad8secondderivsf(0.1, 0.2, 1, 1, 0), "Warning: Invalid ordinal in Quad8SecondDerivSF."),
    (lambda: _kestro.quad8.quad8secondderivsf(0.1, 0.2, 1, 0, 0), "Warning: Invalid 1st ordinal in Quad8SecondDerivSF"),
    (lambda: _kestro.quad8.quad8firstderivsf(0.1, 0.2, 0, 1), "Warning: Overflow in Quad8FirstDerivSF.Xi."),
    (lambda: _kestro.hex8.hex8firstderivsf(0.1, 0.2, 0.3, 9, 3), "Warning: Overflow in Hex8FirstDerivSF.Zeta."),
    (lambda: _kestro.hex8.hex8secondderivsf(0.1, 0.2, 0.3, 9, 3, 2), "Warning: Overflow in Hex8SecondDerivSF.ZetaEta."),
    (lambda: _kestro.hex8.hex8secondderivsf(0.1, 0.2, 0.3, 9, 2, 4), "Warning: Invalid 2nd ordinal in Hex8SecondDerivSF."),
])
def test_bad_nodes_and_selectors(call, message):
    assert call() == 0.0
    assert recorded() == (-2, message)


# ---------------------------------------------------------------- shells

SQUARE8 = np.array([(-1, -1), (1, -1), (1, 1), (-1, 1), (0, -1), (1, 0), (0, 1), (-1, 0)], float)
TRIA6 = np.array([(0, 0), (1, 0), (0, 1), (0.5, 0), (0.5, 0.5), (0, 0.5)], float)


def coords(xy):
    return np.vstack([np.asarray(xy).T, np.zeros(len(xy))])


def test_square_and_scaled_elements():
    for xi, eta in points("quad8", 3):
        jac, nshape = e.shelljacobian(coords(SQUARE8), xi, eta)
        np.testing.assert_allclose(jac, np.eye(2), atol=1e-15)
        np.testing.assert_allclose(e.shellsecondderivjacobian(nshape, coords(SQUARE8), xi, eta), 0.0, atol=1e-15)
        np.testing.assert_allclose(e.shellbmatrix(coords(SQUARE8), xi, eta)[0, ::5], nshape[:, 1], atol=1e-15)
        scaled = SQUARE8 * [2, 1]
        jac, _ = e.shelljacobian(coords(scaled), xi, eta)
        np.testing.assert_allclose(jac, [[2, 0], [0, 1]], atol=1e-15)
        np.testing.assert_allclose(e.shellbmatrix(coords(scaled), xi, eta)[0, ::5], nshape[:, 1] / 2, atol=1e-15)


def patch_displacements(xy):
    a0, a1, a2, b1, b2, c1, c2, d1, d2 = 0.3, 0.7, -0.4, 0.25, 1.1, -0.6, 0.45, 0.2, -0.35
    u = np.zeros(40)
    for i, (x, y) in enumerate(xy):
        u[5 * i:5 * i + 5] = [a0 + a1 * x + a2 * y, b1 * x + b2 * y, c1 * x + c2 * y, d1, d2]
    return u, [a1, b2, a2 + b1, 0, 0, 0, c2 - d1, c1 + d2]


@pytest.mark.parametrize("xy", [
    SQUARE8 * [1.3, 0.8] + [[0.1, 0.05], [-0.1, 0.1], [0.2, -0.1], [0, 0.1], [0.1, -0.08], [0.15, 0.05], [-0.1, 0.12],
                            [-0.12, -0.04]],  # curved mid-side nodes
    TRIA6 * 2 + [[0.1, 0], [0, 0.1], [-0.1, 0], [0.05, -0.06], [0.1, 0.1], [-0.07, 0.02]],
])
def test_patch_test_of_the_strain_displacement_matrix(xy):
    u, expected = patch_displacements(xy)
    for at in points("tria6" if len(xy) == 6 else "quad8", 5):
        np.testing.assert_allclose(e.shellbmatrix(coords(xy), *at) @ u, expected, atol=1e-12)


def test_second_derivatives_on_a_parallelogram():
    xy = SQUARE8 @ np.array([[1.5, 0.0], [0.4, 1.0]])  # x = 1.5 xi + 0.4 eta, y = eta
    k, m = 0.8, -0.3
    u = np.zeros(40)
    for i, (x, y) in enumerate(xy):
        u[5 * i + 2] = k * x * x / 2 + m * x * y
    hmat = np.array([[2.0, 0.5], [0.25, 3.0]])
    first = None
    for at in points("quad8", 4):
        jac, _ = e.shelljacobian(coords(xy), *at)
        first = jac if first is None else first
        np.testing.assert_allclose(jac, first, atol=1e-14)
        np.testing.assert_allclose(e.shellxderivbmatrix(coords(xy), *at) @ u, [m, k], atol=1e-12)
        np.testing.assert_allclose(e.shellyderivbmatrix(coords(xy), *at) @ u, [0, m], atol=1e-12)
        np.testing.assert_allclose(e.shellxderivshearforces(u, hmat, coords(xy), *at), hmat @ [m, k], atol=1e-12)
        np.testing.assert_allclose(e.shellyderivshearforces(u, hmat, coords(xy), *at), hmat @ [0, m], atol=1e-12)


def test_jacobian_inverses():
    jac = np.array([[2.0, 0.3], [-0.4, 1.5]])
    np.testing.assert_allclose(e.shelljacobianinverse(jac), np.linalg.inv(jac), rtol=1e-15)
    jac1 = e.shellfirstderivjacobian(jac)
    np.testing.assert_allclose(e.shellfirstderivjacobianinverse(jac1), np.linalg.inv(jac1), rtol=1e-14)
    np.testing.assert_array_equal(e.shellfirstderivjacobianinverse(np.zeros((3, 3))), 0.0)
    assert recorded() == (-3, "Singular first derivative of jacobian")


def test_unsupported_node_counts_give_zeros():
    xy = coords(np.vstack([SQUARE8, SQUARE8]))
    jac, nshape = e.shelljacobian(xy[:, :4], 0.1, 0.2)
    assert not jac.any() and not nshape.any()
    assert recorded() == (-3, "Unknown or unsupported element type.")
    for call in (e.shellbmatrix, e.shellxderivbmatrix, e.shellyderivbmatrix):
        assert not call(xy, 0.1, 0.2, inodes=9).any()
    assert not e.shellxderivshearforces(np.ones(40), np.eye(2), xy, 0.1, 0.2, inodes=4).any()


@pytest.mark.parametrize("mdof,inodes,expected", [
    (6, 8, lambda m: [m[k, i] for i in range(8) for k in range(5)]),
    (3, 8, lambda m: [m[k, i] if k < 3 else 0 for i in range(8) for k in range(5)]),
    (5, 6, lambda m: [m[k, i] for i in range(6) for k in range(5)] + [0] * 10),
])
def test_displacement_vector(mdof, inodes, expected):
    nmotion = np.arange(1.0, mdof * inodes + 1).reshape(inodes, mdof).T
    np.testing.assert_array_equal(e.getdisplacementvector(nmotion), expected(nmotion))


def test_lengths_and_mid_points():
    cube = np.array([(x, y, z) for z in (0, 1) for x, y in [(0, 0), (1, 0), (1, 1), (0, 1)]], float).T
    np.testing.assert_allclose(e.gethex8elemlength(np.eye(3), cube), [1, 1, 1], rtol=1e-15)
    c = np.sqrt(0.5)
    np.testing.assert_allclose(e.gethex8elemlength(np.array([[c, c, 0], [-c, c, 0], [0, 0, 1]]).T, cube),
                               [np.sqrt(2), np.sqrt(2), 1], rtol=1e-15)
    np.testing.assert_allclose(e.gethex8elemlength(np.eye(3), cube * [[2], [3], [4]]), [2, 3, 4], rtol=1e-15)
    quad = np.array([(0, 0, 0), (3, 0, 0), (3, 2, 1), (0, 2, 0)], float).T
    np.testing.assert_allclose(e.getquad4elemlength(np.eye(3), quad), [3, 2, np.sqrt(13)], rtol=1e-15)
    line = np.array([(0, 0, 0), (3, 4, 0)], float).T
    assert e.gettruss3elemlength(line) == 5.0
    np.testing.assert_allclose(e.gettruss3transformationmatrix(line), [[0.6, 0.8, 0, 0, 0, 0], [0, 0, 0, 0.6, 0.8, 0]])
    np.testing.assert_array_equal(e.getcenternodes(np.array([(0, 0), (2, 0), (0, 4)], float).T),
                                  np.array([(1, 0), (1, 2), (0, 2)]).T)


@pytest.mark.parametrize("call", [
    lambda: e.shellbmatrix(np.zeros((2, 8)), 0, 0),
    lambda: e.shellbmatrix(np.zeros((3, 6)), 0, 0, inodes=8),
    lambda: e.shellxderivshearforces(np.zeros(39), np.eye(2), np.zeros((3, 8)), 0, 0),
    lambda: e.shellyderivshearforces(np.zeros(40), np.eye(3), np.zeros((3, 8)), 0, 0),
    lambda: e.gethex8elemlength(np.eye(2), np.zeros((3, 8))),
    lambda: e.gethex8elemlength(np.eye(3), np.zeros((3, 7))),
    lambda: e.getquad4elemlength(np.eye(3), np.zeros((3, 8))),
    lambda: e.gettruss3elemlength(np.zeros((3, 3))),
    lambda: e.shelljacobianinverse(np.eye(3)),
    lambda: e.shellfirstderivjacobianinverse(np.eye(2)),
    lambda: e.shellsecondderivjacobian(np.zeros((8, 5)), np.zeros((3, 8)), 0, 0),
    lambda: e.shellsecondderivjacobian(np.zeros((6, 6)), np.zeros((3, 8)), 0, 0, inodes=8),
    lambda: e.getdisplacementvector(np.zeros((5, 9))),
])
def test_bad_shapes_raise(call):
    with pytest.raises(_kestro.error):
        call()
