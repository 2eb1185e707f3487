// The fixed-size path of the dense algebra (orders 1 to 6) against LAPACK and
// BLAS called directly on the same matrices: results within rounding, the
// same error records under the same conditions, and products bit-identical to
// the general loop.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decl/math.hpp"
#include "math/lapack.hpp"
#include "shared_state.hpp"

namespace {

using Vec = std::vector<double>;
using SmallMatrixTest = SharedState;
constexpr int kTrials = 1000;
constexpr double kMarker = -std::numeric_limits<double>::max();

double max_abs(const Vec &v) {
    double m = 0.0;
    for (double x : v) m = std::max(m, std::abs(x));
    return m;
}

// |a - b| relative to the larger of the two, entry by entry over the matrix.
double relative_difference(const Vec &a, const Vec &b) {
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) d = std::max(d, std::abs(a[i] - b[i]));
    return d / std::max({max_abs(a), max_abs(b), std::numeric_limits<double>::min()});
}

// A random matrix of order n with a dominant diagonal (condition number of a
// few units), and the symmetric positive-definite a^T a + n I.
Vec well_conditioned(int n, std::mt19937 &g) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vec a(n * n);
    for (double &x : a) x = u(g);
    for (int i = 0; i < n; ++i) a[i * n + i] += (u(g) < 0 ? -1.0 : 1.0) * n;
    return a;
}
Vec spd(int n, std::mt19937 &g) {
    const Vec a = well_conditioned(n, g);
    Vec s(n * n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            for (int k = 0; k < n; ++k) s[j * n + i] += a[i * n + k] * a[j * n + k];
            if (i == j) s[j * n + i] += n;
        }
    return s;
}

struct Lapack {
    static Vec inverse(Vec w, int n, int &info) {
        std::vector<int> piv(n);
        Vec work(n);
        dgetrf_(&n, &n, w.data(), &n, piv.data(), &info);
        int info2 = 0;
        dgetri_(&n, w.data(), &n, piv.data(), work.data(), &n, &info2);
        return w;
    }
    static double determinant(Vec w, int n, int &info) {
        std::vector<int> piv(n);
        dgetrf_(&n, &n, w.data(), &n, piv.data(), &info);
        double det = 1.0;
        for (int i = 0; i < n; ++i) det *= piv[i] != i + 1 ? -w[i * n + i] : w[i * n + i];
        return info != 0 ? 0.0 : det;
    }
    static bool cholesky(Vec &w, int n) {
        int info = 0;
        dpotrf_("U", &n, w.data(), &n, &info, 1);
        return info == 0;
    }
    static Vec eigenvalues(Vec w, int n) {
        Vec d(n), work(64 * n);
        int lwork = static_cast<int>(work.size()), info = 0;
        dsyev_("N", "U", &n, w.data(), &n, d.data(), work.data(), &lwork, &info, 1, 1);
        return d;
    }
};

TEST_F(SmallMatrixTest, InverseDeterminantAndCholeskyAgreeWithLapack) {
    std::mt19937 g(7);
    for (int n = 1; n <= 6; ++n)
        for (int t = 0; t < kTrials; ++t) {
            const Vec a = well_conditioned(n, g), s = spd(n, g);
            int info = 0;
            Vec inv(n * n);
            MatrixInverse(a.data(), inv.data(), &n);
            ASSERT_LT(relative_difference(inv, Lapack::inverse(a, n, info)), 1e-12) << n << " " << t;
            double det = 0.0;
            LUFactDeterminant(&det, a.data(), &n);
            const double expected = Lapack::determinant(a, n, info);
            ASSERT_LT(std::abs(det - expected), 1e-12 * std::abs(expected)) << n << " " << t;
            Vec c(n * n), u = s;
            CholeskyFactorization(s.data(), c.data(), &n);
            ASSERT_TRUE(Lapack::cholesky(u, n));
            ASSERT_LT(relative_difference(c, u), 1e-12) << n << " " << t;
            ASSERT_EQ(kestro::errorhandling::errstat, 0);
        }
}

// Order 3, by cofactors where the determinant is safely away from zero and
// by the LU factors elsewhere, within 1e-13 of LAPACK on 10,000 random
// matrices: uniform entries, rows and columns scaled over six decades, and
// nearly singular ones (a row close to a combination of the others).
TEST_F(SmallMatrixTest, OrderThreeAgreesWithLapackWithin1e13) {
    std::mt19937 g(19);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int n = 3;
    for (int t = 0; t < 10000; ++t) {
        Vec a(9);
        for (double &x : a) x = u(g);
        if (t % 3 == 1) {
            const double rows[3] = {std::pow(10.0, 3 * u(g)), std::pow(10.0, 3 * u(g)), std::pow(10.0, 3 * u(g))};
            for (int c = 0; c < 3; ++c) {
                const double column = std::pow(10.0, 3 * u(g));
                for (int r = 0; r < 3; ++r) a[c * 3 + r] *= rows[r] * column;
            }
        } else if (t % 3 == 2) {
            const double p = u(g), q = u(g), gap = std::pow(10.0, -2 - 10 * (u(g) + 1) / 2);
            for (int c = 0; c < 3; ++c) a[c * 3 + 2] = p * a[c * 3] + q * a[c * 3 + 1] + gap * u(g);
        }
        int info = 0;
        Vec inv(9);
        MatrixInverse(a.data(), inv.data(), &n);
        ASSERT_LT(relative_difference(inv, Lapack::inverse(a, n, info)), 1e-13) << t;
        double det = 0.0;
        LUFactDeterminant(&det, a.data(), &n);
        const double expected = Lapack::determinant(a, n, info);
        ASSERT_LT(std::abs(det - expected), 1e-13 * std::abs(expected)) << t;
        ASSERT_EQ(kestro::errorhandling::errstat, 0);
    }
}

TEST_F(SmallMatrixTest, EigenpairsAgreeWithLapack) {
    std::mt19937 g(11);
    for (int n = 1; n <= 6; ++n)
        for (int t = 0; t < kTrials; ++t) {
            Vec a = spd(n, g);
            for (int j = 0; j < n; ++j)  // some indefinite ones, and a lower triangle that is never read
                for (int i = j + 1; i < n; ++i) a[j * n + i] = t % 2 ? std::nan("") : -a[j * n + i];
            if (t % 3 == 0) a[0] = -a[0];
            const Vec expected = Lapack::eigenvalues(a, n);
            const double scale = std::max(1.0, max_abs(expected));
            Vec d(n), z(n * n), ev(n, -1.0);
            MatrixEigenvalues(a.data(), d.data(), &n);
            MatrixEigenVectors(a.data(), z.data(), &n, ev.data());
            for (int i = 0; i < n; ++i) {
                ASSERT_LT(std::abs(d[i] - expected[i]), 1e-12 * scale) << n << " " << t;
                ASSERT_LT(std::abs(ev[i] - expected[i]), 1e-12 * scale) << n << " " << t;
            }
            // Orthonormal columns with a z = z diag(d), a read from its upper triangle.
            for (int p = 0; p < n; ++p)
                for (int q = 0; q < n; ++q) {
                    double dot = 0.0, az = 0.0;
                    for (int k = 0; k < n; ++k) {
                        dot += z[p * n + k] * z[q * n + k];
                        az += a[std::max(q, k) * n + std::min(q, k)] * z[p * n + k];
                    }
                    ASSERT_NEAR(dot, p == q ? 1.0 : 0.0, 1e-12) << n << " " << t;
                    ASSERT_NEAR(az, z[p * n + q] * d[p], 1e-11 * scale) << n << " " << t;
                }
        }
}

TEST_F(SmallMatrixTest, GeneralProductAgreesWithBlasForEveryFlagAndShape) {
    std::mt19937 g(13);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (const char *flags : {"NN", "NT", "tN", "Tt"})
        for (int t = 0; t < kTrials; ++t) {
            const int m = 1 + t % 6, n = 1 + (t / 6) % 6, k = t % 7;  // square and oblong, k = 0 too
            const double alpha = t % 5 == 0 ? 0.0 : u(g), beta = t % 4 == 0 ? 0.0 : t % 4 == 1 ? 1.0 : u(g);
            Vec a(std::max(1, m * k)), b(std::max(1, k * n)), c(m * n);
            for (Vec *v : {&a, &b, &c})
                for (double &x : *v) x = u(g);
            Vec d(m * n), e = c;
            GeneralMatrixProduct(d.data(), &alpha, a.data(), b.data(), &beta, c.data(), &m, &n, &k, flags,
                                 flags + 1);
            const char ta = flags[0] == 'N' || flags[0] == 'n' ? 'N' : 'T';
            const char tb = flags[1] == 'N' || flags[1] == 'n' ? 'N' : 'T';
            const int lda = std::max(1, ta == 'N' ? m : k), ldb = std::max(1, tb == 'N' ? k : n);
            dgemm_(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, e.data(), &m, 1, 1);
            ASSERT_LT(relative_difference(d, e), 1e-13) << flags << " " << m << n << k;
        }
}

TEST_F(SmallMatrixTest, SquareProductsAreBitIdenticalToTheGeneralLoop) {
    std::mt19937 g(17);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    const double inf = std::numeric_limits<double>::infinity();
    for (int n = 1; n <= 6; ++n)
        for (int t = 0; t < 200; ++t) {
            Vec a(n * n), b(n * n), c(n * n), expected(n * n, 0.0);
            for (double &x : a) x = t % 3 == 0 ? std::round(u(g)) : u(g);  // exact cancellations too
            for (double &x : b) x = t % 2 == 0 ? std::round(u(g)) : u(g);  // zeros to skip
            a[t % (n * n)] = t % 5 == 0 ? inf : t % 5 == 1 ? std::nan("") : a[t % (n * n)];
            for (int j = 0; j < n; ++j)
                for (int k = 0; k < n; ++k)
                    if (b[j * n + k] != 0.0)
                        for (int i = 0; i < n; ++i) expected[j * n + i] += a[k * n + i] * b[j * n + k];
            MatrixProduct(a.data(), b.data(), c.data(), &n, &n, &n);
            for (int i = 0; i < n * n; ++i)
                ASSERT_TRUE(std::memcmp(&c[i], &expected[i], sizeof(double)) == 0) << n << " " << t << " " << i;
        }
}

TEST_F(SmallMatrixTest, SingularAndIndefiniteMatricesGiveLapacksErrorRecords) {
    const double nan = std::nan("");
    // Exactly singular at the first, a middle and the last pivot; a zero matrix.
    const std::vector<std::pair<int, Vec>> singular = {
        {2, {0, 0, 0, 0}},
        {2, {1, 2, 2, 4}},
        {3, {1, 2, 3, 2, 4, 6, 0, 1, 5}},
        {3, {1, 2, 1, 2, 4, 2, 3, 5, 3}},
        {4, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {6, Vec(36, 1.0)},
    };
    for (const auto &[n, a] : singular) {
        int info = 0;
        const Vec factors = Lapack::inverse(a, n, info);
        ASSERT_NE(info, 0);
        Vec inv(n * n);
        MatrixInverse(a.data(), inv.data(), &n);
        EXPECT_EQ(recorded(), std::string("Matrix inverse becomes numerically singular!"));
        EXPECT_LT(relative_difference(inv, factors), 1e-15) << n;  // the LU factors, as LAPACK leaves them
        reset();
        double det = 1.0;
        LUFactDeterminant(&det, a.data(), &n);
        EXPECT_EQ(det, 0.0);
        EXPECT_EQ(recorded(), std::string("Singularity in LU-factorization computation"));
        reset();
    }
    // Not positive definite: a negative or zero pivot, a NaN on or above the diagonal.
    const std::vector<std::pair<int, Vec>> indefinite = {
        {1, {-1}}, {1, {0}}, {2, {1, 2, 2, 1}}, {2, {1, 0, nan, 1}}, {3, {4, 0, 0, 2, 1, 0, 0, 0, nan}},
        {6, Vec(36, 1.0)},
    };
    for (const auto &[n, a] : indefinite) {
        Vec u = a, c(n * n);
        EXPECT_FALSE(Lapack::cholesky(u, n)) << n;
        CholeskyFactorization(a.data(), c.data(), &n);
        EXPECT_EQ(c, Vec(n * n, kMarker)) << n;
        EXPECT_EQ(kestro::errorhandling::errstat, 0);
    }
}

}  // namespace
