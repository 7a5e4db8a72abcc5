#include "win/control.h"

#include <commctrl.h>

namespace win {

namespace {
constexpr UINT_PTR kSubclassId = 1;
}

Control::~Control() { Detach(); }

bool Control::Attach(HWND hwnd) {
  if (!hwnd || hwnd_) return false;
  if (!SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  hwnd_ = hwnd;
  OnAttached();
  return true;
}

void Control::Detach() {
  if (hwnd_) {
    RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
    hwnd_ = nullptr;
  }
}

LRESULT Control::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefSubclassProc(hwnd_, msg, wp, lp); }

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<Control*>(ref);
  if (msg == WM_NCDESTROY) {
    self->Detach();
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  return self->WindowProc(msg, wp, lp);
}

}  // namespace win
