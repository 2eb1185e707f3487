// Formatted records: the text the library writes and reads follows the rules
// of Fortran edit descriptors and list-directed input, so that files and
// reports read and look the same as the solvers and tools around the library
// expect.  Format specifications are parsed into items once; the writer
// applies them to values record by record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestro::format {

// Status of a formatted transfer (0 for success).
inline constexpr int32_t status_ok = 0;
inline constexpr int32_t status_end_of_file = -1;    // no item where one was to be read
inline constexpr int32_t status_end_of_record = -2;  // output longer than its record
inline constexpr int32_t status_bad_format = 5000;   // a format that cannot be read
inline constexpr int32_t status_bad_value = 5010;    // an item not of the type to be read
inline constexpr int32_t status_overflow = 5011;     // an integer beyond the range of its kind

// One element of a format specification.
struct Item {
    enum class Kind {
        integer,      // Iw or Iw.m
        fixed,        // Fw.d
        exponent,     // Ew.d or Ew.dEe
        exponent_d,   // Dw.d
        alpha,        // A or Aw
        skip,         // nX
        newline,      // /
        scale,        // kP
        literal,      // 'text' or "text"
        group_open,   // r( ... starts a repeated group
        group_close,  // ) ends it
    };
    Kind kind = Kind::literal;
    int repeat = 1;      // repeat count (of a data descriptor or a group), or n of nX
    int width = -1;      // w; -1 when not given (A), 0 for minimal width (I0)
    int digits = -1;     // m of Iw.m, d of Fw.d and Ew.d; -1 when not given
    int exponent = -1;   // e of Ew.dEe; -1 when not given
    int scale = 0;       // k of kP
    std::string text;    // the characters of a literal

    bool is_data() const {
        return kind == Kind::integer || kind == Kind::fixed || kind == Kind::exponent ||
               kind == Kind::exponent_d || kind == Kind::alpha;
    }
};

// A parsed format specification such as "(I5.3,2X,'mm')" (parentheses
// included; letters in either case; blanks outside literals ignored).
class Format {
public:
    // The most items a format may have once its repeats are written out.
    static constexpr std::size_t max_expanded_items = 1 << 16;

    static std::optional<Format> parse(std::string_view specification);
    const std::vector<Item> &items() const noexcept { return items_; }

private:
    std::size_t expanded_size() const;

    std::vector<Item> items_;
};

// The characters an Iw.m descriptor writes for value: right-adjusted in w
// characters (as many as needed for w = 0), at least m digits, a minus sign
// for negative values, w asterisks when the value does not fit.
std::string edit_integer(int64_t value, int width, int digits);

// Writes values through a format into records.  Each value takes the next data
// descriptor; literals, nX and / around it are written as they come.  When the
// format is used up while values remain, a new record starts at the last
// top-level group (or at the beginning).
class Writer {
public:
    explicit Writer(const Format &format);

    // Writes an integer with the next data descriptor: status_ok, or
    // status_bad_format when that descriptor does not take integers.
    int32_t put(int64_t value);
    // Writes what follows the last value up to the next data descriptor or the
    // end of the format; then the records are complete.
    void finish();

    const std::vector<std::string> &records() const noexcept { return records_; }

private:
    const Item *next_data();
    void advance();

    const Format &format_;
    std::size_t position_ = 0;        // index into the flattened items
    std::vector<Item> flat_;          // the items with groups repeated out
    std::size_t reversion_ = 0;       // where a new record restarts the format
    std::vector<std::string> records_{std::string()};
    bool finished_ = false;
};

// Writes one integer with a format into a record of record_length characters
// (left part written, the rest blank): status_ok, status_bad_format, or
// status_end_of_record when the output needs more than one record or more
// characters than the record has.
int32_t write_integer(const Format &format, int64_t value, char *record, std::size_t record_length);

// Reads the first item of text as list-directed input reads a 4-byte integer:
// leading blanks (and tabs) skipped, the item ended by a blank, tab, comma,
// slash or the end of the text, an optional repeat count r* before it.
// status_ok with value set; status_end_of_file when there is no item;
// status_bad_value when the item is not an integer; status_overflow when it
// does not fit.
int32_t read_integer(std::string_view text, int32_t &value);

}  // namespace kestro::format
