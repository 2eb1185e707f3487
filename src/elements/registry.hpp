// The element registry's C++ services beyond its exported routines.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestro::elements {

// The kind code of a solver element-type name (getabqelementkind).
int32_t element_kind(std::string_view elemtype);

// Whether the element registry takes a type name: it begins with "S", or
// with "C" not followed by "IN" (infinite elements).
bool registered_type(std::string_view elemtype);

// To be called after the library writes into elemnodes or elemlist, so that
// the indexes over them (the node index of the coordinate and motion
// distribution, the element index below) see the new entries.
void element_nodes_written();

// The first position (1-based) of the element number in elemlist, 0 when no
// entry holds it.  Through an index rebuilt when elemlist was re-created,
// handed out or written by the library, or when a hit is no longer confirmed.
int64_t element_position(int32_t number);

}  // namespace kestro::elements
