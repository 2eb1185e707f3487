// The convention adapters with a C++ material routine defined on the
// generated parameter list (so its type is the procedure type of the
// convention): every write stays within the caller's counts, a state longer
// than the stack work vector passes whole, an exception of the material
// unwinds the adapter, and the views read the lists by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "decl/wrapper.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using Adapters = SharedState;
using Out = kestro_test::Out<double, -7.0>;

int calls = 0;

// stress = diag(1, ..., 6) (stran + dstran), ddsdde = that diagonal, state + 1.
void diagonal(KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) {
    const solver::UmatPoint p{{KESTRO_UMAT_ARGUMENTS}};
    ++calls;
    for (std::size_t i = 0; i < p.stress().size(); ++i) {
        p.stress()[i] = static_cast<double>(i + 1) * (p.strain()[i] + p.increment()[i]);
        for (std::size_t j = 0; j < p.stress().size(); ++j) p.tangent()(i, j) = i == j ? double(i + 1) : 0.0;
    }
    for (double &s : p.state()) s += 1.0;
    if (p.properties()[0] < 0.0) throw std::runtime_error("material failed");
}
constexpr kestro_umat kDiagonal = &diagonal;

struct Usermat {
    int32_t ncomp, ndirect;
    std::vector<double> strain = std::vector<double>(static_cast<std::size_t>(ncomp), 0.0);
    Out stress{ncomp}, dsdepl{ncomp * ncomp}, state{3}, tsstif{2};
    double sedel = 0.0, sedpl = 1.0, epseq = 1.0, epszz = -7.0, var = 0.0;
    int32_t keycut = 9;

    void run(double prop = 1.0) {
        const int32_t one = 1, nshear = ncomp - ndirect, nstatev = 3, nprop = 1;
        const double zero = 0.0, coords[3] = {}, f[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::vector<double> dstrain(strain.size(), 1e-3), epspl(strain.size(), 0.0);
        wrapper::abq_umat_to_ansys_usermat(kDiagonal, &one, &one, &one, &one, &one, &one, &one, &keycut, &ndirect,
                                           &nshear, &ncomp, &nstatev, &nprop, &zero, &zero, &zero, &zero,
                                           stress.data(), state.data(), dsdepl.data(), &sedel, &sedpl, &epseq,
                                           strain.data(), dstrain.data(), epspl.data(), &prop, coords, &var, f, f,
                                           tsstif.data(), &epszz, &var, &var, &var, &var, &var, &var, &var, &var);
    }
};

TEST_F(Adapters, AnsysPointsWriteWithinTheirComponents) {
    // Layouts other than (2, 1), (3, 1) and (3, 3) are refused before the material is called.
    for (const auto &[ncomp, ndirect] :
         {std::pair{3, 2}, {4, 3}, {6, 3}, {5, 3}, {2, 2}, {7, 4}, {1, 1}, {0, 0}, {3, 3}, {4, 4}}) {
        Usermat u{ncomp, ndirect};
        calls = 0;
        u.run();
        const bool served = (ncomp == 3 && ndirect == 2) || (ncomp == 4 && ndirect == 3) || (ncomp == 6 && ndirect == 3);
        EXPECT_TRUE(u.stress.guards_intact() && u.dsdepl.guards_intact() && u.tsstif.guards_intact()) << ncomp;
        EXPECT_EQ(u.stress.untouched() && u.dsdepl.untouched(), !served) << ncomp;
        EXPECT_EQ(calls, served ? 1 : 0) << ncomp;
        EXPECT_EQ(u.tsstif[0], served ? 5.0 : -7.0) << ncomp;  // G13: the 13 diagonal of the 3-D tangent
        EXPECT_EQ(u.tsstif[1], -7.0);
        EXPECT_EQ(u.keycut, 0);
        EXPECT_EQ(u.sedpl + u.epseq, 0.0);
        EXPECT_EQ(u.epszz != -7.0, ncomp == 3 && served) << ncomp;  // plane stress only
        EXPECT_EQ(u.state.body(), std::vector<double>(3, served ? -6.0 : -7.0));
        EXPECT_EQ(errorhandling::errstat, served ? 0 : -2) << ncomp;
        reset();
    }
}

// The same material as an ANSYS routine (6 components) and as a MUESLI one.
void diagonal_usermat(KESTRO_USERMAT_PARAMETERS) {
    ++calls;
    for (int i = 0; i < 6; ++i) {
        stress[i] = (i + 1) * (strain[i] + dstrain[i]);
        dsdepl[i * 7] = i + 1;
    }
}
void diagonal_muesli(const int32_t *, KESTRO_UMAT_PARAMETERS, KESTRO_UMAT_LENGTHS) { diagonal(KESTRO_UMAT_ARGUMENTS); }

TEST_F(Adapters, UmatPointsOfUnservedLayoutsAreRefusedByBothAdapters) {
    struct Layout {
        int32_t ndi, nshr, ntens;
    };
    for (const auto &[ndi, nshr, ntens] :
         {Layout{1, 2, 3}, {3, 0, 3}, {0, 4, 4}, {1, 3, 4}, {2, 2, 4}, {4, 0, 4}, {2, 4, 6}, {4, 2, 6}, {2, 1, 4},
          {3, 1, 6}, {3, 3, 4}, {2, 1, 0}, {3, 3, -6}, {0, 0, 0}, {2, 1, 3}, {3, 1, 4}, {3, 3, 6}})
        for (const bool muesli : {false, true}) {
            const bool served = ndi + nshr == ntens && (ntens == 3 ? ndi == 2 : ndi == 3 && (nshr == 1 || nshr == 3));
            const int64_t n = std::max(ntens, 0);
            Out stress(n, 2.0), ddsdde(n * n, 2.0), state(3, 2.0), ddsddt(n), drplde(n);
            std::vector<double> stran(n, 0.0), dstran(n, 1e-3);
            double sse = 2.0, spd = 2.0, scd = 2.0, rpl = 0.0, drpldt = 0.0, pnewdt = 0.5, celent = 1.0;
            const double time[2] = {}, zero = 0.0, props = 1.0, coords[3] = {}, f[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
            const int32_t one = 1, nstatv = 3, jstep[4] = {1, 1, 1, 0};
            calls = 0;
            if (muesli)
                wrapper::muesli_to_abq_umat(&diagonal_muesli, stress.data(), state.data(), ddsdde.data(), &sse, &spd,
                                            &scd, &rpl, ddsddt.data(), drplde.data(), &drpldt, stran.data(),
                                            dstran.data(), time, &zero, &zero, &zero, &zero, &zero,
                                            solver::kWrapperName.data(), &ndi, &nshr, &ntens, &nstatv, &props, &one,
                                            coords, f, &pnewdt, &celent, f, f, &one, &one, &one, &one, jstep, &one,
                                            &one, solver::kNameLength);
            else
                wrapper::ansys_usermat_to_abq_umat(&diagonal_usermat, stress.data(), state.data(), ddsdde.data(),
                                                   &sse, &spd, &scd, &rpl, ddsddt.data(), drplde.data(), &drpldt,
                                                   stran.data(), dstran.data(), time, &zero, &zero, &zero, &zero,
                                                   &zero, solver::kWrapperName.data(), &ndi, &nshr, &ntens, &nstatv,
                                                   &props, &one, coords, f, &pnewdt, &celent, f, f, &one, &one, &one,
                                                   &one, jstep, &one, solver::kNameLength);
            SCOPED_TRACE(::testing::Message() << ndi << " " << nshr << " " << ntens << (muesli ? " muesli" : " ansys"));
            EXPECT_EQ(calls, served ? 1 : 0);
            EXPECT_TRUE(stress.guards_intact() && ddsdde.guards_intact() && ddsddt.untouched() && drplde.untouched());
            if (served) {
                EXPECT_EQ(errorhandling::errstat, 0);
                EXPECT_DOUBLE_EQ(stress[0], 1e-3);
            } else {
                EXPECT_EQ(recorded(), muesli ? "Unsupported dimension in muesli_to_abq_umat."
                                             : "Unsupported dimension in ansys_usermat_to_abq_umat.");
                EXPECT_EQ(stress.body(), std::vector<double>(n, 0.0));
                EXPECT_EQ(ddsdde.body(), std::vector<double>(n * n, 0.0));
                EXPECT_EQ(sse, n > 0 ? 0.0 : 2.0);  // without components nothing is written
                EXPECT_TRUE(state.untouched());
            }
            reset();
        }
}

TEST_F(Adapters, PeridigmPointsOfUnservedLayoutsKeepTheirState) {
    constexpr int32_t kSmallest = std::numeric_limits<int32_t>::min();
    for (const auto &[ndir, nshr] : {std::pair{3, 2}, {2, 0}, {4, 2}, {-1, kSmallest}, {kSmallest, kSmallest}}) {
        const int32_t points = 9, states = 2, nprops = 1;
        const int64_t ncomp = std::max<int64_t>(int64_t{ndir} + nshr, 0);
        std::vector<double> stressold(static_cast<std::size_t>(points * ncomp)), stateold(points * states);
        std::vector<double> increment(stressold.size(), 1e-3), props{1.0};
        for (std::size_t k = 0; k < stressold.size(); ++k) stressold[k] = double(k);
        for (std::size_t k = 0; k < stateold.size(); ++k) stateold[k] = -double(k);
        Out stressnew(points * ncomp), statenew(points * states);
        const double t = 0.0;
        calls = 0;
        wrapper::abq_umat_to_peridigm_upermat(kDiagonal, stressnew.data(), statenew.data(), stressold.data(),
                                              stateold.data(), increment.data(), props.data(), &t, &t, &t, &points,
                                              &points, &ndir, &nshr, &states, &nprops);
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(stressnew.guards_intact() && statenew.guards_intact());
        EXPECT_EQ(stressnew.body(), stressold) << ndir << " " << nshr;
        EXPECT_EQ(statenew.body(), stateold);
        EXPECT_EQ(errorhandling::errstat, -2);
        reset();
    }
}

TEST_F(Adapters, PeridigmStatesBeyondTheStackPassWhole) {
    for (const int32_t states : {0, 40, 300}) {
        const int32_t points = 2, ndir = 3, nshr = 3, nprops = 1;
        std::vector<double> stressold(12, 1.0), increment(12, 1e-3), props{1.0};
        std::vector<double> stateold(static_cast<std::size_t>(points * states));
        for (std::size_t k = 0; k < stateold.size(); ++k) stateold[k] = double(k);
        Out stressnew(12), statenew(points * states);
        const double t = 0.0;
        calls = 0;
        wrapper::abq_umat_to_peridigm_upermat(kDiagonal, stressnew.data(), statenew.data(), stressold.data(),
                                              stateold.data(), increment.data(), props.data(), &t, &t, &t, &points,
                                              &points, &ndir, &nshr, &states, &nprops);
        EXPECT_EQ(calls, points);
        EXPECT_TRUE(stressnew.guards_intact() && statenew.guards_intact());
        for (std::size_t k = 0; k < stateold.size(); ++k) EXPECT_EQ(statenew[int64_t(k)], double(k) + 1.0);
        // Point first: stressnew(k, j) = 1 + (j + 1) 1e-3.
        for (int j = 0; j < 6; ++j) EXPECT_DOUBLE_EQ(stressnew[2 * j + 1], 1.0 + (j + 1) * 1e-3);
    }
}

TEST_F(Adapters, AnExceptionOfTheMaterialUnwindsTheAdapter) {
    const int32_t points = 3, ndir = 3, nshr = 3, states = 300, nprops = 1;
    std::vector<double> stress(18, 0.0), state(900, 0.0), out(18), newstate(900);
    const double props = -1.0, t = 0.0;
    calls = 0;
    EXPECT_THROW(wrapper::abq_umat_to_peridigm_upermat(kDiagonal, out.data(), newstate.data(), stress.data(),
                                                       state.data(), stress.data(), &props, &t, &t, &t, &points,
                                                       &points, &ndir, &nshr, &states, &nprops),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    Usermat u{6, 3};
    EXPECT_THROW(u.run(-1.0), std::runtime_error);
}

TEST(ConventionViews, ReadTheListsByName) {
    double stress[4] = {1, 2, 3, 4}, statev[2] = {}, ddsdde[16] = {}, time[2] = {0.5, 2.0};
    const int32_t ndi = 3, nshr = 1, ntens = 4, nstatv = 2, nprops = 0, jstep[4] = {3, 0, 0, 0};
    conventions::Umat record{};
    record.stress = stress;
    record.statev = statev;
    record.ddsdde = ddsdde;
    record.time = time;
    record.ndi = &ndi;
    record.nshr = &nshr;
    record.ntens = &ntens;
    record.nstatv = &nstatv;
    record.nprops = &nprops;
    record.jstep = jstep;
    record.cmname = solver::kWrapperName.data();
    record.cmname_len = 11;
    const solver::UmatPoint p{record};
    p.tangent()(3, 1) = 9.0;
    EXPECT_EQ(ddsdde[1 * 4 + 3], 9.0);
    EXPECT_EQ(p.stress().size() + p.state().size() + p.properties().size(), 6u);
    EXPECT_EQ(p.material(), "ABQ_WRAPPER");
    EXPECT_EQ(p.step() + p.total_time(), 5.0);
    const int32_t npoint = 2, three = 3;
    double table[12] = {};
    conventions::Upermat block{};
    block.stressnew = table;
    block.npoint = &npoint;
    block.ndir = &three;
    block.nshr = &three;
    solver::UpermatBlock{block}.stress_new()(1, 5) = 1.0;
    EXPECT_EQ(table[5 * 2 + 1], 1.0);
}

}  // namespace
