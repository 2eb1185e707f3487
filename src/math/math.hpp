// Module math: the generated declarations of its routines, and the C++ names
// of its procedure types.
#pragma once

#include <cstdint>

#include "decl/math.hpp"

namespace kestro::math {

using RootFunction = kestro_root_function;
using FixpointFunction = kestro_fixpoint_function;

}  // namespace kestro::math
