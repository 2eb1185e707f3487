// The element routines of every shell integration point: the shape table, the
// strain-displacement matrix, the derivatives of its shear rows and of the
// transverse shear forces on a curved 8-node element, each called through its
// C symbol (no inline definition in sight) beside a plain peer: the same
// closed forms written out by hand, called the same way (BM_Plain*).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "decl/elementhandling.hpp"
#include "fixtures.hpp"

namespace {

// A curved 8-node element in its local frame (x, y, z per node).
const std::array<double, 24> kCoords = {-1.2, -0.9, 0, 1.1, -1.0, 0, 1.3, 1.1, 0, -1.0, 0.9, 0,
                                        0.1,  -1.1, 0, 1.3, 0.1,  0, 0.0, 1.2, 0, -1.2, 0.0, 0};
const int32_t kNodes = 8;

namespace plain {

// The 8-node table (8 x 6, column-major): N, dN/dxi, dN/deta, d2N/dxi2,
// d2N/deta2, d2N/dxideta.
[[gnu::noinline]] void quad8_table(double *t, const double *pxi, const double *peta) {
    const double xi = *pxi, eta = *peta;
    static constexpr double xs[4] = {-1, 1, 1, -1}, ys[4] = {-1, -1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        const double a = xs[i], b = ys[i], fx = 1 + xi * a, fy = 1 + eta * b, s = xi * a + eta * b;
        t[i] = fx * fy * (s - 1) / 4;
        t[8 + i] = a * fy * (2 * xi * a + eta * b) / 4;
        t[16 + i] = b * fx * (xi * a + 2 * eta * b) / 4;
        t[24 + i] = fy / 2;
        t[32 + i] = fx / 2;
        t[40 + i] = a * b * (2 * s + 1) / 4;
    }
    const double mx = 1 - xi * xi, my = 1 - eta * eta;
    const double mid[4][6] = {{mx * (1 - eta) / 2, -xi * (1 - eta), -mx / 2, -(1 - eta), 0, xi},
                              {(1 + xi) * my / 2, my / 2, -eta * (1 + xi), 0, -(1 + xi), -eta},
                              {mx * (1 + eta) / 2, -xi * (1 + eta), mx / 2, -(1 + eta), 0, -xi},
                              {(1 - xi) * my / 2, -my / 2, -eta * (1 - xi), 0, -(1 - xi), eta}};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 6; ++c) t[8 * c + 4 + k] = mid[k][c];
}

// Jacobian and its inverse (column-major 2 x 2) from the table.
void jacobian(const double *t, const double *x, double *jac, double *inv) {
    double j11 = 0, j12 = 0, j21 = 0, j22 = 0;
    for (int i = 0; i < 8; ++i) {
        j11 += t[8 + i] * x[3 * i];
        j12 += t[8 + i] * x[3 * i + 1];
        j21 += t[16 + i] * x[3 * i];
        j22 += t[16 + i] * x[3 * i + 1];
    }
    jac[0] = j11, jac[1] = j21, jac[2] = j12, jac[3] = j22;
    const double det = j11 * j22 - j12 * j21;
    inv[0] = j22 / det, inv[1] = -j21 / det, inv[2] = -j12 / det, inv[3] = j11 / det;
}

[[gnu::noinline]] void shell_b(double *b, const double *x, const int32_t *, const double *xi, const double *eta) {
    double t[48], jac[4], inv[4];
    quad8_table(t, xi, eta);
    jacobian(t, x, jac, inv);
    std::memset(b, 0, 320 * sizeof(double));
    for (int i = 0; i < 8; ++i) {
        const double n = t[i], nx = inv[0] * t[8 + i] + inv[2] * t[16 + i], ny = inv[1] * t[8 + i] + inv[3] * t[16 + i];
        double *c = b + 40 * i;
        c[0] = nx, c[2] = ny, c[9] = ny, c[10] = nx, c[22] = ny, c[23] = nx;
        c[28] = -ny, c[29] = -nx, c[30] = -n, c[35] = nx, c[37] = ny, c[39] = n;
    }
}

[[gnu::noinline]] void shear_x(double *r, const double *u, const double *h, const double *x, const int32_t *,
                               const double *xi, const double *eta) {
    double t[48], jac[4], inv[4], j2[6] = {};
    quad8_table(t, xi, eta);
    jacobian(t, x, jac, inv);
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 3; ++k) {
            j2[k] += t[8 * (3 + k) + i] * x[3 * i];
            j2[3 + k] += t[8 * (3 + k) + i] * x[3 * i + 1];
        }
    double j3[6];
    for (int k = 0; k < 3; ++k) {
        j3[k] = j2[k] * inv[0] + j2[3 + k] * inv[1];
        j3[3 + k] = j2[k] * inv[2] + j2[3 + k] * inv[3];
    }
    const double a = jac[0], c = jac[1], b = jac[2], d = jac[3];  // J11, J21, J12, J22
    const double m[3][3] = {{a * a, b * b, 2 * a * b}, {c * c, d * d, 2 * c * d}, {a * c, b * d, b * c + a * d}};
    double cof[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cof[i][j] = m[(i + 1) % 3][(j + 1) % 3] * m[(i + 2) % 3][(j + 2) % 3] -
                        m[(i + 1) % 3][(j + 2) % 3] * m[(i + 2) % 3][(j + 1) % 3];
    const double det = m[0][0] * cof[0][0] + m[1][0] * cof[1][0] + m[2][0] * cof[2][0];
    double v0 = 0, v1 = 0;
    for (int i = 0; i < 8; ++i) {
        const double dxi = t[8 + i], deta = t[16 + i];
        const double nx = inv[0] * dxi + inv[2] * deta;
        double rr[3];
        for (int k = 0; k < 3; ++k) rr[k] = t[8 * (3 + k) + i] - (j3[k] * dxi + j3[3 + k] * deta);
        const double nxx = (cof[0][0] * rr[0] + cof[1][0] * rr[1] + cof[2][0] * rr[2]) / det;
        const double nxy = (cof[0][2] * rr[0] + cof[1][2] * rr[1] + cof[2][2] * rr[2]) / det;
        v0 += nxy * u[5 * i + 2] - nx * u[5 * i + 3];
        v1 += nxx * u[5 * i + 2] + nx * u[5 * i + 4];
    }
    r[0] = h[0] * v0 + h[2] * v1;
    r[1] = h[1] * v0 + h[3] * v1;
}

}  // namespace plain

template <void (*Table)(double *, const double *, const double *)>
void BM_Table(benchmark::State &state) {
    std::array<double, 48> nshape{};
    double xi = 0.3, eta = -0.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xi);
        Table(nshape.data(), &xi, &eta);
        benchmark::DoNotOptimize(nshape.data());
    }
}
BENCHMARK(BM_Table<Quad8ShapeFunMatrix>)->Name("BM_Quad8ShapeFunMatrix");
BENCHMARK(BM_Table<plain::quad8_table>)->Name("BM_PlainQuad8ShapeFunMatrix");

template <void (*Routine)(double *, const double *, const int32_t *, const double *, const double *), int Rows>
void BM_Matrix(benchmark::State &state) {
    std::array<double, Rows * 40> out{};
    double xi = 0.3, eta = -0.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xi);
        Routine(out.data(), kCoords.data(), &kNodes, &xi, &eta);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Matrix<ShellBMatrix, 8>)->Name("BM_ShellBMatrix");
BENCHMARK(BM_Matrix<plain::shell_b, 8>)->Name("BM_PlainShellBMatrix");
BENCHMARK(BM_Matrix<ShellxDerivBMatrix, 2>)->Name("BM_ShellxDerivBMatrix");

template <void (*Routine)(double *, const double *, const double *, const double *, const int32_t *, const double *,
                          const double *)>
void BM_ShearForces(benchmark::State &state) {
    std::array<double, 40> u{};
    for (int i = 0; i < 40; ++i) u[i] = 0.01 * i;
    const std::array<double, 4> hmat = {2.0, 0.25, 0.5, 3.0};
    std::array<double, 2> r{};
    double xi = 0.3, eta = -0.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xi);
        Routine(r.data(), u.data(), hmat.data(), kCoords.data(), &kNodes, &xi, &eta);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_ShearForces<ShellxDerivShearForces>)->Name("BM_ShellxDerivShearForces");
BENCHMARK(BM_ShearForces<ShellyDerivShearForces>)->Name("BM_ShellyDerivShearForces");
BENCHMARK(BM_ShearForces<plain::shear_x>)->Name("BM_PlainShellxDerivShearForces");

// Element vectors to 3-D states: 3 (plane stress), 4 (axisymmetric), 6 components.
void BM_Get3DInputFromElem(benchmark::State &state) {
    const int32_t ncomp = static_cast<int32_t>(state.range(0)), flag = 1;
    const kestro_logical1 axial = 1;
    const std::array<double, 6> stress = {1, 2, 3, 4, 5, 6}, strain = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6},
                                transverse = {11, 12, 13, 14, 15, 16};
    std::array<double, 6> s3{}, e3{}, d3{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(stress.data());
        Get3DInputFromElem(s3.data(), e3.data(), d3.data(), stress.data(), strain.data(), strain.data(), &ncomp,
                           transverse.data(), &flag, &flag, &axial);
        benchmark::DoNotOptimize(s3.data());
    }
}
BENCHMARK(BM_Get3DInputFromElem)->Arg(3)->Arg(4)->Arg(6);

// 3-D results to element outputs: 3 (general plane stress), 4 (axisymmetric), 6 components.
void BM_GetElemOutputFrom3D(benchmark::State &state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    const kestro_logical1 axial = 1;
    // An orthotropic stiffness and a 3-D stress with a through-thickness part.
    const std::array<double, 36> c = kestro_bench::orthotropic_stiffness();
    const std::array<double, 6> s3 = {120, -30, 4, 15, 2, -1};
    std::array<double, 6> stress{};
    std::array<double, 36> tangent{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(s3.data());
        GetElemOutputFrom3D(stress.data(), tangent.data(), s3.data(), c.data(), &n, &axial);
        benchmark::DoNotOptimize(tangent.data());
    }
}
BENCHMARK(BM_GetElemOutputFrom3D)->Arg(3)->Arg(4)->Arg(6);

}  // namespace
