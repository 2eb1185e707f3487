// The ply material entries through their exported symbols, as a solver calls
// them: umat_lamina with nine properties outside image-correlation steps at 6
// and 3 components (its peer: BM_PlainUmat of bench_wrapper.cpp, a secant
// material with a given stiffness), usermat_lamina at 6 and 3 components (its
// peer: BM_AnsysThroughUmat, the same adapter around that plain material), and
// vumat_lamina on a block of 100 solid points beside a plain loop that adds
// the product of a given stiffness to each point's stress and its work to the
// energy.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

void BM_UmatLamina(benchmark::State &state) {
    kestro_bench::Umat u(static_cast<int32_t>(state.range(0)));
    u.nstatv = 40;
    u.nprops = 9;
    auto *call = exported(&kestro::toplevel::umat_lamina);
    for (auto _ : state) {
        benchmark::DoNotOptimize(u.dstran.data());
        u.call(call);
        benchmark::DoNotOptimize(u.stress.data());
    }
}
BENCHMARK(BM_UmatLamina)->Arg(6)->Arg(3);

void BM_UsermatLamina(benchmark::State &state) {
    kestro_bench::Usermat u(static_cast<int32_t>(state.range(0)));
    u.nstatev = 40;
    u.nprop = 9;
    auto *call = exported(&kestro::toplevel::usermat_lamina);
    for (auto _ : state) {
        benchmark::DoNotOptimize(u.dstrain.data());
        u.call(call);
        benchmark::DoNotOptimize(u.stress.data());
    }
}
BENCHMARK(BM_UsermatLamina)->Arg(6)->Arg(3);

// A block of explicit solid points (cyclic order, tensor shears), point first.
struct Block {
    static constexpr int32_t nblock = 100, ndir = 3, nshr = 3, nstatev = 1, nfieldv = 1, nprops = 9;
    static constexpr std::size_t n = nblock * 6;
    std::vector<double> increment = std::vector<double>(n), stressold = std::vector<double>(n, 1.0),
                        stressnew = std::vector<double>(n), per_point = std::vector<double>(nblock * 9, 0.0),
                        density = std::vector<double>(nblock, 1.5e-9), energyold = std::vector<double>(nblock),
                        energynew = std::vector<double>(nblock), inelastic = std::vector<double>(nblock),
                        statenew = std::vector<double>(nblock);
    const double props[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100}, zero = 0;
    const int32_t lanneal = 0;
    char cmname[80] = {};

    Block() {
        for (std::size_t k = 0; k < n; ++k) increment[k] = 1e-4 * static_cast<double>(k % 7) - 3e-4;
    }
};

void BM_VumatLamina(benchmark::State &state) {
    Block b;
    auto *call = exported(&kestro::toplevel::vumat_lamina);
    double *const p = b.per_point.data();  // the arrays the ply does not read
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.increment.data());
        call(&b.nblock, &b.ndir, &b.nshr, &b.nstatev, &b.nfieldv, &b.nprops, &b.lanneal, &b.zero, &b.zero, &b.zero,
             b.cmname, p, p, b.props, b.density.data(), b.increment.data(), p, p, p, p, p, b.stressold.data(), p,
             b.energyold.data(), p, p, p, p, p, b.stressnew.data(), b.statenew.data(), b.energynew.data(),
             b.inelastic.data(), sizeof b.cmname);
        benchmark::DoNotOptimize(b.stressnew.data());
    }
}
BENCHMARK(BM_VumatLamina);

// The peer: stressnew = stressold + C e and the energy, C given.
[[gnu::noinline]] void plain_block(Block &b, const std::array<double, 36> &c) {
    for (std::size_t k = 0; k < Block::nblock; ++k) {
        double e[6], ds[6] = {};
        for (std::size_t j = 0; j < 6; ++j) e[j] = (j < 3 ? 1.0 : 2.0) * b.increment[j * Block::nblock + k];
        for (std::size_t j = 0; j < 6; ++j)
            for (std::size_t i = 0; i < 6; ++i) ds[i] += c[j * 6 + i] * e[j];
        double work = 0.0;
        for (std::size_t j = 0; j < 6; ++j) {
            const std::size_t at = j * Block::nblock + k;
            b.stressnew[at] = b.stressold[at] + ds[j];
            work += (b.stressnew[at] + b.stressold[at]) * e[j];
        }
        b.energynew[k] = b.energyold[k] + 0.5 * work / b.density[k];
    }
}

void BM_PlainBlock(benchmark::State &state) {
    Block b;
    const auto c = kestro_bench::orthotropic_stiffness();
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.increment.data());
        plain_block(b, c);
        benchmark::DoNotOptimize(b.stressnew.data());
    }
}
BENCHMARK(BM_PlainBlock);

}  // namespace
