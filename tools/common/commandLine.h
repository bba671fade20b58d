#ifndef TAMBRIL_TOOLS_COMMON_COMMANDLINE_H
#define TAMBRIL_TOOLS_COMMON_COMMANDLINE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one shape of the tools' command lines: a table of options, read in one pass.
namespace tambril::tools {

struct OptionSpec {
  std::string_view name;    // "-o", "--format"
  bool takesValue;          // otherwise a flag
  bool repeatable = false;  // may be given more than once (values in ParsedCommand::all)
};

// How a tool words the errors of its command line. Every line begins with "TOOL: "; in the
// patterns, "{}" stands for the option or the argument at fault.
struct UsageWording {
  std::string tool;        // "tambril-import"
  std::string needsValue;  // an option last on the line: "{} needs a value"
  std::string unknown;     // "unknown option '{}'"
  std::string givenTwice;  // "{} given twice"
  std::string extra;       // a positional argument more than the tool takes
};

struct ParsedCommand {
  bool help = false;                               // -h or --help: nothing else was read after it
  std::vector<std::string> positional;             // in order
  std::vector<std::optional<std::string>> values;  // per option of the table; a flag's is ""
  std::vector<std::vector<std::string>> all;       // per option: every value, in order

  bool Given(size_t option) const { return values[option].has_value(); }
  const std::string& Value(size_t option) const { return *values[option]; }
};

// Reads argv[1..argc) against `options`, in order: "-h" or "--help" ends the reading and asks
// for help; an option of the table takes its value from the next argument or, for a long
// option, from "--name=value"; "--" ends the options; any other argument that begins with '-'
// and is longer than that is an unknown option; the rest are positional, at most
// `maxPositional` of them. Throws UsageError, worded by `wording`.
ParsedCommand ParseCommandLine(int argc, const char* const* argv,
                               const std::vector<OptionSpec>& options, size_t maxPositional,
                               const UsageWording& wording);

// The usage error "TOOL: " + pattern with "{}" replaced by `subject`.
std::string UsageLine(const UsageWording& wording, const std::string& pattern,
                      const std::string& subject = "");

}  // namespace tambril::tools

#endif
