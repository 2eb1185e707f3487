"""Spelling C and C++ text: comments and wrapped prototypes."""

from __future__ import annotations


def c_block_comment(lines: list[str], indent: str = "") -> list[str]:
    lines = [ln.rstrip() for ln in lines]
    while lines and not lines[-1]:
        lines.pop()
    if not lines:
        return []
    if len(lines) == 1:
        return [f"{indent}/* {lines[0]} */"]
    return [f"{indent}/*"] + [f"{indent} * {ln}".rstrip() for ln in lines] + [f"{indent} */"]


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
