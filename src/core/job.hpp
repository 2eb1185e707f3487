// The job as the shared data of module jobdata describe it: the kind of a
// step and the names of the job's files.  Every subsystem that asks for the
// kind of its step or opens one of the job's files goes through these, so the
// rules stand in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/shared_data.hpp"

namespace kestro::job {

// The kind of a step that carries no key on its step line (fatigue).
inline constexpr int32_t keyless_step = 1;

// The kind of step kstep: stepid(kstep) when the table holds that step, else
// the kind of a keyless step (no table before start-up, or a step number
// outside it).
inline int32_t step_kind(int32_t kstep) noexcept {
    const auto &table = jobdata::stepid;
    return kstep >= 1 && kstep <= table.extent_of(1) ? table(kstep) : keyless_step;
}

// A fixed-length name of the shared data: up to its first NUL, trailing
// blanks removed (an unset name, all NUL, is blank).
std::string text_of(const char *buffer, std::size_t length);

// One of the job's files: jobfilepath followed by the extension, cut to 256
// characters.
std::string job_file(std::string_view extension);

}  // namespace kestro::job
