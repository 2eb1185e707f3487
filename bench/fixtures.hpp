// Data shared by the benchmarks.
#pragma once

#include <array>
#include <cstdint>

namespace kestro_bench {

// An orthotropic ply stiffness in Nye order (column-major 6 x 6).
inline std::array<double, 36> orthotropic_stiffness() {
    std::array<double, 36> c{};
    const double block[3][3] = {{142000, 4100, 4100}, {4100, 9800, 5300}, {4100, 5300, 9800}};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) c[j * 6 + i] = block[i][j];
    c[21] = 4600;
    c[28] = 4000;
    c[35] = 3100;
    return c;
}

// The UMAT arguments of one point of n components (n = 3: plane stress) with
// a strain increment, 40 state variables and the nine constants of a ply
// followed by room for 27 more properties; nstatv and nprops as the
// benchmark sets them.
struct Umat {
    explicit Umat(int32_t n) : ntens(n), ndi(n == 3 ? 2 : 3), nshr(n - ndi) {}
    int32_t ntens, ndi, nshr, nstatv = 1, nprops = 1, one = 1, jstep[4] = {1, 1, 1, 0};
    std::array<double, 6> stress{}, stran{}, dstran{1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4}, ddsddt{}, drplde{};
    std::array<double, 36> ddsdde{};
    std::array<double, 40> statev{};
    std::array<double, 36> props{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    double sse = 0, spd = 0, scd = 0, rpl = 0, drpldt = 0, time[2] = {}, zero = 0, pnewdt = 1;
    double coords[3] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    char cmname[80] = {};

    // Calls the UMAT routine f with these arguments.
    template <class F>
    void call(F *f) {
        f(stress.data(), statev.data(), ddsdde.data(), &sse, &spd, &scd, &rpl, ddsddt.data(), drplde.data(), &drpldt,
          stran.data(), dstran.data(), time, &zero, &zero, &zero, &zero, &zero, cmname, &ndi, &nshr, &ntens, &nstatv,
          props.data(), &nprops, coords, eye, &pnewdt, &zero, eye, eye, &one, &one, &one, &one, jstep, &one,
          sizeof cmname);
    }
};

// The USERMAT arguments of one point of ncomp components (3: plane stress)
// with a strain increment, 40 state variables and the nine constants of a
// ply; nstatev and nprop as the benchmark sets them.
struct Usermat {
    explicit Usermat(int32_t n) : ncomp(n), ndirect(n == 3 ? 2 : 3), nshear(n - ndirect) {}
    int32_t ncomp, ndirect, nshear, one = 1, nstatev = 1, nprop = 1, keycut = 0;
    std::array<double, 6> stress{}, strain{}, dstrain{1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4}, epspl{};
    std::array<double, 36> dsdepl{};
    std::array<double, 40> statev{};
    std::array<double, 9> prop{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    double sedel = 0, sedpl = 0, epseq = 0, epszz = 0, tsstif[2] = {}, zero = 0;
    double coords[3] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    // Calls the USERMAT routine f (an adapter: after its leading arguments).
    template <class F, class... Leading>
    void call(F *f, Leading... leading) {
        f(leading..., &one, &one, &one, &one, &one, &one, &one, &keycut, &ndirect, &nshear, &ncomp, &nstatev, &nprop,
          &zero, &zero, &zero, &zero, stress.data(), statev.data(), dsdepl.data(), &sedel, &sedpl, &epseq,
          strain.data(), dstrain.data(), epspl.data(), prop.data(), coords, &zero, eye, eye, tsstif, &epszz, &zero,
          &zero, &zero, &zero, &zero, &zero, &zero, &zero);
    }
};

// The routine f as a caller of the shared library reaches it: through its
// address, so that an inline definition is not inlined into the loop.
template <class F>
F *exported(F *f) {
    F *volatile opaque = f;
    return opaque;
}

}  // namespace kestro_bench
