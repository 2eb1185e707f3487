// The 8-byte family of the cubic Hermite package, exported by its convention.
#include "decl/pchip.hpp"
#include "pchip/pchip.hpp"

using P = kestro::pchip::Pchip<double>;

extern "C" {

void dpchez_(const int32_t *n, const double *x, const double *f, double *d, const int32_t *spline, double *wk,
             const int32_t *lwk, int32_t *ierr) {
    P::pchez(*n, x, f, d, *spline, wk, *lwk, ierr);
}

void dpchim_(const int32_t *n, const double *x, const double *f, double *d, const int32_t *incfd, int32_t *ierr) {
    P::pchim(*n, x, f, d, *incfd, ierr);
}

double dpchst_(const double *arg1, const double *arg2) { return P::pchst(*arg1, *arg2); }

void dpchfe_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
             int32_t *skip, const int32_t *ne, const double *xe, double *fe, int32_t *ierr) {
    P::pchfe(*n, x, f, d, *incfd, skip, *ne, xe, fe, nullptr, ierr);
}

void dpchfd_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
             int32_t *skip, const int32_t *ne, const double *xe, double *fe, double *de, int32_t *ierr) {
    P::pchfe(*n, x, f, d, *incfd, skip, *ne, xe, fe, de, ierr);
}

void dchfev_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
             const double *d2, const int32_t *ne, const double *xe, double *fe, int32_t *next, int32_t *ierr) {
    P::chfev(*x1, *x2, *f1, *f2, *d1, *d2, *ne, xe, fe, nullptr, next, ierr);
}

void dchfdv_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
             const double *d2, const int32_t *ne, const double *xe, double *fe, double *de, int32_t *next,
             int32_t *ierr) {
    P::chfev(*x1, *x2, *f1, *f2, *d1, *d2, *ne, xe, fe, de, next, ierr);
}

void dpchev_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *nval,
             const double *xval, double *fval, double *dval, int32_t *ierr) {
    int32_t skip = 1;
    P::pchfe(*n, x, f, d, 1, &skip, *nval, xval, fval, dval, ierr);
}

double dpchqa_(const int32_t *n, const double *x, const double *f, const double *d, const double *a,
               const double *b, int32_t *ierr) {
    int32_t skip = 1;
    return P::pchia(*n, x, f, d, 1, &skip, *a, *b, ierr);
}

double dpchia_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
               int32_t *skip, const double *a, const double *b, int32_t *ierr) {
    return P::pchia(*n, x, f, d, *incfd, skip, *a, *b, ierr);
}

double dchfie_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
               const double *d2, const double *a, const double *b) {
    return P::chfie(*x1, *x2, *f1, *f2, *d1, *d2, *a, *b);
}

double dpchid_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
               int32_t *skip, const int32_t *ia, const int32_t *ib, int32_t *ierr) {
    return P::pchid(*n, x, f, d, *incfd, skip, *ia, *ib, ierr);
}

void dpchsp_(const int32_t *ic, const double *vc, const int32_t *n, const double *x, const double *f, double *d,
             const int32_t *incfd, double *wk, const int32_t *nwk, int32_t *ierr) {
    P::pchsp(ic, vc, *n, x, f, d, *incfd, wk, *nwk, ierr);
}

double dpchdf_(const int32_t *k, const double *x, double *s, int32_t *ierr) { return P::pchdf(*k, x, s, ierr); }

}  // extern "C"
