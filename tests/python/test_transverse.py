"""Shell transverse stresses of an 8-node square (corners (+-1, +-1)) with a
section of two isotropic plies of 0.5 at 0 and 90 degrees: cylindrical
bending w = 0.01 x^2 / 2 gives Qx = (1000/3) 0.01 x and dQx/dx = 10/3, so the
normal stress is -(10/3) times the integral of the homogeneous shape
1.5 - 6 z^2; a curved element stretched along 22 gives the membrane part
-ky integral of sigma22 / (1 - ky z)."""

import numpy as np
import pytest

import _kestro

E = _kestro.elementhandling
L = _kestro.laminate
ISOTROPIC = [1000.0, 1000.0, 1000.0, 0.25, 0.25, 0.25, 400.0, 400.0, 400.0]
NODES = np.array([(-1, -1), (1, -1), (1, 1), (-1, 1), (0, -1), (1, 0), (0, 1), (-1, 0)], float)
TRIA = np.array([(0, 0), (1, 0), (0, 1), (0.5, 0), (0.5, 0.5), (0, 0.5)], float)
G = 0.5773502691896257


def element_args(kind=5, nelem=1, elemid=1, curvature=(0.0, 0.0), nspt=3, stress_points=4, elastic_rows=(), motion=None,
          nodes=NODES):
    """The argument tuple of the routine (tables zero) for element elemid of nelem."""
    ids = np.ones((2, 1), np.int32)
    angles, t = np.array([[0.0], [90.0]]), np.full((2, 1), 0.5)
    z = L.getsectionzcoord(ids, t)
    elastic = np.array([ISOTROPIC + list(elastic_rows)] * 2).T[:, :, None]
    f = L.getsectionfmatrix(ids, angles, t, z, elastic[:9])
    h = L.getsectionhmatrix(ids, angles, t, elastic[:9])
    n = len(nodes)
    coords = np.zeros((3, 8, nelem))
    coords[:2, :n, elemid - 1] = nodes.T
    motions = np.zeros((5, 8, nelem))
    if motion is None:  # w = 0.01 x^2 / 2
        motions[2, :n, elemid - 1] = 0.01 * nodes[:, 0] ** 2 / 2
    else:
        motions[:, :n, elemid - 1] = motion(nodes)
    curvatures = np.zeros((2, nelem))
    curvatures[:, elemid - 1] = curvature
    sestress = np.zeros((6, 2 * nspt if nspt > 0 else 6, stress_points, nelem), order="F")
    kinds = np.full(nelem, kind, np.int32)
    points = np.full(nelem, nspt, np.int32)
    return dict(tnormalstress=np.zeros((5, nelem), order="F"),
                tshearstress=np.zeros((sestress.shape[1], 2, 4, nelem), order="F"), nodalcoords=coords,
                nodesmotion=motions, sestress=sestress, sehmatrix=h, sefmatrix=f, plyorientation=angles,
                plythickness=t, plyzcoord=z, plyelastic=np.asfortranarray(elastic), elemsectionpoints=points,
                elemcurvatures=curvatures, elemkind=kinds, sectionlist=ids, elemid=elemid, gpid=1, secid=1,
                itnsflag=1, itshrflag=1)


def run(args, **changes):
    a = dict(args, **changes)
    return E.getshelltransversestresses(*a.values())


FLAT_NORMAL = [0, -0.5208333333333333, -1.6666666666666665, -2.8125, -3.333333333333333]
QX = -1.9245008972987523  # at point 1, x = -g


def test_flat_element():
    args = element_args()
    normal, shear = run(args)
    assert normal is args["tnormalstress"]  # updated in place
    np.testing.assert_allclose(normal[:, 0], FLAT_NORMAL, rtol=1e-13, atol=1e-15)
    np.testing.assert_allclose(shear[:, 1, 0, 0], QX * np.array([0, 1.125, 1.5, 0, 0, 0]), rtol=1e-13, atol=1e-15)
    np.testing.assert_allclose(shear[:, 0, 0, 0], -QX * np.array([0, 0, 0, 1.5, 1.125, 0]), rtol=1e-13, atol=1e-15)
    # Point 2 (x = +g): the sign changes, the normal column stays.
    normal[0, 0] = 9.0
    run(args, gpid=2)
    np.testing.assert_allclose(shear[:, 1, 1, 0], -shear[:, 1, 0, 0], rtol=1e-13, atol=1e-15)
    assert normal[0, 0] == 9.0 and not shear[:, :, 2:].any()
    # Done: a second call changes nothing, even with another table.
    before = shear.copy()
    run(args, sefmatrix=2 * args["sefmatrix"])
    np.testing.assert_array_equal(shear, before)


@pytest.mark.parametrize("nelem, elemid, stress_points", [(1, 1, 4), (2, 2, 27)])
def test_curved_element(nelem, elemid, stress_points):
    motion = lambda nodes: np.array([0.001 * nodes[:, 0], 0 * nodes[:, 0], 0 * nodes[:, 0], 0 * nodes[:, 0],
                                     0 * nodes[:, 0]])
    args = element_args(nelem=nelem, elemid=elemid, curvature=(0.1, 0.0), stress_points=stress_points, motion=motion)
    args["sestress"][1, :, :4, elemid - 1] = 100.0  # sigma22 at every section point of points 1-4
    if nelem == 2:
        args["sestress"][1, :, :, 0] = -555.0  # another element's stresses
    normal, shear = run(args)
    z = np.linspace(-0.5, 0.5, 5)
    np.testing.assert_allclose(normal[:, elemid - 1], -10 * (z + 0.5) / (1 - 0.1 * z), rtol=1e-13, atol=1e-15)
    assert not shear.any()  # no shear forces: the shear part writes zeros, so it stays to be done


def test_curved_tables_read_the_first_nine_ply_constants():
    results = []
    for extra in ((), [5.0] * 9):
        args = element_args(curvature=(0.05, -0.02), elastic_rows=extra)
        results.append([r.copy() for r in run(args)])
    for a, b in zip(*results):
        np.testing.assert_array_equal(a, b)
    assert np.abs(results[0][0]).max() > 1.0 and np.abs(results[0][1]).max() > 1.0
    # The curvature switches both parts to tables of their own: results differ from the flat ones.
    flat = run(element_args())
    assert not np.allclose(results[0][0], flat[0])


@pytest.mark.parametrize("change", [
    dict(kind=7), dict(kind=9), dict(kind=0), dict(kind=11),
    dict(kind=2, nodes=NODES[:4]),                  # a 4-node shell without mid-side nodes
    dict(motion=lambda nodes: np.zeros((5, len(nodes)))),
    dict(nspt=-1, elemid_call=1, flags=dict(itnsflag=0)),
    dict(elemid_call=2), dict(gpid=5, flags=dict(itnsflag=0)), dict(flags=dict(itnsflag=0, itshrflag=0)),
    dict(flags=dict(secid=2)),
])
def test_what_is_left_alone(change):
    change = dict(change)
    elemid_call, gpid, flags = change.pop("elemid_call", 1), change.pop("gpid", 1), change.pop("flags", {})
    args = element_args(**change)
    normal, shear = run(args, elemid=elemid_call, gpid=gpid, **flags)
    assert not normal.any() and not shear.any()


def test_element_variants():
    # A 4-node kind with mid-side coordinates and motions is an 8-node element.
    np.testing.assert_array_equal(run(element_args(kind=2))[0], run(element_args(kind=5))[0])
    # The flags: no shear part, no normal part.
    normal, shear = run(element_args(), itshrflag=0)
    assert normal.any() and not shear.any()
    normal, shear = run(element_args(), itnsflag=0)
    assert not normal.any() and shear.any()
    # Section points -1: the flat normal part still runs, the shear part does not.
    normal, shear = run(element_args(nspt=-1))
    np.testing.assert_allclose(normal[:, 0], FLAT_NORMAL, rtol=1e-13, atol=1e-15)
    assert not shear.any()
    # itnsflag 2: the derivatives at the centre of an 8-node element; a 6-node one averages, as with 1.
    np.testing.assert_allclose(run(element_args(), itnsflag=2)[0][:, 0], FLAT_NORMAL, rtol=1e-13, atol=1e-15)
    bent = lambda nodes: np.array([0 * nodes[:, 0], 0 * nodes[:, 0], nodes[:, 0] ** 3 / 30, 0 * nodes[:, 0],
                                   0 * nodes[:, 0]])
    distorted = NODES.copy()
    distorted[5] = (1.2, 0.2)  # a mid-side node moved: the derivatives vary over the element
    centre = run(element_args(motion=bent, nodes=distorted), itnsflag=2)[0]
    mean = run(element_args(motion=bent, nodes=distorted), itnsflag=1)[0]
    assert not np.allclose(centre, mean)
    tria = [run(element_args(kind=8, nodes=TRIA, motion=bent), itnsflag=flag)[0] for flag in (1, 2)]
    np.testing.assert_array_equal(tria[0], tria[1])
    assert tria[0].any()


CARBON = [140000.0, 9000.0, 9000.0, 0.3, 0.3, 0.45, 4600.0, 4000.0, 3100.0]
POINTS = [(-G, -G), (G, -G), (G, G), (-G, G)]


@pytest.mark.parametrize("curvature", [(0.0, 0.0), (-0.03, 0.08)])
def test_wiring_of_the_section_services(curvature):
    """A [0/45/90] section under bending in both directions: the recovered stresses equal the
    section services combined as the recovery is defined, with random stored stresses."""
    ids, t = np.ones((3, 1), np.int32), np.array([[0.2], [0.3], [0.5]])
    angles, z = np.array([[0.0], [45.0], [90.0]]), L.getsectionzcoord(ids, t)
    elastic = np.array([CARBON] * 3).T[:, :, None]
    f = L.getsectionfmatrix(ids, angles, t, z, elastic)
    h = L.getsectionhmatrix(ids, angles, t, elastic)
    rng = np.random.default_rng(5)
    w = lambda x, y: 0.004 * x**2 + 0.003 * x * y - 0.002 * y**2 + 0.001 * x**2 * y
    motion = np.zeros((5, 8, 1))
    motion[2, :, 0] = w(NODES[:, 0], NODES[:, 1])
    motion[3:5, :, 0] = rng.normal(scale=1e-3, size=(2, 8))
    coords = np.zeros((3, 8, 1))
    coords[:2, :, 0] = NODES.T
    sestress = np.asfortranarray(rng.normal(scale=50.0, size=(6, 9, 4, 1)))
    args = dict(tnormalstress=np.zeros((7, 1), order="F"), tshearstress=np.zeros((9, 2, 4, 1), order="F"),
                nodalcoords=coords, nodesmotion=motion, sestress=sestress, sehmatrix=h, sefmatrix=f,
                plyorientation=angles, plythickness=t, plyzcoord=z, plyelastic=np.asfortranarray(elastic),
                elemsectionpoints=np.array([3], np.int32), elemcurvatures=np.array(curvature, float)[:, None],
                elemkind=np.array([5], np.int32), sectionlist=ids, elemid=1, gpid=3, secid=1, itnsflag=1,
                itshrflag=1)
    normal, shear = run(args)
    u = motion[:, :, 0].T.ravel()
    rdx = np.mean([E.shellxderivshearforces(u, h[:, :, 0], coords[:, :, 0], *p) for p in POINTS], axis=0)
    rdy = np.mean([E.shellyderivshearforces(u, h[:, :, 0], coords[:, :, 0], *p) for p in POINTS], axis=0)
    r = h[:, :, 0] @ (E.shellbmatrix(coords[:, :, 0], *POINTS[2]) @ u)[6:8]
    kmax, kmin = max(curvature), min(curvature)
    if curvature == (0.0, 0.0):
        expected = L.getnormalstressfrombottom(rdx, rdy, z[:, 0], f[:, :, 0])
        table = f[:, :, 0]
    else:
        pair = np.array([kmax, kmin])
        g = L.getarbitrarysectionfg(ids, angles, t, z, elastic, 0, 1, xycurv=pair)[:, :, 0]
        table = L.getarbitrarysectionfg(ids, angles, t, z, elastic, 1, 1, xycurv=pair)[:, :, 0]
        membrane = np.zeros(7)
        for k in range(4):
            sbt = L.getplybottomtopstress(sestress[:, :, k, 0], np.full(3, 3, np.int32))
            membrane += L.getintegralofmembranenormalstress(sbt[0], z[:, 0], np.ones(3, np.int32), kmin, kmax)
            membrane += L.getintegralofmembranenormalstress(sbt[1], z[:, 0], np.ones(3, np.int32), kmax, kmin)
        expected = 0.25 * membrane - g @ np.concatenate([rdy, rdx])
    np.testing.assert_allclose(normal[:, 0], expected, rtol=1e-12, atol=1e-12 * np.abs(expected).max())
    np.testing.assert_allclose(shear[:, :, 2, 0], L.getext2dshearstress(r, angles[:, 0], table, 3), rtol=1e-12,
                               atol=1e-12 * np.abs(shear).max())
    assert np.abs(rdx).min() > 0 and np.abs(rdy).min() > 0 and np.abs(r).min() > 0  # every term is exercised


def test_short_sections_and_longer_z_tables():
    args = element_args()
    # The section's list ends after ply 1 of 2: rows past its own points stay 0.
    args["sectionlist"] = np.array([[1], [2147483647]], np.int32)
    f = L.getsectionfmatrix(args["sectionlist"], args["plyorientation"], args["plythickness"],
                            L.getsectionzcoord(args["sectionlist"], args["plythickness"]), args["plyelastic"])
    args["sefmatrix"], args["plyzcoord"] = f, L.getsectionzcoord(args["sectionlist"], args["plythickness"])
    normal, shear = run(args)
    assert normal[:3, 0].any() and not normal[3:].any()
    assert shear[:3, :, 0, 0].any() and not shear[3:].any()
    # A z table longer than 2 nplies + 1: the normal part is skipped, the shear part still runs.
    args = element_args()
    longer = np.zeros((7, 4, 1))
    longer[:5] = args["sefmatrix"]
    args.update(sefmatrix=longer, plyzcoord=np.vstack([args["plyzcoord"], [[0.0], [0.0]]]),
                tnormalstress=np.zeros((7, 1), order="F"))
    normal, shear = run(args)
    assert not normal.any()
    np.testing.assert_allclose(shear[:, 1, 0, 0], QX * np.array([0, 1.125, 1.5, 0, 0, 0]), rtol=1e-13, atol=1e-15)
