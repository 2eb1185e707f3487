"""The material card reader: the example card of tests/data on the plies of a
section card, temperatures and their factor tables, the count limits of the
options, the cure group, calibration rows and the cases it refuses."""

import shutil
from pathlib import Path

import numpy as np
import pytest

import _kestro
from conftest import recorded

io = _kestro.iohandling
sd = _kestro.sectiondata
md = _kestro.materialdata
DATA = Path(__file__).resolve().parents[1] / "data"
HUGE = np.finfo(np.float64).max
ABSENT = 2147483647
ELASTIC = [140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100]


def sections(tmp_path, materials="1, 2, 1"):
    """A section card of one section with the given material ids, read as the analysis control does."""
    plies = len(materials.split(","))
    (tmp_path / "SectionCard.zrv").write_text(
        f"++Begin Section, SecID=1\n+Material\n{materials}\n+Orientation\n{', '.join(['0'] * plies)}\n"
        "+Thickness\n0.1\n++End Section\n")
    sd.nsec = sd.nplies = 1
    io.getsectiondatafromfile("absent.inp", str(tmp_path))


def materials(tmp_path, *blocks, materials_of_plies="1, 2, 1"):
    sections(tmp_path, materials_of_plies)
    text = "".join(f"++Begin Material, MatID={number}\n{body}++End Material\n" for number, body in blocks)
    (tmp_path / "MaterialCard.zrv").write_text(text)
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), int(sd.nplies), int(sd.nsec))


def read_example(tmp_path):
    shutil.copy(DATA / "MaterialCard.zrv", tmp_path)
    sections(tmp_path)
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), int(sd.nplies), int(sd.nsec))


def test_the_example_card(tmp_path):
    read_example(tmp_path)
    np.testing.assert_array_equal(md.temperatures, [20, 80, 120])
    assert md.ntempdata == 3 and md.peprops.shape == (30, 3, 1) and md.psprops.shape == (33, 3, 1)
    factors = [(1.0, 1.0), (0.9, 0.8), (0.75, 0.75)]
    strengths = [2000, 50, 50, 1200, 200, 200, 80, 80, 60, 90]
    for ply in (0, 2):
        for slot, (fe, fs) in enumerate(factors):
            np.testing.assert_allclose(md.peprops[10 * slot:10 * slot + 9, ply, 0], np.multiply(ELASTIC, fe), rtol=1e-15)
            np.testing.assert_allclose(md.psprops[11 * slot:11 * slot + 10, ply, 0], np.multiply(strengths, fs), rtol=1e-15)
        np.testing.assert_array_equal(md.pelimits[:, ply, 0], [0.9, 0.9, 0.9, 0.5, 0.9, 0.9] * 2)
        np.testing.assert_array_equal(md.pfflags[:, ply, 0], [1, 2, 3, 4, 0])
        np.testing.assert_array_equal(md.peflags[:, ply, 0], [1, 1, 1, 1, 0])
    np.testing.assert_allclose(md.peprops[:9, 1, 0], [70000] * 3 + [0.3] * 3 + [26923.076923076922] * 3, rtol=1e-15)
    np.testing.assert_array_equal(md.peprops[9:, 1, 0], 0.0)
    np.testing.assert_array_equal(md.psprops[:, 1, 0], 0.0)  # eleven strengths are dropped
    np.testing.assert_array_equal(md.pelimits[:, 1, 0], -1.0)
    np.testing.assert_array_equal(md.phprops[:2, 1, 0], [1e-5, 2e-5])
    assert md.pdprops.shape == (1, 3, 1) and (md.pdprops == HUGE).all()
    assert md.cuprops.shape == (7, 8, 3, 1) and (md.cuprops == HUGE).all()
    np.testing.assert_array_equal(md.r_crit, [0.35])
    assert md.i10 is None
    assert md.secantprops.shape == (3, 3, 2)
    np.testing.assert_array_equal(md.secantprops[0], [[0, 0], [0.01, 1000], [0.02, 1800]])
    # The first block dropped is named: material 2, its count and the counts taken.
    assert recorded() == (-2, "MaterialCard block 2: +Strength has 11 values, takes at most 10.")
    np.testing.assert_array_equal(_kestro.errorhandling.errintv, [2, 11, 0, 10])


def test_read_twice_then_a_new_analysis(tmp_path):
    read_example(tmp_path)
    first = {name: np.copy(getattr(md, name)) for name in ("temperatures", "peprops", "psprops", "cuprops")}
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), int(sd.nplies), int(sd.nsec))
    for name, values in first.items():
        np.testing.assert_array_equal(getattr(md, name), values)
    _kestro.datahandling.deallocall()  # keeps the temperatures
    materials(tmp_path, (1, "+Temperature\n50\n+Elastic\n1, 0.25\n"))
    np.testing.assert_array_equal(md.temperatures, [50])
    assert md.peprops.shape == (9, 3, 1)


@pytest.mark.parametrize("body,table,ply,expected,dropped", [
    ("+Elastic\n1, 0.25\n", "peprops", 0, [1, 1, 1, 0.25, 0.25, 0.25, 0.4, 0.4, 0.4], None),
    ("+Elastic\n1 2 3 4 5 6 7 8 9 10\n", "peprops", 0, [0.0] * 10, "+Elastic has 10 values, takes 2 to 9."),
    ("+Elastic\n70000\n+Strength\n5\n", "peprops", 0, [0.0] * 9, "+Elastic has 1 value, takes 2 to 9."),
    ("+Strength\n1 2 3 4 5 6 7 8 9 10\n", "psprops", 0, list(range(1, 11)), None),
    ("+Strength\n1 2 3 4 5 6 7 8 9 10 11\n", "psprops", 0, [0.0] * 11, "+Strength has 11 values, takes at most 10."),
    ("+Failure, TYPE=DEGRADATION\n1 2 3 4 5 6\n", "pelimits", 0, [1, 2, 3, 4, 5, 6] * 2, None),
    ("+Failure, TYPE=DEGRADATION\n1 2 3 4 5 6 7\n", "pelimits", 0, [-1.0] * 12,
     "+Failure, TYPE=DEGRADATION has 7 values, takes 6 or 12."),
    ("+Failure\n3 1\n", "pfflags", 0, [3, 1, 0, 0, 0], None),
    ("+Failure, TYPE=INITIATION\n3 1\n", "pfflags", 0, [3, 1, 0, 0, 0], None),
    ("+Failure, TYPE=EVOLUTION\n1 1 1 1 1 1\n", "peflags", 0, [0] * 5,
     "+Failure, TYPE=EVOLUTION has 6 values, takes at most 5."),
    ("+Failure, TYPE=PROPERTIES\n0.5 0.25\n", "pdprops", 0, [0.5, 0.25], None),
    ("+Fracture\n1 2 3 4 5 6\n", "pfprops", 0, [0.0] * 6, "+Fracture has 6 values, takes at most 5."),
    ("+STRENGTHS\n1 2\n", "psprops", 0, [0.0] * 10, None),  # not "+Strength"
    ("+Elastic\n1, 0.25\n", "peprops", 1, [0.0] * 9, None),  # ply 2 is material 2
])
def test_options_and_their_limits(tmp_path, body, table, ply, expected, dropped):
    materials(tmp_path, (1, body))
    np.testing.assert_allclose(getattr(md, table)[:, ply, 0], expected, rtol=1e-15)
    assert recorded() == ((-2, "MaterialCard block 1: " + dropped) if dropped else (0, ""))


CUT = "MaterialCard block {} ends before its ++End Material line."


@pytest.mark.parametrize("text,message,ply2", [
    # The example card cut in half, inside its first block: nothing of it is stored.
    ("".join((DATA / "MaterialCard.zrv").read_text().splitlines(True)[:19]), CUT.format(1), 0.0),
    # A block cut by the next one's begin line; the next one is read.
    ("++Begin Material, MatID=1\n+Elastic\n1, 0.25\n++Begin Material, MatID=2\n+Elastic\n2, 0.25\n"
     "++End Material\n", CUT.format(1), 2.0),
    # Blocks holding only key lines.
    ("++Begin Material, MatID=1\n++End Material\n", "MaterialCard block 1 holds no data lines.", 0.0),
    ("++Begin Material, MatID=2\n+Elastic\n+Strength\n++End Material\n",
     "MaterialCard block 2 holds no data lines.", 0.0),
    # Data lines of options that are not read are data lines still.
    ("++Begin Material, MatID=1\n+Density\n1.5\n++End Material\n", None, 0.0),
])
def test_blocks_that_cannot_be_used(tmp_path, text, message, ply2):
    sections(tmp_path)
    (tmp_path / "MaterialCard.zrv").write_text(text)
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 3, 1)
    assert recorded() == ((-2, message) if message else (0, ""))
    np.testing.assert_array_equal(md.peprops[0, :, 0], [0.0, ply2, 0.0])


def test_no_temperatures_and_a_missing_cure_block(tmp_path):
    cure = "".join(f"{key}\n1 2\n" for key in ("+GelPoint", "+Enthalpie", "+Expansion", "+Shrinkage", "+Curing",
                                                "+Transition", "+Curing, TYPE=RATE"))
    materials(tmp_path, (1, cure))
    np.testing.assert_array_equal(md.temperatures, [HUGE])
    assert md.ntempdata == 1
    assert (md.cuprops == HUGE).all()  # TYPE=MASTER is missing


def test_temperatures_count_what_was_read(tmp_path):
    # A block cut off by the end of the card still gives its temperatures.
    sections(tmp_path, "1")
    (tmp_path / "MaterialCard.zrv").write_text("++Begin Material, MatID=1\n+Temperature\n80 20 120\n")
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 1, 1)
    np.testing.assert_array_equal(md.temperatures, [20, 80, 120])
    assert md.ntempdata == 3 and md.peprops.shape == (27, 1, 1)
    # Absent markers left in the list are no temperatures.
    md.temperatures = np.full(3, HUGE)
    (tmp_path / "MaterialCard.zrv").write_text("++Begin Material, MatID=1\n+Strength\n1\n++End Material\n")
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 1, 1)
    assert md.ntempdata == 1


def test_the_cure_group_of_a_one_ply_model(tmp_path):
    cure = ("+GelPoint\n1 2 3 4 5 6 7 8 9 10\n+Enthalpie\n1\n+Expansion\n1\n+Shrinkage\n1\n+Curing\n1\n"
            "+Transition\n1\n+Curing, TYPE=RATE\n1 2 3 4 5 6 7\n+Curing, TYPE=MASTER\n9 8 7 6\n")
    materials(tmp_path, (5, cure), materials_of_plies="1")  # whatever the number
    assert md.cuprops.shape == (7, 8, 1, 1)
    np.testing.assert_array_equal(md.cuprops[:, 0, 0, 0], range(1, 8))
    np.testing.assert_array_equal(md.cuprops[:, 7, 0, 0], [9, 8, 7, 6, HUGE, HUGE, HUGE])
    assert recorded() == (-2, "Error: Cure data longer than the cure table in GetMaterialDataFromFile.")


def test_master_counts_from_the_last_block(tmp_path):
    materials(tmp_path, (1, "+Curing, TYPE=MASTER\n" + " 1" * 12 + "\n"), (2, "+Curing, TYPE=MASTER\n1 2 3 4 5\n"))
    assert md.cuprops.shape[0] == 7


def test_shared_values(tmp_path):
    materials(tmp_path,
              (1, "+ModelID\n4\n+I10\n0.5\n+Regularization, TYPE=VISCOUS\n0.1 0.2\n"
                  "+Calibration, TYPE=EquivalentStress, T=20\n1 2 3 4\n+Temperature\n20 80\n"
                  "+Calibration, TYPE=Plasticity, T=20\n1 2 3 4 5 6\n"),
              (2, "+ModelID\n+I10, TYPE=Ratio\n+Calibration, TYPE=Plasticity, T=80\n7 8 9\n"
                  "+Calibration, TYPE=Secant\n5 5\n"))  # no T=: not read
    assert md.modelid == 4  # the empty second block writes nothing
    np.testing.assert_array_equal(md.i10, [0.5])
    assert md.r_crit is None
    np.testing.assert_array_equal(md.regularization, [0.1, 0.2])
    np.testing.assert_array_equal(md.equivalentstress, [[1, 2], [3, 4]])
    assert md.flowprops.shape == (2, 2, 3)
    np.testing.assert_array_equal(md.flowprops[0], [[1, 2, 3], [4, 5, 6]])
    np.testing.assert_array_equal(md.flowprops[1], [[7, 8, 9], [0, 0, 0]])  # the next row
    np.testing.assert_array_equal(md.secantprops, 0.0)


def test_missing_tables_beside_existing_ones(tmp_path):
    sections(tmp_path)
    md.peprops = np.zeros((9, 3, 1))
    md.pelimits = np.zeros((2, 1, 1))  # smaller than the card asks for
    (tmp_path / "MaterialCard.zrv").write_text(
        "++Begin Material, MatID=1\n+Failure, TYPE=DEGRADATION\n1 2 3 4 5 6\n+Strength\n7\n++End Material\n")
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 3, 1)
    np.testing.assert_array_equal(md.pelimits[:, 0, 0], [1, 2])
    assert md.psprops.shape == (10, 3, 1) and md.psprops[0, 2, 0] == 7.0


def test_nothing_without_material_ids_and_bad_extents(tmp_path):
    shutil.copy(DATA / "MaterialCard.zrv", tmp_path)
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 3, 1)
    assert md.peprops is None and md.temperatures is None
    for extents in ((0, 1), (1, 0)):
        with pytest.raises(_kestro.error):
            io.getmaterialdatafromfile("absent.inp", str(tmp_path), *extents)


@pytest.mark.parametrize("body", ["+Strength\n1\n+Strength\n2\n", "+Temperature\n1\n+TEMPERATURES\n2\n"])
def test_an_option_twice_in_a_block_ends_the_process(tmp_path, run_python, body):
    (tmp_path / "MaterialCard.zrv").write_text(f"++Begin Material, MatID=1\n{body}++End Material\n")
    result = run_python(f"""
        import numpy as np, _kestro
        _kestro.materialdata.matidlist = np.ones((1, 1), np.int32)
        _kestro.iohandling.getmaterialdatafromfile("absent.inp", {str(tmp_path)!r}, 1, 1)
    """)
    assert result.returncode == 1
    assert b"twice" in result.stderr and b"line 4" in result.stderr
