// The failure criteria of every ply point.  The five fracture-plane searches,
// through their C faces as a solver calls them, each beside a plain peer of
// the same formula in this binary: a scan whose sines and cosines are stepped
// by the rotation recurrence, and for the refined search that scan followed
// by a textbook golden section (to 1e-7 rad) around its best point.  Modes:
// the 5-degree scan, and the 4-degree scan refined (gsflag 1).  Each face
// benchmark also reports its accuracy over 32 seeded random states: the
// largest and mean relative shortfall from a plain 0.001-degree scan
// (negative where the search lies above that scan).  Beside them the resin
// criterion of Ha and a driver over its criterion.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "decl/failure.hpp"

namespace {

constexpr double kPi = std::numbers::pi, kDegree = kPi / 180.0;

// Strengths of the benchmark ply (a0 53 degrees throughout).
constexpr double kYt = 50.0, kYc = 200.0, kS12 = 80.0, kX23 = 75.0, kA0 = 53.0;
// Fibre kinking: Xt11, Xc11, ST, SL, G12.
constexpr double kXt11 = 1500.0, kXc11 = 1200.0, kSt = 70.0, kSl = 70.0, kG12 = 4600.0;
const std::array<double, 9> kInSitu{kXt11, kYt, 60.0, kXc11, kYc, 250.0, kS12, 90.0, kX23};

// A stress in Nye order.
using Stress = std::array<double, 6>;

// The timed state, and the states of the accuracy figures.
const Stress kMatrixState{0.0, -120.0, 10.0, 30.0, 5.0, 12.0}, kFibreState{-900.0, -20.0, 5.0, 25.0, 4.0, 3.0};

std::vector<Stress> random_states(bool fibre) {
    std::mt19937_64 generator(fibre ? 2 : 1);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Stress> states(32);
    for (Stress &s : states) {
        const Stress scale{1200.0, 200.0, 100.0, 80.0, 80.0, 80.0};
        for (int i = 0; i < 6; ++i) s[i] = scale[i] * unit(generator);
        s[0] = -std::abs(s[0]);
    }
    return states;
}

double square(double x) { return x * x; }

// ---- The plain peers: each formula at one plane given by (sin, cos).

struct LaRC05 {
    double st, eta_t, eta_l;
};

LaRC05 larc05(double yc, double sl) {
    const double a = kA0 * kDegree;
    return {yc * std::cos(a) * (std::sin(a) + std::cos(a) / std::tan(2.0 * a)), -1.0 / std::tan(2.0 * a),
            -sl * std::cos(2.0 * a) / (yc * std::cos(a) * std::cos(a))};
}

struct Tractions {
    double sn, tt, tl;
};

Tractions tractions(const Stress &s, double sn, double cs) {
    return {s[1] * sn * sn + s[2] * cs * cs + 2.0 * s[5] * sn * cs, (s[1] - s[2]) * sn * cs + s[5] * (cs * cs - sn * sn),
            s[3] * sn + s[4] * cs};
}

double larc05_matrix(const Stress &s, double sn, double cs) {
    static const LaRC05 p = larc05(kYc, kS12);
    const Tractions t = tractions(s, sn, cs);
    return std::sqrt(square(t.tt / (p.st - p.eta_t * t.sn)) + square(t.tl / (kS12 - p.eta_l * t.sn)) +
                     square(std::max(t.sn, 0.0) / kYt));
}

double puck_with(const Stress &s, double sn, double cs, const double *gp) {
    const Tractions t = tractions(s, sn, cs);
    const bool tension = t.sn >= 0.0;
    const double ra = kYc / (2.0 * (1.0 + gp[3]));
    const double p_par = tension ? gp[0] : gp[1], p_perp = tension ? gp[2] : gp[3];
    const double t2 = t.tt * t.tt + t.tl * t.tl;
    const double cos2 = t2 > 0.0 ? t.tt * t.tt / t2 : 1.0, sin2 = t2 > 0.0 ? t.tl * t.tl / t2 : 0.0;
    const double ratio = p_perp / ra * cos2 + p_par / kS12 * sin2;
    if (tension)
        return std::sqrt(square((1.0 / kYt - ratio) * t.sn) + square(t.tt / ra) + square(t.tl / kS12)) + ratio * t.sn;
    return std::sqrt(square(t.tt / ra) + square(t.tl / kS12) + square(ratio * t.sn)) + ratio * t.sn;
}

double puck(const Stress &s, double sn, double cs) {
    static const double gp[4] = {0.3, 0.2, 0.15, 0.15};
    return puck_with(s, sn, cs, gp);
}

double wiegand(const Stress &s, double sn, double cs) {
    static const double c = std::cos(kA0 * kDegree), p = 1.0 / (2.0 * c * c) - 1.0;
    static const double gp[4] = {0.3, 0.2, p, p};
    return puck_with(s, sn, cs, gp);
}

double camanho(const Stress &s, double sn, double cs) {
    static const LaRC05 p = larc05(kYc, kS12);
    static const double kappa = (kX23 * kX23 - kYt * kYt) / (kX23 * kYt),
                        lambda = 2.0 * p.eta_l * kX23 / kS12 - kappa;
    const Tractions t = tractions(s, sn, cs);
    if (t.sn < 0.0) return std::sqrt(square(t.tt / (kX23 - p.eta_t * t.sn)) + square(t.tl / (kS12 - p.eta_l * t.sn)));
    const double n = t.sn / kX23, l = t.tl / kS12;
    return std::sqrt(std::max(n * n + square(t.tt / kX23) + l * l + lambda * n * l * l + kappa * n, 0.0));
}

double kinking(const Stress &s, double sn, double c) {
    static const LaRC05 p = larc05(kYc, kSl);
    static const double q = kSl / kXc11 + p.eta_l,
                        phi_c = std::atan((1.0 - std::sqrt(1.0 - 4.0 * q * kSl / kXc11)) / (2.0 * q));
    const double s2 = s[1] * c * c + s[2] * sn * sn + 2.0 * s[5] * sn * c;
    const double t12 = s[3] * c + s[4] * sn, t23 = (s[2] - s[1]) * sn * c + s[5] * (c * c - sn * sn);
    const double t31 = s[4] * c - s[3] * sn;
    const double phi = (t12 >= 0.0 ? 1.0 : -1.0) * (std::abs(t12) + (kG12 - kXc11) * phi_c) / (kG12 + s[0] - s2);
    const double cp = std::cos(phi), sp = std::sin(phi);
    const double s2m = s[0] * sp * sp + s2 * cp * cp - 2.0 * t12 * sp * cp;
    const double t12m = -s[0] * sp * cp + s2 * sp * cp + t12 * (cp * cp - sp * sp);
    const double t23m = t23 * cp - t31 * sp;
    return std::sqrt(square(t23m / (kSt - p.eta_t * s2m)) + square(t12m / (kSl - p.eta_l * s2m)) +
                     square(std::max(s2m, 0.0) / kYt));
}

// The largest value over [0, pi] in steps of h, the sines and cosines stepped
// by the rotation recurrence; the angle of the first largest in `angle`.
template <class F>
double plain_scan(double h, F f, const Stress &s, double &angle) {
    const double ch = std::cos(h), sh = std::sin(h);
    double sn = 0.0, cs = 1.0, best = 0.0;
    angle = 0.0;
    for (int k = 0; k * h <= kPi; ++k) {
        const double y = f(s, sn, cs);
        if (y > best) {
            best = y;
            angle = k * h;
        }
        const double next = sn * ch + cs * sh;
        cs = cs * ch - sn * sh;
        sn = next;
    }
    return best;
}

// The scan, then the golden section within one step of its best angle.
template <class F>
double plain_golden(double h, F f, const Stress &s) {
    double x = 0.0;
    const double best = plain_scan(h, f, s, x);
    const auto at = [&](double u) { return f(s, std::sin(u), std::cos(u)); };
    constexpr double g = 0.6180339887498949;
    double a = x - h, b = x + h, c = b - g * (b - a), d = a + g * (b - a), fc = at(c), fd = at(d);
    while (b - a > 1e-7) {
        if (fc > fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - g * (b - a);
            fc = at(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + g * (b - a);
            fd = at(d);
        }
    }
    return std::max({best, fc, fd});
}

// ---- The C faces.

double larc05_face(const Stress &s, double step, int32_t golden) {
    double r = 0.0, theta = -1.0;
    MCrckLaRC05(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &kYt, &kYc, &kS12, &kA0, &theta, &step, &golden);
    return r;
}

double puck_face(const Stress &s, double step, int32_t golden) {
    double r = 0.0, theta = -1.0;
    MCrckPuck(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &kYt, &kYc, &kS12, &theta, nullptr, &step, &golden, nullptr);
    return r;
}

double camanho_face(const Stress &s, double step, int32_t golden) {
    double r = 0.0, theta = -1.0;
    MCrckCamanho(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &kYt, &kYc, &kS12, &kX23, &theta, &kA0, &step, &golden);
    return r;
}

double wiegand_face(const Stress &s, double step, int32_t golden) {
    double r = 0.0, theta = -1.0;
    MCrckWiegand(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &kYt, &kYc, &kS12, &theta, &kA0, &step, &golden);
    return r;
}

double kinking_face(const Stress &s, double step, int32_t golden) {
    double r = 0.0;
    const int32_t fcl = 0;
    FBLaRC05_is(&r, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &kXt11, &kXc11, &kYt, &kSt, &kSl, &kG12, &kA0, &step,
                &golden, &fcl, kInSitu.data());
    return r;
}

// A criterion: the formula of the peer, the C face, and whether it takes s11.
template <double (*Formula)(const Stress &, double, double), double (*Face)(const Stress &, double, int32_t),
          bool Fibre>
struct Criterion {
    static constexpr bool fibre = Fibre;
    static double formula(const Stress &s, double sn, double cs) { return Formula(s, sn, cs); }
    static double face(const Stress &s, double step, int32_t golden) { return Face(s, step, golden); }
};
using MCrckLaRC05Search = Criterion<larc05_matrix, larc05_face, false>;
using MCrckPuckSearch = Criterion<puck, puck_face, false>;
using MCrckCamanhoSearch = Criterion<camanho, camanho_face, false>;
using MCrckWiegandSearch = Criterion<wiegand, wiegand_face, false>;
using FBLaRC05Search = Criterion<kinking, kinking_face, true>;

// The largest and mean relative shortfall of r(state) from the 0.001-degree scan.
template <class C, class R>
void accuracy(benchmark::State &state, R &&r) {
    double largest = -1.0, sum = 0.0;
    const std::vector<Stress> states = random_states(C::fibre);
    for (const Stress &s : states) {
        double angle = 0.0;
        const double reference = plain_scan(0.001 * kDegree, C::formula, s, angle);
        const double shortfall = (reference - r(s)) / reference;
        largest = std::max(largest, shortfall);
        sum += shortfall;
    }
    state.counters["short_max"] = largest;
    state.counters["short_mean"] = sum / static_cast<double>(states.size());
}

// Time and accuracy of one mode (state.range(0): 0 the 5-degree scan, 1 the
// refined 4-degree scan) of the face, or of its plain peer.
template <class C, bool Plain>
void BM_PlaneSearch(benchmark::State &state) {
    const Stress s = C::fibre ? kFibreState : kMatrixState;
    const bool golden = state.range(0) == 1;
    const double step = golden ? 4.0 : 5.0;
    const int32_t flag = golden ? 1 : 0;
    const auto search = [&](const Stress &x) {
        double angle = 0.0;
        if (!Plain) return C::face(x, step, flag);
        return golden ? plain_golden(step * kDegree, C::formula, x) : plain_scan(step * kDegree, C::formula, x, angle);
    };
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.data());
        double r = search(s);
        benchmark::DoNotOptimize(r);
    }
    accuracy<C>(state, search);
}
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckLaRC05Search, false)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckLaRC05Search, true)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckPuckSearch, false)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckPuckSearch, true)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckCamanhoSearch, false)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckCamanhoSearch, true)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckWiegandSearch, false)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, MCrckWiegandSearch, true)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, FBLaRC05Search, false)->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_PlaneSearch, FBLaRC05Search, true)->Arg(0)->Arg(1);

void BM_GPHa(benchmark::State &state) {
    const std::array<double, 6> stress{40.0, -10.0, 5.0, 8.0, 2.0, 1.0};
    const double xt = 50.0, xc = 100.0, np = 2.0;
    double d, di1, dmises, i1cr, misescr, life = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        GPHa(stress.data(), &xt, &xc, &np, &d, &di1, &dmises, &i1cr, &misescr, &life);
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_GPHa);

// The general driver with its largest-ratio criterion: the driver's own cost.
void BM_GeneralFailure(benchmark::State &state) {
    std::array<double, 20> psprops{1500, 50, 60, 1200, 200, 250, 80, 90, 75, 100};
    const std::array<double, 6> stress{750.0, 25.0, -125.0, 40.0, 45.0, 0.0};
    const std::array<double, 1> angles{0.0};
    const int32_t one = 1, id = 1, extent = 20;
    double f = 0.0, r = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        kestro::failure::generalfailure(&f, &r, stress.data(), psprops.data(), angles.data(), &one, &one, &id, &one,
                                        &one, &extent);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_GeneralFailure);

}  // namespace
