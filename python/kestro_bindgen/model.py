"""The model the signature files describe: modules, their variables, routines,
procedure interfaces and the arguments of the Python forms."""

from __future__ import annotations

from dataclasses import dataclass, field

from .ctext import prototype


# (typespec, kind) -> (C type, type code of kestro_array)
SCALAR_TYPES = {
    ("integer", "1"): ("int8_t", "KESTRO_TYPE_INT1"),
    ("integer", "2"): ("int16_t", "KESTRO_TYPE_INT2"),
    ("integer", "4"): ("int32_t", "KESTRO_TYPE_INT4"),
    ("integer", "8"): ("int64_t", "KESTRO_TYPE_INT8"),
    ("real", "4"): ("float", "KESTRO_TYPE_REAL4"),
    ("real", "8"): ("double", "KESTRO_TYPE_REAL8"),
    ("complex", "8"): ("kestro_complex", "KESTRO_TYPE_COMPLEX16"),
    ("logical", "1"): ("kestro_logical1", "KESTRO_TYPE_LOGICAL1"),
    ("logical", "4"): ("int32_t", "KESTRO_TYPE_LOGICAL4"),
}
# Module variables in C++: std::complex for complex values.
CXX_VARIABLE_TYPES = {"kestro_complex": "std::complex<double>", "kestro_logical1": "int8_t"}


@dataclass
class Variable:
    module: str
    name: str
    ctype: str
    typecode: str
    rank: int = 0            # number of dimensions of an allocatable array
    length: int = 0          # characters of a string variable
    parameter: str | None = None  # value of a named constant
    comment: str = ""
    kept: bool = False       # left alone by deallocall

    @property
    def symbol(self) -> str:
        return f"__{self.module}_MOD_{self.name}"

    @property
    def kind(self) -> str:
        if self.parameter is not None:
            return "parameter"
        if self.length:
            return "string"
        if self.rank:
            return "allocatable"
        return "scalar"

    @property
    def cxxtype(self) -> str:
        return CXX_VARIABLE_TYPES.get(self.ctype, self.ctype)


@dataclass
class Argument:
    name: str
    ctype: str               # C type of the pointee, or the typedef of a procedure
    const: bool = False
    character: bool = False  # a string: passes a hidden length where the convention has them
    callback: bool = False
    array: bool = False

    def c_param(self) -> str:
        if self.callback:
            return f"{self.ctype} {self.name}"
        return f"{'const ' if self.const else ''}{self.ctype} *{self.name}"


@dataclass
class PyArgument:
    """How the Python form of a routine takes one argument, for the checks of the runtime."""
    name: str
    kind: str                # array, scalar, string, procedure, extra_args, overwrite
    typecode: str = "KESTRO_TYPE_CHAR"
    rank: int = 0
    required: bool = False
    written: bool = False    # the routine may write into the caller's own array
    copy: bool = False       # written only when the caller sets overwrite_<name>
    same: list[int] = field(default_factory=list)  # per dimension: the first one of equal extent
    fixed: list[int] = field(default_factory=list)  # per dimension: a literal extent, or -1
    inplace: bool = False    # the Python form writes the result into the caller's array
    shaped: int = -1         # -1, or: taken in any shape and returned in it (> 0: rows it must have)
    inout: bool = False      # intent(inout): updated in the caller's own array (reverse communication)
    # Per dimension whose extent is an argument defaulting to an extent of an
    # array: (the extent argument, or None when hidden; that array; its dimension).
    extents: list = field(default_factory=list)
    block: bool = False      # the routine works on the leading block its extents give
    result: int = -1         # its position among the generated wrapper's results, or -1

    def table_entry(self, index_of) -> str:
        same = ", ".join(str(d) for d in self.same) or "0"
        fixed = ", ".join(str(d) for d in self.fixed) or "-1"
        overwrite = index_of.get(f"overwrite_{self.name}", -1)
        bound = [b or (None, None, -1) for b in self.extents]
        extent_args = ", ".join(str(index_of.get(e, -1)) for e, _, _ in bound) or "-1"
        sources = ", ".join(str(index_of.get(p, -1)) for _, p, _ in bound) or "-1"
        source_dims = ", ".join(str(k) for _, _, k in bound) or "-1"
        return (f'{{"{self.name}", kestro::python::ArgKind::{self.kind}, {self.typecode}, {self.rank}, '
                f'{str(self.required).lower()}, {str(self.written).lower()}, {overwrite}, '
                f'{str(self.inplace).lower()}, {str(self.inout).lower()}, {self.shaped}, {{{same}}}, {{{fixed}}}, '
                f'{{{extent_args}}}, {{{sources}}}, {{{source_dims}}}, {str(self.block).lower()}, {self.result}}}')


@dataclass
class Routine:
    module: str
    name: str
    args: list[Argument]
    result: str | None       # C type of a function's value
    symbol: str              # the exported name
    c_named: bool            # declared under its C name (else a module procedure in kestro::<module>)
    lengths: bool            # passes the lengths of its character arguments
    doc: list[str] = field(default_factory=list)
    section: str | None = None
    python_args: dict[str, PyArgument] = field(default_factory=dict)  # by name
    keywords: list[str] = field(default_factory=list)  # the Python arguments in order, from f2py
    complex_when: tuple[str, int] | None = None  # procedures exchange complex values while it holds
    outputs: list[str] = field(default_factory=list)  # the generated wrapper's results, in order
    returns: list[str] | None = None  # the results the Python form returns (None: all)
    convention: str | None = None  # the argument list it instantiates

    @property
    def has_callback(self) -> bool:
        return any(a.callback for a in self.args)

    def c_params(self) -> list[str]:
        params = [a.c_param() for a in self.args]
        if self.lengths:
            params += [f"size_t {a.name}_len" for a in self.args if a.character]
        return params

    def python_argument(self, keyword: str) -> PyArgument:
        """The Python argument `keyword`: a declared one, or the generated
        wrapper's own `<procedure>_extra_args` or `overwrite_<array>`."""
        if keyword in self.python_args:
            return self.python_args[keyword]
        return PyArgument(keyword, "extra_args" if keyword.endswith("_extra_args") else "overwrite")

    @property
    def cxx_name(self) -> str:
        return f"::{self.symbol}" if self.c_named else f"kestro::{self.module}::{self.name}"


@dataclass
class Procedure:
    """The interface of a procedure argument, named by its typedef."""
    typedef: str
    args: list[Argument]
    result: str | None
    doc: list[str] = field(default_factory=list)
    block: str = ""
    name: str = ""
    outputs: list[str] = field(default_factory=list)  # what the Python callable returns
    inputs: list[str] = field(default_factory=list)   # what it is given, in order
    complex_args: list[str] = field(default_factory=list)  # real arrays that may pass as complex

    def c_params(self) -> list[str]:
        # The convention of module procedures: a length per character argument at the end.
        return [a.c_param() for a in self.args] + [f"size_t {a.name}_len" for a in self.args if a.character]

    def declaration(self) -> list[str]:
        return prototype(f"typedef {self.result or 'void'} (*{self.typedef})", self.c_params())


@dataclass
class Module:
    name: str
    source: str
    comment: list[str] = field(default_factory=list)
    python: bool = True
    package: bool = False
    macro_prefix: str | None = None
    defines: list[tuple[str, str, str]] = field(default_factory=list)  # name, value, comment
    inline_headers: list[str] = field(default_factory=list)
    variables: list[Variable] = field(default_factory=list)
    routines: list[Routine] = field(default_factory=list)
    procedures: list[Procedure] = field(default_factory=list)
    order: list[str] = field(default_factory=list)   # entries of f2py's table
