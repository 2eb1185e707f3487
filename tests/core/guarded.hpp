// A guard buffer for the C++ tests: n values followed by four guards that a
// routine writing one entry too far overwrites.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct Guarded {
    static constexpr double kFill = -7.0;
    explicit Guarded(int64_t count, double fill = kFill) : n(count), v(static_cast<std::size_t>(count + 4), fill) {
        std::fill(v.begin() + n, v.end(), kFill);
    }
    double *data() { return v.data(); }
    std::vector<double> body() const { return {v.begin(), v.begin() + n}; }
    bool guards_intact() const {
        return std::all_of(v.begin() + n, v.end(), [](double x) { return x == kFill; });
    }
    int64_t n;
    std::vector<double> v;
};
