// Record serialization benchmark. Each side runs in its own process so that peak RSS is its own:
//   vx_serialize_bench ours|peer [COUNT]
// builds COUNT mail-like records (default 100000; untimed), writes each one to a JSON text
// (timed), then reads every text back into a record (timed) and checks the round trip.
// Output: one line "side count write_s write_rec/s read_s read_rec/s peakRSS_KiB".
// Both sides write pure ASCII JSON (the link's form): the peer dumps with ensure_ascii.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "json/serialize/serialize.h"

namespace ours {
using vx::UString;

struct TRecipient {
  UString Name;
  UString Address;
  std::int32_t Kind = 0;
};
VX_RECORD(TRecipient, VX_FIELD(Name), VX_FIELD(Address), VX_FIELD(Kind));

struct TMail {
  UString Subject;
  UString Body;
  UString SenderName;
  UString SenderAddress;
  std::vector<TRecipient> Recipients;
  bool HTMLBody = false;
  bool ShowDialog = false;
  std::int32_t Priority = 0;
};
VX_RECORD(TMail, VX_FIELD(Subject), VX_FIELD(Body), VX_FIELD(SenderName), VX_FIELD(SenderAddress),
          VX_FIELD(Recipients), VX_FIELD(HTMLBody), VX_FIELD(ShowDialog), VX_FIELD(Priority));
}  // namespace ours

namespace peer {
struct TRecipient {
  std::string Name;
  std::string Address;
  std::int32_t Kind = 0;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TRecipient, Name, Address, Kind)

struct TMail {
  std::string Subject;
  std::string Body;
  std::string SenderName;
  std::string SenderAddress;
  std::vector<TRecipient> Recipients;
  bool HTMLBody = false;
  bool ShowDialog = false;
  std::int32_t Priority = 0;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TMail, Subject, Body, SenderName, SenderAddress, Recipients, HTMLBody,
                                   ShowDialog, Priority)
}  // namespace peer

namespace {

using Clock = std::chrono::steady_clock;

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// The same content for both sides, as UTF-8.
struct TContent {
  std::string Subject, Body, SenderName, SenderAddress;
  std::string Names[3], Addresses[3];
};

TContent Content(long i) {
  const std::string n = std::to_string(i);
  TContent c;
  c.Subject = "Faktura nr " + n + "/2026 – zażółć gęślą jaźń";
  c.Body =
      "Dzień dobry,\nw załączeniu przesyłam fakturę nr " + n +
      ". Proszę o potwierdzenie odbioru.\nZ poważaniem,\nŁukasz Żółkiewski\n\"Biuro rachunkowe\" Sp. z o.o.";
  c.SenderName = "Łukasz Żółkiewski";
  c.SenderAddress = "lukasz.zolkiewski" + n + "@example.pl";
  const char* names[] = {"Małgorzata Wąsik", "Grzegorz Brzęczyszczykiewicz", "Źdźisław Ćwik"};
  for (int r = 0; r < 3; ++r) {
    c.Names[r] = names[r];
    c.Addresses[r] = "odbiorca" + std::to_string(r) + "." + n + "@firma.com.pl";
  }
  return c;
}

void Report(const char* side, long count, double ws, double rs) {
  std::printf("%s %ld %.4f %.0f %.4f %.0f %ld\n", side, count, ws, count / ws, rs, count / rs, PeakRssKiB());
}

int RunOurs(long count) {
  using namespace vx;
  using namespace vx::json;
  std::vector<ours::TMail> mails(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    const TContent c = Content(i);
    ours::TMail& m = mails[static_cast<size_t>(i)];
    m.Subject = Utf8ToU(c.Subject);
    m.Body = Utf8ToU(c.Body);
    m.SenderName = Utf8ToU(c.SenderName);
    m.SenderAddress = Utf8ToU(c.SenderAddress);
    for (int r = 0; r < 3; ++r) m.Recipients.push_back({Utf8ToU(c.Names[r]), Utf8ToU(c.Addresses[r]), r});
    m.HTMLBody = i % 2 == 0;
    m.ShowDialog = i % 3 == 0;
    m.Priority = static_cast<std::int32_t>(i % 5);
  }
  std::vector<UString> texts(static_cast<size_t>(count));
  auto start = Clock::now();
  for (long i = 0; i < count; ++i) texts[i] = TRecordJSONHelper<ours::TMail>::AsJSON(mails[i]);
  const double ws = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<ours::TMail> back(static_cast<size_t>(count));
  start = Clock::now();
  for (long i = 0; i < count; ++i) back[i] = TRecordJSONHelper<ours::TMail>::FromJSON(texts[i]);
  const double rs = std::chrono::duration<double>(Clock::now() - start).count();
  const ours::TMail& a = mails.back();
  const ours::TMail& b = back.back();
  if (a.Subject != b.Subject || a.Body != b.Body || b.Recipients.size() != 3 ||
      a.Recipients[2].Name != b.Recipients[2].Name || a.Priority != b.Priority || a.HTMLBody != b.HTMLBody) {
    std::fprintf(stderr, "round trip differs\n");
    return 1;
  }
  Report("ours", count, ws, rs);
  return 0;
}

int RunPeer(long count) {
  std::vector<peer::TMail> mails(static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) {
    const TContent c = Content(i);
    peer::TMail& m = mails[static_cast<size_t>(i)];
    m.Subject = c.Subject;
    m.Body = c.Body;
    m.SenderName = c.SenderName;
    m.SenderAddress = c.SenderAddress;
    for (int r = 0; r < 3; ++r) m.Recipients.push_back({c.Names[r], c.Addresses[r], r});
    m.HTMLBody = i % 2 == 0;
    m.ShowDialog = i % 3 == 0;
    m.Priority = static_cast<std::int32_t>(i % 5);
  }
  std::vector<std::string> texts(static_cast<size_t>(count));
  auto start = Clock::now();
  for (long i = 0; i < count; ++i) texts[i] = nlohmann::json(mails[i]).dump(-1, ' ', true);
  const double ws = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<peer::TMail> back(static_cast<size_t>(count));
  start = Clock::now();
  for (long i = 0; i < count; ++i) back[i] = nlohmann::json::parse(texts[i]).get<peer::TMail>();
  const double rs = std::chrono::duration<double>(Clock::now() - start).count();
  const peer::TMail& a = mails.back();
  const peer::TMail& b = back.back();
  if (a.Subject != b.Subject || a.Body != b.Body || b.Recipients.size() != 3 ||
      a.Recipients[2].Name != b.Recipients[2].Name || a.Priority != b.Priority || a.HTMLBody != b.HTMLBody) {
    std::fprintf(stderr, "round trip differs\n");
    return 1;
  }
  Report("peer", count, ws, rs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc >= 3 ? std::atol(argv[2]) : 100000;
  if (argc >= 2 && count > 0) {
    if (std::strcmp(argv[1], "ours") == 0) return RunOurs(count);
    if (std::strcmp(argv[1], "peer") == 0) return RunPeer(count);
  }
  std::fprintf(stderr, "usage: vx_serialize_bench ours|peer [COUNT]\n");
  return 2;
}
