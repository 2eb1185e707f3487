"""Calls through the argument checks: a plain Python number is taken or refused
exactly as the numpy value it stands for, and the caller's own arguments stay
as they were given."""

import numpy as np
import pytest

import _kestro

m, u, s = _kestro.math, _kestro.utility, _kestro.stringhandling


def outcome(call):
    try:
        return "value", np.asarray(call()).tolist()
    except Exception as exc:  # the kind of refusal and its message
        return type(exc).__name__, str(exc)


@pytest.mark.parametrize("call,values", [
    (lambda x: u.int_inc(x), [0, 2**31 - 1, -2**31, 2**31, -2**31 - 1, 2**63, True, 1.5, 1j]),
    (lambda x: m.cuberoot(x), [8, -27.0, 2**63 - 1, 2**64, 2**70, False, 1e308, 1j]),
    (lambda x: u.cmplx_swap(x, 0j), [1j, 2.0, 3, True, 2**70]),
    (lambda x: u.gettriangularmatrix(np.eye(2), luflag=x), [0, 1, 127, 128, -129, True, 0.0]),
])
def test_python_numbers_take_the_way_of_their_numpy_values(call, values):
    for value in values:
        assert outcome(lambda: call(value)) == outcome(lambda: call(np.array(value))), value


@pytest.mark.parametrize("routine,args,kwargs", [
    (s.lowercase, ("ABC", 3), {}),  # a string passed as its bytes
    (s.lowercase, (), {"s": "ABC", "n": 3}),
    (_kestro.lamina.flipvoigtnyenotation, (np.eye(6),), {}),  # passed flat
    (s.translate, ("abc", np.array([[97, 65], [98, 66]], np.int32), 3), {"nc": 1}),  # its leading block
])
def test_the_callers_arguments_stay_as_given(routine, args, kwargs):
    given_args, given_kwargs = list(args), dict(kwargs)
    routine(*args, **kwargs)
    assert all(a is b for a, b in zip(args, given_args))
    assert kwargs.keys() == given_kwargs.keys() and all(kwargs[k] is given_kwargs[k] for k in kwargs)


@pytest.mark.parametrize("empty", [np.zeros((3, 0)), [[], [], []]], ids=["array", "list"])
def test_a_stated_extent_of_zero_takes_arrays_of_that_extent(empty):
    # The explicit prescribed-motion hook on a block of no node: nblock = len(jnodeuid) = 0.
    assert _kestro.toplevel.vdisp_nullify(1, 1, 0.0, 0.0, 0.1, 0.1, "BC", 0, np.arange(1, 4, dtype=np.int32), [], [],
                                          empty, empty, empty, empty, empty, [], np.zeros((3, 3, 0)), empty) is None
