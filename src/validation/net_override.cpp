#include "validation/net_override.h"

#include "platform/common/ascii.h"
#include "platform/process.h"

#include <cstdlib>
#include <stdexcept>

namespace vx {

namespace {

// Counts the field separators outside an IPv6 address in brackets.
std::size_t FieldSeparators(std::string_view s) {
  std::size_t count = 0;
  bool bracket = false;
  for (char c : s) {
    if (c == '[') bracket = true;
    if (c == ']') bracket = false;
    if (c == ':' && !bracket) ++count;
  }
  return count;
}

std::string EnvironmentText() {
  return platform::EnvironmentVariable(kConnectToVariable).value_or("");
}

}  // namespace

std::vector<std::string> ParseConnectTo(std::string_view aText) {
  std::vector<std::string> entries;
  while (true) {
    const std::size_t comma = aText.find(',');
    const std::string_view entry = Trim(aText.substr(0, comma), " \t\r\n");
    if (FieldSeparators(entry) == 3) entries.emplace_back(entry);
    if (comma == std::string_view::npos) break;
    aText.remove_prefix(comma + 1);
  }
  return entries;
}

TCurlOverride::TCurlOverride() : TCurlOverride(EnvironmentText()) {}

TCurlOverride::TCurlOverride(std::string_view aText) : FEntries(ParseConnectTo(aText)), FList(FEntries) {}

void TCurlOverride::Apply(CURL* aHandle) const {
  if (FList.Empty()) return;
  if (curl_easy_setopt(aHandle, CURLOPT_CONNECT_TO, FList.get()) != CURLE_OK)
    throw std::runtime_error("curl refused the host override");
}

void ApplyHostOverride(TCurlEasy& aHandle) {
  const std::vector<std::string> entries = ParseConnectTo(EnvironmentText());
  if (!entries.empty()) aHandle.SetList(CURLOPT_CONNECT_TO, TCurlSlist(entries));
}

}  // namespace vx
