/*
 * A solver's user-routine file in C, over the installed library:
 *
 *     cc job.c -I<prefix>/include -L<prefix>/lib -lkestro
 *
 * The implicit solver calls UMAT at every integration point with its argument
 * list (every argument by address, the length of the material name last).
 * umat_ below is that routine: it hands the point to the library's
 * orthotropic ply, umat_lamina, as it stands.  main plays the solver for one
 * point of a carbon/epoxy ply: the strain at the start of the increment and
 * its increment go in, the stress and the tangent stiffness come out; the
 * tangent is compared with the ply stiffness of GetNyeStiffnessMatrix.
 */
#include <stdio.h>
#include <string.h>

#include "kestro/kestro.h"

void umat_(double *stress, double *statev, double *ddsdde, double *sse, double *spd, double *scd, double *rpl,
           double *ddsddt, double *drplde, double *drpldt, const double *stran, const double *dstran,
           const double *time, const double *dtime, const double *temp, const double *dtemp, const double *predef,
           const double *dpred, const char *cmname, const int32_t *ndi, const int32_t *nshr, const int32_t *ntens,
           const int32_t *nstatv, const double *props, const int32_t *nprops, const double *coords,
           const double *drot, double *pnewdt, const double *celent, const double *dfgrd0, const double *dfgrd1,
           const int32_t *noel, const int32_t *npt, const int32_t *layer, const int32_t *kspt, const int32_t *jstep,
           const int32_t *kinc, size_t cmname_len) {
    __toplevel_MOD_umat_lamina(stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran,
                               time, dtime, temp, dtemp, predef, dpred, cmname, ndi, nshr, ntens, nstatv, props,
                               nprops, coords, drot, pnewdt, celent, dfgrd0, dfgrd1, noel, npt, layer, kspt, jstep,
                               kinc, cmname_len);
}

static void print_row(const char *label, const double *values, int n, int stride) {
    int i;
    printf("%-8s", label);
    for (i = 0; i < n; ++i) printf(" % .10e", values[i * stride]);
    printf("\n");
}

int main(void) {
    /* Carbon/epoxy: E1, E2, E3, nu12, nu13, nu23, G12, G13, G23 (N/mm2). */
    const double props[9] = {161000.0, 11400.0, 11400.0, 0.32, 0.32, 0.436, 5170.0, 5170.0, 3970.0};
    const int32_t nprops = 9, ndi = 3, nshr = 3, ntens = 6, nstatv = 40, noel = 1, npt = 1, layer = 1, kspt = 1;
    const int32_t jstep[4] = {1, 0, 0, 0}, kinc = 1;
    /* Nye order 11, 22, 33, 12, 13, 23 with engineering shears. */
    const double stran[6] = {2.0e-3, -4.0e-4, -4.0e-4, 1.0e-3, 0.0, 0.0};
    const double dstran[6] = {5.0e-4, 2.0e-4, -1.0e-4, 5.0e-4, 2.0e-4, -3.0e-4};
    const double time[2] = {0.0, 0.0}, dtime = 0.1, temp = 20.0, dtemp = 0.0, predef[1] = {0.0}, dpred[1] = {0.0};
    const double coords[3] = {0.0, 0.0, 0.0}, drot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, celent = 1.0;
    const double dfgrd[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    char cmname[80];
    double stress[6] = {0}, statev[40] = {0}, ddsdde[36], sse = 0.0, spd = 0.0, scd = 0.0, rpl = 0.0;
    double ddsddt[6] = {0}, drplde[6] = {0}, drpldt = 0.0, pnewdt = 1.0, stiffness[36];
    int i, same = 1;

    memset(cmname, ' ', sizeof cmname);
    memcpy(cmname, "PLY_CFRP", 8);

    umat_(stress, statev, ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde, &drpldt, stran, dstran, time, &dtime, &temp,
          &dtemp, predef, dpred, cmname, &ndi, &nshr, &ntens, &nstatv, props, &nprops, coords, drot, &pnewdt, &celent,
          dfgrd, dfgrd, &noel, &npt, &layer, &kspt, jstep, &kinc, sizeof cmname);
    GetNyeStiffnessMatrix(stiffness, props, &ntens, NULL);

    printf("One carbon/epoxy ply point through umat_lamina (Nye order 11 22 33 12 13 23)\n");
    print_row("strain", stran, 6, 1);
    print_row("dstrain", dstran, 6, 1);
    print_row("stress", stress, 6, 1);
    for (i = 0; i < 6; ++i) print_row(i == 0 ? "ddsdde" : "", ddsdde + i, 6, 6);
    printf("%-8s % .10e\n", "sse", sse);
    for (i = 0; i < 36; ++i) same = same && ddsdde[i] == stiffness[i];
    printf("tangent %s GetNyeStiffnessMatrix\n", same ? "equals" : "differs from");
    if (__errorhandling_MOD_errstat != 0) {
        printf("error %d: %.80s\n", __errorhandling_MOD_errstat, __errorhandling_MOD_errstring);
        return 1;
    }
    return same ? 0 : 1;
}
