#pragma once
// What reading a UTF-8 text gives, as one text: the tree with every value's kind and units, nil,
// or the error with its message. The reader's entry point (fast reader first) and the builder
// alone must give equal traces.
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/read/builder.h"
#include "json/write/writer.h"

namespace vx::json::testing {

inline std::string UnitsTrace(const UString& text) {
  std::string trace = "<";
  for (const char16_t c : text) {
    trace += std::to_string(c);
    trace += ',';
  }
  trace += '>';
  return trace;
}

inline std::string TreeTrace(const TJSONAncestor* root) {
  std::string trace;
  std::vector<const TJSONAncestor*> work{root};
  while (!work.empty()) {
    const TJSONAncestor* v = work.back();
    work.pop_back();
    if (!v) {
      trace += "nil ";
      continue;
    }
    trace += std::to_string(v->GetDataType()) + (v->GetIsNull() ? "!" : "");
    if (v->Shape() == TNodeShape::Object) {
      const auto& object = static_cast<const TJSONObject&>(*v);
      trace += '{';
      trace += std::to_string(object.Count());
      for (auto it = object.end(); it != object.begin();) {
        --it;
        work.push_back((*it)->GetValue().get());
      }
      for (const IJSONPair& p : object) trace += UnitsTrace(p->GetName());
    } else if (v->Shape() == TNodeShape::Array) {
      const auto& array = static_cast<const TJSONArray&>(*v);
      trace += '[';
      trace += std::to_string(array.Count());
      for (auto it = array.end(); it != array.begin();) work.push_back((--it)->get());
    } else if (v->GetDataType() == dtString) {
      trace += UnitsTrace(static_cast<const TJSONString&>(*v).GetData());
    } else {
      TJSONWriter writer(false, true);
      v->AsJSONString(writer);
      trace += writer.ToUtf8();
    }
    trace += " ";
  }
  return trace;
}

inline std::string ReaderTrace(std::string_view utf8, bool dates, bool entryPoint) {
  try {
    const IJSONAncestor value = entryPoint ? TJSONObject::ParseJSONValueUtf8(utf8, dates)
                                           : TJSONBuilder<char>(utf8, dates).ReadValue();
    return TreeTrace(value.get());
  } catch (const std::exception& e) {
    return std::string(typeid(e).name()) + ": " + e.what();
  }
}

}  // namespace vx::json::testing
