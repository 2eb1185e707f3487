/* Argument checks of the Python layer, called from the check() expressions of
 * the signature files.  Sizes are computed in 64 bits so that no check
 * overflows. */
#ifndef KESTRO_PYTHON_CHECKS_H
#define KESTRO_PYTHON_CHECKS_H

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when every one of the first count entries of v lies in lo..hi. */
int kestro_within(const int *v, long count, long lo, long hi);
/* Capacity of growable list listid of type ifflag; the largest long when it is absent. */
long kestro_list_capacity(int listid, int ifflag);
/* Length of s (len characters) with every run of blanks made one blank and the
 * trailing blanks gone. */
long kestro_reduced_length(const char *s, long len);
/* 1 when the integer format aw (aw_len characters) writes each of jrray(n, m)
 * into jmax characters. */
int kestro_int2aformat_fits(const int *jrray, long n, long m, const char *aw, long aw_len, long jmax);
/* |k| */
long kestro_abs(long k);
/* 1 for a transpose flag BLAS accepts: N, T or C in either case. */
int kestro_transpose_flag(const char *flag);
/* The inner extent k of a product whose first factor has len_a entries and m rows
 * (columns when transposed). */
long kestro_gemm_inner(const char *sa, long len_a, long m);
/* 1 when factors of len_a and len_b entries hold op(a) (m x k) and op(b) (k x n). */
int kestro_gemm_fits(const char *sa, const char *sb, long m, long n, long k, long len_a, long len_b);
/* The smaller of a and b. */
long kestro_min(long a, long b);
/* The numpy type of a complex-mode array of a procedure: complex128 for a
 * real one while the running routine is in complex mode, else type. */
int kestro_switched_type(int type);
/* v, or 0 when v is negative. */
long kestro_nonnegative(long v);
/* 1 when n plies of counts[p] section points each (none below 1) fit in
 * `columns` stored section points. */
int kestro_section_points_fit(const int *counts, long n, long columns);
/* 1 when MatrixConcatenation of a(k, l) and b(m, n) with ctype fits its result:
 * b's rows within a's for ctype 0, b's columns within a's for ctype 1, and
 * extents of the result that are not negative and fit 4-byte integers. */
int kestro_concatenation_fits(long ctype, long k, long l, long m, long n);
/* n(n+1)/2: the length of a packed triangle of order n. */
long kestro_triangle(long n);
/* a*b, the length a list of a*b values needs. */
long kestro_product(long a, long b);
/* 1 when a list of lenx values serves the off-diagonals of an n x n matrix
 * filled from k values: n(n-1)/2 values when k is n(n-1)/2, else twice that. */
int kestro_offdiagonals_fit(long lenx, long n, long k);

/* 1 when element registration at counter iele with nconnect nodes stays within
 * the shared element arrays (or they are absent). */
int kestro_connectivity_fits(long iele, long nconnect);

/* After Box_GetXSection: -1 with _kestro.error set to the call's message when
 * it was refused, else 0. */
int kestro_box_raise(void);

/* 1 when PascalTriangle(n, k) is exact (no 64-bit product overflows). */
int kestro_binomial_fits(int n, int k);

/* The extent v of an array the wrapper creates: v itself when it fits the
 * routines' 4-byte extents, else 0 with _kestro.error set (the wrapper then
 * converts no further argument and calls nothing). */
long kestro_extent(long v);
/* Sets *len to the length v of a string the wrapper converts and returns 1;
 * refuses (0 with _kestro.error set, naming routine and string) a negative
 * length and one of 2^31 - 1 or more, which with the terminator the conversion
 * adds overflows a 4-byte integer. */
int kestro_string_length(int *len, long v, const char *routine, const char *name);
/* A stated extent of an array argument given as `given`: numpy's conversion
 * takes an extent 0 for 1 and so refuses an array of that rank with extent 0
 * there; for such an array (or list) -1, the array's own extent; else extent. */
npy_intp kestro_stated_extent(PyObject *given, int rank, int dim, npy_intp extent);

/* Procedure arguments: an array handed to the Python callable is a copy that
 * the callable may keep (rank, extents, numpy type and the routine's data). */
PyObject *kestro_lend_array(int rank, npy_intp *dims, int type, char *data);
/* Copies what the callable left in the array at position i of its arguments
 * back into the routine's data, lent as (rank, dims, type); 0, or -1 with
 * _kestro.error set (naming the callable and the argument) when the callable
 * resized that array or changed its type. */
int kestro_take_back(PyObject *arglist, int i, char *data, int rank, const npy_intp *dims, int type,
                     const char *callable, const char *name);
/* 0 when the callable returned `count` values (the outputs `names`; kinds:
 * per output 'n' a number, 'a' an array), else -1 with _kestro.error set. */
int kestro_callback_returned(PyObject *returned, int count, const char *callable, const char *names,
                             const char *kinds);
/* The same for a callable that is lent every value it returns: it may also
 * return None (an empty tuple here), and its changes to them stand. */
int kestro_callback_returned_or_none(PyObject *returned, int count, const char *callable, const char *names,
                                     const char *kinds);
/* How many arguments a callable takes: all when its code takes *args, else counted. */
Py_ssize_t kestro_callable_arguments(PyObject *fun, Py_ssize_t counted, Py_ssize_t all);
/* Stores the number the callable returned as its output `name` (value) in
 * *dest, of numpy type `type`, and returns 1, when the argument checks would
 * take it for a scalar argument of that type (one value of the same kind that
 * fits); else 0 with _kestro.error set naming the callable and the output. */
int kestro_callback_number(PyObject *value, int type, void *dest, const char *callable, const char *name);
/* The array the callable returned as its output `name`, converted to (type,
 * rank, dims) when its values pass the argument checks and it holds the values
 * the routine lent: value itself (borrowed) or a new reference; else NULL with
 * _kestro.error set naming the callable and the output. */
PyArrayObject *kestro_callback_array(int type, const npy_intp *dims, int rank, PyObject *value, const char *callable,
                                     const char *name);
/* Replaces the error of an array result that could not be converted with
 * _kestro.error naming the callable and the result. */
void kestro_callback_result_refused(const char *callable, const char *name);

#ifdef __cplusplus
}
#endif

#endif
