#pragma once
// Downloads of namespace pages and of candidate schema files over HTTP(S), through libcurl.
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/ustring.h"
#include "validation/curl_handle.h"

namespace vx {

// Connect and read time-outs of every download. 10 s each; the environment variable
// VX64_HTTP_TIMEOUT_MS (a positive number of milliseconds) replaces both, so tests of
// unresponsive servers need not wait that long. The read time-out counts whole seconds.
inline constexpr char kHttpTimeoutVariable[] = "VX64_HTTP_TIMEOUT_MS";
struct THttpTimeouts {
  std::chrono::milliseconds connect{10000};
  std::chrono::seconds read{10};
};
[[nodiscard]] THttpTimeouts HttpTimeouts();

// Bounds of every download (and of every schema file read from disk): at most maxBytes of body
// (64 MiB) and at most `total` for the whole transfer (60 s). The environment variables
// VX64_DOWNLOAD_MAX_BYTES (bytes) and VX64_DOWNLOAD_TIMEOUT_MS (milliseconds), positive numbers,
// replace them.
inline constexpr char kDownloadMaxBytesVariable[] = "VX64_DOWNLOAD_MAX_BYTES";
inline constexpr char kDownloadTimeoutVariable[] = "VX64_DOWNLOAD_TIMEOUT_MS";
struct TDownloadLimits {
  std::uint64_t maxBytes = 64ull * 1024 * 1024;
  std::chrono::milliseconds total{60000};
};
[[nodiscard]] TDownloadLimits DownloadLimits();

// A page fetch that failed: no connection, a time-out, a TLS or certificate failure, an
// address that is not http(s), or an HTTP status outside 2xx (status() is 0 when no answer came).
class EHttpError : public std::runtime_error {
 public:
  EHttpError(const std::string& aMessage, long aStatus) : std::runtime_error(aMessage), FStatus(aStatus) {}
  [[nodiscard]] long status() const { return FStatus; }

 private:
  long FStatus;
};

// Applies the probe's client settings to aHandle for a GET of aURL: 10 s connect and read
// time-outs, no redirects, cookies kept for this one handle only, no certificate verification,
// TLS 1.2 and 1.3, the fixed Accept / Content-Type / Content-Encoding request values, no
// authentication, HTTP error statuses not raised, http and https only, and the host override.
void WSetHttp(TCurlEasy& aHandle, const std::string& aURL);

// The body of the answer to a GET of aURL when its status is exactly 200, decoded by the
// charset of its Content-Type; the empty text on any other status and on every failure.
// Never throws and logs nothing.
[[nodiscard]] UString wGetFileText(UStringView aURL) noexcept;

// The namespace page fetch, through FetchLocation: the decoded body of a 2xx answer (https only
// with a verified certificate, redirects not followed); throws EHttpError on any failure.
[[nodiscard]] UString GetPageText(UStringView aURL);

// True for an http:// or https:// address (any letter case).
[[nodiscard]] bool IsWebAddress(std::string_view aURL);

// A GET with the settings every download shares (time-outs, http(s) only, the host override,
// certificates verified against the system store), following up to 5 redirects when asked.
// Returns the raw body; throws EHttpError on any failure, including a status outside 2xx.
[[nodiscard]] std::string FetchDocument(const std::string& aURL, bool aFollowRedirects);

// One download of a location serving both the schema probe and the page's links, so that a
// validation fetches each location once: the probe's client settings, but for https first with
// the certificate verified against the system store and, only when that fails, again without.
struct TLocationAnswer {
  bool ok = false;        // an answer came
  long status = 0;        // its HTTP status
  bool verified = false;  // https with a verified certificate
  std::string body;       // as UTF-8 (by the charset of its Content-Type)
  std::string error;      // why the answer does not serve as a page; empty when it does
};
[[nodiscard]] TLocationAnswer FetchLocation(const std::string& aURL);

// A body as UTF-8 by the charset parameter of a Content-Type value (unchanged when absent,
// UTF-8 or unknown). Bytes the charset cannot decode become U+FFFD.
[[nodiscard]] std::string BodyAsUtf8(std::string aBody, std::string_view aContentType);

// A body turned into text by the charset parameter of a Content-Type value (UTF-8 when absent
// or unknown). Bytes the charset cannot decode become U+FFFD; ASCII stays intact.
[[nodiscard]] UString DecodeHttpBody(std::string_view aBody, std::string_view aContentType);

}  // namespace vx
