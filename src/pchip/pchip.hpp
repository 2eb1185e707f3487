// The piecewise cubic Hermite package, written once for any real type: the
// 8-byte family (dpchim_, ...) and the 4-byte family (pchim_, ...) are two
// instantiations.  F(INCFD, N) and D(INCFD, N) use their first row only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "pchip/xermsg.hpp"

namespace kestro::pchip {

template <class Real>
struct Family;
template <>
struct Family<double> {
    static constexpr const char *prefix = "D";  // DPCHIM, DCHFEV, ...
};
template <>
struct Family<float> {
    static constexpr const char *prefix = "";  // PCHIM, CHFEV, ...
};

template <class Real>
class Pchip {
public:
    // The routine's name as the handler reports it.
    static std::string name(const char *base) { return std::string(Family<Real>::prefix) + base; }

    static void report(const char *routine, const std::string &message, int32_t code, int32_t level = 1) {
        xermsg("SLATEC", name(routine), message, code, level);
    }

    // The input checks of every routine that makes them: false (with IERR set
    // and the error reported) when n < 2, INCFD < 1 or X is not increasing.
    static bool checked(const char *routine, int32_t n, int32_t incfd, const Real *x, int32_t *ierr) {
        if (n < 2) {
            *ierr = -1;
            report(routine, "NUMBER OF DATA POINTS LESS THAN TWO", *ierr);
            return false;
        }
        if (incfd < 1) {
            *ierr = -2;
            report(routine, "INCREMENT LESS THAN ONE", *ierr);
            return false;
        }
        for (int32_t i = 1; i < n; ++i)
            if (x[i] <= x[i - 1]) {
                *ierr = -3;
                report(routine, "X-ARRAY NOT STRICTLY INCREASING", *ierr);
                return false;
            }
        return true;
    }

    // -1, 0 or 1: the product of the signs, 0 when either is zero.
    static Real pchst(Real a, Real b) {
        if (a == 0 || b == 0) return 0;
        return std::copysign(Real(1), a) * std::copysign(Real(1), b);
    }

    static void pchim(int32_t n, const Real *x, const Real *f, Real *d, int32_t incfd, int32_t *ierr) {
        if (!checked("PCHIM", n, incfd, x, ierr)) return;
        const auto F = [&](int32_t i) { return f[(i - 1) * incfd]; };
        const auto D = [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; };
        *ierr = 0;
        Real h1 = x[1] - x[0];
        Real del1 = (F(2) - F(1)) / h1;
        Real dsave = del1;
        if (n == 2) {
            D(1) = del1;
            D(2) = del1;
            return;
        }
        Real h2 = x[2] - x[1];
        Real del2 = (F(3) - F(2)) / h2;
        Real hsum = h1 + h2;
        Real w1 = (h1 + hsum) / hsum;
        Real w2 = -h1 / hsum;
        D(1) = w1 * del1 + w2 * del2;
        if (pchst(D(1), del1) <= 0) {
            D(1) = 0;
        } else if (pchst(del1, del2) < 0) {
            const Real dmax = 3 * del1;
            if (std::abs(D(1)) > std::abs(dmax)) D(1) = dmax;
        }
        for (int32_t i = 2; i <= n - 1; ++i) {
            if (i > 2) {
                h1 = h2;
                h2 = x[i] - x[i - 1];
                hsum = h1 + h2;
                del1 = del2;
                del2 = (F(i + 1) - F(i)) / h2;
            }
            D(i) = 0;
            const Real s = pchst(del1, del2);
            if (s < 0) {
                ++*ierr;
                dsave = del2;
            } else if (s == 0) {
                if (del2 != 0) {
                    if (pchst(dsave, del2) < 0) ++*ierr;
                    dsave = del2;
                }
            } else {
                const Real hsumt3 = 3 * hsum;
                w1 = (hsum + h1) / hsumt3;
                w2 = (hsum + h2) / hsumt3;
                const Real dmax = std::max(std::abs(del1), std::abs(del2));
                const Real dmin = std::min(std::abs(del1), std::abs(del2));
                const Real drat1 = del1 / dmax, drat2 = del2 / dmax;
                D(i) = dmin / (w1 * drat1 + w2 * drat2);
            }
        }
        w1 = -h2 / hsum;
        w2 = (h2 + hsum) / hsum;
        D(n) = w1 * del1 + w2 * del2;
        if (pchst(D(n), del2) <= 0) {
            D(n) = 0;
        } else if (pchst(del1, del2) < 0) {
            const Real dmax = 3 * del2;
            if (std::abs(D(n)) > std::abs(dmax)) D(n) = dmax;
        }
    }

    // One cubic at ne points (with derivatives when de is given).
    static void chfev(Real x1, Real x2, Real f1, Real f2, Real d1, Real d2, int32_t ne, const Real *xe, Real *fe,
                      Real *de, int32_t *next, int32_t *ierr) {
        const char *routine = de != nullptr ? "CHFDV" : "CHFEV";
        if (ne < 1) {
            *ierr = -1;
            report(routine, "NUMBER OF EVALUATION POINTS LESS THAN ONE", *ierr);
            return;
        }
        const Real h = x2 - x1;
        if (h == 0) {
            *ierr = -2;
            report(routine, "INTERVAL ENDPOINTS EQUAL", *ierr);
            return;
        }
        *ierr = 0;
        next[0] = 0;
        next[1] = 0;
        const Real xmi = std::min(Real(0), h), xma = std::max(Real(0), h);
        const Real delta = (f2 - f1) / h;
        const Real del1 = (d1 - delta) / h, del2 = (d2 - delta) / h;
        const Real c2 = -(del1 + del1 + del2);
        const Real c3 = (del1 + del2) / h;
        const Real c2t2 = 2 * c2, c3t3 = 3 * c3;
        for (int32_t i = 0; i < ne; ++i) {
            const Real t = xe[i] - x1;
            fe[i] = f1 + t * (d1 + t * (c2 + t * c3));
            if (de != nullptr) de[i] = d1 + t * (c2t2 + t * c3t3);
            if (t < xmi) ++next[0];
            if (t > xma) ++next[1];
        }
    }

    // Values (and derivatives when de is given) of the piecewise cubic at ne points.
    static void pchfe(int32_t n, const Real *x, const Real *f, const Real *d, int32_t incfd, int32_t *skip,
                      int32_t ne, const Real *xe, Real *fe, Real *de, int32_t *ierr) {
        const char *routine = de != nullptr ? "PCHFD" : "PCHFE";
        if (*skip == 0 && !checked(routine, n, incfd, x, ierr)) return;
        *skip = 1;
        if (ne < 1) {
            *ierr = -4;
            report(routine, "NUMBER OF EVALUATION POINTS LESS THAN ONE", *ierr);
            return;
        }
        const auto F = [&](int32_t i) { return f[(i - 1) * incfd]; };
        const auto D = [&](int32_t i) { return d[(i - 1) * incfd]; };
        const auto X = [&](int32_t i) { return x[i - 1]; };
        const auto XE = [&](int32_t i) { return xe[i - 1]; };
        *ierr = 0;
        int32_t jfirst = 1;
        int32_t ir = 2;
        // The first k in [lo, hi] with XE(e) < X(k), hi + 1 when there is
        // none: a bisection, since X increases (a NaN is below nothing).
        const auto first_above = [&](Real e, int32_t lo, int32_t hi) {
            while (lo <= hi) {
                const int32_t mid = lo + (hi - lo) / 2;
                if (e < X(mid))
                    hi = mid - 1;
                else
                    lo = mid + 1;
            }
            return lo;
        };
        while (jfirst <= ne && ir <= n) {
            // Intervals right of which the next point lies evaluate nothing:
            // go straight to the interval that holds it.
            if (ir < n && XE(jfirst) >= X(ir)) ir = std::min(first_above(XE(jfirst), ir, n - 1), n);
            int32_t j = ne + 1;
            if (ir < n)
                for (int32_t k = jfirst; k <= ne; ++k)
                    if (XE(k) >= X(ir)) {
                        j = k;
                        break;
                    }
            if (j > jfirst) {
                // Points left of this interval (past the first one) mean that
                // the points are not in order.  Those before the first of them
                // are final here; from it on, the evaluation restarts at the
                // interval that holds it, so they are not evaluated here (the
                // results and counts are those of evaluating them and then
                // again).
                int32_t i = j;
                if (ir > 2) {
                    i = jfirst;
                    while (i <= j - 1 && !(XE(i) < X(ir - 1))) ++i;
                }
                if (i > jfirst) {
                    int32_t next[2] = {0, 0};
                    int32_t ierc = 0;
                    chfev(X(ir - 1), X(ir), F(ir - 1), F(ir), D(ir - 1), D(ir), i - jfirst, xe + (jfirst - 1),
                          fe + (jfirst - 1), de != nullptr ? de + (jfirst - 1) : nullptr, next, &ierc);
                    if (ierc < 0) return fatal(routine, ierr);
                    if (next[1] != 0) {
                        if (ir < n) return fatal(routine, ierr);
                        *ierr += next[1];
                    }
                    *ierr += next[0];  // left of the first interval only
                }
                if (i <= j - 1) {
                    const int32_t k = first_above(XE(i), 1, ir - 1);
                    ir = k <= ir - 1 ? std::max(1, k - 1) : ir - 1;
                }
                jfirst = i;
            }
            ++ir;
        }
    }

    static Real chfie(Real x1, Real x2, Real f1, Real f2, Real d1, Real d2, Real a, Real b) {
        if (x1 == x2) return 0;
        const Real h = x2 - x1;
        const Real ta1 = (a - x1) / h, ta2 = (x2 - a) / h, tb1 = (b - x1) / h, tb2 = (x2 - b) / h;
        const Real ua1 = ta1 * ta1 * ta1, phia1 = ua1 * (2 - ta1), psia1 = ua1 * (3 * ta1 - 4);
        const Real ua2 = ta2 * ta2 * ta2, phia2 = ua2 * (2 - ta2), psia2 = -ua2 * (3 * ta2 - 4);
        const Real ub1 = tb1 * tb1 * tb1, phib1 = ub1 * (2 - tb1), psib1 = ub1 * (3 * tb1 - 4);
        const Real ub2 = tb2 * tb2 * tb2, phib2 = ub2 * (2 - tb2), psib2 = -ub2 * (3 * tb2 - 4);
        const Real fterm = f1 * (phia2 - phib2) + f2 * (phib1 - phia1);
        const Real dterm = (d1 * (psia2 - psib2) + d2 * (psib1 - psia1)) * (h / 6);
        return Real(0.5) * h * (fterm + dterm);
    }

    static Real pchid(int32_t n, const Real *x, const Real *f, const Real *d, int32_t incfd, int32_t *skip, int32_t ia,
                      int32_t ib, int32_t *ierr) {
        if (*skip == 0 && !checked("PCHID", n, incfd, x, ierr)) return 0;
        *skip = 1;
        if (ia < 1 || ia > n || ib < 1 || ib > n) {
            *ierr = -4;
            report("PCHID", "IA OR IB OUT OF RANGE", *ierr);
            return 0;
        }
        *ierr = 0;
        if (ia == ib) return 0;
        const auto F = [&](int32_t i) { return f[(i - 1) * incfd]; };
        const auto D = [&](int32_t i) { return d[(i - 1) * incfd]; };
        Real sum = 0;
        for (int32_t i = std::min(ia, ib); i <= std::max(ia, ib) - 1; ++i) {
            const Real h = x[i] - x[i - 1];
            sum += h * ((F(i) + F(i + 1)) + (D(i) - D(i + 1)) * (h / 6));
        }
        const Real value = Real(0.5) * sum;
        return ia > ib ? -value : value;
    }

    static Real pchia(int32_t n, const Real *x, const Real *f, const Real *d, int32_t incfd, int32_t *skip, Real a,
                      Real b, int32_t *ierr) {
        if (*skip == 0 && !checked("PCHIA", n, incfd, x, ierr)) return 0;
        *skip = 1;
        const auto F = [&](int32_t i) { return f[(i - 1) * incfd]; };
        const auto D = [&](int32_t i) { return d[(i - 1) * incfd]; };
        const auto X = [&](int32_t i) { return x[i - 1]; };
        *ierr = 0;
        if (a < X(1) || a > X(n)) *ierr += 1;
        if (b < X(1) || b > X(n)) *ierr += 2;
        if (a == b) return 0;
        const Real xa = std::min(a, b), xb = std::max(a, b);
        if (xb <= X(2)) return chfie(X(1), X(2), F(1), F(2), D(1), D(2), a, b);
        if (xa >= X(n - 1)) return chfie(X(n - 1), X(n), F(n - 1), F(n), D(n - 1), D(n), a, b);
        int32_t ia = 1;
        for (int32_t i = 1; i <= n - 1; ++i)
            if (xa > X(i)) ia = i + 1;
        int32_t ib = n;
        for (int32_t i = n; i >= ia; --i)
            if (xb < X(i)) ib = i - 1;
        if (ib < ia) return chfie(X(ib), X(ia), F(ib), F(ia), D(ib), D(ia), a, b);
        Real value = 0;
        if (ib > ia) {
            int32_t ierd = 0;
            value = pchid(n, x, f, d, incfd, skip, ia, ib, &ierd);
            if (ierd < 0) {
                *ierr = -4;
                report("PCHIA", "TROUBLE IN " + name("PCHID"), *ierr);
                return 0;
            }
        }
        if (xa < X(ia)) {
            const int32_t il = std::max(1, ia - 1), ir = il + 1;
            value += chfie(X(il), X(ir), F(il), F(ir), D(il), D(ir), xa, X(ia));
        }
        if (xb > X(ib)) {
            const int32_t ir = std::min(ib + 1, n), il = ir - 1;
            value += chfie(X(il), X(ir), F(il), F(ir), D(il), D(ir), X(ib), xb);
        }
        return a > b ? -value : value;
    }

    // The derivative at x(k) of the polynomial through k points, from the slopes
    // s(1..k-1) between them (overwritten by divided differences).
    static Real pchdf(int32_t k, const Real *x, Real *s, int32_t *ierr) {
        if (k < 3) {
            *ierr = -1;
            report("PCHDF", "K LESS THAN THREE", *ierr);
            return 0;
        }
        for (int32_t j = 2; j <= k - 1; ++j)
            for (int32_t i = 1; i <= k - j; ++i) s[i - 1] = (s[i] - s[i - 1]) / (x[i + j - 1] - x[i - 1]);
        Real value = s[0];
        for (int32_t i = 2; i <= k - 1; ++i) value = s[i - 1] + value * (x[k - 1] - x[i - 1]);
        *ierr = 0;
        return value;
    }

    static void pchsp(const int32_t *ic, const Real *vc, int32_t n, const Real *x, const Real *f, Real *d,
                      int32_t incfd, Real *wk, int32_t nwk, int32_t *ierr) {
        if (!checked("PCHSP", n, incfd, x, ierr)) return;
        int32_t ibeg = ic[0], iend = ic[1];
        *ierr = 0;
        if (ibeg < 0 || ibeg > 4) *ierr -= 1;
        if (iend < 0 || iend > 4) *ierr -= 2;
        if (*ierr < 0) {
            *ierr -= 3;
            report("PCHSP", "IC OUT OF RANGE", *ierr);
            return;
        }
        if (nwk < 2 * n) {
            *ierr = -7;
            report("PCHSP", "WORK ARRAY TOO SMALL", *ierr);
            return;
        }
        const auto F = [&](int32_t i) { return f[(i - 1) * incfd]; };
        const auto D = [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; };
        const auto H = [&](int32_t j) -> Real & { return wk[2 * (j - 1)]; };
        const auto S = [&](int32_t j) -> Real & { return wk[2 * (j - 1) + 1]; };
        for (int32_t j = 1; j <= n - 1; ++j) {
            H(j) = x[j] - x[j - 1];
            S(j) = (F(j + 1) - F(j)) / H(j);
        }
        if (ibeg > n) ibeg = 0;
        if (iend > n) iend = 0;
        // End derivatives given, or those of the quadratic or cubic through the end points.
        if (ibeg == 1 || ibeg == 2) {
            D(1) = vc[0];
        } else if (ibeg > 2) {
            Real xs[4], ss[3];
            for (int32_t j = 1; j <= ibeg; ++j) xs[j - 1] = x[ibeg - j];
            for (int32_t j = 1; j <= ibeg - 1; ++j) ss[j - 1] = S(ibeg - j);
            int32_t ierf = 0;
            D(1) = pchdf(ibeg, xs, ss, &ierf);
            if (ierf != 0) return singular_end(ierr);
            ibeg = 1;
        }
        if (iend == 1 || iend == 2) {
            D(n) = vc[1];
        } else if (iend > 2) {
            Real xs[4], ss[3];
            for (int32_t j = 1; j <= iend; ++j) xs[j - 1] = x[n - iend + j - 1];
            for (int32_t j = 1; j <= iend - 1; ++j) ss[j - 1] = S(n - iend + j);
            int32_t ierf = 0;
            D(n) = pchdf(iend, xs, ss, &ierf);
            if (ierf != 0) return singular_end(ierr);
            iend = 1;
        }
        // The tridiagonal system, row i: sub(i) d(i-1) + diag(i) d(i) + sup(i) d(i+1) = r(i).
        // Interior rows are sub h(i), diag 2(h(i-1) + h(i)), sup h(i-1); the
        // first and last rows are kept apart.  The right-hand sides go into d,
        // and once they are formed the slopes' half of wk holds the pivots, so
        // the caller's 2n work values are the only storage.
        Real diag1, sup1;
        if (ibeg == 0) {
            if (n == 2) {
                diag1 = 1;
                sup1 = 1;
                D(1) = 2 * S(1);
            } else {
                diag1 = H(2);
                sup1 = H(1) + H(2);
                D(1) = ((H(1) + 2 * sup1) * S(1) * H(2) + H(1) * H(1) * S(2)) / sup1;
            }
        } else if (ibeg == 1) {
            diag1 = 1;
            sup1 = 0;  // r(1) is the given d(1)
        } else {
            diag1 = 2;
            sup1 = 1;
            D(1) = 3 * S(1) - Real(0.5) * H(1) * vc[0];
        }
        bool solve_last = true;
        Real subn = 0, diagn = 0, rn = 0;
        if (iend == 1) {
            solve_last = false;
        } else if (iend == 2) {
            subn = 1;
            diagn = 2;
            rn = 3 * S(n - 1) + Real(0.5) * H(n - 1) * vc[1];
        } else if ((n == 2 && ibeg != 0) || (n == 3 && ibeg == 0)) {
            subn = 1;
            diagn = 1;
            rn = 2 * S(n - 1);
        } else if (n == 2 && ibeg == 0) {
            D(2) = S(1);  // both derivatives become the slope
            solve_last = false;
        } else {
            const Real g = H(n - 2) + H(n - 1);
            subn = g;
            diagn = H(n - 2);
            rn = ((H(n - 1) + 2 * g) * S(n - 1) * H(n - 2) + H(n - 1) * H(n - 1) * S(n - 2)) / g;
        }
        for (int32_t i = 2; i <= n - 1; ++i) D(i) = 3 * (H(i) * S(i - 1) + H(i - 1) * S(i));
        if (solve_last) D(n) = rn;
        // Elimination without pivoting, then back substitution; pivot(i) in wk(2, i).
        const auto pivot = [&](int32_t i) -> Real & { return wk[2 * (i - 1) + 1]; };
        const auto sub = [&](int32_t i) { return i == n ? subn : H(i); };
        const auto diag = [&](int32_t i) { return i == n ? diagn : 2 * (H(i - 1) + H(i)); };
        const auto sup = [&](int32_t i) { return i == 1 ? sup1 : H(i - 1); };
        pivot(1) = diag1;
        const int32_t last = solve_last ? n : n - 1;
        for (int32_t i = 2; i <= last; ++i) {
            if (pivot(i - 1) == 0) return singular(ierr);
            const Real m = sub(i) / pivot(i - 1);
            pivot(i) = diag(i) - m * sup(i - 1);
            D(i) -= m * D(i - 1);
        }
        if (solve_last) {
            if (pivot(n) == 0) return singular(ierr);
            D(n) = D(n) / pivot(n);
        }
        for (int32_t i = n - 1; i >= 1; --i) {
            if (pivot(i) == 0) return singular(ierr);
            D(i) = (D(i) - sup(i) * D(i + 1)) / pivot(i);
        }
    }

    static void pchez(int32_t n, const Real *x, const Real *f, Real *d, int32_t spline, Real *wk, int32_t lwk,
                      int32_t *ierr) {
        if (spline == 0) {
            pchim(n, x, f, d, 1, ierr);
            return;
        }
        const int32_t ic[2] = {0, 0};
        const Real vc[2] = {0, 0};
        pchsp(ic, vc, n, x, f, d, 1, wk, lwk, ierr);
    }

private:
    static void fatal(const char *routine, int32_t *ierr) {
        *ierr = -5;
        const std::string one = routine[4] == 'D' ? "CHFDV" : "CHFEV";  // PCHFD or PCHFE
        report(routine, "ERROR RETURN FROM " + name(one.c_str()) + " -- FATAL", *ierr, 2);
    }
    static void singular(int32_t *ierr) {
        *ierr = -8;
        report("PCHSP", "SINGULAR LINEAR SYSTEM", *ierr);
    }
    static void singular_end(int32_t *ierr) {
        *ierr = -9;
        report("PCHSP", "ERROR RETURN FROM " + name("PCHDF"), *ierr);
    }
};

}  // namespace kestro::pchip
