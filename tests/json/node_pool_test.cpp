// The node pool behind values and pairs: nodes are freed with their last reference, shared
// nodes outlive a parent, slots are reused, and nodes may be freed by another thread.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
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

// Records of ten members with a long text, as in mail: member lists and texts above the small
// node sizes.
std::string WideDocument(int records) {
  std::string text = "[";
  for (int i = 0; i < records; ++i) {
    if (i > 0) text += ',';
    text += R"({"id":)" + std::to_string(i) + R"(,"b":1,"c":2,"d":3,"e":4,"f":5,"g":6,"h":7,"i":8,)" +
            R"("text":"Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod )" +
            std::to_string(i) + R"("})";
  }
  return text + "]";
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0;
  std::size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

TEST(JsonNodePool, ADocumentGivesBackEveryNodeWithItsLastReference) {
  const std::int64_t before = TNodePool::LiveNodes();
  {
    IJSONAncestor doc = ParseUtf8(Document(3000));
    ASSERT_TRUE(doc);
    // 1 object, 1 pair, 1 array, and per record 1 object + 7 pairs + 7 values + 2 tags.
    EXPECT_EQ(TNodePool::LiveNodes() - before, 3 + 3000 * 17);
  }
  EXPECT_EQ(TNodePool::LiveNodes(), before);
}

TEST(JsonNodePool, SlabsOfAFreedDocumentAreGivenBackBeyondASmallReserve) {
  if (!TNodePool::Pooled()) GTEST_SKIP() << "nodes come from the ordinary heap in this build";
  const std::size_t before = TNodePool::SlabBytes();
  const std::string text = Document(60'000);  // about a million nodes
  for (int round = 0; round < 2; ++round) {
    IJSONAncestor doc = ParseUtf8(text);
    ASSERT_TRUE(doc);
    EXPECT_GT(TNodePool::SlabBytes(), before + 20u * 1024 * 1024);
    doc = nullptr;
    // What stays: the reserve and slabs still partly in use elsewhere (a few MiB at most; the
    // 32-bit build's smaller nodes leave up to about 5.5 MiB).
    EXPECT_LT(TNodePool::SlabBytes(), before + 8u * 1024 * 1024) << round;
  }
  // Nodes freed in another thread come back too.
  IJSONAncestor doc = ParseUtf8(text);
  std::thread([&] { doc = nullptr; }).join();
  EXPECT_LT(TNodePool::SlabBytes(), before + 8u * 1024 * 1024);
}

TEST(JsonNodePool, TheMemoryOfAFreedDocumentLeavesTheProcess) {
  if (!TNodePool::Pooled()) GTEST_SKIP() << "nodes come from the ordinary heap in this build";
  const std::string text = WideDocument(100'000);
  const std::size_t before = ResidentBytes();
  for (int round = 0; round < 2; ++round) {
    IJSONAncestor doc = ParseUtf8(text);
    ASSERT_TRUE(doc);
    EXPECT_GT(ResidentBytes(), before + 40u * 1024 * 1024);
    doc = nullptr;
    EXPECT_LT(ResidentBytes(), before + 8u * 1024 * 1024) << round;
  }
}

TEST(JsonNodePool, ASharedSubValueOutlivesTheDocumentItCameFrom) {
  const std::int64_t before = TNodePool::LiveNodes();
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
  // Still held: the object under "a" (1 pair, 1 array, 3 elements, 1 object, 1 pair, 1 null)
  // and the pair "d" with its string.
  EXPECT_EQ(TNodePool::LiveNodes() - before, 1 + 1 + 1 + 3 + 1 + 1 + 2);
  EXPECT_EQ(Write(kept), R"({"b":[1,"two",{"c":null}]})");
  EXPECT_EQ(keptPair->GetName(), u"d");
  EXPECT_EQ(Write(keptPair->GetValue()), R"("drop me")");
  kept = nullptr;
  EXPECT_EQ(TNodePool::LiveNodes() - before, 2);
  keptPair = nullptr;
  EXPECT_EQ(TNodePool::LiveNodes(), before);
}

TEST(JsonNodePool, AFreedSlotIsReusedByTheNextNodeOfItsSize) {
  if (!TNodePool::Pooled()) GTEST_SKIP() << "nodes come from the ordinary heap in this build";
  auto a = MakeRef<TJSONInteger>(1);
  const void* slot = a.get();
  a = nullptr;
  auto b = MakeRef<TJSONFloat>(2.0);  // same node size as an integer
  EXPECT_EQ(static_cast<const void*>(b.get()), slot);
  EXPECT_EQ(b->GetData(), 2.0);
}

TEST(JsonNodePool, ManyNodesOfEverySizeStayDistinctAndComeBack) {
  const std::int64_t before = TNodePool::LiveNodes();
  std::vector<void*> nodes;
  std::set<void*> seen;
  // Several batches and slabs of each size class (and sizes between the large ones' steps),
  // freed in an interleaved order and taken again.
  std::vector<std::size_t> sizes;
  for (std::size_t size = 8; size <= TNodePool::kSmallMax; size += 8) sizes.push_back(size);
  for (std::size_t size = TNodePool::kSmallMax + 1; size <= TNodePool::kMaxSize + 8;
       size += TNodePool::kLargeGrain / 2)
    sizes.push_back(size);
  const auto count = [](std::size_t size) { return size <= TNodePool::kSmallMax ? 5000 : 600; };
  for (int round = 0; round < 2; ++round) {
    for (const std::size_t size : sizes) {
      for (int i = 0; i < count(size); ++i) {
        void* p = TNodePool::Allocate(size);
        std::memset(p, static_cast<int>(size), size);
        nodes.push_back(p);
      }
    }
    seen.insert(nodes.begin(), nodes.end());
    EXPECT_EQ(seen.size(), nodes.size());  // no slot handed out twice while in use
    EXPECT_EQ(TNodePool::LiveNodes() - before, static_cast<std::int64_t>(nodes.size()));
    std::size_t k = 0;
    for (const std::size_t size : sizes) {
      for (int i = 0; i < count(size); ++i, ++k) {
        auto* bytes = static_cast<unsigned char*>(nodes[k]);
        EXPECT_EQ(bytes[size - 1], static_cast<unsigned char>(size)) << "size " << size;
      }
    }
    k = 0;
    for (const std::size_t size : sizes) {
      for (int i = 0; i < count(size); ++i, ++k) {
        if (i % 2 == round % 2) TNodePool::Free(nodes[k], size);
      }
    }
    k = 0;
    for (const std::size_t size : sizes) {
      for (int i = 0; i < count(size); ++i, ++k) {
        if (i % 2 != round % 2) TNodePool::Free(nodes[k], size);
      }
    }
    nodes.clear();
    seen.clear();
    EXPECT_EQ(TNodePool::LiveNodes(), before);
  }
}

TEST(JsonNodePool, NodesMadeInOneThreadAreFreedInAnother) {
  const std::int64_t before = TNodePool::LiveNodes();
  IJSONAncestor fromWorker;
  std::thread([&] { fromWorker = ParseUtf8(Document(500)); }).join();
  // The worker has ended: its nodes count among those of ended threads.
  EXPECT_EQ(TNodePool::LiveNodes() - before, 3 + 500 * 17);
  const std::string text = Write(fromWorker);
  fromWorker = nullptr;  // freed here, into this thread's lists
  EXPECT_EQ(TNodePool::LiveNodes(), before);

  // And the other way round: made here, dropped by a thread that ends afterwards.
  IJSONAncestor fromHere = ParseUtf8(text);
  std::thread([doc = std::move(fromHere)]() mutable { doc = nullptr; }).join();
  EXPECT_EQ(TNodePool::LiveNodes(), before);
  // The freed nodes are usable again by the next document of either thread.
  std::thread([&] { EXPECT_EQ(Write(ParseUtf8(text)), text); }).join();
  EXPECT_EQ(Write(ParseUtf8(text)), text);
  EXPECT_EQ(TNodePool::LiveNodes(), before);
}

}  // namespace
}  // namespace vx::json::test
