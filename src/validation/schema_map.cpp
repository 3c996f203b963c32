#include "validation/schema_map.h"

#include <stdexcept>
#include <vector>

#include "platform/common/ini_text.h"
#include "platform/file_ops.h"
#include "platform/file_reader.h"
#include "platform/process.h"
#include "validation/run_state.h"

namespace vx {

namespace {

constexpr char kSection[] = "MAP_XSD";
constexpr std::uint64_t kMaxMapBytes = 16 * 1024 * 1024;

void Load(std::string& text) {
  const UString path = SchemaMapPath();
  if (platform::FileExists(path)) text = platform::ReadWholeFile(path, kMaxMapBytes);
}

// The per-user map of an installation whose program folder this user cannot write to.
UString UserMapPath() {
  const UString dir = platform::UserConfigDir();
  return dir.empty() ? UString() : dir + u"/vx64/xsd_map.ini";
}

}  // namespace

UString SchemaMapPath() {
  if (auto path = platform::EnvironmentVariable("VX64_XSD_MAP")) return Utf8ToU(*path);
  const UString beside = platform::ExecutableDir() + u"/xsd_map.ini";
  if (platform::FileExists(beside) || platform::DirectoryWritable(platform::ExecutableDir())) return beside;
  const UString user = UserMapPath();
  return user.empty() ? beside : user;
}

UString FromIni(const UString& aKey) {
  Log(u"Walidacja XML: Odczyt z pliku INI wartości dla: " + aKey);
  UString value;
  try {
    std::string text;
    Load(text);
    value = Utf8ToU(IniValue(text, kSection, UToUtf8(aKey)).value_or(""));
  } catch (const std::exception&) {
    value.clear();  // an unreadable map reads as no entry
  }
  Log(u"Walidacja XML: Odczytana wartość z pliku INI: " + value);
  return value;
}

void ToIni(const UString& aKey, const UString& aValue) {
  Log(u"Walidacja XML: Zapis do pliku INI: " + aKey + u"=" + aValue);
  std::string failure;
  try {
    std::string text;
    Load(text);
    text = IniWithValue(text, kSection, UToUtf8(aKey), UToUtf8(aValue));
    const UString path = SchemaMapPath();
    if (path == UserMapPath()) failure = platform::CreateDirectories(path.substr(0, path.rfind(u'/')));
    if (failure.empty()) failure = platform::ReplaceFileAtomically(platform::LinkTarget(path), text);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!failure.empty()) Log(u"Walidacja XML: Zapis do pliku INI nie powódł się \r\n" + Utf8ToU(failure));
  Log(u"Walidacja XML: Zakończono zapis do pliku INI");
}

}  // namespace vx
