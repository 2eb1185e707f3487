"""Section tables and transverse stresses of module laminate: closed forms for
a homogeneous section, and for a [0/45/90] laminate, flat and curved, the
tables against a quadrature of their definitions written here from scratch:
the ply stresses of unit moments P(z) = Qbar (b + z d) from the inverse of the
weighted stiffness matrix, f = -(running integral of w P) / w, and the
normal-stress table -(running integral of the running integral) / w."""

import numpy as np
import pytest

import _kestro
from conftest import recorded

L = _kestro.laminate
ABSENT = 2147483647
ISOTROPIC = [1000.0, 1000.0, 1000.0, 0.25, 0.25, 0.25, 400.0, 400.0, 400.0]
CARBON = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
NODES, WEIGHTS = np.polynomial.legendre.leggauss(6)  # exact far beyond degree 5


def laminate(constants, angles, thicknesses, extra_rows=()):
    """One section: ids, angles, thicknesses, z table, ply constants (9 + extra rows)."""
    n = len(angles)
    elastic = np.array([list(constants) + list(extra_rows)] * n).T[:, :, None]
    t = np.array(thicknesses, float)[:, None]
    ids = np.ones((n, 1), np.int32)
    return ids, np.array(angles, float)[:, None], t, L.getsectionzcoord(ids, t), elastic


# ---------------------------------------------------------------- the reference


def qbar(e, degrees):
    e1, e2, nu12, g12 = e[0], e[1], e[3], e[6]
    nu21 = nu12 * e2 / e1
    q = np.array([[e1, nu12 * e2, 0], [nu12 * e2, e2, 0], [0, 0, g12 * (1 - nu12 * nu21)]]) / (1 - nu12 * nu21)
    c, s = np.cos(np.radians(degrees)), np.sin(np.radians(degrees))
    # Stress transformation T; Qbar = T^-1 Q T^-T with engineering shear (Reuter).
    t = np.array([[c * c, s * s, 2 * c * s], [s * s, c * c, -2 * c * s], [-c * s, c * s, c * c - s * s]])
    r = np.diag([1.0, 1.0, 2.0])
    return np.linalg.inv(t) @ q @ r @ t @ np.linalg.inv(r)


def integrate(g, a, b):
    half, mid = 0.5 * (b - a), 0.5 * (a + b)
    return half * sum(w * g(mid + half * x) for x, w in zip(NODES, WEIGHTS))


def reference_tables(constants, angles, thicknesses, kx=0.0, ky=0.0):
    """(shear table, normal table) at the 2 n + 1 points by quadrature."""
    edges = np.concatenate([[0.0], np.cumsum(thicknesses)]) - 0.5 * sum(thicknesses)
    qs = [qbar(constants, a) for a in angles]
    w = lambda z: (1 - kx * z) * (1 - ky * z)
    abd = np.zeros((6, 6))
    for q, a, b in zip(qs, edges[:-1], edges[1:]):
        for k, block in ((0, (slice(0, 3), slice(0, 3))), (1, (slice(0, 3), slice(3, 6))), (2, (slice(3, 6), slice(3, 6)))):
            abd[block] += q * integrate(lambda z: w(z) * z ** k, a, b)
    abd[3:, :3] = abd[:3, 3:]
    inverse = np.linalg.inv(abd)
    b, d = inverse[:3, 3:], inverse[3:, 3:]

    def ply_of(z):
        return min(np.searchsorted(edges, z, side="right") - 1, len(qs) - 1)

    def running(z):  # integral of w P from the bottom to z
        total = np.zeros((3, 3))
        for p in range(ply_of(z) + 1):
            a, top = edges[p], min(edges[p + 1], z)
            total += integrate(lambda s: w(s) * qs[p] @ (b + s * d), a, top)
        return total

    pick = lambda m: np.array([m[1, 1], m[2, 0], m[2, 1], m[0, 0]])
    points = [edges[0]] + [x for a, top in zip(edges[:-1], edges[1:]) for x in (0.5 * (a + top), top)]
    shear = np.array([-pick(running(z)) / w(z) for z in points])
    normal = []
    for z in points:
        total = sum((integrate(lambda s: pick(running(s)), edges[p], min(edges[p + 1], z))
                     for p in range(ply_of(z) + 1)), np.zeros(4))
        normal.append(-total / w(z))
    return shear, np.array(normal)


# ---------------------------------------------------------------- tables and stiffness


def test_homogeneous_section():
    # f4 = 1.5 - 6 z^2 on a unit thickness; its integral 1.5 (z + 1/2) - 2 (z^3 + 1/8); the shear
    # energy of f4 / G integrates to 1.2 / 400.
    ids, angles, t, z, elastic = laminate(ISOTROPIC, [0, 0], [0.5, 0.5])
    f = L.getsectionfmatrix(ids, angles, t, z, elastic)[:, :, 0]
    np.testing.assert_allclose(f[:, [0, 3]], np.outer([0, 1.125, 1.5, 1.125, 0], [1, 1]), atol=1e-13)
    np.testing.assert_allclose(f[:, [1, 2]], 0.0, atol=1e-13)
    g = L.getarbitrarysectionfg(ids, angles, t, z, elastic, 0, 1)[:, :, 0]
    np.testing.assert_allclose(g[:, [0, 3]], np.outer([0, 0.15625, 0.5, 0.84375, 1], [1, 1]), atol=1e-13)
    for method, expected in ((None, 1000 / 3), (1, 1000 / 3), (0, 1000 / 3), (2, 400.0)):
        h = L.getsectionhmatrix(ids, angles, t, elastic, **({} if method is None else {"method": method}))
        np.testing.assert_allclose(h[:, :, 0], expected * np.eye(2), atol=1e-11)
    # Ply constants of several temperatures: only rows 1-9 count.
    wider = laminate(ISOTROPIC, [0, 0], [0.5, 0.5], extra_rows=[7.0] * 9)[4]
    np.testing.assert_array_equal(L.getsectionfmatrix(ids, angles, t, z, wider)[:, :, 0], f)
    np.testing.assert_array_equal(L.getsectionhmatrix(ids, angles, t, wider), L.getsectionhmatrix(ids, angles, t, elastic))
    assert recorded()[0] == 0


@pytest.mark.parametrize("curvature", [None, (0.2, -0.1)])
def test_laminate_tables_against_their_definitions(curvature):
    angles, thicknesses = [0, 45, 90], [0.2, 0.3, 0.5]
    ids, a, t, z, elastic = laminate(CARBON, angles, thicknesses)
    extra = {} if curvature is None else {"xycurv": np.array(curvature)}
    f = L.getarbitrarysectionfg(ids, a, t, z, elastic, 1, 1, **extra)[:, :, 0]
    g = L.getarbitrarysectionfg(ids, a, t, z, elastic, 0, 1, **extra)[:, :, 0]
    shear, normal = reference_tables(CARBON, angles, thicknesses, *(curvature or (0.0, 0.0)))
    scale = np.abs(shear).max()
    np.testing.assert_allclose(f, shear, rtol=1e-10, atol=1e-12 * scale)
    np.testing.assert_allclose(g, normal, rtol=1e-10, atol=1e-12)
    # f vanishes on both faces; the integral of w f over the thickness is the identity.
    np.testing.assert_allclose(f[[0, -1]], 0.0, atol=1e-12 * scale)
    kx, ky = curvature or (0.0, 0.0)
    np.testing.assert_allclose(g[-1], np.array([1, 0, 0, 1]) / ((1 - kx * 0.5) * (1 - ky * 0.5)), atol=1e-12)
    if curvature is None:
        np.testing.assert_array_equal(L.getsectionfmatrix(ids, a, t, z, elastic)[:, :, 0], f)
        # The flat normal stress from the derivatives of the shear forces: -(g . rd).
        rdx, rdy = np.array([0.3, -1.2]), np.array([2.0, 0.7])
        s33 = L.getnormalstressfrombottom(rdx, rdy, z[:, 0], f)
        np.testing.assert_allclose(s33, -(g @ np.concatenate([rdy, rdx])), rtol=1e-12, atol=1e-14)


def test_sections_flags_and_methods():
    ids, a, t, z, elastic = laminate(ISOTROPIC, [0, 0], [0.5, 0.5])
    # A second section of one ply and one without plies, in one call.
    ids = np.array([[1, 1, ABSENT], [1, ABSENT, ABSENT]], np.int32)
    a, t, elastic = np.repeat(a, 3, 1), np.full((2, 3), 0.5), np.repeat(elastic, 3, 2)
    z = L.getsectionzcoord(ids, t)
    f = L.getsectionfmatrix(ids, a, t, z, elastic)
    np.testing.assert_allclose(f[:3, 3, 1], [0, 3, 0], atol=1e-13)  # one ply of 0.5: 3 / (2 h) at its middle
    np.testing.assert_array_equal(f[3:, :, 1], 0.0)
    np.testing.assert_array_equal(f[:, :, 2], 0.0)
    h = L.getsectionhmatrix(ids, a, t, elastic)
    np.testing.assert_allclose(h[:, :, 1], 500 / 3 * np.eye(2), atol=1e-11)
    np.testing.assert_array_equal(h[:, :, 2], 0.0)
    assert recorded()[0] == 0
    for call, message in ((lambda: L.getarbitrarysectionfg(ids, a, t, z, elastic, 2, 1), "Unsupported flag"),
                          (lambda: L.getarbitrarysectionfg(ids, a, t, z, elastic, 1, 0), "Unsupported flag"),
                          (lambda: L.getsectionhmatrix(ids, a, t, elastic, method=3), "Unsupported method")):
        assert not call().any()
        assert recorded()[0] == -2 and message in recorded()[1]
        _kestro.errorhandling.rsxerr(1)
    # Plies without stiffness: the stiffness matrix and the shear energy are singular.
    soft = elastic.copy()
    soft[:, :, 0] = 0.0
    for call in (lambda: L.getsectionfmatrix(ids, a, t, z, soft), lambda: L.getsectionhmatrix(ids, a, t, soft)):
        result = call()
        assert not result[..., 0].any() and result[..., 1].any()
        assert recorded() == (-2, "Matrix inverse becomes numerically singular!")
        _kestro.errorhandling.rsxerr(1)
    no_shear = elastic.copy()
    no_shear[7:9, :, 0] = 0.0
    assert not L.getsectionhmatrix(ids, a, t, no_shear)[..., 0].any() and recorded()[0] == -2


@pytest.mark.parametrize("call", [
    lambda e: L.getsectionfmatrix(np.ones((2, 1), np.int32), np.zeros((2, 1)), np.ones((2, 1)), np.zeros((4, 1)), e),
    lambda e: L.getsectionfmatrix(np.ones((2, 1), np.int32), np.zeros((2, 1)), np.ones((2, 1)), np.zeros((5, 1)), e[:8]),
    lambda e: L.getsectionhmatrix(np.ones((2, 1), np.int32), np.zeros((2, 1)), np.ones((2, 1)), e[:8]),
    lambda e: L.getnormalstressfrombottom(np.zeros(2), np.zeros(2), np.zeros(4), np.zeros((5, 4))),
    lambda e: L.getintegralofmembranenormalstress(np.zeros(4), np.zeros(4), np.ones(2, np.int32), 0.1, 0.0),
    lambda e: L.getplybottomtopstress(np.zeros((6, 6)), np.array([3, 4], np.int32)),
])
def test_disagreeing_extents_are_refused(call):
    with pytest.raises(_kestro.error):
        call(np.ones((9, 2, 1)))


# ---------------------------------------------------------------- transverse stresses


def test_membrane_normal_stress_integral():
    # One ply: -(0.1 * 100 * (z + 0.5)) / (1 - 0.1 z).  Two plies: stresses 30 + 40 z below the middle,
    # 10 + 120 z above it, weighted by 0.3 (1 + 0.2 z), divided by (1 - 0.3 z)(1 + 0.2 z).
    sint = L.getintegralofmembranenormalstress(np.array([100.0, 100.0]), np.array([-0.5, 0, 0.5]),
                                               np.ones(1, np.int32), 0.1, 0.0)
    np.testing.assert_allclose(sint, [0, -5, -10.526315789473685], rtol=1e-15)
    sint = L.getintegralofmembranenormalstress(np.array([10.0, 30, -20, 40]), np.linspace(-0.5, 0.5, 5),
                                               np.ones(2, np.int32), 0.3, -0.2)
    assert (sint[2], sint[4]) == (pytest.approx(-2.875, rel=1e-14), pytest.approx(-4.525 / 0.935, rel=1e-14))
    # Rows past the plies stay 0.
    np.testing.assert_array_equal(L.getintegralofmembranenormalstress(
        np.array([1.0, 1.0]), np.array([-0.5, 0, 0.5, 9, 9]), np.ones(1, np.int32), 1.0, 0.0, nplies=1)[3:], 0.0)


def test_shear_stresses_at_section_points():
    ids, a, t, z, elastic = laminate(ISOTROPIC, [0, 0], [0.5, 0.5])
    f = L.getsectionfmatrix(ids, a, t, z, elastic)[:, :, 0]
    plies = np.array([0.0, 90.0])
    # Qx = 1 in plies of 0 and 90 degrees: tau_xz is tau_13 in the first ply and -tau_23 in the second.
    xytss = L.getext2dshearstress(np.array([0.0, 1.0]), plies, f, 3)
    np.testing.assert_allclose(xytss[:, 1], [0, 1.125, 1.5, 0, 0, 0], atol=1e-15)
    np.testing.assert_allclose(xytss[:, 0], [0, 0, 0, -1.5, -1.125, 0], atol=1e-15)
    # One point per ply: its middle; five points: the quadratic between the table's points.
    np.testing.assert_allclose(L.getext2dshearstress(np.array([1.0, 0.0]), plies, f, 1)[:, 0], [1.125, 0], atol=1e-15)
    quarter = 1.5 - 6 * (-0.375) ** 2
    np.testing.assert_allclose(L.getext2dshearstress(np.array([1.0, 0.0]), np.zeros(2), f, 5)[1, 0], quarter)
    assert L.getext2dshearstress(np.array([1.0, 0.0]), plies, f, -1).shape == (0, 2)


def test_ply_bottom_and_top_stresses():
    sestress = np.arange(6.0 * 8).reshape(8, 6).T  # column j holds 6 j .. 6 j + 5
    sbt = L.getplybottomtopstress(sestress, np.array([3, 4], np.int32))
    np.testing.assert_array_equal(sbt[0], [0, 12, 18, 36])  # columns 1, 3, 4, 7
    np.testing.assert_array_equal(sbt[5] - sbt[0], 5.0)
    sbt = L.getplybottomtopstress(sestress, np.array([2, -1, 1], np.int32))
    np.testing.assert_array_equal(sbt[0], [0, 6, 0, 0, 12, 12])  # a ply without points: no columns, zeros
