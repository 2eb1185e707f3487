// The markers of values nobody has given (include/kestro/common.h), as the
// library's C++ names them: the largest double and the largest 4-byte
// integer.  This is the one place that spells them; the largest double also
// serves as the bound that every real lies below.
#pragma once

#include <cstdint>
#include <limits>

#include "kestro/common.h"

namespace kestro {

inline constexpr double kLargestReal = std::numeric_limits<double>::max();
inline constexpr double kAbsentReal = KESTRO_ABSENT_REAL;
inline constexpr int32_t kAbsentInt = KESTRO_ABSENT_INT;

static_assert(kAbsentReal == kLargestReal && kAbsentInt == std::numeric_limits<int32_t>::max());

}  // namespace kestro
