/*
 * Services for programs that host the library, such as the Python module:
 * keeping a host's own output in order with the library's, and the checks of
 * arguments that some routines leave to their callers.
 */
#ifndef KESTRO_HOST_H
#define KESTRO_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "kestro/common.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A function the library calls before it writes a message that ends the
 * process, or ends it, so that the host can flush its own buffered output
 * first (NULL: none). */
KESTRO_API void kestro_host_set_before_exit(void (*hook)(void));

/* The capacity of growable list listid (1..3) of type ifflag (0 integer,
 * 1 real, 2 complex); -1 when the list is absent or the selection is out of
 * range. */
KESTRO_API int64_t kestro_host_list_capacity(int32_t listid, int32_t ifflag);

/* The length reduceblanks needs for s (len characters): every run of blanks
 * made one blank and the trailing blanks gone. */
KESTRO_API size_t kestro_host_reduceblanks_length(const char *s, size_t len);

/* 1 when int2aformat can write each of jrray(n, m) with the integer format aw
 * (aw_len characters) into fields of jmax characters, else 0. */
KESTRO_API int kestro_host_int2aformat_fits(const int32_t *jrray, int32_t n, int32_t m, const char *aw,
                                            size_t aw_len, int32_t jmax);

/* 1 when getabqelementconnectivity may register an element at counter iele
 * with nconnect nodes: the element arrays are absent (nothing is registered),
 * or iele + 1 lies within every one of them and nconnect within the rows of
 * elemnodes; else 0. */
KESTRO_API int kestro_host_connectivity_fits(int32_t iele, int32_t nconnect);

/* The message of the last Box_GetXSection call when it was refused (its
 * error is recorded too), NULL when it ran to its end. */
KESTRO_API const char *kestro_host_box_refusal(void);

#ifdef __cplusplus
}
#endif

#endif
