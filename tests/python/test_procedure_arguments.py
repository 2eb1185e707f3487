"""Routines that take a Python callable: an exception raised in the callable
leaves the routine at once and reaches the caller, for every such routine."""

import math
import re

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

# The adapters of module wrapper at one point: a secant material of unit stiffness.
def unit_umat(stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran, *rest):
    return stran + dstran, statev, np.eye(len(stress)), sse, spd, scd, 1.0


UMAT = [np.zeros(6), np.zeros(1), np.zeros((6, 6)), 0.0, 0.0, 0.0, 0.0, np.zeros(6), np.zeros(6), 0.0, np.zeros(6),
        np.full(6, 0.5), [0.0, 0.0], 0.1, 0.0, 0.0, [0.0], [0.0], "PLY", 3, 3, [1.0], np.zeros(3), np.eye(3), 1.0,
        1.0, np.eye(3), np.eye(3), 1, 1, 1, 1, np.array([1, 1, 1, 0], np.int32), 1]
USERMAT = [1, 1, 1, 1, 1, 1, 1, 0, 3, 3, 0.0, 0.1, 0.0, 0.0, np.zeros(6), np.zeros(1), np.zeros((6, 6)), 0.0, 0.0,
           0.0, np.zeros(6), np.full(6, 0.5), np.zeros(6), [1.0], np.zeros(3), 0.0, np.eye(3), np.eye(3),
           np.zeros(2), 0.0] + [0.0] * 8
w = _kestro.wrapper
CALLS.update({
    ("wrapper", "abq_umat_to_ansys_usermat"): (lambda f: w.abq_umat_to_ansys_usermat(f, *USERMAT)[1], unit_umat,
                                               np.eye(6)),
    ("wrapper", "abq_umat_to_peridigm_upermat"): (
        lambda f: w.abq_umat_to_peridigm_upermat(f, np.ones((1, 6)), np.zeros((1, 1)), np.ones((1, 6)), [1.0], 0.0,
                                                 0.0, 0.1, 1, 3, 3)[0], unit_umat, np.full((1, 6), 2.0)),
    ("wrapper", "ansys_usermat_to_abq_umat"): (
        lambda f: w.ansys_usermat_to_abq_umat(f, *UMAT), lambda *a: (0, np.eye(6), 0.0), np.eye(6)),
    ("wrapper", "muesli_to_abq_umat"): (lambda f: w.muesli_to_abq_umat(f, *UMAT, 2)[2],
                                        lambda matid, *a: unit_umat(*a), np.eye(6)),
})

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


# The USERMAT callable's stress (14), tangent (16) and elastic energy (17, 0-d), lent with 6, 36 and 1 values.
@pytest.mark.parametrize("position,name,lent,values", [
    (14, "stress", 6, 10**6), (14, "stress", 6, 1), (16, "dsdepl", 36, 37), (17, "sedel", 1, 1000)])
def test_a_callable_that_resizes_an_array_it_was_lent_raises(position, name, lent, values):
    def usermat(*args):
        args[position].resize(values, refcheck=False)  # in place, past numpy's reference check
        return 0, np.eye(6), 0.0
    with pytest.raises(_kestro.error, match=f"dfunc resized {name}, which it was lent with {lent} values, to {values}$"):
        w.ansys_usermat_to_abq_umat(usermat, *UMAT)


def test_a_callable_may_reshape_an_array_it_was_lent():
    def usermat(*args):
        args[14].shape = (2, 3)
        args[14][:] = [[1, 2, 3], [4, 5, 6]]  # in the callable's order 11, 22, 33, 12, 23, 13
        return 0, np.eye(6), 0.0
    stress = np.zeros(6)
    w.ansys_usermat_to_abq_umat(usermat, stress, *UMAT[1:])
    np.testing.assert_array_equal(stress, [1, 2, 3, 4, 6, 5])  # back in the order 11, 22, 33, 12, 13, 23


NO_STATE = USERMAT[:15] + [np.zeros(0)] + USERMAT[16:]  # nstatev 0: the routine lends statev no values
TANGENT = ([0.0], [0.0, 0.0], [0.0, 0.0], [0.0, 0.0], 2, False)


# Arrays returned in another shape than the routine lent them: refused before anything is
# copied into the routine's storage (a value for an extent 0 would be written past it).
@pytest.mark.parametrize("call,returned,lent", [
    (lambda: w.ansys_usermat_to_abq_umat(lambda *a: (0, np.eye(5), 0.0), *UMAT), "dsdepl of shape (5, 5)", "(6, 6)"),
    (lambda: w.ansys_usermat_to_abq_umat(lambda *a: (0, np.ones(36), 0.0), *UMAT), "dsdepl of shape (36,)",
     "(6, 6)"),
    (lambda: _kestro.elasticity.getnumericaltangent(lambda *a: np.ones(3), *TANGENT), "stress of shape (3,)", "(2,)"),
    (lambda: w.abq_umat_to_ansys_usermat(lambda *a: (unit_umat(*a)[0], [7.0], *unit_umat(*a)[2:]), *NO_STATE),
     "statev of shape (1,)", "(0,)"),
])
def test_an_array_returned_in_another_shape_raises(call, returned, lent):
    with pytest.raises(_kestro.error, match=re.escape(f"returned {returned}, where the routine takes {lent}")):
        call()


# Numbers and arrays a callable returns are taken as arguments are: a complex value for a
# real output, a real for an integer one (1.0 and NaN included, as for an integer argument)
# or a value beyond the type is refused, where a conversion would drop the imaginary part or
# truncate.
@pytest.mark.parametrize("returned,output", [
    *[((keycut, np.full((6, 6), np.nan), np.nan), "keycut") for keycut in (np.array(np.nan), np.full(1, np.nan),
                                                                           np.nan, 2**40)],
    ((1.5, np.eye(6), 0.0), "keycut = 1.5"),
    ((1.0, np.eye(6), 0.0), "keycut = 1.0"),
    ((np.array([2.0]), np.eye(6), 0.0), "keycut, but the output takes integer values"),
    ((1j, np.eye(6), 0.0), "keycut = 1j"),
    ((0, np.eye(6), 1j), "epszz = 1j"),
    ((0, np.eye(6), np.complex64(2)), "epszz = .*complex64"),
    ((0, np.eye(6), np.array(1 + 1j)), "epszz = array"),
    ((0, np.eye(6) + 0j, 0.0), "dsdepl, but the output takes real values"),
    ((0, np.full((6, 6), 1e40, np.longdouble) ** 10, 0.0), "dsdepl, which holds a value that does not fit"),
])
def test_a_value_its_output_cannot_take_exactly_raises(returned, output):
    with pytest.raises(_kestro.error, match=f"the callable given as dfunc returned {output}"):
        w.ansys_usermat_to_abq_umat(lambda *args: returned, *UMAT)


@pytest.mark.parametrize("keycut", [0, True, np.int64(1), np.array([1], np.int16), [1]])
def test_integers_of_any_width_that_fit_are_taken(keycut):
    np.testing.assert_array_equal(w.ansys_usermat_to_abq_umat(lambda *args: (keycut, 2 * np.eye(6), 0.0), *UMAT),
                                  2 * np.eye(6))


def test_a_callable_that_changes_the_type_of_an_array_it_was_lent_raises():
    def usermat(*args):
        args[14].dtype = np.int64  # its bytes read as integers
        return 0, np.eye(6), 0.0
    with pytest.raises(_kestro.error, match="dfunc changed the type of stress"):
        w.ansys_usermat_to_abq_umat(usermat, *UMAT)
