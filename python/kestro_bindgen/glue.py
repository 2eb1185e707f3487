"""``kestro_f2py_glue.cpp``: the module set-up functions the extension module
calls, one accessor per allocatable array, one call adapter per routine, and
the tables of routines and variables the runtime uses."""

from __future__ import annotations

import json
from pathlib import Path

from .common import HEADER_NOTE, write_if_changed
from .model import Module


def write_glue(outdir: Path, modules: list[Module]):
    python = [m for m in modules if m.python]
    includes = ["core/shared_data.hpp", "python/runtime.hpp"] + [f"decl/{m.name}.hpp" for m in python]
    out = [f"// {HEADER_NOTE}", "#include <cstddef>", "#include <cstdint>", ""]
    out.extend(f'#include "{i}"' for i in includes)
    out.extend(["", "namespace {", "using kestro::python::f2py_getdims;", ""])
    registry = []
    inits = []
    for m in python:
        entries = {}
        for v in m.variables:
            address = f"&kestro::{m.name}::{v.name}"
            if v.kind == "allocatable":
                thunk = f"getdims_{m.name}_{v.name}"
                out.append(f"void {thunk}(int *r, kestro::python::npy_index *s, "
                           f"kestro::python::set_data_fn f, int *flag) "
                           f"{{ kestro::python::getdims(kestro::{m.name}::{v.name}, r, s, f, flag); }}")
                entries[v.name] = f"reinterpret_cast<f2py_getdims>(&{thunk})"
                registry.append(f'    {{"{m.name}", "{v.name}", kestro::python::Kind::allocatable, '
                                f"{address}, &{thunk}, 0}},")
            else:
                ptr = f"kestro::{m.name}::{v.name}" if v.kind == "string" else address
                entries[v.name] = f"reinterpret_cast<char *>(const_cast<void *>(static_cast<const void *>({ptr})))"
                registry.append(f'    {{"{m.name}", "{v.name}", kestro::python::Kind::{v.kind}, '
                                f"{ptr}, nullptr, {v.length}}},")
        for r in m.routines:
            thunk = f"call_{m.name}_{r.name}"
            params, passed, lengths = [], [], []
            if r.result is not None:
                params.append(f"{r.result} *result")
            callbacks = []
            for a in r.args:
                if a.callback:
                    params.append(f"void *{a.name}")
                    passed.append(f"{a.name}_")
                    callbacks.append(a)
                    continue
                params.append(f"{a.ctype} *{a.name}")
                passed.append(a.name)
                if a.character:
                    lengths.append(f"std::size_t {a.name}_len")
            params.extend(lengths)
            if r.lengths:
                passed.extend(ln.split()[-1] for ln in lengths)
                unused = ""
            else:
                unused = "".join(f" static_cast<void>({ln.split()[-1]});" for ln in lengths)
            call = f"{r.cxx_name}({', '.join(passed)})"
            body = f"*result = {call};" if r.result is not None else f"{call};"
            # Each procedure argument reaches the routine through a trampoline
            # that turns a Python exception into a C++ one.
            for n, a in reversed(list(enumerate(callbacks))):
                body = (f"kestro::python::with_procedure<{a.ctype}, {n}>({a.name}, "
                        f"[&]({a.ctype} {a.name}_) {{ {body} }});")
            if r.complex_when is not None:
                flag, value = r.complex_when
                body = (f"const kestro::python::ComplexCallbacks complex_callbacks("
                        f"{flag} != nullptr && *{flag} == {value}); {body}")
            out.append(f"void {thunk}({', '.join(params)}) {{{unused} kestro::python::routine_entered = true; {body} }}")
            entries[r.name] = f"reinterpret_cast<char *>(&{thunk})"
        args = [entries[name] for name in m.order]
        types = ["f2py_getdims" if e.startswith("reinterpret_cast<f2py_getdims>") else "char *"
                 for e in args]
        inits.append((m.name, types, args))
    out.extend(["}  // namespace", ""])
    for name, types, args in inits:
        out.append(f'extern "C" void f2pyinit{name}(void (*setup)({", ".join(types)})) {{')
        out.append(f"    setup({', '.join(args)});")
        out.append("}")
        out.append("")
    tables = []
    for m in python:
        for r in m.routines:
            index_of = {k: i for i, k in enumerate(r.keywords)}
            entries = [r.python_argument(k).table_entry(index_of) for k in r.keywords]
            table = f"arguments_{m.name}_{r.name}"
            out.append(f"const kestro::python::Argument {table}[] = {{")
            out.extend(f"    {entry}," for entry in entries)
            out.append("    {nullptr, kestro::python::ArgKind::scalar, 0, 0, false, false, -1, false, false, -1, {0}, {-1}, "
                       "{-1}, {-1}, {-1}, false, -1},")
            out.append("};")
            # The results the Python form returns, by position among the wrapper's.
            returned = "nullptr"
            if r.returns is not None:
                returned = f"returned_{m.name}_{r.name}"
                positions = [str(r.outputs.index(x)) for x in r.returns] + ["-1"]
                out.append(f"const int8_t {returned}[] = {{{', '.join(positions)}}};")
            # The routine's description for help(): its signature comments.
            doc = json.dumps("\n".join(r.doc))
            tables.append(f'    {{"{m.name}", "{r.name}", {table}, {len(entries)}, {doc}, {len(r.outputs)}, '
                          f'{returned}}},')
    out.append("")
    out.append("const kestro::python::Routine kestro::python::routines[] = {")
    out.extend(tables)
    out.append("    {nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr},")
    out.append("};")
    out.append("")
    out.append("const kestro::python::Variable kestro::python::variables[] = {")
    out.extend(registry)
    out.append("    {nullptr, nullptr, kestro::python::Kind::scalar, nullptr, nullptr, 0},")
    out.append("};")
    out.append("")
    write_if_changed(outdir / "kestro_f2py_glue.cpp", "\n".join(out))
