"""The self-checks of the cubic Hermite package, each run in a fresh process
through ctypes: the quick checks of both families pass and print the records
their formats give, the evaluator checks show the handler's blocks in call
order, and the utilities behave as the checks rely on."""

import re
import textwrap

import pytest

from test_pchip import LIBRARY

PRELUDE = f"""
import ctypes, sys
from ctypes import byref, c_float, c_int32
lib = ctypes.CDLL({LIBRARY!r})
lib.pchip_rand_.restype = c_float

def run(name, kprint, lun=6):
    ipass = c_int32(-1)
    getattr(lib, name)(byref(c_int32(lun)), byref(c_int32(kprint)), byref(ipass))
    sys.stdout.flush()
    sys.stderr.write(f"ipass={{ipass.value}}\\n")
"""


def run_checks(run_python, body):
    result = run_python(PRELUDE + textwrap.dedent(body))
    assert result.returncode == 0, result.stderr
    return result.stdout.decode(), re.findall(r"ipass=(-?\d+)", result.stderr.decode())


def family(double):
    """The words that differ between the reports of the two families."""
    if double:
        return dict(p="D", b="D", e="D", chk="DEVCHK", pck="DEVPCK", erk="DEVERK", q="DPCHQ")
    return dict(p="", b=" ", e="E", chk="EVCHCK", pck="EVPCCK", erk="EVERCK", q="PCHQK")


def banner(w, what):
    return f"\n ------------ {w['b']}PCHIP PASSED  ALL {what} TESTS ------------\n"


def heading(w, k):
    return f"\n\n          {w['q']}{k} RESULTS\n          --------------\n"


def expected_level_2(w, k):
    """What quick check k prints at print level 2 when everything passes."""
    if k == 1:
        interval = "\n          INTERVAL = ({},{} ):\n\n {p}CHFDV RESULTS OK.\n\n {p}CHFEV AGREES WITH {p}CHFDV.\n"
        bounds = [("-1.50000", "+00", " 2.50000", "+00"), (" 2.00000", "-10", " 3.00000", "-10"),
                  (" 1.00000", "+00", " 1.00000", "+08")]
        return ("1\n"
                f" ------------ {w['b']}PCHIP QUICK CHECK OUTPUT ------------\n\n"
                "                    ( KPRINT = 2 )\n"
                f"\n\n          {w['chk']} RESULTS\n          --------------\n"
                + "".join(interval.format(a + w["e"] + ae, b + w["e"] + be, **w) for a, ae, b, be in bounds)
                + f"\n\n          {w['pck']} RESULTS\n          --------------\n"
                f"\n {w['p']}PCHFD AND {w['p']}PCHFE OK ON J-LINES.\n"
                f"\n {w['p']}PCHFD AND {w['p']}PCHFE OK ON I-LINES.\n"
                f"\n\n          {w['erk']} RESULTS\n          --------------\n"
                "\n ALL ERROR RETURNS OK.\n" + banner(w, "EVALUATION"))
    if k == 2:
        return heading(w, 2) + "\n  MAXIMUM RELATIVE ERROR IS:<ERRMAX>,   TOLERANCE:<TOL>\n" + banner(w, "INTEGRATION")
    if k == 3:
        return (heading(w, 3)
                + "".join(f"\n       ALL {w['b']}PCH{code} RESULTS OK.\n" for code in ("IM", "IC", "IC", "SP"))
                + banner(w, "INTERPOLATION"))
    return heading(w, k) + banner(w, "MONOTONICITY" if k == 4 else "CONVERSION")


@pytest.mark.parametrize("double", [True, False], ids=["8-byte", "4-byte"])
@pytest.mark.parametrize("k", [1, 2, 3, 4, 5])
def test_quick_checks_pass_and_print_their_records(run_python, double, k):
    w = family(double)
    out, ipass = run_checks(run_python, f"run('{w['q'].lower()}{k}_', 2)\n")
    assert ipass == ["1"]
    if k == 2:
        # The largest error is computed; it must lie within the tolerance printed beside it.
        found = re.search(r"IS:( {4}\d\.\d{5}[DE][-+]\d\d),   TOLERANCE:( {4}\d\.\d{5}[DE][-+]\d\d)\n", out)
        errmax, tol = (float(v.replace("D", "E")) for v in found.groups())
        assert errmax <= tol == pytest.approx(100 * (2.0 ** -52 if double else 2.0 ** -23), rel=1e-5)
        out = out.replace(found.group(1), "<ERRMAX>").replace(found.group(2), "<TOL>")
    assert out == expected_level_2(w, k)


@pytest.mark.parametrize("double", [True, False], ids=["8-byte", "4-byte"])
def test_quiet_levels(run_python, double):
    q = family(double)["q"].lower()
    out, ipass = run_checks(run_python, "".join(f"run('{q}{k}_', {level})\n" for level in (0, 1) for k in range(1, 6)))
    assert out == "" and ipass == ["1"] * 10


def test_error_returns_show_the_handlers_blocks_in_call_order(run_python):
    out, ipass = run_checks(run_python, "run('dpchq1_', 3)\n")
    assert ipass == ["1"]
    calls = [("DCHFEV", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -1), ("DCHFEV", "INTERVAL ENDPOINTS EQUAL", -2),
             ("DCHFDV", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -1), ("DCHFDV", "INTERVAL ENDPOINTS EQUAL", -2)]
    for routine in ("DPCHFE", "DPCHFD"):
        calls += [(routine, "NUMBER OF DATA POINTS LESS THAN TWO", -1),
                  (routine, "X-ARRAY NOT STRICTLY INCREASING", -3),
                  (routine, "NUMBER OF EVALUATION POINTS LESS THAN ONE", -4)]
    blocks = "".join(
        f"\n THIS CALL SHOULD RETURN IERR ={code:3d}\n"
        f" ***MESSAGE FROM ROUTINE {routine} IN LIBRARY SLATEC.\n"
        " ***POTENTIALLY RECOVERABLE ERROR, PROG CONTINUES, TRACEBACK REQUESTED\n"
        f" *  {message}\n *  ERROR NUMBER = {code}\n *   \n ***END OF MESSAGE\n \n     OK.\n"
        for routine, message, code in calls)
    table = ("0          ERROR MESSAGE SUMMARY\n"
             " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
             + "".join(f" SLATEC     {r:<11s}{m[:20]:<20s}{c:10d}         1         1\n" for r, m, c in calls)
             + " \n")
    assert ("1\n\n          TEST ERROR RETURNS\n\n\n          DEVERK RESULTS\n          --------------\n"
            + blocks + table + "\n ALL ERROR RETURNS OK.\n") in out
    # The table check reports the expected extrapolation counts on every line.
    assert re.findall(r"ON J-LINE  \d,  Y =.{8}  --  IERR = (\d+)", out) == ["13"] * 6
    assert re.findall(r"ON I-LINE  \d,  X =.{8}  --  IERR = (\d+)", out) == ["20"] * 4


def test_at_level_2_the_error_returns_stay_in_the_handlers_table(run_python):
    out, _ = run_checks(run_python, """
        fail, flag = c_int32(-1), c_int32(-9)
        lib.xsetf_(byref(c_int32(2)))
        lib.everck_(byref(c_int32(6)), byref(c_int32(2)), byref(fail))
        lib.xgetf_(byref(flag))
        print("FAIL", fail.value, "FLAG", flag.value, flush=True)
        lib.xerdmp_()
    """)
    rows = re.findall(r"^ SLATEC     (\w+) .* (-\d)         1         1$", out, re.M)
    assert rows == [("CHFEV", "-1"), ("CHFEV", "-2"), ("CHFDV", "-1"), ("CHFDV", "-2"),
                    ("PCHFE", "-1"), ("PCHFE", "-3"), ("PCHFE", "-4"),
                    ("PCHFD", "-1"), ("PCHFD", "-3"), ("PCHFD", "-4")]
    assert "FAIL 0 FLAG 2\n" in out


def test_monotonicity_check_repeats_its_report(run_python):
    out, ipass = run_checks(run_python, "run('dpchq4_', 3)\nrun('dpchq4_', 3)\n")
    assert ipass == ["1", "1"]
    first = out[:len(out) // 2]
    assert out == first * 2
    assert "\n    INCFD = 2:  IERR =  0\n               ISMON =  1  2  2  1  2  2  1  2\n" in first
    assert "\n     Bug test:  IERR =  0\n               ISMON = -1 -3 -1  1  3  1  2\n" in first
    assert "Changing sign of data....." in first


def test_conversion_check_keeps_the_given_knots(run_python):
    out, ipass = run_checks(run_python, "run('pchqk5_', 3)\n")
    assert ipass == ["1"]
    assert re.findall(r"KNOTYP =(..):  NKNOTS = 22,  NDIM = 18,  K = 4,  IERR =  0", out) == [" 2", " 1", " 0", "-1"]
    assert "T-ARRAY" not in out
    assert out.count("Both should be less than  TOL =  1.19209E-05") == 4


def test_utilities(run_python):
    out, _ = run_checks(run_python, """
        def comp(a, b, kprint):
            r = lib.comp_(byref(c_int32(a)), byref(c_int32(b)), byref(c_int32(6)), byref(c_int32(kprint)))
            sys.stdout.flush()
            print("->", r, flush=True)
        comp(-3, -3, 3); comp(-3, -3, 2); comp(0, 12345, 3)
        draws = [lib.pchip_rand_(byref(c_float(r))) * 4194304 for r in (0, 0, 0, -1, 0.5, 3.5, 1.0)]
        print(" ".join(str(int(v)) for v in draws))
        unit = c_int32(-1)
        lib.get_unit_(byref(unit))
        print("unit", unit.value, flush=True)
    """)
    assert out == ("     OK.\n-> 1\n-> 1\n  COMPARE FAILED -- IERR =     0\n-> 0\n"
                   "1731 2831506 677277 677277 2097152 2097152 0\n"
                   "unit 1\n")
