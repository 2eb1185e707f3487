// Array services: the exact extent of every write (guard elements after each
// result), the presets of requests that cannot be served, stable ordering with
// NaN, merging, the optional arguments and the process arrival list.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "core/utility.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"

namespace {

using kestro::jobdata::processid;

constexpr double kDirt = 7.25;
constexpr int64_t kGuards = 8;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class T, T Dirt = T(kDirt)>
using Guarded = kestro_test::Out<T, Dirt, kGuards>;

bool all_equal(const double *a, int64_t n, double v) { return std::all_of(a, a + n, [&](double x) { return x == v; }); }

// ---------------------------------------------------------------- zeros

TEST(UtilityZeros, EveryRankWritesExactlyTheProductOfItsExtents) {
    const int32_t e[7] = {2, 3, 1, 2, 2, 1, 3};
    int64_t count = 1;
    for (int rank = 1; rank <= 7; ++rank) {
        count *= e[rank - 1];
        Guarded<double> a(count);
        switch (rank) {
        case 1: IniVectorwithZeros(a.data(), &e[0]); break;
        case 2: IniMatrixwithZeros(a.data(), &e[0], &e[1]); break;
        case 3: Ini3DArraywithZeros(a.data(), &e[0], &e[1], &e[2]); break;
        case 4: Ini4DArraywithZeros(a.data(), &e[0], &e[1], &e[2], &e[3]); break;
        case 5: Ini5DArraywithZeros(a.data(), &e[0], &e[1], &e[2], &e[3], &e[4]); break;
        case 6: Ini6DArraywithZeros(a.data(), &e[0], &e[1], &e[2], &e[3], &e[4], &e[5]); break;
        default: IniMaxDArraywithZeros(a.data(), &e[0], &e[1], &e[2], &e[3], &e[4], &e[5], &e[6]); break;
        }
        EXPECT_TRUE(all_equal(a.data(), count, 0.0)) << "rank " << rank;
        EXPECT_TRUE(a.guards_intact()) << "rank " << rank;
    }
}

TEST(UtilityZeros, AnyExtentOfZeroOrLessLeavesTheArrayAlone) {
    // Two negative extents multiply to a positive count and must still do nothing.
    const std::vector<std::vector<int32_t>> cases = {
        {0}, {-3}, {0, 4}, {4, -1}, {-2, -3}, {-1, -2, 3}, {2, -2, -2}, {3, 0, 2},
        {-1, -1, 2, 2}, {2, 2, 2, 0}, {-1, 2, -1, 2, 1}, {1, 1, 1, 1, -2, -2}, {2, 2, 2, 2, 2, 2, -1},
        {-2, 1, 1, 1, 1, 1, -2}};
    for (const auto &e : cases) {
        Guarded<double> a(0);
        const int32_t *x = e.data();
        switch (e.size()) {
        case 1: IniVectorwithZeros(a.data(), x); break;
        case 2: IniMatrixwithZeros(a.data(), x, x + 1); break;
        case 3: Ini3DArraywithZeros(a.data(), x, x + 1, x + 2); break;
        case 4: Ini4DArraywithZeros(a.data(), x, x + 1, x + 2, x + 3); break;
        case 5: Ini5DArraywithZeros(a.data(), x, x + 1, x + 2, x + 3, x + 4); break;
        case 6: Ini6DArraywithZeros(a.data(), x, x + 1, x + 2, x + 3, x + 4, x + 5); break;
        default: IniMaxDArraywithZeros(a.data(), x, x + 1, x + 2, x + 3, x + 4, x + 5, x + 6); break;
        }
        EXPECT_TRUE(a.untouched()) << "rank " << e.size() << ", first extent " << e[0];
    }
}

// ---------------------------------------------------------------- copies

TEST(UtilityCopies, CopyExactlyNElementsAndNothingForNonPositiveN) {
    const std::vector<double> src = {1.5, -2.0, 3.0, 4.0, 5.0, 6.0};
    const std::vector<int32_t> isrc = {9, 8, 7, 6};
    const std::vector<kestro_complex> csrc = {{1, 2}, {3, 4}, {5, 6}};
    for (int32_t n : {-4, 0, 1, 3}) {
        Guarded<double> f(n);
        fVectorCopy(src.data(), f.data(), &n);
        Guarded<int32_t> i(n, -77);
        iVectorCopy(isrc.data(), i.data(), &n);
        std::vector<kestro_complex> c(static_cast<size_t>(std::max(n, 0)) + kGuards, kestro_complex{-1, -1});
        cVectorCopy(csrc.data(), c.data(), &n);
        for (int64_t k = 0; k < n; ++k) {
            EXPECT_EQ(f[k], src[k]);
            EXPECT_EQ(i[k], isrc[k]);
            EXPECT_TRUE(c[k].re == csrc[k].re && c[k].im == csrc[k].im);
        }
        EXPECT_TRUE(f.guards_intact()) << n;
        EXPECT_TRUE(i.guards_intact()) << n;
        for (size_t k = static_cast<size_t>(std::max(n, 0)); k < c.size(); ++k)
            EXPECT_TRUE(c[k].re == -1 && c[k].im == -1) << n;
    }
    // A matrix copies n*m elements; any non-positive extent (or two) copies nothing.
    for (auto [n, m] : std::initializer_list<std::pair<int32_t, int32_t>>{{2, 3}, {3, 2}, {0, 3}, {2, -1}, {-2, -3}}) {
        const int64_t count = n > 0 && m > 0 ? int64_t{n} * m : 0;
        Guarded<double> b(count);
        MatrixCopy(src.data(), b.data(), &n, &m);
        EXPECT_TRUE(std::equal(src.begin(), src.begin() + count, b.data())) << n << "x" << m;
        EXPECT_TRUE(b.guards_intact()) << n << "x" << m;
    }
}

// ---------------------------------------------------------------- matrices and lists

TEST(UtilityMatrices, IdentityScalarAndEyeCoverExactlyNByN) {
    for (int32_t n = 0; n <= 5; ++n) {
        const int64_t nn = int64_t{n} * n;
        Guarded<double> id(nn), sc(nn);
        const double lambda = -2.5;
        GetIdentityMatrix(id.data(), &n);
        GetScalarMatrix(sc.data(), &n, &lambda);
        for (int32_t j = 0; j < n; ++j)
            for (int32_t i = 0; i < n; ++i) {
                EXPECT_EQ(id[j * n + i], i == j ? 1.0 : 0.0) << n;
                EXPECT_EQ(sc[j * n + i], i == j ? lambda : 0.0) << n;
            }
        EXPECT_TRUE(id.guards_intact() && sc.guards_intact()) << n;

        // Diagonals far outside the matrix give all zeros.
        for (int32_t k = -n - 2; k <= n + 2; ++k) {
            Guarded<double> eye(nn);
            GetEyeMatrix(eye.data(), &k, &n);
            for (int32_t j = 0; j < n; ++j)
                for (int32_t i = 0; i < n; ++i) EXPECT_EQ(eye[j * n + i], j - i == k ? 1.0 : 0.0) << n << " " << k;
            EXPECT_TRUE(eye.guards_intact()) << n << " " << k;
        }
    }
    for (int32_t k : {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        const int32_t n = 3;
        Guarded<double> eye(9);
        GetEyeMatrix(eye.data(), &k, &n);
        EXPECT_TRUE(all_equal(eye.data(), 9, 0.0) && eye.guards_intact()) << k;
    }
    const int32_t negative = -3, k = 0;
    Guarded<double> none(0);
    GetIdentityMatrix(none.data(), &negative);
    GetEyeMatrix(none.data(), &k, &negative);
    EXPECT_TRUE(none.untouched());
}

TEST(UtilityMatrices, TriangleAndLinspaceTreatNullOptionsAsTheirDefaults) {
    const int32_t n = 3;
    const std::vector<double> a = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // a(i, j) = 3(j-1) + i
    const kestro_logical1 yes = 1, no = 0, two = 2;
    Guarded<double> low(9), low_null(9), up(9), up_two(9);
    GetTriangularMatrix(low.data(), a.data(), &n, &no);
    GetTriangularMatrix(low_null.data(), a.data(), &n, nullptr);
    GetTriangularMatrix(up.data(), a.data(), &n, &yes);
    GetTriangularMatrix(up_two.data(), a.data(), &n, &two);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const double v = a[static_cast<size_t>(j * 3 + i)];
            EXPECT_EQ(low[j * 3 + i], i >= j ? v : 0.0);
            EXPECT_EQ(low_null[j * 3 + i], low[j * 3 + i]);
            EXPECT_EQ(up[j * 3 + i], i <= j ? v : 0.0);
            EXPECT_EQ(up_two[j * 3 + i], up[j * 3 + i]);
        }
    EXPECT_TRUE(low.guards_intact() && low_null.guards_intact() && up.guards_intact() && up_two.guards_intact());

    const double from = 1.0, to = 2.0;
    const int32_t five = 5, one = 1, zero = 0;
    Guarded<double> with_end(5), without_end(5), single(1), single_open(1), empty(0);
    Linspace(with_end.data(), &from, &to, &five, nullptr);
    Linspace(without_end.data(), &from, &to, &five, &no);
    Linspace(single.data(), &from, &to, &one, nullptr);
    Linspace(single_open.data(), &from, &to, &one, &no);
    Linspace(empty.data(), &from, &to, &zero, nullptr);
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(with_end[i], 1.0 + 0.25 * i);
        EXPECT_DOUBLE_EQ(without_end[i], 1.0 + 0.2 * i);
    }
    EXPECT_EQ(with_end[4], 2.0);  // the end point exactly
    EXPECT_EQ(single[0], 1.0);
    EXPECT_EQ(single_open[0], 1.0);
    EXPECT_TRUE(with_end.guards_intact() && without_end.guards_intact() && single.guards_intact() &&
                single_open.guards_intact() && empty.untouched());
}

TEST(UtilityMatrices, OffDiagonalsNeverTouchTheDiagonalAndFillTheUpperOnlyWhenGiven) {
    for (int32_t n : {1, 3, 4}) {
        const int32_t half = n * (n - 1) / 2;
        for (int32_t k : {half, 2 * half}) {
            std::vector<double> x(static_cast<size_t>(k));  // exactly k: reading past it is an error
            std::iota(x.begin(), x.end(), 1.0);
            Guarded<double> a(int64_t{n} * n);
            FillMatrixOffDiagonals(a.data(), x.data(), &n, &k);
            double next_lower = 1.0;
            for (int32_t c = 0; c < n; ++c)
                for (int32_t r = c + 1; r < n; ++r) EXPECT_EQ(a[c * n + r], next_lower++) << n << " " << k;
            double next_upper = half + 1.0;
            for (int32_t r = 0; r < n; ++r) {
                EXPECT_EQ(a[r * n + r], kDirt) << "diagonal, " << n << " " << k;
                for (int32_t c = r + 1; c < n; ++c)
                    EXPECT_EQ(a[c * n + r], k == half ? kDirt : next_upper++) << n << " " << k;
            }
            EXPECT_TRUE(a.guards_intact()) << n << " " << k;
        }
    }
}

TEST(UtilityMatrices, PackedListHonoursEveryConditionAndPadsWhenTooMany) {
    const std::vector<double> list = {3.0, kNaN, 1.0, 5.0, -0.0, 3.0};
    const int32_t nlist = 6, npack = 5;
    const double cond = 3.0, pad = -9.0;
    struct Case {
        int32_t cflag;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {1, {1.0, -0.0}}, {2, {3.0, 1.0, -0.0, 3.0}}, {3, {3.0, 3.0}}, {4, {3.0, 5.0, 3.0}},
        {5, {5.0}},       {6, {kNaN, 1.0, 5.0, -0.0}}, {0, {}},        {7, {}}};
    for (const auto &c : cases) {
        Guarded<double> p(npack);
        GetPackedList(p.data(), list.data(), &cond, &pad, &c.cflag, &npack, &nlist);
        for (int64_t i = 0; i < npack; ++i) {
            if (i < static_cast<int64_t>(c.expected.size())) {
                const double e = c.expected[static_cast<size_t>(i)];
                EXPECT_TRUE(std::isnan(e) ? std::isnan(p[i]) : p[i] == e) << "cflag " << c.cflag << " at " << i;
            } else {
                EXPECT_EQ(p[i], pad) << "cflag " << c.cflag << " at " << i;
            }
        }
        EXPECT_TRUE(p.guards_intact()) << "cflag " << c.cflag;
    }
    // Four entries differ from 3.0 (NaN among them): they fit in four, not in three.
    const int32_t six = 6, four = 4, three = 3, zero = 0;
    Guarded<double> fits(4), too_small(3), none(0);
    GetPackedList(fits.data(), list.data(), &cond, &pad, &six, &four, &nlist);
    GetPackedList(too_small.data(), list.data(), &cond, &pad, &six, &three, &nlist);
    GetPackedList(none.data(), list.data(), &cond, &pad, &six, &zero, &nlist);
    EXPECT_TRUE(std::isnan(fits[0]) && fits[1] == 1.0 && fits[2] == 5.0 && fits[3] == 0.0);
    EXPECT_TRUE(all_equal(too_small.data(), 3, pad));
    EXPECT_TRUE(fits.guards_intact() && too_small.guards_intact() && none.untouched());
    // A NaN condition: nothing equals it, everything differs from it.
    const double nan_cond = kNaN;
    Guarded<double> eq(6), ne(6);
    GetPackedList(eq.data(), list.data(), &nan_cond, &pad, &three, &six, &nlist);
    GetPackedList(ne.data(), list.data(), &nan_cond, &pad, &six, &six, &nlist);
    EXPECT_TRUE(all_equal(eq.data(), 6, pad));
    EXPECT_TRUE(ne[0] == 3.0 && std::isnan(ne[1]) && ne[5] == 3.0);
    EXPECT_TRUE(eq.guards_intact() && ne.guards_intact());
}

// ---------------------------------------------------------------- joining and splitting

TEST(UtilitySplit, NonPositiveCountsWriteNothing) {
    const std::vector<double> a = {1, 2, 3, 4, 5, 6};
    const int32_t n = 6, l = 3, m = 2;
    for (int32_t k : {0, -1, -3, std::numeric_limits<int32_t>::min()}) {
        Guarded<double> bv(0), bm(0);
        VectorSplit(a.data(), bv.data(), &k, &n);
        MatrixSplit(a.data(), bm.data(), &k, &l, &m);
        EXPECT_TRUE(bv.untouched() && bm.untouched()) << k;
    }
    // Fewer entries than k, or none at all: b has no rows.
    const int32_t two = 2, three = 3, zero = 0, minus_four = -4;
    Guarded<double> b(0);
    VectorSplit(a.data(), b.data(), &three, &two);
    VectorSplit(a.data(), b.data(), &two, &zero);
    VectorSplit(a.data(), b.data(), &two, &minus_four);
    MatrixSplit(a.data(), b.data(), &three, &two, &m);
    MatrixSplit(a.data(), b.data(), &two, &two, &zero);
    MatrixSplit(a.data(), b.data(), &two, &minus_four, &m);
    EXPECT_TRUE(b.untouched());
}

TEST(UtilitySplit, ColumnsFollowTheLayoutOrArePresetWhenKDoesNotDivide) {
    std::vector<double> a(12);
    std::iota(a.begin(), a.end(), 1.0);
    const int32_t n = 12, k3 = 3, k5 = 5;
    Guarded<double> v(12), vbad(10);
    VectorSplit(a.data(), v.data(), &k3, &n);
    VectorSplit(a.data(), vbad.data(), &k5, &n);  // b(2, 5)
    EXPECT_TRUE(std::equal(a.begin(), a.end(), v.data()));
    EXPECT_TRUE(all_equal(vbad.data(), 10, -1.0));
    EXPECT_TRUE(v.guards_intact() && vbad.guards_intact());

    // a(6, 2) into b(2, 2, 3): b(i, j, c) = a((c-1)*2 + i, j).
    const int32_t l = 6, m = 2, k4 = 4;
    Guarded<double> b(12), bbad(8);
    MatrixSplit(a.data(), b.data(), &k3, &l, &m);
    MatrixSplit(a.data(), bbad.data(), &k4, &l, &m);  // b(1, 2, 4)
    for (int c = 1; c <= 3; ++c)
        for (int j = 1; j <= 2; ++j)
            for (int i = 1; i <= 2; ++i)
                EXPECT_EQ(b[(i - 1) + 2 * ((j - 1) + 2 * (c - 1))],
                          a[static_cast<size_t>((c - 1) * 2 + (i - 1) + 6 * (j - 1))])
                    << i << "," << j << "," << c;
    EXPECT_TRUE(all_equal(bbad.data(), 8, -1.0));
    EXPECT_TRUE(b.guards_intact() && bbad.guards_intact());
}

TEST(UtilityConcatenation, ResultIsZeroedExactlyOutsideTheBlocks) {
    const std::vector<double> a = {1, 2, 3, 4, 5, 6};  // a(3, 2), or a(2, 3) below
    const std::vector<double> b = {10, 20, 30, 40};    // b(2, 2)
    const int32_t zero = 0, one = 1, two = 2, three = 3;

    // Side by side, b shorter than a: ab(3, 4) with ab(3, 3:4) zero.
    Guarded<double> side(12);
    MatrixConcatenation(a.data(), b.data(), side.data(), &zero, &three, &two, &two, &two);
    const std::vector<double> side_expected = {1, 2, 3, 4, 5, 6, 10, 20, 0, 30, 40, 0};
    EXPECT_TRUE(std::equal(side_expected.begin(), side_expected.end(), side.data()));
    EXPECT_TRUE(side.guards_intact());

    // One above the other, b narrower than a: ab(4, 3) with ab(3:4, 3) zero.
    Guarded<double> stacked(12);
    MatrixConcatenation(a.data(), b.data(), stacked.data(), &one, &two, &three, &two, &two);
    const std::vector<double> stacked_expected = {1, 2, 10, 20, 3, 4, 30, 40, 5, 6, 0, 0};
    EXPECT_TRUE(std::equal(stacked_expected.begin(), stacked_expected.end(), stacked.data()));
    EXPECT_TRUE(stacked.guards_intact());

    // Any other ctype: ab(k + ctype*m, l + n - ctype*n) of zeros.
    const int32_t ctype2 = 2, minus1 = -1;
    Guarded<double> other(8), negative(4);
    MatrixConcatenation(a.data(), b.data(), other.data(), &ctype2, &two, &three, &one, &one);  // ab(4, 2)
    MatrixConcatenation(a.data(), b.data(), negative.data(), &minus1, &three, &two, &two, &one);  // ab(1, 4)
    EXPECT_TRUE(all_equal(other.data(), 8, 0.0) && other.guards_intact());
    EXPECT_TRUE(all_equal(negative.data(), 4, 0.0) && negative.guards_intact());
    // ... and no write at all when that shape has no columns (or no rows).
    Guarded<double> no_columns(0);
    MatrixConcatenation(a.data(), b.data(), no_columns.data(), &ctype2, &two, &one, &one, &one);
    MatrixConcatenation(a.data(), b.data(), no_columns.data(), &ctype2, &two, &one, &one, &two);
    MatrixConcatenation(a.data(), b.data(), no_columns.data(), &minus1, &one, &one, &two, &one);
    EXPECT_TRUE(no_columns.untouched());
}

TEST(UtilitySubArray, HeadTailPresetsAndEmptySlices) {
    const std::vector<double> array = {1, 2, 3, 4, 5};
    const int32_t narray = 5;
    const kestro_logical1 yes = 1, no = 0;
    struct Case {
        int32_t nsub;
        const kestro_logical1 *tail;
        int32_t first, last;
    };
    for (const Case &c : {Case{2, nullptr, 4, 5}, Case{2, &yes, 4, 5}, Case{2, &no, 1, 2}, Case{5, nullptr, 1, 5},
                          Case{5, &no, 1, 5}, Case{0, nullptr, 6, 5}, Case{0, &no, 1, 0}}) {
        Guarded<double> sub(c.nsub);
        int32_t slice[3] = {0, 0, 99};
        GetSubArray(sub.data(), slice, array.data(), &narray, &c.nsub, c.tail);
        EXPECT_EQ(slice[0], c.first) << c.nsub;
        EXPECT_EQ(slice[1], c.last) << c.nsub;
        EXPECT_EQ(slice[2], 99);
        for (int64_t i = 0; i < c.nsub; ++i) EXPECT_EQ(sub[i], array[static_cast<size_t>(c.first - 1 + i)]);
        EXPECT_TRUE(sub.guards_intact()) << c.nsub;
    }
    // More than there is: presets, whichever end.
    for (const kestro_logical1 *tail : {static_cast<const kestro_logical1 *>(nullptr), &no}) {
        const int32_t nsub = 7;
        Guarded<double> sub(nsub);
        int32_t slice[2] = {0, 0};
        GetSubArray(sub.data(), slice, array.data(), &narray, &nsub, tail);
        EXPECT_EQ(slice[0], -1);
        EXPECT_EQ(slice[1], -1);
        EXPECT_TRUE(all_equal(sub.data(), nsub, 1.0) && sub.guards_intact());
    }
}

// ---------------------------------------------------------------- ordering

// The unique stable order: (NaN last, value ascending or descending, position).
template <class T>
std::vector<int32_t> reference_order(const std::vector<T> &x, bool descending) {
    std::vector<std::tuple<bool, long double, int32_t>> keys;
    for (size_t i = 0; i < x.size(); ++i) {
        const bool nan = std::isnan(static_cast<double>(x[i]));
        const long double v = nan ? 0.0L : static_cast<long double>(x[i]);
        keys.emplace_back(nan, descending ? -v : v, static_cast<int32_t>(i + 1));
    }
    std::sort(keys.begin(), keys.end());
    std::vector<int32_t> order;
    for (const auto &k : keys) order.push_back(std::get<2>(k));
    return order;
}

TEST(UtilityOrdering, ContinuousIsStableWithNaNLastOnBothSidesOfTheMethodSwitch) {
    std::mt19937 gen(20240611);
    const std::vector<double> pool = {2.0, -1.0, 0.0, -0.0, 7.5, kNaN, std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(), 2.0, 3.25};
    const std::vector<int32_t> ipool = {4, -4, 0, 4, 1, std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max(), 1};
    for (int32_t n : {0, 1, 31, 32, 33, 200}) {
        std::vector<double> x(static_cast<size_t>(n));
        std::vector<int32_t> ix(static_cast<size_t>(n));
        for (auto &v : x) v = pool[gen() % pool.size()];
        for (auto &v : ix) v = ipool[gen() % ipool.size()];
        for (int32_t sflag : {1, -1, 0}) {
            const bool descending = sflag == -1;
            Guarded<int32_t> f(n, -7), i(n, -7);
            fGetContinuous(x.data(), &n, f.data(), &sflag);
            iGetContinuous(ix.data(), &n, i.data(), &sflag);
            const auto fref = reference_order(x, descending);
            const auto iref = reference_order(ix, descending);
            EXPECT_TRUE(std::equal(fref.begin(), fref.end(), f.data())) << "real, n " << n << ", sflag " << sflag;
            EXPECT_TRUE(std::equal(iref.begin(), iref.end(), i.data())) << "int, n " << n << ", sflag " << sflag;
            EXPECT_TRUE(f.guards_intact() && i.guards_intact()) << n;
        }
    }
    // All NaN, or all equal: the identity permutation.
    for (int32_t n : {32, 33}) {
        const int32_t up = 1;
        for (double v : {kNaN, 1.0}) {
            const std::vector<double> x(static_cast<size_t>(n), v);
            std::vector<int32_t> iloc(static_cast<size_t>(n));
            fGetContinuous(x.data(), &n, iloc.data(), &up);
            for (int32_t k = 0; k < n; ++k) EXPECT_EQ(iloc[static_cast<size_t>(k)], k + 1) << n;
        }
    }
}

// ---------------------------------------------------------------- searching and merging

TEST(UtilitySearch, LocationComparesExactlyAndDefaultsNotFoundToMinusOne) {
    const std::vector<int32_t> ia = {5, 7, 7};
    const std::vector<double> fa = {kNaN, -0.0, 2.0};
    const std::vector<kestro_complex> ca = {{1, 2}, {1, 3}};
    const int32_t three = 3, two = 2, zero = 0, minus = -2, custom = 42;
    const int32_t seven = 7, absent = 6;
    const double zero_f = 0.0, nan = kNaN;
    const kestro_complex c13 = {1, 3}, c12x = {1, 2.5};
    EXPECT_EQ(iFindLocation(&seven, ia.data(), &three, nullptr), 2);
    EXPECT_EQ(iFindLocation(&absent, ia.data(), &three, nullptr), -1);
    EXPECT_EQ(iFindLocation(&absent, ia.data(), &three, &custom), 42);
    EXPECT_EQ(iFindLocation(&seven, ia.data(), &zero, nullptr), -1);
    EXPECT_EQ(iFindLocation(&seven, ia.data(), &minus, &custom), 42);
    EXPECT_EQ(fFindLocation(&zero_f, fa.data(), &three, nullptr), 2);  // 0.0 equals -0.0
    EXPECT_EQ(fFindLocation(&nan, fa.data(), &three, nullptr), -1);     // a NaN equals nothing
    EXPECT_EQ(cFindLocation(&c13, ca.data(), &two, nullptr), 2);
    EXPECT_EQ(cFindLocation(&c12x, ca.data(), &two, &custom), 42);
}

// Number of entries of merged equal to v (NaN counted as NaN).
int64_t occurrences(const std::vector<double> &merged, double v) {
    return std::count_if(merged.begin(), merged.end(),
                         [&](double m) { return std::isnan(v) ? std::isnan(m) : m == v; });
}

TEST(UtilityMerge, DistinctValuesThenTheDefaultWithinNxPlusNy) {
    struct Case {
        std::vector<double> x, y;
        std::vector<double> distinct;  // every NaN is distinct from every other
    };
    const std::vector<Case> cases = {
        {{kNaN, 1.0, 2.0}, {2.0, kNaN}, {kNaN, kNaN, 1.0, 2.0}},
        {{0.0, 5.0}, {5.0}, {0.0, 5.0}},
        {{3.0}, {0.0, 3.0}, {0.0, 3.0}},
        {{0.0, 4.0}, {0.0, 4.0}, {0.0, 4.0}},
        {{0.0, kNaN}, {kNaN, 6.0}, {0.0, kNaN, kNaN, 6.0}},
        {{}, {2.0, 0.0}, {2.0, 0.0}},
        {{}, {}, {}},
    };
    const double dv = -3.0;
    for (const auto &c : cases) {
        const auto nx = static_cast<int32_t>(c.x.size()), ny = static_cast<int32_t>(c.y.size());
        for (const double *defval : {&dv, static_cast<const double *>(nullptr)}) {
            const double expected_default = defval != nullptr ? dv : std::numeric_limits<double>::max();
            Guarded<double> out(nx + ny);
            fGetMerged(out.data(), c.x.data(), c.y.data(), &nx, &ny, defval);
            EXPECT_TRUE(out.guards_intact()) << nx << "+" << ny;
            const std::vector<double> merged(out.v.begin(), out.v.begin() + nx + ny);
            const auto nd = static_cast<int64_t>(c.distinct.size());
            const std::vector<double> head(merged.begin(), merged.begin() + nd);
            for (double v : c.distinct)
                EXPECT_EQ(occurrences(head, v), occurrences(c.distinct, v)) << "value " << v << ", " << nx << "+" << ny;
            for (int64_t i = nd; i < nx + ny; ++i) EXPECT_EQ(merged[static_cast<size_t>(i)], expected_default) << i;
        }
    }
    const std::vector<int32_t> ix = {0, 3}, iy = {3, 9};
    const int32_t two = 2;
    Guarded<int32_t> out(4, -7);
    iGetMerged(out.data(), ix.data(), iy.data(), &two, &two, nullptr);
    std::vector<int32_t> head(out.v.begin(), out.v.begin() + 3);
    std::sort(head.begin(), head.end());
    EXPECT_EQ(head, (std::vector<int32_t>{0, 3, 9}));
    EXPECT_EQ(out[3], std::numeric_limits<int32_t>::max());
    EXPECT_TRUE(out.guards_intact());
}

TEST(UtilityMerge, ZeroSurvivesANaNDefault) {
    // Zero marks the free slots while merging; a NaN default must not lose an input zero.
    const double x[] = {0.0, 4.0}, y[] = {4.0}, dv = kNaN;
    const int32_t nx = 2, ny = 1;
    Guarded<double> out(3);
    fGetMerged(out.data(), x, y, &nx, &ny, &dv);
    EXPECT_EQ(out[0], 4.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_TRUE(std::isnan(out[2]));
    EXPECT_TRUE(out.guards_intact());
}

// ---------------------------------------------------------------- scalars

TEST(UtilityScalars, IncrementDefaultsAndLogicalsOfAnyTrueValue) {
    int32_t i = 4;
    const int32_t step = -3;
    iINC(&i, nullptr);
    EXPECT_EQ(i, 5);
    iINC(&i, &step);
    EXPECT_EQ(i, 2);
    double f = 0.5;
    const double fstep = 0.25;
    fINC(&f, nullptr);
    EXPECT_EQ(f, 1.5);
    fINC(&f, &fstep);
    EXPECT_EQ(f, 1.75);

    // Any non-zero byte is true; results are 0 or 1.
    const kestro_logical1 values[] = {0, 1, 2, -1};
    for (kestro_logical1 a : values)
        for (kestro_logical1 b : values) {
            const bool ta = a != 0, tb = b != 0;
            EXPECT_EQ(lXOR(&a, &b), (ta != tb) ? 1 : 0) << int{a} << " " << int{b};
            EXPECT_EQ(lNOR(&a, &b), (!ta && !tb) ? 1 : 0) << int{a} << " " << int{b};
            EXPECT_EQ(lNAND(&a, &b), !(ta && tb) ? 1 : 0) << int{a} << " " << int{b};
        }
    const double lo = 0.0, hi = 1.0, nan = kNaN;
    EXPECT_EQ(fBounded(&nan, &lo, &hi), 0);
    EXPECT_EQ(fBounded(&hi, &lo, &hi), 1);
}

// ---------------------------------------------------------------- process arrival list

using UtilityProcess = SharedState;

std::vector<int32_t> arrival_list() { return {processid.ptr(), processid.ptr() + processid.extent_of(1)}; }

TEST_F(UtilityProcess, LockMarksArrivalsAndRefusesIdsOutsideTheRange) {
    const int32_t maxid = 3;
    auto lock = [&](int32_t id) { return ProcessLock(&id, &maxid, nullptr); };
    EXPECT_EQ(lock(1), 0);
    EXPECT_EQ(arrival_list(), (std::vector<int32_t>{-1, 2, 3}));
    EXPECT_EQ(lock(3), 0);
    EXPECT_EQ(lock(2), 1);
    EXPECT_EQ(lock(2), 0);  // arrived already
    const auto all_arrived = arrival_list();
    EXPECT_EQ(all_arrived, (std::vector<int32_t>{-1, -1, -1}));
    EXPECT_EQ(lock(4), 0);
    EXPECT_EQ(lock(0), 0);
    EXPECT_EQ(lock(-1), 0);  // the arrived marker itself
    EXPECT_EQ(arrival_list(), all_arrived);

    int32_t ierror = 5;
    ProcessUnLock(&ierror);
    EXPECT_EQ(ierror, 0);
    EXPECT_EQ(arrival_list(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(lock(-1), 0);
    EXPECT_EQ(arrival_list(), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(UtilityProcess, ANewMaxidRecreatesTheListAndZeroGivesAnEmptyOne) {
    const int32_t three = 3, two = 2, zero = 0, negative = -2, one = 1;
    ProcessLock(&one, &three, nullptr);
    EXPECT_EQ(ProcessLock(&one, &two, nullptr), 0);  // fresh list of two: 1 arrives again
    EXPECT_EQ(arrival_list(), (std::vector<int32_t>{-1, 2}));
    EXPECT_EQ(ProcessLock(&two, &two, nullptr), 1);

    EXPECT_EQ(ProcessLock(&one, &zero, nullptr), 0);
    EXPECT_TRUE(processid.exists());
    EXPECT_EQ(processid.extent_of(1), 0);
    EXPECT_EQ(ProcessLock(&zero, &negative, nullptr), 0);
    EXPECT_EQ(processid.extent_of(1), 0);
    int32_t ierror = 5;
    ProcessUnLock(&ierror);
    EXPECT_EQ(ierror, 0);
}

TEST_F(UtilityProcess, UnlockWithoutAListSucceedsAndCreatesNone) {
    int32_t ierror = 5;
    ProcessUnLock(&ierror);
    EXPECT_EQ(ierror, 0);
    EXPECT_FALSE(processid.exists());
}

}  // namespace
