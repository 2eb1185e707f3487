"""Rotations, norms and special functions through _kestro.math: the Python
forms, their optional arguments and their argument checks."""

import numpy as np
import pytest

import _kestro

m = _kestro.math


def test_rotation_forms_and_defaults():
    np.testing.assert_allclose(m.getrotationmatrix([0, 0, 1], np.pi / 2) @ [1, 0, 0], [0, 1, 0], atol=1e-16)
    s = np.arange(9.0).reshape(3, 3)
    np.testing.assert_array_equal(m.tensorrotation2nd(s, 0.3), m.tensorrotation2nd(s, 0.3, [1, 0, 0]))
    np.testing.assert_array_equal(m.tensorrotation2nd(s, 0.0), s)
    c = np.random.default_rng(1).normal(size=(3, 3, 3, 3))
    np.testing.assert_array_equal(m.tensorrotation4th(c, 0.4), m.tensorrotation4th(c, 0.4, [1, 0, 0]))
    np.testing.assert_allclose(m.tensormultiplication(c, s), np.einsum("ijkl,kl->ij", c, s), rtol=1e-14)
    np.testing.assert_array_equal(m.geteulerrotation(np.eye(3)), [0, 0, 0])
    np.testing.assert_array_equal(m.coordinatenormalization([[0, 0], [2, 1]], [0, 1]), [[0, 0], [1, 0.5]])
    np.testing.assert_array_equal(m.coordinatenormalization(np.full((2, 3), 4.0), [2, 5]), np.full((2, 3), 2.0))


@pytest.mark.parametrize("call,expected", [
    (lambda: m.spectralnorm(np.diag([3.0, 2.0])), 3.0),
    (lambda: m.schattennorm(np.diag([3.0, 2.0]), 2), np.sqrt(13.0)),
    (lambda: m.vectornorm([3, 4]), 5.0),
    (lambda: m.rootmeansquareerror([1, 2], [3, 2]), np.sqrt(2.0)),
    (lambda: m.droundsf(-2.718281828, 2), -2.71),
    (lambda: m.droundsf(2.718281828), 2.71828182),
    (lambda: m.fishertransformation(0.5), 0.5493061443340549),
    (lambda: m.fishertransformation(0.5, 1), np.tanh(0.5)),
    (lambda: m.dceil(-1.5), 0.0),
])
def test_values(call, expected):
    assert call() == pytest.approx(expected, rel=1e-15, abs=0)


@pytest.mark.parametrize("call", [
    lambda: m.getrotationmatrix([0, 0, 1, 0], 1.0),
    lambda: m.tensorrotation4th(np.ones((3, 3, 3)), 1.0),
    lambda: m.vectornorm([1.0, 2.0], n=3),
    lambda: m.euclideandistance([1.0, 2.0], [1.0], n=2),
    lambda: m.matrixmodalassurancecriterion(np.eye(3), np.eye(2)),
    lambda: m.spectralnorm(np.ones((2, 2)), m=3),
])
def test_bad_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()
