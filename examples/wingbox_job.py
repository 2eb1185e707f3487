"""The wing-box stage of the example job: the section analysis of a two-cell
wing box (examples/wingbox_section.txt) by the library's box-beam analysis.

run(outdir) sets the box-beam input from the section file, analyses it with
_kestro.boxbeamio.box_getxsection, writes the section report to
outdir/wingbox_report.txt (a new report on every run) and returns the results.
The box-beam data are module variables of the library that Python reaches
through ctypes (see help(_kestro.boxbeamio)); run releases every array it
created, so a second run in the same process starts from the same state.

Input that cannot be used raises _kestro.error with the reason: the library's
own message for a section it refuses, the file and line for a section file
that cannot be read.
"""

import ctypes
from pathlib import Path

import _kestro
from symbols import LIB as _LIB
from symbols import variable

SECTION = Path(__file__).resolve().with_name("wingbox_section.txt")
REPORT = "wingbox_report.txt"

_PATH_LENGTH = 240


class _Array(ctypes.Structure):
    """kestro_array, the descriptor of a module array (kestro/array.h)."""
    _fields_ = [("data", ctypes.c_void_p), ("extent", ctypes.c_int64 * 7), ("rank", ctypes.c_int32),
                ("type", ctypes.c_int32), ("elsize", ctypes.c_int64), ("name", ctypes.c_char_p)]


# The arrays of the box-beam modules, and the element type of the integer ones (the others are reals).
_ARRAYS = {
    "gurt": ["yi", "zi", "bi", "myi"],
    "wand": ["ig1", "ig2", "it", "yk0", "zk0", "yklk", "zklk", "bk", "gk", "rhok", "e", "th"],
    "zelle": ["iak", "ia"],
    "kraft": ["nx0", "nxl2", "nxl", "t0", "tl2", "tl"],
    "epigam": ["epi", "gam", "epigu"],
}
_INTEGER_ARRAYS = {"ig1", "ig2", "it", "iak", "ia"}
_COUNTS = {"gurt": "ig", "wand": "kw", "zelle": "az"}
_REQUIRED = {"gurt": ["yi", "zi"], "wand": ["ig1", "ig2"]}
_LOADS = ["qqx", "qqy", "qqz", "qmx", "qmy", "qmz"]


def _descriptor(module, name):
    return variable(module, name, _Array)


def _set(module, name, row, value, column=0):
    """Entry (row, column) of a module array, both 0-based (arrays are column-major)."""
    a = _descriptor(module, name)
    ctype = ctypes.c_int32 if name in _INTEGER_ARRAYS else ctypes.c_double
    ctypes.cast(a.data, ctypes.POINTER(ctype))[row + a.extent[0] * column] = value


def _get(module, name, row):
    a = _descriptor(module, name)
    return ctypes.cast(a.data, ctypes.POINTER(ctypes.c_double))[row]


def _set_path(name, text):
    encoded = text.encode()
    if len(encoded) > _PATH_LENGTH:
        raise _kestro.error(f"the report path is longer than {_PATH_LENGTH} characters: {text}")
    variable("path", name, ctypes.c_char * _PATH_LENGTH)[:] = encoded.ljust(_PATH_LENGTH, b"\0")


# ---------------------------------------------------------------- the section file

def read_section(path=SECTION):
    """The tables of a section file: {module: (column names, rows)}; a row is its list of words."""
    try:
        lines = Path(path).read_text().splitlines()
    except OSError as exc:
        raise _kestro.error(f"cannot read the wing-box section {path}: {exc.strerror}") from None
    tables, current = {}, None
    for number, line in enumerate(lines, 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if words[0] in _COUNTS or words[0] == "spanug":
            if words[0] in tables:
                raise _kestro.error(f"{path}, line {number}: a second table {words[0]}")
            current = tables[words[0]] = (words[1:], [])
        elif current is None:
            raise _kestro.error(f"{path}, line {number}: data before the first table")
        else:
            current[1].append((number, words))
    missing = [m for m in ("gurt", "wand", "zelle", "spanug") if m not in tables]
    if missing:
        raise _kestro.error(f"{path}: no table {', '.join(missing)}")
    return tables


def _number(path, line, word, integer=False):
    try:
        value = int(word) if integer else float(word)
        if integer and not -2**31 <= value < 2**31:
            raise ValueError
        return value
    except ValueError:
        kind = "a 4-byte whole number" if integer else "a number"
        raise _kestro.error(f"{path}, line {line}: {word!r} is not {kind}") from None


def _numbered_rows(path, module, rows):
    """The rows of a numbered table in order, checking that they are numbered 1, 2, ..."""
    for expected, (line, words) in enumerate(rows, 1):
        if _number(path, line, words[0], integer=True) != expected:
            raise _kestro.error(f"{path}, line {line}: {module} row {words[0]} where {expected} was expected")
    return rows


def _set_section(path, tables):
    """Sets the box-beam input from the tables: counts, caps, walls with their ends at their caps, cells,
    loads."""
    caps = _numbered_rows(path, "gurt", tables["gurt"][1])
    walls = _numbered_rows(path, "wand", tables["wand"][1])
    cells = _numbered_rows(path, "zelle", tables["zelle"][1])
    _kestro.boxbeamio.box_initialize(max(len(walls), 1), max(len(caps), 1), max(len(cells), 1))
    for module in ("gurt", "wand"):
        columns, rows = tables[module]
        unknown = [c for c in columns[1:] if c not in _ARRAYS[module]]
        needed = [c for c in _REQUIRED[module] if c not in columns]
        if columns[:1] != ["nr"] or unknown or needed:
            raise _kestro.error(f"{path}: table {module} has columns nr and {', '.join(_ARRAYS[module])}, "
                                f"not {' '.join(columns)}")
        for line, words in rows:
            if len(words) != len(columns):
                raise _kestro.error(f"{path}, line {line}: {len(columns)} values expected")
            for name, word in zip(columns[1:], words[1:]):
                _set(module, name, int(words[0]) - 1, _number(path, line, word, name in _INTEGER_ARRAYS))
    # The ends of every wall at its caps (a cap number outside the caps is refused by the analysis).
    for k, (line, words) in enumerate(walls):
        for end, cap in (("0", "ig1"), ("lk", "ig2")):
            i = _number(path, line, words[tables["wand"][0].index(cap)], integer=True)
            if 1 <= i <= len(caps):
                _set("wand", "yk" + end, k, _get("gurt", "yi", i - 1))
                _set("wand", "zk" + end, k, _get("gurt", "zi", i - 1))
    for c, (line, words) in enumerate(cells):
        loop = [_number(path, line, w, integer=True) for w in words[1:]]
        if len(loop) > len(caps):
            raise _kestro.error(f"{path}, line {line}: a cell of more caps than the section has")
        _set("zelle", "iak", c, len(loop))
        for j, cap in enumerate(loop):
            _set("zelle", "ia", j, cap, column=c)
    for module, rows in (("gurt", caps), ("wand", walls), ("zelle", cells)):
        variable(module, _COUNTS[module], ctypes.c_int32).value = len(rows)
    columns, rows = tables["spanug"]
    if sorted(columns) != sorted(_LOADS) or len(rows) != 1 or len(rows[0][1]) != len(columns):
        raise _kestro.error(f"{path}: table spanug is one row of {', '.join(_LOADS)}")
    line, words = rows[0]
    for name, word in zip(columns, words):
        variable("spanug", name).value = _number(path, line, word)


def release():
    """Releases the box-beam arrays and puts counts, loads, print control and file names back to the
    values of a fresh process."""
    for module, names in _ARRAYS.items():
        for name in names:
            _LIB.kestro_array_drop(ctypes.byref(_descriptor(module, name)))
    for module, name in [("restr", "maxwa"), ("restr", "maxgu"), ("restr", "maxze"), *_COUNTS.items()]:
        variable(module, name, ctypes.c_int32).value = 0
    for name in ("druck", "exdru"):
        variable("steuer", name, ctypes.c_int8).value = 0
    for name in _LOADS:
        variable("spanug", name).value = 0.0
    for name in ("csinfopath", "vbinfopath"):
        _set_path(name, "")
    _kestro.errorhandling.rsxerr(1)


# ---------------------------------------------------------------- the job

def run(outdir, section=SECTION):
    """Analyses the wing box; returns its shear centre (y, z), torsion stiffness GJ, the report's path and
    the other section properties of the summary."""
    outdir = Path(outdir).resolve()
    tables = read_section(section)
    report = outdir / REPORT
    try:
        outdir.mkdir(parents=True, exist_ok=True)
        report.unlink(missing_ok=True)  # the analysis appends to its report
    except OSError as exc:
        raise _kestro.error(f"cannot write the wing-box report {report}: {exc.strerror}") from None
    try:
        _set_section(section, tables)
        variable("steuer", "druck", ctypes.c_int8).value = 1
        variable("steuer", "exdru", ctypes.c_int8).value = 0
        _set_path("csinfopath", str(report))
        _set_path("vbinfopath", "")
        _kestro.errorhandling.rsxerr(1)
        _kestro.boxbeamio.box_getxsection()
        quer = {name: variable("quer", name).value
                for name in ("ymstac", "zmstac", "dt", "ys", "zs", "bx", "m", "dyyste", "dzzste", "alpha")}
        walls = variable("wand", "kw", ctypes.c_int32).value
        return {
            "shear_centre": (quer["ymstac"], quer["zmstac"]),
            "torsion_stiffness": quer["dt"],
            "report": str(report),
            "stiffness_centre": (quer["ys"], quer["zs"]),
            "axial_stiffness": quer["bx"],
            "bending_stiffness": (quer["dyyste"], quer["dzzste"]),
            "principal_angle": quer["alpha"],
            "mass_per_length": quer["m"],
            "twist_rate": _get("kraft", "t0", walls),
            "caps": variable("gurt", "ig", ctypes.c_int32).value,
            "walls": walls,
            "cells": variable("zelle", "az", ctypes.c_int32).value,
        }
    finally:
        release()
