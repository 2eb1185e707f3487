"""Every exported routine that takes a component count is called with counts
it cannot serve by tests/c/test_component_counts.c under the sanitizers."""

import json
import os
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
GENERATED = Path(os.environ.get("KESTRO_BUILD_DIR", SOURCE / "build")) / "generated"
COUNTS = {"ntens", "ncomp", "ngens", "ndi", "ndir", "nshr", "ndirect", "nshear"}


def test_every_routine_with_a_component_count_is_called_with_bad_counts():
    modules = json.loads((GENERATED / "modules.json").read_text())
    symbols = {r["symbol"] for m in modules.values() for r in m["routines"].values() if COUNTS & set(r["arguments"])}
    called = (SOURCE / "tests" / "c" / "test_component_counts.c").read_text()
    assert len(symbols) > 40
    assert sorted(s for s in symbols if s not in called) == []
