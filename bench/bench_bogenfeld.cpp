// vumat_bogenfeld through its exported symbol on blocks of 100 solid points
// with the full property list: the elastic increment of the first time
// (totaltime 0), points before a matrix crack (the Wiegand search of each
// point's secant stress; its peer: the 100 MCrckWiegand calls of the same
// stresses alone) and cracked points (the fracture-plane damage and the
// stiffness degraded in the crack frame).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decl/failure.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

constexpr int32_t kPoints = 100, kStates = 47;

// A block of solid points (cyclic order, tensor strains, point first) with 47
// state variables, state 19 = 1, and the worked ply's properties.
struct Block {
    int32_t nblock = kPoints, ndir = 3, nshr = 3, nstatev = kStates, nfieldv = 1, nprops = 29, lanneal = 0;
    double totaltime = 1.0, zero = 0.0;
    std::vector<double> props = std::vector<double>(29, 0.0), increment = std::vector<double>(6 * kPoints),
                        stressold = std::vector<double>(6 * kPoints), stressnew = std::vector<double>(6 * kPoints),
                        stateold = std::vector<double>(kStates * kPoints), statenew = stateold,
                        per_point = std::vector<double>(9 * kPoints, 0.5), energyold = std::vector<double>(kPoints),
                        internal = energyold, inelastic = energyold;
    char cmname[80] = {};

    // Transverse strains of 0 to 0.029 with small shears: Wiegand exposures below 1.
    Block() {
        const double p[] = {140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.3, 0.45, 2000, 500};
        for (std::size_t k = 0; k < 11; ++k) props[k] = p[k];
        props[12] = -1200, props[13] = -800, props[15] = 500, props[16] = 500, props[24] = 50, props[25] = 30;
        props[26] = 0.2, props[27] = 2, props[28] = 0.8;
        for (std::size_t k = 0; k < kPoints; ++k) {
            const double x = static_cast<double>(k % 30);
            increment[k] = 1e-5 * x;
            increment[kPoints + k] = 1e-3 * x;
            increment[3 * kPoints + k] = 2e-4 * static_cast<double>(k % 7);
            increment[4 * kPoints + k] = -1e-4 * static_cast<double>(k % 5);
            stateold[18 * kPoints + k] = 1.0;
        }
    }
    // Cracked points: the plane at 30 degrees, its history after onset.
    void crack() {
        const double values[] = {30.0, 0.002, 0.01, 1.5, 0.002, 30.0};
        const std::size_t entries[] = {6, 7, 8, 9, 10, 11};
        for (std::size_t k = 0; k < kPoints; ++k)
            for (std::size_t i = 0; i < 6; ++i) stateold[entries[i] * kPoints + k] = values[i];
    }
    void run(decltype(&kestro::toplevel::vumat_bogenfeld) call) {
        double *const p = per_point.data();  // the arrays the routine does not read
        call(&nblock, &ndir, &nshr, &nstatev, &nfieldv, &nprops, &lanneal, &zero, &totaltime, &zero, cmname, p, p,
             props.data(), p, increment.data(), p, p, p, p, p, stressold.data(), stateold.data(), energyold.data(),
             energyold.data(), p, p, p, p, stressnew.data(), statenew.data(), internal.data(), inelastic.data(),
             sizeof cmname);
    }
};

void time_block(benchmark::State &state, Block &b) {
    auto *call = exported(&kestro::toplevel::vumat_bogenfeld);
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.increment.data());
        b.run(call);
        benchmark::DoNotOptimize(b.stressnew.data());
    }
}

void BM_BogenfeldElastic(benchmark::State &state) {
    Block b;
    b.totaltime = 0.0;
    time_block(state, b);
}
BENCHMARK(BM_BogenfeldElastic);

void BM_BogenfeldBeforeCrack(benchmark::State &state) {
    Block b;
    time_block(state, b);
    if (b.statenew[9 * kPoints + 29] >= 1.0) state.SkipWithError("a point cracked");
}
BENCHMARK(BM_BogenfeldBeforeCrack);

// The peer: MCrckWiegand (5-degree scan, refined) of the 100 points' stresses.
void BM_WiegandOfTheBlock(benchmark::State &state) {
    Block b;
    b.totaltime = 0.0;
    b.run(&kestro::toplevel::vumat_bogenfeld);  // the elastic stresses, those the damage path searches
    auto *wiegand = exported(&MCrckWiegand);
    const double xt22 = 500, xc22 = 800, x12 = 500, step = 5;
    const int32_t refined = 1;
    std::vector<double> r(kPoints);
    const auto s = [&b](int c, std::size_t k) { return &b.stressnew[static_cast<std::size_t>(c) * kPoints + k]; };
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.stressnew.data());
        for (std::size_t k = 0; k < kPoints; ++k) {
            double angle = -1.0;
            wiegand(&r[k], s(1, k), s(2, k), s(3, k), s(5, k), s(4, k), &xt22, &xc22, &x12, &angle, nullptr, &step,
                    &refined);
        }
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_WiegandOfTheBlock);

void BM_BogenfeldCracked(benchmark::State &state) {
    Block b;
    b.crack();
    time_block(state, b);
    if (b.statenew[2 * kPoints + 29] == 0.0) state.SkipWithError("no matrix damage");
}
BENCHMARK(BM_BogenfeldCracked);

}  // namespace
