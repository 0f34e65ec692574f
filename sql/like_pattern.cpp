#include "like_pattern.h"

#include <cstring>

#include <algorithm>

#include "jet/text_codec.h"

namespace sql {

using jet::upperCase;

namespace {
// Unit i of UTF-16LE text at any alignment.
inline char16_t unitAt(const uint8_t* t, size_t i) {
  return static_cast<char16_t>(t[2 * i] | (t[2 * i + 1] << 8));
}
}  // namespace

bool LikePattern::CharSet::contains(char16_t c) const {
  bool in = false;
  for (const auto& [lo, hi] : ranges)
    if (c >= lo && c <= hi) {
      in = true;
      break;
    }
  return in != negated;
}

LikePattern::LikePattern(const std::u16string& p, std::optional<char16_t> escape) {
  for (size_t i = 0; i < p.size(); ++i) {
    char16_t c = p[i];
    if (escape && c == *escape && i + 1 < p.size()) {
      items_.push_back(Item{Kind::Literal, upperCase(p[++i]), 0});
    } else if (c == u'%') {
      if (items_.empty() || items_.back().kind != Kind::AnyRun) items_.push_back(Item{Kind::AnyRun, 0, 0});
    } else if (c == u'_') {
      items_.push_back(Item{Kind::AnyOne, 0, 0});
    } else if (c == u'[') {
      size_t close = p.find(u']', i + 2);
      if (close == std::u16string::npos) {
        items_.push_back(Item{Kind::Literal, c, 0});  // an unclosed '[' is itself
        continue;
      }
      CharSet set;
      size_t k = i + 1;
      if (p[k] == u'!') {
        set.negated = true;
        ++k;
      }
      for (; k < close; ++k) {
        char16_t lo = upperCase(p[k]);
        if (k + 2 < close && p[k + 1] == u'-') {
          char16_t hi = upperCase(p[k + 2]);
          set.ranges.emplace_back(std::min(lo, hi), std::max(lo, hi));
          k += 2;
        } else {
          set.ranges.emplace_back(lo, lo);
        }
      }
      sets_.push_back(std::move(set));
      items_.push_back(Item{Kind::Set, 0, sets_.size() - 1});
      i = close;
    } else {
      items_.push_back(Item{Kind::Literal, upperCase(c), 0});
    }
  }
  // %literal%: a substring search.
  if (items_.size() >= 3 && items_.front().kind == Kind::AnyRun && items_.back().kind == Kind::AnyRun) {
    contains_ = std::all_of(items_.begin() + 1, items_.end() - 1, [](const Item& it) { return it.kind == Kind::Literal; });
    if (contains_) {
      for (size_t k = 1; k + 1 < items_.size(); ++k) literal_.push_back(items_[k].unit);
      for (uint32_t u = 0; u < 0x10000; ++u)
        if (upperCase(static_cast<char16_t>(u)) == literal_[0]) firstVariants_.push_back(static_cast<char16_t>(u));
      // A literal none of whose units has another case (Chinese, digits,
      // punctuation) is found by a plain byte search.
      exactBytes_.clear();
      bool caseless = literal_.size() <= 64;
      for (size_t k = 0; caseless && k < literal_.size(); ++k) {
        for (uint32_t u = 0; u < 0x10000 && caseless; ++u)
          if (u != literal_[k] && upperCase(static_cast<char16_t>(u)) == literal_[k]) caseless = false;
        exactBytes_.push_back(static_cast<char>(literal_[k] & 0xFF));
        exactBytes_.push_back(static_cast<char>(literal_[k] >> 8));
      }
      if (!caseless) exactBytes_.clear();
    }
  }
}

bool LikePattern::containsLiteral(const uint8_t* t, size_t n) const {
  const size_t m = literal_.size();
  if (m > n) return false;
  if (!exactBytes_.empty()) {
    // The literal's bytes at an even offset (a unit boundary).
    size_t from = 0;
    while (from + exactBytes_.size() <= 2 * n) {
      const void* hit = memmem(t + from, 2 * n - from, exactBytes_.data(), exactBytes_.size());
      if (!hit) return false;
      size_t at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - t);
      if (at % 2 == 0) return true;
      from = at + 1;
    }
    return false;
  }
  const size_t last = n - m;
  auto rest = [&](size_t at) {
    for (size_t k = 1; k < m; ++k)
      if (upperCase(unitAt(t, at + k)) != literal_[k]) return false;
    return true;
  };
  if (firstVariants_.size() == 1) {
    const char16_t first = firstVariants_[0];
    for (size_t i = 0; i <= last; ++i)
      if (unitAt(t, i) == first && rest(i)) return true;
    return false;
  }
  const char16_t a = firstVariants_[0], b = firstVariants_.size() > 1 ? firstVariants_[1] : a;
  const bool few = firstVariants_.size() <= 2;
  for (size_t i = 0; i <= last; ++i) {
    char16_t c = unitAt(t, i);
    bool hit = few ? (c == a || c == b) : upperCase(c) == literal_[0];
    if (hit && rest(i)) return true;
  }
  return false;
}

bool LikePattern::one(const Item& it, char16_t c) const {
  switch (it.kind) {
    case Kind::Literal: return upperCase(c) == it.unit;
    case Kind::AnyOne: return true;
    case Kind::Set: return sets_[it.set].contains(upperCase(c));
    case Kind::AnyRun: break;
  }
  return false;
}

// Every item but `%` matches exactly one unit, so a `%` only ever needs to
// retry from the last one seen: O(text * pattern) at worst, never exponential.
bool LikePattern::matchItems(const uint8_t* t, size_t n) const {
  const size_t none = static_cast<size_t>(-1);
  size_t p = 0, s = 0, starItem = none, starText = 0;
  while (s < n) {
    if (p < items_.size() && items_[p].kind == Kind::AnyRun) {
      starItem = p++;
      starText = s;
    } else if (p < items_.size() && one(items_[p], unitAt(t, s))) {
      ++p;
      ++s;
    } else if (starItem != none) {
      p = starItem + 1;
      s = ++starText;
    } else {
      return false;
    }
  }
  while (p < items_.size() && items_[p].kind == Kind::AnyRun) ++p;
  return p == items_.size();
}

bool LikePattern::matchesUtf16le(const uint8_t* text, size_t units) const {
  if (contains_) return containsLiteral(text, units);
  return matchItems(text, units);
}

bool LikePattern::matchesStored(const uint8_t* bytes, size_t length) const {
  if (!jet::isCompressedText(bytes, length)) return matchesUtf16le(bytes, length / 2);
  // Compressed text: decoded into a buffer reused across rows.
  thread_local std::u16string units;
  jet::decodeTextUtf16(bytes, length, units);
  return matches(units);
}

}  // namespace sql
