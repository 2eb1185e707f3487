// The one argument policy of the routines offered to Python.  Every routine of
// _kestro is wrapped in a callable that checks each argument against the
// routine's generated table before numpy's generated wrapper converts it:
// arrays of the declared rank (square where the declaration pairs two extents),
// values of the same kind that fit the argument's type, no None for a required
// argument, writeable arrays where the routine writes into the caller's
// storage; strings are taken whole.  The wrapper also copies the result of an
// in-place routine back into the caller's array.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NO_IMPORT_ARRAY
#include "fortranobject.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "python/runtime.hpp"
#include "python/values.hpp"

namespace kestro::python {

thread_local bool routine_entered = false;

int numpy_type(int32_t type) {
    switch (type) {
    case KESTRO_TYPE_INT1:
    case KESTRO_TYPE_LOGICAL1: return NPY_INT8;
    case KESTRO_TYPE_INT2: return NPY_INT16;
    case KESTRO_TYPE_INT4:
    case KESTRO_TYPE_LOGICAL4: return NPY_INT32;
    case KESTRO_TYPE_INT8: return NPY_INT64;
    case KESTRO_TYPE_REAL4: return NPY_FLOAT32;
    case KESTRO_TYPE_REAL8: return NPY_FLOAT64;
    case KESTRO_TYPE_COMPLEX16: return NPY_COMPLEX128;
    default: return NPY_NOTYPE;
    }
}

namespace {

template <class T>
bool any_negative(PyArrayObject *array) {
    const T *x = static_cast<const T *>(PyArray_DATA(array));
    for (npy_intp i = 0, n = PyArray_SIZE(array); i < n; ++i)
        if (x[i] < 0) return true;
    return false;
}

bool has_negative(PyArrayObject *array) {
    switch (PyArray_TYPE(array)) {
    case NPY_INT8: return any_negative<int8_t>(array);
    case NPY_INT16: return any_negative<int16_t>(array);
    case NPY_INT32: return any_negative<int32_t>(array);
    case NPY_INT64: return any_negative<int64_t>(array);
    default: return false;
    }
}

}  // namespace

namespace {

// Whether a narrowing conversion of source to a real or complex type turns a
// finite value infinite: a value beyond the largest of the type.  The values
// are compared in long double, which holds those of every source (a long
// double beyond the largest double included).
static_assert(sizeof(npy_longdouble) == sizeof(long double));

bool overflows(PyArrayObject *source, int type) {
    const bool complex = PyTypeNum_ISCOMPLEX(type);
    PyArray_Descr *target = PyArray_DescrFromType(type);
    const long double largest = target->elsize == (complex ? 8 : 4) ? 3.4028234663852886e38L : 1.7976931348623157e308L;
    Py_DECREF(target);
    auto *wide = reinterpret_cast<PyArrayObject *>(
        PyArray_CastToType(source, PyArray_DescrFromType(complex ? NPY_CLONGDOUBLE : NPY_LONGDOUBLE), 1));
    if (wide == nullptr) {
        PyErr_Clear();
        return true;
    }
    const auto *w = static_cast<const long double *>(PyArray_DATA(wide));
    const npy_intp count = PyArray_SIZE(wide) * (complex ? 2 : 1);
    bool lost = false;
    for (npy_intp i = 0; i < count && !lost; ++i) lost = std::isfinite(w[i]) && std::fabs(w[i]) > largest;
    Py_DECREF(wide);
    return lost;
}

}  // namespace

Fit fits(PyArrayObject *source, int type) {
    // An empty list ([] reads as reals) holds no value to lose.
    if (PyArray_SIZE(source) == 0 && PyTypeNum_ISNUMBER(PyArray_TYPE(source))) return Fit::ok;
    PyArray_Descr *target = PyArray_DescrFromType(type);
    const bool same_kind = PyArray_CanCastArrayTo(source, target, NPY_SAME_KIND_CASTING);
    const bool narrower = PyArray_DESCR(source)->elsize > target->elsize;
    Py_DECREF(target);
    if (!same_kind) return Fit::wrong_kind;
    if ((PyTypeNum_ISFLOAT(type) || PyTypeNum_ISCOMPLEX(type)) && narrower &&
        !PyTypeNum_ISINTEGER(PyArray_TYPE(source)) && overflows(source, type))
        return Fit::out_of_range;
    if (!PyTypeNum_ISINTEGER(type) || PyArray_TYPE(source) == type || PyTypeNum_ISBOOL(PyArray_TYPE(source)))
        return Fit::ok;
    // A narrowing integer conversion must give back the values it was given,
    // and unsigned values must not turn negative.
    auto *cast = reinterpret_cast<PyArrayObject *>(PyArray_CastToType(source, PyArray_DescrFromType(type), 1));
    if (cast == nullptr) {
        PyErr_Clear();
        return Fit::out_of_range;
    }
    PyArray_Descr *back = PyArray_DESCR(source);
    Py_INCREF(back);
    auto *again = reinterpret_cast<PyArrayObject *>(PyArray_CastToType(cast, back, 1));
    auto *plain = reinterpret_cast<PyArrayObject *>(PyArray_FromAny(
        reinterpret_cast<PyObject *>(source), nullptr, 0, 0, NPY_ARRAY_F_CONTIGUOUS | NPY_ARRAY_ALIGNED, nullptr));
    const bool same = again != nullptr && plain != nullptr &&
                      std::memcmp(PyArray_DATA(again), PyArray_DATA(plain), PyArray_NBYTES(plain)) == 0 &&
                      !(PyTypeNum_ISUNSIGNED(PyArray_TYPE(source)) && has_negative(cast));
    if (again == nullptr || plain == nullptr) PyErr_Clear();
    Py_XDECREF(plain);
    Py_XDECREF(again);
    Py_DECREF(cast);
    return same ? Fit::ok : Fit::out_of_range;
}

PyObject *string_bytes(PyObject *value) {
    if (PyBytes_Check(value)) {
        Py_INCREF(value);
        return value;
    }
    if (PyUnicode_Check(value)) return PyUnicode_AsUTF8String(value);
    if (PyByteArray_Check(value) || PyMemoryView_Check(value)) return PyBytes_FromObject(value);
    if (PyArray_Check(value) && PyArray_TYPE(reinterpret_cast<PyArrayObject *>(value)) == NPY_STRING)
        return PyObject_CallMethod(value, "tobytes", "s", "F");
    return nullptr;
}

const char *kind_name(int type) {
    return PyTypeNum_ISINTEGER(type) ? "integer" : PyTypeNum_ISCOMPLEX(type) ? "complex" : "real";
}

bool is_masked(PyObject *value) {
    static PyObject *masked = [] {
        PyObject *ma = PyImport_ImportModule("numpy.ma");
        PyObject *type = ma != nullptr ? PyObject_GetAttrString(ma, "MaskedArray") : nullptr;
        Py_XDECREF(ma);
        if (type == nullptr) PyErr_Clear();
        return type;
    }();
    if (masked == nullptr || !PyArray_Check(value)) return false;
    const int is = PyObject_IsInstance(value, masked);
    if (is < 0) PyErr_Clear();
    return is > 0;
}

namespace {

PyObject *module_error = nullptr;

// numpy's generated C wrapper of a routine, as its routine object calls it.
using WrapperFunction = PyObject *(*)(PyObject *, PyObject *, PyObject *, void *);

// What a call needs of its routine, resolved once at import.
struct CheckedRoutine {
    PyObject_HEAD
    PyObject *routine;   // numpy's generated wrapper
    PyObject *keywords;  // the arguments' names as interned strings, in table order
    WrapperFunction wrapper;
    void *entry;         // the call adapter that the wrapper calls
    const Routine *declared;
    int returns;         // how many results the Python form returns
};

// Sets _kestro.error for argument `a` of the routine; returns -1.
int refuse(const CheckedRoutine &w, const Argument &a, const char *text) {
    PyErr_Format(module_error, "%s.%s: argument %s %s", w.declared->module, w.declared->name, a.name, text);
    return -1;
}

// Replaces the error set by a failed conversion of argument `a` with
// _kestro.error: "<text>: <the conversion's message>"; returns -1.
int refuse_for(const CheckedRoutine &w, const Argument &a, const char *text) {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyObject *cause = value != nullptr ? PyObject_Str(value) : nullptr;
    const char *message = cause != nullptr ? PyUnicode_AsUTF8(cause) : nullptr;
    PyErr_Clear();
    PyErr_Format(module_error, "%s.%s: argument %s %s%s%s", w.declared->module, w.declared->name, a.name, text,
                 message != nullptr ? ": " : "", message != nullptr ? message : "");
    Py_XDECREF(cause);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return -1;
}

int check_values(const CheckedRoutine &w, const Argument &a, PyArrayObject *array) {
    const int type = numpy_type(a.type);
    if (PyArray_TYPE(array) == type) return 0;  // every value fits its own type
    switch (fits(array, type)) {
    case Fit::ok: return 0;
    case Fit::wrong_kind:
        PyErr_Format(module_error, "%s.%s: argument %s takes %s values, not %s", w.declared->module, w.declared->name,
                     a.name, kind_name(type), PyArray_DESCR(array)->typeobj->tp_name);
        return -1;
    case Fit::out_of_range: {
        char text[96];
        std::snprintf(text, sizeof text, "holds a %svalue that does not fit its %s type",
                      PyTypeNum_ISINTEGER(type) ? "" : "finite ", kind_name(type));
        return refuse(w, a, text);
    }
    }
    return 0;
}

// The value as a numpy array (a new reference), or nullptr with the error set.
// A masked array is refused: its mask would be dropped.
PyArrayObject *as_array(const CheckedRoutine &w, const Argument &a, PyObject *value) {
    if (PyArray_CheckExact(value)) {
        Py_INCREF(value);
        return reinterpret_cast<PyArrayObject *>(value);
    }
    if (is_masked(value)) {
        refuse(w, a, "is a masked array, whose mask the routine cannot honour");
        return nullptr;
    }
    PyObject *array = PyArray_FROM_O(value);
    if (array == nullptr) {
        PyErr_Clear();
        refuse(w, a, "is not a numeric value");
    } else if (array != value && !PyArray_ISWRITEABLE(reinterpret_cast<PyArrayObject *>(array))) {
        // What an array-like gave may be read-only storage of its own (a
        // read-only map, bytes): the routine gets a copy it may write into,
        // as numpy's conversion of a value that is no array makes.
        PyObject *copy = PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(array), NPY_FORTRANORDER);
        Py_DECREF(array);
        array = copy;
    }
    return reinterpret_cast<PyArrayObject *>(array);
}

// The arguments of one call.  The checks read the caller's tuple and
// dictionary, each argument looked up once and each array converted once; the
// routine receives what was checked: an ndarray as the caller's own object,
// any other array-like as the array its one conversion made (converting it
// again could give another array, a smaller one a routine would read past),
// and an argument that must be passed otherwise as what it becomes (a string
// as its bytes, a shaped array flat, a leading block).  These go in copies of
// the caller's tuple and dictionary, which never change.
class Call {
public:
    static constexpr int capacity = 64;  // arguments of a routine (checked at import), one bit each

    Call(const CheckedRoutine &w, PyObject *args, PyObject *kwargs) : w_(w), args_(args), kwargs_(kwargs) {
        const Py_ssize_t n = PyTuple_GET_SIZE(args);
        for (int i = 0; i < w.declared->count; ++i)
            values_[i] = i < n                ? PyTuple_GET_ITEM(args, i)
                         : kwargs != nullptr ? PyDict_GetItem(kwargs, PyTuple_GET_ITEM(w.keywords, i))
                                             : nullptr;
    }
    ~Call() {
        for (int i = 0; known_ >> i != 0; ++i)
            if ((known_ >> i & 1) != 0) Py_DECREF(arrays_[i]);
        Py_XDECREF(pass_args_);
        Py_XDECREF(pass_kwargs_);
    }
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    // The caller's argument at position i, positional or by keyword
    // (borrowed; nullptr when not given).
    PyObject *operator[](int i) const { return values_[i]; }

    // The given argument i as a numpy array (borrowed, kept for the call), or
    // nullptr with the error set.
    PyArrayObject *array(int i) {
        const uint64_t bit = uint64_t{1} << i;
        if ((known_ & bit) == 0) {
            arrays_[i] = as_array(w_, w_.declared->arguments[i], values_[i]);
            if (arrays_[i] == nullptr) return nullptr;
            known_ |= bit;
        }
        return arrays_[i];
    }

    // Passes value (a new reference, taken over) as the argument at position i.
    int replace(int i, PyObject *value) {
        replaced_ |= uint64_t{1} << i;
        const Py_ssize_t n = PyTuple_GET_SIZE(args_);
        if (i < n && pass_args_ == nullptr) {
            pass_args_ = PyTuple_New(n);
            for (Py_ssize_t k = 0; pass_args_ != nullptr && k < n; ++k)
                PyTuple_SET_ITEM(pass_args_, k, Py_NewRef(PyTuple_GET_ITEM(args_, k)));
        } else if (i >= n && pass_kwargs_ == nullptr) {
            pass_kwargs_ = PyDict_Copy(kwargs_);
        }
        PyObject *into = i < n ? pass_args_ : pass_kwargs_;
        if (into == nullptr) {
            Py_DECREF(value);
            return -1;
        }
        if (i < n) {
            PyObject *old = PyTuple_GET_ITEM(into, i);
            PyTuple_SET_ITEM(into, i, value);
            Py_DECREF(old);
            return 0;
        }
        const int status = PyDict_SetItem(into, PyTuple_GET_ITEM(w_.keywords, i), value);
        Py_DECREF(value);
        return status;
    }

    // Passes each array the checks converted from an array-like as that
    // array (an intent(inout) argument is the caller's own ndarray already:
    // check_own_array refuses anything else).
    int pass_converted() {
        for (uint64_t left = known_ & ~replaced_; left != 0; left &= left - 1) {
            const int i = std::countr_zero(left);
            if (reinterpret_cast<PyObject *>(arrays_[i]) == values_[i]) continue;
            if (replace(i, Py_NewRef(reinterpret_cast<PyObject *>(arrays_[i]))) != 0) return -1;
        }
        return 0;
    }

    // numpy's wrapper on the arguments, called directly.
    PyObject *run() const {
        return w_.wrapper(w_.routine, pass_args_ != nullptr ? pass_args_ : args_,
                          pass_kwargs_ != nullptr ? pass_kwargs_ : kwargs_, w_.entry);
    }

private:
    const CheckedRoutine &w_;
    PyObject *args_;
    PyObject *kwargs_;
    PyObject *pass_args_ = nullptr;
    PyObject *pass_kwargs_ = nullptr;
    PyObject *values_[capacity];       // the first count are set
    PyArrayObject *arrays_[capacity];  // those of known_ are set (new references)
    uint64_t known_ = 0;
    uint64_t replaced_ = 0;  // arguments passed otherwise than given
};

// Whether an array of the declared rank passes every extent check below, in
// one pass (the common case; otherwise the checks below name the failure).
bool well_shaped(const Argument &a, PyArrayObject *array) {
    if (a.rank <= 0 || PyArray_NDIM(array) != a.rank) return false;
    for (int d = 0; d < a.rank; ++d) {
        const npy_intp extent = PyArray_DIM(array, d);
        if (extent > INT32_MAX || (a.fixed[d] >= 0 && extent != a.fixed[d]) ||
            extent != PyArray_DIM(array, a.same[d]))
            return false;
    }
    return true;
}

// The extent checks one by one, with the message of the first that fails.
int check_shape(const CheckedRoutine &w, const Argument &a, PyArrayObject *array) {
    int status = 0;
    const int ndim = PyArray_NDIM(array);
    char text[160];
    if (a.rank == 0 ? PyArray_SIZE(array) != 1 : a.rank > 0 && ndim != a.rank) {
        if (a.rank == 0)
            std::snprintf(text, sizeof text, "takes a single value, not %ld", static_cast<long>(PyArray_SIZE(array)));
        else
            std::snprintf(text, sizeof text, "takes an array of rank %d, not %d", a.rank, ndim);
        status = refuse(w, a, text);
    }
    // The routines' extents are 4-byte integers: a larger array is refused
    // before the wrapper converts (and perhaps copies) it.
    for (int d = 0; status == 0 && d < (a.rank < 0 ? 1 : a.rank); ++d) {
        const npy_intp extent = a.rank < 0 ? PyArray_SIZE(array) : PyArray_DIM(array, d);
        if (extent > INT32_MAX) {
            std::snprintf(text, sizeof text, "holds %ld entries along dimension %d, more than a 4-byte extent",
                          static_cast<long>(extent), d + 1);
            status = refuse(w, a, text);
        }
    }
    for (int d = 0; status == 0 && d < a.rank; ++d)
        if (a.fixed[d] >= 0 && PyArray_DIM(array, d) != a.fixed[d]) {
            std::snprintf(text, sizeof text, "needs %d entries along dimension %d, not %ld", a.fixed[d], d + 1,
                          static_cast<long>(PyArray_DIM(array, d)));
            status = refuse(w, a, text);
        }
    for (int d = 0; status == 0 && d < a.rank; ++d)
        if (PyArray_DIM(array, d) != PyArray_DIM(array, a.same[d])) {
            std::snprintf(text, sizeof text, "needs extents %d and %d equal (a square array), not %ld and %ld",
                          a.same[d] + 1, d + 1, static_cast<long>(PyArray_DIM(array, a.same[d])),
                          static_cast<long>(PyArray_DIM(array, d)));
            status = refuse(w, a, text);
        }
    return status;
}

// An intent(inout) argument is the caller's state that the routine updates
// where it lies: only the caller's own ndarray of the stated type (native byte
// order), aligned and contiguous in Fortran order holds it.  Anything else
// is refused before it is converted: numpy's wrapper would refuse it after a
// conversion, or write the update into a temporary (a number) or with a cast.
// Read-only and masked arrays are left to check_array, which names them.
int check_own_array(const CheckedRoutine &w, const Argument &a, PyObject *value) {
    PyArray_Descr *stated = PyArray_DescrFromType(numpy_type(a.type));
    auto *array = PyArray_Check(value) ? reinterpret_cast<PyArrayObject *>(value) : nullptr;
    const bool same_type = array != nullptr && PyArray_EquivTypes(PyArray_DESCR(array), stated);
    if (same_type && PyArray_ISALIGNED(array) && (a.rank < 1 || PyArray_IS_F_CONTIGUOUS(array))) {
        Py_DECREF(stated);
        return 0;
    }
    PyObject *given = array != nullptr ? PyObject_Str(reinterpret_cast<PyObject *>(PyArray_DESCR(array))) : nullptr;
    PyObject *wanted = PyObject_Str(reinterpret_cast<PyObject *>(stated));
    Py_DECREF(stated);
    const char *given_name = given != nullptr ? PyUnicode_AsUTF8(given) : nullptr;
    const char *wanted_name = wanted != nullptr ? PyUnicode_AsUTF8(wanted) : nullptr;
    PyErr_Clear();
    char what[96];
    if (array == nullptr)
        std::snprintf(what, sizeof what, "%s", Py_TYPE(value)->tp_name);
    else
        std::snprintf(what, sizeof what, "%s ndarray of %s",
                      !same_type ? "an" : !PyArray_ISALIGNED(array) ? "an unaligned" : "a non-Fortran-ordered",
                      given_name != nullptr ? given_name : "another type");
    char text[320];
    std::snprintf(text, sizeof text,
                  "is updated in place: it must be the caller's own writeable ndarray of %s%s, not %s",
                  wanted_name != nullptr ? wanted_name : kind_name(numpy_type(a.type)),
                  a.rank > 1 ? " in Fortran order" : a.rank == 1 ? ", contiguous" : "", what);
    Py_XDECREF(given);
    Py_XDECREF(wanted);
    return refuse(w, a, text);
}

// An overwrite_<name> flag: an integer (int, bool, numpy integer) within a C
// int, as the wrapper reads it; its truth, or -1 with the error set.
int overwrite_flag(const CheckedRoutine &w, const Argument &a, PyObject *flag) {
    PyObject *index = PyIndex_Check(flag) ? PyNumber_Index(flag) : nullptr;
    int overflow = 0;
    const long v = index != nullptr ? PyLong_AsLongAndOverflow(index, &overflow) : 0;
    const bool fits_int = index != nullptr && overflow == 0 && v >= INT32_MIN && v <= INT32_MAX;
    Py_XDECREF(index);
    if (fits_int) return v != 0 ? 1 : 0;
    PyErr_Clear();
    char text[160];
    std::snprintf(text, sizeof text, "takes an integer flag (0 or 1), not %s", Py_TYPE(flag)->tp_name);
    return refuse(w, a, text);
}

int check_array(const CheckedRoutine &w, Call &call, int i, bool overwrite) {
    const Argument &a = w.declared->arguments[i];
    // Arrays of single characters are the wrapper's to convert.
    if (a.type == KESTRO_TYPE_CHAR) return 0;
    PyObject *value = call[i];
    PyArrayObject *array = call.array(i);
    if (array == nullptr) return -1;
    int status = well_shaped(a, array) ? 0 : check_shape(w, a, array);
    if (status == 0) status = check_values(w, a, array);
    // The routine writes into a caller's array that it receives as it is.
    if (status == 0 && (a.written || overwrite) && PyArray_Check(value) &&
        !PyArray_ISWRITEABLE(reinterpret_cast<PyArrayObject *>(value)))
        status = refuse(w, a, "is read-only, but the routine writes into it");
    return status;
}

// Whether a Python number certainly converts to the scalar's type with its
// value kept, as the array path below would find: a float or an integer
// within range.  False leaves the decision (and its message) to that path.
bool plainly_fits(int32_t type, PyObject *value) {
    if (PyFloat_CheckExact(value) || PyComplex_CheckExact(value)) {
        if (type == KESTRO_TYPE_COMPLEX16) return true;
        return type == KESTRO_TYPE_REAL8 && PyFloat_CheckExact(value);
    }
    if (PyBool_Check(value)) return numpy_type(type) != NPY_NOTYPE;
    if (!PyLong_CheckExact(value)) return false;
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0 || (v == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return false;
    }
    switch (type) {
    case KESTRO_TYPE_INT1:
    case KESTRO_TYPE_LOGICAL1: return v >= INT8_MIN && v <= INT8_MAX;
    case KESTRO_TYPE_INT2: return v >= INT16_MIN && v <= INT16_MAX;
    case KESTRO_TYPE_INT4:
    case KESTRO_TYPE_LOGICAL4: return v >= INT32_MIN && v <= INT32_MAX;
    case KESTRO_TYPE_INT8:
    case KESTRO_TYPE_REAL4:
    case KESTRO_TYPE_REAL8:
    case KESTRO_TYPE_COMPLEX16: return true;
    default: return false;
    }
}

int check_scalar(const CheckedRoutine &w, Call &call, int i) {
    const Argument &a = w.declared->arguments[i];
    PyObject *value = call[i];
    if (plainly_fits(a.type, value)) return 0;
    PyArrayObject *array = as_array(w, a, value);
    if (array == nullptr) return -1;
    int status = PyArray_SIZE(array) == 1 ? check_values(w, a, array) : refuse(w, a, "takes a single value");
    // The wrapper converts a number, a numpy scalar or an ndarray itself; any
    // other value (an array-like, a list) is passed as the one value its
    // conversion here gave, which the wrapper's own conversion of numbers
    // would refuse or take otherwise.
    if (status == 0 && !PyArray_Check(value) && !PyArray_IsScalar(value, Generic) && !PyFloat_Check(value) &&
        !PyLong_Check(value) && !PyComplex_Check(value)) {
        PyObject *item = PyArray_GETITEM(array, static_cast<const char *>(PyArray_DATA(array)));
        status = item != nullptr ? call.replace(i, item) : -1;
    }
    Py_DECREF(array);
    return status;
}

// The shape in which a caller gave a shaped argument, and the flat copy the
// routine receives (owned by the call's arguments once replaced).
struct Shape {
    PyObject *flat = nullptr;
    int ndim = 0;
    npy_intp dims[NPY_MAXDIMS];  // the first ndim hold the shape (not cleared: every call makes one)
};

int flatten(const CheckedRoutine &w, const Argument &a, PyArrayObject *array, Shape *shape) {
    int status = 0;
    if (a.shaped > 0 && (PyArray_NDIM(array) < 1 || PyArray_DIM(array, 0) != a.shaped)) {
        char text[96];
        std::snprintf(text, sizeof text, "needs %d entries along dimension 1", a.shaped);
        status = refuse(w, a, text);
    } else {
        shape->ndim = PyArray_NDIM(array);
        std::copy_n(PyArray_DIMS(array), shape->ndim, shape->dims);
        shape->flat = PyArray_Ravel(array, NPY_FORTRANORDER);
        if (shape->flat == nullptr) status = -1;
    }
    return status;
}

// The routine's flat result in the shape of the caller's argument.
PyObject *reshaped(PyObject *result, const Shape &shape) {
    if (!PyArray_Check(result)) return result;
    PyArray_Dims dims{const_cast<npy_intp *>(shape.dims), shape.ndim};
    auto *array = reinterpret_cast<PyArrayObject *>(result);
    if (PyArray_SIZE(array) != PyArray_MultiplyList(dims.ptr, dims.len)) return result;
    PyObject *out = PyArray_Newshape(array, &dims, NPY_FORTRANORDER);
    Py_DECREF(result);
    return out;
}

// The value of an extent argument the caller gave; false when none was given
// or it is no integer (the wrapper's conversion reports that).
bool given_extent(PyObject *value, long long *extent) {
    if (value == nullptr || value == Py_None) return false;
    PyObject *index = PyNumber_Index(value);
    if (index == nullptr) {
        PyErr_Clear();
        return false;
    }
    *extent = PyLong_AsLongLong(index);
    Py_DECREF(index);
    if (*extent == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return true;
}

// The extent of the array given as argument i along dimension d (and its
// number of dimensions); false when it was not given or has fewer dimensions.
bool extent_of(Call &call, int i, int d, npy_intp *extent, int *ndim = nullptr) {
    PyObject *value = call[i];
    if (value == nullptr || value == Py_None) return false;
    PyArrayObject *array = call.array(i);
    if (array == nullptr) {
        PyErr_Clear();
        return false;
    }
    const bool has = d < PyArray_NDIM(array);
    if (has) *extent = PyArray_DIM(array, d);
    if (ndim != nullptr) *ndim = PyArray_NDIM(array);
    return has;
}

// Replaces the block argument i by its leading block of the given extents
// (-1: the whole dimension), which the wrapper then copies.
int pass_block(Call &call, int i, int ndim, const long long *block) {
    PyObject *index = PyTuple_New(ndim);
    if (index == nullptr) return -1;
    for (int d = 0; d < ndim; ++d) {
        PyObject *stop = block[d] >= 0 ? PyLong_FromLongLong(block[d]) : Py_NewRef(Py_None);
        PyObject *range = stop != nullptr ? PySlice_New(nullptr, stop, nullptr) : nullptr;
        Py_XDECREF(stop);
        if (range == nullptr) {
            Py_DECREF(index);
            return -1;
        }
        PyTuple_SET_ITEM(index, d, range);
    }
    PyArrayObject *array = call.array(i);
    PyObject *part = array != nullptr ? PyObject_GetItem(reinterpret_cast<PyObject *>(array), index) : nullptr;
    Py_DECREF(index);
    return part != nullptr ? call.replace(i, part) : -1;
}

// The dimensions whose extent is an argument that defaults to an extent of an
// array: without that argument they equal that array's extent (two vectors of
// one length n = len(x)); with it, a leading dimension, which spaces the
// entries of the next, equals it and the last dimension holds at least that
// many.  The wrapper then takes these arrays in the extents they have.
int check_bound_extents(const CheckedRoutine &w, Call &call) {
    const Routine &r = *w.declared;
    for (int i = 0; i < r.count; ++i) {
        const Argument &a = r.arguments[i];
        if (a.kind != ArgKind::array) continue;
        long long block[KESTRO_MAX_RANK];
        bool smaller = false;
        int ndim = 0;
        for (int d = 0; d < a.rank; ++d) {
            if (a.source_arg[d] < 0) continue;
            long long expected = 0;
            const bool given = a.extent_arg[d] >= 0 && given_extent(call[a.extent_arg[d]], &expected);
            const bool itself = a.source_arg[d] == i && a.source_dim[d] == d;
            if (!given && itself) continue;  // the array sets the extent
            npy_intp actual = 0, from_source = 0;
            if (!extent_of(call, i, d, &actual, &ndim)) break;
            bool exact = true;
            if (given) {
                // A leading dimension spaces the entries of the next one.
                exact = !a.block && d < std::min<int>(a.rank, ndim) - 1;
                if (a.block && expected >= 0 && expected < actual) {
                    if (!smaller) std::fill_n(block, KESTRO_MAX_RANK, -1LL);
                    block[d] = expected;
                    smaller = true;
                }
            } else if (extent_of(call, a.source_arg[d], a.source_dim[d], &from_source)) {
                expected = from_source;
            } else {
                continue;
            }
            if (exact ? actual == expected : actual >= expected) continue;
            const char *as = r.arguments[given ? a.extent_arg[d] : a.source_arg[d]].name;
            char text[160];
            std::snprintf(text, sizeof text, "needs %s%lld entries along dimension %d (as %s), not %ld",
                          exact ? "" : "at least ", expected, d + 1, as, static_cast<long>(actual));
            return refuse(w, a, text);
        }
        if (smaller && pass_block(call, i, std::min<int>(ndim, a.rank), block) != 0)
            return -1;
    }
    return 0;
}

// The wrapper's own conversion failures (an array whose extents disagree with
// the other arguments) raise ValueError before the routine is called, and
// numpy's casts RuntimeError (datetime values as characters); they are
// argument errors like the others.  Exceptions raised once the routine runs
// (a callable's) pass unchanged.
void as_module_error() {
    if (!PyErr_ExceptionMatches(PyExc_ValueError) && !PyErr_ExceptionMatches(PyExc_RuntimeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyObject *text = value != nullptr ? PyObject_Str(value) : nullptr;
    const char *message = text != nullptr ? PyUnicode_AsUTF8(text) : nullptr;
    if (message != nullptr) {
        PyErr_SetString(module_error, message);
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
    } else {
        PyErr_Clear();
        PyErr_Restore(type, value, traceback);
    }
    Py_XDECREF(text);
}

// Writes a result into the caller's array dest when it has dest's shape (or
// is one value for a one-value dest): 1 written, 0 not of that shape, -1
// with the error set when a value does not fit dest's type.
int write_into(const Routine &r, PyArrayObject *dest, PyObject *value) {
    auto *src = reinterpret_cast<PyArrayObject *>(PyArray_FROM_O(value));
    if (src == nullptr) return -1;
    int status = 0;
    if (PyArray_SIZE(src) == PyArray_SIZE(dest) && (PyArray_SAMESHAPE(dest, src) || PyArray_SIZE(src) == 1)) {
        // Values the caller's array cannot hold are refused, not cast.
        if (fits(src, PyArray_TYPE(dest)) != Fit::ok) {
            PyErr_Format(module_error, "%s.%s: the result does not fit the type of the caller's array %s",
                         r.module, r.name, PyArray_DESCR(dest)->typeobj->tp_name);
            status = -1;
        } else {
            status = PyArray_CopyInto(dest, src) == 0 ? 1 : -1;
        }
    }
    Py_DECREF(src);
    return status;
}

// The routine's results, as its Python form gives them: the result of each
// in-place argument is written into the caller's writeable array (0-d for a
// scalar; strided views and other layouts included), and an array result is
// then that array; a routine that names what it returns gives those alone
// (one as it is, none as None).
PyObject *place_results(const CheckedRoutine &w, const Call &call, PyObject *result) {
    const Routine &r = *w.declared;
    if (r.results < 1 || (r.results > 1 && (!PyTuple_Check(result) || PyTuple_GET_SIZE(result) != r.results)))
        return result;
    PyObject *items = r.results == 1 ? PyList_New(1) : PySequence_List(result);
    if (items != nullptr && r.results == 1) PyList_SET_ITEM(items, 0, Py_NewRef(result));
    Py_DECREF(result);
    if (items == nullptr) return nullptr;
    for (int i = 0; i < r.count; ++i) {
        const Argument &a = r.arguments[i];
        PyObject *target = a.inplace && a.result >= 0 ? call[i] : nullptr;
        if (target == nullptr || !PyArray_Check(target)) continue;
        auto *dest = reinterpret_cast<PyArrayObject *>(target);
        PyObject *value = PyList_GET_ITEM(items, a.result);
        if (value == target || !PyArray_ISWRITEABLE(dest)) continue;
        const int written = write_into(r, dest, value);
        if (written < 0) {
            Py_DECREF(items);
            return nullptr;
        }
        // An array result is the caller's array; a number stays a number.
        if (written > 0 && PyArray_Check(value)) PyList_SetItem(items, a.result, Py_NewRef(target));
    }
    const int n = w.returns;
    const auto item = [&](int k) { return PyList_GET_ITEM(items, r.returned != nullptr ? r.returned[k] : k); };
    PyObject *out = n == 0 ? Py_NewRef(Py_None) : n == 1 ? Py_NewRef(item(0)) : PyTuple_New(n);
    if (out != nullptr && n > 1)
        for (int k = 0; k < n; ++k) PyTuple_SET_ITEM(out, k, Py_NewRef(item(k)));
    Py_DECREF(items);
    return out;
}

PyObject *checked_call(PyObject *self, PyObject *args, PyObject *kwargs) {
    auto &w = *reinterpret_cast<CheckedRoutine *>(self);
    const Routine &r = *w.declared;
    Call call(w, args, kwargs);
    PyObject *result = nullptr;
    Shape shape;  // the caller's shape of a shaped argument
    int status = 0;
    for (int i = 0; status == 0 && i < r.count; ++i) {
        const Argument &a = r.arguments[i];
        PyObject *value = call[i];
        if (value == nullptr) continue;  // the generated wrapper reports a missing argument
        if (value == Py_None) {
            if (a.required) {
                PyErr_Format(PyExc_TypeError, "%s.%s: argument %s is required, not None", r.module, r.name,
                             a.name);
                status = -1;
            } else if (a.kind == ArgKind::overwrite || a.kind == ArgKind::extra_args) {
                // None stands for the default, which the wrapper reads only from a value of the type.
                status = call.replace(i, a.kind == ArgKind::overwrite ? PyLong_FromLong(0) : PyTuple_New(0));
            }
            continue;
        }
        switch (a.kind) {
        case ArgKind::array: {
            PyObject *flag = a.overwrite >= 0 ? call[a.overwrite] : nullptr;
            const int overwrite =
                flag != nullptr && flag != Py_None ? overwrite_flag(w, r.arguments[a.overwrite], flag) : 0;
            status = overwrite < 0 ? -1 : a.inout ? check_own_array(w, a, value) : 0;
            if (status == 0) status = check_array(w, call, i, overwrite > 0);
            if (status == 0 && a.shaped >= 0) {
                // Passed as its column-major list of values; the result takes this shape.
                PyArrayObject *array = call.array(i);
                status = array == nullptr ? -1 : flatten(w, a, array, &shape);
                if (status == 0) status = call.replace(i, shape.flat);
            }
            break;
        }
        case ArgKind::scalar:
            status = check_scalar(w, call, i);
            // A scalar updated in place takes a writeable 0-d array, or a number as an input.
            if (status == 0 && a.inplace && PyArray_Check(value) &&
                !PyArray_ISWRITEABLE(reinterpret_cast<PyArrayObject *>(value)))
                status = refuse(w, a, "is read-only, but the routine writes into it");
            break;
        case ArgKind::string: {
            PyObject *bytes = string_bytes(value);
            if (bytes == nullptr && !PyErr_Occurred())
                PyErr_Format(PyExc_TypeError,
                             "%s.%s: argument %s takes a string (str, bytes, bytearray, memoryview or numpy bytes), "
                             "not %s", r.module, r.name, a.name, Py_TYPE(value)->tp_name);
            else if (bytes == nullptr)
                refuse_for(w, a, "does not convert to bytes");
            status = bytes == nullptr ? -1 : call.replace(i, bytes);
            break;
        }
        case ArgKind::extra_args:
            if (!PyTuple_Check(value)) {
                char text[160];
                std::snprintf(text, sizeof text, "takes a tuple of further arguments for the callable, not %s",
                              Py_TYPE(value)->tp_name);
                status = refuse(w, a, text);
            }
            break;
        case ArgKind::overwrite: status = overwrite_flag(w, a, value) < 0 ? -1 : 0; break;
        case ArgKind::procedure:
            if (!PyCallable_Check(value)) {
                char text[96];
                std::snprintf(text, sizeof text, "takes a callable, not %s", Py_TYPE(value)->tp_name);
                status = refuse(w, a, text);
            }
            break;
        }
    }
    if (status == 0) status = check_bound_extents(w, call);
    if (status == 0) status = call.pass_converted();
    if (status == 0) {
        bool &entered = routine_entered;
        const bool outer = entered;
        entered = false;
        result = call.run();
        if (result == nullptr && !entered) as_module_error();
        entered = outer;
    }
    if (result != nullptr && shape.flat != nullptr) result = reshaped(result, shape);
    return result != nullptr ? place_results(w, call, result) : nullptr;
}

void checked_dealloc(PyObject *self) {
    PyTypeObject *type = Py_TYPE(self);
    Py_XDECREF(reinterpret_cast<CheckedRoutine *>(self)->routine);
    Py_XDECREF(reinterpret_cast<CheckedRoutine *>(self)->keywords);
    type->tp_free(self);
    Py_DECREF(type);
}

// The generated wrapper's text with the library's own helpers in its
// expressions hidden: kestro_nonnegative(e) reads as e, kestro_f(...) as f(...).
std::string without_helpers(std::string_view text) {
    constexpr std::string_view nonnegative = "kestro_nonnegative(", prefix = "kestro_";
    std::string out;
    std::vector<std::size_t> dropped;  // where the ")" of a hidden call will come
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, nonnegative.size()) == nonnegative) {
            dropped.push_back(static_cast<std::size_t>(++depth));
            i += nonnegative.size() - 1;
            continue;
        }
        if (text.substr(i, prefix.size()) == prefix) {
            i += prefix.size() - 1;
            continue;
        }
        if (text[i] == '(') ++depth;
        if (text[i] == ')') {
            const bool hidden = !dropped.empty() && dropped.back() == static_cast<std::size_t>(depth);
            --depth;
            if (hidden) {
                dropped.pop_back();
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// help() shows the routine's description from its signature file, then the
// generated call signature and arguments in place of "Wrapper for ...".
PyObject *checked_doc(PyObject *self, void *) {
    const auto &w = *reinterpret_cast<CheckedRoutine *>(self);
    PyObject *generated = PyObject_GetAttrString(w.routine, "__doc__");
    if (generated == nullptr || !PyUnicode_Check(generated)) return generated;
    Py_ssize_t size = 0;
    const char *utf8 = PyUnicode_AsUTF8AndSize(generated, &size);
    if (utf8 == nullptr) {
        Py_DECREF(generated);
        return nullptr;
    }
    std::string text = without_helpers({utf8, static_cast<std::size_t>(size)});
    Py_DECREF(generated);
    const std::string wrapper = std::string("Wrapper for ``") + w.declared->name + "``.";
    const std::size_t at = text.find(wrapper);
    const std::string description = w.declared->doc != nullptr ? w.declared->doc : "";
    if (at != std::string::npos && !description.empty()) text.replace(at, wrapper.size(), description);
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyGetSetDef checked_getset[] = {
    {"__doc__", checked_doc, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot checked_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void *>(checked_dealloc)},
    {Py_tp_call, reinterpret_cast<void *>(checked_call)},
    {Py_tp_getset, checked_getset},
    {0, nullptr},
};

PyType_Spec checked_type = {"_kestro.routine", sizeof(CheckedRoutine), 0, Py_TPFLAGS_DEFAULT, checked_slots};

}  // namespace

int install_checked_routines(PyObject *module, PyObject *error) {
    module_error = error;
    PyObject *type = PyType_FromSpec(&checked_type);
    if (type == nullptr) return -1;
    int status = 0;
    for (const Routine *r = routines; status == 0 && r->module != nullptr; ++r) {
        PyObject *mod = PyObject_GetAttrString(module, r->module);
        if (mod == nullptr) {
            status = -1;
            break;
        }
        auto *fp = reinterpret_cast<PyFortranObject *>(mod);
        PyObject *routine = PyFortran_Check(mod) ? PyDict_GetItemString(fp->dict, r->name) : nullptr;
        const FortranDataDef *def =
            routine != nullptr && PyFortran_Check(routine) ? reinterpret_cast<PyFortranObject *>(routine)->defs : nullptr;
        status = -1;
        if (r->count > Call::capacity) {
            PyErr_Format(PyExc_ImportError, "%s.%s: more than %d arguments", r->module, r->name, Call::capacity);
        } else if (def != nullptr && def->rank == -1 && def->func != nullptr) {
            auto *w = PyObject_New(CheckedRoutine, reinterpret_cast<PyTypeObject *>(type));
            if (w != nullptr) {
                w->routine = Py_NewRef(routine);
                // fortranobject.c calls the same pointer as this type (its fortranfunc).
                w->wrapper = reinterpret_cast<WrapperFunction>(reinterpret_cast<void (*)()>(def->func));
                w->entry = def->data;
                w->declared = r;
                w->returns = r->results;
                if (r->returned != nullptr)
                    for (w->returns = 0; r->returned[w->returns] >= 0;) ++w->returns;
                w->keywords = PyTuple_New(r->count);
                for (int i = 0; w->keywords != nullptr && i < r->count; ++i) {
                    PyObject *name = PyUnicode_InternFromString(r->arguments[i].name);
                    if (name == nullptr) Py_CLEAR(w->keywords);
                    else PyTuple_SET_ITEM(w->keywords, i, name);
                }
                if (w->keywords != nullptr)
                    status = PyDict_SetItemString(fp->dict, r->name, reinterpret_cast<PyObject *>(w));
                Py_DECREF(w);
            }
        } else {
            PyErr_Format(PyExc_ImportError, "%s.%s: no such routine", r->module, r->name);
        }
        Py_DECREF(mod);
    }
    Py_DECREF(type);
    return status;
}

}  // namespace kestro::python
