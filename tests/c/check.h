/* The check macro of the C test programs: a failed check is reported on
 * standard error and counted in `failures`, which the program returns. */
#ifndef KESTRO_TESTS_C_CHECK_H
#define KESTRO_TESTS_C_CHECK_H

#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

#endif
