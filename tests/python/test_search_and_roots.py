"""Maximum search by golden sections or a scan (driven from Python), the
safeguarded root finders over Python callables, cubic equations and the small
geometry helpers of module math."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _kestro

m = _kestro.math
eh = _kestro.errorhandling
PHI = 1.618033988749895
PHI_SQ = 2.618033988749895
STEP = 0.08726646259971647  # 5 degrees


def recorded():
    """(errstat, errstring without the padding)."""
    return int(eh.errstat), bytes(eh.errstring).decode().rstrip(" \0")


def padded(text):
    return (text + " " * (80 - len(text))).encode()


def search(f, xlow, xup, dx, gsflag, npoints, defaultvalue=0.0):
    """Runs a search to its end; (xi, yi, abscissas evaluated, state arrays x and y)."""
    x, y, xmove, lplimits, incr, subcall, golden, finish = m.inigoldensearch(xlow, xup, dx, gsflag, npoints)
    xi, yi, ymove = np.array(0.0), np.array(0.0), np.zeros(4)
    xdir, increment, proc = (np.array(v, np.int32) for v in (0, incr, subcall))
    isgolden, update, fin = (np.array(v, np.int8) for v in (golden, 0, finish))
    evaluated = []
    while not fin:
        assert len(evaluated) <= 1000, "the search does not end"
        m.gssafe(xi, yi, dx, x, y, xmove, ymove, lplimits, xdir, increment, proc, isgolden, update, fin,
                 defaultvalue)
        if update:
            evaluated.append(float(xi))
            yi[()] = f(float(xi))
    return float(xi), float(yi), evaluated, x, y


def hill(x):
    return -(x - 1.0) ** 2


# ---------------------------------------------------------------- start of a search

def test_start_state_of_golden_and_scan_searches():
    length = 3.0
    x, y, xmove, lplimits, incr, subcall, golden, finish = m.inigoldensearch(1.0, 4.0, 0.1, 1, 6)
    c = 1.0 + length / PHI_SQ
    np.testing.assert_array_equal(x, [1.0, 4.0, c, c + (length / PHI_SQ) / PHI, 0.0, 0.0])
    np.testing.assert_array_equal(xmove, x[:4])
    np.testing.assert_array_equal(lplimits, [0.1, length])
    assert not y.any() and (incr, subcall, golden, finish) == (0, 0, 1, 0)

    x, y, xmove, lplimits, incr, subcall, golden, finish = m.inigoldensearch(1.0, 4.0, 0.1, 0, 6)
    assert not (x.any() or y.any() or xmove.any())
    np.testing.assert_array_equal(lplimits, [1.0, 4.0])
    assert (incr, subcall, golden, finish) == (0, 0, 0, 0)


# ---------------------------------------------------------------- golden sections

def test_golden_search_closes_with_the_parabola_vertex():
    xi, yi, evaluated, _, _ = search(hill, 0.0, np.pi, STEP, 1, 100)
    assert len(evaluated) == 13
    assert evaluated[:2] == [0.0, np.pi]
    assert evaluated[-1] == xi  # the vertex is handed out for evaluation, then returned
    assert abs(xi - 1.0) < 1e-12 and abs(yi) < 1e-12


@pytest.mark.parametrize("f,xlow,xup,best", [
    (lambda x: x, 0.0, np.pi, np.pi),                  # straight line: no vertex
    (lambda x: -(x + 1.0) ** 2, 0.0, np.pi, 0.0),      # vertex left of the interval
    (lambda x: -(x - 5.0) ** 2, 0.0, np.pi, np.pi),    # vertex right of the interval
    (lambda x: x * x, -1.0, 2.0, 2.0),                 # the parabola opens upwards
])
def test_golden_search_without_a_usable_vertex_returns_the_best_bracket_point(f, xlow, xup, best):
    xi, yi, evaluated, _, _ = search(f, xlow, xup, STEP, 1, 100)
    assert xi == best and yi == f(best)
    assert all(xlow <= v <= xup for v in evaluated)
    assert f(xi) == max(f(v) for v in evaluated[:-1])


def test_golden_search_moves_up_on_equal_values():
    xi, _, evaluated, _, _ = search(lambda x: 2.0, 0.0, 1.0, 0.01, 1, 100)
    c, d = evaluated[2:4]
    assert evaluated[4] == pytest.approx(d + (1.0 - c) / PHI_SQ / PHI, abs=1e-15)
    assert all(later > d for later in evaluated[4:])
    assert 1.0 - 0.01 < xi <= 1.0


@pytest.mark.parametrize("npoints", [1, 2, 3, 6])
def test_golden_search_stops_at_npoints_with_the_last_point(npoints):
    full = search(hill, 0.0, np.pi, STEP, 1, 100)[2]
    xi, yi, evaluated, _, _ = search(hill, 0.0, np.pi, STEP, 1, npoints)
    assert evaluated == full[:npoints]
    assert xi == evaluated[-1] and yi == hill(xi)


def test_golden_search_with_undefined_values_stays_in_the_interval():
    xi, _, evaluated, _, _ = search(lambda x: np.nan, 5.0, 10.0, 0.5, 1, 12)
    assert all(5.0 <= v <= 10.0 for v in evaluated)
    assert 5.0 <= xi <= 10.0


# ---------------------------------------------------------------- scan

def test_scan_steps_by_repeated_addition_up_to_the_last_point_not_above_xup():
    expected = [0.0]
    while expected[-1] + STEP <= np.pi:
        expected.append(expected[-1] + STEP)
    xi, yi, evaluated, x, y = search(lambda v: 5.0 + hill(v), 0.0, np.pi, STEP, 0, 4)
    assert evaluated == expected and len(evaluated) == 37
    assert evaluated[-1] == 3.141592653589791
    best = expected[int(np.argmax([5.0 + hill(v) for v in expected]))]
    assert (xi, yi) == (best, 5.0 + hill(best))
    assert (x[-1], y[-1]) == (xi, yi)  # the result is kept in the last slot


def test_scan_keeps_the_first_strictly_largest_value_starting_from_zero():
    xi, yi, _, _, _ = search(lambda v: 1.0 if v in (0.5, 1.0) else 0.25, 0.0, 2.0, 0.25, 0, 5)
    assert (xi, yi) == (0.5, 1.0)
    # Nothing above the starting value 0: the result is (0, 0), outside [2, 3].
    xi, yi, evaluated, _, _ = search(lambda v: -1.0 - v, 2.0, 3.0, 0.25, 0, 5)
    assert (xi, yi) == (0.0, 0.0) and evaluated == [2.0, 2.25, 2.5, 2.75, 3.0]


@pytest.mark.parametrize("dx", [0.0, -1.0, np.nan])
def test_scan_with_a_step_that_does_not_advance_ends_after_one_point(dx):
    xi, yi, evaluated, _, _ = search(lambda v: 3.0, 1.0, 2.0, dx, 0, 4)
    assert evaluated == [1.0] and (xi, yi) == (1.0, 3.0)


@pytest.mark.parametrize("npoints", [1, 2, 3])
def test_scan_result_does_not_depend_on_npoints(npoints):
    f = lambda v: 5.0 + hill(v)  # noqa: E731
    assert search(f, 0.0, np.pi, STEP, 0, npoints)[:3] == search(f, 0.0, np.pi, STEP, 0, 50)[:3]
    assert recorded()[0] == 0


# ---------------------------------------------------------------- root finders

def counted(f=lambda x: (x * x - 2.0, 2.0 * x)):
    """The callable for a root finder over f (value and derivative), keeping the abscissas in .calls."""

    def dfunc(x, args, nfun):
        dfunc.calls.append(x)
        return f(x)

    dfunc.calls = []
    return dfunc


BRENT = "Warning in BrentsMethod: Max iterations exceeded."
RTSAFE = "Warning in subroutine RTSAFE: Max iterations exceeded."
FIXPOINT = "Warning in FixPointIteration:Max iterations exceeded."
NOT_BRACKETED = "Error in BISECTION: Root must be bracketed."


def test_brent_converges_on_sqrt2_in_nine_calls_and_warns_when_that_is_the_limit():
    f = counted()
    root, istat = m.bdsafe(f, 0.0, 2.0, [], 1e-12, 100, 0)
    assert len(f.calls) == 9 and istat == 0 and abs(root - np.sqrt(2.0)) < 2e-12
    assert recorded()[0] == 0

    f = counted()
    root, istat = m.bdsafe(f, 0.0, 2.0, [], 1e-12, 8, 0)
    assert istat == 1 and abs(root - np.sqrt(2.0)) < 2e-12
    assert eh.errstat == -1 and bytes(eh.errstring) == padded(BRENT)


def test_newton_converges_on_sqrt2():
    root, istat = m.nrsafe(counted(), 0.0, 2.0, [], 1e-12, 100, 0)
    assert istat == 0 and abs(root - np.sqrt(2.0)) < 1e-12 and recorded()[0] == 0


@pytest.mark.parametrize("finder", [m.bdsafe, m.nrsafe])
def test_a_zero_at_an_end_is_the_root(finder):
    f = counted(lambda x: (x * (x - 3.0), 2.0 * x - 3.0))
    assert finder(f, 0.0, 2.0, [], 1e-12, 100, 0) == (0.0, 0) and f.calls == [0.0]
    f = counted(lambda x: (x * (x - 3.0), 2.0 * x - 3.0))
    assert finder(f, 1.0, 3.0, [], 1e-12, 100, 0) == (3.0, 0) and f.calls == [1.0, 3.0]
    assert recorded()[0] == 0


def test_an_unbracketed_interval_is_an_error_brent_gives_up_newton_searches_on():
    f = counted()
    assert m.bdsafe(f, 3.0, 5.0, [], 1e-12, 100, 0) == (0.0, 0) and len(f.calls) == 2
    assert recorded() == (-2, NOT_BRACKETED)
    eh.rsxerr(1)
    f = counted()
    _, istat = m.nrsafe(f, 3.0, 5.0, [], 1e-12, 100, 0)
    assert istat == 0 and len(f.calls) > 3
    assert recorded() == (-2, NOT_BRACKETED)


@pytest.mark.parametrize("finder,maxit,expected,message", [
    (m.bdsafe, 0, (2.0, 1), BRENT),
    (m.bdsafe, -1, (2.0, 0), ""),
    (m.nrsafe, 0, (1.0, 1), RTSAFE),  # the midpoint
])
def test_iteration_limits_below_one(finder, maxit, expected, message):
    assert finder(counted(), 0.0, 2.0, [], 1e-12, maxit, 0) == expected
    assert recorded() == ((-1, message) if message else (0, ""))


def fixed_point_of_cos(fargs, nfun, calls):
    calls.append(fargs[0])
    return np.cos(fargs[0])


def test_fixed_point_iteration_of_cos():
    calls = []
    xs, istat = m.fpsafe(fixed_point_of_cos, 1.0, [0.0], 1e-12, 100, 0, dfunc_extra_args=(calls,))
    assert istat == 0 and abs(xs - 0.7390851332151607) < 1e-11 and recorded()[0] == 0
    assert calls[0] == 1.0


def test_fixed_point_iteration_limits():
    calls = []
    start = 0.7390851332151607
    assert m.fpsafe(fixed_point_of_cos, start, [0.0], 1e-12, 0, 0, dfunc_extra_args=(calls,)) == \
        (np.cos(start), 0)
    assert calls == [start] and recorded()[0] == 0

    calls.clear()
    xs, istat = m.fpsafe(fixed_point_of_cos, 1.0, [0.0], 1e-12, 0, 0, dfunc_extra_args=(calls,))
    assert len(calls) == 2 and istat == 1 and xs == np.cos(np.cos(1.0))
    assert eh.errstat == -1 and bytes(eh.errstring) == padded(FIXPOINT)


@pytest.mark.parametrize("na", [1, 3, 65, 200])
def test_args_nfun_and_extra_arguments_reach_the_callables(na):
    # The callables take (x, args, nfun) or (fargs, nfun), then the extra arguments;
    # the length of the parameter vector is its own.
    args = np.arange(na) + 10.5
    roots_seen, fixpoints_seen = [], []

    def root_function(x, a, nfun, tag):
        roots_seen.append((np.array(a), nfun, len(a), tag))
        return x - a[-1], 1.0

    def fixpoint_function(fargs, nfun, tag):
        fixpoints_seen.append((np.array(fargs[1:]), nfun, len(fargs), tag))
        return 0.5 * fargs[0] + (fargs[-1] if len(fargs) > 1 else 0.0)

    for finder in (m.bdsafe, m.nrsafe):
        root, istat = finder(root_function, 0.0, 1000.0, args, 1e-12, 100, 17, dfunc_extra_args=("tag",))
        assert istat == 0 and abs(root - args[-1]) < 1e-9
    xs, istat = m.fpsafe(fixpoint_function, 3.0, args, 1e-12, 200, -4, dfunc_extra_args=("tag",))
    assert istat == 0 and abs(xs - (2.0 * args[-1] if na > 1 else 0.0)) < 1e-9
    assert len(roots_seen) >= 6 and len(fixpoints_seen) > 10
    for seen, nfun, passed in ((roots_seen, 17, args), (fixpoints_seen, -4, args[1:])):
        for a, nfun_seen, na_seen, tag in seen:
            assert (nfun_seen, na_seen, tag) == (nfun, na, "tag")
            np.testing.assert_array_equal(a, passed)


def test_a_raising_callable_stops_the_search_and_the_error_reaches_the_caller():
    calls = []

    def fails_on_third(x, args, nfun):
        calls.append(x)
        if len(calls) == 3:
            raise ZeroDivisionError("third call")
        return x * x - 2.0, 2.0 * x

    def fails(fargs, nfun):
        calls.append(fargs[0])
        return 1.0 / 0.0

    for run, count in ((lambda: m.bdsafe(fails_on_third, 0.0, 2.0, [], 1e-12, 100, 0), 3),
                       (lambda: m.nrsafe(fails_on_third, 0.0, 2.0, [], 1e-12, 100, 0), 3),
                       (lambda: m.fpsafe(fails, 1.0, np.ones(100), 1e-12, 100, 0), 1)):
        calls.clear()
        with pytest.raises(ZeroDivisionError):
            run()
        assert len(calls) == count
    root, istat = m.bdsafe(counted(), 0.0, 2.0, [], 1e-12, 100, 0)
    assert istat == 0 and abs(root - np.sqrt(2.0)) < 2e-12


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_a_raising_callable_does_not_leak_the_parameter_vector():
    # The copy of a parameter vector of a few thousand entries is released by the
    # jump out of a raising callable.
    args = np.ones(4000)

    def fails(fargs, nfun):
        raise ZeroDivisionError

    before = resident_bytes()
    for _ in range(2000):  # 64 MB if every copy were lost
        with pytest.raises(ZeroDivisionError):
            m.fpsafe(fails, 1.0, args, 1e-12, 10, 0)
    assert resident_bytes() - before < 20_000_000


# ---------------------------------------------------------------- cubic equations

@pytest.mark.parametrize("p,q,roots", [
    (-7.0, 6.0, (-3.0, 1.0, 2.0)),
    (-3.0, 2.0, (-2.0, 1.0, 1.0)),   # double root above the single one
    (-3.0, -2.0, (-1.0, -1.0, 2.0)),  # and below it
    (1.0, 1.0, (-0.68232780382802,) * 3),  # one real root, repeated
    (0.0, 0.0, (0.0, 0.0, 0.0)),
])
def test_depressed_cubic_roots_ascending(p, q, roots):
    result = m.specialcase(p, q)
    np.testing.assert_allclose(result, roots, rtol=0, atol=1e-13)
    assert list(result) == sorted(result)


def test_general_cubic_roots_agree_with_numpy():
    assert m.solution3pe(1.0, -6.0, 11.0, -6.0) == pytest.approx((1.0, 2.0, 3.0), abs=1e-13)
    rng = np.random.default_rng(3)
    for _ in range(200):
        roots = np.sort(rng.uniform(-10.0, 10.0, 3))
        if np.min(np.diff(roots)) < 0.1:
            continue
        coefficients = rng.uniform(0.5, 3.0) * rng.choice([-1.0, 1.0]) * np.poly(roots)
        expected = np.sort(np.roots(coefficients).real)
        np.testing.assert_allclose(m.solution3pe(*coefficients), expected, rtol=0, atol=1e-9)


def test_cuberoot_and_arc_length_integrand():
    assert m.cuberoot(-8.0) == pytest.approx(-2.0, abs=1e-15)
    assert m.cuberoot(27.0) == pytest.approx(3.0, abs=1e-14)
    assert m.cuberoot(0.0) == 0.0 and m.cuberoot(-0.0) == 0.0
    assert m.partialcurvelength(0.75) == 1.25 and m.partialcurvelength(0.0) == 1.0


# ---------------------------------------------------------------- ellipse, triangle, parabola

@pytest.mark.parametrize("angle", [0.0, 30.0, 90.0, 137.0, -60.0])
def test_ellipse_radius_and_bounding_box_match_the_curve(angle):
    a, b = 2.0, 1.0
    r = m.getradiusofellipse(a, b, angle)
    t = np.radians(angle)
    assert (r * np.cos(t) / a) ** 2 + (r * np.sin(t) / b) ** 2 == pytest.approx(1.0, abs=1e-14)
    s = np.linspace(0.0, 2.0 * np.pi, 200001)
    px, py = a * np.cos(s), b * np.sin(s)
    box = m.getboundingboxfromellipse(a, b, angle)
    np.testing.assert_allclose(box, [np.max(px * np.cos(t) - py * np.sin(t)),
                                     np.max(px * np.sin(t) + py * np.cos(t))], atol=1e-9)


def test_ellipse_on_its_axes():
    np.testing.assert_allclose(m.getboundingboxfromellipse(2.0, 1.0, 0.0), [2.0, 1.0], atol=1e-15)
    np.testing.assert_allclose(m.getboundingboxfromellipse(2.0, 1.0, 90.0), [1.0, 2.0], atol=1e-15)
    assert m.getradiusofellipse(2.0, 1.0, 0.0) == 2.0
    assert m.getradiusofellipse(2.0, 1.0, 90.0) == pytest.approx(1.0, abs=1e-15)


def test_signed_triangle_area():
    assert m.gettrianglearea(0.0, 0.0, 1.0, 0.0, 0.0, 1.0) == 0.5
    assert m.gettrianglearea(0.0, 0.0, 0.0, 1.0, 1.0, 0.0) == -0.5
    assert m.gettrianglearea(1.0, 1.0, 4.0, 2.0, 2.0, 5.0) == 5.5


def test_parabola_through_three_points():
    np.testing.assert_allclose(m.getparabolacoefficients([[0.0, 0.0], [1.0, 1.0], [2.0, 4.0]]), [1.0, 0.0, 0.0],
                               atol=1e-15)
    rng = np.random.default_rng(5)
    for _ in range(20):
        xs, ys = rng.uniform(-3.0, 3.0, 3), rng.normal(size=3)
        np.testing.assert_allclose(m.getparabolacoefficients(np.column_stack([xs, ys])), np.polyfit(xs, ys, 2),
                                   atol=1e-11)


def test_parabola_through_points_symmetric_about_zero():
    np.testing.assert_allclose(m.getparabolacoefficients([[-1.0, 1.0], [1.0, 1.0], [2.0, 4.0]]), [1.0, 0.0, 0.0],
                               atol=1e-15)
    # A golden search over [-1, 1] closing after one section fits the parabola through a = -c.
    xi = search(lambda x: -(x - 0.2) ** 2, -1.0, 1.0, 1.5, 1, 100)[0]
    assert xi == pytest.approx(0.2, abs=1e-12)


# ---------------------------------------------------------------- class percentile

@pytest.mark.parametrize("array,percentile,classsize,event", [
    ([1.0, 2.0, 3.0, 4.0], 50.0, 1, 2.0),
    ([1.0, 2.0, 3.0, 4.0], 100.0, 1, 4.0),
    ([4.0, 1.0, 3.0, 2.0], 75.0, 1, 3.0),
    ([1.0, 50.0, 80.0], 60.0, 1, 50.0),
    ([1.0, 50.0, 80.0], 70.0, 7, 78.0),  # the lower end of the class of width 7 holding 80
    ([7.5], 50.0, 3, 7.5),
])
def test_class_percentile(array, percentile, classsize, event):
    assert m.getpercentile(array, percentile, classsize) == event


def test_class_percentile_needs_a_class_width():
    with pytest.raises(_kestro.error):
        m.getpercentile([1.0, 2.0], 50.0, 0)


def run_briefly(code, seconds=5):
    """Whether a snippet run in a fresh interpreter ends within the time given."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (os.path.dirname(_kestro.__file__), env.get("PYTHONPATH")) if p)
    try:
        subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, timeout=seconds, check=True)
    except subprocess.TimeoutExpired:
        return False
    return True


def test_class_percentile_of_a_huge_value_returns_promptly():
    assert run_briefly("import _kestro; _kestro.math.getpercentile([1.0, 1e300], 100.0, 1)")


def test_class_percentile_beyond_double_integer_precision_finds_the_class():
    assert m.getpercentile([1.0, 1e17], 100.0, 1) == 1e17
