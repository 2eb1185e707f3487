// The explicit ply-damage material in the ply's Cartesian axes
// (vumat_cartesian): nine damage modes (tension and compression along the
// three axes, then the shears 12, 23, 13) whose onset a chosen set of
// criteria decides, each softening along a bilinear law regularised by the
// point's characteristic lengths; the mode damages reach the stiffness
// through the ply's one orthotropic law with retained fractions, with a
// nonlinear shear law, compressive plateaus, residual strains, rate terms,
// shear friction and element deletion as options.  A point's values live on
// the stack: nothing is allocated, and nothing is recorded on a good path.
// Without the model's 39 properties the block gets the elastic increment of
// the ply its properties (or the elastic table) give.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/errorhandling.hpp"
#include "decl/toplevel.hpp"
#include "failure/criteria.hpp"
#include "failure/degradation.hpp"
#include "math/arithmetic.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::solver {

namespace {

using ply::Matrix;

constexpr char kRoutine[] = "vumat_cartesian";

// The modes, in the order of every mode vector.
enum Mode : int {
    fibre_tension,
    fibre_compression,
    transverse_tension,
    transverse_compression,
    thickness_tension,
    thickness_compression,
    shear12,
    shear23,
    shear13,
};
constexpr int kModes = 9, kNormalModes = 6;
// The shears that enter the quadratic sums of each normal mode.
constexpr Mode kPartners[kNormalModes][2] = {{shear12, shear13}, {shear12, shear13}, {shear23, shear12},
                                             {shear23, shear12}, {shear13, shear23}, {shear13, shear23}};
// The square roots of the partners' weights in the sums of criterion sets 1
// and 5 (0, 0.25, 1, 0, 1, 0).
constexpr double kRootWeight[kNormalModes] = {0.0, 0.5, 1.0, 0.0, 1.0, 0.0};
// The column of charlength that regularises each mode.
constexpr int kLengthColumn[kModes] = {0, 0, 1, 1, 2, 2, 1, 2, 1};

// The point's state variables (1-based); vectors of modes or components
// start there.
enum CartesianState : int {
    stiffness_damage = 1,   // w_stat, 9
    mode_damage = 10,       // rs, 9
    element_status = 19,    // 0 deletes the point; multiplies the energy increments
    total_strain = 21,      // 6, cyclic order, tensor shears
    inelastic_strain = 27,  // 6
    friction_side = 33,     // crack side of the shear friction of 12, 23, 13: 0, -1 or 1
    shear_peak = 36,        // largest shear stress of the shear law on 12, 23, 13
    shear_reach = 39,       // strain_maxtau, 6 (the first the plateau's most compressive fibre strain)
    onset_strain = 45,      // 9
    final_strain = 54,      // 9
    onset_stress = 63,      // 9
    exposure = 72,          // 9
    tension_plane = 81,     // fracture-plane angle of transverse tension, degrees
    compression_plane = 82, // and of transverse compression
};
constexpr int32_t kStates = 82, kModelProperties = 39;

// A real switch truncated toward zero (0 where it is no integer of 4 bytes).
int32_t whole(double v) { return v > -2147483649.0 && v < 2147483648.0 ? static_cast<int32_t>(v) : 0; }

// fLimit: x within [low, up], the upper bound winning.
double sign_of(double x) { return x >= 0.0 ? 1.0 : -1.0; }

// The material of the 39 properties (and 40 to 42 where given), read once per block.
struct Cartesian {
    double e11t, e22t, e33, e11c, e22c, nu12, nu13, nu23, g12, g13, g23;
    double factor[3];         // shear-modulus factors of 12, 23, 13
    double strength[kModes];  // X of each mode, positive
    double onset[kModes];     // strainx0, the strengths over their moduli
    double xi[kModes];        // the allowables of the criteria
    double gc[kModes];        // fracture energies
    double wmax[kModes];      // the largest stiffness damages
    double end[3];            // sigc_end, the compressive plateau stresses (negative)
    double in_situ[ply::kStrengths];  // the allowables in the strengths' order, for fibre kinking
    double alpha = 0.0, g_ini = 0.0, rate[3] = {};
    int32_t kind = 0, shear_law = 0, set = 0, visited = 0, post = 0, plateau = 0;
    bool accumulate = false, degrade = false;
    failure::Search search{};
    ply::Constants mean;  // the ply of the packaged start: the mean moduli

    explicit Cartesian(std::span<const double> props);

    // Whether every stiffness the material forms is positive definite: with
    // the tension and the compression moduli along 1 and 2, and their means.
    bool admissible() const {
        const auto with = [this](double e1, double e2) {
            return ply::positive_definite({e1, e2, e33, nu12, nu13, nu23, g12 * factor[0], g13 * factor[2],
                                           g23 * factor[1]});
        };
        return with(e11t, e22t) && with(e11t, e22c) && with(e11c, e22t) && with(e11c, e22c) &&
               ply::positive_definite(mean);
    }
};

// The ply's orthotropic stiffness (Nye order, engineering shears) as the
// material applies it: in the solver's cyclic order to tensor strains, so
// 2 G on the shears.  The law couples the normal components alone.
struct Stiffness {
    Matrix<6> nye;

    // Of the constants p with the retained fractions of the stiffness
    // damages w (cyclic order; none: undamaged).
    explicit Stiffness(const ply::Constants &p, const double *w = nullptr) {
        ply::Retention r;
        if (w != nullptr) r = {1.0 - w[0], 1.0 - w[1], 1.0 - w[2], 1.0 - w[3], 1.0 - w[5], 1.0 - w[4]};
        ply::orthotropic_stiffness(nye, p, r);
    }
    // The diagonal entry of cyclic component i.
    double operator()(int i) const {
        const ply::Nye n = ply::kNyeOfCyclic[i];
        return i < 3 ? nye(n, n) : 2.0 * nye(n, n);
    }
    // y = C x.
    void apply(const double *x, double *y) const {
        for (int i = 0; i < 3; ++i) y[i] = nye(i, 0) * x[0] + nye(i, 1) * x[1] + nye(i, 2) * x[2];
        for (int i = 3; i < 6; ++i) y[i] = (*this)(i) * x[i];
    }
};

Cartesian::Cartesian(std::span<const double> props) {
    const auto p = [&props](int entry) { return props[static_cast<std::size_t>(entry - 1)]; };
    e11t = p(1), e22t = p(2), e33 = p(3), g12 = p(4), g13 = p(5), g23 = p(6);
    nu12 = p(7), nu23 = p(8), nu13 = p(9), e11c = p(19), e22c = p(20);
    const double xc[3] = {std::abs(p(13)), std::abs(p(14)), std::abs(p(15))};
    const double x[kModes] = {p(10), xc[0], p(11), xc[1], p(12), xc[2], p(16), p(18), p(17)};
    const double moduli[kModes] = {e11t, e11c, e22t, e22c, e33, e33, 2.0 * g12, 2.0 * g23, 2.0 * g13};
    kind = whole(p(33));
    for (int m = 0; m < kModes; ++m) {
        strength[m] = x[m];
        onset[m] = x[m] / moduli[m];
        xi[m] = kind == 2 ? x[m] : kind == 1 ? onset[m] : 0.0;
    }
    const double order[ply::kStrengths] = {xi[0], xi[2], xi[4], xi[1], xi[3], xi[5], xi[6], xi[8], xi[7], 0.0};
    std::copy_n(order, ply::kStrengths, in_situ);
    for (int i = 0; i < 3; ++i) end[i] = -0.25 * xc[i];
    alpha = p(21), g_ini = p(22), shear_law = whole(p(23));
    factor[0] = factor[1] = factor[2] = 1.0;
    if (shear_law == 2 || shear_law == 11) {
        factor[0] = g_ini / g12, factor[1] = g_ini / g23, factor[2] = g_ini / g13;
    } else if (shear_law == 1 || shear_law == 6) {
        factor[0] = factor[1] = factor[2] = g_ini / g12;
    }
    for (int m = 0; m < 5; ++m) gc[m] = p(25 + m);
    gc[thickness_compression] = p(29);
    // The shears' fracture energies: properties 40 to 42 where given.
    for (int m = shear12; m < kModes; ++m) gc[m] = props.size() >= 42 ? p(34 + m) : 0.0;
    for (int i = 0; i < 3; ++i) rate[i] = p(30 + i);
    set = whole(p(34)), post = whole(p(35)), plateau = whole(p(36));
    visited = set == 2 ? 9 : set == 3 || set == 4 ? 3 : set == 1 || set == 5 || set == 6 ? 6 : 0;
    accumulate = whole(p(37)) == 1, degrade = whole(p(38)) == 1;
    const double w[kModes] = {0.999, 0.99, 0.9999, plateau == 1 ? 0.99 : 0.9, 0.0, plateau == 1 ? 0.8 : 0.7,
                              0.99,  0.999, 0.99};
    std::copy_n(w, kModes, wmax);
    search = failure::search(4.0, true, kRoutine);
    mean = {0.5 * (e11t + e11c), 0.5 * (e22t + e22c), e33, nu12, nu13, nu23, g12 * factor[0], g13 * factor[2],
            g23 * factor[1]};
}

// One point of a block: its rows of the block's tables.
struct PointOf {
    const VumatBlock &block;
    std::size_t k;
    Table<const double> old;
    Table<double> now;

    PointOf(const VumatBlock &b, std::size_t point)
        : block(b), k(point), old(b.state_old()), now(b.state_new()) {}
    double was(int entry) const { return old(k, static_cast<std::size_t>(entry - 1)); }
    double &state(int entry) const { return now(k, static_cast<std::size_t>(entry - 1)); }
    double increment(int j) const { return block.increment()(k, static_cast<std::size_t>(j)); }
    double length(int column) const {
        const std::size_t at = static_cast<std::size_t>(column) * block.density().size() + k;
        return regularising_length(block.args.charlength[at]);
    }
};

// The energies of a point (both paths): the internal energy by the mean
// stress over the increment, the inelastic energy what the elastic strain
// does not hold; both increments weighted by the element status.
void energies(const PointOf &at, const double *stress, const double *elastic) {
    const VumatBlock &b = at.block;
    const std::size_t k = at.k;
    const double rho = b.density()[k], s19 = at.state(element_status);
    const auto old = b.stress_old();
    double stored = 0.0, work = 0.0;
    for (int i = 0; i < 6; ++i) {
        const double mean = 0.5 * (stress[i] + old(k, static_cast<std::size_t>(i)));
        const double shear = i < 3 ? 1.0 : 2.0;
        stored += (i < 3 ? 0.5 : 1.0) * stress[i] * elastic[i];
        work += shear * mean * at.increment(i);
    }
    const double internal = b.internal_energy_old()[k] + s19 * work / rho;
    b.internal_energy_new()[k] = internal;
    b.inelastic_energy_new()[k] = internal - s19 * (stored / rho);
}

// The packaged start: the elastic stress of the increment alone with the
// mean moduli, the histories cleared.
void start(const Cartesian &m, const PointOf &at) {
    double total[6], stress[6];
    for (int i = 0; i < 6; ++i) total[i] = at.increment(i);
    Stiffness(m.mean).apply(total, stress);
    const auto out = at.block.stress_new();
    for (int i = 0; i < 6; ++i) {
        out(at.k, static_cast<std::size_t>(i)) = stress[i];
        at.state(total_strain + i) = total[i];
        at.state(shear_reach + i) = total[i];
    }
    for (int entry = stiffness_damage; entry < element_status; ++entry) at.state(entry) = 0.0;
    for (int entry = inelastic_strain; entry < shear_reach; ++entry) at.state(entry) = 0.0;
    energies(at, stress, total);
}

// A point's values through one increment, in the order the model takes them.
class Increment {
  public:
    Increment(const Cartesian &material, const PointOf &point) : m(material), at(point) {}

    void run() {
        recall();
        shear_law();
        criterion_inputs();
        for (int n = 0; n < m.visited; ++n) mode(n);
        stiffness_damages();
        if (m.plateau == 1 || m.plateau == 2) plateaus();
        if (m.post == 1) residual_strains();
        double stress[6];
        final_stress(stress);
        if (m.post == 4 && m.shear_law == 2) friction(stress);
        store(stress);
        energies(at, stress, elastic);
    }

  private:
    const Cartesian &m;
    const PointOf &at;
    double total[6], inelastic[6], elastic[6], reach[6];
    double w_stat[kModes], w_deg[6], rs[kModes], fail[kModes], dlim[kModes];
    // With stress input, the undamaged trial stress of the normal axes.
    double axis_stress[3] = {};
    // The criteria's six inputs (the trial stress, or the elastic strain),
    // the mode inputs and the control strains and stresses of the modes.
    double y[6], effort[kModes], strain[kModes], stress_of[kModes];
    ply::Constants constants;
    // The undamaged stiffness with the moduli chosen by the strain's signs,
    // formed where it is asked for.
    std::optional<Stiffness> undamaged;
    const Stiffness &undamaged_stiffness() {
        if (!undamaged) undamaged.emplace(constants);
        return *undamaged;
    }
    double cstiff(int i) { return undamaged_stiffness()(i); }

    bool quadratic_sets() const { return m.set == 1 || m.set == 5; }

    // The axes' stiffness damages, by the sign of the undamaged trial stress
    // with stress input (an axis strained in compression may carry tension
    // through the others' strains), else by the sign of the total strain;
    // where that is 0, by the last stress (a held axis opens under tension).
    // The shears' damages are their own.
    void choose_damages() {
        const auto old = at.block.stress_old();
        for (int i = 0; i < 3; ++i) {
            const double by = m.kind == 2 ? axis_stress[i] : total[i];
            const double last = old(at.k, static_cast<std::size_t>(i));
            const double side = by != 0.0 ? by : total[i] != 0.0 ? total[i] : last;
            w_deg[i] = side > 0.0 ? w_stat[2 * i] : w_stat[2 * i + 1];
        }
        for (int i = 3; i < 6; ++i) w_deg[i] = w_stat[i + 3];
    }

    // The nominal final strain of a mode, at which the bilinear law has
    // dissipated the fracture energy per length: 2 gc / (X L) for a normal
    // mode, gc / (X L) for a shear, whose tensor strain does half the work
    // (tau dgamma = 2 tau deps).
    double strainx1(int n) const {
        const double work = n >= shear12 ? 1.0 : 2.0;
        return std::max(1.1 * m.onset[n], work * m.gc[n] / (m.strength[n] * at.length(kLengthColumn[n])));
    }

    void recall() {
        for (int i = 0; i < 6; ++i) {
            total[i] = at.was(total_strain + i) + at.increment(i);
            inelastic[i] = at.was(inelastic_strain + i);
            reach[i] = at.was(shear_reach + i);
            elastic[i] = total[i] - inelastic[i];
        }
        for (int n = 0; n < kModes; ++n) {
            w_stat[n] = at.was(stiffness_damage + n);
            rs[n] = 0.0;
            fail[n] = at.was(exposure + n);
            dlim[n] = 1.0;
        }
        constants = {total[0] > 0.0 ? m.e11t : m.e11c,
                     total[1] > 0.0 ? m.e22t : m.e22c,
                     m.e33,
                     m.nu12,
                     m.nu13,
                     m.nu23,
                     m.g12 * m.factor[0],
                     m.g13 * m.factor[2],
                     m.g23 * m.factor[1]};
        if (m.kind == 2) {
            // The shear law changes no normal stress: this holds for the increment.
            double undamaged_stress[6];
            undamaged_stiffness().apply(elastic, undamaged_stress);
            std::copy_n(undamaged_stress, 3, axis_stress);
        }
        choose_damages();
    }

    // The nonlinear shear laws on the elastic shear strains.
    void shear_law() {
        const bool exponential = m.shear_law == 1 || m.shear_law == 11;
        if (!exponential && m.shear_law != 2) return;
        for (int i = ply::C12; i <= ply::C13; ++i) {
            const double s = sign_of(elastic[i]), e = total[i], e_in = inelastic[i];
            const double t_max = at.was(shear_peak + i - 3);
            if (exponential) {
                const double g2 = 2.0 * m.g_ini;
                const double x = e - (s * t_max / g2 + e_in - s * reach[i]);
                const double t = g2 * x * std::exp(-2.0 * m.alpha * std::abs(x));
                if (std::abs(t_max) <= std::abs(t)) reach[i] = std::abs(x);
                const double tau = std::min(std::abs(t), std::abs(g2 * elastic[i]));
                at.state(shear_peak + i - 3) = std::max(std::abs(t_max), std::abs(t));
                elastic[i] = s * tau / g2;
            } else {
                if (!(w_stat[i + 3] <= 0.0)) continue;  // the bilinear law holds until the shear damages
                const double c = cstiff(i), f = m.factor[i - 3];
                const double t = (e - (s * t_max / c + e_in - s * t_max * f / c)) * c / f;
                const double tau = std::min(std::abs(t), std::abs(c * elastic[i]));
                at.state(shear_peak + i - 3) = std::max(std::abs(t_max), std::abs(t));
                elastic[i] = s * tau / c;
            }
            inelastic[i] = e - elastic[i];
        }
    }

    // The trial stress of the stored damages, and what the criteria take of
    // it: the control strains and stresses are the elastic strain and the
    // trial stress split by sign along the axes, shears signed (with stress
    // input the normal control strains at least the undamaged stress over
    // the axis's stiffness); the mode inputs are the stresses (kind 2) or
    // the strains with the shears' magnitudes capped at their allowables
    // (kind 1).
    void criterion_inputs() {
        double trial[6];
        Stiffness(constants, w_deg).apply(elastic, trial);
        const auto split = [](const double *v, double *out) {
            for (int i = 0; i < 3; ++i) {
                out[2 * i] = std::max(v[i], 0.0);
                out[2 * i + 1] = std::min(v[i], 0.0);
            }
            for (int i = 3; i < 6; ++i) out[i + 3] = v[i];
        };
        split(elastic, strain);
        split(trial, stress_of);
        for (int i = 0; i < 6; ++i) y[i] = m.kind == 2 ? trial[i] : m.kind == 1 ? elastic[i] : 0.0;
        for (int n = 0; n < kModes; ++n)
            effort[n] = m.kind == 2 ? stress_of[n] : m.kind == 1 ? strain[n] : 0.0;
        if (m.kind == 2) strains_of_undamaged_stress();
        if (m.kind == 1)
            for (int n = shear12; n < kModes; ++n) effort[n] = std::min(std::abs(effort[n]), std::abs(m.xi[n]));
    }

    // With stress input a normal mode's control strain is at least the
    // undamaged trial stress of its axis, split as its input, over the axis's
    // diagonal stiffness: an axis whose stress comes from the others' strains
    // (a held axis, or one strained against its stress by Poisson) has a
    // strain that grows with that stress, before onset and after it.  Under
    // uniaxial stress or strain the quotient is not larger than the strain.
    // The damaged stress would never let the law soften below the strength.
    void strains_of_undamaged_stress() {
        for (int n = 0; n < kNormalModes; ++n) {
            const int i = n / 2;
            const double s = n % 2 == 0 ? std::max(axis_stress[i], 0.0) : std::min(axis_stress[i], 0.0);
            const double quotient = s / cstiff(i);
            if (std::abs(strain[n]) < std::abs(quotient)) strain[n] = quotient;
        }
    }

    double quadratic(int n) const {
        const double w = kRootWeight[n];
        const Mode p = kPartners[n][0], q = kPartners[n][1];
        return failure::quad_nominal(effort[n], w * effort[p], w * effort[q], m.xi[n], m.xi[p], m.xi[q]);
    }

    // LaRC05 fibre failure with the fibre stress s11.
    double fibre(double s11) const {
        return failure::larc05_fibre({s11, y[1], y[2], y[3], y[5], y[4]}, m.xi[0], m.xi[1], m.xi[2], 70.0, 70.0,
                                     m.g12, 53.0, m.search, {m.in_situ});
    }

    // Fibre compression: the nominal exposure, LaRC05's kinking where that reaches 0.5.
    double kinking() const {
        const double r = std::abs(effort[fibre_compression] / m.xi[fibre_compression]);
        return r >= 0.5 ? std::max(r, fibre(effort[fibre_compression])) : r;
    }

    // Matrix cracking of mode n (transverse tension or compression) by the
    // set's criterion; the angle of a failing plane goes to the mode's state.
    double matrix(int n) {
        const failure::Transverse s{m.set == 3 ? y[1] : effort[n], y[2], y[3], y[5], y[4]};
        const double *xi = m.xi;
        const failure::Exposure e =
            m.set == 3   ? failure::larc05_matrix(s, xi[2], xi[3], xi[6], 53.0, m.search)
            : m.set == 4 ? failure::camanho(s, xi[2], xi[3], xi[6], xi[7], 53.0, m.search)
                         : failure::puck(s, xi[2], xi[3], xi[6], failure::kPuckInclinations, m.search);
        if (e.r >= 1.0) at.state(n == transverse_tension ? tension_plane : compression_plane) = e.angle;
        return e.r;
    }

    // The exposure of mode n by the criterion set.
    double evaluate(int n) {
        switch (m.set) {
            case 1:
                return quadratic(n);
            case 2:
                return std::abs(effort[n] / m.xi[n]);
            case 5:
                return n == fibre_compression ? kinking() : quadratic(n);
            default:  // 3, 4 and 6
                if (n == fibre_tension) return fibre(effort[n]);
                if (n == fibre_compression) return kinking();
                // Sets 4 and 6 keep a failed transverse tension; set 6 keeps
                // the through-thickness exposures.
                if (n == transverse_tension && (m.set == 3 || fail[n] < 1.0)) return matrix(n);
                if (n == transverse_compression) return matrix(n);
                return fail[n];
        }
    }

    // The equivalent strain of mode n: its control strain with the partners'
    // in a quadratic sum (weighted in sets 1 and 5), alone in set 2.
    double equivalent_strain(int n) const {
        if (m.set == 2) return std::abs(strain[n]);
        const double w = quadratic_sets() ? kRootWeight[n] : 1.0;
        const Mode p = kPartners[n][0], q = kPartners[n][1];
        return failure::quad_nominal(strain[n], w * strain[p], w * strain[q], 1.0, 1.0, 1.0);
    }

    // The final equivalent strain of mode n at its onset e0: set 2 from the
    // nominal final strain, the others from the mixed-mode energy over the
    // equivalent stress (stored).
    double final_at_onset(int n, double e0) const {
        if (m.set == 2) return std::max(strainx1(n) * m.onset[n] / e0, 1.1 * e0);
        const bool weighted = quadratic_sets();
        const double a = weighted ? kRootWeight[n] * kRootWeight[n] : 1.0;
        const Mode p = kPartners[n][0], q = kPartners[n][1];
        // The partners are shears: their work is tau gamma, twice that of the tensor strain.
        const auto work = [&](int j) {
            const double w = 2.0 * strain[j] * stress_of[j];
            return weighted ? a * std::abs(w) : w;
        };
        const double s = (strain[n] * stress_of[n] + work(p) + work(q)) / e0;
        const auto energy = [&](int j) { return stress_of[j] * stress_of[j] * m.gc[j]; };
        const double g = (energy(n) + a * energy(p) + a * energy(q)) / (s * s);
        at.state(onset_stress + n) = s;
        return std::max(2.0 * g / (std::abs(s) * at.length(kLengthColumn[n])), 1.1 * e0);
    }

    // Mode n: its onset, once its exposure reaches 1, and its softening past it.
    void mode(int n) {
        const double r0 = at.was(mode_damage + n);
        double e0 = 0.0, e1 = 0.0;
        bool softening = false;
        // A shear whose strain input is capped at its allowable has the
        // exposure 1 from then on: it keeps the onset of its first increment there.
        const bool onset_kept = m.kind == 1 && n >= shear12 && at.was(onset_strain + n) > 0.0;
        if (r0 <= 0.0 && !onset_kept && (quadratic_sets() || effort[n] != 0.0)) {
            fail[n] = evaluate(n);
            if (m.set != 2) at.state(exposure + n) = fail[n];
            if (fail[n] >= 1.0) e0 = equivalent_strain(n) / std::pow(fail[n], 0.25);
            if (e0 > 0.0) {
                e1 = final_at_onset(n, e0);
                at.state(onset_strain + n) = e0;
                at.state(final_strain + n) = e1;
                softening = true;
            }
        } else if (r0 > 0.0 || onset_kept || fail[n] >= 1.0) {
            // Past onset, or failed without an input now: the stored strains.
            e0 = at.was(onset_strain + n);
            e1 = at.was(final_strain + n);
            softening = r0 > 0.0 || onset_kept || e1 > e0;
        }
        double d = 0.0;
        if (softening) {
            if (quadratic_sets()) {
                // The damage where the compressive plateau of the mode's axis starts.
                const int axis = n / 2;
                const double h = e0 * e1 * cstiff(axis) / (std::abs(m.end[axis]) * (e1 - e0));
                dlim[n] = (e1 / (e1 - e0) - h) / (1.0 - h);
            }
            d = failure::bilinear_damage(equivalent_strain(n), e0, e1);
        }
        const double r = std::max(r0, d);
        rs[n] = r >= 1.0 ? 1.0 : std::max(r, 0.0);
    }

    // The stiffness damages of the mode damages, within their limits.
    void stiffness_damages() {
        if (m.degrade)
            failure::stiffness_damages(rs, w_stat, m.accumulate);
        else
            std::fill_n(w_stat, kModes, 0.0);
        for (int n = 0; n < kModes; ++n) w_stat[n] = math::limit(w_stat[n], 0.0, m.wmax[n]);
        choose_damages();
    }

    // The compressive plateaus once the compression damage passes dlim: of
    // the fibres by their stiffness damage (1), of every axis by its
    // inelastic strain (2).
    void plateaus() {
        if (m.plateau == 1) {
            const double r = rs[fibre_compression], c11 = cstiff(0);
            if (!(r > 0.0 && r >= dlim[fibre_compression] && total[0] < 0.0)) return;
            reach[0] = std::min(reach[0], total[0]);
            w_deg[0] = std::min(1.0 - (m.end[0] - (reach[0] - total[0]) * c11 / 10.0) / (c11 * elastic[0]),
                                m.wmax[fibre_compression]);
            return;
        }
        for (int i = 0; i < 3; ++i) {
            const int n = 2 * i + 1;
            if (!(rs[n] > 0.0 && rs[n] >= dlim[n] && total[i] < 0.0)) continue;
            const double plateau = total[i] - m.end[i] / (cstiff(i) * (1.0 - dlim[n]));
            inelastic[i] = std::max(std::min(plateau, inelastic[i]), -10.0 * m.onset[n]);
            elastic[i] = total[i] - inelastic[i];
        }
    }

    // The residual strains of failed fibres and matrix.
    void residual_strains() {
        if (rs[fibre_tension] >= 1.0) {
            inelastic[0] = std::min(std::max(0.9 * total[0], inelastic[0]), 30.0 * m.onset[fibre_tension]);
            const double u = total[0] - inelastic[0];
            elastic[0] = std::max(u, 0.0) + std::min(0.5 * std::max(u, -m.onset[fibre_compression]), 0.0);
            if (elastic[0] < 0.0) w_deg[0] = 0.2;
        }
        if (rs[transverse_tension] >= 1.0) {
            inelastic[1] = std::min(std::max(0.8 * total[1], std::max(inelastic[1], 0.0)),
                                    50.0 * m.onset[transverse_tension]);
            const double u = total[1] - inelastic[1];
            elastic[1] = std::max(u, 0.0) + std::min(std::max(u, -0.75 * m.onset[transverse_compression]), 0.0);
        }
    }

    // The stress of the damaged stiffness C: C e_ela plus the rate terms
    // c1 C r + c2 C q + c3 C p of the strain rate r (none over no time, and
    // none of a coefficient 0).
    void final_stress(double *stress) const {
        const Stiffness c(constants, w_deg);
        c.apply(elastic, stress);
        const double dt = *at.block.args.dt;
        if (dt == 0.0 || (m.rate[0] == 0.0 && m.rate[1] == 0.0 && m.rate[2] == 0.0)) return;
        double r[6], q[6], p[6];
        for (int i = 0; i < 6; ++i) {
            r[i] = at.increment(i) / dt;
            const double over = std::min(std::max(std::abs(r[i]) - 500.0, 0.0), 5000.0);
            q[i] = sign_of(r[i]) * (over * over);
            p[i] = std::abs(q[i]) * r[i];
        }
        const double *terms[3] = {r, q, p};
        for (int t = 0; t < 3; ++t) {
            if (m.rate[t] == 0.0) continue;
            double ct[6];
            c.apply(terms[t], ct);
            for (int i = 0; i < 6; ++i) stress[i] += m.rate[t] * ct[i];
        }
    }

    // Shear friction on the cracked shear planes: the crack side fixed at the
    // first increment past the limit, then the residual stress of that side.
    void friction(double *stress) {
        for (int j = 0; j < 3; ++j) {
            const int i = ply::C12 + j, n = shear12 + j;
            if (!(w_stat[n] >= m.wmax[n])) continue;
            double &side = at.state(friction_side + j);
            if (side == 0.0) {
                side = sign_of(elastic[i]);
                inelastic[i] = side * 0.9 * strainx1(n);
            }
            const double c = cstiff(i), e = total[i], e0 = m.onset[n], factor = 1.0 - w_deg[i];
            if (side < 0.0) {
                inelastic[i] = std::min(0.9 * e, inelastic[i]);
                const double u = e - inelastic[i];
                stress[i] = std::max(std::min(u, e0) * c, 0.0) + std::min(factor * u * c, 0.0);
            } else if (side > 0.0) {
                inelastic[i] = std::max(0.9 * e, inelastic[i]);
                const double u = e - inelastic[i];
                stress[i] = std::min(std::max(u, -e0) * c, 0.0) + std::max(factor * u * c, 0.0);
            }
            elastic[i] = e - inelastic[i];
        }
    }

    void store(const double *stress) {
        double &status = at.state(element_status);
        const double fibre = m.wmax[fibre_tension] + m.wmax[fibre_compression];
        if (status != 0.0 && w_stat[fibre_tension] + w_stat[fibre_compression] >= 0.9 * fibre) status = 0.0;
        for (int n = 0; n < kModes; ++n) {
            at.state(stiffness_damage + n) = w_stat[n];
            at.state(mode_damage + n) = rs[n];
        }
        const auto out = at.block.stress_new();
        for (int i = 0; i < 6; ++i) {
            out(at.k, static_cast<std::size_t>(i)) = stress[i];
            at.state(total_strain + i) = total[i];
            at.state(inelastic_strain + i) = inelastic[i];
            at.state(shear_reach + i) = reach[i];
        }
    }
};

// The block as it came: stress, state and energies carried over.
void carry_over(const VumatBlock &b) {
    const auto stress = b.stress_new(), state = b.state_new();
    std::copy_n(b.args.stressold, stress.rows * stress.columns, stress.a);
    std::copy_n(b.args.stateold, state.rows * state.columns, state.a);
    std::copy_n(b.args.enerinternold, stress.rows, b.args.enerinternnew);
    std::copy_n(b.args.enerinelasold, stress.rows, b.args.enerinelasnew);
}

// The elastic increment of every point with the ply's stiffness, the state
// and the inelastic energy carried over.
void elastic_response(const VumatBlock &b, const ExplicitPly &ply) {
    carry_over(b);
    elastic_block(b, ply, kWhole);
}

// A block without the model's properties: the elastic ply of 2 to 9
// constants or of a 21-value stiffness triangle, or with one property the
// ply of the elastic table at the first point's ply and section.
void elastic_fallback(const VumatBlock &b) {
    const int32_t nprops = *b.args.nprops;
    double nye[ply::kConstants];
    if (nprops == 1) {
        if (b.nblock() <= 0) return;
        if (!first_point_constants(b, kRoutine, nye)) return carry_over(b);
        check_constants(nye, kRoutine);
        return elastic_response(b, ExplicitPly(nye, 3, 3));
    }
    if (nprops == 21) {
        double c6[36];
        bool constants = false;
        lamina::stiffness_of(b.args.props, nprops, false, c6, nye, constants);
        return elastic_response(b, ExplicitPly::of_stiffness(c6));
    }
    if (nprops >= 2 && nprops <= ply::kConstants) {
        if (!constants_of_properties(b.properties(), nprops, nye)) return carry_over(b);
        check_constants(nye, kRoutine);
        return elastic_response(b, ExplicitPly(nye, 3, 3));
    }
    record_error(-2, "Unsupported number of properties in vumat_cartesian.");
    carry_over(b);
}

void cartesian(const VumatBlock &b) {
    if (b.ndir() != 3 || b.nshr() != 3 || b.nstatev() < kStates) {
        record_error(-2, "Unsupported dimension in vumat_cartesian.");
        return carry_over(b);
    }
    if (*b.args.nprops < kModelProperties) return elastic_fallback(b);
    const Cartesian m(b.properties());
    if (!m.admissible()) invalid_elastic_constants(kRoutine);
    const auto state = b.state_new();
    std::copy_n(b.args.stateold, state.rows * state.columns, state.a);
    const bool packaged = *b.args.totaltime == 0.0;
    for (std::size_t k = 0; k < state.rows; ++k) {
        const PointOf at(b, k);
        if (packaged) {
            start(m, at);
        } else {
            Increment(m, at).run();
        }
    }
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void vumat_cartesian(KESTRO_VUMAT_PARAMETERS, KESTRO_VUMAT_LENGTHS) noexcept {
    solver::cartesian(solver::VumatBlock{{KESTRO_VUMAT_ARGUMENTS}});
}

}  // namespace kestro::toplevel
