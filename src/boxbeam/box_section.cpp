// Section properties of the box beam: axial stiffness, mass, stiffness and
// mass centres, bending stiffnesses and principal axes, the strain plane of
// the axial force and bending moments with the cap forces and wall flows, and
// the static moments and wall terms of the shear-flow systems.
#include <cmath>
#include <cstdint>

#include "boxbeam/box.hpp"
#include "boxbeam/box_report.hpp"
#include "core/shared_data.hpp"

namespace kestro::boxbeam {

namespace {

// Principal coordinates (y*, z*) of a point relative to the stiffness centre.
struct Principal {
    double y, z;
};

Principal principal(const Section &s, double y, double z) {
    const double h = z - quer::zs, g = y - quer::ys;
    return {s.cosa * g + s.sina * h, s.cosa * h - s.sina * g};
}

// The principal angle in degrees as the report prints it.
double degrees_of(double alpha) { return 180.0 * alpha / 3.141592654; }

// The sums of step 2 and 3 that the centres and the bending step read.
struct Sums {
    double sy = 0.0, sz = 0.0, myt = 0.0, mzt = 0.0;
};

// 1. to 3. Start values (c is zero as created), then the stiffness and mass
// sums of the caps and walls; false when the section has no axial stiffness.
bool stiffness_and_mass(Section &s, Sums &sums) {
    using namespace quer;
    using namespace gurt;
    using namespace wand;
    bx = m = yt = zt = itt = dyy = dzy = dzz = 0.0;
    double &sy = sums.sy, &sz = sums.sz, &myt = sums.myt, &mzt = sums.mzt;
    s.iyyd = s.izyd = s.izzd = 0.0;

    // 2., 3. Stiffness and mass sums of the caps and walls.
    for (int32_t i = 1; i <= s.ig; ++i) {
        bx += bi(i);
        sy += bi(i) * zi(i);
        sz += bi(i) * yi(i);
        m += myi(i);
        myt += myi(i) * yi(i);
        mzt += myi(i) * zi(i);
    }
    for (int32_t k = 1; k <= s.kw; ++k) {
        const std::size_t w = static_cast<std::size_t>(k - 1);
        const double dy = yklk(k) - yk0(k), dz = zklk(k) - zk0(k);
        s.lk[w] = std::sqrt(dy * dy + dz * dz);
        bx += bk(k) * s.lk[w];
        m += rhok(k) * s.lk[w];
        s.skyk[w] = s.lk[w] * (zk0(k) + zklk(k)) / 2.0;
        s.skzk[w] = s.lk[w] * (yk0(k) + yklk(k)) / 2.0;
        sy += bk(k) * s.skyk[w];
        sz += bk(k) * s.skzk[w];
        myt += rhok(k) * s.skzk[w];
        mzt += rhok(k) * s.skyk[w];
    }
    if (!(bx > 0.0)) {
        refuse(-2, "Box-beam: the section has no axial stiffness");
        return false;
    }
    return true;
}

void centres(const Sums &sums, const Report &report) {
    using namespace quer;
    // 4. Centres; without mass the mass centre is the origin.
    ys = sums.sz / bx;
    zs = sums.sy / bx;
    yt = m != 0.0 ? sums.myt / m : 0.0;
    zt = m != 0.0 ? sums.mzt / m : 0.0;
    if (report.extended()) report.write(Block::centres, {bx, m, ys, zs, yt, zt});
}

void bending_and_mass_moments(Section &s, const Sums &sums, const Report &report) {
    using namespace quer;
    using namespace gurt;
    using namespace wand;
    const double sy = sums.sy, sz = sums.sz;
    // 5. Bending stiffnesses and mass moments about the stiffness centre,
    // the polar mass moment about the mass centre.
    for (int32_t i = 1; i <= s.ig; ++i) {
        double h1 = zi(i) - zs, h2 = yi(i) - ys;
        dyy += bi(i) * h1 * h1;
        dzy += bi(i) * h1 * h2;
        dzz += bi(i) * h2 * h2;
        s.iyyd += myi(i) * h1 * h1;
        s.izyd += myi(i) * h1 * h2;
        s.izzd += myi(i) * h2 * h2;
        h1 = zi(i) - zt;
        h2 = yi(i) - yt;
        itt += myi(i) * (h1 * h1 + h2 * h2);
    }
    for (int32_t k = 1; k <= s.kw; ++k) {
        const double lk = s.lk[static_cast<std::size_t>(k - 1)];
        const double dy = yklk(k) - yk0(k), dz = zklk(k) - zk0(k);
        double h1 = zk0(k) - zs, h2 = yk0(k) - ys;
        double dyyk = (dz * dz / 3.0 + h1 * h1 + h1 * dz) * lk;
        double dzzk = (dy * dy / 3.0 + h2 * h2 + h2 * dy) * lk;
        const double dzyk = (dz * dy / 3.0 + h1 * h2 + 0.5 * (h2 * dz + dy * h1)) * lk;
        dyy += bk(k) * dyyk;
        dzy += bk(k) * dzyk;
        dzz += bk(k) * dzzk;
        s.iyyd += rhok(k) * dyyk;
        s.izyd += rhok(k) * dzyk;
        s.izzd += rhok(k) * dzzk;
        if (report.extended()) {
            report.trace({"Wand:", k});
            report.trace({"PHIK,ZKLK,ZK0", dz, zklk(k), zk0(k)});
            report.trace({"LAMK,YKLK,YK0", dy, yklk(k), yk0(k)});
            report.trace({"SZ", sz});
            report.trace({"SY", sy});
            report.trace({"BX", bx});
            report.trace({"H1", h1});
            report.trace({"H2", h2});
            report.trace({"BI", k <= s.ig ? bi(k) : 0.0});
            report.trace({"BK", bk(k)});
            report.trace({"DYYK", dyyk});
            report.trace({"DZZK", dzzk});
            report.trace({"DZYK", dzyk});
            report.trace({"DYY", dyy});
            report.trace({"DZY", dzy});
            report.trace({"DZZ", dzz});
            report.trace();
            report.trace({"IYYD", s.iyyd});
            report.trace({"IZYD", s.izyd});
            report.trace({"IZZD", s.izzd});
        }
        if (report.extended()) report.trace();
        h1 = zk0(k) - zt;
        h2 = yk0(k) - yt;
        dyyk = (dz * dz / 3.0 + h1 * h1 + h1 * dz) * lk;
        dzzk = (dy * dy / 3.0 + h2 * h2 + h2 * dy) * lk;
        itt += (dzzk + dyyk) * rhok(k);
        report.trace({"ITT", itt});
        report.trace();
    }
    report.write(Block::bending, {dyy, dzy, dzz});

    // 6. Stiffnesses about the reference origin; the polar mass moments about
    // the mass centre and about the reference origin.
    report.write(Block::bending_reference, {dyy + zs * zs * bx, dzy + ys * zs * bx, dzz + ys * ys * bx});
    report.write(Block::polar_centre, {itt});
    report.write(Block::polar_reference, {itt + m * (yt * yt + zt * zt)});
}

// False when the section has no bending stiffness about a principal axis.
bool principal_axes(Section &s, const Report &report) {
    using namespace quer;
    // 7. Principal stiffnesses and angle.
    const double difference = dzz - dyy, root = std::sqrt(difference * difference + 4.0 * dzy * dzy);
    if (difference >= 0.0) {
        dyyste = (dzz + dyy - root) / 2.0;
        dzzste = (dyy + dzz + root) / 2.0;
    } else {
        dyyste = (dyy + dzz + root) / 2.0;
        dzzste = (dyy + dzz - root) / 2.0;
    }
    constexpr double quarter_pi = 0.7853981633974483;
    if (std::abs(difference) > 1e-30 * std::abs(dzy))
        alpha = 0.5 * std::atan(2.0 * dzy / difference);
    else if (dzy == 0.0)
        alpha = 0.0;
    else  // the limit of the formula as dzz - dyy goes to 0 from its side
        alpha = (dzy > 0.0) == (difference >= 0.0) ? quarter_pi : -quarter_pi;
    s.sina = std::sin(alpha);
    s.cosa = std::cos(alpha);
    s.sin2 = s.sina * s.sina;
    s.cos2 = s.cosa * s.cosa;
    s.sin2al = std::sin(2.0 * alpha);
    s.cos2al = std::cos(2.0 * alpha);
    const double degrees = degrees_of(alpha);
    report.trace({"H1", root});
    report.trace({"H2", difference});
    report.trace({"DZY", dzy});
    report.trace({"ALPHA", alpha});
    report.trace({"SINA", s.sina});
    report.trace({"COSA", s.cosa});
    report.trace();
    const double floor = 1e-12 * (dyy + dzz);
    if (!(dyyste > floor) || !(dzzste > floor)) {
        refuse(-2, "Box-beam: the section has no bending stiffness about a principal axis");
        return false;
    }
    report.write(Block::principal, {alpha, degrees, dyyste, dzzste});
    report.write(Block::cap_table_head);
    return true;
}

// The axial strain of the section at a point: eps0 + ky z* + kz y*.
struct StrainPlane {
    double eps0, ky, kz;

    double at(const Section &s, double y, double z) const {
        const Principal p = principal(s, y, z);
        return eps0 + ky * p.z + kz * p.y;
    }
};

StrainPlane strain_plane(Section &s, const Report &report) {
    using namespace quer;
    // 8. The strain plane: moments about the stiffness centre, turned to the
    // principal axes.
    const double m1 = s.my - s.qx * zs, m2 = s.mz + s.qx * ys;
    s.my = s.cosa * m1 + s.sina * m2;
    s.mz = s.cosa * m2 - s.sina * m1;
    const double eps0 = s.qx / bx, ky = s.my / dyyste, kz = -s.mz / dzzste;
    report.trace({"H1, MY, ZS, QX", m1, s.my, zs, s.qx});
    report.trace({"H2, MZ ,YS ,QX", m2, s.mz, ys, s.qx});
    report.trace({"H3", degrees_of(alpha)});
    report.trace();
    return {eps0, ky, kz};
}

void cap_forces(Section &s, const StrainPlane &plane, const Report &report) {
    using namespace quer;
    using namespace gurt;
    const double eps0 = plane.eps0, ky = plane.ky, kz = plane.kz;
    // 9. Cap forces and strains.
    for (int32_t i = 1; i <= s.ig; ++i) {
        const double n = plane.at(s, yi(i), zi(i)) * bi(i);
        epigam::epigu(i) = bi(i) != 0.0 ? n / bi(i) : 0.0;
        report.write(Block::cap_table_row, {i, n, epigam::epigu(i)});
    }
    report.trace({"H1, MY, ZS, QX", eps0, s.my, zs, s.qx});
    report.trace({"H2, MZ ,YS ,QX", ky, s.mz, ys, s.qx});
    report.trace({"H3", kz});
    report.trace();
}

void wall_flows(const Section &s, const StrainPlane &plane, const Report &report) {
    using namespace wand;
    // 10. Longitudinal flows and strains of the walls at start, middle and end.
    report.write(Block::wall_table_head);
    for (int32_t k = 1; k <= s.kw; ++k) {
        const double ym = (yk0(k) + yklk(k)) / 2.0, zm = (zk0(k) + zklk(k)) / 2.0;
        kraft::nx0(k) = plane.at(s, yk0(k), zk0(k)) * bk(k);
        kraft::nxl2(k) = plane.at(s, ym, zm) * bk(k);
        kraft::nxl(k) = plane.at(s, yklk(k), zklk(k)) * bk(k);
        const bool soft = std::abs(bk(k)) < 1e-9;
        const double flows[3] = {kraft::nx0(k), kraft::nxl2(k), kraft::nxl(k)};
        for (int p = 0; p < 3; ++p) epigam::epi(k, p + 1) = soft ? 0.0 : flows[p] / bk(k);
        report.write(Block::flow_row,
                     {k, flows[0], flows[1], flows[2], epigam::epi(k, 1), epigam::epi(k, 2), epigam::epi(k, 3)});
    }
}

void shear_flow_terms(Section &s, const Report &report) {
    using namespace quer;
    using namespace wand;
    // 11. Static moments about the stiffness centre in principal axes, and the
    // wall terms of the shear-flow systems; the moment row of c and its load.
    if (report.extended()) report.write(Block::static_head);
    s.qy_star = s.sina * s.qz + s.cosa * s.qy;
    s.qz_star = s.cosa * s.qz - s.sina * s.qy;
    SparseRow &moment = s.row(s.moment_row());
    s.rmx = 0.0;
    for (int32_t k = 1; k <= s.kw; ++k) {
        const std::size_t w = static_cast<std::size_t>(k - 1);
        const double lk = s.lk[w];
        double h1 = s.skyk[w] - zs * lk, h2 = s.skzk[w] - ys * lk;
        s.sstyk[w] = s.cosa * h1 - s.sina * h2;
        s.sstzk[w] = s.cosa * h2 + s.sina * h1;
        s.deltyk[w] = -s.sstyk[w] * bk(k) / dyyste;
        s.deltzk[w] = -s.sstzk[w] * bk(k) / dzzste;
        h1 = (zklk(k) + 2.0 * zk0(k)) / 3.0 - zs;
        h2 = (yklk(k) + 2.0 * yk0(k)) / 3.0 - ys;
        const double h3 = lk * lk / 2.0;
        const double dsiyk = h3 * (s.cosa * h1 - s.sina * h2), dsizk = h3 * (s.sina * h1 + s.cosa * h2);
        h1 = zklk(k) + 3.0 * zk0(k) - 4.0 * zs;
        h2 = yklk(k) + 3.0 * yk0(k) - 4.0 * ys;
        s.fstsym[w] = 0.125 * lk * (s.cosa * h1 - s.sina * h2);
        s.fstszm[w] = 0.125 * lk * (s.cosa * h2 + s.sina * h1);
        s.ruk[w] = (zklk(k) - zk0(k)) * (yk0(k) - ys) - (yklk(k) - yk0(k)) * (zk0(k) - zs);
        s.truyk[w] = dsiyk * s.ruk[w] / lk;
        s.truzk[w] = dsizk * s.ruk[w] / lk;
        s.ddqyk[w] = dsiyk * (bk(k) / gk(k)) / dyyste;
        s.ddqzk[w] = dsizk * (bk(k) / gk(k)) / dzzste;
        if (report.extended()) report.write(Block::static_row, {k, s.sstyk[w], s.sstzk[w], dsiyk, dsizk});
        if (report.extended()) {
            report.trace({"Wand:", k});
            report.trace({"SSTYK", s.sstyk[w]});
            report.trace({"SSTZK", s.sstzk[w]});
            report.trace({"DYYSTE", dyyste});
            report.trace({"DZZSTE", dzzste});
            report.trace({"DELTYK", s.deltyk[w]});
            report.trace({"DELTZK", s.deltzk[w]});
            report.trace();
        }
        moment.push_back({k, s.ruk[w]});
        s.rmx += bk(k) * (s.qz_star * s.truyk[w] / dyyste + s.qy_star * s.truzk[w] / dzzste);
    }
}

}  // namespace

bool section_properties(Section &s, const Report &report) {
    Sums sums;
    if (!stiffness_and_mass(s, sums)) return false;
    centres(sums, report);
    bending_and_mass_moments(s, sums, report);
    if (!principal_axes(s, report)) return false;
    const StrainPlane plane = strain_plane(s, report);
    cap_forces(s, plane, report);
    wall_flows(s, plane, report);
    shear_flow_terms(s, report);
    return true;
}

}  // namespace kestro::boxbeam
