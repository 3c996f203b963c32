#include "validation/schema_map.h"

// The system package builds the INI library with ICU conversions.
#define SI_CONVERT_ICU
#include <SimpleIni.h>

#include <stdexcept>

#include "platform/file_ops.h"
#include "platform/file_reader.h"
#include "platform/process.h"
#include "validation/run_state.h"

namespace vx {

namespace {

constexpr char kSection[] = "MAP_XSD";

// Loads the map; a missing file is an empty map.
void Load(CSimpleIniA& ini) {
  ini.SetUnicode(true);
  const UString path = SchemaMapPath();
  if (!platform::FileExists(path)) return;
  const std::string text = platform::ReadWholeFile(path, 16 * 1024 * 1024);
  if (ini.LoadData(text) < 0) throw std::runtime_error("xsd_map.ini: nieprawidłowy format");
}

}  // namespace

UString SchemaMapPath() {
  if (auto path = platform::EnvironmentVariable("VX64_XSD_MAP")) return Utf8ToU(*path);
  return platform::ExecutableDir() + u"/xsd_map.ini";
}

UString FromIni(const UString& aKey) {
  Log(u"Walidacja XML: Odczyt z pliku INI wartości dla: " + aKey);
  UString value;
  try {
    CSimpleIniA ini;
    Load(ini);
    value = Utf8ToU(ini.GetValue(kSection, UToUtf8(aKey).c_str(), ""));
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
    CSimpleIniA ini;
    Load(ini);
    ini.SetValue(kSection, UToUtf8(aKey).c_str(), UToUtf8(aValue).c_str());
    std::string text;
    if (ini.Save(text) < 0) throw std::runtime_error("SimpleIni");
    failure = platform::ReplaceFileAtomically(SchemaMapPath(), text);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!failure.empty()) Log(u"Walidacja XML: Zapis do pliku INI nie powódł się \r\n" + Utf8ToU(failure));
  Log(u"Walidacja XML: Zakończono zapis do pliku INI");
}

}  // namespace vx
