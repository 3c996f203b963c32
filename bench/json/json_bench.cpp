// JSON benchmark. Each measurement runs in its own process so that peak RSS belongs to one side:
//   vx_json_bench gen MB FILE            writes a document of about MB megabytes
//   vx_json_bench read ours|peer FILE    parses the file's text
//   vx_json_bench write ours|peer FILE   parses (untimed), then serialises compactly
// Output: one line "mode side bytes seconds MB/s peakRSS_KiB".
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "json/json_value.h"
#include "json/json_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

void Report(const char* mode, const char* side, size_t bytes, double seconds) {
  std::printf("%s %s %zu %.4f %.1f %ld\n", mode, side, bytes, seconds, bytes / 1048576.0 / seconds,
              PeakRssKiB());
}

int Run(const char* mode, const char* side, const char* path) {
  const bool ours = std::strcmp(side, "ours") == 0;
  std::string text = ReadFile(path);
  const size_t bytes = text.size();
  if (std::strcmp(mode, "read") == 0) {
    // Timed: parsing only (the trees are freed afterwards, outside the clock).
    size_t check = 0;
    double s = 0;
    if (ours) {
      const auto start = Clock::now();
      auto v = vx::json::TJSONObject::ParseJSONValueUtf8(text, true);
      s = std::chrono::duration<double>(Clock::now() - start).count();
      check = v ? 1 : 0;
    } else {
      const auto start = Clock::now();
      auto v = nlohmann::json::parse(text);
      s = std::chrono::duration<double>(Clock::now() - start).count();
      check = v.size();
    }
    if (check == 0) return 1;
    Report(mode, side, bytes, s);
    return 0;
  }
  if (std::strcmp(mode, "write") == 0) {
    size_t outBytes = 0;
    double s = 0;
    if (ours) {
      auto v = vx::json::TJSONObject::ParseJSONValueUtf8(text, true);
      std::string().swap(text);
      const auto start = Clock::now();
      vx::json::TJSONWriter writer(false, false);
      v->AsJSONString(writer);
      const std::string out = writer.TakeUtf8();
      s = std::chrono::duration<double>(Clock::now() - start).count();
      outBytes = out.size();
    } else {
      auto v = nlohmann::json::parse(text);
      std::string().swap(text);
      const auto start = Clock::now();
      const std::string out = v.dump();
      s = std::chrono::duration<double>(Clock::now() - start).count();
      outBytes = out.size();
    }
    // Throughput is counted on the input document's size for both sides.
    (void)outBytes;
    Report(mode, side, bytes, s);
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "gen") == 0) {
    Generate(std::atof(argv[2]), argv[3]);
    return 0;
  }
  if (argc == 4) return Run(argv[1], argv[2], argv[3]);
  std::cerr << "usage: vx_json_bench gen MB FILE | (read|write) (ours|peer) FILE\n";
  return 2;
}
