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
    // wall_table_head, flow_row (the shear-flow table's rows too)
    "(1H0,T9,'L A E N G S K R A F T F L U E S S E    ','(K/L)',T71,'D   E   H   N   U   N   G   E   N',/,1H ,"
    "T20,'NK(0)',T36,'NK(LK/2)',T57,'NK(LK)',T80,'EPSK(0)',T96,'EPSK(LK/2)',T117,'EPSK(LK)')",
    "(1H ,I4,3(3X,D16.9),5X,3(3X,D16.9))",
    // static_head, static_row
    "(1H0,T5,'WAND',T16,'SSTYK',T34,'SSTZK',T52,'DSIYK',T70,'DSIZK')",
    "(1H ,I6,4D18.9)",
    // system_head, values
    "(1H0,'KONTROLLAUSDRUCK GLEICHUNGSSYSTEM:',/,1H ,'ANZAHL DER GLEICHUNGEN =',I5,/,1H ,'ANZAHL DER SPALTEN =',I5,"
    "/,1H ,'KOEFFIZIENTENMATRIX ( + LETZTE SPALTE = NEGATIVE ','RECHTE SEITE):')",
    "((10D13.5))",
    // solutions_head, residuals_head, residual
    "(1H0,'LOESUNGEN DES GLEICHUNGSSYSTEMS:')",
    "(1H0,'FEHLERVEKTOR, LIEFERT HINWEISE UEBER DIE GENAUIG','KEIT DER LOESUNG DES STATISCH UNBESTIMMTEN PROBLEMS')",
    "(1H ,D16.9)",
    // abort, missing_wall
    "(1H0,'ABBRUCH DER REDUKTION IN SCHRITT',I3,'. PIVOT','ELEMENT IST ZU KLEIN')",
    "(1H0,'   F E H L E R M E L D U N G:'//5X,'IN ZELLE',I4,'  WURDE DIE WAND ZWISCHEN DEN GURTEN',I4,'  UND',I4,"
    "'  NICHT DEFINIERT !!')",
    // shear_centre
    "(1H0,T66,'BEZOGEN AUF',T97,'BEZOGEN AUF',/,1H ,T60,'STEIFIGKEITSMITTELPUNKT',T97,'BEZUGSSYSTEM',/,1H0,T21,"
    "'KOORDINATEN DES SCHUBMITTELPUNKTS:   YM* = ',D16.9,2X,'(L)',5X,'YM = ',D16.9,2X,'(L)',/,1H ,T58,'ZM* = ',D16.9,"
    "2X,'(L)',5X,'ZM = ',D16.9,2X,'(L)')",
    // open_profile
    "(1H0,'DRILLWINKEL KANN NICHT BERECHNET WERDEN, DA OFFENES',' PROFIL ','\"KEINE\"',' DRILLSTEIFIGKEIT BESITZT.')",
    // shear_table_head
    "(1H0,T9,'S  C  H  U  B  F  L  U  E  S  S  E    ','(K/L)',T71,'S C H U B V E R Z E R R U N G E N',/,1H ,T20,"
    "'TK(0)',T36,'TK(LK/2)',T57,'TK(LK)',T80,'GAMK(0)',T96,'GAMK(LK/2)',T117,'GAMK(LK)')",
    // twist, mass_moments, torsion
    "(1H0,T21,'SPEZIFISCHE VERDREHUNG THETA = ',D16.9,2X,'(1/L)')",
    "(1H0,T21,'MASSENTRAEGHEITSMOMENTE:',2X,'( BEZOGEN AUF EIN ','ZU DEN HAUPTACHSEN',/,1H ,T47,'PARALLELES SYSTEM "
    "IM SCHUB','MITTELPUNKT )',/,1H0,T21,'IYY =',D16.9,2X,'(M*L)',/,1H ,T21,'IZY =',D16.9,2X,'(M*L)',/,1H ,T21,'IZZ =',"
    "D16.9,2X,'(M*L)',/,1H0,T21,'POLARES MASSENTRAEGHEITSMOMENTE:',2X,'( BEZOGEN AUF DEN SCHWERPUNKT )',/,1H ,T21,"
    "'IT  =',D16.9,2X,'(M*L)')",
    "(1H0,T21,'TORSIONSSTEIFIGKEIT DT =',D16.9,2X,'(K * L**2)')",
    // force_sums, force_gap, force_head, force_row
    "(1H1,/////,1H ,T21,'SPX = ',D16.9,/,1H ,T21,'SPY = ',D16.9,/,1H ,T21,'SPZ = ',D16.9)",
    "(////)",
    "(1H ,T21,'AEQUIVALENTE KNOTENKRAEFTE IN  ',A1,'-RICHTUNG',/,1H0,'WAND NR.',T15,'IG1',T27,'PKNT(I,1,',I1,')',T48,"
    "'PKNT(I,2,',I1,')',T69,'PKNT(I,3,',I1,')',T86,'IG2')",
    "(1H ,I6,I10,6X,3(D16.9,5X),I2)",
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

void Report::write(Block block, std::span<const format::Value> values) const {
    if (report_ > 0) format::write_values(report_, format_of(block), values);
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
