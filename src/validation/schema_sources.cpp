#include "validation/schema_sources.h"

#include "validation/xml_memory.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "core/ustring.h"
#include "platform/file_reader.h"
#include "validation/http_download.h"

namespace vx {

namespace {

constexpr char kXsdNamespace[] = "http://www.w3.org/2001/XMLSchema";

thread_local TSchemaSources* tActive = nullptr;

std::string Unescaped(const std::string& text) {
  TXmlPtr<char> unescaped(xmlURIUnescapeString(text.c_str(), 0, nullptr));
  return unescaped ? std::string(unescaped.get()) : text;
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
  return Unescaped(rest);
}

// One name per document, however libxml2 or the set spelled it (escaped or not, "./" or "..").
std::string Key(const std::string& location) {
  if (IsWebAddress(location)) return Unescaped(location);
  return "file:" + std::filesystem::path(FilePath(location)).lexically_normal().string();
}

// While a document is scanned, errors reach no handler and nothing external is read.
class TScanScope {
 public:
  TScanScope() : FSources(tActive), FHandler(xmlStructuredError), FContext(xmlStructuredErrorContext) {
    tActive = nullptr;
    xmlSetStructuredErrorFunc(nullptr, &Ignore);
  }
  ~TScanScope() {
    xmlSetStructuredErrorFunc(FContext, FHandler);
    tActive = FSources;
  }
  TScanScope(const TScanScope&) = delete;
  TScanScope& operator=(const TScanScope&) = delete;

 private:
  static void Ignore(void*, xmlErrorPtr) {}
  TSchemaSources* FSources;
  xmlStructuredErrorFunc FHandler;
  void* FContext;
};

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

std::string Attribute(xmlNode* node, const char* name) {
  TXmlPtr<xmlChar> value(xmlGetNoNsProp(node, BAD_CAST name));
  if (!value) return {};
  std::string s(reinterpret_cast<const char*>(value.get()));
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The next element in document order below root, without recursion.
xmlNode* NextElement(xmlNode* node, xmlNode* root) {
  if (node->children != nullptr) {
    for (xmlNode* c = node->children; c != nullptr; c = c->next)
      if (c->type == XML_ELEMENT_NODE) return c;
  }
  while (node != root) {
    for (xmlNode* s = node->next; s != nullptr; s = s->next)
      if (s->type == XML_ELEMENT_NODE) return s;
    node = node->parent;
  }
  return nullptr;
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

bool IsLocalLocation(const std::string& location) {
  return !IsWebAddress(location);
}

void TSchemaSources::Admit(const std::string& location, bool aTrusted) {
  const std::string key = Key(location);
  if (IsLocalLocation(location) && !aTrusted) {
    if (FAdmitted.count(key) == 0)
      FFailures.emplace(key, "schemat pobrany z sieci nie może wskazywać pliku lokalnego");
    return;
  }
  FAdmitted.insert(key);
  FFailures.erase(key);
}

const std::string* TSchemaSources::Get(const std::string& location, std::string& reason) {
  if (auto it = FGenerated.find(location); it != FGenerated.end()) return &it->second;
  const std::string key = Key(location);
  if (auto it = FDocuments.find(key); it != FDocuments.end()) return &it->second.bytes;
  if (auto it = FFailures.find(key); it != FFailures.end()) {
    reason = it->second;
    return nullptr;
  }
  if (FAdmitted.count(key) == 0) {
    reason = "nie jest dokumentem schematu";  // a DTD, an entity, anything not named as a schema
    return nullptr;
  }
  std::optional<std::string> bytes;
  if (IsWebAddress(location)) {
    bytes = FetchSchemaDocument(location, reason);
  } else {
    try {
      bytes = platform::ReadWholeFile(Utf8ToU(FilePath(location)), DownloadLimits().maxBytes);
    } catch (const platform::EFileError& e) {
      reason = e.what();
    }
  }
  if (bytes && bytes->size() > INT_MAX) {
    bytes.reset();
    reason = "schemat zbyt duży";
  }
  if (!bytes) {
    FFailures.emplace(key, reason);
    return nullptr;
  }
  TDocument& document = FDocuments[key];
  document.bytes = std::move(*bytes);
  Scan(location, document);
  return &document.bytes;
}

void TSchemaSources::Scan(const std::string& location, TDocument& aDocument) {
  const bool remote = IsWebAddress(location);
  std::vector<std::string> named;
  {
    TScanScope scope;
    std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(aDocument.bytes.data(), static_cast<int>(aDocument.bytes.size()), location.c_str(),
                      nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    for (xmlNode* node = root; node != nullptr; node = NextElement(node, root)) {
      if (node->ns == nullptr || xmlStrcmp(node->ns->href, BAD_CAST kXsdNamespace) != 0) continue;
      const char* name = reinterpret_cast<const char*>(node->name);
      const bool import = std::strcmp(name, "import") == 0;
      if (!import && std::strcmp(name, "include") != 0 && std::strcmp(name, "redefine") != 0) continue;
      if (import) aDocument.imports.push_back(Attribute(node, "namespace"));
      const std::string schemaLocation = Attribute(node, "schemaLocation");
      if (schemaLocation.empty()) continue;
      // Resolved the way the compiler resolves it: against the element's base (xml:base included).
      TXmlPtr<xmlChar> base(xmlNodeGetBase(doc.get(), node));
      TXmlPtr<xmlChar> uri(xmlBuildURI(BAD_CAST schemaLocation.c_str(), base ? base.get() : doc->URL));
      named.push_back(uri ? std::string(reinterpret_cast<const char*>(uri.get())) : schemaLocation);
    }
  }
  for (const std::string& child : named) {
    Admit(child, !remote);
    aDocument.children.push_back(Key(child));
  }
}

std::vector<std::string> TSchemaSources::ImportedNamespaces(const std::string& location) const {
  std::vector<std::string> namespaces;
  std::set<std::string> seen;
  std::vector<std::string> pending{Key(location)};
  while (!pending.empty()) {
    const std::string key = std::move(pending.back());
    pending.pop_back();
    if (!seen.insert(key).second) continue;
    auto it = FDocuments.find(key);
    if (it == FDocuments.end()) continue;
    for (const std::string& ns : it->second.imports)
      if (std::find(namespaces.begin(), namespaces.end(), ns) == namespaces.end()) namespaces.push_back(ns);
    pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
  }
  return namespaces;
}

void TSchemaSources::Forget(const std::string& location) {
  const std::string key = Key(location);
  FDocuments.erase(key);
  FFailures.erase(key);
}

void TSchemaSources::SetGenerated(const std::string& name, std::string text) {
  FGenerated[name] = std::move(text);
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
