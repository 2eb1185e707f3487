"""Numerical tangents of stress laws given as Python callables (forward
differences and complex step), the elastic laws with the law's argument list,
the hardening table and the Prony relaxation."""

import numpy as np
import pytest

import _kestro
from conftest import recorded

E = _kestro.elasticity
La = _kestro.lamina
PLY = np.array([140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100.0])
C = La.getnyestiffnessmatrix(PLY, 6)
STRAIN = np.array([1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4])
NO_PROPS = np.zeros(1)


def tangent(law, strain=STRAIN, ndi=3, istensor=False, **kwargs):
    stress1 = law(strain.astype(complex)).real if kwargs.get("nmflag") == 1 else law(strain)
    return E.getnumericaltangent(law, NO_PROPS, stress1, stress1, strain, ndi, istensor, **kwargs)


def relative(a, b):
    return np.abs(a - b).max() / np.abs(b).max()


def test_linear_laws():
    calls = []

    def law(strain, props=NO_PROPS, ntens=6, ndi=3, nprops=1):
        calls.append((strain.dtype, ntens, ndi, nprops))
        return C @ strain

    assert relative(tangent(law), C) < 1e-7
    assert calls[1:] == [(np.float64, 6, 3, 1)] * 6  # one call per component
    assert relative(tangent(law, nmflag=1), C) < 1e-13
    assert calls[-1][0] == np.complex128
    # A law in tensor shears: its shear columns count twice.
    tensorial = lambda strain: C @ (strain * np.array([1, 1, 1, 2, 2, 2]))
    assert relative(tangent(tensorial, istensor=True), C) < 1e-7
    assert relative(tangent(tensorial, istensor=True, nmflag=1), C) < 1e-13
    # The step is the caller's.
    assert relative(tangent(law, h=1e-4), C) < 1e-7


def test_nonlinear_law():
    law = lambda strain: 1000 * strain + 1e9 * strain**3
    expected = np.diag(1000 + 3e9 * STRAIN**2)
    assert relative(tangent(law, nmflag=1), expected) < 1e-12
    assert relative(tangent(law), expected) < 1e-3


def test_refused_tangents_do_not_call_the_law():
    law = lambda strain: pytest.fail("the law was called")
    s = np.zeros(7)
    assert not E.getnumericaltangent(law, NO_PROPS, s, s, s, 3, False).any()
    assert recorded() == (-2, "Unsupported dimension in getnumericaltangent")
    _kestro.errorhandling.rsxerr(1)
    assert not tangent(lambda strain: C @ strain, nmflag=2).any()
    assert recorded() == (-2, "Unsupported method flag in getnumericaltangent")


@pytest.mark.parametrize("law, error", [
    (lambda strain: 1 / 0, ZeroDivisionError),
    (lambda strain: np.zeros(5), _kestro.error),
    (lambda strain: (strain, strain), _kestro.error),
])
def test_a_failing_law_stops_the_tangent(law, error):
    with pytest.raises(error):
        E.getnumericaltangent(law, NO_PROPS, np.zeros(6), np.zeros(6), STRAIN, 3, False)


@pytest.mark.parametrize("call", [
    lambda: E.getnumericaltangent(3.0, NO_PROPS, np.zeros(6), np.zeros(6), STRAIN, 3, False),
    lambda: E.getnumericaltangent(lambda s: s, NO_PROPS, np.zeros(6), np.zeros(6), STRAIN[:5], 3, False),
    lambda: E.getnumericaltangent(lambda s: s, NO_PROPS, np.zeros(6), np.zeros(6), STRAIN, 3, False, nprops=2),
    lambda: La.getstressfromorthotropicelasticity(STRAIN, np.zeros(12), 3, nprops=13),
    lambda: La.gethardeningfromtable(0.1, np.zeros((1, 3))),
])
def test_bad_arguments_are_refused(call):
    with pytest.raises(_kestro.error):
        call()


def test_elastic_laws():
    e1, e2, e3, nu12, nu13, nu23, g12, g13, g23 = PLY
    twelve = np.array([e1, e2, e3, g12, g13, g23, nu12, nu13, nu23, 0.0, 0.0, 0.0])
    np.testing.assert_allclose(La.getstressfromorthotropicelasticity(STRAIN, twelve, 3), C @ STRAIN, rtol=1e-13)
    plane = La.getnyestiffnessmatrix(PLY, 3)
    np.testing.assert_allclose(La.getstressfromorthotropicelasticity(STRAIN[:3], twelve, 2), plane @ STRAIN[:3],
                               rtol=1e-13)
    complex_strain = STRAIN + 1j * np.arange(6)
    np.testing.assert_allclose(La.cgetstressfromanisotropichyperelasticity(complex_strain, C.ravel(order="F"), 3),
                               C @ complex_strain, rtol=1e-14)
    assert recorded()[0] == 0
    for call, name in ((lambda: La.getstressfromorthotropicelasticity(STRAIN, twelve[:11], 3),
                        "GetStressFromOrthotropicElasticity"),
                       (lambda: La.cgetstressfromanisotropichyperelasticity(complex_strain, np.ones(35), 3),
                        "cGetStressFromAnisotropicHyperelasticity")):
        assert not call().any()
        assert recorded() == (-2, f"Unsupported number of properties in {name}")
        _kestro.errorhandling.rsxerr(1)


@pytest.mark.parametrize("table, eqplas, expected", [
    ([[100, 150, 170], [0, 0.1, 0.3]], 0.05, (125, 500)),   # the slope of the segment
    ([[100, 150, 170], [0, 0.1, 0.3]], 0.1, (150, 100)),    # at a row, the segment above
    ([[100, 150, 170], [0, 0.1, 0.3]], 0.4, (170, 0)),
    ([[100, 150, 170], [0, 0.1, 0.3]], -0.1, (50, 500)),    # linear below the first row
    ([[100, 120, 140, 160], [0.0, 0.1, 0.2, 0.3]], 0.17, (134, 200)),      # a straight table: its slope
    ([[100], [0.2]], 0.0, (100, 0)),
])
def test_hardening_table(table, eqplas, expected):
    assert La.gethardeningfromtable(eqplas, np.array(table, float)) == pytest.approx(expected, rel=1e-13)


def test_hardening_table_without_rows_and_relaxation():
    assert La.gethardeningfromtable(0.1, np.ones((2, 3)), nvalue=0) == (0.0, 0.0)
    assert recorded() == (-2, "Unsupported number of table rows in GetHardeningFromTable")
    assert La.relaxation(1, 2, 1, 1, 10, 0.5, 0.1) == 0.8333333333333334
    assert La.relaxation(0.7, 2, 3, 0, 10, 0.5, 0.1) == pytest.approx(0.7, rel=1e-15)
