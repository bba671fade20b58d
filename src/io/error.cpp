#include "io/error.h"

namespace tambril {

FileError CannotOpen(const std::string& fileName) {
  return FileError("File Error: " + fileName + " could not be opened");
}

FileError CannotWrite(const std::string& fileName) {
  return FileError("File Error: " + fileName + " could not be written");
}

FileError CannotLock(const std::string& fileName) {
  return FileError("File Error: " + fileName + " could not be locked");
}

FormatError CannotParse(const std::string& fileName) {
  return FormatError("Format Error: " + fileName + " could not be parsed");
}

DataError CannotRead(const std::string& typeName) {
  return DataError("Data Error: [" + typeName + "] could not be read");
}

}  // namespace tambril
