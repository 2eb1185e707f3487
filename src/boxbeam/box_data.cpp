// The box-beam data: creation of the arrays for the capacities and the start
// values of an analysis.
#include <algorithm>
#include <cstdint>

#include "boxbeam/box.hpp"
#include "core/shared_data.hpp"
#include "decl/boxbeamio.hpp"

namespace kestro::boxbeam {

namespace {

// The array with the given extents, every entry 0: kept (and cleared) when it
// has them, else created anew, which gives zeros without touching the storage.
template <class A, class... E>
void ensure(A &a, E... extents) {
    const int64_t wanted[] = {static_cast<int64_t>(extents)...};
    bool same = a.exists();
    for (int d = 0; d < static_cast<int>(sizeof...(E)) && same; ++d) same = a.extent_of(d + 1) == wanted[d];
    if (same) {
        a.fill(0);
        return;
    }
    a.drop();
    a.create(extents...);
}

void allocate_all(int64_t maxw, int64_t maxg, int64_t maxz) {
    using namespace wand;
    for (auto *a : {&ig1, &ig2, &it}) ensure(*a, maxw);
    for (auto *a : {&yk0, &zk0, &yklk, &zklk, &bk, &gk, &rhok, &th}) ensure(*a, maxw);
    // The moduli e keep their values when the capacity stays.
    if (!e.exists() || e.extent_of(1) != maxw) {
        e.drop();
        e.create(maxw);
    }
    for (auto *a : {&gurt::yi, &gurt::bi, &gurt::zi, &gurt::myi}) ensure(*a, maxg);
    ensure(zelle::iak, maxz);
    ensure(zelle::ia, maxg, maxz);
    for (auto *a : {&kraft::nx0, &kraft::nxl2, &kraft::nxl}) ensure(*a, maxw);
    ensure(kraft::t0, 2 * maxw);
    for (auto *a : {&kraft::tl, &kraft::tl2}) ensure(*a, maxw);
    for (auto *a : {&epigam::epi, &epigam::gam}) ensure(*a, maxw, 3);
    ensure(epigam::epigu, maxg);
}

}  // namespace

void initialize(const int32_t *nw, const int32_t *ng, const int32_t *nz) {
    // Capacities below 1 give empty arrays; the analysis refuses them.
    const int32_t walls = std::max(nw != nullptr ? *nw : 100, 0), caps = std::max(ng != nullptr ? *ng : 100, 0),
                  cells = std::max(nz != nullptr ? *nz : 100, 0);
    allocate_all(walls, caps, cells);
    restr::maxgu = caps;
    restr::maxwa = walls;
    restr::maxze = cells;
    gurt::ig = wand::kw = zelle::az = 0;
    using namespace quer;
    bx = m = ys = zs = yt = zt = dyy = dzy = dzz = dyyste = dzzste = alpha = itt = 0.0;
    ymst = zmst = ymstac = zmstac = iyys = izys = izzs = dt = 0.0;
    using namespace spanug;
    qqx = qqy = qqz = qmx = qmy = qmz = 0.0;
}

}  // namespace kestro::boxbeam

extern "C" void Box_Initialize(const int32_t *nw, const int32_t *ng, const int32_t *nz) {
    kestro::boxbeam::initialize(nw, ng, nz);
}
