// The numerical tangent of a stress law: forward differences or the complex
// step, one call of the law per strain component, work vectors on the stack.
#include "decl/elasticity.hpp"

#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/math.hpp"
#include "mechanics/ply.hpp"

namespace kestro::elasticity {

namespace {

constexpr int kMaxComponents = 6;

// The law as it is called in complex-step mode.
using ComplexLaw = void (*)(kestro_complex *, const kestro_complex *, const double *, const int32_t *, const int32_t *,
                            const int32_t *);

}  // namespace

void getnumericaltangent(double *ddsdde, kestro_stress_law f, const double *props, const double *stress1,
                         const double *stress0, const double *dstrain, const int32_t *ntens, const int32_t *ndi,
                         const int32_t *nprops, const kestro_logical1 *istensor, const double *tgref, const double *h,
                         const int32_t *nmflag) {
    static_cast<void>(stress0);
    static_cast<void>(tgref);
    const int32_t n = *ntens;
    const int32_t method = nmflag != nullptr ? *nmflag : 0;
    if (n < 1 || n > kMaxComponents || (method != 0 && method != 1)) {
        lamina::zero_square(ddsdde, n);
        record_error(-2, n < 1 || n > kMaxComponents ? "Unsupported dimension in getnumericaltangent"
                                                     : "Unsupported method flag in getnumericaltangent");
        return;
    }
    // The step per column: doubled for the shear columns of a law in tensor shears.
    const double step = h != nullptr ? *h : method == 0 ? 1e-6 : 1e-20;
    const auto step_of = [&](int32_t j) { return *istensor != 0 && j >= *ndi ? 2.0 * step : step; };
    if (method == 0) {
        double strain[kMaxComponents], stress[kMaxComponents], dy[kMaxComponents * kMaxComponents], dx[kMaxComponents];
        for (int32_t j = 0; j < n; ++j) {
            for (int32_t k = 0; k < n; ++k) {
                strain[k] = dstrain[k];
                stress[k] = 0.0;
            }
            strain[j] += step;
            f(stress, strain, props, ntens, ndi, nprops);
            for (int32_t i = 0; i < n; ++i) dy[j * n + i] = stress[i] - stress1[i];
            dx[j] = step_of(j);
        }
        Gradient(ddsdde, dy, dx, ntens, ntens);
        return;
    }
    const auto law = reinterpret_cast<ComplexLaw>(f);
    kestro_complex strain[kMaxComponents], stress[kMaxComponents], x[kMaxComponents];
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t k = 0; k < n; ++k) {
            strain[k] = {dstrain[k], k == j ? step : 0.0};
            stress[k] = {0.0, 0.0};
            x[k] = {0.0, step_of(j)};
        }
        law(stress, strain, props, ntens, ndi, nprops);
        ComplexStepDerivative(ddsdde + j * n, stress, x, ntens);
    }
}

}  // namespace kestro::elasticity
