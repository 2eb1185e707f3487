"""Ply notations and stiffness services of _kestro.lamina: constants in Nye
form, notation changes, the plane-stress condensation and stiffness or
compliance in another base."""

import numpy as np
import pytest

import _kestro

la = _kestro.lamina
eh = _kestro.errorhandling
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
NYE = [(0, 0), (1, 1), (2, 2), (0, 1), (0, 2), (1, 2)]


def recorded():
    return eh.errstat, bytes(eh.errstring).decode().rstrip(" \0")


def compliance(props):
    """The orthotropic Nye compliance of nine constants, written out independently."""
    e1, e2, e3, n12, n13, n23, g12, g13, g23 = props
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -n12 / e1, -n13 / e1], [-n12 / e1, 1 / e2, -n23 / e2], [-n13 / e1, -n23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    return s


def rotation(axis, degrees):
    """Rows: the new axes in old components, turned by +degrees about an old axis."""
    c, s = np.cos(np.radians(degrees)), np.sin(np.radians(degrees))
    i, j = [(1, 2), (2, 0), (0, 1)][axis]
    r = np.eye(3)
    r[i, i], r[i, j], r[j, i], r[j, j] = c, s, -s, c
    return r


def flip_order(m):
    idx = [0, 1, 2, 5, 4, 3]
    return m[np.ix_(idx, idx)] if m.ndim == 2 else m[idx]


@pytest.mark.parametrize("elastic,expected", [
    ([1.0, 0.25], [1, 1, 1, 0.25, 0.25, 0.25, 0.4, 0.4, 0.4]),
    ([140000, 9000, 0.3, 0.45, 4600], [140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3103.448275862069]),
    (PLY, PLY),
])
def test_nye_properties(elastic, expected):
    np.testing.assert_allclose(la.getnyeproperties(elastic), expected, rtol=1e-15)
    assert recorded()[0] == 0


@pytest.mark.parametrize("count", [3, 10])
def test_unsupported_counts_record_and_give_zeros(count):
    np.testing.assert_array_equal(la.getnyeproperties(np.ones(count)), np.zeros(9))
    assert recorded() == (-2, "Unsupported number of elastic constants in GetNyeProperties")


def test_notations():
    v = np.arange(1.0, 7.0)
    q = la.cauchynotation(v)
    np.testing.assert_array_equal(q, q.T)
    np.testing.assert_array_equal(la.nyenotation(q), [1, 2, 3, 6, 5, 4])
    # Only the upper triangle is read.
    np.testing.assert_array_equal(la.nyenotation(np.triu(q)), [1, 2, 3, 6, 5, 4])
    np.testing.assert_array_equal(la.flipvoigtnyenotation(v), [1, 2, 3, 6, 5, 4])
    m = np.random.default_rng(2).standard_normal((6, 6))
    for a in (v, m, np.asfortranarray(m), m[:, ::-1]):
        np.testing.assert_array_equal(la.flipvoigtnyenotation(a), flip_order(a))
        np.testing.assert_array_equal(la.flipvoigtnyenotation(la.flipvoigtnyenotation(a)), a)


def test_flip_of_another_width_records_and_leaves_the_values():
    q = np.arange(18.0).reshape(6, 3)
    np.testing.assert_array_equal(la.flipvoigtnyenotation(q), q)
    assert recorded() == (-2, "Unsupported dimension in FlipVoigtNyeNotation")


@pytest.mark.parametrize("props", [PLY, [1, 1, 1, 0.25, 0.25, 0.25, 0.4, 0.4, 0.4]])
def test_condensation_gives_the_classical_reduced_stiffness(props):
    c = np.linalg.inv(compliance(props))
    e1, e2, n12, g12 = props[0], props[1], props[3], props[6]
    d = 1 - n12 * n12 * e2 / e1
    expected = np.array([[e1 / d, n12 * e2 / d, 0], [n12 * e2 / d, e2 / d, 0], [0, 0, g12]])
    for kwargs in ({}, {"plflag": 2}):
        qs = la.getreducednyestiffnessmatrix(c, **kwargs)
        np.testing.assert_allclose(qs, expected, rtol=1e-12, atol=1e-12 * e1)
    if props[0] == 1:
        np.testing.assert_allclose(qs, [[16 / 15, 4 / 15, 0], [4 / 15, 16 / 15, 0], [0, 0, 0.4]], rtol=1e-14)


def test_condensation_without_a_through_thickness_stiffness_keeps_the_block():
    c = np.arange(36.0).reshape(6, 6)
    c[2, 2] = 0.0
    np.testing.assert_array_equal(la.getreducednyestiffnessmatrix(c), c[np.ix_([0, 1, 3], [0, 1, 3])])


def test_stiffness_and_compliance_in_a_turned_base():
    s = compliance(PLY)
    c = np.linalg.inv(s)
    base = rotation(2, 30.0)
    s_new = la.getarbitrarybasesc(s, base, 0, 1)
    c_new = la.getarbitrarybasesc(c, base, 1, 1)
    cs, sn = np.cos(np.radians(30)), np.sin(np.radians(30))
    e1, e2, n12, g12 = PLY[0], PLY[1], PLY[3], PLY[6]
    assert s_new[0, 0] == pytest.approx(cs ** 4 / e1 + (1 / g12 - 2 * n12 / e1) * cs ** 2 * sn ** 2 + sn ** 4 / e2,
                                        rel=1e-13)
    np.testing.assert_allclose(c_new @ s_new, np.eye(6), atol=1e-10)
    np.testing.assert_allclose(s_new, s_new.T, rtol=1e-13, atol=1e-20)
    # The same rule in Voigt order gives the flipped Nye results.
    for m, flag, nye in ((s, 0, s_new), (c, 1, c_new)):
        voigt = la.getarbitrarybasesc(flip_order(m), base, flag, 0)
        np.testing.assert_allclose(flip_order(voigt), nye, rtol=1e-13, atol=1e-13 * abs(nye).max())


@pytest.mark.parametrize("base,perm", [
    (rotation(2, 90.0), [1, 0, 2, 3, 5, 4]),
    (np.array([[1.0, 0, 0], [0, 0, 1], [0, 1, 0]]), [0, 2, 1, 4, 3, 5]),
])
def test_axis_permutations_permute_the_components(base, perm):
    c = np.linalg.inv(compliance(PLY))
    c_new = la.getarbitrarybasesc(c, base, 1, 1)
    # Up to the sign of the shear components a turn by 90 degrees flips.
    np.testing.assert_allclose(abs(c_new), abs(c[np.ix_(perm, perm)]), rtol=1e-13, atol=1e-9)
    if np.all(np.isin(base, (0.0, 1.0))):  # an exact permutation of the axes
        np.testing.assert_array_equal(c_new, c[np.ix_(perm, perm)])
    s = compliance(PLY)
    np.testing.assert_allclose(abs(la.getarbitrarybasesc(s, base, 0, 1)), abs(s[np.ix_(perm, perm)]), rtol=1e-13,
                               atol=1e-15 * s.max())


@pytest.mark.parametrize("call", [
    lambda: la.getnyeproperties([]),
    lambda: la.nyenotation(np.ones((3, 2))),
    lambda: la.cauchynotation(np.ones(5)),
    lambda: la.flipvoigtnyenotation(np.ones(5)),
    lambda: la.flipvoigtnyenotation(np.ones((3, 6))),
    lambda: la.getreducednyestiffnessmatrix(np.ones((6, 5))),
    lambda: la.getarbitrarybasesc(np.ones((5, 6)), np.eye(3), 1, 1),
    lambda: la.getarbitrarybasesc(np.eye(6), np.eye(2), 1, 1),
])
def test_bad_shapes_raise(call):
    with pytest.raises(_kestro.error):
        call()
