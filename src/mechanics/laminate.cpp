// Laminates and sections: z layout, through-thickness tables, transverse-shear
// stiffness and the transverse stresses recovered from the tables.
//
// The tables come from the equilibrium of a section in cylindrical bending:
// with no in-plane forces, the moments M give the ply stresses
// P(z) M = Qbar(z) (b + z d) M, b and d the coupling and bending blocks of
// the inverse stiffness matrix; Qx = dMx/dx and Qy = dMy/dy then give the
// transverse shear stresses as running integrals of -P from the bottom face:
// f1 = -int P22, f2 = -int P31, f3 = -int P32, f4 = -int P11.  Every
// integrand is a polynomial of degree 5 at most within a ply, so the
// integrals are closed forms (power moments) or 3-point Gauss rules, exact.
#include "mechanics/laminate.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "core/errorhandling.hpp"
#include "core/scratch.hpp"
#include "math/small.hpp"
#include "mechanics/ply.hpp"

namespace kestro::laminate {

namespace {

using math::small::Matrix;
using math::small::Ref;
using Matrix2 = Matrix<2>;
using Matrix3 = Matrix<3>;

constexpr int32_t kAbsent = std::numeric_limits<int32_t>::max();
constexpr std::size_t kStackPlies = 64;
constexpr std::size_t kStackRows = 2 * kStackPlies + 1;

// A ply of a section: its turned membrane stiffness and the z of its bottom,
// middle and top.
struct Ply {
    Matrix3 q;
    double bottom, middle, top;
};

void cos_sin(double degrees, double &c, double &s) {
    const double a = degrees * (std::numbers::pi / 180.0);
    c = std::cos(a);
    s = std::sin(a);
}

// The plane-stress stiffness of a ply (11, 22, 12, engineering shear) from
// its nine constants, turned by its angle.
Matrix3 ply_membrane_stiffness(const double *e, double degrees) {
    Matrix3 reduced;
    ply::plane_stress_stiffness(reduced, ply::Constants::of(e));
    const double q11 = reduced(0, 0), q22 = reduced(1, 1), q12 = reduced(0, 1), q66 = reduced(2, 2);
    double c, s;
    cos_sin(degrees, c, s);
    const double c2 = c * c, s2 = s * s, cs = c * s;
    const double c4 = c2 * c2, s4 = s2 * s2, c2s2 = c2 * s2;
    const double a = q11 - q12 - 2.0 * q66, b = q22 - q12 - 2.0 * q66;
    Matrix3 q;
    q(0, 0) = q11 * c4 + 2.0 * (q12 + 2.0 * q66) * c2s2 + q22 * s4;
    q(1, 1) = q11 * s4 + 2.0 * (q12 + 2.0 * q66) * c2s2 + q22 * c4;
    q(0, 1) = q(1, 0) = (q11 + q22 - 4.0 * q66) * c2s2 + q12 * (c4 + s4);
    q(0, 2) = q(2, 0) = a * c2 * cs - b * s2 * cs;
    q(1, 2) = q(2, 1) = a * s2 * cs - b * c2 * cs;
    q(2, 2) = (q11 + q22 - 2.0 * q12 - 2.0 * q66) * c2s2 + q66 * (c4 + s4);
    return q;
}

// The transverse-shear stiffness of a ply in (yz, xz), turned by its angle.
Matrix2 ply_shear_stiffness(const double *e, double degrees) {
    const double g13 = e[ply::G13], g23 = e[ply::G23];
    double c, s;
    cos_sin(degrees, c, s);
    Matrix2 g;
    g(0, 0) = g23 * c * c + g13 * s * s;
    g(1, 1) = g13 * c * c + g23 * s * s;
    g(0, 1) = g(1, 0) = (g13 - g23) * c * s;
    return g;
}

// The thickness weight w = (1 - kx z)(1 - ky z) = 1 - sum z + product z^2
// and its moments.
struct Weight {
    double sum, product;

    double at(double z) const { return 1.0 - sum * z + product * z * z; }

    // The integrals of w z^k from a to b, k = 0, 1, 2.  The powers come as
    // (b - a) times a sum, free of the cancellation of b^n - a^n.
    std::array<double, 3> moments(double a, double b) const {
        double pa[5] = {1.0}, pb[5] = {1.0}, m[5];
        for (int i = 1; i < 5; ++i) {
            pa[i] = pa[i - 1] * a;
            pb[i] = pb[i - 1] * b;
        }
        for (int n = 0; n < 5; ++n) {
            double terms = 0.0;
            for (int i = 0; i <= n; ++i) terms += pb[i] * pa[n - i];
            m[n] = (b - a) * terms / (n + 1);
        }
        return {m[0] - sum * m[1] + product * m[2], m[1] - sum * m[2] + product * m[3],
                m[2] - sum * m[3] + product * m[4]};
    }
};

// The four table entries of a 3 x 3 matrix of running integrals of P.
std::array<double, 4> selected(const Matrix3 &m) { return {m(1, 1), m(2, 0), m(2, 1), m(0, 0)}; }

// a b with the sums the tables have always had (those of Eigen's fixed-size
// product, which served here before): rows 1 and 2 from left to right, row 3
// as its first term plus the sum of the other two.  Kept so that the tables
// do not change in their last bits.
Matrix3 product(const Matrix3 &a, const Matrix3 &b) {
    Matrix3 c;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 2; ++i) c(i, j) = a(i, 0) * b(0, j) + a(i, 1) * b(1, j) + a(i, 2) * b(2, j);
        c(2, j) = a(2, 0) * b(0, j) + (a(2, 1) * b(1, j) + a(2, 2) * b(2, j));
    }
    return c;
}

// a x + b y, a x and a + b entry by entry.
Matrix3 combined(const Matrix3 &a, double x, const Matrix3 &b, double y) {
    Matrix3 c;
    for (int k = 0; k < 9; ++k) c[k] = a[k] * x + b[k] * y;
    return c;
}
Matrix3 scaled(const Matrix3 &a, double x) {
    Matrix3 c;
    for (int k = 0; k < 9; ++k) c[k] = a[k] * x;
    return c;
}
Matrix3 sum(const Matrix3 &a, const Matrix3 &b) {
    Matrix3 c;
    for (int k = 0; k < 9; ++k) c[k] = a[k] + b[k];
    return c;
}

// The determinant and inverse of a 2 x 2 matrix by its cofactors.
double determinant(const Matrix2 &m) { return m(0, 0) * m(1, 1) - m(1, 0) * m(0, 1); }
Matrix2 inverse(const Matrix2 &m) {
    const double r = 1.0 / determinant(m);
    Matrix2 v;
    v(0, 0) = m(1, 1) * r;
    v(1, 0) = -m(1, 0) * r;
    v(0, 1) = -m(0, 1) * r;
    v(1, 1) = m(0, 0) * r;
    return v;
}

// (x f)^T c f of 2 x 2 matrices (x scaling the first factor, as the sums
// of the energy have always been formed).
Matrix2 congruent(double x, const Matrix2 &f, const Matrix2 &c) {
    Matrix2 t, out;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) t(i, j) = (x * f(0, i)) * c(0, j) + (x * f(1, i)) * c(1, j);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) out(i, j) = t(i, 0) * f(0, j) + t(i, 1) * f(1, j);
    return out;
}

// The coupling and bending blocks of the inverse of the weighted stiffness
// matrix; false when it is singular or not finite.
bool compliance_blocks(const Ply *plies, int64_t n, const Weight &w, Matrix3 &b, Matrix3 &d) {
    Matrix<6> abd{};
    for (int64_t p = 0; p < n; ++p) {
        const auto m = w.moments(plies[p].bottom, plies[p].top);
        const Matrix3 &q = plies[p].q;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                abd(i, j) += q(i, j) * m[0];
                abd(i, j + 3) += q(i, j) * m[1];
                abd(i + 3, j + 3) += q(i, j) * m[2];
            }
    }
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) abd(i + 3, j) = abd(i, j + 3);
    int piv[6];
    double recip[6];
    if (math::small::lu<6>(abd.data(), piv, recip) != 0) return false;
    math::small::inverse_from_lu<6>(abd.data(), piv, recip);
    if (!math::small::all_finite<36>(abd.data())) return false;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            b(i, j) = abd(i, j + 3);
            d(i, j) = abd(i + 3, j + 3);
        }
    return true;
}

void record_singular() { record_error(-2, "Matrix inverse becomes numerically singular!"); }

// The number of plies of a section: those before its first `absent` id.
int64_t plies_of(const int32_t *ids, int64_t nplies, int32_t absent) {
    return std::find(ids, ids + nplies, absent) - ids;
}

// The plies of section s, z from the section's z table (zcoord non-null) or
// from the thicknesses, bottom face at -h/2.
void load_plies(Ply *plies, int64_t n, const double *orientation, const double *thickness, const double *zcoord,
                const double *elastic, int64_t nelastic) {
    double bottom = 0.0;
    if (zcoord == nullptr) {
        for (int64_t p = 0; p < n; ++p) bottom -= 0.5 * thickness[p];
    }
    for (int64_t p = 0; p < n; ++p) {
        Ply &ply = plies[p];
        ply.q = ply_membrane_stiffness(elastic + p * nelastic, orientation[p]);
        if (zcoord != nullptr) {
            ply.bottom = zcoord[2 * p];
            ply.middle = zcoord[2 * p + 1];
            ply.top = zcoord[2 * p + 2];
        } else {
            ply.bottom = bottom;
            ply.middle = bottom + 0.5 * thickness[p];
            ply.top = bottom + thickness[p];
            bottom = ply.top;
        }
    }
}

// The arguments every section routine shares.
struct Sections {
    const int32_t *sectionlist;
    const double *orientation, *thickness, *zcoord, *elastic;
    int64_t nplies, nsec, nelastic;
    int32_t absent;

    Sections(const int32_t *list, const double *angles, const double *t, const double *z, const double *e,
             const int32_t *np, const int32_t *ns, const int32_t *defint, const int32_t *ne)
        : sectionlist(list),
          orientation(angles),
          thickness(t),
          zcoord(z),
          elastic(e),
          nplies(std::max<int64_t>(*np, 0)),
          nsec(std::max<int64_t>(*ns, 0)),
          nelastic(ne != nullptr ? *ne : 9),
          absent(defint != nullptr ? *defint : kAbsent) {}

    // Calls f(plies, n, s) for every section s with plies; n <= nplies.
    template <class F>
    void each(F &&f) const {
        Scratch<Ply, kStackPlies> plies(nplies);
        for (int64_t s = 0; s < nsec; ++s) {
            const int64_t n = plies_of(sectionlist + s * nplies, nplies, absent);
            if (n == 0) continue;
            load_plies(plies.data(), n, orientation + s * nplies, thickness + s * nplies,
                       zcoord != nullptr ? zcoord + s * (2 * nplies + 1) : nullptr, elastic + s * nplies * nelastic,
                       nelastic);
            f(plies.data(), n, s);
        }
    }
};

// The Lagrange weights of the bottom, middle and top of a ply at the local
// coordinate x in [-1, 1].
std::array<double, 3> quadratic_weights(double x) { return {0.5 * x * (x - 1.0), 1.0 - x * x, 0.5 * x * (x + 1.0)}; }

// The 2 x 2 shape f at the local coordinate x of ply p of a table (ld rows).
Matrix2 shape_at(const double *table, int64_t ld, int64_t p, double x) {
    const auto l = quadratic_weights(x);
    Matrix2 f;
    for (int k = 0; k < 4; ++k) {
        const double *column = table + k * ld + 2 * p;
        f(k / 2, k % 2) = l[0] * column[0] + l[1] * column[1] + l[2] * column[2];
    }
    return f;
}

// The through-thickness table of one section of n plies at its 2 n + 1
// points, four columns (leading extent ld): with `shear` the shape f of the
// transverse shear stresses, else the normal-stress table [integral of w f
// from the bottom] / w, w = (1 - kx z)(1 - ky z) weighting every thickness
// integral.  False, the table untouched past its first row, when the
// section's stiffness matrix is singular.
bool section_table(const Ply *plies, int64_t n, double kx, double ky, bool shear, double *table, int64_t ld) {
    const Weight w{kx + ky, kx * ky};
    Matrix3 b, d;
    if (!compliance_blocks(plies, n, w, b, d)) return false;
    // Running integrals from the bottom face: r of w P, and for the normal
    // table i of r, whose selected entries give -(integral of w f).
    Matrix3 r{};
    std::array<double, 4> integral{};
    for (int k = 0; k < 4; ++k) table[k * ld] = 0.0;
    for (int64_t p = 0; p < n; ++p) {
        const Ply &ply = plies[p];
        Matrix3 r_top;
        std::array<double, 4> integral_top{};
        for (int point = 1; point <= 2; ++point) {
            const double z = point == 1 ? ply.middle : ply.top;
            const auto m = w.moments(ply.bottom, z);
            const Matrix3 rz = sum(r, product(ply.q, combined(b, m[0], d, m[1])));
            std::array<double, 4> value;
            if (shear) {
                const auto sel = selected(rz);
                for (int k = 0; k < 4; ++k) value[k] = -sel[k] / w.at(z);
            } else {
                // The integral of r over [bottom, z]: r(bottom)(z - bottom) plus
                // that of q (b W0 + d W1) with W from the bottom, by parts.
                const Matrix3 i = sum(scaled(r, z - ply.bottom),
                                      product(ply.q, combined(b, z * m[0] - m[1], d, z * m[1] - m[2])));
                const auto sel = selected(i);
                for (int k = 0; k < 4; ++k) {
                    const double running = integral[k] - sel[k];
                    value[k] = running / w.at(z);
                    if (point == 2) integral_top[k] = running;
                }
            }
            for (int k = 0; k < 4; ++k) table[k * ld + 2 * p + point] = value[k];
            if (point == 2) r_top = rz;
        }
        r = r_top;
        integral = integral_top;
    }
    return true;
}

// The tables of all sections into out(2 nplies + 1, 4, nsec).
void section_tables(const Sections &sections, double kx, double ky, bool shear, double *out) {
    const int64_t rows = 2 * sections.nplies + 1;
    std::fill_n(out, rows * 4 * sections.nsec, 0.0);
    sections.each([&](const Ply *plies, int64_t n, int64_t s) {
        if (!section_table(plies, n, kx, ky, shear, out + s * rows * 4, rows)) record_singular();
    });
}

}  // namespace

void section_z_coordinates(double *plyzcoord, int64_t ldz, const int32_t *matidlist, int64_t ldm,
                           const double *plythickness, int64_t ldt, int64_t nplies, int64_t nsec, int32_t absent) {
    nsec = std::max<int64_t>(nsec, 0);
    nplies = std::max<int64_t>(nplies, 0);
    std::fill_n(plyzcoord, std::max<int64_t>(ldz, 0) * nsec, 0.0);
    for (int64_t s = 0; s < nsec; ++s) {
        const int32_t *ids = matidlist + s * ldm;
        const double *t = plythickness + s * ldt;
        double *z = plyzcoord + s * ldz;
        const int64_t plies = plies_of(ids, nplies, absent);
        if (plies == 0) continue;  // the column is all absent
        double h = 0.0;
        for (int64_t i = 0; i < plies; ++i) h += t[i];
        double bottom = -0.5 * h;
        for (int64_t i = 0; i < plies; ++i) {
            z[2 * i] = bottom;
            z[2 * i + 1] = bottom + 0.5 * t[i];
            bottom += t[i];
        }
        z[2 * plies] = bottom;
    }
}

bool section_counts_refused(const char *routine, const int32_t *nplies, const int32_t *nsec,
                            const int32_t *nelastic) {
    const int32_t ne = nelastic != nullptr ? *nelastic : ply::kConstants;
    return negative_count(routine, {*nplies, *nsec, ne}) ||
           short_extent(routine, "elastic constants", ne, ply::kConstants, *nplies > 0 && *nsec > 0);
}

}  // namespace kestro::laminate

using namespace kestro;
using namespace kestro::laminate;

extern "C" {

void GetSectionZCoord(double *plyzcoord, const int32_t *matidlist, const double *plythickness, const int32_t *nplies,
                      const int32_t *nsec, const int32_t *defint) {
    if (negative_count("GetSectionZCoord", {*nplies, *nsec})) return;
    const int64_t plies = *nplies;
    section_z_coordinates(plyzcoord, 2 * plies + 1, matidlist, plies, plythickness, plies, plies, *nsec,
                          defint != nullptr ? *defint : kAbsent);
}

void GetSectionFMatrix(double *plysmallf, const int32_t *sectionlist, const double *plyorientation,
                       const double *plythickness, const double *plyzcoord, const double *plyelastic,
                       const int32_t *nplies, const int32_t *nsec, const int32_t *defint, const int32_t *nelastic) {
    if (section_counts_refused("GetSectionFMatrix", nplies, nsec, nelastic)) return;
    const Sections sections(sectionlist, plyorientation, plythickness, plyzcoord, plyelastic, nplies, nsec, defint,
                            nelastic);
    section_tables(sections, 0.0, 0.0, true, plysmallf);
}

void GetArbitrarySectionFG(double *fg, const int32_t *sectionlist, const double *plyorientation,
                           const double *plythickness, const double *plyzcoord, const double *plyelastic,
                           const int32_t *nplies, const int32_t *nsec, const int32_t *csflag, const int32_t *fgflag,
                           const double *xycurv, const int32_t *defint, const int32_t *nelastic) {
    if (section_counts_refused("GetArbitrarySectionFG", nplies, nsec, nelastic)) return;
    const Sections sections(sectionlist, plyorientation, plythickness, plyzcoord, plyelastic, nplies, nsec, defint,
                            nelastic);
    if ((*csflag != 0 && *csflag != 1) || *fgflag != 1) {
        std::fill_n(fg, (2 * sections.nplies + 1) * 4 * sections.nsec, 0.0);
        record_error(-2, "Unsupported flag in GetArbitrarySectionFG");
        return;
    }
    const double kx = xycurv != nullptr ? xycurv[0] : 0.0, ky = xycurv != nullptr ? xycurv[1] : 0.0;
    section_tables(sections, kx, ky, *csflag == 1, fg);
}

void GetSectionHMatrix(double *sehmatrix, const int32_t *sectionlist, const double *plyorientation,
                       const double *plythickness, const double *plyelastic, const int32_t *nplies, const int32_t *nsec,
                       const int32_t *method, const int32_t *defint, const int32_t *nelastic) {
    if (section_counts_refused("GetSectionHMatrix", nplies, nsec, nelastic)) return;
    const Sections sections(sectionlist, plyorientation, plythickness, nullptr, plyelastic, nplies, nsec, defint,
                            nelastic);
    const int32_t how = method != nullptr ? *method : 1;
    std::fill_n(sehmatrix, 4 * sections.nsec, 0.0);
    if (how < 0 || how > 2) {
        record_error(-2, "Unsupported method in GetSectionHMatrix");
        return;
    }
    const int64_t rows = 2 * sections.nplies + 1;
    Scratch<double, 4 * kStackRows> table(4 * rows);
    sections.each([&](const Ply *plies, int64_t n, int64_t s) {
        const Ref<2> h(sehmatrix + 4 * s);
        const double *elastic = sections.elastic + s * sections.nplies * sections.nelastic;
        const double *angles = sections.orientation + s * sections.nplies;
        if (how != 1) {
            Matrix2 g{};
            for (int64_t p = 0; p < n; ++p) {
                const Matrix2 gp = ply_shear_stiffness(elastic + p * sections.nelastic, angles[p]);
                for (int k = 0; k < 4; ++k) g[k] += gp[k] * (plies[p].top - plies[p].bottom);
            }
            for (int k = 0; k < 4; ++k) h.a[k] = how == 0 ? g[k] * (5.0 / 6.0) : g[k];
            return;
        }
        // The complementary shear energy of unit shear forces, exact for the
        // quadratic shape of each ply by 3-point Gauss.
        if (!section_table(plies, n, 0.0, 0.0, true, table.data(), rows)) {
            record_singular();
            return;
        }
        static constexpr double x[3] = {-0.7745966692414834, 0.0, 0.7745966692414834};
        static constexpr double weight[3] = {5.0 / 9.0, 8.0 / 9.0, 5.0 / 9.0};
        Matrix2 energy{};
        for (int64_t p = 0; p < n; ++p) {
            const Matrix2 g = ply_shear_stiffness(elastic + p * sections.nelastic, angles[p]);
            if (determinant(g) == 0.0) {
                record_singular();
                return;
            }
            const Matrix2 compliance = inverse(g);
            const double half = 0.5 * (plies[p].top - plies[p].bottom);
            for (int i = 0; i < 3; ++i) {
                const Matrix2 e = congruent(weight[i] * half, shape_at(table.data(), rows, p, x[i]), compliance);
                for (int k = 0; k < 4; ++k) energy[k] += e[k];
            }
        }
        const Matrix2 stiffness = inverse(energy);
        if (determinant(energy) == 0.0 || !math::small::all_finite<4>(stiffness.data())) {
            record_singular();
            return;
        }
        stiffness.store(h.a);
    });
}

void GetPlyBottomTopStress(double *sbt, const double *sestress, const int32_t *plysectionpoint, const int32_t *nzcrd,
                           const int32_t *nplies) {
    static_cast<void>(nzcrd);
    if (negative_count("GetPlyBottomTopStress", {*nplies})) return;
    const int64_t n = *nplies;
    std::fill_n(sbt, 12 * n, 0.0);
    int64_t first = 0;
    for (int64_t p = 0; p < n; ++p) {
        const int64_t points = plysectionpoint[p];
        if (points < 1) continue;
        std::copy_n(sestress + 6 * first, 6, sbt + 12 * p);
        std::copy_n(sestress + 6 * (first + points - 1), 6, sbt + 12 * p + 6);
        first += points;
    }
}

void GetIntegralOfMembraneNormalStress(double *sint, const double *sbt, const double *plyzcoord,
                                       const int32_t *plysectionpoint, const double *ki, const double *kj,
                                       const int32_t *nzcrd, const int32_t *nplies) {
    static_cast<void>(plysectionpoint);
    if (negative_count("GetIntegralOfMembraneNormalStress", {*nplies})) return;
    const int64_t rows = std::max(*nzcrd, 0);
    // Only the plies whose points lie within the z table.
    const int64_t n = std::min<int64_t>(*nplies, (rows - 1) / 2);
    std::fill_n(sint, rows, 0.0);
    if (n < 1) return;
    const double a = *ki, c = *kj;
    double integral = 0.0;
    for (int64_t p = 0; p < n; ++p) {
        const double zb = plyzcoord[2 * p], zt = plyzcoord[2 * p + 2];
        const double sb = sbt[2 * p], st = sbt[2 * p + 1];
        // ki (1 - kj z) times the linear stress: a quadratic, so Simpson's rule is exact.
        const auto integrand = [&](double z) {
            const double stress = zt == zb ? sb : sb + (st - sb) * (z - zb) / (zt - zb);
            return a * (1.0 - c * z) * stress;
        };
        for (int point = 1; point <= 2; ++point) {
            const double z = plyzcoord[2 * p + point];
            const double part = (z - zb) / 6.0 * (integrand(zb) + 4.0 * integrand(0.5 * (zb + z)) + integrand(z));
            sint[2 * p + point] = -(integral + part) / ((1.0 - a * z) * (1.0 - c * z));
            if (point == 2) integral += part;
        }
    }
}

void GetNormalStressFromBottom(double *s33, const double *rdx, const double *rdy, const double *zcoord,
                               const double *smallfmatrix, const int32_t *nplies) {
    if (negative_count("GetNormalStressFromBottom", {*nplies})) return;
    const int64_t n = *nplies, rows = 2 * n + 1;
    const double rd[4] = {rdy[0], rdy[1], rdx[0], rdx[1]};
    double g[4] = {};
    s33[0] = 0.0;
    for (int64_t p = 0; p < n; ++p) {
        const double t = zcoord[2 * p + 2] - zcoord[2 * p];
        double middle = 0.0, top = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double *f = smallfmatrix + k * rows + 2 * p;
            // The integrals of the quadratic through bottom, middle and top.
            const double gm = g[k] + t / 24.0 * (5.0 * f[0] + 8.0 * f[1] - f[2]);
            g[k] += t / 6.0 * (f[0] + 4.0 * f[1] + f[2]);
            middle -= gm * rd[k];
            top -= g[k] * rd[k];
        }
        s33[2 * p + 1] = middle;
        s33[2 * p + 2] = top;
    }
}

void GetExt2DShearStress(double *xytss, const double *r, const double *plyorientation, const double *smallfmatrix,
                         const int32_t *nspt, const int32_t *nplies) {
    if (negative_count("GetExt2DShearStress", {*nplies})) return;
    const int64_t points = *nspt, n = *nplies, rows = 2 * n + 1, ld = n * std::max<int64_t>(points, 0);
    if (points < 1) return;
    for (int64_t p = 0; p < n; ++p) {
        double c, s;
        cos_sin(plyorientation[p], c, s);
        for (int64_t i = 0; i < points; ++i) {
            const double x = points == 1 ? 0.0 : 2.0 * static_cast<double>(i) / static_cast<double>(points - 1) - 1.0;
            const Matrix2 f = shape_at(smallfmatrix, rows, p, x);
            const double tyz = f(0, 0) * r[0] + f(0, 1) * r[1], txz = f(1, 0) * r[0] + f(1, 1) * r[1];
            const int64_t row = p * points + i;
            xytss[row] = -s * txz + c * tyz;
            xytss[ld + row] = c * txz + s * tyz;
        }
    }
}

}  // extern "C"
