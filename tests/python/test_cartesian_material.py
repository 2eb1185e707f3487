"""The explicit Cartesian ply-damage material (vumat_cartesian) on ply P.
Stiffnesses are numpy's inverse of the damaged compliance (1 / (r E) on the
diagonal), exposures the criteria of module failure or their closed forms,
and the worked values those of the model's own formulas by hand."""

import math

import numpy as np
import pytest
from scipy.integrate import quad

import _kestro
from conftest import recorded

T, F, MD = _kestro.toplevel, _kestro.failure, _kestro.materialdata
# Props 1-39: moduli, Poisson ratios, strengths, compression moduli, shear law, energies, switches.
P = [140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.45, 0.3, 2000, 50, 50, -1200, -200, -200, 80, 80, 60,
     120000, 10000, 10, 5000, 0, 0, 100, 10, 0.2, 1.0, 0.3, 0, 0, 0, 1, 2, 0, 0, 1, 0, 0]
LENGTHS = (0.5, 0.5, 0.25)


def ply(changes=()):
    changes = dict(changes)
    props = np.array(P + [0] * (max(changes, default=0) - len(P)), float)  # past 39: the shears' energies
    for entry, value in changes.items():
        props[entry - 1] = value
    return props


def states(points=1, **entries):
    """Fresh state variables (element status 1), entries s<n> set."""
    state = np.zeros((points, 82))
    state[:, 18] = 1.0
    for name, value in entries.items():
        state[:, int(name[1:]) - 1] = value
    return state


def run(props, strain, state=None, stressold=None, totaltime=1.0, dt=1.0, nstatev=82, ndir=3, nshr=3,
        lengths=LENGTHS, energy=0.25):
    strain = np.atleast_2d(np.array(strain, float))
    n, ncomp = strain.shape
    state = states(n) if state is None else np.atleast_2d(state)
    stressold = np.zeros((n, ncomp)) if stressold is None else np.atleast_2d(np.array(stressold, float))
    z, ones, defgrad = np.zeros((n, ncomp)), np.ones(n), np.zeros((n, ndir + 2 * nshr))
    return T.vumat_cartesian(ndir, nshr, 0, 0.0, totaltime, dt, "CART", np.zeros((n, 3)), np.tile(lengths, (n, 1)),
                             np.array(props, float), 1.5 * ones, strain, np.zeros((n, nshr)), ones, z,
                             defgrad, np.zeros((n, 0)), stressold, state[:, :nstatev], energy * ones,
                             0.5 * ones, ones, z, defgrad, np.zeros((n, 0)))


def stiffness(e1=140000, e2=10000, retained=(1,) * 6, props=P):
    """The cyclic stiffness for tensor shears, moduli times their retained fractions inside the compliance."""
    _, _, e3, g12, g13, g23, n12, n23, n13 = props[:9]
    r = retained
    s = np.diag([1 / (r[0] * e1), 1 / (r[1] * e2), 1 / (r[2] * e3), 1 / (2 * r[3] * g12), 1 / (2 * r[4] * g23),
                 1 / (2 * r[5] * g13)])
    s[[0, 1, 0, 2, 1, 2], [1, 0, 2, 0, 2, 1]] = np.repeat([-n12 / e1, -n13 / e1, -n23 / e2], 2)
    return np.linalg.inv(s)


def test_packaged_start_is_elastic_with_mean_moduli_and_clears_the_histories():
    old = np.full((1, 82), 0.5)
    old[0, 18] = 1.0
    stress, state, internal, inelastic = run(P, [1e-3, 0, 0, 0, 0, 0], state=old, totaltime=0.0)
    np.testing.assert_allclose(stress[0], [133.0313677804071, 5.147247296305258, 4.957311971718348, 0, 0, 0],
                               rtol=1e-13)
    np.testing.assert_allclose(stress[0], stiffness(130000, 9500)[:, 0] * 1e-3, rtol=1e-12)
    assert internal[0] == pytest.approx(0.25 + 0.04434378926013569, rel=1e-13)
    assert inelastic[0] == pytest.approx(0.25, abs=1e-15)
    assert not state[0, :18].any() and not state[0, 26:38].any()
    np.testing.assert_array_equal(state[0, [18, 20, 38]], [1.0, 1e-3, 1e-3])
    assert (state[0, [19] + list(range(44, 82))] == 0.5).all()


# Props changed, state entries set, the increments one call each, then the results expected: stress
# components (0-based, cyclic) and state variables (1-based).
INCREMENTS = [
    ({}, {"s72": 0.5, "s80": 0.5}, [[0.016, 0, 0, 0, 0, 0]],
     {"s10": 0.030518389283704067, "s45": 0.015553046734511713, "s54": 0.18370309727180004, "s72": 0.5, "s80": 0.5,
      "stress": [2288.759973582279, 84.26539100012495, 78.2678542741374, 0, 0, 0]}),
    ({23: 1, 34: 0, 21: 20, 22: 4000}, {}, [[0, 0, 0, 0, 0, 0.02]],
     {5: 71.89263425875545, "s38": 71.89263425875545, "s32": 0.01101342071765557}),
    ({23: 1, 34: 0, 21: 20, 22: 4000}, {}, [[0, 0, 0, 0, 0, 0.02], [0, 0, 0, 0, 0, -0.01]],
     {5: -8.107365741244557}),
    # Exponential law on 23: switch 1 scales G23 by g_ini / G12, switch 11 by g_ini / G23.
    ({23: 1, 34: 0, 21: 20, 22: 4000}, {}, [[0, 0, 0, 0, 0.02, 0]], {4: 71.89263425875545 * 3100 / 4600}),
    ({23: 11, 34: 0, 21: 20, 22: 4000}, {}, [[0, 0, 0, 0, 0.02, 0]], {4: 71.89263425875545}),
    # Bilinear law (factor 1/2: C = 4600): trial 2 G e = 92 held at C e = 46; moduli scaled alone (6).
    ({23: 2, 22: 2300, 34: 0}, {}, [[0, 0, 0, 0.01, 0, 0]], {3: 46.0, "s36": 92.0, "s30": 0.0}),
    ({23: 6, 22: 2300, 34: 0}, {}, [[0, 0, 0, 0, 0.01, 0]], {4: 31.0}),
    # The fibre plateau at -0.25 |Xc|.
    ({34: 1, 36: 1, 38: 1}, {}, [[-0.0101, 0, 0, 0, 0, 0], [-0.0249, 0, 0, 0, 0, 0]], {0: -293.05089906772474}),
    ({38: 1}, {}, [[0, 0, 0.03, 0, 0, 0]], {"s14": 1.0, "s5": 0.0, "s8": 0.999, "s9": 0.99}),
    # Shear friction once shear 12 is at its limit (C = 2 g_ini = 10000, factor 0.01, e0 = 80 / 9200):
    # the side taken from the strain, inelastic 0.9 e; a stored negative side under a positive strain.
    ({35: 4, 23: 2, 22: 5000, 38: 1}, {"s16": 1, "s7": 0.99, "s51": 1e-3, "s60": 2e-3}, [[0, 0, 0, 0.02, 0, 0]],
     {3: 0.2, "s33": 1.0, "s30": 0.018}),
    ({35: 4, 23: 2, 22: 5000, 38: 1}, {"s16": 1, "s7": 0.99, "s51": 1e-3, "s60": 2e-3}, [[0, 0, 0, -0.02, 0, 0]],
     {3: -0.2, "s33": -1.0, "s30": -0.018}),
    ({35: 4, 23: 2, 22: 5000, 38: 1}, {"s16": 1, "s7": 0.99, "s51": 1e-3, "s60": 2e-3, "s33": -1},
     [[0, 0, 0, 0.02, 0, 0]], {3: 10000 * 80 / 9200, "s33": -1.0, "s30": 0.0}),
    # Residual strains of failed fibres (0.9 e) and matrix (0.8 e).
    ({35: 1, 38: 1}, {"s10": 1, "s45": 1e-3, "s54": 2e-3}, [[0.02, 0, 0, 0, 0, 0]],
     {"s27": 0.018, 0: stiffness(retained=(0.001, 1, 1, 1, 1, 1))[0, 0] * 0.002}),
    ({35: 1, 38: 1}, {"s10": 1, "s45": 1e-3, "s54": 2e-3, "s21": 0.02, "s27": 0.018}, [[-0.03, 0, 0, 0, 0, 0]],
     {"s27": 0.018, 0: stiffness(120000, retained=(0.8, 1, 1, 1, 1, 1))[0, 0] * -0.005}),
    ({35: 1, 38: 1}, {"s12": 1, "s47": 1e-3, "s56": 2e-3}, [[0, 0.01, 0, 0, 0, 0]], {"s28": 0.008}),
    # Stiffness damages of modes 1 (0.3) and 3 (0.4) on shear 12: summed, or the larger.
    ({38: 1}, {"s10": 0.3, "s12": 0.4, "s45": 1, "s54": 2, "s47": 1, "s56": 2}, [[0] * 6],
     {"s7": 0.7, "s8": 0.4, "s9": 0.3}),
    ({38: 1, 37: 0}, {"s10": 0.3, "s12": 0.4, "s45": 1, "s54": 2, "s47": 1, "s56": 2}, [[0] * 6],
     {"s7": 0.4, "s8": 0.4, "s9": 0.3}),
    # Mode damages 1 or more stored as 1, below 0 as 0.
    ({38: 1}, {"s10": 1.7, "s12": -0.3, "s45": 1e-3, "s54": 2e-3}, [[1e-4, 0, 0, 0, 0, 0]],
     {"s10": 1.0, "s12": 0.0}),
    # Without entry 38 the stress stays that of the undamaged stiffness, the stiffness damages 0.
    ({}, {"s1": 0.5, "s3": 0.5, "s10": 1, "s12": 1, "s45": 1e-3, "s54": 2e-3, "s47": 1e-3, "s56": 2e-3},
     [[1e-3, 2e-3, 0, 1e-3, 0, 0]], {"s1": 0.0, "s3": 0.0, "s10": 1.0,
                                     "stress": stiffness(e2=9000) @ [1e-3, 2e-3, 0, 1e-3, 0, 0]}),
    # Deletion when both fibre damages reach 90 % of their limits; never by matrix compression.
    ({38: 1}, {"s10": 1, "s11": 1, "s45": 1e-3, "s54": 2e-3, "s46": 1e-3, "s55": 2e-3}, [[1e-4, 0, 0, 0, 0, 0]],
     {"s19": 0.0}),
    ({38: 1}, {"s13": 1, "s15": 1, "s48": 1e-3, "s57": 2e-3, "s50": 1e-3, "s59": 2e-3}, [[0, -1e-4, 0, 0, 0, 0]],
     {"s19": 1.0, "s4": 0.9, "s6": 0.7}),
    # A failed mode (stored exposure 1.2) without input softens from its stored strains where e1 > e0.
    ({34: 3}, {"s72": 1.2, "s45": 1e-3, "s54": 1e-2}, [[-1e-4, 0, 0, 0.003, 0, 0.004]],
     {"s10": 0.01 / 0.009 * (1 - 1e-3 / 0.005)}),
    ({34: 3}, {"s72": 1.2, "s45": 1e-3, "s54": 1e-3}, [[-1e-4, 0, 0, 0.003, 0, 0.004]], {"s10": 0.0}),
]


@pytest.mark.parametrize("changes, entries, increments, expected", INCREMENTS)
def test_increments(changes, entries, increments, expected):
    state, stress = states(**entries), None
    for strain in increments:
        stress, state = run(ply(changes), [strain], state=state, stressold=stress)[:2]
    for key, value in expected.items():
        got = stress[0] if key == "stress" else stress[0, key] if isinstance(key, int) else state[0, int(key[1:]) - 1]
        np.testing.assert_allclose(got, value, rtol=1e-11, atol=1e-15, err_msg=str(key))


def test_strain_sign_chooses_moduli_and_fibre_damage():
    stress = run(ply({38: 1}), [[1e-3, 0, 0, 0, 0, 0], [-1e-3, 0, 0, 0, 0, 0]],
                 state=states(2, s10=1, s45=1e-3, s54=2e-3))[0]
    np.testing.assert_allclose(stress[0], stiffness(retained=(0.001, 1, 1, 1, 1, 1))[:, 0] * 1e-3, rtol=1e-11)
    np.testing.assert_allclose(stress[1], stiffness(120000)[:, 0] * -1e-3, rtol=1e-12)


def test_plateau_of_all_axes_keeps_a_compressed_point_compressed():
    # Set 1, fibre compression past onset (e0 0.005, e1 0.05) and past its plateau damage dlim.
    e0, e1, strain = 0.005, 0.05, -0.04
    c11 = stiffness(120000)[0, 0]
    h = e0 * e1 * c11 / (300 * (e1 - e0))
    dlim = (e1 / (e1 - e0) - h) / (1 - h)
    state = run(ply({34: 1, 36: 2, 38: 1}), [[strain, 0, 0, 0, 0, 0]], state=states(s11=0.95, s46=e0, s55=e1))[1]
    assert state[0, 10] == pytest.approx(e1 / (e1 - e0) * (1 - e0 / -strain), rel=1e-12) and state[0, 10] > dlim
    assert strain - state[0, 26] == pytest.approx(-300 / (c11 * (1 - dlim)), rel=1e-10)


def test_element_status_zero_adds_no_energy():
    _, state, internal, inelastic = run(P, [[1e-3, 1e-3, 0, 1e-3, 0, 0]], state=states(s19=0))
    assert state[0, 18] == 0 and internal[0] == 0.25 and inelastic[0] == 0.25


def test_rate_terms():
    # dt 0.5: r = 2 e; dt 1e-7: r 1000, q = 500^2, p = |q| r; dt 1e-9: q capped at 5000^2.
    strain = np.array([1e-4, 0, 0, 0, 0, 0])
    for coefficients, dt, extra in [((1e-3, 0, 0), 0.5, 1e-3 * 2e-4), ((0, 1e-9, 0), 1e-7, 1e-9 * 500.0 ** 2),
                                    ((0, 0, 1e-13), 1e-7, 1e-13 * 500.0 ** 2 * 1000),
                                    ((0, 1e-9, 0), 1e-9, 1e-9 * 5000.0 ** 2)]:
        changes = {30: coefficients[0], 31: coefficients[1], 32: coefficients[2], 34: 0}
        stress = run(ply(changes), [strain], dt=dt)[0]
        np.testing.assert_allclose(stress[0], stiffness()[:, 0] * (1e-4 + extra), rtol=1e-12)


def exposures(set_, strain, kind=2):
    """Exposure states 72-80 and angles 81, 82 after one increment from states of 0.25."""
    state = run(ply({33: kind, 34: set_}), [strain], state=states(**{f"s{n}": 0.25 for n in range(72, 83)}))[1]
    return state[0, 71:82]


def test_criterion_sets():
    x = {"xt11": 2000, "xc11": 1200, "xt22": 50, "xc22": 200, "x12": 80, "x23": 60}
    in_situ = np.array([2000, 50, 50, 1200, 200, 200, 80, 80, 60], float)
    for strain in ([6e-3, 6e-3, 5e-4, 1e-3, 4e-4, 6e-4], [-6e-3, -4e-2, -5e-4, -1e-3, -4e-4, -6e-4]):
        e1 = 140000 if strain[0] > 0 else 120000
        y = stiffness(e1, 9000 if strain[1] > 0 else 10000) @ strain
        tension = y[:3] > 0
        effort = np.array([y[0] * tension[0], y[0] * ~tension[0], y[1] * tension[1], y[1] * ~tension[1],
                           y[2] * tension[2], y[2] * ~tension[2], *y[3:]])
        allowable = np.array([2000, 1200, 50, 200, 50, 200, 80, 60, 80])
        partners = [(6, 8), (6, 8), (7, 6), (7, 6), (8, 7), (8, 7)]
        weight = [0, 0.25, 1, 0, 1, 0]
        quadratic = [math.sqrt(sum(w * (effort[j] / allowable[j]) ** 2 for j, w in ((m, 1), (p, weight[m]),
                                                                                    (q, weight[m]))))
                     for m, (p, q) in enumerate(partners)]
        plane = (y[1], y[2], y[3], y[5], y[4])
        fibre = lambda s11: F.fblarc05_is(s11, *plane[:2], y[3], y[5], y[4], x["xt11"], x["xc11"], x["xt22"],
                                          70.0, 70.0, 4600.0, in_situ, 53.0, 4.0, 1)
        r = abs(effort[1] / 1200)
        kink = max(r, fibre(effort[1])) if r >= 0.5 else r
        larc05 = F.mcrcklarc05(*plane, x["xt22"], x["xc22"], x["x12"], 53.0, -1.0, 4.0, 1)
        camanho = F.mcrckcamanho(effort[2], *plane[1:], x["xt22"], x["xc22"], x["x12"], x["x23"], -1.0, 53.0,
                                 4.0, 1)
        puck = [F.mcrckpuck(effort[m], *plane[1:], x["xt22"], x["xc22"], x["x12"], -1.0, None, 4.0, 1)
                for m in (2, 3)]
        angle = lambda e: e[1] if e[0] >= 1 else 0.25
        at = lambda m, value: value if effort[m] != 0 else 0.25  # modes without input are not evaluated
        kept = [0.25] * 11
        expected = {
            1: quadratic[:6] + kept[:5],
            2: kept,
            3: [at(0, effort[0] / 2000), at(1, kink), at(2, larc05[0])] + kept[:6] + [angle(larc05) if effort[2]
                                                                                      else 0.25, 0.25],
            4: [at(0, effort[0] / 2000), at(1, kink), at(2, camanho[0])] + kept[:6] + [angle(camanho) if effort[2]
                                                                                       else 0.25, 0.25],
            5: [quadratic[0], kink] + quadratic[2:6] + kept[:5],
            6: [at(0, effort[0] / 2000), at(1, kink), at(2, puck[0][0]), at(3, puck[1][0])] + kept[:5]
               + [angle(puck[0]) if effort[2] else 0.25, angle(puck[1]) if effort[3] else 0.25],
            0: kept, 7: kept,
        }
        for set_, values in expected.items():
            got, message = exposures(set_, strain), f"set {set_} {strain}"
            np.testing.assert_allclose(got[:9], values[:9], rtol=1e-9, err_msg=message)
            np.testing.assert_allclose(got[9:], values[9:], atol=1e-6, err_msg=message)  # angles, degrees


def test_onset_of_transverse_tension_in_set_1():
    # sigma22 alone exceeds Xt22 = 50: fail = s / 50, e0 = e / fail^0.25, S = e s / e0,
    # G = s^2 gc / S^2, e1 = max(2 G / (S L), 1.1 e0), bilinear damage at e.
    e = 6e-3
    s = (stiffness(120000, 9000) @ [0, e, 0, 0, 0, 0])[1]
    fail = s / 50
    e0 = e / fail ** 0.25
    big_s = e * s / e0
    e1 = max(2 * s * s * 0.2 / big_s ** 2 / (big_s * 0.5), 1.1 * e0)
    state = run(ply({33: 2, 34: 1}), [[0, e, 0, 0, 0, 0]])[1]
    np.testing.assert_allclose(state[0, [73, 46, 55, 64, 11]],
                               [fail, e0, e1, big_s, e1 / (e1 - e0) * (1 - e0 / e)], rtol=1e-12)


def test_layouts_and_property_counts_it_does_not_serve():
    old_state, old_stress = states(s21=3, s22=1) + 0.5, np.arange(6.0).reshape(1, 6)
    MD.peprops = np.ones((9, 2, 1))  # two plies: ply 3 is none
    for kwargs, message in [({"nstatev": 40}, "Unsupported dimension in vumat_cartesian."),
                            ({"nshr": 1}, "Unsupported dimension in vumat_cartesian."),
                            ({"props": P[:15]}, "Unsupported number of properties in vumat_cartesian."),
                            ({"props": [1.0]}, "Error: Ply or section outside the elastic table in vumat_cartesian."),
                            ({"props": P[:4]}, "Unsupported number of elastic constants in GetNyeProperties")]:
        _kestro.errorhandling.rsxerr(1)
        ncomp = 4 if kwargs.get("nshr") == 1 else 6
        kwargs.setdefault("props", P)
        stress, state, internal, inelastic = run(strain=np.full((1, ncomp), 1e-3), state=old_state,
                                                 stressold=old_stress[:, :ncomp], **kwargs)
        assert recorded() == (-2, message)
        np.testing.assert_array_equal(stress, old_stress[:, :ncomp])
        np.testing.assert_array_equal(state, old_state[:, :state.shape[1]])
        assert (internal[0], inelastic[0]) == (0.25, 0.5)


def test_elastic_increment_without_the_model_properties():
    nye = [140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100]
    c = stiffness(140000, 9000, props=[0, 0, 9000, 4600, 4000, 3100, 0.3, 0.45, 0.3])
    # The same stiffness as 21 values: the lower triangle of its Nye form (engineering shears) row by row.
    nye_c = c[np.ix_([0, 1, 2, 3, 5, 4], [0, 1, 2, 3, 5, 4])] * np.array([1, 1, 1, 0.5, 0.5, 0.5])
    packed = [nye_c[i, j] for i in range(6) for j in range(i + 1)]
    MD.peprops = np.array(nye, float).reshape(9, 1, 1)
    strain, old = np.array([[1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4]]), np.full((1, 6), 2.0)
    for props, state in [(nye, None), (packed, None), ([1.0], states(s21=1, s22=1))]:
        stress, new_state, internal, inelastic = run(props, strain, state=state, stressold=old)
        np.testing.assert_allclose(stress[0], old[0] + c @ strain[0], rtol=1e-12)
        work = (stress[0] + old[0]) @ (strain[0] * [1, 1, 1, 2, 2, 2]) / 2
        assert (internal[0], inelastic[0]) == (pytest.approx(0.25 + work / 1.5, rel=1e-12), 0.5)


def test_python_refuses_arrays_short_of_their_counts():
    with pytest.raises(_kestro.error):
        run(P, [[1e-3] * 6], lengths=(0.5, 0.5))
    with pytest.raises(_kestro.error):
        T.vumat_cartesian(3, 3, 0, 0.0, 1.0, 1.0, "CART", np.zeros((1, 3)), np.ones((1, 3)), ply(), [1.5],
                          np.zeros((1, 6)), np.zeros((1, 3)), [1.0], np.zeros((1, 6)), np.zeros((1, 9)),
                          np.zeros((1, 0)), np.zeros((1, 6)), states(), [0.0], [0.0], [1.0], np.zeros((1, 6)),
                          np.zeros((1, 9)), np.zeros((1, 0)), nprops=40)



# Mode m alone in uniaxial stress along its cyclic component (index, sign): modulus, strength, fracture energy
# (25-29, 40-42), stiffness-damage limit and length.
AXIS = [(0, 1), (0, -1), (1, 1), (1, -1), (2, 1), (2, -1), (3, 1), (4, 1), (5, 1)]
MODULI, X = [140000, 120000, 9000, 10000, 9000, 9000, 9200, 6200, 9200], [2000, 1200, 50, 200, 50, 200, 80, 60, 80]
GC, WMAX = [100, 10, 0.2, 3, 2, 2, 0.8, 0.7, 1.0], np.array([0.999, 0.99, 0.9999, 0.9, 0, 0.7, 0.99, 0.999, 0.99])
LENGTH = [1, 1, 1, 1, 0.5, 0.5, 1, 0.5, 1]


@pytest.mark.parametrize("kind, set_, n", [(2, 1, 6), (2, 2, 9), (2, 3, 3), (2, 4, 3), (2, 5, 6), (2, 6, 4), (1, 1, 6),
                                           (1, 2, 9)])
def test_each_mode_alone_dissipates_its_fracture_energy_per_length(kind, set_, n):
    # Points 1 to n, mode k at point k, past its final strain: of the softening triangle, gc / L, the share
    # w / (1 + (1 - w) (e1 / e0 - 1)) is dissipated before the damage stops at its limit w; for w >= 0.99 gc / L.
    props = ply({33: kind, 34: set_, 37: 1, 38: 1, 25: 100, 26: 10, 27: 0.2, 28: 3, 29: 2, 40: 0.8, 41: 0.7, 42: 1})
    x0, e1 = np.divide(X, MODULI)[:n], [(2 if m < 6 else 1) * GC[m] / (X[m] * LENGTH[m]) for m in range(n)]
    path = [np.r_[np.linspace(0.95, 1.05, 41) * a, np.linspace(1.05 * a, 1.6 * max(b, 1.1 * a), 121)[1:]]
            for a, b in zip(x0, e1)]
    state, stress, internal, done = states(n), np.zeros((n, 6)), np.zeros(n), np.zeros(n)
    column, sign = np.transpose(AXIS[:n])
    for step in np.transpose(path):
        inc = np.zeros((n, 6))
        inc[range(n), column] = sign * (step - done)
        for _ in range(8):  # the lateral increments that hold the other direct stresses at 0
            out = run(props, inc, state=state, stressold=stress, lengths=(1, 1, 0.5), energy=internal)
            for m in range(min(n, 6)):
                side = [j for j in range(3) if j != column[m]]
                inc[m, side] -= np.linalg.solve(stiffness()[np.ix_(side, side)], out[0][m, side])
        (stress, state, internal, inelastic), done = out, step
    w, energy = WMAX[:n], np.divide(GC, LENGTH)[:n]
    share = w / (1 + (1 - w) * (np.diagonal(state[:, 53:]) / np.diagonal(state[:, 44:]) - 1))
    np.testing.assert_allclose(1.5 * inelastic, share * energy, rtol=0.03, atol=1e-4)
    np.testing.assert_allclose(1.5 * inelastic[w >= 0.99], energy[w >= 0.99], rtol=0.03)
    assert recorded() == (0, "")


@pytest.mark.parametrize("set_", range(1, 7))
def test_a_held_axis_softens_under_its_poisson_stress(set_):
    # Fibre loading with e22 = e33 = 0: sigma22 = C21 e11 passes Xt22 = 50 before the fibres fail; transverse
    # tension takes its strain from the undamaged stress, softens, and no state grows without bound.
    stress, state, s22 = np.zeros((1, 6)), states(), []
    for _ in range(40):
        stress, state = run(ply({33: 2, 34: set_, 38: 1}), [[0.013 / 40, 0, 0, 0, 0, 0]], state=state,
                            stressold=stress)[:2]
        s22.append(stress[0, 1])
    assert max(s22) > 50 > s22[-1] and state[0, 11] > 0 and np.isfinite(state).all()


def bilinear(e, e0, e1):
    return e1 / (e1 - e0) * (1 - e0 / e)


# Criterion set, e22 = e33 held from the first increment, e22 / e11, whether sigma33 is held at 0 (a free ply).
TRANSVERSE = [(2, h, 0, 0) for h in (0.0, 1e-12, -1e-12, 1e-9, -1e-9, 1e-6, -1e-6, 1e-4, -1e-4, -5e-4)] + [
    (2, 0, 1.0, 1), (2, 0, 0.2, 1), (2, 0, 0.01, 1), (1, 0, 0.2, 1), (1, 0, 0.01, 1)]


@pytest.mark.parametrize("set_, held, ratio, free", TRANSVERSE)
def test_transverse_stress_of_fibre_loading_softens_at_its_strength(set_, held, ratio, free):
    # e11 to 0.8 Xt11 / E11, Xt22 = 25: sigma22 comes mostly from e11 (Poisson), whatever the small transverse
    # strain and its sign.  At the end, with u = C e of the moduli of the strain's signs: mode 3's damage is
    # bilinear in q = u22 / C22, and as axis 2's compliance is 1 / (r E22), u = sigma + C[:, 2] (1 / r - 1)
    # sigma22 / E22, so sigma22 = u22 / (1 + C22 (1 / r - 1) / E22) with r = 1 - d.
    props, n = ply({33: 2, 34: set_, 38: 1, 11: 25}), 100
    stress, state, s22 = np.zeros((1, 6)), states(), []
    for k in range(n):
        strain = np.array([[1.0, ratio, 0, 0, 0, 0]]) * 0.8 * 2000 / 140000 / n
        strain[0, 1:3] += held * (k == 0)
        for _ in range(6 if free else 1):
            out = run(props, strain, state=state, stressold=stress)
            strain[0, 2] -= free * out[0][0, 2] / stiffness()[2, 2]
        stress, state = out[:2]
        s22.append(stress[0, 1])
    assert 25 <= max(s22) <= 1.05 * 25 and s22[-1] < 0.92 * 25
    total, e0, e1 = state[0, 20:26], state[0, 46], state[0, 55]
    e22 = 9000 if total[1] > 0 else 10000
    c = stiffness(140000, e22)
    u22 = (c @ total)[1]
    if set_ == 2:  # the nominal final strain 2 gc / (X L) of gc 0.2 and L 0.5, the onset strain X / E22t
        assert e1 == pytest.approx(max(2 * 0.2 / (25 * 0.5) * (25 / 9000) / e0, 1.1 * e0), rel=1e-12)
    d = bilinear(u22 / c[1, 1], e0, e1)
    assert state[0, 11] == pytest.approx(d, rel=1e-9) and 0.2 < d < 0.9999 and state[0, 9] == 0
    assert stress[0, 1] == pytest.approx(u22 / (1 + c[1, 1] * (1 / (1 - d) - 1) / e22), rel=1e-9)


@pytest.mark.parametrize("kind, set_", [(2, 1), (2, 2), (1, 2)])
def test_each_normal_mode_alone_under_uniaxial_strain_dissipates_what_its_law_gives(kind, set_):
    # Mode m strained alone along its axis i (its strain its control strain), the other strengths out of reach
    # of the Poisson stresses.  The damage w of axis i enters its compliance as 1 / ((1 - w) E): sigma = e /
    # (w / ((1 - w) E) + 1 / C_ii), w = min(bilinear(e), wmax) past the stored onset.  Dissipated up to the
    # last strain: the quadrature of sigma less sigma e / 2.
    for m in range(6):
        i, sign = AXIS[m]
        changes = {33: kind, 34: set_, 37: 1, 38: 1, 25: 100, 26: 10, 27: 0.2, 28: 3, 29: 2}
        changes.update({entry: 1e9 for entry in range(10, 19)} | {(10, 13, 11, 14, 12, 15)[m]: X[m] * sign})
        c, modulus = stiffness(140000 if m == 0 else 120000, 9000 if m == 2 else 10000), MODULI[m]
        onset = X[m] / (c[i, i] if kind == 2 else modulus)
        final = 2 * GC[m] / (X[m] * LENGTH[m]) * (c[i, i] / modulus if set_ == 2 else 1)
        path = np.r_[np.linspace(0.95, 1.05, 41) * onset, np.linspace(1.05, 1.6 * max(final / onset, 1.1), 121)[1:]
                     * onset]
        state, stress, internal = states(), np.zeros((1, 6)), np.zeros(1)
        for step in np.diff(path, prepend=0.0):
            inc = np.zeros((1, 6))
            inc[0, i] = sign * step
            stress, state, internal, inelastic = run(ply(changes), inc, state=state, stressold=stress,
                                                     lengths=(1, 1, 0.5), energy=internal)
        e0, e1, w = state[0, 44 + m], state[0, 53 + m], WMAX[m]

        def law(e):
            damage = min(bilinear(e, e0, e1), w) if e > e0 else 0.0
            return e / (damage / ((1 - damage) * modulus) + 1 / c[i, i])

        work = quad(law, 0, path[-1], points=[e0, e0 / (1 - w * (e1 - e0) / e1)], limit=200)[0]  # to wmax
        assert state[0, 9 + m] > 0 and not np.delete(state[0, 9:18], m).any()
        assert 1.5 * inelastic[0] == pytest.approx(work - law(path[-1]) * path[-1] / 2, rel=0.01, abs=1e-6), m
        assert recorded() == (0, "")


@pytest.mark.parametrize("lengths, dt, same", [((0, 0, 0), 1.0, (1e-3,) * 3), ((np.nan, -1, np.inf), 1.0, (1e-3,) * 3),
                                               (LENGTHS, 0.0, LENGTHS)])
def test_lengths_that_are_no_lengths_and_a_zero_step(lengths, dt, same):
    # Lengths not positive or not finite regularise as 0.001; over no time the rate terms are 0, as with dt 1.
    strain = np.array([[1, 0, 0, 0, 0, 0], [1, -0.3, -0.3, 0, 0, 0], [1, 0, 0, 0.1, 0, 0.1]]) * 3e-3
    results = []
    for lengths_, dt_ in [(lengths, dt), (same, 1.0)]:
        stress, state = np.zeros((3, 6)), states(3)
        for _ in range(30):  # to six times the onset strain of fibre tension
            stress, state = run(ply({38: 1}), strain, state=state, stressold=stress, lengths=lengths_, dt=dt_)[:2]
        results.append(np.c_[stress, state])
    np.testing.assert_array_equal(*results)
    assert (results[0][:, 15] > 0.1).all() and np.isfinite(results[0]).all()  # fibre-tension damage


@pytest.mark.parametrize("changes", [{20: -10000}, {8: 1.0}, {23: 2, 22: -50}])  # E22c, nu23 past 1, g_ini
def test_constants_without_a_positive_definite_stiffness_are_recorded(changes):
    assert run(ply(changes), np.full((3, 6), 1e-4))[0].any()
    assert recorded() == (-2, "Invalid elastic constants in vumat_cartesian.")
