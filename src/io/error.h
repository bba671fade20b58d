#ifndef TAMBRIL_IO_ERROR_H
#define TAMBRIL_IO_ERROR_H

#include <stdexcept>
#include <string>

namespace tambril {

// An error that ends a run. what() is the whole line that the executable writes to standard
// error before it exits with status 1; library code throws, only `main` prints and exits.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& line) : std::runtime_error(line) {}
};

// The sizer's error lines, one type each.
class UsageError : public Error {  // the command line
 public:
  using Error::Error;
};
class FileError : public Error {  // a file that cannot be opened, written or locked
 public:
  using Error::Error;
};
class FormatError : public Error {  // a malformed file
 public:
  using Error::Error;
};
class DataError : public Error {  // a gate that the library cannot bind
 public:
  using Error::Error;
};

FileError CannotOpen(const std::string& fileName);     // "File Error: NAME could not be opened"
FileError CannotWrite(const std::string& fileName);    // "File Error: NAME could not be written"
FileError CannotLock(const std::string& fileName);     // "File Error: NAME could not be locked"
FormatError CannotParse(const std::string& fileName);  // "Format Error: NAME could not be parsed"
DataError CannotRead(const std::string& typeName);     // "Data Error: [TYPE] could not be read"

}  // namespace tambril

#endif
