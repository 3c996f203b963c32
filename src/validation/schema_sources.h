#pragma once
// The documents the schema compiler reads while one validation runs: files, web addresses
// (fetched once per run and kept in memory until the run ends) and the schemas the set
// generates itself. libxml2 reads external documents through these, on this thread only, while a
// TSchemaSourceScope is alive.
#include <optional>
#include <string>
#include <unordered_map>

namespace vx {

class TSchemaSources {
 public:
  // The bytes of a location (a web address, a file URL or a path, or a generated name); null
  // when it cannot be read, with the reason in `reason`.
  const std::string* Get(const std::string& location, std::string& reason);
  // Makes a generated document available under `name`.
  void SetGenerated(const std::string& name, std::string text);

 private:
  std::unordered_map<std::string, std::string> FDocuments;
  std::unordered_map<std::string, std::string> FFailures;
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

// Fetches a web address for the schema compiler: certificates verified against the system store,
// redirects followed, any failure or a status outside 2xx reported in `reason`.
[[nodiscard]] std::optional<std::string> FetchSchemaDocument(const std::string& url, std::string& reason);

}  // namespace vx
