// The truss and impactor user elements per call: the explicit truss's force
// pass over a block of 64 elements (per element), the implicit truss's static
// increment beside a plain truss that forms the same results written out
// (length, axis, k g g^T, rhs, strain energy; the ratio printed as the
// counter "x_plain", the results checked equal first), and the explicit
// impactor's Hertz contact of one element in an impact step; beside them the
// plain peers they are built on: the length and axis of one element, and the
// three Hertz laws of one contact evaluation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/elementhandling.hpp"
#include "decl/interaction.hpp"
#include "decl/toplevel.hpp"
#include "solver/control.hpp"

namespace {

using namespace kestro;

constexpr int32_t kBlock = 64;
const std::array<double, 6> kBar{1, 2, 3, 2.5, 4, 3};  // node 1, node 2

void BM_TrussLengthAndAxis(benchmark::State &state) {
    std::array<double, 12> te{};
    double length = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kBar.data());
        GetTruss3ElemLength(&length, kBar.data());
        GetTruss3TransformationMatrix(te.data(), kBar.data());
        benchmark::DoNotOptimize(length);
        benchmark::DoNotOptimize(te.data());
    }
}
BENCHMARK(BM_TrussLengthAndAxis);

// The explicit list of a block of n bars (node 2 moved by 1 % along the
// axis), all other arrays of their declared extents.
struct ExplicitBlock {
    explicit ExplicitBlock(int32_t n)
        : nblock(n), rhs(6 * n), amass(36 * n), stable(n), svars(18 * n), energy(12 * n), coords(6 * n), u(6 * n),
          per_element(n, 1.0), jelem(n, 1) {
        for (int32_t k = 0; k < n; ++k) {
            for (int c = 0; c < 3; ++c) {
                coords[k + n * (2 * c)] = kBar[c];
                coords[k + n * (1 + 2 * c)] = kBar[3 + c];
            }
            u[k + 3 * n] = 0.015;
            u[k + 4 * n] = 0.02;
        }
    }
    void truss(const int32_t *lflags) {
        toplevel::vuel_truss(&nblock, rhs.data(), amass.data(), stable.data(), svars.data(), &nsvars, energy.data(),
                             &nnode, &ndofel, props.data(), &nprops, jprops.data(), &njprops, coords.data(), &ncrd,
                             u.data(), u.data(), u.data(), u.data(), &one, jelem.data(), time.data(), &zero, &dt, &dt,
                             &kstep, &kinc, lflags, per_element.data(), &zero, &one, &one, per_element.data());
    }
    void impact(const int32_t *lflags, double *cprops) {
        toplevel::vuel_impact(&nblock, rhs.data(), amass.data(), stable.data(), svars.data(), &nsvars, energy.data(),
                              &nnode, &ndofel, props.data(), &nprops, jprops.data(), &njprops, coords.data(), &ncrd,
                              u.data(), u.data(), u.data(), u.data(), &one, jelem.data(), time.data(), &zero, &dt, &dt,
                              &kstep, &kinc, lflags, per_element.data(), &zero, &one, &one, per_element.data(), cprops);
    }
    int32_t nblock, nsvars = 18, nnode = 2, ndofel = 6, ncrd = 3, nprops = 12, njprops = 2, one = 1, kstep = 1,
                    kinc = 5;
    std::vector<double> rhs, amass, stable, svars, energy, coords, u, per_element;
    std::vector<int32_t> jelem;
    std::array<double, 12> props{200, 8, 0.05};
    std::array<int32_t, 2> jprops{1, 0};
    std::array<double, 2> time{0.1, 0.1};
    double zero = 0.0, dt = 1e-6;
};

void BM_VuelTrussForcePerElement(benchmark::State &state) {
    ExplicitBlock block(kBlock);
    const int32_t force_pass[3] = {17, 2, 0};
    for (auto _ : state) {
        block.truss(force_pass);
        benchmark::DoNotOptimize(block.rhs.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_VuelTrussForcePerElement);

// The static increment of a bar of E A = 10 (node 2 moved by 0.015, 0.02)
// through uel_truss, and the same written out as a plain truss would.
struct StaticTruss {
    void element() {
        toplevel::uel_truss(rhs.data(), amatrx.data(), svars.data(), energy.data(), &ndofel, &nrhs, &nsvars,
                            props.data(), &nprops, coords.data(), &three, &two, u.data(), u.data(), u.data(), u.data(),
                            &one, time.data(), &dtime, &one, &one, &one, params.data(), &none, &none, &zero, &zero,
                            &none, lflags, &ndofel, &zero, &none, &pnewdt, &none, &none, &zero);
    }
    // A routine as uel_truss is one: called, not inlined into the loop.
    [[gnu::noinline]] void plain() {
        const double d[3] = {coords[3] - coords[0], coords[4] - coords[1], coords[5] - coords[2]};
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        double g[6];
        for (int k = 0; k < 3; ++k) g[k + 3] = -(g[k] = d[k] / length);
        const double k = props[0] * props[2] / length;
        const double elongation = (g[0] * u[3] + g[1] * u[4] + g[2] * u[5]) - (g[0] * u[0] + g[1] * u[1] + g[2] * u[2]);
        const double force = k * elongation;
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i) amatrx[6 * j + i] = k * g[i] * g[j];
        for (int i = 0; i < 6; ++i) rhs[i] = force * g[i];
        energy[1] = 0.5 * force * elongation;
    }
    // One call as timed: the inputs read anew, the outputs kept.
    void timed(bool through_element) {
        benchmark::DoNotOptimize(u.data());
        through_element ? element() : plain();
        benchmark::DoNotOptimize(rhs.data());
        benchmark::DoNotOptimize(amatrx.data());
    }
    int32_t ndofel = 6, nrhs = 1, nsvars = 12, nprops = 3, three = 3, two = 2, one = 1, none = 0;
    int32_t lflags[4] = {1, 1, 1, 0};
    std::array<double, 3> props{200, 8, 0.05}, params{0, 0, 0};
    std::array<double, 6> coords = kBar, u{0, 0, 0, 0.015, 0.02, 0}, rhs{};
    std::array<double, 2> time{0, 0};
    double dtime = 0.1, zero = 0.0, pnewdt = 1.0;
    std::array<double, 36> amatrx{};
    std::array<double, 12> svars{};
    std::array<double, 8> energy{};
};

// Nanoseconds per call, the best of five runs of 200,000 calls.
double per_call(StaticTruss &t, bool through_element) {
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < 200000; ++k) t.timed(through_element);
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / 200000);
    }
    return best;
}

void BM_PlainTruss(benchmark::State &state) {
    StaticTruss t;
    for (auto _ : state) t.timed(false);
}
BENCHMARK(BM_PlainTruss);

void BM_UelTrussStatic(benchmark::State &state) {
    StaticTruss element, plain;
    element.element();
    plain.plain();
    const auto close = [](double x, double y) { return std::abs(x - y) <= 1e-14 * std::max(std::abs(x), std::abs(y)); };
    if (!std::equal(element.rhs.begin(), element.rhs.end(), plain.rhs.begin(), close) ||
        !std::equal(element.amatrx.begin(), element.amatrx.end(), plain.amatrx.begin(), close) ||
        !close(element.energy[1], plain.energy[1])) {
        state.SkipWithError("uel_truss and the plain truss differ");
        return;
    }
    for (auto _ : state) element.timed(true);
    state.counters["x_plain"] = per_call(element, true) / per_call(plain, false);
}
BENCHMARK(BM_UelTrussStatic);

// The impactor (E 210000, nu 0.3, radius 8) 0.05 past the struck point of a ply (E33 9000, nu 0.3).
constexpr std::array<double, 12> kImpactor{210000, 0.3, 9000, 0.3, 50, 4, 8, 1, 0, 0, 0, 0.01};

void BM_HertzLaws(benchmark::State &state) {
    const std::array<double, 14> csprops{8, 1, 210000, 0.3, 0, 0, 9000, 0.3};
    const int32_t fourteen = 14, four = 4, three = 3, flag = 0;
    double k = 0.0, eeff = 0.0, radius = 0.0, depth = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(csprops.data());
        ContactStiffness(&k, &eeff, csprops.data(), &fourteen, &flag);
        const double force = k * 0.05 * std::sqrt(0.05);
        const double radius_args[4] = {force, eeff, 8.0, 2.0}, depth_args[3] = {force, 8.0, eeff};
        ContactRadius(&radius, radius_args, &four, &flag);
        ContactDepth(&depth, depth_args, &three, &flag);
        benchmark::DoNotOptimize(radius);
        benchmark::DoNotOptimize(depth);
    }
}
BENCHMARK(BM_HertzLaws);

void BM_VuelImpactHertz(benchmark::State &state) {
    ExplicitBlock block(1);
    block.props = kImpactor;
    block.kstep = 1;
    jobdata::stepid.create(1);
    jobdata::stepid(1) = solver::impact;
    std::array<double, 20> cprops{};
    const int32_t force_pass[3] = {17, 2, 0};
    for (auto _ : state) {
        cprops[3] = 0.05;  // the impactor's displacement
        block.impact(force_pass, cprops.data());
        benchmark::DoNotOptimize(cprops.data());
    }
    jobdata::stepid.drop();
}
BENCHMARK(BM_VuelImpactHertz);

}  // namespace
