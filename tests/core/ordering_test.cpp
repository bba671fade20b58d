// The sink-removal ordering (CNetlist::TopologicalSort), compared with a plain quadratic
// rendering of the same procedure on hand-made and random graphs.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "model/netlist.h"

namespace {

// The procedure, as plainly as it can be written: passes over the remaining nodes in ascending
// id; a node whose count is 0 when the scan reaches it is removed and takes one count off every
// driver still present; the scan goes on with the node that followed it.
std::vector<int> PlainRemovalOrder(const std::vector<PartType>& nodes, bool& complete) {
  const int n = static_cast<int>(nodes.size());
  std::vector<int> count(n + 1);
  std::vector<bool> present(n + 1, true);
  std::vector<int> working;
  for (int k = 0; k < n; ++k) {
    working.push_back(k + 1);
    count[k + 1] = nodes[k].gate.fanOutCount;
  }
  std::vector<int> order;
  bool removedAny = true;
  while (!working.empty() && removedAny) {
    removedAny = false;
    size_t i = 0;
    while (i < working.size()) {
      const int id = working[i];
      if (count[id] != 0) {
        ++i;
        continue;
      }
      order.push_back(id);
      present[id] = false;
      for (const PartInfo& fanIn : nodes[id - 1].fanIns) {
        const int driver = fanIn.node;
        if (driver >= 1 && driver <= n && present[driver]) --count[driver];
      }
      working.erase(working.begin() + static_cast<long>(i));
      removedAny = true;
    }
  }
  complete = working.empty();
  return order;
}

// A node list with ids 1..n; `drivers[k]` lists the drivers of node k + 1 in pin order.
// Fan-out counts are the number of times each node is named as a driver.
std::vector<PartType> MakeNodes(const std::vector<std::vector<int>>& drivers) {
  const int n = static_cast<int>(drivers.size());
  std::vector<PartType> nodes(n);
  for (int k = 0; k < n; ++k) {
    nodes[k].gate.id = k + 1;
    nodes[k].gate.SetName("G");
    for (size_t pin = 0; pin < drivers[k].size(); ++pin) {
      nodes[k].fanIns.push_back(PartInfo{drivers[k][pin], static_cast<int>(pin), 0.0, 0.0});
    }
    nodes[k].gate.fanInCount = static_cast<int>(drivers[k].size());
  }
  for (int k = 0; k < n; ++k) {
    for (int driver : drivers[k]) {
      if (driver >= 1 && driver <= n) {
        ++nodes[driver - 1].gate.fanOutCount;
        nodes[driver - 1].fanOuts.push_back(PartInfo{k + 1, 0, 0.0, 0.0});
      }
    }
  }
  return nodes;
}

std::vector<int> Sorted(std::vector<int> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Runs TopologicalSort in both directions and compares it with the plain procedure: the same
// order when every node can be removed; otherwise false, with the same nodes ordered.
void ExpectSameAsPlain(const std::vector<PartType>& nodes) {
  bool complete = false;
  const std::vector<int> expected = PlainRemovalOrder(nodes, complete);
  const CNetlist net;
  std::vector<int> reverse = {99, 98};  // whatever was there before is replaced
  EXPECT_EQ(net.TopologicalSort(nodes, reverse, false), complete);
  std::vector<int> forward = {97};
  EXPECT_EQ(net.TopologicalSort(nodes, forward, true), complete);
  if (complete) {
    EXPECT_EQ(reverse, expected);
    EXPECT_EQ(forward, std::vector<int>(expected.rbegin(), expected.rend()));
  } else {
    EXPECT_EQ(Sorted(reverse), Sorted(expected));
    EXPECT_EQ(Sorted(forward), Sorted(expected));
  }
}

// A random DAG of n nodes under a random order of ranks: every driver ranks below its receiver.
// Some nodes have no drivers (sources), some drive nothing, and a driver may feed several pins
// of the same receiver.
std::vector<std::vector<int>> RandomDag(std::mt19937& random, int n) {
  auto pick = [&](int bound) { return static_cast<int>(random() % static_cast<unsigned>(bound)); };
  std::vector<int> byRank(n);
  for (int k = 0; k < n; ++k) byRank[k] = k + 1;
  std::shuffle(byRank.begin(), byRank.end(), random);
  const int style = pick(4);
  const int sources = 1 + pick(std::max(1, n / 5));
  std::vector<std::vector<int>> drivers(n);
  for (int r = sources; r < n; ++r) {
    std::vector<int>& list = drivers[byRank[r] - 1];
    if (style == 0 && pick(6) == 0) continue;  // another source
    const int count = style == 1 ? 1 : 1 + pick(4);
    for (int pin = 0; pin < count; ++pin) {
      int lower;
      if (style == 1) {
        lower = r - 1 - pick(std::min(r, 2));  // long chains: many passes
      } else if (style == 2) {
        lower = pick(std::min(r, 3));  // wide: everything fed by a few early nodes
      } else {
        lower = pick(r);
      }
      list.push_back(byRank[lower]);
      if (pick(5) == 0) list.push_back(byRank[lower]);  // the same driver on the next pin
    }
  }
  return drivers;
}

TEST(OrderingTest, WorkedExample) {
  // pri 1, pri 2, NAND 3 (1, 2), INV 4 (3), "Input" 5 (drives 1, 2), "Output" 6 (4).
  const std::vector<PartType> nodes = MakeNodes({{5}, {5}, {1, 2}, {3}, {}, {4}});
  const CNetlist net;
  std::vector<int> order;
  EXPECT_TRUE(net.TopologicalSort(nodes, order, false));
  EXPECT_EQ(order, (std::vector<int>{6, 4, 3, 1, 2, 5}));
  EXPECT_TRUE(net.TopologicalSort(nodes, order, true));
  EXPECT_EQ(order, (std::vector<int>{5, 2, 1, 3, 4, 6}));
}

TEST(OrderingTest, SmallGraphsByHand) {
  struct Case {
    const char* what;
    std::vector<std::vector<int>> drivers;
    std::vector<int> reverse;
  };
  const Case cases[] = {
      {"no nodes", {}, {}},
      {"one node", {{}}, {1}},
      {"independent nodes", {{}, {}, {}}, {1, 2, 3}},
      // 3 -> 2 -> 1: every removal frees a higher id, all in one pass.
      {"chain toward lower ids", {{2}, {3}, {}}, {1, 2, 3}},
      // 1 -> 2 -> 3: every removal frees a lower id, one node per pass.
      {"chain toward higher ids", {{}, {1}, {2}}, {3, 2, 1}},
      // A driver freed by a lower id is removed later in the same pass.
      {"freed ahead of the scan", {{3}, {}, {}}, {1, 2, 3}},
      {"freed behind the scan", {{}, {}, {1}}, {2, 3, 1}},
      // The same driver on two pins counts twice.
      {"multi-pin", {{}, {1, 1}}, {2, 1}},
      {"diamond", {{}, {1}, {1}, {2, 3}}, {4, 2, 3, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<PartType> nodes = MakeNodes(c.drivers);
    const CNetlist net;
    std::vector<int> order{7};
    EXPECT_TRUE(net.TopologicalSort(nodes, order, false));
    EXPECT_EQ(order, c.reverse);
    EXPECT_TRUE(net.TopologicalSort(nodes, order, true));
    EXPECT_EQ(order, std::vector<int>(c.reverse.rbegin(), c.reverse.rend()));
    ExpectSameAsPlain(nodes);
  }
}

TEST(OrderingTest, CyclesAreRefusedWithTheNodesThatCouldBeOrdered) {
  const CNetlist net;
  std::vector<int> order;
  // 1 -> 2 -> 3 -> 2, 3 -> 4, 4 -> 5: only 4 and 5 can go.
  const std::vector<PartType> cyclic = MakeNodes({{}, {1, 3}, {2}, {3}, {4}});
  EXPECT_FALSE(net.TopologicalSort(cyclic, order, false));
  EXPECT_EQ(Sorted(order), (std::vector<int>{4, 5}));
  EXPECT_FALSE(net.TopologicalSort(cyclic, order, true));
  EXPECT_EQ(Sorted(order), (std::vector<int>{4, 5}));
  ExpectSameAsPlain(cyclic);

  const std::vector<PartType> selfLoop = MakeNodes({{}, {1, 2}, {2}});
  EXPECT_FALSE(net.TopologicalSort(selfLoop, order, false));
  EXPECT_EQ(order, std::vector<int>{3});
  ExpectSameAsPlain(selfLoop);

  const std::vector<PartType> ring = MakeNodes({{3}, {1}, {2}});
  EXPECT_FALSE(net.TopologicalSort(ring, order, true));
  EXPECT_TRUE(order.empty());
}

TEST(OrderingTest, CountsAboveTheConnectionsLeaveNodesBehind) {
  std::vector<PartType> nodes = MakeNodes({{}, {1}, {2}});
  nodes[0].gate.fanOutCount = 2;
  const CNetlist net;
  std::vector<int> order;
  EXPECT_FALSE(net.TopologicalSort(nodes, order, false));
  EXPECT_EQ(Sorted(order), (std::vector<int>{2, 3}));
  EXPECT_FALSE(net.TopologicalSort(nodes, order, true));
  EXPECT_EQ(Sorted(order), (std::vector<int>{2, 3}));
  ExpectSameAsPlain(nodes);
}

TEST(OrderingTest, RandomDagsMatchThePlainProcedure) {
  std::mt19937 random(8675309);
  for (int round = 0; round < 4000; ++round) {
    const int n = 1 + static_cast<int>(random() % (round % 10 == 0 ? 300 : 40));
    const std::vector<PartType> nodes = MakeNodes(RandomDag(random, n));
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(n) + " nodes");
    bool complete = false;
    PlainRemovalOrder(nodes, complete);
    ASSERT_TRUE(complete);
    ExpectSameAsPlain(nodes);
    if (HasFailure()) return;
  }
}

TEST(OrderingTest, RandomCyclicGraphsMatchThePlainProcedure) {
  std::mt19937 random(4242);
  for (int round = 0; round < 1000; ++round) {
    const int n = 2 + static_cast<int>(random() % 40);
    std::vector<std::vector<int>> drivers = RandomDag(random, n);
    // One connection against the ranks closes a cycle through the path it spans, if any.
    const int receiver = 1 + static_cast<int>(random() % n);
    const int driver = 1 + static_cast<int>(random() % n);
    drivers[receiver - 1].push_back(driver);
    const std::vector<PartType> nodes = MakeNodes(drivers);
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectSameAsPlain(nodes);
    if (HasFailure()) return;
  }
}

TEST(OrderingTest, RandomCountsAboveTheConnectionsMatchThePlainProcedure) {
  // Counts that exceed the connections (the reader refuses those, but the ordering must still
  // end and report it).
  std::mt19937 random(1729);
  for (int round = 0; round < 1000; ++round) {
    const int n = 1 + static_cast<int>(random() % 30);
    std::vector<PartType> nodes = MakeNodes(RandomDag(random, n));
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) nodes[random() % n].gate.fanOutCount += 1;
    SCOPED_TRACE("round " + std::to_string(round));
    bool complete = true;
    PlainRemovalOrder(nodes, complete);
    ASSERT_FALSE(complete);
    ExpectSameAsPlain(nodes);
    if (HasFailure()) return;
  }
}

}  // namespace
