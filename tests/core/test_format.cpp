// Formatted records: which formats parse, integer editing,
// records written through a format (literals, skips, new records, reversion)
// and list-directed integer input.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/format.hpp"

namespace {

using namespace kestro::format;
using Kind = Item::Kind;

Format parsed(const char *fmt) {
    auto f = Format::parse(fmt);
    EXPECT_TRUE(f.has_value()) << fmt;
    return f.value_or(Format{});
}

// The records a format writes for values, or the status of the first value
// refused.
struct Written {
    int32_t status = status_ok;
    std::vector<std::string> records;
};
Written write(const char *fmt, std::vector<int64_t> values) {
    const Format f = parsed(fmt);
    Writer w(f);
    Written out;
    for (int64_t v : values)
        if ((out.status = w.put(v)) != status_ok) return out;
    w.finish();
    out.records = w.records();
    return out;
}

// ---------------------------------------------------------------- parsing

TEST(FormatParse, AcceptsWellFormedFormats) {
    for (const char *fmt : {"(I0)", "(I5.3)", "( i5 , 2x , 'ab''c' )", "(2(I3,1X),/,F8.3,E12.4E3,D10.2,A,A5,-2P)",
                             "()", "(I3/I4)", "(I3,//,I4)", "(\"say \"\"hi\"\"\")", "(3(2(I1)))",
                             "(1PE12.4)", "(-1PF8.3,I2)"})
        EXPECT_TRUE(Format::parse(fmt).has_value()) << fmt;
}

TEST(FormatParse, RejectsMalformedFormats) {
    for (const char *fmt : {"I5", "(I)", "(F5)", "(E5.)", "(0I3)", "(I5", "('open)", "(Q5)", "(I5,)", "(+I5)", "",
                             "(I5))", "(I5 I3)", "(-2X)", "(P)", "(2'ab')", "(I5.)", "(E8.2E)", "(,I5)",
                             // repeats that would spell out more items than any record needs
                             "(10000000I1)", "(1000(1000(1000(I1))))"})
        EXPECT_FALSE(Format::parse(fmt).has_value()) << '"' << fmt << '"';
}

TEST(FormatParse, ItemsCarryTheirFields) {
    const Format f = parsed("( i5 , 2x , 'ab''c' )");
    ASSERT_EQ(f.items().size(), 3u);
    EXPECT_EQ(f.items()[0].kind, Kind::integer);
    EXPECT_EQ(f.items()[0].width, 5);
    EXPECT_EQ(f.items()[0].digits, -1);
    EXPECT_EQ(f.items()[1].kind, Kind::skip);
    EXPECT_EQ(f.items()[1].repeat, 2);
    EXPECT_EQ(f.items()[2].kind, Kind::literal);
    EXPECT_EQ(f.items()[2].text, "ab'c");

    const Format g = parsed("(2(I3,1X),/,F8.3,E12.4E3,D10.2,A,A5,-2P)");
    const std::vector<Kind> kinds = {Kind::group_open, Kind::integer, Kind::skip,     Kind::group_close,
                                     Kind::newline,    Kind::fixed,   Kind::exponent, Kind::exponent_d,
                                     Kind::alpha,      Kind::alpha,   Kind::scale};
    ASSERT_EQ(g.items().size(), kinds.size());
    for (size_t k = 0; k < kinds.size(); ++k) EXPECT_EQ(g.items()[k].kind, kinds[k]) << k;
    EXPECT_EQ(g.items()[0].repeat, 2);
    EXPECT_EQ(g.items()[5].width, 8);
    EXPECT_EQ(g.items()[5].digits, 3);
    EXPECT_EQ(g.items()[6].exponent, 3);
    EXPECT_EQ(g.items()[8].width, -1);
    EXPECT_EQ(g.items()[9].width, 5);
    EXPECT_EQ(g.items()[10].scale, -2);

    EXPECT_TRUE(parsed("()").items().empty());
    EXPECT_EQ(parsed("(I0)").items()[0].width, 0);
}

// ---------------------------------------------------------------- integer editing

TEST(FormatEditInteger, Table) {
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    struct Case {
        int64_t value;
        int width, digits;
        const char *text;
    };
    const Case cases[] = {
        {0, 0, -1, "0"},
        {0, 3, -1, "  0"},
        {0, 3, 0, "   "},  // Iw.0 writes a zero as blanks
        {0, 0, 0, " "},    // I0.0 of zero: one blank
        {7, 3, 0, "  7"},
        {5, 3, 2, " 05"},
        {-5, 3, 2, "-05"},
        {-5, 2, 2, "**"},
        {-12, 0, -1, "-12"},
        {-12, 3, -1, "-12"},
        {-123, 3, -1, "***"},
        {123, 3, -1, "123"},
        {1234, 3, -1, "***"},
        {42, 0, 5, "00042"},
        {lowest, 0, -1, "-9223372036854775808"},
        {lowest, 20, -1, "-9223372036854775808"},
        {lowest, 19, -1, "*******************"},
        {std::numeric_limits<int64_t>::max(), 0, -1, "9223372036854775807"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(edit_integer(c.value, c.width, c.digits), c.text) << c.value << " I" << c.width << '.' << c.digits;
}

// ---------------------------------------------------------------- writing records

TEST(FormatWriter, LiteralsSkipsAndNewRecordsAroundValues) {
    EXPECT_EQ(write("('n=',I3,2X,'mm')", {42}).records, (std::vector<std::string>{"n= 42  mm"}));
    // Output stops at the first data descriptor without a value; what stands
    // before it is written.
    EXPECT_EQ(write("(I2,'a',I2,'b')", {1}).records, (std::vector<std::string>{" 1a"}));
    EXPECT_EQ(write("('x',I1,'y')", {}).records, (std::vector<std::string>{"x"}));
    EXPECT_EQ(write("(I1,/,I1,2/,'e')", {1, 2}).records, (std::vector<std::string>{"1", "2", "", "e"}));
    EXPECT_EQ(write("(/I1/)", {3}).records, (std::vector<std::string>{"", "3", ""}));
    EXPECT_EQ(write("(2(I2,1X),'|')", {1, 2}).records, (std::vector<std::string>{" 1  2 |"}));
    EXPECT_EQ(write("(-2P,I3)", {7}).records, (std::vector<std::string>{"  7"}));
}

TEST(FormatWriter, ReversionStartsANewRecordAtTheLastTopLevelGroup) {
    // I2 right-adjusts every value, so the first record is " 1|", not "1|".
    EXPECT_EQ(write("(I2,'|')", {1, 2, 3}).records, (std::vector<std::string>{" 1|", " 2|", " 3|"}));
    // The leading I1 and literal are not repeated; the group is, with its count.
    EXPECT_EQ(write("(I1,2(I2,'|'))", {1, 2, 3, 4, 5}).records,
              (std::vector<std::string>{"1 2| 3|", " 4| 5|"}));
    EXPECT_EQ(write("((I1),'a',(I2))", {1, 2, 3, 4}).records, (std::vector<std::string>{"1a 2", " 3", " 4"}));
    EXPECT_EQ(write("('<',I1)", {1, 2}).records, (std::vector<std::string>{"<1", "<2"}));
}

TEST(FormatWriter, RefusesValuesWithoutAnIntegerDescriptor) {
    EXPECT_EQ(write("(F8.3)", {1}).status, status_bad_format);
    EXPECT_EQ(write("(I2,A)", {1, 2}).status, status_bad_format);
    EXPECT_EQ(write("()", {1}).status, status_bad_format);
    EXPECT_EQ(write("('only text')", {1}).status, status_bad_format);
}

TEST(FormatWriteInteger, StatusesAndPadding) {
    const auto run = [](const char *fmt, int64_t value, size_t length, std::string *text) {
        const Format f = parsed(fmt);
        std::string buf(length + 4, '#');
        const int32_t status = write_integer(f, value, buf.data(), length);
        EXPECT_EQ(buf.substr(length), "####") << fmt;  // never beyond the record
        *text = buf.substr(0, length);
        return status;
    };
    std::string text;
    EXPECT_EQ(run("(I3)", 5, 6, &text), status_ok);
    EXPECT_EQ(text, "  5   ");
    EXPECT_EQ(run("(I0)", -123, 4, &text), status_ok);
    EXPECT_EQ(text, "-123");
    EXPECT_EQ(run("(2X,I2,'|')", 7, 5, &text), status_ok);
    EXPECT_EQ(text, "   7|");
    EXPECT_EQ(run("(I5,F8.3)", 7, 5, &text), status_ok);
    EXPECT_EQ(text, "    7");

    EXPECT_EQ(run("(I0)", 12345, 4, &text), status_end_of_record);
    EXPECT_EQ(run("(I2,'xyz')", 5, 4, &text), status_end_of_record);
    EXPECT_EQ(run("(I3,/)", 5, 10, &text), status_end_of_record);
    EXPECT_EQ(run("(/,I3)", 5, 10, &text), status_end_of_record);
    EXPECT_EQ(run("(I3)", 5, 0, &text), status_end_of_record);
    EXPECT_EQ(run("(F8.3)", 5, 10, &text), status_bad_format);
    EXPECT_EQ(run("(A)", 5, 10, &text), status_bad_format);
    EXPECT_EQ(run("()", 5, 10, &text), status_bad_format);
    EXPECT_EQ(run("('abc')", 5, 10, &text), status_bad_format);
}

// ---------------------------------------------------------------- list-directed input

TEST(FormatReadInteger, Table) {
    struct Case {
        std::string text;
        int32_t status;
        int32_t value;  // expected when status_ok
    };
    const Case cases[] = {
        {"  -12,3", status_ok, -12},
        {"+7", status_ok, 7},
        {"3*5", status_ok, 5},
        {"3*-4 9", status_ok, -4},
        {"007", status_ok, 7},
        {"0000000000000000000000001", status_ok, 1},
        {"12/5", status_ok, 12},
        {"1 2", status_ok, 1},
        {"\t 8\t9", status_ok, 8},
        {"\t\t-3", status_ok, -3},
        {"2147483647", status_ok, 2147483647},
        {"-2147483648", status_ok, std::numeric_limits<int32_t>::min()},
        {"*5", status_bad_value, 0},
        {"0*5", status_bad_value, 0},
        {"a*5", status_bad_value, 0},
        {"2*3*4", status_bad_value, 0},
        {"4x", status_bad_value, 0},
        {"4.0", status_bad_value, 0},
        {"1e3", status_bad_value, 0},
        {"-", status_bad_value, 0},
        {"+", status_bad_value, 0},
        {"--1", status_bad_value, 0},
        {",", status_end_of_file, 0},
        {"/", status_end_of_file, 0},
        {"", status_end_of_file, 0},
        {"   ", status_end_of_file, 0},
        {"\t", status_end_of_file, 0},
        {"  ,5", status_end_of_file, 0},
        {"3*", status_end_of_file, 0},
        {"3*,4", status_end_of_file, 0},
        {"2147483648", status_overflow, 0},
        {"-2147483649", status_overflow, 0},
        {"99999999999999999999", status_overflow, 0},
        {"-99999999999999999999999", status_overflow, 0},
        {"2*2147483648", status_overflow, 0},
    };
    for (const Case &c : cases) {
        int32_t value = 1234;
        EXPECT_EQ(read_integer(c.text, value), c.status) << '"' << c.text << '"';
        EXPECT_EQ(value, c.status == status_ok ? c.value : 1234) << '"' << c.text << '"';
    }
}

TEST(FormatReadInteger, ReadsOnlyTheGivenCharacters) {
    // The view ends inside the digits: what follows it must not count.
    const std::string text = "12345";
    int32_t value = 0;
    EXPECT_EQ(read_integer(std::string_view(text).substr(0, 2), value), status_ok);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(read_integer(std::string_view(text).substr(0, 0), value), status_end_of_file);
}

}  // namespace
