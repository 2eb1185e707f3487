// The curing resin through its exported symbols, as a solver calls it: the
// Prony material in its viscoelastic range (material name with layer and
// section ids, a cure table with two shift sets) with one and ten terms per
// series, and the heat hook's cure step from alpha 0.3 at 450 K.  Beside
// them their plain peers: the same relaxation updates and stiffness product
// written out for fixed shift factors, and the rate law evaluated once.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/lamina.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using kestro_bench::exported;

const std::array<double, 5> kModuli{1000, 400, 600, 300, 500};

// The cure table of one ply and section: kinetics, reachable degree, glass
// transition and two shift sets.
struct CureTable {
    CureTable() {
        auto &t = kestro::materialdata::cuprops;
        t.create(8, 8, 1, 1);
        t.fill(kestro::kAbsentReal);
        const std::array<double, 6> kinetics{1e5, 6e4, 1e6, 6e4, 0.5, 1.5};
        const std::array<double, 8> shift{17.44, 51.6, 2e4, 10, 10, 40, 1e4, 5};
        t(1, 1, 1, 1) = 0.2;
        t(1, 2, 1, 1) = 500;
        t(1, 5, 1, 1) = 0.05, t(2, 5, 1, 1) = 5;
        t(1, 6, 1, 1) = 20, t(2, 6, 1, 1) = 200, t(3, 6, 1, 1) = 0.5;
        for (int i = 0; i < 6; ++i) t(i + 1, 7, 1, 1) = kinetics[i];
        for (int i = 0; i < 8; ++i) t(i + 1, 8, 1, 1) = shift[i];
    }
    ~CureTable() { kestro::materialdata::cuprops.drop(); }
};

// The properties of `terms` terms per series.
std::vector<double> props_of(int terms) {
    std::vector<double> p(5, terms);
    p.insert(p.end(), kModuli.begin(), kModuli.end());
    for (int s = 0; s < 5; ++s)
        for (int k = 0; k < terms; ++k) {
            p.push_back(0.05 / terms * (s + 1));
            p.push_back(std::pow(10.0, k - 3));
        }
    return p;
}

void BM_UmatProny(benchmark::State &state) {
    const CureTable table;
    const std::vector<double> props = props_of(static_cast<int>(state.range(0)));
    const int32_t three = 3, six = 6, one = 1, nstatv = 510, nprops = static_cast<int32_t>(props.size());
    const int32_t jstep[4] = {1, 1, 1, 0};
    std::string name(80, ' ');
    name.replace(0, 15, "RESIN_L@1@_S@1@");
    const double stran[6] = {1e-3, 0, 0, 0, 0, 0}, dstran[6] = {1e-4, -2e-5, 3e-5, 1e-5, -5e-6, 2e-5};
    const double time[2] = {0, 1}, dtime = 0.1, temp = 420, zero = 0, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<double> statev(510, 0.0);
    statev[2] = 400;
    double stress[6] = {}, ddsdde[36], sse = 0, spd = 0, scd = 0, rpl = 0, ddsddt[6], drplde[6], drpldt = 0;
    double pnewdt = 1;
    auto *call = exported(&kestro::toplevel::umat_prony);
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress);
        call(stress, statev.data(), ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde, &drpldt, stran, dstran, time,
             &dtime, &temp, &zero, &zero, &zero, name.data(), &three, &three, &six, &nstatv, props.data(), &nprops,
             eye, eye, &pnewdt, &zero, eye, eye, &one, &one, &one, &one, jstep, &one, name.size());
        benchmark::DoNotOptimize(ddsdde);
    }
}
BENCHMARK(BM_UmatProny)->Arg(1)->Arg(10);

// The peer: 13 families of relaxation updates at fixed shift factors, and
// the 6 x 6 stiffness product.
void BM_PlainProny(benchmark::State &state) {
    const int terms = static_cast<int>(state.range(0));
    const std::vector<double> props = props_of(terms);
    std::vector<double> h(static_cast<std::size_t>(13 * terms), 0.0);
    const int series[13] = {0, 1, 1, 1, 2, 3, 1, 3, 2, 4, 4, 2, 3};
    const double strain[6] = {1.1e-3, -2e-5, 3e-5, 1e-5, -5e-6, 2e-5}, a = 0.5, dt = 0.1;
    double c[36] = {}, stress[6] = {};
    for (int i = 0; i < 6; ++i) c[i * 7] = kModuli[static_cast<std::size_t>(i % 5)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(h.data());
        for (int i = 0; i < 6; ++i) {
            double s = 0;
            for (int j = 0; j < 6; ++j) s += c[j * 6 + i] * strain[j];
            stress[i] = s;
        }
        std::size_t at = 0;
        for (int f = 0; f < 13; ++f) {
            const double *pairs = props.data() + 10 + 2 * terms * series[f];
            for (int k = 0; k < terms; ++k, ++at) {
                const double before = h[at];
                h[at] = (before * pairs[2 * k + 1] * a + kModuli[series[f]] * dt * pairs[2 * k] * strain[f % 6]) /
                        (pairs[2 * k + 1] * a + dt);
                stress[f % 6] -= h[at] - before;
            }
        }
        benchmark::DoNotOptimize(stress);
    }
}
BENCHMARK(BM_PlainProny)->Arg(1)->Arg(10);

void BM_HetvalProny(benchmark::State &state) {
    const CureTable table;
    std::string name(80, ' ');
    name.replace(0, 15, "RESIN_L@1@_S@1@");
    const double temp[2] = {450, 0}, time[2] = {0, 1}, dtime = 1, zero = 0;
    double statev[4] = {}, flux[2] = {};
    auto *call = exported(&kestro::toplevel::hetval_prony);
    for (auto _ : state) {
        statev[0] = 0.3, statev[3] = 0.0;
        benchmark::DoNotOptimize(statev);
        call(name.data(), temp, time, &dtime, statev, flux, &zero, &zero, name.size());
        benchmark::DoNotOptimize(flux);
    }
}
BENCHMARK(BM_HetvalProny);

// The peer: the rate law once (two exponentials, two powers).
void BM_CureRateOnce(benchmark::State &state) {
    const double curvefit[6] = {1e5, 6e4, 1e6, 6e4, 0.5, 1.5}, t = 450, degree = 0.3, degmax = 0.979;
    const int32_t nc = 6;
    auto *call = exported(&CureRate);
    for (auto _ : state) {
        benchmark::DoNotOptimize(curvefit);
        benchmark::DoNotOptimize(call(curvefit, &t, &degree, &degmax, &nc));
    }
}
BENCHMARK(BM_CureRateOnce);

}  // namespace
