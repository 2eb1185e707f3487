/*
 * Growable lists (module listhandling): nine process-global lists that grow as
 * values are appended, three each of 4-byte integers, 8-byte reals and complex
 * values.  A list is selected by listid (1, 2 or 3) and ifflag (0 integer,
 * 1 real, 2 complex); the lists themselves are the shared arrays
 * __listhandling_MOD_dynintlist1 ... dyncmplxlist3 of kestro/shared_data.h.
 *
 * An entry is free while it holds the free marker of its type (2147483647,
 * 1.7976931348623157e308, or that value as both parts of a complex value).
 * Appends fill entries from the front; a full list grows by exactly allocinc
 * entries and entries never move.  Change the lists through these routines:
 * the appends keep an index of the values a list holds, which sees the
 * routines' own writes but not direct writes into the arrays from C.
 */
#ifndef KESTRO_LISTHANDLING_H
#define KESTRO_LISTHANDLING_H

#include <stdint.h>

#include "kestro/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ierror of AllocateList for a list that exists already. */
#define KESTRO_LIST_EXISTS 5014

/* Creates the selected list with capacity le (0 when le < 1) when it is absent, then
 * sets every entry to the default of its type (the free marker when NULL).  ierror 0
 * when created, 5014 when it existed (its capacity is kept).  A listid or ifflag out
 * of range touches nothing and leaves ierror unwritten. */
void AllocateList(const int32_t *listid, const int32_t *ifflag, const int32_t *le, int32_t *ierror,
                  const kestro_complex *defcmplx, const double *defreal, const int32_t *defint);
/* Releases the selected list: ierror 0 when it existed, 1 when it did not. */
void DeallocateList(const int32_t *listid, const int32_t *ifflag, int32_t *ierror);
/* checkid true when the selected list exists. */
void GetAllocationStatus(kestro_logical1 *checkid, const int32_t *listid, const int32_t *ifflag);
/* -1 for an absent list, else the position of the first entry equal to the default of
 * its type (the free marker when NULL) minus 1, or the capacity when none is. */
int32_t GetSizeOfList(const int32_t *listid, const int32_t *ifflag, const kestro_complex *defcmplx,
                      const double *defreal, const int32_t *defint);

/* Appends scalar to the list (created with allocinc entries when absent).  With uniflag 1
 * a value already held anywhere in the list is not appended and iresult is 0; otherwise
 * iresult is 1.  allocinc (NULL: 500; below 1 counts as 1) is the growth step; defval
 * (NULL: the free marker) is the value of a free entry. */
void iAppendScalar2List(const int32_t *listid, const int32_t *scalar, const int32_t *uniflag, int32_t *iresult,
                        const int32_t *allocinc, const int32_t *defval);
void fAppendScalar2List(const int32_t *listid, const double *scalar, const int32_t *uniflag, int32_t *iresult,
                        const int32_t *allocinc, const double *defval);
void cAppendScalar2List(const int32_t *listid, const kestro_complex *scalar, const int32_t *uniflag,
                        int32_t *iresult, const int32_t *allocinc, const kestro_complex *defval);

/* Appends the narray values in order.  With uniflag 1 nothing is appended (and iresult is
 * not written) when the values already stand as a run among the filled entries. */
void iAppendArray2List(const int32_t *listid, const int32_t *array, const int32_t *narray, const int32_t *uniflag,
                       int32_t *iresult, const int32_t *allocinc, const int32_t *defval);
void fAppendArray2List(const int32_t *listid, const double *array, const int32_t *narray, const int32_t *uniflag,
                       int32_t *iresult, const int32_t *allocinc, const double *defval);
void cAppendArray2List(const int32_t *listid, const kestro_complex *array, const int32_t *narray,
                       const int32_t *uniflag, int32_t *iresult, const int32_t *allocinc,
                       const kestro_complex *defval);

/* Copies the first ncopy entries (at most the capacity) into copy: ierror 0, or -1 and
 * copy untouched when the list is absent. */
void iGetCopyOfList(const int32_t *listid, int32_t *copy, const int32_t *ncopy, int32_t *ierror);
void fGetCopyOfList(const int32_t *listid, double *copy, const int32_t *ncopy, int32_t *ierror);
void cGetCopyOfList(const int32_t *listid, kestro_complex *copy, const int32_t *ncopy, int32_t *ierror);

#ifdef __cplusplus
}
#endif

#endif
