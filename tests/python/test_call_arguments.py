"""Calls through the argument checks: a plain Python number is taken or refused
exactly as the numpy value it stands for, and the caller's own arguments stay
as they were given."""

import numpy as np
import pytest

import _kestro
from conftest import umat_arguments
from test_ply_entries import PLY, stiffness

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


class Changing:
    """An array-like whose __array__ gives `first` once and `later` after (a lazily
    loaded or streamed array whose view changes)."""

    def __init__(self, first, later):
        self.first, self.later, self.conversions = first, later, 0

    def __array__(self, dtype=None):
        self.conversions += 1
        out = self.first if self.conversions == 1 else self.later
        return out if dtype is None or out.dtype == dtype else out.astype(dtype)


def shrunk(first, index, tail):
    """The part `index` of first as a view of a Fortran-ordered buffer whose other
    entries are `tail`: a routine that reads past the view reads tail."""
    buffer = np.asfortranarray(np.full_like(first, tail))
    buffer[index] = first[index]
    return buffer[index]


C6 = np.arange(1.0, 37.0).reshape(6, 6) + 10 * np.eye(6)
SWAP = [0, 1, 2, 5, 4, 3]  # Voigt <-> Nye: components 4 and 6 exchanged
JDOF, A3 = np.arange(1, 7, dtype=np.int32).reshape(2, 3), np.ones((2, 2, 3))
MPC = [np.zeros((6, 3))] * 3 + [7, 1, 1, [0, 0], np.zeros((1, 3)), np.zeros((1, 1, 3)), np.zeros(3, np.int32),
                                np.zeros((3, 3, 3))]


# Per argument kind: the call with the array-like, its first and later arrays, and
# what the routine gives for the first.
@pytest.mark.parametrize("call,first,index,expected", [
    (lambda x: _kestro.lamina.getstressvector(np.ones(6), x, np.zeros(6), np.arange(6.0), 3), C6,
     np.s_[:, :5], 1 + C6 @ np.arange(6.0)),                                 # input, 2-D
    (lambda x: s.translate("abc", x, 3, nc=1), np.array([[97, 65], [98, 66]], np.int32), np.s_[1:],
     b"Abc"),                                                                # int, its leading block
    (lambda x: _kestro.lamina.flipvoigtnyenotation(x), C6, np.s_[:, :1], C6[np.ix_(SWAP, SWAP)]),  # shaped
    (lambda x: _kestro.toplevel.umat_fiber(*umat_arguments(np.zeros(6), "umat_fiber", ddsdde=x,
                                                           props=np.array(PLY)))[2],
     np.zeros((6, 6)), np.s_[:, :5], stiffness()),                           # in place, 2-D
    (lambda x: _kestro.toplevel.mpc_nullify(np.ones(2), A3, x, 1, *MPC)[2], JDOF, np.s_[:, :2],
     np.zeros((2, 3))),                                                      # int output of stated extent
    (lambda x: _kestro.toplevel.mpc_nullify(np.ones(2), x, JDOF, 1, *MPC)[1], A3, np.s_[:, :, :2],
     np.zeros((2, 2, 3))),                                                   # output, 3-D
])
def test_the_routine_gets_the_array_that_was_checked(call, first, index, expected):
    changing = Changing(first, shrunk(first, index, 1e6))
    result = call(changing)
    assert changing.conversions == 1
    if isinstance(expected, bytes):
        assert result == expected
    else:
        np.testing.assert_allclose(result, expected, rtol=1e-12)


def test_an_array_the_routine_updates_stays_the_callers_own():
    ddsdde = np.zeros((6, 6), order="F")
    args = umat_arguments(np.zeros(6), "umat_fiber", ddsdde=ddsdde, props=np.array(PLY))
    assert _kestro.toplevel.umat_fiber(*args)[2] is ddsdde
    np.testing.assert_allclose(ddsdde, stiffness(), rtol=1e-12)


# Arguments the routine writes into, given as an array-like whose array is a read-only
# view of its bytes (as of a read-only map): the bytes stay zero.  The fifth golden
# point lies above d as f(d) >= f(c): d + (b - c) / phi^3, written into x.
@pytest.mark.parametrize("call,shape,expected", [
    (lambda x: _kestro.toplevel.umat_fiber(*umat_arguments(np.zeros(6), "umat_fiber", ddsdde=x,
                                                           props=np.array(PLY)))[2], (6, 6), stiffness()),  # in place
    (lambda x: m.getnextfromgoldensearch(x, np.arange(10.0), [0.0, 3, 1, 2], [0.0, 1, 2, 3], 1, 4,
                                         overwrite_x=1)[2][4], 10, 2.0 + 2.0 / 1.618033988749895**3),
])
def test_an_array_like_of_read_only_storage_is_copied_before_the_routine_writes(call, shape, expected):
    storage = bytes(np.zeros(shape).tobytes())
    frozen = Changing(np.frombuffer(storage).reshape(shape, order="F"), None)
    np.testing.assert_allclose(call(frozen), expected, rtol=1e-12)
    assert not np.frombuffer(storage).any()


def golden_state(**given):
    """The arguments of gssafe at the start of a golden search, each given by name, else
    a fresh array of its stated type."""
    state = dict(xi=np.array(0.0), yi=np.array(0.0), dx=0.1, x=np.zeros(4), y=np.zeros(4), xmove=np.zeros(4),
                 ymove=np.zeros(4), lplimits=np.zeros(2), xdir=np.array(0, np.int32),
                 increment=np.array(0, np.int32), proc=np.array(0, np.int32), isgolden=np.array(0, np.int8),
                 update=np.array(0, np.int8), finish=np.array(0, np.int8), defaultvalue=0.0)
    return {**state, **given}


# The search's state lives in the caller's arrays: anything else would take the update
# into a temporary (a number, a list, an array-like), a cast copy or a cast write-back.
@pytest.mark.parametrize("name,value,dtype", [
    ("x", Changing(np.zeros(4), np.zeros(3)), "float64"),
    ("xmove", [0.0] * 4, "float64"),
    ("xi", 0.0, "float64"),
    ("yi", Changing(np.array(0.0), np.array(1.0)), "float64"),
    ("y", np.zeros(4, np.int32), "float64"),
    ("lplimits", np.zeros(2, ">f8"), "float64"),  # the other byte order
    ("ymove", np.zeros(8)[::2], "float64"),      # a strided view
    ("xdir", np.array(0, np.int64), "int32"),
    ("proc", 0, "int32"),
    ("isgolden", np.array(False), "int8"),
])
def test_an_argument_the_routine_updates_must_be_the_callers_own_array(name, value, dtype):
    with pytest.raises(_kestro.error, match=f"math.gssafe: argument {name} is updated in place: it must be the "
                                            f"caller's own writeable ndarray of {dtype}"):
        m.gssafe(**golden_state(**{name: value}))
    assert not isinstance(value, Changing) or value.conversions == 0


# A scalar given as an array-like takes the way of the numpy value its one conversion
# gives: the value when it is one that fits, else the same refusal.
@pytest.mark.parametrize("call,value,expected", [
    (m.cuberoot, np.array(-27.0), -3.0),
    (m.cuberoot, np.array([[8.0]]), 2.0),         # one value in any rank
    (u.int_inc, np.array(41, np.int16), 42),
    (lambda z: u.cmplx_swap(z, 2.0), np.array(1j, np.complex64), (2.0, 1j)),
    (u.int_inc, np.array(1.5), "error"),
    (m.cuberoot, np.array([1.0, 8.0]), "error"),
    (m.cuberoot, np.array(1j), "error"),
])
def test_a_scalar_given_as_an_array_like_is_its_one_value(call, value, expected):
    given = Changing(value, np.array(64))
    result = outcome(lambda: call(given))
    assert result == outcome(lambda: call(value)) and given.conversions == 1
    assert result[0] == "error" if expected == "error" else result[1] == pytest.approx(expected)
