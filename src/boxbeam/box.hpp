// The box-beam cross-section analysis: the working state of one analysis of
// the section that the box-beam modules describe, and its stages.
#pragma once

#include <cstdint>
#include <initializer_list>
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

// A factored flow system: rows 1..unknowns+1 of a section, columns 1..unknowns.
struct System {
    Elimination elimination;
    int32_t unknowns = 0, status = 0;  // status: the step at which the elimination stopped, or 0
    // Rows 1..n+1, columns 1..n: the walls in the section's wall_order when
    // it has one (the twist, column kw + 1, last) and that elimination
    // leaves every unknown a pivot; else, as for a section without one, in
    // the order of their numbers.
    void factor(const Section &s, int32_t n);
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
    // The order in which the flow systems take the walls, when their own
    // numbering would spread the rows far wider (see wall_order() in
    // box_flows.cpp); empty for the order of their numbers.
    std::vector<int32_t> wall_order;

    // The loads; my and mz become the principal moments.
    double qx = 0, qy = 0, qz = 0, mx = 0, my = 0, mz = 0;
    // The principal directions.
    double sina = 0, cosa = 1, sin2 = 0, cos2 = 1, sin2al = 0, cos2al = 1;
    // Mass moments about the stiffness centre, reference axes.
    double iyyd = 0, izyd = 0, izzd = 0;
    // The load term of the moment row; the principal shear forces; the torque
    // about the shear centre.
    double rmx = 0, qy_star = 0, qz_star = 0, mxs = 0;
    // The closed section's system (start flows and twist), which the unit
    // torque shares.
    System closed;

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
// Solves a factored system for a load column (the negative right-hand side
// by row) into x and prints the solutions and the residuals of rows
// 1..residual_rows; false, recorded, when it cannot be solved, leaves an
// unknown free, or gives values that are not finite.
bool solve_system(const Section &s, const Report &report, const System &system, int32_t residual_rows,
                  const std::vector<double> &load, std::vector<double> &x);

// The equivalent nodal forces of walls 1..walls on the report.
void nodal_forces(int32_t walls, const Report &report);

}  // namespace kestro::boxbeam
