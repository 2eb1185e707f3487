// Analysis control: the external-database entries that a solver calls at the
// start and end of the analysis, of its steps and of its increments.  Start-up
// reads the input deck for the step kinds and the impactors, has the card
// files read and builds the section tables; the increment events keep the
// impactors' motion, the stored section stresses, the cycle count of fatigue
// steps and the periodic clearing of transverse stresses up to date.  The
// increment events read no file but the message file and create no arrays
// but the stored stresses and element lengths.
#include "solver/control.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/job.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/conventions.hpp"
#include "decl/datahandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/iohandling.hpp"
#include "decl/laminate.hpp"
#include "decl/signalprocessing.hpp"
#include "io/cards.hpp"

namespace kestro::solver {

namespace {

constexpr std::size_t kDeckLineLength = 80;
constexpr int32_t kLargestCount = std::numeric_limits<int32_t>::max();
constexpr int32_t kWindow = 5;  // contact forces in an impactor's moving average

// The control entry's own saved data: the last contact forces of each
// impactor and how many of them its window holds.
Allocatable<double, 2> window("window");
Allocatable<int32_t, 1> denom("denom");
// The shell count of the explicit entry's last consolidation of reference data.
int32_t shell_count = 0;

using job::job_file;
using job::text_of;

int32_t free_unit() {
    const int32_t first = 1, last = 120;
    return GetFreeUnitNumber(&first, &last);
}

template <class T, int R, class... E>
bool has_shape(const Allocatable<T, R> &a, E... extents) {
    const int64_t want[] = {static_cast<int64_t>(extents)...};
    if (!a.exists()) return false;
    for (int d = 0; d < R; ++d)
        if (a.extent_of(d + 1) != want[d]) return false;
    return true;
}

// Creates the array anew unless it has exactly these extents; true when it did.
template <class T, int R, class... E>
bool reshape(Allocatable<T, R> &a, E... extents) {
    if (has_shape(a, extents...)) return false;
    a.drop();
    a.create(extents...);
    return true;
}

// Zeroes the leading block count(1) x ... x count(R) of an array, cut to its extents.
template <class T, int R>
void zero_leading(const Allocatable<T, R> &a, std::array<int64_t, R> count) {
    if (!a.exists()) return;
    for (int d = 0; d < R; ++d) {
        count[d] = std::clamp<int64_t>(count[d], 0, a.extent_of(d + 1));
        if (count[d] == 0) return;
    }
    std::array<int64_t, R> at{};  // 0-based indices of dimensions 2..R
    for (;;) {
        int64_t column = 0;
        for (int d = R - 1; d >= 1; --d) column = column * a.extent_of(d + 1) + at[d];
        std::fill_n(a.ptr() + column * a.extent_of(1), count[0], T{});
        int d = 1;
        for (; d < R && ++at[d] == count[d]; ++d) at[d] = 0;
        if (d >= R) return;
    }
}

int64_t element_count() { return std::max<int64_t>(elementdata::nelem, 0); }

// The rows of the stored section-point stresses: the largest section-point
// count of an element times the ply count, 0 when that is not positive.
int64_t section_point_rows() {
    const auto &points = sectiondata::nsectionpoints;
    const auto span = points.span();
    const int64_t largest = span.empty() ? 0 : *std::max_element(span.begin(), span.end());
    return std::max<int64_t>(largest * sectiondata::nplies, 0);
}

template <class Pred>
bool any_kind(Pred pred) {
    const auto kinds = elementdata::elemkind.span();
    return std::any_of(kinds.begin(), kinds.end(), pred);
}

// The impactors whose columns cprops (and, for the motion, window and denom) hold.
int64_t contact_columns() {
    const auto &cprops = impactdata::cprops;
    if (cprops.extent_of(1) < kImpactRows) return 0;
    return std::clamp<int64_t>(loaddata::nimp, 0, cprops.extent_of(2));
}
int64_t moving_columns() {
    return std::min({contact_columns(), window.extent_of(2), denom.extent_of(1)});
}
double *contact_column(int64_t i) { return &impactdata::cprops(1, i); }

// ---------------------------------------------------------------- start-up

// A deck line of 80 columns split at its first comma, both parts upper-cased,
// the head without trailing blanks.
struct DeckLine {
    std::string head, rest;
};

DeckLine split_deck_line(std::string_view record) {
    record = record.substr(0, kDeckLineLength);
    const std::size_t comma = record.find(',');
    DeckLine line{std::string(record.substr(0, comma)),
                  comma == std::string_view::npos ? std::string() : std::string(record.substr(comma + 1))};
    for (std::string *s : {&line.head, &line.rest})
        for (char &c : *s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    line.head.erase(line.head.find_last_not_of(' ') + 1);
    return line;
}

bool contains(const std::string &text, std::string_view key) { return text.find(key) != std::string::npos; }

// The first values of a record read as list-directed input reads three
// reals, as far as they are numbers: how many were read.
int leading_reals(std::string_view record, std::array<double, 3> &values) {
    int got = 0;
    format::scan_list(record, [&](std::string_view text, int64_t repeat) {
        double v = 0.0;
        if (text.empty() || format::parse_real(text, v) != format::status_ok) return false;
        for (int64_t r = 0; r < repeat && got < 3; ++r) values[static_cast<std::size_t>(got++)] = v;
        return got < 3;
    });
    return got;
}

// The step kinds and the impactors of the deck open on unit; the positions of
// the impactors, in the order of their marks.
std::vector<std::array<double, 3>> read_deck(int32_t unit) {
    static constexpr std::array<std::string_view, 6> kStepKeys = {
        "ZRV_INITIALIZATION", "ZRV_FATIGUE", "ZRV_STRUCTRESPONSE", "ZRV_IMPACT", "ZRV_RELAXATION", "ZRV_DIC"};
    const int32_t lkey = 5;
    const kestro_logical1 rewind_after = 1;
    jobdata::nsteps = iohandling::getnumberofkeywords(&unit, "*Step", &lkey, &rewind_after, 5);
    auto &stepid = jobdata::stepid;
    stepid.create(std::max(jobdata::nsteps, 0));
    stepid.fill(fatigue);

    std::vector<std::array<double, 3>> positions;
    int64_t step = 0;
    std::string_view record;
    while (units::read_record(unit, &record) == units::read_ok) {
        const DeckLine line = split_deck_line(record);
        const bool step_line = line.head == "*STEP";
        if (step_line && ++step <= stepid.extent_of(1)) {
            const auto key = std::find_if(kStepKeys.begin(), kStepKeys.end(),
                                          [&](std::string_view k) { return contains(line.rest, k); });
            if (key != kStepKeys.end()) stepid(step) = static_cast<int32_t>(key - kStepKeys.begin());
        }
        if (!(step_line || line.head == "*INSTANCE") || !contains(line.rest, "ZRV_SENSORELEMENT")) continue;
        // The impactor's coordinates stand on the next record alone; a record
        // that does not hold them is read again as a line of its own.
        std::array<double, 3> &at = positions.emplace_back();
        const bool read = units::read_record(unit, &record) == units::read_ok;
        if (read && leading_reals(record, at) == 3) continue;
        if (read) units::backspace(unit);
        record_error(-2, "Warning: Impactor position missing in UEXTERNALDB_IOControl.");
    }
    units::rewind(unit);
    return positions;
}

// The impact data of the impactors at their positions, with their start values.
void prepare_impact_data(const std::vector<std::array<double, 3>> &positions) {
    const auto count = static_cast<int64_t>(std::min<std::size_t>(positions.size(), kLargestCount));
    loaddata::nimp = static_cast<int32_t>(count);
    auto &cprops = impactdata::cprops;
    auto &dprops = loaddata::dprops;
    reshape(cprops, kImpactRows, count);
    reshape(denom, count);
    reshape(window, kWindow, count);
    cprops.fill(0.0);
    denom.fill(0);
    window.fill(0.0);
    reshape(dprops, elements::kLoadRows, count);
    dprops.fill(0.0);
    // The implicit impactors' measurements and handed-over compliances belong
    // to one analysis; deallocall keeps them, so a new one starts without.
    impactdata::csvars.drop();
    for (int64_t i = 1; i <= count; ++i) {
        cprops(acceleration, i) = kGravity;
        cprops(largest_force, i) = static_cast<double>(i);
        cprops(largest_indentation, i) = kIndentationStart;
        const auto &p = positions[static_cast<std::size_t>(i - 1)];
        std::copy(p.begin(), p.end(), &dprops(elements::load_position, i));
        // No nearest element yet: its distances are not set (0.0 is a distance).
        dprops(elements::nearest, i) = dprops(elements::farthest, i) = kAbsentReal;
    }
}

// The through-thickness shear shapes and the shear stiffness of every
// section, over the sections and plies of plyorientation, when the section
// and material data are there and agree with it.
void build_section_tables() {
    using namespace sectiondata;
    using materialdata::matidlist;
    using materialdata::peprops;
    if (!matidlist.exists() || !plyorientation.exists() || !plythickness.exists() || !plyzcoord.exists() ||
        !peprops.exists() || !sefmatrix.exists() || !sehmatrix.exists())
        return;
    const int64_t plies = plyorientation.extent_of(1), sections = plyorientation.extent_of(2);
    if (!has_shape(matidlist, plies, sections) || !has_shape(plythickness, plies, sections) ||
        peprops.extent_of(1) < 9 || peprops.extent_of(2) != plies || peprops.extent_of(3) != sections ||
        plies > (kLargestCount - 1) / 2 || sections > kLargestCount || peprops.extent_of(1) > kLargestCount)
        return;
    const auto n = static_cast<int32_t>(plies), s = static_cast<int32_t>(sections);
    const auto nelastic = static_cast<int32_t>(peprops.extent_of(1));
    if (reshape(plyzcoord, 2 * plies + 1, sections))
        GetSectionZCoord(plyzcoord.ptr(), matidlist.ptr(), plythickness.ptr(), &n, &s, nullptr);
    reshape(sefmatrix, 2 * plies + 1, 4, sections);
    reshape(sehmatrix, 2, 2, sections);
    GetSectionFMatrix(sefmatrix.ptr(), matidlist.ptr(), plyorientation.ptr(), plythickness.ptr(), plyzcoord.ptr(),
                      peprops.ptr(), &n, &s, nullptr, &nelastic);
    GetSectionHMatrix(sehmatrix.ptr(), matidlist.ptr(), plyorientation.ptr(), plythickness.ptr(), peprops.ptr(), &n,
                      &s, nullptr, nullptr, &nelastic);
}

void start_up() {
    const int32_t unit = free_unit();
    loaddata::nimp = 0;
    damagedata::ndmg = 0;
    sectiondata::nsec = 1;
    sectiondata::nplies = 1;
    debugdata::nupdate = 1;
    toplevel::smax = 0.0;  // the hail material's cut-off latch opens for the new analysis
    std::string deck = job_file(".pes");
    bool opened = units::open(unit, deck, units::Access::read);
    if (!opened) {
        deck = job_file(".inp");
        opened = units::open(unit, deck, units::Access::read);
    }
    if (!opened || jobdata::stepid.exists()) {
        record_error(-3, "Cannot process any input file. Execution stops.  Please check paths and your input deck "
                         "format.");
        jobdata::nsteps = static_cast<int32_t>(std::min<int64_t>(jobdata::stepid.extent_of(1), kLargestCount));
        if (opened) units::close(unit);
    } else {
        jobdata::solverid = 1;
        const auto positions = read_deck(unit);
        units::close(unit);
        if (jobdata::nsteps == 0) record_error(-2, "Error: The input deck holds no *Step line.");
        prepare_impact_data(positions);
    }
    const std::string outdir = text_of(jobdata::joboutdir, sizeof jobdata::joboutdir);
    const char *d = deck.data(), *w = outdir.data();
    const std::size_t dl = deck.size(), wl = outdir.size();
    iohandling::getstepdatafromfile(d, w, &jobdata::nsteps, dl, wl);
    // Without sections and materials the section tables have nothing to build on.  The deck is
    // read only when the card file does not open: a card file without blocks hides the deck's.
    const cards::Reading sections = cards::read_section_card(deck, outdir);
    if (sections.blocks == 0)
        record_error(-2, sections.in_workspace
                             ? "SectionCard.zrv has no section block; the deck is read only if it cannot open."
                             : "No section card read: SectionCard.zrv and the input deck hold no section.");
    const cards::Reading materials = cards::read_material_card(deck, outdir, sectiondata::nplies, sectiondata::nsec);
    if (materials.blocks == 0)
        record_error(-2, materials.in_workspace
                             ? "MaterialCard.zrv has no material block; the deck is read only if it cannot open."
                             : "No material card read: MaterialCard.zrv and the input deck hold no material.");
    iohandling::getdamagedatafromfile(d, w, &sectiondata::nplies, &sectiondata::nsec, dl, wl);
    build_section_tables();
}

// ---------------------------------------------------------------- increment start

void reset_contact(int64_t n) {
    bool pressing = true;  // no contact force is negative
    for (int64_t i = 1; i <= n; ++i) pressing = pressing && contact_column(i)[0] >= 0.0;
    for (int64_t i = 1; i <= n; ++i) {
        double *c = contact_column(i);
        if (pressing && !(c[mass - 1] > 0.0)) continue;
        if (pressing) c[force - 1] = 0.0;
        c[contact_radius - 1] = c[indentation - 1] = c[cleared_each_update - 1] = 0.0;
    }
}

// The cycle count of a fatigue step whose count the solver's message file
// gives: the second word of the last line beginning with CYCLE.
void read_cycle_count(int32_t kstep) {
    using shokriehdata::cycleprops;
    using shokriehdata::cycles;
    if (kstep < 1 || kstep > cycleprops.extent_of(2) || cycleprops.extent_of(1) < 3 || cycleprops(3, kstep) != 5.0)
        return;  // the count comes from elsewhere: the file need not be read
    double *count = kstep <= cycles.extent_of(2) && cycles.extent_of(1) >= 1 ? &cycles(1, kstep) : nullptr;
    const int32_t unit = free_unit();
    if (!units::open(unit, job_file(".msg"), units::Access::read)) {
        if (count != nullptr) *count = std::max(*count, 1.0);
        return;
    }
    const kestro_logical1 keep_position = 0;
    const int32_t lines = GetFileLength(&unit, &keep_position), backwards = -1, lkey = 5, step_back = 1;
    const bool found = iohandling::get2nextkey(&unit, &backwards, "CYCLE", &lkey, &lines, &step_back, 5) != 0;
    std::string_view record;
    if (!found) {
        if (count != nullptr) *count = std::max(*count, 1.0);
    } else if (units::read_record(unit, &record) == units::read_ok) {
        // The words of the found line alone; the second read as a real.
        std::string_view second;
        int words = 0;
        format::scan_list(record, [&](std::string_view text, int64_t) {
            if (++words == 2) second = text;
            return words < 2;
        });
        double value = 0.0;
        if (count != nullptr && !second.empty() && format::parse_real(second, value) == format::status_ok)
            *count = value;
    }
    units::close(unit);
}

void start_increment(int32_t kstep) {
    using namespace sectiondata;
    const int32_t kind = step_kind(kstep);
    if (impactdata::cprops.exists() && kind == impact) reset_contact(contact_columns());

    auto &elemlength = elementdata::elemlength;
    if (elementdata::elemkind.exists() && !elemlength.exists() && any_kind(continuum)) {
        elemlength.create(3, element_count());
        elemlength.fill(-1.0);
    }

    if (elementdata::elemkind.exists() && nsectionpoints.exists() && !sestress.exists() && kstep > 1 &&
        kind != initialization && kind != structural_response && kind != relaxation && kind != image_correlation) {
        const int64_t rows = section_point_rows(), elems = element_count();
        sestress.create(6, rows, any_kind(continuum) ? 27 : 4, elems);
        if (any_kind(conventional_shell)) {
            const int64_t points = plyzcoord.exists() ? plyzcoord.extent_of(1) : 2 * std::max<int64_t>(nplies, 0) + 1;
            tnormalstress.create_if_absent(points, elems);
            tnormalstress.fill(0.0);
            tshearstress.create_if_absent(rows, 2, 4, elems);
            tshearstress.fill(0.0);
        }
    }

    if (shokriehdata::cycles.exists() && shokriehdata::cycleprops.exists() && kind == fatigue) read_cycle_count(kstep);
}

// ---------------------------------------------------------------- increment end

// One impactor's motion over the increment dt, then its running maxima, the
// values kept for the next increment and the decrease mark of its forces.
void move_impactor(double *c, double *forces, int32_t *held, double dt) {
    const auto row = [c](int r) -> double & { return c[r - 1]; };
    if (std::all_of(c, c + acceleration, [](double x) { return x == 0.0; })) return;
    const double f = row(force), m = row(mass);
    if (m == 0.0) {
        row(last_force) = f;
        row(last_contact_radius) = row(contact_radius);
        return;
    }
    const double u = row(displacement), v = row(velocity), a = row(acceleration);
    const double p1 = row(scheme_alpha), p2 = row(scheme_beta), p3 = row(scheme_gamma);
    if (p1 == 0.0 && p2 == 0.0 && p3 == 0.0) {
        // no integration
    } else if (p1 == -1.0 && p2 == -1.0 && p3 == -1.0) {  // central difference
        const double v_half = row(half_velocity) + 0.5 * (row(last_increment) + dt) * a;
        row(last_increment) = dt;
        row(half_velocity) = v_half;
        const double a1 = kGravity - f / m;
        row(acceleration) = a1;
        row(velocity) = v_half + 0.5 * dt * a1;
        row(displacement) = u + dt * v_half;
    } else if (p1 == -2.0 && p2 == -2.0 && p3 == -2.0) {  // velocity weight w in row 20
        const double w = row(last_increment), a1 = kGravity - f / m;
        row(acceleration) = a1;
        row(velocity) = v + dt * ((1.0 - w) * a + w * a1);
        row(displacement) = u + dt * v + 0.5 * dt * dt * a1;
    } else {  // Newmark with force weighting: alpha, beta, gamma
        const double a1 = kGravity - ((1.0 + p1) * f - p1 * row(last_force)) / m;
        row(acceleration) = a1;
        row(velocity) = v + dt * ((1.0 - p3) * a + p3 * a1);
        row(displacement) = u + dt * v + dt * dt * ((0.5 - p2) * a + p2 * a1);
    }
    row(largest_indentation) = std::max(row(indentation), row(largest_indentation));
    row(largest_force) = std::max(f, row(largest_force));
    row(last_force) = f;
    row(last_contact_radius) = row(contact_radius);
    row(cleared_each_update) = 0.0;
    double average = 0.0;
    WeightedMovingAverage(&average, &f, forces, held, &kWindow, nullptr);
    if (average > f && *held == kWindow) row(rebound_mark) = 1.0;
}

// The implicit impactor hands the last increment's force on in every call in
// which its struck point does not move, and freezes its reference in row 13
// at the first call that moves it.  An increment with contact that ends with
// row 13 still 0 has handed the force on throughout: on a struck point that
// never moves (a rigid support) the impactor would pass through under a
// frozen force.  Recorded, not mended: the first iteration needs the hand-on.
void record_held_struck_points(int64_t n) {
    for (int64_t i = 1; i <= n; ++i) {
        const double *c = contact_column(i);
        if (c[force - 1] != 0.0 && c[mass - 1] > 0.0 && c[cleared_each_update - 1] == 0.0)
            record_error(-2,
                         "Warning: the struck point of impactor %I did not move in an increment with contact; the "
                         "last force was handed on.",
                         {static_cast<int32_t>(i)});
    }
}

void clear_transverse_stresses() {
    using namespace sectiondata;
    const int64_t elems = element_count();
    zero_leading(tnormalstress, {2 * int64_t{nplies} + 1, elems});
    zero_leading(tshearstress, {section_point_rows(), 2, 4, elems});
}

// Node slots beyond the fourth of the four-node shells.
void clear_shell_node_motions() {
    const auto &motion = nodaldata::nodesmotion;
    const auto &kinds = elementdata::elemkind;
    if (!motion.exists() || !kinds.exists() || motion.extent_of(2) <= 4) return;
    const int64_t elems = std::min(motion.extent_of(3), kinds.extent_of(1));
    const int64_t rows = motion.extent_of(1), extra = (motion.extent_of(2) - 4) * rows;
    for (int64_t e = 1; e <= elems; ++e)
        if (kinds(e) >= 1 && kinds(e) <= 3) std::fill_n(&motion(1, 5, e), extra, 0.0);
}

void end_increment(int32_t kstep, int32_t kinc, double dt, bool from_explicit) {
    const int32_t kind = step_kind(kstep);
    if (impactdata::cprops.exists() && kind == structural_response) {
        for (int64_t i = 1, n = contact_columns(); i <= n; ++i)
            contact_column(i)[largest_force - 1] = contact_column(i)[largest_indentation - 1] = 0.0;
    }
    if (impactdata::cprops.exists() && kind == impact) {
        // The explicit impactor keeps no reference in row 13.
        if (!from_explicit && kinc > 1) record_held_struck_points(contact_columns());
        for (int64_t i = 1, n = moving_columns(); i <= n; ++i)
            move_impactor(contact_column(i), &window(1, i), &denom(i), dt);
    }
    // Every nupdate increments under the explicit solver (the cyclic index of
    // kinc + 1 depends on its remainder only), at every one otherwise.
    const int32_t every = debugdata::nupdate;
    const int32_t next = every == 0 ? kinc : static_cast<int32_t>((int64_t{kinc} + 1) % every);
    if (!from_explicit || mLimit(&next, &every) == every) {
        clear_transverse_stresses();
        clear_shell_node_motions();
    }
}

void end_analysis() {
    window.drop();
    denom.drop();
    int32_t istat = 0;
    datahandling::deallocall(&istat);
}

}  // namespace

}  // namespace kestro::solver

extern "C" {

void UEXTERNALDB_IOControl(KESTRO_UEXTERNALDB_PARAMETERS, const int32_t *exflag) {
    using namespace kestro::solver;
    const bool from_explicit = exflag != nullptr && *exflag == 1;
    switch (*lop) {
        case analysis_start:
        case restart: start_up(); break;
        case increment_start:
            if (!from_explicit) start_increment(*kstep);
            break;
        case increment_setup: start_increment(*kstep); break;
        case increment_end: end_increment(*kstep, *kinc, *dtime, from_explicit); break;
        case analysis_end: end_analysis(); break;
        default: break;  // start and end of step, and unknown events
    }
}

void VUEXTERNALDB_IOControl(KESTRO_VEXTERNALDB_PARAMETERS, const int32_t *mpi_rank) {
    using namespace kestro::solver;
    using kestro::jobdata::stepid;
    const int32_t op = *k;
    // Other ranks take part only in the increment and step ends of a started analysis.
    if (mpi_rank != nullptr && *mpi_rank != 0 && !(stepid.exists() && (op == 4 || op == 5))) return;
    const auto integer = [&](int32_t i) { return i <= *niarray ? i_array[i - 1] : 0; };
    const auto real = [&](int32_t i) { return i <= *nrarray ? r_array[i - 1] : 0.0; };
    const double time[2] = {real(2), real(1)}, dtime = real(3);
    const int32_t kstep = integer(3), kinc = integer(4), lrestart = 0, exflag = 1;
    static constexpr int32_t kEvents[7] = {analysis_start, step_start,   increment_setup, increment_start,
                                           increment_end,  step_end,     analysis_end};
    if (op < 0 || op > 6) return;
    if (op == 1) kestro::jobdata::stepcount = std::max(kestro::jobdata::stepcount, kstep);
    UEXTERNALDB_IOControl(&kEvents[op], &lrestart, time, &dtime, &kstep, &kinc, &exflag);
    if (op == 0) {
        const std::string listing = job_file(".dat");
        kestro::iohandling::getabqdatafromfile(listing.data(), listing.size());
    } else if (op == 5 && kstep > 0 && step_kind(kstep) == initialization) {
        const int32_t list = 1;
        int32_t ierror = 0;
        GetElementReferenceData(&shell_count, &ierror, &list);
    }
}

void UACCESS_IOControl(const int32_t *lop, const double * /*dtime*/) {
    using namespace kestro::solver;
    if (*lop == 2) clear_transverse_stresses();
    if (*lop == 3) end_analysis();
}

}  // extern "C"
