"""Nodal patches of quadrilaterals on the plane z = 0: rings around an
element, repeated points, too few columns, and data picked at patch points."""

import numpy as np
import pytest

import _kestro
from conftest import recorded

E = _kestro.elementhandling
EMPTY = -1.7976931348623157e308


def mesh(elements, xy):
    """Node tables of quadrilaterals given by their node numbers, nodes at xy[number]."""
    nodes = np.array(elements, np.int32).T
    coords = np.zeros((3, *nodes.shape))
    for (j, e), n in np.ndenumerate(nodes):
        coords[:2, j, e] = xy[n]
    return coords, nodes


# Unit squares [0, 1] and [1, 2] x [0, 1], nodes numbered from the lower left.
SQUARES = mesh([(1, 2, 5, 4), (2, 3, 6, 5)], {1: (0, 0), 2: (1, 0), 3: (2, 0), 4: (0, 1), 5: (1, 1), 6: (2, 1)})
# A strip of four: element k has nodes k, k + 1, k + 6, k + 5.
STRIP = mesh([(k, k + 1, k + 6, k + 5) for k in range(1, 5)],
             {**{k: (k - 1, 0) for k in range(1, 6)}, **{k + 5: (k - 1, 1) for k in range(1, 6)}})


@pytest.mark.parametrize("tables, elemid, npt, options, points", [
    (SQUARES, 1, 6, {}, [(1, 0), (2, 0), (2, 1), (1, 1)]),
    (SQUARES, 1, 8, {"exflag": 1}, [(0, 0), (1, 0), (1, 1), (0, 1), (2, 0), (2, 1)]),
    (SQUARES, 1, 8, {"ntree": 2}, [(1, 0), (2, 0), (2, 1), (1, 1), (0, 0), (0, 1)]),
    (SQUARES, 1, 8, {"ntree": 10**6}, [(1, 0), (2, 0), (2, 1), (1, 1), (0, 0), (0, 1)]),
    (SQUARES, 2, 8, {"ntree": 0}, [(0, 0), (1, 0), (1, 1), (0, 1)]),
    # Ring by ring: elements 1 and 3, then element 2 itself and 4.
    (STRIP, 2, 20, {"ntree": 2}, [(0, 0), (1, 0), (1, 1), (0, 1), (2, 0), (3, 0), (3, 1), (2, 1), (4, 0), (4, 1)]),
    (STRIP, 1, 20, {}, [(1, 0), (2, 0), (2, 1), (1, 1)]),
])
def test_patch_points(tables, elemid, npt, options, points):
    patch = np.zeros((3, npt), order="F")
    result = E.getnodalpatch(patch, *tables, elemid, **options)
    expected = np.full((3, npt), EMPTY)
    expected[:2, :len(points)] = np.array(points).T
    expected[2, :len(points)] = 0.0
    np.testing.assert_array_equal(patch, expected)
    assert result is patch


def random_mesh(rng, triangles):
    """A grid of 3 to 9 by 3 to 9 cells with jittered nodes, cells split into triangles or not, node
    numbers and element positions shuffled."""
    nx, ny = rng.integers(3, 10, 2)
    xy = np.stack(np.meshgrid(np.arange(nx + 1), np.arange(ny + 1), indexing="ij"), -1).reshape(-1, 2)
    xy = xy + rng.uniform(-0.3, 0.3, xy.shape)
    number = rng.permutation(len(xy)) + 7
    cells = []
    for i in range(nx):
        for j in range(ny):
            a, b, c, d = [(i + di) * (ny + 1) + j + dj for di, dj in ((0, 0), (1, 0), (1, 1), (0, 1))]
            cells += [(a, b, c), (a, c, d)] if triangles else [(a, b, c, d)]
    cells = [cells[k] for k in rng.permutation(len(cells))]
    return mesh([[number[n] for n in cell] for cell in cells], {number[n]: xy[n] for n in range(len(xy))})


def reference_patch(nodes, elemid, rings, exflag=0):
    """The elements 1 to `rings` steps away through shared nodes (and elemid itself from two rings on,
    or with exflag 1), in the order of first appearance for one ring."""
    sets = [set(nodes[:, e]) for e in range(nodes.shape[1])]
    root = elemid - 1
    ring, taken = {root}, {root}
    found = [root] if exflag == 1 else []
    for r in range(rings):
        ring = {e for e in range(len(sets)) if e not in taken and any(sets[e] & sets[f] for f in ring)}
        taken |= ring
        found += sorted(ring) + ([root] if r == 1 and exflag != 1 else [])
        if not ring:
            break
    return sorted(found) if rings == 1 else found


@pytest.mark.parametrize("seed", range(12))
@pytest.mark.parametrize("rings", [1, 2, 3])
@pytest.mark.parametrize("triangles", [False, True])
def test_random_meshes_fill_exactly_their_distinct_points(seed, rings, triangles):
    rng = np.random.default_rng(seed)
    coords, nodes = random_mesh(rng, triangles)
    elemid, exflag = int(rng.integers(1, nodes.shape[1] + 1)), seed % 2
    points = []
    for e in reference_patch(nodes, elemid, rings, exflag):
        points += [tuple(coords[:, j, e]) for j in range(nodes.shape[0]) if tuple(coords[:, j, e]) not in points]
    patch = np.zeros((3, len(points)), order="F")
    E.getnodalpatch(patch, coords, nodes, elemid, ntree=rings, exflag=exflag)
    assert recorded()[0] == 0
    if rings == 1:  # the order of first appearance
        np.testing.assert_array_equal(patch.T, points)
    else:
        assert sorted(map(tuple, patch.T)) == sorted(points)


def test_points_within_the_tolerance_appear_once():
    coords, nodes = SQUARES
    coords = coords.copy()
    coords[0, 0, 1] += 1e-11  # element 2's copy of node 2
    patch = np.zeros((3, 8), order="F")
    E.getnodalpatch(patch, coords, nodes, 1, exflag=1)
    assert (patch[0] != EMPTY).sum() == 6
    E.getnodalpatch(patch, coords, nodes, 1, exflag=1, tolerance=1e-12)
    assert (patch[0] != EMPTY).sum() == 7


def test_too_few_columns_keep_the_first_points():
    patch = np.zeros((3, 3), order="F")
    E.getnodalpatch(patch, *STRIP, 1)
    np.testing.assert_array_equal(patch[:2], [[1, 2, 2], [0, 0, 1]])
    assert recorded() == (-2, "Warning: More patch points than npt in GetNodalPatch.")


def test_a_negative_recursion_keeps_the_columns_and_elements_outside_raise():
    patch = np.full((3, 5), 9.0, order="F")
    E.getnodalpatch(patch, *SQUARES, 1, recursion=-1)
    np.testing.assert_array_equal(patch[:2, :4], [[1, 2, 2, 1], [0, 0, 1, 1]])
    assert (patch[:, 4] == 9.0).all()
    with pytest.raises(_kestro.error, match="elemid"):
        E.getnodalpatch(patch, *SQUARES, 3)


def test_data_at_patch_points():
    coords, _ = STRIP
    refdata = np.arange(2 * 16, dtype=float).reshape((2, 4, 4), order="F")
    points = np.array([[1.0, 0.0], [7.0, 7.0], [0.0, 1.0]]).T
    data = E.getdatafrompatch(refdata, points, coords[:2])
    # (1, 0) is slot 2 of element 1 and slot 1 of element 2: the last wins.
    np.testing.assert_array_equal(data, np.column_stack([refdata[:, 0, 1], [0, 0], refdata[:, 3, 0]]))
