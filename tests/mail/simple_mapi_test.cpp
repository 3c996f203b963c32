// Client discovery from the registry, the library checks on real images, loading and the
// return-code messages.
#include "mail/simple_mapi.h"

#include <filesystem>

#include "mail/mapi_email.h"
#include "mail_fixture.h"

namespace vx::mail::test {
namespace {

using SimpleMapi = MailFixture;

TEST_F(SimpleMapi, SelectionRulesOfTheDefaultClient) {
  const std::string good = TestLib("recording_client.so");
  const std::string bad = TestLib("noreadmail_client.so");
  // The default client's name matches its key in another letter case.
  WriteRegistry("poczta TESTOWA", {{"Inna", "Inna", good}, {"Poczta Testowa", "Poczta", good}});
  {
    TSimpleMapi m;
    EXPECT_EQ(m.DefaultClientIndex(), 1);
    EXPECT_EQ(m.SelectedClientIndex(), 1);
    EXPECT_EQ(m.GetClientLibName(), good);
    EXPECT_EQ(m.CurrentClientName(), "Poczta");
    EXPECT_TRUE(m.AnyClientInstalled());
    EXPECT_FALSE(m.UseMapi());
  }
  // No key of that name: "Windows Live Mail" in any case, else the last valid client, else -1.
  WriteRegistry("Brak", {{"A", "A", good}, {"windows live MAIL", "WLM", bad}, {"C", "C", good}});
  EXPECT_EQ(TSimpleMapi().DefaultClientIndex(), 1);
  WriteRegistry("Brak", {{"A", "A", good}, {"B", "B", good}, {"C", "C", bad}});
  {
    TSimpleMapi m;
    EXPECT_EQ(m.DefaultClientIndex(), 1);
    EXPECT_TRUE(m.Clients(1).Valid);
    EXPECT_FALSE(m.Clients(2).Valid);
  }
  WriteRegistry("Brak", {{"A", "A", bad}, {"B", "B", TestLib("missing.so")}});
  {
    TSimpleMapi m;
    EXPECT_EQ(m.DefaultClientIndex(), -1);
    EXPECT_FALSE(m.AnyClientInstalled());
    EXPECT_EQ(m.GetClientLibName(), "");
    EXPECT_EQ(m.CurrentClientName(), "");
  }
  // "MAPI"="1": the system library, whatever the default client is.
  WriteRegistry("A", {{"A", "A", good}}, "1");
  {
    TSimpleMapi m;
    EXPECT_TRUE(m.SimpleMapiInstalled());
    EXPECT_TRUE(m.MapiInstalled());
    EXPECT_EQ(m.MapiVersion(), "1.0.0.1");
    EXPECT_EQ(m.GetClientLibName(), "mapi32.dll");
    EXPECT_EQ(m.CurrentClientName(), "MAPI");
  }
  WriteRegistry("A", {{"A", "A", good}}, "0");
  EXPECT_EQ(TSimpleMapi().GetClientLibName(), good);
}

TEST_F(SimpleMapi, LibraryPathExpandsVariablesAndProfilesComeFromTheUserRoot) {
  setenv("VX_TEST_CLIENT_DIR", VX_TEST_LIB_DIR, 1);
  unsetenv("VX_TEST_NOT_SET");
  WriteRegistry("A", {{"A", "A", "%VX_TEST_CLIENT_DIR%/recording_client.so"},
                      {"B", "B", "%VX_TEST_NOT_SET%/recording_client.so"}});
  vx::test::WriteFile(
      dir / "user.reg",
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
      "Messaging Subsystem\\Profiles]\r\n\"DefaultProfile\"=\"Praca\"\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
      "Subsystem\\Profiles\\Praca]\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
      "Subsystem\\Profiles\\Dom]\r\n");
  TSimpleMapi m;
  EXPECT_EQ(m.Clients(0).ClientPath, TestLib("recording_client.so"));
  EXPECT_TRUE(m.Clients(0).Valid);
  EXPECT_EQ(m.Clients(1).ClientPath, "%VX_TEST_NOT_SET%/recording_client.so");
  EXPECT_FALSE(m.Clients(1).Valid);
  EXPECT_EQ(m.DefaultProfileName(), "Praca");
  ASSERT_EQ(m.ProfileCount(), 2);
  EXPECT_EQ(m.Profiles(1), "Dom");
  try {
    (void)m.Clients(2);
    FAIL();
  } catch (const EMapiError& e) {
    EXPECT_STREQ(e.what(), "Indeks jest poza zakresem");
    EXPECT_EQ(e.ErrorCode, 0u);
  }
  EXPECT_THROW((void)m.Profiles(-1), EMapiError);
  unsetenv("VX_TEST_CLIENT_DIR");
}

TEST_F(SimpleMapi, ImagesThisProcessCannotLoadAreNotLoadedAndRaiseNothing) {
  // A PE image with an x64 machine field, a text file and a missing file.
  std::string pe(512, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  pe[0x3C] = 0x40;
  pe.replace(0x40, 6, std::string("PE\0\0\x64\x86", 6));
  vx::test::WriteFile(dir / "client.dll", pe);
  vx::test::WriteFile(dir / "client.txt", "MAPISendMail MAPIReadMail\n");
  // A cut image: the loader would map past the end of the file and die of a bus error.
  vx::test::WriteFile(dir / "cut.so", vx::test::ReadFile(TestLib("recording_client.so")).substr(0, 600));
  for (const std::string& path :
       {TestLib(kForeignClient), (dir / "client.dll").string(), (dir / "client.txt").string(),
        (dir / "cut.so").string(), (dir / "missing.so").string()}) {
    SCOPED_TRACE(path);
    WriteRegistry("A", {{"A", "A", path}});
    TSimpleMapi m;
    EXPECT_NO_THROW(m.LoadClientLib());
    EXPECT_FALSE(m.ClientLibLoaded());
    EXPECT_FALSE(m.ValidDllTarget());
  }
  // The 32-bit image does export the twelve functions: it is a client, only not for this process.
  WriteRegistry("A", {{"A", "A", TestLib(kForeignClient)}, {"B", "B", (dir / "client.dll").string()}});
  TSimpleMapi m;
  EXPECT_TRUE(m.Clients(0).Valid);
  EXPECT_FALSE(m.Clients(1).Valid);
}

TEST_F(SimpleMapi, LoadingResolvesTheTwelveExportsOrUnloadsAgain) {
  UseRecordingClient("A");
  {
    TSimpleMapi m;
    m.LoadClientLib();
    EXPECT_TRUE(m.ClientLibLoaded());
    EXPECT_TRUE(m.ValidDllTarget());
    int unloads = 0;
    m.SetOnBeforeUnloadClient([&] { ++unloads; });
    m.SetSelectedClientIndex(0);  // unchanged: stays loaded
    EXPECT_TRUE(m.ClientLibLoaded());
    m.SetClientConnectKind(TMapiClientConnect::ctDirect);
    EXPECT_FALSE(m.ClientLibLoaded());
    EXPECT_EQ(unloads, 1);
    m.UnloadClientLib();
    EXPECT_EQ(unloads, 1);
  }
  UseRecordingClient("A", "noreadmail_client.so");
  TSimpleMapi m;
  try {
    m.LoadClientLib();
    FAIL() << "no error";
  } catch (const EMapiError& e) {
    EXPECT_STREQ(e.what(), "Funkcja \"MAPIReadMail\" nie jest dostępna");
  }
  EXPECT_FALSE(m.ClientLibLoaded());

  // An image of this architecture that the loader refuses (a library it needs is missing): the
  // system error text.
  UseRecordingClient("A", "needsgone_client.so");
  TSimpleMapi cut;
  try {
    cut.LoadClientLib();
    FAIL() << "no error";
  } catch (const EOSError& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("System Error.  Code: ", 0), 0u) << text;
    EXPECT_NE(text.find(".\n"), std::string::npos) << text;
    EXPECT_NE(text.find("libvx_test_gone.so"), std::string::npos) << text;
  }
  EXPECT_FALSE(cut.ClientLibLoaded());
}

TEST_F(SimpleMapi, SystemLibraryIsFoundOnTheLibraryPath) {
  WriteRegistry("A", {{"A", "A", TestLib("recording_client.so")}}, "1");
  std::filesystem::copy_file(TestLib("recording_client.so"), dir / "libvx64mapi.so.1");
  const char* old = std::getenv("LD_LIBRARY_PATH");
  const std::string saved = old != nullptr ? old : "";
  setenv("LD_LIBRARY_PATH", dir.path().c_str(), 1);
  TSimpleMapi m;
  m.LoadClientLib();
  EXPECT_TRUE(m.ClientLibLoaded());
  if (old != nullptr) {
    setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
  } else {
    unsetenv("LD_LIBRARY_PATH");
  }
}

TEST_F(SimpleMapi, ClientTypeFromTheDefaultClientsName) {
  const std::string lib = TestLib("recording_client.so");
  const std::pair<const char*, TMailClientType> cases[] = {
      {"Mozilla Thunderbird", TMailClientType::ectMozilla},
      {"Microsoft OUTLOOK", TMailClientType::ectOutlook},
      {"Outlook Express", TMailClientType::ectOutExpress},
      {"Poczta", TMailClientType::ectOther},
  };
  for (const auto& [name, type] : cases) {
    WriteRegistry("K", {{"K", name, lib}});
    TSimpleMapi m;
    EXPECT_EQ(m.GetClientType(), type) << name;
  }
  // No default client: an information, then the silent abort, also from the e-mail object.
  WriteRegistry("Brak", {});
  TSimpleMapi m;
  EXPECT_THROW((void)m.GetClientType(), EAbort);
  EXPECT_THROW(TMapiEmail(), EAbort);
  EXPECT_EQ(messages->infos, (std::vector<std::string>{"Brak domyślnego klienta poczty!.",
                                                       "Brak domyślnego klienta poczty!."}));
  EXPECT_TRUE(messages->errors.empty());
}

TEST_F(SimpleMapi, ReturnCodeMessagesAndChecks) {
  EXPECT_EQ(MapiErrorMessage(1), "Rezygnacja użytkownika");
  EXPECT_EQ(MapiErrorMessage(5), "Niewystarczająca pamięc");
  EXPECT_EQ(MapiErrorMessage(10), "Za dużo adresatów ");
  EXPECT_EQ(MapiErrorMessage(20), "Nieobługiwany typ");
  EXPECT_EQ(MapiErrorMessage(26), "Nie obsługiwane");
  EXPECT_EQ(MapiErrorMessage(7), "");
  EXPECT_EQ(MapiErrorMessage(0), "");
  EXPECT_EQ(MapiErrorMessage(27), "");
  EXPECT_EQ(MapiErrorMessage(0xFFFFFFFF), "");

  EXPECT_EQ(MapiCheck(0, false), 0u);
  EXPECT_EQ(MapiCheck(1, true), 1u);
  auto raised = [](std::uint32_t code, bool ignore) {
    try {
      MapiCheck(code, ignore);
    } catch (const EMapiError& e) {
      EXPECT_EQ(e.ErrorCode, code);
      return std::string(e.what());
    }
    return std::string("(nothing raised)");
  };
  EXPECT_EQ(raised(1, false), "Błąd MAPI (1) \"Rezygnacja użytkownika\"");
  EXPECT_EQ(raised(7, true), "Błąd MAPI (7) \"\"");
  EXPECT_EQ(raised(11, true), "Błąd MAPI (11) \"Załącznik nie został odnaleziony\"");
  EXPECT_TRUE(messages->errors.empty());

  // An owner with its library loaded here: reported, not raised.
  UseRecordingClient("A");
  TSimpleMapi owner;
  EXPECT_THROW(MapiCheck(2, true, &owner), EMapiError);  // not loaded yet
  owner.LoadClientLib();
  EXPECT_EQ(MapiCheck(2, true, &owner), 0u);
  EXPECT_EQ(
      messages->errors,
      (std::vector<std::string>{"Błąd MAPI (2) \"Ogólny błąd MAPI. Prawdopodobnie domyślny klient poczty nie "
                                "obsługuje interfejsu MAPI.\""}));
}

}  // namespace
}  // namespace vx::mail::test
