// Damage regions and the fracture-plane matrix damage at a ply point: the
// lookup in one damage set without outline or buckling tables, a growth
// after the data exist, the crack status, the softening law and the
// stiffness degraded in the crack frame.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "core/shared_data.hpp"
#include "decl/damage.hpp"
#include "decl/datahandling.hpp"
#include "fixtures.hpp"

namespace {

const std::array<double, 9> kAxes{1, 0, 0, 0, 1, 0, 0, 0, 1};

void make_regions() {
    int32_t status = 0;
    kestro::datahandling::deallocall(&status);
    const int32_t plies = 8, sections = 1, sets = 1;
    kestro::datahandling::allocatedamagedata(&status, &plies, &sections, &sets);
    kestro::bukdata::bukintdatalist.drop();
    kestro::bukdata::bukrealdatalist.drop();
    kestro::damagedata::fiberdds(1, 3, 1) = kestro::damagedata::fiberdds(2, 3, 1) = 5.0;
}

void BM_GetDamageFromDDS(benchmark::State &state) {
    make_regions();
    const std::array<double, 3> point{1.0, 2.0, 0.0};
    const int32_t ply = 3, sec = 1;
    std::array<double, 12> sdv{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(point.data());
        GetDamageFromDDS(sdv.data(), point.data(), kAxes.data(), &ply, &sec);
        benchmark::DoNotOptimize(sdv.data());
    }
}
BENCHMARK(BM_GetDamageFromDDS);

void BM_UpdateDDS(benchmark::State &state) {
    make_regions();
    const std::array<double, 3> point{1.0, 2.0, 0.0}, centre{0.0, 0.0, 0.0};
    const std::array<double, 5> sdv{0, 1, 1, 0, 0};
    const int32_t ply = 3, sec = 1, set = 1;
    int32_t ierror = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(point.data());
        UpdateDDS(&ierror, sdv.data(), point.data(), centre.data(), kAxes.data(), &ply, &sec, &set);
        benchmark::DoNotOptimize(ierror);
    }
}
BENCHMARK(BM_UpdateDDS);

void BM_GetCrackStatus(benchmark::State &state) {
    const std::array<double, 6> stress{10, -20, 5, 3, 2, 1};
    const std::array<double, 3> axis{1, 0, 0};
    const double phi = 0.4;
    const int32_t base = 2;
    int32_t status = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        GetCrackStatus(&status, stress.data(), axis.data(), &phi, &base);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_GetCrackStatus);

void BM_BogenfeldDegradation(benchmark::State &state) {
    const std::array<double, 5> props{0.3, 0.2, 2.0, 0.8, 0.8};
    const std::array<double, 6> stress{0, 40, 0, 0, 0, 30}, strain{0, 0.006, 0, 0, 0, 0.0045};
    const std::array<double, 1> length{1.0};
    std::array<double, 4> sdv{50.0, 0.0072, 0.0147, 0.0072};
    const int32_t mode = 3, nsdv = 4, nprops = 5;
    double d = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strain.data());
        BogenfeldDegradation(&d, sdv.data(), stress.data(), strain.data(), length.data(), props.data(), &mode, &nsdv,
                             &nprops);
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_BogenfeldDegradation);

void BM_TensorDegradation(benchmark::State &state) {
    const std::array<double, 36> c = kestro_bench::orthotropic_stiffness();
    std::array<double, 36> out{};
    const double angle = 0.6, d = 0.4;
    const int32_t base = 2, open = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.data());
        TensorDegradation(c.data(), out.data(), &angle, &d, &base, &open);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_TensorDegradation);

}  // namespace
