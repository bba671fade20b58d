#include "cli.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "common/commandLine.h"
#include "io/error.h"

namespace tambril::gennet {

const char* const kUsage =
    "usage: gennet --gates N --seed S [--inputs I] [--outputs O] [--max-fanin K]\n"
    "              [--depth D] [-o FILE] [--shape levelized|dag] [--window W]\n"
    "              [--fanin-mix skewed|even] [--types mixed|even|nand-nor|xor-heavy]\n"
    "              [--fanout hubs|even] [--max-fanout F] [--reconvergence P]\n"
    "Writes a random netlist of N gates (1..100000000); the same options and seed\n"
    "give the same file on every platform.\n"
    "  --seed S       0..18446744073709551615\n"
    "  --inputs I     primary inputs, default floor(2*sqrt(N)) (dag: N/20)\n"
    "  --outputs O    exactly O primary outputs (1..N); an error when the gates cannot be\n"
    "                 arranged so; default: every gate that drives nothing, plus one gate\n"
    "                 that drives something for every four of those (dag: N/40)\n"
    "  --max-fanin K  largest gate fan-in, 1..16, default 4\n"
    "  --depth D      gate levels, 1..N, default round(3*log2(N)); the longest path from an\n"
    "                 input to an output crosses exactly D gates (levelized only)\n"
    "  -o FILE        write to FILE instead of standard output\n"
    "  --shape        levelized (default): level by level; dag: gate after gate, each\n"
    "                 reading nodes made before it, O of them left open at a time\n"
    "  --window W     dag: random pins read one of the W nodes made last (default: any)\n"
    "  --fanin-mix    skewed (default): mostly 2 or 3 inputs; even: 1..K alike\n"
    "  --types        mixed (default): NAND, AND, NOR, OR first; even: AND, NAND, OR, NOR,\n"
    "                 XOR, XNOR alike; nand-nor: only those; xor-heavy: half XOR or XNOR\n"
    "  --fanout       hubs: half of the random pins favour a few nodes; even: none do\n"
    "                 (default: hubs levelized, even dag)\n"
    "  --max-fanout F random pins avoid nodes that already drive F pins (1..100000000;\n"
    "                 default none): fan-outs above F are rare\n"
    "  --reconvergence P  P percent (0..100, default 0) of the random pins after a gate's\n"
    "                 first read a driver of the first pin's driver: short reconvergent paths\n"
    "Options also take the form --name=value.\n";

namespace {

struct NumberOption {
  const char* name;
  uint64_t min;
  uint64_t max;
};

bool ParseNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

const std::string kSeeHelp = " (see gennet --help)";

UsageError Usage(const std::string& message) { return UsageError("gennet: " + message + kSeeHelp); }

// An option whose value is one of a few words; `value` is the index of the word.
struct ChoiceOption {
  const char* name;
  std::vector<const char*> words;
};

}  // namespace

Command ParseArgs(int argc, const char* const* argv) {
  Command command;
  enum Slot {
    kGates,
    kSeed,
    kInputs,
    kOutputs,
    kMaxFaninSlot,
    kDepth,
    kMaxFanout,
    kWindow,
    kReconvergence,
    kSlotCount
  };
  static const NumberOption kNumbers[kSlotCount] = {
      {"--gates", 1, kMaxGates},           {"--seed", 0, std::numeric_limits<uint64_t>::max()},
      {"--inputs", 1, kMaxInputs},         {"--outputs", 1, kMaxGates},
      {"--max-fanin", 1, kMaxFanin},       {"--depth", 1, kMaxGates},
      {"--max-fanout", 1, kMaxGates},      {"--window", 1, kMaxGates},
      {"--reconvergence", 0, kMaxPercent},
  };
  enum Choice { kShape, kFaninMix, kTypes, kFanout, kChoiceCount };
  static const ChoiceOption kChoices[kChoiceCount] = {
      {"--shape", {"levelized", "dag"}},
      {"--fanin-mix", {"skewed", "even"}},
      {"--types", {"mixed", "even", "nand-nor", "xor-heavy"}},
      {"--fanout", {"default", "hubs", "even"}},
  };
  // One table for the parser: the numbers, then the choices, then -o.
  std::vector<tools::OptionSpec> table;
  for (const NumberOption& option : kNumbers) table.push_back({option.name, true});
  for (const ChoiceOption& option : kChoices) table.push_back({option.name, true});
  const size_t kOutputFile = table.size();
  table.push_back({"-o", true});
  static const tools::UsageWording kWording = {
      "gennet", "option {} needs a value" + kSeeHelp, "unknown option '{}'" + kSeeHelp,
      "option {} given twice" + kSeeHelp, "unexpected argument '{}'" + kSeeHelp};
  const tools::ParsedCommand parsed = tools::ParseCommandLine(argc, argv, table, 0, kWording);
  if (parsed.help) {
    command.help = true;
    return command;
  }

  uint64_t value[kSlotCount] = {};
  bool given[kSlotCount] = {};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!parsed.Given(slot)) continue;
    const NumberOption& option = kNumbers[slot];
    const std::string& text = parsed.Value(slot);
    if (!ParseNumber(text, value[slot]) || value[slot] < option.min || value[slot] > option.max) {
      throw Usage(std::string(option.name) + " needs an integer from " +
                  std::to_string(option.min) + " to " + std::to_string(option.max) + ", not '" +
                  text + "'");
    }
    given[slot] = true;
  }
  size_t choice[kChoiceCount] = {};
  for (int which = 0; which < kChoiceCount; ++which) {
    if (!parsed.Given(kSlotCount + which)) continue;
    const ChoiceOption& option = kChoices[which];
    const std::string& text = parsed.Value(kSlotCount + which);
    // "default" is not a word the user gives.
    const size_t firstWord = which == kFanout ? 1 : 0;
    size_t found = option.words.size();
    std::string words;
    for (size_t w = firstWord; w < option.words.size(); ++w) {
      if (text == option.words[w]) found = w;
      words += std::string(w > firstWord ? ", " : "") + option.words[w];
    }
    if (found == option.words.size()) {
      throw Usage(std::string(option.name) + " needs one of " + words + ", not '" + text + "'");
    }
    choice[which] = found;
  }
  if (parsed.Given(kOutputFile)) {
    if (parsed.Value(kOutputFile).empty()) throw Usage("option -o needs a file name");
    command.outputPath = parsed.Value(kOutputFile);
  }

  for (Slot required : {kGates, kSeed}) {
    if (!given[required]) {
      throw Usage(std::string("missing ") + kNumbers[required].name);
    }
  }
  const uint64_t gates = value[kGates];
  const bool dag = choice[kShape] == 1;
  if (given[dag ? kDepth : kWindow]) {
    throw Usage(std::string(dag ? "--depth" : "--window") + " does not apply to --shape " +
                kChoices[kShape].words[choice[kShape]]);
  }
  for (Slot bounded : {kOutputs, kDepth}) {
    if (given[bounded] && value[bounded] > gates) {
      throw Usage(std::string(kNumbers[bounded].name) + " " + std::to_string(value[bounded]) +
                  " exceeds --gates " + std::to_string(gates));
    }
  }

  Options& options = command.options;
  options.gates = static_cast<uint32_t>(gates);
  options.seed = value[kSeed];
  options.inputs = static_cast<uint32_t>(value[kInputs]);
  options.outputs = static_cast<uint32_t>(value[kOutputs]);
  options.maxFanin = given[kMaxFaninSlot] ? static_cast<uint32_t>(value[kMaxFaninSlot]) : 4;
  options.depth = static_cast<uint32_t>(value[kDepth]);
  options.shape = static_cast<Shape>(choice[kShape]);
  options.faninMix = static_cast<FaninMix>(choice[kFaninMix]);
  options.types = static_cast<TypeMix>(choice[kTypes]);
  options.fanout = static_cast<FanoutPick>(choice[kFanout]);
  options.maxFanout = static_cast<uint32_t>(value[kMaxFanout]);
  options.window = static_cast<uint32_t>(value[kWindow]);
  options.reconvergence = static_cast<uint32_t>(value[kReconvergence]);
  return command;
}

}  // namespace tambril::gennet
