// The JSON entry point of the host library: the module's reader and writer, one text at a time.
#include "vx64/json.h"

#include "json/json_errors.h"
#include "json/json_value.h"
#include "json/json_writer.h"

namespace vx64 {

ReformattedJSON ReformatJSON(std::string_view aUtf8, bool aIndent, bool aUniversalTime) {
  if (aUtf8.substr(0, 3) == "\xEF\xBB\xBF") aUtf8.remove_prefix(3);
  ReformattedJSON result;
  try {
    const vx::json::IJSONAncestor value = vx::json::TJSONObject::ParseJSONValueUtf8(aUtf8, true);
    if (!value) return result;
    vx::json::TJSONWriter writer(aIndent, aUniversalTime);
    value->AsJSONString(writer);
    result.Text = writer.TakeUtf8();
  } catch (const vx::json::EJSONBaseError& e) {
    result.Error = e.what();
  }
  return result;
}

}  // namespace vx64
