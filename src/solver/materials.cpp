// The error records of the shared material pieces, out of the material
// points' hot paths.
#include "solver/materials.hpp"

#include <algorithm>
#include <array>

#include "core/errorhandling.hpp"

namespace kestro::solver {

namespace {

// Records -2 with `head`, the routine's name and a full stop, cut to the record's length.
void record_naming(std::string_view head, std::string_view routine) noexcept {
    std::array<char, errorhandling::message_length + 1> text{};
    const std::size_t kept = std::min(head.size(), text.size() - 1);
    const std::size_t name = std::min(routine.size(), text.size() - kept - 1);
    std::copy_n(head.begin(), kept, text.begin());
    std::copy_n(routine.begin(), name, text.begin() + static_cast<std::ptrdiff_t>(kept));
    text[kept + name] = '.';
    record_error(-2, std::string_view(text.data(), kept + name + 1));
}

}  // namespace

void outside_elastic_table(std::string_view routine) noexcept {
    record_naming("Error: Ply or section outside the elastic table in ", routine);
}

void invalid_elastic_constants(std::string_view routine) noexcept {
    record_naming("Invalid elastic constants in ", routine);
}

void unsupported_stiffness() noexcept { record_error(-2, "Unsupported dimension in GetNyeStiffnessMatrix"); }

}  // namespace kestro::solver
