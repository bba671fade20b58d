// Minimum area under a delay target. On two small bundled circuits the result meets the target,
// timed again from the sizes the result file prints, with an area within the outer threshold
// of the exact minimum (tests/exact/minimum-area.tsv), and no certified lower bound above that
// minimum. A target at or above the delay of the minimum sizes gives those sizes without a
// pass; a target below the minimum delay gives the fastest sizing, a warning and exit status 2.
#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>

#include "gtest/gtest.h"
#include "io/outputFile.h"
#include "referenceOptimizer.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

struct Exact {
  double target = 0.0;
  double area = 0.0;
};

// The row of `point` ("+5%", "min-size", ...) of `circuit` in the reference data; the target
// column, or the delay column when the target is empty.
Exact ExactMinimum(const std::string& circuit, const std::string& point) {
  std::istringstream rows(ReadFile(RepoPath("tests/exact/minimum-area.tsv")));
  std::string line;
  while (std::getline(rows, line)) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 6 || f[0] != circuit || f[2] != point) continue;
    return {std::stod(f[3].empty() ? f[4] : f[3]), std::stod(f[5])};
  }
  ADD_FAILURE() << "no reference row " << circuit << " " << point;
  return {};
}

// What a result file states: its statistics lines by name, and the size of every gate by id.
struct Result {
  std::string Line(const std::string& name) const {
    const std::smatch found = Find("^" + name + " *\\([^)]*\\) *: (.*)$");
    return found.empty() ? "" : found[1].str();
  }
  std::smatch Find(const std::string& pattern) const {
    std::smatch match;
    std::regex_search(text, match, std::regex(pattern, std::regex::multiline));
    return match;
  }
  std::string text;
  std::vector<double> sizeById;  // 0 for nodes that are not listed
  double total = 0.0;            // of the printed sizes, in id order
};

Result ReadResult(const std::string& text, int nodes) {
  Result result;
  result.text = text;
  result.sizeById.assign(nodes, 0.0);
  std::istringstream lines(result.text);
  std::string line;
  while (std::getline(lines, line)) {
    int id = 0;
    char name[32];
    double size = 0;
    if (std::sscanf(line.c_str(), "%d\t%31s\t%lf", &id, name, &size) == 3 && id >= 1 &&
        id <= nodes) {
      result.sizeById[id - 1] = size;
      result.total += size;
    }
  }
  return result;
}

// A whole run with `target`, in process, and its result file read.
struct AreaRun : InProcessRun {
  Result file;
};

AreaRun RunWithTarget(const std::string& circuit, double target) {
  AreaRun run;
  static_cast<InProcessRun&>(run) = RunInProcess(ReadFile(RepoPath("examples/param.txt")),
                                                 ReadFile(RepoPath("examples/" + circuit + ".net")),
                                                 5e-6, 0.01, 1000, "robust", target);
  run.file = ReadResult(run.result, run.net->partCount);
  return run;
}

// The delay of the printed sizes, timed by the plain implementation.
double TimePrinted(const AreaRun& run) {
  ReferenceOptimizer timer(run.records, run.net->outputCount, 0, 0, 0);
  return timer.TimeWithSizes(run.file.sizeById);
}

TEST(Area, MeetsTheTargetNearTheExactMinimum) {
  const std::pair<const char*, const char*> cases[] = {{"c17", "+5%"}, {"c432", "+1%"}};
  for (const auto& [circuit, point] : cases) {
    SCOPED_TRACE(std::string(circuit) + " " + point);
    const Exact exact = ExactMinimum(circuit, point);
    const AreaRun run = RunWithTarget(circuit, exact.target);
    EXPECT_EQ(run.err, "");
    const sizing::Statistics& stats = run.net->Optimizer().Stats();
    EXPECT_TRUE(stats.converged);
    EXPECT_FALSE(stats.targetMissed);

    // The file states the target and the timing of exactly the sizes it prints.
    const double delay = TimePrinted(run);
    EXPECT_LE(delay, exact.target);
    EXPECT_EQ(run.net->maxDelay, delay);  // the printed sizes are exactly the ones timed
    EXPECT_EQ(run.file.Line("Maximum Delay"), FormatDouble(delay));
    EXPECT_EQ(run.file.Line("Delay Target"), FormatDouble(exact.target));
    EXPECT_EQ(run.file.Line("Total Area"), FormatDouble(run.file.total));
    // Within the outer threshold of the exact minimum, above a certified bound that does not
    // exceed that minimum.
    const double outer = run.net->outerImprove;
    EXPECT_LE(run.file.total, exact.area * (1 + outer));
    EXPECT_GE(run.file.total, exact.area * (1 - 1e-6));
    EXPECT_LE(stats.certifiedLower, exact.area * (1 + 1e-6));
    EXPECT_LE(sizing::Excess(run.file.total, stats.certifiedLower), outer * (1 + 1e-6));
  }
}

TEST(Area, TargetAtTheDelayOfTheMinimumSizesGivesThem) {
  // That delay exactly, as the program times it, and a far looser target.
  AreaRun probe = RunWithTarget("c432", 1.0);
  const double slowest = TimePrinted(probe);
  for (const double target : {slowest, 1e-6}) {
    SCOPED_TRACE(target);
    const AreaRun run = RunWithTarget("c432", target);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Total number of iteration: 0\n"), std::string::npos);
    EXPECT_FALSE(run.net->Optimizer().Stats().targetMissed);
    int gates = 0;
    for (const PartType& part : run.records) {
      if (IsPrimaryInputNode(part.gate) || IsSourceNode(part.gate) || IsSinkNode(part.gate)) {
        continue;
      }
      ++gates;
      EXPECT_EQ(run.file.sizeById[part.gate.id - 1], part.gate.minSize) << part.gate.id;
    }
    EXPECT_EQ(gates, 160);
    EXPECT_EQ(run.file.Line("Maximum Delay"), FormatDouble(slowest));
    EXPECT_NEAR(run.file.total, ExactMinimum("c432", "min-size").area, 1e-20);
  }
}

TEST(Area, TargetBelowTheMinimumDelayGivesTheFastestSizing) {
  for (const char* circuit : {"c17", "c432"}) {
    SCOPED_TRACE(circuit);
    const double fastest = ExactMinimum(circuit, "min-delay").target;
    const AreaRun run = RunWithTarget(circuit, 0.9 * fastest);
    std::smatch found;
    ASSERT_TRUE(std::regex_match(
        run.err, found,
        std::regex("Warning: the delay target (\\S+) s is below the minimum delay (\\S+) s; the "
                   "result is the fastest sizing\n")))
        << run.err;
    EXPECT_EQ(found[1].str(), FormatDouble(0.9 * fastest));
    EXPECT_EQ(found[2].str(), run.file.Line("Maximum Delay"));
    const double delay = TimePrinted(run);
    EXPECT_EQ(run.net->maxDelay, delay);
    // The fastest sizing, proven within the outer threshold of the minimum delay.
    EXPECT_GE(delay, fastest * (1 - 1e-6));
    EXPECT_LE(delay, fastest * (1 + run.net->outerImprove));
    EXPECT_TRUE(run.net->Optimizer().Stats().targetMissed);
    EXPECT_TRUE(run.net->Optimizer().Stats().converged);
  }
}

TEST(Area, ExitStatusTwoOnlyWhenTheTargetIsMissed) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), ReadFile(RepoPath("examples/param.txt")));
  WriteFile(dir.File("c.net"), ReadFile(RepoPath("examples/c17.net")));
  const double fastest = ExactMinimum("c17", "min-delay").target;
  const std::pair<double, int> cases[] = {{0.9 * fastest, 2}, {1.05 * fastest, 0}};
  for (const auto& [target, status] : cases) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", target);
    const RunResult run =
        RunCommand("tambril", {"c.net", "--delay-target", text, "c.result"}, dir.Path());
    EXPECT_EQ(run.exitCode, status) << run.err;
    EXPECT_EQ(run.err.empty(), status == 0) << run.err;
  }
}

}  // namespace
}  // namespace tambril::test
