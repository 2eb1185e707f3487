"""Ply stiffness and compliance, rotation matrices, the cyclic notation, the
stress update and strain energy, and the equivalent measures of module lamina,
against numpy's inverse, tensor rotations and products written out here."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

La = _kestro.lamina
PLY = np.array([140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100.0])
PLANE = [0, 1, 3]


def compliance(e1, e2, e3, nu12, nu13, nu23, g12, g13, g23, nu21=None, nu31=None, nu32=None):
    """The Nye compliance; nu21 ... from symmetry unless given."""
    nu21 = nu12 * e2 / e1 if nu21 is None else nu21
    nu31 = nu13 * e3 / e1 if nu31 is None else nu31
    nu32 = nu23 * e3 / e2 if nu32 is None else nu32
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -nu21 / e2, -nu31 / e3], [-nu12 / e1, 1 / e2, -nu32 / e3], [-nu13 / e1, -nu23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    return s


C6 = np.linalg.inv(compliance(*PLY))
Q = np.linalg.inv(compliance(*PLY)[np.ix_(PLANE, PLANE)])  # plane stress: the 11, 22, 12 compliance inverted


def test_stiffness_by_component_count():
    assert La.getnyestiffnessmatrix(PLY, 6)[0, 0] == pytest.approx(143008.7556381003, rel=1e-15)
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 6), C6, rtol=1e-13, atol=1e-9)
    assert La.getnyestiffnessmatrix(PLY, 3)[0, 0] == pytest.approx(140814.71370069688, rel=1e-14)
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 3), Q, rtol=1e-13, atol=1e-9)
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 4), C6[:4, :4], rtol=1e-13, atol=1e-9)
    plane = np.zeros((4, 4))
    plane[np.ix_(PLANE, PLANE)] = Q
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 4, psflag=0), plane, rtol=1e-13, atol=1e-9)
    plane6 = np.zeros((6, 6))
    plane6[np.ix_(PLANE, PLANE)], plane6[4, 4], plane6[5, 5] = Q, 4000, 3100
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 6, psflag=0), plane6, rtol=1e-13, atol=1e-9)
    np.testing.assert_allclose(La.getnyestiffnessmatrix(PLY, 3, psflag=1), C6[np.ix_(PLANE, PLANE)], rtol=1e-13)
    assert recorded()[0] == 0
    assert not La.getnyestiffnessmatrix(PLY, 5).any()
    assert recorded() == (-2, "Unsupported dimension in GetNyeStiffnessMatrix")


def test_stiffness_and_compliance_from_2_to_36_values():
    e1, e2, e3, nu12, nu13, nu23, g12, g13, g23 = PLY
    forms = {12: [e1, e2, e3, g12, g13, g23, nu12, nu13, nu23, 0.5, 0.5, 0.5],  # nu21 ... from symmetry
             21: C6[np.tril_indices(6)], 36: C6.ravel(order="F"), 9: PLY}
    for nprops, props in forms.items():
        np.testing.assert_allclose(La.getgeneralizednyeonaxissc(np.array(props, float), 6, 1), C6, rtol=1e-12,
                                   atol=1e-8, err_msg=str(nprops))
        np.testing.assert_allclose(La.getgeneralizednyeonaxissc(np.array(props, float), 6, 0), np.linalg.inv(C6),
                                   rtol=1e-11, atol=1e-18, err_msg=str(nprops))
    # Isotropic from two values, reduced to plane stress and inverted over 11, 22, 12 only.
    s = La.getgeneralizednyeonaxissc(np.array([1000.0, 0.25]), 4, 0, psflag=0)
    expected = np.zeros((4, 4))
    expected[np.ix_(PLANE, PLANE)] = [[1e-3, -2.5e-4, 0], [-2.5e-4, 1e-3, 0], [0, 0, 2.5e-3]]
    np.testing.assert_allclose(s, expected, rtol=1e-14, atol=1e-20)
    # Unsymmetric data kept or made symmetric.
    unsymmetric = np.array([e1, e2, e3, g12, g13, g23, nu12, nu13, nu23, 0.02, 0.02, 0.45])
    c = La.getgeneralizednyeonaxissc(unsymmetric, 6, 1, unsymm=True)
    assert (c[0, 1], c[1, 0]) == (pytest.approx(5204.460966542751, rel=1e-14), pytest.approx(5018.587360594795, rel=1e-14))
    np.testing.assert_allclose(c, np.linalg.inv(compliance(*PLY, nu21=0.02, nu31=0.02, nu32=0.45)), rtol=1e-13, atol=1e-9)
    skewed = C6.copy()
    skewed[0, 1] += 10.0
    np.testing.assert_allclose(La.getgeneralizednyeonaxissc(skewed.ravel(order="F"), 6, 1), (skewed + skewed.T) / 2)
    np.testing.assert_array_equal(La.getgeneralizednyeonaxissc(skewed.ravel(order="F"), 6, 1, unsymm=True), skewed)
    assert recorded()[0] == 0
    assert not La.getgeneralizednyeonaxissc(np.ones(7), 6, 1).any()
    assert recorded() == (-2, "Unsupported number of properties in GetGeneralizedNyeOnAxisSC")


def test_printed_stiffness(run_python):
    result = run_python("""
        import numpy as np, _kestro
        print("before", flush=False)
        _kestro.lamina.getgeneralizednyeonaxissc(np.array([1000.0, 0.25]), 3, 1, ldflag=True)
    """)
    lines = result.stdout.decode().splitlines()
    assert lines[0] == "before" and len(lines) == 4
    np.testing.assert_allclose([float(v) for v in lines[1].split()], [1066.6666666666667, 266.6666666666667, 0.0])


def test_rotation_matrices():
    theta = 0.3
    c, s = math.cos(theta), math.sin(theta)
    r = np.array([[c, s, 0], [-s, c, 0], [0, 0, 1]])
    pairs = [(0, 0), (1, 1), (2, 2), (0, 1), (0, 2), (1, 2)]
    strain = np.array([0.01, -0.02, 0.005, 0.03, -0.01, 0.02])  # engineering shears
    tensor = np.zeros((3, 3))
    for (i, j), v in zip(pairs, strain):
        tensor[i, j] = tensor[j, i] = v if i == j else v / 2
    turned = r @ tensor @ r.T
    expected = np.array([turned[i, j] * (1 if i == j else 2) for i, j in pairs])
    t_strain = La.getnyetransformationmatrix(theta, 6, 0, 1)
    t_stress = La.getnyetransformationmatrix(theta, 6, 1, 1)
    np.testing.assert_allclose(t_strain @ strain, expected, rtol=1e-14, atol=1e-17)
    np.testing.assert_allclose(t_strain.T @ t_stress, np.eye(6), atol=1e-15)
    np.testing.assert_allclose(La.getnyetransformationmatrix(theta, 6, 1, 0) @ t_stress, np.eye(6), atol=1e-15)
    np.testing.assert_array_equal(La.getnyetransformationmatrix(theta, 3, 0, 1), t_strain[np.ix_(PLANE, PLANE)])
    assert not La.getnyetransformationmatrix(theta, 4, 0, 1).any()
    assert recorded() == (-2, "Unsupported dimension in GetNyeTransformationMatrix")


def test_cyclic_notation():
    v = np.arange(1.0, 7.0)
    for direction in (2, -1, 5):
        np.testing.assert_array_equal(La.flipvoigtcyclicnotation(v, direction), [1, 2, 3, 6, 4, 5])
    np.testing.assert_array_equal(La.flipvoigtcyclicnotation(np.array([1.0, 2, 3, 6, 4, 5]), 1), v)
    m = np.arange(36.0).reshape(6, 6)
    order = [0, 1, 2, 5, 3, 4]
    np.testing.assert_array_equal(La.flipvoigtcyclicnotation(m, 2), m[np.ix_(order, order)])


def test_engineering_constants_of_a_compliance():
    voigt = [0, 1, 2, 5, 4, 3]
    s = np.linalg.inv(C6)[np.ix_(voigt, voigt)]
    np.testing.assert_allclose(La.getengconstsfromcompliancematrix(s),
                               [140000, 9000, 9000, 3100, 4000, 4600, 0.45, 0.3, 0.3], rtol=1e-12)
    with pytest.raises(_kestro.error):
        La.getengconstsfromcompliancematrix(np.eye(5))


def test_stress_update_and_energy():
    rng = np.random.default_rng(3)
    ddsdde, stress, stress0, strain0, dstrain = rng.normal(size=(6, 6)), *rng.normal(size=(4, 6))
    doubled = np.array([1, 1, 1, 2, 2, 2.0])
    for secant, tensor in ((False, False), (True, False), (False, True), (True, True)):
        e = (strain0 + dstrain if secant else dstrain) * (doubled if tensor else 1)
        expected = ddsdde @ e if secant else stress + ddsdde @ e
        np.testing.assert_allclose(La.getstressvector(stress, ddsdde, strain0, dstrain, 3, issekant=secant,
                                                      istensor=tensor), expected, rtol=1e-13)
        energy = 0.5 * stress @ e if secant else 1.5 + 0.5 * (stress + stress0) @ e
        assert La.getspecificstrainenergy(1.5, stress, stress0, strain0, dstrain, 3, issekant=secant,
                                          istensor=tensor) == pytest.approx(energy, rel=1e-13)
    # ndi outside 0..ntens: recorded, nothing changed.
    assert La.getspecificstrainenergy(1.5, stress, stress0, strain0, dstrain, 7) == 1.5
    np.testing.assert_array_equal(La.getstressvector(stress, ddsdde, strain0, dstrain, -1), stress)
    assert recorded() == (-2, "Unsupported dimension in GetSpecificStrainEnergy")
    with pytest.raises(_kestro.error):
        La.getstressvector(stress, ddsdde[:5, :5], strain0, dstrain, 3)


@pytest.mark.parametrize("stress, mises, pressure", [
    ([120, -40, 15, 30, -10, 5], 151.32745950421557, 95 / 3),
    ([100, 50, 20], 93.27379053088815, 50.0),          # plane stress 11, 22, 12
    ([100, 50, -30, 20], math.sqrt(0.5 * (50**2 + 80**2 + 130**2) + 3 * 400), 40.0),
])
def test_mises_pressure_and_flow(stress, mises, pressure):
    stress = np.array(stress, float)
    assert La.getmisesstress(stress) == pytest.approx(mises, rel=1e-15)
    assert La.gethydrostaticpressure(stress) == pytest.approx(pressure, rel=1e-15)
    directs = 2 if len(stress) == 3 else 3
    expected = np.concatenate([stress[:directs] - pressure, stress[directs:]]) / mises
    np.testing.assert_allclose(La.getmisesflow(stress), expected, rtol=1e-14)


def test_measures_of_unsupported_counts_and_zero_stress():
    assert np.isnan(La.getmisesflow(np.zeros(6))).all()
    for call, name in ((lambda: La.getmisesstress(np.ones(5)), "GetMisesStress"),
                       (lambda: La.gethydrostaticpressure(np.ones(2)), "GetHydrostaticPressure"),
                       (lambda: La.getmisesflow(np.ones(5)).any(), "GetMisesFlow")):
        assert call() == 0
        assert recorded() == (-2, f"Unsupported dimension in {name}")
        _kestro.errorhandling.rsxerr(1)


@pytest.mark.parametrize("strain, ndi, expected", [
    ([0.01, -0.003, -0.003, 0, 0, 0], 3, 0.008666666666666666),
    ([-0.01, 0.003, 0.003, 0, 0, 0], 3, -0.008666666666666666),
    ([0, 0, 0, 0.02, 0, 0], 3, 0.011547005383792516),
    ([0.01, -0.003, 0.02], 2, math.sqrt(2 / 9 * (0.013**2 + 0.003**2 + 0.01**2) + 0.02**2 / 3)),
])
def test_equivalent_strain(strain, ndi, expected):
    assert La.equivalentstrain(np.array(strain), ndi) == pytest.approx(expected, rel=1e-14)


def test_green_strain_and_fracture_plane_angle():
    f = np.array([[1.1, 0.2, 0.0], [0.05, 0.9, 0.1], [0.0, -0.1, 1.02]])
    np.testing.assert_allclose(La.getgreenstrain(f), 0.5 * (f.T @ f - np.eye(3)), rtol=1e-15, atol=1e-17)
    for phixy, clockwise, expected in ((53.0, True, 0.6457718232379019), (-90.0, True, math.pi),
                                       (53.0, False, -0.6457718232379019), (90.0, False, 0.0)):
        assert La.getphimeasuredfromxzplane(phixy, clockwise) == pytest.approx(expected, rel=1e-15, abs=1e-16)


@pytest.mark.parametrize("call", [
    lambda: La.getnyestiffnessmatrix(PLY[:8], 6),
    lambda: La.getstressvector(np.zeros(6), np.zeros((6, 6)), np.zeros(5), np.zeros(6), 3),
    lambda: La.getspecificstrainenergy(0.0, np.zeros(6), np.zeros(6), np.zeros(6), np.zeros(4), 3),
    lambda: La.getmisesflow(np.zeros(6), ntens=7),
    lambda: La.flipvoigtcyclicnotation(np.zeros((5, 5)), 1),
    lambda: La.getengconstsfromcompliancematrix(np.zeros((6, 5))),
    lambda: La.getgreenstrain(np.eye(2)),
    lambda: La.getgeneralizednyeonaxissc(PLY, 6, 1, nprops=12),
])
def test_wrong_shapes_are_refused(call):
    with pytest.raises(_kestro.error):
        call()


@pytest.mark.parametrize("ntens", [-1, -3, -2**31])
@pytest.mark.parametrize("call", [
    lambda n: La.getnyetransformationmatrix(0.3, n, 1, 1),
    lambda n: La.getnyestiffnessmatrix(PLY, n),
    lambda n: La.getgeneralizednyeonaxissc(PLY, n, 1),
])
def test_a_negative_dimension_is_unsupported(call, ntens):
    assert call(ntens).shape == (0, 0)
    assert recorded()[0] == -2


def test_the_compliance_of_a_zero_stiffness_is_singular():
    np.testing.assert_array_equal(La.getgeneralizednyeonaxissc(np.zeros(36), 6, 0), np.zeros((6, 6)))
    assert recorded() == (-2, "Matrix inverse becomes numerically singular!")


def test_the_stress_update_returns_a_copy_unless_overwritten():
    stress, ddsdde, strain = np.ones(3), 2.0 * np.eye(3), np.full(3, 0.5)
    updated = La.getstressvector(stress, ddsdde, strain, strain, 2)
    assert updated is not stress and stress.tolist() == [1.0, 1.0, 1.0] and updated.tolist() == [2.0, 2.0, 2.0]
    La.getstressvector(stress, ddsdde, strain, strain, 2, overwrite_stress=1)
    assert stress.tolist() == [2.0, 2.0, 2.0]


def test_compliance_of_constants_is_the_exact_closed_form():
    # 10,000 random valid plies: every entry of every layout is the exact
    # compliance (1/E, -nu/E, 1/G in rational arithmetic) correctly rounded.
    from fractions import Fraction
    rng = np.random.default_rng(3)
    layouts = {(6, None): [0, 1, 2, 3, 4, 5], (6, 0): [0, 1, None, 3, 4, 5], (4, None): [0, 1, 2, 3],
               (4, 0): [0, 1, None, 3], (3, None): [0, 1, 3], (3, 0): [0, 1, 3]}
    checked = 0
    while checked < 10000:
        ply = np.r_[rng.uniform(5e3, 3e5), rng.uniform(3e3, 3e4, 2), rng.uniform(0.05, 0.5, 3), rng.uniform(1e3, 1e4, 3)]
        e, nu, g = [Fraction(v) for v in ply[:3]], [Fraction(v) for v in ply[3:6]], [Fraction(v) for v in ply[6:]]
        s = [[Fraction(0)] * 6 for _ in range(6)]
        for i in range(3):
            s[i][i], s[i + 3][i + 3] = 1 / e[i], 1 / g[i]
        s[0][1] = s[1][0] = -nu[0] / e[0]
        s[0][2] = s[2][0] = -nu[1] / e[0]
        s[1][2] = s[2][1] = -nu[2] / e[1]
        det = (s[0][0] * (s[1][1] * s[2][2] - s[1][2] ** 2) - s[0][1] * (s[0][1] * s[2][2] - s[1][2] * s[0][2])
               + s[0][2] * (s[0][1] * s[1][2] - s[1][1] * s[0][2]))
        if det <= 0 or s[0][0] * s[1][1] <= s[0][1] ** 2:
            continue
        (n, psflag), rows = list(layouts.items())[checked % len(layouts)]
        exact = np.array([[0.0 if a is None or b is None else float(s[a][b]) for b in rows] for a in rows])
        np.testing.assert_array_equal(La.getgeneralizednyeonaxissc(ply, n, 0, psflag=psflag), exact)
        checked += 1
    assert recorded()[0] == 0


@pytest.mark.parametrize("ply", [
    [140000, 9000, 9000, 0.3, 0.3, 0.45, 0.0, 4000, 3100],     # no shear stiffness: its row stays empty
    [140000, 9000, 9000, 0.3, 0.3, 0.45, -4600, 4000, 3100],  # a negative modulus
    [1000, 1000, 1000, 0.5, 0.5, 0.5, 400, 400, 400],         # incompressible
    [0, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100],
    [np.nan, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100],
])
def test_compliance_of_invalid_constants_inverts_their_stiffness(ply):
    # Constants without a positive-definite stiffness: the compliance and its
    # record are those of the stiffness given as 36 values.
    stiffness = La.getnyestiffnessmatrix(np.array(ply, float), 6)
    _kestro.errorhandling.rsxerr(1)
    expected = La.getgeneralizednyeonaxissc(stiffness.ravel(order="F"), 6, 0)
    record = recorded()
    _kestro.errorhandling.rsxerr(1)
    np.testing.assert_array_equal(La.getgeneralizednyeonaxissc(np.array(ply, float), 6, 0), expected)
    assert recorded() == record
