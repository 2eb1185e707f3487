"""The sensor materials: a negligible isotropic stiffness (E 1e-20, nu 0.49)
and the impactor's columns copied into the state and the impact data."""

import numpy as np
import pytest

import _kestro
from conftest import umat_arguments

t = _kestro.toplevel
E, NU = 1e-20, 0.49
G, LAM = E / (2 * (1 + NU)), E * NU / ((1 + NU) * (1 - 2 * NU))
CPROPS = np.r_[10.0, 2.0, 0.3, 1.5, -2.0, 9.8, np.zeros(14)]


def sensor_arguments(dstran, nstatv=8, stepid=3, props=(4.0, 5.0), code=1.0, ndi=3, stress=None, sse=0.0):
    """The arguments of umat_sensor at one point; the state starts at 7."""
    n = len(dstran)
    stress = np.zeros(n) if stress is None else np.array(stress, float)
    dprops = np.r_[code, np.arange(2.0, 13.0)]
    return umat_arguments(dstran, "umat_sensor", stress=stress, statev=np.full(nstatv, 7.0), ddsdde=np.ones((n, n)),
                          sse=np.array(sse), spd=np.array(1.0), scd=np.array(1.0), rpl=0.0, drpldt=0.0, temp=0.0,
                          cmname="SENSOR", ndi=ndi, props=np.array(props), pnewdt=np.array(0.5), kinc=2,
                          stepid=stepid, cprops=CPROPS, dprops=dprops)


def umat(*args, **kwargs):
    """umat_sensor at one point: (stress, statev, ddsdde, sse, spd, scd, pnewdt, dprops)."""
    return t.umat_sensor(*sensor_arguments(*args, **kwargs))


def test_umat_sensor_point_in_an_impact_step():
    stress, statev, ddsdde, sse, spd, scd, pnewdt, dprops = umat([1e-3, 0, 0, 0, 0, 0])
    np.testing.assert_allclose(stress, [1.711409395973153e-22, 1.6442953020134214e-22, 1.6442953020134214e-22,
                                        0, 0, 0], rtol=1e-15, atol=0)
    assert sse == pytest.approx(8.557046979865765e-26, rel=1e-15) and (spd, scd, pnewdt) == (0.0, 0.0, 0.5)
    np.testing.assert_array_equal(statev, [1.5, -2, 9.8, 10, 2, 0.3, 0, 0])
    np.testing.assert_array_equal(dprops, [-1, 2, 3, 4, 5, 6, 7, 4, 5, 0, 0, 12])
    # The literals are lambda + 2 G, lambda and G of E and nu to the last digits.
    expected = np.zeros((6, 6))
    expected[:3, :3] = LAM
    expected += np.diag([2 * G] * 3 + [G] * 3)
    np.testing.assert_allclose(ddsdde, expected, rtol=1e-15)


@pytest.mark.parametrize("nstatv,stepid,props,code,statev,loaded", [
    (3, 3, (4.0, 5.0), 1.0, [1.5, -2, 9.8], True),             # three values only, also when impacting
    (8, 2, (4.0, 5.0), 2.0, [1.5, -2, 9.8, 0, 0, 0, 0, 0], True),  # no contact outside impact steps; code 2 stays
    (6, 3, (4.0,), 1.0, [1.5, -2, 9.8, 10, 2, 0.3], False),      # one property: dprops unchanged
    (5, 3, (4.0, 5.0, 6.0), 1.0, [1.5, -2, 9.8, 0, 0], False),   # five values: no contact
])
def test_umat_sensor_state_and_impactor_data(nstatv, stepid, props, code, statev, loaded):
    _, state, _, _, _, _, _, dprops = umat([0.0] * 6, nstatv, stepid, props, code)
    np.testing.assert_array_equal(state, statev)
    before = np.r_[code, np.arange(2.0, 13.0)]
    np.testing.assert_array_equal(dprops, np.r_[-1.0 if code == 1 else code, before[1:7], 4, 5, 0, 0, 12]
                                  if loaded else before)


def test_umat_sensor_zero_increment_and_plane_stress():
    stress, _, _, sse, *_ = umat([0.0] * 6, stress=[1, 2, 3, 4, 5, 6], sse=0.25)
    np.testing.assert_array_equal(stress, [1, 2, 3, 4, 5, 6])
    assert sse == 0.25
    _, _, ddsdde, *_ = umat([0.0] * 3, ndi=2)
    np.testing.assert_allclose(ddsdde, [[LAM + 2 * G, LAM, 0], [LAM, LAM + 2 * G, 0], [0, 0, G]], rtol=1e-15)


def vumat_arguments(straininc, stressold, density, enerinternold, ndir=3, nstatev=6, stepid=3):
    nb, n = np.shape(straininc)
    nshr = n - ndir
    return [ndir, nshr, 0, 0.0, 0.0, 1e-3, "SENSOR", np.zeros((nb, 3)), np.zeros((nb, 3)), [4.0, 5.0],
            np.array(density, float), np.array(straininc, float), np.zeros((nb, nshr)), np.zeros(nb),
            np.zeros((nb, n)), np.zeros((nb, ndir + 2 * nshr)), np.zeros((nb, 1)),
            np.array(stressold, float), np.full((nb, nstatev), 7.0), np.array(enerinternold, float),
            np.ones(nb), np.zeros(nb), np.zeros((nb, n)), np.zeros((nb, ndir + 2 * nshr)),
            np.zeros((nb, 1)), stepid, CPROPS, np.r_[1.0, np.zeros(11)]]


def vumat(*args, **kwargs):
    """vumat_sensor: (straininc, stressnew, statenew, enerinternnew, enerinelasnew, dprops)."""
    return t.vumat_sensor(*vumat_arguments(*args, **kwargs))


def test_vumat_sensor_energy_and_state():
    straininc = [[1e-3, 0, 0, 0, 0, 0], [0, 0, 0, 5e-4, 1e-3, 0]]
    stressold = [[0, 0, 0, 0, 0, 0], [10, 0, 0, 1, 2, 3]]
    returned, stressnew, statenew, internal, inelastic, dprops = vumat(straininc, stressold, [1, 2], [0, 0])
    np.testing.assert_array_equal(returned, straininc)
    np.testing.assert_allclose(internal, [8.557046979865765e-26, 0.00125], rtol=1e-15)
    np.testing.assert_allclose(stressnew[1], [10, 0, 0, 1 + 5e-4 * G, 2 + 1e-3 * G, 3], rtol=1e-15)  # tensor shears
    np.testing.assert_array_equal(statenew, [[1.5, -2, 9.8, 10, 2, 0.3]] * 2)
    assert not inelastic.any() and dprops[0] == -1 and list(dprops[7:11]) == [4, 5, 0, 0]
    # A zero increment keeps stress and energy; outside impact steps no contact.
    _, stressnew, statenew, internal, _, _ = vumat(np.zeros((1, 6)), [[1, 2, 3, 4, 5, 6]], [2], [0.5], stepid=1)
    np.testing.assert_array_equal(stressnew, [[1, 2, 3, 4, 5, 6]])
    assert internal[0] == 0.5 and list(statenew[0]) == [1.5, -2, 9.8, 0, 0, 0]


def test_vumat_sensor_plane_stress_thickness_increment():
    returned, _, _, internal, _, _ = vumat([[1e-3, 2e-3, 0, 4e-4]], [[1, 2, 3, 4]], [2], [0.5])
    # -(nu / E) (dsig11 + dsig22) with dsig11 + dsig22 = 2 (lambda + G) (e11 + e22) = E / ((1 + nu) (1 - 2 nu)) 3e-3.
    assert returned[0, 2] == pytest.approx(-NU / ((1 + NU) * (1 - 2 * NU)) * 3e-3, rel=1e-14)
    assert returned[0, 2] == pytest.approx(-0.049328859060402644, rel=1e-15)
    assert internal[0] == pytest.approx(0.429306711409396, rel=1e-14)
    returned, *_ = vumat([[1e-3, 2e-3, 0.5, 4e-4, 0]], [[1, 2, 3, 4, 5]], [2], [0.5])  # two shears: kept
    assert returned[0, 2] == 0.5


@pytest.mark.parametrize("position,value", [(11, np.zeros(5)), (34, np.zeros(19)), (34, np.zeros(21)),
                                            (35, np.zeros(11)), (35, np.zeros(13))])
def test_sensor_refuses_short_arrays_and_wrong_impactor_columns(position, value):
    args = sensor_arguments([0.0] * 6)
    args[position] = value
    with pytest.raises(_kestro.error):
        t.umat_sensor(*args)
    args = vumat_arguments(np.zeros((1, 6)), np.zeros((1, 6)), [1.0], [0.0])
    args[{11: 11, 34: 26, 35: 27}[position]] = value
    with pytest.raises(_kestro.error):
        t.vumat_sensor(*args)
