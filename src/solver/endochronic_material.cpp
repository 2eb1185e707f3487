// The endochronic viscoplastic material (umat_krause): the law
// EndochroneViscoPlasticity at a three-dimensional point, with the tangent
// by central differences of the law at the updated state.  The state belongs
// to the law; the work vectors are on the stack.
#include <cstddef>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/toplevel.hpp"
#include "mechanics/endochronic.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"

namespace kestro::toplevel {

namespace {

// The strain step of the central differences, and the divisor 2 h.
constexpr double kStep = 1e-8, kSpan = 2e-8;
constexpr int kSolid = 6;

void krause(const solver::UmatPoint &p) {
    if (p.ntens() != kSolid || p.ndi() != 3) {
        lamina::zero_square(p.args.ddsdde, p.ntens());
        record_error(-2, "Unsupported dimension in umat_krause.");
        return;
    }
    double *stress = p.args.stress, *state = p.args.statev;
    endochronic::Law law;
    if (!endochronic::law_of(p.args.props, p.nprops(), p.nstatv(), law)) {
        for (int i = 0; i < kSolid; ++i) stress[i] = 0.0;
        lamina::zero_square(p.args.ddsdde, kSolid);
        return;
    }
    endochronic::evaluate(law, p.args.stran, p.args.dstran, state, *p.args.dtime, true, stress);
    // The tangent from the updated state, over no time, the state not written.
    const auto tangent = p.tangent();
    for (int j = 0; j < kSolid; ++j) {
        double up[kSolid], down[kSolid], s_up[kSolid], s_down[kSolid];
        for (int i = 0; i < kSolid; ++i) up[i] = down[i] = p.args.dstran[i];
        up[j] += kStep;
        down[j] -= kStep;
        endochronic::evaluate(law, p.args.stran, up, state, 0.0, false, s_up);
        endochronic::evaluate(law, p.args.stran, down, state, 0.0, false, s_down);
        for (int i = 0; i < kSolid; ++i)
            tangent(static_cast<std::size_t>(i), static_cast<std::size_t>(j)) = (s_up[i] - s_down[i]) / kSpan;
    }
}

}  // namespace

void umat_krause(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    krause(solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

}  // namespace kestro::toplevel
