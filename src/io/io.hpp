// What the readers of the job's text files share beyond their routines.
#pragma once

namespace kestro::io {

// A read that failed, or an option that cannot be read: code -2 with the
// message, the integer, real and name context empty (two zeros each, 8 x 2
// zero codes).
void record_input_error(const char *message);

}  // namespace kestro::io
