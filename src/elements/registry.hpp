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

// To be called after the library writes into elemnodes, so that the node
// index of the coordinate and motion distribution sees the new nodes.
void element_nodes_written();

}  // namespace kestro::elements
