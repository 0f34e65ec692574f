// The General (legacy) sort order: per UTF-16 code unit, how it contributes
// to a text index key (see index_key.cpp and collation/README.md).
#pragma once

#include <cstdint>

namespace jet {

struct CollationEntry {
  char kind;             // X S I U P Z (surrogates are computed, not listed)
  uint8_t inlineLength;
  uint8_t inlineBytes[4];
  uint8_t extraLength;
  uint8_t extraBytes[2];
  uint8_t code;          // U: unprintable code; P: modifier
  uint8_t crazy;         // Z: 2 or 3
};

extern const CollationEntry kGeneralLegacy[0x10000];

}  // namespace jet
