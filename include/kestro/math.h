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

#ifdef __cplusplus
}
#endif

#endif
