"""The laminate example job (examples/laminate_job.py and examples/job.py)
against classical lamination theory computed here from the cards' values:
ply stresses by rotating the strain and stress tensors, maximum stress."""

import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
import laminate_job  # noqa: E402

# The material and section cards of examples/laminate: T300/epoxy, [0/45/-45/90]s of 0.125 mm plies.
E1, E2, NU12, G12 = 135000.0, 9500.0, 0.30, 5000.0
XT, YT, XC, YC, S12 = 2000.0, 50.0, 1200.0, 200.0, 80.0
LAYUP, T, GF, LC = [0, 45, -45, 90, 90, -45, 45, 0], 0.125, 90.0, 1.0


def ply_stress(angle, strain):
    """Ply-axis stress (11, 22, 12) of a ply at laminate strain (x, y, engineering xy)."""
    c, s = np.cos(np.radians(angle)), np.sin(np.radians(angle))
    r = np.array([[c, s], [-s, c]])
    e = r @ np.array([[strain[0], strain[2] / 2], [strain[2] / 2, strain[1]]]) @ r.T
    q = np.linalg.inv([[1 / E1, -NU12 / E1, 0], [-NU12 / E1, 1 / E2, 0], [0, 0, 1 / G12]])
    return q @ [e[0, 0], e[1, 1], 2 * e[0, 1]], r


def laminate_stress(angle, strain):
    (s11, s22, s12), r = ply_stress(angle, strain)
    s = r.T @ np.array([[s11, s12], [s12, s22]]) @ r
    return np.array([s[0, 0], s[1, 1], s[0, 1]])


A = sum(T * np.column_stack([laminate_stress(a, np.eye(3)[j]) for j in range(3)]) for a in LAYUP)
H = T * len(LAYUP)
UNIT = np.concatenate([[1.0], np.linalg.solve(A[1:, 1:], -A[1:, 0])])  # ex = 1, Ny = Nxy = 0


def failure_strain(angle):
    s11, s22, s12 = ply_stress(angle, UNIT)[0]
    return 1.0 / max(s11 / XT if s11 > 0 else -s11 / XC, s22 / YT if s22 > 0 else -s22 / YC, abs(s12) / S12)


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    """The job run twice in this process."""
    return [laminate_job.run(tmp_path_factory.mktemp(f"run{k}")) for k in range(2)]


def test_tension_against_lamination_theory(runs):
    tension = runs[0]["tension"]
    assert tension["A11/h"] == pytest.approx(A[0, 0] / H, rel=1e-9)
    assert [(set(s["angles"]), s["mode"]) for s in tension["sequence"]] == [
        ({90.0}, "matrix"), ({45.0, -45.0}, "matrix"), ({0.0}, "fibre")]
    assert tension["first_ply_failure"]["plies"] == [4, 5]
    for s, angle in zip(tension["sequence"], (90, 45, 0)):
        assert s["strain"] == pytest.approx(failure_strain(angle), rel=1e-9)


def test_ply_softening_dissipates_the_fracture_energy(runs):
    softening = runs[0]["softening"]
    assert softening["damage"] == 1.0
    assert softening["dissipated"] == pytest.approx(GF / LC, rel=0.02)


def test_a_second_run_gives_the_same_numbers(runs):
    first, second = (r["tension"] for r in runs)
    np.testing.assert_array_equal(first["curve"], second["curve"])
    assert [s["strain"] for s in first["sequence"]] == [s["strain"] for s in second["sequence"]]
    np.testing.assert_array_equal(runs[0]["softening"]["curve"], runs[1]["softening"]["curve"])


@pytest.mark.parametrize("inputs, status, text", [
    (None, 0, "first-ply failure strain"),
    ("nowhere", 1, "kestro: Cannot process any input file. Execution stops."),
])
def test_the_job_command(tmp_path, inputs, status, text):
    args = ["--no-plot", "--outdir", str(tmp_path)] + ([] if inputs is None else ["--inputs", str(tmp_path / inputs)])
    done = subprocess.run([sys.executable, str(EXAMPLES / "job.py"), *args], capture_output=True, text=True,
                          env=dict(os.environ), timeout=60)
    assert done.returncode == status and text in done.stdout + done.stderr
    assert "Traceback" not in done.stderr and not list(tmp_path.glob("*.png"))
