"""``exports.txt``, ``kestro.map`` and ``core/exports.cpp``: the exported symbols,
the version script that exports exactly them, and the table that refers to
every declared routine."""

from __future__ import annotations

import re
from pathlib import Path

from .common import HEADER_NOTE, write_if_changed
from .model import Module


API_RE = re.compile(r"^KESTRO_API\s+[^;(]*?\b(\w+)\s*\(", re.M)


def api_functions(paths: list[Path]) -> list[str]:
    """The functions that hand-written public headers declare KESTRO_API."""
    return [name for p in paths for name in API_RE.findall(p.read_text())]


def write_exports(outdir: Path, modules: list[Module], api: list[str]):
    symbols = sorted(set([v.symbol for m in modules for v in m.variables]
                         + [r.symbol for m in modules for r in m.routines] + api))
    write_if_changed(outdir / "exports.txt", "\n".join(symbols) + "\n")
    mapping = ["/* " + HEADER_NOTE + " */", "{", "  global:"]
    mapping += [f"    {s};" for s in symbols]
    mapping += ["  local:", "    *;", "};", ""]
    write_if_changed(outdir / "kestro.map", "\n".join(mapping))
    includes = ["core/shared_data.hpp"] + [f"decl/{m.name}.hpp" for m in modules]
    includes += [h for m in modules for h in m.inline_headers]
    cpp = [f"// {HEADER_NOTE}",
           "// Refers to every routine the signature files declare: the library does not",
           "// link while one of them has no definition, and the inline ones are emitted here."]
    cpp += [f'#include "{i}"' for i in dict.fromkeys(includes)]
    cpp += ["", "namespace {", "[[gnu::used]] const void *const declared_routines[] = {"]
    cpp += [f"    reinterpret_cast<const void *>(&{r.cxx_name})," for m in modules for r in m.routines]
    cpp += ["    nullptr,", "};", "}  // namespace", ""]
    write_if_changed(outdir / "core" / "exports.cpp", "\n".join(cpp))
