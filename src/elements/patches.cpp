// Nodal patches: the distinct node positions of the elements around an
// element, one or more rings deep, and the data a per-element node table holds
// at the points of a patch.  Both work on the caller's tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <unordered_map>
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
    int64_t nnodes, nelem;

    const int32_t *nodes_of(int64_t element) const { return nodes + nnodes * (element - 1); }
    const double *point(int64_t slot, int64_t element) const {
        return coords + 3 * (nnodes * (element - 1) + (slot - 1));
    }
};

// The elements of each node number, built once per patch: the (node,
// element) pairs of every slot sorted by node, then element.
class NodeIndex {
public:
    explicit NodeIndex(const Tables &t) {
        pairs_.reserve(static_cast<std::size_t>(t.nnodes * t.nelem));
        for (int64_t e = 1; e <= t.nelem; ++e)
            for (int64_t j = 0; j < t.nnodes; ++j) pairs_.emplace_back(t.nodes_of(e)[j], e);
        std::sort(pairs_.begin(), pairs_.end());
    }
    // Calls visit(e) for every element holding the node (an element once per slot holding it).
    template <class Visit>
    void each_element(int32_t node, Visit visit) const {
        auto at = std::lower_bound(pairs_.begin(), pairs_.end(), std::pair<int32_t, int64_t>{node, 0});
        for (; at != pairs_.end() && at->first == node; ++at) visit(at->second);
    }

private:
    std::vector<std::pair<int32_t, int64_t>> pairs_;
};

// The points of a patch in its columns, each new point compared only with
// those in the neighbouring cells of a grid of the tolerance's width, so that
// gathering stays linear in the number of points.  Points the grid cannot
// place (coordinates not finite, or beyond 2^60 cells) are compared with all.
class PatchPoints {
public:
    PatchPoints(double *columns, int64_t npt, double tolerance) : p_(columns), npt_(npt), tolerance_(tolerance) {
        // A point is a repeat when its distance is at most the tolerance; with
        // a negative or NaN tolerance none is.  A tolerance of 0 matches equal
        // points, which share any cell.
        compare_ = tolerance >= 0.0;
        gridded_ = compare_ && std::isfinite(tolerance);
        width_ = tolerance > 0.0 ? tolerance : 1.0;
    }

    int64_t size() const { return count_; }

    // Adds x unless a point within the tolerance is there; false when x is
    // new and no column is left.
    bool add(const double *x) {
        Cell cell{};
        const bool placed = gridded_ && cell_of(x, cell);
        if (compare_ && repeated(x, cell, placed)) return true;
        if (count_ == npt_) return false;
        std::copy_n(x, 3, column(count_));
        if (placed) {
            auto [head, fresh] = heads_.try_emplace(cell, count_);
            next_.push_back(fresh ? -1 : head->second);
            head->second = count_;
        } else {
            next_.push_back(-1);
            loose_.push_back(count_);
        }
        ++count_;
        return true;
    }

private:
    struct Cell {
        int64_t i, j, k;
        bool operator==(const Cell &) const = default;
    };
    struct CellHash {
        std::size_t operator()(const Cell &c) const {
            uint64_t h = static_cast<uint64_t>(c.i) * 0x9E3779B97F4A7C15ull;
            h ^= static_cast<uint64_t>(c.j) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
            h ^= static_cast<uint64_t>(c.k) + 0x94D049BB133111EBull + (h << 6) + (h >> 2);
            return static_cast<std::size_t>(h);
        }
    };

    double *column(int64_t j) const { return p_ + 3 * j; }

    bool cell_of(const double *x, Cell &cell) const {
        constexpr double kReach = 1152921504606846976.0;  // 2^60
        double c[3];
        for (int r = 0; r < 3; ++r) {
            c[r] = std::floor(x[r] / width_);
            if (!(std::abs(c[r]) < kReach)) return false;
        }
        cell = {static_cast<int64_t>(c[0]), static_cast<int64_t>(c[1]), static_cast<int64_t>(c[2])};
        return true;
    }

    bool near(const double *x, int64_t j) const {
        const int32_t three = 3;
        return EuclideanDistance(column(j), x, &three) <= tolerance_;
    }

    bool repeated(const double *x, const Cell &cell, bool placed) const {
        if (!placed) {  // compared with every point
            for (int64_t j = 0; j < count_; ++j)
                if (near(x, j)) return true;
            return false;
        }
        for (int64_t di = -1; di <= 1; ++di)
            for (int64_t dj = -1; dj <= 1; ++dj)
                for (int64_t dk = -1; dk <= 1; ++dk) {
                    const auto head = heads_.find({cell.i + di, cell.j + dj, cell.k + dk});
                    if (head == heads_.end()) continue;
                    for (int64_t j = head->second; j >= 0; j = next_[static_cast<std::size_t>(j)])
                        if (near(x, j)) return true;
                }
        return std::any_of(loose_.begin(), loose_.end(), [&](int64_t j) { return near(x, j); });
    }

    double *p_;
    int64_t npt_, count_ = 0;
    double tolerance_, width_ = 1.0;
    bool compare_ = false, gridded_ = false;
    std::unordered_map<Cell, int64_t, CellHash> heads_;  // the last point of each cell
    std::vector<int64_t> next_, loose_;                  // the point before it in its cell; the unplaced
};

// Gathers the patch of elemid ring by ring: ring 1 the elements sharing a node
// with it (and itself with exflag 1), ring r the elements sharing a node with
// ring r - 1 that no earlier ring holds; from ring 2 on the element itself
// belongs to the patch (it neighbours ring 1).  Each ring's elements are taken
// in the order of their positions, their slots in order; a point within the
// tolerance of one taken before is skipped.  Ring 1 is one scan of the
// tables; deeper rings go through a node index, so every element is visited
// once.
void gather(PatchPoints &patch, const Tables &t, int64_t elemid, int32_t exflag, int32_t rings) {
    std::vector<char> held(static_cast<std::size_t>(t.nelem) + 1, 0);
    std::vector<int64_t> ring, next;
    held[static_cast<std::size_t>(elemid)] = 1;
    const int32_t *own = t.nodes_of(elemid);
    for (int64_t k = 1; k <= t.nelem; ++k) {
        const int32_t *other = t.nodes_of(k);
        for (int64_t j = 0; j < t.nnodes && held[static_cast<std::size_t>(k)] == 0; ++j)
            if (std::find(own, own + t.nnodes, other[j]) != own + t.nnodes) {
                held[static_cast<std::size_t>(k)] = 1;
                next.push_back(k);
            }
    }
    std::optional<NodeIndex> index;
    for (int32_t r = 1; r <= rings; ++r) {
        if (r > 1) {
            if (!index) index.emplace(t);
            next.clear();
            for (int64_t e : ring)
                for (int64_t j = 0; j < t.nnodes; ++j)
                    index->each_element(t.nodes_of(e)[j], [&](int64_t k) {
                        if (held[static_cast<std::size_t>(k)] != 0) return;
                        held[static_cast<std::size_t>(k)] = 1;
                        next.push_back(k);
                    });
        }
        const bool expands = !next.empty();
        if ((r == 1 && exflag == 1) || (r == 2 && exflag != 1)) next.push_back(elemid);
        std::sort(next.begin(), next.end());
        for (int64_t e : next)
            for (int64_t j = 1; j <= t.nnodes; ++j)
                if (!patch.add(t.point(j, e))) {
                    record_error(-2, "Warning: More patch points than npt in GetNodalPatch.", {0}, {0.0}, {""});
                    return;
                }
        if (!expands) return;
        std::swap(ring, next);
        std::erase(ring, elemid);
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
    gather(patch, tables, *elemid, exflag != nullptr ? *exflag : 0, rings);
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
