#ifndef TAMBRIL_TOOLS_COMMON_NETLISTWRITER_H
#define TAMBRIL_TOOLS_COMMON_NETLISTWRITER_H

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "common/gateTypes.h"

namespace tambril::tools {

// A TAMBRIL netlist as the tools write it: the header "GATES 0 0 OUTPUTS NODES", then one line
// per node in id order, "pri FANOUT 0" for a primary input and "[po ]TYPE FANOUT FANIN" with
// " DRIVER 0 0" per input pin for a gate, single blanks, every line ended by '\n'. The text
// goes to a sink in chunks of about 4 MiB.
class NetlistWriter {
 public:
  using Sink = std::function<void(std::string_view chunk)>;

  explicit NetlistWriter(Sink sink);
  NetlistWriter(const NetlistWriter&) = delete;
  NetlistWriter& operator=(const NetlistWriter&) = delete;

  void Header(uint64_t gates, uint64_t outputs, uint64_t nodes);
  void Input(uint64_t fanout);
  // A gate whose input pins are driven by the nodes drivers[0..count) (ids).
  void Gate(GateType type, bool output, uint64_t fanout, const uint32_t* drivers, size_t count);
  // Hands the text not yet handed over to the sink.
  void Finish();

 private:
  void Put(std::string_view text);
  void PutNumber(uint64_t value);
  void Room(size_t bytes);

  Sink sink_;
  std::vector<char> buffer_;
  char* out_;
};

}  // namespace tambril::tools

#endif
