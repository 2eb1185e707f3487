"""Reading and writing the shared module variables from Python."""

import json

import numpy as np
import pytest

import _kestro
from conftest import DECLARED, DTYPES, arrays_of, sample

DATA_MODULES = sorted(m for m in DECLARED if m != "types")
PATH_STRINGS = ["jobname", "joboutdir", "jobfilepath"]


def test_start_state_of_a_fresh_process(run_python):
    # Every array absent, every scalar 0, every string blank.
    names = {
        m: {n: [v.kind, v.rank] for n, v in DECLARED[m].items() if not v.constant}
        for m in DATA_MODULES
    }
    result = run_python(
        f"""
        import json, _kestro
        report = {{}}
        for module, variables in json.loads({json.dumps(json.dumps(names))}).items():
            holder = getattr(_kestro, module)
            for name, (kind, rank) in variables.items():
                value = getattr(holder, name)
                if kind == "char":
                    report[module + "." + name] = bytes(value).hex()
                elif rank:
                    report[module + "." + name] = None if value is None else "present"
                else:
                    report[module + "." + name] = [value.shape, value.item()]
        print(json.dumps(report))
        """
    )
    assert result.returncode == 0, result.stderr.decode()
    report = json.loads(result.stdout)
    expected = {}
    for module, variables in names.items():
        for name, (kind, rank) in variables.items():
            length = DECLARED[module][name].length
            expected[module + "." + name] = (
                "20" * length if kind == "char" else None if rank else [[], 0]
            )
    assert report == expected


def test_array_assignment_recreate_and_drop():
    m = _kestro.materialdata
    assert m.peprops is None
    m.peprops = np.ones((9, 2, 1))
    assert m.peprops.shape == (9, 2, 1)
    assert m.peprops.flags.f_contiguous
    assert np.all(m.peprops == 1.0)
    m.peprops = np.zeros((9, 3, 1))
    assert m.peprops.shape == (9, 3, 1)
    assert np.all(m.peprops == 0.0)
    m.peprops = None
    assert m.peprops is None


@pytest.mark.parametrize("module", [m for m in DATA_MODULES if arrays_of(m)])
def test_every_array_round_trips(module):
    # Values keep their indices whatever the memory order of the source, and
    # read back Fortran-ordered in the declared type.
    holder = getattr(_kestro, module)
    for name, var in arrays_of(module).items():
        shape = (2, 3, 4, 5)[: var.rank]
        source = sample(var, shape)
        setattr(holder, name, source)
        value = getattr(holder, name)
        assert value.dtype == DTYPES[var.kind], name
        assert value.shape == shape, name
        assert value.flags.f_contiguous, name
        np.testing.assert_array_equal(value, source, err_msg=name)
        setattr(holder, name, None)
        assert getattr(holder, name) is None, name


def test_fortran_ordered_source_keeps_indices():
    source = np.asfortranarray(np.arange(24.0).reshape(2, 3, 4))
    _kestro.sectiondata.sestress = source[..., None]
    np.testing.assert_array_equal(_kestro.sectiondata.sestress[..., 0], source)


def test_same_shape_assignment_writes_into_existing_storage():
    m = _kestro.materialdata
    m.pelimits = np.zeros((12, 2, 1))
    view = m.pelimits
    m.pelimits = np.full((12, 2, 1), 3.5)
    assert np.all(view == 3.5)


def test_writes_through_a_view_reach_the_library():
    e = _kestro.elementdata
    e.elemnodes = np.zeros((4, 2), np.int32)
    e.elemnodes[1, 0] = 17
    view = e.elemnodes
    view[3, 1] = 21
    assert e.elemnodes[1, 0] == 17
    assert e.elemnodes[3, 1] == 21


@pytest.mark.parametrize(
    "release",
    [
        lambda h: setattr(h, "plythickness", None),
        lambda h: delattr(h, "plythickness"),
        lambda h: setattr(h, "plythickness", np.zeros((5, 5))),
        lambda h: _kestro.datahandling.deallocall(),
    ],
    ids=["assign-none", "del", "recreate", "deallocall"],
)
def test_view_outlives_release_of_the_array(release):
    s = _kestro.sectiondata
    s.plythickness = np.arange(6.0).reshape(3, 2)
    view = s.plythickness
    release(s)
    np.testing.assert_array_equal(view, np.arange(6.0).reshape(3, 2))
    view[0, 0] = 42.0  # the memory still belongs to the view
    assert view[0, 0] == 42.0
    current = s.plythickness
    assert current is None or current.shape == (5, 5) and np.all(current == 0.0)


def test_dropping_an_absent_array_is_harmless():
    m = _kestro.materialdata
    m.cuprops = None
    del m.cuprops
    assert m.cuprops is None


@pytest.mark.parametrize(
    "module, name, shape",
    [
        ("materialdata", "peprops", (0, 2, 1)),
        ("elementdata", "elemlist", (0,)),
        ("sectiondata", "sestress", (6, 0, 0, 3)),
    ],
)
def test_empty_extent_arrays_exist(module, name, shape):
    holder = getattr(_kestro, module)
    setattr(holder, name, np.zeros(shape, DTYPES[DECLARED[module][name].kind]))
    value = getattr(holder, name)
    assert value is not None
    assert value.shape == shape


def test_integer_array_limits_are_accepted():
    limits = np.array([[-(2**31), 2**31 - 1]], np.int64)
    _kestro.materialdata.matidlist = limits
    np.testing.assert_array_equal(_kestro.materialdata.matidlist, limits)


@pytest.mark.parametrize(
    "source",
    [np.array([[1, 2]], np.int64), np.array([[1, 2]], np.uint16), np.array([[True, False]])],
    ids=["int64", "uint16", "bool"],
)
def test_integer_kinds_convert_into_integer_arrays(source):
    _kestro.materialdata.matidlist = source
    np.testing.assert_array_equal(_kestro.materialdata.matidlist, source.astype(np.int32))


def test_integers_convert_into_real_arrays():
    _kestro.loaddata.dprops = np.array([[1, -2], [3, 4]], np.int64)
    assert _kestro.loaddata.dprops.dtype == np.float64
    np.testing.assert_array_equal(_kestro.loaddata.dprops, [[1.0, -2.0], [3.0, 4.0]])


@pytest.mark.parametrize(
    "module, name, value, expected",
    [
        ("sectiondata", "nsec", 7, 7),
        ("sectiondata", "nplies", np.int64(-3), -3),
        ("damagedata", "ndmg", np.array([4]), 4),
        ("debugdata", "unitid", 2**31 - 1, 2**31 - 1),
        ("shokriehdata", "dnf", 0.75, 0.75),
        ("shokriehdata", "dnfshok", 3, 3.0),
    ],
)
def test_scalar_assignment(module, name, value, expected):
    holder = getattr(_kestro, module)
    setattr(holder, name, value)
    read = getattr(holder, name)
    assert isinstance(read, np.ndarray) and read.shape == ()
    assert read.item() == expected
    assert read.dtype == DTYPES[DECLARED[module][name].kind]


@pytest.mark.parametrize("name", PATH_STRINGS)
@pytest.mark.parametrize("value", ["/data/job", b"/data/job"], ids=["str", "bytes"])
def test_path_string_is_blank_padded(name, value):
    setattr(_kestro.jobdata, name, value)
    read = getattr(_kestro.jobdata, name)
    assert read.shape == ()
    assert read.item() == b"/data/job".ljust(256)
    assert bytes(read) == b"/data/job" + b" " * 247


@pytest.mark.parametrize("module, name, length", [("jobdata", "jobfilepath", 256), ("jobdata", "joboutdir", 256),
                                                   ("errorhandling", "errstring", 80)])
def test_a_string_is_never_cut(module, name, length):
    holder = getattr(_kestro, module)
    setattr(holder, name, "p" * length + "   ")  # only blanks beyond the length
    assert bytes(getattr(holder, name)) == b"p" * length
    for value in ["q" * (length + 1), "q" * length + "  /x", b"q" * 300]:
        with pytest.raises(_kestro.error, match=f"{module}.{name} holds {length} characters"):
            setattr(holder, name, value)
        assert bytes(getattr(holder, name)) == b"p" * length


def test_shorter_string_replaces_longer_one():
    _kestro.jobdata.jobname = "a-long-job-name"
    _kestro.jobdata.jobname = "b"
    assert bytes(_kestro.jobdata.jobname) == b"b" + b" " * 255


def test_type_constants():
    t = _kestro.types
    values = {n: getattr(t, n).item() for n in ("cb", "i2", "i4", "i8", "sp", "dp", "qp")}
    assert values == {"cb": 1, "i2": 2, "i4": 4, "i8": 8, "sp": 4, "dp": 8, "qp": 16}


def test_type_constants_cannot_change():
    with pytest.raises(_kestro.error):
        _kestro.types.dp = 4
    with pytest.raises(_kestro.error):
        del _kestro.types.dp
    with pytest.raises(ValueError):
        _kestro.types.dp[()] = 4
    assert _kestro.types.dp.item() == 8


@pytest.mark.parametrize(
    "module, name, value",
    [
        ("materialdata", "peprops", np.ones((9, 2))),
        ("materialdata", "temperatures", 5.0),
        ("elementdata", "elemnodes", np.ones((2, 2, 2), np.int32)),
        ("materialdata", "matidlist", np.ones((2, 2))),
        ("materialdata", "matidlist", np.ones((2, 2), np.float32)),
        ("materialdata", "pelimits", np.ones((1, 1, 1), complex)),
        ("materialdata", "matidlist", np.array([["a", "b"]])),
        ("materialdata", "matidlist", np.array([[2**31]])),
        ("materialdata", "matidlist", np.array([[-(2**31) - 1]])),
        ("materialdata", "matidlist", np.array([[2**63]], np.uint64)),
        ("sectiondata", "nsec", 1.5),
        ("sectiondata", "nsec", None),
        ("sectiondata", "nsec", [1, 2]),
        ("sectiondata", "nsec", np.zeros(0, np.int32)),
        ("sectiondata", "nsec", 2**31),
        ("sectiondata", "nsec", np.int64(-(2**31) - 1)),
        ("shokriehdata", "dnf", 1j),
        ("jobdata", "jobname", 5),
        ("jobdata", "jobname", None),
        ("errorhandling", "errstring", 1.0),
    ],
    ids=[
        "array-rank-low", "array-from-scalar", "array-rank-high", "real-into-int",
        "float32-into-int", "complex-into-real", "text-into-int", "int-above-range",
        "int-below-range", "uint64-above-range", "real-into-int-scalar",
        "none-into-scalar", "two-values-into-scalar", "no-value-into-scalar",
        "scalar-above-range", "scalar-below-range", "complex-into-real-scalar",
        "int-into-string", "none-into-string", "real-into-errstring",
    ],
)
def test_bad_assignment_raises(module, name, value):
    holder = getattr(_kestro, module)
    with pytest.raises(_kestro.error):
        setattr(holder, name, value)


@pytest.mark.parametrize(
    "value",
    [np.array([[2**31]], np.uint32), np.array([[2**64 - 1]], np.uint64), np.uint32(2**31)],
    ids=["uint32-array", "uint64-array", "uint32-scalar"],
)
def test_unsigned_overflow_raises(value):
    holder = _kestro.materialdata
    name = "modelid" if np.ndim(value) == 0 else "matidlist"
    with pytest.raises(_kestro.error):
        setattr(holder, name, value)


@pytest.mark.parametrize(
    "value",
    [np.ones((2, 2)), np.ones((2, 2, 2), np.int32), np.array([[1, 2**40]])],
    ids=["real", "wrong-rank", "overflow"],
)
def test_rejected_assignment_leaves_the_array_unchanged(value):
    _kestro.materialdata.matidlist = np.array([[1, 2], [3, 4]])
    with pytest.raises(_kestro.error):
        _kestro.materialdata.matidlist = value
    np.testing.assert_array_equal(_kestro.materialdata.matidlist, [[1, 2], [3, 4]])


@pytest.mark.parametrize(
    "module, name", [("sectiondata", "nsec"), ("shokriehdata", "dnf"), ("jobdata", "jobname")]
)
def test_scalars_and_strings_cannot_be_deleted(module, name):
    holder = getattr(_kestro, module)
    with pytest.raises(_kestro.error):
        delattr(holder, name)


def test_misspelt_variable_raises():
    # A typo must not silently create a new attribute that the library never reads.
    with pytest.raises(_kestro.error):
        _kestro.materialdata.pepropz = np.ones((9, 1, 1))
    assert not hasattr(_kestro.materialdata, "pepropz")
