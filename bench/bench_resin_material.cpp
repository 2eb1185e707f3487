// The resin material point through its exported symbol, 6 components: model
// 1 with the "_GPHA" criterion outside fatigue (its tangent by forward
// differences), model 7 (orthotropic moduli from two calibration tables), and
// an increment that completes a load cycle of a fatigue step (model 1; the
// state is put back to before the cycle at every pass), beside a plain
// isotropic secant material point of the same argument list.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"
#include "mechanics/resin.hpp"
#include "solver/convention.hpp"

namespace {

using kestro_bench::exported;
namespace md = kestro::materialdata;

// stress = C (stran + dstran), ddsdde = C of E 3000, nu 0.35.
void plain(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) {
    const kestro::solver::UmatPoint point{{KESTRO_UMAT_ARGUMENTS}};
    double e[6];
    for (int j = 0; j < 6; ++j) e[j] = point.strain()[j] + point.increment()[j];
    kestro::resin::cubic_law(kestro::resin::isotropic(3000.0, 0.35), e, point.ntens(), stress, ddsdde);
}

// The UMAT arguments of one resin point (R block, uniaxial stress 30).
struct Point {
    int32_t ndi = 3, nshr = 3, ntens = 6, nstatv = 22, nprops = 11, one = 1, kinc = 2, jstep[4] = {1, 1, 1, 0};
    std::array<double, 6> stress{}, stran{}, dstran{0.01, -0.0035, -0.0035, 0, 0, 0}, ddsddt{}, drplde{};
    std::array<double, 36> ddsdde{};
    std::array<double, 22> statev{1, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0};
    double props[11] = {20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1};
    double sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0, time[2] = {0.5, 0.5}, scalar = 0.1, pnewdt = 1;
    double predef[1] = {}, coords[3] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    char cmname[80];

    explicit Point(const char *name) {
        std::memset(cmname, ' ', sizeof cmname);
        std::memcpy(cmname, name, std::strlen(name));
    }
    template <class F>
    void call(F *f) {
        f(stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, ddsddt.data(), drplde.data(), &drpldt,
          stran.data(), dstran.data(), time, &scalar, &scalar, &scalar, predef, predef, cmname, &ndi, &nshr, &ntens,
          &nstatv, props, &nprops, coords, eye, &pnewdt, &scalar, eye, eye, &one, &one, &one, &one, jstep, &kinc,
          sizeof cmname);
    }
};

// A calibration table of one row through (0, y0) and (0.01, y1).
void two_points(kestro::Allocatable<double, 3> &table, double y0, double y1) {
    table.drop();
    table.create(1, 2, 2);
    table(1, 1, 1) = 0.0, table(1, 2, 1) = 0.01, table(1, 1, 2) = y0, table(1, 2, 2) = y1;
}

// Calls f at the point for as long as the benchmark asks; `restore` puts
// the state back before each call.
template <class F>
void time_calls(benchmark::State &state, F *f, Point &p, bool restore = false) {
    const auto before = p.statev;
    for (auto _ : state) {
        if (restore) p.statev = before;
        benchmark::DoNotOptimize(p.statev.data());
        p.call(f);
        benchmark::DoNotOptimize(p.stress.data());
    }
}

void BM_PlainIsotropicPoint(benchmark::State &state) {
    Point p("PLAIN");
    time_calls(state, exported(&plain), p);
}
BENCHMARK(BM_PlainIsotropicPoint);

void BM_ResinIsotropicHa(benchmark::State &state) {
    md::modelid = 1;
    Point p("RESINMAT1_GPHA");
    time_calls(state, exported(&kestro::toplevel::umat_resin), p);
}
BENCHMARK(BM_ResinIsotropicHa);

void BM_ResinOrthotropic(benchmark::State &state) {
    md::modelid = 7;
    two_points(md::normalprops, 3200, 2400);
    two_points(md::shearprops, 1150, 900);
    Point p("RESINMAT1");
    p.dstran = {0.004, -0.001, 0.0005, 0.002, 0, 0.001};
    time_calls(state, exported(&kestro::toplevel::umat_resin), p);
    md::normalprops.drop();
    md::shearprops.drop();
}
BENCHMARK(BM_ResinOrthotropic);

void BM_ResinCompletedCycle(benchmark::State &state) {
    md::modelid = 1;
    auto &column = kestro::shokriehdata::cycleprops;
    column.drop();
    column.create(10, 1);
    const double rows[10] = {0, 1, 1, 1, 4, 1, 1, 1000, 100, 1e6};
    for (int64_t r = 1; r <= 10; ++r) column(r, 1) = rows[r - 1];
    kestro::jobdata::nsteps = 1;
    Point p("RESINMAT1");
    p.time[0] = p.time[1] = 1.0;
    p.statev[7] = 0.6;  // the cycle's largest eq_stress / xt so far
    time_calls(state, exported(&kestro::toplevel::umat_resin), p, true);
    column.drop();
}
BENCHMARK(BM_ResinCompletedCycle);

}  // namespace
