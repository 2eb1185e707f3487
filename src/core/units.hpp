// Numbered file units, as the library's readers, reports and messages address
// them: one table for reading and writing.  Unit 6 is standard output (the
// same stream as everything else the library prints) and unit 0 standard
// error; both are open for writing.  Unit 5 is connected but nothing is read
// from standard input: reading it meets the end of file.  Another unit writes
// to the file opened on it, or to "fort.<unit>" in the working directory when
// none was.
//
// A unit opened to read holds the whole file: a record is one line (a CR
// before the LF is not part of it, the last line needs no LF), and stepping
// back over records or rewinding never reads the file again.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestro::units {

inline constexpr int standard_error = 0;
inline constexpr int standard_input = 5;
inline constexpr int standard_output = 6;

// Status of a record read: read_ok, end_of_file (< 0) or read_error (> 0:
// the unit is open for writing).
inline constexpr int read_ok = 0;
inline constexpr int end_of_file = -1;
inline constexpr int read_error = 5001;

enum class Access { read, write };

// Opens path on unit: to read an existing regular file from its start, or to
// write at its end, creating the file when absent if create is true.  An
// open unit is closed first.  False when the unit number is below 1, is one
// of the standard units, or the file cannot be opened so; a FIFO or a socket
// is not opened to write (a writer could wait on it for ever).
bool open(int unit, const std::string &path, Access access, bool create = true);
// Closes a unit; false when a record written on it since it was opened, or
// the close itself, failed (the disk full, say).
bool close(int unit);

// Whether the unit is connected: to a file, or one of 0, 5 and 6.
bool is_open(int unit);
// The unit on which the file is open (-1 when it is not): the same file under
// another spelling of its path is found too.
int find(std::string_view path);
// The path a unit was opened with; empty for the standard units and
// unconnected ones.
std::string path_of(int unit);

// Writes one record (a line) on a unit.
void write_record(int unit, std::string_view record);

// Reads the next record of a unit: read_ok with the line in *record (valid
// until the next operation on the unit), end_of_file, or read_error.  An
// unconnected unit reads as an empty file.  After end of file, one
// backspace stands before the end again.
int read_record(int unit, std::string_view *record);
// Steps back one record (nothing at the start of the file).
void backspace(int unit);
void rewind(int unit);
// The position of a unit open for reading (the records read before it, one
// more after end of file was met), to be restored with seek.
int64_t tell(int unit);
void seek(int unit, int64_t position);

// The stand-alone packages' fatal input error: a blank record, "<ROUTINE> -
// Fatal error!" and the given lines on standard output, then the end of the
// process with status 1.
[[noreturn]] void fatal_package_error(std::string_view routine, std::initializer_list<std::string_view> lines);

}  // namespace kestro::units
