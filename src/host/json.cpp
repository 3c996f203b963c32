// The JSON entry point of the host library: the module's reader and writer, one text at a time.
#include "vx64/json.h"

#include <ostream>

#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/write/writer.h"

namespace vx64 {

ReformatJSONResult ReformatJSON(std::string_view aUtf8, bool aIndent, bool aUniversalTime,
                                std::ostream& aOut) {
  if (aUtf8.substr(0, 3) == "\xEF\xBB\xBF") aUtf8.remove_prefix(3);
  ReformatJSONResult result;
  try {
    const vx::json::IJSONAncestor value = vx::json::TJSONObject::ParseJSONValueUtf8(aUtf8, true);
    if (!value) return result;
    vx::json::TJSONWriter writer(aIndent, aUniversalTime);
    value->AsJSONString(writer);
    aOut << writer.Utf8();  // straight from the writer's buffer: a long text is not copied
    result.Written = true;
  } catch (const vx::json::EJSONBaseError& e) {
    result.Error = e.what();
  }
  return result;
}

}  // namespace vx64
