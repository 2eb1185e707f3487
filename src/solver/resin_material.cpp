// The resin material point (module toplevel): umat_resin in the UMAT
// convention and usermat_resin through the UMAT-to-USERMAT adapter.  One
// integration point per call, on 6-component Nye working copies and a local
// 22-entry state on the stack: the constants of one of eight resin models,
// degradation before and after failure, the resin criterion named in the
// material name, the strain energy and, in fatigue steps, the load cycles,
// their S-N life and the cycle jumps.  Nothing is allocated; only the
// warning, the plasticity law and the element trace write.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/degradation.hpp"
#include "decl/elasticity.hpp"
#include "decl/fatigue.hpp"
#include "decl/lamina.hpp"
#include "decl/toplevel.hpp"
#include "decl/wrapper.hpp"
#include "failure/criteria.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/resin.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::toplevel {

namespace {

constexpr int32_t kTwo = 2, kThree = 3, kSix = 6, kEight = 8, kTwelve = 12;
constexpr kestro_logical1 kEngineering = 0;  // the laws take engineering shears
constexpr double kTangentStep = 1e-6;
constexpr double kNoTolerance[2] = {1.0, 1.0};  // ttol of the sudden degradation

// The state variables (0-based positions in STATEV).
enum State : int {
    kCycle = 0,             // cycle number n of CycleCount
    kDi1 = 1,               // first-invariant part of the exposure
    kExposure = 2,          // criterion exposure d
    kDegraded1 = 3,         // first two degraded constants
    kDegraded2 = 4,         //
    kLife = 5,              // fatigue life fraction
    kDmises = 6,            // Mises part of the exposure
    kCycleMax = 7,          // largest eq_stress / xt in the cycle
    kJump = 8,              // cycle jump njimp
    kEnergy = 9,            // strain-energy density
    kRemaining = 11,        // cycles left, (1 - life) nf
    kCyclesToFailure = 12,  // nf of the last cycle; the plastic strain model 4 reads
    kStrength = 15,         // xt
    kFactor = 16,           // degradation factor
    kFailure = 17,          // failure indicator
    kCycleMin = 18,         // smallest eq_stress / xt in the cycle
    kLoadCycle = 19,        // completed load cycles + 1
    kJumps = 20,            // cycle jumps applied
    kEqStress = 21,         // equivalent fatigue stress
    kStates = 22
};

// Fixed-size fills and copies, unrolled: as loops the compiler makes them
// string operations whose start-up costs more than the work.
template <int N>
void fill(double *a, double value) {
#pragma GCC unroll 64
    for (int k = 0; k < N; ++k) a[k] = value;
}
template <int N>
void copy(const double *from, double *to) {
#pragma GCC unroll 64
    for (int k = 0; k < N; ++k) to[k] = from[k];
}

void start_values(double *s) {
    fill<kStates>(s, 0.0);
    s[kCycle] = s[kLoadCycle] = 1.0;
    s[kCycleMax] = -kLargestReal;
    s[kCycleMin] = kLargestReal;
}

// The criterion named from character 10 of the material name.
enum class Criterion { none, ha_strain, ha, raghava, bauwens, drucker_prager };

// Whether `key` stands at (0-based) `at` of the name, letter case ignored.
bool key_at(std::string_view name, std::size_t at, std::string_view key) {
    if (name.size() < at + key.size()) return false;
    for (std::size_t k = 0; k < key.size(); ++k)
        if ((name[at + k] >= 'a' && name[at + k] <= 'z' ? name[at + k] - 'a' + 'A' : name[at + k]) != key[k])
            return false;
    return true;
}

Criterion criterion_of(std::string_view name) {
    constexpr std::size_t at = 9;
    if (key_at(name, at, "_GPHASTRAIN")) return Criterion::ha_strain;
    if (key_at(name, at, "_GPHA")) return Criterion::ha;
    if (key_at(name, at, "_GPRA")) return Criterion::raghava;
    if (key_at(name, at, "_GPBA")) return Criterion::bauwens;
    if (key_at(name, at, "_GPDP")) return Criterion::drucker_prager;
    return Criterion::none;
}

// x rounded half away from zero into I, clamped to its range (NaN gives 0).
template <class I>
I rounded(double x) {
    constexpr double lo = static_cast<double>(std::numeric_limits<I>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<I>::max());
    if (std::isnan(x)) return 0;
    if (x <= lo) return std::numeric_limits<I>::min();
    if (x >= hi) return std::numeric_limits<I>::max();
    return static_cast<I>(std::llround(x));
}

// Entry k (1-based) of a shared vector, 0 where it does not hold one.
double entry_or_zero(const Allocatable<double, 1> &a, int64_t k) {
    return a.exists() && a.extent_of(1) >= k ? a(k) : 0.0;
}

// The step's column of cycleprops, when the table holds the step and rows
// 1 to 10.
struct CycleColumn {
    bool present = false;
    double row[11];  // 1-based, set when present
};

CycleColumn cycle_column(int32_t step) {
    const auto &c = shokriehdata::cycleprops;
    CycleColumn column;
    if (!c.exists() || c.extent_of(1) < 10 || step < 1 || step > c.extent_of(2)) return column;
    column.present = true;
    for (int64_t r = 1; r <= 10; ++r) column.row[r] = c(r, step);
    return column;
}

// The element trace on standard output.
struct Trace {
    bool on;

    template <class... V>
    void line(const V &...values) const {
        if (on) units::write_record(units::standard_output, format::list_record({format::Value(values)...}));
    }
    void values(std::string_view label, std::span<const double> v) const {
        if (!on) return;
        std::vector<format::Value> record{label};
        for (const double x : v) record.emplace_back(x);
        units::write_record(units::standard_output, format::list_record(record));
    }
};

// The constants of the property blocks.
struct Constants {
    double e = 0, nu = 0, num = 0, gamma = 0, degr = 0, xt = 0, xc = 0, np = 0, a_woehler = 0, exp_woehler = 0;
};

// The working data of one call.
struct Point {
    Point(const solver::UmatPoint &p, int32_t id)
        : model(id), noel(*p.args.noel), temp(*p.args.temp), dtime(*p.args.dtime),
          trace{*p.args.noel == debugdata::edebug} {
        for (double *v : {stress, stran, dstran, strain}) fill<6>(v, 0.0);
        fill<36>(ddsdde, 0.0);
        for (double *v : {pe, degpe}) fill<12>(v, 0.0);
        for (double *v : {ps, degps}) fill<9>(v, 0.0);
    }

    int32_t model, noel;
    double temp, dtime;
    Trace trace;
    double stress[6], stran[6], dstran[6], strain[6], ddsdde[36];
    double old_stress[6];
    double s[kStates];
    Constants c;
    double pe[12], ps[9], degpe[12], degps[9], de[6], df[9];
    double d = 0, life = 0;
    int32_t nprops() const { return model == 7 ? 12 : 8; }
};

// The caller's stress, strains and tangent of N components into the
// working copies, and the stress and tangent back.
template <int N>
void take(Point &w, const solver::UmatPoint &p) {
    copy<N>(p.args.stress, w.stress);
    copy<N>(p.args.stran, w.stran);
    copy<N>(p.args.dstran, w.dstran);
#pragma GCC unroll 6
    for (int j = 0; j < N; ++j) copy<N>(p.args.ddsdde + j * N, w.ddsdde + j * 6);
}
template <int N>
void give(const Point &w, const solver::UmatPoint &p) {
    copy<N>(w.stress, p.args.stress);
#pragma GCC unroll 6
    for (int j = 0; j < N; ++j) copy<N>(w.ddsdde + j * 6, p.args.ddsdde + j * N);
}

// peprops (and for model 7 psprops) of the model, with the degradation
// factor preset where the model keeps one.
void properties(Point &w, const solver::UmatPoint &p) {
    Constants &c = w.c;
    double *s = w.s;
    const double preset = entry_or_zero(materialdata::regularization, 1);
    if (w.model == 0 || w.model == 4) {
        // et, ec, g, nut, nuc, a0, a1, alpha; the mean-stress exponent num stays 0.
        double *pe = w.pe, eqplastic = w.model == 4 ? s[kCyclesToFailure] : 0.0;
        GetResinPlasticProperties(p.args.props, p.args.nprops, p.args.temp, &eqplastic, &pe[0], &pe[1], &pe[2],
                                  &pe[3], &pe[4], &pe[5], &pe[6], &pe[7], &c.degr, &c.xt, &c.xc, &c.np,
                                  &c.a_woehler, &c.exp_woehler);
        if (w.model == 0) {
            double eqstrain = 0.0, e = 0.0;
            EquivalentStrain(w.strain, &eqstrain, &kThree, &kSix);
            GetModulusFromTable(&eqstrain, &e, &w.temp);
            const double nu = eqstrain >= 0.0 ? pe[3] : pe[4];
            fill<8>(pe, 0.0);
            pe[0] = e;
            pe[2] = nu;
        }
        return;
    }
    GetResinProperties(p.args.props, p.args.nprops, p.args.temp, &c.e, &c.nu, &c.num, &c.gamma, &c.degr, &c.xt,
                       &c.xc, &c.np, &c.a_woehler, &c.exp_woehler, p.args.noel);
    if (w.model != 7) {
        const double values[8] = {c.e, c.gamma, c.nu, c.num, w.model == 5 ? 1.0 : double(w.model), 0, 0, 0};
        copy<8>(values, w.pe);
        if (w.model != 5 && s[kFailure] == 0.0) s[kFactor] = preset;
        return;
    }
    // E1, E2, E3, G12, G13, G23, nu12, nu13, nu23, nu21, nu31, nu32.
    double *e = w.pe, *g = w.pe + 3, *nu = w.pe + 6;
    GetResinOrthotropicProperties(p.args.props, p.args.nprops, p.args.temp, p.args.dtime, w.stran, w.strain, &e[0],
                                  &e[1], &e[2], &nu[0], &nu[1], &nu[2], &nu[3], &nu[4], &nu[5], &g[0], &g[1], &g[2],
                                  &c.xt, &c.xc, &c.np, &c.a_woehler, &c.exp_woehler, &c.degr, p.args.noel,
                                  &s[kFailure]);
    w.ps[0] = c.xt;
    w.ps[1] = c.xc;
    if (s[kFailure] != 0.0) return;
    if (preset != 0.0) {
        s[kFactor] = preset;
        return;
    }
    // The orthotropic stiffness relative to the isotropic one of E and nu.
    const double shear = c.e / (2.0 * (1.0 + c.nu));
    const double r = std::min({e[0] / c.e, e[1] / c.e, e[2] / c.e, g[0] / shear, g[1] / shear, g[2] / shear});
    const double iso = 1.0 - 3.0 * c.nu * c.nu - 2.0 * c.nu * c.nu * c.nu;
    const double ortho = 1.0 - nu[0] * nu[3] - nu[2] * nu[5] - nu[4] * nu[1] - 2.0 * nu[3] * nu[5] * nu[1];
    s[kFactor] = r * iso / ortho;
}

// Whether the isotropic constants of models 0 to 5 make a positive-definite
// stiffness: E and nu as peprops holds them (model 4 its tension values).
bool admissible(const Point &w) {
    if (w.model > 5) return true;
    return ply::positive_definite(w.pe[0], w.model == 4 ? w.pe[3] : w.pe[2]);
}

// The factor of models 0 to 6 after failure: 1, or degr once max(d, life)
// reaches 1.
double switched(double d, double life) { return std::min(std::floor(std::max(d, life)), 1.0); }

// Models 0 to 6: the first two constants by IsotropicDegradation.
void isotropic_degradation(Point &w) {
    copy<8>(w.pe, w.degpe);
    IsotropicDegradation(w.pe, &w.d, &w.life, &w.c.degr, w.degpe);
}

// Model 7 after failure: the sudden viscous degradation of the isotropic
// constants by nm, the Poisson ratios kept.
void viscous_degradation(Point &w, const double *nm, double eta) {
    const double g = w.c.e / (2.0 * (1.0 + w.c.nu)), n = w.c.nu;
    const double iso[12] = {w.c.e, w.c.e, w.c.e, g, g, g, n, n, n, n, n, n};
    SuddenDegradation_viscouse(w.degpe, w.degps, iso, w.ps, w.de, w.df, &w.s[kFailure], &w.s[kFailure], kNoTolerance,
                               &w.c.degr, nm, &w.s[kFactor], &eta, &w.dtime);
    fill<6>(w.degpe + 6, n);
}

// The stress of the model with the degraded constants (model 4 with
// `plastic`, the undegraded ones before failure) and, where the law gives
// one, its tangent.
void stress_update(Point &w, const double *plastic) {
    switch (w.model) {
        case 4: {
            double eqplastic = 0.0;
            elasticity::getstressfromplastitcity(w.stress, &eqplastic, w.ddsdde, w.stran, w.dstran, plastic, &kSix,
                                                 &kThree, &kEight, &w.temp);
            return;
        }
        case 5:
            resin::cubic_law(resin::isotropic(w.degpe[0], w.degpe[2]), w.strain, 6, w.stress, w.ddsdde);
            return;
        case 6: {
            const double props[2] = {w.temp, 1.0 - (1.0 - w.c.degr) * switched(w.d, w.life)};
            GetStressFromCubicElasticity(w.stress, w.strain, props, &kSix, &kThree, &kTwo, w.ddsdde, &w.noel);
            return;
        }
        case 7: {
            const double *e = w.degpe, *g = w.degpe + 3, *nu = w.degpe + 6;
            const ply::Constants constants{e[0], e[1], e[2], nu[0], nu[1], nu[2], g[0], g[1], g[2]};
            ply::orthotropic_stiffness(w.ddsdde, constants);
            if (w.trace.on) lamina::print_matrix(w.ddsdde, 6);
            for (int i = 0; i < 6; ++i) {
                double sum = 0.0;
                for (int j = 0; j < 6; ++j) sum += w.ddsdde[j * 6 + i] * w.strain[j];
                w.stress[i] = sum;
            }
            return;
        }
        default:  // 0 to 3
            resin::cubic_law(resin::isotropic(w.degpe[0], w.degpe[2]), w.strain, 6, w.stress, nullptr);
    }
}

// The criterion's exposure into d and STATEV 2, 3, 7 (and 18 for Ha).
void evaluate(Point &w, Criterion criterion) {
    double *s = w.s;
    double di1 = 0.0, dmises = 0.0;
    switch (criterion) {
        case Criterion::none:  // d keeps its value
            break;
        case Criterion::ha_strain: {
            double tensor[6];
            for (int i = 0; i < 6; ++i) tensor[i] = i < 3 ? w.strain[i] : 0.5 * w.strain[i];
            const failure::Ha h = failure::ha(tensor, w.c.xt, w.c.xc, w.c.np);
            w.d = h.d, di1 = h.di1, dmises = h.dmises;
            if (h.d >= 1.0) w.life = 1.0;
            s[kFailure] = w.life;
            break;
        }
        case Criterion::ha: {
            const failure::Ha h = failure::ha(w.stress, w.c.xt, w.c.xc, w.c.np);
            w.d = h.d, di1 = h.di1, dmises = h.dmises;
            if (h.d >= 1.0) s[kFailure] = 1.0;
            break;
        }
        case Criterion::raghava:
            w.d = failure::raghava(w.stress, w.c.xt, w.c.xc);
            break;
        case Criterion::bauwens:
            w.d = failure::drucker_prager(w.stress, w.c.xt, w.c.xc).d;
            break;
        case Criterion::drucker_prager: {
            const failure::Resin r = failure::drucker_prager(w.stress, w.c.xt, w.c.xc);
            w.d = r.d, di1 = r.di1;
            break;
        }
    }
    s[kDmises] = dmises;
    s[kExposure] = w.d;
    s[kDi1] = di1;
}

// Load cycles, their life and the cycle jumps of a fatigue step.
void fatigue(Point &w, const solver::UmatPoint &p, const CycleColumn &column, double n, double njimp) {
    double *s = w.s;
    const double *row = column.row;
    const double period = row[4], time_calc = row[5], maxcycle = row[10];
    double njimp_min = row[7], njimp_max = row[8], njimp_zul = row[9];
    if (!(period > 0.0)) {
        record_error(-2, "Unsupported cycle period in umat_resin.");
        return;
    }
    const int32_t jumpalgo = rounded<int32_t>(row[3]), nmaxcycles = rounded<int32_t>(row[6]);
    const int32_t ncycles = rounded<int32_t>(time_calc / period), step = p.step(), stepflag = row[2] == 1.0;
    const double time = p.step_time(), ratio = time / period;
    const bool running = p.total_time() != 0.0;
    const auto count_cycles = [&] {
        CycleCount(&njimp, &n, &maxcycle, &time, &time_calc, &period, &njimp_min, &njimp_max, &njimp_zul, &ncycles,
                   &nmaxcycles, &step, &jobdata::nsteps, &jumpalgo, &stepflag);
    };
    w.trace.line("fatigue starts", "ratio", ratio);

    const int64_t period_ms = rounded<int64_t>(1000.0 * period);
    const bool on_period = period_ms != 0 && rounded<int64_t>(1000.0 * time) % period_ms == 0;
    if ((on_period || s[kLoadCycle] <= ratio) && running) {
        s[kLoadCycle] += 1.0;
        double nf = 0.0;
        GetFatigueLife(&s[kCycleMin], &s[kCycleMax], &w.c.a_woehler, &w.c.exp_woehler, &w.c.num, &njimp, &nf,
                       &w.life, &w.noel);
        s[kCyclesToFailure] = nf;
        if (w.model != 7) {
            isotropic_degradation(w);
        } else if (w.life == 1.0) {
            const double nm[6] = {w.life, 1.0, 1.0, 1.0, 1.0, 1.0};
            viscous_degradation(w, nm, entry_or_zero(materialdata::regularization, 2));
        }
        s[kLife] = w.life;
        if (w.life == 1.0) {
            s[kFailure] = 1.0;
            s[kRemaining] = kLargestReal;
        } else {
            s[kRemaining] = (1.0 - w.life) * nf;
        }
        if (jumpalgo < 4) {
            count_cycles();
            s[kCycle] = n;
            s[kJump] = njimp;
        }
        s[kCycleMax] = -kLargestReal;
        s[kCycleMin] = kLargestReal;
        w.trace.line("Cycle completed", "life", w.life, "nf", nf);
    }
    const double cycle = s[kLoadCycle];
    if (cycle - 1.0 + 1e-15 <= ratio && ratio <= cycle + 1e-15 && cycle != s[kJumps] && running) {
        s[kJumps] += 1.0;
        if (jumpalgo == 4) {
            njimp_zul = shokriehdata::dnf;
            count_cycles();
            if (time > period) {
                s[kJump] = njimp;
                s[kCycle] = n;
            }
            w.trace.line("get global cycle jump", "njimp", njimp, "n", n);
        }
    }
}

// Bad input: the error recorded, stress and state as they came, a zero tangent.
void refuse(const solver::UmatPoint &p, std::string_view message) {
    record_error(-2, message);
    lamina::zero_square(p.args.ddsdde, p.ntens());
}

void trace_inputs(const Point &w, const solver::UmatPoint &p, bool isfatigue) {
    const Trace &t = w.trace;
    if (!t.on) return;
    double green[9];
    GetGreenStrain(green, p.args.dfgrd1);
    t.line("NOEL", *p.args.noel, "NPT", *p.args.npt, "KINC", *p.args.kinc, "JSTEP", p.step());
    t.values("STRAN", w.stran);
    t.values("DSTRAN", w.dstran);
    t.values("TIME", {p.args.time, 2});
    t.line("DTIME", w.dtime, "TEMP", w.temp);
    t.values("Green strain", green);
    t.line("ModelID", w.model);
    t.line("Regularization", entry_or_zero(materialdata::regularization, 1),
            entry_or_zero(materialdata::regularization, 2));
    t.line("isFatigue", static_cast<int32_t>(isfatigue));
}

void trace_state(const Trace &t, const double *s) {
    if (!t.on) return;
    t.line("cycle n", s[kCycle], "di1", s[kDi1], "d", s[kExposure], "life", s[kLife]);
    t.line("dmises", s[kDmises], "cycle max", s[kCycleMax], "cycle min", s[kCycleMin], "njimp", s[kJump]);
    t.line("energy", s[kEnergy], "remaining", s[kRemaining], "nf", s[kCyclesToFailure], "xt", s[kStrength]);
    t.line("degradation", s[kFactor], "failure", s[kFailure], "load cycle", s[kLoadCycle], "jumps", s[kJumps]);
    t.line("eq_stress", s[kEqStress]);
}

void resin_point(const solver::UmatPoint &p) {
    const int32_t ntens = p.ntens(), nstatv = p.nstatv(), kinc = *p.args.kinc;
    // The material's name as the solver declares it (80 characters at most, however long the
    // caller's), without its padding.
    std::string_view name = p.material().substr(0, solver::kNameLength);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    if (nstatv < kStates && kinc < 2)
        units::write_record(units::standard_output,
                            format::list_record({"WARNING: Too less nstatev allocated for material ", name}));
    if (ntens != 4 && ntens != 6) return refuse(p, "Unsupported dimension in umat_resin.");
    const int32_t model = materialdata::modelid;
    if (model < 0 || model > 7) return refuse(p, "Unsupported resin model in umat_resin.");
    if (p.nprops() < (model == 0 || model == 4 ? 15 : 11))
        return refuse(p, "Unsupported number of properties in umat_resin.");
    // The calibration tables of the tabulated models.
    using materialdata::alpha1props, materialdata::alpha2props, materialdata::alpha3props;
    if (model == 0 && !resin::calibrated(materialdata::secantprops))
        return refuse(p, "Missing calibration table secantprops in umat_resin.");
    if (model == 6 && !(resin::calibrated(alpha1props) && resin::calibrated(alpha2props) &&
                        resin::calibrated(alpha3props)))
        return refuse(p, "Missing calibration tables alpha1props to alpha3props in umat_resin.");

    Point w(p, model);
    if (ntens == 6)
        take<6>(w, p);
    else
        take<4>(w, p);
    for (int i = 0; i < 6; ++i) w.strain[i] = w.stran[i] + w.dstran[i];

    const CycleColumn column = cycle_column(p.step());
    const bool fatigue_step = column.present && column.row[2] == 1.0;
    const bool isfatigue = fatigue_step || key_at(name, 28, "_FATIGUE");
    trace_inputs(w, p, isfatigue);

    // The state: the caller's entries, those past nstatv at their start values.
    double *const statev = p.args.statev;
    const std::size_t kept = std::min<std::size_t>(p.state().size(), kStates);
    if (nstatv >= 1 && kinc < 2 && statev[nstatv - 1] == kLargestReal) statev[nstatv - 1] = 0.0;
    double *s = w.s;
    start_values(s);
    const auto zero = [](double x) { return x == 0.0; };
    const bool fresh = nstatv <= 0 || (kinc < 2 && std::all_of(statev, statev + nstatv, zero));
    if (!fresh && kept == kStates)
        copy<kStates>(statev, s);
    else if (!fresh)
        std::copy_n(statev, kept, s);
    // The cycle number and jump CycleCount continues from.
    double cycle = 1.0, jump = 1.0;
    if (isfatigue && !fresh) {
        cycle = s[kCycle];
        jump = cycle == 1.0 ? 1.0 : s[kJump];
    }
    w.d = s[kExposure];
    w.life = s[kLife];

    properties(w, p);
    if (!admissible(w)) solver::invalid_elastic_constants("umat_resin");
    s[kStrength] = w.c.xt;
    copy<6>(w.stress, w.old_stress);
    w.trace.values("Properties", {w.pe, static_cast<std::size_t>(w.nprops())});
    w.trace.line("OLD DEGR", s[kFactor]);

    // Degradation before the stress update, and the update.
    if (model != 7) {
        isotropic_degradation(w);
    } else {
        const double nm[6] = {w.life, w.life, w.life, w.life, w.life, w.life};
        SuddenDegradation(w.degpe, w.degps, w.pe, w.ps, w.de, w.df, &s[kFailure], &s[kFailure], kNoTolerance,
                          &s[kFactor], nm);
    }
    stress_update(w, w.pe);

    const Criterion criterion = criterion_of(name);
    evaluate(w, criterion);
    w.trace.line("d = ", w.d);
    w.trace.line("failure indicator = ", s[kFailure]);

    if (s[kFailure] >= 1.0) {
        if (model != 7) {
            isotropic_degradation(w);
        } else {
            const double nm[6] = {w.life, w.life, w.life, w.life, w.life, w.life};
            viscous_degradation(w, nm, entry_or_zero(materialdata::regularization, 2));
        }
        stress_update(w, w.degpe);
        w.trace.line("NEW DEGR", s[kFactor]);
    }

    double eq = 0.0;
    GetEquivalentFatigueStress(w.stress, &w.c.xt, &w.c.xc, &w.c.np, &eq);
    s[kEqStress] = eq;
    const double q = eq / w.c.xt;
    s[kCycleMax] = std::max(s[kCycleMax], q);
    s[kCycleMin] = std::min(s[kCycleMin], q);
    w.trace.line("Equivalent Stress", eq);

    // The tangent: numerical for the isotropic models and a failed orthotropic one.
    const kestro_stress_law law = model <= 3 ? GetStressFromIsotropicViscoElasticity
                                  : model == 7 && w.d >= 1.0 ? GetStressFromOrthotropicElasticity
                                                             : nullptr;
    if (law != nullptr) {
        const int32_t *count = model == 7 ? &kTwelve : &kEight;
        elasticity::getnumericaltangent(w.ddsdde, law, w.degpe, w.stress, w.old_stress, w.strain, &kSix, &kThree,
                                        count, &kEngineering, nullptr, &kTangentStep, nullptr);
        w.trace.values("Numerische Tangente", w.ddsdde);
    }
    w.trace.values("DDSDDE", w.ddsdde);

    // The strain energy: the work of the increment by the trapezoidal rule over
    // the stress on entry and the new one (engineering shears).
    double energy = 0.0;
    for (int i = 0; i < 6; ++i) energy += 0.5 * (w.old_stress[i] + w.stress[i]) * w.dstran[i];
    s[kEnergy] += energy;

    if (isfatigue && column.present) fatigue(w, p, column, cycle, jump);

    s[kDegraded1] = w.degpe[0];
    s[kDegraded2] = w.degpe[1];
    trace_state(w.trace, s);
    if (kept == kStates)
        copy<kStates>(s, statev);
    else
        std::copy_n(s, kept, statev);
    if (ntens == 6)
        give<6>(w, p);
    else
        give<4>(w, p);
}

}  // namespace

void umat_resin(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    resin_point(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void usermat_resin(KESTRO_USERMAT_PARAMETERS) noexcept {
    wrapper::abq_umat_to_ansys_usermat(umat_resin, KESTRO_USERMAT_ARGUMENTS);
}

}  // namespace kestro::toplevel
