// The error record: xerr, rsxerr and record_error.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "shared_state.hpp"

namespace {

using namespace kestro;
using namespace kestro::errorhandling;
using ErrorRecordTest = SharedState;
using ErrorRecordDeathTest = SharedState;

// An 80-character blank-padded message.
std::string msg80(const std::string &text) {
    std::string s = text.substr(0, 80);
    s.resize(80, ' ');
    return s;
}

std::string recorded_message() { return {errstring, sizeof errstring}; }

// Calls xerr with the context in vectors; names are nrows x ncols, column-major.
void call_xerr(int32_t lop, const std::string &msg, const std::vector<int32_t> &ints,
               const std::vector<double> &reals, const std::vector<int32_t> &names = {},
               int32_t nrows = 0, int32_t ncols = 0, int32_t *pyerr = nullptr) {
    const auto nint = static_cast<int32_t>(ints.size());
    const auto nreal = static_cast<int32_t>(reals.size());
    xerr(&lop, msg.data(), ints.data(), &nint, reals.data(), &nreal, names.data(), &nrows, &ncols, pyerr, msg.size());
}

std::vector<int32_t> ints_of(const Allocatable<int32_t, 1> &a) { return {a.span().begin(), a.span().end()}; }
std::vector<double> reals_of(const Allocatable<double, 1> &a) { return {a.span().begin(), a.span().end()}; }

int32_t reset_record(int8_t lop) {
    int32_t reset = 7;
    rsxerr(&reset, &lop);
    return reset;
}

TEST_F(ErrorRecordTest, FirstErrorWins) {
    call_xerr(-1, msg80("first"), {1, 2}, {0.5}, {65, 66}, 2, 1);
    call_xerr(-2, msg80("second"), {3}, {1.5, 2.5}, {67}, 1, 1);
    EXPECT_EQ(errstat, -1);
    EXPECT_EQ(recorded_message(), msg80("first"));
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(reals_of(errrealv), (std::vector<double>{0.5}));
    EXPECT_EQ(shape(errasciim), (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(errasciim(2, 1), 66);
}

TEST_F(ErrorRecordTest, CodeZeroFillsTheRecordButLetsTheNextErrorOverwrite) {
    call_xerr(0, msg80("note"), {5}, {});
    EXPECT_EQ(errstat, 0);
    EXPECT_EQ(recorded_message(), msg80("note"));
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{5}));
    call_xerr(-3, msg80("real error"), {6, 7}, {});
    EXPECT_EQ(errstat, -3);
    EXPECT_EQ(recorded_message(), msg80("real error"));
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{6, 7}));
}

TEST_F(ErrorRecordTest, EmptyContextGivesEmptyArraysThatExist) {
    const int32_t lop = -1, zero = 0, negative = -4;
    const std::string m = msg80("empty");
    xerr(&lop, m.data(), nullptr, &zero, nullptr, &negative, nullptr, &zero, &zero, nullptr, m.size());
    EXPECT_EQ(errstat, -1);
    for (const kestro_array *a : std::initializer_list<const kestro_array *>{&errintv, &errrealv, &errasciim}) {
        EXPECT_EQ(kestro_array_exists(a), 1) << a->name;
        EXPECT_EQ(kestro_array_size(a), 0) << a->name;
    }
    EXPECT_EQ(shape(errasciim), (std::vector<int64_t>{0, 0}));
}

TEST_F(ErrorRecordTest, OnlyTheFirstEightRowsOfEachNameAreKept) {
    std::vector<int32_t> names(10 * 3);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 10; ++i) names[j * 10 + i] = 100 * (j + 1) + i + 1;
    call_xerr(-1, msg80("names"), {}, {}, names, 10, 3);
    ASSERT_EQ(shape(errasciim), (std::vector<int64_t>{8, 3}));
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 8; ++i) EXPECT_EQ(errasciim(i, j), 100 * j + i) << i << "," << j;
}

TEST_F(ErrorRecordTest, MessageIsCopiedAsEightyBytes) {
    // Exactly 80 bytes on the heap (an overread shows under AddressSanitizer),
    // with a NUL inside that must not stop the copy.
    auto buf = std::make_unique<char[]>(80);
    for (int i = 0; i < 80; ++i) buf[i] = static_cast<char>('0' + i % 10);
    buf[10] = '\0';
    const int32_t lop = -2, zero = 0;
    xerr(&lop, buf.get(), nullptr, &zero, nullptr, &zero, nullptr, &zero, &zero, nullptr, 80);
    EXPECT_EQ(recorded_message(), std::string(buf.get(), 80));
}

TEST_F(ErrorRecordTest, MessageOfAnotherLengthIsPaddedOrCut) {
    // Only the given length is read: a short message is padded with blanks.
    const auto shorter = std::make_unique<char[]>(5);
    std::memcpy(shorter.get(), "short", 5);
    const int32_t lop = -2, zero = 0;
    xerr(&lop, shorter.get(), nullptr, &zero, nullptr, &zero, nullptr, &zero, &zero, nullptr, 5);
    EXPECT_EQ(recorded_message(), "short" + std::string(75, ' '));
}

TEST_F(ErrorRecordTest, PresentNonzeroPyerrRecordsAsUsual) {
    int32_t pyerr = 1;
    call_xerr(-1, msg80("kept"), {}, {}, {}, 0, 0, &pyerr);
    EXPECT_EQ(errstat, -1);
    EXPECT_EQ(recorded_message(), msg80("kept"));
}

TEST_F(ErrorRecordTest, ResetOnlyWhenAsked) {
    call_xerr(-1, msg80("stays"), {1}, {2.0}, {65}, 1, 1);
    EXPECT_EQ(reset_record(0), 0);
    EXPECT_EQ(errstat, -1);
    EXPECT_TRUE(errintv.exists() && errrealv.exists() && errasciim.exists());

    EXPECT_EQ(reset_record(-1), 1);  // any nonzero logical is true
    EXPECT_EQ(errstat, 0);
    EXPECT_FALSE(errintv.exists());
    EXPECT_FALSE(errrealv.exists());
    EXPECT_FALSE(errasciim.exists());
    EXPECT_EQ(recorded_message(), msg80("stays"));

    EXPECT_EQ(reset_record(1), 1);  // nothing recorded: still reports the reset
    EXPECT_EQ(errstat, 0);
    // After a reset the next error is recorded again.
    call_xerr(-2, msg80("next"), {}, {});
    EXPECT_EQ(errstat, -2);
}

TEST_F(ErrorRecordTest, RecordErrorPadsCutsAndEncodesNames) {
    record_error(-1, "short", {4, 5}, {1.25}, {"ab", "abcdefghij", ""});
    EXPECT_EQ(errstat, -1);
    EXPECT_EQ(recorded_message(), msg80("short"));
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{4, 5}));
    EXPECT_EQ(reals_of(errrealv), (std::vector<double>{1.25}));
    ASSERT_EQ(shape(errasciim), (std::vector<int64_t>{8, 3}));
    const std::vector<int32_t> expected = {'a', 'b', 32, 32, 32, 32, 32, 32,
                                           'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                                           32,  32,  32, 32, 32, 32, 32, 32};
    EXPECT_EQ(std::vector<int32_t>(errasciim.span().begin(), errasciim.span().end()), expected);

    const std::string long_text(100, 'x');
    int32_t reset = 0;
    const int8_t yes = 1;
    rsxerr(&reset, &yes);
    record_error(-2, long_text);
    EXPECT_EQ(recorded_message(), std::string(80, 'x'));
    EXPECT_EQ(errintv.size(), 0);
    EXPECT_EQ(shape(errasciim), (std::vector<int64_t>{8, 0}));
}

TEST_F(ErrorRecordTest, RecordErrorLeavesAnExistingRecordUntouched) {
    record_error(-1, "first", {1});
    void *const ints = errintv.data;
    record_error(-3, "second", {2, 3}, {}, {"name"});
    EXPECT_EQ(errstat, -1);
    EXPECT_EQ(recorded_message(), msg80("first"));
    EXPECT_EQ(errintv.data, ints);
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{1}));
}

TEST_F(ErrorRecordTest, CurrentContextMayBePassedAsTheNewContext) {
    record_error(-1, "old", {10, 20, 30}, {1.5, 2.5}, {"alpha", "beta"});
    errstat = 0;  // cleared by a caller without dropping the context
    const int32_t lop = -2;
    const auto nint = static_cast<int32_t>(errintv.size());
    const auto nreal = static_cast<int32_t>(errrealv.size());
    const auto rows = static_cast<int32_t>(errasciim.extent_of(1));
    const auto cols = static_cast<int32_t>(errasciim.extent_of(2));
    const std::string m = msg80("new");
    xerr(&lop, m.data(), errintv.ptr(), &nint, errrealv.ptr(), &nreal, errasciim.ptr(), &rows, &cols,
         nullptr, m.size());
    EXPECT_EQ(errstat, -2);
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(reals_of(errrealv), (std::vector<double>{1.5, 2.5}));
    ASSERT_EQ(shape(errasciim), (std::vector<int64_t>{8, 2}));
    EXPECT_EQ(errasciim(1, 1), 'a');
    EXPECT_EQ(errasciim(5, 1), 'a');
    EXPECT_EQ(errasciim(4, 2), 'a');
    EXPECT_EQ(errasciim(5, 2), ' ');
}

TEST_F(ErrorRecordTest, CodeMayBeTakenFromTheContextBeingReplaced) {
    record_error(0, "note", {-7});  // code 0: the context is kept, no error recorded
    const int32_t one = 1, zero = 0;
    const std::string m = msg80("code from the context");
    xerr(errintv.ptr(), m.data(), errintv.ptr(), &one, nullptr, &zero, nullptr, &zero, &zero, nullptr, m.size());
    EXPECT_EQ(errstat, -7);
    EXPECT_EQ(ints_of(errintv), (std::vector<int32_t>{-7}));
}

TEST_F(ErrorRecordDeathTest, PyerrZeroPrintsTheMessageAndExits) {
    const std::string path = ::testing::TempDir() + "kestro_xerr_stdout_" +
                             std::to_string(getpid()) + ".txt";
    std::remove(path.c_str());
    const std::string m = msg80("Stopped by the caller");
    EXPECT_EXIT(
        {
            if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::_Exit(3);
            int32_t pyerr = 0;
            call_xerr(-1, m, {1}, {}, {}, 0, 0, &pyerr);
        },
        ::testing::ExitedWithCode(1), "");
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    EXPECT_EQ(out.str(), " " + m + "\n");
    std::remove(path.c_str());
    EXPECT_EQ(errstat, 0);  // nothing was recorded in this process
}

}  // namespace
