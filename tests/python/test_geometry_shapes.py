"""Coordinate geometry and point-in-shape tests through _kestro: the Python
forms, the logical answers as 0 or 1, and the refusals."""

import numpy as np
import pytest

import _kestro

m = _kestro.math
ip = _kestro.imageprocessing


@pytest.mark.parametrize("call,expected", [
    (lambda: m.coordinaterotation([0, 0, 1], [1, 0, 0], 90.0), [0, 1, 0]),
    (lambda: m.coordinateprojection([1, 0, 0], [0, 1, 0], [1, 2, 3]), [1, 2, 0]),
    (lambda: m.coordinateprojection([1, 0, 0], [0, 1, 0], [1, 2, 3], [0, 0, 1]), [1, 2, 1]),
    (lambda: m.getcentroid([0, 0, 1, 1], [0, 1, 1, 0]), [0.5, 0.5]),
    (lambda: m.getcentroid([0, 1], [0, 1]), [0, 0]),  # no area: the output as it started
    (lambda: m.euclideanangle([1, 0], [0, 0]), np.pi),
    (lambda: m.polartransformation([0, 0, 5], phi0=1.0), [0, 1, 5]),
    (lambda: m.effectivearclength([1, 0], [-1, 0], 1.0), np.pi),
    (lambda: ip.getpointonxyplane([1, 0, 0], [0, 0, 0], np.eye(3), 90.0), [0, -1]),
    (lambda: ip.line(0.5, 1.0, [0, 0], [1, 0]), 2.0),
    (lambda: ip.line(4.0, 5.0, [1, 1], [1, 1]), 6.0),
    (lambda: ip.polygon(0.5, 1.0, [0, 1, 1, 0], [0, 0, 1, 1]), 0.0),
    (lambda: ip.ellipse(2.0, 1.0, 1.0, 1.0, [1, 1]), 1.0),
])
def test_values(call, expected):
    np.testing.assert_allclose(call(), expected, atol=1e-15)


def test_projected_tests_answer_zero_or_one():
    # shapeid 0 is a circle of radius max(a, b): (0, 2.5) lies in it, not in the ellipse 1 x 3 turned.
    assert ip.projectedpointinshape([0, 2.5, 0], 1.0, 3.0, 0.0, [0, 0, 0], np.eye(3), 0) == 1
    assert ip.projectedpointinshape([2.5, 0, 0], 1.0, 3.0, 0.0, [0, 0, 0], np.eye(3), 1) == 0
    square = [[0, 0], [1, 0], [1, 1], [0, 1]]
    assert ip.projectedpointinpolygon([0.5, 0.5, 7.0], square, 0.0, [0, 0, 0], np.eye(3)) == 1
    assert ip.projectedpointinpolygon([1.5, 0.5, 0.0], square, 0.0, [0, 0, 0], np.eye(3)) == 0


@pytest.mark.parametrize("call", [
    lambda: m.getcentroid([0.0, 1.0, 1.0], [0.0, 1.0]),
    lambda: m.getunitvector([1.0, 2.0], n=3),
    lambda: m.polartransformation([1.0]),
    lambda: m.coordinaterotation([0, 0, 1], [[1, 0, 0]], 1.0),
    lambda: ip.polygon(0.5, 0.5, [0, 1, 1, 0], [0, 0, 1], n=4),
    lambda: ip.projectedpointinpolygon([0, 0, 0], np.ones((4, 2)), 0.0, [0, 0, 0], np.eye(3), npoints=5),
    lambda: ip.projectedpointinpolygon([0, 0, 0], np.ones((4, 3)), 0.0, [0, 0, 0], np.eye(3)),
    lambda: ip.getpointonxyplane([1, 0, 0], [0, 0, 0], np.eye(2), 0.0),
])
def test_bad_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()
