// The damage card: damage sets with their plane, regions per ply and mode,
// and tabulated points per ply and mode; the buckling lists are created with
// the delamination regions.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "core/format.hpp"
#include "core/shared_data.hpp"
#include "decl/iohandling.hpp"
#include "io/cards.hpp"
#include "io/io.hpp"
#include "core/markers.hpp"

namespace kestro::cards {

namespace {


// The regions of "+Abstraction", in the order their names are looked for.
constexpr std::string_view kRegions[6] = {"General", "Fiber", "Matrix", "Core", "Delamination", "User"};
// The categories of "+Table", by index.
constexpr std::string_view kCategories[6] = {"General", "Fiber", "Matrix", "Delamination", "Core", "User"};

Allocatable<double, 3> &region_array(std::string_view name) {
    using namespace damagedata;
    if (name == "General") return generaldds;
    if (name == "Fiber") return fiberdds;
    if (name == "Matrix") return matrixdds;
    if (name == "Core") return coredds;
    if (name == "Delamination") return delamdds;
    return userdds;
}

class DamageReader {
public:
    DamageReader(Card &card, int32_t nplies, int32_t nsec) : card_(card), nplies_(nplies), nsec_(nsec) {}

    void read() {
        using damagedata::ndmg;
        const int32_t unit = card_.unit(), lkey = 14;
        const kestro_logical1 rewind_after = 1;
        ndmg = iohandling::getnumberofkeywords(&unit, "++BEGIN DAMAGE", &lkey, &rewind_after, 14);
        size();
        fill();
    }

private:
    void size() {
        bool in_block = false;
        while (card_.next()) {
            if (card_.key_is("++Begin Damage")) {
                in_block = true;
            } else if (in_block && card_.key_is("+Position")) {
                npos_ = std::max<int64_t>(npos_, card_.measure());
            } else if (in_block && card_.key_is("+Table")) {
                nxy_ = std::max<int64_t>(nxy_, card_.measure());
            } else if (card_.key_is("++End Damage")) {
                in_block = false;
            }
        }
        card_.rewind();
    }

    void fill() {
        using namespace damagedata;
        bool in_block = false, in_range = false;
        int32_t n = 0;
        const int64_t sets = std::max(ndmg, 0), plies = std::max(nplies_, 1);
        while (card_.next()) {
            if (card_.key_is("++Begin Damage")) {
                in_block = true;
                n = card_.block_number(6, n);
                in_range = n >= 1 && n <= ndmg;
                if (!in_range)
                    io::record_input_error("Error: Damage set number out of range in GetDamageDataFromFile.");
            } else if (card_.key_is("++End Damage")) {
                in_block = false;
            } else if (!in_block || !in_range) {
                continue;
            } else if (card_.key_is("+Position")) {
                if (dmgplane.create_if_absent(npos_, sets)) dmgplane.fill(-kAbsentReal);
                if (n <= dmgplane.extent_of(2)) card_.read(&dmgplane(1, n), dmgplane.extent_of(1));
            } else if (card_.key_is("+Abstraction")) {
                abstraction(n, sets, plies);
            } else if (card_.key_is("+Table")) {
                if (dmgpoints.create_if_absent(nxy_, plies, 6, sets)) dmgpoints.fill(kAbsentReal);
                table(n);
            }
        }
    }

    // "+Abstraction": the first region named in the parameters, read for
    // each ply (or ply interface) of set n.
    void abstraction(int32_t n, int64_t sets, int64_t plies) {
        const std::string_view params = card_.params();
        const std::string_view *name =
            std::find_if(std::begin(kRegions), std::end(kRegions),
                         [params](std::string_view r) { return params.find(r) != std::string_view::npos; });
        if (name == std::end(kRegions)) return;  // no category: nothing read
        const bool interfaces = *name == "Delamination";
        const int64_t count = interfaces ? plies - 1 : plies;
        if (count < 1) return;
        Allocatable<double, 3> &array = region_array(*name);
        if (array.create_if_absent(3, count, sets) && interfaces) {
            bukdata::bukintdatalist.create_if_absent(4, count, sets, std::max(nsec_, 1));
            bukdata::bukrealdatalist.create_if_absent(12, count, sets, std::max(nsec_, 1));
        }
        // Rows 1 and 2 of each ply's column, within the array; plies the block
        // does not reach keep their values.
        const bool stored = n <= array.extent_of(3);
        const int64_t kept_plies = std::min(count, array.extent_of(2));
        const int64_t kept_rows = std::min<int64_t>(2, array.extent_of(1));
        std::vector<double> regions(static_cast<std::size_t>(3 * count), 0.0);
        const auto at = [](int64_t r, int64_t p) { return static_cast<std::size_t>(3 * (p - 1) + r - 1); };
        for (int64_t p = 1; stored && p <= kept_plies; ++p)
            for (int64_t r = 1; r <= kept_rows; ++r) regions[at(r, p)] = array(r, p, n);
        const auto n_regions = static_cast<int32_t>(count);
        const int32_t unit = card_.unit();
        iohandling::getddsfromfile(&unit, regions.data(), &n_regions);
        for (int64_t p = 1; stored && p <= kept_plies; ++p)
            for (int64_t r = 1; r <= kept_rows; ++r) array(r, p, n) = regions[at(r, p)];
    }

    // "+Table": the column of dmgpoints for a layer and a category of set n.
    void table(int32_t n) {
        auto &points = damagedata::dmgpoints;
        const std::string_view params = card_.params();
        const std::size_t comma = params.find(',');
        std::string_view first = params.substr(0, comma), second;
        if (comma != std::string_view::npos) {
            second = params.substr(comma + 1);
            second.remove_prefix(std::min(second.find_first_not_of(' '), second.size()));
        }
        const bool layer_first =
            first.find("LayID") != std::string_view::npos || first.find("Layer") != std::string_view::npos;
        const std::string_view layer_item = layer_first ? first : second, category_item = layer_first ? second : first;
        int32_t layer = 0;
        const bool numbered =
            layer_item.size() > 6 && format::read_integer(layer_item.substr(6), layer) == format::status_ok;
        int category = 0;
        if (category_item.size() > 5)
            for (int c = 0; c < 6 && category == 0; ++c)
                if (category_item.substr(5).starts_with(kCategories[c])) category = c + 1;
        if (!numbered || layer < 1 || layer > nplies_ || layer > points.extent_of(2) || category == 0 ||
            category > points.extent_of(3)) {
            io::record_input_error("Error: +Table with unknown layer or category in GetDamageDataFromFile.");
            return;
        }
        if (n <= points.extent_of(4)) card_.read(&points(1, layer, category, n), points.extent_of(1));
    }

    Card &card_;
    int32_t nplies_, nsec_;
    int64_t npos_ = 4, nxy_ = 1;
};

}  // namespace

}  // namespace kestro::cards

namespace kestro::iohandling {

void getdamagedatafromfile(const char *filepath, const char *workspace, const int32_t *nplies, const int32_t *nsec,
                           size_t filepath_len, size_t workspace_len) noexcept {
    cards::Card card(std::string_view(filepath, filepath_len), std::string_view(workspace, workspace_len),
                     "DamageCard");
    if (!card.is_open()) return;
    cards::DamageReader(card, *nplies, *nsec).read();
}

}  // namespace kestro::iohandling
