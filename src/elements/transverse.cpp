// Shell transverse stresses: the through-thickness normal and shear stresses
// of a shell element recovered from equilibrium with the section tables.  The
// two result tables are caches: a part runs only while its entries are all
// zero, and both tests come before any kinematics, so a call for an element
// and point already done costs two zero tests.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/scratch.hpp"
#include "decl/elementhandling.hpp"
#include "decl/laminate.hpp"
#include "elements/shell.hpp"
#include "mechanics/laminate.hpp"

namespace kestro::elements {

namespace {

constexpr std::size_t kStackPlies = 64;
constexpr std::size_t kStackRows = 2 * kStackPlies + 1;
constexpr double kGauss = 0.5773502691896257;
constexpr double kQuadPoints[4][2] = {{-kGauss, -kGauss}, {kGauss, -kGauss}, {kGauss, kGauss}, {-kGauss, kGauss}};
constexpr double kTriaPoints[3][2] = {
    {0.16666666667, 0.16666666667}, {0.16666666667, 0.66666666667}, {0.66666666667, 0.16666666667}};

struct Element {
    int32_t nodes = 0, points = 0;
    double weight = 0.0;
    const double *point(int32_t k) const { return nodes == 8 ? kQuadPoints[k] : kTriaPoints[k]; }
};

bool all_zero(const double *v, int64_t n) {
    return std::all_of(v, v + n, [](double x) { return x == 0.0; });
}

// The element of kind `kind` as this routine treats it; 0 nodes for one it
// leaves alone.
Element element_of(int32_t kind, const double *coords, const double *motion, int64_t nnodes, int64_t ndof) {
    switch (kind) {
        case 4:
        case 5:
            return {8, 4, 0.25};
        case 8:
            return {6, 3, 1.0 / 3.0};
        case 1:
        case 2:
        case 3:
            // A 4-node shell with mid-side nodes supplied in slots 5 to 8.
            if (nnodes == 8 && !all_zero(coords + 3 * 4, 3 * 4) && !all_zero(motion + ndof * 4, ndof * 4))
                return {8, 4, 0.25};
            return {};
        default:
            return {};
    }
}

}  // namespace

}  // namespace kestro::elements

extern "C" {

void GetShellTransverseStresses(double *tnormalstress, double *tshearstress, const double *nodalcoords,
                                const double *nodesmotion, const double *sestress, const double *sehmatrix,
                                const double *sefmatrix, const double *plyorientation, const double *plythickness,
                                const double *plyzcoord, const double *plyelastic, const int32_t *elemsectionpoints,
                                const double *elemcurvatures, const int32_t *elemkind, const int32_t *sectionlist,
                                const int32_t *elemid, const int32_t *gpid, const int32_t *secid,
                                const int32_t *itnsflag, const int32_t *itshrflag, const int32_t *nplies,
                                const int32_t *nsec, const int32_t *nzcoord, const int32_t *nintpoint,
                                const int32_t *ndof, const int32_t *nnodes, const int32_t *nelem,
                                const int32_t *nstresspoints, const int32_t *nelastic) {
    using namespace kestro::elements;
    if (kestro::laminate::section_counts_refused("GetShellTransverseStresses", nplies, nsec, nelastic)) return;
    const int64_t e = int64_t{*elemid} - 1, s = int64_t{*secid} - 1;
    if (e < 0 || e >= *nelem || s < 0 || s >= *nsec) return;
    const int64_t plies = std::max(*nplies, 0), rows = *nzcoord, points_stored = std::max(*nintpoint, 0);
    const int64_t dof = std::max(*ndof, 0), slots = std::max(*nnodes, 0);
    const int64_t stress_points = nstresspoints != nullptr ? *nstresspoints : 4;
    const int64_t elastic_rows = nelastic != nullptr ? *nelastic : 9;
    const double *coords = nodalcoords + 3 * slots * e;
    const double *motion = nodesmotion + dof * slots * e;
    const Element el = element_of(elemkind[e], coords, motion, slots, dof);
    if (el.nodes == 0 || slots < el.nodes) return;

    // The caches, before any kinematics.
    const int64_t nspt = elemsectionpoints[e];
    const bool points_fit = nspt >= 1 && plies * nspt <= points_stored;
    const int64_t point = int64_t{*gpid} - 1;
    double *normal = tnormalstress + std::max<int64_t>(rows, 0) * e;
    double *shear = tshearstress + points_stored * 2 * (4 * e + point);
    const bool do_normal = *itnsflag != 0 && rows >= 1 && rows == 2 * plies + 1 && all_zero(normal, rows);
    // The section's own plies (its list ends at the first absent id); the
    // tables are taken in their first 2 own + 1 rows.
    const int32_t *ids = sectionlist + plies * s;
    const int64_t own = std::find(ids, ids + plies, std::numeric_limits<int32_t>::max()) - ids;
    const int64_t own_rows = 2 * own + 1;
    const bool do_shear = *itshrflag != 0 && points_stored >= 1 && point >= 0 && point < el.points && points_fit &&
                          rows >= own_rows && all_zero(shear, 2 * points_stored);
    if ((!do_normal && !do_shear) || own == 0) return;

    double u[40];
    const int32_t nodes = el.nodes, mdof = static_cast<int32_t>(dof);
    GetDisplacementVector(u, motion, &nodes, &mdof);
    if (all_zero(u, 40)) return;
    const double ki = elemcurvatures[2 * e], kj = elemcurvatures[2 * e + 1];
    const bool curved = ki != 0.0 || kj != 0.0;
    const double *hmat = sehmatrix + 4 * s;
    const double kmax = std::max(ki, kj), kmin = std::min(ki, kj);
    const int32_t one = 1, normal_table = 0, shear_table = 1, fg = 1, n = static_cast<int32_t>(own);
    const int32_t zrows = static_cast<int32_t>(own_rows);
    const double pair[2] = {kmax, kmin};
    const double *angles = plyorientation + plies * s, *thickness = plythickness + plies * s;
    const double *zcoord = plyzcoord + std::max<int64_t>(rows, 0) * s;
    const double *elastic = plyelastic + elastic_rows * plies * s;
    const int32_t elastic_count = static_cast<int32_t>(elastic_rows);
    // The section's flat table in its own rows, or a table of the curvatures.
    kestro::Scratch<double, 4 * kStackRows> table(4 * own_rows);
    const auto flat_table = [&] {
        for (int k = 0; k < 4; ++k) std::copy_n(sefmatrix + rows * (4 * s + k), own_rows, table.data() + own_rows * k);
    };
    const auto curved_table = [&](const int32_t *kind) {
        GetArbitrarySectionFG(table.data(), ids, angles, thickness, zcoord, elastic, &n, &one, kind, &fg, pair, nullptr,
                              &elastic_count);
    };

    if (do_normal) {
        double rdx[2] = {0.0, 0.0}, rdy[2] = {0.0, 0.0};
        if (*itnsflag == 2 && el.nodes == 8) {
            shear_force_derivatives(rdx, rdy, u, hmat, coords, el.nodes, 0.0, 0.0);
        } else {
            for (int32_t k = 0; k < el.points; ++k) {
                double rx[2], ry[2];
                shear_force_derivatives(rx, ry, u, hmat, coords, el.nodes, el.point(k)[0], el.point(k)[1]);
                for (int i = 0; i < 2; ++i) {
                    rdx[i] += el.weight * rx[i];
                    rdy[i] += el.weight * ry[i];
                }
            }
        }
        if (!curved) {
            flat_table();
            GetNormalStressFromBottom(normal, rdx, rdy, zcoord, table.data(), &n);
        } else if (points_fit && stress_points >= 4) {
            // The normal-stress table of the curvatures, and the membrane
            // stresses 11 and 22 of the four stored points on the curvature.
            curved_table(&normal_table);
            kestro::Scratch<double, 12 * kStackPlies> sbt(12 * own);
            kestro::Scratch<double, 2 * kStackPlies> component(2 * own);
            kestro::Scratch<double, kStackRows> sint(own_rows);
            kestro::Scratch<int32_t, kStackPlies> counts(own);
            std::fill_n(counts.data(), own, static_cast<int32_t>(nspt));
            const double *element_stress = sestress + 6 * points_stored * stress_points * e;
            double *total = normal;  // still all zero: the sum over the points
            for (int32_t k = 0; k < 4; ++k) {
                GetPlyBottomTopStress(sbt.data(), element_stress + 6 * points_stored * k, counts.data(), &zrows, &n);
                for (int pass = 0; pass < 2; ++pass) {
                    // Component 11 with the pair (min, max), 22 with (max, min).
                    for (int64_t c = 0; c < 2 * own; ++c) component[c] = sbt[6 * c + pass];
                    const double first = pass == 0 ? kmin : kmax, second = pass == 0 ? kmax : kmin;
                    GetIntegralOfMembraneNormalStress(sint.data(), component.data(), zcoord, counts.data(), &first,
                                                      &second, &zrows, &n);
                    for (int64_t r = 0; r < own_rows; ++r) total[r] += sint[r];
                }
            }
            const double *f = table.data();
            for (int64_t r = 0; r < own_rows; ++r)
                normal[r] = el.weight * total[r] - f[r] * rdy[0] - f[own_rows + r] * rdy[1] -
                            f[2 * own_rows + r] * rdx[0] - f[3 * own_rows + r] * rdx[1];
        }
    }

    if (do_shear) {
        double b[8 * 40];
        const double *p = el.point(static_cast<int32_t>(point));
        ShellBMatrix(b, coords, &nodes, &p[0], &p[1]);
        double gamma[2] = {0.0, 0.0};
        for (int k = 0; k < 40; ++k) {
            gamma[0] += b[8 * k + 6] * u[k];
            gamma[1] += b[8 * k + 7] * u[k];
        }
        const double r[2] = {hmat[0] * gamma[0] + hmat[2] * gamma[1], hmat[1] * gamma[0] + hmat[3] * gamma[1]};
        if (curved)
            curved_table(&shear_table);
        else
            flat_table();
        const int64_t count = own * nspt;
        kestro::Scratch<double, 2 * 16 * kStackPlies> xytss(2 * count);  // up to 16 points per ply on the stack
        const int32_t spt = static_cast<int32_t>(nspt);
        GetExt2DShearStress(xytss.data(), r, angles, table.data(), &spt, &n);
        std::copy_n(xytss.data(), count, shear);
        std::copy_n(xytss.data() + count, count, shear + points_stored);
    }
}

}  // extern "C"
