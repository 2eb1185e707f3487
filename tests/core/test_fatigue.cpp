// Fatigue services on tables with no room to spare, under the sanitizers:
// cycle tables and cycle properties shorter than the step or row asked for.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "core/shared_data.hpp"
#include "decl/fatigue.hpp"
#include "shared_state.hpp"

namespace {

using Fatigue = SharedState;

TEST_F(Fatigue, ShortCycleTablesAreNotReadPastTheirEnds) {
    using namespace kestro::shokriehdata;
    double *table = cycles.create(2, 1);
    table[0] = 1.0;
    table[1] = 50.0;
    double *steps = cycleprops.create(1, 1);  // no row 2: not a fatigue step as far as the table goes
    steps[0] = 1.0;
    const double maxcycle = 0.0, time = 5.0, period = 1.0, zero = 0.0;
    const int32_t ncycles = 0, nmax = 9, second = 2, first = 1, table_jump = 3, on = 1;
    double njimp = 0.0, n = 1.0;
    CycleCount(&njimp, &n, &maxcycle, &time, &zero, &period, &zero, &zero, &zero, &ncycles, &nmax, &first, &first,
               &table_jump, &on);  // row min(6, 9) beyond the table's two rows
    EXPECT_EQ(n, 1.0);
    CycleCount(&njimp, &n, &maxcycle, &time, &zero, &period, &zero, &zero, &zero, &ncycles, &nmax, &second, &first,
               &table_jump, &on);  // a step the table does not hold
    EXPECT_EQ(n, 1.0);
    EXPECT_EQ(kestro::errorhandling::errstat, -2);

    std::array<double, 91> props{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000,
                                 50,     50,   1200, 200, 200, 80,   80,   60,   0.1};
    std::array<double, 77> state{}, backup{};
    state[0] = state[43] = 7.0;
    for (int k = 58; k < 73; ++k) state[k] = 1.0;
    std::array<double, 6> stress{}, strain{0.001, 0, 0, 0, 0, 0}, dstrain{};
    std::array<double, 36> tangent{};
    const std::array<double, 2> times{0, 0};
    const int32_t count = 91, noel = 1, kinc = 1, solid = 1, cyclic = 0;
    for (const int32_t step : {1, 2, 0}) {
        GetShokrieh(stress.data(), tangent.data(), state.data(), strain.data(), dstrain.data(), props.data(),
                    times.data(), &zero, &zero, &zero, &count, &noel, &step, &kinc, &solid, &cyclic, backup.data());
        EXPECT_EQ(state[0], 7.0) << step;  // the cycle properties do not mark a fatigue step
    }
    EXPECT_NEAR(stress[0], tangent[0] * 0.001, 1e-9);
    cycles.drop();
    cycleprops.drop();
}

}  // namespace
