// The endochronic viscoplastic law and its C face.
#include "mechanics/endochronic.hpp"

#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/lamina.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::endochronic {

namespace {

using ply::N11, ply::N22, ply::N33, ply::N12, ply::N13, ply::N23;

// phi(x) = (1 - exp(-x)) / x with phi(0) = 1, from m = expm1(-x).
double relaxed_weight(double x, double m) { return x == 0.0 ? 1.0 : -m / x; }

}  // namespace

bool law_of(const double *props, int32_t nprops, int32_t nstatev, Law &law) noexcept {
    const double n = nprops > term_count ? props[term_count] : 0.0;
    // Written so that NaN fails too.
    if (!(n >= 1.0 && n <= kMaxTerms && n == std::floor(n)) || nprops < int{first_term_pair} + 2.0 * n) {
        record_error(-2, "Unsupported number of properties in EndochroneViscoPlasticity");
        return false;
    }
    law = {props[bulk_modulus], props[time_rate], props[beta], static_cast<int32_t>(n), props + first_term_pair};
    if (nstatev < first_term_stress + kTermStates * law.terms) {
        record_error(-2, "Unsupported number of state variables in EndochroneViscoPlasticity");
        return false;
    }
    return true;
}

void evaluate(const Law &law, const double *stran, const double *dstrain, double *statev, double dtime, bool write,
              double *stress) noexcept {
    // The deviatoric strain increment, tensor shears.
    const double mean = (dstrain[N11] + dstrain[N22] + dstrain[N33]) / 3.0;
    const double de[6] = {dstrain[N11] - mean, dstrain[N22] - mean, dstrain[N33] - mean,
                          0.5 * dstrain[N12], 0.5 * dstrain[N13], 0.5 * dstrain[N23]};
    const double dt = law.time_rate * dtime;
    const double dzeta = std::sqrt(de[N11] * de[N11] + de[N22] * de[N22] + de[N33] * de[N33] +
                                   2.0 * (de[N12] * de[N12] + de[N13] * de[N13] + de[N23] * de[N23]) + dt * dt);
    const double dz = law.beta == 0.0
                          ? dzeta
                          : std::log1p(law.beta * dzeta / (1.0 + law.beta * statev[intrinsic_time])) / law.beta;
    const double volume = law.bulk_modulus * ((stran[N11] + dstrain[N11]) + (stran[N22] + dstrain[N22]) +
                                              (stran[N33] + dstrain[N33]));
    double s[6] = {volume, volume, volume, 0.0, 0.0, 0.0};
    for (int32_t r = 0; r < law.terms; ++r) {
        const double mu = law.pairs[2 * r], x = law.pairs[2 * r + 1] * dz, m = std::expm1(-x);
        const double decay = 1.0 + m, weight = 2.0 * mu * relaxed_weight(x, m);
        double *q = statev + first_term_stress + kTermStates * r;
        for (int c = 0; c < kTermStates; ++c) {
            const double next = decay * q[c] + weight * de[c];
            s[c] += next;
            if (write) q[c] = next;
        }
    }
    if (write) {
        statev[intrinsic_time] += dzeta;
        statev[reduced_time] += dz;
    }
    for (int c = 0; c < 6; ++c) stress[c] = s[c];
}

}  // namespace kestro::endochronic

extern "C" void EndochroneViscoPlasticity(const double *stran, const double *dstrain, const double *props,
                                          double *stress, double *statev, const double *dtime, const int32_t *nprops,
                                          const int32_t *nstatev, const kestro_logical1 *writesdv,
                                          const kestro_logical1 * /*matstate: not read*/) {
    using namespace kestro::endochronic;
    Law law;
    if (!law_of(props, *nprops, *nstatev, law)) {
        for (int c = 0; c < 6; ++c) stress[c] = 0.0;
        return;
    }
    evaluate(law, stran, dstrain, statev, *dtime, *writesdv != 0, stress);
}
