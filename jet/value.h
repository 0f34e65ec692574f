// Decoded column values. A Value's meaning follows its column's type:
// Byte, Integer and Long hold `int64_t`; Currency holds the amount times
// 10,000; DateTime holds the stored double (days since 1899-12-30).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "tdef.h"

namespace jet {

__extension__ typedef unsigned __int128 uint128;
__extension__ typedef __int128 int128;

struct Currency {
  int64_t scaled = 0;  // amount * 10,000
  bool operator==(const Currency&) const = default;
};
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};
struct Guid {
  std::array<uint8_t, 16> bytes{};  // storage order
  bool operator==(const Guid&) const = default;
};
struct Decimal {
  bool negative = false;
  uint128 magnitude = 0;  // unscaled
  uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};
using Bytes = std::vector<uint8_t>;

// Text is UTF-8 (std::string) as read; writers also take UTF-16 units
// (std::u16string), the form the SQL bridge holds text in, so that it is
// not converted there and back.
using Value = std::variant<std::monostate, bool, int64_t, Currency, float, double, DateTime,
                           std::string, Bytes, Guid, Decimal, std::u16string>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }
inline bool isText(const Value& v) {
  return std::holds_alternative<std::string>(v) || std::holds_alternative<std::u16string>(v);
}
// The UTF-16 units of a text value (either form). REQUIRES: isText(v).
std::u16string textUnits(const Value& v);
// Characters (UTF-16 units) of a text value, without converting it.
size_t textLength(const Value& v);

// Decodes a fixed-length value of `column` from its stored bytes (exactly
// the column's length, which the caller has checked).
Value decodeFixed(const Column& column, const uint8_t* bytes, size_t length);

// Jet date (days since 1899-12-30, fraction = time of day even for negative
// days) to calendar fields; returns false for values no calendar can show.
struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int64_t nanos = 0;
};
bool toCalendar(double days, CalendarTime& out);

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} from the 16 stored bytes (first
// three fields little-endian, as Windows stores GUIDs).
std::string guidText(const uint8_t* bytes);

// Unscaled 128-bit integer as decimal digits, `scale` of them after a point.
std::string decimalText(bool negative, uint128 magnitude, unsigned scale);

}  // namespace jet
