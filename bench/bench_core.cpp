// Costs of the core operations that the analysis routines sit on.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"

namespace {

using namespace kestro;

void clear_record() {
    int32_t reset = 0;
    const int8_t yes = 1;
    errorhandling::rsxerr(&reset, &yes);
}

// Reading material constants per ply and section through 1-based indexing.
void BM_IndexedSum(benchmark::State &state) {
    auto &p = materialdata::peprops;
    p.create(9, 40, 10);
    for (int64_t n = 0; n < p.size(); ++n) p.ptr()[n] = static_cast<double>(n % 13);
    for (auto _ : state) {
        double sum = 0.0;
        for (int sec = 1; sec <= 10; ++sec)
            for (int ply = 1; ply <= 40; ++ply)
                for (int i = 1; i <= 9; ++i) sum += p(i, ply, sec);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * p.size());
    p.drop();
}
BENCHMARK(BM_IndexedSum);

// Reporting bad input while an error is already recorded: the common case in
// loops over elements, which must return at once without touching the record.
void BM_RecordErrorWhenRecorded(benchmark::State &state) {
    clear_record();
    record_error(-1, "first error", {1, 2}, {3.0}, {"peprops"});
    void *const before = errorhandling::errintv.data;
    for (auto _ : state) record_error(-2, "ignored", {4, 5, 6}, {7.0}, {"psprops", "pfprops"});
    if (errorhandling::errintv.data != before || errorhandling::errstat != -1)
        state.SkipWithError("the recorded error was replaced");
    clear_record();
}
BENCHMARK(BM_RecordErrorWhenRecorded);

// A full record-and-clear cycle: three array creations and three drops.
void BM_RecordAndReset(benchmark::State &state) {
    clear_record();
    std::string msg(80, ' ');
    msg.replace(0, 13, "bad ply count");
    const int32_t lop = -1, nint = 2, nreal = 1, nrows = 8, ncols = 1;
    const int32_t ints[] = {3, 4};
    const double reals[] = {0.25};
    const int32_t names[] = {'p', 'e', 'p', 'r', 'o', 'p', 's', ' '};
    int32_t reset = 0;
    const int8_t yes = 1;
    for (auto _ : state) {
        errorhandling::xerr(&lop, msg.data(), ints, &nint, reals, &nreal, names, &nrows, &ncols, nullptr, msg.size());
        errorhandling::rsxerr(&reset, &yes);
        benchmark::DoNotOptimize(reset);
    }
}
BENCHMARK(BM_RecordAndReset);

}  // namespace
