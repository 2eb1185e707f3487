/* Every exported routine that takes a component count, called from C with
 * counts it cannot serve (negative, and far beyond six), every array exactly
 * as long as the counts make it (none for a negative count): under
 * AddressSanitizer a routine that reads or writes past them fails.
 * tests/build/test_counts.py keeps the list of routines complete. */
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

enum { NSTATV = 40, NPROPS = 40, NBLOCK = 2 };

static void *blocks[256];
static int nblocks = 0;

/* n doubles (none for n <= 0), zero, released by release(). */
static double *reals(long long n) {
    double *a = malloc(n > 0 ? (size_t)n * sizeof *a : 0);
    if (n > 0) memset(a, 0, (size_t)n * sizeof *a);
    blocks[nblocks++] = a;
    return a;
}

/* The entries of an n x n matrix: none for n <= 0. */
static long long square(long long n) { return n > 0 ? n * n : 0; }

static void release(void) {
    while (nblocks > 0) free(blocks[--nblocks]);
}

static const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, zero3[3] = {0}, time2[2] = {1, 1};
static const int32_t one = 1, none = 0, jstep[4] = {1, 1, 1, 0}, nstatv = NSTATV, nprops = NPROPS;
static const int32_t nblock = NBLOCK;
static double props[NPROPS], sse, spd, scd, rpl, drpldt, pnewdt, celent = 1, scalar = 0;
static char cmname[80];

/* A UMAT point of ndi + nshr = ntens components (or not). */
struct umat {
    double *stress, *statev, *ddsdde, *ddsddt, *drplde, *stran, *dstran;
    int32_t ndi, nshr, ntens;
};

static struct umat umat_of(int32_t ndi, int32_t nshr, int32_t ntens) {
    struct umat u;
    u.stress = reals(ntens), u.statev = reals(NSTATV), u.ddsdde = reals(square(ntens));
    u.ddsddt = reals(ntens), u.drplde = reals(ntens), u.stran = reals(ntens), u.dstran = reals(ntens);
    u.ndi = ndi, u.nshr = nshr, u.ntens = ntens;
    return u;
}

#define UMAT_HEAD(u)                                                                                              \
    u.stress, u.statev, u.ddsdde, &sse, &spd, &scd, &rpl, u.ddsddt, u.drplde, &drpldt, u.stran, u.dstran, time2, \
        &scalar, &scalar, &scalar, zero3, zero3, cmname, &u.ndi, &u.nshr, &u.ntens, &nstatv, props, &nprops,      \
        zero3, eye, &pnewdt, &celent, eye, eye, &one, &one, &one, &one
#define UMAT_LIST(u) UMAT_HEAD(u), jstep, &one

static void muesli(const int32_t *matid, double *stress, double *statev, double *ddsdde, double *sse_, double *spd_,
                   double *scd_, double *rpl_, double *ddsddt, double *drplde, double *drpldt_, const double *stran,
                   const double *dstran, const double *time, const double *dtime, const double *temp,
                   const double *dtemp, const double *predef, const double *dpred, const char *cmname_,
                   const int32_t *ndi, const int32_t *nshr, const int32_t *ntens, const int32_t *nstatv_,
                   const double *props_, const int32_t *nprops_, const double *coords, const double *drot,
                   double *pnewdt_, const double *celent_, const double *dfgrd0, const double *dfgrd1,
                   const int32_t *noel, const int32_t *npt, const int32_t *layer, const int32_t *kspt,
                   const int32_t *jstep_, const int32_t *kinc, size_t cmname_len) {
    (void)matid;
    __toplevel_MOD_umat_lamina(stress, statev, ddsdde, sse_, spd_, scd_, rpl_, ddsddt, drplde, drpldt_, stran,
                               dstran, time, dtime, temp, dtemp, predef, dpred, cmname_, ndi, nshr, ntens, nstatv_,
                               props_, nprops_, coords, drot, pnewdt_, celent_, dfgrd0, dfgrd1, noel, npt, layer,
                               kspt, jstep_, kinc, cmname_len);
}

static void umat_entries(int32_t ndi, int32_t nshr, int32_t ntens) {
    static const kestro_umat entries[] = {__toplevel_MOD_umat_fiber,   __toplevel_MOD_umat_hail,
                                          __toplevel_MOD_umat_hyper,   __toplevel_MOD_umat_krause,
                                          __toplevel_MOD_umat_lamina,  __toplevel_MOD_umat_prony,
                                          __toplevel_MOD_umat_resin,   __toplevel_MOD_umat_shokrieh};
    const double cprops[20] = {0};
    double dprops[12] = {0};
    const int32_t impact = 3;
    size_t k;
    for (k = 0; k < sizeof entries / sizeof *entries; ++k) {
        struct umat u = umat_of(ndi, nshr, ntens);
        entries[k](UMAT_LIST(u), 80);
        release();
    }
    {
        struct umat u = umat_of(ndi, nshr, ntens);
        __toplevel_MOD_umat_porosity(UMAT_HEAD(u), &one, 80);
        __toplevel_MOD_umat_sensor(UMAT_HEAD(u), &one, &impact, cprops, dprops, 80);
        __wrapper_MOD_ansys_usermat_to_abq_umat(__toplevel_MOD_usermat_lamina, UMAT_LIST(u), 80);
        __wrapper_MOD_muesli_to_abq_umat(muesli, UMAT_LIST(u), &one, 80);
    }
}

/* An ANSYS point of ncomp components. */
static void usermat_entries(int32_t ndirect, int32_t nshear, int32_t ncomp) {
    static const kestro_usermat entries[] = {__toplevel_MOD_usermat_fiber, __toplevel_MOD_usermat_lamina,
                                             __toplevel_MOD_usermat_prony, __toplevel_MOD_usermat_resin,
                                             __toplevel_MOD_usermat_shokrieh};
    size_t k;
    for (k = 0; k <= sizeof entries / sizeof *entries; ++k) {
        double *stress = reals(ncomp), *ustatev = reals(NSTATV), *dsdepl = reals(square(ncomp));
        double *strain = reals(ncomp), *dstrain = reals(ncomp), *epspl = reals(ncomp), tsstif[2], epszz;
        int32_t keycut = 0;
#define USERMAT_LIST                                                                                             \
    &one, &one, &one, &one, &one, &one, &one, &keycut, &ndirect, &nshear, &ncomp, &nstatv, &nprops, &scalar,     \
        &scalar, &scalar, &scalar, stress, ustatev, dsdepl, &sse, &spd, &scd, strain, dstrain, epspl, props,     \
        zero3, &scalar, eye, eye, tsstif, &epszz, &scalar, &scalar, &scalar, &scalar, &scalar, &scalar, &scalar, \
        &scalar
        if (k < sizeof entries / sizeof *entries)
            entries[k](USERMAT_LIST);
        else
            __wrapper_MOD_abq_umat_to_ansys_usermat(__toplevel_MOD_umat_lamina, USERMAT_LIST);
        release();
    }
}

/* A block of explicit points of ndir + nshr components. */
typedef void (*vumat)(const int32_t *, const int32_t *, const int32_t *, const int32_t *, const int32_t *,
                      const int32_t *, const int32_t *, const double *, const double *, const double *, const char *,
                      const double *, const double *, const double *, const double *, double *, const double *,
                      const double *, const double *, const double *, const double *, const double *, const double *,
                      const double *, const double *, const double *, const double *, const double *, const double *,
                      double *, double *, double *, double *, size_t);

static void vumat_entries(int32_t ndir, int32_t nshr) {
    static const vumat entries[] = {__toplevel_MOD_vumat_bogenfeld, __toplevel_MOD_vumat_cartesian,
                                    __toplevel_MOD_vumat_lamina};
    const long long ncomp = (long long)ndir + nshr;
    const double cprops[20] = {0};
    double dprops[12] = {0};
    const int32_t impact = 3;
    size_t k;
    for (k = 0; k <= sizeof entries / sizeof *entries; ++k) {
        double *lengths = reals(3 * NBLOCK), *density = reals(NBLOCK), *straininc = reals(NBLOCK * ncomp);
        double *spin = reals(NBLOCK * (long long)nshr), *temp = reals(NBLOCK), *stretch = reals(NBLOCK * ncomp);
        double *defgrad = reals(NBLOCK * (ncomp + nshr)), *stressold = reals(NBLOCK * ncomp);
        double *stateold = reals(NBLOCK * NSTATV), *energy = reals(NBLOCK), *stressnew = reals(NBLOCK * ncomp);
        double *statenew = reals(NBLOCK * NSTATV), *internal = reals(NBLOCK), *inelastic = reals(NBLOCK);
#define VUMAT_LIST                                                                                                 \
    &nblock, &ndir, &nshr, &nstatv, &none, &nprops, &none, &scalar, time2, time2, cmname, lengths, lengths, props, \
        density, straininc, spin, temp, stretch, defgrad, NULL, stressold, stateold, energy, energy, temp,        \
        stretch, defgrad, NULL, stressnew, statenew, internal, inelastic
        if (k < sizeof entries / sizeof *entries)
            entries[k](VUMAT_LIST, 80);
        else
            __toplevel_MOD_vumat_sensor(VUMAT_LIST, &impact, cprops, dprops, 80);
        release();
    }
}

/* The explicit field hook on a block whose stress and strain tables have
 * ndir + nshr columns (as stressold); a pair it does not serve is refused
 * with the block's state carried over and its fields 0. */
static void vusdfld(int32_t ndir, int32_t nshr, const double *stressold, double *stateold, double *statenew) {
    const int32_t jelem[NBLOCK] = {1, 2}, two = 2, supported = (ndir == 3 && (nshr == 3 || nshr == 1)) ||
                                                               (ndir == 2 && nshr == 1);
    const double *lengths = reals(3 * NBLOCK), *frames = reals(9 * NBLOCK);
    double field[2 * NBLOCK] = {1, 1, 1, 1};
    int32_t k, reset;
    const kestro_logical1 clear = 1;
    for (k = 0; k < NBLOCK * NSTATV; ++k) stateold[k] = k;
    __errorhandling_MOD_rsxerr(&reset, &clear);
    __toplevel_MOD_vusdfld_dmg(&nblock, &nstatv, &two, &nprops, &ndir, &nshr, jelem, &one, &one, &one, &one,
                               lengths, time2, time2, time2, cmname, lengths, frames, frames, lengths, props,
                               stateold, stressold, stressold, statenew, field, NULL, 80);
    CHECK(supported || (__errorhandling_MOD_errstat == -2 && field[0] == 0 && field[3] == 0 &&
                        memcmp(stateold, statenew, sizeof(double) * NBLOCK * NSTATV) == 0));
}

/* Peridigm points, the MSC Marc point and the field hooks. */
static void other_entries(int32_t ndir, int32_t nshr, int32_t ngens) {
    const long long ncomp = (long long)ndir + nshr;
    double *stressnew = reals(NBLOCK * ncomp), *statenew = reals(NBLOCK * NSTATV), *stressold = reals(NBLOCK * ncomp);
    double *stateold = reals(NBLOCK * NSTATV), *straininc = reals(NBLOCK * ncomp);
    double *d = reals(square(ngens)), *g = reals(ngens), *e = reals(ngens), *s = reals(ngens);
    double field[4] = {0}, statev[NSTATV] = {0}, uvar[1] = {0};
    const int32_t two = 2, pair[2] = {1, 1}, jmac[1] = {0};
    int32_t error_code = 1;
    __toplevel_MOD_upermat_lamina(stressnew, statenew, stressold, stateold, straininc, props, &scalar, &scalar, &scalar,
                                  &one, &nblock, &ndir, &nshr, &nstatv, &nprops);
    __wrapper_MOD_abq_umat_to_peridigm_upermat(__toplevel_MOD_umat_lamina, stressnew, statenew, stressold, stateold,
                                               straininc, props, &scalar, &scalar, &scalar, &one, &nblock, &ndir,
                                               &nshr, &nstatv, &nprops);
    __toplevel_MOD_hypela_lamina(d, g, e, e, s, props, props, &ngens, pair, &one, pair, pair, &ndir, &nshr, props,
                                 props, props, eye, eye, eye, eye, eye, eye, eye, eye, &one, &one, &one, &one, &one,
                                 &one, pair, &one, &one, &one, &one, pair, props, cmname, &two, &two, &two,
                                 &error_code);
    CHECK(error_code == 0);
    __toplevel_MOD_usdfld_dmg(field, statev, &scalar, eye, eye, &celent, time2, &scalar, cmname, cmname, &two,
                              &nstatv, &one, &one, &one, &one, &one, &one, &ndir, &nshr, zero3, jmac, jmac, &none,
                              &none, NULL, 80, 80);
    __toplevel_MOD_uvarm_report(uvar, eye, eye, time2, &scalar, cmname, cmname, &one, &one, &one, &one, &one, &one,
                                &two, &ndir, &nshr, zero3, jmac, jmac, &none, &none, 80, 80);
    vusdfld(ndir, nshr, stressold, stateold, statenew);
    {
        const int32_t four = 4, three = 3, jeltype[3] = {3, 0, 0}, jelem[NBLOCK] = {1, 2};
        const double *nodes = reals(NBLOCK * 12), *frames = reals(NBLOCK * 9);
        __toplevel_MOD_vucharlength_cel(&nblock, &none, &nprops, &ndir, &three, &four, &nstatv, &one, &one, &one,
                                        jeltype, jelem, &scalar, &scalar, &scalar, cmname, nodes, nodes, frames,
                                        frames, props, NULL, stateold, reals(NBLOCK * (long long)ndir), 80);
    }
}

/* The services of the material laws with n components. */
static void law_services(int32_t n) {
    const long long nn = square(n);
    const int32_t two = 2, nine = 9, flag = 1;
    const kestro_logical1 yes = 1, no = 0;
    double *stress = reals(n), *strain = reals(n), *tangent = reals(nn), *out = reals(n), eqstrain, plastic;
    kestro_complex *cstress = (kestro_complex *)reals(2 * (long long)n);
    const kestro_complex *cstrain = (const kestro_complex *)reals(2 * (long long)n);
    GetNyeStiffnessMatrix(tangent, props, &n, NULL);
    GetGeneralizedNyeOnAxisSC(reals(nn), props, &n, &nine, &flag, NULL, NULL, NULL);
    GetNyeDegradationMatrix(props, reals(nn), &n, NULL);
    GetStressVector(stress, tangent, strain, strain, &n, &n, &yes, &no);
    GetSpecificStrainEnergy(&sse, stress, stress, strain, strain, &n, &n, &no, &no);
    scalar = GetHydrostaticPressure(stress, &n) + GetMisesStress(stress, &n);
    GetMisesFlow(out, stress, &n);
    EquivalentStrain(strain, &eqstrain, &n, &n);
    GetStressFromIsotropicViscoElasticity(out, strain, props, &n, &n, &nprops);
    GetStressFromOrthotropicElasticity(reals(n), strain, props, &n, &n, &nprops);
    GetStressFromDevVolDecomposition(reals(n), strain, props, &n, &n, &nprops, reals(nn));
    GetStressFromCubicElasticity(reals(n), strain, props, &n, &n, &two, reals(nn), &one);
    cGetStressFromAnisotropicHyperelasticity(cstress, cstrain, props, &n, &n, &nprops);
    __elasticity_MOD_getstressfromplastitcity(reals(n), &plastic, reals(nn), strain, strain, props, &n, &n, &nprops,
                                              &scalar);
    __elasticity_MOD_getnumericaltangent(reals(nn), GetStressFromIsotropicViscoElasticity, props, stress, stress,
                                         strain, &n, &n, &nprops, &no, NULL, NULL, NULL);
    Get3DInputFromElem(reals(6), reals(6), reals(6), stress, strain, strain, &n, NULL, &none, &none, &no);
    GetElemOutputFrom3D(out, reals(nn), props, props, &n, &no);
    scalar = 0;
}

int main(void) {
    const int32_t counts[] = {-1, -3, -3000, 1000};
    size_t k;
    memset(cmname, ' ', sizeof cmname);
    for (k = 0; k < NPROPS; ++k) props[k] = 1.0 / (double)(k + 2);
    for (k = 0; k < sizeof counts / sizeof *counts; ++k) {
        const int32_t c = counts[k];
        law_services(c);
        umat_entries(c, 0, c);
        umat_entries(c, 6 - c, 6);
        usermat_entries(c, 0, c);
        usermat_entries(c, 6 - c, 6);
        vumat_entries(c, c);
        vumat_entries(c, 6 - c);
        other_entries(c, c, c);
        other_entries(c, 6 - c, c);
        release();
    }
    /* Counts whose sum overflows 4 bytes are refused before any index is formed. */
    vusdfld(2147483647, 3, reals(6 * NBLOCK), reals(NBLOCK * NSTATV), reals(NBLOCK * NSTATV));
    vusdfld(3, 2147483647, reals(6 * NBLOCK), reals(NBLOCK * NSTATV), reals(NBLOCK * NSTATV));
    vusdfld(4, 2, reals(6 * NBLOCK), reals(NBLOCK * NSTATV), reals(NBLOCK * NSTATV));
    release();
    {
        const kestro_logical1 clear = 1;
        int32_t reset;
        __errorhandling_MOD_rsxerr(&reset, &clear);
    }
    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
