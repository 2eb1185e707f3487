"""The cubic Hermite package called through ctypes by its own convention:
every argument by address, 4-byte integers and logicals, 8-byte reals, and the
lengths of character arguments as trailing 8-byte integers.

The package is not part of _kestro; it is reached in the shared library next to
the extension module. Its message handler keeps process-global state and ends
the process on errors, so everything that reports a message runs in a fresh
interpreter.
"""

import ctypes
import math
import os
import textwrap
from ctypes import POINTER, byref, c_double, c_float, c_int32

import numpy as np
import pytest

import _kestro
from conftest import ONE_POINT_BLOCK

LIBRARY = os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(_kestro.__file__)), "..", "lib", "libkestro.so")
)

# Loaded in the test process only for calls that report nothing.
lib = ctypes.CDLL(LIBRARY)
for _name in ("d1mach_", "dpchia_", "dpchid_", "dpchqa_"):
    getattr(lib, _name).restype = c_double
lib.r1mach_.restype = c_float
lib.i1mach_.restype = c_int32

# The quick-check data: exp(-x^2) at nine points, with the monotone (DM) and
# not-a-knot spline (DS) derivatives the package must reproduce.
X9 = np.array([-2.2, -1.2, -1.0, -0.5, -0.01, 0.5, 1.0, 2.0, 2.2])
DM9 = np.array([0.0, 0.380027352, 0.717253009, 0.582014161, 0.0, -0.568208031,
                -0.513501618, -0.0777910977, -0.00245611117])
DS9 = np.array([-0.0516830792, 0.571455855, 0.740530225, 0.763864934, 0.0192614386,
                -0.76532438, -0.728209035, -0.0798445427, -0.0285983446])

# A fresh interpreter's view of the library: the same helpers as above.
PRELUDE = f"""
import ctypes, sys
from ctypes import byref, c_double, c_int32, c_size_t
lib = ctypes.CDLL({LIBRARY!r})

def doubles(*values):
    return (c_double * len(values))(*values)

def one_point():
    n, incfd, ierr = c_int32(1), c_int32(1), c_int32(99)
    x, f, d = doubles(0.0), doubles(0.0), doubles(0.0)
    lib.dpchim_(byref(n), x, f, d, byref(incfd), byref(ierr))
    return ierr.value
"""


def script(body):
    """The prelude and a snippet, as one program."""
    return PRELUDE + textwrap.dedent(body)


def doubles(values):
    return np.ascontiguousarray(values, dtype=np.float64)


def ptr(array):
    return array.ctypes.data_as(POINTER(c_double))


def pchim(x, f):
    x, f = doubles(x), doubles(f)
    d = np.full(x.size, -99.0)
    n, incfd, ierr = c_int32(x.size), c_int32(1), c_int32(99)
    lib.dpchim_(byref(n), ptr(x), ptr(f), ptr(d), byref(incfd), byref(ierr))
    return d, ierr.value


# ---------------------------------------------------------------- errors and their messages


def test_one_point_prints_the_message_block_and_exits_with_status_1(run_python):
    result = run_python(script("one_point()\nprint('returned')\n"))
    assert result.returncode == 1
    assert result.stdout == ONE_POINT_BLOCK
    assert result.stderr == b""


def test_recoverable_flag_returns_the_error_code_and_the_process_goes_on(run_python):
    result = run_python(script("""
        lib.xsetf_(byref(c_int32(1)))
        print("IERR", one_point(), flush=True)
        flag = c_int32(99)
        lib.xgetf_(byref(flag))
        print("FLAG", flag.value, flush=True)
    """))
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        b" ***MESSAGE FROM ROUTINE DPCHIM IN LIBRARY SLATEC.\n"
        b" ***POTENTIALLY RECOVERABLE ERROR, PROG CONTINUES, TRACEBACK REQUESTED\n"
        b" *  NUMBER OF DATA POINTS LESS THAN TWO\n"
        b" *  ERROR NUMBER = -1\n"
        b" *   \n"
        b" ***END OF MESSAGE\n"
        b" \n"
        b"IERR -1\n"
        b"FLAG 1\n"
    )


def test_character_lengths_are_taken_from_the_trailing_arguments(run_python):
    # The texts are longer than the lengths passed: only the given characters count.
    result = run_python(script("""
        nerr, level = c_int32(7), c_int32(0)
        lib.xermsg_(b"SLATECxx", b"DPCHIMyy", b"HELLO WORLD!!", byref(nerr), byref(level),
                    c_size_t(6), c_size_t(6), c_size_t(11))
        lib.xerdmp_()
    """))
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        b" ***MESSAGE FROM ROUTINE DPCHIM IN LIBRARY SLATEC.\n"
        b" ***INFORMATIVE MESSAGE, PROG CONTINUES, TRACEBACK REQUESTED\n"
        b" *  HELLO WORLD\n"
        b" *  ERROR NUMBER = 7\n"
        b" *   \n"
        b" ***END OF MESSAGE\n"
        b" \n"
        b"0          ERROR MESSAGE SUMMARY\n"
        b" LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
        b" SLATEC     DPCHIM     HELLO WORLD                  7         0         1\n"
        b" \n"
    )


def test_evaluation_without_points_ends_the_process(run_python):
    result = run_python(script("""
        n, incfd, ne, skip, ierr = c_int32(2), c_int32(1), c_int32(0), c_int32(0), c_int32(99)
        x, f, d, fe = doubles(0.0, 1.0), doubles(0.0, 1.0), doubles(1.0, 1.0), doubles(0.0)
        lib.dpchfe_(byref(n), x, f, d, byref(incfd), byref(skip), byref(ne), x, fe, byref(ierr))
        print("returned")
    """))
    assert result.returncode == 1
    assert result.stdout.startswith(b" ***MESSAGE FROM ROUTINE DPCHFE IN LIBRARY SLATEC.\n")
    assert b" *  NUMBER OF EVALUATION POINTS LESS THAN ONE\n *  ERROR NUMBER = -4\n" in result.stdout
    assert b"returned" not in result.stdout


def test_machine_constant_index_out_of_range_fails_the_process(run_python):
    result = run_python(script("lib.i1mach_(byref(c_int32(17)))\nprint('returned')\n"))
    assert result.stdout == (
        b" \n"
        b"I1MACH - Fatal error!\n"
        b"  The input argument I is out of bounds.\n"
        b"  Legal values satisfy 1 <= I <= 16.\n"
        b"  I =           17\n"
    )
    assert result.returncode == 1


# ---------------------------------------------------------------- the quick-check data


def test_exp_table_monotone_derivatives():
    d, ierr = pchim(X9, np.exp(-X9 ** 2))
    assert ierr == 1  # one switch of direction, at the peak
    zero = DM9 == 0.0
    assert np.all(d[zero] == 0.0)  # exactly flat at the extrema
    assert np.all(np.abs((d[~zero] - DM9[~zero]) / DM9[~zero]) <= 1e-7)


def test_exp_table_spline_derivatives_and_the_easy_driver():
    x, f = doubles(X9), doubles(np.exp(-X9 ** 2))
    n, incfd, nwk, ierr = c_int32(9), c_int32(1), c_int32(18), c_int32(99)
    ic = (c_int32 * 2)(0, 0)
    vc = doubles([0.0, 0.0])
    wk = np.zeros(18)
    d = np.full(9, -99.0)
    lib.dpchsp_(ic, ptr(vc), byref(n), ptr(x), ptr(f), ptr(d), byref(incfd), ptr(wk), byref(nwk), byref(ierr))
    assert ierr.value == 0
    assert np.all(np.abs((d - DS9) / DS9) <= 1e-7)

    # The easy driver: SPLINE true gives the same spline, false the monotone derivatives.
    for spline, expected in ((1, d.copy()), (0, pchim(X9, f)[0])):
        dez = np.full(9, -99.0)
        lib.dpchez_(byref(n), ptr(x), ptr(f), ptr(dez), byref(c_int32(spline)), ptr(wk), byref(nwk), byref(ierr))
        assert ierr.value == (0 if spline else 1)
        np.testing.assert_array_equal(dez, expected)


def test_evaluation_counts_points_outside_and_sets_skip():
    f = np.exp(-X9 ** 2)
    d, _ = pchim(X9, f)
    xe = doubles([2.7, X9[4], -2.7, 0.0, X9[0]])  # one beyond each end, in no order
    fe = np.full(xe.size, -99.0)
    de = np.full(xe.size, -99.0)
    n, incfd, ne, skip, ierr = c_int32(9), c_int32(1), c_int32(xe.size), c_int32(0), c_int32(99)
    x = doubles(X9)
    lib.dpchfd_(byref(n), ptr(x), ptr(doubles(f)), ptr(d), byref(incfd), byref(skip), byref(ne), ptr(xe),
                ptr(fe), ptr(de), byref(ierr))
    assert ierr.value == 2
    assert skip.value != 0
    assert fe[1] == pytest.approx(f[4], rel=4 * np.finfo(float).eps)
    assert de[1] == 0.0 and de[4] == 0.0  # flat at the extrema of the data
    assert fe[4] == pytest.approx(f[0], rel=4 * np.finfo(float).eps)


def test_integrals_of_a_cubic_with_their_codes():
    # 3x^2(x - 2) with its exact derivative: integrals are exact, outside limits included.
    x = doubles([-4.0, -2.0, -0.9, 0.0, 0.9, 2.0, 4.0])
    f = 3 * x * x * (x - 2)
    d = 3 * x * (x + 2 * (x - 2))

    def truth(a, b):
        return b ** 3 * (0.75 * b - 2) - a ** 3 * (0.75 * a - 2)

    n, incfd, skip = c_int32(7), c_int32(1), c_int32(0)
    for a, b, code in ((-3.0, 3.0, 0), (3.0, -3.0, 0), (-0.5, 5.0, 2), (-5.0, -3.0, 1),
                       (-5.0, 5.0, 3), (6.0, 5.0, 3), (0.5, 0.5, 0)):
        ierr = c_int32(99)
        value = lib.dpchia_(byref(n), ptr(x), ptr(f), ptr(d), byref(incfd), byref(skip),
                            byref(c_double(a)), byref(c_double(b)), byref(ierr))
        assert ierr.value == code, (a, b)
        assert abs(value - truth(a, b)) <= 100 * np.finfo(float).eps * max(1.0, abs(truth(a, b))), (a, b)
        assert skip.value != 0
    ierr = c_int32(99)
    whole = lib.dpchid_(byref(n), ptr(x), ptr(f), ptr(d), byref(incfd), byref(skip),
                        byref(c_int32(1)), byref(c_int32(7)), byref(ierr))
    assert ierr.value == 0
    assert whole == pytest.approx(truth(-4.0, 4.0), rel=1e-13)


def test_machine_constants():
    assert [lib.i1mach_(byref(c_int32(i))) for i in range(1, 17)] == [
        5, 6, 7, 6, 32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024]
    assert [lib.d1mach_(byref(c_int32(i))) for i in range(1, 6)] == [
        4.450147717014403e-308, 8.988465674311579e+307, 1.110223024625157e-16,
        2.220446049250313e-16, 0.301029995663981]
    assert lib.d1mach_(byref(c_int32(4))) == np.finfo(float).eps
    assert lib.d1mach_(byref(c_int32(1))) == math.ldexp(1.0, -1021)
    singles = np.array([lib.r1mach_(byref(c_int32(i))) for i in range(1, 6)], dtype=np.float32)
    assert [int(v) for v in singles.view(np.uint32)] == [
        0x00800000, 0x7F7FFFFF, 0x33800000, 0x34000000, 0x3E9A209B]
