// Safeguarded root finders over a function the caller supplies, and the
// closed-form roots of cubic equations.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "math/math.hpp"

namespace kestro::math {

namespace {

void report(int32_t code, const char *message) { record_error(code, message, {0, 0}, {0.0, 0.0}, {"", ""}); }

constexpr const char *not_bracketed = "Error in BISECTION: Root must be bracketed.";

}  // namespace

void bdsafe(RootFunction dfunc, const double *x1, const double *x2, double *root, const double *args,
            const double *xacc, const int32_t *maxit, const int32_t *na, const int32_t *nfun, int32_t *istat) {
    const char *exhausted = "Warning in BrentsMethod: Max iterations exceeded.";
    *istat = 0;
    double a = *x1, b = *x2, fa = 0.0, fb = 0.0, df = 0.0;
    dfunc(&fa, &df, &a, args, na, nfun);
    if (fa == 0.0) {
        *root = *x1;
        return;
    }
    dfunc(&fb, &df, &b, args, na, nfun);
    if (fb == 0.0) {
        *root = *x2;
        return;
    }
    if (fa * fb >= 0.0) {
        report(-2, not_bracketed);
        *root = 0.0;
        return;
    }
    double c = a, fc = fa, d = b - a, e = b - a;
    if (*maxit < 1) {
        *root = *x2;
        if (*maxit == 0) {
            report(-1, exhausted);
            *istat = 1;
        }
        return;
    }
    for (int32_t k = 1;; ++k) {
        if (fb * fc > 0.0) {
            c = a;
            fc = fa;
            d = e = b - a;
        }
        if (std::abs(fc) < std::abs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 4.440892098500626e-16 * std::abs(b) + *xacc;
        const double xm = (c - b) / 2.0;
        if (std::abs(xm) <= tol1 || fb == 0.0) {
            *root = b;
            if (k == *maxit) {
                report(-1, exhausted);
                *istat = 1;
            }
            return;
        }
        if (std::abs(e) >= tol1 && std::abs(fa) > std::abs(fb)) {
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * xm * s;
                q = 1.0 - s;
            } else {
                const double t = fa / fc, r = fb / fc;
                p = s * (2.0 * xm * t * (t - r) - (b - a) * (r - 1.0));
                q = (t - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0)
                q = -q;
            else
                p = -p;
            if (2.0 * p < 3.0 * xm * q - std::abs(tol1 * q) && 2.0 * p < std::abs(e * q)) {
                e = d;
                d = p / q;
            } else {
                d = e = xm;
            }
        } else {
            d = e = xm;
        }
        a = b;
        fa = fb;
        if (std::abs(d) > tol1)
            b += d;
        else
            b += xm > 0.0 ? tol1 : -tol1;
        dfunc(&fb, &df, &b, args, na, nfun);
        if (k == *maxit) {
            *root = b;
            report(-1, exhausted);
            *istat = 1;
            return;
        }
    }
}

void nrsafe(RootFunction dfunc, const double *x1, const double *x2, double *root, const double *args,
            const double *xacc, const int32_t *maxit, const int32_t *na, const int32_t *nfun, int32_t *istat) {
    const char *exhausted = "Warning in subroutine RTSAFE: Max iterations exceeded.";
    *istat = 0;
    double fl = 0.0, fh = 0.0, df = 0.0;
    double x = *x1;
    dfunc(&fl, &df, &x, args, na, nfun);
    if (fl == 0.0) {
        *root = *x1;
        return;
    }
    x = *x2;
    dfunc(&fh, &df, &x, args, na, nfun);
    if (fh == 0.0) {
        *root = *x2;
        return;
    }
    if (fl * fh >= 0.0) report(-2, not_bracketed);  // the search goes on from the midpoint
    double xl = *x1, xh = *x2;
    if (!(fl < 0.0)) std::swap(xl, xh);
    double rts = (*x1 + *x2) / 2.0;
    *root = rts;
    double dx = std::abs(*x2 - *x1), dxold = dx, f = 0.0;
    dfunc(&f, &df, &rts, args, na, nfun);
    if (*maxit < 1) {
        report(-1, exhausted);
        *istat = 1;
        return;
    }
    for (int32_t j = 1; j <= *maxit; ++j) {
        if (((rts - xh) * df - f) * ((rts - xl) * df - f) >= 0.0 || std::abs(2.0 * f) > std::abs(dxold * df)) {
            dxold = dx;
            dx = (xh - xl) / 2.0;
            rts = xl + dx;
            *root = rts;
            if (rts == xl) return;
        } else {
            dxold = dx;
            dx = f / df;
            const double before = rts;
            rts -= dx;
            *root = rts;
            if (rts == before) return;
        }
        if (std::abs(dx) < *xacc) return;
        dfunc(&f, &df, &rts, args, na, nfun);
        if (f < 0.0)
            xl = rts;
        else
            xh = rts;
    }
    report(-1, exhausted);
    *istat = 1;
}

void fpsafe(FixpointFunction dfunc, double *xs, const double *args, const double *xacc, const int32_t *maxit,
            const int32_t *na, const int32_t *nfun, int32_t *istat) {
    *istat = 0;
    // The parameter vector with the current x in its first entry.  A caller's
    // function may throw (a raising Python callable does): the copy is
    // released as the exception unwinds this frame.
    Scratch<double> fargs(*na);
    if (*na > 0) std::memcpy(fargs.data(), args, sizeof(double) * static_cast<std::size_t>(*na));
    double xold = *xs, xnew = 0.0;
    fargs[0] = xold;
    dfunc(&xnew, fargs.data(), na, nfun);
    int32_t k = 0;
    bool failed = false;
    while (std::abs(xold - xnew) > *xacc) {
        if (k > *maxit) {
            failed = true;
            break;
        }
        xold = xnew;
        fargs[0] = xnew;
        ++k;
        dfunc(&xnew, fargs.data(), na, nfun);
    }
    if (k > *maxit) failed = true;
    if (failed) {
        report(-1, "Warning in FixPointIteration:Max iterations exceeded.");
        *istat = 1;
    }
    *xs = xnew;
}

double cuberoot(const double *a) noexcept {
    if (*a == 0.0) return 0.0;
    return *a > 0.0 ? std::exp(std::log(*a) / 3.0) : -std::exp(std::log(std::abs(*a)) / 3.0);
}

double partialcurvelength(const double *dy) noexcept { return std::sqrt(1.0 + *dy * *dy); }

}  // namespace kestro::math

extern "C" {

void SpecialCase(const double *p, const double *q, double *xx1, double *xx2, double *xx3) {
    using kestro::math::cuberoot;
    const double discriminant = 0.25 * *q * *q + *p * *p * *p / 27.0;
    if (discriminant > 0.0) {  // one real root
        const double s = std::sqrt(discriminant);
        const double u1 = s - *q / 2.0, v1 = -*q / 2.0 - s;
        *xx1 = *xx2 = *xx3 = cuberoot(&u1) + cuberoot(&v1);
    } else if (discriminant == 0.0) {
        if (*p == 0.0 && *q == 0.0) {
            *xx1 = *xx2 = *xx3 = 0.0;  // triple root
            return;
        }
        const double half = -*q / 2.0;
        const double u = cuberoot(&half);
        if (2.0 * u >= -u) {
            *xx1 = -u;
            *xx2 = -u;
            *xx3 = 2.0 * u;
        } else {
            *xx1 = 2.0 * u;
            *xx2 = -u;
            *xx3 = -u;
        }
    } else {  // three distinct real roots
        const double r = std::sqrt(-*p * *p * *p / 27.0);
        const double theta = std::atan(*q / std::sqrt(4.0 * r * r - *q * *q)) / 3.0 + 0.5235987755982988;
        const double m = 2.0 * cuberoot(&r);
        double roots[3] = {m * std::cos(theta), m * std::cos(theta + 2.0943951023931953),
                           m * std::cos(theta + 4.1887902047863905)};
        if (roots[0] >= roots[1]) std::swap(roots[0], roots[1]);
        if (roots[1] >= roots[2]) std::swap(roots[1], roots[2]);
        if (roots[0] >= roots[1]) std::swap(roots[0], roots[1]);
        *xx1 = roots[0];
        *xx2 = roots[1];
        *xx3 = roots[2];
    }
}

void Solution3PE(const double *a, const double *b, const double *c, const double *d, double *x1, double *x2,
                 double *x3) {
    const double s = *b / (3.0 * *a);
    const double p = *c / *a - 3.0 * s * s;
    const double q = *d / *a - (*c / *a) * s + 2.0 * std::pow(s, 3);
    SpecialCase(&p, &q, x1, x2, x3);
    *x1 -= s;
    *x2 -= s;
    *x3 -= s;
}

}  // extern "C"
