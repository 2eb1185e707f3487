"""The error record: xerr records or ends the process, rsxerr clears."""

import numpy as np
import pytest

import _kestro

eh = _kestro.errorhandling
NO_NAMES = np.zeros((0, 0), np.int32)


def names(rows, cols):
    """A character-code matrix whose entries encode their row and column."""
    return (100 * np.arange(1, rows + 1)[:, None] + np.arange(1, cols + 1)).astype(np.int32)


def message():
    return bytes(eh.errstring)


def test_only_the_first_error_is_recorded_until_cleared():
    assert eh.xerr(-2, "a", [1], [2.0], np.zeros((12, 2), np.int32), pyerr=1) == 1
    assert eh.xerr(-1, "b", [], [], NO_NAMES, pyerr=1) == 1
    assert eh.errstat == -2
    assert message().startswith(b"a ")
    np.testing.assert_array_equal(eh.errintv, [1])
    np.testing.assert_array_equal(eh.errrealv, [2.0])
    assert eh.errasciim.shape == (8, 2)

    assert eh.rsxerr(0) == 0
    assert eh.errstat == -2
    assert eh.errintv is not None

    assert eh.rsxerr(1) == 1
    assert eh.errstat == 0
    assert eh.errintv is None
    assert eh.errrealv is None
    assert eh.errasciim is None
    assert message().startswith(b"a ")


def test_record_holds_message_and_context():
    eh.xerr(7, "bad ply", [3, -4, 5], [0.5, -1.25], names(3, 4), pyerr=1)
    assert eh.errstat == 7
    assert message() == b"bad ply".ljust(80)
    assert eh.errintv.dtype == np.int32
    np.testing.assert_array_equal(eh.errintv, [3, -4, 5])
    assert eh.errrealv.dtype == np.float64
    np.testing.assert_array_equal(eh.errrealv, [0.5, -1.25])
    assert eh.errasciim.dtype == np.int32
    np.testing.assert_array_equal(eh.errasciim, names(3, 4))


def test_record_copies_the_context():
    intv = np.array([1, 2], np.int32)
    realv = np.array([1.5])
    asciim = names(2, 2)
    eh.xerr(-1, "m", intv, realv, asciim, pyerr=1)
    intv[:] = 0
    realv[:] = 0
    asciim[:] = 0
    np.testing.assert_array_equal(eh.errintv, [1, 2])
    np.testing.assert_array_equal(eh.errrealv, [1.5])
    np.testing.assert_array_equal(eh.errasciim, names(2, 2))


def test_code_zero_fills_the_record_but_leaves_it_open():
    eh.xerr(0, "warning", [1], [1.0], names(1, 1), pyerr=1)
    assert eh.errstat == 0
    assert message().startswith(b"warning ")
    np.testing.assert_array_equal(eh.errintv, [1])

    eh.xerr(-2, "failure", [4, 5, 6], [1.0, 2.0], names(3, 2), pyerr=1)
    assert eh.errstat == -2
    assert message() == b"failure".ljust(80)
    np.testing.assert_array_equal(eh.errintv, [4, 5, 6])
    np.testing.assert_array_equal(eh.errrealv, [1.0, 2.0])
    np.testing.assert_array_equal(eh.errasciim, names(3, 2))


def test_empty_context_gives_empty_arrays():
    eh.xerr(-3, "empty", [], [], NO_NAMES, pyerr=1)
    assert eh.errintv is not None and eh.errintv.shape == (0,)
    assert eh.errrealv is not None and eh.errrealv.shape == (0,)
    assert eh.errasciim is not None and eh.errasciim.shape == (0, 0)


@pytest.mark.parametrize("rows", [0, 1, 8, 9, 12])
def test_at_most_eight_name_rows_are_kept(rows):
    eh.xerr(-1, "names", [], [], names(rows, 3), pyerr=1)
    np.testing.assert_array_equal(eh.errasciim, names(min(rows, 8), 3))


@pytest.mark.parametrize(
    "text, stored",
    [("m" * 100, b"m" * 80), ("x" * 80, b"x" * 80), ("", b" " * 80), (b"raw", b"raw".ljust(80))],
    ids=["long", "exact", "empty", "bytes"],
)
def test_message_is_cut_or_padded_to_80(text, stored):
    eh.xerr(-1, text, [], [], NO_NAMES, pyerr=1)
    assert message() == stored


def test_new_error_is_recorded_after_clearing():
    eh.xerr(-1, "first", [1], [], NO_NAMES, pyerr=1)
    eh.rsxerr(1)
    eh.xerr(-5, "second", [2, 3], [], NO_NAMES, pyerr=1)
    assert eh.errstat == -5
    assert message().startswith(b"second ")
    np.testing.assert_array_equal(eh.errintv, [2, 3])


def test_clearing_an_empty_record():
    assert eh.rsxerr(1) == 1
    assert eh.errstat == 0
    assert eh.errintv is None
    assert eh.rsxerr(0) == 0


def test_pyerr_is_returned_unchanged():
    assert eh.xerr(-1, "m", [], [], NO_NAMES, pyerr=5) == 5


EXIT_MESSAGE = b" x" + b" " * 79 + b"\n"


@pytest.mark.parametrize(
    "call, printed",
    [
        ("xerr(-2, 'x', [], [], np.zeros((0, 0), np.int32))", EXIT_MESSAGE),
        ("xerr(-2, 'x', [], [], np.zeros((0, 0), np.int32), pyerr=0)", EXIT_MESSAGE),
        ("xerr(0, 'x', [7], [1.0], np.ones((2, 2), np.int32))", EXIT_MESSAGE),
        ("xerr(-1, 'y' * 90, [], [], np.zeros((0, 0), np.int32))", b" " + b"y" * 80 + b"\n"),
    ],
    ids=["default", "explicit-zero", "code-zero", "long-message"],
)
def test_xerr_without_pyerr_prints_and_exits(run_python, call, printed):
    result = run_python(
        f"""
        import numpy as np, _kestro
        _kestro.errorhandling.{call}
        print("not reached")
        """
    )
    assert result.returncode == 1
    assert result.stdout == printed


def test_python_output_comes_before_the_exit_message(run_python):
    result = run_python(
        """
        import numpy as np, _kestro
        print("before")
        _kestro.errorhandling.xerr(-2, "x", [], [], np.zeros((0, 0), np.int32))
        """
    )
    assert result.returncode == 1
    assert result.stdout == b"before\n" + EXIT_MESSAGE


def test_exit_happens_even_with_an_error_recorded(run_python):
    result = run_python(
        """
        import numpy as np, _kestro
        eh = _kestro.errorhandling
        eh.xerr(-2, "x", [], [], np.zeros((0, 0), np.int32), pyerr=1)
        eh.xerr(-3, "z", [], [], np.zeros((0, 0), np.int32))
        """
    )
    assert result.returncode == 1
    assert result.stdout == b" z" + b" " * 79 + b"\n"
