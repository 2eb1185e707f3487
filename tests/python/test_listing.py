"""The reader of the solver's printed listing: element and node definitions
into the shared element and nodal data."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

io = _kestro.iohandling
ed = _kestro.elementdata
nd = _kestro.nodaldata
eh = _kestro.elementhandling

ELEMENT_HEADING = "E L E M E N T   D E F I N I T I O N S"
NODE_HEADING = "N O D E   D E F I N I T I O N S"


def listing(tmp_path, elements, nodes, name="job.dat"):
    """A listing with the given element lines (number, type, nodes) and node lines (number, coordinates)."""
    lines = ["   listing of the model", "", f"                   {ELEMENT_HEADING}", "",
             " NUMBER  TYPE      PROPERTY   NODES FORMING ELEMENT", "                   REFERENCE", ""]
    lines += [f"{number:9d} {etype:<8s}{1:8d}" + "".join(f" {n:7d}" for n in ns) for number, etype, ns in elements]
    lines += ["", f"              {NODE_HEADING}", "", "    NODE NUMBER     COORDINATES", ""]
    lines += [f"{number:9d}" + "".join(f"{x:15.6E}" for x in xs) for number, xs in nodes]
    lines += ["", " END OF THE LISTING"]
    path = tmp_path / name
    path.write_text("\n".join(lines) + "\n")
    return str(path)


def coordinates(node):
    return (float(node), 10.0 + node, -0.5 * node)


def test_elements_and_extents(tmp_path):
    path = listing(tmp_path, [(1, "S4R", [1, 2, 3, 4]), (2, "S4R", [2, 5, 6, 3]), (5, "T3D2", [1, 2]),
                              (3, "S8R", range(1, 9)), (7, "CINPE4", [1, 2, 3, 4]), (4, "C3D8R", range(1, 9))],
                   [(k, coordinates(k)) for k in range(1, 10)])
    io.getabqdatafromfile(path + "   ")
    assert (ed.nelem, nd.nnodes, nd.ndof) == (4, 8, 6)
    np.testing.assert_array_equal(ed.elemlist, [1, 2, 3, 4])
    np.testing.assert_array_equal(ed.elemkind, [2, 2, 4, 11])
    np.testing.assert_array_equal(ed.elemnodes[:, 0], [1, 2, 3, 4, 0, 0, 0, 0])
    np.testing.assert_array_equal(ed.elemnodes[:, 2], range(1, 9))
    assert not ed.elemnodes[:, 3].any() and not nd.nodalcoords[:, :, 3].any()
    for i in range(3):
        for slot, node in enumerate(ed.elemnodes[:, i]):
            np.testing.assert_allclose(nd.nodalcoords[:, slot, i], coordinates(node) if node else 0.0)
    assert nd.nodesmotion.shape == (6, 8, 4) and not nd.nodesmotion.any()
    assert nd.tnodalmatrices.shape == (3, 3, 8, 4)
    assert recorded()[0] == 0


def test_node_lines(tmp_path):
    # Node 2 again ends the pass; a line of two coordinates is skipped; node 9 is used by no element.
    path = listing(tmp_path, [(1, "S4", [1, 2, 3, 4])],
                   [(1, coordinates(1)), (4, (1.0, 2.0)), (2, coordinates(2)), (3, coordinates(3)),
                    (9, coordinates(9)), (2, (7.0, 7.0, 7.0)), (4, coordinates(4))])
    io.getabqdatafromfile(path)
    np.testing.assert_allclose(nd.nodalcoords[:, :, 0].T, [coordinates(1), coordinates(2), coordinates(3), (0, 0, 0)])


def test_files_without_elements_allocate_nothing(tmp_path):
    empty = listing(tmp_path, [], [(1, coordinates(1))])
    other = listing(tmp_path, [(1, "T3D2", [1, 2]), (2, "B31", [1, 2])], [(1, coordinates(1))], "other.dat")
    for path in (empty, other, str(tmp_path / "missing.dat")):
        io.getabqdatafromfile(path)
        assert ed.elemlist is None and nd.nodalcoords is None and ed.nelem == 0


def test_node_lists_longer_than_the_extent_keep_their_first_nodes(tmp_path):
    # The widest counted type (S4) sets four slots; a longer node list keeps its first four.
    path = listing(tmp_path, [(1, "S4", [1, 2, 3, 4, 5, 6]), (2, "S3", [3, 2, 1])],
                   [(k, coordinates(k)) for k in range(1, 7)])
    io.getabqdatafromfile(path)
    assert ed.elemnodes.shape == (4, 2)
    np.testing.assert_array_equal(ed.elemnodes, [[1, 3], [2, 2], [3, 1], [4, 0]])


def test_a_second_listing_replaces_arrays_of_other_extents(tmp_path):
    small = listing(tmp_path, [(1, "S4", [1, 2, 3, 4])], [(k, coordinates(k)) for k in range(1, 5)], "a.dat")
    large = listing(tmp_path, [(1, "S8R", range(1, 9)), (2, "S8R", range(1, 9)), (3, "S4R5", [1, 2, 3, 4])],
                    [(k, coordinates(k)) for k in range(1, 9)], "b.dat")
    ed.elemindices = np.array([1], np.int32)
    io.getabqdatafromfile(small)
    io.getabqdatafromfile(large)
    assert ed.elemindices is None
    assert (ed.nelem, nd.nnodes, nd.ndof) == (3, 8, 6)
    assert ed.elemnodes.shape == (8, 3) and nd.nodalcoords.shape == (3, 8, 3) and nd.tcurvmatrices.shape == (3, 3, 3)
    np.testing.assert_allclose(nd.nodalcoords[:, 7, 1], coordinates(8))


def test_a_second_listing_of_the_same_extents_drops_the_old_index(tmp_path):
    # An index left from the model read before would skip the second shell.
    shells = [(1, "S4", [1, 2, 3, 4]), (2, "S4", [5, 6, 7, 8])]
    first = listing(tmp_path, shells, [(k, coordinates(k)) for k in range(1, 9)], "a.dat")
    second = listing(tmp_path, shells, [(k, coordinates(10 + k)) for k in range(1, 9)], "b.dat")
    io.getabqdatafromfile(first)
    ed.elemindices = np.array([1, -1], np.int32)
    io.getabqdatafromfile(second)
    assert ed.elemindices is None
    np.testing.assert_allclose(nd.nodalcoords[:, 3, 1], coordinates(18))


def test_flat_square_from_a_listing_gets_identity_frames(tmp_path):
    corners = [(0.0, 0.0), (2.0, 0.0), (2.0, 2.0), (0.0, 2.0), (1.0, 0.0), (2.0, 1.0), (1.0, 2.0), (0.0, 1.0)]
    path = listing(tmp_path, [(7, "S8R", range(1, 9))], [(k, (x + 3.0, y - 1.0, 4.0)) for k, (x, y) in
                                                         enumerate(corners, 1)])
    io.getabqdatafromfile(path)
    ed.elemreforientation[:, 0] = [0, 1, 0, 0, 1, 0, 0]
    assert eh.getnodereferencedata() == 0
    np.testing.assert_allclose(nd.tcurvmatrices[:, :, 0], np.eye(3), atol=1e-15)
    for k in range(8):
        np.testing.assert_allclose(nd.tnodalmatrices[:, :, k, 0], np.eye(3), atol=1e-15)
    np.testing.assert_allclose(ed.elemcurvatures[:, 0], 0.0, atol=1e-15)
    np.testing.assert_allclose(nd.nodalcoords[:, :, 0].T, [(x - 1.0, y - 1.0, 0.0) for x, y in corners], atol=1e-14)


@pytest.mark.parametrize("line, item", [("       2   1.0  x  0.0", '3, "x", is not a real number'),
                                        ("       2   1.0  2.0  3,0", '4, "3,0", is not a real number')])
def test_a_coordinate_that_is_not_a_number_ends_the_process(tmp_path, run_python, line, item):
    path = listing(tmp_path, [(1, "S4", [1, 2, 3, 4])], [(1, coordinates(1))])
    head, tail = open(path).read().split("\n\n END")
    open(path, "w").write(head + "\n" + line + "\n\n END" + tail)
    result = run_python(f"import _kestro; _kestro.iohandling.getabqdatafromfile({path!r})")
    assert result.returncode == 1
    record = head.count("\n") + 2
    assert f"(file {path}), record {record}: item {item}" in result.stderr.decode() + result.stdout.decode()


def test_a_node_item_that_is_not_an_integer_ends_the_process(tmp_path, run_python):
    path = listing(tmp_path, [(1, "S4", [1, 2, 3, 4])], [(1, coordinates(1))])
    text = open(path).read().replace("       3       4\n", "       3     4.5\n")
    open(path, "w").write(text)
    result = run_python(f"import _kestro; _kestro.iohandling.getabqdatafromfile({path!r})")
    assert result.returncode == 1
    assert 'item 7, "4.5", is not an integer' in result.stderr.decode() + result.stdout.decode()


def test_large_node_numbers_and_unit_reuse(tmp_path):
    path = listing(tmp_path, [(1, "S4", [5, 100000, 2000000000, 7])],
                   [(5, coordinates(5)), (7, coordinates(7)), (100000, coordinates(100000)),
                    (2000000000, (1.0, 2.0, 3.0))])
    unit = io.getfreeunitnumber(1, 120)
    io.getabqdatafromfile(path)
    np.testing.assert_allclose(nd.nodalcoords[:, :, 0].T,
                               [coordinates(5), coordinates(100000), (1.0, 2.0, 3.0), coordinates(7)])
    assert io.getunitnumber(path) == -1 and io.getfreeunitnumber(1, 120) == unit
    assert not math.isnan(nd.nodalcoords.sum())
