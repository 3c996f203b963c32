#pragma once
// One JSON text being written: compact or indented (CR LF line breaks, 2-space steps), dates in
// local or universal form. Strings and date texts are escaped alike, so the text written by the
// value tree is pure ASCII; it is kept as UTF-8.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "core/ustring.h"
#include "json/model/compact_text.h"

namespace vx::json {

class TJSONWriter {
 public:
  TJSONWriter(bool useIdent, bool useUniversalTime) : FIdent(useIdent), FUniversalTime(useUniversalTime) {}

  // Indentation (indented form only), the text, then a line break if CRLF and indented.
  void Append(std::string_view Value, bool CRLF) {
    if (FIdent) return AppendIndented(Value, CRLF);
    Put(Value);
  }
  void Append(UStringView Value, bool CRLF);
  // Integers are written through Append, so they carry the indentation in the indented form.
  void Append(std::int64_t Value, bool CRLF);
  // The text, then a line break if CRLF; never indents.
  void AppendVal(std::string_view Value, bool CRLF) {
    Put(Value);
    if (CRLF) Put("\r\n");
  }
  // One character (AppendVal without line break).
  void AppendVal(char Value) {
    *Room(1) = Value;
    ++FUsed;
  }
  void AppendVal(UStringView Value, bool CRLF);
  void AppendVal(std::int64_t Value, bool CRLF);
  // The float text (AppendVal without line break).
  void AppendFloat(double Value);
  // A quoted, escaped string (AppendVal without line break).
  void AppendString(UStringView Value);
  template <std::size_t N>
  void AppendString(const TCompactText<N>& Value) {
    Value.Visit([this](auto units) { this->AppendQuoted(units); });
  }
  void Inc() noexcept { FIdentOffset += 2; }
  void Dec() noexcept { FIdentOffset -= 2; }

  [[nodiscard]] bool Ident() const noexcept { return FIdent; }
  [[nodiscard]] bool UniversalTime() const noexcept { return FUniversalTime; }
  [[nodiscard]] UString ToString() const;
  // The text written so far; valid until the next append.
  [[nodiscard]] std::string_view Utf8() const noexcept { return {FData.get(), FUsed}; }
  [[nodiscard]] std::string ToUtf8() const { return std::string(Utf8()); }
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
  void Indent();
  void AppendIndented(std::string_view Value, bool CRLF);
  void Put(std::string_view Value) {
    if (Value.empty()) return;  // may have no address at all
    std::memcpy(Room(Value.size()), Value.data(), Value.size());
    FUsed += Value.size();
  }
  // The place to write the next `count` characters (at least) to.
  char* Room(std::size_t count) {
    if (FReady - FUsed < count) Grow(count);
    return FData.get() + FUsed;
  }
  // Makes room for at least `count` more characters.
  void Grow(std::size_t count);
  struct TFree {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  // The text written so far is the first FUsed characters; the rest is room to write into, so
  // that appending checks the room once per piece instead of once per character. The block
  // grows by realloc: nothing is zero-filled, and a large block moves without being copied.
  // Of a large block, the part up to FReady has been backed with memory ahead of writing, a
  // stretch at a time: one request to the system instead of a fault for every page.
  std::unique_ptr<char, TFree> FData;
  std::size_t FCapacity = 0;
  std::size_t FReady = 0;
  std::size_t FUsed = 0;
  bool FIdent;
  bool FUniversalTime;
  int FIdentOffset = 0;
};

// The float text: 15 significant digits, positional for 1E-4 <= |v| < 1E15, else d.dddE[-]x;
// NAN, INF, -INF.
[[nodiscard]] std::string FloatToJSONText(double value);
void AppendFloat(std::string& out, double value);

}  // namespace vx::json
