// The library's scanner against the route scanner (the grammar's tables walked character by
// character): both must read every text alike, UTF-8 and UTF-16: lexemes, positions, values,
// and the end or the error that ends the text, with its message.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/read/builder.h"
#include "scanner_trace.h"

namespace vx::json::testing {
namespace {

void ExpectSameReading(std::string_view utf8) {
  ASSERT_EQ(LexemeTrace(utf8), RouteTrace(utf8)) << "UTF-8 text: " << utf8;
}

void ExpectSameReading(std::u16string_view utf16) {
  ASSERT_EQ(LexemeTrace(utf16), RouteTrace(utf16)) << "UTF-16 text: " << UToUtf8(utf16);
}

void ExpectSameReadingInBothForms(std::string_view utf8) {
  ExpectSameReading(utf8);
  ExpectSameReading(Utf8ToU(utf8));
}

TEST(JsonScanner, ReadsChosenTextsAsTheRoutesDo) {
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

TEST(JsonScanner, ReadsRandomTextsAsTheRoutesDo) {
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

TEST(JsonScanner, ReadsDocumentsAsTheRoutesDo) {
  using namespace std::string_literals;
  const std::vector<std::string> texts = {
      R"({"a":1,"b":[true,false,null,TRUE,False,NULL,-0,1.5,1e5,1E+5,1.e-3,007,-12,9223372036854775807]})",
      "{ \"x\" : \"plain\" ,\r\n\t\"y\":[ ] , \"z\" : { } }\n",
      R"(["\"\\\/\b\f\n\r\t\v\q\'","\u00e9\u00E9\uD83D\uDE00","\u0000"])",
      "[\"żółć\",\"„cudzysłów”\",\"😀\",\"\xC3(\",\"\xFF\xFE\",\"\xE2\x82\",\"\xED\xA0\x80\",\"\xC0\xAF\"]",
      R"({"a":1,"A":2,"b":3,"a":4})",  // names differing in ASCII case replace each other
      R"({"Sent":"2022-01-02T10:11:12Z","Due":"2022-07-16","At":"13:06:18","Not":"2022-13-45"})",
      " [1]",
      "\r\n\t {\"a\":1}",
      "[1] trailing text is not read",
      "[\"a\"]\"open",
      "[1]\0 after a NUL"s,
      "[\"tab\there\"]",
      "[1e-400]",
      R"({"k0":0,"k1":1,"k2":2,"k3":3,"k4":4,"k5":5,"k6":6,"k7":7,"k8":8,"k9":9,"k10":10,"k11":11,
          "k12":12,"k13":13,"k14":14,"k15":15,"k16":16,"K3":33,"k17":17,"k0":100})",
  };
  for (const auto& t : texts) ExpectSameReadingInBothForms(t);
}

TEST(JsonScanner, ReadsLenientAndBrokenDocumentsAsTheRoutesDo) {
  using namespace std::string_literals;
  const std::vector<std::string> texts = {
      "\"x\"",
      "123",
      "true",
      "",
      " ",
      "x",
      "\xEF\xBB\xBF[1]",
      "\f[1]",  // no container first
      "[1,]",
      "[,1]",
      "[1,,2]",
      "{\"a\":}",
      "{\"a\":1,}",
      "{,}",  // empty members
      "['single']",
      "{'a':1}",
      "{a:1}",
      "{true:1}",
      "[abc]",
      "[Nul]",
      "[nulls]",
      "[truex]",
      "[1 2]",
      "{\"a\" 1}",
      "{\"a\":1 \"b\":2}",
      "[\"line\nbreak\"]",
      "{\"a\\nb\":1}",
      "[\"nul\0\"]"s,
      "[1a]",
      "[-]",
      "[1e]",
      "[1e+]",
      "[9223372036854775808]",
      "[1e400]",
      "[.5]",
      "[+1]",
      "[\"\\u12\"]",
      "[\"\\u12G4\"]",
      "[\"\\ż\"]",
      "[\"open",
      "[1",
      "{\"a\":1",
      "[\f1]",
      "[\\n]",
      "{\"a\":[1,{\"b\":[2,]}]}",
  };
  for (const auto& t : texts) ExpectSameReadingInBothForms(t);
  const std::string deep = std::string(kMaxNestingDepth + 1, '[') + std::string(kMaxNestingDepth + 1, ']');
  ExpectSameReadingInBothForms(deep);
}

// Random documents, most of them standard JSON, some with a piece put in, cut out or replaced.
class TRandomDocument {
 public:
  explicit TRandomDocument(unsigned seed) : FRng(seed) {}

  std::string Next() {
    std::string text = Pick(kBlanks);
    text += Value(0);
    for (int n = static_cast<int>(FRng() % 4) - 1; n > 0 && !text.empty(); --n) {
      const std::size_t at = FRng() % text.size();
      switch (FRng() % 3) {
        case 0:
          text.insert(at, Pick(kPieces));
          break;
        case 1:
          text.erase(at, 1 + FRng() % 3);
          break;
        default:
          text.replace(at, 1, Pick(kPieces));
      }
    }
    return text;
  }

 private:
  static constexpr const char* kPieces[] = {"\"",   "'",    "\\",   "\\u",  "\\u00e9", "\\uD83D", "0", "-",
                                            ".",    "e",    "+",    ",",    ":",       "[",       "]", "{",
                                            "}",    " ",    "\n",   "\r",   "a",       "ż",       "😀", "\xC3",
                                            "\xFF", "\x80", "\x7f", "TRUE", "Null",    "1e-7",    "\t"};
  static constexpr const char* kStrings[] = {"",
                                             "plain",
                                             "Zażółć gęślą jaźń",
                                             "a\\\"b\\\\c\\/d",
                                             "\\n\\t\\r",
                                             "\\u0041\\u00e9\\uD83D\\uDE00",
                                             "2022-01-02",
                                             "2022-01-02T10:11:12.123+02:00",
                                             "13:06:18",
                                             "12345/2022",
                                             "„tak”",
                                             "😀 emoji",
                                             "description"};
  static constexpr const char* kNumbers[] = {"0",
                                             "-0",
                                             "7",
                                             "-12",
                                             "007",
                                             "1.5",
                                             "-0.25",
                                             "1e5",
                                             "1E+5",
                                             "1.e-3",
                                             "2.5e-300",
                                             "123456789012",
                                             "9223372036854775807",
                                             "-9223372036854775808",
                                             "7414.500000"};
  static constexpr const char* kLiterals[] = {"true", "false", "null", "True", "FALSE", "Null"};
  static constexpr const char* kBlanks[] = {"", "", "", " ", "\n", "\r\n\t"};
  static constexpr const char* kNames[] = {"id", "ID",          "name",       "Name",
                                           "x",  "description", "Recipients", "a\\nb"};

  template <std::size_t N>
  const char* Pick(const char* const (&from)[N]) {
    return from[FRng() % N];
  }
  static std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
  }

  // A document is a container; values nest up to four deep.
  std::string Value(int depth) {
    const unsigned kind = depth == 0 ? 4 + FRng() % 2 : FRng() % (depth < 4 ? 6 : 4);
    switch (kind) {
      case 0:
      case 3:
        return Quoted(Pick(kStrings));
      case 1:
        return Pick(kNumbers);
      case 2:
        return Pick(kLiterals);
      case 4: {
        std::string text = "[";
        for (int n = static_cast<int>(FRng() % 5); n > 0; --n) {
          text += Pick(kBlanks);
          text += Value(depth + 1);
          text += Pick(kBlanks);
          if (n > 1) text += ",";
        }
        return text + "]";
      }
      default: {
        std::string text = "{";
        for (int n = static_cast<int>(FRng() % 20); n > 0; --n) {
          std::string name = Pick(kNames);
          if (FRng() % 2) name += std::to_string(FRng() % 24);
          text += Pick(kBlanks);
          text += Quoted(name);
          text += Pick(kBlanks);
          text += ':';
          text += Value(depth + 1);
          if (n > 1) text += ",";
        }
        return text + "}";
      }
    }
  }

  std::mt19937 FRng;
};

TEST(JsonScanner, ReadsRandomDocumentsAsTheRoutesDo) {
  TRandomDocument documents(20261209);
  for (int round = 0; round < 20000; ++round) {
    ExpectSameReadingInBothForms(documents.Next());
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace vx::json::testing
