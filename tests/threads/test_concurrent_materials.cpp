// The material entries that solvers run on several threads at once: four
// threads start each phase together on blocks that are served or refused
// (refusals record into the one error record, cleared between phases), and
// every result is bit for bit the one a single thread gives.  make test runs
// this also under ThreadSanitizer, where any race fails it.
#include <gtest/gtest.h>

#include <barrier>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "decl/toplevel.hpp"
#include "solver/convention.hpp"

namespace {

using namespace kestro;
using Values = std::vector<double>;

constexpr int kThreads = 4, kPhases = 5000, kPoints = 2;

// FNV-1a over the bits of the outputs.
uint64_t bits(std::initializer_list<const Values *> outputs) {
    uint64_t h = 14695981039346656037ull;
    for (const Values *v : outputs)
        for (double x : *v) {
            uint64_t u;
            std::memcpy(&u, &x, sizeof u);
            for (int k = 0; k < 8; ++k) h = (h ^ ((u >> (8 * k)) & 0xff)) * 1099511628211ull;
        }
    return h;
}

// A block of kPoints explicit points, strained by `scale` along 11 and 12.
template <class Entry>
uint64_t vumat(Entry entry, int32_t nshr, int32_t nstatev, const Values &props, double scale) {
    const int32_t n = kPoints, ndir = 3, nfieldv = 0, nprops = static_cast<int32_t>(props.size()), ncomp = 3 + nshr;
    const double totaltime = 1.0, dt = 1e-6;
    Values increment(n * ncomp, 0.0), stressold(n * ncomp, 0.0), state(n * nstatev, 0.0), lengths(3 * n, 0.5);
    Values ones(n, 1.0), stressnew(n * ncomp), statenew(n * nstatev), internal(n), inelastic(n);
    for (int j = 0; j < n; ++j) {
        increment[j] = scale * (j + 1), increment[3 * n + j] = -0.5 * scale;
        if (nstatev > 18) state[18 * n + j] = 1.0;
    }
    conventions::Vumat b{};
    b.nblock = &n, b.ndir = &ndir, b.nshr = &nshr, b.nstatev = &nstatev, b.nfieldv = &nfieldv, b.nprops = &nprops;
    b.totaltime = &totaltime, b.dt = &dt, b.props = props.data(), b.charlength = lengths.data();
    b.density = ones.data(), b.straininc = increment.data(), b.stressold = stressold.data();
    b.stateold = state.data(), b.enerinternold = b.enerinelasold = internal.data();
    b.stressnew = stressnew.data(), b.statenew = statenew.data(), b.enerinternnew = internal.data();
    b.enerinelasnew = inelastic.data(), b.cmname = solver::kWrapperName.data(), b.cmname_len = solver::kNameLength;
    conventions::call(entry, b);
    return bits({&stressnew, &statenew, &internal, &inelastic, &increment});
}

// One implicit point of ntens components strained by `scale`.
template <class Entry>
uint64_t umat(Entry entry, int32_t ntens, int32_t nstatv, const Values &props, double scale) {
    const int32_t ndi = 3, nshr = ntens - 3, nprops = static_cast<int32_t>(props.size()), one = 1;
    const int32_t jstep[4] = {1, 1, 1, 0};
    const double time[2] = {0.5, 0.5}, dtime = 0.1, eye[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, zero6[6] = {};
    Values stress(ntens, 0.0), statev(nstatv, 0.0), ddsdde(ntens * ntens, 0.0), dstran(ntens, 0.0), energy(4, 0.0);
    dstran[0] = scale, dstran[ntens - 1] = 2.0 * scale;
    double ddsddt[6] = {}, drplde[6] = {}, pnewdt = 1.0;
    conventions::Umat u{stress.data(), statev.data(), ddsdde.data(), &energy[0], &energy[1], &energy[2], &energy[3],
                        ddsddt, drplde, &energy[3], zero6, dstran.data(), time, &dtime, &dtime, &dtime, zero6, zero6,
                        solver::kWrapperName.data(), &ndi, &nshr, &ntens, &nstatv, props.data(), &nprops, zero6,
                        eye, &pnewdt, &dtime, eye, eye, &one, &one, &one, &one, jstep, &one, solver::kNameLength};
    conventions::call(entry, u);
    return bits({&stress, &statev, &ddsdde, &energy});
}

const Values kCartesian{140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.45, 0.3, 2000, 50, 50, -1200, -200,
                        -200,   80,   80,   60,   120000, 10000, 10, 5000, 0, 0, 100, 10, 0.2, 1.0, 0.3, 0,
                        0,      0,    1,    2,    0,    0,    1,  0,    0};
const Values kBogenfeld{140000, 9000, 9000, 4600, 4600, 3100, 0.3, 0.3, 0.45, 2000, 500, 0,   -1200, -800, 0,
                        500,    500,  0,    0,    0,    0,    0,   0,   0,    50,   30,  0.2, 2,     0.8};
const Values kResin{20, 3000, 0.35, 0.5, 1, 0.1, 50, 100, 2, 1, -0.1};
const Values kPly{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100};
const Values kShokrieh = [] {
    Values p{140000, 9000, 9000, 0.3, 0.3, 0.45, 4600, 4600, 3100, 2000, 50, 50, 1200, 200, 200, 80, 80, 60, 0.1};
    p.resize(149, 0.0);
    p[148] = 30.0;  // a woven layer
    return p;
}();

// The cases, served and refused in turn; phase p strains by a p-dependent amount.
using Case = uint64_t (*)(double);
const Case kCases[] = {
    [](double s) { return vumat(toplevel::vumat_cartesian, 3, 82, kCartesian, s); },
    [](double s) { return vumat(toplevel::vumat_cartesian, 3, 40, kCartesian, s); },  // too few states
    [](double s) { return vumat(toplevel::vumat_bogenfeld, 3, 47, kBogenfeld, s); },
    [](double s) { return vumat(toplevel::vumat_bogenfeld, 1, 47, kBogenfeld, s); },  // a shell point
    [](double s) { return umat(toplevel::umat_shokrieh, 6, 312, kShokrieh, s); },
    [](double s) { return umat(toplevel::umat_shokrieh, 6, 311, kShokrieh, s); },  // too few states
    [](double s) { return umat(toplevel::umat_resin, 6, 22, kResin, s); },
    [](double s) { return umat(toplevel::umat_resin, 5, 22, kResin, s); },  // five components
    [](double s) { return vumat(toplevel::vumat_lamina, 3, 1, kPly, s); },
};
constexpr int kCount = sizeof kCases / sizeof *kCases;

// Every fourth phase all threads run one case, the others run different ones.
uint64_t job(int phase, int thread) {
    return kCases[(phase + thread * (phase % 4)) % kCount](1e-4 * (1 + phase % 97));
}

void clear_record() noexcept {
    int32_t reset = 0;
    const int8_t yes = 1;
    errorhandling::rsxerr(&reset, &yes);
}

TEST(ConcurrentMaterials, FourThreadsGiveTheBitsOfOne) {
    materialdata::modelid = 1;
    std::vector<uint64_t> serial(kPhases * kThreads), threaded(kPhases * kThreads);
    for (int p = 0; p < kPhases; ++p)
        for (int t = 0; t < kThreads; ++t) serial[p * kThreads + t] = job(p, t);
    clear_record();
    std::barrier start(kThreads, clear_record);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int p = 0; p < kPhases; ++p) {
                start.arrive_and_wait();
                threaded[p * kThreads + t] = job(p, t);
            }
        });
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(threaded, serial);
    // The last phase's refusals: one of them holds the record, whole.
    const std::string message(errorhandling::errstring, 36);
    EXPECT_EQ(errorhandling::errstat, -2);
    EXPECT_TRUE(message.starts_with("Unsupported dimension in ")) << message;
    EXPECT_TRUE(errorhandling::errintv.exists() && errorhandling::errasciim.exists());
    clear_record();
    materialdata::modelid = 0;
}

}  // namespace
