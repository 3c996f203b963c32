// The node pool behind values, pairs, member lists and texts: nodes of every size keep their
// contents while in use, a shared node outlives a parent, and nodes made in one thread may be
// freed in another and are used again there. (The address and leak checkers of the sanitizer
// builds see every node on its own; memory use is measured by bench/json.)
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "json/model/node_pool.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

IJSONAncestor ParseUtf8(const std::string& text) {
  return TJSONObject::ParseJSONValueUtf8(text, true);
}

std::string Document(int records) {
  std::string text = "{\"list\":[";
  for (int i = 0; i < records; ++i) {
    if (i > 0) text += ',';
    text += R"({"id":)" + std::to_string(i) + R"(,"name":"a longer name )" + std::to_string(i) +
            R"(","ok":true,"none":null,"f":1.5,"when":"2022-11-21","tags":["x","y"]})";
  }
  return text + "]}";
}

TEST(JsonNodePool, ASharedSubValueOutlivesTheDocumentItCameFrom) {
  IJSONAncestor kept;
  IJSONPair keptPair;
  {
    IJSONAncestor doc = ParseUtf8(R"({"a":{"b":[1,"two",{"c":null}]},"d":"drop me"})");
    auto obj = RefCast<TJSONObject>(doc);
    kept = obj->Get(u"a")->GetValue();
    keptPair = obj->Get(u"d");
    auto other = MakeRef<TJSONArray>();  // a second parent for the same value
    other->Add(kept);
    other->Add(kept);
  }
  // Nodes freed meanwhile are taken by new ones; the kept ones stay as they were.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ParseUtf8(Document(200)));
  EXPECT_EQ(Write(kept), R"({"b":[1,"two",{"c":null}]})");
  EXPECT_EQ(keptPair->GetName(), u"d");
  EXPECT_EQ(Write(keptPair->GetValue()), R"("drop me")");
}

TEST(JsonNodePool, ManyNodesOfEverySizeStayDistinctAndComeBack) {
  std::vector<std::size_t> sizes;
  for (std::size_t size = 0; size <= TNodePool::kMaxSize + 64; size += size < 64 ? 1 : 24)
    sizes.push_back(size);
  const auto fill = [](void* p, std::size_t size, std::size_t mark) {
    if (size > 0) std::memset(p, static_cast<int>(mark & 0xFF), size);
  };
  for (int round = 0; round < 2; ++round) {
    std::vector<std::pair<void*, std::size_t>> nodes;
    std::set<void*> seen;
    // Enough of each size to fill several slabs, freed in an interleaved order and taken again.
    for (const std::size_t size : sizes) {
      for (int i = 0; i < 3000; ++i) {
        void* p = TNodePool::Allocate(size);
        fill(p, size, nodes.size());
        nodes.emplace_back(p, size);
        seen.insert(p);
      }
    }
    EXPECT_EQ(seen.size(), nodes.size());  // no block handed out twice while in use
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      const auto [p, size] = nodes[k];
      if (size > 0) {
        ASSERT_EQ(static_cast<unsigned char*>(p)[size - 1], static_cast<unsigned char>(k)) << size;
      }
    }
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      if (k % 2 == static_cast<std::size_t>(round)) TNodePool::Free(nodes[k].first, nodes[k].second);
    }
    for (std::size_t k = 0; k < nodes.size(); ++k) {
      if (k % 2 != static_cast<std::size_t>(round)) TNodePool::Free(nodes[k].first, nodes[k].second);
    }
  }
}

TEST(JsonNodePool, NodesMadeInOneThreadAreFreedInAnother) {
  const std::string text = Write(ParseUtf8(Document(500)));
  IJSONAncestor fromWorker;
  std::thread([&] { fromWorker = ParseUtf8(text); }).join();
  // The worker has ended: its nodes stay valid, and are freed here, into this thread's lists.
  EXPECT_EQ(Write(fromWorker), text);
  fromWorker = nullptr;
  EXPECT_EQ(Write(ParseUtf8(text)), text);

  // And the other way round: made here, dropped by a thread that ends afterwards; the nodes it
  // handed back serve the next documents of either thread.
  IJSONAncestor fromHere = ParseUtf8(text);
  std::thread([doc = std::move(fromHere)]() mutable { doc = nullptr; }).join();
  std::thread([&] { EXPECT_EQ(Write(ParseUtf8(text)), text); }).join();
  EXPECT_EQ(Write(ParseUtf8(text)), text);
  // A thread that ends while holding nodes another one made.
  IJSONAncestor shared = ParseUtf8(text);
  std::thread([copy = shared] { EXPECT_EQ(Write(copy), Write(copy)); }).join();
  EXPECT_EQ(Write(shared), text);
}

}  // namespace
}  // namespace vx::json::test
