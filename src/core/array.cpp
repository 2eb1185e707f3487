#include "core/array.hpp"

#include <cstddef>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/process.hpp"

namespace kestro::detail {

namespace {

uint64_t blocks_created = 0;

[[noreturn]] void overflow() noexcept {
    fatal_error("Integer overflow when calculating the amount of memory to allocate");
}

// A zeroed block of `bytes` bytes of storage; returns the storage.
void *new_block(uint64_t bytes) noexcept {
    uint64_t total = 0;
    if (__builtin_add_overflow(bytes, sizeof(BlockHeader), &total) || total > static_cast<uint64_t>(PTRDIFF_MAX))
        overflow();
    void *block = std::calloc(1, static_cast<std::size_t>(total));
    if (block == nullptr) fatal_error("Error allocating %lu bytes", static_cast<unsigned long>(bytes));
    auto *h = static_cast<BlockHeader *>(block);
    h->refs = 1;
    h->serial = ++blocks_created;
    h->accesses = 0;
    h->capacity = bytes;
    return h + 1;
}

}  // namespace

void grow(kestro_array *a, int64_t extent) noexcept {
    const auto old_bytes = static_cast<uint64_t>(a->extent[0]) * static_cast<uint64_t>(a->elsize);
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(std::max<int64_t>(extent, 0)),
                               static_cast<uint64_t>(a->elsize), &bytes))
        overflow();
    if (bytes <= old_bytes) return;
    if (header_of(a->data)->capacity < bytes) {
        // Twice the storage, or what is asked when that is more: appends
        // one at a time cost amortised constant time.
        const uint64_t reserve = std::max(bytes, std::min(2 * old_bytes, static_cast<uint64_t>(PTRDIFF_MAX) / 2));
        void *data = new_block(reserve);
        std::memcpy(data, a->data, static_cast<std::size_t>(old_bytes));
        void *old = a->data;
        a->data = data;
        release_block(old);
    } else {
        std::memset(static_cast<char *>(a->data) + old_bytes, 0, static_cast<std::size_t>(bytes - old_bytes));
    }
    a->extent[0] = extent;
}

void retain_block(void *data) noexcept {
    if (data != nullptr) ++header_of(data)->refs;
}

void release_block(void *data) noexcept {
    if (data == nullptr) return;
    BlockHeader *h = header_of(data);
    if (--h->refs == 0) std::free(h);
}

}  // namespace kestro::detail

using kestro::detail::release_block;

extern "C" {

void kestro_array_retain(void *data) { kestro::detail::retain_block(data); }
void kestro_array_release(void *data) { release_block(data); }
void kestro_array_note_external_access(const kestro_array *a) { kestro::detail::note_external_access(a->data); }

int kestro_array_exists(const kestro_array *a) { return a->data != nullptr ? 1 : 0; }

int64_t kestro_array_size(const kestro_array *a) {
    if (a->data == nullptr) return 0;
    int64_t n = 1;
    for (int d = 0; d < a->rank; ++d) n *= a->extent[d];
    return n;
}

void *kestro_array_create(kestro_array *a, const int64_t *extent) {
    if (a->data != nullptr)
        kestro::fatal_error("Attempting to allocate already allocated variable '%s'", a->name);
    int64_t ext[KESTRO_MAX_RANK] = {};
    uint64_t count = 1;
    for (int d = 0; d < a->rank; ++d) {
        ext[d] = extent[d] > 0 ? extent[d] : 0;
        if (__builtin_mul_overflow(count, static_cast<uint64_t>(ext[d]), &count))
            kestro::detail::overflow();
    }
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(count, static_cast<uint64_t>(a->elsize), &bytes)) kestro::detail::overflow();
    for (int d = 0; d < KESTRO_MAX_RANK; ++d) a->extent[d] = ext[d];
    a->data = kestro::detail::new_block(bytes);
    return a->data;
}

void *kestro_array_replace(kestro_array *a, const int64_t *extent) {
    kestro_array_drop(a);
    return kestro_array_create(a, extent);
}

void kestro_array_drop(kestro_array *a) {
    if (a->data == nullptr) return;
    void *data = a->data;
    a->data = nullptr;
    for (int64_t &e : a->extent) e = 0;
    release_block(data);
}

}  // extern "C"
