// The sensor materials (umat_sensor, vumat_sensor): the material of an
// impactor's sensor instance.  It carries practically no stiffness, so that
// it does not disturb the model, and reports the impactor's motion, and in
// impact steps its contact, in the state variables of every point, where the
// solver's output picks them up.  No allocation, no output, nothing refused.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "decl/elementhandling.hpp"
#include "decl/toplevel.hpp"
#include "solver/control.hpp"
#include "solver/convention.hpp"

namespace kestro::toplevel {

namespace {

using solver::extent;

// The sensor's elastic matrix: lambda + 2 G on the direct diagonal, lambda
// between direct components and G on the shear diagonal, of E = 1e-20 and
// nu = 0.49, as the literals the material is defined by (recomputed, the
// first two differ in the last digit).
constexpr double kDirect = 1.711409395973153e-19, kCoupling = 1.6442953020134214e-19,
                 kShear = 3.355704697986577e-21;
// The modulus and Poisson ratios of the plane-stress thickness increment.
constexpr double kModulus = 1e-20, kPoisson = 0.49;

// Rows (0-based) of the impactor's column of dprops that the sensor writes:
// the load code and the half lengths of the loaded area.
enum LoadRow : int { load_code = 0, half_length_1 = 7, half_length_2 = 8, half_length_3 = 9, half_length_4 = 10 };
// A load code of exactly this value becomes its negative once the loaded
// area is set.
constexpr double kFlippedLoadCode = 1.0;

// The rows of cprops copied to the state: motion always, contact in impact
// steps.
constexpr int kReported = 3;

// Row i of the elastic matrix (`direct` direct components first) times the
// strain, added to `start` in column order; the zero entries are skipped.
template <class Strain>
double elastic_row(std::size_t i, std::size_t direct, const Strain &strain, double start) {
    if (i >= direct) return start + kShear * strain(i);
    double sum = start;
    for (std::size_t j = 0; j < direct; ++j) sum += (i == j ? kDirect : kCoupling) * strain(j);
    return sum;
}

// With exactly two properties they are the half lengths of the impactor's
// loaded area.
void set_loaded_area(std::span<const double> props, double *dprops) {
    if (props.size() != 2) return;
    if (dprops[load_code] == kFlippedLoadCode) dprops[load_code] = -kFlippedLoadCode;
    dprops[half_length_3] = 0.0;
    dprops[half_length_4] = 0.0;
    dprops[half_length_1] = props[0];
    dprops[half_length_2] = props[1];
}

// One point's state of `count` values, `stride` apart: 0, then the
// impactor's displacement, velocity and acceleration, and in impact steps
// with more than five values its force, contact radius and indentation.
void report(double *state, std::size_t stride, std::size_t count, int32_t stepid, const double *cprops) {
    for (std::size_t k = 0; k < count; ++k) state[k * stride] = 0.0;
    for (std::size_t k = 0; k < std::min<std::size_t>(kReported, count); ++k)
        state[k * stride] = cprops[solver::displacement - 1 + k];
    if (stepid != solver::impact || count < 2 * kReported) return;
    for (std::size_t k = 0; k < kReported; ++k) state[(kReported + k) * stride] = cprops[solver::force - 1 + k];
}

// The implicit point with `n` components, `direct` of them direct: counts
// given as compile-time constants for the three-dimensional point, whose
// loops then unroll.
template <class Count, class Directs>
void update_point(const solver::UmatPoint &p, Count n, Directs direct) {
    double *stress = p.args.stress;
    const double *increment = p.args.dstran;
    const auto tangent = p.tangent();
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            tangent(i, j) = i == j ? (i < direct ? kDirect : kShear) : i < direct && j < direct ? kCoupling : 0.0;
    // The incremental update and its energy, component by component, so
    // that the incoming stress needs no copy.
    const auto strain = [&](std::size_t j) { return increment[j]; };
    double work = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double old = stress[i];
        stress[i] = elastic_row(i, direct, strain, old);
        work += (stress[i] + old) * increment[i];
    }
    p.sse() += 0.5 * work;
}

void sensor_point(const solver::UmatPoint &p, int32_t stepid, const double *cprops, double *dprops) {
    const std::size_t n = extent(p.ntens()), direct = std::min(extent(p.ndi()), n);
    using Solid = std::integral_constant<std::size_t, 6>;
    using Directs = std::integral_constant<std::size_t, 3>;
    if (n == Solid{} && direct == Directs{})
        update_point(p, Solid{}, Directs{});
    else
        update_point(p, n, direct);
    p.spd() = 0.0;
    p.scd() = 0.0;
    set_loaded_area(p.properties(), dprops);
    report(p.args.statev, 1, p.state().size(), stepid, cprops);
}

// The explicit points are worked kLanes at a time, component by component:
// the tables hold a component's values of neighbouring points side by side,
// so each step is a short loop over the lanes, every value gathered into and
// scattered from the stack; each point's sums are those of the point alone.
constexpr std::size_t kLanes = 8;

// Points first .. first + lanes - 1 of the block (lanes a compile-time
// constant for whole groups, whose loops then vectorize).
// Their state: `reported` values (the rest 0) at every point.
template <class Lanes>
void update_points(const solver::VumatBlock &b, const solver::Table<double> &strain, std::size_t first, Lanes lanes,
                   std::size_t direct, bool plane_stress, std::span<const double> reported) {
    const auto old = b.stress_old();
    const auto next = b.stress_new();
    const auto state = b.state_new();
    double work[kLanes] = {}, in_plane[2][kLanes] = {}, thickness[kLanes] = {};
    for (std::size_t i = 0; i < strain.columns; ++i) {
        // The increment: row i of the elastic matrix times the strain, its
        // zero entries skipped.
        double d[kLanes] = {}, e[kLanes], o[kLanes], s[kLanes];
        const std::size_t from = i < direct ? 0 : i, to = i < direct ? direct : i + 1;
        for (std::size_t j = from; j < to; ++j) {
            const double c = i == j ? (i < direct ? kDirect : kShear) : kCoupling;
            for (std::size_t l = 0; l < lanes; ++l) d[l] += c * strain(first + l, j);
        }
        if (i < 2)
            for (std::size_t l = 0; l < lanes; ++l) in_plane[i][l] = d[l];
        if (i == 2 && plane_stress) {  // the thickness increment, once its own stress is taken
            for (std::size_t l = 0; l < lanes; ++l)
                thickness[l] = GetPlaneStressEpsZZ(&kModulus, &kPoisson, &kPoisson, &in_plane[0][l], &in_plane[1][l]);
            for (std::size_t l = 0; l < lanes; ++l) e[l] = thickness[l];
        } else {
            for (std::size_t l = 0; l < lanes; ++l) e[l] = strain(first + l, i);
        }
        for (std::size_t l = 0; l < lanes; ++l) o[l] = old(first + l, i);
        for (std::size_t l = 0; l < lanes; ++l) {
            s[l] = o[l] + d[l];
            work[l] += (s[l] + o[l]) * e[l];
        }
        for (std::size_t l = 0; l < lanes; ++l) next(first + l, i) = s[l];
    }
    if (plane_stress)
        for (std::size_t l = 0; l < lanes; ++l) strain(first + l, 2) = thickness[l];
    for (std::size_t l = 0; l < lanes; ++l)
        b.args.enerinternnew[first + l] =
            b.args.enerinternold[first + l] + 0.5 * work[l] / b.args.density[first + l];
    for (std::size_t l = 0; l < lanes; ++l) b.args.enerinelasnew[first + l] = 0.0;
    for (std::size_t j = 0; j < state.columns; ++j) {
        const double v = j < reported.size() ? reported[j] : 0.0;
        for (std::size_t l = 0; l < lanes; ++l) state(first + l, j) = v;
    }
}

void sensor_block(const solver::VumatBlock &b, double *straininc, int32_t stepid, const double *cprops,
                  double *dprops) {
    const std::size_t points = extent(b.nblock()), n = b.ncomp(), direct = std::min(extent(b.ndir()), n);
    if (points == 0) return;
    const solver::Table<double> strain{straininc, points, n};
    const bool plane_stress = b.ndir() == 3 && b.nshr() == 1;
    // The state is the same at every point: its leading values once.
    double values[2 * kReported];
    const std::span<const double> reported(values, std::min<std::size_t>(extent(b.nstatev()), 2 * kReported));
    report(values, 1, reported.size(), stepid, cprops);
    std::size_t first = 0;
    for (; first + kLanes <= points; first += kLanes)
        update_points(b, strain, first, std::integral_constant<std::size_t, kLanes>{}, direct, plane_stress,
                      reported);
    if (first < points) update_points(b, strain, first, points - first, direct, plane_stress, reported);
    set_loaded_area(b.properties(), dprops);
}

}  // namespace

void umat_sensor(KESTRO_UMAT_NOSTEP_PARAMETERS, const int32_t *stepid, const double *cprops, double *dprops,
                 KESTRO_UMAT_NOSTEP_LENGTHS) noexcept {
    sensor_point(solver::UmatPoint{{KESTRO_UMAT_NOSTEP_ARGUMENTS}}, *stepid, cprops, dprops);
}

void vumat_sensor(KESTRO_VUMAT_PARAMETERS, const int32_t *stepid, const double *cprops, double *dprops,
                  KESTRO_VUMAT_LENGTHS) noexcept {
    sensor_block(solver::VumatBlock{{KESTRO_VUMAT_ARGUMENTS}}, straininc, *stepid, cprops, dprops);
}

}  // namespace kestro::toplevel
