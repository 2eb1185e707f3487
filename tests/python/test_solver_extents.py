"""Every extent that the signature of a solver entry or adapter states is
checked: an array one entry short or long in any dimension raises
_kestro.error before the routine runs.  The calls are built from the
combined signature file itself, so a routine added later is covered too."""

import re

import numpy as np
import pytest
from numpy.f2py import crackfortran

import _kestro
from conftest import GENERATED

crackfortran.quiet, crackfortran.verbose = 1, 0
_BLOCKS = crackfortran.crackfortran([str(GENERATED / "_kestro.pyf")])
_MODULES = {m["name"]: m for b in _BLOCKS if b["name"] == "_kestro" for i in b["body"] for m in i["body"]}

# The counts of the calls: three-dimensional points, two points per block.
COUNTS = {"nblock": 2, "npoint": 2, "ndir": 3, "nshr": 3, "ndi": 3, "ndirect": 3, "nshear": 3, "ntens": 6,
          "ncomp": 6, "ngens": 6, "nstatv": 4, "nstatev": 4, "nfield": 2, "nfieldv": 2, "nprops": 3, "nprop": 3}
SOURCE = re.compile(r"len\((\w+)\)|shape\((\w+),(\d+)\)")


class Called(Exception):
    """The material routine of an adapter was reached: every argument passed."""


def called(*args):
    raise Called


def routine_arguments(module, name):
    """The routine's block, the arguments a call gives (required ones), the
    extents that are counts defaulting to an array's own ((array,
    dimension) -> count), and the values of the integer scalars."""
    block = next(r for r in _MODULES[module]["body"] if r["name"] == name)
    v = block["vars"]
    given = [a for a in block["args"] if "optional" not in v[a].get("attrspec", []) and
             "hide" not in v[a].get("intent", []) and v[a].get("intent", []) != ["out"]]
    sources = {(m[1] or m[2], int(m[3] or 0)): a for a in block["args"]
               if (m := SOURCE.fullmatch(v[a].get("=", "").replace(" ", "")))}
    env = {a: COUNTS.get(a, 1) for a in block["args"] if v[a].get("typespec") == "integer" and "dimension" not in v[a]}
    env["kestro_nonnegative"] = lambda n: max(n, 0)
    return block, given, sources, env


def value(block, a, sources, env, shape=None):
    var = block["vars"][a]
    kind, dims = var.get("typespec"), var.get("dimension")
    if "external" in var.get("attrspec", []):
        return called
    if kind == "character":
        return np.array([b"x"] * 4) if dims else "MATERIAL"
    dtype = np.int32 if kind == "integer" else np.float64
    if not dims:
        return dtype(env.get(a, 1)) if kind == "integer" else 0.0
    if shape is None:
        shape = [env[sources[a, d]] if (a, d) in sources else 4 if e == "*" else eval(e, {}, env)  # noqa: S307
                 for d, e in enumerate(dims)]
    return np.zeros(shape, dtype, order="F")


def cases():
    """(module, routine, array, dimension) for every extent a signature states."""
    for module in ("toplevel", "wrapper"):
        for r in _MODULES[module]["body"]:
            block, given, sources, _ = routine_arguments(module, r["name"])
            for a in given:
                var = block["vars"][a]
                if var.get("typespec") != "character":
                    for d, e in enumerate(var.get("dimension", [])):
                        if e != "*" and (a, d) not in sources:
                            yield module, r["name"], a, d


@pytest.mark.parametrize("case", list(cases()), ids="{0[0]}.{0[1]}.{0[2]}.{0[3]}".format)
def test_an_array_off_by_one_in_any_dimension_is_refused(case):
    module, name, a, d = case
    block, given, sources, env = routine_arguments(module, name)
    call = getattr(getattr(_kestro, module), name)
    args = {x: value(block, x, sources, env) for x in given}
    try:  # the call as built passes every check (an adapter reaches its material)
        call(**args)
    except Called:
        pass
    for step in (-1, 1):
        shape = list(args[a].shape)
        shape[d] += step
        with pytest.raises(_kestro.error):
            call(**{**args, a: value(block, a, sources, env, shape)})
