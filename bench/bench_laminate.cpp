// The section services the shell transverse stresses call per element and
// increment: the curved table of one section of 8 plies, the shear stresses
// at 3 points per ply and the flat normal stress.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/laminate.hpp"

namespace {

constexpr int32_t kPlies = 8, kRows = 2 * kPlies + 1;

struct Section {
    std::array<int32_t, kPlies> ids{};
    std::array<double, kPlies> angles{}, t{};
    std::array<double, kRows> z{};
    std::array<double, 9 * kPlies> elastic{};
    std::array<double, 4 * kRows> f{};

    Section() {
        const double carbon[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
        const double layup[kPlies] = {0, 45, -45, 90, 90, -45, 45, 0};
        const int32_t one = 1, shear = 1;
        for (int p = 0; p < kPlies; ++p) {
            ids[p] = 1;
            angles[p] = layup[p];
            t[p] = 0.125;
            for (int k = 0; k < 9; ++k) elastic[9 * p + k] = carbon[k];
        }
        GetSectionZCoord(z.data(), ids.data(), t.data(), &kPlies, &one, nullptr);
        GetArbitrarySectionFG(f.data(), ids.data(), angles.data(), t.data(), z.data(), elastic.data(), &kPlies, &one,
                              &shear, &shear, nullptr, nullptr, nullptr);
    }
};

void BM_GetArbitrarySectionFG(benchmark::State &state) {
    const Section s;
    const double curvature[2] = {0.02, -0.01};
    const int32_t one = 1, normal = 0;
    std::array<double, 4 * kRows> fg{};
    for (auto _ : state) {
        GetArbitrarySectionFG(fg.data(), s.ids.data(), s.angles.data(), s.t.data(), s.z.data(), s.elastic.data(),
                              &kPlies, &one, &normal, &one, curvature, nullptr, nullptr);
        benchmark::DoNotOptimize(fg.data());
    }
}
BENCHMARK(BM_GetArbitrarySectionFG);

void BM_GetExt2DShearStress(benchmark::State &state) {
    const Section s;
    const double r[2] = {1.5, -0.7};
    const int32_t points = 3;
    std::array<double, 2 * 3 * kPlies> tau{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(r);
        GetExt2DShearStress(tau.data(), r, s.angles.data(), s.f.data(), &points, &kPlies);
        benchmark::DoNotOptimize(tau.data());
    }
}
BENCHMARK(BM_GetExt2DShearStress);

void BM_GetNormalStressFromBottom(benchmark::State &state) {
    const Section s;
    const double rdx[2] = {0.3, -1.2}, rdy[2] = {2.0, 0.7};
    std::array<double, kRows> s33{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(rdx);
        GetNormalStressFromBottom(s33.data(), rdx, rdy, s.z.data(), s.f.data(), &kPlies);
        benchmark::DoNotOptimize(s33.data());
    }
}
BENCHMARK(BM_GetNormalStressFromBottom);

}  // namespace
