#!/usr/bin/env python3
"""Generates every declaration of the library from its signature files.

Every module of the library is declared once, in a signature file
``python/signatures/<module>.pyf``: its shared variables and the interfaces
of its routines, in the declarative language of numpy's signature-file
wrapper generator.  From those files this script writes

* ``include/kestro/<module>.h``: the public C header of each module (its
  variables, the prototypes of its routines, the types of its procedure
  arguments, with the comments of the signature file), and the umbrella
  header ``include/kestro/kestro.h``;
* ``decl/<module>.hpp``: the C++ declarations of the same routines, which
  every definition's source includes, so that a definition that disagrees
  with its declaration fails to compile;
* ``core/shared_data.hpp`` and ``core/shared_data.cpp``: the C++ declarations
  and definitions of every module variable, and the arrays ``deallocall``
  releases and keeps;
* ``core/exports.cpp``, ``exports.txt`` and ``kestro.map``: the list of
  exported symbols, a table that references each routine (so that the library
  does not link while one is missing) and the linker's version script that
  exports exactly those symbols;
* ``modules.json``: what the signature files declare, for the tests;
* ``_kestro.pyf`` and ``_kestromodule.c``: the combined signature file of the
  modules offered to Python and the extension module that numpy's wrapper
  generator builds from it;
* ``kestro_f2py_glue.cpp``: the module set-up functions the extension module
  calls to learn the addresses of variables and routines, one accessor per
  allocatable array, and one call adapter per routine.

The build declares every one of these files as an output of this script: at
configure time ``--list-outputs`` writes their list to the manifest that the
build reads, and every later run checks that it writes exactly those files.

Directives in comments (``!kestro ...``) add what the wrapper language has no
words for:

* file level: ``c-only`` (the modules reach C and C++ only, not Python);
  ``package`` (routines outside the modules in the package convention:
  exported as ``name_``, a length per character argument; implies c-only);
  ``macros <PREFIX>`` (each named constant also becomes a C macro
  ``<PREFIX><NAME>``); ``define <NAME> <value>`` (a C macro of the module);
  ``inline "<header>"`` (a header with inline definitions of some of the
  module's routines, which the export table must see);
* before a variable: ``keep`` (``deallocall`` leaves the array alone); before
  a module statement, ``keep`` leaves every array of the module alone;
* in a routine: ``inplace <argument>`` (the Python form writes into the
  caller's array); ``c-intent <argument> in|out`` (the routine reads only, or
  writes, an argument that the Python form passes otherwise, such as an output
  that is handed the Python form's copy of an input); ``shaped <argument>
  [<rows>]`` (an assumed-size array that the Python form takes in any shape,
  with <rows> entries along its first dimension when given, passes as its
  column-major list of values and returns in the caller's shape); ``block
  <argument>`` (the routine works on the leading block of the argument that
  its extent arguments give: the Python form passes that block);
* before a procedure interface: ``typedef <name>`` (its C type name);
  ``complex-mode <arguments>`` (real arrays of the procedure that its caller
  may pass as complex values instead: the Python callable gets and returns
  them as complex arrays while a routine's ``complex-when`` holds);
* in a routine: ``complex-when <argument> <value>`` (while the routine runs
  with that integer argument present and equal to the value, its procedure
  arguments exchange their ``complex-mode`` arrays as complex values);
* ``template <names> in <values>`` ... ``end template``: the lines between
  are repeated for each binding, ``${expression}`` replaced by its value; a
  line ending in ``!kestro each <name> in <expression>`` is repeated for each
  value of the expression.

Comments directly above a routine are its documentation; a comment beginning
with ``----`` is a section heading; a comment after a variable documents it.

Each job is a module of the package ``kestro_bindgen`` beside this script
(see its ``__init__``); this script runs them in order.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

from kestro_bindgen.combine import load, write_combined
from kestro_bindgen.common import SignatureError, forget_written
from kestro_bindgen.exports import api_functions, write_exports
from kestro_bindgen.f2py_module import F2py, run_f2py
from kestro_bindgen.glue import write_glue
from kestro_bindgen.headers import write_c_header, write_cxx_header, write_umbrella
from kestro_bindgen.metadata import write_metadata
from kestro_bindgen.outputs import check_manifest, check_written, expected_outputs, write_manifest
from kestro_bindgen.parse import read_fragment
from kestro_bindgen.shared_data import write_shared_data


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, type=Path, help="directory of the generated files")
    parser.add_argument("--api", action="append", default=[], type=Path,
                        help="a hand-written public header whose KESTRO_API functions are exported")
    parser.add_argument("--no-python", action="store_true", help="skip the extension module")
    parser.add_argument("--manifest", type=Path,
                        help="the list of outputs the build declares: a run stops when it would write others")
    parser.add_argument("--list-outputs", action="store_true",
                        help="only write the manifest (at configure time)")
    parser.add_argument("signatures", nargs="+", type=Path, help="signature files of the modules")
    ns = parser.parse_args(argv)
    outdir = ns.out.resolve()
    outdir.mkdir(parents=True, exist_ok=True)
    forget_written()
    try:
        fragments = [read_fragment(p) for p in sorted(p.resolve() for p in ns.signatures)]
        expected = expected_outputs(fragments, not ns.no_python)
        if ns.list_outputs:
            if ns.manifest is None:
                raise SignatureError("--list-outputs needs --manifest")
            write_manifest(ns.manifest, outdir, expected)
            return 0
        if ns.manifest is not None:
            check_manifest(ns.manifest, outdir, expected)
        combined = write_combined(fragments, outdir)
        # numpy.f2py runs on the combined file while the signature files are cracked.
        f2py = None if ns.no_python else F2py(combined)
        try:
            modules = load(fragments, outdir)
            if f2py is not None:
                run_f2py(outdir, modules, f2py)
        finally:
            if f2py is not None:
                f2py.close()
        ordered = list(modules.values())
        for m in ordered:
            write_c_header(outdir, m)
            write_cxx_header(outdir, m)
        write_umbrella(outdir, ordered, [p.name for p in ns.api])
        write_shared_data(outdir, ordered)
        write_exports(outdir, ordered, api_functions(ns.api))
        write_metadata(outdir, ordered)
        if not ns.no_python:
            write_glue(outdir, ordered)
        check_written(outdir, expected)
    except SignatureError as exc:
        print(f"bindgen: {exc}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
