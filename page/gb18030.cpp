#include "gb18030.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace page {

namespace {

// One converter for the process; iconv state is reset before each use.
iconv_t converter() {
  static iconv_t cd = [] {
    iconv_t c = iconv_open("GB18030", "UTF-8");
    if (c == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("this system cannot convert text to GB18030");
    return c;
  }();
  return cd;
}

}  // namespace

std::string toGb18030(std::string_view utf8) {
  iconv_t cd = converter();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(utf8.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  size_t done = 0;
  while (inLeft > 0) {
    char* to = out.data() + done;
    size_t toLeft = out.size() - done;
    size_t r = iconv(cd, &in, &inLeft, &to, &toLeft);
    done = out.size() - toLeft;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      // A malformed or cut sequence: U+FFFD in its place, then go on.
      static const char replacement[] = "\x84\x31\xA4\x37";
      if (out.size() - done < 4) out.resize(out.size() * 2);
      out.replace(done, 4, replacement, 4);
      done += 4;
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  out.resize(done);
  return out;
}

}  // namespace page
