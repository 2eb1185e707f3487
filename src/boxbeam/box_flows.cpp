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

// The order of the walls for the flow systems.  The elimination takes the
// unknowns in order, and a row whose walls lie far apart in that order
// fills every row it meets over the whole span (a ladder numbered rail by
// rail fills quadratically).  A breadth-first walk over the caps from a cap
// at the far end of the section (the last one a walk from the first wall's
// start cap reaches) numbers the walls as it meets them, so that every row
// spans a few neighbours.  The walk's order is taken only when it narrows
// the rows (the sum of their spans over the cap and cell rows) to less
// than half: a section numbered along itself keeps its own order, and with
// it the elimination's results bit for bit.
std::vector<int32_t> wall_order(const Section &s) {
    using namespace wand;
    const auto caps = static_cast<std::size_t>(s.ig), walls = static_cast<std::size_t>(s.kw);
    std::vector<int32_t> queue, order;
    std::vector<char> reached(caps + 1), placed(walls + 1);
    queue.reserve(caps);
    order.reserve(walls);
    // Walks from start over every cap it reaches; then from every cap not
    // reached (pieces that the argument checks let through).  The last cap
    // reached.
    const auto walk = [&](int32_t start) {
        std::fill(reached.begin(), reached.end(), 0);
        std::fill(placed.begin(), placed.end(), 0);
        queue.clear();
        order.clear();
        for (int32_t from = start, next = 1; from != 0;) {
            reached[static_cast<std::size_t>(from)] = 1;
            queue.push_back(from);
            for (std::size_t head = queue.size() - 1; head < queue.size(); ++head) {
                const int32_t cap = queue[head];
                for (int32_t q = s.cap_first[static_cast<std::size_t>(cap)];
                     q < s.cap_first[static_cast<std::size_t>(cap) + 1]; ++q) {
                    const int32_t k = s.cap_walls[static_cast<std::size_t>(q)];
                    if (!placed[static_cast<std::size_t>(k)]) {
                        placed[static_cast<std::size_t>(k)] = 1;
                        order.push_back(k);
                    }
                    const int32_t other = ig1(k) == cap ? ig2(k) : ig1(k);
                    if (!reached[static_cast<std::size_t>(other)]) {
                        reached[static_cast<std::size_t>(other)] = 1;
                        queue.push_back(other);
                    }
                }
            }
            while (next <= s.ig && reached[static_cast<std::size_t>(next)]) ++next;
            from = next <= s.ig ? next : 0;
        }
        return queue.back();
    };
    if (s.kw < 2) return {};
    walk(walk(ig1(1)));
    // The sum of the rows' spans with wall k at position[k].
    std::vector<int32_t> position(walls + 1);
    const auto spans = [&] {
        int64_t sum = 0;
        for (int32_t r = 1; r <= s.ig + s.az; ++r) {
            int32_t low = s.kw, high = 1;
            for (const Entry &e : s.rows[static_cast<std::size_t>(r - 1)])
                if (e.column <= s.kw) {
                    low = std::min(low, position[static_cast<std::size_t>(e.column)]);
                    high = std::max(high, position[static_cast<std::size_t>(e.column)]);
                }
            sum += std::max(high - low, 0);
        }
        return sum;
    };
    for (int32_t k = 1; k <= s.kw; ++k) position[static_cast<std::size_t>(k)] = k;
    const int64_t own = spans();
    for (std::size_t p = 0; p < order.size(); ++p)
        position[static_cast<std::size_t>(order[p])] = static_cast<int32_t>(p + 1);
    return 2 * spans() < own ? order : std::vector<int32_t>{};
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

bool solve_system(const Section &s, const Report &report, const System &system, int32_t residual_rows,
                  const std::vector<double> &load, std::vector<double> &x) {
    const int32_t n = system.unknowns;
    std::vector<double> rhs(static_cast<std::size_t>(n + 1));
    for (std::size_t i = 0; i < rhs.size(); ++i) rhs[i] = -load[i];
    x.assign(static_cast<std::size_t>(n), 0.0);
    bool free_unknown = false;
    int32_t status = system.status;
    if (status == 0) status = system.elimination.solve(rhs.data(), x.data(), free_unknown);
    if (status != 0) {
        report.write(Block::abort, {status});
        refuse(-2, "Box-beam: a flow system cannot be solved (the elimination stopped)", {status});
        return false;
    }
    if (free_unknown) {
        refuse(-2, "Box-beam: a flow system has a free unknown");
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

void System::factor(const Section &s, int32_t n) {
    unknowns = n;
    if (!s.wall_order.empty()) {
        std::vector<int32_t> columns = s.wall_order;
        if (n > s.kw) columns.push_back(n);  // the twist
        // Banded, the fill is a few entries per row.  Where a long row wins
        // a pivot all the same (the moment row, whose entries grow as the
        // walls before are eliminated), every row it meets fills to its
        // length: that elimination is given up early, for the walls' own
        // order, which costs what it did.
        std::size_t entries = 0;
        for (int32_t r = 0; r <= n; ++r) entries += s.rows[static_cast<std::size_t>(r)].size();
        status = elimination.factor(s.rows, n, 1e-30, columns, 8 * entries);
        if (status == 0 && elimination.last_pivot_found()) return;
    }
    status = elimination.factor(s.rows, n, 1e-30);
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
    s.wall_order = wall_order(s);

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
    static System shear;
    shear.factor(s, s.kw);
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
        if (!solve_system(s, report, shear, equations, load, x)) return false;
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
        s.closed.factor(s, s.kw + 1);
        if (!solve_system(s, report, s.closed, equations + 1, load, x)) return false;
        for (int32_t k = 1; k <= s.kw + 1; ++k) kraft::t0(k) = x[static_cast<std::size_t>(k - 1)];
    } else {
        report.write(Block::open_profile);
        if (!solve_system(s, report, shear, equations, load, x)) return false;
        for (int32_t k = 1; k <= s.kw; ++k) kraft::t0(k) = x[static_cast<std::size_t>(k - 1)];
    }
    return true;
}

}  // namespace kestro::boxbeam
