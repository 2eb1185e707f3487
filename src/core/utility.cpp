#include "core/utility.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "core/markers.hpp"

namespace kestro::utility {

namespace {

template <class T>
void fill(T *a, std::initializer_list<int32_t> extents, T lambda) {
    std::fill_n(a, element_count(extents), lambda);
}

// Column j (0-based) of an n-row matrix.
template <class T>
T *column(T *a, int64_t n, int64_t j) {
    return a + j * n;
}

template <class T>
int32_t find_subarray(const T *sub, const T *array, int32_t sdim, int32_t ndim, const int32_t *notfound) {
    if (ndim < sdim) return notfound != nullptr ? *notfound : -1;
    if (sdim < 1) return 1;
    for (int32_t p = 0; p + sdim <= ndim; ++p) {
        int32_t i = 0;
        while (i < sdim && equal(array[p + i], sub[i])) ++i;
        if (i == sdim) return p + 1;
    }
    return notfound != nullptr ? *notfound : -1;
}

template <class T>
void get_pairs(int32_t *ainb, const T *a, const T *b, int32_t n) {
    const int32_t absent = -1;
    for (int32_t i = 0; i < n; ++i) ainb[i] = find_location(a[i], b, n, &absent);
}

template <class T>
bool in_list(T scalar, const T *list, int64_t n) {
    return std::any_of(list, list + std::max<int64_t>(n, 0), [&](const T &v) { return equal(v, scalar); });
}

template <class T>
bool ex_list(T scalar, const T *list, int32_t n) {
    return std::all_of(list, list + std::max(n, 0), [&](const T &v) { return equal(v, scalar); });
}

template <class T>
bool is_nan(T v) {
    if constexpr (std::is_floating_point_v<T>)
        return std::isnan(v);
    else
        return false;
}

// The union of x and y: values of x not in y, values of y not in x, then the
// values common to both once each, then dv.  Zero marks the free slots while
// the list is built, and is put back when an input holds it.  Counts that
// are negative are refused before merged is touched.
template <class T>
void get_merged(T *merged, const T *x, const T *y, int32_t nx, int32_t ny, T dv, const char *routine) {
    if (negative_count(routine, {nx, ny})) return;
    const int64_t total = int64_t{nx} + ny;
    int64_t used = 0;
    for (int32_t i = 0; i < nx; ++i)
        if (!in_list(x[i], y, ny)) merged[used++] = x[i];
    for (int32_t i = 0; i < ny; ++i)
        if (!in_list(y[i], x, nx)) merged[used++] = y[i];
    std::fill(merged + used, merged + total, T{0});
    for (int32_t i = 0; i < nx; ++i) {
        // A NaN has its place from the first pass already and is never found again.
        if (is_nan(x[i]) || in_list(x[i], merged, total)) continue;
        T *slot = std::find_if(merged, merged + total, [](const T &v) { return equal(v, T{0}); });
        if (slot != merged + total) *slot = x[i];
    }
    std::replace_if(merged, merged + total, [](const T &v) { return equal(v, T{0}); }, dv);
    if (in_list(T{0}, x, nx) || in_list(T{0}, y, ny)) {
        // A NaN default must still be found again to make room for the zero.
        T *slot = std::find_if(merged, merged + total,
                               [&](const T &v) { return equal(v, dv) || (is_nan(v) && is_nan(dv)); });
        if (slot != merged + total) *slot = T{0};
    }
}

// Stable sorting permutation, ascending or (descending) descending, NaN last.
// Insertion sort for the short vectors of the integration points (no
// allocation), a merge sort beyond.
template <class T>
void get_continuous(const T *x, int32_t n, int32_t *iloc, bool descending) {
    if (n <= 0) return;
    auto before = [&](int32_t a, int32_t b) {
        const T &u = x[a - 1];
        const T &v = x[b - 1];
        if (is_nan(u)) return false;
        if (is_nan(v)) return true;
        return descending ? u > v : u < v;
    };
    for (int32_t i = 0; i < n; ++i) iloc[i] = i + 1;
    if (n <= 32) {
        for (int32_t i = 1; i < n; ++i) {
            const int32_t key = iloc[i];
            int32_t j = i;
            for (; j > 0 && before(key, iloc[j - 1]); --j) iloc[j] = iloc[j - 1];
            iloc[j] = key;
        }
    } else {
        std::stable_sort(iloc, iloc + n, before);
    }
}

}  // namespace

// The fill family: every element of a(n1, ..., nr) becomes lambda.
#define KESTRO_FILL_FAMILY(prefix, T)                                                                             \
    void prefix##_fillvectorwithscalar(T *a, const int32_t *n1, const T *lambda) noexcept {                      \
        fill(a, {*n1}, *lambda);                                                                                  \
    }                                                                                                             \
    void prefix##_fillmatrixwithscalar(T *a, const int32_t *n1, const int32_t *n2, const T *lambda) noexcept {   \
        fill(a, {*n1, *n2}, *lambda);                                                                             \
    }                                                                                                             \
    void prefix##_fill3darraywithscalar(T *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,            \
                                        const T *lambda) noexcept {                                               \
        fill(a, {*n1, *n2, *n3}, *lambda);                                                                        \
    }                                                                                                             \
    void prefix##_fill4darraywithscalar(T *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,            \
                                        const int32_t *n4, const T *lambda) noexcept {                            \
        fill(a, {*n1, *n2, *n3, *n4}, *lambda);                                                                   \
    }                                                                                                             \
    void prefix##_fill5darraywithscalar(T *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,            \
                                        const int32_t *n4, const int32_t *n5, const T *lambda) noexcept {         \
        fill(a, {*n1, *n2, *n3, *n4, *n5}, *lambda);                                                              \
    }                                                                                                             \
    void prefix##_fill6darraywithscalar(T *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,            \
                                        const int32_t *n4, const int32_t *n5, const int32_t *n6,                  \
                                        const T *lambda) noexcept {                                               \
        fill(a, {*n1, *n2, *n3, *n4, *n5, *n6}, *lambda);                                                         \
    }                                                                                                             \
    void prefix##_fill7darraywithscalar(T *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,            \
                                        const int32_t *n4, const int32_t *n5, const int32_t *n6,                  \
                                        const int32_t *n7, const T *lambda) noexcept {                            \
        fill(a, {*n1, *n2, *n3, *n4, *n5, *n6, *n7}, *lambda);                                                    \
    }

KESTRO_FILL_FAMILY(int, int32_t)
KESTRO_FILL_FAMILY(real, double)
#undef KESTRO_FILL_FAMILY

}  // namespace kestro::utility

using namespace kestro::utility;

extern "C" {

void Ini5DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                         const int32_t *p) {
    fill(a, {*l, *m, *n, *o, *p}, 0.0);
}
void Ini6DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                         const int32_t *p, const int32_t *q) {
    fill(a, {*l, *m, *n, *o, *p, *q}, 0.0);
}
void IniMaxDArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                           const int32_t *p, const int32_t *q, const int32_t *r) {
    fill(a, {*l, *m, *n, *o, *p, *q, *r}, 0.0);
}

void GetTriangularMatrix(double *lu, const double *a, const int32_t *n, const kestro_logical1 *luflag) {
    IniMatrixwithZeros(lu, n, n);
    const bool upper = luflag != nullptr && *luflag != 0;
    const int64_t nn = *n;
    for (int64_t j = 0; j < nn; ++j)
        for (int64_t i = 0; i < nn; ++i)
            if (upper ? i <= j : i >= j) lu[j * nn + i] = a[j * nn + i];
}

void GetUnpackedTriangle(double *lu, const double *packed, const int32_t *nlu, const int32_t * /*np*/,
                         const char *order, const kestro_logical1 *upper) {
    IniMatrixwithZeros(lu, nlu, nlu);
    const int64_t n = *nlu;
    // The packed values list the upper triangle column by column; the result is
    // that triangle or its transpose.
    const bool fortran_order = *order == 'F';
    const bool want_upper = upper != nullptr && *upper != 0;
    const bool transpose = want_upper != fortran_order;
    for (int64_t j = 0; j < n; ++j)
        for (int64_t i = 0; i <= j; ++i) {
            const double v = packed[j * (j + 1) / 2 + i];
            if (transpose)
                lu[i * n + j] = v;
            else
                lu[j * n + i] = v;
        }
}

void GetUnpackedMatrixFromList(double *matrix, const double *list, const int32_t *n, const int32_t *m) {
    copy_n(list, matrix, element_count({*n, *m}));
}

void GetPackedList(double *packed, const double *list, const double *condition, const double *padding,
                   const int32_t *cflag, const int32_t *npack, const int32_t *nlist) {
    const int32_t np = std::max(*npack, 0);
    std::fill_n(packed, np, *padding);
    const double c = *condition;
    auto marked = [&](double v) {
        switch (*cflag) {
        case 1: return v < c;
        case 2: return v <= c;
        case 3: return v == c;
        case 4: return v >= c;
        case 5: return v > c;
        case 6: return !(v == c);
        default: return false;
        }
    };
    const int32_t nl = std::max(*nlist, 0);
    if (std::count_if(list, list + nl, marked) > np) return;
    int32_t k = 0;
    for (int32_t i = 0; i < nl; ++i)
        if (marked(list[i])) packed[k++] = list[i];
}

void FillMatrixOffDiagonals(double *a, const double *x, const int32_t *n, const int32_t *k) {
    const int64_t nn = *n;
    int64_t p = 0;
    for (int64_t c = 0; c < nn; ++c)
        for (int64_t r = c + 1; r < nn; ++r) a[c * nn + r] = x[p++];
    const auto m = static_cast<int64_t>(static_cast<double>(nn * nn - nn) * 0.5);
    if (*k == m) return;
    for (int64_t c = 0; c < nn; ++c)
        for (int64_t r = c + 1; r < nn; ++r) a[r * nn + c] = x[p++];
}

void Linspace(double *x, const double *a, const double *b, const int32_t *n, const kestro_logical1 *endpoint) {
    if (*n <= 0) return;
    const bool with_end = endpoint == nullptr || *endpoint != 0;
    if (*n == 1 && with_end) {
        x[0] = *a;  // a single point is the start
        return;
    }
    const double step = (*b - *a) / static_cast<double>(with_end ? *n - 1 : *n);
    for (int32_t i = 0; i < *n; ++i) x[i] = static_cast<double>(i) * step + *a;
}

void GetIndexVector(int32_t *a, const int32_t *n) {
    for (int32_t i = 0; i < *n; ++i) a[i] = i + 1;
}

void Symmetrize(const double *lu, double *sym, const int32_t *n) {
    const int64_t nn = *n;
    for (int64_t j = 0; j < nn; ++j)
        for (int64_t i = 0; i < nn; ++i) {
            const double v = lu[j * nn + i];
            sym[j * nn + i] = v != 0.0 ? v : lu[i * nn + j];
        }
}

void MatrixSort(double *a, const double *b, const int32_t *mask, const int32_t *m, const int32_t *n) {
    const int64_t rows = std::max(*m, 0);
    for (int32_t k = 0; k < *n; ++k) {
        const int64_t j = mask[k] - 1;
        copy_n(column(b, rows, j), column(a, rows, j), rows);
    }
}

void VectorSort(double *a, const double *b, const int32_t *mask, const int32_t *n) {
    for (int32_t k = 0; k < *n; ++k) a[mask[k] - 1] = b[mask[k] - 1];
}

void MatrixConcatenation(const double *a, const double *b, double *ab, const int32_t *ctype, const int32_t *k,
                         const int32_t *l, const int32_t *m, const int32_t *n) {
    const int64_t kk = std::max(*k, 0), ll = std::max(*l, 0), mm = std::max(*m, 0), nn = std::max(*n, 0);
    const int64_t rows = kk + *ctype * mm;
    const int64_t cols = ll + nn - *ctype * nn;
    if (rows > 0 && cols > 0) std::fill_n(ab, rows * cols, 0.0);
    if (*ctype == 0) {
        for (int64_t j = 0; j < ll; ++j) copy_n(column(a, kk, j), column(ab, rows, j), kk);
        for (int64_t j = 0; j < nn; ++j) copy_n(column(b, mm, j), column(ab, rows, ll + j), mm);
    } else if (*ctype == 1) {
        for (int64_t j = 0; j < ll; ++j) copy_n(column(a, kk, j), column(ab, rows, j), kk);
        for (int64_t j = 0; j < nn; ++j) copy_n(column(b, mm, j), column(ab, rows, j) + kk, mm);
    }
}

void VectorSplit(const double *a, double *b, const int32_t *k, const int32_t *n) {
    if (*k <= 0) return;  // no pieces to form
    const int64_t piece = *n / *k;
    std::fill_n(b, std::max<int64_t>(piece * *k, 0), -1.0);
    if (*n % *k != 0) return;
    copy_n(a, b, piece * *k);
}

void MatrixSplit(const double *a, double *b, const int32_t *k, const int32_t *l, const int32_t *m) {
    if (*k <= 0) return;
    const int64_t piece = *l / *k;
    const int64_t cols = std::max(*m, 0);
    const int64_t kk = *k;
    std::fill_n(b, std::max<int64_t>(piece * cols * kk, 0), -1.0);
    if (*l % *k != 0 || piece <= 0) return;
    // b(i, j, c) = a((c-1)*piece + i, j)
    for (int64_t c = 0; c < kk; ++c)
        for (int64_t j = 0; j < cols; ++j)
            copy_n(column(a, *l, j) + c * piece, b + (c * cols + j) * piece, piece);
}

void VectorFlip(const double *a, double *b, const int32_t *n) {
    for (int32_t i = 0; i < *n; ++i) b[i] = a[*n - 1 - i];
}

void MatrixFlip(const double *a, double *b, const int32_t *n, const int32_t *m, const int32_t *dimflag) {
    const int64_t rows = *n, cols = *m;
    for (int64_t j = 0; j < cols; ++j)
        for (int64_t i = 0; i < rows; ++i)
            b[j * rows + i] = *dimflag >= 0 ? a[j * rows + (rows - 1 - i)] : a[(cols - 1 - j) * rows + i];
}

void GetSubArray(double *subarray, int32_t *subslice, const double *array, const int32_t *narray,
                 const int32_t *nsub, const kestro_logical1 *tail) {
    subslice[0] = -1;
    subslice[1] = -1;
    std::fill_n(subarray, std::max(*nsub, 0), 1.0);
    const int32_t na = std::max(*narray, 0);
    const int32_t d = na - *nsub;
    if (d < 0 || *nsub < 0) return;
    const bool from_tail = tail == nullptr || *tail != 0;
    const int32_t first = from_tail ? d + 1 : 1;
    subslice[0] = first;
    subslice[1] = first + *nsub - 1;
    copy_n(array + first - 1, subarray, *nsub);
}

void fGetContinuous(const double *xarr, const int32_t *xdim, int32_t *iloc, const int32_t *sflag) {
    get_continuous(xarr, *xdim, iloc, *sflag == -1);
}
void iGetContinuous(const int32_t *xarr, const int32_t *xdim, int32_t *iloc, const int32_t *sflag) {
    get_continuous(xarr, *xdim, iloc, *sflag == -1);
}

int32_t iFindSubArray(const int32_t *subarray, const int32_t *array, const int32_t *sdim, const int32_t *ndim,
                      const int32_t *notfound) {
    return find_subarray(subarray, array, *sdim, *ndim, notfound);
}
int32_t fFindSubArray(const double *subarray, const double *array, const int32_t *sdim, const int32_t *ndim,
                      const int32_t *notfound) {
    return find_subarray(subarray, array, *sdim, *ndim, notfound);
}
int32_t cFindSubArray(const kestro_complex *subarray, const kestro_complex *array, const int32_t *sdim,
                      const int32_t *ndim, const int32_t *notfound) {
    return find_subarray(subarray, array, *sdim, *ndim, notfound);
}

void iGetPairs(int32_t *ainb, const int32_t *a, const int32_t *b, const int32_t *n) { get_pairs(ainb, a, b, *n); }
void fGetPairs(int32_t *ainb, const double *a, const double *b, const int32_t *n) { get_pairs(ainb, a, b, *n); }

kestro_logical1 iInList(const int32_t *scalar, const int32_t *list, const int32_t *n) {
    return logical(in_list(*scalar, list, *n));
}
kestro_logical1 fInList(const double *scalar, const double *list, const int32_t *n) {
    return logical(in_list(*scalar, list, *n));
}
kestro_logical1 iExList(const int32_t *scalar, const int32_t *list, const int32_t *n) {
    return logical(ex_list(*scalar, list, *n));
}
kestro_logical1 fExList(const double *scalar, const double *list, const int32_t *n) {
    return logical(ex_list(*scalar, list, *n));
}

void GetIndicesExcludingSubArray(int32_t *indices, const int32_t *a, const int32_t *sub, const int32_t *n,
                                 const int32_t *nsub) {
    std::fill_n(indices, std::max(*n, 0), -1);
    int32_t kept = 0;
    for (int32_t i = 0; i < *n; ++i)
        if (!in_list(a[i], sub, *nsub)) indices[kept++] = i + 1;
}

void iGetMerged(int32_t *merged, const int32_t *x, const int32_t *y, const int32_t *nx, const int32_t *ny,
                const int32_t *defval) {
    get_merged(merged, x, y, *nx, *ny, defval != nullptr ? *defval : kestro::kAbsentInt, "iGetMerged");
}
void fGetMerged(double *merged, const double *x, const double *y, const int32_t *nx, const int32_t *ny,
                const double *defval) {
    get_merged(merged, x, y, *nx, *ny, defval != nullptr ? *defval : kestro::kAbsentReal, "fGetMerged");
}

kestro_logical1 ProcessLock(const int32_t *procid, const int32_t *maxid, const int32_t * /*wflag*/) {
    using kestro::jobdata::processid;
    const int32_t n = std::max(*maxid, 0);
    if (!processid.exists() || processid.extent_of(1) != n) {
        processid.drop();
        GetIndexVector(processid.create(n), &n);
    }
    // Only a pending id in 1..maxid arrives: an arrived entry holds -1, so -1
    // (or any other id outside the range) must not be looked up.
    if (*procid < 1 || *procid > n) return 0;
    const int32_t at = find_location(*procid, processid.ptr(), n, nullptr);
    if (at < 0) return 0;
    processid(at) = -1;
    return logical(std::all_of(processid.ptr(), processid.ptr() + n, [](int32_t v) { return v == -1; }));
}

void ProcessUnLock(int32_t *ierror) {
    using kestro::jobdata::processid;
    *ierror = -1;
    if (processid.exists()) {
        const auto n = static_cast<int32_t>(processid.extent_of(1));
        GetIndexVector(processid.ptr(), &n);
    }
    *ierror = 0;
}

}  // extern "C"
