#include "validation/schema_sources.h"

#include "validation/xml_memory.h"

#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "core/ustring.h"
#include "platform/file_reader.h"
#include "validation/curl_handle.h"
#include "validation/http_download.h"
#include "validation/net_override.h"

namespace vx {

namespace {

thread_local TSchemaSources* tActive = nullptr;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

bool IsWebAddress(const std::string& s) {
  return StartsWithNoCase(s, "http://") || StartsWithNoCase(s, "https://");
}

// A file URL or a plain path as a file-system path.
std::string FilePath(const std::string& location) {
  if (!StartsWithNoCase(location, "file:")) return location;
  std::string rest = location.substr(5);
  if (rest.rfind("//", 0) == 0) {
    rest.erase(0, 2);
    std::size_t slash = rest.find('/');
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);  // drop the (local) host
  }
  TXmlPtr<char> unescaped(xmlURIUnescapeString(rest.c_str(), 0, nullptr));
  return unescaped ? std::string(unescaped.get()) : rest;
}

struct Reader {
  const std::string* data;
  std::size_t pos = 0;
};

int MatchAny(const char*) {
  return tActive != nullptr ? 1 : 0;
}

void* Open(const char* uri) {
  if (tActive == nullptr || uri == nullptr) return nullptr;
  std::string reason;
  const std::string* data = tActive->Get(uri, reason);
  if (data == nullptr) return nullptr;
  return std::make_unique<Reader>(Reader{data}).release();  // owned by libxml2 until Close
}

int Read(void* context, char* buffer, int len) {
  auto* r = static_cast<Reader*>(context);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(len), r->data->size() - r->pos);
  std::memcpy(buffer, r->data->data() + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

int Close(void* context) {
  std::unique_ptr<Reader> owned(static_cast<Reader*>(context));
  return 0;
}

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

const std::string* TSchemaSources::Get(const std::string& location, std::string& reason) {
  if (auto it = FDocuments.find(location); it != FDocuments.end()) return &it->second;
  if (auto it = FFailures.find(location); it != FFailures.end()) {
    reason = it->second;
    return nullptr;
  }
  std::optional<std::string> bytes;
  if (IsWebAddress(location)) {
    bytes = FetchSchemaDocument(location, reason);
  } else {
    try {
      bytes = platform::ReadWholeFile(Utf8ToU(FilePath(location)));
    } catch (const platform::EFileError& e) {
      reason = e.what();
    }
  }
  if (!bytes) {
    FFailures.emplace(location, reason);
    return nullptr;
  }
  return &FDocuments.emplace(location, std::move(*bytes)).first->second;
}

void TSchemaSources::SetGenerated(const std::string& name, std::string text) {
  FDocuments[name] = std::move(text);
}

TSchemaSourceScope::TSchemaSourceScope(TSchemaSources& sources) : FPrevious(tActive) {
  tActive = &sources;
}

TSchemaSourceScope::~TSchemaSourceScope() {
  tActive = FPrevious;
}

void InstallSchemaInputHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlCleanupInputCallbacks();
    xmlRegisterInputCallbacks(&MatchAny, &Open, &Read, &Close);
  });
}

std::optional<std::string> FetchSchemaDocument(const std::string& url, std::string& reason) {
  try {
    TCurlEasy curl;
    std::string body;
    char error[CURL_ERROR_SIZE] = {};
    const THttpTimeouts timeouts = HttpTimeouts();
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.read.count()));
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    ApplyHostOverride(curl);
    CURLcode rc = curl_easy_perform(curl.get());
    if (rc != CURLE_OK) {
      reason = error[0] != '\0' ? error : curl_easy_strerror(rc);
      return std::nullopt;
    }
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
      reason = "HTTP " + std::to_string(status);
      return std::nullopt;
    }
    return body;
  } catch (const std::exception& e) {
    reason = e.what();
    return std::nullopt;
  }
}

}  // namespace vx
