// What the generated module glue and the Python runtime share: the table of
// module variables and the accessor f2py calls for allocatable arrays.
#pragma once

#include <cstdint>

#include "kestro/array.h"

namespace kestro::python {

using npy_index = std::intptr_t;  // numpy's npy_intp
using set_data_fn = void (*)(char *, npy_index *);
// The accessor type as f2py's generated module declares it.
using f2py_getdims = void (*)(int *, int *, void (*)(char *, int *), int *);

enum class Kind { scalar, string, parameter, allocatable };

struct Variable {
    const char *module;
    const char *name;
    Kind kind;
    const void *address;  // the variable; for an allocatable array its kestro_array
    void (*getdims)(int *, npy_index *, set_data_fn, int *);
    int length;  // characters of a string
};

// A procedure argument as the generated module passes it: converts to the
// function-pointer type of the routine that receives it.
struct Procedure {
    void *address;
    template <class F>
    operator F *() const noexcept {
        return reinterpret_cast<F *>(address);
    }
};

// Every module variable, ended by an entry whose module is nullptr.
extern const Variable variables[];

// An array argument that a routine fills in place: the caller's own array
// (strided views and other layouts included) receives the result and is
// returned, instead of a converted copy.
struct InPlace {
    const char *module;
    const char *routine;
    const char *argument;
    int position;  // among the routine's Python arguments
};

// Every in-place argument, ended by an entry whose module is nullptr.
extern const InPlace inplace_arguments[];

// f2py's accessor protocol for allocatable arrays: extents >= 0 ask for that
// shape (the array is re-created when it differs), -1 only asks.  The current
// extents are written back and the storage is handed to set_data.
void getdims(kestro_array &a, int *rank, npy_index *dims, set_data_fn set_data, int *flag) noexcept;

}  // namespace kestro::python
