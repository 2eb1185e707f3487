"""Shared helpers for the _kestro tests.

The library keeps its data in process-global module variables, so every test
starts from the state a fresh process has: the autouse fixture below drops all
arrays, clears the error record and puts scalars and strings back to their
start values after each test.
"""

import json
import os
import subprocess
import sys
import textwrap
from collections import namedtuple
from pathlib import Path

import numpy as np
import pytest

import _kestro

# What the signature files declare, as the build generated it.
GENERATED = Path(os.environ.get("KESTRO_GENERATED",
                                Path(__file__).resolve().parents[2] / "build" / "generated"))
MODULES = json.loads((GENERATED / "modules.json").read_text())

# kind: "int", "real", "complex" or "char"; rank 0 for scalars and strings;
# length for strings; kept: an array that deallocall leaves alone.
Variable = namedtuple("Variable", "kind rank length constant kept")

_KINDS = {"int32_t": "int", "double": "real", "kestro_complex": "complex", "char": "char"}


def _read_declarations():
    """Module variables of the modules offered to Python: {module: {name: Variable}}."""
    modules = {}
    for name, module in MODULES.items():
        if not module["python"] or not module["variables"]:
            continue
        modules[name] = {
            n: Variable(kind=_KINDS[v["ctype"]], rank=v["rank"], length=v["length"] or None,
                        constant=v["kind"] == "parameter", kept=v["kept"])
            for n, v in module["variables"].items()
        }
    return modules


DECLARED = _read_declarations()

DTYPES = {"int": np.dtype(np.int32), "real": np.dtype(np.float64), "complex": np.dtype(np.complex128)}


def arrays_of(module):
    """Names and declarations of the allocatable arrays of a module."""
    return {n: v for n, v in DECLARED[module].items() if v.rank > 0}


def sample(var, shape):
    """Distinct values of the variable's type, C-ordered, of the given shape."""
    values = np.arange(1, int(np.prod(shape)) + 1).reshape(shape)
    if var.kind == "int":
        return values.astype(np.int32)
    return values + (0.25j if var.kind == "complex" else 0.25)


def umat_arguments(dstran, routine=None, **given):
    """The positional arguments of a routine of the UMAT list (a routine of
    _kestro.toplevel; None: the list alone, as the adapters take it) at one
    point of len(dstran) components, in the routine's order: each argument
    given by its name, else a neutral value (zero stress, state, tangent and
    energies, identity rotations, ndi 2 for three components and 3 otherwise,
    step 1, increment 1, 20 degrees).  Optional extents are the call's own."""
    n = len(dstran)
    ndi = given.get("ndi", 2 if n == 3 else 3)
    neutral = dict(stress=np.zeros(n), statev=np.zeros(40), ddsdde=np.zeros((n, n)), sse=np.array(0.0),
                   spd=np.array(0.0), scd=np.array(0.0), rpl=np.array(0.0), ddsddt=np.zeros(n), drplde=np.zeros(n),
                   drpldt=np.array(0.0), stran=np.zeros(n), dstran=np.array(dstran, float), time=[0.0, 0.0],
                   dtime=0.1, temp=20.0, dtemp=0.0, predef=[0.0], dpred=[0.0], cmname="MAT", ndi=ndi, nshr=n - ndi,
                   props=np.zeros(0), coords=np.zeros(3), drot=np.eye(3), pnewdt=np.array(1.0), celent=1.0,
                   dfgrd0=np.eye(3), dfgrd1=np.eye(3), noel=1, npt=1, layer=1, kspt=1,
                   jstep=np.array([1, 1, 1, 0], np.int32), kinc=1)
    if routine is not None and not isinstance(routine, str):
        routine = next(r for r in MODULES["toplevel"]["routines"] if getattr(_kestro.toplevel, r) is routine)
    names = [a["name"] for a in MODULES["toplevel"]["routines"][routine or "umat_lamina"]["python"] if a["required"]]
    unknown = set(given) - set(names)
    assert not unknown, f"not arguments of {routine}: {unknown}"
    return [given[a] if a in given else neutral[a] for a in names]


def recorded():
    """The error record: (errstat, errstring without its padding)."""
    return _kestro.errorhandling.errstat, bytes(_kestro.errorhandling.errstring).decode().rstrip(" \0")


def reset_module_state():
    _kestro.datahandling.deallocall()
    _kestro.errorhandling.rsxerr(1)
    for module, variables in DECLARED.items():
        holder = getattr(_kestro, module)
        for name, var in variables.items():
            if var.constant:
                continue
            if var.kind == "char":
                setattr(holder, name, b"\0" * var.length)
            elif var.rank == 0:
                setattr(holder, name, 0)
            else:
                setattr(holder, name, None)


@pytest.fixture(autouse=True)
def clean_state():
    yield
    reset_module_state()


@pytest.fixture
def run_python():
    """Run a snippet in a fresh interpreter that can import _kestro."""
    module_dir = os.path.dirname(os.path.abspath(_kestro.__file__))
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        p for p in (module_dir, env.get("PYTHONPATH")) if p
    )

    def run(code):
        return subprocess.run(
            [sys.executable, "-c", textwrap.dedent(code)],
            env=env,
            capture_output=True,
            timeout=120,
        )

    return run


# What the cubic Hermite message handler prints before it ends the process for
# a level-1 error seen once, byte for byte.
ONE_POINT_BLOCK = (b" ***MESSAGE FROM ROUTINE DPCHIM IN LIBRARY SLATEC.\n"
                   b" ***POTENTIALLY RECOVERABLE ERROR, PROG ABORTED, TRACEBACK REQUESTED\n"
                   b" *  NUMBER OF DATA POINTS LESS THAN TWO\n"
                   b" *  ERROR NUMBER = -1\n"
                   b" *   \n"
                   b" ***END OF MESSAGE\n"
                   b" \n"
                   b" ***JOB ABORT DUE TO UNRECOVERED ERROR.\n"
                   b"0          ERROR MESSAGE SUMMARY\n"
                   b" LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
                   b" SLATEC     DPCHIM     NUMBER OF DATA POINT        -1         1         1\n"
                   b" \n")


def hermite_block(routine, message, number):
    """The fatal message block of the cubic Hermite handler for a level-1 error seen once."""
    return (f" ***MESSAGE FROM ROUTINE {routine} IN LIBRARY SLATEC.\n"
            " ***POTENTIALLY RECOVERABLE ERROR, PROG ABORTED, TRACEBACK REQUESTED\n"
            f" *  {message}\n"
            f" *  ERROR NUMBER = {number}\n"
            " *   \n"
            " ***END OF MESSAGE\n"
            " \n"
            " ***JOB ABORT DUE TO UNRECOVERED ERROR.\n"
            "0          ERROR MESSAGE SUMMARY\n"
            " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
            f" {'SLATEC':8}   {routine:8}   {message[:20]:20}{number:10d}{1:10d}{1:10d}\n"
            " \n").encode()
