// The rest of the interpolation package: Lagrange interpolation through all
// points, the abscissas of five quadrature rule families, parameterisations
// of point sequences, linear refinement of vectors, bilinear resampling of
// matrices and the time stamp.
#include <cmath>
#include <cstdint>

#include "core/format.hpp"
#include "core/scratch.hpp"
#include "core/units.hpp"
#include "decl/interp.hpp"

namespace {

constexpr double kPi = 3.141592653589793;

[[noreturn]] void fatal(const char *routine, const char *reason) {
    kestro::units::fatal_package_error(routine, {reason});
}

void require_points(const char *routine, int32_t n) {
    if (n < 1) fatal(routine, "  N < 1.");
}

double mapped(double a, double b, double u) { return ((a + b) + (b - a) * u) / 2.0; }

// x(i) = point(n, i) for i = 1 .. n after the check of n; a single point goes
// to centre instead when one is given.
template <class Point>
void abscissas(const char *routine, const int32_t *n, double *x, const double *centre, Point point) {
    require_points(routine, *n);
    if (*n == 1 && centre != nullptr) {
        x[0] = *centre;
        return;
    }
    for (int32_t i = 1; i <= *n; ++i) x[i - 1] = point(*n, i);
}

constexpr double kZero = 0.0;

double cc_point(int32_t n, int32_t i) {
    return std::cos(kPi * static_cast<double>(n - i) / static_cast<double>(n - 1));
}

double f1_point(int32_t n, int32_t i) {
    return std::cos(kPi * static_cast<double>(2 * (n - i) + 1) / static_cast<double>(2 * n));
}

double f2_point(int32_t n, int32_t i) {
    return std::cos(kPi * static_cast<double>(n + 1 - i) / static_cast<double>(n + 1));
}

int64_t at(int64_t i, int64_t j, int64_t rows) { return j * rows + i; }

}  // namespace

extern "C" {

void lagrange_value_(const int32_t *data_num, const double *t_data, const int32_t *interp_num,
                     const double *t_interp, double *l_interp) {
    const int64_t nd = *data_num;
    for (int64_t j = 0; j < *interp_num; ++j)
        for (int64_t i = 0; i < nd; ++i) {
            double l = 1.0;
            for (int64_t k = 0; k < nd; ++k)
                if (k != i) l *= (t_interp[j] - t_data[k]) / (t_data[i] - t_data[k]);
            l_interp[at(i, j, nd)] = l;
        }
}

void interp_lagrange_(const int32_t *m, const int32_t *data_num, const double *t_data, const double *p_data,
                      const int32_t *interp_num, const double *t_interp, double *p_interp) {
    const int64_t dim = *m, nd = *data_num > 0 ? *data_num : 0, ni = *interp_num;
    if (dim < 1 || ni < 1) return;
    kestro::Scratch<double> l(nd * ni);
    lagrange_value_(data_num, t_data, interp_num, t_interp, l.data());
    for (int64_t j = 0; j < ni; ++j)
        for (int64_t r = 0; r < dim; ++r) {
            double sum = 0.0;
            for (int64_t k = 0; k < nd; ++k) sum += p_data[at(r, k, dim)] * l[static_cast<std::size_t>(at(k, j, nd))];
            p_interp[at(r, j, dim)] = sum;
        }
}

// ---------------------------------------------------------------- quadrature abscissas

void cc_abscissas_(const int32_t *n, double *x) { abscissas("CC_ABSCISSA", n, x, &kZero, cc_point); }

void cc_abscissas_ab_(const double *a, const double *b, const int32_t *n, double *x) {
    const double centre = (*a + *b) / 2.0;
    abscissas("CC_ABSCISSAS_AB", n, x, &centre,
              [a, b](int32_t k, int32_t i) { return mapped(*a, *b, cc_point(k, i)); });
}

void f1_abscissas_(const int32_t *n, double *x) { abscissas("F1_ABSCISSAS", n, x, &kZero, f1_point); }

void f1_abscissas_ab_(const double *a, const double *b, const int32_t *n, double *x) {
    const double centre = (*a + *b) / 2.0;
    abscissas("F1_ABSCISSAS_AB", n, x, &centre,
              [a, b](int32_t k, int32_t i) { return mapped(*a, *b, f1_point(k, i)); });
}

void f2_abscissas_(const int32_t *n, double *x) {
    // Two points are exactly -0.5 and 0.5 here (the mapped form computes them).
    abscissas("F2_ABSCISSAS", n, x, &kZero,
              [](int32_t k, int32_t i) { return k == 2 ? (i == 1 ? -0.5 : 0.5) : f2_point(k, i); });
}

void f2_abscissas_ab_(const double *a, const double *b, const int32_t *n, double *x) {
    abscissas("F2_ABSCISSAS_AB", n, x, nullptr,
              [a, b](int32_t k, int32_t i) { return mapped(*a, *b, f2_point(k, i)); });
}

void ncc_abscissas_(const int32_t *n, double *x) {
    abscissas("NCC_ABSCISSAS", n, x, &kZero, [](int32_t k, int32_t i) {
        return static_cast<double>((i - 1) - (k - i)) / static_cast<double>(k - 1);
    });
}

void ncc_abscissas_ab_(const double *a, const double *b, const int32_t *n, double *x) {
    const double centre = (*a + *b) / 2.0;
    abscissas("NCC_ABSCISSAS_AB", n, x, &centre, [a, b](int32_t k, int32_t i) {
        return (static_cast<double>(k - i) * *a + static_cast<double>(i - 1) * *b) / static_cast<double>(k - 1);
    });
}

void nco_abscissas_(const int32_t *n, double *x) {
    abscissas("NCO_ABSCISSAS", n, x, nullptr, [](int32_t k, int32_t i) {
        return static_cast<double>(i - (k + 1 - i)) / static_cast<double>(k + 1);
    });
}

void nco_abscissas_ab_(const double *a, const double *b, const int32_t *n, double *x) {
    abscissas("NCO_ABSCISSAS_AB", n, x, nullptr, [a, b](int32_t k, int32_t i) {
        return (static_cast<double>(k + 1 - i) * *a + static_cast<double>(i) * *b) / static_cast<double>(k + 1);
    });
}

// ---------------------------------------------------------------- parameterisation

void parameterize_arc_length_(const int32_t *m, const int32_t *data_num, const double *p_data, double *t_data) {
    const int64_t dim = *m > 0 ? *m : 0;
    if (*data_num < 1) return;
    t_data[0] = 0.0;
    for (int64_t j = 1; j < *data_num; ++j) {
        double sum = 0.0;
        for (int64_t r = 0; r < dim; ++r) {
            const double d = p_data[at(r, j, dim)] - p_data[at(r, j - 1, dim)];
            sum += d * d;
        }
        t_data[j] = t_data[j - 1] + std::sqrt(sum);
    }
}

void parameterize_index_(const int32_t *, const int32_t *data_num, const double *, double *t_data) {
    for (int32_t j = 0; j < *data_num; ++j) t_data[j] = static_cast<double>(j);
}

// ---------------------------------------------------------------- refinement and resampling

void r8vec_expand_linear_(const int32_t *n, const double *x, const int32_t *fat, double *xfat) {
    // Without points, or with a negative refinement, xfat has no room.
    if (*n < 1 || *fat < 0) return;
    const int32_t f = *fat;
    int64_t k = 0;
    for (int32_t i = 0; i + 1 < *n; ++i) {
        xfat[k++] = x[i];
        for (int32_t j = 1; j <= f; ++j)
            xfat[k++] = (static_cast<double>(f - j + 1) * x[i] + static_cast<double>(j) * x[i + 1]) /
                        static_cast<double>(f + 1);
    }
    xfat[k] = x[*n - 1];
}

void r8vec_expand_linear2_(const int32_t *n, const double *x, const int32_t *before, const int32_t *fat,
                           const int32_t *after, double *xfat) {
    if (*n < 2) fatal("R8VEC_EXPAND_LINEAR2", "  N < 2.");
    if (*fat < 0 || *before < 0 || *after < 0) return;
    const int32_t f = *fat, last = *n - 1;
    const double div = static_cast<double>(f + 1);
    int64_t k = 0;
    const double left = x[0] - (x[1] - x[0]);
    for (int32_t j = f + 1 - *before; j <= f; ++j)
        xfat[k++] = (static_cast<double>(f - j + 1) * left + static_cast<double>(j) * x[0]) / div;
    r8vec_expand_linear_(n, x, fat, xfat + k);
    k += static_cast<int64_t>(last) * (f + 1) + 1;
    const double right = x[last] + (x[last] - x[last - 1]);
    for (int32_t j = 1; j <= *after; ++j)
        xfat[k++] = (static_cast<double>(f - j + 1) * x[last] + static_cast<double>(j) * right) / div;
}

void r8mat_expand_linear2_(const int32_t *m, const int32_t *n, const double *a, const int32_t *m2,
                           const int32_t *n2, double *a2) {
    if (*m < 2 || *n < 2) fatal("R8MAT_EXPAND_LINEAR2", "  M < 2 or N < 2.");
    // The fractional position on [0, 1] of index i of count, and the pair of
    // source indices (1-based) around it with their positions.
    struct Bracket {
        double t, t1, t2;
        int64_t i1, i2;
    };
    const auto bracket = [](int32_t i, int32_t count, int32_t source) {
        Bracket b{};
        b.t = count == 1 ? 0.5 : static_cast<double>(i - 1) / static_cast<double>(count - 1);
        b.i1 = static_cast<int64_t>(static_cast<double>(source - 1) * b.t) + 1;
        b.i2 = b.i1 + 1;
        if (b.i2 > source) {
            b.i1 = source - 1;
            b.i2 = source;
        }
        b.t1 = static_cast<double>(b.i1 - 1) / static_cast<double>(source - 1);
        b.t2 = static_cast<double>(b.i2 - 1) / static_cast<double>(source - 1);
        return b;
    };
    const int64_t rows = *m, rows2 = *m2 > 0 ? *m2 : 0;
    for (int32_t i = 1; i <= *m2; ++i) {
        const Bracket r = bracket(i, *m2, *m);
        for (int32_t j = 1; j <= *n2; ++j) {
            const Bracket s = bracket(j, *n2, *n);
            const auto A = [&](int64_t ii, int64_t jj) { return a[at(ii - 1, jj - 1, rows)]; };
            a2[at(i - 1, j - 1, rows2)] =
                ((r.t2 - r.t) * (s.t2 - s.t) * A(r.i1, s.i1) + (r.t - r.t1) * (s.t2 - s.t) * A(r.i2, s.i1) +
                 (r.t2 - r.t) * (s.t - s.t1) * A(r.i1, s.i2) + (r.t - r.t1) * (s.t - s.t1) * A(r.i2, s.i2)) /
                ((r.t2 - r.t1) * (s.t2 - s.t1));
        }
    }
}

void interp_timestamp_(void) {
    kestro::units::write_record(kestro::units::standard_output, kestro::format::timestamp_now());
}

}  // extern "C"
