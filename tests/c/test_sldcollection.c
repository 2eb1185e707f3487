/* The load and amplitude hooks, the nodal patch and the characteristic-length
 * hook as a solver's forwarding routine in C calls them: fixed 80-character
 * names without lengths, absent optional arguments as null pointers, module
 * procedures with a trailing length per character argument. */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    char name[80];
    double f = 0.0, ldflag = 0.0, force = 1.0, alpha = 1.0, t_user[3], amp = 1.0;
    const double dircos[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, coords[3] = {12, 21, 0}, cprops[20] = {900, 3};
    double dprops[12] = {5, 10, 20, 5};
    const double table[8] = {0, 1, 2, 3, 0, 1, 4, 9}, at = 1.5;
    const int32_t kstep = 1, nimp = 1, ndata = 8;

    memset(name, ' ', sizeof name);
    memcpy(name, "LOAD_POINT_SYMX", 15);
    cload(&f, &ldflag, &force, name);
    CHECK(ldflag == 1.0 && f == 2e6);

    /* Before start-up every step counts as fatigue: the record starts, no load. */
    dsload(&alpha, t_user, &kstep, coords, dircos, cprops, dprops, &nimp, NULL);
    CHECK(alpha == 0.0 && t_user[2] == -1.0 && dprops[4] == 0.0 && fabs(dprops[5] - sqrt(5.0)) < 1e-15);

    CAMPLITUDE(&amp, table, &at, &ndata, NULL);
    CHECK(amp == 2.21875);

    {
        /* Two unit squares: the patch of element 1 is element 2's four points. */
        const double nodal[24] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 2, 0, 0, 2, 1, 0, 1, 1, 0};
        const int32_t nodes[8] = {1, 2, 5, 4, 2, 3, 6, 5}, elemid = 1, npt = 5, nnodes = 4, nelem = 2;
        double patch[15];
        GetNodalPatch(patch, nodal, nodes, &elemid, &npt, &nnodes, &nelem, NULL, NULL, NULL, NULL);
        CHECK(patch[0] == 1.0 && patch[9] == 1.0 && patch[10] == 1.0 && patch[12] == -1.7976931348623157e308);
    }
    {
        /* One brick 2 x 3 x 4 in a block of one. */
        const int32_t one = 1, three = 3, eight = 8, zero = 0, jeltype[3] = {6, 0, 0};
        const double brick[24] = {0, 2, 2, 0, 0, 2, 2, 0, 0, 0, 3, 3, 0, 0, 3, 3, 0, 0, 0, 0, 4, 4, 4, 4};
        double lengths[3];
        __toplevel_MOD_vucharlength_cel(&one, &zero, &zero, &three, &three, &eight, &zero, &zero, &zero, &zero,
                                        jeltype, &one, &at, &at, &at, name, brick, brick, dircos, dircos, NULL, NULL,
                                        NULL, lengths, sizeof name);
        CHECK(lengths[0] == 2.0 && lengths[1] == 3.0 && lengths[2] == 4.0);
    }

    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures != 0;
}
