"""The box-beam data as a C caller sees them, through ctypes on the library
beside the extension module, and sections built from caps, walls and cells."""

import ctypes
import math
import os
from ctypes import c_char, c_char_p, c_double, c_int8, c_int32, c_int64, c_void_p

import numpy as np

import _kestro

bb = _kestro.boxbeamio
LIB = ctypes.CDLL(os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(_kestro.__file__)), "..", "lib", "libkestro.so")))


class KestroArray(ctypes.Structure):
    _fields_ = [("data", c_void_p), ("extent", c_int64 * 7), ("rank", c_int32), ("type", c_int32),
                ("elsize", c_int64), ("name", c_char_p)]


DTYPES = {3: np.int32, 6: np.float64}
INTEGERS = {"maxwa", "maxgu", "maxze", "klog", "ig", "kw", "az"}
LOGICALS = {"druck", "exdru"}


def array(name):
    """The array module.var as a numpy view (Fortran order), None while absent."""
    module, var = name.split(".")
    a = KestroArray.in_dll(LIB, f"__{module}_MOD_{var}")
    if not a.data:
        return None
    shape = tuple(a.extent[: a.rank])
    size = max(int(np.prod(shape)), 1) * a.elsize
    return np.ndarray(shape, DTYPES[a.type], buffer=(c_char * size).from_address(a.data), order="F")


def scalar(name):
    module, var = name.split(".")
    ctype = c_int32 if var in INTEGERS else c_int8 if var in LOGICALS else c_double
    return ctype.in_dll(LIB, f"__{module}_MOD_{var}")


def get(name):
    return scalar(name).value


def put(name, value):
    scalar(name).value = value


def set_path(name, text):
    buffer = (c_char * 240).in_dll(LIB, f"__path_MOD_{name}")
    buffer[:] = text.encode().ljust(240)[:240]


QUER = ["bx", "m", "ys", "zs", "yt", "zt", "dyy", "dzy", "dzz", "dyyste", "dzzste", "alpha", "itt", "ymst", "zmst",
        "ymstac", "zmstac", "iyys", "izys", "izzs", "dt"]
LOADS = ["qqx", "qqy", "qqz", "qmx", "qmy", "qmz"]


def rotated(y, z, degrees):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    return c * y - s * z, s * y + c * z


def section(caps, walls=(), cells=(), loads=None, druck=False, exdru=False, tmp_path=None, capacities=()):
    """Sets up a section: caps (y, z, bi, myi); walls (first cap, last cap, bk, gk, rhok), their ends at
    the caps; cells as lists of caps; loads by name; report and trace in tmp_path."""
    bb.box_initialize(*capacities)
    put("gurt.ig", len(caps))
    for i, cap in enumerate(caps):
        for name, value in zip(("yi", "zi", "bi", "myi"), cap):
            array(f"gurt.{name}")[i] = value
    put("wand.kw", len(walls))
    for k, (first, last, bk, gk, rhok) in enumerate(walls):
        for name, value in (("ig1", first), ("ig2", last), ("bk", bk), ("gk", gk), ("rhok", rhok),
                            ("yk0", caps[first - 1][0]), ("zk0", caps[first - 1][1]),
                            ("yklk", caps[last - 1][0]), ("zklk", caps[last - 1][1])):
            array(f"wand.{name}")[k] = value
    put("zelle.az", len(cells))
    for c, loop in enumerate(cells):
        array("zelle.iak")[c] = len(loop)
        array("zelle.ia")[: len(loop), c] = loop
    for name, value in (loads or {}).items():
        put(f"spanug.{name}", value)
    put("steuer.druck", druck)
    put("steuer.exdru", exdru)
    if tmp_path is not None:
        set_path("csinfopath", str(tmp_path / "report.txt"))
        set_path("vbinfopath", str(tmp_path / "trace.txt"))


BOX_CAPS = [(-1.5, -0.5, 2.0, 0.0), (1.5, -0.5, 2.0, 0.0), (1.5, 0.5, 2.0, 0.0), (-1.5, 0.5, 2.0, 0.0)]
BOX_WALLS = [(1, 2, 1.0, 2.0, 0.0), (2, 3, 1.0, 2.0, 0.0), (3, 4, 1.0, 2.0, 0.0), (4, 1, 1.0, 2.0, 0.0)]


def box(degrees=0.0, **kwargs):
    """The 3 x 1 box, turned by degrees (y towards z)."""
    caps = [(*rotated(y, z, degrees), b, m) for y, z, b, m in BOX_CAPS]
    section(caps, BOX_WALLS, [[1, 2, 3, 4]], **kwargs)
