// Nodal patches: the distinct node positions of the elements around an
// element, one or more rings deep, and the data a per-element node table holds
// at the points of a patch.  Both work on the caller's tables.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "core/markers.hpp"
#include "core/errorhandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/math.hpp"

namespace kestro::elements {

namespace {

constexpr double kEmpty = -kestro::kLargestReal;  // every row of an empty column
constexpr double kDefaultTolerance = 1e-10;
constexpr int32_t kMostRings = 100;

struct Tables {
    const double *coords;   // (3, nnodes, nelem)
    const int32_t *nodes;   // (nnodes, nelem)
    int64_t nnodes, nelem;  // elements and slots counted from 0 below

    int64_t slots() const { return nnodes * nelem; }
    const int32_t *nodes_of(int64_t element) const { return nodes + nnodes * element; }
    const double *point(int64_t slot) const { return coords + 3 * slot; }
};

// The elements holding each node, built in time linear in the slots: the node
// numbers become indices (their offsets from the smallest when these span at
// most about twice the slots, else their ranks), then one counting pass lays
// out each node's elements in table order (an element once per slot holding
// the node).
class NodeElements {
public:
    // The tables hold at least one slot.
    explicit NodeElements(const Tables &t) : nodes_(t.nodes) {
        const int64_t n = t.slots();
        const auto [lo, hi] = std::minmax_element(t.nodes, t.nodes + n);
        lo_ = *lo;
        const auto range = static_cast<uint64_t>(int64_t{*hi} - lo_) + 1;
        if (range <= 2 * static_cast<uint64_t>(n) + 1024)
            count_ = range;
        else
            rank(n);
        lay_out(t);
    }

    uint64_t size() const { return count_; }
    // The index of the node in a slot.
    uint64_t node(int64_t slot) const {
        if (rank_.empty()) return static_cast<uint64_t>(int64_t{nodes_[slot]} - lo_);
        return rank_[static_cast<std::size_t>(slot)];
    }
    const int32_t *begin(uint64_t node) const { return elements_.data() + start_[node]; }
    const int32_t *end(uint64_t node) const { return elements_.data() + start_[node + 1]; }

private:
    // start_[k] is where node k's elements begin; counted into k + 2 and
    // advanced through k + 1 while laying out, so that it ends there.
    void lay_out(const Tables &t) {
        start_.assign(count_ + 2, 0);
        for (int64_t s = 0; s < t.slots(); ++s) ++start_[node(s) + 2];
        for (std::size_t k = 2; k < start_.size(); ++k) start_[k] += start_[k - 1];
        elements_.resize(static_cast<std::size_t>(t.slots()));
        for (int64_t e = 0, s = 0; e < t.nelem; ++e)
            for (int64_t j = 0; j < t.nnodes; ++j, ++s)
                elements_[static_cast<std::size_t>(start_[node(s) + 1]++)] = static_cast<int32_t>(e);
    }

    // The rank of each slot's node number among the distinct numbers, by a
    // stable radix sort of the slots on their offsets (three 11-bit digits).
    void rank(int64_t n) {
        std::vector<int64_t> order(static_cast<std::size_t>(n)), sorted(static_cast<std::size_t>(n));
        std::vector<int64_t> at(std::size_t{1} << 11);
        for (int shift : {0, 11, 22}) {
            const auto digit = [&](int64_t s) {
                return (static_cast<uint32_t>(int64_t{nodes_[s]} - lo_) >> shift) & 0x7FF;
            };
            std::fill(at.begin(), at.end(), 0);
            for (int64_t s = 0; s < n; ++s) ++at[digit(s)];
            int64_t sum = 0;
            for (int64_t &a : at) sum += std::exchange(a, sum);
            for (int64_t i = 0; i < n; ++i) {
                const int64_t s = shift == 0 ? i : order[static_cast<std::size_t>(i)];
                sorted[static_cast<std::size_t>(at[digit(s)]++)] = s;
            }
            std::swap(order, sorted);
        }
        rank_.resize(static_cast<std::size_t>(n));
        uint64_t r = 0;
        for (int64_t i = 0; i < n; ++i) {
            const int64_t s = order[static_cast<std::size_t>(i)];
            if (i > 0 && nodes_[s] != nodes_[order[static_cast<std::size_t>(i - 1)]]) ++r;
            rank_[static_cast<std::size_t>(s)] = r;
        }
        count_ = r + 1;
    }

    const int32_t *nodes_;
    int64_t lo_ = 0;
    uint64_t count_ = 0;
    std::vector<uint64_t> rank_;  // per slot, when the numbers are spread too far for offsets
    std::vector<int64_t> start_;
    std::vector<int32_t> elements_;
};

// The points of a patch in its columns.  A new point is compared only with
// the points in the cells of a grid that its tolerance reaches, so that
// gathering stays linear in the number of points.  A coordinate's cell number
// is a non-decreasing function of it (an integral double, cells 8 reaches
// wide), so the cells from those of x - reach to those of x + reach hold every
// point within the tolerance of x, rounding included; mostly that is the
// point's own cell alone.  Points the grid cannot place (coordinates not
// finite, or so large that their cell numbers are not) are compared with all,
// and all with them.
class PatchPoints {
public:
    PatchPoints(double *columns, int64_t npt, double tolerance) : p_(columns), npt_(npt), tolerance_(tolerance) {
        // A point is a repeat when its distance is at most the tolerance; with
        // a negative or NaN tolerance none is.
        compare_ = tolerance >= 0.0;
        gridded_ = compare_ && std::isfinite(tolerance);
        // Where a computed distance is at most the tolerance, each coordinate
        // differs by at most this (the square of a difference below 2^-511
        // may be lost in the sum, whatever the difference).
        reach_ = std::max(tolerance, 0x1p-510) * (1.0 + 0x1p-40);
        scale_ = 0.125 / reach_;
    }

    // Adds x unless a point within the tolerance is there; false when x is
    // new and no column is left.
    bool add(const double *x) {
        Span span{};
        const bool placed = gridded_ && span_of(x, span);
        if (compare_ && repeated(x, span, placed)) return true;
        if (count_ == npt_) return false;
        std::copy_n(x, 3, column(count_));
        if (placed) {
            next_.push_back(insert(cell_of(x), static_cast<int32_t>(count_)));
        } else {
            next_.push_back(-1);
            loose_.push_back(count_);
        }
        ++count_;
        return true;
    }

    // Whether a point equal to one added before is a repeat.
    bool equal_repeats() const { return compare_; }

private:
    using Cell = std::array<double, 3>;  // three cell numbers
    struct Span {
        Cell lo, hi;
    };

    double *column(int64_t j) const { return p_ + 3 * j; }

    // Never -0.0: a sum of 0.5 and a number not below -0.5 is +0.0 or more.
    double cell_number(double v) const { return std::floor(v * scale_ + 0.5); }
    Cell cell_of(const double *x) const { return {cell_number(x[0]), cell_number(x[1]), cell_number(x[2])}; }
    // The integral double after c.
    static double next_number(double c) {
        return std::abs(c) < 0x1p53 ? c + 1.0 : std::nextafter(c, std::numeric_limits<double>::infinity());
    }

    // The cells holding every point within the tolerance of x; false when
    // their numbers are not finite.
    bool span_of(const double *x, Span &span) const {
        for (int r = 0; r < 3; ++r) {
            span.lo[r] = cell_number(x[r] - reach_);
            span.hi[r] = cell_number(x[r] + reach_);
            if (!(std::isfinite(span.lo[r]) && std::isfinite(span.hi[r]))) return false;
        }
        return true;
    }

    // The cells in use, by open addressing: each entry the newest point of
    // its cell (-1: free) and bits of the cell's hash, the cell known from
    // the point.
    struct Entry {
        int32_t head;
        uint32_t tag;
    };
    static uint64_t hash(const Cell &c) {
        uint64_t h = std::bit_cast<uint64_t>(c[0]) * 0x9E3779B97F4A7C15ull ^
                     std::bit_cast<uint64_t>(c[1]) * 0xC2B2AE3D27D4EB4Full ^
                     std::bit_cast<uint64_t>(c[2]) * 0x165667B19E3779F9ull;
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ull;
        return h ^ (h >> 29);
    }
    static uint32_t tag(uint64_t h) { return static_cast<uint32_t>(h >> 32); }
    std::size_t wrap(uint64_t at) const { return static_cast<std::size_t>(at) & (entries_.size() - 1); }
    bool holds(const Entry &e, const Cell &c, uint32_t t) const { return e.tag == t && cell_of(column(e.head)) == c; }

    int32_t newest(const Cell &c) const {
        if (used_ == 0) return -1;
        const uint64_t h = hash(c);
        for (std::size_t at = wrap(h);; at = wrap(at + 1)) {
            const Entry &e = entries_[at];
            if (e.head < 0 || holds(e, c, tag(h))) return e.head;
        }
    }
    // Makes point the newest of its cell; returns the one before it (-1: none).
    int32_t insert(const Cell &c, int32_t point) {
        if (2 * (used_ + 1) > entries_.size()) grow();
        const uint64_t h = hash(c);
        for (std::size_t at = wrap(h);; at = wrap(at + 1)) {
            Entry &e = entries_[at];
            if (e.head < 0) {
                e = {point, tag(h)};
                ++used_;
                return -1;
            }
            if (holds(e, c, tag(h))) return std::exchange(e.head, point);
        }
    }
    void grow() {
        std::vector<Entry> old(std::max<std::size_t>(256, 2 * entries_.size()), Entry{-1, 0});
        old.swap(entries_);
        for (const Entry &e : old) {
            if (e.head < 0) continue;
            std::size_t at = wrap(hash(cell_of(column(e.head))));
            while (entries_[at].head >= 0) at = wrap(at + 1);
            entries_[at] = e;
        }
    }

    bool near(const double *x, int64_t j) const {
        const int32_t three = 3;
        return EuclideanDistance(column(j), x, &three) <= tolerance_;
    }

    bool repeated(const double *x, const Span &span, bool placed) const {
        if (!placed) {  // compared with every point
            for (int64_t j = 0; j < count_; ++j)
                if (near(x, j)) return true;
            return false;
        }
        for (double i = span.lo[0]; i <= span.hi[0]; i = next_number(i))
            for (double j = span.lo[1]; j <= span.hi[1]; j = next_number(j))
                for (double k = span.lo[2]; k <= span.hi[2]; k = next_number(k))
                    for (int32_t m = newest({i, j, k}); m >= 0; m = next_[static_cast<std::size_t>(m)])
                        if (near(x, m)) return true;
        return std::any_of(loose_.begin(), loose_.end(), [&](int64_t j) { return near(x, j); });
    }

    double *p_;
    int64_t npt_, count_ = 0;
    double tolerance_, reach_ = 0.0, scale_ = 0.0;
    bool compare_ = false, gridded_ = false;
    std::vector<Entry> entries_;  // a power of 2 of them, at most half used
    std::size_t used_ = 0;
    std::vector<int32_t> next_;   // the point before each in its cell (-1: none)
    std::vector<int64_t> loose_;  // the points the grid cannot place
};

void too_many_points() {
    record_error(-2, "Warning: More patch points than npt in GetNodalPatch.", {0}, {0.0}, {""});
}

// Gathers the patch of elemid ring by ring: ring 1 the elements sharing a node
// with it (and itself with exflag 1), ring r the elements sharing a node with
// ring r - 1 that no earlier ring holds; from ring 2 on the element itself
// belongs to the patch (it neighbours ring 1).  Each ring's elements are taken
// in the order of their positions, their slots in order; a point within the
// tolerance of one taken before is skipped.
//
// One ring is one scan of the tables.  Deeper rings go through the elements
// of each node, each node walked once: when it is first met every element
// holding it joins the ring being built.  A slot whose node was already taken
// at the same coordinates is skipped without a search.
void gather(PatchPoints &patch, const Tables &t, int64_t elemid, int32_t exflag, int32_t rings) {
    if (t.nnodes == 0) return;
    if (rings == 1) {
        const int32_t *own = t.nodes_of(elemid);
        const auto [lo, hi] = std::minmax_element(own, own + t.nnodes);
        const auto shares = [&](int32_t node) {
            return node >= *lo && node <= *hi && std::find(own, own + t.nnodes, node) != own + t.nnodes;
        };
        for (int64_t k = 0; k < t.nelem; ++k) {
            const int32_t *other = t.nodes_of(k);
            bool adjacent = k == elemid && exflag == 1;
            for (int64_t j = 0; j < t.nnodes && !adjacent && k != elemid; ++j) adjacent = shares(other[j]);
            if (!adjacent) continue;
            for (int64_t s = k * t.nnodes; s < (k + 1) * t.nnodes; ++s)
                if (!patch.add(t.point(s))) return too_many_points();
        }
        return;
    }
    const NodeElements index(t);
    std::vector<char> held(static_cast<std::size_t>(t.nelem), 0);
    // Per node: whether its elements were walked, and whether first holds
    // the first slot whose point was taken there (or found a repeat).
    constexpr uint8_t kWalked = 1, kFirst = 2;
    std::vector<uint8_t> state(index.size(), 0);
    const auto first = std::make_unique_for_overwrite<int64_t[]>(patch.equal_repeats() ? index.size() : 0);
    const auto add = [&](int64_t s) {
        const double *x = t.point(s);
        if (!patch.equal_repeats()) return patch.add(x);
        const uint64_t n = index.node(s);
        if ((state[n] & kFirst) != 0) {
            const double *y = t.point(first[n]);
            if (x[0] == y[0] && x[1] == y[1] && x[2] == y[2]) return true;
        }
        if (!patch.add(x)) return false;
        if ((state[n] & kFirst) == 0 && std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2])) {
            state[n] |= kFirst;
            first[n] = s;
        }
        return true;
    };
    std::vector<int32_t> ring{static_cast<int32_t>(elemid)}, next;
    held[static_cast<std::size_t>(elemid)] = 1;
    for (int32_t r = 1; r <= rings; ++r) {
        next.clear();
        for (int32_t e : ring)
            for (int64_t s = e * t.nnodes; s < (e + 1) * t.nnodes; ++s) {
                const uint64_t n = index.node(s);
                if ((state[n] & kWalked) != 0) continue;
                state[n] |= kWalked;
                for (const int32_t *k = index.begin(n); k != index.end(n); ++k) {
                    if (held[static_cast<std::size_t>(*k)] != 0) continue;
                    held[static_cast<std::size_t>(*k)] = 1;
                    next.push_back(*k);
                }
            }
        const bool expands = !next.empty();
        if ((r == 1 && exflag == 1) || (r == 2 && exflag != 1)) next.push_back(static_cast<int32_t>(elemid));
        std::sort(next.begin(), next.end());
        for (int32_t e : next)
            for (int64_t s = e * t.nnodes; s < (e + 1) * t.nnodes; ++s)
                if (!add(s)) return too_many_points();
        if (!expands) return;
        std::swap(ring, next);
        std::erase(ring, static_cast<int32_t>(elemid));
    }
}

}  // namespace

}  // namespace kestro::elements

using namespace kestro;
using namespace kestro::elements;

extern "C" {

void GetNodalPatch(double *nodalpatch, const double *nodalcoords, const int32_t *elemnodes, const int32_t *elemid,
                   const int32_t *npt, const int32_t *nnodes, const int32_t *nelem, const double *tolerance,
                   const int32_t *exflag, const int32_t *ntree, const int32_t *recursion) {
    const int64_t columns = std::max(*npt, 0);
    if (recursion == nullptr || *recursion >= 0) std::fill_n(nodalpatch, 3 * columns, kEmpty);
    const Tables tables{nodalcoords, elemnodes, std::max(*nnodes, 0), *nelem};
    if (tables.nelem < 1 || *elemid < 1 || *elemid > tables.nelem) return;
    const int32_t rings = std::clamp(ntree != nullptr ? *ntree : 1, 1, kMostRings);
    PatchPoints patch(nodalpatch, columns, tolerance != nullptr ? *tolerance : kDefaultTolerance);
    gather(patch, tables, *elemid - 1, exflag != nullptr ? *exflag : 0, rings);
}

void GetDataFromPatch(double *patchdata, const double *refdata, const double *patchcoords, const double *refcoords,
                      const int32_t *ndata, const int32_t *npt, const int32_t *ndim, const int32_t *nnodes,
                      const int32_t *nelem, const double *tolerance) {
    const int64_t data = std::max(*ndata, 0), points = std::max(*npt, 0), dims = std::max(*ndim, 0);
    const int64_t slots = int64_t{std::max(*nnodes, 0)} * std::max(*nelem, 0);
    const double tol = tolerance != nullptr ? *tolerance : kDefaultTolerance;
    std::fill_n(patchdata, data * points, 0.0);
    for (int64_t i = 0; i < points; ++i)
        // The last matching slot wins: search from the end.
        for (int64_t s = slots - 1; s >= 0; --s)
            if (EuclideanDistance(patchcoords + dims * i, refcoords + dims * s, ndim) <= tol) {
                std::copy_n(refdata + data * s, data, patchdata + data * i);
                break;
            }
}

}  // extern "C"
