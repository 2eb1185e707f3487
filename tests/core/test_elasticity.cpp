// The numerical tangent from C++ with the library's own laws as the law
// argument, as the material routines pass them: the complex-anisotropic law
// by the complex step, the orthotropic law by differences.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "decl/elasticity.hpp"
#include "decl/lamina.hpp"
#include "shared_state.hpp"

namespace {

using Elasticity = SharedState;

TEST_F(Elasticity, TangentsOfTheLibrarysLaws) {
    const double ply[9] = {140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4000, 3100};
    const int32_t ntens = 6, ndi = 3, complex_step = 1, all = 36, twelve = 12;
    std::array<double, 36> c{}, ddsdde{};
    GetNyeStiffnessMatrix(c.data(), ply, &ntens, nullptr);
    const double strain[6] = {1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4};
    std::array<double, 6> stress1{};
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) stress1[i] += c[j * 6 + i] * strain[j];
    const kestro_logical1 engineering = 0;
    const auto relative_error = [&] {
        double worst = 0.0;
        for (int k = 0; k < 36; ++k) worst = std::max(worst, std::abs(ddsdde[k] - c[k]) / c[0]);
        return worst;
    };
    kestro::elasticity::getnumericaltangent(
        ddsdde.data(), reinterpret_cast<kestro_stress_law>(&cGetStressFromAnisotropicHyperelasticity), c.data(),
        stress1.data(), stress1.data(), strain, &ntens, &ndi, &all, &engineering, nullptr, nullptr, &complex_step);
    EXPECT_LT(relative_error(), 1e-13);
    const double props[12] = {140000, 9000, 9000, 4600, 4000, 3100, 0.3, 0.3, 0.45, 0, 0, 0};
    kestro::elasticity::getnumericaltangent(ddsdde.data(), &GetStressFromOrthotropicElasticity, props, stress1.data(),
                                            stress1.data(), strain, &ntens, &ndi, &twelve, &engineering, nullptr,
                                            nullptr, nullptr);
    EXPECT_LT(relative_error(), 1e-7);
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

// The isotropic resin law has the law type: its numerical tangent is the
// stiffness the split law returns, for plane stress and for six components;
// the outputs are exactly their extents, so a write past them is caught.
TEST_F(Elasticity, TheIsotropicResinLawIsAStressLaw) {
    const double props[5] = {3000, 0, 0.35, 0, 2};
    const double strain[6] = {1e-3, -2e-4, 3e-4, 1e-4, -5e-5, 2e-4};
    const int32_t nprops = 5;
    for (const int32_t ntens : {3, 6}) {
        const int32_t ndi = ntens / 2, n2 = ntens * ntens;
        std::vector<double> stress(ntens), ddsdde(n2), tangent(n2);
        GetStressFromDevVolDecomposition(stress.data(), strain, props, &ntens, &ndi, &nprops, ddsdde.data());
        const kestro_logical1 engineering = 0;
        kestro::elasticity::getnumericaltangent(tangent.data(), &GetStressFromIsotropicViscoElasticity, props,
                                                stress.data(), stress.data(), strain, &ntens, &ndi, &nprops,
                                                &engineering, nullptr, nullptr, nullptr);
        for (int32_t k = 0; k < n2; ++k) EXPECT_NEAR(tangent[k], ddsdde[k], 1e-6 * ddsdde[0]) << ntens << " " << k;
    }
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

}  // namespace
