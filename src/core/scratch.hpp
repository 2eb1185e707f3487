// A work array of a routine: on the stack up to N entries, so that the small
// tables and matrices of the integration-point computations cost no heap
// allocation, and on the heap beyond.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "core/process.hpp"

namespace kestro {

template <class T, std::size_t N = 512>
class Scratch {
public:
    explicit Scratch(int64_t count) : size_(static_cast<std::size_t>(std::max<int64_t>(count, 1))) {
        if (size_ <= N) return;
        // Like every allocation of the library, one that fails ends the process.
        try {
            heap_.resize(size_);
        } catch (const std::exception &) {
            fatal_error("Error allocating %lu bytes", static_cast<unsigned long>(size_ * sizeof(T)));
        }
    }
    T *data() { return size_ > N ? heap_.data() : stack_.data(); }
    T &operator[](std::size_t i) { return data()[i]; }

private:
    std::size_t size_;
    std::array<T, N> stack_;
    std::vector<T> heap_;
};

// A work copy of count values.
template <class T, std::size_t N = 512>
Scratch<T, N> copy_of(const T *a, int64_t count) {
    Scratch<T, N> w(count);
    if (count > 0) std::memcpy(w.data(), a, static_cast<std::size_t>(count) * sizeof(T));
    return w;
}

}  // namespace kestro
