// The elastic stiffness of the resin laws: cubic symmetry, with isotropy as
// its special case, in Nye order and engineering shears; and the linear
// stress of a stiffness reduced to 3, 4 or 6 components as the ply
// stiffness is.  Fixed sizes on the stack.
#pragma once

#include <cstdint>

#include "mechanics/ply.hpp"

namespace kestro::resin {

// c6 (column-major 6 x 6) = c11 on the direct diagonal, c12 between the
// direct components, c44 on the shear diagonal.
inline void cubic_stiffness(double c11, double c12, double c44, double *c6) {
    for (int k = 0; k < 36; ++k) c6[k] = 0.0;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) c6[j * 6 + i] = i == j ? c11 : c12;
        c6[(j + 3) * 7] = c44;
    }
}

// The isotropic stiffness of E and nu: lambda + 2 mu, lambda and mu.
inline void isotropic_stiffness(double e, double nu, double *c6) {
    const double mu = e / (2.0 * (1.0 + nu)), lambda = e * nu / ((1.0 + nu) * (1.0 - 2.0 * nu));
    cubic_stiffness(lambda + 2.0 * mu, lambda, mu, c6);
}

// stress(ntens) = c strain with c the stiffness c6 reduced to ntens
// components (3 plane stress, 4 its leading block, 6); c is written to
// `tangent` (ntens x ntens) when it is not null.  False for other counts.
inline bool linear_stress(const double *c6, const double *strain, int32_t ntens, double *stress, double *tangent) {
    double reduced[36];
    double *c = tangent != nullptr ? tangent : reduced;
    if (!lamina::reduce_stiffness(c6, ntens, nullptr, c)) return false;
    for (int32_t i = 0; i < ntens; ++i) {
        double sum = 0.0;
        for (int32_t j = 0; j < ntens; ++j) sum += c[j * ntens + i] * strain[j];
        stress[i] = sum;
    }
    return true;
}

}  // namespace kestro::resin
