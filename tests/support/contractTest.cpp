// The contract tables: tests/contract/*.contract, one case a row, each run through the built
// executable in a scratch directory. The format is described in tests/contract/README.md.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "gtest/gtest.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

namespace fs = std::filesystem;

struct InputFile {
  std::string name;
  std::string text;  // the content, or for `link` and `symlink` the target
  std::string kind;  // "file", "dir", "link", "symlink"
};

struct Case {
  std::string where;  // FILE:LINE of the case line
  std::vector<InputFile> files;
  std::vector<std::string> run;  // program, then its arguments
  RunOptions options;
  int exit = 0;
  std::vector<std::string> stderrLines;
  std::vector<std::string> stdoutLines;
  bool exactStdout = false;  // `stdout` lines: the whole of standard output
  std::set<std::string> creates;
  std::set<std::string> changes;
};

// \t \r \\ \xHH, and a trailing \c that drops the line end.
std::string Unescape(const std::string& text, bool& lineEnd) {
  std::string out;
  lineEnd = true;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 't') out += '\t';
    if (c == 'r') out += '\r';
    if (c == '\\') out += '\\';
    if (c == 'c') lineEnd = false;
    if (c == 'x' && i + 2 < text.size() + 1) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word == "''" ? "" : word);
  return words;
}

std::string TestName(const std::string& title) {
  std::string name;
  bool upper = true;
  for (char c : title) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return name;
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(entry.path(), dir).string();
    files[name] = entry.is_regular_file() ? ReadFile(entry.path().string()) : "<not a file>";
  }
  return files;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.where);
  TempDir dir;
  for (const InputFile& file : c.files) {
    const std::string path = dir.File(file.name);
    if (file.kind == "dir") fs::create_directories(path);
    if (file.kind == "file") WriteFile(path, file.text);
    if (file.kind == "link") fs::create_hard_link(dir.File(file.text), path);
    if (file.kind == "symlink") fs::create_symlink(file.text, path);
  }
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer reserves terabytes of address space for its shadow memory.
  if (c.options.memoryBytes != 0) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
#endif
  const auto before = Snapshot(dir.Path());
  std::vector<std::string> args(c.run.begin() + 1, c.run.end());
  for (std::string& arg : args) {
    for (size_t at; (at = arg.find("{dir}")) != std::string::npos;) arg.replace(at, 5, dir.Path());
    // {NAME}: a program of the build, for a command that runs it (flock, timeout).
    if (arg.size() > 2 && arg.front() == '{' && arg.back() == '}') {
      arg = ProgramPath(arg.substr(1, arg.size() - 2));
    }
  }
  // "@PATH" names a program of the source tree.
  const std::string program = c.run[0][0] == '@' ? RepoPath(c.run[0].substr(1)) : c.run[0];
  const RunResult result = RunCommand(program, args, dir.Path(), c.options);

  EXPECT_EQ(result.exitCode, c.exit) << result.err;
  std::string err;
  for (const std::string& line : c.stderrLines) err += line + "\n";
  EXPECT_EQ(result.err, err);
  std::string out;
  for (const std::string& line : c.stdoutLines) out += line + "\n";
  if (c.exactStdout) {
    EXPECT_EQ(result.out, out);
  }
  for (const std::string& line : c.exactStdout ? std::vector<std::string>() : c.stdoutLines) {
    EXPECT_NE(("\n" + result.out).find("\n" + line + "\n"), std::string::npos)
        << "standard output lacks the line '" << line << "':\n"
        << result.out;
  }
  const auto after = Snapshot(dir.Path());
  for (const auto& [name, text] : before) {
    const auto found = after.find(name);
    if (found == after.end()) {
      ADD_FAILURE() << name << " was removed";
    } else if (found->second != text && c.changes.count(name) == 0) {
      ADD_FAILURE() << name << " was changed";
    }
  }
  for (const auto& [name, text] : after) {
    if (before.count(name) == 0 && c.creates.count(name) == 0) ADD_FAILURE() << name << " appeared";
  }
  for (const std::string& name : c.creates) {
    if (after.count(name) == 0) ADD_FAILURE() << name << " was not created";
  }
}

// Reads one table. Directives before the first `case` apply to every case of the table.
std::vector<std::pair<std::string, Case>> ReadTable(const std::string& path,
                                                    std::vector<std::string>& problems) {
  std::vector<std::pair<std::string, Case>> cases;
  Case shared;
  Case* current = &shared;
  std::ifstream in(path);
  std::string line;
  InputFile* inline_ = nullptr;  // the file whose indented lines follow
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + ":" + std::to_string(number);
    if (inline_ != nullptr && line.rfind("  ", 0) == 0) {
      bool lineEnd = true;
      inline_->text += Unescape(line.substr(2), lineEnd) + (lineEnd ? "\n" : "");
      continue;
    }
    inline_ = nullptr;
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    const std::vector<std::string> words = Words(rest);
    if (key == "case") {
      cases.emplace_back(TestName(rest), shared);
      current = &cases.back().second;
      current->where = where;
    } else if (key == "file" || key == "dir" || key == "link" || key == "symlink") {
      InputFile file{words.at(0), "", key};
      if (key == "link" || key == "symlink") file.text = words.at(1);
      if (key == "file" && words.size() > 1 && words[1][0] == '@') {
        const std::string source = words[1].substr(1);
        file.text = ReadFile(source[0] == '/' ? source : RepoPath(source));
      }
      current->files.push_back(file);
      if (key == "file" && words.size() == 1) inline_ = &current->files.back();
    } else if (key == "run") {
      current->run = words;
    } else if (key == "limit") {
      size_t digits = 0;
      std::uint64_t bytes = std::stoull(words.at(1), &digits);
      for (const char unit : words.at(1).substr(digits)) bytes <<= unit == 'K' ? 10 : 20;
      (words.at(0) == "memory" ? current->options.memoryBytes : current->options.fileBytes) = bytes;
    } else if (key == "env") {
      current->options.environment.push_back(words.at(0) + "=" +
                                             (words.size() > 1 ? words[1] : ""));
    } else if (key == "exit") {
      current->exit = std::stoi(rest);
    } else if (key == "stderr") {
      bool lineEnd = true;
      current->stderrLines.push_back(Unescape(rest, lineEnd));
    } else if (key == "stdout-line" || key == "stdout") {
      bool lineEnd = true;
      current->stdoutLines.push_back(Unescape(rest, lineEnd));
      current->exactStdout = key == "stdout";
    } else if (key == "creates" || key == "changes") {
      (key == "creates" ? current->creates : current->changes).insert(words.begin(), words.end());
    } else {
      problems.push_back(where + ": unknown directive '" + key + "'");
    }
  }
  return cases;
}

// Registers every case of every table before the tests run.
const bool kRegistered = [] {
  const fs::path tables = RepoPath("tests/contract");
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(tables)) {
    if (entry.path().extension() == ".contract") paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  static std::vector<std::string> problems;
  for (const fs::path& path : paths) {
    const std::string suite = TestName(path.stem().string()) + "Contract";
    for (auto& [name, c] : ReadTable(path.string(), problems)) {
      const std::string file = path.string();
      testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, file.c_str(), 0,
                            [c = c]() -> testing::Test* {
                              struct Row : testing::Test {
                                explicit Row(Case rowCase) : row(std::move(rowCase)) {}
                                void TestBody() override { RunCase(row); }
                                Case row;
                              };
                              return new Row(c);
                            });
    }
  }
  if (!problems.empty()) {
    testing::RegisterTest("ContractTables", "AreWellFormed", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> testing::Test* {
                            struct Check : testing::Test {
                              void TestBody() override {
                                for (const std::string& p : problems) ADD_FAILURE() << p;
                              }
                            };
                            return new Check;
                          });
  }
  return true;
}();

}  // namespace
}  // namespace tambril::test
