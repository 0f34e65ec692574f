#include "error.h"

namespace jet {

void failPage(const std::string& file, uint32_t page, const std::string& what) {
  throw Error(file + ": page " + std::to_string(page) + ": " + what);
}

void failFile(const std::string& file, const std::string& what) {
  throw Error(file + ": " + what);
}

}  // namespace jet
