#pragma once
// TStringList: an ordered list of "Name=Value" lines and its comma-separated, double-quoted
// text form, the format of every message between host and worker.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ustring.h"

namespace vx {

class TStringList {
 public:
  TStringList() = default;

  [[nodiscard]] std::size_t Count() const { return FLines.size(); }
  [[nodiscard]] const UString& Strings(std::size_t i) const { return FLines[i]; }
  void Add(UString line) { FLines.push_back(std::move(line)); }
  void Clear() { FLines.clear(); }
  [[nodiscard]] const std::vector<UString>& Lines() const { return FLines; }

  // Index of the first line whose name (text before its first "=") equals `name`, compared
  // without regard to case; -1 when there is none.
  [[nodiscard]] std::ptrdiff_t IndexOfName(UStringView name) const;
  // The value of the first line named `name`; empty when there is none.
  [[nodiscard]] UString Value(UStringView name) const;
  // Replaces or appends "name=value"; an empty value deletes the first line of that name.
  void SetValue(UStringView name, UStringView value);

  // The wire text of the list, and the list read back from a wire text.
  [[nodiscard]] UString DelimitedText() const;
  void SetDelimitedText(UStringView text);

 private:
  std::vector<UString> FLines;
};

// A window handle read from a parameter: signed 32-bit decimal, widened with its sign; 0 when
// missing, malformed or out of range.
[[nodiscard]] std::int64_t HandleValue(const TStringList& list, UStringView name);

}  // namespace vx
