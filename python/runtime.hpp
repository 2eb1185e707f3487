// What the generated module glue and the Python runtime share: the table of
// module variables and the accessor f2py calls for allocatable arrays.
#pragma once

#include <cstdint>
#include <type_traits>

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

// Procedure arguments.  The generated module hands a routine the address of
// its own callback (or of a C function from a capsule).  When the Python
// callable raises, that callback returns and leaves the exception set; the
// trampoline then throws CallbackRaised, which unwinds the routine's frames
// (destructors included) back to with_procedure, and the generated wrapper
// raises the Python exception once the routine has returned.
struct CallbackRaised {};

// Whether a Python exception is set (implemented in runtime.cpp).
bool python_error_pending() noexcept;

// Set by each call adapter when the generated wrapper has converted every
// argument and calls the routine: an error raised before that is an argument
// error.
extern thread_local bool routine_entered;

template <class F, int Slot>
struct Trampoline;

template <class R, class... A, int Slot>
struct Trampoline<R (*)(A...), Slot> {
    static inline thread_local R (*target)(A...) = nullptr;

    static R call(A... args) {
        if constexpr (std::is_void_v<R>) {
            target(args...);
            if (python_error_pending()) throw CallbackRaised{};
        } else {
            R result = target(args...);
            if (python_error_pending()) throw CallbackRaised{};
            return result;
        }
    }
};

// Calls body with the procedure at `address` wrapped in its trampoline; Slot
// tells apart the procedure arguments of one routine.  Nested calls (a
// callable that calls another routine) keep their own targets.
template <class F, int Slot, class Body>
void with_procedure(void *address, Body &&body) {
    using T = Trampoline<F, Slot>;
    struct Restore {
        F saved;
        ~Restore() { T::target = saved; }
    } restore{T::target};
    T::target = reinterpret_cast<F>(address);
    try {
        body(&T::call);
    } catch (const CallbackRaised &) {
        // The Python exception stays set; the wrapper raises it.
    }
}

// While one lives, the procedure arguments of the running routine exchange
// their complex-mode arrays as complex values (a routine's complex-step
// mode); nested scopes restore the outer state.
extern thread_local bool complex_callbacks;

struct ComplexCallbacks {
    explicit ComplexCallbacks(bool on) : saved(complex_callbacks) { complex_callbacks = on; }
    ~ComplexCallbacks() { complex_callbacks = saved; }
    ComplexCallbacks(const ComplexCallbacks &) = delete;
    ComplexCallbacks &operator=(const ComplexCallbacks &) = delete;
    bool saved;
};

// Every module variable, ended by an entry whose module is nullptr.
extern const Variable variables[];

// How the Python form of a routine takes its arguments (generated from the
// signature files).  The runtime checks every argument against this before the
// generated wrapper converts it, the same way for every routine.
enum class ArgKind : uint8_t { array, scalar, string, procedure, extra_args, overwrite };

struct Argument {
    const char *name;
    ArgKind kind;
    int32_t type;     // element type (KESTRO_TYPE_*) of arrays and scalars
    int8_t rank;      // arrays: number of dimensions; 0 an in-out scalar, -1 any (assumed size)
    bool required;
    bool written;     // the routine may write into the caller's own array
    int8_t overwrite; // the position of this array's overwrite_ flag, or -1
    bool inplace;     // the result is copied back into the caller's array
    bool inout;       // intent(inout): the routine updates the caller's own array, which must be one
    int32_t shaped;   // -1; else taken in any shape (> 0: with that many rows), returned in it
    int8_t same[KESTRO_MAX_RANK];    // per dimension, the first dimension of equal extent
    int32_t fixed[KESTRO_MAX_RANK];  // per dimension, the extent it must have, or -1
    // Per dimension whose extent is an argument that defaults to the extent of
    // an array: the position of that argument (-1 when it is hidden), of that
    // array (-1 when the dimension is not bound) and its dimension.
    int8_t extent_arg[KESTRO_MAX_RANK];
    int8_t source_arg[KESTRO_MAX_RANK];
    int8_t source_dim[KESTRO_MAX_RANK];
    bool block;  // the routine works on the leading block that explicit extents give
    int8_t result;  // its position among the generated wrapper's results, or -1
};

struct Routine {
    const char *module;
    const char *name;
    const Argument *arguments;  // in the order of the Python arguments
    int count;
    const char *doc;  // the signature file's comments above the routine
    int results;      // how many results the generated wrapper returns
    // The positions among them of the results the Python form returns, ended
    // by -1; nullptr when it returns them all.
    const int8_t *returned;
};

// Every routine offered to Python, ended by an entry whose module is nullptr.
extern const Routine routines[];

// f2py's accessor protocol for allocatable arrays: extents >= 0 ask for that
// shape (the array is re-created when it differs), -1 only asks.  The current
// extents are written back and the storage is handed to set_data.
void getdims(kestro_array &a, int *rank, npy_index *dims, set_data_fn set_data, int *flag) noexcept;

}  // namespace kestro::python
