// The elimination of the box-beam flow systems: n unknowns from n + 1 linear
// equations of which one is redundant, by row exchange through a permutation
// (TVERT).  The rows are sparse, so that the pivot search, the multipliers,
// the fill-in and both substitutions touch only nonzero entries; the results
// are those of the dense elimination up to the sign of zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestro::boxbeam {

struct Entry {
    int32_t column;  // 1-based
    double value;
};
// A matrix row: its nonzero entries by ascending column.
using SparseRow = std::vector<Entry>;

// The value at a column of a row (0 where it holds none).
double value_at(const SparseRow &row, int32_t column);
// Adds to the value at a column, creating the entry.
void add_at(SparseRow &row, int32_t column, double value);

class Elimination {
public:
    // Eliminates a copy of rows[0..n] (columns 1..n; entries beyond n are
    // ignored): 0, or the step at which the pivot's magnitude was at most eps.
    int32_t factor(const std::vector<SparseRow> &rows, int32_t n, double eps);

    // The substitutions for the right-hand side b (n + 1 entries by row): 0
    // with the n unknowns in x (by column), or the position (n or n + 1) of
    // the row left for the last unknown when its pivot is at most eps and its
    // right-hand side is not (where both are, the last unknown is 1).
    int32_t solve(const double *b, double *x) const;

    // The row at each position (0-based), and the eliminated rows.
    const std::vector<int32_t> &order() const { return ip_; }
    const std::vector<SparseRow> &rows() const { return rows_; }

private:
    struct Multiplier {
        int32_t row;
        double factor;
    };
    std::vector<SparseRow> rows_;
    std::vector<int32_t> ip_, position_;
    std::vector<Multiplier> multipliers_;  // of every step in turn
    std::vector<std::size_t> step_start_;  // where each step's multipliers start
    std::vector<std::vector<int32_t>> in_column_;
    std::vector<char> pivoted_;
    std::vector<std::size_t> cursor_;
    mutable std::vector<double> w_;  // the substitutions' work
    int32_t n_ = 0;
    double eps_ = 0.0;
};

// The sum of a(1 + (i-1) la) b(1 + (i-1) lb) over i = 1..n; 0 when n <= 0.
double qvskpx(const double *a, const double *b, int64_t n, int64_t la, int64_t lb);

}  // namespace kestro::boxbeam
