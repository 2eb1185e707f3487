"""Routines that take a Python callable: an exception raised in the callable
leaves the routine at once and reaches the caller, for every such routine."""

import math

import numpy as np
import pytest

import _kestro
from conftest import MODULES

m = _kestro.math


class Raised(Exception):
    pass


def root_of_two(x, args, nfun):
    return x * x - 2.0, 2.0 * x


# Per routine: how to call it with a callable, a callable that works, and the
# result that callable gives.
CALLS = {
    ("math", "bdsafe"): (lambda f: m.bdsafe(f, 0.0, 2.0, [1.0], 1e-12, 100, 0), root_of_two,
                         (math.sqrt(2.0), 0)),
    ("math", "nrsafe"): (lambda f: m.nrsafe(f, 0.0, 2.0, [1.0], 1e-12, 100, 0), root_of_two,
                         (math.sqrt(2.0), 0)),
    ("math", "fpsafe"): (lambda f: m.fpsafe(f, 1.0, np.ones(3), 1e-14, 200, 0),
                         lambda fargs, nfun: math.cos(fargs[0]), (0.7390851332151607, 0)),
    ("elasticity", "getnumericaltangent"): (
        lambda f: _kestro.elasticity.getnumericaltangent(f, [0.0], [0.0, 0.0], [0.0, 0.0], [0.0, 0.0], 2, False,
                                                         nmflag=1),
        lambda strain, props, ntens, ndi, nprops: np.array([3.0, 5.0]) * strain, np.diag([3.0, 5.0])),
}

WITH_CALLABLES = sorted((name, r) for name, module in MODULES.items() if module["python"]
                        for r, info in module["routines"].items() if info["callback"])


def test_every_routine_with_a_procedure_argument_is_covered():
    assert sorted(CALLS) == WITH_CALLABLES


@pytest.mark.parametrize("routine", WITH_CALLABLES, ids="{0[0]}.{0[1]}".format)
def test_a_raising_callable_is_called_once_and_its_exception_reaches_the_caller(routine):
    call, works, result = CALLS[routine]
    calls = []

    def raising(*args):
        calls.append(args)
        raise Raised(routine)

    for _ in range(3):
        with pytest.raises(Raised):
            call(raising)
    assert len(calls) == 3
    assert call(works) == pytest.approx(result, abs=1e-11)


def test_a_callable_that_catches_a_nested_failure_keeps_its_own_routine_going():
    # The callable of bdsafe calls nrsafe and fpsafe with raising callables and
    # catches their exceptions: each routine keeps calling its own callable.
    inner = []

    def fails(*args):
        inner.append(args)
        raise Raised

    def outer(x, args, nfun):
        for nested in (lambda: m.nrsafe(fails, 0.0, 1.0, [], 1e-12, 10, 0),
                       lambda: m.fpsafe(fails, 1.0, [0.0], 1e-12, 10, 0)):
            with pytest.raises(Raised):
                nested()
        return root_of_two(x, args, nfun)

    root, istat = m.bdsafe(outer, 0.0, 2.0, [], 1e-12, 100, 0)
    assert istat == 0 and root == pytest.approx(math.sqrt(2.0), abs=1e-11)
    assert len(inner) >= 6 and len(inner) % 2 == 0
