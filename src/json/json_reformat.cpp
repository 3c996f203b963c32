#include "json/json_reformat.h"

#include <ostream>

#include "json/json_errors.h"
#include "json/json_value.h"
#include "json/json_writer.h"

namespace vx::json {

int ReformatJSON(std::string_view utf8, bool ident, bool universalTime, std::ostream& out,
                 std::ostream& err) {
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  try {
    const IJSONAncestor value = TJSONObject::ParseJSONValueUtf8(utf8, true);
    TJSONWriter writer(ident, universalTime);
    if (value) value->AsJSONString(writer);
    out << writer.ToUtf8() << '\n';
    return 0;
  } catch (const EJSONBaseError& e) {
    err << e.what() << '\n';
    return 1;
  }
}

}  // namespace vx::json
