/*
 * The error record (module errorhandling).
 *
 * Routines that meet bad input record the first error with xerr and carry on;
 * the caller reads __errorhandling_MOD_errstat, errstring (80 characters,
 * blank-padded), errintv, errrealv and errasciim (see kestro/shared_data.h)
 * and clears the record with rsxerr.
 */
#ifndef KESTRO_ERRORHANDLING_H
#define KESTRO_ERRORHANDLING_H

#include <stddef.h>
#include <stdint.h>

#include "kestro/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Records an error unless one is recorded already (errstat not 0).
 *   lop      error code (the library uses -1, -2 and -3)
 *   xerrmsg  the message, xerrmsg_len characters: cut or blank-padded to 80
 *   intv     nintv integers of context (may be NULL when nintv is 0)
 *   realv    nrealv reals of context (may be NULL when nrealv is 0)
 *   asciim   nrows x ncols character codes, column-major, one name per column;
 *            only rows 1 to 8 are kept
 *   pyerr    optional (NULL: absent); when present and 0 the message is
 *            printed on standard output and the process ends with status 1
 *            instead of recording
 * Like every routine without a C name, xerr takes the length of its character
 * argument as a last, extra argument.
 */
void __errorhandling_MOD_xerr(const int32_t *lop, const char *xerrmsg, const int32_t *intv,
                              const int32_t *nintv, const double *realv, const int32_t *nrealv,
                              const int32_t *asciim, const int32_t *nrows, const int32_t *ncols,
                              int32_t *pyerr, size_t xerrmsg_len);

/* With lop true: clears the record (errstat 0, context arrays dropped, errstring kept)
 * and sets reset to 1.  With lop false: sets reset to 0 and changes nothing. */
void __errorhandling_MOD_rsxerr(int32_t *reset, const kestro_logical1 *lop);

#ifdef __cplusplus
}
#endif

#endif
