#include "value.h"

#include <cmath>
#include <cstdio>

#include "bytes.h"
#include "text_codec.h"

namespace jet {

std::u16string textUnits(const Value& v) {
  if (auto u = std::get_if<std::u16string>(&v)) return *u;
  return utf8ToUtf16(std::get<std::string>(v));
}

size_t textLength(const Value& v) {
  if (auto u = std::get_if<std::u16string>(&v)) return u->size();
  return utf16Length(std::get<std::string>(v));
}

Value decodeFixed(const Column& c, const uint8_t* p, size_t n) {
  switch (c.type) {
    case ColumnType::Byte:
      if (n >= 1) return static_cast<int64_t>(p[0]);
      break;
    case ColumnType::Integer:
      if (n >= 2) return static_cast<int64_t>(static_cast<int16_t>(le16(p)));
      break;
    case ColumnType::Long:
      if (n >= 4) return static_cast<int64_t>(static_cast<int32_t>(le32(p)));
      break;
    case ColumnType::Currency:
      if (n >= 8) return Currency{static_cast<int64_t>(le64(p))};
      break;
    case ColumnType::Single:
      if (n >= 4) return leFloat(p);
      break;
    case ColumnType::Double:
      if (n >= 8) return leDouble(p);
      break;
    case ColumnType::DateTime:
      if (n >= 8) return DateTime{leDouble(p)};
      break;
    case ColumnType::Guid:
      if (n >= 16) {
        Guid g;
        std::copy(p, p + 16, g.bytes.begin());
        return g;
      }
      break;
    case ColumnType::Decimal:
      if (n >= 17) {
        Decimal d;
        d.negative = (p[0] & 0x80) != 0;
        for (int w = 0; w < 4; ++w) d.magnitude = (d.magnitude << 32) | le32(p + 1 + 4 * w);
        d.scale = c.scale;
        return d;
      }
      break;
    default:
      return Bytes(p, p + n);
  }
  return Bytes(p, p + n);
}

bool toCalendar(double days, CalendarTime& out) {
  if (!std::isfinite(days) || days < -657434.0 || days > 2958465.99999) return false;
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  // Round to the nearest microsecond so that 0.5 s stored as a binary
  // fraction prints as .5, not .4999999.
  int64_t micros = std::llround(fraction * 86400.0 * 1e6);
  int64_t day = static_cast<int64_t>(whole);
  if (micros >= 86400LL * 1000000) {
    micros -= 86400LL * 1000000;
    day += days < 0 ? -1 : 1;
  }
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
  int64_t z = day - 25569 + 719468;  // 1899-12-30 is 25569 days before 1970-01-01
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  out.year = static_cast<int>(y + (m <= 2));
  out.month = static_cast<int>(m);
  out.day = static_cast<int>(d);
  int64_t secs = micros / 1000000;
  out.nanos = (micros % 1000000) * 1000;
  out.hour = static_cast<int>(secs / 3600);
  out.minute = static_cast<int>((secs / 60) % 60);
  out.second = static_cast<int>(secs % 60);
  return true;
}

std::string guidText(const uint8_t* k) {
  char tmp[48];
  std::snprintf(tmp, sizeof tmp, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", k[3], k[2],
                k[1], k[0], k[5], k[4], k[7], k[6], k[8], k[9], k[10], k[11], k[12], k[13], k[14], k[15]);
  return tmp;
}

std::string decimalText(bool negative, uint128 magnitude, unsigned scale) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  while (digits.size() <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  if (negative) digits.insert(digits.begin(), '-');
  return digits;
}

}  // namespace jet
