"""``_kestromodule.c``: the extension module numpy's generator writes from the
combined signature file, with the named patches that mend its weaknesses; each
patch must find what it replaces."""

from __future__ import annotations

import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from .common import SignatureError, write_if_changed
from .model import Module


# numpy versions whose generated module the patches below were checked against.
# Another version builds as long as every patch still finds what it replaces.
CHECKED_NUMPY_VERSIONS = ("1.24.2",)
CHECKED = f"(checked with numpy {', '.join(CHECKED_NUMPY_VERSIONS)})"


class Patches:
    """Edits of numpy's generated module; one that matches nothing stops the build."""

    def __init__(self, text: str):
        self.text = text

    def sub(self, what: str, pattern: str, repl, required: bool = True, flags: int = 0, literal: bool = False):
        if literal:
            count = self.text.count(pattern)
            self.text = self.text.replace(pattern, repl)
        else:
            self.text, count = re.subn(pattern, repl, self.text, flags=flags)
        if required and count == 0:
            import numpy
            raise SignatureError(
                f"patch '{what}' matches nothing in numpy {numpy.__version__}'s generated module "
                f"{CHECKED}; "
                "update python/kestro_bindgen/f2py_module.py")
        return count


DEF_TABLE_RE = re.compile(r"static FortranDataDef f2py_(\w+?)_def\[\] = \{(.*?)\{NULL\}", re.S)
DEF_ENTRY_RE = re.compile(r'\{"(\w+)",(-?\d+),\{\{([^}]*)\}\},(\w+), *(\d+)')
BUILD_RE = re.compile(r'Py_BuildValue\("([A-Za-z]*)",([^;]*)\);')
KWLIST_RE = re.compile(r'static char \*capi_kwlist\[\] = \{(.*?)NULL\};.*?"[^"\n]*:_kestro\.(\w+)\.(\w+)"', re.S)


def build_with_lengths(match) -> str:
    """Returns string results with their full length, NUL characters included."""
    codes, args = match.group(1), [a.strip() for a in match.group(2).split(",")]
    if "y" not in codes or len(codes) != len(args):
        return match.group(0)
    fmt, out = "", []
    for code, arg in zip(codes, args):
        if code == "y":
            fmt += "y#"
            out.append(f"{arg},(Py_ssize_t)slen({arg})")
        else:
            fmt += code
            out.append(arg)
    return f'Py_BuildValue("{fmt}",{",".join(out)});'


DIMS_RE = re.compile(r"(\w+_Dims\[\d+\]=)([^,;]+)")
CHECK_RE = re.compile(r'(CHECK(?:SCALAR|ARRAY|STRING)\()(.*?)(,")')
IDENT_RE = re.compile(r"\b([A-Za-z_]\w*)\b(?!\s*\()")
STRING_LENGTH_RE = re.compile(r"slen\((\w+)\) = ([^;]+);\n(\s*)f2py_success = string_from_pyobj\(")
LITERAL_RE = re.compile(r"\s*-?\d+\s*")
# The numpy types of the scalars a callable may update, lent as 0-d arrays.
LENT_SCALAR_TYPES = {"double": "NPY_DOUBLE", "int32_t": "NPY_INT"}


def wrapper_region(text: str, start: str, end: str) -> tuple[int, int]:
    a = text.find(start)
    b = text.find(end, a)
    if a < 0 or b < 0:
        raise SignatureError(f"patch: cannot find '{start}' in numpy's generated module {CHECKED}")
    return a, b


def replace_extent(region: str, target: str, make) -> str:
    """The wrapper's dimension statements (`a_Dims[0]=n,a_Dims[1]=m;`) with
    the expression that `target` (`a_Dims[0]=`) assigns replaced by
    make(expression).  The expression ends at the first comma or semicolon
    outside parentheses, so the assignments of the other dimensions stay."""
    out, start = [], 0
    for match in re.finditer(rf"\b{re.escape(target)}", region):
        a = match.end()
        depth, b = 0, a
        while region[b] not in ",;" or depth > 0:
            depth += {"(": 1, ")": -1}.get(region[b], 0)
            b += 1
        out.append(region[start:a] + make(region[a:b]))
        start = b
    return "".join(out) + region[start:]


def patch_extents(patches: Patches, modules: list[Module]):
    """Checks and extents of arrays computed in 64 bits, extents refused when
    they do not fit the routines' 4-byte extents, string lengths refused when
    they and the terminator the conversion adds do not fit a 4-byte integer;
    no array is converted once an argument has failed."""
    text = patches.text
    for m in modules:
        for r in m.routines:
            a, b = wrapper_region(text, f"f2py_rout__kestro_{m.name}_{r.name}(",
                                  f" end of {r.name} *")
            scalars = {x.name for x in r.args if not x.array and not x.callback and x.ctype.startswith("int")}

            def wide(expr):
                return IDENT_RE.sub(lambda i: f"((long)({i.group(1)}))" if i.group(1) in scalars else i.group(1),
                                    expr)

            def extent(match):
                expr = match.group(2)
                if not re.search(r"[-+*/]", expr):
                    return match.group(0)
                return f"{match.group(1)}kestro_extent({wide(expr)})"

            def check(match):
                return match.group(1) + wide(match.group(2)) + match.group(3)

            def string_length(match):
                name, expr, indent = match.groups()
                if LITERAL_RE.fullmatch(expr):
                    return match.group(0)
                return (f'{indent}f2py_success = kestro_string_length(&slen({name}), {wide(expr)}, '
                        f'"{m.name}.{r.name}", "{name}") && string_from_pyobj(')
            region = DIMS_RE.sub(extent, text[a:b])
            region = CHECK_RE.sub(check, region)
            region = STRING_LENGTH_RE.sub(string_length, region)
            left = [s for s in re.findall(r"slen\((\w+)\) = ([^;]+);", region) if not LITERAL_RE.fullmatch(s[1])]
            if left:
                raise SignatureError(f"patch 'string lengths' left the lengths {left} of {m.name}.{r.name} unchecked "
                                     f"{CHECKED}")
            # Extents the runtime has checked are taken from the arrays (-1,
            # or for an optional array the expression when it is not given);
            # the wrapper still checks every other dimension, where numpy
            # would take a stated extent 0 for 1 (kestro_stated_extent).
            for x in r.python_args.values():
                for d, bound in enumerate(x.extents):
                    if bound is not None and x.required:
                        make = lambda e: "-1"
                    elif bound is not None:
                        make = lambda e: f"({x.name}_capi == Py_None ? ({e}) : -1)"
                    elif x.fixed[d] < 0:
                        make = lambda e: f"kestro_stated_extent({x.name}_capi,{x.rank},{d},{e})"
                    else:
                        continue
                    region = replace_extent(region, f"{x.name}_Dims[{d}]=", make)
            text = text[:a] + region + text[b:]
    patches.text = text
    patches.sub("no conversion after a failed argument", r"(capi_\w+_as_array = )ndarray_from_pyobj\(",
                r"\1PyErr_Occurred() ? NULL : ndarray_from_pyobj(",
                required=any(x.array for m in modules for r in m.routines for x in r.args))


def patch_callbacks(patches: Patches, modules: list[Module], callbacks: bool):
    """A callable gets arrays of its own and must return its outputs; the
    generator's messages on standard error are not printed."""
    patches.sub("quiet callbacks", r'^[ \t]*fprintf\(stderr,"(?:capi_return is NULL|Call-back \w+ failed\.)\\n"\);\n',
                "", required=callbacks, flags=re.M)
    patches.sub("arrays lent to callables are copies",
                r"PyArray_New\(&PyArray_Type,\s*(\d+),(\w+)_Dims,(\w+),NULL,\(char\*\)(\w+),1,\s*NPY_ARRAY_FARRAY,NULL\)",
                r"kestro_lend_array(\1,\2_Dims,\3,(char*)\4)", required=callbacks)
    procedures = {(p.block, p.name): p for m in modules for p in m.procedures}
    text = patches.text
    for p in procedures.values():
        function = f"cb_{p.name}_in_{p.block}"
        a, b = wrapper_region(text, f"static void {function} (", f" end of {function} ")
        region = text[a:b]
        names = ", ".join(p.outputs) or "nothing"
        kinds = "".join("a" if x.array else "n" for x in p.args if x.name in p.outputs)
        # A callable that is lent every value it returns may return None
        # instead: what it wrote into them stands.
        lent = bool(p.outputs) and all(o in p.inputs for o in p.outputs)
        checker = "kestro_callback_returned_or_none" if lent else "kestro_callback_returned"
        check = (f"capi_j = PyTuple_Size(capi_return);\n"
                 f"    if ({checker}(capi_return, {len(p.outputs)}, \"{p.name}\", \"{names}\", "
                 f"\"{kinds}\") != 0) goto capi_fail;")
        if region.count("capi_j = PyTuple_Size(capi_return);") != 1:
            raise SignatureError(f"patch 'callable results' found no result count in {function} {CHECKED}")
        region = region.replace("capi_j = PyTuple_Size(capi_return);", check)
        # An array result of the wrong shape or type is reported, not printed.
        for x in [x for x in p.args if x.name in p.outputs and x.array]:
            region = region.replace('fprintf(stderr,"rv_cb_arr is NULL\\n");',
                                    f'kestro_callback_result_refused("{p.name}", "{x.name}");', 1)
        # A number the callable returns is taken as a scalar argument is: one
        # value of the output's kind that fits its type (no NaN or 1.5 for an
        # integer, no complex value for a real), else _kestro.error naming it.
        for x in [x for x in p.args if x.name in p.outputs and not x.array and not x.character]:
            def refused(match, x=x):
                numpy = {"int": "NPY_INT", "double": "NPY_DOUBLE", "complex_double": "NPY_CDOUBLE"}.get(match.group(1))
                if numpy is None:
                    raise SignatureError(f"patch 'numbers returned by callables': no numpy type for {match.group(1)} "
                                         f"({x.name} in {function})")
                return (f'{{ if ((capi_tmp = PyTuple_GetItem(capi_return,capi_i++)) == NULL || '
                        f'!kestro_callback_number(capi_tmp, {numpy}, {x.name}_cb_capi, "{p.name}", "{x.name}")) '
                        f'goto capi_fail; }}')
            scalar = rf'GETSCALARFROMPYTUPLE\(capi_return,capi_i\+\+,{x.name}_cb_capi,(\w+),"[^"\n]*"\);'
            region, found = re.subn(scalar, refused, region)
            if found != 1:
                raise SignatureError(f"patch 'numbers returned by callables' found no single {x.name} in {function} "
                                     f"{CHECKED}")
        # Complex-mode arrays take their type from the running routine's mode.
        for x in p.complex_args:
            replaced = 0
            for pattern in (f"kestro_lend_array(1,{x}_Dims,NPY_DOUBLE,", f"array_from_pyobj(NPY_DOUBLE,{x}_Dims,"):
                replaced += region.count(pattern)
                region = region.replace(pattern, pattern.replace("NPY_DOUBLE", "kestro_switched_type(NPY_DOUBLE)"))
            if replaced != 1:
                raise SignatureError(f"patch 'complex-mode arrays' found no single conversion of {x} in {function} "
                                     f"{CHECKED}")
        # An array the callable returns has its values checked as an
        # argument's, and the values the routine lent, else _kestro.error
        # naming it; the wrapper's conversion alone would cast (a complex
        # array to reals) and take one value where the routine lent none.
        for x in [x for x in p.args if x.name in p.outputs and x.array]:
            converted = re.compile(rf"array_from_pyobj\((\w+(?:\(\w+\))?),{x.name}_Dims,(\d+),F2PY_INTENT_IN\s*"
                                   rf",capi_tmp\)")
            region, found = converted.subn(
                lambda m, x=x: f'kestro_callback_array({m.group(1)},{x.name}_Dims,{m.group(2)},capi_tmp,"{p.name}",'
                               f'"{x.name}")', region)
            if found != 1:
                raise SignatureError(f"patch 'arrays returned by callables' found no single conversion of {x.name} in "
                                     f"{function} {CHECKED}")
        # A scalar the routine lets the callable update is lent as a 0-d
        # array of its own, like the arrays.
        for x in p.args:
            if x.array or x.const or x.callback or x.character or x.name not in p.inputs:
                continue
            numpy = LENT_SCALAR_TYPES.get(x.ctype)
            lent_as = f"kestro_lend_array(0,NULL,{numpy},(char *){x.name}_cb_capi)"
            found = 0
            for given in (f"pyobj_from_{'double' if x.ctype == 'double' else 'int'}1({x.name})",
                          f"pyarr_from_p_{'double' if x.ctype == 'double' else 'int'}1({x.name}_cb_capi)"):
                found += region.count(given)
                region = region.replace(given, lent_as)
            if numpy is None or found != 1:
                raise SignatureError(f"patch 'scalars lent to callables' found no single {x.name} in {function} "
                                     f"{CHECKED}")
        # The lengths of character arguments are size_t, as the routines pass them.
        for x in p.args:
            if x.character:
                region, found = re.subn(rf"\bint {x.name}_cb_len\)", f"size_t {x.name}_cb_len)", region)
                if found != 1:
                    raise SignatureError(f"patch 'string lengths of callbacks' found no length of {x.name} in "
                                         f"{function}")
        # What the callable writes into a value it may update goes back to the
        # routine (when it was given that value), as long as the value still
        # has the size it was lent with.
        call = "capi_return = PyObject_CallObject(cb->capi,(PyObject *)capi_arglist);"

        def taken_back(x):
            if x.array:
                lent = re.findall(rf"kestro_lend_array\((\d+),{x.name}_Dims,(\w+(?:\(\w+\))?),\(char\*\){x.name}\)",
                                  region)
                if len(lent) != 1:
                    raise SignatureError(f"patch 'arrays given back' found no single lending of {x.name} in "
                                         f"{function}")
                (rank, numpy), dims, data = lent[0], f"{x.name}_Dims", x.name
            else:
                rank, dims, data = "0", "NULL", f"{x.name}_cb_capi"
                numpy = LENT_SCALAR_TYPES[x.ctype]
            k = p.inputs.index(x.name)
            return (f"\n    if (capi_return != NULL && cb->nofargs > {k} && kestro_take_back((PyObject *)capi_arglist, "
                    f"{k}, (char *){data}, {rank}, {dims}, {numpy}, \"{p.name}\", \"{x.name}\") != 0) "
                    f"Py_CLEAR(capi_return);")

        back = "".join(taken_back(x) for x in p.args
                       if not x.const and not x.callback and not x.character and x.name in p.inputs)
        if back:
            if region.count(call) != 1:
                raise SignatureError(f"patch 'arrays given back' found no call in {function}")
            region = region.replace(call, call + back)
        text = text[:a] + region + text[b:]
        lengths = sum(1 for x in p.args if x.character)
        if lengths:
            typedef = re.compile(rf"(typedef void\(\*cb_{p.name}_in_{p.block}_typedef\)\([^;]*?)"
                                 rf"((?:,int){{{lengths}}})\);")
            text, found = typedef.subn(lambda m: m.group(1) + ",size_t" * lengths + ");", text)
            if found == 0:
                raise SignatureError(f"patch 'string lengths of callbacks' found no type of cb_{p.name}_in_{p.block}")
    patches.text = text


RESULT_RE = re.compile(r'(capi_buildvalue = Py_BuildValue\("([A-Za-z#]*)",([^;]*)\);\n'
                       r'/\*closepyobjfrom\*/\n/\*end of closepyobjfrom\*/\n\s*\})'
                       r'( /\*if \(f2py_success\) after callfortranroutine\*/)')


def patch_failed_results(patches: Patches):
    """The arrays a wrapper hands over in its result ("N") are released when
    the routine failed after they were made (a callable raised), instead of
    leaking."""
    def release(match):
        codes, args = match.group(2), [a.strip() for a in match.group(3).split(",")]
        owned, k = [], 0
        for i, code in enumerate(codes):
            if code == "#":
                continue
            if code == "N":
                owned.append(args[k])
            k += 2 if i + 1 < len(codes) and codes[i + 1] == "#" else 1
        if not owned:
            return match.group(0)
        freed = " ".join(f"Py_XDECREF({a});" for a in owned)
        return f"{match.group(1)} else {{ {freed} }}{match.group(4)}"
    patches.text, count = RESULT_RE.subn(release, patches.text)
    if count == 0:
        raise SignatureError(f"patch 'failed results released' matches nothing {CHECKED}")


def patch_returned_documentation(patches: Patches, modules: list[Module]):
    """The documentation of a routine that names what its Python form returns
    shows those results alone."""
    text = patches.text
    for m in modules:
        for r in m.routines:
            if r.returns is None:
                continue
            a, b = wrapper_region(text, f"static char doc_f2py_rout__kestro_{m.name}_{r.name}[] = ", '";\n')
            doc = text[a:b]
            head = f"{','.join(r.outputs)} = {r.name}("
            if doc.count(head) != 1:
                raise SignatureError(f"patch 'returned results documented' found no signature of {r.name}")
            doc = doc.replace(head, f"{','.join(r.returns)} = {r.name}(" if r.returns else f"{r.name}(")
            start = doc.find('"\\nReturns\\n-------\\n"')
            end = doc.find('"\\nNotes', start)
            if start >= 0:
                block = doc[start:end if end >= 0 else len(doc)]
                for x in r.outputs:
                    if x not in r.returns:
                        block = re.sub(rf'^"{x} : [^\n]*\\n"\n', "", block, flags=re.M)
                if not r.returns:
                    block = ""
                doc = doc[:start] + block + (doc[end:] if end >= 0 else "")
            text = text[:a] + doc + text[b:]
    patches.text = text


class F2py:
    """numpy.f2py running on the combined signature file in a directory of its
    own (none of its files is an output of the build): it runs while the
    signature files are cracked, and run_f2py() takes its result."""

    def __init__(self, combined: Path):
        self.work = Path(tempfile.mkdtemp(prefix="kestro_f2py_"))
        try:
            (self.work / "_kestro.pyf").write_text(combined.read_text())
            # Its output goes to a file: a pipe nobody reads meanwhile would stop it.
            with open(self.work / "f2py.log", "w") as log:
                self.proc = subprocess.Popen([sys.executable, "-m", "numpy.f2py", "_kestro.pyf"], cwd=self.work,
                                             stdout=log, stderr=subprocess.STDOUT)
        except BaseException:
            # Not started: the caller has nothing to close.
            shutil.rmtree(self.work, ignore_errors=True)
            raise

    def result(self) -> str:
        if self.proc.wait() != 0:
            sys.stderr.write((self.work / "f2py.log").read_text())
            raise SignatureError("numpy.f2py failed on the combined signature file")
        return (self.work / "_kestromodule.c").read_text()

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def run_f2py(outdir: Path, modules: dict[str, Module], f2py: F2py):
    patches = Patches(f2py.result())
    python = [m for m in modules.values() if m.python]
    strings_in = any(a.character for m in python for r in m.routines for a in r.args)
    strings_out = any(a.character and not a.const for m in python for r in m.routines for a in r.args)
    string_vars = [v for m in python for v in m.variables if v.kind == "string"]
    callbacks = any(r.has_callback for m in python for r in m.routines)

    patches.sub("generation date", r" \* Generation date: [^\n]*\n", "")  # keep the output stable

    # f2py describes a character variable as an array of strings; it is one
    # fixed-length string.
    fixed = 0

    def fix_table(match):
        nonlocal fixed
        module = modules.get(match.group(1))
        if module is None:
            return match.group(0)
        strings = {v.name: v for v in module.variables if v.kind == "string"}

        def fix_entry(entry):
            nonlocal fixed
            var = strings.get(entry.group(1))
            if var is None:
                return entry.group(0)
            fixed += 1
            return f'{{"{var.name}",0,{{{{-1}}}},NPY_STRING, {var.length}'
        return match.group(0).replace(match.group(2), DEF_ENTRY_RE.sub(fix_entry, match.group(2)))

    patches.text = DEF_TABLE_RE.sub(fix_table, patches.text)
    if fixed != len(string_vars):
        raise SignatureError(f"patch 'string variables' fixed {fixed} of {len(string_vars)} table entries {CHECKED}")
    # Strings pass as the bytes they are: copy them whole (a NUL inside is a
    # character like any other) and return results at their full, blank-padded
    # length instead of trimming their trailing blanks.
    patches.sub("copy strings whole", "(void)strncpy(_to, _from, _m);", "(void)memcpy(_to, _from, _m);",
                required=strings_in, literal=True)
    patches.sub("keep NULs of inputs", r"^[ \t]*STRINGPADN\((\w+), slen\(\1\), ' ', '\\0'\);[ \t]*\n", "",
                required=strings_out, flags=re.M)
    count = 0

    def counted(match):
        nonlocal count
        new = build_with_lengths(match)
        count += new != match.group(0)
        return new
    patches.text = BUILD_RE.sub(counted, patches.text)
    if strings_out and count == 0:
        raise SignatureError(f"patch 'full-length string results' matches nothing {CHECKED}")
    # A short string is padded with blanks at once, so that a NUL the caller
    # passes at its end stays a NUL.
    patches.sub("pad with blanks", "memset(*str + n, '\\0', *len - n);", "memset(*str + n, ' ', *len - n);",
                required=strings_in, literal=True)
    patches.sub("keep trailing NULs", r"^[ \t]*STRINGPADN\((\w+), slen\(\1\), '\\0', ' '\);[ \t]*\n", "",
                required=strings_in, flags=re.M)
    # A callable that raises must not leave the routine by a long jump through
    # C++ frames: the generated callback returns, the call adapter unwinds the
    # routine with a C++ exception, and the wrapper raises the Python
    # exception once the routine has returned.
    patches.sub("no long jump out of callbacks", "longjmp(cb->jmpbuf,-1);", "/* returns to the adapter */",
                required=callbacks, literal=True)
    patches.sub("no set jump around routines", r"if \(\(setjmp\(\w+_cb\.jmpbuf\)\)\)", "if (0)",
                required=callbacks)
    # A callable that takes its arguments as *args is given all of them, not none.
    patches.sub("declare the count of arguments", "static int\ncreate_cb_arglist(",
                "Py_ssize_t kestro_callable_arguments(PyObject *fun, Py_ssize_t counted, Py_ssize_t all);\n"
                "static int\ncreate_cb_arglist(", required=callbacks, literal=True)
    patches.sub("every argument to *args", "tot = PyLong_AsSsize_t(tmp_argcount) - di;",
                "tot = kestro_callable_arguments(tmp_fun, PyLong_AsSsize_t(tmp_argcount) - di, "
                "maxnofargs + (xa != NULL ? PyTuple_Size((PyObject *)xa) : 0));", required=callbacks, literal=True)

    patch_extents(patches, python)
    patch_failed_results(patches)
    patch_returned_documentation(patches, python)
    patch_callbacks(patches, python, callbacks)

    text = patches.text
    for match in KWLIST_RE.finditer(text):
        module = modules.get(match.group(2))
        routine = next((r for r in module.routines if r.name == match.group(3)), None) if module else None
        if routine is None:
            raise SignatureError(f"f2py wrapper of unknown routine {match.group(2)}.{match.group(3)}")
        routine.keywords = re.findall(r'"(\w+)"', match.group(1))
        for k in routine.keywords:
            if k not in routine.python_args and not k.endswith("_extra_args") and not k.startswith("overwrite_"):
                raise SignatureError(f"{routine.module}.{routine.name}: unexpected Python argument {k}")
    for module in python:
        for r in module.routines:
            if sorted(r.python_args) != sorted(k for k in r.keywords if k in r.python_args):
                raise SignatureError(f"{module.name}.{r.name}: f2py takes {r.keywords}, "
                                     f"the signature file declares {list(r.python_args)}")
    for match in DEF_TABLE_RE.finditer(text):
        module = modules.get(match.group(1))
        if module is not None:
            module.order = [e.group(1) for e in DEF_ENTRY_RE.finditer(match.group(2))]
    write_if_changed(outdir / "_kestromodule.c", text)
    for module in python:
        expected = [v.name for v in module.variables] + [r.name for r in module.routines]
        if sorted(module.order) != sorted(expected):
            raise SignatureError(f"module {module.name}: f2py table {module.order} "
                                 f"does not match the signature file {expected}")
