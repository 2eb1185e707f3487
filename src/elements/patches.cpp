// Nodal patches: the distinct node positions of the elements around an
// element, one or more rings deep, and the data a per-element node table holds
// at the points of a patch.  Both work on the caller's tables.
#include <algorithm>
#include <cstdint>

#include "core/markers.hpp"
#include "core/errorhandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/math.hpp"

namespace kestro::elements {

namespace {

constexpr double kEmpty = -kestro::kLargestReal;  // every row of an empty column
constexpr double kDefaultTolerance = 1e-10;
// Rings beyond the first are gathered by recursion, each ring one level
// deeper and one call per element of the ring before; deeper patches than
// this would cost more element visits than any model can pay.
constexpr int32_t kMostRings = 100;

struct Tables {
    const double *coords;   // (3, nnodes, nelem)
    const int32_t *nodes;   // (nnodes, nelem)
    int64_t nnodes, nelem;

    const int32_t *nodes_of(int64_t element) const { return nodes + nnodes * (element - 1); }
    const double *point(int64_t slot, int64_t element) const {
        return coords + 3 * (nnodes * (element - 1) + (slot - 1));
    }
    // Whether the two elements share a node number.
    bool adjacent(int64_t k, int64_t e) const {
        const int32_t *a = nodes_of(k), *b = nodes_of(e);
        for (int64_t i = 0; i < nnodes; ++i)
            if (std::find(b, b + nnodes, a[i]) != b + nnodes) return true;
        return false;
    }
};

void too_many_points() {
    record_error(-2, "Warning: More patch points than npt in GetNodalPatch.", {0}, {0.0}, {""});
}

// The columns of a patch, npt of them; the first `filled` hold points.
class Patch {
public:
    Patch(double *columns, int64_t npt) : p_(columns), npt_(npt) {}

    int64_t size() const { return npt_; }
    double *column(int64_t j) const { return p_ + 3 * (j - 1); }
    bool empty(int64_t j) const { return column(j)[0] == kEmpty; }

    // Empties every column equal to an earlier filled one, then moves the
    // filled columns to the front in their order; returns their number.
    int64_t squeeze() const {
        for (int64_t j = 2; j <= npt_; ++j) {
            if (empty(j)) continue;
            const double *c = column(j);
            for (int64_t m = 1; m < j; ++m) {
                const double *o = column(m);
                if (!empty(m) && o[0] == c[0] && o[1] == c[1] && o[2] == c[2]) {
                    std::fill_n(column(j), 3, kEmpty);
                    break;
                }
            }
        }
        int64_t kept = 0;
        for (int64_t j = 1; j <= npt_; ++j) {
            if (empty(j)) continue;
            if (++kept != j) std::copy_n(column(j), 3, column(kept));
        }
        std::fill(column(kept + 1), column(kept + 1) + 3 * (npt_ - kept), kEmpty);
        return kept;
    }

private:
    double *p_;
    int64_t npt_;
};

void gather(const Patch &patch, const Tables &t, int64_t elemid, double tolerance, int32_t exflag, int32_t rings);

// The patch of element q, one ring less deep, into the columns after the p
// filled ones; then the points it repeats are dropped.  Returns the new p.
int64_t expand(const Patch &patch, const Tables &t, int64_t p, int64_t q, int32_t rings) {
    const Patch rest(patch.column(p + 1), patch.size() - p);
    if (rest.size() <= 0) {
        // No free column for the call: every point it would gather is dropped.
        for (int64_t k = 1; k <= t.nelem; ++k)
            if (k != q && t.adjacent(k, q)) {
                too_many_points();
                break;
            }
        return p;
    }
    gather(rest, t, q, kDefaultTolerance, 0, rings - 1);
    return patch.squeeze();
}

// Gathers the patch of elemid into the columns of `patch`, which hold no
// point yet; a point that is there already within the tolerance is skipped.
void gather(const Patch &patch, const Tables &t, int64_t elemid, double tolerance, int32_t exflag, int32_t rings) {
    if (t.nelem < 1 || elemid < 1 || elemid > t.nelem) return;
    const int32_t three = 3;
    int64_t p = 0, q = 0;
    for (int64_t k = 1; k <= t.nelem; ++k) {
        if (exflag != 1 && k == elemid) continue;
        if (rings > 1 && q != 0) {
            p = expand(patch, t, p, q, rings);
            q = 0;
        }
        if (!t.adjacent(k, elemid)) continue;
        q = k;
        for (int64_t j = 1; j <= t.nnodes; ++j) {
            const double *x = t.point(j, k);
            bool there = false;
            for (int64_t m = 1; m <= p && !there; ++m) there = EuclideanDistance(patch.column(m), x, &three) <= tolerance;
            if (there) continue;
            if (p == patch.size()) {
                too_many_points();
                continue;
            }
            std::copy_n(x, 3, patch.column(++p));
        }
    }
    // The last element added is expanded too.
    if (rings > 1 && q != 0) expand(patch, t, p, q, rings);
}

}  // namespace

}  // namespace kestro::elements

using namespace kestro;
using namespace kestro::elements;

extern "C" {

void GetNodalPatch(double *nodalpatch, const double *nodalcoords, const int32_t *elemnodes, const int32_t *elemid,
                   const int32_t *npt, const int32_t *nnodes, const int32_t *nelem, const double *tolerance,
                   const int32_t *exflag, const int32_t *ntree, const int32_t *recursion) {
    const Patch patch(nodalpatch, std::max(*npt, 0));
    if (recursion == nullptr || *recursion >= 0) std::fill_n(nodalpatch, 3 * patch.size(), kEmpty);
    const Tables tables{nodalcoords, elemnodes, std::max(*nnodes, 0), *nelem};
    const int32_t rings = std::clamp(ntree != nullptr ? *ntree : 1, 1, kMostRings);
    gather(patch, tables, *elemid, tolerance != nullptr ? *tolerance : kDefaultTolerance,
           exflag != nullptr ? *exflag : 0, rings);
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
