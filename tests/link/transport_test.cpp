// Two endpoints in one process: routing, pairing, fall-backs and the exact debug lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/proc_com_msg.h"
#include "platform/process.h"
#include "support/debug_log.h"

namespace vx {
namespace {

using ::testing::ElementsAre;

// An endpoint that records what reaches its callbacks.
class Recorder : public TvxProcComMsg {
 public:
  Recorder() {
    SetReciveProc([this](const UString& text) { received.push_back(text); });
  }
  bool Run(const UString& cmd, const TStringList& params) { return RunCmd(cmd, params); }
  std::vector<UString> received;
};

TStringList Params(UStringView text) {
  TStringList l;
  l.SetDelimitedText(text);
  return l;
}

TEST(Transport, DeliversToTheAddressedObjectOnly) {
  Recorder a, b, c;
  a.SetClientHWND(b.MainHWND());
  ASSERT_TRUE(a.SendString(u"hello b"));
  c.SetClientHWND(a.MainHWND());
  ASSERT_TRUE(c.SendString(u"hello a"));
  EXPECT_THAT(b.received, ElementsAre(u"hello b"));
  EXPECT_THAT(a.received, ElementsAre(u"hello a"));
  EXPECT_TRUE(c.received.empty());
  EXPECT_EQ(b.LastRecivedString(), u"hello b");
}

TEST(Transport, NonCommandsGoToTheCallbacksInOrder) {
  Recorder a, b;
  std::vector<std::string> order;
  b.SetOnRecive([&](TvxProcComMsg&) { order.push_back("event"); });
  b.SetReciveMethod([&](const UString&) { order.push_back("method"); });
  a.SetClientHWND(b.MainHWND());
  for (UStringView text : {u"", u"   ", u"A=1,B=2", u"CMD=X,CMD_HANDLE=1"}) a.SendString(UString(text));
  EXPECT_THAT(b.received, ElementsAre(u"", u"   ", u"A=1,B=2", u"CMD=X,CMD_HANDLE=1"));
  EXPECT_EQ(order.size(), 8u);
  EXPECT_EQ(order[0], "event");
  EXPECT_EQ(order[1], "method");
}

TEST(Transport, CommandsReachRunCmdWithoutLeadingHashes) {
  struct Cmd : Recorder {
    std::vector<UString> commands;
    bool RunCmd(const UString& aCMD, const TStringList& aParams) override {
      commands.push_back(aCMD);
      return TvxProcComMsg::RunCmd(aCMD, aParams);
    }
  } b;
  Recorder a;
  a.SetClientHWND(b.MainHWND());
  a.SendString(u"CMD=##PING,CMD_HANDLE=" + IntToU(a.MainHWND()));
  EXPECT_THAT(b.commands, ElementsAre(u"PING"));
  EXPECT_THAT(b.received, ElementsAre(u"CMD=##PING,CMD_HANDLE=" + IntToU(a.MainHWND())));  // unhandled
  EXPECT_EQ(b.LastCmdHWND(), a.MainHWND());
}

TEST(Transport, SendCommandLaysOutTheMessage) {
  Recorder a, b;
  a.SetClientHWND(b.MainHWND());
  TStringList params;
  params.Add(u"XMLFILE=a b.xml");
  params.Add(u"CMD_HANDLE=7");
  const UString before = params.DelimitedText();
  ASSERT_TRUE(a.SendCommand(u"X", &params));
  EXPECT_EQ(params.DelimitedText(), before);  // the caller's list is never changed
  ASSERT_EQ(b.received.size(), 1u);
  EXPECT_EQ(b.received[0], u"\"XMLFILE=a b.xml\",CMD_HANDLE=" + IntToU(a.MainHWND()) + u",CMD=#X");
  ASSERT_TRUE(a.SendCommand(u"Y", nullptr));
  EXPECT_EQ(b.received[1], u"CMD=#Y,CMD_HANDLE=" + IntToU(a.MainHWND()));
}

TEST(Transport, ClientReconnectPairsAndRefusesTheOwnHandle) {
  test::DebugLogCapture log;
  Recorder a, b;
  const UString own = IntToU(b.MainHWND());
  // Announcing the own handle: client unchanged, no setter line, handled.
  log.Clear();
  EXPECT_TRUE(b.Run(u"clientreconnect", Params(u"HANDLE=" + own)));
  EXPECT_EQ(b.ClientHWND(), 0);
  EXPECT_TRUE(log.Lines().empty());
  // Another handle is adopted and the callbacks still run (not handled).
  EXPECT_FALSE(b.Run(u"CLIENTRECONNECT", Params(u"HANDLE=" + IntToU(a.MainHWND()))));
  EXPECT_EQ(b.ClientHWND(), a.MainHWND());
  // Without HANDLE the value reads 0: the peer is forgotten.
  EXPECT_FALSE(b.Run(u"CLIENTRECONNECT", Params(u"X=1")));
  EXPECT_EQ(b.ClientHWND(), 0);
  // The setters refuse the own handle too.
  log.Clear();
  b.SetClientHWND(b.MainHWND());
  b.SetLastCmdHWND(b.MainHWND());
  EXPECT_THAT(
      log.Lines(),
      ElementsAre(" ->  TvxProcComMsg.SetClientHWND -> Ustawiam klienta: " + UToUtf8(own),
                  " ->  TvxProcComMsg.SetClientHWND -> Błąd - Okno klienta ustawiane wartością MainHwnd  "
                  "- odrzucam!!: " +
                      UToUtf8(own),
                  " ->  TvxProcComMsg.SetLastCmdHWND -> Błąd - Okno klienta ustawiane wartością MainHwnd  "
                  "- odrzucam!!: " +
                      UToUtf8(own)));
  EXPECT_EQ(b.ClientHWND(), 0);
}

TEST(Transport, SendStringDebugLinesAndNoPeer) {
  test::DebugLogCapture log;
  Recorder a, b;
  log.Clear();
  EXPECT_FALSE(a.SendString(u"x"));
  EXPECT_THAT(log.Lines(),
              ElementsAre(" -> TvxProcComMsg.SendString -> Brak ustawionego okna komunikacji klienta "
                          "!!!  Main Handle: " +
                          UToUtf8(IntToU(a.MainHWND()))));
  a.SetClientHWND(b.MainHWND());
  log.Clear();
  EXPECT_TRUE(a.SendString(u"dane ż"));
  EXPECT_THAT(log.Lines(), ElementsAre(" -> TvxProcComMsg.SendString -> Wysyłam do Klienta " +
                                           UToUtf8(IntToU(b.MainHWND())) +
                                           " Main Handle: " + UToUtf8(IntToU(a.MainHWND())),
                                       " Dane: dane ż"));
  // Every line begins with the executable's full path.
  EXPECT_EQ(log.Lines(false)[0].rfind(UToUtf8(platform::ExecutablePath()) + " -> ", 0), 0u);
}

TEST(Transport, GonePeerFallsBackToTheLastCommandWindow) {
  test::DebugLogCapture log;
  Recorder a, c;
  auto b = std::make_unique<Recorder>();
  a.SetClientHWND(b->MainHWND());
  // A command from c makes c the last-command window of a.
  c.SetClientHWND(a.MainHWND());
  c.SendCommand(u"PING", nullptr);
  ASSERT_EQ(a.LastCmdHWND(), c.MainHWND());
  b.reset();
  log.Clear();
  EXPECT_TRUE(a.SendString(u"to whoever asked"));
  EXPECT_EQ(a.ClientHWND(), c.MainHWND());
  EXPECT_THAT(c.received, ElementsAre(u"to whoever asked"));
  EXPECT_EQ(log.Lines()[0],
            " -> TvxProcComMsg.SendString -> Przestawiam klienta na okno z którego otrzymałem ostatnie "
            "polecenie: " +
                UToUtf8(IntToU(c.MainHWND())));
}

TEST(Transport, GonePeerWithoutFallbackIsForgotten) {
  Recorder a;
  auto b = std::make_unique<Recorder>();
  a.SetClientHWND(b->MainHWND());
  b.reset();
  EXPECT_FALSE(a.SendString(u"lost"));
  EXPECT_EQ(a.ClientHWND(), 0);
}

TEST(Transport, DestroyedOwnWindowIsRecreatedAndAnnouncedFirst) {
  test::DebugLogCapture log;
  Recorder a, b;
  b.SetClientHWND(a.MainHWND());
  const HWND old = b.MainHWND();
  ASSERT_TRUE(platform::DestroyMessageWindow(old));
  ASSERT_TRUE(b.SendCommand(u"AFTER", nullptr));
  const HWND fresh = b.MainHWND();
  EXPECT_NE(fresh, old);
  EXPECT_TRUE(platform::WindowExists(fresh));
  ASSERT_EQ(a.received.size(), 2u);
  EXPECT_EQ(a.received[0], u"HANDLE=" + IntToU(fresh) + u",CMD=#CLIENTRECONNECT,CMD_HANDLE=" + IntToU(fresh));
  EXPECT_EQ(a.received[1], u"CMD=#AFTER,CMD_HANDLE=" + IntToU(fresh));
  EXPECT_EQ(a.ClientHWND(), fresh);

  // SendString notices the loss itself and names the old handle.
  ASSERT_TRUE(platform::DestroyMessageWindow(fresh));
  log.Clear();
  ASSERT_TRUE(b.SendString(u"raw"));
  EXPECT_EQ(log.Lines()[0],
            " -> TvxProcComMsg.SendString -> Jest problem z Main Handle : " + UToUtf8(IntToU(fresh)));
  EXPECT_EQ(a.received.back(), u"raw");
  EXPECT_EQ(a.ClientHWND(), b.MainHWND());
}

TEST(Transport, ProcessWideMapFollowsTheObjects) {
  auto a = std::make_unique<Recorder>();
  {
    Recorder b;
    ASSERT_TRUE(ProcComMsgWindows);
    EXPECT_EQ(ProcComMsgWindows->size(), 2u);
  }
  ASSERT_TRUE(ProcComMsgWindows);
  EXPECT_EQ(ProcComMsgWindows->size(), 1u);
  a.reset();
  EXPECT_FALSE(ProcComMsgWindows);
}

TEST(Transport, FramesAreCheckedBeforeUse) {
  test::DebugLogCapture log;
  Recorder b;
  const char16_t good[] = u"ok";
  const char16_t unterminated[] = {u'a', u'b'};
  struct Case {
    std::uint32_t cbData;
    const void* data;
  } cases[] = {{0, good}, {3, good}, {4, unterminated}};
  for (const Case& c : cases) {
    platform::CopyDataBlock cds{0, c.cbData, c.data};
    platform::SendWindowMessage(b.MainHWND(), platform::kMsgCopyData, 0,
                                reinterpret_cast<std::intptr_t>(&cds));
  }
  EXPECT_TRUE(b.received.empty());
  EXPECT_EQ(log.Lines().size(), 3u);
  EXPECT_TRUE(log.Contains("Odrzucam uszkodzoną ramkę"));
  platform::CopyDataBlock cds{0, sizeof good, good};
  platform::SendWindowMessage(b.MainHWND(), platform::kMsgCopyData, 0, reinterpret_cast<std::intptr_t>(&cds));
  EXPECT_THAT(b.received, ElementsAre(u"ok"));
}

}  // namespace
}  // namespace vx
