// The same bits for every thread count: result file (but for its two time lines), log and
// standard output of whole runs of the executable with 1, 2 and 3 threads and with the default
// count chosen as the run goes, for both methods (and but for 2 threads for the least area
// under a delay target 5 % above robust's result; and robust's stop without progress, warning
// included, at a threshold it cannot certify),
// on circuits with levels wide enough to be split among the threads, on narrow ones and on the
// bundled c7552. The bundled examples meet their golden files with every core and with one
// thread (tests/regression.cmake).
#include <string>
#include <vector>

#include "gennet/generator.h"
#include "gtest/gtest.h"
#include "io/outputFile.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

TEST(Threads, EveryCountGivesTheSameBytes) {
  struct Circuit {
    std::uint32_t gates, depth, maxFanin;  // gates 0: the bundled c7552
    std::vector<std::string> thresholds;
    std::vector<std::string> methods = {"classic", "robust", "area"};
  };
  const Circuit circuits[] = {
      {9000, 4, 4, {}},                  // levels of 2250 gates
      {6000, 60, 3, {"1e-5"}},           // levels of 100
      {8000, 3, 16, {"1e-4", "0.005"}},  // wide gates
      {0, 0, 0, {}},
      {5000, 12, 4, {"5e-6", "1e-6"}, {"robust"}},  // stops without progress
  };
  for (std::uint64_t seed = 0; seed < std::size(circuits); ++seed) {
    const Circuit& c = circuits[seed];
    TempDir dir;
    std::string netlist = ReadFile(RepoPath("examples/c7552.net"));
    if (c.gates > 0) {
      gennet::Options options;
      options.gates = c.gates;
      options.seed = seed + 7;
      options.depth = c.depth;
      options.maxFanin = c.maxFanin;
      netlist.clear();
      gennet::WriteNetlist(gennet::Generate(options),
                           [&netlist](std::string_view chunk) { netlist.append(chunk); });
    }
    WriteFile(dir.File("c.net"), netlist);
    WriteFile(dir.File("param.txt"), ReadFile(RepoPath("examples/param.txt")));
    // The delay target: 5 % above what the robust method reaches.
    std::string target;
    for (const std::string& method : c.methods) {
      SCOPED_TRACE("circuit " + std::to_string(seed) + ", " + method);
      const bool area = method == "area";
      std::string first[3];
      // "" is the default: one thread or all, chosen sweep by sweep.
      for (const std::string threads : {"1", "2", "3", ""}) {
        if (area && threads == "2") continue;
        std::vector<std::string> args = {"c.net", "c.result"};
        if (!threads.empty()) args.insert(args.end(), {"--threads", threads});
        if (area) {
          args.insert(args.end(), {"--delay-target", target});
        } else {
          args.insert(args.end(), {"--method", method});
        }
        args.insert(args.end(), c.thresholds.begin(), c.thresholds.end());
        const RunResult run = RunCommand("tambril", args, dir.Path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string outputs[3] = {ResultWithoutTimes(dir.File("c.result")),
                                        ReadFile(dir.File("convergence.txt")), run.out + run.err};
        for (int k = 0; k < 3; ++k) {
          if (first[k].empty()) first[k] = outputs[k];
          EXPECT_TRUE(outputs[k] == first[k]) << threads << " threads, output " << k;
        }
        if (method == "robust" && c.methods.size() == 1) {
          EXPECT_NE(run.err.find("without progress"), std::string::npos) << run.err;
        }
        if (method == "robust" && target.empty()) {
          const std::string text = outputs[0];
          const size_t at = text.find("Maximum Delay (s): ");
          ASSERT_NE(at, std::string::npos);
          target = FormatDouble(1.05 * std::stod(text.substr(at + 19)));
        }
      }
    }
  }
}

}  // namespace
}  // namespace tambril::test
