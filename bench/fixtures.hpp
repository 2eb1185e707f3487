// Data shared by the benchmarks.
#pragma once

#include <array>

namespace kestro_bench {

// An orthotropic ply stiffness in Nye order (column-major 6 x 6).
inline std::array<double, 36> orthotropic_stiffness() {
    std::array<double, 36> c{};
    const double block[3][3] = {{142000, 4100, 4100}, {4100, 9800, 5300}, {4100, 5300, 9800}};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c[j * 6 + i] = block[i][j];
    c[21] = 4600;
    c[28] = 4000;
    c[35] = 3100;
    return c;
}

// The routine f as a caller of the shared library reaches it: through its
// address, so that an inline definition is not inlined into the loop.
template <class F>
F *exported(F *f) {
    F *volatile opaque = f;
    return opaque;
}

}  // namespace kestro_bench
