// The explicit ply with fracture-plane matrix damage (vumat_bogenfeld): fibre
// tension and compression soften along bilinear laws and reduce the
// fibre-direction stiffness; matrix cracking is found by the Wiegand
// criterion, its plane frozen, and the matrix damage of that plane degrades
// the stiffness in the crack frame, open or closed.  Without the full
// property list, at the first time or at points the damage does not serve, the
// block takes the elastic increment.  Every point works on fixed-size values
// on the stack; nothing is allocated and nothing written but the outputs.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/errorhandling.hpp"
#include "decl/toplevel.hpp"
#include "decl/utility.hpp"
#include "failure/criteria.hpp"
#include "failure/evolution.hpp"
#include "math/arithmetic.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/plydata.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::solver {

namespace {

using namespace ply;

constexpr const char *kRoutine = "vumat_bogenfeld", *kUnsupportedDimension = "Unsupported dimension in vumat_bogenfeld.";
constexpr const char *kUnsupportedProperties = "Unsupported number of properties in vumat_bogenfeld.";

// ---- The property list.

// The full list: at least 29 entries.  Entries (1-based) 1 to 3 E11, E22,
// E33; 4 to 6 G12, G13, G23; 7 nu12, 8 nu13, 9 nu23; 10, 11 X11t, X22t; 13,
// 14 X11c, X22c (their absolute values); 16, 17 S12, S13; 25, 26 the fracture
// energies of fibre tension and compression; 27 to 29 the parameters of the
// fracture-plane damage.  Entries 12, 15 and 18 to 24 are not read.
constexpr int32_t kFullList = 29, kPackedTriangle = 21;
// The entry of each ply constant (0-based, in the constants' order).
constexpr int kEntryOfConstant[kConstants] = {0, 1, 2, 6, 7, 8, 3, 4, 5};

struct Material {
    double xt11, xt22, xc11, xc22, s12, s13;  // compressive strengths as absolute values
    double g_tension, g_compression;          // fracture energies of the fibre modes
    double toughness[3];                      // entries 27, 28, 29

    static Material of(std::span<const double> p) {
        Material m;
        m.xt11 = p[9], m.xt22 = p[10], m.xc11 = std::abs(p[12]), m.xc22 = std::abs(p[13]);
        m.s12 = p[15], m.s13 = p[16], m.g_tension = p[24], m.g_compression = p[25];
        for (int k = 0; k < 3; ++k) m.toughness[k] = p[static_cast<std::size_t>(26 + k)];
        return m;
    }
    // The fracture-plane damage on the plane of angle phi (entry 29 twice).
    failure::FracturePlane plane(double phi) const {
        return {phi, toughness[0], toughness[1], toughness[2], toughness[2]};
    }
};

// ---- The state variables (0-based) the damage reads and writes.

enum Entry : int {
    fibre_tension = 0,      // damages: fibre tension, fibre compression,
    fibre_compression = 1,  // matrix (never decreasing), the fourth (always 0)
    matrix = 2,
    fourth = 3,
    history_1 = 6,  // the fracture-plane damage's history: 7, 8, 9, 11
    history_2 = 7,
    history_3 = 8,
    wiegand_exposure = 9,  // running maximum
    history_4 = 10,
    plane_angle = 11,  // degrees, measured from the xz plane
    tension_onset = 12,
    tension_final = 13,
    tension_energy = 14,
    compression_onset = 15,
    compression_final = 16,
    tension_exposure = 17,  // running maximum
    element_status = 18,    // nonzero active, 0 deleted
    compression_exposure = 19,
    total_strain = 20,      // 21 to 26
    inelastic_strain = 26,  // 27 to 32
    tension_stress = 44,
    compression_stress = 45,
    crack_status = 46,  // +1 open, -1 closed
    kStates = 47,
};

// The largest damages.
constexpr double kTensionLimit = 0.999, kCompressionLimit = 0.97, kMatrixLimit = 0.99;
// The plane angle as the state keeps it: the radians times these digits, read back times the other.
constexpr double kDegreesPerRadian = 57.29577951308232, kRadiansPerDegree = 0.017453292519943295;
// The Wiegand search: a 5-degree scan refined, from its default start angle.
constexpr double kStartAngle = 53.0;
const failure::Search kPlaneSearch = failure::search(5.0, true, kRoutine);

// The cyclic order 11, 22, 33, 12, 23, 13 and the Voigt order 11, 22, 33,
// 23, 13, 12 differ by the shears turned by one: of vectors and of the rows
// and columns of 6 x 6 matrices.
void voigt_of(const double *cyclic, double *voigt) { lamina::turn_shears<1>(voigt, cyclic, false); }

// v lower than x (NaN neither): x is the new running maximum.
void raise(double &v, double x) {
    if (x > v) v = x;
}

// The stress and energy services at a solid point: three direct components,
// tensor strains.
constexpr int32_t kDirect = 3, kComponents = 6;
constexpr kestro_logical1 kSecant = 1, kIncremental = 0, kTensor = 1;
constexpr double kNoIncrement[6] = {};

// s = c (6 x 6, cyclic) times the tensor strain e (GetStressVector, secant).
void secant_stress(const double *c, const double *e, double *s) {
    GetStressVector(s, c, e, kNoIncrement, &kDirect, &kComponents, &kSecant, &kTensor);
}

// ---- The damage of one point.

struct Point {
    double *sv;            // the point's state, kStates entries
    const double *trial;   // the elastic trial stress (cyclic)
    const double *old;     // stressold (cyclic)
    double increment[6];   // straininc (tensor)
    double total[6];       // the new total strain (tensor)
    double elastic[6];     // the elastic strain (tensor)
    double length;         // charlength(k, 1) as regularising_length takes it
    Matrix<6> c;           // the working stiffness, cyclic
};

// The fibre modes: the damages d1 (tension) and d2 (compression) and the
// fibre damage w that reduces the stiffness.
struct Fibre {
    double d1, d2, w;
};

Fibre tension_mode(Point &p, const Material &m, Fibre f) {
    double *const sv = p.sv;
    const double *e = p.elastic;
    const double strain = std::sqrt(e[C11] * e[C11] + e[C12] * e[C12] + e[C13] * e[C13]);
    double d = 0.0;
    if (sv[fibre_tension] == 0.0) {
        const double exposure = failure::quad_nominal(std::max(p.trial[C11], 0.0), 0.0, 0.0, m.xt11, m.s12, m.s13);
        raise(sv[tension_exposure], exposure);
        if (exposure >= 1.0) {
            const double onset_stress = std::max(p.trial[C11], 0.0);
            const double e0 = strain / (exposure * exposure);
            // The regularised final strain at any length (BiLinearEvolution would leave it unset below 0.001).
            const double e1 = failure::final_strain(onset_stress, m.g_tension, p.length, 1.2 * e0);
            d = failure::bilinear_evolution(strain, e0, 0.0, 0.0, 0.0, e1).d;
            sv[tension_onset] = e0;
            sv[tension_final] = e1;
            sv[tension_energy] = m.g_tension;
            sv[tension_stress] = onset_stress;
        }
    } else {
        d = failure::bilinear_evolution(strain, sv[tension_onset], 0.0, 0.0, 0.0, sv[tension_final]).d;
    }
    f.d1 = std::min(std::max(std::max(d, 0.0), sv[fibre_tension]), kTensionLimit);
    f.w = f.d2 + f.d1 - f.d1 * f.d2;
    return f;
}

Fibre compression_mode(Point &p, const Material &m, Fibre f) {
    double *const sv = p.sv;
    const double *e = p.elastic;
    double e0, e1;
    if (sv[fibre_compression] == 0.0) {
        const double exposure = std::abs(std::min(p.trial[C11], 0.0)) / m.xc11;
        raise(sv[compression_exposure], exposure);
        if (!(exposure >= 1.0)) return f;
        const double onset_stress = std::abs(p.trial[C11]), shortening = std::max(-e[C11], 0.0);
        const double strain = std::sqrt(shortening * shortening + e[C12] * e[C12] + e[C13] * e[C13]);
        e0 = strain / std::pow(exposure, 0.25);
        e1 = failure::final_strain(onset_stress, m.g_compression, p.length, 1.5 * e0);
        sv[compression_onset] = e0;
        sv[compression_final] = e1;
        sv[compression_stress] = onset_stress;
    } else {
        e0 = sv[compression_onset];
        e1 = sv[compression_final];
    }
    const double shortening = std::min(e[C11], 0.0);
    const double strain = std::sqrt(shortening * shortening + e[C12] * e[C12] + e[C13] * e[C13]);
    const double d = failure::bilinear_evolution(strain, e0, 0.0, 0.0, 0.0, e1).d;
    f.d2 = std::min(std::max(std::max(d, 0.0), sv[fibre_compression]), kCompressionLimit);
    f.w = f.d1 + f.d2 - f.d1 * f.d2;
    return f;
}

// The fibre damage w on the fibre-direction entries of the stiffness.
void degrade_fibre(double *c, double w) {
    const double kept = 1.0 - w, shear = 1.0 - 2.0 * w / 3.0;
    c[C11 * 6 + C11] *= kept;
    c[C22 * 6 + C11] *= kept;
    c[C33 * 6 + C11] *= kept;
    c[C11 * 6 + C22] *= kept;
    c[C11 * 6 + C33] *= kept;
    c[C12 * 6 + C12] *= shear;
    c[C13 * 6 + C13] *= shear;
}

// Matrix cracking: the Wiegand exposure of the secant stress until a crack is
// found, then the fracture-plane damage on its frozen plane, the stiffness
// degraded in the crack frame.
void matrix_cracking(Point &p, const Material &m) {
    double *const sv = p.sv;
    double elastic[6], history[4], phi, d;
    voigt_of(p.elastic, elastic);
    if (sv[wiegand_exposure] >= 1.0) {
        // The frozen plane, the history as the onset left it, no traction.
        phi = sv[plane_angle] * kRadiansPerDegree;
        history[0] = sv[history_1], history[1] = sv[history_2], history[2] = sv[history_3];
        history[3] = sv[history_4];
        const double unloaded[6] = {};
        d = failure::bogenfeld_damage(history, unloaded, elastic, p.length, m.plane(phi));
    } else {
        double s[6], stress[6];
        secant_stress(p.c.data(), p.elastic, s);
        const failure::Transverse t{s[C22], s[C33], s[C12], s[C13], s[C23]};
        const failure::Exposure x = failure::wiegand(t, m.xt22, m.xc22, m.s12, kStartAngle, kPlaneSearch);
        raise(sv[wiegand_exposure], x.r);
        if (!(x.r >= 1.0)) return;
        constexpr kestro_logical1 clockwise = 1;
        GetPhiMeasuredFromXZPlane(&phi, &x.angle, &clockwise);
        sv[plane_angle] = phi * kDegreesPerRadian;
        for (double &h : history) h = -1.0;
        voigt_of(s, stress);
        d = failure::bogenfeld_damage(history, stress, elastic, p.length, m.plane(phi));
        sv[history_1] = history[0], sv[history_2] = history[1], sv[history_3] = history[2];
        sv[history_4] = history[3];
    }
    const double dm = std::max(math::limit(d, 0.0, kMatrixLimit), sv[matrix]);
    sv[matrix] = dm;
    if (dm == 0.0) return;
    double old[6], c[36], degraded[36];
    voigt_of(p.old, old);
    constexpr double axis[3] = {1.0, 0.0, 0.0};
    constexpr int32_t normal = 2;  // the crack plane's normal: axis 2 turned about axis 1
    const int32_t status = failure::crack_status(old, axis, phi, normal);
    sv[crack_status] = status;
    lamina::turn_shears<1>(c, p.c.data(), true);
    failure::crack_frame_degradation(c, degraded, phi, dm, normal, status);
    lamina::turn_shears<2>(p.c.data(), degraded, true);
}

// The damage of point k: its stress from the degraded stiffness and its
// state and energies.  s: the elastic trial stress.
void damage_point(const VumatBlock &block, const ExplicitPly &ply, const Material &m, std::size_t k,
                  const double *s) {
    const auto increment = block.increment(), state = block.state_new(), stress = block.stress_new();
    const auto old_stress = block.stress_old();
    double sv[kStates], old[6];
    for (std::size_t j = 0; j < kStates; ++j) sv[j] = state(k, j);
    for (std::size_t j = 0; j < 6; ++j) old[j] = old_stress(k, j);
    Point p;  // the strains and the stiffness written below, not zeroed first
    p.sv = sv, p.trial = s, p.old = old, p.length = regularising_length(block.args.charlength[k]);
    p.c = Matrix<6>::load(ply.c);
    double old_total[6];
    for (int j = 0; j < 6; ++j) {
        old_total[j] = sv[total_strain + j];
        p.increment[j] = increment(k, static_cast<std::size_t>(j));
        p.total[j] = old_total[j] + p.increment[j];
        p.elastic[j] = p.total[j] - sv[inelastic_strain + j];
    }
    Fibre f{sv[fibre_tension], sv[fibre_compression], old[C11] > 0.0 ? sv[fibre_tension] : sv[fibre_compression]};
    if (s[C11] > 0.0) f = tension_mode(p, m, f);
    if (s[C11] < 0.0) f = compression_mode(p, m, f);
    if (f.w != 0.0) degrade_fibre(p.c.data(), f.w);
    matrix_cracking(p, m);
    double stress_new[6];
    secant_stress(p.c.data(), p.elastic, stress_new);
    sv[fibre_tension] = math::limit(f.d1, 0.0, kTensionLimit);
    sv[fibre_compression] = math::limit(f.d2, 0.0, kCompressionLimit);
    sv[matrix] = math::limit(sv[matrix], 0.0, kMatrixLimit);
    sv[fourth] = 0.0;
    if (sv[fibre_tension] >= kTensionLimit || sv[fibre_compression] >= kCompressionLimit) sv[element_status] = 0.0;
    for (int j = 0; j < 6; ++j) sv[total_strain + j] = p.total[j];
    for (std::size_t j = 0; j < kStates; ++j) state(k, j) = sv[j];
    for (std::size_t j = 0; j < 6; ++j) stress(k, j) = stress_new[j];
    // The energies of the increment and of the new total strain, per mass.
    double incremental = 0.0, secant;
    GetSpecificStrainEnergy(&incremental, stress_new, old, old_total, p.increment, &kDirect, &kComponents,
                            &kIncremental, &kTensor);
    GetSpecificStrainEnergy(&secant, stress_new, stress_new, old_total, p.increment, &kDirect, &kComponents,
                            &kSecant, &kTensor);
    const double s19 = sv[element_status], density = block.density()[k];
    const double internal = block.internal_energy_old()[k] + s19 * incremental / density;
    block.internal_energy_new()[k] = internal;
    block.inelastic_energy_new()[k] = internal - s19 * secant / density;
}

// ---- The elastic increment.

// The elastic increment of the block, its work in the internal energy
// weighted by state 19 where the state holds it, the inelastic energy kept.
void elastic_response(const VumatBlock &block, const ExplicitPly &ply) {
    const auto state = block.state_old();
    const bool with_status = block.nstatev() > element_status;
    solver::elastic_block(block, ply, [&](std::size_t k) { return with_status ? state(k, element_status) : 1.0; });
    std::copy_n(block.args.enerinelasold, extent(block.nblock()), block.args.enerinelasnew);
}

// The stiffness of the forms without the damage: nine constants from the
// elastic table (one property), the properties (2 to 9) or the full list's
// entries; a packed lower triangle of the Nye stiffness (21).  A form without
// one leaves n 0.
ExplicitPly elastic_ply(const VumatBlock &block) {
    const auto props = block.properties();
    const int32_t nprops = *block.args.nprops;
    double nye[kConstants];
    if (nprops < 1) {
        record_error(-2, kUnsupportedProperties);
        return {};
    }
    if (nprops == 1) {
        if (!first_point_constants(block, kRoutine, nye)) return {};
    } else if (nprops == kPackedTriangle) {
        if (block.ndir() != 3 || block.nshr() != 3) {
            record_error(-2, kUnsupportedDimension);
            return {};
        }
        double lower[36], nye_stiffness[36];
        const int32_t n = 6;
        GetUnpackedTriangle(lower, props.data(), &n, &nprops, "F", nullptr);
        Symmetrize(lower, nye_stiffness, &n);
        return ExplicitPly::of_stiffness(nye_stiffness);
    } else if (nprops >= 10) {
        for (int k = 0; k < kConstants; ++k) nye[k] = props[static_cast<std::size_t>(kEntryOfConstant[k])];
    } else if (!constants_of_properties(props, nprops, nye)) {
        return {};
    }
    check_constants(nye, kRoutine);
    return {nye, block.ndir(), block.nshr()};
}

bool all_zero(std::span<const double> props) {
    return std::all_of(props.begin(), props.end(), [](double p) { return p == 0.0; });
}

void bogenfeld(const VumatBlock &block) {
    const auto state_old = block.state_old();
    std::copy_n(state_old.a, state_old.rows * state_old.columns, block.state_new().a);
    const int32_t nprops = *block.args.nprops;
    if (nprops >= 10 && nprops < kFullList && nprops != kPackedTriangle) record_error(-2, kUnsupportedProperties);
    // The damage runs with the full list after the first time, at solid points with their 47 states.
    const bool damage = nprops >= kFullList && *block.args.totaltime != 0.0 && !all_zero(block.properties());
    const bool served = block.ndir() == 3 && block.nshr() == 3 && block.nstatev() >= kStates;
    if (damage && !served) record_error(-2, kUnsupportedDimension);
    const ExplicitPly ply = elastic_ply(block);
    if (!damage || !served) return elastic_response(block, ply);
    const Material m = Material::of(block.properties());
    for (std::size_t k = 0; k < extent(block.nblock()); ++k) {
        double e[6], s[6];
        elastic_increment<6>(block, ply, k, e, s);
        damage_point(block, ply, m, k, s);
    }
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void vumat_bogenfeld(KESTRO_VUMAT_PARAMETERS, KESTRO_VUMAT_LENGTHS) noexcept {
    solver::bogenfeld(solver::VumatBlock{{KESTRO_VUMAT_ARGUMENTS}});
}

}  // namespace kestro::toplevel
