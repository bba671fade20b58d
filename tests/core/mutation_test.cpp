// Bad input never crashes: the tambril executable is run on thousands of seeded mutations of
// valid gate libraries and netlists, and every run must end either in a success or in one
// well-formed error line with exit status 1, no output files created and a pre-existing result
// file left untouched. A handful of fixed cases pin down each error class.
//
// A violating case is copied to a kept directory (its path is in the failure message) with a
// README describing the command line and what happened, so that it can be rerun by hand.
//
// TAMBRIL_MUTATION_CASES (environment) overrides the number of seeded cases per fuzz test.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support.h"

extern char** environ;

namespace {

using tambril_test::FileExists;
using tambril_test::ListDir;
using tambril_test::ReadFile;
using tambril_test::TempDir;
using tambril_test::WriteFile;

// ---------------------------------------------------------------------------------------------
// Deterministic pseudo-random numbers.

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() { return SplitMix64(state_); }
  // Uniform enough in [0, n); 0 when n is 0.
  size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
  bool Chance(int percent) { return Below(100) < static_cast<size_t>(percent); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }

 private:
  std::uint64_t state_;
};

// The seed of case `index` of a fuzz test: independent of the other cases, so that one case
// can be regenerated alone.
std::uint64_t CaseSeed(std::uint64_t testSeed, int index) {
  std::uint64_t state = testSeed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(index + 1));
  return SplitMix64(state);
}

// ---------------------------------------------------------------------------------------------
// Valid inputs to start from.

const char kLibrary[] =
    "name\tinputs\tcin\tr\tcout\tg\tp\n"
    "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
    "NAND\t2\t0.0133\t3.4e-10\t0.02\t1.33\t2\n"
    "NAND\t3\t0.0167\t5.1e-10\t0.03\t1.67\t3\n"
    "NOR\t2\t0.0167\t3.4e-10\t0.02\t1.67\t2\n";

// The same rows with commas and mixed separators.
const char kLibraryCommas[] =
    "name,inputs,cin,r,cout,g,p\n"
    "NOR,2,0.0167,3.4e-10,0.02,1.67,2\n"
    "INV,1,0.01,1.7e-10,0.01,1,1\n"
    "NAND\t3,0.0167\t5.1e-10,0.03,1.67,3\n"
    "NAND,2,0.0133,3.4e-10\t0.02,1.33,2\n";

// Two primary inputs, one NAND, one inverter as the primary output.
const char kSmall[] =
    "4 0 0 1 4\n"
    "pri 1 0\n"
    "pri,1,0\n"
    "NAND 1 2 1 0 0 2 0 0\n"
    "po INV 0 1 3 0 0\n";

// A primary output (node 3) that also drives a gate, and a three-input NAND.
const char kOutputDrivesGate[] =
    "5 0 0 2 6\n"
    "pri 2 0\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "po NAND 1 2 1 0 0 2 0 0\n"
    "NAND 1 3 4 0 0 1 0 0 3 0 0\n"
    "po INV 0 1 5 0 0\n";

// Node 3 drives both pins of the NOR.
const char kDoublePin[] =
    "5 0 0 1 5\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "NAND 2 2 1 0 0 2 0 0\n"
    "NOR 1 2 3 0 0 3 0 0\n"
    "po INV 0 1 4 0 0\n";

struct Base {
  std::string name;
  std::string text;
};

std::vector<Base> BaseLibraries() {
  std::vector<Base> bases = {{"library", kLibrary}, {"library-commas", kLibraryCommas}};
  const std::string example = std::string(TAMBRIL_EXAMPLES) + "/param.txt";
  if (FileExists(example)) bases.push_back({"examples/param.txt", ReadFile(example)});
  return bases;
}

std::vector<Base> BaseNetlists() {
  std::vector<Base> bases = {
      {"small", kSmall}, {"output-drives-gate", kOutputDrivesGate}, {"double-pin", kDoublePin}};
  const std::string example = std::string(TAMBRIL_EXAMPLES) + "/c17.net";
  if (FileExists(example)) bases.push_back({"examples/c17.net", ReadFile(example)});
  return bases;
}

// ---------------------------------------------------------------------------------------------
// Running the program: a child process in `workDir` with standard input from /dev/null and
// standard output and error into files. A CPU-time limit turns an endless loop into a signal
// (SIGXCPU) and a file-size limit a runaway writer into one (SIGXFSZ); no clock is read here.

struct Outcome {
  bool started = false;
  std::string setupError;  // why the program did not run, when it did not
  bool exited = false;
  int exitCode = -1;
  int signal = 0;
  std::string out;
  std::string err;
};

constexpr rlim_t kCpuSecondsLimit = 60;
constexpr rlim_t kFileSizeLimit = 64u << 20;

// Sanitizer reports get exit codes of their own, so they cannot pass for a status of 1.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  std::string asan = "ASAN_OPTIONS=";
  std::string ubsan = "UBSAN_OPTIONS=";
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string item = *entry;
    if (item.rfind("ASAN_OPTIONS=", 0) == 0) {
      asan = item + ":";
    } else if (item.rfind("UBSAN_OPTIONS=", 0) == 0) {
      ubsan = item + ":";
    } else {
      env.push_back(item);
    }
  }
  env.push_back(asan + "exitcode=86:abort_on_error=0:detect_leaks=1");
  env.push_back(ubsan + "exitcode=87:halt_on_error=1:print_stacktrace=1");
  return env;
}

Outcome RunIn(const std::string& workDir, const std::vector<std::string>& args,
              const std::string& outPath, const std::string& errPath) {
  static const std::vector<std::string> environment = ChildEnvironment();
  Outcome outcome;
  std::vector<std::string> strings;
  strings.push_back(tambril_test::TambrilPath());
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = environment;
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  // The child reports a failed exec through this pipe, which closes by itself on success.
  int execPipe[2];
  if (::pipe2(execPipe, O_CLOEXEC) != 0) {
    outcome.setupError = "pipe failed";
    return outcome;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(execPipe[0]);
    ::close(execPipe[1]);
    outcome.setupError = "fork failed";
    return outcome;
  }
  if (pid == 0) {
    ::close(execPipe[0]);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(workDir.c_str()) != 0) {
      const int code = errno;
      (void)!::write(execPipe[1], &code, sizeof code);
      ::_exit(126);
    }
    // SIGXCPU at the soft limit; the hard one, a little later, would send SIGKILL.
    struct rlimit cpu = {kCpuSecondsLimit, kCpuSecondsLimit + 5};
    struct rlimit size = {kFileSizeLimit, kFileSizeLimit};
    struct rlimit core = {0, 0};
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::setrlimit(RLIMIT_FSIZE, &size);
    ::setrlimit(RLIMIT_CORE, &core);
    ::execve(argv[0], argv.data(), envp.data());
    const int code = errno;
    (void)!::write(execPipe[1], &code, sizeof code);
    ::_exit(127);
  }
  ::close(execPipe[1]);
  int execErrno = 0;
  ssize_t got;
  while ((got = ::read(execPipe[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
  }
  ::close(execPipe[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      outcome.setupError = "waitpid failed";
      return outcome;
    }
  }
  if (got > 0) {
    outcome.setupError = std::string("could not start ") + argv[0] + " in " + workDir + ": " +
                         std::strerror(execErrno);
    return outcome;
  }
  outcome.started = true;
  if (WIFEXITED(status)) {
    outcome.exited = true;
    outcome.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  }
  outcome.out = ReadFile(outPath);
  outcome.err = ReadFile(errPath);
  return outcome;
}

// ---------------------------------------------------------------------------------------------
// The contract.

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The error classes, with the text between the fixed parts of the line.
enum class ErrorKind { kNone, kFile, kFormat, kData };

struct ErrorLine {
  ErrorKind kind = ErrorKind::kNone;
  std::string subject;  // the file name, or the text between the brackets
};

// Parses standard error as exactly one line
//   File Error: <name> could not be opened
//   Format Error: <name> could not be parsed
//   Data Error: [<text>] could not be read
// where the variable part holds no line end. kNone when it is anything else.
ErrorLine ParseErrorLine(const std::string& err) {
  ErrorLine line;
  if (err.empty() || err.back() != '\n') return line;
  const std::string body = err.substr(0, err.size() - 1);
  if (body.find('\n') != std::string::npos) return line;
  struct Form {
    ErrorKind kind;
    const char* prefix;
    const char* suffix;
  };
  static const Form forms[] = {
      {ErrorKind::kFile, "File Error: ", " could not be opened"},
      {ErrorKind::kFormat, "Format Error: ", " could not be parsed"},
      {ErrorKind::kData, "Data Error: [", "] could not be read"},
  };
  for (const Form& form : forms) {
    const std::string prefix = form.prefix;
    const std::string suffix = form.suffix;
    if (body.size() >= prefix.size() + suffix.size() && StartsWith(body, prefix) &&
        EndsWith(body, suffix)) {
      line.kind = form.kind;
      line.subject = body.substr(prefix.size(), body.size() - prefix.size() - suffix.size());
      return line;
    }
  }
  return line;
}

// Printable form of arbitrary bytes, for messages.
std::string Escape(const std::string& text, size_t limit = 600) {
  std::string out;
  for (size_t k = 0; k < text.size() && k < limit; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
  return out;
}

const char kResultName[] = "out.txt";
const char kLogName[] = "convergence.txt";
const char kOldResult[] = "an older result, to be left alone on failure\n";

// One run to check: what was given and what came back.
struct CaseInput {
  std::string library;         // written as param.txt unless `noLibrary`
  std::string netlist;         // written at `netlistName`
  std::string netlistName;     // as given on the command line
  bool libraryChanged = true;  // differs from a valid library
  bool netlistChanged = true;  // differs from a valid netlist
  bool oldResult = false;      // a result file exists before the run
};

// Returns the violations of the contract, empty when the run was fine.
std::vector<std::string> CheckOutcome(const CaseInput& input, const Outcome& run,
                                      const std::string& workDir,
                                      const std::vector<std::string>& namesBefore) {
  std::vector<std::string> problems;
  if (!run.started) {
    problems.push_back("test harness: " + run.setupError);
    return problems;
  }
  if (!run.exited) {
    std::string what =
        "killed by signal " + std::to_string(run.signal) + " (" + strsignal(run.signal) + ")";
    if (run.signal == SIGXCPU) {
      what += ": the CPU limit of " + std::to_string(kCpuSecondsLimit) + " s was reached, a hang";
    }
    problems.push_back(what);
  } else if (run.exitCode != 0 && run.exitCode != 1) {
    std::string what = "exit status " + std::to_string(run.exitCode);
    if (run.exitCode == 86) what += " (AddressSanitizer report)";
    if (run.exitCode == 87) what += " (UndefinedBehaviorSanitizer report)";
    if (run.exitCode == 23) what += " (LeakSanitizer report)";
    problems.push_back(what);
  }
  if (run.err.find("Sanitizer") != std::string::npos ||
      run.err.find("runtime error:") != std::string::npos) {
    problems.push_back("sanitizer report on standard error");
  }

  const std::string result = workDir + "/" + kResultName;
  const std::string log = workDir + "/" + kLogName;
  std::vector<std::string> names = ListDir(workDir);

  if (run.exited && run.exitCode == 0) {
    if (!run.err.empty()) problems.push_back("success with text on standard error");
    const std::string tail = "\n\n";
    const std::string marker = "Total number of iteration: ";
    bool tailOk = false;
    if (EndsWith(run.out, tail)) {
      const std::string body = run.out.substr(0, run.out.size() - tail.size());
      const size_t at = body.rfind(marker);
      if (at != std::string::npos) {
        const std::string number = body.substr(at + marker.size());
        tailOk = !number.empty() &&
                 std::all_of(number.begin(), number.end(),
                             [](char c) { return c >= '0' && c <= '9'; }) &&
                 number != "0" && number[0] != '0';
      }
    }
    if (!tailOk) {
      problems.push_back(
          "success, but standard output does not end with "
          "\"Total number of iteration: N\\n\\n\"");
    }
    if (!FileExists(result)) problems.push_back("success, but no result file");
    if (!FileExists(log)) problems.push_back("success, but no convergence.txt");
    if (input.oldResult && FileExists(result) && ReadFile(result) == kOldResult) {
      problems.push_back("success, but the older result file was not replaced");
    }
    std::vector<std::string> expected = namesBefore;
    if (!input.oldResult) expected.push_back(kResultName);
    expected.push_back(kLogName);
    std::sort(expected.begin(), expected.end());
    if (names != expected) problems.push_back("success, with unexpected files in the directory");
  } else if (run.exited && run.exitCode == 1) {
    const ErrorLine line = ParseErrorLine(run.err);
    if (line.kind == ErrorKind::kNone) {
      problems.push_back("exit status 1, but standard error is not exactly one error line");
    } else if (line.kind == ErrorKind::kFile) {
      // Both input files exist and can be read; the result file can be written.
      problems.push_back("File Error although every file exists");
    } else if (line.kind == ErrorKind::kFormat) {
      if (line.subject == "param.txt") {
        if (!input.libraryChanged) problems.push_back("Format Error blames the valid library");
      } else if (line.subject == input.netlistName) {
        if (!input.netlistChanged) problems.push_back("Format Error blames the valid netlist");
      } else {
        problems.push_back("Format Error names neither param.txt nor the netlist as given");
      }
    }
    if (!input.libraryChanged && !input.netlistChanged) {
      problems.push_back("valid inputs, yet the run failed");
    }
    if (!input.oldResult && FileExists(result)) {
      problems.push_back("failure, but the result file was created");
    }
    if (input.oldResult && ReadFile(result) != kOldResult) {
      problems.push_back("failure, and the older result file was changed");
    }
    if (FileExists(log)) problems.push_back("failure, but convergence.txt was created");
    if (names != namesBefore) problems.push_back("failure, and the directory changed");
  }
  return problems;
}

// ---------------------------------------------------------------------------------------------
// Violations are kept for reproduction.

std::string KeptRoot() {
  static std::string root;
  if (!root.empty()) return root;
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/tambril_mutation_kept_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return "(could not create " + pattern + ")";
  root = buffer.data();
  return root;
}

// Copies the inputs of a case and describes it; returns the directory.
std::string KeepCase(const std::string& caseName, const CaseInput& input,
                     const std::vector<std::string>& args, const Outcome& run,
                     const std::vector<std::string>& problems, const std::string& history) {
  namespace fs = std::filesystem;
  const std::string dir = KeptRoot() + "/" + caseName;
  std::error_code error;
  fs::create_directories(dir + "/work", error);
  WriteFile(dir + "/work/param.txt", input.library);
  const fs::path netlist = fs::path(dir + "/work") / input.netlistName;
  fs::create_directories(netlist.parent_path(), error);
  WriteFile(netlist.string(), input.netlist);
  if (input.oldResult) WriteFile(dir + "/work/" + kResultName, kOldResult);
  WriteFile(dir + "/stdout.txt", run.out);
  WriteFile(dir + "/stderr.txt", run.err);
  std::ostringstream readme;
  readme << "Reproduce: cd work && " << tambril_test::TambrilPath();
  for (const std::string& arg : args) readme << " '" << arg << "'";
  readme << "\n\nMutations: " << history << "\n\nViolations:\n";
  for (const std::string& problem : problems) readme << "  " << problem << "\n";
  if (run.exited) {
    readme << "\nExit status " << run.exitCode << "\n";
  } else {
    readme << "\nSignal " << run.signal << "\n";
  }
  WriteFile(dir + "/README.txt", readme.str());
  return dir;
}

// How a case ended.
enum class CaseResult { kViolation, kHang, kSuccess, kLibraryFormat, kNetlistFormat, kData };

// Runs one case in a fresh directory below `scratch` and reports every violation as a test
// failure.
CaseResult RunCase(const TempDir& scratch, const std::string& caseName, const CaseInput& input,
                   const std::string& history) {
  namespace fs = std::filesystem;
  const std::string workDir = scratch.File("work");
  std::error_code error;
  fs::remove_all(workDir, error);
  fs::create_directory(workDir, error);
  WriteFile(workDir + "/param.txt", input.library);
  const fs::path netlist = fs::path(workDir) / input.netlistName;
  if (netlist.parent_path() != fs::path(workDir)) fs::create_directories(netlist.parent_path());
  WriteFile(netlist.string(), input.netlist);
  if (input.oldResult) WriteFile(workDir + "/" + kResultName, kOldResult);
  const std::vector<std::string> namesBefore = ListDir(workDir);

  const std::vector<std::string> args = {input.netlistName, kResultName, "1", "1"};
  const Outcome run = RunIn(workDir, args, scratch.File("stdout"), scratch.File("stderr"));
  const std::vector<std::string> problems = CheckOutcome(input, run, workDir, namesBefore);
  if (problems.empty()) {
    if (run.exitCode == 0) return CaseResult::kSuccess;
    const ErrorLine line = ParseErrorLine(run.err);
    if (line.kind == ErrorKind::kData) return CaseResult::kData;
    return line.subject == "param.txt" ? CaseResult::kLibraryFormat : CaseResult::kNetlistFormat;
  }

  const std::string kept = KeepCase(caseName, input, args, run, problems, history);
  std::ostringstream message;
  message << caseName << " violates the contract:\n";
  for (const std::string& problem : problems) message << "  - " << problem << "\n";
  message << "  mutations: " << history << "\n";
  message << "  exit: "
          << (run.exited ? std::to_string(run.exitCode) : "signal " + std::to_string(run.signal))
          << "\n  stderr: \"" << Escape(run.err) << "\"\n";
  message << "  inputs kept in " << kept << "\n";
  ADD_FAILURE() << message.str();
  return run.signal == SIGXCPU ? CaseResult::kHang : CaseResult::kViolation;
}

// ---------------------------------------------------------------------------------------------
// Mutations.

struct Line {
  size_t begin;
  size_t end;  // exclusive, including the line end when there is one
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t newline = text.find('\n', begin);
    const size_t end = newline == std::string::npos ? text.size() : newline + 1;
    lines.push_back({begin, end});
    begin = end;
  }
  return lines;
}

// Tokens as either reader sees them: runs between blanks, tabs, commas and line ends.
std::vector<Line> SplitTokens(const std::string& text) {
  static const std::string separators = " \t,\n";
  std::vector<Line> tokens;
  size_t pos = 0;
  while (true) {
    const size_t begin = text.find_first_not_of(separators, pos);
    if (begin == std::string::npos) break;
    size_t end = text.find_first_of(separators, begin);
    if (end == std::string::npos) end = text.size();
    tokens.push_back({begin, end});
    pos = end;
  }
  return tokens;
}

bool LooksNumeric(const std::string& text, const Line& token) {
  const char c = text[token.begin];
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

const std::vector<std::string>& HugeValues() {
  static const std::vector<std::string> values = {
      "99999999999", "2147483648",  "-2147483649",
      "2147483647",  "-2147483648", "4294967297",
      "1e308",       "1e-320",      "1e400",
      "-1e308",      "inf",         "-inf",
      "nan",         "-nan",        "-0",
      "0x1p3",       "1e-300",      "000000000000000000001"};
  return values;
}

const std::vector<std::string>& NegativeCounts() {
  static const std::vector<std::string> values = {"-1", "-2", "-3", "-100", "-2147483647"};
  return values;
}

const std::vector<std::string>& NonNumbers() {
  static const std::vector<std::string> values = {
      "abc",    "x",    "1x",  "+",         "-",          ".",   "--1",
      "e5",     "NAND", "INV", "NOR",       "pri",        "po",  "Input",
      "Output", "XOR",  "#",   "ABCDEFGHI", "ABCDEFGHIJ", "3.5", "\xC3\xA9"};
  return values;
}

// The bytes a flipped byte may become; others are drawn at random.
const std::string& SpecialBytes() {
  static const std::string bytes = std::string("\0\r,\t \n-", 7) + "0123456789" + "aZpoINV.+e";
  return bytes;
}

std::string LongLine(Rng& rng, const std::string& text) {
  const size_t length = 100000 + rng.Below(4096);
  std::string line;
  switch (rng.Below(7)) {
    case 0:
      line.assign(length, 'A');
      break;
    case 1:
      line.assign(length, '1');
      break;
    case 2:
      while (line.size() < length) line += "1 0 0 ";
      break;
    case 3:
      while (line.size() < length) line += rng.Chance(50) ? ' ' : (rng.Chance(50) ? ',' : '\t');
      break;
    case 4:
      while (line.size() < length) line += static_cast<char>(rng.Below(256));
      break;
    case 5: {
      // An existing line with a long tail.
      const std::vector<Line> lines = SplitLines(text);
      if (!lines.empty()) {
        const Line& l = rng.Pick(lines);
        line = text.substr(l.begin, l.end - l.begin);
        if (!line.empty() && line.back() == '\n') line.pop_back();
      }
      const char* tails[] = {" 1 0 0", "\t0.5", ",9", " x"};
      const std::string tail = tails[rng.Below(4)];
      while (line.size() < length) line += tail;
      break;
    }
    default:
      line = "NAND " + std::string(length, 'N');
      break;
  }
  return line + "\n";
}

std::string LongToken(Rng& rng) {
  static const size_t lengths[] = {9, 10, 64, 1000, 100000};
  const size_t length = lengths[rng.Below(5)];
  switch (rng.Below(4)) {
    case 0:
      return std::string(length, 'X');
    case 1:
      return std::string(length, '9');
    case 2:
      return std::string(length, '0') + "1";
    default:
      return "1." + std::string(length, '5') + "e-3";
  }
}

// Applies one random mutation to `text` and returns its description.
std::string MutateOnce(Rng& rng, std::string& text) {
  const std::vector<Line> lines = SplitLines(text);
  const std::vector<Line> tokens = SplitTokens(text);
  std::ostringstream what;
  switch (rng.Below(11)) {
    case 0: {  // truncate
      const size_t at = rng.Below(text.size() + 1);
      text.resize(at);
      what << "truncate at byte " << at;
      break;
    }
    case 1: {  // delete a line
      if (lines.empty()) return "delete a line (none)";
      const size_t k = rng.Below(lines.size());
      text.erase(lines[k].begin, lines[k].end - lines[k].begin);
      what << "delete line " << k + 1;
      break;
    }
    case 2: {  // duplicate a line
      if (lines.empty()) return "duplicate a line (none)";
      const size_t k = rng.Below(lines.size());
      std::string copy = text.substr(lines[k].begin, lines[k].end - lines[k].begin);
      if (copy.empty() || copy.back() != '\n') copy += '\n';
      text.insert(lines[k].begin, copy);
      what << "duplicate line " << k + 1;
      break;
    }
    case 3: {  // swap two lines
      if (lines.size() < 2) return "swap lines (too few)";
      size_t a = rng.Below(lines.size());
      size_t b = rng.Below(lines.size());
      if (a == b) b = (a + 1) % lines.size();
      if (a > b) std::swap(a, b);
      auto body = [&](size_t k) {
        std::string s = text.substr(lines[k].begin, lines[k].end - lines[k].begin);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
      };
      std::vector<std::string> parts;
      for (size_t k = 0; k < lines.size(); ++k) parts.push_back(body(k));
      std::swap(parts[a], parts[b]);
      const bool endsWithNewline = !text.empty() && text.back() == '\n';
      std::string joined;
      for (size_t k = 0; k < parts.size(); ++k) {
        joined += parts[k];
        if (k + 1 < parts.size() || endsWithNewline) joined += '\n';
      }
      text = joined;
      what << "swap lines " << a + 1 << " and " << b + 1;
      break;
    }
    case 4:
    case 5: {  // replace a byte
      if (text.empty()) return "replace a byte (empty)";
      const size_t at = rng.Below(text.size());
      char c;
      const size_t how = rng.Below(3);
      if (how == 0) {
        c = SpecialBytes()[rng.Below(SpecialBytes().size())];
      } else if (how == 1) {
        c = static_cast<char>(rng.Below(256));
      } else {
        c = static_cast<char>(text[at] ^ (1 << rng.Below(8)));
      }
      text[at] = c;
      what << "byte " << at << " := 0x" << std::hex << (static_cast<unsigned>(c) & 0xFF);
      break;
    }
    case 6:
    case 7: {  // replace a token, preferably a number
      if (tokens.empty()) return "replace a token (none)";
      Line token = rng.Pick(tokens);
      for (int tries = 0; tries < 8 && !LooksNumeric(text, token); ++tries)
        token = rng.Pick(tokens);
      std::string value;
      switch (rng.Below(4)) {
        case 0:
          value = rng.Pick(HugeValues());
          break;
        case 1:
          value = rng.Pick(NegativeCounts());
          break;
        case 2:
          value = "0";
          break;
        default:
          value = rng.Pick(NonNumbers());
          break;
      }
      what << "token \"" << Escape(text.substr(token.begin, token.end - token.begin), 40)
           << "\" at byte " << token.begin << " := \"" << Escape(value) << "\"";
      text.replace(token.begin, token.end - token.begin, value);
      break;
    }
    case 8: {  // insert a very long line
      const size_t k = rng.Below(lines.size() + 1);
      const size_t at = k < lines.size() ? lines[k].begin : text.size();
      std::string line = LongLine(rng, text);
      if (at == text.size() && !text.empty() && text.back() != '\n') line = "\n" + line;
      text.insert(at, line);
      what << "insert a " << line.size() << "-byte line before line " << k + 1;
      break;
    }
    case 9: {  // a very long token
      const std::string value = LongToken(rng);
      if (tokens.empty()) {
        text += value;
      } else {
        const Line& token = rng.Pick(tokens);
        text.replace(token.begin, token.end - token.begin, value);
        what << "token at byte " << token.begin << " := ";
      }
      what << value.size() << "-byte token \"" << Escape(value, 12) << "\"";
      break;
    }
    default:  // empty the file
      text.clear();
      what << "empty the file";
      break;
  }
  return what.str();
}

// 1-3 mutations; returns their descriptions.
std::string Mutate(Rng& rng, std::string& text) {
  const size_t count = 1 + rng.Below(3);
  std::string history;
  for (size_t k = 0; k < count; ++k) {
    if (k > 0) history += "; ";
    history += MutateOnce(rng, text);
  }
  return history;
}

// What a fuzz test mutates.
enum class Target { kLibrary, kNetlist, kBoth };

int CaseCount(int defaultCount) {
  if (const char* text = std::getenv("TAMBRIL_MUTATION_CASES")) {
    const int count = std::atoi(text);
    if (count > 0) return count;
  }
  return defaultCount;
}

// Per fuzz test; three tests make the total. A sanitized program starts several times slower
// (about 0.1 s against 0.02 s a run), so sanitized builds check fewer cases.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultCases = 250;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kDefaultCases = 250;
#else
constexpr int kDefaultCases = 1000;
#endif
#else
constexpr int kDefaultCases = 1000;
#endif

const std::vector<std::string>& NetlistNames() {
  static const std::vector<std::string> names = {"circuit.net", "circuit.net", "./c.net",
                                                 "nets/in put.net"};
  return names;
}

void Fuzz(const char* testName, Target target, std::uint64_t testSeed) {
  const std::vector<Base> libraries = BaseLibraries();
  const std::vector<Base> netlists = BaseNetlists();
  const int cases = CaseCount(kDefaultCases);
  constexpr int kMaxReported = 20;
  TempDir scratch;
  ASSERT_FALSE(scratch.path().empty());

  int counts[6] = {0, 0, 0, 0, 0, 0};  // by CaseResult
  const int& hangs = counts[static_cast<int>(CaseResult::kHang)];
  int violations = 0;
  int index = 0;
  // Each hang costs the whole CPU limit: one is enough.
  for (; index < cases && violations < kMaxReported && hangs == 0; ++index) {
    const std::uint64_t seed = CaseSeed(testSeed, index);
    Rng rng(seed);
    const Base& library = rng.Pick(libraries);
    const Base& netlist = rng.Pick(netlists);
    CaseInput input;
    input.library = library.text;
    input.netlist = netlist.text;
    input.netlistName = rng.Pick(NetlistNames());
    input.oldResult = rng.Chance(25);
    std::string history = "library " + library.name + ", netlist " + netlist.name;
    if (target != Target::kNetlist) history += "; param.txt: " + Mutate(rng, input.library);
    if (target != Target::kLibrary) history += "; netlist: " + Mutate(rng, input.netlist);
    // A mutation may undo itself, or reach another valid input: judge by the bytes.
    input.libraryChanged = std::none_of(libraries.begin(), libraries.end(),
                                        [&](const Base& b) { return b.text == input.library; });
    input.netlistChanged = std::none_of(netlists.begin(), netlists.end(),
                                        [&](const Base& b) { return b.text == input.netlist; });

    char name[96];
    std::snprintf(name, sizeof name, "%s_case%04d_seed%016llx", testName, index,
                  static_cast<unsigned long long>(seed));
    const CaseResult result = RunCase(scratch, name, input, history);
    ++counts[static_cast<int>(result)];
    if (result == CaseResult::kViolation || result == CaseResult::kHang) ++violations;
  }
  if (index < cases) {
    ADD_FAILURE() << "stopped after case " << index - 1 << ": " << violations << " violations, "
                  << hangs << " hangs";
  }
  const int successes = counts[static_cast<int>(CaseResult::kSuccess)];
  // The cases should reach both outcomes, or the mutations are too weak or too strong.
  EXPECT_GT(successes, 0) << "no mutated input was accepted";
  EXPECT_GT(index - successes - violations, 0) << "no mutated input was rejected";
  std::printf(
      "[ %s ] %d cases: %d accepted; rejected: %d param.txt format, %d netlist format, %d data; "
      "%d violations\n",
      testName, index, successes, counts[static_cast<int>(CaseResult::kLibraryFormat)],
      counts[static_cast<int>(CaseResult::kNetlistFormat)],
      counts[static_cast<int>(CaseResult::kData)], violations);
}

TEST(MutationFuzz, Library) { Fuzz("library", Target::kLibrary, 0x7A3B1C0DE5EEDull); }

TEST(MutationFuzz, Netlist) { Fuzz("netlist", Target::kNetlist, 0x5EED0F7A3B11ull); }

TEST(MutationFuzz, Both) { Fuzz("both", Target::kBoth, 0xB0757A3B1C0Dull); }

// ---------------------------------------------------------------------------------------------
// Fixed cases, one or more per error class.

// Runs in a fresh directory holding the given files (a name ending in '/' is made a
// directory); optionally with an older result file.
struct Fixed {
  Outcome run;
  std::vector<std::string> namesBefore;
  std::vector<std::string> namesAfter;
  std::string resultAfter;
};

Fixed RunFixed(const std::vector<std::pair<std::string, std::string>>& files,
               const std::vector<std::string>& args, bool oldResult) {
  TempDir scratch;
  const std::string workDir = scratch.File("work");
  std::filesystem::create_directory(workDir);
  for (const auto& [name, text] : files) {
    if (!name.empty() && name.back() == '/') {
      std::filesystem::create_directories(workDir + "/" + name);
    } else {
      WriteFile(workDir + "/" + name, text);
    }
  }
  if (oldResult) WriteFile(workDir + "/" + kResultName, kOldResult);
  Fixed fixed;
  fixed.namesBefore = ListDir(workDir);
  fixed.run = RunIn(workDir, args, scratch.File("stdout"), scratch.File("stderr"));
  fixed.namesAfter = ListDir(workDir);
  fixed.resultAfter = ReadFile(workDir + "/" + kResultName);
  return fixed;
}

// Expects status 1, exactly `err` on standard error and the directory as it was.
void ExpectFailure(const Fixed& fixed, const std::string& err) {
  ASSERT_TRUE(fixed.run.started) << fixed.run.setupError;
  EXPECT_TRUE(fixed.run.exited) << "signal " << fixed.run.signal;
  EXPECT_EQ(fixed.run.exitCode, 1);
  EXPECT_EQ(fixed.run.err, err);
  EXPECT_EQ(fixed.namesAfter, fixed.namesBefore);
}

const std::vector<std::string> kArgs = {"circuit.net", kResultName, "1", "1"};

TEST(MutationRegression, ValidInputsSucceed) {
  for (const Base& library : BaseLibraries()) {
    for (const Base& netlist : BaseNetlists()) {
      SCOPED_TRACE(library.name + " with " + netlist.name);
      for (bool oldResult : {false, true}) {
        TempDir scratch;
        CaseInput input;
        input.library = library.text;
        input.netlist = netlist.text;
        input.netlistName = "circuit.net";
        input.libraryChanged = false;
        input.netlistChanged = false;
        input.oldResult = oldResult;
        EXPECT_EQ(RunCase(scratch, "valid_" + netlist.name, input, "none"), CaseResult::kSuccess);
        EXPECT_TRUE(FileExists(scratch.File("work/convergence.txt")));
      }
    }
  }
}

TEST(MutationRegression, MissingLibraryIsAFileError) {
  const Fixed fixed = RunFixed({{"circuit.net", kSmall}}, kArgs, true);
  ExpectFailure(fixed, "File Error: param.txt could not be opened\n");
  EXPECT_EQ(fixed.resultAfter, kOldResult);
}

TEST(MutationRegression, MissingNetlistIsAFileError) {
  const Fixed fixed = RunFixed({{"param.txt", kLibrary}}, kArgs, false);
  ExpectFailure(fixed, "File Error: circuit.net could not be opened\n");
}

TEST(MutationRegression, UnopenableResultIsAFileError) {
  const Fixed fixed = RunFixed({{"param.txt", kLibrary}, {"circuit.net", kSmall}},
                               {"circuit.net", "absent/out.txt", "1", "1"}, false);
  ExpectFailure(fixed, "File Error: absent/out.txt could not be opened\n");
}

TEST(MutationRegression, DirectoryAsNetlistFailsWithOneLine) {
  const Fixed fixed = RunFixed({{"param.txt", kLibrary}, {"circuit.net/", ""}}, kArgs, true);
  ASSERT_TRUE(fixed.run.started) << fixed.run.setupError;
  EXPECT_EQ(fixed.run.exitCode, 1);
  const ErrorLine line = ParseErrorLine(fixed.run.err);
  EXPECT_TRUE(line.kind == ErrorKind::kFile || line.kind == ErrorKind::kFormat)
      << Escape(fixed.run.err);
  EXPECT_EQ(line.subject, "circuit.net");
  EXPECT_EQ(fixed.namesAfter, fixed.namesBefore);
  EXPECT_EQ(fixed.resultAfter, kOldResult);
}

TEST(MutationRegression, DirectoryAsLibraryFailsWithOneLine) {
  const Fixed fixed = RunFixed({{"param.txt/", ""}, {"circuit.net", kSmall}}, kArgs, false);
  ASSERT_TRUE(fixed.run.started) << fixed.run.setupError;
  EXPECT_EQ(fixed.run.exitCode, 1);
  const ErrorLine line = ParseErrorLine(fixed.run.err);
  EXPECT_TRUE(line.kind == ErrorKind::kFile || line.kind == ErrorKind::kFormat)
      << Escape(fixed.run.err);
  EXPECT_EQ(line.subject, "param.txt");
  EXPECT_EQ(fixed.namesAfter, fixed.namesBefore);
}

TEST(MutationRegression, MalformedLibraryIsAFormatError) {
  const std::string header = "name\tinputs\tcin\tr\tcout\tg\tp\n";
  const std::vector<std::string> libraries = {
      "",                                                    // no header
      header + "INV\t1\t0.01\t1.7e-10\t0.01\t1\n",           // six fields
      header + "\nINV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n",      // an empty row
      header + "INVERTER10\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"  // a ten-character name
  };
  for (const std::string& library : libraries) {
    SCOPED_TRACE(Escape(library));
    const Fixed fixed = RunFixed({{"param.txt", library}, {"circuit.net", kSmall}}, kArgs, true);
    ExpectFailure(fixed, "Format Error: param.txt could not be parsed\n");
    EXPECT_EQ(fixed.resultAfter, kOldResult);
  }
}

TEST(MutationRegression, NineCharacterNamesAreAccepted) {
  const std::string library = std::string(kLibrary) + "INVERTER9\t1\t0.01\t1.7e-10\t0.01\t1\t1\n";
  const std::string netlist =
      "4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INVERTER9 0 1 3 0 0\n";
  const Fixed fixed = RunFixed({{"param.txt", library}, {"circuit.net", netlist}}, kArgs, false);
  ASSERT_TRUE(fixed.run.started) << fixed.run.setupError;
  EXPECT_EQ(fixed.run.exitCode, 0) << Escape(fixed.run.err);
  EXPECT_EQ(fixed.run.err, "");
}

TEST(MutationRegression, MalformedNetlistIsAFormatError) {
  const std::vector<std::string> netlists = {
      "",                                                                       // no header
      "4 0 0 1 5\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",  // a line short
      "4 0 0 1 4\npri 2 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",  // fan-out count
      "4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 5 0 0\npo INV 0 1 3 0 0\n",  // driver id > N
      "4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 0 0 0\npo INV 0 1 3 0 0\n",  // driver id 0
      "4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 2 0\npo INV 0 1 3 0 0\n",    // pin cut short
      "4 0 0 1 4\npri 1 0\npri 1 0\n\npo INV 0 1 3 0 0\n",                      // empty node line
      "4 0 0 1 4\npri 1 1 1 0 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",  // driven pri
      // A loop between nodes 2 and 3.
      "4 0 0 1 4\npri 1 0\nNAND 1 2 1 0 0 3 0 0\nINV 2 1 2 0 0\npo INV 0 1 3 0 0\n",
  };
  for (const std::string& netlist : netlists) {
    SCOPED_TRACE(Escape(netlist));
    const Fixed fixed = RunFixed({{"param.txt", kLibrary}, {"circuit.net", netlist}}, kArgs, true);
    ExpectFailure(fixed, "Format Error: circuit.net could not be parsed\n");
    EXPECT_EQ(fixed.resultAfter, kOldResult);
  }
}

TEST(MutationRegression, UnknownGatesAreDataErrors) {
  const struct {
    const char* netlist;
    const char* err;
  } cases[] = {
      {"4 0 0 1 4\npri 1 0\npri 1 0\nXOR 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",
       "Data Error: [XOR] could not be read\n"},
      {"4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 2 3 0 0 3 0 0\n",
       "Data Error: [INV] could not be read\n"},  // no two-input INV row
      {"4 0 0 1 4\npri 1 0\npri 1 0\nNAND 1 0\npo INV 0 1 3 0 0\n",
       "Data Error: [NAND] could not be read\n"},  // no inputs
      {"4 0 0 1 4\npri 1 0\npri 1 0\nOutput 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",
       "Data Error: [Output] could not be read\n"},  // a reserved name
      {"4 0 0 1 4\npri 1 0\npo pri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",
       "Data Error: [pri] could not be read\n"},  // a primary input marked as output
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Escape(c.netlist));
    const Fixed fixed =
        RunFixed({{"param.txt", kLibrary}, {"circuit.net", c.netlist}}, kArgs, true);
    ExpectFailure(fixed, c.err);
    EXPECT_EQ(fixed.resultAfter, kOldResult);
  }
}

}  // namespace
