// Nodal patches: GetNodalPatch beside a plain ring walk that gathers the same
// columns (its node-to-element table built by one counting pass, each node's
// elements walked once, repeats removed through a hash grid of the
// tolerance's width, the 27 cells around a point searched), so that the ratio
// of the two can be read.  Meshes: 100 x 100 and 400 x 400 unit squares
// (10,000 and 160,000 elements), patches of the middle element 1 to 20 rings
// deep and, on the smaller mesh, 50 and 100 rings (the whole mesh); a fan of
// 8,000 quadrilaterals around one node, 1 to 20 rings.  npt is the number of
// distinct points of each patch.  On a busy machine read the "_min" rows of
// --benchmark_repetitions=8 --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "decl/elementhandling.hpp"

namespace {

constexpr double kEmpty = -1.7976931348623157e308;
constexpr double kTolerance = 1e-10;

struct Mesh {
    int32_t nnodes = 4, nelem = 0;
    std::vector<double> coords;  // (3, nnodes, nelem)
    std::vector<int32_t> nodes;  // (nnodes, nelem)

    void add(const int32_t (&numbers)[4], const double (&xy)[4][2]) {
        for (int c = 0; c < 4; ++c) {
            nodes.push_back(numbers[c]);
            coords.insert(coords.end(), {xy[c][0], xy[c][1], 0.0});
        }
        ++nelem;
    }
};

// cells x cells unit squares, nodes numbered row by row from 1.
const Mesh &grid(int32_t cells) {
    static std::unordered_map<int32_t, Mesh> made;
    Mesh &m = made[cells];
    if (m.nelem > 0) return m;
    for (int32_t i = 0; i < cells; ++i)
        for (int32_t j = 0; j < cells; ++j) {
            const int32_t n = i * (cells + 1) + j + 1;
            const double x = i, y = j;
            m.add({n, n + cells + 1, n + cells + 2, n + 1}, {{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}});
        }
    return m;
}

// quads quadrilaterals around node 1 at the origin: quad i has node 1, the
// inner points i and i + 1 (radius 1) and the outer point i between them.
const Mesh &fan(int32_t quads) {
    static std::unordered_map<int32_t, Mesh> made;
    Mesh &m = made[quads];
    if (m.nelem > 0) return m;
    const double step = 2.0 * std::numbers::pi / quads;
    for (int32_t i = 0; i < quads; ++i) {
        const int32_t next = (i + 1) % quads;
        const double a = step * i, b = step * (i + 0.5), c = step * next;
        m.add({1, 2 + i, 2 + quads + i, 2 + next},
              {{0, 0}, {std::cos(a), std::sin(a)}, {2 * std::cos(b), 2 * std::sin(b)}, {std::cos(c), std::sin(c)}});
    }
    return m;
}

// The plain ring walk: ring 1 the elements sharing a node with elemid, ring
// r those sharing a node with ring r - 1 and in no earlier ring, elemid
// itself with ring 2; each ring's elements in table order, their slots in
// order, a point within the tolerance of an earlier one dropped.
class ReferenceWalk {
public:
    explicit ReferenceWalk(const Mesh &m) : m_(m) {}

    void operator()(double *patch, int32_t npt, int32_t elemid, int32_t rings) {
        std::fill_n(patch, 3 * static_cast<int64_t>(npt), kEmpty);
        const auto [lo, hi] = std::minmax_element(m_.nodes.begin(), m_.nodes.end());
        const int32_t first = *lo, count = *hi - *lo + 1;
        // Node to elements by one counting pass.
        std::vector<int32_t> start(static_cast<std::size_t>(count) + 2, 0), elements(m_.nodes.size());
        for (int32_t n : m_.nodes) ++start[static_cast<std::size_t>(n - first) + 2];
        for (std::size_t i = 2; i < start.size(); ++i) start[i] += start[i - 1];
        for (std::size_t s = 0; s < m_.nodes.size(); ++s)
            elements[static_cast<std::size_t>(start[static_cast<std::size_t>(m_.nodes[s] - first) + 1]++)] =
                static_cast<int32_t>(s) / m_.nnodes;
        std::vector<char> held(static_cast<std::size_t>(m_.nelem), 0), walked(static_cast<std::size_t>(count), 0);
        std::vector<int32_t> ring{elemid - 1}, next;
        held[static_cast<std::size_t>(elemid - 1)] = 1;
        cells_.clear();
        chain_.clear();
        points_ = 0;
        for (int32_t r = 1; r <= rings; ++r) {
            next.clear();
            for (int32_t e : ring)
                for (int32_t j = 0; j < m_.nnodes; ++j) {
                    const int32_t node = m_.nodes[static_cast<std::size_t>(e * m_.nnodes + j)];
                    const auto n = static_cast<std::size_t>(node - first);
                    if (walked[n] != 0) continue;
                    walked[n] = 1;
                    for (int32_t i = start[n]; i < start[n + 1]; ++i) {
                        const int32_t k = elements[static_cast<std::size_t>(i)];
                        if (held[static_cast<std::size_t>(k)] != 0) continue;
                        held[static_cast<std::size_t>(k)] = 1;
                        next.push_back(k);
                    }
                }
            const bool expands = !next.empty();
            if (r == 2) next.push_back(elemid - 1);
            std::sort(next.begin(), next.end());
            for (int32_t e : next)
                for (int32_t j = 0; j < m_.nnodes; ++j)
                    if (!add(patch, npt, &m_.coords[3 * static_cast<std::size_t>(e * m_.nnodes + j)])) return;
            if (!expands) return;
            std::swap(ring, next);
            std::erase(ring, elemid - 1);
        }
    }

private:
    struct Cell {
        int64_t i, j, k;
        bool operator==(const Cell &) const = default;
    };
    struct CellHash {
        std::size_t operator()(const Cell &c) const {
            return static_cast<std::size_t>((c.i * 73856093) ^ (c.j * 19349663) ^ (c.k * 83492791));
        }
    };

    // Adds x unless a point within the tolerance is there: the points of the
    // 27 cells around its own are compared.
    bool add(double *patch, int32_t npt, const double *x) {
        const Cell c{static_cast<int64_t>(std::floor(x[0] / kTolerance)),
                     static_cast<int64_t>(std::floor(x[1] / kTolerance)),
                     static_cast<int64_t>(std::floor(x[2] / kTolerance))};
        for (int64_t di = -1; di <= 1; ++di)
            for (int64_t dj = -1; dj <= 1; ++dj)
                for (int64_t dk = -1; dk <= 1; ++dk) {
                    const auto at = cells_.find({c.i + di, c.j + dj, c.k + dk});
                    if (at == cells_.end()) continue;
                    for (int32_t p = at->second; p >= 0; p = chain_[static_cast<std::size_t>(p)]) {
                        const double *y = patch + 3 * static_cast<std::size_t>(p);
                        const double dx = x[0] - y[0], dy = x[1] - y[1], dz = x[2] - y[2];
                        if (std::sqrt(dx * dx + dy * dy + dz * dz) <= kTolerance) return true;
                    }
                }
        if (points_ == npt) return false;
        std::copy_n(x, 3, patch + 3 * static_cast<std::size_t>(points_));
        auto [head, fresh] = cells_.try_emplace(c, points_);
        chain_.push_back(fresh ? -1 : head->second);
        head->second = points_++;
        return true;
    }

    const Mesh &m_;
    std::unordered_map<Cell, int32_t, CellHash> cells_;
    std::vector<int32_t> chain_;
    int32_t points_ = 0;
};

// The number of distinct points of the patch (GetNodalPatch into as many
// columns as the mesh has slots), and whether the plain walk gathers the same.
int32_t patch_size(const Mesh &m, int32_t elemid, int32_t rings, bool &same) {
    auto npt = static_cast<int32_t>(m.nodes.size());
    std::vector<double> patch(3 * m.nodes.size()), plain(3 * m.nodes.size());
    GetNodalPatch(patch.data(), m.coords.data(), m.nodes.data(), &elemid, &npt, &m.nnodes, &m.nelem, nullptr, nullptr,
                  &rings, nullptr);
    ReferenceWalk walk(m);
    walk(plain.data(), npt, elemid, rings);
    same = patch == plain;
    int32_t filled = 0;
    while (filled < npt && patch[3 * static_cast<std::size_t>(filled)] != kEmpty) ++filled;
    return filled;
}

void run(benchmark::State &state, const Mesh &m, int32_t elemid, bool plain) {
    const auto rings = static_cast<int32_t>(state.range(1));
    bool same = false;
    const int32_t npt = patch_size(m, elemid, rings, same);
    if (!same) state.SkipWithError("the plain walk gathers other columns");
    std::vector<double> patch(3 * static_cast<std::size_t>(npt));
    ReferenceWalk walk(m);
    for (auto _ : state) {
        if (plain)
            walk(patch.data(), npt, elemid, rings);
        else
            GetNodalPatch(patch.data(), m.coords.data(), m.nodes.data(), &elemid, &npt, &m.nnodes, &m.nelem, nullptr,
                          nullptr, &rings, nullptr);
        benchmark::DoNotOptimize(patch.data());
        benchmark::ClobberMemory();
    }
    state.counters["points"] = npt;
}

// The fastest of repeated runs (--benchmark_repetitions), less disturbed
// than their mean by whatever else the machine runs.
void fastest(benchmark::internal::Benchmark *b) {
    b->ComputeStatistics("min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
    b->Unit(benchmark::kMillisecond);
}

// Arguments: the mesh's cells per side, the rings.
void grid_args(benchmark::internal::Benchmark *b) {
    for (int64_t cells : {100, 400})
        for (int64_t rings : {1, 2, 5, 10, 20}) b->Args({cells, rings});
    b->Args({100, 50})->Args({100, 100});
    fastest(b);
}

void BM_NodalPatchGrid(benchmark::State &state) {
    const auto cells = static_cast<int32_t>(state.range(0));
    run(state, grid(cells), cells * cells / 2 + cells / 2 + 1, false);
}
BENCHMARK(BM_NodalPatchGrid)->Apply(grid_args);

void BM_NodalPatchGridPlainWalk(benchmark::State &state) {
    const auto cells = static_cast<int32_t>(state.range(0));
    run(state, grid(cells), cells * cells / 2 + cells / 2 + 1, true);
}
BENCHMARK(BM_NodalPatchGridPlainWalk)->Apply(grid_args);

// Arguments: the quadrilaterals of the fan, the rings.
void fan_args(benchmark::internal::Benchmark *b) {
    for (int64_t rings : {1, 2, 5, 20}) b->Args({8000, rings});
    fastest(b);
}

void BM_NodalPatchFan(benchmark::State &state) {
    const auto quads = static_cast<int32_t>(state.range(0));
    run(state, fan(quads), quads / 2, false);
}
BENCHMARK(BM_NodalPatchFan)->Apply(fan_args);

void BM_NodalPatchFanPlainWalk(benchmark::State &state) {
    const auto quads = static_cast<int32_t>(state.range(0));
    run(state, fan(quads), quads / 2, true);
}
BENCHMARK(BM_NodalPatchFanPlainWalk)->Apply(fan_args);

}  // namespace
