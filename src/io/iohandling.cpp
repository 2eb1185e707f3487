// Keyword files by unit number: the primitives every reader of the job's
// text files stands on.  Records come from the table of units; values are
// read as list-directed input finds them in each line alone.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/format.hpp"
#include "core/process.hpp"
#include "core/stringhandling.hpp"
#include "core/units.hpp"
#include "decl/errorhandling.hpp"
#include "decl/iohandling.hpp"
#include "io/io.hpp"

namespace {

namespace units = kestro::units;
namespace format = kestro::format;

// A record is taken as 256 characters for counting and matching.
constexpr std::size_t kRecordLength = 256;

std::string_view view(const char *s, std::size_t length) { return {s, s != nullptr ? length : 0}; }

std::string_view counted_part(std::string_view record) { return record.substr(0, kRecordLength); }

using kestro::stringhandling::lower;

// The character at a 0-based column of a blank-padded record.
char column(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : ' '; }


// Leading blanks removed, the first lkey characters compared without regard to case.
bool key_match(std::string_view record, std::string_view keyword, int32_t lkey) {
    record = counted_part(record);
    const std::size_t start = std::min(record.find_first_not_of(' '), record.size());
    record.remove_prefix(start);
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max(lkey, 0)); ++i)
        if (lower(column(record, i)) != lower(column(keyword, i))) return false;
    return true;
}

// The first character of a record, a blank for an empty one.
char first_character(std::string_view record) { return column(record, 0); }

bool is_block_end(std::string_view record, std::string_view skeys) {
    return skeys.find(first_character(record)) != std::string_view::npos;
}

[[noreturn]] void too_many_values(int32_t unit) {
    kestro::fatal_error("Data block of unit %d (file %s) at record %lld holds more than %d values", unit,
                        units::path_of(unit).c_str(), static_cast<long long>(units::tell(unit)),
                        std::numeric_limits<int32_t>::max());
}

}  // namespace

namespace kestro::io {

// A read error ends the block like a key line.
int64_t data_block_size(int32_t unit, std::string_view skeys, bool *cut) {
    const int64_t start = units::tell(unit);
    int64_t items = 0;
    std::string_view record;
    while (units::read_record(unit, &record) == units::read_ok && !is_block_end(record, skeys)) {
        items += std::max<int64_t>(format::count_list_values(counted_part(record)), 0);
        if (items > std::numeric_limits<int32_t>::max()) too_many_values(unit);
        if (cut != nullptr && record.size() > kRecordLength)
            *cut = *cut || record.find_first_not_of(' ', kRecordLength) != std::string_view::npos;
    }
    units::seek(unit, start);
    return items;
}

}  // namespace kestro::io

namespace {

using kestro::io::data_block_size;

template <class T>
int32_t parse(std::string_view text, T &value) {
    if constexpr (std::is_same_v<T, double>)
        return format::parse_real(text, value);
    else
        return format::parse_integer(text, value);
}

// Appends the values of one data line to values: as many as the line holds
// in its counted part, each item read whole, a null value as zero.  A line
// within the counted length and without repeat counts is counted and parsed
// in one pass.
template <class T>
void read_line(int32_t unit, std::string_view record, std::vector<T> &values) {
    int64_t item = 0;
    const auto value_of = [&](std::string_view text) {
        T value{};
        if (!text.empty() && parse(text, value) != format::status_ok)
            kestro::io::bad_item(unit, item, text, std::is_same_v<T, double>);
        return value;
    };
    if (record.size() <= kRecordLength && record.find('*') == std::string_view::npos) {
        format::scan_list(record, [&](std::string_view text, int64_t) {
            ++item;
            values.push_back(value_of(text));
            return true;
        });
        return;
    }
    int64_t wanted = format::count_list_values(counted_part(record));
    if (wanted < 0) {
        // A malformed repeat count is an item that is not a number.
        std::string_view malformed;
        format::scan_list(counted_part(record), [&item](std::string_view, int64_t) { return ++item > 0; },
                          &malformed);
        kestro::io::bad_item(unit, item + 1, malformed, std::is_same_v<T, double>);
    }
    format::scan_list(record, [&](std::string_view text, int64_t repeat) {
        ++item;
        const T value = value_of(text);
        for (int64_t r = 0; r < repeat && wanted > 0; ++r, --wanted) values.push_back(value);
        return wanted > 0;
    });
}

// Reads the data block into values, line by line: false after a read error,
// which is recorded.  The line that ended the block is read next.
template <class T>
bool read_block(int32_t unit, std::vector<T> &values) {
    values.clear();
    for (;;) {
        std::string_view record;
        const int status = units::read_record(unit, &record);
        if (status > 0) {
            kestro::io::record_input_error("Error: Error in GetDataPointsRead operation exited with an error.");
            return false;
        }
        if (status < 0 || is_block_end(record, "*+")) {
            units::backspace(unit);
            return true;
        }
        read_line(unit, record, values);
        if (values.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) too_many_values(unit);
    }
}

template <class T>
void get_data_points(int32_t unit, T *outdata, int32_t n) {
    std::vector<T> values;
    if (!read_block(unit, values)) return;
    std::copy_n(values.begin(), std::min<std::size_t>(values.size(), static_cast<std::size_t>(std::max(n, 0))),
                outdata);
}

// Reads the next records to end of file, counting those that match; false
// after a read error.
template <class Match>
bool count_records(int32_t unit, int32_t *count, Match match) {
    std::string_view record;
    for (;;) {
        const int status = units::read_record(unit, &record);
        if (status > 0) return false;
        if (status < 0) return true;
        if (match(record)) ++*count;
    }
}

}  // namespace

namespace kestro::io {

void record_input_error(const char *message) {
    const int32_t code = -2, two = 2, rows = 8;
    const int32_t ints[2] = {0, 0}, codes[16] = {};
    const double reals[2] = {0.0, 0.0};
    errorhandling::xerr(&code, message, ints, &two, reals, &two, codes, &rows, &two, nullptr, std::strlen(message));
}

void bad_item(int32_t unit, int64_t item, std::string_view text, bool real) {
    // The item as read, a NUL shown as \0 rather than ending the quotation.
    std::string quoted;
    for (char c : text) quoted += c == '\0' ? std::string_view("\\0") : std::string_view(&c, 1);
    fatal_error("Error reading unit %d (file %s), record %lld: item %lld, \"%s\", is not %s", unit,
                units::path_of(unit).c_str(), static_cast<long long>(units::tell(unit)), static_cast<long long>(item),
                quoted.c_str(), real ? "a real number" : "an integer");
}

}  // namespace kestro::io

extern "C" {

int32_t GetFreeUnitNumber(const int32_t *first, const int32_t *last) {
    for (int64_t unit = std::max(*first, 1); unit <= *last; ++unit)
        if (unit != units::standard_input && unit != units::standard_output && !units::is_open(static_cast<int>(unit)))
            return static_cast<int32_t>(unit);
    return -1;
}

void RewindFile(const int32_t *fileid, const int32_t *nrwd) {
    for (int32_t i = 0; i < *nrwd && units::tell(*fileid) > 0; ++i) units::backspace(*fileid);
}

int32_t GetFileLength(const int32_t *fileid, const kestro_logical1 *rwd) {
    int32_t count = 0;
    if (!count_records(*fileid, &count, [](std::string_view) { return true; })) {
        kestro::io::record_input_error("Error: Error in GetFileLengthRead operation exited with an error.");
        return count;
    }
    if (rwd == nullptr || *rwd != 0) units::rewind(*fileid);
    return count;
}

}  // extern "C"

namespace kestro::iohandling {

int32_t getunitnumber(const char *filename, size_t filename_len) noexcept {
    std::string_view name = view(filename, filename_len);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    return units::find(name);
}

int32_t getnumberofkeywords(const int32_t *fileid, const char *keyword, const int32_t *lkey,
                            const kestro_logical1 *rwd, size_t keyword_len) noexcept {
    const std::string_view key = view(keyword, keyword_len);
    int32_t count = 0;
    if (!count_records(*fileid, &count, [&](std::string_view r) { return key_match(r, key, *lkey); })) {
        kestro::io::record_input_error("Error: Error in GetNumberOfKeywordsRead operation exited with an error.");
        return count;
    }
    if (rwd == nullptr || *rwd != 0) units::rewind(*fileid);
    return count;
}

kestro_logical1 get2nextkey(const int32_t *fileid, const int32_t *dirflag, const char *keyword, const int32_t *lkey,
                            const int32_t *ulimit, const int32_t *returnkey, size_t keyword_len) noexcept {
    const std::string_view key = view(keyword, keyword_len);
    const bool step_back = returnkey != nullptr && *returnkey == 1;
    const bool backwards = *dirflag == -1;
    bool found = false, first_examined = false;
    for (int32_t k = 1; k <= *ulimit; ++k) {
        if (backwards) {
            units::backspace(*fileid);
            units::backspace(*fileid);
            // At the top every further pass reads the first line again.
            if (units::tell(*fileid) == 0 && first_examined) break;
        }
        if (units::tell(*fileid) == 0) first_examined = true;
        std::string_view record;
        const int status = units::read_record(*fileid, &record);
        if (status > 0) {
            kestro::io::record_input_error("Error: Error in Get2NextKeyRead operation exited with an error.");
            return 0;
        }
        if (status < 0) break;
        if (key_match(record, key, *lkey)) {
            found = true;
            break;
        }
    }
    if (step_back) units::backspace(*fileid);
    return found ? 1 : 0;
}

int32_t getsizeofdata(const int32_t *fileid, const char *skeys, const int32_t *ls, size_t skeys_len) noexcept {
    const std::string_view keys = view(skeys, skeys_len).substr(0, static_cast<std::size_t>(std::max(*ls, 0)));
    return static_cast<int32_t>(data_block_size(*fileid, keys));
}

void real_getdatapoints(const int32_t *fileid, double *outdata, const int32_t *n) noexcept {
    get_data_points(*fileid, outdata, *n);
}

void int_getdatapoints(const int32_t *fileid, int32_t *outdata, const int32_t *n) noexcept {
    get_data_points(*fileid, outdata, *n);
}

void getxydatapoints(const int32_t *fileid, double *xydata, const int32_t *ndata, const int32_t *nrows) noexcept {
    const int64_t count = data_block_size(*fileid, "*+");
    if (*ndata < 1 || count / *ndata != *nrows) {
        kestro::io::record_input_error("Error: Error in GetXYDataPointsRead operation exited with an error.");
        return;
    }
    std::vector<double> values;
    if (!read_block(*fileid, values)) return;
    // The values of one point stand together in the file.
    for (int64_t i = 0; i < *ndata; ++i)
        for (int64_t j = 0; j < *nrows; ++j) xydata[j * *ndata + i] = values[static_cast<std::size_t>(i * *nrows + j)];
}

void getddsfromfile(const int32_t *fileid, double *xdds, const int32_t *nplies) noexcept {
    std::vector<double> values;
    if (!read_block(*fileid, values)) return;
    const std::size_t rows = std::min<std::size_t>(values.size() / 4, static_cast<std::size_t>(std::max(*nplies, 0)));
    for (std::size_t j = 0; j < rows; ++j) {
        xdds[3 * j] = values[4 * j + 1];
        xdds[3 * j + 1] = values[4 * j + 2];
    }
}

int32_t getxidfromstring(const char *s, const int32_t *ls, const char *xind, const int32_t *notfound, size_t s_len,
                         size_t xind_len) noexcept {
    const int32_t missing = notfound != nullptr ? *notfound : -1;
    const char kind = lower(column(view(xind, xind_len), 0));
    if (std::string_view("dilms").find(kind) == std::string_view::npos) return missing;
    const std::string_view text = view(s, s_len).substr(0, static_cast<std::size_t>(std::max(*ls, 0)));
    // The last "_<kind>@", letter case ignored.
    std::size_t at = std::string_view::npos;
    for (std::size_t i = text.size(); i >= 3; --i)
        if (text[i - 3] == '_' && lower(text[i - 2]) == kind && text[i - 1] == '@') {
            at = i;
            break;
        }
    if (at == std::string_view::npos) return missing;
    const std::string_view rest = text.substr(at);
    const std::size_t stop = rest.find('@');
    if (stop == std::string_view::npos) return missing;
    int32_t value = 0;
    return format::read_integer(rest.substr(0, stop), value) == format::status_ok ? value : missing;
}

void getelementdataextents(int32_t *iele, int32_t *inodes, int32_t *idof, const char *elemtype,
                           size_t elemtype_len) noexcept {
    const std::string_view name = view(elemtype, elemtype_len);
    const std::size_t last = name.find_last_not_of(' ');
    if (last == std::string_view::npos) return;
    // The integer in columns from..to (1-based, inclusive).
    const auto number = [&name](std::size_t from, std::size_t to, int32_t *value) {
        if (from < 1 || to < from || from > name.size()) return false;
        return format::read_integer(name.substr(from - 1, std::min(to, name.size()) - from + 1), *value) ==
               format::status_ok;
    };
    int32_t nodes = 0;
    bool counted = false, known = false;
    if (name[0] == 'S') {
        counted = true;
        known = number(2, 2, &nodes) || number(5, 5, &nodes) || number(3, 3, &nodes);
    } else if (name[0] == 'C' && name.substr(1, 2) != "IN") {
        counted = true;
        known = number(4, last + 1, &nodes) || number(4, last, &nodes);
    }
    if (!counted) return;
    *iele = static_cast<int32_t>(static_cast<uint32_t>(*iele) + 1u);  // wraps past the largest count, as iINC
    if (known) *inodes = std::max(*inodes, nodes);
    *idof = std::max(*idof, name[last] == '5' ? 5 : 6);
}

void getgausspointreport(const char *filepath, const double *coord, const int32_t *noel, const int32_t *npt,
                         size_t filepath_len) noexcept {
    std::string_view name = view(filepath, filepath_len);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    const std::string path(name);
    const int32_t first = 1, last = 120;
    const int32_t unit = GetFreeUnitNumber(&first, &last);
    if (unit < 1) return;
    if (!units::open(unit, path, units::Access::write, false)) {
        if (!units::open(unit, path, units::Access::write, true)) return;
        format::write(unit, "(a8,a8,a25,a25,a25)", {"NOEL", "NPT", "x", "y", "z"});
    }
    format::write(unit, "(2i8,3f25.8)", {*noel, *npt, coord[0], coord[1], coord[2]});
    units::close(unit);
}

}  // namespace kestro::iohandling
