// Failure criteria of plies and resins.  The fracture-plane criteria search
// the plane angle that maximises their exposure with the scan and refinement
// of plane_search.hpp, inlined over each criterion's exposure at a plane,
// whose constants of the stress state and strengths are formed once per call.
#include "failure/criteria.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <string_view>

#include "core/errorhandling.hpp"
#include "decl/failure.hpp"
#include "mechanics/ply.hpp"

namespace kestro::failure {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;
constexpr double kToDegrees = 57.29577951308232;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The finest scan: 18,000 steps over [0, pi] (pi / 18,000 as the degrees give it).
constexpr double kFinestDegrees = 0.01;

double square(double x) { return x * x; }

// Tractions on the plane at theta from the 1-2 plane, normal (0, sin, cos).
struct Traction {
    double sn, tt, tl;
};

[[gnu::always_inline]] inline Traction traction(const Transverse &s, double sn, double cs) {
    return {s.s22 * sn * sn + s.s33 * cs * cs + 2.0 * s.s23 * sn * cs,
            (s.s22 - s.s33) * sn * cs + s.s23 * (cs * cs - sn * sn), s.s12 * sn + s.s13 * cs};
}

// The LaRC05 transverse shear strength and friction coefficients.
struct LaRC05 {
    double st, eta_t, eta_l;
};

LaRC05 larc05_parameters(double yc, double sl, double a0_degrees) {
    const double a = a0_degrees * kDegree;
    const double t2 = std::tan(2.0 * a), ca = std::cos(a);
    return {yc * ca * (std::sin(a) + ca / t2), -1.0 / t2, -sl * std::cos(2.0 * a) / (yc * ca * ca)};
}

// The LaRC05 index with friction on both shears and the tensile normal term.
struct LaRC05Index {
    double st, sl, eta_t, eta_l, inv_yt;

    LaRC05Index(const LaRC05 &p, double sl_, double yt)
        : st(p.st), sl(sl_), eta_t(p.eta_t), eta_l(p.eta_l), inv_yt(1.0 / yt) {}
    [[gnu::always_inline]] double operator()(double sn, double tt, double tl) const {
        return square(tt / (st - eta_t * sn)) + square(tl / (sl - eta_l * sn)) + square(std::max(sn, 0.0) * inv_yt);
    }
};

// Puck's action-plane exposure; R_perp-perp^A and the inclinations over
// their strengths once per call.
struct PuckLaw {
    double inv_yt, inv_ra, inv_sl, tension_perp, tension_par, compression_perp, compression_par;

    PuckLaw(double yt, double sl, double yc, const double *gp) {
        const double ra = yc / (2.0 * (1.0 + gp[3]));  // R_perp-perp^A
        inv_yt = 1.0 / yt;
        inv_ra = 1.0 / ra;
        inv_sl = 1.0 / sl;
        tension_par = gp[0] / sl;
        compression_par = gp[1] / sl;
        tension_perp = gp[2] / ra;
        compression_perp = gp[3] / ra;
    }
    [[gnu::always_inline]] double operator()(const Traction &t) const {
        const bool tension = t.sn >= 0.0;
        const double perp = tension ? tension_perp : compression_perp, par = tension ? tension_par : compression_par;
        const double tt2 = t.tt * t.tt, tl2 = t.tl * t.tl, t2 = tt2 + tl2;
        // p_perp-psi / R_perp-psi^A, the direction of the shear weighting the inclinations.
        const double ratio = t2 > 0.0 ? (perp * tt2 + par * tl2) / t2 : perp;
        const double shear = square(t.tt * inv_ra) + square(t.tl * inv_sl), lean = ratio * t.sn;
        if (tension) return std::sqrt(square((inv_yt - ratio) * t.sn) + shear) + lean;
        return std::sqrt(shear + lean * lean) + lean;
    }
};

// The planes where the normal traction changes sign, where the tension and
// compression branches of a criterion meet: the roots of s22 t^2 + 2 s23 t +
// s33 in t = tan theta, as plane normals (0, sin, cos).
plane_search::Kinks normal_sign_changes(const Transverse &s) {
    plane_search::Kinks kinks;
    const double d = s.s23 * s.s23 - s.s22 * s.s33;
    if (!(d > 0.0)) return kinks;
    const double q = -(s.s23 + std::copysign(std::sqrt(d), s.s23));
    kinks.at[0] = plane_search::break_along(q, s.s22);
    kinks.at[1] = plane_search::break_along(s.s33, q);
    kinks.count = 2;
    return kinks;
}

// The exposure and angle of a fracture-plane criterion at its worst plane;
// a criterion that is the root of an index searches the index.
template <bool Root, class F>
[[gnu::always_inline]] inline Exposure fracture_plane(const Transverse &s, const Search &search, F &&exposure,
                                                      const plane_search::Kinks &kinks = {}) {
    if (!finite(s)) return {kNaN, kNaN};
    const Extremum worst = maximise(
        search, [&](double sn, double cs) __attribute__((always_inline)) { return exposure(traction(s, sn, cs)); },
        kinks);
    return {Root ? std::sqrt(worst.y) : worst.y, worst.x * kToDegrees};
}

}  // namespace

void warn(std::string_view what, std::string_view routine) noexcept {
    // "Warning: " what " in " routine, on the stack: the record keeps 80 characters.
    constexpr std::string_view head = "Warning: ", in = " in ";
    std::array<char, 128> text{};
    std::size_t used = 0;
    for (const std::string_view part : {head, what, in, routine}) {
        const std::size_t n = std::min(part.size(), text.size() - used);
        std::memcpy(text.data() + used, part.data(), n);
        used += n;
    }
    record_error(-2, std::string_view(text.data(), used));
}

double non_finite(std::string_view routine) noexcept {
    warn("Non-finite stress", routine);
    return kNaN;
}

Search search(double step_degrees, bool golden, const char *routine) {
    double step = step_degrees > 0.0 && std::isfinite(step_degrees) ? step_degrees : 5.0;
    if (step < kFinestDegrees) {
        warn("Scan step too small", routine);
        step = kFinestDegrees;
    }
    return plane_scan(step * kDegree, golden);
}

double compression_angle(double a0) { return a0 > 0.0 && a0 < 90.0 ? a0 : 53.0; }

double max_nominal(double s, double xt, double xc) { return std::abs(s / (s > 0.0 ? xt : xc)); }

double quad_nominal(double s1, double s2, double s3, double x1, double x2, double x3) {
    return std::sqrt(square(s1 / x1) + square(s2 / x2) + square(s3 / x3));
}

Resin drucker_prager(const double *stress, double xt, double xc) {
    const double i1 = stress[0] + stress[1] + stress[2], mises = lamina::mises_stress(stress);
    const double scale = 2.0 * xc * xt;
    const double di1 = (xc - xt) * i1 / scale;
    return {di1 + (xc + xt) * mises / scale, di1};
}

double raghava(const double *stress, double xt, double xc) {
    const double i1 = stress[0] + stress[1] + stress[2], mises = lamina::mises_stress(stress);
    const double k = xc - xt;
    return (k * i1 + std::sqrt(k * k * i1 * i1 + 4.0 * xc * xt * mises * mises)) / (2.0 * xc * xt);
}

Ha ha(const double *stress, double xt, double xc, double np) {
    const double i1 = stress[0] + stress[1] + stress[2], mises = lamina::mises_stress(stress);
    const double kappa = xc / xt, kn = std::pow(kappa, np);
    Ha h;
    h.misescr = std::pow((kn + kappa) / (kappa + 1.0), 1.0 / np) * xt;
    h.i1cr = (kn + kappa) / (kn - 1.0) * xt;
    h.dmises = std::pow(mises / h.misescr, np);
    h.di1 = i1 / h.i1cr;
    h.d = std::min(h.dmises + h.di1, 1.0);
    return h;
}

double larc05_fibre(const Stress &s, double xt11, double xc11, double xt22, double x23, double x12, double g12,
                    double a0, const Search &search, ply::Strengths x_is) {
    if (!finite(s)) return kNaN;
    if (s.s11 >= 0.0) return s.s11 / xt11;
    const double yc = x_is[ply::Xc22], sl = x12, st = x23, yt = xt22, xc = xc11, g = g12;
    const LaRC05 p = larc05_parameters(yc, sl, compression_angle(a0));
    const double q = sl / xc + p.eta_l, radicand = 1.0 - 4.0 * q * sl / xc;
    if (radicand < 0.0) {
        warn("No kink angle", "FBLaRC05_is");
        return 0.0;
    }
    // The initial misalignment's share of the linear-shear angle.
    const double phi_c = std::atan((1.0 - std::sqrt(radicand)) / (2.0 * q)), lead = (g - xc) * phi_c;
    const double sig11 = s.s11 == -g ? -g * (1.0 - 1e-12) : s.s11, sig22 = s.s22, sig33 = s.s33, tau12 = s.s12,
                 tau13 = s.s13, tau23 = s.s23;
    const LaRC05Index index({st, p.eta_t, p.eta_l}, sl, yt);
    // The index on the kink plane psi about axis 1 in the frame misaligned by
    // the initial misalignment and the linear shear, the misalignment's sign
    // that of t12 (side 0) or the side given.
    const auto kink = [&](double sn, double c, double side) __attribute__((always_inline)) {
        const double s2 = sig22 * c * c + sig33 * sn * sn + 2.0 * tau23 * sn * c;
        const double t12 = tau12 * c + tau13 * sn;
        const double t23 = (sig33 - sig22) * sn * c + tau23 * (c * c - sn * sn);
        const double t31 = tau13 * c - tau12 * sn;
        const double lean = side == 0.0 ? (t12 >= 0.0 ? 1.0 : -1.0) * (std::abs(t12) + lead) : t12 + side * lead;
        const double phi = lean / (g + sig11 - s2);
        const double cp = std::cos(phi), sp = std::sin(phi);
        const double s2m = sig11 * sp * sp + s2 * cp * cp - 2.0 * t12 * sp * cp;
        const double t12m = -sig11 * sp * cp + s2 * sp * cp + t12 * (cp * cp - sp * sp);
        const double t23m = t23 * cp - t31 * sp;
        return plane_search::Sided{index(s2m, t23m, t12m), s2m};
    };
    const auto exposure = [&](double sn, double c) __attribute__((always_inline)) { return kink(sn, c, 0.0); };
    if (!search.golden || (tau12 == 0.0 && tau13 == 0.0)) return std::sqrt(maximise(search, exposure).y);
    // t12 = tau12 cos psi + tau13 sin psi changes sign at the plane `cut`
    // (t12 = 0) and keeps the sign `side` up to cut + pi, where the
    // misalignment jumps back.
    const plane_search::Break cut = plane_search::break_along(-tau12, tau13);
    const double side = tau13 * cut.c - tau12 * cut.s > 0.0 ? 1.0 : -1.0;
    return std::sqrt(maximise(search, exposure, [&](double sn, double c) { return kink(sn, c, side); }, cut).y);
}

Exposure larc05_matrix(const Transverse &s, double xt22, double xc22, double x12, double a0, const Search &search) {
    const LaRC05Index index(larc05_parameters(xc22, x12, compression_angle(a0)), x12, xt22);
    return fracture_plane<true>(
        s, search, [&](const Traction &t) __attribute__((always_inline)) { return index(t.sn, t.tt, t.tl); },
        search.golden ? normal_sign_changes(s) : plane_search::Kinks{});
}

Exposure puck(const Transverse &s, double xt22, double xc22, double x12, const double *gp, const Search &search) {
    const PuckLaw law(xt22, x12, xc22, gp);
    return fracture_plane<false>(s, search, law, search.golden ? normal_sign_changes(s) : plane_search::Kinks{});
}

Exposure camanho(const Transverse &s, double xt22, double xc22, double x12, double x23, double a0,
                 const Search &search) {
    const LaRC05 p = larc05_parameters(xc22, x12, compression_angle(a0));
    const double st = x23, sl = x12, yt = xt22;
    const double kappa = (st * st - yt * yt) / (st * yt), lambda = 2.0 * p.eta_l * st / sl - kappa;
    const double inv_st = 1.0 / st, inv_sl = 1.0 / sl;
    return fracture_plane<true>(
        s, search,
        [&](const Traction &t) __attribute__((always_inline)) {
            if (t.sn < 0.0) return square(t.tt / (st - p.eta_t * t.sn)) + square(t.tl / (sl - p.eta_l * t.sn));
            const double n = t.sn * inv_st, l = t.tl * inv_sl;
            return std::max(n * n + square(t.tt * inv_st) + l * l + lambda * n * l * l + kappa * n, 0.0);
        },
        search.golden ? normal_sign_changes(s) : plane_search::Kinks{});
}

Exposure wiegand(const Transverse &s, double xt22, double xc22, double x12, double a0, const Search &search) {
    const double c = std::cos(compression_angle(a0) * kDegree);
    const double p_perp = 1.0 / (2.0 * c * c) - 1.0;
    const double gp[4] = {0.3, 0.2, p_perp, p_perp};
    return puck(s, xt22, xc22, x12, gp, search);
}

}  // namespace kestro::failure

namespace {

using namespace kestro::failure;

// The optional arguments of the C faces.
double angle_or_default(const double *a0) { return a0 != nullptr ? *a0 : 53.0; }
Search search_of(const double *sainc, const int32_t *gsflag, const char *routine) {
    return search(sainc != nullptr ? *sainc : 0.0, gsflag != nullptr && *gsflag == 1, routine);
}

// A fracture-plane criterion at its C face: a stress that is not finite
// gives NaN with its record; else the exposure, and an outtheta below 0
// receives the angle when the exposure reaches 1.
template <class Criterion>
void plane_face(double *r, double *outtheta, const Transverse &s, const char *routine, Criterion &&criterion) {
    if (!finite(s)) {
        *r = non_finite(routine);
        return;
    }
    const Exposure e = criterion();
    *r = e.r;
    if (outtheta != nullptr && *outtheta < 0.0 && e.r >= 1.0) *outtheta = e.angle;
}

}  // namespace

extern "C" {

void GPMaxNominal(double *rgp, const double *s11, const double *xt11, const double *xc11) {
    *rgp = max_nominal(*s11, *xt11, *xc11);
}

void GPQuadNominal(double *r, const double *s11, const double *s12, const double *s13, const double *xt11,
                   const double *x12, const double *x13) {
    *r = quad_nominal(*s11, *s12, *s13, *xt11, *x12, *x13);
}

[[gnu::flatten]] void GPDruckerPrager(const double *stress, const double *xt, const double *xc, double *d,
                                      double *di1) {
    const Resin e = drucker_prager(stress, *xt, *xc);
    *di1 = e.di1;
    *d = e.d;
}

[[gnu::flatten]] void GPRaghava(const double *stress, const double *xt, const double *xc, double *d) {
    *d = raghava(stress, *xt, *xc);
}

[[gnu::flatten]] void GPBauwens(const double *stress, const double *xt, const double *xc, double *d) {
    *d = drucker_prager(stress, *xt, *xc).d;
}

[[gnu::flatten]] void GPHa(const double *stress, const double *xt, const double *xc, const double *np, double *d,
                           double *di1, double *dmises, double *i1cr, double *misescr, double *life) {
    const Ha h = ha(stress, *xt, *xc, *np);
    *misescr = h.misescr;
    *i1cr = h.i1cr;
    *dmises = h.dmises;
    *di1 = h.di1;
    *d = h.d;
    if (*d >= 1.0 && life != nullptr) *life = 1.0;
}

void FBLaRC05_is(double *r, const double *s11, const double *s22, const double *s33, const double *s12,
                 const double *s13, const double *s23, const double *xt11, const double *xc11, const double *xt22,
                 const double *x23, const double *x12, const double *g12, const double *a0, const double *sainc,
                 const int32_t *gsflag, const int32_t *fcl, const double *x_is) {
    constexpr const char *routine = "FBLaRC05_is";
    const Stress s{*s11, *s22, *s33, *s12, *s13, *s23};
    if (!finite(s)) {
        *r = non_finite(routine);
        return;
    }
    if (fcl != nullptr && *fcl != 0) kestro::record_error(-3, "Unknown flag in FBLaRC05_is");
    *r = larc05_fibre(s, *xt11, *xc11, *xt22, *x23, *x12, *g12, angle_or_default(a0),
                      search_of(sainc, gsflag, routine), {x_is});
}

void MCrckLaRC05(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                 const double *s23, const double *xt22, const double *xc22, const double *x12, const double *a0,
                 double *outtheta, const double *sainc, const int32_t *gsflag) {
    constexpr const char *routine = "MCrckLaRC05";
    const Transverse s{*s22, *s33, *s12, *s13, *s23};
    plane_face(r, outtheta, s, routine, [&] {
        return larc05_matrix(s, *xt22, *xc22, *x12, angle_or_default(a0), search_of(sainc, gsflag, routine));
    });
}

void MCrckPuck(double *r, const double *s22, const double *s33, const double *s12, const double *s13, const double *s23,
               const double *xt22, const double *xc22, const double *x12, double *outtheta, const double *gp,
               const double *sainc, const int32_t *gsflag, const int32_t *tcflag) {
    constexpr const char *routine = "MCrckPuck";
    const Transverse s{*s22, *s33, *s12, *s13, *s23};
    plane_face(r, outtheta, s, routine, [&] {
        if (tcflag != nullptr && *tcflag != 0) kestro::record_error(-3, "Unknown flag in MCrckPuck");
        return puck(s, *xt22, *xc22, *x12, gp != nullptr ? gp : kPuckInclinations, search_of(sainc, gsflag, routine));
    });
}

void MCrckCamanho(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, const double *x23,
                  double *outtheta, const double *a0, const double *sainc, const int32_t *gsflag) {
    constexpr const char *routine = "MCrckCamanho";
    const Transverse s{*s22, *s33, *s12, *s13, *s23};
    plane_face(r, outtheta, s, routine, [&] {
        return camanho(s, *xt22, *xc22, *x12, *x23, angle_or_default(a0), search_of(sainc, gsflag, routine));
    });
}

void MCrckWiegand(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, double *outtheta,
                  const double *a0, const double *sainc, const int32_t *gsflag) {
    constexpr const char *routine = "MCrckWiegand";
    const Transverse s{*s22, *s33, *s12, *s13, *s23};
    plane_face(r, outtheta, s, routine, [&] {
        return wiegand(s, *xt22, *xc22, *x12, angle_or_default(a0), search_of(sainc, gsflag, routine));
    });
}

}  // extern "C"
