// The Shokrieh point through its exported symbol at 6 components, as a solver
// calls it: a unidirectional ply (argument 0) and a woven layer at 30 degrees
// (two layer updates and the turned stiffness), at a cycle count that does
// not grow.  Its peers: the layer update alone (BM_GetShokrieh/0 of
// bench_fatigue.cpp) and the plain secant point (BM_PlainUmat/6 of
// bench_wrapper.cpp).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

void BM_UmatShokrieh(benchmark::State &state) {
    std::array<double, 149> props{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000,
                                  50,     50,   1200, 200, 200, 80,   80,   60,   0.1};
    const std::array<double, 8> fatigue{10.03, 0.473, 14.77, 0.1605, 1.9, 0.1, 1.06, 0.0143};
    for (std::size_t k = 0; k < 72; ++k) props[19 + k] = fatigue[k % 8];
    props[148] = static_cast<double>(state.range(0));
    std::array<double, 312> statev{};
    std::array<double, 6> stress{}, stran{0.004, -0.001, 0.0005, 0.002, 0.0005, 0.001}, dstran{}, ddsddt{}, drplde{};
    std::array<double, 36> ddsdde{};
    const int32_t three = 3, six = 6, nstatv = 312, nprops = 149, one = 1, jstep[4] = {1, 1, 1, 0};
    double sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0, pnewdt = 1, zero = 0, time[2] = {};
    const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    char cmname[80] = {};
    auto *call = kestro_bench::exported(&kestro::toplevel::umat_shokrieh);
    for (auto _ : state) {
        benchmark::DoNotOptimize(stran.data());
        call(stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, ddsddt.data(), drplde.data(),
             &drpldt, stran.data(), dstran.data(), time, &zero, &zero, &zero, &zero, &zero, cmname, &three, &three,
             &six, &nstatv, props.data(), &nprops, eye, eye, &pnewdt, &zero, eye, eye, &one, &one, &one, &one, jstep,
             &one, sizeof cmname);
        benchmark::DoNotOptimize(stress.data());
    }
}
BENCHMARK(BM_UmatShokrieh)->Arg(0)->Arg(30);

}  // namespace
