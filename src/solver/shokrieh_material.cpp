// The Shokrieh fatigue material at an implicit point (umat_shokrieh, and
// usermat_shokrieh through the ANSYS adapter): a unidirectional ply, or a
// woven layer taken as two unidirectional layers at +angle and -angle whose
// stresses and stiffnesses are averaged back.  The fatigue model itself is
// the Shokrieh layer (GetShokrieh); this point keeps both layers' 77 values
// and their backups in its 312 state variables, a working half (1 to 156)
// and the backup half (157 to 312).  Nothing is allocated (the element trace
// aside).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>
#include <string_view>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/elementhandling.hpp"
#include "decl/fatigue.hpp"
#include "decl/toplevel.hpp"
#include "decl/wrapper.hpp"
#include "math/small.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace {

using namespace kestro;
using math::small::Matrix;
using math::small::Vector;

// The state variables, as 0-based offsets of their 1-based numbers.
constexpr std::size_t kAngle = 0;                 // 1: the layer angle in degrees
constexpr std::size_t kLayers[2] = {1, 78};       // 2 and 79: the 77 values of layers 1 and 2
constexpr std::size_t kHalf = 156;                // the working half; its backup follows
constexpr std::size_t kStates = 2 * kHalf;        // the layout's length
constexpr int32_t kAngleProperty = 149;           // props(149): the layer angle in degrees
// Entries of a layer's 77 values (0-based): the cycle count, the stress, the
// count of the last update, the stiffness and strength fractions (to one past
// the last), the smallest life.
constexpr std::size_t kCycle = 0, kStress = 1, kUpdated = 43, kFractions = 58, kFractionsEnd = 73, kSmallest = 76;

// A point that has not run: a working half of zeros, or the fresh-state mark
// in the last state variable.
bool fresh(std::span<const double> state) {
    return state.back() >= solver::kFreshMark ||
           std::all_of(state.begin(), state.begin() + kHalf, [](double v) { return v == 0.0; });
}

// Both layers' start values (cycle counts 1, or 0 in a direct-cyclic step;
// undamaged fractions), then the backup half as a copy of the working half.
void initialise(double *s, bool direct_cyclic) {
    for (const std::size_t layer : kLayers) {
        s[layer + kCycle] = s[layer + kUpdated] = direct_cyclic ? 0.0 : 1.0;
        std::fill(s + layer + kFractions, s + layer + kFractionsEnd, 1.0);
    }
    s[kHalf - 1] = 0.0;
    std::copy_n(s, kHalf, s + kHalf);
}

// What every call of the layer model shares.
struct LayerCall {
    const solver::UmatPoint &point;
    int32_t thickness, direct_cyclic;  // iszflag, idcflag

    void operator()(double *stress, double *tangent, double *state, const double *strain,
                    const double *increment) const {
        const auto &a = point.args;
        GetShokrieh(stress, tangent, state, strain, increment, a.props, a.time, a.dtime, a.temp, a.dtemp, a.nprops,
                    a.noel, a.jstep, a.kinc, &thickness, &direct_cyclic, state + kHalf);
    }
};

// The woven layer at theta (radians): layer m at +theta and -theta from the
// engineering strains turned into its axes (T_m), its stress started from
// its own state; stress = the mean of T_m' s_m and tangent the mean of
// T_m' c_m T_m, the limit of central differences of those linear maps.
void woven(const LayerCall &layer, double theta, double *s, const Vector<6> &strain, const Vector<6> &increment,
           Vector<6> &stress, Matrix<6> &tangent) {
    stress = Vector<6>{};
    tangent = Matrix<6>{};
    for (int m = 0; m < 2; ++m) {
        Matrix<6> t, c{}, ct;
        lamina::rotation(m == 0 ? theta : -theta, false, 6, t.data());
        Vector<6> e{}, de{}, sm;
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i) {
                e[i] += t(i, j) * strain[j];
                de[i] += t(i, j) * increment[j];
            }
        double *state = s + kLayers[m];
        std::copy_n(state + kStress, 6, sm.data());
        layer(sm.data(), c.data(), state, e.data(), de.data());
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i) {
                double sum = 0.0;
                for (int k = 0; k < 6; ++k) sum += c(i, k) * t(k, j);
                ct(i, j) = sum;
            }
        for (int i = 0; i < 6; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 6; ++k) sum += t(k, i) * sm[k];
            stress[i] += 0.5 * sum;
            for (int j = 0; j < 6; ++j) {
                double entry = 0.0;
                for (int k = 0; k < 6; ++k) entry += t(k, i) * ct(k, j);
                tangent(i, j) += 0.5 * entry;
            }
        }
    }
}

// The element trace on standard output.
void trace(const solver::UmatPoint &p, bool direct_cyclic) {
    const auto &a = p.args;
    const auto write = [](std::span<const format::Value> values) {
        units::write_record(units::standard_output, format::list_record(values));
    };
    const auto vector = [&write](std::string_view label, const double *v, int32_t n) {
        std::array<format::Value, 7> values{label, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        for (int32_t i = 0; i < n; ++i) values[static_cast<std::size_t>(i) + 1] = v[i];
        write(std::span(values).first(static_cast<std::size_t>(n) + 1));
    };
    const int32_t n = p.ntens();
    write(std::array<format::Value, 1>{" ---------------- START TopLevel  ----------------"});
    write(std::array<format::Value, 5>{"NOEL, NPT, LAYER, KSPT", *a.noel, *a.npt, *a.layer, *a.kspt});
    write(std::array<format::Value, 4>{"TIME, DTIME", a.time[0], a.time[1], *a.dtime});
    vector("STRAN", a.stran, n);
    vector("DSTRAN", a.dstran, n);
    vector("STRESS", a.stress, n);
    for (int32_t j = 0; j < n; ++j) vector("DDSDDE", a.ddsdde + j * n, n);
    if (direct_cyclic) write(std::array<format::Value, 1>{"THIS IS AN DC ANALYSIS"});
}

void shokrieh(const solver::UmatPoint &p) {
    const int32_t ntens = p.ntens();
    if ((ntens != 3 && ntens != 4 && ntens != 6) || p.nstatv() < static_cast<int32_t>(kStates)) {
        record_error(-2, "Unsupported dimension in umat_shokrieh");
        return;
    }
    const auto &a = p.args;
    const std::span<double> state = p.state();
    double *s = state.data();
    const bool direct_cyclic = a.jstep[1] == 6 || a.jstep[1] == 7;
    if (*a.kinc < 2 && fresh(state)) {
        initialise(s, direct_cyclic);
        solver::clear_fresh_mark(state);  // a longer state keeps its mark past the layout
    }

    // The layer's constants props(1:9) as GetShokrieh takes them (E1, E2, E3, nu12, nu13, nu23, G12, G13, G23).
    if (p.nprops() >= ply::kConstants) solver::check_constants(a.props, "umat_shokrieh");

    Vector<6> stress{}, strain{}, increment{};
    Matrix<6> tangent{};
    Get3DInputFromElem(stress.data(), strain.data(), increment.data(), a.stress, a.stran, a.dstran, a.ntens, nullptr,
                       nullptr, nullptr, nullptr);
    const double degrees = p.nprops() >= kAngleProperty ? a.props[kAngleProperty - 1] : 0.0;
    s[kAngle] = degrees;
    const LayerCall layer{p, ntens != 3, direct_cyclic};
    if (degrees == 0.0)
        layer(stress.data(), tangent.data(), s + kLayers[0], strain.data(), increment.data());
    else
        woven(layer, degrees * std::numbers::pi / 180.0, s, strain, increment, stress, tangent);
    for (const std::size_t l : kLayers)
        if (s[l + kSmallest] == 0.0) s[l + kSmallest] = kLargestReal;

    Vector<6> old;
    std::copy_n(a.stress, ntens, old.data());
    GetElemOutputFrom3D(a.stress, a.ddsdde, stress.data(), tangent.data(), a.ntens, nullptr);
    double energy = 0.0;
    for (int32_t i = 0; i < ntens; ++i) energy += (old[i] + 0.5 * (a.stress[i] - old[i])) * a.dstran[i];
    *a.sse += energy;
    if (*a.noel == debugdata::edebug) trace(p, direct_cyclic);
}

}  // namespace

void kestro::toplevel::umat_shokrieh(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    shokrieh(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void kestro::toplevel::usermat_shokrieh(KESTRO_USERMAT_PARAMETERS) noexcept {
    wrapper::abq_umat_to_ansys_usermat(&toplevel::umat_shokrieh, KESTRO_USERMAT_ARGUMENTS);
}
