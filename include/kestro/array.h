/*
 * Allocatable arrays of the shared data.
 *
 * Every array of the shared data modules (peprops, elemlist, ...) is a
 * kestro_array exported as __<module>_MOD_<name>.  The descriptor is owned by
 * the library; its element type and rank never change.  The array exists while
 * `data` is not NULL; an array with an extent of 0 exists too.
 *
 * Storage is column-major (Fortran order) and indices are 1-based: element
 * (i1, i2, ..., ir) of a rank-r array sits at offset
 *     (i1-1) + extent[0]*((i2-1) + extent[1]*((i3-1) + ...))
 * counted in elements from `data`.
 *
 * Arrays are created, replaced and dropped only through the functions below:
 * the library and its callers share this one allocator, so an array created by
 * a C caller can be dropped by the library's deallocall and the other way
 * round.  Never assign `data` or `extent` directly.
 *
 *     int64_t ext[1] = {3};
 *     if (!kestro_array_exists(&__elementdata_MOD_elemlist))
 *         kestro_array_create(&__elementdata_MOD_elemlist, ext);
 *     int32_t *elemlist = (int32_t *)__elementdata_MOD_elemlist.data;
 *     elemlist[0] = 101;
 *     kestro_array_drop(&__elementdata_MOD_elemlist);
 */
#ifndef KESTRO_ARRAY_H
#define KESTRO_ARRAY_H

#include <stdint.h>

#include "kestro/common.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KESTRO_MAX_RANK 7

/* Element types of kestro_array.type. */
enum kestro_type {
    KESTRO_TYPE_CHAR = 0,
    KESTRO_TYPE_INT1 = 1,
    KESTRO_TYPE_INT2 = 2,
    KESTRO_TYPE_INT4 = 3,
    KESTRO_TYPE_INT8 = 4,
    KESTRO_TYPE_REAL4 = 5,
    KESTRO_TYPE_REAL8 = 6,
    KESTRO_TYPE_COMPLEX16 = 7,
    KESTRO_TYPE_LOGICAL1 = 8,
    KESTRO_TYPE_LOGICAL4 = 9
};

typedef struct kestro_array {
    void *data;                      /* first element; NULL while the array does not exist */
    int64_t extent[KESTRO_MAX_RANK]; /* extents of dimensions 1..rank; 0 while absent */
    int32_t rank;                    /* number of dimensions (fixed) */
    int32_t type;                    /* element type, an enum kestro_type (fixed) */
    int64_t elsize;                  /* bytes per element (fixed) */
    const char *name;                /* the variable's name, used in messages (fixed) */
} kestro_array;

/* 1 when the array exists, else 0. */
KESTRO_API int kestro_array_exists(const kestro_array *a);

/* Number of elements: the product of the extents, 0 while absent. */
KESTRO_API int64_t kestro_array_size(const kestro_array *a);

/*
 * Creates the array with extent[0..rank-1] (a negative extent counts as 0)
 * and every element zero; returns `data`.  Creating an array that exists ends
 * the process with "Attempting to allocate already allocated variable '<name>'";
 * a failed allocation ends it with "Error allocating <n> bytes".
 */
KESTRO_API void *kestro_array_create(kestro_array *a, const int64_t *extent);

/* Drops the array when it exists, then creates it as kestro_array_create does. */
KESTRO_API void *kestro_array_replace(kestro_array *a, const int64_t *extent);

/* Releases the array when it exists; afterwards it is absent. */
KESTRO_API void kestro_array_drop(kestro_array *a);

/*
 * For callers that keep the storage of an array beyond its life in the
 * library (a numpy view, say): the storage (the `data` of an existing array)
 * stays valid until every retain has been released, even after the array was
 * dropped or re-created.
 */
KESTRO_API void kestro_array_retain(void *data);
KESTRO_API void kestro_array_release(void *data);

/*
 * Tells the library that a caller has written, or may write, into the array
 * other than through the library's routines (as through a view it holds).
 * Routines that keep an index of the array's contents rebuild it.
 */
KESTRO_API void kestro_array_note_external_access(const kestro_array *a);

#ifdef __cplusplus
}
#endif

#endif
