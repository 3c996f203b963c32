#include "core/string_list.h"

namespace vx {

namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kDelimiter = u',';

// Characters that force an item into quotes: controls, blank, quote, comma. Only characters
// up to U+00FF are tested; the scan ends at a NUL.
bool NeedsQuotes(UStringView line) {
  for (char16_t c : line) {
    if (c == 0) break;
    if (c <= 0x20 || c == kQuote || c == kDelimiter) return true;
  }
  return false;
}

bool IsSpaceOrControl(char16_t c) {
  return c >= 0x01 && c <= 0x20;
}

}  // namespace

std::ptrdiff_t TStringList::IndexOfName(UStringView name) const {
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    UStringView line = FLines[i];
    std::size_t eq = line.find(u'=');
    if (eq == UStringView::npos) continue;
    if (SameTextLocale(line.substr(0, eq), name)) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

UString TStringList::Value(UStringView name) const {
  std::ptrdiff_t i = IndexOfName(name);
  if (i < 0) return {};
  return FLines[static_cast<std::size_t>(i)].substr(name.size() + 1);
}

void TStringList::SetValue(UStringView name, UStringView value) {
  std::ptrdiff_t i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) FLines.erase(FLines.begin() + i);
    return;
  }
  UString line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append(1, u'=').append(value);
  if (i >= 0) {
    FLines[static_cast<std::size_t>(i)] = std::move(line);
  } else {
    FLines.push_back(std::move(line));
  }
}

UString TStringList::DelimitedText() const {
  if (FLines.size() == 1 && FLines[0].empty()) return u"\"\"";
  UString out;
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    if (i > 0) out.push_back(kDelimiter);
    const UString& line = FLines[i];
    if (!NeedsQuotes(line)) {
      out.append(line);
      continue;
    }
    out.push_back(kQuote);
    for (char16_t c : line) {
      if (c == kQuote) out.push_back(kQuote);
      out.push_back(c);
    }
    out.push_back(kQuote);
  }
  return out;
}

void TStringList::SetDelimitedText(UStringView text) {
  FLines.clear();
  if (std::size_t nul = text.find(u'\0'); nul != UStringView::npos) text = text.substr(0, nul);
  std::size_t p = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (p < n && IsSpaceOrControl(text[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    UString item;
    if (text[p] == kQuote) {
      ++p;
      while (p < n) {
        if (text[p] == kQuote) {
          if (p + 1 < n && text[p + 1] == kQuote) {
            item.push_back(kQuote);
            p += 2;
            continue;
          }
          ++p;  // closing quote
          break;
        }
        item.push_back(text[p++]);
      }
    } else {
      std::size_t start = p;
      while (p < n && text[p] > 0x20 && text[p] != kDelimiter) ++p;
      item.assign(text.substr(start, p - start));
    }
    FLines.push_back(std::move(item));
    skipBlanks();
    if (p < n && text[p] == kDelimiter) {
      if (p + 1 == n) FLines.emplace_back();
      ++p;
      skipBlanks();
    }
  }
}

std::int64_t HandleValue(const TStringList& list, UStringView name) {
  return TryUToInt32(list.Value(name)).value_or(0);
}

}  // namespace vx
