// What the readers of the job's text files share beyond their routines.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestro::io {

// A read that failed, or an option that cannot be read: code -2 with the
// message, the integer, real and name context empty (two zeros each, 8 x 2
// zero codes).
void record_input_error(const char *message);

// The number of values in the data block at the unit's position, up to the
// first line beginning with one of skeys (the position is kept); cut tells
// whether a line of it runs past the 256 columns whose values are read.
int64_t data_block_size(int32_t unit, std::string_view skeys, bool *cut = nullptr);

// A list-directed read that met an item that is not a number of its kind:
// ends the process with a message naming the unit's file, the record last
// read, the item (1-based) and its text.
[[noreturn]] void bad_item(int32_t unit, int64_t item, std::string_view text, bool real);

}  // namespace kestro::io
