// The solvers' material conventions as C++ sees them: one view per argument
// list (UMAT, VUMAT, USERMAT, HYPELA, UPERMAT) over the record of its
// arguments that bindgen generates from the list's one declaration
// (python/signatures/conventions.inc -> decl/conventions.hpp).  An entry of a
// convention is defined as
//
//     void umat_x(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
//         x(UmatPoint{{KESTRO_UMAT_ARGUMENTS}});
//     }
//
// and its model is one function on the view: counts, the stress, state and
// tangent it writes, the strain, increment and properties it reads, each
// sized by its count, and every other argument by name (view.args).  The
// user elements and hooks take their lists' parameters the same way
// (KESTRO_UEL_PARAMETERS, ...) and read them by name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/markers.hpp"
#include "decl/conventions.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::solver {

// A count as an extent: a negative count is an empty one.
constexpr std::size_t extent(int64_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

// The solvers' cyclic order 11, 22, 33, 12, 23, 13 (explicit and ANSYS
// points) from Nye order and back: 6-vectors, and the rows and columns of
// column-major 6 x 6 matrices.
inline void cyclic_of_nye(const double *nye, double *cyclic) {
    for (int k = 0; k < 6; ++k) cyclic[k] = nye[ply::kNyeOfCyclic[k]];
}
inline void nye_of_cyclic(const double *cyclic, double *nye) {
    for (int k = 0; k < 6; ++k) nye[ply::kNyeOfCyclic[k]] = cyclic[k];
}
inline void cyclic_of_nye_matrix(const double *nye, double *cyclic) {
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) cyclic[j * 6 + i] = nye[ply::kNyeOfCyclic[j] * 6 + ply::kNyeOfCyclic[i]];
}
inline void nye_of_cyclic_matrix(const double *cyclic, double *nye) {
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) nye[ply::kNyeOfCyclic[j] * 6 + ply::kNyeOfCyclic[i]] = cyclic[j * 6 + i];
}

// A column-major n x n matrix over a caller's storage (a tangent of ntens
// components); (i, j) 0-based.
template <class T>
struct Square {
    T *a;
    std::size_t n;
    T &operator()(std::size_t i, std::size_t j) const { return a[j * n + i]; }
};

// A column-major rows x columns table over a caller's storage whose first
// index is the point of a block (the explicit and Peridigm solvers' arrays).
template <class T>
struct Table {
    T *a;
    std::size_t rows, columns;
    T &operator()(std::size_t point, std::size_t j) const { return a[j * rows + point]; }
};

// The implicit material point (UMAT), the library's own convention.
struct UmatPoint {
    conventions::Umat args;

    int32_t ndi() const { return *args.ndi; }
    int32_t nshr() const { return *args.nshr; }
    int32_t ntens() const { return *args.ntens; }
    int32_t nstatv() const { return *args.nstatv; }
    int32_t nprops() const { return *args.nprops; }
    std::span<double> stress() const { return {args.stress, extent(ntens())}; }
    std::span<double> state() const { return {args.statev, extent(nstatv())}; }
    Square<double> tangent() const { return {args.ddsdde, extent(ntens())}; }
    std::span<const double> strain() const { return {args.stran, extent(ntens())}; }
    std::span<const double> increment() const { return {args.dstran, extent(ntens())}; }
    std::span<const double> properties() const { return {args.props, extent(nprops())}; }
    double &sse() const { return *args.sse; }
    double &spd() const { return *args.spd; }
    double &scd() const { return *args.scd; }
    double &pnewdt() const { return *args.pnewdt; }
    double step_time() const { return args.time[0]; }
    double total_time() const { return args.time[1]; }
    int32_t step() const { return args.jstep[0]; }
    std::string_view material() const { return {args.cmname, args.cmname_len}; }
};

// A block of explicit material points (VUMAT); tables hold the point first.
struct VumatBlock {
    conventions::Vumat args;

    int32_t nblock() const { return *args.nblock; }
    int32_t ndir() const { return *args.ndir; }
    int32_t nshr() const { return *args.nshr; }
    std::size_t ncomp() const { return extent(int64_t{ndir()} + nshr()); }
    int32_t nstatev() const { return *args.nstatev; }
    std::span<const double> properties() const { return {args.props, extent(*args.nprops)}; }
    // The strain increment, which a plane-stress point may update (its thickness strain).
    Table<double> increment() const { return {args.straininc, extent(nblock()), ncomp()}; }
    std::span<const double> density() const { return {args.density, extent(nblock())}; }
    std::span<const double> internal_energy_old() const { return {args.enerinternold, extent(nblock())}; }
    std::span<double> internal_energy_new() const { return {args.enerinternnew, extent(nblock())}; }
    std::span<double> inelastic_energy_new() const { return {args.enerinelasnew, extent(nblock())}; }
    Table<const double> stress_old() const { return {args.stressold, extent(nblock()), ncomp()}; }
    Table<const double> state_old() const { return {args.stateold, extent(nblock()), extent(nstatev())}; }
    Table<double> stress_new() const { return {args.stressnew, extent(nblock()), ncomp()}; }
    Table<double> state_new() const { return {args.statenew, extent(nblock()), extent(nstatev())}; }
    std::string_view material() const { return {args.cmname, args.cmname_len}; }
};

// The ANSYS material point (USERMAT): ncomp components in the order 11, 22,
// 33, 12, 23, 13 (fewer: the element's own).
struct UsermatPoint {
    conventions::Usermat args;

    int32_t ncomp() const { return *args.ncomp; }
    int32_t nstatev() const { return *args.nstatev; }
    int32_t nprop() const { return *args.nprop; }
    std::span<double> stress() const { return {args.stress, extent(ncomp())}; }
    std::span<double> state() const { return {args.ustatev, extent(nstatev())}; }
    Square<double> tangent() const { return {args.dsdepl, extent(ncomp())}; }
    std::span<const double> strain() const { return {args.strain, extent(ncomp())}; }
    std::span<const double> increment() const { return {args.dstrain, extent(ncomp())}; }
    std::span<const double> properties() const { return {args.prop, extent(nprop())}; }
    bool plane_stress() const { return *args.ndirect == 2 && ncomp() == 3; }
};

// The MSC Marc material point (HYPELA): ngens components.
struct HypelaPoint {
    conventions::Hypela args;

    int32_t ngens() const { return *args.ngens; }
    Square<double> tangent() const { return {args.d, extent(ngens())}; }
    std::span<double> thermal_stress() const { return {args.g, extent(ngens())}; }
    std::span<double> stress() const { return {args.s, extent(ngens())}; }
    std::span<const double> strain() const { return {args.e, extent(ngens())}; }
    std::span<const double> increment() const { return {args.de, extent(ngens())}; }
};

// The Peridigm material points (UPERMAT): ndir + nshr components in Nye
// order, tables with the point first.
struct UpermatBlock {
    conventions::Upermat args;

    int32_t npoint() const { return *args.npoint; }
    int64_t ncomp() const { return int64_t{*args.ndir} + *args.nshr; }
    int32_t nstatev() const { return *args.nstatev; }
    Table<const double> stress_old() const { return {args.stressold, extent(npoint()), extent(ncomp())}; }
    Table<const double> state_old() const { return {args.stateold, extent(npoint()), extent(nstatev())}; }
    Table<const double> increment() const { return {args.straininc, extent(npoint()), extent(ncomp())}; }
    Table<double> stress_new() const { return {args.stressnew, extent(npoint()), extent(ncomp())}; }
    Table<double> state_new() const { return {args.statenew, extent(npoint()), extent(nstatev())}; }
};

// The element layouts of ndi direct components then nshr shears that the ply
// and the adapters serve: (2, 1) plane stress 11, 22, 12; (3, 1) plane
// strain or axisymmetry 11, 22, 33, 12; (3, 3) solid.
constexpr bool served_layout(int32_t ndi, int32_t nshr) {
    return (ndi == 3 && (nshr == 1 || nshr == 3)) || (ndi == 2 && nshr == 1);
}
// The same with the component count a point states beside them, their sum.
constexpr bool served_layout(int32_t ndi, int32_t nshr, int32_t ntens) {
    return served_layout(ndi, nshr) && ndi + nshr == ntens;
}

// The material name the adapters give a UMAT routine whose caller has none:
// "ABQ_WRAPPER" padded with blanks to 80 characters.
inline constexpr std::size_t kNameLength = 80;
inline constexpr std::array<char, kNameLength> kWrapperName = [] {
    std::array<char, kNameLength> name{};
    constexpr std::string_view text = "ABQ_WRAPPER";
    for (std::size_t i = 0; i < kNameLength; ++i) name[i] = i < text.size() ? text[i] : ' ';
    return name;
}();

// The step of a call whose caller gives no more than its number: (step,
// 2147483647, 1, 0).
constexpr std::array<int32_t, 4> step_of(int32_t step) { return {step, kAbsentInt, 1, 0}; }

}  // namespace kestro::solver
