#include "io/reporter.h"

#include <iostream>

namespace tambril {

namespace {

class Console : public Reporter {
 public:
  void Progress(std::string_view text) override { std::cout << text << std::flush; }
  void Warning(std::string_view line) override {
    std::cout.flush();
    std::cerr << line << std::endl;
  }
};

}  // namespace

Reporter& ConsoleReporter() {
  static Console console;
  return console;
}

}  // namespace tambril
