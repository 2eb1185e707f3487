#!/usr/bin/env python3
"""Generates every declaration of the library from its signature files.

Every module of the library is declared once, in a signature file
``python/signatures/<module>.pyf``: its shared variables and the interfaces
of its routines, in the declarative language of numpy's signature-file
wrapper generator.  From those files this script writes

* ``include/kestro/<module>.h``: the public C header of each module (its
  variables, the prototypes of its routines, the types of its procedure
  arguments, with the comments of the signature file), and the umbrella
  header ``include/kestro/kestro.h``;
* ``decl/<module>.hpp``: the C++ declarations of the same routines, which
  every definition's source includes, so that a definition that disagrees
  with its declaration fails to compile;
* ``core/shared_data.hpp`` and ``core/shared_data.cpp``: the C++ declarations
  and definitions of every module variable, and the arrays ``deallocall``
  releases and keeps;
* ``core/exports.cpp``, ``exports.txt`` and ``kestro.map``: the list of
  exported symbols, a table that references each routine (so that the library
  does not link while one is missing) and the linker's version script that
  exports exactly those symbols;
* ``modules.json``: what the signature files declare, for the tests;
* ``_kestro.pyf`` and ``_kestromodule.c``: the combined signature file of the
  modules offered to Python and the extension module that numpy's wrapper
  generator builds from it;
* ``kestro_f2py_glue.cpp``: the module set-up functions the extension module
  calls to learn the addresses of variables and routines, one accessor per
  allocatable array, and one call adapter per routine.

Directives in comments (``!kestro ...``) add what the wrapper language has no
words for:

* file level: ``c-only`` (the modules reach C and C++ only, not Python);
  ``package`` (routines outside the modules in the package convention:
  exported as ``name_``, a length per character argument; implies c-only);
  ``macros <PREFIX>`` (each named constant also becomes a C macro
  ``<PREFIX><NAME>``); ``define <NAME> <value>`` (a C macro of the module);
  ``inline "<header>"`` (a header with inline definitions of some of the
  module's routines, which the export table must see);
* before a variable: ``keep`` (``deallocall`` leaves the array alone); before
  a module statement, ``keep`` leaves every array of the module alone;
* in a routine: ``inplace <argument>`` (the Python form writes into the
  caller's array); ``c-intent <argument> in|out`` (the routine reads only, or
  writes, an argument that the Python form passes otherwise, such as an output
  that is handed the Python form's copy of an input); ``shaped <argument>
  [<rows>]`` (an assumed-size array that the Python form takes in any shape,
  with <rows> entries along its first dimension when given, passes as its
  column-major list of values and returns in the caller's shape); ``block
  <argument>`` (the routine works on the leading block of the argument that
  its extent arguments give: the Python form passes that block);
* before a procedure interface: ``typedef <name>`` (its C type name);
  ``complex-mode <arguments>`` (real arrays of the procedure that its caller
  may pass as complex values instead: the Python callable gets and returns
  them as complex arrays while a routine's ``complex-when`` holds);
* in a routine: ``complex-when <argument> <value>`` (while the routine runs
  with that integer argument present and equal to the value, its procedure
  arguments exchange their ``complex-mode`` arrays as complex values);
* ``template <names> in <values>`` ... ``end template``: the lines between
  are repeated for each binding, ``${expression}`` replaced by its value; a
  line ending in ``!kestro each <name> in <expression>`` is repeated for each
  value of the expression.

Comments directly above a routine are its documentation; a comment beginning
with ``----`` is a section heading; a comment after a variable documents it.
"""

from __future__ import annotations

import argparse
import ast
import contextlib
import io
import itertools
import json
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

# numpy versions whose generated module the patches below were checked against.
# Another version builds as long as every patch still finds what it replaces.
CHECKED_NUMPY_VERSIONS = ("1.24.2",)

# (typespec, kind) -> (C type, type code of kestro_array)
SCALAR_TYPES = {
    ("integer", "1"): ("int8_t", "KESTRO_TYPE_INT1"),
    ("integer", "2"): ("int16_t", "KESTRO_TYPE_INT2"),
    ("integer", "4"): ("int32_t", "KESTRO_TYPE_INT4"),
    ("integer", "8"): ("int64_t", "KESTRO_TYPE_INT8"),
    ("real", "4"): ("float", "KESTRO_TYPE_REAL4"),
    ("real", "8"): ("double", "KESTRO_TYPE_REAL8"),
    ("complex", "8"): ("kestro_complex", "KESTRO_TYPE_COMPLEX16"),
    ("logical", "1"): ("kestro_logical1", "KESTRO_TYPE_LOGICAL1"),
    ("logical", "4"): ("int32_t", "KESTRO_TYPE_LOGICAL4"),
}
# Module variables in C++: std::complex for complex values.
CXX_VARIABLE_TYPES = {"kestro_complex": "std::complex<double>", "kestro_logical1": "int8_t"}

HEADER_NOTE = "Generated by python/bindgen.py from the signature files in python/signatures: do not edit."


class SignatureError(Exception):
    pass


# ---------------------------------------------------------------- templates

TEMPLATE_RE = re.compile(r"^\s*!kestro\s+template\s+(.+?)\s+in\s+(.+?)\s*$")
END_TEMPLATE_RE = re.compile(r"^\s*!kestro\s+end\s+template\s*$")
EACH_RE = re.compile(r"^(.*?)\s*!kestro\s+each\s+(\w+)\s+in\s+(.+?)\s*$")
SUBST_RE = re.compile(r"\$\{([^}]*)\}")


def seq(prefix: str, count: int, sep: str = ",") -> str:
    """prefix1,prefix2,...,prefix<count>."""
    return sep.join(f"{prefix}{i}" for i in range(1, count + 1))


TEMPLATE_GLOBALS = {"__builtins__": {}, "range": range, "str": str, "len": len, "seq": seq}


def _evaluate(expr: str, env: dict, where: str):
    try:
        return eval(expr, TEMPLATE_GLOBALS, dict(env))  # noqa: S307 - our own build input
    except Exception as exc:  # pragma: no cover - reported to the author of the template
        raise SignatureError(f"{where}: cannot evaluate '{expr}': {exc}") from None


def _bindings(header: list[tuple[str, str, str]]):
    """All combinations of the template's parameter tables, outer table first."""
    tables = []
    for names, values, where in header:
        try:
            names_v = [n.strip() for n in names.strip("()").split(",") if n.strip()]
            rows = ast.literal_eval(values)
        except (ValueError, SyntaxError) as exc:
            raise SignatureError(f"{where}: bad template values: {exc}") from None
        table = []
        for row in rows:
            row = row if isinstance(row, tuple) else (row,)
            if len(row) != len(names_v):
                raise SignatureError(f"{where}: {row!r} does not bind {', '.join(names_v)}")
            table.append(dict(zip(names_v, row)))
        tables.append(table)
    for combo in itertools.product(*tables):
        env = {}
        for part in combo:
            env.update(part)
        yield env


def _expand_line(line: str, env: dict, where: str) -> list[str]:
    each = EACH_RE.match(line)
    if each:
        body, name, expr = each.groups()
        return [_expand_line(body, {**env, name: value}, where)[0] for value in _evaluate(expr, env, where)]
    return [SUBST_RE.sub(lambda m: str(_evaluate(m.group(1), env, where)), line)]


def expand_templates(text: str, origin: str, lists: dict | None = None) -> str:
    """The text with every template block repeated for its bindings; ${}
    outside a template takes the functions alone (arguments of a list)."""
    out: list[str] = []
    lines = text.splitlines()
    base = {"arguments": _arguments_of(lists or {}, origin)}
    i = 0
    while i < len(lines):
        if not TEMPLATE_RE.match(lines[i]):
            if END_TEMPLATE_RE.match(lines[i]) or EACH_RE.match(lines[i]):
                raise SignatureError(f"{origin}:{i + 1}: template directive outside a template")
            out.extend(_expand_line(lines[i], base, f"{origin}:{i + 1}") if "${" in lines[i] else [lines[i]])
            i += 1
            continue
        header = []
        while i < len(lines) and TEMPLATE_RE.match(lines[i]):
            m = TEMPLATE_RE.match(lines[i])
            header.append((m.group(1), m.group(2), f"{origin}:{i + 1}"))
            i += 1
        start = i
        while i < len(lines) and not END_TEMPLATE_RE.match(lines[i]):
            if TEMPLATE_RE.match(lines[i]):
                raise SignatureError(f"{origin}:{i + 1}: templates do not nest")
            i += 1
        if i == len(lines):
            raise SignatureError(f"{header[0][2]}: template without 'end template'")
        body = lines[start:i]
        i += 1
        for env in _bindings(header):
            env = {**base, **env}
            for n, line in enumerate(body):
                out.extend(_expand_line(line, env, f"{origin}:{start + n + 1}"))
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------- argument lists

INCLUDE_RE = re.compile(r'^\s*!kestro\s+include\s+"([^"]+)"\s*$')
LIST_RE = re.compile(r"^\s*!kestro\s+list\s+(\w+)\s*$")
END_LIST_RE = re.compile(r"^\s*!kestro\s+end\s+list\s*$")
USE_LIST_RE = re.compile(r"^\s*!kestro\s+arguments\s+(\w+)(?:\s+without\s+(.+?))?\s*$")
ONLY_RE = re.compile(r"^(.*?)\s*!kestro\s+only\s+(\w+)\s*$")
NAMES_DIRECTIVE_RE = re.compile(r"^(\s*!kestro\s+(inplace|returns)\s+)(.*?)\s*$")
DECLARED_RE = re.compile(r"^\s*[^!]*::\s*(\w+)")
HEADER_ARGS_RE = re.compile(r"\(([^)]*)\)")

# What a list's lines may say of the role they are instantiated in: a routine
# takes the values it hands to the callable and back (in,out), a procedure is
# lent them for the call and does not return them (inout).
ROLES = {"routine": {"lent": "in,out"}, "procedure": {"lent": "inout"}}


@dataclass
class ArgumentList:
    """A solver's argument list, declared once and instantiated by every
    routine and procedure interface of that convention."""
    name: str
    doc: list[str]
    lines: list[str]
    origin: str

    @property
    def names(self) -> list[str]:
        lines = self.instance("routine", set(), set(), False, f"{self.origin}, list {self.name}")
        return [m.group(1).lower() for m in map(DECLARED_RE.match, lines) if m]

    def instance(self, role: str, without: set[str], own: set[str], own_returns: bool, where: str) -> list[str]:
        """The declarations for one instance: lines of another role dropped,
        the arguments `without` left out, those the routine declares itself
        (`own`) taken from the routine, and the list's `returns` only when
        the routine says none of its own."""
        out = []
        env = {"role": role, **ROLES[role]}
        for line in self.lines:
            only = ONLY_RE.match(line)
            if only:
                if only.group(2) not in ROLES:
                    raise SignatureError(f"{self.origin}: list {self.name}: unknown role '{only.group(2)}'")
                if only.group(2) != role:
                    continue
                line = only.group(1)
            names = NAMES_DIRECTIVE_RE.match(line)
            if names:
                if names.group(2) == "returns" and own_returns:
                    continue
                kept = [n for n in names.group(3).split() if n.lower() not in without]
                if kept:
                    out.append(names.group(1) + " ".join(kept))
                continue
            for expanded in _expand_line(line, env, where):
                declared = DECLARED_RE.match(expanded)
                if not (declared and declared.group(1).lower() in without | own):
                    out.append(expanded)
        return out


def _arguments_of(lists: dict, origin: str):
    def arguments(name, *without):
        if name not in lists:
            raise SignatureError(f"{origin}: no argument list '{name}'")
        return ",".join(n for n in lists[name].names if n not in without)
    return arguments


def take_lists(text: str, path: Path, lists: dict, seen: tuple = ()) -> str:
    """The text without its list definitions, which go to `lists`; an
    included file gives its lists and nothing else."""
    out, pending = [], []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        include = INCLUDE_RE.match(line)
        if include:
            target = (path.parent / include.group(1)).resolve()
            if target in seen or not target.is_file():
                raise SignatureError(f"{path.name}:{i + 1}: cannot include '{include.group(1)}'")
            take_lists(target.read_text(), target, lists, seen + (target,))
            i += 1
            continue
        start = LIST_RE.match(line)
        if start is None:
            if END_LIST_RE.match(line):
                raise SignatureError(f"{path.name}:{i + 1}: 'end list' outside a list")
            pending = pending + [line] if COMMENT_RE.match(line) and not DIRECTIVE_RE.match(line) else []
            out.append(line)
            i += 1
            continue
        name = start.group(1).lower()
        body = []
        i += 1
        while i < len(lines) and not END_LIST_RE.match(lines[i]):
            if LIST_RE.match(lines[i]):
                raise SignatureError(f"{path.name}:{i + 1}: lists do not nest")
            body.append(lines[i])
            i += 1
        if i == len(lines):
            raise SignatureError(f"{path.name}: list {name} without 'end list'")
        i += 1
        doc = [_comment_text(c) for c in pending]
        del out[len(out) - len(pending):]
        pending = []
        new = ArgumentList(name, doc, body, path.name)
        if name in lists and (lists[name].lines, lists[name].doc) != (body, doc):
            raise SignatureError(f"{path.name}: argument list {name} is defined twice")
        lists[name] = new
    return "\n".join(out) + "\n"


def expand_argument_lists(text: str, lists: dict, origin: str) -> tuple[str, dict[str, tuple]]:
    """Replaces each '!kestro arguments <list> [without <names>]' line of a
    routine or procedure interface by the list's declarations; returns the
    text and, per routine (and per procedure, as <block>.<name>), the list it
    instantiates with the arguments it leaves out and those it declares itself."""
    out: list[str] = []
    instances: dict[str, tuple] = {}
    lines = text.splitlines()
    user_block: str | None = None
    i = 0
    while i < len(lines):
        line = lines[i]
        if USER_START_RE.match(line):
            user_block = USER_START_RE.match(line).group(1).lower()
        elif USER_END_RE.match(line):
            user_block = None
        start = ROUTINE_START_RE.match(line)
        if start is None:
            if USE_LIST_RE.match(line):
                raise SignatureError(f"{origin}:{i + 1}: '!kestro arguments' outside a routine")
            out.append(line)
            i += 1
            continue
        end = i + 1
        while end < len(lines) and not ROUTINE_END_RE.match(lines[end]):
            end += 1
        body = lines[i + 1:end]
        uses = [(k, m) for k, m in enumerate(map(USE_LIST_RE.match, body)) if m]
        if len(uses) > 1:
            raise SignatureError(f"{origin}:{i + 1}: a routine instantiates one argument list")
        if uses:
            k, use = uses[0]
            name = use.group(1).lower()
            where = f"{origin}:{i + k + 2}"
            if name not in lists:
                raise SignatureError(f"{where}: no argument list '{name}'")
            without = {w.lower() for w in (use.group(2) or "").split()}
            own = {m.group(1).lower() for m in map(DECLARED_RE.match, body) if m}
            own_returns = any(NAMES_DIRECTIVE_RE.match(b) and NAMES_DIRECTIVE_RE.match(b).group(2) == "returns"
                              for b in body)
            expected = [n for n in lists[name].names if n not in without]
            header = HEADER_ARGS_RE.search(line)
            given = [a.strip().lower() for a in header.group(1).split(",")] if header else []
            if not any(given[j:j + len(expected)] == expected for j in range(len(given) - len(expected) + 1)):
                raise SignatureError(f"{where}: the arguments of {start.group(2)} do not hold list {name} in order")
            role = "procedure" if user_block else "routine"
            key = f"{user_block}.{start.group(2).lower()}" if user_block else start.group(2).lower()
            instances[key] = (name, without, own & set(lists[name].names))
            body = body[:k] + lists[name].instance(role, without, own, own_returns, where) + body[k + 1:]
        out.append(line)
        out.extend(body)
        if end < len(lines):
            out.append(lines[end])
        i = end + 1
    return "\n".join(out) + "\n", instances


# ---------------------------------------------------------------- model

@dataclass
class Variable:
    module: str
    name: str
    ctype: str
    typecode: str
    rank: int = 0            # number of dimensions of an allocatable array
    length: int = 0          # characters of a string variable
    parameter: str | None = None  # value of a named constant
    comment: str = ""
    kept: bool = False       # left alone by deallocall

    @property
    def symbol(self) -> str:
        return f"__{self.module}_MOD_{self.name}"

    @property
    def kind(self) -> str:
        if self.parameter is not None:
            return "parameter"
        if self.length:
            return "string"
        if self.rank:
            return "allocatable"
        return "scalar"

    @property
    def cxxtype(self) -> str:
        return CXX_VARIABLE_TYPES.get(self.ctype, self.ctype)


@dataclass
class Argument:
    name: str
    ctype: str               # C type of the pointee, or the typedef of a procedure
    const: bool = False
    character: bool = False  # a string: passes a hidden length where the convention has them
    callback: bool = False
    array: bool = False

    def c_param(self) -> str:
        if self.callback:
            return f"{self.ctype} {self.name}"
        return f"{'const ' if self.const else ''}{self.ctype} *{self.name}"


@dataclass
class PyArgument:
    """How the Python form of a routine takes one argument, for the checks of the runtime."""
    name: str
    kind: str                # array, scalar, string, procedure, extra_args, overwrite
    typecode: str = "KESTRO_TYPE_CHAR"
    rank: int = 0
    required: bool = False
    written: bool = False    # the routine may write into the caller's own array
    copy: bool = False       # written only when the caller sets overwrite_<name>
    same: list[int] = field(default_factory=list)  # per dimension: the first one of equal extent
    fixed: list[int] = field(default_factory=list)  # per dimension: a literal extent, or -1
    inplace: bool = False    # the Python form writes the result into the caller's array
    shaped: int = -1         # -1, or: taken in any shape and returned in it (> 0: rows it must have)
    inout: bool = False      # intent(inout): updated in the caller's own array (reverse communication)
    # Per dimension whose extent is an argument defaulting to an extent of an
    # array: (the extent argument, or None when hidden; that array; its dimension).
    extents: list = field(default_factory=list)
    block: bool = False      # the routine works on the leading block its extents give
    result: int = -1         # its position among the generated wrapper's results, or -1

    def table_entry(self, index_of) -> str:
        same = ", ".join(str(d) for d in self.same) or "0"
        fixed = ", ".join(str(d) for d in self.fixed) or "-1"
        overwrite = index_of.get(f"overwrite_{self.name}", -1)
        bound = [b or (None, None, -1) for b in self.extents]
        extent_args = ", ".join(str(index_of.get(e, -1)) for e, _, _ in bound) or "-1"
        sources = ", ".join(str(index_of.get(p, -1)) for _, p, _ in bound) or "-1"
        source_dims = ", ".join(str(k) for _, _, k in bound) or "-1"
        return (f'{{"{self.name}", kestro::python::ArgKind::{self.kind}, {self.typecode}, {self.rank}, '
                f'{str(self.required).lower()}, {str(self.written).lower()}, {overwrite}, '
                f'{str(self.inplace).lower()}, {self.shaped}, {{{same}}}, {{{fixed}}}, '
                f'{{{extent_args}}}, {{{sources}}}, {{{source_dims}}}, {str(self.block).lower()}, {self.result}}}')


@dataclass
class Routine:
    module: str
    name: str
    args: list[Argument]
    result: str | None       # C type of a function's value
    symbol: str              # the exported name
    c_named: bool            # declared under its C name (else a module procedure in kestro::<module>)
    lengths: bool            # passes the lengths of its character arguments
    doc: list[str] = field(default_factory=list)
    section: str | None = None
    python_args: dict[str, PyArgument] = field(default_factory=dict)  # by name
    keywords: list[str] = field(default_factory=list)  # the Python arguments in order, from f2py
    complex_when: tuple[str, int] | None = None  # procedures exchange complex values while it holds
    outputs: list[str] = field(default_factory=list)  # the generated wrapper's results, in order
    returns: list[str] | None = None  # the results the Python form returns (None: all)
    convention: str | None = None  # the argument list it instantiates

    @property
    def has_callback(self) -> bool:
        return any(a.callback for a in self.args)

    def c_params(self) -> list[str]:
        params = [a.c_param() for a in self.args]
        if self.lengths:
            params += [f"size_t {a.name}_len" for a in self.args if a.character]
        return params

    @property
    def cxx_name(self) -> str:
        return f"::{self.symbol}" if self.c_named else f"kestro::{self.module}::{self.name}"


@dataclass
class Procedure:
    """The interface of a procedure argument, named by its typedef."""
    typedef: str
    args: list[Argument]
    result: str | None
    doc: list[str] = field(default_factory=list)
    block: str = ""
    name: str = ""
    outputs: list[str] = field(default_factory=list)  # what the Python callable returns
    inputs: list[str] = field(default_factory=list)   # what it is given, in order
    complex_args: list[str] = field(default_factory=list)  # real arrays that may pass as complex

    def c_params(self) -> list[str]:
        # The convention of module procedures: a length per character argument at the end.
        return [a.c_param() for a in self.args] + [f"size_t {a.name}_len" for a in self.args if a.character]

    def declaration(self) -> list[str]:
        return prototype(f"typedef {self.result or 'void'} (*{self.typedef})", self.c_params())


@dataclass
class Module:
    name: str
    source: str
    comment: list[str] = field(default_factory=list)
    python: bool = True
    package: bool = False
    macro_prefix: str | None = None
    defines: list[tuple[str, str, str]] = field(default_factory=list)  # name, value, comment
    inline_headers: list[str] = field(default_factory=list)
    variables: list[Variable] = field(default_factory=list)
    routines: list[Routine] = field(default_factory=list)
    procedures: list[Procedure] = field(default_factory=list)
    order: list[str] = field(default_factory=list)   # entries of f2py's table


# ---------------------------------------------------------------- reading

MODULE_RE = re.compile(r"^\s*module\s+(\w+)\s*$", re.I)
END_MODULE_RE = re.compile(r"^\s*end\s+module\b", re.I)
USER_BLOCK_RE = re.compile(r"^\s*python\s+module\s+\w+.*?^\s*end\s+python\s+module\b[^\n]*\n?",
                           re.I | re.M | re.S)
USER_START_RE = re.compile(r"^\s*python\s+module\s+(\w+)", re.I)
USER_END_RE = re.compile(r"^\s*end\s+python\s+module\b", re.I)
ROUTINE_START_RE = re.compile(r"^\s*(?:[\w()=, ]+\s+)?(subroutine|function)\s+(\w+)", re.I)
ROUTINE_END_RE = re.compile(r"^\s*end\s+(subroutine|function)\b", re.I)
DECL_RE = re.compile(r"::\s*(\w+)")
DIRECTIVE_RE = re.compile(r"^\s*!kestro\s+(.*?)\s*$")
COMMENT_RE = re.compile(r"^\s*!(.*)$")
FORTRANNAME_RE = re.compile(r"^\s*fortranname\s+(\w+)\s*$", re.I)
USE_RE = re.compile(r"^\s*use\s+(\w+)\s*$", re.I)


@dataclass
class Notes:
    """What the signature file says in comments and directives."""
    comment: list[str] = field(default_factory=list)
    c_only: bool = False
    package: bool = False
    macro_prefix: str | None = None
    defines: list[tuple[str, str, str]] = field(default_factory=list)
    inline_headers: list[str] = field(default_factory=list)
    variable_comments: dict[str, str] = field(default_factory=dict)
    kept: set[str] = field(default_factory=set)
    kept_modules: set[str] = field(default_factory=set)
    routine_docs: dict[str, list[str]] = field(default_factory=dict)
    sections: dict[str, str] = field(default_factory=dict)
    inplace: dict[str, list[str]] = field(default_factory=dict)
    c_intents: dict[str, dict[str, str]] = field(default_factory=dict)
    shaped: dict[str, dict[str, int]] = field(default_factory=dict)
    blocks: dict[str, list[str]] = field(default_factory=dict)
    cnames: dict[str, str] = field(default_factory=dict)
    uses: dict[str, list[str]] = field(default_factory=dict)
    typedefs: dict[tuple[str, str], tuple[str, list[str]]] = field(default_factory=dict)
    complex_next: list[str] = field(default_factory=list)
    complex_args: dict[tuple[str, str], list[str]] = field(default_factory=dict)
    complex_when: dict[str, tuple[str, int]] = field(default_factory=dict)
    returns: dict[str, list[str]] = field(default_factory=dict)


def _comment_text(line: str) -> str:
    text = COMMENT_RE.match(line).group(1)
    return text[1:] if text.startswith(" ") else text


def scan_notes(text: str, origin: str) -> Notes:
    notes = Notes()
    pending: list[str] = []       # comment lines directly above the current line
    section: str | None = None
    keep_next = False
    in_module = False
    user_block: str | None = None
    routine: str | None = None
    typedef_next: str | None = None
    seen_statement = False
    for lineno, line in enumerate(text.splitlines(), 1):
        where = f"{origin}:{lineno}"
        directive = DIRECTIVE_RE.match(line)
        if directive:
            words = directive.group(1).split(None, 1)
            verb, rest = words[0], (words[1] if len(words) > 1 else "")
            if verb == "c-only":
                notes.c_only = True
            elif verb == "package":
                notes.package = notes.c_only = True
            elif verb == "macros":
                notes.macro_prefix = rest.strip()
            elif verb == "define":
                m = re.match(r"(\w+)\s+(.*?)\s*(?:!\s*(.*))?$", rest)
                if not m:
                    raise SignatureError(f"{where}: define needs a name and a value")
                notes.defines.append((m.group(1), m.group(2), m.group(3) or ""))
            elif verb == "inline":
                notes.inline_headers.append(rest.strip().strip('"'))
            elif verb == "keep":
                keep_next = True
            elif verb == "inplace":
                if routine is None or not rest.strip():
                    raise SignatureError(f"{where}: inplace needs a routine and arguments")
                notes.inplace.setdefault(routine, []).extend(rest.lower().split())
            elif verb == "returns":
                if routine is None:
                    raise SignatureError(f"{where}: returns outside a routine")
                notes.returns[routine] = rest.lower().split()
            elif verb == "block":
                if routine is None or not rest.strip():
                    raise SignatureError(f"{where}: block needs a routine and an argument")
                notes.blocks.setdefault(routine, []).append(rest.strip().lower())
            elif verb == "shaped":
                m = re.match(r"(\w+)(?:\s+(\d+))?\s*$", rest.strip().lower())
                if routine is None or not m:
                    raise SignatureError(f"{where}: shaped needs a routine, an argument and optional rows")
                notes.shaped.setdefault(routine, {})[m.group(1)] = int(m.group(2) or 0)
            elif verb == "c-intent":
                m = re.match(r"(\w+)\s+(in|out)\s*$", rest.strip().lower())
                if routine is None or not m:
                    raise SignatureError(f"{where}: c-intent needs a routine, an argument and in or out")
                notes.c_intents.setdefault(routine, {})[m.group(1)] = m.group(2)
            elif verb == "typedef":
                typedef_next = rest.strip()
            elif verb == "complex-mode":
                notes.complex_next = rest.lower().split()
            elif verb == "complex-when":
                m = re.match(r"(\w+)\s+(-?\d+)\s*$", rest.strip().lower())
                if routine is None or not m:
                    raise SignatureError(f"{where}: complex-when needs a routine, an argument and a value")
                notes.complex_when[routine] = (m.group(1), int(m.group(2)))
            else:
                raise SignatureError(f"{where}: unknown directive '!kestro {verb}'")
            continue
        if COMMENT_RE.match(line):
            comment = _comment_text(line)
            if comment.strip().startswith("----"):
                section = comment.strip().lstrip("-").strip()
                pending = []
            else:
                pending.append(comment)
            continue
        if not line.strip():
            if seen_statement:  # a documentation comment stands directly above its routine
                pending = []
            continue
        if not seen_statement:
            seen_statement = True
            notes.comment, pending = pending, []
        if user_block is None and USER_START_RE.match(line):
            user_block = USER_START_RE.match(line).group(1).lower()
        elif user_block is not None and USER_END_RE.match(line):
            user_block = None
        elif MODULE_RE.match(line):
            in_module = True
            if keep_next:
                notes.kept_modules.add(MODULE_RE.match(line).group(1).lower())
                keep_next = False
        elif END_MODULE_RE.match(line):
            in_module = False
        elif routine is None and ROUTINE_START_RE.match(line):
            routine = ROUTINE_START_RE.match(line).group(2).lower()
            if user_block is not None:
                if typedef_next is None:
                    raise SignatureError(f"{where}: a procedure interface needs '!kestro typedef <name>' above it")
                notes.typedefs[(user_block, routine)] = (typedef_next, pending)
                typedef_next = None
                if notes.complex_next:
                    notes.complex_args[(user_block, routine)] = notes.complex_next
                    notes.complex_next = []
            else:
                notes.routine_docs[routine] = pending
                if section:
                    notes.sections[routine] = section
                    section = None
        elif ROUTINE_END_RE.match(line):
            routine = None
        elif routine is not None:
            cname = FORTRANNAME_RE.match(line)
            if cname:  # as written: the numpy parser folds its case
                notes.cnames[routine] = cname.group(1)
            use = USE_RE.match(line)
            if use:
                notes.uses.setdefault(routine, []).append(use.group(1).lower())
        elif in_module and DECL_RE.search(line.split("!", 1)[0]):
            name = DECL_RE.search(line.split("!", 1)[0]).group(1).lower()
            if "!" in line:
                notes.variable_comments[name] = line.split("!", 1)[1].strip()
            if keep_next:
                notes.kept.add(name)
                keep_next = False
        pending = []
    if keep_next:
        raise SignatureError(f"{origin}: '!kestro keep' before no variable")
    return notes


@dataclass
class Fragment:
    path: Path
    text: str
    notes: Notes
    user_blocks: list[str]
    body: str
    modules: list[str]
    lists: dict = field(default_factory=dict)       # the argument lists it defines or includes
    instances: dict = field(default_factory=dict)   # routine -> (list, left out, declared itself)


def read_fragment(path: Path) -> Fragment:
    lists: dict[str, ArgumentList] = {}
    text = take_lists(path.read_text(), path.resolve(), lists)
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
    from numpy.f2py import crackfortran
    crackfortran.quiet = 1
    crackfortran.verbose = 0
    with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
        blocks = crackfortran.crackfortran([str(pyf)])
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
                      inout="inout" in intent or "inplace" in intent)


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


# ---------------------------------------------------------------- writing

def write_if_changed(path: Path, text: str):
    if path.exists() and path.read_text() == text:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


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


class Patches:
    """Edits of numpy's generated module; one that matches nothing stops the build."""

    def __init__(self, text: str):
        self.text = text

    def sub(self, what: str, pattern: str, repl, required: bool = True, flags: int = 0, literal: bool = False):
        if literal:
            count = self.text.count(pattern)
            self.text = self.text.replace(pattern, repl)
        else:
            self.text, count = re.subn(pattern, repl, self.text, flags=flags)
        if required and count == 0:
            import numpy
            raise SignatureError(
                f"patch '{what}' matches nothing in numpy {numpy.__version__}'s generated module "
                f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)}); update python/bindgen.py")
        return count


DEF_TABLE_RE = re.compile(r"static FortranDataDef f2py_(\w+?)_def\[\] = \{(.*?)\{NULL\}", re.S)
DEF_ENTRY_RE = re.compile(r'\{"(\w+)",(-?\d+),\{\{([^}]*)\}\},(\w+), *(\d+)')
BUILD_RE = re.compile(r'Py_BuildValue\("([A-Za-z]*)",([^;]*)\);')
KWLIST_RE = re.compile(r'static char \*capi_kwlist\[\] = \{(.*?)NULL\};.*?"[^"\n]*:_kestro\.(\w+)\.(\w+)"', re.S)


def build_with_lengths(match) -> str:
    """Returns string results with their full length, NUL characters included."""
    codes, args = match.group(1), [a.strip() for a in match.group(2).split(",")]
    if "y" not in codes or len(codes) != len(args):
        return match.group(0)
    fmt, out = "", []
    for code, arg in zip(codes, args):
        if code == "y":
            fmt += "y#"
            out.append(f"{arg},(Py_ssize_t)slen({arg})")
        else:
            fmt += code
            out.append(arg)
    return f'Py_BuildValue("{fmt}",{",".join(out)});'



DIMS_RE = re.compile(r"(\w+_Dims\[\d+\]=)([^,;]+)")
CHECK_RE = re.compile(r'(CHECK(?:SCALAR|ARRAY|STRING)\()(.*?)(,")')
IDENT_RE = re.compile(r"\b([A-Za-z_]\w*)\b(?!\s*\()")


def wrapper_region(text: str, start: str, end: str) -> tuple[int, int]:
    a = text.find(start)
    b = text.find(end, a)
    if a < 0 or b < 0:
        raise SignatureError(f"patch: cannot find '{start}' in numpy's generated module "
                             f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
    return a, b


def patch_extents(patches: Patches, modules: list[Module]):
    """Checks and extents of arrays computed in 64 bits, extents refused when
    they do not fit the routines' 4-byte extents; no array is converted once
    an argument has failed."""
    text = patches.text
    for m in modules:
        for r in m.routines:
            a, b = wrapper_region(text, f"f2py_rout__kestro_{m.name}_{r.name}(",
                                  f" end of {r.name} *")
            scalars = {x.name for x in r.args if not x.array and not x.callback and x.ctype.startswith("int")}

            def wide(expr):
                return IDENT_RE.sub(lambda i: f"((long)({i.group(1)}))" if i.group(1) in scalars else i.group(1),
                                    expr)

            def extent(match):
                expr = match.group(2)
                if not re.search(r"[-+*/]", expr):
                    return match.group(0)
                return f"{match.group(1)}kestro_extent({wide(expr)})"

            def check(match):
                return match.group(1) + wide(match.group(2)) + match.group(3)
            region = DIMS_RE.sub(extent, text[a:b])
            region = CHECK_RE.sub(check, region)
            # Extents the runtime has checked are taken from the arrays.
            for x in r.python_args.values():
                for d, bound in enumerate(x.extents):
                    if bound is None:
                        continue
                    pattern = re.compile(rf"\b({x.name}_Dims\[{d}\]=)([^;]*);")
                    free = "-1" if x.required else rf"({x.name}_capi == Py_None ? (\2) : -1)"
                    region = pattern.sub(rf"\1{free};", region)
            text = text[:a] + region + text[b:]
    patches.text = text
    patches.sub("no conversion after a failed argument", r"(capi_\w+_as_array = )ndarray_from_pyobj\(",
                r"\1PyErr_Occurred() ? NULL : ndarray_from_pyobj(",
                required=any(x.array for m in modules for r in m.routines for x in r.args))


def patch_callbacks(patches: Patches, modules: list[Module], callbacks: bool):
    """A callable gets arrays of its own and must return its outputs; the
    generator's messages on standard error are not printed."""
    patches.sub("quiet callbacks", r'^[ \t]*fprintf\(stderr,"(?:capi_return is NULL|Call-back \w+ failed\.)\\n"\);\n',
                "", required=callbacks, flags=re.M)
    patches.sub("arrays lent to callables are copies",
                r"PyArray_New\(&PyArray_Type,\s*(\d+),(\w+)_Dims,(\w+),NULL,\(char\*\)(\w+),1,\s*NPY_ARRAY_FARRAY,NULL\)",
                r"kestro_lend_array(\1,\2_Dims,\3,(char*)\4)", required=callbacks)
    seen = set()
    procedures = {(p.block, p.name): p for m in modules for p in m.procedures}
    text = patches.text
    for p in procedures.values():
        if (p.block, p.name) in seen:
            continue
        seen.add((p.block, p.name))
        function = f"cb_{p.name}_in_{p.block}"
        a, b = wrapper_region(text, f"static void {function} (", f" end of {function} ")
        region = text[a:b]
        names = ", ".join(p.outputs) or "nothing"
        kinds = "".join("a" if x.array else "n" for x in p.args if x.name in p.outputs)
        # A callable that is lent every value it returns may return None
        # instead: what it wrote into them stands.
        lent = bool(p.outputs) and all(o in p.inputs for o in p.outputs)
        checker = "kestro_callback_returned_or_none" if lent else "kestro_callback_returned"
        check = (f"capi_j = PyTuple_Size(capi_return);\n"
                 f"    if ({checker}(capi_return, {len(p.outputs)}, \"{p.name}\", \"{names}\", "
                 f"\"{kinds}\") != 0) goto capi_fail;")
        if region.count("capi_j = PyTuple_Size(capi_return);") != 1:
            raise SignatureError(f"patch 'callable results' found no result count in {function} "
                                 f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
        region = region.replace("capi_j = PyTuple_Size(capi_return);", check)
        # An array result of the wrong shape or type is reported, not printed.
        for x in [x for x in p.args if x.name in p.outputs and x.array]:
            region = region.replace('fprintf(stderr,"rv_cb_arr is NULL\\n");',
                                    f'kestro_callback_result_refused("{p.name}", "{x.name}");', 1)
        # Complex-mode arrays take their type from the running routine's mode.
        for x in p.complex_args:
            replaced = 0
            for pattern in (f"kestro_lend_array(1,{x}_Dims,NPY_DOUBLE,", f"array_from_pyobj(NPY_DOUBLE,{x}_Dims,"):
                replaced += region.count(pattern)
                region = region.replace(pattern, pattern.replace("NPY_DOUBLE", "kestro_switched_type(NPY_DOUBLE)"))
            if replaced != 1:
                raise SignatureError(f"patch 'complex-mode arrays' found no single conversion of {x} in {function} "
                                     f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
        # A scalar the routine lets the callable update is lent as a 0-d
        # array of its own, like the arrays.
        for x in p.args:
            if x.array or x.const or x.callback or x.character or x.name not in p.inputs:
                continue
            numpy = {"double": "NPY_DOUBLE", "int32_t": "NPY_INT"}.get(x.ctype)
            lent_as = f"kestro_lend_array(0,NULL,{numpy},(char *){x.name}_cb_capi)"
            found = 0
            for given in (f"pyobj_from_{'double' if x.ctype == 'double' else 'int'}1({x.name})",
                          f"pyarr_from_p_{'double' if x.ctype == 'double' else 'int'}1({x.name}_cb_capi)"):
                found += region.count(given)
                region = region.replace(given, lent_as)
            if numpy is None or found != 1:
                raise SignatureError(f"patch 'scalars lent to callables' found no single {x.name} in {function} "
                                     f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
        # The lengths of character arguments are size_t, as the routines pass them.
        for x in p.args:
            if x.character:
                region, found = re.subn(rf"\bint {x.name}_cb_len\)", f"size_t {x.name}_cb_len)", region)
                if found != 1:
                    raise SignatureError(f"patch 'string lengths of callbacks' found no length of {x.name} in "
                                         f"{function}")
        # What the callable writes into a value it may update goes back to the
        # routine (when it was given that value).
        call = "capi_return = PyObject_CallObject(cb->capi,(PyObject *)capi_arglist);"
        back = "".join(f"\n    if (capi_return != NULL && cb->nofargs > {p.inputs.index(x.name)}) "
                       f"kestro_take_back((PyObject *)capi_arglist, {p.inputs.index(x.name)}, "
                       f"(char *){x.name}{'' if x.array else '_cb_capi'});"
                       for x in p.args if not x.const and not x.callback and not x.character and x.name in p.inputs)
        if back:
            if region.count(call) != 1:
                raise SignatureError(f"patch 'arrays given back' found no call in {function}")
            region = region.replace(call, call + back)
        text = text[:a] + region + text[b:]
        lengths = sum(1 for x in p.args if x.character)
        if lengths:
            typedef = re.compile(rf"(typedef void\(\*cb_{p.name}_in_{p.block}_typedef\)\([^;]*?)"
                                 rf"((?:,int){{{lengths}}})\);")
            text, found = typedef.subn(lambda m: m.group(1) + ",size_t" * lengths + ");", text)
            if found == 0:
                raise SignatureError(f"patch 'string lengths of callbacks' found no type of cb_{p.name}_in_{p.block}")
    patches.text = text


RESULT_RE = re.compile(r'(capi_buildvalue = Py_BuildValue\("([A-Za-z#]*)",([^;]*)\);\n'
                       r'/\*closepyobjfrom\*/\n/\*end of closepyobjfrom\*/\n\s*\})'
                       r'( /\*if \(f2py_success\) after callfortranroutine\*/)')


def patch_failed_results(patches: Patches):
    """The arrays a wrapper hands over in its result ("N") are released when
    the routine failed after they were made (a callable raised), instead of
    leaking."""
    def release(match):
        codes, args = match.group(2), [a.strip() for a in match.group(3).split(",")]
        owned, k = [], 0
        for i, code in enumerate(codes):
            if code == "#":
                continue
            if code == "N":
                owned.append(args[k])
            k += 2 if i + 1 < len(codes) and codes[i + 1] == "#" else 1
        if not owned:
            return match.group(0)
        freed = " ".join(f"Py_XDECREF({a});" for a in owned)
        return f"{match.group(1)} else {{ {freed} }}{match.group(4)}"
    patches.text, count = RESULT_RE.subn(release, patches.text)
    if count == 0:
        raise SignatureError("patch 'failed results released' matches nothing "
                             f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")


def patch_returned_documentation(patches: Patches, modules: list[Module]):
    """The documentation of a routine that names what its Python form returns
    shows those results alone."""
    text = patches.text
    for m in modules:
        for r in m.routines:
            if r.returns is None:
                continue
            a, b = wrapper_region(text, f"static char doc_f2py_rout__kestro_{m.name}_{r.name}[] = ", '";\n')
            doc = text[a:b]
            head = f"{','.join(r.outputs)} = {r.name}("
            if doc.count(head) != 1:
                raise SignatureError(f"patch 'returned results documented' found no signature of {r.name}")
            doc = doc.replace(head, f"{','.join(r.returns)} = {r.name}(" if r.returns else f"{r.name}(")
            start = doc.find('"\\nReturns\\n-------\\n"')
            end = doc.find('"\\nNotes', start)
            if start >= 0:
                block = doc[start:end if end >= 0 else len(doc)]
                for x in r.outputs:
                    if x not in r.returns:
                        block = re.sub(rf'^"{x} : [^\n]*\\n"\n', "", block, flags=re.M)
                if not r.returns:
                    block = ""
                doc = doc[:start] + block + (doc[end:] if end >= 0 else "")
            text = text[:a] + doc + text[b:]
    patches.text = text


def run_f2py(outdir: Path, modules: dict[str, Module]):
    work = outdir / "f2py"
    work.mkdir(exist_ok=True)
    (work / "_kestro.pyf").write_text((outdir / "_kestro.pyf").read_text())
    proc = subprocess.run([sys.executable, "-m", "numpy.f2py", "_kestro.pyf"], cwd=work,
                          capture_output=True, text=True)
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout + proc.stderr)
        raise SignatureError("numpy.f2py failed on the combined signature file")
    patches = Patches((work / "_kestromodule.c").read_text())
    python = [m for m in modules.values() if m.python]
    strings_in = any(a.character for m in python for r in m.routines for a in r.args)
    strings_out = any(a.character and not a.const for m in python for r in m.routines for a in r.args)
    string_vars = [v for m in python for v in m.variables if v.kind == "string"]
    callbacks = any(r.has_callback for m in python for r in m.routines)

    patches.sub("generation date", r" \* Generation date: [^\n]*\n", "")  # keep the output stable

    # f2py describes a character variable as an array of strings; it is one
    # fixed-length string.
    fixed = 0

    def fix_table(match):
        nonlocal fixed
        module = modules.get(match.group(1))
        if module is None:
            return match.group(0)
        strings = {v.name: v for v in module.variables if v.kind == "string"}

        def fix_entry(entry):
            nonlocal fixed
            var = strings.get(entry.group(1))
            if var is None:
                return entry.group(0)
            fixed += 1
            return f'{{"{var.name}",0,{{{{-1}}}},NPY_STRING, {var.length}'
        return match.group(0).replace(match.group(2), DEF_ENTRY_RE.sub(fix_entry, match.group(2)))

    patches.text = DEF_TABLE_RE.sub(fix_table, patches.text)
    if fixed != len(string_vars):
        raise SignatureError(f"patch 'string variables' fixed {fixed} of {len(string_vars)} table entries "
                             f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
    # Strings pass as the bytes they are: copy them whole (a NUL inside is a
    # character like any other) and return results at their full, blank-padded
    # length instead of trimming their trailing blanks.
    patches.sub("copy strings whole", "(void)strncpy(_to, _from, _m);", "(void)memcpy(_to, _from, _m);",
                required=strings_in, literal=True)
    patches.sub("keep NULs of inputs", r"^[ \t]*STRINGPADN\((\w+), slen\(\1\), ' ', '\\0'\);[ \t]*\n", "",
                required=strings_out, flags=re.M)
    count = 0

    def counted(match):
        nonlocal count
        new = build_with_lengths(match)
        count += new != match.group(0)
        return new
    patches.text = BUILD_RE.sub(counted, patches.text)
    if strings_out and count == 0:
        raise SignatureError("patch 'full-length string results' matches nothing "
                             f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})")
    # A short string is padded with blanks at once, so that a NUL the caller
    # passes at its end stays a NUL.
    patches.sub("pad with blanks", "memset(*str + n, '\\0', *len - n);", "memset(*str + n, ' ', *len - n);",
                required=strings_in, literal=True)
    patches.sub("keep trailing NULs", r"^[ \t]*STRINGPADN\((\w+), slen\(\1\), '\\0', ' '\);[ \t]*\n", "",
                required=strings_in, flags=re.M)
    # A callable that raises must not leave the routine by a long jump through
    # C++ frames: the generated callback returns, the call adapter unwinds the
    # routine with a C++ exception, and the wrapper raises the Python
    # exception once the routine has returned.
    patches.sub("no long jump out of callbacks", "longjmp(cb->jmpbuf,-1);", "/* returns to the adapter */",
                required=callbacks, literal=True)
    patches.sub("no set jump around routines", r"if \(\(setjmp\(\w+_cb\.jmpbuf\)\)\)", "if (0)",
                required=callbacks)
    # A callable that takes its arguments as *args is given all of them, not none.
    patches.sub("declare the count of arguments", "static int\ncreate_cb_arglist(",
                "Py_ssize_t kestro_callable_arguments(PyObject *fun, Py_ssize_t counted, Py_ssize_t all);\n"
                "static int\ncreate_cb_arglist(", required=callbacks, literal=True)
    patches.sub("every argument to *args", "tot = PyLong_AsSsize_t(tmp_argcount) - di;",
                "tot = kestro_callable_arguments(tmp_fun, PyLong_AsSsize_t(tmp_argcount) - di, "
                "maxnofargs + (xa != NULL ? PyTuple_Size((PyObject *)xa) : 0));", required=callbacks, literal=True)

    patch_extents(patches, python)
    patch_failed_results(patches)
    patch_returned_documentation(patches, python)
    patch_callbacks(patches, python, callbacks)

    text = patches.text
    for match in KWLIST_RE.finditer(text):
        module = modules.get(match.group(2))
        routine = next((r for r in module.routines if r.name == match.group(3)), None) if module else None
        if routine is None:
            raise SignatureError(f"f2py wrapper of unknown routine {match.group(2)}.{match.group(3)}")
        routine.keywords = re.findall(r'"(\w+)"', match.group(1))
        for k in routine.keywords:
            if k not in routine.python_args and not k.endswith("_extra_args") and not k.startswith("overwrite_"):
                raise SignatureError(f"{routine.module}.{routine.name}: unexpected Python argument {k}")
    for module in python:
        for r in module.routines:
            if sorted(r.python_args) != sorted(k for k in r.keywords if k in r.python_args):
                raise SignatureError(f"{module.name}.{r.name}: f2py takes {r.keywords}, "
                                     f"the signature file declares {list(r.python_args)}")
    for match in DEF_TABLE_RE.finditer(text):
        module = modules.get(match.group(1))
        if module is not None:
            module.order = [e.group(1) for e in DEF_ENTRY_RE.finditer(match.group(2))]
    write_if_changed(outdir / "_kestromodule.c", text)
    for module in python:
        expected = [v.name for v in module.variables] + [r.name for r in module.routines]
        if sorted(module.order) != sorted(expected):
            raise SignatureError(f"module {module.name}: f2py table {module.order} "
                                 f"does not match the signature file {expected}")


def c_block_comment(lines: list[str], indent: str = "") -> list[str]:
    lines = [ln.rstrip() for ln in lines]
    while lines and not lines[-1]:
        lines.pop()
    if not lines:
        return []
    if len(lines) == 1:
        return [f"{indent}/* {lines[0]} */"]
    return [f"{indent}/*"] + [f"{indent} * {ln}".rstrip() for ln in lines] + [f"{indent} */"]


def variable_declaration(v: Variable, name: str, scalar: str, array: str) -> str:
    """The `extern` declaration of a module variable under `name`."""
    if v.kind == "parameter":
        return f"extern const {scalar} {name}"
    if v.kind == "string":
        return f"extern char {name}[{v.length}]"
    if v.kind == "allocatable":
        return f"extern {array} {name}"
    return f"extern {scalar} {name}"


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
            h.append(f"KESTRO_API {variable_declaration(v, v.symbol, v.ctype, 'kestro_array')};"
                     + (f"  /* {comment} */" if comment else ""))
    for r, lines in routine_lines(m, c_block_comment):
        h += lines + prototype(f"KESTRO_API {r.result or 'void'} {r.symbol}", r.c_params())
    h += ["", "#ifdef __cplusplus", "}", "#endif", "", "#endif", ""]
    write_if_changed(outdir / "include" / "kestro" / f"{m.name}.h", "\n".join(h))


def prototype(head: str, params: list[str], tail: str = ";", width: int = 110) -> list[str]:
    """head(params)tail, wrapped after commas with the parameters aligned."""
    one = f"{head}({', '.join(params) or 'void'}){tail}"
    if len(one) <= width or not params:
        return [one]
    lines, line = [], f"{head}("
    indent = " " * len(line)
    for i, p in enumerate(params):
        piece = p + ("," if i + 1 < len(params) else f"){tail}")
        if line.strip() and len(line) + len(piece) + 1 > width and line != f"{head}(":
            lines.append(line.rstrip())
            line = indent
        line += piece + " "
    lines.append(line.rstrip())
    return lines


def cxx_comment(lines: list[str]) -> list[str]:
    return [f"// {ln}".rstrip() for ln in lines]


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


def cxx_definition(v: Variable) -> str:
    if v.kind == "parameter":
        return f"const {v.cxxtype} {v.name} = {v.parameter};"
    if v.kind == "string":
        return f"char {v.name}[{v.length}] = {{}};"
    if v.kind == "allocatable":
        return f'constinit Allocatable<{v.cxxtype}, {v.rank}> {v.name}{{"{v.name}"}};'
    return f"{v.cxxtype} {v.name}{{}};"


def write_shared_data(outdir: Path, modules: list[Module]):
    with_data = [m for m in modules if m.variables]
    arrays = [v for m in with_data for v in m.variables if v.kind == "allocatable"]
    released = [v for v in arrays if not v.kept]
    kept = [v for v in arrays if v.kept]
    hpp = [f"// {HEADER_NOTE}", "#pragma once", "", "#include <complex>", "#include <cstdint>", "",
           '#include "core/array.hpp"', '#include "kestro/common.h"', ""]
    cpp = [f"// {HEADER_NOTE}", '#include "core/shared_data.hpp"', ""]
    for m in with_data:
        hpp += cxx_comment(m.comment[:1] or [m.name])
        hpp.append(f"namespace kestro::{m.name} {{")
        cpp.append(f"namespace kestro::{m.name} {{")
        for v in m.variables:
            array = f"Allocatable<{v.cxxtype}, {v.rank}>"
            hpp.append(f'KESTRO_API {variable_declaration(v, v.name, v.cxxtype, array)} asm("{v.symbol}");')
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
            "}  // namespace kestro::shared_data", ""]
    cpp += ["namespace kestro::shared_data {"]
    for name, group in (("released_by_deallocall", released), ("kept_by_deallocall", kept)):
        cpp.append(f"kestro_array *const {name}[{max(len(group), 1)}] = {{")
        cpp += [f"    &kestro::{v.module}::{v.name}," for v in group] or ["    nullptr,"]
        cpp.append("};")
    cpp += ["}  // namespace kestro::shared_data", ""]
    write_if_changed(outdir / "core" / "shared_data.hpp", "\n".join(hpp))
    write_if_changed(outdir / "core" / "shared_data.cpp", "\n".join(cpp))


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


def python_metadata(r: Routine, keyword: str) -> dict:
    a = r.python_args.get(keyword)
    if a is None:
        return {"name": keyword, "kind": "extra_args" if keyword.endswith("_extra_args") else "overwrite"}
    return {"name": a.name, "kind": a.kind, "type": a.typecode.removeprefix("KESTRO_TYPE_").lower(),
            "rank": a.rank, "required": a.required, "written": a.written, "copy": a.copy, "fixed": a.fixed,
            "shaped": a.shaped, "inplace": a.inplace, "inout": a.inout, "block": a.block, "result": a.result}


def write_metadata(outdir: Path, modules: list[Module]):
    data = {}
    for m in modules:
        data[m.name] = {
            "python": m.python,
            "package": m.package,
            "variables": {v.name: {"kind": v.kind, "ctype": v.ctype, "rank": v.rank, "length": v.length,
                                   "kept": v.kept, "symbol": v.symbol} for v in m.variables},
            "routines": {r.name: {"symbol": r.symbol, "callback": r.has_callback,
                                  "arguments": [a.name for a in r.args],
                                  "outputs": r.outputs, "returns": r.returns,
                                  "convention": r.convention,
                                  "python": [python_metadata(r, k) for k in r.keywords]}
                         for r in m.routines},
        }
    write_if_changed(outdir / "modules.json", json.dumps(data, indent=1, sort_keys=True) + "\n")


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
            entries = []
            for k in r.keywords:
                if k in r.python_args:
                    entries.append(r.python_args[k].table_entry(index_of))
                elif k.endswith("_extra_args"):
                    entries.append(PyArgument(k, "extra_args").table_entry(index_of))
                else:
                    entries.append(PyArgument(k, "overwrite").table_entry(index_of))
            table = f"arguments_{m.name}_{r.name}"
            out.append(f"const kestro::python::Argument {table}[] = {{")
            out.extend(f"    {entry}," for entry in entries)
            out.append("    {nullptr, kestro::python::ArgKind::scalar, 0, 0, false, false, -1, false, -1, {0}, {-1}, "
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


@dataclass
class Convention:
    """A solver's argument list as C and C++ see it."""
    name: str
    doc: list[str]
    args: list[Argument]

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
        body.append(f"    subroutine {name}({','.join(lst.names)})")
        body += lst.instance("routine", set(), set(), False, f"{lst.origin}, list {name}")
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
    return out


def check_instances(fragments: list[Fragment], modules: dict[str, Module], procedures: dict,
                    conventions: dict[str, Convention]):
    """Every routine and procedure of a convention takes the list's C
    arguments in the list's order and types (those it declares itself aside)."""
    routines = {(r.module.lower(), r.name.lower()): r for m in modules.values() for r in m.routines}
    for f in fragments:
        for key, (name, without, overridden) in f.instances.items():
            if "." in key:
                target = procedures.get(tuple(key.split(".", 1)))
            else:
                target = next((routines[(m.lower(), key)] for m in f.modules if (m.lower(), key) in routines), None)
            if target is None:
                continue
            expected = [a for a in conventions[name].args if a.name not in without]
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
    definitions of its entries, and the call of a procedure with a record."""
    h = [f"// {HEADER_NOTE}",
         "// The solvers' argument lists: per list a record of its arguments by name (as the",
         "// entries of that convention take them), the macros that spell its parameters and",
         "// arguments in the definitions of those entries, and the call of a procedure of the",
         "// convention with a record (after leading arguments of its own).",
         "#pragma once", "", "#include <cstddef>", "#include <cstdint>", "", '#include "kestro/common.h"', "",
         "namespace kestro::conventions {"]
    macros = []
    for c in conventions.values():
        lengths = [f"size_t {a.name}_len" for a in c.lengths()]
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
        macros.append(f"#define {c.macro}_PARAMETERS " + ", ".join(a.c_param() for a in c.args))
        if lengths:
            macros.append(f"#define {c.macro}_LENGTHS " + ", ".join(lengths))
        macros.append(f"#define {c.macro}_ARGUMENTS " + ", ".join(names))
    h += ["", "}  // namespace kestro::conventions"] + macros + [""]
    write_if_changed(outdir / "decl" / "conventions.hpp", "\n".join(h))


def load(fragments: list[Fragment], outdir: Path) -> dict[str, Module]:
    """Cracks the signature files and builds the modules, in the order of the files."""
    python = [f for f in fragments if not f.notes.c_only]
    c_only = [f for f in fragments if f.notes.c_only]
    write_if_changed(outdir / "_kestro.pyf", combine(python, "_kestro", setup=True))
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
            if name in lists and (lists[name].lines, lists[name].doc) != (lst.lines, lst.doc):
                raise SignatureError(f"{f.path.name}: argument list {name} differs from the one of {lists[name].origin}")
            lists[name] = lst
    conventions = build_conventions(lists, outdir)
    check_instances(fragments, modules, every_procedure, conventions)
    write_conventions(outdir, conventions)
    order = {f.path: i for i, f in enumerate(fragments)}
    return dict(sorted(modules.items(), key=lambda kv: (order[owner[kv[0].lower()].path], kv[0])))


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, type=Path, help="directory of the generated files")
    parser.add_argument("--api", action="append", default=[], type=Path,
                        help="a hand-written public header whose KESTRO_API functions are exported")
    parser.add_argument("--no-python", action="store_true", help="skip the extension module")
    parser.add_argument("signatures", nargs="+", type=Path, help="signature files of the modules")
    ns = parser.parse_args(argv)
    outdir = ns.out.resolve()
    outdir.mkdir(parents=True, exist_ok=True)
    try:
        fragments = [read_fragment(p) for p in sorted(p.resolve() for p in ns.signatures)]
        modules = load(fragments, outdir)
        if not ns.no_python:
            run_f2py(outdir, modules)
        ordered = list(modules.values())
        for m in ordered:
            write_c_header(outdir, m)
            write_cxx_header(outdir, m)
        write_umbrella(outdir, ordered, [p.name for p in ns.api])
        write_shared_data(outdir, ordered)
        write_exports(outdir, ordered, api_functions(ns.api))
        write_metadata(outdir, ordered)
        if not ns.no_python:
            write_glue(outdir, ordered)
    except SignatureError as exc:
        print(f"bindgen: {exc}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
