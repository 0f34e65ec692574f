#include "text_codec.h"

#include "bytes.h"

namespace jet {

namespace {

inline void putCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Streams UTF-16 units into UTF-8, pairing surrogates.
struct Utf8Sink {
  std::string& out;
  uint16_t pendingHigh = 0;

  void unit(uint16_t u) {
    if (pendingHigh) {
      if (u >= 0xDC00 && u <= 0xDFFF) {
        putCodePoint(out, 0x10000 + ((static_cast<uint32_t>(pendingHigh) - 0xD800) << 10) + (u - 0xDC00u));
        pendingHigh = 0;
        return;
      }
      putCodePoint(out, 0xFFFD);
      pendingHigh = 0;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      pendingHigh = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      putCodePoint(out, 0xFFFD);
    } else {
      putCodePoint(out, u);
    }
  }
  void finish() {
    if (pendingHigh) putCodePoint(out, 0xFFFD);
    pendingHigh = 0;
  }
};

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

void utf16leToUtf8(const uint8_t* p, size_t n, std::string& out) {
  out.reserve(out.size() + n + n / 2);
  Utf8Sink sink{out};
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    uint16_t u = le16(p + i);
    if (u < 0x80 && !sink.pendingHigh) {
      out.push_back(static_cast<char>(u));
    } else {
      sink.unit(u);
    }
  }
  sink.finish();
}

void decodeText(const uint8_t* p, size_t n, std::string& out) {
  if (!isCompressedText(p, n)) {
    utf16leToUtf8(p, n, out);
    return;
  }
  Utf8Sink sink{out};
  forEachUnit(p, n, [&](uint16_t u) { sink.unit(u); });
  sink.finish();
}

std::string decodeText(const uint8_t* p, size_t n) {
  std::string s;
  decodeText(p, n, s);
  return s;
}

std::u16string decodeTextUtf16(const uint8_t* p, size_t n) {
  std::u16string s;
  s.reserve(n / 2 + 1);
  forEachUnit(p, n, [&](uint16_t u) { s.push_back(static_cast<char16_t>(u)); });
  return s;
}

std::string utf16ToUtf8(const std::u16string& units) {
  std::string out;
  Utf8Sink sink{out};
  for (char16_t u : units) sink.unit(static_cast<uint16_t>(u));
  sink.finish();
  return out;
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  size_t i = 0, n = text.size();
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  while (i < n) {
    uint32_t cp;
    uint8_t b = byte(i);
    size_t len;
    if (b < 0x80) { cp = b; len = 1; }
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1Fu; len = 2; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0Fu; len = 3; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07u; len = 4; }
    else { out.push_back(u'\uFFFD'); ++i; continue; }
    if (i + len > n) { out.push_back(u'\uFFFD'); break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    if (!ok) { out.push_back(u'\uFFFD'); ++i; continue; }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace jet
