// The endochronic viscoplastic law (EndochroneViscoPlasticity): the stress of
// a resin as a sum of deviatoric terms that relax exponentially over an
// intrinsic time, which grows with the deviatoric strain and with time,
// plus an elastic volume response.  The law, its properties and its state
// layout are the library's own (src/mechanics/README.md).  Written on values
// for three-dimensional states in Nye order with engineering shears; no
// allocation, no output.
#pragma once

#include <cstdint>

namespace kestro::endochronic {

// Properties: the bulk modulus K, the rate k of intrinsic time per time,
// the hardening beta of the reduced time, the number n of terms, then n
// pairs (mu_r, alpha_r).
enum Property : int { bulk_modulus, time_rate, beta, term_count, first_term_pair };
// State: the intrinsic time zeta, the reduced time z, then the deviatoric
// stress q_r of each term, six components each.
enum State : int { intrinsic_time, reduced_time, first_term_stress };
inline constexpr int kTermStates = 6;
inline constexpr int kMaxTerms = 10;

// The constants of the law, read from a property vector that holds them.
struct Law {
    double bulk_modulus, time_rate, beta;
    int32_t terms;
    const double *pairs;  // (mu_r, alpha_r), r = 1 .. terms
};

// The law of props, or false with the refusal recorded (-2) when n is not a
// whole number within 1 to 10, nprops is below 4 + 2 n or nstatev below
// 2 + 6 n.
bool law_of(const double *props, int32_t nprops, int32_t nstatev, Law &law) noexcept;

// stress(6) at stran + dstrain from the state statev over dtime; the new
// state is stored in statev when `write`, else statev is only read.
void evaluate(const Law &law, const double *stran, const double *dstrain, double *statev, double dtime, bool write,
              double *stress) noexcept;

}  // namespace kestro::endochronic
