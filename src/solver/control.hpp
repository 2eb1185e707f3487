// The vocabulary the solver entries share: the control events of the
// external-database entry, the step kinds of the input deck, and the kind of
// the step a solver call belongs to.
#pragma once

#include <cstdint>

#include "core/job.hpp"
#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "elements/impactor.hpp"

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

// The rows of an impactor's column of cprops (elements/impactor.hpp).
using elements::ImpactRow;
using enum elements::ImpactRow;
using elements::kImpactRows;
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
