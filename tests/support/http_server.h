#pragma once
// Real HTTP and HTTPS servers on 127.0.0.1 for tests, on ephemeral ports.
//
//   vx::test::HttpServer server;                       // or HttpServer({.tls = true})
//   server.ServeTree("/path/to/www");                  // files under www/<Host header>/<path>
//   server.On("/page/", [](const HttpRequest&, HttpResponse& r) { r.body = "..."; return true; });
//   server.Start();
//   ... server.Url("/page/") ... server.ConnectTo("crd.gov.pl", 80) ...
//
// Handlers are tried in the order they were added (exact-path ones only for their path); the
// first that returns true answers. Then the file tree, then 404. Every request is recorded.
// The library behind it is not visible here, so users need no extra compile settings; the test
// executable links cpp-httplib and OpenSSL.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::test {

struct HttpRequest {
  std::string method;
  std::string path;                                 // decoded, without the query
  std::string query;                                // raw text after '?', empty when none
  std::string host;                                 // Host header without its port, lower case
  std::multimap<std::string, std::string> headers;  // names in lower case

  // The first value of a header (name in any case); empty when absent.
  [[nodiscard]] std::string Header(std::string_view aName) const;
};

struct HttpResponse {
  int status = 200;
  std::string body;
  std::string contentType = "text/plain";
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers, e.g. Location
};

using HttpHandler = std::function<bool(const HttpRequest&, HttpResponse&)>;

struct HttpServerOptions {
  bool tls = false;                 // HTTPS with a self-signed certificate for "localhost"
  bool tls13Only = false;           // with tls: the server accepts TLS 1.3 only
  bool expiredCertificate = false;  // with tls: the certificate expired yesterday
};

class HttpServer {
 public:
  explicit HttpServer(HttpServerOptions aOptions = {});
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1 on a free port and serves on a thread of its own; returns once requests are
  // accepted. Throws std::runtime_error when the server cannot start.
  void Start();
  // Stops serving and waits for the server thread; safe to call twice.
  void Stop();

  // Handlers may be added before or after Start.
  void On(std::string aPath, HttpHandler aHandler);  // exact path, any host
  void OnAny(HttpHandler aHandler);                  // every request
  // A fixed answer for one path.
  void Serve(std::string aPath, std::string aBody, std::string aContentType = "text/plain",
             int aStatus = 200);
  // Files under aRoot: aRoot/<host>/<path> when aByHost, else aRoot/<path>. A directory answers
  // with its index.html. ".xsd" and ".xml" are served as text/xml, ".html" as text/html.
  void ServeTree(std::filesystem::path aRoot, bool aByHost = true);

  [[nodiscard]] int port() const { return FPort; }
  [[nodiscard]] bool tls() const { return FOptions.tls; }
  // "http://127.0.0.1:<port>" + aPath (https when tls).
  [[nodiscard]] std::string Url(std::string_view aPath = "/") const;
  // A host override entry sending aHost:aPort to this server, for VX64_CONNECT_TO.
  [[nodiscard]] std::string ConnectTo(std::string_view aHost, int aPort) const;

  [[nodiscard]] std::vector<HttpRequest> Requests() const;
  // How many requests asked for aPath (any host).
  [[nodiscard]] int RequestCount(std::string_view aPath) const;
  void ClearRequests();

 private:
  struct TImpl;
  HttpServerOptions FOptions;
  int FPort = 0;
  std::unique_ptr<TImpl> FImpl;
};

// A TCP listener on 127.0.0.1 that never answers: connections are completed by the kernel and
// then left waiting.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  [[nodiscard]] int port() const { return FPort; }

 private:
  int FSocket = -1;
  int FPort = 0;
};

// A port on 127.0.0.1 that nobody listens on (connections are refused).
[[nodiscard]] int ClosedPort();

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string aName, const char* aValue);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string FName;
  std::string FOld;
  bool FHadOld = false;
};

}  // namespace vx::test
