// Jet's LIKE: wildcards, character lists, escape, and letter case ignored
// in every alphabet.
#include <gtest/gtest.h>

#include "jet/text_codec.h"
#include "sql/like_pattern.h"

namespace sql {
namespace {

TEST(LikePattern, MatchesAsJetDoes) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"abc", "ABC", true},
      {"%world%", "Hello World", true},
      {"%world", "Hello World!", false},
      {"h_llo", "hello", true},
      {"h_llo", "hllo", false},
      {"%", "", true},
      {"_", "", false},
      {"%%", "x", true},
      {"[a-c]at", "Bat", true},
      {"[!a-c]at", "bat", false},
      {"[!a-c]at", "rat", true},
      {"[ab]%", "cab", false},
      {"%[%]%", "50% off", true},
      {"%мир%", "Привет, МИР!", true},                 // Cyrillic, case ignored
      {"%σοφια%", "ΣΟΦΊΑ", false},                     // accents are not case
      {"%σοφία%", "ΣΟΦΊΑ", true},
      {"%σοφια%", "ΣΟΦΙΑ", true},                      // Greek
      {"%élan%", "ÉLAN VITAL", true},                  // Latin-1
      {"%分号%", "原因是少了一个分号。", true},         // Chinese
      {"%分号%", "原因是少了一个逗号。", false},
      {"%😀%", "表情 😀🎉", true},                      // outside the BMP
      {"a%b%c", "aXXbYYc", true},
      {"a%b%c", "aXXcYYb", false},
      {"%a%a%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},  // no blow-up
  };
  for (const Case& c : cases) {
    LikePattern p(jet::utf8ToUtf16(c.pattern));
    EXPECT_EQ(p.matches(jet::utf8ToUtf16(c.text)), c.match) << c.pattern << " / " << c.text;
  }
}

TEST(LikePattern, EscapeMakesWildcardsLiteral) {
  LikePattern p(u"%\\%%", u'\\');
  EXPECT_TRUE(p.matches(u"100% sure"));
  EXPECT_FALSE(p.matches(u"100 sure"));
  LikePattern underscore(u"a\\_b", u'\\');
  EXPECT_TRUE(underscore.matches(u"a_b"));
  EXPECT_FALSE(underscore.matches(u"axb"));
}

TEST(LikePattern, MatchesStoredTextInEitherForm) {
  LikePattern p(u"%BC%");
  const uint8_t compressed[] = {0xFF, 0xFE, 'a', 'b', 'c', 'd'};
  const uint8_t plain[] = {'a', 0, 'b', 0, 'c', 0};
  const uint8_t unaligned[] = {0, 'a', 0, 'b', 0, 'c', 0};  // starts at an odd address below
  EXPECT_TRUE(p.matchesStored(compressed, sizeof compressed));
  EXPECT_TRUE(p.matchesStored(plain, sizeof plain));
  EXPECT_TRUE(p.matchesStored(unaligned + 1, sizeof unaligned - 1));
  EXPECT_TRUE(p.isContains());
}

}  // namespace
}  // namespace sql
