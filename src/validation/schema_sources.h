#pragma once
// The documents the schema compiler reads while one validation runs: files, web addresses
// (fetched once per run and kept in memory until the run ends) and the schemas the set
// generates itself. libxml2 reads external documents through these, on this thread only, while a
// TSchemaSourceScope is alive.
//
// Only schema documents are ever read: the locations the set was given (Admit) and those that
// the xs:include, xs:import and xs:redefine elements of documents already read lead to. Anything
// else a schema names (a DTD, an external entity) is refused without a request or an open. A
// document fetched from the web may lead only to web addresses; local files are read only when a
// trusted location or a local schema names them, and only regular files within the size bound.
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx {

class TSchemaSources {
 public:
  // Lets the compiler read `location`. A local file (a path or a file URL) only when aTrusted:
  // it came from the local file system, the caller, the user's map or answers.
  void Admit(const std::string& location, bool aTrusted);
  // The bytes of an admitted location, or of a generated name; null when it cannot or may not be
  // read, with the reason in `reason`.
  const std::string* Get(const std::string& location, std::string& reason);
  // Forgets the document or the failure of `location` (it stays admitted).
  void Forget(const std::string& location);
  // Makes a generated document available under `name`.
  void SetGenerated(const std::string& name, std::string text);
  // The namespaces that the documents read from `location`, and every document they lead to,
  // import (each once, in the order first met).
  [[nodiscard]] std::vector<std::string> ImportedNamespaces(const std::string& location) const;

 private:
  struct TDocument {
    std::string bytes;
    std::vector<std::string> children;  // keys of the schema documents it names
    std::vector<std::string> imports;   // namespaces of its xs:import elements
  };
  void Scan(const std::string& location, TDocument& aDocument);

  std::unordered_map<std::string, std::string> FGenerated;
  std::unordered_map<std::string, TDocument> FDocuments;   // by key
  std::unordered_map<std::string, std::string> FFailures;  // by key
  std::set<std::string> FAdmitted;                         // keys
};

class TSchemaSourceScope {
 public:
  explicit TSchemaSourceScope(TSchemaSources& sources);
  ~TSchemaSourceScope();
  TSchemaSourceScope(const TSchemaSourceScope&) = delete;
  TSchemaSourceScope& operator=(const TSchemaSourceScope&) = delete;

 private:
  TSchemaSources* FPrevious;
};

// Replaces libxml2's own input handlers (its file reader and its HTTP client) by ours, once per
// process. Outside a scope nothing external can be read.
void InstallSchemaInputHandlers();

// True for a location read from the local file system (a path or a file URL).
[[nodiscard]] bool IsLocalLocation(const std::string& location);

// Fetches a web address for the schema compiler: certificates verified against the system store,
// redirects followed, any failure or a status outside 2xx reported in `reason`.
[[nodiscard]] std::optional<std::string> FetchSchemaDocument(const std::string& url, std::string& reason);

}  // namespace vx
