#include "long_value.h"

#include "data_page.h"
#include "error.h"

namespace jet {

LongValueHeader parseLongValueHeader(const uint8_t* slot, size_t n, const std::string& file, uint32_t page) {
  if (n < 12) failPage(file, page, "long value header is " + std::to_string(n) + " bytes, not 12");
  LongValueHeader h;
  uint32_t word = le32(slot);
  h.length = word & 0x3FFFFFFF;
  uint8_t kind = static_cast<uint8_t>((word >> 24) & 0xC0);
  if (kind == 0xC0) failPage(file, page, "long value has unknown storage kind 0xC0");
  h.kind = static_cast<LongValueKind>(kind);
  h.first = RowPointer::fromLe(slot + 4);
  return h;
}

namespace {

struct LvalRow {
  const uint8_t* data;
  size_t length;
};

LvalRow lvalRow(const Pager& pager, RowPointer where) {
  DataPageView page = dataPage(pager, where.page);
  if (page.owner() != kLvalOwner)
    failPage(pager.path(), where.page, "is named by a long value but is not a long-value (LVAL) page");
  RowSlot s = page.slot(where.row, pager.path());
  if (s.deleted())
    failPage(pager.path(), where.page, "long-value row " + std::to_string(where.row) + " is deleted");
  return LvalRow{page.bytes + s.start, s.length()};
}

}  // namespace

std::optional<std::span<const uint8_t>> longValueInPlace(const Pager& pager, const uint8_t* slot, size_t n,
                                                         uint32_t rowPage, LongValueHeader* header) {
  const std::string& file = pager.path();
  LongValueHeader h = parseLongValueHeader(slot, n, file, rowPage);
  if (header) *header = h;
  switch (h.kind) {
    case LongValueKind::Inline:
      if (h.length > n - 12)
        failPage(file, rowPage, "inline long value declares " + std::to_string(h.length) +
                                    " bytes but the row holds " + std::to_string(n - 12));
      return std::span<const uint8_t>(slot + 12, h.length);
    case LongValueKind::Single: {
      LvalRow r = lvalRow(pager, h.first);
      if (r.length < h.length)
        failPage(file, h.first.page, "long-value row " + std::to_string(h.first.row) + " holds " +
                                         std::to_string(r.length) + " bytes, the value declares " +
                                         std::to_string(h.length));
      return std::span<const uint8_t>(r.data, h.length);
    }
    case LongValueKind::Chain:
      break;
  }
  return std::nullopt;
}

void readLongValue(const Pager& pager, const uint8_t* slot, size_t n, uint32_t rowPage,
                   std::vector<uint8_t>& out, LvalRowVisitor* visit) {
  const std::string& file = pager.path();
  LongValueHeader h;
  if (auto bytes = longValueInPlace(pager, slot, n, rowPage, &h)) {
    if (visit && h.kind == LongValueKind::Single) visit->lvalRow(h.first);
    out.insert(out.end(), bytes->begin(), bytes->end());
    return;
  }
  // A chain: each row starts with a pointer to the next.
  size_t remaining = h.length;
  RowPointer at = h.first;
  uint32_t hops = 0;
  while (remaining > 0) {
    if (at.page == 0)
      failPage(file, rowPage, "long-value chain ends " + std::to_string(remaining) + " bytes short of its declared length");
    if (++hops > pager.pageCount() * 256u) failPage(file, at.page, "long-value chain does not end (loop)");
    LvalRow r = lvalRow(pager, at);
    if (visit) visit->lvalRow(at);
    if (r.length < 4) failPage(file, at.page, "long-value chain row " + std::to_string(at.row) + " is too short");
    size_t take = std::min(remaining, r.length - 4);
    out.insert(out.end(), r.data + 4, r.data + 4 + take);
    remaining -= take;
    at = RowPointer::fromLe(r.data);
  }
}

}  // namespace jet
