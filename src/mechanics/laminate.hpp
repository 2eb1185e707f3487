// Laminates and sections: the through-thickness layout of each section, its
// transverse-shear shape and normal-stress tables (flat or curved), its
// transverse-shear stiffness, and the recovery of transverse stresses at the
// section points.
//
// Ply constants are the nine E1, E2, E3, nu12, nu13, nu23, G12, G13, G23;
// angles in degrees.  Membrane quantities are ordered 11, 22, 12 (x, y, xy),
// transverse shear (yz, xz): the shear forces r = (Qy, Qx) and the stresses
// (tau_yz, tau_xz) = f(z) r with f = [[f1, f2], [f3, f4]].
#pragma once

#include <cstdint>

#include "decl/laminate.hpp"

namespace kestro::laminate {

// plyzcoord(ldz, nsec) = the z of the bottom and middle of each ply and the
// top of the last, measured from the mid-plane, for each of nsec sections
// whose material column (matidlist(ldm, nsec)) is not all `absent`; a
// section's plies end before its first `absent` entry.  Every other entry of
// the first nsec columns is 0.  Thicknesses plythickness(ldt, nsec); nplies
// plies at most, within every leading extent.
void section_z_coordinates(double *plyzcoord, int64_t ldz, const int32_t *matidlist, int64_t ldm,
                           const double *plythickness, int64_t ldt, int64_t nplies, int64_t nsec, int32_t absent);

// Whether a section routine refuses its counts, recorded: a negative ply,
// section or constants count, or fewer than the 9 constants it reads per ply
// (nelastic absent: 9).
bool section_counts_refused(const char *routine, const int32_t *nplies, const int32_t *nsec,
                            const int32_t *nelastic);

}  // namespace kestro::laminate
