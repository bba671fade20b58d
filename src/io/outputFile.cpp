#include "io/outputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tambril {

namespace {

// The permission bits a file created with mode 0664 gets under the current umask.
mode_t CreationMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0664 & ~mask;
}

// The temporaries of the open replacing files, for the signal handler: plain pointers to the
// names, which stay unchanged while they are listed. More open at once than slots go unlisted.
std::atomic<const char*> temporaries[4];

void ListTemporary(const char* name) {
  for (std::atomic<const char*>& slot : temporaries) {
    const char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, name)) return;
  }
}

void UnlistTemporary(const char* name) {
  for (std::atomic<const char*>& slot : temporaries) {
    const char* listed = name;
    if (slot.compare_exchange_strong(listed, nullptr)) return;
  }
}

// While a temporary is created and not yet listed, a signal is deferred: the handler would
// find nothing to remove, and the new file would stay behind. The creating thread takes the
// signal over once the name is listed. A creation that begins after a handler has run does
// not take place.
std::atomic<int> creating{0};
std::atomic<int> deferredSignal{0};

void RemoveTemporaries() {
  for (std::atomic<const char*>& slot : temporaries) {
    const char* name = slot.load();
    if (name != nullptr) ::unlink(name);
  }
}

// Ends the run as the signal would have, once the temporaries are gone: the default action,
// which the signal takes as soon as the thread's handler (if any) returns.
void DieOf(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  ::raise(signal);
}

// Set by the first handler that removes the temporaries. Every thread may take a signal, and a
// run may get two at once (a signal sent to the process and to its group): the handler stays
// in force until the temporaries are gone, and a second one leaves the work to the first.
std::atomic<int> dying{0};

// Async-signal-safe: unlink, then the default action. The signal is noted before `creating`
// is read, and the creating thread clears `creating` before it reads the note, so at least one
// of the two acts on it.
extern "C" void RemoveTemporariesAndDie(int signal) {
  deferredSignal.store(signal);
  if (creating.load() != 0) return;
  if (dying.exchange(1) != 0) return;
  RemoveTemporaries();
  DieOf(signal);
}

// Ends a creation: a signal that came meanwhile now removes the listed temporaries and ends the
// run as it would have.
void EndCreation() {
  creating.store(0);
  const int signal = deferredSignal.load();
  if (signal != 0) {
    dying.store(1);
    RemoveTemporaries();
    DieOf(signal);
  }
}

bool Identify(const std::string& path, struct stat& status) {
  return ::stat(path.c_str(), &status) == 0;
}

// The directory that holds the entry `path` names, and the entry's name.
void SplitPath(const std::string& path, std::string& directory, std::string& name) {
  const size_t slash = path.rfind('/');
  directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void RemoveTemporariesOnSignals() {
  struct sigaction action = {};
  action.sa_handler = RemoveTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXCPU}) {
    struct sigaction previous;
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  const bool firstExists = Identify(a, first);
  const bool secondExists = Identify(b, second);
  if (!firstExists && !secondExists) {
    // Two names of one entry yet to be created: the same name in the same directory.
    std::string directoryA, nameA, directoryB, nameB;
    SplitPath(a, directoryA, nameA);
    SplitPath(b, directoryB, nameB);
    if (nameA.empty() || nameA != nameB) return false;
    if (!Identify(directoryA, first) || !Identify(directoryB, second)) return false;
  } else if (!firstExists || !secondExists) {
    return false;
  }
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileLock::TryLock(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0664);
  if (fd_ < 0) return true;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  const bool held = errno == EWOULDBLOCK;
  ::close(fd_);
  fd_ = -1;
  return !held;
}

OutputFile::~OutputFile() { Close(); }

OutputFile::Opened OutputFile::Open(const std::string& path,
                                    const std::vector<std::string>& apart) {
  Close();
  pending_.clear();
  // Opened without emptying it, so that what it is can be checked first.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0664);
  if (fd < 0) {
    ok_ = false;
    return errno == ELOOP ? Opened::kRefused : Opened::kFailed;
  }
  struct stat status, other;
  bool refused = ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode);
  for (const std::string& input : apart) {
    refused = refused || (::stat(input.c_str(), &other) == 0 && other.st_dev == status.st_dev &&
                          other.st_ino == status.st_ino);
  }
  if (refused || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    ok_ = false;
    return refused ? Opened::kRefused : Opened::kFailed;
  }
  fd_ = fd;
  ok_ = true;
  return Opened::kOpened;
}

bool OutputFile::OpenReplacing(const std::string& path) {
  Close();
  pending_.clear();
  // Only a regular file is replaced: renaming over a device or a directory is never meant.
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    ok_ = false;
    return false;
  }
  // The temporary sits beside the target, so that the rename stays within one file system.
  std::vector<char> name(path.begin(), path.end());
  const char suffix[] = ".tmp.XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  creating.store(1);
  // A signal whose handler found no creation under way (on another thread: the run ends once
  // that thread has removed what was listed, but this one goes on until then) allows none.
  fd_ = deferredSignal.load() != 0 ? -1 : ::mkostemp(name.data(), O_CLOEXEC);
  ok_ = fd_ >= 0;
  if (!ok_) {
    EndCreation();
    return false;
  }
  target_ = path;
  temporary_ = name.data();
  ListTemporary(temporary_.c_str());
  EndCreation();
  // An existing file keeps its permission bits; a new one gets those of a plain creation.
  const mode_t mode = exists ? existing.st_mode & 07777 : CreationMode();
  if (::fchmod(fd_, mode) != 0) ok_ = false;
  return true;
}

void OutputFile::OpenStandardOutput() {
  Close();
  pending_.clear();
  fd_ = 1;
  ownsDescriptor_ = false;
  ok_ = true;
}

void OutputFile::Write(std::string_view text) {
  pending_.append(text);
  if (pending_.size() >= (64u << 10)) Flush();
}

OutputFile& OutputFile::Put(std::string_view text) {
  pending_.append(text);
  return *this;
}

OutputFile& OutputFile::Put(double value) {
  char buffer[kDoubleChars];
  return Put(std::string_view(buffer, FormatDouble(value, buffer)));
}

OutputFile& OutputFile::Put(long long value) {
  char buffer[24];
  return Put(
      std::string_view(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer));
}

void OutputFile::EndLine() {
  pending_.push_back('\n');
  Flush();
}

void OutputFile::EndLineBuffered() {
  pending_.push_back('\n');
  if (pending_.size() >= (64u << 10)) Flush();
}

void OutputFile::Flush() {
  if (fd_ < 0) {
    pending_.clear();
    return;
  }
  const char* data = pending_.data();
  size_t left = pending_.size();
  while (left > 0 && ok_) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      ok_ = false;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  pending_.clear();
}

void OutputFile::Discard() {
  if (!temporary_.empty()) {
    // Removed before it leaves the list, so that a signal in between cannot leave it behind.
    ::unlink(temporary_.c_str());
    UnlistTemporary(temporary_.c_str());
  }
  temporary_.clear();
  target_.clear();
}

bool OutputFile::Close() {
  if (fd_ < 0) return ok_;
  Flush();
  if (ownsDescriptor_ && ::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  ownsDescriptor_ = true;
  Discard();
  return ok_;
}

bool OutputFile::Commit() {
  if (fd_ < 0 || temporary_.empty()) return false;
  Flush();
  if (::fsync(fd_) != 0) ok_ = false;
  if (::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  if (ok_ && ::rename(temporary_.c_str(), target_.c_str()) != 0) ok_ = false;
  if (ok_) {
    UnlistTemporary(temporary_.c_str());
    temporary_.clear();
  }
  Discard();
  return ok_;
}

// The general format with a precision is defined as printf's "%g" with that precision, and is
// several times faster: it counts when a result file lists a million sizes.
size_t FormatDouble(double value, char (&buffer)[kDoubleChars]) {
  return std::to_chars(buffer, buffer + kDoubleChars, value, std::chars_format::general, 6).ptr -
         buffer;
}

std::string FormatDouble(double value) {
  char buffer[kDoubleChars];
  return std::string(buffer, FormatDouble(value, buffer));
}

}  // namespace tambril
