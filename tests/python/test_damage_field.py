"""The damage field hooks from Python: what they return and the arguments they refuse."""

import numpy as np
import pytest

import _kestro

T = _kestro.toplevel
EYE = np.eye(3)
# field, statev, tdirect, t, celent, time, dtime, cmname, noel, npt, layer, kspt, kstep, kinc, coord
POINT = (np.zeros(5), np.zeros(40), EYE, EYE, 0.5, [0.0, 0.0], 0.1, "PLY", 1, 1, 1, 1, 2, 1, [0.0, 0.0, 0.0])


def test_implicit_hooks_return_field_and_state():
    table = np.zeros(16)
    table[1:7] = [1, 2, 3, 4, 5, 6]
    field, statev = T.gen_damage(*POINT, table=table)
    assert list(statev[:6]) == [1, 2, 3, 6, 5, 4] and statev[34] == 0.0  # table entry 14
    assert statev[21] == 1 and field.shape == (5,)
    field, statev = T.usdfld_dmg(np.zeros(5), np.zeros(40), 1.0, EYE, EYE, 0.5, [0.0, 0.0], 0.1, "PLY", " ", 1, 1, 1,
                                 1, 2, 1, 3, 3, [0.0, 0.0, 0.0], [0], [0], 0, 0)
    assert statev[34] == 0.5 and statev[21] == 1


def test_explicit_hook_returns_new_state_and_field():
    stress = np.array([[1.0, 2, 3, 4, 5, 6]])
    statenew, field = T.vusdfld_dmg(3, 3, [1], 1, 1, 1, 2, [0.0], 1.0, 1.0, 0.1, "PLY", np.zeros((1, 3)),
                                    np.ones((1, 3, 3)), np.ones((1, 3, 3)), np.ones((1, 3)), [0.0], np.zeros((1, 40)),
                                    stress, np.zeros((1, 6)), np.zeros((1, 5)))
    assert list(statenew[0, :6]) == [1, 2, 3, 4, 6, 5] and field.shape == (1, 5)
    assert list(T.gen_sdvini([0.0, 0.0], [0.0], 1, 1, 1, 1)) == [0.0, 1.7976931348623157e308]


@pytest.mark.parametrize("position, value, extra", [
    (0, np.zeros(5), {"nfield": 6}), (1, np.zeros(40), {"nstatv": 41}), (2, np.eye(2), {}),
    (3, np.ones((3, 2)), {}), (14, [0.0, 0.0], {}), (0, np.zeros(5), {"table": np.zeros(15)})])
def test_refused_arguments(position, value, extra):
    point = list(POINT)
    point[position] = value
    with pytest.raises(_kestro.error):
        T.gen_damage(*point, **extra)
