"""One signature file into the model: its text expanded and its notes read, the
declarations cracked by numpy's parser, the modules, routines and procedure
interfaces built and checked."""

from __future__ import annotations

import contextlib
import io
import re
import sys
from dataclasses import dataclass, field
from pathlib import Path

from .argument_lists import ArgumentList, check_list_directives, expand_argument_lists, take_lists
from .common import SignatureError
from .model import SCALAR_TYPES, Argument, Module, Procedure, PyArgument, Routine, Variable
from .notes import MODULE_RE, USER_BLOCK_RE, Notes, scan_notes
from .templates import expand_templates


@dataclass
class Fragment:
    path: Path
    text: str
    notes: Notes
    user_blocks: list[str]
    body: str
    modules: list[str]
    lists: dict = field(default_factory=dict)       # the argument lists it defines or includes
    instances: dict = field(default_factory=dict)   # routine -> (list, declared itself)


def read_fragment(path: Path) -> Fragment:
    lists: dict[str, ArgumentList] = {}
    text = take_lists(path.read_text(), path.resolve(), lists)
    check_list_directives(text, lists, path.name)
    text = expand_templates(text, path.name, lists)
    text, instances = expand_argument_lists(text, lists, path.name)
    notes = scan_notes(text, path.name)
    user_blocks = USER_BLOCK_RE.findall(text)
    body = USER_BLOCK_RE.sub("", text)
    modules = [m.group(1) for m in map(MODULE_RE.match, body.splitlines()) if m]
    if not modules:
        raise SignatureError(f"{path}: no module block")
    return Fragment(path, text, notes, user_blocks, body, modules, lists, instances)


def crack(pyf: Path) -> list[dict]:
    """numpy's parser on a combined signature file.  Its notes (the renaming of
    argument names it reserves, such as switch) are kept from the build's
    output and shown only when the parser fails."""
    from numpy.f2py import crackfortran
    crackfortran.quiet = 1
    crackfortran.verbose = 0
    notes = io.StringIO()
    printed = crackfortran.errmess  # bound to the standard error of numpy's import
    crackfortran.errmess = notes.write
    try:
        with contextlib.redirect_stdout(notes), contextlib.redirect_stderr(notes):
            blocks = crackfortran.crackfortran([str(pyf)])
    except Exception:
        sys.stderr.write(notes.getvalue())
        raise
    finally:
        crackfortran.errmess = printed
    return blocks


def scalar_type(var: dict, where: str):
    typ = var.get("typespec")
    if typ == "character":
        return "char", "KESTRO_TYPE_CHAR"
    kind = (var.get("kindselector") or {}).get("kind") or (var.get("kindselector") or {}).get("*")
    if kind is None:
        kind = {"integer": "4", "real": "4", "logical": "4", "complex": "4"}.get(typ, "")
        raise SignatureError(f"{where}: give the kind explicitly (e.g. {typ}(kind={kind}))")
    try:
        return SCALAR_TYPES[(typ, kind)]
    except KeyError:
        raise SignatureError(f"{where}: unsupported type {typ}(kind={kind})") from None


def char_length(var: dict, where: str) -> int:
    sel = var.get("charselector") or {}
    length = sel.get("len") or sel.get("*")
    if length is None or not str(length).isdigit():
        raise SignatureError(f"{where}: character variables need a fixed length")
    return int(length)


def is_const(var: dict) -> bool:
    """Whether the routine only reads the argument (intent(in) or hidden input)."""
    intent = [i.lower() for i in var.get("intent", [])]
    return not ({"out", "inout", "inplace"} & set(intent))


def data_argument(name: str, var: dict, where: str) -> Argument:
    ctype, _ = scalar_type(var, f"{where}, argument {name}")
    # A character array is passed without a length; a string with one.
    return Argument(name, ctype, const=is_const(var), character=(ctype == "char" and not var.get("dimension")),
                    array=bool(var.get("dimension")))


def function_result(block: dict, where: str) -> str | None:
    if block["block"] != "function":
        return None
    rname = block.get("result", block["name"])
    ctype, _ = scalar_type(block["vars"][rname], f"{where}, result")
    if ctype == "char":
        raise SignatureError(f"{where}: character results are not supported")
    return ctype


def build_procedures(user_blocks: list[dict], typedefs: dict,
                     complex_args: dict | None = None) -> dict[tuple[str, str], Procedure]:
    procedures = {}
    for ub in user_blocks:
        for iface in ub.get("body", []):
            for block in iface.get("body", []):
                key = (ub["name"].lower(), block["name"].lower())
                where = f"procedure interface {block['name']} of {ub['name']}"
                if key not in typedefs:
                    raise SignatureError(f"{where}: no '!kestro typedef <name>' above it")
                typedef, doc = typedefs[key]
                args = [data_argument(a, block["vars"][a], where) for a in block["args"]]
                intents = {a: [i.lower() for i in block["vars"][a].get("intent", [])] for a in block["args"]}
                outputs = [a for a in block["args"] if "out" in intents[a]]
                # In the order the callable is given them: the optional ones last.
                inputs = [a for a in block["args"]
                          if "hide" not in intents[a] and ("in" in intents[a] or "inout" in intents[a]
                                                           or not intents[a])]
                inputs.sort(key=lambda a: "optional" in block["vars"][a].get("attrspec", []))
                switched = (complex_args or {}).get(key, [])
                for a in switched:
                    if a not in [x.name for x in args if x.array and x.ctype == "double"]:
                        raise SignatureError(f"{where}: complex-mode names {a}, which is no real array")
                procedures[key] = Procedure(typedef, args, function_result(block, where), doc,
                                            ub["name"], block["name"], outputs, inputs, switched)
    return procedures


def python_arguments(block: dict) -> list[str]:
    """The routine's Python arguments: required inputs in order, then the optional ones."""
    required, optional = [], []
    for a in block["args"]:
        var = block["vars"].get(a, {})
        intent = var.get("intent", [])
        if "hide" in intent or ("out" in intent and "in" not in intent and "inout" not in intent):
            continue
        (optional if "optional" in var.get("attrspec", []) else required).append(a)
    return required + optional


def build_routine(module: Module, block: dict, notes: Notes, procedures: dict) -> Routine:
    name = block["name"]
    key = name.lower()
    where = f"module {module.name}, routine {name}"
    if block["block"] not in ("subroutine", "function"):
        raise SignatureError(f"{where}: unexpected block {block['block']}")
    vars_ = block["vars"]
    args = []
    for a in block["args"]:
        var = vars_.get(a)
        if var is None:
            raise SignatureError(f"{where}: argument {a} is not declared")
        if a in block.get("externals", []) or "external" in var.get("attrspec", []):
            found = [procedures[(u, a.lower())] for u in notes.uses.get(key, []) if (u, a.lower()) in procedures]
            if len(found) != 1:
                raise SignatureError(f"{where}: procedure argument {a} needs one 'use <block>' with its interface")
            args.append(Argument(a, found[0].typedef, callback=True))
            continue
        arg = data_argument(a, var, where)
        c_intent = notes.c_intents.get(key, {}).get(a.lower())
        if c_intent is not None:
            arg.const = c_intent == "in"
        args.append(arg)
    unknown = set(notes.c_intents.get(key, {})) - {a.lower() for a in block["args"]}
    if unknown:
        raise SignatureError(f"{where}: c-intent for {', '.join(sorted(unknown))}, not an argument")
    cname = notes.cnames.get(key)
    if module.package:
        if cname:
            raise SignatureError(f"{where}: package routines take no fortranname")
        symbol, c_named, lengths = f"{name}_", True, True
    elif cname:
        symbol, c_named, lengths = cname, True, False
    else:
        symbol, c_named, lengths = f"__{module.name}_MOD_{name}", False, True
    pyargs = python_arguments(block)
    inplace = notes.inplace.get(key, [])
    for a in inplace:
        if a not in pyargs:
            raise SignatureError(f"{where}: in-place argument {a} is not a Python argument")
    python_args = {}
    for a in pyargs:
        entry = python_argument(a, vars_[a], a in block.get("externals", []), f"{where}, argument {a}")
        entry.inplace = a in inplace
        if a in notes.shaped.get(key, {}):
            if entry.kind != "array" or entry.rank != -1:
                raise SignatureError(f"{where}: shaped argument {a} is not an assumed-size array")
            entry.shaped = notes.shaped[key][a]
        python_args[a] = entry
    bind_extents(block, python_args, where)
    for a in notes.blocks.get(key, []):
        if a not in python_args or not any(python_args[a].extents):
            raise SignatureError(f"{where}: block argument {a} has no extent given by another argument")
        python_args[a].block = True
    complex_when = notes.complex_when.get(key)
    if complex_when is not None:
        if not any(a.callback for a in args) or complex_when[0] not in [a.name for a in args if not a.array]:
            raise SignatureError(f"{where}: complex-when needs a procedure argument and a scalar argument")
    # The generated wrapper returns a function's value, then every output argument in order.
    outputs = [block.get("result", name).lower()] if block["block"] == "function" else []
    outputs += [a for a in block["args"] if "out" in [i.lower() for i in vars_[a].get("intent", [])]]
    for a, entry in python_args.items():
        entry.result = outputs.index(a) if a in outputs else -1
    returns = notes.returns.get(key)
    if returns is not None and [o for o in outputs if o in returns] != returns:
        raise SignatureError(f"{where}: returns {' '.join(returns)}, not results of the routine in their order")
    return Routine(module.name, name, args, function_result(block, where), symbol, c_named, lengths,
                   doc=notes.routine_docs.get(key, []), section=notes.sections.get(key),
                   python_args=python_args, complex_when=complex_when, outputs=outputs, returns=returns)


EXTENT_SOURCE_RE = re.compile(r"len\((\w+)\)|shape\((\w+),(\d+)\)")


def bind_extents(block: dict, python_args: dict[str, PyArgument], where: str):
    """The dimensions of the Python arrays whose extent is an integer argument
    that defaults to an extent of an array (n = len(x), n = shape(a, 0)).  The
    runtime checks them before the wrapper converts anything: without the
    argument each such extent equals that array's; with it, a leading dimension
    (one that spaces the entries of the next) equals it and the last dimension
    holds at least that many.  The generated wrapper then takes these arrays
    in the extents they have (an empty array too)."""
    vars_ = block["vars"]
    sources = {}
    for e in block["args"]:
        var = vars_.get(e, {})
        if var.get("dimension") or var.get("typespec") != "integer":
            continue
        m = EXTENT_SOURCE_RE.fullmatch((var.get("=") or "").replace(" ", ""))
        if m is None:
            continue
        source, dim = (m.group(1), 0) if m.group(1) else (m.group(2), int(m.group(3)))
        if source in python_args and python_args[source].kind == "array" and python_args[source].rank > dim:
            sources[e] = (e if e in python_args else None, source, dim)
    for a in python_args.values():
        if a.kind != "array" or a.rank < 1:
            continue
        dims = [d.replace(" ", "") for d in vars_[a.name].get("dimension", [])]
        if len(dims) != a.rank:
            raise SignatureError(f"{where}: argument {a.name} has {len(dims)} dimensions, not {a.rank}")
        a.extents = [sources.get(d) for d in dims]


def python_argument(name: str, var: dict, external: bool, where: str) -> PyArgument:
    if external or "external" in var.get("attrspec", []):
        return PyArgument(name, "procedure", required=True)
    intent = [i.lower() for i in var.get("intent", [])]
    required = "optional" not in var.get("attrspec", [])
    ctype, code = scalar_type(var, where)
    dims = [d.replace(" ", "") for d in var.get("dimension", [])]
    if ctype == "char" and not dims:
        return PyArgument(name, "string", required=required)
    inout = "inout" in intent or "inplace" in intent
    if not dims and not inout:
        return PyArgument(name, "scalar", code, required=required)
    # An in-out scalar is a 0-d array that the routine updates.
    same = [dims.index(d) if d != "*" else i for i, d in enumerate(dims)]
    written = inout or ("in" in intent and "out" in intent and "copy" not in intent)
    copy = "copy" in intent
    # An assumed-size array, dimension(*), takes any array as the flat list of
    # its values in column-major order.
    rank = -1 if dims == ["*"] else len(dims)
    fixed = [int(d) if d.isdigit() else -1 for d in dims] if rank > 0 else []
    return PyArgument(name, "array", code, rank, required, written, copy, same if rank > 0 else [], fixed,
                      inout=inout)


def build_module(mod: dict, fragment: Fragment, procedures: dict) -> Module:
    notes = fragment.notes
    name = mod["name"]
    out = Module(name=name, source=fragment.path.name, comment=notes.comment, python=not notes.c_only,
                 package=notes.package, macro_prefix=notes.macro_prefix, defines=notes.defines,
                 inline_headers=notes.inline_headers)
    routine_names = {b["name"] for b in mod.get("body", [])}
    for vname, var in mod["vars"].items():
        if vname in routine_names:
            continue
        where = f"module {name}, variable {vname}"
        if out.package:
            raise SignatureError(f"{where}: package modules hold no data")
        ctype, code = scalar_type(var, where)
        attrs = [a.lower() for a in var.get("attrspec", [])]
        v = Variable(name, vname, ctype, code, comment=notes.variable_comments.get(vname.lower(), ""),
                     kept=vname.lower() in notes.kept)
        dims = var.get("dimension")
        if ctype == "char":
            if dims:
                raise SignatureError(f"{where}: character arrays are not supported as module data")
            v.length = char_length(var, where)
        elif dims:
            if "allocatable" not in attrs or any(d != ":" for d in dims):
                raise SignatureError(f"{where}: module arrays must be allocatable with deferred shape")
            v.rank = len(dims)
        if "parameter" in attrs:
            v.parameter = var.get("=")
            if v.parameter is None:
                raise SignatureError(f"{where}: a parameter needs a value")
        if v.kept and v.kind != "allocatable":
            raise SignatureError(f"{where}: only allocatable arrays are kept or released")
        v.kept = v.kept or (name.lower() in notes.kept_modules and v.kind == "allocatable")
        out.variables.append(v)
    for block in mod.get("body", []):
        routine = build_routine(out, block, notes, procedures)
        routine.convention = fragment.instances.get(routine.name.lower(), (None,))[0]
        out.routines.append(routine)
    used = {r for routine in out.routines for r in notes.uses.get(routine.name.lower(), [])}
    out.procedures = [p for (block, _), p in procedures.items() if block in used]
    return out


def modules_of(blocks: list[dict], wrapper: str) -> list[dict]:
    for block in blocks:
        if block["block"] == "python module" and block["name"] == wrapper:
            return [m for iface in block["body"] if iface["block"] == "interface"
                    for m in iface["body"] if m["block"] == "module"]
    raise SignatureError(f"combined signature file has no python module {wrapper}")
