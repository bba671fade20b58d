#include "common/namesFile.h"

#include <charconv>
#include <string>

#include "common/lineError.h"
#include "io/text.h"

namespace tambril::tools {
namespace {

constexpr std::string_view kNetSuffix = ".net";

}  // namespace

std::string NamesPathFor(const std::string& netlistPath) {
  const std::string_view path = netlistPath;
  if (path.size() > kNetSuffix.size() &&
      path.substr(path.size() - kNetSuffix.size()) == kNetSuffix) {
    return netlistPath.substr(0, path.size() - kNetSuffix.size()) + ".names";
  }
  return netlistPath + ".names";
}

void AppendNodeName(std::string& text, uint64_t id, std::string_view name) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, id).ptr);
  text += '\t';
  text += name;
  text += '\n';
}

void AppendConstantOutput(std::string& text, bool value, std::string_view name) {
  text += value ? "const1\t" : "const0\t";
  text += name;
  text += '\n';
}

Names ReadNames(std::string_view text, size_t nodes) {
  Names names;
  names.ofNode.resize(nodes);
  LineReader lines(text);
  std::string_view line;
  int number = 0;
  while (lines.Next(line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CR LF line ends
    const size_t tab = line.find('\t');
    const std::string_view key = line.substr(0, tab);
    if (tab != std::string_view::npos && tab + 1 < line.size() &&
        (key == "const0" || key == "const1")) {
      names.constantOutputs.emplace_back(line.substr(tab + 1), key == "const1");
      continue;
    }
    uint64_t id = 0;
    const auto parsed = std::from_chars(key.data(), key.data() + key.size(), id);
    if (tab == std::string_view::npos || key.empty() || parsed.ptr != key.data() + key.size() ||
        parsed.ec != std::errc() || id < 1 || id > nodes || tab + 1 == line.size()) {
      throw LineError{number, "expected 'ID<TAB>NAME' with a node id of the netlist"};
    }
    if (!names.ofNode[id - 1].empty()) {
      throw LineError{number, "node " + std::to_string(id) + " named twice"};
    }
    names.ofNode[id - 1] = std::string(line.substr(tab + 1));
  }
  return names;
}

}  // namespace tambril::tools
