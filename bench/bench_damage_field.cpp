// The damage field driver at one point of a fatigue step through its
// exported symbol: every criterion id 0 and no stored stresses; and the top
// of ply 1 of a three-ply section with stored stresses and all five modes
// (LaRC05 fibre and matrix), beside the five drivers called directly on the
// same stress.  The explicit hook on a block of 16 points, beside its points'
// gen_damage calls with their tables made beforehand.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/datahandling.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/failure.hpp"
#include "decl/toplevel.hpp"
#include "fixtures.hpp"

namespace {

using namespace kestro;
using kestro_bench::exported;

constexpr std::array<double, 6> kNye{-300.0, 30.0, 10.0, 40.0, 8.0, 12.0};

// One section of three plies with the criteria ids `ids` at every ply; with
// `stored`, element 11 with three section points per ply and its stored
// stresses, every row kNye.
void job(std::array<int32_t, 5> ids, bool stored) {
    using namespace materialdata;
    sectiondata::nplies = 3, sectiondata::nsec = 1;
    pfflags.create(5, 3, 1), peflags.create(5, 3, 1), peprops.create(9, 3, 1), psprops.create(10, 3, 1);
    pelimits.create(12, 3, 1), pdprops.create(5, 3, 1);
    peflags.fill(1), pelimits.fill(-1.0), pdprops.fill(kestro::kAbsentReal);
    const double e[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100};
    const double x[10] = {1500, 50, 50, 1200, 200, 200, 80, 80, 70, 90};
    for (int p = 1; p <= 3; ++p) {
        for (int m = 0; m < 5; ++m) pfflags(m + 1, p, 1) = ids[m];
        for (int k = 0; k < 9; ++k) peprops(k + 1, p, 1) = e[k];
        for (int k = 0; k < 10; ++k) psprops(k + 1, p, 1) = x[k];
    }
    sectiondata::plyorientation.create(3, 1), sectiondata::plythickness.create(3, 1);
    sectiondata::plythickness.fill(0.2);
    if (!stored) return;
    elementdata::nelem = 1;
    elementdata::elemlist.create(1)[0] = 11;
    elementdata::elemkind.create(1);
    sectiondata::nsectionpoints.create(1)[0] = 3;
    sectiondata::sestress.create(6, 9, 4, 1);
    for (int r = 1; r <= 9; ++r)
        for (int c = 0; c < 6; ++c) sectiondata::sestress(c + 1, r, 1, 1) = kNye[c];
}

void release() {
    int32_t status = 0;
    datahandling::deallocall(&status);
    elementdata::nelem = 0;
}

// The arguments of gen_damage at one point; the block has its ply and section.
struct Point {
    std::array<double, 5> field{};
    std::array<double, 40> statev{};
    std::array<double, 16> table{};
    double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, celent = 0.5, time[2] = {}, dtime = 0.1, coord[3] = {};
    char cmname[80] = {};
    int32_t nfield = 5, nstatv = 40, noel = 11, npt = 1, layer = 1, kspt = 3, kstep = 2, kinc = 2;

    Point() { statev[20] = statev[21] = 1.0; }
    template <class F>
    void call(F *f, const double *with_table) {
        f(field.data(), statev.data(), eye, eye, &celent, time, &dtime, cmname, &nfield, &nstatv, &noel, &npt, &layer,
          &kspt, &kstep, &kinc, coord, with_table, sizeof cmname);
    }
};

constexpr std::array<int32_t, 5> kAllModes{1, 3, 3, 1, 3};

// gen_damage at one point of the job, no table.
void time_point(benchmark::State &state, std::array<int32_t, 5> ids, bool stored) {
    job(ids, stored);
    Point pt;
    auto *call = exported(&toplevel::gen_damage);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pt.statev.data());
        pt.call(call, nullptr);
        benchmark::DoNotOptimize(pt.field.data());
    }
    release();
}

void BM_GenDamageFatigueCriteriaOff(benchmark::State &state) { time_point(state, {}, false); }
BENCHMARK(BM_GenDamageFatigueCriteriaOff);

void BM_GenDamageFiveModes(benchmark::State &state) { time_point(state, kAllModes, true); }
BENCHMARK(BM_GenDamageFiveModes);

// The peer: the five drivers on the same stress, ply 1 of the same tables.
void BM_FiveDrivers(benchmark::State &state) {
    using namespace materialdata;
    job(kAllModes, true);
    const int32_t p = 1, q = 1, plies = 3, sections = 1, ne = 9, ns = 10, nd = 5;
    const double *pe = peprops.ptr(), *ps = psprops.ptr(), *po = sectiondata::plyorientation.ptr();
    double f[5], r[5];
    for (auto _ : state) {
        benchmark::DoNotOptimize(kNye.data());
        double angle = -1.0;
        failure::generalfailure(&f[0], &r[0], kNye.data(), ps, po, &p, &q, &kAllModes[0], &plies, &sections, &ns);
        failure::fiberbreakage(&f[1], &r[1], kNye.data(), pe, ps, po, &p, &q, &kAllModes[1], &plies, &sections, &ne,
                               &ns);
        MatrixCracking(&f[2], &r[2], kNye.data(), pe, ps, pdprops.ptr(), po, &p, &q, &plies, &sections, &nd,
                       &kAllModes[2], &angle, nullptr, &ne, &ns);
        failure::delamination(&f[3], &r[3], &kNye[2], kNye.data(), kNye.data(), pe, ps, po,
                              sectiondata::plythickness.ptr(), &p, &q, &kAllModes[3], &plies, &sections, &ne, &ns);
        failure::corecrushing(&f[4], &r[4], kNye.data(), ps, po, &p, &q, &kAllModes[4], &plies, &sections, &ns);
        benchmark::DoNotOptimize(r);
    }
    release();
}
BENCHMARK(BM_FiveDrivers);

// A block of 16 points, every criterion id 0: the explicit hook, and its
// points' gen_damage calls (each point's state contiguous, tables made before).
constexpr int32_t kBlock = 16;

struct Block {
    int32_t nblock = kBlock, nstatev = 40, nfieldv = 5, nprops = 0, ndir = 3, nshr = 3, one = 1, kstep = 2;
    std::vector<int32_t> jelem = std::vector<int32_t>(kBlock, 11);
    std::vector<double> temp = std::vector<double>(kBlock), coord = std::vector<double>(3 * kBlock),
                        direct = std::vector<double>(9 * kBlock), length = std::vector<double>(3 * kBlock, 0.5),
                        stress = std::vector<double>(6 * kBlock), strain = std::vector<double>(6 * kBlock),
                        stateold = std::vector<double>(40 * kBlock), statenew = stateold,
                        field = std::vector<double>(5 * kBlock);
    double steptime = 0.5, dt = 0.1;
    char cmname[80] = {};

    Block() {
        for (int k = 0; k < kBlock; ++k) {
            stateold[20 * kBlock + k] = stateold[21 * kBlock + k] = 1.0;
            for (int c = 0; c < 6; ++c) stress[c * kBlock + k] = kNye[c];
            for (int d = 0; d < 3; ++d) direct[(4 * d) * kBlock + k] = 1.0;
        }
    }
};

void BM_VusdfldBlock(benchmark::State &state) {
    job({}, false);
    Block b;
    auto *call = exported(&toplevel::vusdfld_dmg);
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.stateold.data());
        call(&b.nblock, &b.nstatev, &b.nfieldv, &b.nprops, &b.ndir, &b.nshr, b.jelem.data(), &b.one, &b.one, &b.one,
             &b.kstep, b.temp.data(), &b.steptime, &b.steptime, &b.dt, b.cmname, b.coord.data(), b.direct.data(),
             b.direct.data(), b.length.data(), nullptr, b.stateold.data(), b.stress.data(), b.strain.data(),
             b.statenew.data(), b.field.data(), nullptr, sizeof b.cmname);
        benchmark::DoNotOptimize(b.statenew.data());
    }
    release();
}
BENCHMARK(BM_VusdfldBlock);

void BM_GenDamageBlockPoints(benchmark::State &state) {
    job({}, false);
    std::vector<Point> points(kBlock);
    for (auto &pt : points) {
        pt.table.fill(0.0);
        for (int c = 0; c < 6; ++c) pt.table[1 + c] = kNye[c];
        pt.table[13] = pt.table[14] = pt.table[15] = 0.5;
    }
    auto *call = exported(&toplevel::gen_damage);
    for (auto _ : state) {
        benchmark::DoNotOptimize(points.data());
        for (auto &pt : points) pt.call(call, pt.table.data());
        benchmark::DoNotOptimize(points.data());
    }
    release();
}
BENCHMARK(BM_GenDamageBlockPoints);

}  // namespace
