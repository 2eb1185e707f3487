#include "core/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <vector>

#include "core/process.hpp"

namespace kestro::units {

namespace {

struct Unit {
    std::string path;
    std::FILE *out = nullptr;  // open for writing
    bool reading = false;
    std::string text;                 // the whole file, when reading
    std::vector<std::size_t> starts;  // the offset of each record, then the end of the text
    int64_t position = 0;             // the next record; records() + 1 once end of file was met
    dev_t device = 0;
    ino_t inode = 0;

    int64_t records() const { return static_cast<int64_t>(starts.size()) - 1; }
};

std::map<int, Unit> &table() {
    static std::map<int, Unit> units;
    return units;
}

Unit *unit_of(int unit) {
    auto it = table().find(unit);
    return it == table().end() ? nullptr : &it->second;
}

bool is_standard(int unit) { return unit == standard_error || unit == standard_input || unit == standard_output; }

// The record offsets of a text: a line ends at LF; the last line needs none.
std::vector<std::size_t> record_starts(const std::string &text) {
    std::vector<std::size_t> starts{0};
    const char *begin = text.data(), *end = begin + text.size();
    for (const char *p = begin; p < end;) {
        const void *lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        if (lf == nullptr) {
            starts.push_back(text.size() + 1);  // as if the last line had its LF
            break;
        }
        p = static_cast<const char *>(lf) + 1;
        starts.push_back(static_cast<std::size_t>(p - begin));
    }
    return starts;
}

// The whole of a regular file (size bytes when it was opened; a file that
// grows meanwhile is read to its end).  A failed allocation ends the process.
bool read_whole(const std::string &path, std::string &text, std::size_t size) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char buffer[1 << 16];
    try {
        text.reserve(size);
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
    } catch (const std::exception &) {
        std::fclose(f);
        fatal_error("Error allocating %lu bytes", static_cast<unsigned long>(std::max(size, text.size() + sizeof buffer)));
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

std::FILE *stream(int unit) {
    if (unit == standard_output) return stdout;
    if (unit == standard_error) return stderr;
    if (Unit *u = unit_of(unit)) {
        if (u->reading) fatal_error("Cannot write to unit %d, which is open for reading (file %s)", unit, u->path.c_str());
        return u->out;
    }
    const std::string name = "fort." + std::to_string(unit);
    if (!open(unit, name, Access::write)) fatal_error("Cannot open unit %d (file %s)", unit, name.c_str());
    return table()[unit].out;
}

}  // namespace

void write_record(int unit, std::string_view record) {
    std::FILE *f = stream(unit);
    if (f == stdout) flush_host_output();  // after what the host has written
    // The record and its newline in one write: a stream writes each call
    // whole, so records that threads write at once never share a line.
    std::string line;
    line.reserve(record.size() + 1);
    line.append(record).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), f);
    if (f == stdout) std::fflush(f);  // keep the order with a host's own output
}

bool open(int unit, const std::string &path, Access access, bool create) {
    if (unit < 1 || is_standard(unit)) return false;
    close(unit);
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return false;
    Unit u;
    u.path = path;
    if (access == Access::read) {
        // Only a regular file is read: a pipe would block, a device never end.
        if (!exists || !S_ISREG(info.st_mode) ||
            !read_whole(path, u.text, static_cast<std::size_t>(std::max<off_t>(info.st_size, 0))))
            return false;
        u.reading = true;
        u.starts = record_starts(u.text);
    } else {
        if (!exists && !create) return false;
        // Opened without waiting, and kept only when writing cannot block: a
        // FIFO (which would wait for a reader) and a socket are refused.
        const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0);
        const int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) return false;
        if (::fstat(fd, &info) != 0 || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
            ::fcntl(fd, F_SETFL, O_APPEND) != 0 || (u.out = ::fdopen(fd, "a")) == nullptr) {
            ::close(fd);
            return false;
        }
    }
    u.device = info.st_dev;
    u.inode = info.st_ino;
    table()[unit] = std::move(u);
    return true;
}

bool close(int unit) {
    auto it = table().find(unit);
    if (it == table().end()) return true;
    bool ok = true;
    if (std::FILE *f = it->second.out; f != nullptr) {
        ok = std::ferror(f) == 0;
        ok = std::fclose(f) == 0 && ok;
    }
    table().erase(it);
    return ok;
}

bool is_open(int unit) { return is_standard(unit) || unit_of(unit) != nullptr; }

int find(std::string_view path) {
    const std::string name(path);
    struct stat info {};
    const bool exists = !name.empty() && ::stat(name.c_str(), &info) == 0;
    std::error_code error;
    const auto normal = [&error](const std::string &p) {
        return std::filesystem::absolute(p, error).lexically_normal();
    };
    for (const auto &[number, u] : table()) {
        if (exists ? u.device == info.st_dev && u.inode == info.st_ino : normal(u.path) == normal(name))
            return number;
    }
    return -1;
}

std::string path_of(int unit) {
    const Unit *u = unit_of(unit);
    return u != nullptr ? u->path : std::string();
}

int read_record(int unit, std::string_view *record) {
    Unit *u = unit_of(unit);
    if (u == nullptr) return unit == standard_output || unit == standard_error ? read_error : end_of_file;
    if (!u->reading) return read_error;
    if (u->position >= u->records()) {
        u->position = u->records() + 1;
        return end_of_file;
    }
    const std::size_t begin = u->starts[static_cast<std::size_t>(u->position)];
    std::size_t end = u->starts[static_cast<std::size_t>(u->position) + 1] - 1;  // before the LF
    if (end > begin && u->text[end - 1] == '\r') --end;
    *record = std::string_view(u->text).substr(begin, end - begin);
    ++u->position;
    return read_ok;
}

void backspace(int unit) {
    Unit *u = unit_of(unit);
    if (u != nullptr && u->reading && u->position > 0) --u->position;
}

void rewind(int unit) {
    Unit *u = unit_of(unit);
    if (u != nullptr && u->reading) u->position = 0;
}

int64_t tell(int unit) {
    const Unit *u = unit_of(unit);
    return u != nullptr && u->reading ? u->position : 0;
}

void seek(int unit, int64_t position) {
    Unit *u = unit_of(unit);
    if (u != nullptr && u->reading && position >= 0 && position <= u->records() + 1) u->position = position;
}

void fatal_package_error(std::string_view routine, std::initializer_list<std::string_view> lines) {
    write_record(standard_output, " ");
    write_record(standard_output, std::string(routine) + " - Fatal error!");
    for (std::string_view line : lines) write_record(standard_output, line);
    end_process(1);
}

}  // namespace kestro::units
