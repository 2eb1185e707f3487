// The rules by which Python values become the library's values, shared by the
// assignment of module data and the arguments of routines: same-kind
// conversions only, integers that fit, strings taken whole.  Include after
// Python.h and numpy's headers.
#pragma once

#include <cstdint>

namespace kestro::python {

// The numpy type number of a KESTRO_TYPE_* element type.
int numpy_type(int32_t type);

enum class Fit { ok, wrong_kind, out_of_range };

// Whether the values of source convert to numpy type `type` by same-kind
// casting with every value kept (an integer that does not fit the narrower
// type, an unsigned value that would turn negative, or a finite real that
// would turn infinite, is out of range).
Fit fits(PyArrayObject *source, int type);

// Whether value is a numpy masked array (whose mask a conversion would drop).
bool is_masked(PyObject *value);

// The text a string argument stands for: str as its UTF-8 bytes, bytes,
// bytearray, memoryview and numpy bytes arrays whole.  A new reference;
// nullptr with the error set when a conversion fails, and nullptr with no
// error set for a value of any other type (the caller names what it takes).
PyObject *string_bytes(PyObject *value);

// "integer", "complex" or "real": the kind of values of a numpy type.
const char *kind_name(int type);

// Wraps every routine of the module in the argument checks of its table.
int install_checked_routines(PyObject *module, PyObject *error);

}  // namespace kestro::python
