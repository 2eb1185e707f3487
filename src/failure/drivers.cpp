// The failure drivers: for one ply of one section, the flag and exposure of
// the criterion a mode's id selects, with the ply's strengths and constants
// read with the first extents of the tables passed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "decl/failure.hpp"

namespace kestro::failure {

namespace {

constexpr double kAbsent = 1.7976931348623157e308;

double square(double x) { return x * x; }

// Ply strengths in psprops order.
enum Strength { Xt11, Xt22, Xt33, Xc11, Xc22, Xc33, S12, S13, S23, Ilss };

// The tables' first extents: given, else those of the shared material tables, else 9 and 10.
int64_t extent_of(const int32_t *given, const auto &table, int64_t fallback) {
    if (given != nullptr) return *given;
    return table.exists() ? table.extent_of(1) : fallback;
}

// One driver call: where the ply's data are and how the result is reported.
struct Ply {
    const char *routine;
    double *flag, *exposure;
    int64_t index = 0;  // ply + section offset in plies
    bool valid = false;

    Ply(const char *name, double *f, double *r, int32_t layer, int32_t isec, int32_t nlayer, int32_t nsec)
        : routine(name), flag(f), exposure(r) {
        *flag = *exposure = 0.0;
        valid = layer >= 1 && layer <= nlayer && isec >= 1 && isec <= nsec;
        if (!valid) {
            record_error(-2, "Warning: Ply or section outside the material tables in " + std::string(routine));
            return;
        }
        index = int64_t{layer - 1} + int64_t{nlayer} * (isec - 1);
    }

    void unknown() const { record_error(-2, "Warning: Unknown criterion id in " + std::string(routine)); }

    void report(double r) const {
        *exposure = r;
        *flag = r >= 1.0 ? 1.0 : 0.0;
    }
};

// A mode switched off (or an id that computes nothing): 0, 0 without a
// record, whatever the ply.
bool off(double *flag, double *exposure, bool silent) {
    if (silent) *flag = *exposure = 0.0;
    return silent;
}

// |s / X| with X by the sign of s.
double nominal(double s, double xt, double xc) { return std::abs(s / (s > 0.0 ? xt : xc)); }

}  // namespace

void generalfailure(double *fgp, double *rgp, const double *plystress, const double *psprops,
                    const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *gpflag,
                    const int32_t *nlayer, const int32_t *nsec, const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    if (off(fgp, rgp, *gpflag == 0)) return;
    const Ply ply("generalfailure", fgp, rgp, *layer, *isec, *nlayer, *nsec);
    if (!ply.valid) return;
    const double *x = psprops + ply.index * extent_of(npsprops, materialdata::psprops, 10);
    const double *s = plystress;
    switch (*gpflag) {
        case 1:
        case 2: {
            const double ratios[6] = {nominal(s[0], x[Xt11], x[Xc11]), nominal(s[1], x[Xt22], x[Xc22]),
                                      nominal(s[2], x[Xt33], x[Xc33]), std::abs(s[3] / x[S12]),
                                      std::abs(s[4] / x[S13]),         std::abs(s[5] / x[S23])};
            double r = 0.0;
            for (double q : ratios) r = *gpflag == 1 ? std::max(r, q) : r + q * q;
            ply.report(*gpflag == 1 ? r : std::sqrt(r));
            return;
        }
        case 3:
        case 4:
        case 5: {
            double d = 0.0, di1 = 0.0;
            if (*gpflag == 3) GPDruckerPrager(s, &x[Xt11], &x[Xc11], &d, &di1);
            if (*gpflag == 4) GPRaghava(s, &x[Xt11], &x[Xc11], &d);
            if (*gpflag == 5) GPBauwens(s, &x[Xt11], &x[Xc11], &d);
            ply.report(d);
            return;
        }
        default:
            ply.unknown();
    }
}

void fiberbreakage(double *ffb, double *rfb, const double *plystress, const double *peprops, const double *psprops,
                   const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *fbflag,
                   const int32_t *nlayer, const int32_t *nsec, const int32_t *npeprops,
                   const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    if (off(ffb, rfb, *fbflag == 0)) return;
    const Ply ply("fiberbreakage", ffb, rfb, *layer, *isec, *nlayer, *nsec);
    if (!ply.valid) return;
    const double *x = psprops + ply.index * extent_of(npsprops, materialdata::psprops, 10);
    const double *e = peprops + ply.index * extent_of(npeprops, materialdata::peprops, 9);
    const double *s = plystress;
    double r = 0.0;
    switch (*fbflag) {
        case 1:
            GPMaxNominal(&r, &s[0], &x[Xt11], &x[Xc11]);
            break;
        case 2:
            GPQuadNominal(&r, &s[0], &s[3], &s[4], &x[Xt11], &x[S12], &x[S13]);
            break;
        case 3: {
            const double a0 = 53.0, step = 5.0;
            const int32_t scan = 0, fcl = 0;
            FBLaRC05_is(&r, &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &x[Xt11], &x[Xc11], &x[Xt22], &x[S23], &x[S12],
                        &e[6], &a0, &step, &scan, &fcl, x);
            break;
        }
        default:
            ply.unknown();
            return;
    }
    ply.report(r);
}

void delamination(double *fdel, double *rdel, const double *s33i, const double *lplystress, const double *uplystress,
                  const double *peprops, const double *psprops, const double *plyorientation,
                  const double *plythickness, const int32_t *layer, const int32_t *isec, const int32_t *delflag,
                  const int32_t *nlayer, const int32_t *nsec, const int32_t *npeprops,
                  const int32_t *npsprops) noexcept {
    static_cast<void>(peprops);
    static_cast<void>(npeprops);
    if (off(fdel, rdel, *delflag == 0)) return;
    const Ply ply("delamination", fdel, rdel, *layer, *isec, *nlayer, *nsec);
    if (!ply.valid) return;
    if (*delflag != 1 && *delflag != 2) return ply.unknown();
    if (*layer == *nlayer) return;  // the top ply has no interface above it
    const double *x = psprops + ply.index * extent_of(npsprops, materialdata::psprops, 10);
    // The plies' (tau_xz, tau_yz), weighted by the other ply's thickness.
    const auto turned = [&](const double *s, int64_t at) {
        const double b = plyorientation[at] * (3.141592653589793 / 180.0), c = std::cos(b), sn = std::sin(b);
        return std::pair<double, double>{s[4] * c - s[5] * sn, s[4] * sn + s[5] * c};
    };
    const auto lower = turned(lplystress, ply.index), upper = turned(uplystress, ply.index + 1);
    const double tl = plythickness[ply.index], tu = plythickness[ply.index + 1];
    const double xz = (tu * lower.first + tl * upper.first) / (tl + tu);
    const double yz = (tu * lower.second + tl * upper.second) / (tl + tu);
    const double normal = std::max(*s33i, 0.0) / x[Xt33], shear = std::hypot(xz, yz) / x[Ilss];
    ply.report(*delflag == 1 ? std::max(normal, shear) : std::sqrt(normal * normal + shear * shear));
}

void corecrushing(double *fcc, double *rcc, const double *plystress, const double *psprops,
                  const double *plyorientation, const int32_t *layer, const int32_t *isec, const int32_t *ccflag,
                  const int32_t *nlayer, const int32_t *nsec, const int32_t *npsprops) noexcept {
    static_cast<void>(plyorientation);
    if (off(fcc, rcc, *ccflag == 0 || *ccflag == 1 || *ccflag == 2)) return;
    const Ply ply("corecrushing", fcc, rcc, *layer, *isec, *nlayer, *nsec);
    if (!ply.valid) return;
    if (*ccflag != 3) return ply.unknown();
    const double *x = psprops + ply.index * extent_of(npsprops, materialdata::psprops, 10);
    const double *s = plystress;
    ply.report(std::sqrt(square(std::max(-s[2], 0.0) / x[Xc33]) + square(s[4] / x[S13]) + square(s[5] / x[S23])));
}

}  // namespace kestro::failure

extern "C" {

void MatrixCracking(double *fmc, double *rmc, const double *plystress, const double *peprops, const double *psprops,
                    const double *pdprops, const double *plyorientation, const int32_t *layer, const int32_t *isec,
                    const int32_t *nlayer, const int32_t *nsec, const int32_t *nprops, const int32_t *mcflag,
                    double *outtheta, const double *defreal, const int32_t *npeprops, const int32_t *npsprops) {
    using namespace kestro::failure;
    static_cast<void>(peprops);
    static_cast<void>(npeprops);
    static_cast<void>(plyorientation);
    if (off(fmc, rmc, *mcflag == 0)) return;
    const Ply ply("MatrixCracking", fmc, rmc, *layer, *isec, *nlayer, *nsec);
    if (!ply.valid) return;
    const double *x = psprops + ply.index * extent_of(npsprops, kestro::materialdata::psprops, 10);
    const double absent = defreal != nullptr ? *defreal : kAbsent;
    const int64_t given = std::max(*nprops, 0);
    const double *d = pdprops + ply.index * given;
    const auto has = [&](int64_t i) { return i < given && d[i] != absent; };
    const double a0 = has(0) ? d[0] : 53.0, step = 5.0;
    double gp[4] = {0.3, 0.2, 0.15, 0.15};
    for (int i = 0; i < 4; ++i)
        if (has(i + 1)) gp[i] = d[i + 1];
    const int32_t scan = 0;
    const double *s = plystress;
    double r = 0.0;
    switch (*mcflag) {
        case 1: {
            GPMaxNominal(&r, &s[1], &x[Xt22], &x[Xc22]);
            r = std::max({r, std::abs(s[3] / x[S12]), std::abs(s[5] / x[S23])});
            break;
        }
        case 2:
            GPQuadNominal(&r, &s[1], &s[3], &s[5], &x[Xt22], &x[S12], &x[S23]);
            break;
        case 3:
            MCrckLaRC05(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &x[Xt22], &x[Xc22], &x[S12], &a0, outtheta, &step,
                        &scan);
            break;
        case 4:
            MCrckPuck(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &x[Xt22], &x[Xc22], &x[S12], outtheta, gp, &step, &scan,
                      nullptr);
            break;
        case 5:
            MCrckCamanho(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &x[Xt22], &x[Xc22], &x[S12], &x[S23], outtheta, &a0,
                         &step, &scan);
            break;
        case 6:
            MCrckWiegand(&r, &s[1], &s[2], &s[3], &s[4], &s[5], &x[Xt22], &x[Xc22], &x[S12], outtheta, &a0, &step,
                         &scan);
            break;
        default:
            ply.unknown();
            return;
    }
    ply.report(r);
}

}  // extern "C"
