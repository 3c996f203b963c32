// The document path: bytes from a file through the byte-order-mark and UTF-8 filter into the push
// parser, validated against a small fixed schema. Any attempt to load an external resource aborts.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlschemas.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_reader.h"
#include "validation/xml_source.h"
#include "validation/xml_stream.h"

namespace {

const char kSchema[] = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:fuzz" xmlns="urn:fuzz"
           elementFormDefault="qualified">
  <xs:element name="doc">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="row" minOccurs="0" maxOccurs="unbounded">
          <xs:complexType>
            <xs:sequence>
              <xs:element name="nip"><xs:simpleType><xs:restriction base="xs:string">
                <xs:pattern value="\d{10}"/></xs:restriction></xs:simpleType></xs:element>
              <xs:element name="amount" type="xs:decimal" minOccurs="0"/>
              <xs:any namespace="##other" processContents="lax" minOccurs="0" maxOccurs="unbounded"/>
            </xs:sequence>
            <xs:attribute name="id" type="xs:int" use="required"/>
            <xs:attribute name="date" type="xs:date"/>
          </xs:complexType>
        </xs:element>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
</xs:schema>)";

xmlParserInput* NoExternalLoads(const char*, const char*, xmlParserCtxt*) {
  std::abort();
}

xmlSchema* FixedSchema() {
  static xmlSchema* schema = [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(&NoExternalLoads);
    xmlSchemaParserCtxt* ctxt = xmlSchemaNewMemParserCtxt(kSchema, sizeof kSchema - 1);
    xmlSchema* s = xmlSchemaParse(ctxt);
    xmlSchemaFreeParserCtxt(ctxt);
    if (s == nullptr) std::abort();
    return s;
  }();
  return schema;
}

const std::string& InputPath() {
  static const std::string path = "/tmp/vx_fuzz_xml_document." + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  xmlSchema* schema = FixedSchema();
  const std::string& path = InputPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  vx::TDocumentLimits limits;
  limits.maxDepth = 200;  // the bounds work the same when they are small, and runs stay quick
  limits.maxEntityBytes = 64 * 1024;
  try {
    vx::TFileXmlSource source(vx::Utf8ToU(path));
    (void)vx::StreamDocument(source, nullptr, vx::TStreamExtent::RootOnly, {}, limits);
    (void)vx::StreamDocument(source, schema, vx::TStreamExtent::Whole, {}, limits);
  } catch (const vx::platform::EFileError&) {
    // bytes that are not UTF-8: a read error, as in the entry
  }
  return 0;
}
