// Growable lists of module listhandling.
#pragma once

#include "kestro/array.h"
#include "decl/listhandling.hpp"

namespace kestro::listhandling {

// The shared array of list listid (1..3) of type ifflag (0 integer, 1 real,
// 2 complex); nullptr for a selector out of range.
kestro_array *list_array(int32_t listid, int32_t ifflag) noexcept;

}  // namespace kestro::listhandling
