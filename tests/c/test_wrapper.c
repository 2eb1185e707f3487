/* The convention adapters from C with material routines of the generated
 * procedure types: a UMAT seen as an ANSYS material and, through that ANSYS
 * routine, as a UMAT again. */
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

static int32_t last_matid = 0;
static size_t last_length = 0;

/* stress = diag(1, ..., 6) (stran + dstran), ddsdde = that diagonal. */
static void diagonal(double *stress, double *statev, double *ddsdde, double *sse, double *spd, double *scd,
                     double *rpl, double *ddsddt, double *drplde, double *drpldt, const double *stran,
                     const double *dstran, const double *time, const double *dtime, const double *temp,
                     const double *dtemp, const double *predef, const double *dpred, const char *cmname,
                     const int32_t *ndi, const int32_t *nshr, const int32_t *ntens, const int32_t *nstatv,
                     const double *props, const int32_t *nprops, const double *coords, const double *drot,
                     double *pnewdt, const double *celent, const double *dfgrd0, const double *dfgrd1,
                     const int32_t *noel, const int32_t *npt, const int32_t *layer, const int32_t *kspt,
                     const int32_t *jstep, const int32_t *kinc, size_t cmname_len) {
    int i;
    (void)statev, (void)sse, (void)spd, (void)scd, (void)rpl, (void)ddsddt, (void)drplde, (void)drpldt, (void)time;
    (void)dtime, (void)temp, (void)dtemp, (void)predef, (void)dpred, (void)cmname, (void)ndi, (void)nshr;
    (void)nstatv, (void)props, (void)nprops, (void)coords, (void)drot, (void)pnewdt, (void)celent, (void)dfgrd0;
    (void)dfgrd1, (void)noel, (void)npt, (void)layer, (void)kspt, (void)jstep, (void)kinc;
    last_length = cmname_len;
    for (i = 0; i < *ntens; ++i) {
        stress[i] = (i + 1) * (stran[i] + dstran[i]);
        ddsdde[i * *ntens + i] = i + 1;
    }
}

/* The UMAT above as an ANSYS material: the adapter is the USERMAT routine. */
static void usermat(const int32_t *matid, const int32_t *elemid, const int32_t *kdomintpt, const int32_t *klayer,
                    const int32_t *ksectpt, const int32_t *ldstep, const int32_t *isubst, int32_t *keycut,
                    const int32_t *ndirect, const int32_t *nshear, const int32_t *ncomp, const int32_t *nstatev,
                    const int32_t *nprop, const double *time, const double *dtime, const double *temp,
                    const double *dtemp, double *stress, double *ustatev, double *dsdepl, double *sedel,
                    double *sedpl, double *epseq, const double *strain, const double *dstrain, double *epspl,
                    const double *prop, const double *coords, const double *var0, const double *defgrad_t,
                    const double *defgrad, double *tsstif, double *epszz, const double *var1, const double *var2,
                    const double *var3, const double *var4, const double *var5, const double *var6,
                    const double *var7, const double *var8) {
    last_matid = *matid;
    __wrapper_MOD_abq_umat_to_ansys_usermat(diagonal, matid, elemid, kdomintpt, klayer, ksectpt, ldstep, isubst,
                                            keycut, ndirect, nshear, ncomp, nstatev, nprop, time, dtime, temp,
                                            dtemp, stress, ustatev, dsdepl, sedel, sedpl, epseq, strain, dstrain,
                                            epspl, prop, coords, var0, defgrad_t, defgrad, tsstif, epszz, var1,
                                            var2, var3, var4, var5, var6, var7, var8);
}

/* A UMAT call of 6 components through the ANSYS routine: stress and tangent out. */
static void umat_call(const char *name, double *stress, double *ddsdde) {
    double statev[1] = {0}, sse = 0, spd = 0, scd = 0, rpl = 0, ddsddt[6] = {0}, drplde[6] = {0}, drpldt = 0;
    const double stran[6] = {0}, dstran[6] = {1, 1, 1, 1, 2, 3}, time[2] = {0, 0}, zero = 0, predef[1] = {0};
    const double props[1] = {1}, coords[3] = {0}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const int32_t three = 3, six = 6, one = 1, jstep[4] = {1, 1, 1, 0};
    double pnewdt = 0.5, celent = 1;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    memcpy(cmname, name, strlen(name));
    __wrapper_MOD_ansys_usermat_to_abq_umat(usermat, stress, statev, ddsdde, &sse, &spd, &scd, &rpl, ddsddt, drplde,
                                            &drpldt, stran, dstran, time, &zero, &zero, &zero, predef, predef,
                                            cmname, &three, &three, &six, &one, props, &one, coords, eye, &pnewdt,
                                            &celent, eye, eye, &one, &one, &one, &one, jstep, &one, sizeof cmname);
    CHECK(pnewdt == 1.0);
}

int main(void) {
    const double expected[6] = {1, 2, 3, 4, 10, 18};
    double stress[6], ddsdde[36] = {0};
    int i;
    umat_call("PLY_M@5@", stress, ddsdde);
    CHECK(last_matid == 5 && last_length == 80);
    for (i = 0; i < 6; ++i) CHECK(stress[i] == expected[i] && ddsdde[i * 6 + i] == i + 1);
    return failures;
}
