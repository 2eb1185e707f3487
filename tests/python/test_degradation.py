"""Stiffness degradation and damage evolution: the Matzenmiller stiffness
against the inverse of the damaged compliance, mode coupling, bilinear
softening, resin, sudden and image-correlation degradation."""

import math

import numpy as np
import pytest

import _kestro
from conftest import recorded

G = _kestro.degradation
PROPVEC = np.array([140000, 9000, 9000, 3100, 4000, 4600, 0.45, 0.3, 0.3])


def damaged_stiffness(propvec, dnorm, d23=0.0, d13=0.0, d12=0.0):
    """The inverse of the compliance with damaged normal diagonal; shears 2 (1 - d) G."""
    e1, e2, e3, g23, g13, g12, nu23, nu13, nu12 = propvec
    s = np.array([[1 / e1, -nu12 / e1, -nu13 / e1], [-nu12 / e1, 1 / e2, -nu23 / e2], [-nu13 / e1, -nu23 / e2, 1 / e3]])
    for i, d in enumerate(dnorm):
        s[i, i] /= 1 - d
    c = np.zeros((6, 6))
    c[:3, :3] = np.linalg.inv(s)
    c[3, 3], c[4, 4], c[5, 5] = 2 * (1 - d23) * g23, 2 * (1 - d13) * g13, 2 * (1 - d12) * g12
    return c


@pytest.mark.parametrize("dnorm, shears", [((0, 0, 0), (0, 0, 0)), ((0.5, 0, 0), (0, 0, 0.5)),
                                           ((0.3, 0.7, 0.2), (0.1, 0.4, 0.9))])
def test_matzenmiller(dnorm, shears):
    c = G.matzenmillerdegradation(PROPVEC, dnorm, *shears)
    expected = damaged_stiffness(PROPVEC, dnorm, *shears)
    np.testing.assert_allclose(c, expected, rtol=1e-12, atol=1e-12 * expected.max())
    if dnorm == (0, 0, 0):
        assert (c[0, 0], c[1, 2]) == (pytest.approx(143008.7556381003, rel=1e-10), pytest.approx(5254.20627441652,
                                                                                                 rel=1e-10))
    if dnorm == (0.5, 0, 0):
        assert (c[0, 0], c[0, 1], c[5, 5]) == (pytest.approx(70744.19215120096, rel=1e-12),
                                               pytest.approx(2480.64050400315, rel=1e-12), 4600.0)
    broken = G.matzenmillerdegradation(PROPVEC, (1.0, 0, 0), 0, 0, 0)
    assert not broken[0].any() and not broken[:, 0].any()


def test_mode_coupling():
    modes = np.array([0.2, 0, 0.5, 0, 0, 0, 0.1, 0, 0])
    w, c = G.degradationfrommodes(modes, True)
    np.testing.assert_allclose(w, [0.2, 0, 0.5, 0, 0, 0, 0.8, 0.5, 0.2], rtol=1e-15)
    assert not c.any()
    w, _ = G.degradationfrommodes(modes, False)
    np.testing.assert_array_equal(w, [0.2, 0, 0.5, 0, 0, 0, 0.5, 0.5, 0.2])
    # With the moduli: axis 1 under compression takes mode 2, axis 2 under tension mode 3; limited to [0, 1].
    effort = np.array([-1, 0, 1, 0, 1, 0, 0, 0, 0.0])
    big = np.array([0.2, 0.4, 0.5, 0, 0, 0, 0.1, 0, 0])
    w, c = G.degradationfrommodes(big, True, PROPVEC[:6], PROPVEC[6:], effort)
    expected = damaged_stiffness(PROPVEC, (0.4, 0.5, 0.0), min(w[7], 1), min(w[8], 1), min(w[6], 1))
    np.testing.assert_allclose(c, expected, rtol=1e-12, atol=1e-12 * expected.max())
    assert w[6] == pytest.approx(1.2) and c[5, 5] == 0.0


def test_evolution_and_resin_degradation():
    assert G.bilinearevolution(0.02, 0.01, 100, 1, 0.01, 0.0) == (0.5025125628140703, 2.0)
    assert G.bilinearevolution(0.02, 0.01, 100, 1, 0.0005, 0.03) == (pytest.approx(0.75, rel=1e-15), 0.03)
    props = np.array([1000.0, 0.3, 7.0])
    for d, life, degr, expected in ((0.5, 1, 0.1, [100, 0, 5]), (2.5, 0, 0.1, [100, 0, 5]), (0.5, 0, 0.1, [1000, 0.3, 5]),
                                    (0.5, 1, 1.0, [1000, 0.3, 5])):
        out = G.isotropicdegradation(props, d, life, degr, np.array([-1.0, -1.0, 5.0]))
        np.testing.assert_allclose(out, expected, rtol=1e-15, atol=1e-15)


def test_sudden_degradation():
    moduli = np.array([100, 200, 300, 40, 50, 60, 1, 2, 3, 4, 5, 6.0])
    strengths = np.arange(1.0, 10.0)
    ttol, none = np.array([1.0, 1.0]), np.zeros(6)
    pe, ps, de, df = G.suddendegradation(moduli, strengths, 1.0, 0.0, ttol, 0.1, none)
    np.testing.assert_allclose(pe, [10, 20, 30, 4, 5, 6, 1, 2, 3, 4, 5, 6])
    np.testing.assert_allclose(ps, 0.1 * strengths)
    pe, ps, de, df = G.suddendegradation(moduli, strengths, 0.0, 1.0, ttol, 0.1, none)
    np.testing.assert_allclose(pe[:6], [100, 20, 30, 4, 5, 6])
    np.testing.assert_allclose(df, [1, 0.1, 0.1, 1, 0.1, 0.1, 0.1, 0.1, 0.1])
    pe, *_ = G.suddendegradation(moduli, strengths, 0.0, 0.0, ttol, 0.1, np.array([1.0, 0, 0, 0, 0, 0]))
    np.testing.assert_allclose(pe[:6], [10, 200, 300, 40, 50, 60])
    *_, de, df, old = G.suddendegradation_viscouse(moduli, strengths, 1.0, 0.0, ttol, 0.1, none, 1.0, 2.0, 1.0)
    assert old == pytest.approx(0.7) and de == pytest.approx(np.full(6, 0.7))


@pytest.mark.parametrize("flags, scheme, expected", [
    ({1}, 5, [0.3, 1, 1, math.sqrt(0.3), math.sqrt(0.3), 1, 1, 1, 1]),
    ({3}, 5, [1, 0.3, 1, math.sqrt(0.3), 1, math.sqrt(0.3), 0.3, 1, 0.3]),
    ({8}, 4, [1] * 9),
    ({8}, 5, [1, 1, 0.5, 1, math.sqrt(0.5), math.sqrt(0.5), 1, 0.5, 0.5]),
    ({1, 3, 5}, 1, [0.3, 1, 1, math.sqrt(0.3), math.sqrt(0.3), 1, 1, 1, 1]),
])
def test_image_correlation_degradation(flags, scheme, expected):
    dds = np.zeros(10)
    dds[[f - 1 for f in flags]] = 1.0
    d = G.ruvazudegradation(dds, 1.0, scheme, True)
    np.testing.assert_allclose(d, expected, rtol=1e-15)
    # As factors on a Nye stiffness: S C S on the normal block, S = diag(sqrt(d_E)).
    c = _kestro.lamina.getnyestiffnessmatrix(np.array([140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100.0]), 6)
    degraded = G.getnyedegradationmatrix(d, 6) * c
    s = np.diag(np.sqrt(d[:3]))
    np.testing.assert_allclose(degraded[:3, :3], s @ c[:3, :3] @ s, rtol=1e-14)
    np.testing.assert_allclose(np.diag(degraded)[3:], np.array(d[6:]) * np.diag(c)[3:], rtol=1e-15)


def test_factor_matrix_layouts_and_refusals():
    d = np.arange(1.0, 10.0)
    m6 = G.getnyedegradationmatrix(d, 6)
    np.testing.assert_array_equal(G.getnyedegradationmatrix(d, 4), m6[:4, :4])
    np.testing.assert_array_equal(G.getnyedegradationmatrix(d, 3), m6[np.ix_([0, 1, 3], [0, 1, 3])])
    assert (m6[0, 1], m6[1, 2], m6[5, 5], m6[0, 4]) == (4, 6, 9, 1)
    assert G.getnyedegradationmatrix(d, 5).shape == (5, 5)
    assert recorded() == (-2, "Unsupported dimension in GetNyeDegradationMatrix")
    _kestro.errorhandling.rsxerr(1)
    np.testing.assert_array_equal(G.ruvazudegradation(np.ones(10), 1.0, 6, True), np.ones(9))
    assert recorded() == (-2, "Unsupported scheme in RuvazuDegradation")
