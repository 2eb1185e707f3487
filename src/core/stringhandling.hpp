// String services of module stringhandling: fixed-length, blank-padded
// strings.  A result has the length its caller gives (text is cut or padded
// with blanks); only the blank counts as blank, and case mappings touch only
// the ASCII letters.  The routines have no C names: they keep the Fortran
// convention, the length of every character argument following the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decl/stringhandling.hpp"

namespace kestro::format {
class Format;
}

namespace kestro::stringhandling {

using std::size_t;

// Length of s once every run of blanks (leading runs included) is one blank
// and the trailing blanks are gone: the room reduceblanks needs.
std::size_t reduced_length(std::string_view s) noexcept;

// ASCII case mappings, the only ones the string services make.
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// value written with format into field: as many characters as the format
// writes, at most jmax, so the work follows the text and not jmax; the status
// of format::write_integer into a record of jmax characters.
int32_t integer_field(const format::Format &format, int32_t value, int32_t jmax, std::string &field);

// Why int2aformat cannot write jrray(n, m) with format aw into fields of jmax
// characters; empty when it can.
std::string int2aformat_problem(const int32_t *jrray, int32_t n, int32_t m, std::string_view aw, int32_t jmax);

}  // namespace kestro::stringhandling
