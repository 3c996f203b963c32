#pragma once
// Owning wrappers for libcurl handles: a handle and the lists it points to are released together,
// also when a transfer ends in an exception.
#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

namespace vx {

// A curl_slist of texts.
class TCurlSlist {
 public:
  TCurlSlist() = default;
  explicit TCurlSlist(const std::vector<std::string>& aItems);

  // Appends a copy of aItem; throws std::bad_alloc when curl cannot.
  void Append(const std::string& aItem);
  [[nodiscard]] curl_slist* get() const { return FHead.get(); }
  [[nodiscard]] bool Empty() const { return FHead == nullptr; }

 private:
  struct TFree {
    void operator()(curl_slist* aList) const { curl_slist_free_all(aList); }
  };
  std::unique_ptr<curl_slist, TFree> FHead;
};

// One easy handle. Lists handed to SetList live as long as the handle, as curl requires.
// The first handle of the process initialises libcurl.
class TCurlEasy {
 public:
  TCurlEasy();  // throws std::runtime_error when curl cannot make a handle

  [[nodiscard]] CURL* get() const { return FHandle.get(); }
  // Sets a list option (headers, connect-to, ...) and keeps the list alive.
  void SetList(CURLoption aOption, TCurlSlist aList);

 private:
  struct TCleanup {
    void operator()(CURL* aHandle) const { curl_easy_cleanup(aHandle); }
  };
  std::unique_ptr<CURL, TCleanup> FHandle;
  std::vector<TCurlSlist> FLists;
};

// Initialises libcurl once per process (thread-safe); later calls do nothing.
void CurlGlobalInit();

}  // namespace vx
