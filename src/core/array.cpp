#include "core/array.hpp"

#include <cstddef>
#include <cstdlib>

#include "core/process.hpp"

namespace kestro::detail {

namespace {

// Every array's storage starts with this header; the elements follow it at
// the alignment of any scalar type.
struct alignas(std::max_align_t) BlockHeader {
    int64_t refs;
    uint64_t serial;  // distinguishes blocks that reuse an address
};

uint64_t blocks_created = 0;

BlockHeader *header_of(void *data) noexcept { return static_cast<BlockHeader *>(data) - 1; }

[[noreturn]] void overflow() noexcept {
    fatal_error("Integer overflow when calculating the amount of memory to allocate");
}

}  // namespace

namespace {
uint64_t external_accesses = 0;
}

void note_external_access() noexcept { ++external_accesses; }
uint64_t external_access_generation() noexcept { return external_accesses; }

void retain_block(void *data) noexcept {
    if (data != nullptr) ++header_of(data)->refs;
}

uint64_t block_serial(const void *data) noexcept {
    return data != nullptr ? header_of(const_cast<void *>(data))->serial : 0;
}

bool block_shared(const void *data) noexcept {
    return data != nullptr && header_of(const_cast<void *>(data))->refs > 1;
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
void kestro_array_note_external_access(void) { kestro::detail::note_external_access(); }

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
    uint64_t total = 0;
    if (__builtin_mul_overflow(count, static_cast<uint64_t>(a->elsize), &bytes) ||
        __builtin_add_overflow(bytes, sizeof(kestro::detail::BlockHeader), &total) ||
        total > static_cast<uint64_t>(PTRDIFF_MAX))
        kestro::detail::overflow();
    void *block = std::calloc(1, static_cast<std::size_t>(total));
    if (block == nullptr)
        kestro::fatal_error("Error allocating %lu bytes", static_cast<unsigned long>(bytes));
    auto *h = static_cast<kestro::detail::BlockHeader *>(block);
    h->refs = 1;
    h->serial = ++kestro::detail::blocks_created;
    for (int d = 0; d < KESTRO_MAX_RANK; ++d) a->extent[d] = ext[d];
    a->data = h + 1;
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
