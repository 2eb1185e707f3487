/*
 * Vector and matrix arithmetic and dense matrix algebra (module math).
 *
 * Matrices are column-major 8-byte reals with 1-based meaning; extents follow
 * the arrays as separate arguments, and the leading dimension of a matrix is
 * its first extent.  The arithmetic is plain loops; the dense algebra calls
 * LAPACK and BLAS on private copies and never changes its inputs.  Routines
 * that update in place overwrite their first argument.
 */
#ifndef KESTRO_MATH_H
#define KESTRO_MATH_H

#include <stdint.h>

#include "kestro/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Dense matrix algebra. */
/* ainv = a^-1 (LU factorisation); an exactly zero pivot records -2 "Matrix inverse becomes
 * numerically singular!" and ainv then holds the LU factors of a. */
void MatrixInverse(const double *a, double *ainv, const int32_t *n);
/* d = the eigenvalues of the symmetric a (upper triangle read), ascending. */
void MatrixEigenvalues(const double *a, double *d, const int32_t *n);
/* The columns of z = orthonormal eigenvectors of the symmetric a, in the order of the
 * ascending eigenvalues; these go to eigvals (optional) when all its entries are < 0. */
void MatrixEigenVectors(const double *a, double *z, const int32_t *n, double *eigvals);
/* a(m,n) = u(m,m) s(m,n) v(n,n): v holds the right singular vectors as rows (not transposed). */
void SingularValueDecomposition(const double *a, double *u, double *s, double *v, const int32_t *m,
                                const int32_t *n);
/* c = the Cholesky factor U (a = U^T U) in the upper triangle, the strict lower triangle of a
 * below it; every entry -1.7976931348623157e308 when a is not positive definite. */
void CholeskyFactorization(const double *a, double *c, const int32_t *n);
/* d(m,n) = alpha op(a) op(b) + beta c with op the transpose for sa/sb "T" (any case) and the
 * identity for "N"; op(a) is m x k, op(b) k x n. */
void GeneralMatrixProduct(double *d, const double *alpha, const double *a, const double *b, const double *beta,
                          const double *c, const int32_t *m, const int32_t *n, const int32_t *k, const char *sa,
                          const char *sb);
/* lud = det(a) from an LU factorisation; 0 and code -2 "Singularity in LU-factorization
 * computation" for an exactly zero pivot. */
void LUFactDeterminant(double *lud, const double *a, const int32_t *n);
/* Laplace expansion along the first row, term i weighted by pdflag^(i-1) (NULL: -1, the
 * determinant; +1 the permanent). */
void Determinant(double *pd, const double *a, const int32_t *n, const int32_t *pdflag);
/* The dominant eigenpair by vector iteration (maxiter NULL: 2000; startvec NULL: all 1.0;
 * abstol NULL: 1e-10); no convergence records -2 "No convergence in von Mises eigenvalue
 * computation". */
void PowerIteration(double *eigenval, double *eigenvec, const double *a, const int32_t *n, const int32_t *maxiter,
                    const double *startvec, const double *abstol);
/* Conjugate gradients for a x = b (a symmetric positive definite, n = m) from x0. */
void ConjugateGradient(double *xgrad, const double *a, const double *b, const double *x0, const int32_t *n,
                       const int32_t *m);
/* thouse = I - 2 v v^T. */
void GetHouseHolderTransformationMatrix(double *thouse, const double *v, const int32_t *n);

/* ---- Products. */
/* c(l,m) = a(l,n) b(n,m); zero entries of b are skipped. */
void MatrixProduct(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n,
                   const int32_t *m);
/* c(n) = a(n,m) b(m). */
void MatrixVectorProduct(const double *a, const double *b, double *c, const int32_t *n, const int32_t *m);
/* c(n) = b(m,n)^T a(m). */
void VectorMatrixProduct(const double *a, const double *b, double *c, const int32_t *n, const int32_t *m);
/* c(n) = S b(n), S symmetric stored as its upper triangle row by row in a. */
void LUMatrixVectorProduct(const double *a, const double *b, double *c, const int32_t *m, const int32_t *n);
/* c(m,n) = a(m) b(n)^T. */
void DyadenProduct(const double *a, const double *b, double *c, const int32_t *m, const int32_t *n);
/* ab(ma pb, na qb) = a(ma,na) (x) b(pb,qb). */
void KroneckerProduct(const double *a, const double *b, double *ab, const int32_t *ma, const int32_t *na,
                      const int32_t *pb, const int32_t *qb);
/* c = a * b (a / b) entry by entry where both are nonzero, else 0. */
void HadamardProduct(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n);
void HadamardDivision(const double *a, const double *b, double *c, const int32_t *l, const int32_t *n);
void DotProduct(const double *a, const double *b, double *c, const int32_t *l);
void CrossProduct(const double *a, const double *b, double *c);
/* d = a x (b x c). */
void VectorTripleProduct(const double *a, const double *b, const double *c, double *d);
/* d = a . (b x c). */
void ScalarTripleProduct(const double *a, const double *b, const double *c, double *d);

/* ---- In-place sums and scalings: the first argument is updated. */
void VectorSum(double *a, const double *b, const int32_t *n);
void VectorSub(double *a, const double *b, const int32_t *n);
void MatrixSum(double *a, const double *b, const int32_t *n, const int32_t *m);
void MatrixSub(double *a, const double *b, const int32_t *n, const int32_t *m);
/* a = a + c b. */
void VectorScalarMultiplication(double *a, const double *b, const double *c, const int32_t *n);
void MatrixScalarMultiplication(double *a, const double *b, const double *c, const int32_t *n, const int32_t *m);
/* a = c a, entries equal to 0 left untouched. */
void VectorAmplify(double *a, const double *c, const int32_t *n);
void MatrixAmplify(double *a, const double *c, const int32_t *n, const int32_t *m);

/* ---- Matrix services. */
/* sym = (a + a^T) / 2. */
void MatrixSymmetrize(const double *a, double *sym, const int32_t *n);
/* diag(n - |k|) = the k-th diagonal (k > 0 above the main diagonal). */
void MatrixDiagonal(double *diag, const double *a, const int32_t *k, const int32_t *n);
/* b(m,n) = a(n,m)^T. */
void MatrixTranspose(const double *a, double *b, const int32_t *n, const int32_t *m);
double Trace(const double *x, const int32_t *n);
/* z = (x - min) / (max - min), NaN entries ignored for min and max. */
void MatrixNormalize(const double *x, double *z, const int32_t *n, const int32_t *m);
void VectorNormalize(const double *x, double *z, const int32_t *n);
/* Running sums from seed (NULL: 0.0) and running products from seed (NULL: 1.0). */
void CumulativeSum(double *csum, const double *a, const int32_t *n, const double *seed);
void CumulativeProduct(double *cprod, const double *a, const int32_t *n, const double *seed);
/* -2 strictly falling, -1 not rising, 2 strictly rising, 1 not falling, else 0. */
int32_t Monoticity(const double *x, const int32_t *n);
/* The leading principal minor of order i of sm(k,k). */
double GetPrincipleMinor(const double *sm, const int32_t *i, const int32_t *k);
/* The determinant of sm(k,k) without row j and column i. */
double GetFirstMinor(const double *sm, const int32_t *i, const int32_t *j, const int32_t *k);
/* (-1)^(i+j) mij. */
double GetCofactor(const double *mij, const int32_t *i, const int32_t *j);

/* ---- Ellipse, triangle, parabola and class percentile (angles in degrees). */
/* The half-extents along x and y of the box around the ellipse of semi-axes a, b turned by phi_d. */
void GetBoundingBoxFromEllipse(double *xybound, const double *a, const double *b, const double *phi_d);
/* The distance from the centre to the ellipse in the direction phi_d from the a axis. */
void GetRadiusOfEllipse(double *r, const double *a, const double *b, const double *phi_d);
/* oud = (A, B, C) of y = A x^2 + B x + C through the points ind(3,2) (abscissas, ordinates). */
void GetParabolaCoefficients(const double *ind, double *oud);
/* Signed area of a triangle (positive counter-clockwise). */
double __math_MOD_gettrianglearea(const double *x1, const double *y1, const double *x2, const double *y2,
                                  const double *x3, const double *y3);
/* The class-based percentile of array(ndim) with classes of width classsize. */
void __math_MOD_getpercentile(const double *array, const int32_t *ndim, const double *percentile, double *event,
                              const int32_t *classsize);

/* ---- Maximum search by golden sections or a scan, driven by the caller (reverse
 * communication): IniGoldenSearch starts it; then, while finish is false, call GSSAFE
 * and, when update is true, store the function value at xi in yi. */
void IniGoldenSearch(double *x, double *y, double *xmove, double *lplimits, int32_t *incr, int32_t *subcall,
                     kestro_logical1 *golden, kestro_logical1 *finish, const double *xlow, const double *xup,
                     const double *dx, const int32_t *gsflag, const int32_t *npoints);
void GSSAFE(double *xi, double *yi, const double *dx, double *x, double *y, double *xmove, double *ymove,
            double *lplimits, int32_t *xdir, int32_t *increment, int32_t *proc, kestro_logical1 *isgolden,
            kestro_logical1 *update, kestro_logical1 *finish, const double *defaultvalue, const int32_t *npoints);
void GetNextFromGoldenSearch(double *xnext, double *dx, double *x, const double *y, double *xmove, double *ymove,
                             int32_t *xdir, int32_t *increment, const int32_t *npoints);
/* The abscissa that closes a golden search: the vertex of the parabola through the best
 * three bracket points when it opens downwards inside the bracket, else the best bracket point. */
void GetMaximumFromGoldenSearch(double *xmax, const double *y, const double *xmove, const double *ymove,
                                const double *defaultvalue, const int32_t *xdir, const int32_t *increment,
                                const int32_t *npoints);

/* ---- Root finders over a function the caller gives (module procedures).  The function
 * of bdsafe and nrsafe returns f and its derivative df at x; that of fpsafe returns the
 * next iterate from fargs, whose first entry carries the current x. */
typedef void (*kestro_root_function)(double *f, double *df, const double *x, const double *args, const int32_t *na,
                                     const int32_t *nfun);
typedef void (*kestro_fixpoint_function)(double *xnew, const double *fargs, const int32_t *na,
                                         const int32_t *nfun);
void __math_MOD_bdsafe(kestro_root_function dfunc, const double *x1, const double *x2, double *root,
                       const double *args, const double *xacc, const int32_t *maxit, const int32_t *na,
                       const int32_t *nfun, int32_t *istat);
void __math_MOD_nrsafe(kestro_root_function dfunc, const double *x1, const double *x2, double *root,
                       const double *args, const double *xacc, const int32_t *maxit, const int32_t *na,
                       const int32_t *nfun, int32_t *istat);
void __math_MOD_fpsafe(kestro_fixpoint_function dfunc, double *xs, const double *args, const double *xacc,
                       const int32_t *maxit, const int32_t *na, const int32_t *nfun, int32_t *istat);

/* ---- Cubic equations. */
/* The three real roots, ascending, of t^3 + p t + q = 0 (all three the same when only one is real). */
void SpecialCase(const double *p, const double *q, double *xx1, double *xx2, double *xx3);
/* The same for a x^3 + b x^2 + c x + d = 0 (a not 0). */
void Solution3PE(const double *a, const double *b, const double *c, const double *d, double *x1, double *x2,
                 double *x3);
double __math_MOD_cuberoot(const double *a);
/* sqrt(1 + dy^2), the integrand of an arc length. */
double __math_MOD_partialcurvelength(const double *dy);

/* ---- Tables (x(n), y(n)) interpolated at p(np) into result(np): nearest abscissa (n >= 1),
 * piecewise linear (n >= 2, x ascending strictly), monotone cubic Hermite; integral and arc
 * length of the cubic Hermite interpolant over [a, b].  Bad tables end the process. */
void __math_MOD_nearestinterpolation(double *result, const double *x, const int32_t *n, const double *y,
                                     const double *p, const int32_t *np);
void __math_MOD_linearinterpolation(double *result, const double *x, const int32_t *n, const double *y,
                                    const double *p, const int32_t *np);
void __math_MOD_cubichermitianinterpolation(double *result, const double *x, const int32_t *n, const double *y,
                                            const double *p, const int32_t *np);
double __math_MOD_cubichermitianintegration(const double *x, const int32_t *n, const double *y, const double *a,
                                            const double *b);
double __math_MOD_cubichermitianarclength(const double *x, const int32_t *n, const double *y, const double *a,
                                          const double *b);
/* Least-squares polynomial of degree d through (vx(m), vy(m)): c(d + 1), constant term first;
 * a singular normal matrix records -2 "Problem in polynom fitting function". */
void __math_MOD_polynomialfitting(double *c, const double *vx, const double *vy, const int32_t *m,
                                  const int32_t *d);

#ifdef __cplusplus
}
#endif

#endif
