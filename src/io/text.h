#ifndef TAMBRIL_IO_TEXT_H
#define TAMBRIL_IO_TEXT_H

#include <string>
#include <string_view>

namespace tambril {

// Reading of the two input formats: whole files, lines of any length, tokens split on a fixed
// set of separator characters (runs count as one), and numbers with the C library's
// atoi/atof meaning (text that is not a number reads as 0, no error).

// Reads the whole file into `text`. Returns false when it cannot be opened; `readError` is set
// when it opened but reading failed.
bool ReadWholeFile(const std::string& path, std::string& text, bool& readError);

// The whole of an input file; ends the run with the File Error line when it cannot be opened
// and with the Format Error line when reading it fails.
std::string ReadInputFile(const std::string& path);

// Splits text into lines at '\n'; the line end is not part of the line, a carriage return is.
// A last line without a line end is still a line; an empty text has no lines.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  bool Next(std::string_view& line);
  // Upper bound of the lines left, for reserving.
  size_t CountRemaining() const;

 private:
  std::string_view rest_;
};

// A set of separator characters, looked up by byte value.
class Separators {
 public:
  constexpr explicit Separators(std::string_view characters) : member_{} {
    for (char c : characters) member_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool operator()(char c) const { return member_[static_cast<unsigned char>(c)]; }

 private:
  bool member_[256];
};

inline constexpr Separators kLibrarySeparators("\t,\n");
inline constexpr Separators kNetlistSeparators(" ,\n");

// Splits one line into tokens at runs of separators.
class Tokenizer {
 public:
  Tokenizer(std::string_view line, const Separators& separators)
      : next_(line.data()), end_(line.data() + line.size()), separators_(separators) {}
  bool Next(std::string_view& token) {
    while (next_ != end_ && separators_(*next_)) ++next_;
    if (next_ == end_) return false;
    const char* begin = next_;
    while (next_ != end_ && !separators_(*next_)) ++next_;
    token = std::string_view(begin, static_cast<size_t>(next_ - begin));
    return true;
  }

 private:
  const char* next_;
  const char* end_;
  const Separators& separators_;
};

// atoi: leading white space, optional sign, decimal digits; values beyond the int range
// saturate at INT_MIN / INT_MAX.
int ToInt(std::string_view token);
// atof: the longest leading decimal, exponent, hexadecimal, "inf" or "nan" number.
double ToDouble(std::string_view token);

// The header "%d %d %d %d %d": up to `count` integers separated by white space; stops at the
// first text that is not one. Returns the number converted; the others are left unchanged.
int ScanIntegers(std::string_view line, int* values, int count);

}  // namespace tambril

#endif
