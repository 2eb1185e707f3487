// The box-beam analysis on arrays with no room to spare, under the
// sanitizers: the full report and trace of a closed box, and arrays one entry
// short of the counts, which are refused before anything is read.  The sparse
// elimination against the dense one, written step by step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "boxbeam/box.hpp"
#include "decl/boxtools.hpp"
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

// The dense elimination: n unknowns from rows 1..n+1 of a (column-major,
// stride kl), pivot search in position order, the last pair of rows by step 4.
struct Dense {
    std::vector<double> a, x;
    std::vector<int32_t> ip;
    int32_t ifail = 0;
};

Dense dense_tvert(std::vector<double> a, int32_t n, int32_t kl, double eps, const std::vector<double> &b) {
    Dense d;
    const auto A = [&](int32_t r, int32_t c) -> double & { return a[static_cast<std::size_t>((c - 1) * kl + r - 1)]; };
    std::vector<int32_t> ip(static_cast<std::size_t>(n + 1));
    std::vector<double> w(b.begin(), b.begin() + n + 1), x(static_cast<std::size_t>(n), 0.0);
    for (int32_t r = 1; r <= n + 1; ++r) ip[static_cast<std::size_t>(r - 1)] = r;
    const auto IP = [&](int32_t k) -> int32_t & { return ip[static_cast<std::size_t>(k - 1)]; };
    const auto finish = [&](int32_t ifail) {
        d.a = a;
        d.ip = ip;
        d.x = x;
        d.ifail = ifail;
        return d;
    };
    for (int32_t i = 1; i <= n - 1; ++i) {
        int32_t best = i;
        for (int32_t k = i + 1; k <= n + 1; ++k)
            if (std::abs(A(IP(k), i)) > std::abs(A(IP(best), i))) best = k;
        std::swap(IP(i), IP(best));
        const double p = A(IP(i), i);
        if (std::abs(p) <= eps) return finish(i);
        for (int32_t r = 1; r <= n + 1; ++r) {
            if (std::find(ip.begin(), ip.begin() + i, r) != ip.begin() + i) continue;
            const double f = A(r, i) * (1.0 / p);
            for (int32_t col = i; col <= n; ++col) A(r, col) -= A(IP(i), col) * f;
            A(r, i) = f;
        }
    }
    for (int32_t i = 1; i <= n - 1; ++i) {
        const double dd = w[static_cast<std::size_t>(IP(i) - 1)];
        for (int32_t k = i + 1; k <= n + 1; ++k) w[static_cast<std::size_t>(IP(k) - 1)] -= A(IP(k), i) * dd;
    }
    const bool second = std::abs(A(IP(n + 1), n)) > std::abs(A(IP(n), n));
    const int32_t r = second ? IP(n + 1) : IP(n);
    if (std::abs(A(r, n)) > eps)
        x[static_cast<std::size_t>(n - 1)] = w[static_cast<std::size_t>(r - 1)] / A(r, n);
    else if (std::abs(w[static_cast<std::size_t>(r - 1)]) > eps)
        return finish(second ? n + 1 : n);
    else
        x[static_cast<std::size_t>(n - 1)] = 1.0;
    for (int32_t i = n - 1; i >= 1; --i) {
        double sum = 0.0;
        for (int32_t col = i + 1; col <= n; ++col) sum += A(IP(i), col) * x[static_cast<std::size_t>(col - 1)];
        x[static_cast<std::size_t>(i - 1)] = (w[static_cast<std::size_t>(IP(i) - 1)] - sum) / A(IP(i), i);
    }
    return finish(0);
}

// Random systems with ties (entries of equal magnitude), zero columns and
// dependent rows, under both a tiny and a coarse pivot limit: the same
// permutation, matrix, solution and status, up to the sign of zeros.
TEST(BoxBeamElimination, SparseEqualsDense) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> kind(0, 9), small(-2, 2), size(1, 9);
    std::uniform_real_distribution<double> real(-3.0, 3.0);
    int solved = 0, stopped = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t n = size(random), kl = n + 3;
        std::vector<double> a(static_cast<std::size_t>(kl * n), 99.0), b(static_cast<std::size_t>(n + 1));
        for (int32_t c = 0; c < n; ++c)
            for (int32_t r = 0; r <= n; ++r) {
                const int k = kind(random);
                a[static_cast<std::size_t>(c * kl + r)] = k < 4 ? 0.0 : k < 8 ? small(random) : real(random);
            }
        if (trial % 3 == 0 && n > 1) {  // row n+1 repeats another row: one redundant equation
            const int32_t copy = trial % n;
            for (int32_t c = 0; c < n; ++c)
                a[static_cast<std::size_t>(c * kl + n)] = a[static_cast<std::size_t>(c * kl + copy)];
        }
        for (double &v : b) v = kind(random) < 3 ? 0.0 : small(random);
        const double eps = trial % 5 == 0 ? 0.75 : 1e-30;
        const Dense expected = dense_tvert(a, n, kl, eps, b);
        std::vector<int32_t> ip(static_cast<std::size_t>(n + 1), -7);
        std::vector<double> x(static_cast<std::size_t>(n), 0.0);
        int32_t ifail = -7;
        TVERT(a.data(), &n, &kl, &eps, b.data(), ip.data(), x.data(), &ifail);
        ASSERT_EQ(ifail, expected.ifail) << "trial " << trial;
        ASSERT_EQ(ip, expected.ip) << "trial " << trial;
        ASSERT_EQ(a, expected.a) << "trial " << trial;  // == ignores the sign of zeros
        if (ifail == 0) {
            ASSERT_EQ(x, expected.x) << "trial " << trial;
        }
        (ifail == 0 ? solved : stopped) += 1;
    }
    EXPECT_GT(solved, 1000);
    EXPECT_GT(stopped, 300);
}

TEST(BoxBeamElimination, NothingHappensBelowOneUnknown) {
    double a = 5.0, b = 1.0, x = 3.0, eps = 1e-30;
    int32_t ip = 9, ifail = 4;
    for (const int32_t n : {0, -2}) {
        const int32_t kl = 1;
        TVERT(&a, &n, &kl, &eps, &b, &ip, &x, &ifail);
        EXPECT_EQ(ifail, 0);
        EXPECT_EQ(std::make_tuple(a, x, ip), std::make_tuple(5.0, 3.0, 9));
    }
}

}  // namespace
