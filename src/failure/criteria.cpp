// Failure criteria of plies and resins.  The fracture-plane criteria search
// the plane angle that maximises their exposure with the reverse-communication
// maximum search of module math, its state on the stack.
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

// The transverse stresses a fracture plane sees.
struct Transverse {
    double s22, s33, s12, s13, s23;
};

// Tractions on the plane at theta from the 1-2 plane, normal (0, sin, cos).
struct Traction {
    double sn, tt, tl;
};

Traction traction(const Transverse &s, double theta) {
    const double sn = std::sin(theta), cs = std::cos(theta);
    return {s.s22 * sn * sn + s.s33 * cs * cs + 2.0 * s.s23 * sn * cs,
            (s.s22 - s.s33) * sn * cs + s.s23 * (cs * cs - sn * sn), s.s12 * sn + s.s13 * cs};
}

// The angle step (radians) and mode of a plane search.
struct Search {
    double step;
    bool golden;
};

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

double pure_compression_angle(const double *a0) {
    const double a = a0 != nullptr ? *a0 : 53.0;
    return a > 0.0 && a < 90.0 ? a : 53.0;
}

Search search_settings(const double *sainc, const int32_t *gsflag) {
    const double step = sainc != nullptr && *sainc > 0.0 && std::isfinite(*sainc) ? *sainc : 5.0;
    return {step * kDegree, gsflag != nullptr && *gsflag == 1};
}

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

// The exposure r and angle of a fracture-plane criterion at its worst plane.
template <class Exposure>
void fracture_plane(double *r, double *outtheta, const Transverse &s, const Search &search, Exposure &&exposure) {
    const Extremum worst = maximise_with(search, [&](double theta) { return exposure(traction(s, theta)); });
    *r = worst.y;
    if (outtheta != nullptr && *outtheta < 0.0 && worst.y >= 1.0) *outtheta = worst.x * kToDegrees;
}

}  // namespace

}  // namespace kestro::failure

using namespace kestro::failure;

extern "C" {

void GPMaxNominal(double *rgp, const double *s11, const double *xt11, const double *xc11) {
    *rgp = std::abs(*s11 / (*s11 > 0.0 ? *xt11 : *xc11));
}

void GPQuadNominal(double *r, const double *s11, const double *s12, const double *s13, const double *xt11,
                   const double *x12, const double *x13) {
    *r = std::sqrt(square(*s11 / *xt11) + square(*s12 / *x12) + square(*s13 / *x13));
}

void GPDruckerPrager(const double *stress, const double *xt, const double *xc, double *d, double *di1) {
    const int32_t six = 6;
    const double i1 = stress[0] + stress[1] + stress[2], mises = GetMisesStress(stress, &six);
    const double scale = 2.0 * *xc * *xt;
    *di1 = (*xc - *xt) * i1 / scale;
    *d = *di1 + (*xc + *xt) * mises / scale;
}

void GPRaghava(const double *stress, const double *xt, const double *xc, double *d) {
    const int32_t six = 6;
    const double i1 = stress[0] + stress[1] + stress[2], mises = GetMisesStress(stress, &six);
    const double k = *xc - *xt;
    *d = (k * i1 + std::sqrt(k * k * i1 * i1 + 4.0 * *xc * *xt * mises * mises)) / (2.0 * *xc * *xt);
}

void GPBauwens(const double *stress, const double *xt, const double *xc, double *d) {
    double di1 = 0.0;
    GPDruckerPrager(stress, xt, xc, d, &di1);
}

void GPHa(const double *stress, const double *xt, const double *xc, const double *np, double *d, double *di1,
          double *dmises, double *i1cr, double *misescr, double *life) {
    const int32_t six = 6;
    const double i1 = stress[0] + stress[1] + stress[2], mises = GetMisesStress(stress, &six);
    const double kappa = *xc / *xt, kn = std::pow(kappa, *np);
    *misescr = std::pow((kn + kappa) / (kappa + 1.0), 1.0 / *np) * *xt;
    *i1cr = (kn + kappa) / (kn - 1.0) * *xt;
    *dmises = std::pow(mises / *misescr, *np);
    *di1 = i1 / *i1cr;
    *d = std::min(*dmises + *di1, 1.0);
    if (*d >= 1.0 && life != nullptr) *life = 1.0;
}

void FBLaRC05_is(double *r, const double *s11, const double *s22, const double *s33, const double *s12,
                 const double *s13, const double *s23, const double *xt11, const double *xc11, const double *xt22,
                 const double *x23, const double *x12, const double *g12, const double *a0, const double *sainc,
                 const int32_t *gsflag, const int32_t *fcl, const double *x_is) {
    if (fcl != nullptr && *fcl != 0) kestro::record_error(-3, "Unknown flag in FBLaRC05_is");
    if (*s11 >= 0.0) {
        *r = *s11 / *xt11;
        return;
    }
    const double yc = x_is[4], sl = *x12, st = *x23, yt = *xt22, xc = *xc11, g = *g12;
    const LaRC05 p = larc05_parameters(yc, sl, pure_compression_angle(a0));
    const double q = sl / xc + p.eta_l, radicand = 1.0 - 4.0 * q * sl / xc;
    if (radicand < 0.0) {
        kestro::record_error(-2, "Warning: No kink angle in FBLaRC05_is");
        *r = 0.0;
        return;
    }
    const double phi_c = std::atan((1.0 - std::sqrt(radicand)) / (2.0 * q));
    const double sig11 = *s11, sig22 = *s22, sig33 = *s33, tau12 = *s12, tau13 = *s13, tau23 = *s23;
    const Extremum worst = maximise_with(search_settings(sainc, gsflag), [&](double psi) {
        const double c = std::cos(psi), s = std::sin(psi);
        // The kink plane psi about axis 1.
        const double s2 = sig22 * c * c + sig33 * s * s + 2.0 * tau23 * s * c;
        const double t12 = tau12 * c + tau13 * s;
        const double t23 = (sig33 - sig22) * s * c + tau23 * (c * c - s * s);
        const double t31 = tau13 * c - tau12 * s;
        // The misaligned frame: initial misalignment and linear shear.
        const double phi = (t12 >= 0.0 ? 1.0 : -1.0) * (std::abs(t12) + (g - xc) * phi_c) / (g + sig11 - s2);
        const double cp = std::cos(phi), sp = std::sin(phi);
        const double s2m = sig11 * sp * sp + s2 * cp * cp - 2.0 * t12 * sp * cp;
        const double t12m = -sig11 * sp * cp + s2 * sp * cp + t12 * (cp * cp - sp * sp);
        const double t23m = t23 * cp - t31 * sp;
        return std::sqrt(larc05_index(s2m, t23m, t12m, st, sl, yt, p));
    });
    *r = worst.y;
}

void MCrckLaRC05(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                 const double *s23, const double *xt22, const double *xc22, const double *x12, const double *a0,
                 double *outtheta, const double *sainc, const int32_t *gsflag) {
    const LaRC05 p = larc05_parameters(*xc22, *x12, pure_compression_angle(a0));
    const double sl = *x12, yt = *xt22;
    fracture_plane(r, outtheta, {*s22, *s33, *s12, *s13, *s23}, search_settings(sainc, gsflag),
                   [&](const Traction &t) { return std::sqrt(larc05_index(t.sn, t.tt, t.tl, p.st, sl, yt, p)); });
}

void MCrckPuck(double *r, const double *s22, const double *s33, const double *s12, const double *s13, const double *s23,
               const double *xt22, const double *xc22, const double *x12, double *outtheta, const double *gp,
               const double *sainc, const int32_t *gsflag, const int32_t *tcflag) {
    if (tcflag != nullptr && *tcflag != 0) kestro::record_error(-3, "Unknown flag in MCrckPuck");
    static constexpr double defaults[4] = {0.3, 0.2, 0.15, 0.15};
    const double *inclinations = gp != nullptr ? gp : defaults;
    const double yt = *xt22, sl = *x12, yc = *xc22;
    fracture_plane(r, outtheta, {*s22, *s33, *s12, *s13, *s23}, search_settings(sainc, gsflag),
                   [&](const Traction &t) { return puck_exposure(t.sn, t.tt, t.tl, yt, sl, yc, inclinations); });
}

void MCrckCamanho(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, const double *x23,
                  double *outtheta, const double *a0, const double *sainc, const int32_t *gsflag) {
    const LaRC05 p = larc05_parameters(*xc22, *x12, pure_compression_angle(a0));
    const double st = *x23, sl = *x12, yt = *xt22;
    const double kappa = (st * st - yt * yt) / (st * yt), lambda = 2.0 * p.eta_l * st / sl - kappa;
    fracture_plane(r, outtheta, {*s22, *s33, *s12, *s13, *s23}, search_settings(sainc, gsflag), [&](const Traction &t) {
        if (t.sn < 0.0) return std::sqrt(square(t.tt / (st - p.eta_t * t.sn)) + square(t.tl / (sl - p.eta_l * t.sn)));
        const double n = t.sn / st, l = t.tl / sl;
        const double fi = n * n + square(t.tt / st) + l * l + lambda * n * l * l + kappa * n;
        return std::sqrt(std::max(fi, 0.0));
    });
}

void MCrckWiegand(double *r, const double *s22, const double *s33, const double *s12, const double *s13,
                  const double *s23, const double *xt22, const double *xc22, const double *x12, double *outtheta,
                  const double *a0, const double *sainc, const int32_t *gsflag) {
    const double c = std::cos(pure_compression_angle(a0) * kDegree);
    const double p_perp = 1.0 / (2.0 * c * c) - 1.0;
    const double gp[4] = {0.3, 0.2, p_perp, p_perp};
    const double yt = *xt22, sl = *x12, yc = *xc22;
    fracture_plane(r, outtheta, {*s22, *s33, *s12, *s13, *s23}, search_settings(sainc, gsflag),
                   [&](const Traction &t) { return puck_exposure(t.sn, t.tt, t.tl, yt, sl, yc, gp); });
}

}  // extern "C"
