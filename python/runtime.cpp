// Python-side policies of the module objects that f2py builds: constants are
// read-only, strings are blank-padded, assigning None drops an array, and a
// numpy view of a shared array keeps its storage alive after the library drops
// it.  Installed once when _kestro is imported.
#include "python/runtime.hpp"

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NO_IMPORT_ARRAY
#include "fortranobject.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "python/checks.h"
#include "python/values.hpp"

#include "kestro/array.h"
#include "kestro/host.h"
#include "kestro/math.h"

namespace kestro::python {

bool python_error_pending() noexcept { return PyErr_Occurred() != nullptr; }

static_assert(sizeof(npy_index) == sizeof(npy_intp));

void getdims(kestro_array &a, int * /*rank*/, npy_index *dims, set_data_fn set_data, int *flag) noexcept {
    bool differs = false;
    if (a.data != nullptr)
        for (int d = 0; d < a.rank; ++d) differs = differs || (dims[d] >= 0 && dims[d] != a.extent[d]);
    if (differs) kestro_array_drop(&a);
    if (a.data == nullptr && dims[0] >= 0) {
        int64_t extent[KESTRO_MAX_RANK] = {};
        for (int d = 0; d < a.rank; ++d) extent[d] = std::max<npy_index>(dims[d], 0);
        kestro_array_create(&a, extent);
    }
    if (a.data != nullptr)
        for (int d = 0; d < a.rank; ++d) dims[d] = a.extent[d];
    *flag = 1;
    npy_index exists = a.data != nullptr ? 1 : 0;
    set_data(static_cast<char *>(a.data), &exists);
}

namespace {

PyObject *module_error = nullptr;
getattrfunc fortran_getattr = nullptr;
setattrfunc fortran_setattr = nullptr;

const FortranDataDef *find_def(PyFortranObject *fp, const char *name) {
    for (int i = 0; i < fp->len; ++i)
        if (std::strcmp(fp->defs[i].name, name) == 0) return &fp->defs[i];
    return nullptr;
}

const Variable *find_variable(const FortranDataDef *def) {
    if (def == nullptr || def->rank == -1) return nullptr;
    for (const Variable *v = variables; v->module != nullptr; ++v) {
        if (v->kind == Kind::allocatable ? reinterpret_cast<void *>(def->func) == reinterpret_cast<void *>(v->getdims)
                                         : static_cast<const void *>(def->data) == v->address)
            return v;
    }
    return nullptr;
}

// Stores text in a fixed-length string variable, padded with blanks; text
// whose non-blank characters would be cut (a path naming another file) raises.
int set_string(const Variable &var, PyObject *value) {
    PyObject *item = nullptr;
    if (PyArray_Check(value) && PyArray_NDIM(reinterpret_cast<PyArrayObject *>(value)) == 0 &&
        PyArray_TYPE(reinterpret_cast<PyArrayObject *>(value)) != NPY_STRING)
        value = item = PyObject_CallMethod(value, "item", nullptr);
    PyObject *bytes = value != nullptr ? string_bytes(value) : nullptr;
    Py_XDECREF(item);
    if (bytes == nullptr) {
        // Also a str that UTF-8 cannot encode (a lone surrogate).
        PyErr_Clear();
        PyErr_Format(module_error, "%s.%s takes a string%s", var.module, var.name,
                     value != nullptr && PyUnicode_Check(value) ? " that converts to UTF-8 bytes" : "");
        return -1;
    }
    const std::string_view text(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
    if (text.size() > static_cast<std::size_t>(var.length) &&
        text.find_first_not_of(' ', static_cast<std::size_t>(var.length)) != std::string_view::npos) {
        PyErr_Format(module_error, "%s.%s holds %d characters: the value has %zd up to its last non-blank",
                     var.module, var.name, var.length, static_cast<Py_ssize_t>(text.find_last_not_of(' ') + 1));
        Py_DECREF(bytes);
        return -1;
    }
    char *dest = static_cast<char *>(const_cast<void *>(var.address));
    const Py_ssize_t n = std::min<Py_ssize_t>(PyBytes_GET_SIZE(bytes), var.length);
    std::memcpy(dest, PyBytes_AS_STRING(bytes), static_cast<std::size_t>(n));
    std::memset(dest + n, ' ', static_cast<std::size_t>(var.length - n));
    Py_DECREF(bytes);
    return 0;
}

// Converts an assigned value to a Fortran-ordered array of the variable's
// element type.  Conversions of the same kind are accepted (integers to
// narrower integers, reals to integers not); integers that do not fit raise.
PyArrayObject *convert_value(const Variable &var, PyObject *value, int type) {
    if (is_masked(value)) {
        PyErr_Format(module_error, "%s.%s: a masked array cannot be assigned (its mask would be dropped)",
                     var.module, var.name);
        return nullptr;
    }
    PyArrayObject *source = reinterpret_cast<PyArrayObject *>(
        PyArray_FromAny(value, nullptr, 0, 0, NPY_ARRAY_ALIGNED | NPY_ARRAY_F_CONTIGUOUS, nullptr));
    if (source == nullptr) {
        PyErr_Clear();
        PyErr_Format(module_error, "%s.%s: the value is not a numeric array", var.module, var.name);
        return nullptr;
    }
    PyArrayObject *result = nullptr;
    switch (fits(source, type)) {
    case Fit::ok:
        result = reinterpret_cast<PyArrayObject *>(PyArray_CastToType(source, PyArray_DescrFromType(type), 1));
        break;
    case Fit::wrong_kind:
        PyErr_Format(module_error, "%s.%s takes %s values", var.module, var.name, kind_name(type));
        break;
    case Fit::out_of_range:
        PyErr_Format(module_error, "%s.%s: a value does not fit the variable's %s type", var.module, var.name,
                     kind_name(type));
        break;
    }
    Py_DECREF(source);
    return result;
}

int set_scalar(const Variable &var, const FortranDataDef &def, PyObject *value) {
    PyArrayObject *array = convert_value(var, value, def.type);
    if (array == nullptr) return -1;
    int status = 0;
    if (PyArray_SIZE(array) != 1) {
        PyErr_Format(module_error, "%s.%s takes a single value", var.module, var.name);
        status = -1;
    } else {
        std::memcpy(const_cast<void *>(var.address), PyArray_DATA(array), PyArray_ITEMSIZE(array));
    }
    Py_DECREF(array);
    return status;
}

// An array of the variable's rank: the shared array takes its values, and is
// re-created first when its shape differs.
int set_array(const Variable &var, PyObject *value) {
    auto *target = static_cast<kestro_array *>(const_cast<void *>(var.address));
    PyArrayObject *array = convert_value(var, value, numpy_type(target->type));
    if (array == nullptr) return -1;
    int status = 0;
    if (PyArray_NDIM(array) != target->rank) {
        PyErr_Format(module_error, "%s.%s takes an array of rank %d, not %d", var.module, var.name, target->rank,
                     PyArray_NDIM(array));
        status = -1;
    } else {
        int64_t extent[KESTRO_MAX_RANK] = {};
        bool same = target->data != nullptr;
        for (int d = 0; d < target->rank; ++d) {
            extent[d] = PyArray_DIM(array, d);
            same = same && extent[d] == target->extent[d];
        }
        if (!same) kestro_array_replace(target, extent);
        std::memcpy(target->data, PyArray_DATA(array), static_cast<std::size_t>(PyArray_NBYTES(array)));
        kestro_array_note_external_access(target);
    }
    Py_DECREF(array);
    return status;
}

int setattr(PyObject *self, char *name, PyObject *value) {
    auto *fp = reinterpret_cast<PyFortranObject *>(self);
    const FortranDataDef *def = find_def(fp, name);
    const Variable *var = find_variable(def);
    if (def == nullptr && std::strncmp(name, "__", 2) != 0) {
        // A misspelt variable must not silently become a new attribute.
        PyErr_Format(module_error, "there is no variable '%s' to set", name);
        return -1;
    }
    if (var == nullptr) return fortran_setattr(self, name, value);
    if (value == nullptr && var->kind != Kind::allocatable) {
        PyErr_Format(module_error, "%s.%s cannot be deleted", var->module, var->name);
        return -1;
    }
    switch (var->kind) {
    case Kind::parameter:
        PyErr_Format(module_error, "%s.%s is a constant", var->module, var->name);
        return -1;
    case Kind::string:
        return set_string(*var, value);
    case Kind::scalar:
        return set_scalar(*var, *def, value);
    case Kind::allocatable:
        if (value == nullptr || value == Py_None) {
            kestro_array_drop(static_cast<kestro_array *>(const_cast<void *>(var->address)));
            return 0;
        }
        return set_array(*var, value);
    }
    return -1;
}

void release_capsule(PyObject *capsule) {
    kestro_array_release(PyCapsule_GetPointer(capsule, "kestro.block"));
}

PyObject *getattr(PyObject *self, char *name) {
    PyObject *result = fortran_getattr(self, name);
    if (result == nullptr || !PyArray_Check(result)) return result;
    const Variable *var = find_variable(find_def(reinterpret_cast<PyFortranObject *>(self), name));
    if (var != nullptr && var->kind == Kind::string) {
        // A string is set by assignment, which pads it with blanks; writing
        // through the view would pad it with zero bytes.
        PyArray_CLEARFLAGS(reinterpret_cast<PyArrayObject *>(result), NPY_ARRAY_WRITEABLE);
        return result;
    }
    if (var == nullptr || var->kind != Kind::allocatable) return result;
    auto *array = reinterpret_cast<PyArrayObject *>(result);
    void *block = static_cast<const kestro_array *>(var->address)->data;
    if (block == nullptr || PyArray_DATA(array) != block || PyArray_BASE(array) != nullptr) return result;
    // The view shares the array's storage: hold it until the view is gone.  The
    // caller may write through it, which indexes of the array cannot follow.
    kestro_array_note_external_access(static_cast<const kestro_array *>(var->address));
    PyObject *capsule = PyCapsule_New(block, "kestro.block", release_capsule);
    if (capsule == nullptr) {
        Py_DECREF(result);
        return nullptr;
    }
    kestro_array_retain(block);
    if (PyArray_SetBaseObject(array, capsule) != 0) {  // steals the capsule
        Py_DECREF(result);
        return nullptr;
    }
    return result;
}

// Attribute lookup by name object: routines and the other entries of the
// module's dictionary that are no arrays are found with the name's cached hash,
// without the text conversion of the lookup by C string; everything else takes
// the way above.
PyObject *getattro(PyObject *self, PyObject *name) {
    PyObject *dict = reinterpret_cast<PyFortranObject *>(self)->dict;
    if (dict != nullptr && PyUnicode_CheckExact(name)) {
        PyObject *found = PyDict_GetItemWithError(dict, name);
        if (found != nullptr && !PyArray_Check(found)) return Py_NewRef(found);
        if (found == nullptr && PyErr_Occurred()) return nullptr;
    }
    const char *text = PyUnicode_AsUTF8(name);
    return text != nullptr ? getattr(self, const_cast<char *>(text)) : nullptr;
}

// Writes out what Python has buffered before the library prints or ends the process.
void flush_python_streams() {
    if (!Py_IsInitialized()) return;
    PyGILState_STATE gil = PyGILState_Ensure();
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    for (const char *stream : {"stdout", "stderr"}) {
        PyObject *s = PySys_GetObject(stream);  // borrowed
        if (s == nullptr || s == Py_None) continue;
        PyObject *r = PyObject_CallMethod(s, "flush", nullptr);
        if (r == nullptr) PyErr_Clear();
        Py_XDECREF(r);
    }
    PyErr_Restore(type, value, traceback);
    PyGILState_Release(gil);
}

// String variables that nothing has set yet start blank, as every string the
// library sets is blank-padded.
void blank_unset_strings() {
    for (const Variable *v = variables; v->module != nullptr; ++v) {
        if (v->kind != Kind::string) continue;
        char *text = static_cast<char *>(const_cast<void *>(v->address));
        if (std::all_of(text, text + v->length, [](char c) { return c == '\0'; }))
            std::memset(text, ' ', static_cast<std::size_t>(v->length));
    }
}

// Constants must not be written through the numpy views f2py keeps of them.
int protect_constants(PyObject *module) {
    for (const Variable *v = variables; v->module != nullptr; ++v) {
        if (v->kind != Kind::parameter) continue;
        PyObject *mod = PyObject_GetAttrString(module, v->module);
        if (mod == nullptr) return -1;
        auto *fp = reinterpret_cast<PyFortranObject *>(mod);
        PyObject *view = PyFortran_Check(mod) ? PyDict_GetItemString(fp->dict, v->name) : nullptr;
        if (view != nullptr && PyArray_Check(view))
            PyArray_CLEARFLAGS(reinterpret_cast<PyArrayObject *>(view), NPY_ARRAY_WRITEABLE);
        Py_DECREF(mod);
    }
    return 0;
}

}  // namespace
}  // namespace kestro::python

extern "C" int kestro_python_setup(PyObject *module, PyObject *error) {
    using namespace kestro::python;
    if (module == nullptr || error == nullptr) return -1;
    module_error = error;
    Py_INCREF(error);
    if (PyModule_AddObjectRef(module, "error", error) != 0) return -1;
    if (fortran_getattr == nullptr) {
        fortran_getattr = PyFortran_Type.tp_getattr;
        fortran_setattr = PyFortran_Type.tp_setattr;
        PyFortran_Type.tp_getattr = getattr;
        PyFortran_Type.tp_getattro = getattro;
        PyFortran_Type.tp_setattr = setattr;
    }
    kestro_host_set_before_exit(flush_python_streams);
    blank_unset_strings();
    if (install_checked_routines(module, error) != 0) return -1;
    return protect_constants(module);
}

// ---------------------------------------------------------------- argument checks

extern "C" int kestro_within(const int *v, long count, long lo, long hi) {
    for (long i = 0; i < count; ++i)
        if (v[i] < lo || v[i] > hi) return 0;
    return 1;
}

extern "C" long kestro_list_capacity(int listid, int ifflag) {
    const int64_t capacity = kestro_host_list_capacity(listid, ifflag);
    // An absent list copies nothing, so any count is safe.
    return capacity >= 0 ? static_cast<long>(capacity) : std::numeric_limits<long>::max();
}

extern "C" long kestro_reduced_length(const char *s, long len) {
    return static_cast<long>(kestro_host_reduceblanks_length(s, static_cast<std::size_t>(len)));
}

extern "C" int kestro_int2aformat_fits(const int *jrray, long n, long m, const char *aw, long aw_len, long jmax) {
    if (n > std::numeric_limits<int32_t>::max() || m > std::numeric_limits<int32_t>::max()) return 0;
    return kestro_host_int2aformat_fits(jrray, static_cast<int32_t>(n), static_cast<int32_t>(m), aw,
                                        static_cast<std::size_t>(aw_len), static_cast<int32_t>(jmax));
}

extern "C" int kestro_binomial_fits(int n, int k) {
    const int32_t nn = n, kk = k;
    return std::isnan(PascalTriangle(&nn, &kk)) ? 0 : 1;
}

extern "C" int kestro_connectivity_fits(long iele, long nconnect) {
    if (iele < INT32_MIN || iele > INT32_MAX || nconnect < INT32_MIN || nconnect > INT32_MAX) return 0;
    return kestro_host_connectivity_fits(static_cast<int32_t>(iele), static_cast<int32_t>(nconnect));
}

extern "C" int kestro_box_raise(void) {
    const char *message = kestro_host_box_refusal();
    if (message == nullptr) return 0;
    PyErr_SetString(kestro::python::module_error, message);
    return -1;
}

extern "C" long kestro_abs(long k) { return k < 0 ? -k : k; }

extern "C" int kestro_transpose_flag(const char *flag) {
    return std::strchr("NnTtCc", *flag) != nullptr && *flag != '\0' ? 1 : 0;
}

extern "C" long kestro_gemm_inner(const char *sa, long len_a, long m) {
    // Untransposed, a is m x k; transposed, k x m: either way k = len(a) / m.
    (void)sa;
    return m > 0 ? len_a / m : 0;
}

extern "C" int kestro_gemm_fits(const char *sa, const char *sb, long m, long n, long k, long len_a, long len_b) {
    (void)sa;
    (void)sb;
    return kestro_product(m, k) <= len_a && kestro_product(k, n) <= len_b ? 1 : 0;
}

extern "C" long kestro_min(long a, long b) { return a < b ? a : b; }

extern "C" long kestro_nonnegative(long v) { return v < 0 ? 0 : v; }

thread_local bool kestro::python::complex_callbacks = false;

extern "C" int kestro_switched_type(int type) {
    return kestro::python::complex_callbacks && type == NPY_DOUBLE ? NPY_CDOUBLE : type;
}

extern "C" int kestro_section_points_fit(const int *counts, long n, long columns) {
    long total = 0;
    for (long p = 0; p < n; ++p) total += counts[p] > 0 ? counts[p] : 0;
    return total <= columns ? 1 : 0;
}

extern "C" int kestro_concatenation_fits(long ctype, long k, long l, long m, long n) {
    if (ctype == 0 && m > k) return 0;
    if (ctype == 1 && n > l) return 0;
    // The extents of the result are computed as 4-byte integers by the wrapper.
    const long limit = std::numeric_limits<int>::max();
    long rows = 0, cols = 0;
    if (__builtin_mul_overflow(ctype, m, &rows) || __builtin_add_overflow(rows, k, &rows) ||
        __builtin_mul_overflow(ctype, n, &cols) || __builtin_sub_overflow(l + n, cols, &cols))
        return 0;
    return rows >= 0 && rows <= limit && cols >= 0 && cols <= limit ? 1 : 0;
}

extern "C" long kestro_triangle(long n) { return n <= 0 ? 0 : n * (n + 1) / 2; }

extern "C" long kestro_product(long a, long b) {
    long p = 0;
    return __builtin_mul_overflow(a, b, &p) ? std::numeric_limits<long>::max() : p;
}

extern "C" int kestro_offdiagonals_fit(long lenx, long n, long k) {
    const auto m = static_cast<long>(static_cast<double>(n * n - n) * 0.5);
    return lenx >= (k == m ? m : 2 * m) ? 1 : 0;
}

// ---------------------------------------------------------------- extents and callables

extern "C" long kestro_extent(long v) {
    if (v <= std::numeric_limits<int32_t>::max()) return v;
    if (!PyErr_Occurred())
        PyErr_Format(kestro::python::module_error, "an array of %ld entries along one dimension exceeds the "
                     "4-byte extents of the routines", v);
    return 0;
}

extern "C" int kestro_string_length(int *len, long v, const char *routine, const char *name) {
    constexpr long longest = std::numeric_limits<int32_t>::max() - 1L;
    if (v >= 0 && v <= longest) {
        *len = static_cast<int>(v);
        return 1;
    }
    if (!PyErr_Occurred())
        PyErr_Format(kestro::python::module_error, "%s: string %s of %ld characters %s", routine, name, v,
                     v < 0 ? "cannot be made" : "exceeds the 4-byte lengths of the routines (at most 2147483646)");
    return 0;
}

extern "C" npy_intp kestro_stated_extent(PyObject *given, int rank, int dim, npy_intp extent) {
    if (extent != 0 || given == nullptr || given == Py_None || PyErr_Occurred()) return extent;
    // A list is looked at as the array it makes; what makes none is left to the wrapper.
    PyObject *array = PyArray_FROM_O(given);
    if (array == nullptr) {
        PyErr_Clear();
        return extent;
    }
    auto *a = reinterpret_cast<PyArrayObject *>(array);
    const bool empty = PyArray_NDIM(a) == rank && PyArray_DIM(a, dim) == 0;
    Py_DECREF(array);
    return empty ? -1 : extent;
}

extern "C" PyObject *kestro_lend_array(int rank, npy_intp *dims, int type, char *data) {
    PyObject *array = PyArray_New(&PyArray_Type, rank, dims, type, nullptr, nullptr, 0, 1, nullptr);
    if (array != nullptr)
        std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject *>(array)), data,
                    static_cast<std::size_t>(PyArray_NBYTES(reinterpret_cast<PyArrayObject *>(array))));
    return array;
}

extern "C" int kestro_take_back(PyObject *arglist, int i, char *data, int rank, const npy_intp *dims, int type,
                                const char *callable, const char *name) {
    if (!PyTuple_Check(arglist) || i >= PyTuple_GET_SIZE(arglist)) return 0;
    PyObject *item = PyTuple_GET_ITEM(arglist, i);
    if (!PyArray_Check(item)) return 0;
    auto *array = reinterpret_cast<PyArrayObject *>(item);
    // The routine's storage holds what was lent; an array the callable
    // resized in place (ndarray.resize) no longer fits it.
    PyArray_Descr *descr = PyArray_DescrFromType(type);
    const npy_intp size = descr->elsize;
    const bool same_type = PyArray_EquivTypes(PyArray_DESCR(array), descr);
    Py_DECREF(descr);
    npy_intp values = 1;
    for (int d = 0; d < rank; ++d) values *= dims[d];
    if (!same_type) {
        // Its bytes would be read as values of the type it was lent with.
        PyErr_Format(kestro::python::module_error, "the callable given as %s changed the type of %s, which it was "
                     "lent as %s values, to %R", callable, name, kestro::python::kind_name(type),
                     reinterpret_cast<PyObject *>(PyArray_DESCR(array)));
        return -1;
    }
    if (PyArray_NBYTES(array) != values * size) {
        PyErr_Format(kestro::python::module_error,
                     "the callable given as %s resized %s, which it was lent with %ld values, to %ld", callable,
                     name, static_cast<long>(values), static_cast<long>(PyArray_NBYTES(array) / size));
        return -1;
    }
    std::memcpy(data, PyArray_DATA(array), static_cast<std::size_t>(values * size));
    return 0;
}

extern "C" int kestro_callback_returned(PyObject *returned, int count, const char *callable, const char *names,
                                        const char *kinds) {
    // kinds: per output 'n' a number, 'a' an array.  Only the count is
    // checked here; each output's conversion refuses a value it cannot take.
    if (PyTuple_Check(returned) && PyTuple_GET_SIZE(returned) == count) return 0;
    const bool arrays = std::strchr(kinds, 'a') != nullptr;
    PyErr_Format(kestro::python::module_error, "the callable given as %s must return %d %s%s (%s)", callable, count,
                 arrays ? "value" : "number", count == 1 ? "" : "s", names);
    return -1;
}

extern "C" int kestro_callback_returned_or_none(PyObject *returned, int count, const char *callable,
                                                const char *names, const char *kinds) {
    if (PyTuple_Check(returned) && PyTuple_GET_SIZE(returned) == 0) return 0;
    return kestro_callback_returned(returned, count, callable, names, kinds);
}

extern "C" Py_ssize_t kestro_callable_arguments(PyObject *fun, Py_ssize_t counted, Py_ssize_t all) {
    PyObject *code = PyObject_GetAttrString(fun, "__code__");
    PyObject *flags = code != nullptr ? PyObject_GetAttrString(code, "co_flags") : nullptr;
    const long value = flags != nullptr ? PyLong_AsLong(flags) : 0;
    if (flags == nullptr || value == -1) PyErr_Clear();
    Py_XDECREF(flags);
    Py_XDECREF(code);
    return (value > 0 && (value & CO_VARARGS) != 0) ? all : counted;
}

namespace {

// Refuses what a callable returned as its output `name`: "the callable given
// as <callable> returned <name> = <value>, <why>" (an array is not shown).
void refuse_returned(const char *callable, const char *name, PyObject *value, const char *why) {
    PyErr_Clear();
    if (PyArray_Check(value) && PyArray_NDIM(reinterpret_cast<PyArrayObject *>(value)) > 0)
        PyErr_Format(kestro::python::module_error, "the callable given as %s returned %s%s%s", callable, name,
                     std::strncmp(why, "of ", 3) == 0 ? " " : ", ", why);
    else
        PyErr_Format(kestro::python::module_error, "the callable given as %s returned %s = %R, %s", callable, name,
                     value, why);
}

// "(6, 6)": the extents of a shape.
std::string shape_text(int rank, const npy_intp *dims) {
    std::string text = "(";
    for (int d = 0; d < rank; ++d) text += std::to_string(dims[d]) + (d + 1 < rank ? ", " : rank == 1 ? "," : "");
    return text + ")";
}

// What the values of an array returned for an output of numpy type `type`
// lack, by the argument policy (values.hpp); nullptr when they fit.
const char *unfit(PyArrayObject *given, int type, char *text, std::size_t size) {
    using kestro::python::Fit;
    if (PyArray_CheckExact(given) && PyArray_TYPE(given) == type) return nullptr;  // every value fits its own type
    if (kestro::python::is_masked(reinterpret_cast<PyObject *>(given)))
        return "a masked array, whose mask the routine cannot honour";
    switch (kestro::python::fits(given, type)) {
    case Fit::ok: return nullptr;
    case Fit::wrong_kind:
        std::snprintf(text, size, "but the output takes %s values, not %s", kestro::python::kind_name(type),
                      PyArray_DESCR(given)->typeobj->tp_name);
        return text;
    case Fit::out_of_range: return "which holds a value that does not fit the output's type";
    }
    return nullptr;
}

// What the callable returned as its output `name` as an array whose values
// fit the output's type (one value when `single`): a new reference, or
// nullptr with _kestro.error set.
PyArrayObject *returned_values(PyObject *value, int type, bool single, const char *callable, const char *name) {
    auto *given = reinterpret_cast<PyArrayObject *>(PyArray_FROM_O(value));
    if (given == nullptr) {
        refuse_returned(callable, name, value, single ? "which is not a number" : "which is not a numeric array");
        return nullptr;
    }
    char text[160];
    const char *why = single && PyArray_SIZE(given) != 1 ? "which is not a single value"
                                                         : unfit(given, type, text, sizeof text);
    if (why == nullptr) return given;
    refuse_returned(callable, name, value, why);
    Py_DECREF(given);
    return nullptr;
}

}  // namespace

extern "C" int kestro_callback_number(PyObject *value, int type, void *dest, const char *callable, const char *name) {
    // The common results first: a float for a real, an int for an integer.
    if (type == NPY_DOUBLE && PyFloat_Check(value)) {
        *static_cast<double *>(dest) = PyFloat_AS_DOUBLE(value);
        return 1;
    }
    if ((type == NPY_INT || type == NPY_DOUBLE) && PyLong_Check(value)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0 && type == NPY_DOUBLE) {
            *static_cast<double *>(dest) = static_cast<double>(v);
            return 1;
        }
        if (overflow == 0 && v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()) {
            *static_cast<int *>(dest) = static_cast<int>(v);
            return 1;
        }
        PyErr_Clear();
    }
    // Anything else as the argument checks take a single value: one value
    // of the same kind that fits the output's type.
    PyArrayObject *given = returned_values(value, type, true, callable, name);
    if (given == nullptr) return 0;
    auto *cast = reinterpret_cast<PyArrayObject *>(PyArray_CastToType(given, PyArray_DescrFromType(type), 0));
    Py_DECREF(given);
    if (cast == nullptr) {
        refuse_returned(callable, name, value, "which does not convert to the output's type");
        return 0;
    }
    std::memcpy(dest, PyArray_DATA(cast), static_cast<std::size_t>(PyArray_ITEMSIZE(cast)));
    Py_DECREF(cast);
    return 1;
}

extern "C" PyArrayObject *kestro_callback_array(int type, const npy_intp *dims, int rank, PyObject *value,
                                                const char *callable, const char *name) {
    // Converted once; the values are checked as an argument's are, then the
    // wrapper's conversion takes the shape (on a copy of the extents, which
    // it would change).  The result is value itself (borrowed) or a new
    // reference, as the generated code releases it.
    PyArrayObject *given = returned_values(value, type, false, callable, name);
    if (given == nullptr) return nullptr;
    npy_intp shape[NPY_MAXDIMS];
    npy_intp values = 1;
    for (int d = 0; d < rank; ++d) values *= shape[d] = dims[d];
    PyArrayObject *out = array_from_pyobj(type, shape, rank, F2PY_INTENT_IN, reinterpret_cast<PyObject *>(given));
    // The routine's storage holds as many values as it lent (none for an
    // extent 0, where the conversion would take one).
    if (out == nullptr || PyArray_SIZE(out) != values) {
        if (out != nullptr && out != given) Py_DECREF(out);
        const std::string text = "of shape " + shape_text(PyArray_NDIM(given), PyArray_DIMS(given)) +
                                 ", where the routine takes " + shape_text(rank, dims);
        refuse_returned(callable, name, reinterpret_cast<PyObject *>(given), text.c_str());
        Py_DECREF(given);
        return nullptr;
    }
    if (out != given || reinterpret_cast<PyObject *>(given) == value) Py_DECREF(given);
    return out;
}

extern "C" void kestro_callback_result_refused(const char *callable, const char *name) {
    if (PyErr_Occurred() != nullptr && PyErr_ExceptionMatches(kestro::python::module_error)) return;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyObject *text = value != nullptr ? PyObject_Str(value) : nullptr;
    const char *detail = text != nullptr ? PyUnicode_AsUTF8(text) : nullptr;
    PyErr_Clear();
    PyErr_Format(kestro::python::module_error, "the callable given as %s returned %s of the wrong shape or type%s%s",
                 callable, name, detail != nullptr && *detail != 0 ? ": " : "", detail != nullptr ? detail : "");
    Py_XDECREF(text);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
}
