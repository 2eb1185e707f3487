/* The Shokrieh point from C under its UMAT type: a fresh unidirectional ply
 * strained along its fibres takes C11 of the ply; 300 state variables are
 * refused before anything is written. */
#include <float.h>
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

static double stress[6], statev[312], ddsdde[36], sse, rpl, drpldt, pnewdt, ddsddt[6], drplde[6];

static void call(int32_t nstatv) {
    static const double props[91] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000,
                                     50,     50,   1200, 200, 200, 80,   80,   60,   0.1};
    const double time[2] = {0, 0}, zero = 0, zero6[6] = {0}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double dstran[6] = {0.001, 0, 0, 0, 0, 0};
    const int32_t three = 3, six = 6, nprops = 91, one = 1, jstep[4] = {1, 1, 1, 0};
    const kestro_umat umat = __toplevel_MOD_umat_shokrieh;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    umat(stress, statev, ddsdde, &sse, &sse, &sse, &rpl, ddsddt, drplde, &drpldt, zero6, dstran, time, &zero, &zero,
         &zero, &zero, &zero, cmname, &three, &three, &six, &nstatv, props, &nprops, zero6, eye, &pnewdt, &zero, eye,
         eye, &one, &one, &one, &one, jstep, &one, sizeof cmname);
}

int main(void) {
    int k;
    call(312);
    CHECK(fabs(stress[0] - 143.0087556381003) < 1e-12 && fabs(ddsdde[0] - 143008.7556381003) < 1e-9);
    CHECK(statev[1] == 1.0 && statev[77] == DBL_MAX && __errorhandling_MOD_errstat == 0);
    for (k = 0; k < 312; ++k) statev[k] = -7.0;
    stress[0] = -7.0;
    call(300);
    CHECK(stress[0] == -7.0 && statev[0] == -7.0 && statev[299] == -7.0 && __errorhandling_MOD_errstat == -2);
    return failures;
}
