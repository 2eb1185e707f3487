/*
 * The linear and nearest-neighbour interpolation package: m-dimensional data
 * p_data(m, data_num) given at parameter values t_data(data_num), evaluated at
 * t_interp(interp_num) into p_interp(m, interp_num).  Package convention:
 * names end in an underscore, every argument by address, extents ahead of the
 * arrays they size, logicals as 4-byte integers.  Input errors print the
 * package's message on standard output and end the process with status 1.
 */
#ifndef KESTRO_INTERP_H
#define KESTRO_INTERP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Piecewise linear, extended linearly beyond the ends; t_data must ascend strictly and hold
 * at least two points. */
void interp_linear_(const int32_t *m, const int32_t *data_num, const double *t_data, const double *p_data,
                    const int32_t *interp_num, const double *t_interp, double *p_interp);
/* The data point nearest to each t_interp (t_data sorted either way, at least one point). */
void interp_nearest_(const int32_t *m, const int32_t *data_num, const double *t_data, const double *p_data,
                     const int32_t *interp_num, const double *t_interp, double *p_interp);
/* 1 when x(i) < x(i+1) for every i. */
int32_t r8vec_ascends_strictly_(const int32_t *n, const double *x);
/* The interval (left, right) of x(n) (n >= 2) to interpolate xval in. */
void r8vec_bracket_(const int32_t *n, const double *x, const double *xval, int32_t *left, int32_t *right);
/* The index of the entry of the sorted a(n) nearest to value; -1 when n < 1. */
int32_t r8vec_sorted_nearest_(const int32_t *n, const double *a, const double *value);

#ifdef __cplusplus
}
#endif

#endif
