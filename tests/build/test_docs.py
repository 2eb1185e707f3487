"""The house map stays short, and every file it and the notes beside the code
name exists, in the sources or among the generated files (the recipes' new
files aside)."""

import os
import re
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
GENERATED = Path(os.environ.get("KESTRO_BUILD_DIR", SOURCE / "build")) / "generated"
MAP = SOURCE / "docs" / "architecture.md"
NOTES = sorted(SOURCE.glob("src/*/README.md")) + [SOURCE / "python" / "README.md"]
PATH = re.compile(r"`((?:src|python|tests|include|bench|docs|examples)/[\w./-]*\w)`")


def test_the_map_is_short_and_names_only_files_that_exist():
    assert len(MAP.read_text().split()) <= 3000
    named = {(doc.name, p) for doc in [MAP] + NOTES for p in PATH.findall(doc.read_text())}
    missing = sorted(f"{doc}: {p}" for doc, p in named
                     if "iso" not in p and "<" not in p and not (SOURCE / p).exists() and not (GENERATED / p).exists())
    assert not missing, "\n".join(missing)
