// Ply constants in Nye form and stiffness or compliance in another base.
#include "mechanics/notation.hpp"

#include <cstdint>

#include "core/errorhandling.hpp"
#include "math/small.hpp"

namespace {

// The index pairs (0-based) of the six components in Nye and in Voigt order.
constexpr int kNye[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};
constexpr int kVoigt[6][2] = {{0, 0}, {1, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};

}  // namespace

namespace kestro::lamina {

void in_base(double *scbase, const double *sc, const double *base, bool stiffness, bool nye) {
    const auto &pairs = nye ? kNye : kVoigt;
    // base(i, k): component k of new axis i (the rows are the axes).
    const auto r = [base](int i, int k) { return base[k * 3 + i]; };
    // The stress rule T(I, J) from the tensor rule, and for compliance the
    // engineering-strain rule: shears of the new strain doubled, of the old halved.
    double t[6][6];
    for (int a = 0; a < 6; ++a) {
        const int i = pairs[a][0], j = pairs[a][1];
        for (int b = 0; b < 6; ++b) {
            const int k = pairs[b][0], l = pairs[b][1];
            double v = k == l ? r(i, k) * r(j, k) : r(i, k) * r(j, l) + r(i, l) * r(j, k);
            if (!stiffness) {
                if (i != j) v *= 2.0;
                if (k != l) v *= 0.5;
            }
            t[a][b] = v;
        }
    }
    // m = T sc, scbase = m T^T (column-major, sums in k order).
    double columns[36], transposed[36], m[36];
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b) {
            columns[b * 6 + a] = t[a][b];
            transposed[a * 6 + b] = t[a][b];
        }
    kestro::math::small::product_columns<6, 6, 6, false>(columns, sc, m);
    kestro::math::small::product_columns<6, 6, 6, false>(m, transposed, scbase);
}

}  // namespace kestro::lamina

extern "C" {

void GetNyeProperties(double *nyeprops, const double *elastic, const int32_t *nelastic) {
    double *p = nyeprops;
    const double *e = elastic;
    switch (*nelastic) {
        case 2: {  // isotropic E, nu
            const double g = e[0] / (2.0 * (1.0 + e[1]));
            const double values[9] = {e[0], e[0], e[0], e[1], e[1], e[1], g, g, g};
            for (int i = 0; i < 9; ++i) p[i] = values[i];
            break;
        }
        case 5: {  // transversely isotropic about axis 1: E1, E2, nu12, nu23, G12
            const double values[9] = {e[0], e[1], e[1], e[2], e[2], e[3], e[4], e[4], e[1] / (2.0 * (1.0 + e[3]))};
            for (int i = 0; i < 9; ++i) p[i] = values[i];
            break;
        }
        case 9:
            for (int i = 0; i < 9; ++i) p[i] = e[i];
            break;
        default:
            for (int i = 0; i < 9; ++i) p[i] = 0.0;
            kestro::record_error(-2, "Unsupported number of elastic constants in GetNyeProperties", {0, 0}, {0.0, 0.0},
                                 {"", ""});
    }
}

void GetArbitraryBaseSC(double *scbase, const double *sc, const double *base, const int32_t *scflag,
                        const int32_t *ntflag) {
    kestro::lamina::in_base(scbase, sc, base, *scflag == 1, *ntflag == 1);
}

}  // extern "C"
