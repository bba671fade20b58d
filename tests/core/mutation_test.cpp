// Bad input never crashes: tambril is run on thousands of seeded mutations of valid libraries and
// netlists, and every run ends in a success or in one error line with exit status 1, no output
// file created and an older result left untouched; a table of fixed cases pins down each error
// class. A violating case is kept in a directory named in the failure message, with a README.
// TAMBRIL_MUTATION_CASES (environment) overrides the number of cases per fuzz test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using tambril_test::FileExists;
using tambril_test::ListDir;
using tambril_test::QuoteRegex;
using tambril_test::ReadFile;
using tambril_test::RunResult;
using tambril_test::TempDir;
using tambril_test::WriteFile;

struct Rng {  // SplitMix64
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }
};

const char kLibrary[] =
    "name\tinputs\tcin\tr\tcout\tg\tp\n"
    "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\nNAND\t2\t0.0133\t3.4e-10\t0.02\t1.33\t2\n"
    "NAND\t3\t0.0167\t5.1e-10\t0.03\t1.67\t3\nNOR\t2\t0.0167\t3.4e-10\t0.02\t1.67\t2\n";
const char kLibraryMixed[] =
    "name,inputs,cin,r,cout,g,p\nNOR,2,0.0167,3.4e-10,0.02,1.67,2\n"
    "NAND\t3,0.0167\t5.1e-10,0.03,1.67,3\nINV,1,0.01,1.7e-10,0.01,1,1\n"
    "NAND,2,0.0133,3.4e-10\t0.02,1.33,2\n";
const char kSmall[] = "4 0 0 1 4\npri 1 0\npri,1,0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n";
// An output (node 4) that drives both pins of a gate, and three-input gate.
const char kShared[] =
    "6 0 0 2 6\npri 2 0\npri 1 0\npri 1 0\npo NAND 2 2 1 0 0 2 0 0\n"
    "NAND,1,3,4,0,0,4,0,0,3,0,0\npo NOR 0 2 5 0 0 1 0 0\n";

struct Base {
  std::string name;
  std::string text;
};

// The valid inputs that mutations start from: small ones, and the bundled ones when present.
const std::vector<Base>& Bases(bool libraries) {
  static const auto with = [](std::vector<Base> bases, const std::string& example) {
    const std::string path = std::string(TAMBRIL_EXAMPLES) + "/" + example;
    if (FileExists(path)) bases.push_back({"examples/" + example, ReadFile(path)});
    return bases;
  };
  static const std::vector<Base> library =
      with({{"tabs", kLibrary}, {"mixed", kLibraryMixed}}, "param.txt");
  static const std::vector<Base> netlist =
      with({{"small", kSmall}, {"shared", kShared}}, "c17.net");
  return libraries ? library : netlist;
}

// Printable form of arbitrary bytes, for messages.
std::string Escape(const std::string& text, size_t limit = 300) {
  std::string out;
  for (size_t k = 0; k < text.size() && k < limit; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : c < 0x20 || c >= 0x7F ? hex : std::string(1, c);
  }
  if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
  return out;
}

const char kResultName[] = "out.txt";
const char kOldResult[] = "an older result, to be left alone on failure\n";

// One run: the files of its working directory (a name ending in '/' is made a directory) and
// the arguments after the program name.
struct Case {
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> args;
  bool oldResult = false;
};

void Populate(const std::string& work, const Case& c) {
  fs::create_directories(work);
  for (const auto& [name, text] : c.files) {
    const fs::path path = fs::path(work) / name;
    fs::create_directories(path.parent_path());
    if (name.back() == '/') {
      fs::create_directories(path);
    } else {
      WriteFile(path.string(), text);
    }
  }
  if (c.oldResult) WriteFile(work + "/" + kResultName, kOldResult);
}

// Runs tambril in `work` under a CPU limit (a hang ends in SIGXCPU), a file-size limit and no
// core files; a sanitizer report gets an exit status of its own, never 1.
RunResult RunLimited(const std::string& work, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {
      "-c",
      "ulimit -t 60 && ulimit -f 131072 && ulimit -c 0 && "
      "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86:detect_leaks=1\" && "
      "export UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=87:halt_on_error=1\" && "
      "exec \"$0\" \"$@\"",
      tambril_test::TambrilPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return tambril_test::Run("/bin/sh", argv, work);
}

// The one error line on standard error: 'F'ile, 'P'arse (format) or 'D'ata, with the text in
// its variable part; 0 when standard error is anything else.
char ErrorKind(const std::string& err, std::string* subject) {
  static const std::regex line(
      "(File Error: ([^\n]+) could not be opened|Format Error: ([^\n]+) could not be parsed|"
      "Data Error: \\[([^\n]*)\\] could not be read)\n");
  std::smatch m;
  if (err.find('\n') + 1 != err.size() || !std::regex_match(err, m, line)) return 0;
  const int group = m[2].matched ? 2 : m[3].matched ? 3 : 4;
  *subject = m[group];
  return "FPD"[group - 2];
}

// Runs the case in `work` and returns the violations of the contract every run keeps.
std::vector<std::string> RunCase(const std::string& work, const Case& c, RunResult& run) {
  Populate(work, c);
  const std::vector<std::string> namesBefore = ListDir(work);
  run = RunLimited(work, c.args);
  std::vector<std::string> problems;
  const int code = run.exitCode;
  if (code != 0 && code != 1) {
    problems.push_back("exit status " + std::to_string(code) +
                       (code == 128 + 24 ? ": SIGXCPU, the CPU limit was reached, a hang"
                        : code > 128     ? ": killed by a signal"
                        : code >= 86     ? ": a sanitizer report"
                                         : ""));
  }
  if (run.err.find("Sanitizer") != std::string::npos ||
      run.err.find("runtime error:") != std::string::npos)
    problems.push_back("sanitizer text on standard error");
  std::vector<std::string> names = ListDir(work);
  if (code == 0) {
    if (!run.err.empty()) problems.push_back("success with text on standard error");
    static const std::regex passes("\nTotal number of iteration: [1-9][0-9]*\n\n$");
    if (!std::regex_search(run.out, passes)) problems.push_back("success without a pass count");
    if (ReadFile(work + "/" + c.args.at(1)).rfind("TAMBRIL ran on ", 0) != 0)
      problems.push_back("no result file");
    std::vector<std::string> expected = namesBefore;
    if (!c.oldResult) expected.push_back(kResultName);
    expected.push_back("convergence.txt");
    std::sort(expected.begin(), expected.end());
    if (names != expected) problems.push_back("success, with unexpected files");
  } else if (code == 1) {
    std::string subject;
    if (ErrorKind(run.err, &subject) == 0) problems.push_back("status 1 without one error line");
    if (names != namesBefore) problems.push_back("failure, and the directory changed");
    if (c.oldResult && ReadFile(work + "/" + kResultName) != kOldResult)
      problems.push_back("failure, and the older result changed");
  }
  return problems;
}

// Copies a violating case to a kept directory; returns its path.
std::string Keep(const std::string& name, const Case& c, const RunResult& run,
                 const std::string& about) {
  static std::string root;
  if (root.empty()) {
    std::string pattern = fs::temp_directory_path().string() + "/tambril_mutation_kept_XXXXXX";
    root = ::mkdtemp(pattern.data()) != nullptr ? pattern : fs::temp_directory_path().string();
  }
  const std::string dir = root + "/" + name;
  Populate(dir + "/work", c);
  WriteFile(dir + "/stdout.txt", run.out);
  std::string readme = "Reproduce: cd work && " + tambril_test::TambrilPath();
  for (const std::string& arg : c.args) readme += " '" + arg + "'";
  WriteFile(dir + "/README.txt", readme + "\n\n" + about + "\n");
  return dir;
}

// Mutations. Tokens are runs between blanks, tabs, commas and line ends, as either reader sees.
std::vector<std::pair<size_t, size_t>> Tokens(const std::string& text) {
  std::vector<std::pair<size_t, size_t>> tokens;
  for (size_t end = 0, begin;
       (begin = text.find_first_not_of(" \t,\n", end)) != std::string::npos;) {
    end = std::min(text.find_first_of(" \t,\n", begin), text.size());
    tokens.emplace_back(begin, end - begin);
  }
  return tokens;
}

const std::vector<std::string> kHuge = {"99999999999", "2147483648", "-2147483649", "2147483647",
                                        "4294967297",  "1e308",      "1e-320",      "1e400",
                                        "-inf",        "nan",        "0x1p3",       "-0"};
const std::vector<std::string> kNegative = {"-1", "-2", "-100", "-2147483648", "0"};
const std::vector<std::string> kWords = {"abc", "1x",  "-",     ".",          "e5",
                                         "INV", "pri", "po",    "Output",     "XOR",
                                         "#",   "3.5", "Input", "ABCDEFGHIJ", "\xC3\xA9\r"};
const std::string kOddBytes = std::string("\0\r,\t \n-", 7) + "0123456789poINV.+e";

std::string MutateOnce(Rng& rng, std::string& text) {
  // Line-level edits work on the bodies and put the line ends back.
  const bool endsWithNewline = !text.empty() && text.back() == '\n';
  std::vector<std::string> lines;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  const size_t a = rng.Below(lines.size()), b = rng.Below(lines.size());
  const auto tokens = Tokens(text);
  std::string done;
  switch (rng.Below(11)) {
    case 0: {
      const size_t at = rng.Below(text.size() + 1);
      text.resize(at);
      return "truncate at byte " + std::to_string(at);
    }
    case 1:  // delete, duplicate or swap lines
    case 2:
    case 3: {
      if (lines.empty()) return "edit a line (none)";
      const size_t edit = rng.Below(3);
      if (edit == 0) lines.erase(lines.begin() + a);
      if (edit == 1) lines.insert(lines.begin() + a, lines[a]);
      if (edit == 2) std::swap(lines[a], lines[b]);
      done = std::string(edit == 0   ? "delete"
                         : edit == 1 ? "duplicate"
                                     : "swap") +
             " line " + std::to_string(a + 1) +
             (edit == 2 ? " with line " + std::to_string(b + 1) : "");
      break;
    }
    case 4:
    case 5: {  // a separator, digit or control byte, a random byte, or one bit flipped
      if (text.empty()) return "replace a byte (empty)";
      const size_t at = rng.Below(text.size());
      const size_t how = rng.Below(3);
      text[at] = how == 0   ? kOddBytes[rng.Below(kOddBytes.size())]
                 : how == 1 ? static_cast<char>(rng.Below(256))
                            : static_cast<char>(text[at] ^ (1 << rng.Below(8)));
      return "byte " + std::to_string(at) + " := " + Escape(std::string(1, text[at]));
    }
    case 6:  // a token, preferably a number, becomes a huge, negative, non- or long number
    case 7:
    case 8: {
      auto token = tokens.empty() ? std::make_pair(text.size(), size_t{0}) : rng.Pick(tokens);
      for (int tries = 0; tries < 8 && !std::strchr("0123456789-+.", text[token.first]); ++tries)
        token = rng.Pick(tokens);
      const size_t length = std::vector<size_t>{9, 10, 64, 1000, 100000}[rng.Below(5)];
      const std::vector<std::string> longs = {std::string(length, 'X'), std::string(length, '9'),
                                              std::string(length, '0') + "1",
                                              "1." + std::string(length, '5') + "e-3"};
      const size_t list = rng.Below(4);
      const std::string value = rng.Pick(list == 0   ? kHuge
                                         : list == 1 ? kNegative
                                         : list == 2 ? kWords
                                                     : longs);
      text.replace(token.first, token.second, value);
      return "token at byte " + std::to_string(token.first) + " := \"" + Escape(value, 40) + "\"";
    }
    case 9: {  // a line of 100000 bytes: letters, digits, triples, separators, random bytes
      const size_t length = 100000 + rng.Below(4096);
      const char* fills[] = {"A", "1", "1 0 0 ", " ,\t", "NAND 9 "};
      const size_t how = rng.Below(6);
      std::string line = how == 5 && !lines.empty() ? lines[a] : "";
      while (line.size() < length) {
        line += how < 5 ? fills[how] : std::string(1, static_cast<char>(rng.Below(256)));
      }
      lines.insert(lines.begin() + rng.Below(lines.size() + 1), line);
      done = "insert a long line of kind " + std::to_string(how);
      break;
    }
    default:
      text.clear();
      return "empty the file";
  }
  text.clear();
  for (size_t k = 0; k < lines.size(); ++k) {
    text += lines[k];
    if (k + 1 < lines.size() || endsWithNewline) text += '\n';
  }
  return done;
}

// Sanitized programs start several times slower, so sanitized builds check fewer cases.
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

// Mutates the library (target 1), the netlist (2) or both (3).
void Fuzz(const char* testName, int target, std::uint64_t testSeed) {
  const char* override = std::getenv("TAMBRIL_MUTATION_CASES");
  const int cases =
      override != nullptr && std::atoi(override) > 0 ? std::atoi(override) : kDefaultCases;
  const std::vector<std::string> netlistNames = {"circuit.net", "./c.net", "nets/in put.net"};
  TempDir scratch;
  int accepted = 0, rejected = 0, violations = 0, hangs = 0, index = 0;
  for (; index < cases && violations < 20 && hangs == 0; ++index) {
    // Each case has a seed of its own, so that it can be regenerated alone.
    const std::uint64_t seed = Rng{testSeed ^ (0xD1B54A32D192ED03ull * (index + 1ull))}.Next();
    Rng rng{seed};
    const Base& library = rng.Pick(Bases(true));
    const Base& netlist = rng.Pick(Bases(false));
    std::string libraryText = library.text, netlistText = netlist.text;
    std::string about =
        "seed " + std::to_string(seed) + "; library " + library.name + ", netlist " + netlist.name;
    for (int pass = 0, count = 1 + static_cast<int>(rng.Below(3)); pass < count; ++pass) {
      if (target & 1) about += "; param.txt: " + MutateOnce(rng, libraryText);
      if (target & 2) about += "; netlist: " + MutateOnce(rng, netlistText);
    }
    // A mutation may undo itself or reach another valid input: judge by the bytes.
    auto changed = [](bool libraries, const std::string& text) {
      const std::vector<Base>& bases = Bases(libraries);
      return std::none_of(bases.begin(), bases.end(),
                          [&](const Base& b) { return b.text == text; });
    };
    const bool libraryChanged = changed(true, libraryText),
               netlistChanged = changed(false, netlistText);
    const std::string netlistName = rng.Pick(netlistNames);
    const Case c{{{"param.txt", libraryText}, {netlistName, netlistText}},
                 {netlistName, kResultName, "1", "1"},
                 rng.Below(4) == 0};

    const std::string work = scratch.File("work");
    fs::remove_all(work);
    RunResult run;
    std::vector<std::string> problems = RunCase(work, c, run);
    std::string subject;
    const char kind = ErrorKind(run.err, &subject);
    if (run.exitCode == 1 && (!libraryChanged && !netlistChanged))
      problems.push_back("valid input");
    if (kind == 'F') problems.push_back("File Error although every file exists");
    if (kind == 'P' && !(subject == "param.txt" && libraryChanged) &&
        !(subject == netlistName && netlistChanged)) {
      problems.push_back("Format Error names no changed input file as given");
    }
    if (problems.empty()) {
      (run.exitCode == 0 ? accepted : rejected)++;
      continue;
    }
    ++violations;
    hangs += run.exitCode == 128 + 24;  // each costs the whole CPU limit: one is enough
    std::string message =
        about + "\nexit " + std::to_string(run.exitCode) + ", stderr \"" + Escape(run.err) + "\"";
    for (const std::string& problem : problems) message += "\n  - " + problem;
    const std::string name = testName + ("_case" + std::to_string(index));
    ADD_FAILURE() << name << " violates the contract:\n"
                  << message << "\ninputs kept in " << Keep(name, c, run, message);
  }
  EXPECT_EQ(index, cases) << "stopped early: " << violations << " violations, " << hangs
                          << " hangs";
  EXPECT_GT(accepted, 0) << "no mutated input was accepted";
  EXPECT_GT(rejected, 0) << "no mutated input was rejected";
  std::printf("[ %s ] seed %llx, %d cases: %d accepted, %d rejected, %d violations\n", testName,
              static_cast<unsigned long long>(testSeed), index, accepted, rejected, violations);
}

TEST(MutationFuzz, Library) { Fuzz("library", 1, 0x7A3B1C0DE5EEDull); }
TEST(MutationFuzz, Netlist) { Fuzz("netlist", 2, 0x5EED0F7A3B11ull); }
TEST(MutationFuzz, Both) { Fuzz("both", 3, 0xB0757A3B1C0Dull); }

// Fixed cases, one per error class, and the valid inputs: each runs in a fresh directory,
// keeps the contract and ends with exactly the expected standard error (a regular expression;
// empty for a success).
std::string Err(const std::string& kind, const std::string& subject) {
  if (kind == "Data") return QuoteRegex("Data Error: [" + subject + "] could not be read\n");
  if (kind == "File") return QuoteRegex("File Error: " + subject + " could not be opened\n");
  if (kind == "Format") return QuoteRegex("Format Error: " + subject + " could not be parsed\n");
  return "(File|Format) Error: " + QuoteRegex(subject) + " could not be (opened|parsed)\n";
}

TEST(MutationRegression, FixedCases) {
  const std::string lib = kLibrary, head = "name\tinputs\tcin\tr\tcout\tg\tp\n";
  const std::string four = "4 0 0 1 4\npri 1 0\npri 1 0\n";  // then nodes 3 and 4
  const std::string po = "po INV 0 1 3 0 0\n", nand = "NAND 1 2 1 0 0 2 0 0\n";
  const std::string net = "circuit.net", param = "param.txt";
  struct Row {
    std::vector<std::pair<std::string, std::string>> files;
    std::string err;
    std::string result = kResultName;
  };
  std::vector<Row> rows = {
      {{{net, kSmall}}, Err("File", param)},
      {{{param, lib}}, Err("File", net)},
      {{{param, lib}, {net, kSmall}}, Err("File", "absent/out.txt"), "absent/out.txt"},
      {{{param, lib}, {net + "/", ""}}, Err("", net)},
      {{{param + "/", ""}, {net, kSmall}}, Err("", param)},
      {{{param, ""}, {net, kSmall}}, Err("Format", param)},
      {{{param, head + "INV\t1\t0.01\t1.7e-10\t0.01\t1\n"}, {net, kSmall}}, Err("Format", param)},
      {{{param, head + "INVERTER10\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"}, {net, kSmall}},
       Err("Format", param)},
      {{{param, lib + "INVERTER9\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"},
        {net, four + nand + "po INVERTER9 0 1 3 0 0\n"}},
       ""},
      {{{param, lib}, {net, ""}}, Err("Format", net)},
      {{{param, lib}, {net, "4 0 0 1 5\npri 1 0\npri 1 0\n" + nand + po}}, Err("Format", net)},
      {{{param, lib}, {net, "4 0 0 1 4\npri 2 0\npri 1 0\n" + nand + po}}, Err("Format", net)},
      {{{param, lib}, {net, four + "NAND 1 2 1 0 0 5 0 0\n" + po}}, Err("Format", net)},
      {{{param, lib}, {net, four + "NAND 1 2 1 0 0 2 0\n" + po}}, Err("Format", net)},
      {{{param, lib}, {net, "4 0 0 1 4\npri 1 0\nNAND 1 2 1 0 0 3 0 0\nINV 2 1 2 0 0\n" + po}},
       Err("Format", net)},
      {{{param, lib}, {net, four + "XOR 1 2 1 0 0 2 0 0\n" + po}}, Err("Data", "XOR")},
      {{{param, lib}, {net, four + nand + "po INV 0 2 3 0 0 3 0 0\n"}}, Err("Data", "INV")},
      {{{param, lib}, {net, four + "Output 1 2 1 0 0 2 0 0\n" + po}}, Err("Data", "Output")},
  };
  for (const Base& library : Bases(true)) {  // every pair of valid inputs succeeds
    for (const Base& netlist : Bases(false))
      rows.push_back({{{param, library.text}, {net, netlist.text}}, ""});
  }
  for (const Row& row : rows) {
    for (bool oldResult : {false, true}) {
      SCOPED_TRACE("row " + std::to_string(&row - rows.data()) +
                   (oldResult ? ", older result" : ""));
      TempDir scratch;
      RunResult run;
      const Case c{row.files, {net, row.result, "1", "1"}, oldResult};
      EXPECT_EQ(RunCase(scratch.path(), c, run), std::vector<std::string>{});
      EXPECT_EQ(run.exitCode, row.err.empty() ? 0 : 1);
      EXPECT_TRUE(std::regex_match(run.err, std::regex(row.err))) << Escape(run.err);
    }
  }
}

}  // namespace
