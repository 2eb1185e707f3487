/* The explicit Cartesian ply-damage material from C through its symbol:
 * the packaged start of one point strained 1e-3 along the fibres is the
 * elastic stress of the mean moduli (130000, 9500). */
#include <math.h>
#include <string.h>

#include "check.h"
#include "kestro/kestro.h"

int main(void) {
    const double props[39] = {140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.45, 0.3, 2000, 50, 50, -1200,
                              -200, -200, 80, 80, 60, 120000, 10000, 10, 5000, 0, 0, 100, 10, 0.2, 1.0,
                              0.3, 0, 0, 0, 1, 2, 0, 0, 1, 0, 0};
    const double lengths[3] = {0.5, 0.5, 0.25}, density = 1.5, zero = 0, energy = 0;
    const int32_t one = 1, three = 3, nstatev = 82, nprops = 39, none = 0;
    double increment[6] = {1e-3, 0, 0, 0, 0, 0}, old[6] = {0}, spare[9] = {0}, stateold[82] = {0};
    double stress[6], state[82], internal, inelastic;
    char cmname[80];
    memset(cmname, ' ', sizeof cmname);
    stateold[18] = 1;
    __toplevel_MOD_vumat_cartesian(&one, &three, &three, &nstatev, &none, &nprops, &none, &zero, &zero, &zero, cmname,
                                   spare, lengths, props, &density, increment, spare, spare, spare, spare, spare, old,
                                   stateold, &energy, &energy, spare, spare, spare, spare, stress, state, &internal,
                                   &inelastic, sizeof cmname);
    CHECK(fabs(stress[0] - 133.0313677804071) < 1e-10 && fabs(stress[1] - 5.147247296305258) < 1e-12);
    CHECK(stress[3] == 0 && state[20] == 1e-3 && state[18] == 1);
    CHECK(fabs(internal - 0.04434378926013569) < 1e-15 && fabs(inelastic) < 1e-15);
    return failures;
}
