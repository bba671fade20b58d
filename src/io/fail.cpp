#include "io/fail.h"

#include <cstdlib>
#include <iostream>

void Fail(const std::string& line) {
  std::cout.flush();
  std::cerr << line << std::endl;
  std::exit(1);
}

void FailCannotOpen(const std::string& fileName) {
  Fail("File Error: " + fileName + " could not be opened");
}

void FailCannotParse(const std::string& fileName) {
  Fail("Format Error: " + fileName + " could not be parsed");
}

void FailCannotRead(const std::string& typeName) {
  Fail("Data Error: [" + typeName + "] could not be read");
}

void FailCannotWrite(const std::string& fileName) {
  Fail("File Error: " + fileName + " could not be written");
}
