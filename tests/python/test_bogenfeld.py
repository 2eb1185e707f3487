"""The explicit ply with fracture-plane matrix damage, one path at a time: the
fibre modes and the matrix crack of a worked ply, the elastic increment of
every property form (stiffnesses are numpy's inverse of the ply compliance, in
the solver's order 11, 22, 33, 12, 23, 13), and bad input."""

import numpy as np
import pytest

import _kestro
from conftest import recorded

T, MD = _kestro.toplevel, _kestro.materialdata
PLY_B = np.zeros(29)
PLY_B[[0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 15, 16, 24, 25, 26, 27, 28]] = [
    140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.3, 0.45, 2000, 500, -1200, -800, 500, 500, 50, 30, 0.2, 2, 0.8]
NYE = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
CYCLIC = [0, 1, 2, 3, 5, 4]  # Nye positions of the solver's order


def stiffness(e1, e2, e3, n12, n13, n23, g12, g13, g23):
    s = np.diag([1 / e1, 1 / e2, 1 / e3, 1 / g12, 1 / g13, 1 / g23])
    s[[0, 1, 0, 2, 1, 2], [1, 0, 2, 0, 2, 1]] = np.repeat([-n12 / e1, -n13 / e1, -n23 / e2], 2)
    return np.linalg.inv(s)[np.ix_(CYCLIC, CYCLIC)]


def run(straininc, stressold=None, state=None, props=PLY_B, totaltime=1.0, ndir=3, density=1.0, energy=(0.0, 0.0),
        nstatev=47, length=0.5, **extents):
    """One point; state 19 = 1, the rest 0, unless given."""
    straininc = np.array([straininc], float)
    n = straininc.shape[1]
    if state is None:
        state = np.zeros((1, nstatev))
        state[0, 18] = 1.0
    stressold = np.zeros((1, n)) if stressold is None else np.array([stressold], float)
    z, nshr = np.zeros(1), n - ndir
    out = T.vumat_bogenfeld(ndir, nshr, 0, 0.0, totaltime, 1e-6, "PLY", np.zeros((1, 3)), np.full((1, 3), length),
                            np.array(props, float), [density], straininc, np.zeros((1, nshr)), z,
                            np.zeros((1, n)), np.zeros((1, n + nshr)), np.zeros((1, 1)), stressold, state,
                            [energy[0]], [energy[1]], z, np.zeros((1, n)), np.zeros((1, n + nshr)), np.zeros((1, 1)),
                            **extents)
    return out[0][0], out[1][0], out[2][0], out[3][0], straininc[0]


@pytest.mark.parametrize("e11, states, s11", [
    (0.015, {0: 0.15199115426518423, 17: 1.0725656672857522, 1: 0, 19: 0}, 1819.0903469795662),
    (-0.012, {1: 0.1014758048993048, 15: 0.010973384304456265, 16: 0.06992578849721706, 45: 1716.1050676572036,
              19: 1.430087556381003, 0: 0, 17: 0}, -1541.961924624913)])
def test_fibre_modes_soften_one_sign_at_a_time(e11, states, s11):
    stress, state, internal, inelastic, _ = run([e11, 0, 0, 0, 0, 0])
    assert stress[0] == pytest.approx(s11, rel=1e-12)
    for k, v in states.items():
        assert state[k] == pytest.approx(v, rel=1e-12)
    assert state[20] == e11 and state[18] == 1.0
    # Both energies from the origin: the internal 0.5 s e, nothing stored beyond it.
    assert internal == pytest.approx(0.5 * s11 * e11, rel=1e-12) and inelastic == pytest.approx(0, abs=1e-12)


@pytest.mark.parametrize("length, used", [(0.5, 0.5), (1e-5, 1e-5), (0.0, 1e-3), (-2.0, 1e-3), (np.nan, 1e-3),
                                          (np.inf, 1e-3)])
def test_fibre_modes_regularise_by_a_positive_length_as_given_else_a_thousandth(length, used):
    # Final strains 2 G / (L S) of the onset stress S, at least 1.2 (tension) and 1.5 (compression) onsets.
    tension, compression = run([0.015, 0, 0, 0, 0, 0], length=length)[1], run([-0.012, 0, 0, 0, 0, 0], length=length)[1]
    assert tension[13] == pytest.approx(max(2 * 50 / (used * tension[44]), 1.2 * tension[12]), rel=1e-12)
    assert compression[16] == pytest.approx(max(2 * 30 / (used * compression[45]), 1.5 * compression[15]), rel=1e-12)
    assert np.isfinite(tension).all() and np.isfinite(compression).all() and compression[1] > 0


def test_matrix_onset_freezes_the_wiegand_plane():
    stress, state, *_ = run([0, 0.05, 0, 0, 0, 0])
    np.testing.assert_allclose(stress, [250.7296365, 573.0551413, 262.7103137, 0, 0, 0], rtol=1e-9)
    r, theta = _kestro.failure.mcrckwiegand(*stress[[1, 2, 3, 5, 4]], 500.0, 800.0, 500.0, -1.0, sainc=5.0, gsflag=1)
    assert state[9] == pytest.approx(r, rel=1e-12) and r == pytest.approx(1.22619572159, rel=1e-7)
    assert state[11] == pytest.approx(90 - theta, abs=1e-9) and abs(state[11]) == pytest.approx(28.931, abs=0.02)
    # The history is that of the plane's first use, undamaged so far.
    phi = np.radians(state[11])
    d, history = _kestro.damage.bogenfelddegradation(-np.ones(4), stress[[0, 1, 2, 4, 5, 3]],
                                                     [0, 0.05, 0, 0, 0, 0], [0.5], [phi, 0.2, 2, 0.8, 0.8], 3)
    np.testing.assert_allclose(state[[6, 7, 8, 10]], history, rtol=1e-12)
    assert state[2] == 0 and state[46] == 0


@pytest.mark.parametrize("old22, s11, s22, status", [(10.0, 24.56638691355906, 34.38330847842197, 1),
                                                     (-10.0, None, 91.68882260912524, -1)])
def test_cracked_matrix_degrades_in_the_crack_frame(old22, s11, s22, status):
    state = np.zeros((1, 47))
    state[0, [6, 7, 8, 9, 10, 18, 21]] = [30, 0.002, 0.01, 1.5, 0.002, 1, 0.008]
    stress, state, internal, inelastic, _ = run([0] * 6, [0, old22, 0, 0, 0, 0], state, density=2.0, energy=(3, 0))
    assert state[2] == pytest.approx(0.625, rel=1e-12) and state[46] == status
    assert stress[1] == pytest.approx(s22, rel=1e-12)
    assert s11 is None or stress[0] == pytest.approx(s11, rel=1e-12)
    assert internal == 3 and inelastic == pytest.approx(3 - 0.5 * s22 * 0.008 / 2, rel=1e-12)


def test_after_onset_the_plane_and_history_stay_and_no_traction_starts_the_damage():
    state = np.zeros((1, 47))
    state[0, [6, 7, 8, 9, 10, 11, 18]] = [-1, -1, -1, 1.5, -1, 20.0, 1]
    stress, new, *_ = run([0, 0.05, 0, 0.01, 0, 0], state=state)
    assert new[9] == 1.5 and new[11] == 20.0 and (new[[6, 7, 8, 10]] == -1).all() and new[2] == 0
    np.testing.assert_allclose(stress, stiffness(*NYE[:7], 4600, 3100) @ [0, 0.05, 0, 0.02, 0, 0], rtol=1e-12)


def full_list(nprops):
    return np.concatenate([PLY_B, np.zeros(max(0, nprops - 29))])[:nprops]


@pytest.mark.parametrize("props, totaltime, nstatev, message", [
    (full_list(29), 0.0, 47, ""),
    (full_list(31), 0.0, 10, ""),
    (NYE, 1.0, 47, ""),
    ([1.0], 1.0, 47, ""),
    (full_list(15), 1.0, 47, "Unsupported number of properties in vumat_bogenfeld."),
    (full_list(29), 1.0, 40, "Unsupported dimension in vumat_bogenfeld."),
    (list(stiffness(*NYE)[np.ix_(CYCLIC, CYCLIC)][np.tril_indices(6)]), 1.0, 47, "")])  # Nye, by rows
def test_elastic_paths_add_the_increment_and_keep_the_state(props, totaltime, nstatev, message):
    MD.peprops = np.zeros((9, 2, 3))
    MD.peprops[:, 1, 2] = NYE
    state = np.arange(1.0, nstatev + 1) / 4  # state 19 is 4.75; 21, 22 point at ply 2, section 3 of the table
    state[20:22] = [2.5, 3.9][:nstatev - 20]
    e = np.array([1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4])
    old = np.array([1.0, 2, 3, 4, 5, 6])
    c = stiffness(*NYE) if len(props) in (1, 9, 21) else stiffness(*full_list(9)[[0, 1, 2, 6, 7, 8, 3, 4, 5]])
    stress, new, internal, inelastic, _ = run(e, old, state[None], props, totaltime, energy=(1.0, 7.0))
    assert recorded() == ((-2, message) if message else (0, ""))
    np.testing.assert_allclose(stress - old, c @ (e * [1, 1, 1, 2, 2, 2]), rtol=1e-12)
    s19 = 4.75 if nstatev >= 19 else 1.0
    assert (new == state).all() and inelastic == 7.0
    assert internal == pytest.approx(1 + s19 * 0.5 * (stress + old) @ (e * [1, 1, 1, 2, 2, 2]), rel=1e-12)


@pytest.mark.parametrize("props, expected", [(NYE, [140.8147137006969, 2.7157123356562964, 0, 2.3]),
                                             (full_list(29), None)])
def test_shell_points_take_the_elastic_increment_and_write_their_thickness_strain(props, expected):
    stress, _, _, inelastic, straininc = run([1e-3, 0, 7, 2.5e-4], [1.0, 2, 0, 3], props=props, totaltime=0.0,
                                             energy=(0, 4))
    ds = stress - [1, 2, 0, 3]
    assert expected is None or np.allclose(ds, expected, rtol=1e-12)
    assert straininc[2] == pytest.approx(-(0.3 * 9000 / 140000 * ds[0] + 0.45 * ds[1]) / 9000, rel=1e-12)
    assert expected is None or straininc[2] == pytest.approx(-4.3753143185573673e-4, rel=1e-12)
    assert inelastic == 4.0


TABLE = "Error: Ply or section outside the elastic table in vumat_bogenfeld."
DIMENSION = "Unsupported dimension in vumat_bogenfeld."


@pytest.mark.parametrize("props, ndir, nshr, state2122, message, kept", [
    ([1.0], 3, 3, [1.0], TABLE, True),  # no state 22
    ([1.0], 3, 3, [3.0, 1.0], TABLE, True),
    ([1.0], 3, 3, [np.nan, 1.0], TABLE, True),
    (list(range(1, 22)), 3, 1, [0, 0], DIMENSION, True),
    (PLY_B, 3, 1, [0, 0], DIMENSION, False),
    ([], 3, 3, [0, 0], "Unsupported number of properties in vumat_bogenfeld.", True),
    (NYE[:1] + [-9000.0] + NYE[2:], 3, 3, [0, 0], "Invalid elastic constants in vumat_bogenfeld.", False),
    (NYE[:5] + [1.0] + NYE[6:], 3, 3, [0, 0], "Invalid elastic constants in vumat_bogenfeld.", False)])
def test_bad_layouts_and_positions_are_recorded(props, ndir, nshr, state2122, message, kept):
    MD.peprops = np.ones((9, 2, 1))
    state = np.zeros((1, 20 + len(state2122)))
    state[0, 20:] = state2122
    old = np.arange(1.0, ndir + nshr + 1)
    stress, new, *_ = run(np.full(ndir + nshr, 1e-3), old, state, props, ndir=ndir)
    assert recorded() == (-2, message) and (stress == old).all() == kept
    assert np.array_equal(new, state[0], equal_nan=True)


def test_arrays_shorter_than_their_counts_are_refused():
    for bad in ({"stressold": [0.0] * 5}, {"props": PLY_B[:20], "nprops": 29}, {"nblock": 2}):
        with pytest.raises(_kestro.error):
            run([0.0] * 6, **bad)
