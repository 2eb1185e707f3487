// The names of the job's files.
#include "core/job.hpp"

#include <algorithm>

namespace kestro::job {

namespace {
constexpr std::size_t kNameLength = 256;
}

std::string text_of(const char *buffer, std::size_t length) {
    std::string_view name(buffer, length);
    name = name.substr(0, name.find('\0'));
    const std::size_t last = name.find_last_not_of(' ');
    return std::string(name.substr(0, last == std::string_view::npos ? 0 : last + 1));
}

std::string job_file(std::string_view extension) {
    std::string name = text_of(jobdata::jobfilepath, sizeof jobdata::jobfilepath);
    name.append(extension);
    name.resize(std::min(name.size(), kNameLength));
    return name;
}

}  // namespace kestro::job
