// Shell kinematics: the Jacobian chain of the shell mid-surface, shared by
// the strain-displacement matrices here and the curvatures of the element
// frames.
#pragma once

#include <cstdint>

#include "decl/elementhandling.hpp"

namespace kestro::elements {

// jac(2,2) (column-major) of a shape table nshape (ld rows, columns N,
// dN/dxi, dN/deta, ...) and the x and y rows of ncoords(3, inodes).
void table_jacobian(double *jac, const double *nshape, int64_t ld, const double *ncoords, int32_t inodes);

// jac2(3,2) (column-major): the natural second derivatives of x and y.
void table_second_jacobian(double *jac2, const double *nshape, int64_t ld, const double *ncoords, int32_t inodes);

}  // namespace kestro::elements
