// The damage evolution laws on values: bilinear softening, and the matrix
// damage of a fracture plane parallel to the fibres (its crack status, the
// stiffness degraded in the crack frame and the Bogenfeld softening).  The C
// names (BiLinearEvolution, GetCrackStatus, TensorDegradation,
// BogenfeldDegradation) are shims over these; the material entries call them
// directly.  Stresses, strains and stiffnesses in Voigt order, tensor strains.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "failure/degradation.hpp"

namespace kestro::failure {

// Bilinear softening: the final strain eps1 (2 gc / (lc sig_f), at least
// 1.2 eps0, when |lc| is at least 0.001, else the eps1 given) and the
// damage eps1 / (eps1 - eps0) (1 - eps0 / eps), not limited.
struct Softening {
    double d, eps1;
};

// The final strain at which bilinear softening from the onset stress sig_f
// has dissipated the fracture energy gc over the length lc: 2 gc / (lc
// sig_f), at least `least`.
inline double final_strain(double sig_f, double gc, double lc, double least) {
    return std::max(2.0 * gc / (lc * sig_f), least);
}

inline Softening bilinear_evolution(double eps, double eps0, double sig_f, double gc, double lc, double eps1) {
    if (std::abs(lc) >= 0.001) eps1 = final_strain(sig_f, gc, lc, 1.2 * eps0);
    return {bilinear_damage(eps, eps0, eps1), eps1};
}

// +1 when the plane of normal R(nrot, phi) e_baseid (phi in radians) carries a
// non-negative normal traction of svoigt (open), -1 when it does not; 0 for a
// base id outside 1..3.
int32_t crack_status(const double *svoigt, const double *nrot, double phi, int32_t baseid);

// cdeg(6, 6) = csix degraded by d in the crack frame of angle_r about axis 1:
// the crack-face shears of the normal baseid and, for an open crack (status
// above 0), the normal itself keep 1 - d.  False (cdeg = csix) for a base id
// outside 1..3.
bool crack_frame_degradation(const double *csix, double *cdeg, double angle_r, double d, int32_t baseid,
                             int32_t status);

// The parameters of the fracture-plane damage: the plane's angle phi from the
// 1-3 plane (radians) and the toughnesses of the Benzeggagh-Kenane law.
struct FracturePlane {
    double phi, gic, eta, giic, giiic;
};

// The fracture-plane matrix damage (mode 3) of the tensor strain evoigt over
// the length L; history(4) as BogenfeldDegradation keeps it (history(1)
// below 0 on first use, then onset traction, onset jump, final jump, largest
// jump).  Returns the damage, 0 until onset.
double bogenfeld_damage(double *history, const double *svoigt, const double *evoigt, double length,
                        const FracturePlane &p);

}  // namespace kestro::failure
