// The database header (page 0): format version, code page, sort order,
// creation date and encryption key. Bytes 0x18..0x97 are masked with a fixed
// RC4 keystream; header.cpp unmasks them.
#pragma once

#include <cstdint>
#include <string>

#include "pager.h"

namespace jet {

struct SortOrder {
  uint16_t lcid = 0;
  uint8_t version = 0;
  // General (legacy), the only order whose text keys we can compute.
  bool isGeneralLegacy() const { return lcid == 1033 && version == 0; }
  bool operator==(const SortOrder&) const = default;
};

struct Header {
  uint16_t codePage = 0;
  uint32_t databaseKey = 0;
  SortOrder sortOrder;
  double creationDate = 0;  // Jet date (days since 1899-12-30)
};

// Reads and validates page 0. Refuses Jet 3, ACE, MSISAM and encrypted files
// with a message naming what was found.
Header readHeader(const Pager& pager);

// The 128-byte mask applied to header bytes 0x18..0x97.
const uint8_t* headerMask();

}  // namespace jet
