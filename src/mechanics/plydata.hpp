// The names of a ply's data, in the orders the material card stores them and
// every routine reads them: the component orders of stresses and strains,
// the nine ply constants, the strengths and the degradation factors.  This is
// the one place that spells these orders; the readers (the material card),
// the laws, the criteria and drivers, degradation, fatigue and damage take
// their offsets from here.  The absent-value marker is kestro::kAbsentReal
// (core/markers.hpp).
#pragma once

#include <cstdint>

#include "core/markers.hpp"

namespace kestro::ply {

// Stress and strain components: Nye order (the library's own) 11, 22, 33,
// 12, 13, 23; Voigt order 11, 22, 33, 23, 13, 12; the explicit solvers'
// cyclic order 11, 22, 33, 12, 23, 13.
enum Nye : int { N11, N22, N33, N12, N13, N23 };
enum Voigt : int { V11, V22, V33, V23, V13, V12 };
enum Cyclic : int { C11, C22, C33, C12, C23, C13 };
// The cyclic order in Nye components: position k of a cyclic vector holds
// Nye component kNyeOfCyclic[k] (the explicit and ANSYS solvers' order).
inline constexpr Nye kNyeOfCyclic[6] = {N11, N22, N33, N12, N23, N13};

// The ply constants (nyeprops; entries 1 to 9 of each temperature slot of
// peprops).
enum Constant : int { E1, E2, E3, Nu12, Nu13, Nu23, G12, G13, G23 };
inline constexpr int kConstants = 9;

// The strengths (psprops), all positive: tension and compression along the
// axes, the shear strengths and the interlaminar shear strength.
enum Strength : int { Xt11, Xt22, Xt33, Xc11, Xc22, Xc33, S12, S13, S23, Ilss };
inline constexpr int kStrengths = 10;
// The strengths that bound one stress component each (all but Ilss).
inline constexpr int kDirections = 9;
// The Nye component each of them bounds.
inline constexpr Nye kStrengthComponent[kDirections] = {N11, N22, N33, N11, N22, N33, N12, N13, N23};

// Degradation factors: one per ply constant, in the constants' order.
using Factor = Constant;
inline constexpr int kFactors = kConstants;

// The moduli among the constants, normal then shear.
inline constexpr Constant kModuli[6] = {E1, E2, E3, G12, G13, G23};

// The nine constants of a ply as values.
struct Constants {
    double e1, e2, e3, nu12, nu13, nu23, g12, g13, g23;

    static Constants of(const double *nyeprops) {
        return {nyeprops[E1],   nyeprops[E2],  nyeprops[E3],  nyeprops[Nu12], nyeprops[Nu13],
                nyeprops[Nu23], nyeprops[G12], nyeprops[G13], nyeprops[G23]};
    }
    void store(double *nyeprops) const {
        const double values[kConstants] = {e1, e2, e3, nu12, nu13, nu23, g12, g13, g23};
        for (int k = 0; k < kConstants; ++k) nyeprops[k] = values[k];
    }
};

// A ply's strengths: a named view over its column of psprops, or over any
// array in that order (only the entries read are touched).
struct Strengths {
    const double *x;

    double operator[](Strength k) const { return x[k]; }
};

}  // namespace kestro::ply
