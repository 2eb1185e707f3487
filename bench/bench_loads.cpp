// The load and amplitude hooks and the auxiliary solver hooks, through their
// exported symbols as a solver calls them: the point force with its code
// given, the edge load of two impactors, the Hertz pressure of one impactor on
// a model of 100,000 elements, a 10-row amplitude, the characteristic lengths
// of a block of bricks and of shells, and the node motions of a block of 1,000
// nodes beside the distribution they are handed to.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/datahandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/sldcollection.hpp"
#include "decl/toplevel.hpp"

namespace {

using namespace kestro;

constexpr double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void release() {
    int32_t status = 0;
    datahandling::deallocall(&status);
}

struct Name {
    explicit Name(const char *text) {
        std::memset(chars, ' ', sizeof chars);
        std::memcpy(chars, text, std::strlen(text));
    }
    char chars[80];
};

void BM_cload(benchmark::State &state) {
    const Name name("IMPACTOR_1_POINT_SYMX");
    double f = 0.0, ldflag = 1.0, force = 1500.0;
    for (auto _ : state) {
        cload(&f, &ldflag, &force, name.chars);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_cload);

void BM_deload(benchmark::State &state) {
    const Name name("EDGE_1_2_SYMX");
    double cprops[40] = {10, 0}, dprops[24] = {}, alpha = 0.0, t_user[3];
    cprops[20] = 6;
    cprops[17] = 2.5;
    cprops[37] = 1.5;
    const int32_t kstep = 2, kinc = 1, noel = 1, npt = 1, jltyp = 0, nimp = 2;
    const double time[2] = {0, 0}, coords[3] = {0, 0, 0};
    for (auto _ : state) {
        deload(&alpha, t_user, &kstep, &kinc, time, &noel, &npt, coords, kIdentity, &jltyp, name.chars, cprops, dprops,
               &nimp);
        benchmark::DoNotOptimize(alpha);
    }
}
BENCHMARK(BM_deload);

void BM_dsload_Hertz(benchmark::State &state) {
    release();
    const int32_t elements = 100000;
    elementdata::elemlist.create(elements);
    elementdata::elemkind.create(elements);
    for (int32_t e = 1; e <= elements; ++e) {
        elementdata::elemlist(e) = 2 * e + 1;
        elementdata::elemkind(e) = e % 2 == 0 ? 10 : 1;
    }
    jobdata::stepid.create(1);
    jobdata::stepid(1) = 3;
    const double cprops[20] = {900, 3}, coords[3] = {12, 21, 0};
    double dprops[12] = {5, 10, 20, 5}, alpha = 0.0, t_user[3];
    const int32_t kstep = 1, nimp = 1, elemid = 2 * 77777 + 1;
    for (auto _ : state) {
        dsload(&alpha, t_user, &kstep, coords, kIdentity, cprops, dprops, &nimp, &elemid);
        benchmark::DoNotOptimize(alpha);
    }
    release();
}
BENCHMARK(BM_dsload_Hertz);

void BM_CAMPLITUDE(benchmark::State &state) {
    double table[20], amp = 0.0;
    for (int i = 0; i < 10; ++i) {
        table[i] = i;
        table[10 + i] = i * i;
    }
    const int32_t ndata = 20;
    const double at = 4.5;
    for (auto _ : state) {
        CAMPLITUDE(&amp, table, &at, &ndata, nullptr);
        benchmark::DoNotOptimize(amp);
    }
}
BENCHMARK(BM_CAMPLITUDE);

// A block of `kBlock` equal elements of jeltype 6 (bricks) or 3 (shells).
constexpr int32_t kBlock = 136;

void BM_vucharlength_cel(benchmark::State &state) {
    const int32_t type = static_cast<int32_t>(state.range(0)), nodes = type == 6 ? 8 : 4, three = 3, zero = 0;
    const int32_t jeltype[3] = {type, 0, 0};
    const double brick[8][3] = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}, {0, 0, 4}, {2, 0, 4}, {2, 3, 4}, {0, 3, 4}};
    std::vector<double> coordnode(kBlock * nodes * 3), tdirect(kBlock * 9), lengths(kBlock * 3);
    for (int k = 0; k < kBlock; ++k) {
        for (int n = 0; n < nodes; ++n)
            for (int c = 0; c < 3; ++c) coordnode[k + kBlock * (n + nodes * c)] = brick[n][c] + 0.01 * k;
        for (int i = 0; i < 9; ++i) tdirect[k + kBlock * i] = kIdentity[i];
    }
    for (auto _ : state) {
        toplevel::vucharlength_cel(&kBlock, &zero, &zero, &three, &three, &nodes, &zero, &zero, &zero, &zero, jeltype,
                                   nullptr, nullptr, nullptr, nullptr, "", nullptr, coordnode.data(), tdirect.data(),
                                   nullptr, nullptr, nullptr, nullptr, lengths.data(), 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_vucharlength_cel)->Arg(6)->Arg(3);

// The plain peer: the length routines over the same elements, stored element by element.
void BM_vucharlength_peer(benchmark::State &state) {
    const bool bricks = state.range(0) == 6;
    const double brick[24] = {0, 0, 0, 2, 0, 0, 2, 3, 0, 0, 3, 0, 0, 0, 4, 2, 0, 4, 2, 3, 4, 0, 3, 4};
    std::vector<double> nodes(kBlock * 24), lengths(kBlock * 3);
    for (int k = 0; k < kBlock; ++k)
        for (int i = 0; i < 24; ++i) nodes[24 * k + i] = brick[i] + 0.01 * k;
    for (auto _ : state) {
        for (int k = 0; k < kBlock; ++k)
            if (bricks)
                GetHex8ElemLength(&lengths[3 * k], kIdentity, &nodes[24 * k]);
            else
                GetQuad4ElemLength(&lengths[3 * k], kIdentity, &nodes[24 * k]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_vucharlength_peer)->Arg(6)->Arg(3);

// A 100 x 100 grid of four-node shells, node (i, j) numbered j * 101 + i + 1;
// the block holds 1,000 of its nodes with six freedoms each.
struct Grid {
    static constexpr int32_t kSide = 100, kNodes = 1000, kFreedoms = 6;
    Grid() : ids(kNodes), u(kFreedoms * kNodes), translations(3 * kNodes), rotations(3 * kNodes) {
        release();
        const int32_t elements = kSide * kSide, slots = 4;
        int32_t status = 0;
        datahandling::allocateelementdata(&status, &slots, &elements);
        datahandling::allocatenodaldata(&status, &kFreedoms, &slots, &elements);
        for (int32_t b = 0; b < kSide; ++b)
            for (int32_t a = 0; a < kSide; ++a) {
                const int32_t e = b * kSide + a + 1, first = b * (kSide + 1) + a + 1;
                const int32_t corners[4] = {first, first + 1, first + kSide + 2, first + kSide + 1};
                for (int k = 0; k < 4; ++k) elementdata::elemnodes(k + 1, e) = corners[k];
                // Built frames: the global axes.
                for (int i = 1; i <= 3; ++i) {
                    nodaldata::tcurvmatrices(i, i, e) = 1.0;
                    for (int k = 1; k <= 8; ++k) nodaldata::tnodalmatrices(i, i, k, e) = 1.0;
                }
            }
        jobdata::stepid.create(2);
        jobdata::stepid(2) = 3;
        debugdata::nupdate = 5;
        for (int32_t k = 0; k < kNodes; ++k) {
            ids[k] = 3000 + k;
            for (int c = 0; c < kFreedoms; ++c) u[kFreedoms * k + c] = 0.001 * (k + c + 1);
            for (int c = 0; c < 3; ++c) {
                translations[3 * k + c] = u[kFreedoms * k + c];
                rotations[3 * k + c] = u[kFreedoms * k + 3 + c];
            }
        }
    }
    ~Grid() {
        debugdata::nupdate = 0;
        release();
    }
    void hook(int32_t kinc) {
        const int32_t nblock = kNodes, mdof = kFreedoms, ncoord = 3, kstep = 2;
        toplevel::vdisp_nullify(&nblock, &mdof, &ncoord, &kstep, &kinc, nullptr, nullptr, nullptr, nullptr, "",
                                nullptr, nullptr, ids.data(), nullptr, nullptr, u.data(), nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, 0);
    }
    std::vector<int32_t> ids;
    std::vector<double> u, translations, rotations;
};

void BM_vdisp_nullify(benchmark::State &state) {
    Grid grid;
    grid.hook(4);  // builds the node index
    for (auto _ : state) {
        grid.hook(4);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_vdisp_nullify)->Unit(benchmark::kMicrosecond);

// The plain peer: the same motions handed to the distribution at once.
void BM_vdisp_GetNodesMotion(benchmark::State &state) {
    Grid grid;
    const int32_t nblock = Grid::kNodes, three = 3;
    const double not_given = 0.0;
    GetNodesMotion(grid.translations.data(), grid.rotations.data(), grid.ids.data(), &three, &nblock, &not_given);
    for (auto _ : state) {
        GetNodesMotion(grid.translations.data(), grid.rotations.data(), grid.ids.data(), &three, &nblock, &not_given);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_vdisp_GetNodesMotion)->Unit(benchmark::kMicrosecond);

// An increment in which nothing passes.
void BM_vdisp_nullify_idle(benchmark::State &state) {
    Grid grid;
    for (auto _ : state) {
        grid.hook(5);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_vdisp_nullify_idle);

}  // namespace
