// Card files: the shared syntax and the readers of the step and section cards.
#include "io/cards.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/errorhandling.hpp"
#include "core/format.hpp"
#include "core/process.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/iohandling.hpp"
#include "decl/stringhandling.hpp"
#include "io/io.hpp"
#include "mechanics/laminate.hpp"

namespace kestro::cards {

namespace {

constexpr std::size_t kLineLength = 80;
constexpr std::size_t kNameLength = 256;
constexpr int32_t kAbsent = std::numeric_limits<int32_t>::max();

std::string_view trimmed(std::string_view s) {
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

bool same(std::string_view a, std::string_view b) {
    return stringhandling::match(a.data(), b.data(), a.size(), b.size()) != 0;
}

}  // namespace

void Card::rewind() const { units::rewind(unit_); }
int64_t Card::line_number() const { return units::tell(unit_); }
std::string Card::path() const { return units::path_of(unit_); }

Card::Card(std::string_view filepath, std::string_view workspace, std::string_view name) : name_(name) {
    const int32_t first = 1, last = 120;
    const int32_t unit = GetFreeUnitNumber(&first, &last);
    if (unit < 1) return;
    // A cut name would open another file: the card is then looked for in filepath alone.
    const std::string card = std::string(trimmed(workspace)) + "/" + name_ + ".zrv";
    const bool whole = card.size() <= kNameLength;
    if (!whole)
        io::record_input_error(("Error: Path of " + name_ + ".zrv longer than 256 characters; not opened.").c_str());
    in_workspace_ = whole && units::open(unit, card, units::Access::read);
    if (in_workspace_ || units::open(unit, std::string(trimmed(filepath)), units::Access::read)) unit_ = unit;
}

Card::~Card() {
    if (unit_ > 0) units::close(unit_);
}

bool Card::next() {
    std::string_view record;
    const int status = units::read_record(unit_, &record);
    if (status > 0) fatal_error("Error reading unit %d (file %s)", unit_, units::path_of(unit_).c_str());
    if (status < 0) return false;
    line_.assign(record.substr(0, kLineLength));
    const std::string_view line = line_;
    const std::size_t comma = line.find(',');
    key_ = line.substr(0, comma);
    params_ = {};
    if (comma != std::string_view::npos) {
        const std::size_t start = line.find_first_not_of(' ', comma + 1);
        if (start != std::string_view::npos) params_ = line.substr(start);
    }
    return true;
}

bool Card::same(std::string_view a, std::string_view b) { return cards::same(a, b); }
bool Card::params_are(std::string_view p) const { return same(params_, p); }
bool Card::params_contain(std::string_view p) const {
    return stringhandling::occurs(params_.data(), p.data(), params_.size(), p.size()) != 0;
}
bool Card::params_empty() const { return trimmed(params_).empty(); }
bool Card::is_data_line() const {
    return !trimmed(line_).empty() && line_[0] != '*' && line_[0] != '+';
}

int32_t Card::block_number(std::size_t skip, int32_t previous) const {
    if (params_.size() <= skip) return previous;
    int32_t value = 0;
    return format::read_integer(params_.substr(skip), value) == format::status_ok ? value : previous;
}

int32_t Card::measure() const {
    // Every pass over the card measures the same blocks: each is counted once.
    const int64_t at = line_number();
    if (const auto known = measured_.find(at); known != measured_.end()) return known->second;
    bool cut = false;
    const int64_t n = io::data_block_size(unit_, "*+", &cut);
    if (cut) io::record_input_error(("Warning: A data line of " + name_ + " is cut at column 256.").c_str());
    return measured_[at] = static_cast<int32_t>(n);
}

std::vector<double> Card::reals() const {
    std::vector<double> values(static_cast<std::size_t>(measure()), 0.0);
    read(values.data(), static_cast<int64_t>(values.size()));
    return values;
}

void Card::read(double *out, int64_t n) const {
    measure();  // the warning of a line past column 256, once per block
    const auto count = static_cast<int32_t>(std::clamp<int64_t>(n, 0, kAbsent));
    iohandling::real_getdatapoints(&unit_, out, &count);
}

void Card::read(int32_t *out, int64_t n) const {
    measure();
    const auto count = static_cast<int32_t>(std::clamp<int64_t>(n, 0, kAbsent));
    iohandling::int_getdatapoints(&unit_, out, &count);
}

namespace {

// ---------------------------------------------------------------- step card

// "+Cycle" general or direct: cycleprops becomes (n / nsteps, nsteps), filled column by column.
void read_cycle_properties(const Card &card, int32_t nsteps) {
    if (nsteps < 1) {
        io::record_input_error("Error: +Cycle needs at least one step in GetStepDataFromFile.");
        return;
    }
    const std::vector<double> values = card.reals();
    const int64_t k = static_cast<int64_t>(values.size()) / nsteps;
    auto &props = shokriehdata::cycleprops;
    props.drop();
    props.create(k, nsteps);
    std::copy_n(values.begin(), k * nsteps, props.ptr());
}

// The table length that row 6 of cycleprops asks for, as a 4-byte integer.
int64_t table_length(int64_t steps) {
    double longest = 0.0;
    for (int64_t j = 1; j <= steps; ++j) longest = std::max(longest, shokriehdata::cycleprops(6, j));
    if (!(longest > 0.0)) return 0;  // NaN and negative lengths give no rows
    return static_cast<int64_t>(std::min(std::nearbyint(longest), double{kAbsent}));
}

// "+Cycle, TYPE=INDIVIDUAL": the block goes to the first step that has a table of its own.
void read_cycle_table(const Card &card, int32_t nsteps) {
    auto &props = shokriehdata::cycleprops;
    auto &cycles = shokriehdata::cycles;
    if (!props.exists() || props.extent_of(1) < 6) {
        io::record_input_error("Error: +Cycle, TYPE=INDIVIDUAL needs cycle properties in GetStepDataFromFile.");
        return;
    }
    const int64_t steps = std::min<int64_t>(nsteps, props.extent_of(2));
    if (!cycles.exists()) cycles.create(table_length(steps), std::max(nsteps, 0));
    for (int64_t j = 1; j <= std::min(steps, cycles.extent_of(2)); ++j)
        if (props(3, j) >= 3.0) card.read(cycles.ptr() + (j - 1) * cycles.extent_of(1), cycles.extent_of(1));
}

// What a step block has read and applies at its end line.
struct Pending {
    bool element = false, nodal = false, file = false;
    int32_t edebug = 0, ndebug = 0, fdebug = 0;
    std::vector<int32_t> update, verbosity;
    bool update_sized = false, verbosity_sized = false;
    int32_t verbosity_count = 0;
};

// Reads the option's block into a buffer sized by the first such option.
void read_buffer(const Card &card, std::vector<int32_t> &buffer, bool &sized, int32_t *count = nullptr) {
    const int32_t n = card.measure();
    if (count != nullptr) *count = n;
    if (!sized) {
        buffer.assign(static_cast<std::size_t>(n), 0);
        sized = true;
    }
    card.read(buffer.data(), static_cast<int64_t>(buffer.size()));
}

// The first value of the option's block, when it has one.
bool read_first(const Card &card, int32_t *value) {
    const int32_t n = card.measure();
    int32_t v = 0;
    card.read(&v, 1);
    if (n < 1) return false;
    *value = v;
    return true;
}

}  // namespace

}  // namespace kestro::cards

namespace kestro::iohandling {

void getstepdatafromfile(const char *filepath, const char *workspace, const int32_t *nsteps, size_t filepath_len,
                         size_t workspace_len) noexcept {
    using cards::Card;
    Card card(std::string_view(filepath, filepath_len), std::string_view(workspace, workspace_len), "StepCard");
    if (!card.is_open()) return;
    using namespace debugdata;
    fdebug = 0;
    nupdate = 1;
    edebug = 0;
    ndebug = 0;
    verbose = 0;
    unitid = -3;
    bool in_block = false;
    int32_t number = 0;
    cards::Pending pending;
    while (card.next()) {
        if (card.key_is("++Begin Step")) {
            if (in_block) cards::record_block_fault(card, number, " ends before its ++End Step line.");
            in_block = true;
            number = card.block_number(7, number);  // read, but every block applies to the whole analysis
        } else if (card.key_is("+Debug") && in_block && card.params_are("TYPE=ELEMENT")) {
            pending.element = cards::read_first(card, &pending.edebug) || pending.element;
        } else if (card.key_is("+Debug") && in_block && card.params_are("TYPE=NODAL")) {
            pending.nodal = cards::read_first(card, &pending.ndebug) || pending.nodal;
        } else if (card.key_is("+Debug") && in_block && card.params_are("TYPE=FILE")) {
            pending.file = cards::read_first(card, &pending.fdebug) || pending.file;
        } else if (card.key_is("+Verbose") && in_block) {
            cards::read_buffer(card, pending.verbosity, pending.verbosity_sized, &pending.verbosity_count);
        } else if (card.key_is("+Update") && (card.params_empty() || (in_block && card.params_are("TYPE=INC")))) {
            cards::read_buffer(card, pending.update, pending.update_sized);
        } else if (card.key_is("+Cycle") &&
                   (card.params_empty() || (in_block && card.params_contain("TYPE=GENERAL")))) {
            cards::read_cycle_properties(card, *nsteps);
        } else if (card.key_is("+Cycle") && in_block && card.params_are("TYPE=INDIVIDUAL")) {
            cards::read_cycle_table(card, *nsteps);
        } else if (card.key_is("+Cycle") && in_block && card.params_are("TYPE=DIRECT")) {
            if (!shokriehdata::cycles.exists() && *nsteps >= 1) {
                shokriehdata::cycles.create(1, *nsteps);
                shokriehdata::cycles.fill(1.0);
            }
            cards::read_cycle_properties(card, *nsteps);
        } else if (card.key_is("++End Step")) {
            if (!pending.update.empty()) nupdate = pending.update[0];
            if (pending.element) edebug = pending.edebug;
            if (pending.nodal) ndebug = pending.ndebug;
            if (pending.file) fdebug = pending.fdebug;
            if (!pending.verbosity.empty()) {
                verbose = pending.verbosity[0];
                unitid = pending.verbosity_count > 1 && pending.verbosity.size() > 1 ? pending.verbosity[1] : -3;
            }
            pending = cards::Pending();
            in_block = false;
        }
    }
    if (in_block) cards::record_block_fault(card, number, " ends before its ++End Step line.");
}

void getsectiondatafromfile(const char *filepath, const char *workspace, size_t filepath_len,
                            size_t workspace_len) noexcept {
    cards::read_section_card(std::string_view(filepath, filepath_len), std::string_view(workspace, workspace_len));
}

}  // namespace kestro::iohandling

namespace kestro::cards {

Reading read_section_card(std::string_view filepath, std::string_view workspace) {
    using iohandling::getnumberofkeywords;
    Card card(filepath, workspace, "SectionCard");
    if (!card.is_open()) return {};
    using namespace sectiondata;
    using materialdata::matidlist;
    const int32_t unit = card.unit(), lkey = 15;
    const kestro_logical1 rewind_after = 1;
    const int32_t blocks = getnumberofkeywords(&unit, "++BEGIN SECTION", &lkey, &rewind_after, 15);
    nsec = std::max(nsec, blocks);
    while (card.next())
        if (card.line_is("+Orientation")) nplies = std::max(nplies, card.measure());
    card.rewind();

    // The section arrays, created once; any of them that is missing is created too.
    const int64_t plies = std::max(nplies, 0), sections = std::max(nsec, 0);
    if (matidlist.create_if_absent(plies, sections)) matidlist.fill(plies * sections == 1 ? 1 : kAbsent);
    plyorientation.create_if_absent(plies, sections);
    secidlist.create_if_absent(sections);
    xcstrength.create_if_absent(sections);
    plythickness.create_if_absent(plies, sections);
    plyzcoord.create_if_absent(2 * plies + 1, sections);
    seflags.create_if_absent(2, sections);
    sehmatrix.create_if_absent(2, 2, sections);
    sefmatrix.create_if_absent(2 * plies + 1, 4, sections);

    // Column isec of a (plies, sections) array, with its length; null beyond the array.
    const auto column = [](auto &array, int64_t isec) {
        using T = std::remove_reference_t<decltype(*array.ptr())>;
        if (isec > array.extent_of(array.rank_v) || !array.exists()) return std::pair<T *, int64_t>{nullptr, 0};
        const int64_t length = array.size() / std::max<int64_t>(array.extent_of(array.rank_v), 1);
        return std::pair<T *, int64_t>{array.ptr() + (isec - 1) * length, length};
    };
    int64_t isec = 1;
    bool in_section = false, data = false;  // data: a data line stands in the block
    int32_t number = 0, materials = 0, orientations = 0, thicknesses = 0;
    constexpr std::string_view cut = " ends before its ++End Section line.";
    while (card.next()) {
        data = data || (in_section && card.is_data_line());  // of an option not read
        if (card.key_is("++Begin Section")) {
            if (in_section) record_block_fault(card, number, cut);
            in_section = true;
            data = false;
            number = card.block_number(6, number);
        } else if (card.key_is("+Material") && in_section) {
            materials = card.measure();
            data = data || materials > 0;
            if (auto [col, n] = column(matidlist, isec); col != nullptr) card.read(col, n);
        } else if (card.key_is("+Orientation") && in_section) {
            orientations = card.measure();
            data = data || orientations > 0;
            if (auto [col, n] = column(plyorientation, isec); col != nullptr) card.read(col, n);
        } else if (card.key_is("+Thickness") && in_section) {
            thicknesses = card.measure();
            data = data || thicknesses > 0;
            if (auto [col, n] = column(plythickness, isec); col != nullptr) card.read(col, n);
        } else if (card.key_is("+Extension") && in_section) {
            data = data || card.measure() > 0;
            if (auto [col, n] = column(seflags, isec); col != nullptr) card.read(col, n);
        } else if (card.key_is("+Strength") && in_section && !card.params_are("TYPE=INSITU")) {
            data = data || card.measure() > 0;
            if (isec <= xcstrength.extent_of(1)) card.read(&xcstrength(isec), 1);
        } else if (card.key_is("++End Section")) {
            if (in_section && !data) record_block_fault(card, number, " holds no data lines.");
            if (isec <= secidlist.extent_of(1)) secidlist(isec) = number;
            // A single value stands for every ply of the section.
            if (auto [col, n] = column(matidlist, isec); col != nullptr && materials == 1)
                std::fill_n(col, std::min<int64_t>(std::max(orientations, 1), n), col[0]);
            if (auto [col, n] = column(plythickness, isec); col != nullptr && thicknesses == 1)
                std::fill_n(col, std::min<int64_t>(std::max(orientations, 0), n), col[0]);
            ++isec;
            in_section = false;
        }
    }
    if (in_section) record_block_fault(card, number, cut);
    laminate::section_z_coordinates(
        plyzcoord.ptr(), plyzcoord.extent_of(1), matidlist.ptr(), matidlist.extent_of(1), plythickness.ptr(),
        plythickness.extent_of(1),
        std::min({matidlist.extent_of(1), plythickness.extent_of(1), (plyzcoord.extent_of(1) - 1) / 2}),
        std::min({matidlist.extent_of(2), plythickness.extent_of(2), plyzcoord.extent_of(2)}), kAbsent);
    return {blocks, card.in_workspace()};
}

}  // namespace kestro::cards
