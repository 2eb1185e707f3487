"""Array services of utility: making, filling, reordering and searching arrays,
scalar helpers and the process arrival list."""

import numpy as np
import pytest

import _kestro

ut = _kestro.utility
jd = _kestro.jobdata
NAN = np.nan
DV = np.finfo(np.float64).max
A22 = np.array([[1.0, 2.0], [3.0, 4.0]])
B12 = np.array([[5.0, 6.0]])


def ints(*values):
    return np.array(values, dtype=np.int32)


def fill_routine(family, rank):
    name = {1: "vector", 2: "matrix"}.get(rank, f"{rank}darray")
    return getattr(ut, f"{family}_fill{name}withscalar")


# ---------------------------------------------------------------- zeros and fills

@pytest.mark.parametrize("rank", range(1, 8))
def test_zero_arrays_have_the_requested_shape_and_refuse_negative_extents(rank):
    name = {1: "vector", 2: "matrix", 7: "maxd"}.get(rank, f"{rank}d")
    make = getattr(ut, f"ini{name}{'array' if rank > 2 else ''}withzeros")
    for shape in [(2, 3, 1, 2, 1, 2, 3)[:rank], (0,) + (2,) * (rank - 1)]:
        a = make(*shape)
        assert a.shape == shape and a.dtype == np.float64 and not a.any()
    for bad in range(rank):
        with pytest.raises(_kestro.error):
            make(*[-1 if i == bad else 2 for i in range(rank)])


def test_fill_writes_only_the_rows_of_a_strided_view():
    a = np.zeros((4, 3))
    ut.real_fillmatrixwithscalar(a[::2, :], 5.0)
    np.testing.assert_array_equal(a, [[5, 5, 5], [0, 0, 0], [5, 5, 5], [0, 0, 0]])


@pytest.mark.parametrize("layout", ["C", "F", "strided", "transposed"])
@pytest.mark.parametrize("family,dtype",
                         [("real", np.float64), ("int", np.int32), ("int", np.int64)])
@pytest.mark.parametrize("rank", range(1, 8))
def test_fill_writes_into_the_callers_array(rank, family, dtype, layout):
    base = np.zeros((3,) * rank, dtype=dtype, order="F" if layout == "F" else "C")
    every_other = (slice(None, None, 2),) * rank
    target = {"strided": base[every_other], "transposed": base.T}.get(layout, base)
    assert fill_routine(family, rank)(target, 7) is target
    expected = np.zeros_like(base)
    expected[every_other if layout == "strided" else ...] = 7
    np.testing.assert_array_equal(base, expected)


@pytest.mark.parametrize("family", ["int", "real"])
@pytest.mark.parametrize("rank", range(1, 8))
def test_fill_leaves_empty_arrays_alone(family, rank):
    a = np.zeros((2,) * (rank - 1) + (0,), dtype=np.float64 if family == "real" else np.int32)
    assert fill_routine(family, rank)(a, 3) is a and a.size == 0


# A read-only array must not be written; the paths that convert the array refuse it.
@pytest.mark.parametrize("routine,array", [
    (ut.real_fillmatrixwithscalar, np.zeros((2, 3))),
    (ut.int_fillvectorwithscalar, np.zeros(3, np.int64)),
    (ut.real_fillmatrixwithscalar, np.zeros((2, 3), order="F")),
    (ut.int_fillvectorwithscalar, np.zeros(3, np.int32)),
])
def test_fill_refuses_read_only_arrays(routine, array):
    array.flags.writeable = False
    with pytest.raises((ValueError, _kestro.error)):
        routine(array, 5)
    assert not array.any()


# ---------------------------------------------------------------- made matrices and lists

@pytest.mark.parametrize("n", range(1, 6))
@pytest.mark.parametrize("k", range(-4, 5))
def test_eye_matrix_matches_numpy(k, n):
    np.testing.assert_array_equal(ut.geteyematrix(k, n), np.eye(n, k=k))


@pytest.mark.parametrize("n", [0, 1, 3])
def test_identity_and_scalar_matrices(n):
    np.testing.assert_array_equal(ut.getidentitymatrix(n), np.eye(n))
    np.testing.assert_array_equal(ut.getscalarmatrix(n, -2.5), -2.5 * np.eye(n))


@pytest.mark.parametrize("kwargs,keep", [({}, np.tril), ({"luflag": 0}, np.tril),
                                         ({"luflag": 1}, np.triu)])
def test_triangular_matrix(kwargs, keep):
    a = np.arange(1.0, 17.0).reshape(4, 4)
    np.testing.assert_array_equal(ut.gettriangularmatrix(a, **kwargs), keep(a))
    assert np.count_nonzero(ut.gettriangularmatrix(np.ones((3, 3)), **kwargs)) == 6


@pytest.mark.parametrize("order,kwargs,expected", [
    ("F", {}, [[1, 0], [2, 3]]), ("F", {"upper": 1}, [[1, 2], [0, 3]]), ("C", {}, [[1, 2], [0, 3]]),
])
def test_unpacked_triangle_of_order_two(order, kwargs, expected):
    np.testing.assert_array_equal(ut.getunpackedtriangle([1.0, 2.0, 3.0], 2, order, **kwargs),
                                  expected)


def test_unpacked_triangle_reads_the_lower_triangle_row_by_row():
    expected = np.zeros((6, 6))
    expected[np.tril_indices(6)] = np.arange(1.0, 22.0)  # numpy's order is row by row too
    np.testing.assert_array_equal(ut.getunpackedtriangle(np.arange(1.0, 22.0), 6, "F"), expected)
    with pytest.raises(_kestro.error):
        ut.getunpackedtriangle(np.arange(1.0, 21.0), 6, "F")


def test_unpacked_matrix_is_column_major_and_needs_enough_values():
    np.testing.assert_array_equal(ut.getunpackedmatrixfromlist(np.arange(1.0, 8.0), 2, 3),
                                  [[1, 3, 5], [2, 4, 6]])
    with pytest.raises(_kestro.error):
        ut.getunpackedmatrixfromlist([1.0, 2.0, 3.0], 2, 2)


@pytest.mark.parametrize("cflag,expected,with_nan", [
    (0, [-1, -1, -1], [-1, -1, -1]), (1, [1, -1, -1], [-1, -1, -1]),
    (2, [1, 2, -1], [2, -1, -1]), (3, [2, -1, -1], [2, -1, -1]), (4, [3, 2, -1], [3, 2, -1]),
    (5, [3, -1, -1], [3, -1, -1]), (6, [3, 1, -1], [3, NAN, -1]), (7, [-1, -1, -1], [-1, -1, -1]),
])
def test_packed_list_by_comparison(cflag, expected, with_nan):
    np.testing.assert_array_equal(ut.getpackedlist([3.0, 1.0, 2.0], 2.0, -1.0, cflag, 3), expected)
    np.testing.assert_array_equal(ut.getpackedlist([3.0, NAN, 2.0], 2.0, -1.0, cflag, 3), with_nan)
    # Two marked entries do not fit a list of one: only padding.
    np.testing.assert_array_equal(ut.getpackedlist([3.0, 1.0, 2.0], 2.0, -1.0, 2, 1), [-1.0])


def test_off_diagonals_lower_then_upper():
    a = np.full((3, 3), 9.0, order="F")
    lower = ut.fillmatrixoffdiagonals(a, [1.0, 2.0, 3.0])
    np.testing.assert_array_equal(lower, [[9, 9, 9], [1, 9, 9], [2, 3, 9]])
    np.testing.assert_array_equal(a, np.full((3, 3), 9.0))  # a copy by default
    assert ut.fillmatrixoffdiagonals(a, np.arange(1.0, 7.0), overwrite_a=1) is a
    np.testing.assert_array_equal(a, [[9, 4, 5], [1, 9, 6], [2, 3, 9]])
    for short in ([1.0, 2.0], np.arange(1.0, 6.0)):
        with pytest.raises(_kestro.error):
            ut.fillmatrixoffdiagonals(np.zeros((3, 3)), short)


@pytest.mark.parametrize("n,kwargs,expected", [
    (5, {}, [0, 0.25, 0.5, 0.75, 1]), (5, {"endpoint": 0}, [0, 0.2, 0.4, 0.6, 0.8]),
    (1, {}, [0]), (1, {"endpoint": 0}, [0]), (0, {}, []),
])
def test_linspace(n, kwargs, expected):
    np.testing.assert_allclose(ut.linspace(0.0, 1.0, n, **kwargs), expected, rtol=0, atol=1e-15)


def test_linspace_points_are_start_plus_multiples_of_the_step():
    # Each point is (i-1)*step + a, so the end point is b only up to rounding.
    step = (0.1 - -1.0) / 11
    np.testing.assert_array_equal(ut.linspace(-1.0, 0.1, 12), np.arange(12) * step + -1.0)
    assert ut.linspace(-1.0, 0.1, 12)[-1] == pytest.approx(0.1, abs=1e-15)


def test_index_vector():
    np.testing.assert_array_equal(ut.getindexvector(4), [1, 2, 3, 4])
    assert ut.getindexvector(0).size == 0


# ---------------------------------------------------------------- copies, completion and scatter

@pytest.mark.parametrize("routine,values", [
    (ut.real_vectorcopy, [1.5, -2.0, 3.0]), (ut.int_vectorcopy, [4, -5, 6]),
    (ut.cmplx_vectorcopy, [1j, 2 - 1j, 3]),
])
def test_vector_copies_and_their_extent(routine, values):
    np.testing.assert_array_equal(routine(values), values)
    np.testing.assert_array_equal(routine(values, 2), values[:2])
    for n in (4, -1):
        with pytest.raises(_kestro.error):
            routine(values, n)


def test_matrix_copy_and_its_extents():
    a = np.arange(6.0).reshape(2, 3)
    np.testing.assert_array_equal(ut.matrixcopy(a), a)
    for extents in [(3, 3), (2, 4), (-1, 3), (2, -1)]:
        with pytest.raises(_kestro.error):
            ut.matrixcopy(a, *extents)


@pytest.mark.parametrize("lu,expected", [
    ([[1, 0], [2, 3]], [[1, 2], [2, 3]]), ([[1, -0.0], [2, 3]], [[1, 2], [2, 3]]),
    ([[1, 5], [2, 3]], [[1, 5], [2, 3]]),
])
def test_symmetrize(lu, expected):
    np.testing.assert_array_equal(ut.symmetrize(np.array(lu, dtype=float)), expected)


def test_matrix_and_vector_sort_take_the_masked_entries_of_b():
    a, b = np.arange(6.0).reshape(2, 3), -np.arange(1.0, 7.0).reshape(2, 3)
    np.testing.assert_array_equal(ut.matrixsort(a, b, ints(3, 1)), [[-1, 1, -3], [-4, 4, -6]])
    v = ut.vectorsort([1.0, 2.0, 3.0, 4.0], [-1.0, -2.0, -3.0], ints(3, 1))
    np.testing.assert_array_equal(v, [-1, 2, -3, 4])


@pytest.mark.parametrize("a_cols,b_cols,mask", [
    (3, 3, [0]), (3, 3, [4]), (3, 3, [2, -1]), (2, 3, [3]), (3, 2, [3]),
])
def test_sort_refuses_a_mask_outside_a_or_b(a_cols, b_cols, mask):
    with pytest.raises(_kestro.error):
        ut.matrixsort(np.zeros((2, a_cols)), np.ones((2, b_cols)), ints(*mask))
    with pytest.raises(_kestro.error):
        ut.vectorsort(np.zeros(a_cols), np.ones(b_cols), ints(*mask))


def test_matrix_sort_needs_the_same_rows_in_a_and_b():
    # Columns are addressed through the row count: a and b must agree on it.
    with pytest.raises(_kestro.error):
        ut.matrixsort(np.zeros((3, 3)), np.ones((2, 3)), ints(2))


# ---------------------------------------------------------------- joining, splitting, reversing

def test_concatenation_side_by_side_and_stacked():
    right = 7 * np.ones((2, 3))
    np.testing.assert_array_equal(ut.matrixconcatenation(A22, right, 0), np.hstack([A22, right]))
    np.testing.assert_array_equal(ut.matrixconcatenation(A22, B12, 1), np.vstack([A22, B12]))
    np.testing.assert_array_equal(ut.matrixconcatenation(A22, B12, 0), [[1, 2, 5, 6], [3, 4, 0, 0]])
    assert ut.matrixconcatenation(A22, B12, 2).shape == (4, 0)


@pytest.mark.parametrize("a,b,ctype",
                         [(np.ones((1, 1)), np.ones((3, 1)), 0), (A22, np.ones((1, 3)), 1)])
def test_concatenation_refuses_blocks_that_do_not_fit(a, b, ctype):
    with pytest.raises(_kestro.error):
        ut.matrixconcatenation(a, b, ctype)


def test_concatenation_refuses_a_result_too_large_to_address(run_python):
    proc = run_python("""
        import numpy as np, _kestro
        try:
            _kestro.utility.matrixconcatenation(np.ones((2, 2)), np.ones((4, 0)), 2**30)
        except _kestro.error:
            print("refused")
    """)
    assert proc.returncode == 0 and b"refused" in proc.stdout


def test_vector_and_matrix_split():
    np.testing.assert_array_equal(ut.vectorsplit(np.arange(1.0, 7.0), 3), [[1, 3, 5], [2, 4, 6]])
    np.testing.assert_array_equal(ut.vectorsplit(np.arange(1.0, 7.0), 4), -np.ones((1, 4)))
    a = np.arange(1.0, 13.0).reshape(6, 2)
    b = ut.matrixsplit(a, 3)
    assert b.shape == (2, 2, 3)
    for j in range(2):
        for c in range(3):
            np.testing.assert_array_equal(b[:, j, c], a[2 * c:2 * c + 2, j])
    np.testing.assert_array_equal(ut.matrixsplit(a, 4), -np.ones((1, 2, 4)))
    for split, arg in ((ut.vectorsplit, a[:, 0]), (ut.matrixsplit, a)):
        with pytest.raises(_kestro.error):
            split(arg, 0)


def test_flips():
    np.testing.assert_array_equal(ut.vectorflip([1.0, 2.0, 3.0]), [3, 2, 1])
    np.testing.assert_array_equal(ut.matrixflip(A22, 0), [[3, 4], [1, 2]])
    np.testing.assert_array_equal(ut.matrixflip(A22, -1), [[2, 1], [4, 3]])


@pytest.mark.parametrize("nsub,kwargs,values,where", [
    (2, {}, [4, 5], [4, 5]), (2, {"tail": 0}, [1, 2], [1, 2]),
    (5, {}, [1, 2, 3, 4, 5], [1, 5]), (6, {}, [1] * 6, [-1, -1]),
])
def test_sub_array(nsub, kwargs, values, where):
    sub, where_found = ut.getsubarray(np.arange(1.0, 6.0), nsub, **kwargs)
    np.testing.assert_array_equal(sub, values)
    np.testing.assert_array_equal(where_found, where)


@pytest.mark.parametrize("x,sflag,expected", [
    ([3, 1, 2, 1], 1, [2, 4, 3, 1]), ([3, 1, 2, 1], -1, [1, 3, 2, 4]), ([NAN, 2, 1], 1, [3, 2, 1]),
])
def test_sorting_permutation_examples(x, sflag, expected):
    np.testing.assert_array_equal(ut.real_getcontinuous(x, sflag), expected)
    if not np.isnan(x).any():
        np.testing.assert_array_equal(ut.int_getcontinuous(ints(*x), sflag), expected)


# Short vectors and long ones take different sorting paths; ties and NaN test stability.
@pytest.mark.parametrize("n", [0, 1, 2, 3, 7, 31, 32, 33, 64, 257])
def test_sorting_permutation_is_numpys_stable_argsort(n):
    rng = np.random.default_rng(1000 + n)
    for _ in range(4):
        x = rng.integers(0, 4, n).astype(float)
        x[rng.random(n) < 0.2] = NAN
        i = rng.integers(-3, 4, n).astype(np.int32)
        for routine, v in ((ut.real_getcontinuous, x), (ut.int_getcontinuous, i)):
            np.testing.assert_array_equal(routine(v, 1), np.argsort(v, kind="stable") + 1)
            np.testing.assert_array_equal(routine(v, -1), np.argsort(-v, kind="stable") + 1)


# ---------------------------------------------------------------- searching and merging

@pytest.mark.parametrize("call,expected", [
    (lambda: ut.int_findlocation(5, ints(1, 5, 5)), 2),
    (lambda: ut.int_findlocation(7, ints(1, 5, 5)), -1),
    (lambda: ut.int_findlocation(7, ints(1, 5, 5), notfound=0), 0),
    (lambda: ut.int_findlocation(1, ints(), notfound=-9), -9),
    (lambda: ut.real_findlocation(NAN, [NAN]), -1),
    (lambda: ut.real_findlocation(0.0, [1.0, -0.0]), 2),
    (lambda: ut.cmplx_findlocation(1j, [1.0, 1j]), 2),
    (lambda: ut.cmplx_findlocation(1j, [1.0 + 1j, 1.0], notfound=0), 0),
    (lambda: ut.int_findsubarray(ints(2, 3), ints(1, 2, 3, 2, 3)), 2),
    (lambda: ut.int_findsubarray(ints(2, 3), ints(1, 2, 3)), 2),
    (lambda: ut.int_findsubarray(ints(3, 1), ints(1, 2, 3)), -1),
    (lambda: ut.int_findsubarray(ints(), ints(1, 2)), 1),
    (lambda: ut.int_findsubarray(ints(1, 2, 3), ints(1, 2), notfound=-7), -7),
    (lambda: ut.real_findsubarray([2.0, 3.0], [1.0, 2.0, 3.0]), 2),
    (lambda: ut.cmplx_findsubarray([1j], [1.0, 1j]), 2),
])
def test_locations(call, expected):
    assert call() == expected


def test_pairs_and_excluded_indices():
    np.testing.assert_array_equal(ut.int_getpairs(ints(3, 1, 9), ints(1, 2, 3)), [3, 1, -1])
    np.testing.assert_array_equal(ut.real_getpairs([3.0, NAN], [3.0, NAN]), [1, -1])
    excluded = ut.getindicesexcludingsubarray(ints(1, 6, 2, 11, 3), ints(0, 6, 7, 9, 10, 11))
    np.testing.assert_array_equal(excluded, [1, 3, 5, -1, -1])


@pytest.mark.parametrize("routine,scalar,values,expected", [
    (ut.int_exlist, 4, ints(4, 4), 1), (ut.int_exlist, 4, ints(4, 5), 0),
    (ut.int_exlist, 4, ints(), 1), (ut.int_inlist, 4, ints(), 0), (ut.int_inlist, 4, ints(1, 4), 1),
    (ut.real_exlist, NAN, [NAN], 0), (ut.real_exlist, 1.0, [1.0, NAN], 0),
    (ut.real_inlist, NAN, [NAN], 0), (ut.real_inlist, 0.0, [-0.0], 1),
])
def test_membership(routine, scalar, values, expected):
    assert routine(scalar, values) == expected


@pytest.mark.parametrize("x,y,kwargs,expected", [
    ([1, 2], [2, 3], {}, [1, 3, 2, None]), ([0, 1], [1], {}, [1, 0, None]),
    ([1, 1], [2], {}, [1, 1, 2]), ([1, 2], [2, 3], {"defval": -5}, [1, 3, 2, -5]),
])
def test_merged(x, y, kwargs, expected):
    for routine, dv, dtype in ((ut.real_getmerged, DV, float),
                               (ut.int_getmerged, 2**31 - 1, np.int32)):
        merged = routine(np.array(x, dtype), np.array(y, dtype), **kwargs)
        np.testing.assert_array_equal(merged, [dv if e is None else e for e in expected])


# ---------------------------------------------------------------- scalars and logical operators

def test_swaps_and_increments():
    assert ut.int_swap(1, 2) == (2, 1)
    assert ut.real_swap(1.5, -2.0) == (-2.0, 1.5)
    assert ut.cmplx_swap(1j, 2.0) == (2.0, 1j)
    assert ut.int_inc(3) == 4 and ut.int_inc(3, -4) == -1
    assert ut.real_inc(1.0, -0.5) == 0.5 and ut.real_inc(1.0) == 2.0


@pytest.mark.parametrize("routine,args,expected", [
    (ut.int_bounded, (5, 5, 5), 1), (ut.int_bounded, (5, 6, 4), 0), (ut.int_bounded, (4, 5, 6), 0),
    (ut.real_bounded, (NAN, 0.0, 1.0), 0), (ut.real_bounded, (1.0, 0.0, 1.0), 1),
])
def test_bounded(routine, args, expected):
    assert routine(*args) == expected


@pytest.mark.parametrize("a,b", [(0, 0), (0, 1), (1, 0), (1, 1)])
def test_logical_operators_truth_tables(a, b):
    results = (ut.logical_nand(a, b), ut.logical_nor(a, b), ut.logical_xor(a, b))
    assert results == (int(not (a and b)), int(not (a or b)), int(a != b))
    assert all(type(r) is int for r in results)


# ---------------------------------------------------------------- process arrival list

def pending():
    return list(jd.processid)


def test_process_arrivals_and_unlock():
    assert ut.processunlock() == 0 and jd.processid is None
    steps = [((1, 3), 0, [-1, 2, 3]), ((3, 3), 0, [-1, 2, -1]), ((2, 3), 1, [-1, -1, -1]),
             ((2, 3), 0, [-1, -1, -1]), ((4, 3), 0, [-1, -1, -1]), ((-1, 3), 0, [-1, -1, -1])]
    for args, all_arrived, state in steps:
        assert ut.processlock(*args) == all_arrived, args
        assert pending() == state, args
    assert ut.processunlock() == 0 and pending() == [1, 2, 3]
    assert [ut.processlock(i, 3) for i in (3, 1, 2)] == [0, 0, 1]


@pytest.mark.parametrize("procid", [-1, 0, 4])
def test_process_id_outside_the_list_records_no_arrival(procid):
    assert ut.processlock(procid, 3) == 0
    assert pending() == [1, 2, 3]


def test_process_list_of_another_size_is_recreated():
    ut.processlock(2, 3)
    assert ut.processlock(1, 2) == 0 and pending() == [-1, 2]
    assert ut.processlock(2, 2) == 1
