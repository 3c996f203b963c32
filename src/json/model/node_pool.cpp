#include "json/model/node_pool.h"

#include <mutex>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/page_memory.h"

namespace vx::json {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

constexpr std::size_t kGrain = 8;
constexpr std::size_t kClasses = TNodePool::kMaxSize / kGrain;
constexpr std::size_t kSlabSize = 1024 * 1024;

struct TFreeNode {
  TFreeNode* Next;
};

std::size_t ClassOf(std::size_t size) {
  return size == 0 ? 0 : (size - 1) / kGrain;
}

// Free nodes of each size class, and the rest of a slab being carved.
struct TLists {
  TFreeNode* Free[kClasses];
  char* Cur;
  char* End;

  // A node of the class: a free one, else one carved from the slab; nil when the slab is used up.
  void* Take(std::size_t idx) noexcept {
    if (TFreeNode* n = Free[idx]) {
      Free[idx] = n->Next;
      return n;
    }
    const std::size_t size = (idx + 1) * kGrain;
    if (static_cast<std::size_t>(End - Cur) < size) return nullptr;
    void* p = Cur;
    Cur += size;
    return p;
  }
  void Give(std::size_t idx, void* p) noexcept {
    auto* n = static_cast<TFreeNode*>(p);
    n->Next = Free[idx];
    Free[idx] = n;
  }
  // Carves from a new slab; the rest of the old one is left unused.
  void NewSlab() {
    // The slab is about to be filled node by node: its pages are backed in one go.
    Cur = static_cast<char*>(platform::MapPages(kSlabSize, kGrain));
    if (Cur == nullptr) throw std::bad_alloc();
    platform::BackPages(Cur, kSlabSize);
    End = Cur + kSlabSize;
  }
};

// What threads hand over when they end, under the lock: their lists of free nodes, whole, and
// the rest of their slab. Threads that have ended work on Loose. Never destroyed: nodes may be
// freed by static destructors at exit.
struct TShared {
  std::mutex Lock;
  std::vector<TFreeNode*> Handed[kClasses];
  std::vector<std::pair<char*, char*>> Rests;
  TLists Loose{};
};

TShared& Shared() {
  static TShared* shared = new TShared;
  return *shared;
}

// One thread's lists. Trivially destructible, so that it stays usable while the thread's other
// thread-local objects are destroyed; once the thread has handed its nodes over (Retired), it
// works on the shared Loose lists.
struct TCache {
  TLists Lists;
  bool Armed;
  bool Retired;
};
constinit thread_local TCache tCache{};

void Retire() noexcept {
  TCache& c = tCache;
  TShared& s = Shared();
  std::lock_guard lock(s.Lock);
  try {
    for (std::size_t i = 0; i < kClasses; ++i) {
      if (c.Lists.Free[i]) s.Handed[i].push_back(c.Lists.Free[i]);
    }
    if (c.Lists.Cur != c.Lists.End) s.Rests.emplace_back(c.Lists.Cur, c.Lists.End);
  } catch (...) {
    // No memory to record them: those free nodes stay unused.
  }
  c.Retired = true;
}

struct TRetireAtExit {
  ~TRetireAtExit() { Retire(); }
};

// Every thread that takes or gives nodes hands them over when it ends.
void Arm(TCache& c) {
  if (c.Armed) return;
  thread_local TRetireAtExit retire;
  (void)retire;
  c.Armed = true;
}
}  // namespace

void* TNodePool::Allocate(std::size_t size) {
  if (!kPooled || size > kMaxSize) return ::operator new(size);
  const std::size_t idx = ClassOf(size);
  TCache& c = tCache;
  if (!c.Retired) {
    if (void* p = c.Lists.Take(idx)) return p;
    Arm(c);
  }
  TShared& s = Shared();
  std::lock_guard lock(s.Lock);
  if (c.Retired) {
    if (void* p = s.Loose.Take(idx)) return p;
    s.Loose.NewSlab();
    return s.Loose.Take(idx);
  }
  // The thread's slab is used up: a list handed over by an ended thread, a slab's rest, or a
  // new slab.
  if (!s.Handed[idx].empty()) {
    c.Lists.Free[idx] = s.Handed[idx].back();
    s.Handed[idx].pop_back();
  } else if (!s.Rests.empty()) {
    std::tie(c.Lists.Cur, c.Lists.End) = s.Rests.back();
    s.Rests.pop_back();
  }
  if (void* p = c.Lists.Take(idx)) return p;
  c.Lists.NewSlab();
  return c.Lists.Take(idx);
}

void TNodePool::Free(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (!kPooled || size > kMaxSize) {
    ::operator delete(p);
    return;
  }
  TCache& c = tCache;
  if (c.Retired) {
    TShared& s = Shared();
    std::lock_guard lock(s.Lock);
    s.Loose.Give(ClassOf(size), p);
    return;
  }
  Arm(c);
  c.Lists.Give(ClassOf(size), p);
}

}  // namespace vx::json
