"""The public C header of each module (``include/kestro/<module>.h``), the
umbrella ``include/kestro/kestro.h``, and the C++ declarations ``decl/<module>.hpp``."""

from __future__ import annotations

from pathlib import Path

from .common import HEADER_NOTE, write_if_changed
from .ctext import c_block_comment, cxx_comment, prototype
from .model import Module, Routine, Variable


def variable_declarator(v: Variable, name: str, scalar: str, array: str) -> str:
    """The type and name of a module variable under `name`, as its declaration
    and its definition spell them."""
    if v.kind == "parameter":
        return f"const {scalar} {name}"
    if v.kind == "string":
        return f"char {name}[{v.length}]"
    if v.kind == "allocatable":
        return f"{array} {name}"
    return f"{scalar} {name}"


def variable_comment(v: Variable) -> str:
    if v.kind == "allocatable":
        what = {"KESTRO_TYPE_INT4": "4-byte integer", "KESTRO_TYPE_REAL8": "8-byte real",
                "KESTRO_TYPE_COMPLEX16": "complex", "KESTRO_TYPE_LOGICAL1": "1-byte logical"}.get(
                    v.typecode, v.ctype)
        head = f"{what}, rank {v.rank}"
        return f"{head}: {v.comment}" if v.comment else head
    if v.kind == "parameter":
        return v.comment or f"= {v.parameter}"
    return v.comment


def macros(m: Module) -> list[str]:
    out = []
    if m.macro_prefix:
        for v in m.variables:
            if v.kind == "parameter":
                note = f"  /* {v.comment} */" if v.comment else ""
                out.append(f"#define {m.macro_prefix}{v.name.upper()} {v.parameter}{note}")
    for name, value, comment in m.defines:
        out.append(f"#define {name} {value}" + (f"  /* {comment} */" if comment else ""))
    return out


def routine_lines(m: Module, comment) -> list[tuple[Routine | None, list[str]]]:
    """Section headings and documentation of the routines, in the order of the signature file."""
    out = []
    for r in m.routines:
        lines = []
        if r.section:
            lines += ["", comment([f"---- {r.section}"])[0]]
        elif r.doc:
            lines.append("")
        lines += comment(r.doc)
        out.append((r, lines))
    return out


def write_c_header(outdir: Path, m: Module):
    guard = f"KESTRO_{m.name.upper()}_H"
    h = [f"/* {HEADER_NOTE} */"]
    h += c_block_comment(m.comment or [f"Module {m.name}."])
    h += [f"#ifndef {guard}", f"#define {guard}", "", "#include <stddef.h>", "#include <stdint.h>", "",
          '#include "kestro/common.h"']
    if any(v.kind == "allocatable" for v in m.variables):
        h.append('#include "kestro/array.h"')
    h += ["", "#ifdef __cplusplus", 'extern "C" {', "#endif"]
    defs = macros(m)
    if defs:
        h += [""] + defs
    for p in m.procedures:
        h += [""] + c_block_comment(p.doc) + p.declaration()
    if m.variables:
        h.append("")
        for v in m.variables:
            comment = variable_comment(v)
            h.append(f"KESTRO_API extern {variable_declarator(v, v.symbol, v.ctype, 'kestro_array')};"
                     + (f"  /* {comment} */" if comment else ""))
    for r, lines in routine_lines(m, c_block_comment):
        h += lines + prototype(f"KESTRO_API {r.result or 'void'} {r.symbol}", r.c_params())
    h += ["", "#ifdef __cplusplus", "}", "#endif", "", "#endif", ""]
    write_if_changed(outdir / "include" / "kestro" / f"{m.name}.h", "\n".join(h))


def write_cxx_header(outdir: Path, m: Module):
    h = [f"// {HEADER_NOTE}"] + cxx_comment(m.comment or [f"Module {m.name}."])
    h += ["#pragma once", "", "#include <cstddef>", "#include <cstdint>", "", '#include "kestro/common.h"', ""]
    procs = [r for r in m.routines if not r.c_named]
    h.append('extern "C" {')
    defs = macros(m)
    if defs:
        h += [""] + [f"#ifndef {d.split()[1]}\n{d}\n#endif" for d in defs]
    for p in m.procedures:
        h += [""] + cxx_comment(p.doc) + p.declaration()
    for r, lines in routine_lines(m, cxx_comment):
        if r.c_named:
            h += lines + prototype(f"KESTRO_API {r.result or 'void'} {r.symbol}", r.c_params())
    h += ["", '}  // extern "C"']
    if procs:
        h += ["", f"namespace kestro::{m.name} {{", "", "using std::size_t;"]
        for r, lines in routine_lines(m, cxx_comment):
            if r.c_named:
                continue
            # A routine that calls back into its caller lets the caller's
            # exceptions pass; every other routine throws nothing.
            qualifier = "" if r.has_callback else " noexcept"
            h += lines + prototype(f"KESTRO_API {r.result or 'void'} {r.name}", r.c_params(),
                                   f'{qualifier} asm("{r.symbol}");')
        h += ["", f"}}  // namespace kestro::{m.name}"]
    h.append("")
    write_if_changed(outdir / "decl" / f"{m.name}.hpp", "\n".join(h))


def write_umbrella(outdir: Path, modules: list[Module], api_headers: list[str]):
    h = [f"/* {HEADER_NOTE} */",
         "/* kestro: analysis of composite structures.  Include this header to reach every",
         " * routine and every shared variable of the library from C. */",
         "#ifndef KESTRO_KESTRO_H", "#define KESTRO_KESTRO_H", "", '#include "kestro/common.h"']
    h += [f'#include "kestro/{name}"' for name in api_headers]
    h += [f'#include "kestro/{m.name}.h"' for m in modules]
    h += ["", "#endif", ""]
    write_if_changed(outdir / "include" / "kestro" / "kestro.h", "\n".join(h))
