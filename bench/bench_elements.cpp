// The element routines of every shell integration point: the shape table, the
// strain-displacement matrix, the derivatives of its shear rows and of the
// transverse shear forces on a curved 8-node element.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "decl/elementhandling.hpp"
#include "elements/shapes.hpp"
#include "fixtures.hpp"

namespace {

// A curved 8-node element in its local frame (x, y, z per node).
const std::array<double, 24> kCoords = {-1.2, -0.9, 0, 1.1, -1.0, 0, 1.3, 1.1, 0, -1.0, 0.9, 0,
                                        0.1,  -1.1, 0, 1.3, 0.1,  0, 0.0, 1.2, 0, -1.2, 0.0, 0};
const int32_t kNodes = 8;

void BM_Quad8ShapeFunMatrix(benchmark::State &state) {
    std::array<double, 48> nshape{};
    double xi = 0.3, eta = -0.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xi);
        Quad8ShapeFunMatrix(nshape.data(), &xi, &eta);
        benchmark::DoNotOptimize(nshape.data());
    }
}
BENCHMARK(BM_Quad8ShapeFunMatrix);

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
BENCHMARK(BM_Matrix<ShellxDerivBMatrix, 2>)->Name("BM_ShellxDerivBMatrix");

void BM_ShellxDerivShearForces(benchmark::State &state) {
    std::array<double, 40> u{};
    for (int i = 0; i < 40; ++i) u[i] = 0.01 * i;
    const std::array<double, 4> hmat = {2.0, 0.25, 0.5, 3.0};
    std::array<double, 2> r{};
    double xi = 0.3, eta = -0.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xi);
        ShellxDerivShearForces(r.data(), u.data(), hmat.data(), kCoords.data(), &kNodes, &xi, &eta);
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_ShellxDerivShearForces);

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
