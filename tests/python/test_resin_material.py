"""The resin material point umat_resin (and usermat_resin): the eight models
against stiffnesses built with numpy, the criteria named in the material
name, degradation after failure, the fatigue cycles and jumps, bad input."""

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments

T, M, S = _kestro.toplevel, _kestro.materialdata, _kestro.shokriehdata
HUGE = np.finfo(float).max
R = [20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1]
P = [20, 3000, 3000, 0, 0.35, 0.35, 0, 0, 1, 0.1, 50, 100, 2, 1, -0.1]
E = [0.01, -0.0035, -0.0035, 0, 0, 0]  # uniaxial stress under E 3000, nu 0.35


def table(*rows):
    t = np.zeros((len(rows), max(len(r) for r in rows), 2))
    for k, row in enumerate(rows):
        t[k, :len(row)] = row
    return t


def cubic(c11, c12, c44):
    c = np.diag([c11] * 3 + [c44] * 3).astype(float)
    c[:3, :3] += (1 - np.eye(3)) * c12
    return c


def iso(e, nu):
    mu, lam = e / (2 + 2 * nu), e * nu / ((1 + nu) * (1 - 2 * nu))
    return cubic(lam + 2 * mu, lam, mu)


def point(props, dstran, name="RESINMAT1", statev=None, time=(0.5, 0.5), kinc=1, ntens=6, stran=None, stress=None,
          **extents):
    """One umat_resin call from stran (and stress) 0 unless given: (stress, statev, ddsdde), updated in place."""
    statev = np.zeros(22) if statev is None else statev
    stress = np.zeros(ntens) if stress is None else stress
    ddsdde = np.zeros((ntens, ntens))
    stran = np.zeros(ntens) if stran is None else stran
    T.umat_resin(*umat_arguments(dstran[:ntens], stress=stress, statev=statev, ddsdde=ddsdde, spd=0.0, scd=0.0,
                                 rpl=0.0, drpldt=0.0, time=time, cmname=name, ndi=3, nshr=ntens - 3, stran=stran,
                                 props=np.array(props, float), kinc=kinc), **extents)
    return stress, statev, ddsdde


MODELS = [  # model, props, tables, strain, stiffness the stress follows, tangent
    (0, P, dict(secantprops=table([(0, 3000), (0.02, 2000)])), E, iso(2550, 0.35), iso(2550, 0.35)),
    (1, R, {}, E, iso(3000, 0.35), iso(3000, 0.35)),
    (2, R, {}, [0, 0, 0, 0.01, 0.02, 0], iso(3000, 0.35), iso(3000, 0.35)),
    (3, R + [80] + R[1:], {}, E, iso(3000, 0.35), iso(3000, 0.35)),
    (5, R, {}, [0.001, 0.002, 0.003, 0.004, 0.005, 0.006], iso(3000, 0.35), iso(3000, 0.35)),
    (6, R, dict(alpha1props=table([(0, 4000)]), alpha2props=table([(0, 2000)]), alpha3props=table([(0, 900)])),
     [0.001, 0, 0, 0.002, 0, 0], cubic(4000, 2000, 900), cubic(4000, 2000, 900)),
]


@pytest.mark.parametrize("model, props, tables, strain, c, tangent", MODELS)
def test_elastic_models_follow_their_stiffness(model, props, tables, strain, c, tangent):
    M.modelid = model
    for name, value in tables.items():
        setattr(M, name, value)
    strain = np.array(strain)
    stress, statev, ddsdde = point(props, strain)
    np.testing.assert_allclose(stress, c @ strain, rtol=1e-13, atol=1e-13)
    np.testing.assert_allclose(ddsdde, tangent, rtol=1e-7, atol=1e-7 * tangent.max())
    assert statev[9] == pytest.approx(0.5 * strain @ c @ strain, rel=1e-7)  # strain energy
    assert list(statev[[0, 15, 19, 20]]) == [1, 50, 1, 0] and statev[7] == statev[18] == statev[21] / 50


def test_plasticity_and_orthotropic_models(capfd):
    M.modelid = 4
    stress = point(P[:6] + [5000, 50, 0] + P[9:], [0, 0, 0, 0.1, 0, 0])[0]
    np.testing.assert_allclose(stress, [0, 0, 0, 40.824829046386306, 0, 0], atol=1e-10)
    assert "Plasticity pass" in capfd.readouterr().out
    M.modelid = 7
    M.normalprops, M.shearprops = table([(0, 3200), (0.01, 2400)]), table([(0, 1150), (0.01, 900)])
    stress, statev, _ = point(R, [0.004, -0.001, 0.0005, 0.002, 0, 0.001])
    np.testing.assert_allclose(stress, [18.206571000445486, 7.827336420211402, 11.277152152489977, 2.2, 0, 1.125],
                               rtol=1e-12, atol=1e-12)
    np.testing.assert_allclose(statev[[16, 21, 7, 18]], [1.0203264171065243, 21.07839387907226,
                                                        0.42156787758144515, 0.42156787758144515], rtol=1e-12)


@pytest.mark.parametrize("name, di1, d, dmises, failed", [
    ("RESINMAT1_GPHA", 0.3, 0.48, 0.18, 0),
    ("resinmat1_gpha", 0.3, 0.48, 0.18, 0),
    ("RESINMAT1_GPRA", 0, 0.6, 0, 0),  # (50 I1 + sqrt(2500 I1^2 + 20000 Mises^2)) / 10000
    ("RESINMAT1_GPBA", 0, 0.6, 0, 0),  # (50 I1 + 150 Mises) / 10000
    ("RESINMAT1_GPDP", 0.15, 0.6, 0, 0),
    ("RESINMAT1_GPHASTRAIN", 3e-5, 3e-5 + 3.645e-8, 3.645e-8, 0.25),  # the strain tensor; life into 18
    ("RESINMAT1", 0, 0.25, 0, 0),
    ("RESINMAT_GPHA", 0, 0.25, 0, 0),  # the key one character early
])
def test_criteria_named_from_character_ten(name, di1, d, dmises, failed):
    M.modelid = 1
    statev = np.zeros(22)
    statev[[0, 2, 5, 19]] = 1, 0.25, 0.25, 1
    statev = point(R, E, name.ljust(80), statev, kinc=2)[1]
    np.testing.assert_allclose(statev[[1, 2, 6, 17]], [di1, d, dmises, failed], rtol=1e-12, atol=1e-20)


@pytest.mark.parametrize("model, statev_in, regularization, factor", [
    (1, {}, None, 0.1),                  # Ha failure: E = degr E
    (6, {2: 2.5}, None, 0.1),            # an exposure above 2 still gives degr, not 1 - 2 (1 - degr)
    (7, {2: 1, 16: 0.5, 17: 1}, [0, 0.1], 0.3),  # (eta 0.5 + dtime degr) / (eta + dtime)
])
def test_failure_degrades_the_stiffness(model, statev_in, regularization, factor):
    M.modelid, M.regularization = model, regularization
    M.alpha1props, M.alpha2props, M.alpha3props = table([(0, 4000)]), table([(0, 2000)]), table([(0, 900)])
    statev = np.zeros(22)
    statev[[0, 7, 18, 19]] = 1, -HUGE, HUGE, 1
    statev[list(statev_in)] = list(statev_in.values())
    strain = np.array(E) * 4
    stress, statev, ddsdde = point(R, strain, "RESINMAT1_GPHA" if model == 1 else "RESINMAT1", statev, kinc=2)
    c = iso(3000, 0.35) if model != 6 else cubic(4000, 2000, 900)
    np.testing.assert_allclose(stress, factor * c @ strain, rtol=1e-12, atol=1e-12)
    np.testing.assert_allclose(ddsdde, factor * c, rtol=1e-6, atol=1e-6 * c.max())
    assert statev[17] == (model != 6) and statev[3] == pytest.approx(factor * 3000, rel=1e-14)


COLUMN = [0, 1, 1, 1, 4, 1, 1, 1000, 100, 1e6]
LOAD, REST = (0.5, 0.5, E), (1, 1, [0] * 6)
FATIGUE_NAME = "RESINMAT1".ljust(28) + "_FATIGUE"


@pytest.mark.parametrize("column, name, props, calls, expected, error", [
    (COLUMN, "RESINMAT1", R, [LOAD, REST], {19: 2, 5: 1 / 5292.214940134465, 0: 101, 8: 100, 12: 5292.214940134465},
     None),
    (COLUMN, "RESINMAT1", R, [(t / 4, t / 4, E if t % 2 else [0] * 6) for t in range(1, 12)], {19: 3, 20: 3}, None),
    (COLUMN, "RESINMAT1", R, [(0.5, 0, E), (1, 0, [0] * 6)], {19: 1, 20: 0, 5: 0}, None),
    (COLUMN[:2] + [4] + COLUMN[3:], "RESINMAT1", R, [LOAD, REST, (1.5, 1.5, E)], {19: 2, 20: 2, 8: 50, 0: 51}, None),
    (COLUMN, "RESINMAT1", R[:9] + [0.1, -0.1], [LOAD, REST], {5: 1, 17: 1, 11: HUGE, 3: 300, 4: 0}, None),
    (COLUMN[:1] + [0] + COLUMN[2:], FATIGUE_NAME, R, [LOAD, REST], {19: 2, 0: 1, 8: 1}, None),
    (COLUMN[:9], FATIGUE_NAME, R, [LOAD, REST], {19: 1, 20: 0}, None),
    (COLUMN[:3] + [-1] + COLUMN[4:], "RESINMAT1", R, [LOAD, REST], {19: 1, 20: 0},
     "Unsupported cycle period in umat_resin."),
    (COLUMN[:3] + [1e-4, 4e-4] + COLUMN[5:], "RESINMAT1", R, [(1e-4, 1e-4, E)], {19: 2}, None),
])
def test_fatigue_cycles_and_jumps(column, name, props, calls, expected, error):
    M.modelid, S.cycleprops, S.dnf, _kestro.jobdata.nsteps = 1, np.array([column], float).T, 50, 1
    statev = np.zeros(22)
    for k, (t1, t2, strain) in enumerate(calls):
        point(props, strain, name, statev, (t1, t2), kinc=k + 1)
    np.testing.assert_allclose(statev[list(expected)], list(expected.values()), rtol=1e-12)
    assert recorded() == ((-2, error) if error else (0, ""))


@pytest.mark.parametrize("ntens, model, props, message", [
    (3, 1, R, "Unsupported dimension in umat_resin."),
    (6, 9, R, "Unsupported resin model in umat_resin."),
    (6, 1, R[:10], "Unsupported number of properties in umat_resin."),
    (6, 4, R, "Unsupported number of properties in umat_resin."),
    (6, 0, P, "Missing calibration table secantprops in umat_resin."),
    (4, 6, R, "Missing calibration tables alpha1props to alpha3props in umat_resin."),
])
def test_bad_input_leaves_stress_and_state(ntens, model, props, message):
    M.modelid = model
    statev = np.arange(22.0)
    stress, statev, ddsdde = point(props, E, statev=statev, kinc=2, ntens=ntens)
    assert recorded() == (-2, message)
    assert not stress.any() and not ddsdde.any() and list(statev) == list(range(22))
    with pytest.raises(_kestro.error):
        point(R, E, nstatv=23)


def test_state_start_values_warning_and_trace(capfd):
    M.modelid = 1
    for kinc in (1, 2):
        statev = point(R, E, statev=np.zeros(21), kinc=kinc)[1]
        assert statev[0] == statev[19] == (kinc == 1)
    for name in ("R" * 300, "RESIN" + " " * 200, "RES" + "\0" * 77):
        point(R, E, name=name, statev=np.zeros(21))
    out = capfd.readouterr().out.splitlines()
    head = " WARNING: Too less nstatev allocated for material  "
    assert out == [head + name for name in ("RESINMAT1", "R" * 80, "RESIN", "RES" + "\0" * 77)]
    marked = np.zeros(30)
    marked[-1] = HUGE
    assert point(R, E, statev=marked)[1][[19, 29]].tolist() == [1, 0]  # the fresh mark
    _kestro.debugdata.edebug = 1
    point(R, E)
    assert "ModelID" in capfd.readouterr().out


def test_ansys_point_through_the_adapter():
    M.modelid = 1
    strain = np.array([0.001, 0.002, 0, 0.003, 0.004, 0.005])  # ANSYS order: 12, 23, 13
    stress, dsdepl, statev = np.zeros(6), np.zeros((6, 6)), np.zeros(22)
    T.usermat_resin(1, 1, 1, 1, 1, 1, 1, 0, 3, 3, 0.5, 0.1, 20.0, 0.0, stress, statev, dsdepl, np.array(0.0), 0.0,
                    0.0, np.zeros(6), strain, np.zeros(6), R, np.zeros(3), 0.0, np.eye(3), np.eye(3), np.zeros(2), 0.0,
                    0, 0, 0, 0, 0, 0, 0, 0)
    np.testing.assert_allclose(stress, iso(3000, 0.35) @ strain, rtol=1e-13)
    assert statev[0] == 1



@pytest.mark.parametrize("model, ntens", [(1, 6), (1, 4), (5, 6), (0, 6)])
def test_strain_energy_is_the_work_of_the_path_whatever_tangent_comes_in(model, ntens):
    # Eight increments out and back, DDSDDE zero on entry to every call: the linear laws store 0.5 e C e at the
    # end, the secant table the trapezoidal work of its stresses along the path.
    M.modelid, M.secantprops = model, table([(0, 3000), (0.02, 2000)])
    path = np.cumsum(np.random.default_rng(66).uniform(-2e-3, 3e-3, (8, 6)), axis=0)[:, :ntens]
    statev, stress, stran, work = np.zeros(22), np.zeros(ntens), np.zeros(ntens), 0.0
    for k, strain in enumerate(path):
        new = point(P if model == 0 else R, strain - stran, statev=statev, kinc=k + 1, ntens=ntens, stran=stran,
                    stress=stress.copy())[0]
        work, stress, stran = work + 0.5 * (stress + new) @ (strain - stran), new, strain
    linear = 0.5 * stran @ iso(3000, 0.35)[:ntens, :ntens] @ stran
    assert statev[9] == pytest.approx(work if model == 0 else linear, rel=1e-12)


@pytest.mark.parametrize("model, props", [(1, R[:1] + [-3000] + R[2:]), (5, R[:2] + [0.5] + R[3:]),
                                          (4, P[:4] + [-1.2] + P[5:])])  # E, nu and (model 4) nut
def test_constants_without_a_positive_definite_stiffness_are_recorded(model, props):
    M.modelid = model
    point(props, E)
    assert recorded() == (-2, "Invalid elastic constants in umat_resin.")
