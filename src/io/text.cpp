#include "io/text.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/error.h"
#include "model/hugePages.h"

namespace tambril {

bool ReadWholeFile(const std::string& path, std::string& text, bool& readError) {
  readError = false;
  text.clear();
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  // Read straight into the string, sized from the file when it can tell its size.
  size_t capacity = 1 << 16;
  struct stat status;
  if (::fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    capacity = static_cast<size_t>(status.st_size) + 1;
  }
  text.reserve(capacity);
  AdviseHugePages(text.data(), capacity);
  size_t used = 0;
  for (;;) {
    text.resize(capacity);
    const size_t got = std::fread(&text[used], 1, capacity - used, file);
    used += got;
    if (used < capacity) break;  // end of file or an error
    capacity *= 2;
  }
  text.resize(used);
  if (std::ferror(file)) readError = true;
  std::fclose(file);
  return true;
}

std::string ReadInputFile(const std::string& path) {
  std::string text;
  bool readError = false;
  if (!ReadWholeFile(path, text, readError)) throw tambril::CannotOpen(path);
  if (readError) throw tambril::CannotParse(path);
  return text;
}

bool LineReader::Next(std::string_view& line) {
  if (rest_.empty()) return false;
  const size_t end = rest_.find('\n');
  if (end == std::string_view::npos) {
    line = rest_;
    rest_ = {};
  } else {
    line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
  }
  return true;
}

size_t LineReader::CountRemaining() const {
  size_t lines = 1;
  const char* next = rest_.data();
  const char* end = next + rest_.size();
  while (next != end) {
    const void* found = std::memchr(next, '\n', static_cast<size_t>(end - next));
    if (found == nullptr) break;
    ++lines;
    next = static_cast<const char*>(found) + 1;
  }
  return lines;
}

namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses [sign] digits at `pos`; returns false when there are no digits.
bool ParseInt(std::string_view text, size_t& pos, int& value) {
  size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !IsDigit(text[i])) return false;
  long long magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1)
      magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (negative) {
    value =
        magnitude > static_cast<long long>(INT_MAX) + 1 ? INT_MIN : static_cast<int>(-magnitude);
  } else {
    value = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
  }
  pos = i;
  return true;
}

}  // namespace

int ToInt(std::string_view token) {
  size_t pos = 0;
  while (pos < token.size() && IsCSpace(token[pos])) ++pos;
  int value = 0;
  return ParseInt(token, pos, value) ? value : 0;
}

double ToDouble(std::string_view token) {
  // Plain digit strings are by far the most common; up to 15 digits they convert exactly.
  if (!token.empty() && token.size() <= 15) {
    long long whole = 0;
    bool digitsOnly = true;
    for (char c : token) {
      if (!IsDigit(c)) {
        digitsOnly = false;
        break;
      }
      whole = whole * 10 + (c - '0');
    }
    if (digitsOnly) return static_cast<double>(whole);
  }
  char small[64];
  std::string large;
  const char* text;
  if (token.size() < sizeof small) {
    std::memcpy(small, token.data(), token.size());
    small[token.size()] = '\0';
    text = small;
  } else {
    large.assign(token);
    text = large.c_str();
  }
  return std::strtod(text, nullptr);
}

int ScanIntegers(std::string_view line, int* values, int count) {
  size_t pos = 0;
  for (int n = 0; n < count; ++n) {
    while (pos < line.size() && IsCSpace(line[pos])) ++pos;
    if (!ParseInt(line, pos, values[n])) return n;
  }
  return count;
}

}  // namespace tambril
