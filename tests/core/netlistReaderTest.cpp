// Large netlists are read in blocks of lines shared among the threads: what is read, and which
// error is reported, must not depend on the thread count or on where the blocks fall. The
// generated netlist spans thousands of blocks, so that two and three threads split it.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "input/libraryReader.h"
#include "input/netlistReader.h"
#include "io/error.h"
#include "io/reporter.h"
#include "testSupport.h"
#include "util/parallel.h"

namespace tambril::test {
namespace {

class Silent : public Reporter {
 public:
  void Progress(std::string_view) override {}
  void Warning(std::string_view) override {}
};

// Everything the reader sets, one line per record.
std::string Describe(const NetlistHeader& header, const std::vector<PartType>& parts) {
  std::string text = std::to_string(header.nodeLineCount) + "\n";
  char buffer[64];
  const auto number = [&](double value) {
    std::snprintf(buffer, sizeof buffer, " %a", value);
    text += buffer;
  };
  for (const PartType& part : parts) {
    const CGate& g = part.gate;
    text += std::to_string(g.id) + " " + g.name + " " + std::to_string(g.fanOutCount) + " " +
            std::to_string(g.fanInCount) + " " + std::to_string(g.isPrimaryOutput);
    for (double value : {g.unitInputCap, g.unitResistance, g.unitOutputCap, g.minSize, g.maxSize})
      number(value);
    for (const PartInfo& in : part.fanIns) {
      text += " " + std::to_string(in.node) + "/" + std::to_string(in.pin);
      number(in.connValue1);
      number(in.connValue2);
    }
    text += " " + std::to_string(g.lambdas.size()) + " " + std::to_string(g.inputArrivals.size());
    text += "\n";
  }
  return text;
}

TEST(NetlistReader, EveryThreadCountReadsTheSameAndReportsTheEarliestError) {
  TempDir dir;
  std::vector<CGateType> types;
  Silent silent;
  ReadLibrary(RepoPath("examples/param.txt"), types, silent);

  std::vector<std::string> generated;
  {
    const std::string text = RandomNetlist(40000, 3);
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      generated.push_back(text.substr(at, end - at));
      at = end + 1;
    }
  }
  const size_t nodes = generated.size() - 1;
  ASSERT_GT(nodes, 30000u);
  // A gate line in the first blocks and one in the last ones.
  size_t early = 100, late = nodes - 100;
  while (generated[early].rfind("pri", 0) == 0) ++early;
  while (generated[late].rfind("pri", 0) == 0) ++late;
  const auto unknownType = [](std::string& line) { line.replace(0, line.find(' '), "FOO"); };
  const auto truncated = [](std::string& line) { line.resize(line.rfind(' ')); };

  struct Case {
    const char* name;
    std::function<void(std::vector<std::string>&)> edit;
    std::string trailer;  // after the last line end
    const char* error;    // the message, or "" when the file reads
    bool lastLineEnd;     // false: the file ends without one
  };
  const std::string dataError = "Data Error: [FOO] could not be read";
  const Case cases[] = {
      {"as generated", [](std::vector<std::string>&) {}, "", "", true},
      {"blank lines after the node lines", [](std::vector<std::string>&) {}, "\n  \n\n", "", true},
      {"a line longer than many blocks",
       [&](std::vector<std::string>& lines) { lines.at(nodes / 2) += std::string(5000, ' '); }, "",
       "", true},
      {"last line without its line end", [](std::vector<std::string>&) {}, "", "", false},
      {"unknown type early, a token missing late",
       [&](std::vector<std::string>& lines) {
         unknownType(lines.at(early));
         truncated(lines.at(late));
       },
       "", dataError.c_str(), true},
      {"a token missing early, unknown type late",
       [&](std::vector<std::string>& lines) {
         truncated(lines.at(early));
         unknownType(lines.at(late));
       },
       "", "Format Error", true},
      {"text after the node lines", [](std::vector<std::string>&) {}, "0 0\n", "Format Error",
       true},
      {"one node line too few, unknown type late",
       [&](std::vector<std::string>& lines) {
         lines.at(0) =
             lines.at(0).substr(0, lines.at(0).rfind(' ') + 1) + std::to_string(nodes + 1);
         unknownType(lines.at(late));
       },
       "", dataError.c_str(), true},
      {"one node line too few", [&](std::vector<std::string>& lines) { lines.pop_back(); }, "",
       "Format Error", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines = generated;
    c.edit(lines);
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    if (!c.lastLineEnd) text.pop_back();
    text += c.trailer;
    WriteFile(dir.File("c.net"), text);
    std::string first;
    for (int threads : {1, 2, 3}) {
      SetThreadCount(threads);
      NetlistHeader header;
      std::vector<PartType> parts;
      std::string outcome;
      try {
        ReadNetlist(dir.File("c.net"), types, header, parts);
        outcome = Describe(header, parts);
        EXPECT_EQ(parts.size(), nodes) << threads << " threads";
      } catch (const Error& error) {
        outcome = error.what();
        EXPECT_EQ(outcome.rfind(c.error, 0), 0u) << threads << " threads: " << outcome;
      }
      EXPECT_EQ(*c.error == '\0', outcome.find("Error") == std::string::npos) << outcome;
      if (first.empty()) first = outcome;
      EXPECT_TRUE(outcome == first) << threads << " threads differ from one";
    }
  }
  SetThreadCount(1);
}

}  // namespace
}  // namespace tambril::test
