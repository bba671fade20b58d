// The netlist reader and the circuit graph it builds (CNetlist::InputNetlist): the header, the
// three forms of node lines, binding to library rows, the "Input" and "Output" pseudo-nodes,
// the fan-out mirror, the walk orders, and every way a netlist is refused.
#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "model/netlist.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using tambril_test::QuoteRegex;
using tambril_test::TempDir;
using tambril_test::WriteFile;

// Key-2 NAND appears twice: a gate binds to the first. The reserved names have rows too, to
// show that no gate binds to them, and so have fan-in counts of 0 and -1.
const char kLibrary[] =
    "Name\tInputs\tCin\tR\tCout\tV4\tV5\n"
    "NAND\t2\t0.003\t1e-8\t0.002\t0\t0\nNAND\t3\t0.004\t1.2e-8\t0.0025\t0\t0\n"
    "INV\t1\t0.002\t8e-9\t0.0015\t0\t0\nNAND\t2\t0.009\t9e-8\t0.009\t0\t0\n"
    "NOR\t2\t0.005\t2e-8\t0.0035\t0\t0\nABCDEFGHI\t1\t0.006\t3e-8\t0.0045\t0\t0\n"
    "pri\t0\t0.007\t4e-8\t0.0055\t0\t0\npri\t1\t0.007\t4e-8\t0.0055\t0\t0\n"
    "Input\t1\t0.008\t5e-8\t0.0065\t0\t0\nOutput\t1\t0.008\t5e-8\t0.0065\t0\t0\n"
    "ZERO\t0\t0.001\t1e-8\t0.001\t0\t0\nZERO\t-1\t0.001\t1e-8\t0.001\t0\t0\n";

const char kWorkedExample[] =
    "4 0 0 1 4\npri 1 0\npri,1,0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n";

using Links = std::vector<std::pair<int, int>>;  // (node, pin)

Links LinksOf(const std::vector<PartInfo>& infos) {
  Links links;
  for (const PartInfo& info : infos) links.emplace_back(info.node, info.pin);
  return links;
}

// Everything the reader sets, as text, to compare two readings.
std::string Describe(const CNetlist& net) {
  std::ostringstream text;
  text.precision(17);
  auto links = [&](const char* what, const std::vector<PartInfo>& infos) {
    text << what;
    for (const PartInfo& p : infos)
      text << " (" << p.node << ',' << p.pin << ',' << p.connValue1 << ',' << p.connValue2 << ')';
  };
  text << "header " << net.circuitSize << ' ' << net.headerValue2 << ' ' << net.headerValue3 << ' '
       << net.outputCount << ' ' << net.nodeLineCount << " parts " << net.partCount << '\n';
  for (const PartType& part : net.parts) {
    const CGate& g = part.gate;
    text << g.id << " '" << g.Name() << "' in " << g.fanInCount << " out " << g.fanOutCount
         << " po " << g.isPrimaryOutput << " r " << g.unitResistance << " cin " << g.unitInputCap
         << " cout " << g.unitOutputCap << " lambdas";
    for (double v : g.lambdas) text << ' ' << v;
    text << " arrivals";
    for (double v : g.inputArrivals) text << ' ' << v;
    links(" fanIns", part.fanIns);
    links(" fanOuts", part.fanOuts);
    text << '\n';
  }
  text << "forward";
  for (int id : net.forwardOrder) text << ' ' << id;
  text << "\nreverse";
  for (int id : net.reverseOrder) text << ' ' << id;
  return text.str();
}

class NetlistReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The child of a death test continues from the parent's state, so it sees the same paths.
    GTEST_FLAG_SET(death_test_style, "fast");
    WriteFile(libraryPath(), kLibrary);
  }

  // Reads the library and `text` as the netlist into `net`.
  void Read(CNetlist& into, const std::string& text) {
    WriteFile(netlistPath(), text);
    ::testing::internal::CaptureStdout();
    into.BuildDB(libraryPath().c_str());
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    into.InputNetlist(netlistPath().c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  }
  void Read(const std::string& text) { Read(net, text); }

  // Reading `text` (when given) as the netlist at `path` ends the process with status 1 and
  // `line` on standard error.
  void ExpectExit(const std::string* text, const std::string& line, std::string path = "") {
    if (path.empty()) path = netlistPath();
    if (text != nullptr) WriteFile(path, *text);
    EXPECT_EXIT(
        {
          std::freopen("/dev/null", "w", stdout);
          CNetlist other;
          other.BuildDB(libraryPath().c_str());
          other.InputNetlist(path.c_str());
        },
        ::testing::ExitedWithCode(1), "^" + QuoteRegex(line) + "\n$");
  }

  const PartType& Node(int id) const { return net.parts.at(id - 1); }

  std::string libraryPath() const { return dir.File("param.txt"); }
  std::string netlistPath() const { return dir.File("circuit.net"); }

  TempDir dir;
  CNetlist net;
};

TEST_F(NetlistReaderTest, WorkedExample) {
  Read(kWorkedExample);
  EXPECT_EQ(net.circuitSize, 4);
  EXPECT_EQ(net.outputCount, 1);
  EXPECT_EQ(net.nodeLineCount, 4);
  EXPECT_EQ(net.length(), 6);
  ASSERT_EQ(net.parts.size(), 6u);
  const char* names[] = {"pri", "pri", "NAND", "INV", "Input", "Output"};
  const Links fanIns[] = {{{5, 0}}, {{5, 0}}, {{1, 0}, {2, 1}}, {{3, 0}}, {}, {{4, 0}}};
  const Links fanOuts[] = {{{3, 0}}, {{3, 1}}, {{4, 0}}, {{6, 0}}, {{1, 0}, {2, 0}}, {}};
  // Inputs are driven by "Input" through the driver resistance and bound to no row; gates
  // carry the first row whose key is their fan-in count; "Output" holds the output load.
  const double resistance[] = {5000.0, 5000.0, 1e-8, 8e-9, 0.0, 0.0};
  const double inputCap[] = {0.0, 0.0, 0.003, 0.002, 0.0, CNetlist().outputLoad};
  const double outputCap[] = {0.0, 0.0, 0.002, 0.0015, 0.0, 0.0};
  for (int id = 1; id <= 6; ++id) {
    SCOPED_TRACE(id);
    const CGate& gate = Node(id).gate;
    EXPECT_EQ(gate.id, id);
    EXPECT_EQ(gate.Name(), names[id - 1]);
    EXPECT_EQ(LinksOf(Node(id).fanIns), fanIns[id - 1]);
    EXPECT_EQ(LinksOf(Node(id).fanOuts), fanOuts[id - 1]);
    // The counts match the links ("Output" adds one fan-out to node 4), every fan-in has a
    // multiplier of -1 and an arrival of 0.
    EXPECT_EQ(gate.fanInCount, static_cast<int>(fanIns[id - 1].size()));
    EXPECT_EQ(gate.fanOutCount, static_cast<int>(fanOuts[id - 1].size()));
    EXPECT_EQ(gate.lambdas, std::vector<double>(fanIns[id - 1].size(), -1.0));
    EXPECT_EQ(gate.inputArrivals, std::vector<double>(fanIns[id - 1].size(), 0.0));
    EXPECT_EQ(gate.isPrimaryOutput, id == 4 ? 1 : 0);
    EXPECT_EQ(gate.unitResistance, resistance[id - 1]);
    EXPECT_EQ(gate.unitInputCap, inputCap[id - 1]);
    EXPECT_EQ(gate.unitOutputCap, outputCap[id - 1]);
  }
  EXPECT_EQ(net.forwardOrder, (std::vector<int>{5, 2, 1, 3, 4, 6}));
  EXPECT_EQ(net.reverseOrder, (std::vector<int>{6, 4, 3, 1, 2, 5}));
}

TEST_F(NetlistReaderTest, SeparatorsAndLineEndsReadLikeThePlainForm) {
  Read(kWorkedExample);
  const std::string plain = Describe(net);
  const char* variants[] = {
      "4 0 0 1 4\n,pri,,1  0,\n  pri , 1 , 0\nNAND  ,1,,2 ,1,0,0,,2,0,0,\npo,INV,0,1,3,0,0",
      "  4\t0  0\t1 4\npri 1 0\npri 1 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n",
      // A carriage return ends no token, but numbers read up to it.
      "4 0 0 1 4\r\npri 1 0\r\npri 1 0\r\nNAND 1 2 1 0 0 2 0 0\r\npo INV 0 1 3 0 0\r\n",
      // Lines after the last node line, and tokens after the last triple, are never read.
      "4 0 0 1 4\npri 1 0 9 9\npri 1 0 junk\nNAND 1 2 1 0 0 2 0 0 5\npo INV 0 1 3 0 0 x\nXOR 1\n",
  };
  for (const char* text : variants) {
    SCOPED_TRACE(text);
    CNetlist other;
    Read(other, text);
    EXPECT_EQ(Describe(other), plain);
  }
}

TEST_F(NetlistReaderTest, HeaderNumbers) {
  struct Case {
    const char* header;
    int values[5];
  };
  const Case cases[] = {
      {"7 8 9 2", {7, 8, 9, 2, 0}},  // missing numbers stay 0
      {"", {0, 0, 0, 0, 0}},
      {"x 1 2 3 4", {0, 0, 0, 0, 0}},
      {"7,8,9,2,4", {7, 0, 0, 0, 0}},  // a comma ends the conversion
      {"7 8 9x 2 4", {7, 8, 9, 0, 0}},
      {"-7 +8 9 2 0 5", {-7, 8, 9, 2, 0}},
      {"7 8 9 2 -3", {7, 8, 9, 2, -3}},  // no node lines
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    CNetlist other;
    // Node lines that the header does not announce are never read: only the pseudo-nodes.
    Read(other, std::string(c.header) + "\nXOR 1 2\n\n");
    EXPECT_EQ(other.circuitSize, c.values[0]);
    EXPECT_EQ(other.headerValue2, c.values[1]);
    EXPECT_EQ(other.headerValue3, c.values[2]);
    EXPECT_EQ(other.outputCount, c.values[3]);
    EXPECT_EQ(other.nodeLineCount, c.values[4]);
    ASSERT_EQ(other.partCount, 2);
    EXPECT_EQ(other.parts[0].gate.Name(), "Input");
    EXPECT_EQ(other.parts[1].gate.Name(), "Output");
    EXPECT_EQ(other.forwardOrder, (std::vector<int>{2, 1}));
    EXPECT_EQ(other.reverseOrder, (std::vector<int>{1, 2}));
  }
}

TEST_F(NetlistReaderTest, MultiPinDanglingAndPrimaryOutputsThatDriveGates) {
  Read(
      "5 0 0 3 5\n"
      "pri 3 0\n"
      "po INV 2 1 1 0 0\n"
      "NAND 1 2 1 0 0 1 0 0\n"
      "po NAND 0 2 2 0 0 3 0 0\n"
      "INV 0 1 2 0 0\n");
  const Links fanOuts[] = {
      {{2, 0}, {3, 0}, {3, 1}}, {{4, 0}, {5, 0}, {7, 0}}, {{4, 1}}, {{7, 1}}, {}, {{1, 0}}};
  for (int id = 1; id <= 6; ++id) EXPECT_EQ(LinksOf(Node(id).fanOuts), fanOuts[id - 1]) << id;
  EXPECT_EQ(Node(2).gate.fanOutCount, 3);
  EXPECT_EQ(LinksOf(Node(3).fanIns), (Links{{1, 0}, {1, 1}}));
  EXPECT_EQ(LinksOf(Node(7).fanIns), (Links{{2, 0}, {4, 1}}));
  // The gate that drives nothing goes in the first pass, before "Output".
  EXPECT_EQ(net.reverseOrder, (std::vector<int>{5, 7, 4, 2, 3, 1, 6}));
  EXPECT_EQ(net.forwardOrder, (std::vector<int>{6, 1, 3, 2, 4, 7, 5}));
}

TEST_F(NetlistReaderTest, BindsTheRowOfTheFanInCount) {
  Read(
      "5 0 0 3 5\npri 4 0\npri 2 0\npo NAND 0 3 1 0 0 2 0 0 1 0 0\npo NOR 0 2 2 0 0 1 0 0\n"
      "po ABCDEFGHI 0 1 1 0 0\n");
  EXPECT_EQ(Node(3).gate.unitInputCap, 0.004);
  EXPECT_EQ(Node(3).gate.unitResistance, 1.2e-8);
  EXPECT_EQ(Node(3).gate.unitOutputCap, 0.0025);
  EXPECT_EQ(Node(4).gate.unitResistance, 2e-8);
  EXPECT_EQ(Node(5).gate.unitInputCap, 0.006);
}

TEST_F(NetlistReaderTest, MissingFileIsAFileError) {
  const std::string missing = dir.File("absent.net");
  ExpectExit(nullptr, "File Error: " + missing + " could not be opened", missing);
}

// One row per check of the reader; a null type means a format error of the netlist.
const struct {
  const char* what;
  std::string text;
  const char* dataErrorType;
} kBadNetlists[] = {
    {"no header", "", nullptr},
    {"too few node lines", "2 0 0 1 3\npri 1 0\npo INV 0 1 1 0 0\n", nullptr},
    // A blank line is a node line too: the circuit after it would be complete otherwise.
    {"blank node line", "2 0 0 1 2\npri 1 0\n\npo INV 0 1 1 0 0\n", nullptr},
    {"type alone", "2 0 0 1 2\npri 1 0\nINV\n", nullptr},
    {"no fan-in count", "2 0 0 1 2\npri 1 0\nINV 0\n", nullptr},
    {"po alone", "2 0 0 1 2\npri 1 0\npo\n", nullptr},
    {"no triples", "3 0 0 1 3\npri 2 0\nNAND 1 2\npo INV 0 1 2 0 0\n", nullptr},
    {"last triple short by one", "3 0 0 1 3\npri 2 0\npo NAND 0 2 1 0 0 1 0\n", nullptr},
    {"carriage return joins tokens", "3 0 0 1 3\npri 2 0\npo NAND 0 2 1 0 0 1\r0 0\n", nullptr},
    {"long po type", "2 0 0 1 2\npri 1 0\npo ABCDEFGHIJ 0 1 1 0 0\n", nullptr},
    {"long name before a data error", "3 0 0 1 3\npri 1 0\nABCDEFGHIJ 1 1 1 0 0\nXOR 0 1 2 0 0\n",
     nullptr},
    {"NUL in a name", "2 0 0 1 2\npri 1 0\npo INV\0 0 1 1 0 0\n"s, nullptr},
    // Driver ids outside 1..N (N + 1 would be "Input").
    {"driver 0", "2 0 0 1 2\npri 0 0\npo INV 0 1 0 0 0\n", nullptr},
    {"driver N+1", "2 0 0 1 2\npri 0 0\npo INV 0 1 3 0 0\n", nullptr},
    {"pri with a fan-in",
     "4 0 0 1 4\npri 1 1 2 0 0\npri 2 0\nNAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n", nullptr},
    {"pri with a negative fan-in count", "2 0 0 1 2\npri 1 -1\npo INV 0 1 1 0 0\n", nullptr},
    // Fan-out counts that disagree with the connections.
    {"fan-out count too high", "2 0 0 1 2\npri 2 0\npo INV 0 1 1 0 0\n", nullptr},
    {"fan-out count too low", "2 0 0 1 2\npri 0 0\npo INV 0 1 1 0 0\n", nullptr},
    {"negative fan-out count", "2 0 0 1 2\npri 1 0\nINV -1 1 1 0 0\n", nullptr},
    {"multi-pin driver counted once",
     "3 0 0 1 3\npri 1 0\nNAND 1 2 1 0 0 1 0 0\npo INV 0 1 2 0 0\n", nullptr},
    // Cycles, with every count right.
    {"self loop", "3 0 0 1 3\npri 1 0\nNAND 2 2 1 0 0 2 0 0\npo INV 0 1 2 0 0\n", nullptr},
    {"cycle that reaches no output",
     "4 0 0 1 4\npri 2 0\nNAND 1 2 1 0 0 3 0 0\nINV 1 1 2 0 0\npo INV 0 1 1 0 0\n", nullptr},
    // Gates that cannot be bound to a library row.
    {"unknown type", "3 0 0 1 3\npri 2 0\npo XOR 0 2 1 0 0 1 0 0\n", "XOR"},
    {"type in another case", "3 0 0 1 3\npri 2 0\npo nand 0 2 1 0 0 1 0 0\n", "nand"},
    {"tab is no separator", "3 0 0 1 3\npri 2 0\npo NAND\t0 2 1 0 0 1 0 0\n", "NAND\t0"},
    // ZERO has rows for 0 and -1 inputs, which no gate may use.
    {"fan-in count 0", "2 0 0 1 2\npri 0 0\npo ZERO 0 0\n", "ZERO"},
    {"fan-in count -1", "2 0 0 1 2\npri 0 0\npo ZERO 0 -1\n", "ZERO"},
    {"no row for the fan-in count", "2 0 0 1 2\npri 1 0\npo NAND 0 1 1 0 0\n", "NAND"},
    {"no row that large", "2 0 0 1 2\npri 4 0\npo NAND 0 4 1 0 0 1 0 0 1 0 0 1 0 0\n", "NAND"},
    {"unknown type without triples", "2 0 0 1 2\npri 1 0\nXOR 1 2\n", "XOR"},
    {"gate named Input", "2 0 0 1 2\npri 1 0\nInput 0 1 1 0 0\n", "Input"},
    {"gate named Output", "2 0 0 1 2\npri 1 0\nOutput 0 1 1 0 0\n", "Output"},
    {"po pri", "2 0 0 1 2\npri 1 0\npo pri 1 1 1 0 0\n", "pri"},
    // Every line is read before the connections are checked, and lines in file order.
    {"data error after a bad count", "3 0 0 1 3\npri 5 0\npri 1 0\npo XOR 0 1 2 0 0\n", "XOR"},
    {"data error after a bad driver", "3 0 0 1 3\npri 1 0\nINV 0 1 9 0 0\nXOR 0 1 1 0 0\n", "XOR"},
    {"first of two data errors", "3 0 0 1 3\npri 2 0\nXOR 1 1 1 0 0\nXNOR 0 1 1 0 0\n", "XOR"},
    {"data error before missing lines", "3 0 0 1 5\npri 2 0\nXOR 1 1 1 0 0\n", "XOR"},
    {"format error before a data error", "3 0 0 1 3\npri\nXOR 1 1 1 0 0\n", nullptr},
};

TEST_F(NetlistReaderTest, RefusedNetlists) {
  for (const auto& bad : kBadNetlists) {
    SCOPED_TRACE(bad.what);
    ExpectExit(&bad.text,
               bad.dataErrorType == nullptr
                   ? "Format Error: " + netlistPath() + " could not be parsed"
                   : "Data Error: [" + std::string(bad.dataErrorType) + "] could not be read");
  }
}

// Random circuits, written with random separators, read back and checked link by link against
// the description they were written from.
TEST_F(NetlistReaderTest, RandomCircuitsReadBackExactly) {
  std::mt19937 random(20240607);
  const char* separators[] = {" ", ",", "  ", " , ", ",,", " ,"};
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const int n = 1 + pick(40);
    // A random rank per id; drivers always rank below their receivers.
    std::vector<int> byRank(n);
    for (int k = 0; k < n; ++k) byRank[k] = k + 1;
    std::shuffle(byRank.begin(), byRank.end(), random);
    std::vector<int> rank(n + 1);
    for (int r = 0; r < n; ++r) rank[byRank[r]] = r;
    const int primaries = 1 + pick(std::min(n, 4));

    struct Line {
      bool pri = false;
      bool po = false;
      std::string type;
      std::vector<int> drivers;
      std::vector<std::pair<double, double>> values;
    };
    std::vector<Line> lines(n + 1);
    std::vector<int> fileFanOut(n + 1, 0);
    for (int id = 1; id <= n; ++id) {
      Line& line = lines[id];
      if (rank[id] < primaries) {
        line.pri = true;
        continue;
      }
      const int inputs = 1 + pick(3);
      line.type = inputs == 1 ? "INV" : inputs == 3 ? "NAND" : pick(2) ? "NAND" : "NOR";
      line.po = pick(3) == 0;
      for (int pin = 0; pin < inputs; ++pin) {
        const int driver = byRank[pick(rank[id])];
        line.drivers.push_back(driver);
        line.values.emplace_back(pick(100) / 4.0, -pick(100) / 8.0);
        ++fileFanOut[driver];
      }
    }
    std::string text = "99 1 2 3 " + std::to_string(n) + "\n";
    for (int id = 1; id <= n; ++id) {
      const Line& line = lines[id];
      std::vector<std::string> tokens;
      if (line.po) tokens.push_back("po");
      tokens.push_back(line.pri ? "pri" : line.type);
      tokens.push_back(std::to_string(fileFanOut[id]));
      tokens.push_back(std::to_string(line.drivers.size()));
      for (size_t pin = 0; pin < line.drivers.size(); ++pin) {
        tokens.push_back(std::to_string(line.drivers[pin]));
        tokens.push_back(std::to_string(line.values[pin].first));
        tokens.push_back(std::to_string(line.values[pin].second));
      }
      if (pick(2)) text += separators[pick(6)];
      for (size_t t = 0; t < tokens.size(); ++t) {
        if (t > 0) text += separators[pick(6)];
        text += tokens[t];
      }
      text += "\n";
    }

    CNetlist read;
    Read(read, text);
    if (HasFatalFailure()) return;
    ASSERT_EQ(read.partCount, n + 2);
    ASSERT_EQ(read.parts.size(), static_cast<size_t>(n + 2));
    EXPECT_EQ(read.nodeLineCount, n);
    const int source = n + 1;
    const int sink = n + 2;

    // The expected links: receivers' fan-ins, then their mirror sorted by receiver and pin.
    std::vector<Links> fanIns(n + 3), fanOuts(n + 3);
    for (int id = 1; id <= n; ++id) {
      if (lines[id].pri) fanIns[id].emplace_back(source, 0);
      for (size_t pin = 0; pin < lines[id].drivers.size(); ++pin) {
        fanIns[id].emplace_back(lines[id].drivers[pin], static_cast<int>(pin));
      }
    }
    int sinkPin = 0;
    for (int id = 1; id <= n; ++id) {
      if (lines[id].po) fanIns[sink].emplace_back(id, sinkPin++);
    }
    for (int receiver = 1; receiver <= sink; ++receiver) {
      for (const auto& [driver, pin] : fanIns[receiver])
        fanOuts[driver].emplace_back(receiver, pin);
    }

    for (int id = 1; id <= sink; ++id) {
      SCOPED_TRACE(id);
      const PartType& part = read.parts[id - 1];
      EXPECT_EQ(part.gate.id, id);
      EXPECT_EQ(LinksOf(part.fanIns), fanIns[id]);
      EXPECT_EQ(LinksOf(part.fanOuts), fanOuts[id]);
      EXPECT_EQ(part.gate.fanInCount, static_cast<int>(fanIns[id].size()));
      EXPECT_EQ(part.gate.fanOutCount, static_cast<int>(fanOuts[id].size()));
      EXPECT_EQ(part.gate.lambdas, std::vector<double>(fanIns[id].size(), -1.0));
      EXPECT_EQ(part.gate.inputArrivals, std::vector<double>(fanIns[id].size(), 0.0));
      if (id <= n) {
        EXPECT_EQ(part.gate.Name(), lines[id].pri ? "pri" : lines[id].type);
        EXPECT_EQ(part.gate.isPrimaryOutput, lines[id].po ? 1 : 0);
        for (size_t pin = 0; pin < lines[id].drivers.size(); ++pin) {
          const PartInfo& in = part.fanIns.at(pin);
          EXPECT_EQ(in.connValue1, lines[id].values[pin].first);
          EXPECT_EQ(in.connValue2, lines[id].values[pin].second);
        }
      }
      for (const PartInfo& out : part.fanOuts) {  // mirrors carry no connection values
        EXPECT_EQ(out.connValue1, 0.0);
        EXPECT_EQ(out.connValue2, 0.0);
      }
    }
    EXPECT_EQ(read.parts[source - 1].gate.Name(), "Input");
    EXPECT_EQ(read.parts[sink - 1].gate.Name(), "Output");

    // The orders are the sink-removal order of the graph and its reversal.
    std::vector<int> removal;
    EXPECT_TRUE(read.TopologicalSort(read.parts, removal, false));
    EXPECT_EQ(read.reverseOrder, removal);
    std::reverse(removal.begin(), removal.end());
    EXPECT_EQ(read.forwardOrder, removal);
    std::vector<int> position(n + 3, -1);
    for (size_t k = 0; k < read.forwardOrder.size(); ++k) position[read.forwardOrder[k]] = k;
    for (int id = 1; id <= sink; ++id) {
      ASSERT_GE(position[id], 0);
      for (const auto& [driver, pin] : fanIns[id]) EXPECT_LT(position[driver], position[id]);
    }
  }
}

}  // namespace
