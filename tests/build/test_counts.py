"""Every exported routine that takes a component count is called with counts
it cannot serve by tests/c/test_component_counts.c, and every one that takes
a count of plies, sections, constants, table rows, search points or list
entries is called with negative counts by tests/c/test_service_counts.c,
both under the sanitizers."""

import json
import os
import re
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
GENERATED = Path(os.environ.get("KESTRO_BUILD_DIR", SOURCE / "build")) / "generated"
COUNTS = {"ntens", "ncomp", "ngens", "ndi", "ndir", "nshr", "ndirect", "nshear"}
SERVICE_COUNTS = {"nx", "ny", "nplies", "nsec", "nelastic", "npoints", "npsprops", "npeprops"}


def test_every_routine_with_a_component_count_is_called_with_bad_counts():
    modules = json.loads((GENERATED / "modules.json").read_text())
    symbols = {r["symbol"] for m in modules.values() for r in m["routines"].values() if COUNTS & set(r["arguments"])}
    called = (SOURCE / "tests" / "c" / "test_component_counts.c").read_text()
    assert len(symbols) > 40
    assert sorted(s for s in symbols if s not in called) == []


def exported_with_counts(counts):
    """The routines of the public headers with a 4-byte integer argument named as one of counts."""
    headers = [*(GENERATED / "include" / "kestro").glob("*.h"), *(SOURCE / "include" / "kestro").glob("*.h")]
    found = set()
    for header in headers:
        text = re.sub(r"/\*.*?\*/", "", header.read_text(), flags=re.S)
        for declaration in re.findall(r"KESTRO_API\s+([^;]*);", text):
            name = re.match(r"[\w\s*]*?(\w+)\s*\(", declaration)
            if name and counts & set(re.findall(r"\bint32_t\s*\*\s*(\w+)", declaration)):
                found.add(name.group(1))
    return found


def test_every_routine_with_a_service_count_is_called_with_negative_counts():
    symbols = exported_with_counts(SERVICE_COUNTS)
    called = (SOURCE / "tests" / "c" / "test_service_counts.c").read_text()
    assert {"iGetMerged", "GetSectionZCoord", "GSSAFE", "__failure_MOD_delamination"} <= symbols
    assert sorted(s for s in symbols if not re.search(rf"\b{s}\(", called)) == []
