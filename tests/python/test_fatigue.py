"""Fatigue services: cycle jumps of the four algorithms, the equivalent stress
on the surface of Ha's criterion, the S-N life with its mean-stress exponent,
and the Shokrieh layer model of a fibre-tension cycle worked through by hand
(normalised life, residual strength and stiffness, failure at the end of
life)."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

F = _kestro.fatigue
S = _kestro.shokriehdata
HUGE = 1.7976931348623157e308


def jump(n, algorithm=1, zul=100.0, bounds=(1.0, 1000.0), maxcycle=1e6, time=1.0, period=1.0, ncycles=10,
         nmax=4, step=1, stepflag=1):
    return F.cyclecount(0.0, n, maxcycle, time, 0.0, period, *bounds, zul, ncycles, nmax, step, 1, algorithm,
                        stepflag)


def test_cycle_jumps():
    assert jump(5, stepflag=0) == (1.0, 1.0)
    assert jump(1) == (100.0, 101.0)
    assert jump(1, zul=5000) == (1000.0, 1001.0)
    assert jump(999950) == (50.0, 1e6)
    assert jump(1, zul=0.2, bounds=(0.0, 0.0)) == (1.0, 2.0)  # at least one cycle; bounds of 0 ignored
    assert jump(1, algorithm=2, maxcycle=1001, time=2.0) == (125.0, 126.0)
    assert jump(7, algorithm=0) == (1.0, 8.0)
    S.cycles = np.array([[1.0, 10, 100, 1000]]).T
    assert jump(1, algorithm=3, time=1.0) == (9.0, 10.0)
    assert jump(10, algorithm=3, time=7.0) == (990.0, 1000.0)  # the table's last row
    assert recorded()[0] == 0
    for case in (dict(period=0.0), dict(algorithm=5), dict(algorithm=3, step=2)):
        assert jump(3.0, **case) == (0.0, 3.0)
        assert recorded() == (-2, "Warning: Invalid cycle data in CycleCount")
        _kestro.errorhandling.rsxerr(1)


@pytest.mark.parametrize("np_, shear", [(1.0, 38.97114317029974), (2.0, 36.742346141747674),
                                        (3.0, 34.78475645409113), (2.5, None)])
def test_equivalent_stress(np_, shear):
    def eq(stress):
        return F.getequivalentfatiguestress(np.array(stress, float), 50.0, 100.0, np_)

    assert eq([50, 0, 0, 0, 0, 0]) == pytest.approx(50.0, rel=1e-12)
    assert eq([-100, 0, 0, 0, 0, 0]) == pytest.approx(-50.0, rel=1e-12)
    assert eq([0] * 6) == 0.0
    stress = np.array([20.0, -5.0, 3.0, 30.0, 4.0, -2.0])
    e = eq(stress) / 50.0
    # The scaled stress lies on the surface: dmises + di1 = 1 for the stress divided by e.
    d = _kestro.failure.gpha(stress / e, 50.0, 100.0, np_)[0]
    assert d == pytest.approx(1.0, abs=1e-12)
    if shear is not None:
        assert eq([0, 0, 0, 30.0, 0, 0]) == pytest.approx(shear, rel=1e-12)


def test_fatigue_life():
    nf, life = F.getfatiguelife(0.1, 0.5, 1.0, -0.1, 0.5, 10.0, 0.0)
    assert nf == pytest.approx(1e5, rel=1e-10) and life == pytest.approx(1e-4, rel=1e-10)
    assert F.getfatiguelife(0.1, 0.5, 1.0, -0.1, 0.5, 10.0, 0.99995)[1] == 1.0
    assert F.getfatiguelife(0.5, 0.1, 1.0, -0.1, 0.5, 10.0, 0.3) == (HUGE, 0.3)  # an empty cycle
    assert F.getfatiguelife(-0.5, 0.0, 1.0, -0.1, 0.5, 10.0, 0.3) == (HUGE, 0.3)
    assert F.getfatiguelife(0.5, 0.5, 1.0, -0.1, 0.5, 10.0, 0.3) == (HUGE, 0.3)  # no amplitude
    _kestro.materialdata.r_crit = np.array([0.6])
    assert F.getfatiguelife(0.1, 0.5, 1.0, -0.1, 0.5, 10.0, 0.0) == (HUGE, 0.0)
    assert recorded()[0] == 0
    assert F.getfatiguelife(0.1, 0.9, 0.0, -0.1, 0.5, 10.0, 0.2) == (HUGE, 0.2)
    assert recorded() == (-2, "Warning: Invalid S-N data in GetFatigueLife")


PROPS = np.zeros(149)
PROPS[:18] = [140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000, 50, 50, 1200, 200, 200, 80, 80, 60]
PROPS[18] = 0.1
PROPS[19:27] = [10.03, 0.473, 14.77, 0.1605, 1.9, 0.1, 1.06, 0.0143]  # fibre tension
STRAIN = np.array([0.01, -0.003, -0.003, 0, 0, 0])  # sigma = (1400, 0, 0) undamaged


def fresh(n):
    s = np.zeros(77)
    s[[0, 43]] = 1.0
    s[58:73] = 1.0
    s[0] = n
    return s


def shokrieh(state, plane=False, step=1):
    return F.getshokrieh(state, STRAIN, np.zeros(6), PROPS, [0, 0], 0, 0, 0, 1, [step], 1, 0 if plane else 1, 0,
                         np.zeros(77))


def test_shokrieh_layer():
    stress, tangent, state, backup = shokrieh(fresh(1.0))
    np.testing.assert_allclose(stress, tangent @ STRAIN, rtol=1e-14)
    assert stress[0] == pytest.approx(1400.0, rel=1e-14) and np.all(state[58:73] == 1.0)
    # 1e4 cycles: u = ln(a / f) / ln((1 - q)(c + q)) with a = 0.315, q = 0.385, c = 0.6.
    stress, tangent, state, backup = shokrieh(fresh(1e4))
    a, q, c = 1400 * 0.9 / 4000, 1400 * 1.1 / 4000, 0.6
    nf = 10 ** ((math.log(a / 1.06) / math.log((1 - q) * (c + q)) - 1.9) / 0.1)
    assert state[13] == pytest.approx(161685.67124845827, rel=1e-12) and state[13] == pytest.approx(nf, rel=1e-12)
    assert state[76] == state[13] and state[43] == 1e4
    assert state[64] == pytest.approx(0.9394974628783757, rel=1e-12)
    assert state[58] == pytest.approx(0.9449644672683465, rel=1e-12)
    assert (stress[0], stress[1], stress[2]) == (pytest.approx(1321.3873505409456, rel=1e-9),
                                                 pytest.approx(-2.7565474485642483, rel=1e-9),
                                                 pytest.approx(-2.7565474485642483, rel=1e-9))
    assert _kestro.shokriehdata.dnfshok == state[58]
    np.testing.assert_array_equal(state[1:7], stress)
    # A second call at the same n changes nothing; the stress argument is not read.
    again = shokrieh(state.copy())
    np.testing.assert_array_equal(again[2], state)
    # Past the life: residual strength = the stress, fibre tension fails, everything goes.
    stress, tangent, state, _ = shokrieh(fresh(1e6))
    assert list(state[22:29]) == [1, 0, 0, 0, 0, 0, 0] and not state[58:73].any()
    assert np.abs(stress).max() < 1e-2
    # Shear strengths degraded to 0 by a shearing failure do not hide a later fibre-tension failure.
    sheared = fresh(1.0)
    sheared[24] = 1.0
    state = F.getshokrieh(sheared, 2 * STRAIN, np.zeros(6), PROPS, [0, 0], 0, 0, 0, 1, [1], 1, 1, 0, np.zeros(77))[2]
    assert state[22] == 1.0 and state[24] == 1.0


def test_shokrieh_cycle_table_plane_stress_and_short_props():
    S.cycleprops = np.array([[0.0, 1.0, 1.0]]).T
    S.cycles = np.array([[1e4]])
    _, tangent, state, backup = shokrieh(fresh(1.0), plane=True)
    assert state[0] == 1e4 and state[58] < 1.0
    np.testing.assert_array_equal(backup, fresh(1.0))  # the state as the call that raised n found it
    assert not tangent[2].any() and not tangent[:, 4:].any() and tangent[3, 3] == pytest.approx(4600.0)
    assert shokrieh(fresh(1.0), step=2)[2][0] == 1.0  # a step the tables do not hold
    before = fresh(5.0)
    stress, _, after, _ = F.getshokrieh(before, STRAIN, np.zeros(6), PROPS[:90], [0, 0], 0, 0, 0, 1, [1], 1, 1, 0,
                                        np.zeros(77))
    np.testing.assert_array_equal(after, before)
    assert recorded() == (-2, "Warning: Too few properties in GetShokrieh")


def test_shokrieh_mode_past_its_life_fails_in_the_same_update():
    # Fibre compression with the fibre-tension S-N data: at 1e12 cycles every stress above the
    # fatigue limit is past its life, its residual strength the stress itself, so the mode fails
    # whatever the rounding of that ratio.
    props = PROPS.copy()
    props[43:51] = PROPS[19:27]
    spent = 0
    for e in np.linspace(-0.002, -0.012, 201):
        state = F.getshokrieh(fresh(1e12), np.array([e, -0.3 * e, -0.3 * e, 0, 0, 0]), np.zeros(6), props, [0, 0],
                              0, 0, 0, 1, [1], 1, 1, 0, np.zeros(77))[2]
        if state[16] <= 1e12:
            spent += 1
            assert state[23] == 1.0 and state[24] == 1.0, e  # fibre compression and its shear-out mode
    assert spent == 200
