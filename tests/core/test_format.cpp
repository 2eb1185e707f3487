// Formatted records: which formats parse, integer editing,
// records written through a format (literals, skips, new records, reversion)
// and list-directed integer input.
#include <gtest/gtest.h>

#include <cstdio>
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

// ---------------------------------------------------------------- real and character editing

namespace {

// The records a format writes for values of any type, with the status of the
// first value refused.
Written written(const char *fmt, std::initializer_list<Value> values) {
    const Format f = parsed(fmt);
    Written out;
    out.status = format_records(f, values, out.records);
    return out;
}

using Records = std::vector<std::string>;

struct RealCase {
    const char *format;
    double value;
    const char *text;
};

void expect_real_cases(std::initializer_list<RealCase> cases) {
    for (const RealCase &c : cases) {
        const Written w = written(c.format, {c.value});
        EXPECT_EQ(w.status, status_ok) << c.format << ' ' << c.value;
        EXPECT_EQ(w.records, Records{c.text}) << c.format << ' ' << c.value;
    }
}

TEST(FormatRealEditing, ExponentFormsWithAndWithoutScale) {
    expect_real_cases({
        // One digit before the point under 1P; a three-digit exponent drops the letter.
        {"(1P,D13.5)", 2.22045e-14, "  2.22045D-14"},
        {"(1P,D13.5)", 1.234567e123, "  1.23457+123"},
        {"(1P,D13.5)", 1e-200, "  1.00000-200"},
        {"(1P,D13.5)", 9.999996, "  1.00000D+01"},  // rounding carries into the exponent
        {"(D13.5)", 2.5e-14, "  0.25000D-13"},
        {"(E12.4)", 1234.56, "  0.1235E+04"},
        {"(E11.4)", 0.99999, " 0.1000E+01"},
        {"(E11.4)", 1e100, " 0.1000+101"},
        {"(E11.4)", 1e-100, " 0.1000E-99"},
        {"(1P,E11.3)", -1.5e-5, " -1.500E-05"},
        {"(2P,E12.4)", 1234.56, "  12.346E+02"},
        {"(-1P,E12.4)", 1234.56, "  0.0123E+05"},
        // Zero has exponent 0 under any scale.
        {"(E10.3)", 0.0, " 0.000E+00"},
        {"(1P,E10.3)", 0.0, " 0.000E+00"},
        {"(D10.3)", 0.0, " 0.000D+00"},
        // An exponent field of given width.
        {"(E12.4E3)", 1.5e5, " 0.1500E+006"},
        {"(E10.3E1)", 1.5e5, "  0.150E+6"},
        {"(E10.3E1)", 1e10, "**********"},
        // Too narrow: the optional zero goes first, then the field is stars.
        {"(E10.3)", -1.0, "-0.100E+01"},
        {"(E9.3)", -1.0, "-.100E+01"},
        {"(E6.3)", 1.0, "******"},
    });
}

TEST(FormatRealEditing, InfinityAndNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_real_cases({
        {"(F10.3)", inf, "  Infinity"},
        {"(F9.3)", -inf, "-Infinity"},
        {"(F8.3)", -inf, "    -Inf"},  // too narrow for the whole word
        {"(E5.1)", inf, "  Inf"},
        {"(F3.0)", inf, "Inf"},
        {"(F3.0)", -inf, "***"},
        {"(E12.4)", nan, "         NaN"},
        {"(1PD9.2)", nan, "      NaN"},
        {"(F2.1)", nan, "**"},
    });
}

TEST(FormatRealEditing, FixedFormsRoundAndOverflow) {
    expect_real_cases({
        {"(F6.2)", 1234.5, "******"},
        {"(F7.2)", 1234.5, "1234.50"},
        {"(F10.3)", -123.4567, "  -123.457"},
        {"(F5.1)", 2.26, "  2.3"},
        {"(F6.2)", 9.996, " 10.00"},  // the carry adds a digit
        {"(F6.2)", 1.005, "  1.00"},  // 1.005 is stored slightly below the half
        {"(F4.0)", 2.7, "  3."},
        {"(F2.0)", 0.4, "0."},
        {"(F25.1)", 1e20, "  100000000000000000000.0"},
        // The zero before the point only when there is room.
        {"(F5.2)", 0.5, " 0.50"},
        {"(F4.2)", 0.5, "0.50"},
        {"(F3.2)", 0.5, ".50"},
        {"(F4.2)", -0.5, "-.50"},
        {"(F3.2)", -0.5, "***"},
        // kP multiplies the value for F editing.
        {"(1P,F8.3)", 1.5, "  15.000"},
        {"(-1P,F8.3)", 1.5, "   0.150"},
    });
}

TEST(FormatRealEditing, NegativeZeroKeepsItsSign) {
    expect_real_cases({
        {"(F8.3)", -0.0, "  -0.000"},
        {"(F5.1)", -0.0, " -0.0"},
        {"(E10.3)", -0.0, "-0.000E+00"},
        {"(1P,D12.4)", -0.0, " -0.0000D+00"},
        {"(F8.3)", 0.0, "   0.000"},
    });
}

TEST(FormatRealEditing, ScaleFactorHoldsForTheRestOfTheRecordsAndReversion) {
    // 1P set for an E field also scales a following F field.
    EXPECT_EQ(written("(1P,E10.3,F6.2)", {1.0, 1.0}).records, Records{" 1.000E+00 10.00"});
    EXPECT_EQ(written("(2P,F8.3,0P,F8.3)", {1.5, 1.5}).records, Records{" 150.000   1.500"});
    // Reverting to the group does not reset the factor.
    EXPECT_EQ(written("(1P,(D11.3))", {1.0, 2.0}).records, (Records{"  1.000D+00", "  2.000D+00"}));
    // Each write starts without a factor.
    EXPECT_EQ(written("(D11.3)", {1.0}).records, Records{"  0.100D+01"});
}

TEST(FormatAlphaEditing, TruncatesOrPadsToTheWidth) {
    struct Case {
        const char *format;
        const char *text;
        const char *record;
    };
    const Case cases[] = {
        {"(A)", "abc", "abc"},     {"(A5)", "abc", "  abc"}, {"(A3)", "abc", "abc"},
        {"(A2)", "abc", "ab"},     {"(A1)", "xyz", "x"},     {"(A)", "", ""},
        {"(A4)", "", "    "},      {"('[',A,']')", " a ", "[ a ]"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(written(c.format, {c.text}).records, Records{c.record}) << c.format << " '" << c.text << "'";
    EXPECT_EQ(written("(A1,A3,A)", {"xyz", "q", "end"}).records, Records{"x  qend"});
}

TEST(FormatRecordsOfMixedValues, RepeatCountsGroupsAndReversion) {
    EXPECT_EQ(written("(3F5.1)", {1.0, 2.0, 3.0}).records, Records{"  1.0  2.0  3.0"});
    EXPECT_EQ(written("(2(F4.1,'|'))", {1.0, 2.0}).records, Records{" 1.0| 2.0|"});
    EXPECT_EQ(written("(I3,F6.2,A4)", {int32_t{1}, 2.5, "ab"}).records, Records{"  1  2.50  ab"});
    // Remaining values start a new record at the last top-level group.
    EXPECT_EQ(written("(' X=',2(F4.1))", {1.0, 2.0, 3.0, 4.0, 5.0}).records,
              (Records{" X= 1.0 2.0", " 3.0 4.0", " 5.0"}));
    // The 1X ahead of the F3.1 without a value is still written.
    EXPECT_EQ(written("(A,':',2(1X,F3.1))", {"v", 1.0, 2.0, 3.0}).records, (Records{"v: 1.0 2.0", " 3.0 "}));
    // Without a group the whole format is used again.
    EXPECT_EQ(written("(5X,3F10.3)", {1.0, 2.0, 3.0, 4.0}).records,
              (Records{"          1.000     2.000     3.000", "          4.000"}));
}

TEST(FormatRecordsOfMixedValues, RecordEndsAtTheFirstItemWithoutAValue) {
    EXPECT_EQ(written("(F5.1,' a ',F5.1,' b')", {1.0}).records, Records{"  1.0 a "});
    EXPECT_EQ(written("(A,' = ',F6.2,' mm')", {"len"}).records, Records{"len = "});
    EXPECT_EQ(written("(A,' = ',F6.2,' mm')", {"len", 2.0}).records, Records{"len =   2.00 mm"});
    EXPECT_EQ(written("(1P,D10.2,/,' next')", {}).records, Records{""});
}

TEST(FormatRecordsOfMixedValues, ValuesMustSuitTheirDescriptor) {
    EXPECT_EQ(written("(I5)", {1.0}).status, status_bad_format);
    EXPECT_EQ(written("(F5.1)", {int32_t{1}}).status, status_bad_format);
    EXPECT_EQ(written("(E10.3)", {"1.0"}).status, status_bad_format);
    EXPECT_EQ(written("(A)", {1.0}).status, status_bad_format);
    // A format without data descriptors writes its literals once and refuses the value.
    const Written literal = written("('text')", {1.0});
    EXPECT_EQ(literal.status, status_bad_format);
    EXPECT_EQ(literal.records, Records{"text"});
    const Written trailing = written("(I2,('x'))", {int32_t{1}, int32_t{2}});
    EXPECT_EQ(trailing.status, status_bad_format);
    EXPECT_EQ(trailing.records, Records{" 1x"});
    // What was written before the refused value stays.
    const Written w = written("(F4.1,F4.1)", {1.0, "x"});
    EXPECT_EQ(w.status, status_bad_format);
    EXPECT_EQ(w.records, Records{" 1.0"});
}

TEST(FormatRecordsOfMixedValues, QuickCheckReportLines) {
    // The detail line of an integral with its expected code, and the summary.
    const double truth = -108.0, error = 1.4210854715202004e-14;
    EXPECT_EQ(written("(2F6.1,I5,1P,2D20.10,D15.5,'  (',I1,') *****' )",
                      {-3.0, 3.0, int32_t{0}, truth, truth, error, int32_t{2}})
                  .records,
              Records{"  -3.0   3.0    0   -1.0800000000D+02   -1.0800000000D+02    1.42109D-14  (2) *****"});
    EXPECT_EQ(written("(/'  MAXIMUM RELATIVE ERROR IS:',1P,D15.5, ',   TOLERANCE:',1P,D15.5)",
                      {0.0, 2.220446049250313e-14})
                  .records,
              (Records{"", "  MAXIMUM RELATIVE ERROR IS:    0.00000D+00,   TOLERANCE:    2.22045D-14"}));
    // A data line with columns left blank.
    EXPECT_EQ(written("(5X,F10.2,1P,D15.5,4X,D15.5,15X,D15.5)", {-2.2, 0.007907054051593435, 0.0, -0.0516830792})
                  .records,
              Records{"          -2.20    7.90705D-03        0.00000D+00                  -5.16831D-02"});
    // Names and values side by side.
    EXPECT_EQ(written("(10X,A2,' =',1P,D18.10,5X,A2,' =',D18.10)", {"X1", -1.5, "X2", 2.5}).records,
              Records{"          X1 = -1.5000000000D+00     X2 =  2.5000000000D+00"});
    EXPECT_EQ(written("(/10X,'INTERVAL = (',1P,D12.5,',',D12.5,' ):' )", {2.0e-10, 3.0e-10}).records,
              (Records{"", "          INTERVAL = ( 2.00000D-10, 3.00000D-10 ):"}));
    // A page mark, a heading split over two literals, an empty line.
    EXPECT_EQ(written("('1'/' ------------ DPCHIP QUICK CHECK OUTPUT', ' ------------' //20X,'( KPRINT =',I2,' )')",
                      {int32_t{3}})
                  .records,
              (Records{"1", " ------------ DPCHIP QUICK CHECK OUTPUT ------------", "",
                       "                    ( KPRINT = 3 )"}));
}

}  // namespace

namespace {

TEST(FormatWriter, HollerithAndTabs) {
    struct Case {
        const char *format;
        std::vector<kestro::format::Value> values;
        std::vector<std::string> records;
    };
    const std::vector<Case> cases = {
        {"(1H+,T21,'X')", {}, {"+" + std::string(19, ' ') + "X"}},
        {"(1H0,'A'//5X,'B')", {}, {"0A", "", "     B"}},
        {"(1H ,I4)", {int32_t{3}}, {"    3"}},
        {"(3Ha,b,I2)", {int32_t{7}}, {"a,b 7"}},  // a comma inside the Hollerith text
        {"('abcdef',T3,'XY')", {}, {"abXYef"}},   // back over written characters
        {"('ab',T6,I2,T2,'-')", {int32_t{5}}, {"a-    5"}},
        {"(T4,A/T2,A)", {"x", "y"}, {"   x", " y"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> records;
        EXPECT_EQ(format_records(parsed(c.format), c.values, records), status_ok) << c.format;
        EXPECT_EQ(records, c.records) << c.format;
    }
    for (const char *bad : {"(0Hx)", "(5Hab)", "(T)", "(T0)", "(2T3)", "(H)"}) EXPECT_FALSE(Format::parse(bad)) << bad;
}

TEST(FormatListDirected, TextIntegersAndReals) {
    EXPECT_EQ(list_record({"Wand:", int32_t{12}}), " Wand:           12");
    EXPECT_EQ(list_record({"H1", -0.5}), " H1   -5.0000000000000000E-01");
    EXPECT_EQ(list_record({}), "");
    // Reals read back exactly.
    const std::string record = list_record({1.0 / 3.0, 1e-300});
    double a = 0, b = 0;
    ASSERT_EQ(std::sscanf(record.c_str(), "%lf %lf", &a, &b), 2);
    EXPECT_EQ(a, 1.0 / 3.0);
    EXPECT_EQ(b, 1e-300);
}

}  // namespace
