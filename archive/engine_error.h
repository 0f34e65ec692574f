// The one exception type the database interface raises. Its message is the
// engine's own text (SQLite's or the Jet engine's), unchanged.
#pragma once

#include <stdexcept>
#include <string>

namespace archive {

class EngineError : public std::runtime_error {
 public:
  explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace archive
