// The cure kinetics (module lamina): CureRate and FuncDegree are faces of the
// law and the backward-Euler step of mechanics/cure.hpp.
#include "mechanics/cure.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "decl/lamina.hpp"

namespace kestro::cure {

Kinetics kinetics(const double *curvefit, int32_t nc, double temperature, std::string_view too_few) noexcept {
    double c[6];
    int32_t given = 0;
    while (given < 6 && given < nc && curvefit[given] != kAbsentReal) {
        c[given] = curvefit[given];
        ++given;
    }
    if (given < 6) {
        record_error(-2, too_few);
        return {0.0, 0.0, 0.0, 0.0};
    }
    const double rt = kGasConstant * temperature;
    return {c[0] * std::exp(-c[1] / rt), c[2] * std::exp(-c[3] / rt), c[4], c[5]};
}

Step step(const Kinetics &law, double degree0, double timestep, double degmax) noexcept {
    constexpr int kPasses = 100;
    // Settled once a pass moves the degree by no more than this part of degmax.
    const double settled = 1e-10 * degmax;
    Step s{degree0, law.rate(degree0, degmax)};
    for (int pass = 0; pass < kPasses; ++pass) {
        const double degree = std::min(degmax, degree0 + timestep * s.rate);
        const bool done = std::abs(degree - s.degree) <= settled;
        s = {degree, law.rate(degree, degmax)};
        if (done) return s;
    }
    // The passes oscillate (a step long against the reaction): bisect the
    // backward-Euler residual where it changes sign.
    const auto residual = [&](double degree) { return degree - degree0 - timestep * law.rate(degree, degmax); };
    double lo = std::min(degree0, degmax), hi = std::max(degree0, degmax);
    double rlo = residual(lo);
    const double rhi = residual(hi);
    if (!(rlo <= 0.0 && rhi >= 0.0) && !(rlo >= 0.0 && rhi <= 0.0)) {
        record_error(-1, "Warning: Degree of cure not settled in FuncDegree");
        return s;
    }
    if (rhi == 0.0) {
        lo = hi;
        rlo = 0.0;
    }
    constexpr int kHalvings = 200;  // the bracket down to 2^-200 of its width
    for (int halving = 0; halving < kHalvings && rlo != 0.0; ++halving) {
        const double mid = lo + 0.5 * (hi - lo);
        if (!(mid > lo && mid < hi)) break;
        const double r = residual(mid);
        if (r == 0.0 || (r < 0.0) == (rlo < 0.0)) {
            lo = mid;
            rlo = r;
        } else {
            hi = mid;
        }
    }
    return {lo, law.rate(lo, degmax)};
}

}  // namespace kestro::cure

extern "C" {

double CureRate(const double *curvefit, const double *t, const double *degree, const double *degmax,
                const int32_t *nc) {
    return kestro::cure::kinetics(curvefit, *nc, *t, "Warning: Too few properties in CureRate")
        .rate(*degree, *degmax);
}

double FuncDegree(const double *curvefit, const double *t, const double *degree0, const double *timestep,
                  const double *degmax, const int32_t *nc) {
    const kestro::cure::Kinetics law =
        kestro::cure::kinetics(curvefit, *nc, *t, "Warning: Too few properties in FuncDegree");
    return kestro::cure::step(law, *degree0, *timestep, *degmax).degree;
}

}  // extern "C"
