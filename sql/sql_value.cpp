#include "sql_value.h"

#include <charconv>

namespace sql {

std::string SqlValue::asString() const {
  switch (type) {
    case Type::Null: return std::string();
    case Type::Integer: return std::to_string(integer);
    case Type::Real: {
      char tmp[64];
      auto r = std::to_chars(tmp, tmp + sizeof tmp, real);
      return std::string(tmp, r.ptr);
    }
    case Type::Text:
    case Type::Blob: return bytes;
  }
  return std::string();
}

}  // namespace sql
