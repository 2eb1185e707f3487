/* The hail-ice point from C under its UMAT type: a hydrostatic strain whose
 * trial mean stress 12.5 passes the cut-off 10 sets the shared latch smax and
 * holds the stress there; the ANSYS fibre point under its USERMAT type. */
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

    /* The fibre at an ANSYS point: 11 shear (ANSYS order 11, 22, 33, 12, 23, 13) under G12 4600. */
    const double ply[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    const double dstrain[6] = {0, 0, 0, 1e-3, 0, 0};
    const int32_t nine = 9, none = 0;
    int32_t keycut = 1;
    double s[6] = {0}, dsdepl[36], sedel = 0, sedpl = 0, epseq = 0, epspl[6] = {0}, tsstif[2] = {0}, epszz = 0;
    const kestro_usermat usermat = __toplevel_MOD_usermat_fiber;
    usermat(&one, &one, &one, &one, &one, &one, &one, &keycut, &three, &three, &six, &none, &nine, &scalar, &scalar,
            &scalar, &scalar, s, statev, dsdepl, &sedel, &sedpl, &epseq, zero6, dstrain, epspl, ply, zero6, &scalar,
            eye, eye, tsstif, &epszz, &scalar, &scalar, &scalar, &scalar, &scalar, &scalar, &scalar, &scalar);
    CHECK(keycut == 0 && fabs(s[3] - 4.6) < 1e-12 && dsdepl[21] == 4600 && tsstif[0] == 4000);
    CHECK(fabs(sedel - 0.5 * 4.6e-3) < 1e-15);
    return failures;
}
