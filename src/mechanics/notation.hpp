// Vector notations of symmetric tensors and the ply stiffness services that
// run at every integration point: notation changes and the plane-stress
// condensation.  Defined inline so that C++ callers inline them; the
// generated export table emits them under their C names.
//
// Orders: Voigt 11, 22, 33, 23, 13, 12; Nye 11, 22, 33, 12, 13, 23.  No
// shear factor is applied by a notation change.
#pragma once

#include <cstdint>
#include <utility>

#include "core/errorhandling.hpp"
#include "decl/lamina.hpp"

namespace kestro::lamina {

// The 6 x 6 stiffness (stiffness true) or compliance sc expressed in the
// orthonormal base whose rows are the axis vectors, Nye (nye true) or Voigt
// order: GetArbitraryBaseSC on values.
void in_base(double *scbase, const double *sc, const double *base, bool stiffness, bool nye);

}  // namespace kestro::lamina

extern "C" {

inline void NyeNotation(double *nn, const double *q) {
    // The upper triangle of the column-major 3 x 3 tensor.
    nn[0] = q[0];
    nn[1] = q[4];
    nn[2] = q[8];
    nn[3] = q[3];
    nn[4] = q[6];
    nn[5] = q[7];
}

inline void CauchyNotation(double *cn, const double *qv) {
    cn[0] = qv[0];
    cn[4] = qv[1];
    cn[8] = qv[2];
    cn[5] = cn[7] = qv[3];  // 23
    cn[2] = cn[6] = qv[4];  // 13
    cn[1] = cn[3] = qv[5];  // 12
}

inline void FlipVoigtNyeNotation(double *fn, const double *q, const int32_t *sdim) {
    if (*sdim != 1 && *sdim != 6) {
        kestro::record_error(-2, "Unsupported dimension in FlipVoigtNyeNotation", {0, 0}, {0.0, 0.0}, {"", ""});
        return;
    }
    const int32_t count = 6 * *sdim;
    if (fn != q)
        for (int32_t i = 0; i < count; ++i) fn[i] = q[i];
    for (int32_t j = 0; j < *sdim; ++j) std::swap(fn[6 * j + 3], fn[6 * j + 5]);
    if (*sdim == 6)
        for (int32_t i = 0; i < 6; ++i) std::swap(fn[6 * 3 + i], fn[6 * 5 + i]);
}

inline void GetReducedNyeStiffnessMatrix(double *qs, const double *c, const int32_t *plflag) {
    // 33 is condensed out and 11, 22, 12 kept, whatever plflag says.
    static_cast<void>(plflag);
    constexpr int kept[3] = {0, 1, 3};
    const double c33 = c[2 * 6 + 2];
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const double cij = c[kept[j] * 6 + kept[i]];
            qs[j * 3 + i] = c33 == 0.0 ? cij : cij - c[2 * 6 + kept[i]] * c[kept[j] * 6 + 2] / c33;
        }
}

}  // extern "C"
