// Resin constants from temperature blocks of the property vector, the
// calibration tables of module materialdata (secant, normal, shear and cubic
// moduli over strain and temperature), and the elastic resin laws.  Called at
// every integration point: no allocation for tables of up to 512 points.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "core/shared_data.hpp"
#include "decl/math.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/resin.hpp"

namespace {

using kestro::Allocatable;

// The constants of property blocks of `width` entries (T first) at temp,
// width - 1 of them into `out`: linear in temp between the T of blocks 1 and
// 2 and clamped outside when props holds two blocks of different T, else
// those of block 1.  Fewer entries than one block record `too_few` and give
// zeros.
bool blocks_at(const double *props, int32_t nprops, int32_t width, double temp, double *out,
               std::string_view too_few) {
    if (nprops < width) {
        std::fill(out, out + width - 1, 0.0);
        kestro::record_error(-2, too_few);
        return false;
    }
    const double *first = props, *second = props + width;
    double w = 0.0;
    if (nprops >= 2 * width && second[0] != first[0])
        w = std::min(std::max((temp - first[0]) / (second[0] - first[0]), 0.0), 1.0);
    for (int32_t k = 1; k < width; ++k) out[k - 1] = w == 0.0 ? first[k] : (1.0 - w) * first[k] + w * second[k];
    return true;
}

// Row r (1-based) of a calibration table (rows, points, 2) at x: trailing
// (0, 0) points are unfilled and dropped; one point gives its y, two or more
// the monotone cubic at x clamped to their range, none gives `none`.
double row_at(const Allocatable<double, 3> &table, int64_t r, double x, double none) {
    int64_t n = table.extent_of(2);
    while (n > 0 && table(r, n, 1) == 0.0 && table(r, n, 2) == 0.0) --n;
    if (n == 0) return none;
    if (n == 1) return table(r, 1, 2);
    if (std::isnan(x)) return x;
    kestro::Scratch<double, 64> xs(n), ys(n);
    for (int64_t i = 0; i < n; ++i) {
        xs[static_cast<std::size_t>(i)] = table(r, i + 1, 1);
        ys[static_cast<std::size_t>(i)] = table(r, i + 1, 2);
    }
    double at = x;
    if (at < xs[0]) at = xs[0];
    if (at > xs[static_cast<std::size_t>(n - 1)]) at = xs[static_cast<std::size_t>(n - 1)];
    const int32_t points = static_cast<int32_t>(n), one = 1;
    double y = 0.0;
    kestro::math::cubichermitianinterpolation(&y, xs.data(), &points, ys.data(), &at, &one);
    return y;
}

// A calibration table at (temp, x): its rows follow `temperatures`, linear in
// temp between the bracketing rows and clamped outside (row 1 without
// `temperatures`); `none` for a row without points, or without a table.
double table_at(const Allocatable<double, 3> &table, double temp, double x, double none) {
    if (!table.exists() || table.extent_of(1) < 1 || table.extent_of(2) < 1 || table.extent_of(3) < 2) return none;
    const auto &t = kestro::materialdata::temperatures;
    const int64_t rows = t.exists() ? std::min(t.extent_of(1), table.extent_of(1)) : 1;
    if (rows <= 1 || temp <= t(1)) return row_at(table, 1, x, none);
    if (temp >= t(rows)) return row_at(table, rows, x, none);
    if (std::isnan(temp)) return temp;
    // temp >= t(k) holds on entry to each pass, so t(k) < temp < t(k + 1).
    int64_t k = 1;
    while (!(temp < t(k + 1))) ++k;
    const double w = (temp - t(k)) / (t(k + 1) - t(k));
    return (1.0 - w) * row_at(table, k, x, none) + w * row_at(table, k + 1, x, none);
}

// Zeros stress(ntens) and, when given, the ntens * ntens entries of tangent,
// and records -2 `message`.
void refuse(double *stress, double *tangent, int32_t ntens, std::string_view message) {
    std::fill_n(stress, ntens, 0.0);
    if (tangent != nullptr) kestro::lamina::zero_square(tangent, ntens);
    kestro::record_error(-2, message);
}

// The linear isotropic law of E = props(1), nu = props(3), its stiffness in
// `tangent` when given; zeros and -2 `few` for too few properties, `dimension`
// for other components.
void isotropic_law(double *stress, const double *strain, const double *props, int32_t ntens, int32_t nprops,
                   double *tangent, std::string_view few, std::string_view dimension) {
    if (nprops < 3) return refuse(stress, tangent, ntens, few);
    if (!kestro::resin::cubic_law(kestro::resin::isotropic(props[0], props[2]), strain, ntens, stress, tangent))
        refuse(stress, tangent, ntens, dimension);
}

}  // namespace

bool kestro::resin::calibrated(const Allocatable<double, 3> &table) noexcept {
    if (!table.exists() || table.extent_of(1) < 1 || table.extent_of(2) < 1 || table.extent_of(3) < 2) return false;
    for (int64_t p = 1; p <= table.extent_of(2); ++p)
        for (int64_t r = 1; r <= table.extent_of(1); ++r)
            if (table(r, p, 1) != 0.0 || table(r, p, 2) != 0.0) return true;
    return false;
}

extern "C" {

void GetResinProperties(const double *props, const int32_t *nprops, const double *temp, double *E, double *nu,
                        double *num, double *gamma, double *degr, double *xt, double *xc, double *np,
                        double *a_woehler, double *exp_woehler, const int32_t * /*noel: not read*/) {
    double v[10];
    blocks_at(props, *nprops, 11, *temp, v, "Warning: Too few properties in GetResinProperties");
    double *const out[10] = {E, nu, num, gamma, degr, xt, xc, np, a_woehler, exp_woehler};
    for (int k = 0; k < 10; ++k) *out[k] = v[k];
}

void GetResinPlasticProperties(const double *props, const int32_t *nprops, const double *temp,
                               const double * /*eqplaststrain: not read*/, double *et, double *ec, double *g,
                               double *nut, double *nuc, double *a0, double *a1, double *alpha, double *degr,
                               double *xt, double *xc, double *np, double *a_woehler, double *exp_woehler) {
    double v[14];
    blocks_at(props, *nprops, 15, *temp, v, "Warning: Too few properties in GetResinPlasticProperties");
    double *const out[14] = {et, ec, g, nut, nuc, a0, a1, alpha, degr, xt, xc, np, a_woehler, exp_woehler};
    for (int k = 0; k < 14; ++k) *out[k] = v[k];
}

// The time step, the start strain, the strengths, the S-N data, the
// degradation factor and the failure indicator are the caller's and not read.
void GetResinOrthotropicProperties(const double *props, const int32_t *nprops, const double *temp,
                                   const double * /*dtime*/, const double * /*stran*/, const double *endstran,
                                   double *E1, double *E2, double *E3, double *nu12, double *nu13, double *nu23,
                                   double *nu21, double *nu31, double *nu32, double *G12, double *G13, double *G23,
                                   const double * /*xt*/, const double * /*xc*/, const double * /*np*/,
                                   const double * /*a_woehler*/, const double * /*exp_woehler*/,
                                   const double * /*degr*/, const int32_t * /*noel*/, const double * /*fi*/) {
    double *const moduli[6] = {E1, E2, E3, G12, G13, G23};
    double *const ratios[6] = {nu12, nu13, nu23, nu21, nu31, nu32};
    double v[10];
    if (!blocks_at(props, *nprops, 11, *temp, v, "Warning: Too few properties in GetResinOrthotropicProperties")) {
        for (int k = 0; k < 6; ++k) *moduli[k] = *ratios[k] = 0.0;
        return;
    }
    const double e = v[0], nu = v[1], g = e / (2.0 * (1.0 + nu));
    for (int i = 0; i < 3; ++i) {
        *moduli[i] = table_at(kestro::materialdata::normalprops, *temp, endstran[i], e);
        *moduli[i + 3] = table_at(kestro::materialdata::shearprops, *temp, std::abs(endstran[i + 3]), g);
    }
    *nu12 = *nu13 = *nu23 = nu;
    *nu21 = nu * *E2 / *E1;
    *nu31 = nu * *E3 / *E1;
    *nu32 = nu * *E3 / *E2;
}

void GetModulusFromTable(const double *eqstrain, double *E, const double *temp) {
    *E = table_at(kestro::materialdata::secantprops, *temp, *eqstrain, 0.0);
}

void GetStressFromIsotropicViscoElasticity(double *stress, const double *strain, const double *props,
                                           const int32_t *ntens, const int32_t * /*ndi: not read*/,
                                           const int32_t *nprops) {
    isotropic_law(stress, strain, props, *ntens, *nprops, nullptr,
                  "Unsupported number of properties in GetStressFromIsotropicViscoElasticity",
                  "Unsupported dimension in GetStressFromIsotropicViscoElasticity");
}

void GetStressFromDevVolDecomposition(double *stress, const double *strain, const double *props,
                                      const int32_t *ntens, const int32_t * /*ndi: not read*/, const int32_t *nprops,
                                      double *ddsdde) {
    isotropic_law(stress, strain, props, *ntens, *nprops, ddsdde,
                  "Unsupported number of properties in GetStressFromDevVolDecomposition",
                  "Unsupported dimension in GetStressFromDevVolDecomposition");
}

void GetStressFromCubicElasticity(double *stress, const double *endstran, const double *props, const int32_t *ntens,
                                  const int32_t *ndi, const int32_t *nprops, double *c,
                                  const int32_t * /*noel: not read*/) {
    const int32_t n = *ntens;
    if (*nprops < 2) return refuse(stress, c, n, "Unsupported number of properties in GetStressFromCubicElasticity");
    if (n != 3 && n != 4 && n != 6)
        return refuse(stress, c, n, "Unsupported dimension in GetStressFromCubicElasticity");
    double eqstrain = 0.0;
    EquivalentStrain(endstran, &eqstrain, ndi, ntens);
    using kestro::materialdata::alpha1props, kestro::materialdata::alpha2props, kestro::materialdata::alpha3props;
    const double temp = props[0], factor = props[1];
    const kestro::resin::Cubic stiffness{factor * table_at(alpha1props, temp, eqstrain, 0.0),
                                         factor * table_at(alpha2props, temp, eqstrain, 0.0),
                                         factor * table_at(alpha3props, temp, eqstrain, 0.0)};
    kestro::resin::cubic_law(stiffness, endstran, n, stress, c);
}

}  // extern "C"
