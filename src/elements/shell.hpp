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

// The Cartesian second derivatives (Nxx, Nyy, Nxy) of each of the first n
// (at most 8) nodes of the shape table nshape (ld rows) over the x and y rows
// of ncoords(3, n), through the Jacobian chain of the shell routines.
void cartesian_second_derivatives(const double *nshape, int64_t ld, const double *ncoords, int32_t n, double *nxx,
                                  double *nyy, double *nxy);

}  // namespace kestro::elements
