// The ply material entries: the linear-elastic orthotropic ply at an implicit
// material point (umat_lamina, the model; its ANSYS and Peridigm entries are
// that routine through the adapters of module wrapper), at a block of
// explicit points (vumat_lamina, incremental) and the MSC Marc placeholder.
// Every point is closed forms on the stack: the stiffness from the ply's law,
// no inverse, nothing allocated.
#include <cstddef>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/degradation.hpp"
#include "decl/toplevel.hpp"
#include "decl/wrapper.hpp"
#include "math/arithmetic.hpp"
#include "mechanics/ply.hpp"
#include "solver/control.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::solver {

namespace {

// The layouts the ply serves: 3 (11, 22, 12), 4 (11, 22, 33, 12) or 6
// components, ndi direct ones then nshr shears, at most three of each.
bool served(int32_t ndi, int32_t nshr, int32_t ntens) {
    return (ntens == 3 || ntens == 4 || ntens == 6) && ndi + nshr == ntens && ndi >= 0 && ndi <= 3 && nshr >= 0 &&
           nshr <= 3;
}

// Stress, tangent and energy of a point that gets no stiffness.
void no_response(const UmatPoint &point) {
    for (double &s : point.stress()) s = 0.0;
    lamina::zero_square(point.args.ddsdde, point.ntens());
    point.sse() = 0.0;
}

// The stiffness c(n, n) degraded from the damage flags and the residual factor
// the damage block keeps: entry by entry by the factors of the image-correlation
// scheme (5, a tape ply, the default factors).
void degrade_for_image_correlation(std::span<const double> state, double *c, const int32_t *n) {
    const auto sv = [&state](int entry) { return state[static_cast<std::size_t>(entry - 1)]; };
    const double flags[10] = {sv(fibre_flag), 0.0, sv(matrix_flag), 0.0, sv(delamination_flag), 0.0,
                              sv(core_flag), sv(other_interface_flag), 0.0, 0.0};
    constexpr int32_t scheme = 5;
    constexpr kestro_logical1 tape = 1;
    double factors[ply::kFactors], d[36];
    RuvazuDegradation(factors, flags, &state[residual_factor - 1], &scheme, &tape, nullptr);
    GetNyeDegradationMatrix(factors, d, n, nullptr);
    HadamardProduct(d, c, c, n, n);
}

// The ply at an implicit material point.
void lamina(const UmatPoint &point) {
    point.spd() = 0.0;
    point.scd() = 0.0;
    double nye[ply::kConstants];
    if (!ply_constants(point, "umat_lamina", nye)) return no_response(point);
    const int32_t ndi = point.ndi(), nshr = point.nshr(), *n = point.args.ntens;
    if (!served(ndi, nshr, *n)) {
        unsupported_stiffness();
        return no_response(point);
    }
    double *const c = point.args.ddsdde;
    GetNyeStiffnessMatrix(c, nye, n, nullptr);
    const auto state = point.state();
    if (state.size() >= residual_factor && step_kind(point.step()) == image_correlation)
        degrade_for_image_correlation(state, c, n);
    // The secant stress and energy of the total strain.
    constexpr kestro_logical1 secant = 1, engineering = 0;
    double *const stress = point.args.stress;
    GetStressVector(stress, c, point.args.stran, point.args.dstran, &ndi, n, &secant, &engineering);
    GetSpecificStrainEnergy(&point.sse(), stress, stress, point.args.stran, point.args.dstran, &ndi, n, &secant,
                            &engineering);
    if (state.size() > 5) {
        for (int32_t i = 0; i < ndi; ++i) state[static_cast<std::size_t>(i)] = stress[i];
        for (int32_t i = 0; i < nshr; ++i) state[static_cast<std::size_t>(3 + i)] = stress[ndi + i];
    }
}

// Points of N components: the elastic increment and the internal energy.
template <int N>
void lamina_points(const VumatBlock &block, const ExplicitPly &ply) {
    const auto old = block.stress_old();
    const auto density = block.density(), energy_old = block.internal_energy_old();
    const auto energy = block.internal_energy_new();
    for (std::size_t k = 0; k < density.size(); ++k) {
        double e[N], s[N], work = 0.0;
        elastic_increment<N>(block, ply, k, e, s);
        for (int j = 0; j < N; ++j) work += (s[j] + old(k, static_cast<std::size_t>(j))) * e[j];
        energy[k] = energy_old[k] + 0.5 * work / density[k];
    }
}

// Points of a layout without a stiffness: no stress increment.
void unserved_points(const VumatBlock &block, int32_t ndir) {
    const auto increment = block.increment(), stress = block.stress_new();
    const auto old = block.stress_old();
    const auto density = block.density(), energy_old = block.internal_energy_old();
    const auto energy = block.internal_energy_new();
    for (std::size_t k = 0; k < density.size(); ++k) {
        double work = 0.0;
        for (std::size_t j = 0; j < block.ncomp(); ++j) {
            stress(k, j) = old(k, j);
            const double e = static_cast<int64_t>(j) < ndir ? increment(k, j) : 2.0 * increment(k, j);
            work += 2.0 * old(k, j) * e;
        }
        energy[k] = energy_old[k] + 0.5 * work / density[k];
    }
}

// The ply at a block of explicit material points, incremental.
void lamina(const VumatBlock &block) {
    const auto stress = block.stress_new(), state = block.state_new();
    for (std::size_t k = 0; k < stress.rows * stress.columns; ++k) stress.a[k] = 0.0;
    for (std::size_t k = 0; k < state.rows * state.columns; ++k) state.a[k] = 0.0;
    for (double &e : block.inelastic_energy_new()) e = 0.0;
    double nye[ply::kConstants];
    if (!constants_of_properties(block.properties(), *block.args.nprops, nye))
        return unserved_points(block, block.ndir());
    const ExplicitPly ply(nye, block.ndir(), block.nshr());
    switch (ply.n) {
        case 6:
            return lamina_points<6>(block, ply);
        case 4:
            return lamina_points<4>(block, ply);
        case 3:
            return lamina_points<3>(block, ply);
        default:
            return unserved_points(block, block.ndir());
    }
}

// The placeholder of the MSC Marc convention.
void placeholder(const HypelaPoint &point) {
    *point.args.error_code = 0;
    lamina::zero_square(point.args.d, point.ngens());
    for (double &g : point.thermal_stress()) g = 0.0;
    for (double &s : point.stress()) s = 0.0;
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void umat_lamina(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    solver::lamina(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void usermat_lamina(KESTRO_USERMAT_PARAMETERS) noexcept {
    wrapper::abq_umat_to_ansys_usermat(umat_lamina, KESTRO_USERMAT_ARGUMENTS);
}

void upermat_lamina(KESTRO_UPERMAT_PARAMETERS) noexcept {
    wrapper::abq_umat_to_peridigm_upermat(umat_lamina, KESTRO_UPERMAT_ARGUMENTS);
}

void vumat_lamina(KESTRO_VUMAT_PARAMETERS, KESTRO_VUMAT_LENGTHS) noexcept {
    solver::lamina(solver::VumatBlock{{KESTRO_VUMAT_ARGUMENTS}});
}

void hypela_lamina(KESTRO_HYPELA_PARAMETERS) noexcept {
    solver::placeholder(solver::HypelaPoint{{KESTRO_HYPELA_ARGUMENTS}});
}

}  // namespace kestro::toplevel
