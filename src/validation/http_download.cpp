#include "validation/http_download.h"

#include "platform/process.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "validation/net_override.h"

namespace vx {

namespace {

constexpr char kProbeAccept[] = "text/html,application/xhtml+xml,application/xml";

// Sets one option; a refused option is an error of this code, not of the server.
template <typename T>
void SetOpt(CURL* aHandle, CURLoption aOption, T aValue) {
  if (curl_easy_setopt(aHandle, aOption, aValue) != CURLE_OK)
    throw std::runtime_error("curl option " + std::to_string(static_cast<int>(aOption)) + " refused");
}

// The body of one answer, at most `max` bytes, gathered in blocks and joined once at the end, so
// a body takes at most about twice its size (a buffer doubling as it grows leaves its earlier
// copies resident in the heap and takes three times).
struct TBody {
  static constexpr std::size_t kBlock = 1 << 20;
  std::vector<std::string> blocks;
  std::uint64_t size = 0;
  std::uint64_t max = 0;
  bool overflow = false;

  [[nodiscard]] std::string Join() {
    if (blocks.size() == 1) return std::move(blocks.front());
    std::string all;
    all.reserve(static_cast<std::size_t>(size));
    for (std::string& block : blocks) {
      all += block;
      std::string().swap(block);
    }
    return all;
  }
};

size_t AppendBody(char* aData, size_t aSize, size_t aCount, void* aTarget) noexcept {
  auto* body = static_cast<TBody*>(aTarget);
  const std::size_t n = aSize * aCount;
  if (body->size + n > body->max) {
    body->overflow = true;
    return 0;  // makes curl stop the transfer with an error
  }
  try {
    if (body->blocks.empty() || body->blocks.back().capacity() - body->blocks.back().size() < n) {
      body->blocks.emplace_back().reserve(std::max(n, TBody::kBlock));
    }
    body->blocks.back().append(aData, n);
    body->size += n;
    return n;
  } catch (...) {
    return 0;
  }
}

// Settings every download shares: the address, http(s) only, the time-outs and the override.
void SetCommon(TCurlEasy& aHandle, const std::string& aURL) {
  CURL* h = aHandle.get();
  SetOpt(h, CURLOPT_URL, aURL.c_str());
  SetOpt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOpt(h, CURLOPT_NOSIGNAL, 1L);
  const THttpTimeouts timeouts = HttpTimeouts();
  SetOpt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  // A read time-out: fewer than 1 byte per second for the whole period ends the transfer.
  SetOpt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  SetOpt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.read.count()));
  const TDownloadLimits limits = DownloadLimits();
  SetOpt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  SetOpt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  ApplyHostOverride(aHandle);
}

struct TAnswer {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
  std::string contentType;
  std::string error;  // curl's own description of a failure
};

TAnswer Perform(TCurlEasy& aHandle) {
  TAnswer answer;
  CURL* h = aHandle.get();
  TBody body;
  body.max = DownloadLimits().maxBytes;
  SetOpt(h, CURLOPT_WRITEFUNCTION, &AppendBody);
  SetOpt(h, CURLOPT_WRITEDATA, static_cast<void*>(&body));
  char error[CURL_ERROR_SIZE] = {};
  SetOpt(h, CURLOPT_ERRORBUFFER, error);
  answer.code = curl_easy_perform(h);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
  answer.error = error[0] != '\0' ? error : curl_easy_strerror(answer.code);
  if (body.overflow || answer.code == CURLE_FILESIZE_EXCEEDED)
    answer.error = "answer larger than " + std::to_string(body.max) + " bytes";
  if (!body.overflow) answer.body = body.Join();
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
  char* type = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr)
    answer.contentType = type;
  return answer;
}

// The charset parameter of a Content-Type value, lower case, without quotes; empty when absent.
std::string CharsetOf(std::string_view aContentType) {
  std::string lower;
  for (char c : aContentType) lower += AsciiLower(c);
  std::size_t pos = 0;
  while ((pos = lower.find(';', pos)) != std::string::npos) {
    ++pos;
    std::size_t start = lower.find_first_not_of(" \t", pos);
    if (start == std::string::npos) break;
    if (lower.compare(start, 8, "charset=") != 0) continue;
    start += 8;
    std::size_t end = lower.find_first_of("; \t", start);
    std::string value = lower.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return {};
}

}  // namespace

namespace {

// A positive number from an environment variable, or nullopt.
std::optional<long long> PositiveNumber(const char* aVariable, long long aMax) {
  const std::optional<std::string> value = platform::EnvironmentVariable(aVariable);
  if (!value) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(value->c_str(), &end, 10);
  if (errno != 0 || end == value->c_str() || *end != '\0' || n <= 0 || n > aMax) return std::nullopt;
  return n;
}

}  // namespace

TDownloadLimits DownloadLimits() {
  TDownloadLimits limits;
  if (auto bytes = PositiveNumber(kDownloadMaxBytesVariable, 1ll << 40))
    limits.maxBytes = static_cast<std::uint64_t>(*bytes);
  if (auto ms = PositiveNumber(kDownloadTimeoutVariable, 24ll * 3600 * 1000))
    limits.total = std::chrono::milliseconds(*ms);
  return limits;
}

THttpTimeouts HttpTimeouts() {
  THttpTimeouts timeouts;
  const std::optional<std::string> value = platform::EnvironmentVariable(kHttpTimeoutVariable);
  if (!value) return timeouts;
  char* end = nullptr;
  errno = 0;
  const long long ms = std::strtoll(value->c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || ms <= 0 || ms > 3600000) return timeouts;
  timeouts.connect = std::chrono::milliseconds(ms);
  timeouts.read = std::chrono::seconds((ms + 999) / 1000);
  return timeouts;
}

UString DecodeHttpBody(std::string_view aBody, std::string_view aContentType) {
  return Utf8ToU(BodyAsUtf8(std::string(aBody), aContentType));
}

void WSetHttp(TCurlEasy& aHandle, const std::string& aURL) {
  SetCommon(aHandle, aURL);
  CURL* h = aHandle.get();
  SetOpt(h, CURLOPT_FOLLOWLOCATION, 0L);
  SetOpt(h, CURLOPT_FAILONERROR, 0L);
  SetOpt(h, CURLOPT_COOKIEFILE, "");  // cookie engine on, nothing read or written
  SetOpt(h, CURLOPT_SSL_VERIFYPEER, 0L);
  SetOpt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  SetOpt(h, CURLOPT_SSLVERSION,
         static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
  SetOpt(h, CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_NONE));
  aHandle.SetList(CURLOPT_HTTPHEADER,
                  TCurlSlist({std::string("Accept: ") + kProbeAccept,
                              std::string("Content-Type: ") + kProbeAccept, "Content-Encoding: utf-8"}));
}

UString wGetFileText(UStringView aURL) noexcept {
  try {
    const std::string url = UToUtf8(aURL);
    if (!IsWebAddress(url)) return {};
    TCurlEasy handle;
    WSetHttp(handle, url);
    const TAnswer answer = Perform(handle);
    if (answer.code != CURLE_OK || answer.status != 200) return {};
    return DecodeHttpBody(answer.body, answer.contentType);
  } catch (...) {
    return {};
  }
}

bool IsWebAddress(std::string_view aURL) {
  return StartsWithNoCase(aURL, "http://") || StartsWithNoCase(aURL, "https://");
}

std::string FetchDocument(const std::string& aURL, bool aFollowRedirects) {
  if (!IsWebAddress(aURL)) throw EHttpError("not a web address: " + aURL, 0);
  TCurlEasy handle;
  SetCommon(handle, aURL);
  if (aFollowRedirects) {
    SetOpt(handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
    SetOpt(handle.get(), CURLOPT_MAXREDIRS, 5L);
    SetOpt(handle.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  }
  TAnswer answer = Perform(handle);
  if (answer.code != CURLE_OK) throw EHttpError(aURL + ": " + answer.error, answer.status);
  if (answer.status < 200 || answer.status > 299)
    throw EHttpError(aURL + ": HTTP status " + std::to_string(answer.status), answer.status);
  return std::move(answer.body);
}

TLocationAnswer FetchLocation(const std::string& aURL) {
  TLocationAnswer result;
  if (!IsWebAddress(aURL)) {
    result.error = "not a web address: " + aURL;
    return result;
  }
  const bool tls = StartsWithNoCase(aURL, "https://");
  TAnswer answer;
  {
    TCurlEasy handle;
    WSetHttp(handle, aURL);
    if (tls) {
      SetOpt(handle.get(), CURLOPT_SSL_VERIFYPEER, 1L);
      SetOpt(handle.get(), CURLOPT_SSL_VERIFYHOST, 2L);
    }
    answer = Perform(handle);
  }
  result.verified = tls && answer.code == CURLE_OK;
  if (tls && answer.code == CURLE_PEER_FAILED_VERIFICATION) {
    // The probe takes any certificate; only the page's links need a verified one.
    TCurlEasy handle;
    WSetHttp(handle, aURL);
    answer = Perform(handle);
  }
  result.ok = answer.code == CURLE_OK;
  result.status = answer.status;
  result.error = result.ok ? (answer.status >= 200 && answer.status <= 299
                                  ? std::string()
                                  : aURL + ": HTTP status " + std::to_string(answer.status))
                           : aURL + ": " + answer.error;
  if (tls && result.ok && !result.verified && result.error.empty())
    result.error = aURL + ": certificate not verified";
  result.body = BodyAsUtf8(std::move(answer.body), answer.contentType);
  return result;
}

std::string BodyAsUtf8(std::string aBody, std::string_view aContentType) {
  const std::string charset = CharsetOf(aContentType);
  if (!charset.empty() && charset != "utf-8" && charset != "utf8") {
    if (std::optional<std::string> utf8 = platform::CharsetToUtf8(aBody, charset)) return std::move(*utf8);
  }
  return aBody;
}

UString GetPageText(UStringView aURL) {
  TLocationAnswer answer = FetchLocation(UToUtf8(aURL));
  if (!answer.error.empty()) throw EHttpError(answer.error, answer.status);
  return Utf8ToU(answer.body);
}

}  // namespace vx
