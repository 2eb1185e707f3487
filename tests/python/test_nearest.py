"""Positive-definite repairs of module math: projection, nearest positive-definite
and correlation matrices, shrinkage, distance and the definiteness test."""

import numpy as np
import pytest

import _kestro

m = _kestro.math
eh = _kestro.errorhandling
NAN, INF = np.nan, np.inf
EXAMPLE = np.array([[1.0, 1.0, 0.0], [1.0, 1.0, 1.0], [0.0, 1.0, 1.0]])


def recorded():
    return eh.errstat, bytes(eh.errstring).decode().rstrip(" \0")


def factorizable(a):
    try:
        np.linalg.cholesky(a)
        return True
    except np.linalg.LinAlgError:
        return False


def random_symmetric(n, seed):
    a = np.random.default_rng(seed).standard_normal((n, n))
    return a + a.T


def test_projection_removes_negative_eigenvalues():
    np.testing.assert_allclose(m.getprojectedspd([[1, 2], [2, 1]]), np.full((2, 2), 1.5), rtol=1e-15)
    a = np.random.default_rng(4).standard_normal((7, 7))
    lam, q = np.linalg.eigh((a + a.T) / 2)
    np.testing.assert_allclose(m.getprojectedspd(a), q @ np.diag(np.maximum(lam, 0)) @ q.T, atol=1e-13)


@pytest.mark.parametrize("n,seed", [(2, 0), (6, 1), (6, 2), (9, 3), (30, 4)])
def test_nearest_spd_is_factorizable_and_close(n, seed):
    a = random_symmetric(n, seed)
    pd = m.getnearestspd(a)
    np.testing.assert_array_equal(pd, pd.T)
    assert factorizable(pd)
    assert np.linalg.norm(pd - a) <= np.linalg.norm(m.getprojectedspd(a) - a) + 1e-8
    assert m.getnearestpdnorm(a) == pytest.approx(np.linalg.norm(pd - a), rel=1e-14)
    assert recorded()[0] == 0


def test_nearest_spd_keeps_a_positive_definite_matrix():
    b = np.random.default_rng(5).standard_normal((5, 5))
    a = b @ b.T + np.eye(5)
    np.testing.assert_allclose(m.getnearestspd(a), a, rtol=1e-13, atol=1e-13)
    assert m.getnearestpdnorm(a) == 0.0
    near = m.getnearestspd([[1, 2], [2, 1]])
    np.testing.assert_allclose(near, np.full((2, 2), 1.5), atol=1e-13)
    assert factorizable(near)


def test_nearest_correlation_matrix_of_the_classic_example():
    corr = m.getnearestcorrelationmatrix(EXAMPLE, tol=1e-8)
    np.testing.assert_allclose(corr[[0, 1, 0], [1, 2, 2]], [0.7607, 0.7607, 0.1573], atol=1e-4)
    np.testing.assert_allclose(np.diag(corr), 1.0, atol=1e-7)
    np.testing.assert_allclose(corr, corr.T, atol=1e-15)
    assert np.linalg.eigvalsh(corr).min() > 0


@pytest.mark.parametrize("a,kwargs,expected", [
    ([[1, 0.5], [0.5, 1]], {}, [[1, 0.5], [0.5, 1]]),
    (np.eye(3), {"cflag": 1}, np.eye(3)),
    (np.eye(3), {"cflag": 2}, np.eye(3)),
    (np.eye(3), {"cflag": -4}, np.eye(3)),
    ([[1, 2], [2, 1]], {"maxiter": 1}, np.zeros((2, 2))),
    ([[1, 2], [2, 1]], {"maxiter": -5}, np.zeros((2, 2))),
])
def test_nearest_correlation_matrix_cases(a, kwargs, expected):
    np.testing.assert_allclose(m.getnearestcorrelationmatrix(a, **kwargs), expected, atol=1e-12)
    assert recorded()[0] == 0


@pytest.mark.parametrize("weights", [[1.0, -0.5, 1.0], [-1.0, 2.0, -1.0]])
def test_a_negative_weight_gives_the_zero_matrix(weights):
    np.testing.assert_array_equal(m.getnearestcorrelationmatrix(EXAMPLE, weights=weights), np.zeros((3, 3)))
    assert recorded() == (-2, "GetNearestCorrelationMatrix: a weight is negative")


def test_nearest_correlation_matrix_weights():
    plain = m.getnearestcorrelationmatrix(EXAMPLE)
    np.testing.assert_array_equal(m.getnearestcorrelationmatrix(EXAMPLE, weights=[-1.0] * 3), plain)
    np.testing.assert_allclose(m.getnearestcorrelationmatrix(EXAMPLE, weights=[2.0] * 3), plain, atol=1e-12)
    # A heavy weight on the first variable keeps its correlations closer to the input;
    # the heavier the weight, the more passes it takes.
    for weights, passes in (([3.0, 2.0, 1.0], 100), ([100.0, 1.0, 1.0], 1000)):
        heavy = m.getnearestcorrelationmatrix(EXAMPLE, weights=weights, tol=1e-10, maxiter=passes)
        assert abs(heavy[0, 1] - 1) + abs(heavy[0, 2]) < abs(plain[0, 1] - 1) + abs(plain[0, 2])
        assert np.linalg.eigvalsh(heavy).min() > 0
    np.testing.assert_array_equal(
        m.getnearestcorrelationmatrix(EXAMPLE, weights=[100.0, 1.0, 1.0], tol=1e-10), np.zeros((3, 3)))


@pytest.mark.parametrize("bad", [NAN, INF, -INF])
def test_non_finite_entries_end_the_repairs_with_a_record(bad):
    a = np.array([[1.0, 0.3, bad], [0.3, 1.0, 0.2], [0.1, 0.2, 1.0]])
    np.testing.assert_array_equal(m.getnearestspd(a), (a + a.T) / 2)
    stat, text = recorded()
    assert stat == -2 and "GetNearestSPD" in text
    eh.rsxerr(1)
    np.testing.assert_array_equal(m.getnearestcorrelationmatrix(a), np.zeros((3, 3)))
    stat, text = recorded()
    assert stat == -2 and "GetNearestCorrelationMatrix" in text
    eh.rsxerr(1)
    np.testing.assert_array_equal(m.getnearestcorrelationmatrix(np.eye(3), weights=[1.0, bad, 1.0]),
                                  np.zeros((3, 3)))
    assert recorded()[0] == -2


def test_shift_loops_end_when_the_arithmetic_overflows():
    a = [[1e308, -1.7e308], [-1.7e308, 1e308]]  # finite, but the polar factor overflows
    m.getnearestspd(a)
    stat, text = recorded()
    assert stat == -2 and "GetNearestSPD" in text and "1000" in text
    eh.rsxerr(1)
    m.getnearestcorrelationmatrix(a)
    assert recorded()[0] == -2


def test_the_other_repairs_pass_non_finite_entries_on():
    a = np.array([[1.0, NAN], [NAN, 1.0]])
    assert np.isnan(m.getprojectedspd(a)).any()
    assert not m.ispositivedefinite(a)
    assert np.isnan(m.getnearestpdnorm(a))
    # (1 - f) b with f = 1 is 0 * inf: the IEEE result.
    assert np.isnan(m.matrixshrinkage(np.ones((2, 2)), np.full((2, 2), INF), 1.0)).all()


@pytest.mark.parametrize("alpha,f", [(-3, 0.0), (7, 1.0), (0.25, 0.25), (NAN, 0.0), (0, 0.0), (1, 1.0)])
def test_shrinkage_clamps_alpha(alpha, f):
    a = np.arange(6.0).reshape(2, 3)
    b = np.full((2, 3), 10.0)
    np.testing.assert_allclose(m.matrixshrinkage(a, b, alpha), f * a + (1 - f) * b, rtol=1e-15)


@pytest.mark.parametrize("x,kwargs,expected,stat", [
    (np.diag([1, 1e-9]), {}, False, 0),
    (np.diag([1, 1e-9]), {"tolerance": 1e-10}, True, 0),
    (np.eye(4), {}, True, 0),
    ([[1, 2], [2, 1]], {}, False, 0),
    (np.zeros((2, 2)), {}, False, -2),
])
def test_positive_definiteness(x, kwargs, expected, stat):
    assert bool(m.ispositivedefinite(x, **kwargs)) is expected
    assert recorded()[0] == stat


@pytest.mark.parametrize("call", [
    lambda: m.getprojectedspd(np.ones((2, 3))),
    lambda: m.getnearestspd(np.ones((3, 3)), n=2),
    lambda: m.getnearestcorrelationmatrix(np.eye(3), weights=[1.0, 1.0]),
    lambda: m.getnearestpdnorm(np.ones((3, 2))),
    lambda: m.ispositivedefinite(np.eye(3), n=4),
    lambda: m.matrixshrinkage(np.ones((2, 3)), np.ones((3, 2)), 0.5),
])
def test_bad_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()
