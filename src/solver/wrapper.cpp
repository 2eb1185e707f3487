// Adapters between the solvers' material conventions (module wrapper): the
// ANSYS and Peridigm material points through a UMAT routine, and the UMAT
// material point through an ANSYS or a three-dimensional MUESLI routine.
// Every material routine is called in three dimensions on work vectors on
// the stack (the Peridigm state of more than 256 values aside); the routine
// may be a Python callable that raises, whose exception unwinds the adapter,
// so nothing here is noexcept and nothing holds memory outside RAII.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "core/scratch.hpp"
#include "decl/elementhandling.hpp"
#include "decl/iohandling.hpp"
#include "decl/wrapper.hpp"
#include "elements/stressstates.hpp"
#include "math/small.hpp"
#include "mechanics/ply.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::wrapper {

namespace {

using solver::kWrapperName;

constexpr int32_t kThree = 3, kSix = 6;
constexpr kestro_logical1 kAxisymmetric = 1;  // 4-component states are axisymmetric
constexpr double kZero6[6] = {};
constexpr double kIdentity[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};

// The ANSYS order 11, 22, 33, 12, 23, 13 is the cyclic order: from Nye order
// by one permutation (FlipVoigtNyeNotation, then FlipVoigtCyclicNotation with
// shift 2).
using solver::cyclic_of_nye;
using solver::cyclic_of_nye_matrix;
using solver::nye_of_cyclic;
using solver::nye_of_cyclic_matrix;

// The three-dimensional material point an adapter hands its routine: the
// stress, strain, increment and tangent in Nye order, all zero until set, so
// that a component count the expansion does not serve hands the routine
// zeros and reads no unset value.
struct Solid {
    double stress[6], strain[6], increment[6], tangent[36];

    // Zeroed by unrolled stores: as a loop the compiler makes the fill a
    // string store whose start-up costs more than the fill.
    Solid() {
        math::small::Ref<6, 1>(stress).zero();
        math::small::Ref<6, 1>(strain).zero();
        math::small::Ref<6, 1>(increment).zero();
        math::small::Ref<6, 6>(tangent).zero();
    }

    // Expands an element state of ncomp components (Nye order).
    void expand(const double *stress_elem, const double *strain_elem, const double *increment_elem,
                const int32_t *ncomp) {
        Get3DInputFromElem(stress, strain, increment, stress_elem, strain_elem, increment_elem, ncomp, nullptr,
                           nullptr, nullptr, &kAxisymmetric);
    }
    // Reduces the result to the element's n components; another n leaves them.
    void reduce(double *stress_elem, double *tangent_elem, const int32_t *n) const {
        GetElemOutputFrom3D(stress_elem, tangent_elem, stress, tangent, n, &kAxisymmetric);
    }
};

// What an adapter gives a UMAT routine whose caller has no such value.
struct UmatDefaults {
    double spd = 0.0, scd = 0.0, rpl = 0.0, drpldt = 0.0, pnewdt = 1.0, celent = 1.0;
    double predef[1] = {}, dpred[1] = {}, ddsddt[6], drplde[6];

    UmatDefaults() {
        math::small::Ref<6, 1>(ddsddt).zero();
        math::small::Ref<6, 1>(drplde).zero();
    }
};

// The element's stress, strain and increment of ncomp components in Nye
// order: with 6 components turned from the ANSYS order, with 3 or 4 taken as
// they are; other counts are not read.
void element_in_nye(const solver::UsermatPoint &point, double *stress, double *strain, double *increment) {
    const int32_t n = point.ncomp();
    if (n == 6) {
        nye_of_cyclic(point.args.stress, stress);
        nye_of_cyclic(point.args.strain, strain);
        nye_of_cyclic(point.args.dstrain, increment);
    } else if (n == 3 || n == 4) {
        std::copy_n(point.args.stress, n, stress);
        std::copy_n(point.args.strain, n, strain);
        std::copy_n(point.args.dstrain, n, increment);
    }
}

// The transverse shear stiffness and the thickness strain of the ANSYS
// point.  Where the 6 x 6 tangent's inverse can be trusted (the rule of the
// plane-stress output, elements/stressstates.hpp; `compliance` that inverse,
// else nullptr): tsstif(1) = G13 of it, and epszz of a plane-stress point
// from the stress that goes back and the compliance's engineering
// constants.  Otherwise, or where
// those are not finite: tsstif(1) = C55 - C56 C65 / C66 (Nye positions), the
// 13 stiffness of the 13-23 block, which is G13 when that block couples to
// nothing else (where it couples, or C66 is 0, tsstif is left and -2
// recorded); epszz the strain that keeps s33 at 0 under the element's
// strain, -(C31 e11 + C32 e22 + C34 g12) / C33, or 0 when C33 is 0.
void transverse_results(const solver::UsermatPoint &point, const double *tangent, const double *compliance) {
    const auto &a = point.args;
    if (compliance != nullptr) {
        // The engineering constants; G13 and the normal block read the same in Nye and Voigt order.
        double constants[9];
        GetEngConstsFromComplianceMatrix(constants, compliance);
        const double e1 = constants[0], e2 = constants[1], e3 = constants[2];
        const double nu23 = constants[6], nu13 = constants[7], g13 = constants[4];
        double epszz = 0.0;
        if (point.plane_stress()) {
            const double nu31 = nu13 * e3 / e1, nu32 = nu23 * e3 / e2;
            epszz = GetPlaneStressEpsZZ(&e3, &nu31, &nu32, &a.stress[0], &a.stress[1]);
        }
        if (std::isfinite(g13) && std::isfinite(epszz)) {
            a.tsstif[0] = g13;
            if (point.plane_stress()) *a.epszz = epszz;
            return;
        }
    }
    const auto c = [tangent](int i, int j) { return tangent[(j - 1) * 6 + i - 1]; };
    bool block_alone = c(6, 6) != 0.0;
    for (int i = 1; i <= 4; ++i)
        block_alone = block_alone && c(i, 5) == 0.0 && c(5, i) == 0.0 && c(i, 6) == 0.0 && c(6, i) == 0.0;
    if (block_alone)
        a.tsstif[0] = c(5, 5) - c(5, 6) * c(6, 5) / c(6, 6);
    else
        record_error(-2, "Matrix inverse becomes numerically singular!");
    if (!point.plane_stress()) return;
    const double e11 = a.strain[0] + a.dstrain[0], e22 = a.strain[1] + a.dstrain[1];
    const double g12 = a.strain[2] + a.dstrain[2];
    *a.epszz = c(3, 3) != 0.0 ? -(c(3, 1) * e11 + c(3, 2) * e22 + c(3, 4) * g12) / c(3, 3) : 0.0;
}

// The ANSYS material point through the UMAT routine.
void ansys_through_umat(kestro_umat dfunc, const solver::UsermatPoint &point) {
    const auto &a = point.args;
    *a.keycut = 0;
    *a.sedpl = 0.0;
    *a.epseq = 0.0;
    if (!solver::served_layout(*a.ndirect, *a.nshear, *a.ncomp))
        return record_error(-2, "Unsupported dimension in abq_umat_to_ansys_usermat.");
    Solid solid;
    double stress[6], strain[6], increment[6];
    element_in_nye(point, stress, strain, increment);
    solid.expand(stress, strain, increment, a.ncomp);
    UmatDefaults d;
    const double time[2] = {*a.time, kLargestReal};
    const auto jstep = solver::step_of(*a.ldstep);
    const conventions::Umat umat{
        solid.stress, a.ustatev, solid.tangent, a.sedel, &d.spd, &d.scd, &d.rpl, d.ddsddt, d.drplde, &d.drpldt,
        solid.strain, solid.increment, time, a.dtime, a.temp, a.dtemp, d.predef, d.dpred, kWrapperName.data(),
        &kThree, &kThree, &kSix, a.nstatev, a.prop, a.nprop, a.coords, kIdentity, &d.pnewdt, &d.celent,
        a.defgrad_t, a.defgrad, a.elemid, a.kdomintpt, a.klayer, a.ksectpt, jstep.data(), a.isubst,
        kWrapperName.size()};
    conventions::call(dfunc, umat);
    // The tangent's inverse, formed once for the plane-stress output and the transverse results.
    double compliance[36];
    const double *inverse = elements::trusted_inverse(solid.tangent, compliance) ? compliance : nullptr;
    if (point.ncomp() == 6) {
        cyclic_of_nye(solid.stress, a.stress);
        cyclic_of_nye_matrix(solid.tangent, a.dsdepl);
    } else if (point.plane_stress()) {
        elements::plane_stress_output(a.stress, a.dsdepl, solid.stress, solid.tangent, inverse);
    } else {
        solid.reduce(a.stress, a.dsdepl, a.ncomp);
    }
    transverse_results(point, solid.tangent, inverse);
}

// The Peridigm points through the UMAT routine, one after the other.
void peridigm_through_umat(kestro_umat dfunc, const solver::UpermatBlock &block) {
    const auto &a = block.args;
    const std::size_t points = solver::extent(block.npoint()), states = solver::extent(block.nstatev());
    const auto stress_old = block.stress_old(), state_old = block.state_old(), increment = block.increment();
    const auto stress_new = block.stress_new(), state_new = block.state_new();
    if (!solver::served_layout(*a.ndir, *a.nshr)) {
        record_error(-2, "Unsupported dimension in abq_umat_to_peridigm_upermat.");
        for (std::size_t k = 0; k < points; ++k) {
            for (std::size_t j = 0; j < stress_new.columns; ++j) stress_new(k, j) = stress_old(k, j);
            for (std::size_t j = 0; j < states; ++j) state_new(k, j) = state_old(k, j);
        }
        return;
    }
    const int32_t ncomp = *a.ndir + *a.nshr;
    const std::size_t columns = solver::extent(ncomp);
    Scratch<double, 256> state(static_cast<int64_t>(states));
    const double time[2] = {*a.steptime, *a.totaltime}, coords[3] = {1.0, 1.0, 1.0}, zero = 0.0;
    const int32_t one = 1;
    const auto jstep = solver::step_of(1);
    for (std::size_t k = 0; k < points; ++k) {
        Solid solid;
        double stress[6], increments[6], reduced[6], tangent[36];
        // Six components are the 3-D state itself (the expansion would copy them).
        double *const row_stress = ncomp == 6 ? solid.stress : stress;
        double *const row_increment = ncomp == 6 ? solid.increment : increments;
        for (std::size_t j = 0; j < columns; ++j) {
            row_stress[j] = stress_old(k, j);
            row_increment[j] = increment(k, j);
        }
        if (ncomp != 6) solid.expand(stress, kZero6, increments, &ncomp);
        for (std::size_t j = 0; j < states; ++j) state[j] = state_old(k, j);
        UmatDefaults d;
        double sse = 0.0;
        const conventions::Umat umat{
            solid.stress, state.data(), solid.tangent, &sse, &d.spd, &d.scd, &d.rpl, d.ddsddt, d.drplde,
            &d.drpldt, solid.strain, solid.increment, time, a.dt, &zero, &zero, d.predef, d.dpred,
            kWrapperName.data(), &kThree, &kThree, &kSix, a.nstatev, a.props, a.nprops, coords, kIdentity,
            &d.pnewdt, &d.celent, kIdentity, kIdentity, &one, &one, &one, &one, jstep.data(), &one,
            kWrapperName.size()};
        conventions::call(dfunc, umat);
        // stressnew = stressold + the reduced stress (the 3-D one as it is with 6 components).
        const double *added = solid.stress;
        if (ncomp != 6) {
            std::fill_n(reduced, 6, 0.0);
            solid.reduce(reduced, tangent, &ncomp);
            added = reduced;
        }
        for (std::size_t j = 0; j < columns; ++j) stress_new(k, j) = stress_old(k, j) + added[j];
        for (std::size_t j = 0; j < states; ++j) state_new(k, j) = state[j];
    }
}

// A UMAT point of a layout the adapters do not serve (served_layout with
// NTENS, as the ply checks it): the record, stress, tangent and SSE zeroed
// (nothing written without components), the state as it came.
bool refused(const solver::UmatPoint &point, const char *message) {
    if (solver::served_layout(point.ndi(), point.nshr(), point.ntens())) return false;
    record_error(-2, message);
    if (point.ntens() > 0) solver::clear_response(point);
    return true;
}

// The UMAT material point through the ANSYS routine.
void umat_through_ansys(kestro_usermat dfunc, const solver::UmatPoint &point) {
    if (refused(point, "Unsupported dimension in ansys_usermat_to_abq_umat.")) return;
    const auto &a = point.args;
    *a.pnewdt = 1.0;
    *a.spd = 0.0;
    *a.scd = 0.0;
    const std::string_view name = point.material();
    const std::size_t used = name.find_last_not_of(' ');
    const int32_t searched = static_cast<int32_t>(std::min<std::size_t>(name.size(), kAbsentInt));
    const int32_t matid = std::max(1, iohandling::getxidfromstring(a.cmname, &searched, "m", nullptr,
                                                                    name.size(), 1));
    Solid solid;
    solid.expand(a.stress, a.stran, a.dstran, a.ntens);
    double stress[6], strain[6], increment[6], tangent[36] = {}, epspl[6] = {}, tsstif[2] = {};
    cyclic_of_nye(solid.stress, stress);
    cyclic_of_nye(solid.strain, strain);
    cyclic_of_nye(solid.increment, increment);
    int32_t keycut = 0;
    double sedpl = 0.0, epseq = 0.0, epszz = 0.0, reserved[9] = {};
    reserved[8] = used == std::string_view::npos ? 0.0 : static_cast<double>(used + 1);
    const conventions::Usermat usermat{
        &matid, a.noel, a.npt, a.layer, a.kspt, &a.jstep[0], a.kinc, &keycut, &kThree, &kThree, &kSix,
        a.nstatv, a.nprops, &a.time[0], a.dtime, a.temp, a.dtemp, stress, a.statev, tangent, a.sse, &sedpl,
        &epseq, strain, increment, epspl, a.props, a.coords, &reserved[0], a.dfgrd0, a.dfgrd1, tsstif, &epszz,
        &reserved[1], &reserved[2], &reserved[3], &reserved[4], &reserved[5], &reserved[6], &reserved[7],
        &reserved[8]};
    conventions::call(dfunc, usermat);
    nye_of_cyclic(stress, solid.stress);
    nye_of_cyclic_matrix(tangent, solid.tangent);
    solid.reduce(a.stress, a.ddsdde, a.ntens);
}

// The UMAT material point through the three-dimensional routine with a
// material id in front.
void umat_through_muesli(kestro_muesli_umat dfunc, const solver::UmatPoint &point, const int32_t *matid) {
    if (refused(point, "Unsupported dimension in muesli_to_abq_umat.")) return;
    Solid solid;
    solid.expand(point.args.stress, point.args.stran, point.args.dstran, point.args.ntens);
    conventions::Umat umat = point.args;
    double ddsddt[6] = {}, drplde[6] = {};
    umat.stress = solid.stress;
    umat.ddsdde = solid.tangent;
    umat.ddsddt = ddsddt;
    umat.drplde = drplde;
    umat.stran = solid.strain;
    umat.dstran = solid.increment;
    umat.ndi = &kThree;
    umat.nshr = &kThree;
    umat.ntens = &kSix;
    conventions::call(dfunc, umat, matid);
    solid.reduce(point.args.stress, point.args.ddsdde, point.args.ntens);
}

}  // namespace

void abq_umat_to_ansys_usermat(kestro_umat dfunc, KESTRO_USERMAT_PARAMETERS) {
    ansys_through_umat(dfunc, solver::UsermatPoint{{KESTRO_USERMAT_ARGUMENTS}});
}

void abq_umat_to_peridigm_upermat(kestro_umat dfunc, KESTRO_UPERMAT_PARAMETERS) {
    peridigm_through_umat(dfunc, solver::UpermatBlock{{KESTRO_UPERMAT_ARGUMENTS}});
}

void ansys_usermat_to_abq_umat(kestro_usermat dfunc, KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) {
    umat_through_ansys(dfunc, solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
}

void muesli_to_abq_umat(kestro_muesli_umat dfunc, KESTRO_UMAT_PARAMETERS, const int32_t *matid,
                        KESTRO_UMAT_LENGTHS) {
    umat_through_muesli(dfunc, solver::UmatPoint{{KESTRO_UMAT_ARGUMENTS}}, matid);
}

}  // namespace kestro::wrapper
