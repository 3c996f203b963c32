// The scanner's direct reading of common lexemes against its routes: both must read every text
// alike (lexemes, positions, values, and the error that ends the text, with its message).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lexer_trace.h"

namespace vx::json::testing {
namespace {

void ExpectSameReading(std::string_view utf8) {
  ASSERT_EQ(LexemeTrace(utf8, true), LexemeTrace(utf8, false)) << "UTF-8 text: " << utf8;
}

void ExpectSameReading(std::u16string_view utf16) {
  ASSERT_EQ(LexemeTrace(utf16, true), LexemeTrace(utf16, false)) << "UTF-16 text: " << UToUtf8(utf16);
}

TEST(JsonScanner, ReadsChosenTextsAsItsRoutesDo) {
  using namespace std::string_literals;
  const std::vector<std::string> texts = {
      R"( {"a":1,"b":[true,FALSE,null,Nul,-0,1.5,1e5,1E+5,1.e-3,-.5,007,"x\"y\\z\/\b\f\n\r\t\v\q"]})",
      " [\"\\u00e9\\u00E9\\uD83D\\uDE00\",'it''s',\"a'b\",'a\"b']",
      " [1.2.3, 1e5.3, 1-2, 1a, -, -a, 1e, 1e+, 1E-x, 9223372036854775808, 1e400, 1e-400]",
      " [\"open",
      " [\"line\nbreak\"]",
      " [\"cr\rx\"]",
      " [\"nul\0x\"]"s,
      " [\"tail\\",
      " [\"\\u12\"]",
      " [\"\\u12G4\"]",
      " [\"\\\n\"]",
      " [\"\\\0\"]"s,
      " [\"\\ż\"]",
      " [\"\\😀\"]",
      " name $x _y a-b-c a#b ż😀 \x7f\x7f \xC3( \xFF\xFE \x80",
      " \\n [1] \\u0041bc x\\ty \"a\" \\",
      " @",
      " #",
      " \x01",
      "\0"s,
      " \0 1"s,
      " 1\0"s,
      " ab\0cd"s,
      "\n\n  \r\n\t[1,\n2,\n\"x\"\n]\n",
      "[1,2]",
      "\"x\"",
      "123",
      "abc",
      "\n1",
      "\r\n\"a\"\r\n",
      " \"żółć\" \"😀😀\" 'ó' \"\xE2\x82\" \"\xF0\x9F\x98\" \"\xED\xA0\x80\" \"\xC0\xAF\"",
      " {\"Subject\":\"Faktura\",\"Sent\":\"2022-01-02T10:11:12Z\",\"Amount\":123.45}",
  };
  for (const auto& t : texts) ExpectSameReading(t);
  for (const auto& t : texts) ExpectSameReading(Utf8ToU(t));
  // UTF-16 texts that no UTF-8 text gives: lone and reversed surrogates.
  ExpectSameReading(u" [\"a\xD800\" \"\xDC00x\" \xD83D\xDE00 \"\xDE00\xD83D\" \xD800]");
}

TEST(JsonScanner, ReadsRandomTextsAsItsRoutesDo) {
  using namespace std::string_literals;
  const std::vector<std::string> pieces = {
      "\"",       "'",          "\\",
      "\\u",      "\\u00e9",    "\\uD83D",
      "u",        "0",          "7",
      "-",        ".",          "e",
      "E",        "+",          ",",
      ":",        "[",          "]",
      "{",        "}",          " ",
      "\t",       "\n",         "\r",
      "\0"s,      "a",          "Tr",
      "true",     "$",          "#",
      "ż",        "😀",          "\xC3",
      "\xFF",     "\x80",       "\x7f",
      "12345678", "abcdefghij", "\"plain text\"",
      "\\\"",     "1e-7",
  };
  const std::vector<std::u16string> widePieces = {u"\xD800", u"\xDC00", u"\xD83D\xDE00", u"\xFFFF", u"\x100"};
  std::mt19937 rng(20261209);
  for (int round = 0; round < 60000; ++round) {
    std::string text = round % 3 ? " " : "";
    std::u16string wide = Utf8ToU(text);
    for (int n = 1 + static_cast<int>(rng() % 24); n > 0; --n) {
      const std::string& piece = pieces[rng() % pieces.size()];
      text += piece;
      wide += rng() % 8 ? Utf8ToU(piece) : widePieces[rng() % widePieces.size()];
    }
    ExpectSameReading(text);
    ExpectSameReading(wide);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace vx::json::testing
