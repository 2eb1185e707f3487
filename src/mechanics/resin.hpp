// The linear elastic law of the resin: cubic symmetry, with isotropy as its
// special case, in Nye order and engineering shears, for 3, 4 or 6
// components reduced as the ply stiffness is.  Closed form on the stack.
#pragma once

#include <cstdint>

#include "core/array.hpp"

namespace kestro::resin {

// The stiffness of cubic symmetry: c11 on the direct diagonal, c12 between
// the direct components, c44 on the shear diagonal.
struct Cubic {
    double c11, c12, c44;
};

// The isotropic stiffness of E and nu: lambda + 2 mu, lambda and mu.
inline Cubic isotropic(double e, double nu) {
    const double mu = e / (2.0 * (1.0 + nu)), lambda = e * nu / ((1.0 + nu) * (1.0 - 2.0 * nu));
    return {lambda + 2.0 * mu, lambda, mu};
}

// stress(ntens) = C strain, C the stiffness reduced to ntens components (6;
// 4 its leading block 11, 22, 33, 12; 3 plane stress, 33 condensed out
// unless c11 is 0), written to `tangent` (ntens x ntens) when it is not
// null.  False, nothing written, for other counts.
inline bool cubic_law(Cubic c, const double *strain, int32_t ntens, double *stress, double *tangent) {
    int32_t directs = 3;
    if (ntens == 3) {
        directs = 2;
        if (c.c11 != 0.0) {
            const double condensed = c.c12 * c.c12 / c.c11;
            c.c11 -= condensed;
            c.c12 -= condensed;
        }
    } else if (ntens != 4 && ntens != 6) {
        return false;
    }
    double trace = 0.0;
    for (int32_t i = 0; i < directs; ++i) trace += strain[i];
    for (int32_t i = 0; i < directs; ++i) stress[i] = (c.c11 - c.c12) * strain[i] + c.c12 * trace;
    for (int32_t i = directs; i < ntens; ++i) stress[i] = c.c44 * strain[i];
    if (tangent == nullptr) return true;
    for (int32_t k = 0; k < ntens * ntens; ++k) tangent[k] = 0.0;
    for (int32_t j = 0; j < directs; ++j)
        for (int32_t i = 0; i < directs; ++i) tangent[j * ntens + i] = i == j ? c.c11 : c.c12;
    for (int32_t i = directs; i < ntens; ++i) tangent[i * ntens + i] = c.c44;
    return true;
}

// Whether a calibration table (temperature row, point, 2) of module
// materialdata holds a point its lookups read: allocated with rows, points
// and both planes, and a point that is not (0, 0), which marks an unfilled one.
bool calibrated(const Allocatable<double, 3> &table) noexcept;

}  // namespace kestro::resin
