"""What the card readers read, value for value: the example cards of
tests/data give the module data they always gave (bytes compared through
digests), and a generated material card with a large calibration block of
every number form gives exactly the doubles Python reads from its text."""

import hashlib
from pathlib import Path

import numpy as np

import _kestro
from conftest import DECLARED

io, sd, md = _kestro.iohandling, _kestro.sectiondata, _kestro.materialdata
DATA_DIR = Path(__file__).resolve().parents[1] / "data"

# sha256 of the names, dtypes, shapes and bytes of the variables of each
# module after the four example cards are read (step, section, material,
# damage), as the readers have always given them.
EXAMPLE_DIGESTS = {
    "debugdata": "7f7ca0ff528a14f8",
    "shokriehdata": "c9d44d6ced77d4ad",
    "sectiondata": "0ab8d58582c7a9c4",
    "materialdata": "aad1db1ddf93e1af",
    "damagedata": "4b54e3ac17513d01",
    "bukdata": "6ac2684627cedd89",
}


def module_digests(modules=("debugdata", "shokriehdata", "sectiondata", "materialdata", "damagedata", "bukdata")):
    digests = {}
    for module in modules:
        digest = hashlib.sha256()
        for name in sorted(DECLARED[module]):
            value = getattr(getattr(_kestro, module), name)
            digest.update(name.encode())
            if value is not None:
                value = np.asarray(value)
                digest.update(f"{value.dtype.str}{value.shape}".encode() + value.tobytes(order="F"))
        digests[module] = digest.hexdigest()[:16]
    return digests


def test_the_example_cards_give_what_they_always_gave():
    sd.nsec = sd.nplies = 1
    io.getstepdatafromfile("absent.inp", str(DATA_DIR), 2)
    io.getsectiondatafromfile("absent.inp", str(DATA_DIR))
    io.getmaterialdatafromfile("absent.inp", str(DATA_DIR), int(sd.nplies), int(sd.nsec))
    io.getdamagedatafromfile("absent.inp", str(DATA_DIR), int(sd.nplies), int(sd.nsec))
    assert module_digests() == EXAMPLE_DIGESTS


def number_forms(rng, count):
    """(text, value) of reals in the forms list-directed input reads, the
    value as Python reads the same number."""
    values = rng.standard_normal(count) * 10.0 ** rng.integers(-300, 300, count)
    forms = [  # (as the card writes it, as Python writes it)
        lambda v: (repr(v), repr(v)),
        lambda v: (f"{v:.17e}",) * 2,
        lambda v: (f"{v:.17E}".replace("E", "D"), f"{v:.17E}"),
        lambda v: (f"{v:+.16e}".replace("e", ""), f"{v:+.16e}"),  # a bare exponent sign: +1.5+03
        lambda v: (f"{v:.20g}",) * 2,
    ]
    return [(card, float(python)) for card, python in (forms[k % len(forms)](v) for k, v in enumerate(values))]


def calibration_lines(rng, lines):
    """Data lines with blanks, tabs and commas between the values, null
    values, repeat counts and lines longer than the 256 columns that count,
    and the values list-directed input takes from them."""
    text, expected = [], []
    separators = [", ", " ", "\t", ",", " ,  "]
    for k in range(lines):
        items = number_forms(rng, 14 if k % 13 == 0 else 2 + k % 11)
        line = separators[k % 5].join(t for t, _ in items)
        taken = [v for _, v in items]
        if len(line) > 256:  # only the items that start within the counted part
            starts = [i for i, c in enumerate(line) if c not in " \t," and (i == 0 or line[i - 1] in " \t,")]
            taken = taken[:sum(1 for i in starts if i < 256)]
        elif k % 17 == 0:  # two null values (a comma at the start, another before a value), read as zero
            line, taken = ", ," + line, [0.0, 0.0] + taken
        elif k % 23 == 0:  # a repeat count
            line, taken = f"3*{items[0][0]} " + line, [items[0][1]] * 3 + taken
        text.append(line)
        expected += taken
    return text, expected


def test_a_large_calibration_block_gives_the_doubles_of_its_text(tmp_path):
    rng = np.random.default_rng(45)
    lines, expected = calibration_lines(rng, 6000)
    if len(expected) % 2:
        lines.append(repr(1.0))
        expected.append(1.0)
    (tmp_path / "SectionCard.zrv").write_text(
        "++Begin Section, SecID=1\n+Material\n1\n+Orientation\n0\n+Thickness\n0.1\n++End Section\n")
    (tmp_path / "MaterialCard.zrv").write_text(
        "++Begin Material, MatID=1\n+Calibration, TYPE=Normal, T=20\n" + "\n".join(lines) + "\n++End Material\n")
    sd.nsec = sd.nplies = 1
    io.getsectiondatafromfile("absent.inp", str(tmp_path))
    io.getmaterialdatafromfile("absent.inp", str(tmp_path), 1, 1)
    got = md.normalprops[0]
    want = np.array(expected).reshape(-1, 2)
    assert got.shape == want.shape and md.nnormaldata == len(want)
    np.testing.assert_array_equal(got.view(np.int64), want.view(np.int64))
