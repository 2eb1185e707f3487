"""Growable lists of listhandling: creation, appends with and without the
uniqueness test, growth, sizes, copies, and the append index staying in step
with writes made from Python."""

import numpy as np
import pytest

import _kestro

lh = _kestro.listhandling

IMAX = 2147483647
RMAX = np.finfo(np.float64).max
CMAX = complex(RMAX, RMAX)
NAN = float("nan")


class Family:
    def __init__(self, ifflag, prefix, dtype, marker, value):
        self.ifflag, self.prefix, self.dtype, self.marker = ifflag, prefix, dtype, marker
        self.value = value  # k -> a distinct value of the family's type
        self.name = {0: "dynintlist", 1: "dynreallist", 2: "dyncmplxlist"}[ifflag]

    def __repr__(self):
        return self.prefix

    def scalar(self, *args, **kw):
        return getattr(lh, f"{self.prefix}_appendscalar2list")(*args, **kw)

    def array(self, listid, values, *args, **kw):
        return getattr(lh, f"{self.prefix}_appendarray2list")(
            listid, np.array(values, dtype=self.dtype), *args, **kw)

    def copy(self, listid, length, **kw):
        return getattr(lh, f"{self.prefix}_getcopyoflist")(
            listid, np.full(length, -1, dtype=self.dtype), **kw)

    def data(self, listid):
        return getattr(lh, f"{self.name}{listid}")

    def values(self, *ks):
        return [self.value(k) for k in ks]


INT = Family(0, "int", np.int32, IMAX, lambda k: k)
REAL = Family(1, "real", np.float64, RMAX, lambda k: k + 0.5)
CMPLX = Family(2, "cmplx", np.complex128, CMAX, lambda k: complex(k, -k))
FAMILIES = [INT, REAL, CMPLX]
LISTS = [(f, listid) for f in FAMILIES for listid in (1, 2, 3)]
by_family = pytest.mark.parametrize("f", FAMILIES, ids=repr)


@pytest.fixture(autouse=True)
def release_lists():
    yield
    for f in FAMILIES:
        for listid in (1, 2, 3):
            # Reading a list hands out a view, after which its append index is
            # built afresh; a list released here and created again by the next
            # test at the same address must not inherit this test's index.
            getattr(lh, f"{f.name}{listid}")
            lh.deallocatelist(listid, f.ifflag)


def same(actual, expected):
    np.testing.assert_array_equal(np.asarray(actual), np.asarray(expected))


# ---------------------------------------------------------------- creation and release

def test_small_growth_step_keeps_values_in_place_and_uniqueness_holds():
    assert [INT.scalar(1, v, 1, 2) for v in (7, 8, 9)] == [1, 1, 1]
    assert lh.getsizeoflist(1, 0) == 3
    same(lh.dynintlist1, [7, 8, 9, IMAX])
    assert INT.scalar(1, 7, 1) == 0
    same(lh.dynintlist1, [7, 8, 9, IMAX])
    assert lh.deallocatelist(1, 0) == 0
    assert lh.deallocatelist(1, 0) == 1
    assert lh.dynintlist1 is None


@pytest.mark.parametrize("f,listid", LISTS, ids=[f"{f}{k}" for f, k in LISTS])
def test_first_append_creates_the_selected_list_only(f, listid):
    assert lh.getsizeoflist(listid, f.ifflag) == -1
    assert f.scalar(listid, f.value(4), 1) == 1
    data = f.data(listid)
    assert data.shape == (500,) and data.dtype == f.dtype
    assert data[0] == f.value(4) and (data[1:] == f.marker).all()
    assert lh.getsizeoflist(listid, f.ifflag) == 1
    assert lh.getallocationstatus(listid, f.ifflag) == 1
    others = [(g, k) for g, k in LISTS if (g, k) != (f, listid)]
    assert all(lh.getallocationstatus(k, g.ifflag) == 0 for g, k in others)
    assert all(g.data(k) is None for g, k in others)


@by_family
def test_allocatelist_creates_then_refills_an_existing_list_with_its_default(f):
    default = {"defint": 5} if f is INT else {"defreal": 2.5} if f is REAL else {"defcmplx": 1 - 1j}
    assert lh.allocatelist(2, f.ifflag, 3) == 0
    same(f.data(2), [f.marker] * 3)
    assert lh.getsizeoflist(2, f.ifflag) == 0
    f.scalar(2, f.value(1), 0)
    assert lh.allocatelist(2, f.ifflag, 10, **default) == 5014
    same(f.data(2), [list(default.values())[0]] * 3)
    # No entry holds the free marker any more, so the list counts as full.
    assert lh.getsizeoflist(2, f.ifflag) == 3
    assert lh.getsizeoflist(2, f.ifflag, **default) == 0


def test_allocatelist_with_a_length_below_one_creates_an_empty_list():
    assert lh.allocatelist(3, 1, -4) == 0
    assert lh.getallocationstatus(3, 1) == 1 and lh.dynreallist3.shape == (0,)
    assert lh.getsizeoflist(3, 1) == 0
    assert REAL.scalar(3, 1.0, 1, 2) == 1
    same(lh.dynreallist3, [1.0, RMAX])


@by_family
def test_size_of_a_full_list_is_its_capacity(f):
    for k in range(3):
        f.scalar(1, f.value(k), 0, 3)
    assert f.data(1).shape == (3,)
    assert lh.getsizeoflist(1, f.ifflag) == 3


@by_family
def test_growth_adds_exactly_the_step_of_the_growing_call(f):
    # Created with 2 entries; full at the 3rd append (+3), the 6th (+1) and the 7th (+4).
    for k, step in enumerate([2, 2, 3, 9, 9, 1, 4]):
        assert f.scalar(1, f.value(k), 0, step) == 1
    same(f.data(1), f.values(*range(7)) + [f.marker] * 3)
    assert lh.getsizeoflist(1, f.ifflag) == 7


# ---------------------------------------------------------------- what counts as present

@by_family
def test_uniqueness_flag_decides_whether_a_duplicate_is_stored(f):
    f.scalar(1, f.value(1), 1, 4)
    assert f.scalar(1, f.value(1), 1) == 0
    assert f.scalar(1, f.value(1), 0) == 1
    same(f.data(1), [f.value(1)] * 2 + [f.marker] * 2)


@by_family
def test_free_marker_appended_leaves_its_entry_free(f):
    f.scalar(1, f.value(1), 1, 3)
    assert f.scalar(1, f.marker, 1) == 0
    assert f.scalar(1, f.marker, 0) == 1
    assert lh.getsizeoflist(1, f.ifflag) == 1
    assert f.scalar(1, f.value(2), 1) == 1
    same(f.data(1), f.values(1, 2) + [f.marker])


@pytest.mark.parametrize("first,second,stored", [
    (NAN, NAN, 2),
    (0.0, -0.0, 1),
    (-0.0, 0.0, 1),
    (1.0, np.nextafter(1.0, 2.0), 2),
])
def test_real_values_match_by_numeric_equality(first, second, stored):
    assert REAL.scalar(1, first, 1) == 1
    assert REAL.scalar(1, second, 1) == (1 if stored == 2 else 0)
    assert lh.getsizeoflist(1, 1) == stored


@pytest.mark.parametrize("other,found", [
    (1 + 2j, True), (1 + 3j, False), (2 + 2j, False), (complex(1, NAN), False),
    (complex(RMAX, 0), False), (complex(0, RMAX), False),
])
def test_complex_values_match_on_both_parts(other, found):
    CMPLX.scalar(1, 1 + 2j, 1)
    assert CMPLX.scalar(1, other, 1) == (0 if found else 1)


# ---------------------------------------------------------------- array appends

@by_family
@pytest.mark.parametrize("ks,appended", [
    ([2, 3], False), ([1, 2, 3], False), ([3], False), ([], False),
    ([3, 2], True), ([1, 3], True), ([3, 4], True), ([2, 2], True),
])
def test_array_is_skipped_only_when_it_stands_as_a_run(f, ks, appended):
    f.array(1, f.values(1, 2, 3), 1, allocinc=5)
    f.array(1, f.values(*ks), 1)
    expected = f.values(1, 2, 3) + (f.values(*ks) if appended else [])
    assert lh.getsizeoflist(1, f.ifflag) == len(expected)
    same(f.data(1)[:len(expected)], expected)


@by_family
def test_array_append_without_uniqueness_grows_in_steps(f):
    assert f.array(2, f.values(1, 2, 3, 4, 5), 0, allocinc=2) == 1
    same(f.data(2), f.values(1, 2, 3, 4, 5) + [f.marker])
    assert f.array(2, f.values(1, 2, 9), 0, narray=2, allocinc=2) == 1
    same(f.data(2), f.values(1, 2, 3, 4, 5, 1, 2) + [f.marker])


def test_array_of_nan_is_never_found():
    REAL.array(1, [1.0, NAN], 1)
    REAL.array(1, [1.0, NAN], 1)
    assert lh.getsizeoflist(1, 1) == 4


def test_array_append_to_an_empty_list_creates_it():
    assert INT.array(3, [], 1, allocinc=7) == 0
    same(lh.dynintlist3, [IMAX] * 7)
    assert lh.getsizeoflist(3, 0) == 0


# ---------------------------------------------------------------- copies

@by_family
def test_copy_of_an_absent_list_reports_and_leaves_the_copy(f):
    copy, ierror = f.copy(1, 3)
    assert ierror == -1
    same(copy, [-1] * 3)


@by_family
def test_copy_takes_the_leading_entries(f):
    f.array(2, f.values(1, 2), 0, allocinc=4)
    copy, ierror = f.copy(2, 4)
    assert ierror == 0
    same(copy, f.values(1, 2) + [f.marker] * 2)
    copy, ierror = f.copy(2, 4, ncopy=1)
    assert ierror == 0
    same(copy, [f.value(1)] + [-1] * 3)


@by_family
@pytest.mark.parametrize("length,ncopy", [(5, None), (3, 4), (6, 5), (2, -1)])
def test_copy_count_beyond_the_list_or_the_copy_raises(f, length, ncopy):
    f.array(1, f.values(1, 2), 0, allocinc=4)
    kw = {} if ncopy is None else {"ncopy": ncopy}
    with pytest.raises(_kestro.error):
        f.copy(1, length, **kw)


# ---------------------------------------------------------------- bad arguments

@pytest.mark.parametrize("call", [
    lambda: lh.allocatelist(0, 0, 5),
    lambda: lh.allocatelist(1, 3, 5),
    lambda: lh.deallocatelist(4, 0),
    lambda: lh.deallocatelist(1, -1),
    lambda: lh.getallocationstatus(-1, 1),
    lambda: lh.getallocationstatus(2, 7),
    lambda: lh.getsizeoflist(0, 2),
    lambda: lh.getsizeoflist(3, 3),
    lambda: lh.int_appendscalar2list(4, 1, 1),
    lambda: lh.real_appendscalar2list(1, 1.0, 1, 0),
    lambda: lh.cmplx_appendscalar2list(0, 1j, 0),
    lambda: lh.int_appendarray2list(1, np.array([1], np.int32), 1, allocinc=-2),
    lambda: lh.real_appendarray2list(4, np.array([1.0]), 1),
    lambda: lh.cmplx_appendarray2list(1, np.array([1j]), 1, narray=2),
    lambda: lh.int_getcopyoflist(0, np.zeros(1, np.int32)),
])
def test_bad_selectors_and_counts_raise(call):
    with pytest.raises(_kestro.error):
        call()
    assert all(lh.getallocationstatus(k, g.ifflag) == 0 for g, k in LISTS)


# ---------------------------------------------------------------- writes from Python

def test_index_sees_an_entry_written_through_the_module_array():
    for v in (1, 2, 3):
        INT.scalar(1, v, 1)
    lh.dynintlist1[1] = 9
    assert INT.scalar(1, 9, 1) == 0
    assert INT.scalar(1, 2, 1) == 1
    same(lh.dynintlist1[:5], [1, 9, 3, 2, IMAX])


@by_family
def test_index_sees_an_array_assigned_in_the_same_shape(f):
    f.array(1, f.values(1, 2, 3), 1, allocinc=5)
    setattr(lh, f"{f.name}1", np.array(f.values(7, 1, 8) + [f.marker] * 2, dtype=f.dtype))
    assert f.scalar(1, f.value(2), 1) == 1
    assert f.scalar(1, f.value(8), 1) == 0
    same(f.data(1), f.values(7, 1, 8, 2) + [f.marker])


@by_family
def test_list_recreated_from_python_is_appended_to_at_its_first_free_entry(f):
    f.array(1, f.values(1, 2, 3, 4), 0, allocinc=10)
    setattr(lh, f"{f.name}1", np.array([f.value(5), f.marker, f.value(6)], dtype=f.dtype))
    assert lh.getsizeoflist(1, f.ifflag) == 1
    assert f.scalar(1, f.value(1), 1) == 1
    assert f.scalar(1, f.value(6), 1) == 0
    assert f.scalar(1, f.value(7), 1, 2) == 1
    same(f.data(1), f.values(5, 1, 6, 7) + [f.marker])


@by_family
def test_list_released_and_created_again_starts_empty(f, run_python):
    # A fresh interpreter, so that the allocator hands out blocks the same way each run.
    result = run_python(f"""
        import _kestro
        lh = _kestro.listhandling
        append = lh.{f.prefix}_appendscalar2list
        value = {f.value(5)!r}
        print(append(1, value, 1), lh.deallocatelist(1, {f.ifflag}),
              append(1, value, 1), lh.getsizeoflist(1, {f.ifflag}))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [b"1", b"0", b"1", b"1"]


def test_index_sees_writes_through_a_view_held_across_appends():
    INT.scalar(1, 1, 1)
    view = lh.dynintlist1
    INT.scalar(1, 2, 1)
    view[0] = 9
    assert INT.scalar(1, 9, 1) == 0
    assert INT.scalar(1, 1, 1) == 1
