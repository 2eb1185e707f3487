"""Damage regions (growth from scratch, lookup with a set's centre and turn,
tabulated outlines, buckled delaminations) and the fracture-plane matrix
damage: crack status, degradation in the crack frame, bilinear softening with
the Benzeggagh-Kenane toughness worked out by hand."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

D = _kestro.damage
dd = _kestro.damagedata
I3 = np.eye(3)
ORIGIN = [0.0, 0.0, 0.0]


def fresh(nplies=3, nsec=1):
    _kestro.sectiondata.nplies, _kestro.sectiondata.nsec = nplies, nsec


def flags(point, ply, sdv=None, sec=1):
    return D.getdamagefromdds(np.zeros(12) if sdv is None else sdv, point, I3, ply, sec)


def test_regions_grow_and_are_found():
    fresh()
    assert D.updatedds([0, 1, 0, 1, 0], [3, 4, 0], ORIGIN, I3, 1, 1, 1) == 0
    assert dd.ndmg == 1 and dd.damagedds is not None
    np.testing.assert_allclose(dd.fiberdds[:, 0, 0], [5, 5, 0], atol=1e-12)
    np.testing.assert_allclose(dd.delamdds[:, 0, 0], [5, 5, 0], atol=1e-12)
    assert not dd.generaldds.any() and not dd.matrixdds.any()
    D.updatedds([0, 1, 0, 0, 0], [0, 10, 0], ORIGIN, I3, 1, 1, 1)
    np.testing.assert_allclose(dd.fiberdds[:2, 0, 0], [10, 10], atol=1e-12)
    np.testing.assert_allclose(dd.delamdds[:2, 0, 0], [5, 5], atol=1e-12)
    # Growth by a factor that rounding would leave just short: the point is inside afterwards.
    D.updatedds([0, 0, 1, 0, 0], [0.1, 0.2, 0], ORIGIN, I3, 2, 1, 1)
    D.updatedds([0, 0, 1, 0, 0], [0.3, 0.7, 0], ORIGIN, I3, 2, 1, 1)
    a, b = dd.matrixdds[:2, 1, 0]
    assert (0.3 / a) ** 2 + (0.7 / b) ** 2 <= 1.0 and a == b
    # Lookup: ply 1 at (6, 6) is in the fibre region (10, 10), not in the delamination (5, 5).
    sdv = flags([6, 6, 0], 1)
    assert list(sdv[:6]) == [0, 1, 0, 0, 0, 0]
    assert list(flags([3, 3, 0], 2)[:6]) == [0, 0, 0, 0, 0, 1]  # the interface below ply 2
    kept = np.zeros(12)
    kept[[3, 6, 10]] = 1.0
    np.testing.assert_array_equal(flags([100, 100, 0], 1, kept), kept)  # never lowered, 7..11 untouched
    # The set's centre and turn: fibre region (4, 1) turned by 90 degrees about (10, 0, 0).
    dd.dmgplane[:4, 0] = (10, 0, 0, 90)
    dd.fiberdds[:2, 0, 0] = (4, 1)
    assert flags([10, 3, 0], 1)[1] == 1.0 and flags([13, 0, 0], 1)[1] == 0.0


def test_outlines_and_buckled_delaminations():
    fresh()
    D.updatedds([0, 0, 0, 0, 0], [1, 1, 0], ORIGIN, I3, 1, 1, 1)  # creates the data, grows nothing
    outline = np.full((8, 3, 6, 1), 1.7976931348623157e308, order="F")
    outline[:6, 1, 2, 0] = (0, 0, 2, 0, 0, 2)  # a triangle for the matrix of ply 2
    dd.dmgpoints = outline
    assert flags([0.5, 0.5, 0], 2)[2] == 1.0 and flags([1.5, 1.5, 0], 2)[2] == 0.0
    assert flags([0.5, 0.5, 0], 1)[2] == 0.0
    ints = _kestro.bukdata.bukintdatalist
    reals = _kestro.bukdata.bukrealdatalist
    ints[:3, 0, 0, 0] = (1, 2, 3)  # interface 1 spans plies 2 and 3
    reals[3:6, 0, 0, 0] = (4.0, 1.0, 90.0)  # half-axes 4 and 1, turned by 90 degrees
    assert flags([0.2, 3.5, 0], 2)[11] == 1.0 and flags([3.5, 0.2, 0], 2)[11] == 0.0
    assert flags([0.2, 3.5, 0], 1)[11] == 0.0  # ply 1 is not spanned
    assert flags([0.2, 3.5, 0], 2, sec=2)[11] == 0.0  # a section the tables do not hold


def test_indices_beyond_the_data():
    assert list(flags([0, 0, 0], 1)) == [0] * 12  # no data: no region
    fresh()
    assert D.updatedds([1, 1, 1, 1, 1], [1, 1, 0], ORIGIN, I3, 4, 1, 1) == 1
    assert recorded() == (-2, "Warning: Damage region outside the damage data in UpdateDDS")
    assert D.updatedds([1, 1, 1, 1, 1], [1, 1, 0], ORIGIN, I3, 1, 1, 2) == 1
    assert not dd.fiberdds.any()
    D.updatedds([1, 1, 1, 1, 1], [1, 1, 0], ORIGIN, I3, 3, 1, 1)  # the top ply: no delamination region
    assert dd.generaldds[0, 2, 0] > 0 and not dd.delamdds.any()
    assert list(flags([0, 0, 0], 9, sec=9)) == [0] * 12


def test_a_single_ply_has_no_interface():
    fresh(nplies=1)
    D.updatedds([0, 0, 0, 1, 0], [3, 4, 0], ORIGIN, I3, 1, 1, 1)
    assert not dd.delamdds.any()
    dd.delamdds[:2, 0, 0] = (10, 10)  # the one interface row the arrays keep
    assert flags([1, 1, 0], 1)[3] == 0.0


def test_crack_status_and_degradation():
    s = [0, -10, 5, 0, 0, 0]
    assert D.getcrackstatus(s, [1, 0, 0], math.pi / 2, 2) == 1
    assert D.getcrackstatus(s, [1, 0, 0], 0.0, 2) == -1
    assert D.getcrackstatus(s, [1, 0, 0], 0.0, 4) == 0
    assert recorded() == (-2, "Unsupported base id in GetCrackStatus")
    c = _kestro.lamina.getnyestiffnessmatrix(np.array([140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100.0]), 6)
    voigt = [0, 1, 2, 5, 4, 3]
    c = c[np.ix_(voigt, voigt)]
    for angle in (0.0, 0.7, 2.0):
        np.testing.assert_allclose(D.tensordegradation(c, angle, 0.0, 2, 1), c, atol=1e-12 * c.max())
    cracked = D.tensordegradation(c, math.pi / 2, 1.0, 2, 1)  # local 22, 23, 12 are global 33, 23, 13
    assert np.abs(cracked[2:5]).max() < 1e-9 * c[0, 0] and np.abs(cracked[:, 2:5]).max() < 1e-9 * c[0, 0]
    kept = [0, 1, 5]
    np.testing.assert_allclose(cracked[np.ix_(kept, kept)], c[np.ix_(kept, kept)], rtol=1e-12)
    closed = D.tensordegradation(c, 0.0, 1.0, 2, -1)  # a closed crack keeps its normal stiffness
    assert closed[1, 1] == pytest.approx(c[1, 1]) and closed[3, 3] == pytest.approx(0.0, abs=1e-9)
    np.testing.assert_array_equal(D.tensordegradation(c, 0.0, 0.5, 0, 1), c)
    assert recorded()[1] == "Unsupported base id in GetCrackStatus"  # the first error stays


def test_bilinear_softening():
    props = np.array([0.0, 0.2, 2.0, 0.8, 0.8])
    stress = np.array([0, 40, 0, 0, 0, 30.0])
    strain = np.array([0, 0.004, 0, 0, 0, 0.003])  # tensor shear: gamma_n1 = 0.006
    d, sdv = D.bogenfelddegradation(-np.ones(4), stress, strain, [1.0], props, 3)
    # t0 = |(40, 0, 30)| = 50; jump |(0.004, 0, 0.006)|; B = 0.18 / 0.34; Gc = 0.2 + 0.6 B^2; df = 2 Gc / t0.
    b = 0.18 / 0.34
    assert d == 0.0
    np.testing.assert_allclose(sdv, [50, math.sqrt(52e-6), 2 * (0.2 + 0.6 * b * b) / 50, math.sqrt(52e-6)],
                               rtol=1e-15)
    d, later = D.bogenfelddegradation(sdv, np.zeros(6), 1.5 * strain, [1.0], props, 3)
    assert d == pytest.approx(0.6531640461266317, rel=1e-14) and later[3] == pytest.approx(1.5 * sdv[1])
    assert D.bogenfelddegradation(later, np.zeros(6), strain, [1.0], props, 3)[0] == d  # the largest jump holds
    assert D.bogenfelddegradation(later, np.zeros(6), 100 * strain, [1.0], props, 3)[0] == 1.0
    # No traction yet: onset waits.
    d, waiting = D.bogenfelddegradation(-np.ones(4), np.zeros(6), strain, [1.0], props, 3)
    assert d == 0.0 and list(waiting) == [-1.0] * 4
    for args in ((-np.ones(4), stress, strain, [1.0], props, 2), (-np.ones(3), stress, strain, [1.0], props, 3),
                 (-np.ones(4), stress, strain, [1.0], props[:4], 3)):
        assert D.bogenfelddegradation(*args)[0] == 0.0
        assert recorded() == (-2, "Unsupported mode in BogenfeldDegradation")


@pytest.mark.parametrize("point, frame", [
    ([math.nan, 1, 0], I3), ([math.inf, 1, 0], I3), ([1, -math.inf, 0], I3), ([1, 1, 0], np.zeros((3, 3))),
    ([1e300, 1e300, 0], I3),  # finite, but half-axes that would overflow
])
def test_non_finite_growth_leaves_the_regions(point, frame):
    fresh()
    D.updatedds([1, 1, 1, 1, 1], [1, 2, 0], ORIGIN, I3, 1, 1, 1)
    before = {name: getattr(dd, name).copy() for name in ("generaldds", "fiberdds", "matrixdds", "delamdds", "coredds")}
    dd.fiberdds[:2, 0, 0] = before["fiberdds"][:2, 0, 0] = (1e-300, 1e-300)
    assert D.updatedds([1, 1, 1, 1, 1], point, ORIGIN, frame, 1, 1, 1) == 1
    assert recorded() == (-2, "Warning: Non-finite point or damage region in UpdateDDS")
    for name, table in before.items():
        assert getattr(dd, name).tobytes() == table.tobytes(), name
    _kestro.datahandling.deallocall()
    assert D.updatedds([1, 1, 1, 1, 1], [math.nan, 0, 0], ORIGIN, I3, 1, 1, 1) == 1
    assert dd.generaldds is None  # no damage data made for a point that grows nothing
