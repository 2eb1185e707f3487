"""The auxiliary solver hooks: characteristic lengths of a block of
elements, the material-point report of an initialization step, node
coordinates and motions handed to the element tables, and a constraint
switched off."""

import math

import numpy as np
import pytest

import _kestro

T = _kestro.toplevel
JD, DD, ND, ED = _kestro.jobdata, _kestro.debugdata, _kestro.nodaldata, _kestro.elementdata

# Part of the brick's node order: lower face counter-clockwise, then the upper face.
BRICK = [(0, 0, 0), (2, 0, 0), (2, 3, 0), (0, 3, 0), (0, 0, 4), (2, 0, 4), (2, 3, 4), (0, 3, 4)]
QUAD = [(0, 0, 0), (3, 0, 0), (3, 2, 1), (0, 2, 0)]


def charlength(nodes, jeltype, ncomp=3, ndim=3, copies=2, tdirect=None):
    """The lengths of `copies` equal elements in one block (elements 1, 2, ...)."""
    coordnode = np.repeat(np.array(nodes, float)[None, :, :ndim], copies, axis=0)
    tdirect = np.repeat(np.eye(3)[None], copies, axis=0) if tdirect is None else tdirect
    return T.vucharlength_cel(1, 1, 1, [jeltype, 0, 0], np.arange(1, copies + 1, dtype=np.int32), 0.0, 0.0, 0.1,
                              "MAT", coordnode[:, 0, :], coordnode, tdirect, tdirect, [0.0],
                              np.zeros((copies, 1)), np.zeros((copies, 1)), ncomp=ncomp)


@pytest.mark.parametrize("nodes, jeltype, ncomp, ndim, lengths", [
    (BRICK, 6, 3, 3, [2, 3, 4]),
    (BRICK, 6, 2, 3, [2, 3]),
    (BRICK, 6, 4, 3, [2, 3, 4, 0]),
    (QUAD, 3, 3, 3, [3, 2, math.sqrt(13)]),
    (QUAD, 3, 3, 2, [3, 2, math.sqrt(13)]),   # z beyond ndim counts as 0
    (QUAD, 4, 3, 3, [0, 0, 0]),
    (QUAD, 6, 3, 3, [0, 0, 0]),               # four node slots for an eight-node type
])
def test_characteristic_lengths(nodes, jeltype, ncomp, ndim, lengths):
    np.testing.assert_allclose(charlength(nodes, jeltype, ncomp, ndim), [lengths, lengths], rtol=1e-15)


@pytest.mark.parametrize("nodes, jeltype", [(QUAD, 3), (BRICK, 6)])
def test_lengths_that_are_not_finite_are_recorded(nodes, jeltype):
    tdirect = np.stack([np.eye(3), np.eye(3), np.zeros((3, 3)), np.eye(3)])  # element 3 without directions
    if jeltype == 6:
        tdirect[2, 0, 0] = math.nan  # a direction of zeros gives lengths 0 here: a NaN instead
    lengths = charlength(nodes, jeltype, copies=4, tdirect=tdirect)
    assert np.isfinite(np.delete(lengths, 2, 0)).all() and not np.isfinite(lengths[2]).all()
    assert _kestro.errorhandling.errstat == -2 and list(_kestro.errorhandling.errintv) == [3]
    message = bytes(_kestro.errorhandling.errstring).decode().rstrip()
    assert message == "Warning: Element lengths not finite in vucharlength_cel."


def report(kstep, kinc):
    uvar = T.uvarm_report([1.0, 2.0], np.eye(3), np.eye(3), [0, 0], 0.1, "MAT", "", 12, 3, 1, 1, kstep, kinc, 3,
                          3, [1.5, -2.0, 0.0], [0], [0], 0, 0)
    np.testing.assert_array_equal(uvar, [1.0, 2.0])


def test_report_of_the_first_increment_of_an_initialization_step(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    report(1, 1)  # no step kinds: nothing
    JD.stepid = np.array([0, 3], np.int32)
    JD.jobfilepath = str(tmp_path / "job")
    for kstep, kinc in [(1, 1), (1, 2), (2, 1), (7, 1)]:
        report(kstep, kinc)
    assert (tmp_path / "job.rst").read_bytes() == (
        b"    NOEL     NPT                        x                        y                        z\n"
        b"      12       3               1.50000000              -2.00000000               0.00000000\n")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["job.rst"]
    JD.jobfilepath = b"\0" * 256  # unset: the report is ".rst" in the working directory
    report(1, 1)
    assert (tmp_path / ".rst").read_bytes().count(b"\n") == 2


def test_motions_pass_every_nupdate_increments_of_an_impact_step():
    _kestro.datahandling.allocateelementdata(4, 1)
    _kestro.datahandling.allocatenodaldata(6, 4, 1)
    ED.elemnodes = np.array([[1], [2], [3], [4]], np.int32)
    DD.nupdate = 5

    def hook(kstep, kinc, u, coords=np.zeros((3, 1))):
        mdof = u.shape[0]
        T.vdisp_nullify(kstep, kinc, 0.0, 0.0, 0.1, 0.1, "BC", 0, np.arange(1, mdof + 1, dtype=np.int32),
                        [2], [1.0], coords, u, u, u, u, [1.0], np.zeros((3, 3, 1)), u)

    coords = np.array([[1.0], [2.0], [3.0]])
    hook(1, 1, np.zeros((6, 1)), coords)  # no step kinds: nothing
    assert not ND.nodalcoords.any()
    JD.stepid = np.array([0, 3], np.int32)
    hook(1, 1, np.zeros((6, 1)), coords)
    np.testing.assert_array_equal(ND.nodalcoords[:, 1, 0], [1, 2, 3])
    passed = []
    for kinc in [1, *range(2, 11)]:
        hook(2, kinc, np.full((6, 1), 0.1 * kinc))
        if ND.nodesmotion[0, 1, 0] == pytest.approx(0.1 * kinc):
            passed.append(kinc)
    assert passed == [4, 9]
    hook(2, 14, np.array([[0.5], [0.25]]))  # two freedoms: u3 and the rotations are 0 and not given
    np.testing.assert_allclose(ND.nodesmotion[:, 1, 0], [0.5, 0.25, 0.0, 0.9, 0.9, 0.9])
    JD.stepid = np.array([0, 2], np.int32)
    hook(2, 19, np.ones((6, 1)))
    assert ND.nodesmotion[0, 1, 0] == 0.5


def test_constraint_switched_off():
    ue, a, jdof = np.array([1.0, 2.0]), np.ones((2, 2, 3)), np.ones((2, 3), np.int32)
    n = 3
    out = T.mpc_nullify(ue, a, jdof, 1, np.zeros((6, n)), np.zeros((6, n)), np.zeros((6, n)), 7, 1, 1, [0, 0],
                        np.zeros((1, n)), np.zeros((1, 1, n)), np.zeros(n, np.int32), np.zeros((3, 3, n)))
    np.testing.assert_array_equal(out[0], ue)
    assert not out[1].any() and not out[2].any() and out[3] == 0
