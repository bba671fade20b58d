#include "run/runMain.h"

#include <iostream>
#include <new>

#include "io/error.h"

namespace tambril {

int RunMain(const std::function<void()>& body, const std::string& prefix) {
  try {
    body();
    return 0;
  } catch (const Error& error) {
    std::cout.flush();
    std::cerr << error.what() << std::endl;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << prefix << "Memory Error: not enough memory" << std::endl;
  }
  return 1;
}

}  // namespace tambril
