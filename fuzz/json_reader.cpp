// The JSON reader on hostile text: both entry points (UTF-8 bytes and UTF-16 code units), date
// recognition on and off. The scanner reads the text as the route scanner of the tests (the
// grammar's tables) does. Whatever is read must write itself, and the compact text it writes
// must read back to the very same compact text (once texts cut at a NUL have been read back).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/json/scanner_trace.h"
#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/write/writer.h"

namespace {
using namespace vx::json;

bool Compact(const IJSONAncestor& value, std::string& out) {
  try {
    TJSONWriter writer(false, false);
    value->AsJSONString(writer);
    out = writer.TakeUtf8();
    return true;
  } catch (const EJSONBaseError&) {
    return false;  // a date outside the years the writer can show
  }
}

// Whether a member name or a string holds a NUL with more after it: the writer ends such a text
// at the NUL, so two names that differ only behind it are written alike and read back as one
// member, and a cut string may read back as a date.
bool TextCutAtNul(const IJSONAncestor& root) {
  const auto cut = [](const auto& text) {
    return text.Size() > 1 && text.Str().find(u'\0') != vx::UStringView::npos;
  };
  std::vector<const TJSONAncestor*> work{root.get()};
  while (!work.empty()) {
    const TJSONAncestor* v = work.back();
    work.pop_back();
    if (!v) continue;
    if (v->Shape() == TNodeShape::Object) {
      for (const IJSONPair& p : static_cast<const TJSONObject&>(*v)) {
        if (cut(p->Name())) return true;
        work.push_back(p->GetValue().get());
      }
    } else if (v->Shape() == TNodeShape::Array) {
      for (const IJSONAncestor& e : static_cast<const TJSONArray&>(*v)) work.push_back(e.get());
    } else if (v->GetDataType() == dtString && cut(static_cast<const TJSONString&>(*v).Text())) {
      return true;
    }
  }
  return false;
}

void Indented(const IJSONAncestor& value) {
  try {
    TJSONWriter writer(true, true);
    value->AsJSONString(writer);
  } catch (const EJSONBaseError&) {
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool dates = (data[0] & 1) != 0;
  const bool utf16 = (data[0] & 2) != 0;
  ++data;
  --size;
  const auto sameReading = [](auto text) {
    if (vx::json::testing::LexemeTrace(text) != vx::json::testing::RouteTrace(text)) {
      std::fprintf(stderr, "the scanner reads otherwise than the routes\n");
      std::abort();
    }
  };
  IJSONAncestor value;
  try {
    if (utf16) {
      std::u16string text(size / 2, u'\0');
      std::memcpy(text.data(), data, text.size() * 2);
      sameReading(std::u16string_view(text));
      value = TJSONObject::ParseJSONValue(text, dates);
    } else {
      const std::string_view text(reinterpret_cast<const char*>(data), size);
      sameReading(text);
      value = TJSONObject::ParseJSONValueUtf8(text, dates);
    }
  } catch (const EJSONBaseError&) {
    return 0;
  }
  if (!value) return 0;
  Indented(value);
  (void)value->Clone();
  std::string first;
  if (!Compact(value, first)) return 0;
  IJSONAncestor again;
  try {
    again = TJSONObject::ParseJSONValueUtf8(first, dates);
  } catch (const EJSONBaseError& e) {
    std::fprintf(stderr, "compact text does not read back: %s\n%s\n", e.what(), first.c_str());
    std::abort();
  }
  std::string second;
  if (again && TextCutAtNul(value)) {
    // The cut texts were read back as they were written: from then on the text must hold.
    if (!Compact(again, first)) return 0;
    again = TJSONObject::ParseJSONValueUtf8(first, dates);
  }
  if (!again || !Compact(again, second) || second != first) {
    std::fprintf(stderr, "compact text changed on reading back:\n%s\n%s\n", first.c_str(), second.c_str());
    std::abort();
  }
  return 0;
}
