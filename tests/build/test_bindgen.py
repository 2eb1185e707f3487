"""The generator of the declarations, on signature files of its own."""

import re
import sys
import tempfile
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import bindgen  # noqa: E402
from kestro_bindgen.f2py_module import Patches  # noqa: E402
from kestro_bindgen.templates import expand_templates  # noqa: E402


@pytest.mark.parametrize("text,expected", [
    # Tables multiply, the first one outermost; ${} takes expressions.
    ('!kestro template (T, K) in [("int", 4), ("real", 8)]\n'
     '!kestro template R in [1, 2]\n'
     "x ${T}${R} ${K * R}\n"
     "!kestro end template\n",
     "x int1 4\nx int2 8\nx real1 8\nx real2 16\n"),
    # A line repeats for each value of an each-directive, seq spells out lists.
    ("!kestro template R in [3]\n"
     "s(a,${seq('n', R)})\n"
     "n${i} = shape(a,${i - 1})  !kestro each i in range(1, R + 1)\n"
     "!kestro end template\n",
     "s(a,n1,n2,n3)\nn1 = shape(a,0)\nn2 = shape(a,1)\nn3 = shape(a,2)\n"),
    ("no template\n", "no template\n"),
])
def test_templates_expand(text, expected):
    assert expand_templates(text, "t.pyf") == expected


@pytest.mark.parametrize("text,message", [
    ("!kestro template R in [1]\nx\n", "without 'end template'"),
    ("!kestro template R in [1]\n!kestro end template\n!kestro end template\n", "outside a template"),
    ("!kestro template R in [1]\nx\n!kestro template Q in [2]\n!kestro end template\n", "do not nest"),
    ("!kestro template (A, B) in [(1,)]\n!kestro end template\n", "does not bind"),
    ("!kestro template R in [1]\n${undefined}\n!kestro end template\n", "cannot evaluate"),
])
def test_template_mistakes_are_reported(text, message):
    with pytest.raises(bindgen.SignatureError, match=message):
        expand_templates(text, "t.pyf")


def test_a_patch_that_matches_nothing_stops_the_build():
    patches = Patches("generated text")
    assert patches.sub("present", "generated", "made", literal=True) == 1
    assert patches.sub("optional", "absent", "x", required=False, literal=True) == 0
    with pytest.raises(bindgen.SignatureError, match=r"matches nothing.*checked with numpy"):
        patches.sub("missing", "absent", "x", literal=True)


SIGNATURES = {
    "a_data.pyf": """! Data of a module that C reaches but Python does not.
!kestro c-only
module boxdata
  integer(kind=4) :: count   ! how many
  real(kind=8), allocatable, dimension(:,:) :: walls   ! per wall
  !kestro keep
  real(kind=8), allocatable, dimension(:) :: caps
end module boxdata
""",
    "b_pkg.pyf": """! A package.
!kestro package
module pkg
contains
  ! ---- Reports.
  ! Reports messg.
  subroutine report(messg,level,out)
    character(len=*), intent(in) :: messg
    integer(kind=4), intent(in) :: level
    real(kind=8), dimension(2), intent(out) :: out
  end subroutine report
  function ok(n)
    logical(kind=4) :: ok
    integer(kind=4), intent(in) :: n
  end function ok
end module pkg
""",
}


def test_c_only_and_package_modules(tmp_path):
    for name, text in SIGNATURES.items():
        (tmp_path / name).write_text(text)
    out = tmp_path / "out"
    assert bindgen.main(["--out", str(out), "--no-python", *map(str, sorted(tmp_path.glob("*.pyf")))]) == 0
    header = (out / "include" / "kestro" / "pkg.h").read_text()
    assert "/* ---- Reports. */\n/* Reports messg. */\n" in header
    assert ("KESTRO_API void report_(const char *messg, const int32_t *level, double *out, "
            "size_t messg_len);") in header
    assert "KESTRO_API int32_t ok_(const int32_t *n);" in header
    data = (out / "include" / "kestro" / "boxdata.h").read_text()
    assert "KESTRO_API extern int32_t __boxdata_MOD_count;  /* how many */" in data
    assert "KESTRO_API extern kestro_array __boxdata_MOD_walls;  /* 8-byte real, rank 2: per wall */" in data
    shared = (out / "core" / "shared_data.cpp").read_text()
    released = shared.split("released_by_deallocall")[1].split("};")[0]
    kept = shared.split("kept_by_deallocall")[1].split("};")[0]
    assert "boxdata::walls" in released and "boxdata::caps" in kept
    assert (out / "exports.txt").read_text().split() == sorted(
        ["__boxdata_MOD_count", "__boxdata_MOD_walls", "__boxdata_MOD_caps", "report_", "ok_"])
    assert "boxdata" not in (out / "_kestro.pyf").read_text()
    assert '"kestro/pkg.h"' in (out / "include" / "kestro" / "kestro.h").read_text()


# Module names as written, and in mixed case (Fortran names ignore case: the files are named in lower case).
@pytest.mark.parametrize("spell", [str, str.title], ids=["lower case", "mixed case"])
def test_a_run_writes_exactly_the_listed_outputs_and_stops_when_the_list_is_out_of_date(tmp_path, capsys, spell):
    for name, text in SIGNATURES.items():
        (tmp_path / name).write_text(re.sub(r"(?m)^((?:end )?module) (\w+)$", lambda m: f"{m[1]} {spell(m[2])}", text))
    out, manifest = tmp_path / "out", tmp_path / "out" / "outputs.txt"
    run = ["--out", str(out), "--no-python", "--manifest", str(manifest), *map(str, sorted(tmp_path.glob("*.pyf")))]
    assert bindgen.main([*run, "--list-outputs"]) == 0
    assert bindgen.main(run) == 0
    made = sorted(p.relative_to(out).as_posix() for p in out.rglob("*") if p.is_file() and p != manifest)
    assert manifest.read_text().split() == made
    (tmp_path / "a_data.pyf").write_text(SIGNATURES["a_data.pyf"].replace("boxdata", "walldata"))
    assert bindgen.main(run) == 1
    assert "new: decl/walldata.hpp, include/kestro/walldata.h; gone: decl/boxdata.hpp" in capsys.readouterr().err
    assert "decl/walldata.hpp" in manifest.read_text() and not (out / "decl" / "boxdata.hpp").exists()
    assert bindgen.main(run) == 0


def test_configuring_after_a_module_is_renamed_removes_its_old_headers(tmp_path):
    for name, text in SIGNATURES.items():
        (tmp_path / name).write_text(text)
    out = tmp_path / "out"
    run = ["--out", str(out), "--no-python", "--manifest", str(out / "outputs.txt"),
           *map(str, sorted(tmp_path.glob("*.pyf")))]
    assert bindgen.main([*run, "--list-outputs"]) == 0 and bindgen.main(run) == 0
    (tmp_path / "a_data.pyf").write_text(SIGNATURES["a_data.pyf"].replace("boxdata", "walldata"))
    assert bindgen.main([*run, "--list-outputs"]) == 0  # the build configured again before it runs the generator
    assert not (out / "decl" / "boxdata.hpp").exists() and not (out / "include" / "kestro" / "boxdata.h").exists()
    assert bindgen.main(run) == 0


@pytest.mark.parametrize("text,message", [
    ("!kestro package\nmodule p\n  integer(kind=4) :: n\nend module p\n", "hold no data"),
    ("module p\n  !kestro keep\n  integer(kind=4) :: n\nend module p\n", "only allocatable arrays"),
    ("!kestro frobnicate\nmodule p\nend module p\n", "unknown directive"),
])
def test_signature_mistakes_are_reported(tmp_path, text, message):
    (tmp_path / "p.pyf").write_text(text)
    (tmp_path / "q.pyf").write_text("!kestro c-only\nmodule q\n  integer(kind=4) :: m\nend module q\n")
    with pytest.raises(bindgen.SignatureError, match=message):
        fragments = [bindgen.read_fragment(p) for p in sorted(tmp_path.glob("*.pyf"))]
        for f in fragments:
            f.notes.c_only = True  # crack without the extension module
        bindgen.load(fragments, tmp_path)


def test_callables_get_copies_and_give_back_what_they_may_update(tmp_path):
    (tmp_path / "law.pyf").write_text("""python module law__user__routines
  interface
    !kestro typedef law_function
    subroutine law(stress,strain,n,energy)
      real(kind=8), dimension(n), intent(inout) :: stress
      real(kind=8), dimension(n), intent(in) :: strain
      integer(kind=4), intent(hide), depend(strain) :: n = len(strain)
      real(kind=8), intent(out) :: energy
    end subroutine law
  end interface
end python module law__user__routines
module laws
contains
  subroutine drive(law,strain,n,energy)
    use law__user__routines
    external law
    real(kind=8), dimension(n), intent(in) :: strain
    integer(kind=4), optional, intent(in), depend(strain) :: n = len(strain)
    real(kind=8), intent(out) :: energy
  end subroutine drive
end module laws
""")
    out = tmp_path / "out"
    assert bindgen.main(["--out", str(out), str(tmp_path / "law.pyf")]) == 0
    text = (out / "_kestromodule.c").read_text()
    callback = text[text.index("static void cb_law_in_law__user__routines ("):]
    callback = callback[:callback.index("end of cb_law_in_law__user__routines")]
    assert callback.count("kestro_lend_array(") == 2
    assert ("kestro_take_back((PyObject *)capi_arglist, 0, (char *)stress, 1, stress_Dims, NPY_DOUBLE, "
            '"law", "stress") != 0) Py_CLEAR(capi_return);') in callback
    assert 'kestro_callback_returned(capi_return, 1, "law", "energy", "n")' in callback
    assert "longjmp(" not in callback and "fprintf(stderr" not in callback
    glue = (out / "kestro_f2py_glue.cpp").read_text()
    assert "with_procedure<law_function, 0>(law," in glue


LISTS = '''! A point.
!kestro list point
    !kestro returns s e  !kestro only routine
    real(kind=8), dimension(n), intent(in,out) :: s
    real(kind=8), intent(${lent}) :: e
    integer(kind=4), optional, intent(in), depend(s) :: n = len(s)
    integer(kind=4), intent(in) :: k${i}  !kestro each i in range(1, 3)
!kestro end list
'''


def test_an_argument_list_is_instantiated_by_role(tmp_path):
    (tmp_path / "lists.inc").write_text(LISTS)
    (tmp_path / "m.pyf").write_text('''!kestro include "lists.inc"
! The point without k2.
!kestro list short from point without k2
python module m__user__routines
  interface
    !kestro typedef point_law
    subroutine law(${arguments("point")})
      !kestro arguments point
    end subroutine law
  end interface
end python module m__user__routines
module m
contains
  subroutine drive(law,${arguments("point")},x)
    use m__user__routines
    external law
    !kestro arguments point
    real(kind=8), intent(in) :: e
    real(kind=8), intent(out) :: x
  end subroutine drive
  subroutine bare(${arguments("short")})
    !kestro returns s
    !kestro arguments short
  end subroutine bare
end module m
''')
    fragment = bindgen.read_fragment(tmp_path / "m.pyf")
    text = fragment.text
    law = text[text.index("subroutine law("):text.index("end subroutine law")]
    assert "subroutine law(s,e,n,k1,k2)" in law and "intent(inout) :: e" in law and "returns" not in law
    drive = text[text.index("subroutine drive("):text.index("end subroutine drive")]
    assert "!kestro returns s e" in drive and "intent(in,out) :: e" not in drive  # its own e
    bare = text[text.index("subroutine bare("):text.index("end subroutine bare")]
    assert "bare(s,e,n,k1)" in bare and "k2" not in bare.split(")", 1)[1] and "returns s e" not in bare
    assert fragment.instances == {"m__user__routines.law": ("point", set()), "drive": ("point", {"e"}),
                                  "bare": ("short", set())}
    assert fragment.lists["point"].doc == ["A point."] and fragment.lists["short"].doc == ["The point without k2."]


@pytest.mark.parametrize("body,message", [
    ("  subroutine r(a)\n    !kestro arguments nolist\n  end subroutine r\n", "no argument list 'nolist'"),
    ("  subroutine r(e,s)\n    !kestro arguments point\n  end subroutine r\n", "do not hold list point in order"),
    ("  !kestro arguments point\n", "outside a routine"),
    ('  subroutine r(${arguments("other")})\n  end subroutine r\n', "no argument list 'other'"),
    ('  subroutine r(${arguments("point")},x)\n    real(kind=8), intent(in) :: x\n  end subroutine r\n',
     r"r names the arguments of list point in its header without the line '!kestro arguments point'"),
    ("  subroutine r(s,e,n,k1)\n    !kestro arguments point without k2\n  end subroutine r\n", "names one list"),
    ("!kestro list short from other without k2\n", "derives from 'other'"),
    ("!kestro list short from point without k3\n", "leaves out k3, not in list point"),
])
def test_argument_list_mistakes_are_reported(tmp_path, body, message):
    (tmp_path / "m.pyf").write_text(LISTS + "module m\ncontains\n" + body + "end module m\n")
    with pytest.raises(bindgen.SignatureError, match=message):
        bindgen.read_fragment(tmp_path / "m.pyf")


def test_a_list_that_two_files_derive_differently_is_reported(tmp_path, capsys):
    for name, left_out in (("m1", "k1"), ("m2", "k2")):
        (tmp_path / f"{name}.pyf").write_text(f"{LISTS}!kestro list short from point without {left_out}\n"
                                              f"module {name}\n  integer(kind=4) :: n\nend module {name}\n")
    assert bindgen.main(["--out", str(tmp_path / "out"), "--no-python", *map(str, sorted(tmp_path.glob("*.pyf")))]) == 1
    assert "m2.pyf: argument list short differs from the one of m1.pyf" in capsys.readouterr().err


@pytest.mark.parametrize("executable, error", [
    ("/nonexistent/python3", FileNotFoundError),  # numpy.f2py cannot start
    ("/bin/false", None),                          # numpy.f2py fails: the run stops with its message
])
def test_numpy_f2py_leaves_no_work_directory(tmp_path, monkeypatch, capsys, executable, error):
    (tmp_path / "tmp").mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path / "tmp"))
    monkeypatch.setattr(sys, "executable", executable)
    (tmp_path / "b_pkg.pyf").write_text(SIGNATURES["b_pkg.pyf"].replace("!kestro package\n", ""))
    run = ["--out", str(tmp_path / "out"), str(tmp_path / "b_pkg.pyf")]
    if error is None:
        assert bindgen.main(run) == 1 and "numpy.f2py failed" in capsys.readouterr().err
    else:
        with pytest.raises(error):
            bindgen.main(run)
    assert list((tmp_path / "tmp").iterdir()) == []
