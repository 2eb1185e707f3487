#include "boxbeam/box_report.hpp"

#include <array>
#include <cstring>

#include "boxbeam/box.hpp"
#include "core/units.hpp"

namespace kestro::boxbeam {

namespace {

// One format per block, in the order of Block.  The columns of every header
// are fixed here; the rows line up under them.
constexpr std::array<std::string_view, static_cast<std::size_t>(Block::count)> kFormats = {
    // cap_echo_head, cap_echo
    "(///,1X,'GURTPARAMETER',/,1X,'=============',//,'NR',9X,'YI ',9X,'ZI ',9X,'BI ',9X,'MYI',9X)",
    "(i3,2f12.3,2e12.3)",
    // wall_echo_head, wall_echo
    "(///,1X,'WANDPARAMETER',/,1X,'=============',//,'NR',T9,'IG1',T17,'IG2',T24,'TYPE',T33,'MAT',T45,'YK1',"
    "T57,'ZK1',T69,'YK2',T81,'ZK2',T94,'BK',T106,'GK',T117,'RHO')",
    "(i3,4i8,4f12.3,3e12.3)",
    // cell_echo_head, cell_echo
    "(///,1X,'ZELLENPARAMETER',/,1X,'===============',/,'NR',T9,'IG1',T17,'IG2',T25,'IG3',T33,'IG4')",
    "(i3,4i8)",
    // loads
    "(//,1X,'KRAEFTE UND MOMENTE BEZOGEN AUF QUERSCHNITTSKO','ORDINATEN:',/,1X,'QX = ',D16.9,5X,'QY = ',D16.9,5X,"
    "'QZ = ',D16.9,/,1X,'MX = ',D16.9,5X,'MY = ',D16.9,5X,'MZ = ',D16.9,///)",
    // title
    "(1H+,T21,'Q U E R S C H N I T T S G R O E S S E N',/,1H ,T21,'---------------------------------------',//)",
    // centres
    "(1H0,T21,'DEHNSTEIFIGKEIT DES TRAEGERS = ',D16.9,2X,'(K)',/,1H0,T21,'GESAMTMASSE PRO EINHEIT DER "
    "TRAEGERLAENGE = ',D16.9,2X,'(M/L)',/,1H0,T21,'KOORDINATEN DES STEIFIGKEITSMITTEL','PUNKTS:   YS = ',D16.9,2X,"
    "'ZS = ',D16.9,2X,'(L)',/,1H0,T21,'KOORDINATEN DES SCHWERPUNKTS:   YT = ',D16.9,2X,'ZT = ',D16.9,2X,'(L)')",
    // bending
    "(1H0,T21,'STEIFIGKEITSMOMENTE 2.GRADES:   DYY = ',D16.9,2X,'(K * L**2)',/,1H ,T53,'DZY = ',D16.9,2X,"
    "'(K * L**2)',/,1H ,T53,'DZZ = ',D16.9,2X,'(K * L**2)')",
    // bending_reference
    "(1H0,T21,'STEIFIGKEITSMOM (BEZUGSSYSTEM): DYY = ',D16.9,2X,'(K * L**2)',/,1H ,T53,'DZY = ',D16.9,2X,"
    "'(K * L**2)',/,1H ,T53,'DZZ = ',D16.9,2X,'(K * L**2)')",
    // polar_centre, polar_reference
    "(1H0,T21,'MASSENTRAEGHEITSMOMENT UM LAENGSACHSE:',2X,'( BEZ. AUF SCHWERPUNKT )',/,1H ,T21,'IT  =',D16.9,2X,"
    "'(M*L)')",
    "(1H0,T21,'MASSENTRAEGHEITSMOMENT UM LAENGSACHSE:',2X,'( BEZUGSSYSTEM )',/,1H ,T21,'IT  =',D16.9,2X,'(M*L)')",
    // principal
    "(1H0,T21,'HAUPTACHSENWINKEL = ',D16.9,2X,'(RADIAN)',2X,'=',F9.2,2X,'(GRAD)',/,1H0,T21,'STEIFIGKEITSMOMENTE "
    "2.GRADES:   DYY* = ',D16.9,2X,'(K * L**2)',/,1H ,T53,'DZZ* = ',D16.9,2X,'(K * L**2)')",
    // cap_table_head, cap_table_row
    "(1H0,T10,'LAENGSKRAFT (K)',T38,'DEHNUNG',/,' GURT',T19,'N(I)',T41,'EPS(I)')",
    "(1H ,I4,3X,D16.9,8X,D16.9)",
    // wall_table_head, wall_table_row
    "(1H0,T9,'L A E N G S K R A F T F L U E S S E    ','(K/L)',T71,'D   E   H   N   U   N   G   E   N',/,1H ,"
    "T20,'NK(0)',T36,'NK(LK/2)',T57,'NK(LK)',T80,'EPSK(0)',T96,'EPSK(LK/2)',T117,'EPSK(LK)')",
    "(1H ,I4,3(3X,D16.9),5X,3(3X,D16.9))",
    // static_head, static_row
    "(1H0,T5,'WAND',T16,'SSTYK',T34,'SSTZK',T52,'DSIYK',T70,'DSIZK')",
    "(1H ,I6,4D18.9)",
};

// A unit above those that GetFreeUnitNumber hands out, not open, not `other`.
int private_unit(int other) {
    int unit = 121;
    while (units::is_open(unit) || unit == other) ++unit;
    return unit;
}

}  // namespace

std::string_view format_of(Block block) { return kFormats[static_cast<std::size_t>(block)]; }

std::string file_name(const char *buffer, std::size_t length) {
    const void *nul = std::memchr(buffer, '\0', length);
    std::string_view name(buffer,
                          nul != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nul) - buffer) : length);
    const std::size_t last = name.find_last_not_of(' ');
    return std::string(name.substr(0, last == std::string_view::npos ? 0 : last + 1));
}

Report::~Report() { close(); }

bool Report::open(bool druck, bool exdru, const std::string &report_path, const std::string &trace_path) {
    if (druck && exdru) {
        const int unit = private_unit(0);
        if (!units::open(unit, trace_path, units::Access::write)) {
            refuse(-1, "Box-beam trace file cannot be opened: " + trace_path);
            return false;
        }
        trace_ = unit;
    }
    if (druck) {
        const int unit = private_unit(trace_);
        if (!units::open(unit, report_path, units::Access::write)) {
            close();
            refuse(-1, "Box-beam report file cannot be opened: " + report_path);
            return false;
        }
        report_ = unit;
    }
    return true;
}

void Report::write(Block block, std::initializer_list<format::Value> values) const {
    if (report_ > 0) format::write(report_, format_of(block), values);
}

void Report::trace(std::initializer_list<format::Value> values) const {
    if (trace_ > 0) units::write_record(trace_, format::list_record(values));
}

bool Report::close() {
    bool ok = true;
    for (int *unit : {&trace_, &report_}) {
        if (*unit > 0 && !units::close(*unit)) ok = false;
        *unit = 0;
    }
    if (!ok) refuse(-1, "Box-beam report or trace could not be written");
    return ok;
}

}  // namespace kestro::boxbeam
