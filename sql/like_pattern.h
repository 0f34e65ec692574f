// Jet's LIKE: `%` any run, `_` one character, `[abc]`, `[a-z]` and `[!...]`
// character lists, letters compared without regard to case in every
// alphabet (see jet::upperCase). An optional escape character makes the
// next pattern character literal.
//
// The pattern is folded and compiled once; matching runs on UTF-16 units,
// or directly on Jet's stored text bytes. A pattern of the form
// `%literal%` (the search's form) becomes a substring search that first
// looks for the literal's first unit in all its case variants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sql {

class LikePattern {
 public:
  explicit LikePattern(const std::u16string& pattern, std::optional<char16_t> escape = std::nullopt);

  // UTF-16LE text at any alignment, `units` code units long.
  bool matchesUtf16le(const uint8_t* text, size_t units) const;
  bool matches(const std::u16string& text) const {
    return matchesUtf16le(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  // Text as Jet stores it (UTF-16LE or compressed).
  bool matchesStored(const uint8_t* bytes, size_t length) const;

  // True for `%literal%` patterns.
  bool isContains() const { return contains_; }

 private:
  enum class Kind : uint8_t { Literal, AnyOne, AnyRun, Set };
  struct Item {
    Kind kind;
    char16_t unit = 0;   // Literal, folded
    size_t set = 0;      // Set: index into sets_
  };
  struct CharSet {
    bool negated = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;  // folded
    bool contains(char16_t folded) const;
  };

  bool one(const Item& item, char16_t unit) const;
  bool matchItems(const uint8_t* text, size_t units) const;
  bool containsLiteral(const uint8_t* text, size_t units) const;

  std::vector<Item> items_;
  std::vector<CharSet> sets_;
  bool contains_ = false;
  std::u16string literal_;               // folded, for `%literal%`
  std::vector<char16_t> firstVariants_;  // units that fold to literal_[0]
  std::string exactBytes_;               // UTF-16LE of a literal with no case variants, else empty
};

}  // namespace sql
