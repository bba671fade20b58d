// What tambril-export writes, in process: the names it keeps, the ones a spreadsheet would
// take for a formula, and the circuit name it takes from the netlist's file name.
#include <string>

#include "export/exporter.h"
#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

const char kNetlist[] = "1 0 0 1 3\npri 1 0\npri 1 0\npo AND 0 2 1 0 0 2 0 0\n";
const char kResult[] = "Gate-sizing solution\n--\t----\t---------\n3\tAND\t1.69e-14\n";

struct Case {
  const char* name;
  const char* names;  // the names file; nullptr: none beside the netlist
  const char* format;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"NoNamesFile", nullptr, ".blif",
     ".model c\n.inputs n1 n2\n.outputs n3\n# 3 AND size 1.69e-14\n.names n1 n2 n3\n11 1\n.end\n"},
    {"CrLfNames", "1\ta\r\n2\tb\r\n3\ty\r\n", ".bench",
     "# written by tambril-export\nINPUT(a)\nINPUT(b)\nOUTPUT(y)\ny = AND(a, b)  # size "
     "1.69e-14\n"},
    {"FormulaQuoted", "3\t=HYPERLINK(\"x\")\n", ".csv",
     "name,type,inputs,size\n\"'=HYPERLINK(\"\"x\"\")\",AND,2,1.69e-14\n"},
    {"SignQuoted", "3\t-y\n", ".csv", "name,type,inputs,size\n'-y,AND,2,1.69e-14\n"},
};

class Export : public testing::TestWithParam<Case> {};

TEST_P(Export, WritesWhatItRead) {
  const Case& c = GetParam();
  TempDir dir;
  WriteFile(dir.File("c.net"), kNetlist);
  WriteFile(dir.File("c.result"), kResult);
  if (c.names != nullptr) WriteFile(dir.File("c.names"), c.names);
  const exporter::SizedNetlist sized = exporter::ReadSizedNetlist(
      dir.File("c.net"), dir.File("c.names"), true, dir.File("c.result"));
  const exporter::OutputFormat* format = exporter::OutputFormatOf(c.format);
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->write(sized, "c"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Export, Export, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Export, ModelNameOfSafeCharacters) {
  EXPECT_EQ(exporter::ModelName("run/mac.net"), "mac");
  EXPECT_EQ(exporter::ModelName("a b\n.outputs evil.net"), "a_b_.outputs_evil");
}

}  // namespace
}  // namespace tambril::test
