// Helpers shared by the test files: scratch directories, reading and writing files, and
// running the tambril executable with its output captured.
#ifndef TAMBRIL_TESTS_CORE_TEST_SUPPORT_H
#define TAMBRIL_TESTS_CORE_TEST_SUPPORT_H

#include <string>
#include <vector>

namespace tambril_test {

// A fresh, empty directory under $TMPDIR (or /tmp), removed with everything in it when the
// object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Writes `text` byte for byte to `path`, creating or truncating it. Fails the current test
// (non-fatally) when the file cannot be written.
void WriteFile(const std::string& path, const std::string& text);
// The whole file; an empty string when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names in `dir` (no "." or ".."), sorted.
std::vector<std::string> ListDir(const std::string& dir);

// `text` with every regular-expression special character escaped, so that it matches itself
// literally in the regular expressions of EXPECT_EXIT / EXPECT_DEATH.
std::string QuoteRegex(const std::string& text);

// The outcome of one run of a program.
struct RunResult {
  int exitCode = -1;  // the exit status; 128 + signal number when killed by a signal
  std::string out;    // everything written to standard output
  std::string err;    // everything written to standard error
};

// Runs `program` with `args` (argv[1]...) in the working directory `workDir`, standard input
// from /dev/null, and waits for it to end.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::string& workDir);
// The same for the built tambril executable.
RunResult RunTambril(const std::vector<std::string>& args, const std::string& workDir);
// Absolute path of the built tambril executable.
std::string TambrilPath();

}  // namespace tambril_test

#endif
