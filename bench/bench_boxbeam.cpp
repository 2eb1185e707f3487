// The box-beam analysis without report: one cell of 300 caps on an ellipse
// with 300 walls, and the same section split into three cells by two spars;
// ladders of many cells beside one cell of as many walls; grids of two rows
// and square grids of cells, and how their time grows with the walls.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/boxbeamio.hpp"

namespace {

using namespace kestro;

constexpr int32_t kCaps = 300;

void add_wall(int32_t from, int32_t to) {
    const int32_t k = ++wand::kw;
    wand::ig1(k) = from;
    wand::ig2(k) = to;
    wand::yk0(k) = gurt::yi(from);
    wand::zk0(k) = gurt::zi(from);
    wand::yklk(k) = gurt::yi(to);
    wand::zklk(k) = gurt::zi(to);
    wand::bk(k) = 1000.0;
    wand::gk(k) = 400.0;
    wand::rhok(k) = 0.002;
}

void add_cell(const std::vector<int32_t> &caps) {
    const int32_t c = ++zelle::az;
    zelle::iak(c) = static_cast<int32_t>(caps.size());
    for (std::size_t j = 0; j < caps.size(); ++j) zelle::ia(static_cast<int64_t>(j) + 1, c) = caps[j];
}

std::vector<int32_t> run(int32_t from, int32_t to) {
    std::vector<int32_t> caps;
    for (int32_t i = from; i <= to; ++i) caps.push_back(i);
    return caps;
}

// Caps 1..n on the ellipse y = 5 cos t, z = 0.6 sin t at t = 2 pi (i - 1) / n,
// joined into a ring by walls 1..n.
void ring_of_caps(int32_t n) {
    gurt::ig = n;
    for (int32_t i = 1; i <= n; ++i) {
        const double t = 2.0 * 3.141592653589793 * (i - 1) / n;
        gurt::yi(i) = 5.0 * std::cos(t);
        gurt::zi(i) = 0.6 * std::sin(t);
        gurt::bi(i) = 50.0;
        gurt::myi(i) = 0.01;
    }
    for (int32_t i = 1; i <= n; ++i) add_wall(i, i % n + 1);
}

// The loads of every section here, without report.
void loads() {
    spanug::qqz = 10.0;
    spanug::qmx = 3.0;
    spanug::qmy = 2.0;
    steuer::druck = 0;
}

// The ellipse of 300 caps, one cell or three.
void ellipse(bool spars) {
    const int32_t walls = 310, caps = kCaps, cells = 3;
    Box_Initialize(&walls, &caps, &cells);
    ring_of_caps(kCaps);
    if (spars) {
        add_wall(51, 251);
        add_wall(101, 201);
        std::vector<int32_t> right = run(251, 300), middle = run(51, 101), left = run(101, 201);
        const std::vector<int32_t> front = run(1, 51), back = run(201, 251);
        right.insert(right.end(), front.begin(), front.end());
        middle.insert(middle.end(), back.begin(), back.end());
        add_cell(right);
        add_cell(middle);
        add_cell(left);
    } else {
        add_cell(run(1, kCaps));
    }
    loads();
}

void BM_BoxGetXSection(benchmark::State &state) {
    ellipse(state.range(0) == 3);
    for (auto _ : state) {
        Box_GetXSection();
        benchmark::DoNotOptimize(quer::dt);
    }
    state.counters["dt"] = quer::dt;
}
BENCHMARK(BM_BoxGetXSection)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

// A ladder of `cells` cells: two rails of caps 0.2 apart, five walls per
// rail in each cell, a rung between neighbouring cells.  Walls are numbered
// rail by rail (the top rail, the bottom rail, then the rungs) when
// `by_rails`, else cell by cell (the first rung, then per cell its top and
// bottom rail walls and its closing rung).
int32_t ladder(int32_t cells, bool by_rails) {
    const int32_t per = 5, stations = per * cells + 1;
    const int32_t walls = 2 * per * cells + cells + 1, caps = 2 * stations;
    Box_Initialize(&walls, &caps, &cells);
    gurt::ig = caps;
    const auto top = [](int32_t k) { return 2 * k + 1; };  // station k = 0..stations-1
    const auto bottom = [](int32_t k) { return 2 * k + 2; };
    for (int32_t k = 0; k < stations; ++k)
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t i = side == 0 ? top(k) : bottom(k);
            gurt::yi(i) = 0.1 * k;
            gurt::zi(i) = side == 0 ? 0.1 : -0.1;
            gurt::bi(i) = 50.0;
            gurt::myi(i) = 0.01;
        }
    if (by_rails) {
        for (int32_t k = 0; k + 1 < stations; ++k) add_wall(top(k), top(k + 1));
        for (int32_t k = 0; k + 1 < stations; ++k) add_wall(bottom(k), bottom(k + 1));
        for (int32_t k = 0; k < stations; k += per) add_wall(top(k), bottom(k));
    } else {
        add_wall(top(0), bottom(0));
        for (int32_t k0 = 0; k0 + 1 < stations; k0 += per) {
            for (int32_t k = k0; k < k0 + per; ++k) add_wall(top(k), top(k + 1));
            for (int32_t k = k0; k < k0 + per; ++k) add_wall(bottom(k), bottom(k + 1));
            add_wall(top(k0 + per), bottom(k0 + per));
        }
    }
    for (int32_t k0 = 0; k0 + 1 < stations; k0 += per) {
        std::vector<int32_t> loop;
        for (int32_t k = k0; k <= k0 + per; ++k) loop.push_back(top(k));
        for (int32_t k = k0 + per; k >= k0; --k) loop.push_back(bottom(k));
        add_cell(loop);
    }
    loads();
    return walls;
}

// One cell of `caps` caps on the ellipse: the peer of the ladders.
int32_t ring(int32_t caps) {
    const int32_t one = 1;
    Box_Initialize(&caps, &caps, &one);
    ring_of_caps(caps);
    add_cell(run(1, caps));
    loads();
    return caps;
}

// The analysis of the section set up, which has `walls` walls.
void analyse(benchmark::State &state, int32_t walls) {
    for (auto _ : state) {
        Box_GetXSection();
        benchmark::DoNotOptimize(quer::dt);
    }
    state.counters["walls"] = walls;
}

// range(0) cells: 91, 273 and 909 make 1,002, 3,004 and 10,000 walls;
// range(1) 1 numbers them rail by rail, 0 cell by cell.
void BM_BoxLadder(benchmark::State &state) {
    analyse(state, ladder(static_cast<int32_t>(state.range(0)), state.range(1) != 0));
    state.counters["dt"] = quer::dt;
}
BENCHMARK(BM_BoxLadder)->ArgsProduct({{91, 273, 909}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_BoxOneCell(benchmark::State &state) { analyse(state, ring(static_cast<int32_t>(state.range(0)))); }
BENCHMARK(BM_BoxOneCell)->Arg(10000)->Unit(benchmark::kMillisecond);

// A grid of rows x columns cells 1.0 wide and 0.5 high whose edges are split
// into `per` walls each: the horizontal edges row by row, then the vertical
// ones column by column.
int32_t grid(int32_t rows, int32_t columns, int32_t per) {
    const int32_t corners = (rows + 1) * (columns + 1), edges = (rows + 1) * columns + (columns + 1) * rows;
    const int32_t walls = edges * per, caps = corners + edges * (per - 1), cells = rows * columns;
    Box_Initialize(&walls, &caps, &cells);
    gurt::ig = 0;
    const auto cap = [](double y, double z) {
        const int32_t i = ++gurt::ig;
        gurt::yi(i) = y;
        gurt::zi(i) = z;
        gurt::bi(i) = 50.0;
        gurt::myi(i) = 0.01;
        return i;
    };
    const auto corner = [columns](int32_t i, int32_t j) { return i * (columns + 1) + j + 1; };
    for (int32_t i = 0; i <= rows; ++i)
        for (int32_t j = 0; j <= columns; ++j) cap(1.0 * j, 0.5 * i);
    // The caps along each edge from its first corner to its last.
    std::map<std::pair<int32_t, int32_t>, std::vector<int32_t>> along;
    const auto edge = [&](int32_t a, int32_t b) {
        std::vector<int32_t> run{a};
        for (int32_t k = 1; k < per; ++k) {
            const double t = static_cast<double>(k) / per;
            run.push_back(cap(gurt::yi(a) + t * (gurt::yi(b) - gurt::yi(a)), gurt::zi(a) + t * (gurt::zi(b) - gurt::zi(a))));
        }
        run.push_back(b);
        for (std::size_t k = 0; k + 1 < run.size(); ++k) add_wall(run[k], run[k + 1]);
        along[{a, b}] = run;
        std::reverse(run.begin(), run.end());
        along[{b, a}] = run;
    };
    for (int32_t i = 0; i <= rows; ++i)
        for (int32_t j = 0; j < columns; ++j) edge(corner(i, j), corner(i, j + 1));
    for (int32_t j = 0; j <= columns; ++j)
        for (int32_t i = 0; i < rows; ++i) edge(corner(i, j), corner(i + 1, j));
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < columns; ++j) {
            const int32_t ring[4] = {corner(i, j), corner(i, j + 1), corner(i + 1, j + 1), corner(i + 1, j)};
            std::vector<int32_t> loop;
            for (int k = 0; k < 4; ++k) {
                const std::vector<int32_t> &run = along[{ring[k], ring[(k + 1) % 4]}];
                loop.insert(loop.end(), run.begin(), run.end() - 1);
            }
            add_cell(loop);
        }
    loads();
    return walls;
}

// Two rows of `cells` cells, each edge of five walls: 800 cells make 10,010 walls.
int32_t two_rows(int32_t cells) { return grid(2, cells / 2, 5); }
// A square grid of side x side cells, each edge of four walls: 32 x 32 make 8,448 walls.
int32_t square(int32_t side) { return grid(side, side, 4); }

void BM_BoxTwoRowGrid(benchmark::State &state) { analyse(state, two_rows(static_cast<int32_t>(state.range(0)))); }
BENCHMARK(BM_BoxTwoRowGrid)->Arg(100)->Arg(200)->Arg(400)->Arg(800)->Unit(benchmark::kMillisecond);

void BM_BoxSquareGrid(benchmark::State &state) { analyse(state, square(static_cast<int32_t>(state.range(0)))); }
BENCHMARK(BM_BoxSquareGrid)->RangeMultiplier(2)->Range(4, 32)->Unit(benchmark::kMillisecond);

// How the time grows, two sections timed side by side in every iteration
// (the fastest analysis of each counts): 0, two rows of 100 and of 800 cells,
// the exponent of the time in the walls (aim at most 1.3); 1, square grids of
// 4 x 4 and 32 x 32 cells (aim at most 1.5); 2, two rows of 800 cells over a
// one-row ladder of 910 cells, 10,011 walls (aim at most 5).
void BM_BoxGrowth(benchmark::State &state) {
    using Make = std::function<int32_t()>;
    const Make makes[3][2] = {{[] { return two_rows(100); }, [] { return two_rows(800); }},
                              {[] { return square(4); }, [] { return square(32); }},
                              {[] { return ladder(910, false); }, [] { return two_rows(800); }}};
    const auto &make = makes[state.range(0)];
    double fastest[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    int32_t walls[2] = {0, 0};
    for (auto _ : state) {
        double spent = 0.0;
        for (int k = 0; k < 2; ++k) {
            walls[k] = make[k]();
            const auto start = std::chrono::steady_clock::now();
            Box_GetXSection();
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            benchmark::DoNotOptimize(quer::dt);
            fastest[k] = std::min(fastest[k], seconds);
            spent += seconds;
        }
        state.SetIterationTime(spent);
    }
    const double ratio = fastest[1] / fastest[0];
    if (state.range(0) == 2) {
        state.counters["ratio"] = ratio;
        state.counters["aim"] = 5.0;
    } else {
        state.counters["exponent"] = std::log(ratio) / std::log(static_cast<double>(walls[1]) / walls[0]);
        state.counters["aim"] = state.range(0) == 0 ? 1.3 : 1.5;
    }
}
BENCHMARK(BM_BoxGrowth)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
