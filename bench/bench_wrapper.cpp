// The convention adapters around a trivial C material routine (stress =
// C (stran + dstran), ddsdde = C of a ply), through their exported symbols:
// the ANSYS point at 6, 4 and 3 components, the Peridigm and MUESLI points at
// 6 and 3 (Peridigm with 40 state values, time per point), beside the
// material routine called directly.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "decl/lamina.hpp"
#include "decl/wrapper.hpp"
#include "fixtures.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"

namespace {

using kestro_bench::exported;

const std::array<double, 36> kPly = [] {
    const double props[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    const int32_t six = 6;
    std::array<double, 36> c{};
    GetNyeStiffnessMatrix(c.data(), props, &six, nullptr);
    return c;
}();

// A material routine of the UMAT type, written on the view of the convention.
void secant(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) {
    const kestro::solver::UmatPoint point{{KESTRO_UMAT_ARGUMENTS}};
    // The adapters call it with 6 components: that case in fixed loops.
    const int32_t n = point.ntens() == 6 ? 6 : point.ntens();
    double e[6];
    for (int32_t j = 0; j < n; ++j) e[j] = stran[j] + dstran[j];
    for (int32_t i = 0; i < n; ++i) stress[i] = 0.0;
    for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < n; ++i) {
            stress[i] += kPly[j * 6 + i] * e[j];
            ddsdde[j * n + i] = kPly[j * 6 + i];
        }
}

using kestro_bench::Umat;

void BM_PlainUmat(benchmark::State &state) {
    Umat u(static_cast<int32_t>(state.range(0)));
    auto *call = exported(&secant);
    for (auto _ : state) {
        benchmark::DoNotOptimize(u.dstran.data());
        u.call(call);
        benchmark::DoNotOptimize(u.stress.data());
    }
}
BENCHMARK(BM_PlainUmat)->Arg(6)->Arg(3);

void BM_AnsysThroughUmat(benchmark::State &state) {
    kestro_bench::Usermat u(static_cast<int32_t>(state.range(0)));
    auto *call = exported(&kestro::wrapper::abq_umat_to_ansys_usermat);
    for (auto _ : state) {
        benchmark::DoNotOptimize(u.dstrain.data());
        u.call(call, &secant);
        benchmark::DoNotOptimize(u.stress.data());
    }
}
BENCHMARK(BM_AnsysThroughUmat)->Arg(6)->Arg(4)->Arg(3);

void BM_PeridigmThroughUmat(benchmark::State &state) {
    const int32_t points = 64, ndir = static_cast<int32_t>(state.range(0)) == 3 ? 2 : 3;
    const int32_t nshr = static_cast<int32_t>(state.range(0)) - ndir, states = 40, nprops = 1, matid = 1;
    const auto n = static_cast<std::size_t>(points * (ndir + nshr));
    std::vector<double> stressold(n, 1.0), increment(n, 1e-4), stressnew(n), stateold(points * states, 0.5),
        statenew(points * states);
    const double props = 1, t = 0;
    auto *call = exported(&kestro::wrapper::abq_umat_to_peridigm_upermat);
    for (auto _ : state) {
        benchmark::DoNotOptimize(increment.data());
        call(&secant, stressnew.data(), statenew.data(), stressold.data(), stateold.data(), increment.data(), &props,
             &t, &t, &t, &matid, &points, &ndir, &nshr, &states, &nprops);
        benchmark::DoNotOptimize(stressnew.data());
    }
    state.counters["per_point"] = benchmark::Counter(
        points, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PeridigmThroughUmat)->Arg(6)->Arg(3);

void muesli_secant(const int32_t *, KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) { secant(KESTRO_UMAT_ARGUMENTS); }

void BM_MuesliThroughUmat(benchmark::State &state) {
    Umat u(static_cast<int32_t>(state.range(0)));
    auto *call = exported(&kestro::wrapper::muesli_to_abq_umat);
    for (auto _ : state) {
        benchmark::DoNotOptimize(u.dstran.data());
        call(&muesli_secant, u.stress.data(), u.statev.data(), u.ddsdde.data(), &u.sse, &u.spd, &u.scd, &u.rpl,
             u.ddsddt.data(), u.drplde.data(), &u.drpldt, u.stran.data(), u.dstran.data(), u.time, &u.zero, &u.zero,
             &u.zero, &u.zero, &u.zero, u.cmname, &u.ndi, &u.nshr, &u.ntens, &u.nstatv, u.props.data(), &u.nprops,
             u.coords, u.eye, &u.pnewdt, &u.zero, u.eye, u.eye, &u.one, &u.one, &u.one, &u.one, u.jstep, &u.one,
             &u.one, sizeof u.cmname);
        benchmark::DoNotOptimize(u.stress.data());
    }
}
BENCHMARK(BM_MuesliThroughUmat)->Arg(6)->Arg(3);

}  // namespace
