"""One build after an edit of a signature file recompiles what includes the
declarations the generator rewrote: a definition that no longer matches its
declaration stops that same build, naming the routine.  The tree is a copy of
the library's own, configured as a build of the library alone."""

import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
PYTHON = os.environ.get("KESTRO_PYTHON_EXECUTABLE", "/usr/bin/python3")
SIGNATURE = "python/signatures/elementhandling.pyf"
ENTRY = re.compile(r"  subroutine getcurvatures\(.*?end subroutine getcurvatures\n", re.S)
OBJECT = "CMakeFiles/kestro_objects.dir/src/elements/frames.cpp.o"

# (what changed, the signature file's text -> its edited text)
EDITS = [
    ("an argument's kind", lambda text: ENTRY.sub(
        lambda m: m.group(0).replace("real(kind=8), intent(out) :: delta", "integer(kind=4), intent(out) :: delta"),
        text)),
    ("an entry deleted", lambda text: ENTRY.sub("", text)),
]


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    if shutil.which("ninja") is None:
        pytest.skip("needs ninja")
    root = tmp_path_factory.mktemp("rebuild")
    for name in ("include", "python", "src", "examples"):
        shutil.copytree(SOURCE / name, root / name, ignore=shutil.ignore_patterns("__pycache__"))
    shutil.copy2(SOURCE / "CMakeLists.txt", root)
    subprocess.run(["cmake", "-S", root, "-B", root / "build", "-G", "Ninja", f"-DPython3_EXECUTABLE={PYTHON}",
                    "-DKESTRO_PYTHON=OFF", "-DKESTRO_TESTS=OFF", "-DKESTRO_BENCH=OFF", "-DKESTRO_WERROR=ON"],
                   check=True, capture_output=True)
    return root


def build(root):
    return subprocess.run(["cmake", "--build", root / "build", "--target", OBJECT], capture_output=True, text=True)


@pytest.mark.parametrize("edit", [e for _, e in EDITS], ids=[what for what, _ in EDITS])
def test_the_first_build_after_a_signature_edit_refuses_the_stale_definition(tree, edit):
    signature = tree / SIGNATURE
    pristine = signature.read_text()
    edited = edit(pristine)
    assert edited != pristine
    try:
        baseline = build(tree)
        assert baseline.returncode == 0, baseline.stdout + baseline.stderr
        signature.write_text(edited)
        result = build(tree)
        assert result.returncode != 0, result.stdout
        assert re.search(r"(conflicting declaration|no previous declaration)[^\n]*GetCurvatures", result.stdout), \
            result.stdout
    finally:
        signature.write_text(pristine)
