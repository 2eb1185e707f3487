// The rule by which the plane-stress output of a 3-D tangent trusts the
// tangent's inverse, shared by GetPlaneStressOutputFrom3D and the ANSYS
// adapter, which forms the inverse once for its plane-stress output and its
// transverse results.
#pragma once

#include <algorithm>

#include "math/small.hpp"

namespace kestro::elements {

// Below this reciprocal condition number the strain c^-1 s loses more than
// about 1e-8 of the stress (about 1e-16 / rcond).
inline constexpr double kTrustedRcond = 1e-8;

// The inverse of the 6 x 6 tangent c from its LU factors, and whether it may
// be used: no zero pivot and a reciprocal 1-norm condition number, 1 /
// (|c|_1 |c^-1|_1), of at least kTrustedRcond.  The condition number is
// exact: at this size the inverse costs less than an iterative estimate from
// the factors (Hager's) would.  A perfectly plastic tangent (rank 5 to
// rounding) or a NaN fails; inverse then holds what the factors gave.
inline bool trusted_inverse(const double *c, double *inverse) {
    double recip[6];
    int piv[6];
    std::copy_n(c, 36, inverse);
    if (math::small::lu<6>(inverse, piv, recip) != 0) return false;
    math::small::inverse_from_lu<6>(inverse, piv, recip);
    return 1.0 / (math::small::norm1<6>(c) * math::small::norm1<6>(inverse)) >= kTrustedRcond;
}

// GetPlaneStressOutputFrom3D with the tangent's inverse given: as
// trusted_inverse formed it, or nullptr where it is not trusted.  It is not
// read where C33 is 0.
void plane_stress_output(double *stressps, double *tangentps, const double *stress3d, const double *tangent3d,
                         const double *inverse);

}  // namespace kestro::elements
