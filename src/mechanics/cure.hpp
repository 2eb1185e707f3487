// Cure kinetics of a thermoset resin: the rate of the curing reaction, an
// autocatalytic law with two Arrhenius terms, and the degree of cure after a
// time step by backward Euler.  No allocation; the curing hooks call these at
// every integration point.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

namespace kestro::cure {

inline constexpr double kGasConstant = 8.314462618;  // J / (mol K)

// The law at one temperature: rate = (k1 + k2 alpha^m) (degmax - alpha)^n
// for alpha below degmax, else 0, with k1 = A1 exp(-E1 / (R T)) and
// k2 = A2 exp(-E2 / (R T)).
struct Kinetics {
    double k1, k2, m, n;

    double rate(double degree, double degmax) const {
        if (!(degree < degmax)) return 0.0;
        return (k1 + k2 * std::pow(degree, m)) * std::pow(degmax - degree, n);
    }
};

// The law of the coefficients (A1, E1, A2, E2, m, n), the first six of
// curvefit(1:nc) before its first absent value, at temperature T (K).  With
// fewer, records -2 with `too_few` and gives the law of rate 0.
Kinetics kinetics(const double *curvefit, int32_t nc, double temperature, std::string_view too_few) noexcept;

// The degree of cure after a time step and the rate there.
struct Step {
    double degree, rate;
};

// The backward-Euler step from degree0: the fixed-point passes alpha <-
// min(degmax, degree0 + timestep rate(alpha)) until a pass moves alpha by no
// more than 1e-10 degmax (at most 100), else the bisection root of alpha - degree0 -
// timestep rate(alpha) between degree0 and degmax; without a root the last
// pass, with -1 recorded.
Step step(const Kinetics &law, double degree0, double timestep, double degmax) noexcept;

}  // namespace kestro::cure
