// Owning wrappers for the handle kinds the program holds, an object on the process heap, and a
// lock. Each wrapper is move-only and releases its handle exactly once; a view of a window (HWND)
// is never owned.
#pragma once
#include <windows.h>

#include <new>
#include <utility>

namespace win {

template <typename H, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(H h) : h_(h) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& o) noexcept : h_(o.release()) {}
  Owned& operator=(Owned&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  H get() const { return h_; }
  explicit operator bool() const { return Traits::valid(h_); }
  H release() { return std::exchange(h_, Traits::invalid()); }
  void reset(H h = Traits::invalid()) {
    H old = std::exchange(h_, h);
    if (Traits::valid(old)) Traits::close(old);
  }

 private:
  H h_ = Traits::invalid();
};

struct KernelTraits {
  static HANDLE invalid() { return nullptr; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
struct RegKeyTraits {
  static HKEY invalid() { return nullptr; }
  static bool valid(HKEY h) { return h != nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};
struct DesktopTraits {
  static HDESK invalid() { return nullptr; }
  static bool valid(HDESK h) { return h != nullptr; }
  static void close(HDESK h) { CloseDesktop(h); }
};
struct GdiTraits {
  static HGDIOBJ invalid() { return nullptr; }
  static bool valid(HGDIOBJ h) { return h != nullptr; }
  static void close(HGDIOBJ h) { DeleteObject(h); }
};
struct HeapTraits {
  static void* invalid() { return nullptr; }
  static bool valid(void* p) { return p != nullptr; }
  static void close(void* p) { HeapFree(GetProcessHeap(), 0, p); }
};
struct LocalTraits {
  static void* invalid() { return nullptr; }
  static bool valid(void* p) { return p != nullptr; }
  static void close(void* p) { LocalFree(p); }
};
struct IconTraits {
  static HICON invalid() { return nullptr; }
  static bool valid(HICON h) { return h != nullptr; }
  static void close(HICON h) { DestroyIcon(h); }
};

using Handle = Owned<HANDLE, KernelTraits>;  // events, processes, threads, files
using RegKey = Owned<HKEY, RegKeyTraits>;
using Desktop = Owned<HDESK, DesktopTraits>;
using GdiObject = Owned<HGDIOBJ, GdiTraits>;
using Icon = Owned<HICON, IconTraits>;
using HeapMemory = Owned<void*, HeapTraits>;    // a block of the process heap (HeapAlloc)
using LocalMemory = Owned<void*, LocalTraits>;  // a block the system allocated for the caller (LocalFree)

}  // namespace win

// One object on the process heap, without the C++ runtime's operator new (the program does not
// carry it): for a record one thread makes and hands to another.
namespace win {

// Null when the heap has no room.
template <typename T>
T* NewOnHeap() {
  void* block = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
  return block ? new (block) T() : nullptr;
}

template <typename T>
void DeleteOnHeap(T* object) {
  if (!object) return;
  object->~T();
  HeapFree(GetProcessHeap(), 0, object);
}

}  // namespace win

// A critical section and its scope lock, for the few values that two threads touch.
namespace win {

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&cs_); }
  ~CriticalSection() { DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&cs_); }
  void Leave() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class Lock {
 public:
  explicit Lock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~Lock() { cs_.Leave(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CriticalSection& cs_;
};

}  // namespace win
