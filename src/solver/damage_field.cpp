// The damage field driver: at every integration point, before the material
// routine, the point's damage block (the last 40 state variables) with its
// ply and section, the five failure modes evaluated on the point's stress,
// the running flags and exposures, the fracture-plane angle and damage, the
// damage regions, and the flags handed to the solver as field variables; the
// implicit and explicit field hooks over it and the state initialisation.
//
// A point works on a copy of its 40 block entries on the stack, read and
// written back with the stride of the caller's layout (1 for the implicit
// hook, the block's point count for the explicit one), so nothing is
// allocated.  Every shared table is read only where it exists and holds the
// index asked for.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <string_view>

#include "core/errorhandling.hpp"
#include "core/markers.hpp"
#include "core/shared_data.hpp"
#include "core/utility.hpp"
#include "decl/damage.hpp"
#include "decl/elementhandling.hpp"
#include "decl/failure.hpp"
#include "decl/interaction.hpp"
#include "decl/iohandling.hpp"
#include "decl/signalprocessing.hpp"
#include "decl/toplevel.hpp"
#include "elements/registry.hpp"
#include "failure/evolution.hpp"
#include "mechanics/notation.hpp"
#include "mechanics/ply.hpp"
#include "mechanics/plydata.hpp"
#include "solver/control.hpp"
#include "solver/convention.hpp"
#include "solver/materials.hpp"

namespace kestro::solver {

namespace {

using namespace kestro::ply;

constexpr int kModes = 5;
// The table of the explicit hook: temperature, Voigt stress, Voigt strain,
// three characteristic lengths; all -1 counts as no table.
constexpr int kTable = 16, kTableStress = 1, kTableStrain = 7, kTableLengths = 13;
// The reference-data list of the element registrations, and the damage set grown.
constexpr int32_t kReferenceList = 1, kGrownSet = 1;
// Limit 3 of the default limits: the bound of the fracture-plane damage.
constexpr double kFractureLimit = 0.995;
constexpr int kFractureLimitRow = 3, kLimits = 12;
// The fracture-plane model: peflags(3) 2, its properties pfprops(2:5).
constexpr int32_t kFracturePlaneModel = 2, kFractureProperties = 5;

// A caller's values of one point, `stride` apart; 1-based.
struct Strided {
    double *a;
    std::ptrdiff_t stride;
    double &operator()(int64_t k) const { return a[(k - 1) * stride]; }
};

// A caller's values of one point that the driver only reads: entry i
// (0-based) at a[i * stride].  Handed on contiguous: the caller's own array
// when the stride is 1, else gathered into `into`.
struct Values {
    const double *a;
    std::ptrdiff_t stride;
    const double *contiguous(double *into, int n) const {
        if (stride == 1) return a;
        for (int i = 0; i < n; ++i) into[i] = a[i * stride];
        return into;
    }
};

// The table of a point: the caller's array, or entry i at from[i][k] (0
// where from[i] is NULL); absent when both are NULL.
struct TableValues {
    const double *array;
    const double *const *from;
    int64_t k;
    bool given() const { return array != nullptr || from != nullptr; }
    double operator[](int i) const {
        if (array != nullptr) return array[i];
        return from[i] != nullptr ? from[i][k] : 0.0;
    }
    void copy(int first, int n, double *into) const {
        for (int i = 0; i < n; ++i) into[i] = (*this)[first + i];
    }
};

// One call of the driver: the values of gen_damage by name.
struct FieldCall {
    Strided field;
    int32_t nfield;
    Strided statev;          // written back
    const double *state_in;  // read, with the stride of statev
    int32_t nstatv;
    Values tdirect, t;
    double celent;
    std::string_view cmname;
    int32_t noel, npt, layer, kspt, kstep, kinc;
    Values coord;
    TableValues table;
};

// A real entry as an index: truncated when finite and within 1 .. 2^31 - 1, else 0.
int32_t index_of(double v) { return v >= 1.0 && v < 2147483648.0 ? static_cast<int32_t>(v) : 0; }

// Whether the array exists and holds the 1-based position (one index per dimension).
template <class A>
bool holds(const A &a, std::initializer_list<int64_t> at) {
    if (!a.exists()) return false;
    int d = 1;
    for (const int64_t i : at)
        if (i < 1 || i > a.extent_of(d++)) return false;
    return true;
}

bool any_nonzero(const double *v, int64_t n) {
    return std::any_of(v, v + n, [](double x) { return x != 0.0; });
}

// One stress or strain vector from Voigt to Nye order or back (a swap of 12 and 23).
void flip_order(const double *from, double *to) {
    constexpr int32_t kVector = 1;
    FlipVoigtNyeNotation(to, from, &kVector);
}

// The kind of element e; an element elemkind does not hold is neither shell
// nor continuum (-1).
int32_t kind_of(int64_t e) { return holds(elementdata::elemkind, {e}) ? elementdata::elemkind(e) : -1; }

// The position of the solver's element number in elemlist(1:nelem), -1 when none.
int32_t position_of(int32_t noel) {
    const int64_t listed = std::min<int64_t>(elementdata::nelem, elementdata::elemlist.extent_of(1));
    const int64_t at = listed >= 1 ? elements::element_position(noel) : 0;
    return at >= 1 && at <= listed ? static_cast<int32_t>(at) : -1;
}

// The ply's place in the per-ply tables: pfflags and peflags (5 rows), and
// peprops and psprops of one shape (9 and 10 rows at least), whose second and
// third extents are the drivers' ply and section counts.
struct Place {
    int32_t ply = 0, section = 0, plies = 0, sections = 0, nelastic = 0, nstrength = 0;
    bool held = false;
};

Place place_of(int32_t p, int32_t q) {
    using namespace materialdata;
    Place at{p, q};
    const int64_t plies = peprops.extent_of(2), sections = peprops.extent_of(3);
    at.held = peprops.extent_of(1) >= kConstants && psprops.extent_of(1) >= kStrengths &&
              psprops.extent_of(2) == plies && psprops.extent_of(3) == sections && holds(peprops, {1, p, q}) &&
              holds(pfflags, {kModes, p, q}) && holds(peflags, {kModes, p, q});
    if (at.held) {
        at.plies = static_cast<int32_t>(plies), at.sections = static_cast<int32_t>(sections);
        at.nelastic = static_cast<int32_t>(peprops.extent_of(1));
        at.nstrength = static_cast<int32_t>(psprops.extent_of(1));
    }
    return at;
}

// Whether `a` exists with these extents (-1: any).
template <class A>
bool shaped(const A &a, std::initializer_list<int64_t> extents) {
    int d = 1;
    for (const int64_t n : extents)
        if (n >= 0 && a.extent_of(d) != n) return false;
        else ++d;
    return a.exists();
}

// The shell transverse stresses of element e at point npt of section q, when
// every table they read exists with the extents the routine is given.
void update_transverse(int32_t e, int32_t npt, int32_t q) {
    using namespace sectiondata;
    using namespace elementdata;
    using namespace nodaldata;
    const auto &peprops = materialdata::peprops;
    const auto &matidlist = materialdata::matidlist;
    if (!holds(seflags, {2, q})) return;
    const int64_t plies = plyorientation.extent_of(1), sections = plyorientation.extent_of(2);
    const int64_t zrows = plyzcoord.extent_of(1), points = tshearstress.extent_of(1);
    const int64_t elems = tnormalstress.extent_of(2), dof = nodesmotion.extent_of(1), slots = nodalcoords.extent_of(2);
    const bool fit = shaped(plyorientation, {}) && shaped(plythickness, {plies, sections}) &&
                     shaped(matidlist, {plies, sections}) && shaped(peprops, {-1, plies, sections}) &&
                     shaped(sehmatrix, {2, 2, sections}) && shaped(sefmatrix, {zrows, 4, sections}) &&
                     shaped(plyzcoord, {zrows, sections}) && shaped(tnormalstress, {zrows, elems}) &&
                     shaped(tshearstress, {points, 2, 4, elems}) && shaped(sestress, {6, points, -1, elems}) &&
                     shaped(nodalcoords, {3, slots, elems}) && shaped(nodesmotion, {dof, slots, elems}) &&
                     shaped(nsectionpoints, {elems}) && shaped(elemcurvatures, {2, elems}) &&
                     shaped(elemkind, {elems});
    if (!fit) return;
    const auto n = [](int64_t x) { return static_cast<int32_t>(x); };
    const int32_t np = n(plies), ns = n(sections), nz = n(zrows), ni = n(points), nd = n(dof), nn = n(slots),
                  ne = n(elems), stress_points = n(sestress.extent_of(3)), nelastic = n(peprops.extent_of(1));
    GetShellTransverseStresses(tnormalstress.ptr(), tshearstress.ptr(), nodalcoords.ptr(), nodesmotion.ptr(),
                               sestress.ptr(), sehmatrix.ptr(), sefmatrix.ptr(), plyorientation.ptr(),
                               plythickness.ptr(), plyzcoord.ptr(), peprops.ptr(), nsectionpoints.ptr(),
                               elemcurvatures.ptr(), elemkind.ptr(), matidlist.ptr(), &e, &npt, &q, &seflags(1, q),
                               &seflags(2, q), &np, &ns, &nz, &ni, &nd, &nn, &ne, &stress_points, &nelastic);
}

// The driver at one point.
class Driver {
public:
    explicit Driver(const FieldCall &call) : c(call) {}

    void run() {
        if (c.nstatv < kDamageBlock) return;
        const int64_t first = int64_t{c.nstatv} - kDamageBlock;
        for (int k = 0; k < kDamageBlock; ++k) b[k] = c.state_in[(first + k) * c.statev.stride];
        if (c.table.given())
            for (int i = 0; i < kTable && !has_table; ++i) has_table = c.table[i] != -1.0;
        if (has_table) {
            double voigt[6];
            c.table.copy(kTableStress, 6, voigt);
            flip_order(voigt, table_stress);
            std::copy_n(table_stress, 6, &entry(ply_stress));
        }
        if (entry(ply_number) == 0.0 || entry(section_index) == 0.0) locate();
        start_values();

        p = index_of(entry(ply_number)), q = index_of(entry(section_index)), s = std::max(c.kspt, 1);
        if (entry(element_index) > 0.0) e = index_of(entry(element_index));
        at = place_of(p, q);
        if (!at.held) record_error(-2, "Warning: Ply or section outside the material tables in gen_damage.");
        const int32_t kind = step_kind(c.kstep);

        if (c.kstep == 1 && c.kinc == 1) first_increment(kind);
        if (c.kinc == 1 && kind == structural_response && c.npt == 1 && elementdata::nelem != 0) count_points();
        if (kind == initialization || kind == image_correlation) {
            if (at.held) GetDamageFromDDS(&entry(general_flag), coord(), tdirect(), &p, &q);
        } else if (c.kstep >= 2 && kind != structural_response && kind != relaxation) {
            evaluate();
        }
        if (kind != initialization && kind != fatigue && kind != structural_response && kind != impact &&
            kind != image_correlation && c.kstep > 1 && at.held &&
            std::any_of(&entry(general_flag), &entry(core_flag) + 1, [](double f) { return f >= 1.0; })) {
            int32_t ierror = 0;
            const double origin[3] = {0.0, 0.0, 0.0};
            const int32_t set = kGrownSet;
            UpdateDDS(&ierror, &entry(general_flag), coord(), origin, tdirect(), &p, &q, &set);
        }

        for (int k = 1; k <= kDamageBlock; ++k) c.statev(first + k) = b[k - 1];
        store_table_stress();
    }

private:
    const FieldCall &c;
    double b[kDamageBlock];
    double table_stress[6] = {};
    bool has_table = false;
    double directions[9], transformation[9], point[3];  // gathered where the caller's are strided
    int32_t p = 0, q = 0, s = 1, e = 0;                 // ply, section, section point, element (0: none)
    Place at;

    double &entry(int k) { return b[k - 1]; }
    const double *tdirect() { return c.tdirect.contiguous(directions, 9); }
    const double *coord() { return c.coord.contiguous(point, 3); }

    // Ply and section: layer within 1 .. nplies, or the larger ply id of the
    // name; the position of the name's section id in secidlist.
    void locate() {
        const int32_t nplies = sectiondata::nplies, missing = std::numeric_limits<int32_t>::min();
        const int32_t length = static_cast<int32_t>(std::min<std::size_t>(c.cmname.size(), kAbsentInt));
        const int32_t ply = c.layer > nplies ? nplies : std::max(c.layer, 1);
        entry(ply_number) = ply;
        entry(section_index) = 1.0;
        const int32_t named = iohandling::getxidfromstring(c.cmname.data(), &length, "l", &missing, c.cmname.size(), 1);
        if (named > 0 && named > ply) entry(ply_number) = named;
        const int32_t id = iohandling::getxidfromstring(c.cmname.data(), &length, "s", &missing, c.cmname.size(), 1);
        if (id != missing) {
            const auto &ids = sectiondata::secidlist;
            const int64_t listed = std::max<int64_t>(std::min<int64_t>(ids.extent_of(1), sectiondata::nsec), 0);
            entry(section_index) = utility::find_location(id, ids.ptr(), static_cast<int32_t>(listed), nullptr);
        }
    }

    void start_values() {
        if (c.nfield > 4) {
            for (int32_t k = 1; k <= c.nfield; ++k) c.field(k) = 0.0;
            double *state = &entry(fracture_state);
            if (c.nfield > 6 && std::any_of(state, state + 4, [](double x) { return x == 0.0; }))
                std::fill_n(state, 4, -1.0);
        }
        if (entry(fracture_angle) == 0.0 && entry(fracture_angle_xz) == 0.0)
            entry(fracture_angle) = entry(fracture_angle_xz) = -1.0;
        if (entry(characteristic_length) == 0.0) entry(characteristic_length) = c.celent;
        double *factors = &entry(residual_factor);
        if (factors[0] == 0.0 && factors[1] == 0.0 && factors[2] == 0.0) std::fill_n(factors, 3, 1.0);
    }

    // The first increment of the first step: the impactors' nearest element
    // (points of ply 1) and the element's reference orientation (point 1).
    void first_increment(int32_t kind) {
        const auto &dprops = loaddata::dprops;
        if (p == 1 && dprops.exists() && dprops.extent_of(1) == elements::kLoadRows) {
            const int32_t impactors = static_cast<int32_t>(std::clamp<int64_t>(loaddata::nimp, 0, dprops.extent_of(2)));
            double lengths[3];
            if (has_table) c.table.copy(kTableLengths, 3, lengths);
            ContactArea(dprops.ptr(), coord(), &c.noel, &impactors, has_table ? lengths : nullptr);
        }
        if (c.npt == 1 && at.held && (elementdata::nelem == 0 || kind == initialization)) {
            const auto &orientation = sectiondata::plyorientation;
            const int32_t list = kReferenceList, next = step_kind(2);
            const int32_t plies = static_cast<int32_t>(orientation.extent_of(1));
            const int32_t sections = static_cast<int32_t>(orientation.extent_of(2));
            int32_t status = 0;
            GetElementRefOrientation(&status, &list, c.t.contiguous(transformation, 9), tdirect(), orientation.ptr(),
                                     &c.noel, &s, &p, &q, &plies, &sections, &next);
        }
    }

    // The first increment of a structural-response step: the element's section points.
    void count_points() {
        auto &points = sectiondata::nsectionpoints;
        const int32_t found = position_of(c.noel);
        if (holds(points, {found})) points(found) = std::max(points(found), s);
    }

    // The row of the point's section point in the stored stresses: (layer -
    // 1) n + s with n the element's section points; 1 without nsectionpoints;
    // 0 where nsectionpoints does not hold a count for the element.
    int64_t section_row() const {
        const auto &points = sectiondata::nsectionpoints;
        if (!points.exists()) return 1;
        if (!holds(points, {e}) || points(e) < 1) return 0;
        return (int64_t{c.layer} - 1) * points(e) + s;
    }

    // Failure modes (fatigue and impact steps from step 2 on).
    void evaluate() {
        double lower[6] = {}, upper[6] = {};
        const bool interface = at.held && stored_stress(lower, upper);
        double flag[kModes] = {}, exposure[kModes] = {}, angle = -1.0;
        if (at.held) modes(interface, lower, upper, flag, exposure, angle);
        for (int m = 0; m < kModes; ++m) {
            double &running = entry(general_flag + m);
            running = std::max(running, flag[m]);
            entry(general_exposure + m) = exposure[m];
        }
        entry(other_interface_flag) = std::max(entry(other_interface_flag), 0.0);
        if (entry(fracture_angle) == -1.0 && entry(fracture_angle_xz) == -1.0 && entry(matrix_flag) == 1.0 &&
            angle != -1.0) {
            const kestro_logical1 clockwise = 1;
            entry(fracture_angle) = angle;
            GetPhiMeasuredFromXZPlane(&entry(fracture_angle_xz), &angle, &clockwise);
        }
        entry(failure_mode) = 400.0 * entry(fibre_flag) + 40.0 * entry(matrix_flag) + 4.0 * entry(delamination_flag);
        if (has_table) entry(characteristic_length) = c.table[kTableLengths];
        element_length();
        const double damage = fracture_plane();
        entry(residual_factor) = std::min(entry(residual_factor), 1.0);
        entry(residual_factor + 1) = std::min(entry(residual_factor + 1), 1.0);
        entry(fracture_residual) = std::min(entry(fracture_residual), 1.0 - damage);
    }

    // The stored stresses of the point replace the block's when any is
    // nonzero; true at an interface, whose neighbours' middle stresses go to
    // lower and upper.  Each value is read only where its own table holds
    // the index: an index outside a table means that value is absent.
    bool stored_stress(double *lower, double *upper) {
        using namespace sectiondata;
        if (!nsectionpoints.exists()) return false;
        if (entry(element_index) <= 0.0 || std::isnan(entry(element_index))) {
            const int32_t found = position_of(c.noel);
            entry(element_index) = found;
            e = std::max(found, 0);
        }
        if (e < 1) return false;
        const int32_t kind = kind_of(e);
        if (conventional_shell(kind) && tnormalstress.exists()) update_transverse(e, c.npt, q);
        if (!holds(nsectionpoints, {e}) || nsectionpoints(e) < 1) return false;
        const int64_t n = nsectionpoints(e), row = (int64_t{c.layer} - 1) * n + s, npt = c.npt;
        const int64_t z = s == n ? 2 * int64_t{p} + 1 : s == 1 ? 2 * int64_t{p} - 1 : 2 * int64_t{p};
        const bool interface = s == n && p < nplies;
        const int64_t below = p * n - n / 2, above = n + p * n - n / 2;
        double v[6] = {};
        // The point's values and, at an interface, its neighbours': read(into, r) for row r of each.
        const auto each = [&](auto read) {
            read(v, row);
            if (interface) read(lower, below), read(upper, above);
        };
        if (sestress.extent_of(1) == 6)
            each([&](double *into, int64_t r) {
                if (holds(sestress, {6, r, npt, e})) std::copy_n(&sestress(1, r, npt, e), 6, into);
            });
        if (kind <= 8) {
            if (holds(tnormalstress, {1, e}) && any_nonzero(&tnormalstress(1, e), tnormalstress.extent_of(1))) {
                const auto normal = [&](double *into, int64_t zi) {
                    if (holds(tnormalstress, {zi, e})) into[N33] = tnormalstress(zi, e);
                };
                normal(v, z);
                if (interface) normal(lower, 2 * int64_t{p}), normal(upper, 2 * int64_t{p} + 2);
            }
            if (holds(tshearstress, {1, 2, npt, e}) &&
                any_nonzero(&tshearstress(1, 1, npt, e), 2 * tshearstress.extent_of(1)))
                each([&](double *into, int64_t r) {
                    if (holds(tshearstress, {r, 2, npt, e}))
                        into[N13] = tshearstress(r, 2, npt, e), into[N23] = tshearstress(r, 1, npt, e);
                });
        }
        if (any_nonzero(v, 6)) std::copy_n(v, 6, &entry(ply_stress));
        return interface;
    }

    // The five drivers on the block's stress, each called for a nonzero id only.
    void modes(bool interface, const double *lower, const double *upper, double *flag, double *exposure,
               double &angle) {
        using namespace materialdata;
        const auto &orientation = sectiondata::plyorientation, &thickness = sectiondata::plythickness;
        int32_t id[kModes];
        for (int m = 0; m < kModes; ++m) id[m] = pfflags(m + 1, p, q);
        const double *stress = &entry(ply_stress);
        const double *plyor = orientation.ptr();
        if (id[0] != 0)
            failure::generalfailure(&flag[0], &exposure[0], stress, psprops.ptr(), plyor, &p, &q, &id[0], &at.plies,
                                    &at.sections, &at.nstrength);
        if (id[1] != 0)
            failure::fiberbreakage(&flag[1], &exposure[1], stress, peprops.ptr(), psprops.ptr(), plyor, &p, &q, &id[1],
                                   &at.plies, &at.sections, &at.nelastic, &at.nstrength);
        if (id[2] != 0) {
            // pdprops where it has the tables' shape, else none of its values.
            const bool damage = shaped(pdprops, {-1, at.plies, at.sections});
            const int32_t rows = damage ? static_cast<int32_t>(pdprops.extent_of(1)) : 0;
            static constexpr double kNoValues[1] = {0.0};
            MatrixCracking(&flag[2], &exposure[2], stress, peprops.ptr(), psprops.ptr(),
                           damage ? pdprops.ptr() : kNoValues, plyor, &p, &q, &at.plies, &at.sections, &rows, &id[2],
                           &angle, nullptr, &at.nelastic, &at.nstrength);
        }
        if (id[3] != 0 && interface && shaped(orientation, {at.plies, at.sections}) &&
            shaped(thickness, {at.plies, at.sections}))
            failure::delamination(&flag[3], &exposure[3], &stress[N33], lower, upper, peprops.ptr(),
                                  psprops.ptr(), plyor, thickness.ptr(), &p, &q, &id[3], &at.plies, &at.sections,
                                  &at.nelastic, &at.nstrength);
        if (id[4] != 0)
            failure::corecrushing(&flag[4], &exposure[4], stress, psprops.ptr(), plyor, &p, &q, &id[4], &at.plies,
                                  &at.sections, &at.nstrength);
    }

    // Continuum shells and solids: their characteristic lengths, while unset
    // or when the block's length differs from the solver's.
    void element_length() {
        auto &lengths = elementdata::elemlength;
        const auto &coords = nodaldata::nodalcoords;
        if (e < 1 || !continuum(kind_of(e)) || !holds(lengths, {3, e}) || coords.extent_of(1) != 3 ||
            !holds(coords, {3, 8, e}))
            return;
        double *l = &lengths(1, e);
        if ((l[0] == -1.0 && l[1] == -1.0 && l[2] == -1.0) || entry(characteristic_length) != c.celent)
            GetHex8ElemLength(l, tdirect(), &coords(1, 1, e));
    }

    // The fields and the fracture-plane damage of the matrix (0 when the
    // model does not run), limited by limit 3.
    double fracture_plane() {
        using namespace materialdata;
        if (c.nfield <= 4) return 0.0;
        const bool held = at.held;
        for (int m = 0; m < kModes; ++m)
            c.field(general_field + m) = held && peflags(m + 1, p, q) != 0 ? entry(general_flag + m) : 0.0;
        if (c.nfield <= 6 || !held || peflags(3, p, q) != kFracturePlaneModel ||
            !holds(pfprops, {kFractureProperties, p, q}) || entry(fracture_angle_xz) == -1.0)
            return 0.0;
        double svoigt[6], evoigt[6], table_lengths[3], d = 0.0;
        const double *lengths = nullptr;
        const auto &stress = sectiondata::sestress, &strain = sectiondata::sestrain;
        const auto &elemlength = elementdata::elemlength;
        const int64_t row = e >= 1 ? section_row() : 0;
        if (stress.extent_of(1) == 6 && holds(stress, {6, row, c.npt, e}) &&
            shaped(strain, {6, stress.extent_of(2), stress.extent_of(3), stress.extent_of(4)}) &&
            holds(elemlength, {3, e})) {
            flip_order(&stress(1, row, c.npt, e), svoigt);
            flip_order(&strain(1, row, c.npt, e), evoigt);
            lengths = &elemlength(1, e);
        } else if (has_table) {
            c.table.copy(kTableStress, 6, svoigt);
            c.table.copy(kTableStrain, 6, evoigt);
            c.table.copy(kTableLengths, 3, table_lengths);
            lengths = table_lengths;
        }
        if (lengths != nullptr)
            d = failure::bogenfeld_damage(&entry(fracture_state), svoigt, evoigt, lengths[0],
                                          {entry(fracture_angle_xz), pfprops(2, p, q), pfprops(3, p, q),
                                           pfprops(4, p, q), pfprops(5, p, q)});
        const double zero = 0.0, limit = fracture_limit(), limited = fLimit(&d, &zero, &limit);
        c.field(fracture_angle_field) = entry(fracture_angle_xz) / std::numbers::pi;
        c.field(fracture_damage_field) = std::max(c.field(fracture_damage_field), limited);
        return limited;
    }

    // Limit 3 of the ply's limits, or of the default ones when the ply has
    // none (any of its 12 is -1, or pelimits does not hold it).
    double fracture_limit() const {
        const auto &limits = materialdata::pelimits;
        if (!holds(limits, {kLimits, p, q})) return kFractureLimit;
        const double *l = &limits(1, p, q);
        return std::find(l, l + kLimits, -1.0) != l + kLimits ? kFractureLimit : l[kFractureLimitRow - 1];
    }

    // The table's stress at the point's section point, where sestress holds it.
    void store_table_stress() {
        auto &stress = sectiondata::sestress;
        if (!has_table || e < 1 || stress.extent_of(1) != 6) return;
        const int64_t row = section_row();
        if (holds(stress, {6, row, c.npt, e})) std::copy_n(table_stress, 6, &stress(1, row, c.npt, e));
    }
};

// The increment number of the explicit hook: ceiling(steptime / dt - eps), 0
// when the quotient is not finite, within the 4-byte range.
int32_t increment_of(double steptime, double dt) {
    const double q = steptime / dt - 2.220446049250313e-16;
    if (!std::isfinite(q)) return 0;
    return static_cast<int32_t>(std::clamp(std::ceil(q), -2147483648.0, 2147483647.0));
}

}  // namespace

}  // namespace kestro::solver

namespace kestro::toplevel {

using solver::FieldCall;
using solver::Strided;

void gen_damage(double *field, double *statev, const double *tdirect, const double *t, const double *celent,
                const double *time, const double *dtime, const char *cmname, const int32_t *nfield,
                const int32_t *nstatv, const int32_t *noel, const int32_t *npt, const int32_t *layer,
                const int32_t *kspt, const int32_t *kstep, const int32_t *kinc, const double *coord,
                const double *table, size_t cmname_len) noexcept {
    static_cast<void>(time);
    static_cast<void>(dtime);
    const FieldCall call{{field, 1}, *nfield, {statev, 1}, statev, *nstatv, {tdirect, 1}, {t, 1}, *celent,
                         {cmname, cmname_len}, *noel, *npt, *layer, *kspt, *kstep, *kinc, {coord, 1},
                         {table, nullptr, 0}};
    solver::Driver(call).run();
}

void usdfld_dmg(KESTRO_USDFLD_PARAMETERS, const int32_t * /*threadid*/, KESTRO_USDFLD_LENGTHS) noexcept {
    gen_damage(field, statev, direct, t, celent, time, dtime, cmname, nfield, nstatv, noel, npt, layer, kspt, kstep,
               kinc, coord, nullptr, cmname_len);
}

void vusdfld_dmg(KESTRO_VUSDFLD_PARAMETERS, const int32_t * /*threadid*/, KESTRO_VUSDFLD_LENGTHS) noexcept {
    using namespace kestro::ply;
    const int64_t points = *nblock, nstate = *nstatev;
    if (points <= 0 || nstate <= 0) return;
    // Layouts other than those of the ply are refused before a column is formed.
    if (!solver::served_layout(*ndir, *nshr)) {
        record_error(-2, "Unsupported dimension in vusdfld_dmg.");
        std::copy_n(stateold, points * nstate, statenew);
        std::fill_n(field, points * std::max(*nfieldv, 0), 0.0);
        return;
    }
    // The state variables before the block as they came; the block is read
    // from stateold and written to statenew by the driver.
    const int64_t block = solver::kDamageBlock;
    if (nstate < block) {
        std::copy_n(stateold, points * nstate, statenew);
        return;
    }
    std::copy_n(stateold, points * (nstate - block), statenew);
    const int32_t kinc = solver::increment_of(*steptime, *dt);
    // The table of point k: entry i at from[i][k] (NULL: 0), the stress and
    // strain columns in the solver's order (ndir direct, then nshr shears 12,
    // 23, 13) taken to Voigt order.
    const double *from[solver::kTable] = {temp};
    constexpr Voigt kDirect[3] = {V11, V22, V33}, kShear[3] = {V12, V23, V13};
    const auto column = [points](const double *a, int64_t j) { return a + j * points; };
    for (int32_t j = 0; j < *ndir; ++j)
        from[1 + kDirect[j]] = column(stressold, j), from[7 + kDirect[j]] = column(strainold, j);
    for (int32_t j = 0; j < *nshr; ++j)
        from[1 + kShear[j]] = column(stressold, *ndir + j), from[7 + kShear[j]] = column(strainold, *ndir + j);
    for (int j = 0; j < 3; ++j) from[13 + j] = column(charlength, j);
    for (int64_t k = 0; k < points; ++k) {
        const FieldCall call{{field + k, points}, *nfieldv, {statenew + k, points}, stateold + k, *nstatev,
                             {direct + k, points}, {t + k, points}, charlength[k], {cmname, cmname_len}, jelem[k],
                             *kintpt, *klayer, *ksecpt, *kstep, kinc, {coordmp + k, points}, {nullptr, from, k}};
        solver::Driver(call).run();
    }
}

void gen_sdvini(KESTRO_SDVINI_PARAMETERS) noexcept {
    const int64_t n = *nstatv;
    if (n < 1 || std::any_of(statev, statev + n, [](double x) { return x != 0.0; })) return;
    std::fill_n(statev, n, 0.0);
    statev[n - 1] = kLargestReal;
}

}  // namespace kestro::toplevel
