#include "core/units.hpp"

#include <cstdio>
#include <map>

#include "core/process.hpp"

namespace kestro::units {

namespace {

std::map<int, std::FILE *> &table() {
    static std::map<int, std::FILE *> files;
    return files;
}

std::FILE *stream(int unit) {
    if (unit == standard_output) return stdout;
    auto it = table().find(unit);
    if (it != table().end()) return it->second;
    if (!open(unit, "fort." + std::to_string(unit), true))
        fatal_error("Cannot open unit %d (file fort.%d)", unit, unit);
    return table()[unit];
}

}  // namespace

void write_record(int unit, std::string_view record) {
    std::FILE *f = stream(unit);
    if (f == stdout) flush_host_output();  // after what the host has written
    std::fwrite(record.data(), 1, record.size(), f);
    std::fputc('\n', f);
    if (f == stdout) std::fflush(f);  // keep the order with a host's own output
}

bool open(int unit, const std::string &path, bool append) {
    close(unit);
    std::FILE *f = std::fopen(path.c_str(), append ? "a" : "w");
    if (f == nullptr) return false;
    table()[unit] = f;
    return true;
}

void close(int unit) {
    auto it = table().find(unit);
    if (it == table().end()) return;
    std::fclose(it->second);
    table().erase(it);
}

bool is_open(int unit) { return unit == standard_output || table().count(unit) != 0; }

void fatal_package_error(std::string_view routine, std::initializer_list<std::string_view> lines) {
    write_record(standard_output, " ");
    write_record(standard_output, std::string(routine) + " - Fatal error!");
    for (std::string_view line : lines) write_record(standard_output, line);
    end_process(1);
}

}  // namespace kestro::units
