/* The resin material point from C, under its UMAT type: uniaxial stress 30
 * and a 23 shear under E 3000, nu 0.35, and the strength kept in state 16. */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    const double props[11] = {20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1}, time[2] = {0.5, 0.5};
    const double zero6[6] = {0}, dstran[6] = {0.01, -0.0035, -0.0035, 0, 0, 0.002}, predef[1] = {0}, scalar = 0.1;
    const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const int32_t three = 3, six = 6, nstatv = 22, nprops = 11, one = 1, jstep[4] = {1, 1, 1, 0};
    double stress[6] = {0}, statev[22] = {0}, ddsdde[36] = {0}, sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0;
    double pnewdt = 1, ddsddt[6] = {0}, drplde[6] = {0};
    const kestro_umat umat = __toplevel_MOD_umat_resin;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    __materialdata_MOD_modelid = 1;
    umat(stress, statev, ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde, &drpldt, zero6, dstran, time, &scalar,
         &scalar, &scalar, predef, predef, cmname, &three, &three, &six, &nstatv, props, &nprops, zero6, eye, &pnewdt,
         &scalar, eye, eye, &one, &one, &one, &one, jstep, &one, sizeof cmname);
    CHECK(fabs(stress[0] - 30) < 1e-12 && fabs(stress[5] - 0.002 * 3000 / 2.7) < 1e-12 && statev[15] == 50);
    return failures;
}
