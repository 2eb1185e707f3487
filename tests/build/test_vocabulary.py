"""The ply vocabulary has one home: no source but src/core/markers.hpp
spells the largest double (the absent-value marker) or gives it a name of
its own, and none but src/mechanics/plydata.hpp enumerates the ply
constants, strengths or degradation factors or writes the moduli's offsets
as numbers."""

import re
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
SOURCES = sorted(p for p in (SOURCE / "src").rglob("*") if p.suffix in (".cpp", ".hpp", ".h"))

FORBIDDEN = [
    ("the largest double", re.compile(r"1\.797693134862315\d*e\+?308|numeric_limits<double>::max|DBL_MAX"),
     "core/markers.hpp"),
    ("a local name for the largest double",
     re.compile(r"^\s*(?:constexpr|const)\s+double\s+\w+\s*=\s*(?:kestro::)?k(?:Largest|Absent)Real\s*;", re.M),
     "core/markers.hpp"),
    ("an order of ply data", re.compile(r"\benum\b[^{;]*\{[^}]*\b(Xt11|Xc11|E1|Nu12|G12)\b"), "mechanics/plydata.hpp"),
    ("the moduli's offsets", re.compile(r"\{\s*0\s*,\s*1\s*,\s*2\s*,\s*6\s*,\s*7\s*,\s*8\s*\}"),
     "mechanics/plydata.hpp"),
]


def code(path):
    """The text without comments."""
    text = re.sub(r"/\*.*?\*/", " ", path.read_text(), flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def test_one_home_for_markers_and_ply_orders():
    found = [f"{path.relative_to(SOURCE)}: {what}" for path in SOURCES for what, pattern, home in FORBIDDEN
             if path.relative_to(SOURCE / "src").as_posix() != home and pattern.search(code(path))]
    assert not found, "\n".join(found)
    assert all((SOURCE / "src" / home).exists() for _, _, home in FORBIDDEN)
