#include "core/listhandling.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

#include "core/array.hpp"
#include "core/shared_data.hpp"
#include "core/utility.hpp"
#include "kestro/host.h"
#include "core/markers.hpp"

namespace kestro::listhandling {

namespace {

using Complex = std::complex<double>;

constexpr int32_t default_allocinc = 500;
constexpr int32_t status_exists = KESTRO_LIST_EXISTS;

// The element types of the three list families and their free markers.
template <class T>
struct Family;
template <>
struct Family<int32_t> {
    static constexpr int32_t ifflag = 0;
    static constexpr int32_t marker = kestro::kAbsentInt;
    static Allocatable<int32_t, 1> *lists[3];
};
template <>
struct Family<double> {
    static constexpr int32_t ifflag = 1;
    static constexpr double marker = kestro::kAbsentReal;
    static Allocatable<double, 1> *lists[3];
};
template <>
struct Family<Complex> {
    static constexpr int32_t ifflag = 2;
    static constexpr Complex marker{kestro::kAbsentReal, kestro::kAbsentReal};
    static Allocatable<Complex, 1> *lists[3];
};
Allocatable<int32_t, 1> *Family<int32_t>::lists[3] = {&dynintlist1, &dynintlist2, &dynintlist3};
Allocatable<double, 1> *Family<double>::lists[3] = {&dynreallist1, &dynreallist2, &dynreallist3};
Allocatable<Complex, 1> *Family<Complex>::lists[3] = {&dyncmplxlist1, &dyncmplxlist2, &dyncmplxlist3};

bool has_nan(int32_t) { return false; }
bool has_nan(double v) { return std::isnan(v); }
bool has_nan(const Complex &v) { return std::isnan(v.real()) || std::isnan(v.imag()); }

// Hash consistent with exact equality: 0.0 and -0.0 hash alike.  NaN values
// never enter the index since they equal nothing.
struct Hash {
    static uint64_t bits(double v) { return std::bit_cast<uint64_t>(v == 0.0 ? 0.0 : v); }
    std::size_t operator()(int32_t v) const { return std::hash<int32_t>{}(v); }
    std::size_t operator()(double v) const { return std::hash<uint64_t>{}(bits(v)); }
    std::size_t operator()(const Complex &v) const {
        return std::hash<uint64_t>{}(bits(v.real()) * 0x9e3779b97f4a7c15ULL ^ bits(v.imag()));
    }
};

// What an append needs to know of a list without scanning it: how often each
// value occurs over the whole capacity, and the first entry holding the free
// marker.  It follows the list's own writes.  A list created anew and one
// handed out to, or written by, a caller (a numpy view, an assignment) are
// indexed afresh.  While a caller still holds a view, which may be written at
// any time, the index keeps a copy of the entries as it knows them, and a
// comparison with the list (no faster than memory, but no rebuild) tells
// whether they were written.
template <class T>
struct Index {
    const void *data = nullptr;
    uint64_t serial = 0;
    int64_t capacity = -1;
    uint64_t accesses = 0;
    int64_t first_free = 0;  // 0-based; capacity when no entry is free
    std::unordered_map<T, int64_t, Hash> counts;  // every value but the free marker
    int64_t free_entries = 0;                     // entries holding the free marker
    std::vector<T> known;    // the entries, while the storage is shared

    bool current(const Allocatable<T, 1> &list) const {
        if (data != list.data || serial != detail::block_serial(list.data) || capacity != list.extent_of(1) ||
            accesses != detail::external_accesses(list.data))
            return false;
        if (!detail::block_shared(list.data)) return true;
        return static_cast<int64_t>(known.size()) == capacity &&
               std::memcmp(known.data(), list.ptr(), known.size() * sizeof(T)) == 0;
    }
    void rebuild(const Allocatable<T, 1> &list) {
        data = list.data;
        serial = detail::block_serial(list.data);
        capacity = list.extent_of(1);
        accesses = detail::external_accesses(list.data);
        known = std::vector<T>();
        if (detail::block_shared(list.data)) known.assign(list.ptr(), list.ptr() + capacity);
        // A fresh table (move-assigned: assigning `{}` would only clear it and
        // keep the buckets of a large list, which every later rebuild and
        // lookup would pay for).
        counts = decltype(counts)();
        free_entries = 0;
        first_free = capacity;
        const T *x = list.ptr();
        for (int64_t i = 0; i < capacity; ++i) {
            if (is_marker(x[i])) {
                if (free_entries++ == 0) first_free = i;
            } else {
                count(x[i], 1);
            }
        }
    }
    static bool is_marker(const T &v) { return !has_nan(v) && v == Family<T>::marker; }
    bool contains(const T &v) const {
        if (is_marker(v)) return free_entries > 0;
        if (has_nan(v)) return false;
        auto it = counts.find(v);
        return it != counts.end() && it->second > 0;
    }
    void count(const T &v, int64_t delta) {
        if (is_marker(v))
            free_entries += delta;
        else if (!has_nan(v))
            counts[v] += delta;
    }
};

template <class T>
Index<T> indexes[3];

template <class T>
Index<T> &index_of(int32_t listid) {
    return indexes<T>[listid - 1];
}

// A released list's index gives its storage back at once.
template <class T>
void forget_index(int32_t listid) {
    index_of<T>(listid) = Index<T>();
}

template <class T>
Allocatable<T, 1> &list_of(int32_t listid) {
    return *Family<T>::lists[listid - 1];
}

template <class T>
Index<T> &current_index(int32_t listid) {
    Index<T> &ix = index_of<T>(listid);
    if (!ix.current(list_of<T>(listid))) ix.rebuild(list_of<T>(listid));
    return ix;
}

bool valid(int32_t listid, int32_t ifflag) { return listid >= 1 && listid <= 3 && ifflag >= 0 && ifflag <= 2; }

// Creates an absent list with every entry holding value.
template <class T>
void create_filled(Allocatable<T, 1> &list, int64_t capacity, const T &value) {
    list.create(std::max<int64_t>(capacity, 0));
    list.fill(value);
}

// Position (0-based) of the first entry equal to d, or -1, by a scan.
template <class T>
int64_t scan_for(const Allocatable<T, 1> &list, const T &d) {
    const T *x = list.ptr();
    for (int64_t i = 0; i < list.extent_of(1); ++i)
        if (x[i] == d) return i;
    return -1;
}

// The same through the list's current index ix for the free marker.
template <class T>
int64_t first_equal(const Allocatable<T, 1> &list, const Index<T> &ix, const T &d) {
    if (Index<T>::is_marker(d)) return ix.first_free < ix.capacity ? ix.first_free : -1;
    return scan_for(list, d);
}

// Stores value at position p and keeps the current index ix in step.
template <class T>
void store(Allocatable<T, 1> &list, Index<T> &ix, int64_t p, const T &value) {
    T &slot = list.ptr()[p];
    const bool was_free = slot == Family<T>::marker;
    const bool now_free = value == Family<T>::marker;
    ix.count(slot, -1);
    ix.count(value, +1);
    if (!ix.known.empty()) ix.known[static_cast<std::size_t>(p)] = value;
    slot = value;
    if (now_free && p < ix.first_free) {
        ix.first_free = p;
    } else if (was_free && !now_free && p == ix.first_free) {
        const T *x = list.ptr();
        int64_t q = p + 1;
        while (q < ix.capacity && !(x[q] == Family<T>::marker)) ++q;
        ix.first_free = q;
    }
}

// Grows a full list by exactly inc free entries, keeping every entry in its
// place.  The storage beneath grows geometrically: most growths neither move
// nor copy the entries.
template <class T>
void grow(Allocatable<T, 1> &list, Index<T> &ix, int64_t inc) {
    const int64_t n = list.extent_of(1);
    detail::grow(&list, n + inc);
    std::fill_n(list.ptr() + n, inc, Family<T>::marker);
    if (detail::block_shared(list.data) && static_cast<int64_t>(ix.known.size()) == n)
        ix.known.resize(static_cast<std::size_t>(n + inc), Family<T>::marker);
    else
        ix.known = {};
    ix.data = list.data;
    ix.serial = detail::block_serial(list.data);
    ix.accesses = detail::external_accesses(list.data);
    ix.capacity = n + inc;
    ix.count(Family<T>::marker, inc);
}

template <class T>
void append_scalar(int32_t listid, const T &scalar, int32_t uniflag, int32_t *iresult, const int32_t *allocinc,
                   const T *defval) {
    *iresult = 0;
    const int64_t inc = allocinc != nullptr ? std::max(*allocinc, 1) : default_allocinc;
    const T d = defval != nullptr ? *defval : Family<T>::marker;
    Allocatable<T, 1> &list = list_of<T>(listid);
    if (!list.exists()) create_filled(list, inc, Family<T>::marker);
    Index<T> &ix = current_index<T>(listid);
    if (uniflag == 1 && ix.contains(scalar)) return;
    *iresult = 1;
    int64_t p = first_equal(list, ix, d);
    if (p < 0) {
        p = list.extent_of(1);
        grow(list, ix, inc);
    }
    store(list, ix, p, scalar);
}

template <class T>
void append_array(int32_t listid, const T *array, int32_t narray, int32_t uniflag, int32_t *iresult,
                  const int32_t *allocinc, const T *defval) {
    const int64_t inc = allocinc != nullptr ? std::max(*allocinc, 1) : default_allocinc;
    Allocatable<T, 1> &list = list_of<T>(listid);
    if (!list.exists()) create_filled(list, inc, Family<T>::marker);
    const int32_t n = std::max(narray, 0);
    if (uniflag == 1) {
        const Index<T> &ix = current_index<T>(listid);
        const T *x = list.ptr();
        const int64_t filled = ix.first_free;
        bool found = n == 0;
        for (int64_t p = 0; !found && p + n <= filled; ++p)
            found = std::equal(array, array + n, x + p);
        if (found) return;
    }
    for (int32_t i = 0; i < n; ++i) append_scalar(listid, array[i], 0, iresult, allocinc, defval);
}

template <class T>
void copy_out(int32_t listid, T *copy, int32_t ncopy, int32_t *ierror) {
    *ierror = -1;
    const Allocatable<T, 1> &list = list_of<T>(listid);
    if (!list.exists()) return;
    std::copy_n(list.ptr(), std::clamp<int64_t>(ncopy, 0, list.extent_of(1)), copy);
    *ierror = 0;
}

template <class T>
int32_t size_of(int32_t listid, const T &d) {
    const Allocatable<T, 1> &list = list_of<T>(listid);
    if (!list.exists()) return -1;
    const int64_t p = Index<T>::is_marker(d) ? first_equal(list, current_index<T>(listid), d) : scan_for(list, d);
    return static_cast<int32_t>(p < 0 ? list.extent_of(1) : p);
}

Complex as_complex(const kestro_complex &c) { return {c.re, c.im}; }

}  // namespace

std::size_t index_buckets(int32_t listid, int32_t ifflag) noexcept {
    if (!valid(listid, ifflag)) return 0;
    switch (ifflag) {
    case 0: return index_of<int32_t>(listid).counts.bucket_count();
    case 1: return index_of<double>(listid).counts.bucket_count();
    default: return index_of<Complex>(listid).counts.bucket_count();
    }
}

kestro_array *list_array(int32_t listid, int32_t ifflag) noexcept {
    if (!valid(listid, ifflag)) return nullptr;
    switch (ifflag) {
    case 0: return &list_of<int32_t>(listid);
    case 1: return &list_of<double>(listid);
    default: return &list_of<Complex>(listid);
    }
}

}  // namespace kestro::listhandling

using namespace kestro::listhandling;

extern "C" {

int64_t kestro_host_list_capacity(int32_t listid, int32_t ifflag) {
    const kestro_array *list = list_array(listid, ifflag);
    return list != nullptr && list->data != nullptr ? list->extent[0] : -1;
}

void AllocateList(const int32_t *listid, const int32_t *ifflag, const int32_t *le, int32_t *ierror,
                  const kestro_complex *defcmplx, const double *defreal, const int32_t *defint) {
    if (!valid(*listid, *ifflag)) return;
    kestro_array *a = list_array(*listid, *ifflag);
    *ierror = a->data != nullptr ? status_exists : 0;
    if (a->data == nullptr) {
        const int64_t capacity = std::max(*le, 0);
        kestro_array_create(a, &capacity);
    }
    // Every entry, of a new or an existing list, takes the default of its type.
    switch (*ifflag) {
    case 0: list_of<int32_t>(*listid).fill(defint != nullptr ? *defint : Family<int32_t>::marker); break;
    case 1: list_of<double>(*listid).fill(defreal != nullptr ? *defreal : Family<double>::marker); break;
    default:
        list_of<Complex>(*listid).fill(defcmplx != nullptr ? as_complex(*defcmplx) : Family<Complex>::marker);
        break;
    }
    kestro::detail::note_external_access(a->data);  // the list's index no longer holds
}

void DeallocateList(const int32_t *listid, const int32_t *ifflag, int32_t *ierror) {
    if (!valid(*listid, *ifflag)) return;
    kestro_array *a = list_array(*listid, *ifflag);
    *ierror = a->data != nullptr ? 0 : 1;
    kestro_array_drop(a);
    switch (*ifflag) {
    case 0: forget_index<int32_t>(*listid); break;
    case 1: forget_index<double>(*listid); break;
    default: forget_index<Complex>(*listid); break;
    }
}

void GetAllocationStatus(kestro_logical1 *checkid, const int32_t *listid, const int32_t *ifflag) {
    if (!valid(*listid, *ifflag)) return;
    *checkid = list_array(*listid, *ifflag)->data != nullptr ? 1 : 0;
}

int32_t GetSizeOfList(const int32_t *listid, const int32_t *ifflag, const kestro_complex *defcmplx,
                      const double *defreal, const int32_t *defint) {
    if (!valid(*listid, *ifflag)) return -1;
    switch (*ifflag) {
    case 0: return size_of<int32_t>(*listid, defint != nullptr ? *defint : Family<int32_t>::marker);
    case 1: return size_of<double>(*listid, defreal != nullptr ? *defreal : Family<double>::marker);
    default:
        return size_of<Complex>(*listid, defcmplx != nullptr ? as_complex(*defcmplx) : Family<Complex>::marker);
    }
}

void iAppendScalar2List(const int32_t *listid, const int32_t *scalar, const int32_t *uniflag, int32_t *iresult,
                        const int32_t *allocinc, const int32_t *defval) {
    if (valid(*listid, 0)) append_scalar(*listid, *scalar, *uniflag, iresult, allocinc, defval);
}
void fAppendScalar2List(const int32_t *listid, const double *scalar, const int32_t *uniflag, int32_t *iresult,
                        const int32_t *allocinc, const double *defval) {
    if (valid(*listid, 1)) append_scalar(*listid, *scalar, *uniflag, iresult, allocinc, defval);
}
void cAppendScalar2List(const int32_t *listid, const kestro_complex *scalar, const int32_t *uniflag,
                        int32_t *iresult, const int32_t *allocinc, const kestro_complex *defval) {
    if (!valid(*listid, 2)) return;
    const Complex d = defval != nullptr ? as_complex(*defval) : Family<Complex>::marker;
    append_scalar(*listid, as_complex(*scalar), *uniflag, iresult, allocinc, &d);
}

void iAppendArray2List(const int32_t *listid, const int32_t *array, const int32_t *narray, const int32_t *uniflag,
                       int32_t *iresult, const int32_t *allocinc, const int32_t *defval) {
    if (valid(*listid, 0)) append_array(*listid, array, *narray, *uniflag, iresult, allocinc, defval);
}
void fAppendArray2List(const int32_t *listid, const double *array, const int32_t *narray, const int32_t *uniflag,
                       int32_t *iresult, const int32_t *allocinc, const double *defval) {
    if (valid(*listid, 1)) append_array(*listid, array, *narray, *uniflag, iresult, allocinc, defval);
}
void cAppendArray2List(const int32_t *listid, const kestro_complex *array, const int32_t *narray,
                       const int32_t *uniflag, int32_t *iresult, const int32_t *allocinc,
                       const kestro_complex *defval) {
    if (!valid(*listid, 2)) return;
    const Complex d = defval != nullptr ? as_complex(*defval) : Family<Complex>::marker;
    // kestro_complex and std::complex<double> share their layout: two doubles, real part first.
    append_array(*listid, reinterpret_cast<const Complex *>(array), *narray, *uniflag, iresult, allocinc, &d);
}

void iGetCopyOfList(const int32_t *listid, int32_t *copy, const int32_t *ncopy, int32_t *ierror) {
    if (valid(*listid, 0)) copy_out(*listid, copy, *ncopy, ierror);
}
void fGetCopyOfList(const int32_t *listid, double *copy, const int32_t *ncopy, int32_t *ierror) {
    if (valid(*listid, 1)) copy_out(*listid, copy, *ncopy, ierror);
}
void cGetCopyOfList(const int32_t *listid, kestro_complex *copy, const int32_t *ncopy, int32_t *ierror) {
    if (valid(*listid, 2)) copy_out(*listid, reinterpret_cast<Complex *>(copy), *ncopy, ierror);
}

}  // extern "C"
