// Unique appends to a growable list: each append asks whether the value is
// held already, so the cost per append must not grow with the list.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "decl/listhandling.hpp"

namespace {

constexpr int32_t kAppends = 100000;

void release_list() {
    const int32_t listid = 1, ifflag = 0;
    int32_t ierror = 0;
    DeallocateList(&listid, &ifflag, &ierror);
}

// 100,000 distinct integers with uniflag 1; range(0) is allocinc, 0 for the
// default step.
void BM_ListUniqueIntegerAppends(benchmark::State &state) {
    const int32_t listid = 1, uniflag = 1;
    const auto step = static_cast<int32_t>(state.range(0));
    const int32_t *allocinc = step > 0 ? &step : nullptr;
    release_list();
    for (auto _ : state) {
        int32_t iresult = 0;
        int32_t appended = 0;
        for (int32_t v = 0; v < kAppends; ++v) {
            iAppendScalar2List(&listid, &v, &uniflag, &iresult, allocinc, nullptr);
            appended += iresult;
        }
        if (appended != kAppends) state.SkipWithError("a distinct value was refused");
        state.PauseTiming();
        release_list();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(BM_ListUniqueIntegerAppends)->Arg(0)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
