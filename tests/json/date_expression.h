#pragma once
// The date expression matched by PCRE2, as the oracle for the library's own matching of it: all
// matches of the expression in a text are collected, and the text is a date text when there is
// exactly one and it equals the text without its blanks; then its groups are those of TISO8601.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <array>
#include <memory>
#include <optional>

#include "core/ustring.h"
#include "json/dates/recognition.h"

namespace vx::json::testing {

// The groups of the one match of a date text (1-based, empty when they took no part); nullopt
// for a text that is no date text.
inline std::optional<std::array<UString, TISO8601::kGroupCount + 1>> ExpressionGroups(UStringView text) {
  static constexpr char16_t kPattern[] =
      u"(?=\\d{4})((\\d{4})-(\\d{2})-(\\d{2}))?(T(\\d{2})\\:(\\d{2})\\:(\\d{2})(Z)?(\\.(\\d{1,3})(Z)?)?"
      u"([+-](\\d{2})\\:(\\d{2}))?)?|(\\d{2})\\:(\\d{2})\\:(\\d{2})(Z)?(\\.(\\d{1,3}))?([+-](\\d{2})\\:(\\d{"
      u"2})"
      u")?";
  struct TFree {
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
  };
  static const std::unique_ptr<pcre2_code, TFree> code = [] {
    int error = 0;
    PCRE2_SIZE offset = 0;
    return std::unique_ptr<pcre2_code, TFree>(pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr));
  }();
  const std::unique_ptr<pcre2_match_data, TFree> md(
      pcre2_match_data_create_from_pattern(code.get(), nullptr));
  const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  std::array<UString, TISO8601::kGroupCount + 1> groups;
  int matches = 0;
  UStringView whole;
  PCRE2_SIZE start = 0;
  std::uint32_t options = 0;
  while (start <= text.size()) {
    const int rc = pcre2_match(code.get(), subject, text.size(), start, options, md.get(), nullptr);
    if (rc < 0) {
      if (options == 0) break;
      // No non-empty match where an empty one was: move on by one character.
      options = 0;
      ++start;
      continue;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.get());
    if (++matches > 1) return std::nullopt;
    whole = text.substr(ov[0], ov[1] - ov[0]);
    for (int g = 1; g <= TISO8601::kGroupCount; ++g) {
      if (g < rc && ov[2 * g] != PCRE2_UNSET)
        groups[g] = UString(text.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g]));
    }
    start = ov[1];
    options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
  }
  if (matches != 1 || Trim(whole) != Trim(text)) return std::nullopt;
  return groups;
}

}  // namespace vx::json::testing
