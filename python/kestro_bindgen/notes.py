"""The statements of a signature file as lines, and what its comments and
``!kestro`` directives say (documentation, sections, and every directive)."""

from __future__ import annotations

import re
from dataclasses import dataclass, field

from .common import SignatureError


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
