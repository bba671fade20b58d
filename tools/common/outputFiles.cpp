#include "common/outputFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>

#include "io/error.h"
#include "io/outputFile.h"

namespace tambril::tools {
namespace {

FileError CannotWrite(const std::string& tool, const std::string& path) {
  return FileError(tool + ": cannot write '" + path + "'");
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Locks each directory once (exclusive or shared), in one order for every run, so that two
// runs never wait for each other's second lock; returns the descriptors, which hold the locks
// until closed. A directory that cannot be opened or locked (no read permission, a file system
// without locks) is passed over.
std::vector<int> LockDirectories(const std::vector<std::string>& directories, int mode) {
  std::vector<int> fds;
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const std::string& directory : directories) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status;
    if (fd < 0) continue;
    if (::fstat(fd, &status) != 0 ||
        std::find(seen.begin(), seen.end(), std::pair(status.st_dev, status.st_ino)) !=
            seen.end()) {
      ::close(fd);
      continue;
    }
    seen.emplace_back(status.st_dev, status.st_ino);
    fds.push_back(fd);
  }
  std::vector<size_t> order(fds.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return seen[a] < seen[b]; });
  for (size_t k : order) {
    while (::flock(fds[k], mode) != 0 && errno == EINTR) {
    }
  }
  return fds;
}

// Exclusive locks on directories, released when the object goes.
class DirectoryLocks {
 public:
  explicit DirectoryLocks(const std::vector<std::string>& directories)
      : fds_(LockDirectories(directories, LOCK_EX)) {}
  ~DirectoryLocks() {
    for (int fd : fds_) ::close(fd);
  }

 private:
  std::vector<int> fds_;
};

// The termination signals held back while it lives; delivered when it goes.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXCPU})
      sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

}  // namespace

InputsLock::InputsLock(const std::vector<std::string>& paths) {
  std::vector<std::string> directories;
  for (const std::string& path : paths) directories.push_back(DirectoryOf(path));
  fds_ = LockDirectories(directories, LOCK_SH);
}

InputsLock::~InputsLock() {
  for (int fd : fds_) ::close(fd);
}

void CheckOutputsApart(const std::string& tool, const std::vector<std::string>& outputs,
                       const std::vector<std::string>& inputs) {
  for (const std::string& output : outputs) {
    for (const std::string& input : inputs) {
      if (SameFile(output, input)) {
        throw FileError(tool + ": the output would replace the input '" + input + "'");
      }
    }
  }
}

void CheckStandardOutputApart(const std::string& tool, const std::vector<std::string>& inputs) {
  struct stat out, in;
  if (::fstat(1, &out) != 0 || !S_ISREG(out.st_mode)) return;
  for (const std::string& input : inputs) {
    if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      throw FileError(tool + ": the output would replace the input '" + input + "'");
    }
  }
}

void WriteOutputs(const std::string& tool,
                  const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::unique_ptr<OutputFile>> temporaries;
  std::vector<std::string> directories;
  for (const auto& [path, text] : files) {
    temporaries.push_back(std::make_unique<OutputFile>());
    OutputFile& file = *temporaries.back();
    if (!file.OpenReplacing(path)) throw CannotWrite(tool, path);
    // Handed to the system now (EndLine writes what has gathered), then synced.
    if (!text.empty()) {
      file.Put(std::string_view(text).substr(0, text.size() - 1));
      if (text.back() == '\n') {
        file.EndLine();
      } else {
        file.Put(std::string_view(text).substr(text.size() - 1));
      }
    }
    if (!file.ok() || ::fsync(file.Descriptor()) != 0) throw CannotWrite(tool, path);
    directories.push_back(DirectoryOf(path));
  }
  const DirectoryLocks locks(directories);
  const HeldSignals held;
  for (size_t k = 0; k < files.size(); ++k) {
    if (!temporaries[k]->Commit()) throw CannotWrite(tool, files[k].first);
  }
}

}  // namespace tambril::tools
