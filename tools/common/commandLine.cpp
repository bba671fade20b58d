#include "common/commandLine.h"

#include "io/error.h"

namespace tambril::tools {

std::string UsageLine(const UsageWording& wording, const std::string& pattern,
                      const std::string& subject) {
  std::string text = pattern;
  const size_t at = text.find("{}");
  if (at != std::string::npos) text.replace(at, 2, subject);
  return wording.tool + ": " + text;
}

ParsedCommand ParseCommandLine(int argc, const char* const* argv,
                               const std::vector<OptionSpec>& options, size_t maxPositional,
                               const UsageWording& wording) {
  ParsedCommand command;
  command.values.resize(options.size());
  command.all.resize(options.size());
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (command.positional.size() == maxPositional) {
        throw UsageError(UsageLine(wording, wording.extra, arg));
      }
      command.positional.push_back(arg);
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      command.help = true;
      return command;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    size_t option = 0;
    while (option < options.size() && options[option].name != name) ++option;
    if (option == options.size() || (value && !options[option].takesValue)) {
      throw UsageError(UsageLine(wording, wording.unknown, arg));
    }
    if (command.values[option] && !options[option].repeatable) {
      throw UsageError(UsageLine(wording, wording.givenTwice, name));
    }
    if (!options[option].takesValue) {
      value = "";
    } else if (!value) {
      if (i + 1 == argc) throw UsageError(UsageLine(wording, wording.needsValue, name));
      value = argv[++i];
    }
    command.all[option].push_back(*value);
    command.values[option] = std::move(value);
  }
  return command;
}

}  // namespace tambril::tools
