#pragma once
// ASCII-only text helpers for every module, the platform layer included: case folding and
// comparison in which only the letters A-Z and a-z fold (names on the wire, keys, URL schemes,
// program names), and trimming. Each works on narrow (UTF-8, ANSI) and UTF-16 text alike.
#include <string_view>
#include <type_traits>

namespace vx {

template <class C>
[[nodiscard]] constexpr C AsciiLower(C c) noexcept {
  return (c >= C('A') && c <= C('Z')) ? static_cast<C>(c + 32) : c;
}
template <class C>
[[nodiscard]] constexpr C AsciiUpper(C c) noexcept {
  return (c >= C('a') && c <= C('z')) ? static_cast<C>(c - 32) : c;
}
// U+0000..U+0020: the control characters and the space.
template <class C>
[[nodiscard]] constexpr bool IsBlankChar(C c) noexcept {
  return static_cast<std::make_unsigned_t<C>>(c) <= 0x20;
}

namespace text_detail {

template <class C>
constexpr bool EqualNoCase(std::basic_string_view<C> a, std::basic_string_view<C> b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

template <class C>
constexpr std::size_t FindNoCase(std::basic_string_view<C> text, std::basic_string_view<C> needle) noexcept {
  if (needle.size() > text.size()) return std::basic_string_view<C>::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i)
    if (EqualNoCase(text.substr(i, needle.size()), needle)) return i;
  return std::basic_string_view<C>::npos;
}

template <class C, class Pred>
constexpr std::basic_string_view<C> Trim(std::basic_string_view<C> s, Pred blank) noexcept {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace text_detail

// Equal when the texts differ at most in the case of ASCII letters.
[[nodiscard]] constexpr bool EqualNoCase(std::string_view a, std::string_view b) noexcept {
  return text_detail::EqualNoCase(a, b);
}
[[nodiscard]] constexpr bool EqualNoCase(std::u16string_view a, std::u16string_view b) noexcept {
  return text_detail::EqualNoCase(a, b);
}

[[nodiscard]] constexpr bool StartsWithNoCase(std::string_view s, std::string_view prefix) noexcept {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}
[[nodiscard]] constexpr bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) noexcept {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

[[nodiscard]] constexpr bool ContainsNoCase(std::string_view text, std::string_view needle) noexcept {
  return text_detail::FindNoCase(text, needle) != std::string_view::npos;
}
[[nodiscard]] constexpr bool ContainsNoCase(std::u16string_view text, std::u16string_view needle) noexcept {
  return text_detail::FindNoCase(text, needle) != std::u16string_view::npos;
}

// Without the blanks (U+0000..U+0020) at both ends.
[[nodiscard]] constexpr std::string_view Trim(std::string_view s) noexcept {
  return text_detail::Trim(s, [](char c) { return IsBlankChar(c); });
}
[[nodiscard]] constexpr std::u16string_view Trim(std::u16string_view s) noexcept {
  return text_detail::Trim(s, [](char16_t c) { return IsBlankChar(c); });
}
// Without the characters of `blanks` at both ends.
[[nodiscard]] constexpr std::string_view Trim(std::string_view s, std::string_view blanks) noexcept {
  return text_detail::Trim(s, [blanks](char c) { return blanks.find(c) != std::string_view::npos; });
}

}  // namespace vx
