// The self-checks of the cubic Hermite package: the evaluator checks, the
// five quick checks and their utilities, written once over the real type.
// The 8-byte checks (devchk_, dpchq1_, ...) and the 4-byte ones (evchck_,
// pchqk1_, ...) are two instantiations; Texts<Real> holds what differs in
// their reports (names, the exponent letter, two column widths) and their
// tolerances.  Reports go through the library's formatted-record writer to
// the caller's unit, which is also how the message handler writes, so the
// records of both appear in call order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/format.hpp"
#include "core/units.hpp"
#include "decl/pchip.hpp"
#include "pchip/pchip.hpp"

namespace kestro::pchip {

namespace {

// The state of the checks' uniform generator: x = 2048 ix1 + ix0 (22 bits).
int32_t ix0 = 0, ix1 = 0;

float uniform_next(float r) {
    constexpr int32_t ia1 = 1536, ia0 = 1029, ia1ma0 = 507, ic = 1731;
    if (r > 0) {
        // Reseed from the fractional part; an r just below an integer rounds
        // up to 2^22, which wraps to 0 so that the state keeps its 22 bits.
        const float q = std::fmod(r, 1.0f);
        const auto s = static_cast<int32_t>(q * 4194304.0f + 0.5f) % 4194304;
        ix0 = s % 2048;
        ix1 = (s - ix0) / 2048;
    } else if (r == 0) {
        int32_t iy0 = ia0 * ix0;
        int32_t iy1 = ia1 * ix1 + ia1ma0 * (ix0 - ix1) + iy0;
        iy0 = iy0 + ic;
        ix0 = iy0 % 2048;
        iy1 = iy1 + (iy0 - ix0) / 2048;
        ix1 = iy1 % 2048;
    }
    return static_cast<float>(ix1 * 2048 + ix0) / 4194304.0f;
}

bool compare_codes(int32_t ieract, int32_t ierexp, int32_t lout, int32_t kprint) {
    const bool same = ieract == ierexp;
    if (kprint > 2) {
        if (same)
            format::write(lout, "(a)", {"     OK."});
        else
            format::write(lout, "(a,i5)", {"  COMPARE FAILED -- IERR = ", ieract});
    }
    return same;
}

// The reference cubic f = x (x + 1) (x - 2) and its derivative, in 8 bytes.
void reference_cubic(double x, double *f, double *d) {
    const double fact1 = x + 1, fact2 = x - 2;
    *f = x * fact1 * fact2;
    *d = (fact1 + fact2) * x + fact1 * fact2;
}

template <class Real>
struct Texts;

template <>
struct Texts<double> {
    static constexpr const char *letter = "D";  // exponent edit descriptor
    static constexpr const char *prefix = "D";  // DCHFDV, DPCHIP, ...
    static constexpr const char *column = "D";  // the D where the 4-byte text keeps the column with a blank
    static constexpr const char *evaluators = "DEVCHK", *table = "DEVPCK", *errors = "DEVERK", *quick = "DPCHQ";
    static constexpr int table_tolerance = 25;  // multiples of the spacing
    static constexpr const char *error_indent = "19", *derivative_indent = "33";
    static double spacing() { return Family<double>::spacing(); }
    static void truth(double x, double *f, double *d) { reference_cubic(x, f, d); }
    static double uniform() { return static_cast<double>(uniform_next(0.0f)); }
};

template <>
struct Texts<float> {
    static constexpr const char *letter = "E";
    static constexpr const char *prefix = "";
    static constexpr const char *column = " ";
    static constexpr const char *evaluators = "EVCHCK", *table = "EVPCCK", *errors = "EVERCK", *quick = "PCHQK";
    static constexpr int table_tolerance = 10;
    static constexpr const char *error_indent = "17", *derivative_indent = "31";
    static float spacing() { return Family<float>::spacing(); }
    static void truth(float x, float *f, float *d) {
        double fd = 0.0, dd = 0.0;
        reference_cubic(static_cast<double>(x), &fd, &dd);
        *f = static_cast<float>(fd);
        *d = static_cast<float>(dd);
    }
    static float uniform() { return uniform_next(0.0f); }
};

// Restores the message handler's control flag on every way out.
class FlagGuard {
public:
    explicit FlagGuard(int32_t kontrl) {
        xgetf_(&saved_);
        xsetf_(&kontrl);
    }
    FlagGuard(const FlagGuard &) = delete;
    FlagGuard &operator=(const FlagGuard &) = delete;
    ~FlagGuard() { xsetf_(&saved_); }

private:
    int32_t saved_ = 0;
};

template <class Real>
class Checks {
    using P = Pchip<Real>;
    using T = Texts<Real>;
    using Values = std::initializer_list<format::Value>;

public:
    // A format text of the 8-byte checks with the family's words: {D} the
    // exponent letter, {N} the name prefix, {B} the prefix or a blank, {CHK},
    // {PCK}, {ERK} and {Q} the check names, {X1} and {X2} two indents.
    static std::string expand(std::string_view text) {
        static const std::pair<std::string_view, std::string_view> words[] = {
            {"{D}", T::letter},      {"{N}", T::prefix},        {"{B}", T::column},
            {"{CHK}", T::evaluators}, {"{PCK}", T::table},       {"{ERK}", T::errors},
            {"{Q}", T::quick},       {"{X1}", T::error_indent}, {"{X2}", T::derivative_indent},
        };
        std::string out;
        for (std::size_t i = 0; i < text.size();) {
            bool replaced = false;
            for (const auto &[key, word] : words)
                if (text.substr(i, key.size()) == key) {
                    out += word;
                    i += key.size();
                    replaced = true;
                    break;
                }
            if (!replaced) out += text[i++];
        }
        return out;
    }

    static void put(int32_t unit, std::string_view text, Values values = {}) {
        format::write(unit, expand(text), values);
    }
    static void put_all(int32_t unit, std::string_view text, const std::vector<format::Value> &values) {
        format::write_values(unit, expand(text), values);
    }

    // ---------------------------------------------------------------- evaluator checks

    static void evaluators(int32_t lout, int32_t kprint, int32_t npts, Real *xev, Real *fev, Real *dev, Real *fev2,
                           int32_t *fail) {
        const Real eps1 = 4 * T::spacing(), eps2 = 10 * T::spacing(), small = Real(1.0e-10);
        const Real lows[3] = {Real(-1.5), Real(2.0e-10), Real(1.0)}, highs[3] = {Real(2.5), Real(3.0e-10), Real(1.0e8)};
        // Fewer than 11 points leave no interior point and, below 2, no room
        // for the end points: nothing is written and the check fails.
        *fail = npts <= 10 ? 1 : 0;
        if (*fail) return;
        if (kprint >= 2) put(lout, "(//10X,'{CHK} RESULTS'/10X,'--------------')");
        for (int interval = 0; interval < 3; ++interval) {
            const Real x1 = lows[interval], x2 = highs[interval];
            const Real fact = std::max(std::sqrt(x2 - x1), Real(1));
            const Real tol1 = eps1 * fact, tol2 = eps2 * fact;
            Real f1, d1, f2, d2;
            T::truth(x1, &f1, &d1);
            T::truth(x2, &f2, &d2);
            if (kprint >= 3) {
                if (interval == 0) put(lout, "(/10X,'{N}CHFDV ACCURACY TEST')");
                put(lout, "(/)");
                const char *pair = "(10X,A2,' =',1P,{D}18.10,5X,A2,' =',{D}18.10)";
                put(lout, pair, {"X1", x1, "X2", x2});
                put(lout, pair, {"F1", f1, "F2", f2});
                put(lout, pair, {"D1", d1, "D2", d2});
            }
            if (kprint >= 2) put(lout, "(/10X,'INTERVAL = (',1P,{D}12.5,',',{D}12.5,' ):' )", {x1, x2});
            const Real floorf = std::max(std::min(std::abs(f1), std::abs(f2)), small);
            const Real floord = std::max(std::min(std::abs(d1), std::abs(d2)), small);
            const auto relative = [](Real e, Real v, Real s) { return e / std::max(std::abs(v), s); };

            // The end points reproduced.
            xev[0] = x1;
            xev[1] = x2;
            Real checkf[2], checkd[2], check[2];
            int32_t next[2] = {0, 0}, ierr = 0;
            P::chfev(x1, x2, f1, f2, d1, d2, 2, xev, checkf, checkd, next, &ierr);
            const Real aef = checkf[0] - f1, aef2 = checkf[1] - f2, aed = checkd[0] - d1, aed2 = checkd[1] - d2;
            const Real ref = relative(aef, f1, floorf), ref2 = relative(aef2, f2, floorf);
            const Real red = relative(aed, d1, floord), red2 = relative(aed2, d2, floord);
            const Real worst = std::max({std::abs(ref), std::abs(ref2), std::abs(red), std::abs(red2)});
            if (kprint >= 3) {
                put(lout,
                    "(/' ERRORS AT ENDPOINTS:',40X,'(NEXT =',2I3,')' // 1P,4X,'F1:',{D}13.5,4X,'F2:',{D}13.5,"
                    "4X,'D1:',{D}13.5,4X,'D2:',{D}13.5)",
                    {next[0], next[1], aef, aef2, aed, aed2});
                put(lout, "(1P,4(7X,{D}13.5))", {ref, ref2, red, red2});
            }
            if (worst > tol1) {
                *fail = 1;
                if (kprint >= 2) put(lout, "(/' ***** {N}CHFDV FAILED TO REPRODUCE ENDPOINT VALUES.')");
            }
            P::chfev(x1, x2, f1, f2, d1, d2, 2, xev, check, nullptr, next, &ierr);
            if (check[0] != checkf[0] || check[1] != checkf[1]) {
                *fail = 1;
                if (kprint >= 2) put(lout, "(/' ***** {N}CHFEV DOES NOT AGREE WITH {N}CHFDV AT ENDPOINTS.')");
            }

            // Points inside, four left of x1 and six right of x2.
            const Real dx = (x2 - x1) / static_cast<Real>(npts - 10);
            for (int32_t i = 1; i <= npts; ++i)
                xev[i - 1] = (x1 + static_cast<Real>(i - 5) * dx) + dx * T::uniform();
            next[0] = next[1] = 0;
            P::chfev(x1, x2, f1, f2, d1, d2, npts, xev, fev, dev, next, &ierr);
            if (ierr != 0) {
                *fail = 1;
                if (kprint >= 2) put(lout, "(/' ***** ERROR ***** {N}CHFDV RETURNED IERR =',I5)", {ierr});
            } else {
                // Minimum and maximum of each error and where it occurred.
                struct Range {
                    Real low = 0, high = 0, at_low = 0, at_high = 0;
                    void take(Real v, Real x, bool first) {
                        if (first) {
                            low = high = v;
                            at_low = at_high = x;
                        } else if (v < low) {
                            low = v;
                            at_low = x;
                        } else if (v > high) {
                            high = v;
                            at_high = x;
                        }
                    }
                } aefr, refr, aedr, redr;
                for (int32_t i = 0; i < npts; ++i) {
                    Real ftrue, dtrue;
                    T::truth(xev[i], &ftrue, &dtrue);
                    const Real e = fev[i] - ftrue, de = dev[i] - dtrue;
                    aefr.take(e, xev[i], i == 0);
                    refr.take(relative(e, ftrue, floorf), xev[i], i == 0);
                    aedr.take(de, xev[i], i == 0);
                    redr.take(relative(de, dtrue, floord), xev[i], i == 0);
                }
                const Real fermax = std::max(std::abs(refr.high), std::abs(refr.low));
                const Real dermax = std::max(std::abs(redr.high), std::abs(redr.low));
                const bool failnx = next[0] + next[1] != 10;
                const bool failed = failnx || std::max(fermax, dermax) > tol2;
                if (failed) *fail = 1;
                if (kprint >= 3) {
                    put(lout,
                        "(/' ERRORS AT ',I5,' INTERIOR POINTS + 10 OUTSIDE:',15X,'(NEXT =',2I3,')'"
                        "//30X,'FUNCTION',17X,'DERIVATIVE' /15X,2(11X,'ABS',9X,'REL') )",
                        {npts - 10, next[0], next[1]});
                    const char *extreme = "(/5X,A3,'IMUM ERROR:  ',1P,2{D}12.4,2X,2{D}12.4)";
                    const char *located = "( 5X,'LOCATED AT X =  ',1P,2{D}12.4,2X,2{D}12.4)";
                    put(lout, extreme, {"MIN", aefr.low, refr.low, aedr.low, redr.low});
                    put(lout, located, {aefr.at_low, refr.at_low, aedr.at_low, redr.at_low});
                    put(lout, extreme, {"MAX", aefr.high, refr.high, aedr.high, redr.high});
                    put(lout, located, {aefr.at_high, refr.at_high, aedr.at_high, redr.at_high});
                }
                if (kprint >= 2) {
                    const char *exceeds =
                        "(/' ***** MAXIMUM RELATIVE ERROR IN ',A1,' =',1P,{D}12.5,',' /17X,'EXCEEDS TOLERANCE =',"
                        "{D}12.5)";
                    if (!failed) put(lout, "(/' {N}CHFDV RESULTS OK.')");
                    if (fermax > tol2) put(lout, exceeds, {"F", fermax, tol2});
                    if (dermax > tol2) put(lout, exceeds, {"D", dermax, tol2});
                    if (failnx)
                        put(lout, "(/' ***** REPORTED NEXT =',2I5,'   RATHER THAN    4    6')", {next[0], next[1]});
                }
            }

            // Values alone must be those of the evaluator with derivatives.
            int32_t next2[2] = {0, 0};
            P::chfev(x1, x2, f1, f2, d1, d2, npts, xev, fev2, nullptr, next2, &ierr);
            if (ierr != 0) {
                *fail = 1;
                if (kprint >= 2) put(lout, "(/' ***** ERROR ***** {N}CHFEV RETURNED IERR =',I5)", {ierr});
                continue;
            }
            Real difmax = 0, at = 0;
            for (int32_t i = 0; i < npts; ++i) {
                const Real dif = std::abs(fev2[i] - fev[i]);
                if (i == 0 || dif > difmax) {
                    difmax = dif;
                    at = xev[i];
                }
            }
            const bool counts_differ = next2[0] != next[0] || next2[1] != next[1];
            if (difmax != 0 || counts_differ) {
                *fail = 1;
                if (kprint >= 2) {
                    put(lout, "(/' ***** {N}CHFEV DID NOT AGREE WITH {N}CHFDV:')");
                    if (difmax != 0)
                        put(lout, "(7X,'MAXIMUM DIFFERENCE ',1P,{D}12.5, '; OCCURRED AT X =',{D}12.5)", {difmax, at});
                    if (counts_differ)
                        put(lout, "(7X,'REPORTED NEXT =',2I3,'   RATHER THAN ',2I3)",
                            {next2[0], next2[1], next[0], next[1]});
                }
            } else if (kprint >= 2) {
                put(lout, "(/' {N}CHFEV AGREES WITH {N}CHFDV.')");
            }
        }
    }

    // f(x, y) = x (x^2 + 1) y^2 on the lines of a 4 x 6 table.
    static void table(int32_t lout, int32_t kprint, Real *x, Real *y, Real *f, Real *fx, Real *fy, Real *xe, Real *ye,
                      Real *fe, Real *de, Real *fe2, int32_t *fail) {
        constexpr int32_t nx = 4, ny = 6, ne = 51, nmax = 10;
        const Real tol = T::table_tolerance * T::spacing();
        const auto F = [](Real a, Real b) { return a * (b * b) * (a * a + 1); };
        const auto FX = [](Real a, Real b) { return (b * b) * (3 * a * a + 1); };
        const auto FY = [](Real a, Real b) { return 2 * a * b * (a * a + 1); };
        *fail = 0;
        for (int32_t i = 1; i <= 3; ++i) x[i - 1] = Real(0.25) * static_cast<Real>(i);
        x[3] = 1;
        for (int32_t j = 1; j <= ny; ++j) y[j - 1] = Real(0.5) * static_cast<Real>(j) - Real(1.25);
        for (int32_t j = 0; j < ny; ++j)
            for (int32_t i = 0; i < nx; ++i) {
                f[j * nmax + i] = F(x[i], y[j]);
                fx[j * nmax + i] = FX(x[i], y[j]);
                fy[j * nmax + i] = FY(x[i], y[j]);
            }
        const Real dx = Real(1) / static_cast<Real>(ne - 1);
        for (int32_t k = 1; k < ne; ++k) {
            xe[k - 1] = static_cast<Real>(k - 1) * dx;
            ye[k - 1] = 4 * xe[k - 1] - 2;
        }
        xe[ne - 1] = 1;
        ye[ne - 1] = 2;
        if (kprint >= 3) put(lout, "('1'//10X,'TEST {N}PCHFE AND {N}PCHFD')");
        if (kprint >= 2) put(lout, "(//10X,'{PCK} RESULTS'/10X,'--------------')");

        // One line of the table: along x (values at stride 1) or along y (stride nmax).
        const auto line = [&](bool along_x, int32_t index, int32_t &skip) {
            const int32_t n = along_x ? nx : ny, incfd = along_x ? 1 : nmax, expected = along_x ? 13 : 20;
            const Real *abscissas = along_x ? x : y, *points = along_x ? xe : ye;
            const Real *values = along_x ? f + (index - 1) * nmax : f + (index - 1);
            const Real *slopes = along_x ? fx + (index - 1) * nmax : fy + (index - 1);
            const Real fixed = along_x ? y[index - 1] : x[index - 1];
            const char *label = along_x ? "J" : "I", *name = along_x ? "Y" : "X", *column = along_x ? "X" : "Y";
            int32_t ierr = 0, ier2 = 0;
            P::pchfe(n, abscissas, values, slopes, incfd, &skip, ne, points, fe, de, &ierr);
            if (kprint >= 3)
                put(lout,
                    "(//20X,'{N}PCHFD INCREMENT TEST -- INCFD = ',I2 /15X,'ON ',A1,'-LINE ',I2,',  ',A1,' =',"
                    "F8.4,'  --  IERR =',I3)",
                    {incfd, label, index, name, fixed, ierr});
            if (ierr < 0) {
                if (kprint >= 2) put(lout, "(//' ***** ERROR ***** {N}PCHFD RETURNED IERR =',I5//)", {ierr});
                return false;
            }
            if (kprint >= 4)
                put(lout, "( /3X,A1,'E',10X,'F',8X,'FE',9X,'DIFF',13X,'D',8X,'DE',9X,'DIFF')", {column});
            P::pchfe(n, abscissas, values, slopes, incfd, &skip, ne, points, fe2, nullptr, &ier2);
            Real fermax = 0, dermax = 0, fdifmx = 0, xfer = 0, xder = 0, xdif = 0;
            for (int32_t k = 0; k < ne; ++k) {
                const Real a = along_x ? points[k] : fixed, b = along_x ? fixed : points[k];
                const Real ftrue = F(a, b), dtrue = along_x ? FX(a, b) : FY(a, b);
                const Real ferr = fe[k] - ftrue, derr = de[k] - dtrue;
                if (kprint >= 4)
                    put(lout, "(F7.2,2(2X,2F10.5,1P,{D}15.5,0P))", {points[k], ftrue, fe[k], ferr, dtrue, de[k], derr});
                const Real dif = std::abs(fe2[k] - fe[k]);
                if (k == 0 || std::abs(ferr) > fermax) {
                    fermax = std::abs(ferr);
                    xfer = points[k];
                }
                if (k == 0 || std::abs(derr) > dermax) {
                    dermax = std::abs(derr);
                    xder = points[k];
                }
                if (k == 0 || dif > fdifmx) {
                    fdifmx = dif;
                    xdif = points[k];
                }
            }
            const bool faild = fermax > tol || dermax > tol, faile = fdifmx != 0;
            const bool failed = faild || faile || ierr != expected || ier2 != ierr;
            if (failed && kprint >= 2)
                put(lout, "(/' ***** {N}PCHFD AND/OR {N}PCHFE FAILED ON ',A1,'-LINE ',I1,',  ',A1,' =',F8.4)",
                    {label, index, name, fixed});
            if ((faild && kprint >= 2) || kprint >= 3)
                put(lout,
                    "(/{X1}X,'  MAXIMUM ERROR IN FUNCTION =',1P,1P,{D}13.5,0P,' (AT',F6.2,'),'"
                    "/{X2}X,'IN DERIVATIVE =',1P,{D}13.5,0P,' (AT',F6.2,').' )",
                    {fermax, xfer, dermax, xder});
            if (faild && kprint >= 2) put(lout, "('  *** BOTH SHOULD BE .LE. TOL =',1P,{D}12.5,' ***')", {tol});
            if ((faile && kprint >= 2) || kprint >= 3)
                put(lout, "( '  MAXIMUM DIFFERENCE BETWEEN {N}PCHFE AND {N}PCHFD =',1P,{D}13.5,0P,' (AT',F6.2,').' )",
                    {fdifmx, xdif});
            const char *returned = "(/'  {N}PCHF',A1,' RETURNED IERR = ',I2,' INSTEAD OF ',I2)";
            if (ierr != expected && kprint >= 2) put(lout, returned, {"D", ierr, expected});
            if (ier2 != ierr && kprint >= 2) put(lout, returned, {"E", ier2, ierr});
            return !failed;
        };
        for (const bool along_x : {true, false}) {
            // The data are checked on the first line only: the evaluators set skip.
            int32_t nerr = 0, skip = 0;
            const int32_t lines = along_x ? ny : nx;
            for (int32_t index = 1; index <= lines; ++index)
                if (!line(along_x, index, skip)) ++nerr;
            if (nerr > 0) *fail = 1;
            if (kprint < 2) continue;
            if (nerr > 0)
                put(lout, "(//' ***** ERROR ***** {N}PCHFD AND/OR {N}PCHFE FAILED ON',I2,1X,A1,'-LINES.'//)",
                    {nerr, along_x ? "J" : "I"});
            else
                put(lout, "(/' {N}PCHFD AND {N}PCHFE OK ON ',A1,'-LINES.')", {along_x ? "J" : "I"});
        }
    }

    // Ten bad calls of the evaluators must return their error codes.
    static void errors(int32_t lout, int32_t kprint, int32_t *fail) {
        const FlagGuard flag(kprint <= 2 ? 0 : 1);
        if (kprint >= 3) put(lout, "('1'//10X,'TEST ERROR RETURNS')");
        if (kprint >= 2) put(lout, "(//10X,'{ERK} RESULTS'/10X,'--------------')");
        int32_t nerr = 0;
        const auto expect = [&](int32_t expected, auto call) {
            if (kprint >= 3) put(lout, "(/' THIS CALL SHOULD RETURN IERR =',I3)", {expected});
            int32_t ierr = 0;
            call(&ierr);
            if (!compare_codes(ierr, expected, lout, kprint)) ++nerr;
        };
        Real scratch = 0, dscratch = 0;
        int32_t next[2] = {0, 0};
        for (const bool derivatives : {false, true}) {
            Real *de = derivatives ? &dscratch : nullptr;
            expect(-1, [&](int32_t *ierr) { P::chfev(0, 1, 3, 7, 3, 6, 0, &scratch, &scratch, de, next, ierr); });
            expect(-2, [&](int32_t *ierr) { P::chfev(1, 1, 3, 7, 3, 6, 1, &scratch, &scratch, de, next, ierr); });
        }
        Real x[10], f[10], d[10];
        for (int32_t i = 1; i <= 10; ++i) {
            x[i - 1] = static_cast<Real>(i);
            f[i - 1] = static_cast<Real>(i + 2);
            d[i - 1] = 1;
        }
        std::swap(x[3], x[6]);
        for (const bool derivatives : {false, true}) {
            Real *de = derivatives ? &dscratch : nullptr;
            struct Bad {
                int32_t n, skip, expected;
            };
            for (const Bad bad : {Bad{1, 0, -1}, Bad{10, 0, -3}, Bad{10, 1, -4}})
                expect(bad.expected, [&](int32_t *ierr) {
                    int32_t skip = bad.skip;
                    P::pchfe(bad.n, x, f, d, 1, &skip, 0, &scratch, &scratch, de, ierr);
                });
        }
        if (kprint >= 3) xerdmp_();
        *fail = nerr != 0 ? 1 : 0;
        if (kprint < 2) return;
        if (nerr == 0)
            put(lout, "(/' ALL ERROR RETURNS OK.')");
        else
            put(lout, "(//' ***** TROUBLE IN {ERK} *****'//5X,I5,' TESTS FAILED TO GIVE EXPECTED RESULTS.')", {nerr});
    }

    // ---------------------------------------------------------------- quick checks

    // The closing records shared by the quick checks.
    static void close(int32_t lun, int32_t kprint, int32_t ifail, const std::string &what, int32_t *ipass) {
        if (ifail != 0 && kprint >= 2) put(lun, "(/' *** TROUBLE ***',I5,' " + what + " TESTS FAILED.')", {ifail});
        *ipass = ifail == 0 ? 1 : 0;
        if (ifail == 0 && kprint >= 2)
            put(lun, "(/' ------------ {B}PCHIP PASSED  ALL " + what + " TESTS', ' ------------')");
        if (ifail != 0 && kprint >= 1)
            put(lun, "(/' ************ {B}PCHIP FAILED SOME " + what + " TESTS', ' ************')");
    }

    static void heading(int32_t lun, int32_t kprint, const char *title, int number) {
        if (kprint >= 3) put(lun, std::string("('1'//10X,'") + title + "')");
        if (kprint >= 2) put(lun, "(//10X,'{Q}" + std::to_string(number) + " RESULTS'/10X,'--------------')");
    }

    static void quick1(int32_t lun, int32_t kprint, int32_t *ipass) {
        if (kprint >= 2)
            put(lun, "('1'/' ------------ {B}PCHIP QUICK CHECK OUTPUT', ' ------------' //20X,'( KPRINT =',I2,' )')",
                {kprint});
        std::vector<Real> w(4000);
        int32_t ifail = 0, fail = 0;
        evaluators(lun, kprint, 1000, &w[0], &w[1000], &w[2000], &w[3000], &fail);
        if (fail != 0) ifail += 1;
        table(lun, kprint, &w[0], &w[10], &w[20], &w[120], &w[220], &w[320], &w[371], &w[422], &w[473], &w[524],
              &fail);
        if (fail != 0) ifail += 2;
        errors(lun, kprint, &fail);
        if (fail != 0) ifail += 4;
        close(lun, kprint, ifail, "EVALUATION", ipass);
    }

    static void quick2(int32_t lun, int32_t kprint, int32_t *ipass) {
        heading(lun, kprint, "TEST {N}PCHIP INTEGRATORS", 2);
        const Real tol = 100 * T::spacing();
        const Real x[7] = {-4, -2, Real(-0.9), 0, Real(0.9), 2, 4};
        Real f[7], d[7];
        for (int i = 0; i < 7; ++i) {
            f[i] = 3 * x[i] * x[i] * (x[i] - 2);
            d[i] = 3 * x[i] * (x[i] + 2 * (x[i] - 2));
        }
        if (kprint >= 3) {
            std::vector<format::Value> table;
            for (int i = 0; i < 7; ++i) table.insert(table.end(), {x[i], f[i], d[i]});
            put_all(lun, "(// 5X,'DATA:' //11X,'X',9X,'F',9X,'D' /(5X,3F10.3) )", table);
            put(lun, "(// 5X,'TEST RESULTS:' //'    A     B    ERR     TRUE',16X,'CALC',15X,'ERROR')");
        }
        struct Pair {
            Real a, b;
            int32_t ierr;
        };
        static const Pair pairs[17] = {
            {-3, 3, 0},    {3, -3, 0},     {Real(-0.5), 1, 0},          {Real(-0.5), 2, 0}, {Real(-0.5), 5, 2},
            {-4, Real(-0.5), 0}, {-4, 4, 0}, {3, 5, 2},                   {-5, -3, 1},        {-5, 5, 3},
            {-6, -5, 3},   {6, 5, 3},      {Real(-1.5), Real(-0.5), 0}, {Real(-1.5), -1, 0}, {-3, Real(-2.5), 0},
            {3, Real(3.5), 0}, {Real(0.5), Real(0.5), 0},
        };
        int32_t ifail = 0, skip = 0;
        Real errmax = 0;
        bool first = true;
        for (const Pair &p : pairs) {
            int32_t ierr = 0;
            const Real calc = P::pchia(7, x, f, d, 1, &skip, p.a, p.b, &ierr);
            if (ierr < 0) {
                if (kprint >= 3) put(lun, "(2F6.1,I5,1P,2{D}20.10,{D}15.5)", {p.a, p.b, ierr});
                ++ifail;
                continue;
            }
            const bool wrong_code = ierr != p.ierr;
            const Real exact = p.b * p.b * p.b * (Real(0.75) * p.b - 2) - p.a * p.a * p.a * (Real(0.75) * p.a - 2);
            const Real error = calc - exact;
            if (kprint >= 3) {
                if (wrong_code)
                    put(lun, "(2F6.1,I5,1P,2{D}20.10,{D}15.5,'  (',I1,') *****' )",
                        {p.a, p.b, ierr, exact, calc, error, p.ierr});
                else
                    put(lun, "(2F6.1,I5,1P,2{D}20.10,{D}15.5)", {p.a, p.b, ierr, exact, calc, error});
            }
            const Real relative = std::abs(error) / std::max(Real(1), std::abs(exact));
            errmax = first ? relative : std::max(errmax, relative);
            first = false;
            if (relative > tol || wrong_code) ++ifail;
        }
        if (kprint >= 2)
            put(lun, "(/'  MAXIMUM RELATIVE ERROR IS:',1P,{D}15.5,',   TOLERANCE:',1P,{D}15.5)", {errmax, tol});
        close(lun, kprint, ifail, "INTEGRATION", ipass);
    }

    static void quick3(int32_t lun, int32_t kprint, int32_t *ipass) {
        heading(lun, kprint, "TEST {N}PCHIP INTERPOLATORS", 3);
        const Real tol = 10 * T::spacing(), told = std::max(Real(1.0e-7), 10 * tol), tolz = 0;
        constexpr int32_t n = 9, nwk = 18;
        const Real x[n] = {Real(-2.2), Real(-1.2), -1, Real(-0.5), Real(-0.01), Real(0.5), 1, 2, Real(2.2)};
        const Real dm[n] = {0,
                            Real(0.380027352),
                            Real(0.717253009),
                            Real(0.582014161),
                            0,
                            Real(-0.568208031),
                            Real(-0.513501618),
                            Real(-0.0777910977),
                            Real(-0.00245611117)};
        const Real ds[n] = {Real(-0.0516830792), Real(0.571455855), Real(0.740530225),
                            Real(0.763864934),   Real(0.0192614386), Real(-0.76532438),
                            Real(-0.728209035),  Real(-0.0798445427), Real(-0.0285983446)};
        const Real dc5 = Real(0.0176950158), dc6 = Real(-0.569579814);
        Real f[n], d[n], dc[n], wk[nwk];
        for (int i = 0; i < n; ++i) f[i] = std::exp(-x[i] * x[i]);
        const int32_t ic[2] = {0, 0};
        const Real vc[2] = {0, 0};
        if (kprint >= 3) {
            put(lun,
                "(// 5X,'DATA:' /39X,'---------- EXPECTED D-VALUES ----------' /12X,'X',9X,'F',18X,'DM',13X,'DC',"
                "13X,'DS')");
            for (int i = 0; i < n; ++i) {
                if (i == 4 || i == 5)
                    put(lun, "(5X,F10.2,1P,{D}15.5,4X,3{D}15.5)", {x[i], f[i], dm[i], i == 4 ? dc5 : dc6, ds[i]});
                else
                    put(lun, "(5X,F10.2,1P,{D}15.5,4X,{D}15.5,15X,{D}15.5)", {x[i], f[i], dm[i], ds[i]});
            }
        }
        int32_t ifail = 0;
        // One test: the routine's code against the expected one, then every
        // point judged by check (error, verdict); counts per verdict.
        const auto test = [&](const char *code, int32_t expected, auto run, const Real *values, auto check,
                              Real tolerance, const char *apart) {
            if (kprint >= 3) put(lun, "(/5X,'{N}PCH',A2,' TEST:')", {code});
            int32_t ierr = 0;
            run(&ierr);
            if (kprint >= 3) put(lun, "(15X,'EXPECT  IERR =',I5)", {expected});
            if (!compare_codes(ierr, expected, lun, kprint)) {
                ++ifail;
                return;
            }
            if (kprint >= 3) put(lun, "(/9X,'I',7X,'X',9X,'D',13X,'ERR')");
            int32_t nbad = 0, napart = 0;
            for (int i = 0; i < n; ++i) {
                Real err = 0;
                const char *verdict = check(i, &err);
                if (std::string_view(verdict) == "**BAD ") ++nbad;
                else if (std::string_view(verdict) != "  OK  ") ++napart;
                if (kprint >= 3) put(lun, "(5X,I5,F10.2,1P,2{D}15.5,2X,A)", {i + 1, x[i], values[i], err, verdict});
            }
            if (nbad + napart == 0) {
                if (kprint >= 2) put(lun, "(/5X,'  ALL {B}PCH',A2,' RESULTS OK.')", {code});
                return;
            }
            ++ifail;
            if (kprint < 2) return;
            if (napart > 0 && apart != nullptr) put(lun, apart, {napart});
            if (nbad > 0)
                put(lun, "(/'    **',I5,' {B}PCH',A2,' RESULTS FAILED TOLERANCE TEST.', '  TOL =',1P,{D}10.3)",
                    {nbad, code, tolerance});
        };
        test(
            "IM", 1, [&](int32_t *ierr) { P::pchim(n, x, f, d, 1, ierr); }, d,
            [&](int i, Real *err) {
                if (dm[i] == 0) {
                    *err = std::abs(d[i]);
                    return *err > tolz ? "**BADZ" : "  OK  ";
                }
                *err = std::abs((d[i] - dm[i]) / dm[i]);
                return *err > told ? "**BAD " : "  OK  ";
            },
            told, "(/'    **',I5,' {B}PCHIM RESULTS FAILED TO BE EXACTLY ZERO.')");
        test(
            "IC", 0, [&](int32_t *ierr) { P::pchic(ic, vc, 0, n, x, f, dc, 1, wk, nwk, ierr); }, dc,
            [&](int i, Real *err) {
                *err = std::abs(d[i] - dc[i]);
                return *err > tol ? "**BAD " : "  OK  ";
            },
            tol, nullptr);
        test(
            "IC", 0, [&](int32_t *ierr) { P::pchic(ic, vc, -1, n, x, f, d, 1, wk, nwk, ierr); }, d,
            [&](int i, Real *err) {
                if (i == 4 || i == 5) {
                    const Real ref = i == 4 ? dc5 : dc6;
                    *err = std::abs((d[i] - ref) / ref);
                    return *err > told ? "**BAD " : "  OK  ";
                }
                *err = std::abs(d[i] - dc[i]);
                return *err > tolz ? "**BADA" : "  OK  ";
            },
            told, "(/'    **',I5,' {B}PCHIC RESULTS FAILED TO AGREE WITH', ' PREVIOUS CALL.')");
        test(
            "SP", 0, [&](int32_t *ierr) { P::pchsp(ic, vc, n, x, f, d, 1, wk, nwk, ierr); }, d,
            [&](int i, Real *err) {
                *err = std::abs((d[i] - ds[i]) / ds[i]);
                return *err > told ? "**BAD " : "  OK  ";
            },
            told, nullptr);
        close(lun, kprint, ifail, "INTERPOLATION", ipass);
    }

    static void quick4(int32_t lun, int32_t kprint, int32_t *ipass) {
        heading(lun, kprint, "TEST {N}PCHIP MONOTONICITY CHECKER", 4);
        Real x[16], f[16] = {1, 2, 3, 2, 3, 4, 3, 4, 5, 4, 5, 6, 5, 6, 7, 6}, d[16] = {};
        Real fb[7] = {0, 2, 3, 5, 3, 2, 0}, db[7] = {1, 3, 3, 0, -3, -3, -1};
        for (int i = 0; i < 16; ++i) x[i] = static_cast<Real>(i + 1);
        for (int i : {2, 5, 8, 11, 14}) d[i - 1] = 2;
        int32_t expected[3][16] = {
            {1, 1, -1, 1, 1, -1, 1, 1, -1, 1, 1, -1, 1, 1, -1, 2},
            {1, 2, 2, 1, 2, 2, 1, 2},
            {1, 1, 1, 1, 1, 1},
        };
        int32_t expected_bug[7] = {1, 3, 1, -1, -3, -1, 2};
        const int32_t ns[3] = {16, 8, 6};
        if (kprint >= 3) {
            put(lun, "(// 5X,'DATA:' // 9X,'I',4X,'X',5X,'F',5X,'D',5X,'FB',4X,'DB')");
            for (int i = 0; i < 16; ++i) {
                if (i < 7)
                    put(lun, "(5X,I5,5F6.1)", {i + 1, x[i], f[i], d[i], fb[i], db[i]});
                else
                    put(lun, "(5X,I5,5F6.1)", {i + 1, x[i], f[i], d[i]});
            }
        }
        int32_t ifail = 0;
        // Compares ismon(1..n) with the expectation; one failure at most per case.
        const auto judge = [&](int32_t ierr, const int32_t *ismon, const int32_t *want, int32_t n) {
            if (ierr != 0) {
                ++ifail;
                if (kprint >= 3) put(lun, "(' *** Failed -- bad IERR value.')");
                return;
            }
            if (std::equal(ismon, ismon + n, want)) return;
            ++ifail;
            if (kprint >= 3) put_all(lun, "(' *** Failed -- expect:',16I3)", integers(want, n));
        };
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t incfd = 1; incfd <= 3; ++incfd) {
                const int32_t n = ns[incfd - 1];
                int32_t skip = 0, ierr = 0, ismon[16] = {};
                P::pchcm(n, x, f, d, incfd, &skip, ismon, &ierr);
                if (kprint >= 3) {
                    std::vector<format::Value> values{incfd, ierr};
                    for (int32_t i = 0; i < n; ++i) values.emplace_back(ismon[i]);
                    put_all(lun, "(/4X,'INCFD =',I2,':  IERR =',I3/15X,'ISMON =',16I3)", values);
                }
                judge(ierr, ismon, expected[incfd - 1], n);
            }
            int32_t skip = 0, ierr = 0, ismon[7] = {};
            P::pchcm(7, x, fb, db, 1, &skip, ismon, &ierr);
            if (kprint >= 3) {
                std::vector<format::Value> values{ierr};
                for (int32_t code : ismon) values.emplace_back(code);
                put_all(lun, "(/4X,' Bug test:  IERR =',I3/15X,'ISMON =',7I3)", values);
            }
            judge(ierr, ismon, expected_bug, 7);
            if (pass == 1) break;
            if (kprint >= 3) put(lun, "(/4X,'Changing sign of data.....')");
            for (Real *v : {f, d}) std::transform(v, v + 16, v, [](Real e) { return -e; });
            for (Real *v : {fb, db}) std::transform(v, v + 7, v, [](Real e) { return -e; });
            for (auto &row : expected)
                for (int32_t &code : row)
                    if (code != 2) code = -code;
            for (int32_t &code : expected_bug)
                if (code != 2) code = -code;
        }
        close(lun, kprint, ifail, "MONOTONICITY", ipass);
    }

    static void quick5(int32_t lun, int32_t kprint, int32_t *ipass) {
        heading(lun, kprint, "TEST PCH TO B-SPLINE CONVERTER", 5);
        if (kprint >= 3) put(lun, "(/4X,'(Results should be the same for all KNOTYP values.)')");
        constexpr int32_t n = 9;
        const Real tol = 100 * T::spacing(), tolz = 0;
        const Real x[n] = {Real(-2.2), Real(-1.2), -1, Real(-0.5), Real(-0.01), Real(0.5), 1, 2, Real(2.2)};
        const Real f[n] = {Real(0.0079), Real(0.2369), Real(0.3679), Real(0.7788), Real(0.9999),
                           Real(0.7788), Real(0.3679), Real(0.1083), Real(0.0079)};
        const Real d[n] = {0,          Real(0.38),    Real(0.7173),  Real(0.582),  Real(0.0177),
                           Real(-0.5696), Real(-0.5135), Real(-0.0778), Real(-0.0025)};
        Real t[2 * n + 4] = {}, tsave[2 * n + 4] = {}, bcoef[2 * n] = {}, work[12] = {};
        int32_t nknots = 0, ifail = 0;
        const auto relative = [](Real e, Real v) { return std::abs(e) / std::max(Real(1.0e-5), std::abs(v)); };
        for (const int32_t knotyp : {2, 1, 0, -1}) {
            int32_t ndim = 0, kord = 0, ierr = 0;
            P::pchbs(n, x, f, d, 1, knotyp, &nknots, t, bcoef, &ndim, &kord, &ierr);
            if (kprint >= 3)
                put(lun, "(/4X,'KNOTYP =',I2,':  NKNOTS =',I3,',  NDIM =',I3,',  K =',I2,',  IERR =',I3)",
                    {knotyp, nknots, ndim, kord, ierr});
            if (ierr != 0) {
                ++ifail;
                if (kprint >= 3) put(lun, "(' *** Failed -- bad IERR value.')");
            } else {
                int32_t inbv = 1;
                Real fermax = 0, dermax = 0;
                if (kprint >= 3) {
                    put(lun, "(/15X,'X',9X,'KNOTS',10X,'F',7X,'FERR',8X,'D',7X,'DERR')");
                    put(lun, "(18X,2F8.2)", {t[0], t[1]});
                }
                for (int i = 0; i < n; ++i) {
                    const Real fcalc = P::bvalu(t, bcoef, ndim, kord, 0, x[i], &inbv, work);
                    const Real ferr = f[i] - fcalc;
                    fermax = std::max(fermax, relative(ferr, f[i]));
                    const Real dcalc = P::bvalu(t, bcoef, ndim, kord, 1, x[i], &inbv, work);
                    const Real derr = d[i] - dcalc;
                    dermax = std::max(dermax, relative(derr, d[i]));
                    if (kprint >= 3)
                        put(lun, "(10X,3F8.2,F10.4,1P,{D}10.2,0P,F10.4,1P,{D}10.2)",
                            {x[i], t[2 * i + 2], t[2 * i + 3], f[i], ferr, d[i], derr});
                }
                if (kprint >= 3) put(lun, "(18X,2F8.2)", {t[2 * n + 2], t[2 * n + 3]});
                const bool failed = fermax > tol || dermax > tol;
                if (failed) ++ifail;
                if (kprint >= 3 || (failed && kprint >= 2))
                    put(lun,
                        "(/5X,'Maximum relative errors:' /15X,'F-error =',1P,{D}13.5,5X,'D-error =',{D}13.5"
                        " /5X,'Both should be less than  TOL =',{D}13.5)",
                        {fermax, dermax, tol});
            }
            if (knotyp == 0) std::copy(t, t + 2 * n + 4, tsave);
            if (knotyp == -1) {
                Real change = 0;
                for (int32_t i = 0; i < std::min(nknots, 2 * n + 4); ++i)
                    change = std::max(change, std::abs(t[i] - tsave[i]));
                if (change > tolz) {
                    ++ifail;
                    if (kprint >= 2)
                        put(lun, "(/' *** T-ARRAY MAXIMUM CHANGE =',1P,{D}13.5,';  SHOULD NOT EXCEED TOLZ =',{D}13.5)",
                            {change, tolz});
                }
            }
        }
        close(lun, kprint, ifail, "CONVERSION", ipass);
    }

private:
    static std::vector<format::Value> integers(const int32_t *v, int32_t n) {
        return std::vector<format::Value>(v, v + n);
    }
};

}  // namespace

}  // namespace kestro::pchip

using Double = kestro::pchip::Checks<double>;
using Single = kestro::pchip::Checks<float>;

extern "C" {

int32_t comp_(const int32_t *ieract, const int32_t *ierexp, const int32_t *lout, const int32_t *kprint) {
    return kestro::pchip::compare_codes(*ieract, *ierexp, *lout, *kprint) ? 1 : 0;
}

float pchip_rand_(const float *r) { return kestro::pchip::uniform_next(*r); }

void pchip_timestamp_(void) {
    kestro::units::write_record(kestro::units::standard_output, kestro::format::timestamp_now());
}

void get_unit_(int32_t *iunit) {
    *iunit = 0;
    for (int32_t i = 1; i <= 99; ++i) {
        if (i == 5 || i == 6 || i == 9) continue;
        if (!kestro::units::is_open(i)) {
            *iunit = i;
            return;
        }
    }
}

void dfdtru_(const double *x, double *f, double *d) { kestro::pchip::reference_cubic(*x, f, d); }
void fdtrue_(const float *x, float *f, float *d) { kestro::pchip::Texts<float>::truth(*x, f, d); }

void devchk_(const int32_t *lout, const int32_t *kprint, const int32_t *npts, double *xev, double *fev, double *dev,
             double *fev2, int32_t *fail) {
    Double::evaluators(*lout, *kprint, *npts, xev, fev, dev, fev2, fail);
}
void evchck_(const int32_t *lout, const int32_t *kprint, const int32_t *npts, float *xev, float *fev, float *dev,
             float *fev2, int32_t *fail) {
    Single::evaluators(*lout, *kprint, *npts, xev, fev, dev, fev2, fail);
}

void devpck_(const int32_t *lout, const int32_t *kprint, double *x, double *y, double *f, double *fx, double *fy,
             double *xe, double *ye, double *fe, double *de, double *fe2, int32_t *fail) {
    Double::table(*lout, *kprint, x, y, f, fx, fy, xe, ye, fe, de, fe2, fail);
}
void evpcck_(const int32_t *lout, const int32_t *kprint, float *x, float *y, float *f, float *fx, float *fy, float *xe,
             float *ye, float *fe, float *de, float *fe2, int32_t *fail) {
    Single::table(*lout, *kprint, x, y, f, fx, fy, xe, ye, fe, de, fe2, fail);
}

void deverk_(const int32_t *lout, const int32_t *kprint, int32_t *fail) { Double::errors(*lout, *kprint, fail); }
void everck_(const int32_t *lout, const int32_t *kprint, int32_t *fail) { Single::errors(*lout, *kprint, fail); }

void dpchq1_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Double::quick1(*lun, *kprint, ipass); }
void dpchq2_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Double::quick2(*lun, *kprint, ipass); }
void dpchq3_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Double::quick3(*lun, *kprint, ipass); }
void dpchq4_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Double::quick4(*lun, *kprint, ipass); }
void dpchq5_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Double::quick5(*lun, *kprint, ipass); }
void pchqk1_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Single::quick1(*lun, *kprint, ipass); }
void pchqk2_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Single::quick2(*lun, *kprint, ipass); }
void pchqk3_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Single::quick3(*lun, *kprint, ipass); }
void pchqk4_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Single::quick4(*lun, *kprint, ipass); }
void pchqk5_(const int32_t *lun, const int32_t *kprint, int32_t *ipass) { Single::quick5(*lun, *kprint, ipass); }

}  // extern "C"
