"""The declarations the build generates from the signature files hold: the
library exports exactly the generated list, every generated header compiles
on its own, and a definition that disagrees with its declaration does not
build."""

import json
import os
import re
import shlex
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KESTRO_BUILD_DIR", SOURCE / "build"))
GENERATED = BUILD / "generated"
LIBRARY = Path(os.environ.get("KESTRO_LIBRARY", BUILD / "lib" / "libkestro.so"))
MODULES = json.loads((GENERATED / "modules.json").read_text())


def exported_symbols():
    out = subprocess.run(["nm", "-D", "--defined-only", str(LIBRARY)], check=True, capture_output=True,
                         text=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.strip()}


def test_the_library_exports_exactly_the_generated_list():
    listed = set((GENERATED / "exports.txt").read_text().split())
    declared = {item["symbol"] for module in MODULES.values()
                for kind in ("variables", "routines") for item in module[kind].values()}
    assert declared <= listed
    assert exported_symbols() == listed
    assert not [s for s in listed if s.startswith("_Z")]


@pytest.mark.parametrize("header", sorted(p.name for p in (GENERATED / "include" / "kestro").glob("*.h")))
@pytest.mark.parametrize("language", ["c", "c++"])
def test_each_generated_header_compiles_on_its_own(header, language):
    std = "-std=c11" if language == "c" else "-std=c++20"
    compiler = "gcc" if language == "c" else "g++"
    result = subprocess.run(
        [compiler, "-x", language, std, "-fsyntax-only", "-Wall", "-Wextra", "-pedantic", "-Werror",
         f"-I{SOURCE / 'include'}", f"-I{GENERATED / 'include'}", "-"],
        input=f'#include "kestro/{header}"\n', capture_output=True, text=True)
    assert result.returncode == 0, result.stderr


def compile_command(source):
    """The build's own command for one library source, writing nowhere."""
    for entry in json.loads((BUILD / "compile_commands.json").read_text()):
        if Path(entry["file"]).resolve() == source:
            args = shlex.split(entry["command"])
            out = args.index("-o")
            del args[out:out + 2]
            args = [a for a in args if a not in ("-MD", "-MT", "-MF") and not a.endswith(".o.d")
                    and not a.endswith(".o")]
            return args, entry["directory"]
    raise LookupError(source)


# A parameter type changed in one definition of each kind of routine.
MISMATCHES = [
    ("src/core/datahandling.cpp", "void deallocall(int32_t *istat) noexcept",
     "void deallocall(int64_t *istat) noexcept"),                          # a module procedure
    ("src/math/linalg.cpp", "void MatrixInverse(const double *a, double *ainv, const int32_t *n)",
     "void MatrixInverse(const double *a, double *ainv, const int64_t *n)"),  # a routine with a C name
    ("src/math/linalg.cpp", "void MatrixInverse(const double *a, double *ainv, const int32_t *n)",
     "void MatrixInverse(double *a, double *ainv, const int32_t *n)"),      # an input no longer const
    ("src/pchip/families.cpp", "R P##pchst_(const R *arg1, const R *arg2)",
     "R P##pchst_(const R *arg1, const double *arg2)"),                    # package routines of both widths
]


@pytest.mark.parametrize("path,declared,changed", MISMATCHES, ids=[m[2].split("(")[0] for m in MISMATCHES])
def test_a_definition_that_disagrees_with_its_declaration_does_not_build(tmp_path, path, declared, changed):
    source = SOURCE / path
    args, directory = compile_command(source)
    text = source.read_text()
    assert text.count(declared) == 1
    copy = tmp_path / source.name
    for body, builds in ((text, True), (text.replace(declared, changed), False)):
        copy.write_text(body)
        command = [str(copy) if a == str(source) else a for a in args] + ["-fsyntax-only"]
        result = subprocess.run(command, cwd=directory, capture_output=True, text=True)
        assert (result.returncode == 0) == builds, result.stderr
        if not builds:
            assert re.search(r"declaration|conflicting", result.stderr), result.stderr


def test_each_solver_list_is_one_record_and_its_procedure_types_take_it():
    header = (GENERATED / "decl" / "conventions.hpp").read_text()
    members = {name: len(re.findall(r"^    [^(){}\n]*;$", body, re.M))
               for name, body in re.findall(r"^struct (\w+) \{\n(.*?)^\};", header, re.M | re.S)}
    # The lists' arguments, and the length of a material name where the list has one.
    assert {k: members[k] for k in ("Umat", "Vumat", "Usermat", "Hypela", "Upermat", "Uel", "Vuel")} == {
        "Umat": 37 + 1, "Vumat": 33 + 1, "Usermat": 41, "Hypela": 43, "Upermat": 15, "Uel": 36, "Vuel": 33}
    macros = {name: text.replace("[[maybe_unused]] ", "")
              for name, text in re.findall(r"^#define (KESTRO_\w+) (.*)$", header, re.M)}
    wrapper = (GENERATED / "include" / "kestro" / "wrapper.h").read_text()

    def params(typedef):
        text = re.search(rf"typedef void \(\*{typedef}\)\((.*?)\);", wrapper, re.S).group(1)
        return re.sub(r"\s+", " ", text)
    assert params("kestro_umat") == macros["KESTRO_UMAT_PARAMETERS"] + ", " + macros["KESTRO_UMAT_LENGTHS"]
    assert params("kestro_usermat") == macros["KESTRO_USERMAT_PARAMETERS"]
    assert params("kestro_muesli_umat") == ("const int32_t *matid, " + macros["KESTRO_UMAT_PARAMETERS"] + ", "
                                            + macros["KESTRO_UMAT_LENGTHS"])


def test_every_solver_entry_takes_a_declared_list_at_both_faces():
    entries = MODULES["toplevel"]["routines"]
    assert sorted(n for n, r in entries.items() if r["convention"] is None) == ["gen_damage", "uaccess_iocontrol"]
    definitions = "\n".join(p.read_text() for p in sorted((SOURCE / "src" / "solver").glob("*.cpp")))
    for module in ("toplevel", "wrapper"):
        for name, r in MODULES[module]["routines"].items():
            if r["convention"] is None:
                continue
            cxx = name if r["symbol"].startswith("__") else r["symbol"]
            head = rf"void (?:kestro::{module}::)?{cxx}\((?:kestro_\w+ dfunc, )?KESTRO_{r['convention'].upper()}_PARAMETERS\b"
            assert re.search(head, definitions), f"{module}.{name} does not take KESTRO_{r['convention'].upper()}"
