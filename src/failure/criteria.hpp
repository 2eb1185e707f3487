// The failure criteria as C++ functions on values: a stress and strengths in,
// the exposure (and for the fracture-plane criteria the angle of the worst
// plane) out.  The C names of module failure are shims over these, and the
// drivers and material entries call them directly.  Stresses in Nye order;
// strengths positive.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "failure/plane_search.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::failure {

// A ply stress by name (Nye order 11, 22, 33, 12, 13, 23).
struct Stress {
    double s11, s22, s33, s12, s13, s23;

    static Stress of(const double *nye) {
        return {nye[ply::N11], nye[ply::N22], nye[ply::N33], nye[ply::N12], nye[ply::N13], nye[ply::N23]};
    }
};

// The stresses a fracture plane parallel to the fibres sees.
struct Transverse {
    double s22, s33, s12, s13, s23;
};

inline Transverse transverse(const Stress &s) { return {s.s22, s.s33, s.s12, s.s13, s.s23}; }

inline bool finite(const Transverse &s) {
    return std::isfinite(s.s22) && std::isfinite(s.s33) && std::isfinite(s.s12) && std::isfinite(s.s13) &&
           std::isfinite(s.s23);
}
inline bool finite(const Stress &s) { return std::isfinite(s.s11) && finite(transverse(s)); }

// Records -2 "Warning: <what> in <routine>".
[[gnu::cold]] void warn(std::string_view what, std::string_view routine) noexcept;
// Records -2 "Warning: Non-finite stress in <routine>" and gives NaN.
[[gnu::cold]] double non_finite(std::string_view routine) noexcept;

// An exposure and, for a fracture-plane criterion, the angle of its worst
// plane in degrees.
struct Exposure {
    double r, angle;
};

// A scan of step_degrees (5 where it is not a positive number), refined when
// asked.  A step below 0.01 degrees (more than 18,000 scan points) is taken as
// 0.01 degrees and records -2 "Warning: Scan step too small in <routine>".
Search search(double step_degrees, bool golden, const char *routine);
// The fracture angle under pure transverse compression, degrees: a0 inside
// (0, 90), else 53.
double compression_angle(double a0);

// |s / X|, X = xt for s > 0, else xc.
double max_nominal(double s, double xt, double xc);
// sqrt((s1 / x1)^2 + (s2 / x2)^2 + (s3 / x3)^2).
double quad_nominal(double s1, double s2, double s3, double x1, double x2, double x3);

// The resin cones through xt and -xc of a 6-component stress.
struct Resin {
    double d, di1;
};
Resin drucker_prager(const double *stress, double xt, double xc);
double raghava(const double *stress, double xt, double xc);
struct Ha {
    double d, di1, dmises, i1cr, misescr;
};
Ha ha(const double *stress, double xt, double xc, double np);

// The criteria give NaN (and record nothing) for a stress that is not finite;
// the C faces and the drivers record it.

// LaRC05 fibre failure with the in-situ strengths x_is (strength order; Yc
// is its Xc22); records the warning of a law without a kink angle and gives 0.
// At s11 = -g12, where the linear-shear angle has no denominator, the limit
// from s11 = -g12 (1 - 1e-12).
double larc05_fibre(const Stress &s, double xt11, double xc11, double xt22, double x23, double x12, double g12,
                    double a0, const Search &search, ply::Strengths x_is);

// Matrix cracking on the worst fracture plane.
Exposure larc05_matrix(const Transverse &s, double xt22, double xc22, double x12, double a0, const Search &search);
// gp: the inclinations (p_perp-par+, p_perp-par-, p_perp-perp+, p_perp-perp-).
Exposure puck(const Transverse &s, double xt22, double xc22, double x12, const double *gp, const Search &search);
Exposure camanho(const Transverse &s, double xt22, double xc22, double x12, double x23, double a0,
                 const Search &search);
Exposure wiegand(const Transverse &s, double xt22, double xc22, double x12, double a0, const Search &search);

// The inclinations Puck's criterion takes when none are given.
inline constexpr double kPuckInclinations[4] = {0.3, 0.2, 0.15, 0.15};

}  // namespace kestro::failure
