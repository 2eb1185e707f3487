"""Table interpolation of module math (nearest, linear, monotone cubic Hermite
with its integral and arc length) and the least-squares polynomial fit."""

import numpy as np
import pytest
from scipy.interpolate import PchipInterpolator

import _kestro
from conftest import ONE_POINT_BLOCK, hermite_block

m = _kestro.math
eh = _kestro.errorhandling


def recorded():
    """(errstat, errstring without the padding)."""
    return int(eh.errstat), bytes(eh.errstring).decode().rstrip(" \0")


def monotone_table(rng, n, decreasing=False, flats=False):
    """Random strictly ascending abscissas with monotone ordinates."""
    x = np.cumsum(rng.uniform(0.01, 2.0, n)) + rng.uniform(-5.0, 5.0)
    steps = rng.uniform(0.0, 3.0, n)
    if flats:
        steps[rng.integers(0, n, n // 3)] = 0.0
    y = np.cumsum(steps) + rng.uniform(-10.0, 10.0)
    return x, (-y if decreasing else y)


# ---------------------------------------------------------------- nearest

@pytest.mark.parametrize("x,y,p,expected", [
    # Exact tie at 0.5 goes to the larger abscissa; constant beyond both ends.
    ([0.0, 1.0], [5.0, 7.0], [0.5, -3.0, 9.0, 0.0], [7.0, 5.0, 7.0, 5.0]),
    ([0.0, 1.0, 2.0], [10.0, 20.0, 30.0], [1.4, 1.5, -5.0, 2.0, 1.0], [20.0, 30.0, 10.0, 30.0, 20.0]),
    # Descending abscissas: the tie at 4 (between 5 and 3) goes to the lower index, again the larger abscissa.
    ([9.0, 7.0, 5.0, 3.0, 1.0], [1.0, 2.0, 3.0, 4.0, 5.0], [6.5, 4.0, 0.0, 10.0, 5.0, 8.0],
     [2.0, 3.0, 5.0, 1.0, 3.0, 1.0]),
    # A single data point serves every point.
    ([2.0], [4.5], [-1e300, 2.0, 3.0, 1e300], [4.5, 4.5, 4.5, 4.5]),
    # x(n) equal to x(1) is searched as a descending table.
    ([1.0, 1.0], [5.0, 7.0], [0.0, 1.0, 2.0], [7.0, 5.0, 5.0]),
    # Repeated abscissas are accepted.
    ([0.0, 1.0, 1.0, 2.0], [1.0, 2.0, 3.0, 4.0], [-1.0, 0.4, 1.9, 5.0], [1.0, 1.0, 4.0, 4.0]),
])
def test_nearest_takes_the_ordinate_of_the_nearest_abscissa(x, y, p, expected):
    np.testing.assert_array_equal(m.nearestinterpolation(x, y, p), expected)


def test_nearest_agrees_with_a_brute_force_search():
    rng = np.random.default_rng(3)
    x = np.sort(rng.choice(np.arange(-40, 40), 25, replace=False)).astype(float)
    y = rng.standard_normal(25)
    p = np.arange(-45.0, 45.0, 0.5)  # half-integers make ties
    distance = np.abs(p[:, None] - x[None, :])
    # Among the nearest abscissas the last (the larger one) wins.
    index = len(x) - 1 - np.argmin(distance[:, ::-1], axis=1)
    np.testing.assert_array_equal(m.nearestinterpolation(x, y, p), y[index])
    np.testing.assert_array_equal(m.nearestinterpolation(x[::-1], y[::-1], p), y[index])


# ---------------------------------------------------------------- linear

@pytest.mark.parametrize("x,y,p,expected", [
    ([0.0, 1.0, 2.0], [0.0, 10.0, 20.0], [-1.0, 0.5, 3.0], [-10.0, 5.0, 30.0]),
    # Two points: one segment for every point.
    ([0.0, 2.0], [1.0, 5.0], [-1.0, 1.0, 3.0, 2.0], [-1.0, 3.0, 7.0, 5.0]),
    # Beyond the ends the end segments (slopes 1 and 2) continue; no clamping.
    ([0.0, 1.0, 3.0], [0.0, 1.0, 5.0], [-1.0, 5.0, 1.0, 0.0, 3.0], [-1.0, 9.0, 1.0, 0.0, 5.0]),
])
def test_linear_interpolates_and_extends_the_end_segments(x, y, p, expected):
    np.testing.assert_allclose(m.linearinterpolation(x, y, p), expected, rtol=0, atol=1e-14)


def test_linear_agrees_with_numpy_inside_the_table():
    rng = np.random.default_rng(4)
    x = np.cumsum(rng.uniform(0.1, 1.0, 30))
    y = rng.standard_normal(30)
    p = np.r_[rng.uniform(x[0], x[-1], 200), x]
    np.testing.assert_allclose(m.linearinterpolation(x, y, p), np.interp(p, x, y), rtol=0, atol=1e-13)


@pytest.mark.parametrize("f", [m.linearinterpolation, m.nearestinterpolation])
def test_no_points_give_an_empty_result(f):
    assert f([0.0, 1.0], [1.0, 2.0], []).shape == (0,)


# ---------------------------------------------------------------- monotone cubic Hermite

@pytest.mark.parametrize("seed", range(8))
@pytest.mark.parametrize("decreasing,flats", [(False, False), (True, False), (False, True), (True, True)])
def test_cubic_agrees_with_the_reference_inside_the_table(seed, decreasing, flats):
    rng = np.random.default_rng(seed)
    x, y = monotone_table(rng, int(rng.integers(2, 30)), decreasing, flats)
    reference = PchipInterpolator(x, y)
    p = np.r_[rng.uniform(x[0], x[-1], 100), x]  # unsorted, breakpoints included
    np.testing.assert_allclose(m.cubichermitianinterpolation(x, y, p), reference(p), rtol=1e-12, atol=1e-12)


@pytest.mark.parametrize("seed", range(8))
def test_cubic_extrapolates_with_the_end_cubics_like_the_reference(seed):
    # Both continue the first and last cubic; within one end interval beyond the
    # table the values stay of the size of the data, so rounding stays small too.
    rng = np.random.default_rng(100 + seed)
    x, y = monotone_table(rng, int(rng.integers(2, 30)), decreasing=bool(seed % 2))
    h_first, h_last = x[1] - x[0], x[-1] - x[-2]
    p = np.r_[rng.uniform(x[0] - h_first, x[0], 20), rng.uniform(x[-1], x[-1] + h_last, 20)]
    np.testing.assert_allclose(m.cubichermitianinterpolation(x, y, p), PchipInterpolator(x, y)(p),
                               rtol=1e-12, atol=1e-12)


def test_cubic_agrees_with_the_reference_on_data_with_extrema():
    rng = np.random.default_rng(9)
    x = np.cumsum(rng.uniform(0.05, 1.5, 40))
    y = np.round(rng.standard_normal(40) * 3)  # sign changes and flat stretches
    p = rng.uniform(x[0], x[-1], 300)
    np.testing.assert_allclose(m.cubichermitianinterpolation(x, y, p), PchipInterpolator(x, y)(p),
                               rtol=1e-12, atol=1e-12)


def test_cubic_passes_through_the_data():
    x = np.array([0.0, 0.3, 1.0, 2.5, 2.6, 4.0])
    y = np.array([1.0, 1.7, 1.7, -3.0, 8.0, 9.5])
    # A breakpoint belongs to the interval on its right, where it is the start point.
    np.testing.assert_array_equal(m.cubichermitianinterpolation(x, y, x[:-1]), y[:-1])
    assert m.cubichermitianinterpolation(x, y, x[-1:])[0] == pytest.approx(y[-1], abs=1e-14)


def test_cubic_reproduces_a_straight_line_inside_and_outside():
    x = np.array([-1.0, 0.0, 0.5, 2.0, 5.0])
    y = 3.0 - 2.0 * x
    p = np.linspace(-4.0, 9.0, 53)
    np.testing.assert_allclose(m.cubichermitianinterpolation(x, y, p), 3.0 - 2.0 * p, rtol=0, atol=1e-13)


@pytest.mark.parametrize("seed", range(5))
def test_cubic_keeps_monotone_data_monotone(seed):
    rng = np.random.default_rng(200 + seed)
    x, y = monotone_table(rng, 12, flats=bool(seed % 2))
    # Steep jumps next to flat parts are where an unconstrained cubic overshoots.
    y[5:] += 50.0
    p = np.linspace(x[0], x[-1], 5001)
    values = m.cubichermitianinterpolation(x, y, p)
    assert np.all(np.diff(values) >= -1e-12)
    interval = np.clip(np.searchsorted(x, p, side="right") - 1, 0, len(x) - 2)
    assert np.all(values >= y[interval] - 1e-12) and np.all(values <= y[interval + 1] + 1e-12)


def test_cubic_has_no_overshoot_at_an_extremum():
    x = np.array([0.0, 1.0, 2.0, 3.0, 4.0])
    y = np.array([0.0, 1.0, 4.0, 1.0, 0.0])
    values = m.cubichermitianinterpolation(x, y, np.linspace(0.0, 4.0, 401))
    assert 4.0 <= np.max(values) <= 4.0 + 1e-14 and np.min(values) >= -1e-14


def test_extrapolation_prints_and_records_nothing(capfd):
    values = m.cubichermitianinterpolation([0.0, 1.0, 2.0], [0.0, 1.0, 3.0], [-5.0, 7.0])
    assert np.all(np.isfinite(values))
    m.linearinterpolation([0.0, 1.0], [0.0, 1.0], [-5.0, 7.0])
    m.cubichermitianintegration([0.0, 1.0, 2.0], [0.0, 1.0, 3.0], -5.0, 7.0)
    assert capfd.readouterr() == ("", "")
    assert recorded()[0] == 0


# ---------------------------------------------------------------- integral and arc length

def test_integral_of_a_line():
    assert m.cubichermitianintegration([0.0, 1.0, 2.0], [0.0, 1.0, 2.0], 0.0, 2.0) == pytest.approx(2.0, abs=1e-14)


@pytest.mark.parametrize("seed", range(6))
def test_integral_agrees_with_the_reference(seed):
    rng = np.random.default_rng(300 + seed)
    x, y = monotone_table(rng, int(rng.integers(2, 25)), decreasing=bool(seed % 2), flats=seed >= 3)
    reference = PchipInterpolator(x, y)
    h_first, h_last = x[1] - x[0], x[-1] - x[-2]
    scale = np.max(np.abs(y)) * (x[-1] - x[0] + h_first + h_last)
    limits = [(x[0], x[-1]), tuple(rng.uniform(x[0], x[-1], 2)), (x[2 % len(x)], x[-1]),
              # beyond the ends the end cubics are integrated
              (x[0] - h_first, x[-1] + h_last), (x[-1], x[-1] + h_last), (x[0] - h_first, x[0])]
    for a, b in limits:
        assert m.cubichermitianintegration(x, y, a, b) == pytest.approx(reference.integrate(a, b),
                                                                       rel=0, abs=1e-12 * scale)


@pytest.mark.parametrize("a,b", [(0.3, 2.2), (-1.0, 0.5), (1.0, 5.0)])
def test_integral_changes_sign_with_the_limits_and_vanishes_on_a_point(a, b):
    x, y = [0.0, 1.0, 1.5, 3.0], [1.0, 2.0, 2.0, 5.0]
    forward = m.cubichermitianintegration(x, y, a, b)
    assert forward != 0.0
    assert m.cubichermitianintegration(x, y, b, a) == pytest.approx(-forward, rel=1e-13)
    assert m.cubichermitianintegration(x, y, a, a) == 0.0


@pytest.mark.parametrize("a,b,length", [(0.0, 3.0, 3.0 * np.sqrt(5.0)), (3.0, 0.0, -3.0 * np.sqrt(5.0)),
                                        (1.0, 2.5, 1.5 * np.sqrt(5.0))])
def test_arc_length_of_a_line(a, b, length):
    assert m.cubichermitianarclength([0.0, 1.0, 2.0, 3.0], [0.0, 2.0, 4.0, 6.0], a, b) == pytest.approx(
        length, rel=0, abs=1e-12)


def test_arc_length_integrates_the_interpolated_node_values():
    # Not the exact arc length: sqrt(1 + y'^2) is taken at the nodes only and its
    # table is interpolated and integrated like any other.
    x = np.array([0.0, 0.5, 1.2, 2.0, 3.5])
    y = np.array([0.0, 0.1, 1.5, 1.6, 4.0])
    slopes = PchipInterpolator(x, y).derivative()(x)
    expected = PchipInterpolator(x, np.sqrt(1.0 + slopes**2)).integrate(0.2, 3.1)
    assert m.cubichermitianarclength(x, y, 0.2, 3.1) == pytest.approx(expected, rel=1e-13)


# ---------------------------------------------------------------- argument forms

def test_strided_views_as_abscissas_and_points():
    rng = np.random.default_rng(11)
    x, y = monotone_table(rng, 9)
    table = np.column_stack([x, y, np.full(9, np.nan)])  # x and y as columns of a C-ordered table
    points = np.full(41, np.nan)
    points[::2] = rng.uniform(x[0] - 1.0, x[-1] + 1.0, 21)
    p = points[::-2]  # reversed, stride -2
    assert not table[:, 0].flags.contiguous and not p.flags.contiguous
    xs, ys = table[:, 0], table[:, 1]
    pc = np.ascontiguousarray(p)
    for f in (m.nearestinterpolation, m.linearinterpolation, m.cubichermitianinterpolation):
        np.testing.assert_array_equal(f(xs, ys, p), f(x, y, pc))
    assert m.cubichermitianintegration(xs, ys, 0.5, 3.0) == m.cubichermitianintegration(x, y, 0.5, 3.0)
    assert m.cubichermitianarclength(xs, ys, 0.5, 3.0) == m.cubichermitianarclength(x, y, 0.5, 3.0)
    np.testing.assert_array_equal(m.polynomialfitting(xs, ys, 2), m.polynomialfitting(x, y, 2))


def test_inputs_are_not_modified():
    x, y, p = np.array([0.0, 1.0, 3.0]), np.array([2.0, 1.0, 4.0]), np.array([2.0, -1.0])
    for f in (m.nearestinterpolation, m.linearinterpolation, m.cubichermitianinterpolation):
        f(x, y, p)
    m.cubichermitianarclength(x, y, 0.0, 3.0)
    m.polynomialfitting(x, y, 1)
    np.testing.assert_array_equal(x, [0.0, 1.0, 3.0])
    np.testing.assert_array_equal(y, [2.0, 1.0, 4.0])
    np.testing.assert_array_equal(p, [2.0, -1.0])


@pytest.mark.parametrize("call", [
    lambda y: m.nearestinterpolation([0.0, 1.0, 2.0], y, [0.5]),
    lambda y: m.linearinterpolation([0.0, 1.0, 2.0], y, [0.5]),
    lambda y: m.cubichermitianinterpolation([0.0, 1.0, 2.0], y, [0.5]),
    lambda y: m.cubichermitianintegration([0.0, 1.0, 2.0], y, 0.0, 1.0),
    lambda y: m.cubichermitianarclength([0.0, 1.0, 2.0], y, 0.0, 1.0),
], ids=["nearest", "linear", "cubic", "integration", "arclength"])
@pytest.mark.parametrize("y", [[1.0, 2.0], [1.0, 2.0, 3.0, 4.0]], ids=["short", "long"])
def test_ordinates_must_match_the_abscissas(call, y):
    with pytest.raises(_kestro.error):
        call(y)


@pytest.mark.parametrize("f,x", [
    (m.linearinterpolation, []),
    (m.linearinterpolation, [1.0]),
    (m.nearestinterpolation, []),
])
def test_tables_too_short_for_the_package_are_rejected(f, x):
    with pytest.raises(_kestro.error):
        f(x, list(x), [0.5])


# ---------------------------------------------------------------- input errors that end the process

LINEAR_FATAL = (b" \n"
                b"INTERP_LINEAR - Fatal error!\n"
                b"  Independent variable array T_DATA is not strictly increasing.\n")

def ends_with(result, stdout):
    assert result.returncode == 1, result.stderr
    assert result.stdout == stdout


def test_one_point_cubic_table_ends_the_process_with_the_message_block(run_python):
    ends_with(run_python("""
        import _kestro
        _kestro.math.cubichermitianinterpolation([1.0], [2.0], [1.0])
        print("not reached")
    """), ONE_POINT_BLOCK)
    assert hermite_block("DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1) == ONE_POINT_BLOCK


@pytest.mark.parametrize("call,routine,message,number", [
    ("cubichermitianinterpolation([0.0, 1.0, 1.0], [1.0, 2.0, 3.0], [0.5])",
     "DPCHIM", "X-ARRAY NOT STRICTLY INCREASING", -3),
    ("cubichermitianinterpolation([0.0, 2.0, 1.0], [1.0, 2.0, 3.0], [0.5])",
     "DPCHIM", "X-ARRAY NOT STRICTLY INCREASING", -3),
    ("cubichermitianinterpolation([0.0, 1.0], [1.0, 2.0], [])",
     "DPCHFE", "NUMBER OF EVALUATION POINTS LESS THAN ONE", -4),
    ("cubichermitianinterpolation([], [], [0.5])", "DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1),
    ("cubichermitianintegration([1.0], [2.0], 0.0, 1.0)", "DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1),
    ("cubichermitianintegration([0.0, 1.0, 1.0], [1.0, 2.0, 3.0], 0.0, 1.0)",
     "DPCHIM", "X-ARRAY NOT STRICTLY INCREASING", -3),
    ("cubichermitianarclength([1.0], [2.0], 0.0, 1.0)", "DPCHIM", "NUMBER OF DATA POINTS LESS THAN TWO", -1),
    ("cubichermitianarclength([3.0, 2.0, 1.0], [1.0, 2.0, 3.0], 0.0, 1.0)",
     "DPCHIM", "X-ARRAY NOT STRICTLY INCREASING", -3),
])
def test_bad_cubic_input_ends_the_process(run_python, call, routine, message, number):
    ends_with(run_python(f"""
        import _kestro
        _kestro.math.{call}
        print("not reached")
    """), hermite_block(routine, message, number))


@pytest.mark.parametrize("x", [[0.0, 1.0, 1.0, 2.0], [2.0, 1.0, 0.0], [0.0, 0.0, 1.0], [0.0, 2.0, 1.0, 3.0]],
                         ids=["repeated", "descending", "repeated-first", "one-step-back"])
def test_linear_with_abscissas_not_ascending_ends_the_process(run_python, x):
    ends_with(run_python(f"""
        import _kestro
        print("before")
        _kestro.math.linearinterpolation({x}, {list(range(len(x)))}, [0.5])
        print("not reached")
    """), b"before\n" + LINEAR_FATAL)


# ---------------------------------------------------------------- polynomial fitting

@pytest.mark.parametrize("vx,vy,d,expected", [
    ([0.0, 1.0, 2.0], [1.0, 3.0, 7.0], 2, [1.0, 1.0, 1.0]),
    ([0.0, 1.0, 2.0, 3.0], [1.0, 3.0, 5.0, 7.0], 1, [1.0, 2.0]),
    ([0.0, 1.0, 2.0, 5.0], [1.0, 3.0, 5.0, 7.0], 0, [4.0]),  # the mean, with a zero abscissa
    ([0.0], [2.5], 0, [2.5]),
])
def test_fit_of_known_data(vx, vy, d, expected):
    np.testing.assert_allclose(m.polynomialfitting(vx, vy, d), expected, rtol=0, atol=1e-12)
    assert recorded()[0] == 0


@pytest.mark.parametrize("d", range(6))
def test_fit_agrees_with_numpy_least_squares(d):
    rng = np.random.default_rng(d)
    vx = rng.uniform(-1.0, 1.0, 40)
    vy = rng.standard_normal(40)
    c = m.polynomialfitting(vx, vy, d)
    assert c.shape == (d + 1,)
    np.testing.assert_allclose(c, np.polynomial.polynomial.polyfit(vx, vy, d), rtol=0, atol=1e-10)


def test_fit_through_as_many_points_as_coefficients_interpolates():
    vx = np.array([-1.0, 0.5, 1.0, 2.0])
    vy = np.array([3.0, -1.0, 0.25, 2.0])
    c = m.polynomialfitting(vx, vy, 3)
    np.testing.assert_allclose(np.polynomial.polynomial.polyval(vx, c), vy, rtol=0, atol=1e-11)


@pytest.mark.parametrize("vx,d", [([1.0, 1.0, 1.0], 1), ([2.0, 2.0, 2.0, 2.0], 3), ([0.0, 0.0], 1),
                                  ([0.0, 1.0, 0.0, 1.0], 2)])
def test_singular_fit_records_the_error_and_still_returns(vx, d, capfd):
    c = m.polynomialfitting(vx, np.arange(1.0, len(vx) + 1.0), d)
    assert c.shape == (d + 1,)
    assert recorded() == (-2, "Problem in polynom fitting function")
    assert bytes(eh.errstring) == b"Problem in polynom fitting function".ljust(80)
    assert len(eh.errintv) == 2 and len(eh.errrealv) == 2 and eh.errasciim.shape == (8, 2)
    assert capfd.readouterr() == ("", "")


def test_a_recorded_error_is_not_overwritten_by_the_fit():
    eh.xerr(-7, "earlier", [], [], np.zeros((0, 0), np.int32), pyerr=1)
    m.polynomialfitting([1.0, 1.0], [1.0, 2.0], 1)
    assert recorded() == (-7, "earlier")


@pytest.mark.parametrize("vy", [[1.0, 2.0], [1.0, 2.0, 3.0, 4.0]], ids=["short", "long"])
def test_fit_ordinates_must_match_the_abscissas(vy):
    with pytest.raises(_kestro.error):
        m.polynomialfitting([0.0, 1.0, 2.0], vy, 1)
