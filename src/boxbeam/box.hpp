// The box-beam cross-section analysis: the working state of one analysis of
// the section that the box-beam modules describe, and its stages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

// Work data of one analysis, sized by the counts in use.
struct Section {
    int32_t ig = 0, kw = 0, az = 0;
    int64_t maxw = 1, maxg = 1, maxz = 1;
    int64_t ld = 3;  // row stride of c and cc: maxz + maxg + 1

    // Per wall.
    std::vector<double> lk, skyk, skzk, sstyk, sstzk, deltyk, deltzk, fstsym, fstszm, ruk, truyk, truzk, ddqyk, ddqzk;
    // Incidence lists: per cap the walls ending (ial) and starting (ibet) there,
    // per cell the walls along (iala) and against (ibeta) its loop; entry 1 of
    // each column holds the position of its last entry.
    std::vector<int32_t> ial, ibet, iala, ibeta;
    int64_t cell_list_rows = 2;
    // The flow systems.
    std::vector<double> c, cc, rv, zfa, scale;
    std::vector<int32_t> irv;

    // The loads; my and mz become the principal moments.
    double qx = 0, qy = 0, qz = 0, mx = 0, my = 0, mz = 0;
    // The principal directions.
    double sina = 0, cosa = 1, sin2 = 0, cos2 = 1, sin2al = 0, cos2al = 1;
    // Mass moments about the stiffness centre, reference axes.
    double iyyd = 0, izyd = 0, izzd = 0;
    // The load term of the moment row.
    double rmx = 0;

    // Sizes every work array for the counts.
    Section(int32_t caps, int32_t walls, int32_t cells, int32_t largest_cell);

    double &c_at(int64_t row, int64_t column) { return c[static_cast<std::size_t>((column - 1) * ld + row - 1)]; }
};

// The section properties, cap strains and longitudinal flows; false when the
// section has no axial or principal bending stiffness (refused).
bool section_properties(Section &s, const Report &report);

}  // namespace kestro::boxbeam
