// The error record: routines record the first error they meet and carry on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "decl/errorhandling.hpp"

namespace kestro::errorhandling {

// Length of a message and the most rows of character codes kept per name.
inline constexpr int message_length = 80;
inline constexpr int max_name_rows = 8;

// Whether an error is recorded (errstat not 0); safe while other threads record.
bool recorded() noexcept;

}  // namespace kestro::errorhandling

namespace kestro {

// Records an error the way the library's routines report bad input: the
// message is cut or blank-padded to 80 characters and each name becomes a
// column of 8 character codes (cut or blank-padded); names beyond the 16th are
// not kept.  Does nothing while an error is recorded.
void record_error(int32_t code, std::string_view message, std::initializer_list<int32_t> ints = {},
                  std::initializer_list<double> reals = {},
                  std::initializer_list<std::string_view> names = {}) noexcept;

// A message of at most the 80 characters the record keeps, joined on the
// stack from texts and integers (what is past 80 is dropped): a refusal
// records it without allocating.
class Message {
public:
    Message &operator<<(std::string_view text) noexcept;
    Message &operator<<(int64_t number) noexcept;
    operator std::string_view() const noexcept { return {text_, size_}; }

private:
    char text_[errorhandling::message_length];
    std::size_t size_ = 0;
};

// Records -2 "Negative count in <routine>" with the counts as its integers.
[[gnu::cold]] void record_negative_count(std::string_view routine, std::initializer_list<int32_t> counts) noexcept;

// Whether one of a routine's counts (plies, sections, points, table rows,
// list lengths) is negative: then the count is recorded as refused and the
// routine writes nothing.  A count of 0 passes.
inline bool negative_count(std::string_view routine, std::initializer_list<int32_t> counts) noexcept {
    for (const int32_t count : counts)
        if (count < 0) {
            record_negative_count(routine, counts);
            return true;
        }
    return false;
}

// Whether a stated leading extent holds fewer than the `least` values a
// routine reads per ply while it reads some: then -2 "Unsupported number of
// <what> in <routine>" is recorded with (extent, least) and the routine
// writes nothing.  A read past the caller's block is refused the same way
// the Python checks refuse such an extent.
[[gnu::cold]] void record_short_extent(std::string_view routine, std::string_view what, int32_t extent,
                                       int32_t least) noexcept;
inline bool short_extent(std::string_view routine, std::string_view what, int32_t extent, int32_t least,
                         bool reads) noexcept {
    if (!reads || extent >= least) return false;
    record_short_extent(routine, what, extent, least);
    return true;
}

}  // namespace kestro
