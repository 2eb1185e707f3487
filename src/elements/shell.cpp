// Shell kinematics and element lengths.  Every routine rebuilds the Jacobian
// chain from the nodal coordinates in fixed-size arrays on the stack.
#include "elements/shell.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errorhandling.hpp"
#include "decl/math.hpp"
#include "elements/shapes.hpp"
#include "math/arithmetic.hpp"

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

// The chain at one point: the table (column-major, n rows), the Jacobian,
// its inverse and, when asked, what the second derivatives need.
struct Chain {
    int32_t n = 0;
    double table[kMaxNodes * 6] = {};
    double jac[4] = {}, jacinv[4] = {};
    double jac3[6] = {}, jac1inv[9] = {};
};

// The rest of the chain once c.n and the table are set.
void complete(Chain &c, const double *ncoords, bool second) {
    table_jacobian(c.jac, c.table, c.n, ncoords, c.n);
    ShellJacobianInverse(c.jacinv, c.jac);
    if (!second) return;
    double jac2[6], jac1[9];
    table_second_jacobian(jac2, c.table, c.n, ncoords, c.n);
    // jac3 = jac2 jacinv (3 x 2)
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 2; ++k) c.jac3[k * 3 + r] = jac2[r] * c.jacinv[2 * k] + jac2[3 + r] * c.jacinv[2 * k + 1];
    ShellFirstDerivJacobian(jac1, c.jac);
    ShellFirstDerivJacobianInverse(c.jac1inv, jac1);
}

// False, with the error of ShellJacobian recorded, for a node count other than 6 or 8.
bool build(Chain &c, const double *ncoords, int32_t inodes, double xi, double eta, bool second) {
    if (inodes != 6 && inodes != 8) {
        unsupported();
        return false;
    }
    c.n = inodes;
    if (inodes == 6)
        Tria6ShapeFunMatrix(c.table, &xi, &eta);
    else
        Quad8ShapeFunMatrix(c.table, &xi, &eta);
    complete(c, ncoords, second);
    return true;
}

struct Derivatives {
    double n, nx, ny, nxx, nyy, nxy;
};

// The Cartesian derivatives of node i's shape function.
Derivatives at(const Chain &c, int32_t i, bool second) {
    const double n = c.table[i], dxi = c.table[c.n + i], deta = c.table[2 * c.n + i];
    Derivatives d{n, c.jacinv[0] * dxi + c.jacinv[2] * deta, c.jacinv[1] * dxi + c.jacinv[3] * deta, 0.0, 0.0, 0.0};
    if (second) {
        double r[3];
        for (int k = 0; k < 3; ++k) r[k] = c.table[(3 + k) * c.n + i] - (c.jac3[k] * dxi + c.jac3[3 + k] * deta);
        d.nxx = c.jac1inv[0] * r[0] + c.jac1inv[3] * r[1] + c.jac1inv[6] * r[2];
        d.nyy = c.jac1inv[1] * r[0] + c.jac1inv[4] * r[1] + c.jac1inv[7] * r[2];
        d.nxy = c.jac1inv[2] * r[0] + c.jac1inv[5] * r[1] + c.jac1inv[8] * r[2];
    }
    return d;
}

// The x (along true) or y derivative of the two shear rows of b, from a
// built chain.
void fill_shear_derivative_matrix(double *m, const Chain &c, bool along_x) {
    std::fill_n(m, 2 * kColumns, 0.0);
    for (int32_t i = 0; i < c.n; ++i) {
        const Derivatives d = at(c, i, true);
        double *col = m + 2 * 5 * i;  // the node's columns u, v, w, th1, th2, two rows each
        if (along_x) {
            col[2 * 2] = d.nxy;      // row 1, w
            col[2 * 3] = -d.nx;      // row 1, th1
            col[2 * 2 + 1] = d.nxx;  // row 2, w
            col[2 * 4 + 1] = d.nx;   // row 2, th2
        } else {
            col[2 * 2] = d.nyy;
            col[2 * 3] = -d.ny;
            col[2 * 2 + 1] = d.nxy;
            col[2 * 4 + 1] = d.ny;
        }
    }
}

void shear_derivative_matrix(double *m, const double *ncoords, int32_t inodes, double xi, double eta, bool along_x) {
    std::fill_n(m, 2 * kColumns, 0.0);
    Chain c;
    if (!build(c, ncoords, inodes, xi, eta, true)) return;
    fill_shear_derivative_matrix(m, c, along_x);
}

// r = hmat (m u) for a derivative matrix m.
void apply_shear_stiffness(double *r, const double *m, const double *u, const double *hmat) {
    double v[2] = {0.0, 0.0};
    for (int k = 0; k < kColumns; ++k) {
        v[0] += m[2 * k] * u[k];
        v[1] += m[2 * k + 1] * u[k];
    }
    r[0] = hmat[0] * v[0] + hmat[2] * v[1];
    r[1] = hmat[1] * v[0] + hmat[3] * v[1];
}

void shear_force_derivative(double *r, const double *u, const double *hmat, const double *ncoords, int32_t inodes,
                            double xi, double eta, bool along_x) {
    double m[2 * kColumns];
    shear_derivative_matrix(m, ncoords, inodes, xi, eta, along_x);
    apply_shear_stiffness(r, m, u, hmat);
}

double norm3(const double *v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

void shear_force_derivatives(double *rx, double *ry, const double *u, const double *hmat, const double *ncoords,
                             int32_t inodes, double xi, double eta) {
    double m[2 * kColumns] = {};
    Chain c;
    const bool built = build(c, ncoords, inodes, xi, eta, true);
    for (const bool along_x : {true, false}) {
        if (built) fill_shear_derivative_matrix(m, c, along_x);
        apply_shear_stiffness(along_x ? rx : ry, m, u, hmat);
    }
}

void cartesian_second_derivatives(const double *nshape, int64_t ld, const double *ncoords, int32_t n, double *nxx,
                                  double *nyy, double *nxy) {
    Chain c;
    c.n = std::clamp(n, 0, kMaxNodes);
    for (int col = 0; col < 6; ++col)
        for (int32_t i = 0; i < c.n; ++i) c.table[col * c.n + i] = nshape[col * ld + i];
    complete(c, ncoords, true);
    for (int32_t i = 0; i < c.n; ++i) {
        const Derivatives d = at(c, i, true);
        nxx[i] = d.nxx;
        nyy[i] = d.nyy;
        nxy[i] = d.nxy;
    }
}

}  // namespace kestro::elements

using kestro::elements::Chain;

extern "C" {

void ShellJacobian(double *jac, double *nshape, const double *ncoords, const int32_t *inodes, const double *xi,
                   const double *eta) {
    std::fill_n(jac, 4, 0.0);
    std::fill_n(nshape, std::max(*inodes, 0) * 6, 0.0);
    if (*inodes == 6)
        Tria6ShapeFunMatrix(nshape, xi, eta);
    else if (*inodes == 8)
        Quad8ShapeFunMatrix(nshape, xi, eta);
    else {
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
    std::fill_n(jac1inv, 9, 0.0);
    const auto a = [jac1](int r, int c) { return jac1[c * 3 + r]; };
    // Cofactors C(r, c), and the determinant along the first column.
    double cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
        }
    const double det = a(0, 0) * cof[0][0] + a(1, 0) * cof[1][0] + a(2, 0) * cof[2][0];
    if (det == 0.0) {
        kestro::record_error(-3, "Singular first derivative of jacobian");
        return;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) jac1inv[c * 3 + r] = cof[c][r] / det;  // the adjugate over the determinant
}

void ShellSecondDerivJacobian(double *jac2, const double *nshape, const double *ncoords, const int32_t *inodes,
                              const double *, const double *) {
    kestro::elements::table_second_jacobian(jac2, nshape, std::max(*inodes, 0), ncoords, std::max(*inodes, 0));
}

void ShellBMatrix(double *b, const double *ncoords, const int32_t *inodes, const double *xi, const double *eta) {
    std::fill_n(b, 8 * 40, 0.0);
    Chain c;
    if (!kestro::elements::build(c, ncoords, *inodes, *xi, *eta, false)) return;
    for (int32_t i = 0; i < c.n; ++i) {
        const kestro::elements::Derivatives d = kestro::elements::at(c, i, false);
        double *col = b + 8 * 5 * i;  // the node's columns u, v, w, th1, th2, eight rows each
        col[0] = d.nx;                // u
        col[2] = d.ny;
        col[8 + 1] = d.ny;  // v
        col[8 + 2] = d.nx;
        col[16 + 6] = d.ny;  // w
        col[16 + 7] = d.nx;
        col[24 + 4] = -d.ny;  // th1
        col[24 + 5] = -d.nx;
        col[24 + 6] = -d.n;
        col[32 + 3] = d.nx;  // th2
        col[32 + 5] = d.ny;
        col[32 + 7] = d.n;
    }
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
    kestro::elements::shear_force_derivative(xderivr, u, hmat, ncoords, *inodes, *xi, *eta, true);
}

void ShellyDerivShearForces(double *yderivr, const double *u, const double *hmat, const double *ncoords,
                            const int32_t *inodes, const double *xi, const double *eta) {
    kestro::elements::shear_force_derivative(yderivr, u, hmat, ncoords, *inodes, *xi, *eta, false);
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
