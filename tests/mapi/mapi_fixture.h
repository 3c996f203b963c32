#pragma once
// The shipped library loaded from the build tree, a local SMTP server (aiosmtpd under
// /usr/bin/python3) with a test certificate, a private XDG configuration, and the messages the
// server received, parsed back with GMime.
#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/global_interface.h"
#include "core/ustring.h"
#include "mapi/mapi.h"
#include "platform/shared_library.h"
#include "support/child.h"
#include "support/debug_log.h"
#include "support/temp_dir.h"

namespace vx::mapi::test {

inline std::string LibraryPath() {
  return std::string(VX_MAPI_LIBRARY);
}

struct SmtpOptions {
  bool starttls = false;
  bool smtps = false;
  std::string auth;  // "user:password"
  std::vector<std::string> reject;
};

// A message as the server stored it.
struct Received {
  std::string mailFrom;
  std::vector<std::string> rcptTo;
  std::string raw;
};

class SmtpServer {
 public:
  SmtpServer(const std::filesystem::path& dir, const SmtpOptions& options) : spool_(dir / "spool") {
    std::filesystem::create_directories(spool_);
    std::vector<std::string> args = {std::string(VX_SOURCE_DIR) + "/tests/mapi/smtp_server.py", "--spool",
                                     spool_.string()};
    if (options.starttls || options.smtps) {
      args.insert(args.end(), {"--tls", (dir / "cert.pem").string(), (dir / "key.pem").string()});
    }
    if (options.smtps) args.push_back("--smtps");
    if (!options.auth.empty()) args.insert(args.end(), {"--auth", options.auth});
    for (const std::string& r : options.reject) args.insert(args.end(), {"--reject", r});
    child_ = std::make_unique<vx::test::Child>("/usr/bin/python3", args);
    const auto line = child_->ReadLine(std::chrono::seconds(20));
    if (line && line->rfind("READY ", 0) == 0) port_ = std::stoi(line->substr(6));
  }
  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::vector<Received> Messages() const {
    std::vector<Received> out;
    for (int n = 1; std::filesystem::exists(spool_ / (std::to_string(n) + ".env")); ++n) {
      Received r;
      const std::string env = vx::test::ReadFile(spool_ / (std::to_string(n) + ".env"));
      std::size_t start = 0;
      bool first = true;
      while (start < env.size()) {
        const auto end = env.find('\n', start);
        std::string line = env.substr(start, end - start);
        (first ? r.mailFrom : r.rcptTo.emplace_back()) = line;
        first = false;
        start = end + 1;
      }
      r.raw = vx::test::ReadFile(spool_ / (std::to_string(n) + ".eml"));
      out.push_back(std::move(r));
    }
    return out;
  }

 private:
  std::filesystem::path spool_;
  std::unique_ptr<vx::test::Child> child_;
  int port_ = 0;
};

// Builds a MapiMessage from plain values; the strings live in the object.
class MessageBuilder {
 public:
  MessageBuilder& Subject(std::string s) {
    subject_ = std::move(s);
    return *this;
  }
  MessageBuilder& Body(std::string s) {
    body_ = std::move(s);
    return *this;
  }
  MessageBuilder& Recip(ULONG cls, std::string name, std::string address) {
    recips_.push_back({cls, std::move(name), std::move(address)});
    return *this;
  }
  MessageBuilder& File(std::string path, std::string name = {}) {
    files_.push_back({std::move(path), std::move(name)});
    return *this;
  }
  MapiMessage& Build() {
    descs_.clear();
    fileDescs_.clear();
    for (auto& r : recips_) {
      MapiRecipDesc d{};
      d.ulRecipClass = r.cls;
      d.lpszName = r.name.data();
      d.lpszAddress = r.address.empty() ? nullptr : r.address.data();
      descs_.push_back(d);
    }
    for (auto& f : files_) {
      MapiFileDesc d{};
      d.nPosition = 0xFFFFFFFF;
      d.lpszPathName = f.path.data();
      d.lpszFileName = f.name.empty() ? nullptr : f.name.data();
      fileDescs_.push_back(d);
    }
    message_ = MapiMessage{};
    message_.lpszSubject = subject_.data();
    message_.lpszNoteText = body_.data();
    message_.nRecipCount = static_cast<ULONG>(descs_.size());
    message_.lpRecips = descs_.empty() ? nullptr : descs_.data();
    message_.nFileCount = static_cast<ULONG>(fileDescs_.size());
    message_.lpFiles = fileDescs_.empty() ? nullptr : fileDescs_.data();
    return message_;
  }

 private:
  struct R {
    ULONG cls;
    std::string name, address;
  };
  struct F {
    std::string path, name;
  };
  std::string subject_, body_;
  std::vector<R> recips_;
  std::vector<F> files_;
  std::vector<MapiRecipDesc> descs_;
  std::vector<MapiFileDesc> fileDescs_;
  MapiMessage message_{};
};

class MapiLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_mime_init();
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " +
                            (CertDir() / "key.pem").string() + " -out " + (CertDir() / "cert.pem").string() +
                            " -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost -days 2 "
                            ">/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static const std::filesystem::path& CertDir() {
    static vx::test::TempDir certs;
    return certs.path();
  }

  void SetUp() override {
    std::filesystem::copy_file(CertDir() / "cert.pem", dir / "cert.pem");
    std::filesystem::copy_file(CertDir() / "key.pem", dir / "key.pem");
    std::filesystem::create_directories(dir / "config/vx64");
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("TMPDIR", dir.path().c_str(), 1);
    platform::SharedLibrary::Error error;
    auto lib = platform::SharedLibrary::Open(LibraryPath(), error);
    ASSERT_TRUE(lib) << error.message;
    library = std::move(*lib);
    send = reinterpret_cast<MAPISENDMAIL*>(library.Symbol("MAPISendMail"));
    ASSERT_NE(send, nullptr);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("TMPDIR");
  }

  // Writes mail.conf with the given lines below [mail], readable by the owner only.
  void Config(const std::string& lines, std::filesystem::perms perms = std::filesystem::perms::owner_read |
                                                                       std::filesystem::perms::owner_write) {
    const auto path = dir / "config/vx64/mail.conf";
    vx::test::WriteFile(path, "[mail]\n" + lines);
    std::filesystem::permissions(path, perms);
  }
  [[nodiscard]] std::string ServerConfig(const SmtpServer& server, const std::string& scheme = "smtp") const {
    return "server = " + scheme + "://127.0.0.1:" + std::to_string(server.port()) +
           "\nca_file = " + (dir / "cert.pem").string() + "\n";
  }

  ULONG Send(MapiMessage& m, FLAGS flags = MAPI_LOGON_UI) { return send(0, 0, &m, flags, 0); }

  vx::test::TempDir dir;
  vx::test::DebugLogCapture log;
  platform::SharedLibrary library;
  MAPISENDMAIL* send = nullptr;
};

// A received message parsed with GMime.
class Parsed {
 public:
  explicit Parsed(const std::string& raw) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    message_ = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
  }
  ~Parsed() {
    if (message_ != nullptr) g_object_unref(message_);
  }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;

  [[nodiscard]] GMimeMessage* get() const { return message_; }
  [[nodiscard]] std::string Header(const char* name) const {
    const char* v = g_mime_object_get_header(GMIME_OBJECT(message_), name);
    return v != nullptr ? v : "(none)";
  }
  [[nodiscard]] std::string Subject() const {
    const char* s = g_mime_message_get_subject(message_);
    return s != nullptr ? s : "";
  }
  // "name <addr>, ..." of an address header, decoded.
  [[nodiscard]] std::string Addresses(GMimeAddressType type) const {
    InternetAddressList* list = g_mime_message_get_addresses(message_, type);
    char* text = internet_address_list_to_string(list, nullptr, FALSE);
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
  }
  // Decoded content of the parts in order: the text body first.
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> Parts() const {
    std::vector<std::pair<std::string, std::string>> parts;
    GMimeObject* top = g_mime_message_get_mime_part(message_);
    auto add = [&](GMimeObject* object) {
      if (!GMIME_IS_PART(object)) return;
      GMimePart* part = GMIME_PART(object);
      GMimeStream* out = g_mime_stream_mem_new();
      g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(part), out);
      GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
      const char* name = g_mime_part_get_filename(part);
      parts.emplace_back(name != nullptr ? name : "",
                         std::string(reinterpret_cast<char*>(bytes->data), bytes->len));
      g_object_unref(out);
    };
    if (GMIME_IS_MULTIPART(top)) {
      for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(top)); ++i) {
        add(g_mime_multipart_get_part(GMIME_MULTIPART(top), i));
      }
    } else {
      add(top);
    }
    return parts;
  }

 private:
  GMimeMessage* message_ = nullptr;
};

}  // namespace vx::mapi::test
