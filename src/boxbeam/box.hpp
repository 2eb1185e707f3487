// The box-beam cross-section analysis: the working state of one analysis of
// the section that the box-beam modules describe, and its stages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "boxbeam/box_tools.hpp"

namespace kestro::boxbeam {

class Report;

// Creates (or keeps, when their extents match) the box-beam arrays for nw
// walls, ng caps and nz cells, absent ones 100, and zeroes the counts, loads,
// results and data.
void initialize(const int32_t *nw, const int32_t *ng, const int32_t *nz);

// One analysis; false when it was refused (see refusal()).
bool get_equivalent_x_section();

// Records the refusal of the running analysis: the error with the integer
// context, and the message the Python form raises.  The first refusal of an
// analysis stands.
void refuse(int32_t code, const std::string &message, std::initializer_list<int32_t> context = {});

// The message of the last analysis when it was refused, else nullptr.
const char *refusal();

struct Section;

// The flow systems of a section, factored once per analysis and shared by
// the two unit-shear systems, the system of the load and the unit torque.
// Every one has, besides the cap and cell rows over the walls' start flows,
// one redundant row: the cap rows sum to zero, so the last is left out, and
// the rest form a square matrix, sparse but not symmetric, factored by a
// sparse LU in a fill-reducing order (box_solver.cpp).  A closed section's
// twist (column kw + 1, in the cell rows only) and its dense moment row
// border that matrix and are eliminated last, so that the moment row fills
// nothing.
class FlowSystems {
public:
    FlowSystems();
    ~FlowSystems();
    FlowSystems(const FlowSystems &) = delete;
    FlowSystems &operator=(const FlowSystems &) = delete;

    // Factors the cap and cell rows over the walls: 0, or the step of the
    // elimination at which the pivot's magnitude was at most 1e-30.
    int32_t factor(const Section &s);
    // After factor(), with the twist entries in the cell rows: the moment
    // row's pivot, 0 or step kw + 1 when its magnitude is at most 1e-30.
    int32_t factor_twist(const Section &s);
    // The start flows (and with_twist the twist, unknown kw + 1) for a load
    // column, the negative right-hand side by row: 0, or the step at which
    // the factorisation stopped.
    int32_t solve(const Section &s, const std::vector<double> &load, bool with_twist, std::vector<double> &x) const;

private:
    struct Factors;
    std::unique_ptr<Factors> factors_;
    int32_t status_ = 0, twist_status_ = 0;
};

// Work data of one analysis, sized by the counts in use.
struct Section {
    int32_t ig = 0, kw = 0, az = 0;

    // Per wall.
    std::vector<double> lk, skyk, skzk, sstyk, sstzk, deltyk, deltzk, fstsym, fstszm, ruk, truyk, truzk, ddqyk, ddqzk;
    // Per cap the walls ending (ial) and starting (ibet) there, per cell the
    // walls run along (iala) and against (ibeta) its loop, in the order found.
    std::vector<std::vector<int32_t>> ial, ibet, iala, ibeta;
    // The coefficient rows of the flow systems: caps 1..ig, cells ig+1..ig+az,
    // the moment row ig+az+1 (index row - 1); columns 1..kw the start flows,
    // kw+1 the twist.  Load columns are kept apart.
    std::vector<SparseRow> rows;
    std::vector<double> zfa, scale;  // per cell; scale has the moment row's last
    // The walls at each cap by ascending number: cap i's are
    // cap_walls[cap_first[i] .. cap_first[i + 1]).
    std::vector<int32_t> cap_first, cap_walls;
    std::vector<int32_t> scratch;

    // The loads; my and mz become the principal moments.
    double qx = 0, qy = 0, qz = 0, mx = 0, my = 0, mz = 0;
    // The principal directions.
    double sina = 0, cosa = 1, sin2 = 0, cos2 = 1, sin2al = 0, cos2al = 1;
    // Mass moments about the stiffness centre, reference axes.
    double iyyd = 0, izyd = 0, izzd = 0;
    // The load term of the moment row; the principal shear forces; the torque
    // about the shear centre.
    double rmx = 0, qy_star = 0, qz_star = 0, mxs = 0;
    FlowSystems flows;

    // Sizes every work array for the counts and clears it.  One Section
    // serves every analysis, so that its storage is allocated once.
    void reset(int32_t caps, int32_t walls, int32_t cells);

    int32_t moment_row() const { return ig + az + 1; }
    SparseRow &row(int32_t r) { return rows[static_cast<std::size_t>(r - 1)]; }
};

// The section properties, cap strains and longitudinal flows; false when the
// section has no axial or principal bending stiffness (refused).
bool section_properties(Section &s, const Report &report);

// The cell topology, the shear centre and the start flows of the load;
// false when the analysis stopped (refused, or a system that cannot be solved).
bool shear_flows(Section &s, Report &report);

// The shear flows and strains along the walls, the twist, the mass moments
// about the shear centre, the torsion stiffness and the nodal forces; false
// when the analysis stopped.
bool results(Section &s, Report &report);

// The control print of rows 1..rows (columns 1..columns, then the load).
void print_system(const Section &s, const Report &report, int32_t rows, int32_t columns,
                  const std::vector<double> &load);
// Solves the factored systems for a load column (the negative right-hand
// side by row) into x, the start flows and with_twist the twist, and prints
// the solutions and the residuals of rows 1..residual_rows; false, recorded,
// when they cannot be solved or give values that are not finite.
bool solve_system(const Section &s, const Report &report, bool with_twist, int32_t residual_rows,
                  const std::vector<double> &load, std::vector<double> &x);

// The equivalent nodal forces of walls 1..walls on the report.
void nodal_forces(int32_t walls, const Report &report);

}  // namespace kestro::boxbeam
