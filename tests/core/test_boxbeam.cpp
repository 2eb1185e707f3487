// The box-beam analysis on arrays with no room to spare, under the
// sanitizers: the full report and trace of a closed box, and arrays one entry
// short of the counts, which are refused before anything is read.  The sparse
// elimination of TVERT against the dense one, written step by step, on random
// systems; random multi-row sections against multi-cell Bredt-Batho.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <cstdint>
#include <cstddef>
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
#include "boxbeam/box_report.hpp"
#include "decl/boxtools.hpp"
#include "math/lapack.hpp"
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

// A random multi-cell section: a grid of rows x columns cells whose edges
// are split into one to three walls, the caps jittered, walls of random
// stiffness in either direction, each cell's loop in either sense from any
// of its caps.  `numbering` renumbers the walls (wall k becomes numbering[k]).
struct RandomSection {
    std::vector<std::array<double, 4>> caps;               // y, z, bi, myi
    std::vector<std::tuple<int32_t, int32_t, double, double>> walls;  // from, to, bk, gk
    std::vector<std::vector<int32_t>> cells;

    explicit RandomSection(std::mt19937 &g) {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        std::uniform_int_distribution<int> rows(2, 4), columns(1, 5), split(1, 3);
        const int nr = rows(g), nc = columns(g);
        const auto cap = [&](double y, double z) {
            const double dy = 0.1 * (u(g) - 0.5), dz = 0.1 * (u(g) - 0.5), bi = u(g) < 0.3 ? 0.0 : 1.0 + 10.0 * u(g);
            caps.push_back({y + dy, z + dz, bi, u(g)});
            return static_cast<int32_t>(caps.size());
        };
        std::vector<int32_t> corner((nr + 1) * (nc + 1));
        for (int i = 0; i <= nr; ++i)
            for (int j = 0; j <= nc; ++j) corner[i * (nc + 1) + j] = cap(2.0 * j, 1.0 * i);
        // The caps along the edge from corner a to corner b, both included.
        std::vector<std::vector<int32_t>> edge_caps;
        std::vector<std::pair<int32_t, int32_t>> edge_ends;
        const auto edge = [&](int32_t a, int32_t b) {
            std::vector<int32_t> run{a};
            const int pieces = split(g);
            const std::array<double, 4> pa = caps[a - 1], pb = caps[b - 1];  // copies: cap() grows caps
            for (int k = 1; k < pieces; ++k) {
                const double t = static_cast<double>(k) / pieces;
                run.push_back(cap(pa[0] + t * (pb[0] - pa[0]), pa[1] + t * (pb[1] - pa[1])));
            }
            run.push_back(b);
            for (std::size_t k = 0; k + 1 < run.size(); ++k)
                walls.emplace_back(u(g) < 0.5 ? run[k] : run[k + 1], 0, 0.5 + u(g), 0.5 + u(g));
            for (std::size_t k = 0; k + 1 < run.size(); ++k) {
                auto &w = walls[walls.size() - run.size() + 1 + k];
                std::get<1>(w) = std::get<0>(w) == run[k] ? run[k + 1] : run[k];
            }
            edge_caps.push_back(run);
            edge_ends.emplace_back(a, b);
        };
        const auto run_between = [&](int32_t a, int32_t b) {  // the caps from a to b, a included, b not
            for (std::size_t e = 0; e < edge_ends.size(); ++e) {
                std::vector<int32_t> run = edge_caps[e];
                if (edge_ends[e] == std::make_pair(b, a)) std::reverse(run.begin(), run.end());
                else if (edge_ends[e] != std::make_pair(a, b)) continue;
                run.pop_back();
                return run;
            }
            return std::vector<int32_t>{};
        };
        const auto at = [&](int i, int j) { return corner[i * (nc + 1) + j]; };
        for (int i = 0; i <= nr; ++i)
            for (int j = 0; j < nc; ++j) edge(at(i, j), at(i, j + 1));
        for (int j = 0; j <= nc; ++j)
            for (int i = 0; i < nr; ++i) edge(at(i, j), at(i + 1, j));
        for (int i = 0; i < nr; ++i)
            for (int j = 0; j < nc; ++j) {
                std::vector<int32_t> loop;
                const int32_t ring[4] = {at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)};
                for (int k = 0; k < 4; ++k) {
                    const std::vector<int32_t> run = run_between(ring[k], ring[(k + 1) % 4]);
                    loop.insert(loop.end(), run.begin(), run.end());
                }
                if (u(g) < 0.5) std::reverse(loop.begin(), loop.end());
                std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(g() % loop.size()), loop.end());
                cells.push_back(loop);
            }
    }

    // Sets the box-beam data with wall k numbered numbering[k - 1].
    void set(const std::vector<int32_t> &numbering) const {
        const auto nw = static_cast<int32_t>(walls.size()), ng = static_cast<int32_t>(caps.size()),
                   nz = static_cast<int32_t>(cells.size());
        boxbeam::initialize(&nw, &ng, &nz);
        gurt::ig = ng;
        wand::kw = nw;
        zelle::az = nz;
        for (int32_t i = 1; i <= ng; ++i) {
            const auto &c = caps[static_cast<std::size_t>(i - 1)];
            std::tie(gurt::yi(i), gurt::zi(i), gurt::bi(i), gurt::myi(i)) = std::tie(c[0], c[1], c[2], c[3]);
        }
        for (std::size_t w = 0; w < walls.size(); ++w) {
            const auto &[from, to, bk, gk] = walls[w];
            const int32_t k = numbering[w];
            std::tie(wand::ig1(k), wand::ig2(k)) = std::tie(from, to);
            std::tie(wand::bk(k), wand::gk(k), wand::rhok(k)) = std::tie(bk, gk, bk);
            std::tie(wand::yk0(k), wand::zk0(k)) = std::tie(caps[from - 1][0], caps[from - 1][1]);
            std::tie(wand::yklk(k), wand::zklk(k)) = std::tie(caps[to - 1][0], caps[to - 1][1]);
        }
        for (int32_t c = 1; c <= nz; ++c) {
            const auto &loop = cells[static_cast<std::size_t>(c - 1)];
            zelle::iak(c) = static_cast<int32_t>(loop.size());
            for (std::size_t j = 0; j < loop.size(); ++j) zelle::ia(static_cast<int64_t>(j) + 1, c) = loop[j];
        }
        std::tie(spanug::qqx, spanug::qqy, spanug::qqz, spanug::qmx, spanug::qmy, spanug::qmz) =
            std::make_tuple(3.0, -2.0, 5.0, 7.0, 1.5, -0.5);
    }
};

// The largest magnitude of a - b over that of b.
double relative(const std::vector<double> &a, const std::vector<double> &b) {
    double d = 0.0, m = 0.0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        d = std::max(d, std::abs(a[i] - b[i]));
        m = std::max(m, std::abs(b[i]));
    }
    return d / m;
}

// Multi-cell Bredt-Batho: with a(c) twice the area of cell c, signed by its
// loop's sense, and F(c, d) the sum of +-lk/gk over the walls of both loops
// (+ where both run the wall the same way), GJ = a F^-1 a.
double bredt_batho(const RandomSection &section) {
    const auto nz = static_cast<int>(section.cells.size());
    std::vector<std::vector<int>> sense(section.cells.size(), std::vector<int>(section.walls.size()));
    std::vector<double> a(section.cells.size()), f(section.cells.size() * section.cells.size());
    for (std::size_t c = 0; c < section.cells.size(); ++c) {
        const auto &loop = section.cells[c];
        for (std::size_t j = 0; j < loop.size(); ++j) {
            const auto &p = section.caps[loop[j] - 1], &q = section.caps[loop[(j + 1) % loop.size()] - 1];
            a[c] += p[0] * q[1] - q[0] * p[1];
            for (std::size_t w = 0; w < section.walls.size(); ++w) {
                const auto [from, to, bk, gk] = section.walls[w];
                if (from == loop[j] && to == loop[(j + 1) % loop.size()]) sense[c][w] += 1;
                if (to == loop[j] && from == loop[(j + 1) % loop.size()]) sense[c][w] -= 1;
            }
        }
    }
    for (std::size_t w = 0; w < section.walls.size(); ++w) {
        const auto [from, to, bk, gk] = section.walls[w];
        const double flexibility = std::hypot(section.caps[from - 1][0] - section.caps[to - 1][0],
                                              section.caps[from - 1][1] - section.caps[to - 1][1]) / gk;
        for (std::size_t c = 0; c < a.size(); ++c)
            for (std::size_t d = 0; d < a.size(); ++d) f[c * a.size() + d] += sense[c][w] * sense[d][w] * flexibility;
    }
    int info = 0;
    dpotrf_("L", &nz, f.data(), &nz, &info, 1);  // F = L L^T, then a F^-1 a = |L^-1 a|^2
    double sum = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c) {
        for (std::size_t d = 0; d < c; ++d) a[c] -= f[d * a.size() + c] * a[d];
        a[c] /= f[c * a.size() + c];
        sum += a[c] * a[c];
    }
    return info == 0 ? sum : NAN;
}

// 100 random sections of two to four rows of cells: the torsion stiffness is
// that of Bredt-Batho, the twist of the load its torque about the shear
// centre over it, and walls numbered at random, or the section mirrored
// (y to -y), change nothing but the numbering and the sign of the shear
// centre's y.
TEST_F(BoxBeam, RandomMultiRowSections) {
    std::mt19937 g(20261207);
    for (int trial = 0; trial < 100; ++trial) {
        SCOPED_TRACE(trial);
        RandomSection section(g);
        const auto nw = static_cast<int32_t>(section.walls.size());
        std::vector<int32_t> along(static_cast<std::size_t>(nw)), shuffled;
        std::iota(along.begin(), along.end(), 1);
        shuffled = along;
        std::shuffle(shuffled.begin(), shuffled.end(), g);
        const double stiffness = bredt_batho(section);
        std::vector<std::vector<double>> results;
        for (const auto *numbering : {&along, &shuffled, &along}) {
            if (results.size() == 4)
                for (auto &cap : section.caps) cap[0] = -cap[0];
            section.set(*numbering);
            ASSERT_TRUE(boxbeam::get_equivalent_x_section()) << boxbeam::refusal();
            std::vector<double> flows(static_cast<std::size_t>(nw));
            for (int32_t w = 0; w < nw; ++w)
                flows[static_cast<std::size_t>(w)] = kraft::t0((*numbering)[static_cast<std::size_t>(w)]);
            results.push_back(flows);
            results.push_back({quer::ymstac, quer::zmstac, quer::dt});
            EXPECT_NEAR(quer::dt, stiffness, 1e-12 * stiffness);
            const double torque = spanug::qmx - quer::ymstac * spanug::qqz + quer::zmstac * spanug::qqy;
            EXPECT_NEAR(kraft::t0(nw + 1) * quer::dt, torque, 1e-12 * std::abs(torque));
        }
        EXPECT_LT(relative(results[2], results[0]), 1e-12);
        EXPECT_LT(relative(results[3], results[1]), 1e-12);
        const double mirrored[3] = {-results[5][0], results[5][1], results[5][2]};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(mirrored[k], results[1][k], 1e-12 * std::abs(results[1][k]) + 1e-13);
    }
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
