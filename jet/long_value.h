// Long values (Memo and OLE). The row holds a 12-byte header: u32 whose low
// 30 bits are the total length and top bits the storage kind (0x80 inline,
// 0x40 one LVAL row, 0x00 a chain of LVAL rows each starting with a row
// pointer to the next), a row pointer, and 4 more bytes. LVAL rows live on
// data pages whose owner field reads "LVAL".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bytes.h"
#include "pager.h"

namespace jet {

enum class LongValueKind : uint8_t { Inline = 0x80, Single = 0x40, Chain = 0x00 };

struct LongValueHeader {
  uint32_t length = 0;
  LongValueKind kind = LongValueKind::Inline;
  RowPointer first;
};

// Parses the header from the row's slot bytes; raises on a short slot or an
// unknown kind.
LongValueHeader parseLongValueHeader(const uint8_t* slot, size_t slotLength, const std::string& file,
                                     uint32_t page);

// The bytes of an inline value or of one LVAL row where they lie (no copy);
// nothing for a chain, which only readLongValue assembles. Checked as
// readLongValue checks them.
std::optional<std::span<const uint8_t>> longValueInPlace(const Pager& pager, const uint8_t* slot, size_t slotLength,
                                                         uint32_t rowPage, LongValueHeader* header = nullptr);

// Appends the whole value to `out`. Every LVAL row followed must be on an
// LVAL data page; a chain is bounded by the file's page count and must cover
// exactly the declared length. `visit`, when given, receives every LVAL row.
struct LvalRowVisitor {
  virtual ~LvalRowVisitor() = default;
  virtual void lvalRow(RowPointer where) = 0;
};
void readLongValue(const Pager& pager, const uint8_t* slot, size_t slotLength, uint32_t rowPage,
                   std::vector<uint8_t>& out, LvalRowVisitor* visit = nullptr);

}  // namespace jet
