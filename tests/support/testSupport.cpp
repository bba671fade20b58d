#include "testSupport.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/gateTypes.h"
#include "gennet/generator.h"
#include "gtest/gtest.h"

namespace tambril::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/tambril_test_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a directory from " << pattern;
    return;
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string RepoPath(const std::string& relative) {
  return std::string(TAMBRIL_SOURCE_DIR) + "/" + relative;
}

std::string ProgramPath(const std::string& name) {
  // TAMBRIL_PROGRAMS is "name=path|name=path|...", one entry per executable of the build.
  std::istringstream programs(TAMBRIL_PROGRAMS);
  std::string entry;
  while (std::getline(programs, entry, '|')) {
    const size_t equals = entry.find('=');
    if (entry.substr(0, equals) == name) return entry.substr(equals + 1);
  }
  ADD_FAILURE() << "no program named " << name << " in this build";
  return name;
}

RunResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const RunOptions& options) {
  RunResult result;
  int pipes[2][2];
  if (::pipe(pipes[0]) != 0 || ::pipe(pipes[1]) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  // Everything the child needs is prepared before fork.
  std::vector<std::string> strings{program.find('/') == std::string::npos ? ProgramPath(program)
                                                                          : program};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(pipes[0][1], 1) < 0 || ::dup2(pipes[1][1], 2) < 0 ||
        ::chdir(workDir.c_str()) != 0) {
      ::_exit(127);
    }
    const auto limit = [](int resource, std::uint64_t bytes) {
      const struct rlimit value = {bytes, bytes};
      if (bytes != 0) ::setrlimit(resource, &value);
    };
    limit(RLIMIT_AS, options.memoryBytes);
    limit(RLIMIT_FSIZE, options.fileBytes);
    for (const std::string& variable : options.environment)
      ::putenv(const_cast<char*>(variable.c_str()));
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipes[0][1]);
  ::close(pipes[1][1]);
  struct pollfd fds[2] = {{pipes[0][0], POLLIN, 0}, {pipes[1][0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  char buffer[4096];
  for (int open = 2; open > 0 && pid > 0;) {
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  for (const struct pollfd& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) < 0) {
    ADD_FAILURE() << "cannot run " << program;
  } else if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exitCode = 128 + WTERMSIG(status);
  }
  return result;
}

InProcessRun RunInProcess(const std::string& library, const std::string& netlist, double inner,
                          double outer, int cap, const std::string& method, double delayTarget) {
  InProcessRun run;
  run.net = std::make_unique<CNetlist>();
  TempDir dir;
  WriteFile(dir.File("param.txt"), library);
  WriteFile(dir.File("c.net"), netlist);
  char previous[PATH_MAX];
  if (::getcwd(previous, sizeof previous) == nullptr || ::chdir(dir.Path().c_str()) != 0) {
    ADD_FAILURE() << "cannot enter " << dir.Path();
    return run;
  }
  run.net->innerImprove = inner;
  run.net->outerImprove = outer;
  run.net->sizing.maxOuterPasses = cap;
  run.net->sizing.method = method;
  run.net->sizing.delayTarget = delayTarget;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  run.net->BuildDB("param.txt");
  run.net->InputNetlist("c.net");
  run.records = run.net->parts;
  run.net->OutputResult("c.result");
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  run.log = ReadFile("convergence.txt");
  run.result = ReadFile("c.result");
  EXPECT_EQ(::chdir(previous), 0);
  return run;
}

std::string ReconvergentNetlist(int outputs) {
  return "5 0 0 " + std::to_string(outputs) +
         " 8\npri 1 0\npri 1 0\npri 1 0\nNAND 2 3 1 0 0 2 0 0 3 0 0\npo INV 0 1 4 0 0\n"
         "INV 2 1 4 0 0\npo INV 0 1 6 0 0\npo INV 0 1 6 0 0\n";
}

std::string ResultWithoutTimes(const std::string& path) {
  const RunResult run = RunCommand(RepoPath("tools/strip-times"), {path}, ".");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return run.out;
}

namespace {

bool ToNumber(const std::string& token, std::uint64_t& value) {
  if (token.empty() || token.size() > 18) return false;
  value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

// Splits on single blanks; an empty token means a doubled, leading or trailing blank.
std::vector<std::string> SplitBlanks(const std::string& line) {
  std::vector<std::string> tokens;
  for (size_t start = 0;;) {
    const size_t blank = line.find(' ', start);
    tokens.push_back(line.substr(start, blank - start));
    if (blank == std::string::npos) return tokens;
    start = blank + 1;
  }
}

bool KnownRow(const std::string& type, std::uint64_t fanin) {
  tools::GateType known;
  return tools::GateTypeFromName(type, known) && fanin >= 1 &&
         fanin <= static_cast<std::uint64_t>(tools::WidestRow(known));
}

}  // namespace

std::vector<std::string> CheckNetlist(const std::string& text, NetlistSummary* summary) {
  NetlistSummary ignored;
  NetlistSummary& out = summary != nullptr ? *summary : ignored;
  out = NetlistSummary();
  std::vector<std::string> problems;
  const auto problem = [&](size_t line, const std::string& what) {
    if (problems.size() < 20) problems.push_back("line " + std::to_string(line) + ": " + what);
  };
  if (text.empty() || text.back() != '\n') return {"the file does not end with a line end"};
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  const std::vector<std::string> header = SplitBlanks(lines[0]);
  std::uint64_t head[5] = {};
  bool headerOk = header.size() == 5;
  for (size_t i = 0; headerOk && i < 5; ++i) headerOk = ToNumber(header[i], head[i]);
  if (!headerOk || head[1] != 0 || head[2] != 0 || head[4] + 1 != lines.size()) {
    return {"bad header '" + lines[0] + "' for " + std::to_string(lines.size() - 1) + " lines"};
  }
  const std::uint64_t nodes = head[4];
  out.nodes = static_cast<std::uint32_t>(nodes);
  std::vector<std::uint32_t> declared(nodes, 0), driven(nodes, 0), level(nodes, 0);
  std::vector<std::uint32_t> start(nodes + 1, 0), drivers;
  std::vector<char> isOutput(nodes, 0);
  for (std::uint64_t k = 0; k < nodes; ++k) {
    const size_t lineNumber = k + 2;
    const std::vector<std::string> tokens = SplitBlanks(lines[k + 1]);
    start[k + 1] = start[k];
    std::uint64_t fanout = 0, fanin = 0;
    if (tokens[0] == "pri") {
      ++out.inputs;
      if (tokens.size() != 3 || !ToNumber(tokens[1], fanout) || tokens[2] != "0") {
        problem(lineNumber, "a primary input line is 'pri FANOUT 0'");
      }
      declared[k] = static_cast<std::uint32_t>(fanout);
      continue;
    }
    const size_t at = tokens[0] == "po" ? 1 : 0;
    isOutput[k] = at == 1;
    out.outputs += at;
    ++out.gates;
    if (tokens.size() < at + 3 || !ToNumber(tokens[at + 1], fanout) ||
        !ToNumber(tokens[at + 2], fanin) || tokens.size() != at + 3 + 3 * fanin) {
      problem(lineNumber, "malformed gate line");
      continue;
    }
    if (!KnownRow(tokens[at], fanin)) {
      problem(lineNumber, tokens[at] + " with " + std::to_string(fanin) + " inputs");
    }
    declared[k] = static_cast<std::uint32_t>(fanout);
    out.maxFanin = std::max(out.maxFanin, static_cast<std::uint32_t>(fanin));
    for (std::uint64_t pin = 0; pin < fanin; ++pin) {
      std::uint64_t driver = 0;
      const size_t t = at + 3 + 3 * pin;
      if (!ToNumber(tokens[t], driver) || driver < 1 || driver > nodes || tokens[t + 1] != "0" ||
          tokens[t + 2] != "0") {
        problem(lineNumber, "bad fan-in triple " + std::to_string(pin));
        continue;
      }
      drivers.push_back(static_cast<std::uint32_t>(driver - 1));
      ++driven[driver - 1];
      ++start[k + 1];
    }
  }
  if (head[0] != out.gates || head[3] != out.outputs) problems.push_back("header counts");
  for (std::uint64_t k = 0; k < nodes; ++k) {
    if (declared[k] != driven[k]) problem(k + 2, "fan-out count differs from the connections");
    if (lines[k + 1].rfind("pri ", 0) == 0 && driven[k] == 0) ++out.unusedInputs;
    if (isOutput[k] && driven[k] > 0) ++out.drivingOutputs;
    if (lines[k + 1].rfind("pri ", 0) != 0 && !isOutput[k] && driven[k] == 0) ++out.idleGates;
    out.maxFanout = std::max(out.maxFanout, driven[k]);
  }
  // Levels by repeated relaxation in a queue of nodes whose drivers are all done.
  std::vector<std::vector<std::uint32_t>> receivers(nodes);
  std::vector<std::uint32_t> waiting(nodes, 0), queue;
  for (std::uint64_t k = 0; k < nodes; ++k) {
    waiting[k] = start[k + 1] - start[k];
    for (std::uint32_t e = start[k]; e < start[k + 1]; ++e) receivers[drivers[e]].push_back(k);
    if (waiting[k] == 0) queue.push_back(static_cast<std::uint32_t>(k));
  }
  for (size_t head = 0; head < queue.size(); ++head) {
    const std::uint32_t node = queue[head];
    out.depth = std::max(out.depth, level[node]);
    for (std::uint32_t receiver : receivers[node]) {
      level[receiver] = std::max(level[receiver], level[node] + 1);
      if (--waiting[receiver] == 0) queue.push_back(receiver);
    }
  }
  if (queue.size() != nodes) problems.push_back("the circuit has a cycle");
  return problems;
}

std::string RandomNetlist(std::uint32_t gates, std::uint64_t seed, std::uint32_t maxFanin) {
  gennet::Options options;
  options.gates = gates;
  options.seed = seed;
  options.maxFanin = maxFanin;
  std::string text;
  gennet::WriteNetlist(gennet::Generate(options),
                       [&text](std::string_view chunk) { text.append(chunk); });
  return text;
}

}  // namespace tambril::test
