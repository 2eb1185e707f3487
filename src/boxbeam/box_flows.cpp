// Shear flows of the box beam: cap equilibrium and cell compatibility rows,
// the two unit-shear systems of the shear centre and the system of the load,
// whose solution is the start flow of every wall and, for a closed section,
// the specific twist.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "boxbeam/box.hpp"
#include "boxbeam/box_report.hpp"
#include "core/process.hpp"
#include "core/shared_data.hpp"

namespace kestro::boxbeam {

namespace {

// Multiplies columns 1..kw of a row by 1 / its largest magnitude there (1 for
// a zero row) and returns the factor.
double scale_row(SparseRow &row, int32_t kw) {
    double largest = -1.0;
    for (const Entry &e : row)
        if (e.column <= kw) largest = std::max(largest, std::abs(e.value));
    const double factor = largest == 0.0 ? 1.0 : 1.0 / largest;
    for (Entry &e : row)
        if (e.column <= kw) e.value *= factor;
    return factor;
}

double sum_over(const std::vector<int32_t> &walls, const std::vector<double> &values) {
    double sum = 0.0;
    for (int32_t k : walls) sum += values[static_cast<std::size_t>(k - 1)];
    return sum;
}

// The cells' loops through the walls, their compatibility rows and doubled
// areas; false when refused.  A missing wall ends the process.
bool cell_topology(Section &s, Report &report) {
    using namespace wand;
    using zelle::ia;
    std::vector<int32_t> &first = s.cap_first, &walls = s.cap_walls;
    first.assign(static_cast<std::size_t>(s.ig) + 2, 0);
    for (int32_t k = 1; k <= s.kw; ++k) {
        ++first[static_cast<std::size_t>(ig1(k)) + 1];
        ++first[static_cast<std::size_t>(ig2(k)) + 1];
    }
    for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
    walls.assign(static_cast<std::size_t>(2 * s.kw), 0);
    std::vector<int32_t> &next = s.scratch;
    next.assign(first.begin(), first.end());
    for (int32_t k = 1; k <= s.kw; ++k) {
        walls[static_cast<std::size_t>(next[static_cast<std::size_t>(ig1(k))]++)] = k;
        walls[static_cast<std::size_t>(next[static_cast<std::size_t>(ig2(k))]++)] = k;
    }
    // The first wall (by number) joining two caps, 0 for none.
    const auto wall_between = [&](int32_t from, int32_t to) {
        for (int32_t q = first[static_cast<std::size_t>(from)]; q < first[static_cast<std::size_t>(from) + 1]; ++q) {
            const int32_t k = walls[static_cast<std::size_t>(q)];
            if ((ig1(k) == from && ig2(k) == to) || (ig1(k) == to && ig2(k) == from)) return k;
        }
        return 0;
    };
    const auto successor = [](int32_t j, int32_t count) { return j == count ? 1 : j + 1; };
    // A missing wall ends the process whatever else a cell holds: every loop is searched first.
    for (int32_t c = 1; c <= s.az; ++c)
        for (int32_t j = 1; j <= zelle::iak(c); ++j) {
            const int32_t from = ia(j, c), to = ia(successor(j, zelle::iak(c)), c);
            if (wall_between(from, to) == 0) {
                report.write(Block::missing_wall, {c, from, to});
                report.close();
                end_process(1);
            }
        }
    for (int32_t c = 1; c <= s.az; ++c) {
        const int32_t count = zelle::iak(c);
        SparseRow &row = s.row(s.ig + c);
        double zf = 0.0, turned = 0.0;
        auto &along = s.iala[static_cast<std::size_t>(c - 1)];
        auto &against = s.ibeta[static_cast<std::size_t>(c - 1)];
        for (int32_t j = 1; j <= count; ++j) {
            const int32_t from = ia(j, c), found = wall_between(from, ia(successor(j, count), c));
            const std::size_t w = static_cast<std::size_t>(found - 1);
            if (gk(found) == 0.0) {
                refuse(-2, "Box-beam: a cell wall without shear stiffness", {found});
                return false;
            }
            // A wall named twice in one loop counts twice, in its coefficient as in the rest.
            if (ig1(found) == from) {
                along.push_back(found);
                add_at(row, found, s.lk[w] / gk(found));
                zf += s.ruk[w];
            } else {
                against.push_back(found);
                add_at(row, found, -s.lk[w] / gk(found));
                zf -= s.ruk[w];
            }
            turned += std::abs(s.ruk[w]);
        }
        s.zfa[static_cast<std::size_t>(c - 1)] = zf;
        if (!(std::abs(zf) > 1e-12 * turned)) {
            refuse(-2, "Box-beam: a cell encloses no area", {c});
            return false;
        }
    }
    return true;
}

// The cap's principal coordinates.
void principal_of(const Section &s, int32_t i, double &ystar, double &zstar) {
    const double h = gurt::zi(i) - quer::zs, g = gurt::yi(i) - quer::ys;
    zstar = s.cosa * h - s.sina * g;
    ystar = s.cosa * g + s.sina * h;
}

}  // namespace

void print_system(const Section &s, const Report &report, int32_t rows, int32_t columns,
                  const std::vector<double> &load) {
    if (!report.extended()) return;
    report.write(Block::system_head, {rows, columns});
    std::vector<format::Value> values;
    for (int32_t r = 1; r <= rows; ++r) {
        values.assign(static_cast<std::size_t>(columns + 1), format::Value(0.0));
        for (const Entry &e : s.rows[static_cast<std::size_t>(r - 1)])
            if (e.column <= columns) values[static_cast<std::size_t>(e.column - 1)] = format::Value(e.value);
        values.back() = format::Value(load[static_cast<std::size_t>(r - 1)]);
        report.write(Block::values, values);
    }
}

bool solve_system(const Section &s, const Report &report, bool with_twist, int32_t residual_rows,
                  const std::vector<double> &load, std::vector<double> &x) {
    const int32_t n = s.kw + (with_twist ? 1 : 0);
    if (const int32_t status = s.flows.solve(s, load, with_twist, x); status != 0) {
        report.write(Block::abort, {status});
        refuse(-2, "Box-beam: a flow system cannot be solved (the elimination stopped)", {status});
        return false;
    }
    if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) {
        refuse(-2, "Box-beam: the flows are not finite");
        return false;
    }
    if (!report.extended()) return true;
    report.write(Block::solutions_head);
    report.write(Block::values, std::vector<format::Value>(x.begin(), x.end()));
    report.write(Block::residuals_head);
    std::vector<double> row(static_cast<std::size_t>(n));
    for (int32_t r = 1; r <= residual_rows; ++r) {
        std::fill(row.begin(), row.end(), 0.0);
        for (const Entry &e : s.rows[static_cast<std::size_t>(r - 1)])
            if (e.column <= n) row[static_cast<std::size_t>(e.column - 1)] = e.value;
        report.write(Block::residual,
                     {std::abs(qvskpx(row.data(), x.data(), n, 1, 1) + load[static_cast<std::size_t>(r - 1)])});
    }
    return true;
}

bool shear_flows(Section &s, Report &report) {
    using namespace wand;
    using namespace quer;
    // 1. The moment row, scaled.
    s.scale[static_cast<std::size_t>(s.az)] = scale_row(s.row(s.moment_row()), s.kw);
    // 2. Cap equilibrium: -1 where a wall leaves the cap, +1 where it arrives.
    for (int32_t k = 1; k <= s.kw; ++k) {
        s.row(ig1(k)).push_back({k, -1.0});
        s.ibet[static_cast<std::size_t>(ig1(k) - 1)].push_back(k);
        s.row(ig2(k)).push_back({k, 1.0});
        s.ial[static_cast<std::size_t>(ig2(k) - 1)].push_back(k);
    }
    // 3., 4. The cells, their rows scaled.
    if (!cell_topology(s, report)) return false;
    for (int32_t c = 1; c <= s.az; ++c) s.scale[static_cast<std::size_t>(c - 1)] = scale_row(s.row(s.ig + c), s.kw);

    const int32_t equations = s.ig + s.az;
    std::vector<double> deltyk_in(static_cast<std::size_t>(s.ig)), deltzk_in(deltyk_in.size());
    std::vector<double> ystar(deltyk_in.size()), zstar(deltyk_in.size());
    for (int32_t i = 1; i <= s.ig; ++i) {
        const std::size_t p = static_cast<std::size_t>(i - 1);
        deltyk_in[p] = sum_over(s.ial[p], s.deltyk);
        deltzk_in[p] = sum_over(s.ial[p], s.deltzk);
        principal_of(s, i, ystar[p], zstar[p]);
    }
    // Per cell, the sums of the shear-deformation terms against minus along the loop.
    std::vector<double> ddqy(static_cast<std::size_t>(s.az)), ddqz(ddqy.size());
    for (std::size_t c = 0; c < ddqy.size(); ++c) {
        ddqy[c] = sum_over(s.ibeta[c], s.ddqyk) - sum_over(s.iala[c], s.ddqyk);
        ddqz[c] = sum_over(s.ibeta[c], s.ddqzk) - sum_over(s.iala[c], s.ddqzk);
    }

    // 5. The shear centre: unit shear forces along the principal z and y axes.
    s.flows.factor(s);
    std::vector<double> load(static_cast<std::size_t>(equations + 1)), x;
    for (int n = 1; n <= 2; ++n) {
        for (int32_t i = 1; i <= s.ig; ++i) {
            const std::size_t p = static_cast<std::size_t>(i - 1);
            load[p] = n == 1 ? deltyk_in[p] - gurt::bi(i) * zstar[p] / dyyste
                             : deltzk_in[p] - gurt::bi(i) * ystar[p] / dzzste;
        }
        for (int32_t c = 1; c <= s.az; ++c) {
            const std::size_t p = static_cast<std::size_t>(c - 1);
            load[static_cast<std::size_t>(s.ig) + p] = (n == 1 ? ddqy[p] : ddqz[p]) * s.scale[p];
        }
        print_system(s, report, equations, s.kw, load);
        if (!solve_system(s, report, false, equations, load, x)) return false;
        double moment = 0.0;
        for (int32_t k = 1; k <= s.kw; ++k) {
            const std::size_t w = static_cast<std::size_t>(k - 1);
            moment +=
                n == 1 ? x[w] * s.ruk[w] - s.truyk[w] * bk(k) / dyyste : s.truzk[w] * bk(k) / dzzste - x[w] * s.ruk[w];
        }
        for (int32_t k = 1; k <= s.kw; ++k) kraft::t0(k) = x[static_cast<std::size_t>(k - 1)];
        if (!std::isfinite(moment)) {
            refuse(-2, "Box-beam: the shear centre is not finite");
            return false;
        }
        (n == 1 ? ymst : zmst) = moment;
    }

    // 6. The shear centre in the reference system; the torque about it and
    // the principal shear forces.
    ymstac = ys + s.cosa * ymst - s.sina * zmst;
    zmstac = zs + s.sina * ymst + s.cosa * zmst;
    report.write(Block::shear_centre, {ymst, ymstac, zmst, zmstac});
    s.mxs = s.mx - ymstac * s.qz + zmstac * s.qy;
    s.qy_star = s.sina * s.qz + s.cosa * s.qy;
    s.qz_star = s.cosa * s.qz - s.sina * s.qy;

    // 7. The load's system: with the twist as unknown kw + 1 of a closed section.
    for (int32_t i = 1; i <= s.ig; ++i) {
        const std::size_t p = static_cast<std::size_t>(i - 1);
        load[p] = s.qz_star * deltyk_in[p] + s.qy_star * deltzk_in[p] - gurt::bi(i) * (s.qz_star / dyyste) * zstar[p] -
                  gurt::bi(i) * (s.qy_star / dzzste) * ystar[p];
    }
    for (int32_t c = 1; c <= s.az; ++c) {
        const std::size_t p = static_cast<std::size_t>(c - 1);
        load[static_cast<std::size_t>(s.ig) + p] = (ddqy[p] * s.qz_star + ddqz[p] * s.qy_star) * s.scale[p];
    }
    load[static_cast<std::size_t>(equations)] =
        (-s.mxs - s.rmx - ymst * s.qz_star + zmst * s.qy_star) * s.scale[static_cast<std::size_t>(s.az)];
    for (int32_t c = 1; c <= s.az; ++c)
        s.row(s.ig + c).push_back(
            {s.kw + 1, -s.zfa[static_cast<std::size_t>(c - 1)] * s.scale[static_cast<std::size_t>(c - 1)]});
    print_system(s, report, equations + 1, s.kw + 1, load);
    if (s.az > 0) {
        s.flows.factor_twist(s);
        if (!solve_system(s, report, true, equations + 1, load, x)) return false;
        for (int32_t k = 1; k <= s.kw + 1; ++k) kraft::t0(k) = x[static_cast<std::size_t>(k - 1)];
    } else {
        report.write(Block::open_profile);
        if (!solve_system(s, report, false, equations, load, x)) return false;
        for (int32_t k = 1; k <= s.kw; ++k) kraft::t0(k) = x[static_cast<std::size_t>(k - 1)];
    }
    return true;
}

}  // namespace kestro::boxbeam
