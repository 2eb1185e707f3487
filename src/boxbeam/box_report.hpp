// The box-beam report and its trace: two files, each appended to on a unit of
// its own, written through the library's record writer.  The report is a
// line-printer listing: column 1 of every record is ASA carriage control
// (" " normal, "0" an empty line before, "1" a new page, "+" no advance).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "core/format.hpp"

namespace kestro::boxbeam {

// The report's blocks, each written with one format of the table in
// box_report.cpp.
enum class Block {
    cap_echo_head,
    cap_echo,
    wall_echo_head,
    wall_echo,
    cell_echo_head,
    cell_echo,
    loads,
    title,
    centres,
    bending,
    bending_reference,
    polar_centre,
    polar_reference,
    principal,
    cap_table_head,
    cap_table_row,
    wall_table_head,
    flow_row,
    static_head,
    static_row,
    system_head,
    values,
    solutions_head,
    residuals_head,
    residual,
    abort,
    missing_wall,
    shear_centre,
    open_profile,
    shear_table_head,
    twist,
    mass_moments,
    torsion,
    force_sums,
    force_gap,
    force_head,
    force_row,
    count
};

// The format of a block.
std::string_view format_of(Block block);

// A file name as the caller stores it: up to the first NUL, trailing blanks dropped.
std::string file_name(const char *buffer, std::size_t length);

class Report {
public:
    Report() = default;
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;
    ~Report();

    // Opens the files the print control asks for: the trace when druck and
    // exdru are both set, then the report when druck is.  False, with the
    // error recorded and nothing left open, when one cannot be opened.
    bool open(bool druck, bool exdru, const std::string &report_path, const std::string &trace_path);

    bool printing() const { return report_ > 0; }  // druck
    bool extended() const { return trace_ > 0; }   // druck and exdru

    // Writes a block on the report when it is open.
    void write(Block block, std::initializer_list<format::Value> values = {}) const;
    void write(Block block, std::span<const format::Value> values) const;
    // Writes one list-directed record on the trace when it is open.
    void trace(std::initializer_list<format::Value> values = {}) const;

    // Closes both files; false, with the error recorded, when a write failed.
    bool close();

private:
    int report_ = 0, trace_ = 0;  // units; 0 when not open
};

}  // namespace kestro::boxbeam
