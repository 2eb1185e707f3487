"""The install rules: cmake --install of the build into a new prefix gives the headers, the library
and the Python module, and a solver's user-routine file (examples/job.c) builds there with a plain
cc and computes the ply's stress and tangent."""

import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

BUILD = Path(os.environ["KESTRO_BUILD_DIR"])
LIBDIR = os.environ["KESTRO_INSTALL_LIBDIR"]
PYDIR = os.environ["KESTRO_PYTHON_INSTALL_DIR"]
JOB = Path(__file__).resolve().parents[2] / "examples" / "job.c"


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)], check=True, capture_output=True)
    return prefix


def ply_point():
    """Stress, tangent and energy of the example's ply from the inverse of its orthotropic compliance."""
    e1, e2, e3, nu12, nu13, nu23, g12, g13, g23 = 161000.0, 11400.0, 11400.0, 0.32, 0.32, 0.436, 5170.0, 5170.0, 3970.0
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -nu12 / e1, -nu13 / e1], [-nu12 / e1, 1 / e2, -nu23 / e2], [-nu13 / e1, -nu23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    c = np.linalg.inv(s)
    strain = np.array([2.5e-3, -2.0e-4, -5.0e-4, 1.5e-3, 2.0e-4, -3.0e-4])
    return c @ strain, c, 0.5 * (c @ strain) @ strain


def test_job_c_builds_with_plain_cc_against_the_installed_library(prefix, tmp_path):
    lib = prefix / LIBDIR
    subprocess.run(["cc", str(JOB), f"-I{prefix}/include", f"-L{lib}", "-lkestro", f"-Wl,-rpath,{lib}",
                    "-o", str(tmp_path / "job")], check=True)
    out = subprocess.run([str(tmp_path / "job")], check=True, capture_output=True, text=True).stdout
    rows = {}
    for line in out.splitlines()[1:-1]:  # between the title and the comparison
        words = line.split()
        if line[:1] != " ":
            label = words.pop(0)
        rows.setdefault(label, []).append([float(w) for w in words])
    stress, tangent, energy = ply_point()
    np.testing.assert_allclose(rows["stress"][0], stress, rtol=1e-9, atol=1e-9)
    np.testing.assert_allclose(rows["ddsdde"], tangent, rtol=1e-9, atol=1e-9)
    assert rows["sse"][0][0] == pytest.approx(energy, rel=1e-9)
    assert "tangent equals GetNyeStiffnessMatrix" in out


def test_installed_python_module_loads_the_installed_library(prefix):
    code = ("import _kestro; print(_kestro.__file__); "
            "print(*[l.split()[-1] for l in open('/proc/self/maps') if 'libkestro' in l][:1])")
    env = {"PATH": os.environ["PATH"], "PYTHONPATH": str(prefix / PYDIR)}
    module, library = subprocess.run(["/usr/bin/python3", "-c", code], env=env, check=True, capture_output=True,
                                     text=True).stdout.split()
    assert Path(module).parent == prefix / PYDIR
    assert Path(library).resolve().parent == (prefix / LIBDIR).resolve()
