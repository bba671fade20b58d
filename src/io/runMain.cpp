#include "io/runMain.h"

#include <iostream>
#include <new>
#include <stdexcept>

#include "io/error.h"
#include "io/outputFile.h"

namespace tambril {

int RunMain(const std::function<void()>& body, const std::string& prefix) {
  return RunMainWithStatus(
      [&] {
        body();
        return 0;
      },
      prefix);
}

int RunMainWithStatus(const std::function<int()>& body, const std::string& prefix) {
  RemoveTemporariesOnSignals();
  try {
    return body();
  } catch (const Error& error) {
    std::cout.flush();
    std::cerr << error.what() << std::endl;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << prefix << "Memory Error: not enough memory" << std::endl;
  } catch (const std::length_error&) {  // a size beyond what can be allocated at all
    std::cout.flush();
    std::cerr << prefix << "Memory Error: not enough memory" << std::endl;
  } catch (const std::exception& fault) {
    // Input that no check foresaw: an error line rather than an abort, and the temporaries of
    // result files are removed as the stack unwinds.
    std::cout.flush();
    std::cerr << prefix << "Internal Error: " << fault.what() << std::endl;
  }
  return 1;
}

}  // namespace tambril
