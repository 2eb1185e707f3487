#include "core/datahandling.hpp"

#include <algorithm>

#include "core/shared_data.hpp"

namespace kestro::datahandling {

namespace {

// A count below 1 gives an extent of 0.
int64_t count(const int32_t *k) noexcept { return std::max<int64_t>(*k, 0); }

}  // namespace

void allocateelementdata(int32_t *istat, const int32_t *knodes, const int32_t *kelem) noexcept {
    using namespace elementdata;
    *istat = 0;
    const int64_t nodes = count(knodes);
    const int64_t elems = count(kelem);
    elemlist.create_if_absent(elems);
    elemkind.create_if_absent(elems);
    elemnodes.create_if_absent(nodes, elems);
    elemcurvatures.create_if_absent(2, elems);
    elemreforientation.create_if_absent(7, elems);
    sectiondata::nsectionpoints.create_if_absent(elems);
}

void allocatenodaldata(int32_t *istat, const int32_t *kdof, const int32_t *knodes,
                       const int32_t *kelem) noexcept {
    using namespace nodaldata;
    *istat = 0;
    const int64_t dof = count(kdof);
    const int64_t nodes = count(knodes);
    const int64_t elems = count(kelem);
    nodesmotion.create_if_absent(dof, nodes, elems);
    nodalcoords.create_if_absent(3, nodes, elems);
    tnodalmatrices.create_if_absent(3, 3, 8, elems);
    tcurvmatrices.create_if_absent(3, 3, elems);
}

void allocatedamagedata(int32_t *istat, const int32_t *kplies, const int32_t *ksec,
                        const int32_t *kdmg) noexcept {
    using namespace damagedata;
    *istat = 0;
    const int64_t plies = count(kplies);
    const int64_t interfaces = std::max<int64_t>(int64_t{*kplies} - 1, 1);
    const int64_t sections = count(ksec);

    // Arrays that exist already are never enlarged, so a larger kdmg cannot
    // raise ndmg beyond the damage sets that any of them holds.
    int64_t requested = *kdmg;
    for (const auto *a : {&generaldds, &fiberdds, &matrixdds, &delamdds, &coredds, &userdds})
        if (a->exists()) requested = std::min(requested, a->extent_of(3));
    if (dmgplane.exists()) requested = std::min(requested, dmgplane.extent_of(2));
    if (bukdata::bukintdatalist.exists()) requested = std::min(requested, bukdata::bukintdatalist.extent_of(3));
    if (bukdata::bukrealdatalist.exists()) requested = std::min(requested, bukdata::bukrealdatalist.extent_of(3));
    ndmg = static_cast<int32_t>(std::max<int64_t>({ndmg, 1, requested}));
    const int64_t sets = ndmg;

    if (damagedds.create_if_absent(1)) damagedds(1) = -1;
    // A marker that a caller created empty holds no state: leave the regions alone.
    const bool fresh = damagedds.size() >= 1 && damagedds(1) == -1;
    generaldds.create_if_absent(3, plies, sets);
    fiberdds.create_if_absent(3, plies, sets);
    matrixdds.create_if_absent(3, plies, sets);
    delamdds.create_if_absent(3, interfaces, sets);
    coredds.create_if_absent(3, plies, sets);
    userdds.create_if_absent(3, plies, sets);
    if (fresh) {
        // Deliberately also clears regions that the damage card reader filled:
        // the card reader never creates damagedds.
        damagedds(1) = 0;
        for (auto *a : {&generaldds, &fiberdds, &matrixdds, &delamdds, &coredds, &userdds}) a->fill(0.0);
    }
    dmgplane.create_if_absent(10, sets);
    bukdata::bukintdatalist.create_if_absent(4, interfaces, sets, sections);
    bukdata::bukrealdatalist.create_if_absent(12, interfaces, sets, sections);
}

void deallocall(int32_t *istat) noexcept {
    *istat = 0;
    // Every allocatable array of the shared data that the signature files do
    // not mark as kept: those of the card readers, the element, nodal,
    // damage, buckling and fatigue data.
    for (kestro_array *a : shared_data::released_by_deallocall)
        if (a != nullptr) kestro_array_drop(a);
}

}  // namespace kestro::datahandling
