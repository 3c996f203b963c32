#pragma once
// A machine registry file with mail clients, messages of the host's service captured, and the
// recording client library's output.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "common/global_interface.h"
#include "core/ustring.h"
#include "support/temp_dir.h"

namespace vx::mail::test {

// A test client library built for this process's architecture.
inline std::string TestLib(const std::string& name) {
  return std::string(VX_TEST_LIB_DIR) + "/" + name;
}
// The same library built for the worker, a 64-bit program whatever the host is.
inline std::string WorkerLib(const std::string& name) {
  return std::string(VX_TEST_WORKER_LIB_DIR) + "/" + name;
}
// The recording client as an image of the other architecture (not loadable in this process).
inline constexpr const char* kForeignClient = VX_TEST_FOREIGN_CLIENT;
inline constexpr bool kHost32 = sizeof(void*) == 4;

class CapturedMessages : public IMessages {
 public:
  void Inf_OLite(const UString& text) override { infos.push_back(UToUtf8(text)); }
  void BladOk_OLite(const UString& text) override { errors.push_back(UToUtf8(text)); }
  std::vector<std::string> infos;
  std::vector<std::string> errors;
};

struct RegClient {
  std::string key;
  std::string name;
  std::string dllPath;
};

class MailFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    messages = std::make_shared<CapturedMessages>();
    Messages = messages;
    setenv("VX64_REGISTRY_HKLM", (dir / "machine.reg").c_str(), 1);
    setenv("VX64_REGISTRY_HKCU", (dir / "user.reg").c_str(), 1);
    setenv("VX_TEST_MAPI_RECORD", (dir / "record.txt").c_str(), 1);
    setenv("TMPDIR", dir.path().c_str(), 1);
    unsetenv("VX_TEST_MAPI_RESULT");
    unsetenv("VX_TEST_MAPI_SLEEP_MS");
  }
  void TearDown() override {
    Messages.reset();
    for (const char* v : {"VX64_REGISTRY_HKLM", "VX64_REGISTRY_HKCU", "VX_TEST_MAPI_RECORD", "TMPDIR",
                          "VX_TEST_MAPI_RESULT", "VX_TEST_MAPI_SLEEP_MS"}) {
      unsetenv(v);
    }
  }

  // Writes the machine registry: the clients under SOFTWARE\Clients\Mail in this order, the
  // default client's name, and optionally the messaging subsystem's "MAPI" value.
  void WriteRegistry(const std::string& defaultClient, const std::vector<RegClient>& clients,
                     const std::string& mapiValue = "") {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (!mapiValue.empty()) {
      text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=\"" +
              mapiValue + "\"\r\n\"MAPIX\"=\"1\"\r\n\"MAPIXVER\"=\"1.0.0.1\"\r\n\r\n";
    }
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"" + defaultClient + "\"\r\n\r\n";
    for (const RegClient& c : clients) {
      text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\" + c.key + "]\r\n@=\"" + c.name +
              "\"\r\n\"DLLPath\"=\"" + c.dllPath + "\"\r\n\r\n";
    }
    vx::test::WriteFile(dir / "machine.reg", text);
  }
  // One default client using the recording library.
  void UseRecordingClient(const std::string& name, const std::string& lib = "recording_client.so") {
    WriteRegistry(name, {{name, name, TestLib(lib)}});
  }
  // A default client for sends that the worker makes.
  void UseWorkerClient(const std::string& name, const std::string& lib = "recording_client.so") {
    WriteRegistry(name, {{name, name, WorkerLib(lib)}});
  }

  [[nodiscard]] std::string Record() const { return vx::test::ReadFile(dir / "record.txt"); }

  vx::test::TempDir dir;
  std::shared_ptr<CapturedMessages> messages;
};

}  // namespace vx::mail::test
