// Stiffness degradation and damage evolution: closed forms on fixed-size
// arrays, nothing allocated.
#include "decl/degradation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "failure/degradation.hpp"
#include "failure/evolution.hpp"
#include "mechanics/ply.hpp"

namespace {

using namespace kestro::ply;

// Degradation factors of the sudden law: 1, or degrfac where failed.
void sudden(double *degpeprops, double *degpsprops, const double *peprops, const double *psprops, double *de,
            double *df, double g_f, double g_m, const double *ttol, double factor, const double *nm) {
    std::fill_n(de, 6, 1.0);
    std::fill_n(df, 9, 1.0);
    if (g_f >= ttol[0]) {
        std::fill_n(de, 6, factor);
        std::fill_n(df, 9, factor);
    }
    if (g_m >= ttol[1]) {
        std::fill_n(de + 1, 5, factor);
        for (int i = 0; i < kDirections; ++i)
            if (i != Xt11 && i != Xc11) df[i] = factor;
    }
    for (int i = 0; i < 6; ++i)
        if (nm[i] >= 1.0) de[i] = factor;
    for (int i = 0; i < 6; ++i) degpeprops[i] = de[i] * peprops[i];
    for (int i = 6; i < 12; ++i) degpeprops[i] = peprops[i];
    for (int i = 0; i < 9; ++i) degpsprops[i] = df[i] * psprops[i];
}

// The N x N factor matrix of the nine factors d for 6, 4 (11, 22, 33, 12)
// or 3 (11, 22, 12) Nye components: each entry its constant's factor, 1
// where there is none.
template <int N>
void factor_matrix(const double *d, double *degrf) {
    constexpr int kOne = kFactors;
    static constexpr int factor[6][6] = {{E1, Nu12, Nu13, kOne, kOne, kOne}, {Nu12, E2, Nu23, kOne, kOne, kOne},
                                         {Nu13, Nu23, E3, kOne, kOne, kOne}, {kOne, kOne, kOne, G12, kOne, kOne},
                                         {kOne, kOne, kOne, kOne, G13, kOne}, {kOne, kOne, kOne, kOne, kOne, G23}};
    static constexpr int six[6] = {N11, N22, N33, N12, N13, N23}, four[4] = {N11, N22, N33, N12},
                         three[3] = {N11, N22, N12};
    constexpr const int *components = N == 6 ? six : N == 4 ? four : three;
    double factors[kFactors + 1];
    std::copy_n(d, kFactors, factors);
    factors[kOne] = 1.0;
#pragma GCC unroll 36
    for (int k = 0; k < N * N; ++k) degrf[k] = factors[factor[components[k % N]][components[k / N]]];
}

}  // namespace

extern "C" {

void MatzenmillerDegradation(const double *propvec, double *c_deg, const double *dnorm, const double *d23,
                             const double *d13, const double *d12) {
    // propvec: E11, E22, E33, G23, G13, G12, nu23, nu13, nu12; the result in
    // Voigt order with tensor shears (2 G).
    const Constants p{propvec[0], propvec[1], propvec[2], propvec[8], propvec[7],
                      propvec[6], propvec[5], propvec[4], propvec[3]};
    const Retention r{1.0 - dnorm[0], 1.0 - dnorm[1], 1.0 - dnorm[2], 1.0 - *d12, 1.0 - *d13, 1.0 - *d23};
    Matrix<6> c;
    orthotropic_stiffness(c, p, r);
    // The normal block stands alike in both orders; the shears are diagonal.
    const Ref<6> out(c_deg);
    out.zero();
    for (int j = N11; j <= N33; ++j)
        for (int i = N11; i <= N33; ++i) out(i, j) = c(i, j);
    out(V23, V23) = 2.0 * c(N23, N23);
    out(V13, V13) = 2.0 * c(N13, N13);
    out(V12, V12) = 2.0 * c(N12, N12);
}

void DegradationFromModes(const double *d_modes, double *w_stat, const kestro_logical1 *accumulation, double *c_deg,
                          const double *moduli, const double *vnu, const double *effort) {
    kestro::failure::stiffness_damages(d_modes, w_stat, *accumulation != 0);
    std::fill_n(c_deg, 36, 0.0);
    if (moduli == nullptr || vnu == nullptr || effort == nullptr) return;
    const auto limited = [](double w) { return std::clamp(w, 0.0, 1.0); };
    double dnorm[3];
    for (int i = 0; i < 3; ++i) dnorm[i] = limited(effort[2 * i] > 0.0 ? w_stat[2 * i] : w_stat[2 * i + 1]);
    const double propvec[9] = {moduli[0], moduli[1], moduli[2], moduli[3], moduli[4],
                               moduli[5], vnu[0],    vnu[1],    vnu[2]};
    const double d23 = limited(w_stat[7]), d13 = limited(w_stat[8]), d12 = limited(w_stat[6]);
    MatzenmillerDegradation(propvec, c_deg, dnorm, &d23, &d13, &d12);
}

void BiLinearEvolution(const double *eps, const double *eps0, const double *sig_f, const double *gc, const double *lc,
                       double *d, double *eps1) {
    const auto softening = kestro::failure::bilinear_evolution(*eps, *eps0, *sig_f, *gc, *lc, *eps1);
    *eps1 = softening.eps1;
    *d = softening.d;
}

void IsotropicDegradation(const double *peprops, const double *d, const double *life, const double *degr,
                          double *degpeprops) {
    // The factor switches once, from 1 to degr: exposures above 2 do not count twice.
    const double k = std::min(std::floor(std::max(*life, *d)), 1.0);
    degpeprops[0] = (1.0 - (1.0 - *degr) * k) * peprops[0];
    degpeprops[1] = *degr < 1.0 ? (1.0 - k) * peprops[1] : peprops[1];
}

void SuddenDegradation(double *degpeprops, double *degpsprops, const double *peprops, const double *psprops, double *de,
                       double *df, const double *g_f, const double *g_m, const double *ttol, const double *degrfac,
                       const double *nm) {
    sudden(degpeprops, degpsprops, peprops, psprops, de, df, *g_f, *g_m, ttol, *degrfac, nm);
}

void SuddenDegradation_viscouse(double *degpeprops, double *degpsprops, const double *peprops, const double *psprops,
                                double *de, double *df, const double *g_f, const double *g_m, const double *ttol,
                                const double *degrfac, const double *nm, double *degr_old, const double *eta,
                                const double *dt) {
    const double total = *eta + *dt;
    const double factor = total > 0.0 ? (*eta * *degr_old + *dt * *degrfac) / total : *degrfac;
    *degr_old = factor;
    sudden(degpeprops, degpsprops, peprops, psprops, de, df, *g_f, *g_m, ttol, factor, nm);
}

void RuvazuDegradation(double *d, const double *dds, const double *rdisc, const int32_t *degrid,
                       const kestro_logical1 *plyistape, const double *fa) {
    const int32_t scheme = *degrid;
    if (scheme < 0 || scheme > 5) {
        std::fill_n(d, kFactors, 1.0);
        kestro::record_error(-2, "Unsupported scheme in RuvazuDegradation");
        return;
    }
    static constexpr double defaults[4] = {0.3, 0.3, 0.5, 0.5};
    const double *f = fa != nullptr ? fa : defaults;
    const auto flagged = [dds](int first, int last) {
        for (int i = first; i <= last; ++i)
            if (dds[i - 1] >= 1.0) return true;
        return false;
    };
    // The damage groups in scheme order: fibre, matrix, delamination, core, the other interface.
    const bool groups[5] = {flagged(1, 2), flagged(3, 4), flagged(5, 6), flagged(7, 7), flagged(8, 8)};
    const bool tape = *plyistape != 0;
    // The factors are formed in registers and written once.
    const double r = *rdisc, fibre = r * f[0], matrix = r * f[1], normal = r * f[2], shear = r * f[3];
    double w[kFactors] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    const auto lower = [&w](int k, double v) { w[k] = std::min(w[k], v); };
    for (int g = 0; g < scheme; ++g) {
        if (!groups[g]) continue;
        if (g == 0) {
            lower(E1, fibre);
            if (!tape) lower(E2, fibre);
        } else if (g == 1) {
            lower(G12, matrix);
            if (tape) {
                lower(E2, matrix);
                lower(G23, matrix);
            }
        } else {
            lower(E3, normal);
            lower(G13, shear);
            lower(G23, shear);
        }
    }
    w[Nu12] = std::sqrt(w[E1] * w[E2]);
    w[Nu13] = std::sqrt(w[E1] * w[E3]);
    w[Nu23] = std::sqrt(w[E2] * w[E3]);
    std::copy_n(w, kFactors, d);
}

void GetNyeDegradationMatrix(const double *d, double *degrf, const int32_t *ntens, const int32_t *psflag) {
    static_cast<void>(psflag);
    if (!with_ntens(*ntens, [&](auto size) { factor_matrix<decltype(size)::value>(d, degrf); }))
        kestro::record_error(-2, "Unsupported dimension in GetNyeDegradationMatrix");
}

}  // extern "C"
