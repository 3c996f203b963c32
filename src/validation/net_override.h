#pragma once
// Host override for tests and offline mirrors: connections meant for a host and port go to
// another address instead, while the request keeps its original host name (Host header, TLS
// name). Read from the environment variable VX64_CONNECT_TO, a comma-separated list of
// "HOST:PORT:ADDRESS:PORT2" entries (an empty HOST or PORT matches any), e.g.
//   VX64_CONNECT_TO=crd.gov.pl:80:127.0.0.1:8080,jpk.mf.gov.pl:443:127.0.0.1:8443
// Every download of the system applies it.
#include <curl/curl.h>

#include <string>
#include <string_view>
#include <vector>

#include "validation/curl_handle.h"

namespace vx {

inline constexpr char kConnectToVariable[] = "VX64_CONNECT_TO";

// The entries of an override text: blanks around entries trimmed, empty entries and entries
// without the four colon-separated fields dropped.
[[nodiscard]] std::vector<std::string> ParseConnectTo(std::string_view aText);

// The override in force when it was made (read from VX64_CONNECT_TO by the default constructor).
class TCurlOverride {
 public:
  TCurlOverride();
  explicit TCurlOverride(std::string_view aText);

  [[nodiscard]] bool Empty() const { return FList.Empty(); }
  [[nodiscard]] const std::vector<std::string>& Entries() const { return FEntries; }

  // Points aHandle's connections at the override's addresses. The list stays owned by this
  // object, which must outlive the handle's transfers. Throws std::runtime_error when curl
  // refuses the option.
  void Apply(CURL* aHandle) const;

 private:
  std::vector<std::string> FEntries;
  TCurlSlist FList;
};

// Applies the current VX64_CONNECT_TO override to aHandle; the list lives with the handle.
void ApplyHostOverride(TCurlEasy& aHandle);

}  // namespace vx
