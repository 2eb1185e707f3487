"""The implicit impactor element: a steel ball (E 210e9, nu 0.3, R 0.008, mass
4) on a ply (E33 9e9, nu 0.3), k_c = 4/3 E* sqrt(R), predicted by HHT
(alpha -0.3, beta 0.4225, dt 1e-5) from x 1e-4, v 4, a -50 with the last
force 300; struck point at 6e-5, its compliance 2e-9.  Expected forces are
the roots of F = k (D - c F)^n found by scipy (or closed forms)."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded
from test_control import event, job

tl, jd, ld, ip = _kestro.toplevel, _kestro.jobdata, _kestro.loaddata, _kestro.impactdata
I32 = lambda *v: np.array(v, np.int32)  # noqa: E731
G, HUGE = 9.80665, 1.7976931348623157e308
PROPS = [210e9, 0.3, 9e9, 0.3, 50, 4, 0.008, 0.001, 0, 0, 0, 1e-5]
HHT = (-0.3, 0.4225, 0.8)
KC = 1130993286.8281338
COORDS = np.array([[0.0, 0, 0], [0, 0, 1]]).T
TABLE = [1e-3, 5.0000005e-4, 1.0000000003410059e-10, 3e-8, 2e-8, 1e-9]
DYNAMIC, STATIC = (11, 1, 1, 0), (1, 1, 1, 0)
# alpha -1: no impactor compliance (1 + alpha) beta dt^2 / m and no force weighting; with svars(13) = 0 and the
# impactor at rest its free position is where it stands.  (beta 0 would leave the truss's mass term infinite.)
AT_REST = (-1.0, 0.25, 0.5)


def column(rows=None, hht=True):
    c = np.zeros(20)
    c[[5, 13, 14]] = G, 1, 1e-10
    if hht:
        c[[3, 4, 5, 6, 10]] = 1e-4, 4, -50, 4, 300
    for row, value in (rows or {}).items():
        c[row - 1] = value
    return c


def states(n=20, entries=None):
    s = np.zeros(n)
    s[12:15] = G, 2e-9, 6e-5
    for entry, value in (entries or {}).items():
        s[entry - 1] = value
    return s


def uel(c, svars, lflags=DYNAMIC, kstep=2, kinc=1, dtime=1e-5, jprops=(1, 0, 0), props=PROPS, w=6e-5, moved=0.0,
        params=HHT, time=0.0, nimp=1):
    """One call in step kstep of stepid (0, 3, 2): node 2 at w along the axis, moved by `moved`."""
    jd.stepid, ld.nimp = I32(0, 3, 2), nimp
    u, du = np.zeros(6), np.zeros((6, 1))
    u[5], du[5, 0] = w, moved
    out = tl.uel_impact(np.zeros((6, 1)), np.zeros((6, 6)), np.array(svars, float), np.zeros(8), props, COORDS, u,
                        du, np.zeros(6), np.zeros(6), 1, [time, time], dtime, kstep, kinc, 1, params, I32(0), [0.0],
                        [0.0], I32(*lflags), [0.0], 1.0, I32(*jprops), 0.0, np.array(c, float))
    return out[5], out[2], out[4]


@pytest.mark.parametrize("jprops, force, tolerance", [
    ((1, 0, 0), 785.4524884756843, 1e-12),
    ((2, 0, 0), 785.4524884756843, 2e-3 / 785),
    ((2, 0, 1), 27666.28948332949, 2e-3 / 27666),  # constant samples, exponent 1: k D / (1 + k c)
])
def test_hht_contact(jprops, force, tolerance):
    c, s, pnewdt = uel(column(), states(), jprops=jprops)
    assert c[0] == pytest.approx(force, rel=tolerance) and pnewdt == 1 and recorded()[0] == 0
    estar = 1 / (0.91 / 210e9 + 0.91 / 9e9)
    radius = (3 * c[0] * 0.008 / (4 * estar))**(1 / 3)
    np.testing.assert_allclose(c[1:3], [radius, radius**2 / 0.008], rtol=1e-12)
    assert (c[7:10] == HHT).all() and s[16] == c[0] and s[14] == 6e-5
    if jprops[0] == 1:
        np.testing.assert_allclose(c[1:3], [7.920725410701944e-4, 7.842236378967433e-5], rtol=1e-12)
        # The control's HHT step with this force lands where the law puts the struck surface.
        alpha, beta, _ = HHT
        a1 = G - ((1 + alpha) * c[0] - alpha * 300) / 4
        x1 = 1e-4 + 4e-5 + 1e-10 * ((0.5 - beta) * -50 + beta * a1)
        assert x1 - (6e-5 + 2e-9 * c[0]) == pytest.approx((c[0] / KC)**(2 / 3), rel=1e-9)


@pytest.mark.parametrize("jprops, rows, entries, props, force, tolerance", [
    ((2, 0, 2), {}, {}, PROPS + [1.0], 6662.484621690909, 2e-3),  # the user's power law 1e8 (D - c F)^1
    ((2, 1, 0), {14: 500, 15: 5e-5, 16: 1}, {17: 500}, PROPS, 2625.9777487493143, 2e-3),  # unloading, Tan-Sun
    ((2, 1, 0), {14: 500, 15: 5e-5, 16: 1}, {17: 400}, PROPS, 1447.7640886997165, 2e-3),  # reloading
    ((2, 1, 0), {14: 500, 15: 5e-4, 16: 1}, {17: 500}, PROPS, 0, 0),  # within the permanent indentation
    ((2, 0, 0), {16: 1}, {}, PROPS, 785.4524884756843, 2e-3),  # icsflag 0 stays Hertz
])
def test_bracketed_laws(jprops, rows, entries, props, force, tolerance):
    props = props[:11] + [1e8] + props[12:] if jprops[2] == 2 else props
    c, s, _ = uel(column(rows), states(entries=entries), jprops=jprops, props=props)
    assert c[0] == pytest.approx(force, abs=tolerance) and recorded()[0] == 0
    if jprops[1] == 1:  # radius with the modulus of the icsflag 1 stiffness, not the power law's
        assert c[1] == pytest.approx((3 * c[0] * 0.008 / 4 * (0.91 / 210e9 + 1 / 9e9))**(1 / 3), rel=1e-12)


def hertz(alpha, c, k=1e9):
    """Approach D, compliance c and the force k alpha^1.5 of the indentation alpha: D = alpha + c F."""
    f = k * alpha**1.5
    return alpha + c * f, c, f


# mu = k c sqrt(D) from 1e-14 (a first touch) to 1e6 (the compliance takes nearly all the approach).
CUBICS = [hertz(1e-12, 1e-17), hertz(1e-8, 1e-15), hertz(1e-6, 1e-13), hertz(1e-6, 1e-14), hertz(1e-6, 1e-15),
          hertz(1e-4, 1e-10), hertz(1e-4, 1e-7), hertz(1e-4, 1e-4), hertz(1e-6, 1e-2),
          (0.001, 1e-7, 6512.593056504814), (4e-7, 0.0, 1e9 * 4e-7**1.5)]


def contact_at(approach, compliance, jprops, params=AT_REST, mass=1.0, modulus=1.5e9, curvature=0.0):
    """k_c = 1e9 (E 1.5e9, nu 0, R 1 on both sides), at rest at x = D over the struck point at 0, c_i = 0."""
    c, _, _ = uel(column({4: approach, 6: 0, 7: mass}, hht=False), states(entries={13: 0, 14: compliance, 15: 0}),
                  params=params, props=[modulus, 0, modulus, 0, 1, 1, 1, 1, curvature, 0, 0, 0], jprops=jprops)
    return c[0]


@pytest.mark.parametrize("approach, compliance, force", CUBICS)
def test_closed_form_over_the_range_of_mu(approach, compliance, force):
    assert contact_at(approach, compliance, (1, 0, 0)) == pytest.approx(force, rel=1e-12) and recorded()[0] == 0


@pytest.mark.parametrize("approach, compliance, force", [hertz(1e-9, 1e-8), hertz(1e-9, 1e-7), hertz(1e-10, 1e-9)])
def test_bracketed_search_at_a_first_touch(approach, compliance, force):
    """Forces of micronewtons against a measured structure compliance, within the search's tolerance
    min(0.001, 1e-9 F_max), F_max = (D - 2.220446049250313e-16) / c."""
    tolerance = min(0.001, 1e-9 * (approach - 2.220446049250313e-16) / compliance)
    assert contact_at(approach, compliance, (2, 0, 0)) == pytest.approx(force, abs=2 * tolerance, rel=1e-15)
    assert force > 2 * tolerance and recorded()[0] == 0


NEGATIVE = (-2, "Warning: Negative structure compliance taken as 0 in uel_impact.")
NEGATIVE_TOTAL = (-2, "Warning: Negative total compliance taken as 0 in uel_impact.")


@pytest.mark.parametrize("jprops", [(1, 0, 0), (2, 0, 0)])
@pytest.mark.parametrize("alpha, compliance, error", [
    (-1.0, -1e-9, NEGATIVE),  # c_i 0: mu = -1e-2 would lower the force
    (-1.0, -1e-4, NEGATIVE),  # mu = -1e3, far below -2 / (3 sqrt(3))
    (-2.0, 1e-12, NEGATIVE_TOTAL),  # c_i = (1 + alpha) beta dt^2 / m = -2.5e-11 outweighs c_p
    (-2.0, -1e-9, NEGATIVE),  # both: the first record kept
])
def test_negative_compliances_are_taken_as_zero(jprops, alpha, compliance, error):
    """Without compliance the force is the law's at the whole approach: 1e9 (1e-4)^1.5 = 1000."""
    assert contact_at(1e-4, compliance, jprops, params=(alpha, 0.25, 0.5)) == pytest.approx(1000, rel=1e-12)
    assert recorded() == error and list(_kestro.errorhandling.errintv) == [1]


NOT_BRACKETED = (-2, "Error in BISECTION: Root must be bracketed in uel_impact.")


@pytest.mark.parametrize("jprops, alpha, compliance, mass, modulus, curvature, force, error", [
    # The bracket D / c beyond a double: the law without compliance bounds the search.
    ((1, 0, 0), -1.0, 1e-320, 1.0, 1.5e9, 0, 1000.0, (0, "")),
    ((2, 0, 0), -1.0, 1e-320, 1.0, 1.5e9, 0, 1000.0, (0, "")),
    # c_i = 0.25 dt^2 / m = 2.5e289, k_c = 2e22 / 3: mu beyond a double, F = D / c; the search's law at the
    # floor of its bracket, k (2.2e-16)^1.5, stands above D / c: no force, recorded.
    ((1, 0, 0), 0.0, 0.0, 1e-300, 1e22, 0, 1e-4 / 2.5e289, (0, "")),
    ((2, 0, 0), 0.0, 0.0, 1e-300, 1e22, 0, 0.0, NOT_BRACKETED),
    # k_c = 2e300 / 3, or infinite (a curvature of -1 / R): a rigid contact, F = D / c.
    ((1, 0, 0), 0.0, 1e-9, 1.0, 1e300, 0, 1e-4 / (1e-9 + 2.5e-11), (0, "")),
    ((1, 0, 0), 0.0, 1e-9, 1.0, 1.5e9, -1, 1e-4 / (1e-9 + 2.5e-11), (0, "")),
    # ... without compliance the law has no value: no force, recorded.
    ((1, 0, 0), -1.0, 0.0, 1.0, 1.5e9, -1, 0.0, (-2, "Warning: Contact force not finite in uel_impact.")),
])
def test_force_finite_at_the_ends_of_the_doubles(jprops, alpha, compliance, mass, modulus, curvature, force, error):
    f = contact_at(1e-4, compliance, jprops, params=(alpha, 0.25, 0.5), mass=mass, modulus=modulus,
                   curvature=curvature)
    assert f == pytest.approx(force, rel=1e-12) and recorded() == error


@pytest.mark.parametrize("jprops, lflags, svars15, error", [
    ((7, 0, 0), DYNAMIC, 6e-5, (-3, "Error: Invalid root finding procedure")),
    ((2, 0, 0), DYNAMIC, -1e-17, (0, "")),  # an approach of 1e-17 is below the bracket's floor
    ((2, 0, 1), DYNAMIC, -1e-17, (0, "")),  # no samples of a falling bracket to interpolate
    ((2, 0, 2), DYNAMIC, 6e-5, NOT_BRACKETED),  # the user's law 1e8 (D - c F)^0 - F: no sign change
    ((1, 0, 0), DYNAMIC, 1.0, (0, "")),  # no contact: x_free < w_ref
    ((1, 0, 0), STATIC, 6e-5, (0, "")),  # static calls keep the contact data
    ((1, 0, 0), (11, 1, 2, 0), 6e-5, (0, "")),  # neither a normal nor a perturbation call
])
def test_without_a_contact_force(jprops, lflags, svars15, error):
    hht = svars15 != -1e-17
    c0 = column({1: 5, 2: 6, 3: 7, 6: 0, 7: 4}, hht=hht)  # a bracket of 1e-17 when at rest
    props = PROPS[:11] + [1e8, 0.0] if jprops[2] == 2 else PROPS
    c, s, _ = uel(c0, states(entries={15: svars15, 16: 3.0} if hht else {13: 0, 15: svars15, 16: 3.0}),
                  lflags=lflags, jprops=jprops, w=1e-4, params=HHT if hht else AT_REST, props=props)
    kept = lflags != DYNAMIC
    assert (c[:3] == ([5, 6, 7] if kept else 0)).all() and recorded() == error
    if error == NOT_BRACKETED:
        assert list(_kestro.errorhandling.errintv) == [1]  # the element
    assert s[15] == (3.0 if lflags[2] == 2 else 1e-4)


def test_structural_response_table():
    """Three repeats of the first increment measure the table dt 1e-3 down to 1e-10."""
    for start, smallest, pnewdts in [(None, 1e-10, [0.50000005, 1.9999998006820317e-7, 0.8]),
                                     (np.full((1, 1), 4.0), 1e-10, [0.50000005, 1.9999998006820317e-7, 0.8]),
                                     (None, 0.0, [0.5])]:
        ip.csvars, c = start, column({15: smallest}, hht=False)
        for (dt, w, pnewdt) in zip(TABLE[:3], TABLE[3:], pnewdts):
            c, s, p = uel(c, np.zeros(26), kstep=3, dtime=dt, w=w)
            assert p == pnewdt and c[0] == c[1] == 0
        if smallest:
            assert (c[12], c[14], s[13], s[19]) == (1e-3, HUGE, 1e-3, 1)
            np.testing.assert_array_equal(ip.csvars[:, 0], TABLE)
            np.testing.assert_array_equal(s[20:], TABLE)
        else:
            np.testing.assert_array_equal(ip.csvars[:, 0], [1e-3, 5e-4, 0, 3e-8, 0, 0])


NO_TABLE = (-2, "Warning: No usable compliance table in uel_impact.")
BEYOND = (-2, "Warning: Time increment beyond the compliance table in uel_impact.")


@pytest.mark.parametrize("table, dtime, compliance, error", [
    (TABLE, 2.5e-4, 1.1799566063146146e-8, (0, "")),
    (TABLE, 5e-3, 3e-8, BEYOND),  # the end values hold beyond the measured increments
    (TABLE, 1e-12, 1e-9, BEYOND),
    ([0.0] * 6, 2.5e-4, 2e-9, NO_TABLE),  # never measured: the compliance without a table, svars(14)
    ([1e-10, 5e-4, 1e-3, 1e-9, 2e-8, 3e-8], 2.5e-4, 2e-9, NO_TABLE),  # increments rising
    ([1e-3, 1e-3, 1e-10, 3e-8, 2e-8, 1e-9], 2.5e-4, 2e-9, NO_TABLE),
    ([1e-3, math.nan, 1e-10, 3e-8, 2e-8, 1e-9], 2.5e-4, 2e-9, NO_TABLE),
    ([1e-3, 3e-8], 2.5e-4, 2e-9, NO_TABLE),  # one row
    ([1e-3, 5e-4, 1e-10, 3e-8, -2e-8, 1e-9], 5e-4, 0.0, NEGATIVE),  # a negative compliance measured: 0
])
def test_compliance_table_in_the_impact_step(table, dtime, compliance, error):
    _, s, _ = uel(column(), states(20 + len(table), dict(zip(range(21, 27), table))), dtime=dtime)
    assert s[18] == pytest.approx(compliance, rel=1e-12) and recorded() == error
    if error != (0, ""):
        assert list(_kestro.errorhandling.errintv) == [1]  # the element


def test_perturbation_keeps_the_impactors_state():
    """The truss part clears its own twelve state variables (the first six take its load) and no more; the next
    impact call reads the table."""
    kept = states(26, dict(zip(range(17, 27), [4.0, 0, 0, 1, *TABLE])))
    _, s, _ = uel(column(), kept, lflags=(1, 1, 100, 0), moved=2e-6)
    assert not s[6:12].any() and s[14] == s[15] == 2e-6  # svars(15, 16): the perturbation's increment
    changing = [14, 15, 18]  # the struck point and the compliance at this increment
    np.testing.assert_array_equal(np.delete(s, changing)[12:], np.delete(kept, changing)[12:])
    _, s, _ = uel(column(), s, dtime=2.5e-4)
    assert s[18] == pytest.approx(1.1799566063146146e-8, rel=1e-12) and recorded()[0] == 0


@pytest.mark.parametrize("nsvars, csvars, answer, pnewdt", [
    (20, None, 3e-8, 0.8),  # a single response
    (21, None, 3e-8, 0.8),  # odd: no table
    (20, np.full((2, 1), 7e-9), 7e-9, 0.8),  # a compliance measured before
])
def test_single_response(nsvars, csvars, answer, pnewdt):
    ip.csvars = csvars
    c, s, p = uel(column(hht=False), np.zeros(nsvars), kstep=3, w=3e-8)
    assert (c[12], c[14], p, s[13], s[19]) == (answer, HUGE, pnewdt, answer, 1)
    c, s, p = uel(c, np.zeros(nsvars), kstep=3, w=3e-8)  # closed: no unit force, nothing asked
    assert c[0] == 0 and p == 1


@pytest.mark.parametrize("nimp, start, number, force, stored", [
    (1, None, 1, 5.0, [0]),
    (1, None, 1, -3e-9, [3e-9]),
    (1, None, 1, -7.0, [0]),  # the negative of the last force: not a compliance
    (2, np.zeros((1, 1)), 2, -4e-9, [0, 4e-9]),
    (1, np.zeros((3, 1)), 1, -4e-9, [4e-9]),
    (1, None, 2, -4e-9, [0]),  # an impactor number beyond nimp reaches no column
    (1, None, math.nan, -4e-9, [0]),
])
def test_hand_on(nimp, start, number, force, stored):
    """Without motion of the struck point the last increment's force and radius are handed on as they stand."""
    ip.csvars = start
    c, _, _ = uel(column({1: force, 11: 7, 12: 0.3}), states(entries={20: number}), lflags=STATIC, kinc=2, nimp=nimp)
    np.testing.assert_array_equal(ip.csvars, [stored])
    assert (c[0], c[1]) == (7, 0.3)


def test_handed_over_compliance_replaces_the_impactors():
    ip.csvars = np.full((1, 1), 5e-9)
    c, _, _ = uel(column(), states(entries={20: 1}), kinc=2, moved=1e-6)
    assert c[0] == pytest.approx(732.6955915043884, rel=1e-12) and c[12] == 6e-5  # the frozen reference


@pytest.mark.parametrize("nsvars, props, jprops", [
    (19, PROPS, (1, 0, 0)), (20, PROPS[:11], (1, 0, 0)), (20, PROPS, (1, 0)), (20, PROPS, (2, 0, 2)),
])
def test_short_arguments_leave_the_truss_part(nsvars, props, jprops):
    c, s, _ = uel(column(), np.full(nsvars, 3.0), props=props, jprops=jprops)
    assert (c == column()).all() and (s[12:] == 3).all() and recorded() == (
        -2, "Warning: uel_impact needs 20 state variables, 12 properties and 3 integer properties."[:80])


def test_initialization_and_idle_steps():
    c, s, _ = uel(column(), states(entries={17: 9, 18: 9}), kstep=1, props=PROPS[:10] + [-0.002, 0.01])
    np.testing.assert_allclose(c[[3, 4, 6, 16, 17]], [-0.002, 5, 4, 0.008, 0.001], rtol=1e-15)
    assert s[12] == -50 and not s[13:18].any()
    c, s, _ = uel(column({1: 5}), states(), props=PROPS[:10] + [0.2, 0.01], time=0.1)
    assert (c[7:10] == 0).all() and c[0] == 5 and s[15] == 6e-5


def test_two_analyses_do_not_share_csvars(tmp_path):
    job(tmp_path)
    event(0)
    ip.csvars = np.ones((1, 2))
    event(3)
    assert ip.csvars is not None  # deallocall keeps it
    event(0)
    assert ip.csvars is None
