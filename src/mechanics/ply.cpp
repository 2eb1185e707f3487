// Ply stiffness or compliance from 2 to 36 values, and engineering constants
// of a compliance.
#include "mechanics/ply.hpp"

#include <cstdint>
#include <cstdio>

#include "core/process.hpp"
#include "math/small.hpp"

namespace kestro::lamina {

namespace {

// The stiffness (column-major 6 x 6, Nye order) of 12, 21 or 36 values;
// false for other counts.  Counts of ply constants (2, 5, 9, and 12 taken as
// symmetric) give nyeprops instead, with `constants` set.
bool stiffness_of(const double *props, int32_t nprops, bool unsymmetric, double *c6, double *nye, bool &constants) {
    constants = false;
    switch (nprops) {
        case 2:
        case 5:
        case 9:
            GetNyeProperties(nye, props, &nprops);
            constants = true;
            return true;
        case 12: {
            // E1, E2, E3, G12, G13, G23, nu12, nu13, nu23, nu21, nu31, nu32.
            const double *e = props, *g = props + 3, *nu = props + 6;
            if (!unsymmetric) {
                const double values[9] = {e[0], e[1], e[2], nu[0], nu[1], nu[2], g[0], g[1], g[2]};
                for (int k = 0; k < 9; ++k) nye[k] = values[k];
                constants = true;
                return true;
            }
            // Compliance S(i, j) = -nu_ji / E_j, inverted by its cofactors.
            const double nu_ij[3][3] = {{0.0, nu[0], nu[1]}, {nu[3], 0.0, nu[2]}, {nu[4], nu[5], 0.0}};
            double s[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) s[i][j] = i == j ? 1.0 / e[i] : -nu_ij[j][i] / e[j];
            const auto cof = [&s](int i, int j) {
                const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
                return s[i1][j1] * s[i2][j2] - s[i1][j2] * s[i2][j1];
            };
            const double det = s[0][0] * cof(0, 0) + s[0][1] * cof(0, 1) + s[0][2] * cof(0, 2);
            for (int k = 0; k < 36; ++k) c6[k] = 0.0;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) c6[j * 6 + i] = cof(j, i) / det;
            c6[21] = g[0];
            c6[28] = g[1];
            c6[35] = g[2];
            return true;
        }
        case 21: {
            int k = 0;
            for (int i = 0; i < 6; ++i)
                for (int j = 0; j <= i; ++j) c6[j * 6 + i] = c6[i * 6 + j] = props[k++];
            return true;
        }
        case 36:
            for (int k = 0; k < 36; ++k) c6[k] = props[k];
            if (!unsymmetric)
                for (int j = 0; j < 6; ++j)
                    for (int i = j + 1; i < 6; ++i)
                        c6[j * 6 + i] = c6[i * 6 + j] = 0.5 * (c6[j * 6 + i] + c6[i * 6 + j]);
            return true;
        default:
            return false;
    }
}

// Inverts c(n, n) over its rows and columns that are not all zero (the
// plane-stress layouts keep 33 empty); false when that block is singular.
bool invert_nonzero_block(double *c, int32_t n) {
    int rows[6], count = 0;
    for (int i = 0; i < n; ++i) {
        bool any = false;
        for (int j = 0; j < n; ++j) any = any || c[j * n + i] != 0.0 || c[i * n + j] != 0.0;
        if (any) rows[count++] = i;
    }
    bool ok = true;
    math::small::dispatch(count, [&](auto size) {
        constexpr int N = decltype(size)::value;
        double w[N * N], recip[N];
        int piv[N];
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) w[j * N + i] = c[rows[j] * n + rows[i]];
        if (math::small::lu<N>(w, piv, recip) != 0) {
            ok = false;
            return;
        }
        math::small::inverse_from_lu<N>(w, piv, recip);
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) c[rows[j] * n + rows[i]] = w[j * N + i];
    });
    return ok;
}

void print_matrix(const double *c, int32_t n) {
    flush_host_output();
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j) std::printf(" %16.8E", c[j * n + i]);
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace

}  // namespace kestro::lamina

extern "C" {

void GetGeneralizedNyeOnAxisSC(double *sc, const double *props, const int32_t *ntens, const int32_t *nprops,
                               const int32_t *scflag, const int32_t *psflag, const kestro_logical1 *ldflag,
                               const kestro_logical1 *unsymm) {
    using namespace kestro::lamina;
    const int32_t n = *ntens;
    const auto zero = [&] {
        for (int32_t k = 0; k < n * n; ++k) sc[k] = 0.0;
    };
    double c6[36], nye[9];
    bool constants = false;
    if (!stiffness_of(props, *nprops, unsymm != nullptr && *unsymm != 0, c6, nye, constants)) {
        zero();
        unsupported("Unsupported number of properties in GetGeneralizedNyeOnAxisSC");
        return;
    }
    if (constants && (n == 3 || n == 4 || n == 6)) {
        GetNyeStiffnessMatrix(sc, nye, ntens, psflag);
    } else if (!reduce_stiffness(c6, n, psflag, sc)) {
        zero();
        unsupported("Unsupported dimension in GetGeneralizedNyeOnAxisSC");
        return;
    }
    if (*scflag != 1 && !invert_nonzero_block(sc, n)) {
        zero();
        kestro::record_error(-2, "Matrix inverse becomes numerically singular!");
        return;
    }
    if (ldflag != nullptr && *ldflag != 0) print_matrix(sc, n);
}

void GetEngConstsFromComplianceMatrix(double *engconst, const double *s) {
    const auto at = [s](int i, int j) { return s[j * 6 + i]; };
    for (int i = 0; i < 6; ++i) engconst[i] = 1.0 / at(i, i);
    engconst[6] = -at(2, 1) / at(1, 1);  // nu23
    engconst[7] = -at(2, 0) / at(0, 0);  // nu13
    engconst[8] = -at(1, 0) / at(0, 0);  // nu12
}

}  // extern "C"
