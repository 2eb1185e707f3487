"""The argument lists as C and C++ see them: the check that every instance takes
a list's arguments, and ``decl/conventions.hpp``."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

from .argument_lists import ArgumentList
from .common import HEADER_NOTE, SignatureError, write_if_changed
from .ctext import cxx_comment, prototype
from .model import Argument, Module
from .parse import Fragment, crack, data_argument, modules_of


@dataclass
class Convention:
    """A solver's argument list as C and C++ see it; a list derived from
    another (`base`) has the base's arguments but those it leaves out."""
    name: str
    doc: list[str]
    args: list[Argument]
    base: str | None = None
    left_out: frozenset[str] = frozenset()

    @property
    def record(self) -> str:
        return self.name.capitalize()

    @property
    def macro(self) -> str:
        return f"KESTRO_{self.name.upper()}"

    def lengths(self) -> list[Argument]:
        return [a for a in self.args if a.character]


def build_conventions(lists: dict[str, ArgumentList], outdir: Path) -> dict[str, Convention]:
    """The C arguments of every list, as its routines declare them."""
    if not lists:
        return {}
    body = []
    for name, lst in lists.items():
        if lst.base is not None:
            continue
        body.append(f"    subroutine {name}({','.join(lst.names)})")
        body += lst.instance("routine", set(), False, f"{lst.origin}, list {name}")
        body.append(f"    end subroutine {name}")
    text = "\n".join(["python module _kestro_conventions", "interface", "  module conventions", "  contains",
                      *body, "  end module conventions", "end interface", "end python module _kestro_conventions", ""])
    write_if_changed(outdir / "_kestro_conventions.pyf", text)
    module = modules_of(crack(outdir / "_kestro_conventions.pyf"), "_kestro_conventions")[0]
    out = {}
    for block in module.get("body", []):
        name = block["name"].lower()
        args = [data_argument(a, block["vars"][a], f"list {name}") for a in block["args"]]
        out[name] = Convention(name, lists[name].doc, args)
    for name, lst in lists.items():
        if lst.base is not None:
            out[name] = Convention(name, lst.doc, [a for a in out[lst.base].args if a.name not in lst.left_out],
                                   lst.base, lst.left_out)
    return out


def check_instances(fragments: list[Fragment], modules: dict[str, Module], procedures: dict,
                    conventions: dict[str, Convention]):
    """Every routine and procedure of a convention takes the list's C
    arguments in the list's order and types (those it declares itself aside)."""
    routines = {(r.module.lower(), r.name.lower()): r for m in modules.values() for r in m.routines}
    for f in fragments:
        for key, (name, overridden) in f.instances.items():
            if "." in key:
                target = procedures.get(tuple(key.split(".", 1)))
            else:
                target = next((routines[(m.lower(), key)] for m in f.modules if (m.lower(), key) in routines), None)
            if target is None:
                continue
            expected = conventions[name].args
            given = [a for a in target.args if not a.callback]
            first = next((i for i, a in enumerate(given) if a.name == expected[0].name), None) if expected else 0
            run = given[first:first + len(expected)] if first is not None else []
            if len(run) != len(expected) or any(
                    a.name != b.name or (a.name not in overridden and a.c_param() != b.c_param())
                    for a, b in zip(run, expected)):
                raise SignatureError(f"{f.path.name}: {key} does not take the arguments of list {name}")


def write_conventions(outdir: Path, conventions: dict[str, Convention]):
    """decl/conventions.hpp: per argument list, the record of its arguments by
    name, the macros that spell its parameters and arguments for the
    definitions of its entries, and the call of a procedure with a record.  A
    list derived from another has macros only: its arguments fill the base's
    record, with null pointers for those it leaves out."""
    h = [f"// {HEADER_NOTE}",
         "// The solvers' argument lists: per list a record of its arguments by name (as the",
         "// entries of that convention take them), the macros that spell its parameters and",
         "// arguments in the definitions of those entries (an entry need not read every",
         "// argument of its list), and the call of a procedure of the convention with a record",
         "// (after leading arguments of its own).",
         "#pragma once", "", "#include <cstddef>", "#include <cstdint>", "", '#include "kestro/common.h"', "",
         "namespace kestro::conventions {"]
    macros = []
    for c in conventions.values():
        lengths = [f"size_t {a.name}_len" for a in c.lengths()]
        if c.base is None:
            names = [a.name for a in c.args] + [f"{a.name}_len" for a in c.lengths()]
            h += [""] + cxx_comment(c.doc or [f"The argument list {c.name}."])
            h.append(f"struct {c.record} {{")
            h += [f"    {a.c_param()};" for a in c.args] + [f"    std::{x};" for x in lengths]
            h.append("};")
            h.append("template <class F, class... Leading>")
            h.append(f"void call(F f, const {c.record} &a, Leading... leading) {{")
            h += prototype("    f", ["leading..."] + [f"a.{n}" for n in names])
            h.append("}")
            macros.append("")
        else:
            base = conventions[c.base]
            names = [a.name if a.name not in c.left_out else "nullptr" for a in base.args]
            names += [f"{a.name}_len" if a.name not in c.left_out else "0" for a in base.lengths()]
            macros.append("")
            macros += [f"// {line}" for line in (c.doc or [f"The argument list {c.name}."])]
            macros.append(f"// Its arguments fill the record {base.record}, with null pointers for "
                          f"{', '.join(sorted(c.left_out))}.")
        macros.append(f"#define {c.macro}_PARAMETERS " + ", ".join(f"[[maybe_unused]] {a.c_param()}" for a in c.args))
        if lengths:
            macros.append(f"#define {c.macro}_LENGTHS " + ", ".join(f"[[maybe_unused]] {x}" for x in lengths))
        macros.append(f"#define {c.macro}_ARGUMENTS " + ", ".join(names))
    h += ["", "}  // namespace kestro::conventions"] + macros + [""]
    write_if_changed(outdir / "decl" / "conventions.hpp", "\n".join(h))
