// The flow systems of the box beam by Eigen's sparse LU.  A closed section's
// system is the square matrix A of the cap and cell rows over the walls,
// bordered by the twist column t and the moment row m (whose twist entry is
// 0):
//     A x + t theta = f,   m . x = g,
// so that with z = A^-1 t the twist is theta = (m . A^-1 f - g) / (m . z) and
// x = A^-1 f - theta z: the moment row is eliminated last.
//
// The LU is that of A's transpose, in COLAMD's order of its columns (the
// equations), with partial pivoting among its rows (the walls, each in at
// most two cap and two cell equations).  A cell's row holds every wall of
// its loop, and a single cell of many walls is one dense row: chosen as a
// pivot row, it would fill every row it meets.  As a column of the
// transpose it is put last by COLAMD when it holds more than half the walls,
// and fills nothing.
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "boxbeam/box.hpp"

namespace kestro::boxbeam {

namespace {

// The pivot limit of the section's own elimination.
constexpr double kPivotLimit = 1e-30;

// The equation of a section row (1-based), 0-based: the caps but the last,
// then the cells; -1 for the last cap's row, which is left out, and for the
// moment row.
int32_t equation(const Section &s, int32_t r) { return r < s.ig ? r - 1 : r > s.ig && r <= s.ig + s.az ? r - 2 : -1; }

}  // namespace

struct FlowSystems::Factors {
    using Matrix = Eigen::SparseMatrix<double>;
    std::vector<Eigen::Triplet<double>> entries;
    Matrix transposed;  // A^T: a row per wall, a column per equation
    Eigen::SparseLU<Matrix, Eigen::COLAMDOrdering<int>> lu;
    Eigen::VectorXd twist, moment;  // A^-1 t and m
    double border = 0.0;            // m . A^-1 t

    // A^-1 b (Eigen's view of the transposed factors is taken from a
    // factorisation that is not const).
    Eigen::VectorXd solve(const Eigen::VectorXd &b) { return lu.transpose().solve(b); }
};

FlowSystems::FlowSystems() : factors_(std::make_unique<Factors>()) {}
FlowSystems::~FlowSystems() = default;

int32_t FlowSystems::factor(const Section &s) {
    Factors &f = *factors_;
    const int32_t n = s.kw;
    twist_status_ = 0;
    // The argument checks leave as many walls as caps and cells less one.
    if (n < 1 || s.ig + s.az - 1 != n) return status_ = 1;
    f.entries.clear();
    for (int32_t r = 1; r <= s.ig + s.az; ++r)
        if (const int32_t i = equation(s, r); i >= 0)
            for (const Entry &e : s.rows[static_cast<std::size_t>(r - 1)])
                if (e.column <= n && e.value != 0.0) f.entries.emplace_back(e.column - 1, i, e.value);
    f.transposed.resize(n, n);
    f.transposed.setFromTriplets(f.entries.begin(), f.entries.end());
    f.lu.analyzePattern(f.transposed);
    f.lu.factorize(f.transposed);
    if (f.lu.info() != Eigen::Success) {
        // An exactly zero pivot: Eigen gives its step (1-based) only at the
        // end of its message.
        const std::string &message = f.lu.lastErrorMessage();
        const std::size_t digits = message.find_last_not_of("0123456789") + 1;
        return status_ = digits < message.size() ? std::stoi(message.substr(digits)) : 1;
    }
    // The pivots, U's diagonal, are kept in the supernodes of L.
    using Supernodal = std::remove_cvref_t<decltype(f.lu.matrixL().m_mapL)>;
    const Supernodal &l = f.lu.matrixL().m_mapL;
    for (int32_t j = 0; j < n; ++j)
        for (typename Supernodal::InnerIterator it(l, j); it; ++it)
            if (it.row() == j) {
                if (!(std::abs(it.value()) > kPivotLimit)) return status_ = j + 1;
                break;
            }
    return status_ = 0;
}

int32_t FlowSystems::factor_twist(const Section &s) {
    Factors &f = *factors_;
    if (status_ != 0) return status_;
    const int32_t n = s.kw;
    Eigen::VectorXd t = Eigen::VectorXd::Zero(n);
    f.moment = Eigen::VectorXd::Zero(n);
    for (int32_t r = s.ig + 1; r <= s.ig + s.az; ++r)
        for (const Entry &e : s.rows[static_cast<std::size_t>(r - 1)])
            if (e.column == n + 1) t(equation(s, r)) += e.value;
    for (const Entry &e : s.rows[static_cast<std::size_t>(s.moment_row() - 1)])
        if (e.column <= n) f.moment(e.column - 1) += e.value;
    f.twist = f.solve(t);
    f.border = f.moment.dot(f.twist);
    return twist_status_ = std::abs(f.border) > kPivotLimit ? 0 : n + 1;
}

int32_t FlowSystems::solve(const Section &s, const std::vector<double> &load, bool with_twist,
                           std::vector<double> &x) const {
    if (status_ != 0) return status_;
    if (with_twist && twist_status_ != 0) return twist_status_;
    Factors &f = *factors_;
    const int32_t n = s.kw;
    Eigen::VectorXd rhs(n);
    for (int32_t r = 1; r <= s.ig + s.az; ++r)
        if (const int32_t i = equation(s, r); i >= 0) rhs(i) = -load[static_cast<std::size_t>(r - 1)];
    Eigen::VectorXd flows = f.solve(rhs);
    x.assign(static_cast<std::size_t>(n + (with_twist ? 1 : 0)), 0.0);
    if (with_twist) {
        const double g = -load[static_cast<std::size_t>(s.moment_row() - 1)];
        const double theta = (f.moment.dot(flows) - g) / f.border;
        flows -= theta * f.twist;
        x.back() = theta;
    }
    for (int32_t k = 0; k < n; ++k) x[static_cast<std::size_t>(k)] = flows(k);
    return 0;
}

}  // namespace kestro::boxbeam
