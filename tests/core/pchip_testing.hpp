// Shared by the tests of the cubic Hermite package: capture of standard
// output (in this process and in a death-test child), the handler's message
// blocks, a fixture that resets the handler's process-global state, and the
// exp(-x^2) data of the package's quick checks.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decl/pchip.hpp"

namespace kestro_pchip_testing {

using Vec = std::vector<double>;

// ---------------------------------------------------------------- output helpers

// Redirects standard output into a temporary file while it lives; text()
// ends the redirection and returns what was written.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = dup(STDOUT_FILENO);
        if (file_ != nullptr && saved_ >= 0) dup2(fileno(file_), STDOUT_FILENO);
    }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;
    ~StdoutCapture() {
        restore();
        if (file_ != nullptr) std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string out;
        if (file_ == nullptr) return out;
        std::rewind(file_);
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, got);
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE *file_ = nullptr;
    int saved_ = -1;
};

// What call writes on standard output.
template <class Call>
std::string printed(Call call) {
    StdoutCapture capture;
    call();
    return capture.text();
}

// Runs call in a child process with standard output going to a file, expects
// the child to end as pred says, and returns what the child wrote.
template <class Call, class Pred>
std::string output_at_exit(Call call, Pred pred) {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path =
        ::testing::TempDir() + "kestro_pchip_" + info->name() + "_" + std::to_string(getpid()) + ".txt";
    std::remove(path.c_str());
    std::fflush(stdout);
    EXPECT_EXIT(
        {
            if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::_Exit(3);
            call();
        },
        pred, "");
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    std::remove(path.c_str());
    return out.str();
}

// The message block of a level 1 error under control flag 1: long form, the
// program continues.
inline std::string continuing(const std::string &routine, const std::string &message, int32_t nerr) {
    return " ***MESSAGE FROM ROUTINE " + routine + " IN LIBRARY SLATEC.\n" +
           " ***POTENTIALLY RECOVERABLE ERROR, PROG CONTINUES, TRACEBACK REQUESTED\n" + " *  " + message + "\n" +
           " *  ERROR NUMBER = " + std::to_string(nerr) + "\n" + " *   \n" + " ***END OF MESSAGE\n" + " \n";
}

// The whole output of a routine's level-1 error under the starting settings:
// the message block, then the table of the one message as the process ends.
inline std::string ending_block(const std::string &routine, const std::string &message, int32_t nerr) {
    std::string column = routine, start = message, number = std::to_string(nerr);
    column.resize(11, ' ');
    start.resize(20, ' ');
    number.insert(0, 10 - number.size(), ' ');
    return " ***MESSAGE FROM ROUTINE " + routine +
           " IN LIBRARY SLATEC.\n"
           " ***POTENTIALLY RECOVERABLE ERROR, PROG ABORTED, TRACEBACK REQUESTED\n *  " +
           message + "\n *  ERROR NUMBER = " + std::to_string(nerr) +
           "\n"
           " *   \n"
           " ***END OF MESSAGE\n"
           " \n"
           " ***JOB ABORT DUE TO UNRECOVERED ERROR.\n"
           "0          ERROR MESSAGE SUMMARY\n"
           " LIBRARY    SUBROUTINE MESSAGE START             NERR     LEVEL     COUNT\n"
           " SLATEC     " +
           column + start + number + "         1         1\n \n";
}

inline std::string one_point_block(const std::string &routine) {
    return ending_block(routine, "NUMBER OF DATA POINTS LESS THAN TWO", -1);
}

// The handler's state is process-global: every test starts with an empty
// message table and gets the control flag back as it found it.
class Pchip : public ::testing::Test {
protected:
    void SetUp() override {
        xgetf_(&saved_flag_);
        clear_table();
    }
    void TearDown() override {
        xsetf_(&saved_flag_);
        clear_table();
    }
    static void set_flag(int32_t kontrl) { xsetf_(&kontrl); }
    // Errors of the package return their negative IERR instead of ending the process.
    static void recoverable() { set_flag(1); }
    static void clear_table() {
        StdoutCapture quiet;
        xerdmp_();
    }

    int32_t saved_flag_ = 2;
};
using PchipDeathTest = Pchip;

const Vec kX9 = {-2.2, -1.2, -1.0, -0.5, -0.01, 0.5, 1.0, 2.0, 2.2};
// Monotone derivatives and not-a-knot spline derivatives of exp(-x^2) at kX9.
const Vec kDM9 = {0.0,          0.380027352,  0.717253009,   0.582014161,   0.0,
                  -0.568208031, -0.513501618, -0.0777910977, -0.00245611117};
const Vec kDS9 = {-0.0516830792, 0.571455855,  0.740530225,   0.763864934,  0.0192614386,
                  -0.76532438,   -0.728209035, -0.0798445427, -0.0285983446};

inline Vec exp_minus_x_squared(const Vec &x) {
    Vec f;
    for (double v : x) f.push_back(std::exp(-v * v));
    return f;
}

}  // namespace kestro_pchip_testing
