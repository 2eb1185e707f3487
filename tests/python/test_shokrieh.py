"""The Shokrieh fatigue material point: a fresh unidirectional ply against one
layer update, woven layers against numpy's mean of the turned ply stiffness,
plane stress against the reduced stiffness, the start values of direct-cyclic
steps and fresh-marked states, refused layouts."""

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments
from test_ply_entries import stiffness

T = _kestro.toplevel
HUGE = np.finfo(float).max
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4600.0, 3100.0]
C, STRAIN = stiffness(PLY), [0.004, -0.001, 0.0005, 0.002, 0.0005, 0.001]
STARTS = [1, 44, 78, 121, 157, 200, 234, 277]  # cycle counts of both layers and their backups


def props(angle=0.0):
    fatigue = [10.03, 0.473, 14.77, 0.1605, 1.9, 0.1, 1.06, 0.0143] * 9
    return np.r_[PLY, 2000, 50, 50, 1200, 200, 200, 80, 80, 60, 0.1, fatigue, np.zeros(57), angle]


def turned(angle):
    """Numpy's engineering-strain rotation into a ply at angle degrees about 3 (Nye order)."""
    c, s = np.cos(np.radians(angle)), np.sin(np.radians(angle))
    t = np.eye(6)
    t[np.ix_([0, 1, 3], [0, 1, 3])] = [[c * c, s * s, c * s], [s * s, c * c, -c * s],
                                       [-2 * c * s, 2 * c * s, c * c - s * s]]
    t[np.ix_([4, 5], [4, 5])] = [[c, s], [-s, c]]
    return t


def umat(dstran, angle=0.0, statev=312, kinc=1, procedure=1, **extents):
    n = len(dstran)
    statev = np.zeros(statev) if np.isscalar(statev) else np.array(statev, float)
    stress, ddsdde, sse = np.zeros(n), np.zeros((n, n)), np.array(0.0)
    T.umat_shokrieh(*umat_arguments(dstran, stress=stress, statev=statev, ddsdde=ddsdde, sse=sse, rpl=0.0,
                                    drpldt=0.0, cmname="SHOKRIEH", nshr=1 if n < 6 else 3, props=props(angle),
                                    pnewdt=1.0, jstep=np.array([1, procedure, 1, 0], np.int32), kinc=kinc), **extents)
    return stress, statev, ddsdde, float(sse)


def test_unidirectional_ply_is_one_layer_update():
    stress, statev, ddsdde, sse = umat(STRAIN)
    start = np.zeros(77)
    start[[0, 43]], start[58:73] = 1.0, 1.0
    layer = _kestro.fatigue.getshokrieh(start, np.zeros(6), STRAIN, props(), [0, 0], 0.1, 20.0, 0.0, 1, [1, 1, 1, 0],
                                        1, 1, 0, start)[2]
    np.testing.assert_array_equal(statev[1:78], np.r_[layer[:76], HUGE])  # entry 77 was 0
    np.testing.assert_array_equal(statev[157:234], start)
    np.testing.assert_allclose(stress, C @ STRAIN, rtol=1e-12)
    np.testing.assert_allclose(ddsdde, C, rtol=1e-12)
    assert statev[154] == HUGE and statev[STARTS].tolist() == [1.0] * 8 and not statev[79:85].any()
    assert sse == pytest.approx(0.5 * stress @ STRAIN, rel=1e-12)


@pytest.mark.parametrize("angle, strain, expected", [
    (45.0, [0.001, 0, 0, 0, 0, 0], [45.724760981143845, 36.524760981143835, 5.134399502291837, 0, 0, 0]),
    (30.0, STRAIN, [319.8468941272268, 96.47063727687761, 20.834232989634128, 56.46525237646499, 2.1125, 3.475])])
def test_woven_layer_averages_the_turned_plies(angle, strain, expected):
    stress, statev, ddsdde, _ = umat(strain, angle)
    woven = (turned(angle).T @ C @ turned(angle) + turned(-angle).T @ C @ turned(-angle)) / 2
    np.testing.assert_allclose(stress, expected, rtol=1e-10, atol=1e-10)
    np.testing.assert_allclose(ddsdde, woven, rtol=1e-8, atol=1e-8 * C[0, 0])
    np.testing.assert_allclose(statev[[2, 79]], [(C @ turned(a) @ strain)[0] for a in (angle, -angle)], rtol=1e-12)
    assert statev[0] == angle
    # The ANSYS point: the same in the order 11, 22, 33, 12, 23, 13.
    ansys, order = np.zeros(6), [0, 1, 2, 3, 5, 4]
    T.usermat_shokrieh(1, 1, 1, 1, 1, 1, 1, np.array(0, np.int32), 3, 3, 0.0, 0.1, 20.0, 0.0, ansys, np.zeros(312),
                       np.zeros((6, 6)), np.array(0.0), 0.0, 0.0, np.zeros(6), np.array(strain)[order], np.zeros(6),
                       props(angle), np.zeros(3), 0.0, np.eye(3), np.eye(3), np.zeros(2), np.array(0.0), *[0] * 8)
    np.testing.assert_allclose(ansys[order], stress, rtol=1e-12, atol=1e-12)


def test_plane_stress_takes_the_reduced_stiffness():
    stress, _, ddsdde, _ = umat([0.004, -0.001, 0.002])
    np.testing.assert_allclose(stress, [560.5431424671312, 1.8104748904375292, 9.2], rtol=1e-12)
    np.testing.assert_allclose(ddsdde, stiffness(PLY, keep=[0, 1, 3]), rtol=1e-12)
    assert ddsdde[0, 0] == pytest.approx(140814.71370069688, rel=1e-12)


@pytest.mark.parametrize("procedure, start", [(6, 0.0), (7, 0.0), (1, 1.0), (2147483647, 1.0)])
def test_direct_cyclic_steps_start_their_cycle_counts_at_zero(procedure, start):
    assert umat(STRAIN, procedure=procedure)[1][STARTS].tolist() == [start] * 8


@pytest.mark.parametrize("mark, kinc, fresh", [(1e35, 1, True), (9.9e34, 0, True), (9.8e34, 1, False),
                                               (1e35, 2, False)])
def test_fresh_mark_reinitialises_a_used_state(mark, kinc, fresh):
    statev = np.full(312, 0.5)
    statev[311] = mark
    statev = umat(np.zeros(6), statev=statev, kinc=kinc)[1]
    assert np.all(statev[STARTS + [59, 73, 215, 229, 136, 150, 292, 306]] == (1.0 if fresh else 0.5))
    assert (statev[[155, 311]] == 0.0).all() == fresh


@pytest.mark.parametrize("n, nstatv", [(5, 312), (6, 300)])
def test_refused_layouts_leave_everything(n, nstatv):
    stress, statev, ddsdde, sse = umat(np.full(n, 1e-3), statev=np.full(nstatv, 3.0))
    assert recorded() == (-2, "Unsupported dimension in umat_shokrieh")
    assert not stress.any() and not ddsdde.any() and sse == 0.0 and (statev == 3.0).all()
    with pytest.raises(_kestro.error):
        umat(STRAIN, statev=nstatv, nstatv=nstatv + 1)


@pytest.mark.parametrize("ply", [PLY[:3] + [5.0] + PLY[4:], PLY[:8] + [-3100.0]])  # nu12 past sqrt(E1 / E2); G23
def test_constants_without_a_positive_definite_stiffness_are_recorded(ply, monkeypatch):
    monkeypatch.setitem(globals(), "PLY", ply)
    assert umat(STRAIN)[0].any() and recorded() == (-2, "Invalid elastic constants in umat_shokrieh.")
