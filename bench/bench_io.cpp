// Keyword files: the id of a name, parsed per material call, and measuring
// and reading a large data block beside a plain two-pass strtod scan of the
// same text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/units.hpp"
#include "decl/iohandling.hpp"

namespace {

void BM_GetXidFromString(benchmark::State &state) {
    std::string name = "wing_upper_skin_panel_region_12_ply_group_outer_l@3@_s@12@_m@41@";
    name.resize(80, ' ');
    const int32_t ls = 80, notfound = -1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(name.data());
        int32_t id = kestro::iohandling::getxidfromstring(name.data(), &ls, "s", &notfound, name.size(), 1);
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_GetXidFromString);

constexpr int kLines = 100000;

const std::string &block_text() {
    static const std::string text = [] {
        std::string t;
        char line[160];
        for (int i = 0; i < kLines; ++i) {
            std::snprintf(line, sizeof line, " %.6f, %.6e, %.3f, %d., %.9f, %.4e\n", i * 0.001, i * 1.5e-3, -i * 0.25,
                          i, 1.0 / (i + 1), 7.0e5 - i);
            t += line;
        }
        return t;
    }();
    return text;
}

void BM_ReadDataBlock(benchmark::State &state) {
    const std::string path = "/tmp/kestro_bench_block_" + std::to_string(getpid()) + ".txt";
    std::ofstream(path) << "*DATA\n" << block_text() << "*END\n";
    const int unit = 41;
    kestro::units::open(unit, path, kestro::units::Access::read);
    std::vector<double> values(6 * kLines);
    const int32_t n = static_cast<int32_t>(values.size()), ls = 2;
    for (auto _ : state) {
        kestro::units::rewind(unit);
        std::string_view key;
        kestro::units::read_record(unit, &key);
        const int32_t count = kestro::iohandling::getsizeofdata(&unit, "*+", &ls, 2);
        kestro::iohandling::real_getdatapoints(&unit, values.data(), &n);
        benchmark::DoNotOptimize(count);
        benchmark::DoNotOptimize(values.data());
    }
    kestro::units::close(unit);
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * 6 * kLines);
}
BENCHMARK(BM_ReadDataBlock)->Unit(benchmark::kMillisecond);

// The baseline: count the values with strtod, then read them with strtod.
void BM_StrtodTwoPass(benchmark::State &state) {
    const std::string &text = block_text();
    std::vector<double> values(6 * kLines);
    const auto scan = [&text](auto take) {
        const char *p = text.c_str();
        for (;;) {
            while (*p == ' ' || *p == ',' || *p == '\n') ++p;
            if (*p == '\0') return;
            char *end = nullptr;
            const double v = std::strtod(p, &end);
            take(v);
            p = end;
        }
    };
    for (auto _ : state) {
        std::size_t count = 0;
        scan([&count](double) { ++count; });
        std::size_t i = 0;
        scan([&](double v) { values[i++] = v; });
        benchmark::DoNotOptimize(count);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * 6 * kLines);
}
BENCHMARK(BM_StrtodTwoPass)->Unit(benchmark::kMillisecond);

}  // namespace
