// Growable lists through their C face: growth, selectors out of range, free
// values other than the marker, copies, and long random sequences checked
// against a plain model that scans the list as the documented rules say.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "core/listhandling.hpp"
#include "decl/listhandling.hpp"
#include "shared_state.hpp"

namespace {

constexpr int32_t kMarker = std::numeric_limits<int32_t>::max();
constexpr double kRealMarker = std::numeric_limits<double>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kSentinel = -777;

// ---------------------------------------------------------------- one face for the three types

bool same(int32_t a, int32_t b) { return a == b; }
bool same(double a, double b) { return a == b; }
bool same(const kestro_complex &a, const kestro_complex &b) { return a.re == b.re && a.im == b.im; }

template <class T>
bool identical(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <class T>
struct Api;

template <>
struct Api<int32_t> {
    static constexpr int32_t ifflag = 0;
    static int32_t marker() { return kMarker; }
    static void scalar(int32_t id, int32_t v, int32_t uni, int32_t *res, const int32_t *inc, const int32_t *d) {
        iAppendScalar2List(&id, &v, &uni, res, inc, d);
    }
    static void array(int32_t id, const int32_t *a, int32_t n, int32_t uni, int32_t *res, const int32_t *inc,
                      const int32_t *d) {
        iAppendArray2List(&id, a, &n, &uni, res, inc, d);
    }
    static void copy(int32_t id, int32_t *c, int32_t n, int32_t *ierr) { iGetCopyOfList(&id, c, &n, ierr); }
    static void allocate(int32_t id, int32_t le, int32_t *ierr, const int32_t *def) {
        AllocateList(&id, &ifflag, &le, ierr, nullptr, nullptr, def);
    }
    static int32_t size(int32_t id, const int32_t *d) { return GetSizeOfList(&id, &ifflag, nullptr, nullptr, d); }
};

template <>
struct Api<double> {
    static constexpr int32_t ifflag = 1;
    static double marker() { return kRealMarker; }
    static void scalar(int32_t id, double v, int32_t uni, int32_t *res, const int32_t *inc, const double *d) {
        fAppendScalar2List(&id, &v, &uni, res, inc, d);
    }
    static void array(int32_t id, const double *a, int32_t n, int32_t uni, int32_t *res, const int32_t *inc,
                      const double *d) {
        fAppendArray2List(&id, a, &n, &uni, res, inc, d);
    }
    static void copy(int32_t id, double *c, int32_t n, int32_t *ierr) { fGetCopyOfList(&id, c, &n, ierr); }
    static void allocate(int32_t id, int32_t le, int32_t *ierr, const double *def) {
        AllocateList(&id, &ifflag, &le, ierr, nullptr, def, nullptr);
    }
    static int32_t size(int32_t id, const double *d) { return GetSizeOfList(&id, &ifflag, nullptr, d, nullptr); }
};

template <>
struct Api<kestro_complex> {
    using T = kestro_complex;
    static constexpr int32_t ifflag = 2;
    static T marker() { return {kRealMarker, kRealMarker}; }
    static void scalar(int32_t id, const T &v, int32_t uni, int32_t *res, const int32_t *inc, const T *d) {
        cAppendScalar2List(&id, &v, &uni, res, inc, d);
    }
    static void array(int32_t id, const T *a, int32_t n, int32_t uni, int32_t *res, const int32_t *inc, const T *d) {
        cAppendArray2List(&id, a, &n, &uni, res, inc, d);
    }
    static void copy(int32_t id, T *c, int32_t n, int32_t *ierr) { cGetCopyOfList(&id, c, &n, ierr); }
    static void allocate(int32_t id, int32_t le, int32_t *ierr, const T *def) {
        AllocateList(&id, &ifflag, &le, ierr, def, nullptr, nullptr);
    }
    static int32_t size(int32_t id, const T *d) { return GetSizeOfList(&id, &ifflag, d, nullptr, nullptr); }
};

const kestro_array &shared_list(int32_t id, int32_t ifflag) { return *kestro::listhandling::list_array(id, ifflag); }

template <class T>
int64_t capacity(int32_t id) {
    return shared_list(id, Api<T>::ifflag).extent[0];
}

// The whole list through GetCopyOfList.
template <class T>
std::vector<T> contents(int32_t id) {
    std::vector<T> out(static_cast<size_t>(capacity<T>(id)));
    int32_t ierr = kSentinel;
    Api<T>::copy(id, out.data(), static_cast<int32_t>(out.size()), &ierr);
    EXPECT_EQ(ierr, 0);
    return out;
}

// ---------------------------------------------------------------- the model

// The lists as the documented rules describe them, every question answered by
// scanning: no index, nothing remembered between calls.
template <class T>
struct Model {
    std::optional<std::vector<T>> lists[3];

    std::optional<std::vector<T>> &at(int32_t id) { return lists[id - 1]; }
    static int64_t step(const int32_t *inc) { return inc != nullptr ? std::max(*inc, 1) : 500; }
    static int64_t first(const std::vector<T> &x, const T &d) {
        for (size_t i = 0; i < x.size(); ++i)
            if (same(x[i], d)) return static_cast<int64_t>(i);
        return -1;
    }
    // The filled entries: those before the first marker.
    static int64_t filled(const std::vector<T> &x) {
        const int64_t p = first(x, Api<T>::marker());
        return p < 0 ? static_cast<int64_t>(x.size()) : p;
    }

    int32_t allocate(int32_t id, int32_t le, const T *def) {
        const int32_t ierr = at(id) ? KESTRO_LIST_EXISTS : 0;
        if (!at(id)) at(id).emplace(static_cast<size_t>(std::max(le, 0)));
        std::fill(at(id)->begin(), at(id)->end(), def != nullptr ? *def : Api<T>::marker());
        return ierr;
    }
    int32_t release(int32_t id) {
        const int32_t ierr = at(id) ? 0 : 1;
        at(id).reset();
        return ierr;
    }
    int32_t size(int32_t id, const T *d) {
        if (!at(id)) return -1;
        const int64_t p = first(*at(id), d != nullptr ? *d : Api<T>::marker());
        return static_cast<int32_t>(p < 0 ? static_cast<int64_t>(at(id)->size()) : p);
    }
    void scalar(int32_t id, const T &v, int32_t uni, int32_t *res, const int32_t *inc, const T *d) {
        const int64_t n = step(inc);
        if (!at(id)) at(id).emplace(static_cast<size_t>(n), Api<T>::marker());
        std::vector<T> &x = *at(id);
        if (uni == 1 && first(x, v) >= 0) {
            *res = 0;
            return;
        }
        *res = 1;
        int64_t p = first(x, d != nullptr ? *d : Api<T>::marker());
        if (p < 0) {
            p = static_cast<int64_t>(x.size());
            x.resize(x.size() + static_cast<size_t>(n), Api<T>::marker());
        }
        x[static_cast<size_t>(p)] = v;
    }
    void array(int32_t id, const T *a, int32_t na, int32_t uni, int32_t *res, const int32_t *inc, const T *d) {
        if (!at(id)) at(id).emplace(static_cast<size_t>(step(inc)), Api<T>::marker());
        if (uni == 1) {
            const std::vector<T> &x = *at(id);
            const int64_t f = filled(x);
            bool found = na <= 0;
            for (int64_t p = 0; !found && p + na <= f; ++p)
                found = std::equal(a, a + na, x.begin() + p, [](const T &u, const T &w) { return same(u, w); });
            if (found) return;
        }
        for (int32_t i = 0; i < na; ++i) scalar(id, a[i], 0, res, inc, d);
    }
};

// ---------------------------------------------------------------- fixture

class ListTest : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        release_all();
    }
    void TearDown() override {
        release_all();
        SharedState::TearDown();
    }
    static void release_all() {
        for (int32_t id = 1; id <= 3; ++id)
            for (int32_t f = 0; f <= 2; ++f) {
                int32_t ierr = 0;
                DeallocateList(&id, &f, &ierr);
            }
    }
    static void release(int32_t id, int32_t ifflag) {
        int32_t ierr = kSentinel;
        DeallocateList(&id, &ifflag, &ierr);
    }
    static bool none_exists() {
        for (int32_t id = 1; id <= 3; ++id)
            for (int32_t f = 0; f <= 2; ++f)
                if (shared_list(id, f).data != nullptr) return false;
        return true;
    }
};

// ---------------------------------------------------------------- growth

TEST_F(ListTest, GrowsByExactlyAllocincKeepingEntriesInPlace) {
    const int32_t inc = 3;
    int32_t res = kSentinel;
    for (int32_t v = 1; v <= 7; ++v) {
        Api<int32_t>::scalar(2, v * 10, 1, &res, &inc, nullptr);
        EXPECT_EQ(res, 1);
        EXPECT_EQ(capacity<int32_t>(2), (v + 2) / 3 * 3) << v;
    }
    EXPECT_EQ(contents<int32_t>(2), (std::vector<int32_t>{10, 20, 30, 40, 50, 60, 70, kMarker, kMarker}));
    EXPECT_EQ(Api<int32_t>::size(2, nullptr), 7);
    Api<int32_t>::scalar(2, 40, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 0);
    EXPECT_EQ(Api<int32_t>::size(2, nullptr), 7);
}

TEST_F(ListTest, AMillionSingleAppendsGrowByExactlyAllocinc) {
    // Distinct values, unique appends: every one is taken, the capacity is
    // the next multiple of the step, the entries stand in order and the rest
    // hold the free marker; values held already are refused.
    for (const auto &[id, n, step] : {std::tuple{1, 1'000'003, 0}, std::tuple{3, 100'001, 7}}) {
        const int32_t inc = step, *incp = step > 0 ? &inc : nullptr;
        const int64_t allocinc = step > 0 ? step : 500;
        int32_t res = kSentinel, taken = 0;
        for (int32_t v = 0; v < n; ++v) {
            Api<int32_t>::scalar(id, v * 3 - n, 1, &res, incp, nullptr);
            taken += res;
        }
        EXPECT_EQ(taken, n);
        const int64_t expected = (n + allocinc - 1) / allocinc * allocinc;
        ASSERT_EQ(capacity<int32_t>(id), expected);
        const std::vector<int32_t> x = contents<int32_t>(id);
        bool in_order = true;
        for (int64_t i = 0; i < expected; ++i) in_order = in_order && x[i] == (i < n ? static_cast<int32_t>(i * 3 - n) : kMarker);
        EXPECT_TRUE(in_order);
        for (int32_t v : {0, n / 2, n - 1}) {
            Api<int32_t>::scalar(id, v * 3 - n, 1, &res, incp, nullptr);
            EXPECT_EQ(res, 0);
        }
        EXPECT_EQ(Api<int32_t>::size(id, nullptr), n);
        EXPECT_EQ(capacity<int32_t>(id), expected);
    }
}

TEST_F(ListTest, AllocincDefaultsTo500AndCountsAsOneBelowOne) {
    int32_t res = kSentinel;
    Api<int32_t>::scalar(1, 1, 0, &res, nullptr, nullptr);
    EXPECT_EQ(capacity<int32_t>(1), 500);
    for (int32_t v = 2; v <= 501; ++v) Api<int32_t>::scalar(1, v, 1, &res, nullptr, nullptr);
    EXPECT_EQ(capacity<int32_t>(1), 1000);
    const std::vector<int32_t> x = contents<int32_t>(1);
    for (int32_t i = 0; i < 501; ++i) ASSERT_EQ(x[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(Api<int32_t>::size(1, nullptr), 501);

    // Each append past the end grows by a single entry; the sanitizers see
    // any write past it.
    for (const int32_t inc : {0, -5, std::numeric_limits<int32_t>::min()}) {
        release(3, 1);
        for (int k = 1; k <= 4; ++k) {
            Api<double>::scalar(3, k * 0.5, 0, &res, &inc, nullptr);
            EXPECT_EQ(capacity<double>(3), k) << inc;
        }
        EXPECT_EQ(contents<double>(3), (std::vector<double>{0.5, 1.0, 1.5, 2.0}));
        const int32_t one[2] = {9, 8};
        release(2, 0);
        Api<int32_t>::array(2, one, 2, 0, &res, &inc, nullptr);
        EXPECT_EQ(contents<int32_t>(2), (std::vector<int32_t>{9, 8}));
    }
}

// ---------------------------------------------------------------- selectors out of range

TEST_F(ListTest, SelectorsOutOfRangeTouchNothing) {
    const int32_t one = 1, inc = 4, zero = 0;
    const double real = 1.0;
    const kestro_complex cmplx{1.0, 2.0};
    for (const auto &[id, f] : std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {4, 0}, {-1, 1}, {1, -1}, {2, 3}}) {
        int32_t ierr = kSentinel;
        AllocateList(&id, &f, &inc, &ierr, nullptr, nullptr, nullptr);
        EXPECT_EQ(ierr, kSentinel);
        DeallocateList(&id, &f, &ierr);
        EXPECT_EQ(ierr, kSentinel);
        kestro_logical1 check = 42;
        GetAllocationStatus(&check, &id, &f);
        EXPECT_EQ(check, 42);
        EXPECT_EQ(GetSizeOfList(&id, &f, nullptr, nullptr, nullptr), -1);
    }
    for (const int32_t id : {0, 4, -1, std::numeric_limits<int32_t>::max()}) {
        int32_t res = kSentinel;
        iAppendScalar2List(&id, &one, &one, &res, &inc, nullptr);
        fAppendScalar2List(&id, &real, &one, &res, &inc, nullptr);
        cAppendScalar2List(&id, &cmplx, &one, &res, &inc, nullptr);
        iAppendArray2List(&id, &one, &one, &zero, &res, &inc, nullptr);
        fAppendArray2List(&id, &real, &one, &zero, &res, &inc, nullptr);
        cAppendArray2List(&id, &cmplx, &one, &zero, &res, &inc, nullptr);
        EXPECT_EQ(res, kSentinel);
        int32_t ibuf[2] = {5, 5}, ierr = kSentinel;
        double rbuf[2] = {5, 5};
        kestro_complex cbuf[2] = {{5, 5}, {5, 5}};
        const int32_t two = 2;
        iGetCopyOfList(&id, ibuf, &two, &ierr);
        fGetCopyOfList(&id, rbuf, &two, &ierr);
        cGetCopyOfList(&id, cbuf, &two, &ierr);
        EXPECT_EQ(ierr, kSentinel);
        EXPECT_EQ(ibuf[0], 5);
        EXPECT_EQ(rbuf[1], 5.0);
        EXPECT_EQ(cbuf[0].im, 5.0);
    }
    EXPECT_TRUE(none_exists());
}

// ---------------------------------------------------------------- free values other than the marker

TEST_F(ListTest, DefvalOtherThanTheMarkerGrowsAListThatHoldsOnlyMarkers) {
    const int32_t inc = 2, d = 9;
    int32_t res = kSentinel;
    Api<int32_t>::scalar(1, 1, 0, &res, &inc, &d);  // created as [M, M]; no 9 anywhere, so it grows
    EXPECT_EQ(contents<int32_t>(1), (std::vector<int32_t>{kMarker, kMarker, 1, kMarker}));
    EXPECT_EQ(Api<int32_t>::size(1, nullptr), 0);
    EXPECT_EQ(Api<int32_t>::size(1, &d), 4);
    Api<int32_t>::scalar(1, 9, 0, &res, &inc, nullptr);  // takes the first marker
    Api<int32_t>::scalar(1, 5, 0, &res, &inc, &d);       // takes the 9
    EXPECT_EQ(contents<int32_t>(1), (std::vector<int32_t>{5, kMarker, 1, kMarker}));
    EXPECT_EQ(Api<int32_t>::size(1, nullptr), 1);

    // A NaN free value equals nothing: every append grows.
    for (int k = 0; k < 3; ++k) Api<double>::scalar(2, k + 0.25, 0, &res, &inc, &kNaN);
    EXPECT_EQ(capacity<double>(2), 8);
    const std::vector<double> x = contents<double>(2);
    EXPECT_EQ(x[2], 0.25);
    EXPECT_EQ(x[4], 1.25);
    EXPECT_EQ(x[6], 2.25);
    EXPECT_EQ(Api<double>::size(2, &kNaN), 8);

    // A list filled with a default by AllocateList has no free entry for the
    // marker: the next append grows it and lands past the old end.
    int32_t ierr = kSentinel;
    const int32_t zero = 0;
    Api<int32_t>::allocate(3, 3, &ierr, &zero);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(Api<int32_t>::size(3, nullptr), 3);
    Api<int32_t>::scalar(3, 4, 0, &res, &inc, nullptr);
    EXPECT_EQ(contents<int32_t>(3), (std::vector<int32_t>{0, 0, 0, 4, kMarker}));
    Api<int32_t>::scalar(3, 6, 0, &res, &inc, &zero);
    EXPECT_EQ(contents<int32_t>(3), (std::vector<int32_t>{6, 0, 0, 4, kMarker}));
}

// ---------------------------------------------------------------- copies

TEST_F(ListTest, CopiesAtMostTheCapacity) {
    const int32_t inc = 3;
    int32_t res = kSentinel;
    for (int32_t v : {4, 5}) Api<int32_t>::scalar(1, v, 0, &res, &inc, nullptr);
    std::vector<int32_t> buf(10, -1);
    int32_t ierr = kSentinel;
    Api<int32_t>::copy(1, buf.data(), 10, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(buf, (std::vector<int32_t>{4, 5, kMarker, -1, -1, -1, -1, -1, -1, -1}));
    buf.assign(10, -1);
    Api<int32_t>::copy(1, buf.data(), 1, &ierr);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[1], -1);
    buf.assign(10, -1);
    ierr = kSentinel;
    Api<int32_t>::copy(1, buf.data(), -4, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(buf, std::vector<int32_t>(10, -1));

    std::vector<kestro_complex> cbuf(4, kestro_complex{-1, -1});
    Api<kestro_complex>::copy(2, cbuf.data(), 4, &ierr);  // absent
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(cbuf[0].re, -1.0);
}

// ---------------------------------------------------------------- array appends

TEST_F(ListTest, ArrayAppendsLookForRunsAmongTheFilledEntriesOnly) {
    const int32_t inc = 4;
    int32_t res = kSentinel;
    const int32_t first[5] = {1, 2, 3, 4, 5};
    Api<int32_t>::array(1, first, 5, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 1);
    EXPECT_EQ(capacity<int32_t>(1), 8);

    // Runs inside the filled entries, across the growth boundary at 4, at the end.
    for (const std::vector<int32_t> &run :
         {std::vector<int32_t>{2, 3, 4}, std::vector<int32_t>{4, 5}, std::vector<int32_t>{1, 2, 3, 4, 5}}) {
        res = kSentinel;
        Api<int32_t>::array(1, run.data(), static_cast<int32_t>(run.size()), 1, &res, &inc, nullptr);
        EXPECT_EQ(res, kSentinel);
    }
    // Reaching into the free entries, or a run of values held only out of
    // order.  The marker appended takes the first free entry and leaves it free.
    const int32_t past[2] = {5, kMarker};
    Api<int32_t>::array(1, past, 2, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 1);
    const int32_t swapped[2] = {2, 1};
    Api<int32_t>::array(1, swapped, 2, 1, &res, &inc, nullptr);
    EXPECT_EQ(contents<int32_t>(1), (std::vector<int32_t>{1, 2, 3, 4, 5, 5, 2, 1}));

    // An empty array appends nothing, with either flag; a missing list is still created.
    res = kSentinel;
    Api<int32_t>::array(1, first, 0, 1, &res, &inc, nullptr);
    Api<int32_t>::array(1, first, 0, 0, &res, &inc, nullptr);
    Api<int32_t>::array(1, first, -3, 0, &res, &inc, nullptr);
    EXPECT_EQ(res, kSentinel);
    EXPECT_EQ(capacity<int32_t>(1), 8);
    Api<double>::array(2, nullptr, 0, 0, &res, &inc, nullptr);
    EXPECT_EQ(contents<double>(2), std::vector<double>(4, kRealMarker));

    // A run that stands only beyond the fill count is not found: [M, 7, 8, 0]
    // has no filled entry.
    int32_t ierr = kSentinel;
    const int32_t zero = 0, marker = kMarker;
    Api<int32_t>::allocate(3, 4, &ierr, &zero);
    for (int32_t v : {marker, 7, 8}) Api<int32_t>::scalar(3, v, 0, &res, &inc, &zero);
    ASSERT_EQ(contents<int32_t>(3), (std::vector<int32_t>{kMarker, 7, 8, 0}));
    const int32_t run[2] = {7, 8};
    res = kSentinel;
    Api<int32_t>::array(3, run, 2, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 1);
    EXPECT_EQ(contents<int32_t>(3), (std::vector<int32_t>{7, 7, 8, 0, 8, kMarker, kMarker, kMarker}));
    res = kSentinel;
    Api<int32_t>::array(3, run, 2, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, kSentinel);
}

TEST_F(ListTest, SignedZerosAndNaNInRealAndComplexLists) {
    int32_t res = kSentinel;
    const int32_t inc = 4;
    Api<double>::scalar(1, -0.0, 1, &res, &inc, nullptr);
    Api<double>::scalar(1, 0.0, 1, &res, &inc, nullptr);  // equal to -0.0: held already
    EXPECT_EQ(res, 0);
    Api<double>::scalar(1, kNaN, 1, &res, &inc, nullptr);
    Api<double>::scalar(1, kNaN, 1, &res, &inc, nullptr);  // NaN equals nothing: appended twice
    EXPECT_EQ(res, 1);
    const std::vector<double> x = contents<double>(1);
    EXPECT_TRUE(std::signbit(x[0]));
    EXPECT_TRUE(std::isnan(x[1]) && std::isnan(x[2]));
    EXPECT_EQ(Api<double>::size(1, nullptr), 3);

    const kestro_complex half_nan{1.0, kNaN}, z{0.0, -0.0}, nz{-0.0, 0.0};
    Api<kestro_complex>::scalar(1, half_nan, 1, &res, &inc, nullptr);
    Api<kestro_complex>::scalar(1, half_nan, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 1);
    Api<kestro_complex>::scalar(1, z, 1, &res, &inc, nullptr);
    Api<kestro_complex>::scalar(1, nz, 1, &res, &inc, nullptr);
    EXPECT_EQ(res, 0);
    EXPECT_EQ(Api<kestro_complex>::size(1, nullptr), 3);
}

// Released and created again by an append at the same size, a list is often
// handed its old block back; nothing it held before may count.
TEST_F(ListTest, ListReleasedAndCreatedAgainByAnAppendStartsEmpty) {
    const int32_t id = 1, f = 0, inc = 1000;
    for (int round = 0; round < 4; ++round) {
        int32_t res = kSentinel, ierr = kSentinel;
        Api<int32_t>::scalar(id, 5, 1, &res, &inc, nullptr);
        DeallocateList(&id, &f, &ierr);
        ASSERT_EQ(ierr, 0);
        Api<int32_t>::scalar(id, 7, 1, &res, &inc, nullptr);
        EXPECT_EQ(Api<int32_t>::size(id, nullptr), 1) << round;
        EXPECT_EQ(contents<int32_t>(id)[0], 7) << round;
        Api<int32_t>::scalar(id, 5, 1, &res, &inc, nullptr);
        EXPECT_EQ(res, 1) << round;
        DeallocateList(&id, &f, &ierr);
    }
}

// After a list of a million entries is released, through the list routine
// or as a host drops the array, the index of a new list holds no more
// buckets than that of a list which never held more.
TEST_F(ListTest, AReleasedLargeListLeavesNoBucketsInTheIndex) {
    const bool through_routine[] = {true, false};
    for (const bool routine : through_routine) {
        int32_t res = kSentinel;
        for (int32_t v = 0; v < 1'000'000; ++v) Api<int32_t>::scalar(1, v, 1, &res, nullptr, nullptr);
        if (routine)
            release(1, 0);
        else
            kestro_array_drop(kestro::listhandling::list_array(1, 0));
        for (const int32_t id : {1, 2})
            for (int32_t v = 0; v < 1000; ++v) Api<int32_t>::scalar(id, v, 1, &res, nullptr, nullptr);
        EXPECT_LE(kestro::listhandling::index_buckets(1, 0), kestro::listhandling::index_buckets(2, 0)) << routine;
        release_all();
    }
}

// ---------------------------------------------------------------- against the model

template <class T>
void check_against_model(Model<T> &m, int32_t id, const std::vector<T> &pool, std::mt19937 &rng, int op) {
    kestro_logical1 check = 42;
    const int32_t f = Api<T>::ifflag;
    GetAllocationStatus(&check, &id, &f);
    ASSERT_EQ(check, m.at(id) ? 1 : 0) << "op " << op;
    ASSERT_EQ(Api<T>::size(id, nullptr), m.size(id, nullptr)) << "op " << op;
    const T &d = pool[rng() % pool.size()];
    ASSERT_EQ(Api<T>::size(id, &d), m.size(id, &d)) << "op " << op;
    if (!m.at(id)) return;
    ASSERT_EQ(capacity<T>(id), static_cast<int64_t>(m.at(id)->size())) << "op " << op;
    const std::vector<T> x = contents<T>(id);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_TRUE(identical(x[i], (*m.at(id))[i])) << "op " << op << " entry " << i;
}

// A seeded random sequence of every operation, with values drawn from a small
// pool (so that duplicates, the marker itself, signed zeros and NaN come up
// often) and runs copied out of the list for the array appends.
template <class T>
void run_against_model(uint32_t seed, const std::vector<T> &pool, int operations) {
    std::mt19937 rng(seed);
    Model<T> m;
    const std::vector<std::optional<int32_t>> incs = {std::nullopt, 0, -3, 1, 2, 3, 5};
    const auto pick = [&](const auto &v) -> decltype(auto) { return v[rng() % v.size()]; };
    for (int op = 0; op < operations; ++op) {
        const int32_t id = static_cast<int32_t>(1 + rng() % 3);
        // The default step is rare: free values that never occur make every
        // append grow by it.
        std::optional<int32_t> inc = pick(incs);
        if (!inc && rng() % 4 != 0) inc = 1;
        const int32_t *incp = inc ? &*inc : nullptr;
        std::optional<T> d;
        const auto dc = rng() % 10;
        if (dc == 0) d = Api<T>::marker();
        else if (dc == 1) d = pick(pool);
        const T *dp = d ? &*d : nullptr;
        const int32_t uni = static_cast<int32_t>(rng() % 3);  // 2 is "not 1"
        const auto kind = rng() % 100;
        if (kind < 60) {
            const T v = pick(pool);
            int32_t res = kSentinel, want = kSentinel;
            Api<T>::scalar(id, v, uni, &res, incp, dp);
            m.scalar(id, v, uni, &want, incp, dp);
            ASSERT_EQ(res, want) << "op " << op;
        } else if (kind < 85) {
            std::vector<T> a(rng() % 5);
            const auto &held = m.at(id);
            if (held && !held->empty() && rng() % 2 == 0) {
                // A run of the list itself, possibly running into the free entries.
                const size_t from = rng() % held->size();
                a.assign(held->begin() + static_cast<std::ptrdiff_t>(from),
                         held->begin() + static_cast<std::ptrdiff_t>(std::min(held->size(), from + a.size())));
            } else {
                for (T &v : a) v = pick(pool);
            }
            int32_t res = kSentinel, want = kSentinel;
            Api<T>::array(id, a.data(), static_cast<int32_t>(a.size()), uni, &res, incp, dp);
            m.array(id, a.data(), static_cast<int32_t>(a.size()), uni, &want, incp, dp);
            ASSERT_EQ(res, want) << "op " << op;
        } else if (kind < 93) {
            const int32_t le = static_cast<int32_t>(rng() % 8) - 1;
            std::optional<T> def;
            if (rng() % 2 == 0) def = pick(pool);
            int32_t ierr = kSentinel;
            Api<T>::allocate(id, le, &ierr, def ? &*def : nullptr);
            ASSERT_EQ(ierr, m.allocate(id, le, def ? &*def : nullptr)) << "op " << op;
        } else {
            int32_t ierr = kSentinel;
            const int32_t f = Api<T>::ifflag;
            DeallocateList(&id, &f, &ierr);
            ASSERT_EQ(ierr, m.release(id)) << "op " << op;
        }
        check_against_model(m, id, pool, rng, op);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST_F(ListTest, IntegerListsFollowTheModel) {
    const std::vector<int32_t> pool = {-2, -1, 0, 1, 2, 3, 4, 5, kMarker, std::numeric_limits<int32_t>::min()};
    for (uint32_t seed : {1u, 2u, 3u}) {
        release_all();
        run_against_model<int32_t>(seed, pool, 3000);
    }
}

TEST_F(ListTest, RealListsFollowTheModel) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> pool = {0.0, -0.0, 1.5, -1.5, 2.0, kNaN, kRealMarker, -kRealMarker, inf, 1e-300};
    for (uint32_t seed : {4u, 5u, 6u}) {
        release_all();
        run_against_model<double>(seed, pool, 3000);
    }
}

TEST_F(ListTest, ComplexListsFollowTheModel) {
    const std::vector<kestro_complex> pool = {{0.0, 0.0},         {-0.0, 0.0},   {1.0, 2.0},
                                              {2.0, 1.0},         {1.0, kNaN},   {kRealMarker, kRealMarker},
                                              {kRealMarker, 0.0}, {-1.0, -1.0}};
    run_against_model<kestro_complex>(7, pool, 3000);
}

}  // namespace
