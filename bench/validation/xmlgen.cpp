// Test data for the validation benchmark: a realistic multi-namespace document and its schemas.
//   vx_bench_xmlgen OUT_DIR SIZE_MB [--invalid-near-end]
// Writes
//   OUT_DIR/doc.xml                       about SIZE_MB MiB: header, rows of ~560 bytes, summary
//   OUT_DIR/www/<host>/<path>/index.html  one page per namespace, linking "./name.xsd"
//   OUT_DIR/www/<host>/<path>/*.xsd       schemas importing each other by absolute http:// address
//   OUT_DIR/local/*.xsd                   the same schemas importing each other by file name
// The document is written in one streaming pass through a fixed buffer (constant memory).
// --invalid-near-end breaks the tax number (a pattern) of one row among the last few.
// Prints "rows=N bytes=B invalid_row=R" (R is 0 when every row is valid).
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHost = "bench.vx64.test";
constexpr std::string_view kMainPath = "wzor/main/";
constexpr std::string_view kSimplePath = "typy/proste/";
constexpr std::string_view kStructPath = "typy/struktury/";

std::string Url(std::string_view aPath) {
  return "http://" + std::string(kHost) + "/" + std::string(aPath);
}

// ---------------------------------------------------------------------------------------------
// Schemas: simple types, structures (importing the simple types), main (importing both).
// aSimpleLoc / aStructLoc are the schemaLocation values of the imports.

std::string SimpleTypesSchema() {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:tp=")" +
         Url(kSimplePath) + R"(" targetNamespace=")" + Url(kSimplePath) +
         R"(" elementFormDefault="qualified" attributeFormDefault="unqualified" version="1.0" xml:lang="pl">
  <xsd:annotation>
    <xsd:documentation>Typy proste: kwoty, daty, identyfikatory, słowniki.</xsd:documentation>
  </xsd:annotation>
  <xsd:simpleType name="TKwota">
    <xsd:annotation><xsd:documentation>Kwota w złotych z dokładnością do grosza</xsd:documentation></xsd:annotation>
    <xsd:restriction base="xsd:decimal">
      <xsd:totalDigits value="18"/>
      <xsd:fractionDigits value="2"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TNrNIP">
    <xsd:annotation><xsd:documentation>Identyfikator podatkowy NIP (10 cyfr)</xsd:documentation></xsd:annotation>
    <xsd:restriction base="xsd:token">
      <xsd:pattern value="[1-9]((\d[1-9])|([1-9]\d))\d{7}"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TData">
    <xsd:restriction base="xsd:date">
      <xsd:minInclusive value="2000-01-01"/>
      <xsd:maxInclusive value="2099-12-31"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TZnakowy">
    <xsd:restriction base="xsd:token">
      <xsd:minLength value="1"/>
      <xsd:maxLength value="240"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TKodPocztowy">
    <xsd:restriction base="xsd:string">
      <xsd:pattern value="\d{2}-\d{3}"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TKodWaluty">
    <xsd:restriction base="xsd:string">
      <xsd:enumeration value="PLN"/>
      <xsd:enumeration value="EUR"/>
      <xsd:enumeration value="USD"/>
      <xsd:enumeration value="GBP"/>
      <xsd:enumeration value="CHF"/>
      <xsd:enumeration value="CZK"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TKodKraju">
    <xsd:restriction base="xsd:string">
      <xsd:enumeration value="PL"/>
      <xsd:enumeration value="DE"/>
      <xsd:enumeration value="CZ"/>
      <xsd:enumeration value="SK"/>
      <xsd:enumeration value="LT"/>
      <xsd:enumeration value="UA"/>
      <xsd:enumeration value="FR"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="TStawkaVat">
    <xsd:restriction base="xsd:string">
      <xsd:enumeration value="23"/>
      <xsd:enumeration value="8"/>
      <xsd:enumeration value="5"/>
      <xsd:enumeration value="0"/>
      <xsd:enumeration value="zw"/>
      <xsd:enumeration value="np"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:attribute name="waluta" type="tp:TKodWaluty"/>
  <xsd:complexType name="TKwotaWaluta">
    <xsd:simpleContent>
      <xsd:extension base="tp:TKwota">
        <xsd:attribute ref="tp:waluta" use="required"/>
      </xsd:extension>
    </xsd:simpleContent>
  </xsd:complexType>
  <xsd:element name="Kwota" type="tp:TKwotaWaluta"/>
  <xsd:element name="KodWaluty" type="tp:TKodWaluty"/>
</xsd:schema>
)";
}

std::string StructTypesSchema(std::string_view aSimpleLoc) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:tp=")" +
         Url(kSimplePath) + R"(" xmlns:ts=")" + Url(kStructPath) + R"(" targetNamespace=")" +
         Url(kStructPath) +
         R"(" elementFormDefault="qualified" attributeFormDefault="unqualified" version="1.0" xml:lang="pl">
  <xsd:import namespace=")" +
         Url(kSimplePath) + R"(" schemaLocation=")" + std::string(aSimpleLoc) + R"("/>
  <xsd:annotation>
    <xsd:documentation>Typy złożone: adresy i dane podmiotów.</xsd:documentation>
  </xsd:annotation>
  <xsd:complexType name="TAdres">
    <xsd:sequence>
      <xsd:element name="KodKraju" type="tp:TKodKraju"/>
      <xsd:element name="Miejscowosc" type="tp:TZnakowy"/>
      <xsd:element name="Ulica" type="tp:TZnakowy" minOccurs="0"/>
      <xsd:element name="KodPocztowy" type="tp:TKodPocztowy"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:complexType name="TPodmiot">
    <xsd:sequence>
      <xsd:element name="NIP" type="tp:TNrNIP"/>
      <xsd:element name="PelnaNazwa" type="tp:TZnakowy"/>
      <xsd:element name="Adres" type="ts:TAdres"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:complexType name="TKontrahent">
    <xsd:sequence>
      <xsd:element name="NIP" type="tp:TNrNIP"/>
      <xsd:element name="PelnaNazwa" type="tp:TZnakowy"/>
      <xsd:element name="KodKraju" type="tp:TKodKraju"/>
      <xsd:element name="Miejscowosc" type="tp:TZnakowy"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:element name="Kontrahent" type="ts:TKontrahent"/>
</xsd:schema>
)";
}

std::string MainSchema(std::string_view aSimpleLoc, std::string_view aStructLoc) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:tp=")" +
         Url(kSimplePath) + R"(" xmlns:ts=")" + Url(kStructPath) + R"(" xmlns:tns=")" + Url(kMainPath) +
         R"(" targetNamespace=")" + Url(kMainPath) +
         R"(" elementFormDefault="qualified" attributeFormDefault="unqualified" version="1.0" xml:lang="pl">
  <xsd:import namespace=")" +
         Url(kSimplePath) + R"(" schemaLocation=")" + std::string(aSimpleLoc) + R"("/>
  <xsd:import namespace=")" +
         Url(kStructPath) + R"(" schemaLocation=")" + std::string(aStructLoc) + R"("/>
  <xsd:annotation>
    <xsd:documentation>Wzór dokumentu: ewidencja sprzedaży (dane testowe).</xsd:documentation>
  </xsd:annotation>
  <xsd:simpleType name="TTypDowodu">
    <xsd:restriction base="xsd:string">
      <xsd:enumeration value="FV"/>
      <xsd:enumeration value="FK"/>
      <xsd:enumeration value="RO"/>
      <xsd:enumeration value="WEW"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:complexType name="TNaglowek">
    <xsd:sequence>
      <xsd:element name="KodFormularza">
        <xsd:complexType>
          <xsd:simpleContent>
            <xsd:extension base="xsd:token">
              <xsd:attribute name="kodSystemowy" type="xsd:string" use="required"/>
              <xsd:attribute name="wersjaSchemy" type="xsd:string" use="required"/>
            </xsd:extension>
          </xsd:simpleContent>
        </xsd:complexType>
      </xsd:element>
      <xsd:element name="WariantFormularza">
        <xsd:simpleType>
          <xsd:restriction base="xsd:byte">
            <xsd:enumeration value="1"/>
            <xsd:enumeration value="2"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="DataWytworzenia" type="xsd:dateTime"/>
      <xsd:element name="DataOd" type="tp:TData"/>
      <xsd:element name="DataDo" type="tp:TData"/>
      <xsd:element ref="tp:KodWaluty"/>
      <xsd:element name="NazwaSystemu" type="tp:TZnakowy" minOccurs="0"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:complexType name="TWiersz">
    <xsd:sequence>
      <xsd:element name="LpWiersza" type="xsd:positiveInteger"/>
      <xsd:element ref="ts:Kontrahent"/>
      <xsd:element name="DowodSprzedazy" type="tp:TZnakowy"/>
      <xsd:element name="DataWystawienia" type="tp:TData"/>
      <xsd:element name="DataSprzedazy" type="tp:TData" minOccurs="0"/>
      <xsd:element name="Opis" type="tp:TZnakowy"/>
      <xsd:element name="StawkaVat" type="tp:TStawkaVat"/>
      <xsd:element name="K_19" type="tp:TKwota"/>
      <xsd:element name="K_20" type="tp:TKwota"/>
      <xsd:element ref="tp:Kwota"/>
    </xsd:sequence>
    <xsd:attribute name="typ" type="tns:TTypDowodu" use="required"/>
    <xsd:attribute name="nr" type="xsd:positiveInteger" use="required"/>
  </xsd:complexType>
  <xsd:complexType name="TPodsumowanie">
    <xsd:sequence>
      <xsd:element name="LiczbaWierszy" type="xsd:nonNegativeInteger"/>
      <xsd:element name="SumaNetto" type="tp:TKwota"/>
      <xsd:element name="SumaVat" type="tp:TKwota"/>
      <xsd:element ref="tp:Kwota"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:element name="Dokument">
    <xsd:complexType>
      <xsd:sequence>
        <xsd:element name="Naglowek" type="tns:TNaglowek"/>
        <xsd:element name="Podmiot1" type="ts:TPodmiot"/>
        <xsd:element name="Wiersz" type="tns:TWiersz" minOccurs="0" maxOccurs="unbounded"/>
        <xsd:element name="Podsumowanie" type="tns:TPodsumowanie"/>
      </xsd:sequence>
    </xsd:complexType>
  </xsd:element>
</xsd:schema>
)";
}

std::string IndexPage(std::string_view aPath, std::string_view aName) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Url(aPath) +
         "</title></head><body>\n<h1>Schematy przestrzeni nazw " + Url(aPath) +
         "</h1>\n<ul>\n<li><a href=\"./" + std::string(aName) + "\">" + std::string(aName) +
         "</a></li>\n</ul>\n</body></html>\n";
}

void WriteText(const fs::path& aPath, const std::string& aText) {
  fs::create_directories(aPath.parent_path());
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aText;
  if (!out.flush()) throw std::runtime_error("cannot write " + aPath.string());
}

void WriteSchemas(const fs::path& aOut) {
  const std::string simpleUrl = Url(kSimplePath) + "types1.xsd";
  const std::string structUrl = Url(kStructPath) + "types2.xsd";
  const fs::path www = aOut / "www" / std::string(kHost);
  WriteText(www / kSimplePath / "types1.xsd", SimpleTypesSchema());
  WriteText(www / kSimplePath / "index.html", IndexPage(kSimplePath, "types1.xsd"));
  WriteText(www / kStructPath / "types2.xsd", StructTypesSchema(simpleUrl));
  WriteText(www / kStructPath / "index.html", IndexPage(kStructPath, "types2.xsd"));
  WriteText(www / kMainPath / "main.xsd", MainSchema(simpleUrl, structUrl));
  WriteText(www / kMainPath / "index.html", IndexPage(kMainPath, "main.xsd"));
  const fs::path local = aOut / "local";
  WriteText(local / "types1.xsd", SimpleTypesSchema());
  WriteText(local / "types2.xsd", StructTypesSchema("types1.xsd"));
  WriteText(local / "main.xsd", MainSchema("types1.xsd", "types2.xsd"));
}

// ---------------------------------------------------------------------------------------------
// Document writer: a fixed buffer flushed to the file when nearly full.

class TOut {
 public:
  explicit TOut(const fs::path& aPath) : FFile(std::fopen(aPath.c_str(), "wb")) {
    if (FFile == nullptr) throw std::runtime_error("cannot create " + aPath.string());
    std::setvbuf(FFile, nullptr, _IONBF, 0);
  }
  ~TOut() {
    if (FFile != nullptr) std::fclose(FFile);
  }
  TOut(const TOut&) = delete;
  TOut& operator=(const TOut&) = delete;

  TOut& operator<<(std::string_view aText) {
    if (FUsed + aText.size() > kSize) Flush();
    std::memcpy(FBuf + FUsed, aText.data(), aText.size());  // every piece is far below kSize
    FUsed += aText.size();
    return *this;
  }
  TOut& operator<<(char aChar) { return *this << std::string_view(&aChar, 1); }
  TOut& Int(std::uint64_t aValue) {
    char tmp[24];
    auto [end, ec] = std::to_chars(tmp, tmp + sizeof tmp, aValue);
    return *this << std::string_view(tmp, static_cast<std::size_t>(end - tmp));
  }
  // aValue with at least aWidth digits, zero-padded.
  TOut& Padded(std::uint64_t aValue, int aWidth) {
    char tmp[24];
    auto [end, ec] = std::to_chars(tmp, tmp + sizeof tmp, aValue);
    for (int n = static_cast<int>(end - tmp); n < aWidth; ++n) *this << '0';
    return *this << std::string_view(tmp, static_cast<std::size_t>(end - tmp));
  }
  // An amount given in grosze as "zł.gr".
  TOut& Amount(std::uint64_t aGrosze) {
    Int(aGrosze / 100) << '.';
    return Padded(aGrosze % 100, 2);
  }

  [[nodiscard]] std::uint64_t Written() const { return FTotal + FUsed; }

  void Flush() {
    if (FUsed != 0 && std::fwrite(FBuf, 1, FUsed, FFile) != FUsed) throw std::runtime_error("write failed");
    FTotal += FUsed;
    FUsed = 0;
  }
  void Close() {
    Flush();
    if (std::fclose(FFile) != 0) throw std::runtime_error("close failed");
    FFile = nullptr;
  }

 private:
  static constexpr std::size_t kSize = 1 << 20;
  std::FILE* FFile;
  char FBuf[kSize];
  std::size_t FUsed = 0;
  std::uint64_t FTotal = 0;
};

// Deterministic pseudo-random numbers (splitmix64).
class TRandom {
 public:
  std::uint64_t Next() {
    std::uint64_t z = (FState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t aBound) {
    return static_cast<std::uint32_t>(((Next() >> 32) * aBound) >> 32);
  }
  template <std::size_t N>
  std::string_view Pick(const std::string_view (&aPool)[N]) {
    return aPool[Below(N)];
  }

 private:
  std::uint64_t FState = 0x5EED2024ULL;
};

// Text pools: already XML-escaped.
constexpr std::string_view kFirms[] = {
    "PHU „Żuraw” Sp. z o.o.",
    "Zakład Stolarski Józef Wąsik",
    "Hurtownia Spożywcza „Łasuch” S.A.",
    "Kowalski &amp; Synowie Spółka Jawna",
    "Biuro Rachunkowe Małgorzata Źdźbło",
    "Przetwórnia Owoców „Jabłuszko” S.A.",
    "Gospodarstwo Ogrodnicze Bożena Świątek",
    "Fabryka Mebli Gięty Dąb Sp. z o.o.",
    "Usługi Transportowe Łukasz Żółkiewski",
    "Drukarnia „Pióro i Gęś” Spółka Cywilna",
    "Serwis „Bajt-Świat” Krzysztof Ćwik",
    "Apteka pod Złotym Słońcem Sp. z o.o.",
};
constexpr std::string_view kCities[] = {
    "Łódź",         "Kraków",      "Gdańsk",        "Wrocław",     "Poznań", "Białystok",
    "Zielona Góra", "Częstochowa", "Bielsko-Biała", "Świnoujście", "Łańcut", "Żyrardów",
    "Ełk",          "Sosnowiec",   "Gniezno",       "Końskie",
};
constexpr std::string_view kDescriptions[] = {
    "Sprzedaż materiałów budowlanych: cement, żwir",
    "Przewóz ładunku na trasie Łódź–Gdańsk",
    "Naprawa urządzeń chłodniczych",
    "Dostawa żywności ekologicznej",
    "Abonament serwisowy oprogramowania",
    "Wynajem powierzchni biurowej",
    "Szkolenie BHP dla pracowników",
    "Meble biurowe: biurka, krzesła",
    "Druk ulotek i wizytówek",
    "Doradztwo podatkowe – rozliczenie roczne",
};
constexpr std::string_view kKinds[] = {"FV", "FV", "FV", "FK", "RO", "WEW"};
constexpr std::string_view kCountries[] = {"PL", "PL", "PL", "PL", "PL", "PL",
                                           "DE", "CZ", "SK", "LT", "UA", "FR"};
constexpr std::string_view kCurrencies[] = {"PLN", "PLN", "PLN", "PLN", "EUR", "USD", "GBP", "CHF", "CZK"};
struct TRate {
  std::string_view Text;
  std::uint32_t Percent;
};
constexpr TRate kRates[] = {{"23", 23}, {"23", 23}, {"23", 23}, {"8", 8},
                            {"5", 5},   {"0", 0},   {"zw", 0},  {"np", 0}};

void Nip(TOut& aOut, TRandom& aRng) {
  aOut << static_cast<char>('1' + aRng.Below(9)) << static_cast<char>('1' + aRng.Below(9));
  aOut.Padded(aRng.Below(100000000), 8);
}

void Date(TOut& aOut, std::uint32_t aMonth, std::uint32_t aDay) {
  aOut << "2024-";
  aOut.Padded(aMonth, 2) << '-';
  aOut.Padded(aDay, 2);
}

struct TTotals {
  std::uint64_t Net = 0;
  std::uint64_t Vat = 0;
};

void Row(TOut& aOut, TRandom& aRng, std::uint64_t aNo, bool aBreak, TTotals& aTotals) {
  const std::uint32_t month = 1 + aRng.Below(12);
  const std::uint32_t day = 1 + aRng.Below(28);
  const std::string_view kind = aRng.Pick(kKinds);
  aOut << "<Wiersz typ=\"" << kind << "\" nr=\"";
  aOut.Int(aNo) << "\">\n <LpWiersza>";
  aOut.Int(aNo) << "</LpWiersza>\n <ts:Kontrahent>\n  <ts:NIP>";
  if (aBreak)
    aOut << "52700O0042";  // letter O in place of a digit: fails the pattern
  else
    Nip(aOut, aRng);
  aOut << "</ts:NIP>\n  <ts:PelnaNazwa>" << aRng.Pick(kFirms) << "</ts:PelnaNazwa>\n  <ts:KodKraju>"
       << aRng.Pick(kCountries) << "</ts:KodKraju>\n  <ts:Miejscowosc>" << aRng.Pick(kCities)
       << "</ts:Miejscowosc>\n </ts:Kontrahent>\n <DowodSprzedazy>" << kind << '/';
  aOut.Padded(month, 2) << "/2024/";
  aOut.Padded(aNo, 7) << "</DowodSprzedazy>\n <DataWystawienia>";
  Date(aOut, month, day);
  aOut << "</DataWystawienia>\n";
  if (aRng.Below(4) == 0) {
    aOut << " <DataSprzedazy>";
    Date(aOut, month, day > 1 ? day - 1 : day);
    aOut << "</DataSprzedazy>\n";
  }
  const TRate& rate = kRates[aRng.Below(std::size(kRates))];
  const std::uint64_t net = 100 + aRng.Next() % 5000000;
  const std::uint64_t vat = (net * rate.Percent + 50) / 100;
  aTotals.Net += net;
  aTotals.Vat += vat;
  aOut << " <Opis>" << aRng.Pick(kDescriptions) << "</Opis>\n <StawkaVat>" << rate.Text
       << "</StawkaVat>\n <K_19>";
  aOut.Amount(net) << "</K_19>\n <K_20>";
  aOut.Amount(vat) << "</K_20>\n <tp:Kwota tp:waluta=\"" << aRng.Pick(kCurrencies) << "\">";
  aOut.Amount(net + vat) << "</tp:Kwota>\n</Wiersz>\n";
}

// Returns the number of the broken row (0 when none).
std::uint64_t WriteDocument(const fs::path& aPath, std::uint64_t aTarget, bool aInvalid,
                            std::uint64_t& aRows) {
  auto out = std::make_unique<TOut>(aPath);
  TRandom rng;
  *out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Dokument xmlns=\"" << Url(kMainPath)
       << "\" xmlns:tp=\"" << Url(kSimplePath) << "\" xmlns:ts=\"" << Url(kStructPath) << "\">\n"
       << "<Naglowek>\n"
          " <KodFormularza kodSystemowy=\"EWS (1)\" wersjaSchemy=\"1-0\">EWS</KodFormularza>\n"
          " <WariantFormularza>1</WariantFormularza>\n"
          " <DataWytworzenia>2024-12-31T23:59:00</DataWytworzenia>\n"
          " <DataOd>2024-01-01</DataOd>\n"
          " <DataDo>2024-12-31</DataDo>\n"
          " <tp:KodWaluty>PLN</tp:KodWaluty>\n"
          " <NazwaSystemu>Generator danych testowych – ewidencja sprzedaży</NazwaSystemu>\n"
          "</Naglowek>\n"
          "<Podmiot1>\n"
          " <ts:NIP>5261040828</ts:NIP>\n"
          " <ts:PelnaNazwa>Spółdzielnia Pracy „Źródło” w Łodzi</ts:PelnaNazwa>\n"
          " <ts:Adres>\n"
          "  <ts:KodKraju>PL</ts:KodKraju>\n"
          "  <ts:Miejscowosc>Łódź</ts:Miejscowosc>\n"
          "  <ts:Ulica>ul. Piotrkowska 104</ts:Ulica>\n"
          "  <ts:KodPocztowy>90-926</ts:KodPocztowy>\n"
          " </ts:Adres>\n"
          "</Podmiot1>\n";
  constexpr std::uint64_t kFooter = 300;
  constexpr std::uint64_t kTail = 3000;  // the broken row starts within the last ~6 rows
  TTotals totals;
  std::uint64_t rows = 0;
  std::uint64_t broken = 0;
  while (out->Written() + kFooter < aTarget || rows == 0) {
    ++rows;
    const bool brk = aInvalid && broken == 0 && out->Written() + kFooter + kTail >= aTarget;
    if (brk) broken = rows;
    Row(*out, rng, rows, brk, totals);
  }
  if (aInvalid && broken == 0) {  // too small for the tail rule: break one more row
    broken = ++rows;
    Row(*out, rng, rows, true, totals);
  }
  *out << "<Podsumowanie>\n <LiczbaWierszy>";
  out->Int(rows) << "</LiczbaWierszy>\n <SumaNetto>";
  out->Amount(totals.Net) << "</SumaNetto>\n <SumaVat>";
  out->Amount(totals.Vat) << "</SumaVat>\n <tp:Kwota tp:waluta=\"PLN\">";
  out->Amount(totals.Net + totals.Vat) << "</tp:Kwota>\n</Podsumowanie>\n</Dokument>\n";
  out->Close();
  aRows = rows;
  return broken;
}

int Usage() {
  std::cerr << "usage: vx_bench_xmlgen OUT_DIR SIZE_MB [--invalid-near-end]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  bool invalid = false;
  if (argc == 4) {
    if (std::strcmp(argv[3], "--invalid-near-end") != 0) return Usage();
    invalid = true;
  }
  char* end = nullptr;
  const double mb = std::strtod(argv[2], &end);
  if (end == argv[2] || *end != '\0' || !(mb > 0)) return Usage();
  try {
    const fs::path outDir = argv[1];
    fs::create_directories(outDir);
    WriteSchemas(outDir);
    std::uint64_t rows = 0;
    const auto target = static_cast<std::uint64_t>(mb * 1024 * 1024);
    const std::uint64_t broken = WriteDocument(outDir / "doc.xml", target, invalid, rows);
    std::cout << "rows=" << rows << " bytes=" << fs::file_size(outDir / "doc.xml")
              << " invalid_row=" << broken << '\n';
  } catch (const std::exception& e) {
    std::cerr << "vx_bench_xmlgen: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
