// Numbered output units, as the library's reports and messages address them:
// unit 6 is standard output (the same stream as everything else the library
// prints); another unit writes to the file opened on it, or to "fort.<unit>"
// in the working directory when none was.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kestro::units {

inline constexpr int standard_output = 6;

// Writes one record (a line) on a unit.
void write_record(int unit, std::string_view record);

// Opens a unit on a file (appended to when it exists and append is true);
// false when the file cannot be opened.  An open unit is closed first.
bool open(int unit, const std::string &path, bool append);
void close(int unit);
bool is_open(int unit);

// The stand-alone packages' fatal input error: a blank record, "<ROUTINE> -
// Fatal error!" and the given lines on standard output, then the end of the
// process with status 1.
[[noreturn]] void fatal_package_error(std::string_view routine, std::initializer_list<std::string_view> lines);

}  // namespace kestro::units
