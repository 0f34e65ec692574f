// Key encoding against keys Access itself wrote (examples of the format
// reference), for text, numbers and descending order.
#include <gtest/gtest.h>

#include "jet/index_key.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

std::string hex(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(d[c >> 4]);
    out.push_back(d[c & 15]);
  }
  return out;
}

TEST(IndexKey, TextKeysEqualThoseAccessWrote) {
  struct Case {
    std::u16string text;
    const char* key;  // after the 7F flag
  } cases[] = {
      {u"only ascii chars", "64 62 5E 76 07 4A 6B 4D 59 59 07 4D 57 4A 69 6B 01 00"},
      {u"\u00FCmlaut", "6F 60 5E 4A 6F 6D 01 13 00"},
      {u"\u00E4\u00E4kk\u00F6si\u00E4", "4A 4A 5C 5C 64 6B 59 4A 01 13 13 02 02 13 02 02 13 00"},
      {u"\u041C\u0438\u0440", "79 43 79 3B 79 48 01 00"},
      {u"\u6F22\u5B57\u4EEE\u540D\u4EA4\u3058\u308A\u6587",
       "C0 B6 AC AC A0 0D A5 47 9F BE 7F 13 7F 43 B6 F6 01 02 02 02 02 02 03 01 01 FF 02 80 FF 80 00"},
      {u"3L9\u001D52\u0002_AB(\u00A5\u0005!!V",
       "3C 5E 48 40 3A 2B 03 4A 4C 14 34 A9 09 09 71 01 01 01 01 80 13 06 1A 80 1B 06 04 80 2F 06 07 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(hex(encodeTextKey(c.text, true)), c.key) << utf16ToUtf8(c.text);
}

TEST(IndexKey, TextKeysIgnoreCaseAndTrailingSpaces) {
  EXPECT_EQ(encodeTextKey(u"Ab  ", true), encodeTextKey(u"aB", true));
  EXPECT_NE(encodeTextKey(u" ab", true), encodeTextKey(u"ab", true));
}

TEST(IndexKey, DescendingTextInvertsAndTerminates) {
  EXPECT_EQ(hex(encodeTextKey(u"abc", false)), "B5 B3 B2 FE FF 00");
}

TEST(IndexKey, NumbersSortAsTheirBytes) {
  Column lng;
  lng.type = ColumnType::Long;
  Column dbl;
  dbl.type = ColumnType::Double;
  Column boolean;
  boolean.type = ColumnType::Boolean;
  auto key = [](const Column& c, bool asc, Value v) {
    std::string k;
    appendKeyPart(k, c, asc, v);
    return hex(k);
  };
  EXPECT_EQ(key(lng, true, int64_t{0}), "7F 80 00 00 00");
  EXPECT_EQ(key(lng, true, int64_t{-1}), "7F 7F FF FF FF");
  EXPECT_EQ(key(lng, false, int64_t{0}), "80 7F FF FF FF");
  EXPECT_EQ(key(lng, true, Value{}), "00");
  EXPECT_EQ(key(lng, false, Value{}), "FF");
  EXPECT_EQ(key(dbl, true, 1.0), "7F BF F0 00 00 00 00 00 00");
  EXPECT_EQ(key(dbl, true, -1.0), "7F 40 0F FF FF FF FF FF FF");
  EXPECT_EQ(key(boolean, true, true), "7F 00");
  EXPECT_EQ(key(boolean, true, false), "7F FF");
  EXPECT_EQ(key(boolean, false, true), "80 FF");
}

TEST(IndexKey, OtherSortOrdersAreRefused) {
  TableDef def;
  def.name = "T";
  Column text;
  text.name = "Name";
  text.type = ColumnType::Text;
  text.sortOrder = SortOrder{2052, 0};  // a Chinese sort order
  def.columns.push_back(text);
  RealIndex ix;
  ix.columns.push_back(IndexColumn{0, true});
  std::string why;
  EXPECT_FALSE(canEncodeKeys(def, ix, SortOrder{1033, 0}, &why));
  EXPECT_NE(why.find("sort order 2052"), std::string::npos) << why;
  def.columns[0].sortOrder = SortOrder{0, 0};  // the database default
  EXPECT_TRUE(canEncodeKeys(def, ix, SortOrder{1033, 0}, &why));
}

}  // namespace
}  // namespace jet
