#ifndef TAMBRIL_IO_FAIL_H
#define TAMBRIL_IO_FAIL_H

#include <string>

// Ends the run: writes `line` and a line end to standard error, flushes, exits with status 1.
[[noreturn]] void Fail(const std::string& line);

// The error lines of the readers and writers.
[[noreturn]] void FailCannotOpen(const std::string& fileName);
[[noreturn]] void FailCannotParse(const std::string& fileName);
[[noreturn]] void FailCannotRead(const std::string& typeName);
[[noreturn]] void FailCannotWrite(const std::string& fileName);

#endif
