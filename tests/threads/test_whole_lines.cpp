// Warnings that material points print on several threads at once: every line
// of standard output is one whole message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <barrier>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "decl/toplevel.hpp"

namespace {

constexpr int kThreads = 16, kCalls = 300;
using Name = std::array<char, 80>;

// A first-increment fibre point with 3 state variables: it prints its warning line.
void fibre_point(const Name &name) {
    const int32_t ndi = 3, nshr = 3, ntens = 6, nstatv = 3, nprops = 2, one = 1, jstep[4] = {1, 1, 1, 0};
    const double props[2] = {70000.0, 0.3}, time[2] = {}, dt = 0.1, temp = 20.0, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double zero[6] = {}, dstran[6] = {1e-3};
    double stress[6] = {}, statev[3] = {}, ddsdde[36] = {}, e[5] = {}, ddsddt[6], drplde[6], pnewdt = 1.0;
    kestro::toplevel::umat_fiber(stress, statev, ddsdde, &e[0], &e[1], &e[2], &e[3], ddsddt, drplde, &e[4], zero,
                                 dstran, time, &dt, &temp, zero, zero, zero, name.data(), &ndi, &nshr, &ntens, &nstatv,
                                 props, &nprops, zero, eye, &pnewdt, &dt, eye, eye, &one, &one, &one, &one, jstep, &one,
                                 name.size());
}

TEST(WholeLines, SixteenThreadsPrintWarnings) {
    std::vector<Name> names(kThreads);
    std::map<std::string, int> lines;  // the line each thread prints, and how often it was read
    for (int t = 0; t < kThreads; ++t) {
        names[t].fill(' ');
        const std::string name = "FIBRE-" + std::to_string(t);
        name.copy(names[t].data(), name.size());
        lines["****WARNING: To less nstatev allocated for material " + std::string(names[t].data(), 80)] = 0;
    }
    // Standard output goes to a file while the threads print.
    const std::string path = ::testing::TempDir() + "kestro_whole_lines_" + std::to_string(getpid());
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO), file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_TRUE(saved >= 0 && file >= 0);
    dup2(file, STDOUT_FILENO);
    close(file);
    {
        std::barrier start(kThreads);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int k = 0; k < kCalls; ++k) fibre_point(names[t]);
            });
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::ifstream in(path);
    int broken = 0;
    for (std::string line; std::getline(in, line);) {
        const auto it = lines.find(line);
        it == lines.end() ? ++broken : ++it->second;
    }
    std::remove(path.c_str());
    EXPECT_EQ(broken, 0);
    for (const auto &[line, count] : lines) EXPECT_EQ(count, kCalls) << line;
}

}  // namespace
