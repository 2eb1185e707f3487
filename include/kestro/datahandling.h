/*
 * Creation and release of the shared arrays (module datahandling).
 *
 * The creation routines create only the arrays that do not exist yet (an
 * existing array keeps its shape and contents) and never resize; a count
 * below 1 gives an extent of 0.  The status, always 0, comes first.
 */
#ifndef KESTRO_DATAHANDLING_H
#define KESTRO_DATAHANDLING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* elemlist, elemkind (kelem), elemnodes (knodes, kelem), elemcurvatures (2, kelem),
 * elemreforientation (7, kelem) and nsectionpoints (kelem). */
void __datahandling_MOD_allocateelementdata(int32_t *istat, const int32_t *knodes,
                                            const int32_t *kelem);

/* nodesmotion (kdof, knodes, kelem), nodalcoords (3, knodes, kelem),
 * tnodalmatrices (3, 3, 8, kelem) and tcurvmatrices (3, 3, kelem). */
void __datahandling_MOD_allocatenodaldata(int32_t *istat, const int32_t *kdof,
                                          const int32_t *knodes, const int32_t *kelem);

/* The damage regions of ndmg = max(ndmg, 1, kdmg) damage sets, dmgplane and the
 * buckling tables; the call that creates damagedds zeroes all six region arrays. */
void __datahandling_MOD_allocatedamagedata(int32_t *istat, const int32_t *kplies,
                                           const int32_t *ksec, const int32_t *kdmg);

/* Releases the shared arrays of an analysis; scalars keep their values. */
void __datahandling_MOD_deallocall(int32_t *istat);

#ifdef __cplusplus
}
#endif

#endif
