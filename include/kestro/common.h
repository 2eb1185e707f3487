/* The C types, markers and export attribute that every header of kestro uses. */
#ifndef KESTRO_COMMON_H
#define KESTRO_COMMON_H

#include <stdint.h>

/* Marks what the library exports; everything else in it is hidden. */
#if defined(__GNUC__)
#define KESTRO_API __attribute__((visibility("default")))
#else
#define KESTRO_API
#endif

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
