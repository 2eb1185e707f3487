#include "core/errorhandling.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/process.hpp"
#include "core/shared_data.hpp"

namespace kestro::errorhandling {

namespace {

// Material routines that solvers run on several threads record errors too:
// one recording at a time, under this lock, so that the first error wins and
// the context arrays are dropped and created by one thread only.  errstat is
// written last (release) and read without the lock (acquire), so a recorded
// error costs later calls one load.
std::mutex recording;

std::atomic_ref<int32_t> status() { return std::atomic_ref<int32_t>(errstat); }

}  // namespace

bool recorded() noexcept { return status().load(std::memory_order_acquire) != 0; }

void xerr(const int32_t *lop, const char *xerrmsg, const int32_t *intv, const int32_t *nintv,
          const double *realv, const int32_t *nrealv, const int32_t *asciim, const int32_t *nrows,
          const int32_t *ncols, int32_t *pyerr, std::size_t xerrmsg_len) noexcept {
    // The message as 80 characters: cut, or padded with blanks.
    char message[message_length];
    std::memset(message, ' ', sizeof message);
    std::memcpy(message, xerrmsg, std::min<std::size_t>(xerrmsg_len, message_length));
    if (pyerr != nullptr && *pyerr == 0) {
        // Called from Python to stop: print the message as one list-directed
        // record, in one write, and end the process as a failure.
        char line[message_length + 2];
        line[0] = ' ';
        std::memcpy(line + 1, message, message_length);
        line[message_length + 1] = '\n';
        flush_host_output();
        std::fwrite(line, 1, sizeof line, stdout);
        end_process(1);
    }
    if (recorded()) return;
    const std::lock_guard<std::mutex> lock(recording);
    if (recorded()) return;
    // Read before the context arrays are replaced: lop may point into one.
    const int32_t code = *lop;
    std::memcpy(errstring, message, message_length);

    const int32_t n = std::max(*nintv, 0);
    const int32_t m = std::max(*nrealv, 0);
    const int32_t rows = std::max(*nrows, 0);
    const int32_t r = std::min(rows, max_name_rows);
    const int32_t c = std::max(*ncols, 0);
    // The context may be passed in from the arrays being replaced: keep their
    // storage alive until it has been copied.
    void *held[] = {errintv.data, errrealv.data, errasciim.data};
    for (void *block : held) detail::retain_block(block);
    errintv.drop();
    errrealv.drop();
    errasciim.drop();
    std::copy_n(intv, n, errintv.create(n));
    std::copy_n(realv, m, errrealv.create(m));
    int32_t *names = errasciim.create(r, c);
    for (int32_t j = 0; j < c; ++j)
        std::copy_n(asciim + static_cast<int64_t>(j) * rows, r, names + static_cast<int64_t>(j) * r);
    for (void *block : held) detail::release_block(block);
    status().store(code, std::memory_order_release);
}

void rsxerr(int32_t *reset, const int8_t *lop) noexcept {
    *reset = 0;
    if (*lop == 0) return;
    *reset = 1;
    const std::lock_guard<std::mutex> lock(recording);
    status().store(0, std::memory_order_release);
    errintv.drop();
    errrealv.drop();
    errasciim.drop();
}

}  // namespace kestro::errorhandling

namespace kestro {

void record_error(int32_t code, std::string_view message, std::initializer_list<int32_t> ints,
                  std::initializer_list<double> reals,
                  std::initializer_list<std::string_view> names) noexcept {
    using namespace errorhandling;
    if (recorded()) return;
    constexpr int max_names = 16;
    int32_t codes[max_name_rows * max_names];
    int32_t ncols = 0;
    for (std::string_view name : names) {
        if (ncols == max_names) break;
        for (int i = 0; i < max_name_rows; ++i)
            codes[ncols * max_name_rows + i] =
                i < static_cast<int>(name.size()) ? static_cast<unsigned char>(name[i]) : ' ';
        ++ncols;
    }
    const int32_t nint = static_cast<int32_t>(ints.size());
    const int32_t nreal = static_cast<int32_t>(reals.size());
    const int32_t nrows = max_name_rows;
    xerr(&code, message.data(), ints.begin(), &nint, reals.begin(), &nreal, codes, &nrows, &ncols, nullptr,
         message.size());
}

Message &Message::operator<<(std::string_view text) noexcept {
    const std::size_t kept = std::min(text.size(), sizeof text_ - size_);
    std::copy_n(text.data(), kept, text_ + size_);
    size_ += kept;
    return *this;
}

Message &Message::operator<<(int64_t number) noexcept {
    char digits[24];
    const char *end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

void record_negative_count(std::string_view routine, std::initializer_list<int32_t> counts) noexcept {
    record_error(-2, Message() << "Negative count in " << routine, counts);
}

void record_short_extent(std::string_view routine, std::string_view what, int32_t extent, int32_t least) noexcept {
    record_error(-2, Message() << "Unsupported number of " << what << " in " << routine, {extent, least});
}

}  // namespace kestro
