// The paraboloidal plasticity law of the resin in total-strain form: the
// trial stress of the isotropic stiffness is returned onto the yield
// paraboloid along the flow potential, which leaves one scalar equation in
// the plastic multiplier; the tangent is the derivative of that map.
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/units.hpp"
#include "decl/elasticity.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/resin.hpp"

namespace kestro::elasticity {

namespace {

constexpr double kTolerance = 1e-12;  // relative change of the multiplier
constexpr int kPasses = 50;
constexpr int kExpansions = 64;  // of the bracket, by 16 each

// The yield function 3 J2 + a1 I1 - a0 along the return path, where the
// deviator is s* / (1 + 6 G lambda) and I1 = I1* / (1 + 2 K alpha lambda).
struct ReturnPath {
    double g, k, a0, a1, alpha, j2, i1;
    double a(double lambda) const { return 1.0 / (1.0 + 6.0 * g * lambda); }
    double b(double lambda) const { return 1.0 / (1.0 + 2.0 * k * alpha * lambda); }
    double f(double lambda) const {
        const double s = a(lambda);
        return 3.0 * j2 * s * s + a1 * i1 * b(lambda) - a0;
    }
    double slope(double lambda) const {
        const double s = a(lambda), v = b(lambda);
        return -36.0 * g * j2 * s * s * s - 2.0 * a1 * k * alpha * i1 * v * v;
    }
};

void trace(int pass, double lambda, double f) {
    units::write_record(units::standard_output,
                        format::list_record({"Plasticity pass", pass, "lambda", lambda, "yield function", f}));
}

// The multiplier: the root of the yield function in a bracket grown from
// 1 / (6 G), by Newton steps that fall back to bisection outside it.  False
// when no bracket holds a root.
bool multiplier(const ReturnPath &path, double &lambda) {
    double lo = 0.0, hi = 1.0 / (6.0 * path.g);
    bool bracketed = false;
    for (int k = 0; k < kExpansions && std::isfinite(hi) && hi > 0.0 && !bracketed; ++k) {
        if (path.f(hi) <= 0.0) {
            bracketed = true;
        } else {
            lo = hi;
            hi *= 16.0;
        }
    }
    if (!bracketed) return false;
    lambda = lo;
    for (int pass = 1; pass <= kPasses; ++pass) {
        const double f = path.f(lambda);
        trace(pass, lambda, f);
        if (f == 0.0) return true;
        (f > 0.0 ? lo : hi) = lambda;
        double next = lambda - f / path.slope(lambda);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        const bool converged = std::abs(next - lambda) <= kTolerance * std::abs(next);
        lambda = next;
        if (converged) return true;
    }
    record_error(-1, "Warning: Iteration limit reached in getstressfromplastitcity");
    return true;
}

}  // namespace

void getstressfromplastitcity(double *stress, double *neweqplasticstrain, double *ddsdde, const double *stran,
                              const double *dstran, const double *props, const int32_t *ntens,
                              const int32_t * /*ndi: not read*/, const int32_t *nprops,
                              const double * /*temp: not read*/) noexcept {
    const int32_t n = *ntens;
    const auto refuse = [&](const char *message) {
        for (int32_t i = 0; i < n; ++i) stress[i] = 0.0;
        lamina::zero_square(ddsdde, n);
        *neweqplasticstrain = 0.0;
        record_error(-2, message);
    };
    if (*nprops < 8) return refuse("Unsupported number of properties in getstressfromplastitcity");
    if (n != 6) return refuse("Unsupported dimension in getstressfromplastitcity");

    // props: et, ec, g, nut, nuc, a0, a1, alpha.
    const resin::Cubic elastic = resin::isotropic(props[0], props[3]);
    double strain[6];
    for (int i = 0; i < 6; ++i) strain[i] = stran[i] + dstran[i];
    // The trial stress and the elastic tangent, in place: what an elastic state returns.
    resin::cubic_law(elastic, strain, 6, stress, ddsdde);
    *neweqplasticstrain = 0.0;
    const double i1 = stress[0] + stress[1] + stress[2], p = i1 / 3.0;
    double s[6];
    for (int i = 0; i < 6; ++i) s[i] = i < 3 ? stress[i] - p : stress[i];
    const double j2 = 0.5 * (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) + s[3] * s[3] + s[4] * s[4] + s[5] * s[5];
    const double a0 = props[5], a1 = props[6];
    if (!(3.0 * j2 + a1 * i1 - a0 > 0.0)) return;

    const double g = elastic.c44, k = (elastic.c11 + 2.0 * elastic.c12) / 3.0;
    const ReturnPath path{g, k, a0, a1, props[7] > 0.0 ? props[7] : 0.0, j2, i1};
    const auto direct = [](int i) { return i < 3 ? 1.0 : 0.0; };
    // The deviatoric part of the elastic stiffness: 2 G (delta_ij - 1/3) between direct components,
    // G on the shear diagonal.
    const auto deviatoric = [g](int i, int j) {
        return i < 3 && j < 3 ? 2.0 * g * ((i == j ? 1.0 : 0.0) - 1.0 / 3.0) : i == j ? g : 0.0;
    };
    double plastic[6];  // lambda dg/dsigma, tensor components
    double lambda = 0.0;
    if (multiplier(path, lambda)) {
        const double a = path.a(lambda), b = path.b(lambda), slope = path.slope(lambda);
        double dlambda[6];
        for (int i = 0; i < 6; ++i) {
            stress[i] = a * s[i] + direct(i) * b * i1 / 3.0;
            plastic[i] = lambda * (3.0 * a * s[i] + direct(i) * 2.0 * path.alpha * b * i1 / 9.0);
            dlambda[i] = -(6.0 * g * a * a * s[i] + direct(i) * 3.0 * k * path.a1 * b) / slope;
        }
        const double volumetric = 2.0 * k * path.alpha * b * b * i1 / 3.0;
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i)
                ddsdde[j * 6 + i] = a * deviatoric(i, j) + b * k * direct(i) * direct(j) -
                                    (6.0 * g * a * a * s[i] + volumetric * direct(i)) * dlambda[j];
    } else {
        // The limit of a growing multiplier: no deviator, and no trace once the flow has one.
        const double kept = path.alpha > 0.0 ? 0.0 : 1.0;
        for (int i = 0; i < 6; ++i) {
            stress[i] = direct(i) * kept * i1 / 3.0;
            plastic[i] = s[i] / (2.0 * g) + direct(i) * (1.0 - kept) * i1 / (9.0 * k);
        }
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i) ddsdde[j * 6 + i] = kept * k * direct(i) * direct(j);
    }
    double norm = 0.0;
    for (int i = 0; i < 6; ++i) norm += (i < 3 ? 1.0 : 2.0) * plastic[i] * plastic[i];
    *neweqplasticstrain = std::sqrt(2.0 / 3.0 * norm);
}

}  // namespace kestro::elasticity
