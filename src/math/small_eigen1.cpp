// Order 1 of the fixed-size symmetric eigenproblem (small_eigen.hpp).
#include "math/small_eigen.hpp"

KESTRO_SMALL_EIGEN_ORDER(1)
