// Module math: the exact extent of every write (guard entries after each result,
// inputs of exact size on the heap so that overreads show), empty and negative
// extents, work arrays on both sides of the stack/heap switch, aliasing, the
// error record and the optional arguments of the dense algebra.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "decl/math.hpp"
#include "guard_buffer.hpp"
#include "shared_state.hpp"

namespace {

using Vec = std::vector<double>;
using namespace kestro::errorhandling;
using MathErrorTest = SharedState;

constexpr double kFill = -7.25e77;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Out = kestro_test::Out<double, kFill>;

Vec random_vec(int n, std::mt19937 &g) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vec v(n);
    for (double &x : v) x = u(g);
    return v;
}

// c(l,m) = a(l,n) b(n,m) and the transpose of a(rows,cols), column-major.
Vec product(const Vec &a, const Vec &b, int l, int n, int m) {
    Vec c(l * m, 0.0);
    for (int j = 0; j < m; ++j)
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < l; ++i) c[j * l + i] += a[k * l + i] * b[j * n + k];
    return c;
}
Vec transpose(const Vec &a, int rows, int cols) {
    Vec t(a.size());
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) t[i * cols + j] = a[j * rows + i];
    return t;
}
Vec identity(int n) {
    Vec e(n * n, 0.0);
    for (int i = 0; i < n; ++i) e[i * n + i] = 1.0;
    return e;
}
double max_diff(const Vec &a, const Vec &b) {
    double d = a.size() == b.size() ? 0.0 : 1e300;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}
bool same(const Vec &a, const Vec &b) {  // NaN equal to NaN
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); });
}

// H diag(1, 2, .., n) H with H = I - 2 v v^T, |v| = 1: symmetric positive definite, eigenvalues 1 to n.
Vec spd_with_eigenvalues_1_to_n(int32_t n, std::mt19937 &g) {
    Vec v = random_vec(n, g), h(n * n), d(n * n, 0.0);
    const double len = std::sqrt(std::inner_product(v.begin(), v.end(), v.begin(), 0.0));
    for (double &x : v) x /= len;
    GetHouseHolderTransformationMatrix(h.data(), v.data(), &n);
    for (int i = 0; i < n; ++i) d[i * n + i] = i + 1.0;
    return product(product(h, d, n, n, n), h, n, n, n);
}

std::string recorded_message() { return {errstring, sizeof errstring}; }
std::string msg80(const std::string &text) { return text + std::string(80 - text.size(), ' '); }

// ---------------------------------------------------------------- arithmetic

TEST(MathArithmetic, ProductsAndServicesWriteExactlyTheirExtents) {
    std::mt19937 g(11);
    for (const auto &[l, n, m] : std::vector<std::array<int32_t, 3>>{{1, 1, 1}, {2, 3, 4}, {5, 1, 3}, {3, 4, 1}}) {
        Vec a = random_vec(l * n, g), b = random_vec(n * m, g), x = random_vec(n, g), y = random_vec(l, g);
        b[0] = a.back() = 0.0;  // MatrixProduct skips zeros of b; Hadamard keeps zeros
        const Vec a0 = a, b0 = b, x0 = x, y0 = y;
        Out c(l * m), cv(l), vc(n), dy(l * n), kr(l * n * n * m), hp(l * n), hd(l * n), tr(l * n), cs(n), cp(n);
        const double seed = 2.0;
        MatrixProduct(a.data(), b.data(), c.data(), &l, &n, &m);
        MatrixVectorProduct(a.data(), x.data(), cv.data(), &l, &n);
        VectorMatrixProduct(y.data(), a.data(), vc.data(), &n, &l);
        DyadenProduct(y.data(), x.data(), dy.data(), &l, &n);
        KroneckerProduct(a.data(), b.data(), kr.data(), &l, &n, &n, &m);
        HadamardProduct(a.data(), a0.data(), hp.data(), &l, &n);
        HadamardDivision(a.data(), a0.data(), hd.data(), &l, &n);
        MatrixTranspose(a.data(), tr.data(), &l, &n);
        CumulativeSum(cs.data(), x.data(), &n, &seed);
        CumulativeProduct(cp.data(), x.data(), &n, nullptr);
        for (const Out *o : {&c, &cv, &vc, &dy, &kr, &hp, &hd, &tr, &cs, &cp}) EXPECT_TRUE(o->guards_intact());
        EXPECT_LT(max_diff(c.body(), product(a, b, l, n, m)), 1e-14);
        EXPECT_LT(max_diff(cv.body(), product(a, x, l, n, 1)), 1e-14);
        EXPECT_LT(max_diff(vc.body(), product(y, a, 1, l, n)), 1e-14);
        EXPECT_EQ(dy.body(), product(y, x, l, 1, n));
        EXPECT_EQ(tr.body(), transpose(a, l, n));
        for (int q = 0; q < n * m; ++q)  // block (i,j) of the Kronecker product is a(i,j) b
            for (int p = 0; p < l * n; ++p)
                EXPECT_EQ(kr[((p / l) * m + q / n) * l * n + (p % l) * n + q % n], a[p] * b[q]);
        for (int i = 0; i < l * n; ++i) EXPECT_TRUE(hp[i] == a[i] * a[i] && hd[i] == (a[i] == 0.0 ? 0.0 : 1.0));
        for (int i = 0; i < n; ++i) {
            EXPECT_DOUBLE_EQ(cs[i], std::accumulate(x.begin(), x.begin() + i + 1, seed));
            EXPECT_DOUBLE_EQ(cp[i], std::accumulate(x.begin(), x.begin() + i + 1, 1.0, std::multiplies<>()));
        }
        EXPECT_TRUE(a == a0 && b == b0 && x == x0 && y == y0);
    }

    const int32_t n = 4, six = 6, two = 2, three = 3;
    const Vec a = random_vec(n * n, g), x = random_vec(n, g);
    Vec packed, full(n * n);  // upper triangle row by row, and the symmetric matrix it stands for
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j) packed.push_back(full[j * n + i] = full[i * n + j] = a[j * n + i]);
    packed.shrink_to_fit();  // exact size, so that an overread shows
    const auto np = static_cast<int32_t>(packed.size());
    Out lu(n), sy(n * n), vn(6), mn(6);
    LUMatrixVectorProduct(packed.data(), x.data(), lu.data(), &np, &n);
    MatrixSymmetrize(a.data(), sy.data(), &n);
    EXPECT_LT(max_diff(lu.body(), product(full, x, n, n, 1)), 1e-14);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) EXPECT_EQ(sy[j * n + i], (a[j * n + i] + a[i * n + j]) * 0.5);
    for (int32_t k = -n - 1; k <= n + 1; ++k) {  // the diagonal c - r = k of a
        Out d(n - std::abs(k));
        MatrixDiagonal(d.data(), a.data(), &k, &n);
        EXPECT_TRUE(d.guards_intact()) << k;
        for (int i = 0; i < d.n; ++i) EXPECT_EQ(d[i], k >= 0 ? a[(i + k) * n + i] : a[i * n + i - k]) << k;
    }
    EXPECT_DOUBLE_EQ(Trace(a.data(), &n), a[0] + a[5] + a[10] + a[15]);
    const Vec raw = {3.0, kNaN, -1.0, 1.0, 7.0, 0.0};  // NaN is ignored for min and max
    VectorNormalize(raw.data(), vn.data(), &six);
    MatrixNormalize(raw.data(), mn.data(), &two, &three);
    Vec scaled = raw;
    for (double &r : scaled) r = (r + 1.0) / 8.0;
    EXPECT_TRUE(same(vn.body(), scaled) && same(mn.body(), scaled));
    for (const Out *o : {&lu, &sy, &vn, &mn}) EXPECT_TRUE(o->guards_intact());

    // In-place updates of an array exactly eight long.
    const Vec b = random_vec(8, g);
    const double twice = -2.0, minus = -1.0, inf = std::numeric_limits<double>::infinity();
    const int32_t eight = 8;
    Out u(8);
    std::copy(b.begin(), b.end(), u.v.begin());
    VectorSum(u.data(), b.data(), &eight);                             // 2b
    MatrixSub(u.data(), b.data(), &n, &two);                           // b
    VectorScalarMultiplication(u.data(), b.data(), &twice, &eight);    // -b
    MatrixScalarMultiplication(u.data(), b.data(), &twice, &two, &n);  // -3b
    VectorAmplify(u.data(), &minus, &eight);                           // 3b
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(u[i], 3.0 * b[i], 1e-15) << i;
    u.v[3] = 0.0;
    MatrixAmplify(u.data(), &inf, &two, &n);  // zeros stay zeros, never NaN
    for (int i = 0; i < 8; ++i) EXPECT_EQ(u[i], i == 3 ? 0.0 : std::copysign(inf, b[i])) << i;
    EXPECT_TRUE(u.guards_intact());
}

TEST(MathArithmetic, ResultsMayShareTheArrayOfAnInput) {
    const Vec a0 = {1.0, 2.0, 3.0}, b0 = {-4.0, 0.5, 2.0};
    const Vec axb = {2.0 * 2.0 - 3.0 * 0.5, 3.0 * -4.0 - 1.0 * 2.0, 1.0 * 0.5 - 2.0 * -4.0};
    Vec a = a0, b = b0;
    CrossProduct(a.data(), b.data(), a.data());
    CrossProduct(a0.data(), b.data(), b.data());
    EXPECT_TRUE(a == axb && b == axb);
    const int32_t three = 3, one = 1;
    const double half = 0.5;
    Vec v = a0;
    VectorSum(v.data(), v.data(), &three);
    EXPECT_EQ(v, (Vec{2.0, 4.0, 6.0}));
    MatrixScalarMultiplication(v.data(), v.data(), &half, &one, &three);
    EXPECT_EQ(v, (Vec{3.0, 6.0, 9.0}));
    VectorSub(v.data(), v.data(), &three);
    EXPECT_EQ(v, (Vec{0.0, 0.0, 0.0}));
}

TEST_F(MathErrorTest, EmptyAndNegativeExtentsWriteNothing) {
    const auto none = std::make_unique<double[]>(0);  // any read of it shows under AddressSanitizer
    const double *in = none.get();
    const int32_t two = 2, three = 3, k0 = 0;
    const double alpha = 1.0, beta = -2.0;
    const Vec c6 = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
    for (const int32_t e : {0, -3}) {
        Out o(0), ev(0), vec(0);
        double *out = o.data(), lambda = 9.0, s = 9.0, lud = 9.0, pd = 9.0;
        MatrixProduct(in, in, out, &e, &e, &e);
        MatrixVectorProduct(in, in, out, &e, &e);
        VectorMatrixProduct(in, in, out, &e, &e);
        LUMatrixVectorProduct(in, in, out, &e, &e);
        DyadenProduct(in, in, out, &e, &e);
        KroneckerProduct(in, in, out, &two, &two, &two, &e);
        HadamardProduct(in, in, out, &e, &e);
        VectorSum(out, in, &e);
        MatrixSum(out, in, &e, &e);
        VectorScalarMultiplication(out, in, &alpha, &e);
        MatrixAmplify(out, &beta, &e, &e);
        MatrixSymmetrize(in, out, &e);
        MatrixDiagonal(out, in, &k0, &e);
        MatrixTranspose(in, out, &e, &e);
        MatrixNormalize(in, out, &e, &e);
        CumulativeSum(out, in, &e, nullptr);
        GetHouseHolderTransformationMatrix(out, in, &e);
        MatrixInverse(in, out, &e);
        MatrixEigenvalues(in, out, &e);
        MatrixEigenVectors(in, out, &e, ev.data());
        CholeskyFactorization(in, out, &e);
        SingularValueDecomposition(in, out, out, out, &e, &e);
        ConjugateGradient(out, in, in, in, &e, &e);
        PowerIteration(&lambda, vec.data(), in, &e, nullptr, nullptr, nullptr);
        for (const char *flags : {"NN", "TT"}) {
            GeneralMatrixProduct(out, &alpha, in, in, &beta, in, &e, &e, &e, flags, flags + 1);
            GeneralMatrixProduct(out, &alpha, in, in, &beta, in, &e, &three, &two, flags, flags + 1);
            GeneralMatrixProduct(out, &alpha, in, in, &beta, in, &three, &e, &two, flags, flags + 1);
        }
        for (const Out *x : {&o, &ev, &vec}) EXPECT_TRUE(x->untouched()) << e;
        DotProduct(in, in, &s, &e);
        LUFactDeterminant(&lud, in, &e);
        Determinant(&pd, in, &e, nullptr);
        EXPECT_TRUE(s == 0.0 && Trace(in, &e) == 0.0 && lambda == 0.0 && std::isfinite(pd));
        EXPECT_EQ(lud, 1.0);  // the empty product

        // Only the other extents are written: zeros where the empty one leaves room.
        Out c(6), cv(2), vc(2), u(4), sv(0), v(9);
        MatrixProduct(in, in, c.data(), &two, &e, &three);
        MatrixVectorProduct(in, in, cv.data(), &two, &e);
        VectorMatrixProduct(in, in, vc.data(), &two, &e);
        SingularValueDecomposition(in, u.data(), sv.data(), v.data(), &two, &e);
        SingularValueDecomposition(in, sv.data(), sv.data(), v.data(), &e, &three);
        for (const Out *x : {&c, &cv, &vc, &u, &v}) EXPECT_TRUE(x->body() == Vec(x->n, 0.0) && x->guards_intact());
        EXPECT_TRUE(sv.untouched());
        for (const char *flags : {"NN", "TT", "nx"}) {  // an empty inner extent: d = beta c, a and b unread
            Out d(6);
            GeneralMatrixProduct(d.data(), &alpha, in, in, &beta, c6.data(), &two, &three, &e, flags, flags + 1);
            EXPECT_EQ(d.body(), (Vec{-2.0, -4.0, -6.0, -8.0, -10.0, -12.0})) << flags;
            EXPECT_TRUE(d.guards_intact());
        }
    }
    EXPECT_EQ(errstat, 0);
}

// ---------------------------------------------------------------- dense algebra

TEST(MathLinalg, GeneralMatrixProductTakesAnyFlagButNForTheTranspose) {
    std::mt19937 g(21);
    const int32_t m = 3, n = 4, k = 2;
    const double alpha = 1.5, beta = -0.5;
    const Vec a = random_vec(m * k, g), b = random_vec(k * n, g), c = random_vec(m * n, g), a0 = a, b0 = b, c0 = c;
    for (const char *sa : {"N", "n", "T", "t", "x"})
        for (const char *sb : {"N", "n", "T", "t", "x"}) {
            const bool ta = *sa != 'N' && *sa != 'n', tb = *sb != 'N' && *sb != 'n';  // a k x m, b n x k
            Vec want = product(ta ? transpose(a, k, m) : a, tb ? transpose(b, n, k) : b, m, k, n);
            for (size_t i = 0; i < want.size(); ++i) want[i] = alpha * want[i] + beta * c[i];
            Out d(m * n);
            GeneralMatrixProduct(d.data(), &alpha, a.data(), b.data(), &beta, c.data(), &m, &n, &k, sa, sb);
            EXPECT_TRUE(d.guards_intact());
            EXPECT_LT(max_diff(d.body(), want), 1e-14) << sa << sb;
        }
    EXPECT_TRUE(a == a0 && b == b0 && c == c0);
}

TEST(MathLinalg, WorkArraysOnEitherSideOfTheStackHeapSwitchAgree) {
    std::mt19937 g(22);
    for (const int32_t n : {1, 3, 22, 23, 30}) {  // 23 x 23 = 529 entries no longer fit on the stack
        Vec a = random_vec(n * n, g);
        for (int i = 0; i < n; ++i) a[i * n + i] += n;
        const Vec a0 = a;
        Out inv(n * n);
        MatrixInverse(a.data(), inv.data(), &n);
        EXPECT_LT(max_diff(product(a, inv.body(), n, n, n), identity(n)), 1e-9) << n;
        EXPECT_TRUE(inv.guards_intact() && a == a0);

        const Vec s = spd_with_eigenvalues_1_to_n(n, g);
        Vec upper = s, lambdas(n);  // the eigen routines read the upper triangle only
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i) upper[j * n + i] = kNaN;
        const Vec u0 = upper;
        std::iota(lambdas.begin(), lambdas.end(), 1.0);
        Out d(n), z(n * n), ev(n), ch(n * n);
        std::fill_n(ev.data(), n, -1.0);
        MatrixEigenvalues(upper.data(), d.data(), &n);
        MatrixEigenVectors(upper.data(), z.data(), &n, ev.data());
        CholeskyFactorization(s.data(), ch.data(), &n);
        double det = 0.0;
        LUFactDeterminant(&det, s.data(), &n);
        EXPECT_LT(max_diff(d.body(), lambdas), 1e-9) << n;
        EXPECT_LT(max_diff(ev.body(), lambdas), 1e-9) << n;
        Vec zl = z.body();
        for (size_t i = 0; i < zl.size(); ++i) zl[i] *= lambdas[i / n];
        EXPECT_LT(max_diff(product(s, z.body(), n, n, n), zl), 1e-9) << n;
        EXPECT_LT(max_diff(product(transpose(z.body(), n, n), z.body(), n, n, n), identity(n)), 1e-9) << n;
        Vec factor = ch.body();  // U above, the strict lower triangle of s below
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i) {
                EXPECT_EQ(ch[j * n + i], s[j * n + i]);
                factor[j * n + i] = 0.0;
            }
        EXPECT_LT(max_diff(product(transpose(factor, n, n), factor, n, n, n), s), 1e-9) << n;
        EXPECT_NEAR(det / std::tgamma(n + 1.0), 1.0, 1e-9) << n;
        for (const Out *o : {&d, &z, &ev, &ch}) EXPECT_TRUE(o->guards_intact()) << n;
        EXPECT_TRUE(same(upper, u0));

        for (const auto &[r, c] : {std::pair{n, n + 2}, std::pair{n + 2, n}}) {  // a = u s v, v by rows
            const Vec x = random_vec(r * c, g);
            Out u(r * r), sv(r * c), v(c * c);
            SingularValueDecomposition(x.data(), u.data(), sv.data(), v.data(), &r, &c);
            EXPECT_LT(max_diff(product(product(u.body(), sv.body(), r, r, c), v.body(), r, c, c), x), 1e-9);
            EXPECT_LT(max_diff(product(transpose(u.body(), r, r), u.body(), r, r, r), identity(r)), 1e-9);
            EXPECT_LT(max_diff(product(v.body(), transpose(v.body(), c, c), c, c, c), identity(c)), 1e-9);
            for (int j = 0; j < c; ++j)
                for (int i = 0; i < r; ++i)
                    EXPECT_TRUE(i != j ? sv[j * r + i] == 0.0
                                       : sv[j * r + i] >= 0.0 && (i == 0 || sv[j * r + i] <= sv[(j - 1) * r + i - 1]));
            for (const Out *o : {&u, &sv, &v}) EXPECT_TRUE(o->guards_intact()) << r << "x" << c;
        }
    }
}

TEST(MathLinalg, EigenvaluesOnlyOnRequestAndCholeskyPresetWhenIndefinite) {
    const int32_t n = 2;
    const Vec a = {2.0, 1.0, 1.0, 2.0}, indefinite = {1.0, 2.0, 2.0, 1.0};  // eigenvalues 1, 3 and -1, 3
    Out z(4), keep(2), take(2), c(4);
    keep.v[0] = take.v[0] = take.v[1] = -1.0;
    keep.v[1] = 0.0;  // not below zero: no request
    MatrixEigenVectors(a.data(), z.data(), &n, keep.data());
    MatrixEigenVectors(a.data(), z.data(), &n, take.data());
    MatrixEigenVectors(a.data(), z.data(), &n, nullptr);
    CholeskyFactorization(indefinite.data(), c.data(), &n);
    EXPECT_EQ(keep.body(), (Vec{-1.0, 0.0}));
    EXPECT_LT(max_diff(take.body(), Vec{1.0, 3.0}), 1e-14);
    EXPECT_EQ(c.body(), Vec(4, -std::numeric_limits<double>::max()));
    for (const Out *o : {&z, &keep, &take, &c}) EXPECT_TRUE(o->guards_intact());
}

TEST_F(MathErrorTest, FirstSingularityIsKeptWithItsContext) {
    const int32_t n = 2;
    const Vec a = {1.0, 2.0, 2.0, 4.0};
    Out inv(4);
    double det = 5.0;
    MatrixInverse(a.data(), inv.data(), &n);
    LUFactDeterminant(&det, a.data(), &n);
    EXPECT_EQ(inv.body(), (Vec{2.0, 0.5, 4.0, 0.0}));  // the LU factors, rows swapped
    EXPECT_TRUE(inv.guards_intact());
    EXPECT_EQ(det, 0.0);
    EXPECT_EQ(errstat, -2);
    EXPECT_EQ(recorded_message(), msg80("Matrix inverse becomes numerically singular!"));
    ASSERT_EQ(shape(errintv), (std::vector<int64_t>{2}));
    ASSERT_EQ(shape(errrealv), (std::vector<int64_t>{2}));
    ASSERT_EQ(shape(errasciim), (std::vector<int64_t>{8, 2}));
    EXPECT_TRUE(errintv(1) == 0 && errintv(2) == 0 && errrealv(1) == 0.0 && errrealv(2) == 0.0);
    for (int j = 1; j <= 2; ++j)
        for (int i = 1; i <= 8; ++i) EXPECT_EQ(errasciim(i, j), ' ');
    reset();
    LUFactDeterminant(&det, a.data(), &n);
    EXPECT_EQ(recorded_message(), msg80("Singularity in LU-factorization computation"));
}

TEST_F(MathErrorTest, PowerIterationPassLimitAndDefaults) {
    const int32_t n = 2, zero = 0, limit = 2000, fewer = 1999;
    const std::string no_convergence = msg80("No convergence in von Mises eigenvalue computation");
    const Vec a = {2.0, 1.0, 1.0, 3.0}, start = {1.0, 2.0}, ones = {1.0, 1.0};
    const Vec flip = {-3.0, 0.0, 0.0, 1.0}, slow = {1.0, 0.0, 0.0, 0.999};
    const double tol = 1e-10, loose = 1e-3;
    double l1 = 0.0, l2 = 0.0, l3 = 0.0;
    Out v1(2), v2(2), v3(2);
    // No pass: the start vector x stands, with x^T a x as the eigenvalue.
    PowerIteration(&l1, v1.data(), a.data(), &n, &zero, start.data(), nullptr);
    EXPECT_TRUE(l1 == 18.0 && v1.body() == start);
    EXPECT_EQ(recorded_message(), no_convergence);
    reset();

    PowerIteration(&l1, v1.data(), a.data(), &n, nullptr, nullptr, nullptr);
    PowerIteration(&l2, v2.data(), a.data(), &n, nullptr, ones.data(), &tol);
    PowerIteration(&l3, v3.data(), a.data(), &n, nullptr, ones.data(), &loose);
    EXPECT_TRUE(l1 == l2 && v1.body() == v2.body());
    EXPECT_NE(v1.body(), v3.body());
    const double phi = (1.0 + std::sqrt(5.0)) / 2.0, len = std::sqrt(1.0 + phi * phi);
    EXPECT_NEAR(l1, 1.0 + phi * phi, 1e-12);
    EXPECT_LT(max_diff(v1.body(), Vec{1.0 / len, phi / len}), 1e-9);
    PowerIteration(&l1, v1.data(), flip.data(), &n, nullptr, nullptr, nullptr);  // the iterate flips sign
    EXPECT_NEAR(l1, -3.0, 1e-12);
    EXPECT_EQ(errstat, 0);

    // Too slow for 2000 passes: no limit given stops exactly where 2000 does.
    PowerIteration(&l1, v1.data(), slow.data(), &n, nullptr, nullptr, nullptr);
    EXPECT_EQ(recorded_message(), no_convergence);
    PowerIteration(&l2, v2.data(), slow.data(), &n, &limit, nullptr, nullptr);
    PowerIteration(&l3, v3.data(), slow.data(), &n, &fewer, nullptr, nullptr);
    EXPECT_TRUE(l1 == l2 && v1.body() == v2.body());
    EXPECT_NE(v1.body(), v3.body());
    EXPECT_NEAR(v1[1] / v1[0], std::pow(0.999, 2000), 1e-11);
    for (const Out *o : {&v1, &v2, &v3}) EXPECT_TRUE(o->guards_intact());
}

TEST(MathDeterminant, WeightedLaplaceExpansionMatchesBruteForce) {
    std::mt19937 g(41);
    for (int32_t n = 1; n <= 5; ++n) {
        const Vec a = random_vec(n * n, g);
        for (const int32_t w : {-1, 1, 2, -3}) {
            // Sum over permutations s of w^inversions(s) a(1,s(1)) .. a(n,s(n)).
            std::vector<int> s(n);
            std::iota(s.begin(), s.end(), 0);
            double want = 0.0, scale = 0.0, pd = 0.0, pd_default = 0.0, lud = 0.0;
            do {
                int inversions = 0;
                double term = 1.0;
                for (int k = 0; k < n; ++k) {
                    term *= a[s[k] * n + k];
                    for (int l = k + 1; l < n; ++l) inversions += s[l] < s[k] ? 1 : 0;
                }
                want += std::pow(w, inversions) * term;
                scale += std::abs(std::pow(w, inversions) * term);
            } while (std::next_permutation(s.begin(), s.end()));
            Determinant(&pd, a.data(), &n, &w);
            EXPECT_NEAR(pd, want, 1e-14 * scale) << n << " " << w;
            if (w != -1) continue;
            Determinant(&pd_default, a.data(), &n, nullptr);
            LUFactDeterminant(&lud, a.data(), &n);
            EXPECT_EQ(pd_default, pd);
            EXPECT_NEAR(lud, pd, 1e-14 * scale);
        }
    }
}

TEST(MathConjugateGradient, SolvesKeepsAnExactStartAndStaysInsideA) {
    const int32_t n = 4, two = 2, three = 3;
    const Vec a = {4, 1, 0, 0, 1, 5, 2, 0, 0, 2, 6, 1, 0, 0, 1, 3}, x = {1.0, -2.0, 3.0, 0.5};
    const Vec b = product(a, x, n, n, 1), zero(4, 0.0);  // exact in binary
    Out xg(n), from_zero(n), t(2), w(3);
    ConjugateGradient(xg.data(), a.data(), b.data(), x.data(), &n, &n);
    ConjugateGradient(from_zero.data(), a.data(), b.data(), zero.data(), &n, &n);
    EXPECT_EQ(xg.body(), x);
    EXPECT_LT(max_diff(from_zero.body(), x), 1e-9);
    // a with 3 rows and 2 columns: the leading 2 x 2 block is solved.
    const Vec tall = {4, 1, 9, 1, 3, 9}, b2 = {1.0, 2.0}, x2 = {0.0, 0.0};
    ConjugateGradient(t.data(), tall.data(), b2.data(), x2.data(), &three, &two);
    EXPECT_LT(max_diff(t.body(), Vec{1.0 / 11.0, 7.0 / 11.0}), 1e-12);
    // a with 2 rows and 3 columns: only the extents of the reads and writes are checked.
    const Vec wide = {4, 1, 1, 3, 0, 0}, b3 = {1.0, 2.0, 3.0}, x3 = {0.0, 0.0, 0.0};
    ConjugateGradient(w.data(), wide.data(), b3.data(), x3.data(), &two, &three);
    // The leading 2 x 2 block is solved and the third entry keeps its start value.
    EXPECT_LT(max_diff(w.body(), Vec{1.0 / 11.0, 7.0 / 11.0, 0.0}), 1e-12);
    for (const Out *o : {&xg, &from_zero, &t, &w}) EXPECT_TRUE(o->guards_intact());
}

TEST_F(MathErrorTest, NaNIsNotConvergenceAndMinorsTakeEveryValue) {
    // An iteration whose change is not a number has not converged.
    const int32_t one = 1;
    const double nan_matrix = std::numeric_limits<double>::quiet_NaN();
    double lambda = 0.0, vec = 0.0;
    PowerIteration(&lambda, &vec, &nan_matrix, &one, nullptr, nullptr, nullptr);
    EXPECT_EQ(recorded_message(), msg80("No convergence in von Mises eigenvalue computation"));
    reset();
    // The largest negative value is an entry like any other in a minor.
    const double lo = -std::numeric_limits<double>::max();
    const double sm[4] = {lo, 2.0, 1.0, 3.0};
    const int32_t two = 2, i = 2, j = 2;
    EXPECT_EQ(GetFirstMinor(sm, &i, &j, &two), lo);
    // An empty matrix has no principal minor to read.
    const auto empty = std::make_unique<double[]>(0);
    const int32_t zero = 0;
    EXPECT_EQ(GetPrincipleMinor(empty.get(), &one, &zero), 0.0);
}

TEST(MathMinors, FirstAndPrincipalMinorsMatchExplicitSubmatrices) {
    std::mt19937 g(51);
    const int32_t k = 5, four = 4;
    const Vec sm = random_vec(k * k, g), sm0 = sm;
    for (int32_t i = 1; i <= k; ++i) {
        Vec lead;
        for (int32_t j = 1; j <= k; ++j) {
            Vec sub;  // sm without row j and column i
            for (int c = 0; c < k; ++c)
                for (int r = 0; r < k; ++r) {
                    if (c != i - 1 && r != j - 1) sub.push_back(sm[c * k + r]);
                    if (c < i && r < i && j == 1) lead.push_back(sm[c * k + r]);
                }
            double want = 0.0;
            LUFactDeterminant(&want, sub.data(), &four);
            const double got = GetFirstMinor(sm.data(), &i, &j, &k);
            EXPECT_NEAR(got, want, 1e-13) << i << "," << j;
            EXPECT_EQ(GetCofactor(&got, &i, &j), (i + j) % 2 == 0 ? got : -got);
        }
        double want = 0.0;
        LUFactDeterminant(&want, lead.data(), &i);
        EXPECT_NEAR(GetPrincipleMinor(sm.data(), &i, &k), want, 1e-13) << i;
    }
    EXPECT_EQ(sm, sm0);
}

// ---------------------------------------------------------------- matrices with entries that are not finite

// An m x n matrix (column-major) with the given entries (1-based row, column) set.
struct Entries {
    int32_t m, n;
    std::vector<std::tuple<int, int, double>> set;

    Vec matrix() const {
        Vec a(m * n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) a[j * m + i] = i == j ? 3.0 - 0.5 * i : 0.25 * (i - j);
        for (const auto &[i, j, v] : set) a[(j - 1) * m + i - 1] = v;
        return a;
    }
};

const double kInf = std::numeric_limits<double>::infinity();

// Whether the decomposition of a(m, n) is refused: u, s and v NaN, nothing
// written past them, the refusal recorded.
bool decomposition_refused(const Vec &a, int32_t m, int32_t n) {
    Out u(m * m), s(m * n), v(n * n);
    SingularValueDecomposition(a.data(), u.data(), s.data(), v.data(), &m, &n);
    const auto nan = [](const Out &o) {
        return o.guards_intact() && std::all_of(o.v.begin(), o.v.begin() + o.n, [](double x) { return std::isnan(x); });
    };
    return nan(u) && nan(s) && nan(v) &&
           recorded_message() == msg80("SingularValueDecomposition: the matrix holds a NaN or infinite entry");
}

// Every norm of the singular values is infinite once an entry is: the
// largest singular value is at least the size of any entry.
TEST_F(MathErrorTest, InfiniteEntriesGiveInfiniteNormsWithoutARecord) {
    const std::vector<Entries> cases = {{2, 2, {{1, 2, kInf}}},
                                        {3, 3, {{2, 2, -kInf}}},
                                        {4, 3, {{4, 1, kInf}, {1, 3, -kInf}}},
                                        {3, 7, {{3, 7, -kInf}}},
                                        {8, 8, {{5, 6, kInf}, {8, 8, kInf}}}};
    for (const Entries &c : cases) {
        const Vec a = c.matrix();
        EXPECT_EQ(SpectralNorm(a.data(), &c.m, &c.n), kInf) << c.m << "x" << c.n;
        EXPECT_EQ(NuclearNorm(a.data(), &c.m, &c.n), kInf) << c.m << "x" << c.n;
        for (const double p : {0.5, 1.0, 2.0, 3.0}) EXPECT_EQ(SchattenNorm(a.data(), &p, &c.m, &c.n), kInf) << p;
        EXPECT_EQ(errstat, 0);
        // The decomposition itself has no answer.
        EXPECT_TRUE(decomposition_refused(a, c.m, c.n)) << c.m << "x" << c.n;
        reset();
    }
}

// LAPACK's dgesvd need not return for some of these (the first two): the
// checks run in a child process that an alarm ends, so that a call that
// never returns fails the test instead of holding it.
TEST_F(MathErrorTest, NaNEntriesGiveNaNWithARecordBeforeTheDecomposition) {
    struct Case {
        int32_t m, n;
        Vec a;
    };
    const std::vector<Case> cases = {{3, 3, {3, 0, 0, kNaN, 2, 0, 0, 0, 1}},
                                     {4, 3, {1, 0, 0, 0, kNaN, 1, 0, 0, 0, 0, 0, 0}},
                                     {2, 2, {kInf, kNaN, 0.5, 1}},
                                     {6, 9, Entries{6, 9, {{6, 9, kNaN}, {1, 1, -kInf}}}.matrix()}};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(60);
        int failed = 0;
        const auto check = [&](bool ok, const char *what, const Case &c) {
            if (ok) return;
            std::fprintf(stderr, "%s failed for %dx%d\n", what, c.m, c.n);
            ++failed;
        };
        const auto refused = [&](const std::string &routine, const char *what) {
            return recorded_message() == msg80(routine + ": the matrix holds " + what) && (reset(), true);
        };
        for (const Case &c : cases) {
            const Vec &a = c.a;
            const double p = 2.0;
            check(std::isnan(SpectralNorm(a.data(), &c.m, &c.n)) && refused("SpectralNorm", "a NaN entry"),
                  "SpectralNorm", c);
            check(std::isnan(NuclearNorm(a.data(), &c.m, &c.n)) && refused("NuclearNorm", "a NaN entry"),
                  "NuclearNorm", c);
            check(std::isnan(SchattenNorm(a.data(), &p, &c.m, &c.n)) && refused("SchattenNorm", "a NaN entry"),
                  "SchattenNorm", c);
            check(decomposition_refused(a, c.m, c.n), "SingularValueDecomposition", c);
            reset();
        }
        std::fflush(stderr);
        _exit(failed == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFSIGNALED(status)) << "the child did not return: signal " << WTERMSIG(status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
