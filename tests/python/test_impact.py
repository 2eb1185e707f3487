"""Impact contact laws and permanent indentation: Hertz contact in closed
form, the stiffness flags on one parameter vector, the contact-force residual
(also from a sample table), the nearest-element bookkeeping, and parameter
vectors too short for their flag."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

I = _kestro.interaction
P = _kestro.permcollection
HUGE = 1.7976931348623157e308
ARGS = np.array([8, 2.5, 210000, 0.3, 0.0625, 0, 9000, 0.45, 1.5, 2000, 0.8, 0.2, 500.0])
LAW = [2e5, 0.01, 1e-6, 0, 2e-6, 1.5, 0.001]


def test_hertz_contact():
    force, modulus, radius = 1500.0, 8000.0, 8.0
    a = I.contactradius([force, modulus, radius], 0)
    assert a == 1.040041911525952 and a == pytest.approx((3 * force * radius / (4 * modulus)) ** (1 / 3), rel=1e-15)
    depth = I.contactdepth([force, radius, modulus], 0)
    assert depth == 0.13521089721631954 and depth == pytest.approx(a * a / radius, rel=1e-15)
    assert I.contactradius([force, modulus, radius], 4) == a  # flags 0 to 4: the cube-root law
    assert I.contactradius([force, modulus, radius, 2.0], 5) == pytest.approx(math.sqrt(4 * force * radius /
                                                                                        (math.pi * 2 * modulus)))
    assert I.contactdepth([force, radius, modulus], 1) == force / (2 * radius * modulus)
    assert I.contactdepth([0, 0, 0, 3.0], 2) == math.pi * 1.5
    for call in (lambda: I.contactradius([1, 1, 1], 7), lambda: I.contactradius([1, 1, 1], -1),
                 lambda: I.contactdepth([1, 1, 1], 3)):
        assert call() == HUGE
    # Flag 0 with a rigid-free body pair: eeff 0.5, k = (4/3) 0.5 sqrt(10); a(5) = 0 gives (4/3) E* sqrt(R).
    k, eeff = I.contactstiffness([10, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0], 0)
    assert (k, eeff) == (pytest.approx(2.1081851067789197, rel=1e-15), 0.5)
    assert recorded()[0] == 0


@pytest.mark.parametrize("flag, k, eeff", [
    (0, 33129.483468143495, None), (1, 26672.582214727656, None), (2, 4303.314829119351, 0.0),
    (3, 124999.99999999997, None), (6, 26604.39643908473, None),
])
def test_stiffness_flags(flag, k, eeff):
    got_k, got_eeff = I.contactstiffness(ARGS, flag)
    assert got_k == pytest.approx(k, rel=1e-14)
    if eeff is not None:
        assert got_eeff == eeff


@pytest.mark.parametrize("flag, message", [
    (4, "Goldsmith is not implemented so far."), (5, "Goldsmith + Sun et. al is not implemented so far."),
    (7, "Unknown contact stiffness flag"), (-1, "Unknown contact stiffness flag"),
])
def test_stiffness_flags_without_a_law(flag, message):
    assert I.contactstiffness(ARGS, flag) == (0.0, 0.0)
    assert recorded() == (-3, message)
    assert _kestro.errorhandling.errstring.tobytes().decode() == message.ljust(80)


def test_contact_law():
    fx, dfx = I.contactlaw(1000.0, LAW, 0)
    assert (fx, dfx) == (-907.0483996910219, -1.0697137002317336)
    assert I.contactlaw(1000.0, LAW, 2) == (fx, dfx)
    # Beyond the free position (d < 0) with n = 1.5: NaN replaced.
    assert I.contactlaw(1e5, LAW, 0) == (0.0, -1.0)
    # Stiffness from five samples: the monotone cubic through them at 1200.
    samples = LAW + [0, 500, 1000, 1500, 2000, 1e5, 1.5e5, 3e5, 3.2e5, 3.3e5]
    k = _kestro.math.cubichermitianinterpolation([0, 500, 1000, 1500, 2000], [1e5, 1.5e5, 3e5, 3.2e5, 3.3e5],
                                                   [1200.0])[0]
    assert k == pytest.approx(310842.3529411765, rel=1e-14)
    assert I.contactlaw(1200.0, samples, 1) == pytest.approx(I.contactlaw(1200.0, [k] + LAW[1:], 0), rel=1e-14)
    # 107 values: 50 samples, here of a constant stiffness.
    table = LAW + list(np.linspace(0, 5000, 50)) + [3e5] * 50
    assert I.contactlaw(1000.0, table, 1) == pytest.approx(I.contactlaw(1000.0, [3e5] + LAW[1:], 0), rel=1e-14)
    assert recorded()[0] == 0
    for flag in (3, -1):  # compared unsigned: negative flags are unknown too
        assert I.contactlaw(1000.0, LAW, flag) == (0.0, 0.0)
        assert recorded() == (-3, "Unknown contact law flag")
        _kestro.errorhandling.rsxerr(1)


@pytest.mark.parametrize("call, result, routine", [
    (lambda: I.contactstiffness(ARGS[:11], 0), (0.0, 0.0), "ContactStiffness"),
    (lambda: I.contactstiffness(ARGS[:12], 6), (0.0, 0.0), "ContactStiffness"),
    (lambda: I.contactradius([1.0, 2.0], 0), HUGE, "ContactRadius"),
    (lambda: I.contactradius([1.0, 2.0, 3.0], 5), HUGE, "ContactRadius"),
    (lambda: I.contactdepth([1.0, 2.0, 3.0], 2), HUGE, "ContactDepth"),
    (lambda: I.contactlaw(1000.0, LAW[:6], 0), (0.0, 0.0), "ContactLaw"),
])
def test_too_few_arguments(call, result, routine):
    assert call() == result
    assert recorded() == (-2, f"Warning: Too few arguments in {routine}.")


def test_bad_python_arguments():
    for call in (lambda: I.contactlaw(1.0, LAW, 0, numargs=8), lambda: I.contactarea(np.zeros((11, 2)), [0, 0, 0], 1),
                 lambda: I.contactarea(np.zeros((12, 2)), [0, 0, 0], 1, elemlength=[1.0, 2.0])):
        with pytest.raises(_kestro.error):
            call()


def test_nearest_element():
    dprops = np.zeros((12, 2), order="F")
    dprops[1:4, 0] = (0, 0, 1)
    dprops[1:4, 1] = (3, 4, 0)
    I.contactarea(dprops, [0, 0, 0], 7)  # first distances: stored, no element
    np.testing.assert_array_equal(dprops[5], [1, 5])
    assert not dprops[[4, 7, 8, 9, 10]].any()
    I.contactarea(dprops, [0, 0, 0.5], 8, elemlength=[2.0, 0.0, 9.0])  # nearer to impactor 1 only
    np.testing.assert_array_equal(dprops[:, 0], [0, 0, 0, 1, 8, 0.5, 0, 1, 1, 1, 1, 0])
    assert (dprops[4, 1], dprops[5, 1]) == (0, 5)  # sqrt(25.25) is farther: kept
    I.contactarea(dprops, [3, 4, 0.1], 9)  # without lengths: the element only
    np.testing.assert_array_equal(dprops[[4, 5, 7, 8], 1], [9, 0.1, 0, 0])


def test_permanent_indentation_and_hugoniot_limit():
    assert P.pitansunnonlinear(2, 1) == 0.484283433489602
    assert P.pitansunnonlinear(1, 2) == 0.0
    assert (P.pitansunlinear(3, 1, 0.5), P.pitansunlinear(1, 3, 0.5)) == (1.0, 0.0)
    assert P.piairbus(1, 1000) == pytest.approx(0.9, rel=1e-15)
    for args, expected in (((2, 1, 0.25, True, True), (0.33299999999999996, 1.0)),
                           ((2, 1, 0.25, True, False), (0.0, 0.0)), ((1, 2, 0.25, True, True), (0.0, 0.0)),
                           ((2, 1, 0.25, False, True), (0.75, -1.0)), ((2, 1, 0.25, False, False), (0.0, -1.0))):
        assert P.pisuresh(*args) == expected
    assert I.gethugonoitelasticlimit(100, 0.25) == 300.0
