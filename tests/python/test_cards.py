"""The step and section card readers and the sections' z-coordinates: the
example cards of tests/data, the card syntax, options cut off or without
values, arrays that exist with other shapes, and cycle tables."""

import shutil
from pathlib import Path

import numpy as np
import pytest

import _kestro
from conftest import recorded

io = _kestro.iohandling
sd = _kestro.sectiondata
md = _kestro.materialdata
dd = _kestro.debugdata
sh = _kestro.shokriehdata
DATA = Path(__file__).resolve().parents[1] / "data"
ABSENT = 2147483647


def card(tmp_path, name, text, newline="\n"):
    (tmp_path / f"{name}.zrv").write_bytes(text.replace("\n", newline).encode())
    return str(tmp_path)


def section(lines):
    return "\n".join(["++Begin Section, SecID=5", *lines, "++End Section", ""])


def step_card(tmp_path, body, nsteps=2):
    io.getstepdatafromfile("absent.inp", card(tmp_path, "StepCard", body), nsteps)
    return dd.edebug, dd.ndebug, dd.fdebug, dd.nupdate, dd.verbose, dd.unitid


def test_z_coordinates():
    np.testing.assert_array_equal(
        _kestro.laminate.getsectionzcoord(np.ones((2, 1), np.int32), np.full((2, 1), 0.5)), [[-0.5], [-0.25], [0], [0.25], [0.5]])
    ids = np.array([[1, ABSENT], [9, ABSENT]], np.int32)
    z = _kestro.laminate.getsectionzcoord(ids, np.full((2, 2), 0.25))
    np.testing.assert_array_equal(z[:, 1], 0.0)  # a column all absent
    np.testing.assert_array_equal(z[:, 0], [-0.25, -0.125, 0, 0.125, 0.25])
    np.testing.assert_array_equal(_kestro.laminate.getsectionzcoord(ids, np.full((2, 2), 0.25), defint=9)[:, 0],
                                  [-0.125, 0, 0.125, 0, 0])


@pytest.mark.parametrize("newline", ["\n", "\r\n"])
def test_the_example_section_card(tmp_path, newline):
    text = (DATA / "SectionCard.zrv").read_text()
    for _ in range(2):  # a second read changes nothing
        io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", text, newline))
        assert (sd.nsec, sd.nplies) == (2, 4)
        np.testing.assert_array_equal(sd.secidlist, [7, 12])
        np.testing.assert_array_equal(md.matidlist, [[1, 1], [2, 1], [1, 1], [ABSENT, 1]])
        np.testing.assert_array_equal(sd.plythickness[:, 0], [0.125, 0.125, 0.125, 0])
        np.testing.assert_array_equal(sd.plyorientation, [[0, 45], [90, -45], [0, -45], [0, 45]])
        np.testing.assert_array_equal(sd.seflags[:, 0], [0, 1])
        np.testing.assert_array_equal(sd.xcstrength, [1450.0, 0.0])  # TYPE=INSITU is skipped
        np.testing.assert_array_equal(sd.plyzcoord[:, 0], np.array([-3, -2, -1, 0, 1, 2, 3, 0, 0]) / 16)
        np.testing.assert_allclose(sd.plyzcoord[:, 1], np.linspace(-0.4, 0.4, 9), rtol=0, atol=1e-15)
        assert sd.sefmatrix.shape == (9, 4, 2) and sd.sehmatrix.shape == (2, 2, 2)
    assert recorded()[0] == 0


def test_a_missing_card_changes_and_records_nothing(tmp_path):
    sd.nsec = 3
    io.getsectiondatafromfile(str(tmp_path / "nothing.inp"), str(tmp_path))
    io.getstepdatafromfile(str(tmp_path / "nothing.inp"), str(tmp_path), 2)
    assert sd.nsec == 3 and sd.plyorientation is None and dd.unitid == 0 and recorded()[0] == 0


def test_a_card_inside_the_input_deck(tmp_path):
    deck = tmp_path / "job.inp"
    deck.write_text("*Heading\n" + section(["+Material", "7", "+Orientation", "0, 90, 0", "+Thickness", "0.125"]))
    io.getsectiondatafromfile(str(deck), str(tmp_path / "elsewhere"))
    np.testing.assert_array_equal(md.matidlist[:, 0], [7, 7, 7])
    np.testing.assert_array_equal(sd.plythickness[:, 0], [0.125] * 3)


@pytest.mark.parametrize("lines,nplies,ids", [
    ([], 1, [1]),  # one ply and one section
    (["+Orientation", "0, 90"], 2, [ABSENT, ABSENT]),
    (["+ORIENTATION", "0, 90"], 2, [ABSENT, ABSENT]),
    # Parameters on the orientation line: read, but not counted; the copy stays in the column.
    (["+Orientation, TYPE=ANY", "0, 90, 0, 45, 45", "+Material", "3", "+Thickness", "0.5"], 1, [3]),
    # Leading blanks and a longer key are other keys.
    ([" +Material", "4", "+Materials", "5"], 1, [1]),
])
def test_ply_counts_and_material_presets(tmp_path, lines, nplies, ids):
    sd.nsec = sd.nplies = 1  # as the analysis control sets them before the cards are read
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", section(lines)))
    assert sd.nplies == nplies
    np.testing.assert_array_equal(md.matidlist[:, 0], ids)


@pytest.mark.parametrize("option,value", [("+Strength", 1450.0), ("+Strength, TYPE=DEGRADED", 1450.0),
                                          ("+Strength, TYPE=INSITU", 0.0)])
def test_strength(tmp_path, option, value):
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", section([option, "1450.0"])))
    assert sd.xcstrength[0] == value


def test_existing_arrays_of_other_shapes(tmp_path):
    sd.plyorientation = np.zeros((2, 1))  # the other arrays are missing
    sd.nsec = sd.nplies = 1
    text = section(["+Material", "1 2 3 4", "+Orientation", "0 0 0 0", "+Thickness", "0.1"]) + section(["+Material", "2"])
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", text))
    assert (sd.nsec, sd.nplies) == (2, 4)
    assert sd.plyorientation.shape == (2, 1)  # used as it is
    # The orientation count carries over to the second block's single material.
    np.testing.assert_array_equal(md.matidlist, [[1, 2], [2, 2], [3, 2], [4, 2]])
    np.testing.assert_array_equal(sd.secidlist, [5, 5])


def test_a_section_card_cut_off_inside_a_block(tmp_path):
    text = section(["+Material", "1 2"]) + "++Begin Section, SecID=9\n+Material\n4\n+Orientation\n0 0 0"
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", text))
    np.testing.assert_array_equal(sd.secidlist, [5, 0])
    np.testing.assert_array_equal(md.matidlist[:, 1], [4, ABSENT, ABSENT])  # no single-value copy
    np.testing.assert_array_equal(sd.plyorientation[:, 1], [0, 0, 0])
    assert recorded() == (-2, "SectionCard block 9 ends before its ++End Section line.")
    np.testing.assert_array_equal(_kestro.errorhandling.errintv, [9])


@pytest.mark.parametrize("text,message", [
    (section(["+Material", "+Orientation", "+Thickness"]), "SectionCard block 5 holds no data lines."),
    (section([]), "SectionCard block 5 holds no data lines."),
    (section(["+Strength, TYPE=INSITU", "999.0"]), None),  # a data line, though not read
    # A block cut by the next one's begin line: the next one is read into the same column.
    ("++Begin Section, SecID=3\n+Material\n4\n" + section(["+Material", "6"]),
     "SectionCard block 3 ends before its ++End Section line."),
])
def test_section_blocks_that_cannot_be_used(tmp_path, text, message):
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", text))
    assert recorded() == ((-2, message) if message else (0, ""))


def test_a_step_block_cut_off(tmp_path):
    assert step_card(tmp_path, "++Begin Step, StepID=4\n+Debug, TYPE=ELEMENT\n3\n") == (0, 0, 0, 1, 0, -3)
    assert recorded() == (-2, "StepCard block 4 ends before its ++End Step line.")


def test_the_example_step_card():
    io.getstepdatafromfile("absent.inp", str(DATA), 2)
    assert (dd.edebug, dd.nupdate, dd.verbose, dd.unitid) == (12, 3, 2, 66)
    assert sh.cycleprops.shape == (10, 2)
    np.testing.assert_array_equal(sh.cycleprops[2], [3, 5])
    np.testing.assert_array_equal(sh.cycles, [[1000, 0], [2000, 0], [3000, 0], [4000, 0]])


@pytest.mark.parametrize("body,settings", [
    ("", (0, 0, 0, 1, 0, -3)),
    ("++Begin Step, StepID=1\n+Verbose\n1\n++End Step\n", (0, 0, 0, 1, 1, -3)),
    ("+Update\n10\n++Begin Step\n++End Step\n", (0, 0, 0, 10, 0, -3)),
    ("+Update\n10\n", (0, 0, 0, 1, 0, -3)),
    ("++Begin Step\n+Debug, TYPE=NODAL\n4\n+Debug, TYPE=FILE\n1\n++End Step\n", (0, 4, 1, 1, 0, -3)),
    # Options without values set nothing; the buffer of the first sizes the later ones.
    ("++Begin Step\n+Debug, TYPE=ELEMENT\n+Update, TYPE=INC\n+Verbose\n+Verbose\n5 6\n++End Step\n", (0, 0, 0, 1, 0, -3)),
    ("++Begin Step\n+Verbose\n5\n+Verbose\n7 8\n++End Step\n", (0, 0, 0, 1, 7, -3)),
    # Cut off inside a block: the pending settings are dropped.
    ("++Begin Step\n+Debug, TYPE=ELEMENT\n3\n+Verbose\n2 66", (0, 0, 0, 1, 0, -3)),
])
def test_step_settings(tmp_path, body, settings):
    assert step_card(tmp_path, body) == settings


def test_cycle_properties_and_tables(tmp_path):
    step_card(tmp_path, "++Begin Step\n+Cycle, TYPE=GENERAL\n" + " ".join(str(v) for v in range(1, 13)) + "\n++End Step\n")
    np.testing.assert_array_equal(sh.cycleprops, np.arange(1, 13).reshape(2, 6).T)
    step_card(tmp_path, "+Cycle\n1 2 3 4\n")  # replaces the table, outside a block too
    np.testing.assert_array_equal(sh.cycleprops, [[1, 3], [2, 4]])
    step_card(tmp_path, "++Begin Step\n+Cycle, TYPE=DIRECT\n1 2 3 4 5 6 7 8\n")  # kept although cut off
    np.testing.assert_array_equal(sh.cycles, [[1.0, 1.0]])
    assert sh.cycleprops.shape == (4, 2)


@pytest.mark.parametrize("row6", ["nan", "-3"])
def test_cycle_table_lengths_that_are_not_numbers_of_rows(tmp_path, row6):
    props = " ".join(["1 1 3 1 1", row6] * 2)
    step_card(tmp_path, f"++Begin Step\n+Cycle, TYPE=GENERAL\n{props}\n+Cycle, TYPE=INDIVIDUAL\n5 6\n++End Step\n")
    assert sh.cycles.shape == (0, 2)


@pytest.mark.parametrize("body,nsteps,message", [
    ("+Cycle\n1 2 3\n", 0, "Error: +Cycle needs at least one step in GetStepDataFromFile."),
    ("++Begin Step\n+Cycle, TYPE=INDIVIDUAL\n1 2\n++End Step\n", 2,
     "Error: +Cycle, TYPE=INDIVIDUAL needs cycle properties in GetStepDataFromFile."),
    ("++Begin Step\n+Cycle, TYPE=GENERAL\n1 2 3 4\n+Cycle, TYPE=INDIVIDUAL\n1 2\n++End Step\n", 2,
     "Error: +Cycle, TYPE=INDIVIDUAL needs cycle properties in GetStepDataFromFile."),
])
def test_cycle_options_that_cannot_be_read(tmp_path, body, nsteps, message):
    step_card(tmp_path, body, nsteps)
    assert recorded() == (-2, message)
    assert sh.cycles is None


def test_a_bad_item_ends_the_process(tmp_path, run_python):
    work = card(tmp_path, "SectionCard", section(["+Thickness", "0.125x"]))
    result = run_python(f"import _kestro; _kestro.iohandling.getsectiondatafromfile('absent.inp', {work!r})")
    assert result.returncode == 1
    assert b"SectionCard.zrv" in result.stderr and b"0.125x" in result.stderr


@pytest.mark.parametrize("angles, cut", [(80, True), (42, False)])
def test_a_data_line_past_column_256_is_cut_with_a_warning(tmp_path, angles, cut):
    line = ", ".join(["45.0"] * angles)
    io.getsectiondatafromfile("absent.inp", card(tmp_path, "SectionCard", section(["+Orientation", line])))
    assert sd.nplies == len(line[:256].replace(",", " ").split())
    assert recorded() == ((-2, "Warning: A data line of SectionCard is cut at column 256.") if cut else (0, ""))
