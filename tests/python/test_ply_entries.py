"""The orthotropic ply under the solvers' conventions: the implicit point with
its constants from the properties or the elastic table and its
image-correlation degradation, the explicit block, the ANSYS and Peridigm
entries and the MSC Marc placeholder.  Stiffnesses are numpy's inverse of the
ply compliance."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments

T, JD, MD = _kestro.toplevel, _kestro.jobdata, _kestro.materialdata
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
TABLE = "Error: Ply or section outside the elastic table in umat_lamina."


def stiffness(props=PLY, keep=range(6)):
    e1, e2, e3, n12, n13, n23, g12, g13, g23 = props
    s = np.diag([1 / e1, 1 / e2, 1 / e3, 1 / g12, 1 / g13, 1 / g23])
    s[[0, 1, 0, 2, 1, 2], [1, 0, 2, 0, 2, 1]] = np.repeat([-n12 / e1, -n13 / e1, -n23 / e2], 2)
    return np.linalg.inv(s[np.ix_(keep, keep)])


C, Q = stiffness(), stiffness(keep=[0, 1, 3])


def umat(dstran, statev=40, props=PLY, stran=None, nshr=None, jstep=(1, 1, 1, 0), ndi=None, entry=T.umat_lamina,
         **extents):
    """umat_lamina (or entry) at one point (ndi 2 for 3 components, else 3), its results checked to be in place."""
    n = len(dstran)
    ndi = (2 if n == 3 else 3) if ndi is None else ndi
    nshr = n - ndi if nshr is None else nshr
    statev = np.zeros(statev) if np.isscalar(statev) else np.array(statev, float)
    stress, ddsdde, sse, rpl = np.full(n, 9.0), np.full((n, n), 9.0), np.array(9.0), np.array(9.0)
    stran = np.zeros(n) if stran is None else np.array(stran, float)
    results = entry(*umat_arguments(dstran, stress=stress, statev=statev, ddsdde=ddsdde, sse=sse, spd=9.0,
                                    scd=9.0, rpl=rpl, drpldt=0.0, stran=stran, cmname="PLY", ndi=ndi, nshr=nshr,
                                    props=np.array(props, float), pnewdt=1.0, jstep=np.array(jstep, np.int32)),
                    **extents)
    assert results[0] is stress and results[1] is statev and rpl == 9.0
    return results


def test_implicit_solid_point():
    stress, statev, ddsdde, sse, spd, scd, pnewdt = umat([5e-4, 0, 0, 1e-3, 0, 2e-3], stran=[5e-4, 0, 0, 0, 0, 0])
    np.testing.assert_allclose(ddsdde, C, rtol=1e-12)
    assert ddsdde[0, 0] == pytest.approx(143008.7556381003, rel=1e-12)
    assert ddsdde[1, 2] == pytest.approx(5254.206274416518, rel=1e-12)
    s = [143.0087556381003, 5.014592730167152, 5.014592730167152, 4.6, 0.0, 6.2]
    np.testing.assert_allclose(stress, s, rtol=1e-12, atol=1e-13)
    assert sse == pytest.approx(0.08000437781905015, rel=1e-12) and (spd, scd, pnewdt) == (0.0, 0.0, 1.0)
    np.testing.assert_array_equal(statev[:6], stress)
    assert not statev[6:].any()


def test_implicit_plane_and_axisymmetric_points():
    stress, statev = umat([1e-3, 0, 2e-3], statev=np.arange(1.0, 7.0))[:2]
    np.testing.assert_allclose(stress, [140.8147137006969, 2.7157123356562964, 9.2], rtol=1e-12)
    np.testing.assert_array_equal(statev[[2, 4, 5]], [3.0, 5.0, 6.0])
    np.testing.assert_array_equal(statev[[0, 1, 3]], stress)
    np.testing.assert_allclose(umat([1e-3, 0, 0, 0])[2], C[:4, :4], rtol=1e-12)


def test_constants_from_the_elastic_table():
    g = 70000.0 / 2.6
    MD.peprops = np.zeros((9, 2, 1))
    MD.peprops[:, 1, 0] = [70000.0] * 3 + [0.3] * 3 + [g] * 3
    statev = np.zeros(40)
    statev[20:22] = 2.9, 1.0  # ply 2 (truncated), section 1
    ddsdde = umat([1e-3, 0, 0, 0, 0, 0], statev, props=[1.0])[2]
    assert ddsdde[0, 0] == pytest.approx(94230.76923076923, rel=1e-12)
    assert ddsdde[0, 1] == pytest.approx(40384.61538461538, rel=1e-12)
    assert recorded()[0] == 0


@pytest.mark.parametrize("ply, section, nstatv, rows", [
    (0.0, 1.0, 40, 9), (2.0, 0.5, 40, 9), (3.0, 1.0, 40, 9), (2.0, 2.0, 40, 9), (math.nan, 1.0, 40, 9),
    (1e10, 1.0, 40, 9), (-1.0, 1.0, 40, 9), (2.0, 1.0, 21, 9), (2.0, 1.0, 40, 8), (2.0, 1.0, 40, None)])
def test_a_position_outside_the_elastic_table(ply, section, nstatv, rows):
    if rows is not None:
        MD.peprops = np.ones((rows, 2, 1))
    statev = np.zeros(nstatv)
    statev[20:22] = [ply, section][:nstatv - 20]
    stress, after, ddsdde, sse = umat([1e-3, 0, 0, 1e-3, 0, 0], statev.copy(), props=[1.0])[:4]
    assert recorded() == (-2, TABLE)
    assert not stress.any() and not ddsdde.any() and sse == 0.0
    np.testing.assert_array_equal(after, statev)


def test_image_correlation_degradation():
    JD.stepid = np.array([5], np.int32)
    statev = np.zeros(40)
    statev[[7, 17]] = 1.0  # fibre flag, residual factor
    ddsdde = umat([1e-3, 0, 0, 0, 0, 0], statev)[2]
    expected = C.copy()
    expected[0, 0] *= 0.3
    expected[[0, 0, 1, 2], [1, 2, 0, 0]] *= math.sqrt(0.3)
    np.testing.assert_allclose(ddsdde, expected, rtol=1e-12)
    assert ddsdde[0, 0] == pytest.approx(42902.62669143009, rel=1e-12)
    assert ddsdde[0, 2] == pytest.approx(2746.6055550139654, rel=1e-12)
    # No flag, a step stepid does not hold, or too few state variables: the ply stiffness.
    reference = umat([1e-3, 0, 0, 0, 0, 0])[2]
    np.testing.assert_array_equal(reference, umat([1e-3, 0, 0, 0, 0, 0], statev, jstep=(2, 1, 1, 0))[2])
    np.testing.assert_array_equal(reference, umat([1e-3, 0, 0, 0, 0, 0], statev[:17])[2])
    np.testing.assert_array_equal(reference, umat([1e-3, 0, 0, 0, 0, 0], [0] * 17 + [1.0] * 23)[2])


def test_implicit_python_checks():
    umat([1e-3] * 6, jstep=[1])  # only the step is read
    for bad in [dict(nshr=2), dict(nstatv=41), dict(nprops=10), dict(jstep=[])]:
        with pytest.raises(_kestro.error):
            umat([1e-3] * 6, **bad)


def vumat(straininc, stressold, ndir=3, density=(1.0, 2.0), energy=(0.5, 1.0), stateold=None):
    nblock, ncomp = np.shape(straininc)
    stateold = np.zeros((nblock, 3)) if stateold is None else stateold
    z = np.zeros(nblock)
    return T.vumat_lamina(ndir, ncomp - ndir, 0, 0.0, 0.0, 0.01, "PLY", np.zeros((nblock, 3)),
                          np.ones((nblock, 3)), PLY, np.array(density), straininc, np.zeros((nblock, ncomp - ndir)),
                          z, np.zeros((nblock, ncomp)), np.zeros((nblock, ncomp + ncomp - ndir)),
                          np.zeros((nblock, 1)), np.array(stressold, float), stateold, np.array(energy), z, z,
                          np.zeros((nblock, ncomp)), np.zeros((nblock, ncomp + ncomp - ndir)), np.zeros((nblock, 1)))


def test_explicit_block():
    straininc = np.array([[1e-3, 0, 0, 0, 0, 0], [0, 0, 0, 5e-4, 1e-3, 0]])  # 11, 22, 33, 12, 23, 13
    stress, state, energy, inelastic = vumat(straininc, [[0] * 6, [10, 0, 0, 1, 2, 3]], stateold=np.ones((2, 3)))
    np.testing.assert_allclose(stress, [C[0, [0, 1, 2, 3, 5, 4]] * 1e-3, [10, 0, 0, 5.6, 8.2, 3]], rtol=1e-12)
    np.testing.assert_allclose(energy, [0.5715043778190502, 1.00675], rtol=1e-12)
    assert not state.any() and not inelastic.any()
    # A density of 0: the energy over 0.
    assert vumat(straininc, np.zeros((2, 6)), density=(0.0, 0.0))[2][0] == math.inf


def test_explicit_plane_stress_block():
    straininc = np.array([[1e-3, 0, 7, 2.5e-4]])
    stress = vumat(straininc, [[1.0, 2.0, 0, 3.0]], density=[1.0], energy=[0.0])[0]
    np.testing.assert_allclose(stress - [1, 2, 0, 3], [[140.8147137006969, 2.7157123356562964, 0, 2.3]], rtol=1e-12)
    assert straininc[0, 2] == pytest.approx(-4.3753143185573673e-4, rel=1e-12)  # updated in place
    stress = vumat([[1e-3, 0, 2.5e-4]], [[0, 0, 0]], ndir=2, density=[1.0], energy=[0.0])[0]
    np.testing.assert_allclose(stress, [Q @ [1e-3, 0, 5e-4]], rtol=1e-12)


def test_ansys_peridigm_and_marc_entries():
    ansys = [0, 1, 2, 3, 5, 4]  # Nye positions of the ANSYS order
    for n, ndirect, dstrain in [(6, 3, [0, 0, 0, 1e-3, 0, 0]), (3, 2, [1e-3, 0, 2e-3])]:
        stress, tsstif = np.zeros(n), np.zeros(2)
        keycut, dsdepl, epszz = T.usermat_lamina(1, 1, 1, 1, 1, 1, 1, 0, ndirect, n - ndirect, 0.0, 0.1, 20.0, 0.0,
                                                 stress, np.zeros(40), np.zeros((n, n)), 0.0, 0.0, 0.0,
                                                 np.zeros(n), dstrain, np.zeros(n), PLY, np.zeros(3), 0.0,
                                                 np.eye(3), np.eye(3), tsstif, 0.0, 0, 0, 0, 0, 0, 0, 0, 0)
        assert keycut == 0 and tsstif[0] == pytest.approx(4000.0, rel=1e-12)
        if n == 6:
            np.testing.assert_allclose(dsdepl, C[np.ix_(ansys, ansys)], rtol=1e-12)
        else:
            np.testing.assert_allclose(dsdepl, Q, rtol=1e-12, atol=1e-9)
            assert epszz == pytest.approx(-4.3753143185573673e-4, rel=1e-12)
    increment = np.zeros((2, 6))
    increment[:, 3] = 1e-3
    stressnew, statenew = T.upermat_lamina(np.tile([10.0, 0, 0, 1, 2, 3], (2, 1)), np.zeros((2, 40)), increment,
                                           PLY, 0.1, 0.2, 0.01, 1, 3, 3)
    np.testing.assert_allclose(stressnew, np.tile([10.0, 0, 0, 5.6, 2, 3], (2, 1)), rtol=1e-12)
    np.testing.assert_allclose(statenew[:, 3], 4.6, rtol=1e-12)
    kinematics = [np.zeros((1, 3)), np.zeros((1, 3)), [0.0], np.zeros((1, 3))] * 2  # ffn .. eigvn1
    d = np.arange(1.0, 10.0).reshape(3, 3)
    d, g, s, error_code = T.hypela_lamina(d, [1.0] * 3, [0.0] * 3, [0.0] * 3, [4.0] * 3, [0.0], [0.0], [1, 1], 1,
                                          [0, 0], [0, 0], 3, 0, [0.0], [0.0], [0.0], *kinematics, 3, 1, 1, 1, 1,
                                          [0, 0], 0, 0, 0, 6, [0], [0.0], b"x", 7)
    assert not d.any() and not g.any() and not s.any() and error_code == 0


SINGULAR = (-2, "Matrix inverse becomes numerically singular!")


def failed_fibre_tangent():
    """The 6 x 6 tangent umat_lamina gives a ply with a failed fibre and residual factor 0 in an
    image-correlation step: row and column 11 zero, so singular."""
    JD.stepid = np.array([5], np.int32)
    statev = np.zeros(40)
    statev[7] = 1.0
    c = umat([0.0] * 6, statev)[2].copy()
    assert not c[0].any() and not c[:, 0].any() and c[2, 2] > 0
    return statev, c


def condensed(c):
    """The plane-stress stiffness at 11, 22, 12 with 33 condensed out."""
    keep = [0, 1, 3]
    return c[np.ix_(keep, keep)] - np.outer(c[keep, 2], c[2, keep]) / c[2, 2]


@pytest.mark.parametrize("strain", [[1e-3, 5e-4, 2e-3], [-2e-3, 3e-4, 0.0], [0.0, -1e-3, 4e-3]])
def test_plane_stress_of_a_singular_tangent_through_the_adapters(strain):
    statev, c = failed_fibre_tangent()
    q, e = condensed(c), np.array(strain)
    # ANSYS: the total strain split into strain and increment.
    stress, tsstif = np.zeros(3), np.array([7.0, 8.0])
    keycut, dsdepl, epszz = T.usermat_lamina(1, 1, 1, 1, 1, 1, 1, 0, 2, 1, 0.0, 0.1, 20.0, 0.0, stress,
                                             statev.copy(), np.zeros((3, 3)), 0.0, 0.0, 0.0, e / 4, 3 * e / 4,
                                             np.zeros(3), PLY, np.zeros(3), 0.0, np.eye(3), np.eye(3), tsstif, 0.0,
                                             0, 0, 0, 0, 0, 0, 0, 0)
    assert recorded()[0] == 0  # a singular tangent is condensed, not an error
    np.testing.assert_allclose(dsdepl, q, rtol=1e-12, atol=1e-9)
    np.testing.assert_allclose(stress, dsdepl @ e, rtol=1e-12, atol=1e-12)
    assert epszz == pytest.approx(-(c[2, 0] * e[0] + c[2, 1] * e[1] + c[2, 3] * e[2]) / c[2, 2], rel=1e-12,
                                  abs=1e-18)
    # G13 of the 13-23 block, which couples to nothing else.
    assert keycut == 0 and list(tsstif) == [c[4, 4] - c[4, 5] * c[5, 4] / c[5, 5], 8.0]
    # Peridigm: stressnew = stressold + the condensed stress of the increment.
    old = np.array([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]])
    stressnew = T.upermat_lamina(old, np.tile(statev, (2, 1)), np.tile(e, (2, 1)), PLY, 0.1, 0.2, 0.01, 1, 2, 1)[0]
    np.testing.assert_allclose(stressnew - old, np.tile(q @ e, (2, 1)), rtol=1e-12, atol=1e-12)
    # MUESLI: the three-dimensional routine returns the singular tangent.
    results = _kestro.wrapper.muesli_to_abq_umat(
        lambda matid, stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran, *rest:
        (c @ (stran + dstran), statev, c, sse, spd, scd, 1.0),
        np.zeros(3), np.zeros(2), np.zeros((3, 3)), 0.0, 0.0, 0.0, 0.0, np.zeros(3), np.zeros(3), 0.0, e / 2, e / 2,
        [0.0, 0.0], 0.1, 20.0, 0.0, [0.0], [0.0], "PLY", 2, 1, [1.0], np.zeros(3), np.eye(3), 1.0, 1.0, np.eye(3),
        np.eye(3), 1, 1, 1, 1, np.array([1, 1, 1, 0], np.int32), 1, 3)
    np.testing.assert_allclose(results[2], q, rtol=1e-12, atol=1e-9)
    np.testing.assert_allclose(results[0], results[2] @ e, rtol=1e-12, atol=1e-12)


def test_plane_stress_of_a_zero_tangent_has_no_thickness_strain():
    def zero(stress, statev, ddsdde, sse, *rest):
        return np.zeros(6), statev, np.zeros((6, 6)), sse, 0.0, 0.0, 1.0

    stress = np.array([1.0, 2.0, 3.0])
    keycut, dsdepl, epszz = _kestro.wrapper.abq_umat_to_ansys_usermat(
        zero, 1, 1, 1, 1, 1, 1, 1, 0, 2, 1, 0.0, 0.1, 0.0, 0.0, stress, [0.0], np.zeros((3, 3)), 0.0, 0.0, 0.0,
        np.zeros(3), [1e-3, 2e-3, 0.0], np.zeros(3), [1.0], np.zeros(3), 0.0, np.eye(3), np.eye(3), np.zeros(2), 0.0,
        0, 0, 0, 0, 0, 0, 0, 0)
    assert epszz == 0.0 and not stress.any() and not dsdepl.any()
    assert recorded() == SINGULAR


UNSUPPORTED = (-2, "Unsupported dimension in GetNyeStiffnessMatrix")


@pytest.mark.parametrize("ndi, nshr", [(1, 2), (3, 0), (2, 2), (0, 3), (1, 1)])
def test_layouts_the_ply_does_not_serve(ndi, nshr):
    statev = np.arange(1.0, 41.0)
    stress, after, ddsdde, sse = umat([1e-3] + [0.0] * (ndi + nshr - 1), statev, ndi=ndi, nshr=nshr)[:4]
    assert recorded() == UNSUPPORTED
    assert not stress.any() and not ddsdde.any() and sse == 0.0
    np.testing.assert_array_equal(after, statev)
    _kestro.errorhandling.rsxerr(1)
    # The explicit block keeps its old stress.
    old = np.arange(1.0, 2 * (ndi + nshr) + 1).reshape(2, -1)
    stress = vumat(np.full((2, ndi + nshr), 1e-3), old, ndir=ndi)[0]
    assert recorded() == UNSUPPORTED
    np.testing.assert_array_equal(stress, old)


@pytest.mark.parametrize("nstatv", [40, 41, 60, 100])
@pytest.mark.parametrize("entry", [T.umat_lamina, T.umat_hyper])
def test_the_damage_block_is_the_last_forty_state_variables(entry, nstatv):
    # Ply 2 of section 1 is a quasi-isotropic ply, ply 1 the PLY; the fibre of the point has failed.
    MD.peprops = np.zeros((9, 2, 1))
    MD.peprops[:, 0, 0] = PLY
    MD.peprops[:, 1, 0] = [70000.0] * 3 + [0.3] * 3 + [70000.0 / 2.6] * 3
    JD.stepid = np.array([5], np.int32)
    block = np.zeros(40)
    block[[20, 21]] = 2.0, 1.0  # ply, section
    block[[7, 17]] = 1.0  # fibre flag, residual factor
    statev = np.concatenate([np.full(nstatv - 40, 1.0), block])
    dstran = [1e-3, 2e-4, -1e-4, 5e-4, 3e-4, 1e-4]
    stress, after, ddsdde = umat(dstran, statev.copy(), props=[1.0], entry=entry)[:3]
    assert recorded()[0] == 0
    iso = stiffness(MD.peprops[:, 1, 0])
    expected = iso.copy()
    if entry is T.umat_lamina:  # the degradation of a failed fibre (residual factor 1)
        expected[0, 0] *= 0.3
        expected[[0, 0, 1, 2], [1, 2, 0, 0]] *= math.sqrt(0.3)
    np.testing.assert_allclose(ddsdde, expected, rtol=1e-10)
    np.testing.assert_allclose(stress, expected @ dstran, rtol=1e-10)
    np.testing.assert_array_equal(after[nstatv - 40:nstatv - 34], stress)
    np.testing.assert_array_equal(after[:nstatv - 40], statev[:nstatv - 40])
    np.testing.assert_array_equal(after[nstatv - 34:], statev[nstatv - 34:])
