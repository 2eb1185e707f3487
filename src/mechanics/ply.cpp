// Printing of the ply stiffness services, kept out of line.
#include "mechanics/ply.hpp"

#include <cstdint>
#include <cstdio>

#include "core/process.hpp"

namespace kestro::lamina {

void print_matrix(const double *c, int32_t n) {
    flush_host_output();
    // The matrix under one hold of the stream, so that its rows stay whole
    // beside other threads' output.
    flockfile(stdout);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j) std::printf(" %16.8E", c[j * n + i]);
        std::printf("\n");
    }
    funlockfile(stdout);
    std::fflush(stdout);
}

}  // namespace kestro::lamina
