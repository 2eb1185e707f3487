"""Resin constants from temperature blocks, the calibration tables of module
materialdata, the isotropic, split and cubic resin laws and the paraboloidal
plasticity law with its tangent."""

import numpy as np
import pytest
from scipy.interpolate import PchipInterpolator

import _kestro
from conftest import recorded

La, El, M = _kestro.lamina, _kestro.elasticity, _kestro.materialdata
R = [20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1]
HOT = [80, 2000, 0.4, 0.6, 2, 0.2, 40, 90, 3, 2, -0.2]
ISO = np.array([3000, 0, 0.35, 0, 0, 0, 0, 0.0])
UNIAXIAL = np.array([0.01, -0.0035, -0.0035, 0, 0, 0])
G = 3000 / 2.7
PLASTIC = np.array([3000, 0, 0, 0.35, 0, 5000, 50, 0.0])  # et, ec, g, nut, nuc, a0, a1, alpha


def table(*rows):
    """A calibration table (rows, points, 2), short rows padded with (0, 0)."""
    t = np.zeros((len(rows), max(len(r) for r in rows), 2))
    for k, row in enumerate(rows):
        t[k, :len(row)] = row
    return t


@pytest.mark.parametrize("props, temp, expected", [
    (R + HOT, 50, np.add(R[1:], HOT[1:]) / 2),
    (R + HOT, 100, HOT[1:]),
    (R + HOT, 0, R[1:]),
    (R + [20] + HOT[1:], 50, R[1:]),   # equal block temperatures
    (R + HOT[:10], 50, R[1:]),         # 21 entries: one block
    (R, 500, R[1:]),
])
def test_resin_constants_follow_the_temperature_blocks(props, temp, expected):
    np.testing.assert_allclose(La.getresinproperties(props, temp, 1), expected, rtol=1e-15)


def test_plastic_constants_come_in_blocks_of_fifteen():
    cold, hot = np.arange(1.0, 16.0), np.arange(1.0, 16.0) * 3 + 60
    cold[0], hot[0] = 20, 80
    np.testing.assert_allclose(La.getresinplasticproperties(np.r_[cold, hot], 35, 0.7), cold[1:] * 0.75 + hot[1:] * 0.25)
    np.testing.assert_array_equal(La.getresinplasticproperties(cold, 35, 0.7), cold[1:])


@pytest.mark.parametrize("call, count, routine", [
    (lambda: La.getresinproperties(R[:10], 20, 1), 10, "GetResinProperties"),
    (lambda: La.getresinplasticproperties(np.ones(14), 20, 0), 14, "GetResinPlasticProperties"),
    (lambda: La.getresinorthotropicproperties(R[:10], 20, 0, np.zeros(6), np.zeros(6), *[1] * 6, 1, 0), 12,
     "GetResinOrthotropicProperties"),
])
def test_too_few_properties_give_zeros(call, count, routine):
    assert call() == (0.0,) * count
    assert recorded() == (-2, "Warning: Too few properties in " + routine)


SECANT = table([(0, 3000), (0.02, 2000), (0, 0)], [(0, 1500), (0.02, 1000)])


@pytest.mark.parametrize("secant, temperatures, x, temp, expected", [
    (SECANT[:1], None, 0.009, 20, 2550),
    (SECANT[:1], None, 0.05, 20, 2000),
    (SECANT[:1], None, -0.01, 20, 3000),
    (SECANT, None, 0.009, 80, 2550),       # row 1 without temperatures
    (SECANT, [20, 80], 0.009, 50, 1912.5),
    (SECANT, [20, 80], 0.009, 100, 1275),
    (SECANT, [20, 80], 0.009, -5, 2550),
    (table([(0.01, 1234)]), None, 0.5, 20, 1234),
    (table([(0, 0), (0, 0)]), None, 0.5, 20, 0),
    (None, None, 0.5, 20, 0),
])
def test_secant_modulus_by_the_table_rule(secant, temperatures, x, temp, expected):
    M.secantprops, M.temperatures = secant, temperatures
    assert La.getmodulusfromtable(x, temp) == pytest.approx(expected, rel=1e-14)


def test_longer_rows_take_the_monotone_cubic_of_their_points():
    x, y = np.array([0, 0.01, 0.02, 0.05]), np.array([3000, 2900, 2500, 2400.0])
    M.secantprops = table(np.c_[x, y], np.c_[x, y / 2][:3])
    M.temperatures = [20, 60, 90]
    for p in (0.004, 0.013, 0.03):
        assert La.getmodulusfromtable(p, 30) == pytest.approx(PchipInterpolator(x, y)(p) * 0.75
                                                              + PchipInterpolator(x[:3], y[:3] / 2)(min(p, 0.02)) * 0.25)


def test_a_row_whose_strains_do_not_ascend_ends_the_process(run_python):
    result = run_python("""
        import _kestro
        _kestro.materialdata.secantprops = [[[0.02, 2000], [0.0, 3000]]]
        _kestro.lamina.getmodulusfromtable(0.01, 20)
        print("not reached")
    """)
    assert result.returncode == 1 and b"X-ARRAY NOT STRICTLY INCREASING" in result.stdout
    assert b"not reached" not in result.stdout


@pytest.mark.parametrize("tables, moduli", [
    ((table([(0, 3200), (0.01, 2400)]), table([(0, 1150), (0.01, 900)])), (2880, 3200, 3160, 1100, 1150, 1125)),
    ((None, None), (3000, 3000, 3000) + (3000 / 2.7,) * 3),
])
def test_orthotropic_resin_moduli_follow_the_end_strain(tables, moduli):
    M.normalprops, M.shearprops = tables
    out = La.getresinorthotropicproperties(R, 20, 0.1, np.ones(6), [0.004, -0.001, 0.0005, 0.002, 0, -0.001],
                                           1, 2, 3, 4, 5, 6, 1, 0)
    e, nu = moduli[:3], 0.35
    np.testing.assert_allclose(out[:3] + out[9:], moduli, rtol=1e-14)
    np.testing.assert_allclose(out[3:9], [nu, nu, nu, nu * e[1] / e[0], nu * e[2] / e[0], nu * e[2] / e[1]])


def isotropic(ntens, e=3000.0, nu=0.35):
    g = e / (2 * (1 + nu))
    return La.getnyestiffnessmatrix([e, e, e, nu, nu, nu, g, g, g], ntens)


@pytest.mark.parametrize("strain, stress", [
    (UNIAXIAL, [30, 0, 0, 0, 0, 0]),
    (UNIAXIAL[[0, 1, 2, 3]], [30, 0, 0, 0]),
    (UNIAXIAL[[0, 1, 3]], [30, 0, 0]),
    (np.array([0, 0, 0, 0.01, -0.02, 0.03]), np.array([0, 0, 0, 0.01, -0.02, 0.03]) * G),
])
def test_isotropic_and_split_laws(strain, stress):
    n = len(strain)
    np.testing.assert_allclose(La.getstressfromisotropicviscoelasticity(strain, ISO, n // 2), stress, atol=1e-12)
    split, tangent = La.getstressfromdevvoldecomposition(strain, ISO[:5], n // 2)
    np.testing.assert_allclose(split, stress, atol=1e-12)
    np.testing.assert_allclose(tangent, isotropic(n), rtol=1e-14)


def test_cubic_law_from_the_alpha_tables():
    M.alpha1props, M.alpha2props, M.alpha3props = table([(0, 5000), (0.02, 4000)]), table([(0, 2000)]), table([(0, 1500)])
    strain = np.array([0.01, -0.0035, -0.0035, 0.002, 0, 0])
    stress, c = La.getstressfromcubicelasticity(strain, [20, 0.5], 3, 1)
    np.testing.assert_allclose(stress, [15.731557068530634, -1.4560449739857217, -1.4560449739857217, 1.5, 0, 0],
                               rtol=1e-13, atol=1e-15)
    eq = np.sqrt(2 / 9 * 2 * 0.0135**2 + 0.002**2 / 3)
    expected = np.full((3, 3), 1000.0) + np.eye(3) * (0.5 * (5000 - 1000 * eq / 0.02) - 1000)
    np.testing.assert_allclose(c, np.block([[expected, np.zeros((3, 3))], [np.zeros((3, 3)), 750 * np.eye(3)]]))


@pytest.mark.parametrize("call, outputs, message", [
    (lambda: La.getstressfromisotropicviscoelasticity(np.ones(5), ISO, 3), 1,
     "Unsupported dimension in GetStressFromIsotropicViscoElasticity"),
    (lambda: La.getstressfromdevvoldecomposition(np.ones(2), ISO, 1), 2,
     "Unsupported dimension in GetStressFromDevVolDecomposition"),
    (lambda: La.getstressfromcubicelasticity(np.ones(5), [20, 1], 3, 1), 2,
     "Unsupported dimension in GetStressFromCubicElasticity"),
    (lambda: El.getstressfromplastitcity(np.ones(4), np.ones(4), PLASTIC, 3, 20), 3,
     "Unsupported dimension in getstressfromplastitcity"),
    (lambda: La.getstressfromisotropicviscoelasticity(np.ones(6), ISO[:2], 3), 1,
     "Unsupported number of properties in GetStressFromIsotropicViscoElasticity"),
    (lambda: La.getstressfromcubicelasticity(np.ones(6), [20], 3, 1), 2,
     "Unsupported number of properties in GetStressFromCubicElasticity"),
    (lambda: El.getstressfromplastitcity(np.ones(6), np.ones(6), PLASTIC[:7], 3, 20), 3,
     "Unsupported number of properties in getstressfromplastitcity"),
])
def test_refused_laws_give_zeros(call, outputs, message):
    result = call()
    for out in result if outputs > 1 else [result]:
        assert not np.any(out)
    assert recorded() == (-2, message)


@pytest.mark.parametrize("call", [
    lambda: La.getstressfromisotropicviscoelasticity(np.ones(5), ISO, 3, ntens=6),
    lambda: La.getstressfromdevvoldecomposition(np.ones(6), ISO, 3, nprops=9),
    lambda: La.getresinproperties(R, 20, 1, nprops=12),
    lambda: La.getresinorthotropicproperties(R, 20, 0, np.zeros(5), np.zeros(6), *[1] * 6, 1, 0),
    lambda: El.getstressfromplastitcity(np.ones(6), np.ones(5), PLASTIC, 3, 20),
])
def test_arrays_shorter_than_their_counts_raise(call):
    with pytest.raises(_kestro.error):
        call()


def plasticity(strain, props=PLASTIC):
    return El.getstressfromplastitcity(np.zeros(6), np.asarray(strain, float), props, 3, 20)


def test_pure_shear_yields_at_the_paraboloid(capfd):
    stress, eqplastic, _ = plasticity([0, 0, 0, 0.1, 0, 0])
    np.testing.assert_allclose(stress, [0, 0, 0, 40.824829046386306, 0, 0], rtol=1e-10, atol=1e-10)
    assert eqplastic == pytest.approx((0.1 - stress[3] / G) / np.sqrt(3), rel=1e-10)
    assert capfd.readouterr().out.count("Plasticity pass") >= 2  # a line per Newton pass
    stress, eqplastic, ddsdde = plasticity([0, 0, 0, 0.01, 0, 0])
    np.testing.assert_allclose(stress, [0, 0, 0, 0.01 * G, 0, 0], atol=1e-12)
    assert eqplastic == 0 and np.allclose(ddsdde, isotropic(6)) and capfd.readouterr().out == ""


@pytest.mark.parametrize("strain, alpha", [
    ([0, 0, 0, 0.1, 0, 0], 0),
    ([0.03, -0.004, 0.002, 0.01, -0.02, 0.005], 0),
    ([0.03, -0.004, 0.002, 0.01, -0.02, 0.005], 0.6),
    ([-0.05, 0.01, 0.02, 0, 0.03, 0], 2.0),
    ([0.5, 0.5, 0.5, 0.001, 0, 0], 0),        # beyond the apex: no deviator left
    ([0.5, 0.5, 0.5, 0.001, 0, 0], 0.4),
])
def test_plastic_tangent_is_the_derivative_of_the_law(strain, alpha):
    props = PLASTIC.copy()
    props[7] = alpha
    stress, eqplastic, ddsdde = plasticity(strain, props)
    h, numeric = 1e-7, np.empty((6, 6))
    for j in range(6):
        step = np.eye(6)[j] * h
        numeric[:, j] = (plasticity(strain + step, props)[0] - plasticity(strain - step, props)[0]) / (2 * h)
    assert np.abs(ddsdde - numeric).max() <= 1e-5 * np.abs(numeric).max()
    # Plastic strain = strain - C^-1 stress: its equivalent is the law's.
    plastic = np.asarray(strain) - np.linalg.solve(isotropic(6), stress)
    plastic[3:] /= 2
    assert eqplastic == pytest.approx(np.sqrt(2 / 3 * (plastic @ plastic + plastic[3:] @ plastic[3:])), rel=1e-9)
