// One box-beam analysis: the checks of the data, the work arrays, the report
// files and the input echo, then the stages in order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "boxbeam/box.hpp"
#include "boxbeam/box_report.hpp"
#include "core/errorhandling.hpp"
#include "core/shared_data.hpp"
#include "decl/boxbeamio.hpp"
#include "kestro/host.h"

namespace kestro::boxbeam {

namespace {

std::optional<std::string> &last_refusal() {
    static std::optional<std::string> message;
    return message;
}

bool finite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// The first array among `arrays` that is missing or has fewer than `needed`
// entries along dimension 1 (and fewer than `columns` along dimension 2).
template <class... A>
const char *short_array(int64_t needed, int64_t columns, const A &...arrays) {
    const char *name = nullptr;
    const auto test = [&](const auto &a) {
        if (name != nullptr) return;
        const bool enough = a.exists() && a.extent_of(1) >= needed && (a.rank_v == 1 || a.extent_of(2) >= columns);
        if (!enough) name = a.name;
    };
    (test(arrays), ...);
    return name;
}

// Whether walls 1..kw join caps 1..ig into one piece.
bool connected(int32_t ig, int32_t kw) {
    std::vector<int32_t> parent(static_cast<std::size_t>(ig) + 1);
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&parent](int32_t i) {
        while (parent[static_cast<std::size_t>(i)] != i)
            i = parent[static_cast<std::size_t>(i)] =
                parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        return i;
    };
    int32_t pieces = ig;
    for (int32_t k = 1; k <= kw; ++k) {
        const int32_t a = root(wand::ig1(k)), b = root(wand::ig2(k));
        if (a != b) {
            parent[static_cast<std::size_t>(a)] = b;
            --pieces;
        }
    }
    return pieces <= 1;
}

// What the analysis reads and writes must be there and be finite: refuses
// the analysis otherwise, before any file is opened or any result written.
bool check_data() {
    using namespace wand;
    using namespace gurt;
    using namespace zelle;
    using namespace kraft;
    using namespace epigam;
    const auto fail = [](const std::string &message, std::initializer_list<int32_t> context = {}) {
        refuse(-2, "Box-beam: " + message, context);
        return false;
    };
    if (restr::maxwa < 1 || restr::maxgu < 1 || restr::maxze < 1)
        return fail("capacities below 1 (call box_initialize with at least one wall, cap and cell)");
    if (ig < 0 || kw < 0 || az < 0) return fail("the counts of caps, walls and cells must not be negative");
    const char *name = short_array(ig, 0, yi, zi, bi, myi, epigu);
    if (name == nullptr) name = short_array(kw, 0, ig1, ig2, it, yk0, zk0, yklk, zklk, bk, gk, rhok, nx0, nxl2, nxl);
    if (name == nullptr) name = short_array(kw, 0, tl2, tl);
    if (name == nullptr) name = short_array(kw, 3, epi, gam);
    if (name == nullptr) name = short_array(kw + (az > 0 ? 1 : 0), 0, t0);
    if (name == nullptr) name = short_array(az, 0, iak);
    if (name == nullptr) name = short_array(0, az, ia);
    if (name != nullptr) return fail(std::string("array ") + name + " is missing or shorter than the counts need");
    for (int32_t c = 1; c <= az; ++c)
        if (iak(c) > ia.extent_of(1)) return fail("a cell lists more caps than ia holds", {c});
    for (int32_t i = 1; i <= ig; ++i)
        if (!finite({yi(i), zi(i), bi(i), myi(i)})) return fail("cap data that are not finite", {i});
    for (int32_t k = 1; k <= kw; ++k) {
        if (!finite({yk0(k), zk0(k), yklk(k), zklk(k), bk(k), gk(k), rhok(k)}))
            return fail("wall data that are not finite", {k});
        if (yk0(k) == yklk(k) && zk0(k) == zklk(k)) return fail("a wall of zero length", {k});
    }
    using namespace spanug;
    if (!finite({qqx, qqy, qqz, qmx, qmy, qmz})) return fail("section loads that are not finite");
    // The topology: walls between two caps of the section, cells of its caps,
    // one connected piece whose independent loops are the cells.
    for (int32_t k = 1; k <= kw; ++k) {
        if (ig1(k) < 1 || ig1(k) > ig || ig2(k) < 1 || ig2(k) > ig) return fail("a wall names a cap not in use", {k});
        if (ig1(k) == ig2(k)) return fail("a wall from a cap to itself", {k});
    }
    for (int32_t c = 1; c <= az; ++c) {
        if (iak(c) < 0) return fail("a cell with a negative number of caps", {c});
        for (int32_t j = 1; j <= iak(c); ++j)
            if (ia(j, c) < 1 || ia(j, c) > ig) return fail("a cell names a cap not in use", {c});
    }
    if (int64_t{kw} != int64_t{ig} + az - 1)
        return fail("the walls must number the caps plus the cells minus one (the cells are the independent loops)");
    if (!connected(ig, kw)) return fail("the walls do not join all caps into one piece");
    return true;
}

// The input echo and the title of the section results.
void echo(const Section &s, const Report &report) {
    using namespace gurt;
    using namespace wand;
    using namespace zelle;
    report.write(Block::cap_echo_head);
    for (int32_t i = 1; i <= s.ig; ++i) report.write(Block::cap_echo, {i, yi(i), zi(i), bi(i), myi(i)});
    report.write(Block::wall_echo_head);
    for (int32_t k = 1; k <= s.kw; ++k)
        report.write(Block::wall_echo,
                     {k, ig1(k), ig2(k), it(k), k, yk0(k), zk0(k), yklk(k), zklk(k), bk(k), gk(k), rhok(k)});
    report.write(Block::cell_echo_head);
    // The first four caps of every cell, whatever its count; 0 past the rows of ia.
    const auto cap = [](int64_t j, int32_t c) { return j <= ia.extent_of(1) ? ia(j, c) : 0; };
    for (int32_t c = 1; c <= s.az; ++c) report.write(Block::cell_echo, {c, cap(1, c), cap(2, c), cap(3, c), cap(4, c)});
    report.write(Block::loads, {s.qx, s.qy, s.qz, s.mx, s.my, s.mz});
    report.write(Block::title);
}

}  // namespace

void refuse(int32_t code, const std::string &message, std::initializer_list<int32_t> context) {
    record_error(code, message, context);
    if (!last_refusal()) last_refusal() = message;
}

const char *refusal() { return last_refusal() ? last_refusal()->c_str() : nullptr; }

void Section::reset(int32_t caps, int32_t walls, int32_t cells) {
    ig = caps;
    kw = walls;
    az = cells;
    const auto w = static_cast<std::size_t>(std::max(walls, 1));
    for (auto *v :
         {&lk, &skyk, &skzk, &sstyk, &sstzk, &deltyk, &deltzk, &fstsym, &fstszm, &ruk, &truyk, &truzk, &ddqyk, &ddqzk})
        v->assign(w, 0.0);
    // Lists and rows are cleared, not released: their storage serves the next analysis.
    const auto clear = [](auto &lists, int32_t count) {
        lists.resize(std::max(lists.size(), static_cast<std::size_t>(std::max(count, 1))));
        for (auto &list : lists) list.clear();
    };
    clear(ial, caps);
    clear(ibet, caps);
    clear(iala, cells);
    clear(ibeta, cells);
    clear(rows, caps + cells + 1);
    zfa.assign(static_cast<std::size_t>(std::max(cells, 1)), 0.0);
    scale.assign(zfa.size() + 1, 0.0);
    qx = qy = qz = mx = my = mz = 0.0;
    rmx = qy_star = qz_star = mxs = 0.0;
}

bool get_equivalent_x_section() {
    last_refusal().reset();
    if (!check_data()) return false;
    static Section workspace;
    Section &s = workspace;
    s.reset(gurt::ig, wand::kw, zelle::az);

    Report report;
    if (!report.open(steuer::druck != 0, steuer::exdru != 0, file_name(path::csinfopath, sizeof path::csinfopath),
                     file_name(path::vbinfopath, sizeof path::vbinfopath)))
        return false;
    s.qx = spanug::qqx;
    s.qy = spanug::qqy;
    s.qz = spanug::qqz;
    s.mx = spanug::qmx;
    s.my = spanug::qmy;
    s.mz = spanug::qmz;
    echo(s, report);

    const bool analysed = section_properties(s, report) && shear_flows(s, report) && results(s, report);
    return report.close() && analysed;
}

}  // namespace kestro::boxbeam

extern "C" {

void Box_GetXSection(void) { kestro::boxbeam::get_equivalent_x_section(); }

const char *kestro_host_box_refusal(void) { return kestro::boxbeam::refusal(); }

}  // extern "C"
