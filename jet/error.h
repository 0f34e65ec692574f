// Errors raised by the Jet engine. Every failure is a jet::Error whose
// message names the file, the page when one is involved, and what is wrong,
// so that a user or developer can act on it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace jet {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// "<file>: page <n>: <what>"
[[noreturn]] void failPage(const std::string& file, uint32_t page, const std::string& what);
// "<file>: <what>"
[[noreturn]] void failFile(const std::string& file, const std::string& what);

}  // namespace jet
