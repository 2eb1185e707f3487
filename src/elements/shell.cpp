// Shell kinematics and element lengths.  Every routine rebuilds the Jacobian
// chain from the nodal coordinates in fixed-size arrays on the stack.
#include "elements/shell.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "core/errorhandling.hpp"
#include "decl/math.hpp"
#include "elements/shapes.hpp"
#include "math/small.hpp"

namespace kestro::elements {

void table_jacobian(double *jac, const double *nshape, int64_t ld, const double *ncoords, int32_t inodes) {
    double j11 = 0.0, j12 = 0.0, j21 = 0.0, j22 = 0.0;
    for (int64_t i = 0; i < inodes; ++i) {
        const double x = ncoords[3 * i], y = ncoords[3 * i + 1];
        const double dxi = nshape[ld + i], deta = nshape[2 * ld + i];
        j11 += dxi * x;
        j12 += dxi * y;
        j21 += deta * x;
        j22 += deta * y;
    }
    jac[0] = j11;
    jac[1] = j21;
    jac[2] = j12;
    jac[3] = j22;
}

void table_second_jacobian(double *jac2, const double *nshape, int64_t ld, const double *ncoords, int32_t inodes) {
    std::fill_n(jac2, 6, 0.0);
    for (int64_t i = 0; i < inodes; ++i)
        for (int r = 0; r < 3; ++r) {
            const double d = nshape[(3 + r) * ld + i];
            jac2[r] += d * ncoords[3 * i];
            jac2[3 + r] += d * ncoords[3 * i + 1];
        }
}

namespace {

constexpr int kMaxNodes = 8;
constexpr int kColumns = 40;

// A node count other than 6 or 8.
void unsupported() { record_error(-3, "Unknown or unsupported element type."); }

// The chain at one point of an element of N nodes: each node's shape
// function and natural derivatives, the Jacobian, its inverse and, when
// Second, what the second derivatives need.  Everything is written once,
// nothing zero-filled.
template <int N>
struct Chain {
    Plane v[N];
    double jac[4], jacinv[4];
    double jac3[6], jac1inv[9];
};

// The rest of the chain once the values of the first n nodes are set: sums
// in node order.
template <int N, bool Second>
[[gnu::always_inline]] inline void complete(Chain<N> &c, const double *ncoords, int n = N) {
    double j11 = 0.0, j12 = 0.0, j21 = 0.0, j22 = 0.0;
    KESTRO_EACH_NODE
    for (int i = 0; i < N; ++i) {
        if (i >= n) break;
        const double x = ncoords[3 * i], y = ncoords[3 * i + 1];
        j11 += c.v[i].dxi * x;
        j12 += c.v[i].dxi * y;
        j21 += c.v[i].deta * x;
        j22 += c.v[i].deta * y;
    }
    c.jac[0] = j11;
    c.jac[1] = j21;
    c.jac[2] = j12;
    c.jac[3] = j22;
    ShellJacobianInverse(c.jacinv, c.jac);
    if constexpr (Second) {
        double jac2[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, jac1[9];
        KESTRO_EACH_NODE
        for (int i = 0; i < N; ++i) {
            if (i >= n) break;
            const double d[3] = {c.v[i].dxixi, c.v[i].detaeta, c.v[i].dxieta};
            for (int r = 0; r < 3; ++r) {
                jac2[r] += d[r] * ncoords[3 * i];
                jac2[3 + r] += d[r] * ncoords[3 * i + 1];
            }
        }
        // jac3 = jac2 jacinv (3 x 2)
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 2; ++k)
                c.jac3[k * 3 + r] = jac2[r] * c.jacinv[2 * k] + jac2[3 + r] * c.jacinv[2 * k + 1];
        ShellFirstDerivJacobian(jac1, c.jac);
        ShellFirstDerivJacobianInverse(c.jac1inv, jac1);
    }
}

template <int N, bool Second>
[[gnu::always_inline]] inline void build(Chain<N> &c, const double *ncoords, double xi, double eta) {
    KESTRO_EACH_NODE
    for (int i = 0; i < N; ++i) c.v[i] = N == 6 ? tria6_node(xi, eta, i + 1) : quad8_node(xi, eta, i + 1);
    complete<N, Second>(c, ncoords);
}

struct Derivatives {
    double n, nx, ny, nxx, nyy, nxy;
};

// The Cartesian derivatives of node i's shape function.
template <int N, bool Second>
[[gnu::always_inline]] inline Derivatives at(const Chain<N> &c, int i) {
    const Plane &p = c.v[i];
    Derivatives d{p.n, c.jacinv[0] * p.dxi + c.jacinv[2] * p.deta, c.jacinv[1] * p.dxi + c.jacinv[3] * p.deta,
                  0.0, 0.0, 0.0};
    if constexpr (Second) {
        const double r[3] = {p.dxixi - (c.jac3[0] * p.dxi + c.jac3[3] * p.deta),
                             p.detaeta - (c.jac3[1] * p.dxi + c.jac3[4] * p.deta),
                             p.dxieta - (c.jac3[2] * p.dxi + c.jac3[5] * p.deta)};
        d.nxx = c.jac1inv[0] * r[0] + c.jac1inv[3] * r[1] + c.jac1inv[6] * r[2];
        d.nyy = c.jac1inv[1] * r[0] + c.jac1inv[4] * r[1] + c.jac1inv[7] * r[2];
        d.nxy = c.jac1inv[2] * r[0] + c.jac1inv[5] * r[1] + c.jac1inv[8] * r[2];
    }
    return d;
}

// Calls f(std::integral_constant<int, inodes>) for 6 and 8 nodes; false,
// with the error of ShellJacobian recorded, for another count.
template <class F>
bool with_nodes(int32_t inodes, F &&f) {
    switch (inodes) {
    case 6: f(std::integral_constant<int, 6>{}); return true;
    case 8: f(std::integral_constant<int, 8>{}); return true;
    default: unsupported(); return false;
    }
}

// Stores eight values from c on.
[[gnu::always_inline]] inline void store_rows(double *c, double r0, double r1, double r2, double r3, double r4,
                                              double r5, double r6, double r7) {
    c[0] = r0;
    c[1] = r1;
    c[2] = r2;
    c[3] = r3;
    c[4] = r4;
    c[5] = r5;
    c[6] = r6;
    c[7] = r7;
}

// The strain-displacement matrix b(8, 40): each node's five columns whole,
// zero columns beyond the nodes.
template <int N>
void b_matrix(double *b, const double *ncoords, double xi, double eta) {
    Chain<N> c;
    build<N, false>(c, ncoords, xi, eta);
    KESTRO_EACH_NODE
    for (int i = 0; i < N; ++i) {
        const Derivatives d = at<N, false>(c, i);
        // Columns u, v, w, th1, th2 of the node, eight rows each, stored
        // entry by entry (a fill of each column first becomes a string
        // instruction that costs more than the table).
        double *col = b + 40 * i;
        store_rows(col, d.nx, 0.0, d.ny, 0.0, 0.0, 0.0, 0.0, 0.0);
        store_rows(col + 8, 0.0, d.ny, d.nx, 0.0, 0.0, 0.0, 0.0, 0.0);
        store_rows(col + 16, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, d.ny, d.nx);
        store_rows(col + 24, 0.0, 0.0, 0.0, 0.0, -d.ny, -d.nx, -d.n, 0.0);
        store_rows(col + 32, 0.0, 0.0, 0.0, d.nx, 0.0, d.ny, 0.0, d.n);
    }
    std::fill(b + 40 * N, b + 8 * kColumns, 0.0);
}

// Entry (row, column) of the derivative of the shear rows along x (along_x)
// or y at node i: rows 1 (w, th1) and 2 (w, th2).
struct ShearDerivative {
    double w1, th1, w2, th2;
};

inline ShearDerivative shear_derivative(const Derivatives &d, bool along_x) {
    return along_x ? ShearDerivative{d.nxy, -d.nx, d.nxx, d.nx} : ShearDerivative{d.nyy, -d.ny, d.nxy, d.ny};
}

// The x (along true) or y derivative of the two shear rows of b, m(2, 40).
template <int N>
void shear_derivative_matrix(double *m, const double *ncoords, double xi, double eta, bool along_x) {
    Chain<N> c;
    build<N, true>(c, ncoords, xi, eta);
    KESTRO_EACH_NODE
    for (int i = 0; i < N; ++i) {
        const ShearDerivative e = shear_derivative(at<N, true>(c, i), along_x);
        // The node's columns u, v, w, th1, th2, two rows each.
        store_rows(m + 10 * i, 0.0, 0.0, 0.0, 0.0, e.w1, e.w2, e.th1, 0.0);
        m[10 * i + 8] = 0.0;
        m[10 * i + 9] = e.th2;
    }
    std::fill(m + 10 * N, m + 2 * kColumns, 0.0);
}

// r = hmat v for v = (m u) over the entries of a matrix m of zeros besides
// the shear terms; the sums run over the columns in order, as the whole
// product would, which adds only zeros besides while u is finite.
inline void apply_shear_stiffness(double *r, const double v0, const double v1, const double *hmat) {
    r[0] = hmat[0] * v0 + hmat[2] * v1;
    r[1] = hmat[1] * v0 + hmat[3] * v1;
}

// hmat times the derivative matrices (x, then y, each when asked) times u,
// from one chain.  A u with an entry that is not finite goes through the
// whole matrix, where zeros meet it.
template <int N>
void shear_force_derivatives(double *rx, double *ry, const double *u, const double *hmat, const double *ncoords,
                             double xi, double eta) {
    double *out[2] = {rx, ry};
    if (!math::small::all_finite<kColumns>(u)) {
        for (int k = 0; k < 2; ++k) {
            if (out[k] == nullptr) continue;
            double m[2 * kColumns];
            shear_derivative_matrix<N>(m, ncoords, xi, eta, k == 0);
            double v[2] = {0.0, 0.0};
            for (int col = 0; col < kColumns; ++col) {
                v[0] += m[2 * col] * u[col];
                v[1] += m[2 * col + 1] * u[col];
            }
            apply_shear_stiffness(out[k], v[0], v[1], hmat);
        }
        return;
    }
    Chain<N> c;
    build<N, true>(c, ncoords, xi, eta);
    double v[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
    KESTRO_EACH_NODE
    for (int i = 0; i < N; ++i) {
        const Derivatives d = at<N, true>(c, i);
        const double w = u[5 * i + 2], th1 = u[5 * i + 3], th2 = u[5 * i + 4];
        for (int k = 0; k < 2; ++k) {
            const ShearDerivative e = shear_derivative(d, k == 0);
            v[k][0] += e.w1 * w;
            v[k][0] += e.th1 * th1;
            v[k][1] += e.w2 * w;
            v[k][1] += e.th2 * th2;
        }
    }
    for (int k = 0; k < 2; ++k)
        if (out[k] != nullptr) apply_shear_stiffness(out[k], v[k][0], v[k][1], hmat);
}

// The same for a node count other than 6 or 8: a zero matrix.
void shear_force_derivatives_unsupported(double *rx, double *ry, const double *u, const double *hmat) {
    double zero = 0.0;
    for (int k = 0; k < kColumns; ++k) zero += 0.0 * u[k];  // the zero matrix times u
    for (double *r : {rx, ry})
        if (r != nullptr) apply_shear_stiffness(r, zero, zero, hmat);
}

void shear_derivative_matrix(double *m, const double *ncoords, int32_t inodes, double xi, double eta, bool along_x) {
    if (!with_nodes(inodes, [&](auto n) { shear_derivative_matrix<decltype(n)::value>(m, ncoords, xi, eta, along_x); }))
        std::fill_n(m, 2 * kColumns, 0.0);
}

double norm3(const double *v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

void shear_force_derivatives(double *rx, double *ry, const double *u, const double *hmat, const double *ncoords,
                             int32_t inodes, double xi, double eta) {
    const auto run = [&](auto n) { shear_force_derivatives<decltype(n)::value>(rx, ry, u, hmat, ncoords, xi, eta); };
    if (!with_nodes(inodes, run)) shear_force_derivatives_unsupported(rx, ry, u, hmat);
}

void cartesian_second_derivatives(const double *nshape, int64_t ld, const double *ncoords, int32_t n, double *nxx,
                                  double *nyy, double *nxy) {
    Chain<kMaxNodes> c;
    const int32_t rows = std::clamp(n, 0, kMaxNodes);
    for (int32_t i = 0; i < rows; ++i) {
        const auto v = [&](int col) { return nshape[col * ld + i]; };
        c.v[i] = {v(0), v(1), v(2), v(3), v(4), v(5)};
    }
    complete<kMaxNodes, true>(c, ncoords, rows);
    for (int32_t i = 0; i < rows; ++i) {
        const Derivatives d = at<kMaxNodes, true>(c, i);
        nxx[i] = d.nxx;
        nyy[i] = d.nyy;
        nxy[i] = d.nxy;
    }
}

}  // namespace kestro::elements

extern "C" {

void ShellJacobian(double *jac, double *nshape, const double *ncoords, const int32_t *inodes, const double *xi,
                   const double *eta) {
    if (*inodes == 6) {
        Tria6ShapeFunMatrix(nshape, xi, eta);
    } else if (*inodes == 8) {
        Quad8ShapeFunMatrix(nshape, xi, eta);
    } else {
        std::fill_n(jac, 4, 0.0);
        std::fill_n(nshape, std::max(*inodes, 0) * 6, 0.0);
        kestro::elements::unsupported();
        return;
    }
    kestro::elements::table_jacobian(jac, nshape, *inodes, ncoords, *inodes);
}

void ShellJacobianInverse(double *jacinv, const double *jac) {
    const double det = jac[0] * jac[3] - jac[2] * jac[1];
    jacinv[0] = jac[3] / det;
    jacinv[1] = -jac[1] / det;
    jacinv[2] = -jac[2] / det;
    jacinv[3] = jac[0] / det;
}

void ShellFirstDerivJacobian(double *jac1, const double *jac) {
    const double j11 = jac[0], j21 = jac[1], j12 = jac[2], j22 = jac[3];
    const double rows[3][3] = {{j11 * j11, j12 * j12, 2.0 * j11 * j12},
                               {j21 * j21, j22 * j22, 2.0 * j21 * j22},
                               {j11 * j21, j12 * j22, j12 * j21 + j11 * j22}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) jac1[c * 3 + r] = rows[r][c];
}

void ShellFirstDerivJacobianInverse(double *jac1inv, const double *jac1) {
    const auto a = [jac1](int r, int c) { return jac1[c * 3 + r]; };
    // Cofactors C(r, c), and the determinant along the first column.
    double cof[3][3];
    _Pragma("GCC unroll 3") for (int r = 0; r < 3; ++r)
    _Pragma("GCC unroll 3") for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
        }
    const double det = a(0, 0) * cof[0][0] + a(1, 0) * cof[1][0] + a(2, 0) * cof[2][0];
    if (det == 0.0) {
        std::fill_n(jac1inv, 9, 0.0);
        kestro::record_error(-3, "Singular first derivative of jacobian");
        return;
    }
    _Pragma("GCC unroll 3") for (int r = 0; r < 3; ++r)
    _Pragma("GCC unroll 3") for (int c = 0; c < 3; ++c)
        jac1inv[c * 3 + r] = cof[c][r] / det;  // the adjugate over the determinant
}

void ShellSecondDerivJacobian(double *jac2, const double *nshape, const double *ncoords, const int32_t *inodes,
                              const double *, const double *) {
    kestro::elements::table_second_jacobian(jac2, nshape, std::max(*inodes, 0), ncoords, std::max(*inodes, 0));
}

void ShellBMatrix(double *b, const double *ncoords, const int32_t *inodes, const double *xi, const double *eta) {
    using namespace kestro::elements;
    if (!with_nodes(*inodes, [&](auto n) { b_matrix<decltype(n)::value>(b, ncoords, *xi, *eta); }))
        std::fill_n(b, 8 * 40, 0.0);
}

void ShellxDerivBMatrix(double *xderivb, const double *ncoords, const int32_t *inodes, const double *xi,
                        const double *eta) {
    kestro::elements::shear_derivative_matrix(xderivb, ncoords, *inodes, *xi, *eta, true);
}

void ShellyDerivBMatrix(double *yderivb, const double *ncoords, const int32_t *inodes, const double *xi,
                        const double *eta) {
    kestro::elements::shear_derivative_matrix(yderivb, ncoords, *inodes, *xi, *eta, false);
}

void ShellxDerivShearForces(double *xderivr, const double *u, const double *hmat, const double *ncoords,
                            const int32_t *inodes, const double *xi, const double *eta) {
    kestro::elements::shear_force_derivatives(xderivr, nullptr, u, hmat, ncoords, *inodes, *xi, *eta);
}

void ShellyDerivShearForces(double *yderivr, const double *u, const double *hmat, const double *ncoords,
                            const int32_t *inodes, const double *xi, const double *eta) {
    kestro::elements::shear_force_derivatives(nullptr, yderivr, u, hmat, ncoords, *inodes, *xi, *eta);
}

void GetDisplacementVector(double *u, const double *nmotion, const int32_t *inodes, const int32_t *mdof) {
    std::fill_n(u, 40, 0.0);
    const int32_t dof = std::max(*mdof, 0), copied = std::min(dof, 5);
    for (int32_t i = 0; i < std::min(*inodes, 8); ++i)
        for (int32_t k = 0; k < copied; ++k) u[5 * i + k] = nmotion[static_cast<int64_t>(i) * dof + k];
}

void GetHex8ElemLength(double *elemlength, const double *matcos, const double *nodalcoord) {
    // The four space diagonals: node 7 - 1, 8 - 2, 5 - 3, 6 - 4.
    // The three sums run side by side, each adding its terms in the order
    // diagonal by diagonal, component by component.
    static constexpr int ends[4][2] = {{6, 0}, {7, 1}, {4, 2}, {5, 3}};
    double sum[3] = {0.0, 0.0, 0.0};
#pragma GCC unroll 4
    for (const auto &e : ends)
#pragma GCC unroll 3
        for (int k = 0; k < 3; ++k) {
            const double d = nodalcoord[3 * e[0] + k] - nodalcoord[3 * e[1] + k];
#pragma GCC unroll 3
            for (int j = 0; j < 3; ++j) sum[j] += std::abs(d * matcos[3 * j + k]);
        }
    for (int j = 0; j < 3; ++j) elemlength[j] = 0.25 * sum[j];
}

void GetQuad4ElemLength(double *elemlength, const double *tdirect, const double *nodalcoord) {
    // Node 1 to 2, node 1 to 4, then the diagonal node 1 to 3; the three are
    // independent, so they are computed side by side before any is stored.
    static constexpr int nodes[3] = {1, 3, 2};
    double length[3];
#pragma GCC unroll 3
    for (int k = 0; k < 3; ++k) {
        double d[3], p[3], q[3] = {0.0, 0.0, 0.0};
#pragma GCC unroll 3
        for (int r = 0; r < 3; ++r) d[r] = nodalcoord[3 * nodes[k] + r] - nodalcoord[r];
        CoordinateProjection(tdirect, tdirect + 3, d, p, nullptr);
#pragma GCC unroll 3
        for (int j = 0; j < 3; ++j)
#pragma GCC unroll 3
            for (int r = 0; r < 3; ++r) q[r] += p[j] * tdirect[3 * j + r];
        length[k] = kestro::elements::norm3(q);
    }
    std::copy_n(length, 3, elemlength);
}

void GetTruss3ElemLength(double *elemlength, const double *nodalcoord) {
    const double d[3] = {nodalcoord[3] - nodalcoord[0], nodalcoord[4] - nodalcoord[1], nodalcoord[5] - nodalcoord[2]};
    *elemlength = kestro::elements::norm3(d);
}

void GetTruss3TransformationMatrix(double *te, const double *nodalcoord) {
    std::fill_n(te, 12, 0.0);
    double length = 0.0;
    GetTruss3ElemLength(&length, nodalcoord);
    for (int k = 0; k < 3; ++k) {
        const double direction = (nodalcoord[3 + k] - nodalcoord[k]) / length;
        te[2 * k] = direction;            // te(1, k)
        te[2 * (3 + k) + 1] = direction;  // te(2, 3 + k)
    }
}

void GetCenterNodes(double *center, const double *vertices, const int32_t *ndim, const int32_t *npt) {
    const int64_t dims = std::max(*ndim, 0), points = std::max(*npt, 0);
    for (int64_t j = 0; j < points; ++j) {
        const int64_t next = j + 1 < points ? j + 1 : 0;
        for (int64_t k = 0; k < dims; ++k)
            center[j * dims + k] = (vertices[j * dims + k] + vertices[next * dims + k]) / 2.0;
    }
}

}  // extern "C"
