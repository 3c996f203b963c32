#pragma once
// One JSON text being written: compact or indented (CR LF line breaks, 2-space steps), dates in
// local or universal form. Strings are escaped so that the text is pure ASCII; it is kept as
// UTF-8 and handed out in UTF-16 by ToString.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/ustring.h"
#include "json/model/compact_text.h"

namespace vx::json {

class TJSONWriter {
 public:
  TJSONWriter(bool useIdent, bool useUniversalTime) : FIdent(useIdent), FUniversalTime(useUniversalTime) {}

  // Indentation (indented form only), the text, then a line break if CRLF and indented.
  void Append(std::string_view Value, bool CRLF);
  // The integer's decimal text, through the text form above: it is indented like one.
  void Append(std::int64_t Value, bool CRLF);
  // The text, then a line break if CRLF; never indents.
  void AppendVal(std::string_view Value, bool CRLF) {
    Put(Value);
    if (CRLF) Put("\r\n");
  }
  void AppendVal(std::int64_t Value, bool CRLF) { Append(Value, CRLF); }
  // One character (AppendVal without line break).
  void AppendVal(char Value) {
    *Room(1) = Value;
    ++FUsed;
  }
  // The float text (AppendVal without line break).
  void AppendFloat(double Value);
  // A quoted, escaped string (AppendVal without line break).
  void AppendString(UStringView Value) { AppendQuoted(Value); }
  template <std::size_t N>
  void AppendString(const TCompactText<N>& Value) {
    Value.Visit([this](auto units) { this->AppendQuoted(units); });
  }
  void Inc() noexcept { FIdentOffset += 2; }
  void Dec() noexcept { FIdentOffset -= 2; }

  [[nodiscard]] bool Ident() const noexcept { return FIdent; }
  [[nodiscard]] bool UniversalTime() const noexcept { return FUniversalTime; }
  [[nodiscard]] UString ToString() const { return Utf8ToU(Utf8()); }
  // The text written so far; valid until the next append.
  [[nodiscard]] std::string_view Utf8() const noexcept { return {FData.get(), FUsed}; }
  // The text written so far; the writer starts over empty.
  [[nodiscard]] std::string TakeUtf8() {
    std::string text(Utf8());
    FUsed = 0;
    return text;
  }

 private:
  // A quoted, escaped text of UTF-16 units or of units kept one byte each (codes below U+0100).
  template <class Unit>
  void AppendQuoted(std::basic_string_view<Unit> Value);

  void Put(std::string_view Value) {
    if (Value.empty()) return;  // may have no address at all
    std::memcpy(Room(Value.size()), Value.data(), Value.size());
    FUsed += Value.size();
  }
  // Where the next `count` characters (at least) go.
  char* Room(std::size_t count) {
    if (FCapacity - FUsed < count) Grow(count);
    return FData.get() + FUsed;
  }
  void Grow(std::size_t count);

  struct TFree {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  // The text is the first FUsed characters. The block grows by realloc, which moves a large
  // block without copying it.
  std::unique_ptr<char, TFree> FData;
  std::size_t FCapacity = 0;
  std::size_t FUsed = 0;
  bool FIdent;
  bool FUniversalTime;
  int FIdentOffset = 0;
};

// The float text: 15 significant digits, positional for 1E-4 <= |v| < 1E15, else d.dddE[-]x;
// NAN, INF, -INF.
[[nodiscard]] std::string FloatToJSONText(double value);

}  // namespace vx::json
