"""Shear flows, shear centre, twist, torsion stiffness and nodal forces of the
box-beam analysis, on sections whose results follow from thin-walled beam
theory by hand."""

import ctypes
import math
import os

import numpy as np
import pytest

import _kestro
from boxbeam_data import BOX_CAPS, BOX_WALLS, LIB, array, bb, box, get, put, section
from conftest import recorded


def flows(kw):
    return np.array([array("kraft.t0")[:kw], array("kraft.tl2")[:kw], array("kraft.tl")[:kw]]).T


def report_lines(tmp_path):
    return (tmp_path / "report.txt").read_text().splitlines()


# Two cells: the box split by a web from (0, -0.5) to (0, 0.5).
TWO_CELL_CAPS = BOX_CAPS + [(0.0, -0.5, 0.0, 0.0), (0.0, 0.5, 0.0, 0.0)]
TWO_CELL_WALLS = [(1, 5, 1.0, 2.0, 0.0), (5, 2, 1.0, 2.0, 0.0), (2, 3, 1.0, 2.0, 0.0), (3, 6, 1.0, 2.0, 0.0),
                  (6, 4, 1.0, 2.0, 0.0), (4, 1, 1.0, 2.0, 0.0), (5, 6, 1.0, 2.0, 0.0)]


@pytest.mark.parametrize("caps, walls, cells, sign", [
    (BOX_CAPS, BOX_WALLS, [[1, 2, 3, 4]], [1, 1, 1, 1]),
    # The loop clockwise and a wall defined backwards: the same section.
    (BOX_CAPS, BOX_WALLS, [[4, 3, 2, 1]], [1, 1, 1, 1]),
    (BOX_CAPS, BOX_WALLS[:1] + [(3, 2, 1.0, 2.0, 0.0)] + BOX_WALLS[2:], [[1, 2, 3, 4]], [1, -1, 1, 1]),
    # Bredt-Batho for two cells of equal areas: the web carries nothing and dt stays 9.
    (TWO_CELL_CAPS, TWO_CELL_WALLS, [[1, 5, 6, 4], [5, 2, 3, 6]], [1, 1, 1, 1, 1, 1, 0]),
])
def test_torsion_of_closed_boxes(tmp_path, caps, walls, cells, sign):
    # dt = 4 A^2 gk / (perimeter) = 4 * 9 * 2 / 8; MX = 1 runs q = MX / 2A = 1/6 round the box, twist 1/9.
    section(caps, walls, cells, loads={"qmx": 1.0}, druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    kw = len(walls)
    assert get("quer.dt") == pytest.approx(9.0, rel=1e-13)
    np.testing.assert_allclose(flows(kw), np.outer(sign, [1, 1, 1]) / 6.0, atol=1e-14)
    assert array("kraft.t0")[kw] == pytest.approx(1.0 / 9.0, rel=1e-13)
    np.testing.assert_allclose(array("epigam.gam")[:kw], flows(kw) / 2.0, atol=1e-14)
    assert (get("quer.ymstac"), get("quer.zmstac")) == (pytest.approx(0.0, abs=1e-14),) * 2
    lines = report_lines(tmp_path)
    assert "0                   SPEZIFISCHE VERDREHUNG THETA =  0.111111111D+00  (1/L)" in lines
    assert "0                   TORSIONSSTEIFIGKEIT DT = 0.900000000D+01  (K * L**2)" in lines
    if len(walls) == 4 and sign[1] == 1:
        # Constant flow 1/6 on the unit web: 1/6 L/6, 2/3 L/6, L/6 along +z.
        z_table = lines[lines.index("                    AEQUIVALENTE KNOTENKRAEFTE IN  Z-RICHTUNG"):]
        assert "      2         2       0.277777778D-01      0.111111111D+00      0.277777778D-01      3" in z_table


def test_bending_shear_of_a_booms_only_box(tmp_path):
    # Walls without membrane stiffness carry constant flows: QZ = 1 shared by the webs, flanges free.
    caps = [(y, z, 1.0, 0.0) for y, z, _, _ in BOX_CAPS]
    walls = [(a, b, 0.0, 2.0, 0.0) for a, b, _, _, _ in BOX_WALLS]
    section(caps, walls, [[1, 2, 3, 4]], loads={"qqz": 1.0}, druck=True, exdru=True, tmp_path=tmp_path)
    bb.box_getxsection()
    np.testing.assert_allclose(flows(4), np.outer([0, 0.5, 0, -0.5], [1, 1, 1]), atol=1e-15)
    assert array("kraft.t0")[4] == pytest.approx(0.0, abs=1e-15)  # no torque about the shear centre
    for name in ("ymst", "zmst", "ymstac", "zmstac"):
        assert get(f"quer.{name}") == pytest.approx(0.0, abs=1e-15), name
    lines = report_lines(tmp_path)
    table = lines.index("                   TK(0)           TK(LK/2)             TK(LK)"
                        "                 GAMK(0)         GAMK(LK/2)           GAMK(LK)")
    assert lines[table + 2] == ("    2    0.500000000D+00    0.500000000D+00    0.500000000D+00"
                                "         0.250000000D+00    0.250000000D+00    0.250000000D+00")
    for row in (1, 3):
        assert [abs(float(v.replace("D", "E"))) for v in lines[table + row].split()[1:]] == [0.0] * 6
    # The unit-shear systems print their control rows, solutions and residuals.
    assert lines.count("0KONTROLLAUSDRUCK GLEICHUNGSSYSTEM:") == 4
    assert lines.count("0FEHLERVEKTOR, LIEFERT HINWEISE UEBER DIE GENAUIGKEIT DER LOESUNG DES STATISCH "
                       "UNBESTIMMTEN PROBLEMS") == 4
    assert " SPZ =  0.100000000D+01" in (tmp_path / "report.txt").read_text()


def test_a_fin_named_out_and_back_leaves_the_cell_as_it_is():
    caps = BOX_CAPS + [(1.5, 1.5, 2.0, 0.0)]
    walls = BOX_WALLS + [(3, 5, 1.0, 2.0, 0.0)]
    results = []
    for cell in ([1, 2, 3, 5, 3, 4], [1, 2, 3, 4]):
        section(caps, walls, [cell], loads={"qqz": 1.0})
        bb.box_getxsection()
        results.append([get("quer.ymstac"), array("kraft.t0")[5], get("quer.dt")])
    np.testing.assert_allclose(results[0], results[1], rtol=1e-12, atol=1e-15)
    assert results[1][0] != pytest.approx(0.0)  # the fin moves the shear centre


def test_channel_is_an_open_profile(tmp_path):
    # Booms of 1 at (2, +-0.5) and (0, +-0.5): ys = 1; the web alone carries QZ, so the
    # shear centre lies on the web, 2 left of the stiffness centre.
    caps = [(2.0, 0.5, 1.0, 0.0), (0.0, 0.5, 1.0, 0.0), (0.0, -0.5, 1.0, 0.0), (2.0, -0.5, 1.0, 0.0)]
    section(caps, [(1, 2, 0.0, 1.0, 0.0), (2, 3, 0.0, 1.0, 0.0), (3, 4, 0.0, 1.0, 0.0)],
            loads={"qqz": 1.0}, druck=True, tmp_path=tmp_path)
    array("kraft.t0")[3] = 7.0
    put("quer.dt", 5.0)
    bb.box_getxsection()
    assert (get("quer.ys"), get("quer.ymst"), get("quer.ymstac")) == pytest.approx((1.0, -2.0, -1.0))
    assert get("quer.zmst") == pytest.approx(0.0, abs=1e-15)
    np.testing.assert_allclose(array("kraft.t0")[:3], [-0.5, -1.0, -0.5], rtol=1e-14)
    assert (array("kraft.t0")[3], get("quer.dt")) == (7.0, 0.0)
    lines = report_lines(tmp_path)
    assert ("0DRILLWINKEL KANN NICHT BERECHNET WERDEN, DA OFFENES PROFIL \"KEINE\" DRILLSTEIFIGKEIT BESITZT."
            in lines)
    assert "0                   TORSIONSSTEIFIGKEIT DT = 0.000000000D+00  (K * L**2)" in lines
    assert not any("THETA" in line for line in lines)
    # Nodal tables without the sums: druck alone.
    assert lines.count("0WAND NR.     IG1         PKNT(I,1,3)          PKNT(I,2,3)          PKNT(I,3,3)      IG2") == 1
    assert not any("SPX" in line for line in lines)


def test_end_caps_of_100_and_more_print_as_asterisks(tmp_path):
    caps = [(math.cos(t), math.sin(t), 1.0, 0.0) for t in np.linspace(0.0, 3.0, 100)]
    section(caps, [(i, i + 1, 0.0, 1.0, 0.0) for i in range(1, 100)], loads={"qqz": 1.0}, druck=True,
            tmp_path=tmp_path)
    bb.box_getxsection()
    rows = [line for line in report_lines(tmp_path) if line.startswith("     99        99 ")]
    assert len(rows) == 3 and all(row.endswith("**") for row in rows)


def test_missing_wall_ends_the_process_after_its_message(tmp_path, run_python):
    result = run_python(f"""
        import pathlib, sys
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        from boxbeam_data import BOX_CAPS, BOX_WALLS, bb, section
        section(BOX_CAPS, BOX_WALLS, [[1, 2, 4, 3]], druck=True, tmp_path=pathlib.Path({str(tmp_path)!r}))
        bb.box_getxsection()
        print("returned")
    """)
    assert result.returncode == 1 and b"returned" not in result.stdout
    assert report_lines(tmp_path)[-3:] == [
        "0   F E H L E R M E L D U N G:", "",
        "     IN ZELLE   1  WURDE DIE WAND ZWISCHEN DEN GURTEN   2  UND   4  NICHT DEFINIERT !!"]


def duplicate_cells(bk):
    """The box with a second wall 1 -> 2 and the same loop as two cells: singular systems."""
    caps = [(-1.0, -1.0, 1.0, 0.0), (1.0, -1.0, 1.0, 0.0), (1.0, 1.0, 1.0, 0.0), (-1.0, 1.0, 1.0, 0.0)]
    walls = [(a, b, bk, 1.0, 0.0) for a, b in ((1, 2), (2, 3), (3, 4), (4, 1), (1, 2))]
    return caps, walls, [[1, 2, 3, 4], [1, 2, 3, 4]]


WALL_2_SOFT = (BOX_CAPS, BOX_WALLS[:1] + [(2, 3, 1.0, 0.0, 0.0)] + BOX_WALLS[2:], [[1, 2, 3, 4]])


ABORT = "0ABBRUCH DER REDUKTION IN SCHRITT  5. PIVOTELEMENT IST ZU KLEIN"


@pytest.mark.parametrize("data, message, context", [
    (WALL_2_SOFT, "a cell wall without shear stiffness", [2]),
    ((BOX_CAPS, BOX_WALLS[:3] + [(2, 1, 1.0, 2.0, 0.0)], [[1, 2]]), "a cell encloses no area", [1]),
    # A singular system stops its factorisation, consistent (booms, a symmetric load) or not.
    (duplicate_cells(0.0), "a flow system cannot be solved", [5]),
    (duplicate_cells(1.0), "a flow system cannot be solved", [5]),
])
def test_analyses_that_stop_keep_what_they_wrote(tmp_path, data, message, context):
    section(*data, loads={"qqz": 1.0}, druck=True, exdru=True, tmp_path=tmp_path)
    put("quer.dt", 5.0)
    with pytest.raises(_kestro.error, match=message):
        bb.box_getxsection()
    assert recorded()[0] == -2 and list(_kestro.errorhandling.errintv) == context
    caps, walls, _ = data
    stiffness = sum(c[2] for c in caps) + sum(
        bk * math.dist(caps[a - 1][:2], caps[b - 1][:2]) for a, b, bk, _, _ in walls)
    # The section properties stay; dt is not reached.
    assert get("quer.bx") == pytest.approx(stiffness, rel=1e-14) and get("quer.dt") == 5.0
    text = (tmp_path / "report.txt").read_text()
    assert "DEHNSTEIFIGKEIT DES TRAEGERS" in text and "SCHUBMITTELPUNKTS" not in text
    assert (text.splitlines()[-1] == ABORT) == (context == [5])


def test_a_missing_wall_ends_the_process_before_other_refusals(tmp_path, run_python):
    # Wall 1 without shear stiffness comes first in the loop; the missing wall 2-4 still ends the process.
    result = run_python(f"""
        import pathlib, sys
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        from boxbeam_data import BOX_CAPS, BOX_WALLS, bb, section
        walls = [(1, 2, 1.0, 0.0, 0.0)] + BOX_WALLS[1:]
        section(BOX_CAPS, walls, [[1, 2, 4, 3]], druck=True, tmp_path=pathlib.Path({str(tmp_path)!r}))
        try:
            bb.box_getxsection()
        finally:
            print("returned")
    """)
    assert result.returncode == 1 and b"returned" not in result.stdout


def test_nodal_forces_outside_an_analysis_write_nothing(tmp_path):
    box(loads={"qmx": 1.0}, druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    report = (tmp_path / "report.txt").read_bytes()
    LIB.KNKRFT(ctypes.byref(ctypes.c_int32(4)))
    assert (tmp_path / "report.txt").read_bytes() == report
    assert recorded()[0] == 0
