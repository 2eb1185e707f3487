"""Loads of the impactors and tabulated amplitudes: the surface pressure and
its nearest-element record on a worked example, the distributions over their
supports, the edge load and the point force, and the amplitudes against
SciPy's monotone cubic."""

import math

import numpy as np
import pytest
from scipy.interpolate import PchipInterpolator

import _kestro
from conftest import recorded

S = _kestro.sldcollection
ED = _kestro.elementdata
HUGE = 1.7976931348623157e308
CENTRE = [10.0, 20.0, 5.0]


def impactor(code, force=900.0, radius=3.0):
    cprops, dprops = np.zeros((20, 1)), np.zeros((12, 1))
    cprops[:2, 0] = force, radius
    dprops[0, 0], dprops[1:4, 0] = code, CENTRE
    return cprops, dprops


def pressure(point, cprops, dprops, kstep=1, **kw):
    return S.dsload(np.zeros(3), kstep, point, np.eye(3), cprops, dprops, **kw)


def test_surface_pressure_and_nearest_element_record():
    _kestro.jobdata.stepid = np.array([3], np.int32)
    cprops, dprops = impactor(5)
    # At (12, 21, 0): r, s = 2, 1; in-plane distances sqrt(2^2 + 5^2) and sqrt(1 + 5^2).
    alpha, t_user, dprops = pressure([12.0, 21.0, 0.0], cprops, dprops, elemid=7)
    assert alpha == pytest.approx(100 / math.pi, rel=1e-15)
    np.testing.assert_array_equal(t_user, [0, 0, -1])
    np.testing.assert_allclose(dprops[4:11, 0], [7, *np.sqrt([5, 5, 29, 26, 0, 0])], rtol=1e-15)
    # A nearer point becomes the nearest record; Hertz 150/pi sqrt(1 - 0.25/9).
    alpha, _, dprops = pressure([10.5, 20.0, 0.0], cprops, dprops, elemid=7)
    assert alpha == pytest.approx(150 / math.pi * math.sqrt(35 / 36), rel=1e-15)
    np.testing.assert_allclose(dprops[5:9, 0], [0.5, 0.5, math.sqrt(25.25), 5], rtol=1e-15)


@pytest.mark.parametrize("code, expected", [
    (2, 900 / (4 * math.sqrt(29 * 26))),
    (3, 900 / math.sqrt(29 * 26) * (1 - 2 / math.sqrt(29)) * (1 - 1 / math.sqrt(26))),
    (4, 3 * 900 / (8 * math.sqrt(29 * 26)) * (1 - 4 / (29 + math.sqrt(29 * 26)) - 1 / (26 + math.sqrt(29 * 26)))),
    (8, 900 / (4 * math.sqrt(29 * 26)) * (1 + math.cos(2 * math.pi / math.sqrt(29)))
     * (1 + math.cos(math.pi / math.sqrt(26)))),
    (7, 0.0), (1, 0.0), (9, 0.0), (math.nan, 0.0), (1e10 + 2, 0.0),
])
def test_distribution_of_each_load_code(code, expected):
    # Fresh rows: the extent is the first point's distances (sqrt(29), sqrt(26)).
    _kestro.jobdata.stepid = np.array([2], np.int32)
    alpha = pressure([12.0, 21.0, 0.0], *impactor(code))[0]
    assert alpha == pytest.approx(expected, rel=1e-14)


def test_automatic_takes_hertz_only_where_the_contact_covers_the_extent():
    _kestro.jobdata.stepid = np.array([3], np.int32)
    hertz = pressure([12.0, 21.0, 0.0], *impactor(6, radius=6.0))[0]
    assert hertz == pytest.approx(3 * 900 / (2 * math.pi * 36) * math.sqrt(1 - 5 / 36), rel=1e-15)
    paraboloid = pressure([12.0, 21.0, 0.0], *impactor(6))[0]
    assert paraboloid == pytest.approx(pressure([12.0, 21.0, 0.0], *impactor(4))[0], rel=1e-15)


@pytest.mark.parametrize("kinds, kstep, elemkinds, sign, tracked", [
    ([3], 1, [1, 10, 4], -1, True),   # element 7 first stands at position 2, kind 10
    ([3], 1, [1, 4, 10], 1, True),    # its second position does not count
    ([3], 1, None, 1, True),
    ([1], 1, [1, 10, 4], 0, False),   # a fatigue step only starts the record
    ([3], 2, [1, 10, 4], 0, False),   # a step the table does not hold counts as fatigue
    (None, 1, [1, 10, 4], 0, False),  # so does every step before start-up
    ([0], 1, [1, 10, 4], 0, True),    # an initialization step records, loads nothing
])
def test_sign_and_step_kinds(kinds, kstep, elemkinds, sign, tracked):
    if kinds is not None:
        _kestro.jobdata.stepid = np.array(kinds, np.int32)
    ED.elemlist = np.array([3, 7, 7], np.int32)
    if elemkinds is not None:
        ED.elemkind = np.array(elemkinds, np.int32)
    cprops, dprops = impactor(5)
    alpha, _, dprops = pressure([12.0, 21.0, 0.0], cprops, dprops, kstep=kstep, elemid=7)
    assert alpha == pytest.approx(sign * 100 / math.pi, rel=1e-15)
    nearest = [math.sqrt(29), math.sqrt(26)] if tracked else [0, 0]
    np.testing.assert_allclose(dprops[4:11, 0], [7, math.sqrt(5), math.sqrt(5), *nearest, 0, 0], rtol=1e-15)


def test_element_kinds_follow_a_rewritten_element_list():
    _kestro.jobdata.stepid = np.array([3], np.int32)
    ED.elemlist = np.array([3, 7], np.int32)
    ED.elemkind = np.array([1, 10], np.int32)
    assert pressure([12.0, 21.0, 0.0], *impactor(5), elemid=7)[0] < 0
    ED.elemlist = np.array([7, 3], np.int32)  # element 7 now of kind 1
    assert pressure([12.0, 21.0, 0.0], *impactor(5), elemid=7)[0] > 0
    ED.elemlist[1] = 9  # a write through a view: element 3 is gone, 9 is found
    ED.elemkind = np.array([1, 11], np.int32)
    assert pressure([12.0, 21.0, 0.0], *impactor(5), elemid=9)[0] < 0
    assert pressure([12.0, 21.0, 0.0], *impactor(5), elemid=3)[0] > 0


def test_a_non_integer_element_record_matches_no_element():
    _kestro.jobdata.stepid = np.array([3], np.int32)
    cprops, dprops = impactor(5)
    dprops[4:7, 0] = 1e300, 1.0, 1.0  # as 0 it would take the farthest point
    dprops = pressure([12.0, 21.0, 0.0], cprops, dprops)[2]
    np.testing.assert_array_equal(dprops[4:11, 0], [1e300, 1, 1, 0, 0, 0, 0])


def mesh_pass(points, cprops, dprops):
    """dsload at the points (offsets from the centre) of each square of side 2 of a 3 x 3 mesh, row by row."""
    pressures = np.zeros((9, len(points)))
    for e in range(9):
        centre = np.array([1.0 + 2 * (e % 3), 1.0 + 2 * (e // 3), 0.0])
        for j, offset in enumerate(points):
            pressures[e, j], _, dprops = pressure(centre + [*offset, 0], cprops, dprops, elemid=e + 1)
    return pressures, dprops


G3 = math.sqrt(0.6)
GAUSS_3X3 = [(G3 * r, G3 * s) for s in (-1, 0, 1) for r in (-1, 0, 1)]


LOST = (-2, "Warning: Impactor load lost on an extent of no width in dsload.")


@pytest.mark.parametrize("unset", [0.0, HUGE])  # a dprops built from zeros, or as the control creates it
@pytest.mark.parametrize("points, applied", [
    # Uniform over the extent G3 x G3 of element 5's points around the centre; in the first pass the centre
    # comes before the farthest point in s, and its load is lost there.
    (GAUSS_3X3, 900 / (4 * 0.6)),
    ([(0.0, 0.0)], 0.0),  # one point per element: an extent of no width in every pass
])
def test_load_point_right_under_the_impactor(unset, points, applied):
    """The impactor stands over the centre of element 5, a load point: the distance 0 is a distance."""
    _kestro.jobdata.stepid = np.array([2], np.int32)
    cprops, dprops = impactor(2)
    dprops[1:4, 0], dprops[5:7, 0] = [3.0, 3.0, 0.0], unset  # in the surface
    for _ in range(2):
        pressures, dprops = mesh_pass(points, cprops, dprops)
        assert np.isfinite(pressures).all()
    assert dprops[4, 0] == 5 and dprops[5, 0] == 0
    assert recorded() == LOST and list(_kestro.errorhandling.errintv) == [1, 2]  # the impactor and its load code
    assert pressures[4, len(points) // 2] == pytest.approx(applied, rel=1e-14)
    assert set(np.unique(pressures[4])) <= {0.0, pressures[4, len(points) // 2]} and not np.delete(pressures, 4, 0).any()


@pytest.mark.parametrize("code, force, kind, lost", [
    (2, 900.0, 2, True), (3, 900.0, 3, True), (4, 900.0, 2, True), (8, 900.0, 3, True),
    (5, 900.0, 2, False), (6, 900.0, 2, False), (1, 900.0, 2, False), (7, 900.0, 2, False),  # no extent needed
    (2, 0.0, 2, False),  # nothing to lose
    (2, 900.0, 0, False), (2, 900.0, 1, False),  # steps that load nothing
])
def test_a_load_lost_on_an_extent_of_no_width_is_recorded(code, force, kind, lost):
    """One load point per element, at the centre of element 5 under the impactor: a = b = 0 for good."""
    _kestro.jobdata.stepid = np.array([kind], np.int32)
    cprops, dprops = impactor(code, force=force)
    dprops[1:4, 0] = [3.0, 3.0, 0.0]
    for _ in range(2):
        pressures, dprops = mesh_pass([(0.0, 0.0)], cprops, dprops)
    assert not dprops[7:11].any() and pressures[4, 0] == pytest.approx(150 / math.pi if code in (5, 6) else 0, rel=1e-15)
    assert recorded() == (LOST if lost else (0, ""))
    if lost:
        assert list(_kestro.errorhandling.errintv) == [1, code]


@pytest.mark.parametrize("point, dircos", [
    ([12.0, math.nan, 0.0], np.eye(3)),
    ([12.0, 21.0, 0.0], np.zeros((3, 3))),
    ([12.0, 21.0, 0.0], np.full((3, 3), math.nan)),
])
def test_a_point_without_a_finite_distance_changes_no_record(point, dircos):
    _kestro.jobdata.stepid = np.array([3], np.int32)
    cprops, dprops = impactor(5)
    dprops = pressure([12.0, 21.0, 0.0], cprops, dprops, elemid=7)[2]
    before = dprops.copy()
    alpha, _, dprops = S.dsload(np.zeros(3), 1, point, dircos, cprops, dprops, elemid=8)
    assert alpha == 0.0 and (dprops == before).all()
    assert recorded() == (-2, "Warning: Load point without a finite distance to the impactor in dsload.")
    assert list(_kestro.errorhandling.errintv) == [8, 1]  # the element and the impactor
    assert pressure([12.0, 21.0, 0.0], cprops, dprops, elemid=7)[0] == pytest.approx(100 / math.pi, rel=1e-15)


@pytest.mark.parametrize("record, expected", [
    ([0, 0, 0], [0, 3, 0]),  # built from zeros: not set, the distance only
    ([0, HUGE, HUGE], [0, 3, HUGE]),  # as the control creates it
    ([4, 0, 0], [4, 0, 0]),  # a distance 0 recorded: nothing is nearer
    ([4, 5, 5], [9, 3, 5]),
])
def test_contact_area_reads_a_distance_of_zero_as_a_distance(record, expected):
    dprops = np.zeros((12, 1))
    dprops[1:4, 0], dprops[4:7, 0] = CENTRE, record
    dprops = _kestro.interaction.contactarea(dprops, [10, 20, 8], 9, elemlength=[2.0, 0.0, 0.0])
    np.testing.assert_array_equal(dprops[4:7, 0], expected)


def gauss(n, a, b):
    x, w = np.polynomial.legendre.leggauss(n)
    return 0.5 * (b - a) * x + 0.5 * (b + a), 0.5 * (b - a) * w


def test_distributions_integrate_to_the_force():
    f, r0, s0, a, b = 7.0, 0.3, -0.2, 1.7, 0.6
    # Gauss rules on each half, where the kinks of the pyramid stand.
    rr, wr = map(np.concatenate, zip(gauss(40, r0 - a, r0), gauss(40, r0, r0 + a)))
    ss, ws = map(np.concatenate, zip(gauss(40, s0 - b, s0), gauss(40, s0, s0 + b)))
    laws = {"uniform": lambda r, s: S.uniformsurfaceload(f, a, b),
            "pyramid": lambda r, s: S.pyramidalsurfaceload(f, r, s, r0, s0, a, b),
            "paraboloid": lambda r, s: S.parabolicsurfaceload(f, r, s, r0, s0, a, b),
            "cosine": lambda r, s: S.cosinesurfaceload(f, r, s, r0, s0, a, b)}
    for name, law in laws.items():
        total = sum(wi * wj * law(ri, sj) for ri, wi in zip(rr, wr) for sj, wj in zip(ss, ws))
        assert total == pytest.approx(f, rel=1e-12), name
    # The ellipse in polar form with rho = sin(t): the integrand becomes smooth.
    tt, wt = gauss(30, 0.0, math.pi / 2)
    pp, wp = gauss(30, 0.0, 2 * math.pi)
    total = sum(wi * wj * a * b * math.sin(t) * math.cos(t)
                * S.hertziansurfaceload(f, r0 + a * math.sin(t) * math.cos(p), s0 + b * math.sin(t) * math.sin(p),
                                        r0, s0, a, b)
                for t, wi in zip(tt, wt) for p, wj in zip(pp, wp))
    assert total == pytest.approx(f, rel=1e-12)
    # The cosine is F/(ab) at the centre and vanishes at the edges; the sine keeps its formula.
    assert S.cosinesurfaceload(f, r0, s0, r0, s0, a, b) == pytest.approx(f / (a * b), rel=1e-15)
    assert S.cosinesurfaceload(f, r0 + a, s0, r0, s0, a, b) == 0.0
    assert S.sinesurfaceload(f, r0 + a / 2, s0 + b / 2, r0, s0, a, b) == pytest.approx(f / (a * b), rel=1e-15)


@pytest.mark.parametrize("name, forces, widths, expected", [
    ("EDGE_1_2_SYMX", [10, 6], [2.5, 1.5], 2.0),   # both impactors, halved once
    ("EDGE_1", [10], [2.5], 2.0),
    ("EDGE_1_SYMY", [10], [2.5], 1.0),
    ("EDGE_12", [10, 6], [2.5, 1.5], 4.0),         # 1 also matches 12
    ("EDGE_3", [10, 6], [2.5, 1.5], 0.0),
    ("EDGE_1", [1e-300], [0.0], 1e-300 / 2.2250738585072014e-308),  # no width: the smallest double
])
def test_edge_load(name, forces, widths, expected):
    cprops = np.zeros((20, len(forces)))
    cprops[0], cprops[17] = forces, widths
    dircos = np.column_stack([[1, 0, 0], [0, 0.8, 0.6], [1e-11, 0.6, -0.8]])
    alpha, t_user, _ = S.deload(np.zeros(3), 1, 1, [0, 0], 1, 1, [0, 0, 0], dircos, 0, name, cprops,
                                np.zeros((12, len(forces))))
    assert alpha == expected
    np.testing.assert_array_equal(t_user, [0, -0.6, 0.8])


@pytest.mark.parametrize("ldflag, force, name, f, flag", [
    (0.0, 3.0, "LOAD_POINT_SYMX", 3.0 / 2.5e-07 * 0.5, 1.0),
    (0.0, 3.0, "POINT_SYMX_SYMY_SYM4", 3.0 / 2.5e-07 * 0.0625, 1.0),
    (0.0, 3.0, "HERTZIAN", 0.0, 5.0),
    (0.0, 3.0, "COSINE", 0.0, 8.0),
    (0.0, 3.0, "point", 0.0, 0.0),
    (1.0, -3.0, "", 0.0, 1.0),
    (-1.0, -3.0, "", -3.0 / 2.5e-07, -1.0),
])
def test_point_force(ldflag, force, name, f, flag):
    assert S.cload(ldflag, force, name) == (f, flag)
    expected = (-2, "Warning: No valid load state detected in %S") if name == "point" else (0, "")
    assert recorded() == expected


# A loop: rising to 3, falling back.
LOOP = np.array([0, 1, 2, 3, 2, 1, 0, 0, 1, 4, 9, 7, 3, 0], float)


@pytest.mark.parametrize("passed, x, rows, at, new_passed", [
    (0.0, 2.5, ([0, 1, 2, 3], [0, 1, 4, 9]), 2.5, 2.5),
    (3.0, 1.5, ([0, 1, 2, 3], [0, 3, 7, 9]), 1.5, 3.0),   # unloading: the table read backwards
    (3.0, 3.5, ([0, 1, 2, 3], [0, 1, 4, 9]), 3.0, 3.5),   # clamped to the abscissas
    (HUGE, 5.0, ([0, 1, 2, 3], [0, 3, 7, 9]), 3.0, HUGE),
])
def test_hysteresis(passed, x, rows, at, new_passed):
    amp, after = S.chysteresis(passed, LOOP, x)
    assert amp == pytest.approx(float(PchipInterpolator(*rows)(at)), rel=1e-14)
    assert after == new_passed


def test_amplitude_warnings_and_skip():
    table = np.array([0, 1, 2, 3, 0, 1, 4, 9], float)
    assert S.camplitude(table, 1.5) == pytest.approx(float(PchipInterpolator([0, 1, 2, 3], [0, 1, 4, 9])(1.5)))
    assert S.camplitude(table, 4.0) > 9.0  # not clamped
    assert S.camplitude(table, 1.5, skip=True) == 0.0 and S.chysteresis(0.0, LOOP, 1.0, skip=True) == (0.0, 0.0)
    assert S.chysteresis(0.0, LOOP, 1.0, ndata=13) == (0.0, 0.0)
    assert recorded() == (-2, "Warning: Mismatch between x- and y-values in %S")
    assert bytes(_kestro.errorhandling.errasciim[:, 0].astype(np.uint8)).decode() == "ZRV_HYST"
    assert S.camplitude(table[:5], 1.0) == 0.0


FEWER = "Warning: Fewer than two rows in %S"
NOT_RISING = "Warning: Abscissas not strictly increasing in %S"


@pytest.mark.parametrize("routine, table, message, name", [
    ("camplitude", [0.0, 1.0], FEWER, "ZRV_AMPL"),
    ("camplitude", [], FEWER, "ZRV_AMPL"),
    ("camplitude", [0, 1, 1, 2, 5, 6, 7, 8], NOT_RISING, "ZRV_AMPL"),  # equal abscissas
    ("camplitude", [0, 2, 1, 3, 5, 6, 7, 8], NOT_RISING, "ZRV_AMPL"),
    ("camplitude", [0, math.nan, 2, 5, 6, 7], NOT_RISING, "ZRV_AMPL"),
    ("chysteresis", [3, 2, 1, 0, 5, 6, 7, 8], FEWER, "ZRV_HYST"),  # falling: its used part is one row
    ("chysteresis", [0, 2, 1, 3, 5, 6, 7, 8], NOT_RISING, "ZRV_HYST"),  # two rises, but 0, 2, 1 used
])
def test_tables_the_interpolation_cannot_take(routine, table, message, name):
    """Amplitude 0.0 and a warning naming the table and the cause, where the process used to end."""
    table = np.array(table, float)
    amp = S.camplitude(table, 1.5) if routine == "camplitude" else S.chysteresis(0.0, table, 1.5)[0]
    assert amp == 0.0 and recorded() == (-2, message)
    assert bytes(_kestro.errorhandling.errasciim[:, 0].astype(np.uint8)).decode() == name
