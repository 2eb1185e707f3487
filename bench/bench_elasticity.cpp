// The numerical tangent of a linear 6-component law by differences and by
// the complex step, the hardening-table lookup of 10 rows and the Prony
// relaxation, through their exported symbols.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/elasticity.hpp"
#include "fixtures.hpp"
#include "mechanics/ply.hpp"

namespace {

using kestro_bench::exported;

const std::array<double, 36> kStiffness = kestro_bench::orthotropic_stiffness();

void linear_law(double *stress, const double *strain, const double *, const int32_t *ntens, const int32_t *,
                const int32_t *) {
    for (int32_t i = 0; i < *ntens; ++i) {
        double s = 0.0;
        for (int32_t j = 0; j < *ntens; ++j) s += kStiffness[j * 6 + i] * strain[j];
        stress[i] = s;
    }
}

void complex_linear_law(kestro_complex *stress, const kestro_complex *strain, const double *, const int32_t *ntens,
                        const int32_t *, const int32_t *) {
    for (int32_t i = 0; i < *ntens; ++i) {
        kestro_complex s{0.0, 0.0};
        for (int32_t j = 0; j < *ntens; ++j) {
            s.re += kStiffness[j * 6 + i] * strain[j].re;
            s.im += kStiffness[j * 6 + i] * strain[j].im;
        }
        stress[i] = s;
    }
}

void BM_NumericalTangent(benchmark::State &state) {
    const int32_t method = static_cast<int32_t>(state.range(0)), ntens = 6, ndi = 3, nprops = 0;
    const auto law = method == 0 ? &linear_law : reinterpret_cast<kestro_stress_law>(&complex_linear_law);
    const std::array<double, 6> strain{1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4};
    std::array<double, 6> stress1{};
    linear_law(stress1.data(), strain.data(), nullptr, &ntens, &ndi, &nprops);
    std::array<double, 36> ddsdde{};
    const kestro_logical1 engineering = 0;
    auto *call = exported(&kestro::elasticity::getnumericaltangent);
    for (auto _ : state) {
        benchmark::DoNotOptimize(strain.data());
        call(ddsdde.data(), law, nullptr, stress1.data(), stress1.data(), strain.data(), &ntens, &ndi, &nprops,
             &engineering, nullptr, nullptr, &method);
        benchmark::DoNotOptimize(ddsdde.data());
    }
}
BENCHMARK(BM_NumericalTangent)->Arg(0)->Arg(1);

void BM_GetHardeningFromTable(benchmark::State &state) {
    std::array<double, 20> table{};
    for (int k = 0; k < 10; ++k) {
        table[2 * k] = 100.0 + 20.0 * k - 0.5 * k * k;
        table[2 * k + 1] = 0.01 * k;
    }
    const int32_t rows = 10;
    const double eqplas = 0.047;
    double syield = 0.0, hard = 0.0;
    auto *call = exported(&GetHardeningFromTable);
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.data());
        call(&syield, &hard, &eqplas, table.data(), &rows);
        benchmark::DoNotOptimize(syield);
        benchmark::DoNotOptimize(hard);
    }
}
BENCHMARK(BM_GetHardeningFromTable);

void BM_Relaxation(benchmark::State &state) {
    const double dold = 1.0, tau = 2.0, shift = 1.0, timestep = 0.01, stiffness = 10.0, pprony = 0.5, strain = 0.1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dold);
        benchmark::DoNotOptimize(Relaxation(&dold, &tau, &shift, &timestep, &stiffness, &pprony, &strain));
    }
}
BENCHMARK(BM_Relaxation);

}  // namespace
