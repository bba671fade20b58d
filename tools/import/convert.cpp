#include "import/convert.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "import/readers.h"
#include "io/error.h"
#include "io/text.h"

extern char** environ;

namespace tambril::import {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ReadSource(const std::string& path, const ImportOptions& options) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw FileError(options.tool + ": cannot read '" + path + "': is a directory");
  }
  std::string text;
  bool readError = false;
  errno = 0;
  if (!ReadWholeFile(path, text, readError) || readError) {
    const int code = errno;
    std::string line =
        options.tool + ": cannot " + (readError ? "read" : "open") + " '" + path + "'";
    if (code != 0) line += std::string(": ") + std::strerror(code);
    throw FileError(line);
  }
  return text;
}

// A scratch directory removed with everything in it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tambril-import.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Synthesises a Verilog file with Yosys into BLIF of library gates and returns that text.
std::string SynthesiseVerilog(const std::string& path, const ImportOptions& options) {
  ReadSource(path, options);  // the same errors as the other formats for a missing file
  if (path.find_first_of("\"\n") != std::string::npos) {
    throw FileError(options.tool + ": " + path +
                    ": a file name with '\"' cannot be given to yosys");
  }
  ScratchDirectory scratch;
  if (scratch.path().empty()) {
    throw FileError(options.tool + ": cannot create a scratch directory: " + std::strerror(errno));
  }
  const std::string blif = scratch.path() + "/synthesised.blif";
  const std::string log = scratch.path() + "/yosys.log";
  const std::string script = "read_verilog \"" + path +
                             "\"; synth -flatten; abc -g AND,NAND,OR,NOR,XOR,XNOR; opt_clean; "
                             "write_blif \"" +
                             blif + "\"";
  const char* yosys = std::getenv("TAMBRIL_YOSYS");
  if (yosys == nullptr || *yosys == '\0') yosys = "yosys";
  const char* argv[] = {yosys, "-q", "-p", script.c_str(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, yosys, &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw FileError(options.tool + ": " + path + ": Verilog needs yosys, which was not found (" +
                    std::strerror(spawned) + "); install the Debian package 'yosys'");
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // Yosys's first error line says what is wrong with the design, and where when it can.
    std::string text, where = path, reason = "yosys failed";
    bool readError = false;
    ReadWholeFile(log, text, readError);
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
      const size_t at = line.find("ERROR: ");
      if (at == std::string_view::npos) continue;
      reason = "yosys: " + std::string(line.substr(at + 7));
      std::string_view location = line.substr(0, at);
      while (!location.empty() && (location.back() == ' ' || location.back() == ':')) {
        location.remove_suffix(1);
      }
      if (!location.empty()) where = std::string(location);
      break;
    }
    throw FormatError(options.tool + ": " + where + ": " + reason);
  }
  return ReadSource(blif, options);
}

}  // namespace

namespace {

// The formats, by the words of --format and the extensions of file names.
struct FormatRow {
  Format format;
  std::vector<std::string_view> words;
  std::vector<std::string_view> extensions;
};

const std::vector<FormatRow>& Formats() {
  static const std::vector<FormatRow> kFormats = {
      {Format::kBench, {"bench"}, {".bench"}},
      {Format::kBlif, {"blif"}, {".blif"}},
      {Format::kAiger, {"aag", "aig"}, {".aag", ".aig"}},
      {Format::kVerilog, {"verilog", "v"}, {".v", ".sv"}},
  };
  return kFormats;
}

}  // namespace

bool FormatFromName(const std::string& name, Format& format) {
  for (const FormatRow& row : Formats()) {
    for (std::string_view extension : row.extensions) {
      if (EndsWith(name, std::string(extension))) {
        format = row.format;
        return true;
      }
    }
  }
  return false;
}

bool FormatFromWord(const std::string& word, Format& format) {
  for (const FormatRow& row : Formats()) {
    for (std::string_view w : row.words) {
      if (w == word) {
        format = row.format;
        return true;
      }
    }
  }
  return false;
}

Conversion Convert(const std::string& path, const ImportOptions& options) {
  if (options.format != Format::kVerilog)
    return ConvertText(ReadSource(path, options), path, options);
  return ConvertText(SynthesiseVerilog(path, options), path + " (as synthesised)", options);
}

Conversion ConvertText(const std::string& text, const std::string& where,
                       const ImportOptions& options) {
  Conversion conversion;
  try {
    Source source;
    switch (options.format) {
      case Format::kBench:
        ReadBench(text, source);
        break;
      case Format::kBlif:
      case Format::kVerilog:
        ReadBlif(text, source);
        break;
      case Format::kAiger:
        ReadAiger(text, source);
        break;
    }
    conversion.sourceNodes =
        static_cast<long long>(source.definitions.size() + source.flops.size());
    Network network(options.maxInputs);
    MapSource(source, network);
    conversion.summary = network.Finish();
    conversion.netlist = network.NetlistText();
    conversion.names = network.NamesText();
  } catch (const SourceError& e) {
    std::string line = options.tool + ": " + where + ":";
    if (e.line > 0) line += std::to_string(e.line) + ":";
    throw FormatError(line + " " + e.message);
  }
  return conversion;
}

std::string Warnings(const Conversion& conversion, const ImportOptions& options) {
  std::string out;
  const std::vector<std::string>& constant = conversion.summary.constantOutputs;
  if (!constant.empty()) {
    out += options.tool + ": warning: " + std::to_string(constant.size()) +
           (constant.size() == 1 ? " output is" : " outputs are") + " constant and dropped:";
    for (const std::string& name : constant) out += " " + name;
    out += '\n';
  }
  const long long removed = conversion.summary.removedGates;
  if (removed > 0) {
    out += options.tool + ": removed " + std::to_string(removed) +
           (removed == 1 ? " gate that reaches" : " gates that reach") + " no output\n";
  }
  return out;
}

}  // namespace tambril::import
