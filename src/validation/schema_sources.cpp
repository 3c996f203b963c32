#include "validation/schema_sources.h"

#include "validation/xml_memory.h"

#include <libxml/parser.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "core/ustring.h"
#include "platform/file_reader.h"
#include "validation/http_download.h"

namespace vx {

namespace {

thread_local TSchemaSources* tActive = nullptr;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
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
    return FetchDocument(url, true);
  } catch (const std::exception& e) {
    reason = e.what();
    return std::nullopt;
  }
}

}  // namespace vx
