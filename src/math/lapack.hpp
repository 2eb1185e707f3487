// The LAPACK and BLAS routines the library calls, with their Fortran calling
// convention: every argument by address, then one length per character
// argument.  Whatever library CMake's LAPACK search finds (reference LAPACK,
// OpenBLAS) provides them.
#pragma once

#include <cstddef>

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetri_(const int *n, double *a, const int *lda, const int *ipiv, double *work, const int *lwork, int *info);
void dsytrd_(const char *uplo, const int *n, double *a, const int *lda, double *d, double *e, double *tau,
             double *work, const int *lwork, int *info, std::size_t uplo_len);
void dsterf_(const int *n, double *d, double *e, int *info);
void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w, double *work,
            const int *lwork, int *info, std::size_t jobz_len, std::size_t uplo_len);
void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n, double *a, const int *lda, double *s,
             double *u, const int *ldu, double *vt, const int *ldvt, double *work, const int *lwork, int *info,
             std::size_t jobu_len, std::size_t jobvt_len);
void dpotrf_(const char *uplo, const int *n, double *a, const int *lda, int *info, std::size_t uplo_len);
void dgemm_(const char *transa, const char *transb, const int *m, const int *n, const int *k, const double *alpha,
            const double *a, const int *lda, const double *b, const int *ldb, const double *beta, double *c,
            const int *ldc, std::size_t transa_len, std::size_t transb_len);
}
