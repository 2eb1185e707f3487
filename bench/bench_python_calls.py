#!/usr/bin/env python3
"""The cost of a call through _kestro beside plain numpy f2py wrappers of the
same C routines (no argument policy), built here into a temporary directory
against libkestro.so and timed in the same process: processor microseconds per
call (medians over back-to-back pairs) and the median ratio.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python_calls.py [build/lib]
"""

import statistics
import subprocess
import sys
import sysconfig
import tempfile
import time
import timeit
from pathlib import Path

import numpy as np
import numpy.f2py

import _kestro

LIBDIR = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "build/lib").resolve()

# The routines as the signature files declare them, in a module block as in
# _kestro, so that both are reached as <module>.math.<routine>.
PEER = """\
python module plainpeer
interface
module math
contains
  function cuberoot(a)
    real(kind=8) :: cuberoot
    real(kind=8), intent(in) :: a
  end function cuberoot
  subroutine matrixsymmetrize(a,sym,n)
    real(kind=8), dimension(n,n), intent(in) :: a
    real(kind=8), dimension(n,n), intent(out), depend(n) :: sym
    integer(kind=4), optional, intent(in), depend(a), check(0<=n && n<=shape(a,0) && n<=shape(a,1)) :: n = shape(a,0)
  end subroutine matrixsymmetrize
end module math
end interface
end python module plainpeer
"""

# What a Fortran compiler would supply for the module block: the addresses of
# its procedures, here the C routines (a function returns through its first
# argument, as f2py calls module functions).
PEER_INIT = """\
#include <stdint.h>
double __math_MOD_cuberoot(const double *a);
void MatrixSymmetrize(const double *a, double *sym, const int32_t *n);
static void cuberoot(double *result, const double *a) { *result = __math_MOD_cuberoot(a); }
void f2pyinitmath(void (*setup)(char *, char *)) { setup((char *)cuberoot, (char *)MatrixSymmetrize); }
"""


def build_peer(work: Path):
    (work / "plainpeer.pyf").write_text(PEER)
    (work / "init.c").write_text(PEER_INIT)
    subprocess.run([sys.executable, "-m", "numpy.f2py", "plainpeer.pyf"], cwd=work, check=True, capture_output=True)
    f2py_src = Path(numpy.f2py.get_include())
    target = work / ("plainpeer" + sysconfig.get_config_var("EXT_SUFFIX"))
    subprocess.run(["gcc", "-shared", "-fPIC", "-O2", "-w", "-DNO_APPEND_FORTRAN",
                    f"-I{sysconfig.get_paths()['include']}", f"-I{np.get_include()}", f"-I{f2py_src}",
                    str(work / "plainpeermodule.c"), str(work / "init.c"), str(f2py_src / "fortranobject.c"),
                    f"-L{LIBDIR}", "-lkestro", f"-Wl,-rpath,{LIBDIR}", "-o", str(target)], check=True)
    sys.path.insert(0, str(work))
    import plainpeer
    return plainpeer


def per_call(call, number):
    # Processor time of this process: time spent waiting for a core does not count.
    return timeit.timeit(call, number=number, timer=time.process_time) / number * 1e6


def compare(ours, theirs, number=20_000, pairs=101):
    """Median times and the median of the ratios of back-to-back pairs, so
    that both sides of each ratio see the same load of the machine."""
    times = [(per_call(ours, number), per_call(theirs, number)) for _ in range(pairs)]
    return (statistics.median(t[0] for t in times), statistics.median(t[1] for t in times),
            statistics.median(t[0] / t[1] for t in times))


def main():
    with tempfile.TemporaryDirectory() as tmp:
        peer = build_peer(Path(tmp))
        a = np.asfortranarray(np.arange(9.0).reshape(3, 3))
        assert peer.math.cuberoot(-27.0) == _kestro.math.cuberoot(-27.0)
        assert np.array_equal(peer.math.matrixsymmetrize(a), _kestro.math.matrixsymmetrize(a))
        # As written in a script, and through the routine fetched once.
        ours_root, ours_sym = _kestro.math.cuberoot, _kestro.math.matrixsymmetrize
        peer_root, peer_sym = peer.math.cuberoot, peer.math.matrixsymmetrize
        cases = [
            ("math.cuberoot(x)", lambda: _kestro.math.cuberoot(2.5), lambda: peer.math.cuberoot(2.5)),
            ("math.matrixsymmetrize(a)", lambda: _kestro.math.matrixsymmetrize(a),
             lambda: peer.math.matrixsymmetrize(a)),
            ("cuberoot(x), fetched", lambda: ours_root(2.5), lambda: peer_root(2.5)),
            ("matrixsymmetrize(a), fetched", lambda: ours_sym(a), lambda: peer_sym(a)),
        ]
        print(f"{'call (a: 3 x 3)':<30} {'kestro us':>10} {'f2py us':>10} {'ratio':>6}")
        for name, ours, theirs in cases:
            o, t, ratio = compare(ours, theirs)
            print(f"{name:<30} {o:>10.3f} {t:>10.3f} {ratio:>6.2f}")

if __name__ == "__main__":
    main()
