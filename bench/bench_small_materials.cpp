// The fibre, hyperelastic, hail-ice and porosity points through their exported
// symbols at 6 components: umat_fiber with 11 properties and with 25 (two
// temperature sets, interpolated), usermat_fiber, umat_porosity (their peer:
// BM_PlainUmat of bench_wrapper.cpp, and the stiffness alone,
// BM_GetNyeStiffnessMatrix of bench_lamina.cpp), umat_hyper with 21 packed
// values (its tangent alone: BM_NumericalTangent/1 of bench_elasticity.cpp)
// and a plastic umat_hail point with a 10-row hardening table (one lookup:
// BM_GetHardeningFromTable).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;
using kestro_bench::Umat;

// The timing loop of one point: the call between the barriers on its input
// and its output.
template <class Call>
void time_point(benchmark::State &state, const double *input, const double *output, Call call) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(input);
        call();
        benchmark::DoNotOptimize(output);
    }
}

void BM_UmatFiber(benchmark::State &state) {
    Umat u(6);
    u.nstatv = 40;
    u.nprops = static_cast<int32_t>(state.range(0));
    const double strengths[2] = {2000, 1200};
    std::copy_n(strengths, 2, u.props.begin() + 9);
    if (u.nprops == 25) {
        // A second set at 50, the first at -50: the point's temperature 0 lies between.
        std::copy_n(u.props.begin(), 11, u.props.begin() + 12);
        u.props[11] = -50.0;
        u.props[23] = 50.0;
        u.props[24] = 0.2;
        u.props[12] = 120000.0;
    }
    auto *call = exported(&kestro::toplevel::umat_fiber);
    time_point(state, u.dstran.data(), u.stress.data(), [&] { u.call(call); });
}
BENCHMARK(BM_UmatFiber)->Arg(11)->Arg(25);

void BM_UsermatFiber(benchmark::State &state) {
    kestro_bench::Usermat u(6);
    u.nstatev = 40;
    u.nprop = 9;
    auto *call = exported(&kestro::toplevel::usermat_fiber);
    time_point(state, u.dstrain.data(), u.stress.data(), [&] { u.call(call); });
}
BENCHMARK(BM_UsermatFiber);

void BM_UmatPorosity(benchmark::State &state) {
    Umat u(6);
    u.nstatv = 40;
    u.nprops = 9;
    auto *call = exported(&kestro::toplevel::umat_porosity);
    time_point(state, u.dstran.data(), u.stress.data(), [&] {
        call(u.stress.data(), u.statev.data(), u.ddsdde.data(), &u.sse, &u.spd, &u.scd, &u.rpl, u.ddsddt.data(),
             u.drplde.data(), &u.drpldt, u.stran.data(), u.dstran.data(), u.time, &u.zero, &u.zero, &u.zero, &u.zero,
             &u.zero, u.cmname, &u.ndi, &u.nshr, &u.ntens, &u.nstatv, u.props.data(), &u.nprops, u.coords, u.eye,
             &u.pnewdt, &u.zero, u.eye, u.eye, &u.one, &u.one, &u.one, &u.one, &u.one, sizeof u.cmname);
    });
}
BENCHMARK(BM_UmatPorosity);

void BM_UmatHyper(benchmark::State &state) {
    Umat u(6);
    u.nstatv = 40;
    u.nprops = 21;
    const double packed[21] = {142000, 4100, 9800, 4100, 5300, 9800, 0, 0, 0, 4600, 0,
                               0,      0,    0,    4000, 0,    0,    0, 0, 0,    3100};
    std::copy_n(packed, 21, u.props.begin());
    auto *call = exported(&kestro::toplevel::umat_hyper);
    time_point(state, u.dstran.data(), u.stress.data(), [&] { u.call(call); });
}
BENCHMARK(BM_UmatHyper);

// From the same state every time (the point writes its strains and the
// stress it starts from): the 19 values put back are part of the time.
void BM_UmatHailPlastic(benchmark::State &state) {
    Umat u(6);
    u.nstatv = 13;
    u.nprops = 23;
    const double elastic[3] = {1000, 0.3, 1};
    std::copy_n(elastic, 3, u.props.begin());
    for (int k = 0; k < 10; ++k) {
        u.props[3 + 2 * k] = 10.0 + 20.0 * k - 0.5 * k * k;
        u.props[4 + 2 * k] = 0.01 * k;
    }
    u.dstran = {0.01, -0.01, 0, 0.02, 0, 0};
    auto *call = exported(&kestro::toplevel::umat_hail);
    time_point(state, u.dstran.data(), u.stress.data(), [&] {
        std::fill_n(u.stress.begin(), 6, 0.0);
        std::fill_n(u.statev.begin(), 13, 0.0);
        u.call(call);
    });
}
BENCHMARK(BM_UmatHailPlastic);

}  // namespace
