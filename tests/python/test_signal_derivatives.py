"""Numerical derivatives, quadrature and signal shaping through _kestro: the
Python forms, the running state they hand back, and their refusals."""

import math
from fractions import Fraction
from math import comb

import numpy as np
import pytest

import _kestro

m = _kestro.math
s = _kestro.signalprocessing


@pytest.mark.parametrize("call,expected", [
    (lambda: m.pascaltriangle(34, 17), 2333606220.0),
    (lambda: m.complexstepderivative([9 + 6e-20j], [3 + 1e-20j]), [6.0]),
    (lambda: m.centralstepderivative([0, 1, 9], [0, 1, 3]), [1, 3, 4]),
    (lambda: m.gradient([[2, 4], [6, 8]], [2, 4]), [[1, 1], [3, 2]]),
    (lambda: m.trapezoidintegration([0, 1, 3], [0, 2, 2]), 5.0),
    (lambda: m.trapezoidintegration(np.arange(6.0)[::2], [1, 5, 9]), 20.0),  # a strided x
    (lambda: m.shoelacemethod([0, 1, 1, 0], [0, 0, 1, 1]), 1.0),
    (lambda: s.real_limit(2, 5, 3), 5.0),
    (lambda: s.mod_limit(-1, 12), 11),
    (lambda: s.generalsmoothstep(0.25, 2), 0.103515625),
    (lambda: s.logistic(0.0, 2.0, 0.0), 0.5),
    (lambda: s.generalizedmean([1, 4], -1), 1.6),
    (lambda: s.generalizedmean([1, 4], 1, wi=[1, 1]), 5.0),
    (lambda: s.cumulativemovingaverage(2.0, 5.0, 3), 2.75),
])
def test_values(call, expected):
    np.testing.assert_allclose(call(), expected, rtol=1e-15)


def test_running_state_comes_back_to_the_caller():
    a, denom, averages = np.zeros(3), 0, []
    for value in (1, 2, 3, 4):
        sma, a, denom = s.weightedmovingaverage(value, a, denom)
        averages.append(sma)
    assert averages == [1, 1.5, 2, 3] and denom == 3
    np.testing.assert_array_equal(a, [2, 3, 4])
    maxtab, mintab, nmax, nmin = s.getpeaks([0, 1, 0, 2, 0], 0.5)
    assert (nmax, nmin) == (2, 1)
    np.testing.assert_array_equal(maxtab[:2], [[2, 1], [4, 2]])
    np.testing.assert_array_equal(mintab[:1], [[3, 0]])


@pytest.mark.parametrize("call", [
    lambda: m.pascaltriangle(62, 28),
    lambda: m.centralstepderivative([1.0], [1.0]),
    lambda: m.centralstepderivative([1.0, 2.0], [1.0]),
    lambda: m.trapezoidintegration([0.0, 1.0], [1.0]),
    lambda: m.gradient(np.ones((2, 2)), [1.0]),
    lambda: s.weightedmovingaverage(1.0, np.zeros(0), 0),
    lambda: s.weightedmovingaverage(1.0, np.zeros(3), 4),
    lambda: s.weightedmovingaverage(1.0, np.zeros(3), -1),
    lambda: s.weightedmovingaverage(1.0, np.zeros(3), 0, wb=4),
    lambda: s.generalizedmean([1.0, 2.0], 1.0, n=3),
    lambda: s.getpeaks([1.0, 2.0], 0.5, x=[1.0]),
])
def test_bad_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()


def smooth_step_exactly(x, n):
    """The defining sum of C(-n-1, k) C(2n+1, n-k) t^(n+k+1) in exact fractions."""
    t = min(max(Fraction(x), Fraction(0)), Fraction(1))
    p, q = t.numerator, t.denominator
    total, power = 0, 1  # sum_k c_k p^k q^(n-k), by Horner's rule from k = n down
    for k in range(n, -1, -1):
        total, power = total * p + (-1) ** k * comb(n + k, k) * comb(2 * n + 1, n - k) * power, power * q
    return float(Fraction(p ** (n + 1) * total, q ** (2 * n + 1)))


@pytest.mark.parametrize("x", [0.1, 0.5, 0.7, 0.99])
def test_the_smooth_step_agrees_with_its_exact_sum(x):
    values = [s.generalsmoothstep(x, n) for n in range(201)]
    assert all(0.0 <= v <= 1.0 for v in values)
    np.testing.assert_allclose(values, [smooth_step_exactly(x, n) for n in range(201)], rtol=0, atol=1e-12)


def test_the_smooth_step_of_a_large_order():
    n = 2**31 - 1
    assert s.generalsmoothstep(0.5, n) == 0.5
    assert (s.generalsmoothstep(0.7, n), s.generalsmoothstep(0.3, n)) == (1.0, 0.0)
    # Near 1/2 the step is the normal integral of sqrt(2n) (2x - 1): erf(1) / 2 + 1/2 at sqrt(2n) u = sqrt(2).
    u = 1.0 / math.sqrt(n)
    assert s.generalsmoothstep(0.5 + u / 2, n) == pytest.approx(0.5 + 0.5 * math.erf(1.0), abs=1e-6)
