// Shell transverse stresses of an 8-node element with 8 plies and 3 section
// points per ply: the call for an element and point already done (two zero
// tests), the first call of a flat element (both parts) and of a curved one.
// The tables are cleared outside the timing between first calls.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "decl/elementhandling.hpp"
#include "decl/laminate.hpp"

namespace {

constexpr int32_t kPlies = 8, kRows = 2 * kPlies + 1, kSpt = 3, kPoints = kPlies * kSpt;

struct Element {
    int32_t nplies = kPlies, nsec = 1, nzcoord = kRows, nintpoint = kPoints, ndof = 5, nnodes = 8, nelem = 1,
            stress_points = 4, elastic_rows = 9;
    std::array<double, kRows> normal{};
    std::array<double, kPoints * 2 * 4> shear{};
    std::array<double, 24> coords{};
    std::array<double, 40> motion{};
    std::array<double, 6 * kPoints * 4> sestress{};
    std::array<double, 4> h{};
    std::array<double, 4 * kRows> f{};
    std::array<double, kPlies> angles{}, t{};
    std::array<double, kRows> z{};
    std::array<double, 9 * kPlies> elastic{};
    std::array<double, 2> curvatures{};
    std::array<int32_t, 1> spt{kSpt}, kind{5};
    std::array<int32_t, kPlies> ids{};

    explicit Element(bool curved) {
        const double xy[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
        const double carbon[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
        const double layup[kPlies] = {0, 45, -45, 90, 90, -45, 45, 0};
        for (int i = 0; i < 8; ++i) {
            coords[3 * i] = xy[i][0];
            coords[3 * i + 1] = xy[i][1];
            motion[5 * i] = 0.001 * xy[i][0];
            motion[5 * i + 2] = 0.004 * xy[i][0] * xy[i][0] + 0.002 * xy[i][0] * xy[i][1];
        }
        for (int p = 0; p < kPlies; ++p) {
            ids[p] = 1;
            angles[p] = layup[p];
            t[p] = 0.125;
            std::copy_n(carbon, 9, elastic.begin() + 9 * p);
        }
        std::fill(sestress.begin(), sestress.end(), 50.0);
        if (curved) curvatures = {0.02, -0.01};
        GetSectionZCoord(z.data(), ids.data(), t.data(), &nplies, &nsec, nullptr);
        GetSectionFMatrix(f.data(), ids.data(), angles.data(), t.data(), z.data(), elastic.data(), &nplies, &nsec,
                          nullptr, nullptr);
        GetSectionHMatrix(h.data(), ids.data(), angles.data(), t.data(), elastic.data(), &nplies, &nsec, nullptr,
                          nullptr, nullptr);
    }

    void run() {
        const int32_t elemid = 1, gpid = 1, secid = 1, on = 1;
        GetShellTransverseStresses(normal.data(), shear.data(), coords.data(), motion.data(), sestress.data(), h.data(),
                                   f.data(), angles.data(), t.data(), z.data(), elastic.data(), spt.data(),
                                   curvatures.data(), kind.data(), ids.data(), &elemid, &gpid, &secid, &on, &on,
                                   &nplies, &nsec, &nzcoord, &nintpoint, &ndof, &nnodes, &nelem, &stress_points,
                                   &elastic_rows);
    }
};

void BM_ShellTransverseStressesDone(benchmark::State &state) {
    Element e(false);
    e.run();
    for (auto _ : state) {
        e.run();
        benchmark::DoNotOptimize(e.normal.data());
    }
}
BENCHMARK(BM_ShellTransverseStressesDone);

void BM_ShellTransverseStressesFirst(benchmark::State &state) {
    Element e(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        e.normal.fill(0.0);
        e.shear.fill(0.0);
        state.ResumeTiming();
        e.run();
        benchmark::DoNotOptimize(e.normal.data());
    }
}
BENCHMARK(BM_ShellTransverseStressesFirst)->Arg(0)->Arg(1);

}  // namespace
