// The curing resin at one integration point (module toplevel): the heat of
// the cure reaction (hetval_prony), thermal and chemical expansion
// (uexpan_prony) and transversely isotropic Prony viscoelasticity whose
// relaxation follows the glass transition of the cure (umat_prony, and
// usermat_prony through the ANSYS adapter).  The three share the point's
// state variables; each reads the point's column of the cure table
// cuprops(:, :, layer, section) within its extents.  No allocation.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/utility.hpp"
#include "decl/iohandling.hpp"
#include "decl/toplevel.hpp"
#include "decl/wrapper.hpp"
#include "math/small.hpp"
#include "mechanics/cure.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;

// The shared state variables, as 0-based offsets of their 1-based numbers.
enum State : std::size_t {
    kDegree = 0,           // 1: degree of cure
    kRate = 1,             // 2: cure rate of the increment
    kGlassTransition = 2,  // 3: Tg in K
    kReachable = 3,        // 4: reachable degree of cure, a running maximum
    kChemical = 6,         // 7, 8: chemical-strain increments 11 and 22
    kInternal = 8,         // 9: the first internal stress of the Prony terms
    kInternalEnd = 500,    // the internal stresses end at 500
    kTangent = 500,        // 501, 502: ddsdde(1, 1) and (2, 2)
    kThermalSum = 502,     // 503 to 505: accumulated thermal strains
    kChemicalSum = 505,    // 506 to 508: accumulated chemical strains
    kLogShift = 508,       // 509, 510: log10 of the shift factors a1 and a2
    kStates = 510,
};

// The columns of the cure table.
enum Column : int {
    kGelPoint = 1,
    kHeat = 2,
    kExpansion = 3,   // rows 1 to 3 glassy, 4 to 6 rubbery
    kShrinkage = 4,   // the same rows
    kReachLaw = 5,    // a, b
    kTransition = 6,  // Tg0, Tginf in deg C, lambda
    kKinetics = 7,
    kShiftSets = 8,
};

constexpr double kZeroCelsius = 273.15;
constexpr double kRelaxedFrom = 573.15;  // K: at and above, fully relaxed
constexpr double kGlassyBelow = 273.15;  // K: below, no relaxation

// The point's column cuprops(:, :, layer, section); rows past it read 0.
struct CureTable {
    const double *a;
    int64_t rows;

    double operator()(int64_t row, int column) const { return row <= rows ? a[(column - 1) * rows + row - 1] : 0.0; }
    const double *column(int c) const { return a + (c - 1) * rows; }
    int32_t count() const { return static_cast<int32_t>(std::min<int64_t>(rows, kAbsentInt)); }
};

// The cure table of the point named `name` (ids "_l@<layer>@" and
// "_s@<section id>@", below 1 as 1; the section id's position in secidlist,
// 1 when not found or when secidlist does not hold nsec ids).  Without one,
// records `outside`.
std::optional<CureTable> cure_table(std::string_view name, std::string_view outside) {
    using materialdata::cuprops;
    using sectiondata::nsec;
    using sectiondata::secidlist;
    const int32_t length = static_cast<int32_t>(std::min<std::size_t>(name.size(), kAbsentInt));
    const int32_t layer = std::max(1, iohandling::getxidfromstring(name.data(), &length, "l", nullptr, name.size(), 1));
    const int32_t id = std::max(1, iohandling::getxidfromstring(name.data(), &length, "s", nullptr, name.size(), 1));
    int32_t section = 1;
    if (secidlist.exists() && secidlist.size() >= nsec)
        section = std::max(1, iFindLocation(&id, secidlist.ptr(), &nsec, nullptr));
    if (!cuprops.exists() || cuprops.extent_of(2) < kShiftSets || layer > cuprops.extent_of(3) ||
        section > cuprops.extent_of(4)) {
        record_error(-2, outside);
        return std::nullopt;
    }
    return CureTable{&cuprops(1, 1, layer, section), cuprops.extent_of(1)};
}

// The glass-transition temperature (K) at the degree of cure.
double glass_transition(const CureTable &t, double degree) {
    const double tg0 = t(1, kTransition), tginf = t(2, kTransition), lambda = t(3, kTransition);
    return (tginf - tg0) * lambda * degree / (1.0 - (1.0 - lambda) * degree) + tg0 + kZeroCelsius;
}

// The cure step of both hooks at temperature T: statev(1:4) advanced; the
// rate of the increment.
double cure_step(const CureTable &t, double temperature, double dtime, double *statev, std::string_view too_few) {
    const double reach = 1.0 / (1.0 + std::exp(t(2, kReachLaw) - t(1, kReachLaw) * (temperature - kZeroCelsius)));
    const double degmax = std::max(statev[kReachable], reach);
    double degree = statev[kDegree], rate = 0.0;
    if (degree < degmax) {
        const cure::Kinetics law = cure::kinetics(t.column(kKinetics), t.count(), temperature, too_few);
        const cure::Step s = cure::step(law, degree, dtime, degmax);
        degree = s.degree;
        rate = s.rate;
        statev[kDegree] = degree;
    }
    statev[kRate] = rate;
    statev[kReachable] = degmax;
    statev[kGlassTransition] = glass_transition(t, degree);
    return rate;
}

// ---- The Prony material.

// The series of the transversely isotropic stiffness, in the order of the
// term counts, moduli and pairs in the properties.
enum Series : int { k11, k12, k22, k23, k44, kSeries };
using Moduli = std::array<double, kSeries>;

// A family of internal stresses: one per term of its series, relaxing
// towards factor C(series) p_k e(strain) at the shift of its set, entering
// stress component `stress`.
struct Family {
    Series series;
    double factor;
    int strain, shift, stress;
};
constexpr std::array<Family, 13> kFamilies{{
    {k11, 1.0, 0, 0, 0},   // c11state
    {k12, 1.0, 1, 1, 0},   // c12state
    {k12, 1.0, 2, 1, 0},   // c21state
    {k12, 1.0, 0, 0, 1},   // c13state
    {k22, 1.0, 1, 1, 1},   // c22state
    {k23, 1.0, 2, 1, 1},   // c23state
    {k12, 1.0, 0, 0, 2},   // c31state
    {k23, 1.0, 1, 1, 2},   // c32state
    {k22, 1.0, 2, 1, 2},   // c33state
    {k44, 1.0, 3, 1, 3},   // c44state
    {k44, 1.0, 4, 1, 4},   // c55state
    {k22, 0.5, 5, 1, 5},   // c661state
    {k23, -0.5, 5, 1, 5},  // c662state
}};

// The properties: term counts, instantaneous moduli and the (p_k, tau_k)
// pairs of each series.
struct Prony {
    std::array<int64_t, kSeries> terms;
    Moduli moduli;
    std::array<const double *, kSeries> pairs;
    int64_t internal;  // internal stresses of all families
};

// The properties read, or nothing when props does not hold its series or
// the internal stresses reach past statev(500).  A count is truncated,
// below 0 (or NaN) as 0.
std::optional<Prony> prony_of(std::span<const double> props) {
    constexpr std::size_t kLeading = 2 * kSeries;
    if (props.size() < kLeading) return std::nullopt;
    Prony p;
    p.internal = 0;
    int64_t pairs = 0;
    for (int s = 0; s < kSeries; ++s) {
        const double n = props[static_cast<std::size_t>(s)];
        p.terms[s] = n >= 1.0 ? static_cast<int64_t>(std::min(n, 1e9)) : 0;
        p.moduli[s] = props[static_cast<std::size_t>(kSeries + s)];
        p.pairs[s] = props.data() + kLeading + 2 * pairs;
        pairs += p.terms[s];
    }
    for (const Family &f : kFamilies) p.internal += p.terms[f.series];
    if (static_cast<int64_t>(props.size()) < static_cast<int64_t>(kLeading) + 2 * pairs ||
        p.internal > static_cast<int64_t>(kInternalEnd - kInternal))
        return std::nullopt;
    return p;
}

// ddsdde = the stiffness of the moduli (column-major 6 x 6, Nye order).
void place(const Moduli &c, math::small::Ref<6> d) {
    d.zero();
    d(0, 0) = c[k11];
    d(0, 1) = d(1, 0) = d(0, 2) = d(2, 0) = c[k12];
    d(1, 1) = d(2, 2) = c[k22];
    d(1, 2) = d(2, 1) = c[k23];
    d(3, 3) = d(4, 4) = c[k44];
    d(5, 5) = 0.5 * (c[k22] - c[k23]);
}

// The stiffness of the moduli times the strain e.
std::array<double, 6> times(const Moduli &c, const double *e) {
    return {c[k11] * e[0] + c[k12] * e[1] + c[k12] * e[2],
            c[k12] * e[0] + c[k22] * e[1] + c[k23] * e[2],
            c[k12] * e[0] + c[k23] * e[1] + c[k22] * e[2],
            c[k44] * e[3],
            c[k44] * e[4],
            0.5 * (c[k22] - c[k23]) * e[5]};
}

// A shift set (A, B, Q, dT) of the cure table.
struct ShiftSet {
    double a, b, q, dt;
};

// The shift sets of column 8: its values before the first absent one,
// missing values 0; the second set only when all eight are given.
std::array<ShiftSet, 2> shift_sets(const CureTable &t) {
    double v[8] = {};
    const double *column = t.column(kShiftSets);
    int64_t given = 0;
    while (given < 8 && given < t.rows && column[given] != kAbsentReal) {
        v[given] = column[given];
        ++given;
    }
    const ShiftSet first{v[0], v[1], v[2], v[3]};
    return {first, given == 8 ? ShiftSet{v[4], v[5], v[6], v[7]} : first};
}

// log10 of the shift factor of a set at T for the glass transition tg.
double log_shift(const ShiftSet &s, double temperature, double tg) {
    // -A x / (x + B), 0 where x + B is 0.
    const auto term = [&s](double x) { return x + s.b == 0.0 ? 0.0 : -s.a * x / (x + s.b); };
    const double tj = tg + s.dt;
    if (temperature > tj) return term(temperature - tg);
    return (1.0 / temperature - 1.0 / tj) * s.q + term(tj - tg);
}

void prony(const solver::UmatPoint &point) {
    const std::optional<Prony> read = prony_of(point.properties());
    if (point.ntens() != 6 || point.nstatv() < static_cast<int32_t>(kStates) || !read) {
        record_error(-2, "Unsupported dimension in umat_prony");
        return;
    }
    const Prony &p = *read;
    const std::optional<CureTable> table =
        cure_table(point.material(), "Warning: Layer or section outside the cure table in umat_prony");
    double *statev = point.args.statev;
    double *stress = point.args.stress;
    const double *dstran = point.args.dstran;
    double strain[6];
    for (int i = 0; i < 6; ++i) strain[i] = point.args.stran[i] + dstran[i];
    const double temperature = *point.args.temp, dt = *point.args.dtime;
    const auto terms = [&p](Series s) { return static_cast<std::size_t>(p.terms[s]); };

    Moduli tangent = p.moduli;
    std::array<double, 6> increment{};
    if (temperature >= kRelaxedFrom) {
        // Fully relaxed: the internal stresses at equilibrium.
        std::size_t h = kInternal;
        for (const Family &f : kFamilies) {
            const double modulus = f.factor * p.moduli[f.series];
            for (std::size_t k = 0; k < terms(f.series); ++k, ++h)
                statev[h] = p.pairs[f.series][2 * k] * modulus * strain[f.strain];
        }
        for (int s = 0; s < kSeries; ++s) {
            double sum = 0.0;
            for (std::size_t k = 0; k < terms(Series(s)); ++k) sum += p.pairs[s][2 * k];
            tangent[s] = p.moduli[s] * (1.0 - sum);
        }
        increment = times(tangent, dstran);
    } else if (temperature < kGlassyBelow) {
        increment = times(tangent, dstran);  // glassy: instantaneous, nothing relaxes
    } else {
        double logs[2] = {0.0, 0.0};
        if (table) {
            const std::array<ShiftSet, 2> sets = shift_sets(*table);
            const double tg = statev[kGlassTransition];
            logs[0] = log_shift(sets[0], temperature, tg);
            logs[1] = log_shift(sets[1], temperature, tg);
        }
        statev[kLogShift] = logs[0];
        statev[kLogShift + 1] = logs[1];
        const double shift[2] = {std::pow(10.0, logs[0]), std::pow(10.0, logs[1])};
        increment = times(p.moduli, dstran);
        std::size_t h = kInternal;
        for (const Family &f : kFamilies) {
            const double modulus = f.factor * p.moduli[f.series], e = strain[f.strain], a = shift[f.shift];
            const double *pairs = p.pairs[f.series];
            double change = 0.0;
            for (std::size_t k = 0; k < terms(f.series); ++k, ++h) {
                const double before = statev[h];
                statev[h] = ply::relaxation(before, pairs[2 * k + 1], a, dt, modulus, pairs[2 * k], e);
                change += statev[h] - before;
            }
            increment[static_cast<std::size_t>(f.stress)] -= change;
        }
        // The tangent: each modulus less its terms' relaxation over the step,
        // a2 for C22 and a1 for the others.
        for (int s = 0; s < kSeries; ++s) {
            const double a = s == k22 ? shift[1] : shift[0], c = p.moduli[s];
            for (std::size_t k = 0; k < terms(Series(s)); ++k)
                tangent[s] -= p.pairs[s][2 * k] * c * dt / (p.pairs[s][2 * k + 1] * a + dt);
        }
    }
    for (std::size_t i = 0; i < 6; ++i) stress[i] += increment[i];
    place(tangent, point.args.ddsdde);
    statev[kTangent] = tangent[k11];
    statev[kTangent + 1] = tangent[k22];
}

}  // namespace

void kestro::toplevel::hetval_prony(KESTRO_HETVAL_PARAMETERS, KESTRO_HETVAL_LENGTHS) noexcept {
    const std::optional<CureTable> table =
        cure_table({cmname, cmname_len}, "Warning: Layer or section outside the cure table in hetval_prony");
    if (!table) {
        flux[0] = 0.0;
        return;
    }
    const double rate = cure_step(*table, temp[0], *dtime, statev, "Warning: Too few properties in hetval_prony");
    flux[0] = (*table)(1, kHeat) * rate;
}

void kestro::toplevel::uexpan_prony(KESTRO_UEXPAN_PARAMETERS, KESTRO_UEXPAN_LENGTHS) noexcept {
    if (*nstatv < static_cast<int32_t>(kStates)) {
        record_error(-2, "Unsupported dimension in uexpan_prony");
        return;
    }
    std::fill_n(expan, 6, 0.0);
    std::fill_n(dexpandt, 6, 0.0);
    const std::optional<CureTable> table =
        cure_table({cmname, cmname_len}, "Warning: Layer or section outside the cure table in uexpan_prony");
    if (!table) return;
    if (time[1] == 0.0) std::fill_n(statev, 3, 0.0);
    const double rate =
        cure_step(*table, temp[0] + temp[1], *dtime, statev, "Warning: Too few properties in uexpan_prony");
    // Glassy below Tg; above it nothing before gelation, then rubbery.
    const bool glassy = temp[0] < statev[kGlassTransition];
    const bool expands = glassy || !(statev[kDegree] < (*table)(1, kGelPoint));
    const int64_t first = glassy ? 1 : 4;
    for (int i = 0; i < 3; ++i) {
        const double cte = expands ? (*table)(first + i, kExpansion) : 0.0;
        const double beta = expands ? (*table)(first + i, kShrinkage) : 0.0;
        const double chemical = beta * rate * *dtime, thermal = cte * temp[1];
        expan[i] = thermal + chemical;
        if (i < 2) statev[kChemical + static_cast<std::size_t>(i)] = chemical;
        statev[kThermalSum + static_cast<std::size_t>(i)] += thermal;
        statev[kChemicalSum + static_cast<std::size_t>(i)] += chemical;
    }
}

void kestro::toplevel::umat_prony(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    prony(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void kestro::toplevel::usermat_prony(KESTRO_USERMAT_PARAMETERS) noexcept {
    wrapper::abq_umat_to_ansys_usermat(&toplevel::umat_prony, KESTRO_USERMAT_ARGUMENTS);
}
