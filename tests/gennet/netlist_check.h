// An independent reader for the netlist files gennet writes: it checks everything the sizer
// relies on and gathers the numbers the tests compare with the requested shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gennet_test {

struct CheckedNetlist {
  uint32_t gates = 0;
  uint32_t inputs = 0;
  uint32_t outputs = 0;
  uint32_t nodes = 0;
  uint32_t depth = 0;         // gates on the longest input-to-output path
  uint32_t unusedInputs = 0;  // primary inputs that drive nothing
  uint32_t maxFanin = 0;
  uint64_t pins = 0;
  uint32_t drivingOutputs = 0;       // primary outputs that also drive pins
  uint64_t backwardPins = 0;         // pins whose driver has a larger id than the gate
  uint64_t nearPins = 0;             // pins whose driver is at most 4 levels below the gate
  std::vector<uint32_t> fanout;      // by id - 1
  std::vector<uint32_t> faninCount;  // number of gates with each fan-in 0..16
};

// Reads `text`, returns every problem found (empty when the file is valid) and fills `out`.
// A gate may have at most `maxFanin` inputs.
std::vector<std::string> checkNetlist(const std::string& text, uint32_t maxFanin,
                                      CheckedNetlist& out);

}  // namespace gennet_test
