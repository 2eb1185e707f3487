/*
 * The monotone piecewise cubic Hermite package, its message handler and its
 * machine constants.
 *
 * These routines keep the calling convention of the package: names end in an
 * underscore, every argument is passed by address, extents come ahead of the
 * arrays they size, logicals are 4-byte integers (0 false), and every character
 * argument is followed, after all other arguments, by its length (size_t).
 * Values and derivatives are stored as F(INCFD, N) and D(INCFD, N): only the
 * first row is used.  IERR is 0 on success, positive for a warning the routine
 * describes, negative for an error.
 *
 * Errors are reported through xermsg_: under the starting control setting (2)
 * every error prints a message block on standard output and ends the process
 * with status 1; xsetf_ lowers the setting so that the routines return their
 * negative IERR instead.
 */
#ifndef KESTRO_PCHIP_H
#define KESTRO_PCHIP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Message handler. */
/* Reports a message of a level (-1 warning once, 0 warning, 1 recoverable, 2 fatal). */
void xermsg_(const char *librar, const char *subrou, const char *messg, const int32_t *nerr, const int32_t *level,
             size_t librar_len, size_t subrou_len, size_t messg_len);
/* Prints messg on every output unit, each line prefixed, wrapped at nwrap; "$$" breaks a line. */
void xerprn_(const char *prefix, const int32_t *npref, const char *messg, const int32_t *nwrap, size_t prefix_len,
             size_t messg_len);
/* Records a message (kflag >= 1; icount its count, 0 when the table is full) or prints the
 * table of messages (kflag <= 0; kflag 0 also clears it). */
void xersve_(const char *librar, const char *subrou, const char *messg, const int32_t *kflag, const int32_t *nerr,
             const int32_t *level, int32_t *icount, size_t librar_len, size_t subrou_len, size_t messg_len);
/* Returns parameter iwhich (1..9) as it was; stores ivalue when iset is true.  An index out
 * of range, or a unit count (parameter 5) outside 1..5, is ignored. */
int32_t j4save_(const int32_t *iwhich, const int32_t *ivalue, const int32_t *iset);
/* Ends the process with status 1. */
void xerhlt_(const char *messg, size_t messg_len);
void xercnt_(const char *librar, const char *subrou, const char *messg, const int32_t *nerr, const int32_t *level,
             int32_t *kontrl, size_t librar_len, size_t subrou_len, size_t messg_len);
void fdump_(void);
/* Sets (-2..2) and reads the control flag. */
void xsetf_(const int32_t *kontrl);
void xgetf_(int32_t *kontrl);
/* Prints the table of messages and clears it. */
void xerdmp_(void);
/* The output units (unit 0: standard output) and their number. */
void xgetua_(int32_t *iunita, int32_t *n);

/* ---- Machine constants; an index out of range ends the process with status 1. */
int32_t i1mach_(const int32_t *i);
double d1mach_(const int32_t *i);
float r1mach_(const int32_t *i);

/* ---- Derivatives and evaluation. */
/* Derivatives: monotone (spline 0) or the not-a-knot cubic spline (wk of lwk >= 2n reals). */
void dpchez_(const int32_t *n, const double *x, const double *f, double *d, const int32_t *spline, double *wk,
             const int32_t *lwk, int32_t *ierr);
/* Monotone derivatives; ierr > 0 counts the switches of direction of the data. */
void dpchim_(const int32_t *n, const double *x, const double *f, double *d, const int32_t *incfd, int32_t *ierr);
/* -1, 0 or 1: the product of the signs of the arguments. */
double dpchst_(const double *arg1, const double *arg2);
/* Values (and derivatives) at ne points; ierr > 0 counts points outside [x(1), x(n)]. */
void dpchfe_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
             int32_t *skip, const int32_t *ne, const double *xe, double *fe, int32_t *ierr);
void dpchfd_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
             int32_t *skip, const int32_t *ne, const double *xe, double *fe, double *de, int32_t *ierr);
/* One cubic given by its end points, values and slopes; next counts points left and right. */
void dchfev_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
             const double *d2, const int32_t *ne, const double *xe, double *fe, int32_t *next, int32_t *ierr);
void dchfdv_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
             const double *d2, const int32_t *ne, const double *xe, double *fe, double *de, int32_t *next,
             int32_t *ierr);
void dpchev_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *nval,
             const double *xval, double *fval, double *dval, int32_t *ierr);

/* ---- Integration. */
double dpchqa_(const int32_t *n, const double *x, const double *f, const double *d, const double *a,
               const double *b, int32_t *ierr);
double dpchia_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
               int32_t *skip, const double *a, const double *b, int32_t *ierr);
double dchfie_(const double *x1, const double *x2, const double *f1, const double *f2, const double *d1,
               const double *d2, const double *a, const double *b);
double dpchid_(const int32_t *n, const double *x, const double *f, const double *d, const int32_t *incfd,
               int32_t *skip, const int32_t *ia, const int32_t *ib, int32_t *ierr);

/* ---- Cubic spline derivatives. */
/* End conditions ic = (ibeg, iend): 0 not-a-knot, 1 first and 2 second derivative vc,
 * 3 and 4 the derivative of the quadratic or cubic through the end points; wk of nwk >= 2n. */
void dpchsp_(const int32_t *ic, const double *vc, const int32_t *n, const double *x, const double *f, double *d,
             const int32_t *incfd, double *wk, const int32_t *nwk, int32_t *ierr);
/* The derivative at x(k) of the polynomial through k points from their slopes s (overwritten). */
double dpchdf_(const int32_t *k, const double *x, double *s, int32_t *ierr);

#ifdef __cplusplus
}
#endif

#endif
