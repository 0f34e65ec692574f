#include "text_codec.h"

#include "bytes.h"

namespace jet {

namespace {

inline char* putCodePoint(char* o, uint32_t cp) {
  if (cp < 0x80) {
    *o++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *o++ = static_cast<char>(0xC0 | (cp >> 6));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = static_cast<char>(0xE0 | (cp >> 12));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *o++ = static_cast<char>(0xF0 | (cp >> 18));
    *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return o;
}

// Streams UTF-16 units into UTF-8, pairing surrogates. Writes into room the
// caller reserved: at most 3 bytes per unit (a pair takes 4 for 2 units).
struct Utf8Writer {
  char* o;
  uint16_t pendingHigh = 0;

  void unit(uint16_t u) {
    if (pendingHigh) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        o = putCodePoint(o, 0x10000 + ((static_cast<uint32_t>(pendingHigh) - 0xD800) << 10) + (u - 0xDC00u));
        pendingHigh = 0;
        return;
      }
      o = putCodePoint(o, 0xFFFD);
      pendingHigh = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      pendingHigh = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      o = putCodePoint(o, 0xFFFD);
    } else {
      o = putCodePoint(o, u);
    }
  }
  void finish() {
    if (pendingHigh) o = putCodePoint(o, 0xFFFD);
    pendingHigh = 0;
  }
};

// Runs `fill` on room for `maxBytes` more bytes at the end of `out`, then
// trims `out` to what was written.
template <typename Fill>
void appendWith(std::string& out, size_t maxBytes, Fill&& fill) {
  size_t before = out.size();
  out.resize(before + maxBytes);
  char* end = fill(out.data() + before);
  out.resize(static_cast<size_t>(end - out.data()));
}

template <typename Emit>
void forEachUnit(const uint8_t* p, size_t n, Emit&& emit) {
  if (isCompressedText(p, n)) {
    size_t i = 2;
    bool compressed = true;
    while (i < n) {
      if (p[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        emit(static_cast<uint16_t>(p[i]));
        ++i;
      } else if (i + 1 < n) {
        emit(le16(p + i));
        i += 2;
      } else {
        break;  // a dangling odd byte carries no character
      }
    }
    return;
  }
  for (size_t i = 0; i + 1 < n; i += 2) emit(le16(p + i));
}

}  // namespace

// Converts n bytes of UTF-16LE at p, writing at o; returns the new end.
// The common cases are inline; surrogates look at the next unit directly.
char* convertUtf16le(const uint8_t* p, size_t n, char* o) {
  size_t i = 0;
  while (i + 1 < n) {
    uint32_t u = le16(p + i);
    i += 2;
    if (u < 0x80) {
      *o++ = static_cast<char>(u);
    } else if (u < 0x800) {
      *o++ = static_cast<char>(0xC0 | (u >> 6));
      *o++ = static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0xD800 || u > 0xDFFF) {
      *o++ = static_cast<char>(0xE0 | (u >> 12));
      *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (u & 0x3F));
    } else if (u <= 0xDBFF && i + 1 < n && le16(p + i) >= 0xDC00 && le16(p + i) <= 0xDFFF) {
      o = putCodePoint(o, 0x10000 + ((u - 0xD800) << 10) + (le16(p + i) - 0xDC00u));
      i += 2;
    } else {
      o = putCodePoint(o, 0xFFFD);
    }
  }
  return o;
}

void utf16leToUtf8(const uint8_t* p, size_t n, std::string& out) {
  appendWith(out, n / 2 * 3 + 3, [&](char* o) { return convertUtf16le(p, n, o); });
}

void decodeText(const uint8_t* p, size_t n, std::string& out) {
  if (!isCompressedText(p, n)) {
    utf16leToUtf8(p, n, out);
    return;
  }
  // A compressed byte becomes at most 2 UTF-8 bytes, a 2-byte unit at most 3.
  appendWith(out, n * 2 + 3, [&](char* o) {
    Utf8Writer w{o};
    forEachUnit(p, n, [&](uint16_t u) { w.unit(u); });
    w.finish();
    return w.o;
  });
}

std::string decodeText(const uint8_t* p, size_t n) {
  std::string s;
  decodeText(p, n, s);
  return s;
}

void decodeTextUtf16(const uint8_t* p, size_t n, std::u16string& out) {
  out.clear();
  out.reserve(n);
  forEachUnit(p, n, [&](uint16_t u) { out.push_back(static_cast<char16_t>(u)); });
}

std::u16string decodeTextUtf16(const uint8_t* p, size_t n) {
  std::u16string s;
  decodeTextUtf16(p, n, s);
  return s;
}

std::string utf16ToUtf8(const std::u16string& units) {
  std::string out;
  appendWith(out, units.size() * 3 + 3, [&](char* o) {
    Utf8Writer w{o};
    for (char16_t u : units) w.unit(static_cast<uint16_t>(u));
    w.finish();
    return w.o;
  });
  return out;
}

namespace {

// Calls `unit` with each UTF-16 code unit of a UTF-8 text; a malformed or
// cut sequence gives U+FFFD.
template <typename F>
void forEachUnit(std::string_view text, F&& unit) {
  size_t i = 0, n = text.size();
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  while (i < n) {
    uint32_t cp;
    uint8_t b = byte(i);
    size_t len;
    if (b < 0x80) { unit(static_cast<char16_t>(b)); ++i; continue; }
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1Fu; len = 2; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0Fu; len = 3; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07u; len = 4; }
    else { unit(u'\uFFFD'); ++i; continue; }
    if (i + len > n) { unit(u'\uFFFD'); break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    if (!ok) { unit(u'\uFFFD'); ++i; continue; }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (cp >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(cp));
    }
  }
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& text) {
  // Never more units than bytes; written by index, cut to size at the end.
  std::u16string out(text.size(), u'\0');
  size_t o = 0;
  forEachUnit(text, [&](char16_t u) { out[o++] = u; });
  out.resize(o);
  return out;
}

size_t utf16Length(std::string_view text) {
  size_t n = 0;
  forEachUnit(text, [&](char16_t) { ++n; });
  return n;
}

std::vector<uint8_t> utf8ToUtf16le(std::string_view text, bool& onlyLatin1) {
  std::vector<uint8_t> out(text.size() * 2);
  size_t o = 0;
  onlyLatin1 = true;
  forEachUnit(text, [&](char16_t u) {
    out[o++] = static_cast<uint8_t>(u);
    out[o++] = static_cast<uint8_t>(u >> 8);
    onlyLatin1 = onlyLatin1 && u >= 1 && u <= 0xFF;
  });
  out.resize(o);
  return out;
}

}  // namespace jet

namespace jet {

char16_t upperCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs, upper case on the even (or odd) unit.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c : static_cast<char16_t>(c - 1);
  // Greek.
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 37);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 63);
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  if (c >= 0x460 && c <= 0x4FF && c != 0x482 && !(c >= 0x483 && c <= 0x489))
    return (c & 1) ? static_cast<char16_t>(c - 1) : c;
  // Armenian.
  if (c >= 0x561 && c <= 0x586) return static_cast<char16_t>(c - 48);
  // Fullwidth Latin.
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 32);
  return c;
}

std::u16string toUpperUtf16(std::u16string s) {
  for (char16_t& c : s) c = upperCase(c);
  return s;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  bool ascii = true;
  if (a.size() == b.size()) {
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
      auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 0x80 || y >= 0x80) { ascii = false; break; }
      if (upperCase(x) != upperCase(y)) equal = false;
    }
    if (ascii) return equal;
  }
  return toUpperUtf16(utf8ToUtf16(a)) == toUpperUtf16(utf8ToUtf16(b));
}

}  // namespace jet
