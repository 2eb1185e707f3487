"""The box-beam analysis through its exported data (ctypes) and
_kestro.boxbeamio: capacities and start values, the checks of the data, the
section properties, the report and its trace."""

import ctypes
import math
from ctypes import c_int64

import numpy as np
import pytest

import _kestro
from boxbeam_data import LIB, LOADS, QUER, KestroArray, array, bb, box, get, put, section, set_path
from conftest import recorded

# ---------------------------------------------------------------- data and start values


def test_capacities_extents_and_start_values():
    assert [m for m in ("restr", "gurt", "quer", "epigam") if hasattr(_kestro, m)] == []  # data through ctypes only
    bb.box_initialize()
    assert (get("restr.maxwa"), get("restr.maxgu"), get("restr.maxze")) == (100, 100, 100)
    bb.box_initialize(5, 6, 2)
    for name, shape in [("wand.yk0", (5,)), ("wand.ig1", (5,)), ("wand.e", (5,)), ("kraft.t0", (10,)),
                        ("epigam.epi", (5, 3)), ("epigam.gam", (5, 3)), ("epigam.epigu", (6,)), ("gurt.myi", (6,)),
                        ("zelle.iak", (2,)), ("zelle.ia", (6, 2))]:
        assert array(name).shape == shape, name
    assert (get("restr.maxwa"), get("restr.maxgu"), get("restr.maxze")) == (5, 6, 2)
    # Everything but e goes back to zero; e is kept with arrays of the same extents.
    for name in ("wand.yk0", "wand.e", "kraft.t0", "epigam.gam", "gurt.bi", "zelle.ia"):
        array(name)[...] = 3
    for name in QUER + [f"spanug.{n}" for n in LOADS]:
        put(name if "." in name else f"quer.{name}", 1.5)
    put("gurt.ig", 2)
    bb.box_initialize(5, 6, 2)
    assert all(get(f"quer.{n}") == 0.0 for n in QUER) and all(get(f"spanug.{n}") == 0.0 for n in LOADS)
    assert get("gurt.ig") == 0
    for name in ("wand.yk0", "kraft.t0", "epigam.gam", "gurt.bi", "zelle.ia"):
        assert not array(name).any(), name
    assert np.all(array("wand.e") == 3)
    bb.box_initialize(7, 6, 2)
    assert array("wand.e").shape == (7,) and not array("wand.e").any()
    assert get("restr.maxwa") == 7


def test_capacities_beyond_the_memory_end_with_the_message(run_python):
    result = run_python("""
        import resource, _kestro
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
        _kestro.boxbeamio.box_initialize(2 * 10**8, 1, 1)
    """)
    assert result.returncode == 1 and result.stderr.decode().startswith("Error allocating ")


# ---------------------------------------------------------------- checks of the data


def replace(name, *extents):
    a = KestroArray.in_dll(LIB, "__" + name.replace(".", "_MOD_"))
    LIB.kestro_array_replace(ctypes.byref(a), (c_int64 * len(extents))(*extents))


REFUSALS = [
    # (what is broken, the message's text, the integer context)
    (lambda: put("gurt.ig", 101), "array yi is missing", []),
    (lambda: put("wand.kw", 101), "array ig1 is missing", []),
    (lambda: put("zelle.az", 101), "array iak is missing", []),
    (lambda: put("gurt.ig", -1), "must not be negative", []),
    (lambda: replace("kraft.t0", 4), "array t0 is missing", []),
    (lambda: replace("epigam.gam", 100, 2), "array gam is missing", []),
    (lambda: array("zelle.iak").__setitem__(0, 101), "more caps than ia holds", [1]),
    (lambda: array("gurt.zi").__setitem__(1, math.nan), "cap data that are not finite", [2]),
    (lambda: array("wand.bk").__setitem__(2, math.inf), "wall data that are not finite", [3]),
    (lambda: array("wand.zklk").__setitem__(3, 0.5), "a wall of zero length", [4]),
    (lambda: put("spanug.qmz", -math.inf), "section loads that are not finite", []),
    (lambda: bb.box_initialize(4, 0, 1), "capacities below 1", []),
    # The topology: walls between caps in use, cells of caps in use, one piece whose loops are the cells.
    (lambda: array("wand.ig2").__setitem__(1, 5), "a wall names a cap not in use", [2]),
    (lambda: array("wand.ig1").__setitem__(1, 3), "a wall from a cap to itself", [2]),
    (lambda: array("zelle.iak").__setitem__(0, -1), "a negative number of caps", [1]),
    (lambda: array("zelle.ia").__setitem__((2, 0), 0), "a cell names a cap not in use", [1]),
    (lambda: put("zelle.az", 0), "the walls must number the caps plus the cells minus one", []),
    (lambda: (array("wand.ig1").__setitem__(1, 1), array("wand.ig2").__setitem__(1, 2),
              array("wand.ig1").__setitem__(3, 3), array("wand.ig2").__setitem__(3, 4)),
     "do not join all caps into one piece", []),
]


@pytest.mark.parametrize("breaks, message, context", REFUSALS)
def test_refused_data_change_nothing(tmp_path, breaks, message, context):
    box(druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    report = (tmp_path / "report.txt").read_bytes()
    box(druck=True, tmp_path=tmp_path)
    breaks()
    for n in QUER:
        put(f"quer.{n}", 7.0)
    with pytest.raises(_kestro.error, match=message):
        bb.box_getxsection()
    assert recorded()[0] == -2
    assert list(_kestro.errorhandling.errintv) == context
    assert (tmp_path / "report.txt").read_bytes() == report
    assert all(get(f"quer.{n}") == 7.0 for n in QUER)
    # The call's own message, although an older error holds the record.
    _kestro.errorhandling.rsxerr(1)
    _kestro.errorhandling.xerr(-3, "older", [1], [1.0], np.zeros((1, 1), np.int32), 1)
    with pytest.raises(_kestro.error, match=message):
        bb.box_getxsection()
    assert recorded() == (-3, "older")


def test_refused_before_any_initialisation(run_python):
    result = run_python("""
        import _kestro
        try:
            _kestro.boxbeamio.box_getxsection()
        except _kestro.error as e:
            print(e, _kestro.errorhandling.errstat)
    """)
    assert b"capacities below 1" in result.stdout and result.stdout.endswith(b" -2\n")


# ---------------------------------------------------------------- section properties


def cap_row(i, force, strain):
    return f" {i:4d}   {fortran_d(force)}        {fortran_d(strain)}"


def fortran_d(value):
    """D16.9 of a value, derived by hand: 0.ddddddddd with a two-digit exponent."""
    if value == 0.0:
        return " 0.000000000D+00"
    exponent = math.floor(math.log10(abs(value))) + 1
    mantissa = round(abs(value) / 10.0 ** exponent, 9)
    if mantissa >= 1.0:
        mantissa, exponent = mantissa / 10.0, exponent + 1
    text = f"{'-' if value < 0 else ''}0.{round(mantissa * 1e9):09d}D{'-' if exponent < 0 else '+'}{abs(exponent):02d}"
    return text.rjust(16)


def test_box_properties_strains_and_principal_axes(tmp_path):
    box(loads={"qmy": 1.0}, druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    assert get("quer.bx") == pytest.approx(16.0)
    assert get("quer.dyy") == pytest.approx(11.0 / 3.0)  # caps 2, walls 5/3
    assert get("quer.dzz") == pytest.approx(27.0)        # caps 18, walls 9
    assert (get("quer.ys"), get("quer.zs"), get("quer.alpha")) == (0.0, 0.0, 0.0)
    np.testing.assert_allclose(array("epigam.epigu")[:4], [-3 / 22, -3 / 22, 3 / 22, 3 / 22], rtol=1e-14)
    np.testing.assert_allclose(array("epigam.epi")[1, :], [-3 / 22, 0.0, 3 / 22], rtol=1e-14, atol=1e-16)
    lines = (tmp_path / "report.txt").read_text().splitlines()
    assert "    3    0.272727273D+00         0.136363636D+00" in lines
    assert cap_row(1, -6 / 22, -3 / 22) in lines
    # An axial force alone strains every cap and wall point alike.
    box(loads={"qqx": 16.0})
    bb.box_getxsection()
    np.testing.assert_allclose(array("epigam.epigu")[:4], 1.0, rtol=1e-14)
    np.testing.assert_allclose(array("epigam.epi")[:4], 1.0, rtol=1e-14)
    np.testing.assert_allclose(array("kraft.nxl2")[:4], 1.0, rtol=1e-14)
    # Turned by +20 degrees: the principal axes turn with it.
    box(20.0, druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    assert get("quer.alpha") == pytest.approx(math.radians(20.0), abs=1e-12)
    assert (get("quer.dyyste"), get("quer.dzzste")) == (pytest.approx(11.0 / 3.0), pytest.approx(27.0))
    text = (tmp_path / "report.txt").read_text()
    assert "HAUPTACHSENWINKEL =  0.349065850D+00  (RADIAN)  =    20.00  (GRAD)" in text


def caps_only(caps, **kwargs):
    """The caps joined in a chain by walls without stiffness or mass (an open profile)."""
    section(caps, [(i, i + 1, 0.0, 1.0, 0.0) for i in range(1, len(caps))], **kwargs)


@pytest.mark.parametrize(
    "caps, alpha, dyyste, dzzste",
    [
        # Symmetric: dzy = 0, the principal stiffnesses are dyy and dzz whichever is larger.
        ([(-1.5, 0, 1, 0), (1.5, 0, 1, 0), (0, -0.5, 1, 0), (0, 0.5, 1, 0)], 0.0, 0.5, 4.5),
        ([(0, -1.5, 1, 0), (0, 1.5, 1, 0), (-0.5, 0, 1, 0), (0.5, 0, 1, 0)], 0.0, 4.5, 0.5),
        # dyy = dzz = 3 with dzy = +-1: the axes at +-45 degrees.
        ([(1, 1, 1, 0), (-1, -1, 1, 0), (1, -1, 0.5, 0), (-1, 1, 0.5, 0)], math.pi / 4, 2.0, 4.0),
        ([(1, -1, 1, 0), (-1, 1, 1, 0), (1, 1, 0.5, 0), (-1, -1, 0.5, 0)], -math.pi / 4, 2.0, 4.0),
    ],
)
def test_principal_axes(caps, alpha, dyyste, dzzste):
    caps_only(caps)
    bb.box_getxsection()
    assert get("quer.alpha") == pytest.approx(alpha, abs=1e-15)
    assert (get("quer.dyyste"), get("quer.dzzste")) == (pytest.approx(dyyste), pytest.approx(dzzste))
    # dyyste is the stiffness about the principal y axis the angle gives.
    a = get("quer.alpha")
    zstar = [math.cos(a) * z - math.sin(a) * y for y, z, _, _ in caps]
    assert sum(b * zz * zz for (_, _, b, _), zz in zip(caps, zstar)) == pytest.approx(dyyste)


def test_sections_without_stiffness_are_refused_keeping_what_was_computed(tmp_path):
    section([(2.0, 3.0, 10.0, 1.0)], druck=True, tmp_path=tmp_path)
    with pytest.raises(_kestro.error, match="no bending stiffness"):
        bb.box_getxsection()
    report = (tmp_path / "report.txt").read_text()
    assert "STEIFIGKEITSMOMENTE 2.GRADES:   DYY = " in report and "HAUPTACHSENWINKEL" not in report
    expected = {"bx": 10, "m": 1, "ys": 2, "zs": 3, "yt": 2, "zt": 3, "dyy": 0, "dzy": 0, "dzz": 0, "dyyste": 0,
                "dzzste": 0, "alpha": 0}
    assert {n: get(f"quer.{n}") for n in expected} == pytest.approx(expected)
    # One wall from (0, 0) to (0, 2): its own dyy about (0, 1) is (4/3 + 1 - 2) 2 = 2/3.
    section([(0.0, 0.0, 0.0, 0.0), (0.0, 2.0, 0.0, 0.0)], [(1, 2, 1.0, 1.0, 0.0)])
    with pytest.raises(_kestro.error, match="no bending stiffness"):
        bb.box_getxsection()
    assert (get("quer.bx"), get("quer.zs"), get("quer.dyy")) == (2.0, 1.0, pytest.approx(2.0 / 3.0))
    assert (get("quer.m"), get("quer.yt"), get("quer.zt")) == (0.0, 0.0, 0.0)  # no mass: no NaN
    caps_only([(0.0, 0.0, 0.0, 1.0), (1.0, 1.0, 0.0, 1.0)])
    with pytest.raises(_kestro.error, match="no axial stiffness"):
        bb.box_getxsection()
    assert recorded()[0] == -2


def test_soft_caps_and_walls_and_mass_centre():
    caps = [(-1.5, -0.5, 2.0, 1.0), (1.5, -0.5, 2.0, 1.0), (1.5, 0.5, 2.0, 3.0), (-1.5, 0.5, 0.0, 3.0)]
    walls = [(1, 2, 1e-10, 1.0, 0.0), (2, 3, 1.0, 1.0, 2.0), (3, 4, 1.0, 1.0, 0.0)]
    section(caps, walls, loads={"qqx": 5.0, "qmy": 1.0})
    bb.box_getxsection()
    assert array("epigam.epigu")[3] == 0.0                    # bi = 0: no strain
    assert not array("epigam.epi")[0].any() and array("kraft.nx0")[0] != 0.0
    # Mass: caps 8 at y = 0, z = 0.25 (1 1 3 3 weights); wall 2 of mass 2 at (1.5, 0).
    assert get("quer.m") == pytest.approx(10.0)
    assert (get("quer.yt"), get("quer.zt")) == (pytest.approx(0.3), pytest.approx(0.2))


# ---------------------------------------------------------------- report and trace


def test_report_files_follow_the_print_control(tmp_path, capfd):
    put("steuer.klog", 6)
    for druck, exdru, files in [(False, True, set()), (True, False, {"report.txt"}),
                                (True, True, {"report.txt", "trace.txt"})]:
        for f in tmp_path.iterdir():
            f.unlink()
        box(druck=druck, exdru=exdru, tmp_path=tmp_path)
        bb.box_getxsection()
        assert {f.name for f in tmp_path.iterdir()} == files
    assert capfd.readouterr().out == ""  # unit 6 of the caller is not the report's
    # Each call appends; an existing file keeps what it holds.
    (tmp_path / "report.txt").write_text("kept\n")
    box(druck=True, tmp_path=tmp_path)
    bb.box_getxsection()
    once = (tmp_path / "report.txt").read_text()[len("kept\n"):]
    bb.box_getxsection()
    assert (tmp_path / "report.txt").read_text() == "kept\n" + once + once
    trace = (tmp_path / "trace.txt").read_text().splitlines()
    assert trace[0].split() == ["Wand:", "1"] and trace[1].split()[0] == "PHIK,ZKLK,ZK0"
    assert [float(x) for x in trace[1].split()[1:]] == [0.0, -0.5, -0.5]


def test_input_echo_and_polar_mass_moments(tmp_path):
    caps = [(2.5, -0.25, 20.0, 0.5), (1.5, -0.5, 2.0, 0.0), (1.5, 0.5, 2.0, 0.0)]
    walls = [(1, 2, 1.0, 2.0, 0.0), (2, 3, 1.0, 2.0, 0.0), (3, 1, 1.0, 2.0, 0.0)]
    section(caps, walls, [[1, 2, 3]], loads={"qqy": 1.5}, druck=True, tmp_path=tmp_path, capacities=(3, 3, 1))
    array("wand.it")[1] = 7
    bb.box_getxsection()
    lines = (tmp_path / "report.txt").read_text().splitlines()
    assert "  1       2.500      -0.250   0.200E+02   0.500E+00" in lines
    assert "  2       2       3       7       2       1.500      -0.500       1.500       0.500   0.100E+01   " \
           "0.200E+01   0.000E+00" in lines  # the MAT column holds the wall number
    assert "  1       1       2       3       0" in lines  # the fourth cap lies past the rows of ia: 0
    # The one mass point: 0 about the mass centre, m (yt^2 + zt^2) about the reference origin.
    polar = [i for i, line in enumerate(lines) if "MASSENTRAEGHEITSMOMENT UM LAENGSACHSE:" in line]
    assert [lines[i + 1].strip() for i in polar] == ["IT  = 0.000000000D+00  (M*L)", "IT  = 0.315625000D+01  (M*L)"]
    assert "BEZ. AUF SCHWERPUNKT" in lines[polar[0]] and "BEZUGSSYSTEM" in lines[polar[1]]
    assert " QX =  0.000000000D+00     QY =  0.150000000D+01     QZ =  0.000000000D+00" in lines
    title = lines.index("+" + " " * 19 + "Q U E R S C H N I T T S G R O E S S E N")
    assert lines[title - 3: title] == ["", "", ""] and lines[title + 1] == " " * 20 + "-" * 39


def test_report_files_that_cannot_be_written(tmp_path):
    box()
    bb.box_getxsection()
    box(20.0, druck=True, tmp_path=tmp_path)
    set_path("csinfopath", str(tmp_path / "missing" / "report.txt"))
    with pytest.raises(_kestro.error, match="report file cannot be opened"):
        bb.box_getxsection()
    assert recorded()[0] == -1 and get("quer.alpha") == 0.0  # no analysis
    _kestro.errorhandling.rsxerr(1)
    set_path("csinfopath", "/dev/full")
    with pytest.raises(_kestro.error, match="could not be written"):
        bb.box_getxsection()
    assert get("quer.alpha") == pytest.approx(math.radians(20.0))  # results kept
    # A name ends at its first NUL.
    set_path("csinfopath", str(tmp_path / "report.txt") + "\0ignored")
    bb.box_getxsection()
    assert (tmp_path / "report.txt").exists()
