// The pair OUT.net, OUT.names changes under an exclusive lock on its directory: an import into
// it (whose old pair is there) waits while another run holds that lock, and so does an export
// that reads the pair.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

struct Case {
  const char* name;
  const char* program;
  std::vector<std::string> args;  // run in the locked directory "pair"
  const char* written;            // the file it writes, from the locked directory
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"ImportWaitsToRename", "tambril-import", {"c.blif", "-o", "c.net"}, "c.net"},
    {"ExportWaitsToRead", "tambril-export", {"c.net", "-o", "../out/c.blif"}, "../out/c.blif"},
};

class PairLock : public testing::TestWithParam<Case> {};

TEST_P(PairLock, WaitsForTheDirectoryLock) {
  const Case& c = GetParam();
  TempDir dir;
  const std::string pair = dir.File("pair");
  std::filesystem::create_directories(pair);
  std::filesystem::create_directories(dir.File("out"));
  WriteFile(pair + "/c.blif", ".model c\n.inputs a b\n.outputs y\n.names a b y\n10 1\n.end\n");
  WriteFile(pair + "/c.net", "2 0 0 1 3\npri 1 0\npri 1 0\npo AND 0 2 1 0 0 2 0 0\n");
  WriteFile(pair + "/c.names", "1\ta\n2\tb\n3\ty\n");
  const std::string written = pair + "/" + c.written;
  const std::string before = std::filesystem::exists(written) ? ReadFile(written) : "";
  const int lock = ::open(pair.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  auto run = std::async(std::launch::async,
                        [&] { return RunCommand(c.program, c.args, pair, RunOptions()); });
  // While the lock is held, nothing may appear; a run without the lock would be done by then.
  EXPECT_EQ(run.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
  EXPECT_EQ(std::filesystem::exists(written) ? ReadFile(written) : "", before)
      << c.written << " written under another run's lock";
  ::close(lock);
  const RunResult result = run.get();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(std::filesystem::exists(written));
}

INSTANTIATE_TEST_SUITE_P(PairLock, PairLock, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace tambril::test
