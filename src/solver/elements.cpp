// The truss and impactor user elements: the implicit truss with lumped mass
// (uel_truss), the explicit truss over a block of elements (vuel_truss), and
// the explicit impactor (vuel_impact), a truss of negligible stiffness whose
// nodes follow the struck point and which turns the impactor's penetration
// into the contact force, radius and depth of its column of cprops.  All work
// is on fixed 2 x 6 and 6 x 6 arrays on the stack, and nothing is read or
// written beyond the counts the caller passes.
#include "solver/elements.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "decl/conventions.hpp"
#include "decl/elementhandling.hpp"
#include "decl/interaction.hpp"
#include "decl/permcollection.hpp"
#include "solver/control.hpp"

namespace kestro::solver {

namespace {

constexpr int kN = kTrussFreedoms;
constexpr double kSmallestLength = 2.220446049250313e-16;  // stands in for a length that is not positive

int64_t clamp_count(int32_t n, int64_t most) { return std::clamp<int64_t>(n, 0, most); }

// te(r, j) of the column-major 2 x 6 transformation, both 0-based.
inline double te_at(const double *te, int r, int64_t j) { return te[2 * j + r]; }

// The local pair te x of a 6-vector x.
inline void to_local(double *pair, const double *te, const double *x) {
    pair[0] = pair[1] = 0.0;
    for (int j = 0; j < kN; ++j) {
        pair[0] += te_at(te, 0, j) * x[j];
        pair[1] += te_at(te, 1, j) * x[j];
    }
}

// A truss whose nodes coincide in coords has no axis: it is left without
// stiffness, force or mass.
void zero_length(int32_t jelem) { record_error(-2, "Warning: Truss element of zero length.", {jelem}); }
void not_finite(int32_t jelem) {
    record_error(-2, "Warning: Truss element with a value that is not finite.", {jelem});
}

bool section_given(int32_t nprops) {
    if (nprops >= 3) return true;
    record_error(-2, "Warning: Truss element needs 3 properties.");
    return false;
}

// Node 1 (x, y, z) then node 2 of element k of a block.
inline void block_nodes(double *nodal, const ExplicitTrussBlock &b, int64_t k) {
    const int64_t nb = b.nblock, nnode = b.nnode;
    for (int n = 0; n < 2; ++n)
        for (int c = 0; c < 3; ++c) nodal[3 * n + c] = b.coords[k + nb * (n + nnode * c)];
}

}  // namespace

bool truss_layout_holds(int32_t ncoords, int32_t nnodes) noexcept {
    if (ncoords >= 3 && nnodes >= 2) return true;
    record_error(-3, "Error: Truss element needs two nodes with three coordinates.");
    return false;
}

namespace {

// The local pair te x = (axis . x(1:3), axis . x(4:6)) of the first n entries
// of x, those beyond n 0.
[[gnu::always_inline]] inline void local_pair(double *pair, const double *axis, const double *x, int64_t n) {
    const auto along = [axis](const double *y) { return axis[0] * y[0] + axis[1] * y[1] + axis[2] * y[2]; };
    if (n == kN) {
        pair[0] = along(x);
        pair[1] = along(x + 3);
        return;
    }
    double padded[kN] = {};
    std::copy_n(x, std::clamp<int64_t>(n, 0, kN), padded);
    pair[0] = along(padded);
    pair[1] = along(padded + 3);
}

// The motion and the truss of a call are inlined into uel_truss, whose
// static increment is the hot path: the length and axis are computed once (as
// GetTruss3ElemLength and GetTruss3TransformationMatrix give them) and the
// element matrices formed straight from them.  Nothing on that path takes the
// call record's address (local_pair and increments_of are inlined too), so
// that the record lives in registers and its unused fields are never read.
[[gnu::always_inline]] inline bool motion_of(TrussMotion &m, const ImplicitTrussCall &c) {
    if (!truss_layout_holds(c.mcrd, c.nnode)) return false;
    const double *x1 = c.coords, *x2 = c.coords + c.mcrd;
    const double d[3] = {x2[0] - x1[0], x2[1] - x1[1], x2[2] - x1[2]};
    m.length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; ++k) m.axis[k] = d[k] / m.length;
    local_pair(m.ue, m.axis, c.u, clamp_count(c.ndofel, kN));
    return true;
}

// The local increments due[k] = te du(:, k + 1) of the first two columns.
[[gnu::always_inline]] inline void increments_of(double (*due)[2], const double *axis, const ImplicitTrussCall &c) {
    const int64_t rows = std::min(clamp_count(c.ndofel, kN), clamp_count(c.mlvarx, kN));
    for (int k = 0; k < 2; ++k)
        local_pair(due[k], axis, c.du + k * static_cast<int64_t>(c.mlvarx), k < c.nrhs ? rows : 0);
}

// The extents every loop of an implicit call runs to: the order of amatrx,
// the freedoms min(ndofel, 6) and the rhs rows min(mlvarx, 6).  The standard
// layout (ndofel 6, mlvarx at least 6) has them as constants, so that the
// element matrices are formed in straight code.  static_only: the call is a
// static increment without perturbation (lflags 1 or 2, -, 1, 0), and only
// that branch is compiled.
struct CallExtents {
    int64_t order, freedoms, rows;
    static constexpr bool static_only = false;
};
struct StandardExtents {
    static constexpr int64_t order = kN, freedoms = kN, rows = kN;
    static constexpr bool static_only = false;
};
struct StandardStatic : StandardExtents {
    static constexpr bool static_only = true;
};

template <class Extents>
[[gnu::always_inline]] inline void implicit_truss_in(const ImplicitTrussCall &c, const TrussSection &s,
                                                     const TrussMotion &m, int64_t own_states, const Extents &x) {
    const int64_t order = x.order, freedoms = x.freedoms, rows = x.rows;
    const int64_t columns = std::max(c.nrhs, 0), ld = c.mlvarx;
    const int64_t own_rows = std::min(freedoms, rows);  // the rows of "i = 1 .. ndofel"
    for (int64_t j = 0; j < columns; ++j) std::fill_n(c.rhs + j * ld, own_rows, 0.0);
    if (m.length == 0.0) {
        std::fill_n(c.amatrx, order * order, 0.0);
        return zero_length(c.jelem);
    }

    // g = tet (1, -1) = (axis, -axis): the global form of a unit axial pair;
    // amatrx = k0 g g^T and the internal force tet (-F, F) = -F g.
    const double ak = s.modulus * s.area / m.length, am = 0.5 * s.area * s.density * m.length;
    double g[kN];
    for (int k = 0; k < 3; ++k) g[k + 3] = -(g[k] = m.axis[k]);
    const double elongation = m.ue[1] - m.ue[0], force = ak * elongation;
    // Whether every value written is finite: a value that is not finite in
    // coords reaches the length, one in u, du, v, a, svars, props or dtime
    // what is formed from it.
    bool finite = std::isfinite(m.length);
    // Writes a value and notes whether it is finite.
    const auto put = [&finite](double &to, double value) { finite &= std::isfinite(to = value); };
    // amatrx = k0 g g^T plus `diagonal` on the diagonal within the freedoms,
    // 0 elsewhere.  |g_i g_j| <= 1, so an entry off the diagonal is finite
    // when k0 is, and a k0 that is not reaches every diagonal entry (inf 0 is
    // NaN): the diagonal alone is checked.
    const auto matrix = [&](double k0, double diagonal) {
        if (k0 == 0.0 || freedoms != order) std::fill_n(c.amatrx, order * order, 0.0);
        if (k0 != 0.0) {
            for (int64_t j = 0; j < freedoms; ++j)
                for (int64_t i = 0; i < freedoms; ++i) c.amatrx[j * order + i] = k0 * g[i] * g[j];
        }
        if (diagonal != 0.0)
            for (int64_t i = 0; i < freedoms; ++i) c.amatrx[i * order + i] += diagonal;
        for (int64_t i = 0; i < freedoms; ++i) finite &= std::isfinite(c.amatrx[i * order + i]);
    };
    // rhs(:, j) = tet (x1, x2) = (x1 axis, x2 axis), within the rows and
    // columns the caller holds.
    const auto set_rhs = [&](int64_t j, double x1, double x2) {
        if (j >= columns) return;
        finite &= std::isfinite(x1) & std::isfinite(x2);
        double *r = c.rhs + j * ld;
        for (int64_t i = 0; i < std::min<int64_t>(rows, 3); ++i) r[i] = x1 * m.axis[i];
        for (int64_t i = 3; i < rows; ++i) r[i] = x2 * m.axis[i - 3];
    };
    const auto strain_energy = [&](double value) { put(c.energy[1], value); };
    const auto sresid = [&](int64_t i) { return -force * g[i]; };
    const auto state = [&](int64_t i) { return i < c.nsvars ? c.svars[i] : 0.0; };
    const auto kinetic = [&] {
        double sum = 0.0;
        for (int64_t i = 0; i < freedoms; ++i) sum += 0.5 * am * c.v[i] * c.v[i];
        put(c.energy[0], sum);
    };
    // The local increments, read from du by the branches that use them.
    double due[2][2];
    bool increments_read = false;
    const auto increment = [&](int k, int node) {
        if (!increments_read) increments_of(due, m.axis, c);
        increments_read = true;
        return due[k][node];
    };
    const auto perturbation = [&] {
        const double dd = increment(0, 1) - increment(0, 0), df = ak * dd;
        set_rhs(0, df, -df);
        strain_energy(0.5 * ak * elongation * dd + 0.5 * elongation * df + 0.5 * dd * df);
    };
    // The static increment without perturbation: the internal force and the
    // distributed loads.
    const auto static_increment = [&] {
        matrix(ak, 0.0);
        double local[2][2] = {{force, -force}, {0.0, 0.0}};  // local[j]: nodes 1, 2 of column j
        const int64_t loads = std::max(std::min(c.ndload, c.mdload), 0);
        for (int64_t k = 0; k < loads; ++k) {
            if (c.jdltyp[k] != 1001) continue;
            local[0][1] += c.adlmag[k];
            put(c.energy[7], c.energy[7] + (c.adlmag[k] - 0.5 * c.ddlmag[k]) * increment(0, 1));
            if (c.nrhs == 2) local[1][1] += c.ddlmag[k];
        }
        for (int j = 0; j < 2; ++j) set_rhs(j, local[j][0], local[j][1]);
        strain_energy(0.5 * force * elongation);
    };
    const int32_t procedure = c.lflags[0];
    const bool statics = procedure == 1 || procedure == 2, dynamics = procedure == 11 || procedure == 12;
    if constexpr (Extents::static_only) {
        static_increment();
        if (!finite) not_finite(c.jelem);
        return;
    }
    switch (c.lflags[2]) {
        case 1:
            if (statics && c.lflags[3] != 0) {
                matrix(ak, 0.0);
                perturbation();
            } else if (statics) {
                static_increment();
            } else if (dynamics) {
                const double alpha = c.params[0], beta = c.params[1];
                matrix(ak * (1.0 + alpha), am / (beta * c.dtime * c.dtime));
                if (columns > 0)
                    for (int64_t i = 0; i < own_rows; ++i)
                        put(c.rhs[i], -am * c.a[i] - ((1.0 + alpha) * sresid(i) - alpha * state(i)));
                for (int64_t i = 0; i < freedoms; ++i) {
                    if (i + kN < c.nsvars) put(c.svars[i + kN], state(i));
                    if (i < c.nsvars) put(c.svars[i], sresid(i));
                }
                kinetic();
                strain_energy(0.5 * force * elongation);
            } else {
                matrix(0.0, 0.0);
            }
            break;
        case 2:
            matrix(ak, 0.0);
            break;
        case 4:
            matrix(0.0, am);
            break;
        case 5:
            matrix(0.0, 0.0);
            if (columns > 0) {
                const double alpha = c.params[0];
                for (int64_t i = 0; i < own_rows; ++i)
                    put(c.rhs[i], -am * c.a[i] - (1.0 + alpha) * sresid(i) + 0.5 * alpha * (state(i) + state(i + kN)));
            }
            break;
        case 6:
            matrix(0.0, am);
            for (int64_t i = 0; i < freedoms; ++i) {
                if (columns > 0 && i < rows) put(c.rhs[i], -sresid(i));
                if (i < c.nsvars) put(c.svars[i], sresid(i));
            }
            kinetic();
            strain_energy(0.5 * force * elongation);
            break;
        case 100:
            matrix(0.0, 0.0);
            if (statics) {
                perturbation();
            } else if (procedure == 41) {
                for (int j = 0; j < 2; ++j) {
                    const double df = ak * (increment(j, 1) - increment(j, 0));
                    set_rhs(j, df, -df);
                }
            } else {
                return;
            }
            std::fill_n(c.svars, std::clamp<int64_t>(own_states, 0, std::max(c.nsvars, 0)), 0.0);
            if (columns > 0) std::copy_n(c.rhs, std::min<int64_t>(own_rows, std::max(c.nsvars, 0)), c.svars);
            break;
        default:
            matrix(0.0, 0.0);
            return;
    }
    if (!finite) not_finite(c.jelem);
}

[[gnu::always_inline]] inline void truss_of(const ImplicitTrussCall &c, const TrussSection &s, const TrussMotion &m,
                                            int64_t own_states) {
    if (c.ndofel == kN && c.mlvarx >= kN)
        implicit_truss_in(c, s, m, own_states, StandardExtents{});
    else
        implicit_truss_in(c, s, m, own_states,
                          CallExtents{std::max<int64_t>(c.ndofel, 0), clamp_count(c.ndofel, kN),
                                      clamp_count(c.mlvarx, kN)});
}

}  // namespace

bool implicit_truss_motion(TrussMotion &m, const ImplicitTrussCall &c) noexcept {
    if (!motion_of(m, c)) return false;
    increments_of(m.due, m.axis, c);
    return true;
}

void implicit_truss(const ImplicitTrussCall &c, const TrussSection &s, const TrussMotion &m,
                    int64_t own_states) noexcept {
    truss_of(c, s, m, own_states);
}

void explicit_truss_axis(double &length, double *te, const ExplicitTrussBlock &b, int64_t k) noexcept {
    double nodal[6];
    block_nodes(nodal, b, k);
    GetTruss3ElemLength(&length, nodal);
    GetTruss3TransformationMatrix(te, nodal);
}

void explicit_truss_local(double *ue, const double *te, const ExplicitTrussBlock &b, int64_t k) noexcept {
    double row[kN] = {};
    const int64_t freedoms = clamp_count(b.ndofel, kN), nb = b.nblock;
    for (int64_t i = 0; i < freedoms; ++i) row[i] = b.u[k + nb * i];
    to_local(ue, te, row);
}

void explicit_truss(const ExplicitTrussBlock &b, const TrussSection &s) noexcept {
    if (b.lflags[0] != 17) return;
    const int32_t pass = b.lflags[1];
    const int64_t nb = std::max(b.nblock, 0), order = std::max(b.ndofel, 0), freedoms = clamp_count(b.ndofel, kN);
    const auto state = [&](int64_t k, int64_t column) { return column < b.nsvars ? b.svars[k + nb * column] : 0.0; };
    // rhs(k, :) = tet (x1, x2) within the freedoms.
    const auto set_rhs = [&](int64_t k, const double *te, double x1, double x2) {
        for (int64_t i = 0; i < freedoms; ++i) b.rhs[k + nb * i] = te_at(te, 0, i) * x1 + te_at(te, 1, i) * x2;
    };
    // The elements without an axis, or with a value that is not finite.
    const auto degenerate = [&](int64_t k, double length0, double length) {
        if (length0 == 0.0) {
            zero_length(b.jelem[k]);
            return true;
        }
        if (!std::isfinite(length0) || !std::isfinite(length)) not_finite(b.jelem[k]);
        return false;
    };
    const auto clear_rhs = [&](int64_t k) {
        for (int64_t i = 0; i < freedoms; ++i) b.rhs[k + nb * i] = 0.0;
    };
    if (pass == 1) {
        for (int64_t k = 0; k < nb; ++k) {
            double nodal[6], length0 = 0.0;
            block_nodes(nodal, b, k);
            GetTruss3ElemLength(&length0, nodal);
            degenerate(k, length0, length0);  // the mass of a point is 0
            const double lumped = 0.5 * s.density * s.area * length0;
            if (!std::isfinite(lumped)) not_finite(b.jelem[k]);
            for (int64_t j = 0; j < order; ++j)
                for (int64_t i = 0; i < order; ++i) b.amass[k + nb * (i + order * j)] = i == j && i < kN ? lumped : 0.0;
        }
    } else if (pass == 2) {
        // Elements in groups: the lengths of a group first, then its forces, so
        // that the divisions and roots of neighbouring elements overlap.
        constexpr int64_t kGroup = 16;
        for (int64_t first = 0; first < nb; first += kGroup) {
            const int64_t n = std::min(kGroup, nb - first);
            double length0[kGroup], length[kGroup], te[kGroup][2 * kN];
            for (int64_t e = 0; e < n; ++e) {
                double ue[2];
                explicit_truss_axis(length0[e], te[e], b, first + e);
                explicit_truss_local(ue, te[e], b, first + e);
                length[e] = length0[e] + ue[1] - ue[0];
            }
            for (int64_t e = 0; e < n; ++e) {
                const int64_t k = first + e;
                if (degenerate(k, length0[e], length[e])) {
                    clear_rhs(k);
                    b.dtimestable[k] = kLargestReal;
                    continue;
                }
                // NaN stays NaN: only a length that reaches 0 is replaced.
                const double volume = s.area * length0[e], mass0 = s.density * s.area * length0[e];
                const double l = length[e] <= 0.0 ? kSmallestLength : length[e];
                const double l0 = length0[e] <= 0.0 ? kSmallestLength : length0[e];
                const double area = volume / l, ak = s.modulus * area / l;
                b.dtimestable[k] = 0.99 * std::sqrt(mass0 / ak);  // no damping term
                const double force = s.modulus * area * std::log(l / l0);
                set_rhs(k, te[e], -force, force);
                const double length_old = state(k, 0), force_old = state(k, 1);
                const double energy = b.energy[k + nb * 2] += 0.5 * (force_old + force) * (l - length_old);
                if (!(std::isfinite(force) && std::isfinite(b.dtimestable[k]) && std::isfinite(energy)))
                    not_finite(b.jelem[k]);
                if (b.nsvars >= 1) b.svars[k] = l;
                if (b.nsvars >= 2) b.svars[k + nb] = force;
            }
        }
    } else if (pass == 3 && b.jdltyp == 123) {
        for (int64_t k = 0; k < nb; ++k) {
            double length0 = 0.0, te[2 * kN];
            explicit_truss_axis(length0, te, b, k);
            if (degenerate(k, length0, b.adlmag[k]))
                clear_rhs(k);
            else
                set_rhs(k, te, 0.0, b.adlmag[k]);  // the load acts at node 2 alone
        }
    }
}

double start_impactor(double *cprops, const double *props) noexcept {
    const auto p = [props](int i) { return props[i - 1]; };
    const auto row = [cprops](int r) -> double & { return cprops[r - 1]; };
    row(displacement) = std::min(p(start), 0.0);  // a negative start entry is a gap
    row(mass) = p(impactor_mass);
    row(impactor_radius) = p(impactor_radius_r1);
    row(impactor_width) = p(impactor_r2);
    return row(velocity) = std::sqrt(2.0 * p(impact_energy) / p(impactor_mass));
}

double radius_at(double f, double eeff, const double *props, int32_t icsflag) noexcept {
    const int32_t count = 4;
    const double args[count] = {f, eeff, props[impactor_radius_r1 - 1], 2.0 * props[impactor_r2 - 1]};
    double radius = 0.0;
    ContactRadius(&radius, args, &count, &icsflag);
    return radius;
}

double depth_at(double f, double eeff, const double *props) noexcept {
    const int32_t count = 3, hertz = 0;
    const double args[count] = {f, props[impactor_radius_r1 - 1], eeff};
    double depth = 0.0;
    ContactDepth(&depth, args, &count, &hertz);
    return depth;
}

ReboundLaw rebound_law(std::array<double, kContactProps> &csprops, const double *cprops, const double *props,
                       double element_largest_force) noexcept {
    constexpr int32_t count = kContactProps, power_law = 2;
    ReboundLaw law{0.0, 0.0, 0.0};
    PITanSunNonLinear(&law.permanent, &cprops[largest_indentation - 1], &props[critical_indentation - 1]);
    law.exponent = cprops[largest_force - 1] == element_largest_force ? 2.5 : 1.5;
    csprops[8] = law.exponent;
    csprops[11] = law.permanent;
    double unused = 0.0;
    ContactStiffness(&law.stiffness, &unused, csprops.data(), &count, &power_law);
    return law;
}

namespace {

ExplicitTrussBlock explicit_block(const int32_t *nblock, double *rhs, double *amass, double *dtimestable,
                                  double *svars, const int32_t *nsvars, double *energy, const int32_t *nnode,
                                  const int32_t *ndofel, const double *coords, const int32_t *ncrd, const double *u,
                                  const int32_t *jelem, const int32_t *lflags, const int32_t *jdltyp,
                                  const double *adlmag) {
    return {*nblock, rhs, amass, dtimestable, svars, energy, *nsvars, *nnode,
            *ndofel, *ncrd, coords, u, jelem, lflags, *jdltyp, adlmag};
}

// The impactor's work on its column of cprops for the elements of a block
// whose svars(k, 16) hold this call's relative displacements.
void impactor_contact(const ExplicitTrussBlock &b, const double *props, int32_t nprops, const int32_t *jprops,
                      int32_t njprops, const double *time, double dtimecur, int32_t kstep, int32_t kinc,
                      double *cprops) {
    const auto p = [props](int i) { return props[i - 1]; };
    const auto row = [cprops](int r) -> double & { return cprops[r - 1]; };
    const int64_t nb = std::max(b.nblock, 0);
    const auto state = [&](int64_t k, int column) -> double & { return b.svars[k + nb * (column - 1)]; };
    const auto set_scheme = [&](double code) { row(scheme_alpha) = row(scheme_beta) = row(scheme_gamma) = code; };

    const double idle_until = std::max(p(start), 0.0);
    auto csprops = contact_stiffness_props(props);
    const int32_t irfflag = jprops[force_mode - 1], icsflag = jprops[stiffness_flag - 1];
    if (njprops == 4 && jprops[scheme_choice - 1] != 1) {
        set_scheme(-2.0);
        row(last_increment) = nprops > 12 ? p(scheme_weight) : 0.5;  // the velocity weight of scheme -2
    } else {
        set_scheme(-1.0);
    }
    if (time[0] < idle_until) set_scheme(0.0);

    // Force, radius and depth of the penetration x - w_old by the force mode.
    const auto contact = [&](int32_t mode, double penetration, int64_t k, double &f, double &radius,
                             double &depth) {
        constexpr int32_t count = kContactProps;
        double kc = 0.0, eeff = 0.0, a0 = 0.0, exponent = 1.5, factor = 1.0;
        ContactStiffness(&kc, &eeff, csprops.data(), &count, &icsflag);
        bool valid = true;
        switch (mode) {
            case 2:
                csprops[9] = row(largest_force);
                csprops[10] = row(largest_indentation);
                if (row(rebound_mark) != 0.0) {
                    const ReboundLaw law = rebound_law(csprops, cprops, props, state(k, element_largest_force));
                    kc = law.stiffness;
                    a0 = law.permanent;
                    exponent = law.exponent;
                }
                break;
            case 1:
                break;
            case 0:  // the prescribed force passes through
                exponent = 0.0;
                kc = 1.0;
                factor = row(ImpactRow::force);
                break;
            default:
                record_error(-3, "Error: Invalid root finding procedure");
                valid = false;
        }
        const double base = penetration - a0;
        // Below the permanent indentation the impactor does not touch.
        f = !valid || (base < 0.0 && exponent > 0.0) ? 0.0 : factor * kc * std::pow(base, exponent);
        radius = radius_at(f, eeff, props, icsflag);
        depth = depth_at(f, eeff, props);
    };

    const int32_t kind = step_kind(kstep);
    for (int64_t k = 0; k < nb; ++k) {
        if (kind == initialization) {
            if (kinc == 0) continue;
            const double start_velocity = start_impactor(cprops, props);
            state(k, gravity_copy) = row(acceleration);
            for (int column = structure_compliance; column <= kImpactorStates; ++column) state(k, column) = 0.0;
            row(half_velocity) = start_velocity - 0.5 * dtimecur * row(acceleration);
            continue;
        }
        if (kind != impact || time[0] < idle_until) continue;
        const double x = row(displacement), w_old = state(k, last_stretch), w = state(k, stretch);
        double f = row(ImpactRow::force), radius = row(contact_radius), depth = row(indentation);
        if (kinc != 0) {
            if (w_old < x) {
                contact(irfflag, x - w_old, k, f, radius, depth);
            } else if (irfflag == 0) {
                contact(0, x - w_old, k, f, radius, depth);
            } else if (x < w_old) {  // separated
                f = radius = depth = 0.0;
            }
        }
        state(k, last_stretch) = w;
        row(ImpactRow::force) = f;
        state(k, element_largest_force) = std::max(state(k, element_largest_force), f);
        row(contact_radius) = radius;
        row(indentation) = depth;
    }
}

// One call of uel_truss: compiled for the extents of Extents, or (void) for
// any call through implicit_truss.
template <class Extents>
[[gnu::always_inline]] inline void truss_call(KESTRO_UEL_PARAMETERS) {
    const ImplicitTrussCall call = implicit_truss_call(rhs, amatrx, svars, energy, ndofel, nrhs, nsvars, coords, mcrd,
                                                       nnode, u, du, v, a, dtime, jelem, params, ndload, jdltyp,
                                                       adlmag, lflags, mlvarx, ddlmag, mdload);
    TrussMotion motion;
    if (!motion_of(motion, call) || !section_given(*nprops)) return;
    const TrussSection section{props[0], props[1], props[2]};
    if constexpr (std::is_void_v<Extents>)
        implicit_truss(call, section, motion, *nsvars);
    else
        implicit_truss_in(call, section, motion, *nsvars, Extents{});
}

// The calls off the hot path, with a call record of their own.
[[gnu::noinline]] void any_truss_call(KESTRO_UEL_PARAMETERS) { truss_call<void>(KESTRO_UEL_ARGUMENTS); }

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

void uel_truss(KESTRO_UEL_PARAMETERS) noexcept {
    using namespace solver;
    // The static increment of the standard layout is compiled on its own,
    // without the other procedures' code, which would cost it its registers.
    if (*ndofel == kTrussFreedoms && *mlvarx >= kTrussFreedoms && (lflags[0] == 1 || lflags[0] == 2) &&
        lflags[2] == 1 && lflags[3] == 0)
        return truss_call<StandardStatic>(KESTRO_UEL_ARGUMENTS);
    any_truss_call(KESTRO_UEL_ARGUMENTS);
}

void vuel_truss(KESTRO_VUEL_PARAMETERS) noexcept {
    using namespace solver;
    if (!truss_layout_holds(*ncrd, *nnode) || !section_given(*nprops)) return;
    explicit_truss(explicit_block(nblock, rhs, amass, dtimestable, svars, nsvars, energy, nnode, ndofel, coords, ncrd,
                                  u, jelem, lflags, jdltyp, adlmag),
                   {props[0], props[1], props[2]});
}

void vuel_impact(KESTRO_VUEL_PARAMETERS, double *cprops) noexcept {
    using namespace solver;
    if (!truss_layout_holds(*ncrd, *nnode)) return;
    const ExplicitTrussBlock block = explicit_block(nblock, rhs, amass, dtimestable, svars, nsvars, energy, nnode,
                                                    ndofel, coords, ncrd, u, jelem, lflags, jdltyp, adlmag);
    explicit_truss(block, kImpactorTruss);
    if (lflags[0] != 17 || lflags[1] != 2) return;  // the impactor works in the internal-force pass
    if (*nsvars < kImpactorStates || *nprops < 12 || *njprops < 2) {
        record_error(-2, "Warning: vuel_impact needs 18 state variables, 12 properties and 2 integer properties.");
        return;
    }
    const int64_t nb = std::max(*nblock, 0);
    for (int64_t k = 0; k < nb; ++k) {
        double length0 = 0.0, te[2 * kTrussFreedoms], ue[2];
        explicit_truss_axis(length0, te, block, k);
        if (length0 == 0.0) continue;  // no axis to measure along (recorded by the truss)
        explicit_truss_local(ue, te, block, k);
        svars[k + nb * (stretch - 1)] = ue[1] - ue[0];
    }
    if (!jobdata::stepid.exists()) return;  // no analysis control has run
    impactor_contact(block, props, *nprops, jprops, *njprops, time, *dtimecur, *kstep, *kinc, cprops);
}

}  // namespace kestro::toplevel
