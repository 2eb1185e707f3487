/* The library as a C caller sees it: the shared variables, the array
 * functions, the error record, the creation routines and the array services. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

_Static_assert(sizeof(__jobdata_MOD_jobfilepath) == 256, "jobfilepath holds 256 characters");
_Static_assert(sizeof(__errorhandling_MOD_errstring) == 80, "errstring holds 80 characters");

static int shape_is(const kestro_array *a, int rank, int64_t e0, int64_t e1, int64_t e2, int64_t e3) {
    const int64_t e[4] = {e0, e1, e2, e3};
    int d;
    if (!kestro_array_exists(a) || a->rank != rank) return 0;
    for (d = 0; d < rank; ++d)
        if (a->extent[d] != e[d]) return 0;
    return 1;
}

static void initial_state(void) {
    static const char zeros[256];
    CHECK(kestro_array_exists(&__jobdata_MOD_stepid) == 0);
    CHECK(__jobdata_MOD_stepid.data == NULL);
    CHECK(kestro_array_size(&__jobdata_MOD_stepid) == 0);
    CHECK(__sectiondata_MOD_nsec == 0);
    CHECK(memcmp(__jobdata_MOD_jobfilepath, zeros, sizeof zeros) == 0);
}

static void array_lifecycle(void) {
    kestro_array *a = &__elementdata_MOD_elemlist;
    const int64_t ext[1] = {3};
    int32_t *list = (int32_t *)kestro_array_create(a, ext);
    int32_t istat = -1;

    CHECK(list != NULL && list == a->data);
    CHECK(a->extent[0] == 3 && kestro_array_size(a) == 3);
    CHECK(list[0] == 0 && list[2] == 0);
    list[0] = 101;
    list[2] = 103;
    CHECK(((const int32_t *)a->data)[2] == 103);

    kestro_array_drop(a);
    CHECK(kestro_array_exists(a) == 0 && a->data == NULL && a->extent[0] == 0);

    list = (int32_t *)kestro_array_create(a, ext);
    CHECK(list != NULL && list[0] == 0);

    /* Arrays created here are released by the library. */
    kestro_array_create(&__materialdata_MOD_peprops, (const int64_t[3]){9, 2, 1});
    __datahandling_MOD_deallocall(&istat);
    CHECK(istat == 0);
    CHECK(!kestro_array_exists(a));
    CHECK(!kestro_array_exists(&__materialdata_MOD_peprops));
}

static void error_record(void) {
    char msg[80];
    const int32_t lop = -2, zero = 0;
    int32_t reset = 5;
    kestro_logical1 yes = 1, no = 0;

    memset(msg, ' ', sizeof msg);
    memcpy(msg, "bad input", 9);
    __errorhandling_MOD_xerr(&lop, msg, NULL, &zero, NULL, &zero, NULL, &zero, &zero, NULL, 80);
    CHECK(__errorhandling_MOD_errstat == -2);
    CHECK(memcmp(__errorhandling_MOD_errstring, msg, 80) == 0);
    CHECK(kestro_array_exists(&__errorhandling_MOD_errintv) && kestro_array_size(&__errorhandling_MOD_errintv) == 0);
    CHECK(shape_is(&__errorhandling_MOD_errasciim, 2, 0, 0, 0, 0));

    __errorhandling_MOD_rsxerr(&reset, &no);
    CHECK(reset == 0 && __errorhandling_MOD_errstat == -2);
    __errorhandling_MOD_rsxerr(&reset, &yes);
    CHECK(reset == 1 && __errorhandling_MOD_errstat == 0);
    CHECK(!kestro_array_exists(&__errorhandling_MOD_errintv));
    CHECK(!kestro_array_exists(&__errorhandling_MOD_errasciim));
}

static void damage_shapes(void) {
    const int32_t kplies = 4, ksec = 2, kdmg = 3;
    int32_t istat = -1;

    __datahandling_MOD_allocatedamagedata(&istat, &kplies, &ksec, &kdmg);
    CHECK(istat == 0);
    CHECK(__damagedata_MOD_ndmg == 3);
    CHECK(shape_is(&__damagedata_MOD_damagedds, 1, 1, 0, 0, 0));
    CHECK(((const int32_t *)__damagedata_MOD_damagedds.data)[0] == 0);
    CHECK(shape_is(&__damagedata_MOD_generaldds, 3, 3, 4, 3, 0));
    CHECK(shape_is(&__damagedata_MOD_userdds, 3, 3, 4, 3, 0));
    CHECK(shape_is(&__damagedata_MOD_delamdds, 3, 3, 3, 3, 0));
    CHECK(shape_is(&__damagedata_MOD_dmgplane, 2, 10, 3, 0, 0));
    CHECK(shape_is(&__bukdata_MOD_bukintdatalist, 4, 4, 3, 3, 2));
    CHECK(shape_is(&__bukdata_MOD_bukrealdatalist, 4, 12, 3, 3, 2));

    __datahandling_MOD_deallocall(&istat);
    CHECK(!kestro_array_exists(&__damagedata_MOD_generaldds));
    CHECK(__damagedata_MOD_ndmg == 3); /* scalars are kept */
}

/* The services that C++ callers inline are exported under their C names too. */
static void utility_routines(void) {
    const int32_t three = 3, four = 4, two = 2, one = 1, up = 1, down = -1, eight = 8, absent = 16;
    const int32_t list[3] = {4, 8, 15};
    const double src[3] = {1.5, -2.0, 3.0};
    const double x[4] = {2.0, NAN, -1.0, 2.0};
    double id[10], dst[4];
    int32_t iloc[4], ierror = 5;
    kestro_complex a = {1.0, 2.0}, b = {3.0, 4.0};

    id[9] = 99.0;
    GetIdentityMatrix(id, &three);
    CHECK(id[0] == 1.0 && id[4] == 1.0 && id[8] == 1.0 && id[1] == 0.0 && id[3] == 0.0 && id[9] == 99.0);
    dst[3] = 99.0;
    fVectorCopy(src, dst, &three);
    CHECK(dst[0] == 1.5 && dst[1] == -2.0 && dst[2] == 3.0 && dst[3] == 99.0);

    CHECK(iFindLocation(&eight, list, &three, NULL) == 2);
    CHECK(iFindLocation(&absent, list, &three, NULL) == KESTRO_NOT_FOUND);

    fGetContinuous(x, &four, iloc, &up);
    CHECK(iloc[0] == 3 && iloc[1] == 1 && iloc[2] == 4 && iloc[3] == 2);
    fGetContinuous(x, &four, iloc, &down);
    CHECK(iloc[0] == 1 && iloc[1] == 4 && iloc[2] == 3 && iloc[3] == 2);

    cSwap(&a, &b);
    CHECK(a.re == 3.0 && a.im == 4.0 && b.re == 1.0 && b.im == 2.0);

    {
        const kestro_logical1 first = ProcessLock(&one, &two, NULL);
        const kestro_logical1 last = ProcessLock(&two, &two, NULL);
        CHECK(first == 0 && last == 1);
        ProcessUnLock(&ierror);
        CHECK(ierror == 0);
        CHECK(((const int32_t *)__jobdata_MOD_processid.data)[1] == 2);
        kestro_array_drop(&__jobdata_MOD_processid);
    }
}

_Static_assert(sizeof(__path_MOD_csinfopath) == 240, "csinfopath holds 240 characters");
_Static_assert(sizeof(__spanug_MOD_kennz) == 80, "kennz holds 80 characters");

/* The box-beam through its exported data: refused before Box_Initialize,
 * capacities as given, and two caps on the y axis joined by a shear wall,
 * which have no bending stiffness about it and are refused after their
 * centre is stored. */
static void box_beam(void) {
    const int32_t walls = 2, caps = 2, cells = 1;
    const kestro_logical1 yes = 1;
    int32_t cleared = 0;
    double *yi, *bi, *yk;
    Box_GetXSection();
    CHECK(__errorhandling_MOD_errstat == -2);
    CHECK(kestro_host_box_refusal() != NULL);
    __errorhandling_MOD_rsxerr(&cleared, &yes);

    Box_Initialize(&walls, &caps, NULL);
    CHECK(__restr_MOD_maxwa == 2 && __restr_MOD_maxgu == 2 && __restr_MOD_maxze == 100);
    CHECK(shape_is(&__kraft_MOD_t0, 1, 4, 0, 0, 0) && shape_is(&__zelle_MOD_ia, 2, 2, 100, 0, 0));
    Box_Initialize(NULL, NULL, &cells);
    CHECK(shape_is(&__wand_MOD_yk0, 1, 100, 0, 0, 0) && shape_is(&__epigam_MOD_epi, 2, 100, 3, 0, 0));

    yi = (double *)__gurt_MOD_yi.data;
    bi = (double *)__gurt_MOD_bi.data;
    yi[0] = 0.0;
    yi[1] = 2.0;
    bi[0] = 1.0;
    bi[1] = 3.0;
    __gurt_MOD_ig = 2;
    ((int32_t *)__wand_MOD_ig1.data)[0] = 1;
    ((int32_t *)__wand_MOD_ig2.data)[0] = 2;
    yk = (double *)__wand_MOD_yklk.data;
    yk[0] = 2.0;
    ((double *)__wand_MOD_gk.data)[0] = 1.0;
    __wand_MOD_kw = 1;
    __zelle_MOD_az = 0;
    __steuer_MOD_druck = 0;
    Box_GetXSection();
    CHECK(__errorhandling_MOD_errstat == -2); /* no stiffness about the z axis: refused */
    CHECK(__quer_MOD_bx == 4.0 && __quer_MOD_ys == 1.5);
    __errorhandling_MOD_rsxerr(&cleared, &yes);
}

/* The strided dot product of the flow systems: rows of a column-major 3 x 3
 * matrix (stride 3) and strided vectors; nothing for n <= 0. */
static void strided_dot(void) {
    static const double a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, b[5] = {1, 10, 100, 1000, 10000};
    static const struct {
        int offset;
        int32_t n, la, lb;
        double sum;
    } cases[] = {{1, 3, 3, 1, 2 + 50 + 800}, {2, 3, 3, 2, 3 + 600 + 90000}, {0, 2, 1, 3, 1 + 2000},
                 {0, 0, 3, 1, 0.0}, {0, -4, 3, 1, 0.0}};
    size_t k;
    for (k = 0; k < sizeof cases / sizeof cases[0]; ++k)
        CHECK(QVSKPX(a + cases[k].offset, b, &cases[k].n, &cases[k].la, &cases[k].lb) == cases[k].sum);
}

/* A homogeneous section through the optional arguments left out: the
 * transverse-shear stiffness 5/6 G h of a parabolic shear flow. */
static void section_tables(void) {
    const int32_t plies = 2, one = 1;
    const int32_t ids[2] = {1, 1};
    const double angles[2] = {0.0, 0.0}, t[2] = {0.5, 0.5};
    double elastic[18], h[4] = {0.0, 0.0, 0.0, 0.0};
    int i;
    for (i = 0; i < 18; ++i) elastic[i] = (i % 9) < 3 ? 1000.0 : (i % 9) < 6 ? 0.25 : 400.0;
    GetSectionHMatrix(h, ids, angles, t, elastic, &plies, &one, NULL, NULL, NULL);
    CHECK(fabs(h[0] - 1000.0 / 3.0) < 1e-9 && fabs(h[3] - 1000.0 / 3.0) < 1e-9 && fabs(h[1]) < 1e-12);
}

/* The contact law is the function type of the root finder: the contact force
 * of a linear law (n = 1) solves K (x0 - c F) = F, F = K x0 / (1 + K c). */
static void contact_force(void) {
    const double law[7] = {2e5, 0.01, 1e-6, 0.0, 2e-6, 1.0, 0.0};
    const double low = 0.0, high = 5000.0, tolerance = 1e-9;
    const int32_t iterations = 100, count = 7, flag = 0;
    int32_t status = -1;
    double force = 0.0;
    __math_MOD_bdsafe(ContactLaw, &low, &high, &force, law, &tolerance, &iterations, &count, &flag, &status);
    CHECK(status == 0 && fabs(force - 2e5 * 0.01 / (1.0 + 2e5 * 3e-6)) < 1e-6);
}

/* Counts that no array can have write nothing (a guard stays), record -2 and
 * compute nothing in 32 bits that overflows; an all-zero stiffness has no
 * compliance. */
static void unsupported_ply_dimensions(void) {
    const int32_t counts[3] = {-1, -3, INT32_MIN}, one = 1, six = 6, zero = 0, nine = 9, n36 = 36;
    const double angle = 0.3, props[36] = {0.0}, ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    double guard[36];
    int32_t cleared = 0, i, k;
    const kestro_logical1 yes = 1;
    for (k = 0; k < 3; ++k) {
        for (i = 0; i < 36; ++i) guard[i] = 7.0;
        GetNyeTransformationMatrix(guard, &angle, &counts[k], &one, &one);
        GetNyeStiffnessMatrix(guard, ones, &counts[k], NULL);
        GetGeneralizedNyeOnAxisSC(guard, ones, &counts[k], &nine, &one, NULL, NULL, NULL);
        for (i = 0; i < 36; ++i) CHECK(guard[i] == 7.0);
        CHECK(__errorhandling_MOD_errstat == -2);
        __errorhandling_MOD_rsxerr(&cleared, &yes);
    }
    GetGeneralizedNyeOnAxisSC(guard, props, &six, &n36, &zero, NULL, NULL, NULL);
    CHECK(__errorhandling_MOD_errstat == -2);
    CHECK(memcmp(__errorhandling_MOD_errstring, "Matrix inverse becomes numerically singular!", 44) == 0);
    for (i = 0; i < 36; ++i) CHECK(guard[i] == 0.0);
    __errorhandling_MOD_rsxerr(&cleared, &yes);
}

/* A NaN point has no B-spline value and reads no table; evaluator checks of
 * too few points fail without writing. */
static void cubic_hermite_limits(void) {
    const double t[8] = {0, 0, 0, 0, 1, 1, 1, 1}, a[4] = {1, 2, 3, 4}, x = NAN;
    const float ts[8] = {0, 0, 0, 0, 1, 1, 1, 1}, as[4] = {1, 2, 3, 4}, xs = NAN;
    const int32_t n = 4, k = 4, ideriv = 0, lout = 6, kprint = 0;
    const int32_t few[3] = {0, 1, 10};
    int32_t inbv = 1, fail = 0, j, i;
    double work[12], guard[4];
    float works[12], guards[4];
    CHECK(isnan(dbvalu_(t, a, &n, &k, &ideriv, &x, &inbv, work)));
    CHECK(isnan(bvalu_(ts, as, &n, &k, &ideriv, &xs, &inbv, works)));
    for (j = 0; j < 3; ++j) {
        for (i = 0; i < 4; ++i) guard[i] = guards[i] = 5.0f;
        devchk_(&lout, &kprint, &few[j], guard, guard + 1, guard + 2, guard + 3, &fail);
        CHECK(fail == 1);
        fail = 0;
        evchck_(&lout, &kprint, &few[j], guards, guards + 1, guards + 2, guards + 3, &fail);
        CHECK(fail == 1);
        for (i = 0; i < 4; ++i) CHECK(guard[i] == 5.0 && guards[i] == 5.0f);
    }
}

int main(void) {
    initial_state();
    box_beam();
    strided_dot();
    array_lifecycle();
    error_record();
    damage_shapes();
    utility_routines();
    section_tables();
    contact_force();
    unsupported_ply_dimensions();
    cubic_hermite_limits();
    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
