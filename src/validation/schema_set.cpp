#include "validation/schema_set.h"

#include "validation/xml_memory.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace vx {

namespace {

constexpr char kXsdNamespace[] = "http://www.w3.org/2001/XMLSchema";
constexpr char kGeneratedPrefix[] = "vx-ns:";

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct ParserCtxtFree {
  void operator()(xmlSchemaParserCtxt* c) const { xmlSchemaFreeParserCtxt(c); }
};

// The first problem a schema compilation reports.
struct CompileErrors {
  bool missingIsError = false;  // an import whose schema is not found counts as an error
  int code = 0;
  std::string message;

  static void Handler(void* data, xmlError* error) {
    auto* self = static_cast<CompileErrors*>(data);
    if (error == nullptr || self->code != 0) return;
    const bool isError = error->level >= XML_ERR_ERROR;
    // A second import of a namespace is skipped with a warning: legal, and not an error.
    const bool isMissing = error->code == XML_SCHEMAP_WARN_UNLOCATED_SCHEMA;
    if (!isError && !(isMissing && self->missingIsError)) return;
    self->code = error->code == 0 ? -1 : error->code;
    self->message = error->message != nullptr ? error->message : "schema error";
    while (!self->message.empty() && (self->message.back() == '\n' || self->message.back() == ' ')) {
      self->message.pop_back();
    }
  }
};

// Routes the thread's generic structured errors (from reading schema documents) to `errors`
// while a compilation runs.
class GenericErrorScope {
 public:
  explicit GenericErrorScope(CompileErrors& errors)
      : FPrevious(xmlStructuredError), FPreviousData(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(&errors, &CompileErrors::Handler);
  }
  ~GenericErrorScope() { xmlSetStructuredErrorFunc(FPreviousData, FPrevious); }

 private:
  xmlStructuredErrorFunc FPrevious;
  void* FPreviousData;
};

std::unique_ptr<_xmlSchema, void (*)(_xmlSchema*)> Compile(const std::string& text, CompileErrors& errors,
                                                           TSchemaSources& sources) {
  std::unique_ptr<_xmlSchema, void (*)(_xmlSchema*)> none(nullptr, &xmlSchemaFree);
  TSchemaSourceScope scope(sources);
  GenericErrorScope generic(errors);
  std::unique_ptr<xmlSchemaParserCtxt, ParserCtxtFree> ctxt(
      xmlSchemaNewMemParserCtxt(text.data(), static_cast<int>(text.size())));
  if (!ctxt) return none;
  xmlSchemaSetParserStructuredErrors(ctxt.get(), &CompileErrors::Handler, &errors);
  std::unique_ptr<_xmlSchema, void (*)(_xmlSchema*)> schema(xmlSchemaParse(ctxt.get()), &xmlSchemaFree);
  if (errors.code != 0) return none;
  if (!schema && errors.code == 0) {
    errors.code = -1;
    errors.message = "schema error";
  }
  return schema;
}

std::string XmlAttr(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// A location as the compiler should see it: web addresses and URLs unchanged, a file path as an
// absolute file URL (the generated schemas have no base address, and blanks or other characters
// in a path must not end up as a different name).
std::string CompilerLocation(const UString& location) {
  std::string s = UToUtf8(location);
  if (s.find("://") != std::string::npos || s.rfind("file:", 0) == 0) return s;
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(s, ec);
  if (ec) return s;
  TXmlPtr<xmlChar> escaped(xmlURIEscapeStr(BAD_CAST abs.string().c_str(), BAD_CAST "/"));
  return escaped ? "file://" + std::string(reinterpret_cast<const char*>(escaped.get())) : abs.string();
}

std::string IncludeSchema(const UString& key, const std::vector<UString>& locations) {
  std::string text = "<xs:schema xmlns:xs=\"";
  text += kXsdNamespace;
  text += "\"";
  if (!key.empty()) text += " targetNamespace=\"" + XmlAttr(UToUtf8(key)) + "\"";
  text += ">";
  for (const UString& loc : locations)
    text += "<xs:include schemaLocation=\"" + XmlAttr(CompilerLocation(loc)) + "\"/>";
  text += "</xs:schema>";
  return text;
}

// Apostrophes inside a quoted part would shift the pieces the resolution reads.
UString Unquoted(std::string_view text) {
  UString out = Utf8ToU(text);
  std::replace(out.begin(), out.end(), u'\'', u'"');
  return out;
}

// The first name the compiler quoted in its message, for the duplicate text.
std::string FirstQuoted(const std::string& message) {
  std::size_t a = message.find('\'');
  if (a == std::string::npos) return message;
  std::size_t b = message.find('\'', a + 1);
  return b == std::string::npos ? message.substr(a + 1) : message.substr(a + 1, b - a - 1);
}

bool IsRedefinition(int code) {
  return code >= XML_SCHEMAP_REDEFINED_GROUP && code <= XML_SCHEMAP_REDEFINED_NOTATION;
}

}  // namespace

ESchemaError::ESchemaError(const UString& message)
    : std::runtime_error(UToUtf8(message)), FMessage(message) {}

void TSchemaSet::SchemaFree::operator()(_xmlSchema* s) const {
  xmlSchemaFree(s);
}

TSchemaSet::TSchemaSet() {
  InstallSchemaInputHandlers();
}

TSchemaSet::~TSchemaSet() = default;

void TSchemaSet::add(const UString& aNamespace, const UString& aLocation, bool aTrusted) {
  const std::string location = CompilerLocation(aLocation);
  FSources.Admit(location, aTrusted);
  std::string reason;
  const std::string* bytes = FSources.Get(location, reason);
  if (bytes == nullptr) {
    throw ESchemaError(u"Nie można wczytać schematu '" + aLocation + u"': " + Unquoted(reason));
  }

  // The schema's target namespace, from its root element.
  std::unique_ptr<xmlDoc, DocFree> doc(
      xmlReadMemory(bytes->data(), static_cast<int>(bytes->size()), location.c_str(), nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr || root->ns == nullptr || xmlStrcmp(root->ns->href, BAD_CAST kXsdNamespace) != 0 ||
      xmlStrcmp(root->name, BAD_CAST "schema") != 0) {
    throw ESchemaError(u"Plik '" + aLocation + u"' nie jest schematem XSD.");
  }
  UString target;
  if (xmlChar* tns = xmlGetNoNsProp(root, BAD_CAST "targetNamespace")) {
    target = Utf8ToU(reinterpret_cast<const char*>(tns));
    xmlFree(tns);
  }
  if (target != aNamespace) {
    throw ESchemaError(u"Przestrzeń nazw '" + aNamespace + u"' nie jest przestrzenią docelową schematu '" +
                       aLocation + u"'. Przestrzeń docelowa schematu: '" + target + u"'.");
  }

  // Compile the namespace's locations together with the new one.
  auto ns = std::find_if(FNamespaces.begin(), FNamespaces.end(),
                         [&](const Namespace& n) { return n.key == aNamespace; });
  std::vector<UString> locations = ns != FNamespaces.end() ? ns->locations : std::vector<UString>{};
  locations.push_back(aLocation);
  CompileErrors errors;
  errors.missingIsError = true;
  auto compiled = Compile(IncludeSchema(aNamespace, locations), errors, FSources);
  if (!compiled) {
    if (IsRedefinition(errors.code)) {
      throw ESchemaError(u"Schemat '" + aLocation + u"': Zduplikowana nazwa elementu '" +
                         Unquoted(FirstQuoted(errors.message)) + u"'");
    }
    throw ESchemaError(u"Błąd schematu '" + aLocation + u"': " + Unquoted(errors.message));
  }
  if (ns != FNamespaces.end()) {
    ns->locations = std::move(locations);
  } else {
    FNamespaces.push_back({aNamespace, std::move(locations)});
  }
  FCompiled.reset();
}

void TSchemaSet::Forget(const UString& aLocation) {
  FSources.Forget(CompilerLocation(aLocation));
}

std::vector<std::size_t> TSchemaSet::ImportOrder() const {
  std::vector<std::vector<std::size_t>> needs(FNamespaces.size());
  for (std::size_t i = 0; i < FNamespaces.size(); ++i) {
    for (const UString& location : FNamespaces[i].locations) {
      for (const std::string& ns : FSources.ImportedNamespaces(CompilerLocation(location))) {
        const UString key = Utf8ToU(ns);
        for (std::size_t j = 0; j < FNamespaces.size(); ++j)
          if (j != i && FNamespaces[j].key == key) needs[i].push_back(j);
      }
    }
  }
  std::vector<std::size_t> order;
  std::vector<char> state(FNamespaces.size(), 0);  // 0 new, 1 being visited, 2 placed
  // Depth first, without recursion: a namespace is placed after every namespace it imports.
  for (std::size_t start = 0; start < FNamespaces.size(); ++start) {
    if (state[start] != 0) continue;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{start, 0}};
    state[start] = 1;
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next < needs[node].size()) {
        const std::size_t dep = needs[node][next++];
        if (state[dep] == 0) {
          state[dep] = 1;
          stack.emplace_back(dep, 0);
        }
        continue;
      }
      state[node] = 2;
      order.push_back(node);
      stack.pop_back();
    }
  }
  return order;
}

_xmlSchema* TSchemaSet::Compiled() {
  if (FCompiled) return FCompiled.get();
  std::string top = "<xs:schema xmlns:xs=\"";
  top += kXsdNamespace;
  top += "\">";
  // libxml2 keeps the first document it meets for a namespace and skips later imports of it. A
  // namespace is therefore imported (with all its locations) before the namespaces whose
  // documents import it by one location; only a cycle of imports can still leave one out.
  for (const std::size_t i : ImportOrder()) {
    const Namespace& ns = FNamespaces[i];
    const std::string name = kGeneratedPrefix + std::to_string(i);
    FSources.SetGenerated(name, IncludeSchema(ns.key, ns.locations));
    // A schema without a target namespace joins the top schema itself.
    if (ns.key.empty()) {
      top += "<xs:include schemaLocation=\"" + name + "\"/>";
    } else {
      top += "<xs:import namespace=\"" + XmlAttr(UToUtf8(ns.key)) + "\" schemaLocation=\"" + name + "\"/>";
    }
  }
  top += "</xs:schema>";
  CompileErrors errors;
  auto compiled = Compile(top, errors, FSources);
  if (!compiled) throw ESchemaError(u"Błąd zestawu schematów: " + Unquoted(errors.message));
  FCompiled.reset(compiled.release());
  return FCompiled.get();
}

}  // namespace vx
