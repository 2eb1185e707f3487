"""The Python forms of module iohandling that need no open unit: ids in names,
element extents, the report, and the checks of extents against strings."""

import pytest

import _kestro

io = _kestro.iohandling


@pytest.mark.parametrize("kind,expected", [("l", 3), ("S", 12), ("m", -1)])
def test_ids_in_names(kind, expected):
    assert io.getxidfromstring("plate_l@3@_s@12@", 16, kind) == expected
    assert io.getxidfromstring("plate_l@3@_s@12@", 16, kind, notfound=-7) == (expected if expected > 0 else -7)


@pytest.mark.parametrize("elemtype,expected", [
    ("S4R", (1, 4, 6)), ("S4R5", (1, 4, 5)), ("STRI3", (1, 3, 6)), ("SC8R", (1, 8, 6)), ("C3D20R", (1, 20, 6)),
])
def test_element_extents_come_back_as_a_tuple(elemtype, expected):
    assert io.getelementdataextents(0, 0, 0, elemtype) == expected


def test_report_and_free_units(tmp_path):
    path = tmp_path / "points.rst"
    io.getgausspointreport(str(path), [1.5, -2.0, 0.0], 12, 3)
    io.getgausspointreport(str(path), [0.25, 1000.0, -0.5], 13, 1)
    lines = path.read_text().splitlines()
    assert lines[0].split() == ["NOEL", "NPT", "x", "y", "z"]
    assert lines[1:] == ["%8d%8d%25.8f%25.8f%25.8f" % row for row in ((12, 3, 1.5, -2, 0), (13, 1, 0.25, 1000, -0.5))]
    assert io.getunitnumber(str(path)) == -1
    assert io.getfreeunitnumber(1, 120) == 1
    assert io.getfreeunitnumber(5, 6) == -1


@pytest.mark.parametrize("call", [
    lambda: io.getxidfromstring("abc", 4, "m"),
    lambda: io.getnumberofkeywords(1, "*Step", 6),
    lambda: io.getsizeofdata(1, "*+", 3),
    lambda: io.real_getdatapoints(1, [0.0, 0.0], 3),
    lambda: io.getxydatapoints(1, [[0.0, 0.0]], 0, 2),
    lambda: io.getddsfromfile(1, [[0.0], [0.0], [0.0]], 2),
])
def test_extents_beyond_their_arrays_or_strings_raise(call):
    with pytest.raises(_kestro.error):
        call()
