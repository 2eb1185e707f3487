"""``modules.json``: what the signature files declare, for the tests."""

from __future__ import annotations

import json
from pathlib import Path

from .common import write_if_changed
from .model import Module, Routine


def python_metadata(r: Routine, keyword: str) -> dict:
    a = r.python_argument(keyword)
    if keyword not in r.python_args:
        return {"name": a.name, "kind": a.kind}
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
