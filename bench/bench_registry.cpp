// The element registry on a model of 100,000 curved 8-node shells: the frames
// of every element, a block of node motions, and reading the model from the
// solver's listing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/datahandling.hpp"
#include "core/shared_data.hpp"
#include "decl/elementhandling.hpp"
#include "decl/iohandling.hpp"

namespace {

using namespace kestro;

// A cylinder of radius 50 meshed with nx x ny 8-node elements on a grid of
// (2 nx + 1) x (2 ny + 1) points, numbered row by row from 1.
constexpr int kNx = 400, kNy = 250;
constexpr int kColumns = 2 * kNx + 1;

int32_t point(int i, int j) { return j * kColumns + i + 1; }

void coordinates_of(int i, int j, double *x) {
    const double phi = 0.004 * i, radius = 50.0;
    x[0] = radius * std::sin(phi);
    x[1] = 0.1 * j;
    x[2] = radius * std::cos(phi);
}

// The node numbers of element (a, b) in the 8-node order.
std::array<int32_t, 8> element_nodes(int a, int b) {
    const int i = 2 * a, j = 2 * b;
    return {point(i, j),     point(i + 2, j),     point(i + 2, j + 2), point(i, j + 2),
            point(i + 1, j), point(i + 2, j + 1), point(i + 1, j + 2), point(i, j + 1)};
}

void release() {
    int32_t status = 0;
    datahandling::deallocall(&status);
}

// The model in the shared arrays, nodal coordinates global.
void build_model() {
    release();
    const int32_t elements = kNx * kNy, slots = 8, dof = 6;
    int32_t status = 0;
    datahandling::allocateelementdata(&status, &slots, &elements);
    datahandling::allocatenodaldata(&status, &dof, &slots, &elements);
    elementdata::nelem = elements;
    elementdata::elemreforientation.fill(-1.0);
    for (int b = 0; b < kNy; ++b)
        for (int a = 0; a < kNx; ++a) {
            const int64_t e = int64_t{b} * kNx + a + 1;
            elementdata::elemlist(e) = static_cast<int32_t>(e);
            elementdata::elemkind(e) = 4;
            const auto nodes = element_nodes(a, b);
            for (int k = 0; k < 8; ++k) {
                elementdata::elemnodes(k + 1, e) = nodes[k];
                const int32_t p = nodes[k] - 1;
                coordinates_of(p % kColumns, p / kColumns, &nodaldata::nodalcoords(1, k + 1, e));
            }
        }
}

void BM_GetNodeReferenceData(benchmark::State &state) {
    build_model();
    const std::vector<double> global(nodaldata::nodalcoords.span().begin(), nodaldata::nodalcoords.span().end());
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(global.begin(), global.end(), nodaldata::nodalcoords.span().begin());
        state.ResumeTiming();
        int32_t lop = 1;
        GetNodeReferenceData(&lop, nullptr);
        benchmark::DoNotOptimize(lop);
    }
    release();
}
BENCHMARK(BM_GetNodeReferenceData)->Unit(benchmark::kMillisecond);

void BM_GetNodesMotion(benchmark::State &state) {
    build_model();
    int32_t lop = 1;
    GetNodeReferenceData(&lop, nullptr);
    const int32_t nblock = 1000, ndim = 3;
    std::vector<int32_t> nodes(nblock);
    std::vector<double> translations(3 * nblock), rotations(3 * nblock);
    for (int32_t k = 0; k < nblock; ++k) {
        nodes[k] = 5000 + k;
        for (int c = 0; c < 3; ++c) translations[3 * k + c] = rotations[3 * k + c] = 0.001 * (k + c);
    }
    GetNodesMotion(translations.data(), rotations.data(), nodes.data(), &ndim, &nblock, nullptr);  // builds the index
    for (auto _ : state) {
        GetNodesMotion(translations.data(), rotations.data(), nodes.data(), &ndim, &nblock, nullptr);
        benchmark::ClobberMemory();
    }
    release();
}
BENCHMARK(BM_GetNodesMotion)->Unit(benchmark::kMicrosecond);

void BM_ReadListing(benchmark::State &state) {
    const std::string path = (std::filesystem::temp_directory_path() / "kestro_bench_listing.dat").string();
    {
        std::FILE *f = std::fopen(path.c_str(), "w");
        std::fprintf(f, "   model listing\n\n            E L E M E N T   D E F I N I T I O N S\n\n");
        for (int b = 0; b < kNy; ++b)
            for (int a = 0; a < kNx; ++a) {
                std::fprintf(f, "%10d S8R            1", b * kNx + a + 1);
                for (int32_t n : element_nodes(a, b)) std::fprintf(f, " %8d", n);
                std::fprintf(f, "\n");
            }
        std::fprintf(f, "\n            N O D E   D E F I N I T I O N S\n\n");
        for (int j = 0; j <= 2 * kNy; ++j)
            for (int i = 0; i < kColumns; ++i) {
                double x[3];
                coordinates_of(i, j, x);
                std::fprintf(f, "%10d %15.6E %15.6E %15.6E\n", point(i, j), x[0], x[1], x[2]);
            }
        std::fprintf(f, "\n end of listing\n");
        std::fclose(f);
    }
    for (auto _ : state) {
        state.PauseTiming();
        release();
        state.ResumeTiming();
        iohandling::getabqdatafromfile(path.data(), path.size());
        benchmark::DoNotOptimize(elementdata::nelem);
    }
    release();
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadListing)->Unit(benchmark::kMillisecond);

}  // namespace
