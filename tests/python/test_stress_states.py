"""Stress-state conversions: element vectors to 3-D Nye states and back, the
plane-stress condensation against the classical reduced stiffness, the
axisymmetric permutation against the base change, and the refusals."""

import numpy as np
import pytest

import _kestro
from conftest import recorded

e = _kestro.elementhandling
PLY = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]


def stiffness(props=PLY):
    e1, e2, e3, n12, n13, n23, g12, g13, g23 = props
    s = np.zeros((6, 6))
    s[:3, :3] = [[1 / e1, -n12 / e1, -n13 / e1], [-n12 / e1, 1 / e2, -n23 / e2], [-n13 / e1, -n23 / e2, 1 / e3]]
    s[3, 3], s[4, 4], s[5, 5] = 1 / g12, 1 / g13, 1 / g23
    return np.linalg.inv(s)


def test_element_vectors_to_3d():
    v = np.array([1.0, 2.0, 3.0, 4.0])
    strain = np.array([0.1, 0.2, 0.3, 0.4])
    np.testing.assert_array_equal(e.get3dinputfromelem(v, strain, strain)[0], [1, 2, 3, 4, 0, 0])
    s3, e3, d3 = e.get3dinputfromelem(v, strain, strain * 2, isaxial=1)
    np.testing.assert_array_equal(s3, [1, 3, 2, 0, 4, 0])
    np.testing.assert_array_equal(e3, [0.1, 0.3, 0.2, 0, 0.4, 0])
    np.testing.assert_array_equal(d3, [0.2, 0.6, 0.4, 0, 0.8, 0])
    t = np.arange(11.0, 17.0)
    s3, e3, d3 = e.get3dinputfromelem([1, 2, 3], [0.1, 0.2, 0.3], [5, 6, 7], transverse=t, itnsflag=1, itshrflag=1)
    np.testing.assert_array_equal(s3, [1, 2, 16, 3, 14, 15])
    np.testing.assert_array_equal(e3, [0.1, 0.2, 13, 0.3, 11, 12])
    np.testing.assert_array_equal(d3, [5, 6, 0, 7, 0, 0])  # never transverse components
    np.testing.assert_array_equal(e.get3dinputfromelem([1, 2, 3], [0, 0, 0], [0, 0, 0], transverse=t)[0],
                                  [1, 2, 0, 3, 0, 0])
    six = np.arange(1.0, 7.0)
    np.testing.assert_array_equal(e.get3dinputfromelem(six, six, six)[2], six)
    for out in e.get3dinputfromelem(np.ones(5), np.ones(5), np.ones(5)):
        np.testing.assert_array_equal(out, 0.0)  # no conversion for 5 components


def test_plane_strain_and_axisymmetric_outputs():
    c = stiffness()
    s = np.arange(1.0, 7.0)
    stress, tangent = e.getelemoutputfrom3d(s, c, 4)
    np.testing.assert_array_equal(stress, s[:4])
    np.testing.assert_array_equal(tangent, c[:4, :4])
    stress, tangent = e.getelemoutputfrom3d(s, c, 4, isaxial=1)
    np.testing.assert_array_equal(stress, [1, 3, 2, 5])
    q = [0, 2, 1, 4]
    np.testing.assert_array_equal(tangent, c[np.ix_(q, q)])
    swap = np.array([[1.0, 0, 0], [0, 0, 1], [0, 1, 0]])
    np.testing.assert_array_equal(tangent, _kestro.lamina.getarbitrarybasesc(c, swap, 1, 1)[:4, :4])
    element = np.array([7.0, -2.0, 3.5, 0.25])
    s3 = e.get3dinputfromelem(element, element, element, isaxial=1)[0]
    np.testing.assert_array_equal(e.getelemoutputfrom3d(s3, c, 4, isaxial=1)[0], element)
    stress, tangent = e.getelemoutputfrom3d(s, c, 6)
    np.testing.assert_array_equal(stress, s)
    np.testing.assert_array_equal(tangent, c)
    stress, tangent = e.getelemoutputfrom3d(s, c, 5)
    assert not stress.any() and not tangent.any()


def test_plane_stress_output_condenses_the_tangent():
    c = stiffness()
    e1, e2, n12, g12 = PLY[0], PLY[1], PLY[3], PLY[6]
    d = 1 - n12 * n12 * e2 / e1
    q = np.array([[e1 / d, n12 * e2 / d, 0], [n12 * e2 / d, e2 / d, 0], [0, 0, g12]])
    strain = np.array([1e-3, -2e-4, 5e-4, 3e-4, 1e-4, -2e-4])
    s3 = c @ strain
    assert s3[2] != 0
    stress, tangent = e.getelemoutputfrom3d(s3, c, 3)
    np.testing.assert_allclose(tangent, q, rtol=1e-12, atol=1e-9)
    np.testing.assert_allclose(stress, q @ strain[[0, 1, 3]], rtol=1e-12)
    assert not np.allclose(stress, s3[[0, 1, 3]], rtol=1e-6)
    # A plane-stress state comes back as it is.
    plane = np.array([120.0, -30.0, 0.0, 15.0, 0.0, 0.0])
    np.testing.assert_allclose(e.getelemoutputfrom3d(plane, c, 3)[0], plane[[0, 1, 3]], rtol=1e-14)
    # Without a through-thickness stiffness: the 1-2-4 components.
    flat = c.copy()
    flat[2, 2] = 0.0
    stress, tangent = e.getelemoutputfrom3d(s3, flat, 3)
    np.testing.assert_array_equal(stress, s3[[0, 1, 3]])
    np.testing.assert_array_equal(tangent, flat[np.ix_([0, 1, 3], [0, 1, 3])])
    assert recorded()[0] == 0


def test_a_singular_tangent_is_condensed_without_a_record():
    c = stiffness()
    c[4, :] = c[:, 4] = 0.0
    s3 = np.array([100.0, 20.0, 5.0, 30.0, 7.0, 9.0])
    stress, tangent = e.getelemoutputfrom3d(s3, c, 3)
    keep = [0, 1, 3]
    np.testing.assert_allclose(stress, s3[keep] - c[keep, 2] * s3[2] / c[2, 2], rtol=1e-14)
    np.testing.assert_allclose(tangent, c[np.ix_(keep, keep)] - np.outer(c[keep, 2], c[2, keep]) / c[2, 2],
                               rtol=1e-14)
    assert recorded()[0] == 0


def test_the_single_routines_and_the_thickness_strain():
    s3, e3, d3 = e.get3dstressfromplanestress([1, 2, 3], [4, 5, 6], [7, 8, 9], np.arange(11.0, 17.0), 1, 0)
    np.testing.assert_array_equal(s3, [1, 2, 16, 3, 0, 0])
    np.testing.assert_array_equal(e.get3dstressfromplanestrain([1, 2, 3, 4], [0] * 4, [0] * 4, 1)[0], [1, 3, 2, 0, 4, 0])
    np.testing.assert_array_equal(e.get3dstressfromhex(np.arange(6.0), np.zeros(6), np.zeros(6))[0], np.arange(6.0))
    c = stiffness()
    np.testing.assert_array_equal(e.getplanestrainoutputfrom3d(np.arange(6.0), c)[1], c[:4, :4])
    np.testing.assert_array_equal(e.gethexoutputfrom3d(np.arange(6.0), c)[1], c)
    assert e.getplanestressepszz(10.0, 0.2, 0.3, 100.0, 50.0) == -3.5


@pytest.mark.parametrize("call", [
    lambda: e.get3dinputfromelem([1, 2], [1, 2], [1, 2], ncomp=3),
    lambda: e.get3dinputfromelem([1, 2, 3], [1, 2], [1, 2, 3]),
    lambda: e.get3dinputfromelem([1, 2, 3], [1, 2, 3], [1, 2, 3, 4]),
    lambda: e.get3dinputfromelem([1, 2, 3], [1, 2, 3], [1, 2, 3], transverse=np.zeros(5)),
    lambda: e.getelemoutputfrom3d(np.zeros(5), np.eye(6), 3),
    lambda: e.getelemoutputfrom3d(np.zeros(6), np.eye(5), 3),
    lambda: e.getplanestressoutputfrom3d(np.zeros(6), np.eye(4)),
])
def test_bad_arguments_raise(call):
    with pytest.raises(_kestro.error):
        call()
