"""Shared helpers for the _kestro tests.

The library keeps its data in process-global module variables, so every test
starts from the state a fresh process has: the autouse fixture below drops all
arrays, clears the error record and puts scalars and strings back to their
start values after each test.
"""

import os
import re
import subprocess
import sys
import textwrap
from collections import namedtuple
from pathlib import Path

import numpy as np
import pytest

import _kestro

SIGNATURES = Path(__file__).resolve().parents[2] / "python" / "signatures"

# kind: "int", "real" or "char"; rank 0 for scalars and strings; length for strings.
Variable = namedtuple("Variable", "kind rank length constant")

_DECL = re.compile(
    r"^\s*(integer|real|character)\((?:kind|len)=(\d+)\)(.*?)::\s*(\w+)", re.IGNORECASE
)


def _read_declarations():
    """Module variables as declared in the signature files: {module: {name: Variable}}."""
    modules = {}
    for path in sorted(SIGNATURES.glob("*.pyf")):
        current = None
        for line in path.read_text().splitlines():
            code = line.split("!", 1)[0].strip()
            if not code:
                continue
            opened = re.match(r"module\s+(\w+)$", code, re.IGNORECASE)
            if opened:
                current = modules.setdefault(opened.group(1), {})
                continue
            if re.match(r"(contains|end\s+module)\b", code, re.IGNORECASE):
                current = None
                continue
            decl = _DECL.match(code)
            if current is None or decl is None:
                continue
            typ, size, attrs, name = decl.groups()
            dims = re.search(r"dimension\(([^)]*)\)", attrs)
            current[name] = Variable(
                kind={"integer": "int", "real": "real", "character": "char"}[typ.lower()],
                rank=dims.group(1).count(":") if dims else 0,
                length=int(size) if typ.lower() == "character" else None,
                constant="parameter" in attrs.lower(),
            )
    return {name: variables for name, variables in modules.items() if variables}


DECLARED = _read_declarations()

DTYPES = {"int": np.dtype(np.int32), "real": np.dtype(np.float64)}


def arrays_of(module):
    """Names and declarations of the allocatable arrays of a module."""
    return {n: v for n, v in DECLARED[module].items() if v.rank > 0}


def sample(var, shape):
    """Distinct values of the variable's type, C-ordered, of the given shape."""
    values = np.arange(1, int(np.prod(shape)) + 1).reshape(shape)
    return values.astype(np.int32) if var.kind == "int" else values + 0.25


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
