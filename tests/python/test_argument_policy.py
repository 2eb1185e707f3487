"""One argument policy for every routine offered to Python: ranks, kinds and
ranges, None, read-only arrays, strings, extents, and what callables get and
give back."""

import json
import os
import textwrap
from pathlib import Path

import numpy as np
import pytest

import _kestro
from conftest import GENERATED, MODULES

m = _kestro.math
u = _kestro.utility
s = _kestro.stringhandling
DATA = Path(__file__).resolve().parents[1] / "data"

ROUTINE_MODULES = sorted(name for name, module in MODULES.items() if module["python"] and module["routines"])

# Runs in a fresh interpreter: every routine of one module, enumerated from the
# module object, with one bad argument at a time; the others hold values the
# checks accept.  Prints the cases that did not raise as they should.
BAD_ARGUMENTS = textwrap.dedent("""
    import json, sys
    import numpy as np
    import _kestro

    module_name, metadata = sys.argv[1], json.load(open(sys.argv[2]))[sys.argv[1]]["routines"]
    module = getattr(_kestro, module_name)
    DTYPES = {"int4": np.int32, "real8": np.float64, "complex16": np.complex128, "logical1": np.int8,
              "int1": np.int8, "real4": np.float32, "int8": np.int64, "logical4": np.int32}

    def array(arg, rank=None, value=1):
        # Extents of 2, or the literal extent a dimension must have.
        rank = arg["rank"] if rank is None else rank
        fixed = arg.get("fixed", []) + [-1] * 8
        shape = tuple(f if f >= 0 else 2 for f in fixed[:rank]) if rank >= 0 else (max(arg.get("shaped", 0), 3),)
        return np.full(shape, value, DTYPES[arg["type"]], order="F")

    def good(arg):
        kind = arg["kind"]
        if kind == "array":
            return array(arg) if arg["type"] != "char" else np.array([b"a"])
        if kind == "scalar":
            return DTYPES[arg["type"]](1)
        if kind == "string":
            return b"a"
        return lambda *args: (_ for _ in ()).throw(AssertionError("called"))

    routines = [n for n in dir(module) if n in metadata]
    assert sorted(routines) == sorted(metadata), "routines of the module and the signature files differ"
    failures, count = [], 0
    for name in routines:
        declared = [a for a in metadata[name]["python"] if a["kind"] not in ("extra_args", "overwrite")]
        base = {a["name"]: good(a) for a in declared if a["required"]}
        cases = []
        for a in declared:
            if a.get("type") == "char":
                continue
            if a["kind"] == "array" and a["rank"] >= 0:
                cases.append((a["name"], {a["name"]: array(a, a["rank"] + 1)}))
            if a["kind"] == "array" and (a["written"] or a["copy"]):
                frozen = array(a)
                frozen.flags.writeable = False
                extra = {"overwrite_" + a["name"]: 1} if a["copy"] else {}
                cases.append((a["name"], {a["name"]: frozen, **extra}))
            if a["required"]:
                cases.append((a["name"], {a["name"]: None}))
            if a.get("type") == "int4":
                big = np.int64(2**40) if a["kind"] == "scalar" else array(a, value=0).astype(np.int64) + 2**40
                cases.append((a["name"], {a["name"]: big}))
                if a["kind"] == "scalar":
                    cases.append((a["name"], {a["name"]: 1.5}))
        # Values of the wrong kind that only _kestro.error may refuse: an array-like for
        # an argument updated in place, a flag, extra arguments, a callable, a string.
        strict = [(a["name"], {a["name"]: array(a).tolist()}) for a in declared if a.get("inout")]
        for a in metadata[name]["python"]:
            wrong = {"overwrite": "yes", "extra_args": [1], "procedure": 1, "string": "\\udcff"}.get(a["kind"])
            if wrong is not None:
                strict.append((a["name"], {a["name"]: wrong}))
        for argument, change in cases + strict:
            count += 1
            print(name, argument, flush=True)  # the last case printed names a crash
            try:
                getattr(module, name)(**{**base, **change})
            except (_kestro.error, TypeError) as exc:
                if argument not in str(exc) or (type(exc) is TypeError and (argument, change) in strict):
                    failures.append(f"{name}({argument}): {type(exc).__name__}: {exc}")
            else:
                failures.append(f"{name}({argument}): no error")
    print(json.dumps({"cases": count, "failures": failures}))
""")


@pytest.mark.parametrize("module", ROUTINE_MODULES)
def test_every_routine_refuses_each_bad_argument(module, run_python, tmp_path):
    script = tmp_path / "bad_arguments.py"
    script.write_text(BAD_ARGUMENTS)
    result = run_python(f"import runpy, sys; sys.argv = ['x', {module!r}, {str(GENERATED / 'modules.json')!r}]; "
                        f"runpy.run_path({str(script)!r}, run_name='__main__')")
    out = result.stdout.decode().splitlines()
    assert result.returncode == 0, f"crashed after {out[-1:]}: {result.stderr.decode()[-2000:]}"
    report = json.loads(out[-1])
    assert report["cases"] > 0 and report["failures"] == []


@pytest.mark.parametrize("call,message", [
    (lambda: m.matrixinverse(np.ones((2, 2, 2))), "rank 2, not 3"),
    (lambda: u.real_vectorcopy(np.ones((2, 3))), "rank 1, not 2"),
    (lambda: m.trace(np.ones((2, 3))), "square"),
    (lambda: m.matrixinverse(np.ones((2, 3))), "square"),
    (lambda: u.int_findlocation(1, np.array([2**32 + 1, 1])), "does not fit"),
    (lambda: u.int_findlocation(1.5, [1, 2]), "integer values"),
    (lambda: u.linspace(0.0, 1.0, 2.5), "integer values"),
    (lambda: m.matrixinverse(np.ones((2, 2), complex)), "real values"),
    (lambda: m.matrixinverse(None), "not None"),
    (lambda: u.real_inc(1.0, "x"), "real values"),
    (lambda: s.uppercase(3, 3), "takes a string"),
    (lambda: m.cuberoot(np.longdouble(10) ** 400), "finite value that does not fit its real type"),  # not inf
    (lambda: m.vectornormalize(np.full(2, np.longdouble(10) ** 400)), "finite value that does not fit its real type"),
])
def test_reproductions_raise(call, message):
    with pytest.raises((_kestro.error, TypeError), match=message):
        call()


def read_only(shape, dtype=float):
    a = np.ones(shape, dtype, order="F")
    a.flags.writeable = False
    return a


@pytest.mark.parametrize("call", [
    lambda: m.matrixeigenvectors(np.eye(2), eigvals=read_only(2), overwrite_eigvals=1),
    lambda: u.real_fillvectorwithscalar(read_only(3), 2.0),
    lambda: u.matrixsort(np.frombuffer(b"\0" * 32).reshape(2, 2, order="F"), np.eye(2), [1], overwrite_a=1),
    lambda: m.gssafe(read_only(()), np.array(0.0), 0.1, np.zeros(4), np.zeros(4), np.zeros(4), np.zeros(4),
                     np.zeros(2), *(np.array(0, np.int32) for _ in range(3)), *(np.array(0, np.int8) for _ in range(3)),
                     0.0),
])
def test_arrays_written_in_place_must_be_writeable(call):
    with pytest.raises(_kestro.error, match="read-only"):
        call()


def test_a_read_only_memory_map_is_refused_not_written(tmp_path):
    path = tmp_path / "a.bin"
    np.arange(4.0).tofile(path)
    mapped = np.memmap(path, float, "r", shape=(2, 2), order="F")
    with pytest.raises(_kestro.error, match="read-only"):
        u.matrixsort(mapped, np.eye(2), [1], overwrite_a=1)
    assert np.fromfile(path).tolist() == [0.0, 1.0, 2.0, 3.0]
    # Without overwrite the routine works on a copy and returns it.
    np.testing.assert_array_equal(u.matrixsort(mapped, np.eye(2), [1]), [[1.0, 2.0], [0.0, 3.0]])


def test_extents_beyond_four_bytes_raise_instead_of_overflowing(run_python):
    result = run_python("""
        import numpy as np, _kestro
        for call in (lambda: _kestro.math.kroneckerproduct(np.ones((65536, 1)), np.ones((65537, 1))),
                     lambda: _kestro.utility.int_getmerged(np.ones(1, np.int32), np.ones(1, np.int32),
                                                            nx=2**31 - 1, ny=2**31 - 1)):
            try:
                call()
            except (_kestro.error, TypeError, ValueError) as exc:
                print(type(exc).__name__)
    """)
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout.decode().split() == ["error", "error"]


@pytest.mark.parametrize("call", [
    lambda n: s.extract("abc", "a", "c", n),
    lambda n: s.ctrim("abc", n),
    lambda n: s.int2aformat(np.ones((1, 3), np.int32), "(3i4)", 4, n),
    lambda n: s.reduceblanks("a  b", n),
])
def test_string_results_beyond_four_byte_lengths_raise(call):
    # With the terminator the conversion adds, 2^31 - 1 characters overflow a 4-byte length.
    with pytest.raises(_kestro.error, match="2147483647 characters"):
        call(2**31 - 1)


@pytest.mark.parametrize("value,expected", [
    (bytearray(b"abc"), b"ABC"),
    (memoryview(b"abc"), b"ABC"),
    (np.array(b"abc"), b"ABC"),
    ("\u00e9a", "\u00e9A".encode()),  # UTF-8, only the ASCII letters mapped
    (b"a\x00b", b"A\x00B"),
])
def test_strings_are_taken_whole(value, expected):
    assert s.uppercase(value, len(expected)) == expected


def test_a_numpy_bytes_array_keeps_what_follows_a_nul():
    assert s.tally(np.array(b"x\x00x"), "x") == 2


def test_integer_helpers_wrap_around():
    assert u.int_inc(2**31 - 1) == -(2**31)
    assert u.int_inc(-(2**31), -1) == 2**31 - 1


def test_a_callable_may_keep_the_arrays_it_was_given():
    kept = []

    def f(x, args, nfun):
        kept.append(args)
        return x * x - 2.0, 2.0 * x

    m.bdsafe(f, 0.0, 2.0, [3.0, 4.0], 1e-12, 100, 0)
    scratch = [np.full(1000, -1.0) for _ in range(50)]  # reuse what the routine freed
    assert len(kept) > 3 and all(a.tolist() == [3.0, 4.0] for a in kept)
    del scratch


@pytest.mark.parametrize("returned,message", [
    (None, "must return 2 numbers"), ((1.0,), "must return 2 numbers"), ((1.0, 2.0, 3.0), "must return 2 numbers"),
    (("a", 1.0), "returned f = 'a'"), ((1j, 1.0), "returned f = 1j"), ((1.0, [2.0, 3.0]), "df = .*not a single"),
])
def test_a_callable_must_return_its_outputs(returned, message):
    with pytest.raises(_kestro.error, match=message):
        m.bdsafe(lambda x, args, nfun: returned, 0.0, 2.0, [], 1e-12, 100, 0)


def test_a_raising_callable_prints_nothing_and_leaks_nothing(run_python):
    result = run_python("""
        import resource, numpy as np, _kestro
        args = np.ones(200_000)
        def fails(fargs, nfun):
            raise ZeroDivisionError
        def run(times):
            for _ in range(times):
                try:
                    _kestro.math.fpsafe(fails, 1.0, args, 1e-12, 10, 0)
                except ZeroDivisionError:
                    pass
        run(20)
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        run(300)
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
    """)
    assert result.returncode == 0 and result.stderr == b"", result.stderr.decode()
    assert int(result.stdout) < 8_000  # kilobytes: flat, where a lost copy per call is 1.6 MB


def test_damage_sets_are_capped_by_every_array_that_holds_them():
    dd, bd = _kestro.damagedata, _kestro.bukdata
    for create in (lambda: setattr(dd, "dmgplane", np.zeros((10, 1))),
                   lambda: setattr(bd, "bukintdatalist", np.zeros((4, 1, 1, 1), np.int32)),
                   lambda: setattr(bd, "bukrealdatalist", np.zeros((12, 1, 1, 1)))):
        _kestro.datahandling.deallocall()
        dd.ndmg = 0
        create()
        _kestro.datahandling.allocatedamagedata(2, 1, 5)
        assert dd.ndmg == 1
        assert dd.generaldds.shape == (3, 2, 1)


def test_string_variables_are_not_written_through_their_views():
    view = _kestro.jobdata.jobname
    with pytest.raises(ValueError):
        view[...] = b"abc"
    _kestro.jobdata.jobname = "abc"
    assert bytes(_kestro.jobdata.jobname) == b"abc".ljust(256)


def test_the_generated_module_is_the_patched_one():
    # The patches of the generated wrapper are in place (the build fails when one finds nothing).
    text = (GENERATED / "_kestromodule.c").read_text()
    assert "longjmp(" not in text and "kestro_extent(" in text and "kestro_lend_array(" in text
    assert os.path.exists(GENERATED / "modules.json")


def test_arrays_a_routine_updates_come_back_as_copies():
    # Only a declared in-place form or a reverse-communication state writes into the caller's array.
    written = [(module, name, a["name"]) for module, data in MODULES.items() if data["python"]
               for name, routine in data["routines"].items() for a in routine["python"]
               if a["kind"] == "array" and a["written"] and not (a["inplace"] or a["inout"])]
    assert written == []


@pytest.mark.parametrize("call", [
    lambda: m.matrixinverse(np.eye(3), n=2),                       # a leading extent below the array's
    lambda: m.matrixproduct(np.ones((3, 2)), np.ones((2, 2)), l=2),
    lambda: u.matrixcopy(np.ones((3, 2)), n=2),
    lambda: s.int2aformat(np.ones((3, 1), np.int32), "(I2)", 2, 6, n=2),
    lambda: m.rootmeansquareerror(np.ones(3), [1, 1, 1, 100]),     # paired vectors of other lengths
    lambda: m.rootmeansquareerror(np.ones(4), [1, 1, 1]),
    lambda: m.meanabsoluteerror(np.ones(3), np.ones(4)),
    lambda: m.euclideandistance(np.ones(4), np.ones(3)),
    lambda: m.vectormodalassurancecriterion(np.ones(3), np.ones(4)),
    lambda: _kestro.iohandling.getelementdataextents(2**31 - 1, 1, 1, "S4R"),
])
def test_extents_that_do_not_match_the_arrays_raise(call):
    with pytest.raises(_kestro.error):
        call()


@pytest.mark.parametrize("call,expected", [
    (lambda: m.shoelacemethod([0, 1, 1, 0.0], [0, 0, 1, 1.0], 3), 0.5),  # the first three vertices
    (lambda: m.rootmeansquareerror([1.0, 2.0, 5.0], [1.0, 2.0, 9.0, 7.0], n=2), 0.0),
    (lambda: s.translate("abc", np.array([[97, 65], [98, 66]], np.int32), 3, nc=1), b"Abc"),
    (lambda: s.copya2s(np.array([[b"a", b"b"], [b"c", b"d"], [b"e", b"f"]]), n=2), b"ac"),
    (lambda: s.copya2s(np.zeros((3, 0), "S1")), b"   "),
    (lambda: m.trapezoidintegration([], []), 0.0),  # empty arrays: n = 0 as the C form takes it
    (lambda: m.shoelacemethod([], []), 0.0),
    (lambda: _kestro.imageprocessing.polygon(0.0, 0.0, [], []), -1.0),
    (lambda: m.getcentroid([], []), [0.0, 0.0]),
    (lambda: m.getabvector([], []), []),
    (lambda: m.euclideanangle([], []), np.pi),
    (lambda: m.complexstepderivative(np.zeros(0, complex), np.zeros(0, complex)), []),
    (lambda: m.gradient(np.zeros((2, 0)), []), np.zeros((2, 0))),
])
def test_extents_within_the_arrays_and_empty_arrays(call, expected):
    result = call()
    if isinstance(expected, bytes):
        assert result == expected
    else:
        np.testing.assert_array_equal(result, expected)


@pytest.mark.parametrize("array,call", [
    (np.zeros(3, np.uint8), lambda a: u.int_fillvectorwithscalar(a, 300)),
    (np.zeros(3, np.int32), lambda a: u.real_fillvectorwithscalar(a, 5.5)),
    (np.zeros(3, np.float32), lambda a: u.real_fillvectorwithscalar(a, 1e300)),
    (np.ma.masked_array(np.zeros(3), [0, 1, 0]), lambda a: u.real_fillvectorwithscalar(a, 1.0)),
])
def test_values_the_callers_array_cannot_hold_are_refused(array, call):
    before = np.array(array)
    with pytest.raises(_kestro.error):
        call(array)
    np.testing.assert_array_equal(np.array(array), before)


def test_limits_hold_before_any_copy_or_allocation(run_python):
    # Under a 4 GB address limit: a broadcast array of 2^31 + 1 entries is refused before it
    # is copied, int2aformat writes 12 characters without a field of jmax, and a table the
    # machine cannot hold ends the process with the library's message.
    result = run_python(f"""
        import resource, shutil, sys, tempfile, numpy as np, _kestro
        resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
        try:
            _kestro.utility.int_vectorcopy(np.broadcast_to(np.ones(1, np.int32), (2**31 + 1,)))
        except _kestro.error as exc:
            print("refused", "2147483649" in str(exc))
        print(_kestro.stringhandling.int2aformat(np.ones((1, 3), np.int32), "(3i4)", 2**31 - 1, 12))
        work = tempfile.mkdtemp()
        shutil.copy({str(DATA / "DamageCard.zrv")!r}, work)
        _kestro.iohandling.getdamagedatafromfile("absent.inp", work, 3, 1)
        sys.stdout.flush()
        _kestro.iohandling.getdamagedatafromfile("absent.inp", work, 2**31 - 1, 1)
    """)
    assert result.stdout.decode().split("\n")[:2] == ["refused True", "b'111         '"]
    assert result.returncode == 1 and result.stderr.decode().startswith("Error allocating ")


def test_a_failing_tangent_callable_leaks_nothing(run_python):
    result = run_python("""
        import resource, numpy as np, _kestro
        def raises(strain, props, ntens, ndi, nprops):
            raise ZeroDivisionError
        def none(strain, props, ntens, ndi, nprops):
            return None
        def run(times):
            for f in (raises, none):
                for _ in range(times):
                    try:
                        _kestro.elasticity.getnumericaltangent(f, np.ones(9), np.zeros(6), np.zeros(6), np.zeros(6), 3,
                                                               False)
                    except (ZeroDivisionError, _kestro.error):
                        pass
        run(1000)
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        run(50000)
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
    """)
    assert result.returncode == 0, result.stderr.decode()
    assert int(result.stdout) < 4_000  # kilobytes: flat, where 224 bytes a call are 22 MB


def test_help_shows_the_signature_comments_without_internal_helpers():
    import pydoc
    text = pydoc.render_doc(_kestro.lamina.getnyestiffnessmatrix)
    assert "c(ntens, ntens) = the ply stiffness in Nye order" in text and "Wrapper for" not in text
    assert "bounds (ntens,ntens)" in text and "bounds (n - abs(k))" in _kestro.math.matrixdiagonal.__doc__
    helpers = [f"{name}.{r}" for name in ROUTINE_MODULES for r in MODULES[name]["routines"]
               if "kestro_" in (getattr(getattr(_kestro, name), r).__doc__ or "")]
    assert not helpers


def unit_root(x, args, nfun):
    return x * x - 1.0, 2.0 * x


@pytest.mark.parametrize("call,argument", [
    *[(lambda flag=flag: m.matrixeigenvectors(np.eye(2), eigvals=-np.ones(2), overwrite_eigvals=flag),
       "overwrite_eigvals") for flag in ("yes", 2**100, [1, 0], 1.0)],
    (lambda: m.bdsafe(unit_root, 0.0, 2.0, [], 1e-12, 100, 0, dfunc_extra_args=[1.0]), "dfunc_extra_args"),
    (lambda: m.bdsafe(1.5, 0.0, 2.0, [], 1e-12, 100, 0), "dfunc"),
    (lambda: s.uppercase("a\ud800", 2), "s"),  # a lone surrogate has no UTF-8 bytes
])
def test_flags_extra_arguments_callables_and_strings_of_the_wrong_kind_raise(call, argument):
    with pytest.raises(_kestro.error, match=f"argument {argument} "):
        call()


@pytest.mark.parametrize("call,expected", [
    (lambda: m.matrixeigenvectors(np.diag([2.0, 1.0]), eigvals=-np.ones(2), overwrite_eigvals=None)[1], [1.0, 2.0]),
    (lambda: m.matrixeigenvectors(np.diag([2.0, 1.0]), eigvals=-np.ones(2), overwrite_eigvals=np.int8(1))[1],
     [1.0, 2.0]),
    (lambda: m.bdsafe(unit_root, 0.0, 2.0, [], 1e-12, 100, 0, dfunc_extra_args=None)[0], 1.0),
])
def test_none_for_a_flag_or_extra_arguments_is_their_default(call, expected):
    np.testing.assert_allclose(call(), expected, rtol=1e-12)


def test_a_string_variable_refuses_a_str_without_utf8_bytes():
    with pytest.raises(_kestro.error, match="jobdata.jobname takes a string"):
        _kestro.jobdata.jobname = "\udcff"
