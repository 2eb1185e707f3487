/* The resin material point from C: umat_resin under its UMAT type, and
 * usermat_resin at a 6-component ANSYS point (order 11, 22, 33, 12, 23, 13). */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    const double props[11] = {20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1}, time[2] = {0.5, 0.5};
    const double zero6[6] = {0}, dstran[6] = {0.01, -0.0035, -0.0035, 0, 0, 0.002}, predef[1] = {0};
    const double scalar = 0.1;
    const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, g = 3000 / 2.7;
    const int32_t three = 3, six = 6, nstatv = 22, nprops = 11, one = 1, jstep[4] = {1, 1, 1, 0};
    double stress[6] = {0}, statev[22] = {0}, ddsdde[36] = {0}, sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0;
    double epspl[6] = {0}, pnewdt = 1, ddsddt[6] = {0}, drplde[6] = {0}, sedpl = 0, epseq = 0, epszz = 0;
    double tsstif[2] = {0};
    int32_t keycut = 0;
    const kestro_umat umat = __toplevel_MOD_umat_resin;
    char cmname[80];
    int i;
    memset(cmname, ' ', sizeof cmname);
    memcpy(cmname, "RESINMAT1_GPHA", 14);
    __materialdata_MOD_modelid = 1;
    umat(stress, statev, ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde, &drpldt, zero6, dstran, time, &scalar,
         &scalar, &scalar, predef, predef, cmname, &three, &three, &six, &nstatv, props, &nprops, zero6, eye, &pnewdt,
         &scalar, eye, eye, &one, &one, &one, &one, jstep, &one, sizeof cmname);
    CHECK(fabs(stress[0] - 30) < 1e-12 && fabs(stress[5] - 0.002 * g) < 1e-12 && statev[15] == 50);

    /* The same strain with its 23 shear in the ANSYS position 5. */
    for (i = 0; i < 6; ++i) stress[i] = 0;
    __toplevel_MOD_usermat_resin(&one, &one, &one, &one, &one, &one, &one, &keycut, &three, &three, &six, &nstatv,
                                 &nprops, &scalar, &scalar, &scalar, &scalar, stress, statev, ddsdde, &sse, &sedpl,
                                 &epseq, zero6, (const double[6]){0.01, -0.0035, -0.0035, 0, 0.002, 0}, epspl, props,
                                 zero6, &scalar, eye, eye, tsstif, &epszz, &scalar, &scalar, &scalar, &scalar,
                                 &scalar, &scalar, &scalar, &scalar);
    CHECK(fabs(stress[0] - 30) < 1e-12 && fabs(stress[4] - 0.002 * g) < 1e-12 && keycut == 0);
    CHECK(fabs(tsstif[0] - g) < 1e-6 * g);
    return failures;
}
