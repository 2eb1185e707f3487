#include "core/stringhandling.hpp"

#include <algorithm>
#include <cstring>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/process.hpp"
#include "kestro/host.h"

namespace kestro::stringhandling {

namespace {

std::string_view view(const char *s, size_t len) { return {s, s != nullptr ? len : 0}; }

// Length of the text without trailing blanks.
size_t len_trim(std::string_view s) {
    const size_t last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? 0 : last + 1;
}
std::string_view trim(std::string_view s) { return s.substr(0, len_trim(s)); }

// Writes text into a result of length len: cut, or padded with blanks.
void assign(char *dest, size_t len, std::string_view text) {
    const size_t n = std::min(len, text.size());
    if (n > 0) std::memcpy(dest, text.data(), n);
    std::memset(dest + n, ' ', len - n);
}

// The length of a result: the requested n, within the result's storage.
size_t result_length(const int32_t *n, size_t storage) {
    return *n < 1 ? 0 : std::min<size_t>(static_cast<size_t>(*n), storage);
}


std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

// Leading blanks moved to the end (the length stays).
std::string adjusted_left(std::string_view s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::string(s.size(), ' ');
    return std::string(s.substr(first)) + std::string(first, ' ');
}

// 1-based position of the first (or last) occurrence of key in s, 0 when
// absent; an empty key is found at the start (or just past the end).
size_t index_of(std::string_view s, std::string_view key, bool back = false) {
    const size_t p = back ? s.rfind(key) : s.find(key);
    return p == std::string_view::npos ? 0 : p + 1;
}

void map_case(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len, char (*f)(char)) {
    const size_t len = result_length(n, res_len);
    for (size_t k = 0; k < len; ++k) res[k] = f(k < s_len ? s[k] : ' ');
}

std::string reduced(std::string_view s) {
    std::string out;
    for (char c : trim(s))
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

size_t count_occurrences(std::string_view s, std::string_view text) {
    if (text.size() > s.size()) return 0;
    size_t count = 0;
    for (size_t k = 0; k + text.size() <= s.size(); ++k)
        if (s.compare(k, text.size(), text) == 0) ++count;
    return count;
}

}  // namespace

void split(char *a, char *b, const char *s, const char *sdelim, const int32_t *n, size_t a_len, size_t b_len,
           size_t s_len, size_t sdelim_len) noexcept {
    if (*n < 1) return;
    const std::string_view text = view(s, s_len);
    const size_t i = sdelim_len > 0 ? text.find(sdelim[0]) : std::string_view::npos;
    assign(a, result_length(n, a_len), i == std::string_view::npos ? text : text.substr(0, i));
    assign(b, result_length(n, b_len), i == std::string_view::npos ? std::string_view() : text.substr(i + 1));
}

void extract(char *res, const char *s, const char *startkey, const char *stopkey, const int32_t *n, size_t res_len,
             size_t s_len, size_t startkey_len, size_t stopkey_len) noexcept {
    const size_t len = result_length(n, res_len);
    const std::string_view text = view(s, s_len);
    const std::string_view start_key = view(startkey, startkey_len);
    const std::string_view stop_key = view(stopkey, stopkey_len);
    // 1-based: the text starts after the last start key; when there is none,
    // at position len_trim(startkey).
    const size_t i = start_key.empty() ? text.size() + 1 : index_of(text, start_key, true);
    const size_t start = std::max<size_t>(i + len_trim(start_key), 1);
    std::string_view found;
    if (start <= text.size()) {
        const std::string_view rest = text.substr(start - 1);
        // The text runs up to the stop key, whatever its length.
        const size_t j = index_of(rest, stop_key);
        if (j > 1) found = rest.substr(0, j - 1);
    }
    assign(res, len, adjusted_left(found));
}

void lowercase(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept {
    map_case(res, s, n, res_len, s_len, lower);
}

void uppercase(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept {
    map_case(res, s, n, res_len, s_len, upper);
}

int8_t match(const char *a, const char *b, size_t a_len, size_t b_len) noexcept {
    const std::string_view x = trim(view(a, a_len)), y = trim(view(b, b_len));
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(),
                                              [](char c, char d) { return lower(c) == lower(d); })
               ? 1
               : 0;
}

void translate(const char *s0, char *sout, const int32_t *codes, const int32_t *n, const int32_t *nc,
               size_t s0_len, size_t sout_len) noexcept {
    const size_t len = result_length(n, sout_len);
    const int32_t rows = std::max(*nc, 0);
    for (size_t k = 0; k < len; ++k) {
        const char c = k < s0_len ? s0[k] : ' ';
        sout[k] = c;
        for (int32_t p = 0; p < rows; ++p)
            if (static_cast<char>(codes[p]) == c) {
                sout[k] = static_cast<char>(codes[rows + p]);
                break;
            }
    }
}

void replacetext(const char *s, const char *text, const char *rep, char *sout, const int32_t *nout, size_t s_len,
                 size_t text_len, size_t rep_len, size_t sout_len) noexcept {
    const size_t len = result_length(nout, sout_len);
    const std::string_view t = trim(view(text, text_len));
    const std::string_view r = trim(view(rep, rep_len));
    std::string out(len, ' ');
    assign(out.data(), len, view(s, s_len));
    if (t.empty()) {
        // Nothing to look for: the text stays as it is.
    } else if (r.find(t) != std::string_view::npos) {
        // The replacement holds the text itself: replace in one pass from left to
        // right, or the search would find its own replacements without end.
        std::string result;
        size_t from = 0;
        for (size_t p = out.find(t); p != std::string::npos; p = out.find(t, from)) {
            result.append(out, from, p - from).append(r);
            from = p + t.size();
        }
        result.append(out, from, std::string::npos);
        assign(out.data(), len, result);
    } else {
        // Search again from the start after every replacement.  A guard bounds
        // the passes, although no replacement free of the text grows without end.
        const size_t guard = 4 * (len + 2) * (len + 2);
        for (size_t pass = 0, p = out.find(t); p != std::string::npos && pass < guard; p = out.find(t), ++pass) {
            std::string next = out.substr(0, p);
            next.append(r).append(out, p + t.size(), std::string::npos);
            assign(out.data(), len, next);
        }
    }
    std::memcpy(sout, out.data(), len);
}

void reduceblanks(const char *s, char *sout, const int32_t *nout, size_t s_len, size_t sout_len) noexcept {
    assign(sout, result_length(nout, sout_len), reduced(view(s, s_len)));
}

void int2aformat(char *j2s, const int32_t *jrray, const char *aw, const int32_t *jmax, const int32_t *sout,
                 const int32_t *n, const int32_t *m, size_t j2s_len, size_t aw_len) noexcept {
    const std::string problem = int2aformat_problem(jrray, *n, *m, view(aw, aw_len), *jmax);
    if (!problem.empty()) fatal_error("int2aformat: %s", problem.c_str());
    const size_t len = result_length(sout, j2s_len);
    const auto format = format::Format::parse(view(aw, aw_len));
    std::string joined, field;
    for (int64_t c = 0; c < *m; ++c)
        for (int64_t r = 0; r < *n; ++r) {
            integer_field(*format, jrray[c * *n + r], *jmax, field);
            joined.resize(len_trim(joined));
            joined += adjusted_left(field);
            if (joined.size() > len) joined.resize(len);
        }
    assign(j2s, len, joined);
}

int32_t tally(const char *s, const char *text, const int32_t *csflag, size_t s_len, size_t text_len) noexcept {
    const std::string_view t = trim(view(text, text_len));
    if (t.size() > s_len) return 0;
    if (t.empty()) return static_cast<int32_t>(s_len + 1);
    if (csflag == nullptr || *csflag == 1) return static_cast<int32_t>(count_occurrences(view(s, s_len), t));
    return static_cast<int32_t>(count_occurrences(lowered(adjusted_left(view(s, s_len))), lowered(t)));
}

int8_t occurs(const char *a, const char *b, size_t a_len, size_t b_len) noexcept {
    const int32_t ignore_case = 0;
    return tally(a, b, &ignore_case, a_len, b_len) > 0 ? 1 : 0;
}

int32_t clen(const char *s, size_t s_len) noexcept {
    const size_t l = len_trim(view(s, s_len));
    return static_cast<int32_t>(l >= 1 && s[l - 1] == '\0' ? l - 1 : s_len);
}

int32_t clen_trim(const char *s, size_t s_len) noexcept {
    const size_t l = len_trim(view(s, s_len));
    return static_cast<int32_t>(l >= 1 && s[l - 1] == '\0' ? l - 1 : l);
}

void ctrim(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept {
    assign(res, result_length(n, res_len), view(s, static_cast<size_t>(clen_trim(s, s_len))));
}

int32_t countitems(const char *s0, size_t s0_len) noexcept {
    std::string t(view(s0, static_cast<size_t>(clen(s0, s0_len))));
    std::replace(t.begin(), t.end(), '\t', ' ');
    const size_t l = len_trim(t);
    int32_t count = l > 0 ? 1 : 0;
    for (size_t k = 0; k + 1 < l; ++k) {
        if (t[k + 1] == ',')
            ++count;
        else if (t[k] != ' ' && t[k] != ',' && t[k + 1] == ' ')
            ++count;
    }
    return count;
}

void copys2a(const char *s, char *ca, const int32_t *n, size_t s_len) noexcept {
    for (int32_t k = 0; k < *n; ++k) ca[k] = static_cast<size_t>(k) < s_len ? s[k] : ' ';
}

void copya2s(const char *ca, char *s, const int32_t *n, size_t s_len) noexcept {
    const size_t len = result_length(n, s_len);
    std::memcpy(s, ca, len);
}

void spack(const char *s, const char *ex, char *sout, const int32_t *ns, const int32_t *nx, size_t s_len,
           size_t ex_len, size_t sout_len) noexcept {
    if (negative_count("spack", {*nx})) return;
    const std::string_view keep = view(ex, std::min<size_t>(static_cast<size_t>(*nx), ex_len));
    const std::string_view text = view(s, std::min<size_t>(static_cast<size_t>(std::max(*ns, 0)), s_len));
    std::string kept;
    for (char c : text)
        if (keep.find(c) != std::string_view::npos) kept += c;
    assign(sout, result_length(ns, sout_len), kept);
}

void str2ascii(int32_t *ia, const char *ca, const int32_t *n, size_t ca_len) noexcept {
    for (int32_t k = 0; k < *n; ++k)
        ia[k] = static_cast<size_t>(k) < ca_len ? static_cast<unsigned char>(ca[k]) : ' ';
}

void int2str(const int32_t *integ, char *ca, int32_t *istat, size_t ca_len) noexcept {
    // Written as with the format (I0): the digits, left-adjusted.
    const std::string text = format::edit_integer(*integ, 0, -1);
    *istat = text.size() > ca_len ? format::status_end_of_record : format::status_ok;
    assign(ca, ca_len, *istat == format::status_ok ? std::string_view(text) : std::string_view());
}

void str2int(const char *ca, int32_t *integ, int32_t *istat, size_t ca_len) noexcept {
    int32_t value = 0;
    *istat = format::read_integer(view(ca, ca_len), value);
    if (*istat == format::status_ok) *integ = value;
}

void inistringwithcharacter(char *res, const char *ch, const int32_t *n, size_t res_len, size_t ch_len) noexcept {
    std::memset(res, ch_len > 0 ? ch[0] : ' ', result_length(n, res_len));
}

size_t reduced_length(std::string_view s) noexcept { return reduced(s).size(); }

int32_t integer_field(const format::Format &format, int32_t value, int32_t jmax, std::string &field) {
    const auto width = static_cast<size_t>(std::max(jmax, 0));
    for (size_t size = std::min<size_t>(width, 64);; size = std::min(width, 2 * size)) {
        field.assign(size, ' ');
        const int32_t status = format::write_integer(format, value, field.data(), size);
        if (status != format::status_end_of_record || size == width) return status;
    }
}

std::string int2aformat_problem(const int32_t *jrray, int32_t n, int32_t m, std::string_view aw, int32_t jmax) {
    const auto format = format::Format::parse(aw);
    if (!format) return "'" + std::string(trim(aw)) + "' is not a valid format";
    const auto width = static_cast<size_t>(std::max(jmax, 0));
    std::string field;
    for (int64_t c = 0; c < m; ++c)
        for (int64_t r = 0; r < n; ++r) {
            const int32_t value = jrray[c * n + r];
            const int32_t status = integer_field(*format, value, jmax, field);
            if (status == format::status_bad_format)
                return "the format '" + std::string(trim(aw)) + "' does not write an integer";
            if (status != format::status_ok)
                return "the format '" + std::string(trim(aw)) + "' does not fit " + std::to_string(value) + " into " +
                       std::to_string(width) + " characters";
        }
    return {};
}

}  // namespace kestro::stringhandling

size_t kestro_host_reduceblanks_length(const char *s, size_t len) {
    return kestro::stringhandling::reduced_length({s, len});
}

int kestro_host_int2aformat_fits(const int32_t *jrray, int32_t n, int32_t m, const char *aw, size_t aw_len,
                                 int32_t jmax) {
    return kestro::stringhandling::int2aformat_problem(jrray, n, m, {aw, aw_len}, jmax).empty() ? 1 : 0;
}
