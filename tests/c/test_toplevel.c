/* The analysis control entries as a solver's forwarding routine in C calls
 * them: optional arguments absent as null pointers, the explicit solver's
 * arrays shorter than the entries the entry reads. */
#include "check.h"
#include "kestro/kestro.h"

/* The implicit truss of a bar along x of length 0.5 (E 1, rho 8, A 0.5), node 2 moved by 0.1 along x. */
static void truss(double *rhs, double *amatrx, double *energy, const int32_t *lflags) {
    const int32_t six = 6, one = 1, two = 2, three = 3, twelve = 12, none = 0;
    const double props[3] = {1.0, 8.0, 0.5}, coords[6] = {0, 0, 0, 0.5, 0, 0}, u[6] = {0, 0, 0, 0.1, 0, 0};
    const double params[3] = {0, 0, 0}, time[2] = {0, 0}, zero = 0.0;
    double svars[12] = {0}, pnewdt = 1.0;
    __toplevel_MOD_uel_truss(rhs, amatrx, svars, energy, &six, &one, &twelve, props, &three, coords, &three, &two, u,
                             u, u, u, &one, time, &zero, &one, &one, &one, params, &none, &none, &zero, &zero, &none,
                             lflags, &six, &zero, &none, &pnewdt, &none, &none, &zero);
    CHECK(pnewdt == 1.0);
}

int main(void) {
    const int32_t lrestart = 0, kinc = 1, ints[4] = {0, 0, 7, 3}, two = 2, four = 4, three = 3;
    const double time[2] = {0.0, 0.0}, dtime = 0.1, reals[3] = {0.0, 0.0, 0.1};
    int32_t lop, kstep = 2;
    int32_t *stepid;

    /* Increment events before any start-up: nothing exists, nothing happens. */
    for (lop = 1; lop <= 7; lop += 6) UEXTERNALDB_IOControl(&lop, &lrestart, time, &dtime, &kstep, &kinc, NULL);
    CHECK(!kestro_array_exists(&__sectiondata_MOD_sestress));

    /* Event 1 raises the step count to i_Array(3), read only within niArray. */
    lop = 1;
    VUEXTERNALDB_IOControl(&lop, ints, &two, reals, &three, NULL);
    CHECK(__jobdata_MOD_stepcount == 0);
    VUEXTERNALDB_IOControl(&lop, ints, &four, reals, &three, NULL);
    CHECK(__jobdata_MOD_stepcount == 7);

    /* The end of the analysis releases what a caller created. */
    stepid = (int32_t *)kestro_array_create(&__jobdata_MOD_stepid, (const int64_t[1]){2});
    CHECK(stepid != NULL);
    lop = 3;
    UACCESS_IOControl(&lop, &dtime);
    CHECK(!kestro_array_exists(&__jobdata_MOD_stepid));

    /* The truss element: a bar along x with E A / L = 1, node 2 moved by 0.1: rhs (0.1, 0, 0, -0.1, 0, 0),
     * strain energy 0.005; the mass pass puts 0.5 rho A L = 1 on the diagonal. */
    {
        const int32_t statics[4] = {1, 1, 1, 0}, mass[4] = {1, 1, 4, 0};
        double rhs[6], amatrx[36], energy[8] = {0};
        truss(rhs, amatrx, energy, statics);
        CHECK(rhs[0] == 0.1 && rhs[3] == -0.1 && rhs[1] == 0 && rhs[5] == 0 && amatrx[3] == -1.0);
        CHECK(energy[1] == 0.5 * 0.1 * 0.1);
        truss(rhs, amatrx, energy, mass);
        CHECK(amatrx[0] == 1.0 && amatrx[35] == 1.0 && amatrx[1] == 0.0 && rhs[0] == 0.0);
    }

    /* The implicit impactor before any start-up: the truss part, and svars(16) the struck point's displacement. */
    {
        const int32_t six = 6, one = 1, two = 2, three = 3, twenty = 20, twelve = 12, none = 0, statics[4] = {1, 1, 1, 0};
        const int32_t jprops[3] = {1, 0, 0};
        const double props[12] = {1, 0.3, 1, 0.3, 1, 1, 1, 1, 0, 0, 0, 0}, coords[6] = {0, 0, 0, 0.5, 0, 0};
        const double u[6] = {0, 0, 0, 0.1, 0, 0}, params[3] = {0, 0, 0}, zero = 0.0;
        double rhs[6], amatrx[36], svars[20] = {0}, energy[8] = {0}, cprops[20] = {0}, pnewdt = 1.0;
        __toplevel_MOD_uel_impact(rhs, amatrx, svars, energy, &six, &one, &twenty, props, &twelve, coords, &three, &two,
                                  u, u, u, u, &one, time, &zero, &one, &one, &one, params, &none, &none, &zero, &zero,
                                  &none, statics, &six, &zero, &none, &pnewdt, jprops, &three, &zero, cprops);
        CHECK(svars[15] == 0.1 && cprops[0] == 0.0 && pnewdt == 1.0 && __errorhandling_MOD_errstat == 0);
    }

    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
