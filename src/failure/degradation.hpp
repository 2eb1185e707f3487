// The damage laws of module degradation on values, for the C faces
// (BiLinearEvolution, DegradationFromModes) and the material points alike.
#pragma once

#include <algorithm>

namespace kestro::failure {

// The damage of bilinear softening at the equivalent strain eps, from the
// onset strain eps0 to the final strain eps1: eps1 / (eps1 - eps0) (1 -
// eps0 / eps), not limited.
inline double bilinear_damage(double eps, double eps0, double eps1) {
    return eps1 / (eps1 - eps0) * (1.0 - eps0 / eps);
}

// The nine damages the stiffness takes (w_stat) from the nine mode damages
// (tension and compression along 1, 2, 3, then the shears 12, 23, 13): each
// mode its own, and each normal mode also on the two shears of its axis,
// summed (accumulation) or the largest.
inline void stiffness_damages(const double *d_modes, double *w_stat, bool accumulation) {
    // The shears each normal mode couples onto (0-based: 6 = shear 12, 7 = 23, 8 = 13).
    static constexpr int partners[6][2] = {{6, 8}, {6, 8}, {6, 7}, {6, 7}, {7, 8}, {7, 8}};
    for (int i = 0; i < 9; ++i) w_stat[i] = d_modes[i];
    for (int j = 0; j < 6; ++j)
        for (int i : partners[j])
            w_stat[i] = accumulation ? w_stat[i] + d_modes[j] : std::max(w_stat[i], d_modes[j]);
}

}  // namespace kestro::failure
