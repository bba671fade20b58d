// tambril-tradeoff: the curve of c17, row by row. The first row is the minimum-delay run
// without a target; every target row meets its target with less area than the rows before it;
// the last target is the delay of the minimum sizes, which are its result.
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

TEST(Tradeoff, CurveOfC17) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), ReadFile(RepoPath("examples/param.txt")));
  WriteFile(dir.File("c17.net"), ReadFile(RepoPath("examples/c17.net")));
  const RunResult run =
      RunCommand("tambril-tradeoff", {"c17.net", "-o", "curve.tsv", "--points", "3"}, dir.Path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");

  std::istringstream lines(ReadFile(dir.File("curve.tsv")));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "# area-delay curve of c17.net (tambril-tradeoff)");
  std::getline(lines, line);
  EXPECT_EQ(line, "target (s)\tdelay (s)\tarea (m^2)\tpasses");
  struct Row {
    std::string target;
    double delay, area;
    int passes;
  };
  std::vector<Row> rows;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    Row row;
    std::getline(fields, row.target, '\t');
    fields >> row.delay >> row.area >> row.passes;
    ASSERT_FALSE(fields.fail()) << line;
    rows.push_back(row);
  }
  ASSERT_EQ(rows.size(), 4u);
  // The robust method's run: within its threshold of c17's minimum delay.
  EXPECT_EQ(rows[0].target, "");
  EXPECT_GT(rows[0].passes, 0);
  EXPECT_GE(rows[0].delay, 3.4966925e-11);
  EXPECT_LE(rows[0].delay, 3.4966925e-11 * 1.01);
  for (size_t k = 1; k < rows.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_LE(rows[k].delay, std::stod(rows[k].target));
    EXPECT_GT(std::stod(rows[k].target), rows[k - 1].delay);
    EXPECT_LT(rows[k].area, rows[k - 1].area);
  }
  EXPECT_EQ(rows[3].passes, 0);
  EXPECT_DOUBLE_EQ(rows[3].area, 6 * 1.69e-14);
  EXPECT_EQ(rows[3].target, "6.00192e-11");
}

}  // namespace
}  // namespace tambril::test
