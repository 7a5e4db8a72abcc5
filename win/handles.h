// Owning wrappers for the handle kinds the program holds. Each is move-only and releases its
// handle exactly once; a view of a window (HWND) is never owned.
#pragma once
#include <windows.h>

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

// Selects a GDI object into a DC for one scope and puts the previous one back.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~SelectObjectScope() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace win
