/* Number kinds and absent-value markers shared by every part of kestro. */
#ifndef KESTRO_TYPES_H
#define KESTRO_TYPES_H

#include <stdint.h>

/* Byte widths of the number kinds (module types). */
#define KESTRO_CB 1  /* 1-byte logical */
#define KESTRO_I2 2  /* 2-byte integer */
#define KESTRO_I4 4  /* 4-byte integer: counts, indices, ids and flags */
#define KESTRO_I8 8  /* 8-byte integer */
#define KESTRO_SP 4  /* 4-byte real */
#define KESTRO_DP 8  /* 8-byte real: every computation */
#define KESTRO_QP 16 /* 16-byte real */

/* A 1-byte logical: 0 is false, any other value true; the library writes 1 for true. */
typedef int8_t kestro_logical1;

/* A complex number as two 8-byte reals, real part first. */
typedef struct kestro_complex {
    double re;
    double im;
} kestro_complex;

/* Absent values: an entry nobody has given. */
#define KESTRO_ABSENT_REAL 1.7976931348623157e308
#define KESTRO_ABSENT_INT 2147483647
/* A damage plane value that the damage card did not give. */
#define KESTRO_ABSENT_PLANE (-1.7976931348623157e308)
/* "Not set" marker of pelimits, elemlength and elemreforientation. */
#define KESTRO_NOT_SET_REAL (-1.0)
/* Result of a search that finds nothing. */
#define KESTRO_NOT_FOUND (-1)

#endif
