// Five small material routines (module toplevel), each a constitutive law at
// one integration point: the linear-elastic fibre of the implicit and the
// ANSYS solver (umat_fiber with its temperature table, fibre exposure and
// reduction after fibre failure; usermat_fiber), linear anisotropic
// elasticity with its complex-step tangent (umat_hyper), hail ice with Mises
// plasticity and a hydrostatic cut-off (umat_hail) and linear elasticity with
// porous points (umat_porosity).  Everything is on the stack; the warnings
// are the only output.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/elasticity.hpp"
#include "decl/interp.hpp"
#include "decl/math.hpp"
#include "decl/toplevel.hpp"
#include "decl/utility.hpp"
#include "failure/criteria.hpp"
#include "math/arithmetic.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::solver {

namespace {

constexpr kestro_logical1 kSecant = 1, kIncremental = 0, kEngineering = 0;

// The layouts these materials serve: 1 to 6 components, ndi direct ones then
// nshr shears, at most three of each.
bool served(int32_t ndi, int32_t nshr, int32_t ntens) {
    return ntens >= 1 && ntens <= 6 && ndi >= 0 && ndi <= 3 && nshr >= 0 && nshr <= 3 && ndi + nshr == ntens;
}

// Bad input refused before anything is worked: its record, the tangent
// tangent(n, n) zero, the rest as it came.
void refuse(double *tangent, int32_t n, std::string_view message) {
    record_error(-2, message);
    lamina::zero_square(tangent, n);
}

// ---- The fibre.

// The fibre's property set: the nine ply constants, then the tensile and
// compressive strength of direction 1.
constexpr int kTensile = 9, kCompressive = 10, kFibreSet = 11;
// Where the property table of two temperatures keeps them (0-based).
constexpr int kFirstTemperature = 11, kSecondSet = 12, kSecondTemperature = 23;

// The warning of a point with fewer state variables than the fibre keeps:
// the line and the material name, padded or cut to 80 characters.
void warn_state_variables(std::string_view material) {
    constexpr std::string_view head = "****WARNING: To less nstatev allocated for material ";
    char line[head.size() + kNameLength];
    std::copy(head.begin(), head.end(), line);
    const std::size_t n = std::min(material.size(), kNameLength);
    std::copy_n(material.begin(), n, line + head.size());
    std::fill(line + head.size() + n, line + sizeof line, ' ');
    units::write_record(units::standard_output, {line, sizeof line});
}

// The property set at temperature t of two sets: props(1:11) at props(12)
// and props(13:23) at props(24).  The set of the lower temperature (props(1:11)
// when both are equal) up to it, the other from its own on, in between each
// entry linear in t; NaN for a NaN temperature.
void set_at_temperature(std::span<const double> props, double t, double *set) {
    const double *low = props.data(), *high = props.data() + kSecondSet;
    double t_low = props[kFirstTemperature], t_high = props[kSecondTemperature];
    if (t_high < t_low) {
        std::swap(low, high);
        std::swap(t_low, t_high);
    }
    if (t <= t_low || t >= t_high) {
        std::copy_n(t <= t_low ? low : high, kFibreSet, set);
        return;
    }
    if (!(t_low < t && t < t_high)) {
        std::fill_n(set, kFibreSet, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    // Both sets as the two points of one table of 11 rows.
    double table[2 * kFibreSet];
    std::copy_n(low, kFibreSet, table);
    std::copy_n(high, kFibreSet, table + kFibreSet);
    const double at[2] = {t_low, t_high};
    const int32_t rows = kFibreSet, points = 2, one = 1;
    interp_linear_(&rows, &points, at, table, &one, &t, set);
}

// The fibre at an implicit point.
void fibre(const UmatPoint &p) {
    const int32_t ndi = p.ndi(), ntens = p.ntens(), nprops = p.nprops();
    if (!served(ndi, p.nshr(), ntens)) return refuse(p.args.ddsdde, ntens, "Unsupported dimension in umat_fiber.");
    p.spd() = 0.0;
    p.scd() = 0.0;
    const auto state = p.state();
    if (*p.args.kinc <= 1) {
        if (state.size() < 12) warn_state_variables(p.material());
        clear_fresh_mark(state);
    }
    const auto props = p.properties();
    double set[kFibreSet] = {};
    if (nprops < 10) {
        if (!constants_of_properties(props, nprops, set)) return clear_response(p);
    } else if (nprops < 24) {
        std::copy_n(props.begin(), std::min(nprops, kFibreSet), set);
    } else {
        set_at_temperature(props, *p.args.temp + *p.args.dtemp, set);
    }
    // Fibre failure reduces the nine constants by the factor of 12 or 25 properties.
    const bool kept = state.size() >= 3;  // the exposure, state variable 3
    const double exposure = kept ? state[2] : 0.0;
    if (exposure >= 1.0 && (nprops == 12 || nprops == 25)) {
        const double factor = props[static_cast<std::size_t>(nprops - 1)];
        for (int k = 0; k < ply::kConstants; ++k) set[k] *= factor;
    }
    double *const stress = p.args.stress;
    GetNyeStiffnessMatrix(p.args.ddsdde, set, &ntens, nullptr);
    GetStressVector(stress, p.args.ddsdde, p.args.stran, p.args.dstran, &ndi, &ntens, &kSecant, &kEngineering);
    if (nprops >= 10 && kept) {
        // Without a compressive strength a fibre under compression is not exposed.
        const double r = nprops == 10 && !(stress[0] > 0.0)
                             ? 0.0
                             : failure::max_nominal(stress[0], set[kTensile], set[kCompressive]);
        state[2] = std::max(exposure, std::min(r, 1.0));
    }
    if (state.size() >= 12) state[11] = kLargestReal;
    GetSpecificStrainEnergy(&p.sse(), stress, stress, p.args.stran, p.args.dstran, &ndi, &ntens, &kSecant,
                            &kEngineering);
}

// The fibre at an ANSYS point, incremental.
void fibre(const UsermatPoint &p) {
    const int32_t ncomp = p.ncomp(), ndirect = *p.args.ndirect;
    if (!served(ndirect, *p.args.nshear, ncomp))
        return refuse(p.args.dsdepl, ncomp, "Unsupported dimension in usermat_fiber.");
    *p.args.keycut = 0;
    *p.args.sedel = *p.args.sedpl = *p.args.epseq = *p.args.epszz = 0.0;
    double nye[ply::kConstants];
    if (!constants_of_properties(p.properties(), p.nprop(), nye)) return lamina::zero_square(p.args.dsdepl, ncomp);
    const auto c = ply::Constants::of(nye);
    double *const d = p.args.dsdepl, *const stress = p.args.stress;
    if (ncomp == 6) {
        ply::Matrix<6> m;
        ply::orthotropic_stiffness(m, c);
        cyclic_of_nye_matrix(m.data(), d);
    } else {
        GetNyeStiffnessMatrix(d, nye, &ncomp, nullptr);
    }
    double stress0[6];
    std::copy_n(stress, ncomp, stress0);
    GetStressVector(stress, d, p.args.strain, p.args.dstrain, &ndirect, &ncomp, &kIncremental, &kEngineering);
    GetSpecificStrainEnergy(p.args.sedel, stress, stress0, p.args.strain, p.args.dstrain, &ndirect, &ncomp,
                            &kIncremental, &kEngineering);
    double *const tsstif = p.args.tsstif;
    tsstif[0] = c.g13;
    if (ncomp == 6) return;
    if (p.plane_stress()) {
        const double nu31 = c.e3 / c.e1 * c.nu13, nu32 = c.e3 / c.e2 * c.nu23;
        *p.args.epszz = GetPlaneStressEpsZZ(&c.e3, &nu31, &nu32, &stress[0], &stress[1]);
        tsstif[1] = c.g23;
    } else if ((ndirect == 2 || ndirect == 3) && ncomp <= 4) {
        tsstif[1] = c.g23;
    }
}

// ---- Linear anisotropic elasticity.

// A property count umat_hyper does not take, refused with the count given
// and the counts taken at ntens components: the constants' 1, 2, 5 or 9, or
// a packed triangle of C, ntens (ntens + 1) / 2 values, from 10 on (fewer
// are constants; values past the triangle are not read).  The record holds
// nprops and ntens.
void refuse_hyper_properties(const UmatPoint &p, int32_t nprops, int32_t ntens) {
    const int32_t packed = std::max(ntens * (ntens + 1) / 2, ply::kConstants + 1);
    record_error(-2,
                 Message() << "Unsupported number of properties in umat_hyper: " << nprops << " (1, 2, 5, 9, "
                           << packed << " or more).",
                 {nprops, ntens});
    clear_response(p);
}

void hyper(const UmatPoint &p) {
    int32_t ndi = p.ndi(), ntens = p.ntens(), nprops = p.nprops();
    if (!served(ndi, p.nshr(), ntens)) return refuse(p.args.ddsdde, ntens, "Unsupported dimension in umat_hyper.");
    p.spd() = 0.0;
    p.scd() = 0.0;
    double c[36];
    if (nprops >= 1 && nprops <= ply::kConstants) {
        if (nprops != 1 && nprops != 2 && nprops != 5 && nprops != ply::kConstants)
            return refuse_hyper_properties(p, nprops, ntens);
        double nye[ply::kConstants];
        if (!ply_constants(p, "umat_hyper", nye)) return clear_response(p);
        GetNyeStiffnessMatrix(c, nye, &ntens, nullptr);
    } else {
        if (nprops < ntens * (ntens + 1) / 2) return refuse_hyper_properties(p, nprops, ntens);
        double lower[36];
        GetUnpackedTriangle(lower, p.args.props, &ntens, &nprops, "F", nullptr);
        Symmetrize(lower, c, &ntens);
    }
    double *const stress = p.args.stress;
    double stress0[6];
    std::copy_n(stress, ntens, stress0);
    GetStressVector(stress, c, p.args.stran, p.args.dstran, &ndi, &ntens, &kSecant, &kEngineering);
    GetSpecificStrainEnergy(&p.sse(), stress, stress, p.args.stran, p.args.dstran, &ndi, &ntens, &kSecant,
                            &kEngineering);
    // The complex step of the law whose properties are C, column by column.
    const int32_t entries = ntens * ntens, complex_step = 1;
    const auto law = reinterpret_cast<kestro_stress_law>(&cGetStressFromAnisotropicHyperelasticity);
    elasticity::getnumericaltangent(p.args.ddsdde, law, c, stress, stress0, p.args.dstran, &ntens, &ndi, &entries,
                                    &kEngineering, c, nullptr, &complex_step);
    const auto state = damage_block(p.state());
    for (int32_t i = 0; i < ndi && static_cast<std::size_t>(i) < state.size(); ++i) state[i] = stress[i];
    for (int32_t i = 0; i < p.nshr() && static_cast<std::size_t>(3 + i) < state.size(); ++i)
        state[3 + i] = stress[ndi + i];
}

// ---- Hail ice.

constexpr int kNewtonPasses = 10;

// The elastic constants of the ice: the shear modulus and the bulk term
// E / (1 - 2 nu), with nu near 0.5 taken as 0.499.
struct Ice {
    double e, nu, g, k3;
    bool incompressible;  // nu in the window about 0.5

    Ice(double e_, double nu_) : e(e_), nu(nu_), incompressible(0.4999000132083893 < nu_ && nu_ < 0.5001000165939331) {
        g = e / (2.0 * (incompressible ? 1.4990000128746033 : 1.0 + nu));
        k3 = e / (incompressible ? 0.001999974250793457 : 1.0 - 2.0 * nu);
    }

    // The isotropic stiffness c(n, n).
    void stiffness(double *c, int32_t n) const {
        if (!incompressible) {
            double nye[ply::kConstants];
            const double values[2] = {e, nu};
            const int32_t two = 2;
            GetNyeProperties(nye, values, &two);
            return GetNyeStiffnessMatrix(c, nye, &n, nullptr);
        }
        // The Part's constants are infinite there: the moduli of the window's G and K3.
        ply::Matrix<6> c6{};
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) c6(i, j) = i == j ? (k3 + 4.0 * g) / 3.0 : (k3 - 2.0 * g) / 3.0;
        for (int i = 3; i < 6; ++i) c6(i, i) = g;
        if (!lamina::reduce_stiffness(c6.data(), n, nullptr, c)) {
            lamina::zero_square(c, n);
            unsupported_stiffness();
        }
    }
};

// The warning of a radial return that did not converge.
void warn_not_converged() {
    format::write(units::standard_output,
                  "(//,30X,'***WARNING - PLASTICITY ALGORITHM DID NOT ',        'CONVERGE AFTER ',I3,' ITERATIONS')",
                  {kNewtonPasses});
}

// The hardening table of the properties: (yield stress, plastic strain) pairs from props(4).
struct Hardening {
    const double *table;
    int32_t rows;
    void at(double eqplas, double &syield, double &hard) const {
        GetHardeningFromTable(&syield, &hard, &eqplas, table, &rows);
    }
    // Plastic strains finite and strictly increasing, as the interpolation needs them.
    bool ordered() const {
        for (int32_t k = 0; k < rows; ++k) {
            const double e = table[2 * k + 1];
            if (!std::isfinite(e) || (k > 0 && !(table[2 * k - 1] < e))) return false;
        }
        return true;
    }
};

// A return that failed (not converged in its passes, or a negative plastic
// increment): a note, and a shorter increment asked of the solver.
void return_failed(const UmatPoint &p, std::string_view message) {
    record_error(-1, message);
    p.pnewdt() = std::min(p.pnewdt(), 0.5);
}

void hail(const UmatPoint &p) {
    const int32_t ndi = p.ndi(), ntens = p.ntens(), nprops = p.nprops();
    if (!served(ndi, p.nshr(), ntens)) return refuse(p.args.ddsdde, ntens, "Unsupported dimension in umat_hail.");
    if (nprops < 2) return refuse(p.args.ddsdde, ntens, "Unsupported number of properties in umat_hail.");
    const auto props = p.properties();
    const bool plastic = nprops >= 3 && props[2] > 0.0;
    const Hardening table{props.data() + 3, nprops >= 3 ? (nprops - 3) / 2 : 0};
    if (plastic && !table.ordered())
        return refuse(p.args.ddsdde, ntens, "Unsupported hardening table in umat_hail.");
    const Ice ice(props[0], props[1]);
    // Within the window about 0.5 nu is taken as 0.499.
    if (!ply::positive_definite(ice.e, ice.incompressible ? 0.499 : ice.nu)) invalid_elastic_constants("umat_hail");
    double *const stress = p.args.stress, *const ddsdde = p.args.ddsdde;
    ice.stiffness(ddsdde, ntens);
    GetStressVector(stress, ddsdde, p.args.stran, p.args.dstran, &ndi, &ntens, &kIncremental, &kEngineering);

    // The state: elastic and plastic strains, the equivalent plastic strain.
    const auto state = p.state();
    const std::size_t n = static_cast<std::size_t>(ntens), kept = std::min(state.size(), 2 * n + 1);
    if (kept < 2 * n + 1) record_error(-2, "Unsupported number of state variables in umat_hail.");
    double s[13] = {};
    std::copy_n(state.begin(), kept, s);
    double *const eelas = s, *const eplas = s + n, &eqplas = s[2 * n];
    for (std::size_t k = 0; k < n; ++k) eelas[k] += p.args.dstran[k];

    if (plastic) {
        const double smises = GetMisesStress(stress, &ntens), shydro = GetHydrostaticPressure(stress, &ntens);
        double syiel0 = 0.0, hard = 0.0;
        table.at(eqplas, syiel0, hard);
        if (smises > 1.000001 * syiel0) {
            // Newton passes on the plastic strain increment.
            const double g3 = 3.0 * ice.g;
            double deqpl = 0.0, syield = syiel0;
            bool converged = false;
            for (int pass = 0; pass < kNewtonPasses && !converged; ++pass) {
                const double rhs = smises - g3 * deqpl - syield;
                deqpl += rhs / (g3 + hard);
                table.at(eqplas + deqpl, syield, hard);
                converged = std::abs(rhs) < 1e-6 * syiel0;
            }
            if (!converged) {
                warn_not_converged();
                return_failed(p, "Warning: Plastic return not converged in umat_hail.");
            }
            if (deqpl < 0.0) {
                return_failed(p, "Warning: Negative plastic increment in umat_hail.");
                deqpl = 0.0;
                table.at(eqplas, syield, hard);
            }
            // The return along the flow of the trial stress.
            double flow[6];
            GetMisesFlow(flow, stress, &ntens);
            for (std::size_t k = 0; k < n; ++k) {
                const bool direct = static_cast<int32_t>(k) < ndi;
                stress[k] = flow[k] * syield + (direct ? shydro : 0.0);
                const double strain = (direct ? 1.5 : 3.0) * flow[k] * deqpl;
                eplas[k] += strain;
                eelas[k] -= strain;
            }
            eqplas += deqpl;
            p.spd() = deqpl * (syiel0 + syield) / 2.0;
            // The consistent tangent.
            const double effg = ice.g * syield / smises, effg2 = 2.0 * effg;
            const double efflam = (ice.k3 - effg2) / 3.0, effhrd = g3 * hard / (g3 + hard) - 3.0 * effg;
            for (std::size_t j = 0; j < n; ++j)
                for (std::size_t i = 0; i < n; ++i) {
                    const bool directs = static_cast<int32_t>(i) < ndi && static_cast<int32_t>(j) < ndi;
                    const double diagonal = i != j ? 0.0 : static_cast<int32_t>(i) < ndi ? effg2 : effg;
                    ddsdde[j * n + i] = (directs ? efflam : 0.0) + diagonal + effhrd * flow[i] * flow[j];
                }
        }
        // The hydrostatic cut-off, a latch that every later point of the analysis keeps.
        if (nprops >= 4) {
            const double cutoff = props[3];
            std::atomic_ref<double> latch(toplevel::smax);
            if (shydro > cutoff) latch.store(1.0, std::memory_order_relaxed);
            if (latch.load(std::memory_order_relaxed) != 0.0)
                for (std::size_t k = 0; k < n; ++k) stress[k] = static_cast<int32_t>(k) < ndi ? cutoff : 0.0;
        }
    }
    std::copy_n(s, kept, state.begin());
}

// ---- Porosity.

// A thousandth, as the single-precision value of 0.001.
constexpr double kPorousFraction = 0.0010000000474974513;

void porosity(const UmatPoint &p) {
    const int32_t ndi = p.ndi(), ntens = p.ntens();
    if (!served(ndi, p.nshr(), ntens)) return refuse(p.args.ddsdde, ntens, "Unsupported dimension in umat_porosity.");
    p.sse() = p.spd() = p.scd() = 0.0;
    const int32_t stiffness = 1;
    GetGeneralizedNyeOnAxisSC(p.args.ddsdde, p.args.props, &ntens, p.args.nprops, &stiffness, nullptr, nullptr,
                              nullptr);
    const auto state = p.state();
    if (!state.empty() && state[0] == 1.0) MatrixAmplify(p.args.ddsdde, &kPorousFraction, &ntens, &ntens);
    GetStressVector(p.args.stress, p.args.ddsdde, p.args.stran, p.args.dstran, &ndi, &ntens, &kIncremental,
                    &kEngineering);
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void umat_fiber(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    solver::fibre(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void usermat_fiber(KESTRO_USERMAT_PARAMETERS) noexcept {
    solver::fibre(solver::UsermatPoint{{KESTRO_USERMAT_ARGUMENTS}});
}

void umat_hyper(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    solver::hyper(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void umat_hail(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    solver::hail(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void umat_porosity(KESTRO_UMAT_NOSTEP_PARAMETERS, KESTRO_UMAT_NOSTEP_LENGTHS) noexcept {
    solver::porosity(solver::UmatPoint{{KESTRO_UMAT_NOSTEP_ARGUMENTS}});
}

}  // namespace kestro::toplevel
