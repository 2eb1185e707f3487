/* Every exported routine that takes a count of plies, sections, elastic
 * constants, table rows, search points or list entries, called from C with
 * negative counts: each input exactly as long as its extents make it (none
 * for a negative extent), each output exactly that long followed by guard
 * entries, all filled beforehand.  Under AddressSanitizer a read past an
 * input fails; a refused call leaves every output and guard as it was, its
 * scalar results 0 where it has such, and records -2 "Negative count in" the
 * routine.  Ply tables narrower than the values read per ply are refused
 * the same way.  tests/build/test_counts.py keeps the list of routines complete. */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

enum { GUARDS = 4 };
static const double FILL = -7.25e77;
static const int32_t IFILL = -777;

static void *blocks[256];
static int nblocks = 0;

static void *keep(void *block) {
    blocks[nblocks++] = block;
    return block;
}

static void release(void) {
    while (nblocks > 0) free(blocks[--nblocks]);
}

/* The entries of an array of the given extents: 0 when one is negative. */
static long long entries(int rank, const long long *extents) {
    long long n = 1;
    int k;
    for (k = 0; k < rank; ++k) n *= extents[k] > 0 ? extents[k] : 0;
    return n;
}
#define ENTRIES(...) entries(sizeof((long long[]){__VA_ARGS__}) / sizeof(long long), (long long[]){__VA_ARGS__})

/* An input of n entries, each `value`. */
static double *in_reals(long long n, double value) {
    double *a = keep(malloc(n > 0 ? (size_t)n * sizeof *a : 1));
    long long k;
    for (k = 0; k < n; ++k) a[k] = value;
    return a;
}
static int32_t *in_ints(long long n, int32_t value) {
    int32_t *a = keep(malloc(n > 0 ? (size_t)n * sizeof *a : 1));
    long long k;
    for (k = 0; k < n; ++k) a[k] = value;
    return a;
}

/* An output of n entries and the guards behind them, all FILL. */
static double *out_reals(long long n) {
    return in_reals((n > 0 ? n : 0) + GUARDS, FILL);
}
static int32_t *out_ints(long long n) {
    return in_ints((n > 0 ? n : 0) + GUARDS, IFILL);
}
static int untouched(const double *a, long long n) {
    long long k;
    for (k = 0; k < (n > 0 ? n : 0) + GUARDS; ++k)
        if (a[k] != FILL) return 0;
    return 1;
}
/* Whether the guards behind the n entries of an output are intact. */
static int guards(const double *a, long long n) {
    return untouched(a + (n > 0 ? n : 0), 0);
}
static int untouched_ints(const int32_t *a, long long n) {
    long long k;
    for (k = 0; k < (n > 0 ? n : 0) + GUARDS; ++k)
        if (a[k] != IFILL) return 0;
    return 1;
}

static void clear(void) {
    const kestro_logical1 yes = 1;
    int32_t reset;
    __errorhandling_MOD_rsxerr(&reset, &yes);
}

/* Whether the record holds -2 with `message`, blank-padded; clears it. */
static int recorded(const char *message) {
    char expected[80];
    const size_t n = strlen(message);
    const int same = __errorhandling_MOD_errstat == -2;
    memset(expected, ' ', sizeof expected);
    memcpy(expected, message, n < 80 ? n : 80);
    clear();
    return same && memcmp(__errorhandling_MOD_errstring, expected, 80) == 0;
}
/* The refusal the calls below expect: a negative count, an increment
 * outside the search table, or ply tables narrower than the values read per
 * ply. */
static const char *refusal = "Negative count in ";
static int refused(const char *routine) {
    char message[128];
    snprintf(message, sizeof message, "%s%s", refusal, routine);
    return recorded(message);
}

static const int32_t one = 1, nine = 9;
static const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, zero3[3] = {0, 0, 0}, pair[2] = {1, 1};

/* The section services with np plies, ns sections and ne constants per ply. */
static void sections(int32_t np, int32_t ns, int32_t ne) {
    const long long rows = 2LL * np + 1, plies = ENTRIES(np, ns);
    const int32_t *ids = in_ints(plies, 1);
    const double *angles = in_reals(plies, 45.0), *t = in_reals(plies, 0.1), *z = in_reals(ENTRIES(rows, ns), 0.0);
    const double *elastic = in_reals(ENTRIES(ne, np, ns), 1.0);
    double *zcoord = out_reals(ENTRIES(rows, ns)), *f = out_reals(ENTRIES(rows, 4, ns));
    double *fg = out_reals(ENTRIES(rows, 4, ns)), *h = out_reals(ENTRIES(2, 2, ns));
    double *normal = out_reals(ENTRIES(rows, 1)), *shear = out_reals(ENTRIES(2 * plies, 2, 4, 1));
    int32_t status = IFILL;
    const int32_t zero = 0, six = 6, eight = 8, rows32 = (int32_t)(rows > 0 && rows < INT_MAX ? rows : 0);
    const int32_t nint = (int32_t)(2 * plies), kind = 4, nspt = 2;

    if (np < 0 || ns < 0) { /* it takes no constants */
        GetSectionZCoord(zcoord, ids, t, &np, &ns, NULL);
        CHECK(refused("GetSectionZCoord") && untouched(zcoord, ENTRIES(rows, ns)));
    }
    GetSectionFMatrix(f, ids, angles, t, z, elastic, &np, &ns, NULL, &ne);
    CHECK(refused("GetSectionFMatrix") && untouched(f, ENTRIES(rows, 4, ns)));
    GetArbitrarySectionFG(fg, ids, angles, t, z, elastic, &np, &ns, &one, &one, pair, NULL, &ne);
    CHECK(refused("GetArbitrarySectionFG") && untouched(fg, ENTRIES(rows, 4, ns)));
    GetSectionHMatrix(h, ids, angles, t, elastic, &np, &ns, NULL, NULL, &ne);
    CHECK(refused("GetSectionHMatrix") && untouched(h, ENTRIES(2, 2, ns)));
    /* An element of kind 4 (8 nodes) whose motions are not all zero. */
    GetShellTransverseStresses(normal, shear, in_reals(3 * 8, 1.0), in_reals(6 * 8, 0.5),
                               in_reals(6 * 2 * plies * 4, 1.0), in_reals(ENTRIES(2, 2, ns), 1.0),
                               in_reals(ENTRIES(rows, 4, ns), 0.5), angles, t, z,
                               elastic, &nspt, pair, &kind, ids, &one, &one, &one, &one, &one, &np, &ns, &rows32,
                               &nint, &six, &eight, &one, NULL, &ne);
    CHECK(refused("GetShellTransverseStresses") && untouched(normal, rows) && untouched(shear, 2 * plies * 2 * 4));
    if (ne != nine) return; /* the rest take no constants */
    GetElementRefOrientation(&status, &zero, eye, eye, angles, &one, &one, &one, &one, &np, &ns, &zero);
    CHECK(refused("GetElementRefOrientation") && status == IFILL);
}

/* The through-thickness services of one section of np plies, npt points each. */
static void through_thickness(int32_t np) {
    const long long rows = 2LL * np + 1;
    const int32_t nzcrd = (int32_t)(rows > 0 && rows < INT_MAX ? rows : 0), nspt = 3;
    const int32_t *points = in_ints(np, nspt);
    const double *z = in_reals(rows, 0.0), *table = in_reals(ENTRIES(rows, 4), 0.5), r[2] = {1, 2};
    const double ki = 0.1, kj = 0.2;
    double *s33 = out_reals(rows), *sbt = out_reals(ENTRIES(6, 2LL * np)), *sint = out_reals(nzcrd);
    double *xytss = out_reals(ENTRIES((long long)np * nspt, 2));

    GetNormalStressFromBottom(s33, r, r, z, table, &np);
    CHECK(refused("GetNormalStressFromBottom") && untouched(s33, rows));
    GetPlyBottomTopStress(sbt, in_reals(ENTRIES(6, (long long)np * nspt), 1.0), points, &nzcrd, &np);
    CHECK(refused("GetPlyBottomTopStress") && untouched(sbt, ENTRIES(6, 2LL * np)));
    GetIntegralOfMembraneNormalStress(sint, in_reals(2LL * np, 1.0), z, points, &ki, &kj, &nzcrd, &np);
    CHECK(refused("GetIntegralOfMembraneNormalStress") && untouched(sint, nzcrd));
    GetExt2DShearStress(xytss, r, in_reals(np, 30.0), table, &nspt, &np);
    CHECK(refused("GetExt2DShearStress") && untouched(xytss, ENTRIES((long long)np * nspt, 2)));
}

/* Whether a failure driver was refused: flag and exposure 0, nothing after
 * them.  Both are filled again for the next call. */
static int driver_refused(const char *routine, double *flag, double *exposure) {
    const int ok = refused(routine) && flag[0] == 0.0 && exposure[0] == 0.0 && guards(flag, 1) && guards(exposure, 1);
    flag[0] = exposure[0] = FILL;
    return ok;
}

/* The failure drivers of ply 2 of 3 in section 1 of 2, with the given counts. */
static void drivers(int32_t nlayer, int32_t nsec, int32_t npeprops, int32_t npsprops) {
    const double *stress = in_reals(6, 100.0), *peprops = in_reals(ENTRIES(npeprops, nlayer, nsec), 1.0);
    const double *psprops = in_reals(ENTRIES(npsprops, nlayer, nsec), 50.0);
    const double *angles = in_reals(ENTRIES(nlayer, nsec), 0.0), *t = in_reals(ENTRIES(nlayer, nsec), 0.1);
    const double s33 = 10.0;
    const int32_t layer = 2, isec = 1, nprops = 0, crushing = 3;
    double *flag = out_reals(1), *exposure = out_reals(1), *theta = out_reals(1);

    if (npeprops >= 9) { /* these two take no constants */
        __failure_MOD_generalfailure(flag, exposure, stress, psprops, angles, &layer, &isec, &one, &nlayer, &nsec,
                                     &npsprops);
        CHECK(driver_refused("generalfailure", flag, exposure));
        __failure_MOD_corecrushing(flag, exposure, stress, psprops, angles, &layer, &isec, &crushing, &nlayer,
                                   &nsec, &npsprops);
        CHECK(driver_refused("corecrushing", flag, exposure));
    }
    __failure_MOD_fiberbreakage(flag, exposure, stress, peprops, psprops, angles, &layer, &isec, &one, &nlayer,
                                &nsec, &npeprops, &npsprops);
    CHECK(driver_refused("fiberbreakage", flag, exposure));
    __failure_MOD_delamination(flag, exposure, &s33, stress, stress, peprops, psprops, angles, t, &layer, &isec,
                               &one, &nlayer, &nsec, &npeprops, &npsprops);
    CHECK(driver_refused("delamination", flag, exposure));
    MatrixCracking(flag, exposure, stress, peprops, psprops, NULL, angles, &layer, &isec, &nlayer, &nsec, &nprops,
                   &one, theta, NULL, &npeprops, &npsprops);
    CHECK(driver_refused("MatrixCracking", flag, exposure) && untouched(theta, 1));
}

/* The merges of nx and ny values into merged(nx + ny). */
static void merges(int32_t nx, int32_t ny) {
    const long long total = (long long)nx + ny;
    int32_t *imerged = out_ints(total);
    double *fmerged = out_reals(total);
    iGetMerged(imerged, in_ints(nx, 4), in_ints(ny, 5), &nx, &ny, NULL);
    CHECK(refused("iGetMerged") && untouched_ints(imerged, total));
    fGetMerged(fmerged, in_reals(nx, 4.0), in_reals(ny, 5.0), &nx, &ny, NULL);
    CHECK(refused("fGetMerged") && untouched(fmerged, total));
}

/* The golden-section search over a table of npoints, increment points
 * evaluated: the first `refusing` of GetNextFromGoldenSearch,
 * GetMaximumFromGoldenSearch, GSSAFE and IniGoldenSearch are refused, the
 * maximum is served when it is not. */
static void search(int32_t npoints, int32_t increment, int refusing) {
    const double *y = in_reals(npoints, 1.0), xlow = 0.0, xup = 3.0, dx = 0.1, defaultvalue = 1.5;
    double *x = out_reals(npoints), *xmove = out_reals(4), *ymove = out_reals(4), *lplimits = out_reals(2);
    double *xnext = out_reals(1), *width = out_reals(1), *xi = out_reals(1), *yi = out_reals(1);
    int32_t *xdir = out_ints(1), *incr = out_ints(1), *proc = out_ints(1);
    kestro_logical1 golden = 7, finish = 7, update = 7;

    incr[0] = increment;
    GetNextFromGoldenSearch(xnext, width, x, y, xmove, ymove, xdir, incr, &npoints);
    CHECK(refused("GetNextFromGoldenSearch") && untouched(xnext, 1) && untouched(width, 1) && untouched(x, npoints) &&
          untouched(xmove, 4) && untouched(ymove, 4) && untouched_ints(xdir, 1) && incr[0] == increment);
    clear();
    xdir[0] = 1;
    incr[0] = increment;
    *xnext = FILL;
    GetMaximumFromGoldenSearch(xnext, y, eye, eye, &defaultvalue, xdir, incr, &npoints);
    CHECK(refusing < 2 ? guards(xnext, 1) : refused("GetMaximumFromGoldenSearch") && untouched(xnext, 1));
    clear();
    if (refusing < 3) return;
    GSSAFE(xi, yi, &dx, x, out_reals(npoints), xmove, ymove, lplimits, xdir, incr, proc, &golden, &update, &finish,
           &defaultvalue, &npoints);
    CHECK(refused("GSSAFE") && untouched(xi, 1) && untouched(yi, 1) && untouched(x, npoints) && untouched(xmove, 4) &&
          untouched_ints(proc, 1) && incr[0] == increment && update == 7 && finish == 7);
    if (refusing < 4) return;
    IniGoldenSearch(x, out_reals(npoints), xmove, lplimits, incr, proc, &golden, &finish, &xlow, &xup, &dx, &one,
                    &npoints);
    CHECK(refused("IniGoldenSearch") && untouched(x, npoints) && untouched(xmove, 4) && untouched(lplimits, 2) &&
          incr[0] == increment && untouched_ints(proc, 1) && golden == 7 && finish == 7);
}

/* The other routines with a count: a polygon of npoints corners, a string kept to nx characters. */
static void others(int32_t count) {
    char sout[8 + GUARDS];
    const int32_t ns = 8;
    memset(sout, '#', sizeof sout);
    CHECK(ProjectedPointInPolygon(zero3, in_reals(ENTRIES(count, 2), 0.0), zero3, zero3, eye, &count) == 0);
    CHECK(refused("ProjectedPointInPolygon"));
    __stringhandling_MOD_spack("abcabcab", "ab", sout, &ns, &count, 8, 2, 8);
    CHECK(refused("spack") && memcmp(sout, "############", sizeof sout) == 0);
    /* The elastic constants: 9 zeros for a count it does not take, as for any other. */
    {
        double *nye = out_reals(9);
        GetNyeProperties(nye, in_reals(count, 1.0), &count);
        CHECK(recorded("Unsupported number of elastic constants in GetNyeProperties") && nye[0] == 0.0 &&
              nye[8] == 0.0 && untouched(nye + 9, 0));
    }
}

/* The card readers size the shared tables with at least one ply and section
 * whatever counts they are given, and write no array of the caller: read
 * with negative counts they stay within those tables. */
static void cards(int32_t count) {
    static const char data[] = KESTRO_TEST_DATA;
    const int32_t unit = -1;
    double dds[3 * 2] = {FILL, FILL, FILL, FILL, FILL, FILL};
    __iohandling_MOD_getsectiondatafromfile("absent.inp", data, 10, sizeof data - 1);
    CHECK(__sectiondata_MOD_nsec >= 1);
    __iohandling_MOD_getmaterialdatafromfile("absent.inp", data, &count, &count, 10, sizeof data - 1);
    CHECK(kestro_array_exists(&__materialdata_MOD_peprops));
    __iohandling_MOD_getdamagedatafromfile("absent.inp", data, &count, &count, 10, sizeof data - 1);
    CHECK(__damagedata_MOD_ndmg >= 1);
    __iohandling_MOD_getddsfromfile(&unit, dds, &count);
    CHECK(dds[0] == FILL && dds[5] == FILL);
    {
        int32_t status;
        __datahandling_MOD_deallocall(&status);
    }
    clear();
}

/* A count of 0 is served as before: the merge of no values and (5, 5, 5),
 * the normal stress of no plies (0 at the one point), the z of sections of no plies. */
static void zero_counts(void) {
    const int32_t zero = 0, three = 3, two = 2;
    int32_t *merged = out_ints(3);
    double *s33 = out_reals(1), *z = out_reals(2);
    const double r[2] = {1, 2};
    iGetMerged(merged, in_ints(0, 4), in_ints(3, 5), &zero, &three, NULL);
    CHECK(merged[0] == 5 && merged[1] == 5 && merged[2] == 5 && untouched_ints(merged + 3, 0));
    GetNormalStressFromBottom(s33, r, r, in_reals(1, 0.0), in_reals(4, 0.5), &zero);
    CHECK(s33[0] == 0.0 && guards(s33, 1));
    GetSectionZCoord(z, in_ints(0, 1), in_reals(0, 0.1), &zero, &two, NULL);
    CHECK(z[0] == 0.0 && z[1] == 0.0 && guards(z, 2));
    CHECK(__errorhandling_MOD_errstat == 0);
}

int main(void) {
    const int32_t counts[] = {-1, -3, -3000, INT_MIN};
    size_t k;
    clear();
    for (k = 0; k < sizeof counts / sizeof *counts; ++k) {
        const int32_t c = counts[k];
        sections(c, 2, 9);
        sections(3, c, 9);
        sections(3, 2, c);
        sections(c, c, c);
        through_thickness(c);
        drivers(3, 2, 9, c);
        drivers(3, 2, c, 10);
        drivers(3, c, 9, 10);
        drivers(c, 2, 9, 10);
        merges(c, 3);
        merges(3, c);
        merges(c, c);
        search(c, 0, 4);
        others(c);
        cards(c);
        release();
    }
    /* Searches past their table: the point handed out would lie outside x, or
     * the value taken in outside y; an empty table has no point to hand out. */
    refusal = "Increment outside the search table in ";
    search(6, 6, 1);
    search(6, 7, 3);
    search(6, -1, 3);
    search(0, 0, 1);
    zero_counts();
    release();
    /* Ply tables narrower than the 9 constants or 10 strengths read per ply:
     * under AddressSanitizer a read past the block fails. */
    {
        static const int32_t narrow[] = {0, 1, 8};
        for (k = 0; k < sizeof narrow / sizeof *narrow; ++k) {
            refusal = "Unsupported number of elastic constants in ";
            sections(3, 2, narrow[k]);
            drivers(3, 2, narrow[k], 10);
            refusal = "Unsupported number of strengths in ";
            drivers(3, 2, 9, narrow[k]);
            drivers(3, 2, 9, narrow[k] + 1);
            release();
        }
    }
    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
