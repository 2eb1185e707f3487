// The guard buffer of the tests: n entries a routine may write, then guard
// entries.  The entries start as `start` (Fill unless given) and the guards as
// Fill, so a write one entry too far, or any write at all, shows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kestro_test {

template <class T, T Fill, int64_t Guards = 4>
struct Out {
    explicit Out(int64_t count, T start = Fill)
        : n(std::max<int64_t>(count, 0)), first(start), v(static_cast<std::size_t>(n + Guards), Fill) {
        std::fill(v.begin(), v.begin() + n, start);
    }
    T *data() { return v.data(); }
    T operator[](int64_t i) const { return v[static_cast<std::size_t>(i)]; }
    int64_t size() const { return n; }
    std::vector<T> body() const { return {v.begin(), v.begin() + n}; }
    std::basic_string<T> text() const { return {v.begin(), v.begin() + n}; }
    bool guards_intact() const { return std::all_of(v.begin() + n, v.end(), [](T x) { return x == Fill; }); }
    bool untouched() const {
        return guards_intact() && std::all_of(v.begin(), v.begin() + n, [this](T x) { return x == first; });
    }

    int64_t n;
    T first;
    std::vector<T> v;
};

}  // namespace kestro_test
