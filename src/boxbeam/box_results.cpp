// Results of the box beam: shear flows and strains along the walls, the
// twist, the mass moments about the shear centre, the torsion stiffness from
// a unit torque, and the equivalent nodal forces of the walls.
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "boxbeam/box.hpp"
#include "boxbeam/box_report.hpp"
#include "core/shared_data.hpp"
#include "decl/boxtools.hpp"

namespace kestro::boxbeam {

namespace {

// The report of the running analysis, for KNKRFT; none outside an analysis.
const Report *&current_report() {
    static const Report *report = nullptr;
    return report;
}

bool all_finite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace

bool results(Section &s, Report &report) {
    using namespace quer;
    using namespace kraft;
    using wand::bk;
    using wand::gk;
    // 1. Shear flows at the middle and end of every wall, and the strains.
    const double h11 = s.qz_star / dyyste, h22 = s.qy_star / dzzste;
    std::vector<std::array<double, 2>> flows(static_cast<std::size_t>(s.kw));
    for (int32_t k = 1; k <= s.kw; ++k) {
        const std::size_t w = static_cast<std::size_t>(k - 1);
        flows[w] = {t0(k) - bk(k) * (s.fstszm[w] * h22 + s.fstsym[w] * h11),
                    t0(k) - bk(k) * (s.sstzk[w] * h22 + s.sstyk[w] * h11)};
        if (!all_finite({flows[w][0], flows[w][1]})) {
            refuse(-2, "Box-beam: the shear flows are not finite", {k});
            return false;
        }
    }
    report.write(Block::shear_table_head);
    for (int32_t k = 1; k <= s.kw; ++k) {
        const std::size_t w = static_cast<std::size_t>(k - 1);
        tl2(k) = flows[w][0];
        tl(k) = flows[w][1];
        const double q[3] = {t0(k), tl2(k), tl(k)};
        for (int p = 0; p < 3; ++p) epigam::gam(k, p + 1) = gk(k) != 0.0 ? q[p] / gk(k) : 0.0;
        const double g1 = epigam::gam(k, 1), g2 = epigam::gam(k, 2), g3 = epigam::gam(k, 3);
        report.write(Block::flow_row, {k, q[0], q[1], q[2], g1, g2, g3});
        if (!report.extended()) continue;
        report.trace({"Wand:", k});
        report.trace({"T0", q[0]});
        report.trace({"TL2", q[1]});
        report.trace({"TL", q[2]});
        report.trace({"GK", gk(k)});
        report.trace({"ZWA", g1});
        report.trace({"ZWB", g2});
        report.trace({"ZWC", g3});
        report.trace();
    }
    // 2. The specific twist of a closed section.
    if (s.az > 0) report.write(Block::twist, {t0(s.kw + 1)});

    // 3. Mass moments about axes through the shear centre parallel to the principal axes.
    const double h1 = ys - yt, h2 = zs - zt;
    const double yy = s.iyyd * s.cos2 + s.izzd * s.sin2 - s.izyd * s.sin2al +
                      m * zmst * (zmst + 2.0 * h2 * s.cosa - 2.0 * h1 * s.sina);
    const double zy = 0.5 * s.sin2al * (s.iyyd - s.izzd) + s.izyd * s.cos2al +
                      m * (s.cosa * (h2 * ymst + h1 * zmst) + zmst * ymst - s.sina * (h1 * ymst - h2 * zmst));
    const double zz = s.izzd * s.cos2 + s.iyyd * s.sin2 + s.izyd * s.sin2al +
                      m * ymst * (ymst + 2.0 * h1 * s.cosa + 2.0 * h2 * s.sina);
    if (!all_finite({yy, zy, zz})) {
        refuse(-2, "Box-beam: the mass moments are not finite");
        return false;
    }
    iyys = yy;
    izys = zy;
    izzs = zz;
    report.write(Block::mass_moments, {iyys, izys, izzs, itt});

    // 4. The torsion stiffness: the closed system under a unit torque.
    dt = 0.0;
    if (s.az > 0) {
        const int32_t equations = s.ig + s.az + 1;
        std::vector<double> load(static_cast<std::size_t>(equations), 0.0), x;
        load.back() = -s.scale[static_cast<std::size_t>(s.az)];
        print_system(s, report, equations, s.kw + 1, load);
        if (!solve_system(s, report, true, equations, load, x)) return false;
        const double stiffness = 1.0 / x.back();
        if (!std::isfinite(stiffness)) {
            refuse(-2, "Box-beam: the torsion stiffness is not finite");
            return false;
        }
        dt = stiffness;
    }
    report.write(Block::torsion, {dt});

    // 5. The nodal forces.
    current_report() = &report;
    KNKRFT(&s.kw);
    current_report() = nullptr;
    return true;
}

void nodal_forces(int32_t walls, const Report &report) {
    using namespace wand;
    using namespace kraft;
    if (!report.printing()) return;
    // pknt[i][p][d]: wall i, node p (start, middle, end), direction d (X, Y, Z).
    std::vector<std::array<std::array<double, 3>, 3>> pknt(static_cast<std::size_t>(std::max(walls, 0)));
    double sums[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 1; i <= walls; ++i) {
        auto &f = pknt[static_cast<std::size_t>(i - 1)];
        const double delty = (yklk(i) - yk0(i)) / 30.0, deltz = (zklk(i) - zk0(i)) / 30.0;
        const double alng = std::sqrt(delty * delty + deltz * deltz);
        f[0][0] = (2.0 * nxl2(i) + 4.0 * nx0(i) - nxl(i)) * alng;
        f[1][0] = (16.0 * nxl2(i) + 2.0 * nx0(i) + 2.0 * nxl(i)) * alng;
        f[2][0] = (2.0 * nxl2(i) + 4.0 * nxl(i) - nx0(i)) * alng;
        const double hi[3] = {2.0 * tl2(i) + 4.0 * t0(i) - tl(i), 16.0 * tl2(i) + 2.0 * t0(i) + 2.0 * tl(i),
                              2.0 * tl2(i) + 4.0 * tl(i) - t0(i)};
        for (int p = 0; p < 3; ++p) {
            f[p][1] = hi[p] * delty;
            f[p][2] = hi[p] * deltz;
        }
        for (int d = 0; d < 3; ++d)
            for (int p = 0; p < 3; ++p) sums[d] += f[p][d];
    }
    if (report.extended()) report.write(Block::force_sums, {sums[0], sums[1], sums[2]});
    static constexpr const char *directions[3] = {"X", "Y", "Z"};
    for (int d = 0; d < 3; ++d) {
        report.write(Block::force_gap);
        report.write(Block::force_head, {directions[d], d + 1, d + 1, d + 1});
        for (int32_t i = 1; i <= walls; ++i) {
            const auto &f = pknt[static_cast<std::size_t>(i - 1)];
            report.write(Block::force_row, {i, ig1(i), f[0][d], f[1][d], f[2][d], ig2(i)});
        }
    }
}

}  // namespace kestro::boxbeam

extern "C" void KNKRFT(const int32_t *maxw) {
    // Outside an analysis there is no report to write to.
    if (const kestro::boxbeam::Report *report = kestro::boxbeam::current_report(); report != nullptr)
        kestro::boxbeam::nodal_forces(*maxw, *report);
}
