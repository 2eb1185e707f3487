// Stress-state conversions between the element vectors of the solvers (3
// plane stress, 4 plane strain or axisymmetric, 6 solid) and the 3-D Nye
// states of the material routines.  Fixed sizes on the stack; the
// axisymmetric base change (axes 2 and 3 swapped) is the index permutation it
// amounts to.  Plane stress trusts the tangent's inverse only where its
// condition allows (stressstates.hpp) and condenses 33 out of the stress
// otherwise.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "decl/elementhandling.hpp"
#include "elements/stressstates.hpp"
#include "math/small.hpp"
#include "mechanics/notation.hpp"

namespace {

// 3-D component k of an axisymmetric state comes from, or goes to, Nye position kAxial[k].
constexpr int kAxial[6] = {0, 2, 1, 4, 3, 5};

void zero3(double *a, double *b, double *c) {
    std::fill_n(a, 6, 0.0);
    std::fill_n(b, 6, 0.0);
    std::fill_n(c, 6, 0.0);
}

bool on(const int32_t *flag) { return flag != nullptr && *flag != 0; }
bool on(const kestro_logical1 *flag) { return flag != nullptr && *flag != 0; }

}  // namespace

namespace kestro::elements {

void plane_stress_output(double *stressps, double *tangentps, const double *stress3d, const double *tangent3d,
                         const double *inverse) {
    constexpr int kept[3] = {0, 1, 3};
    GetReducedNyeStiffnessMatrix(tangentps, tangent3d, nullptr);
    // Without a 33 stiffness nothing is condensed: the kept components as they are.
    const double c33 = tangent3d[2 * 6 + 2];
    if (c33 == 0.0) {
        for (int k = 0; k < 3; ++k) stressps[k] = stress3d[kept[k]];
        return;
    }
    // The reduced stiffness at the 3-D strain of the stress under the full
    // tangent, e = C^-1 s, where the tangent's inverse can be trusted.
    if (inverse != nullptr) {
        double e2[3];
        for (int k = 0; k < 3; ++k) {
            e2[k] = 0.0;
            for (int j = 0; j < 6; ++j) e2[k] += inverse[j * 6 + kept[k]] * stress3d[j];
        }
        for (int i = 0; i < 3; ++i)
            stressps[i] = tangentps[i] * e2[0] + tangentps[3 + i] * e2[1] + tangentps[6 + i] * e2[2];
        if (math::small::all_finite<3>(stressps)) return;
    }
    // Otherwise (singular, ill-conditioned, or a result that is not finite:
    // a perfectly plastic point, a saturated component) 33 is condensed out
    // of the stress itself, s_k - C_k3 s_33 / C_33, which needs only C_33.
    // For a regular tangent that does not couple 13 and 23 with the others
    // it is the same to rounding; a component that couples to nothing keeps
    // its stress.
    for (int k = 0; k < 3; ++k) stressps[k] = stress3d[kept[k]] - tangent3d[2 * 6 + kept[k]] * stress3d[2] / c33;
}

}  // namespace kestro::elements

extern "C" {

void Get3DStressFromPlaneStress(const double *stress, const double *stran, const double *dstran,
                                const double *transverse, double *stress3d, double *stran3d, double *dstran3d,
                                const int32_t *itnsflag, const int32_t *itshrflag) {
    zero3(stress3d, stran3d, dstran3d);
    for (const auto &[from, to] :
         {std::pair{stress, stress3d}, std::pair{stran, stran3d}, std::pair{dstran, dstran3d}}) {
        to[0] = from[0];
        to[1] = from[1];
        to[3] = from[2];
    }
    static constexpr double none[6] = {};
    const double *t = transverse != nullptr ? transverse : none;
    if (on(itnsflag)) {
        stress3d[2] = t[5];
        stran3d[2] = t[2];
    }
    if (on(itshrflag)) {
        stress3d[4] = t[3];
        stress3d[5] = t[4];
        stran3d[4] = t[0];
        stran3d[5] = t[1];
    }
}

void Get3DStressFromPlaneStrain(const double *stress, const double *stran, const double *dstran, double *stress3d,
                                double *stran3d, double *dstran3d, const kestro_logical1 *isaxial) {
    zero3(stress3d, stran3d, dstran3d);
    const bool axial = on(isaxial);
    for (const auto &[from, to] :
         {std::pair{stress, stress3d}, std::pair{stran, stran3d}, std::pair{dstran, dstran3d}}) {
        const double nye[6] = {from[0], from[1], from[2], from[3], 0.0, 0.0};
        for (int k = 0; k < 6; ++k) to[k] = nye[axial ? kAxial[k] : k];
    }
}

void Get3DStressFromHex(const double *stress, const double *stran, const double *dstran, double *stress3d,
                        double *stran3d, double *dstran3d) {
    std::copy_n(stress, 6, stress3d);
    std::copy_n(stran, 6, stran3d);
    std::copy_n(dstran, 6, dstran3d);
}

void Get3DInputFromElem(double *stress3d, double *strain3d, double *dstrain3d, const double *stress_nye,
                        const double *strain_nye, const double *dstrain_nye, const int32_t *ncomp,
                        const double *transverse, const int32_t *itnsflag, const int32_t *itshrflag,
                        const kestro_logical1 *isaxial) {
    switch (*ncomp) {
        case 3:
            Get3DStressFromPlaneStress(stress_nye, strain_nye, dstrain_nye, transverse, stress3d, strain3d, dstrain3d,
                                       itnsflag, itshrflag);
            break;
        case 4:
            Get3DStressFromPlaneStrain(stress_nye, strain_nye, dstrain_nye, stress3d, strain3d, dstrain3d, isaxial);
            break;
        case 6:
            Get3DStressFromHex(stress_nye, strain_nye, dstrain_nye, stress3d, strain3d, dstrain3d);
            break;
        default:
            break;  // the outputs keep what they held
    }
}

void GetPlaneStressOutputFrom3D(double *stressps, double *tangentps, const double *stress3d, const double *tangent3d) {
    // The inverse is formed only where it is read.
    double inverse[36];
    const bool trusted = tangent3d[2 * 6 + 2] != 0.0 && kestro::elements::trusted_inverse(tangent3d, inverse);
    kestro::elements::plane_stress_output(stressps, tangentps, stress3d, tangent3d, trusted ? inverse : nullptr);
}

void GetPlaneStrainOutputFrom3D(double *stresspl, double *tangentpl, const double *stress3d, const double *tangent3d,
                                const kestro_logical1 *isaxial) {
    const bool axial = on(isaxial);
    for (int j = 0; j < 4; ++j) {
        const int qj = axial ? kAxial[j] : j;
        stresspl[j] = stress3d[qj];
        for (int i = 0; i < 4; ++i) tangentpl[j * 4 + i] = tangent3d[qj * 6 + (axial ? kAxial[i] : i)];
    }
}

void GetHexOutputFrom3D(double *stresshex, double *tangenthex, const double *stress3d, const double *tangent3d) {
    std::copy_n(stress3d, 6, stresshex);
    std::copy_n(tangent3d, 36, tangenthex);
}

void GetElemOutputFrom3D(double *stresselem, double *tangentelem, const double *stress3d, const double *tangent3d,
                         const int32_t *n, const kestro_logical1 *isaxial) {
    switch (*n) {
        case 3:
            GetPlaneStressOutputFrom3D(stresselem, tangentelem, stress3d, tangent3d);
            break;
        case 4:
            GetPlaneStrainOutputFrom3D(stresselem, tangentelem, stress3d, tangent3d, isaxial);
            break;
        case 6:
            GetHexOutputFrom3D(stresselem, tangentelem, stress3d, tangent3d);
            break;
        default:
            break;
    }
}

double GetPlaneStressEpsZZ(const double *e33, const double *nu31, const double *nu32, const double *s11,
                           const double *s22) {
    return -(*nu31 / *e33) * *s11 - (*nu32 / *e33) * *s22;
}

}  // extern "C"
