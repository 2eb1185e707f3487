/* The analysis control entries as a solver's forwarding routine in C calls
 * them: optional arguments absent as null pointers, the explicit solver's
 * arrays shorter than the entries the entry reads. */
#include "check.h"
#include "kestro/kestro.h"

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

    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
