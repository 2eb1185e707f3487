// Impact contact between a spherical impactor and a laminate, and the
// permanent indentation after unloading.  No routine reads a parameter past
// numargs: a flag that needs more records the shortage and returns as for an
// unknown flag.
#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/errorhandling.hpp"
#include "decl/interaction.hpp"
#include "decl/math.hpp"
#include "decl/permcollection.hpp"
#include "decl/signalprocessing.hpp"
#include "core/markers.hpp"
#include "elements/impactor.hpp"

namespace {

constexpr double kPi = std::numbers::pi;
using kestro::kAbsentReal;  // a result the flag does not define
using kestro::kLargestReal;

void unknown(const char *message) { kestro::record_error(-3, message, {0}, {0.0}, {""}); }

// False, with the shortage recorded, when numargs holds fewer than `needed` values.
bool enough(int32_t numargs, int32_t needed, const char *message) {
    if (numargs >= needed) return true;
    kestro::record_error(-2, message);
    return false;
}

}  // namespace

extern "C" {

void ContactStiffness(double *k, double *eeff, const double *args, const int32_t *numargs, const int32_t *csflag) {
    *eeff = 0.0;
    const int32_t flag = *csflag;
    const auto a = [args](int i) { return args[i - 1]; };
    if (flag < 0 || flag > 6) return unknown("Unknown contact stiffness flag");
    if (flag == 4) return unknown("Goldsmith is not implemented so far.");
    if (flag == 5) return unknown("Goldsmith + Sun et. al is not implemented so far.");
    if (!enough(*numargs, flag == 6 ? 13 : 12, "Warning: Too few arguments in ContactStiffness.")) return;
    const double e1 = (1.0 - a(4) * a(4)) / a(3), e2 = (1.0 - a(8) * a(8)) / a(7);
    switch (flag) {
        case 0:
            *eeff = 1.0 / (e1 + e2);
            *k = 4.0 / 3.0 * *eeff * std::sqrt(1.0 / (a(5) + 1.0 / a(1)));
            break;
        case 1:
            *eeff = 1.0 / (e1 + 1.0 / a(7));
            *k = 4.0 / 3.0 * *eeff * std::sqrt(1.0 / (a(5) + 1.0 / a(1)));
            break;
        case 2:
            *k = a(10) / std::pow(a(11) - a(12), a(9));
            break;
        case 3:
            *eeff = 1.0 / (e1 + 1.0 / a(7));
            *k = std::pow(a(10), a(9) - 0.5) * std::pow(a(11), 1.0 - a(9)) / (a(12) * std::pow(a(12), a(9)));
            break;
        default: {  // 6
            *eeff = 1.0 / (e1 + e2);
            const double low = 2.220446049250313e-16, high = kLargestReal;
            const double p = fLimit(&args[12], &low, &high);
            const double b = std::sqrt(4.0 * a(1) * p / (kPi * *eeff));
            *k = kPi * a(2) * *eeff / (std::log(a(2) / b) + 1.886);
        }
    }
}

void ContactRadius(double *radius, const double *args, const int32_t *numargs, const int32_t *cdflag) {
    const int32_t flag = *cdflag;
    *radius = kAbsentReal;
    if (flag < 0 || flag > 6) return;
    if (!enough(*numargs, flag <= 4 ? 3 : 4, "Warning: Too few arguments in ContactRadius.")) return;
    if (flag <= 4)
        *radius = std::pow(3.0 * args[0] * args[2] / (4.0 * args[1]), 1.0 / 3.0);
    else
        *radius = std::sqrt(4.0 * args[0] * args[2] / (kPi * args[3] * args[1]));
}

void ContactDepth(double *indentation, const double *args, const int32_t *numargs, const int32_t *cdflag) {
    const int32_t flag = *cdflag;
    *indentation = kAbsentReal;
    if (flag < 0 || flag > 2) return;
    if (!enough(*numargs, flag <= 1 ? 3 : 4, "Warning: Too few arguments in ContactDepth.")) return;
    if (flag == 0)
        *indentation = std::pow(9.0 * args[0] * args[0] / (16.0 * args[1] * args[2] * args[2]), 1.0 / 3.0);
    else if (flag == 1)
        *indentation = args[0] / (2.0 * args[1] * args[2]);
    else
        *indentation = kPi * args[3] / 2.0;
}

void ContactLaw(double *fx, double *dfx, const double *xold, const double *args, const int32_t *numargs,
                const int32_t *clflag) {
    const auto a = [args](int i) { return args[i - 1]; };
    if (static_cast<uint32_t>(*clflag) > 2u) {
        unknown("Unknown contact law flag");
    } else if (enough(*numargs, 7, "Warning: Too few arguments in ContactLaw.")) {
        const double x = *xold;
        double k = a(1);
        if (*clflag == 1) {
            // The stiffness from the samples: forces a(8..7+m), stiffnesses a(8+m..7+2m).
            const int32_t m = (*numargs - 7) / 2, one = 1;
            double sampled = 0.0;
            kestro::math::cubichermitianinterpolation(&sampled, args + 7, &m, args + 7 + m, &x, &one);
            if (sampled > 0.0) k = sampled;
        }
        const double c = std::abs(a(3) + a(5)), n = a(6);
        const double d = a(2) - a(4) - a(7) - x * c;
        // d^(n-1) = d^n / d: one power and one division, except at d = 0.
        const double power = std::pow(d, n);
        *fx = k * power - x;
        *dfx = -k * n * c * (d != 0.0 ? power / d : std::pow(d, n - 1.0)) - 1.0;
    }
    if (std::isnan(*fx)) *fx = 0.0;
    if (std::isnan(*dfx)) *dfx = -1.0;
}

void ContactArea(double *dprops, const double *coord, const int32_t *noel, const int32_t *nimp,
                 const double *elemlength) {
    double l1 = -1.0, l2 = -1.0;
    if (elemlength != nullptr) {
        l1 = elemlength[0];
        l2 = elemlength[1] == 0.0 ? l1 : elemlength[1];
    }
    const double straight = 0.0;
    const int32_t three = 3;
    using namespace kestro::elements;
    for (int32_t i = 0; i < *nimp; ++i) {
        double *p = dprops + kLoadRows * static_cast<int64_t>(i);
        const double d = EffectiveArcLength(coord, p + 1, &straight, &three);
        if (distance_unset(p, nearest)) {
            p[5] = d;
        } else if (d < p[5]) {
            p[5] = d;
            p[4] = *noel;
            if (l1 != -1.0 && l2 != -1.0) {
                p[7] = p[9] = l1 / 2.0;
                p[8] = p[10] = l2 / 2.0;
            }
        }
    }
}

double GetHugonoitElasticLimit(const double *yc, const double *nu) {
    const double denominator = 1.0 - 2.0 * *nu;
    return (1.0 - *nu) * *yc / (denominator * denominator);
}

void PITanSunLinear(double *a0, const double *amax, const double *acr, const double *ksc) {
    *a0 = *amax > *acr ? (*amax - *acr) * *ksc : 0.0;
}

void PITanSunNonLinear(double *a0, const double *amax, const double *acr) {
    *a0 = *amax > *acr ? *amax * (1.0 - std::pow(*acr / *amax, 0.4)) : 0.0;
}

void PISuresh(double *a0, double *a1, const double *amax, const double *acr, const double *kcce,
              const kestro_logical1 *lbnds, const kestro_logical1 *llesscrit) {
    *a1 = -1.0;
    const bool beyond = *llesscrit != 0 && *amax > *acr;
    if (*lbnds != 0) {
        if (!beyond) {
            *a0 = *a1 = 0.0;
        } else {
            *a1 = *amax - *acr;
            *a0 = 0.33299999999999996 * *a1;
        }
    } else {
        *a0 = beyond ? (*amax - *acr) * (1.0 - *kcce) : 0.0;
    }
}

void PIAirbus(double *a0, const double *tges, const double *delarea) {
    *a0 = 0.0009 * *delarea * std::pow(*tges, -0.81);
}

}  // extern "C"
