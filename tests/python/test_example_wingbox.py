"""The wing-box example job: its torsion stiffness against Bredt-Batho for its two cells, its report,
a second run in the same process, and sections it cannot analyse."""

import ctypes
import re
import sys
from pathlib import Path

import numpy as np
import pytest

import _kestro

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "examples"))
import wingbox_job  # noqa: E402


@pytest.fixture(scope="module")
def first(tmp_path_factory):
    return wingbox_job.run(tmp_path_factory.mktemp("first"))


def bredt_batho_torsion_stiffness():
    """GJ of the closed cells with constant flow in every wall: per cell 2 A q_i = torque share and
    2 A_i theta = the loop integral of q ds / (G t); walls of one cell shared by another couple them."""
    tables = wingbox_job.read_section()
    caps = {int(w[0]): np.array([float(w[1]), float(w[2])]) for _, w in tables["gurt"][1]}
    walls = {frozenset((int(w[1]), int(w[2]))): (int(w[1]), float(w[5])) for _, w in tables["wand"][1]}
    loops = [[int(c) for c in w[1:]] for _, w in tables["zelle"][1]]
    # signs[i][wall]: +1 where loop i runs along the wall's own direction, -1 against it
    signs = [{} for _ in loops]
    twice_areas = np.zeros(len(loops))
    for i, loop in enumerate(loops):
        for a, b in zip(loop, loop[1:] + loop[:1]):
            start, gk = walls[frozenset((a, b))]
            signs[i][frozenset((a, b))] = 1 if start == a else -1
            twice_areas[i] += caps[a][0] * caps[b][1] - caps[b][0] * caps[a][1]
    flexibility = np.array([[sum(si[w] * sj[w] * np.linalg.norm(caps[min(w)] - caps[max(w)]) / walls[w][1]
                              for w in si if w in sj) for sj in signs] for si in signs])
    return twice_areas @ np.linalg.solve(flexibility, twice_areas)


def test_torsion_stiffness_is_that_of_bredt_batho(first):
    assert first["cells"] == 2
    assert first["torsion_stiffness"] == pytest.approx(bredt_batho_torsion_stiffness(), rel=1e-12)


def test_report_names_the_section_and_its_results(first):
    text = Path(first["report"]).read_text()
    for title in ("GURTPARAMETER", "WANDPARAMETER", "ZELLENPARAMETER", "KOORDINATEN DES SCHUBMITTELPUNKTS"):
        assert text.count(title) == 1, title

    def printed(label):
        return float(re.search(label + r"\s*=\s*(\S+)", text).group(1).replace("D", "E"))

    assert (printed(r"\bYM"), printed(r"\bZM")) == pytest.approx(first["shear_centre"], rel=1e-9)
    assert printed("TORSIONSSTEIFIGKEIT DT") == pytest.approx(first["torsion_stiffness"], rel=1e-9)


def test_second_run_gives_the_same_numbers_and_releases_the_data(first, tmp_path):
    second = wingbox_job.run(tmp_path)
    assert {k: v for k, v in second.items() if k != "report"} == {k: v for k, v in first.items() if k != "report"}
    for module, names in wingbox_job._ARRAYS.items():
        for name in names:
            assert not wingbox_job._descriptor(module, name).data, name
    assert ctypes.c_int32.in_dll(wingbox_job._LIB, "__gurt_MOD_ig").value == 0


@pytest.mark.parametrize("change, message", [
    (lambda s: s.replace("     19     5    14", "     19     5    21"), "a wall names a cap not in use"),
    (lambda s: s.replace("1.562e5", "1.56x5"), "line 63: '1.56x5' is not a number"),
    (lambda s: s.replace("spanug", "loads"), "no table spanug"),
    (lambda s: s.replace("      10    10    11", "      11    10    11"), "wand row 11 where 10 was expected"),
])
def test_section_that_cannot_be_analysed_raises_the_message(tmp_path, change, message):
    section = tmp_path / "section.txt"
    section.write_text(change(wingbox_job.SECTION.read_text()))
    with pytest.raises(_kestro.error, match=re.escape(message)):
        wingbox_job.run(tmp_path, section)
    assert not wingbox_job._descriptor("gurt", "yi").data
