// The message handler of the cubic Hermite package and its machine
// constants.  The package reports input errors here, not through the library's
// error record: a message block on the output units, a table of the messages
// seen, and, under the starting control setting, the end of the process.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestro::pchip {

// Reports a message (see xermsg_ in kestro/pchip.h).
void xermsg(std::string_view librar, std::string_view subrou, std::string_view messg, int32_t nerr, int32_t level);

// Prints a message on every output unit with a prefix, wrapped at nwrap
// characters; "$$" starts a new line.
void xerprn(std::string_view prefix, int32_t npref, std::string_view messg, int32_t nwrap);

// Records a message in the table (kflag >= 1, returns its count) or prints the
// table (kflag <= 0; kflag 0 also clears it).
int32_t xersve(std::string_view librar, std::string_view subrou, std::string_view messg, int32_t kflag, int32_t nerr,
               int32_t level);

// Returns parameter iwhich (1..9) as it was; stores ivalue when iset.
int32_t j4save(int32_t iwhich, int32_t ivalue, bool iset);

[[noreturn]] void xerhlt();

}  // namespace kestro::pchip
