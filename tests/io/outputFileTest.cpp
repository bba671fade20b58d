// How a run ends: killed by a signal, it leaves no temporary behind, even when the signal
// arrives while the temporary is being created, or is taken on another thread just before;
// an exception that no check foresaw is one error line and status 1.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "io/outputFile.h"
#include "io/runMain.h"
#include "testSupport.h"

namespace {

// Set in the child of a death test: the next temporary's creation is interrupted right after
// the file appears, before the caller has its name.
int signalOnCreation = 0;

// Set in the child of a death test: a signal raised on any thread but `mainThread` (a signal
// handler's last act) waits until the main thread has created a temporary, as a thread that
// the kernel has not yet stopped goes on while the signal ends the run.
std::atomic<bool> holdOtherThreads{false};
std::atomic<bool> handlerRan{false};
std::atomic<bool> mainWentOn{false};
pthread_t mainThread;

}  // namespace

// Interposes the C library's raise for this test executable.
extern "C" int raise(int signal) {
  using Function = int (*)(int);
  static const Function real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "raise"));
  if (holdOtherThreads.load() && !pthread_equal(pthread_self(), mainThread)) {
    handlerRan.store(true);
    for (int wait = 0; wait < 2000 && !mainWentOn.load(); ++wait) ::usleep(1000);
  }
  return real(signal);
}

// Interposes the C library's mkostemp for this test executable.
extern "C" int mkostemp(char* pattern, int flags) {
  using Function = int (*)(char*, int);
  static const Function real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "mkostemp"));
  const int fd = real(pattern, flags);
  if (signalOnCreation != 0) ::raise(signalOnCreation);
  if (holdOtherThreads.load()) {
    mainWentOn.store(true);  // the held signal now ends the run while the file is unlisted
    ::usleep(500000);
  }
  return fd;
}

namespace tambril {
namespace {

int EntriesIn(const std::string& directory) {
  int count = 0;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return -1;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    count += name != "." && name != "..";
  }
  ::closedir(dir);
  return count;
}

TEST(OutputFileDeathTest, ASignalWhileTheTemporaryIsCreatedLeavesNothingBehind) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child writes into this test's directory
  for (const int signal : {SIGINT, SIGTERM, SIGPIPE}) {
    test::TempDir dir;
    const std::string target = dir.File("result.txt");
    test::WriteFile(target, "old\n");
    EXPECT_EXIT(
        {
          RemoveTemporariesOnSignals();
          signalOnCreation = signal;
          OutputFile file;
          file.OpenReplacing(target);
          std::_Exit(0);  // not reached: the signal ends the run
        },
        ::testing::KilledBySignal(signal), "");
    EXPECT_EQ(EntriesIn(dir.Path()), 1) << "signal " << signal;
    EXPECT_EQ(test::ReadFile(target), "old\n");
  }
}

TEST(OutputFileDeathTest, ASignalTakenOnAnotherThreadJustBeforeACreationLeavesNothingBehind) {
  GTEST_FLAG_SET(death_test_style, "fast");
  test::TempDir dir;
  const std::string target = dir.File("result.txt");
  test::WriteFile(target, "old\n");
  EXPECT_EXIT(
      {
        RemoveTemporariesOnSignals();
        ::raise(0);  // finds the C library's raise outside a signal handler
        mainThread = pthread_self();
        holdOtherThreads = true;
        std::thread other([] { ::pthread_kill(::pthread_self(), SIGINT); });
        while (!handlerRan.load()) ::usleep(100);
        OutputFile file;
        file.OpenReplacing(target);
        other.join();
        std::_Exit(0);  // not reached: the signal ends the run
      },
      ::testing::KilledBySignal(SIGINT), "");
  EXPECT_EQ(EntriesIn(dir.Path()), 1);
  EXPECT_EQ(test::ReadFile(target), "old\n");
}

// An exception that no check foresaw ends the run with one line and status 1, not an abort.
TEST(RunMain, AnyOtherExceptionIsOneInternalErrorLine) {
  ::testing::internal::CaptureStderr();
  const int status = RunMain([] { throw std::out_of_range("stoi"); }, "tool: ");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tool: Internal Error: stoi\n");
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace tambril
