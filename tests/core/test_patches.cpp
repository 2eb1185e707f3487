// Nodal patches against a brute-force walk written from their definition
// (ring r: the elements outside earlier rings that hold a node number of ring
// r - 1; a point within the tolerance of one gathered before compared with
// every one of them), on a jittered block of 2,400 quadrilaterals with its
// node numbers and element order shuffled (the numbers dense, or spread over
// all 4-byte integers), a fan of 400 quadrilaterals around one node inside
// six layers of diamonds, and a block cracked along half a line, whose two
// faces hold coincident nodes of their own; and points the grid of the repeat
// check cannot place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decl/elementhandling.hpp"
#include "shared_state.hpp"

namespace {

constexpr double kEmpty = -1.7976931348623157e308;
using Point = std::array<double, 3>;
using Patches = SharedState;

struct Mesh {
    int32_t nnodes = 4;
    std::vector<int32_t> nodes;  // (nnodes, nelem)
    std::vector<double> coords;  // (3, nnodes, nelem)

    int32_t nelem() const { return static_cast<int32_t>(nodes.size()) / nnodes; }
    void add(const std::array<int32_t, 4> &numbers, const std::array<Point, 4> &at) {
        nodes.insert(nodes.end(), numbers.begin(), numbers.end());
        for (const Point &x : at) coords.insert(coords.end(), x.begin(), x.end());
    }
    int32_t node(int32_t e, int32_t j) const { return nodes[static_cast<std::size_t>((e - 1) * nnodes + j)]; }
    const double *point(int32_t e, int32_t j) const {
        return &coords[3 * static_cast<std::size_t>((e - 1) * nnodes + j)];
    }
};

// nx x ny quadrilaterals with nodes moved by up to 0.3, node numbers shuffled
// (from 1000 on; `spread`: every third, two of them the smallest and the
// largest 4-byte integers), the elements in shuffled order, and every slot's
// copy of its node moved by up to 2e-11 per coordinate (within 1e-10 of the
// others).
Mesh block(int32_t nx, int32_t ny, bool spread) {
    std::mt19937 random(74);
    std::uniform_real_distribution<double> move(-0.3, 0.3), slot(-2e-11, 2e-11);
    std::vector<Point> at;
    std::vector<int32_t> number;
    for (int32_t i = 0; i <= nx; ++i)
        for (int32_t j = 0; j <= ny; ++j) {
            at.push_back({i + move(random), j + move(random), 0.0});
            number.push_back(1000 + (spread ? 3 : 1) * static_cast<int32_t>(number.size()));
        }
    std::shuffle(number.begin(), number.end(), random);
    if (spread) {
        number[0] = INT32_MIN;
        number[1] = INT32_MAX;
    }
    std::vector<std::array<std::size_t, 4>> cells;
    const auto up = static_cast<std::size_t>(ny) + 1;
    for (std::size_t n = 0; n + up < at.size(); ++n)
        if ((n + 1) % up != 0) cells.push_back({n, n + up, n + up + 1, n + 1});
    std::shuffle(cells.begin(), cells.end(), random);
    Mesh m;
    for (const auto &c : cells) {
        std::array<Point, 4> where{at[c[0]], at[c[1]], at[c[2]], at[c[3]]};
        for (Point &x : where)
            for (double &v : x) v += slot(random);
        m.add({number[c[0]], number[c[1]], number[c[2]], number[c[3]]}, where);
    }
    return m;
}

// n quadrilaterals around node 1 (node 1, p(1, i), p(2, i), p(1, i + 1)), then
// `layers` rings of n diamonds (p(L, i + 1), p(L + 1, i + 1), p(L + 2, i),
// p(L + 1, i)), where p(L, i) lies at radius L and angle (i + L / 2) 2 pi / n.
Mesh fan(int32_t n, int32_t layers) {
    const auto p = [n](int32_t level, int32_t i) {
        i %= n;
        const double angle = (i + 0.5 * level) * 2.0 * std::numbers::pi / n;
        return std::make_pair(2 + (level - 1) * n + i, Point{level * std::cos(angle), level * std::sin(angle), 0.0});
    };
    Mesh m;
    const auto add = [&m](const std::array<std::pair<int32_t, Point>, 4> &corners) {
        m.add({corners[0].first, corners[1].first, corners[2].first, corners[3].first},
              {corners[0].second, corners[1].second, corners[2].second, corners[3].second});
    };
    for (int32_t i = 0; i < n; ++i) add({std::make_pair(1, Point{0, 0, 0}), p(1, i), p(2, i), p(1, i + 1)});
    for (int32_t level = 1; level <= layers; ++level)
        for (int32_t i = 0; i < n; ++i) add({p(level, i + 1), p(level + 1, i + 1), p(level + 2, i), p(level + 1, i)});
    return m;
}

// nx x ny unit squares cracked along x = nx / 2 from y = 0 to ny / 2: the
// squares right of the crack hold nodes of their own there, numbered from
// 5000, at the same points moved by `offset` in x.
Mesh cracked(int32_t nx, int32_t ny, double offset) {
    Mesh m;
    for (int32_t i = 0; i < nx; ++i)
        for (int32_t j = 0; j < ny; ++j) {
            std::array<int32_t, 4> numbers{};
            std::array<Point, 4> where{};
            const int32_t corner[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
            for (int k = 0; k < 4; ++k) {
                const int32_t x = corner[k][0], y = corner[k][1];
                const bool face = x == nx / 2 && i == nx / 2 && y < ny / 2;
                numbers[static_cast<std::size_t>(k)] = face ? 5000 + y : 1 + x * (ny + 1) + y;
                where[static_cast<std::size_t>(k)] = {x + (face ? offset : 0.0), static_cast<double>(y), 0.0};
            }
            m.add(numbers, where);
        }
    return m;
}

// The patch from its definition: ring 1 the elements sharing a node number
// with elemid (elemid too with exflag 1), ring r those outside earlier rings
// sharing one with ring r - 1 (elemid itself with ring 2 when exflag is not
// 1), each ring in table order and the walk ending after a ring that found no
// element; the slots in order, each point compared with all gathered.
std::vector<double> by_definition(const Mesh &m, int32_t elemid, int32_t rings, int32_t exflag, double tolerance,
                                  int32_t npt, bool &overflow) {
    std::vector<double> patch(3 * static_cast<std::size_t>(npt), kEmpty);
    std::vector<char> taken(static_cast<std::size_t>(m.nelem()) + 1, 0);
    taken[static_cast<std::size_t>(elemid)] = 1;
    std::set<int32_t> front(m.nodes.begin() + (elemid - 1) * m.nnodes, m.nodes.begin() + elemid * m.nnodes);
    int32_t count = 0;
    overflow = false;
    for (int32_t r = 1; r <= rings; ++r) {
        std::vector<int32_t> ring;
        for (int32_t k = 1; k <= m.nelem(); ++k)
            for (int32_t j = 0; j < m.nnodes && taken[static_cast<std::size_t>(k)] == 0; ++j)
                if (front.count(m.node(k, j)) != 0) ring.push_back(k);
        front.clear();
        for (int32_t k : ring) {
            taken[static_cast<std::size_t>(k)] = 1;
            for (int32_t j = 0; j < m.nnodes; ++j) front.insert(m.node(k, j));
        }
        const bool found = !ring.empty();
        if ((r == 1 && exflag == 1) || (r == 2 && exflag != 1)) ring.push_back(elemid);
        std::sort(ring.begin(), ring.end());
        for (int32_t k : ring)
            for (int32_t j = 0; j < m.nnodes; ++j) {
                const double *x = m.point(k, j);
                bool there = false;
                for (int32_t c = 0; c < count && !there; ++c) {
                    const double *y = &patch[3 * static_cast<std::size_t>(c)];
                    const double dx = y[0] - x[0], dy = y[1] - x[1], dz = y[2] - x[2];
                    there = std::sqrt(dx * dx + dy * dy + dz * dz) <= tolerance;
                }
                if (there) continue;
                if (count == npt) {
                    overflow = true;
                    return patch;
                }
                std::copy_n(x, 3, &patch[3 * static_cast<std::size_t>(count++)]);
            }
        if (!found) break;
    }
    return patch;
}

std::vector<double> gathered(const Mesh &m, int32_t elemid, int32_t rings, int32_t exflag, const double *tolerance,
                             int32_t npt) {
    std::vector<double> patch(3 * static_cast<std::size_t>(npt), 1.0);
    const int32_t nnodes = m.nnodes, nelem = m.nelem();
    GetNodalPatch(patch.data(), m.coords.data(), m.nodes.data(), &elemid, &npt, &nnodes, &nelem, tolerance, &exflag,
                  &rings, nullptr);
    return patch;
}

int32_t filled(const std::vector<double> &patch) {
    int32_t n = 0;
    while (3 * static_cast<std::size_t>(n) < patch.size() && patch[3 * static_cast<std::size_t>(n)] != kEmpty) ++n;
    return n;
}

struct Case {
    const char *mesh;
    int32_t elemid, exflag;
    double tolerance;  // NaN: not given
};

TEST_F(Patches, SameColumnsAsTheWalkByDefinition) {
    const Mesh block_mesh = block(60, 40, false), spread = block(60, 40, true), fan_mesh = fan(400, 6),
               crack = cracked(30, 20, 5e-11);
    const auto mesh = [&](const std::string &name) -> const Mesh & {
        return name == "block" ? block_mesh : name == "spread" ? spread : name == "fan" ? fan_mesh : crack;
    };
    const double none = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"block", 1, 0, none},     {"block", 1234, 1, none},  {"block", 2400, 0, 1e-10},
        {"block", 77, 0, 1e-12},   {"spread", 5, 0, none},    {"spread", 1500, 1, none},
        {"fan", 1, 0, none},       {"fan", 250, 1, none},
        {"fan", 1000, 0, none},    {"fan", 2750, 1, none},    {"crack", 290, 0, none},
        {"crack", 301, 1, 1e-10},  {"crack", 281, 0, 1e-11}, {"crack", 310, 0, 0.0},
    };
    int64_t points = 0;
    for (const Case &c : cases)
        for (int32_t rings : {1, 2, 5}) {
            SCOPED_TRACE(std::string(c.mesh) + " element " + std::to_string(c.elemid) + ", " + std::to_string(rings) +
                         " rings, exflag " + std::to_string(c.exflag));
            const Mesh &m = mesh(c.mesh);
            const bool given = !std::isnan(c.tolerance);
            const double tolerance = given ? c.tolerance : 1e-10;
            bool overflow = false;
            const int32_t count = filled(by_definition(m, c.elemid, rings, c.exflag, tolerance, 10000, overflow));
            points += count;
            // Room to spare, then too few columns: the first half kept, with the warning.
            for (int32_t npt : {count + 2, count / 2}) {
                kestro::errorhandling::errstat = 0;
                EXPECT_EQ(gathered(m, c.elemid, rings, c.exflag, given ? &c.tolerance : nullptr, npt),
                          by_definition(m, c.elemid, rings, c.exflag, tolerance, npt, overflow));
                EXPECT_EQ(recorded(), overflow ? "Warning: More patch points than npt in GetNodalPatch." : "");
            }
        }
    EXPECT_GT(points, 4000);  // the cases are not trivial
}

// Three squares in a row with given points in some slots: element k holds
// nodes k, k + 1, k + 5, k + 4 (element 3's slot 1 node 9 when `apart`).
Mesh strip(const std::vector<std::pair<int, Point>> &moved, bool apart) {
    Mesh m;
    for (int32_t k = 1; k <= 3; ++k) {
        const double x = k - 1;
        m.add({k == 3 && apart ? 9 : k, k + 1, k + 5, k + 4},
              {Point{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0}});
    }
    for (const auto &[slot, x] : moved) std::copy(x.begin(), x.end(), m.coords.begin() + 3 * slot);
    return m;
}

bool same(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST_F(Patches, PointsTheGridCannotPlaceAreStillCompared) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = 1e300;
    const Mesh infinite = strip({{6, {nan, 0, 0}}, {9, {inf, 0, 0}}}, false),
               beyond = strip({{5, {huge, huge, 0}}, {8, {huge, huge, 0}}, {6, {inf, 5, 0}}, {11, {inf, 5, 0}}}, true);
    struct Placed {
        const char *what;
        const Mesh &mesh;
        double tolerance;
        int32_t exflag, rings;
        std::vector<Point> expected;
    };
    // Slots: element k's slot j is 4 (k - 1) + j - 1.
    const Placed cases[] = {
        // An infinite tolerance: every finite point is a repeat of the first, a
        // point at infinity too (its distance is infinite); NaN is near nothing.
        {"infinite tolerance, one ring", infinite, inf, 1, 1, {{0, 0, 0}, {nan, 0, 0}}},
        {"infinite tolerance, three rings", infinite, inf, 1, 3, {{0, 0, 0}, {nan, 0, 0}}},
        // Coincident points beyond the grid's reach (node 3 and node 9) appear
        // once; a point at infinity is near nothing, not even its own copy.
        {"beyond the grid, one ring", beyond, 1e-10, 1, 1,
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {huge, huge, 0}, {inf, 5, 0}}},
        {"beyond the grid, three rings", beyond, 1e-10, 0, 3,
         {{1, 0, 0}, {huge, huge, 0}, {inf, 5, 0}, {1, 1, 0}, {0, 0, 0}, {0, 1, 0}, {3, 0, 0}, {3, 1, 0}, {inf, 5, 0}}},
    };
    for (const Placed &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> expected(3 * (c.expected.size() + 1), kEmpty);
        for (std::size_t i = 0; i < c.expected.size(); ++i) std::copy_n(c.expected[i].begin(), 3, &expected[3 * i]);
        const auto npt = static_cast<int32_t>(c.expected.size()) + 1;
        EXPECT_TRUE(same(gathered(c.mesh, 1, c.rings, c.exflag, &c.tolerance, npt), expected));
        EXPECT_EQ(recorded(), "");
    }
}

}  // namespace
