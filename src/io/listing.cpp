// The reader of the solver's printed listing: element numbers, kinds and node
// numbers from the element definitions, and the coordinates of the nodes the
// elements use from the node definitions, distributed to the element node
// slots.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/format.hpp"
#include "core/shared_data.hpp"
#include "core/units.hpp"
#include "decl/datahandling.hpp"
#include "decl/elementhandling.hpp"
#include "decl/iohandling.hpp"
#include "decl/stringhandling.hpp"
#include "elements/registry.hpp"
#include "io/io.hpp"

namespace kestro::iohandling {

namespace {

constexpr std::size_t kLineLength = 256;
constexpr std::string_view kElementHeading = "E L E M E N T   D E F I N I T I O N S";
constexpr std::string_view kNodeHeading = "N O D E   D E F I N I T I O N S";

bool blank(char c) { return c == ' ' || c == '\t'; }

// The blank-separated items of a line.
std::vector<std::string_view> items_of(std::string_view line) {
    std::vector<std::string_view> items;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i > start) items.push_back(line.substr(start, i - start));
    }
    return items;
}

// The first item read as an integer (as str2int reads it); false when it is none.
bool leading_integer(std::string_view line, int32_t &value) {
    return format::read_integer(line, value) == format::status_ok;
}

// The element type: the first 8 characters of the text after the element
// number, left-adjusted, blank-padded.
std::string element_type(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && blank(line[i])) ++i;
    while (i < line.size() && !blank(line[i])) ++i;
    while (i < line.size() && blank(line[i])) ++i;
    std::string type(line.substr(i, 8));
    type.resize(8, ' ');
    return type;
}

// Reads records up to and including the one that holds the heading; false at end of file.
bool skip_past(int32_t unit, std::string_view heading) {
    std::string_view record;
    while (units::read_record(unit, &record) == units::read_ok) {
        const std::string_view line = record.substr(0, kLineLength);
        if (stringhandling::occurs(line.data(), heading.data(), line.size(), heading.size()) != 0) return true;
    }
    return false;
}

// The next record, at most 256 characters; false at end of file.
bool next_line(int32_t unit, std::string_view &line) {
    if (units::read_record(unit, &line) != units::read_ok) return false;
    line = line.substr(0, kLineLength);
    return true;
}

// Element data of nelem elements with nnodes slots and ndof freedoms:
// elemindices is dropped (its positions belong to the model read before),
// arrays of other extents are dropped and every array is created anew.
void prepare_arrays() {
    using namespace elementdata;
    using namespace nodaldata;
    using sectiondata::nsectionpoints;
    const int64_t e = nelem, n = nnodes, d = ndof;
    const auto differs = [](const auto &a, std::initializer_list<int64_t> extents) {
        if (!a.exists()) return false;
        int dim = 1;
        for (int64_t x : extents)
            if (a.extent_of(dim++) != x) return true;
        return false;
    };
    const bool any = differs(elemlist, {e}) || differs(elemkind, {e}) || differs(elemnodes, {n, e}) ||
                     differs(elemcurvatures, {2, e}) || differs(elemreforientation, {7, e}) ||
                     differs(nsectionpoints, {e}) || differs(nodesmotion, {d, n, e}) ||
                     differs(nodalcoords, {3, n, e}) || differs(tnodalmatrices, {3, 3, 8, e}) ||
                     differs(tcurvmatrices, {3, 3, e});
    elemindices.drop();
    if (any) {
        if (differs(elemlist, {e})) elemlist.drop();
        if (differs(elemkind, {e})) elemkind.drop();
        if (differs(elemnodes, {n, e})) elemnodes.drop();
        if (differs(elemcurvatures, {2, e})) elemcurvatures.drop();
        if (differs(elemreforientation, {7, e})) elemreforientation.drop();
        if (differs(nsectionpoints, {e})) nsectionpoints.drop();
        if (differs(nodesmotion, {d, n, e})) nodesmotion.drop();
        if (differs(nodalcoords, {3, n, e})) nodalcoords.drop();
        if (differs(tnodalmatrices, {3, 3, 8, e})) tnodalmatrices.drop();
        if (differs(tcurvmatrices, {3, 3, e})) tcurvmatrices.drop();
    }
    int32_t status = 0;
    datahandling::allocateelementdata(&status, &nnodes, &nelem);
    datahandling::allocatenodaldata(&status, &ndof, &nnodes, &nelem);
    elemkind.fill(0);
    elemnodes.fill(0);
    nsectionpoints.fill(0);
    nodesmotion.fill(0.0);
    nodalcoords.fill(0.0);
}

// Counts the elements after the element heading; the extents widened as
// getelementdataextents does.
void count_elements(int32_t unit, int32_t &count, int32_t &nodes, int32_t &dofs) {
    if (!skip_past(unit, kElementHeading)) return;
    std::string_view line;
    while (next_line(unit, line)) {
        int32_t k = 0;
        if (!leading_integer(line, k)) {
            if (count > 0) return;
            continue;
        }
        if (k < 1) continue;
        const std::string type = element_type(line);
        getelementdataextents(&count, &nodes, &dofs, type.data(), type.size());
    }
}

// Registers the counted elements and the node numbers of the shell kinds.
void read_elements(int32_t unit) {
    using namespace elementdata;
    if (!skip_past(unit, kElementHeading)) return;
    std::string_view line;
    int64_t i = 0;
    while (i < nelem && next_line(unit, line)) {
        int32_t k = 0;
        if (!leading_integer(line, k) || k < 1) continue;
        const std::string type = element_type(line);
        if (!elements::registered_type(type)) continue;
        ++i;
        const int32_t kind = elements::element_kind(type);
        elemlist(i) = k;
        elemkind(i) = kind;
        if (kind < 1 || kind > 8) continue;
        const std::vector<std::string_view> items = items_of(line);
        const int64_t m = std::min<int64_t>(static_cast<int64_t>(items.size()) - 3, elemnodes.extent_of(1));
        for (int64_t j = 1; j <= m; ++j) {
            int32_t node = 0;
            if (format::parse_integer(items[static_cast<std::size_t>(j + 2)], node) != format::status_ok)
                io::bad_item(unit, j + 3, items[static_cast<std::size_t>(j + 2)], false);
            elemnodes(j, i) = node;
        }
    }
    elements::element_nodes_written();
}

// Reads the coordinates of the nodes in coordinates (the nodes the elements
// use) from the node definitions.
void read_nodes(int32_t unit, std::unordered_map<int32_t, std::array<double, 3>> &coordinates) {
    if (!skip_past(unit, kNodeHeading)) return;
    std::string_view line;
    bool read = false;
    int32_t largest = 0;
    while (next_line(unit, line)) {
        int32_t k = 0;
        if (!leading_integer(line, k)) {
            if (read) return;
            continue;
        }
        const std::vector<std::string_view> items = items_of(line);
        if (k < 1 || items.size() < 4) continue;
        if (k < largest) return;
        largest = k;
        read = true;
        std::array<double, 3> x{};
        for (std::size_t c = 0; c < 3; ++c)
            if (format::parse_real(items[c + 1], x[c]) != format::status_ok)
                io::bad_item(unit, static_cast<int64_t>(c + 2), items[c + 1], true);
        if (auto it = coordinates.find(k); it != coordinates.end()) it->second = x;
    }
}

}  // namespace

void getabqdatafromfile(const char *filepath, size_t filepath_len) noexcept {
    std::string_view name(filepath, filepath != nullptr ? filepath_len : 0);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    int32_t unit = getunitnumber(name.data(), name.size());
    if (unit < 1) {
        const int32_t first = 1, last = 120;
        unit = GetFreeUnitNumber(&first, &last);
        if (unit < 1 || !units::open(unit, std::string(name), units::Access::read, false)) return;
    }
    units::rewind(unit);
    int32_t count = 0, nodes = 0, dofs = 0;
    count_elements(unit, count, nodes, dofs);
    if (count == 0) {
        units::close(unit);
        return;
    }
    elementdata::nelem = count;
    nodaldata::nnodes = std::max(nodes, 1);
    nodaldata::ndof = std::max(dofs, 1);
    prepare_arrays();
    units::rewind(unit);
    read_elements(unit);

    // Coordinates are kept for the nodes the elements use; nodes not listed stay (0, 0, 0).
    std::unordered_map<int32_t, std::array<double, 3>> coordinates;
    for (int32_t node : elementdata::elemnodes.span())
        if (node >= 1) coordinates.emplace(node, std::array<double, 3>{});
    units::rewind(unit);
    read_nodes(unit, coordinates);
    units::close(unit);

    const int32_t three = 3, one = 1;
    for (const auto &[node, x] : coordinates) GetNodalCoordinates(x.data(), &node, &three, &one);
}

}  // namespace kestro::iohandling
