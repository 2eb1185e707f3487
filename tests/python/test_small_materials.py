"""The fibre, hyperelastic, hail-ice and porosity material points.  Stiffnesses
are numpy's inverse of the ply compliance, the hail-ice return a plain numpy
radial return, its tangent the central differences of the point."""

from pathlib import Path

import numpy as np
import pytest
from scipy.optimize import brentq

import _kestro
from conftest import recorded, umat_arguments
from test_ply_entries import PLY, stiffness

T, MD = _kestro.toplevel, _kestro.materialdata
HUGE = np.finfo(float).max
FIBRE = PLY + [2000.0, 1200.0]
SECOND = [100000.0, 8000.0, 8000.0, 0.25, 0.25, 0.4, 4000.0, 3500.0, 2800.0, 1600.0, 1000.0]
ICE = [1000.0, 0.3, 1.0, 10.0, 0.0, 20.0, 0.1]
STRAN, DSTRAN, SHEAR = [0.01, 0, 0, 0, 0, 0], [0.005, 0, 0, 0, 0, 0.002], np.array([0.01, -0.01, 0, 0.02, 0, 0])
STRAIN = np.add(STRAN, DSTRAN)


def umat(routine, props, dstran, stran=None, statev=13, stress=None, kinc=1, temp=0.0, ndi=None, nshr=None,
         name="MAT", **extents):
    """An implicit point (ndi 2 for 3 components, else 3), its results checked to be in place."""
    n = len(dstran)
    ndi = (2 if n == 3 else 3) if ndi is None else ndi
    stress = np.zeros(n) if stress is None else np.array(stress, float)
    statev = np.zeros(statev) if np.isscalar(statev) else np.array(statev, float)
    stran = np.zeros(n) if stran is None else np.array(stran, float)
    results = routine(*umat_arguments(dstran, routine, stress=stress, statev=statev, sse=np.array(7.0),
                                      spd=np.array(7.0), scd=np.array(7.0), rpl=0.0, drpldt=0.0, stran=stran,
                                      temp=temp, cmname=name, ndi=ndi, nshr=n - ndi if nshr is None else nshr,
                                      props=np.array(props, float), pnewdt=1.0, kinc=kinc), **extents)
    assert results[0] is stress and results[1] is statev
    return results


def usermat(prop, dstrain, stress=None, ndirect=3, nshear=None):
    """usermat_fiber at one point: (stress, dsdepl, sedel, tsstif, epszz)."""
    n = len(dstrain)
    stress = np.zeros(n) if stress is None else np.array(stress, float)
    sedel, tsstif, epszz = np.array(9.0), np.zeros(2), np.array(9.0)
    keycut, dsdepl, _ = T.usermat_fiber(1, 1, 1, 1, 1, 1, 1, np.array(5, np.int32), ndirect,
                                        n - ndirect if nshear is None else nshear, 0.0, 0.1,
                                        20.0, 0.0, stress, np.zeros(1), np.zeros((n, n)), sedel, 0.0, 0.0,
                                        np.zeros(n), np.array(dstrain, float), np.zeros(n), np.array(prop, float),
                                        np.zeros(3), 0.0, np.eye(3), np.eye(3), tsstif, epszz, 0, 0, 0, 0, 0, 0, 0, 0)
    assert keycut == 0
    return stress, dsdepl, sedel, tsstif, epszz


def test_fibre_point_with_strengths():
    statev = np.zeros(13)
    statev[12] = 1e35  # the fresh-state mark
    stress, statev, ddsdde, sse, spd, scd = umat(T.umat_fiber, FIBRE, DSTRAN, STRAN, statev)[:6]
    np.testing.assert_allclose(stress, [2145.1313345715043, 75.21889095250728, 75.21889095250728, 0, 0, 6.2],
                               rtol=1e-12, atol=1e-12)
    np.testing.assert_allclose(ddsdde, stiffness(), rtol=1e-12)
    assert sse == pytest.approx(16.09468500928628, rel=1e-12) and spd == scd == 0.0
    assert (statev[2], statev[11], statev[12]) == (1.0, HUGE, 0.0)


@pytest.mark.parametrize("props, s11, before, after", [
    (PLY, 1000.0, 0.25, 0.25),        # no strengths: linear elastic, no exposure
    (FIBRE, -2400.0, 0.0, 1.0),       # twice the compressive strength, capped
    (FIBRE, 500.0, 0.5, 0.5),         # a running maximum
    (FIBRE[:10], -1000.0, 0.25, 0.25),  # no compressive strength: compression exposes nothing
    (FIBRE[:10], 0.0, 0.0, 0.0)])
def test_fibre_exposure(props, s11, before, after):
    statev = np.r_[0.0, 0.0, before, np.zeros(9)]
    stress, statev = umat(T.umat_fiber, props, [s11 / stiffness()[0, 0], 0, 0, 0, 0, 0], statev=statev)[:2]
    assert stress[0] == pytest.approx(s11, rel=1e-12, abs=1e-9) and (statev[2], statev[11]) == (after, HUGE)


@pytest.mark.parametrize("t, weight, t_high", [(70.0, 0.5, 120.0), (130.0, 1.0, 120.0), (45.0, 0.25, 120.0),
                                               (-5.0, 0.0, 120.0), (20.0, 0.0, 20.0), (20.5, 1.0, 20.0)])
def test_fibre_temperature_table(t, weight, t_high):
    low, high = FIBRE, SECOND
    expected_set = (1 - weight) * np.array(low) + weight * np.array(high)
    expected = stiffness(expected_set[:9]) @ STRAIN
    for props in (low + [20.0] + high + [t_high, 0.2], high + [t_high] + low + [20.0, 0.2]):  # either order
        if t_high == 20.0 and props[0] != low[0]:
            continue  # equal temperatures: props(1:11) is the lower set
        stress, statev = umat(T.umat_fiber, props, DSTRAN, STRAN, statev=12, temp=t)[:2]
        np.testing.assert_allclose(stress, expected, rtol=1e-12, atol=1e-12)
        assert statev[2] == pytest.approx(min(expected[0] / expected_set[9], 1.0), rel=1e-12)
    if t == 70.0:
        np.testing.assert_allclose(stress, [1834.174796710447, 62.13599401899522, 62.13599401899522, 0, 0, 5.9],
                                   rtol=1e-12, atol=1e-12)
    if t == 130.0:
        assert stress[0] == pytest.approx(1525.4237288135591, rel=1e-12)


@pytest.mark.parametrize("props, factor", [
    (FIBRE + [0.1], 0.1), (FIBRE + [0.0] + SECOND + [1.0, 0.1], 0.1),
    (FIBRE + [0.5, 0.0], 1.0), (FIBRE + [0.0] + SECOND + [1.0, 0.1, 0.3], 1.0)])  # 13, 26 values: no factor
def test_fibre_reduction_after_fibre_failure(props, factor):
    stress, statev, ddsdde = umat(T.umat_fiber, props, DSTRAN, STRAN, np.r_[0, 0, 1.0, np.zeros(9)])[:3]
    np.testing.assert_allclose(ddsdde, stiffness(np.multiply(PLY, factor)), rtol=1e-12)  # Poisson ratios too
    np.testing.assert_allclose(stress, ddsdde @ STRAIN, rtol=1e-12)


def test_fibre_few_values_short_states_and_warning(capfd):
    iso = umat(T.umat_fiber, [70000.0, 0.25], [1e-3, 0, 0], statev=12)[2]
    np.testing.assert_allclose(iso, 70000.0 / 0.9375 * np.array([[1, 0.25, 0], [0.25, 1, 0], [0, 0, 0.375]]),
                               rtol=1e-12, atol=1e-9)
    stress, statev, ddsdde, sse = umat(T.umat_fiber, [1.0, 2.0, 3.0], [1e-3, 0, 0], statev=np.arange(12.0))[:4]
    assert recorded() == (-2, "Unsupported number of elastic constants in GetNyeProperties")
    assert not stress.any() and not ddsdde.any() and sse == 0.0 and (statev == np.arange(12.0)).all()
    for nstatv, kinc, name in [(5, 1, "SHORT"), (2, 0, "X" * 90), (0, 1, "NONE"), (5, 2, "LATER")]:
        statev = np.r_[np.full(max(nstatv, 1) - 1, 0.5), 1e35]
        expected = statev.copy()
        expected[2:3] = 1.0 if nstatv >= 3 else expected[2:3]
        expected[nstatv - 1] = 0.0 if nstatv and kinc <= 1 else expected[nstatv - 1]
        after = umat(T.umat_fiber, FIBRE, DSTRAN, STRAN, statev, kinc=kinc, name=name, nstatv=nstatv)[1]
        np.testing.assert_array_equal(after, expected)
    head = "****WARNING: To less nstatev allocated for material "
    assert capfd.readouterr().out.splitlines() == [head + "SHORT".ljust(80), head + "X" * 80, head + "NONE".ljust(80)]


def test_ansys_fibre_point():
    stress, dsdepl, sedel, tsstif, epszz = usermat(PLY, [1e-3, 0, 0, 0, 2e-3, 0], stress=np.arange(1.0, 7.0))
    np.testing.assert_allclose(stress, [144.0087556381003, 7.014592730167152, 8.014592730167152, 4, 11.2, 6],
                               rtol=1e-12)
    assert sedel == pytest.approx(0.08870437781905016, rel=1e-12) and epszz == 0.0
    ansys = [0, 1, 2, 3, 5, 4]  # shear rows and columns 12, 23, 13
    np.testing.assert_allclose(dsdepl, stiffness()[np.ix_(ansys, ansys)], rtol=1e-12)
    assert list(tsstif) == [4000.0, 0.0]
    for n, ndirect, g23 in [(3, 2, 3100.0), (4, 3, 3100.0), (3, 3, 3100.0), (5, 3, 0.0)]:
        stress, dsdepl, sedel, tsstif, epszz = usermat(PLY, [1e-3, 0, 2e-3, 0, 0][:n], ndirect=ndirect)
        assert list(tsstif) == [4000.0, g23]
    stress, dsdepl, sedel, tsstif, epszz = usermat(PLY, [1e-3, 0, 2e-3], ndirect=2)
    assert epszz == pytest.approx(-4.3753143185573673e-4, rel=1e-12)
    np.testing.assert_allclose(dsdepl, stiffness(keep=[0, 1, 3]), rtol=1e-12, atol=1e-9)


PACKED = np.arange(1.0, 22.0)  # the lower triangle by rows


def test_hyperelastic_point():
    stress, statev, ddsdde, sse, spd, scd = umat(T.umat_hyper, PACKED, [1e-3, 0, 0, 0, 0, 0],
                                                 [0, 0, 0, 0, 0, 1e-3], statev=6)[:6]
    lower = np.zeros((6, 6))
    lower[np.tril_indices(6)] = PACKED
    np.testing.assert_allclose(ddsdde, lower + np.tril(lower, -1).T, rtol=1e-15)
    np.testing.assert_allclose(stress, [0.017, 0.019, 0.022, 0.026, 0.031, 0.037], rtol=1e-13)
    assert (statev == stress).all() and sse == pytest.approx(2.7e-5, rel=1e-13) and spd == scd == 0.0
    stress, statev = umat(T.umat_hyper, PACKED[:10], [1e-3, 0, 0], statev=np.full(5, 9.0))[:2]  # plane stress
    np.testing.assert_allclose(stress, [1e-3, 2e-3, 4e-3], rtol=1e-13)
    np.testing.assert_array_equal(statev, [stress[0], stress[1], 9.0, stress[2], 9.0])
    MD.peprops = np.zeros((9, 1, 2))
    MD.peprops[:, 0, 1] = PLY
    statev = np.r_[np.zeros(20), 1.5, 2.0, np.zeros(18)]  # ply 1, section 2
    for props in ([1.0], PLY):
        np.testing.assert_allclose(umat(T.umat_hyper, props, [1e-3] * 6, statev=statev)[2], stiffness(), rtol=1e-12)


REFUSED = "Unsupported number of properties in umat_hyper: "


# Counts refused at ntens components name the count and those taken: 1, 2, 5, 9, or the packed triangle of
# ntens (ntens + 1) / 2 values (10 at 4, 15 at 5, 21 at 6), from 10 on (at 3 its 6 values read as constants).
@pytest.mark.parametrize("props, ntens, nstatv, message, counts", [
    (PACKED[:20], 6, 40, REFUSED + "20 (1, 2, 5, 9, 21 or more).", [20, 6]),
    ([], 6, 40, REFUSED + "0 (1, 2, 5, 9, 21 or more).", [0, 6]),
    ([1.0], 6, 21, "Error: Ply or section outside the elastic table in umat_hyper.", None),
    ([1.0, 2.0, 3.0], 6, 40, REFUSED + "3 (1, 2, 5, 9, 21 or more).", [3, 6]),
    (PACKED[:6], 6, 40, REFUSED + "6 (1, 2, 5, 9, 21 or more).", [6, 6]),
    (PACKED[:6], 3, 40, REFUSED + "6 (1, 2, 5, 9, 10 or more).", [6, 3]),
    (PACKED[:7], 4, 40, REFUSED + "7 (1, 2, 5, 9, 10 or more).", [7, 4]),
    (PACKED[:14], 5, 40, REFUSED + "14 (1, 2, 5, 9, 15 or more).", [14, 5])])
def test_hyperelastic_refusals(props, ntens, nstatv, message, counts):
    stress, statev, ddsdde, sse = umat(T.umat_hyper, props, [1e-3] * ntens, statev=np.arange(nstatv * 1.0),
                                       stress=np.ones(ntens))[:4]
    assert recorded() == (-2, message)
    if counts is not None:
        np.testing.assert_array_equal(_kestro.errorhandling.errintv, counts)
    assert not stress.any() and not ddsdde.any() and sse == 0.0 and (statev == np.arange(nstatv)).all()


def test_hail_plastic_point_and_its_tangent():
    stress, statev, ddsdde, sse, spd, scd = umat(T.umat_hail, ICE, SHEAR)[:6]
    # The radial return with linear hardening 100 from 10, nu 0.3: G = 1000 / 2.6.
    g, trial = 1000.0 / 2.6, 1000.0 / 2.6 * SHEAR * [2, 2, 2, 1, 1, 1]
    mises = np.sqrt(1.5 * trial[:3] @ trial[:3] + 3 * trial[3:] @ trial[3:])
    deqpl = (mises - 10.0) / (3 * g + 100.0)
    np.testing.assert_allclose(stress, trial * (10.0 + 100.0 * deqpl) / mises, rtol=1e-12, atol=1e-15)
    assert stress[0] == pytest.approx(4.370383041078495, rel=1e-12)
    assert statev[12] == pytest.approx(0.007052084311553238, rel=1e-12) == pytest.approx(deqpl, rel=1e-12)
    assert spd == pytest.approx(0.07300743777239514, rel=1e-12) and sse == scd == 7.0 and T.smax == 0.0
    np.testing.assert_allclose(statev[:6] + statev[6:12], SHEAR, rtol=1e-12, atol=1e-15)
    h, e = 1e-6, np.eye(6)
    differences = [(umat(T.umat_hail, ICE, SHEAR + h * e[j])[0] - umat(T.umat_hail, ICE, SHEAR - h * e[j])[0]) / (2 * h)
                   for j in range(6)]
    np.testing.assert_allclose(ddsdde, np.transpose(differences), rtol=1e-6, atol=1e-6)
    assert umat(T.umat_hail, [1000.0, 0.5] + ICE[2:], SHEAR)[0][0] == pytest.approx(4.317670374810021, rel=1e-12)
    assert np.isfinite(umat(T.umat_hail, [1000.0, 0.5] + ICE[2:], SHEAR)[2]).all()
    # Elastic at nu 0.5: direct (K3 + 4 G) / 3, off-diagonal (K3 - 2 G) / 3, shear G of the window's values.
    g, k3 = 1000.0 / (2 * 1.4990000128746033), 1000.0 / 0.001999974250793457
    elastic = umat(T.umat_hail, [1000.0, 0.5, 0.0], [1e-6, 0, 0, 1e-6])[2]
    np.testing.assert_allclose(elastic[:3, :3], (k3 - 2 * g) / 3 + 2 * g * np.eye(3), rtol=1e-10)
    assert elastic[3, 3] == pytest.approx(g, rel=1e-12) and not elastic[3, :3].any()


def test_hail_cut_off_latch_until_a_start_up(tmp_path):
    for props, latched in [(ICE[:3], False), (ICE[:2] + [0.0] + ICE[3:], False), (ICE, True)]:
        stress = umat(T.umat_hail, props, [0.005] * 3 + [0.0] * 3)[0]
        assert T.smax == float(latched)
    np.testing.assert_array_equal(stress, [10, 10, 10, 0, 0, 0])
    # Every later point with the switch on, even below the cut-off, stays at it: the ndi direct components.
    np.testing.assert_array_equal(umat(T.umat_hail, ICE, [1e-4, 0, 0])[0], [10, 10, 0])
    _kestro.jobdata.jobfilepath = str(tmp_path / "none")
    T.uexternaldb_iocontrol(0, 0, [0.0, 0.0], 0.0, 1, 1)
    assert T.smax == 0.0


def test_hail_warning_and_refusals(capfd):
    statev, pnewdt = umat(T.umat_hail, [1000.0, 0.3, 1.0, 0.0, 0.0, 10.0, 0.1], SHEAR - [0, 0, 0.001, 0, 0, 0])[1::5]
    assert statev[12] == pytest.approx(0.015040062174394186, rel=1e-12)
    assert capfd.readouterr().out == "\n\n" + " " * 30 + "***WARNING - PLASTICITY ALGORITHM DID NOT CONVERGE " \
                                                         "AFTER  10 ITERATIONS\n"
    assert recorded() == (-1, "Warning: Plastic return not converged in umat_hail.") and pnewdt == 0.5
    _kestro.errorhandling.rsxerr(1)
    # Softening steeper than -3 G: the return would run backwards; no plastic flow, the stress on the yield surface.
    stress, statev, *_, pnewdt = umat(T.umat_hail, [1000.0, 0.3, 1.0, 10.0, 0.0, 0.0, 0.005], SHEAR)
    assert recorded() == (-1, "Warning: Negative plastic increment in umat_hail.") and pnewdt == 0.5
    assert statev[12] == 0 and 1.5 * stress[:3] @ stress[:3] + 3 * stress[3:] @ stress[3:] == pytest.approx(100.0)
    for e, nu in [(-1000.0, 0.3), (1000.0, 0.6), (1000.0, -1.0)]:
        _kestro.errorhandling.rsxerr(1)
        assert umat(T.umat_hail, [e, nu, 0.0], SHEAR)[0].any()
        assert recorded() == (-2, "Invalid elastic constants in umat_hail.")
    _kestro.errorhandling.rsxerr(1)
    umat(T.umat_hail, ICE[:3], [0.005] * 3 + [0.0] * 3)  # an empty table, no cut-off
    assert recorded() == (-2, "Unsupported number of table rows in GetHardeningFromTable") and T.smax == 0.0
    full = umat(T.umat_hail, ICE, SHEAR)[1]
    _kestro.errorhandling.rsxerr(1)
    short = umat(T.umat_hail, ICE, SHEAR, statev=np.full(8, 0.5))[1]
    assert recorded() == (-2, "Unsupported number of state variables in umat_hail.")
    np.testing.assert_allclose(short, 0.5 + full[:8], rtol=1e-14)  # the missing entries, eqplas too, read as 0
    _kestro.errorhandling.rsxerr(1)
    stress, statev, ddsdde = umat(T.umat_hail, [1000.0], [1e-3] * 4, stress=np.ones(4))[:3]
    assert recorded() == (-2, "Unsupported number of properties in umat_hail.")
    assert (stress == 1).all() and not statev.any() and not ddsdde.any()


@pytest.mark.parametrize("statev, scale", [([0.999], 1.0), ([1.0], 0.0010000000474974513), ([], 1.0)])
def test_porous_points(statev, scale):
    stress, after, ddsdde, sse, spd, scd = umat(T.umat_porosity, PLY, [1e-3, 0, 0, 0, 0, 0], statev=statev,
                                                stress=np.ones(6), nstatv=len(statev))[:6]
    np.testing.assert_allclose(ddsdde, scale * stiffness(), rtol=1e-12)
    np.testing.assert_allclose(stress, 1 + ddsdde[:, 0] * 1e-3, rtol=1e-12)
    assert sse == spd == scd == 0.0 and list(after) == statev


@pytest.mark.parametrize("routine", [T.umat_fiber, T.umat_hyper, T.umat_hail, T.umat_porosity, T.usermat_fiber])
def test_python_refuses_short_arrays_and_other_layouts(routine):
    ansys = [dict(ndirect=2, nshear=3), dict(stress=np.zeros(7))]
    for bad in ansys if routine is T.usermat_fiber else [dict(ndi=2, nshr=3), dict(stran=np.zeros(5)),
                                                         dict(nstatv=14)]:
        with pytest.raises(_kestro.error):
            (usermat if routine is T.usermat_fiber else lambda *a, **k: umat(routine, *a, **k))(PLY, [1e-3] * 6, **bad)



def test_hardening_slope_is_the_derivative_of_the_yield_stress():
    # Random tables of rising and softening rows, at strains farther than the difference step from every row.
    rng, h, table_at = np.random.default_rng(66), 1e-7, _kestro.lamina.gethardeningfromtable
    for rows in (2, 3, 5, 8, 12, 30):
        strains = np.cumsum(rng.uniform(1e-3, 0.05, rows)) - 0.01
        table = np.array([rng.uniform(5.0, 50.0, rows), strains])
        at = rng.uniform(strains[0] - 0.02, strains[-1] + 0.02, 60)
        for x in at[np.abs(at[:, None] - strains).min(axis=1) > 10 * h]:
            difference = (table_at(x + h, table)[0] - table_at(x - h, table)[0]) / (2 * h)
            assert table_at(x, table)[1] == pytest.approx(difference, rel=1e-6, abs=1e-4), (rows, x)


KINKED = [10.0, 0.0, 14.0, 0.05, 15.0, 0.1, 20.0, 0.3]  # (yield stress, plastic strain) rows, slopes 80, 20, 25


@pytest.mark.parametrize("load", [1.0, 1.5, 2.0, 3.0, 4.0, 8.0, 20.0])
def test_hail_return_on_a_kinked_table_and_its_tangent(load):
    # Returns within a segment and across one row or several: the exact radial return (brentq's root of
    # mises - 3 G dp - syield(dp)), and a tangent within 1e-5 of central differences of the point's own stress.
    props, strain, g, h = [1000.0, 0.3, 1.0] + KINKED, SHEAR * load, 1000.0 / 2.6, 1e-7
    stress, statev, ddsdde = umat(T.umat_hail, props, strain)[:3]
    trial = g * strain * [2, 2, 2, 1, 1, 1]
    mises = np.sqrt(1.5 * trial[:3] @ trial[:3] + 3 * trial[3:] @ trial[3:])
    syield = lambda p: np.interp(p, KINKED[1::2], KINKED[::2])
    dp = brentq(lambda p: mises - 3 * g * p - syield(p), 0.0, mises / (3 * g))
    np.testing.assert_allclose(stress, trial * syield(dp) / mises, rtol=1e-9, atol=1e-12)
    assert statev[12] == pytest.approx(dp, rel=1e-9) and recorded() == (0, "")
    differences = [umat(T.umat_hail, props, strain + h * e)[0] - umat(T.umat_hail, props, strain - h * e)[0]
                   for e in np.eye(6)]
    np.testing.assert_allclose(ddsdde, np.transpose(differences) / (2 * h), rtol=1e-5, atol=1e-5 * np.abs(ddsdde).max())


@pytest.mark.parametrize("table", ["[10.0, 0.1, 20.0, 0.05]", "[10.0, 0.0, 20.0, float('nan')]"])
def test_hail_refuses_a_table_its_interpolation_cannot_take(run_python, table):
    result = run_python(f"""
        import sys; sys.path.insert(0, {str(Path(__file__).parent)!r})
        from test_small_materials import np, umat, T, SHEAR, recorded
        stress, statev, ddsdde = umat(T.umat_hail, [1000.0, 0.3, 1.0] + {table}, SHEAR, stress=np.ones(6))[:3]
        print(*recorded(), (stress == 1).all() and not statev.any() and not ddsdde.any())""")
    assert result.stdout.decode() == "-2 Unsupported hardening table in umat_hail. True\n"
