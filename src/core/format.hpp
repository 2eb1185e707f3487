// Formatted records: the text the library writes and reads follows the rules
// of Fortran edit descriptors and list-directed input, so that files and
// reports read and look the same as the solvers and tools around the library
// expect.  Format specifications are parsed into items once; the writer
// applies them to values record by record.
#pragma once

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <span>
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
        literal,      // 'text', "text" or nHtext (Hollerith: the n characters after H, blanks included)
        tab,          // Tn: to column n of the record
        group_open,   // r( ... starts a repeated group
        group_close,  // ) ends it
    };
    Kind kind = Kind::literal;
    int repeat = 1;      // repeat count (of a data descriptor or a group), n of nX, or n of Tn
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

// The characters an Fw.d, Ew.d[Ee] or Dw.d descriptor writes for value under
// the scale factor k (kP): right-adjusted in w characters, the optional zero
// before the decimal point dropped when the field is too narrow for it,
// w asterisks when the value does not fit, the sign of -0.0 kept.
std::string edit_real(double value, const Item &item, int scale);

// The characters an A or Aw descriptor writes: the whole text, or w
// characters (the text right-adjusted, or its first w characters).
std::string edit_alpha(std::string_view text, int width);

// Writes values through a format into records.  Each value takes the next data
// descriptor; literals, nX, Tn, / and kP around it are applied as they come.
// Tn moves to column n (1-based): a shorter record is filled with blanks up to
// it, and what is written then replaces the characters from there on.  When
// the format is used up while values remain, a new record starts at the last
// top-level group (or at the beginning).  A record ends at the first data
// descriptor without a value.
class Writer {
public:
    explicit Writer(const Format &format);

    // Each writes a value with the next data descriptor: status_ok, or
    // status_bad_format when that descriptor does not take the value's type
    // (I takes integers; F, E and D reals; A text) or the format has none.
    int32_t put(int64_t value);
    int32_t put(double value);
    int32_t put(std::string_view text);
    // Writes what follows the last value up to the next data descriptor or the
    // end of the format; then the records are complete.
    void finish();

    const std::vector<std::string> &records() const noexcept { return records_; }

private:
    const Item *next_data();
    void advance();
    // Writes text at the current column of the record.
    void emit(std::string_view text);

    const Format &format_;
    std::size_t position_ = 0;        // index into the flattened items
    std::vector<Item> flat_;          // the items with groups repeated out
    std::size_t reversion_ = 0;       // where a new record restarts the format
    std::vector<std::string> records_{std::string()};
    std::size_t column_ = 0;          // where the next characters go in the record (0-based)
    int scale_ = 0;                   // the current kP factor
    bool finished_ = false;
};

// A value for a formatted write.
struct Value {
    enum class Type { integer, real, text } type;
    int64_t integer = 0;
    double real = 0.0;
    std::string_view text;
    Value(int32_t v) : type(Type::integer), integer(v) {}
    Value(int64_t v) : type(Type::integer), integer(v) {}
    Value(double v) : type(Type::real), real(v) {}
    Value(std::string_view v) : type(Type::text), text(v) {}
    Value(const char *v) : type(Type::text), text(v) {}
    Value(const std::string &v) : type(Type::text), text(v) {}
};

// The records that format writes for values; status_ok or the first failing
// status (the records then hold what was written before it).
int32_t format_records(const Format &format, std::span<const Value> values, std::vector<std::string> &records);
inline int32_t format_records(const Format &format, std::initializer_list<Value> values,
                              std::vector<std::string> &records) {
    return format_records(format, std::span<const Value>(values.begin(), values.size()), records);
}

// Writes the records of format and values on a unit (see units.hpp); a format
// that cannot be read, or a value of the wrong type, ends the process with a
// message naming the format, as a formatted write of the runtime would.
void write_values(int unit, std::string_view format, std::span<const Value> values);
inline void write(int unit, std::string_view format, std::initializer_list<Value> values = {}) {
    write_values(unit, format, std::span<const Value>(values.begin(), values.size()));
}

// List-directed output: one record of the values, each after a blank: a text
// as it stands, an integer in 12 characters, a real in 25 (E form with 16
// digits after the point).  No values give an empty record.
std::string list_record(std::span<const Value> values);
inline std::string list_record(std::initializer_list<Value> values) {
    return list_record(std::span<const Value>(values.begin(), values.size()));
}

// The time-stamp line of the stand-alone packages for a local time and its
// milliseconds, "(i2,1x,a,1x,i4,2x,i2,a1,i2.2,a1,i2.2,a1,i3.3,1x,a)": day,
// month name, year, the hour on a 12-hour clock, minutes, seconds and
// milliseconds, and "AM", "PM" or "Noon" (12:00:00).
std::string timestamp(const std::tm &when, int milliseconds);
// The same for the time of the system clock now.
std::string timestamp_now();

// Writes one integer with a format into a record of record_length characters
// (left part written, the rest blank): status_ok, status_bad_format, or
// status_end_of_record when the output needs more than one record or more
// characters than the record has.
int32_t write_integer(const Format &format, int64_t value, char *record, std::size_t record_length);

// List-directed input of one record.  Values are separated by blanks, tabs,
// or a comma with optional blanks around it; a comma where a value should
// start (two in a row, or one at the start of the record) stands for a null
// value; r*c is r copies of c and r* r null values; a slash ends the values.
// scan_list calls item(text, repeat) for each value item in order (text
// empty for a null item) until it returns false; the number of values found
// (repeats counted), or -1 when a repeat count is malformed (that item whole
// in *malformed when given).
template <class Item>
int64_t scan_list(std::string_view record, Item item, std::string_view *malformed = nullptr);

// The number of values list-directed input finds in the record alone.
int64_t count_list_values(std::string_view record);

// The value of one list-directed item: status_ok, status_bad_value when the
// text is not a number of the kind (an integer: an optional sign and digits;
// a real: any form F editing reads, such as .5, 1e3, 1.5D0, 1.5+3, NaN, Inf),
// or status_overflow for an integer beyond 4 bytes.
int32_t parse_integer(std::string_view text, int32_t &value);
int32_t parse_real(std::string_view text, double &value);

// Reads the first item of text as list-directed input reads a 4-byte integer:
// leading blanks (and tabs) skipped, the item ended by a blank, tab, comma,
// slash or the end of the text, an optional repeat count r* before it.
// status_ok with value set; status_end_of_file when there is no item;
// status_bad_value when the item is not an integer; status_overflow when it
// does not fit.
int32_t read_integer(std::string_view text, int32_t &value);

template <class Item>
int64_t scan_list(std::string_view record, Item item, std::string_view *malformed) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const std::size_t n = record.size();
    std::size_t i = 0;
    int64_t count = 0;
    for (;;) {
        while (i < n && blank(record[i])) ++i;
        if (i == n || record[i] == '/') return count;
        if (record[i] == ',') {  // no value before this comma
            ++i;
            ++count;
            if (!item(std::string_view(), int64_t{1})) return count;
            continue;
        }
        std::size_t end = i;
        while (end < n && !blank(record[end]) && record[end] != ',' && record[end] != '/') ++end;
        std::string_view text = record.substr(i, end - i);
        int64_t repeat = 1;
        if (const std::size_t star = text.find('*'); star != std::string_view::npos) {
            repeat = 0;
            bool digits = star > 0;
            for (std::size_t k = 0; k < star && digits; ++k) {
                digits = text[k] >= '0' && text[k] <= '9' && repeat <= (int64_t{1} << 40);
                if (digits) repeat = repeat * 10 + (text[k] - '0');
            }
            if (!digits || repeat == 0) {
                if (malformed != nullptr) *malformed = text;
                return -1;
            }
            text = text.substr(star + 1);
        }
        count += repeat;
        if (!item(text, repeat)) return count;
        i = end;
        while (i < n && blank(record[i])) ++i;
        if (i < n && record[i] == ',') ++i;  // this value's separator
    }
}

}  // namespace kestro::format
