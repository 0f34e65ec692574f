#include "header.h"

#include <array>
#include <cstring>

#include "bytes.h"
#include "error.h"

namespace jet {

namespace {

constexpr size_t kMaskStart = 0x18;
constexpr size_t kMaskLength = 128;

std::array<uint8_t, kMaskLength> makeMask() {
  // RC4 keystream of the key C7 DA 39 6B.
  const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  std::array<uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % 4]);
    std::swap(s[i], s[j]);
  }
  std::array<uint8_t, kMaskLength> out{};
  uint8_t a = 0, b = 0;
  for (auto& o : out) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    o = s[static_cast<uint8_t>(s[a] + s[b])];
  }
  return out;
}

}  // namespace

const uint8_t* headerMask() {
  static const std::array<uint8_t, kMaskLength> mask = makeMask();
  return mask.data();
}

Header readHeader(const Pager& pager) {
  const uint8_t* p = pager.data();  // at least one page long
  const std::string& file = pager.path();
  if (p[0] != 0x00)
    failPage(file, 0, "is not a Jet database header (first byte " + std::to_string(p[0]) + ")");
  char engine[16];
  std::memcpy(engine, p + 4, 15);
  engine[15] = 0;
  std::string name(engine);
  if (name == "MSISAM Database") failFile(file, "is an MSISAM database, not a Jet 4 database");
  if (name != "Standard Jet DB" && name != "Standard ACE DB")
    failFile(file, "is not a Jet database (no \"Standard Jet DB\" signature)");
  uint8_t version = p[0x14];
  if (version == 0)
    failFile(file, "is a Jet 3 (Access 97) database; only Jet 4 (Access 2000-2003) is supported");
  if (version >= 2 || name == "Standard ACE DB")
    failFile(file, "is an ACE (Access 2007 or later) database, format version " +
                       std::to_string(version) + "; only Jet 4 (Access 2000-2003) is supported");
  if (pager.fileSize() % kPageSize != 0)
    failFile(file, "is " + std::to_string(pager.fileSize()) +
                       " bytes long, not a whole number of 4096-byte pages (truncated?)");

  uint8_t h[0x98];
  std::memcpy(h, p, sizeof h);
  const uint8_t* mask = headerMask();
  for (size_t i = 0; i < kMaskLength; ++i) h[kMaskStart + i] ^= mask[i];

  Header out;
  out.codePage = le16(h + 0x3C);
  out.databaseKey = le32(h + 0x3E);
  out.sortOrder.lcid = le16(h + 0x6E);
  out.sortOrder.version = h[0x71];
  out.creationDate = leDouble(h + 0x72);
  if (out.databaseKey != 0)
    failFile(file, "is encrypted (database key " + std::to_string(out.databaseKey) +
                       "); encrypted databases are not supported");
  return out;
}

}  // namespace jet
