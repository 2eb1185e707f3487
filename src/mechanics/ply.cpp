// Printing of the ply stiffness services, kept out of line.
#include "mechanics/ply.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/process.hpp"

namespace kestro::lamina {

void print_matrix(const double *c, int32_t n) {
    flush_host_output();
    // Each row assembled and written in one call, so that rows stay whole
    // beside other threads' output.
    std::string row;
    char entry[32];
    for (int32_t i = 0; i < n; ++i) {
        row.clear();
        for (int32_t j = 0; j < n; ++j) {
            const int length = std::snprintf(entry, sizeof entry, " %16.8E", c[j * n + i]);
            row.append(entry, static_cast<std::size_t>(std::max(length, 0)));
        }
        row.push_back('\n');
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
    std::fflush(stdout);
}

}  // namespace kestro::lamina
