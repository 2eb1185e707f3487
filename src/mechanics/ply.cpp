// Printing of the ply stiffness services, kept out of line.
#include "mechanics/ply.hpp"

#include <cstdint>
#include <cstdio>

#include "core/process.hpp"

namespace kestro::lamina {

void print_matrix(const double *c, int32_t n) {
    flush_host_output();
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j) std::printf(" %16.8E", c[j * n + i]);
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace kestro::lamina
