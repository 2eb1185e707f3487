"""The files a run writes, known from the signature files before it runs.

The build declares them as the generator's outputs: whatever includes or
compiles one of them is then rebuilt in the same build that rewrote it.  The
build reads the list from a manifest that the generator writes at configure
time (``--list-outputs``); every later run checks that it still writes exactly
the files of the manifest."""

from __future__ import annotations

from pathlib import Path

from .common import SignatureError, written_files
from .parse import Fragment


def expected_outputs(fragments: list[Fragment], python: bool) -> list[str]:
    """The files a run writes, relative to its output directory."""
    names = ["_kestro.pyf", "decl/conventions.hpp", "include/kestro/kestro.h", "core/shared_data.hpp",
             "core/shared_data.cpp", "core/exports.cpp", "exports.txt", "kestro.map", "modules.json"]
    if any(f.notes.c_only for f in fragments):
        names.append("_kestro_c.pyf")
    if any(f.lists for f in fragments):
        names.append("_kestro_conventions.pyf")
    # Fortran names ignore case; the parser gives a module's name in lower case.
    for module in (m.lower() for f in fragments for m in f.modules):
        names += [f"include/kestro/{module}.h", f"decl/{module}.hpp"]
    if python:
        names += ["_kestromodule.c", "kestro_f2py_glue.cpp"]
    return sorted(set(names))


def read_manifest(path: Path) -> list[str]:
    return path.read_text().split() if path.exists() else []


def write_manifest(path: Path, outdir: Path, names: list[str]):
    """The manifest, rewritten only when it changes (the build reads it again
    then); the files it no longer holds are removed, so that nothing includes
    them unnoticed."""
    declared = read_manifest(path)
    if declared == names:
        return
    for name in set(declared) - set(names):
        (outdir / name).unlink(missing_ok=True)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("".join(f"{n}\n" for n in names))


def check_manifest(path: Path, outdir: Path, expected: list[str]):
    """Stops a run whose outputs are no longer those the build declared (a
    module added to or taken from a signature file): the manifest is renewed,
    which makes the next build read it again."""
    declared = read_manifest(path)
    if declared == expected:
        return
    added = sorted(set(expected) - set(declared))
    gone = sorted(set(declared) - set(expected))
    write_manifest(path, outdir, expected)
    raise SignatureError("the generated files differ from those the build declared (new: "
                         f"{', '.join(added) or 'none'}; gone: {', '.join(gone) or 'none'}); "
                         "the build files are renewed at the next build: build again")


def check_written(outdir: Path, expected: list[str]):
    """Every file of the run is a declared output, and every declared output was made."""
    written = sorted(p.relative_to(outdir).as_posix() for p in written_files() if p.is_relative_to(outdir))
    undeclared = sorted(set(written) - set(expected))
    missing = sorted(set(expected) - set(written))
    if undeclared or missing:
        raise SignatureError(f"outputs out of step with kestro_bindgen/outputs.py: written but not declared: "
                             f"{', '.join(undeclared) or 'none'}; declared but not written: {', '.join(missing) or 'none'}")
