// Failure criteria of plies and resins.  The fracture-plane criteria search
// the plane angle that maximises their exposure with the reverse-communication
// maximum search of module math, its state on the stack.
#include "failure/criteria.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

#include "core/errorhandling.hpp"
#include "decl/failure.hpp"
#include "decl/math.hpp"
#include "mechanics/ply.hpp"

namespace kestro::failure {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;
constexpr double kToDegrees = 57.29577951308232;

double square(double x) { return x * x; }

// Tractions on the plane at theta from the 1-2 plane, normal (0, sin, cos).
struct Traction {
    double sn, tt, tl;
};

Traction traction(const Transverse &s, double theta) {
    const double sn = std::sin(theta), cs = std::cos(theta);
    return {s.s22 * sn * sn + s.s33 * cs * cs + 2.0 * s.s23 * sn * cs,
            (s.s22 - s.s33) * sn * cs + s.s23 * (cs * cs - sn * sn), s.s12 * sn + s.s13 * cs};
}

struct Extremum {
    double x, y;
};

// The largest f over [0, pi]: the reverse-communication search of module
// math driven to its end, its state on the stack.
template <class F>
Extremum maximise_with(const Search &search, F &&f) {
    constexpr int32_t kPoints = 100;
    double x[kPoints], y[kPoints], xmove[4], ymove[4] = {0.0, 0.0, 0.0, 0.0}, lplimits[2];
    int32_t increment = 0, proc = 0, xdir = 0;
    kestro_logical1 golden = 0, update = 0, finish = 0;
    const double low = 0.0, up = kPi;
    const int32_t flag = search.golden ? 1 : 0, points = kPoints;
    IniGoldenSearch(x, y, xmove, lplimits, &increment, &proc, &golden, &finish, &low, &up, &search.step, &flag,
                    &points);
    double xi = 0.0, yi = 0.0;
    while (finish == 0) {
        GSSAFE(&xi, &yi, &search.step, x, y, xmove, ymove, lplimits, &xdir, &increment, &proc, &golden, &update,
               &finish, &up, &points);
        if (update != 0) yi = f(xi);
    }
    return {xi, yi};
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

double larc05_index(double sn, double tt, double tl, double st, double sl, double yt, const LaRC05 &p) {
    return square(tt / (st - p.eta_t * sn)) + square(tl / (sl - p.eta_l * sn)) + square(std::max(sn, 0.0) / yt);
}

double puck_exposure(double sn, double tt, double tl, double yt, double sl, double yc, const double *gp) {
    const bool tension = sn >= 0.0;
    const double p_par = tension ? gp[0] : gp[1], p_perp = tension ? gp[2] : gp[3];
    const double ra = yc / (2.0 * (1.0 + gp[3]));  // R_perp-perp^A
    const double t2 = tt * tt + tl * tl;
    const double cos2 = t2 > 0.0 ? tt * tt / t2 : 1.0, sin2 = t2 > 0.0 ? tl * tl / t2 : 0.0;
    const double ratio = p_perp / ra * cos2 + p_par / sl * sin2;  // p_perp-psi / R_perp-psi^A
    if (tension) return std::sqrt(square((1.0 / yt - ratio) * sn) + square(tt / ra) + square(tl / sl)) + ratio * sn;
    return std::sqrt(square(tt / ra) + square(tl / sl) + square(ratio * sn)) + ratio * sn;
}

// The exposure and angle of a fracture-plane criterion at its worst plane.
template <class F>
Exposure fracture_plane(const Transverse &s, const Search &search, F &&exposure) {
    const Extremum worst = maximise_with(search, [&](double theta) { return exposure(traction(s, theta)); });
    return {worst.y, worst.x * kToDegrees};
}

}  // namespace

Search search(double step_degrees, bool golden) {
    const double step = step_degrees > 0.0 && std::isfinite(step_degrees) ? step_degrees : 5.0;
    return {step * kDegree, golden};
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
    if (s.s11 >= 0.0) return s.s11 / xt11;
    const double yc = x_is[ply::Xc22], sl = x12, st = x23, yt = xt22, xc = xc11, g = g12;
    const LaRC05 p = larc05_parameters(yc, sl, compression_angle(a0));
    const double q = sl / xc + p.eta_l, radicand = 1.0 - 4.0 * q * sl / xc;
    if (radicand < 0.0) {
        record_error(-2, "Warning: No kink angle in FBLaRC05_is");
        return 0.0;
    }
    const double phi_c = std::atan((1.0 - std::sqrt(radicand)) / (2.0 * q));
    const double sig11 = s.s11, sig22 = s.s22, sig33 = s.s33, tau12 = s.s12, tau13 = s.s13, tau23 = s.s23;
    return maximise_with(search, [&](double psi) {
               const double c = std::cos(psi), sn = std::sin(psi);
               // The kink plane psi about axis 1.
               const double s2 = sig22 * c * c + sig33 * sn * sn + 2.0 * tau23 * sn * c;
               const double t12 = tau12 * c + tau13 * sn;
               const double t23 = (sig33 - sig22) * sn * c + tau23 * (c * c - sn * sn);
               const double t31 = tau13 * c - tau12 * sn;
               // The misaligned frame: initial misalignment and linear shear.
               const double phi = (t12 >= 0.0 ? 1.0 : -1.0) * (std::abs(t12) + (g - xc) * phi_c) / (g + sig11 - s2);
               const double cp = std::cos(phi), sp = std::sin(phi);
               const double s2m = sig11 * sp * sp + s2 * cp * cp - 2.0 * t12 * sp * cp;
               const double t12m = -sig11 * sp * cp + s2 * sp * cp + t12 * (cp * cp - sp * sp);
               const double t23m = t23 * cp - t31 * sp;
               return std::sqrt(larc05_index(s2m, t23m, t12m, st, sl, yt, p));
           }).y;
}

Exposure larc05_matrix(const Transverse &s, double xt22, double xc22, double x12, double a0, const Search &search) {
    const LaRC05 p = larc05_parameters(xc22, x12, compression_angle(a0));
    const double sl = x12, yt = xt22;
    return fracture_plane(
        s, search, [&](const Traction &t) { return std::sqrt(larc05_index(t.sn, t.tt, t.tl, p.st, sl, yt, p)); });
}

Exposure puck(const Transverse &s, double xt22, double xc22, double x12, const double *gp, const Search &search) {
    return fracture_plane(s, search,
                          [&](const Traction &t) { return puck_exposure(t.sn, t.tt, t.tl, xt22, x12, xc22, gp); });
}

Exposure camanho(const Transverse &s, double xt22, double xc22, double x12, double x23, double a0,
                 const Search &search) {
    const LaRC05 p = larc05_parameters(xc22, x12, compression_angle(a0));
    const double st = x23, sl = x12, yt = xt22;
    const double kappa = (st * st - yt * yt) / (st * yt), lambda = 2.0 * p.eta_l * st / sl - kappa;
    return fracture_plane(s, search, [&](const Traction &t) {
        if (t.sn < 0.0) return std::sqrt(square(t.tt / (st - p.eta_t * t.sn)) + square(t.tl / (sl - p.eta_l * t.sn)));
        const double n = t.sn / st, l = t.tl / sl;
        const double fi = n * n + square(t.tt / st) + l * l + lambda * n * l * l + kappa * n;
        return std::sqrt(std::max(fi, 0.0));
    });
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
Search search_of(const double *sainc, const int32_t *gsflag) {
    return search(sainc != nullptr ? *sainc : 0.0, gsflag != nullptr && *gsflag == 1);
}

// A fracture-plane exposure to the C face: an outtheta below 0 receives the
// angle when the exposure reaches 1.
void put(double *r, double *outtheta, const Exposure &e) {
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
    if (fcl != nullptr && *fcl != 0) kestro::record_error(-3, "Unknown flag in FBLaRC05_is");
    *r = larc05_fibre({*s11, *s22, *s33, *s12, *s13, *s23}, *xt11, *xc11, *xt22, *x23, *x12, *g12,
                      angle_or_default(a0), search_of(sainc, gsflag), {x_is});
}

void MCrckLaRC05(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                 const double *s23, const double *xt22, const double *xc22, const double *x12, const double *a0,
                 double *outtheta, const double *sainc, const int32_t *gsflag) {
    put(r, outtheta,
        larc05_matrix({*s22, *s33, *s12, *s13, *s23}, *xt22, *xc22, *x12, angle_or_default(a0),
                      search_of(sainc, gsflag)));
}

void MCrckPuck(double *r, const double *s22, const double *s33, const double *s12, const double *s13, const double *s23,
               const double *xt22, const double *xc22, const double *x12, double *outtheta, const double *gp,
               const double *sainc, const int32_t *gsflag, const int32_t *tcflag) {
    if (tcflag != nullptr && *tcflag != 0) kestro::record_error(-3, "Unknown flag in MCrckPuck");
    put(r, outtheta,
        puck({*s22, *s33, *s12, *s13, *s23}, *xt22, *xc22, *x12, gp != nullptr ? gp : kPuckInclinations,
             search_of(sainc, gsflag)));
}

void MCrckCamanho(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, const double *x23,
                  double *outtheta, const double *a0, const double *sainc, const int32_t *gsflag) {
    put(r, outtheta,
        camanho({*s22, *s33, *s12, *s13, *s23}, *xt22, *xc22, *x12, *x23, angle_or_default(a0),
                search_of(sainc, gsflag)));
}

void MCrckWiegand(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, double *outtheta,
                  const double *a0, const double *sainc, const int32_t *gsflag) {
    put(r, outtheta,
        wiegand({*s22, *s33, *s12, *s13, *s23}, *xt22, *xc22, *x12, angle_or_default(a0), search_of(sainc, gsflag)));
}

}  // extern "C"
