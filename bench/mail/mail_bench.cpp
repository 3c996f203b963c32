// Sends N messages with a 1 MB attachment each through the shipped mail library to a local SMTP
// server (plain and with STARTTLS and login) and reports messages per second and the process's
// resident memory after the first ten messages and at the end (the library must not grow).
//   vx_bench_mail [messages] [attachment-bytes]
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "mapi/mapi.h"
#include "platform/child_process.h"
#include "platform/shared_library.h"

namespace {

long CurrentRssKb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

struct Server {
  vx::platform::PipedChild child;
  int port = 0;
};

double OwnCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::optional<Server> StartServer(const std::filesystem::path& dir, const std::filesystem::path& certs,
                                  bool tls) {
  std::vector<std::string> argv = {"/usr/bin/python3", VX_SMTP_SERVER, "--spool", (dir / "spool").string()};
  if (tls) {
    argv.insert(argv.end(),
                {"--tls", (certs / "cert.pem").string(), (certs / "key.pem").string(), "--auth", "u:p"});
  }
  std::filesystem::create_directories(dir / "spool");
  std::string error;
  auto child = vx::platform::PipedChild::Start(argv, {.pipeInput = true, .captureOutput = true}, error);
  if (!child) return std::nullopt;
  std::string line = child->ReadOutput(64, std::chrono::seconds(20));  // "READY <port>\n"
  if (line.rfind("READY ", 0) != 0) return std::nullopt;
  return Server{std::move(*child), std::atoi(line.c_str() + 6)};
}

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 200;
  const std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : (1u << 20);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vx_bench_mail." + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "config/vx64");
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " + (dir / "key.pem").string() +
                    " -out " + (dir / "cert.pem").string() +
                    " -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1 -days 1 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return 1;
  {
    std::mt19937 gen(1);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(gen());
    std::ofstream(dir / "attachment.bin", std::ios::binary) << data;
  }

  vx::platform::SharedLibrary::Error error;
  auto lib = vx::platform::SharedLibrary::Open(VX_MAPI_LIBRARY, error);
  if (!lib) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  auto* send = reinterpret_cast<MAPISENDMAIL*>(lib->Symbol("MAPISendMail"));

  std::string path = (dir / "attachment.bin").string();
  MapiFileDesc file{};
  file.nPosition = 0xFFFFFFFF;
  file.lpszPathName = path.data();
  char name[] = "Odbiorca";
  char address[] = "SMTP:odbiorca@example.pl";
  MapiRecipDesc recip{};
  recip.ulRecipClass = MAPI_TO;
  recip.lpszName = name;
  recip.lpszAddress = address;
  char subject[] = "Faktura";
  char body[] = "W załączniku faktura.\r\n";
  MapiMessage m{};
  m.lpszSubject = subject;
  m.lpszNoteText = body;
  m.nRecipCount = 1;
  m.lpRecips = &recip;
  m.nFileCount = 1;
  m.lpFiles = &file;

  std::printf("%d messages, attachment %zu bytes\n", messages, size);
  for (bool tls : {false, true}) {
    auto server = StartServer(dir / (tls ? "tls" : "plain"), dir, tls);
    if (!server) return 1;
    std::ofstream conf(dir / "config/vx64/mail.conf");
    conf << "[mail]\nserver = smtp://127.0.0.1:" << server->port << "\n";
    if (tls) conf << "user = u\npassword = p\nca_file = " << (dir / "cert.pem").string() << "\n";
    conf.close();
    chmod((dir / "config/vx64/mail.conf").c_str(), 0600);
    long rssAfter10 = 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = OwnCpuSeconds();
    for (int i = 0; i < messages; ++i) {
      if (send(0, 0, &m, 0, 0) != SUCCESS_SUCCESS) {
        std::fprintf(stderr, "message %d failed\n", i);
        return 1;
      }
      if (i == 9) rssAfter10 = CurrentRssKb();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The server (Python) is the slow side; the library's own CPU time per message is the figure
    // that belongs to it.
    std::printf(
        "%-18s %8.1f messages/s  %6.1f MB/s  library CPU %.1f ms/message  RSS after 10: %ld KB, after %d: "
        "%ld KB, "
        "peak %ld KB\n",
        tls ? "STARTTLS + login:" : "plain SMTP:", messages / seconds, messages * (size / 1e6) / seconds,
        (OwnCpuSeconds() - cpuStart) * 1000 / messages, rssAfter10, messages, CurrentRssKb(), PeakRssKb());
  }
  std::filesystem::remove_all(dir);
  return 0;
}
