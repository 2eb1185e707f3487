/* The damage field hooks from C: the state initialisation marks an all-zero
 * state fresh, and the driver turns the table's Voigt stress into the block's
 * Nye stress without any tables of the job. */
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    double statev[40] = {0}, field[5] = {0}, table[16] = {0};
    const double eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, coord[3] = {0}, time[2] = {0}, celent = 0.5, dtime = 0.1;
    const int32_t nstatv = 40, nfield = 5, one = 1, two = 2, three = 3;
    int32_t cleared = 0;
    const kestro_logical1 yes = 1;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    __toplevel_MOD_gen_sdvini(statev, coord, &nstatv, &three, &one, &one, &one, &one);
    CHECK(statev[39] == 1.7976931348623157e308 && statev[0] == 0);
    statev[39] = 0;
    for (int k = 1; k <= 6; ++k) table[k] = k;
    __toplevel_MOD_gen_damage(field, statev, eye, eye, &celent, time, &dtime, cmname, &nfield, &nstatv, &one, &one,
                              &one, &one, &two, &one, coord, table, sizeof cmname);
    CHECK(statev[0] == 1 && statev[3] == 6 && statev[5] == 4 && statev[21] == 1 && statev[34] == 0);
    CHECK(__errorhandling_MOD_errstat == -2); /* no material tables */
    __errorhandling_MOD_rsxerr(&cleared, &yes);
    return failures;
}
