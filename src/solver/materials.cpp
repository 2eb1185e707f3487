// The error records of the shared material pieces, out of the material
// points' hot paths.
#include "solver/materials.hpp"

#include <algorithm>
#include <array>

#include "core/errorhandling.hpp"

namespace kestro::solver {

void outside_elastic_table(std::string_view routine) noexcept {
    constexpr std::string_view head = "Error: Ply or section outside the elastic table in ";
    std::array<char, errorhandling::message_length + 1> text{};
    const std::size_t name = std::min(routine.size(), text.size() - head.size() - 1);
    std::copy(head.begin(), head.end(), text.begin());
    std::copy_n(routine.begin(), name, text.begin() + static_cast<std::ptrdiff_t>(head.size()));
    text[head.size() + name] = '.';
    record_error(-2, std::string_view(text.data(), head.size() + name + 1));
}

void unsupported_stiffness() noexcept { record_error(-2, "Unsupported dimension in GetNyeStiffnessMatrix"); }

}  // namespace kestro::solver
