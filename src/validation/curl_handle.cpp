#include "validation/curl_handle.h"

#include <new>
#include <stdexcept>

namespace vx {

TCurlSlist::TCurlSlist(const std::vector<std::string>& aItems) {
  for (const std::string& item : aItems) Append(item);
}

void TCurlSlist::Append(const std::string& aItem) {
  curl_slist* head = curl_slist_append(FHead.get(), aItem.c_str());
  if (head == nullptr) throw std::bad_alloc();
  // curl_slist_append returns the same head once the list is non-empty.
  if (FHead == nullptr) FHead.reset(head);
}

void CurlGlobalInit() {
  static const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (code != CURLE_OK) throw std::runtime_error("curl_global_init failed");
}

TCurlEasy::TCurlEasy() {
  CurlGlobalInit();
  FHandle.reset(curl_easy_init());
  if (FHandle == nullptr) throw std::runtime_error("curl_easy_init failed");
}

void TCurlEasy::SetList(CURLoption aOption, TCurlSlist aList) {
  FLists.push_back(std::move(aList));
  if (curl_easy_setopt(FHandle.get(), aOption, FLists.back().get()) != CURLE_OK)
    throw std::runtime_error("curl list option rejected");
}

}  // namespace vx
