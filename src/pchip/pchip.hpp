// The piecewise cubic Hermite package, written once for any real type: the
// 8-byte family (dpchim_, ...) and the 4-byte family (pchim_, ...) are two
// instantiations.  F(INCFD, N) and D(INCFD, N) use their first row only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "decl/pchip.hpp"
#include "pchip/xermsg.hpp"

namespace kestro::pchip {

template <class Real>
struct Family;
template <>
struct Family<double> {
    static constexpr const char *prefix = "D";  // DPCHIM, DCHFEV, ...
    static double spacing() {  // the largest relative spacing, d1mach(4)
        const int32_t four = 4;
        return d1mach_(&four);
    }
};
template <>
struct Family<float> {
    static constexpr const char *prefix = "";  // PCHIM, CHFEV, ...
    static float spacing() {  // r1mach(4)
        const int32_t four = 4;
        return r1mach_(&four);
    }
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
        const auto H = [&](int32_t j) { return x[j] - x[j - 1]; };
        *ierr = 0;
        monotone(
            n, H, [&](int32_t j) { return (F(j + 1) - F(j)) / H(j); },
            [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; }, ierr);
    }

    // The derivatives of pchim from given widths h(n-1) and slopes(n-1); no
    // switches are counted.
    static void pchci(int32_t n, const Real *h, const Real *slope, Real *d, int32_t incfd) {
        monotone(
            n, [&](int32_t j) { return h[j - 1]; }, [&](int32_t j) { return slope[j - 1]; },
            [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; }, nullptr);
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
            int32_t ierf = 0;
            D(1) = end_derivative(true, ibeg, n, x, S, &ierf);
            if (ierf != 0) return singular_end(ierr);
            ibeg = 1;
        }
        if (iend == 1 || iend == 2) {
            D(n) = vc[1];
        } else if (iend > 2) {
            int32_t ierf = 0;
            D(n) = end_derivative(false, iend, n, x, S, &ierf);
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

    // ---------------------------------------------------------------- controlled derivatives

    // Shape-preserving derivatives with end conditions ic and, through sw, the
    // derivatives next to extrema relaxed (sw < 0) and bounded (sw > 0).
    static void pchic(const int32_t *ic, const Real *vc, Real sw, int32_t n, const Real *x, const Real *f, Real *d,
                      int32_t incfd, Real *wk, int32_t nwk, int32_t *ierr) {
        if (!checked("PCHIC", n, incfd, x, ierr)) return;
        const int64_t ibeg = ic[0], iend = ic[1];
        *ierr = 0;
        if (std::abs(ibeg) > 5) *ierr -= 1;
        if (std::abs(iend) > 5) *ierr -= 2;
        if (*ierr < 0) {
            *ierr -= 3;
            report("PCHIC", "IC OUT OF RANGE", *ierr);
            return;
        }
        const int32_t nless1 = n - 1;
        if (nwk < 2 * nless1) {
            *ierr = -7;
            report("PCHIC", "WORK ARRAY TOO SMALL", *ierr);
            return;
        }
        Real *h = wk, *slope = wk + nless1;
        for (int32_t i = 1; i <= nless1; ++i) {
            h[i - 1] = x[i] - x[i - 1];
            slope[i - 1] = (f[i * incfd] - f[(i - 1) * incfd]) / h[i - 1];
        }
        if (nless1 == 1) {
            d[0] = slope[0];
            d[incfd] = slope[0];
        } else {
            pchci(n, h, slope, d, incfd);
            if (sw != 0) {
                pchcs(sw, n, h, slope, d, incfd, ierr);
                if (*ierr != 0) {
                    *ierr = -8;
                    report("PCHIC", "ERROR RETURN FROM " + name("PCHCS"), *ierr);
                    return;
                }
            }
        }
        if (ibeg == 0 && iend == 0) return;
        pchce(ic, vc, n, x, h, slope, d, incfd, ierr);
        if (*ierr < 0) {
            *ierr = -9;
            report("PCHIC", "ERROR RETURN FROM " + name("PCHCE"), *ierr);
        }
    }

    // Moves the derivatives next to the extrema of the data towards the slopes
    // of the parabolas through three points; sw > 0 also bounds the overshoot.
    static void pchcs(Real sw, int32_t n, const Real *h, const Real *slope, Real *d, int32_t incfd, int32_t *ierr) {
        constexpr Real fudge = 4;
        const auto H = [&](int32_t j) { return h[j - 1]; };
        const auto S = [&](int32_t j) { return slope[j - 1]; };
        const auto D = [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; };
        // The slope at x(j) of the parabola through x(j-1), x(j), x(j+1).
        const auto w = [&](int32_t j) { return (H(j) * S(j - 1) + H(j - 1) * S(j)) / (H(j - 1) + H(j)); };
        *ierr = 0;
        const int32_t nless1 = n - 1;
        for (int32_t i = 2; i <= nless1; ++i) {
            // The interval k next to x(i) that holds an extremum, and the
            // derivatives wanted at its ends.
            int32_t k = 0;
            Real wtave[2] = {0, 0};
            const Real s = pchst(S(i - 1), S(i));
            if (s > 0) continue;
            if (s == 0) {
                if (!(i < nless1 && pchst(S(i - 1), S(i + 1)) < 0)) continue;
                k = i;
                wtave[0] = w(i);
                wtave[1] = w(i + 1);
            } else {
                if (i > 2 && pchst(S(i - 2), S(i)) > 0) continue;
                if (i < nless1 && pchst(S(i + 1), S(i - 1)) > 0) continue;
                const Real dext = w(i);
                const Real side = pchst(dext, S(i - 1));
                if (side > 0) {
                    k = i;
                    wtave[0] = dext;
                    if (k < nless1) wtave[1] = w(i + 1);
                } else if (side < 0) {
                    k = i - 1;
                    wtave[1] = dext;
                    if (k > 1) wtave[0] = w(i - 1);
                } else {
                    continue;
                }
            }
            Real slmax = std::abs(S(k));
            if (k > 1) slmax = std::max(slmax, std::abs(S(k - 1)));
            if (k < nless1) slmax = std::max(slmax, std::abs(S(k + 1)));
            Real del[3] = {0, 0, 0};
            if (k > 1) del[0] = S(k - 1) / slmax;
            del[1] = S(k) / slmax;
            if (k < nless1) del[2] = S(k + 1) / slmax;
            if (k > 1 && k < nless1) {
                Real fact = fudge * std::abs(del[2] * (del[0] - del[1]) * wtave[1] / slmax);
                D(k) = D(k) + std::min(fact, Real(1)) * (wtave[0] - D(k));
                fact = fudge * std::abs(del[0] * (del[2] - del[1]) * wtave[0] / slmax);
                D(k + 1) = D(k + 1) + std::min(fact, Real(1)) * (wtave[1] - D(k + 1));
            } else {
                const Real fact = fudge * std::abs(del[1]);
                D(i) = std::min(fact, Real(1)) * wtave[i - k];
            }
            if (sw <= 0) continue;
            Real dfloc = H(k) * std::abs(S(k));
            if (k > 1) dfloc = std::max(dfloc, H(k - 1) * std::abs(S(k - 1)));
            if (k < nless1) dfloc = std::max(dfloc, H(k + 1) * std::abs(S(k + 1)));
            pchsw(sw * dfloc, i - k + 1, &D(k), &D(k + 1), H(k), S(k), ierr);
            if (*ierr != 0) return;
        }
    }

    // Limits the excursion of one cubic (end derivatives d1, d2) beyond the
    // data value at its left (iextrm 1) or right end to dfmax.
    static void pchsw(Real dfmax, int32_t iextrm, Real *d1, Real *d2, Real h, Real slope, int32_t *ierr) {
        const Real third = static_cast<Real>(0.33333);
        const Real small = 100 * Family<Real>::spacing();
        const auto invalid = [&] {
            *ierr = -1;
            report("PCHSW", "D1 AND/OR D2 INVALID", *ierr);
        };
        Real rho, that, phi;
        if (*d1 == 0) {
            if (*d2 == 0) return invalid();
            rho = slope / *d2;
            if (rho >= third) {
                *ierr = 0;
                return;
            }
            that = (2 * (3 * rho - 1)) / (3 * (2 * rho - 1));
            phi = that * that * ((3 * rho - 1) / 3);
            if (iextrm != 1) phi = phi - rho;
            const Real hphi = h * std::abs(phi);
            if (hphi * std::abs(*d2) > dfmax) *d2 = std::copysign(dfmax / hphi, *d2);
        } else {
            rho = slope / *d1;
            const Real lambda = -(*d2) / *d1;
            Real cp, nu;
            if (*d2 == 0) {
                if (rho >= third) {
                    *ierr = 0;
                    return;
                }
                cp = 2 - 3 * rho;
                nu = 1 - 2 * rho;
                that = 1 / (3 * nu);
            } else {
                if (lambda <= 0) return invalid();
                nu = 1 - lambda - 2 * rho;
                const Real sigma = 1 - rho;
                cp = nu + sigma;
                if (std::abs(nu) > small) {
                    const Real radcal = (nu - (2 * rho + 1)) * nu + sigma * sigma;
                    if (radcal < 0) {
                        *ierr = -2;
                        report("PCHSW", "NEGATIVE RADICAL", *ierr);
                        return;
                    }
                    that = (cp - std::sqrt(radcal)) / (3 * nu);
                } else {
                    that = 1 / (2 * sigma);
                }
            }
            phi = that * ((nu * that - cp) * that + 1);
            if (iextrm != 1) phi = phi - rho;
            const Real hphi = h * std::abs(phi);
            if (hphi * std::abs(*d1) > dfmax) {
                *d1 = std::copysign(dfmax / hphi, *d1);
                *d2 = -lambda * *d1;
            }
        }
        *ierr = 0;
    }

    // Applies the end conditions ic = (ibeg, iend) to d; a negative code then
    // makes that end derivative compatible with monotonicity (IERR 1, 2, 3).
    static void pchce(const int32_t *ic, const Real *vc, int32_t n, const Real *x, const Real *h, const Real *slope,
                      Real *d, int32_t incfd, int32_t *ierr) {
        const auto H = [&](int32_t j) { return h[j - 1]; };
        const auto S = [&](int32_t j) { return slope[j - 1]; };
        const auto D = [&](int32_t i) -> Real & { return d[(i - 1) * incfd]; };
        // A code beyond n leaves its end alone.
        const int64_t ibeg = std::abs(int64_t{ic[0]}) > n ? 0 : ic[0];
        const int64_t iend = std::abs(int64_t{ic[1]}) > n ? 0 : ic[1];
        *ierr = 0;
        const auto limit = [&](Real &end, Real s, int32_t flag) {
            if (s == 0) {
                if (end != 0) {
                    end = 0;
                    *ierr += flag;
                }
            } else if (pchst(end, s) < 0) {
                end = 0;
                *ierr += flag;
            } else if (std::abs(end) > 3 * std::abs(s)) {
                end = 3 * s;
                *ierr += flag;
            }
        };
        const auto from_points = [&](bool left, int32_t k) {
            int32_t ierf = 0;
            const Real value = end_derivative(left, k, n, x, S, &ierf);
            if (ierf != 0) {
                *ierr = -1;
                report("PCHCE", "ERROR RETURN FROM " + name("PCHDF"), *ierr);
                return false;
            }
            (left ? D(1) : D(n)) = value;
            return true;
        };
        switch (std::abs(ibeg)) {
            case 1: D(1) = vc[0]; break;
            case 2: D(1) = Real(0.5) * ((3 * S(1) - D(2)) - Real(0.5) * vc[0] * H(1)); break;
            case 3:
            case 4:
                if (!from_points(true, static_cast<int32_t>(std::abs(ibeg)))) return;
                break;
            case 5:
                D(1) = (3 * (H(2) * S(1) + H(1) * S(2)) - 2 * (H(1) + H(2)) * D(2) - H(1) * D(3)) / H(2);
                break;
            default: break;
        }
        if (ibeg < 0) limit(D(1), S(1), 1);
        switch (std::abs(iend)) {
            case 1: D(n) = vc[1]; break;
            case 2: D(n) = Real(0.5) * ((3 * S(n - 1) - D(n - 1)) + Real(0.5) * vc[1] * H(n - 1)); break;
            case 3:
            case 4:
                if (!from_points(false, static_cast<int32_t>(std::abs(iend)))) return;
                break;
            case 5:
                D(n) = (3 * (H(n - 2) * S(n - 1) + H(n - 1) * S(n - 2)) - 2 * (H(n - 2) + H(n - 1)) * D(n - 1) -
                        H(n - 1) * D(n - 2)) /
                       H(n - 2);
                break;
            default: break;
        }
        if (iend < 0) limit(D(n), S(n - 1), 2);
    }

    // ---------------------------------------------------------------- monotonicity

    // The monotonicity code of one cubic by the Fritsch-Carlson region: 0
    // constant, 1/-1 increasing/decreasing, 3/-3 the same on the region's
    // edge, 2 not monotone.
    static int32_t chfcm(Real d1, Real d2, Real delta) {
        const Real eps = 10 * Family<Real>::spacing();
        if (delta == 0) return d1 == 0 && d2 == 0 ? 0 : 2;
        const int32_t itrue = delta > 0 ? 1 : -1;
        const Real a = d1 / delta, b = d2 / delta;
        if (a < 0 || b < 0) return 2;
        if (a <= 3 - eps && b <= 3 - eps) return itrue;
        if (a > 4 + eps && b > 4 + eps) return 2;
        const Real a2 = a - 2, b2 = b - 2;
        const Real phi = ((a2 * a2 + a2 * b2) + b2 * b2) - 3;
        if (phi < -eps) return itrue;
        if (phi > eps) return 2;
        return 3 * itrue;
    }

    static void pchcm(int32_t n, const Real *x, const Real *f, const Real *d, int32_t incfd, int32_t *skip,
                      int32_t *ismon, int32_t *ierr) {
        if (*skip == 0 && !checked("PCHCM", n, incfd, x, ierr)) return;
        *skip = 1;
        // Row: the code so far, column: the interval's; in the order -3, -1, 0, 1, 3, 2.
        static constexpr int32_t combined[6][6] = {
            {-3, -3, -3, 2, 2, 2}, {-3, -1, -1, 2, 2, 2}, {-3, -1, 0, 1, 3, 2},
            {2, 2, 1, 1, 3, 2},    {2, 2, 3, 3, 3, 2},    {2, 2, 2, 2, 2, 2},
        };
        const auto slot = [](int32_t code) {
            switch (code) {
                case -3: return 0;
                case -1: return 1;
                case 0: return 2;
                case 1: return 3;
                case 3: return 4;
                default: return 5;
            }
        };
        for (int32_t i = 1; i <= n - 1; ++i) {
            const Real delta = (f[i * incfd] - f[(i - 1) * incfd]) / (x[i] - x[i - 1]);
            ismon[i - 1] = chfcm(d[(i - 1) * incfd], d[i * incfd], delta);
            ismon[n - 1] = i == 1 ? ismon[0] : combined[slot(ismon[n - 1])][slot(ismon[i - 1])];
        }
        *ierr = 0;
    }

    // ---------------------------------------------------------------- B-spline form

    // Knots t(2n+4) for the B-spline form: double knots at every x and the
    // outer pair by knotyp (1: the end intervals extended, 2: swapped, else
    // quadruple end knots).  Needs n >= 2.
    static void pchkt(int32_t n, const Real *x, int32_t knotyp, Real *t) {
        const int64_t ndim = 2 * int64_t{n};
        for (int64_t k = 1; k <= n; ++k) {
            t[2 * k] = x[k - 1];
            t[2 * k + 1] = x[k - 1];
        }
        const Real hbeg = x[1] - x[0], hend = x[n - 1] - x[n - 2];
        if (knotyp == 1) {
            t[1] = x[0] - hbeg;
            t[ndim + 2] = x[n - 1] + hend;
        } else if (knotyp == 2) {
            t[1] = x[0] - hend;
            t[ndim + 2] = x[n - 1] + hbeg;
        } else {
            t[1] = x[0];
            t[ndim + 2] = x[n - 1];
        }
        t[0] = t[1];
        t[ndim + 3] = t[ndim + 2];
    }

    static void pchbs(int32_t n, const Real *x, const Real *f, const Real *d, int32_t incfd, int32_t knotyp,
                      int32_t *nknots, Real *t, Real *bcoef, int32_t *ndim, int32_t *kord, int32_t *ierr) {
        *ndim = 2 * n;
        *kord = 4;
        *ierr = 0;
        // This routine names itself and its library in 8-character fields.
        const auto fail = [&](int32_t code, const char *message) {
            *ierr = code;
            std::string routine = name("PCHBS");
            routine.resize(8, ' ');
            xermsg("SLATEC  ", routine, message, code, 1);
        };
        if (knotyp > 2) return fail(-1, "KNOTYP GREATER THAN 2");
        if (knotyp < 0) {
            if (*nknots != *ndim + 4) return fail(-2, "KNOTYP.LT.0 AND NKNOTS.NE.(2*N+4)");
        } else {
            *nknots = *ndim + 4;
            pchkt(n, x, knotyp, t);
        }
        Real hnew = t[2] - t[0];
        for (int64_t k = 1; k <= n; ++k) {
            const int64_t kk = 2 * k;
            const Real dov3 = d[(k - 1) * incfd] / 3;
            bcoef[kk - 2] = f[(k - 1) * incfd] - hnew * dov3;
            hnew = t[kk + 2] - t[kk];
            bcoef[kk - 1] = f[(k - 1) * incfd] + hnew * dov3;
        }
    }

    // The knot interval of x in the non-decreasing xt(lxt), hunting outwards
    // from ilo and then bisecting: mflag 0 with xt(ileft) <= x < xt(ileft+1),
    // -1 (ileft 1) left of xt(1), 1 (ileft lxt) at or beyond xt(lxt).
    static void intrv(const Real *xt, int32_t lxt, Real x, int32_t *ilo, int32_t *ileft, int32_t *mflag) {
        // Without knots nothing is read; a start below the table starts at 1.
        if (lxt < 1) {
            *ileft = 1;
            *mflag = -1;
            return;
        }
        if (*ilo < 1) *ilo = 1;
        const auto XT = [&](int64_t i) { return xt[i - 1]; };
        int64_t lo = *ilo, hi = lo + 1;
        // The result, with the search's lower end kept for the next call.
        const auto done = [&](int64_t left, int32_t flag) {
            *ilo = static_cast<int32_t>(lo);
            *ileft = static_cast<int32_t>(left);
            *mflag = flag;
        };
        const auto bisect = [&] {
            for (;;) {
                const int64_t middle = (lo + hi) / 2;
                if (middle == lo) return done(lo, 0);
                if (x >= XT(middle))
                    lo = middle;
                else
                    hi = middle;
            }
        };
        if (hi >= lxt) {
            if (x >= XT(lxt)) return done(lxt, 1);
            if (lxt <= 1) return done(1, -1);
            lo = lxt - 1;
            hi = lxt;
        }
        if (x >= XT(hi)) {
            // Hunt upwards in steps 1, 2, 4, ...
            for (int64_t step = 1;; step *= 2) {
                lo = hi;
                hi = lo + step;
                if (hi >= lxt) break;
                if (x < XT(hi)) return bisect();
            }
            if (x >= XT(lxt)) return done(lxt, 1);
            hi = lxt;
            return bisect();
        }
        if (x >= XT(lo)) return done(lo, 0);
        // Hunt downwards.
        for (int64_t step = 1;; step *= 2) {
            hi = lo;
            lo = hi - step;
            if (lo <= 1) break;
            if (x >= XT(lo)) return bisect();
        }
        lo = 1;
        if (x < XT(1)) return done(1, -1);
        return bisect();
    }

    // The value (ideriv 0) or a derivative of the B-spline of order k with
    // knots t(n+k) and coefficients a(n) at x; work holds 3k reals.
    static Real bvalu(const Real *t, const Real *a, int32_t n, int32_t k, int32_t ideriv, Real x, int32_t *inbv,
                      Real *work) {
        const auto fail = [&](const char *message) {
            report("BVALU", message, 2);
            return Real(0);
        };
        if (k < 1) return fail("K DOES NOT SATISFY K.GE.1");
        if (n < k) return fail("N DOES NOT SATISFY N.GE.K");
        if (ideriv < 0 || ideriv >= k) return fail("IDERIV DOES NOT SATISFY 0.LE.IDERIV.LT.K");
        // A NaN passes every comparison of the interval search and would lead
        // the steps below to read before the tables: it has no value.
        if (std::isnan(x)) return x;
        const auto T = [&](int64_t i) { return t[i - 1]; };
        const auto W = [&](int64_t j) -> Real & { return work[j - 1]; };
        if (*inbv < 1) *inbv = 1;
        int32_t i = 0, mflag = 0;
        intrv(t, n + 1, x, inbv, &i, &mflag);
        if (x < T(k)) return fail("X IS N0T GREATER THAN OR EQUAL TO T(K)");
        if (mflag != 0) {
            if (x > T(i)) return fail("X IS NOT LESS THAN OR EQUAL TO T(N+1)");
            // x is the last knot: take the left limit.
            do {
                if (i == k) return fail("A LEFT LIMITING VALUE CANNOT BE OBTAINED AT T(K)");
                --i;
            } while (x == T(i));
        }
        const int64_t kk = k;
        for (int64_t j = 1; j <= kk; ++j) W(j) = a[i - kk + j - 1];
        for (int64_t j = 1; j <= ideriv; ++j) {
            const int64_t m = kk - j;
            for (int64_t jj = 1; jj <= m; ++jj)
                W(jj) = (W(jj + 1) - W(jj)) / (T(i + jj) - T(i + jj - m)) * static_cast<Real>(m);
        }
        if (ideriv != k - 1) {
            for (int64_t j = 1; j <= kk - ideriv; ++j) {
                W(kk + j) = T(i + j) - x;
                W(2 * kk + j) = x - T(i + 1 - j);
            }
            for (int64_t j = ideriv + 1; j <= kk - 1; ++j) {
                const int64_t m = kk - j;
                int64_t ilo = m;
                for (int64_t jj = 1; jj <= m; ++jj, --ilo)
                    W(jj) = (W(jj + kk) * W(jj) + W(ilo + 2 * kk) * W(jj + 1)) / (W(jj + kk) + W(ilo + 2 * kk));
            }
        }
        return W(1);
    }

private:
    // The derivative at the end point of the quadratic (k = 3) or cubic (k = 4)
    // through the first (left) or last k points, ordered so that the end point
    // comes last; S(j) is the slope of interval j.
    template <class Sf>
    static Real end_derivative(bool left, int32_t k, int32_t n, const Real *x, Sf S, int32_t *ierf) {
        Real xs[4], ss[3];
        for (int32_t j = 1; j <= k; ++j) xs[j - 1] = left ? x[k - j] : x[n - k + j - 1];
        for (int32_t j = 1; j <= k - 1; ++j) ss[j - 1] = left ? S(k - j) : S(n - k + j);
        return pchdf(k, xs, ss, ierf);
    }

    // Shape-preserving derivatives from the widths H(j) and slopes S(j) of the
    // intervals (one-based callables); switches, when given, counts the
    // changes of direction of the data.
    template <class Hf, class Sf, class Df>
    static void monotone(int32_t n, Hf H, Sf S, Df D, int32_t *switches) {
        Real h1 = H(1);
        Real del1 = S(1);
        Real dsave = del1;
        if (n == 2) {
            D(1) = del1;
            D(2) = del1;
            return;
        }
        Real h2 = H(2);
        Real del2 = S(2);
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
                h2 = H(i);
                hsum = h1 + h2;
                del1 = del2;
                del2 = S(i);
            }
            D(i) = 0;
            const Real s = pchst(del1, del2);
            if (s < 0) {
                if (switches != nullptr) ++*switches;
                dsave = del2;
            } else if (s == 0) {
                if (del2 != 0) {
                    if (pchst(dsave, del2) < 0 && switches != nullptr) ++*switches;
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
