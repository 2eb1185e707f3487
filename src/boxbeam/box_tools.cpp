#include "boxbeam/box_tools.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "decl/boxtools.hpp"

namespace kestro::boxbeam {

namespace {

// The first entry at or after `from` whose column is not below `column`:
// a short scan over a few entries, a binary search over many.
SparseRow::iterator find_column(SparseRow &row, SparseRow::iterator from, int32_t column) {
    for (int probe = 0; probe < 8; ++probe, ++from)
        if (from == row.end() || from->column >= column) return from;
    return std::lower_bound(from, row.end(), column, [](const Entry &e, int32_t c) { return e.column < c; });
}

}  // namespace

double value_at(const SparseRow &row, int32_t column) {
    const auto it =
        std::lower_bound(row.begin(), row.end(), column, [](const Entry &e, int32_t c) { return e.column < c; });
    return it != row.end() && it->column == column ? it->value : 0.0;
}

void add_at(SparseRow &row, int32_t column, double value) {
    const auto it = find_column(row, row.begin(), column);
    if (it != row.end() && it->column == column)
        it->value += value;
    else
        row.insert(it, {column, value});
}

int32_t Elimination::factor(const std::vector<SparseRow> &rows, int32_t n, double eps) {
    n_ = n;
    eps_ = eps;
    const auto m = static_cast<std::size_t>(n + 1);
    rows_.resize(std::max(rows_.size(), m));
    for (std::size_t r = 0; r < m; ++r) {
        if (r < rows.size())
            rows_[r].assign(rows[r].begin(), rows[r].end());
        else
            rows_[r].clear();
    }
    ip_.resize(m);
    std::iota(ip_.begin(), ip_.end(), 0);
    position_ = ip_;
    multipliers_.clear();
    step_start_.assign(static_cast<std::size_t>(std::max(n, 1)) + 1, 0);
    // The rows holding an entry in each column (zeros too: they may fill); fill-in is appended.
    in_column_.resize(std::max(in_column_.size(), static_cast<std::size_t>(n + 1)));
    for (std::size_t c = 0; c <= static_cast<std::size_t>(n); ++c) in_column_[c].clear();
    for (std::size_t r = 0; r < m; ++r)
        for (const Entry &e : rows_[r])
            if (e.column >= 1 && e.column <= n)
                in_column_[static_cast<std::size_t>(e.column)].push_back(static_cast<int32_t>(r));
    pivoted_.assign(m, 0);
    // Per row, the index of its first entry not left of the current column:
    // columns only grow, and fill-in lands right of it.
    cursor_.assign(m, 0);
    const auto at_column = [this](std::size_t r, int32_t i) {
        SparseRow &row = rows_[r];
        auto it = find_column(row, row.begin() + static_cast<std::ptrdiff_t>(cursor_[r]), i);
        cursor_[r] = static_cast<std::size_t>(it - row.begin());
        return it;
    };
    const auto value = [&](std::size_t r, int32_t i) {
        const auto it = at_column(r, i);
        return it != rows_[r].end() && it->column == i ? it->value : 0.0;
    };
    for (int32_t i = 1; i <= n - 1; ++i) {
        step_start_[static_cast<std::size_t>(i)] = multipliers_.size();
        const std::vector<int32_t> &candidates = in_column_[static_cast<std::size_t>(i)];
        // The largest magnitude in column i, the first position among equals.
        int32_t best = i - 1;
        double largest = std::abs(value(static_cast<std::size_t>(ip_[static_cast<std::size_t>(best)]), i));
        for (int32_t r : candidates) {
            if (pivoted_[static_cast<std::size_t>(r)]) continue;
            const double v = std::abs(value(static_cast<std::size_t>(r), i));
            const int32_t k = position_[static_cast<std::size_t>(r)];
            if (v > largest || (v == largest && k < best)) {
                largest = v;
                best = k;
            }
        }
        std::swap(ip_[static_cast<std::size_t>(i - 1)], ip_[static_cast<std::size_t>(best)]);
        position_[static_cast<std::size_t>(ip_[static_cast<std::size_t>(i - 1)])] = i - 1;
        position_[static_cast<std::size_t>(ip_[static_cast<std::size_t>(best)])] = best;
        const auto p = static_cast<std::size_t>(ip_[static_cast<std::size_t>(i - 1)]);
        const double pivot = value(p, i);
        if (std::abs(pivot) <= eps) return i;
        pivoted_[p] = 1;
        const double reciprocal = 1.0 / pivot;
        const SparseRow &pivot_row = rows_[p];
        const auto tail = std::upper_bound(pivot_row.begin(), pivot_row.end(), i,
                                           [](int32_t c, const Entry &e) { return c < e.column; });
        const auto tail_end =
            std::upper_bound(tail, pivot_row.end(), n, [](int32_t c, const Entry &e) { return c < e.column; });
        // Fill-in appends to the lists of later columns only, so this one stays put.
        for (std::size_t q = 0; q < candidates.size(); ++q) {
            const int32_t r = candidates[q];
            if (pivoted_[static_cast<std::size_t>(r)]) continue;
            SparseRow &row = rows_[static_cast<std::size_t>(r)];
            auto at = at_column(static_cast<std::size_t>(r), i);
            if (at == row.end() || at->column != i || at->value == 0.0) continue;
            const double f = at->value * reciprocal;
            at->value = f;  // the multiplier stays in the eliminated column
            multipliers_.push_back({r, f});
            auto from = at + 1;
            for (auto u = tail; u != tail_end; ++u) {
                if (u->value == 0.0) continue;
                from = find_column(row, from, u->column);
                if (from != row.end() && from->column == u->column) {
                    from->value -= u->value * f;
                } else {
                    from = row.insert(from, {u->column, 0.0 - u->value * f});
                    in_column_[static_cast<std::size_t>(u->column)].push_back(r);
                }
                ++from;
            }
        }
    }
    step_start_.back() = multipliers_.size();
    return 0;
}

int32_t Elimination::solve(const double *b, double *x) const {
    const int32_t n = n_;
    std::vector<double> &w = w_;
    w.assign(b, b + n + 1);
    for (int32_t i = 1; i <= n - 1; ++i) {
        const double d = w[static_cast<std::size_t>(ip_[static_cast<std::size_t>(i - 1)])];
        const std::size_t end = i + 1 <= n - 1 ? step_start_[static_cast<std::size_t>(i + 1)] : multipliers_.size();
        for (std::size_t q = step_start_[static_cast<std::size_t>(i)]; q < end; ++q)
            w[static_cast<std::size_t>(multipliers_[q].row)] -= multipliers_[q].factor * d;
    }
    // The last unknown from the larger of the two remaining rows; the other is redundant.
    const auto r1 = static_cast<std::size_t>(ip_[static_cast<std::size_t>(n - 1)]),
               r2 = static_cast<std::size_t>(ip_[static_cast<std::size_t>(n)]);
    const double a1 = value_at(rows_[r1], n), a2 = value_at(rows_[r2], n);
    const bool second = std::abs(a2) > std::abs(a1);
    const std::size_t r = second ? r2 : r1;
    const double a = second ? a2 : a1;
    if (std::abs(a) > eps_) {
        x[n - 1] = w[r] / a;
    } else if (std::abs(w[r]) > eps_) {
        return second ? n + 1 : n;
    } else {
        x[n - 1] = 1.0;
    }
    for (int32_t i = n - 1; i >= 1; --i) {
        const SparseRow &row = rows_[static_cast<std::size_t>(ip_[static_cast<std::size_t>(i - 1)])];
        double sum = 0.0;
        for (const Entry &e : row)
            if (e.column > i && e.column <= n) sum += e.value * x[e.column - 1];
        x[i - 1] = (w[static_cast<std::size_t>(ip_[static_cast<std::size_t>(i - 1)])] - sum) / value_at(row, i);
    }
    return 0;
}

double qvskpx(const double *a, const double *b, int64_t n, int64_t la, int64_t lb) {
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) sum += a[i * la] * b[i * lb];
    return sum;
}

}  // namespace kestro::boxbeam

extern "C" double QVSKPX(const double *a, const double *b, const int32_t *n, const int32_t *la, const int32_t *lb) {
    return kestro::boxbeam::qvskpx(a, b, *n, *la, *lb);
}

extern "C" void TVERT(double *a, const int32_t *n, const int32_t *kl, const double *eps, const double *b, int32_t *ip,
                      double *x, int32_t *ifail) {
    using namespace kestro::boxbeam;
    *ifail = 0;
    if (*n < 1) return;
    const int32_t size = *n;
    const int64_t ld = *kl;
    std::vector<SparseRow> rows(static_cast<std::size_t>(size + 1));
    for (int32_t r = 0; r <= size; ++r)
        for (int32_t c = 1; c <= size; ++c)
            if (const double v = a[(c - 1) * ld + r]; v != 0.0) rows[static_cast<std::size_t>(r)].push_back({c, v});
    Elimination elimination;
    int32_t status = elimination.factor(rows, size, *eps);
    if (status == 0) status = elimination.solve(b, x);
    for (int32_t r = 0; r <= size; ++r) {
        ip[r] = elimination.order()[static_cast<std::size_t>(r)] + 1;
        for (const Entry &e : elimination.rows()[static_cast<std::size_t>(r)]) a[(e.column - 1) * ld + r] = e.value;
    }
    *ifail = status;
}
