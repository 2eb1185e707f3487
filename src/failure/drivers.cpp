// The failure drivers: for one ply of one section, the flag and exposure of
// the criterion a mode's id selects, with the ply's strengths and constants
// read with the first extents of the tables passed.  Every driver starts
// with the same prologue (mode switched off, ply located in its tables) and
// calls the criteria on values.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <utility>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "decl/failure.hpp"
#include "failure/criteria.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::failure {

namespace {

using namespace kestro::ply;

double square(double x) { return x * x; }

// The tables' first extents: given, else those of the shared material tables, else 9 and 10.
int64_t extent_of(const int32_t *given, const auto &table, int64_t fallback) {
    if (given != nullptr) return *given;
    return table.exists() ? table.extent_of(1) : fallback;
}

// One driver call: the ply found in its tables and how the result is reported.
struct Ply {
    const char *routine;
    double *flag, *exposure;
    int64_t index;  // ply + section offset in plies
    Strengths x;

    // The ply's nine constants in a peprops of first extent npeprops (NULL: the shared table's).
    const double *constants(const double *peprops, const int32_t *npeprops) const {
        return peprops + index * extent_of(npeprops, materialdata::peprops, kConstants);
    }
    void unknown() const { warn("Unknown criterion id", routine); }
    void report(double r) const {
        *exposure = r;
        *flag = r >= 1.0 ? 1.0 : 0.0;
    }
};

// The prologue of every driver: flag and exposure 0; nothing more for a
// negative count (recorded) or a mode switched off (or an id that computes
// nothing), a warning for a ply or section outside the tables, a refusal of
// stated ply tables narrower than the 10 strengths or 9 constants, the exposure
// NaN with a warning for a stress that is not finite; else the ply with its
// strengths.
[[gnu::always_inline]] inline std::optional<Ply> prologue(const char *routine, double *flag, double *exposure,
                                                          bool off, int32_t layer, int32_t isec, int32_t nlayer,
                                                          int32_t nsec, const double *psprops, const int32_t *npsprops,
                                                          const int32_t *npeprops, bool finite_stress) {
    *flag = *exposure = 0.0;
    const auto given = [](const int32_t *n) { return n != nullptr ? *n : 0; };
    if (negative_count(routine, {nlayer, nsec, given(npsprops), given(npeprops)})) return std::nullopt;
    if (off) return std::nullopt;
    if (!(layer >= 1 && layer <= nlayer && isec >= 1 && isec <= nsec)) {
        warn("Ply or section outside the material tables", routine);
        return std::nullopt;
    }
    if (npsprops != nullptr && short_extent(routine, "strengths", *npsprops, kStrengths, true)) return std::nullopt;
    if (npeprops != nullptr && short_extent(routine, "elastic constants", *npeprops, kConstants, true))
        return std::nullopt;
    if (!finite_stress) {
        *exposure = non_finite(routine);
        return std::nullopt;
    }
    const int64_t index = int64_t{layer - 1} + int64_t{nlayer} * (isec - 1);
    return Ply{routine, flag, exposure, index,
               {psprops + index * extent_of(npsprops, materialdata::psprops, kStrengths)}};
}

// The fracture-plane search of the drivers: a scan of 5 degrees.
const Search kScan = search(5.0, false, "MatrixCracking");

// The ratio of a stress to the strength of its sign (compressive strengths
// taken by their size).
double by_sign(double s, double xt, double xc) { return s / (s >= 0.0 ? xt : std::abs(xc)); }

bool finite_at(const double *nye) { return finite(Stress::of(nye)); }

}  // namespace

void generalfailure(double *fgp, double *rgp, const double *plystress, const double *psprops,
                    const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *gpflag,
                    const int32_t *nlayer, const int32_t *nsec, const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    const auto ply =
        prologue("generalfailure", fgp, rgp, *gpflag == 0, *layer, *isec, *nlayer, *nsec, psprops, npsprops,
                 nullptr, finite_at(plystress));
    if (!ply) return;
    const Strengths &x = ply->x;
    const Stress s = Stress::of(plystress);
    switch (*gpflag) {
        case 1:
        case 2: {
            const double ratios[6] = {max_nominal(s.s11, x[Xt11], x[Xc11]), max_nominal(s.s22, x[Xt22], x[Xc22]),
                                      max_nominal(s.s33, x[Xt33], x[Xc33]), std::abs(s.s12 / x[S12]),
                                      std::abs(s.s13 / x[S13]),             std::abs(s.s23 / x[S23])};
            double r = 0.0;
            for (double q : ratios) r = *gpflag == 1 ? std::max(r, q) : r + q * q;
            return ply->report(*gpflag == 1 ? r : std::sqrt(r));
        }
        case 3:
        case 5:
            return ply->report(drucker_prager(plystress, x[Xt11], x[Xc11]).d);
        case 4:
            return ply->report(raghava(plystress, x[Xt11], x[Xc11]));
        default:
            ply->unknown();
    }
}

void fiberbreakage(double *ffb, double *rfb, const double *plystress, const double *peprops, const double *psprops,
                   const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *fbflag,
                   const int32_t *nlayer, const int32_t *nsec, const int32_t *npeprops,
                   const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    const auto ply =
        prologue("fiberbreakage", ffb, rfb, *fbflag == 0, *layer, *isec, *nlayer, *nsec, psprops, npsprops,
                 npeprops, finite_at(plystress));
    if (!ply) return;
    const Strengths &x = ply->x;
    const Stress s = Stress::of(plystress);
    switch (*fbflag) {
        case 1:
            return ply->report(max_nominal(s.s11, x[Xt11], x[Xc11]));
        case 2:
            return ply->report(quad_nominal(by_sign(s.s11, x[Xt11], x[Xc11]), s.s12, s.s13, 1.0, x[S12], x[S13]));
        case 3: {
            const double g12 = ply->constants(peprops, npeprops)[G12];
            return ply->report(larc05_fibre(s, x[Xt11], x[Xc11], x[Xt22], x[S23], x[S12], g12, 53.0, kScan, x));
        }
        default:
            ply->unknown();
    }
}

void delamination(double *fdel, double *rdel, const double *s33i, const double *lplystress, const double *uplystress,
                  const double *peprops, const double *psprops, const double *plyorientation,
                  const double *plythickness, const int32_t *layer, const int32_t *isec, const int32_t *delflag,
                  const int32_t *nlayer, const int32_t *nsec, const int32_t *npeprops,
                  const int32_t *npsprops) noexcept {
    static_cast<void>(peprops);
    const auto ply =
        prologue("delamination", fdel, rdel, *delflag == 0, *layer, *isec, *nlayer, *nsec, psprops, npsprops,
                 npeprops, std::isfinite(*s33i) && finite_at(lplystress) && finite_at(uplystress));
    if (!ply) return;
    if (*delflag != 1 && *delflag != 2) return ply->unknown();
    if (*layer == *nlayer) return;  // the top ply has no interface above it
    const Strengths &x = ply->x;
    // The plies' (tau_xz, tau_yz), weighted by the other ply's thickness.
    const auto turned = [&](const double *s, int64_t at) {
        const double b = plyorientation[at] * (std::numbers::pi / 180.0), c = std::cos(b), sn = std::sin(b);
        return std::pair<double, double>{s[N13] * c - s[N23] * sn, s[N13] * sn + s[N23] * c};
    };
    const auto lower = turned(lplystress, ply->index), upper = turned(uplystress, ply->index + 1);
    const double tl = plythickness[ply->index], tu = plythickness[ply->index + 1];
    const double xz = (tu * lower.first + tl * upper.first) / (tl + tu);
    const double yz = (tu * lower.second + tl * upper.second) / (tl + tu);
    const double normal = std::max(*s33i, 0.0) / x[Xt33], shear = std::hypot(xz, yz) / x[Ilss];
    ply->report(*delflag == 1 ? std::max(normal, shear) : std::sqrt(normal * normal + shear * shear));
}

void corecrushing(double *fcc, double *rcc, const double *plystress, const double *psprops,
                  const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *ccflag,
                  const int32_t *nlayer, const int32_t *nsec, const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    const bool off = *ccflag == 0 || *ccflag == 1 || *ccflag == 2;
    const auto ply =
        prologue("corecrushing", fcc, rcc, off, *layer, *isec, *nlayer, *nsec, psprops, npsprops, nullptr,
                 finite_at(plystress));
    if (!ply) return;
    if (*ccflag != 3) return ply->unknown();
    const Strengths &x = ply->x;
    const Stress s = Stress::of(plystress);
    ply->report(std::sqrt(square(std::max(-s.s33, 0.0) / x[Xc33]) + square(s.s13 / x[S13]) + square(s.s23 / x[S23])));
}

}  // namespace kestro::failure

extern "C" {

void MatrixCracking(double *fmc, double *rmc, const double *plystress, const double *peprops, const double *psprops,
                    const double *pdprops, const double *plyorientation, const int32_t *layer, const int32_t *isec,
                    const int32_t *nlayer, const int32_t *nsec, const int32_t *nprops, const int32_t *mcflag,
                    double *outtheta, const double *defreal, const int32_t *npeprops, const int32_t *npsprops) {
    using namespace kestro::failure;
    using namespace kestro::ply;
    static_cast<void>(peprops);
    static_cast<void>(plyorientation);
    const auto ply =
        prologue("MatrixCracking", fmc, rmc, *mcflag == 0, *layer, *isec, *nlayer, *nsec, psprops, npsprops,
                 npeprops, finite_at(plystress));
    if (!ply) return;
    const Strengths &x = ply->x;
    // The fracture angle under compression and Puck's inclinations: pdprops 1 to 5 where given.
    const double absent = defreal != nullptr ? *defreal : kestro::kAbsentReal;
    const int64_t given = std::max(*nprops, 0);
    const double *d = pdprops + ply->index * given;
    const auto has = [&](int64_t i) { return i < given && d[i] != absent; };
    const double a0 = has(0) ? d[0] : 53.0;
    double gp[4];
    for (int i = 0; i < 4; ++i) gp[i] = has(i + 1) ? d[i + 1] : kPuckInclinations[i];
    const Stress s = Stress::of(plystress);
    const Transverse t = transverse(s);
    Exposure e{0.0, -1.0};
    switch (*mcflag) {
        case 1:
            return ply->report(
                std::max({max_nominal(s.s22, x[Xt22], x[Xc22]), std::abs(s.s12 / x[S12]), std::abs(s.s23 / x[S23])}));
        case 2:
            return ply->report(quad_nominal(by_sign(s.s22, x[Xt22], x[Xc22]), s.s12, s.s23, 1.0, x[S12], x[S23]));
        case 3:
            e = larc05_matrix(t, x[Xt22], x[Xc22], x[S12], a0, kScan);
            break;
        case 4:
            e = puck(t, x[Xt22], x[Xc22], x[S12], gp, kScan);
            break;
        case 5:
            e = camanho(t, x[Xt22], x[Xc22], x[S12], x[S23], a0, kScan);
            break;
        case 6:
            e = wiegand(t, x[Xt22], x[Xc22], x[S12], a0, kScan);
            break;
        default:
            return ply->unknown();
    }
    if (outtheta != nullptr && *outtheta < 0.0 && e.r >= 1.0) *outtheta = e.angle;
    ply->report(e.r);
}

}  // extern "C"
