#pragma once
// Intrusive, atomically counted references: every JSON value and wrapper lives as long as some
// TRef points at it and is freed with the last one.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace vx::json {

template <class T>
class TRef;
template <class T, class... Args>
TRef<T> MakeRef(Args&&... args);

// Lets MakeRef alone set the first count of an object it has just made.
class TFirstRef {
  TFirstRef() = default;
  template <class T, class... Args>
  friend TRef<T> MakeRef(Args&&... args);
};

// The count of a counted object; the last Release deletes it as a Self.
template <class Self>
class TCounted {
 public:
  TCounted() = default;
  TCounted(const TCounted&) = delete;
  TCounted& operator=(const TCounted&) = delete;

  void AddRef() const noexcept { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  // The first reference to an object no other thread can see yet: a plain store, where AddRef
  // is a locked add (a tree being read takes one per node).
  void AddFirstRef(TFirstRef) const noexcept { FRefCount.store(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete static_cast<const Self*>(this);
  }
  [[nodiscard]] std::int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }

 private:
  mutable std::atomic<std::int32_t> FRefCount{0};
};

// The base of counted classes that others derive from.
class TRefCounted : public TCounted<TRefCounted> {
 public:
  virtual ~TRefCounted() = default;
};

template <class T>
class TRef {
 public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  explicit TRef(T* p) noexcept : FPtr(p) {
    if (FPtr) FPtr->AddRef();
  }
  TRef(const TRef& o) noexcept : TRef(o.FPtr) {}
  TRef(TRef&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> TRef(const TRef<U>& o)
  noexcept : TRef(static_cast<T*>(o.get())) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> TRef(TRef<U>&& o)
  noexcept : FPtr(o.Detach()) {}
  ~TRef() {
    if (FPtr) FPtr->Release();
  }
  TRef& operator=(TRef o) noexcept {
    std::swap(FPtr, o.FPtr);
    return *this;
  }

  [[nodiscard]] T* get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  T& operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }
  // Gives up ownership without releasing (used by converting moves).
  [[nodiscard]] T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
  // Takes over an object whose count already stands at this reference.
  [[nodiscard]] static TRef Adopt(T* p) noexcept {
    TRef r;
    r.FPtr = p;
    return r;
  }

  template <class U>
  friend bool operator==(const TRef& a, const TRef<U>& b) noexcept {
    return static_cast<const void*>(a.get()) == static_cast<const void*>(b.get());
  }
  friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.FPtr == nullptr; }

 private:
  T* FPtr = nullptr;
};

template <class T, class... Args>
[[nodiscard]] TRef<T> MakeRef(Args&&... args) {
  T* p = new T(std::forward<Args>(args)...);
  p->AddFirstRef(TFirstRef());
  return TRef<T>::Adopt(p);
}

// Checked downcast: nil when the object is not a T.
template <class T, class U>
[[nodiscard]] TRef<T> RefCast(const TRef<U>& p) {
  return TRef<T>(dynamic_cast<T*>(p.get()));
}

}  // namespace vx::json
