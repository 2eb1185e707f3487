// The element registry: kind codes of solver element types, registration of
// elements, the reference orientations and section points gathered while the
// solver runs, the distribution of nodal coordinates and motions to the
// element node slots, and the frames of every shell element.
//
// Nodes are found through an index node -> (element, first slot) over the
// visited elements, rebuilt when elemnodes or elemindices are replaced or
// handed out, or when a hit is no longer confirmed by elemnodes.  A node that
// a C host writes straight into elemnodes is found after the next rebuild.
// Element numbers are found in elemlist through an index of the same kind.
#include "elements/registry.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/array.hpp"
#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "decl/elementhandling.hpp"
#include "decl/listhandling.hpp"
#include "decl/math.hpp"
#include "kestro/host.h"
#include "core/markers.hpp"

namespace kestro::elements {

namespace {

using elementdata::elemindices;
using elementdata::elemkind;
using elementdata::elemlist;
using elementdata::elemnodes;

// The positions (1-based) of the elements the routines visit.
std::vector<int64_t> visited() {
    std::vector<int64_t> out;
    if (!elemnodes.exists()) return out;
    const int64_t count = elemnodes.extent_of(2);
    if (elemindices.exists()) {
        for (int32_t e : elemindices.span()) {
            if (e == -1) break;
            if (e >= 1 && e <= count) out.push_back(e);
        }
    } else {
        for (int64_t e = 1; e <= count; ++e) out.push_back(e);
    }
    return out;
}

struct Slot {
    int64_t element, slot;  // 1-based
};

// Advanced by the library's own writes into elemnodes and elemlist.
uint64_t &generation();

// What an index over shared arrays was built from: their storage blocks and
// extents, how often a caller outside the library got at them, and the
// library's own writes.  The arrays count as changed when any of these
// differs, and whenever a view of one is still held outside the library.
template <std::size_t N>
class Watch {
public:
    explicit Watch(std::array<const kestro_array *, N> arrays) : arrays_(arrays) {}
    bool changed() const {
        if (!(stamp_ == current())) return true;
        return std::any_of(arrays_.begin(), arrays_.end(),
                           [](const kestro_array *a) { return detail::block_shared(a->data); });
    }
    void mark() { stamp_ = current(); }

private:
    struct Stamp {
        uint64_t generation = 0;
        std::array<const void *, N> data{};
        std::array<uint64_t, N> serial{}, accesses{};
        std::array<int64_t, 2 * N> extents{};
        bool operator==(const Stamp &) const = default;
    };
    Stamp current() const {
        Stamp s;
        s.generation = generation();
        for (std::size_t i = 0; i < N; ++i) {
            const kestro_array &a = *arrays_[i];
            s.data[i] = a.data;
            s.serial[i] = detail::block_serial(a.data);
            s.accesses[i] = detail::external_accesses(a.data);
            s.extents[2 * i] = a.extent[0];
            s.extents[2 * i + 1] = a.rank > 1 ? a.extent[1] : 0;
        }
        return s;
    }
    std::array<const kestro_array *, N> arrays_;
    Stamp stamp_;
};

// node -> the (element, first slot) pairs of the visited elements that hold it.
class NodeIndex {
public:
    // The slots of a node, the index brought up to date first.
    const std::vector<Slot> &slots_of(int32_t node) {
        if (watch_.changed()) rebuild();
        auto it = map_.find(node);
        if (it == map_.end()) return none_;
        // A hit that elemnodes no longer confirms: the array was written behind our back.
        for (const Slot &s : it->second)
            if (s.slot > elemnodes.extent_of(1) || s.element > elemnodes.extent_of(2) ||
                elemnodes(s.slot, s.element) != node) {
                rebuild();
                it = map_.find(node);
                return it == map_.end() ? none_ : it->second;
            }
        return it->second;
    }

private:
    void rebuild() {
        map_.clear();
        watch_.mark();
        if (!elemnodes.exists()) return;
        const int64_t rows = elemnodes.extent_of(1);
        for (int64_t e : visited())
            for (int64_t i = 1; i <= rows; ++i) {
                const int32_t node = elemnodes(i, e);
                bool first = true;
                for (int64_t j = 1; j < i && first; ++j) first = elemnodes(j, e) != node;
                if (first) map_[node].push_back({e, i});
            }
    }

    Watch<2> watch_{{&elemnodes, &elemindices}};
    std::unordered_map<int32_t, std::vector<Slot>> map_;
    const std::vector<Slot> none_;
};

// element number -> its first position in elemlist.
class ElementIndex {
public:
    int64_t position_of(int32_t number) {
        if (watch_.changed()) rebuild();
        auto it = map_.find(number);
        if (it == map_.end()) return 0;
        if (it->second > elemlist.extent_of(1) || elemlist(it->second) != number) {
            rebuild();
            it = map_.find(number);
            return it == map_.end() ? 0 : it->second;
        }
        return it->second;
    }

private:
    void rebuild() {
        map_ = {};
        watch_.mark();
        for (int64_t e = elemlist.extent_of(1); e >= 1; --e) map_[elemlist(e)] = e;
    }

    Watch<1> watch_{{&elemlist}};
    std::unordered_map<int32_t, int64_t> map_;
};

uint64_t &generation() {
    static uint64_t count = 0;
    return count;
}

NodeIndex &node_index() {
    static NodeIndex index;
    return index;
}

bool begins(std::string_view name, std::string_view text) { return name.substr(0, text.size()) == text; }

// v = R(axis, radians) v.
void rotate(double *v, const double *axis, double radians) {
    double r[9], out[3] = {0.0, 0.0, 0.0};
    GetRotationMatrix(r, axis, &radians);
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) out[i] += r[k * 3 + i] * v[k];
    std::copy_n(out, 3, v);
}

// Whether the frame tables have their 3 x 3 (x 8) layout per element.
bool frame_shapes() {
    using namespace nodaldata;
    return tcurvmatrices.extent_of(1) == 3 && tcurvmatrices.extent_of(2) == 3 && tnodalmatrices.extent_of(1) == 3 &&
           tnodalmatrices.extent_of(2) == 3 && tnodalmatrices.extent_of(3) == 8;
}

bool all_zero(const double *a, int n) {
    return std::all_of(a, a + n, [](double v) { return v == 0.0; });
}

}  // namespace

int32_t element_kind(std::string_view elemtype) {
    if (!begins(elemtype, "S") && !begins(elemtype, "C")) return -1;
    static constexpr std::pair<std::string_view, int32_t> prefixes[] = {
        {"C3D", 11}, {"SC8", 10}, {"SC6", 9},  {"STRI", 8}, {"S3", 7}, {"S9R5", 6},
        {"S8R5", 5}, {"S8R", 4},  {"S4R5", 3}, {"S4R", 2},  {"S4", 1}};
    for (const auto &[prefix, code] : prefixes)
        if (begins(elemtype, prefix)) return code;
    return 0;
}

void element_nodes_written() { ++generation(); }

int64_t element_position(int32_t number) {
    static ElementIndex index;
    return index.position_of(number);
}

bool registered_type(std::string_view elemtype) {
    return begins(elemtype, "S") || (begins(elemtype, "C") && elemtype.substr(1, 2) != "IN");
}

}  // namespace kestro::elements

namespace kestro::elementhandling {

int32_t getabqelementkind(const char *elemtype, size_t elemtype_len) noexcept {
    return elements::element_kind(std::string_view(elemtype, elemtype_len));
}

void getabqelementconnectivity(int32_t *iele, const int32_t *connectivity, const int32_t *elemid, const char *elemtype,
                               const int32_t *nconnect, size_t elemtype_len) noexcept {
    using namespace elementdata;
    if (!elemlist.exists() || !elemkind.exists() || !elemnodes.exists()) return;
    const std::string_view type(elemtype, elemtype_len);
    if (!elements::registered_type(type)) return;
    const int64_t i = ++*iele;
    if (i >= 1 && i <= elemlist.extent_of(1)) elemlist(i) = *elemid;
    if (i >= 1 && i <= elemkind.extent_of(1)) elemkind(i) = elements::element_kind(type);
    if (i >= 1 && i <= elemnodes.extent_of(2))
        for (int64_t k = 1; k <= std::min<int64_t>(*nconnect, elemnodes.extent_of(1)); ++k)
            elemnodes(k, i) = connectivity[k - 1];
    elements::element_nodes_written();
}

}  // namespace kestro::elementhandling

using namespace kestro;

extern "C" {

int kestro_host_connectivity_fits(int32_t iele, int32_t nconnect) {
    using namespace elementdata;
    if (!elemlist.exists() || !elemkind.exists() || !elemnodes.exists()) return 1;
    const int64_t count = std::min({elemlist.extent_of(1), elemkind.extent_of(1), elemnodes.extent_of(2)});
    return iele >= 0 && iele < count && nconnect <= elemnodes.extent_of(1) ? 1 : 0;
}

double GetABQElementOrientation(const double *rm, const double *tdirect) {
    static constexpr double x[3] = {1.0, 0.0, 0.0}, y[3] = {0.0, 1.0, 0.0};
    double p[3], s[3], ps[3], pr[3];
    CoordinateProjection(tdirect, tdirect + 3, x, p, nullptr);
    CoordinateProjection(tdirect, tdirect + 3, y, s, nullptr);
    const int32_t three = 3;
    const double angle = EuclideanAngle(p, rm, &three) * 57.29577951308232;
    CrossProduct(p, s, ps);
    CrossProduct(p, rm, pr);
    const double sign = ps[0] * pr[0] + ps[1] * pr[1] + ps[2] * pr[2];
    return std::signbit(sign) ? -angle : angle;
}

void GetElementRefOrientation(int32_t *istatus, const int32_t *ind, const double *, const double *tdirect,
                              const double *plyorientation, const int32_t *noel, const int32_t *kspt,
                              const int32_t *layid, const int32_t *secid, const int32_t *nplies, const int32_t *nsec,
                              const int32_t *nextid) {
    if (negative_count("GetElementRefOrientation", {*nplies, *nsec})) return;
    *istatus = 0;
    const int32_t unique = 1, repeat = 0;
    if (*layid == 1) {
        iAppendScalar2List(ind, noel, &unique, istatus, nullptr, nullptr);
        if (*istatus == 1) {
            // The section's reference angle: the orientation of its first ply.
            const double reference =
                *secid >= 1 && *secid <= *nsec && *nplies >= 1 ? plyorientation[(*secid - 1) * *nplies] : 0.0;
            double euler[3];
            GetEulerRotation(euler, tdirect);
            static constexpr double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
            double v[3] = {1.0, 0.0, 0.0};
            elements::rotate(v, axes[2], reference * 0.017453292519943295);
            for (int k = 0; k < 3; ++k) elements::rotate(v, axes[k], euler[k] * 0.017453292519943295);
            double p[3], q[3], record[7];
            CoordinateProjection(tdirect, tdirect + 3, axes[0], p, nullptr);
            CrossProduct(tdirect + 6, p, q);
            record[0] = GetABQElementOrientation(v, tdirect);
            const double turn = -record[0];
            CoordinateRotation(tdirect + 6, p, record + 1, &turn);
            CoordinateRotation(tdirect + 6, q, record + 4, &turn);
            const int32_t seven = 7;
            fAppendArray2List(ind, record, &seven, &repeat, istatus, nullptr, nullptr);
        }
    }
    if (*nextid != -1 && *nextid != 2) {
        const kestro_complex pair{static_cast<double>(*noel), static_cast<double>(*kspt)};
        cAppendScalar2List(ind, &pair, &unique, istatus, nullptr, nullptr);
    }
}

void GetElementReferenceData(int32_t *nshell, int32_t *ierror, const int32_t *ind) {
    using namespace elementdata;
    using sectiondata::nsectionpoints;
    *nshell = 0;
    *ierror = 0;
    if (nsectionpoints.exists()) nsectionpoints.fill(-1);
    if (elemreforientation.exists()) elemreforientation.fill(-1.0);
    if (!elemindices.exists() && elemkind.exists()) {
        const int64_t count = elemkind.size();
        elemindices.create(count);
        elemindices.fill(-1);
        for (int64_t e = 1; e <= count; ++e) {
            const int32_t k = elemkind(e);
            if (k == 0 || k == 6 || k == 7 || k == 9 || k == 10 || k == 11) continue;
            elemindices(++*nshell) = static_cast<int32_t>(e);
        }
        if (*nshell == count) elemindices.drop();
    }
    const int32_t as_int = 0, as_real = 1, as_complex = 2;
    const auto size = [ind](int32_t kind) { return std::max(GetSizeOfList(ind, &kind, nullptr, nullptr, nullptr), 1); };
    const int32_t ni = size(as_int), nr = size(as_real), nc = size(as_complex);
    std::vector<int32_t> numbers(static_cast<std::size_t>(ni));
    std::vector<double> records(static_cast<std::size_t>(nr));
    std::vector<kestro_complex> pairs(static_cast<std::size_t>(nc));
    const auto consolidate = [&] {
        iGetCopyOfList(ind, numbers.data(), &ni, ierror);
        if (*ierror == -1) return;
        fGetCopyOfList(ind, records.data(), &nr, ierror);
        if (*ierror == -1 || !elemlist.exists()) return;
        // Element number -> position (the first position wins).
        std::unordered_map<int32_t, int64_t> position;
        const int64_t listed = std::min<int64_t>(elemlist.size(), std::max(nelem, 0));
        for (int64_t e = listed; e >= 1; --e) position[elemlist(e)] = e;
        bool found = false;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            const auto it = position.find(numbers[i]);
            if (it == position.end()) continue;
            found = true;
            // A listed element without a full group of seven keeps -1.0.
            if (7 * (i + 1) > records.size() || !elemreforientation.exists() ||
                it->second > elemreforientation.extent_of(2) || elemreforientation.extent_of(1) < 7)
                continue;
            for (int k = 0; k < 7; ++k) elemreforientation(k + 1, it->second) = records[7 * i + k];
        }
        if (!found) return;
        cGetCopyOfList(ind, pairs.data(), &nc, ierror);
        if (*ierror == -1 || !nsectionpoints.exists()) return;
        const int64_t points = std::min<int64_t>(listed, nsectionpoints.size());
        for (int64_t e = 1; e <= points; ++e) nsectionpoints(e) = 1;
        for (const kestro_complex &pair : pairs) {
            const auto it = position.find(static_cast<int32_t>(pair.re));
            if (it == position.end() || it->second > points) continue;
            nsectionpoints(it->second) = std::max(nsectionpoints(it->second), static_cast<int32_t>(pair.im));
        }
    };
    consolidate();
    for (int32_t kind : {as_int, as_real, as_complex}) {
        kestro_logical1 exists = 0;
        GetAllocationStatus(&exists, ind, &kind);
        if (exists != 0) DeallocateList(ind, &kind, ierror);
    }
}

void GetNodalCoordinates(const double *coordnp, const int32_t *nodeid, const int32_t *ncoord, const int32_t *nblock) {
    using elementdata::elemnodes;
    using nodaldata::nodalcoords;
    if (*nblock < 1 || !elemnodes.exists() || !nodalcoords.exists()) return;
    const int64_t stride = std::max(*ncoord, 0), copied = std::min<int64_t>({stride, 3, nodalcoords.extent_of(1)});
    auto &index = elements::node_index();
    for (int64_t k = 0; k < *nblock; ++k)
        for (const elements::Slot &s : index.slots_of(nodeid[k])) {
            if (s.slot > nodalcoords.extent_of(2) || s.element > nodalcoords.extent_of(3)) continue;
            for (int64_t c = 0; c < copied; ++c) nodalcoords(c + 1, s.slot, s.element) = coordnp[k * stride + c];
        }
}

void ShellTractionTransformation(double *ntrac, double *nrot, const double *ti, const double *tcurv,
                                 const int32_t *ndim) {
    const int32_t m = std::clamp(*ndim, 0, 3);
    double b[3] = {0.0, 0.0, 0.0}, cb[3] = {0.0, 0.0, 0.0}, t[3] = {0.0, 0.0, 0.0}, r[3] = {0.0, 0.0, 0.0};
    std::copy_n(nrot, m, b);
    // C = ti^T ti, b = C b
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double c = 0.0;
            for (int k = 0; k < 3; ++k) c += ti[i * 3 + k] * ti[j * 3 + k];
            cb[i] += c * b[j];
        }
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) {
            t[i] += tcurv[k * 3 + i] * ntrac[k];
            r[i] += tcurv[k * 3 + i] * cb[k];
        }
    std::copy_n(t, 3, ntrac);
    std::copy_n(r, m, nrot);
}

void GetNodesMotion(const double *ntraction, const double *nrotation, const int32_t *nodeid, const int32_t *ndim,
                    const int32_t *nblock, const double *defreal) {
    using elementdata::elemnodes;
    using namespace nodaldata;
    if (!elemnodes.exists() || !nodesmotion.exists() || !tcurvmatrices.exists() || !tnodalmatrices.exists() ||
        *nblock < 1)
        return;
    const double marker = defreal != nullptr ? *defreal : kestro::kAbsentReal;
    const int64_t dim = std::max(*ndim, 0), m = std::min<int64_t>(dim, 3);
    const int64_t dof = nodesmotion.extent_of(1), rotations = std::min<int64_t>(dof, 6) - 3;
    static constexpr double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    auto &index = elements::node_index();
    for (int64_t k = 0; k < *nblock; ++k) {
        const double *trans = ntraction + 3 * k, *rot = nrotation + dim * k;
        const bool translated = !(trans[0] == marker && trans[1] == marker && trans[2] == marker);
        const bool rotated = dim >= 1 && !std::all_of(rot, rot + dim, [marker](double v) { return v == marker; });
        if (!translated && !rotated) continue;
        for (const elements::Slot &s : index.slots_of(nodeid[k])) {
            if (s.slot > nodesmotion.extent_of(2) || s.element > nodesmotion.extent_of(3)) continue;
            // The element's frames, the identity where they are not built (or beyond the 8 nodal frames).
            const bool frames = s.element <= tcurvmatrices.extent_of(3) && s.element <= tnodalmatrices.extent_of(4) &&
                                elements::frame_shapes();
            const double *ti = frames ? &tnodalmatrices(1, 1, 1, s.element) : identity;
            const double *tcurv = frames ? &tcurvmatrices(1, 1, s.element) : identity;
            const double *slot_frame = s.slot <= 8 && frames ? ti + 9 * (s.slot - 1) : identity;
            if (frames && elements::all_zero(ti, 72) && elements::all_zero(tcurv, 9)) {
                slot_frame = identity;
                tcurv = identity;
            }
            double ntrac[3] = {trans[0], trans[1], trans[2]}, nrot[3] = {0.0, 0.0, 0.0};
            std::copy_n(rot, m, nrot);
            const int32_t three = 3;
            ShellTractionTransformation(ntrac, nrot, slot_frame, tcurv, &three);
            if (translated)
                for (int64_t c = 0; c < std::min<int64_t>(3, dof); ++c)
                    nodesmotion(c + 1, s.slot, s.element) = ntrac[c];
            if (rotated)
                for (int64_t c = 0; c < rotations; ++c) nodesmotion(4 + c, s.slot, s.element) = nrot[c];
        }
    }
}

void GetNodeReferenceData(int32_t *lop, const int32_t *tflag) {
    using namespace elementdata;
    using namespace nodaldata;
    *lop = 1;
    const bool skip = tflag != nullptr && *tflag == 1;
    if (!elemkind.exists() || !nodalcoords.exists() || !tcurvmatrices.exists() || !tnodalmatrices.exists() ||
        !elemcurvatures.exists() || !elemreforientation.exists()) {
        *lop = 0;
        return;
    }
    const int64_t slots = nodalcoords.extent_of(2);
    for (int64_t e = 1; e <= elemkind.size(); ++e) {
        int32_t nodes = 0;
        switch (elemkind(e)) {
            case 1:
            case 2:
            case 3: {
                // Only with mid-side data: the twelve values of slots 5 to 8 not all one value.
                if (slots < 8 || e > nodalcoords.extent_of(3)) break;
                const double *mid = &nodalcoords(1, 5, e);
                if (!std::all_of(mid, mid + 12, [mid](double v) { return v == mid[0]; })) nodes = 8;
                break;
            }
            case 4:
            case 5:
                nodes = 8;
                break;
            case 8:
                nodes = 6;
                break;
            case 0:
            case 6:
            case 7:
            case 9:
            case 10:
            case 11:
                break;
            default:
                record_error(-3, "Unknown element type detected", {static_cast<int32_t>(e), elemkind(e)}, {0.0, 0.0},
                             {"", ""});
                *lop = -3;
                return;
        }
        // Elements the arrays cannot hold are skipped.
        if (nodes == 0 || nodes > slots || e > nodalcoords.extent_of(3) || e > tcurvmatrices.extent_of(3) ||
            e > tnodalmatrices.extent_of(4) || e > elemcurvatures.extent_of(2) || e > elemreforientation.extent_of(2) ||
            !elements::frame_shapes() || nodalcoords.extent_of(1) < 3 || elemcurvatures.extent_of(1) < 2 ||
            elemreforientation.extent_of(1) < 7)
            continue;
        double on[24] = {}, ti[72], tcurv[9], origin[3], kappa[2];
        for (int32_t i = 0; i < nodes; ++i)
            for (int c = 0; c < 3; ++c) on[c * 8 + i] = nodalcoords(c + 1, i + 1, e);
        GetNodalTransformation(ti, on, &nodes);
        GetElementTransformation(tcurv, origin, kappa, on, &elemreforientation(1, e), &nodes);
        std::copy_n(ti, 72, &tnodalmatrices(1, 1, 1, e));
        std::copy_n(tcurv, 9, &tcurvmatrices(1, 1, e));
        elemcurvatures(1, e) = kappa[0];
        elemcurvatures(2, e) = kappa[1];
        if (skip) continue;
        for (int32_t k = 0; k < nodes; ++k) {
            double d[3];
            for (int c = 0; c < 3; ++c) d[c] = on[c * 8 + k] - origin[c];
            for (int r = 0; r < 3; ++r)
                nodalcoords(r + 1, k + 1, e) = tcurv[r] * d[0] + tcurv[3 + r] * d[1] + tcurv[6 + r] * d[2];
        }
    }
    *lop = 0;
}

}  // extern "C"
