// A value as SQLite returns it, kept after the statement is gone.
#pragma once

#include <cstdint>
#include <string>

namespace sql {

struct SqlValue {
  enum class Type { Null, Integer, Real, Text, Blob };
  Type type = Type::Null;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // Text (UTF-8) or Blob

  bool isNull() const { return type == Type::Null; }
  // Text form: empty for null, integers in decimal, reals in the shortest
  // form that reads back the same, text as is, blobs as their raw bytes.
  std::string asString() const;
};

}  // namespace sql
