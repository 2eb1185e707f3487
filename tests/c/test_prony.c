/* The curing resin from C: the cure kinetics, the heat hook writing state
 * variables 1 to 4 only, the expansion hook refusing fewer than 510 state
 * variables. */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

static const double kinetics[6] = {1e5, 6e4, 1e6, 6e4, 0.5, 1.5};

int main(void) {
    const int32_t six = 6, one = 1, n500 = 500;
    const double t450 = 450.0, a0 = 0.3, dt = 1.0, degmax = 0.9790100878865984, root = 0.3379511866184696;
    const double temp[2] = {450.0, 0.0}, time[2] = {0.0, 1.0}, zero = 0.0;
    double statev[510], flux[2] = {-7.0, -7.0}, expan[6], dexpandt[6], *cuprops;
    int i, untouched = 1;
    char name[80];

    CHECK(fabs(CureRate(kinetics, &t450, &root, &degmax, &six) - 0.03795118661846966) < 1e-15);
    CHECK(fabs(FuncDegree(kinetics, &t450, &a0, &dt, &degmax, &six) - root) < 1e-6);

    /* One ply, one section: gel point 0.2, heat 500, reachable degree (0.05, 5), Tg (20, 200, 0.5). */
    cuprops = (double *)kestro_array_create(&__materialdata_MOD_cuprops, (const int64_t[4]){6, 8, 1, 1});
    cuprops[0] = 0.2;
    cuprops[6] = 500.0;
    cuprops[24] = 0.05, cuprops[25] = 5.0;
    cuprops[30] = 20.0, cuprops[31] = 200.0, cuprops[32] = 0.5;
    memcpy(cuprops + 36, kinetics, sizeof kinetics);
    memset(name, ' ', sizeof name);
    memcpy(name, "resin_l@1@", 10);

    for (i = 0; i < 510; ++i) statev[i] = -7.0;
    statev[0] = 0.3, statev[3] = 0.0;
    __toplevel_MOD_hetval_prony(name, temp, time, &dt, statev, flux, &zero, &zero, sizeof name);
    CHECK(fabs(statev[0] - root) < 1e-6 && statev[3] == degmax);
    CHECK(fabs(flux[0] - 500.0 * statev[1]) <= 1e-15 * flux[0] && flux[1] == -7.0);
    for (i = 4; i < 510; ++i) untouched = untouched && statev[i] == -7.0;
    CHECK(untouched);

    for (i = 0; i < 6; ++i) expan[i] = dexpandt[i] = -7.0;
    __toplevel_MOD_uexpan_prony(expan, dexpandt, temp, time, &dt, &zero, &zero, statev, name, &n500, &one,
                                sizeof name);
    CHECK(__errorhandling_MOD_errstat == -2 && expan[0] == -7.0 && dexpandt[5] == -7.0 && statev[4] == -7.0);
    CHECK(strncmp(__errorhandling_MOD_errstring, "Unsupported dimension in uexpan_prony", 37) == 0);

    {
        int32_t istat = 0, reset = 0;
        const kestro_logical1 yes = 1;
        __datahandling_MOD_deallocall(&istat);
        __errorhandling_MOD_rsxerr(&reset, &yes);
    }
    return failures;
}
