#pragma once
// Ownership of memory that libxml2 hands out.
#include <libxml/xmlmemory.h>

#include <memory>

namespace vx {

struct TXmlFree {
  void operator()(void* p) const { xmlFree(p); }
};
template <typename T>
using TXmlPtr = std::unique_ptr<T, TXmlFree>;

}  // namespace vx
