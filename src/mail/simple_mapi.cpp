#include "mail/simple_mapi.h"

#include <algorithm>

#include "common/global_interface.h"
#include "core/ustring.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace vx::mail {

namespace {

constexpr const char* kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
constexpr const char* kClientsKey = "SOFTWARE\\Clients\\Mail";
constexpr const char* kProfilesKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

AnsiString Ansi(UStringView text) {
  return UToAnsi(text);
}

// A string value of the registry in the locale's code set; missing or unreadable reads as empty.
AnsiString ReadString(const platform::RegistryHive& hive, const std::string& key, const char* name) {
  return platform::Utf8ToLocale(hive.String(key, name).value_or(""));
}

bool SameTextAnsi(std::string_view a, std::string_view b) {
  return SameTextLocale(AnsiToU(a), AnsiToU(b));
}

}  // namespace

TSimpleMapi::TSimpleMapi() {
  ReadMapiSettings();
}

TSimpleMapi::~TSimpleMapi() {
  UnloadClientLib();
}

void TSimpleMapi::ReadMapiSettings() {
  FClients.clear();
  FProfiles.clear();
  FDefaultProfileName.clear();
  FDefaultClientIndex = -1;
  int lastValid = -1;

  const platform::RegistryHive machine = platform::RegistryHive::Load(platform::RegRoot::LocalMachine);
  if (machine.KeyExists(kMessagingKey)) {
    FMapiInstalled = ReadString(machine, kMessagingKey, "MAPIX") == "1";
    FSimpleMapiInstalled = ReadString(machine, kMessagingKey, "MAPI") == "1";
    FMapiVersion = ReadString(machine, kMessagingKey, "MAPIXVER");
  }
  FAnyClientInstalled = FMapiInstalled;

  if (machine.KeyExists(kClientsKey)) {
    const AnsiString defaultName = ReadString(machine, kClientsKey, "");
    const std::vector<std::string> subKeys = machine.SubKeys(kClientsKey);
    for (const std::string& subKey : subKeys) {
      TMapiClient client;
      client.RegKeyName = platform::Utf8ToLocale(subKey);
      const std::string key = std::string(kClientsKey) + "\\" + subKey;
      if (machine.KeyExists(key)) {
        client.ClientName = ReadString(machine, key, "");
        client.ClientPath = platform::Utf8ToLocale(
            platform::ExpandEnvironmentVariables(machine.String(key, "DLLPath").value_or("")));
        const auto file = platform::FindLibraryFile(platform::LocaleToUtf8(client.ClientPath));
        client.Valid = file && platform::ExportsAll(*file, kMapiExportNames);
        if (client.Valid) {
          FAnyClientInstalled = true;
          lastValid = static_cast<int>(FClients.size());
        }
      }
      FClients.push_back(std::move(client));
    }
    auto indexOf = [&](std::string_view name) {
      for (std::size_t i = 0; i < FClients.size(); ++i) {
        if (SameTextAnsi(FClients[i].RegKeyName, name)) return static_cast<int>(i);
      }
      return -1;
    };
    FDefaultClientIndex = indexOf(defaultName);
    if (FDefaultClientIndex < 0 && !FClients.empty()) {
      FDefaultClientIndex = indexOf("Windows Live Mail");
      if (FDefaultClientIndex < 0) FDefaultClientIndex = lastValid;
    }
    FSelectedClientIndex = FDefaultClientIndex;
  }

  const platform::RegistryHive user = platform::RegistryHive::Load(platform::RegRoot::CurrentUser);
  if (user.KeyExists(kProfilesKey)) {
    FDefaultProfileName = ReadString(user, kProfilesKey, "DefaultProfile");
    for (const std::string& name : user.SubKeys(kProfilesKey))
      FProfiles.push_back(platform::Utf8ToLocale(name));
  }
}

bool TSimpleMapi::UseMapi() const {
  switch (FClientConnectKind) {
    case TMapiClientConnect::ctMapi:
      return true;
    case TMapiClientConnect::ctDirect:
      return false;
    case TMapiClientConnect::ctAutomatic:
      break;
  }
  return FSimpleMapiInstalled;
}

AnsiString TSimpleMapi::GetClientLibName() const {
  if (UseMapi()) return "mapi32.dll";
  if (FSelectedClientIndex < 0 || FSelectedClientIndex >= ClientCount()) return {};
  return FClients[static_cast<std::size_t>(FSelectedClientIndex)].ClientPath;
}

void TSimpleMapi::LoadClientLib() {
  if (ClientLibLoaded()) return;
  const auto file = platform::FindLibraryFile(platform::LocaleToUtf8(GetClientLibName()));
  F64DLL = file && platform::IsLoadableImage(*file);
  if (!F64DLL) return;

  platform::SharedLibrary::Error error;
  auto library = platform::SharedLibrary::Open(*file, error);
  if (!library) {
    throw EOSError(
        "System Error.  Code: " + std::to_string(error.code) + ".\n" + platform::Utf8ToLocale(error.message),
        error.code);
  }
  void* symbols[12] = {};
  for (std::size_t i = 0; i < 12; ++i) {
    symbols[i] = library->Symbol(kMapiExportNames[i]);
    if (symbols[i] == nullptr) {
      library->Close();
      throw EMapiError(Ansi(u"Funkcja \"") + kMapiExportNames[i] + Ansi(u"\" nie jest dostępna"));
    }
  }
  FClientLibHandle = std::move(*library);
  SetEntryPoints(symbols);
}

void TSimpleMapi::SetEntryPoints(void* const (&s)[12]) {
  // dlsym hands out object pointers; POSIX guarantees they convert to function pointers.
  FMapiAddress = reinterpret_cast<MAPIADDRESS*>(s[0]);
  FMapiDeleteMail = reinterpret_cast<MAPIDELETEMAIL*>(s[1]);
  FMapiDetails = reinterpret_cast<MAPIDETAILS*>(s[2]);
  FMapiFindNext = reinterpret_cast<MAPIFINDNEXT*>(s[3]);
  FMapiFreeBuffer = reinterpret_cast<MAPIFREEBUFFER*>(s[4]);
  FMapiLogOff = reinterpret_cast<MAPILOGOFF*>(s[5]);
  FMapiLogOn = reinterpret_cast<MAPILOGON*>(s[6]);
  FMapiReadMail = reinterpret_cast<MAPIREADMAIL*>(s[7]);
  FMapiResolveName = reinterpret_cast<MAPIRESOLVENAME*>(s[8]);
  FMapiSaveMail = reinterpret_cast<MAPISAVEMAIL*>(s[9]);
  FMapiSendDocuments = reinterpret_cast<MAPISENDDOCUMENTS*>(s[10]);
  FMapiSendMail = reinterpret_cast<MAPISENDMAIL*>(s[11]);
}

void TSimpleMapi::UnloadClientLib() {
  if (!ClientLibLoaded()) return;
  BeforeUnloadClientLib();
  FClientLibHandle.Close();
  void* const none[12] = {};
  SetEntryPoints(none);
}

void TSimpleMapi::BeforeUnloadClientLib() {
  if (FBeforeUnloadClient) FBeforeUnloadClient();
}

const TMapiClient& TSimpleMapi::Clients(int i) const {
  if (i < 0 || i >= ClientCount()) throw EMapiError(Ansi(u"Indeks jest poza zakresem"));
  return FClients[static_cast<std::size_t>(i)];
}

const AnsiString& TSimpleMapi::Profiles(int i) const {
  if (i < 0 || i >= ProfileCount()) throw EMapiError(Ansi(u"Indeks jest poza zakresem"));
  return FProfiles[static_cast<std::size_t>(i)];
}

AnsiString TSimpleMapi::CurrentClientName() const {
  if (UseMapi()) return "MAPI";
  if (FSelectedClientIndex < 0 || FSelectedClientIndex >= ClientCount()) return {};
  return FClients[static_cast<std::size_t>(FSelectedClientIndex)].ClientName;
}

void TSimpleMapi::SetClientConnectKind(TMapiClientConnect kind) {
  if (kind == FClientConnectKind) return;
  UnloadClientLib();
  FClientConnectKind = kind;
}

void TSimpleMapi::SetSelectedClientIndex(int index) {
  if (index == FSelectedClientIndex) return;
  UnloadClientLib();
  FSelectedClientIndex = index;
}

TMailClientType TSimpleMapi::GetClientType() const {
  if (FDefaultClientIndex < 0) {
    Inf_Lite(u"Brak domyślnego klienta poczty!.");
    throw EAbort();
  }
  AnsiString name = Clients(FDefaultClientIndex).ClientName;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  if (name.find("mozilla") != AnsiString::npos) return TMailClientType::ectMozilla;
  if (name.find("outlook") == AnsiString::npos) return TMailClientType::ectOther;
  return name.find("express") != AnsiString::npos ? TMailClientType::ectOutExpress
                                                  : TMailClientType::ectOutlook;
}

AnsiString MapiErrorMessage(std::uint32_t code) {
  static constexpr const char16_t* kTexts[27] = {
      u"",
      u"Rezygnacja użytkownika",
      u"Ogólny błąd MAPI. Prawdopodobnie domyślny klient poczty nie obsługuje interfejsu MAPI.",
      u"Błąd logowania MAPI",
      u"Zabrakło miejsca na dysku",
      u"Niewystarczająca pamięc",
      u"Brak dostępu",
      u"",
      u"Za dużo sesji",
      u"Określono za dużo plików",
      u"Za dużo adresatów ",
      u"Załącznik nie został odnaleziony",
      u"Błąd podczas otwierania załącznika",
      u"Błąd podczas zapisywania załącznika",
      u"Nieznany adresat",
      u"Zły typ adresata",
      u"Brak komunikatów",
      u"Niepoprawny komunikat",
      u"Za długi tekst",
      u"Niepoprawna sesja",
      u"Nieobługiwany typ",
      u"Adresat nie jest jednoznaczny",
      u"Komunikat jest już używany",
      u"Błąd sieci",
      u"Błędne pola do edycji",
      u"Niepoprawni adresaci",
      u"Nie obsługiwane",
  };
  if (code > 26) return {};
  return Ansi(kTexts[code]);
}

std::uint32_t MapiCheck(std::uint32_t code, bool ignoreUserAbort, const TSimpleMapi* owner) {
  if (code == SUCCESS_SUCCESS || (ignoreUserAbort && code == MAPI_E_USER_ABORT)) return code;
  EMapiError error(Ansi(u"Błąd MAPI (") + std::to_string(code) + ") \"" + MapiErrorMessage(code) + "\"",
                   code);
  if (owner != nullptr && owner->ValidDllTarget()) {
    BladOk_Lite(AnsiToU(error.what()));
    return 0;
  }
  throw error;
}

}  // namespace vx::mail
