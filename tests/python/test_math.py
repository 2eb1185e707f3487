"""Vector and matrix arithmetic and the dense matrix algebra of module math."""

import itertools

import numpy as np
import pytest

import _kestro

m = _kestro.math
eh = _kestro.errorhandling
DV = np.finfo(np.float64).max
INF, NAN = np.inf, np.nan


def rand(*shape, seed=0):
    return np.random.default_rng(seed).standard_normal(shape)


def spd(n, seed=0):
    a = rand(n, n, seed=seed)
    return a @ a.T + n * np.eye(n)


def recorded():
    """(errstat, errstring without the padding)."""
    return eh.errstat, bytes(eh.errstring).decode().rstrip(" \0")


# ---------------------------------------------------------------- inverse and determinants

def test_inverse_of_a_known_matrix():
    np.testing.assert_allclose(m.matrixinverse([[4.0, 7.0], [2.0, 6.0]]), [[0.6, -0.7], [-0.2, 0.4]],
                               atol=1e-15)
    assert recorded()[0] == 0


@pytest.mark.parametrize("n", [1, 2, 5, 23, 40])
def test_inverse_agrees_with_numpy(n):
    a = rand(n, n, seed=n)
    np.testing.assert_allclose(m.matrixinverse(a), np.linalg.inv(a), atol=1e-12)


@pytest.mark.parametrize("a,factors", [
    (np.zeros((2, 2)), np.zeros((2, 2))),
    ([[1.0, 2.0], [2.0, 4.0]], [[2.0, 4.0], [0.5, 0.0]]),  # rows swapped, U(2,2) = 0
])
def test_singular_inverse_records_the_error_and_returns_the_lu_factors(a, factors):
    np.testing.assert_array_equal(m.matrixinverse(a), factors)
    stat, text = recorded()
    assert stat == -2 and text.startswith("Matrix inverse becomes numerically singular!")
    assert len(eh.errintv) == 2 and len(eh.errrealv) == 2 and eh.errasciim.shape == (8, 2)


@pytest.mark.parametrize("n", range(1, 6))
def test_determinant_and_permanent_by_expansion(n):
    a = rand(n, n, seed=10 + n)
    permanent = sum(np.prod(a[range(n), p]) for p in itertools.permutations(range(n)))
    assert m.determinant(a) == pytest.approx(np.linalg.det(a), abs=1e-12)
    assert m.determinant(a, pdflag=1) == pytest.approx(permanent, abs=1e-12)
    assert m.lufactdeterminant(a) == pytest.approx(np.linalg.det(a), abs=1e-12)


def test_determinant_of_a_known_matrix():
    assert m.determinant([[1.0, 2.0], [3.0, 4.0]]) == -2.0
    assert m.determinant([[1.0, 2.0], [3.0, 4.0]], pdflag=1) == 10.0


@pytest.mark.parametrize("a,det", [(np.eye(3), 1.0), (np.eye(3)[[1, 0, 2]], -1.0),
                                   (np.eye(4)[[3, 0, 1, 2]], -1.0), (np.diag([2.0, -3.0, 0.5]), -3.0)])
def test_lu_determinant_follows_the_row_swaps(a, det):
    assert m.lufactdeterminant(a) == det
    assert recorded()[0] == 0


def test_lu_determinant_of_equal_rows_is_zero_and_records_the_singularity():
    assert m.lufactdeterminant([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0], [1.0, 2.0, 3.0]]) == 0.0
    assert recorded() == (-2, "Singularity in LU-factorization computation")


# ---------------------------------------------------------------- minors

def test_known_minor_and_cofactor():
    sm = np.array([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0], [7.0, 8.0, 10.0]])
    assert m.getfirstminor(sm, 1, 2) == pytest.approx(-4.0, abs=1e-12)
    assert m.getprincipleminor(sm, 1) == 1.0
    assert m.getprincipleminor(sm, 2) == pytest.approx(-3.0, abs=1e-12)
    assert m.getprincipleminor(sm, 3) == pytest.approx(-3.0, abs=1e-12)


@pytest.mark.parametrize("mij,i,j,cofactor", [(5.0, 1, 2, -5.0), (5.0, 2, 2, 5.0), (-1.5, 3, 1, -1.5),
                                              (2.0, 4, 1, -2.0)])
def test_cofactor_sign(mij, i, j, cofactor):
    assert m.getcofactor(mij, i, j) == cofactor


@pytest.mark.parametrize("k", [1, 2, 4, 5])
def test_minors_agree_with_numpy(k):
    sm = rand(k, k, seed=20 + k)
    for i, j in itertools.product(range(1, k + 1), repeat=2):
        # without row j and column i
        kept = np.delete(np.delete(sm, j - 1, axis=0), i - 1, axis=1)
        assert m.getfirstminor(sm, i, j) == pytest.approx(np.linalg.det(kept), abs=1e-12)
    for i in range(1, k + 1):
        assert m.getprincipleminor(sm, i) == pytest.approx(np.linalg.det(sm[:i, :i]), abs=1e-12)


def test_first_minor_keeps_entries_of_the_largest_negative_magnitude():
    sm = np.array([[1.0, 2.0, 3.0], [4.0, -DV, 6.0], [7.0, 8.0, 9.0]])
    assert m.getfirstminor(sm, 3, 3) == pytest.approx(np.linalg.det([[1.0, 2.0], [4.0, -DV]]))


# ---------------------------------------------------------------- factorisations and eigenproblems

@pytest.mark.parametrize("a", [[[1.0, 2.0], [2.0, 1.0]], [[1.0, 1.0], [1.0, 1.0]], [[-1.0]]])
def test_cholesky_of_a_matrix_that_is_not_positive_definite(a):
    c = m.choleskyfactorization(a)
    assert np.all(c == -1.7976931348623157e308)
    assert recorded()[0] == 0


def test_cholesky_of_a_known_matrix_keeps_the_lower_triangle_of_a():
    np.testing.assert_allclose(m.choleskyfactorization([[4.0, 2.0], [2.0, 3.0]]),
                               [[2.0, 1.0], [2.0, np.sqrt(2.0)]], rtol=1e-15)


@pytest.mark.parametrize("n", [1, 3, 7, 30])
def test_cholesky_reads_the_upper_triangle(n):
    a = spd(n, seed=n)
    a_skewed = np.triu(a) + np.tril(rand(n, n, seed=99), -1)  # lower triangle is not read
    c = m.choleskyfactorization(a_skewed)
    np.testing.assert_allclose(np.triu(c), np.linalg.cholesky(a).T, atol=1e-12)
    np.testing.assert_array_equal(np.tril(c, -1), np.tril(a_skewed, -1))


@pytest.mark.parametrize("n", [1, 2, 5, 23, 40])
def test_eigenvalues_of_the_upper_triangle_ascending(n):
    a = rand(n, n, seed=30 + n)
    np.testing.assert_allclose(m.matrixeigenvalues(a), np.linalg.eigvalsh(a, UPLO="U"), atol=1e-12)


@pytest.mark.parametrize("n", [1, 2, 5, 23, 40])
def test_eigenvectors_are_orthonormal_and_ordered(n):
    a = rand(n, n, seed=40 + n)
    a = a + a.T
    z, w = m.matrixeigenvectors(a)
    np.testing.assert_allclose(w, np.linalg.eigvalsh(a), atol=1e-12)
    assert np.all(np.diff(w) >= 0)
    np.testing.assert_allclose(z.T @ z, np.eye(n), atol=1e-12)
    np.testing.assert_allclose(a @ z, z * w, atol=1e-12)


@pytest.mark.parametrize("eigvals,expected", [
    ([-1.0, -1.0], [1.0, 3.0]), ([-1.0, -5.0], [1.0, 3.0]),
    ([-1.0, 0.0], [-1.0, 0.0]), ([2.0, -1.0], [2.0, -1.0]), ([-1.0, NAN], [-1.0, NAN]),
])
def test_eigenvalues_are_returned_only_when_all_requested(eigvals, expected):
    given = np.array(eigvals)
    z, w = m.matrixeigenvectors(np.diag([3.0, 1.0]), eigvals=given)
    np.testing.assert_array_equal(w, expected)
    np.testing.assert_array_equal(np.abs(z), [[0.0, 1.0], [1.0, 0.0]])
    np.testing.assert_array_equal(given, eigvals)  # the caller's array is left alone


@pytest.mark.parametrize("shape", [(3, 3), (2, 5), (5, 2), (1, 4), (4, 1), (1, 1), (30, 4), (4, 30)])
def test_singular_value_decomposition_rebuilds_a(shape):
    a = rand(*shape, seed=sum(shape))
    u, s, v = m.singularvaluedecomposition(a)
    assert u.shape == (shape[0],) * 2 and s.shape == shape and v.shape == (shape[1],) * 2
    np.testing.assert_allclose(u @ s @ v, a, atol=1e-12)  # v holds the right vectors as rows
    np.testing.assert_allclose(u @ u.T, np.eye(shape[0]), atol=1e-12)
    np.testing.assert_allclose(v @ v.T, np.eye(shape[1]), atol=1e-12)
    np.testing.assert_allclose(np.diag(s), np.linalg.svd(a, compute_uv=False), atol=1e-12)
    off = s.copy()
    np.fill_diagonal(off, 0.0)
    assert not off.any()


def test_power_iteration_finds_the_dominant_eigenpair():
    val, vec = m.poweriteration(np.diag([2.0, -3.0]))
    assert val == pytest.approx(-3.0, abs=1e-9)
    np.testing.assert_allclose(np.abs(vec), [0.0, 1.0], atol=1e-9)
    a = spd(6, seed=5)
    w, z = np.linalg.eigh(a)
    val, vec = m.poweriteration(a)
    assert val == pytest.approx(w[-1], rel=1e-10)
    np.testing.assert_allclose(np.abs(vec), np.abs(z[:, -1]), atol=1e-8)
    assert recorded()[0] == 0


def test_power_iteration_of_the_zero_matrix():
    val, vec = m.poweriteration(np.zeros((2, 2)))
    assert val == 0.0 and not vec.any()
    assert recorded()[0] == 0


def test_power_iteration_without_convergence_records_and_returns_the_last_pass():
    val, vec = m.poweriteration(np.array([[2.0, 1.0], [1.0, 3.0]]), maxiter=1)
    stat, text = recorded()
    assert stat == -2 and text == "No convergence in von Mises eigenvalue computation"
    np.testing.assert_allclose(vec, [0.6, 0.8], atol=1e-15)  # a (1, 1) normalised
    assert val == pytest.approx(vec @ [[2.0, 1.0], [1.0, 3.0]] @ vec)


def test_conjugate_gradient_solves_a_known_system():
    np.testing.assert_allclose(m.conjucategradient([[4.0, 1.0], [1.0, 3.0]], [1.0, 2.0], [0.0, 0.0]),
                               [1 / 11, 7 / 11], atol=1e-14)
    start = np.array([0.0, 0.5])
    solved = m.conjucategradient([[4.0, 0.0], [0.0, 3.0]], [0.0, 1.5], start)
    np.testing.assert_array_equal(solved, start)


@pytest.mark.parametrize("n", [1, 4, 12])
def test_conjugate_gradient_agrees_with_numpy(n):
    a, b = spd(n, seed=n), rand(n, seed=n + 1)
    np.testing.assert_allclose(m.conjucategradient(a, b, rand(n, seed=3)), np.linalg.solve(a, b),
                               atol=1e-10)
    with pytest.raises(_kestro.error):
        m.conjucategradient(np.ones((n, n + 1)), np.ones(n + 1), np.zeros(n + 1))


def test_householder_matrix_of_a_unit_vector_is_an_orthogonal_reflection():
    v = rand(5, seed=7)
    v /= np.linalg.norm(v)
    h = m.gethouseholdertransformationmatrix(v)
    np.testing.assert_allclose(h, np.eye(5) - 2 * np.outer(v, v), atol=1e-15)
    np.testing.assert_allclose(h, h.T, atol=0)
    np.testing.assert_allclose(h @ h, np.eye(5), atol=1e-14)
    np.testing.assert_allclose(h @ v, -v, atol=1e-14)


# ---------------------------------------------------------------- products

@pytest.mark.parametrize("sa,sb", list(itertools.product("NnTt", repeat=2)))
@pytest.mark.parametrize("mm,k,n", [(3, 4, 2), (1, 5, 3), (4, 1, 1), (2, 2, 5)])
def test_general_matrix_product(sa, sb, mm, k, n):
    a, b, c = rand(mm, k, seed=1), rand(k, n, seed=2), rand(mm, n, seed=3)
    given_a = a if sa in "Nn" else np.ascontiguousarray(a.T)
    given_b = b if sb in "Nn" else np.ascontiguousarray(b.T)
    d = m.generalmatrixproduct(1.5, given_a, given_b, -0.5, c, sa, sb)
    np.testing.assert_allclose(d, 1.5 * a @ b - 0.5 * c, atol=1e-13)


def test_general_matrix_product_transposes_a():
    a = np.array([[1.0, 2.0], [3.0, 4.0]])
    np.testing.assert_array_equal(m.generalmatrixproduct(1.0, a, np.eye(2), 0.0, np.zeros((2, 2)), "t", "n"),
                                  a.T)


@pytest.mark.parametrize("a,b,sa,sb", [
    (np.ones((3, 4)), np.ones((4, 2)), "x", "n"),
    (np.ones((3, 4)), np.ones((4, 2)), "n", "x"),
    (np.ones((3, 4)), np.ones((2, 2)), "n", "n"),  # b too short for k = 4
    (np.ones((3, 4)), np.ones((3, 2)), "t", "n"),
])
def test_general_matrix_product_refuses_bad_flags_and_factors(a, b, sa, sb):
    with pytest.raises(_kestro.error):
        m.generalmatrixproduct(1.0, a, b, 0.0, np.zeros((3, 2)), sa, sb)


def test_matrix_product_skips_zero_entries_of_b():
    np.testing.assert_array_equal(m.matrixproduct([[INF, 1.0]], [[0.0], [2.0]]), [[2.0]])
    assert np.isnan(m.matrixproduct([[INF, 1.0]], [[NAN], [2.0]])[0, 0])


A34, B4, A3 = rand(3, 4, seed=50), rand(4, seed=51), rand(3, seed=52)
U, V, W = rand(3, seed=53), rand(3, seed=54), rand(3, seed=55)


@pytest.mark.parametrize("routine,args,expected", [
    (m.matrixproduct, (A34, rand(4, 5, seed=56)), A34 @ rand(4, 5, seed=56)),
    (m.matrixvectorproduct, (A34, B4), A34 @ B4),
    (m.vectormatrixproduct, (A3, A34), A3 @ A34),
    (m.dyadenproduct, (A3, B4), np.outer(A3, B4)),
    (m.kroneckerproduct, (A34, rand(2, 3, seed=57)), np.kron(A34, rand(2, 3, seed=57))),
    (m.kroneckerproduct, ([[1.0, 2.0, 3.0]], [[1.0], [10.0]]), [[1, 2, 3], [10, 20, 30]]),
    (m.dotproduct, (B4, B4[::-1]), B4 @ B4[::-1]),
    (m.crossproduct, (U, V), np.cross(U, V)),
    (m.vectortripleproduct, (U, V, W), np.cross(U, np.cross(V, W))),
    (m.scalartripleproduct, (U, V, W), U @ np.cross(V, W)),
    (m.matrixsymmetrize, (A34[:, :3],), (A34[:, :3] + A34[:, :3].T) / 2),
    (m.matrixtranspose, (A34,), A34.T),
    (m.trace, (A34[:, :3],), np.trace(A34[:, :3])),
])
def test_products_and_services_agree_with_numpy(routine, args, expected):
    np.testing.assert_allclose(routine(*args), expected, rtol=1e-14, atol=1e-14)


def test_packed_symmetric_matrix_vector_product():
    np.testing.assert_array_equal(m.lumatrixvectorproduct([1.0, 2.0, 3.0], [1.0, 1.0]), [3.0, 5.0])
    s = rand(5, 5, seed=60)
    packed = np.concatenate([s[i, i:] for i in range(5)])  # upper triangle row by row
    b = rand(5, seed=61)
    np.testing.assert_allclose(m.lumatrixvectorproduct(packed, b), (np.triu(s) + np.triu(s, 1).T) @ b,
                               atol=1e-14)
    with pytest.raises(_kestro.error):
        m.lumatrixvectorproduct([1.0, 2.0], [1.0, 1.0])


@pytest.mark.parametrize("routine,a,b,expected", [
    (m.hadamardproduct, [[0.0, 2.0]], [[INF, 3.0]], [[0.0, 6.0]]),
    (m.hadamardproduct, [[NAN, -0.0, 2.0]], [[2.0, NAN, -4.0]], [[NAN, 0.0, -8.0]]),
    (m.hadamarddivision, [[1.0, 4.0]], [[0.0, 2.0]], [[0.0, 2.0]]),
    (m.hadamarddivision, [[NAN, 0.0, NAN]], [[0.0, NAN, 2.0]], [[0.0, 0.0, NAN]]),
    (m.hadamarddivision, [[1.0, -3.0], [5.0, 0.0]], [[2.0, INF], [-0.5, 0.0]], [[0.5, -0.0], [-10.0, 0.0]]),
])
def test_hadamard_operations_skip_zero_entries(routine, a, b, expected):
    np.testing.assert_array_equal(routine(a, b), expected)


# ---------------------------------------------------------------- in-place sums and scalings

X2, Y2 = np.array([[1.0, -2.0], [0.0, 4.0]]), np.array([[0.5, 3.0], [-1.0, 2.0]])
X1, Y1 = X2[:, 0].copy(), Y2[:, 1].copy()


@pytest.mark.parametrize("routine,first,rest,expected", [
    (m.vectorsum, X1, (Y1,), X1 + Y1),
    (m.vectorsub, X1, (Y1,), X1 - Y1),
    (m.matrixsum, X2, (Y2,), X2 + Y2),
    (m.matrixsub, X2, (Y2,), X2 - Y2),
    (m.vectorscalarmultiplication, X1, (Y1, -2.0), X1 - 2.0 * Y1),
    (m.matrixscalarmultiplication, X2, (Y2, 3.0), X2 + 3.0 * Y2),
    (m.vectoramplify, X1, (-3.0,), -3.0 * X1),
    (m.matrixamplify, X2, (0.5,), 0.5 * X2),
])
def test_in_place_routines_copy_by_default_and_overwrite_on_request(routine, first, rest, expected):
    given = first.copy()
    result = routine(given, *rest)
    assert result is not given
    np.testing.assert_array_equal(result, expected)
    np.testing.assert_array_equal(given, first)

    target = np.array(first, order="F")  # a copy: the parameters are shared between cases
    assert routine(target, *rest, overwrite_a=1) is target
    np.testing.assert_array_equal(target, expected)


def test_amplify_leaves_zeros_alone():
    np.testing.assert_array_equal(m.matrixamplify(np.array([[0.0, 1.0], [-2.0, 0.0]]), INF),
                                  [[0.0, INF], [-INF, 0.0]])
    out = m.vectoramplify(np.array([-0.0, 0.0, 2.0]), -1.0)
    np.testing.assert_array_equal(np.signbit(out), [True, False, True])
    assert np.isnan(m.vectoramplify(np.array([NAN]), 0.0)[0])


# ---------------------------------------------------------------- matrix services

@pytest.mark.parametrize("k,expected", [(0, [1.0, 4.0]), (1, [2.0]), (-1, [3.0]), (2, []), (-2, [])])
def test_diagonal(k, expected):
    np.testing.assert_array_equal(m.matrixdiagonal([[1.0, 2.0], [3.0, 4.0]], k), expected)


@pytest.mark.parametrize("k", range(-4, 5))
def test_diagonal_agrees_with_numpy_and_refuses_offsets_beyond_the_order(k):
    a = rand(4, 4, seed=70)
    np.testing.assert_array_equal(m.matrixdiagonal(a, k), np.diagonal(a, k))
    with pytest.raises(_kestro.error):
        m.matrixdiagonal(a, 5 if k >= 0 else -5)


@pytest.mark.parametrize("routine,kwargs,expected", [
    (m.cumulativesum, {}, [1.0, 3.0, 6.0]), (m.cumulativesum, {"seed": 10.0}, [11.0, 13.0, 16.0]),
    (m.cumulativeproduct, {}, [1.0, 2.0, 6.0]), (m.cumulativeproduct, {"seed": 2.0}, [2.0, 4.0, 12.0]),
])
def test_cumulative_sums_and_products(routine, kwargs, expected):
    np.testing.assert_array_equal(routine([1.0, 2.0, 3.0], **kwargs), expected)


@pytest.mark.parametrize("x,expected", [
    ([1, 2, 3], 2), ([1, 1, 2], 1), ([3, 2, 1], -2), ([2, 2, 1], -1), ([5, 5], -1), ([1, 3, 2], 0),
    ([7], -2), ([1, NAN, 2], 0), ([-INF, 0, INF], 2),
])
def test_monotonicity(x, expected):
    assert m.monoticity(np.array(x, dtype=float)) == expected


@pytest.mark.parametrize("x,expected", [
    ([[1.0, 3.0], [2.0, 5.0]], [[0.0, 0.5], [0.25, 1.0]]),
    ([[1.0, NAN], [3.0, 5.0]], [[0.0, NAN], [0.5, 1.0]]),
    ([[2.0, 2.0], [2.0, 2.0]], [[NAN, NAN], [NAN, NAN]]),
])
def test_normalize_maps_onto_the_unit_interval(x, expected):
    np.testing.assert_array_equal(m.matrixnormalize(x), expected)
    np.testing.assert_array_equal(m.vectornormalize(np.ravel(x, order="F")), np.ravel(expected, order="F"))
