"""``!kestro template`` ... ``end template`` and ``!kestro each``: routines that
differ only by type or rank written once, repeated for each binding with
``${expression}`` replaced."""

from __future__ import annotations

import ast
import itertools
import re

from .common import SignatureError


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


def _arguments_of(lists: dict, origin: str):
    def arguments(name):
        if name not in lists:
            raise SignatureError(f"{origin}: no argument list '{name}'")
        return ",".join(lists[name].names)
    return arguments
