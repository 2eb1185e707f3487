// Elastic stress laws with the argument list of a law the numerical tangent
// takes (stress, strain, props, ntens, ndi, nprops), and the hardening table.
#include <cstdint>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "decl/interp.hpp"
#include "mechanics/ply.hpp"

extern "C" {

void GetStressFromOrthotropicElasticity(double *stress, const double *strain, const double *props, const int32_t *ntens,
                                        const int32_t *ndi, const int32_t *nprops) {
    static_cast<void>(ndi);
    const int32_t n = *ntens;
    for (int32_t i = 0; i < n; ++i) stress[i] = 0.0;
    if (*nprops < 12) {
        kestro::record_error(-2, "Unsupported number of properties in GetStressFromOrthotropicElasticity");
        return;
    }
    if (n != 3 && n != 4 && n != 6) {
        kestro::lamina::unsupported("Unsupported dimension in GetStressFromOrthotropicElasticity");
        return;
    }
    // props: E1, E2, E3, G12, G13, G23, nu12, nu13, nu23 (and the reverse ratios, not used).
    const kestro::ply::Constants p{props[0], props[1], props[2], props[6], props[7],
                                   props[8], props[3], props[4], props[5]};
    double nye[kestro::ply::kConstants], c[36];
    p.store(nye);
    GetNyeStiffnessMatrix(c, nye, ntens, nullptr);
    for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < n; ++i) stress[i] += c[j * n + i] * strain[j];
}

void cGetStressFromAnisotropicHyperelasticity(kestro_complex *stress, const kestro_complex *strain, const double *props,
                                              const int32_t *ntens, const int32_t *ndi, const int32_t *nprops) {
    static_cast<void>(ndi);
    const int32_t n = *ntens;
    for (int32_t i = 0; i < n; ++i) stress[i] = {0.0, 0.0};
    if (n > 0 && int64_t{*nprops} < int64_t{n} * n) {
        kestro::record_error(-2, "Unsupported number of properties in cGetStressFromAnisotropicHyperelasticity");
        return;
    }
    for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < n; ++i) {
            const double c = props[j * n + i];
            stress[i].re += c * strain[j].re;
            stress[i].im += c * strain[j].im;
        }
}

void GetHardeningFromTable(double *syield, double *hard, const double *eqplas, const double *table,
                           const int32_t *nvalue) {
    const int32_t n = nvalue != nullptr ? *nvalue : 0;
    if (n < 1) {
        *syield = *hard = 0.0;
        kestro::record_error(-2, "Unsupported number of table rows in GetHardeningFromTable");
        return;
    }
    if (n == 1 || *eqplas >= table[2 * n - 1]) {
        *syield = table[2 * n - 2];
        *hard = 0.0;
        return;
    }
    // Linear on the segment that holds eqplas (the first below the table, the
    // one above at a row), and that segment's slope: the derivative of the
    // yield stress returned.  The interpolation checks the strains.
    kestro::Scratch<double, 64> strains(n);
    for (int32_t k = 0; k < n; ++k) strains[k] = table[2 * k + 1];
    const int32_t rows = 2, one = 1;
    double at[2];
    interp_linear_(&rows, &n, strains.data(), table, &one, eqplas, at);
    int32_t left = 0, right = 0;
    r8vec_bracket_(&n, strains.data(), eqplas, &left, &right);
    *syield = at[0];
    *hard = (table[2 * (right - 1)] - table[2 * (left - 1)]) / (strains[right - 1] - strains[left - 1]);
}

}  // extern "C"
