"""Creation of the element, nodal and damage arrays and release of the shared arrays."""

import numpy as np
import pytest

import _kestro
from conftest import DECLARED, sample

dh = _kestro.datahandling
ed = _kestro.elementdata
nd = _kestro.nodaldata
dd = _kestro.damagedata
bd = _kestro.bukdata

REGIONS = ["generaldds", "fiberdds", "matrixdds", "coredds", "userdds", "delamdds"]

RELEASED = {
    "jobdata": ["stepid"],
    "materialdata": [
        "matidlist", "pfflags", "peflags", "pelimits", "peprops", "psprops", "pfprops",
        "phprops", "pdprops", "cuprops", "secantprops", "flowprops", "alpha1props",
        "alpha2props", "alpha3props", "normalprops", "shearprops", "regularization",
        "equivalentstress",
    ],
    "sectiondata": [
        "secidlist", "seflags", "nsectionpoints", "xcstrength", "plythickness",
        "plyorientation", "plyzcoord", "sefmatrix", "sehmatrix", "seuser", "seprops",
        "sestress", "sestrain", "tnormalstress", "tshearstress",
    ],
    "nodaldata": ["nodalcoords", "nodesmotion", "tnodalmatrices", "tcurvmatrices"],
    "elementdata": [
        "elemlist", "elemkind", "elemnodes", "elemlength", "elemindices",
        "elemcurvatures", "elemreforientation",
    ],
    "impactdata": ["cprops"],
    "loaddata": ["dprops"],
    "damagedata": [
        "damagedds", "generaldds", "fiberdds", "matrixdds", "coredds", "delamdds",
        "dmgshape", "dmgplane", "dmgpoints", "userdds",
    ],
    "bukdata": ["bukintdatalist", "bukrealdatalist"],
    "shokriehdata": ["cycles", "cycleprops"],
}

KEPT_ARRAYS = {
    "jobdata": ["processid"],
    "materialdata": ["temperatures", "r_crit", "i10"],
    "impactdata": ["csvars"],
}


def fill(module, name, extent=2):
    var = DECLARED[module][name]
    value = sample(var, (extent,) * var.rank)
    setattr(getattr(_kestro, module), name, value)
    return value


def shape_of(module, name):
    value = getattr(getattr(_kestro, module), name)
    return None if value is None else value.shape


# --------------------------------------------------------------- element and nodal data


def test_element_data_shapes():
    assert dh.allocateelementdata(4, 3) == 0
    assert ed.elemlist.shape == (3,)
    assert ed.elemkind.shape == (3,)
    assert ed.elemnodes.shape == (4, 3)
    assert ed.elemcurvatures.shape == (2, 3)
    assert ed.elemreforientation.shape == (7, 3)
    assert _kestro.sectiondata.nsectionpoints.shape == (3,)
    # Left to other routines.
    assert ed.elemlength is None
    assert ed.elemindices is None


def test_element_data_counts_below_one_give_empty_extents():
    assert dh.allocateelementdata(0, -1) == 0
    assert ed.elemlist.shape == (0,)
    assert ed.elemnodes.shape == (0, 0)
    assert ed.elemcurvatures.shape == (2, 0)
    assert ed.elemreforientation.shape == (7, 0)
    assert _kestro.sectiondata.nsectionpoints.shape == (0,)


def test_element_data_second_call_keeps_the_first():
    dh.allocateelementdata(4, 3)
    ed.elemlist[:] = [11, 12, 13]
    ed.elemnodes[:] = 5
    assert dh.allocateelementdata(2, 9) == 0
    np.testing.assert_array_equal(ed.elemlist, [11, 12, 13])
    assert ed.elemnodes.shape == (4, 3)
    assert np.all(ed.elemnodes == 5)
    assert ed.elemreforientation.shape == (7, 3)


def test_element_data_only_fills_in_absent_arrays():
    ed.elemlist = np.array([7, 8, 9, 10, 11])
    dh.allocateelementdata(4, 2)
    np.testing.assert_array_equal(ed.elemlist, [7, 8, 9, 10, 11])
    assert ed.elemkind.shape == (2,)
    assert ed.elemnodes.shape == (4, 2)


def test_nodal_data_shapes_and_second_call():
    assert dh.allocatenodaldata(6, 4, 2) == 0
    assert nd.nodesmotion.shape == (6, 4, 2)
    assert nd.nodalcoords.shape == (3, 4, 2)
    assert nd.tnodalmatrices.shape == (3, 3, 8, 2)
    assert nd.tcurvmatrices.shape == (3, 3, 2)
    nd.nodalcoords[:] = 1.5
    assert dh.allocatenodaldata(3, 1, 1) == 0
    assert nd.nodesmotion.shape == (6, 4, 2)
    assert nd.nodalcoords.shape == (3, 4, 2)
    assert np.all(nd.nodalcoords == 1.5)


def test_nodal_data_only_fills_in_absent_arrays():
    nd.tcurvmatrices = np.ones((3, 3, 5))
    dh.allocatenodaldata(6, 4, 2)
    assert nd.tcurvmatrices.shape == (3, 3, 5)
    assert np.all(nd.tcurvmatrices == 1.0)
    assert nd.nodesmotion.shape == (6, 4, 2)


# --------------------------------------------------------------------------- damage data


def test_damage_data_for_a_single_ply():
    assert dh.allocatedamagedata(1, 1, 0) == 0
    assert dd.ndmg == 1
    np.testing.assert_array_equal(dd.damagedds, [0])
    for name in REGIONS:
        assert getattr(dd, name).shape == (3, 1, 1), name
        assert np.all(getattr(dd, name) == 0.0), name
    assert dd.dmgplane.shape == (10, 1)
    assert np.all(dd.dmgplane == 0.0)
    assert bd.bukintdatalist.shape == (4, 1, 1, 1)
    assert bd.bukintdatalist.dtype == np.int32
    assert np.all(bd.bukintdatalist == 0)
    assert bd.bukrealdatalist.shape == (12, 1, 1, 1)
    assert np.all(bd.bukrealdatalist == 0.0)
    # Created only by a caller.
    assert dd.dmgshape is None
    assert dd.dmgpoints is None


def test_damage_data_shapes_follow_plies_sections_and_sets():
    dh.allocatedamagedata(4, 2, 3)
    assert dd.ndmg == 3
    for name in ["generaldds", "fiberdds", "matrixdds", "coredds", "userdds"]:
        assert getattr(dd, name).shape == (3, 4, 3), name
    assert dd.delamdds.shape == (3, 3, 3)
    assert dd.dmgplane.shape == (10, 3)
    assert bd.bukintdatalist.shape == (4, 3, 3, 2)
    assert bd.bukrealdatalist.shape == (12, 3, 3, 2)


@pytest.mark.parametrize(
    "before, kdmg, after",
    [(0, 0, 1), (-4, 0, 1), (0, 3, 3), (5, 3, 5), (2, 2, 2)],
)
def test_number_of_damage_sets_never_drops(before, kdmg, after):
    dd.ndmg = before
    dh.allocatedamagedata(2, 1, kdmg)
    assert dd.ndmg == after
    assert dd.generaldds.shape == (3, 2, after)
    assert dd.delamdds.shape == (3, 1, after)


def test_regions_created_by_a_caller_are_cleared_once():
    dd.generaldds = np.full((3, 2, 1), 4.0)
    dh.allocatedamagedata(2, 1, 1)
    assert dd.generaldds.shape == (3, 2, 1)
    assert np.all(dd.generaldds == 0.0)
    np.testing.assert_array_equal(dd.damagedds, [0])

    dd.generaldds[:] = 9.0
    dd.delamdds[:] = 8.0
    dh.allocatedamagedata(2, 1, 1)
    assert np.all(dd.generaldds == 9.0)
    assert np.all(dd.delamdds == 8.0)


def test_regions_are_cleared_whenever_the_flag_reads_minus_one():
    dh.allocatedamagedata(2, 1, 1)
    for name in REGIONS:
        getattr(dd, name)[:] = 3.0
    dd.damagedds = np.array([-1])
    dh.allocatedamagedata(2, 1, 1)
    np.testing.assert_array_equal(dd.damagedds, [0])
    for name in REGIONS:
        assert np.all(getattr(dd, name) == 0.0), name


def test_regions_are_left_alone_when_the_flag_exists_unset():
    dd.damagedds = np.array([0])
    dd.fiberdds = np.full((3, 2, 1), 6.0)
    dh.allocatedamagedata(2, 1, 1)
    assert np.all(dd.fiberdds == 6.0)


def test_existing_regions_bound_the_number_of_damage_sets():
    dd.generaldds = np.zeros((3, 2, 2))
    dh.allocatedamagedata(2, 1, 5)
    assert dd.ndmg == 2
    assert dd.generaldds.shape == (3, 2, 2)
    assert dd.fiberdds.shape == (3, 2, 2)
    assert dd.dmgplane.shape == (10, 2)


# ------------------------------------------------------------------------------ release


def test_release_of_empty_state():
    assert dh.deallocall() == 0
    assert dh.deallocall() == 0


def test_release_drops_the_shared_arrays():
    for module, names in RELEASED.items():
        for name in names:
            fill(module, name)
    dh.allocatedamagedata(1, 1, 0)
    assert dh.deallocall() == 0
    left = [f"{m}.{n}" for m, names in RELEASED.items() for n in names if shape_of(m, n)]
    assert left == []
    assert dh.deallocall() == 0


def test_every_array_is_released_or_kept():
    # Every allocatable array of the shared data, as the signature files
    # declare it: released exactly when it is one of the arrays above, and the
    # declarations mark the others as kept.
    arrays = {(m, n): v for m, variables in DECLARED.items() for n, v in variables.items() if v.rank}
    released = {(m, n) for m, names in RELEASED.items() for n in names}
    assert released <= arrays.keys()
    assert {key for key, v in arrays.items() if not v.kept} == released
    for module, name in arrays:
        fill(module, name)
    assert dh.deallocall() == 0
    assert {key for key in arrays if shape_of(*key) is None} == released


def test_release_after_allocation_routines():
    dh.allocateelementdata(4, 3)
    dh.allocatenodaldata(6, 4, 3)
    dh.allocatedamagedata(1, 1, 0)
    assert dh.deallocall() == 0
    assert ed.elemlist is None
    assert _kestro.sectiondata.nsectionpoints is None
    assert nd.tnodalmatrices is None
    assert dd.delamdds is None
    assert dd.dmgplane is None
    assert bd.bukintdatalist is None


def test_release_leaves_the_rest_alone():
    kept = {(m, n): fill(m, n, 3) for m, names in KEPT_ARRAYS.items() for n in names}
    scalars = {
        (m, n): 7 for m, variables in DECLARED.items() if m != "errorhandling"
        for n, v in variables.items() if v.rank == 0 and v.kind != "char" and not v.constant
    }
    for (m, n), value in scalars.items():
        setattr(getattr(_kestro, m), n, value)
    _kestro.jobdata.jobname = "job"
    _kestro.errorhandling.xerr(-2, "kept", [1], [2.0], np.ones((1, 1), np.int32), pyerr=1)

    assert dh.deallocall() == 0

    for (m, n), value in kept.items():
        np.testing.assert_array_equal(getattr(getattr(_kestro, m), n), value, err_msg=n)
    for (m, n), value in scalars.items():
        assert getattr(getattr(_kestro, m), n) == value, n
    assert bytes(_kestro.jobdata.jobname) == b"job".ljust(256)
    eh = _kestro.errorhandling
    assert eh.errstat == -2
    assert bytes(eh.errstring).startswith(b"kept ")
    np.testing.assert_array_equal(eh.errintv, [1])
    np.testing.assert_array_equal(eh.errrealv, [2.0])
    np.testing.assert_array_equal(eh.errasciim, [[1]])


def test_view_read_before_release_keeps_its_values():
    dh.allocatedamagedata(3, 1, 1)
    dd.generaldds[:] = np.arange(9.0).reshape(3, 3, 1)
    regions = dd.generaldds
    buk = bd.bukintdatalist
    dh.deallocall()
    assert dd.generaldds is None
    np.testing.assert_array_equal(regions, np.arange(9.0).reshape(3, 3, 1))
    assert buk.shape == (4, 2, 1, 1) and np.all(buk == 0)
    regions[0, 0, 0] = -1.0
    # Creating the arrays again gives fresh storage, not the released one.
    dh.allocatedamagedata(3, 1, 1)
    assert np.all(dd.generaldds == 0.0)
