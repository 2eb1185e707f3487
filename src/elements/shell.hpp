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

// The x and y derivatives of the transverse shear forces, hmat times the
// derivative matrices times u, from one Jacobian chain at (xi, eta); zeros
// (and the error recorded) for a node count other than 6 or 8.
void shear_force_derivatives(double *rx, double *ry, const double *u, const double *hmat, const double *ncoords,
                             int32_t inodes, double xi, double eta);

}  // namespace kestro::elements
