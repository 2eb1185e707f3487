"""Plane stress of 3-D tangents whose inverse cannot be trusted (perfectly
plastic J2 tangents of rank 5, an exactly singular tangent, a saturated
in-plane shear) through GetPlaneStressOutputFrom3D and every adapter that
reduces a material to plane stress, against the static condensation of 33
computed here; regular rotated orthotropic tangents against the strain of
the full tangent, C^-1 s, under the reduced stiffness."""

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments

W = _kestro.wrapper
KEEP = [0, 1, 3]  # 11, 22, 12 of a Nye vector
ANSYS = [0, 1, 2, 3, 5, 4]  # the ANSYS order from Nye positions
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
rng = np.random.default_rng(20240611)


def orthotropic(props):
    e1, e2, e3, n12, n13, n23, g12, g13, g23 = props
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -n12 / e1, -n13 / e1], [-n12 / e1, 1 / e2, -n23 / e2], [-n13 / e1, -n23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    return np.linalg.inv(s)


def perfectly_plastic(c, stress):
    """C - (CN)(NC) / (N.C.N), N the J2 flow direction with engineering shears: rank 5."""
    n = stress - np.r_[np.full(3, stress[:3].mean()), np.zeros(3)]
    n[3:] *= 2
    cn = c @ n
    return c - np.outer(cn, cn) / (n @ cn)


def condensation(stress, c):
    return (stress[KEEP] - c[KEEP, 2] * stress[2] / c[2, 2],
            c[np.ix_(KEEP, KEEP)] - np.outer(c[KEEP, 2], c[2, KEEP]) / c[2, 2])


def plastic_case(s13=0.0):
    e, nu = rng.uniform(5e3, 2e5), rng.uniform(0.1, 0.45)
    g = e / (2 + 2 * nu)
    c = orthotropic([e, e, e, nu, nu, nu, g, g, g]) if rng.random() < 0.5 else orthotropic(PLY)
    stress = np.r_[rng.uniform(-300, 300, 4), s13, 0.0]
    return (lambda strain: (stress, perfectly_plastic(c, stress))), rng.uniform(-2e-3, 2e-3, 3)


def equal_rows_case():
    c = orthotropic(PLY)
    c[1], c[:, 1] = c[0], c[:, 0]  # rows and columns 11 and 22 equal: exactly singular
    return (lambda strain: (c @ strain, c)), np.array([1e-3, -4e-4, 2e-3])


def saturated_shear_case():
    c = orthotropic(PLY)
    c[3], c[:, 3] = 0.0, 0.0  # tau12 held at S12 = 80

    def material(strain):
        stress = c @ strain
        stress[3] = 80.0
        return stress, c
    return material, np.array([2e-3, 1e-3, 0.03])


CASES = [plastic_case() for _ in range(40)] + [equal_rows_case(), saturated_shear_case()]


def routine(material, strain):
    return _kestro.elementhandling.getplanestressoutputfrom3d(*material(np.r_[strain[:2], 0, strain[2], 0, 0]))


def umat(material):
    def call(stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran, *rest):
        stress[:], ddsdde[:] = material(stran + dstran)  # symmetric tangents
    return call


def ansys_through_umat(material, strain, tsstif=None):
    stress, dsdepl, tsstif = np.zeros(3), np.zeros((3, 3)), np.array([7.0, 8.0]) if tsstif is None else tsstif
    _, dsdepl, epszz = W.abq_umat_to_ansys_usermat(
        umat(material), 1, 11, 2, 1, 1, 7, 3, 5, 2, 1, 0.5, 0.1, 20.0, 0.0, stress, np.zeros(4), dsdepl, 0.0, 1.0,
        1.0, strain / 4, 3 * strain / 4, np.zeros(3), [1.0], np.zeros(3), 0.0, np.eye(3), np.eye(3), tsstif, 0.0, 0,
        0, 0, 0, 0, 0, 0, 0)
    return stress, dsdepl, epszz


def muesli(material, strain):
    results = W.muesli_to_abq_umat(lambda matid, *a: umat(material)(*a), *umat_arguments(strain), 4)
    return results[0], results[2]


def umat_through_ansys(material, strain):
    def usermat(*a):  # a[14] stress, a[20] strain, a[21] its increment, in the ANSYS order
        stress, c = material((a[20] + a[21])[ANSYS])
        a[14][:] = stress[ANSYS]
        return 0, c[np.ix_(ANSYS, ANSYS)], 0.0
    args = umat_arguments(strain)
    ddsdde = W.ansys_usermat_to_abq_umat(usermat, *args)
    return args[0], ddsdde


@pytest.mark.parametrize("adapter", [routine, ansys_through_umat, muesli, umat_through_ansys])
def test_untrusted_tangents_are_condensed(adapter):
    for material, strain in CASES:
        stress3d, c = material(np.r_[strain[:2], 0, strain[2], 0, 0])
        expected, q = condensation(stress3d, c)
        stress, tangent = adapter(material, strain)[:2]
        scale = np.abs(stress3d).max()
        np.testing.assert_allclose(stress, expected, rtol=0, atol=1e-9 * scale)
        np.testing.assert_allclose(tangent, q, rtol=0, atol=1e-9 * np.abs(c).max())
        assert recorded()[0] == 0  # a plastic point is a normal state
    assert stress[2] == 80.0  # the saturated shear keeps its stress


def test_thickness_strain_and_shear_stiffness_of_untrusted_tangents():
    for material, strain in CASES:
        tsstif = np.array([7.0, 8.0])
        epszz = ansys_through_umat(material, strain, tsstif)[2]
        c = material(np.r_[strain[:2], 0, strain[2], 0, 0])[1]
        # The thickness strain keeping s33 at 0 under the element's strain.
        assert np.isfinite(epszz)
        assert epszz == pytest.approx(-(c[2, 0] * strain[0] + c[2, 1] * strain[1] + c[2, 3] * strain[2]) / c[2, 2],
                                      rel=1e-12, abs=1e-18)
        assert tsstif[0] == pytest.approx(c[4, 4], rel=1e-14) and tsstif[1] == 8.0  # G13: 13 couples to nothing
    # A yield state with a 13 shear couples 13 with the others: no G13, the record says so.
    material, strain = plastic_case(s13=50.0)
    tsstif = np.array([7.0, 8.0])
    stress, _, epszz = ansys_through_umat(material, strain, tsstif)
    np.testing.assert_allclose(stress, condensation(*material(None))[0], rtol=1e-9)
    assert list(tsstif) == [7.0, 8.0] and np.isfinite(epszz)
    assert recorded() == (-2, "Matrix inverse becomes numerically singular!")


def test_peridigm_block_of_untrusted_tangents():
    materials = iter([m for m, _ in CASES])
    increments = np.array([np.r_[s[:2], s[2]] for _, s in CASES])
    old = rng.uniform(-50, 50, increments.shape)
    new = W.abq_umat_to_peridigm_upermat(lambda *a: umat(next(materials))(*a), old, np.zeros((len(CASES), 1)),
                                         increments, [1.0], 0.1, 0.2, 0.01, 1, 2, 1)[0]
    for k, (material, strain) in enumerate(CASES):
        stress3d, c = material(np.r_[strain[:2], 0, strain[2], 0, 0])
        np.testing.assert_allclose(new[k] - old[k], condensation(stress3d, c)[0], rtol=0,
                                   atol=1e-9 * np.abs(stress3d).max() + 1e-12 * np.abs(old[k]).max())
    assert recorded()[0] == 0


def test_regular_orthotropic_tangents_keep_the_strain_of_the_full_tangent():
    for _ in range(60):
        e1, e2, e3 = rng.uniform(2e4, 2e5), rng.uniform(3e3, 2e4), rng.uniform(3e3, 2e4)
        props = [e1, e2, e3, rng.uniform(0.2, 0.35), rng.uniform(0.2, 0.35), rng.uniform(0.3, 0.5),
                 *rng.uniform(2e3, 8e3, 3)]
        base = np.linalg.qr(rng.normal(size=(3, 3)))[0]  # any orientation: 13 and 23 may couple
        c = _kestro.lamina.getarbitrarybasesc(orthotropic(props), base, 1, 1)
        stress3d = rng.uniform(-200, 200, 6)
        e = np.linalg.solve(c, stress3d)
        q = condensation(stress3d, c)[1]
        expected = q @ e[KEEP]
        stress, tangent = _kestro.elementhandling.getplanestressoutputfrom3d(stress3d, c)
        np.testing.assert_allclose(stress, expected, rtol=0, atol=1e-12 * np.abs(expected).max())
        np.testing.assert_allclose(tangent, q, rtol=0, atol=1e-12 * np.abs(q).max())
    assert recorded()[0] == 0
