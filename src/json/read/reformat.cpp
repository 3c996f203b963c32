#include "json/read/reformat.h"

#include <ostream>

#include "json/model/errors.h"
#include "json/model/values.h"
#include "json/write/writer.h"

namespace vx::json {

int ReformatJSON(std::string_view utf8, bool ident, bool universalTime, std::ostream& out,
                 std::ostream& err) {
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  try {
    const IJSONAncestor value = TJSONObject::ParseJSONValueUtf8(utf8, true);
    if (!value) {
      err << "vxhost json: tekst nie zawiera wartości JSON\n";
      return 1;
    }
    TJSONWriter writer(ident, universalTime);
    value->AsJSONString(writer);
    out << writer.Utf8() << '\n';
    return 0;
  } catch (const EJSONBaseError& e) {
    err << e.what() << '\n';
    return 1;
  }
}

}  // namespace vx::json
