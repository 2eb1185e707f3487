// The box-beam analysis on arrays with no room to spare, under the
// sanitizers: the full report and trace of a closed box, and arrays one entry
// short of the counts, which are refused before anything is read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "boxbeam/box.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro;
using BoxBeam = SharedState;

void set_path(char *buffer, std::size_t size, const std::string &text) {
    std::memset(buffer, ' ', size);
    std::memcpy(buffer, text.data(), std::min(size, text.size()));
}

// The 3 x 1 box of four caps and four walls, capacities equal to the counts.
void box() {
    const int32_t four = 4, one = 1;
    boxbeam::initialize(&four, &four, &one);
    const double y[4] = {-1.5, 1.5, 1.5, -1.5}, z[4] = {-0.5, -0.5, 0.5, 0.5};
    gurt::ig = wand::kw = 4;
    zelle::az = 1;
    zelle::iak(1) = 4;
    for (int32_t i = 1; i <= 4; ++i) {
        const int32_t next = i % 4 + 1;
        gurt::yi(i) = y[i - 1];
        gurt::zi(i) = z[i - 1];
        gurt::bi(i) = 2.0;
        wand::ig1(i) = i;
        wand::ig2(i) = next;
        wand::yk0(i) = y[i - 1];
        wand::zk0(i) = z[i - 1];
        wand::yklk(i) = y[next - 1];
        wand::zklk(i) = z[next - 1];
        wand::bk(i) = 1.0;
        wand::gk(i) = 2.0;
        zelle::ia(i, 1) = i;
    }
    spanug::qmy = 1.0;
}

TEST_F(BoxBeam, ReportAndTraceOfATightBox) {
    const auto dir = std::filesystem::temp_directory_path() / ("kestro_box_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    box();
    steuer::druck = steuer::exdru = 1;
    set_path(path::csinfopath, sizeof path::csinfopath, (dir / "report.txt").string());
    set_path(path::vbinfopath, sizeof path::vbinfopath, (dir / "trace.txt").string());
    EXPECT_TRUE(boxbeam::get_equivalent_x_section());
    EXPECT_EQ(boxbeam::refusal(), nullptr);
    EXPECT_DOUBLE_EQ(quer::bx, 16.0);
    EXPECT_NEAR(epigam::epigu(3), 3.0 / 22.0, 1e-15);
    EXPECT_GT(std::filesystem::file_size(dir / "report.txt"), 3000u);
    EXPECT_GT(std::filesystem::file_size(dir / "trace.txt"), 3000u);
    steuer::druck = steuer::exdru = 0;
    std::filesystem::remove_all(dir);
}

TEST_F(BoxBeam, ArraysOneShortAreRefused) {
    const auto shorten = [](auto &a, auto... extents) {
        a.drop();
        a.create(extents...);
    };
    const std::function<void()> cases[] = {
        [&] { shorten(kraft::t0, 4); },           // the twist entry kw + 1 of a closed section
        [&] { shorten(epigam::gam, 4, 2); }, [&] { shorten(zelle::ia, 3, 1); },  // the cell lists four caps
        [&] { shorten(gurt::myi, 3); },      [&] { shorten(kraft::tl, 3); },
    };
    for (const auto &make_short : cases) {
        box();
        make_short();
        quer::bx = 7.0;
        EXPECT_FALSE(boxbeam::get_equivalent_x_section());
        EXPECT_NE(boxbeam::refusal(), nullptr);
        EXPECT_EQ(errorhandling::errstat, -2);
        EXPECT_EQ(quer::bx, 7.0);
        reset();
    }
}

}  // namespace
