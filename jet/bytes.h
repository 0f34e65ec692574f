// Little- and big-endian integer access on raw page bytes. Callers check
// bounds before reading; these helpers only assemble bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace jet {

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16);
}
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
  return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}
inline uint32_t be24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
inline uint32_t be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
inline double leDouble(const uint8_t* p) {
  uint64_t bits = le64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline float leFloat(const uint8_t* p) {
  uint32_t bits = le32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// A row pointer names a row as page << 8 | row (FORMAT section 0).
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  static RowPointer fromLe(const uint8_t* p) {
    return RowPointer{le24(p + 1), p[0]};
  }
  bool operator==(const RowPointer&) const = default;
  auto operator<=>(const RowPointer&) const = default;
};

}  // namespace jet
