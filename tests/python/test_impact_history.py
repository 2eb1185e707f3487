"""A whole impact through uel_impact and the analysis control, the test as the
solver: a steel ball (m 4, v 5) on a plate held at its edges (struck point: a
mass of 1 on a spring of 2e8), HHT alpha -0.05, dt = rigid contact time /
10,000, no measured structure compliance; each increment's first iteration
sees the struck point unmoved.  Reference: a monolithic HHT integration of
ball and struck point, the force solved by scipy's brentq."""

import math

import numpy as np
import pytest
from scipy.optimize import brentq

import _kestro
from conftest import recorded
from test_control import event, job

tl, ip = _kestro.toplevel, _kestro.impactdata
G = 9.80665
MASS, SPEED, R = 4.0, 5.0, 0.008
KC = 4 / 3 / (0.91 / 210e9 + 0.91 / 9e9) * math.sqrt(R)
PLATE_MASS, PLATE_STIFFNESS = 1.0, 2e8
ALPHA = -0.05
BETA, GAMMA = (1 - ALPHA)**2 / 4, 0.5 - ALPHA
# Rigid Hertz contact: the largest indentation and the contact time 2.94 a_max / v.
RIGID_TIME = 2.94 * (5 * MASS * SPEED**2 / (4 * KC))**0.4 / SPEED
DT = RIGID_TIME / 10000
PROPS = [210e9, 0.3, 9e9, 0.3, 0.5 * MASS * SPEED**2, MASS, R, 0.001, 0, 0, 0, 1e-5]


class Plate:
    """The struck point under HHT: M b + (1 + alpha) K w - alpha K w_n = (1 + alpha) P - alpha P_n."""

    def __init__(self):
        self.w = self.v = self.b = self.load = 0.0

    def position(self, load):
        """w at the end of the increment under the contact force `load`: linear in it."""
        predicted = self.w + DT * self.v + DT**2 * (0.5 - BETA) * self.b
        lhs = PLATE_MASS / (BETA * DT**2) + (1 + ALPHA) * PLATE_STIFFNESS
        rhs = ((1 + ALPHA) * load - ALPHA * self.load + ALPHA * PLATE_STIFFNESS * self.w
               + PLATE_MASS * predicted / (BETA * DT**2))
        return rhs / lhs

    def advance(self, load):
        w = self.position(load)
        b = (w - self.w - DT * self.v - DT**2 * (0.5 - BETA) * self.b) / (BETA * DT**2)
        self.v += DT * ((1 - GAMMA) * self.b + GAMMA * b)
        self.w, self.b, self.load = w, b, load


def independent(increments):
    """Forces, ball and struck-point positions of the monolithic HHT integration."""
    plate, x, v, a, f, history = Plate(), 0.0, SPEED, G, 0.0, []
    # Ball and struck point at the new force F: x0 - c_ball F and w0 + c_plate F.
    c = BETA * DT**2 * (1 + ALPHA) / MASS + (1 + ALPHA) / (PLATE_MASS / (BETA * DT**2) + (1 + ALPHA) * PLATE_STIFFNESS)
    for _ in range(increments):
        approach = x + DT * v + DT**2 * ((0.5 - BETA) * a + BETA * (G + ALPHA * f / MASS)) - plate.position(0.0)
        f_new = 0.0
        if approach > 0:
            f_new = brentq(lambda F: KC * max(approach - c * F, 0.0)**1.5 - F, 0.0, approach / c, xtol=1e-300,
                           rtol=4 * np.finfo(float).eps, maxiter=500)
        a_new = G - ((1 + ALPHA) * f_new - ALPHA * f) / MASS
        x_new = x + DT * v + DT**2 * ((0.5 - BETA) * a + BETA * a_new)
        v += DT * ((1 - GAMMA) * a + GAMMA * a_new)
        x, a, f = x_new, a_new, f_new
        plate.advance(f)
        history.append((f, x, plate.w))
    return np.array(history)


def through_the_library(tmp_path, increments):
    """The same impact: each increment the control's start event, iterations of uel_impact and the plate
    until the struck point stays, the control's end event.  Returns the history and every load handed on."""
    job(tmp_path)
    event(0)
    ip.cprops[3:7, 0] = 0.0, SPEED, G, MASS
    plate, svars, loads, history = Plate(), np.zeros(20), [], []
    svars[12] = G
    coords = np.array([[0.0, 0, 0], [0, 0, 1]]).T
    for kinc in range(1, increments + 1):
        event(1, kstep=2, kinc=kinc)
        w, start = plate.w, svars
        for _ in range(20):
            u, du = np.zeros(6), np.zeros((6, 1))
            u[5], du[5, 0] = w, w - plate.w
            out = tl.uel_impact(np.zeros((6, 1)), np.zeros((6, 6)), start.copy(), np.zeros(8), PROPS, coords, u, du,
                                np.zeros(6), np.zeros(6), 1, [0.0, 0.0], DT, 2, kinc, 7, (ALPHA, BETA, GAMMA),
                                np.zeros(1, np.int32), [0.0], [0.0], np.array([11, 1, 1, 0], np.int32), [0.0], 1.0,
                                np.array([1, 0, 0], np.int32), 0.0, ip.cprops[:, 0].copy())
            ip.cprops[:, 0], svars = out[5], out[2]
            loads.append(out[5][0])
            w_new = plate.position(out[5][0])
            if w_new == w:
                break
            w = w_new
        plate.advance(ip.cprops[0, 0])
        tl.uexternaldb_iocontrol(2, 0, [0.0, 0.0], DT, 2, kinc)
        history.append((ip.cprops[10, 0], ip.cprops[3, 0], plate.w))
    return np.array(history), np.array(loads)


def test_impact_on_a_held_plate_against_an_independent_integration(tmp_path):
    reference = independent(13000)
    touching = np.flatnonzero(reference[:, 0] > 0)
    assert touching[0] == 0 and touching[-1] < 12000  # the ball has left the plate
    increments = touching[-1] + 50
    history, loads = through_the_library(tmp_path, increments)
    reference = reference[:increments]
    # Loads are never a pull, and the ball does not pass through the plate.
    assert (loads >= 0).all() and np.isfinite(loads).all()
    indentation = history[:, 1] - history[:, 2]
    largest = (reference[:, 1] - reference[:, 2]).max()
    assert indentation.max() == pytest.approx(largest, rel=1e-8) and indentation[-1] < 0
    # The first contacts are forces of a fraction of a newton, not of 1e27.
    np.testing.assert_allclose(history[:3, 0], reference[:3, 0], rtol=1e-8)
    # The library holds the struck point's reference where the first iteration that moves it put it, one
    # iteration behind the monolithic step: c_plate dF of 1e-14 against indentations of 1e-3.
    peak = reference[:, 0].max()
    assert np.abs(history[:, 0] - reference[:, 0]).max() < 1e-8 * peak
    assert np.count_nonzero(history[:, 0]) == pytest.approx(len(touching), abs=1)
    assert recorded() == (0, "")  # the struck point moves in every increment with contact


HELD = (-2, "Warning: the struck point of impactor %I did not move in an increment with contact; the last force was "
            "handed on."[:80])


@pytest.mark.parametrize("jprops, mass, moving_call, increments, exflag, held", [
    ((1, 0, 0), MASS, None, 3, 0, True),  # a rigid support: the force of increment 1 handed on for good
    ((1, 0, 0), MASS, 1, 3, 0, False),  # the struck point moves in the second call of each increment
    ((1, 0, 0), MASS, None, 1, 0, False),  # increment 1 stores its force whatever the motion
    ((1, 0, 0), MASS, None, 3, 1, False),  # the explicit solver's events: its impactor keeps no reference
    ((0, 0, 0), 0.0, None, 3, 0, False),  # a prescribed force without mass: the control moves nothing
])
def test_a_struck_point_held_through_an_increment_with_contact(tmp_path, jprops, mass, moving_call, increments,
                                                               exflag, held):
    """Three calls per increment between the control's increment events; the struck point at 1e-9 kinc when it
    moves, else held at 0."""
    job(tmp_path)
    event(0)
    ip.cprops[[0, 3, 4, 5, 6], 0] = 50.0 if jprops[0] == 0 else 0.0, 0.0, SPEED, G, mass
    svars, coords = np.zeros(20), np.array([[0.0, 0, 0], [0, 0, 1]]).T
    svars[12] = G
    for kinc in range(1, increments + 1):
        tl.uexternaldb_iocontrol(7 if exflag else 1, 0, [0.0, 0.0], DT, 2, kinc, exflag)
        for call in range(3):
            u, du = np.zeros(6), np.zeros((6, 1))
            if call == moving_call:
                u[5], du[5, 0] = 1e-9 * kinc, 1e-9
            out = tl.uel_impact(np.zeros((6, 1)), np.zeros((6, 6)), svars.copy(), np.zeros(8), PROPS, coords, u, du,
                                np.zeros(6), np.zeros(6), 1, [0.0, 0.0], DT, 2, kinc, 7, (ALPHA, BETA, GAMMA),
                                np.zeros(1, np.int32), [0.0], [0.0], np.array([11, 1, 1, 0], np.int32), [0.0], 1.0,
                                np.array(jprops, np.int32), 0.0, ip.cprops[:, 0].copy())
            ip.cprops[:, 0] = out[5]
        svars = out[2]
        tl.uexternaldb_iocontrol(2, 0, [0.0, 0.0], DT, 2, kinc, exflag)
        assert ip.cprops[10, 0] > 0  # in contact
    assert recorded() == (HELD if held else (0, ""))
    if held:
        assert list(_kestro.errorhandling.errintv) == [1]
