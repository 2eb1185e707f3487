// The implicit impactor per call: a dynamic call in an impact step of a
// steel ball on a ply (the force in closed form; by the bracketed search with
// the Hertz law and with the stiffness sampled at 50 forces), beside the
// routines it is built on: the cubic of the closed form here, the contact law
// that the search evaluates in bench_impact.cpp (BM_ContactLaw: 0 Hertz, 1 the
// 50 samples).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "core/shared_data.hpp"
#include "decl/interaction.hpp"
#include "decl/math.hpp"
#include "decl/toplevel.hpp"
#include "solver/control.hpp"

namespace {

using namespace kestro;

// E 210e9, nu 0.3, R 0.008, mass 4 on a ply of E33 9e9, nu 0.3, 80 micrometres
// from the struck surface once predicted; HHT alpha -0.3.
struct ImpactCall {
    explicit ImpactCall(int32_t irfflag, int32_t iclflag) : jprops{irfflag, 0, iclflag} {
        cprops[3] = 1e-4, cprops[4] = 4, cprops[5] = -50, cprops[6] = 4, cprops[10] = 300;
        svars[12] = 9.80665, svars[13] = 2e-9, svars[14] = 6e-5;
        jobdata::stepid.create(1);
        jobdata::stepid(1) = solver::impact;
    }
    ~ImpactCall() { jobdata::stepid.drop(); }
    void operator()() {
        toplevel::uel_impact(rhs.data(), amatrx.data(), svars.data(), energy.data(), &ndofel, &one, &nsvars,
                             props.data(), &nprops, coords.data(), &three, &two, u.data(), u.data(), u.data(),
                             u.data(), &one, time.data(), &dtime, &one, &one, &one, params.data(), &none, &none,
                             &zero, &zero, &none, lflags.data(), &ndofel, &zero, &none, &pnewdt, jprops.data(),
                             &three, &zero, cprops.data());
    }
    std::array<int32_t, 3> jprops;
    int32_t ndofel = 6, one = 1, two = 2, three = 3, nsvars = 20, nprops = 12, none = 0;
    std::array<int32_t, 4> lflags{11, 1, 1, 0};
    std::array<double, 12> props{210e9, 0.3, 9e9, 0.3, 50, 4, 0.008, 0.001, 0, 0, 0, 1e-5};
    std::array<double, 6> coords{0, 0, 0, 0, 0, 1}, u{0, 0, 0, 0, 0, 6e-5}, rhs{};
    std::array<double, 36> amatrx{};
    std::array<double, 20> svars{}, cprops{};
    std::array<double, 8> energy{};
    std::array<double, 3> params{-0.3, 0.4225, 0.8};
    std::array<double, 2> time{0, 0};
    double dtime = 1e-5, zero = 0.0, pnewdt = 1.0;
};

void BM_UelImpactClosedForm(benchmark::State &state) {
    ImpactCall call(1, 0);
    for (auto _ : state) {
        call();
        benchmark::DoNotOptimize(call.cprops.data());
    }
}
BENCHMARK(BM_UelImpactClosedForm);

// Argument: the contact-law flag (0 Hertz, 1 the stiffness sampled at 50 forces).
void BM_UelImpactBracketed(benchmark::State &state) {
    ImpactCall call(2, static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        call();
        benchmark::DoNotOptimize(call.cprops.data());
    }
}
BENCHMARK(BM_UelImpactBracketed)->Arg(0)->Arg(1);

void BM_Solution3PE(benchmark::State &state) {
    const double a = 1130993286.8281338, b = 1 / 2.00739375e-9, c = 0.0, d = -7.999907620596252e-05 * b;
    double x1 = 0.0, x2 = 0.0, x3 = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&a);
        Solution3PE(&a, &b, &c, &d, &x1, &x2, &x3);
        benchmark::DoNotOptimize(x3);
    }
}
BENCHMARK(BM_Solution3PE);

}  // namespace
