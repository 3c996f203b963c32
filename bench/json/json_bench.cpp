// JSON benchmark. Each measurement runs in its own process so that peak RSS belongs to one side:
//   vx_json_bench gen MB FILE            writes a generated document of about MB megabytes
//   vx_json_bench mail MB FILE           writes a Polish mail-like document full of dates
//   vx_json_bench read SIDE FILE         parses the file's text
//   vx_json_bench write SIDE FILE        parses (untimed), then serialises compactly
//   vx_json_bench reread N FILE          ours: parses N times, each document freed before the
//                                        next (the memory of a freed document serves the next)
// SIDE: ours (date recognition on), ours-nodates, nlohmann, rapidjson, rapidjson-ascii (writes
// every character beyond ASCII as a \u escape, as ours must; reads as rapidjson), simdjson
// (write: minify of the parsed document).
// Output: one line "mode side bytes seconds MB/s peakRSS_KiB".
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "json/model/values.h"
#include "json/write/writer.h"
#ifdef VX_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#ifdef VX_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#endif
#ifdef VX_BENCH_SIMDJSON
#include <simdjson.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Records with nested objects, arrays, numbers and strings with escapes and non-ASCII text.
void Generate(double megabytes, const char* path) {
  const size_t target = static_cast<size_t>(megabytes * 1024 * 1024);
  std::mt19937_64 rng(42);
  std::string out;
  out.reserve(target + 4096);
  out += "{\"generator\":\"vx\",\"records\":[\n";
  const char* words[] = {"alpha",           "beta",         "gamma",     "delta",
                         "zażółć",          "gęślą",        "jaźń",      "tab\\there",
                         "quote \\\"q\\\"", "line\\nbreak", "path\\/to", "\\u00e9t\\u00e9"};
  for (long i = 0; out.size() < target; ++i) {
    if (i > 0) out += ",\n";
    out += "{\"id\":" + std::to_string(i);
    out += ",\"name\":\"Item " + std::to_string(rng() % 100000) + " " + words[rng() % 12] + "\"";
    out += ",\"price\":" + std::to_string(static_cast<double>(rng() % 1000000) / 100.0);
    out += ",\"ratio\":" + std::to_string(static_cast<double>(rng() % 1000) * 1e-5);
    out += ",\"active\":" + std::string(rng() % 2 ? "true" : "false");
    out += ",\"owner\":null";
    out += ",\"tags\":[";
    for (int t = 0, n = static_cast<int>(rng() % 5); t < n; ++t) {
      if (t > 0) out += ",";
      out.append("\"").append(words[rng() % 12]).append("\"");
    }
    out += "],\"point\":{\"x\":" + std::to_string(static_cast<long>(rng() % 20000) - 10000) +
           ",\"y\":" + std::to_string(static_cast<long>(rng() % 20000) - 10000) + "}";
    out += ",\"history\":[" + std::to_string(rng() % 1000) + "," + std::to_string(rng() % 1000) + "," +
           std::to_string(rng() % 1000) + "]";
    out += ",\"description\":\"Lorem ipsum dolor sit amet, consectetur adipiscing elit \\\"" +
           std::to_string(rng() % 100) + "\\\" sed do eiusmod tempor.\"}";
  }
  out += "\n]}\n";
  std::ofstream(path, std::ios::binary) << out;
}

// Mail messages as the host sends them: Polish subjects, bodies and names, addresses, and dates
// and times in every form the recogniser knows.
void GenerateMail(double megabytes, const char* path) {
  const size_t target = static_cast<size_t>(megabytes * 1024 * 1024);
  std::mt19937_64 rng(7);
  std::string out;
  out.reserve(target + 4096);
  const char* names[] = {"Łukasz Żółkiewski", "Małgorzata Wiśniewska", "Grzegorz Brzęczyszczykiewicz",
                         "Józef Ślązak",      "Agnieszka Dąbrowska",   "Paweł Krzyżanowski"};
  const char* subjects[] = {"Faktura za usługi księgowe — październik", "Zaległa płatność: przypomnienie",
                            "Umowa najmu lokalu użytkowego", "Potwierdzenie zamówienia nr ",
                            "Sprawozdanie finansowe za rok obrotowy"};
  const char* body =
      "Szanowni Państwo,\\n\\nw załączeniu przesyłamy fakturę VAT oraz zestawienie należności. Prosimy o "
      "uregulowanie płatności w terminie czternastu dni. W razie pytań dotyczących rozliczeń prosimy "
      "o kontakt z działem księgowości.\\n\\nZ poważaniem,\\nZespół obsługi klienta";
  auto two = [](unsigned v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
  out += "{\"mails\":[\n";
  for (long i = 0; out.size() < target; ++i) {
    if (i > 0) out += ",\n";
    const std::string day = "2022-" + two(1 + rng() % 12) + "-" + two(1 + rng() % 28);
    const std::string time = two(rng() % 24) + ":" + two(rng() % 60) + ":" + two(rng() % 60);
    out += "{\"Subject\":\"" + std::string(subjects[rng() % 5]) + std::to_string(i) + "\"";
    out += ",\"Body\":\"" + std::string(body) + "\"";
    out += ",\"From\":{\"Name\":\"" + std::string(names[rng() % 6]) + "\",\"Address\":\"biuro" +
           std::to_string(rng() % 1000) + "@przykład.pl\"}";
    out += ",\"Recipients\":[";
    for (int r = 0, n = 1 + static_cast<int>(rng() % 3); r < n; ++r) {
      if (r > 0) out += ",";
      out += "{\"Name\":\"" + std::string(names[rng() % 6]) + "\",\"Address\":\"odbiorca" +
             std::to_string(rng() % 1000) + "@firma.com.pl\",\"Kind\":" + std::to_string(r) + "}";
    }
    out += "],\"Sent\":\"" + day + "T" + time + "Z\"";
    out += ",\"Received\":\"" + day + "T" + time + ".123+02:00\"";
    out += ",\"Due\":\"" + day + "\",\"Reminder\":\"" + time + "\"";
    out += ",\"Created\":\"" + day + "T" + time + "\"";
    out += ",\"Number\":\"" + std::to_string(10000 + rng() % 90000) + "/2022\"";
    out += ",\"Amount\":" + std::to_string(rng() % 100000) + "." + two(rng() % 100) + "}";
  }
  out += "\n]}\n";
  std::ofstream(path, std::ios::binary) << out;
}

void Report(const char* mode, const char* side, size_t bytes, double seconds) {
  std::printf("%s %s %zu %.4f %.1f %ld\n", mode, side, bytes, seconds, bytes / 1048576.0 / seconds,
              PeakRssKiB());
}

// Parses and answers a non-zero check value; with `write`, also serialises and times that part.
template <class Parse, class Write>
int Measure(const char* mode, const char* side, std::string& text, Parse parse, Write write) {
  const size_t bytes = text.size();
  const bool writing = std::strcmp(mode, "write") == 0;
  auto start = Clock::now();
  auto doc = parse(text);
  double s = std::chrono::duration<double>(Clock::now() - start).count();
  if (writing) {
    std::string().swap(text);
    start = Clock::now();
    const size_t outBytes = write(doc);
    s = std::chrono::duration<double>(Clock::now() - start).count();
    if (outBytes == 0) return 1;
  }
  // Throughput is counted on the input document's size for every side.
  Report(mode, side, bytes, s);
  return 0;
}

int Run(const char* mode, const char* side, const char* path) {
  std::string text = ReadFile(path);
  const std::string_view who = side;
  if (who == "ours" || who == "ours-nodates") {
    const bool dates = who == "ours";
    return Measure(
        mode, side, text,
        [&](const std::string& t) { return vx::json::TJSONObject::ParseJSONValueUtf8(t, dates); },
        [](const vx::json::IJSONAncestor& v) {
          vx::json::TJSONWriter writer(false, false);
          v->AsJSONString(writer);
          // The text stays in the writer's buffer, as the peers' texts stay in theirs.
          return writer.Utf8().size();
        });
  }
#ifdef VX_BENCH_NLOHMANN
  if (who == "nlohmann") {
    return Measure(
        mode, side, text, [](const std::string& t) { return nlohmann::json::parse(t); },
        [](const nlohmann::json& v) { return v.dump().size(); });
  }
#endif
#ifdef VX_BENCH_RAPIDJSON
  if (who == "rapidjson" || who == "rapidjson-ascii") {
    const bool ascii = who == "rapidjson-ascii";
    return Measure(
        mode, side, text,
        [](const std::string& t) {
          auto d = std::make_unique<rapidjson::Document>();
          d->Parse(t.data(), t.size());
          if (d->HasParseError()) throw std::runtime_error("rapidjson: parse error");
          return d;
        },
        [ascii](const std::unique_ptr<rapidjson::Document>& d) {
          rapidjson::StringBuffer buffer;
          if (ascii) {
            // The text this system writes: every character beyond ASCII as a \u escape.
            rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::ASCII<>> writer(buffer);
            d->Accept(writer);
          } else {
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            d->Accept(writer);
          }
          return buffer.GetSize();
        });
  }
#endif
#ifdef VX_BENCH_SIMDJSON
  if (who == "simdjson") {
    simdjson::dom::parser parser;
    return Measure(
        mode, side, text, [&](const std::string& t) { return parser.parse(t).value(); },
        [](const simdjson::dom::element& e) { return simdjson::minify(e).size(); });
  }
#endif
  std::cerr << "vx_json_bench: side " << side << " is not built in\n";
  return 2;
}

}  // namespace

// Reads the text `times` times with our library, freeing each document before the next: the
// peak RSS shows whether freed memory serves the next document. Timed as one read on average.
int Reread(int times, const char* path) {
  const std::string text = ReadFile(path);
  const auto start = Clock::now();
  for (int i = 0; i < times; ++i) {
    if (!vx::json::TJSONObject::ParseJSONValueUtf8(text, true)) return 1;
  }
  Report("reread", "ours", text.size(), std::chrono::duration<double>(Clock::now() - start).count() / times);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "gen") == 0) {
    Generate(std::atof(argv[2]), argv[3]);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "mail") == 0) {
    GenerateMail(std::atof(argv[2]), argv[3]);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "reread") == 0)
    return Reread(std::max(1, std::atoi(argv[2])), argv[3]);
  if (argc == 4) return Run(argv[1], argv[2], argv[3]);
  std::cerr << "usage: vx_json_bench (gen|mail) MB FILE | (read|write) SIDE FILE | reread N FILE\n";
  return 2;
}
