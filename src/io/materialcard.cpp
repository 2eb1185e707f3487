// The material card: three passes over the card (sizing, temperatures,
// filling) and the distribution of each material block to the plies whose
// material id is its number.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/process.hpp"
#include "core/shared_data.hpp"
#include "decl/iohandling.hpp"
#include "decl/lamina.hpp"
#include "decl/signalprocessing.hpp"
#include "decl/stringhandling.hpp"
#include "io/cards.hpp"
#include "io/io.hpp"
#include "mechanics/plydata.hpp"

namespace kestro::cards {

namespace {


// The options of a material block; each "+Calibration" type is an option of its own.
enum Option : int {
    ModelId,
    Temperature,
    Elastic,
    Strength,
    Hygrothermal,
    Fracture,
    Initiation,
    Evolution,
    Degradation,
    DamageProperties,
    Viscous,
    Factors,
    Cure,  // the eight cure blocks, columns 1 to 8 of cuprops
    CureLast = Cure + 7,
    Calibration,  // Secant, Normal, Shear, Alpha1, Alpha2, Alpha3, Plasticity, EquivalentStress
    CalibrationLast = Calibration + 7,
    I10Ratio,
    I10,
    Options
};

constexpr int kCalibrations = 8;
constexpr int kPlasticity = 6, kEquivalentStress = 7;

bool integer_option(int option) { return option == ModelId || option == Initiation || option == Evolution; }

std::optional<int> recognised(const Card &card) {
    // "+Temperature" is compared on the first 12 characters of the key.
    const std::string_view first = card.key().substr(0, 12);
    if (stringhandling::match(first.data(), "+Temperature", first.size(), 12) != 0) return Temperature;
    const bool empty = card.params_empty();
    if (card.key_is("+ModelID")) return ModelId;
    if (card.key_is("+Elastic")) return Elastic;
    if (card.key_is("+Strength")) return Strength;
    if (card.key_is("+Hygrothermal")) return Hygrothermal;
    if (card.key_is("+Fracture")) return Fracture;
    if (card.key_is("+Failure")) {
        if (empty || card.params_contain("TYPE=INITIATION")) return Initiation;
        if (card.params_contain("TYPE=EVOLUTION")) return Evolution;
        if (card.params_contain("TYPE=DEGRADATION")) return Degradation;
        if (card.params_contain("TYPE=PROPERTIES")) return DamageProperties;
        return std::nullopt;
    }
    if (card.key_is("+Regularization"))
        return card.params_contain("TYPE=VISCOUS") ? std::optional<int>(Viscous) : std::nullopt;
    if (card.key_is("+Table"))
        return card.params_contain("TYPE=TEMPERATURE") ? std::optional<int>(Factors) : std::nullopt;
    static constexpr std::string_view cure_keys[6] = {"+GelPoint",  "+Enthalpie", "+Expansion",
                                                      "+Shrinkage", "",           "+Transition"};
    for (int c = 0; c < 6; ++c)
        if (!cure_keys[c].empty() && card.key_is(cure_keys[c])) return Cure + c;
    if (card.key_is("+Curing")) {
        if (empty || card.params_contain("TYPE=EXPONENTIAL")) return Cure + 4;
        if (card.params_contain("TYPE=RATE")) return Cure + 6;
        if (card.params_contain("TYPE=MASTER")) return Cure + 7;
        return std::nullopt;
    }
    if (card.key_is("+Calibration")) {
        static constexpr std::string_view types[kCalibrations] = {
            "TYPE=Secant", "TYPE=Normal", "TYPE=Shear",      "TYPE=Alpha1",
            "TYPE=Alpha2", "TYPE=Alpha3", "TYPE=Plasticity", "TYPE=EquivalentStress"};
        for (int t = 0; t < kCalibrations; ++t)
            if (card.params_contain(types[t])) return Calibration + t;
        return std::nullopt;
    }
    if (card.key_is("+I10")) return card.params_contain("TYPE=Ratio") ? I10Ratio : I10;
    return std::nullopt;
}

// The table sizes the card asks for (sizing pass).
struct Sizes {
    int64_t elastic = ply::kConstants, strength = ply::kStrengths, temperatures = 1, hygro = 1, fracture = 1,
            damage = 1, viscous = 1, rate = 7, master = 1;
    std::array<int64_t, kCalibrations> calibration{};
};

Sizes size_card(Card &card) {
    Sizes z;
    bool in_block = false;
    while (card.next()) {
        if (card.key_is("++Begin Material")) {
            in_block = true;
            continue;
        }
        if (card.key_is("++End Material")) {
            in_block = false;
            continue;
        }
        const std::optional<int> option = recognised(card);
        if (!in_block || !option) continue;
        const int64_t n = card.measure();
        switch (*option) {
            case Strength:
                z.strength = std::max(z.strength, n);
                break;
            case Temperature:
                z.temperatures = std::max(z.temperatures, n);
                break;
            case Elastic:
                z.elastic = std::max(z.elastic, n);
                break;
            case Hygrothermal:
                z.hygro = std::max(z.hygro, n);
                break;
            case Fracture:
                z.fracture = std::max(z.fracture, n);
                break;
            case DamageProperties:
                z.damage = std::max(z.damage, n);
                break;
            case Viscous:
                z.viscous = std::max(z.viscous, n);
                break;
            case Cure + 6:
                z.rate = std::max(z.rate, n);
                break;
            case Cure + 7:
                z.master = n;
                break;  // the last such block counts
            default:
                if (*option >= Calibration && *option <= CalibrationLast)
                    z.calibration[*option - Calibration] = std::max(z.calibration[*option - Calibration], n);
        }
    }
    card.rewind();
    return z;
}

// One material block as the fill pass reads it.
struct Block {
    int32_t number = 0;
    bool data = false;  // a data line stands in the block
    std::array<bool, Options> given{};
    std::array<std::vector<double>, Options> reals;
    std::array<std::vector<int32_t>, Options> ints;
    std::array<int64_t, kCalibrations> row{};  // the calibration row of each type
    int64_t count(int option) const {
        return static_cast<int64_t>(integer_option(option) ? ints[option].size() : reals[option].size());
    }
};

// The options whose value count is limited, with the counts they take:
// from least to most, or (Degradation) exactly the one or the other.
struct Limit {
    int option;
    std::string_view name, takes;
    int32_t least, most;
};
constexpr Limit kLimits[] = {
    {Elastic, "+Elastic", "2 to 9", 2, ply::kConstants},
    {Strength, "+Strength", "at most 10", 0, ply::kStrengths},
    {Hygrothermal, "+Hygrothermal", "at most 5", 0, 5},
    {Fracture, "+Fracture", "at most 5", 0, 5},
    {Initiation, "+Failure", "at most 5", 0, 5},
    {Evolution, "+Failure, TYPE=EVOLUTION", "at most 5", 0, 5},
    {Degradation, "+Failure, TYPE=DEGRADATION", "6 or 12", 6, 12},
    {DamageProperties, "+Failure, TYPE=PROPERTIES", "at most 5", 0, 5},
};

// Whether a block's value count lies within its option's limit.
bool within_limit(int option, int64_t n) {
    for (const Limit &l : kLimits)
        if (l.option == option)
            return option == Degradation ? n == l.least || n == l.most : n >= l.least && n <= l.most;
    return true;
}

// The distinct temperatures of the list and the material, ascending; the
// marker alone when there are none.
void merge_temperatures(const std::vector<double> &material) {
    auto &list = materialdata::temperatures;
    std::vector<double> all;
    for (double t : list.span())
        if (t != kAbsentReal && !std::isnan(t)) all.push_back(t);
    for (double t : material)
        if (t != kAbsentReal && !std::isnan(t)) all.push_back(t);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    if (all.empty()) all.push_back(kAbsentReal);
    list.drop();
    list.create(static_cast<int64_t>(all.size()));
    std::copy(all.begin(), all.end(), list.ptr());
}

// The per-ply table entry (i, p, s), when the table holds it.
template <class Array>
auto *entry(Array &a, int64_t i, int64_t p, int64_t s) {
    using T = std::remove_reference_t<decltype(*a.ptr())>;
    if (!a.exists() || i < 1 || i > a.extent_of(1) || p > a.extent_of(2) || s > a.extent_of(3))
        return static_cast<T *>(nullptr);
    return &a(i, p, s);
}

template <class Array, class T>
void put(Array &a, int64_t i, int64_t p, int64_t s, T value) {
    if (auto *e = entry(a, i, p, s)) *e = value;
}

class MaterialReader {
public:
    MaterialReader(Card &card, int32_t nplies, int32_t nsec) : card_(card), nplies_(nplies), nsec_(nsec) {}

    // The number of material blocks read.
    int32_t read() {
        sizes_ = size_card(card_);
        read_temperatures();
        allocate();
        return fill();
    }

private:
    void read_temperatures() {
        using namespace materialdata;
        // A new analysis builds the temperatures from this card alone.
        if (!peprops.exists()) temperatures.drop();
        if (!temperatures.exists()) {
            temperatures.create(sizes_.temperatures);
            temperatures.fill(kAbsentReal);
        }
        bool in_block = false, given = false;
        std::vector<double> material;
        while (card_.next()) {
            if (card_.key_is("++Begin Material")) {
                in_block = true;
                given = false;
            } else if (card_.key_is("++End Material")) {
                if (in_block && given) merge_temperatures(material);
                in_block = false;
            } else if (in_block && recognised(card_) == std::optional<int>(Temperature)) {
                if (given) twice();
                given = true;
                material = card_.reals();
            }
        }
        // A block cut off by the end of the card gives its temperatures too.
        if (in_block && given) merge_temperatures(material);
        card_.rewind();
        // The temperatures read, never the absent markers; 1 when there are none.
        const auto span = temperatures.span();
        ntemp_ = std::max<int64_t>(
            std::count_if(span.begin(), span.end(), [](double t) { return t != kAbsentReal; }), 1);
        ntempdata = static_cast<int32_t>(ntemp_);
        const auto points = [this](int type, int64_t per_point) {
            return static_cast<int32_t>(std::max<int64_t>(sizes_.calibration[type] / per_point, 1));
        };
        nsecantdata = points(0, 2);
        nnormaldata = points(1, 2);
        nsheardata = points(2, 2);
        nalpha1data = points(3, 2);
        nalpha2data = points(4, 2);
        nalpha3data = points(5, 2);
        nflowdata = points(kPlasticity, 3);
    }

    // The tables, created anew for a new analysis (peprops absent); a table of
    // the list that is missing beside an existing peprops is created too.
    void allocate() {
        using namespace materialdata;
        const bool renew = !peprops.exists();
        const int64_t p = std::max(nplies_, 1), s = std::max(nsec_, 1), t = ntemp_;
        const auto make = [renew](auto &array, auto start, auto... extents) {
            if (renew) array.drop();
            if (array.create_if_absent(extents...)) array.fill(start);
        };
        const int64_t equivalent = std::max<int64_t>(sizes_.calibration[kEquivalentStress] / 2, 1);
        make(pfflags, int32_t{0}, 5, p, s);
        make(peflags, int32_t{0}, 5, p, s);
        make(pelimits, -1.0, 12, p, s);
        make(peprops, 0.0, sizes_.elastic * t, p, s);
        make(psprops, 0.0, sizes_.strength * t, p, s);
        make(phprops, 0.0, sizes_.hygro, p, s);
        make(pfprops, 0.0, sizes_.fracture, p, s);
        make(pdprops, kAbsentReal, sizes_.damage, p, s);
        make(secantprops, 0.0, t, nsecantdata, 2);
        make(flowprops, 0.0, t, nflowdata, 3);
        make(alpha1props, 0.0, t, nalpha1data, 2);
        make(alpha2props, 0.0, t, nalpha2data, 2);
        make(alpha3props, 0.0, t, nalpha3data, 2);
        make(cuprops, kAbsentReal, std::max(sizes_.rate, sizes_.master), 8, p, s);
        make(regularization, 0.0, sizes_.viscous);
        make(equivalentstress, 0.0, equivalent, 2);
        make(normalprops, 0.0, t, nnormaldata, 2);
        make(shearprops, 0.0, t, nsheardata, 2);
    }

    int32_t fill() {
        std::array<int32_t, kCalibrations> running;
        running.fill(1);
        bool in_block = false;
        int32_t number = 0, blocks = 0;
        Block block;
        while (card_.next()) {
            block.data = block.data || (in_block && card_.is_data_line());  // of an option not read
            if (card_.key_is("++Begin Material")) {
                if (in_block) record_block_fault(card_, block.number, kCut);
                ++blocks;
                in_block = true;
                number = card_.block_number(6, number);
                block = Block();
                block.number = number;
                continue;
            }
            if (card_.key_is("++End Material")) {
                if (in_block) distribute(block);
                in_block = false;
                continue;
            }
            const std::optional<int> option = recognised(card_);
            if (!in_block || !option || *option == Temperature) continue;
            const bool calibration = *option >= Calibration && *option <= CalibrationLast;
            if (calibration &&
                stringhandling::tally(card_.params().data(), "T=", nullptr, card_.params().size(), 2) != 1)
                continue;
            if (block.given[*option]) twice();
            block.given[*option] = true;
            const int64_t n = card_.measure();
            block.data = block.data || n > 0;
            if (integer_option(*option)) {
                block.ints[*option].assign(static_cast<std::size_t>(n), 0);
                card_.read(block.ints[*option].data(), n);
            } else {
                block.reals[*option].assign(static_cast<std::size_t>(n), 0.0);
                card_.read(block.reals[*option].data(), n);
            }
            if (calibration && *option != Calibration + kEquivalentStress) {
                const int type = *option - Calibration;
                const int32_t xmod = static_cast<int32_t>(ntemp_);
                block.row[type] = mLimit(&running[type], &xmod);
                ++running[type];
            }
        }
        if (in_block) record_block_fault(card_, block.number, kCut);
        return blocks;
    }

    static constexpr std::string_view kCut = " ends before its ++End Material line.";

    // A block that holds nothing, and options outside their count limits,
    // which are dropped: recorded before anything is distributed.
    void record_faults(const Block &b) const {
        if (!b.data) record_block_fault(card_, b.number, " holds no data lines.");
        for (const Limit &l : kLimits) {
            const int64_t n = b.count(l.option);
            if (!b.given[l.option] || within_limit(l.option, n)) continue;
            record_block_fault(card_, b.number,
                               Message() << ": " << l.name << " has " << n
                                         << (n == 1 ? " value, takes " : " values, takes ") << l.takes << ".",
                               static_cast<int32_t>(n), l.least, l.most);
        }
    }

    [[noreturn]] void twice() const {
        fatal_error(
            "Attempting to allocate an already allocated buffer: option %.*s given twice in one material "
            "block (line %lld of %s)",
            static_cast<int>(card_.key().size()), card_.key().data(), static_cast<long long>(card_.line_number()),
            card_.path().c_str());
    }

    void distribute(const Block &b) {
        using namespace materialdata;
        record_faults(b);
        const auto valid = [&b](int option) { return b.given[option] && within_limit(option, b.count(option)); };
        if (b.given[ModelId] && !b.ints[ModelId].empty()) modelid = b.ints[ModelId][0];
        const int64_t ne = valid(Elastic) ? b.count(Elastic) : 0, ns = valid(Strength) ? b.count(Strength) : 0;
        const bool factors = temperatures.exists() && b.given[Factors] && b.count(Factors) == (ne + ns) * ntemp_;
        const int64_t slots = factors ? ntemp_ : 1;
        bool cure = true;
        for (int c = Cure; c <= CureLast; ++c) cure = cure && b.given[c];
        // The plies of this material, within the extents of matidlist and of the call.
        const int64_t plies = std::min<int64_t>(nplies_, matidlist.extent_of(1));
        const int64_t sections = std::min<int64_t>(nsec_, matidlist.extent_of(2));
        for (int64_t s = 1; s <= sections; ++s)
            for (int64_t p = 1; p <= plies; ++p)
                if (matidlist(p, s) == b.number) to_ply(b, p, s, valid, slots, cure);
        // The cure group also goes to the one ply of a one-ply, one-section model.
        if (cure && nplies_ == 1 && nsec_ == 1 && !(plies >= 1 && sections >= 1 && matidlist(1, 1) == b.number))
            write_cure(b, 1, 1);
        to_shared_tables(b);
    }

    template <class Valid>
    void to_ply(const Block &b, int64_t p, int64_t s, Valid valid, int64_t slots, bool cure) {
        using namespace materialdata;
        const std::vector<double> &factors = b.reals[Factors];
        const int64_t ne = valid(Elastic) ? b.count(Elastic) : 0, ns = valid(Strength) ? b.count(Strength) : 0;
        for (int64_t t = 0; t < slots; ++t) {
            // Row t of the factor table: one factor per elastic, then per strength value.
            const auto factor = [&](int64_t k) {
                return slots > 1 ? factors[static_cast<std::size_t>(t * (ne + ns) + k)] : 1.0;
            };
            if (ne > 0) {
                double values[ply::kConstants], nye[ply::kConstants];
                for (int64_t k = 0; k < ne; ++k) values[k] = b.reals[Elastic][static_cast<std::size_t>(k)] * factor(k);
                const auto n = static_cast<int32_t>(ne);
                GetNyeProperties(nye, values, &n);
                for (int64_t k = 0; k < ply::kConstants; ++k) put(peprops, t * sizes_.elastic + k + 1, p, s, nye[k]);
            }
            for (int64_t k = 0; k < ns; ++k)
                put(psprops, t * sizes_.strength + k + 1, p, s,
                    b.reals[Strength][static_cast<std::size_t>(k)] * factor(ne + k));
        }
        const auto copy = [&](auto &table, int option) {
            if (!valid(option)) return;
            using T = std::remove_reference_t<decltype(*table.ptr())>;
            const int64_t n = b.count(option);
            for (int64_t k = 0; k < n; ++k) {
                if constexpr (std::is_integral_v<T>)
                    put(table, k + 1, p, s, b.ints[option][static_cast<std::size_t>(k)]);
                else
                    put(table, k + 1, p, s, b.reals[option][static_cast<std::size_t>(k)]);
            }
        };
        copy(phprops, Hygrothermal);
        copy(pfprops, Fracture);
        copy(pdprops, DamageProperties);
        copy(pfflags, Initiation);
        copy(peflags, Evolution);
        if (valid(Degradation)) {
            const std::vector<double> &limits = b.reals[Degradation];
            for (int64_t k = 0; k < 12; ++k)
                put(pelimits, k + 1, p, s, limits[static_cast<std::size_t>(k % static_cast<int64_t>(limits.size()))]);
        }
        if (cure) write_cure(b, p, s);
    }

    void write_cure(const Block &b, int64_t p, int64_t s) {
        auto &cuprops = materialdata::cuprops;
        if (!cuprops.exists() || p > cuprops.extent_of(3) || s > cuprops.extent_of(4)) return;
        const int64_t rows = cuprops.extent_of(1);
        for (int c = 0; c < 8 && c < cuprops.extent_of(2); ++c) {
            const std::vector<double> &values = b.reals[Cure + c];
            if (static_cast<int64_t>(values.size()) > rows)
                io::record_input_error("Error: Cure data longer than the cure table in GetMaterialDataFromFile.");
            std::copy_n(values.begin(), std::min<int64_t>(rows, static_cast<int64_t>(values.size())),
                        &cuprops(1, c + 1, p, s));
        }
    }

    void to_shared_tables(const Block &b) {
        using namespace materialdata;
        Allocatable<double, 3> *tables[7] = {&secantprops, &normalprops, &shearprops, &alpha1props,
                                             &alpha2props, &alpha3props, &flowprops};
        for (int type = 0; type < 7; ++type) {
            const std::vector<double> &values = b.reals[Calibration + type];
            Allocatable<double, 3> &table = *tables[type];
            if (!b.given[Calibration + type] || !table.exists() || b.row[type] < 1 || b.row[type] > table.extent_of(1))
                continue;
            const int64_t per_point = type == kPlasticity ? 3 : 2;
            const int64_t points =
                std::min<int64_t>(static_cast<int64_t>(values.size()) / per_point, table.extent_of(2));
            for (int64_t k = 0; k < points; ++k)
                for (int64_t c = 0; c < std::min(per_point, table.extent_of(3)); ++c)
                    table(b.row[type], k + 1, c + 1) = values[static_cast<std::size_t>(k * per_point + c)];
        }
        if (b.given[Calibration + kEquivalentStress] && equivalentstress.exists()) {
            const std::vector<double> &values = b.reals[Calibration + kEquivalentStress];
            const int64_t points =
                std::min<int64_t>(static_cast<int64_t>(values.size()) / 2, equivalentstress.extent_of(1));
            for (int64_t k = 0; k < points && equivalentstress.extent_of(2) >= 2; ++k) {
                equivalentstress(k + 1, 1) = values[static_cast<std::size_t>(2 * k)];
                equivalentstress(k + 1, 2) = values[static_cast<std::size_t>(2 * k + 1)];
            }
        }
        if (b.given[Viscous] && regularization.exists())
            std::copy_n(b.reals[Viscous].begin(), std::min<int64_t>(regularization.size(), b.count(Viscous)),
                        regularization.ptr());
        for (const auto &[option, target] : {std::pair{I10Ratio, &r_crit}, std::pair{I10, &i10}}) {
            if (!b.given[option] || b.reals[option].empty()) continue;
            target->create_if_absent(1);
            if (target->size() >= 1) (*target)(1) = b.reals[option][0];
        }
    }

    Card &card_;
    int32_t nplies_, nsec_;
    Sizes sizes_;
    int64_t ntemp_ = 1;
};

}  // namespace

}  // namespace kestro::cards

namespace kestro::iohandling {

void getmaterialdatafromfile(const char *filepath, const char *workspace, const int32_t *nplies, const int32_t *nsec,
                             size_t filepath_len, size_t workspace_len) noexcept {
    cards::read_material_card(std::string_view(filepath, filepath_len), std::string_view(workspace, workspace_len),
                              *nplies, *nsec);
}

}  // namespace kestro::iohandling

namespace kestro::cards {

Reading read_material_card(std::string_view filepath, std::string_view workspace, int32_t nplies, int32_t nsec) {
    // The section card comes first: without material ids there is nothing to fill.
    if (!materialdata::matidlist.exists()) return {};
    Card card(filepath, workspace, "MaterialCard");
    if (!card.is_open()) return {};
    return {MaterialReader(card, nplies, nsec).read(), card.in_workspace()};
}

}  // namespace kestro::cards
