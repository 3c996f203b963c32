#pragma once
// Reads the JSON most texts hold straight from their UTF-8 bytes: standard objects, arrays and
// literals, with strings, numbers and words read by the scanner's own readings but without
// lexemes or positions. At anything else (the other syntax the grammar accepts, and every error)
// it gives up, and TJSONBuilder reads the text from the start: it builds the same trees and
// raises the errors with their positions.
#include <optional>
#include <string_view>
#include <vector>

#include "json/model/values.h"
#include "json/read/scanner.h"

namespace vx::json {

class TFastReader {
 public:
  TFastReader(std::string_view text, bool CheckDates) : FText(text), FLex(text), FCheckDates(CheckDates) {}

  // The value the text starts with, as TJSONBuilder reads it; nullopt when it gave up.
  [[nodiscard]] std::optional<IJSONAncestor> Read();

 private:
  [[nodiscard]] IJSONAncestor ReadValue();
  [[nodiscard]] IJSONAncestor ReadArray();
  [[nodiscard]] IJSONAncestor ReadObject();
  // The byte at the read position after blanks; NUL at the end of the text.
  [[nodiscard]] char NextByte() noexcept;
  // Moves past a scanned lexeme, giving up when the scanner could not read it.
  void MoveTo(std::size_t end);

  std::string_view FText;
  std::size_t FIndex = 0;
  TLexGenerator<char> FLex;
  bool FCheckDates;
  int FDepth = 0;
  std::vector<IJSONAncestor> FValues;
  std::vector<IJSONPair> FPairs;
};

}  // namespace vx::json
