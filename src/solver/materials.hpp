// What the solvers' material entries share: the state variables of the damage
// block they read at fixed places, the ply's constants at a material point
// (from its properties, or from the elastic table by the ply and section the
// damage field hook keeps), and the elastic ply of the explicit solvers in
// their cyclic order with the increment of one point of a block and of a
// whole block.  Everything runs at every material point: fixed sizes on the
// stack, nothing allocated, the stiffness from the one law of the ply
// (GetNyeStiffnessMatrix).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/elementhandling.hpp"
#include "decl/lamina.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/plydata.hpp"
#include "solver/convention.hpp"

namespace kestro::solver {

// The damage block: the last 40 of a point's state variables, entry k being
// state variable nstatv - 40 + k, which the damage field hook writes.  With
// exactly 40 state variables the block is state variables 1 to 40.  Entries
// are 1-based reals.
inline constexpr int kDamageBlock = 40;
enum DamageState : int {
    ply_stress = 1,             // 1 to 6: the ply stress (Nye)
    general_flag = 7,           // running failure flags (0 or 1) of the five modes:
    fibre_flag = 8,             //   general, fibre, matrix, delamination, core
    matrix_flag = 9,            //
    delamination_flag = 10,     //
    core_flag = 11,             //
    other_interface_flag = 12,  // delamination of the other ply interface
    general_exposure = 13,      // 13 to 17: the exposures of the last evaluation, in the flags' order
    residual_factor = 18,       // residual factors 1 to 3 (18 to 20)
    fracture_residual = 20,     // 1 minus the limited fracture-plane damage
    ply_number = 21,            // ply and section index, as reals
    section_index = 22,         //
    element_index = 23,         // position in elemlist
    fracture_angle = 24,        // of matrix cracking, degrees from the ply's 1-2 plane
    fracture_angle_xz = 25,     // the same plane, radians from the xz-plane
    failure_mode = 26,          // 400 fibre + 40 matrix + 4 delamination flag
    fracture_state = 27,        // 27 to 30: the fracture-plane damage evolution
    characteristic_length = 35, //
};
// The field variables of the damage field hook: 1 to 5 the running flags of
// the five modes, 6 the fracture angle from the xz-plane over pi, 7 the
// limited fracture-plane damage.
enum DamageField : int { general_field = 1, fracture_angle_field = 6, fracture_damage_field = 7 };

// The damage block as the implicit ply routines read and write it: the last
// 40 state variables when there are more than 40, else the state variables
// from the first (entry k is state variable k).
inline std::span<double> damage_block(std::span<double> state) {
    return state.size() > kDamageBlock ? state.last(kDamageBlock) : state;
}

// The fresh-state mark: the state initialisation of the damage field hook puts
// the largest double into a point's last state variable; a material routine
// reads a value of at least 9.9e34 there as a point that has not run yet.
inline constexpr double kFreshMark = 9.9e34;

// Clears the fresh-state mark of a point (its last state variable becomes 0);
// true when the point was fresh.
inline bool clear_fresh_mark(std::span<double> state) {
    if (state.empty() || !(state.back() >= kFreshMark)) return false;
    state.back() = 0.0;
    return true;
}

// Records -2 "Error: Ply or section outside the elastic table in <routine>.".
void outside_elastic_table(std::string_view routine) noexcept;
// Records -2 "Invalid elastic constants in <routine>.": constants that make no
// positive-definite stiffness, which the routine still works with.
void invalid_elastic_constants(std::string_view routine) noexcept;
// Records that error when the ply's nine constants (nyeprops) make no
// positive-definite stiffness (a modulus not positive, or Poisson ratios
// past the bounds); the constants as they are either way.
inline void check_constants(const double *nyeprops, std::string_view routine) {
    if (!ply::positive_definite(ply::Constants::of(nyeprops))) invalid_elastic_constants(routine);
}
// Records -2 "Unsupported dimension in GetNyeStiffnessMatrix", the stiffness's
// own record, for a layout the entry does not serve.
void unsupported_stiffness() noexcept;

// The characteristic length that regularises a softening law: as given when
// positive and finite (in the model's unit of length), else 0.001.
inline double regularising_length(double length) {
    return length > 0.0 && std::isfinite(length) ? length : 0.001;
}

// The position (ply, section) of state variables 21 and 22, truncated, when
// peprops holds nine constants there: at least 22 state variables, both
// finite, at least 1 and within peprops' extents, peprops with at least 9
// rows.  Otherwise {0, 0}.
struct TablePosition {
    int32_t ply = 0, section = 0;
    explicit operator bool() const { return ply > 0; }
};

inline TablePosition elastic_table_position(std::span<const double> state) {
    const auto &table = materialdata::peprops;
    if (state.size() < section_index || !table.exists() || table.extent_of(1) < ply::kConstants) return {};
    // Truncated within 1 .. extent; NaN fails both comparisons.
    const auto index = [&state](int entry, int64_t extent) -> int32_t {
        const double v = state[static_cast<std::size_t>(entry - 1)];
        const double beyond = static_cast<double>(std::min<int64_t>(extent, kAbsentInt)) + 1.0;
        return v >= 1.0 && v < beyond ? static_cast<int32_t>(v) : 0;
    };
    const int32_t ply = index(ply_number, table.extent_of(2)), section = index(section_index, table.extent_of(3));
    return ply > 0 && section > 0 ? TablePosition{ply, section} : TablePosition{};
}

// The ply's nine constants (nyeprops) from the properties of a material
// point: GetNyeProperties of 2, 5 or 9 values.  False for another count (its
// error recorded, nyeprops 0).
inline bool constants_of_properties(std::span<const double> props, int32_t nprops, double *nyeprops) {
    GetNyeProperties(nyeprops, props.data(), &nprops);
    return nprops == 2 || nprops == 5 || nprops == ply::kConstants;
}

// The ply's nine constants of peprops(1:9, ply, section) at the position of
// state variables 21 and 22 of state.  False outside the table (the error
// recorded in the name of `routine`).
inline bool table_constants(std::span<const double> state, std::string_view routine, double *nyeprops) {
    const TablePosition at = elastic_table_position(state);
    if (!at) {
        outside_elastic_table(routine);
        return false;
    }
    for (int k = 0; k < ply::kConstants; ++k) nyeprops[k] = materialdata::peprops(k + 1, at.ply, at.section);
    return true;
}

// The same at the first point of an explicit block (its state variables 21
// and 22; a block without points or with fewer state variables is outside).
inline bool first_point_constants(const VumatBlock &block, std::string_view routine, double *nyeprops) {
    double first[section_index] = {};
    const std::size_t held = std::min<std::size_t>(extent(block.nstatev()), section_index);
    for (std::size_t j = 0; j < held && block.nblock() > 0; ++j) first[j] = block.state_old()(0, j);
    return table_constants({first, held}, routine, nyeprops);
}

// The ply's nine constants at a UMAT point: with one property value those of
// the elastic table at the position of entries 21 and 22 of the damage block,
// otherwise those of the properties.  False when there are none (the error
// recorded, for the table in the name of `routine`).
inline bool ply_constants(const UmatPoint &point, std::string_view routine, double *nyeprops) {
    if (point.nprops() != 1) return constants_of_properties(point.properties(), point.nprops(), nyeprops);
    return table_constants(damage_block(point.state()), routine, nyeprops);
}

// Stress, tangent and energy of a UMAT point that gets no stiffness: zero.
inline void clear_response(const UmatPoint &point) {
    for (double &s : point.stress()) s = 0.0;
    lamina::zero_square(point.args.ddsdde, point.ntens());
    point.sse() = 0.0;
}

// The elastic ply of an explicit block in the solver's order 11, 22, 33, 12,
// 23, 13, for ndir + nshr components: 6 the orthotropic stiffness, 4 and 3
// the plane-stress entries (with 4, ndir 3 and nshr 1, the condensed 11, 22,
// 12 with row and column 33 zero); other counts record -2 "Unsupported
// dimension in GetNyeStiffnessMatrix" and have no stiffness (n 0).
struct ExplicitPly {
    int32_t n = 0, ndir = 0;   // components of the stiffness (0: none), direct ones
    bool plane_stress = false;  // ndir 3, nshr 1: the thickness strain follows the stress
    double c[36];               // column-major n x n
    double e3 = 0.0, nu31 = 0.0, nu32 = 0.0;

    // No stiffness (n 0); a caller that forms its own puts c, n and ndir.
    ExplicitPly() = default;
    ExplicitPly(const double *nyeprops, int32_t ndir_, int32_t nshr)
        : ndir(ndir_), plane_stress(ndir_ == 3 && nshr == 1) {
        const auto p = ply::Constants::of(nyeprops);
        e3 = p.e3;
        nu31 = p.nu13 * p.e3 / p.e1;
        nu32 = p.nu23 * p.e3 / p.e2;
        const int64_t count = int64_t{ndir} + nshr;
        const int32_t ncomp = count == 3 || count == 4 ? static_cast<int32_t>(count) : 0, plane = 0;
        if (count == 6) {
            ply::Matrix<6> nye;
            ply::orthotropic_stiffness(nye, p);
            cyclic_of_nye_matrix(nye.data(), c);
            n = 6;
        } else if (ncomp != 0) {
            GetNyeStiffnessMatrix(c, nyeprops, &ncomp, &plane);  // 11, 22, (33,) 12 stand alike in both orders
            n = ncomp;
        } else {
            unsupported_stiffness();
        }
    }

    // The ply of a three-dimensional block given its whole stiffness nye
    // (column-major 6 x 6, Nye order, engineering shears).
    static ExplicitPly of_stiffness(const double *nye) {
        ExplicitPly p;
        cyclic_of_nye_matrix(nye, p.c);
        p.n = 6;
        p.ndir = 3;
        return p;
    }

    // The stress increment ds(N) of the engineering strain increment e(N): C e.
    template <int N>
    void increment(const double *e, double *ds) const {
        for (int i = 0; i < N; ++i) ds[i] = 0.0;
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) ds[i] += c[j * N + i] * e[j];
    }
};

// The elastic increment of point k of a block of N components (the ply's
// n): e(N) = straininc(k, :) with the shears doubled, ds = C e, stressnew(k,
// :) = stressold(k, :) + ds; a plane-stress point's thickness strain
// increment straininc(k, 3) (and e(3)) becomes the one that keeps the stress
// plane (GetPlaneStressEpsZZ).  On return s(N) holds stressnew(k, :).
// Inlined, so that e and s stay in the caller's registers: read back from
// memory as pairs, their narrow stores would stall the loads.
template <int N>
[[gnu::always_inline]] inline void elastic_increment(const VumatBlock &block, const ExplicitPly &ply, std::size_t k,
                                                     double *e, double *s) {
    const auto increment = block.increment(), stress = block.stress_new();
    const auto old = block.stress_old();
    // Local values, which the caller's e and s cannot alias.
    double strain[N], ds[N];
    for (int j = 0; j < N; ++j) {
        const double v = increment(k, static_cast<std::size_t>(j));
        strain[j] = j < ply.ndir ? v : 2.0 * v;
    }
    ply.increment<N>(strain, ds);
    for (int j = 0; j < N; ++j) {
        e[j] = strain[j];
        s[j] = old(k, static_cast<std::size_t>(j)) + ds[j];
        stress(k, static_cast<std::size_t>(j)) = s[j];
    }
    if (ply.plane_stress) {
        e[ply::N33] = GetPlaneStressEpsZZ(&ply.e3, &ply.nu31, &ply.nu32, &ds[0], &ds[1]);
        increment(k, ply::N33) = e[ply::N33];
    }
}

// The elastic increment of every point of a block with the ply's stiffness
// (6, 4 or 3 components) and its work in the internal energy, weighted by
// weight(k): new = old + weight(k) 0.5 (s_new + s_old) . e / density.  A ply
// without a stiffness keeps the old stress, s_new = s_old.  The inelastic
// energy and the state are the caller's.
template <int N, class Weight>
void elastic_points(const VumatBlock &block, const ExplicitPly &ply, const Weight &weight) {
    const auto old = block.stress_old();
    const auto density = block.density(), energy_old = block.internal_energy_old();
    const auto energy = block.internal_energy_new();
    for (std::size_t k = 0; k < density.size(); ++k) {
        double e[N], s[N], work = 0.0;
        elastic_increment<N>(block, ply, k, e, s);
        for (int j = 0; j < N; ++j) work += (s[j] + old(k, static_cast<std::size_t>(j))) * e[j];
        energy[k] = energy_old[k] + weight(k) * 0.5 * work / density[k];
    }
}

template <class Weight>
void elastic_block(const VumatBlock &block, const ExplicitPly &ply, const Weight &weight) {
    switch (ply.n) {
        case 6:
            return elastic_points<6>(block, ply, weight);
        case 4:
            return elastic_points<4>(block, ply, weight);
        case 3:
            return elastic_points<3>(block, ply, weight);
        default:
            break;
    }
    const auto increment = block.increment(), stress = block.stress_new();
    const auto old = block.stress_old();
    const auto density = block.density(), energy_old = block.internal_energy_old();
    const auto energy = block.internal_energy_new();
    for (std::size_t k = 0; k < density.size(); ++k) {
        double work = 0.0;
        for (std::size_t j = 0; j < block.ncomp(); ++j) {
            stress(k, j) = old(k, j);
            const double e = static_cast<int64_t>(j) < block.ndir() ? increment(k, j) : 2.0 * increment(k, j);
            work += (old(k, j) + old(k, j)) * e;
        }
        energy[k] = energy_old[k] + weight(k) * 0.5 * work / density[k];
    }
}

// The weight of a point whose energy counts whole.
inline constexpr auto kWhole = [](std::size_t) { return 1.0; };

}  // namespace kestro::solver
