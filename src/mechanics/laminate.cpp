// Laminates and sections.
#include "mechanics/laminate.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kestro::laminate {

void section_z_coordinates(double *plyzcoord, int64_t ldz, const int32_t *matidlist, int64_t ldm,
                           const double *plythickness, int64_t ldt, int64_t nplies, int64_t nsec, int32_t absent) {
    nsec = std::max<int64_t>(nsec, 0);
    nplies = std::max<int64_t>(nplies, 0);
    std::fill_n(plyzcoord, std::max<int64_t>(ldz, 0) * nsec, 0.0);
    for (int64_t s = 0; s < nsec; ++s) {
        const int32_t *ids = matidlist + s * ldm;
        const double *t = plythickness + s * ldt;
        double *z = plyzcoord + s * ldz;
        const int64_t plies = std::find(ids, ids + nplies, absent) - ids;
        if (plies == 0) continue;  // the column is all absent
        double h = 0.0;
        for (int64_t i = 0; i < plies; ++i) h += t[i];
        double bottom = -0.5 * h;
        for (int64_t i = 0; i < plies; ++i) {
            z[2 * i] = bottom;
            z[2 * i + 1] = bottom + 0.5 * t[i];
            bottom += t[i];
        }
        z[2 * plies] = bottom;
    }
}

}  // namespace kestro::laminate

extern "C" {

void GetSectionZCoord(double *plyzcoord, const int32_t *matidlist, const double *plythickness, const int32_t *nplies,
                      const int32_t *nsec, const int32_t *defint) {
    const int64_t plies = std::max(*nplies, 0);
    kestro::laminate::section_z_coordinates(plyzcoord, 2 * plies + 1, matidlist, plies, plythickness, plies, plies,
                                            *nsec, defint != nullptr ? *defint : std::numeric_limits<int32_t>::max());
}

}  // extern "C"
