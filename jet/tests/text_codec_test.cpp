// Compressed Unicode, including values that switch between one-byte and
// two-byte runs, and UTF-16 with characters outside the BMP.
#include <gtest/gtest.h>

#include "jet/text_codec.h"

namespace jet {
namespace {

std::string decode(std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> v(bytes);
  return decodeText(v.data(), v.size());
}

TEST(TextCodec, DecodesEveryStoredForm) {
  EXPECT_EQ(decode({0x61, 0x00}), "a");                                 // plain UTF-16
  EXPECT_EQ(decode({0xFF, 0xFE, 0x61, 0x62, 0x63}), "abc");             // compressed
  EXPECT_EQ(decode({0xFF, 0xFE, 0x61, 0x00, 0x2D, 0x4E, 0x00, 0x62}),   // toggled runs
            "a\xE4\xB8\xAD" "b");
  EXPECT_EQ(decode({0xFF, 0xFE, 0x61, 0x00, 0x2D, 0x4E}), "a\xE4\xB8\xAD");  // ends uncompressed
  EXPECT_EQ(decode({0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");     // surrogate pair
  EXPECT_EQ(decode({0x3D, 0xD8}), "\xEF\xBF\xBD");                     // lone surrogate
  EXPECT_EQ(decode({0x61, 0x00, 0x62}), "a");                          // odd trailing byte
  EXPECT_EQ(decode({}), "");
}

TEST(TextCodec, Utf8RoundTripsThroughUtf16) {
  std::string s = "Ostrel \xE4\xB8\xAD\xE6\x96\x87 \xED\x95\x9C \xF0\x9F\x98\x80";
  EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(s)), s);
}

TEST(TextCodec, CaseFoldingCoversSeveralAlphabets) {
  EXPECT_TRUE(equalsIgnoreCase("forum_forum", "FORUM_FORUM"));
  EXPECT_TRUE(equalsIgnoreCase("\xD0\xBC\xD0\xB8\xD1\x80", "\xD0\x9C\xD0\x98\xD0\xA0"));  // мир / МИР
  EXPECT_TRUE(equalsIgnoreCase("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));                // été / ÉTÉ
  EXPECT_FALSE(equalsIgnoreCase("abc", "abd"));
}

}  // namespace
}  // namespace jet
