// The fast reader against the builder: reading a UTF-8 text through the entry point (fast reader
// first) must give what the builder alone gives, the same tree or the same error; and the fast
// reader must take the common texts itself.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/read/fast_reader.h"
#include "reader_trace.h"

namespace vx::json::testing {
namespace {

void ExpectSameTree(std::string_view text) {
  for (const bool dates : {true, false}) {
    ASSERT_EQ(ReaderTrace(text, dates, true), ReaderTrace(text, dates, false)) << "text: " << text;
  }
}

bool FastReaderTakes(std::string_view text) {
  return TFastReader(text, true).Read().has_value();
}

TEST(JsonFastReader, TakesCommonTextsAndReadsThemAsTheBuilderDoes) {
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
  for (const auto& t : texts) {
    EXPECT_TRUE(FastReaderTakes(t)) << t;
    ExpectSameTree(t);
  }
}

TEST(JsonFastReader, LeavesOtherTextsAndEveryErrorToTheBuilder) {
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
  for (const auto& t : texts) {
    EXPECT_FALSE(FastReaderTakes(t)) << t;
    ExpectSameTree(t);
  }
  // Nesting: the builder raises at the bound, the fast reader only reads up to it.
  const std::string deepest = std::string(kMaxNestingDepth, '[') + std::string(kMaxNestingDepth, ']');
  EXPECT_TRUE(FastReaderTakes(deepest));
  ExpectSameTree(deepest);
  const std::string tooDeep = "[" + deepest + "]";
  EXPECT_FALSE(FastReaderTakes(tooDeep));
  EXPECT_NE(ReaderTrace(tooDeep, true, true).find("Maximum nesting depth exceeded"), std::string::npos);
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

TEST(JsonFastReader, ReadsRandomDocumentsAsTheBuilderDoes) {
  TRandomDocument documents(20261209);
  int taken = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string text = documents.Next();
    taken += FastReaderTakes(text) ? 1 : 0;
    ExpectSameTree(text);
    if (HasFailure()) return;
  }
  // Most documents put in no piece are taken by the fast reader.
  EXPECT_GT(taken, 4000);
}

}  // namespace
}  // namespace vx::json::testing
