// Keyword files by unit number: the table of units (records, stepping back,
// connection rules), list-directed values, and the primitives of module
// iohandling on small files written by the tests and on tests/data.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/format.hpp"
#include "core/units.hpp"
#include "decl/iohandling.hpp"
#include "shared_state.hpp"

namespace {

namespace units = kestro::units;
namespace format = kestro::format;
namespace io = kestro::iohandling;

using Vec = std::vector<double>;

std::string temp_path(const std::string &name) {
    return ::testing::TempDir() + "kestro_io_" + std::to_string(getpid()) + "_" + name;
}

std::string write_file(const std::string &name, const std::string &text) {
    const std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A file opened for reading on a free unit for the life of the object.
class Open {
public:
    explicit Open(const std::string &path) {
        const int32_t first = 1, last = 120;
        unit = GetFreeUnitNumber(&first, &last);
        opened = units::open(unit, path, units::Access::read);
    }
    Open(const Open &) = delete;
    Open &operator=(const Open &) = delete;
    ~Open() { units::close(unit); }

    std::string next() {
        std::string_view record;
        const int status = units::read_record(unit, &record);
        return status == units::read_ok ? std::string(record) : status < 0 ? "<eof>" : "<error>";
    }
    bool to_key(int32_t dir, const std::string &key, int32_t ulimit, int32_t returnkey = 0) {
        const int32_t lkey = static_cast<int32_t>(key.size());
        return io::get2nextkey(&unit, &dir, key.data(), &lkey, &ulimit, &returnkey, key.size()) != 0;
    }
    int32_t size() {
        const int32_t ls = 2;
        return io::getsizeofdata(&unit, "*+", &ls, 2);
    }
    Vec reals(Vec out) {
        const auto n = static_cast<int32_t>(out.size());
        io::real_getdatapoints(&unit, out.data(), &n);
        return out;
    }

    int32_t unit = -1;
    bool opened = false;
};

using IoHandling = SharedState;

// ---------------------------------------------------------------- units

TEST_F(IoHandling, RecordsAndSteppingBack) {
    const std::string path = write_file("records.txt", "first\r\nsecond\n\nlast without LF");
    Open f(path);
    ASSERT_TRUE(f.opened);
    units::backspace(f.unit);  // nothing at the start
    EXPECT_EQ(f.next(), "first");
    EXPECT_EQ(f.next(), "second");
    EXPECT_EQ(f.next(), "");
    EXPECT_EQ(f.next(), "last without LF");
    EXPECT_EQ(f.next(), "<eof>");
    units::backspace(f.unit);  // before the end again
    EXPECT_EQ(f.next(), "<eof>");
    units::backspace(f.unit);
    units::backspace(f.unit);
    EXPECT_EQ(f.next(), "last without LF");
    units::rewind(f.unit);
    EXPECT_EQ(f.next(), "first");
    const int32_t many = 1000000000;
    RewindFile(&f.unit, &many);  // stops at the top
    EXPECT_EQ(f.next(), "first");
}

TEST_F(IoHandling, ConnectionRules) {
    const std::string dir = ::testing::TempDir();
    const std::string path = write_file("rules.txt", "x\n");
    EXPECT_FALSE(units::open(30, dir, units::Access::read));  // a directory
    EXPECT_FALSE(units::open(0, path, units::Access::read));
    EXPECT_FALSE(units::open(-4, path, units::Access::read));
    EXPECT_FALSE(units::open(30, temp_path("absent.txt"), units::Access::read));
    EXPECT_FALSE(units::open(30, temp_path("absent.txt"), units::Access::write, false));
    EXPECT_FALSE(std::filesystem::exists(temp_path("absent.txt")));
    for (int unit : {0, 5, 6}) EXPECT_TRUE(units::is_open(unit));
    std::string_view record;
    EXPECT_LT(units::read_record(5, &record), 0);   // standard input is never read
    EXPECT_GT(units::read_record(6, &record), 0);   // open for writing
    EXPECT_LT(units::read_record(77, &record), 0);  // not connected: an empty file
    EXPECT_FALSE(units::is_open(77));
    const int32_t first = 1, last = 120, four = 4, six = 6, none = 10, nine = 9;
    EXPECT_EQ(GetFreeUnitNumber(&four, &six), 4);
    ASSERT_TRUE(units::open(4, path, units::Access::read));
    EXPECT_EQ(GetFreeUnitNumber(&four, &six), -1);  // 5 and 6 are never offered
    EXPECT_EQ(GetFreeUnitNumber(&none, &nine), -1);
    EXPECT_EQ(GetFreeUnitNumber(&first, &last), 1);
    // Found by name, under another spelling too, trailing blanks ignored.
    const std::filesystem::path p(path);
    const std::string other = (p.parent_path() / "." / p.filename()).string() + "   ";
    EXPECT_EQ(io::getunitnumber(path.data(), path.size()), 4);
    EXPECT_EQ(io::getunitnumber(other.data(), other.size()), 4);
    const std::string absent = temp_path("absent.txt");
    EXPECT_EQ(io::getunitnumber(absent.data(), absent.size()), -1);
    units::close(4);
    EXPECT_EQ(io::getunitnumber(path.data(), path.size()), -1);
    // Only regular files are read: a pipe would block, a device never end.
    const std::string fifo = temp_path("card.fifo"), device = temp_path("card.zero");
    std::filesystem::remove(fifo);
    std::filesystem::remove(device);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", device);
    EXPECT_FALSE(units::open(30, fifo, units::Access::read));
    EXPECT_FALSE(units::open(30, device, units::Access::read));
}

TEST_F(IoHandling, AFifoWithAReaderIsNotWritten) {
    // With a reader the FIFO opens to write at once, but the writer could
    // still wait on it for ever: it is refused, and the report writes nothing.
    const std::string fifo = temp_path("report.fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(units::open(31, fifo, units::Access::write));
    EXPECT_FALSE(units::is_open(31));
    const double coord[3] = {1, 2, 3};
    const int32_t noel = 7, npt = 1;
    io::getgausspointreport(fifo.data(), coord, &noel, &npt, fifo.size());
    EXPECT_EQ(io::getunitnumber(fifo.data(), fifo.size()), -1);
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0);  // no writer holds it, nothing was written
    ::close(reader);
    std::filesystem::remove(fifo);
}

// ---------------------------------------------------------------- list-directed values

TEST(ListDirected, ValuesALineHolds) {
    const std::vector<std::pair<const char *, int64_t>> cases{
        {" 0. , 90. , 0.", 3}, {" 0.125,", 1}, {"1,,3", 3}, {"3*0.", 3}, {",5", 2}, {"1 2 / 3", 2},
        {"", 0},               {"   ", 0},    {"3*", 3},    {"1\t2", 2}, {"1, ,3", 3}, {"1,,", 2},
    };
    for (const auto &[line, count] : cases) EXPECT_EQ(format::count_list_values(line), count) << '"' << line << '"';
    EXPECT_EQ(format::count_list_values("0*1"), -1);
    EXPECT_EQ(format::count_list_values("x*1"), -1);
}

TEST(ListDirected, NumbersOfEachKind) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<const char *, double>> reals{
        {".5", 0.5},     {"1e3", 1000.0},  {"1.5D0", 1.5},   {"1.5+3", 1500.0}, {"1.5-3", 0.0015}, {"-Inf", -inf},
        {"+.5e1", 5.0},  {"5.", 5.0},      {"1.5q-2", 0.015}, {"7", 7.0},       {"1e999", inf},    {"-2.5E+01", -25.0},
    };
    for (const auto &[text, expected] : reals) {
        double v = -1.0;
        EXPECT_EQ(format::parse_real(text, v), format::status_ok) << text;
        EXPECT_EQ(v, expected) << text;
    }
    double v = 0.0;
    EXPECT_EQ(format::parse_real("NaN", v), format::status_ok);
    EXPECT_TRUE(std::isnan(v));
    for (const char *bad : {"1.5e", "e5", ".", "1.2.3", "0.1x", "--1", "+", "infinit", "1.5e+"})
        EXPECT_EQ(format::parse_real(bad, v), format::status_bad_value) << bad;
    int32_t i = 0;
    for (const auto &[text, expected] : std::vector<std::pair<const char *, int32_t>>{{"12", 12}, {"-7", -7}, {"+3", 3}}) {
        EXPECT_EQ(format::parse_integer(text, i), format::status_ok) << text;
        EXPECT_EQ(i, expected);
    }
    for (const char *bad : {"1.5", "3e2", "", "+-1", "1a"}) EXPECT_EQ(format::parse_integer(bad, i), format::status_bad_value) << bad;
    EXPECT_EQ(format::parse_integer("2147483648", i), format::status_overflow);
}

// ---------------------------------------------------------------- keyword files

const std::string kKeywords = std::string(KESTRO_TEST_DATA) + "/keywords.inp";

TEST_F(IoHandling, TheKeywordFile) {
    Open f(kKeywords);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(GetFileLength(&f.unit, nullptr), 10);
    const int32_t lkey = 5;
    EXPECT_EQ(io::getnumberofkeywords(&f.unit, "*Step", &lkey, nullptr, 5), 2);
    EXPECT_EQ(f.next(), "*Heading");  // both rewound
    units::rewind(f.unit);
    ASSERT_TRUE(f.to_key(1, "*Step", 10));
    EXPECT_EQ(f.size(), 6);
    EXPECT_EQ(f.reals(Vec(6, -1.0)), (Vec{1, 2, 3, 4, 0, 6}));
    EXPECT_EQ(f.next(), "*End Step");
    units::backspace(f.unit);
    ASSERT_TRUE(f.to_key(1, "*Step", 2));
    EXPECT_EQ(f.size(), 4);
    EXPECT_EQ(f.reals(Vec(4, -1.0)), (Vec{0, 90, 0, 0.125}));
    EXPECT_EQ(f.next(), "<eof>");  // the block ended at the end of the file
    EXPECT_EQ(f.next(), "<eof>");
    ASSERT_TRUE(f.to_key(-1, "*Step", 10, 1));
    EXPECT_EQ(f.next(), "  *step, name=Relax");
    EXPECT_EQ(kestro::errorhandling::errstat, 0);
}

TEST_F(IoHandling, BlocksAndSearches) {
    const std::string path = write_file("blocks.txt",
                                        "*A\n*B\n1 2 3 4 5\n  +Material\n6\n*C\n7, 8\n*D\n"
                                        "x\ny\n*E, found\nz\n*F\n1 2 3 4 5\n");
    Open f(path);
    ASSERT_TRUE(f.to_key(1, "*A", 1));
    EXPECT_EQ(f.size(), 0);  // a key line right after a key line
    EXPECT_EQ(f.reals(Vec{9.0}), Vec{9.0});
    EXPECT_EQ(f.next(), "*B");
    EXPECT_EQ(f.size(), 7);  // "  +Material" does not end the block
    units::rewind(f.unit);
    ASSERT_TRUE(f.to_key(1, "+Material", 4));
    EXPECT_EQ(f.reals(Vec(3, -1.0)), (Vec{6, -1, -1}));
    units::rewind(f.unit);
    ASSERT_TRUE(f.to_key(1, "*C", 10));
    EXPECT_EQ(f.reals(Vec(3, -1.0)), (Vec{7, 8, -1}));  // two values into three
    EXPECT_EQ(f.next(), "*D");
    // The key on the third line following is found; on the fourth it is not.
    EXPECT_TRUE(f.to_key(1, "*E", 3));
    units::rewind(f.unit);
    ASSERT_TRUE(f.to_key(1, "*D", 10));
    units::backspace(f.unit);
    EXPECT_FALSE(f.to_key(1, "*E", 3, 1));
    EXPECT_EQ(f.next(), "y");
    // Backwards from the top the first line is examined once; nothing spins.
    units::rewind(f.unit);
    EXPECT_FALSE(f.to_key(-1, "*Z", 2000000000, 1));
    EXPECT_EQ(f.next(), "*A");
    EXPECT_FALSE(f.to_key(1, "*A", 0, 1));  // no record examined
    ASSERT_TRUE(f.to_key(1, "*F", 20));
    EXPECT_EQ(f.reals(Vec(3, -1.0)), (Vec{1, 2, 3}));  // five values into three
    EXPECT_EQ(f.reals(Vec{-1.0}), Vec{-1.0});          // nothing the second time
}

TEST_F(IoHandling, PointTablesDamageRowsAndIntegers) {
    const std::string path =
        write_file("tables.txt", "*T\n0 1, 2 3\n4 5\n*T\n0 1 2 3\n*DDS\n1 2 3 4\n5 6 7 8 9\n*I\n3, -4 2*7\n");
    Open f(path);
    f.next();
    std::vector<double> xy(6, -1.0);  // xydata(3, 2)
    int32_t ndata = 3, nrows = 2, nplies = 3, n = 5;
    io::getxydatapoints(&f.unit, xy.data(), &ndata, &nrows);
    EXPECT_EQ(xy, (Vec{0, 2, 4, 1, 3, 5}));
    f.next();
    io::getxydatapoints(&f.unit, xy.data(), &ndata, &nrows);  // 4 values are not 3 points
    EXPECT_EQ(recorded(), "Error: Error in GetXYDataPointsRead operation exited with an error.");
    EXPECT_EQ(f.next(), "0 1 2 3");
    f.next();
    std::vector<double> dds(9, -1.0);
    io::getddsfromfile(&f.unit, dds.data(), &nplies);
    EXPECT_EQ(dds, (Vec{2, 3, -1, 6, 7, -1, -1, -1, -1}));  // the ninth value starts no row
    f.next();
    std::vector<int32_t> ints(5, -1);
    io::int_getdatapoints(&f.unit, ints.data(), &n);
    EXPECT_EQ(ints, (std::vector<int32_t>{3, -4, 7, 7, -1}));
}

TEST_F(IoHandling, ReadErrorsOnAUnitOpenForWriting) {
    const int32_t unit = 6, lkey = 2, dir = 1, ulimit = 5, none = 0;
    EXPECT_EQ(io::get2nextkey(&unit, &dir, "*A", &lkey, &ulimit, &none, 2), 0);
    EXPECT_EQ(recorded(), "Error: Error in Get2NextKeyRead operation exited with an error.");
    EXPECT_EQ(kestro::errorhandling::errstat, -2);
    reset();
    EXPECT_EQ(GetFileLength(&unit, nullptr), 0);
    EXPECT_EQ(recorded(), "Error: Error in GetFileLengthRead operation exited with an error.");
    reset();
    EXPECT_EQ(io::getnumberofkeywords(&unit, "*A", &lkey, nullptr, 2), 0);
    EXPECT_EQ(recorded(), "Error: Error in GetNumberOfKeywordsRead operation exited with an error.");
    reset();
    double out[2] = {-1, -1};
    const int32_t two = 2;
    io::real_getdatapoints(&unit, out, &two);
    EXPECT_EQ(recorded(), "Error: Error in GetDataPointsRead operation exited with an error.");
    EXPECT_EQ(out[0], -1.0);
}

TEST_F(IoHandling, BadItemsEndTheProcess) {
    const std::string path = write_file("bad.txt", "*I\n 1.5\n");
    EXPECT_EXIT(
        {
            Open f(path);
            f.next();
            int32_t out[1] = {0};
            const int32_t n = 1;
            io::int_getdatapoints(&f.unit, out, &n);
        },
        ::testing::ExitedWithCode(1), "bad.txt.*record 2.*item 1.*1\\.5");
    // A malformed repeat count is an item that is not a number; a NUL is shown.
    for (const auto &[line, item] : std::vector<std::pair<std::string, std::string>>{
             {" 0.2, 0*0.1, 0.3", "item 2, \"0\\*0\\.1\""}, {"-3*0.1", "item 1, \"-3\\*0\\.1\""},
             {"1 *0.1", "item 2"}, {"1, *", "item 2, \"\\*\""}, {" **", "item 1, \"\\*\\*\""},
             {std::string("0.\0", 3), "item 1, \"0\\.\\\\0\""}}) {
        SCOPED_TRACE(line);
        const std::string bad = write_file("repeat.txt", "*R\n" + line + "\n");
        EXPECT_EXIT(
            {
                Open f(bad);
                f.next();
                double out[3] = {};
                const int32_t n = 3;
                io::real_getdatapoints(&f.unit, out, &n);
            },
            ::testing::ExitedWithCode(1), "repeat.txt.*record 2.*" + item);
    }
    const std::string huge = write_file("huge.txt", "*R\n2147483647*1. 5\n");
    EXPECT_EXIT(
        {
            Open f(huge);
            f.next();
            f.size();
        },
        ::testing::ExitedWithCode(1), "more than 2147483647 values");
}

// ---------------------------------------------------------------- names and element types

TEST(IoNames, IdsInNames) {
    struct Case {
        const char *name, *kind;
        int32_t ls, notfound, id;
    };
    const std::vector<Case> cases{
        {"plate_l@3@_s@12@", "l", 16, -1, 3}, {"plate_l@3@_s@12@", "S", 16, -1, 12}, {"plate_l@3@_s@12@", "m", 16, -1, -1},
        {"SET_M@7@", "m", 8, -1, 7},          {"SET_M@7@", "x", 8, -5, -5},          {"SET_M@7@", "m", 6, -1, -1},
        {"a_m@ 7 @", "m", 8, -1, 7},          {"a_m@7a@", "m", 7, -9, -9},           {"_m@1@_m@2@", "m", 10, -1, 2},
        {"_m@4", "m", 4, -1, -1},
    };
    for (const Case &c : cases) {
        const std::string s(c.name);
        EXPECT_EQ(io::getxidfromstring(s.data(), &c.ls, c.kind, &c.notfound, s.size(), 1), c.id)
            << c.name << " " << c.kind << " " << c.ls;
    }
}

TEST(IoNames, ElementExtents) {
    struct Case {
        const char *type;
        int32_t iele, inodes, idof;
    };
    const std::vector<Case> cases{
        {"S4R", 1, 4, 6},  {"S4R5", 1, 4, 5}, {"STRI3", 1, 3, 6}, {"SC8R", 1, 8, 6},
        {"C3D20R", 1, 20, 6}, {"C3D8", 1, 8, 6}, {"CINPE4", 0, 0, 0}, {"T3D2", 0, 0, 0},
    };
    for (const Case &c : cases) {
        std::string type(c.type);
        type.resize(8, ' ');
        int32_t iele = 0, inodes = 0, idof = 0;
        io::getelementdataextents(&iele, &inodes, &idof, type.data(), 8);
        EXPECT_EQ((std::vector<int32_t>{iele, inodes, idof}), (std::vector<int32_t>{c.iele, c.inodes, c.idof})) << c.type;
    }
    int32_t iele = 2, inodes = 8, idof = 6;
    io::getelementdataextents(&iele, &inodes, &idof, "S4R5    ", 8);  // extents only widen
    EXPECT_EQ((std::vector<int32_t>{iele, inodes, idof}), (std::vector<int32_t>{3, 8, 6}));
    iele = INT32_MAX;  // the count wraps rather than overflowing
    io::getelementdataextents(&iele, &inodes, &idof, "S4R     ", 8);
    EXPECT_EQ(iele, INT32_MIN);
}

TEST(IoReport, HeaderOnceThenOneLinePerCall) {
    const std::string path = temp_path("report.rst");
    std::remove(path.c_str());
    const std::string padded = path + "    ";
    const double a[3] = {1.5, -2, 0}, b[3] = {0.25, 1000, -0.5};
    const int32_t e1 = 12, p1 = 3, e2 = 13, p2 = 1;
    io::getgausspointreport(padded.data(), a, &e1, &p1, padded.size());
    io::getgausspointreport(padded.data(), b, &e2, &p2, padded.size());
    EXPECT_EQ(io::getunitnumber(path.data(), path.size()), -1);  // closed after each call
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    char line[256];
    std::string expected = "    NOEL     NPT                        x                        y                        z\n";
    std::snprintf(line, sizeof line, "%8d%8d%25.8f%25.8f%25.8f\n", 12, 3, 1.5, -2.0, 0.0);
    expected += line;
    std::snprintf(line, sizeof line, "%8d%8d%25.8f%25.8f%25.8f\n", 13, 1, 0.25, 1000.0, -0.5);
    expected += line;
    EXPECT_EQ(text.str(), expected);
    std::remove(path.c_str());
}

}  // namespace
