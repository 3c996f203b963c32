// The command dispatcher with two endpoints in one process: status, close flag, job branches and
// the busy rule.
#include <gtest/gtest.h>

#include "link/worker_com.h"

namespace vx {
namespace {

struct Pair {
  Tvx64BWorkerCom host;
  Tvx64BWorkerCom worker;
  Pair() {
    worker.SetClientHWND(host.MainHWND());
    worker.SendClientReconnect();
  }
};

TEST(Dispatcher, AnnouncementPairsBothSides) {
  Pair p;
  EXPECT_EQ(p.host.ClientHWND(), p.worker.MainHWND());
  EXPECT_EQ(p.host.Status(), u"READY");
  EXPECT_EQ(p.host.ClientStatus(), u"READY");
  EXPECT_EQ(p.worker.ClientStatus(), u"UNKONOWN");
}

TEST(Dispatcher, StatusQueryIsAnsweredInsideTheSend) {
  Pair p;
  for (UStringView name : {u"CMD_GET_STATUS", u"cmd_get_status"}) {
    p.host.SetClientStatus(u"");
    ASSERT_TRUE(p.host.SendCommand(name, nullptr));
    EXPECT_EQ(p.host.ClientStatus(), u"READY") << UToUtf8(name);
  }
  p.worker.SetStatus(u"EXECUTING");
  p.host.SendCommand(u"CMD_GET_STATUS", nullptr);
  EXPECT_EQ(p.host.ClientStatus(), u"EXECUTING");
  EXPECT_EQ(p.host.Status(), u"READY");  // a status answer makes the receiver ready
}

TEST(Dispatcher, CloseCommandOnlySetsTheFlag) {
  Pair p;
  CloseRequested = false;
  p.host.SetClientStatus(u"x");
  p.host.SendCommand(u"CMD_CLOSE_CLIENT", nullptr);
  EXPECT_TRUE(CloseRequested);
  EXPECT_EQ(p.host.ClientStatus(), u"x");  // no answer
  CloseRequested = false;
}

// A job whose request branch can run host-side code while it executes, as a dialog would.
struct TestJob {
  int requests = 0;
  int answers = 0;
  int endOfCommand = 0;
  UString answerText;
  std::function<void()> duringRequest;

  void Register() {
    RegisterJobBranch(
        TJobBranch{u"CMD_TEST_JOB", u"CMD_TEST_JOB_RESULT",
                   [this](Tvx64BWorkerCom& com, const TStringList& params, TStringList& answer) {
                     ++requests;
                     if (duringRequest) duringRequest();
                     com.SetStatus(kStatusReady);
                     answer.SetValue(u"RESULT", u"done:" + params.Value(u"ARG"));
                     com.SendCommand(u"CMD_TEST_JOB_RESULT", &answer);
                     return true;
                   },
                   [this](Tvx64BWorkerCom&, const TStringList& params) {
                     ++answers;
                     answerText = params.Value(u"RESULT");
                     return true;
                   },
                   [this](Tvx64BWorkerCom&) { ++endOfCommand; }});
  }
  ~TestJob() { RegisterJobBranch(TJobBranch{u"CMD_TEST_JOB", u"CMD_TEST_JOB_RESULT", {}, {}, {}}); }
};

TEST(Dispatcher, JobBranchRequestAndAnswer) {
  Pair p;
  TestJob job;
  job.Register();
  TStringList params;
  params.SetValue(u"ARG", u"a b");
  ASSERT_TRUE(p.host.SendCommand(u"cmd_test_job", &params));
  EXPECT_EQ(job.requests, 1);
  EXPECT_EQ(job.answers, 1);
  EXPECT_EQ(job.answerText, u"done:a b");
  EXPECT_EQ(job.endOfCommand, 2);  // the request and the nested answer each end a command
}

TEST(Dispatcher, BusyRuleDropsASecondRequest) {
  Pair p;
  TestJob job;
  job.Register();
  UString statusDuringJob;
  job.duringRequest = [&] {
    if (job.requests > 1) return;
    int endBefore = job.endOfCommand;
    p.host.SendCommand(u"CMD_TEST_JOB", nullptr);  // dropped: no answer, no second run
    EXPECT_EQ(job.endOfCommand, endBefore + 1);    // but its end-of-command step ran
    p.host.SendCommand(u"CMD_GET_STATUS", nullptr);
    statusDuringJob = p.host.ClientStatus();
  };
  p.host.SendCommand(u"CMD_TEST_JOB", nullptr);
  EXPECT_EQ(job.requests, 1);
  EXPECT_EQ(job.answers, 1);
  EXPECT_EQ(statusDuringJob, u"EXECUTING");
  EXPECT_EQ(p.worker.Status(), u"READY");
}

TEST(Dispatcher, AnnouncementDuringAJobMakesTheWorkerReady) {
  Pair p;
  TestJob job;
  job.Register();
  UString statusAfterAnnouncement;
  job.duringRequest = [&] {
    TStringList l;
    l.SetValue(u"HANDLE", IntToU(p.host.MainHWND()));
    p.host.SendCommand(u"CLIENTRECONNECT", &l);
    statusAfterAnnouncement = p.worker.Status();
  };
  p.host.SendCommand(u"CMD_TEST_JOB", nullptr);
  EXPECT_EQ(statusAfterAnnouncement, u"READY");
}

TEST(Dispatcher, ErrorInABranchLeavesExecutingAndStillEndsTheCommand) {
  Pair p;
  TestJob job;
  job.Register();
  job.duringRequest = [] { throw std::runtime_error("branch failed"); };
  EXPECT_THROW(p.host.SendCommand(u"CMD_TEST_JOB", nullptr), std::runtime_error);
  EXPECT_EQ(p.worker.Status(), u"EXECUTING");
  EXPECT_EQ(job.answers, 0);
  EXPECT_EQ(job.endOfCommand, 1);
}

TEST(Dispatcher, UnknownCommandsAreIgnored) {
  Pair p;
  std::vector<UString> seen;
  p.worker.SetReciveProc([&](const UString& t) { seen.push_back(t); });
  p.host.SendCommand(u"CMD_NOBODY_KNOWS", nullptr);
  EXPECT_EQ(seen.size(), 1u);  // unhandled: passed on to the callbacks
}

}  // namespace
}  // namespace vx
