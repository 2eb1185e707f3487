// Unique appends to a growable list: each append asks whether the value is
// held already, so the cost per append must not grow with the list.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "core/shared_data.hpp"

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

namespace {

// range(0) distinct integers appended one at a time (uniflag 1, default step):
// the time per append must not grow with the list.
void BM_ListDistinctAppends(benchmark::State &state) {
    const int32_t listid = 1, uniflag = 1;
    const auto count = static_cast<int32_t>(state.range(0));
    release_list();
    for (auto _ : state) {
        int32_t iresult = 0;
        for (int32_t v = 0; v < count; ++v) iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
        state.PauseTiming();
        release_list();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ListDistinctAppends)->Arg(1000)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);

// The peer: a hash set for the membership test and a vector for the values.
void BM_SetAndVectorBaseline(benchmark::State &state) {
    const auto count = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        std::unordered_set<int32_t> held;
        std::vector<int32_t> values;
        for (int32_t v = 0; v < count; ++v)
            if (held.insert(v).second) values.push_back(v);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SetAndVectorBaseline)->Arg(1000)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond);

// 1,000 distinct appends to a new list, and its release, after a list of a
// million entries was released: as fast as in a fresh process (the peer is
// BM_SetAndVectorBaseline/1000).
void BM_ListAppendsAfterALargeList(benchmark::State &state) {
    const int32_t listid = 1, uniflag = 1;
    release_list();
    int32_t iresult = 0;
    for (int32_t v = 0; v < 1000000; ++v) iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
    release_list();
    for (auto _ : state) {
        for (int32_t v = 0; v < 1000; ++v) iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
        release_list();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ListAppendsAfterALargeList)->Unit(benchmark::kMicrosecond);

// Appends to a list of 100,000 entries after a caller got at another shared
// array (a numpy view of it, say): the list's index stays valid.
void BM_ListAppendAfterAccessToAnotherArray(benchmark::State &state) {
    const int32_t listid = 1, uniflag = 1;
    release_list();
    int32_t iresult = 0, v = 0;
    for (; v < 100000; ++v) iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
    int64_t one = 1;
    kestro_array_create(&kestro::listhandling::dynintlist2, &one);
    for (auto _ : state) {
        kestro_array_note_external_access(&kestro::listhandling::dynintlist2);
        iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
        ++v;
    }
    kestro_array_drop(&kestro::listhandling::dynintlist2);
    release_list();
}
BENCHMARK(BM_ListAppendAfterAccessToAnotherArray)->Unit(benchmark::kMicrosecond);

// Appends to a list of 100,000 entries whose storage a caller holds (a numpy
// view that may be written at any time): a checksum of the entries, not a new
// index, tells that it was not written.
void BM_ListAppendWhileAViewIsHeld(benchmark::State &state) {
    const int32_t listid = 1, uniflag = 1;
    release_list();
    int32_t iresult = 0, v = 0;
    for (; v < 100000; ++v) iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
    void *held = kestro::listhandling::dynintlist1.data;
    kestro_array_retain(held);
    kestro_array_note_external_access(&kestro::listhandling::dynintlist1);
    for (auto _ : state) {
        iAppendScalar2List(&listid, &v, &uniflag, &iresult, nullptr, nullptr);
        ++v;
    }
    kestro_array_release(held);
    release_list();
}
BENCHMARK(BM_ListAppendWhileAViewIsHeld)->Unit(benchmark::kMicrosecond);

}  // namespace
