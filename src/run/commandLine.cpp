#include "run/commandLine.h"

#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "io/error.h"
#include "io/outputFile.h"
#include "io/text.h"
#include "run/netlist.h"
#include "sizing/method.h"
#include "util/parallel.h"

namespace tambril {

const std::string kUsageLines =
    "Usage Error: TAMBRIL [input filename] [output filename] [*innerloop %improvement] "
    "[*outerloop %improvement]\n"
    "* Indicates optional field\n"
    "Options, anywhere: --method NAME (default " +
    std::string(sizing::Methods().front().name) +
    "), --threads N (default: one or every core, the faster), --delay-target SECONDS";

namespace {

std::string ParseMethod(std::string_view value) {
  if (sizing::FindMethod(value) != nullptr) return std::string(value);
  throw UsageError("Usage Error: unknown method '" + std::string(value) +
                   "' (methods: " + sizing::MethodNames() + ")");
}

// A threshold keeps the C library's atof reading ("0,01" is 0, "nan" is not a number); one
// that is not wholly a finite number gets a warning, as that reading is rarely what was meant.
double ReadThreshold(const std::string& argument, const char* which,
                     std::vector<std::string>& warnings) {
  const double value = std::atof(argument.c_str());
  double whole = 0.0;
  if (!ParseWholeNumber(argument, whole) || !std::isfinite(whole)) {
    warnings.push_back(std::string("Warning: ") + which + " threshold '" + argument +
                       "' is not a finite number; read as " + FormatDouble(value));
  }
  return value;
}

// A whole number from 1 to kMaxThreads, in decimal digits and nothing else.
int ParseThreads(std::string_view value) {
  int threads = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || threads > kMaxThreads) {
      threads = 0;
      break;
    }
    threads = threads * 10 + (c - '0');
  }
  if (threads < 1 || threads > kMaxThreads) {
    throw UsageError("Usage Error: --threads takes a whole number from 1 to " +
                     std::to_string(kMaxThreads) + ", not '" + std::string(value) + "'");
  }
  return threads;
}

// A delay target: a decimal number of seconds (sign, digits with an optional point, optional
// exponent), finite and above 0.
double ParseDelayTarget(std::string_view value) {
  double target = 0.0;
  if (!ParseWholeNumber(std::string(value), target) || !std::isfinite(target) || !(target > 0.0)) {
    throw UsageError("Usage Error: --delay-target takes a positive number of seconds, not '" +
                     std::string(value) + "'");
  }
  return target;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine command;
  std::vector<std::string> positional;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!options || argument.substr(0, 2) != "--") {
      positional.emplace_back(argument);
      continue;
    }
    if (argument == "--") {
      options = false;
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      throw UsageError("Usage Error: " + std::string(name) + " needs a value");
    }
    if (name == "--method") {
      command.method = ParseMethod(value);
    } else if (name == "--threads") {
      command.threads = ParseThreads(value);
    } else if (name == "--delay-target") {
      command.delayTarget = ParseDelayTarget(value);
    } else {
      throw UsageError("Usage Error: unknown option " + std::string(name));
    }
  }

  if (command.delayTarget > 0.0) {
    if (command.method.empty()) {
      for (const sizing::MethodEntry& entry : sizing::Methods()) {
        if (entry.makeForArea != nullptr) {
          command.method = entry.name;
          break;
        }
      }
    } else if (sizing::FindMethod(command.method)->makeForArea == nullptr) {
      throw UsageError("Usage Error: method '" + command.method +
                       "' does not size for a delay target (methods: " + sizing::MethodNames(true) +
                       ")");
    }
  }
  if (positional.size() < 2) throw UsageError(kUsageLines);
  command.netlist = positional[0];
  command.result = positional[1];
  if (positional.size() == 3 || positional.size() == 4) {
    command.hasInner = true;
    command.inner = ReadThreshold(positional[2], "inner", command.warnings);
  }
  if (positional.size() == 4) {
    command.hasOuter = true;
    command.outer = ReadThreshold(positional[3], "outer", command.warnings);
  }
  return command;
}

void Configure(const CommandLine& command, CNetlist& netlist) {
  if (command.hasInner) netlist.innerImprove = command.inner;
  if (command.hasOuter) netlist.outerImprove = command.outer;
  if (!command.method.empty()) netlist.sizing.method = command.method;
  netlist.sizing.delayTarget = command.delayTarget;
}

int ThreadsFor(const CommandLine& command) {
  return command.threads > 0 ? command.threads : AvailableCores();
}

}  // namespace tambril
