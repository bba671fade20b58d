#include "io/outputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  ok_ = fd_ >= 0;
  pending_.clear();
  return ok_;
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
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  ok_ = fd_ >= 0;
  if (!ok_) return false;
  target_ = path;
  temporary_ = name.data();
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

OutputFile& OutputFile::Put(double value) { return Put(FormatDouble(value)); }

OutputFile& OutputFile::Put(long long value) { return Put(std::to_string(value)); }

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
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
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
  if (ok_) temporary_.clear();
  Discard();
  return ok_;
}

std::string FormatDouble(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

}  // namespace tambril
