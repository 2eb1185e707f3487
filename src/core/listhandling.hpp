// Growable lists of module listhandling.
#pragma once

#include <cstddef>

#include "kestro/array.h"
#include "decl/listhandling.hpp"

namespace kestro::listhandling {

// The shared array of list listid (1..3) of type ifflag (0 integer, 1 real,
// 2 complex); nullptr for a selector out of range.
kestro_array *list_array(int32_t listid, int32_t ifflag) noexcept;

// The buckets that the uniqueness index of a list holds (0 for a selector
// out of range): what a lookup and a rebuild of the index walk over.
std::size_t index_buckets(int32_t listid, int32_t ifflag) noexcept;

}  // namespace kestro::listhandling
