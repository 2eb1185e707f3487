// The impactor element of the implicit solver (uel_impact): a truss of
// negligible stiffness whose nodes follow the struck point.  In impact steps
// it predicts the impactor's free position with the solver's HHT formulas,
// charges the contact force against the compliances of impactor and
// structure and solves the contact law for it, in closed form or by a
// bracketed root search.  In structural-response steps it applies a unit
// force and records the struck point's answer, once or for a table of time
// increments that it asks the solver for through pnewdt.  What must survive a
// repeated increment lives in the impactor's column of cprops and in csvars.
// Nothing here allocates but the creation of csvars.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/markers.hpp"
#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "core/shared_data.hpp"
#include "core/utility.hpp"
#include "decl/conventions.hpp"
#include "decl/interaction.hpp"
#include "decl/math.hpp"
#include "solver/control.hpp"
#include "solver/elements.hpp"

namespace kestro::solver {

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;

// Rows of the impactor's column that this element reads in its own sense.
constexpr int reference_row = cleared_each_update;   // impact: the frozen reference displacement;
                                                     // structural response: the measurement, 0 while open
constexpr int number_row = largest_force;            // structural response: the impactor's number
constexpr int smallest_increment_row = largest_indentation;  // structural response: the table's last increment
// props(12, 13) of the user's power law (contact-law flag 2).
constexpr int power_law_stiffness = critical_indentation, power_law_exponent = scheme_weight;

// The argument vector of ContactLaw: stiffness, free position, impactor
// compliance, reference, structure compliance, exponent, permanent
// indentation, then kSamples forces and their stiffnesses.
constexpr int32_t kSamples = 50, kLawArgs = 7 + 2 * kSamples;
// The search stops within 0.001 force units, or 1e-9 of the bracket where
// that is finer (a first touch in SI units is a force of micronewtons).
constexpr double kForceTolerance = 0.001, kRelativeForceTolerance = 1e-9;
constexpr int32_t kSearchSteps = 100;

// The Hertz force F = kc s^3 at the indentation s^2 = D - c F of the
// approach D > 0 against the compliance c.  With s = sqrt(D) / t the cubic
// becomes t^3 - t - mu = 0, mu = kc c sqrt(D), whose largest root is 1 or
// more whatever mu is: the closed form of Solution3PE, then Newton's steps on
// the same cubic, give t to the last bits, where the cubic in s loses every
// digit once mu is small (each first touch).  A mu too large for a double
// leaves the compliance all of the approach: F = D / c, t^3 = mu + t.
double hertz_force(double kc, double approach, double compliance) {
    const double root = std::sqrt(approach), mu = kc * compliance * root;
    if (std::isinf(mu)) return approach / compliance;
    const double one = 1.0, none = 0.0, minus_one = -1.0, minus_mu = -mu;
    double t1 = 0.0, t2 = 0.0, t = 0.0;
    Solution3PE(&one, &none, &minus_one, &minus_mu, &t1, &t2, &t);
    if (!(std::isfinite(t) && t > 0.0)) t = std::cbrt(mu) + 1.0;  // above the root: Newton falls to it
    for (int step = 0; step < 8; ++step) {
        const double slope = 3.0 * t * t - 1.0;
        if (!(slope > 0.0)) break;
        const double change = ((t * t - 1.0) * t - mu) / slope;
        t -= change;
        if (!(std::abs(change) > 4.0 * kEpsilon * t)) break;
    }
    const double s = root / t;
    return kc * s * s * s;
}

// The rows of the compliance table that nsvars holds: n = (nsvars - 20) / 2
// when nsvars is above 20 and even, else none.
int32_t table_rows(int32_t nsvars) {
    return nsvars > kImplicitImpactorStates && nsvars % 2 == 0 ? (nsvars - kImplicitImpactorStates) / 2 : 0;
}

// The column of csvars that an impactor number names: the number truncated,
// when it is finite and within 1 .. nimp and the columns csvars has; else 0.
int64_t csvars_column(double number) {
    const double limit =
        static_cast<double>(std::min<int64_t>(std::max(loaddata::nimp, 0), impactdata::csvars.extent_of(2)));
    const double i = std::trunc(number);
    return i >= 1.0 && i <= limit ? static_cast<int64_t>(i) : 0;
}

// csvars as rows x nimp zeros, created anew unless `keep` accepts its extents.
template <class Keep>
void shape_csvars(int64_t rows, Keep keep) {
    auto &table = impactdata::csvars;
    const int64_t impactors = std::max(loaddata::nimp, 0);
    if (table.exists() && keep(table.extent_of(1), table.extent_of(2), impactors)) return;
    table.drop();
    table.create(rows, impactors);
}

class ImplicitImpactor {
public:
    ImplicitImpactor(const ImplicitTrussCall &call, const TrussMotion &motion, const double *props,
                     const int32_t *jprops, const double *time, int32_t kinc, double *pnewdt, double *cprops)
        : c_(call), m_(motion), props_(props), time_(time), kinc_(kinc), pnewdt_(pnewdt), cprops_(cprops),
          irfflag_(jprops[force_mode - 1]), icsflag_(jprops[stiffness_flag - 1]),
          iclflag_(jprops[contact_law_flag - 1]), csprops_(contact_stiffness_props(props)) {}

    void run(int32_t kstep) {
        const int32_t procedure = c_.lflags[0], pass = c_.lflags[2];
        const bool statics = procedure == 1 || procedure == 2, dynamics = procedure == 11 || procedure == 12;
        if (pass == 1 && (statics || dynamics))
            state(stretch) = m_.ue[1] - m_.ue[0];
        else if (pass == 100 && statics)
            state(stretch) = m_.due[0][1] - m_.due[0][0];  // a perturbation: the increment
        dynamic_ = pass == 1 && dynamics;
        if (!jobdata::stepid.exists()) return;  // no analysis control has run

        const int32_t kind = step_kind(kstep);
        if (kind == initialization && kinc_ != 0) {
            start_impactor(cprops_, props_);
            state(gravity_copy) = row(acceleration);
            for (int column = structure_compliance; column <= kImpactorStates; ++column) state(column) = 0.0;
        }
        std::copy_n(c_.params, 3, &row(scheme_alpha));  // the solver's alpha, beta, gamma
        if (idle()) row(scheme_alpha) = row(scheme_beta) = row(scheme_gamma) = 0.0;
        if (kind == impact) impact_step();
        if (kind == structural_response) measure();
    }

private:
    double &row(int r) const { return cprops_[r - 1]; }
    double &state(int column) const { return c_.svars[column - 1]; }
    double prop(int i) const { return props_[i - 1]; }
    bool idle() const { return time_[0] < std::max(prop(start), 0.0); }
    double stiffness(double &eeff, int32_t flag) {
        const int32_t count = kContactProps;
        double k = 0.0;
        ContactStiffness(&k, &eeff, csprops_.data(), &count, &flag);
        return k;
    }

    // ---- impact step

    void impact_step() {
        const double alpha = c_.params[0], beta = c_.params[1], dt = c_.dtime, dt2 = dt * dt;
        const double mi = row(mass), w = state(stretch);
        double c_p = state(structure_compliance);
        if (const int32_t n = table_rows(c_.nsvars); n > 0 && kinc_ != 0) {
            c_p = table_compliance_at(n, dt, c_p);
            state(table_compliance) = c_p;
        }
        const bool moved = m_.due[0][1] - m_.due[0][0] != 0.0;  // NaN counts as moved
        double c_i = (1.0 + alpha) * beta * dt2 / mi;

        // The reference is frozen at the first call of an increment in which
        // the struck point moves; the analysis control clears it.
        double w_ref = state(last_stretch);
        if (kinc_ > 1 && moved) {
            if (row(reference_row) == 0.0) row(reference_row) = w;
            w_ref = row(reference_row);
        }
        if (kinc_ > 1 && row(last_force) >= 0.0) c_i = handed_over_compliance(c_i);
        if (idle()) return;
        // A negative compliance has no physical sense: the structure's is
        // taken as 0, and a total still negative (a negative alpha below -1,
        // beta or mass) as 0, so that the force stays that of a contact law.
        if (c_p < 0.0) {
            record_error(-2, "Warning: Negative structure compliance taken as 0 in uel_impact.", {c_.jelem});
            c_p = 0.0;
        }
        if (c_i + c_p < 0.0) {
            record_error(-2, "Warning: Negative total compliance taken as 0 in uel_impact.", {c_.jelem});
            c_i = c_p = 0.0;
        }

        double f = row(force), radius = row(contact_radius), depth = row(indentation);
        if (dynamic_) {
            // The free position: Newmark's with the HHT force weighting of the
            // last increment's force, so that x_free - c_i F is the position
            // the analysis control moves the impactor to.
            const double x_free = row(displacement) + row(velocity) * dt + row(acceleration) * (0.5 - beta) * dt2 +
                                  state(gravity_copy) * beta * dt2 + alpha * beta * dt2 * row(last_force) / mi;
            if (x_free > w_ref && kinc_ != 0) {
                contact(x_free, w_ref, c_i, c_p, f, radius, depth);
            } else if (x_free < w_ref && kinc_ != 0) {
                f = radius = depth = 0.0;
            }
        }
        if (kinc_ == 1 || moved || (kinc_ > 0 && row(force) == 0.0 && row(last_force) == 0.0)) {
            row(force) = f;
            row(contact_radius) = radius;
            row(indentation) = depth;
            state(element_largest_force) = std::max(state(element_largest_force), f);
            state(last_stretch) = w;
        } else {
            // An iteration without motion of the struck point hands the last
            // increment's force on, as it stands: the load hooks apply it and
            // the analysis control integrates it, so it is never a pull.
            row(force) = row(last_force);
            row(contact_radius) = row(last_contact_radius);
        }
    }

    // The structure's compliance at the time increment dt from the table in
    // svars (increments descending), reversed into ascending order.  Beyond
    // the measured increments the end value holds.  A table the interpolation
    // cannot take (fewer than two rows, increments not finite or not falling:
    // never measured, or measured wrongly) gives way to `without`, the
    // compliance as without a table.  Both are recorded, and so is a negative
    // compliance of the table, taken as 0.
    double table_compliance_at(int32_t n, double dt, double without) const {
        const double *increments = &state(compliance_table);
        bool usable = n >= 2 && std::isfinite(increments[0]);
        for (int32_t i = 1; i < n && usable; ++i) usable = increments[i] < increments[i - 1];
        if (!usable) {
            record_error(-2, "Warning: No usable compliance table in uel_impact.", {c_.jelem});
            return without;
        }
        const double smallest = increments[n - 1], largest = increments[0];
        const double at = std::clamp(dt, smallest, largest);
        if (at != dt)
            record_error(-2, "Warning: Time increment beyond the compliance table in uel_impact.", {c_.jelem}, {dt});
        Scratch<double, 512> table(2 * int64_t{n});
        VectorFlip(increments, table.data(), &n);
        VectorFlip(increments + n, table.data() + n, &n);
        double *compliances = table.data() + n;
        if (std::any_of(compliances, compliances + n, [](double v) { return v < 0.0; })) {
            record_error(-2, "Warning: Negative structure compliance taken as 0 in uel_impact.", {c_.jelem});
            std::for_each(compliances, compliances + n, [](double &v) { v = std::max(v, 0.0); });
        }
        const int32_t one = 1;
        double c_p = 0.0;
        math::cubichermitianinterpolation(&c_p, table.data(), &n, table.data() + n, &at, &one);
        return c_p;
    }

    // csvars(1, i) of this impactor: a negative force whose magnitude is not
    // the last increment's is a compliance handed over; a stored positive one
    // replaces the impactor's compliance c_i.
    double handed_over_compliance(double c_i) {
        shape_csvars(1, [](int64_t rows, int64_t columns, int64_t impactors) {
            return rows == 1 && columns >= impactors;
        });
        auto &table = impactdata::csvars;
        const int64_t i = csvars_column(state(impactor_number));
        if (row(force) < 0.0 && std::abs(row(force)) != row(last_force)) {
            if (i > 0) table(1, i) = -row(force);
            row(force) = 0.0;
        }
        return i > 0 && table(1, i) > 0.0 ? table(1, i) : c_i;
    }

    // The contact force of the approach x_free - w_ref > 0 by irfflag, and
    // its radius and depth.
    void contact(double x_free, double w_ref, double c_i, double c_p, double &f, double &radius, double &depth) {
        double eeff = 0.0;
        const double kc = stiffness(eeff, icsflag_), approach = x_free - w_ref, compliance = c_i + c_p;
        switch (irfflag_) {
            case 1: f = hertz_force(kc, approach, compliance); break;
            case 2: f = bracketed_force(x_free, w_ref, c_i, c_p, kc); break;
            case 0: f = row(force); break;
            default:
                record_error(-3, "Error: Invalid root finding procedure");
                f = 0.0;
        }
        // What the laws cannot give from the values they are handed (a
        // stiffness that is not finite or not positive, an approach beyond a
        // double) is no force.
        if ((irfflag_ == 1 || irfflag_ == 2) && !std::isfinite(f)) {
            record_error(-2, "Warning: Contact force not finite in uel_impact.", {c_.jelem});
            f = 0.0;
        }
        radius = radius_at(f, eeff, props_, icsflag_);
        depth = depth_at(f, eeff, props_);
    }

    // The root of ContactLaw between 0 and the force at which the indentation
    // vanishes, the law chosen by iclflag.
    double bracketed_force(double x_free, double w_ref, double c_i, double c_p, double kc) {
        std::array<double, kLawArgs> law{};
        enum : int { stiffness_arg, free_arg, impactor_arg, reference_arg, structure_arg, exponent_arg, permanent_arg };
        law[free_arg] = x_free;
        law[impactor_arg] = c_i;
        law[reference_arg] = w_ref;
        law[structure_arg] = c_p;
        csprops_[9] = row(largest_force);
        csprops_[10] = row(largest_indentation);
        const double compliance = c_i + c_p;
        // An approach at or below the floor of the bracket gives no force.
        if (!(x_free - w_ref > kEpsilon)) return 0.0;
        double upper = (x_free - w_ref - kEpsilon) / compliance;
        if (iclflag_ == 1) {
            // The stiffness at 50 forces from 0 to the upper bound; without a
            // compliance to bound it, to the largest force.
            if (!std::isfinite(upper)) upper = kLargestReal;
            law[exponent_arg] = 1.0;
            double *forces = law.data() + 7, *stiffnesses = forces + kSamples, unused = 0.0;
            const double zero = 0.0;
            Linspace(forces, &zero, &upper, &kSamples, nullptr);
            for (int32_t j = 0; j < kSamples; ++j) {
                csprops_[12] = forces[j];
                stiffnesses[j] = stiffness(unused, icsflag_);
            }
        } else if (iclflag_ == 2) {
            law[stiffness_arg] = prop(power_law_stiffness);
            law[exponent_arg] = prop(power_law_exponent);
        } else if (row(rebound_mark) == 0.0 || icsflag_ == 0) {
            law[stiffness_arg] = kc;  // Hertz
            law[exponent_arg] = 1.5;
        } else {
            const ReboundLaw rebound = rebound_law(csprops_, cprops_, props_, state(element_largest_force));
            law[stiffness_arg] = rebound.stiffness;
            law[exponent_arg] = rebound.exponent;
            law[permanent_arg] = rebound.permanent;
            if (rebound.permanent != 0.0) upper -= rebound.permanent / compliance;
        }
        if (!std::isfinite(upper)) {
            // No compliance (or one so small that the bound is beyond a
            // double): the law's force without compliance, k (D - a0)^n, is
            // the root or, for the smallest compliances, above it.
            const double base = x_free - w_ref - law[permanent_arg];
            const double alone = law[stiffness_arg] * std::pow(base, law[exponent_arg]);
            upper = !(base > 0.0) ? 0.0 : std::isfinite(alone) ? alone : kLargestReal;
        }
        // The ends first, so that a bracket without a change of sign is
        // recorded with the element's number.
        const double lower = 0.0;
        const int32_t steps = kSearchSteps, count = kLawArgs;
        double at_lower = 0.0, at_upper = 0.0, slope = 0.0;
        ContactLaw(&at_lower, &slope, &lower, law.data(), &count, &iclflag_);
        if (at_lower == 0.0) return lower;
        ContactLaw(&at_upper, &slope, &upper, law.data(), &count, &iclflag_);
        if (at_upper == 0.0) return upper;
        if (!(at_lower * at_upper < 0.0)) {
            record_error(-2, "Error in BISECTION: Root must be bracketed in uel_impact.", {c_.jelem});
            return 0.0;
        }
        const double tolerance = std::min(kForceTolerance, kRelativeForceTolerance * std::abs(upper));
        double root = 0.0;
        int32_t status = 0;
        math::bdsafe(ContactLaw, &lower, &upper, &root, law.data(), &tolerance, &steps, &count, &iclflag_, &status);
        return root;
    }

    // ---- structural-response step: the compliance measurement

    void measure() {
        double unit = 0.0, radius = 0.0;
        if (dynamic_) {
            unit = row(reference_row) == 0.0 ? 1.0 : 0.0;  // while the measurement is open
            csprops_[12] = 1.0;
            double eeff = 0.0;
            stiffness(eeff, icsflag_);
            radius = radius_at(unit, eeff, props_, icsflag_);
        }
        row(force) = unit;
        row(contact_radius) = radius;

        const auto &table = impactdata::csvars;
        const double w = state(stretch);
        if (row(reference_row) == 0.0 && w != 0.0) {  // the struck point has answered
            row(force) = row(contact_radius) = 0.0;
            if (const int32_t n = table_rows(c_.nsvars); n > 0) {
                shape_csvars(2 * int64_t{n}, [n](int64_t rows, int64_t columns, int64_t impactors) {
                    return rows == 2 * int64_t{n} && columns == impactors;
                });
                if (const int64_t i = csvars_column(row(number_row)); i > 0) record_response(&table(1, i), n, w);
            } else {
                const int64_t i = csvars_column(row(number_row));
                row(reference_row) = i > 0 && table.extent_of(1) >= 1 ? table(1, i) : w;
                close_measurement();
            }
        }
        // Every call whose element has not kept the result yet takes it, so
        // that the call after the last repetition keeps it for later steps.
        if (state(structure_compliance) == 0.0) {
            state(structure_compliance) = row(reference_row);
            state(impactor_number) = row(number_row);
            const int64_t i = csvars_column(row(number_row));
            if (i > 0 && c_.nsvars > kImplicitImpactorStates) {
                const int64_t rows = std::min<int64_t>(c_.nsvars - kImplicitImpactorStates, table.extent_of(1));
                std::copy_n(&table(1, i), rows, &state(compliance_table));
            }
        }
    }

    // One response w in the impactor's column of the table: the increments
    // (rows 1 .. n, from this first increment down to the table's last) and
    // the responses (rows n + 1 .. 2n, the first empty one taken).  The solver
    // is asked to repeat the increment with the next increment of the table.
    void record_response(double *column, int32_t n, double w) {
        if (std::all_of(column, column + 2 * n, [](double v) { return v == 0.0; }))
            Linspace(column, &c_.dtime, &row(smallest_increment_row), &n, nullptr);
        const int32_t empty = fFindLocation(&kZero, column + n, &n, nullptr);
        if (empty >= 1) {
            column[n + empty - 1] = w;
            const double r = column[std::min(empty, n - 1)] / column[empty - 1];
            if (r < 1.0 && r != -1.0) {
                *pnewdt_ = r;
                return;
            }
        }
        row(reference_row) = column[0];
        close_measurement();
    }

    void close_measurement() {
        row(smallest_increment_row) = kLargestReal;
        *pnewdt_ = 0.8;
    }

    static constexpr double kZero = 0.0;
    const ImplicitTrussCall &c_;
    const TrussMotion &m_;
    const double *props_, *time_;
    int32_t kinc_;
    double *pnewdt_, *cprops_;
    int32_t irfflag_, icsflag_, iclflag_;
    std::array<double, kContactProps> csprops_;
    bool dynamic_ = false;
};

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void uel_impact(KESTRO_UEL_PARAMETERS, double *cprops) noexcept {
    using namespace solver;
    const ImplicitTrussCall call = implicit_truss_call(rhs, amatrx, svars, energy, ndofel, nrhs, nsvars, coords, mcrd,
                                                       nnode, u, du, v, a, dtime, jelem, params, ndload, jdltyp,
                                                       adlmag, lflags, mlvarx, ddlmag, mdload);
    TrussMotion motion;
    if (!implicit_truss_motion(motion, call)) return;
    // The truss part clears only its own state variables: the impactor's
    // (13 on: the structure's compliance, the impactor's number, the
    // measured table) survive a perturbation pass.
    implicit_truss(call, kImpactorTruss, motion, kTrussStates);
    if (motion.length == 0.0) return;  // no axis to measure the struck point along (recorded)
    if (*nsvars < kImplicitImpactorStates || *njprop < 3 ||
        *nprops < (jprops[contact_law_flag - 1] == 2 ? 13 : 12)) {
        record_error(-2, "Warning: uel_impact needs 20 state variables, 12 properties and 3 integer properties.");
        return;
    }
    ImplicitImpactor(call, motion, props, jprops, time, *kinc, pnewdt, cprops).run(*kstep);
}

}  // namespace kestro::toplevel
