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
    if (!ply_constants(point, "umat_lamina", nye)) return clear_response(point);
    const int32_t ndi = point.ndi(), nshr = point.nshr(), *n = point.args.ntens;
    if (!served_layout(ndi, nshr, *n)) {
        unsupported_stiffness();
        return clear_response(point);
    }
    double *const c = point.args.ddsdde;
    GetNyeStiffnessMatrix(c, nye, n, nullptr);
    const auto state = damage_block(point.state());
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

// The ply at a block of explicit material points, incremental.
void lamina(const VumatBlock &block) {
    const auto stress = block.stress_new(), state = block.state_new();
    for (std::size_t k = 0; k < stress.rows * stress.columns; ++k) stress.a[k] = 0.0;
    for (std::size_t k = 0; k < state.rows * state.columns; ++k) state.a[k] = 0.0;
    for (double &e : block.inelastic_energy_new()) e = 0.0;
    double nye[ply::kConstants];
    if (!constants_of_properties(block.properties(), *block.args.nprops, nye))
        return elastic_block(block, ExplicitPly(), kWhole);
    if (!served_layout(block.ndir(), block.nshr())) {
        unsupported_stiffness();
        return elastic_block(block, ExplicitPly(), kWhole);
    }
    elastic_block(block, ExplicitPly(nye, block.ndir(), block.nshr()), kWhole);
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
