"""The subsystems of the library call downward only: every symbol an object
of src/<subsystem> takes from another subsystem, and every header it
includes from one, belongs to a lower layer.  Owners come from the objects'
own definitions and, for the routines defined inline in headers and the
shared data, from the generated module table."""

import json
import os
import re
import subprocess
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KESTRO_BUILD_DIR", SOURCE / "build"))
OBJECTS = BUILD / "CMakeFiles" / "kestro_objects.dir"
MODULES = json.loads((BUILD / "generated" / "modules.json").read_text())

# Each subsystem may use those of lower rank; the box-beam analysis stands on
# its own and nothing calls it.
RANK = {"core": 0, "interp": 1, "pchip": 1, "math": 2, "mechanics": 3, "failure": 4, "elements": 5, "io": 6,
        "solver": 7, "boxbeam": 8}


def symbols(obj):
    out = subprocess.run(["nm", "--format=posix", str(obj)], check=True, capture_output=True, text=True).stdout
    return [line.split()[:2] for line in out.splitlines() if len(line.split()) >= 2]


def owners():
    """Symbol -> subsystem: strong definitions in src/, the shared data in
    core, inline routines in the subsystem of their module's header."""
    owner = {}
    for obj in (OBJECTS / "src").glob("*/*.o"):
        for name, kind in symbols(obj):
            if kind in "TDBR":
                owner.setdefault(name, obj.parent.name)
    for module, entry in MODULES.items():
        header = re.search(r'!kestro inline "(\w+)/', (SOURCE / "python" / "signatures" / f"{module}.pyf").read_text())
        defined = {owner[r["symbol"]] for r in entry["routines"].values() if r["symbol"] in owner}
        home = header.group(1) if header else (defined.pop() if len(defined) == 1 else None)
        for routine in entry["routines"].values():
            if home is not None:
                owner.setdefault(routine["symbol"], home)
        for variable in entry["variables"].values():
            owner.setdefault(variable["symbol"], "core")
    return owner


def module_homes(owner):
    return {module: owner.get(next(iter(e["routines"].values()))["symbol"]) if e["routines"] else "core"
            for module, e in MODULES.items()}


def upward(user, used):
    return used in RANK and used != user and RANK[used] >= RANK[user]


def test_objects_call_only_lower_subsystems():
    owner = owners()
    objects = sorted((OBJECTS / "src").glob("*/*.o"))
    assert objects and set(o.parent.name for o in objects) <= set(RANK)
    wrong = sorted(f"{o.parent.name}/{o.name} uses {owner[name]}: {name}" for o in objects
                   for name, kind in symbols(o) if kind == "U" and name in owner and upward(o.parent.name, owner[name]))
    assert not wrong, "\n".join(wrong)


def test_sources_include_only_lower_subsystems():
    homes = module_homes(owners())
    wrong = []
    for source in sorted((SOURCE / "src").glob("*/*.[ch]pp")):
        user = source.parent.name
        for header in re.findall(r'#include "([^"]+)"', source.read_text()):
            first, _, rest = header.partition("/")
            used = homes.get(Path(rest).stem) if first == "decl" else first
            if upward(user, used):
                wrong.append(f"{user}/{source.name} includes {header} ({used})")
    assert not wrong, "\n".join(wrong)
