#include "pchip/xermsg.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/format.hpp"
#include "core/process.hpp"
#include "core/units.hpp"
#include "decl/pchip.hpp"

namespace kestro::pchip {

namespace {

// Parameters: current error number, control flag, first unit, maxmes, number
// of units, units 2 to 5.
int32_t iparam[9] = {0, 2, 0, 10, 1, 0, 0, 0, 0};

struct Row {
    std::string librar, subrou, messg;  // 8, 8 and 20 characters
    int32_t nerr, level, count;
};
Row rows[10];
int32_t nmsg = 0;    // rows in use
int32_t kountx = 0;  // messages that found no free row

std::string fixed(std::string_view s, std::size_t width) {
    std::string out(s.substr(0, std::min(s.size(), width)));
    out.resize(width, ' ');
    return out;
}

std::size_t len_trim(std::string_view s) {
    const std::size_t last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? 0 : last + 1;
}

// The output units; 0 stands for the default message unit.
int units(int32_t (&list)[5]) {
    int32_t n = 0;
    xgetua_(list, &n);
    const int32_t message_unit = 4;
    for (int32_t i = 0; i < n; ++i)
        if (list[i] == 0) list[i] = i1mach_(&message_unit);
    return n;
}

void write_all(std::string_view record) {
    int32_t list[5] = {};
    const int n = units(list);
    for (int i = 0; i < n; ++i) units::write_record(list[i], record);
}

}  // namespace

int32_t j4save(int32_t iwhich, int32_t ivalue, bool iset) {
    // An index outside the table, or a unit count outside 1..5, is ignored.
    if (iwhich < 1 || iwhich > 9) return 0;
    const int32_t old = iparam[iwhich - 1];
    if (iset && !(iwhich == 5 && (ivalue < 1 || ivalue > 5))) iparam[iwhich - 1] = ivalue;
    return old;
}

void xerhlt() { end_process(1); }

void xerprn(std::string_view prefix, int32_t npref, std::string_view messg, int32_t nwrap) {
    const std::size_t lpref = std::min<std::size_t>(npref < 0 ? prefix.size() : static_cast<std::size_t>(npref), 16);
    const std::string head = fixed(prefix, lpref);
    const auto lwrap = static_cast<std::size_t>(std::clamp(nwrap, 16, 132));
    const std::string_view text = messg.substr(0, len_trim(messg));
    if (text.empty()) {
        write_all(head + " ");
        return;
    }
    std::size_t next = 0;
    while (next < text.size()) {
        const std::string_view rest = text.substr(next);
        const std::size_t mark = rest.find("$$");
        std::string_view piece;
        if (mark == 0) {  // a new line at once prints nothing
            next += 2;
            continue;
        }
        if (mark == std::string_view::npos || mark > lwrap) {
            if (rest.size() <= lwrap) {
                piece = rest;
                next = text.size();
            } else {
                // Break at the last blank that leaves at most lwrap characters,
                // dropping the blank; without one, cut at lwrap.
                std::size_t blank = lwrap;
                while (blank >= 1 && rest[blank] != ' ') --blank;
                if (blank >= 1) {
                    piece = rest.substr(0, blank);
                    next += blank + 1;
                } else {
                    piece = rest.substr(0, lwrap);
                    next += lwrap;
                }
            }
        } else {
            piece = rest.substr(0, mark);
            next += mark + 2;
        }
        write_all(head + std::string(piece));
    }
}

int32_t xersve(std::string_view librar, std::string_view subrou, std::string_view messg, int32_t kflag, int32_t nerr,
               int32_t level) {
    if (kflag <= 0) {
        if (nmsg == 0) return 0;
        int32_t list[5] = {};
        const int n = units(list);
        for (int u = 0; u < n; ++u) {
            format::write(list[u], "('0          ERROR MESSAGE SUMMARY' / ' LIBRARY    SUBROUTINE MESSAGE START"
                                   "             NERR', '     LEVEL     COUNT')");
            for (int32_t i = 0; i < nmsg; ++i)
                format::write(list[u], "(1X,A,3X,A,3X,A,3I10)",
                              {rows[i].librar, rows[i].subrou, rows[i].messg, rows[i].nerr, rows[i].level,
                               rows[i].count});
            if (kountx != 0) format::write(list[u], "('0OTHER ERRORS NOT INDIVIDUALLY TABULATED = ', I10)", {kountx});
            format::write(list[u], "(1X)");
        }
        if (kflag == 0) {
            nmsg = 0;
            kountx = 0;
        }
        return 0;
    }
    const std::string lib = fixed(librar, 8), sub = fixed(subrou, 8), mes = fixed(messg, 20);
    for (int32_t i = 0; i < nmsg; ++i) {
        Row &r = rows[i];
        if (r.librar == lib && r.subrou == sub && r.messg == mes && r.nerr == nerr && r.level == level)
            return ++r.count;
    }
    if (nmsg < 10) {
        rows[nmsg++] = Row{lib, sub, mes, nerr, level, 1};
        return 1;
    }
    ++kountx;
    return 0;
}

void xermsg(std::string_view librar, std::string_view subrou, std::string_view messg, int32_t nerr, int32_t level) {
    int32_t lkntrl = j4save(2, 0, false);
    const int32_t maxmes = j4save(4, 0, false);
    if (nerr == 0 || nerr < -9999999 || nerr > 99999999 || level < -1 || level > 2) {
        xerprn(" ***", -1,
               "FATAL ERROR IN...$$ XERMSG -- INVALID ERROR NUMBER OR LEVEL$$ JOB ABORT DUE TO FATAL ERROR.", 72);
        xersve(" ", " ", " ", 0, 0, 0);
        xerhlt();
    }
    j4save(1, nerr, true);
    const int32_t kount = xersve(librar, subrou, messg, 1, nerr, level);
    if (level == -1 && kount > 1) return;
    int32_t kontrl = lkntrl;
    xercnt_(fixed(librar, 8).c_str(), fixed(subrou, 8).c_str(), fixed(messg, 20).c_str(), &nerr, &level, &kontrl, 8,
            8, 20);
    lkntrl = std::clamp(lkntrl, -2, 2);
    const int32_t mkntrl = std::abs(lkntrl);
    const bool silent = (level < 2 && lkntrl == 0) || (level == 0 && kount > maxmes) ||
                        (level == 1 && kount > maxmes && mkntrl == 1);
    if (!silent) {
        if (lkntrl != 0) {
            std::string line = "MESSAGE FROM ROUTINE ";
            line += subrou.substr(0, std::min<std::size_t>(subrou.size(), 16));
            line += " IN LIBRARY ";
            line += librar.substr(0, std::min<std::size_t>(librar.size(), 16));
            line += ".";
            xerprn(" ***", -1, line, 72);
        }
        if (lkntrl > 0) {
            std::string line = level <= 0 ? "INFORMATIVE MESSAGE," : level == 1 ? "POTENTIALLY RECOVERABLE ERROR,"
                                                                                : "FATAL ERROR,";
            line += (mkntrl == 2 && level >= 1) || (mkntrl == 1 && level == 2) ? " PROG ABORTED," : " PROG CONTINUES,";
            line += " TRACEBACK REQUESTED";
            xerprn(" ***", -1, line, 72);
        }
        xerprn(" *  ", -1, messg, 72);
        if (lkntrl > 0) {
            // ERROR NUMBER = and the number written with I8, blanks removed.
            std::string number = format::edit_integer(nerr, 8, -1);
            number.erase(0, number.find_first_not_of(' '));
            xerprn(" *  ", -1, "ERROR NUMBER = " + number, 72);
            fdump_();
        }
        if (lkntrl != 0) {
            xerprn(" *  ", -1, " ", 72);
            xerprn(" ***", -1, "END OF MESSAGE", 72);
            xerprn("    ", 0, " ", 72);
        }
    }
    if (level <= 0 || (level == 1 && mkntrl <= 1)) return;
    if (lkntrl > 0 && kount < std::max(1, maxmes)) {
        xerprn(" ***", -1, level == 1 ? "JOB ABORT DUE TO UNRECOVERED ERROR." : "JOB ABORT DUE TO FATAL ERROR.", 72);
        xersve(" ", " ", " ", -1, 0, 0);
    }
    xerhlt();
}

}  // namespace kestro::pchip

using namespace kestro::pchip;

namespace {

std::string_view arg(const char *s, std::size_t len) { return {s, s != nullptr ? len : 0}; }

[[noreturn]] void out_of_bounds(const char *routine, int32_t i, int32_t highest) {
    // An index out of range is the caller's error: the process fails (status 1).
    const std::string legal = "  Legal values satisfy 1 <= I <= " + std::to_string(highest) + ".";
    const std::string value = "  I = " + kestro::format::edit_integer(i, 12, -1);
    kestro::units::fatal_package_error(routine, {"  The input argument I is out of bounds.", legal, value});
}

}  // namespace

extern "C" {

void xermsg_(const char *librar, const char *subrou, const char *messg, const int32_t *nerr, const int32_t *level,
             size_t librar_len, size_t subrou_len, size_t messg_len) {
    xermsg(arg(librar, librar_len), arg(subrou, subrou_len), arg(messg, messg_len), *nerr, *level);
}

void xerprn_(const char *prefix, const int32_t *npref, const char *messg, const int32_t *nwrap, size_t prefix_len,
             size_t messg_len) {
    xerprn(arg(prefix, prefix_len), *npref, arg(messg, messg_len), *nwrap);
}

void xersve_(const char *librar, const char *subrou, const char *messg, const int32_t *kflag, const int32_t *nerr,
             const int32_t *level, int32_t *icount, size_t librar_len, size_t subrou_len, size_t messg_len) {
    *icount = xersve(arg(librar, librar_len), arg(subrou, subrou_len), arg(messg, messg_len), *kflag, *nerr, *level);
}

int32_t j4save_(const int32_t *iwhich, const int32_t *ivalue, const int32_t *iset) {
    return j4save(*iwhich, *ivalue, *iset != 0);
}

void xerhlt_(const char * /*messg*/, size_t /*messg_len*/) { xerhlt(); }

void xercnt_(const char *, const char *, const char *, const int32_t *, const int32_t *, int32_t *, size_t, size_t,
             size_t) {}

void fdump_() {}

void xsetf_(const int32_t *kontrl) {
    if (std::abs(*kontrl) > 2) {
        xermsg("SLATEC", "XSETF", "INVALID ARGUMENT = " + kestro::format::edit_integer(*kontrl, 8, -1), 1, 2);
        return;
    }
    j4save(2, *kontrl, true);
}

void xgetf_(int32_t *kontrl) { *kontrl = j4save(2, 0, false); }

void xerdmp_() { xersve(" ", " ", " ", 0, 0, 0); }

void xgetua_(int32_t *iunita, int32_t *n) {
    *n = std::clamp(j4save(5, 0, false), 1, 5);
    for (int32_t i = 1; i <= *n; ++i) iunita[i - 1] = j4save(i == 1 ? 3 : i + 4, 0, false);
}

int32_t i1mach_(const int32_t *i) {
    static constexpr int32_t values[16] = {5, 6, 7, 6, 32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
    if (*i < 1 || *i > 16) out_of_bounds("I1MACH", *i, 16);
    return values[*i - 1];
}

double d1mach_(const int32_t *i) {
    static constexpr double values[5] = {4.450147717014403e-308, 8.988465674311579e+307, 1.110223024625157e-16,
                                         2.220446049250313e-16, 0.301029995663981};
    if (*i < 1 || *i > 5) out_of_bounds("D1MACH", *i, 5);
    return values[*i - 1];
}

float r1mach_(const int32_t *i) {
    static constexpr float values[5] = {1.1754943508222875e-38f, 3.4028234663852886e+38f, 5.960464477539063e-08f,
                                        1.1920928955078125e-07f, 0.3010300099849701f};
    if (*i < 1 || *i > 5) out_of_bounds("R1MACH", *i, 5);
    return values[*i - 1];
}

}  // extern "C"
