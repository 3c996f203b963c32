#include "json/model/node_pool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
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

constexpr std::size_t kSmallClasses = TNodePool::kSmallMax / TNodePool::kGrain;
constexpr std::size_t kClasses =
    kSmallClasses + (TNodePool::kMaxSize - TNodePool::kSmallMax) / TNodePool::kLargeGrain;
// Free nodes move between a thread and the shared pool in batches of this many.
constexpr std::size_t kBatch = 512;
// A thread looks for empty slabs once it has freed this many nodes and at least as many as
// were left free after its last look (so the looking costs a constant per freed node).
constexpr std::int64_t kSweepFrom = 1 << 16;
// Empty slabs each size class keeps for reuse instead of giving them back (the classes of long
// texts, used less, keep one).
constexpr std::size_t kReserveSlabs = 4;
constexpr std::size_t kReserveLargeSlabs = 1;
// Slabs are carved from chunks mapped from the system, aligned to their size like the slabs.
constexpr std::size_t kChunkSize = 1024 * 1024;
constexpr std::size_t kSlabsPerChunk = kChunkSize / TNodePool::kSlabSize;

// The start of every slab (slabs are aligned to their size, so a node finds its slab's header
// by masking its address). Used only while free nodes are counted, under the shared lock.
struct alignas(16) TSlabHeader {
  std::uint64_t Epoch;  // the count below belongs to this sweep
  std::uint32_t FreeNodes;
  std::uint32_t Release;  // decided in this sweep: given back
};
constexpr std::size_t kHeaderSize = sizeof(TSlabHeader);

TSlabHeader* HeaderOf(void* node) {
  return reinterpret_cast<TSlabHeader*>(reinterpret_cast<std::uintptr_t>(node) & ~(TNodePool::kSlabSize - 1));
}

struct TFreeNode {
  TFreeNode* Next;
};

struct TList {
  TFreeNode* Head = nullptr;
  std::size_t Count = 0;
};

// One size class of one thread: the free list, one full batch held back (so that a thread
// that frees and allocates around a batch boundary does not trade with the shared pool each
// time), and the unused end of the slab being carved.
struct TClassCache {
  TList Free;
  TList Spare;
  char* Cur = nullptr;
  char* End = nullptr;
};

struct TThreadCache {
  TClassCache Classes[kClasses];
  std::int64_t Live = 0;
  std::int64_t FreedSinceSweep = 0;
  std::int64_t LeftAtSweep = 0;  // free nodes found in non-empty slabs at the last sweep
  bool Armed = false;            // the thread-exit hand-back is registered
  bool Retired = false;          // the thread's caches were handed back; it now uses the shared pool
};

// Trivially destructible, so it stays usable while other thread-local objects are destroyed.
constinit thread_local TThreadCache tCache;

// A mapped chunk and how many of its slabs are not in use.
struct TChunk {
  char* Base;
  std::size_t Unused;
};

// The shared pool. Never destroyed: nodes may be freed by static destructors at exit.
struct TShared {
  std::mutex Lock;
  std::vector<TList> Batches[kClasses];
  TList Loose[kClasses];                                   // single nodes freed by threads that have ended
  std::vector<std::pair<char*, char*>> Regions[kClasses];  // uncarved slab ends of ended threads
  std::vector<TChunk> Chunks;                              // by address
  // Slabs of mapped chunks not in use: never touched, or their pages given back.
  std::vector<char*> FreeSlabs;
  std::size_t SlabsInUse = 0;
  std::uint64_t Epoch = 0;
  std::atomic<std::int64_t> RetiredLive{0};
  std::atomic<std::size_t> SlabCount{0};
};

TShared& Shared() {
  static TShared* shared = new TShared;
  return *shared;
}

char* ChunkOf(void* slab) {
  return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(slab) & ~(kChunkSize - 1));
}

// The record of the chunk at `base`, or where it goes (the records are kept in address order).
std::vector<TChunk>::iterator FindChunk(TShared& s, char* base) {
  return std::lower_bound(s.Chunks.begin(), s.Chunks.end(), base,
                          [](const TChunk& c, char* b) { return c.Base < b; });
}

TChunk& ChunkRecord(TShared& s, void* slab) {
  return *FindChunk(s, ChunkOf(slab));
}

// Maps a new chunk, its slabs free (caller holds the lock). The lists of chunks and free slabs
// are grown first, so that giving slabs back later never needs memory.
void MapChunk(TShared& s) {
  s.Chunks.reserve(s.Chunks.size() + 1);
  s.FreeSlabs.reserve((s.Chunks.size() + 1) * kSlabsPerChunk);
  auto* base = static_cast<char*>(platform::MapPages(kChunkSize, kChunkSize));
  if (base == nullptr) throw std::bad_alloc();
  s.Chunks.insert(FindChunk(s, base), TChunk{base, kSlabsPerChunk});
  // Taken from the back: in address order.
  for (std::size_t i = kSlabsPerChunk; i-- > 0;) s.FreeSlabs.push_back(base + i * TNodePool::kSlabSize);
}

// A slab for a size class (caller holds the lock); answers its first node slot.
char* NewSlab(TShared& s) {
  if (s.FreeSlabs.empty()) MapChunk(s);
  char* slab = s.FreeSlabs.back();
  s.FreeSlabs.pop_back();
  --ChunkRecord(s, slab).Unused;
  s.SlabCount.store(++s.SlabsInUse, std::memory_order_relaxed);
  // The slab is about to be filled node by node: its pages are backed in one go.
  platform::BackPages(slab, TNodePool::kSlabSize);
  *reinterpret_cast<TSlabHeader*>(slab) = TSlabHeader{0, 0, 0};
  return slab + kHeaderSize;
}

// Takes back slabs no longer in use, in address order (caller holds the lock): a chunk all of
// whose slabs are then free is unmapped, the pages of the other slabs are given back to the
// system and the slabs kept for reuse.
void ReleaseSlabs(TShared& s, const std::vector<void*>& released) noexcept {
  s.SlabsInUse -= released.size();
  s.SlabCount.store(s.SlabsInUse, std::memory_order_relaxed);
  for (void* slab : released) ++ChunkRecord(s, slab).Unused;
  // Runs of adjacent slabs are given back in one call.
  for (std::size_t i = 0; i < released.size();) {
    char* start = static_cast<char*>(released[i]);
    std::size_t n = 1;
    while (i + n < released.size() && released[i + n] == start + n * TNodePool::kSlabSize &&
           ChunkOf(released[i + n]) == ChunkOf(start))
      ++n;
    if (ChunkRecord(s, start).Unused < kSlabsPerChunk)
      platform::DiscardPages(start, n * TNodePool::kSlabSize);
    for (std::size_t k = 0; k < n; ++k) s.FreeSlabs.push_back(start + k * TNodePool::kSlabSize);
    i += n;
  }
  std::erase_if(s.FreeSlabs, [&](char* slab) { return ChunkRecord(s, slab).Unused == kSlabsPerChunk; });
  for (const TChunk& c : s.Chunks) {
    if (c.Unused == kSlabsPerChunk) platform::UnmapPages(c.Base, kChunkSize);
  }
  std::erase_if(s.Chunks, [](const TChunk& c) { return c.Unused == kSlabsPerChunk; });
}

constexpr std::size_t RoundUp(std::size_t size, std::size_t grain) {
  return (size + grain - 1) & ~(grain - 1);
}
// The size of the class a node of `size` bytes (1..kMaxSize) belongs to, its index, and back.
constexpr std::size_t ClassSize(std::size_t size) {
  if (size <= TNodePool::kSmallMax) return RoundUp(size, TNodePool::kGrain);
  return TNodePool::kSmallMax + RoundUp(size - TNodePool::kSmallMax, TNodePool::kLargeGrain);
}
constexpr std::size_t ClassIndex(std::size_t size) {
  if (size <= TNodePool::kSmallMax) return RoundUp(size, TNodePool::kGrain) / TNodePool::kGrain - 1;
  return kSmallClasses +
         RoundUp(size - TNodePool::kSmallMax, TNodePool::kLargeGrain) / TNodePool::kLargeGrain - 1;
}
constexpr std::size_t SizeOfClass(std::size_t idx) {
  if (idx < kSmallClasses) return (idx + 1) * TNodePool::kGrain;
  return TNodePool::kSmallMax + (idx - kSmallClasses + 1) * TNodePool::kLargeGrain;
}
static_assert(ClassIndex(TNodePool::kMaxSize) == kClasses - 1 &&
              SizeOfClass(kClasses - 1) == TNodePool::kMaxSize);
static_assert(ClassIndex(257) == kSmallClasses && SizeOfClass(ClassIndex(257)) == 320);

TFreeNode* Pop(TList& list) noexcept {
  TFreeNode* n = list.Head;
  list.Head = n->Next;
  --list.Count;
  return n;
}

void Push(TList& list, void* p) noexcept {
  auto* n = static_cast<TFreeNode*>(p);
  n->Next = list.Head;
  list.Head = n;
  ++list.Count;
}

// A node from the shared pool (caller holds the lock): loose nodes, then a batch, then a
// region, then a new slab. Used by threads that have ended their caches.
void* TakeShared(TShared& s, std::size_t idx, std::size_t size) {
  if (s.Loose[idx].Head) return Pop(s.Loose[idx]);
  if (!s.Batches[idx].empty()) {
    s.Loose[idx] = s.Batches[idx].back();
    s.Batches[idx].pop_back();
    return Pop(s.Loose[idx]);
  }
  if (s.Regions[idx].empty()) {
    s.Regions[idx].reserve(1);
    char* first = NewSlab(s);
    s.Regions[idx].emplace_back(first, first - kHeaderSize + TNodePool::kSlabSize);
  }
  auto& [cur, end] = s.Regions[idx].back();
  void* p = cur;
  cur += size;
  if (static_cast<std::size_t>(end - cur) < size) s.Regions[idx].pop_back();
  return p;
}

void Retire() noexcept {
  TThreadCache& tc = tCache;
  TShared& s = Shared();
  std::lock_guard lock(s.Lock);
  for (std::size_t i = 0; i < kClasses; ++i) {
    TClassCache& c = tc.Classes[i];
    try {
      if (c.Free.Head) s.Batches[i].push_back(c.Free);
      if (c.Spare.Head) s.Batches[i].push_back(c.Spare);
      if (c.Cur && static_cast<std::size_t>(c.End - c.Cur) >= SizeOfClass(i))
        s.Regions[i].emplace_back(c.Cur, c.End);
    } catch (...) {
      // Out of memory while recording: those free nodes stay unused, nothing else is lost.
    }
    c = TClassCache{};
  }
  s.RetiredLive.fetch_add(tc.Live, std::memory_order_relaxed);
  tc.Live = 0;
  tc.Retired = true;
}

struct TRetireAtExit {
  TRetireAtExit() = default;
  TRetireAtExit(const TRetireAtExit&) = delete;
  TRetireAtExit& operator=(const TRetireAtExit&) = delete;
  ~TRetireAtExit() { Retire(); }
};

void ArmRetire() {
  thread_local TRetireAtExit retire;
  (void)retire;
}

// Refills a thread's size class: the held-back batch, the slab being carved, a batch from the
// shared pool, a region left by an ended thread, or a new slab.
void* Refill(TThreadCache& tc, std::size_t idx, std::size_t size) {
  TClassCache& c = tc.Classes[idx];
  if (c.Spare.Head) {
    c.Free = std::exchange(c.Spare, TList{});
    return Pop(c.Free);
  }
  if (c.Cur && static_cast<std::size_t>(c.End - c.Cur) >= size) {
    void* p = c.Cur;
    c.Cur += size;
    return p;
  }
  if (!tc.Armed) {
    ArmRetire();
    tc.Armed = true;
  }
  TShared& s = Shared();
  std::lock_guard lock(s.Lock);
  if (!s.Batches[idx].empty()) {
    c.Free = s.Batches[idx].back();
    s.Batches[idx].pop_back();
    return Pop(c.Free);
  }
  if (s.Loose[idx].Head) {
    c.Free = std::exchange(s.Loose[idx], TList{});
    return Pop(c.Free);
  }
  if (!s.Regions[idx].empty()) {
    std::tie(c.Cur, c.End) = s.Regions[idx].back();
    s.Regions[idx].pop_back();
  } else {
    c.Cur = NewSlab(s);
    c.End = c.Cur - kHeaderSize + TNodePool::kSlabSize;
  }
  void* p = c.Cur;
  c.Cur += size;
  return p;
}

// Gives back the slabs all of whose nodes are free, beyond a small reserve per size class. The
// free nodes this thread and the shared pool hold are counted per slab; a slab is empty when
// the count reaches its capacity (nodes still uncarved, or free in another running thread's
// cache, keep a slab in use). The lists are then rebuilt without the nodes of the slabs given
// back.
void Sweep(TThreadCache& tc) noexcept {
  TShared& s = Shared();
  std::lock_guard lock(s.Lock);
  const std::uint64_t epoch = ++s.Epoch;
  std::int64_t left = 0;
  std::vector<void*> released;
  std::vector<TList*> lists;
  try {
    released.reserve(s.SlabsInUse);
    std::size_t batches = 0;
    for (const auto& b : s.Batches) batches = std::max(batches, b.size());
    lists.reserve(batches + 3);
  } catch (...) {
    return;  // no memory to look: try again later
  }
  tc.FreedSinceSweep = 0;
  for (std::size_t idx = 0; idx < kClasses; ++idx) {
    const std::size_t size = SizeOfClass(idx);
    const std::uint32_t capacity = static_cast<std::uint32_t>((TNodePool::kSlabSize - kHeaderSize) / size);
    TClassCache& c = tc.Classes[idx];
    lists.assign({&c.Free, &c.Spare, &s.Loose[idx]});
    for (TList& b : s.Batches[idx]) lists.push_back(&b);
    std::size_t total = 0;
    for (TList* l : lists) {
      total += l->Count;
      for (TFreeNode* n = l->Head; n; n = n->Next) {
        TSlabHeader* h = HeaderOf(n);
        if (h->Epoch != epoch) *h = TSlabHeader{epoch, 0, 0};
        ++h->FreeNodes;
      }
    }
    if (total < capacity) continue;  // no slab can be empty
    std::size_t kept = 0;
    TList rest;
    for (TList* l : lists) {
      TFreeNode* n = l->Head;
      *l = TList{};
      while (n) {
        TFreeNode* next = n->Next;
        TSlabHeader* h = HeaderOf(n);
        if (h->FreeNodes == capacity) {
          // Decided at the slab's first node: reserve or give back.
          h->FreeNodes = capacity + 1;
          h->Release = kept < (idx < kSmallClasses ? kReserveSlabs : kReserveLargeSlabs) ? 0 : 1;
          if (h->Release) {
            released.push_back(h);
          } else {
            ++kept;
          }
        }
        if (!h->Release) Push(rest, n);
        n = next;
      }
    }
    // The kept nodes: one batch back to the thread, the others to the shared pool.
    s.Batches[idx].clear();
    while (rest.Head) {
      TList batch;
      while (rest.Head && batch.Count < kBatch) Push(batch, Pop(rest));
      left += static_cast<std::int64_t>(batch.Count);
      if (!c.Free.Head) {
        c.Free = batch;
      } else {
        try {
          s.Batches[idx].push_back(batch);
        } catch (...) {
          while (batch.Head) Push(c.Free, Pop(batch));  // keep them in this thread's list
        }
      }
    }
  }
  if (!released.empty()) {
    std::sort(released.begin(), released.end());
    ReleaseSlabs(s, released);
  }
  tc.LeftAtSweep = left;
}

// The counter of live nodes for the calling thread (the shared one once it has retired).
void Count(TThreadCache& tc, std::int64_t delta) noexcept {
  if (tc.Retired) {
    Shared().RetiredLive.fetch_add(delta, std::memory_order_relaxed);
    return;
  }
  if (!tc.Armed) {
    // A thread that only frees must still hand its balance and free nodes back when it ends.
    ArmRetire();
    tc.Armed = true;
  }
  tc.Live += delta;
}

void* Take(TThreadCache& tc, std::size_t size) {
  size = std::max<std::size_t>(size, 1);  // an empty block still has an address of its own
  if (!kPooled || size > TNodePool::kMaxSize) return ::operator new(size);
  const std::size_t idx = ClassIndex(size);
  if (tc.Retired) {
    TShared& s = Shared();
    std::lock_guard lock(s.Lock);
    return TakeShared(s, idx, ClassSize(size));
  }
  TList& free = tc.Classes[idx].Free;
  if (free.Head) return Pop(free);
  return Refill(tc, idx, ClassSize(size));
}

// The common case in a few instructions: a node of a pooled size from this thread's free list
// or from the slab it is carving; nil when Take must decide.
inline void* TakeFast(TThreadCache& tc, std::size_t size) noexcept {
  if (!kPooled || size - 1 >= TNodePool::kMaxSize || !tc.Armed || tc.Retired) return nullptr;
  TClassCache& c = tc.Classes[ClassIndex(size)];
  if (c.Free.Head) return Pop(c.Free);
  const std::size_t step = ClassSize(size);
  if (static_cast<std::size_t>(c.End - c.Cur) < step) return nullptr;
  void* p = c.Cur;
  c.Cur += step;
  return p;
}

void Give(TThreadCache& tc, void* p, std::size_t size) noexcept {
  size = std::max<std::size_t>(size, 1);
  if (!kPooled || size > TNodePool::kMaxSize) {
    ::operator delete(p);
    return;
  }
  if (tc.Retired) {
    TShared& s = Shared();
    std::lock_guard lock(s.Lock);
    Push(s.Loose[ClassIndex(size)], p);
    return;
  }
  if (!tc.Armed) {
    ArmRetire();
    tc.Armed = true;
  }
  TClassCache& c = tc.Classes[ClassIndex(size)];
  Push(c.Free, p);
  if (++tc.FreedSinceSweep >= kSweepFrom && tc.FreedSinceSweep >= tc.LeftAtSweep) Sweep(tc);
  if (c.Free.Count < kBatch) return;
  // A full batch: hold it back, handing the one held back before to the shared pool.
  if (c.Spare.Head) {
    TShared& s = Shared();
    std::lock_guard lock(s.Lock);
    try {
      s.Batches[ClassIndex(size)].push_back(c.Spare);
    } catch (...) {
      return;  // keep the nodes in this thread's list
    }
  }
  c.Spare = std::exchange(c.Free, TList{});
}
}  // namespace

void* TNodePool::Allocate(std::size_t size) {
  TThreadCache& tc = tCache;
  if (void* p = TakeFast(tc, size)) {
    ++tc.Live;
    return p;
  }
  void* p = Take(tc, size);
  Count(tc, 1);
  return p;
}

void TNodePool::Free(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  TThreadCache& tc = tCache;
  Count(tc, -1);
  Give(tc, p, size);
}

void* TNodePool::AllocateBlock(std::size_t size) {
  TThreadCache& tc = tCache;
  if (void* p = TakeFast(tc, size)) return p;
  return Take(tc, size);
}

void TNodePool::FreeBlock(void* p, std::size_t size) noexcept {
  if (p != nullptr) Give(tCache, p, size);
}

std::int64_t TNodePool::LiveNodes() noexcept {
  const TThreadCache& tc = tCache;
  return Shared().RetiredLive.load(std::memory_order_relaxed) + (tc.Retired ? 0 : tc.Live);
}

std::size_t TNodePool::SlabBytes() noexcept {
  return Shared().SlabCount.load(std::memory_order_relaxed) * kSlabSize;
}

bool TNodePool::Pooled() noexcept {
  return kPooled;
}

}  // namespace vx::json
