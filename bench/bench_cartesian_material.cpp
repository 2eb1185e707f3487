// vumat_cartesian on blocks of 100 points through its symbol: criterion set
// 2 with degradation and the exponential shear law past the onset of fibre
// and transverse damage, beside vumat_lamina on the same block (a plain
// elastic increment); and criterion set 3 before onset (fibre compression,
// transverse tension), beside the 100 FBLaRC05_is and MCrckLaRC05 calls at
// its trial stresses alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decl/failure.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

constexpr int32_t kPoints = 100, kStates = 82;

// A block of explicit solid points with the 39 properties of a carbon ply.
struct Block {
    int32_t nblock = kPoints, ndir = 3, nshr = 3, nstatev = kStates, nfieldv = 0, nprops = 39, lanneal = 0;
    std::array<double, 39> props{140000, 9000, 9000, 4600, 4600, 3100, 0.3,  0.45,  0.3, 2000, 50, 50, -1200,
                                 -200,   -200, 80,   80,   60,   120000, 10000, 10, 5000, 0,  0,  100,  10,
                                 0.2,    1.0,  0.3,  0,    0,    0,    1,    2,     0,   0,  1,  1,  0};
    std::vector<double> increment = std::vector<double>(kPoints * 6), stressold = std::vector<double>(kPoints * 6),
                        stressnew = std::vector<double>(kPoints * 6),
                        stateold = std::vector<double>(kPoints * kStates),
                        statenew = std::vector<double>(kPoints * kStates),
                        charlength = std::vector<double>(kPoints * 3, 0.5),
                        density = std::vector<double>(kPoints, 1.5e-9), energyold = std::vector<double>(kPoints),
                        energynew = std::vector<double>(kPoints), inelasticold = std::vector<double>(kPoints),
                        inelastic = std::vector<double>(kPoints), per_point = std::vector<double>(kPoints * 9);
    double totaltime = 1.0, dt = 1e-7, zero = 0.0;
    char cmname[80] = {};

    Block() {
        for (int32_t k = 0; k < kPoints; ++k) stateold[18 * kPoints + k] = 1.0;
    }
    // Per point k the increment base + k step.
    void strain(const std::array<double, 6> &base, const std::array<double, 6> &step) {
        for (int32_t k = 0; k < kPoints; ++k)
            for (std::size_t j = 0; j < 6; ++j)
                increment[j * kPoints + static_cast<std::size_t>(k)] = base[j] + k * step[j];
    }
    template <class F>
    void call(F *f) {
        double *const p = per_point.data();  // the arrays the material does not read
        f(&nblock, &ndir, &nshr, &nstatev, &nfieldv, &nprops, &lanneal, &zero, &totaltime, &dt, cmname, p,
          charlength.data(), props.data(), density.data(), increment.data(), p, p, p, p, p, stressold.data(),
          stateold.data(), energyold.data(), inelasticold.data(), p, p, p, p, stressnew.data(), statenew.data(),
          energynew.data(), inelastic.data(), sizeof cmname);
    }
    // The timing loop of the routine f on this block.
    template <class F>
    void time(benchmark::State &state, F *f) {
        for (auto _ : state) {
            benchmark::DoNotOptimize(increment.data());
            call(f);
            benchmark::DoNotOptimize(stressnew.data());
        }
    }
    double state(int entry, int32_t k) const { return statenew[static_cast<std::size_t>((entry - 1) * kPoints + k)]; }
};

// Criterion set 2, strains, degradation and the exponential shear law, with
// fibre and transverse tension past onset: the state of one increment
// beyond it, and a further increment timed.
void BM_CartesianPastOnset(benchmark::State &state) {
    Block b;
    b.props[22] = 1;  // the exponential shear law
    b.strain({0.016, 0.008, 0.001, 0.003, 0.001, 0.002}, {1e-5, 1e-6, 0, 1e-6, 0, 1e-6});
    auto *call = exported(&kestro::toplevel::vumat_cartesian);
    b.call(call);
    for (int32_t k = 0; k < kPoints; ++k)
        if (!(b.state(10, k) > 0.0 && b.state(12, k) > 0.0 && b.state(10, k) < 1.0))
            return state.SkipWithError("the block is not past onset");
    b.stateold = b.statenew;
    b.stressold = b.stressnew;
    b.strain({1e-4, 2e-5, 0, 1e-5, 0, -1e-5}, {1e-7, 0, 0, 0, 0, 0});
    b.time(state, call);
}
BENCHMARK(BM_CartesianPastOnset)->Unit(benchmark::kMicrosecond);

// The plain peer: vumat_lamina's elastic increment of the same block.
void BM_CartesianPeerLamina(benchmark::State &state) {
    Block b;
    b.nprops = 9;
    const std::array<double, 9> ply{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100};
    std::copy(ply.begin(), ply.end(), b.props.begin());
    b.strain({1e-4, 2e-5, 0, 1e-5, 0, -1e-5}, {1e-7, 0, 0, 0, 0, 0});
    auto *call = exported(&kestro::toplevel::vumat_lamina);
    b.time(state, call);
}
BENCHMARK(BM_CartesianPeerLamina)->Unit(benchmark::kMicrosecond);

// Criterion set 3 on stresses, before onset: fibre compression (the
// nominal exposure above 0.5, so kinking is searched) and transverse
// tension (LaRC05's fracture plane), every point below failure.
Block before_onset() {
    Block b;
    b.props[32] = 2;  // criterion input: stresses
    b.props[33] = 3;  // criterion set 3
    b.strain({-0.0065, 0.0045, 0.0, 0.0015, 0.0005, 0.001}, {-5e-7, 1e-6, 0, 1e-6, 0, 0});
    return b;
}

void BM_CartesianBeforeOnset(benchmark::State &state) {
    Block b = before_onset();
    auto *call = exported(&kestro::toplevel::vumat_cartesian);
    b.call(call);
    for (int32_t k = 0; k < kPoints; ++k)
        if (!(b.state(72, k) < 1.0 && b.state(73, k) >= 0.5 && b.state(73, k) < 1.0 && b.state(74, k) > 0.0 &&
              b.state(74, k) < 1.0))
            return state.SkipWithError("the block is not before onset");
    b.time(state, call);
}
BENCHMARK(BM_CartesianBeforeOnset)->Unit(benchmark::kMicrosecond);

// The peer: FBLaRC05_is and MCrckLaRC05 at the block's trial stresses (its
// stresses: no damage, no rate), as the material calls them.
void BM_CartesianPeerCriteria(benchmark::State &state) {
    Block b = before_onset();
    b.call(exported(&kestro::toplevel::vumat_cartesian));
    const double xt11 = 2000, xc11 = 1200, yt = 50, yc = 200, s12 = 80, shear = 70, g12 = 4600, a0 = 53, step = 4;
    const double in_situ[10] = {2000, 50, 50, 1200, 200, 200, 80, 80, 60, 0};
    const int32_t golden = 1, fcl = 0;
    auto *fibre = exported(&FBLaRC05_is);
    auto *matrix = exported(&MCrckLaRC05);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t k = 0; k < kPoints; ++k) {
            // Cyclic order: 11, 22, 33, 12, 23, 13.
            const double *s = b.stressnew.data() + k;
            const double s11 = s[0], s22 = s[kPoints], s33 = s[2 * kPoints], t12 = s[3 * kPoints],
                         t23 = s[4 * kPoints], t13 = s[5 * kPoints];
            double r1 = 0.0, r2 = 0.0, theta = -1.0;
            fibre(&r1, &s11, &s22, &s33, &t12, &t13, &t23, &xt11, &xc11, &yt, &shear, &shear, &g12, &a0, &step,
                  &golden, &fcl, in_situ);
            matrix(&r2, &s22, &s33, &t12, &t13, &t23, &yt, &yc, &s12, &a0, &theta, &step, &golden);
            sum += r1 + r2;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CartesianPeerCriteria)->Unit(benchmark::kMicrosecond);

}  // namespace
