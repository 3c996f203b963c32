#include "validation/xml_stream.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/process.h"

namespace vx {

namespace {

constexpr std::size_t kChunk = 256 * 1024;
// The document is read as UTF-8 whatever it declares; internal entities are expanded (within our
// own bound, below); libxml2's fixed 10 MB limit on single values is lifted, the nesting and
// expansion bounds being ours.
constexpr int kParseOptions = XML_PARSE_IGNORE_ENC | XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_HUGE;

UString MessageText(const xmlError* error) {
  std::string text = error->message != nullptr ? error->message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (error->code == XML_ERR_INTERNAL_ERROR && text.find("Huge input lookup") != std::string::npos) {
    return u"Pojedyncza wartość w dokumencie (atrybut, nazwa lub komentarz) przekracza 1000000000 bajtów.";
  }
  return Utf8ToU(text);
}

// Codes that libxml2 reports at error level although they only warn: the document stays well
// formed (a namespace name that is not a valid or absolute URI).
bool OnlyAWarning(const xmlError* error) {
  if (error->level < XML_ERR_ERROR) return true;
  return error->domain == XML_FROM_NAMESPACE &&
         (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE ||
          error->code == XML_WAR_NS_COLUMN);
}

std::optional<std::uint64_t> PositiveNumber(const char* name) {
  const std::optional<std::string> text = platform::EnvironmentVariable(name);
  if (!text) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size() || value == 0) return std::nullopt;
  return value;
}

struct PassState {
  TStreamOutcome outcome;
  TStreamExtent extent = TStreamExtent::Whole;
  TDocumentLimits limits;
  xmlParserCtxt* parser = nullptr;
  const xmlChar* lastUri = nullptr;  // fast path: most elements repeat the previous namespace
  std::vector<int> openLines;        // line of each open element
  bool rootSeen = false;
  int structureCode = 0;  // libxml2's code of the structure error, 0 when it is ours
  std::uint64_t entityBytes = 0;

  void Note(const xmlChar* uri) {
    if (uri == nullptr || uri == lastUri || *uri == 0) return;
    lastUri = uri;
    const char* s = reinterpret_cast<const char*>(uri);
    for (const std::string& known : outcome.namespaces) {
      if (known == s) return;
    }
    outcome.namespaces.emplace_back(s);
  }
  // A structure error of our own: the parser stops here.
  void Stop(UString reason) {
    if (outcome.structureError.empty()) {
      outcome.structureError = std::move(reason);
      structureCode = 0;
    }
    xmlStopParser(parser);
  }
  [[nodiscard]] int Line() const { return parser->input != nullptr ? parser->input->line : 0; }
};

// The parser hands its own user data to the handlers, which is the validator's plug when
// validating; the pass being run is therefore found through the thread.
thread_local PassState* tPass = nullptr;

void StartElement(void*, const xmlChar*, const xmlChar*, const xmlChar* uri, int nbNamespaces,
                  const xmlChar** namespaces, int nbAttributes, int, const xmlChar** attributes) {
  PassState* state = tPass;
  if (state->openLines.size() >= state->limits.maxDepth) {
    state->Stop(u"Zbyt głębokie zagnieżdżenie elementów: więcej niż " +
                IntToU(static_cast<std::int64_t>(state->limits.maxDepth)) + u" poziomów (wiersz " +
                IntToU(state->Line()) + u").");
    return;
  }
  state->openLines.push_back(state->Line());
  state->rootSeen = true;
  for (int i = 0; i < nbNamespaces; ++i) state->Note(namespaces[2 * i + 1]);
  state->Note(uri);
  for (int i = 0; i < nbAttributes; ++i) state->Note(attributes[5 * i + 2]);
  if (state->extent == TStreamExtent::RootOnly) xmlStopParser(state->parser);
}

void EndElement(void*, const xmlChar*, const xmlChar*, const xmlChar*) {
  PassState* state = tPass;
  if (!state->openLines.empty()) state->openLines.pop_back();
}

// Entities: the declarations of the internal subset are kept (in the parser's small document
// object) so that references to them expand. Nothing external is ever loaded: a reference to an
// external entity, or to one the document leaves to its external DTD, stops the pass.
void StartDocument(void*) {
  xmlSAX2StartDocument(tPass->parser);
}

void InternalSubset(void*, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
  xmlSAX2InternalSubset(tPass->parser, name, externalId, systemId);
}

void EntityDecl(void*, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                xmlChar* content) {
  xmlSAX2EntityDecl(tPass->parser, name, type, publicId, systemId, content);
}

UString Name(const xmlChar* name) {
  return Utf8ToU(reinterpret_cast<const char*>(name));
}

// Counts what an entity reference adds; nullptr when the reference must not be followed.
xmlEntity* Admit(PassState* state, xmlEntity* entity, const xmlChar* name, const char16_t* mark) {
  if (entity == nullptr) return nullptr;
  if (entity->etype != XML_INTERNAL_GENERAL_ENTITY && entity->etype != XML_INTERNAL_PARAMETER_ENTITY &&
      entity->etype != XML_INTERNAL_PREDEFINED_ENTITY) {
    state->Stop(u"Dokument odwołuje się do zewnętrznej encji '" + UString(mark) + Name(name) +
                u"'; zewnętrzne encje nie są wczytywane.");
    return nullptr;
  }
  state->entityBytes += static_cast<std::uint64_t>(std::max(entity->length, 0));
  if (state->entityBytes > state->limits.maxEntityBytes) {
    state->Stop(u"Rozwinięcie encji przekracza dopuszczalny rozmiar " +
                IntToU(static_cast<std::int64_t>(state->limits.maxEntityBytes)) + u" bajtów (encja '" +
                UString(mark) + Name(name) + u"', wiersz " + IntToU(state->Line()) + u").");
    return nullptr;
  }
  return entity;
}

xmlEntity* GetEntity(void*, const xmlChar* name) {
  PassState* state = tPass;
  if (xmlEntity* predefined = xmlGetPredefinedEntity(name)) return predefined;
  xmlDoc* doc = state->parser->myDoc;
  xmlEntity* entity = doc != nullptr ? xmlGetDocEntity(doc, name) : nullptr;
  if (entity == nullptr && (state->parser->hasExternalSubset != 0 || state->parser->hasPErefs != 0)) {
    state->Stop(
        u"Encja '" + Name(name) +
        u"' nie jest zdefiniowana w dokumencie; jej definicja w zewnętrznym DTD nie jest wczytywana.");
    return nullptr;
  }
  return Admit(state, entity, name, u"");
}

xmlEntity* GetParameterEntity(void*, const xmlChar* name) {
  PassState* state = tPass;
  xmlDoc* doc = state->parser->myDoc;
  return Admit(state, doc != nullptr ? xmlGetParameterEntity(doc, name) : nullptr, name, u"%");
}

void ParserError(void*, xmlError* error) {
  PassState* state = tPass;
  if (state == nullptr || error == nullptr || OnlyAWarning(error)) return;
  // Errors of the schema validator come through the validator's own handler.
  if (error->domain == XML_FROM_SCHEMASV) {
    if (state->outcome.validationError.empty()) state->outcome.validationError = MessageText(error);
    return;
  }
  if (state->outcome.structureError.empty()) {
    state->outcome.structureError = MessageText(error);
    state->structureCode = error->code;
    if (state->outcome.structureError.empty()) state->outcome.structureError = u"Błąd struktury XML.";
  }
}

// At the end of the input the push parser says only that the document did not end where it
// should; the reader's words say what is missing.
void NameTheMissingEnd(PassState& state, std::uint64_t bytes) {
  if (bytes == 0) {
    state.outcome.structureError = u"Document is empty";
  } else if (!state.rootSeen) {
    state.outcome.structureError = u"Start tag expected, '<' not found";
  } else if (!state.openLines.empty() && state.parser->nameNr > 0) {
    state.outcome.structureError = u"Premature end of data in tag " +
                                   Name(state.parser->nameTab[state.parser->nameNr - 1]) + u" line " +
                                   IntToU(state.openLines.back());
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

TDocumentLimits DocumentLimits() {
  TDocumentLimits limits;
  if (auto depth = PositiveNumber("VX64_XML_MAX_DEPTH")) limits.maxDepth = static_cast<std::size_t>(*depth);
  if (auto bytes = PositiveNumber("VX64_XML_MAX_ENTITY_BYTES")) limits.maxEntityBytes = *bytes;
  return limits;
}

TStreamOutcome StreamDocument(IXmlSource& source, _xmlSchema* schema, TStreamExtent extent,
                              const TStreamProgress& progress, const TDocumentLimits& limits) {
  source.Rewind();
  PassState state;
  state.extent = extent;
  state.limits = limits;
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
  sax.endElementNs = &EndElement;
  sax.startDocument = &StartDocument;
  sax.internalSubset = &InternalSubset;
  sax.entityDecl = &EntityDecl;
  sax.getEntity = &GetEntity;
  sax.getParameterEntity = &GetParameterEntity;
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

  std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kChunk);
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
  if (!stopped) {
    const bool clean = state.outcome.structureError.empty();
    xmlParseChunk(parser.get(), nullptr, 0, 1);
    const bool unfinished =
        state.outcome.structureError.empty()
            ? parser->wellFormed == 0
            : state.structureCode == XML_ERR_DOCUMENT_END || state.structureCode == XML_ERR_DOCUMENT_EMPTY;
    if (clean && unfinished) NameTheMissingEnd(state, total);
  }

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
