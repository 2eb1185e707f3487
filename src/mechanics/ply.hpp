// Ply stiffness and compliance (from 2 to 36 values), rotation matrices,
// stress update, strain energy, the equivalent measures and the Prony
// relaxation of the material laws: services that run at every
// material point, defined inline so that C++ callers inline them (closed
// forms on the stack); the generated export table emits them under their C
// names.  Nye order 11, 22, 33, 12, 13, 23; engineering shears.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <type_traits>

#include "core/errorhandling.hpp"
#include "decl/lamina.hpp"
#include "math/small.hpp"
#include "mechanics/plydata.hpp"

// The laws of a ply on values: one function per law, which the C faces
// below and every other caller use.
namespace kestro::ply {

using math::small::Matrix;
using math::small::Ref;

// The fractions of the moduli that damage leaves (1 - the damage of each
// axis and shear plane); 1 undamaged.
struct Retention {
    double r1 = 1.0, r2 = 1.0, r3 = 1.0, r12 = 1.0, r13 = 1.0, r23 = 1.0;
};

// The orthotropic stiffness, Nye order, engineering shears: the inverse of
// the compliance in closed form.  Each normal modulus enters through its
// retained fraction inside the inverse (the damaged compliance of
// Matzenmiller, Lubliner and Taylor), each shear modulus times its own.
[[gnu::always_inline]] inline void orthotropic_stiffness(Ref<6> c, const Constants &p, const Retention &r = {}) {
    const double nu21 = p.nu12 * p.e2 / p.e1, nu31 = p.nu13 * p.e3 / p.e1, nu32 = p.nu23 * p.e3 / p.e2;
    const double r1 = r.r1, r2 = r.r2, r3 = r.r3;
    const double delta = 1.0 - r1 * r2 * p.nu12 * nu21 - r2 * r3 * p.nu23 * nu32 - r1 * r3 * p.nu13 * nu31 -
                         2.0 * (r1 * nu21) * (r2 * nu32) * (r3 * p.nu13);
    c.zero();
    c(N11, N11) = r1 * p.e1 * (1.0 - r2 * r3 * p.nu23 * nu32) / delta;
    c(N22, N22) = r2 * p.e2 * (1.0 - r1 * r3 * p.nu13 * nu31) / delta;
    c(N33, N33) = r3 * p.e3 * (1.0 - r1 * r2 * p.nu12 * nu21) / delta;
    c(N11, N22) = c(N22, N11) = r1 * r2 * p.e1 * (nu21 + r3 * nu31 * p.nu23) / delta;
    c(N11, N33) = c(N33, N11) = r1 * r3 * p.e1 * (nu31 + r2 * nu21 * nu32) / delta;
    c(N22, N33) = c(N33, N22) = r2 * r3 * p.e2 * (nu32 + r1 * p.nu12 * nu31) / delta;
    c(N12, N12) = r.r12 * p.g12;
    c(N13, N13) = r.r13 * p.g13;
    c(N23, N23) = r.r23 * p.g23;
}

// The reduced (plane-stress) stiffness over 11, 22, 12 in closed form.
[[gnu::always_inline]] inline void plane_stress_stiffness(Ref<3> q, const Constants &p) {
    const double den = 1.0 - p.nu12 * p.nu12 * p.e2 / p.e1;
    q(0, 0) = p.e1 / den;
    q(1, 1) = p.e2 / den;
    q(0, 1) = q(1, 0) = p.nu12 * p.e2 / den;
    q(0, 2) = q(2, 0) = q(1, 2) = q(2, 1) = 0.0;
    q(2, 2) = p.g12;
}

// The orthotropic compliance, Nye order, engineering shears: 1 / E,
// -nu / E and 1 / G.
[[gnu::always_inline]] inline void compliance(Ref<6> s, const Constants &p) {
    s.zero();
    s(N11, N11) = 1.0 / p.e1;
    s(N22, N22) = 1.0 / p.e2;
    s(N33, N33) = 1.0 / p.e3;
    s(N11, N22) = s(N22, N11) = -p.nu12 / p.e1;
    s(N11, N33) = s(N33, N11) = -p.nu13 / p.e1;
    s(N22, N33) = s(N33, N22) = -p.nu23 / p.e2;
    s(N12, N12) = 1.0 / p.g12;
    s(N13, N13) = 1.0 / p.g13;
    s(N23, N23) = 1.0 / p.g23;
}

// Whether the constants make a positive-definite stiffness: finite positive
// moduli, and the leading minors of the normal block of the compliance
// positive (1 - nu12 nu21 and the determinant factor of the stiffness),
// written without divisions by multiplying with E1 and E1 E2.
inline bool positive_definite(const Constants &p) {
    // Positive, finite and normal: the bits less the smallest normal below
    // the span up to the infinity, taken as unsigned (one test for all six).
    constexpr uint64_t smallest = 0x0010000000000000, span = 0x7ff0000000000000 - smallest;
    const auto offset = [](double m) { return std::bit_cast<uint64_t>(m) - smallest; };
    const uint64_t worst = std::max({offset(p.e1), offset(p.e2), offset(p.e3), offset(p.g12), offset(p.g13),
                                     offset(p.g23)});
    if (worst >= span) return false;
    const double minor = p.e1 - p.nu12 * p.nu12 * p.e2;
    const double det = p.e1 * p.e2 - p.nu12 * p.nu12 * p.e2 * p.e2 - p.nu23 * p.nu23 * p.e3 * p.e1 -
                       p.nu13 * p.nu13 * p.e3 * p.e2 - 2.0 * p.nu12 * p.nu23 * p.nu13 * p.e2 * p.e3;
    return minor > 0.0 && det > 0.0;
}

// Whether an isotropic E and nu make a positive-definite stiffness: E
// positive and finite, nu within (-1, 0.5).
inline bool positive_definite(double e, double nu) {
    return e > 0.0 && std::isfinite(e) && nu > -1.0 && nu < 0.5;
}

// The internal stress of a Prony term after a time step: the backward-Euler
// relaxation of dold towards stiffness pprony strain with the relaxation time
// tau stretched by the shift factor.
inline double relaxation(double dold, double tau, double shift, double timestep, double stiffness, double pprony,
                         double strain) {
    return (dold * tau * shift + stiffness * timestep * pprony * strain) / (tau * shift + timestep);
}

// Calls f(std::integral_constant<int, n>) for the stress component counts
// the laws serve, 6, 4 (11, 22, 33, 12) and 3 (11, 22, 12); false for
// another n.
template <class F>
bool with_ntens(int32_t n, F &&f) {
    switch (n) {
        case 6: f(std::integral_constant<int, 6>{}); return true;
        case 4: f(std::integral_constant<int, 4>{}); return true;
        case 3: f(std::integral_constant<int, 3>{}); return true;
        default: return false;
    }
}

}  // namespace kestro::ply

namespace kestro::lamina {

inline void unsupported(const char *message) { record_error(-2, message); }

// Zeros c(n, n), the square output of a call that refuses its count: nothing
// for n below 1 (no such matrix), the count in 64 bits.  Every refusal of a
// component count zeros its square output here.
inline void zero_square(double *c, int32_t n) {
    const int64_t count = n > 0 ? int64_t{n} * n : 0;
    for (int64_t k = 0; k < count; ++k) c[k] = 0.0;
}

// The stiffness c6 (6 x 6, Nye order) reduced to ntens components into
// c(ntens, ntens): 6 as it is, 4 its leading block, 3 the plane-stress
// condensation over 11, 22, 12; psflag 0 (non-null) the condensation at
// 11, 22, 12 with row and column 33 zero (6: also the 13, 23 block); other
// psflag values the uncondensed rows and columns.  False for other ntens.
inline bool reduce_stiffness(const double *c6, int32_t ntens, const int32_t *psflag, double *c) {
    if (ntens != 3 && ntens != 4 && ntens != 6) return false;
    const auto at = [c6](int i, int j) { return c6[j * 6 + i]; };
    const auto condensed = [&](int i, int j) {
        return at(2, 2) == 0.0 ? at(i, j) : at(i, j) - at(i, 2) * at(2, j) / at(2, 2);
    };
    constexpr int plane[3] = {0, 1, 3};
    const bool plane_stress = psflag != nullptr && *psflag == 0;
    const bool uncondensed = psflag != nullptr && *psflag != 0;
    for (int k = 0; k < ntens * ntens; ++k) c[k] = 0.0;
    if (ntens == 3) {
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                c[j * 3 + i] = uncondensed ? at(plane[i], plane[j]) : condensed(plane[i], plane[j]);
        return true;
    }
    if (!plane_stress) {
        for (int j = 0; j < ntens; ++j)
            for (int i = 0; i < ntens; ++i) c[j * ntens + i] = at(i, j);
        return true;
    }
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c[plane[j] * ntens + plane[i]] = condensed(plane[i], plane[j]);
    if (ntens == 6)
        for (int j = 4; j < 6; ++j)
            for (int i = 4; i < 6; ++i) c[j * 6 + i] = at(i, j);
    return true;
}

// The stress (or engineering strain) rotation of Nye vectors for axes
// turned by theta about axis 3, written into t(n, n) for n = 6, or its 11,
// 22, 12 block for n = 3.
inline void rotation(double theta, bool stress, int32_t n, double *t) {
    const double c = std::cos(theta), s = std::sin(theta), cs = c * s;
    const double shear = stress ? 2.0 : 1.0, back = stress ? 1.0 : 2.0;
    for (int32_t k = 0; k < n * n; ++k) t[k] = 0.0;
    const int32_t m = n == 6 ? 3 : 2;  // the position of 12
    const auto at = [t, n](int32_t i, int32_t j) -> double & { return t[j * n + i]; };
    at(0, 0) = at(1, 1) = c * c;
    at(0, 1) = at(1, 0) = s * s;
    at(0, m) = shear * cs;
    at(1, m) = -shear * cs;
    at(m, 0) = -back * cs;
    at(m, 1) = back * cs;
    at(m, m) = c * c - s * s;
    if (n == 6) {
        at(2, 2) = 1.0;
        at(4, 4) = at(5, 5) = c;
        at(4, 5) = s;
        at(5, 4) = -s;
    }
}

// The direct components (three, zero past ndi) and the shears of a vector of
// ntens components.
struct Split {
    double direct[3] = {0.0, 0.0, 0.0};
    const double *shear = nullptr;
    int32_t shears = 0;
};

inline Split split(const double *v, int32_t ndi, int32_t ntens) {
    Split s;
    for (int32_t i = 0; i < ndi && i < 3; ++i) s.direct[i] = v[i];
    s.shear = v + ndi;
    s.shears = ntens - ndi;
    return s;
}

// The direct component count of a stress of 3 (11, 22, 12), 4 or 6
// components; 0 for other counts.
inline int32_t directs_of(int32_t ntens) { return ntens == 3 ? 2 : ntens == 4 || ntens == 6 ? 3 : 0; }

inline double mises(const Split &s) {
    const double *d = s.direct;
    double q = 0.5 * ((d[0] - d[1]) * (d[0] - d[1]) + (d[1] - d[2]) * (d[1] - d[2]) + (d[2] - d[0]) * (d[2] - d[0]));
    for (int32_t i = 0; i < s.shears; ++i) q += 3.0 * s.shear[i] * s.shear[i];
    return std::sqrt(q);
}

// The Mises stress of a 6-component (Nye) stress.
inline double mises_stress(const double *stress) { return mises(split(stress, 3, 6)); }

// fn = q with components 4 to 6 (rows, and columns when `matrix`) taken
// from 3 + (j + Shift) mod 3; fn may be q.
template <int Shift>
inline void turn_shears(double *fn, const double *q, bool matrix) {
    constexpr int from[6] = {0, 1, 2, 3 + Shift % 3, 3 + (1 + Shift) % 3, 3 + (2 + Shift) % 3};
    double v[36];
    if (!matrix) {
        for (int i = 0; i < 6; ++i) v[i] = q[from[i]];
        for (int i = 0; i < 6; ++i) fn[i] = v[i];
        return;
    }
#pragma GCC unroll 36
    for (int k = 0; k < 36; ++k) v[k] = q[from[k / 6] * 6 + from[k % 6]];
#pragma GCC unroll 36
    for (int k = 0; k < 36; ++k) fn[k] = v[k];
}

// The stiffness (column-major 6 x 6, Nye order) of 12, 21 or 36 values;
// false for other counts.  Counts of ply constants (2, 5, 9, and 12 taken as
// symmetric) give nyeprops instead, with `constants` set.
inline bool stiffness_of(const double *props, int32_t nprops, bool unsymmetric, double *c6, double *nye,
                         bool &constants) {
    constants = false;
    switch (nprops) {
        case 9:
            for (int k = 0; k < 9; ++k) nye[k] = props[k];
            constants = true;
            return true;
        case 2:
        case 5:
            GetNyeProperties(nye, props, &nprops);
            constants = true;
            return true;
        case 12: {
            // E1, E2, E3, G12, G13, G23, nu12, nu13, nu23, nu21, nu31, nu32.
            const double *e = props, *g = props + 3, *nu = props + 6;
            if (!unsymmetric) {
                const double values[9] = {e[0], e[1], e[2], nu[0], nu[1], nu[2], g[0], g[1], g[2]};
                for (int k = 0; k < 9; ++k) nye[k] = values[k];
                constants = true;
                return true;
            }
            // Compliance S(i, j) = -nu_ji / E_j, inverted by its cofactors.
            const double nu_ij[3][3] = {{0.0, nu[0], nu[1]}, {nu[3], 0.0, nu[2]}, {nu[4], nu[5], 0.0}};
            double s[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) s[i][j] = i == j ? 1.0 / e[i] : -nu_ij[j][i] / e[j];
            const auto cof = [&s](int i, int j) {
                const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
                return s[i1][j1] * s[i2][j2] - s[i1][j2] * s[i2][j1];
            };
            const double det = s[0][0] * cof(0, 0) + s[0][1] * cof(0, 1) + s[0][2] * cof(0, 2);
            for (int k = 0; k < 36; ++k) c6[k] = 0.0;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) c6[j * 6 + i] = cof(j, i) / det;
            c6[21] = g[0];
            c6[28] = g[1];
            c6[35] = g[2];
            return true;
        }
        case 21: {
            int k = 0;
            for (int i = 0; i < 6; ++i)
                for (int j = 0; j <= i; ++j) c6[j * 6 + i] = c6[i * 6 + j] = props[k++];
            return true;
        }
        case 36:
            for (int k = 0; k < 36; ++k) c6[k] = props[k];
            if (!unsymmetric)
                for (int j = 0; j < 6; ++j)
                    for (int i = j + 1; i < 6; ++i)
                        c6[j * 6 + i] = c6[i * 6 + j] = 0.5 * (c6[j * 6 + i] + c6[i * 6 + j]);
            return true;
        default:
            return false;
    }
}

// Inverts c(n, n) over its rows and columns that are not all zero (the
// plane-stress layouts keep 33 empty); false when that block is singular.
inline bool invert_nonzero_block(double *c, int32_t n) {
    int rows[6], count = 0;
    for (int i = 0; i < n; ++i) {
        bool any = false;
        for (int j = 0; j < n; ++j) any = any || c[j * n + i] != 0.0 || c[i * n + j] != 0.0;
        if (any) rows[count++] = i;
    }
    if (count == 0) return false;  // an all-zero matrix has no inverse
    bool ok = true;
    math::small::dispatch(count, [&](auto size) {
        constexpr int N = decltype(size)::value;
        double w[N * N], recip[N];
        int piv[N];
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) w[j * N + i] = c[rows[j] * n + rows[i]];
        if (math::small::lu<N>(w, piv, recip) != 0) {
            ok = false;
            return;
        }
        math::small::inverse_from_lu<N>(w, piv, recip);
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) c[rows[j] * n + rows[i]] = w[j * N + i];
    });
    return ok;
}

// The compliance of the constants p for the layouts of
// GetNyeStiffnessMatrix whose nonzero block is a block of the full
// compliance (all but the uncondensed plane-stress 3 x 3) into sc(n, n):
// the closed form on the components each row stands for, zero rows where
// the stiffness has them.  False, sc untouched, for other layouts and for
// constants without a positive-definite stiffness (the inverse then goes the
// general way, with its records).
[[gnu::always_inline]] inline bool compliance_layout(int32_t n, const int32_t *psflag, double *sc,
                                                     const kestro::ply::Constants &p) {
    using namespace kestro::ply;
    // Where each Nye component stands in the layout, -1 where its row is zero.
    static constexpr int full[6] = {0, 1, 2, 3, 4, 5}, plane6[6] = {0, 1, -1, 3, 4, 5};
    static constexpr int plane4[6] = {0, 1, -1, 3, -1, -1}, leading4[6] = {0, 1, 2, 3, -1, -1};
    static constexpr int plane3[6] = {0, 1, -1, 2, -1, -1};
    const bool plane = psflag != nullptr && *psflag == 0;
    const int *at = n == 6 ? (plane ? plane6 : full)
                    : n == 4 ? (plane ? plane4 : leading4)
                    : n == 3 && (psflag == nullptr || plane) ? plane3
                                                             : nullptr;
    if (at == nullptr || !positive_definite(p)) return false;
    if (at == full) {
        compliance(sc, p);
        return true;
    }
    Matrix<6> s;
    compliance(s, p);
    for (int32_t k = 0; k < n * n; ++k) sc[k] = 0.0;
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i)
            if (at[i] >= 0 && at[j] >= 0) sc[at[j] * n + at[i]] = s(i, j);
    return true;
}

// Prints c(n, n) row by row on standard output, after the host's own output.
void print_matrix(const double *c, int32_t n);

// GetGeneralizedNyeOnAxisSC but for its most common call, out of line so
// that the closed form below needs no large frame.
[[gnu::noinline]] inline void generalized_sc(double *sc, const double *props, const int32_t *ntens,
                                             const int32_t *nprops, const int32_t *scflag, const int32_t *psflag,
                                             const kestro_logical1 *ldflag, const kestro_logical1 *unsymm) {
    const int32_t n = *ntens;
    const auto zero = [&] { zero_square(sc, n); };
    double c6[36], nye[9];
    bool constants = false;
    if (!stiffness_of(props, *nprops, unsymm != nullptr && *unsymm != 0, c6, nye, constants)) {
        zero();
        unsupported("Unsupported number of properties in GetGeneralizedNyeOnAxisSC");
        return;
    }
    const bool compliance = *scflag != 1;
    if (compliance && constants && compliance_layout(n, psflag, sc, kestro::ply::Constants::of(nye))) {
        // The compliance of valid constants in closed form.
    } else {
        if (constants && (n == 3 || n == 4 || n == 6)) {
            ::GetNyeStiffnessMatrix(sc, nye, ntens, psflag);
        } else if (!reduce_stiffness(c6, n, psflag, sc)) {
            zero();
            unsupported("Unsupported dimension in GetGeneralizedNyeOnAxisSC");
            return;
        }
        if (compliance && !invert_nonzero_block(sc, n)) {
            zero();
            kestro::record_error(-2, "Matrix inverse becomes numerically singular!");
            return;
        }
    }
    if (ldflag != nullptr && *ldflag != 0) print_matrix(sc, n);
}


}  // namespace kestro::lamina

extern "C" {

inline void FlipVoigtCyclicNotation(double *fn, const double *q, const int32_t *sdim, const int32_t *dir) {
    if (*sdim != 1 && *sdim != 6) {
        kestro::lamina::unsupported("Unsupported dimension in FlipVoigtCyclicNotation");
        return;
    }
    switch (((*dir % 3) + 3) % 3) {
        case 0:
            kestro::lamina::turn_shears<0>(fn, q, *sdim == 6);
            break;
        case 1:
            kestro::lamina::turn_shears<1>(fn, q, *sdim == 6);
            break;
        default:
            kestro::lamina::turn_shears<2>(fn, q, *sdim == 6);
            break;
    }
}

inline void GetNyeStiffnessMatrix(double *c, const double *nyeprops, const int32_t *ntens, const int32_t *psflag) {
    const auto constants = kestro::ply::Constants::of(nyeprops);
    const bool plane = psflag != nullptr && *psflag == 0;
    if (*ntens == 3 && (psflag == nullptr || plane)) return kestro::ply::plane_stress_stiffness(c, constants);
    if (*ntens == 6 && !plane) return kestro::ply::orthotropic_stiffness(c, constants);
    kestro::ply::Matrix<6> c6;
    kestro::ply::orthotropic_stiffness(c6, constants);
    if (!kestro::lamina::reduce_stiffness(c6.data(), *ntens, psflag, c)) {
        kestro::lamina::zero_square(c, *ntens);
        kestro::lamina::unsupported("Unsupported dimension in GetNyeStiffnessMatrix");
    }
}

inline void GetNyeTransformationMatrix(double *t, const double *angle, const int32_t *tdim, const int32_t *ttype,
                                       const int32_t *tflag) {
    const int32_t n = *tdim;
    if (n != 3 && n != 6) {
        kestro::lamina::zero_square(t, n);
        kestro::lamina::unsupported("Unsupported dimension in GetNyeTransformationMatrix");
        return;
    }
    kestro::lamina::rotation(*tflag == 1 ? *angle : -*angle, *ttype == 1, n, t);
}

inline void GetStressVector(double *stress, const double *ddsdde, const double *strain0, const double *dstrain,
                            const int32_t *ndi, const int32_t *ntens, const kestro_logical1 *issekant,
                            const kestro_logical1 *istensor) {
    const int32_t n = *ntens;
    if (*ndi < 0 || *ndi > n) {
        kestro::lamina::unsupported("Unsupported dimension in GetStressVector");
        return;
    }
    const bool secant = *issekant != 0, tensor = *istensor != 0;
    const auto strain = [&](int32_t j) {
        const double e = secant ? strain0[j] + dstrain[j] : dstrain[j];
        return tensor && j >= *ndi ? 2.0 * e : e;
    };
    if (n == 6) {  // the common size: the strain first, then fixed loops
        double e[6], s[6];
        for (int j = 0; j < 6; ++j) e[j] = strain(j);
        for (int i = 0; i < 6; ++i) s[i] = secant ? 0.0 : stress[i];
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i) s[i] += ddsdde[j * 6 + i] * e[j];
        for (int i = 0; i < 6; ++i) stress[i] = s[i];
        return;
    }
    for (int32_t i = 0; i < n; ++i) {
        double sum = secant ? 0.0 : stress[i];
        for (int32_t j = 0; j < n; ++j) sum += ddsdde[j * n + i] * strain(j);
        stress[i] = sum;
    }
}

inline void GetSpecificStrainEnergy(double *sse, const double *stress, const double *stress0, const double *strain0,
                                    const double *dstrain, const int32_t *ndi, const int32_t *ntens,
                                    const kestro_logical1 *issekant, const kestro_logical1 *istensor) {
    const int32_t n = *ntens;
    if (*ndi < 0 || *ndi > n) {
        kestro::lamina::unsupported("Unsupported dimension in GetSpecificStrainEnergy");
        return;
    }
    const bool secant = *issekant != 0;
    double sum = 0.0;
    for (int32_t j = 0; j < n; ++j) {
        double e = secant ? strain0[j] + dstrain[j] : dstrain[j];
        if (*istensor != 0 && j >= *ndi) e *= 2.0;
        sum += (secant ? stress[j] : stress[j] + stress0[j]) * e;
    }
    *sse = secant ? 0.5 * sum : *sse + 0.5 * sum;
}

inline double GetHydrostaticPressure(const double *stress, const int32_t *ntens) {
    const int32_t directs = kestro::lamina::directs_of(*ntens);
    if (directs == 0) {
        kestro::lamina::unsupported("Unsupported dimension in GetHydrostaticPressure");
        return 0.0;
    }
    const auto s = kestro::lamina::split(stress, directs, *ntens);
    return (s.direct[0] + s.direct[1] + s.direct[2]) / 3.0;
}

inline double GetMisesStress(const double *stress, const int32_t *ntens) {
    const int32_t directs = kestro::lamina::directs_of(*ntens);
    if (directs == 0) {
        kestro::lamina::unsupported("Unsupported dimension in GetMisesStress");
        return 0.0;
    }
    return kestro::lamina::mises(kestro::lamina::split(stress, directs, *ntens));
}

inline void GetMisesFlow(double *flow, const double *stress, const int32_t *ntens) {
    const int32_t n = *ntens, directs = kestro::lamina::directs_of(n);
    if (directs == 0) {
        for (int32_t k = 0; k < n; ++k) flow[k] = 0.0;
        kestro::lamina::unsupported("Unsupported dimension in GetMisesFlow");
        return;
    }
    const auto s = kestro::lamina::split(stress, directs, n);
    const double p = (s.direct[0] + s.direct[1] + s.direct[2]) / 3.0, q = kestro::lamina::mises(s);
    for (int32_t k = 0; k < n; ++k) flow[k] = (k < directs ? stress[k] - p : stress[k]) / q;
}

inline void EquivalentStrain(const double *strain, double *eqstrain, const int32_t *ndi, const int32_t *ntens) {
    const int32_t n = *ntens;
    if (kestro::lamina::directs_of(n) == 0 || *ndi < 0 || *ndi > n) {
        kestro::lamina::unsupported("Unsupported dimension in EquivalentStrain");
        return;
    }
    const auto s = kestro::lamina::split(strain, *ndi, n);
    const double *d = s.direct;
    double q =
        2.0 / 9.0 * ((d[0] - d[1]) * (d[0] - d[1]) + (d[1] - d[2]) * (d[1] - d[2]) + (d[2] - d[0]) * (d[2] - d[0]));
    for (int32_t i = 0; i < s.shears; ++i) q += s.shear[i] * s.shear[i] / 3.0;
    const double value = std::sqrt(q);
    *eqstrain = d[0] + d[1] + d[2] < 0.0 ? -value : value;
}

inline void GetGreenStrain(double *green, const double *f) {
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += f[i * 3 + k] * f[j * 3 + k];
            green[j * 3 + i] = 0.5 * (sum - (i == j ? 1.0 : 0.0));
        }
}

inline void GetPhiMeasuredFromXZPlane(double *phixz, const double *phixy, const kestro_logical1 *clockwise) {
    const double phi = *phixy * (std::numbers::pi / 180.0);
    *phixz = *clockwise != 0 ? 0.5 * std::numbers::pi - phi : phi - 0.5 * std::numbers::pi;
}

inline double Relaxation(const double *dold, const double *tau, const double *shift, const double *timestep,
                         const double *stiffness, const double *pprony, const double *strain) {
    return kestro::ply::relaxation(*dold, *tau, *shift, *timestep, *stiffness, *pprony, *strain);
}

inline void GetGeneralizedNyeOnAxisSC(double *sc, const double *props, const int32_t *ntens, const int32_t *nprops,
                                      const int32_t *scflag, const int32_t *psflag, const kestro_logical1 *ldflag,
                                      const kestro_logical1 *unsymm) {
    // Nine valid constants asked as compliance: the closed form.
    if (*scflag != 1 && *nprops == 9 && (ldflag == nullptr || *ldflag == 0) &&
        kestro::lamina::compliance_layout(*ntens, psflag, sc, kestro::ply::Constants::of(props)))
        return;
    kestro::lamina::generalized_sc(sc, props, ntens, nprops, scflag, psflag, ldflag, unsymm);
}

inline void GetEngConstsFromComplianceMatrix(double *engconst, const double *s) {
    const auto at = [s](int i, int j) { return s[j * 6 + i]; };
    for (int i = 0; i < 6; ++i) engconst[i] = 1.0 / at(i, i);
    engconst[6] = -at(2, 1) / at(1, 1);  // nu23
    engconst[7] = -at(2, 0) / at(0, 0);  // nu13
    engconst[8] = -at(1, 0) / at(0, 0);  // nu12
}

}  // extern "C"
