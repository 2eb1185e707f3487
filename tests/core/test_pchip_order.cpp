// Evaluation of the cubic Hermite package at points in any order: the
// located intervals (now found by bisection) give bit for bit the values,
// derivatives and IERR of the interval-by-interval search kept here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decl/pchip.hpp"
#include "pchip/pchip.hpp"

namespace {

using P = kestro::pchip::Pchip<double>;

// The evaluation loop as it located intervals one by one (data checked).
void linear_search_pchfe(int32_t n, const double *x, const double *f, const double *d, int32_t ne,
                         const double *xe, double *fe, double *de, int32_t *ierr) {
    const auto F = [&](int32_t i) { return f[i - 1]; };
    const auto D = [&](int32_t i) { return d[i - 1]; };
    const auto X = [&](int32_t i) { return x[i - 1]; };
    const auto XE = [&](int32_t i) { return xe[i - 1]; };
    *ierr = 0;
    int32_t jfirst = 1, ir = 2;
    while (jfirst <= ne && ir <= n) {
        int32_t j = ne + 1;
        if (ir < n)
            for (int32_t k = jfirst; k <= ne; ++k)
                if (XE(k) >= X(ir)) {
                    j = k;
                    break;
                }
        if (j > jfirst) {
            int32_t next[2] = {0, 0}, ierc = 0;
            P::chfev(X(ir - 1), X(ir), F(ir - 1), F(ir), D(ir - 1), D(ir), j - jfirst, xe + (jfirst - 1),
                     fe + (jfirst - 1), de != nullptr ? de + (jfirst - 1) : nullptr, next, &ierc);
            if (next[1] != 0) *ierr += next[1];
            if (next[0] != 0) {
                if (ir <= 2) {
                    *ierr += next[0];
                } else {
                    int32_t i = jfirst;
                    while (i <= j - 1 && !(XE(i) < X(ir - 1))) ++i;
                    if (ir == n)
                        for (int32_t k = i; k <= j - 1; ++k)
                            if (XE(k) - X(ir - 1) > X(ir) - X(ir - 1)) --*ierr;
                    j = i;
                    int32_t k = 1;
                    while (k <= ir - 1 && !(XE(j) < X(k))) ++k;
                    ir = k <= ir - 1 ? std::max(1, k - 1) : ir - 1;
                }
            }
            jfirst = j;
        }
        ++ir;
    }
}

bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(PchipEvaluationOrder, AnyOrderGivesTheIntervalByIntervalResultsBitForBit) {
    std::mt19937 g(23);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int32_t n : {2, 3, 4, 10, 57, 1000})
        for (int32_t ne : {1, 2, 7, 100, 2000})
            for (int order = 0; order < 6; ++order) {
                std::vector<double> x(n), f(n), d(n);
                double t = -1.0;
                for (int32_t i = 0; i < n; ++i) {
                    t += 0.05 + u(g);
                    x[i] = t;
                    f[i] = std::sin(3.0 * t);
                }
                int32_t ierr = 0;
                const int32_t one = 1;
                dpchim_(&n, x.data(), f.data(), d.data(), &one, &ierr);
                // Points inside and outside the table, on knots, repeated; then
                // random, descending, alternating between the ends, sorted.
                std::vector<double> xe(ne);
                for (int32_t k = 0; k < ne; ++k) {
                    const double r = u(g);
                    xe[k] = r < 0.1 ? x[g() % n] : r < 0.2 && k > 0 ? xe[k - 1] : x[0] - 2.0 + (x[n - 1] - x[0] + 4.0) * u(g);
                }
                if (order == 1) std::sort(xe.begin(), xe.end(), std::greater<>());
                if (order == 2) {  // smallest, largest, second smallest, second largest, ...
                    std::sort(xe.begin(), xe.end());
                    std::vector<double> ends;
                    for (int32_t lo = 0, hi = ne - 1; lo <= hi; ++lo, --hi) {
                        ends.push_back(xe[lo]);
                        if (hi != lo) ends.push_back(xe[hi]);
                    }
                    xe = ends;
                }
                if (order == 3) std::sort(xe.begin(), xe.end());
                if (order == 4 && ne > 3) xe[ne / 2] = std::nan("");
                std::vector<double> fe(ne, -1.0), de(ne, -1.0), fe0(ne, -1.0), de0(ne, -1.0);
                int32_t ierr_new = 99, ierr_old = 98, skip = 0, incfd = 1;
                if (order == 5) {  // values only
                    dpchfe_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), &ierr_new);
                    linear_search_pchfe(n, x.data(), f.data(), d.data(), ne, xe.data(), fe0.data(), nullptr,
                                        &ierr_old);
                } else {
                    dpchfd_(&n, x.data(), f.data(), d.data(), &incfd, &skip, &ne, xe.data(), fe.data(), de.data(),
                            &ierr_new);
                    linear_search_pchfe(n, x.data(), f.data(), d.data(), ne, xe.data(), fe0.data(), de0.data(),
                                        &ierr_old);
                }
                ASSERT_EQ(ierr_new, ierr_old) << n << " " << ne << " " << order;
                ASSERT_TRUE(same_bits(fe, fe0)) << n << " " << ne << " " << order;
                ASSERT_TRUE(same_bits(de, de0)) << n << " " << ne << " " << order;
            }
}

}  // namespace
