// The linear and nearest-neighbour interpolation package.
#include <cmath>
#include <cstdint>

#include "core/units.hpp"
#include "decl/interp.hpp"

namespace {

[[noreturn]] void fatal(const char *routine, const char *reason) {
    kestro::units::fatal_package_error(routine, {reason});
}

// r8vec_bracket_ for an x known to ascend strictly: the first k in 2 .. n-1
// with xval < x(k) found by bisection (the same pair as the scan).
void bracket_ascending(int32_t n, const double *x, double xval, int32_t *left, int32_t *right) {
    int32_t lo = 2, hi = n - 1;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (xval < x[mid - 1])
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    *right = lo <= n - 1 ? lo : n;
    *left = *right - 1;
}

}  // namespace

extern "C" {

int32_t r8vec_ascends_strictly_(const int32_t *n, const double *x) {
    for (int32_t i = 0; i + 1 < *n; ++i)
        if (x[i] >= x[i + 1]) return 0;
    return 1;
}

void r8vec_bracket_(const int32_t *n, const double *x, const double *xval, int32_t *left, int32_t *right) {
    for (int32_t i = 2; i <= *n - 1; ++i)
        if (*xval < x[i - 1]) {
            *left = i - 1;
            *right = i;
            return;
        }
    *left = *n - 1;
    *right = *n;
}

int32_t r8vec_sorted_nearest_(const int32_t *n, const double *a, const double *value) {
    const int32_t count = *n;
    const double v = *value;
    if (count < 1) return -1;
    if (count == 1) return 1;
    const auto A = [&](int32_t i) { return a[i - 1]; };
    // lo is the end holding the smaller values, hi the end holding the larger.
    int32_t lo = 1, hi = count;
    if (A(count) > A(1)) {  // ascending
        if (v < A(1)) return 1;
        if (v > A(count)) return count;
    } else {  // descending
        if (v < A(count)) return count;
        if (v > A(1)) return 1;
        lo = count;
        hi = 1;
    }
    while (std::abs(lo - hi) > 1) {
        const auto mid = static_cast<int32_t>((int64_t{lo} + hi) / 2);
        if (v == A(mid)) return mid;
        if (A(mid) > v)
            hi = mid;
        else
            lo = mid;
    }
    return std::abs(v - A(lo)) < std::abs(v - A(hi)) ? lo : hi;  // a tie goes to hi
}

void interp_linear_(const int32_t *m, const int32_t *data_num, const double *t_data, const double *p_data,
                    const int32_t *interp_num, const double *t_interp, double *p_interp) {
    if (!r8vec_ascends_strictly_(data_num, t_data))
        fatal("INTERP_LINEAR", "  Independent variable array T_DATA is not strictly increasing.");
    // With fewer than two points there is no segment to interpolate on.
    if (*data_num < 2) fatal("INTERP_LINEAR", "  Fewer than two data points were given.");
    const int32_t dim = *m > 0 ? *m : 0;
    for (int32_t i = 0; i < *interp_num; ++i) {
        const double t = t_interp[i];
        int32_t left = 0, right = 0;
        bracket_ascending(*data_num, t_data, t, &left, &right);
        const double tl = t_data[left - 1], tr = t_data[right - 1];
        for (int32_t k = 0; k < dim; ++k)
            p_interp[static_cast<int64_t>(i) * dim + k] =
                ((tr - t) * p_data[static_cast<int64_t>(left - 1) * dim + k] +
                 (t - tl) * p_data[static_cast<int64_t>(right - 1) * dim + k]) /
                (tr - tl);
    }
}

void interp_nearest_(const int32_t *m, const int32_t *data_num, const double *t_data, const double *p_data,
                     const int32_t *interp_num, const double *t_interp, double *p_interp) {
    if (*data_num < 1) fatal("INTERP_NEAREST", "  No data points were given.");
    const int32_t dim = *m > 0 ? *m : 0;
    for (int32_t i = 0; i < *interp_num; ++i) {
        const int32_t jd = r8vec_sorted_nearest_(data_num, t_data, &t_interp[i]);
        for (int32_t k = 0; k < dim; ++k)
            p_interp[static_cast<int64_t>(i) * dim + k] = p_data[static_cast<int64_t>(jd - 1) * dim + k];
    }
}

}  // extern "C"
