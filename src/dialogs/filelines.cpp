#include "dialogs/filelines.h"

namespace dialogs {

TFileLine SplitFileLine(const std::string& line) {
  TFileLine f;
  const auto last = line.rfind(';');
  if (last == std::string::npos) {
    f.file = line;
    return f;
  }
  const auto middle = last == 0 ? std::string::npos : line.rfind(';', last - 1);
  f.size = line.substr(last + 1);
  if (middle == std::string::npos) {
    f.file = line.substr(0, last);
    return f;
  }
  f.file = line.substr(0, middle);
  f.date = line.substr(middle + 1, last - middle - 1);
  return f;
}

std::string JoinFileLine(const std::string& file, const std::string& date, const std::string& size) {
  return file + ';' + date + ';' + size;
}

}  // namespace dialogs
