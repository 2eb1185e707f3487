// Loads of the impactors for a solver's load hooks (a point force, an edge
// load, a surface pressure with six distributions) and tabulated amplitudes.
// The load hooks run at every load point of every increment: they read the
// shared arrays in place, allocate nothing and write nothing but their
// arguments.  The kind of an element is found through the registry's index
// of elemlist, the kind of a step through the job's rule.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/markers.hpp"
#include "core/errorhandling.hpp"
#include "core/job.hpp"
#include "core/scratch.hpp"
#include "core/shared_data.hpp"
#include "decl/imageprocessing.hpp"
#include "decl/math.hpp"
#include "decl/signalprocessing.hpp"
#include "decl/sldcollection.hpp"
#include "elements/impactor.hpp"
#include "elements/registry.hpp"

namespace kestro::elements {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSmallest = std::numeric_limits<double>::min();
constexpr double kNegligible = 1e-10;  // direction components below this count as 0
constexpr double kPointForceScale = 2.5e-07;
constexpr std::size_t kNameLength = 80;

// Load codes, in the order of their keywords (a later keyword wins).
enum LoadCode : int32_t {
    no_load = 0,
    point = 1,
    uniform = 2,
    pyramidal = 3,
    parabolic = 4,
    hertzian = 5,
    automatic = 6,
    sine = 7,
    cosine = 8,
    edge = 9,
};
constexpr std::string_view kLoadKeywords[] = {"POINT",     "UNIFORM", "PYRAMIDAL", "PARABOLIC", "HERTZIAN",
                                              "AUTOMATIC", "SINE",    "COSINE",    "EDGE"};
constexpr std::string_view kHalvingKeywords[] = {"SYMX", "SYMY", "SYM2"};
constexpr std::string_view kQuarteringKeyword = "SYM4";


bool holds(std::string_view name, std::string_view keyword) { return name.find(keyword) != std::string_view::npos; }

int32_t load_code_of(std::string_view name) {
    int32_t code = no_load;
    for (int32_t k = 0; k < static_cast<int32_t>(std::size(kLoadKeywords)); ++k)
        if (holds(name, kLoadKeywords[k])) code = k + 1;
    return code;
}

bool halved(std::string_view name) {
    return std::any_of(std::begin(kHalvingKeywords), std::end(kHalvingKeywords),
                       [name](std::string_view k) { return holds(name, k); });
}

// The integer a real row holds: only a finite value whose truncation fits 4 bytes.
bool as_integer(double x, int32_t &value) {
    if (!(std::abs(x) < 2147483648.0)) return false;
    value = static_cast<int32_t>(x);
    return true;
}

// t = v with every component of magnitude at most kNegligible set to 0.0.
void clean(double *t) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(t[k]) <= kNegligible) t[k] = 0.0;
}

// The row of the largest magnitude of a column (0-based; the first on ties).
int dominant_row(const double *column) {
    int row = 0;
    for (int k = 1; k < 3; ++k)
        if (std::abs(column[k]) > std::abs(column[row])) row = k;
    return row;
}

// The in-plane distance between two points taken in two of their coordinates.
double plane_distance(const double *a, const double *b, int first, int second) {
    const double p[2] = {a[first], a[second]}, q[2] = {b[first], b[second]}, straight = 0.0;
    const int32_t two = 2;
    return EffectiveArcLength(p, q, &straight, &two);
}

// Whether the cubic interpolation can take a table of these abscissas (at
// least two rows, strictly increasing); when not, the warning names the
// table and the cause, and the amplitude stays 0.0.
bool interpolable(const double *x, int32_t rows, std::string_view table) {
    if (rows < 2) {
        record_error(-2, "Warning: Fewer than two rows in %S", {0}, {0.0}, {table});
        return false;
    }
    for (int32_t i = 1; i < rows; ++i)
        if (!(x[i] > x[i - 1])) {
            record_error(-2, "Warning: Abscissas not strictly increasing in %S", {0}, {0.0}, {table});
            return false;
        }
    return true;
}

}  // namespace

}  // namespace kestro::elements

using namespace kestro;
using namespace kestro::elements;

extern "C" {

double UniformSurfaceLoad(const double *f, const double *relementlength, const double *selementlength) {
    return *f / (4.0 * *relementlength * *selementlength);
}

double PyramidalSurfaceLoad(const double *f, const double *rcorr, const double *scorr, const double *r0,
                            const double *s0, const double *relementlength, const double *selementlength) {
    const double a = *relementlength, b = *selementlength;
    return *f / (a * b) * (1.0 - std::abs(*rcorr - *r0) / a) * (1.0 - std::abs(*scorr - *s0) / b);
}

double SineSurfaceLoad(const double *f, const double *rcorr, const double *scorr, const double *r0, const double *s0,
                       const double *relementlength, const double *selementlength) {
    const double a = *relementlength, b = *selementlength;
    return *f / (a * b) * std::sin(kPi * (*rcorr - *r0) / a) * std::sin(kPi * (*scorr - *s0) / b);
}

double CosineSurfaceLoad(const double *f, const double *rcorr, const double *scorr, const double *r0,
                         const double *s0, const double *relementlength, const double *selementlength) {
    const double a = *relementlength, b = *selementlength;
    return *f / (4.0 * a * b) * (1.0 + std::cos(kPi * (*rcorr - *r0) / a)) * (1.0 + std::cos(kPi * (*scorr - *s0) / b));
}

double ParabolicSurfaceLoad(const double *f, const double *rcorr, const double *scorr, const double *r0,
                            const double *s0, const double *relementlength, const double *selementlength) {
    const double a = *relementlength, b = *selementlength, dr = *rcorr - *r0, ds = *scorr - *s0;
    return 3.0 * *f / (8.0 * a * b) * (1.0 - dr * dr / (a * a + a * b) - ds * ds / (b * b + a * b));
}

double HertzianSurfaceLoad(const double *f, const double *rcorr, const double *scorr, const double *r0,
                           const double *s0, const double *rcontradius, const double *scontradius) {
    const double a = *rcontradius, b = *scontradius, dr = *rcorr - *r0, ds = *scorr - *s0;
    return 3.0 * *f / (2.0 * kPi * a * b) * std::sqrt(1.0 - dr * dr / (a * a) - ds * ds / (b * b));
}

void cload(double *f, double *ldflag, const double *cforce, const char *sname) {
    const std::string_view name(sname, kNameLength);
    if (*ldflag == 0.0) {
        const int32_t code = load_code_of(name);
        if (code == no_load) {
            *f = 0.0;
            record_error(-2, "Warning: No valid load state detected in %S", {0}, {0.0}, {"LDFLAG"});
            return;
        }
        *ldflag = code;
    }
    *f = std::abs(*ldflag) == 1.0 && (*cforce >= 0.0 || *ldflag == -1.0) ? *cforce / kPointForceScale : 0.0;
    for (std::string_view keyword : kHalvingKeywords)
        if (holds(name, keyword)) *f *= 0.5;
    if (holds(name, kQuarteringKeyword)) *f *= 0.25;
}

void deload(double *alpha, double *t_user, const int32_t *, const int32_t *, const double *, const int32_t *,
            const int32_t *, const double *, const double *dircos, const int32_t *, const char *sname,
            const double *cprops, double *, const int32_t *nimp) {
    *alpha = 0.0;
    for (int k = 0; k < 3; ++k) t_user[k] = -dircos[6 + k];
    clean(t_user);
    const std::string_view name(sname, kNameLength);
    const double narrowest = kSmallest, widest = kLargestReal;
    for (int32_t i = 1; i <= *nimp; ++i) {
        char digits[16];
        const auto written = std::to_chars(digits, digits + sizeof digits, i);
        if (!holds(name, std::string_view(digits, static_cast<std::size_t>(written.ptr - digits)))) continue;
        const double *c = cprops + static_cast<int64_t>(kImpactRows) * (i - 1);
        const double width = 2.0 * c[impactor_width - 1];
        *alpha += c[force - 1] / fLimit(&width, &narrowest, &widest);
    }
    // Symmetry halves the load once, whatever the number of impactors.
    if (halved(name)) *alpha *= 0.5;
}

void dsload(double *alpha, double *t_user, const int32_t *kstep, const double *coords, const double *dircos,
            const double *cprops, double *dprops, const int32_t *nimp, const int32_t *elemid) {
    const int s1 = dominant_row(dircos), s2 = dominant_row(dircos + 3), s3 = dominant_row(dircos + 6);
    CoordinateReflection(dircos, dircos + 3, dircos + 6, t_user);
    clean(t_user);
    *alpha = 0.0;
    const int32_t e = elemid != nullptr ? *elemid : 0;
    const int32_t kind = job::step_kind(*kstep);
    const bool tracked = kind == 0 || kind == 2 || kind == 3, loaded = kind == 2 || kind == 3;
    const double turn = 0.0;
    for (int32_t i = 0; i < *nimp; ++i) {
        const double *c = cprops + static_cast<int64_t>(kImpactRows) * i;
        double *d = dprops + static_cast<int64_t>(kLoadRows) * i;
        const auto row = [d](int r) -> double & { return d[r - 1]; };
        const double f = c[force - 1], radius = c[contact_radius - 1];
        const double *centre = &row(load_position);
        double rs[2], rs0[2];
        GetPointOnXYPlane(rs, coords, centre, dircos, &turn);
        GetPointOnXYPlane(rs0, centre, centre, dircos, &turn);
        const double dr = rs[0] - rs0[0], ds = rs[1] - rs0[1], dist = std::sqrt(dr * dr + ds * ds);
        const double d_r = plane_distance(coords, centre, s1, s3), d_s = plane_distance(coords, centre, s2, s3);
        if (!std::isfinite(dist) || !std::isfinite(d_r) || !std::isfinite(d_s)) {
            // NaN coordinates or directions without length: the record stays as it is.
            record_error(-2, "Warning: Load point without a finite distance to the impactor in dsload.", {e, i + 1});
            continue;
        }
        // Distances not set stand above every distance.
        const double dmin = distance_unset(d, nearest) ? kAbsentReal : row(nearest);
        const double dmax = distance_unset(d, farthest) ? kAbsentReal : row(farthest);
        if (row(nearest_element) == 0.0) row(nearest_element) = e;
        if (dmin == kAbsentReal) row(nearest) = dist;
        if (dmax == kAbsentReal) row(farthest) = dist;
        if (tracked) {
            int32_t owner = 0;
            if (dmin >= dist) {
                row(nearest) = row(farthest) = dist;
                row(nearest_element) = e;
                row(nearest_r) = d_r;
                row(nearest_s) = d_s;
            } else if (as_integer(row(nearest_element), owner) && owner == e &&
                       (row(nearest) == row(farthest) || dist >= dmax)) {
                row(farthest) = dist;
                row(farthest_r) = d_r;
                row(farthest_s) = d_s;
            }
        }
        int32_t code = no_load;
        if (f == 0.0 || !loaded || !as_integer(row(load_code), code)) continue;
        // An extent of no width carries no distribution: with one load point
        // per element right under the impactor the whole force is lost, which
        // is recorded for the distributions over the extent.
        const double a = row(nearest_r) + row(farthest_r), b = row(nearest_s) + row(farthest_s);
        const bool wide = a > 0.0 && b > 0.0, on_extent = wide && a >= std::abs(dr) && b >= std::abs(ds);
        if (!wide && (code == uniform || code == pyramidal || code == parabolic || code == cosine))
            record_error(-2, "Warning: Impactor load lost on an extent of no width in dsload.", {i + 1, code});
        const double *r = rs, *s = rs + 1, *r0 = rs0, *s0 = rs0 + 1;
        switch (code) {
            case automatic:
                if (radius >= dist && radius > std::max(a, b))
                    *alpha += HertzianSurfaceLoad(&f, r, s, r0, s0, &radius, &radius);
                else if (on_extent)
                    *alpha += ParabolicSurfaceLoad(&f, r, s, r0, s0, &a, &b);
                break;
            case hertzian:
                if (radius >= dist && radius > row(nearest))
                    *alpha += HertzianSurfaceLoad(&f, r, s, r0, s0, &radius, &radius);
                break;
            case uniform:
                if (on_extent) *alpha += UniformSurfaceLoad(&f, &a, &b);
                break;
            case pyramidal:
                if (on_extent) *alpha += PyramidalSurfaceLoad(&f, r, s, r0, s0, &a, &b);
                break;
            case parabolic:
                if (on_extent) *alpha += ParabolicSurfaceLoad(&f, r, s, r0, s0, &a, &b);
                break;
            case cosine:
                if (on_extent) *alpha += CosineSurfaceLoad(&f, r, s, r0, s0, &a, &b);
                break;
            default:  // the point force, the sine and the edge load add no pressure
                break;
        }
    }
    // Continuum shells and solids take the pressure with the opposite sign.
    if (e > 0 && elementdata::elemkind.exists()) {
        const int64_t at = element_position(e);
        if (at >= 1 && at <= elementdata::elemkind.extent_of(1)) {
            const int32_t k = elementdata::elemkind(at);
            if (k == 9 || k == 10 || k == 11) *alpha = -*alpha;
        }
    }
}

void CAMPLITUDE(double *amp, const double *xydata, const double *xvalue, const int32_t *ndata,
                const kestro_logical1 *skip) {
    *amp = 0.0;
    if (skip != nullptr && *skip != 0) return;
    if (*ndata % 2 != 0) {
        record_error(-2, "Warning: Mismatch between x- and y-values in %S", {0}, {0.0}, {"ZRV_AMPL"});
        return;
    }
    const int32_t rows = std::max(*ndata / 2, 0), one = 1;
    if (!interpolable(xydata, rows, "ZRV_AMPL")) return;
    math::cubichermitianinterpolation(amp, xydata, &rows, xydata + rows, xvalue, &one);
}

void CHYSTERESIS(double *amp, double *passed, const double *xydata, const double *xvalue, const int32_t *ndata,
                 const kestro_logical1 *skip) {
    *amp = 0.0;
    if (skip != nullptr && *skip != 0) return;
    if (*ndata % 2 != 0) {
        record_error(-2, "Warning: Mismatch between x- and y-values in %S", {0}, {0.0}, {"ZRV_HYST"});
        return;
    }
    const int32_t rows = std::max(*ndata / 2, 0);
    const bool unloading = *passed > *xvalue || *passed == kLargestReal;
    if (!unloading) *passed = *xvalue;
    // Unloading reads the loop backwards: both columns reversed.
    Scratch<double> reversed(unloading ? 2 * int64_t{rows} : 0);
    const double *x = xydata, *y = xydata + rows;
    if (unloading) {
        std::reverse_copy(xydata, xydata + rows, reversed.data());
        std::reverse_copy(xydata + rows, xydata + 2 * int64_t{rows}, reversed.data() + rows);
        x = reversed.data();
        y = reversed.data() + rows;
    }
    int32_t used = 1;
    for (int32_t i = 1; i < rows; ++i)
        if (x[i] > x[i - 1]) ++used;
    used = std::min(used, rows);
    if (!interpolable(x, used, "ZRV_HYST")) return;
    const auto [low, high] = std::minmax_element(x, x + used);
    const double at = fLimit(xvalue, low, high);
    const int32_t one = 1;
    math::cubichermitianinterpolation(amp, x, &used, y, &at, &one);
}

}  // extern "C"
