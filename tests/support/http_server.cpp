// cpp-httplib as packaged here is a compiled library built with OpenSSL support; its declarations
// must be read with the same setting.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#include "support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vx::test {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct TFreeKey {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct TFreeX509 {
  void operator()(X509* x) const { X509_free(x); }
};

// A self-signed certificate for "localhost" with a fresh P-256 key.
std::pair<std::unique_ptr<EVP_PKEY, TFreeKey>, std::unique_ptr<X509, TFreeX509>> MakeCertificate(
    bool aExpired) {
  std::unique_ptr<EVP_PKEY, TFreeKey> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, TFreeX509> cert(X509_new());
  if (!key || !cert) throw std::runtime_error("cannot make a test key");
  constexpr long kDay = 24 * 60 * 60;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(std::time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), aExpired ? -2 * kDay : -kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), aExpired ? -kDay : kDay);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
    throw std::runtime_error("cannot sign a test certificate");
  return {std::move(key), std::move(cert)};
}

std::string HostWithoutPort(std::string_view aHost) {
  if (!aHost.empty() && aHost.front() == '[') return Lower(aHost.substr(0, aHost.find(']') + 1));
  return Lower(aHost.substr(0, aHost.rfind(':')));
}

std::string ContentTypeFor(const std::filesystem::path& aFile) {
  const std::string ext = Lower(aFile.extension().string());
  if (ext == ".xsd" || ext == ".xml") return "text/xml";
  if (ext == ".html" || ext == ".htm") return "text/html";
  return "application/octet-stream";
}

// A socket bound to 127.0.0.1 on a free port; its port through aPort.
int BoundSocket(int& aPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  aPort = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

std::string HttpRequest::Header(std::string_view aName) const {
  const auto it = headers.find(Lower(aName));
  return it == headers.end() ? std::string() : it->second;
}

struct HttpServer::TImpl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  mutable std::mutex mutex;
  std::vector<std::pair<std::string, HttpHandler>> handlers;  // empty path: any
  std::vector<HttpRequest> requests;

  void Answer(const httplib::Request& aIn, httplib::Response& aOut) {
    HttpRequest request;
    request.method = aIn.method;
    request.path = aIn.path;
    const std::size_t q = aIn.target.find('?');
    if (q != std::string::npos) request.query = aIn.target.substr(q + 1);
    request.host = HostWithoutPort(aIn.get_header_value("Host"));
    for (const auto& [name, value] : aIn.headers) request.headers.emplace(Lower(name), value);

    std::vector<std::pair<std::string, HttpHandler>> candidates;
    {
      std::lock_guard lock(mutex);
      requests.push_back(request);
      candidates = handlers;
    }
    HttpResponse response;
    response.status = 404;
    response.body = "not found";
    for (const auto& [path, handler] : candidates) {
      if (!path.empty() && path != request.path) continue;
      HttpResponse attempt;
      if (handler(request, attempt)) {
        response = std::move(attempt);
        break;
      }
    }
    aOut.status = response.status;
    for (const auto& [name, value] : response.headers) aOut.set_header(name, value);
    aOut.set_content(response.body, response.contentType);
  }
};

HttpServer::HttpServer(HttpServerOptions aOptions) : FOptions(aOptions), FImpl(std::make_unique<TImpl>()) {
  if (FOptions.tls) {
    auto [key, cert] = MakeCertificate(FOptions.expiredCertificate);
    // The server takes its own references to the certificate and key.
    auto server = std::make_unique<httplib::SSLServer>(cert.get(), key.get());
    if (!server->is_valid()) throw std::runtime_error("cannot set up the TLS test server");
    if (FOptions.tls13Only) SSL_CTX_set_min_proto_version(server->ssl_context(), TLS1_3_VERSION);
    FImpl->server = std::move(server);
  } else {
    FImpl->server = std::make_unique<httplib::Server>();
  }
  FImpl->server->set_keep_alive_max_count(1);
  FImpl->server->Get(".*", [impl = FImpl.get()](const httplib::Request& aIn, httplib::Response& aOut) {
    impl->Answer(aIn, aOut);
  });
}

HttpServer::~HttpServer() {
  Stop();
}

void HttpServer::Start() {
  if (FImpl->thread.joinable()) return;
  FPort = FImpl->server->bind_to_any_port("127.0.0.1");
  if (FPort <= 0) throw std::runtime_error("the test server cannot bind");
  FImpl->thread = std::thread([server = FImpl->server.get()] { server->listen_after_bind(); });
  // Stop only works once the accept loop runs.
  while (!FImpl->server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void HttpServer::Stop() {
  if (!FImpl->thread.joinable()) return;
  FImpl->server->stop();
  FImpl->thread.join();
}

void HttpServer::On(std::string aPath, HttpHandler aHandler) {
  if (aPath.empty()) aPath.push_back('/');  // not `= "/"`: GCC 12 reports a false -Wrestrict at -O3
  std::lock_guard lock(FImpl->mutex);
  FImpl->handlers.emplace_back(std::move(aPath), std::move(aHandler));
}

void HttpServer::OnAny(HttpHandler aHandler) {
  std::lock_guard lock(FImpl->mutex);
  FImpl->handlers.emplace_back(std::string(), std::move(aHandler));
}

void HttpServer::Serve(std::string aPath, std::string aBody, std::string aContentType, int aStatus) {
  On(std::move(aPath), [=](const HttpRequest&, HttpResponse& aOut) {
    aOut.status = aStatus;
    aOut.body = aBody;
    aOut.contentType = aContentType;
    return true;
  });
}

void HttpServer::ServeTree(std::filesystem::path aRoot, bool aByHost) {
  OnAny([root = std::move(aRoot), aByHost](const HttpRequest& aIn, HttpResponse& aOut) {
    const std::filesystem::path relative = std::filesystem::path(aIn.path).relative_path().lexically_normal();
    if (!relative.empty() && *relative.begin() == "..") return false;
    std::filesystem::path file = aByHost ? root / aIn.host / relative : root / relative;
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) file /= "index.html";
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream body;
    body << in.rdbuf();
    aOut.body = body.str();
    aOut.contentType = ContentTypeFor(file);
    return true;
  });
}

std::string HttpServer::Url(std::string_view aPath) const {
  return (FOptions.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(FPort) +
         std::string(aPath);
}

std::string HttpServer::ConnectTo(std::string_view aHost, int aPort) const {
  return std::string(aHost) + ":" + std::to_string(aPort) + ":127.0.0.1:" + std::to_string(FPort);
}

std::vector<HttpRequest> HttpServer::Requests() const {
  std::lock_guard lock(FImpl->mutex);
  return FImpl->requests;
}

int HttpServer::RequestCount(std::string_view aPath) const {
  std::lock_guard lock(FImpl->mutex);
  int count = 0;
  for (const HttpRequest& r : FImpl->requests) count += r.path == aPath ? 1 : 0;
  return count;
}

void HttpServer::ClearRequests() {
  std::lock_guard lock(FImpl->mutex);
  FImpl->requests.clear();
}

SilentServer::SilentServer() {
  FSocket = BoundSocket(FPort);
  if (::listen(FSocket, 16) != 0) {
    ::close(FSocket);
    throw std::runtime_error("listen failed");
  }
}

SilentServer::~SilentServer() {
  ::close(FSocket);
}

int ClosedPort() {
  int port = 0;
  ::close(BoundSocket(port));
  return port;
}

ScopedEnv::ScopedEnv(std::string aName, const char* aValue) : FName(std::move(aName)) {
  if (const char* old = std::getenv(FName.c_str())) {
    FOld = old;
    FHadOld = true;
  }
  if (aValue != nullptr)
    ::setenv(FName.c_str(), aValue, 1);
  else
    ::unsetenv(FName.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (FHadOld)
    ::setenv(FName.c_str(), FOld.c_str(), 1);
  else
    ::unsetenv(FName.c_str());
}

}  // namespace vx::test
