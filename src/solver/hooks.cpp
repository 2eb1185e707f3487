// Hooks a solver calls besides the material and element entries: the
// characteristic length of four- and eight-node elements, the report of the
// material points of an initialization step, the node coordinates and motions
// of a boundary-condition node set handed to the element tables, and a
// constraint switched off.  None computes a response; the length and motion
// hooks run at every increment and allocate nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/errorhandling.hpp"
#include "core/job.hpp"
#include "core/shared_data.hpp"
#include "core/utility.hpp"
#include "decl/conventions.hpp"
#include "decl/elementhandling.hpp"
#include "decl/iohandling.hpp"
#include "decl/signalprocessing.hpp"
#include "solver/control.hpp"

namespace kestro::solver {

namespace {

// Element types of the characteristic-length hook (jeltype(1)).
constexpr int32_t kFourNodeType = 3, kEightNodeType = 6;
// Nodes handed to GetNodesMotion per call: their translations and rotations
// are gathered on the stack in blocks of this many values.
constexpr int64_t kChunkValues = 1536;

// The motions u(mdof, nblock) of the nodes, in blocks on the stack: rows 1 to
// 3 translations, rows 4 to mdof rotations (at least two components); rows
// the solver does not pass are 0.0, which marks a component as not given.
void pass_motions(const double *u, const int32_t *nodes, int64_t mdof, int64_t nblock) {
    const int32_t rotations = static_cast<int32_t>(std::max<int64_t>(mdof - 3, 2));
    const int64_t chunk = std::max<int64_t>(kChunkValues / (3 + rotations), 1);
    const int64_t translations = std::min<int64_t>(mdof, 3);
    double ntraction[kChunkValues], nrotation[kChunkValues];
    const double not_given = 0.0;
    for (int64_t first = 0; first < nblock; first += chunk) {
        const int32_t count = static_cast<int32_t>(std::min(chunk, nblock - first));
        std::fill_n(ntraction, 3 * count, 0.0);
        std::fill_n(nrotation, int64_t{rotations} * count, 0.0);
        for (int64_t k = 0; k < count; ++k) {
            const double *uk = u + mdof * (first + k);
            std::copy_n(uk, translations, ntraction + 3 * k);
            if (mdof > 3) std::copy_n(uk + 3, mdof - 3, nrotation + rotations * k);
        }
        GetNodesMotion(ntraction, nrotation, nodes + first, &rotations, &count, &not_given);
    }
}

// The lengths of a block of elements of `Nodes` nodes from the solver's
// block-major tables coordnode(nblock, slots, dims) and tdirect(nblock, 3, 3);
// coordinates beyond dims are 0.  Lengths that are not finite (directions of
// no length, coordinates that are not finite) are stored as they come and
// recorded with the element's number.
template <int Nodes>
void block_lengths(double *charlength, const double *coordnode, const double *tdirect, const int32_t *jelem,
                   int64_t elements, int64_t slots, int64_t dims, int64_t stored) {
    for (int64_t k = 0; k < elements; ++k) {
        double x[3 * Nodes], direction[9], length[3];
        for (int c = 0; c < 3; ++c)
            if (c < dims) {
                const double *column = coordnode + k + elements * slots * c;
                for (int n = 0; n < Nodes; ++n) x[3 * n + c] = column[elements * n];
            } else {
                for (int n = 0; n < Nodes; ++n) x[3 * n + c] = 0.0;
            }
        for (int i = 0; i < 9; ++i) direction[i] = tdirect[k + elements * i];
        if constexpr (Nodes == 4)
            GetQuad4ElemLength(length, direction, x);
        else
            GetHex8ElemLength(length, direction, x);
        bool finite = true;
        for (int64_t c = 0; c < stored; ++c) {
            charlength[k + elements * c] = length[c];
            finite &= std::isfinite(length[c]);
        }
        if (!finite) record_error(-2, "Warning: Element lengths not finite in vucharlength_cel.", {jelem[k]});
    }
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

using namespace kestro::solver;

void vucharlength_cel(KESTRO_VUCHARLENGTH_PARAMETERS, KESTRO_VUCHARLENGTH_LENGTHS) noexcept {
    IniMatrixwithZeros(charlength, nblock, ncomp);
    const int64_t elements = std::max(*nblock, 0), dims = std::max(*ndim, 0), slots = std::max(*nnode, 0);
    const int nodes = jeltype[0] == kFourNodeType ? 4 : jeltype[0] == kEightNodeType ? 8 : 0;
    if (nodes == 0 || slots < nodes) return;
    const int64_t stored = std::min(std::max(*ncomp, 0), 3);
    if (nodes == 4)
        block_lengths<4>(charlength, coordnode, tdirect, jelem, elements, slots, dims, stored);
    else
        block_lengths<8>(charlength, coordnode, tdirect, jelem, elements, slots, dims, stored);
}

void uvarm_report(KESTRO_UVARM_PARAMETERS, KESTRO_UVARM_LENGTHS) noexcept {
    if (!jobdata::stepid.exists() || *kinc != 1 || step_kind(*kstep) != initialization) return;
    const std::string path = job::job_file(".rst");
    iohandling::getgausspointreport(path.data(), coord, noel, npt, path.size());
}

void vdisp_nullify(KESTRO_VDISP_PARAMETERS, KESTRO_VDISP_LENGTHS) noexcept {
    if (!jobdata::stepid.exists() || *kstep == 0) return;
    if (*kinc == 1 && *kstep == 1) {
        if (step_kind(1) == initialization) GetNodalCoordinates(coordnp, jnodeuid, ncoord, nblock);
        return;
    }
    if (*kinc <= 1 || *kstep <= 1) return;
    const int32_t kind = step_kind(*kstep);
    if (kind == initialization || kind == structural_response || kind == relaxation || kind == image_correlation)
        return;
    // kinc + 1 taken modulo 2^32 keeps its remainders, so the largest kinc wraps harmlessly.
    const int32_t next = *kinc == std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::min() : *kinc + 1;
    const int32_t every = debugdata::nupdate;
    if (mLimit(&next, &every) != every) return;
    pass_motions(u, jnodeuid, std::max(*mdof, 0), std::max(*nblock, 0));
}

void mpc_nullify(KESTRO_MPC_PARAMETERS) noexcept {
    Ini3DArraywithZeros(a, mdof, mdof, n);
    std::fill_n(jdof, utility::element_count({*mdof, *n}), 0);
    *lmpc = 0;
}

}  // namespace kestro::toplevel
