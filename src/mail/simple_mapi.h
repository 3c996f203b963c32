#pragma once
// The lower half of the Simple MAPI client layer: the registered mail clients, the choice of the
// client library, its architecture check, loading with the twelve entry points, and the Polish
// messages of the Simple MAPI return codes. Texts are single-byte strings in the locale's code
// set ("ANSI") throughout.
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "platform/shared_library.h"

namespace vx::mail {

using AnsiString = std::string;

// The layer's error base class.
class EMailLayerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A Simple MAPI failure; ErrorCode is the return code behind it, 0 when none.
class EMapiError : public EMailLayerError {
 public:
  explicit EMapiError(const AnsiString& message, std::uint32_t code = 0)
      : EMailLayerError(message), ErrorCode(code) {}
  std::uint32_t ErrorCode;
};

// The operating system refused to load a library: "System Error.  Code: N." and the loader's text.
class EOSError : public std::runtime_error {
 public:
  EOSError(const AnsiString& message, int code) : std::runtime_error(message), ErrorCode(code) {}
  int ErrorCode;
};

// Ends the current operation without a message; every caller passes it on.
class EAbort : public std::exception {
 public:
  [[nodiscard]] const char* what() const noexcept override { return "Operation aborted"; }
};

struct TMapiClient {
  AnsiString ClientName;  // default value of the client's key
  AnsiString ClientPath;  // "DLLPath", environment variables expanded
  AnsiString RegKeyName;
  bool Valid = false;  // an image exporting all twelve entry points
};

enum class TMapiClientConnect { ctAutomatic = 0, ctMapi = 1, ctDirect = 2 };
enum class TMailClientType { ectOther = 0, ectMozilla = 1, ectOutlook = 2, ectOutExpress = 3 };

// Export names of the entry points, in the order of the entry-point fields.
inline constexpr const char* kMapiExportNames[12] = {
    "MAPIAddress", "MAPIDeleteMail", "MAPIDetails",     "MAPIFindNext", "MAPIFreeBuffer",    "MAPILogoff",
    "MAPILogon",   "MAPIReadMail",   "MAPIResolveName", "MAPISaveMail", "MAPISendDocuments", "MAPISendMail"};

class TSimpleMapi {
 public:
  TSimpleMapi();
  virtual ~TSimpleMapi();
  TSimpleMapi(const TSimpleMapi&) = delete;
  TSimpleMapi& operator=(const TSimpleMapi&) = delete;

  // Loads the client library unless one is loaded. A library this process cannot load leaves
  // nothing loaded and ValidDllTarget false; load failures and missing exports raise.
  void LoadClientLib();
  void UnloadClientLib();
  [[nodiscard]] bool ClientLibLoaded() const { return FClientLibHandle.IsOpen(); }
  [[nodiscard]] bool UseMapi() const;
  [[nodiscard]] AnsiString GetClientLibName() const;
  [[nodiscard]] bool ValidDllTarget() const { return F64DLL; }

  [[nodiscard]] bool AnyClientInstalled() const { return FAnyClientInstalled; }
  [[nodiscard]] int ClientCount() const { return static_cast<int>(FClients.size()); }
  [[nodiscard]] const TMapiClient& Clients(int i) const;
  [[nodiscard]] AnsiString CurrentClientName() const;
  [[nodiscard]] int DefaultClientIndex() const { return FDefaultClientIndex; }
  [[nodiscard]] const AnsiString& DefaultProfileName() const { return FDefaultProfileName; }
  [[nodiscard]] bool MapiInstalled() const { return FMapiInstalled; }
  [[nodiscard]] const AnsiString& MapiVersion() const { return FMapiVersion; }
  [[nodiscard]] int ProfileCount() const { return static_cast<int>(FProfiles.size()); }
  [[nodiscard]] const AnsiString& Profiles(int i) const;
  [[nodiscard]] int SelectedClientIndex() const { return FSelectedClientIndex; }
  [[nodiscard]] bool SimpleMapiInstalled() const { return FSimpleMapiInstalled; }
  [[nodiscard]] TMapiClientConnect ClientConnectKind() const { return FClientConnectKind; }
  // Changing either of these unloads the library.
  void SetClientConnectKind(TMapiClientConnect kind);
  void SetSelectedClientIndex(int index);
  // Raised before the client library is unloaded.
  void SetOnBeforeUnloadClient(std::function<void()> handler) { FBeforeUnloadClient = std::move(handler); }

  // The default client's kind by its name; with no default client "Brak domyślnego klienta
  // poczty!." goes to Inf_Lite and EAbort is raised.
  [[nodiscard]] TMailClientType GetClientType() const;
  [[nodiscard]] bool GetClientIsDirectHtmlAble() const {
    return GetClientType() == TMailClientType::ectMozilla;
  }
  [[nodiscard]] bool GetClientRequiresAddressType() const {
    return GetClientType() == TMailClientType::ectOutlook;
  }
  [[nodiscard]] bool GetClientForcedMailWindow() const { return false; }

 protected:
  virtual void BeforeUnloadClientLib();
  void ReadMapiSettings();

  bool FAnyClientInstalled = false;
  std::function<void()> FBeforeUnloadClient;
  std::vector<TMapiClient> FClients;
  TMapiClientConnect FClientConnectKind = TMapiClientConnect::ctAutomatic;
  platform::SharedLibrary FClientLibHandle;
  std::int32_t FDefaultClientIndex = -1;
  AnsiString FDefaultProfileName;
  bool FMapiInstalled = false;
  AnsiString FMapiVersion;
  std::vector<AnsiString> FProfiles;
  std::int32_t FSelectedClientIndex = -1;
  bool FSimpleMapiInstalled = false;
  MAPIADDRESS* FMapiAddress = nullptr;
  MAPIDELETEMAIL* FMapiDeleteMail = nullptr;
  MAPIDETAILS* FMapiDetails = nullptr;
  MAPIFINDNEXT* FMapiFindNext = nullptr;
  MAPIFREEBUFFER* FMapiFreeBuffer = nullptr;
  MAPILOGOFF* FMapiLogOff = nullptr;
  MAPILOGON* FMapiLogOn = nullptr;
  MAPIREADMAIL* FMapiReadMail = nullptr;
  MAPIRESOLVENAME* FMapiResolveName = nullptr;
  MAPISAVEMAIL* FMapiSaveMail = nullptr;
  MAPISENDDOCUMENTS* FMapiSendDocuments = nullptr;
  MAPISENDMAIL* FMapiSendMail = nullptr;
  bool F64DLL = false;

 private:
  void SetEntryPoints(void* const (&symbols)[12]);
};

// The Polish text of a Simple MAPI return code (1..26; empty for 7 and any other code).
[[nodiscard]] AnsiString MapiErrorMessage(std::uint32_t code);

// 0 and (with ignoreUserAbort) 1 come back as they are. Any other code makes EMapiError
// "Błąd MAPI (code) "text"": reported through BladOk_Lite and 0 returned when `owner` has its
// library loaded in this process, raised otherwise.
std::uint32_t MapiCheck(std::uint32_t code, bool ignoreUserAbort, const TSimpleMapi* owner = nullptr);

}  // namespace vx::mail
