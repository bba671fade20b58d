#ifndef TAMBRIL_IO_TEXT_H
#define TAMBRIL_IO_TEXT_H

#include <string>
#include <string_view>

namespace tambril {

// Reading of the two input formats: whole files, lines of any length, tokens split on a fixed
// set of separator characters (runs count as one), numbers that must be whole numbers
// (ParseWhole...), and numbers with the C library's atoi/atof meaning for the fields that are
// carried but not checked (text that is not a number reads as 0, no error).

// Reads the whole file into `text`. Returns false when it cannot be opened; `readError` is set
// when it opened but reading failed. With `stopAtNul`, reading ends after the first block that
// holds a NUL byte, so that an endless device such as /dev/zero is not read without end.
bool ReadWholeFile(const std::string& path, std::string& text, bool& readError,
                   bool stopAtNul = false);

// The whole of an input file. Throws the File Error line when it cannot be opened, and the
// Format Error line when reading fails or the file holds a NUL byte (no text file does; an
// endless device such as /dev/zero ends there, after one block). Memory grows with the bytes
// actually read, never beyond them.
std::string ReadInputFile(const std::string& path);

// Splits text into lines at '\n'; the line end is not part of the line, a carriage return is.
// A last line without a line end is still a line; an empty text has no lines.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  bool Next(std::string_view& line);

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
inline constexpr Separators kWhiteSpace(" \t\n\v\f\r");

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

// White space in the C sense: blank, tab, line feed, vertical tab, form feed, carriage return.
bool IsCSpace(char c);
// True when `line` holds nothing but white space.
bool IsBlank(std::string_view line);

// The whole of `text`, less white space around it, is [sign] digits within the int range.
bool ParseWholeInt(std::string_view text, int& value);
// The whole of `text`, less white space around it, is a decimal number: [sign], digits with an
// optional point (at least one digit), optional exponent. Converted as strtod does; a value
// beyond the double range comes out infinite, so callers that need a finite number test it.
// "inf", "nan" and hexadecimal forms are not numbers here.
bool ParseWholeNumber(std::string_view text, double& value);
// Exactly `count` integers (ParseWholeInt) separated by white space, with white space allowed
// around them and nothing else on the line.
bool ParseIntegerLine(std::string_view line, int* values, int count);

}  // namespace tambril

#endif
