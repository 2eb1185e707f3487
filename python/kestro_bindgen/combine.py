"""Every signature file together: the combined signature files, the modules in
the order of the files, and the argument lists checked against their instances."""

from __future__ import annotations

from pathlib import Path

from .common import HEADER_NOTE, SignatureError, write_if_changed
from .conventions import build_conventions, check_instances, write_conventions
from .model import Module
from .parse import Fragment, build_module, build_procedures, crack, modules_of


def combine(fragments: list[Fragment], wrapper: str, setup: bool) -> str:
    user_blocks, bodies = [], []
    for frag in fragments:
        user_blocks.extend(frag.user_blocks)
        bodies.append(f"! from {frag.path.name}\n{frag.body.strip()}\n")
    text = [f"! {HEADER_NOTE}\n"]
    text.extend(user_blocks)
    text.append(f"python module {wrapper}\n")
    if setup:
        text.append("usercode '''\n#include \"python/checks.h\"\n"
                    "extern int kestro_python_setup(PyObject *module, PyObject *error);\n'''\n")
    text.append("interface\n")
    if setup:
        text.append("usercode '''\n    if (kestro_python_setup(m, _kestro_error) != 0) return NULL;\n'''\n")
    text.extend(bodies)
    text.append(f"end interface\nend python module {wrapper}\n")
    return "\n".join(text)


def write_combined(fragments: list[Fragment], outdir: Path) -> Path:
    """Writes the combined signature file of the extension module, which load() cracks."""
    path = outdir / "_kestro.pyf"
    write_if_changed(path, combine([f for f in fragments if not f.notes.c_only], "_kestro", setup=True))
    return path


def load(fragments: list[Fragment], outdir: Path) -> dict[str, Module]:
    """Cracks the signature files (the combined one written first) and builds
    the modules, in the order of the files."""
    python = [f for f in fragments if not f.notes.c_only]
    c_only = [f for f in fragments if f.notes.c_only]
    typedefs = {k: v for f in fragments for k, v in f.notes.typedefs.items()}
    complex_args = {k: v for f in fragments for k, v in f.notes.complex_args.items()}
    owner = {}
    for f in fragments:
        for name in f.modules:
            if name.lower() in owner:
                raise SignatureError(f"module {name} is declared twice")
            owner[name.lower()] = f
    cracked = []
    every_procedure = {}
    for group, wrapper, pyf in ((python, "_kestro", "_kestro.pyf"), (c_only, "_kestro_c", "_kestro_c.pyf")):
        if not group:
            continue
        if wrapper != "_kestro":
            write_if_changed(outdir / pyf, combine(group, wrapper, setup=False))
        blocks = crack(outdir / pyf)
        procedures = build_procedures([b for b in blocks if b["name"] != wrapper], typedefs, complex_args)
        every_procedure.update(procedures)
        cracked.extend((mod, procedures) for mod in modules_of(blocks, wrapper))
    modules = {}
    for mod, procedures in cracked:
        modules[mod["name"]] = build_module(mod, owner[mod["name"].lower()], procedures)
    lists = {}
    for f in fragments:
        for name, lst in f.lists.items():
            known = lists.get(name)
            if known and (known.lines, known.doc, known.base, known.left_out) != \
                    (lst.lines, lst.doc, lst.base, lst.left_out):
                raise SignatureError(f"{f.path.name}: argument list {name} differs from the one of {known.origin}")
            lists[name] = lst
    conventions = build_conventions(lists, outdir)
    check_instances(fragments, modules, every_procedure, conventions)
    write_conventions(outdir, conventions)
    order = {f.path: i for i, f in enumerate(fragments)}
    return dict(sorted(modules.items(), key=lambda kv: (order[owner[kv[0].lower()].path], kv[0])))
