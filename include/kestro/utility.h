/*
 * Array services (module utility): making, filling, copying, reordering and
 * searching arrays, small scalar operations and the process arrival list.
 *
 * Arrays are column-major with 1-based meaning; their extents follow them as
 * separate arguments. No routine reports an error: a request that cannot be
 * served returns its documented preset, and a search that finds nothing
 * returns `notfound` (-1 when the pointer is NULL). Values compare exactly
 * (0.0 equals -0.0, a NaN equals nothing). Optional arguments may be NULL.
 */
#ifndef KESTRO_UTILITY_H
#define KESTRO_UTILITY_H

#include <stdint.h>

#include "kestro/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Zeros: every element of a(l, m, ...) to 0.0; an extent of 0 or less does nothing. */
void IniVectorwithZeros(double *a, const int32_t *n);
void IniMatrixwithZeros(double *a, const int32_t *n, const int32_t *m);
void Ini3DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n);
void Ini4DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o);
void Ini5DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                         const int32_t *p);
void Ini6DArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                         const int32_t *p, const int32_t *q);
void IniMaxDArraywithZeros(double *a, const int32_t *l, const int32_t *m, const int32_t *n, const int32_t *o,
                           const int32_t *p, const int32_t *q, const int32_t *r);

/* ---- Fills (no C names: module procedures of utility). Every element of
 * a(n1, ..., nr) becomes lambda; r is the number in the name. */
void __utility_MOD_int_fillvectorwithscalar(int32_t *a, const int32_t *n1, const int32_t *lambda);
void __utility_MOD_int_fillmatrixwithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *lambda);
void __utility_MOD_int_fill3darraywithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                             const int32_t *lambda);
void __utility_MOD_int_fill4darraywithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                             const int32_t *n4, const int32_t *lambda);
void __utility_MOD_int_fill5darraywithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                             const int32_t *n4, const int32_t *n5, const int32_t *lambda);
void __utility_MOD_int_fill6darraywithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                             const int32_t *n4, const int32_t *n5, const int32_t *n6,
                                             const int32_t *lambda);
void __utility_MOD_int_fill7darraywithscalar(int32_t *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                             const int32_t *n4, const int32_t *n5, const int32_t *n6,
                                             const int32_t *n7, const int32_t *lambda);
void __utility_MOD_real_fillvectorwithscalar(double *a, const int32_t *n1, const double *lambda);
void __utility_MOD_real_fillmatrixwithscalar(double *a, const int32_t *n1, const int32_t *n2, const double *lambda);
void __utility_MOD_real_fill3darraywithscalar(double *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                              const double *lambda);
void __utility_MOD_real_fill4darraywithscalar(double *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                              const int32_t *n4, const double *lambda);
void __utility_MOD_real_fill5darraywithscalar(double *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                              const int32_t *n4, const int32_t *n5, const double *lambda);
void __utility_MOD_real_fill6darraywithscalar(double *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                              const int32_t *n4, const int32_t *n5, const int32_t *n6,
                                              const double *lambda);
void __utility_MOD_real_fill7darraywithscalar(double *a, const int32_t *n1, const int32_t *n2, const int32_t *n3,
                                              const int32_t *n4, const int32_t *n5, const int32_t *n6,
                                              const int32_t *n7, const double *lambda);

/* ---- Special matrices and vectors. */
/* a(n, n) = identity. */
void GetIdentityMatrix(double *a, const int32_t *n);
/* a(n, n) = lambda on the diagonal, 0.0 elsewhere. */
void GetScalarMatrix(double *a, const int32_t *n, const double *lambda);
/* a(n, n) = 1.0 on the k-th diagonal (k > 0 above, k < 0 below), 0.0 elsewhere. */
void GetEyeMatrix(double *a, const int32_t *k, const int32_t *n);
/* lu(n, n) = the lower triangle of a (upper when luflag is true), diagonal included. */
void GetTriangularMatrix(double *lu, const double *a, const int32_t *n, const kestro_logical1 *luflag);
/* lu(nlu, nlu) from a packed triangle of at least nlu(nlu+1)/2 values; order 'F'
 * without upper gives the lower triangle read row by row. */
void GetUnpackedTriangle(double *lu, const double *packed, const int32_t *nlu, const int32_t *np, const char *order,
                         const kestro_logical1 *upper);
/* matrix(n, m) = the first n*m values of list in column-major order. */
void GetUnpackedMatrixFromList(double *matrix, const double *list, const int32_t *n, const int32_t *m);
/* packed(npack) = the entries of list(nlist) that compare with condition by cflag
 * (1 <, 2 <=, 3 ==, 4 >=, 5 >, 6 /=), then padding; only padding when they do not fit. */
void GetPackedList(double *packed, const double *list, const double *condition, const double *padding,
                   const int32_t *cflag, const int32_t *npack, const int32_t *nlist);
/* The off-diagonal entries of a(n, n) from x(k): the lower triangle column by column,
 * then (unless k is n(n-1)/2) the upper triangle row by row. */
void FillMatrixOffDiagonals(double *a, const double *x, const int32_t *n, const int32_t *k);
/* x(n) equally spaced from a towards b, x(i) = (i-1)*step + a: the last value is b (up to
 * rounding) unless endpoint is false; a single point with the end point is a. */
void Linspace(double *x, const double *a, const double *b, const int32_t *n, const kestro_logical1 *endpoint);
/* a(n) = 1, 2, ..., n. */
void GetIndexVector(int32_t *a, const int32_t *n);

/* ---- Copies, symmetric completion and scatter. */
void fVectorCopy(const double *a, double *b, const int32_t *n);
void iVectorCopy(const int32_t *a, int32_t *b, const int32_t *n);
void cVectorCopy(const kestro_complex *a, kestro_complex *b, const int32_t *n);
void MatrixCopy(const double *a, double *b, const int32_t *n, const int32_t *m);
/* sym(i, j) = lu(i, j) unless it is 0.0, else lu(j, i). */
void Symmetrize(const double *lu, double *sym, const int32_t *n);
/* Columns mask(1..n) of a(m, ...) taken from the same columns of b(m, n). */
void MatrixSort(double *a, const double *b, const int32_t *mask, const int32_t *m, const int32_t *n);
/* a(mask(k)) = b(mask(k)) for k = 1..n. */
void VectorSort(double *a, const double *b, const int32_t *mask, const int32_t *n);

/* ---- Joining, splitting, reversing, head or tail. */
/* ab = a(k, l) and b(m, n) side by side (ctype 0, m <= k) or one above the other
 * (ctype 1, n <= l); all zero for any other ctype. */
void MatrixConcatenation(const double *a, const double *b, double *ab, const int32_t *ctype, const int32_t *k,
                         const int32_t *l, const int32_t *m, const int32_t *n);
/* b(n/k, k): column c the c-th piece of a(n); all -1.0 unless k divides n. */
void VectorSplit(const double *a, double *b, const int32_t *k, const int32_t *n);
/* b(l/k, m, k): every column of a(l, m) split as by VectorSplit. */
void MatrixSplit(const double *a, double *b, const int32_t *k, const int32_t *l, const int32_t *m);
void VectorFlip(const double *a, double *b, const int32_t *n);
/* Reverses the order of the rows (dimflag >= 0) or of the columns (dimflag < 0). */
void MatrixFlip(const double *a, double *b, const int32_t *n, const int32_t *m, const int32_t *dimflag);
/* The last nsub entries of array (the first when tail is false) and their first and
 * last position; subslice (-1, -1) and subarray 1.0 when nsub exceeds narray. */
void GetSubArray(double *subarray, int32_t *subslice, const double *array, const int32_t *narray,
                 const int32_t *nsub, const kestro_logical1 *tail);
/* iloc = the stable sorting permutation of xarr: ascending, descending for sflag -1, NaN last. */
void fGetContinuous(const double *xarr, const int32_t *xdim, int32_t *iloc, const int32_t *sflag);
void iGetContinuous(const int32_t *xarr, const int32_t *xdim, int32_t *iloc, const int32_t *sflag);

/* ---- Searching, membership and merging. */
int32_t iFindLocation(const int32_t *element, const int32_t *array, const int32_t *ndim, const int32_t *notfound);
int32_t fFindLocation(const double *element, const double *array, const int32_t *ndim, const int32_t *notfound);
int32_t cFindLocation(const kestro_complex *element, const kestro_complex *array, const int32_t *ndim,
                      const int32_t *notfound);
int32_t iFindSubArray(const int32_t *subarray, const int32_t *array, const int32_t *sdim, const int32_t *ndim,
                      const int32_t *notfound);
int32_t fFindSubArray(const double *subarray, const double *array, const int32_t *sdim, const int32_t *ndim,
                      const int32_t *notfound);
int32_t cFindSubArray(const kestro_complex *subarray, const kestro_complex *array, const int32_t *sdim,
                      const int32_t *ndim, const int32_t *notfound);
/* ainb(i) = location of a(i) in b(1:n), -1 when absent. */
void iGetPairs(int32_t *ainb, const int32_t *a, const int32_t *b, const int32_t *n);
void fGetPairs(int32_t *ainb, const double *a, const double *b, const int32_t *n);
kestro_logical1 iInList(const int32_t *scalar, const int32_t *list, const int32_t *n);
kestro_logical1 fInList(const double *scalar, const double *list, const int32_t *n);
kestro_logical1 iExList(const int32_t *scalar, const int32_t *list, const int32_t *n);
kestro_logical1 fExList(const double *scalar, const double *list, const int32_t *n);
/* indices(n) = the positions of the entries of a that are not in sub, then -1. */
void GetIndicesExcludingSubArray(int32_t *indices, const int32_t *a, const int32_t *sub, const int32_t *n,
                                 const int32_t *nsub);
/* merged(nx + ny) = the values of x not in y (repeats kept), the values of y not in x,
 * then the values common to both once each, then defval (the largest value by default). */
void iGetMerged(int32_t *merged, const int32_t *x, const int32_t *y, const int32_t *nx, const int32_t *ny,
                const int32_t *defval);
void fGetMerged(double *merged, const double *x, const double *y, const int32_t *nx, const int32_t *ny,
                const double *defval);

/* ---- Scalars, logical operators and the process arrival list. */
void iSwap(int32_t *a, int32_t *b);
void fSwap(double *a, double *b);
void cSwap(kestro_complex *a, kestro_complex *b);
kestro_logical1 iBounded(const int32_t *x, const int32_t *xlow, const int32_t *xup);
kestro_logical1 fBounded(const double *x, const double *xlow, const double *xup);
/* i += step (1 when NULL). */
void iINC(int32_t *i, const int32_t *step);
void fINC(double *f, const double *step);
kestro_logical1 lXOR(const kestro_logical1 *a, const kestro_logical1 *b);
kestro_logical1 lNOR(const kestro_logical1 *a, const kestro_logical1 *b);
kestro_logical1 lNAND(const kestro_logical1 *a, const kestro_logical1 *b);
/* Marks process procid (1..maxid) as arrived in jobdata's processid; true once all
 * have arrived. Never waits. An id outside 1..maxid is refused (false). */
kestro_logical1 ProcessLock(const int32_t *procid, const int32_t *maxid, const int32_t *wflag);
/* Makes every id of the arrival list pending again; ierror 0. */
void ProcessUnLock(int32_t *ierror);

#ifdef __cplusplus
}
#endif

#endif
