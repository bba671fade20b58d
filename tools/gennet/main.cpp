// gennet: writes a random netlist for benchmarks and tests. See cli.cpp for the options.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "cli.h"
#include "generator.h"

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "gennet: %s\n", message.c_str());
  return 1;
}

int run(int argc, char** argv) {
  gennet::Command command;
  std::string error;
  if (!gennet::parseArgs(argc, argv, command, error)) {
    return fail(error + " (see gennet --help)");
  }
  if (command.help) {
    std::fputs(gennet::kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  gennet::Netlist netlist;
  if (!gennet::generate(command.options, netlist, error)) return fail(error);

  const bool toFile = !command.outputPath.empty();
  std::FILE* out = stdout;
  bool created = false;  // only a file this run created is removed after a failed write
  if (toFile) {
    if (std::FILE* existing = std::fopen(command.outputPath.c_str(), "rb")) {
      std::fclose(existing);
    } else {
      created = true;
    }
    out = std::fopen(command.outputPath.c_str(), "wb");
    if (out == nullptr) {
      return fail("cannot write '" + command.outputPath + "': " + std::strerror(errno));
    }
  }
  int writeErrno = 0;
  bool ok = gennet::writeNetlist(netlist, [out, &writeErrno](const char* data, size_t size) {
    if (std::fwrite(data, 1, size, out) == size) return true;
    writeErrno = errno;
    return false;
  });
  const bool closed = toFile ? std::fclose(out) == 0 : std::fflush(out) == 0;
  if (ok && !closed) {
    ok = false;
    writeErrno = errno;
  }
  if (!ok) {
    if (created) std::remove(command.outputPath.c_str());
    const std::string where = toFile ? "'" + command.outputPath + "'" : "standard output";
    return fail("cannot write " + where + ": " + std::strerror(writeErrno));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
