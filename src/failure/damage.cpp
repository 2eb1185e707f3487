// Damage regions of the damage sets (lookup and growth) and the
// fracture-plane matrix damage: crack status, stiffness degradation in the
// crack frame and the bilinear softening law.  Every table is read within the
// extents it has.
#include "decl/damage.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "core/shared_data.hpp"
#include "decl/datahandling.hpp"
#include "decl/imageprocessing.hpp"
#include "decl/lamina.hpp"
#include "decl/math.hpp"
#include "failure/evolution.hpp"
#include "mechanics/notation.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::failure {

namespace {

constexpr double kAbsentLimit = -1e308;    // plane values at or below it count as 0
constexpr double kOutlineEnd = 1.797e308;  // an outline's corners end before such a value
constexpr int kOutlines = 5;               // tabulated outlines of modes 1..5

// Entry `row` of column `set` of dmgplane, 0 where absent.
double plane_value(int64_t row, int64_t set) {
    const auto &p = damagedata::dmgplane;
    if (!p.exists() || row > p.extent_of(1) || set > p.extent_of(2)) return 0.0;
    const double v = p(row, set);
    return v <= kAbsentLimit ? 0.0 : v;
}

struct SetFrame {
    double centre[3], angle;
};

SetFrame frame_of(int64_t set) {
    return {{plane_value(1, set), plane_value(2, set), plane_value(3, set)}, plane_value(4, set)};
}

// The half-axes (a, b) of a region array at (ply, set), or false.
bool region(const Allocatable<double, 3> &table, int64_t ply, int64_t set, double &a, double &b) {
    if (!table.exists() || ply < 1 || set < 1 || ply > table.extent_of(2) || set > table.extent_of(3) ||
        table.extent_of(1) < 2)
        return false;
    a = table(1, ply, set);
    b = table(2, ply, set);
    return a > 0.0 && b > 0.0;
}

bool inside(const double *xy, double a, double b) { return Ellipse(&xy[0], &xy[1], &a, &b, nullptr) <= 1.0; }

void raise(double &flag) { flag = std::max(flag, 1.0); }

// Whether the point lies in the tabulated outline of (ply, mode, set).
bool in_outline(const double *point, const double *refcos, int64_t ply, int64_t mode, int64_t set,
                const SetFrame &frame) {
    const auto &t = damagedata::dmgpoints;
    if (!t.exists() || ply > t.extent_of(2) || mode > t.extent_of(3) || set > t.extent_of(4)) return false;
    const int64_t rows = t.extent_of(1);
    const double *values = &t(1, ply, mode, set);
    int64_t count = 0;
    while (count < rows && values[count] < kOutlineEnd) ++count;
    const int32_t corners = static_cast<int32_t>(count / 2);
    if (corners < 3) return false;
    Scratch<double, 1024> xy(2 * corners);  // on the stack up to 512 corners
    for (int32_t k = 0; k < corners; ++k) {
        xy[static_cast<std::size_t>(k)] = values[2 * k];
        xy[static_cast<std::size_t>(corners + k)] = values[2 * k + 1];
    }
    return ProjectedPointInPolygon(point, xy.data(), &frame.angle, frame.centre, refcos, &corners) != 0;
}

// Whether the point lies in the ellipse of a buckled delamination spanning the ply.
bool in_buckled(const double *point, const double *refcos, int64_t interface, int64_t ply, int64_t set, int64_t sec,
                const SetFrame &frame) {
    const auto &ints = bukdata::bukintdatalist;
    const auto &reals = bukdata::bukrealdatalist;
    if (interface < 1 || !ints.exists() || !reals.exists()) return false;
    for (const auto *t : {&ints.extent[0], &reals.extent[0]})
        if (interface > t[1] || set > t[2] || sec > t[3]) return false;
    if (ints.extent_of(1) < 3 || reals.extent_of(1) < 6) return false;
    if (ints(1, interface, set, sec) <= 0 || ply < ints(2, interface, set, sec) || ply > ints(3, interface, set, sec))
        return false;
    const double angle = frame.angle + reals(6, interface, set, sec);
    double xy[2];
    GetPointOnXYPlane(xy, point, frame.centre, refcos, &angle);
    const double a = reals(4, interface, set, sec), b = reals(5, interface, set, sec);
    return inside(xy, a, b);
}

// The plies of the damage data: the ply extent of the ply region tables,
// else the shared ply count.  Interfaces lie below the top ply only.
int64_t plies_held() {
    int64_t plies = 0;
    for (const auto *t : {&damagedata::generaldds, &damagedata::fiberdds, &damagedata::matrixdds, &damagedata::coredds})
        if (t->exists()) plies = std::max(plies, t->extent_of(2));
    return plies > 0 ? plies : sectiondata::nplies;
}

// The number of damage sets any region table holds.
int64_t sets_held() {
    int64_t sets = 0;
    for (const auto *t : {&damagedata::generaldds, &damagedata::fiberdds, &damagedata::matrixdds, &damagedata::coredds,
                          &damagedata::delamdds})
        if (t->exists()) sets = std::max(sets, t->extent_of(3));
    if (damagedata::dmgpoints.exists()) sets = std::max(sets, damagedata::dmgpoints.extent_of(4));
    if (bukdata::bukintdatalist.exists()) sets = std::max(sets, bukdata::bukintdatalist.extent_of(3));
    return sets;
}

// Scales (a, b) so that the ellipse holds (x, y); an empty region becomes
// the circle through the point (none for the centre itself).
void grow(double &a, double &b, const double *xy) {
    if (!(a > 0.0 && b > 0.0)) {
        const double r = std::hypot(xy[0], xy[1]);
        if (r == 0.0) return;
        a = b = r;
    } else {
        const double v = Ellipse(&xy[0], &xy[1], &a, &b, nullptr);
        if (!(v > 1.0)) return;
        a *= std::sqrt(v);
        b *= std::sqrt(v);
    }
    for (int guard = 0; guard < 4 && Ellipse(&xy[0], &xy[1], &a, &b, nullptr) > 1.0; ++guard) {
        a = std::nextafter(a, std::numeric_limits<double>::infinity());
        b = std::nextafter(b, std::numeric_limits<double>::infinity());
    }
}

double square(double x) { return x * x; }

// The column of the unit base vector e_baseid turned by phi about nrot.
bool crack_normal(double *n, const double *nrot, double phi, int32_t baseid) {
    if (baseid < 1 || baseid > 3) return false;
    double r[9];
    GetRotationMatrix(r, nrot, &phi);
    for (int i = 0; i < 3; ++i) n[i] = r[(baseid - 1) * 3 + i];
    return true;
}

}  // namespace

int32_t crack_status(const double *svoigt, const double *nrot, double phi, int32_t baseid) {
    double n[3];
    if (!crack_normal(n, nrot, phi, baseid)) return 0;
    using namespace ply;
    const double *s = svoigt;
    const double normal = s[V11] * n[0] * n[0] + s[V22] * n[1] * n[1] + s[V33] * n[2] * n[2] +
                          2.0 * (s[V23] * n[1] * n[2] + s[V13] * n[0] * n[2] + s[V12] * n[0] * n[1]);
    return normal >= 0.0 ? 1 : -1;
}

bool crack_frame_degradation(const double *csix, double *cdeg, double angle_r, double d, int32_t baseid,
                             int32_t status) {
    std::copy_n(csix, 36, cdeg);
    if (baseid < 1 || baseid > 3) return false;
    const double c = std::cos(angle_r), s = std::sin(angle_r);
    // Rows of the crack frame, column-major storage; its transpose turns back.
    const double frame[9] = {1.0, 0.0, 0.0, 0.0, c, -s, 0.0, s, c};
    const double back[9] = {1.0, 0.0, 0.0, 0.0, c, s, 0.0, -s, c};
    double local[36];
    lamina::in_base(local, csix, frame, true, false);
    // The crack-face shears of each normal.
    using namespace ply;
    static constexpr Voigt shears[3][2] = {{V13, V12}, {V23, V12}, {V23, V13}};
    // Entry (i, j) scaled by sqrt(f_i f_j), f being 1 or kept: three roots for all 36.
    const double kept = 1.0 - d, roots[3] = {1.0, std::sqrt(kept), std::sqrt(kept * kept)};
    int degraded[6] = {};
    for (int k : shears[baseid - 1]) degraded[k] = 1;
    if (status > 0) degraded[baseid - 1] = 1;
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) local[j * 6 + i] *= roots[degraded[i] + degraded[j]];
    lamina::in_base(cdeg, local, back, true, false);
    return true;
}

double bogenfeld_damage(double *history, const double *svoigt, const double *evoigt, double length,
                        const FracturePlane &p) {
    const double c = std::cos(p.phi), s = std::sin(p.phi);
    // Jumps across the crack band from the tensor strains.
    using namespace ply;
    const double *e = evoigt;
    const double en = e[V22] * c * c + e[V33] * s * s + 2.0 * e[V23] * c * s;
    const double gnt = 2.0 * ((e[V33] - e[V22]) * c * s + e[V23] * (c * c - s * s));
    const double gn1 = 2.0 * (e[V12] * c + e[V13] * s);
    const double jump[3] = {length * std::max(en, 0.0), length * gnt, length * gn1};
    const double size = std::sqrt(square(jump[0]) + square(jump[1]) + square(jump[2]));
    double *const sdv = history;
    if (sdv[0] < 0.0) {
        const double *t = svoigt;
        const double sn = t[V22] * c * c + t[V33] * s * s + 2.0 * t[V23] * c * s;
        const double tnt = (t[V33] - t[V22]) * c * s + t[V23] * (c * c - s * s);
        const double tn1 = t[V12] * c + t[V13] * s;
        const double t0 = std::sqrt(square(std::max(sn, 0.0)) + square(tnt) + square(tn1));
        if (!(t0 > 0.0 && size > 0.0)) return 0.0;  // onset waits
        const double g1 = std::max(sn, 0.0) * jump[0], g2 = std::abs(tn1 * jump[2]), g3 = std::abs(tnt * jump[1]);
        const double total = g1 + g2 + g3, shear = g2 + g3;
        const double mix = total > 0.0 ? shear / total : 0.0;
        const double gs = shear > 0.0 ? (p.giic * g2 + p.giiic * g3) / shear : p.giic;
        const double gc = p.gic + (gs - p.gic) * std::pow(mix, p.eta);
        sdv[0] = t0;
        sdv[1] = size;
        sdv[2] = std::max(2.0 * gc / t0, 1.2 * size);
        sdv[3] = size;
        return 0.0;
    }
    const double d0 = sdv[1], df = sdv[2];
    sdv[3] = std::max(sdv[3], size);
    const double largest = sdv[3];
    return std::clamp(df * (largest - d0) / (largest * (df - d0)), 0.0, 1.0);
}

}  // namespace kestro::failure

extern "C" {

void GetDamageFromDDS(double *sdv, const double *gpcoords, const double *refcos, const int32_t *ilay,
                      const int32_t *isec) {
    using namespace kestro;
    using namespace kestro::failure;
    const int64_t ply = *ilay, sec = *isec;
    if (ply < 1) return;
    struct Mode {
        const Allocatable<double, 3> *table;
        int flag;
    };
    const Mode modes[] = {{&damagedata::generaldds, 0},
                          {&damagedata::fiberdds, 1},
                          {&damagedata::matrixdds, 2},
                          {&damagedata::coredds, 4}};
    const int64_t sets = sets_held(), plies = plies_held();
    for (int64_t n = 1; n <= sets; ++n) {
        const SetFrame frame = frame_of(n);
        double xy[2];
        GetPointOnXYPlane(xy, gpcoords, frame.centre, refcos, &frame.angle);
        double a = 0.0, b = 0.0;
        for (const Mode &m : modes)
            if (region(*m.table, ply, n, a, b) && inside(xy, a, b)) raise(sdv[m.flag]);
        if (ply < plies && region(damagedata::delamdds, ply, n, a, b) && inside(xy, a, b)) raise(sdv[3]);
        if (ply - 1 < plies && region(damagedata::delamdds, ply - 1, n, a, b) && inside(xy, a, b)) raise(sdv[5]);
        for (int c = 1; c <= kOutlines; ++c)
            if (in_outline(gpcoords, refcos, ply, c, n, frame)) raise(sdv[c - 1]);
        if (sec >= 1 && (in_buckled(gpcoords, refcos, ply - 1, ply, n, sec, frame) ||
                         in_buckled(gpcoords, refcos, ply, ply, n, sec, frame)))
            raise(sdv[11]);
    }
}

void UpdateDDS(int32_t *ierror, const double *sdv, const double *gpcoords, const double *refcoords,
               const double *refcos, const int32_t *ilay, const int32_t *isec, const int32_t *idmg) {
    using namespace kestro;
    using namespace kestro::failure;
    static_cast<void>(isec);
    constexpr const char *kNotFinite = "Warning: Non-finite point or damage region in UpdateDDS";
    *ierror = 0;
    // The point in the plane of the set; one that is not finite (a point or
    // frame that is not) grows nothing.
    const int64_t ply = *ilay, set = *idmg;
    const double angle = plane_value(4, set);
    double xy[2];
    GetPointOnXYPlane(xy, gpcoords, refcoords, refcos, &angle);
    if (!(std::isfinite(xy[0]) && std::isfinite(xy[1]))) {
        *ierror = 1;
        record_error(-2, kNotFinite);
        return;
    }
    if (!damagedata::damagedds.exists()) {
        int32_t status = 0;
        datahandling::allocatedamagedata(&status, &sectiondata::nplies, &sectiondata::nsec, &damagedata::ndmg);
    }
    const auto &reference = damagedata::generaldds;
    if (ply < 1 || set < 1 || !reference.exists() || ply > reference.extent_of(2) || set > reference.extent_of(3)) {
        *ierror = 1;
        record_error(-2, "Warning: Damage region outside the damage data in UpdateDDS");
        return;
    }
    Allocatable<double, 3> *const tables[5] = {&damagedata::generaldds, &damagedata::fiberdds, &damagedata::matrixdds,
                                               &damagedata::delamdds, &damagedata::coredds};
    const int64_t plies = plies_held();
    // The grown half-axes of every mode first: written only when all are finite.
    double axes[5][2];
    bool grows[5] = {};
    for (int k = 0; k < 5; ++k) {
        if (!(sdv[k] >= 1.0) || (k == 3 && ply >= plies)) continue;  // no interface above the top ply
        const auto &t = *tables[k];
        if (!t.exists() || t.extent_of(1) < 2 || ply > t.extent_of(2) || set > t.extent_of(3)) continue;
        axes[k][0] = t(1, ply, set);
        axes[k][1] = t(2, ply, set);
        grow(axes[k][0], axes[k][1], xy);
        if (!(std::isfinite(axes[k][0]) && std::isfinite(axes[k][1]))) {
            *ierror = 1;
            record_error(-2, kNotFinite);
            return;
        }
        grows[k] = true;
    }
    for (int k = 0; k < 5; ++k) {
        if (!grows[k]) continue;
        (*tables[k])(1, ply, set) = axes[k][0];
        (*tables[k])(2, ply, set) = axes[k][1];
    }
}

void GetCrackStatus(int32_t *status, const double *svoigt, const double *nrot, const double *phi,
                    const int32_t *baseid) {
    *status = kestro::failure::crack_status(svoigt, nrot, *phi, *baseid);
    if (*status == 0) kestro::record_error(-2, "Unsupported base id in GetCrackStatus");
}

void TensorDegradation(const double *csix, double *cdeg, const double *angle_r, const double *d, const int32_t *baseid,
                       const int32_t *nn) {
    if (!kestro::failure::crack_frame_degradation(csix, cdeg, *angle_r, *d, *baseid, *nn))
        kestro::record_error(-2, "Unsupported base id in TensorDegradation");
}

void BogenfeldDegradation(double *d, double *sdv, const double *svoigt, const double *evoigt,
                          const double *charelemlength, const double *props, const int32_t *mode, const int32_t *nsdv,
                          const int32_t *nprops) {
    *d = 0.0;
    if (*mode != 3 || *nsdv < 4 || *nprops < 5) {
        kestro::record_error(-2, "Unsupported mode in BogenfeldDegradation");
        return;
    }
    *d = kestro::failure::bogenfeld_damage(sdv, svoigt, evoigt, charelemlength[0],
                                           {props[0], props[1], props[2], props[3], props[4]});
}

}  // extern "C"
