#include "io/text.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "io/error.h"
#include "util/hugePages.h"

namespace tambril {

namespace {

// Closes the file when reading ends, however it ends.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& text, bool& readError, bool stopAtNul) {
  readError = false;
  text.clear();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (file == nullptr) return false;
  // Read straight into the string, sized from the file when it can tell its size; a file that
  // cannot (a pipe, a device) is read in blocks that double.
  size_t capacity = 1 << 16;
  struct stat status;
  if (::fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    capacity = static_cast<size_t>(status.st_size) + 1;
  }
  text.reserve(capacity);
  AdviseHugePages(text.data(), capacity);
  size_t used = 0;
  for (;;) {
    text.resize(capacity);
    const size_t got = std::fread(&text[used], 1, capacity - used, file.get());
    const bool nul = stopAtNul && std::memchr(&text[used], '\0', got) != nullptr;
    used += got;
    if (used < capacity || nul) break;  // end of file, an error, or a NUL byte
    capacity *= 2;
  }
  text.resize(used);
  readError = std::ferror(file.get()) != 0;
  return true;
}

std::string ReadInputFile(const std::string& path) {
  std::string text;
  bool readError = false;
  if (!ReadWholeFile(path, text, readError, true)) throw CannotOpen(path);
  if (readError || text.find('\0') != std::string::npos) throw CannotParse(path);
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

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsBlank(std::string_view line) {
  for (char c : line) {
    if (!IsCSpace(c)) return false;
  }
  return true;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses [sign] digits at `pos`; returns false when there are no digits. A value beyond the int
// range saturates at INT_MIN / INT_MAX and sets `overflow`.
bool ParseInt(std::string_view text, size_t& pos, int& value, bool& overflow) {
  size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !IsDigit(text[i])) return false;
  long long magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1)
      magnitude = magnitude * 10 + (text[i] - '0');
  }
  const long long limit = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
  overflow = magnitude > limit;
  if (overflow) magnitude = limit;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  pos = i;
  return true;
}

void SkipSpace(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsCSpace(text[pos])) ++pos;
}

size_t SkipDigits(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos;
}

}  // namespace

int ToInt(std::string_view token) {
  size_t pos = 0;
  while (pos < token.size() && IsCSpace(token[pos])) ++pos;
  int value = 0;
  bool overflow = false;
  return ParseInt(token, pos, value, overflow) ? value : 0;
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

bool ParseWholeInt(std::string_view text, int& value) {
  size_t pos = 0;
  SkipSpace(text, pos);
  bool overflow = false;
  if (!ParseInt(text, pos, value, overflow) || overflow) return false;
  SkipSpace(text, pos);
  return pos == text.size();
}

bool ParseWholeNumber(std::string_view text, double& value) {
  size_t pos = 0;
  SkipSpace(text, pos);
  const size_t begin = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  const size_t whole = SkipDigits(text, pos);
  size_t end = whole;
  size_t digits = whole - pos;
  if (end < text.size() && text[end] == '.') {
    const size_t fraction = SkipDigits(text, end + 1);
    digits += fraction - (end + 1);
    end = fraction;
  }
  if (digits == 0) return false;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const size_t exponentEnd = SkipDigits(text, exponent);
    if (exponentEnd == exponent) return false;
    end = exponentEnd;
  }
  pos = end;
  SkipSpace(text, pos);
  if (pos != text.size()) return false;
  value = ToDouble(text.substr(begin, end - begin));
  return true;
}

bool ParseIntegerLine(std::string_view line, int* values, int count) {
  Tokenizer tokens(line, kWhiteSpace);
  std::string_view token;
  for (int n = 0; n < count; ++n) {
    if (!tokens.Next(token) || !ParseWholeInt(token, values[n])) return false;
  }
  return !tokens.Next(token);
}

}  // namespace tambril
