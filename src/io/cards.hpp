// The syntax the four card files share: where a card is found, its lines
// split into key and parameters, whole-key comparison, block numbers, and the
// data blocks of options read through the keyword-file primitives.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/errorhandling.hpp"

namespace kestro::cards {

class Card {
public:
    // Opens "<workspace>/<name>.zrv" (workspace trimmed), else filepath;
    // is_open() is false when neither opens.  A card name longer than 256
    // characters is not opened: -2 naming the card, then filepath is tried.
    Card(std::string_view filepath, std::string_view workspace, std::string_view name);
    Card(const Card &) = delete;
    Card &operator=(const Card &) = delete;
    ~Card();

    bool is_open() const { return unit_ > 0; }
    // Whether the card was opened in the workspace, not in filepath.
    bool in_workspace() const { return in_workspace_; }
    int32_t unit() const { return unit_; }
    const std::string &name() const { return name_; }

    // Reads the next line (80 columns) and splits it at its first comma:
    // false at the end of the file.
    bool next();
    void rewind() const;
    std::string_view key() const { return key_; }
    std::string_view params() const { return params_; }
    // The number of the line read last (1 for the first), and the card's path.
    int64_t line_number() const;
    std::string path() const;
    // The key equals k: letter case and trailing blanks ignored, leading blanks counting.
    bool key_is(std::string_view k) const { return may_be(key_, k) && same(key_, k); }
    // The whole line equals text in the same sense.
    bool line_is(std::string_view text) const { return may_be(line_, text) && same(line_, text); }
    // A line of a data block: not blank, its first column neither "*" nor "+".
    bool is_data_line() const;
    bool params_are(std::string_view p) const;
    bool params_contain(std::string_view p) const;
    bool params_empty() const;
    // The integer after the first `skip` characters of the parameters, or
    // previous when there is none.
    int32_t block_number(std::size_t skip, int32_t previous) const;

    // The number of values of the option's data block (the file stays); a
    // data line past the 256 columns read records a -2 warning naming the card.
    int32_t measure() const;
    // The option's data block read into a buffer of its own size.
    std::vector<double> reals() const;
    // The data block into at most n entries of out (the rest keep theirs),
    // warning of a line past column 256 as measure() does.
    void read(double *out, int64_t n) const;
    void read(int32_t *out, int64_t n) const;

private:
    static bool same(std::string_view a, std::string_view b);
    // Whether text can equal key by its first character (letter case
    // ignored), which tells a data line from every key at once.
    static bool may_be(std::string_view text, std::string_view key) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return key.empty() || key[0] == ' ' || (!text.empty() && lower(text[0]) == lower(key[0]));
    }

    int32_t unit_ = -1;
    bool in_workspace_ = false;
    std::string name_;                 // the card's name, "SectionCard"
    std::string line_;                 // the line read last, cut to 80 columns
    std::string_view key_, params_;    // parts of line_
    mutable std::unordered_map<int64_t, int32_t> measured_;  // block sizes by the line before the block
};

// A block of the card that cannot be used as it stands: -2 "<card> block
// <number><what>", the block's number and the counts as the integer context,
// the card's name as the name.
template <std::same_as<int32_t>... Counts>
void record_block_fault(const Card &card, int32_t number, std::string_view what, Counts... counts) {
    record_error(-2, Message() << card.name() << " block " << number << what, {number, counts...}, {},
                 {card.name()});
}

// What start-up learns of a card read: the number of blocks read (0 when the
// card opened nowhere or holds none; the material card also when there are
// no material ids), and whether the card file itself opened, so that the
// input deck was not read.
struct Reading {
    int32_t blocks = 0;
    bool in_workspace = false;
};

// The section and material cards as start-up reads them (getsectiondatafromfile,
// getmaterialdatafromfile).
Reading read_section_card(std::string_view filepath, std::string_view workspace);
Reading read_material_card(std::string_view filepath, std::string_view workspace, int32_t nplies, int32_t nsec);

}  // namespace kestro::cards
