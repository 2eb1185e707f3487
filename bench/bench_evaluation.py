#!/usr/bin/env python3
"""Evaluation of the monotone cubic Hermite interpolant at 10**6 points in
random order, kestro's dpchfe_ beside SciPy's PchipInterpolator on the same
data: seconds per call and the ratio.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_evaluation.py [build/lib/libkestro.so]
"""

import ctypes
import sys
import timeit
from pathlib import Path

import numpy as np
from scipy.interpolate import PchipInterpolator

LIBRARY = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "build/lib/libkestro.so")
lib = ctypes.CDLL(str(LIBRARY))
i32 = ctypes.POINTER(ctypes.c_int32)
f64 = np.ctypeslib.ndpointer(np.float64, flags="F_CONTIGUOUS")
lib.dpchim_.argtypes = [i32, f64, f64, f64, i32, i32]
lib.dpchfe_.argtypes = [i32, f64, f64, f64, i32, i32, i32, f64, f64, i32]


def ref(v):
    return ctypes.byref(ctypes.c_int32(v))


def best(stmt, repeat=5):
    return min(timeit.repeat(stmt, number=1, repeat=repeat))


def main():
    rng = np.random.default_rng(1)
    points = 10**6
    print(f"{'n':>8} {'kestro s':>10} {'scipy s':>10} {'ratio':>6}")
    for n in (10, 10**6):
        x = np.cumsum(rng.uniform(0.1, 1.0, n))
        f = np.sin(x / x[-1] * 6.0)
        d = np.zeros(n)
        ierr = ctypes.c_int32(0)
        lib.dpchim_(ref(n), x, f, d, ref(1), ctypes.byref(ierr))
        xe = rng.uniform(x[0], x[-1], points)
        fe = np.zeros(points)
        interpolant = PchipInterpolator(x, f)

        def kestro():
            lib.dpchfe_(ref(n), x, f, d, ref(1), ref(1), ref(points), xe, fe, ctypes.byref(ierr))

        ours, theirs = best(kestro), best(lambda: interpolant(xe))
        assert np.allclose(fe, interpolant(xe), rtol=1e-12, atol=1e-12)
        print(f"{n:>8} {ours:>10.4f} {theirs:>10.4f} {ours / theirs:>6.2f}")


if __name__ == "__main__":
    main()
