/* The hail-ice point from C under its UMAT type: a hydrostatic strain whose
 * trial mean stress 12.5 passes the cut-off 10 sets the shared latch smax and
 * holds the stress there. */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    const double props[7] = {1000, 0.3, 1, 10, 0, 20, 0.1}, time[2] = {0, 0}, predef[1] = {0}, scalar = 0;
    const double zero6[6] = {0}, dstran[6] = {0.005, 0.005, 0.005, 0, 0, 0}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const int32_t three = 3, six = 6, nstatv = 13, nprops = 7, one = 1, jstep[4] = {1, 1, 1, 0};
    double stress[6] = {0}, statev[13] = {0}, ddsdde[36] = {0}, sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0;
    double pnewdt = 1, ddsddt[6] = {0}, drplde[6] = {0};
    const kestro_umat umat = __toplevel_MOD_umat_hail;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    __toplevel_MOD_smax = 0;
    umat(stress, statev, ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde, &drpldt, zero6, dstran, time, &scalar,
         &scalar, &scalar, predef, predef, cmname, &three, &three, &six, &nstatv, props, &nprops, zero6, eye, &pnewdt,
         &scalar, eye, eye, &one, &one, &one, &one, jstep, &one, sizeof cmname);
    CHECK(__toplevel_MOD_smax == 1 && stress[0] == 10 && stress[2] == 10 && stress[3] == 0);
    return failures;
}
