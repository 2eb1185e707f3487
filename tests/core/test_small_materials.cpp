// The fibre, hyperelastic, hail-ice and porosity points from C++: layouts they
// refuse change nothing but a zero tangent, and state variables are read and
// written only within the caller's count (guard buffers; entries past the
// count hold values that would show if read).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "decl/toplevel.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using SmallMaterials = SharedState;
using Out = kestro_test::Out<double, -7.0>;
using Umat = void(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept;

const double kPly[12] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100, 2000, 1200, 0.5};
const double kIce[7] = {1000, 0.3, 1, 10, 0, 20, 0.1};

// umat_porosity, whose list has no step, under the UMAT type.
void porosity(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) noexcept {
    static_cast<void>(jstep);
    toplevel::umat_porosity(stress, statev, ddsdde, sse, spd, scd, rpl, ddsddt, drplde, drpldt, stran, dstran, time,
                            dtime, temp, dtemp, predef, dpred, cmname, ndi, nshr, ntens, nstatv, props, nprops, coords,
                            drot, pnewdt, celent, dfgrd0, dfgrd1, noel, npt, layer, kspt, kinc, cmname_len);
}

// One point of ntens components with its arrays in guard buffers.
struct Point {
    Point(int32_t ndi_, int32_t nshr_, int32_t ntens_, int32_t nstatv_, const double *props, int32_t nprops_)
        : ndi(ndi_), nshr(nshr_), ntens(ntens_), nstatv(nstatv_), nprops(nprops_), stress(ntens_),
          ddsdde(int64_t{ntens_} * ntens_), statev(nstatv_) {
        u.stress = stress.data(), u.statev = statev.data(), u.ddsdde = ddsdde.data();
        u.sse = &sse, u.spd = &spd, u.scd = &scd, u.stran = strain, u.dstran = strain, u.time = time;
        u.temp = u.dtemp = &zero, u.drot = eye, u.ndi = &ndi, u.nshr = &nshr, u.ntens = &ntens, u.nstatv = &nstatv;
        u.props = props, u.nprops = &nprops, u.jstep = jstep, u.kinc = &kinc, u.pnewdt = &pnewdt;
        u.cmname = solver::kWrapperName.data(), u.cmname_len = solver::kNameLength;
    }
    void call(Umat *f) {
        reset_record();
        conventions::call(f, u);
    }
    static void reset_record() {
        int32_t cleared = 0;
        const int8_t yes = 1;
        errorhandling::rsxerr(&cleared, &yes);
        std::fill(std::begin(errorhandling::errstring), std::end(errorhandling::errstring), '\0');
    }
    bool guards_intact() const { return stress.guards_intact() && ddsdde.guards_intact() && statev.guards_intact(); }

    int32_t ndi, nshr, ntens, nstatv, nprops, jstep[4] = {1, 1, 1, 0}, kinc = 1;
    double sse = -7.0, spd = -7.0, scd = -7.0, zero = 0.0, pnewdt = 1.0, time[2] = {}, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double strain[7] = {1e-3, -1e-3, 0, 2e-3, 0, 0, 0};
    Out stress, ddsdde, statev;
    conventions::Umat u{};
};

TEST_F(SmallMaterials, RefusedLayoutsLeaveAllButAZeroTangent) {
    const std::tuple<Umat *, const double *, int32_t, const char *> routines[] = {
        {toplevel::umat_fiber, kPly, 11, "umat_fiber"},
        {toplevel::umat_hyper, kPly, 9, "umat_hyper"},
        {toplevel::umat_hail, kIce, 7, "umat_hail"},
        {porosity, kPly, 9, "umat_porosity"},
        {toplevel::umat_hail, kIce, 1, nullptr}};  // too few properties
    for (const auto &[f, props, nprops, name] : routines)
        for (const auto &[ndi, nshr, ntens] :
             {std::tuple{3, 4, 7}, {4, 2, 6}, {-1, 4, 3}, {3, 2, 6}, {0, 0, 0}, {3, 3, 6}}) {
            if (name == nullptr && (ndi != 3 || nshr != 3)) continue;
            const bool served = ndi == 3 && nshr == 3 && name != nullptr;
            Point p(ndi, nshr, ntens, 40, props, nprops);
            p.call(f);
            EXPECT_TRUE(p.guards_intact());
            if (served) continue;
            const std::string message = name == nullptr ? "Unsupported number of properties in umat_hail."
                                                        : "Unsupported dimension in " + std::string(name) + ".";
            EXPECT_EQ(recorded(), message);
            EXPECT_TRUE(p.stress.untouched() && p.statev.untouched());
            EXPECT_EQ(p.sse + p.spd + p.scd, -21.0);
            for (int64_t k = 0; k < p.ddsdde.size(); ++k) EXPECT_EQ(p.ddsdde[k], 0.0);
        }
}

TEST_F(SmallMaterials, AnsysFibreRefusesOtherLayouts) {
    for (const auto &[ndirect, nshear, ncomp] : {std::tuple{3, 4, 7}, {2, 2, 3}, {-1, 3, 2}, {0, 0, 0}}) {
        Out stress(ncomp), dsdepl(int64_t{ncomp} * ncomp), tsstif(2);
        double sedel = -7.0, zero = 0.0, strain[7] = {1e-3, 0, 0, 0, 0, 0, 0};
        int32_t keycut = 5;
        const int32_t nstatev = 0, nprop = 9;
        conventions::Usermat a{};
        a.keycut = &keycut, a.ndirect = &ndirect, a.nshear = &nshear, a.ncomp = &ncomp, a.nstatev = &nstatev;
        a.nprop = &nprop, a.stress = stress.data(), a.dsdepl = dsdepl.data(), a.sedel = a.sedpl = a.epseq = &sedel;
        a.strain = a.dstrain = strain, a.prop = kPly, a.tsstif = tsstif.data(), a.epszz = &zero;
        Point::reset_record();
        conventions::call(toplevel::usermat_fiber, a);
        EXPECT_EQ(recorded(), "Unsupported dimension in usermat_fiber.");
        EXPECT_TRUE(stress.untouched() && tsstif.untouched() && dsdepl.guards_intact());
        EXPECT_EQ(keycut + sedel + zero, 5.0 - 7.0);
        for (int64_t k = 0; k < dsdepl.size(); ++k) EXPECT_EQ(dsdepl[k], 0.0);
    }
}

// A fibre of 12 properties (a factor 0.5 after fibre failure) whose state
// ends before the exposure: the 1.0 past the count is not read as a failure.
TEST_F(SmallMaterials, StatesAreReadAndWrittenWithinTheirCount) {
    for (const int32_t nstatv : {0, 2, 11}) {
        Point p(3, 3, 6, nstatv, kPly, 12), reference(3, 3, 6, 40, kPly, 12);
        p.statev.v.assign(p.statev.v.size(), 1.0);
        p.call(toplevel::umat_fiber);
        reference.call(toplevel::umat_fiber);
        EXPECT_EQ(p.stress.body() == reference.stress.body(), nstatv < 3) << nstatv;
        EXPECT_EQ(p.statev.v[static_cast<std::size_t>(nstatv)], 1.0);  // statev(12) not written
    }
    // Hyperelastic stresses kept within two state variables; hail strains within three.
    Point hyper(3, 3, 6, 2, kPly, 9);
    hyper.call(toplevel::umat_hyper);
    EXPECT_TRUE(hyper.guards_intact());
    const std::vector<double> stress = hyper.stress.body();
    EXPECT_EQ(hyper.statev.body(), std::vector<double>(stress.begin(), stress.begin() + 2));
    Point hail(3, 3, 6, 3, kIce, 7);
    hail.call(toplevel::umat_hail);
    EXPECT_TRUE(hail.guards_intact());
    EXPECT_EQ(recorded(), "Unsupported number of state variables in umat_hail.");
    // A porous marker past no state variables is not read.
    Point porous(3, 3, 6, 0, kPly, 9), reference(3, 3, 6, 1, kPly, 9);
    porous.statev.v.assign(porous.statev.v.size(), 1.0);
    porous.call(porosity);
    reference.call(porosity);
    EXPECT_EQ(porous.ddsdde.body(), reference.ddsdde.body());
}

}  // namespace
