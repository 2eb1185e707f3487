"""The curing resin: cure kinetics, the heat and expansion hooks and the Prony viscoelastic material."""

import numpy as np
import pytest
from scipy.optimize import brentq

import _kestro
from conftest import recorded, umat_arguments

lam, top, md, sd = _kestro.lamina, _kestro.toplevel, _kestro.materialdata, _kestro.sectiondata
HUGE = np.finfo(float).max
R = 8.314462618
KINETICS = [1e5, 6e4, 1e6, 6e4, 0.5, 1.5]
NO_ERROR = (0, "")


def rate(t, a, dm, c=KINETICS):
    a1, e1, a2, e2, m, n = c
    return (a1 * np.exp(-e1 / (R * t)) + a2 * np.exp(-e2 / (R * t)) * a ** m) * (dm - a) ** n if a < dm else 0.0


def reach(t):  # column 5 = (0.05, 5)
    return 1.0 / (1.0 + np.exp(5.0 - 0.05 * (t - 273.15)))


def cure_table(plies=1, sections=1, rows=8, shift=(), gel=0.2, heat=500.0):
    """cuprops with the same columns for every ply and section; column 8 the given shift values."""
    columns = [[gel], [heat], [1e-5, 2e-5, 3e-5, 4e-5, 5e-5, 6e-5], [-1e-3, -2e-3, -3e-3, -4e-3, -5e-3, -6e-3],
               [0.05, 5.0], [20.0, 200.0, 0.5], KINETICS, list(shift)]
    table = np.full((rows, 8, plies, sections), HUGE, order="F")
    for j, values in enumerate(columns):
        table[:len(values), j] = np.array(values)[:rows, None, None]
    md.cuprops = table


def hetval(statev, temp, dtime=1.0, name="resin"):
    statev = np.array(statev, float)
    return top.hetval_prony(name, [temp, 0.0], [0.0, 1.0], dtime, statev, np.full(2, 7.0), [0.0], [0.0])


@pytest.mark.parametrize("t, a, dm, c, error", [
    (450.0, 0.3, 0.97, KINETICS, NO_ERROR),
    (380.0, 0.0, 0.5, [2e4, 5e4, 3e5, 5.5e4, 1.2, 2.0], NO_ERROR),
    (450.0, 0.97, 0.97, KINETICS, NO_ERROR),  # at degmax: no reaction
    (450.0, 0.99, 0.97, KINETICS, NO_ERROR),
    (450.0, 0.3, 0.97, KINETICS[:3] + [HUGE] + KINETICS[4:], (-2, "Warning: Too few properties in CureRate")),
    (450.0, 0.3, 0.97, KINETICS[:5], (-2, "Warning: Too few properties in CureRate")),
])
def test_cure_rate(t, a, dm, c, error):
    expected = rate(t, a, dm, c) if error == NO_ERROR else 0.0
    assert lam.curerate(np.array(c), t, a, dm) == pytest.approx(expected, rel=1e-14, abs=0.0)
    assert recorded() == error


@pytest.mark.parametrize("a0, dt, c, tolerance, error", [
    (0.3, 1.0, KINETICS, 1e-6, NO_ERROR),       # settles in a few passes
    (0.05, 100.0, [1e4, 6e4, 1e5, 6e4, 0.8, 1.2], 1e-9, NO_ERROR),  # slow passes over a long step
    (0.3, 1000.0, KINETICS, 1e-12, NO_ERROR),   # oscillates: bisection
    (0.0, 50.0, KINETICS, 1e-12, NO_ERROR),
    (0.99, 1.0, KINETICS, 0.0, NO_ERROR),       # past degmax: degmax
    # A falling rate -(degmax - alpha) over three time units diverges and has no root.
    (0.3, 3.0, [-1.0, 0.0, 0.0, 0.0, 1.0, 1.0], None, (-1, "Warning: Degree of cure not settled in FuncDegree")),
])
def test_func_degree_is_the_backward_euler_root(a0, dt, c, tolerance, error):
    dm = reach(450.0)
    assert dm == pytest.approx(0.9790100878865984, rel=1e-15)
    degree = lam.funcdegree(np.array(c), 450.0, a0, dt, dm)
    assert recorded() == error
    if tolerance is not None:
        root = dm if a0 >= dm else brentq(lambda a: a - a0 - dt * rate(450.0, a, dm, c), a0, dm, xtol=1e-15)
        assert abs(degree - root) <= tolerance


@pytest.mark.parametrize("start, temp", [([0.3, 0.0, 0.0, 0.0], 450.0), ([0.5, 7.0, 0.0, 0.5], 300.0)])
def test_heat_hook_advances_the_cure(start, temp):
    cure_table()
    statev, flux = hetval(start, temp)
    dm = max(start[3], reach(temp))  # 0.9790100878865984 at 450 K; alpha 0.5 at degmax stays
    a = statev[0]
    assert statev[3] == pytest.approx(dm, rel=1e-15) and abs(a - (0.3379511866184696 if temp == 450 else 0.5)) <= 1e-6
    assert statev[1] == pytest.approx(rate(temp, a, dm), rel=1e-13, abs=0)
    assert flux == pytest.approx([500 * statev[1], 7], rel=1e-15)
    assert statev[2] == pytest.approx(180.0 * 0.5 * a / (1.0 - 0.5 * a) + 293.15, rel=1e-15)  # 353.15 at 0.5
    assert recorded() == NO_ERROR


@pytest.mark.parametrize("name, secids, nsec, cell", [
    ("resin_l@2@_s@7@", [3, 7], 2, (2, 2)),
    ("resin_s@9@", [3, 7], 2, (1, 1)),     # section id not listed
    ("resin_s@7@", [3, 7], 3, (1, 1)),     # secidlist shorter than nsec
    ("resin_l@0@_s@-4@", [1, 7], 2, (1, 1)),
    ("resin_l@3@", [3, 7], 2, None),       # layer outside the table
    ("resin_l@1@", None, 0, None),         # no table
])
def test_cure_table_of_the_point(name, secids, nsec, cell):
    if secids is not None:
        cure_table(plies=2, sections=2)
        heat = md.cuprops
        heat[0, 1] = [[11.0, 12.0], [21.0, 22.0]]  # 10 ply + section
        sd.secidlist, sd.nsec = np.array(secids, np.int32), nsec
    statev, flux = hetval([0.3, 0.0, 0.0, 0.0], 450.0, name=name)
    if cell is None:
        assert recorded() == (-2, "Warning: Layer or section outside the cure table in hetval_prony")
        np.testing.assert_array_equal(statev, [0.3, 0.0, 0.0, 0.0])
        assert flux[0] == 0.0
    else:
        assert flux[0] == pytest.approx((10 * cell[0] + cell[1]) * statev[1], rel=1e-15)


GLASSY, RUBBERY = np.array([1e-5, 2e-5, 3e-5, -1e-3, -2e-3, -3e-3]), np.array([4e-5, 5e-5, 6e-5, -4e-3, -5e-3, -6e-3])


@pytest.mark.parametrize("temp, gel, total, coefficients", [
    ((320.0, 5.0), 0.2, 1.0, GLASSY),          # below Tg
    ((400.0, 5.0), 0.5, 1.0, 0.0 * GLASSY),    # above Tg before gelation
    ((400.0, 5.0), 0.2, 1.0, RUBBERY),
    ((400.0, 5.0), 0.0, 0.0, RUBBERY),         # total time 0: the cure restarts
])
def test_expansion_hook(temp, gel, total, coefficients):
    cure_table(gel=gel)
    statev = np.zeros(510)
    statev[:4] = [0.3, 1.0, 2.0, 0.9]
    statev[502:508] = 1.0
    start = [0.0, 0.0, 0.0, 0.9] if total == 0.0 else statev[:4]
    cured, _ = hetval(start, temp[0] + temp[1], dtime=0.5)  # the cure step the hook takes at T + dT
    expan, dexpandt, out = top.uexpan_prony(temp, [0.0, total], 0.5, [0.0], [0.0], statev, "resin", 1)
    assert out is statev and recorded() == NO_ERROR
    np.testing.assert_array_equal(statev[:4], cured)
    assert (temp[0] < statev[2]) == (coefficients is GLASSY)
    thermal, chemical = coefficients[:3] * temp[1], coefficients[3:] * cured[1] * 0.5
    np.testing.assert_allclose(expan, np.r_[thermal + chemical, 0, 0, 0], rtol=1e-15, atol=0)
    np.testing.assert_array_equal(dexpandt, 0.0)
    np.testing.assert_allclose(statev[6:8], chemical[:2], rtol=1e-15)
    np.testing.assert_allclose(statev[502:508], 1.0 + np.r_[thermal, chemical], rtol=1e-15)


def test_expansion_hook_needs_510_state_variables():
    cure_table()
    statev = np.arange(500.0)
    expan, dexpandt, _ = top.uexpan_prony([400.0, 5.0], [0.0, 1.0], 0.5, [0.0], [0.0], statev, "resin", 1)
    assert recorded() == (-2, "Unsupported dimension in uexpan_prony")
    np.testing.assert_array_equal(statev, np.arange(500.0))
    with pytest.raises(_kestro.error):
        top.uexpan_prony([400.0, 5.0], [0.0, 1.0], 0.5, [0.0], [0.0], statev, "resin", 1, 510)
    with pytest.raises(_kestro.error):
        top.hetval_prony("resin", [400.0, 0.0], [0.0, 1.0], 1.0, np.zeros(3), np.zeros(2), [0.0], [0.0])


MODULI = [1000.0, 400.0, 600.0, 300.0, 500.0]  # C11, C12, C22, C23, C44


def stiffness(c11, c12, c22, c23, c44):
    return np.array([[c11, c12, c12, 0, 0, 0], [c12, c22, c23, 0, 0, 0], [c12, c23, c22, 0, 0, 0],
                     [0, 0, 0, c44, 0, 0], [0, 0, 0, 0, c44, 0], [0, 0, 0, 0, 0, (c22 - c23) / 2]])


def umat(statev, props, temp, dstran, stran=np.zeros(6), stress=None, dtime=0.1, name="resin", ntens=6, nstatv=None):
    stress = np.zeros(6) if stress is None else stress
    ddsdde = np.full((ntens, ntens), 9.0)
    top.umat_prony(*umat_arguments(dstran, stress=stress, statev=statev, ddsdde=ddsdde, stran=np.array(stran, float),
                                   time=[0.0, 1.0], dtime=dtime, temp=temp, cmname=name, ndi=3, nshr=3,
                                   props=np.array(props, float)), ntens=ntens, nstatv=nstatv)
    return stress, ddsdde


def test_relaxation_under_held_strain():
    cure_table()  # no shift values
    statev, stress = np.zeros(510), np.zeros(6)
    statev[2] = 450.0
    for k in range(10):
        _, ddsdde = umat(statev, [1, 0, 0, 0, 0] + MODULI + [0.3, 1.0], 400.0, [0.01 * (k == 0), 0, 0, 0, 0, 0],
                         stran=[0.01 * (k > 0), 0, 0, 0, 0, 0], stress=stress)
    assert statev[8] == pytest.approx(1.843370131711404, rel=1e-14)
    assert stress[0] == pytest.approx(8.156629868288595, rel=1e-14)
    assert ddsdde[0, 0] == statev[500] == pytest.approx(972.7272727272727, rel=1e-14)
    assert statev[508] == 0.0 and recorded() == NO_ERROR


# One term per series: weights p and times tau of the series 11, 12, 22, 23, 44.
P, TAU = np.array([0.1, 0.2, 0.3, 0.4, 0.5]), np.array([1.0, 2.0, 3.0, 4.0, 5.0])
ONE_TERM = [1] * 5 + MODULI + list(np.c_[P, TAU].ravel())
# The families by (series, modulus factor, strain, shift set, stress component), in storage order.
FAMILIES = [(0, 1, 0, 0, 0), (1, 1, 1, 1, 0), (1, 1, 2, 1, 0), (1, 1, 0, 0, 1), (2, 1, 1, 1, 1), (3, 1, 2, 1, 1),
            (1, 1, 0, 0, 2), (3, 1, 1, 1, 2), (2, 1, 2, 1, 2), (4, 1, 3, 1, 3), (4, 1, 4, 1, 4),
            (2, 0.5, 5, 1, 5), (3, -0.5, 5, 1, 5)]
STRAIN = np.arange(1.0, 7.0) * 1e-3


@pytest.mark.parametrize("temp, regime", [(573.15, "relaxed"), (650.0, "relaxed"), (273.1, "glassy"),
                                          (273.15, "viscoelastic"), (420.0, "viscoelastic")])
def test_prony_regimes(temp, regime):
    # Two complete shift sets: a1 and a2 differ.
    cure_table(shift=[17.44, 51.6, 2e4, 10.0, 10.0, 40.0, 1e4, 5.0])
    statev = np.zeros(510)
    statev[2], statev[8:21], statev[508:510] = 400.0, 0.5, 7.0
    stress, ddsdde = umat(statev, ONE_TERM, temp, STRAIN / 2, stran=STRAIN / 2, stress=np.ones(6))
    c = np.array(MODULI)
    if regime == "viscoelastic":
        def log_a(a, b, q, dt):
            x = temp - 400.0
            tj = 400.0 + dt
            return -a * x / (x + b) if temp > tj else (1 / temp - 1 / tj) * q - a * dt / (dt + b)
        logs = [log_a(17.44, 51.6, 2e4, 10.0), log_a(10.0, 40.0, 1e4, 5.0)]
        np.testing.assert_allclose(statev[508:510], logs, rtol=1e-14)
        shift = 10.0 ** np.array(logs)
        internal = [(0.5 * TAU[s] * shift[j] + f * c[s] * 0.1 * P[s] * STRAIN[e]) / (TAU[s] * shift[j] + 0.1)
                    for s, f, e, j, _ in FAMILIES]
        change = np.zeros(6)
        np.add.at(change, [f[4] for f in FAMILIES], np.array(internal) - 0.5)
        expected_stress = 1.0 + stiffness(*c) @ (STRAIN / 2) - change
        tangent_shift = np.where(np.arange(5) == 2, shift[1], shift[0])  # a2 for C22, a1 for the others
        expected_tangent = stiffness(*(c - P * c * 0.1 / (TAU * tangent_shift + 0.1)))
    else:
        np.testing.assert_array_equal(statev[508:510], 7.0)
        moduli = c * (1 - P) if regime == "relaxed" else c
        internal = [P[s] * f * c[s] * STRAIN[e] for s, f, e, _, _ in FAMILIES] if regime == "relaxed" else [0.5] * 13
        expected_tangent = stiffness(*moduli)
        expected_stress = 1.0 + expected_tangent @ (STRAIN / 2)
    np.testing.assert_allclose(statev[8:21], internal, rtol=1e-14)
    np.testing.assert_allclose(ddsdde, expected_tangent, rtol=1e-14)
    np.testing.assert_allclose(stress, expected_stress, rtol=1e-13)
    assert statev[500] == ddsdde[0, 0] and statev[501] == ddsdde[1, 1]
    assert recorded() == NO_ERROR


@pytest.mark.parametrize("shift, temp, log_a", [
    ([17.44, 51.6, 2e4, 10.0], 420.0, -17.44 * 20 / 71.6),   # four values serve both sets
    ([17.44, 51.6, 2e4, 10.0], 380.0, (1 / 380 - 1 / 410) * 2e4 - 17.44 * 10 / 61.6),
    ([17.44, 51.6, 2e4, 10.0], 410.0, -17.44 * 10 / 61.6),   # the branches meet at Tg + dT
    ([17.44, 51.6, 2e4, 10.0], np.nextafter(410.0, 500.0), -17.44 * 10 / 61.6),
    ([17.44, 51.6, 2e4], 420.0, -17.44 * 20 / 71.6),         # dT missing: 0
    ([17.44, 51.6, 2e4, 10.0, 1.0, 2.0, 3.0], 420.0, -17.44 * 20 / 71.6),
    ([1.0, -20.0, 0.0, 0.0], 420.0, 0.0),                    # x + B = 0 counts as 0
])
def test_shift_factors_of_one_set(shift, temp, log_a):
    cure_table(shift=shift)
    statev = np.zeros(510)
    statev[2] = 400.0
    umat(statev, [0] * 5 + MODULI, temp, np.zeros(6))
    assert statev[508] == pytest.approx(log_a, rel=1e-12, abs=0) and statev[509] == statev[508]


@pytest.mark.parametrize("props, ntens, nstatv", [
    (ONE_TERM, 3, 510),
    (ONE_TERM, 6, 500),
    (ONE_TERM[:-1], 6, 510),                                   # props shorter than its series
    ([0, 124, 0, 0, 0] + MODULI + [0.1, 1.0] * 124, 6, 510),   # 496 internal stresses
    (ONE_TERM[:9], 6, 510),
])
def test_prony_unsupported_dimensions(props, ntens, nstatv):
    cure_table()
    statev, stress = np.arange(510.0), np.arange(6.0)
    _, ddsdde = umat(statev, props, 400.0, np.ones(6), stress=stress[:ntens], ntens=ntens, nstatv=nstatv)
    assert recorded() == (-2, "Unsupported dimension in umat_prony")
    np.testing.assert_array_equal(statev, np.arange(510.0))
    np.testing.assert_array_equal(stress, np.arange(6.0))
    np.testing.assert_array_equal(ddsdde, 9.0)


def test_usermat_prony_is_umat_prony_at_the_ansys_point():
    cure_table(shift=[17.44, 51.6, 2e4, 10.0])
    nye_statev, ansys_statev = np.zeros(510), np.zeros(510)
    nye_statev[2] = ansys_statev[2] = 400.0
    nye, _ = umat(nye_statev, ONE_TERM, 420.0, STRAIN, name="ABQ_WRAPPER")
    stress, dsdepl = np.zeros(6), np.zeros((6, 6))
    top.usermat_prony(1, 1, 1, 1, 1, 1, 1, 0, 3, 3, 1.0, 0.1, 420.0, 0.0, stress, ansys_statev, dsdepl,
                      np.array(0.0), 0.0, 0.0, np.zeros(6), STRAIN[[0, 1, 2, 3, 5, 4]], np.zeros(6),
                      np.array(ONE_TERM, float), np.zeros(3), 0.0, np.eye(3), np.eye(3), np.zeros(2), 0.0,
                      0, 0, 0, 0, 0, 0, 0, 0)
    np.testing.assert_allclose(stress, nye[[0, 1, 2, 3, 5, 4]], rtol=1e-15)
    np.testing.assert_array_equal(ansys_statev, nye_statev)
