// Fatigue: cycle jumps, the equivalent stress of a resin, the S-N life of a
// cycle, and the Shokrieh residual-property model of a unidirectional layer
// (normalised fatigue lives, residual strength and stiffness, the seven
// failure criteria with linear shear and sudden degradation).
#include "decl/fatigue.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "mechanics/ply.hpp"

namespace {

using namespace kestro::ply;

using kestro::kLargestReal;

void invalid_cycles() { kestro::record_error(-2, "Warning: Invalid cycle data in CycleCount"); }

// The root e >= 0 of e^np - b e^(np - 1) - a = 0 (a > 0): Newton's method kept
// inside a bracket that halves where a step would leave it.
double surface_scale(double a, double b, double np) {
    if (np == 1.0) return std::max(a + b, 0.0);
    if (np == 2.0) return (b + std::sqrt(b * b + 4.0 * a)) / 2.0;
    const double root = std::pow(a, 1.0 / np);
    double lo = 0.0, hi = std::max(root, b + root), e = hi;
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double power = std::pow(e, np - 1.0);
        const double f = power * (e - b) - a;
        if (f == 0.0) return e;
        (f > 0.0 ? hi : lo) = e;
        const double slope = np * power - (np - 1.0) * b * (e > 0.0 ? power / e : 0.0);
        double next = slope > 0.0 ? e - f / slope : 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::abs(next - e) <= 1e-14 * std::abs(next)) return next;
        e = next;
    }
    return e;
}

// The stress directions of the Shokrieh model are the strengths' (Xt11 ...
// S23), each acting on its Nye component (kStrengthComponent); the
// stiffness fractions (0..5) are those of the moduli E1, E2, E3, G12, G13,
// G23 (kModuli), so a direction degrades the fraction of its component.

// State entries (0-based).
constexpr int kCycle = 0, kStress = 1, kStrain = 7, kLives = 13, kFlags = 22, kUpdated = 43, kStiffness = 58,
              kStrength = 64, kSmallest = 76;

// The Nye stiffness of the layer with the stiffness fractions f (floored at
// 1e-6) on the moduli and undamaged Poisson terms; plane stress keeps 11, 22, 12.
// The constants scaled so that their compliance has the damaged diagonal and
// the undamaged off-diagonals (nu12 / E1 unchanged, and so on) give it in
// closed form.
void layer_stiffness(const double *props, const double *f, bool plane, double *c) {
    const auto r = [f](int k) { return std::max(f[k], 1e-6); };
    const auto p = Constants::of(props);
    const Constants scaled{r(0) * p.e1,   r(1) * p.e2,  r(2) * p.e3,  r(0) * p.nu12, r(0) * p.nu13,
                           r(1) * p.nu23, r(3) * p.g12, r(4) * p.g13, r(5) * p.g23};
    if (!plane) {
        orthotropic_stiffness(c, scaled);
        return;
    }
    Matrix<3> q;
    plane_stress_stiffness(q, scaled);
    std::fill_n(c, 36, 0.0);
    constexpr Nye plane_rows[3] = {N11, N22, N12};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c[plane_rows[j] * 6 + plane_rows[i]] = q(i, j);
}

void product(const double *c, const double *v, double *out) {
    for (int i = 0; i < 6; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 6; ++j) sum += c[j * 6 + i] * v[j];
        out[i] = sum;
    }
}

// The cycles to failure of direction k under the stress s (Shokrieh's
// normalised life), the largest double where a logarithm is undefined or zero.
double cycles_to_failure(double s, double rs, double opposite, double kappa, const double *p) {
    if (s >= rs) return 0.25;
    const double a = s * (1.0 - kappa) / (2.0 * rs), q = s * (1.0 + kappa) / (2.0 * rs), f = p[6];
    const double inner = a / f, outer = (1.0 - q) * (opposite + q);
    if (!(inner > 0.0) || !(outer > 0.0) || outer == 1.0 || p[5] == 0.0) return kLargestReal;
    const double u = std::log(inner) / std::log(outer);
    const double nf = std::pow(10.0, (u - p[4]) / p[5]);
    return std::isfinite(nf) ? nf : kLargestReal;
}

}  // namespace

extern "C" {

void CycleCount(double *njimp, double *n, const double *maxcycle, const double *time, const double *time_calc,
                const double *time_period, const double *njimp_min, const double *njimp_max, const double *njimp_zul,
                const int32_t *ncycles, const int32_t *nmaxcycles, const int32_t *istep, const int32_t *nstep,
                const int32_t *jumpalgo, const int32_t *stepflag) {
    static_cast<void>(time_calc);
    static_cast<void>(nstep);
    if (*stepflag != 1) {
        *njimp = *n = 1.0;
        return;
    }
    const int32_t algorithm = *jumpalgo;
    if (algorithm <= 0) {
        *njimp = 1.0;
        *n += 1.0;
        return;
    }
    const double periods = *time / *time_period;
    if (!(*time_period > 0.0) || algorithm > 4 || !(std::abs(periods) < 1e18)) return invalid_cycles();
    const int64_t k = std::max<int64_t>(1, std::llround(periods));
    if (algorithm == 3) {
        const auto &table = kestro::shokriehdata::cycles;
        const int64_t row = std::min<int64_t>(k + 1, *nmaxcycles);
        if (!table.exists() || *istep < 1 || *istep > table.extent_of(2) || row < 1 || row > table.extent_of(1))
            return invalid_cycles();
        const double next = table(row, *istep);
        *njimp = next - *n;
        *n = next;
        return;
    }
    double jump =
        algorithm == 2 ? (*maxcycle - *n) / static_cast<double>(std::max<int64_t>(*ncycles - k, 1)) : *njimp_zul;
    jump = std::floor(jump);
    if (*njimp_min > 0.0) jump = std::max(jump, *njimp_min);
    if (*njimp_max > 0.0) jump = std::min(jump, *njimp_max);
    jump = std::max(jump, 1.0);
    if (*maxcycle > 0.0) jump = std::min(jump, std::max(*maxcycle - *n, 0.0));
    *njimp = jump;
    *n += jump;
}

void GetEquivalentFatigueStress(const double *stress, const double *xt, const double *xc, const double *np,
                                double *eq_stress) {
    *eq_stress = 0.0;
    if (!(*xt > 0.0) || *xc == 0.0 || !(*np >= 1.0)) {
        kestro::record_error(-2, "Warning: Unsupported parameters in GetEquivalentFatigueStress");
        return;
    }
    const double i1 = stress[0] + stress[1] + stress[2], mises = kestro::lamina::mises_stress(stress);
    if (i1 == 0.0 && mises == 0.0) return;
    // Whole exponents 1 and 2 (the usual ones) without pow.
    const double p = *np;
    const auto power = [p](double x) { return p == 1.0 ? x : p == 2.0 ? x * x : std::pow(x, p); };
    const auto root = [p](double x) { return p == 1.0 ? x : p == 2.0 ? std::sqrt(x) : std::pow(x, 1.0 / p); };
    const double kappa = std::abs(*xc / *xt), kn = power(kappa);
    const double misescr = root((kn + kappa) / (kappa + 1.0)) * *xt;
    const double a = power(mises / misescr), b = i1 * (kn - 1.0) / ((kn + kappa) * *xt);
    const double e = surface_scale(a, b, *np);
    *eq_stress = (i1 < 0.0 ? -1.0 : 1.0) * *xt * e;
}

void GetFatigueLife(const double *eq_min, const double *eq_max, const double *a_woehler, const double *exp_woehler,
                    const double *alpha, const double *dn, double *nf, double *life, const int32_t *noel) {
    static_cast<void>(noel);
    *nf = kLargestReal;
    if (!(*a_woehler > 0.0) || *exp_woehler == 0.0) {
        kestro::record_error(-2, "Warning: Invalid S-N data in GetFatigueLife");
        return;
    }
    if (!(*eq_max > 0.0) || *eq_max < *eq_min) return;
    const auto &critical = kestro::materialdata::r_crit;
    if (critical.exists() && critical.extent_of(1) >= 1 && *eq_max <= critical(1)) return;
    const double amplitude = (*eq_max - *eq_min) / 2.0;
    const double effective = std::pow(*eq_max, 1.0 - *alpha) * std::pow(amplitude, *alpha);
    *nf = std::pow(effective / *a_woehler, 1.0 / *exp_woehler);
    if (!(*nf < kLargestReal)) *nf = kLargestReal;  // no amplitude: no damage
    *life = std::min(1.0, std::max(*life, *life + *dn / *nf));
}

void GetShokrieh(double *stress, double *ddsdde, double *statev, const double *strain, const double *dstrain,
                 const double *props, const double *time, const double *dtime, const double *temp, const double *dtemp,
                 const int32_t *nprops, const int32_t *noel, const int32_t *jstep, const int32_t *kinc,
                 const int32_t *iszflag, const int32_t *idcflag, double *statev_backup) {
    static_cast<void>(time);
    static_cast<void>(dtime);
    static_cast<void>(temp);
    static_cast<void>(dtemp);
    static_cast<void>(noel);
    static_cast<void>(kinc);
    static_cast<void>(idcflag);
    if (*nprops < 91) {
        kestro::record_error(-2, "Warning: Too few properties in GetShokrieh");
        return;
    }
    // The cycle number: the step's count in a fatigue step with a table, else the state's.
    double n = statev[kCycle];
    const auto &table = kestro::shokriehdata::cycles;
    const auto &steps = kestro::shokriehdata::cycleprops;
    const int32_t step = jstep[0];
    if (table.exists() && steps.exists() && step >= 1 && step <= table.extent_of(2) && step <= steps.extent_of(2) &&
        steps.extent_of(1) >= 2 && table.extent_of(1) >= 1 && steps(2, step) == 1.0)
        n = table(1, step);
    if (n > statev[kCycle]) std::copy_n(statev, 77, statev_backup);
    statev[kCycle] = n;

    const bool plane = *iszflag == 0;
    double total[6], c[36], s0[6];
    for (int i = 0; i < 6; ++i) total[i] = strain[i] + dstrain[i];
    layer_stiffness(props, statev + kStiffness, plane, c);
    product(c, total, s0);
    const double *strength = props + 9;
    const double kappa = props[18];

    // Residual strength and stiffness after n cycles; a direction past its
    // life (n >= Nf) has its residual strength at the applied stress.
    bool spent[kDirections] = {};
    if (n > statev[kUpdated] && n > 0.25) {
        double smallest = kLargestReal;
        for (int k = 0; k < kDirections; ++k) {
            const double v = s0[kStrengthComponent[k]];
            const double s = k < 3 ? std::max(v, 0.0) : k < 6 ? std::max(-v, 0.0) : std::abs(v);
            const double rs = strength[k];
            const double opposite = k < 3 ? strength[k + 3] / rs : k < 6 ? strength[k - 3] / rs : 1.0;
            const double *p = props + 19 + 8 * k;
            const double nf = s > 1e-9 * rs ? cycles_to_failure(s, rs, opposite, kappa, p) : kLargestReal;
            statev[kLives + k] = nf;
            smallest = std::min(smallest, nf);
            if (nf >= kLargestReal) continue;  // no fatigue in this direction
            const int fraction = kStrengthComponent[k];
            const double es = props[kModuli[fraction]], floor_modulus = s / p[7];
            double r = s, e = floor_modulus;
            spent[k] = n >= nf;
            if (n < nf) {
                const double w = (std::log10(n) - std::log10(0.25)) / (std::log10(nf) - std::log10(0.25));
                r = std::pow(1.0 - std::pow(w, p[1]), 1.0 / p[0]) * (rs - s) + s;
                e = std::pow(1.0 - std::pow(w, p[2]), 1.0 / p[3]) * (es - floor_modulus) + floor_modulus;
            }
            if (std::isfinite(r)) statev[kStrength + k] = std::min(statev[kStrength + k], r / rs);
            if (std::isfinite(e)) statev[kStiffness + fraction] = std::min(statev[kStiffness + fraction], e / es);
        }
        statev[kSmallest] = smallest;
        statev[kUpdated] = n;
    }

    // The seven criteria with linear shear on the stress of the fractions on
    // entry, from the squared ratio of each direction's stress to its residual
    // strength.  A direction past its life fails the criteria it enters in the
    // same update: its ratio is 1, which rounding would leave either side of 1.
    double q[kDirections];
    for (int k = 0; k < kDirections; ++k) {
        const double x = s0[kStrengthComponent[k]], y = statev[kStrength + k] * strength[k];
        q[k] = x == 0.0 ? 0.0 : (x / y) * (x / y);  // a stress term of 0 counts 0, also against a strength of 0
        if (spent[k]) q[k] = std::max(q[k], 1.0);
    }
    const double s11 = s0[0], s22 = s0[1], s33 = s0[2];
    const double shear1 = q[6] + q[7], shear2 = q[6] + q[8], shear3 = q[7] + q[8];
    const bool failed[7] = {s11 >= 0.0 && q[0] + shear1 >= 1.0, s11 < 0.0 && q[3] >= 1.0,
                            s11 < 0.0 && q[3] + shear1 >= 1.0,  s22 >= 0.0 && q[1] + shear2 >= 1.0,
                            s22 < 0.0 && q[4] + shear2 >= 1.0,  s33 >= 0.0 && q[2] + shear3 >= 1.0,
                            s33 < 0.0 && q[5] + shear3 >= 1.0};
    for (int m = 0; m < 7; ++m)
        if (failed[m]) statev[kFlags + m] = 1.0;
    // Sudden degradation of the failed modes (fractions: moduli E1, E2, E3, G12, G13, G23; strengths in order).
    const auto zero = [statev](std::initializer_list<int> moduli, std::initializer_list<int> strengths) {
        for (int k : moduli) statev[kStiffness + k] = 0.0;
        for (int k : strengths) statev[kStrength + k] = 0.0;
    };
    const auto flagged = [statev](int m) { return statev[kFlags + m] >= 1.0; };
    if (flagged(0) || flagged(1)) zero({0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    if (flagged(2)) zero({3, 4}, {6, 7});
    if (flagged(3) || flagged(4)) zero({1, 3, 5}, {1, 4});
    if (flagged(5) || flagged(6)) zero({2, 4, 5}, {2, 5});

    // The degraded layer.
    layer_stiffness(props, statev + kStiffness, plane, ddsdde);
    product(ddsdde, total, stress);
    std::copy_n(stress, 6, statev + kStress);
    std::copy_n(total, 6, statev + kStrain);
    // The module's factor is the last value written; points of several
    // threads write it without a race.
    std::atomic_ref<double>(kestro::shokriehdata::dnfshok)
        .store(*std::min_element(statev + kStiffness, statev + kStiffness + 6), std::memory_order_relaxed);
}

}  // extern "C"
