#include "io/outputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  ok_ = fd_ >= 0;
  pending_.clear();
  return fd_ >= 0;
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

bool OutputFile::Close() {
  if (fd_ < 0) return ok_;
  Flush();
  if (::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  return ok_;
}

std::string FormatDouble(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}
