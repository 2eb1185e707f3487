#include "core/format.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <limits>

#include "core/process.hpp"
#include "core/units.hpp"

namespace kestro::format {

namespace {

// Reads a format specification; blanks outside literals are ignored.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool parse(std::vector<Item> &items) {
        if (!eat('(')) return false;
        if (!list(items, 0)) return false;
        skip_blanks();
        return pos_ == text_.size();
    }

private:
    void skip_blanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    char peek() {
        skip_blanks();
        return pos_ < text_.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_]))) : '\0';
    }
    bool eat(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    // An unsigned number, or -1 when none stands here.
    int number() {
        skip_blanks();
        if (pos_ >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[pos_]))) return -1;
        long long n = 0;
        while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == ' ')) {
            if (text_[pos_] != ' ') n = std::min<long long>(n * 10 + (text_[pos_] - '0'), 1LL << 30);
            ++pos_;
        }
        return static_cast<int>(n);
    }

    // Items up to the closing parenthesis of this level.
    bool list(std::vector<Item> &items, int depth) {
        if (eat(')')) return true;  // an empty list
        for (;;) {
            if (!item(items, depth)) return false;
            // Items are separated by commas; / needs none around it.
            if (eat(')')) return true;
            // A / needs no comma around it, nor does a scale factor before the
            // descriptor it scales.
            const Item::Kind last = items.back().kind;
            if (!eat(',') && last != Item::Kind::newline && last != Item::Kind::scale && peek() != '/') return false;
        }
    }

    bool item(std::vector<Item> &items, int depth) {
        // Only a scale factor may carry a sign.
        const bool is_signed = peek() == '-' || peek() == '+';
        const int sign = peek() == '-' ? -1 : 1;
        if (is_signed) ++pos_;
        const int count = number();
        if (is_signed && count < 0) return false;
        const char c = peek();
        if (c == '\0') return false;
        Item it;
        if (c == '\'' || c == '"') {
            if (count >= 0) return false;
            it.kind = Item::Kind::literal;
            return literal(it) && (items.push_back(it), true);
        }
        ++pos_;
        if (c == 'H') {  // Hollerith: the next count characters as they stand
            if (count <= 0 || pos_ + static_cast<std::size_t>(count) > text_.size()) return false;
            it.kind = Item::Kind::literal;
            it.text = std::string(text_.substr(pos_, static_cast<std::size_t>(count)));
            pos_ += static_cast<std::size_t>(count);
            items.push_back(it);
            return true;
        }
        switch (c) {
        case '(': {
            if (depth >= 16) return false;
            Item open;
            open.kind = Item::Kind::group_open;
            open.repeat = count >= 0 ? count : 1;
            items.push_back(open);
            if (!list(items, depth + 1)) return false;
            Item close;
            close.kind = Item::Kind::group_close;
            items.push_back(close);
            return true;
        }
        case '/':
            it.kind = Item::Kind::newline;
            it.repeat = count >= 0 ? count : 1;
            break;
        case 'X':
            it.kind = Item::Kind::skip;
            it.repeat = count >= 0 ? count : 1;
            break;
        case 'T':
            if (count >= 0) return false;
            it.kind = Item::Kind::tab;
            if ((it.repeat = number()) < 1) return false;
            break;
        case 'P':
            if (count < 0) return false;
            it.kind = Item::Kind::scale;
            it.scale = sign * count;
            break;
        case 'I':
            it.kind = Item::Kind::integer;
            if ((it.width = number()) < 0) return false;
            if (eat('.') && (it.digits = number()) < 0) return false;
            break;
        case 'F':
        case 'E':
        case 'D':
            it.kind = c == 'F' ? Item::Kind::fixed : c == 'E' ? Item::Kind::exponent : Item::Kind::exponent_d;
            if ((it.width = number()) < 0 || !eat('.') || (it.digits = number()) < 0) return false;
            if (c == 'E' && eat('E') && (it.exponent = number()) < 0) return false;
            break;
        case 'A':
            it.kind = Item::Kind::alpha;
            it.width = number();
            break;
        default:
            return false;
        }
        if (is_signed && it.kind != Item::Kind::scale) return false;
        if (it.is_data()) it.repeat = count >= 0 ? count : 1;
        if (it.is_data() && it.repeat == 0) return false;
        items.push_back(it);
        return true;
    }

    // A quoted literal; a doubled quote stands for one.
    bool literal(Item &it) {
        const char quote = text_[pos_++];
        for (;;) {
            if (pos_ >= text_.size()) return false;
            const char c = text_[pos_++];
            if (c == quote) {
                if (pos_ < text_.size() && text_[pos_] == quote) {
                    it.text += quote;
                    ++pos_;
                    continue;
                }
                return true;
            }
            it.text += c;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// The items with every group written out as often as it repeats; `reversion`
// receives where the last top-level group starts.
void flatten(const std::vector<Item> &items, std::size_t &i, std::vector<Item> &out, std::size_t *reversion) {
    while (i < items.size() && items[i].kind != Item::Kind::group_close) {
        const Item &it = items[i];
        if (it.kind == Item::Kind::group_open) {
            const std::size_t body = i + 1;
            if (reversion != nullptr) *reversion = out.size();
            std::size_t end = body;
            if (it.repeat == 0) {  // a group repeated zero times writes nothing
                std::vector<Item> discard;
                flatten(items, end, discard, nullptr);
            }
            for (int r = 0; r < it.repeat; ++r) {
                end = body;
                flatten(items, end, out, nullptr);
            }
            i = end + 1;  // past the closing parenthesis
            continue;
        }
        if (it.is_data()) {
            Item one = it;
            one.repeat = 1;
            for (int r = 0; r < it.repeat; ++r) out.push_back(one);
        } else {
            out.push_back(it);
        }
        ++i;
    }
}

}  // namespace

std::optional<Format> Format::parse(std::string_view specification) {
    Format f;
    Parser p(specification);
    if (!p.parse(f.items_)) return std::nullopt;
    // Writers work on the format with its repeats written out: refuse one that
    // would spell out more items than any record of the library needs.
    if (f.expanded_size() > max_expanded_items) return std::nullopt;
    return f;
}

std::size_t Format::expanded_size() const {
    // Items of one repetition of each group, innermost first; saturating.
    std::vector<std::size_t> level{0};
    std::vector<int> repeats;
    auto add = [](std::size_t a, std::size_t b) { return std::min(a + b, max_expanded_items + 1); };
    for (const Item &it : items_) {
        if (it.kind == Item::Kind::group_open) {
            level.push_back(0);
            repeats.push_back(it.repeat);
        } else if (it.kind == Item::Kind::group_close) {
            const std::size_t inner = level.back();
            level.pop_back();
            const auto r = static_cast<std::size_t>(repeats.back());
            repeats.pop_back();
            const std::size_t total = r != 0 && inner > (max_expanded_items + 1) / r ? max_expanded_items + 1 : inner * r;
            level.back() = add(level.back(), total);
        } else {
            level.back() = add(level.back(), it.is_data() ? static_cast<std::size_t>(it.repeat) : 1);
        }
    }
    return level.front();
}

std::string edit_integer(int64_t value, int width, int digits) {
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text = std::to_string(magnitude);
    if (digits == 0 && magnitude == 0) {  // Iw.0 writes zero as blanks, I0.0 as one
        text.clear();
        if (width == 0) text.push_back(' ');
    }
    if (digits > 0 && static_cast<int>(text.size()) < digits) text.insert(0, digits - text.size(), '0');
    if (value < 0) text.insert(0, 1, '-');
    if (width <= 0) return text;
    if (static_cast<int>(text.size()) > width) return std::string(width, '*');
    return std::string(width - text.size(), ' ') + text;
}

namespace {

std::string stars(int width) { return std::string(static_cast<std::size_t>(std::max(width, 0)), '*'); }

// Right-adjusts text in width characters (as it is for width 0), or stars.
std::string fit(std::string text, int width) {
    if (width <= 0) return text;
    if (static_cast<int>(text.size()) > width) return stars(width);
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// Drops the zero before the decimal point when the field is too narrow for it.
std::string fit_number(std::string text, int width) {
    if (width > 0 && static_cast<int>(text.size()) > width) {
        const std::size_t zero = text[0] == '-' ? 1 : 0;
        if (text.compare(zero, 2, "0.") == 0) text.erase(zero, 1);
    }
    return fit(std::move(text), width);
}

std::string non_finite(double value, int width) {
    if (std::isnan(value)) return fit("NaN", width);
    const char *sign = std::signbit(value) ? "-" : (width == 0 ? "" : "");
    if (width == 0 || width >= 8 + (std::signbit(value) ? 1 : 0)) return fit(std::string(sign) + "Infinity", width);
    return fit(std::string(sign) + "Inf", width);
}

std::string edit_fixed(double value, int width, int digits, int scale) {
    const double scaled = value * std::pow(10.0, scale);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::max(digits, 0), scaled);
    std::string text = buffer;
    if (digits == 0) text += '.';
    return fit_number(std::move(text), width);
}

// Ew.d[Ee] and Dw.d: d digits after the decimal point of 0.ddd (scale 0), or
// k digits before it and d - k + 1 after (kP with k > 0).
std::string edit_exponent(double value, const Item &item, int scale) {
    const int d = std::max(item.digits, 0);
    const int significant = scale > 0 ? d + 1 : d + scale;
    if (significant <= 0 || (scale > 0 && scale >= d + 2)) return stars(item.width);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, std::abs(value));
    std::string digits;
    for (const char *c = buffer; *c != 'e'; ++c)
        if (*c != '.') digits += *c;
    const int e10 = std::atoi(std::strchr(buffer, 'e') + 1);
    const int exponent = value == 0.0 ? 0 : (e10 + 1) - scale;  // zero has exponent 0 whatever the scale
    std::string text = std::signbit(value) ? "-" : "";
    if (scale <= 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-scale), '0');
        text += digits;
    } else {
        text += digits.substr(0, static_cast<std::size_t>(scale));
        text += '.';
        text += digits.substr(static_cast<std::size_t>(scale));
    }
    const char letter = item.kind == Item::Kind::exponent_d ? 'D' : 'E';
    const char sign = exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(exponent);
    char field[32];
    if (item.exponent > 0) {
        const std::string e = std::to_string(magnitude);
        if (static_cast<int>(e.size()) > item.exponent) return stars(item.width);
        std::snprintf(field, sizeof field, "%c%c%0*d", letter, sign, item.exponent, magnitude);
    } else if (magnitude <= 99) {
        std::snprintf(field, sizeof field, "%c%c%02d", letter, sign, magnitude);
    } else if (magnitude <= 999) {
        std::snprintf(field, sizeof field, "%c%03d", sign, magnitude);
    } else {
        return stars(item.width);
    }
    return fit_number(text + field, item.width);
}

}  // namespace

std::string edit_real(double value, const Item &item, int scale) {
    if (!std::isfinite(value)) return non_finite(value, item.width);
    if (item.kind == Item::Kind::fixed) return edit_fixed(value, item.width, item.digits, scale);
    return edit_exponent(value, item, scale);
}

std::string edit_alpha(std::string_view text, int width) {
    if (width < 0) return std::string(text);
    const auto w = static_cast<std::size_t>(width);
    if (text.size() >= w) return std::string(text.substr(0, w));
    return std::string(w - text.size(), ' ') + std::string(text);
}

Writer::Writer(const Format &format) : format_(format) {
    std::size_t i = 0;
    flatten(format_.items(), i, flat_, &reversion_);
}

const Item *Writer::next_data() {
    bool reverted = false;
    for (;;) {
        if (position_ >= flat_.size()) {
            // Values remain but the format is used up: continue on a new record
            // from the reversion point, unless no data descriptor follows it
            // (the value is refused without writing the literals again).
            const auto from = flat_.begin() + static_cast<std::ptrdiff_t>(reversion_);
            if (reverted || std::none_of(from, flat_.end(), [](const Item &i) { return i.is_data(); }))
                return nullptr;
            reverted = true;
            position_ = reversion_;
            records_.emplace_back();
            column_ = 0;
            continue;
        }
        const Item &it = flat_[position_];
        if (it.is_data()) return &it;
        advance();
    }
}

void Writer::emit(std::string_view text) {
    std::string &record = records_.back();
    if (record.size() < column_) record.resize(column_, ' ');
    record.replace(column_, std::min(text.size(), record.size() - column_), text);
    column_ += text.size();
}

// Writes the non-data item at the current position and moves past it.
void Writer::advance() {
    const Item &it = flat_[position_++];
    switch (it.kind) {
    case Item::Kind::literal: emit(it.text); break;
    case Item::Kind::skip: emit(std::string(static_cast<std::size_t>(it.repeat), ' ')); break;
    case Item::Kind::tab:
        column_ = static_cast<std::size_t>(it.repeat - 1);
        if (records_.back().size() < column_) records_.back().resize(column_, ' ');
        break;
    case Item::Kind::newline:
        for (int r = 0; r < it.repeat; ++r) records_.emplace_back();
        column_ = 0;
        break;
    case Item::Kind::scale: scale_ = it.scale; break;
    default: break;
    }
}

int32_t Writer::put(int64_t value) {
    const Item *d = next_data();
    if (d == nullptr || d->kind != Item::Kind::integer) return status_bad_format;
    emit(edit_integer(value, d->width, d->digits));
    ++position_;
    return status_ok;
}

int32_t Writer::put(double value) {
    const Item *d = next_data();
    if (d == nullptr || (d->kind != Item::Kind::fixed && d->kind != Item::Kind::exponent &&
                         d->kind != Item::Kind::exponent_d))
        return status_bad_format;
    emit(edit_real(value, *d, scale_));
    ++position_;
    return status_ok;
}

int32_t Writer::put(std::string_view text) {
    const Item *d = next_data();
    if (d == nullptr || d->kind != Item::Kind::alpha) return status_bad_format;
    emit(edit_alpha(text, d->width));
    ++position_;
    return status_ok;
}

void Writer::finish() {
    if (finished_) return;
    finished_ = true;
    while (position_ < flat_.size() && !flat_[position_].is_data()) advance();
}

int32_t format_records(const Format &format, std::span<const Value> values, std::vector<std::string> &records) {
    Writer w(format);
    int32_t status = status_ok;
    for (const Value &v : values) {
        switch (v.type) {
        case Value::Type::integer: status = w.put(v.integer); break;
        case Value::Type::real: status = w.put(v.real); break;
        case Value::Type::text: status = w.put(v.text); break;
        }
        if (status != status_ok) break;
    }
    if (status == status_ok) w.finish();
    records = w.records();
    return status;
}

void write_values(int unit, std::string_view format, std::span<const Value> values) {
    const std::optional<Format> parsed = Format::parse(format);
    std::vector<std::string> records;
    if (!parsed || format_records(*parsed, values, records) != status_ok)
        fatal_error("Fortran runtime error: bad format or item type for %.*s", static_cast<int>(format.size()),
                    format.data());
    for (const std::string &record : records) units::write_record(unit, record);
}

int32_t write_integer(const Format &format, int64_t value, char *record, std::size_t record_length) {
    Writer w(format);
    if (const int32_t status = w.put(value); status != status_ok) return status;
    w.finish();
    const std::vector<std::string> &records = w.records();
    if (records.size() > 1 || records.front().size() > record_length) return status_end_of_record;
    const std::string &text = records.front();
    std::copy(text.begin(), text.end(), record);
    std::fill(record + text.size(), record + record_length, ' ');
    return status_ok;
}

std::string list_record(std::span<const Value> values) {
    std::string record;
    char buffer[64];
    for (const Value &v : values) {
        record += ' ';
        switch (v.type) {
        case Value::Type::text: record += v.text; break;
        case Value::Type::integer:
            std::snprintf(buffer, sizeof buffer, "%12lld", static_cast<long long>(v.integer));
            record += buffer;
            break;
        case Value::Type::real:
            std::snprintf(buffer, sizeof buffer, "%25.16E", v.real);
            record += buffer;
            break;
        }
    }
    return record;
}

int64_t count_list_values(std::string_view record) {
    return scan_list(record, [](std::string_view, int64_t) { return true; });
}

int32_t parse_integer(std::string_view text, int32_t &value) {
    std::size_t k = text.size() > 0 && text[0] == '+' ? 1 : 0;
    if (k == 1 && text.size() > 1 && text[1] == '-') return status_bad_value;
    int32_t v = 0;
    const char *first = text.data() + k, *last = text.data() + text.size();
    if (first == last) return status_bad_value;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) return status_overflow;
    if (ec != std::errc() || end != last) return status_bad_value;
    value = v;
    return status_ok;
}

int32_t parse_real(std::string_view text, double &value) {
    // [sign] mantissa [exponent]: the mantissa digits with at most one point
    // (at least one digit), the exponent E, D or Q with an optional sign, or a
    // bare sign, then digits; or NaN and Inf(inity) in any case.
    char buffer[128];
    std::size_t n = 0, i = 0;
    const std::size_t size = text.size();
    if (size == 0 || size >= sizeof buffer - 2) return status_bad_value;
    if (text[0] == '+' || text[0] == '-') buffer[n++] = text[i++];
    std::size_t digits = 0;
    bool point = false;
    for (; i < size; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        buffer[n++] = c;
    }
    if (digits == 0) {
        // No mantissa: NaN or an infinity, nothing else.
        std::string word(text.substr(i));
        for (char &c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (word != "nan" && word != "inf" && word != "infinity") return status_bad_value;
        const double special = word == "nan" ? std::numeric_limits<double>::quiet_NaN()
                                             : std::numeric_limits<double>::infinity();
        value = text[0] == '-' ? -special : special;
        return status_ok;
    }
    if (i < size) {
        char c = text[i];
        if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q') {
            ++i;
            if (i == size) return status_bad_value;
            c = text[i];
        } else if (c != '+' && c != '-') {
            return status_bad_value;
        }
        buffer[n++] = 'e';
        if (c == '+' || c == '-') {
            buffer[n++] = c;
            ++i;
        }
        const std::size_t start = i;
        for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) buffer[n++] = text[i];
        if (i != size || i == start) return status_bad_value;
    }
    const char *first = buffer[0] == '+' ? buffer + 1 : buffer;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(first, buffer + n, v);
    if (end != buffer + n) return status_bad_value;
    // Beyond the range of the type: the infinity or zero of the right sign.
    if (ec == std::errc::result_out_of_range) {
        buffer[n] = '\0';
        v = std::strtod(first, nullptr);
    } else if (ec != std::errc()) {
        return status_bad_value;
    }
    value = v;
    return status_ok;
}

int32_t read_integer(std::string_view text, int32_t &value) {
    int32_t status = status_end_of_file;  // a blank text, or a null value
    const int64_t found = scan_list(text, [&](std::string_view item, int64_t) {
        if (!item.empty()) status = parse_integer(item, value);
        return false;  // the first item only
    });
    return found < 0 ? status_bad_value : status;
}

std::string timestamp(const std::tm &when, int milliseconds) {
    static const char *const months[] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
    int hour = when.tm_hour;
    const char *half = "AM";
    if (hour == 12)
        half = when.tm_min == 0 && when.tm_sec == 0 ? "Noon" : "PM";
    else if (hour > 12) {
        hour -= 12;
        half = "PM";
    }
    const int month = when.tm_mon >= 0 && when.tm_mon < 12 ? when.tm_mon : 0;
    static const Format layout = *Format::parse("(i2,1x,a,1x,i4,2x,i2,a1,i2.2,a1,i2.2,a1,i3.3,1x,a)");
    std::vector<std::string> records;
    format_records(layout,
                   {when.tm_mday, months[month], when.tm_year + 1900, hour, ":", when.tm_min, ":", when.tm_sec, ".",
                    milliseconds, half},
                   records);
    return records.front();
}

std::string timestamp_now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return timestamp(local, static_cast<int>(ms));
}

}  // namespace kestro::format
