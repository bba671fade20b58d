// The bundled example circuits: sound netlists, and, where the benchmark sources are at hand,
// exactly what the converter makes of them today (regenerate with tools/convert-examples).
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

TEST(Examples, AreSoundAndCurrent) {
  const std::string benchmarks = RepoPath("../shared/benchmarks");
  const bool haveSources = std::filesystem::is_directory(benchmarks);
  std::istringstream list(ReadFile(RepoPath("examples/circuits.txt")));
  TempDir dir;
  int circuits = 0;
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, source;
    fields >> name >> source;
    SCOPED_TRACE(name);
    ++circuits;
    const std::string net = ReadFile(RepoPath("examples/" + name + ".net"));
    EXPECT_EQ(CheckNetlist(net), std::vector<std::string>());
    if (!haveSources) continue;
    const RunResult run = RunCommand(
        "tambril-import", {benchmarks + "/" + source, "-o", dir.File("x.net")}, dir.Path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(ReadFile(dir.File("x.net")) == net &&
                ReadFile(dir.File("x.names")) == ReadFile(RepoPath("examples/" + name + ".names")))
        << "regenerate with tools/convert-examples";
  }
  EXPECT_GT(circuits, 10);
}

}  // namespace
}  // namespace tambril::test
