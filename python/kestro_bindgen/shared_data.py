"""``core/shared_data.hpp`` and ``core/shared_data.cpp``: the C++ declarations
and definitions of every module variable, the arrays ``deallocall`` releases
and keeps, and the scalars and strings (for a host that puts every variable
back to its start)."""

from __future__ import annotations

from pathlib import Path

from .common import HEADER_NOTE, write_if_changed
from .ctext import cxx_comment
from .headers import variable_declarator
from .model import Module, Variable


def cxx_definition(v: Variable) -> str:
    initial = {"parameter": f" = {v.parameter}", "string": " = {}", "allocatable": f'{{"{v.name}"}}'}
    array = f"constinit Allocatable<{v.cxxtype}, {v.rank}>"
    return f"{variable_declarator(v, v.name, v.cxxtype, array)}{initial.get(v.kind, '{}')};"


def write_shared_data(outdir: Path, modules: list[Module]):
    with_data = [m for m in modules if m.variables]
    arrays = [v for m in with_data for v in m.variables if v.kind == "allocatable"]
    released = [v for v in arrays if not v.kept]
    kept = [v for v in arrays if v.kept]
    plain = [v for m in with_data for v in m.variables if v.kind in ("scalar", "string")]
    hpp = [f"// {HEADER_NOTE}", "#pragma once", "", "#include <complex>", "#include <cstddef>", "#include <cstdint>", "",
           '#include "core/array.hpp"', '#include "kestro/common.h"', ""]
    cpp = [f"// {HEADER_NOTE}", '#include "core/shared_data.hpp"', ""]
    for m in with_data:
        hpp += cxx_comment(m.comment[:1] or [m.name])
        hpp.append(f"namespace kestro::{m.name} {{")
        cpp.append(f"namespace kestro::{m.name} {{")
        for v in m.variables:
            array = f"Allocatable<{v.cxxtype}, {v.rank}>"
            hpp.append(f'KESTRO_API extern {variable_declarator(v, v.name, v.cxxtype, array)} asm("{v.symbol}");')
            cpp.append(cxx_definition(v))
        hpp += ["}", ""]
        cpp += ["}", ""]
    hpp += ["namespace kestro::shared_data {",
            "// The allocatable arrays that deallocall releases, and those it leaves alone:",
            "// between them, every allocatable array of the shared data.",
            f"extern kestro_array *const released_by_deallocall[{max(len(released), 1)}];",
            f"inline constexpr int released_count = {len(released)};",
            f"extern kestro_array *const kept_by_deallocall[{max(len(kept), 1)}];",
            f"inline constexpr int kept_count = {len(kept)};",
            "// Every scalar and fixed-length string, with its size in bytes: each starts",
            "// as zero bytes.",
            "struct Plain {",
            "    void *address;",
            "    std::size_t size;",
            "};",
            f"extern const Plain plain_variables[{max(len(plain), 1)}];",
            f"inline constexpr int plain_count = {len(plain)};",
            "}  // namespace kestro::shared_data", ""]
    cpp += ["namespace kestro::shared_data {"]
    for name, group in (("released_by_deallocall", released), ("kept_by_deallocall", kept)):
        cpp.append(f"kestro_array *const {name}[{max(len(group), 1)}] = {{")
        cpp += [f"    &kestro::{v.module}::{v.name}," for v in group] or ["    nullptr,"]
        cpp.append("};")
    cpp.append(f"const Plain plain_variables[{max(len(plain), 1)}] = {{")
    cpp += [f"    {{&kestro::{v.module}::{v.name}, sizeof kestro::{v.module}::{v.name}}}," for v in plain] \
        or ["    {nullptr, 0},"]
    cpp.append("};")
    cpp += ["}  // namespace kestro::shared_data", ""]
    write_if_changed(outdir / "core" / "shared_data.hpp", "\n".join(hpp))
    write_if_changed(outdir / "core" / "shared_data.cpp", "\n".join(cpp))
