// The two-node truss of the solver's user elements, on values.  Every truss
// element uses one layout whatever its caller's counts say: nodes 1 and 2 with
// coordinates x, y, z and three translations each, six freedoms, a 2 x 6
// transformation and 6 x 6 element matrices.  uel_truss and vuel_truss are
// thin faces over the functions below, and the impactor elements call the
// same functions with the impactor's negligible section.
#pragma once

#include <array>
#include <cstdint>

#include "decl/toplevel.hpp"

namespace kestro::solver {

inline constexpr int kTrussFreedoms = 6;

// props(1:3) of a truss: Young's modulus, density, cross-section area.
struct TrussSection {
    double modulus, density, area;
};

// The truss of the impactor elements: negligible stiffness and mass.
inline constexpr TrussSection kImpactorTruss{1e-20, 1e-20, 0.001};

// The arrays of one implicit element call (the implicit user-element list)
// with the counts that bound every access: freedoms to min(ndofel, 6), rhs
// rows to min(mlvarx, 6), rhs and du columns to nrhs, svars to nsvars, loads
// to min(ndload, mdload) (column 1 of jdltyp, adlmag, ddlmag).
struct ImplicitTrussCall {
    double *rhs, *amatrx, *svars, *energy;
    int32_t ndofel, nrhs, nsvars, mlvarx;
    const double *coords;
    int32_t mcrd, nnode;
    const double *u, *du, *v, *a;
    double dtime;
    int32_t jelem;         // the element's number, for the error record
    const double *params;  // alpha, beta, gamma of the HHT procedure
    const int32_t *jdltyp;
    const double *adlmag, *ddlmag;
    int32_t ndload, mdload;
    const int32_t *lflags;
};

// The call as the implicit user-element list passes it (uel_truss, and the
// implicit impactor, which takes the same list).
inline ImplicitTrussCall implicit_truss_call(double *rhs, double *amatrx, double *svars, double *energy,
                                             const int32_t *ndofel, const int32_t *nrhs, const int32_t *nsvars,
                                             const double *coords, const int32_t *mcrd, const int32_t *nnode,
                                             const double *u, const double *du, const double *v, const double *a,
                                             const double *dtime, const int32_t *jelem, const double *params,
                                             const int32_t *ndload, const int32_t *jdltyp, const double *adlmag,
                                             const int32_t *lflags, const int32_t *mlvarx, const double *ddlmag,
                                             const int32_t *mdload) noexcept {
    return {rhs, amatrx, svars,  energy, *ndofel, *nrhs,   *nsvars, *mlvarx, coords,  *mcrd,   *nnode,  u,
            du,  v,      a,      *dtime, *jelem,  params,  jdltyp,  adlmag,  ddlmag, *ndload, *mdload, lflags};
}

// Length, axis and motion of an implicit element: the length and the axis
// from node 1 to node 2 (te = [[axis, 0], [0, axis]]), the local displacements
// ue = te u and the local increments due[k] = te du(:, k + 1) of the first two
// columns (freedoms beyond ndofel, rows beyond mlvarx and columns beyond nrhs
// 0).  implicit_truss reads the increments it needs from du itself.
struct TrussMotion {
    double length;
    double axis[3];
    double ue[2];
    double due[2][2];
};

// Whether coordinates of this many rows (or per element) and nodes hold the
// layout; when not, records -3 "Error: Truss element needs two nodes with
// three coordinates." and returns false.
bool truss_layout_holds(int32_t ncoords, int32_t nnodes) noexcept;

// The motion of the call; false (see truss_layout_holds) when coords holds
// fewer than 3 rows or 2 nodes.
bool implicit_truss_motion(TrussMotion &motion, const ImplicitTrussCall &call) noexcept;

// The implicit truss of `section` on the call: rhs, amatrx, svars and energy
// by lflags (the procedure in lflags(1), the kind of call in lflags(3), a
// perturbation step in lflags(4)).  The perturbation quantities clear the
// first `own_states` state variables (the truss's own, or all of them) before
// they store the load.  A truss of zero length in coords gets zero rhs and
// amatrx and nothing else; one with a value that is not finite computes on and
// gives NaN.  Both record -2 with the element's number.
void implicit_truss(const ImplicitTrussCall &call, const TrussSection &section, const TrussMotion &motion,
                    int64_t own_states) noexcept;

// The state variables of the truss itself: the internal-force vectors of the
// last two dynamic increments.
inline constexpr int kTrussStates = 2 * kTrussFreedoms;

// The arrays of one explicit call (the explicit user-element list) for a block
// of nblock elements, the element index first in every per-element array.
struct ExplicitTrussBlock {
    int32_t nblock;
    double *rhs, *amass, *dtimestable, *svars, *energy;
    int32_t nsvars, nnode, ndofel, ncrd;
    const double *coords, *u;
    const int32_t *jelem;   // the elements' numbers, for the error record
    const int32_t *lflags;  // 17 explicit dynamic; the pass in lflags(2)
    int32_t jdltyp;
    const double *adlmag;
};

// Reference length and te (2 x 6) of element k (0-based) of the block, and
// its local displacements ue = te u(k, :) (freedoms beyond ndofel 0).
void explicit_truss_axis(double &length, double *te, const ExplicitTrussBlock &block, int64_t k) noexcept;
void explicit_truss_local(double *ue, const double *te, const ExplicitTrussBlock &block, int64_t k) noexcept;

// The explicit truss of `section` on every element of the block, whose
// coordinates hold the layout (truss_layout_holds(ncrd, nnode)).  An element
// of zero length in coords gets zero rhs (and in the force pass the largest
// double as its stable increment) and nothing else; a current length that
// reaches 0 is replaced by 2.220446049250313e-16.  A value that is not finite
// gives NaN.  Both record -2 with the element's number.
void explicit_truss(const ExplicitTrussBlock &block, const TrussSection &section) noexcept;

// ---- The impactor elements: their properties, the contact-stiffness vector
// built from them, and the columns of their state variables.

// Entries (1-based) of an impactor element's props.
enum ImpactorProp : int {
    impactor_modulus = 1,    // impacte
    impactor_poisson = 2,    // impactnu
    ply_modulus_33 = 3,      // topplye33 of the struck top ply
    ply_poisson_12 = 4,      // topplynu12
    impact_energy = 5,       //
    impactor_mass = 6,       //
    impactor_radius_r1 = 7,  // impactr1
    impactor_r2 = 8,         // impactr2: twice it is the contact length of the radius law
    surface_curvature_x = 9, //
    surface_curvature_y = 10,
    start = 11,              // > 0: idle time ti0; < 0: start gap d0
    critical_indentation = 12,  // acr of the Tan-Sun law
    scheme_weight = 13,      // explicit: velocity weight of scheme -2
};

// Entries (1-based) of the integer properties.
enum ImpactorFlag : int {
    force_mode = 1,          // irfflag
    stiffness_flag = 2,      // icsflag of ContactStiffness and ContactRadius
    contact_law_flag = 3,    // iclflag (implicit impactor)
    scheme_choice = 4,       // explicit: not 1 selects scheme -2
};

// Columns (1-based) of an impactor element's state variables.
enum ImpactorState : int {
    gravity_copy = 13,          // the impactor's acceleration at the initialization step
    structure_compliance = 14,  // 0 at the initialization step
    last_stretch = 15,          // relative axial displacement at the last stored evaluation
    stretch = 16,               // relative axial displacement of this call
    element_largest_force = 17, // running maximum of this element's contact force
    table_compliance = 19,      // implicit: the structure's compliance at this time increment
    impactor_number = 20,       // implicit: the impactor's column of csvars
    compliance_table = 21,      // implicit: n time increments (descending), then n responses
};
// Columns the impactor elements need; 14 to 18 start at 0 in the initialization step.
inline constexpr int kImpactorStates = 18;
inline constexpr int kImplicitImpactorStates = 20;

inline constexpr int kContactProps = 14;

// csprops: props(7), props(8), props(1), props(2), props(9), props(10),
// props(3), props(4), then six zeros (exponent, largest force, largest
// indentation, permanent indentation, force sample, spare).
inline std::array<double, kContactProps> contact_stiffness_props(const double *props) noexcept {
    const auto p = [props](int i) { return props[i - 1]; };
    return {p(impactor_radius_r1), p(impactor_r2), p(impactor_modulus), p(impactor_poisson),
            p(surface_curvature_x), p(surface_curvature_y), p(ply_modulus_33), p(ply_poisson_12),
            0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
}

// The initialization step of an impactor: its column of cprops takes the
// start position min(props(11), 0), mass, radius, second dimension and the
// start velocity sqrt(2 props(5) / props(6)), which is returned.
double start_impactor(double *cprops, const double *props) noexcept;

// The radius (by icsflag) and the Hertz depth of the contact force f for the
// effective modulus eeff.
double radius_at(double f, double eeff, const double *props, int32_t icsflag) noexcept;
double depth_at(double f, double eeff, const double *props) noexcept;

// The Tan-Sun law of an impactor whose rebound mark is set: the permanent
// indentation a0 after the largest indentation cprops(15), the exponent 2.5
// when the largest force cprops(14) is this element's own peak (unloading),
// else 1.5 (reloading), and the power-law stiffness cprops(14) / (cprops(15)
// - a0)^n.  csprops(9) and (12) take the exponent and a0; csprops(10, 11)
// must hold cprops(14, 15).  The power law gives no modulus: radius and depth
// keep the one of the icsflag stiffness.
struct ReboundLaw {
    double stiffness, permanent, exponent;
};
ReboundLaw rebound_law(std::array<double, kContactProps> &csprops, const double *cprops, const double *props,
                       double element_largest_force) noexcept;

}  // namespace kestro::solver
