"""The solvers' argument lists: ``!kestro include``, ``list`` ... ``end list``,
``list <name> from <list> without <names>`` (a list that leaves some of
another's arguments out) and ``arguments <list>``, declared once and
instantiated by every routine and procedure interface of a convention."""

from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path

from .common import SignatureError
from .notes import COMMENT_RE, DIRECTIVE_RE, ROUTINE_END_RE, ROUTINE_START_RE, USER_END_RE, USER_START_RE, _comment_text
from .templates import _expand_line


INCLUDE_RE = re.compile(r'^\s*!kestro\s+include\s+"([^"]+)"\s*$')
LIST_RE = re.compile(r"^\s*!kestro\s+list\s+(\w+)\s*$")
DERIVED_LIST_RE = re.compile(r"^\s*!kestro\s+list\s+(\w+)\s+from\s+(\w+)\s+without\s+(.+?)\s*$")
END_LIST_RE = re.compile(r"^\s*!kestro\s+end\s+list\s*$")
USE_LIST_RE = re.compile(r"^\s*!kestro\s+arguments\s+(\w+)(.*?)\s*$")
ONLY_RE = re.compile(r"^(.*?)\s*!kestro\s+only\s+(\w+)\s*$")
NAMES_DIRECTIVE_RE = re.compile(r"^(\s*!kestro\s+(inplace|returns)\s+)(.*?)\s*$")
DECLARED_RE = re.compile(r"^\s*[^!]*::\s*(\w+)")
HEADER_ARGS_RE = re.compile(r"\(([^)]*)\)")
HEADER_LIST_RE = re.compile(r"""\$\{\s*arguments\(\s*["'](\w+)["']""")

# What a list's lines may say of the role they are instantiated in: a routine
# takes the values it hands to the callable and back (in,out), a procedure is
# lent them for the call and does not return them (inout).
ROLES = {"routine": {"lent": "in,out"}, "procedure": {"lent": "inout"}}


@dataclass
class ArgumentList:
    """A solver's argument list, declared once and instantiated by every
    routine and procedure interface of that convention.  A list derived from
    another (`base`) has the base's lines with the arguments `left_out`
    omitted."""
    name: str
    doc: list[str]
    lines: list[str]
    origin: str
    base: str | None = None
    left_out: frozenset[str] = frozenset()

    @property
    def names(self) -> list[str]:
        lines = self.instance("routine", set(), False, f"{self.origin}, list {self.name}")
        return [m.group(1).lower() for m in map(DECLARED_RE.match, lines) if m]

    def instance(self, role: str, own: set[str], own_returns: bool, where: str) -> list[str]:
        """The declarations for one instance: lines of another role dropped,
        the arguments the list leaves out omitted, those the routine declares
        itself (`own`) taken from the routine, and the list's `returns` only
        when the routine says none of its own."""
        without = set(self.left_out)
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
        derived = DERIVED_LIST_RE.match(line)
        if derived:
            name, base = derived.group(1).lower(), derived.group(2).lower()
            if base not in lists or lists[base].base is not None:
                raise SignatureError(f"{path.name}:{i + 1}: list {name} derives from '{base}', "
                                     "which is no list declared before it")
            left_out = frozenset(w.lower() for w in derived.group(3).split())
            unknown = left_out - set(lists[base].names)
            if unknown:
                raise SignatureError(f"{path.name}:{i + 1}: list {name} leaves out {', '.join(sorted(unknown))}, "
                                     f"not in list {base}")
            doc = [_comment_text(c) for c in pending]
            del out[len(out) - len(pending):]
            pending = []
            new = ArgumentList(name, doc, lists[base].lines, path.name, base, left_out)
            if name in lists and (lists[name].base, lists[name].left_out) != (base, left_out):
                raise SignatureError(f"{path.name}: argument list {name} is defined twice")
            lists[name] = new
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


def check_list_directives(text: str, lists: dict, origin: str):
    """A routine or procedure interface that names a list's arguments in its
    header (${arguments("<list>")}) declares them with '!kestro arguments <list>'."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        start = ROUTINE_START_RE.match(line)
        if start is None:
            continue
        end = i + 1
        while end < len(lines) and not ROUTINE_END_RE.match(lines[end]):
            end += 1
        directives = {m.group(1).lower() for m in map(USE_LIST_RE.match, lines[i + 1:end]) if m}
        for name in HEADER_LIST_RE.findall(line):
            if name.lower() in lists and name.lower() not in directives:
                raise SignatureError(f"{origin}:{i + 1}: {start.group(2)} names the arguments of list {name} in its "
                                     f"header without the line '!kestro arguments {name}' that declares them")


def expand_argument_lists(text: str, lists: dict, origin: str) -> tuple[str, dict[str, tuple]]:
    """Replaces each '!kestro arguments <list>' line of a routine or procedure
    interface by the list's declarations; returns the text and, per routine
    (and per procedure, as <block>.<name>), the list it instantiates with the
    arguments it declares itself."""
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
            if use.group(2):
                raise SignatureError(f"{where}: '!kestro arguments' names one list; declare a list that leaves "
                                     f"arguments out with '!kestro list <name> from {name} without <names>'")
            if name not in lists:
                raise SignatureError(f"{where}: no argument list '{name}'")
            own = {m.group(1).lower() for m in map(DECLARED_RE.match, body) if m}
            own_returns = any(NAMES_DIRECTIVE_RE.match(b) and NAMES_DIRECTIVE_RE.match(b).group(2) == "returns"
                              for b in body)
            expected = lists[name].names
            header = HEADER_ARGS_RE.search(line)
            given = [a.strip().lower() for a in header.group(1).split(",")] if header else []
            if not any(given[j:j + len(expected)] == expected for j in range(len(given) - len(expected) + 1)):
                raise SignatureError(f"{where}: the arguments of {start.group(2)} do not hold list {name} in order")
            role = "procedure" if user_block else "routine"
            key = f"{user_block}.{start.group(2).lower()}" if user_block else start.group(2).lower()
            instances[key] = (name, own & set(lists[name].names))
            body = body[:k] + lists[name].instance(role, own, own_returns, where) + body[k + 1:]
        out.append(line)
        out.extend(body)
        if end < len(lines):
            out.append(lines[end])
        i = end + 1
    return "\n".join(out) + "\n", instances
