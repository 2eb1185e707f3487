// The impactors' columns of the shared data: the rows of cprops (the contact
// state and motion of an impactor) and of dprops (where its load acts), one
// column per impactor.  The load hooks read them here, the solver entries
// write them (solver/control.hpp names the cprops rows in its own namespace).
#pragma once

#include "core/markers.hpp"

namespace kestro::elements {

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

// Rows (1-based) of an impactor's column of dprops, 12 per impactor.
enum LoadRow : int {
    load_code = 1,
    load_position = 2,  // rows 2 to 4: the impactor's position
    nearest_element = 5,
    nearest = 6,        // smallest distance seen
    farthest = 7,       // largest distance seen on that element
    nearest_r = 8,      // in-plane distances at the nearest point
    nearest_s = 9,
    farthest_r = 10,    // and at the farthest point
    farthest_s = 11,
};
inline constexpr int kLoadRows = 12;

// A distance of the nearest-element record that nobody has set holds the
// absent marker, since 0.0 is a distance.  A record whose rows 5 to 7 are all
// 0.0 (a dprops built from zeros) counts as not set too.
inline bool distance_unset(const double *column, int r) {
    return column[r - 1] == kAbsentReal ||
           (column[nearest_element - 1] == 0.0 && column[nearest - 1] == 0.0 && column[farthest - 1] == 0.0);
}

}  // namespace kestro::elements
