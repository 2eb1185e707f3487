// Module math: the generated declarations of its routines, and the C++ names
// of its procedure types.
#pragma once

#include <cstdint>
#include <string_view>

#include "decl/math.hpp"

namespace kestro::math {

// Whether a(1 .. count) holds only finite values.
bool all_finite(const double *a, int64_t count);
// Records -2 "<routine>: the matrix holds a NaN or infinite entry" (with
// `nan_only`, "... a NaN entry"): a routine refusing such a matrix.
void report_non_finite(std::string_view routine, bool nan_only = false);

using RootFunction = kestro_root_function;
using FixpointFunction = kestro_fixpoint_function;

}  // namespace kestro::math
