"""The truss and impactor user elements: the implicit truss of a bar along
c = (0.6, 0.8, 0) (E A / L = 4, lumped mass 0.5) in each procedure, the
explicit truss over a block, and the explicit impactor's contact in the
initialization and impact steps."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

tl, jd = _kestro.toplevel, _kestro.jobdata
C = np.array([0.6, 0.8, 0.0])
G = np.concatenate([C, -C])  # the global form of the local pair (1, -1)
BAR = np.array([[1.0, 2, 3], [2.5, 4, 3]])
U = np.array([0, 0, 0, 0.03, 0.04, 0])  # stretch 0.05, axial force 0.2
K = 4 * np.outer(G, G)
I32 = lambda *v: np.array(v, np.int32)  # noqa: E731


def uel(lflags, nrhs=1, svars=np.zeros(12), loads=([0], [0.0], [0.0]), du2=np.zeros(6), params=(0, 0, 0),
        dtime=0.0, u=U, coords=BAR.T, props=(200, 8, 0.05), start=0.0, du1=U, **kw):
    du = np.zeros((6, nrhs))
    du[:, :2] = np.stack([du1, du2], 1)[:, :nrhs]
    rhs, amatrx, sv, energy, pnewdt = tl.uel_truss(
        np.full((6, nrhs), start), np.full((6, 6), start), np.array(svars, float), np.zeros(8), props, coords, u, du,
        np.arange(1, 7) / 10, np.arange(1.0, 7), 1, [0, 0], dtime, 1, 1, 1, params, I32(*loads[0]), loads[1],
        [0.0], I32(*lflags), loads[2], 0.5, I32(0), 0.0, **kw)
    assert pnewdt == 0.5
    return rhs, amatrx, sv, energy


@pytest.mark.parametrize("lflags, rhs, amatrx, energy2, svars", [
    ((1, 1, 1, 0), 0.2 * G, K, 0.005, 7),
    ((2, 1, 1, 0), 0.2 * G, K, 0.005, 7),
    ((1, 1, 1, 1), 0.2 * G, K, 0.015, 7),  # perturbation step: 0.5 ak d dd + 0.5 d dF + 0.5 dd dF
    ((1, 1, 100, 0), 0.2 * G, 0, 0.015, np.r_[0.2 * G, np.zeros(6)]),
    ((11, 1, 100, 0), 0, 0, 0, 7),
    ((1, 1, 2, 0), 0, K, 0, 7),
    ((1, 1, 4, 0), 0, 0.5 * np.eye(6), 0, 7),
    ((1, 1, 3, 0), 0, 0, 0, 7),
    ((21, 1, 1, 0), 0, 0, 0, 7),
])
def test_implicit_truss_by_procedure(lflags, rhs, amatrx, energy2, svars):
    r, a, sv, energy = uel(lflags, svars=np.full(12, 7.0))
    np.testing.assert_allclose(r[:, 0], np.broadcast_to(rhs, 6), rtol=1e-14, atol=1e-16)
    np.testing.assert_allclose(a, np.broadcast_to(amatrx, (6, 6)), rtol=1e-14, atol=1e-16)
    np.testing.assert_allclose(sv, np.broadcast_to(svars, 12), rtol=1e-14, atol=1e-16)
    assert energy[1] == pytest.approx(energy2, rel=1e-14) and energy[0] == energy[7] == 0


def test_axial_loads_act_on_node_2():
    r, _, _, energy = uel((1, 1, 1, 0), nrhs=2, loads=([1001, 1002], [3.0, 50.0], [1.0, 9.0]))
    np.testing.assert_allclose(r.T, [np.r_[0.12, 0.16, 0, 1.68, 2.24, 0], np.r_[0, 0, 0, C]], rtol=1e-14, atol=1e-16)
    assert energy[7] == pytest.approx((3 - 0.5) * 0.05, rel=1e-14)
    r, _, _, _ = uel((1, 1, 1, 0), loads=([1001], [3.0], [1.0]), ndload=0)
    np.testing.assert_allclose(r[:, 0], 0.2 * G, rtol=1e-14)


def test_perturbation_results_of_two_load_cases():
    r, a, sv, _ = uel((41, 1, 100, 0), nrhs=3, svars=np.full(12, 7.0), du2=np.r_[C, -C])
    np.testing.assert_allclose(r.T, [0.2 * G, -8 * G, np.zeros(6)], rtol=1e-14, atol=1e-16)
    np.testing.assert_allclose(sv, np.r_[0.2 * G, np.zeros(6)], rtol=1e-14, atol=1e-16)
    assert not a.any()


@pytest.mark.parametrize("kind", [1, 5, 6])
def test_implicit_dynamics(kind):
    alpha, beta, dt = -0.05, 0.275625, 0.01
    s, a, v = np.r_[-0.1, -0.1, 0, 0.1, 0.1, 0], np.arange(1.0, 7), np.arange(1, 7) / 10
    old = np.arange(12.0, 18)
    sresid = -0.2 * G
    r, amatrx, sv, energy = uel((11, 1, kind, 0), svars=np.r_[s, old], params=(alpha, beta, 0.55), dtime=dt)
    expected = {1: (-0.5 * a - (1 + alpha) * sresid + alpha * s, K * (1 + alpha) + 0.5 / (beta * dt**2) * np.eye(6),
                    np.r_[sresid, s], 0.2275),
                5: (-0.5 * a - (1 + alpha) * sresid + 0.5 * alpha * (s + old), 0, np.r_[s, old], 0),
                6: (-sresid, 0.5 * np.eye(6), np.r_[sresid, old], 0.2275)}[kind]
    np.testing.assert_allclose(r[:, 0], expected[0], rtol=1e-14, atol=1e-16)
    np.testing.assert_allclose(amatrx, np.broadcast_to(expected[1], (6, 6)), rtol=1e-14, atol=1e-16)
    np.testing.assert_allclose(sv, expected[2], rtol=1e-14, atol=1e-16)
    assert energy[0] == pytest.approx(expected[3], rel=1e-14)
    if kind == 1:
        assert (r[0, 0], amatrx[0, 0], amatrx[0, 3]) == pytest.approx((-0.381, 18141.957569160993, -1.368), rel=1e-14)


def vuel(routine, lflags, u, *extra, svars=None, props=(200, 8, 0.05), jdltyp=0, jprops=(0,), coords=None, time=0.0,
         kstep=1, kinc=1, dtimecur=1e-3):
    n = len(u)
    coords = np.repeat(BAR[None], n, 0) if coords is None else coords
    svars = np.zeros((n, 2)) if svars is None else np.array(svars, float)
    z = np.zeros((n, 6))
    return routine(np.full((n, 6), 9.0), np.full((n, 6, 6), 9.0), np.full(n, 9.0), svars, np.zeros((n, 12)), props,
                   I32(*jprops), coords, np.array(u, float), z, z, z, 1, I32(*range(n)), [time, time], 0.0, dtimecur,
                   dtimecur, kstep, kinc, I32(*lflags), np.ones(n), [0.0], jdltyp, np.full(n, 2.0), *extra)


def test_explicit_truss_block():
    moved = [np.r_[0, 0, 0, 0.03, 0.04, 0], np.r_[0, 0, 0, -1.8, -2.4, 0]]  # element 2 turns through node 1
    rhs, amass, stable, svars, energy = vuel(tl.vuel_truss, (17, 2, 0), moved)
    force = 200 * 0.05 * 2.5 / 2.55 * math.log(2.55 / 2.5)
    assert force == pytest.approx(0.19414340486450718, rel=1e-15)
    np.testing.assert_allclose(rhs[0], -force * G, rtol=1e-14)
    assert stable[0] == pytest.approx(0.5049, rel=1e-14) and energy[0, 2] == pytest.approx(0.5 * force * 2.55)
    np.testing.assert_allclose(svars[0], [2.55, force], rtol=1e-14)
    assert svars[1, 0] == 2.220446049250313e-16 and np.isfinite(np.r_[rhs[1], stable[1], svars[1], energy[1]]).all()
    assert (amass == 9).all()
    rhs, amass, stable, svars, energy = vuel(tl.vuel_truss, (17, 3, 0), moved, jdltyp=123)
    np.testing.assert_allclose(rhs, [[0, 0, 0, 1.2, 1.6, 0]] * 2, rtol=1e-15)
    rhs, amass, *_ = vuel(tl.vuel_truss, (17, 1, 0), moved)
    np.testing.assert_allclose(amass, [0.5 * np.eye(6)] * 2, rtol=1e-15)
    for lflags, jdltyp in [((17, 3, 0), 124), ((16, 2, 0), 0), ((17, 4, 0), 0)]:
        for out in vuel(tl.vuel_truss, lflags, moved, jdltyp=jdltyp)[:3]:
            assert (out == 9).all()


# An impactor of E 210000, nu 0.3 and radius 8 on a ply of E33 9000, nu 0.3: E* = 1 / (0.91 / 210000 + 0.91 / 9000).
ESTAR = 1 / (0.91 / 210000 + 0.91 / 9000)
PROPS = [210000, 0.3, 9000, 0.3, 50, 4, 8, 1, 0, 0, 0, 0.01]


def impact(cprops, jprops=(1, 0), w_old=0.0, largest=0.0, w=0.0, **kw):
    """One impactor element along z whose node 2 moved by w, in step 2 (impact) of stepid."""
    jd.stepid = I32(0, 3, 1)
    svars = np.zeros((1, 18))
    svars[0, [14, 16]] = w_old, largest
    coords = np.array([[[0.0, 0, 0], [0, 0, 1]]])
    c = np.zeros(20)
    c[[5, 13, 14]] = 9.80665, 1, 1e-10
    for row, value in cprops.items():
        c[row - 1] = value
    kw = {"kstep": 2, "kinc": 5, "props": PROPS, **kw}
    out = vuel(tl.vuel_impact, (17, 2, 0), [[0, 0, 0, 0, 0, w]], c, svars=svars, jprops=jprops, coords=coords, **kw)
    return out[5], out[3][0]


@pytest.mark.parametrize("cprops, jprops, largest, force", [
    ({4: 0.05}, (1, 0), 0, 4 / 3 * ESTAR * math.sqrt(8) * 0.05**1.5),
    ({4: 0.04, 14: 500, 15: 0.05, 16: 1}, (2, 0), 500, 150.8928727866042),  # unloading from its own peak
    ({4: 0.04, 14: 500, 15: 0.05, 16: 1}, (2, 0), 400, 243.66280415701607),  # reloading
    ({4: 0.04, 14: 500, 15: 0.05, 16: 0}, (2, 0), 0, 4 / 3 * ESTAR * math.sqrt(8) * 0.04**1.5),
    ({4: 0.01, 14: 500, 15: 0.05, 16: 1}, (2, 0), 500, 0),  # within the permanent indentation
    ({1: 100.0, 4: 0.01}, (0, 0), 0, 100),
    ({1: 100.0, 4: -0.01}, (0, 0), 0, 100),
])
def test_impactor_contact_laws(cprops, jprops, largest, force):
    c, svars = impact(cprops, jprops, largest=largest)
    assert 0.05 * (1 - 0.2**0.4) == pytest.approx(0.02373472195596233, rel=1e-15)  # a0 after the peak 0.05
    radius = (3 * force * 8 / (4 * ESTAR))**(1 / 3)  # Hertz: the depth is radius^2 / R
    np.testing.assert_allclose(c[:3], [force, radius, radius**2 / 8], rtol=1e-13)
    assert svars[16] == max(largest, c[0]) and svars[15] == svars[14] == 0 and recorded()[0] == 0
    if force == 150.8928727866042:
        assert c[1] == pytest.approx(0.4570333515675931, rel=1e-14)


@pytest.mark.parametrize("jprops, w_old, kinc, kept, error", [
    ((1, 0), 0.02, 5, False, 0),  # separated: x < w_old
    ((1, 0), 0.01, 5, True, 0),   # x = w_old
    ((1, 0), 0.0, 0, True, 0),    # the first call of a step keeps the contact data
    ((7, 0), 0.0, 5, False, -3),
])
def test_impactor_without_contact(jprops, w_old, kinc, kept, error):
    c, svars = impact({1: 5.0, 2: 6.0, 3: 7.0, 4: 0.01}, jprops, w_old=w_old, w=0.003, kinc=kinc)
    assert (c[:3] == [5, 6, 7]).all() if kept else c[0] == 0
    assert svars[14] == svars[15] == pytest.approx(0.003, rel=1e-15)
    assert recorded() == ((-3, "Error: Invalid root finding procedure") if error else (0, ""))


@pytest.mark.parametrize("props, njprops, time, scheme, weight", [
    (PROPS[:10] + [-0.002, 0.01, 0.7], (1, 0, 0, 0), 0.0, -2, 0.7),
    (PROPS[:10] + [-0.002, 0.01], (1, 0, 0, 0), 0.0, -2, 0.5),
    (PROPS[:10] + [-0.002, 0.01, 0.7], (1, 0, 0, 1), 0.0, -1, 0),
    (PROPS[:10] + [0.2, 0.01], (1, 0), 0.1, 0, 0),
])
def test_impactor_initialization(props, njprops, time, scheme, weight):
    c, svars = impact({}, njprops, kstep=1, kinc=1, props=props, time=time)
    np.testing.assert_allclose(c[[3, 4, 6, 16, 17, 18]], [min(props[10], 0), 5, 4, 8, 1, 5 - 0.5e-3 * 9.80665],
                               rtol=1e-15)
    assert (c[7:10] == scheme).all() and c[19] == weight and svars[12] == 9.80665 and not svars[13:].any()


def test_impactor_idle_before_its_start_time():
    c, svars = impact({1: 5.0, 4: 0.05}, props=PROPS[:10] + [0.2, 0.01], time=0.1, w=0.003)
    assert (c[7:10] == 0).all() and c[0] == 5 and svars[14] == 0 and svars[15] == pytest.approx(0.003)


def test_impactor_without_analysis_control_or_state():
    c, svars = impact({4: 0.05}, w=0.003)
    jd.stepid = None
    out = vuel(tl.vuel_impact, (17, 2, 0), [[0, 0, 0, 0, 0, 0.003]], c, svars=np.zeros((1, 18)), jprops=(1, 0),
               props=PROPS, coords=np.array([[[0.0, 0, 0], [0, 0, 1]]]), kstep=2, kinc=5)
    np.testing.assert_array_equal(out[5], c)
    assert out[3][0, 15] == pytest.approx(0.003, rel=1e-15) and not out[3][0, 2:15].any()
    out = vuel(tl.vuel_impact, (17, 2, 0), [np.zeros(6)], c, svars=np.full((1, 17), 7.0), jprops=(1, 0), props=PROPS)
    assert (out[3][0, 2:] == 7).all() and recorded() == (  # the message cut at 80 characters
        -2, "Warning: vuel_impact needs 18 state variables, 12 properties and 2 integer properties."[:80])


@pytest.mark.parametrize("call", [
    lambda: uel((1, 1, 1)),
    lambda: uel((1, 1, 1, 0), params=(0, 0)),
    lambda: uel((1, 1, 1, 0), u=U[:5]),
    lambda: vuel(tl.vuel_truss, (17, 2), [U]),
    lambda: vuel(tl.vuel_impact, (17, 2, 0), [U], np.zeros(19)),
    lambda: vuel(tl.vuel_impact, (17, 2, 0), [U], np.zeros(21)),
])
def test_python_forms_refuse_short_arguments(call):
    with pytest.raises(_kestro.error):
        call()


@pytest.mark.parametrize("explicit", [False, True])
@pytest.mark.parametrize("nodes, props, error", [
    (BAR[:, :2], [200, 8, 0.05], (-3, "Error: Truss element needs two nodes with three coordinates.")),
    (BAR[:1], [200, 8, 0.05], (-3, "Error: Truss element needs two nodes with three coordinates.")),
    (BAR, [200, 8], (-2, "Warning: Truss element needs 3 properties.")),
])
def test_truss_layout_and_properties_checked(explicit, nodes, props, error):
    if explicit:
        outputs = vuel(tl.vuel_truss, (17, 2, 0), [U], props=props, coords=nodes[None])[:3]
    else:
        outputs = uel((1, 1, 1, 0), coords=nodes.T, props=props, start=9.0)[:2]
    assert all((x == 9).all() for x in outputs) and recorded() == error


ZERO_LENGTH = (-2, "Warning: Truss element of zero length.")
NOT_FINITE = (-2, "Warning: Truss element with a value that is not finite.")
POINT = np.array([[1.0, 2, 3], [1, 2, 3]])
NAN_NODE = np.array([[1.0, 2, 3], [2.5, math.nan, 3]])
NAN_U = np.r_[0, 0, 0, 0.03, math.nan, 0]


@pytest.mark.parametrize("nodes, u, error, finite", [
    (POINT, U, ZERO_LENGTH, True),  # no stiffness, no force
    (NAN_NODE, U, NOT_FINITE, False),
    (BAR, NAN_U, NOT_FINITE, False),
])
@pytest.mark.parametrize("lflags", [(1, 1, 1, 0), (11, 1, 1, 0), (1, 1, 100, 0)])
def test_implicit_truss_without_an_axis_or_finite_values(nodes, u, error, finite, lflags):
    rhs, amatrx, svars, energy = uel(lflags, coords=nodes.T, u=u, svars=np.full(12, 7.0),
                                     params=(-0.05, 0.25, 0.5), dtime=0.01, start=9.0)
    assert recorded() == error and list(_kestro.errorhandling.errintv) == [1]
    if finite:
        assert not rhs.any() and not amatrx.any() and (svars == 7).all()
    else:  # the perturbation's load comes from du alone; its energy holds the NaN
        assert np.isnan(np.r_[rhs[:, 0], energy]).any()


@pytest.mark.parametrize("lflags, props, dtime, du1, output", [
    ((1, 1, 2, 0), (math.inf, 8, 0.05), 0.01, U, "amatrx"),  # the stiffness E A / L alone
    ((1, 1, 4, 0), (200, math.inf, 0.05), 0.01, U, "amatrx"),  # the lumped mass alone
    ((11, 1, 1, 0), (200, 8, 0.05), 0.0, U, "amatrx"),  # HHT: the mass over beta dtime^2
    ((1, 1, 1, 0), (200, 8, 0.05), 0.0, NAN_U, "energy"),  # the load's work over the increment
])
def test_implicit_truss_records_every_output_not_finite(lflags, props, dtime, du1, output):
    """Each call leaves one output not finite, the others finite; the record names the element."""
    rhs, amatrx, _, energy = uel(lflags, props=props, dtime=dtime, du1=du1, params=(-0.05, 0.25, 0.5),
                                 loads=([1001], [3.0], [1.0]))
    assert not np.isfinite({"amatrx": amatrx, "energy": energy}[output]).all() and np.isfinite(rhs).all()
    assert recorded() == NOT_FINITE and list(_kestro.errorhandling.errintv) == [1]


@pytest.mark.parametrize("lflags, props, output", [
    ((17, 2, 0), (math.inf, 8, 0.05), 0),  # the force of an infinite modulus
    ((17, 2, 0), (200, math.inf, 0.05), 2),  # the stable increment of an infinite mass
    ((17, 1, 0), (200, math.inf, 0.05), 1),
])
def test_explicit_truss_records_every_output_not_finite(lflags, props, output):
    out = vuel(tl.vuel_truss, lflags, [U, U], props=props)
    assert not np.isfinite(out[output]).all()
    assert recorded() == NOT_FINITE and list(_kestro.errorhandling.errintv) == [0]


@pytest.mark.parametrize("nodes, u, error, stable", [
    (POINT, U, ZERO_LENGTH, 1.7976931348623157e308),
    (NAN_NODE, U, NOT_FINITE, math.nan),
    (BAR, NAN_U, NOT_FINITE, math.nan),  # not the force of the smallest length
])
def test_explicit_block_with_a_degenerate_element(nodes, u, error, stable):
    coords = np.stack([BAR, BAR, nodes, BAR])
    moved = [U, U, u, U]
    rhs, _, dt, svars, energy = vuel(tl.vuel_truss, (17, 2, 0), moved, coords=coords)
    lone = vuel(tl.vuel_truss, (17, 2, 0), [U])
    for k in (0, 1, 3):  # the others as alone
        np.testing.assert_array_equal(rhs[k], lone[0][0])
        assert dt[k] == lone[2][0]
    assert recorded() == error and list(_kestro.errorhandling.errintv) == [2]
    np.testing.assert_array_equal(dt[2], stable)
    if math.isnan(stable):
        assert np.isnan(rhs[2]).any() and np.isnan(svars[2, 1])
    else:
        assert not rhs[2].any() and not svars[2].any() and not energy[2].any()
    if nodes is POINT:  # nor a load along an axis it does not have
        assert not vuel(tl.vuel_truss, (17, 3, 0), moved, coords=coords, jdltyp=123)[0][2].any()
