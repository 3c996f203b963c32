#pragma once
// The set of schemas one validation validates against. Schemas are added one location at a time
// under a namespace key; each add compiles the schema with its imports and includes and checks
// its target namespace against the key. Several locations of one namespace are compiled together
// through a generated schema that includes each of them, and the generated schemas of all
// namespaces are imported by one top schema for validation.
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/ustring.h"
#include "validation/schema_sources.h"

struct _xmlSchema;

namespace vx {

// A failed registration. The message is worded so that the resolution can read it: a target
// namespace that differs from the key is quoted last but one between apostrophes, a duplicate
// declaration says "Zduplikowana nazwa elementu".
class ESchemaError : public std::runtime_error {
 public:
  explicit ESchemaError(const UString& message);
  [[nodiscard]] const UString& Message() const { return FMessage; }

 private:
  UString FMessage;
};

class TSchemaSet {
 public:
  TSchemaSet();
  ~TSchemaSet();
  TSchemaSet(const TSchemaSet&) = delete;
  TSchemaSet& operator=(const TSchemaSet&) = delete;

  // Registers the schema at aLocation under aNamespace; raises ESchemaError. A local file only
  // when aTrusted (the location did not come from the web).
  void add(const UString& aNamespace, const UString& aLocation, bool aTrusted = true);
  // Forgets what this run read or failed to read at aLocation, so that the next add tries again.
  void Forget(const UString& aLocation);
  [[nodiscard]] bool Empty() const { return FNamespaces.empty(); }
  // The compiled set (an empty set declares nothing, so every element is undeclared), compiled
  // again after every change; raises ESchemaError.
  [[nodiscard]] _xmlSchema* Compiled();
  [[nodiscard]] TSchemaSources& Sources() { return FSources; }

 private:
  struct Namespace {
    UString key;
    std::vector<UString> locations;
  };
  struct SchemaFree {
    void operator()(_xmlSchema* s) const;
  };

  // The namespaces in the order the top schema imports them.
  [[nodiscard]] std::vector<std::size_t> ImportOrder() const;

  std::vector<Namespace> FNamespaces;
  TSchemaSources FSources;
  std::unique_ptr<_xmlSchema, SchemaFree> FCompiled;
};

}  // namespace vx
