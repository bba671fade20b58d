#include "sizing/passLog.h"

#include "io/error.h"

namespace tambril::sizing {

void PassLog::Open(const std::string& path, const std::vector<std::string>& apart) {
  if (file_.Open(path, apart) == OutputFile::Opened::kRefused) throw CannotWrite(path);
  file_.Put("Lower Bound\tUpper Bound").EndLine();
  file_.Put("===========\t===========").EndLine();
}

void PassLog::Line(double lower, double upper) { file_.Put(lower).Put("\t").Put(upper).EndLine(); }

void PassLog::Close() { file_.Close(); }

}  // namespace tambril::sizing
