"""The convention adapters with Python material routines: a secant ply whose
stiffness comes from numpy's inverse of the ply compliance, seen through the
ANSYS, Peridigm and MUESLI conventions; the UMAT Python form (in-place
updates, its results), callables that fill in place or raise."""

import functools

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments

w = _kestro.wrapper
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
ANSYS = [0, 1, 2, 3, 5, 4]  # the ANSYS order 11, 22, 33, 12, 23, 13 from Nye positions
NAME = "ABQ_WRAPPER".ljust(80)


def compliance(props=PLY):
    e1, e2, e3, n12, n13, n23, g12, g13, g23 = props
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -n12 / e1, -n13 / e1], [-n12 / e1, 1 / e2, -n23 / e2], [-n13 / e1, -n23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    return s


C = np.linalg.inv(compliance())
Q = np.linalg.inv(compliance()[np.ix_([0, 1, 3], [0, 1, 3])])  # the plane-stress stiffness


class Secant:
    """A UMAT material: stress = C (stran + dstran), ddsdde = C; records what it is given."""

    def __init__(self, stiffness=C, in_place=False):
        self.c, self.in_place, self.seen = stiffness, in_place, []

    def __call__(self, stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran, time,
                 dtime, temp, dtemp, predef, dpred, cmname, ndi, nshr, props, coords, drot, pnewdt, celent, dfgrd0,
                 dfgrd1, noel, npt, layer, kspt, jstep, kinc, ntens, nstatv, nprops):
        self.seen.append(dict(ndi=ndi, nshr=nshr, ntens=ntens, cmname=cmname, jstep=list(jstep), time=list(time),
                              drot=drot.copy(), stran=stran.copy(), noel=noel, kinc=kinc))
        strain = stran + dstran
        new = self.c @ strain
        energy = 0.5 * new @ strain
        if not self.in_place:
            return new, statev + 1, self.c, energy, spd, scd, pnewdt
        stress[:], ddsdde[:], sse[()] = new, self.c, energy
        statev += 1


def point(n, dstran, name=NAME, stress=None):
    """The UMAT Python form's arguments (ndi 3, nshr n - 3 or 1 for 3 components)."""
    assert len(dstran) == n
    return umat_arguments(dstran, stress=np.zeros(n) if stress is None else stress, statev=np.zeros(2), spd=0.0,
                          scd=0.0, rpl=0.0, drpldt=0.0, time=np.array([0.5, 1.5]), cmname=name, props=[1.0],
                          pnewdt=np.array(0.25), noel=11, npt=2, jstep=np.array([4, 1, 1, 0], np.int32), kinc=6)


def ansys(material, n, dstrain, ndirect=3, tsstif=None):
    """abq_umat_to_ansys_usermat at one point: (stress, sedel, tsstif, keycut, dsdepl, epszz)."""
    stress, sedel, dsdepl = np.zeros(n), np.array(0.0), np.zeros((n, n))  # dsdepl in C order
    tsstif = np.zeros(2) if tsstif is None else tsstif
    results = w.abq_umat_to_ansys_usermat(material, 1, 11, 2, 1, 1, 7, 3, 5, ndirect, n - ndirect, 0.5, 0.1, 20.0,
                                          0.0, stress, np.zeros(4), dsdepl, sedel, 1.0, 1.0, np.zeros(n),
                                          np.array(dstrain, float), np.zeros(n), [1.0], np.zeros(3), 0.0, np.eye(3),
                                          np.eye(3), tsstif, 0.0, 0, 0, 0, 0, 0, 0, 0, 0)
    assert results[1] is dsdepl  # updated in place whatever its layout
    return (stress, sedel, tsstif) + results


def test_ansys_solid_point():
    material = Secant()
    stress, sedel, tsstif, keycut, dsdepl, epszz = ansys(material, 6, [1e-3, 0, 0, 0, 2e-3, 0])
    expected = np.array([143.0087556381003, 5.014592730167152, 5.014592730167152, 0.0, 6.2, 0.0])
    np.testing.assert_allclose(stress, expected, rtol=1e-13, atol=1e-12)
    np.testing.assert_allclose(dsdepl, C[np.ix_(ANSYS, ANSYS)], rtol=1e-13)
    np.testing.assert_allclose(np.diag(dsdepl)[3:], [4600.0, 3100.0, 4000.0], rtol=1e-13)
    assert tsstif[0] == pytest.approx(4000.0, rel=1e-12) and tsstif[1] == 0.0
    assert sedel == pytest.approx(0.07770437781905015, rel=1e-12)
    assert keycut == 0 and epszz == 0.0
    seen = material.seen[0]
    assert (seen["ndi"], seen["nshr"], seen["ntens"], seen["cmname"], seen["noel"], seen["kinc"]) == \
        (3, 3, 6, NAME, 11, 3)
    assert seen["jstep"] == [7, 2147483647, 1, 0] and seen["time"] == [0.5, 1.7976931348623157e308]
    np.testing.assert_array_equal(seen["drot"], np.eye(3))


def test_ansys_plane_and_axisymmetric_points():
    stress, _, tsstif, _, dsdepl, epszz = ansys(Secant(), 3, [1e-3, 0, 0], ndirect=2)
    np.testing.assert_allclose(stress, [140.81471370069688, 2.715712335656297, 0.0], rtol=1e-13, atol=1e-12)
    np.testing.assert_allclose(dsdepl, Q, rtol=1e-12, atol=1e-9)
    # The thickness strain of plane stress: -(nu13 / E1) s11 - (nu23 / E2) s22.
    assert epszz == pytest.approx(-4.3753143185573673e-4, rel=1e-12)
    assert tsstif[0] == pytest.approx(4000.0, rel=1e-12)
    _, _, _, _, dsdepl, epszz = ansys(Secant(), 4, [1e-3, 0, 0, 0])
    assert dsdepl[3, 3] == pytest.approx(4000.0, rel=1e-12) and epszz == 0.0  # the axisymmetric 13 shear


def test_ansys_singular_tangent_and_unserved_counts():
    # A singular tangent: the inverse records -2 and tsstif(1) stays as it came.
    tsstif = np.array([7.0, 8.0])
    ansys(Secant(np.zeros((6, 6))), 6, [1e-3, 0, 0, 0, 0, 0], tsstif=tsstif)
    np.testing.assert_array_equal(tsstif, [7.0, 8.0])
    assert recorded() == (-2, "Matrix inverse becomes numerically singular!")
    # Five components, or three as (3, 0): refused, the material is not called and the caller's
    # stress and tangent stay.
    for ndirect, nshear in [(3, 2), (3, 0)]:
        _kestro.errorhandling.rsxerr(1)
        material, n = Secant(), ndirect + nshear
        stress, dsdepl = np.arange(float(n)), np.full((n, n), 4.0)
        keycut = w.abq_umat_to_ansys_usermat(material, 1, 1, 1, 1, 1, 1, 1, 5, ndirect, nshear, 0.0, 0.1, 0.0, 0.0,
                                             stress, [0.0], dsdepl, 0.0, 0.0, 0.0, np.zeros(n), [1.0] * n,
                                             np.zeros(n), [1.0], np.zeros(3), 0.0, np.eye(3), np.eye(3), np.zeros(2),
                                             0.0, 0, 0, 0, 0, 0, 0, 0, 0)[0]
        np.testing.assert_array_equal(stress, np.arange(float(n)))
        assert keycut == 0 and (dsdepl == 4.0).all() and material.seen == []
        assert recorded() == (-2, "Unsupported dimension in abq_umat_to_ansys_usermat.")
    # A read-only array is refused where the adapter would write into it.
    args = point(6, np.zeros(6))
    args[3].flags.writeable = False
    with pytest.raises(_kestro.error, match="sse is read-only"):
        w.muesli_to_abq_umat(lambda m, *a: None, *args, 1)


def peridigm(material, points, extra=()):
    stressold = np.tile([10.0, 0.0, 0.0, 1.0, 2.0, 3.0], (points, 1))
    increment = np.zeros((points, 6))
    increment[:, 3] = 1e-3
    return w.abq_umat_to_peridigm_upermat(material, stressold, np.ones((points, 40)), increment, [1.0], 0.1, 0.2,
                                          0.01, 1, 3, 3, dfunc_extra_args=extra)


def test_peridigm_points_add_the_secant_increment():
    material = Secant()
    stressnew, statenew = peridigm(material, 2)
    np.testing.assert_allclose(stressnew, np.tile([10.0, 0.0, 0.0, 5.6, 2.0, 3.0], (2, 1)), rtol=1e-13)
    np.testing.assert_array_equal(statenew, 2.0)
    assert len(material.seen) == 2
    assert all(s["jstep"] == [1, 2147483647, 1, 0] and not s["stran"].any() for s in material.seen)


@pytest.mark.parametrize("name,matid", [("PLY_M@3@", 3), ("ply_m@12@", 12), ("PLY", 1), ("PLY_M@-4@", 1)])
def test_usermat_material_through_umat(name, matid):
    seen = []

    def usermat(*args):
        seen.append((args[0], args[37], args[38:41]))  # matid, var8, (ncomp, nstatev, nprop)
        stress, strain, dstrain = args[14], args[20], args[21]
        stress[:] = C[np.ix_(ANSYS, ANSYS)] @ (strain + dstrain)
        return 0, C[np.ix_(ANSYS, ANSYS)], 0.0

    stress = np.zeros(6)
    ddsdde = w.ansys_usermat_to_abq_umat(usermat, *point(6, [1e-3, 0, 0, 0, 0, 2e-3], name, stress))
    np.testing.assert_allclose(ddsdde, C, rtol=1e-13)
    np.testing.assert_allclose(stress, C @ [1e-3, 0, 0, 0, 0, 2e-3], rtol=1e-13)
    assert seen == [(matid, float(len(name.rstrip())), (6, 2, 1))]


def test_muesli_material_and_the_umat_python_form():
    matids = []

    def material(matid, *umat):
        matids.append(matid)
        return Secant()(*umat)

    args = point(3, [1e-3, 0, 0])
    results = w.muesli_to_abq_umat(material, *args[:-1], args[-1], 9)
    stress, statev, ddsdde, sse, spd, scd, pnewdt = results
    np.testing.assert_allclose(ddsdde, Q, rtol=1e-12, atol=1e-9)
    np.testing.assert_allclose(stress, [140.81471370069688, 2.715712335656297, 0.0], rtol=1e-13, atol=1e-12)
    assert matids == [9] and pnewdt == 0.25 and (spd, scd) == (0.0, 0.0)
    # In place: the caller's arrays and 0-d scalars hold the results; plain numbers are inputs only.
    assert stress is args[0] and statev is args[1] and ddsdde is args[2]
    np.testing.assert_array_equal(args[1], 1.0)
    assert args[3] == sse and args[3] > 0
    # Lists are inputs: the results come back, nothing else changes.
    listed = [a.tolist() if isinstance(a, np.ndarray) and a.ndim == 1 and a.dtype == float else a
              for a in point(3, [1e-3, 0, 0])]
    again = w.muesli_to_abq_umat(material, *listed[:-1], listed[-1], 9)
    np.testing.assert_array_equal(again[0], stress)
    assert listed[0] == [0.0, 0.0, 0.0]


def test_a_callable_filling_in_place_equals_one_returning_its_results():
    by_tuple = w.muesli_to_abq_umat(lambda m, *a: Secant()(*a), *point(6, [1e-3, 0, 0, 0, 0, 2e-3]), 1)
    in_place = w.muesli_to_abq_umat(lambda m, *a: Secant(in_place=True)(*a),
                                    *point(6, [1e-3, 0, 0, 0, 0, 2e-3]), 1)
    for a, b in zip(by_tuple, in_place):
        np.testing.assert_array_equal(a, b)


def test_adapters_compose_and_library_entries_are_callables():
    # A UMAT seen as an ANSYS material and back is the UMAT itself.
    usermat = functools.partial(w.abq_umat_to_ansys_usermat, Secant())
    stress = np.zeros(6)
    ddsdde = w.ansys_usermat_to_abq_umat(usermat, *point(6, [1e-3, 2e-4, 0, 0, 0, 2e-3], stress=stress))
    np.testing.assert_allclose(ddsdde, C, rtol=1e-13)
    np.testing.assert_allclose(stress, C @ [1e-3, 2e-4, 0, 0, 0, 2e-3], rtol=1e-13)


def test_a_raising_callable_stops_the_points():
    calls = []

    def raising(*args):
        calls.append(args)
        raise ArithmeticError("material failed")

    with pytest.raises(ArithmeticError, match="material failed"):
        peridigm(raising, 3)
    assert len(calls) == 1
    # Extra arguments follow the convention's.
    marks = []
    peridigm(lambda *a: marks.append(a[-2:]), 2, extra=("x", 4))
    assert marks == [("x", 4), ("x", 4)]
