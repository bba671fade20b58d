// The gate library reader (CNetlist::BuildDB): one header line, then one row per type and
// number of inputs, fields separated by runs of tabs and commas.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "model/netlist.h"
#include "test_support.h"

namespace {

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
  std::string Read(const std::string& text) {
    WriteFile(path(), text);
    ::testing::internal::CaptureStdout();
    net.BuildDB(path().c_str());
    return ::testing::internal::GetCapturedStdout();
  }

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

  std::vector<int> Keys(size_t type) const {
    std::vector<int> keys;
    for (const CGateData& row : net.gateTypes.at(type).data) keys.push_back(row.key);
    return keys;
  }

  std::vector<double> Value4s(size_t type) const {
    std::vector<double> values;
    for (const CGateData& row : net.gateTypes.at(type).data) values.push_back(row.value4);
    return values;
  }

  std::string path() const { return dir.File("param.txt"); }

  TempDir dir;
  CNetlist net;
};

TEST_F(LibraryReaderTest, HeaderOnlyGivesNoTypes) {
  for (const std::string text : {"header\n", "header", "\n", "a\tb\tc\td\te\tf\tg\n"}) {
    SCOPED_TRACE(text);
    CNetlist fresh;
    WriteFile(path(), text);
    ::testing::internal::CaptureStdout();
    fresh.BuildDB(path().c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Running TAMBRIL ");
    EXPECT_TRUE(fresh.gateTypes.empty());
  }
}

TEST_F(LibraryReaderTest, HeaderLineIsNeverARow) {
  // The header looks like a row, but it is skipped; an empty header line counts as well.
  EXPECT_EQ(Read("INV\t1\t1\t1\t1\t1\t1\nNAND\t2\t1\t1\t1\t1\t1\n"), "Running TAMBRIL NAND\n");
  EXPECT_EQ(TypeNames(), std::vector<std::string>{"NAND"});
  CNetlist fresh;
  WriteFile(path(), "\nINV\t1\t1\t1\t1\t1\t1\n");
  ::testing::internal::CaptureStdout();
  fresh.BuildDB(path().c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Running TAMBRIL INV\n");
  ASSERT_EQ(fresh.gateTypes.size(), 1u);
}

TEST_F(LibraryReaderTest, ReadsEveryFieldOfARow) {
  Read(std::string(kHeader) + "NAND\t2\t0.0035\t1.25e-8\t2e-3\t-4.5\t6\n");
  ASSERT_EQ(net.gateTypes.size(), 1u);
  EXPECT_EQ(net.gateTypes[0].Name(), "NAND");
  ASSERT_EQ(net.gateTypes[0].data.size(), 1u);
  const CGateData& row = net.gateTypes[0].data[0];
  EXPECT_EQ(row.key, 2);
  EXPECT_EQ(row.unitInputCap, 0.0035);
  EXPECT_EQ(row.unitResistance, 1.25e-8);
  EXPECT_EQ(row.unitOutputCap, 2e-3);
  EXPECT_EQ(row.value4, -4.5);
  EXPECT_EQ(row.value5, 6.0);
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
  EXPECT_EQ(Keys(0), (std::vector<int>{1, 3}));
  EXPECT_EQ(Value4s(0), (std::vector<double>{21, 20}));
  EXPECT_EQ(Value4s(1), (std::vector<double>{40}));
  EXPECT_EQ(Keys(2), (std::vector<int>{0, 1, 2, 2}));
  EXPECT_EQ(Value4s(2), (std::vector<double>{13, 11, 10, 12}));  // equal keys in file order
  EXPECT_EQ(Value4s(3), (std::vector<double>{30}));
}

TEST_F(LibraryReaderTest, EqualKeysKeepFileOrderInLongTypes) {
  // Enough rows that an unstable sort would visibly reorder equal keys.
  std::mt19937 random(12345);
  std::string text = kHeader;
  std::vector<std::vector<double>> expected(4);
  for (int row = 0; row < 300; ++row) {
    const int key = static_cast<int>(random() % 4);
    expected[key].push_back(row);
    text += "G\t" + std::to_string(key) + "\t1\t1\t1\t" + std::to_string(row) + "\t0\n";
  }
  Read(text);
  ASSERT_EQ(net.gateTypes.size(), 1u);
  std::vector<double> order;
  for (const std::vector<double>& rows : expected)
    order.insert(order.end(), rows.begin(), rows.end());
  EXPECT_EQ(Value4s(0), order);
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
      {"NAND\t\t2\t\t0.5\t1.5\t2.5\t3.5\t4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      {",\tNAND\t2\t0.5\t1.5\t2.5\t3.5\t4.5", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      // Fields after the seventh are ignored.
      {"NAND\t2\t0.5\t1.5\t2.5\t3.5\t4.5\t5.5\tjunk,more", "NAND", 2, {0.5, 1.5, 2.5, 3.5, 4.5}},
      // A blank is part of a field: inside names, and before numbers (which skip it).
      {"A B\t 3\t 0.5\t1.5 \t2.5\t3.5\t4.5", "A B", 3, {0.5, 1.5, 2.5, 3.5, 4.5}},
      {"INV \t1\t1\t2\t3\t4\t5", "INV ", 1, {1, 2, 3, 4, 5}},
      {" INV\t1\t1\t2\t3\t4\t5", " INV", 1, {1, 2, 3, 4, 5}},
      // Numbers as atoi and atof read them: text that is no number is 0, a tail is ignored.
      {"X\tabc\t1e-3\t-2.5E+2\t.5\t7x\tnone", "X", 0, {1e-3, -250, 0.5, 7, 0}},
      {"X\t2x\t1\t2\t3\t4\t5", "X", 2, {1, 2, 3, 4, 5}},
      {"X\t-3\t0x10\t+4\t1e2\t0\t-0", "X", -3, {16, 4, 100, 0, 0}},
      {"X\t4.9\t1\t2\t3\t4\t5", "X", 4, {1, 2, 3, 4, 5}},
      // A name of exactly nine characters.
      {"ABCDEFGHI\t1\t1\t2\t3\t4\t5", "ABCDEFGHI", 1, {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    CNetlist fresh;
    WriteFile(path(), std::string(kHeader) + c.row + "\n");
    ::testing::internal::CaptureStdout();
    fresh.BuildDB(path().c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
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

TEST_F(LibraryReaderTest, NamesDifferingInCaseOrBlanksAreDifferentTypes) {
  Read(std::string(kHeader) +
       "INV\t1\t1\t1\t1\t1\t0\n"
       "INV \t2\t1\t1\t1\t2\t0\n"
       "inv\t3\t1\t1\t1\t3\t0\n"
       "I NV\t4\t1\t1\t1\t4\t0\n"
       "INV\t5\t1\t1\t1\t5\t0\n");
  EXPECT_EQ(TypeNames(), (std::vector<std::string>{"I NV", "INV", "INV ", "inv"}));
  EXPECT_EQ(Keys(0), (std::vector<int>{4}));
  EXPECT_EQ(Keys(1), (std::vector<int>{1, 5}));
  EXPECT_EQ(Keys(2), (std::vector<int>{2}));
  EXPECT_EQ(Keys(3), (std::vector<int>{3}));
}

TEST_F(LibraryReaderTest, CrLfLinesStillReadNumbers) {
  const std::string out = Read(
      "Name\tInputs\tCin\tR\tCout\tV4\tV5\r\n"
      "NAND\t2\t0.003\t1e-8\t0.002\t4\t5\r\n"
      "INV\t1\t0.002\t8e-9\t0.0015\t0\t1.5e-3\r\n");
  EXPECT_EQ(out, "Running TAMBRIL NAND\nINV\n");
  EXPECT_EQ(TypeNames(), (std::vector<std::string>{"INV", "NAND"}));
  const CGateData& inv = net.gateTypes[0].data.at(0);
  EXPECT_EQ(inv.key, 1);
  EXPECT_EQ(inv.unitOutputCap, 0.0015);
  EXPECT_EQ(inv.value5, 1.5e-3);
  const CGateData& nand = net.gateTypes[1].data.at(0);
  EXPECT_EQ(nand.key, 2);
  EXPECT_EQ(nand.unitInputCap, 0.003);
  EXPECT_EQ(nand.unitResistance, 1e-8);
  EXPECT_EQ(nand.value5, 5.0);
}

TEST_F(LibraryReaderTest, BadFilesAreFormatErrors) {
  const std::string row = "NAND\t2\t1\t1\t1\t1\t1\n";
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"blank line between rows", kHeader + row + "\n" + row},
      {"blank line right after the header", kHeader + std::string("\n") + row},
      {"blank last line", kHeader + row + "\n"},
      {"header then blank line", std::string(kHeader) + "\n"},
      {"row of separators only", kHeader + row + "\t,\t\n"},
      {"six fields", kHeader + std::string("NAND\t2\t1\t1\t1\t1\n")},
      {"six fields and empty ones", kHeader + std::string("NAND,2,1,,1,1,1,,\n")},
      {"blanks do not separate", kHeader + std::string("NAND 2 1 1 1 1 1\n")},
      {"name alone", kHeader + std::string("NAND\n")},
      {"short last row without line end", kHeader + row + "INV\t1\t1"},
      {"ten-character name", kHeader + std::string("ABCDEFGHIJ\t1\t1\t1\t1\t1\t1\n")},
      {"long name after good rows", kHeader + row + "VERYLONGNAME\t1\t1\t1\t1\t1\t1\n"},
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
TEST(LibraryThroughProgramTest, ShortRowEchoesItsNameFirst) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), std::string(kHeader) +
                                       "INV\t1\t0.002\t8e-9\t0.0015\t0\t0\n"
                                       "NAND\t2\t0.003\n"
                                       "NOR\t2\t0.003\t1e-8\t0.002\t0\t0\n");
  WriteFile(dir.File("c.net"), "1 0 0 0 1\npri 0 0\n");
  const auto run = tambril_test::RunTambril({"c.net", "c.out"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "Running TAMBRIL INV\nNAND\n");
  EXPECT_EQ(run.err, "Format Error: param.txt could not be parsed\n");
  EXPECT_EQ(tambril_test::ListDir(dir.path()), (std::vector<std::string>{"c.net", "param.txt"}));
}

TEST(LibraryThroughProgramTest, MissingLibrary) {
  TempDir dir;
  WriteFile(dir.File("c.net"), "1 0 0 0 1\npri 0 0\n");
  WriteFile(dir.File("c.out"), "previous result\n");
  const auto run = tambril_test::RunTambril({"c.net", "c.out"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "Running TAMBRIL ");
  EXPECT_EQ(run.err, "File Error: param.txt could not be opened\n");
  EXPECT_EQ(tambril_test::ListDir(dir.path()), (std::vector<std::string>{"c.net", "c.out"}));
  EXPECT_EQ(tambril_test::ReadFile(dir.File("c.out")), "previous result\n");
}

TEST(LibraryThroughProgramTest, BlankLastLine) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), std::string(kHeader) + "INV\t1\t0.002\t8e-9\t0.0015\t0\t0\n\n");
  WriteFile(dir.File("c.net"), "1 0 0 0 1\npri 0 0\n");
  const auto run = tambril_test::RunTambril({"c.net", "c.out"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "Running TAMBRIL INV\n");
  EXPECT_EQ(run.err, "Format Error: param.txt could not be parsed\n");
  EXPECT_EQ(tambril_test::ListDir(dir.path()), (std::vector<std::string>{"c.net", "param.txt"}));
}

}  // namespace
