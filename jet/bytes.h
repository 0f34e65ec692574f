// Little- and big-endian integer access on raw page bytes. Callers check
// bounds before reading; these helpers only assemble bytes.
#pragma once

#include <compare>
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

inline void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A row pointer names a row as page << 8 | row (FORMAT section 0).
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  static RowPointer fromLe(const uint8_t* p) {
    return RowPointer{le24(p + 1), p[0]};
  }
  void toLe(uint8_t* p) const {
    p[0] = row;
    p[1] = static_cast<uint8_t>(page);
    p[2] = static_cast<uint8_t>(page >> 8);
    p[3] = static_cast<uint8_t>(page >> 16);
  }
  bool operator==(const RowPointer&) const = default;
  auto operator<=>(const RowPointer&) const = default;
};

}  // namespace jet
