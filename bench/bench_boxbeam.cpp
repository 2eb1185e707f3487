// The box-beam analysis without report: one cell of 300 caps on an ellipse
// with 300 walls, and the same section split into three cells by two spars.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
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

// The ellipse y = 5 cos t, z = 0.6 sin t with caps 1..300 at t = 2 pi (i - 1) / 300.
void ellipse(bool spars) {
    const int32_t walls = 310, caps = kCaps, cells = 3;
    Box_Initialize(&walls, &caps, &cells);
    gurt::ig = kCaps;
    for (int32_t i = 1; i <= kCaps; ++i) {
        const double t = 2.0 * 3.141592653589793 * (i - 1) / kCaps;
        gurt::yi(i) = 5.0 * std::cos(t);
        gurt::zi(i) = 0.6 * std::sin(t);
        gurt::bi(i) = 50.0;
        gurt::myi(i) = 0.01;
    }
    for (int32_t i = 1; i <= kCaps; ++i) add_wall(i, i % kCaps + 1);
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
    spanug::qqz = 10.0;
    spanug::qmx = 3.0;
    spanug::qmy = 2.0;
    steuer::druck = 0;
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

}  // namespace
