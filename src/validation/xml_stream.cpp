#include "validation/xml_stream.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace vx {

namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr int kParseOptions = XML_PARSE_IGNORE_ENC | XML_PARSE_NONET;

UString MessageText(const xmlError* error) {
  std::string text = error->message != nullptr ? error->message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return Utf8ToU(text);
}

struct PassState {
  TStreamOutcome outcome;
  TStreamExtent extent = TStreamExtent::Whole;
  xmlParserCtxt* parser = nullptr;
  const xmlChar* lastUri = nullptr;  // fast path: most elements repeat the previous namespace

  void Note(const xmlChar* uri) {
    if (uri == nullptr || uri == lastUri || *uri == 0) return;
    lastUri = uri;
    const char* s = reinterpret_cast<const char*>(uri);
    for (const std::string& known : outcome.namespaces) {
      if (known == s) return;
    }
    outcome.namespaces.emplace_back(s);
  }
};

void StartElement(void* data, const xmlChar*, const xmlChar*, const xmlChar* uri, int nbNamespaces,
                  const xmlChar** namespaces, int nbAttributes, int, const xmlChar** attributes) {
  auto* state = static_cast<PassState*>(data);
  for (int i = 0; i < nbNamespaces; ++i) state->Note(namespaces[2 * i + 1]);
  state->Note(uri);
  for (int i = 0; i < nbAttributes; ++i) state->Note(attributes[5 * i + 2]);
  if (state->extent == TStreamExtent::RootOnly) xmlStopParser(state->parser);
}

// The parser hands its own user data to the error handler, which is the validator's plug when
// validating; the pass being run is therefore found through the thread.
thread_local PassState* tPass = nullptr;

void ParserError(void*, xmlError* error) {
  PassState* state = tPass;
  if (state == nullptr || error == nullptr || error->level < XML_ERR_ERROR) return;
  // Errors of the schema validator come through the validator's own handler.
  if (error->domain == XML_FROM_SCHEMASV) {
    if (state->outcome.validationError.empty()) state->outcome.validationError = MessageText(error);
    return;
  }
  if (state->outcome.structureError.empty()) {
    state->outcome.structureError = MessageText(error);
    if (state->outcome.structureError.empty()) state->outcome.structureError = u"Błąd struktury XML.";
  }
}

void ValidatorError(void* data, xmlError* error) {
  auto* state = static_cast<PassState*>(data);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (state->outcome.validationError.empty()) state->outcome.validationError = MessageText(error);
}

struct ParserFree {
  void operator()(xmlParserCtxt* c) const {
    if (c->myDoc != nullptr) xmlFreeDoc(c->myDoc);
    xmlFreeParserCtxt(c);
  }
};
struct ValidFree {
  void operator()(xmlSchemaValidCtxt* c) const { xmlSchemaFreeValidCtxt(c); }
};
struct PlugFree {
  void operator()(xmlSchemaSAXPlugStruct* p) const { xmlSchemaSAXUnplug(p); }
};

}  // namespace

TStreamOutcome StreamDocument(IXmlSource& source, _xmlSchema* schema, TStreamExtent extent,
                              const TStreamProgress& progress) {
  source.Rewind();
  PassState state;
  state.extent = extent;
  struct PassScope {
    PassState* previous;
    explicit PassScope(PassState* s) : previous(tPass) { tPass = s; }
    ~PassScope() { tPass = previous; }
  } scope(&state);

  // Only the handlers that are needed: no tree is built.
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = &StartElement;
  sax.serror = &ParserError;
  xmlSAXHandler* saxPtr = &sax;
  void* userData = &state;

  std::unique_ptr<xmlSchemaValidCtxt, ValidFree> validator;
  std::unique_ptr<xmlSchemaSAXPlugStruct, PlugFree> plug;
  if (schema != nullptr) {
    validator.reset(xmlSchemaNewValidCtxt(schema));
    xmlSchemaSetValidStructuredErrors(validator.get(), &ValidatorError, &state);
    plug.reset(xmlSchemaSAXPlug(validator.get(), &saxPtr, &userData));
  }

  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kChunk);
  std::size_t n = source.Read(std::span<char>(buffer.get(), kChunk));
  std::unique_ptr<xmlParserCtxt, ParserFree> parser(
      xmlCreatePushParserCtxt(saxPtr, userData, nullptr, 0, nullptr));
  if (!parser) throw std::bad_alloc();
  xmlCtxtUseOptions(parser.get(), kParseOptions);
  // The plug keeps its own copy of the handlers; the parser's error handler must be ours.
  parser->sax->serror = &ParserError;
  state.parser = parser.get();

  std::uint64_t total = 0;
  bool stopped = false;
  while (n > 0) {
    total += n;
    if (xmlParseChunk(parser.get(), buffer.get(), static_cast<int>(n), 0) != 0 || parser->disableSAX) {
      stopped = true;
      break;
    }
    if (progress) progress(total);
    n = source.Read(std::span<char>(buffer.get(), kChunk));
  }
  if (!stopped) xmlParseChunk(parser.get(), nullptr, 0, 1);

  if (extent == TStreamExtent::RootOnly) return std::move(state.outcome);  // stopped after the root
  if (!parser->wellFormed && state.outcome.structureError.empty()) {
    state.outcome.structureError = u"Błąd struktury XML.";
  }
  if (schema != nullptr && state.outcome.validationError.empty() && state.outcome.structureError.empty() &&
      xmlSchemaIsValid(validator.get()) == 0) {
    state.outcome.validationError = u"Dokument nie jest zgodny ze schematem XSD.";
  }
  return std::move(state.outcome);
}

}  // namespace vx
