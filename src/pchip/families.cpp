// The two families of the cubic Hermite package, exported by its convention:
// the 8-byte routines (dpchim_, ...) and the 4-byte ones (pchim_, ...) are the
// same templates instantiated over the real type.
#include "decl/pchip.hpp"
#include "pchip/pchip.hpp"

// The entry points of one family: P the name prefix (d or nothing), R the real type.
#define KESTRO_PCHIP_FAMILY(P, R)                                                                                      \
    void P##pchez_(const int32_t *n, const R *x, const R *f, R *d, const int32_t *spline, R *wk, const int32_t *lwk,   \
                   int32_t *ierr) {                                                                                    \
        kestro::pchip::Pchip<R>::pchez(*n, x, f, d, *spline, wk, *lwk, ierr);                                          \
    }                                                                                                                  \
    void P##pchim_(const int32_t *n, const R *x, const R *f, R *d, const int32_t *incfd, int32_t *ierr) {              \
        kestro::pchip::Pchip<R>::pchim(*n, x, f, d, *incfd, ierr);                                                     \
    }                                                                                                                  \
    R P##pchst_(const R *arg1, const R *arg2) { return kestro::pchip::Pchip<R>::pchst(*arg1, *arg2); }                 \
    void P##pchfe_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, int32_t *skip,          \
                   const int32_t *ne, const R *xe, R *fe, int32_t *ierr) {                                             \
        kestro::pchip::Pchip<R>::pchfe(*n, x, f, d, *incfd, skip, *ne, xe, fe, nullptr, ierr);                         \
    }                                                                                                                  \
    void P##pchfd_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, int32_t *skip,          \
                   const int32_t *ne, const R *xe, R *fe, R *de, int32_t *ierr) {                                      \
        kestro::pchip::Pchip<R>::pchfe(*n, x, f, d, *incfd, skip, *ne, xe, fe, de, ierr);                              \
    }                                                                                                                  \
    void P##chfev_(const R *x1, const R *x2, const R *f1, const R *f2, const R *d1, const R *d2, const int32_t *ne,    \
                   const R *xe, R *fe, int32_t *next, int32_t *ierr) {                                                 \
        kestro::pchip::Pchip<R>::chfev(*x1, *x2, *f1, *f2, *d1, *d2, *ne, xe, fe, nullptr, next, ierr);                \
    }                                                                                                                  \
    void P##chfdv_(const R *x1, const R *x2, const R *f1, const R *f2, const R *d1, const R *d2, const int32_t *ne,    \
                   const R *xe, R *fe, R *de, int32_t *next, int32_t *ierr) {                                          \
        kestro::pchip::Pchip<R>::chfev(*x1, *x2, *f1, *f2, *d1, *d2, *ne, xe, fe, de, next, ierr);                     \
    }                                                                                                                  \
    void P##pchev_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *nval, const R *xval, R *fval,   \
                   R *dval, int32_t *ierr) {                                                                           \
        int32_t skip = 1;                                                                                              \
        kestro::pchip::Pchip<R>::pchfe(*n, x, f, d, 1, &skip, *nval, xval, fval, dval, ierr);                          \
    }                                                                                                                  \
    R P##pchqa_(const int32_t *n, const R *x, const R *f, const R *d, const R *a, const R *b, int32_t *ierr) {         \
        int32_t skip = 1;                                                                                              \
        return kestro::pchip::Pchip<R>::pchia(*n, x, f, d, 1, &skip, *a, *b, ierr);                                    \
    }                                                                                                                  \
    R P##pchia_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, int32_t *skip, const R *a, \
                const R *b, int32_t *ierr) {                                                                           \
        return kestro::pchip::Pchip<R>::pchia(*n, x, f, d, *incfd, skip, *a, *b, ierr);                                \
    }                                                                                                                  \
    R P##chfie_(const R *x1, const R *x2, const R *f1, const R *f2, const R *d1, const R *d2, const R *a,              \
                const R *b) {                                                                                          \
        return kestro::pchip::Pchip<R>::chfie(*x1, *x2, *f1, *f2, *d1, *d2, *a, *b);                                   \
    }                                                                                                                  \
    R P##pchid_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, int32_t *skip,             \
                const int32_t *ia, const int32_t *ib, int32_t *ierr) {                                                 \
        return kestro::pchip::Pchip<R>::pchid(*n, x, f, d, *incfd, skip, *ia, *ib, ierr);                              \
    }                                                                                                                  \
    void P##pchsp_(const int32_t *ic, const R *vc, const int32_t *n, const R *x, const R *f, R *d,                     \
                   const int32_t *incfd, R *wk, const int32_t *nwk, int32_t *ierr) {                                   \
        kestro::pchip::Pchip<R>::pchsp(ic, vc, *n, x, f, d, *incfd, wk, *nwk, ierr);                                   \
    }                                                                                                                  \
    R P##pchdf_(const int32_t *k, const R *x, R *s, int32_t *ierr) {                                                   \
        return kestro::pchip::Pchip<R>::pchdf(*k, x, s, ierr);                                                         \
    }                                                                                                                  \
    void P##pchic_(const int32_t *ic, const R *vc, const R *sw, const int32_t *n, const R *x, const R *f, R *d,        \
                   const int32_t *incfd, R *wk, const int32_t *nwk, int32_t *ierr) {                                   \
        kestro::pchip::Pchip<R>::pchic(ic, vc, *sw, *n, x, f, d, *incfd, wk, *nwk, ierr);                              \
    }                                                                                                                  \
    void P##pchci_(const int32_t *n, const R *h, const R *slope, R *d, const int32_t *incfd) {                         \
        kestro::pchip::Pchip<R>::pchci(*n, h, slope, d, *incfd);                                                       \
    }                                                                                                                  \
    void P##pchcs_(const R *sw, const int32_t *n, const R *h, const R *slope, R *d, const int32_t *incfd,              \
                   int32_t *ierr) {                                                                                    \
        kestro::pchip::Pchip<R>::pchcs(*sw, *n, h, slope, d, *incfd, ierr);                                            \
    }                                                                                                                  \
    void P##pchce_(const int32_t *ic, const R *vc, const int32_t *n, const R *x, const R *h, const R *slope, R *d,     \
                   const int32_t *incfd, int32_t *ierr) {                                                              \
        kestro::pchip::Pchip<R>::pchce(ic, vc, *n, x, h, slope, d, *incfd, ierr);                                      \
    }                                                                                                                  \
    void P##pchsw_(const R *dfmax, const int32_t *iextrm, R *d1, R *d2, const R *h, const R *slope, int32_t *ierr) {   \
        kestro::pchip::Pchip<R>::pchsw(*dfmax, *iextrm, d1, d2, *h, *slope, ierr);                                     \
    }                                                                                                                  \
    void P##pchcm_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, int32_t *skip,          \
                   int32_t *ismon, int32_t *ierr) {                                                                    \
        kestro::pchip::Pchip<R>::pchcm(*n, x, f, d, *incfd, skip, ismon, ierr);                                        \
    }                                                                                                                  \
    int32_t P##chfcm_(const R *d1, const R *d2, const R *delta) {                                                      \
        return kestro::pchip::Pchip<R>::chfcm(*d1, *d2, *delta);                                                       \
    }                                                                                                                  \
    void P##pchbs_(const int32_t *n, const R *x, const R *f, const R *d, const int32_t *incfd, const int32_t *knotyp,  \
                   int32_t *nknots, R *t, R *bcoef, int32_t *ndim, int32_t *kord, int32_t *ierr) {                     \
        kestro::pchip::Pchip<R>::pchbs(*n, x, f, d, *incfd, *knotyp, nknots, t, bcoef, ndim, kord, ierr);              \
    }                                                                                                                  \
    void P##pchkt_(const int32_t *n, const R *x, const int32_t *knotyp, R *t) {                                        \
        kestro::pchip::Pchip<R>::pchkt(*n, x, *knotyp, t);                                                             \
    }                                                                                                                  \
    R P##bvalu_(const R *t, const R *a, const int32_t *n, const int32_t *k, const int32_t *ideriv, const R *x,         \
                int32_t *inbv, R *work) {                                                                              \
        return kestro::pchip::Pchip<R>::bvalu(t, a, *n, *k, *ideriv, *x, inbv, work);                                  \
    }                                                                                                                  \
    void P##intrv_(const R *xt, const int32_t *lxt, const R *x, int32_t *ilo, int32_t *ileft, int32_t *mflag) {        \
        kestro::pchip::Pchip<R>::intrv(xt, *lxt, *x, ilo, ileft, mflag);                                               \
    }

extern "C" {

KESTRO_PCHIP_FAMILY(d, double)
KESTRO_PCHIP_FAMILY(, float)

}  // extern "C"
