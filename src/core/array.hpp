// Typed C++ access to the allocatable arrays of the shared data.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kestro/array.h"

namespace kestro {

template <class T>
constexpr int32_t type_code() noexcept;
template <> constexpr int32_t type_code<int8_t>() noexcept { return KESTRO_TYPE_INT1; }
template <> constexpr int32_t type_code<int16_t>() noexcept { return KESTRO_TYPE_INT2; }
template <> constexpr int32_t type_code<int32_t>() noexcept { return KESTRO_TYPE_INT4; }
template <> constexpr int32_t type_code<int64_t>() noexcept { return KESTRO_TYPE_INT8; }
template <> constexpr int32_t type_code<float>() noexcept { return KESTRO_TYPE_REAL4; }
template <> constexpr int32_t type_code<double>() noexcept { return KESTRO_TYPE_REAL8; }
template <> constexpr int32_t type_code<std::complex<double>>() noexcept { return KESTRO_TYPE_COMPLEX16; }

// An allocatable array of the shared data: a kestro_array with its element
// type and rank fixed at compile time.  It adds no members, so the exported
// object is a plain kestro_array to C callers.  Indices are 1-based and the
// storage is column-major.
template <class T, int R>
struct Allocatable : kestro_array {
    static_assert(R >= 1 && R <= KESTRO_MAX_RANK);
    using value_type = T;
    static constexpr int rank_v = R;

    constexpr explicit Allocatable(const char *variable_name) noexcept
        : kestro_array{nullptr, {}, R, type_code<T>(), static_cast<int64_t>(sizeof(T)), variable_name} {}
    Allocatable(const Allocatable &) = delete;
    Allocatable &operator=(const Allocatable &) = delete;

    bool exists() const noexcept { return data != nullptr; }
    T *ptr() const noexcept { return static_cast<T *>(data); }
    // Extent of dimension d (1-based), 0 while absent.
    int64_t extent_of(int d) const noexcept { return extent[d - 1]; }
    int64_t size() const noexcept { return kestro_array_size(this); }
    std::span<T> span() const noexcept { return {ptr(), static_cast<std::size_t>(size())}; }

    template <class... I>
    T &operator()(I... index) const noexcept {
        static_assert(sizeof...(I) == R, "one index per dimension");
        const int64_t idx[R] = {static_cast<int64_t>(index)...};
        int64_t offset = idx[R - 1] - 1;
        for (int d = R - 2; d >= 0; --d) offset = offset * extent[d] + (idx[d] - 1);
        return ptr()[offset];
    }

    // Creates the array with every element zero; ends the process when it exists.
    template <class... E>
    T *create(E... extents) noexcept {
        static_assert(sizeof...(E) == R, "one extent per dimension");
        const int64_t ext[R] = {static_cast<int64_t>(extents)...};
        return static_cast<T *>(kestro_array_create(this, ext));
    }
    // Creates the array unless it exists; returns whether it was created.
    template <class... E>
    bool create_if_absent(E... extents) noexcept {
        if (exists()) return false;
        create(extents...);
        return true;
    }
    void drop() noexcept { kestro_array_drop(this); }
    void fill(const T &value) const noexcept {
        for (T &x : span()) x = value;
    }
};

namespace detail {
// Every array's storage starts with this header; the elements follow it at
// the alignment of any scalar type.
struct alignas(std::max_align_t) BlockHeader {
    int64_t refs;       // the array and every other holder (a numpy view handed out to Python)
    uint64_t serial;    // distinguishes blocks that reuse an address
    uint64_t accesses;  // occasions on which a caller outside the library got at the storage
    uint64_t capacity;  // bytes of storage behind the header (a one-dimensional array may grow into it)
};

inline BlockHeader *header_of(const void *data) noexcept {
    return static_cast<BlockHeader *>(const_cast<void *>(data)) - 1;
}

// Reference counts of the storage blocks behind the arrays: a block lives
// until its array drops it and every other holder has released it.
void retain_block(void *data) noexcept;
void release_block(void *data) noexcept;
// A number that no other block created in this process carries (0 for none).
inline uint64_t block_serial(const void *data) noexcept { return data != nullptr ? header_of(data)->serial : 0; }
// Whether someone besides the array holds the block (a numpy view, say).
inline bool block_shared(const void *data) noexcept { return data != nullptr && header_of(data)->refs > 1; }

// Counts, per storage block, the occasions on which the array was handed to,
// or written by, a caller outside the library (a numpy view, an assignment
// from Python).  Routines that keep an index of an array's contents rebuild
// it when the count has changed since they built it.
inline void note_external_access(const void *data) noexcept {
    if (data != nullptr) ++header_of(data)->accesses;
}
inline uint64_t external_accesses(const void *data) noexcept {
    return data != nullptr ? header_of(data)->accesses : 0;
}

// Grows an existing one-dimensional array to `extent` entries (never
// shrinks), keeping every entry in its place; the new entries are zero.  The
// storage beneath grows geometrically, so that a growth within its reserve
// neither moves nor copies the entries (a view still holding the old storage
// keeps it).
void grow(kestro_array *a, int64_t extent) noexcept;
}  // namespace detail

}  // namespace kestro
