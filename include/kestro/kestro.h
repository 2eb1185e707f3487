/* kestro: analysis of composite structures.  Include this header to reach every
 * routine and every shared variable of the library from C. */
#ifndef KESTRO_KESTRO_H
#define KESTRO_KESTRO_H

#include "kestro/types.h"
#include "kestro/array.h"
#include "kestro/shared_data.h"
#include "kestro/errorhandling.h"
#include "kestro/datahandling.h"
#include "kestro/utility.h"
#include "kestro/listhandling.h"
#include "kestro/math.h"
#include "kestro/pchip.h"
#include "kestro/interp.h"

#endif
