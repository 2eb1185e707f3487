// The increment events of the analysis control: the end of an impact-step
// increment with 100 impactors integrated by Newmark's scheme, beside the same
// update written as a plain loop; and the start of a fatigue-step increment
// that takes the cycle count from a 100,000-line message file, beside a plain
// search of the same file for its last CYCLE line.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/shared_data.hpp"
#include "decl/datahandling.hpp"
#include "decl/errorhandling.hpp"
#include "decl/toplevel.hpp"

namespace {

using namespace kestro;

constexpr int kImpactors = 100;

std::string job_directory() {
    const auto dir = std::filesystem::temp_directory_path() / ("kestro_bench_control_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

void set_name(char (&field)[256], const std::string &text) {
    std::memset(field, ' ', sizeof field);
    text.copy(field, sizeof field);
}

void event(int32_t lop, int32_t kstep, int32_t kinc = 1) {
    const double time[2] = {0.0, 0.0}, dtime = 1e-4;
    const int32_t lrestart = 0;
    UEXTERNALDB_IOControl(&lop, &lrestart, time, &dtime, &kstep, &kinc, nullptr);
}

// Ends any analysis and starts one on a deck of the given text.
void start(const std::string &deck) {
    event(3, 1);
    const std::string dir = job_directory();
    std::ofstream(dir + "/job.inp") << deck;
    set_name(jobdata::jobfilepath, dir + "/job");
    set_name(jobdata::joboutdir, dir);
    event(0, 1);
    int32_t cleared = 0;
    const kestro_logical1 yes = 1;
    errorhandling::rsxerr(&cleared, &yes);
}

void BM_ImpactIncrementEnd(benchmark::State &state) {
    std::string deck = "*Step, name=Drop_ZRV_IMPACT\n";
    for (int i = 1; i <= kImpactors; ++i)
        deck += "*Instance, name=B" + std::to_string(i) + "_ZRV_SENSORELEMENT\n 0, 0, " + std::to_string(i) + "\n";
    start(deck);
    for (int i = 1; i <= kImpactors; ++i) {
        double *c = &impactdata::cprops(1, i);
        c[0] = 10.0 + i;  // contact force
        c[6] = 2.0;       // mass; Newmark with force weighting
        c[7] = -0.05;
        c[8] = 0.25;
        c[9] = 0.5;
    }
    for (auto _ : state) {
        event(2, 1);
        benchmark::DoNotOptimize(impactdata::cprops.ptr());
    }
    state.SetItemsProcessed(state.iterations() * kImpactors);
    event(3, 1);
}
BENCHMARK(BM_ImpactIncrementEnd);

// The same motion and moving average on a plain table.
void BM_ImpactIncrementEndPlainPeer(benchmark::State &state) {
    std::vector<std::array<double, 20>> cprops(kImpactors);
    std::vector<std::array<double, 5>> window(kImpactors);
    std::vector<int> held(kImpactors, 0);
    for (int i = 0; i < kImpactors; ++i) cprops[i] = {10.0 + i, 0, 0, 0, 0, 9.80665, 2.0, -0.05, 0.25, 0.5};
    const double dt = 1e-4, g = 9.80665;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cprops.data());
        for (int i = 0; i < kImpactors; ++i) {
            double *c = cprops[i].data();
            const double f = c[0], m = c[6], u = c[3], v = c[4], a = c[5], al = c[7], be = c[8], ga = c[9];
            const double a1 = g - ((1.0 + al) * f - al * c[10]) / m;
            c[5] = a1;
            c[4] = v + dt * ((1.0 - ga) * a + ga * a1);
            c[3] = u + dt * v + dt * dt * ((0.5 - be) * a + be * a1);
            c[14] = std::max(c[2], c[14]);
            c[13] = std::max(f, c[13]);
            c[10] = f;
            c[11] = c[1];
            c[12] = 0.0;
            double *w = window[i].data();
            if (held[i] < 5) {
                w[held[i]++] = f;
            } else {
                std::copy(w + 1, w + 5, w);
                w[4] = f;
            }
            double sum = 0.0;
            for (int k = 0; k < held[i]; ++k) sum += w[k];
            if (sum / held[i] > f && held[i] == 5) c[15] = 1.0;
        }
        benchmark::DoNotOptimize(cprops.data());
    }
    state.SetItemsProcessed(state.iterations() * kImpactors);
}
BENCHMARK(BM_ImpactIncrementEndPlainPeer);

// A message file of 100,000 lines with a CYCLE line every 1,000.
std::string message_file() {
    const std::string path = job_directory() + "/job.msg";
    std::ofstream out(path);
    for (int k = 1; k <= 100000; ++k) {
        if (k % 1000 == 0)
            out << " CYCLE " << k << " COMPLETED\n";
        else
            out << " INCREMENT " << k << " STARTS. ATTEMPT NUMBER  1, TIME INCREMENT  1.000E-04\n";
    }
    return path;
}

void BM_FatigueIncrementStart(benchmark::State &state) {
    start("*Step, name=Load_ZRV_FATIGUE\n");
    message_file();
    shokriehdata::cycleprops.drop();
    shokriehdata::cycleprops.create(3, 1);
    shokriehdata::cycleprops(3, 1) = 5.0;
    shokriehdata::cycles.drop();
    shokriehdata::cycles.create(1, 1);
    for (auto _ : state) {
        event(1, 1);
        benchmark::DoNotOptimize(shokriehdata::cycles(1, 1));
    }
    if (shokriehdata::cycles(1, 1) != 100000.0) state.SkipWithError("wrong cycle count");
    event(3, 1);
}
BENCHMARK(BM_FatigueIncrementStart)->Unit(benchmark::kMillisecond);

void BM_FatigueIncrementStartPlainPeer(benchmark::State &state) {
    const std::string path = message_file();
    double count = 0.0;
    for (auto _ : state) {
        std::ifstream in(path);
        std::string line, last;
        while (std::getline(in, line))
            if (line.compare(0, 6, " CYCLE") == 0) last = line;
        count = std::strtod(last.c_str() + 6, nullptr);
        benchmark::DoNotOptimize(count);
    }
    if (count != 100000.0) state.SkipWithError("wrong cycle count");
}
BENCHMARK(BM_FatigueIncrementStartPlainPeer)->Unit(benchmark::kMillisecond);

}  // namespace
