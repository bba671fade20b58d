// An import ended by a signal while Yosys runs leaves neither its scratch directory nor a
// process of Yosys's behind, and dies of that signal; SIGKILL included, after which a process
// of its own cleans up. Nor does a Yosys that fails on its own leave a process behind.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

// True once the process has gone, or a zombie only (waiting for init to reap it).
bool Gone(const std::string& pid) {
  if (::kill(std::stoi(pid), 0) != 0) return true;
  const std::string stat = ReadFile("/proc/" + std::to_string(std::stoi(pid)) + "/stat");
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && stat.substr(paren + 2, 1) == "Z";
}

TEST(Import, SignalDuringYosysLeavesNothingBehind) {
  // 0: no signal, Yosys fails on its own and leaves its process running.
  for (const int signal : {SIGTERM, SIGINT, SIGKILL, 0}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    // A Yosys that starts a process of its own, notes both process ids and its home (its
    // temporary directory is the scratch directory, in this one), sends the signal to the
    // import and waits; killed, it never finishes.
    const std::string end = signal == 0 ? "exit 1\n"
                                        : "kill -" + std::to_string(signal) +
                                              " $PPID\nsleep 30\necho > \"$TMPDIR/../finished\"\n";
    WriteFile(dir.File("yosys"),
              "#!/bin/sh\nsleep 30 &\necho $! > \"$TMPDIR/../worker\"\n"
              "echo $$ > \"$TMPDIR/../pid\"\necho \"$HOME\" > \"$TMPDIR/../home\"\n" +
                  end);
    ASSERT_EQ(::chmod(dir.File("yosys").c_str(), 0755), 0);
    WriteFile(dir.File("top.v"), "module top(input a, output y); assign y = ~a; endmodule\n");
    RunOptions options;
    options.environment = {"TAMBRIL_YOSYS=" + dir.File("yosys"), "TMPDIR=" + dir.Path()};
    const RunResult run =
        RunCommand("tambril-import", {"top.v", "-o", "top.net"}, dir.Path(), options);
    EXPECT_EQ(run.exitCode, signal == 0 ? 1 : 128 + signal) << run.err;
    const std::string pid = ReadFile(dir.File("pid")), worker = ReadFile(dir.File("worker"));
    ASSERT_FALSE(pid.empty());
    ASSERT_FALSE(worker.empty());
    // After SIGKILL the cleaning up happens beside the run's end: waited for, up to a bound.
    const auto scratchLeft = [&] {
      for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().filename().string().rfind("tambril-import.", 0) == 0) return true;
      }
      return false;
    };
    for (int k = 0; k < 100 && (!Gone(pid) || !Gone(worker) || scratchLeft()); ++k) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(Gone(pid)) << "yosys still runs";
    EXPECT_TRUE(Gone(worker)) << "a process started by yosys still runs";
    EXPECT_FALSE(scratchLeft()) << "the scratch directory is left";
    EXPECT_FALSE(std::filesystem::exists(dir.File("finished"))) << "the run waited for yosys";
    // The home it was given was the scratch directory.
    EXPECT_NE(ReadFile(dir.File("home")).find("/tambril-import."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("top.net")));
  }
}

}  // namespace
}  // namespace tambril::test
