// An import ended by a signal while Yosys runs leaves neither its scratch directory nor a
// Yosys process behind, and dies of that signal.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

TEST(Import, SignalDuringYosysLeavesNothingBehind) {
  TempDir dir;
  // A Yosys that notes its process id and its home (its temporary directory is the scratch
  // directory, in this one), asks for the run's end and waits; killed, it never finishes.
  WriteFile(dir.File("yosys"),
            "#!/bin/sh\necho $$ > \"$TMPDIR/../pid\"\necho \"$HOME\" > \"$TMPDIR/../home\"\n"
            "kill -TERM $PPID\nsleep 30\necho > \"$TMPDIR/../finished\"\n");
  ASSERT_EQ(::chmod(dir.File("yosys").c_str(), 0755), 0);
  WriteFile(dir.File("top.v"), "module top(input a, output y); assign y = ~a; endmodule\n");
  RunOptions options;
  options.environment = {"TAMBRIL_YOSYS=" + dir.File("yosys"), "TMPDIR=" + dir.Path()};
  const RunResult run =
      RunCommand("tambril-import", {"top.v", "-o", "top.net"}, dir.Path(), options);
  EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.err;
  const std::string pid = ReadFile(dir.File("pid"));
  ASSERT_FALSE(pid.empty());
  EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "yosys still runs";
  EXPECT_FALSE(std::filesystem::exists(dir.File("finished"))) << "the run waited for yosys";
  // The home it was given was the scratch directory, and that is gone with everything else.
  const std::string home = ReadFile(dir.File("home"));
  EXPECT_NE(home.find("/tambril-import."), std::string::npos) << home;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("tambril-import.", 0), std::string::npos)
        << entry.path();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("top.net")));
}

}  // namespace
}  // namespace tambril::test
