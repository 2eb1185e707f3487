// The vocabulary the solver entries share: the control events of the
// external-database entry, the step kinds of the input deck, and the kind of
// the step a solver call belongs to.
#pragma once

#include <cstdint>

#include "core/job.hpp"
#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"

namespace kestro::solver {

// The events (lop) of UEXTERNALDB_IOControl.
enum ControlEvent : int32_t {
    analysis_start = 0,
    increment_start = 1,
    increment_end = 2,
    analysis_end = 3,
    restart = 4,
    step_start = 5,
    step_end = 6,
    increment_setup = 7,
};

// The kinds of step held in stepid, from the keys on the deck's step lines.
enum StepKind : int32_t {
    initialization = 0,      // ZRV_INITIALIZATION
    fatigue = 1,             // ZRV_FATIGUE, and every step without a key
    structural_response = 2, // ZRV_STRUCTRESPONSE
    impact = 3,              // ZRV_IMPACT
    relaxation = 4,          // ZRV_RELAXATION
    image_correlation = 5,   // ZRV_DIC
};

// Rows (1-based) of an impactor's column of cprops, 20 per impactor.
enum ImpactRow : int {
    force = 1,                 // contact force F
    contact_radius = 2,        //
    indentation = 3,           // indentation depth
    displacement = 4,          // impactor displacement, velocity and acceleration
    velocity = 5,              //
    acceleration = 6,          // (start value: standard gravity)
    mass = 7,                  // 0: the motion is not integrated
    scheme_alpha = 8,          // integration scheme: all 0 none, all -1 central difference,
    scheme_beta = 9,           // all -2 with the velocity weight of row 20, else Newmark
    scheme_gamma = 10,         // with force weighting alpha, beta, gamma
    last_force = 11,           // rows 1 and 2 at the end of the last increment
    last_contact_radius = 12,  //
    cleared_each_update = 13,  // set to 0 at every update
    largest_force = 14,        // running maxima of rows 1 and 3
    largest_indentation = 15,  //
    rebound_mark = 16,         // 1 once the average of the last five forces exceeds the current one
    impactor_radius = 17,      //
    impactor_width = 18,       // second impactor dimension
    half_velocity = 19,        // mid-increment velocity of the central difference
    last_increment = 20,       // its last time increment; the velocity weight of scheme -2
};
inline constexpr int kImpactRows = 20;
// Start values of an impactor's contact data besides 0: the acceleration,
// the running maximum of the indentation, and the running maximum of the
// force, which starts at the impactor's number.
inline constexpr double kGravity = 9.80665;
inline constexpr double kIndentationStart = 1e-10;

// Element kinds (elemkind): the continuum shells and solids (10, 11) and the
// conventional shells (1 to 5 and 8) whose transverse stresses are recovered.
inline bool continuum(int32_t kind) { return kind > 9; }
inline bool conventional_shell(int32_t kind) { return (kind >= 1 && kind <= 5) || kind == 8; }

// The kind of step kstep: stepid(kstep) when the table holds that step, else
// fatigue, as a step without a key (no table before start-up, or a step
// number outside it).  The rule itself is the job's (core/job.hpp), so that
// the element services below the solver entries read step kinds the same way.
using job::step_kind;
static_assert(job::keyless_step == fatigue);

}  // namespace kestro::solver
