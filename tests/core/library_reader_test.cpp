// The gate library reader (CNetlist::BuildDB): one header line, then one row per type and
// number of inputs, fields separated by runs of tabs and commas.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "model/netlist.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using tambril_test::QuoteRegex;
using tambril_test::TempDir;
using tambril_test::WriteFile;

const char kHeader[] = "Name\tInputs\tCin\tR\tCout\tV4\tV5\n";

class LibraryReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The child of a death test continues from the parent's state, so it sees the same paths.
    GTEST_FLAG_SET(death_test_style, "fast");
  }

  // Writes `text` as the library, reads it into `net` and returns what was written to
  // standard output.
  std::string Read(CNetlist& into, const std::string& text) {
    WriteFile(path(), text);
    ::testing::internal::CaptureStdout();
    into.BuildDB(path().c_str());
    return ::testing::internal::GetCapturedStdout();
  }
  std::string Read(const std::string& text) { return Read(net, text); }

  // Reading `text` as the library ends the process with status 1 and `line` on stderr.
  void ExpectExit(const std::string& text, const std::string& line) {
    WriteFile(path(), text);
    EXPECT_EXIT(
        {
          std::freopen("/dev/null", "w", stdout);
          CNetlist other;
          other.BuildDB(path().c_str());
        },
        ::testing::ExitedWithCode(1), "^" + QuoteRegex(line) + "\n$");
  }

  void ExpectParseError(const std::string& text) {
    ExpectExit(text, "Format Error: " + path() + " could not be parsed");
  }

  std::vector<std::string> TypeNames() const {
    std::vector<std::string> names;
    for (const CGateType& type : net.gateTypes) names.emplace_back(type.Name());
    return names;
  }

  // (key, value4) of the rows of one type, in their order.
  std::vector<std::pair<int, double>> Rows(size_t type) const {
    std::vector<std::pair<int, double>> rows;
    for (const CGateData& row : net.gateTypes.at(type).data) rows.emplace_back(row.key, row.value4);
    return rows;
  }

  std::string path() const { return dir.File("param.txt"); }

  TempDir dir;
  CNetlist net;
};

TEST_F(LibraryReaderTest, FirstLineIsAlwaysTheHeader) {
  const struct {
    const char* text;
    const char* out;
  } cases[] = {
      {"header\n", ""},
      {"header", ""},
      {"\n", ""},
      // A header that looks like a row, or is empty, is still skipped.
      {"INV\t1\t1\t1\t1\t1\t1\nNAND\t2\t1\t1\t1\t1\t1\n", "NAND\n"},
      {"\nINV\t1\t1\t1\t1\t1\t1\n", "INV\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CNetlist fresh;
    EXPECT_EQ(Read(fresh, c.text), std::string("Running TAMBRIL ") + c.out);
    EXPECT_EQ(fresh.gateTypes.size(), *c.out == '\0' ? 0u : 1u);
  }
}

TEST_F(LibraryReaderTest, GroupsByTypeSortsAndEchoesInFileOrder) {
  const std::string out = Read(std::string(kHeader) +
                               "NOR\t2\t1\t1\t1\t10\t0\n"
                               "AND\t3\t1\t1\t1\t20\t0\n"
                               "NOR\t1\t1\t1\t1\t11\t0\n"
                               "AND\t1\t1\t1\t1\t21\t0\n"
                               "NOR\t2\t1\t1\t1\t12\t0\n"
                               "inv\t1\t1\t1\t1\t30\t0\n"
                               "INV\t1\t1\t1\t1\t40\t0\n"
                               "NOR\t0\t1\t1\t1\t13\t0\n");
  EXPECT_EQ(out, "Running TAMBRIL NOR\nAND\nNOR\nAND\nNOR\ninv\nINV\nNOR\n");
  EXPECT_EQ(TypeNames(), (std::vector<std::string>{"AND", "INV", "NOR", "inv"}));
  using Expected = std::vector<std::pair<int, double>>;
  EXPECT_EQ(Rows(0), (Expected{{1, 21}, {3, 20}}));
  EXPECT_EQ(Rows(1), (Expected{{1, 40}}));
  EXPECT_EQ(Rows(2), (Expected{{0, 13}, {1, 11}, {2, 10}, {2, 12}}));  // equal keys in file order
  EXPECT_EQ(Rows(3), (Expected{{1, 30}}));
}

TEST_F(LibraryReaderTest, EqualKeysKeepFileOrderInLongTypes) {
  // Enough rows that an unstable sort would visibly reorder equal keys.
  std::mt19937 random(12345);
  std::string text = kHeader;
  std::vector<std::pair<int, double>> expected;
  for (int row = 0; row < 300; ++row) {
    const int key = static_cast<int>(random() % 4);
    expected.emplace_back(key, row);
    text += "G\t" + std::to_string(key) + "\t1\t1\t1\t" + std::to_string(row) + "\t0\n";
  }
  Read(text);
  ASSERT_EQ(net.gateTypes.size(), 1u);
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  EXPECT_EQ(Rows(0), expected);
}

TEST_F(LibraryReaderTest, SeparatorsAndEmptyFields) {
  struct Case {
    const char* row;
    const char* name;
    int key;
    double values[5];
  };
  const Case cases[] = {
      {"NAND,2,0.5,1.5,2.5,3.5,4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      {"NAND\t\t2\t,\t0.5,,1.5\t\t\t2.5,3.5,4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      // An empty field is no field: the later values move one column to the left.
      {"NAND,2,,0.5,1.5,2.5,3.5,4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      {",\tNAND\t2\t0.5\t1.5\t2.5\t3.5\t4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      // Fields after the seventh are ignored.
      {"NAND\t2\t0.5\t1.5\t2.5\t3.5\t4.5\t5.5\tjunk,more", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      // A blank is part of a field: inside names, and before numbers (which skip it).
      {"A B\t 3\t 0.5\t1.5 \t2.5\t3.5\t4.5", "A B", 3, {0.5, 1.5, 2.5, 3.5, 4.5}},
      {"INV \t1\t1\t2\t3\t4\t5", "INV ", 1, {1, 2, 3, 4, 5}},
      {" INV\t1\t1\t2\t3\t4\t5", " INV", 1, {1, 2, 3, 4, 5}},
      // Numbers as atoi and atof read them: text that is no number is 0, a tail is ignored.
      {"X\tabc\t1e-3\t-2.5E+2\t.5\t7x\tnone", "X", 0, {1e-3, -250, 0.5, 7, 0}},
      {"X\t2x\t1\t2\t3\t4\t5\r", "X", 2, {1, 2, 3, 4, 5}},  // a line end of CR LF
      {"X\t-3\t0x10\t+4\t1e2\t0\t-0", "X", -3, {16, 4, 100, 0, 0}},
      {"X\t4.9\t1\t2\t3\t4\t5", "X", 4, {1, 2, 3, 4, 5}},
      // A name of exactly nine characters.
      {"ABCDEFGHI\t1\t1\t2\t3\t4\t5", "ABCDEFGHI", 1, {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    CNetlist fresh;
    EXPECT_EQ(Read(fresh, kHeader + std::string(c.row) + "\n"),
              std::string("Running TAMBRIL ") + c.name + "\n");
    ASSERT_EQ(fresh.gateTypes.size(), 1u);
    EXPECT_EQ(fresh.gateTypes[0].Name(), c.name);
    ASSERT_EQ(fresh.gateTypes[0].data.size(), 1u);
    const CGateData& row = fresh.gateTypes[0].data[0];
    EXPECT_EQ(row.key, c.key);
    EXPECT_EQ(row.unitInputCap, c.values[0]);
    EXPECT_EQ(row.unitResistance, c.values[1]);
    EXPECT_EQ(row.unitOutputCap, c.values[2]);
    EXPECT_EQ(row.value4, c.values[3]);
    EXPECT_EQ(row.value5, c.values[4]);
  }
}

TEST_F(LibraryReaderTest, BadFilesAreFormatErrors) {
  const std::string row = "NAND\t2\t1\t1\t1\t1\t1\n";
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"blank last line", kHeader + row + "\n"},
      {"row of separators only", kHeader + row + "\t,\t\n"},
      {"six fields", kHeader + std::string("NAND\t2\t1\t1\t1\t1\n")},
      {"blanks do not separate", kHeader + std::string("NAND 2 1 1 1 1 1\n")},
      {"name alone", kHeader + std::string("NAND\n")},
      {"ten-character name", kHeader + std::string("ABCDEFGHIJ\t1\t1\t1\t1\t1\t1\n")},
      {"NUL in a name", kHeader + "AB\0C\t1\t1\t1\t1\t1\t1\n"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectParseError(c.text);
  }
}

TEST_F(LibraryReaderTest, MissingFileIsAFileError) {
  const std::string missing = dir.File("no-such-library.txt");
  EXPECT_EXIT(
      {
        std::freopen("/dev/null", "w", stdout);
        CNetlist other;
        other.BuildDB(missing.c_str());
      },
      ::testing::ExitedWithCode(1),
      "^" + QuoteRegex("File Error: " + missing + " could not be opened") + "\n$");
}

// Through the program: the library is "param.txt" in the working directory, its rows are
// echoed as they are read, and an error ends the run before any output file exists.
TEST(LibraryThroughProgramTest, ErrorsLeaveNoOutputFiles) {
  const struct {
    const char* library;  // nullptr: no library file
    std::string out;
    std::string err;
  } cases[] = {
      {nullptr, "", "File Error: param.txt could not be opened\n"},
      {"\nINV\t1\t0.002\t8e-9\t0.0015\t0\t0\nNAND\t2\t0.003\nNOR\t2\t1\t1\t1\t0\t0\n",
       "INV\nNAND\n", "Format Error: param.txt could not be parsed\n"},
      {"\nINV\t1\t0.002\t8e-9\t0.0015\t0\t0\n\n", "INV\n",
       "Format Error: param.txt could not be parsed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    TempDir dir;
    if (c.library != nullptr) WriteFile(dir.File("param.txt"), c.library);
    WriteFile(dir.File("c.net"), "1 0 0 0 1\npri 0 0\n");
    WriteFile(dir.File("c.out"), "previous result\n");
    const std::vector<std::string> before = tambril_test::ListDir(dir.path());
    const auto run = tambril_test::RunTambril({"c.net", "c.out"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Running TAMBRIL " + c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(tambril_test::ListDir(dir.path()), before);
    EXPECT_EQ(tambril_test::ReadFile(dir.File("c.out")), "previous result\n");
  }
}

}  // namespace
