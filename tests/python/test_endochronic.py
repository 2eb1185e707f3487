"""The endochronic viscoplastic law and its material point umat_krause, on a
two-term law (K 3000; mu 800 without relaxation, mu 400 with alpha 150)
whose responses to shear, holding and volume change have closed forms."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded, umat_arguments

law = _kestro.lamina.endochroneviscoplasticity
GAMMA = 0.01
SHEAR = np.array([0, 0, 0, GAMMA, 0, 0.0])


def props(k=0.0, beta=0.0, n=2.0):
    return np.array([3000, k, beta, n, 800, 0, 400, 150.0])


def phi(x):
    return -math.expm1(-x) / x


def sheared():
    """The state after one shear step gamma from the virgin state."""
    return law(np.zeros(6), SHEAR, props(), np.zeros(14), 0.0, True, False)


def test_shear_step_and_its_halves():
    stress, state = sheared()
    tau = 800 * GAMMA + 400 * GAMMA * phi(150 * GAMMA / math.sqrt(2))
    assert tau == pytest.approx(10.465531758173128, rel=1e-15)
    np.testing.assert_allclose(stress, [0, 0, 0, tau, 0, 0], rtol=1e-14, atol=1e-15)
    assert state[0] == state[1] == pytest.approx(GAMMA / math.sqrt(2), rel=1e-15)
    half, state2 = law(np.zeros(6), SHEAR / 2, props(), np.zeros(14), 0.0, True, False)
    stress2, state2 = law(SHEAR / 2, SHEAR / 2, props(), state2, 0.0, True, False)
    np.testing.assert_allclose(stress2, stress, rtol=1e-13, atol=1e-15)
    np.testing.assert_allclose(state2, state, rtol=1e-13, atol=1e-15)
    # beta 2: z = log1p(2 zeta) / 2 replaces zeta in the relaxing term.
    stress, state = law(np.zeros(6), SHEAR, props(beta=2), np.zeros(14), 0.0, True, False)
    z = math.log1p(2 * GAMMA / math.sqrt(2)) / 2
    assert state[1] == pytest.approx(z, rel=1e-15)
    assert stress[3] == pytest.approx(800 * GAMMA + 400 * GAMMA * phi(150 * z), rel=1e-14)
    assert stress[3] == pytest.approx(10.4731186479538, rel=1e-13)


def test_hold_relaxes_and_volume_is_elastic():
    _, state = sheared()
    stress, held = law(SHEAR, np.zeros(6), props(k=10), state, 0.01, True, False)
    assert stress[3] == pytest.approx(8 + 2.465531758173128 * math.exp(-15), rel=1e-14)
    assert held[0] == pytest.approx(state[0] + 0.1, rel=1e-15) and held[1] == pytest.approx(state[1] + 0.1)
    stress, after = law(SHEAR, np.array([1e-3] * 3 + [0] * 3), props(), state, 0.0, True, False)
    np.testing.assert_allclose(stress, [9, 9, 9, 10.465531758173128, 0, 0], rtol=1e-14)
    np.testing.assert_array_equal(after, state)
    stress, kept = law(SHEAR, SHEAR, props(), state, 0.0, False, False)  # writesdv false: state left
    np.testing.assert_array_equal(kept, state)
    assert stress[3] > 10.465531758173128


@pytest.mark.parametrize("values,nstatev,message", [
    (props(n=0), 14, "properties"), (props(n=11), 14, "properties"), (props(n=math.nan), 14, "properties"),
    (props(n=2.5), 14, "properties"), (props()[:7], 14, "properties"), (props()[:3], 14, "properties"),
    (props(), 13, "state variables"),
])
def test_law_refuses_bad_counts(values, nstatev, message):
    state = np.arange(1.0, nstatev + 1)
    stress, after = law(np.zeros(6), SHEAR, values, state, 0.0, True, False)
    assert not stress.any()
    np.testing.assert_array_equal(after, state)
    assert recorded() == (-2, f"Unsupported number of {message} in EndochroneViscoPlasticity")


def krause(state, ntens=6, k=10.0):
    stress, ddsdde = np.full(ntens, 5.0), np.full((ntens, ntens), 9.0)
    sse = np.array(0.25)
    t = _kestro.toplevel.umat_krause(*umat_arguments(np.zeros(ntens), stress=stress, statev=state, ddsdde=ddsdde,
                                                     sse=sse, spd=0.0, scd=0.0, rpl=0.0, drpldt=0.0,
                                                     stran=SHEAR[:ntens], dtime=1.0, temp=0.0, cmname="RESIN",
                                                     ndi=3, props=props(k=k), pnewdt=1.0))
    return t[0], t[1], t[2], sse


def test_umat_krause_tangent_from_the_updated_state():
    _, state = sheared()
    once = law(SHEAR, np.zeros(6), props(k=10), state, 1.0, True, False)[1]
    stress, statev, ddsdde, sse = krause(state.copy())
    np.testing.assert_allclose(stress, [0, 0, 0, 8, 0, 0], atol=1e-12)
    np.testing.assert_array_equal(statev, once)  # one law call's state
    assert statev[0] == pytest.approx(10.007071067811866, rel=1e-15) and sse == 0.25
    mu, bulk = 1200.0, 3000.0  # mu = sum of mu_r: the relaxed term counts over no time
    expected = np.diag([2 * mu] * 3 + [mu] * 3) + np.pad(np.full((3, 3), bulk - 2 * mu / 3), (0, 3))
    np.testing.assert_allclose(ddsdde, expected, rtol=1e-6)


def test_umat_krause_refuses_other_dimensions():
    state = np.arange(14.0)
    stress, statev, ddsdde, _ = krause(state, ntens=4)
    assert list(stress) == [5.0] * 4 and not ddsdde.any()
    np.testing.assert_array_equal(statev, np.arange(14.0))
    assert recorded() == (-2, "Unsupported dimension in umat_krause.")
