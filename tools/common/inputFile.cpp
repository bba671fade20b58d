#include "common/inputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/error.h"

namespace tambril::tools {
namespace {

constexpr size_t kHead = size_t{1} << 16;

// Closes the descriptor however reading ends.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string ReadInput(const std::string& tool, const std::string& path,
                      const BinaryPart& binaryPart) {
  const auto fail = [&](const char* what, int code) {
    return FileError(tool + ": cannot " + what + " '" + path + "': " + std::strerror(code));
  };
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) throw fail("open", errno);
  struct stat status;
  if (::fstat(file.fd, &status) != 0) throw fail("read", errno);
  if (S_ISDIR(status.st_mode)) {
    throw FileError(tool + ": cannot read '" + path + "': is a directory");
  }
  // Sized from the file when it can tell its size; otherwise (a pipe, a device) in blocks that
  // double, starting with the head.
  std::string text;
  size_t capacity = kHead;
  if (S_ISREG(status.st_mode) && status.st_size > 0) {
    capacity = std::max(capacity, static_cast<size_t>(status.st_size) + 1);
  }
  size_t used = 0, checked = 0, binary = 0;
  bool headSeen = false, ended = false;
  while (!ended) {
    if (used == text.size()) text.resize(used < capacity ? capacity : 2 * used);
    const ssize_t got = ::read(file.fd, &text[used], text.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw fail("read", errno);
    }
    used += static_cast<size_t>(got);
    ended = got == 0;
    if (!headSeen && (used >= kHead || ended)) {
      headSeen = true;
      if (binaryPart) binary = binaryPart(std::string_view(text.data(), used));
    }
    if (!headSeen) continue;
    const size_t from = std::max(checked, binary);
    if (from < used) {
      const void* nul = std::memchr(&text[from], '\0', used - from);
      if (nul != nullptr) {
        const char* at = static_cast<const char*>(nul);
        const long long line = 1 + std::count(static_cast<const char*>(text.data()), at, '\n');
        throw FormatError(tool + ": " + path + ":" + std::to_string(line) +
                          ": unexpected NUL byte");
      }
    }
    checked = used;
  }
  text.resize(used);
  return text;
}

}  // namespace tambril::tools
