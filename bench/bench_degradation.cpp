// Stiffness degradation per material point: the Matzenmiller stiffness, the
// mode coupling with and without the stiffness, the image-correlation factors
// with their matrix, and the small laws.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/degradation.hpp"

namespace {

const std::array<double, 9> kPropvec{140000, 9000, 9000, 3100, 4000, 4600, 0.45, 0.3, 0.3};

void BM_MatzenmillerDegradation(benchmark::State &state) {
    const std::array<double, 3> dnorm{0.3, 0.2, 0.1};
    const double d23 = 0.1, d13 = 0.2, d12 = 0.3;
    std::array<double, 36> c{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(dnorm.data());
        MatzenmillerDegradation(kPropvec.data(), c.data(), dnorm.data(), &d23, &d13, &d12);
        benchmark::DoNotOptimize(c.data());
    }
}
BENCHMARK(BM_MatzenmillerDegradation);

void BM_DegradationFromModes(benchmark::State &state) {
    const std::array<double, 9> modes{0.2, 0, 0.5, 0, 0, 0, 0.1, 0, 0}, effort{1, 0, -1, 0, 1, 0, 0, 0, 0};
    std::array<double, 9> w{};
    std::array<double, 36> c{};
    const kestro_logical1 sum = 1;
    const bool stiffness = state.range(0) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(modes.data());
        DegradationFromModes(modes.data(), w.data(), &sum, c.data(), stiffness ? kPropvec.data() : nullptr,
                             stiffness ? kPropvec.data() + 6 : nullptr, stiffness ? effort.data() : nullptr);
        benchmark::DoNotOptimize(c.data());
    }
}
BENCHMARK(BM_DegradationFromModes)->Arg(0)->Arg(1);

void BM_RuvazuWithMatrix(benchmark::State &state) {
    const std::array<double, 10> dds{1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    const double rdisc = 1.0;
    const int32_t scheme = 5, ntens = 6;
    const kestro_logical1 tape = 1;
    std::array<double, 9> d{};
    std::array<double, 36> m{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(dds.data());
        RuvazuDegradation(d.data(), dds.data(), &rdisc, &scheme, &tape, nullptr);
        GetNyeDegradationMatrix(d.data(), m.data(), &ntens, nullptr);
        benchmark::DoNotOptimize(m.data());
    }
}
BENCHMARK(BM_RuvazuWithMatrix);

void BM_SmallLaws(benchmark::State &state) {
    const double eps = 0.02, eps0 = 0.01, sig = 100.0, gc = 1.0, lc = 0.01, degr = 0.1, life = 0.0, dres = 0.5;
    const std::array<double, 2> props{1000.0, 0.3};
    std::array<double, 2> out{};
    double d = 0.0, eps1 = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(eps);
        BiLinearEvolution(&eps, &eps0, &sig, &gc, &lc, &d, &eps1);
        IsotropicDegradation(props.data(), &dres, &life, &degr, out.data());
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SmallLaws);

}  // namespace
