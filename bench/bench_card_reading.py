#!/usr/bin/env python3
"""Reading a material card whose one "+Calibration" block holds most of the
file, from 1 KB to 47 MB, beside numpy.loadtxt on a file of the same number
lines: processor seconds of each (medians), the ratio, and the reader's time
per megabyte (flat when the reading is linear).

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_card_reading.py [largest MB]
"""

import statistics
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

import _kestro

io, md, sd = _kestro.iohandling, _kestro.materialdata, _kestro.sectiondata
HEAD = ("++Begin Material, MatID=1\n+Elastic\n140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100\n"
        "+Calibration, TYPE=Secant, T=20\n")
TAIL = "++End Material\n"


def number_lines(target_bytes, rng):
    """Lines of two reals, x and y, about target_bytes long in all."""
    rows = max(target_bytes // 45, 1)
    points = np.column_stack([np.cumsum(rng.uniform(1e-4, 1e-3, rows)), rng.uniform(-1e3, 1e5, rows)])
    return "".join(f"{x:.15e}, {y:.15e}\n" for x, y in points)


def read_card(work):
    _kestro.datahandling.deallocall()  # a new analysis each time
    sd.nsec = sd.nplies = 1
    io.getsectiondatafromfile("absent.inp", str(work))
    started = time.process_time()
    io.getmaterialdatafromfile("absent.inp", str(work), 1, 1)
    return time.process_time() - started


def load_numbers(path):
    started = time.process_time()
    values = np.loadtxt(path, delimiter=",")
    return time.process_time() - started, values


def main():
    largest = float(sys.argv[1]) if len(sys.argv) > 1 else 47.0
    sizes = [s for s in (1e-3, 1e-2, 0.1, 1.0, 10.0) if s < largest] + [largest]
    rng = np.random.default_rng(7)
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        (work / "SectionCard.zrv").write_text(
            "++Begin Section, SecID=1\n+Material\n1\n+Orientation\n0\n+Thickness\n0.1\n++End Section\n")
        print(f"{'MB':>8} {'card s':>10} {'loadtxt s':>10} {'ratio':>6} {'card s/MB':>10}")
        for mb in sizes:
            lines = number_lines(int(mb * 1e6), rng)
            (work / "MaterialCard.zrv").write_text(HEAD + lines + TAIL)
            (work / "numbers.txt").write_text(lines)
            repeat = 3 if mb >= 10 else 7 if mb >= 1 else 51
            pairs = []
            for _ in range(repeat):
                ours = read_card(work)
                theirs, values = load_numbers(work / "numbers.txt")
                pairs.append((ours, theirs))
            assert np.array_equal(md.secantprops[0], values.reshape(-1, 2)), "the card's values differ from loadtxt's"
            size = (work / "MaterialCard.zrv").stat().st_size / 1e6
            o = statistics.median(p[0] for p in pairs)
            t = statistics.median(p[1] for p in pairs)
            ratio = statistics.median(p[0] / p[1] for p in pairs)
            print(f"{size:>8.3f} {o:>10.5f} {t:>10.5f} {ratio:>6.2f} {o / size:>10.4f}")


if __name__ == "__main__":
    main()
