// The interpolation package's C++ services beyond its exported routines.
#pragma once

#include <ctime>
#include <string>

namespace kestro::interp {

// The line interp_timestamp prints for a local time and its milliseconds:
// "dd Month yyyy  hh:mm:ss.mmm AM|PM|Noon" on a 12-hour clock.
std::string timestamp_line(const std::tm &when, int milliseconds);

}  // namespace kestro::interp
